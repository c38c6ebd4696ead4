#include "htmlparser.h"

#include "codepage.h"
#include "sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <mutex>
#include <utility>

namespace dravik {

namespace {

const char* C(const xmlChar* s) {
  return reinterpret_cast<const char*>(s);
}

// Errors in pages are repaired, not reported.
void Quiet(void*, const char*, ...) {}

// How much of a page is searched for a <meta> declaring its character set (as browsers do).
constexpr size_t kPrescanSize = 1024;

// The length of the well-formed UTF-8 character at s[i]; 0 when the bytes there are not one,
// -1 when `s` ends inside what may still become one.
int Utf8Length(std::string_view s, size_t i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  const int n = b < 0x80                 ? 1
                : b >= 0xC2 && b <= 0xDF ? 2
                : b >= 0xE0 && b <= 0xEF ? 3
                : b >= 0xF0 && b <= 0xF4 ? 4
                                         : 0;
  for (int k = 1; k < n; ++k) {
    if (i + size_t(k) >= s.size()) return -1;
    const unsigned char c = static_cast<unsigned char>(s[i + size_t(k)]);
    // The second byte also rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char lo = k > 1 ? 0x80 : b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = k > 1 ? 0xBF : b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (c < lo || c > hi) return 0;
  }
  return n;
}

// The character set a <meta> in `head` declares ("" when none).
std::string MetaCharset(std::string_view head) {
  const std::string lower = LowerCase(head);
  for (size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
    const size_t end = std::min(lower.find('>', at), lower.size());
    size_t p = lower.find("charset", at);
    if (p >= end) continue;
    p += 7;
    while (p < end && (lower[p] == ' ' || lower[p] == '\t' || lower[p] == '\n' || lower[p] == '\r'))
      ++p;
    if (p >= end || lower[p] != '=') continue;
    ++p;
    while (p < end && (lower[p] == ' ' || lower[p] == '"' || lower[p] == '\''))
      ++p;
    size_t q = p;
    while (q < end && std::string_view(" \t\r\n\"';/>").find(lower[q]) == std::string_view::npos)
      ++q;
    if (q > p) return lower.substr(p, q - p);
  }
  return {};
}

// The character set a label names, as browsers read labels: those of Latin-1 and ASCII name
// windows-1252 (pages labelled so are written in it, and browsers read them so), and UTF-16
// without a byte order is little-endian. Lower case; other labels as they are.
std::string CharsetOfLabel(std::string_view label) {
  const std::string name = LowerCase(Trim(label));
  static const char* const kUtf8[] = {"utf-8",         "utf8",          "unicode-1-1-utf-8",
                                      "unicode11utf8", "unicode20utf8", "x-unicode20utf8"};
  static const char* const kCp1252[] = {
      "windows-1252", "cp1252",        "x-cp1252",        "iso-8859-1", "iso8859-1",
      "iso88591",     "iso_8859-1",    "iso_8859-1:1987", "iso-ir-100", "latin1",
      "l1",           "csisolatin1",   "ibm819",          "cp819",      "us-ascii",
      "ascii",        "ansi_x3.4-1968"};
  static const char* const kUtf16[] = {"utf-16",    "utf-16le",        "unicode",    "ucs-2",
                                       "csunicode", "iso-10646-ucs-2", "unicodefeff"};
  auto in = [&](const auto& labels) {
    return std::any_of(std::begin(labels), std::end(labels),
                       [&](const char* l) { return name == l; });
  };
  if (in(kUtf8)) return "utf-8";
  if (in(kCp1252)) return "windows-1252";
  if (in(kUtf16)) return "utf-16le";
  if (name == "utf-16be" || name == "unicodefffe") return "utf-16be";
  return name;
}

// The byte-order marks, with the character set each one settles.
constexpr std::pair<std::string_view, const char*> kByteOrderMarks[] = {
    {"\xEF\xBB\xBF", "utf-8"}, {"\xFF\xFE", "utf-16le"}, {"\xFE\xFF", "utf-16be"}};

// Turns the page's bytes into UTF-8 before libxml2 sees them, so that libxml2 never guesses or
// switches a character set itself: its guesses looked at as much of the page as had arrived,
// so the text depended on how the page was cut up. A character cut off at the end of a piece
// waits for the next one.
class TDecoder {
public:
  // `charset` as CharsetOfLabel gives it. "" (and one not known) means UTF-8, with windows-1252
  // for the bytes that are not UTF-8, which is how a page that does not say reads right
  // whichever of the two it is written in.
  explicit TDecoder(const std::string& charset) {
    if (charset == "windows-1252") {
      FCp1252 = true;
    } else if (!charset.empty() && charset != "utf-8") {
      FIconv = iconv_open("UTF-8", charset.c_str());
      FKnown = FIconv != kNoIconv;
    }
  }
  ~TDecoder() {
    if (FIconv != kNoIconv) iconv_close(FIconv);
  }
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;
  bool Known() const { return FKnown; }

