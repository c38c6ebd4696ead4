// The download progress dialog as its users see it: a caption, two status lines, a progress
// bar and a Cancel button. One dialog is shared by the retriever and the repository window;
// each sets the caption and the Cancel handler just before showing it. TDLStatus
// (dlstatus.h) is the window; tests use a fake. Qt-free.
#pragma once

#include "platform/sysutils.h"

#include <cstdint>
#include <functional>
#include <string>

namespace dravik {

// The second line during a transfer of `total` bytes (below 1: not known) of which `received`
// have arrived: "1000 of 4000 bytes (25%) received." or "5120 bytes received.".
inline std::string BytesReceivedText(int64_t received, int64_t total) {
  if (total < 1) return Format("%lld bytes received.", static_cast<long long>(received));
  return Format("%lld of %lld bytes (%lld%%) received.", static_cast<long long>(received),
                static_cast<long long>(total), static_cast<long long>(received * 100 / total));
}

class TStatusDialog {
public:
  using TCancelEvent = std::function<void(TStatusDialog& sender)>;

  virtual ~TStatusDialog() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  // First line: the network client's latest status. Second line: the byte count.
  virtual void SetStatus1(const std::string& text) = 0;
  virtual void SetStatus2(const std::string& text) = 0;
  // Progress bar range is 0 to max (100 when shown first); position is clamped to it.
  virtual void SetProgressMax(int64_t max) = 0;
  virtual void SetProgressPosition(int64_t position) = 0;
  // Shows the dialog without waiting (not modal); showing sets the progress to 0 and empties
  // both lines.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  // What the Cancel button (and Escape, and closing the window) calls; empty: nothing.
  virtual void SetOnCancel(TCancelEvent handler) = 0;
};

} // namespace dravik
