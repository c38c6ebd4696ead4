#include "lasterror.h"

#include "hostfile.h"
#include "sysutils.h"

#include <cerrno>
#include <utility>

namespace dravik::winfs {

namespace {

struct TLastError {
  int Code = ERROR_SUCCESS;
  int Errno = 0; // the errno behind Code, 0 when the code was set directly
};

thread_local TLastError tLastError;

constexpr int ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr int ERROR_INVALID_HANDLE = 6;
constexpr int ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr int ERROR_NOT_READY = 21;
constexpr int ERROR_LOCK_VIOLATION = 33;
constexpr int ERROR_NOT_SUPPORTED = 50;
constexpr int ERROR_SEEK_ON_DEVICE = 132;
constexpr int ERROR_FILE_TOO_LARGE = 223;
constexpr int ERROR_IO_DEVICE = 1117;
constexpr int ERROR_TOO_MANY_LINKS = 1142;
constexpr int ERROR_CANT_RESOLVE_FILENAME = 1921;

// Each Windows code the layer reports, with the errno whose text describes it.
constexpr std::pair<int, int> kCodeErrno[] = {
    {ERROR_SUCCESS, 0},
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_NOT_READY, ENODEV},
    {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_LOCK_VIOLATION, EAGAIN},
    {ERROR_NOT_SUPPORTED, EOPNOTSUPP},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_INVALID_NAME, EINVAL},
    {ERROR_SEEK_ON_DEVICE, ESPIPE},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_IO_DEVICE, EIO},
    {ERROR_TOO_MANY_LINKS, EMLINK},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
};

int ErrnoToCode(int err, const std::string& hostPath) {
  switch (err) {
  case 0:
    return ERROR_SUCCESS;
  case ENOENT:
    return !hostPath.empty() && host::IsFolder(host::Parent(hostPath)) ? ERROR_FILE_NOT_FOUND
                                                                       : ERROR_PATH_NOT_FOUND;
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case EEXIST:
    return ERROR_ALREADY_EXISTS;
  case ENOSPC:
  case EDQUOT:
    return ERROR_DISK_FULL;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  case EROFS:
    return ERROR_WRITE_PROTECT;
  case EBUSY:
  case ETXTBSY:
    return ERROR_SHARING_VIOLATION;
  case EXDEV:
    return ERROR_NOT_SAME_DEVICE;
  case EINVAL:
    return ERROR_INVALID_PARAMETER;
  case ENOTEMPTY:
    return ERROR_DIR_NOT_EMPTY;
  case EMFILE:
  case ENFILE:
    return ERROR_TOO_MANY_OPEN_FILES;
  case EBADF:
    return ERROR_INVALID_HANDLE;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case ENXIO:
  case ENODEV:
    return ERROR_NOT_READY;
  case EAGAIN:
    return ERROR_LOCK_VIOLATION;
  case ENOSYS:
  case EOPNOTSUPP:
    return ERROR_NOT_SUPPORTED;
  case ESPIPE:
    return ERROR_SEEK_ON_DEVICE;
  case EFBIG:
    return ERROR_FILE_TOO_LARGE;
  case EMLINK:
    return ERROR_TOO_MANY_LINKS;
  case ELOOP:
    return ERROR_CANT_RESOLVE_FILENAME;
  default:
    return ERROR_IO_DEVICE;
  }
}

} // namespace

int GetLastError() {
  return tLastError.Code;
}

void SetLastError(int code) {
  SetLastErrorWithErrno(code, 0);
}

std::string LastErrorText() {
  if (tLastError.Errno != 0) return host::ErrnoText(tLastError.Errno);
  return SysErrorMessage(tLastError.Code);
}

std::string SysErrorMessage(int code) {
  for (const auto& [c, err] : kCodeErrno)
    if (c == code) return host::ErrnoText(err);
  return Format("Unknown error %d", code);
}

void RaiseLastInOutError() {
  throw EInOutError(GetLastError());
}

void SetLastErrno(int err, const std::string& hostPath) {
  SetLastErrorWithErrno(ErrnoToCode(err, hostPath), err);
}

void SetLastErrorWithErrno(int code, int err) {
  tLastError.Code = code;
  tLastError.Errno = err;
}

bool FailWith(int code) {
  SetLastError(code);
  return false;
}

bool FailWithErrno(int err, const std::string& hostPath) {
  SetLastErrno(err, hostPath);
  return false;
}

} // namespace dravik::winfs