  // Decodes what was held back and `data`; `last`: the page ends here.
  std::string Decode(std::string_view data, bool last) {
    FHeld.append(data);
    std::string out;
    size_t done = FCp1252              ? (out = Cp1252ToUtf8(FHeld), FHeld.size())
                  : FIconv != kNoIconv ? DecodeIconv(out, last)
                                       : DecodeUtf8(out, last);
    FHeld.erase(0, done);
    return out;
  }

private:
  static inline const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

  size_t DecodeUtf8(std::string& out, bool last) {
    size_t i = 0;
    while (i < FHeld.size()) {
      const int n = Utf8Length(FHeld, i);
      if (n < 0 && !last) break; // the rest comes with the next piece
      if (n > 0) {
        out.append(FHeld, i, size_t(n));
        i += size_t(n);
      } else {
        AppendUtf8(out, Cp1252Char(static_cast<unsigned char>(FHeld[i++])));
      }
    }
    return i;
  }

  size_t DecodeIconv(std::string& out, bool last) {
    char* in = FHeld.data();
    size_t inLeft = FHeld.size();
    char buf[4096];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      const size_t r = iconv(FIconv, &in, &inLeft, &o, &oLeft);
      out.append(buf, size_t(o - buf));
      if (r != size_t(-1) || errno == E2BIG) continue;
      if (errno == EINVAL && !last) break; // a cut character: wait for the rest
      AppendUtf8(out, 0xFFFD);             // not a character of the set
      ++in;
      --inLeft;
      iconv(FIconv, nullptr, nullptr, nullptr, nullptr);
    }
    return FHeld.size() - inLeft;
  }

  iconv_t FIconv = kNoIconv;
  bool FCp1252 = false;
  bool FKnown = true;
  std::string FHeld;
};

} // namespace

std::string THTMLAttributes::Value(std::string_view name) const {
  for (const auto& [n, v] : Items)
    if (SameText(n, name)) return v;
  return {};
}

bool THTMLAttributes::Has(std::string_view name) const {
  return std::any_of(Items.begin(), Items.end(),
                     [&](const auto& item) { return SameText(item.first, name); });
}

struct THTMLPushParser::TImpl {
  htmlParserCtxtPtr Ctxt = nullptr;
  htmlSAXHandler Sax;
  std::unique_ptr<TDecoder> Decoder; // made once the character set is settled
  std::unique_ptr<TDecoder> Server;  // the server's character set, unless a byte-order mark
  std::string Head;                  // the page's first bytes, searched for a <meta>
  std::string Held;                  // from the first byte above 127 while it is not settled
  std::string Pending;               // UTF-8 after the last ">", not yet given to libxml2

  static THTMLPushParser* Self(void* ctx) {
    // libxml2 passes the parser context; its user data is the parser object.
    auto* ctxt = static_cast<htmlParserCtxtPtr>(ctx);
    return static_cast<THTMLPushParser*>(ctxt->_private);
  }

  static void StartElement(void* ctx, const xmlChar* name, const xmlChar** atts) {
    THTMLPushParser* self = Self(ctx);
    if (self->FStopped) return;
    self->FlushText();
    THTMLElement e;
    e.Type = LowerCase(C(name));
    for (const xmlChar** a = atts; a && a[0]; a += 2)
      e.Attributes.Items.emplace_back(LowerCase(C(a[0])), a[1] ? C(a[1]) : "");
    self->Emit(std::move(e));
  }

  static void EndElement(void* ctx, const xmlChar* name) {
    THTMLPushParser* self = Self(ctx);
    if (self->FStopped) return;
    self->FlushText();
    THTMLElement e;
    e.Type = LowerCase(C(name));
    e.EndTag = true;
    self->Emit(std::move(e));
  }

