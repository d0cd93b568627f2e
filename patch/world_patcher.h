#pragma once

#include <array>
#include <string>
#include <string_view>

enum PatchResult : int {
  kPatchDone = 1,
  kFileMissing = -1,
  kOpenFailed = -2,
  kReadOnly = -3,
  kDiskFull = -4,
  kAccessDenied = -5,
  kOtherIoFailure = 0,  // an I/O failure of no known kind
};

// Number of files rewritten so far by PatchWorldFile. Touched by the worker
// thread alone.
extern int g_filesWritten;

// Brings the world file at `path` (a Windows path) into the requested
// collision-sound state: on its collisionSound lines mode 0 turns TRUE into
// FALSE and any other mode FALSE into TRUE; an inserted block declares TRUE
// only for mode 1. Rewrites the file (atomically, every line ending in CR LF,
// gzip files compressed again) only when something changed, counting each
// completed rewrite in g_filesWritten. An empty file, and one that holds no
// world (IsWorldText, plainly or gzip-compressed), is left alone. A plain
// file above kMaxInflatedBytes is kOpenFailed, unread. Leaves the file
// untouched on every failure, including gzip it cannot fully read.
PatchResult PatchWorldFile(const std::string& path, int mode);

// PatchWorldFile for a file found under `worldFolder`, refused (kOpenFailed,
// untouched) when what `path` names, links followed, lies outside that
// folder, itself resolved: a world folder may come from an archive, and a
// link in it may lead anywhere.
PatchResult PatchWorldFile(const std::string& path, int mode, const std::string& worldFolder);
