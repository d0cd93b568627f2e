#include "platform/paths/wine_prefix.h"

#include <stdlib.h>
#include <sys/stat.h>

#include "platform/paths/wine_path_posix.h"
#include "platform/text/code_page.h"

namespace platform {

namespace {

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::optional<std::string> FolderThatIsNoWinePrefix() {
  const std::string prefix = WinePrefix();
  if (prefix.empty()) {
    // A relative WINEPREFIX, which Wine refuses, is named as it was given.
    const char* given = getenv("WINEPREFIX");
    return HostNameToAnsi(given != nullptr ? given : "");
  }
  if (IsFolder(prefix + "/dosdevices") || IsFolder(prefix + "/drive_c")) return std::nullopt;
  return HostNameToAnsi(prefix);
}

}  // namespace platform
