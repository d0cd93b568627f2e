#include "platform/folders/host_folder_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/folders/folder_enumeration.h"
#include "platform/text/code_page_posix.h"

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
    const bool holdsOne = (root && *root == m_self) || (!m_prefix.empty() && IdentityAt(m_prefix + "/..") == m_self);
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

// Whether the entry is listed, and as a folder or not. Links are followed:
// a dangling one is left out, and so is one leading back up the chain.
std::optional<bool> ListedAsFolder(int folderFd, const dirent& entry, FolderChain* chain, HiddenFolders* hidden,
                                   bool* isLink) {
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
  *isLink = true;
  struct stat target;
  if (fstatat(folderFd, entry.d_name, &target, 0) != 0) return std::nullopt;
  if (!S_ISDIR(target.st_mode)) return false;
  if (chain->Contains(IdentityOf(target)) || hidden->Hides(folderFd, entry.d_name, &target)) return std::nullopt;
  return true;
}

}  // namespace

std::optional<HostFolder> HostFolder::Read(std::string_view folder) {
  std::optional<std::u16string> full = FullAnsiPath(folder, kPatternLength);
  if (!full) return std::nullopt;
  HostFolder read;
  read.m_fd = OpenHostFolder(*full, &read.m_host);
  if (read.m_fd < 0) return std::nullopt;
  // readdir() gets a descriptor of its own, so that m_fd stays open.
  const int readFd = dup(read.m_fd);
  DIR* dir = readFd < 0 ? nullptr : fdopendir(readFd);
  if (dir == nullptr) {
    if (readFd >= 0) close(readFd);
    return std::nullopt;
  }
  ScopedDir closeWhenDone(dir);

  FolderChain chain(read.m_host);
  HiddenFolders hidden(read.m_host);
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isLink = false;
    std::optional<bool> isFolder = ListedAsFolder(read.m_fd, *entry, &chain, &hidden, &isLink);
    if (isFolder) read.Add(name, entry->d_ino, *isFolder, isLink);
  }
  read.Sort();

  read.m_base = AnsiCodec().FromUtf16(*full);
  read.m_atDriveRoot = full->size() == 3;
  // Decided on the UTF-16 text: in the ANSI bytes the last one may be the
  // second byte of a double-byte character with the code of "".
  if (full->back() != u'\\') read.m_base += '\\';
  read.m_baseUnits = full->size() + (full->back() != u'\\' ? 1 : 0);
  return read;
}

HostFolder::HostFolder(HostFolder&& other) noexcept { *this = std::move(other); }

HostFolder& HostFolder::operator=(HostFolder&& other) noexcept {
  if (this == &other) return *this;
  if (m_fd >= 0) close(m_fd);
  m_fd = std::exchange(other.m_fd, -1);
  m_host = std::move(other.m_host);
  m_base = std::move(other.m_base);
  m_baseUnits = other.m_baseUnits;
  m_atDriveRoot = other.m_atDriveRoot;
  m_order = std::move(other.m_order);
  m_names = std::move(other.m_names);
  m_keys = std::move(other.m_keys);
  return *this;
}

HostFolder::~HostFolder() {
  if (m_fd >= 0) close(m_fd);
}

int HostFolder::ReleaseFd() { return std::exchange(m_fd, -1); }

void HostFolder::Add(std::string_view hostName, std::uint64_t inode, bool isFolder, bool isLink) {
  if (m_order.empty()) {
    // Room for a usual folder, so that most are read without growing.
    m_order.reserve(64);
    m_names.reserve(1024);
    m_keys.reserve(2048);
  }
  thread_local std::u16string key;
  key.clear();
  AppendUpperCaseHostNameUtf16(hostName, &key);
  const std::size_t keyStart = m_keys.size();
  m_keys.resize(keyStart + 2 * key.size());
  char* out = m_keys.data() + keyStart;
  for (char16_t unit : key) {
    *out++ = static_cast<char>(unit >> 8);
    *out++ = static_cast<char>(unit & 0xFF);
  }
  m_order.push_back({m_names.size(), hostName.size(), keyStart, m_keys.size() - keyStart, inode, isFolder, isLink});
  m_names.append(hostName);
}

// In the order NTFS gives: by the names upper-cased, as UTF-16 units. Names
// that differ only in case (or only in bytes that are not UTF-8) still come
// in one fixed order.
void HostFolder::Sort() {
  const auto name = [this](const Entry& e) { return std::string_view(m_names).substr(e.nameStart, e.nameLength); };
  const auto key = [this](const Entry& e) { return std::string_view(m_keys).substr(e.keyStart, e.keyLength); };
  std::sort(m_order.begin(), m_order.end(), [&](const Entry& a, const Entry& b) {
    const int byKey = key(a).compare(key(b));
    return byKey != 0 ? byKey < 0 : name(a) < name(b);
  });
}

HostFolderEntry HostFolder::operator[](std::size_t i) const {
  const Entry& e = m_order[i];
  return {std::string_view(m_names).substr(e.nameStart, e.nameLength), e.isFolder, e.isLink, e.inode};
}

void AppendDotEntries(const HostFolder& folder, std::vector<FolderEntry>* entries) {
  if (folder.atDriveRoot()) return;
  entries->push_back({".", folder.base() + ".", true});
  entries->push_back({"..", folder.base() + "..", true});
}

}  // namespace platform
