#include "platform/files/file_status.h"

#include <windows.h>

#include <string>

namespace platform {

std::optional<FileStatus> GetFileStatus(std::string_view path) {
  // A NUL would silently shorten the name the system sees.
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  const DWORD attributes = GetFileAttributesA(std::string(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  FileStatus status;
  status.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return status;
}

}  // namespace platform
