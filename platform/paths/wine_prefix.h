#pragma once

#include <optional>
#include <string>

namespace platform {

// The folder the program reads as its Wine prefix when that folder is no
// prefix at all (it holds neither dosdevices nor drive_c), as ANSI text for a
// message; nullopt when it is one. Windows has no prefix: always nullopt.
std::optional<std::string> FolderThatIsNoWinePrefix();

}  // namespace platform
