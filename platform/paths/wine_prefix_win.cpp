#include "platform/paths/wine_prefix.h"

namespace platform {

std::optional<WinePrefixFolder> WinePrefixFromEnvironment() { return std::nullopt; }

std::vector<WinePrefixFolder> OtherWinePrefixes() { return {}; }

std::vector<std::string> WinePrefixSearchPlaces() { return {}; }

void UseWinePrefix(const WinePrefixFolder&) {}

WinePrefixFolder WinePrefixInUse() { return {}; }

std::vector<std::string> WinePrefixesSearched() { return {}; }

std::optional<std::string> FolderThatIsNoWinePrefix() { return std::nullopt; }

}  // namespace platform
