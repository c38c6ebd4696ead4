// Feeding a page to the push parser as the HTML control does: whole, or a few bytes at a time
// to check that a page reads the same however it arrives.
#pragma once

#include "platform/htmlparser.h"

#include <string_view>

namespace dravik::test {

// Feeds `html` whole (piece 0) or `piece` bytes at a time, then finishes the page.
inline void FeedPage(THTMLPushParser& parser, std::string_view html, size_t piece = 0) {
  if (piece == 0) {
    parser.Feed(html);
  } else {
    for (size_t at = 0; at < html.size(); at += piece)
      parser.Feed(html.substr(at, piece));
  }
  parser.Finish();
}

} // namespace dravik::test
