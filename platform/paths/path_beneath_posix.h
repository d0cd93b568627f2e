#pragma once

// Finding a file beneath a folder held open, the way Wine finds the
// components of a Windows path (as spelt, else the first entry equal to it
// ignoring case), without ever leaving that folder: each step is taken from
// the descriptor of the folder before it and follows no link by itself. A
// link is followed only while it stays beneath: its target must be
// relative, and its ".." goes back the way the walk came, never above the
// top folder. What a walk found is then used through its descriptors,
// whatever is renamed or swapped for a link meanwhile. Linux only, and only
// for platform/.

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "platform/paths/scoped_fd_posix.h"

namespace platform {

// A folder reached from the top folder of a walk, held open (O_PATH will
// do), with the folder it was reached from.
struct FolderNode {
  ScopedFd fd;
  struct stat status {};                     // when it was opened
  std::shared_ptr<const FolderNode> parent;  // null for the top folder
};
using FolderRef = std::shared_ptr<const FolderNode>;

// The top folder of a walk, from an open folder descriptor (taken over).
// Errors carry `path`.
IoResult<FolderRef> TopFolder(ScopedFd fd, std::string_view path);

// An entry beneath the top folder, every link on the way followed: the
// folder that holds it, its host name there, and its status (never a
// link's). A folder that a link names as "." or ".." is that folder with
// the name ".".
struct EntryBeneath {
  FolderRef folder;
  std::string name;
  struct stat status {};
};

// The entry that the Windows name `name` (a single component, spelt on the
// host as `hostName`) finds in `folder`, as Wine finds it: the entry spelt
// so, else the first equal to it ignoring case; a link followed beneath.
// Errors carry `path`:
//   kNotFound  no such entry, a dangling link, or a loop of links;
//   kOutside   a link that leads out (an absolute target, ".." above the top);
//   other kinds as the host reports them.
IoResult<EntryBeneath> FindEntry(const FolderRef& folder, std::u16string_view name, std::string_view hostName,
                                 std::string_view path);

// The folder that FindEntry finds, opened; kNotFound when it is no folder.
IoResult<FolderRef> OpenFolder(const FolderRef& folder, std::u16string_view name, std::string_view hostName,
                               std::string_view path);

}  // namespace platform
