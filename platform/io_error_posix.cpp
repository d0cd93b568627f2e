#include <errno.h>

#include "platform/io_error.h"

namespace platform {

IoErrorKind KindOfOsError(int osCode) {
  switch (osCode) {
    case ENOENT:
    case ENOTDIR: return IoErrorKind::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return IoErrorKind::kAccessDenied;
    case ENOSPC:
    case EDQUOT: return IoErrorKind::kDiskFull;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY: return IoErrorKind::kBusy;
    case EISDIR: return IoErrorKind::kNotAFile;
    case EFBIG: return IoErrorKind::kTooLarge;
    case EIO: return IoErrorKind::kGeneric;
    default: return IoErrorKind::kOther;
  }
}

}  // namespace platform
