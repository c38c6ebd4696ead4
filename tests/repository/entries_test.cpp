#include "repository/entries.h"
#include "repository/placement.h"

#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace dravik;

namespace {

// A list of one column of dates (sub-item 0) and captions.
TRepositoryEntries Dated(const std::vector<std::pair<std::string, std::string>>& rows) {
  TRepositoryEntries entries;
  entries.AddColumn();
  entries.AddColumn();
  for (const auto& [caption, date] : rows) {
    TRepositoryEntry& e = entries.AddEntry(2);
    e.Caption = " " + caption;
    e.SubItems[0] = " " + date;
  }
  return entries;
}

std::vector<std::string> Captions(const TRepositoryEntries& entries) {
  std::vector<std::string> out;
  for (int i = 0; i < entries.Count(); ++i)
    out.push_back(entries[i].Caption.substr(1));
  return out;
}

} // namespace

TEST(RepositoryEntries, ISODates) {
  EXPECT_EQ(ISODateDays("1970-01-01"), 0);
  EXPECT_EQ(ISODateDays(" 2024-03-01 "), 19783);
  EXPECT_EQ(*ISODateDays("2024-03-01") - *ISODateDays("2024-02-28"), 2); // leap year
  EXPECT_EQ(*ISODateDays("1900-03-01") - *ISODateDays("1900-02-28"), 1);
  for (const char* bad : {"", "2024-02-30", "2023-02-29", "2024-13-01", "2024-00-10", "2024-1-5",
                          "24-01-05", "2024-01-05x", "2024/01/05", "abcd-ef-gh"})
    EXPECT_FALSE(ISODateDays(bad)) << bad;
}

TEST(RepositoryEntries, SortingByDatesAndByText) {
  auto iso = [](std::string_view t) { return ISODateDays(t); };
  TRepositoryEntries e = Dated({{"b", "2024-01-10"}, {"C", "2023-12-31"}, {"a", "2024-01-09"}});
  // Dates in date order (not text order, which would agree here only by chance): make the text
  // order differ by using a date format whose text order is wrong.
  e.Sort([&](const TRepositoryEntry& x, const TRepositoryEntry& y) {
    return CompareEntries(x, y, 1, false, iso);
  });
  EXPECT_EQ(Captions(e), (std::vector<std::string>{"C", "a", "b"}));
  e.Sort([&](const TRepositoryEntry& x, const TRepositoryEntry& y) {
    return CompareEntries(x, y, 1, true, iso);
  });
  EXPECT_EQ(Captions(e), (std::vector<std::string>{"b", "a", "C"}));
  // Captions ignoring letter case.
  e.Sort([&](const TRepositoryEntry& x, const TRepositoryEntry& y) {
    return CompareEntries(x, y, 0, false, iso);
  });
  EXPECT_EQ(Captions(e), (std::vector<std::string>{"a", "b", "C"}));

  // A converter with a day-first format, whose text order is not the date order.
  auto dayFirst = [](std::string_view t) -> std::optional<long> {
    const size_t start = t.find_first_not_of(' ');
    const std::string s(start == std::string_view::npos ? "" : t.substr(start));
    if (s.size() != 10 || s[2] != '.' || s[5] != '.') return std::nullopt;
    return ISODateDays(s.substr(6, 4) + "-" + s.substr(3, 2) + "-" + s.substr(0, 2));
  };
  TRepositoryEntries d =
      Dated({{"x", "01.02.2024"}, {"y", "31.01.2024"}, {"z", "15.01.2023"}, {"w", "02.01.2024"}});
  d.Sort([&](const TRepositoryEntry& x, const TRepositoryEntry& y) {
    return CompareEntries(x, y, 1, false, dayFirst);
  });
  EXPECT_EQ(Captions(d), (std::vector<std::string>{"z", "w", "y", "x"}));

  // One text that is no date: the pairs with it compare as text, the rest as dates.
  EXPECT_LT(CompareEntries(d[0], d[1], 1, false, dayFirst), 0);
  TRepositoryEntry unknown;
  unknown.SubItems = {" soon", ""};
  EXPECT_GT(CompareEntries(unknown, d[0], 1, false, dayFirst), 0); // "soon" > "15.01.2023"
  // Sub-items beyond a short row compare as empty texts.
  TRepositoryEntry shortRow;
  EXPECT_LT(CompareEntries(shortRow, d[0], 1, false, dayFirst), 0);
}

