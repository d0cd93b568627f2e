#include "platform/folders/folder_tree.h"

#include <windows.h>

#include <utility>

#include "platform/files/file_handle_win.h"
#include "platform/folders/folder_enumeration_win.h"
#include "platform/paths/windows_path.h"

namespace platform {

// Where the tree lies: what its listings judge links by.
struct TreeRoot {
  std::wstring finalPath;  // the root's final path, every link in it resolved

  bool Holds(const std::wstring& path) const { return IsWithin(path, finalPath); }
};

struct FolderTree::Bounds {
  TreeRoot root;
  std::string rootPath;  // the root as given
  std::string rootBase;
  FolderId rootId;
};

// The Windows half searches a folder by the path it was reached by.
struct FolderHandle::Host {
  std::string path;
};

// A folder is opened by its path + "\", made full once as its search makes
// it: made full again, "dots.\" would lose its dot a second time.

struct FolderListing::Host {
  const TreeRoot* root = nullptr;
  std::vector<bool> mayLeadElsewhere;  // per entry: a link, or what may be one
};

namespace {

// The names the scan takes for world files (it compares them exactly).
constexpr std::string_view kWorldSuffix = ".wrl";

// Whether an entry may lead elsewhere, to be followed before its status is
// told. Links say so on Windows. Wine shows a link to a file as a plain
// file, without the reparse point, and finding out means opening the file
// (about a millisecond there): only the names the scan may take for a world
// are.
bool MayLeadElsewhere(const FoundEntry& found) {
  if (found.isReparsePoint) return true;
  return !found.entry.isFolder && RunsUnderWine() && found.entry.name.ends_with(kWorldSuffix);
}

IoError Outside(std::string_view path) { return IoError{IoErrorKind::kOutside, 0, std::string(path)}; }

IoError LastError(std::string_view path) { return OsError(static_cast<int>(GetLastError()), path); }

// Whether a path is longer than the A functions take: they convert it into
// a buffer of MAX_PATH characters and the terminating zero.
bool TooLong(const std::string& path) {
  return MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0) > MAX_PATH;
}

constexpr std::string_view kPattern = "\\*.*";

}  // namespace

FolderHandle::FolderHandle() : m_host(std::make_unique<Host>()) {}
FolderHandle::FolderHandle(FolderHandle&&) noexcept = default;
FolderHandle& FolderHandle::operator=(FolderHandle&&) noexcept = default;
FolderHandle::~FolderHandle() = default;

FolderListing::FolderListing() : m_host(std::make_unique<Host>()) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

IoResult<FileStatus> FolderListing::StatusOf(std::size_t i) const {
  const FolderEntry& entry = m_entries[i];
  if (TooLong(entry.fullPath)) return OsError(ERROR_FILENAME_EXCED_RANGE, entry.fullPath);
  // Wine opens a device by such a name, whatever the folder holds.
  if (IsDeviceName(entry.name)) return Outside(entry.fullPath);
  if (m_host->mayLeadElsewhere[i]) {
    const std::optional<FinalTarget> target = FinalTargetOf(entry.fullPath);
    if (!target) return LastError(entry.fullPath);
    if (!m_host->root->Holds(target->finalPath)) return Outside(entry.fullPath);
  }
  const std::optional<FileStatus> status = GetFileStatus(entry.fullPath);
  if (!status) return LastError(entry.fullPath);
  return *status;
}

FolderTree::FolderTree(std::unique_ptr<Bounds> bounds) : m_bounds(std::move(bounds)) {}
FolderTree::FolderTree(FolderTree&&) noexcept = default;
FolderTree& FolderTree::operator=(FolderTree&&) noexcept = default;
FolderTree::~FolderTree() = default;

IoResult<FolderTree> FolderTree::Open(std::string_view root) {
  if (root.empty() || root.find('\0') != std::string_view::npos) return OsError(ERROR_PATH_NOT_FOUND, root);
  const std::string rootPath(root);
  const std::string pattern = rootPath + std::string(kPattern);
  if (TooLong(pattern)) return OsError(ERROR_FILENAME_EXCED_RANGE, root);
  const std::optional<std::string> folder = FolderPartOfFullPath(pattern);
  if (!folder) return LastError(root);
  std::optional<FinalTarget> target = FinalTargetOf(rootPath + '\\');
  if (!target) return LastError(root);
  if (!target->isFolder) return OsError(ERROR_DIRECTORY, root);
  auto bounds = std::make_unique<Bounds>();
  bounds->root.finalPath = std::move(target->finalPath);
  bounds->rootPath = rootPath;
  bounds->rootBase = *folder;
  bounds->rootId = target->id;
  return FolderTree(std::move(bounds));
}

IoResult<FolderHandle> FolderTree::OpenRoot() const {
  FolderHandle handle;
  handle.m_id = m_bounds->rootId;
  handle.m_base = m_bounds->rootBase;
  handle.m_host->path = m_bounds->rootPath;
  return handle;
}

IoResult<FolderHandle> FolderTree::OpenEntry(const FolderListing& parent, std::size_t i) const {
  const std::string& path = parent.m_entries[i].fullPath;
  const std::string pattern = path + std::string(kPattern);
  if (TooLong(pattern)) return OsError(ERROR_FILENAME_EXCED_RANGE, path);
  const std::optional<std::string> base = FolderPartOfFullPath(pattern);
  if (!base) return LastError(path);
  // Opened by its path + "\", made full once, as its search makes it: its
  // base made full again would lose another final dot ("dots.\" is "dots").
  const std::optional<FinalTarget> target = FinalTargetOf(path + '\\');
  if (!target) return LastError(path);
  if (!target->isFolder) return OsError(ERROR_DIRECTORY, path);
  if (!m_bounds->root.Holds(target->finalPath)) return Outside(path);
  FolderHandle handle;
  handle.m_id = target->id;
  handle.m_base = *base;
  handle.m_host->path = path;
  return handle;
}

IoResult<FolderListing> FolderTree::List(FolderHandle folder) const {
  IoResult<FolderSearch> search = SearchFolder(folder.m_host->path);
  if (!search) return search.error();

  FolderListing listing;
  listing.m_id = folder.m_id;
  listing.m_host->root = &m_bounds->root;
  const unsigned codePage = GetACP();
  for (FoundEntry& found : search->found) {
    FolderEntry& entry = found.entry;
    const bool dots = entry.name == "." || entry.name == "..";
    if (!dots && !IsOneNameComponent(entry.name, codePage)) {
      listing.m_leftOut.push_back({std::move(entry.fullPath), LeftOutReason::kNotAName});
      continue;
    }
    listing.m_host->mayLeadElsewhere.push_back(MayLeadElsewhere(found));
    listing.m_entries.push_back(std::move(entry));
  }
  for (std::string& link : search->linksOnTheWay)
    listing.m_leftOut.push_back({std::move(link), LeftOutReason::kOnTheWay});
  return listing;
}

bool FolderTree::Contains(std::string_view path) const {
  if (path.find('\0') != std::string_view::npos) return false;
  const std::optional<FinalTarget> target = FinalTargetOf(std::string(path));
  return target && m_bounds->root.Holds(target->finalPath);
}

bool IsPathTooLong(const IoError& error) { return error.osCode == ERROR_FILENAME_EXCED_RANGE; }

}  // namespace platform
