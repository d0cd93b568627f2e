#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_status.h"
#include "platform/folders/folder_enumeration.h"
#include "platform/io_error.h"

namespace platform {

// What tells one folder from another, whatever path leads to it: device and
// inode on Linux, the file index on Windows (its volume is left 0: finding
// it out costs a round trip to Wine's mount manager per folder, and the
// folders of one tree share a volume but across a mount point inside it). A
// folder reached through a link has the id of the folder the link leads to.
struct FolderId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FolderId&) const = default;
  auto operator<=>(const FolderId&) const = default;
};

// Why a listing leaves out an entry that EnumerateFolder would give.
enum class LeftOutReason {
  kNotAName,  // cannot be one component of a Windows path: a "\" or "/" in it, or dots alone
  kOnTheWay,  // a link back to a folder on the way from the drive root down to the listed one
};

struct LeftOutEntry {
  std::string fullPath;  // the listed folder's path + "\" + the name
  LeftOutReason reason;
};

// A folder of a FolderTree, open, its entries not read yet: a walk can tell
// by its id whether it has been here before, at the cost of one open.
class FolderHandle {
 public:
  FolderHandle(FolderHandle&&) noexcept;
  FolderHandle& operator=(FolderHandle&&) noexcept;
  ~FolderHandle();

  FolderId id() const { return m_id; }
  // The folder's full Windows path, as a search of it reports it: the path it
  // was reached by + "\*.*" made full, less the "*.*" (it ends in "\").
  const std::string& base() const { return m_base; }

 private:
  friend class FolderTree;
  struct Host;
  FolderHandle();

  FolderId m_id;
  std::string m_base;
  std::unique_ptr<Host> m_host;
};

// The entries of one folder of a FolderTree. The folder stays open while
// this lives: the status of its entries, and the folders they name, are
// reached from it.
class FolderListing {
 public:
  FolderListing(FolderListing&&) noexcept;
  FolderListing& operator=(FolderListing&&) noexcept;
  ~FolderListing();

  FolderId id() const { return m_id; }
  // Every entry EnumerateFolder gives ("." and ".." included), less those in
  // leftOut(). Links stay in, whatever they lead to: StatusOf and
  // FolderTree::OpenEntry judge them when they are used.
  const std::vector<FolderEntry>& entries() const { return m_entries; }
  const std::vector<LeftOutEntry>& leftOut() const { return m_leftOut; }

  // GetFileStatus(entries()[i].fullPath), read afresh from the open folder.
  //   kOutside   a link that leads out of the tree, or a name Windows takes
  //              for a device (IsDeviceName);
  //   kNotFound  nothing there by that path (a name Windows cannot open, a
  //              path longer than Windows takes: IsPathTooLong);
  //   other kinds as the host reports them.
  // Under Wine a link to a file looks like a plain file, and only opening it
  // tells where it leads: there only names ending in ".wrl" are followed; a
  // file by another name is told as it looks (it is never a world to patch).
  IoResult<FileStatus> StatusOf(std::size_t i) const;

 private:
  friend class FolderTree;
  struct Host;
  FolderListing();

  FolderId m_id;
  std::vector<FolderEntry> m_entries;
  std::vector<LeftOutEntry> m_leftOut;
  std::unique_ptr<Host> m_host;
};

// A folder tree that a walk must not leave. A world folder may come from an
// archive, and a link in it may lead anywhere on the machine; a name may
// hold what Windows takes for a separator. The root is resolved once. On
// Linux every folder below it is opened from its parent's open folder, by
// the name its parent listed, never by a path resolved from the drive
// again; only a name whose Windows path does not lead back to it (a final
// dot, a character Windows refuses, a best fit of the code page) is found
// by that path, as a Windows program finds it. The Windows half opens each
// folder by its path and checks where the opened folder really is.
class FolderTree {
 public:
  // The tree under `root` (a Windows path, made full as FindFirstFileA makes
  // root + "\*.*"), resolved once: the links that lead to the root itself
  // are followed. kNotFound when no folder is there.
  static IoResult<FolderTree> Open(std::string_view root);

  FolderTree(FolderTree&&) noexcept;
  FolderTree& operator=(FolderTree&&) noexcept;
  ~FolderTree();

  // The root, opened.
  IoResult<FolderHandle> OpenRoot() const;

  // The folder that entries()[i] of `parent` (a folder, not "." or "..")
  // names, opened the way FindFirstFileA(fullPath + "\*.*") finds it: a
  // final dot of the name is dropped ("x." opens "x"), its final spaces are
  // kept. Its id is that of the folder a link leads to.
  //   kOutside   a link that leads out of the tree;
  //   kNotFound  no folder by that path (IsPathTooLong tells a path longer
  //              than Windows takes);
  //   other kinds as the host reports them.
  IoResult<FolderHandle> OpenEntry(const FolderListing& parent, std::size_t i) const;

  // The entries of an opened folder. Fails as the host fails to read it.
  IoResult<FolderListing> List(FolderHandle folder) const;

  // Whether what `path` names, every link on the way followed, lies inside
  // the tree. False when nothing is found there.
  bool Contains(std::string_view path) const;

 private:
  struct Bounds;
  explicit FolderTree(std::unique_ptr<Bounds> bounds);

  std::unique_ptr<Bounds> m_bounds;
};

// Whether a failure of this folder layer is a path longer than the Win32 A
// functions take (MAX_PATH characters with the search pattern).
bool IsPathTooLong(const IoError& error);

}  // namespace platform
