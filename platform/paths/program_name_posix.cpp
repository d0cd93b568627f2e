#include "platform/paths/program_name.h"

#include <unistd.h>

#include <string_view>

namespace platform {

std::string ProgramName() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
  std::string_view path(buffer, static_cast<size_t>(length));
  // The kernel marks an executable that was replaced or removed while running.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
    path.remove_suffix(kDeleted.size());
  std::string_view name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace platform
