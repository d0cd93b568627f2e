#include "platform/files/file_status.h"

#include <sys/stat.h>

#include "platform/files/file_status_posix.h"
#include "platform/paths/wine_path_posix.h"

namespace platform {

FileStatus FileStatusOfMode(std::uint32_t mode) {
  FileStatus status;
  status.isFolder = S_ISDIR(mode);
  // Wine shows READONLY only when nobody may write, folders included.
  status.readOnly = (mode & 0222) == 0;
  return status;
}

std::optional<FileStatus> GetFileStatus(std::string_view path) {
  std::optional<std::uint32_t> mode = FindHostMode(path);
  if (!mode) return std::nullopt;
  return FileStatusOfMode(*mode);
}

}  // namespace platform
