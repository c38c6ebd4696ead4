#include "patchorder.h"

#include "patches/patchlist.h"

namespace dravik {

int SortedColumn(const TPatchList& list) {
  switch (list.SortKind) {
  case pskName:
    return 0;
  case pskKey:
    return list.SortKey() == "Type" ? 1 : -1;
  case pskState:
    return 2;
  }
  return -1;
}

void OrderByColumn(TPatchList& list, int column, int& sortColumn, bool& sortDescending) {
  if (int shown = SortedColumn(list); shown >= 0) {
    sortColumn = shown;
    sortDescending = list.Descending;
  }
  if (column == sortColumn) {
    sortDescending = !sortDescending;
  } else {
    sortColumn = column;
    sortDescending = false;
    if (column == 0) {
      list.SortKind = pskName;
    } else if (column == 1) {
      list.SortKind = pskKey;
      list.SetSortKey("Type");
    } else {
      list.SortKind = pskState;
    }
  }
  list.Descending = sortDescending;
  list.Sort();
}

} // namespace dravik
