#include "benchutil.h"

#include "platform/prefix.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace dravik::bench {

TBenchPrefix::TBenchPrefix() {
  std::string tmpl = (fs::temp_directory_path() / "dravik-bench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  Path = tmpl;
  fs::create_directories(Path + "/dosdevices");
  fs::create_directories(GameHost());
  fs::create_directory_symlink("../drive_c", Path + "/dosdevices/c:");
  fs::create_directory_symlink("/", Path + "/dosdevices/z:");
  WriteFile(Path + "/system.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n"
            "\n[Software\\\\Orlemont\\\\HXPatch\\\\Applications\\\\0] 1700000000\n"
            "\"AppName\"=\"Halvex\"\n\"DirectPlay Name\"=\"Halvex\"\n\"Patch Filter\"=\"*.gob\"\n"
            "\n[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Halvex] 1700000000\n"
            "\"Path\"=\"C:\\\\Games\\\\Halvex\\\\\"\n\"File\"=\"halvex.exe\"\n");
  SetWinePrefix(Path);
}

TBenchPrefix::~TBenchPrefix() {
  SetWinePrefix("");
  std::error_code ec;
  fs::remove_all(Path, ec);
}

static void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string GOBBytes(const std::vector<std::pair<std::string, std::string>>& members,
                     const std::string& descriptor) {
  std::vector<std::pair<std::string, std::string>> all;
  if (!descriptor.empty()) all.push_back({"patchinfo.txt", descriptor});
  all.insert(all.end(), members.begin(), members.end());
  size_t start = 16 + 136 * all.size();
  std::string out(start, '\0');
  out.replace(0, 4, "GOB ");
  Put32(out, 4, 20);
  Put32(out, 8, 12);
  Put32(out, 12, static_cast<uint32_t>(all.size()));
  size_t offset = start;
  for (size_t i = 0; i < all.size(); ++i) {
    Put32(out, 16 + 136 * i, static_cast<uint32_t>(offset));
    Put32(out, 20 + 136 * i, static_cast<uint32_t>(all[i].second.size()));
    out.replace(24 + 136 * i, all[i].first.size(), all[i].first);
    offset += all[i].second.size();
  }
  for (auto& m : all)
    out += m.second;
  return out;
}

void WriteFile(const std::string& hostPath, const std::string& bytes) {
  fs::create_directories(fs::path(hostPath).parent_path());
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + hostPath);
}

} // namespace dravik::bench
