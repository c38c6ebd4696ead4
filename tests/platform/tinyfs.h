// A small tmpfs mounted on a folder for tests that need a full disk, a read-only file system
// or a second file system. Mounting needs privileges: `Mounted()` says whether it worked, and
// tests skip what they cannot set up.
#pragma once

#include <filesystem>
#include <string>
#include <sys/mount.h>

namespace dravik::test {

class TTinyFs {
public:
  TTinyFs(const std::string& hostDir, size_t bytes) : FDir(hostDir) {
    std::filesystem::create_directories(FDir);
    std::string opts = "size=" + std::to_string(bytes) + ",mode=0755";
    FMounted = ::mount("tmpfs", FDir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, opts.c_str()) == 0;
  }
  ~TTinyFs() {
    if (FMounted) ::umount2(FDir.c_str(), MNT_DETACH);
  }
  TTinyFs(const TTinyFs&) = delete;
  TTinyFs& operator=(const TTinyFs&) = delete;

  bool Mounted() const { return FMounted; }
  bool MakeReadOnly() {
    return FMounted && ::mount(nullptr, FDir.c_str(), nullptr,
                               MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
  }

private:
  std::string FDir;
  bool FMounted = false;
};

} // namespace dravik::test
