#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Kinds of I/O failure, as the file layer classifies them.
enum class IoFailure {
  kNone,
  kDiskFull,      // ENOSPC, EDQUOT; ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL
  kAccessDenied,  // EACCES, EPERM, EROFS; ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT
  kGeneric,       // EIO; other read and write failures on Windows
  kOther,         // anything else
  kTooLarge,      // more bytes than the reader asked to take
};

// A file opened for reading without sharing it with any other opener, held
// until the object goes away. On Windows this is CreateFileA with share mode
// 0; on Linux an exclusive, non-blocking flock, and a write lease where the
// kernel grants one: another process that opens the file meanwhile waits
// until the object goes (or gets EWOULDBLOCK with O_NONBLOCK). SIGIO, which
// tells a lease holder of such an opener, is ignored unless the process
// handles it.
class ExclusiveFile {
 public:
  struct Impl;

  // nullopt when the file cannot be opened for reading, is held by another
  // opener, or is no regular file (a folder, a FIFO, a device). On Linux a
  // file that another process has open (seen where a lease can be taken:
  // a file of this user, or with CAP_LEASE, on a local file system) or holds
  // an flock, POSIX or OFD lock on counts as held.
  static std::optional<ExclusiveFile> Open(std::string_view path);

  ExclusiveFile(ExclusiveFile&&) noexcept;
  ExclusiveFile& operator=(ExclusiveFile&&) noexcept;
  ~ExclusiveFile();

  // Reads the whole content into *bytes, unchanged. A file of more than
  // `limit` bytes is kTooLarge, found from its size before it is read.
  IoFailure ReadAll(std::string* bytes, std::size_t limit = std::numeric_limits<std::size_t>::max());

  // Replaces the whole content by `bytes` atomically: the new content goes
  // to a new file in the same folder (nameless on Linux where the file
  // system allows, else under a temporary name that does not end in .wrl),
  // is flushed to disk, takes over the original's permissions, owner and
  // group, then takes the original's place. The path keeps naming the file
  // (a link stays a link; its target is replaced). On any failure the new
  // file is removed and the original is untouched. A new file that cannot
  // be created is kGeneric unless its reason has a kind.
  // On Linux:
  // - a file this user may not write (its own permission, whatever the
  //   folder's) is kGeneric;
  // - where the owner cannot be kept the group alone is, and where the group
  //   cannot be kept either the file is not replaced (kAccessDenied);
  // - a file another program saved (replaced) meanwhile is left as it saved
  //   it (kGeneric);
  // - other hard links to the file keep the old content.
  IoFailure ReplaceContent(std::string_view bytes);

 private:
  explicit ExclusiveFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
