#include "platform/file_status.h"

#include "platform/wine_path_posix.h"

namespace platform {

std::optional<FileStatus> GetFileStatus(std::string_view path) {
  std::optional<HostFile> file = FindHostFile(path);
  if (!file) return std::nullopt;
  FileStatus status;
  status.isFolder = file->isFolder;
  // Wine shows READONLY only when nobody may write, folders included.
  status.readOnly = (file->mode & 0222) == 0;
  return status;
}

}  // namespace platform
