#include "platform/folder_enumeration.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/code_page_posix.h"
#include "platform/wine_path_posix.h"

namespace platform {
namespace {

// The "\*.*" that FindFirstFileA gets after the folder counts against its
// length limit.
constexpr std::size_t kPatternLength = 4;

struct Identity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

std::optional<Identity> IdentityAt(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

class ScopedDir {
 public:
  explicit ScopedDir(DIR* dir) : m_dir(dir) {}
  ~ScopedDir() {
    if (m_dir != nullptr) closedir(m_dir);
  }
  ScopedDir(const ScopedDir&) = delete;
  ScopedDir& operator=(const ScopedDir&) = delete;
  DIR* get() const { return m_dir; }

 private:
  DIR* m_dir;
};

// The folders on the way from the drive's folder down to the enumerated one.
// A link back to one of them would let a walk go round for ever. Worked out
// on first use: most folders hold no link to a folder.
class FolderChain {
 public:
  explicit FolderChain(const HostFile& folder) : m_folder(folder) {}

  bool Contains(Identity identity) {
    if (!m_known) Build();
    return std::find(m_chain.begin(), m_chain.end(), identity) != m_chain.end();
  }

 private:
  void Build() {
    m_known = true;
    const std::string& path = m_folder.path;
    for (std::size_t end = m_folder.driveFolderLength;;) {
      if (std::optional<Identity> identity = IdentityAt(path.substr(0, end))) m_chain.push_back(*identity);
      if (end >= path.size()) break;
      end = path.find('/', end + 1);
      if (end == std::string::npos) end = path.size();
    }
  }

  const HostFile& m_folder;
  bool m_known = false;
  std::vector<Identity> m_chain;
};

// Wine leaves the prefix folder and the host's /dev, /proc and /sys out of
// every listing. Only the folders holding them need a closer look.
class HiddenFolders {
 public:
  explicit HiddenFolders(const HostFile& folder) : m_self{folder.device, folder.inode} {}

  // Whether the folder entry `name` (whose status is `status` when known)
  // is one of them.
  bool Hides(int folderFd, const char* name, const struct stat* status) {
    if (!m_checked) Check();
    if (m_hidden.empty()) return false;
    struct stat own;
    if (status == nullptr) {
      if (fstatat(folderFd, name, &own, 0) != 0) return false;
      status = &own;
    }
    return std::find(m_hidden.begin(), m_hidden.end(), IdentityOf(*status)) != m_hidden.end();
  }

 private:
  void Check() {
    m_checked = true;
    m_prefix = WinePrefix();
    static const std::optional<Identity> root = IdentityAt("/");
    const bool holdsOne =
        (root && *root == m_self) || (!m_prefix.empty() && IdentityAt(m_prefix + "/..") == m_self);
    if (!holdsOne) return;
    for (const std::string& path : {m_prefix, std::string("/dev"), std::string("/proc"), std::string("/sys")})
      if (std::optional<Identity> identity = path.empty() ? std::nullopt : IdentityAt(path))
        m_hidden.push_back(*identity);
  }

  Identity m_self;
  std::string m_prefix;
  bool m_checked = false;
  std::vector<Identity> m_hidden;
};

// The entries of one folder. Their names and sort keys sit end to end in
// two strings, so that a folder of thousands costs a few allocations only.
class Listing {
 public:
  // Room for a usual folder, so that most are read without growing.
  Listing() {
    m_entries.reserve(64);
    m_names.reserve(1024);
    m_keys.reserve(1024);
  }

  void Add(std::string_view hostName, bool isFolder) {
    const std::size_t keyStart = m_keys.size();
    AppendUpperCaseHostNameUtf16(hostName, &m_keys);
    m_entries.push_back({m_names.size(), hostName.size(), keyStart, m_keys.size() - keyStart, isFolder});
    m_names.append(hostName);
  }

  // In the order NTFS gives: by the names upper-cased, as UTF-16 units.
  // Names that differ only in case (or only in bytes that are not UTF-8)
  // still come in one fixed order.
  void Sort() {
    std::sort(m_entries.begin(), m_entries.end(), [this](const Entry& a, const Entry& b) {
      const int byKey = Key(a).compare(Key(b));
      return byKey != 0 ? byKey < 0 : HostName(a) < HostName(b);
    });
  }

  std::size_t size() const { return m_entries.size(); }
  std::string_view HostName(std::size_t i) const { return HostName(m_entries[i]); }
  bool IsFolder(std::size_t i) const { return m_entries[i].isFolder; }

 private:
  struct Entry {
    std::size_t nameStart, nameLength, keyStart, keyLength;
    bool isFolder;
  };
  std::string_view HostName(const Entry& entry) const {
    return std::string_view(m_names).substr(entry.nameStart, entry.nameLength);
  }
  std::u16string_view Key(const Entry& entry) const {
    return std::u16string_view(m_keys).substr(entry.keyStart, entry.keyLength);
  }

  std::vector<Entry> m_entries;
  std::string m_names;
  std::u16string m_keys;
};

// Whether the entry is listed, and as a folder or not. Links are followed:
// a dangling one is left out, and so is one leading back up the chain.
std::optional<bool> ListedAsFolder(int folderFd, const dirent& entry, FolderChain* chain, HiddenFolders* hidden) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN) {
    // Some file systems do not say; ask.
    struct stat status;
    if (fstatat(folderFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
  }
  if (type != DT_LNK) {
    if (type == DT_DIR && hidden->Hides(folderFd, entry.d_name, nullptr)) return std::nullopt;
    return type == DT_DIR;
  }
  struct stat target;
  if (fstatat(folderFd, entry.d_name, &target, 0) != 0) return std::nullopt;
  if (!S_ISDIR(target.st_mode)) return false;
  if (chain->Contains(IdentityOf(target)) || hidden->Hides(folderFd, entry.d_name, &target)) return std::nullopt;
  return true;
}

}  // namespace

std::optional<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder) {
  std::optional<std::u16string> full = FullAnsiPath(folder, kPatternLength);
  if (!full) return std::nullopt;
  HostFile host;
  const int folderFd = OpenHostFolder(*full, &host);
  if (folderFd < 0) return std::nullopt;
  ScopedDir dir(fdopendir(folderFd));
  if (dir.get() == nullptr) {
    close(folderFd);
    return std::nullopt;
  }

  FolderChain chain(host);
  HiddenFolders hidden(host);
  Listing listing;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::optional<bool> isFolder = ListedAsFolder(folderFd, *entry, &chain, &hidden);
    if (isFolder) listing.Add(name, *isFolder);
  }
  listing.Sort();

  const AnsiCodec codec;
  std::string base = codec.FromUtf16(*full);
  const bool atDriveRoot = full->size() == 3;
  if (base.back() != '\\') base += '\\';
  std::vector<FolderEntry> entries;
  entries.reserve(listing.size() + 2);
  if (!atDriveRoot) {
    entries.push_back({".", base + ".", true});
    entries.push_back({"..", base + "..", true});
  }
  for (std::size_t i = 0; i < listing.size(); ++i) {
    FolderEntry& entry = entries.emplace_back();
    entry.name = codec.FromHostName(listing.HostName(i));
    entry.fullPath.reserve(base.size() + entry.name.size());
    entry.fullPath.append(base).append(entry.name);
    entry.isFolder = listing.IsFolder(i);
  }
  return entries;
}

}  // namespace platform
