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

// The progress bar's text during a transfer: the rate of `bytes` in `seconds` and, while
// `remaining` bytes are still to come, the time left ("1.5 MB/s, 0:42 left"); "" before a
// rate can be told.
inline std::string RateText(int64_t bytes, double seconds, int64_t remaining) {
  if (seconds < 0.2 || bytes <= 0) return std::string();
  const double rate = double(bytes) / seconds;
  std::string text = rate < 1024          ? Format("%d B/s", int(rate))
                     : rate < 1024 * 1024 ? Format("%.1f KB/s", rate / 1024)
                                          : Format("%.1f MB/s", rate / (1024 * 1024));
  if (remaining > 0) {
    const long long left = static_cast<long long>(double(remaining) / rate + 0.5);
    text += left >= 3600
                ? Format(", %lld:%02lld:%02lld left", left / 3600, left / 60 % 60, left % 60)
                : Format(", %lld:%02lld left", left / 60, left % 60);
  }
  return text;
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
  // Text shown in the progress bar (the rate and time left); "" shows none.
  virtual void SetProgressText(const std::string& text) = 0;
  // Shows the dialog without waiting (not modal); showing sets the progress to 0 and empties
  // both lines.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  // What the Cancel button (and Escape, and closing the window) calls; empty: nothing.
  virtual void SetOnCancel(TCancelEvent handler) = 0;
};

} // namespace dravik
