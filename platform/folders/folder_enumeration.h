#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/io_error.h"

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
// The folder part of fullPath is that of GetFullPathNameA(folder + "\*.*"),
// as the search reads it: doubled backslashes, "." and ".." resolved, a path
// without a drive put on the current one, "sp \" keeping its final space and
// "x.\" losing its final dot.
//
// A link to a folder is reported as a folder and followed, unless it leads to
// a folder already on the way from the drive root to `folder`: such a link is
// left out, so a walk over a tree with link cycles ends.
//
// Fails when the enumeration cannot start: kNotFound for a missing folder
// (or a path longer than the A functions take), kAccessDenied for an
// unreadable one, with the host's code and `folder` as the path.
IoResult<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder);

}  // namespace platform
