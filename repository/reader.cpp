#include "reader.h"

#include "net/statusdialog.h"
#include "net/urlparser.h"
#include "platform/sysutils.h"

#include <charconv>
#include <cmath>

namespace dravik {

std::string CollapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

std::string ResolveLink(TURLParser& parser, const std::string& pageURL, const std::string& link) {
  if (link.find("://") != std::string::npos) return link;
  parser.SetURL(pageURL);
  parser.SetFilename(link);
  return parser.URL();
}

bool TRepositoryReader::MayOpenLink(const std::string& url, const std::string& pageURL) {
  auto scheme = [](const std::string& u) {
    const size_t colon = u.find(':');
    return colon == std::string::npos ? std::string() : LowerCase(u.substr(0, colon));
  };
  const std::string s = scheme(url);
  if (s == "http" || s == "https" || s == "ftp" || s == "mailto") return true;
  return s == "file" && scheme(pageURL) == "file";
}

TRepositoryReader::TRepositoryReader() = default;
TRepositoryReader::~TRepositoryReader() = default;

std::optional<long> TRepositoryReader::DateOf(std::string_view text) const {
  return ISODateDays(text);
}

void TRepositoryReader::DoRequestDoc(const std::string& url, bool& enableDefault) {
  if (PageRequested) {
    enableDefault = false;
    if (MayOpenLink(url, PageURL())) OpenInBrowser(url);
    return;
  }
  PageRequested = true;
  if (StatusDialog) {
    StatusDialog->SetCaption("Downloading Patch List");
    std::weak_ptr<int> alive = FAlive;
    StatusDialog->SetOnCancel([this, alive](TStatusDialog& sender) {
      if (alive.expired())
        sender.Hide();
      else
        StatusCancelClicked();
    });
    StatusDialog->Show();
  }
}

void TRepositoryReader::BeginRetrieval(long long bytesTotal) {
  if (!FInUpdate) {
    FInUpdate = true;
    ListBeginUpdate();
  }
  TypeColumn = -1;
  if (bytesTotal > 0 && StatusDialog) StatusDialog->SetProgressMax(bytesTotal);
}

void TRepositoryReader::UpdateRetrieval(long long bytesDone, long long bytesTotal) {
  if (!StatusDialog) return;
  StatusDialog->SetStatus2(BytesReceivedText(bytesDone, bytesTotal));
  if (bytesTotal > 0) StatusDialog->SetProgressPosition(bytesDone);
}

// The icon of an entry from its text in TypeColumn (the caption when it is the first).
void TRepositoryReader::DecideIcon(TRepositoryEntry& entry) {
  if (TypeColumn < 0) return;
  const int category = CategoryIndex(entry.Text(TypeColumn));
  if (category >= 0 && category != entry.ImageIndex) {
    entry.ImageIndex = category;
    Entries.EntryChanged(entry);
  }
}

void TRepositoryReader::AddCellText(const std::string& text) {
  if (!CurrentItem) return; // no entry yet
  if (CellIndex == -1) {
    CurrentItem->Caption += " " + text;
  } else {
    // Between rows, or beyond the row's columns: the text has no cell. The last sub-item is
    // the link, which text never joins.
    if (CellIndex < 0 || size_t(CellIndex) + 1 >= CurrentItem->SubItems.size()) return;
    std::string& cell = CurrentItem->SubItems[size_t(CellIndex)];
    cell += " " + text;
  }
  Entries.EntryChanged(*CurrentItem);
  // The cell after the type column has begun: the type's cell is complete.
  if (CellIndex == TypeColumn) DecideIcon(*CurrentItem);
}

void TRepositoryReader::HeaderCell(const THTMLAttributes& attributes) {
  TRepositoryColumn& column = Entries.AddColumn();
  CurrentColumn = &column;
  const int index = Entries.ColumnCount() - 1;
  // A width of "25%" gives a share of the list's width; anything else (a width in pixels,
  // none, a number out of range) leaves the default width.
  std::string width = Trim(attributes.Value("width"));
  if (index >= kFractionColumns || width.size() < 2 || width.back() != '%') return;
  width = Trim(std::string_view(width).substr(0, width.size() - 1));
  double percent = 0;
  auto [end, ec] = std::from_chars(width.data(), width.data() + width.size(), percent);
  if (ec != std::errc() || end != width.data() + width.size() || !(percent > 0) || percent > 100)
    return;
  ColumnFractions[size_t(index)] = percent / 100;
  column.Width = std::max(0, int(std::lround(ListUsableWidth() * ColumnFractions[size_t(index)])));
  Entries.ColumnChanged(column);
}

void TRepositoryReader::DoNewElement(const std::string& elementType, bool endTag,
                                     const THTMLAttributes& attributes, const std::string& text,
                                     bool& enableDefault) {
  // Scripts, style sheets and what a page shows only without scripts are no part of any cell:
  // their contents neither fill the list nor begin its table. The pane decides about them
  // before the table as about any other element.
  if (elementType == "script" || elementType == "style" || elementType == "noscript") {
    if (!endTag)
      ++FHiddenDepth;
    else if (FHiddenDepth > 0)
      --FHiddenDepth;
    if (ParseState != 0) enableDefault = false;
    return;
  }
  if (FHiddenDepth > 0) {
    if (ParseState != 0) enableDefault = false;
    return;
  }
  // 1. Text.
  if (!text.empty()) {
    const std::string fragment = CollapseBlanks(text);
    if (!fragment.empty()) {
      if (ParseState == 1 && CurrentColumn) { // text before the first header cell is ignored
        if (fragment == "Type") TypeColumn = Entries.IndexOf(CurrentColumn);
        CurrentColumn->Caption += " " + fragment;
        Entries.ColumnChanged(*CurrentColumn);
      } else if (ParseState == 2) {
        AddCellText(fragment);
      }
    }
    enableDefault = ParseState == 0;
  }
  const bool isTable = elementType == "table", isTr = elementType == "tr",
             isTd = elementType == "td";
  // 2. The first table begins the header row.
  if (ParseState == 0 && isTable && !endTag) ParseState = 1;
  // 3. Header cells are the columns.
  if (ParseState == 1 && isTd && !endTag) HeaderCell(attributes);
  // 4. The end of the header row.
  if (ParseState == 1 && isTr && endTag) {
    ParseState = 2;
    CurrentColumn = nullptr;
    CellIndex = -2;
    return;
  }
  // 5. The end of the table.
  if (ParseState == 2 && isTable && endTag) ParseState = 3;
  // 6. Nothing from the table on is shown; rows and cells fill the entries.
  if (ParseState == 0) return;
  enableDefault = false;
  if (isTr && endTag) CellIndex = -2;
  if (ParseState == 2 && isTd && !endTag) {
    ++CellIndex;
    if (CellIndex >= Entries.ColumnCount()) CellIndex = -1;
    if (CellIndex == -1) CurrentItem = &Entries.AddEntry(Entries.ColumnCount());
  }
  if (elementType == "a" && !endTag && CellIndex == -1 && CurrentItem &&
      !CurrentItem->SubItems.empty()) {
    CurrentItem->SubItems.back() = attributes.Value("href");
    Entries.EntryChanged(*CurrentItem);
  }
}

void TRepositoryReader::ParseComplete() {
  if (StatusDialog) StatusDialog->Hide();
  SortColumn = 0;
  if (TypeColumn >= 0) {
    for (int i = 0; i < Entries.Count(); ++i)
      DecideIcon(Entries[i]);
  }
  TypeColumn = -1;
  SortEntries();
  EndPageUpdate();
}

void TRepositoryReader::ResetForPage() {
  EndPageUpdate();
  Entries.Clear();
  CurrentItem = nullptr;
  CurrentColumn = nullptr;
  ParseState = 0;
  CellIndex = -2;
  TypeColumn = -1;
  FHiddenDepth = 0;
  ColumnFractions.fill(0);
  PageRequested = false;
}

void TRepositoryReader::EndPageUpdate() {
  if (!FInUpdate) return;
  FInUpdate = false;
  ListEndUpdate();
}

int TRepositoryReader::CompareItems(const TRepositoryEntry& a, const TRepositoryEntry& b) const {
  return CompareEntries(a, b, SortColumn, SortDescending,
                        [this](std::string_view text) { return DateOf(text); });
}

void TRepositoryReader::SortEntries() {
  Entries.Sort(
      [this](const TRepositoryEntry& a, const TRepositoryEntry& b) { return CompareItems(a, b); });
}

void TRepositoryReader::LayoutColumns() {
  const int usable = ListUsableWidth();
  for (int i = 0; i < Entries.ColumnCount() && i < kFractionColumns; ++i) {
    const double fraction = ColumnFractions[size_t(i)];
    if (fraction <= 0) continue;
    TRepositoryColumn& column = Entries.Column(i);
    const int width = std::max(0, int(std::lround(usable * fraction)));
    if (width == column.Width) continue;
    column.Width = width;
    Entries.ColumnChanged(column);
  }
}

} // namespace dravik
