#include "platform/folders/folder_tree.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/folders/host_folder_posix.h"
#include "platform/paths/windows_path.h"
#include "platform/paths/wine_path_posix.h"
#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"

namespace platform {
namespace {

// The "\*.*" a search puts after a folder's path, which counts against the
// length limit of the path.
constexpr std::size_t kPatternUnits = 4;
constexpr std::size_t kNoHostEntry = static_cast<std::size_t>(-1);

std::optional<std::string> RealPath(const std::string& hostPath) {
  char* resolved = realpath(hostPath.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string path = resolved;
  free(resolved);
  return path;
}

// Where an open file or folder really is, as the kernel names it: the
// answer belongs to what was opened, not to a path that may have changed
// since. Without /proc, the path it was found at, every link resolved.
std::optional<std::string> RealPathOf(int fd, const std::string& hostPath) {
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink(link, path.data(), path.size());
  if (length > 0 && static_cast<std::size_t>(length) < path.size() && path[0] == '/') {
    path.resize(static_cast<std::size_t>(length));
    return path;
  }
  if (hostPath.empty()) return std::nullopt;
  return RealPath(hostPath);
}

bool Holds(const std::string& root, const std::string& path) {
  return root == "/" || path == root ||
         (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

// The folder's path as a caller names it: its base without the final "\"
// (a drive root keeps it).
std::string FolderPath(const std::string& base) { return base.size() > 3 ? base.substr(0, base.size() - 1) : base; }

IoError Outside(std::string_view path) { return IoError{IoErrorKind::kOutside, 0, std::string(path)}; }

// Whether a path made full from base + a name keeps base as it is: true
// unless a folder of it ends in a dot, which such a path loses ("x.\y" is
// "x\y"). A search lists that folder's entries all the same, but their
// paths lead into another one.
bool KeepsItsFolders(std::string_view base) {
  for (std::size_t i = 3; i < base.size(); ++i)
    if (base[i] == '\\' && base[i - 1] == '.') return false;
  return true;
}

// Whether a name is its own Windows path component: nothing in it Windows
// refuses, and no final dot (which a path loses). A final space is lost
// only at the end of a path, so files need `atEnd`.
bool KeepsName(std::string_view hostName, bool atEnd) {
  for (char c : hostName)
    if (IsForbiddenInName(static_cast<unsigned char>(c))) return false;
  return hostName.back() != '.' && !(atEnd && hostName.back() == ' ');
}

}  // namespace

// How the Windows path of an entry reaches the host. Most entries name
// themselves: their path leads to the very entry listed, and the folder's
// descriptor reaches it by its host name. The others are found by their
// Windows path, as a Windows program finds them.
struct EntryReach {
  std::size_t hostIndex = kNoHostEntry;  // the HostFolder entry, when it is reached by name
  std::size_t units = 0;                 // UTF-16 units of the entry's full path
  bool fileByName = false;               // its path as a file names this entry
  bool folderByName = false;             // its path with "\*.*" after it names this entry
};

// Where the tree lies on the host: what its listings judge links by.
struct TreeRoot {
  std::string realPath;  // the root's real host path, every link in it resolved

  bool Holds(const std::string& path) const { return platform::Holds(realPath, path); }
  bool Holds(int fd, const std::string& hostPath) const {
    const std::optional<std::string> real = RealPathOf(fd, hostPath);
    return real && Holds(*real);
  }
};

struct FolderTree::Bounds {
  TreeRoot root;
  HostFolder folder;  // the root, open, not read
  mutable HiddenFolders hidden;
};

struct FolderHandle::Host {
  int fd = -1;
  std::size_t baseUnits = 0;
  std::vector<FolderId> onTheWay;  // from the drive's folder down to this one, this one included

  ~Host() {
    if (fd >= 0) close(fd);
  }
};

struct FolderListing::Host {
  HostFolder folder;
  std::vector<FolderId> onTheWay;
  std::vector<EntryReach> reach;  // one per entry
  const TreeRoot* root = nullptr;
};

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
  const EntryReach& reach = m_host->reach[i];
  if (reach.units > kMaxPath) return IoError{IoErrorKind::kNotFound, ENAMETOOLONG, entry.fullPath};
  if (IsDeviceName(entry.name)) return Outside(entry.fullPath);
  const TreeRoot& root = *m_host->root;

  if (!reach.fileByName) {
    const std::optional<HostFile> found = FindHostFile(std::string_view(entry.fullPath));
    if (!found) return IoError{IoErrorKind::kNotFound, ENOENT, entry.fullPath};
    const std::optional<std::string> real = RealPath(found->path);
    if (!real || !root.Holds(*real)) return Outside(entry.fullPath);
    return FileStatusOfMode(found->mode);
  }

  const int folderFd = m_host->folder.fd();
  const char* name = m_host->folder[reach.hostIndex].hostName.data();
  struct stat status;
  if (fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return OsError(errno, entry.fullPath);
  if (!S_ISLNK(status.st_mode)) return FileStatusOfMode(status.st_mode);
  // A link: judged by where the file it leads to really is, once opened.
  const int target = openat(folderFd, name, O_PATH | O_CLOEXEC);
  if (target < 0) return OsError(errno, entry.fullPath);
  const bool inside = root.Holds(target, std::string());
  const int error = inside && fstat(target, &status) != 0 ? errno : 0;
  close(target);
  if (!inside) return Outside(entry.fullPath);
  if (error != 0) return OsError(error, entry.fullPath);
  return FileStatusOfMode(status.st_mode);
}

FolderTree::FolderTree(std::unique_ptr<Bounds> bounds) : m_bounds(std::move(bounds)) {}
FolderTree::FolderTree(FolderTree&&) noexcept = default;
FolderTree& FolderTree::operator=(FolderTree&&) noexcept = default;
FolderTree::~FolderTree() = default;

IoResult<FolderTree> FolderTree::Open(std::string_view root) {
  IoResult<HostFolder> opened = HostFolder::Open(root);
  if (!opened) return opened.error();
  std::optional<std::string> real = RealPathOf(opened->fd(), opened->hostPath());
  if (!real) return OsError(errno, root);
  auto bounds = std::make_unique<Bounds>();
  bounds->root.realPath = std::move(*real);
  bounds->folder = std::move(*opened);
  return FolderTree(std::move(bounds));
}

IoResult<FolderHandle> FolderTree::OpenRoot() const {
  const HostFolder& root = m_bounds->folder;
  const int fd = fcntl(root.fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return OsError(errno, FolderPath(root.base()));
  FolderHandle handle;
  handle.m_id = root.id();
  handle.m_base = root.base();
  handle.m_host->fd = fd;
  handle.m_host->baseUnits = root.baseUnits();
  handle.m_host->onTheWay = root.FoldersOnTheWay();
  return handle;
}

IoResult<FolderHandle> FolderTree::OpenEntry(const FolderListing& parent, std::size_t i) const {
  const FolderEntry& entry = parent.m_entries[i];
  const EntryReach& reach = parent.m_host->reach[i];
  if (reach.units + kPatternUnits > kMaxPath) return IoError{IoErrorKind::kNotFound, ENAMETOOLONG, entry.fullPath};

  FolderHandle handle;
  FolderHandle::Host& host = *handle.m_host;
  if (reach.folderByName) {
    // Not following a link at first: a plain folder lies inside its parent,
    // and needs no judging.
    const int parentFd = parent.m_host->folder.fd();
    const HostFolderEntry listed = parent.m_host->folder[reach.hostIndex];
    const char* name = listed.hostName.data();
    host.fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (host.fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
      host.fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (host.fd >= 0 && !m_bounds->root.Holds(host.fd, std::string())) return Outside(entry.fullPath);
    }
    if (host.fd < 0) return OsError(errno, entry.fullPath);
    struct stat status;
    if (fstat(host.fd, &status) != 0) return OsError(errno, entry.fullPath);
    handle.m_id = {status.st_dev, status.st_ino};
    handle.m_base = entry.fullPath + '\\';
    host.baseUnits = reach.units + 1;
  } else {
    // Where a search of this path leads, found the way the search finds it.
    IoResult<HostFolder> opened = HostFolder::Open(entry.fullPath);
    if (!opened) return opened.error();
    if (!m_bounds->root.Holds(opened->fd(), opened->hostPath())) return Outside(entry.fullPath);
    handle.m_id = opened->id();
    handle.m_base = opened->base();
    host.baseUnits = opened->baseUnits();
    host.fd = opened->ReleaseFd();
  }
  host.onTheWay = parent.m_host->onTheWay;
  host.onTheWay.push_back(handle.m_id);
  return handle;
}

IoResult<FolderListing> FolderTree::List(FolderHandle handle) const {
  FolderHandle::Host& opened = *handle.m_host;
  FolderListing listing;
  FolderListing::Host& host = *listing.m_host;
  host.root = &m_bounds->root;
  host.onTheWay = std::move(opened.onTheWay);
  host.folder = HostFolder::Adopt(std::exchange(opened.fd, -1), handle.m_id, handle.m_base, opened.baseUnits);
  HostFolder& read = host.folder;
  const std::vector<FolderId>& onTheWay = host.onTheWay;
  const auto isOnTheWay = [&onTheWay](FolderId id) {
    return std::find(onTheWay.begin(), onTheWay.end(), id) != onTheWay.end();
  };
  const IoStatus status = read.Read(isOnTheWay, &m_bounds->hidden);
  if (!status) return IoError{status.error().kind, status.error().osCode, FolderPath(read.base())};

  listing.m_id = handle.m_id;
  std::vector<FolderEntry>& entries = listing.m_entries;
  entries.reserve(read.size() + 2);
  host.reach.reserve(read.size() + 2);
  AppendDotEntries(read, &entries);
  for (const FolderEntry& dots : entries) host.reach.push_back({kNoHostEntry, read.baseUnits() + dots.name.size()});

  const unsigned codePage = AnsiCodePage();
  const AnsiCodec codec;
  const bool keepsFolders = KeepsItsFolders(read.base());
  for (std::size_t i = 0; i < read.size(); ++i) {
    const HostFolderEntry listed = read[i];
    const bool plainAscii = codec.KeepsUnchanged(listed.hostName);
    std::string name = plainAscii ? std::string(listed.hostName) : codec.FromHostName(listed.hostName);
    std::string fullPath = read.base() + name;
    if (!IsOneNameComponent(name, codePage)) {
      listing.m_leftOut.push_back({std::move(fullPath), LeftOutReason::kNotAName});
      continue;
    }
    // A name that converts back to its host name is its own spelling; one
    // that came out of a best fit or with "?" in it names something else.
    const bool ownSpelling = plainAscii || AnsiToHostName(name) == listed.hostName;
    EntryReach reach;
    reach.units = read.baseUnits() + (plainAscii ? name.size() : AnsiToUtf16(name).size());
    if (keepsFolders && ownSpelling) {
      reach.hostIndex = i;
      reach.fileByName = KeepsName(listed.hostName, true);
      reach.folderByName = KeepsName(listed.hostName, false);
    }
    entries.push_back({std::move(name), std::move(fullPath), listed.isFolder});
    host.reach.push_back(reach);
  }
  for (const std::string& link : read.linksOnTheWay())
    listing.m_leftOut.push_back({read.base() + codec.FromHostName(link), LeftOutReason::kOnTheWay});
  return listing;
}

bool FolderTree::Contains(std::string_view path) const {
  const std::optional<HostFile> host = FindHostFile(path);
  if (!host) return false;
  const std::optional<std::string> resolved = RealPath(host->path);
  return resolved && m_bounds->root.Holds(*resolved);
}

bool IsPathTooLong(const IoError& error) { return error.osCode == ENAMETOOLONG; }

}  // namespace platform
