#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_status.h"
#include "platform/folders/folder_enumeration.h"

namespace platform {

// What tells one folder from another, whatever path leads to it: device and
// inode on Linux, the file index on Windows (its volume is left 0: finding
// it out costs a round trip to Wine's mount manager per folder, and the
// folders of one tree share a volume but across a mount point inside it).
struct FolderId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FolderId&) const = default;
};

// The entries of one folder of a FolderTree. The folder stays open while
// this lives, so that the status of its entries is quick to read.
class FolderListing {
 public:
  FolderListing(FolderListing&&) noexcept;
  FolderListing& operator=(FolderListing&&) noexcept;
  ~FolderListing();

  FolderId id() const { return m_id; }
  const std::vector<FolderEntry>& entries() const { return m_entries; }

  // GetFileStatus(entries()[i].fullPath), read afresh.
  std::optional<FileStatus> StatusOf(std::size_t i) const;

 private:
  friend class FolderTree;
  struct Host;
  FolderListing();

  FolderId m_id;
  std::vector<FolderEntry> m_entries;
  std::unique_ptr<Host> m_host;
};

// A folder tree that a walk must not leave. A world folder may come from an
// archive, and a link in it may lead anywhere on the machine; a name may
// hold what Windows takes for a separator.
class FolderTree {
 public:
  // The tree under `root`, resolved once: the links that lead to the root
  // itself are followed. nullopt when no folder is found there.
  static std::optional<FolderTree> Open(std::string_view root);

  FolderTree(FolderTree&&) noexcept;
  FolderTree& operator=(FolderTree&&) noexcept;
  ~FolderTree();

  // The entries of `folder` as EnumerateFolder gives them, less those that
  // lead out of the tree: links (to folders or files) whose target lies
  // outside the root, and names that cannot be one Windows name component
  // (a "\" or "/" in them, or dots alone). nullopt when the folder cannot be
  // enumerated or does not lie inside the tree. Under Wine, where a link to
  // a file looks like a plain file and only opening it tells where it
  // leads, only names ending in ".wrl" are followed; a file by another name
  // is listed as it looks (it is never a world to patch).
  std::optional<FolderListing> List(std::string_view folder);

  // Whether what `path` names, every link on the way followed, lies inside
  // the tree. False when nothing is found there.
  bool Contains(std::string_view path) const;

 private:
  struct Bounds;
  explicit FolderTree(std::unique_ptr<Bounds> bounds);

  std::unique_ptr<Bounds> m_bounds;
};

}  // namespace platform
