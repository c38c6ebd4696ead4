#include "filestream.h"

#include "hostfile.h"
#include "pathmemory.h"
#include "sysutils.h"
#include "winfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace dravik {

namespace {

constexpr size_t kMaxIo = size_t(1) << 30; // one read or write call at most

std::function<void(const std::string&)>& ReplaceHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

[[noreturn]] void ThrowRead(int err) {
  winfs::SetLastErrno(err, std::string());
  throw EReadError("Stream read error: " + host::ErrnoText(err));
}

[[noreturn]] void ThrowWrite(int err) {
  winfs::SetLastErrno(err, std::string());
  throw EWriteError("Stream write error: " + host::ErrnoText(err));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(std::string_view winPath, TFileMode mode) : FFileName(winPath) {
  auto fail = [&]() {
    if (mode == fmCreate) throw EFCreateError(FFileName);
    throw EFOpenError(FFileName);
  };
  const std::string host = winfs::ToHostPath(winPath);
  if (host.empty()) fail();
  // O_NONBLOCK only so that opening a named pipe cannot hang; it is cleared below.
  int flags = O_CLOEXEC | O_NONBLOCK;
  if (mode == fmOpenRead)
    flags |= O_RDONLY;
  else if (mode == fmOpenReadWrite)
    flags |= O_RDWR;
  else
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  int fd;
  do
    fd = ::open(host.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    winfs::SetLastErrno(errno, host);
    fail();
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Folders, pipes and devices are not files to read or write as streams.
    ::close(fd);
    winfs::SetLastError(winfs::ERROR_ACCESS_DENIED);
    fail();
  }
  ::fcntl(fd, F_SETFL, 0); // of the status flags only O_NONBLOCK was set
  FFd = fd;
  if (mode == fmCreate) winfs::FolderChanged(host::Parent(host));
}

TFileStream::~TFileStream() {
  if (FFd >= 0) ::close(FFd);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  char* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, kMaxIo));
    ssize_t n = ::read(FFd, p + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowRead(errno);
    }
    if (n == 0) break;
    done += n;
    FPos += n;
  }
  return done;
}

void TFileStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || Read(buffer, count) != count) throw EReadError();
}

void TFileStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (!host::WriteAll(FFd, buffer, static_cast<size_t>(count))) {
    const int err = errno;
    // Some of the bytes may have been written: the position is the file's own.
    if (const off_t at = ::lseek(FFd, 0, SEEK_CUR); at >= 0) FPos = at;
    ThrowWrite(err);
  }
  FPos += count;
}

void TFileStream::ReadBufferAt(int64_t offset, void* buffer, int64_t count) {
  if (count < 0 || offset < 0) throw EReadError();
  char* p = static_cast<char*>(buffer);
  while (count > 0) {
    size_t chunk = static_cast<size_t>(std::min<int64_t>(count, kMaxIo));
    ssize_t n = ::pread(FFd, p, chunk, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowRead(errno);
    }
    if (n == 0) throw EReadError();
    p += n;
    offset += n;
    count -= n;
  }
}

int64_t TFileStream::Seek(int64_t offset) {
  off_t r = ::lseek(FFd, static_cast<off_t>(offset), SEEK_SET);
  if (r < 0) {
    winfs::SetLastErrno(errno, std::string());
    return -1;
  }
  FPos = r;
  return FPos;
}