  static void Characters(void* ctx, const xmlChar* text, int len) {
    THTMLPushParser* self = Self(ctx);
    if (self->FStopped || len <= 0) return;
    self->FPendingText.append(C(text), size_t(len));
  }
};

THTMLPushParser::THTMLPushParser(TElementEvent onElement, const std::string& encoding)
    : FOnElement(std::move(onElement)), FImpl(std::make_unique<TImpl>()) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  htmlSAXHandler& sax = FImpl->Sax;
  std::memset(&sax, 0, sizeof sax);
  sax.startElement = &TImpl::StartElement;
  sax.endElement = &TImpl::EndElement;
  sax.characters = &TImpl::Characters;
  // Blanks count as text whichever way libxml2 classes them (its choice depends on where a
  // piece ends), and script and style contents are text too.
  sax.ignorableWhitespace = &TImpl::Characters;
  sax.cdataBlock = &TImpl::Characters;
  sax.warning = &Quiet;
  sax.error = &Quiet;
  sax.fatalError = &Quiet;
  // The context's user data is the context itself (so callbacks can reach _private). It reads
  // UTF-8 only (TDecoder makes it) and leaves <meta> declarations to us.
  FImpl->Ctxt =
      htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
  if (!FImpl->Ctxt) throw std::bad_alloc();
  FImpl->Ctxt->_private = this;
  FImpl->Ctxt->userData = FImpl->Ctxt;
  FImpl->Ctxt->charset = XML_CHAR_ENCODING_UTF8;
  htmlCtxtUseOptions(FImpl->Ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                      HTML_PARSE_NONET | HTML_PARSE_COMPACT |
                                      HTML_PARSE_IGNORE_ENC);
  if (!encoding.empty()) {
    auto decoder = std::make_unique<TDecoder>(CharsetOfLabel(encoding));
    if (decoder->Known()) FImpl->Server = std::move(decoder);
  }
}

THTMLPushParser::~THTMLPushParser() {
  if (FImpl->Ctxt) {
    if (FImpl->Ctxt->myDoc) xmlFreeDoc(FImpl->Ctxt->myDoc);
    htmlFreeParserCtxt(FImpl->Ctxt);
  }
}

void THTMLPushParser::Emit(THTMLElement&& element) {
  if (FOnElement) FOnElement(element);
}

void THTMLPushParser::FlushText() {
  if (FPendingText.empty()) return;
  THTMLElement e;
  e.Type = THTMLElement::kText;
  e.Text = std::move(FPendingText);
  FPendingText.clear();
  Emit(std::move(e));
}

void THTMLPushParser::Feed(const char* data, size_t size) {
  if (FStopped || FFinished) return;
  std::string_view piece(data, size);
  if (FImpl->Decoder) {
    Parse(FImpl->Decoder->Decode(piece, false));
    return;
  }
  TImpl& impl = *FImpl;
  impl.Head.append(piece.substr(0, kPrescanSize - impl.Head.size()));
  if (impl.Server) {
    // Only a byte-order mark overrides the server: its bytes are awaited.
    impl.Held.append(piece);
    const std::string_view head = impl.Head;
    if (!head.empty() &&
        std::none_of(std::begin(kByteOrderMarks), std::end(kByteOrderMarks), [&](const auto& mark) {
          return head.size() < mark.first.size() && mark.first.starts_with(head);
        }))
      StartDecoding();
    return;
  }
  // Without a character set from the server, the page's start may declare one. Bytes below 128
  // read the same in every character set a page may declare, so they go on at once; from the
  // first byte above 127 the page waits until its first 1024 bytes have come (or Finish).
  if (impl.Held.empty()) {
    size_t ascii = 0;
    while (ascii < piece.size() && static_cast<unsigned char>(piece[ascii]) < 0x80)
      ++ascii;
    Parse(piece.substr(0, ascii));
    piece.remove_prefix(ascii);
  }
  impl.Held.append(piece);
  if (impl.Head.size() >= kPrescanSize) StartDecoding();
}

