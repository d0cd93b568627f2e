#include "platform/folders/folder_tree.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <utility>

#include "platform/folders/host_folder_posix.h"
#include "platform/paths/windows_path.h"
#include "platform/paths/wine_path_posix.h"
#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"

namespace platform {

struct FolderListing::Host {
  int fd = -1;
  // Per entry, where in `names` the host name its status is read by
  // (relative to `fd`) starts, or kByPath where only its Windows path tells
  // what it names. Each name ends in a NUL.
  std::vector<std::size_t> nameStart;
  std::string names;
  static constexpr std::size_t kByPath = static_cast<std::size_t>(-1);

  ~Host() {
    if (fd >= 0) close(fd);
  }
};

namespace {

struct Judgement {
  bool inside = false;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> folder;  // the folder it leads to
};

std::optional<std::string> Resolved(const std::string& hostPath) {
  char* resolved = realpath(hostPath.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string path = resolved;
  free(resolved);
  return path;
}

// Whether the Windows path of a name ends in that very name on the host:
// no character that makes the lookup fail, and no final dot or space,
// which the path would lose.
bool PathKeepsName(std::string_view hostName) {
  for (char c : hostName)
    if (IsForbiddenInName(static_cast<unsigned char>(c))) return false;
  return hostName.back() != '.' && hostName.back() != ' ';
}

// Length in UTF-16 units of the ANSI name when it is the host name's own
// spelling (converting it back gives the host name); 0 when it is not.
// Plain ASCII is its own spelling in every code page it is kept in.
std::size_t UnitsOfOwnSpelling(bool plainAscii, std::string_view hostName, const std::string& ansiName) {
  if (plainAscii) return hostName.size();
  if (AnsiToHostName(ansiName) != hostName) return 0;
  return HostNameToUtf16(hostName).size();
}

}  // namespace

struct FolderTree::Bounds {
  std::string root;  // the root's host path, every link in it resolved
  // Folders known to lie inside: the root and the folders listed so far.
  std::set<std::pair<std::uint64_t, std::uint64_t>> inside;

  bool Holds(const std::string& resolved) const {
    return root == "/" || resolved == root ||
           (resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
            resolved[root.size()] == '/');
  }

  // Where a path leads, links followed.
  Judgement Judge(const std::string& hostPath) const;
};

Judgement FolderTree::Bounds::Judge(const std::string& hostPath) const {
  Judgement judgement;
  const std::optional<std::string> resolved = Resolved(hostPath);
  if (!resolved || !Holds(*resolved)) return judgement;
  judgement.inside = true;
  struct stat status;
  if (stat(resolved->c_str(), &status) == 0 && S_ISDIR(status.st_mode))
    judgement.folder = std::pair<std::uint64_t, std::uint64_t>(status.st_dev, status.st_ino);
  return judgement;
}

FolderListing::FolderListing() : m_host(std::make_unique<Host>()) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

std::optional<FileStatus> FolderListing::StatusOf(std::size_t i) const {
  const std::size_t start = m_host->nameStart[i];
  if (start == Host::kByPath) return GetFileStatus(m_entries[i].fullPath);
  struct stat status;
  if (fstatat(m_host->fd, m_host->names.c_str() + start, &status, 0) != 0) return std::nullopt;
  return FileStatusOfMode(status.st_mode);
}

FolderTree::FolderTree(std::unique_ptr<Bounds> bounds) : m_bounds(std::move(bounds)) {}
FolderTree::FolderTree(FolderTree&&) noexcept = default;
FolderTree& FolderTree::operator=(FolderTree&&) noexcept = default;
FolderTree::~FolderTree() = default;

std::optional<FolderTree> FolderTree::Open(std::string_view root) {
  const std::optional<HostFile> host = FindHostFile(root);
  if (!host || !host->isFolder) return std::nullopt;
  std::optional<std::string> resolved = Resolved(host->path);
  if (!resolved) return std::nullopt;
  auto bounds = std::make_unique<Bounds>();
  bounds->root = std::move(*resolved);
  bounds->inside.insert({host->device, host->inode});
  return FolderTree(std::move(bounds));
}

bool FolderTree::Contains(std::string_view path) const {
  const std::optional<HostFile> host = FindHostFile(path);
  if (!host) return false;
  const std::optional<std::string> resolved = Resolved(host->path);
  return resolved && m_bounds->Holds(*resolved);
}

std::optional<FolderListing> FolderTree::List(std::string_view folder) {
  std::optional<HostFolder> read = HostFolder::Read(folder);
  if (!read) return std::nullopt;
  const HostFile& host = read->host();
  if (!m_bounds->inside.count({host.device, host.inode})) {
    // Not reached through an entry listed so far: through a name that found
    // it only ignoring case or by a best fit, or from outside the tree.
    const Judgement judgement = m_bounds->Judge(host.path);
    if (!judgement.inside) return std::nullopt;
    m_bounds->inside.insert({host.device, host.inode});
  }

  FolderListing listing;
  listing.m_id = {host.device, host.inode};
  std::vector<FolderEntry>& entries = listing.m_entries;
  FolderListing::Host& statusNames = *listing.m_host;
  entries.reserve(read->size() + 2);
  statusNames.nameStart.reserve(read->size() + 2);
  AppendDotEntries(*read, &entries);
  statusNames.nameStart.resize(entries.size(), FolderListing::Host::kByPath);

  const unsigned codePage = AnsiCodePage();
  const AnsiCodec codec;
  for (std::size_t i = 0; i < read->size(); ++i) {
    const HostFolderEntry listed = (*read)[i];
    const bool plainAscii = codec.KeepsUnchanged(listed.hostName);
    std::string name = plainAscii ? std::string(listed.hostName) : codec.FromHostName(listed.hostName);
    if (!IsOneNameComponent(name, codePage)) continue;
    std::string fullPath = read->base() + name;
    const std::size_t nameUnits =
        PathKeepsName(listed.hostName) ? UnitsOfOwnSpelling(plainAscii, listed.hostName, name) : 0;
    const bool namesItself = nameUnits != 0 && read->baseUnits() + nameUnits <= kMaxPath;
    if (namesItself && !listed.isLink) {
      if (listed.isFolder) m_bounds->inside.insert({host.device, listed.inode});
    } else {
      // A link, or a name whose path leads to another entry (or to none):
      // judged by where it leads.
      std::string target;
      if (namesItself) {
        target = host.path + "/" + std::string(listed.hostName);
      } else if (std::optional<HostFile> found = FindHostFile(std::string_view(fullPath))) {
        target = std::move(found->path);
      }
      if (!target.empty()) {
        const Judgement judgement = m_bounds->Judge(target);
        if (!judgement.inside) continue;
        if (judgement.folder) m_bounds->inside.insert(*judgement.folder);
      }
    }
    entries.push_back({std::move(name), std::move(fullPath), listed.isFolder});
    statusNames.nameStart.push_back(namesItself ? statusNames.names.size() : FolderListing::Host::kByPath);
    if (namesItself) statusNames.names.append(listed.hostName).push_back('\0');
  }
  listing.m_host->fd = read->ReleaseFd();
  return listing;
}

}  // namespace platform
