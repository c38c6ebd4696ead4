// The URL parser: any text is parsed or refused with EInvalidProtocol (leaving the parts as
// they were); a parsed URL is built again and parsed again, giving the same parts (the
// password travels only with a user name other than "anonymous"). Paths set afterwards,
// relative or not, always begin and end with "/".
#include "fuzzsupport.h"
#include "net/urlparser.h"

using namespace dravik;
using namespace dravik::fuzz;

namespace {

// The parts a built URL carries: the user and password only with a user other than
// "anonymous".
std::string Parts(const TURLParser& u, bool withUser) {
  return Format("%d|%s|%s|%s|%d|%s|%s", int(u.Protocol), withUser ? u.UserID : std::string(),
                withUser ? u.Password : std::string(), u.Host, u.Port, u.Path(), u.Filename());
}

void CheckPath(const TURLParser& u, const char* after) {
  const std::string& p = u.Path();
  Check(!p.empty() && p.front() == '/' && p.back() == '/',
        std::string("a path not between \"/\" after ") + after + ": " + p);
  Check(u.Filename().find('/') == std::string::npos, "a file name with \"/\": " + u.Filename());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const std::string url(input.Until('\n'));
  const std::string path(input.Until('\n'));
  const std::string name(input.Rest());

  TURLParser u;
  u.Host = "before";
  try {
    u.SetURL(url);
  } catch (const EInvalidProtocol&) {
    Check(u.Host == "before" && u.Path() == "/", "a refused URL changed the parts");
    return 0;
  }
  CheckPath(u, "SetURL");
  const bool carriesPassword = !u.UserID.empty() && u.UserID != "anonymous";
  const std::string built = u.URL();
  TURLParser again;
  try {
    again.SetURL(built);
  } catch (const EInvalidProtocol&) {
    Fail("a built URL is refused: " + built);
  }
  Check(Parts(again, carriesPassword) == Parts(u, carriesPassword),
        "parse, build, parse changed the parts: " + url + " -> " + built + ": " +
            Parts(u, carriesPassword) + " vs " + Parts(again, carriesPassword));
  Check(again.URL() == built, "a built URL builds otherwise: " + built);

  u.SetPath(path);
  CheckPath(u, "SetPath");
  u.SetFilename(name);
  CheckPath(u, "SetFilename");
  return 0;
}
