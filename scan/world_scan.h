#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The world files to patch, in the order they were found. A path may appear
// more than once.
using WorldFileList = std::vector<std::string>;

struct ExcludedDirName {
  std::string_view name;
  std::size_t length;
};

// Folders whose own files are left out of the scan (their sub-folders are
// still visited), in the order they are tested.
extern const std::array<ExcludedDirName, 15> ExcludedDirNames;

// Appends the world files under `folder` (a Windows path without a trailing
// backslash) to `list`. Reports nothing; a folder that cannot be listed adds
// nothing.
void CollectWorldFiles(const std::string& folder, WorldFileList& list);
