#include "platform/paths/wine_prefix.h"

namespace platform {

std::optional<std::string> FolderThatIsNoWinePrefix() { return std::nullopt; }

}  // namespace platform
