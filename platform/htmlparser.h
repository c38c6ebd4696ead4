// HTML read as it arrives: a push parser that takes a page in pieces of any size and reports
// its elements in document order (start tags, end tags and text), as a browser's parser would
// read them, with the repairs HTML needs (implied and auto-closed elements, entities decoded).
// Text between two tags is reported as one piece whatever the sizes of the pieces fed, so the
// events of a page do not depend on how it was cut up. Qt-free; never blocks.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravik {

// The attributes of a start tag, in the order written.
class THTMLAttributes {
public:
  std::vector<std::pair<std::string, std::string>> Items; // name (lower case), value

  // The value of the first attribute called `name` (letter case ignored); "" when there is
  // none or it has no value (<td nowrap>).
  std::string Value(std::string_view name) const;
  bool Has(std::string_view name) const;
};

// One element as the parser meets it.
struct THTMLElement {
  static constexpr const char* kText = "#text";
  std::string Type; // tag name in lower case ("table", "td", "a"), or kText for text
  bool EndTag = false;
  THTMLAttributes Attributes; // start tags only
  std::string Text;           // text only, UTF-8, entities decoded
};

class THTMLPushParser {
public:
  using TElementEvent = std::function<void(const THTMLElement& element)>;

  // `encoding`: the character set the server named, "" when none. As browsers do, a page is
  // read in the character set of its byte-order mark, else the server's (one not known counts
  // as none), else the one its own <meta> declares within its first 1024 bytes, else as UTF-8
  // with windows-1252 for the bytes that are not UTF-8; labels of Latin-1 and ASCII mean
  // windows-1252. Without a character set from the server, what follows the first byte above
  // 127 waits until 1024 bytes have come (or Finish).
  explicit THTMLPushParser(TElementEvent onElement, const std::string& encoding = "");
  ~THTMLPushParser();
  THTMLPushParser(const THTMLPushParser&) = delete;
  THTMLPushParser& operator=(const THTMLPushParser&) = delete;

  // Parses the next piece of the page; raises the events of what is complete so far. Malformed
  // HTML is repaired, never refused. After Stop or Finish, does nothing.
  void Feed(const char* data, size_t size);
  void Feed(std::string_view data) { Feed(data.data(), data.size()); }
  // The page is complete: reports the rest, ending every element still open.
  void Finish();
  // No further events (an event handler may call it, e.g. to cancel the page).
  void Stop();
  bool Stopped() const noexcept { return FStopped; }
  bool Finished() const noexcept { return FFinished; }

private:
  struct TImpl;
  friend struct TImpl;
  void Emit(THTMLElement&& element);
  void FlushText();

  void StartDecoding();
  void Parse(std::string_view utf8, bool last = false);

  TElementEvent FOnElement;
  std::unique_ptr<TImpl> FImpl;
  std::string FPendingText;
  bool FStopped = false;
  bool FFinished = false;
};

// Puts elements back together as HTML text, for showing the elements a reader let through.
// End tags without a matching start tag that was let through are left out, as are scripts
// (nothing runs them) and the elements of HTML that have no end tag get none.
class THTMLRebuilder {
public:
  void Add(const THTMLElement& element);
  const std::string& Html() const noexcept { return FHtml; }
  void Clear();

private:
  std::string FHtml;
  std::vector<std::string> FOpen; // elements let through and not yet ended
  int FInScript = 0;
};

// Text escaped for HTML content and for attribute values in double quotes.
std::string HTMLEscape(std::string_view text);

} // namespace dravik
