#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io_error.h"

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

// Why the scan passed an entry by.
enum class ScanSkipReason {
  kCannotList,      // a folder that cannot be listed; `error` says why
  kCannotRead,      // a world file whose status cannot be read; `error` says why
  kLeadsOut,        // a link out of the scanned folder, or a name Windows takes for a device
  kAlreadyVisited,  // a folder listed before in this scan, met again through a link or a mount
  kNotAName,        // a name that cannot be one component of a Windows path
  kPathTooLong,     // a path longer than Windows paths can be
};

// One entry the scan passed by, as walkdir's error tells it: what, where
// and how deep.
struct ScanSkip {
  ScanSkipReason reason;
  std::string path;                        // the Windows path as the scan built it
  std::size_t depth = 0;                   // 0 for the scanned folder itself, 1 for its entries, ...
  std::optional<platform::IoError> error;  // the platform's failure, where one was the cause
};

struct ScanOptions {
  // Told of every folder and world file the scan passes by, when set.
  std::function<void(const ScanSkip&)> onSkip;
};

// Appends the world files under `folder` (a Windows path without a trailing
// backslash) to `list`. Reports nothing; a folder that cannot be listed adds
// nothing.
//
// Each folder is listed at most once: a folder met again (through a link, or
// a folder mounted inside itself) is passed by, so a tree of links costs
// what its folders cost. Links that lead out of `folder` are not followed.
void CollectWorldFiles(const std::string& folder, WorldFileList& list);

// CollectWorldFiles, telling options.onSkip what it passes by and why. (A
// name of its own: the window takes CollectWorldFiles by its address.)
void ScanWorldFiles(const std::string& folder, WorldFileList& list, const ScanOptions& options);
