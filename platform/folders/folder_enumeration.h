#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FolderEntry {
  std::string name;      // as the enumeration reports it, in the ANSI code page
  std::string fullPath;  // full, normalised path of the folder + "\" + name
  bool isFolder = false;
};

// Every entry of `folder` as FindFirstFileA/FindNextFileA report them for the
// pattern folder + "\*.*", each once. "." and ".." come first (except at a
// drive root, which has neither), then the other names in the order NTFS
// gives: compared ignoring case, as upper-cased UTF-16 code units.
//
// The folder part of fullPath is GetFullPathNameA of `folder`: doubled
// backslashes, "." and ".." resolved, a path without a drive put on the
// current one.
//
// A link to a folder is reported as a folder and followed, unless it leads to
// a folder already on the way from the drive root to `folder`: such a link is
// left out, so a walk over a tree with link cycles ends.
//
// nullopt when the enumeration cannot start (missing or unreadable folder).
std::optional<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder);

}  // namespace platform
