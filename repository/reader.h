// The repository page reader: turns a repository page, element by element as the HTML control
// parses it, into the list's columns and patch entries, and decides which elements the control
// shows (everything before the patch table, nothing from it on). The repository window is the
// reader (it derives from it and hooks it to its list, its HTML pane and the progress dialog);
// tests drive it directly. Qt-free; user-interface thread only.
//
// A page's first table lists the patches: its first row names the columns (a cell's "width"
// of "25%" gives the column a quarter of the list's width), every further row is one patch
// whose first cell holds its name and a link to the patch file. A column headed "Type" gives
// the patches their category icons. What scripts, style sheets and noscript elements hold is
// no part of the list.
#pragma once

#include "entries.h"
#include "platform/htmlparser.h"

#include <array>
#include <memory>
#include <string>

namespace dravik {

class TStatusDialog;
class TURLParser;

class TRepositoryReader {
public:
  // Columns whose share of the list's width the header row can set.
  static constexpr int kFractionColumns = 11;

  TRepositoryReader();
  virtual ~TRepositoryReader();
  TRepositoryReader(const TRepositoryReader&) = delete;
  TRepositoryReader& operator=(const TRepositoryReader&) = delete;

  // 0 before the table, 1 in the header row, 2 in the patch rows, 3 after the table.
  int ParseState = 0;
  // -2 between rows, -1 in a row's first cell, then the index of the sub-item a cell fills.
  int CellIndex = -2;
  TRepositoryEntry* CurrentItem = nullptr;
  TRepositoryColumn* CurrentColumn = nullptr;
  int TypeColumn = -1;
  // Each column's share of the list's usable width; 0 where the page gave none.
  std::array<double, kFractionColumns> ColumnFractions{};
  bool PageRequested = false;

  // The list's data (ListView1's items and columns).
  TRepositoryEntries Entries;
  int SortColumn = 0;
  bool SortDescending = false;
  // The shared progress dialog (not owned); null: none is shown.
  TStatusDialog* StatusDialog = nullptr;

  // What the HTML control's events do. DoRequestDoc: the first request of a refresh shows the
  // progress dialog and lets the control fetch; later ones are links the user followed, which
  // go to the desktop's browser instead (OpenInBrowser) and never into the pane.
  void DoRequestDoc(const std::string& url, bool& enableDefault);
  void BeginRetrieval(long long bytesTotal);
  void UpdateRetrieval(long long bytesDone, long long bytesTotal);
  void DoNewElement(const std::string& elementType, bool endTag, const THTMLAttributes& attributes,
                    const std::string& text, bool& enableDefault);
  void ParseComplete();

  // Empties the list of its entries and columns and starts the reader afresh, for the next
  // page (the caller cancels the control's retrieval first).
  void ResetForPage();
  // Ends a batch update of the list begun for a page (nothing when none is running), so a
  // cancelled page leaves the list drawing normally.
  void EndPageUpdate();
  bool InPageUpdate() const noexcept { return FInUpdate; }

  // Sorts the list by SortColumn and SortDescending.
  void SortEntries();
  // The list's comparison.
  int CompareItems(const TRepositoryEntry& a, const TRepositoryEntry& b) const;
  // Column widths from ColumnFractions for the current usable width; columns without a share
  // keep theirs.
  void LayoutColumns();

  // Whether a link the user clicked on a page may be handed to the desktop: web and mail
  // addresses always, local files only from a page that is itself a local file.
  static bool MayOpenLink(const std::string& url, const std::string& pageURL);

protected:
  // What the reader needs of the window.
  // The list's width for columns: its client width less a scroll-bar arrow and 2 pixels.
  virtual int ListUsableWidth() const = 0;
  // Batch updates of the list: no repainting in between.
  virtual void ListBeginUpdate() = 0;
  virtual void ListEndUpdate() = 0;
  // Opens a followed link in the desktop's browser.
  virtual void OpenInBrowser(const std::string& url) = 0;
  // The address of the page now loaded.
  virtual std::string PageURL() const = 0;
  // The progress dialog's Cancel while the reader owns it (StatusCancelClicked).
  virtual void StatusCancelClicked() = 0;
  // A date text as days, or none (the list's date format); by default ISO 8601 dates only.
  virtual std::optional<long> DateOf(std::string_view text) const;

private:
  void AddCellText(const std::string& text);
  void DecideIcon(TRepositoryEntry& entry);
  void HeaderCell(const THTMLAttributes& attributes);

  bool FInUpdate = false;
  // Inside how many script, style and noscript elements the parser is.
  int FHiddenDepth = 0;
  // Lets the dialog's Cancel handler know whether the reader is still there.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

// A cell's text fragment as the list keeps it: runs of blanks (spaces, tabs, line breaks) as
// one space, none at either end.
std::string CollapseBlanks(std::string_view text);

// The full URL of a link on the page at `pageURL`: a link with "://" as it is, otherwise
// resolved against the page's folder ("./", "../" and a leading "/" folded) with `parser`.
// Throws EInvalidProtocol when the page's scheme is not http, ftp or file.
std::string ResolveLink(TURLParser& parser, const std::string& pageURL, const std::string& link);

} // namespace dravik
