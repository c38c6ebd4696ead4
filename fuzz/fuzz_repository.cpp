// The repository page reader: any page, parsed by the HTML control's push parser and read into
// the list, whole and in pieces of a size the input chooses (the list must come out the same),
// then sorted by every column both ways and its links resolved.
#include "fuzzsupport.h"
#include "net/urlparser.h"
#include "platform/htmlparser.h"
#include "repository/reader.h"

using namespace dravik;
using namespace dravik::fuzz;

namespace {

class TReader : public TRepositoryReader {
public:
  THTMLRebuilder Shown;

  void Read(std::string_view page, size_t piece) {
    ResetForPage();
    Shown.Clear();
    bool enable = true;
    DoRequestDoc(PageURL(), enable);
    BeginRetrieval((long long)page.size());
    THTMLPushParser parser([this](const THTMLElement& e) {
      bool enable = true;
      DoNewElement(e.Type, e.EndTag, e.Attributes, e.Text, enable);
      if (enable) Shown.Add(e);
    });
    if (piece == 0) piece = page.size() + 1;
    for (size_t at = 0; at < page.size(); at += piece) {
      parser.Feed(page.substr(at, piece));
      UpdateRetrieval((long long)std::min(page.size(), at + piece), (long long)page.size());
    }
    parser.Finish();
    ParseComplete();
  }

  std::vector<std::string> List() const {
    std::vector<std::string> out;
    for (int c = 0; c < Entries.ColumnCount(); ++c)
      out.push_back(Entries.Column(c).Caption + "@" + std::to_string(Entries.Column(c).Width));
    for (int i = 0; i < Entries.Count(); ++i) {
      std::string line = Entries[i].Caption;
      for (const std::string& s : Entries[i].SubItems)
        line += "|" + s;
      out.push_back(line + "|#" + std::to_string(Entries[i].ImageIndex));
    }
    return out;
  }

protected:
  int ListUsableWidth() const override { return 400; }
  void ListBeginUpdate() override {}
  void ListEndUpdate() override {}
  void OpenInBrowser(const std::string&) override {}
  std::string PageURL() const override { return "http://127.0.0.1:8080/repo/pages/list.html"; }
  void StatusCancelClicked() override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const size_t piece = input.Byte() % 17;
  const std::string_view page = input.Rest();

  TReader whole, pieces;
  whole.Read(page, 0);
  pieces.Read(page, piece);
  auto lines = [](const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& line : list)
      text += line + "\n";
    return text;
  };
  Check(whole.List() == pieces.List(), "the list depends on how the page was cut up:\n" +
                                           lines(whole.List()) + "--- in pieces of " +
                                           std::to_string(piece) + ":\n" + lines(pieces.List()));
  Check(whole.Shown.Html() == pieces.Shown.Html(),
        "what is shown depends on how it was cut up:\n" + whole.Shown.Html() +
            "\n--- in pieces of " + std::to_string(piece) + ":\n" + pieces.Shown.Html());
  Check(!whole.InPageUpdate(), "a batch update left running");

  const int columns = whole.Entries.ColumnCount();
  for (int column = 0; column <= columns; ++column)
    for (bool descending : {false, true}) {
      whole.SortColumn = column;
      whole.SortDescending = descending;
      const int count = whole.Entries.Count();
      whole.SortEntries();
      Check(whole.Entries.Count() == count, "sorting lost entries");
    }
  whole.LayoutColumns();

  TURLParser parser;
  for (int i = 0; i < whole.Entries.Count(); ++i) {
    const std::string link = whole.Entries[i].Link();
    const std::string url = ResolveLink(parser, "http://127.0.0.1:8080/repo/pages/list.html", link);
    Check(!url.empty(), "a link resolved to nothing");
    TRepositoryReader::MayOpenLink(url, "http://127.0.0.1:8080/repo/pages/list.html");
  }
  return 0;
}