int64_t TFileStream::Size() const {
  struct stat st;
  if (::fstat(FFd, &st) != 0) {
    winfs::SetLastErrno(errno, std::string());
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::Flush() {
  if (::fsync(FFd) != 0 && errno != EINVAL) ThrowWrite(errno);
}

// ---------------------------------------------------------------------------------------------
// TSafeFileWriter

TSafeFileWriter::TSafeFileWriter(std::string_view winPath) : FTarget(winPath) {
  FHostTarget = winfs::ToHostPath(winPath);
  if (FHostTarget.empty()) throw EFCreateError(FTarget);
  struct stat st;
  if (::lstat(FHostTarget.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      // A symbolic link stays a link: the new version replaces the file it points to.
      if (char* real = ::realpath(FHostTarget.c_str(), nullptr)) {
        FHostTarget = real;
        std::free(real);
      }
    }
    if (::stat(FHostTarget.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      winfs::SetLastError(winfs::ERROR_ACCESS_DENIED);
      throw EFCreateError(FTarget);
    }
  }
  FFd = host::MakeTempBeside(FHostTarget, FHostTemp);
  if (FFd < 0) {
    winfs::SetLastErrno(errno, FHostTarget);
    throw EFCreateError(FTarget);
  }
}

TSafeFileWriter::~TSafeFileWriter() {
  if (FCommitted || FFd < 0) return;
  ::close(FFd);
  ::unlink(FHostTemp.c_str());
}

// On any failure the temporary file goes at once, so a later Commit cannot put an incomplete
// file in place.
void TSafeFileWriter::WriteBuffer(const void* buffer, int64_t count) {
  if (FFd < 0) throw EWriteError();
  if (count <= 0) return;
  if (!host::WriteAll(FFd, buffer, static_cast<size_t>(count))) {
    int err = errno;
    ::close(FFd);
    ::unlink(FHostTemp.c_str());
    FFd = -1;
    ThrowWrite(err);
  }
  // The disk writes what is written while more comes, so the flush at the commit has little
  // left to wait for. Its failures show there.
  FWritten += count;
  constexpr int64_t kFlushStep = int64_t(8) << 20;
  if (FWritten - FFlushed >= kFlushStep) {
    (void)::sync_file_range(FFd, FFlushed, FWritten - FFlushed, SYNC_FILE_RANGE_WRITE);
    FFlushed = FWritten;
  }
}

void TSafeFileWriter::Commit() {
  if (FCommitted) return;
  if (FFd < 0) throw EWriteError(); // an earlier write failed
  int fd = FFd;
  auto discard = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(FHostTemp.c_str());
    FFd = -1;
    ThrowWrite(err);
  };
  // The new version keeps the old one's permission bits and, where we may, its owner.
  struct stat old;
  mode_t mode;
  if (::stat(FHostTarget.c_str(), &old) == 0) {
    mode = old.st_mode & 0777;
    struct stat mine;
    if (::fstat(fd, &mine) == 0 && (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid))
      (void)::fchown(fd, old.st_uid, old.st_gid);
  } else {
    mode = 0666 & ~host::CurrentUmask();
  }
  if (::fchmod(fd, mode) != 0) discard(errno);
  if (::fsync(fd) != 0) discard(errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) discard(errno);
  detail::BeforeReplace(FHostTarget);
  if (::rename(FHostTemp.c_str(), FHostTarget.c_str()) != 0) discard(errno);
  FFd = -1;
  FCommitted = true;
  winfs::FolderChanged(host::Parent(FHostTarget));
  host::FlushFolder(host::Parent(FHostTarget));
}

// ---------------------------------------------------------------------------------------------
// Whole files

std::vector<uint8_t> ReadFileBytes(std::string_view winPath) {
  TFileStream s(winPath, fmOpenRead);
  std::vector<uint8_t> out;
  // The size is only a hint: the file may shrink or grow while it is read; reading goes on to
  // its actual end.
  int64_t hint = s.Size();
  if (hint > 0) out.reserve(static_cast<size_t>(std::min<int64_t>(hint, int64_t(64) << 20)));
  constexpr size_t kChunk = 64 * 1024;
  std::vector<uint8_t> buf(kChunk);
  for (;;) {
    int64_t n = s.Read(buf.data(), static_cast<int64_t>(kChunk));
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

void WriteFileAtomically(std::string_view winPath, const void* data, int64_t size) {
  TSafeFileWriter w(winPath);
  w.WriteBuffer(data, size);
  w.Commit();
}

void SetBeforeReplaceHook(std::function<void(const std::string& hostTarget)> hook) {
  ReplaceHook() = std::move(hook);
}

void detail::BeforeReplace(const std::string& hostTarget) {
  if (ReplaceHook()) ReplaceHook()(hostTarget);
}

} // namespace dravik
