#pragma once

// Finding a file name the way Wine does when it is not spelt as on disk:
// the first entry of the folder equal to it ignoring case. Listings of
// folders are kept between lookups. Linux only, and only for platform/.

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Steps from the folder at *path (whose status is *status) into `name`
// (whose host spelling is `hostName`), as Wine does: the name as spelt when
// that exists, else the first entry equal to it ignoring case. *path and
// *status then describe what was found; false when nothing was.
bool StepInto(std::string* path, std::u16string_view name, std::string_view hostName, struct stat* status);

// The entry of the folder open at `folderFd` (O_PATH is enough) that Wine
// takes for `name` (host spelling `hostName`) when no entry is spelt so: the
// first equal to it ignoring case. nullopt when there is none or the folder
// cannot be read. Uses and fills the same kept listings as StepInto.
std::optional<std::string> FindEntryIgnoringCase(int folderFd, std::u16string_view name, std::string_view hostName);

}  // namespace platform
