#include "platform/paths/path_beneath_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/paths/folder_listing_cache_posix.h"

namespace platform {
namespace {

// As many links as the kernel follows for one path (MAXSYMLINKS).
constexpr int kMaxLinks = 40;
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

IoError ErrorAt(int error, std::string_view path) {
  // A loop of links names nothing, as for Wine's stat().
  return IoError{error == ELOOP ? IoErrorKind::kNotFound : KindOfOsError(error), error, std::string(path)};
}

IoError Outside(std::string_view path) { return IoError{IoErrorKind::kOutside, 0, std::string(path)}; }

IoResult<FolderRef> NodeOf(ScopedFd fd, FolderRef parent, std::string_view path) {
  if (!fd.valid()) return ErrorAt(errno, path);
  auto node = std::make_shared<FolderNode>();
  if (fstat(fd.get(), &node->status) != 0) return ErrorAt(errno, path);
  node->fd = std::move(fd);
  node->parent = std::move(parent);
  return FolderRef(std::move(node));
}

EntryBeneath FolderItself(const FolderRef& folder) { return EntryBeneath{folder, ".", folder->status}; }

// The folder `entry` names, opened from the folder that holds it.
IoResult<FolderRef> OpenEntryFolder(const EntryBeneath& entry, std::string_view path) {
  if (entry.name == ".") return entry.folder;
  if (!S_ISDIR(entry.status.st_mode)) return ErrorAt(ENOTDIR, path);
  return NodeOf(ScopedFd(openat(entry.folder->fd.get(), entry.name.c_str(), kFolderFlags)), entry.folder, path);
}

// Links followed for one entry, with their budget.
class LinkWalk {
 public:
  explicit LinkWalk(std::string_view path) : m_path(path) {}

  // The entry itself while it is no link, else where its links lead.
  IoResult<EntryBeneath> Follow(EntryBeneath entry) {
    while (S_ISLNK(entry.status.st_mode)) {
      if (--m_linksLeft < 0) return ErrorAt(ELOOP, m_path);
      IoResult<std::string> target = ReadLink(entry);
      if (!target) return target.error();
      if (target->front() == '/') return Outside(m_path);
      IoResult<EntryBeneath> reached = Resolve(entry.folder, *target);
      if (!reached) return reached.error();
      entry = std::move(*reached);
    }
    return entry;
  }

 private:
  IoResult<std::string> ReadLink(const EntryBeneath& link) const {
    std::string target(static_cast<std::size_t>(link.status.st_size) + 1, '\0');
    const ssize_t length = readlinkat(link.folder->fd.get(), link.name.c_str(), target.data(), target.size());
    if (length < 0) return ErrorAt(errno, m_path);
    // Grown since it was looked at, or empty: names nothing it could be
    // trusted to name.
    if (length == 0 || static_cast<std::size_t>(length) == target.size()) return ErrorAt(ENOENT, m_path);
    target.resize(static_cast<std::size_t>(length));
    return target;
  }

  // A link's relative target, component by component from `folder`, the
  // folder holding the link.
  IoResult<EntryBeneath> Resolve(FolderRef folder, std::string_view target) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at <= target.size();) {
      std::size_t end = target.find('/', at);
      if (end == std::string_view::npos) end = target.size();
      if (end > at) parts.push_back(target.substr(at, end - at));
      at = end + 1;
    }
    EntryBeneath reached = FolderItself(folder);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (i > 0) {
        IoResult<FolderRef> next = OpenEntryFolder(reached, m_path);
        if (!next) return next.error();
        folder = std::move(*next);
      }
      if (parts[i] == ".") {
        reached = FolderItself(folder);
      } else if (parts[i] == "..") {
        if (!folder->parent) return Outside(m_path);
        reached = FolderItself(folder->parent);
      } else {
        reached = EntryBeneath{folder, std::string(parts[i]), {}};
        if (fstatat(folder->fd.get(), reached.name.c_str(), &reached.status, AT_SYMLINK_NOFOLLOW) != 0)
          return ErrorAt(errno, m_path);
        IoResult<EntryBeneath> followed = Follow(std::move(reached));
        if (!followed) return followed.error();
        reached = std::move(*followed);
      }
    }
    return reached;
  }

  std::string_view m_path;
  int m_linksLeft = kMaxLinks;
};

}  // namespace

IoResult<FolderRef> TopFolder(ScopedFd fd, std::string_view path) { return NodeOf(std::move(fd), nullptr, path); }

IoResult<EntryBeneath> FindEntry(const FolderRef& folder, std::u16string_view name, std::string_view hostName,
                                 std::string_view path) {
  EntryBeneath entry{folder, std::string(hostName), {}};
  if (fstatat(folder->fd.get(), entry.name.c_str(), &entry.status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return ErrorAt(errno, path);
    std::optional<std::string> match = FindEntryIgnoringCase(folder->fd.get(), name, hostName);
    if (!match) return ErrorAt(ENOENT, path);
    entry.name = std::move(*match);
    if (fstatat(folder->fd.get(), entry.name.c_str(), &entry.status, AT_SYMLINK_NOFOLLOW) != 0)
      return ErrorAt(errno, path);
  }
  return LinkWalk(path).Follow(std::move(entry));
}

IoResult<FolderRef> OpenFolder(const FolderRef& folder, std::u16string_view name, std::string_view hostName,
                               std::string_view path) {
  // The usual case, a folder spelt as on disk and no link, in one call.
  ScopedFd fd(openat(folder->fd.get(), std::string(hostName).c_str(), kFolderFlags));
  if (fd.valid()) return NodeOf(std::move(fd), folder, path);
  IoResult<EntryBeneath> entry = FindEntry(folder, name, hostName, path);
  if (!entry) return entry.error();
  return OpenEntryFolder(*entry, path);
}

}  // namespace platform
