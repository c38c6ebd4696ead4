// Ordering the patch list by the column whose header was clicked: "Patch" orders by name,
// "Type" by the descriptor's "Type", the conflicts column by conflict state. A click on the
// column the list is ordered by reverses the direction; a click on another column orders by it,
// ascending. The list's own ordering is the truth: after the store is re-read (name order,
// ascending) the next click on "Patch" reverses that order.
#pragma once

namespace dravik {

class TPatchList;

// The column whose order the list is in (0 name, 1 "Type", 2 conflict state), -1 when it is
// ordered some other way.
int SortedColumn(const TPatchList& list);

// Orders `list` for a click on `column` and sorts it. `sortColumn` and `sortDescending` are the
// window's remembered column and direction; they are brought in line with the list first and
// hold the new column and direction afterwards.
void OrderByColumn(TPatchList& list, int column, int& sortColumn, bool& sortDescending);

} // namespace dravik
