#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/files/world_folder.h"
#include "platform/io_error.h"

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

// Brings the world file at `path` (a full Windows path under `worldFolder`,
// as a scan of it lists) into the requested collision-sound state: on its
// collisionSound lines mode 0 turns TRUE into FALSE and any other mode FALSE
// into TRUE; an inserted block declares TRUE only for mode 1. Rewrites the
// file (atomically, every line ending in CR LF, gzip files compressed again)
// only when something changed, counting each completed rewrite in
// g_filesWritten; the rewrite is durable once the folder is flushed. An
// empty file, and one that holds no world (IsWorldText, plainly or
// gzip-compressed), is left alone. A plain file above kMaxInflatedBytes is
// kOpenFailed, unread. A path that leads out of the world folder, itself or
// through a link, is kOpenFailed; a file another program holds, opens or
// saves meanwhile is kOpenFailed too. Leaves the file untouched on every
// failure, including gzip it cannot fully read.
PatchResult PatchWorldFile(platform::WorldFolder& worldFolder, const std::string& path, int mode);

// The result for each file of a world folder that could not be opened (the
// error WorldFolder::Open gave): kFileMissing when there is no folder, since
// no file's status can be read, else kOpenFailed.
PatchResult ResultForUnopenedFolder(const platform::IoError& error);

// PatchWorldFile for one file, through `worldFolder` opened for it alone
// and flushed afterwards.
PatchResult PatchWorldFile(const std::string& path, int mode, const std::string& worldFolder);

// PatchWorldFile for one file of a full path "X:\...", with the root of its
// drive as the world folder.
PatchResult PatchWorldFile(const std::string& path, int mode);
