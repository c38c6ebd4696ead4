#include "installresult.h"

#include "platform/dialogs.h"
#include "platform/sysutils.h"

namespace dravik {

std::string FailureMessage(const TInstallReport& report) {
  // A thousand failures (an archive onto a full disk) make one readable box, not a screenful.
  constexpr int kShown = 20;
  std::vector<const std::string*> reasons;
  for (const TInstallResult& r : report)
    if (r.Outcome == ioFailed) reasons.push_back(&r.Reason);
  if (reasons.empty()) return "";
  if (reasons.size() == 1) return *reasons.front();
  std::string text = "Not everything could be installed:";
  for (int i = 0; i < int(reasons.size()) && i < kShown; ++i)
    text += "\r\n" + *reasons[size_t(i)];
  if (reasons.size() > size_t(kShown))
    text += Format("\r\n... and %d more", int(reasons.size()) - kShown);
  return text;
}

void ShowInstallFailures(const TInstallReport& report) {
  if (std::string text = FailureMessage(report); !text.empty()) Dialogs().ShowMessage(text);
}

} // namespace dravik
