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
  // 0: an I/O failure of any other kind.
};

// The program's home page, named in every block it inserts and in the About box.
inline constexpr std::string_view kHomePage = "http://quietwalk.example/";

// Number of files rewritten so far by PatchWorldFile. Touched by the worker
// thread alone.
extern int g_filesWritten;

// The prototype declaration inserted after line 1 of a file that lacks one.
// Line 6 carries the collision sound's default for `mode`.
std::array<std::string, 8> HeaderBlock(int mode);

// Brings the world file at `path` into the requested collision-sound state:
// mode 0 makes it FALSE, any other mode TRUE. Rewrites the file only when
// something changed, counting each completed rewrite in g_filesWritten.
PatchResult PatchWorldFile(const std::string& path, int mode);
