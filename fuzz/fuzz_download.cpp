// The readers of server input that the downloads added: the chunked-body decoder (fed whole
// and in pieces), Content-Disposition, the sizes and ports of FTP replies (150, 229, 227),
// Location resolution and the no_proxy list. The input is a selector byte and lines. What
// must hold: no crash or unbounded work; a body decodes the same however it is cut; names
// have no folder part; sizes and ports are in range; a resolved URL resolves to itself.
#include "fuzzsupport.h"
#include "net/downloadname.h"
#include "net/httpchunks.h"
#include "net/nmftp.h"
#include "net/powersock.h"
#include "net/proxyenv.h"
#include "net/urlparser.h"

using namespace dravik;
using namespace dravik::fuzz;

namespace {

// Decodes `body` in pieces of the given sizes (cycled); the output and what was used, or
// "error".
std::string Decode(std::string_view body, const std::vector<size_t>& pieces, size_t& used) {
  THttpChunkDecoder decoder;
  std::string out;
  used = 0;
  try {
    for (size_t i = 0; used < body.size() && !decoder.Done(); ++i) {
      const size_t n =
          std::max<size_t>(1, pieces.empty() ? body.size() : pieces[i % pieces.size()]);
      const std::string_view piece = body.substr(used, n);
      const size_t took = decoder.Feed(piece, out);
      Check(took <= piece.size(), "the decoder used more than it was given");
      Check(took == piece.size() || decoder.Done(), "the decoder left input while not done");
      used += took;
    }
  } catch (const ESockError&) {
    return "error";
  }
  Check(out.size() <= used, "more data out than chunks in");
  return (decoder.Done() ? "done:" : "open:") + out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const int selector = input.Byte() % 4;
  if (selector == 0) {
    std::vector<size_t> pieces;
    for (int i = 0; i < 4; ++i)
      pieces.push_back(input.Byte() % 17);
    const std::string_view body = input.Rest();
    size_t usedWhole = 0, usedPieces = 0;
    const std::string whole = Decode(body, {}, usedWhole);
    const std::string cut = Decode(body, pieces, usedPieces);
    Check(whole == cut, "a chunked body decodes otherwise in pieces");
    Check(whole == "error" || usedWhole == usedPieces, "the body ends elsewhere in pieces");
  } else if (selector == 1) {
    const std::string value(input.Rest());
    const std::string name = FileNameFromContentDisposition(value);
    Check(name.find_first_of("/\\") == std::string::npos, "a name with a folder: " + name);
    FileNameFromURL(value);
  } else if (selector == 2) {
    const std::string reply(input.Rest());
    Check(ReplyByteCount(reply) >= 0, "a negative size");
    const int epsv = EpsvPort(reply), pasv = PasvPort(reply);
    Check(epsv >= 0 && epsv <= 65535 && pasv >= 0 && pasv <= 65535, "a port out of range");
  } else {
    const std::string base(input.Until('\n'));
    const std::string reference(input.Until('\n'));
    const std::string list(input.Rest());
    const std::string url = ResolveURL(base, reference);
    if (url.find("://") != std::string::npos && url.find('#') == std::string::npos)
      Check(ResolveURL(url, "") == url, "a resolved URL moves: " + url);
    NoProxyMatches(list, reference);
  }
  return 0;
}
