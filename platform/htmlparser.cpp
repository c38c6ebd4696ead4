#include "htmlparser.h"

#include <algorithm>
#include <cstring>
#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <mutex>

namespace dravik {

namespace {

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string LowerAscii(const char* s) {
  std::string out = s ? s : "";
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

const char* C(const xmlChar* s) {
  return reinterpret_cast<const char*>(s);
}

// Errors in pages are repaired, not reported.
void Quiet(void*, const char*, ...) {}

} // namespace

std::string THTMLAttributes::Value(std::string_view name) const {
  for (const auto& [n, v] : Items)
    if (SameAscii(n, name)) return v;
  return {};
}

bool THTMLAttributes::Has(std::string_view name) const {
  return std::any_of(Items.begin(), Items.end(),
                     [&](const auto& item) { return SameAscii(item.first, name); });
}

struct THTMLPushParser::TImpl {
  htmlParserCtxtPtr Ctxt = nullptr;
  htmlSAXHandler Sax;

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
    e.Type = LowerAscii(C(name));
    for (const xmlChar** a = atts; a && a[0]; a += 2)
      e.Attributes.Items.emplace_back(LowerAscii(C(a[0])), a[1] ? C(a[1]) : "");
    self->Emit(std::move(e));
  }

  static void EndElement(void* ctx, const xmlChar* name) {
    THTMLPushParser* self = Self(ctx);
    if (self->FStopped) return;
    self->FlushText();
    THTMLElement e;
    e.Type = LowerAscii(C(name));
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
  // The context's user data is the context itself (so callbacks can reach _private).
  FImpl->Ctxt =
      htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
  if (!FImpl->Ctxt) throw std::bad_alloc();
  FImpl->Ctxt->_private = this;
  FImpl->Ctxt->userData = FImpl->Ctxt;
  htmlCtxtUseOptions(FImpl->Ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                      HTML_PARSE_NONET | HTML_PARSE_COMPACT);
  if (!encoding.empty()) {
    if (xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding.c_str()))
      xmlSwitchToEncoding(FImpl->Ctxt, handler);
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
  // libxml2 takes int sizes; feed very large pieces in parts.
  constexpr size_t kPart = 1 << 20;
  while (size > 0 && !FStopped) {
    const size_t n = std::min(size, kPart);
    htmlParseChunk(FImpl->Ctxt, data, int(n), 0);
    data += n;
    size -= n;
  }
}

void THTMLPushParser::Finish() {
  if (FStopped || FFinished) return;
  FFinished = true;
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
