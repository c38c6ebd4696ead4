#include "hive.h"

#include "filestream.h"
#include "hostfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace dravik {

namespace {

using host::ErrnoText;

// A hive larger than this is not read (Wine's own are a few megabytes).
constexpr off_t kMaxHiveSize = off_t(256) << 20;

struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
};

} // namespace

bool THive::TFileId::operator==(const TFileId& o) const noexcept {
  if (Exists != o.Exists) return false;
  return !Exists || (Dev == o.Dev && Ino == o.Ino && Size == o.Size &&
                     MTime.tv_sec == o.MTime.tv_sec && MTime.tv_nsec == o.MTime.tv_nsec);
}

static THive::TFileId IdOf(const struct stat& st) {
  THive::TFileId id;
  id.Exists = true;
  id.Dev = st.st_dev;
  id.Ino = st.st_ino;
  id.Size = st.st_size;
  id.MTime = st.st_mtim;
  return id;
}

THive::THive(std::string path, TKind kind) : FPath(std::move(path)), FKind(kind) {}

std::string THive::Folder() const {
  return host::Parent(FPath);
}

std::string THive::FileName() const {
  return host::BaseName(FPath);
}

std::string THive::LockPath() const {
  return Folder() + "/." + FileName() + ".dravik-lock";
}

THive::TFileId THive::CurrentId() const {
  struct stat st;
  if (stat(FPath.c_str(), &st) != 0) return {};
  return IdOf(st);
}

void THive::Refresh() {
  if (FState == hsUnread || FRacy || !(CurrentId() == FId)) Load();
}

void THive::SetId(const TFileId& id) {
  FId = id;
  // File times are coarse (a clock tick, on some file systems seconds): a file changed again
  // soon after it was read may keep its time and size. Such a file is read again at the next
  // Refresh() until its time lies safely in the past.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  FRacy = id.Exists && now.tv_sec - id.MTime.tv_sec <= 2;
}

void THive::Load() {
  Clear();
  FCause.clear();
  SetId({});
  TFd fd{open(FPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
  if (fd.Fd < 0) {
    if (errno == ENOENT) {
      FState = hsMissing;
    } else {
      FState = hsUnusable;
      FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
    }
    return;
  }
  struct stat st;
  FState = hsUnusable;
  if (fstat(fd.Fd, &st) != 0) {
    FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
    return;
  }
  SetId(IdOf(st));
  if (!S_ISREG(st.st_mode)) {
    FCause = Format("%s is not a regular file", FPath);
    return;
  }
  if (st.st_size > kMaxHiveSize) {
    FCause = Format("%s is too large for a registry file", FPath);
    return;
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  for (;;) {
    if (got == text.size()) {
      if (text.size() > static_cast<size_t>(kMaxHiveSize)) {
        FCause = Format("%s is too large for a registry file", FPath);
        return;
      }
      text.resize(text.size() + 65536); // the file may have grown since fstat
    }
    ssize_t n = read(fd.Fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
      return;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  if (text.empty()) { // nothing to keep: as good as missing
    FState = hsMissing;
    return;
  }
  if (!Read(text)) {
    FCause = Format("%s is not a Wine registry file", FPath);
    return;
  }
  FState = hsValid;
}

void THive::Update(const std::function<bool()>& change) {
  std::string lockPath = LockPath();
  TFd lock{open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644)};
  if (lock.Fd < 0) throw EHiveError(Format("cannot create %s: %s", lockPath, ErrnoText(errno)));
  while (flock(lock.Fd, LOCK_EX) != 0)
    if (errno != EINTR) throw EHiveError(Format("cannot lock %s: %s", lockPath, ErrnoText(errno)));
  Refresh();
  if (FState == hsUnusable) throw EHiveError(FCause);
  try {
    if (FState == hsMissing) {
      Read(hivesyntax::DefaultHeader(FKind == hkMachine));
    }
    if (change())
      Save();
    else if (FState == hsMissing)
      Load(); // nothing to save: no header either
  } catch (...) {
    Load(); // the file is as it was: so is the hive
    throw;
  }
}

void THive::Save() {
  std::string text = Text();
  std::string temp = Folder() + "/." + FileName() + ".dravik-XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw EHiveError(Format("cannot write %s: %s", FPath, ErrnoText(errno)));
  auto fail = [&](int err) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    throw EHiveError(Format("cannot write %s: %s", FPath, ErrnoText(err)));
  };
  struct stat st;
  fchmod(fd, stat(FPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  if (!host::WriteAll(fd, text.data(), text.size())) fail(errno);
  if (fsync(fd) != 0 || fstat(fd, &st) != 0) fail(errno);
  int closed = close(fd);
  fd = -1;
  if (closed != 0) fail(errno);
  detail::BeforeReplace(FPath);
  if (rename(temp.c_str(), FPath.c_str()) != 0) fail(errno);
  host::FlushFolder(Folder());
  SetId(IdOf(st));
  FState = hsValid;
}

} // namespace dravik
