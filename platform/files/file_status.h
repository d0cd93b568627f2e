#pragma once

#include <optional>
#include <string_view>

namespace platform {

// What GetFileAttributesA tells about a path.
struct FileStatus {
  bool isFolder = false;
  // The read-only attribute. In a Wine prefix it is set only when all three
  // write permission bits of the file or folder are clear.
  bool readOnly = false;
};

// Status of whatever is at `path`, a Windows path in the ANSI code page: a
// file and a folder alike succeed. nullopt when nothing can be found there
// (missing, a dangling link, an unreachable drive or a name the host cannot
// hold).
std::optional<FileStatus> GetFileStatus(std::string_view path);

}  // namespace platform
