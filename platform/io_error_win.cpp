#include <windows.h>

#include "platform/io_error.h"

namespace platform {

IoErrorKind KindOfOsError(int osCode) {
  switch (static_cast<DWORD>(osCode)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return IoErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return IoErrorKind::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return IoErrorKind::kDiskFull;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return IoErrorKind::kBusy;
    case ERROR_FILE_TOO_LARGE: return IoErrorKind::kTooLarge;
    default: return IoErrorKind::kGeneric;
  }
}

}  // namespace platform