TEST(RepositoryEntries, InconsistentOrdersLoseNothing) {
  std::mt19937 random(3);
  TRepositoryEntries e;
  for (int i = 0; i < 500; ++i)
    e.AddEntry(0).Caption = std::to_string(i);
  e.Sort([&](const TRepositoryEntry&, const TRepositoryEntry&) { return int(random() % 3) - 1; });
  std::set<std::string> seen;
  for (int i = 0; i < e.Count(); ++i)
    seen.insert(e[i].Caption);
  EXPECT_EQ(seen.size(), 500u);
  // Equal entries keep their order.
  TRepositoryEntries same = Dated({{"a", "1"}, {"A", "2"}, {"a", "3"}});
  same.Sort([](const TRepositoryEntry& x, const TRepositoryEntry& y) {
    return CompareEntries(x, y, 0, false, nullptr);
  });
  EXPECT_EQ(same[0].SubItems[0], " 1");
  EXPECT_EQ(same[2].SubItems[0], " 3");
}

TEST(RepositoryEntries, CategoryNamesAreExact) {
  EXPECT_EQ(CategoryIndex(" Force"), 0);
  EXPECT_EQ(CategoryIndex("Item "), 1);
  EXPECT_EQ(CategoryIndex(" Saber"), 2);
  EXPECT_EQ(CategoryIndex("Skin"), 3);
  EXPECT_EQ(CategoryIndex("saber"), -1);
  EXPECT_EQ(CategoryIndex("Weapon"), -1);
  EXPECT_EQ(CategoryIndex(" Sa ber"), -1);
}

TEST(WindowPlacement, NarrowsBothWhenTheyDoNotFit) {
  // 600 + 546 on an 800-pixel screen.
  TWindowPlacement p = PlaceBesideMainWindow({100, 50, 600, 500}, 546, 800);
  EXPECT_EQ(p.Main, (TBounds{5, 50, 414, 500}));
  EXPECT_EQ(p.Repository, (TBounds{420, 50, 376, 500}));
  // Room enough: widths kept, the pair centred.
  p = PlaceBesideMainWindow({0, 10, 500, 400}, 400, 1920);
  EXPECT_EQ(p.Main, (TBounds{510, 10, 500, 400}));
  EXPECT_EQ(p.Repository, (TBounds{1011, 10, 400, 400}));
  // A screen whose usable area begins further right (a second monitor, a side panel).
  p = PlaceBesideMainWindow({0, 0, 600, 300}, 546, 800, 1920);
  EXPECT_EQ(p.Main.Left, 1925);
  EXPECT_EQ(p.Repository.Left, 1925 + 414 + 1);
  // Exactly the room there is: nothing narrowed.
  p = PlaceBesideMainWindow({0, 0, 400, 300}, 390, 800);
  EXPECT_EQ(p.Main.Width, 400);
  EXPECT_EQ(p.Repository.Width, 390);
  EXPECT_EQ(p.Main.Left, 5);
  // Neither below its least width (a screen at scale 2): the share the other has left, or,
  // when both cannot stand side by side, overlapping with both on the screen.
  p = PlaceBesideMainWindow({0, 0, 468, 300}, 546, 640, 0, 380, 200);
  EXPECT_EQ(p.Main.Width, 380);
  EXPECT_EQ(p.Repository.Width, 250);
  EXPECT_EQ(p.Repository.Left, p.Main.Left + 381);
  p = PlaceBesideMainWindow({0, 0, 468, 300}, 546, 640, 0, 380, 300);
  EXPECT_EQ(p.Main, (TBounds{0, 0, 380, 300}));
  EXPECT_EQ(p.Repository, (TBounds{340, 0, 300, 300}));
}
