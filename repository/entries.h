// The repository window's list of patch entries as data: columns read from the page's header
// row and one entry per patch row, with a watcher that a view follows. Qt-free.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// The width a column has until the page gives it one.
constexpr int kDefaultColumnWidth = 100;

// A category icon's index: 0 "Force", 1 "Item", 2 "Saber", 3 "Skin", 4 any other or unknown.
constexpr int kOtherCategory = 4;
// The category of a type text (trimmed, exact, case-sensitive): 0 to 3, or -1 for none.
int CategoryIndex(std::string_view typeText);

struct TRepositoryColumn {
  std::string Caption; // the header cell's text fragments, each after one space
  int Width = kDefaultColumnWidth;
};

// One patch: the row's first cell as caption; sub-item k holds the cell of column k + 1, and
// the last sub-item (one more than the shown columns) the first cell's link as written.
struct TRepositoryEntry {
  std::string Caption;
  std::vector<std::string> SubItems;
  int ImageIndex = kOtherCategory;

  // The link of the first cell ("" when the row has none).
  std::string Link() const { return SubItems.empty() ? std::string() : SubItems.back(); }
  // The text shown in `column` (0: the caption); "" outside the row.
  const std::string& Text(int column) const;
};

// What a view of the list is told: after each change (Reordering before one).
class TRepositoryEntriesWatcher {
public:
  virtual ~TRepositoryEntriesWatcher() = default;
  virtual void ColumnAdded(int column) = 0;
  virtual void ColumnChanged(int column) = 0; // caption or width
  virtual void EntryAdded(int index) = 0;
  virtual void EntryChanged(int index) = 0;
  virtual void Cleared() = 0;    // every entry and column gone
  virtual void Reordering() = 0; // before the entries change places
  virtual void Reordered() = 0;
};

class TRepositoryEntries {
public:
  int ColumnCount() const noexcept { return int(FColumns.size()); }
  int Count() const noexcept { return int(FEntries.size()); }
  // Columns and entries keep their addresses until Clear; indexes must be in range.
  TRepositoryColumn& Column(int index) { return *FColumns.at(size_t(index)); }
  const TRepositoryColumn& Column(int index) const { return *FColumns.at(size_t(index)); }
  TRepositoryEntry& operator[](int index) { return *FEntries.at(size_t(index)); }
  const TRepositoryEntry& operator[](int index) const { return *FEntries.at(size_t(index)); }
  // Index of a column or entry; -1 when it is not in the list.
  int IndexOf(const TRepositoryColumn* column) const;
  int IndexOf(const TRepositoryEntry* entry) const;

  TRepositoryColumn& AddColumn();
  // A new entry with image index 4 and `subItems` empty sub-items.
  TRepositoryEntry& AddEntry(int subItems);
  void Clear();

  // Report a change made through the references above.
  void ColumnChanged(const TRepositoryColumn& column);
  void EntryChanged(const TRepositoryEntry& entry);

  // Orders the entries by `compare` (negative: first before second), keeping equal ones in
  // their order. Safe with a comparison that is not a consistent order (such as dates mixed
  // with texts): every entry stays, in some order.
  void Sort(const std::function<int(const TRepositoryEntry&, const TRepositoryEntry&)>& compare);

  // The view that follows the list (not owned; null: none).
  void SetWatcher(TRepositoryEntriesWatcher* watcher) noexcept { FWatcher = watcher; }

private:
  std::vector<std::unique_ptr<TRepositoryColumn>> FColumns;
  std::vector<std::unique_ptr<TRepositoryEntry>> FEntries;
  TRepositoryEntriesWatcher* FWatcher = nullptr;
};

// Days since a fixed day for a date text, or none when it is not a date.
using TDateConverter = std::function<std::optional<long>(std::string_view text)>;
// Dates written as ISO 8601 (2024-03-14), the form the program accepts everywhere.
std::optional<long> ISODateDays(std::string_view text);

// The list's order: texts of `column` (0: captions, else sub-item column - 1) compared as dates
// when both convert (the difference in days), otherwise as texts ignoring letter case a to z;
// negated when descending.
int CompareEntries(const TRepositoryEntry& a, const TRepositoryEntry& b, int column,
                   bool descending, const TDateConverter& toDate);

} // namespace dravik
