#include "stringlist.h"

#include "sysutils.h"

#include <algorithm>

namespace dravik {

void TStringList::Check(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError(Format("List index out of bounds (%d)", index));
}

const std::string& TStringList::operator[](int index) const {
  Check(index);
  return FLines[static_cast<size_t>(index)];
}

std::string& TStringList::operator[](int index) {
  Check(index);
  return FLines[static_cast<size_t>(index)];
}

int TStringList::Add(std::string line) {
  FLines.push_back(std::move(line));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string line) {
  if (index < 0 || index > Count())
    throw EStringListError(Format("List index out of bounds (%d)", index));
  FLines.insert(FLines.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
  Check(index);
  FLines.erase(FLines.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const noexcept {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (SameText(FLines[i], s)) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Names(int index) const {
  const std::string& line = (*this)[index];
  size_t p = line.find('=');
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = (*this)[index];
  size_t p = line.find('=');
  return p == std::string::npos ? std::string() : line.substr(p + 1);
}

int TStringList::IndexOfName(std::string_view name) const noexcept {
  for (size_t i = 0; i < FLines.size(); ++i) {
    const std::string& line = FLines[i];
    size_t p = line.find('=');
    if (p != std::string::npos && SameText(std::string_view(line).substr(0, p), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i >= 0)
    FLines[static_cast<size_t>(i)] = std::move(line);
  else
    FLines.push_back(std::move(line));
}

std::string TStringList::Text() const {
  std::string r;
  for (const auto& l : FLines) {
    r += l;
    r += "\r\n";
  }
  return r;
}

void TStringList::SetText(std::string_view text) {
  FLines.clear();
  size_t i = 0, start = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      FLines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) FLines.emplace_back(text.substr(start));
}

void TStringList::Sort() {
  std::sort(FLines.begin(), FLines.end(),
            [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

} // namespace dravik
