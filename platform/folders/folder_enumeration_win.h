#pragma once

// The folder search that EnumerateFolder and FolderTree share on Windows.
// Windows only, and only for platform/.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders/folder_enumeration.h"
#include "platform/folders/folder_tree.h"

namespace platform {

struct FoundEntry {
  FolderEntry entry;
  bool isReparsePoint = false;  // a link or a junction
};

struct FolderSearch {
  std::string base;  // GetFullPathNameA of the folder, ending in "\"
  std::vector<FoundEntry> found;
  std::vector<std::string> linksOnTheWay;  // full paths of the links left out
};

// The folder part of GetFullPathNameA of `path` (ending in "\"): of
// folder + "\*.*", the folder as a search reads it.
std::optional<std::string> FolderPartOfFullPath(const std::string& path);

// Every entry of folder + "\*.*" as FindFirstFileA/FindNextFileA give them,
// less links to folders that lead back to a folder on the way from the
// drive root. Fails when the search cannot start.
IoResult<FolderSearch> SearchFolder(std::string_view folder);

// The identity of what `path` names, and where it leads with every link
// followed (see FinalPathOf); nullopt when it cannot be opened.
struct FinalTarget {
  FolderId id;
  std::wstring finalPath;
  bool isFolder = false;
};
std::optional<FinalTarget> FinalTargetOf(const std::string& path);

}  // namespace platform