void THTMLPushParser::StartDecoding() {
  TImpl& impl = *FImpl;
  std::string_view held = impl.Held;
  // A byte-order mark decides (it begins what is held: its first byte is above 127); else the
  // server; else a <meta> among the first bytes, where UTF-16 means UTF-8 (the page was read
  // as ASCII).
  for (const auto& [mark, charset] : kByteOrderMarks)
    if (impl.Head.starts_with(mark)) {
      held.remove_prefix(mark.size());
      impl.Decoder = std::make_unique<TDecoder>(charset);
      break;
    }
  if (!impl.Decoder && impl.Server) impl.Decoder = std::move(impl.Server);
  if (!impl.Decoder) {
    std::string charset = CharsetOfLabel(MetaCharset(impl.Head));
    if (charset.starts_with("utf-16")) charset.clear();
    impl.Decoder = std::make_unique<TDecoder>(charset);
  }
  impl.Server.reset();
  const std::string utf8 = impl.Decoder->Decode(held, FFinished);
  impl.Held.clear();
  impl.Head.clear();
  Parse(utf8, FFinished);
}

void THTMLPushParser::Parse(std::string_view utf8, bool last) {
  // libxml2 reads some malformed markup (a quote left open inside a tag) differently depending
  // on where its pieces end. It gets pieces that end just after a ">" (and the rest at the
  // end), so that a page reads the same however it arrived.
  std::string& pending = FImpl->Pending;
  pending.append(utf8);
  size_t from = 0;
  for (size_t end; !FStopped && from < pending.size(); from = end) {
    const size_t gt = pending.find('>', from);
    if (gt == std::string::npos && !last) break;
    end = gt == std::string::npos ? pending.size() : gt + 1;
    // libxml2 takes int sizes; very long stretches go in parts.
    constexpr size_t kPart = 1 << 20;
    for (size_t at = from; at < end && !FStopped; at += kPart)
      htmlParseChunk(FImpl->Ctxt, pending.data() + at, int(std::min(kPart, end - at)), 0);
  }
  pending.erase(0, std::min(from, pending.size()));
}

void THTMLPushParser::Finish() {
  if (FStopped || FFinished) return;
  FFinished = true;
  if (!FImpl->Decoder)
    StartDecoding();
  else
    Parse(FImpl->Decoder->Decode({}, true), true);
  if (FStopped) return;
  htmlParseChunk(FImpl->Ctxt, nullptr, 0, 1);
  if (!FStopped) FlushText();
}

void THTMLPushParser::Stop() {
  if (FStopped) return;
  FStopped = true;
  FPendingText.clear();
  xmlStopParser(FImpl->Ctxt);
}

// -- Rebuilding --------------------------------------------------------------------------------

std::string HTMLEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

namespace {

bool IsVoidElement(const std::string& type) {
  static const char* const kVoid[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                      "input", "link", "meta", "param", "source", "track", "wbr"};
  return std::any_of(std::begin(kVoid), std::end(kVoid), [&](const char* v) { return type == v; });
}

bool IsTagName(const std::string& type) {
  if (type.empty()) return false;
  return std::all_of(type.begin(), type.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':';
  });
}

bool IsAttributeName(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return c == ' ' || c == '"' || c == '\'' || c == '>' || c == '/' || c == '=' || c == '<' ||
           c == '\t' || c == '\n' || c == '\r' || c == '\f';
  });
}

} // namespace

void THTMLRebuilder::Add(const THTMLElement& e) {
  if (e.Type == THTMLElement::kText) {
    if (FInScript == 0) FHtml += HTMLEscape(e.Text);
    return;
  }
  if (!IsTagName(e.Type)) return;
  if (e.Type == "script") {
    if (!e.EndTag)
      ++FInScript;
    else if (FInScript > 0)
      --FInScript;
    return;
  }
  if (FInScript > 0) return;
  if (!e.EndTag) {
    FHtml += "<" + e.Type;
    for (const auto& [name, value] : e.Attributes.Items)
      if (IsAttributeName(name)) FHtml += " " + name + "=\"" + HTMLEscape(value) + "\"";
    FHtml += ">";
    if (!IsVoidElement(e.Type)) FOpen.push_back(e.Type);
    return;
  }
  // An end tag closes the innermost open element of its type (and those inside it).
  auto it = std::find(FOpen.rbegin(), FOpen.rend(), e.Type);
  if (it == FOpen.rend()) return;
  const size_t keep = size_t(FOpen.rend() - it) - 1;
  while (FOpen.size() > keep) {
    FHtml += "</" + FOpen.back() + ">";
    FOpen.pop_back();
  }
}

void THTMLRebuilder::Clear() {
  FHtml.clear();
  FOpen.clear();
  FInScript = 0;
}

} // namespace dravik
