#include "entries.h"

#include "platform/sysutils.h"

#include <algorithm>
#include <array>

namespace dravik {

int CategoryIndex(std::string_view typeText) {
  static const std::array<const char*, 4> kCategories = {"Force", "Item", "Saber", "Skin"};
  const std::string text = Trim(typeText);
  for (size_t i = 0; i < kCategories.size(); ++i)
    if (text == kCategories[i]) return int(i);
  return -1;
}

const std::string& TRepositoryEntry::Text(int column) const {
  static const std::string kNone;
  if (column == 0) return Caption;
  if (column < 1 || size_t(column - 1) >= SubItems.size()) return kNone;
  return SubItems[size_t(column - 1)];
}

int TRepositoryEntries::IndexOf(const TRepositoryColumn* column) const {
  for (size_t i = 0; i < FColumns.size(); ++i)
    if (FColumns[i].get() == column) return int(i);
  return -1;
}

int TRepositoryEntries::IndexOf(const TRepositoryEntry* entry) const {
  for (size_t i = FEntries.size(); i-- > 0;) // the entry being filled is usually the last
    if (FEntries[i].get() == entry) return int(i);
  return -1;
}

TRepositoryColumn& TRepositoryEntries::AddColumn() {
  FColumns.push_back(std::make_unique<TRepositoryColumn>());
  if (FWatcher) FWatcher->ColumnAdded(ColumnCount() - 1);
  return *FColumns.back();
}

TRepositoryEntry& TRepositoryEntries::AddEntry(int subItems) {
  auto entry = std::make_unique<TRepositoryEntry>();
  entry->SubItems.resize(size_t(std::max(subItems, 0)));
  FEntries.push_back(std::move(entry));
  if (FWatcher) FWatcher->EntryAdded(Count() - 1);
  return *FEntries.back();
}

void TRepositoryEntries::Clear() {
  FEntries.clear();
  FColumns.clear();
  if (FWatcher) FWatcher->Cleared();
}

void TRepositoryEntries::ColumnChanged(const TRepositoryColumn& column) {
  const int index = IndexOf(&column);
  if (FWatcher && index >= 0) FWatcher->ColumnChanged(index);
}

void TRepositoryEntries::EntryChanged(const TRepositoryEntry& entry) {
  const int index = IndexOf(&entry);
  if (FWatcher && index >= 0) FWatcher->EntryChanged(index);
}

// A merge sort that only ever looks inside the ranges it merges, so an inconsistent comparison
// can scramble the order but never lose or duplicate an entry.
void TRepositoryEntries::Sort(
    const std::function<int(const TRepositoryEntry&, const TRepositoryEntry&)>& compare) {
  using TItem = std::unique_ptr<TRepositoryEntry>;
  if (FWatcher) FWatcher->Reordering();
  const size_t n = FEntries.size();
  if (n > 1) {
    std::vector<TItem> buffer(n);
    for (size_t width = 1; width < n; width *= 2) {
      for (size_t lo = 0; lo < n; lo += 2 * width) {
        const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
        size_t i = lo, j = mid, k = lo;
        while (i < mid && j < hi)
          buffer[k++] = compare(*FEntries[j], *FEntries[i]) < 0 ? std::move(FEntries[j++])
                                                                : std::move(FEntries[i++]);
        while (i < mid)
          buffer[k++] = std::move(FEntries[i++]);
        while (j < hi)
          buffer[k++] = std::move(FEntries[j++]);
      }
      FEntries.swap(buffer);
    }
  }
  if (FWatcher) FWatcher->Reordered();
}

namespace {

// Days from 1970-01-01 for a date of the proleptic Gregorian calendar.
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + long(doe) - 719468;
}

bool ReadNumber(std::string_view text, size_t& at, size_t digits, long& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i, ++at) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    value = value * 10 + (text[at] - '0');
  }
  return true;
}

} // namespace

std::optional<long> ISODateDays(std::string_view raw) {
  const std::string text = Trim(raw);
  size_t at = 0;
  long y, m, d;
  if (text.size() != 10 || !ReadNumber(text, at, 4, y) || text[at++] != '-' ||
      !ReadNumber(text, at, 2, m) || text[at++] != '-' || !ReadNumber(text, at, 2, d))
    return std::nullopt;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return std::nullopt;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] + (m == 2 && leap)) return std::nullopt;
  return DaysFromCivil(y, unsigned(m), unsigned(d));
}

int CompareEntries(const TRepositoryEntry& a, const TRepositoryEntry& b, int column,
                   bool descending, const TDateConverter& toDate) {
  const std::string& x = a.Text(column);
  const std::string& y = b.Text(column);
  int result;
  std::optional<long> dx, dy;
  if (toDate && (dx = toDate(x)) && (dy = toDate(y)))
    result = *dx < *dy ? -1 : (*dx > *dy ? 1 : 0);
  else
    result = CompareText(x, y);
  return descending ? -result : result;
}

} // namespace dravik
