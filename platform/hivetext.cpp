#include "hivetext.h"

#include "sysutils.h"

#include <algorithm>
#include <set>
#include <utility>

namespace dravik {

using namespace hivesyntax;

namespace {

std::vector<const THiveKey*> Chain(const THiveKey* key) {
  std::vector<const THiveKey*> chain;
  for (; key && key->Parent; key = key->Parent)
    chain.push_back(key);
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// Wine's file order: depth first, parents first, siblings ascending ignoring case.
bool WritesBefore(const THiveKey* a, const THiveKey* b) {
  std::vector<const THiveKey*> ca = Chain(a), cb = Chain(b);
  for (size_t i = 0; i < ca.size() && i < cb.size(); ++i)
    if (ca[i] != cb[i]) return FoldName(ca[i]->Name) < FoldName(cb[i]->Name);
  return ca.size() < cb.size();
}

// Whether a value line the reader refused would have been read had a blank line followed it.
bool IsCutShort(std::string_view raw) {
  std::string probe(raw);
  if (probe.empty() || (probe.back() != '\n' && probe.back() != '\r')) probe += '\n';
  probe += '\n';
  TLineReader reader{probe};
  std::string_view content, line;
  reader.Next(content, line);
  TRegValue value;
  return ParseValueLine(content.substr(SkipSpace(content, 0)), reader, value);
}

bool IsOption(const THiveLine& line, std::string_view name) {
  if (line.Kind != THiveLine::lkOption) return false;
  return std::string_view(line.Raw).substr(SkipSpace(line.Raw, 0)).starts_with(name);
}

} // namespace

THiveText::THiveText() {
  Clear();
}

void THiveText::Clear() {
  FRoot = std::make_unique<THiveKey>();
  FSections.clear();
  FWin64 = false;
}

bool THiveText::Read(std::string_view text) {
  Clear();
  TLineReader reader{text};
  std::string_view first, raw;
  if (!reader.Next(first, raw) || first != kHeaderLine) return false;
  Parse(text);
  return true;
}

THiveKey* THiveText::Child(THiveKey* parent, std::u16string_view name) {
  std::u16string folded = FoldName(name);
  auto it = parent->SubKeys.find(folded);
  if (it != parent->SubKeys.end()) return it->second.get();
  auto key = std::make_unique<THiveKey>();
  key->Name = name;
  key->Parent = parent;
  return parent->SubKeys.emplace(std::move(folded), std::move(key)).first->second.get();
}

void THiveText::Parse(std::string_view text) {
  THiveSection* cur = &FSections.emplace_back();
  std::string blanks; // blank lines not yet placed: before a key line they lead its section
  auto add = [&](THiveLine line) {
    if (!blanks.empty()) cur->Lines.push_back({THiveLine::lkText, std::exchange(blanks, {}), {}});
    cur->Lines.push_back(std::move(line));
  };
  TLineReader reader{text};
  std::string_view content, raw;
  for (size_t start = 0; reader.Next(content, raw); start = reader.Pos) {
    size_t p = SkipSpace(content, 0);
    if (p == content.size()) {
      blanks += raw;
      continue;
    }
    char c = content[p];
    if (c == '[') {
      cur = &FSections.emplace_back();
      cur->Lead = std::exchange(blanks, {});
      cur->Head = raw;
      std::vector<std::u16string> names;
      if (ParseKeyLine(content, cur->HeadEnd, names)) {
        cur->Key = FRoot.get();
        for (const std::u16string& name : names)
          cur->Key = Child(cur->Key, name);
        cur->Key->Sections.push_back(cur);
      }
      continue;
    }
    if (cur->Key && (c == '@' || c == '"')) {
      THiveLine line{THiveLine::lkValue, {}, {}};
      const bool read = ParseValueLine(content.substr(p), reader, line.Value);
      if (!read) line = {THiveLine::lkText, {}, {}};
      line.Raw = text.substr(start, reader.Pos - start);
      line.CutShort = !read && IsCutShort(line.Raw);
      add(std::move(line));
      continue;
    }
    if (c == '#' && !cur->Key && content.substr(p).starts_with("#arch=")) {
      std::string arch = Trim(content.substr(p + 6));
      if (arch == "win64" || arch == "win32") FWin64 = arch == "win64";
    }
    add({c == '#' ? THiveLine::lkOption : THiveLine::lkText, std::string(raw), {}});
  }
  if (!blanks.empty()) cur->Lines.push_back({THiveLine::lkText, std::move(blanks), {}});
}

std::string THiveText::Text() const {
  std::string out;
  bool cutShort = false;
  auto put = [&out, &cutShort](const std::string& piece, bool pieceCutShort = false) {
    if (piece.empty()) return;
    // Only the old last line can lack its line break; what now follows it needs one.
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += '\n';
    // After a value cut short only a key line may follow as read; anything else would be
    // taken as its continuation, so a comment line comes between.
    if (cutShort && std::string_view(piece).substr(SkipSpace(piece, 0)).substr(0, 1) != "[")
      out += ";\n";
    out += piece;
    cutShort = pieceCutShort;
  };
  for (const THiveSection& s : FSections) {
    put(s.Lead);
    put(s.Head);
    for (const THiveLine& line : s.Lines)
      put(line.Raw, line.CutShort);
  }
  return out;
}

THiveKey* THiveText::SubKey(const THiveKey* key, std::u16string_view name) const {
  auto it = key->SubKeys.find(FoldName(name));
  return it == key->SubKeys.end() ? nullptr : it->second.get();
}

THiveKey* THiveText::AddSubKey(THiveKey* parent, std::u16string_view name) {
  THiveKey* key = Child(parent, name);
  Touch(parent);
  return key;
}

size_t THiveText::Depth(const THiveKey* key) const noexcept {
  size_t depth = 0;
  for (; key && key->Parent; key = key->Parent)
    ++depth;
  return depth;
}

void THiveText::AddKeyLine(THiveKey* key) {
  if (!key->Sections.empty()) return;
  TStamp now = Now();
  THiveSection s;
  s.Lead = "\n";
  std::vector<std::u16string> names;
  for (const THiveKey* k : Chain(key))
    names.push_back(k->Name);
  s.Head = KeyPathText(names);
  s.HeadEnd = s.Head.size();
  s.Head += Format(" %u\n", unsigned(now.Seconds));
  s.Lines.push_back({THiveLine::lkOption, TimeOption(now.Ticks) + "\n", {}});
  s.Key = key;
  // Before the first key that Wine would write after this one.
  auto at = std::find_if(FSections.begin(), FSections.end(), [key](const THiveSection& o) {
    return o.Key && WritesBefore(key, o.Key);
  });
  key->Sections.push_back(&*FSections.insert(at, std::move(s)));
}

bool THiveText::IsLink(const THiveKey* key) const {
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (IsOption(line, "#link")) return true;
  return false;
}

const TRegValue* THiveText::FindValue(const THiveKey* key, std::u16string_view name) const {
  const TRegValue* found = nullptr;
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (line.Kind == THiveLine::lkValue && SameName(line.Value.Name, name)) found = &line.Value;
  return found;
}

std::vector<std::u16string> THiveText::ValueNames(const THiveKey* key) const {
  std::vector<std::u16string> names;
  std::set<std::u16string> seen;
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (line.Kind == THiveLine::lkValue && seen.insert(FoldName(line.Value.Name)).second)
        names.push_back(line.Value.Name);
  return names;
}

void THiveText::SetValue(THiveKey* key, TRegValue value) {
  // A repeated name reads as its last line: that one is replaced, the others go; the name
  // keeps the spelling of its first line.
  std::vector<std::pair<THiveSection*, size_t>> found; // in file order
  for (THiveSection* s : key->Sections)
    for (size_t i = 0; i < s->Lines.size(); ++i)
      if (s->Lines[i].Kind == THiveLine::lkValue && SameName(s->Lines[i].Value.Name, value.Name))
        found.emplace_back(s, i);
  if (!found.empty()) {
    value.Name = found.front().first->Lines[found.front().second].Value.Name;
    auto [last, lastAt] = found.back();
    found.pop_back();
    last->Lines[lastAt] = {THiveLine::lkValue, ValueLine(value), std::move(value)};
    for (auto it = found.rbegin(); it != found.rend(); ++it) // from the back: indexes hold
      it->first->Lines.erase(it->first->Lines.begin() + static_cast<ptrdiff_t>(it->second));
  } else {
    AddKeyLine(key);
    THiveSection* s = key->Sections.back();
    // Among the values in Wine's order (ascending ignoring case), else after the options.
    std::u16string folded = FoldName(value.Name);
    size_t at = 0;
    bool anyValue = false;
    for (size_t i = 0; i < s->Lines.size(); ++i) {
      const THiveLine& l = s->Lines[i];
      if (l.Kind == THiveLine::lkValue) {
        if (FoldName(l.Value.Name) > folded) {
          at = i;
          break;
        }
        at = i + 1;
        anyValue = true;
      } else if (l.Kind == THiveLine::lkOption && !anyValue) {
        at = i + 1;
      }
    }
    std::string raw = ValueLine(value);
    s->Lines.insert(s->Lines.begin() + static_cast<ptrdiff_t>(at),
                    {THiveLine::lkValue, std::move(raw), std::move(value)});
  }
  Touch(key);
}

bool THiveText::DeleteValue(THiveKey* key, std::u16string_view name) {
  size_t erased = 0;
  for (THiveSection* s : key->Sections)
    erased += std::erase_if(s->Lines, [name](const THiveLine& l) {
      return l.Kind == THiveLine::lkValue && SameName(l.Value.Name, name);
    });
  if (erased) Touch(key);
  return erased != 0;
}

void THiveText::Touch(THiveKey* key) {
  if (key->Sections.empty()) return;
  TStamp now = Now();
  for (THiveSection* s : key->Sections) {
    s->Head = s->Head.substr(0, s->HeadEnd) + Format(" %u", unsigned(now.Seconds)) +
              std::string(LineBreak(s->Head));
    for (THiveLine& line : s->Lines)
      if (IsOption(line, "#time=")) {
        size_t at = SkipSpace(line.Raw, 0);
        line.Raw =
            line.Raw.substr(0, at) + TimeOption(now.Ticks) + std::string(LineBreak(line.Raw));
      }
  }
}

} // namespace dravik
