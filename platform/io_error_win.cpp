#include <windows.h>

#include "platform/io_error.h"

namespace platform {

IoErrorKind KindOfOsError(int osCode) {
  switch (static_cast<DWORD>(osCode)) {
    // Nothing reachable there: a missing name, drive, share or device, or a
    // name no file can have.
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return IoErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANT_ACCESS_FILE:
    // A new file that would have to carry an owner this user cannot give it.
    case ERROR_INVALID_OWNER: return IoErrorKind::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return IoErrorKind::kDiskFull;
    // Another program holds, locks, maps or is deleting the file.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_DELETE_PENDING: return IoErrorKind::kBusy;
    case ERROR_FILE_TOO_LARGE: return IoErrorKind::kTooLarge;
    default: return IoErrorKind::kGeneric;
  }
}

}  // namespace platform
