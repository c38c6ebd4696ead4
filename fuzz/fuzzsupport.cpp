#include "fuzzsupport.h"

#include "platform/prefix.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dravik::fuzz {

namespace {

std::string TempRoot() {
  if (const char* t = std::getenv("TMPDIR"); t && *t) return t;
  if (::access("/dev/shm", W_OK) == 0) return "/dev/shm"; // no disk writes per input
  return "/tmp";
}

std::string& RemoveAtExit() {
  static std::string path;
  return path;
}

} // namespace

TFuzzPrefix& TFuzzPrefix::Get() {
  static TFuzzPrefix* prefix = new TFuzzPrefix; // outlives every static that might use it
  return *prefix;
}

TFuzzPrefix::TFuzzPrefix() {
  std::string tmpl = TempRoot() + "/dravik-fuzz-XXXXXX";
  if (!::mkdtemp(tmpl.data())) Fail("cannot make the fuzz prefix in " + TempRoot());
  FHost = tmpl;
  fs::create_directories(FHost + "/drive_c");
  fs::create_directories(FHost + "/dosdevices");
  fs::create_directory_symlink("../drive_c", FHost + "/dosdevices/c:");
  SetWinePrefix(FHost);
  RemoveAtExit() = FHost;
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(RemoveAtExit(), ec);
  });
}

void WriteHostFile(const std::string& hostPath, const void* data, size_t size) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) Fail("cannot write " + hostPath);
}

std::string ReadHostFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) Fail("cannot read " + hostPath);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveHostTree(const std::string& hostPath) {
  std::error_code ec;
  fs::remove_all(hostPath, ec);
  if (ec) Fail("cannot remove " + hostPath + ": " + ec.message());
}

std::vector<THostEntry> HostTree(const std::string& hostFolder) {
  std::vector<THostEntry> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(hostFolder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::file_status st = it->symlink_status();
    const THostEntry::TKind kind = fs::is_symlink(st)        ? THostEntry::Link
                                   : fs::is_directory(st)    ? THostEntry::Folder
                                   : fs::is_regular_file(st) ? THostEntry::File
                                                             : THostEntry::Other;
    entries.push_back({fs::relative(it->path(), hostFolder).string(), kind});
  }
  if (ec) Fail("cannot list " + hostFolder + ": " + ec.message());
  std::sort(entries.begin(), entries.end(),
            [](const THostEntry& a, const THostEntry& b) { return a.Name < b.Name; });
  return entries;
}

std::string_view TFuzzInput::Take(size_t count) {
  count = std::min(count, FSize - FPos);
  std::string_view piece(reinterpret_cast<const char*>(FData) + FPos, count);
  FPos += count;
  return piece;
}

std::string_view TFuzzInput::Until(char separator) {
  std::string_view rest(reinterpret_cast<const char*>(FData) + FPos, FSize - FPos);
  size_t at = rest.find(separator);
  if (at == std::string_view::npos) return Rest();
  FPos += at + 1;
  return rest.substr(0, at);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

} // namespace dravik::fuzz
