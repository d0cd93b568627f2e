#include "platform/folders/host_folder_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/folders/folder_enumeration.h"
#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"

namespace platform {
namespace {

// The "\*.*" that FindFirstFileA gets after the folder counts against its
// length limit.
constexpr std::string_view kPattern = "\\*.*";

FolderId IdOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

std::optional<FolderId> IdAt(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdOf(status);
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

enum class Listed { kNot, kFile, kFolder, kOnTheWay };

// Whether the entry is listed, and as a folder or not. Links are followed:
// a dangling one is left out, and so is one leading to a folder on the way.
Listed ListedAs(int folderFd, FolderId folder, const dirent& entry, const std::function<bool(FolderId)>& isOnTheWay,
                HiddenFolders* hidden, bool* isLink) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN) {
    // Some file systems do not say; ask.
    struct stat status;
    if (fstatat(folderFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return Listed::kNot;
    type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
  }
  if (type != DT_LNK) {
    if (type != DT_DIR) return Listed::kFile;
    return hidden->Hides(folder, folderFd, entry.d_name, nullptr) ? Listed::kNot : Listed::kFolder;
  }
  *isLink = true;
  struct stat target;
  if (fstatat(folderFd, entry.d_name, &target, 0) != 0) return Listed::kNot;
  if (!S_ISDIR(target.st_mode)) return Listed::kFile;
  if (hidden->Hides(folder, folderFd, entry.d_name, &target)) return Listed::kNot;
  return isOnTheWay(IdOf(target)) ? Listed::kOnTheWay : Listed::kFolder;
}

// The UTF-16 units of a key as big-endian byte pairs, appended to *keys.
void AppendKeyBytes(std::u16string_view key, std::string* keys) {
  const std::size_t start = keys->size();
  keys->resize(start + 2 * key.size());
  char* out = keys->data() + start;
  for (char16_t unit : key) {
    *out++ = static_cast<char>(unit >> 8);
    *out++ = static_cast<char>(unit & 0xFF);
  }
}

}  // namespace

bool HiddenFolders::Hides(FolderId folder, int folderFd, const char* name, const struct stat* status) {
  if (!m_found) FindHolders();
  if (std::find(m_holders.begin(), m_holders.end(), folder) == m_holders.end()) return false;
  if (m_hidden.empty()) FindHidden();
  struct stat own;
  if (status == nullptr) {
    if (fstatat(folderFd, name, &own, 0) != 0) return false;
    status = &own;
  }
  return std::find(m_hidden.begin(), m_hidden.end(), IdOf(*status)) != m_hidden.end();
}

void HiddenFolders::FindHolders() {
  m_found = true;
  m_prefix = WinePrefix();
  static const std::optional<FolderId> root = IdAt("/");
  if (root) m_holders.push_back(*root);
  if (m_prefix.empty()) return;
  if (std::optional<FolderId> parent = IdAt(m_prefix + "/..")) m_holders.push_back(*parent);
}

void HiddenFolders::FindHidden() {
  for (const std::string& path : {m_prefix, std::string("/dev"), std::string("/proc"), std::string("/sys")})
    if (std::optional<FolderId> id = path.empty() ? std::nullopt : IdAt(path)) m_hidden.push_back(*id);
}

IoResult<HostFolder> HostFolder::Open(std::string_view folder) {
  // An empty name is no folder, though "" + "\*.*" would be the current
  // drive's root.
  if (folder.empty()) return OsError(ENOENT, folder);
  std::string pattern(folder);
  pattern += kPattern;
  std::optional<std::u16string> full = FullAnsiPath(pattern);
  if (!full) {
    const std::optional<std::u16string> text = AnsiToUtf16Strict(pattern);
    return OsError(text && text->size() > kMaxPath ? ENAMETOOLONG : ENOENT, folder);
  }
  full->resize(full->size() - (kPattern.size() - 1));  // the folder part, ending in "\"
  HostFolder opened;
  opened.m_fd = OpenHostFolder(*full, &opened.m_host);
  if (opened.m_fd < 0) return OsError(errno, folder);
  opened.m_id = {opened.m_host.device, opened.m_host.inode};
  opened.m_base = AnsiCodec().FromUtf16(*full);
  opened.m_baseUnits = full->size();
  opened.m_atDriveRoot = full->size() == 3;
  return opened;
}

HostFolder HostFolder::Adopt(int fd, FolderId id, std::string base, std::size_t baseUnits) {
  HostFolder adopted;
  adopted.m_fd = fd;
  adopted.m_id = id;
  adopted.m_base = std::move(base);
  adopted.m_baseUnits = baseUnits;
  adopted.m_atDriveRoot = baseUnits == 3;
  return adopted;
}

IoStatus HostFolder::Read(const std::function<bool(FolderId)>& isOnTheWay, HiddenFolders* hidden) {
  // readdir() gets a descriptor of its own, so that m_fd stays open.
  const int readFd = dup(m_fd);
  DIR* dir = readFd < 0 ? nullptr : fdopendir(readFd);
  if (dir == nullptr) {
    const int error = errno;
    if (readFd >= 0) close(readFd);
    return OsError(error, m_base);
  }
  ScopedDir closeWhenDone(dir);

  // readdir() tells an error from the end only through errno.
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      bool isLink = false;
      switch (ListedAs(m_fd, m_id, *entry, isOnTheWay, hidden, &isLink)) {
        case Listed::kNot: break;
        case Listed::kFile: Add(name, false, isLink); break;
        case Listed::kFolder: Add(name, true, isLink); break;
        case Listed::kOnTheWay: m_linksOnTheWay.emplace_back(name); break;
      }
    }
    errno = 0;
  }
  if (errno != 0) return OsError(errno, m_base);
  Sort();
  return Succeeded();
}

std::vector<FolderId> HostFolder::FoldersOnTheWay() const {
  std::vector<FolderId> chain;
  const std::string& path = m_host.path;
  if (path.empty()) return chain;
  for (std::size_t end = m_host.driveFolderLength;;) {
    if (std::optional<FolderId> id = IdAt(path.substr(0, end))) chain.push_back(*id);
    if (end >= path.size()) break;
    end = path.find('/', end + 1);
    if (end == std::string::npos) end = path.size();
  }
  return chain;
}

HostFolder::HostFolder(HostFolder&& other) noexcept { *this = std::move(other); }

HostFolder& HostFolder::operator=(HostFolder&& other) noexcept {
  if (this == &other) return *this;
  if (m_fd >= 0) close(m_fd);
  m_fd = std::exchange(other.m_fd, -1);
  m_id = other.m_id;
  m_host = std::move(other.m_host);
  m_base = std::move(other.m_base);
  m_baseUnits = other.m_baseUnits;
  m_atDriveRoot = other.m_atDriveRoot;
  m_order = std::move(other.m_order);
  m_names = std::move(other.m_names);
  m_keys = std::move(other.m_keys);
  m_linksOnTheWay = std::move(other.m_linksOnTheWay);
  return *this;
}

HostFolder::~HostFolder() {
  if (m_fd >= 0) close(m_fd);
}

int HostFolder::ReleaseFd() { return std::exchange(m_fd, -1); }

void HostFolder::Add(std::string_view hostName, bool isFolder, bool isLink) {
  if (m_order.empty()) {
    // Room for a usual folder, so that most are read without growing.
    m_order.reserve(64);
    m_names.reserve(1024);
    m_keys.reserve(2048);
  }
  thread_local std::u16string key;
  key.clear();
  const bool validName = AppendUpperCaseHostNameUtf16(hostName, &key);
  const std::size_t keyStart = m_keys.size();
  AppendKeyBytes(key, &m_keys);
  m_order.push_back({m_names.size(), hostName.size(), keyStart, m_keys.size() - keyStart, m_order.size(), isFolder,
                     isLink, validName});
  m_names.append(hostName).push_back('\0');
}

std::string_view HostFolder::NameOf(const Entry& entry) const {
  return std::string_view(m_names).substr(entry.nameStart, entry.nameLength);
}

std::string_view HostFolder::KeyOf(const Entry& entry) const {
  return std::string_view(m_keys).substr(entry.keyStart, entry.keyLength);
}

// In the order NTFS gives: by the names upper-cased, as UTF-16 units. Names
// that differ only in case (or only in bytes that are not UTF-8) still come
// in one fixed order.
void HostFolder::Sort() {
  std::sort(m_order.begin(), m_order.end(), [this](const Entry& a, const Entry& b) {
    const int byKey = KeyOf(a).compare(KeyOf(b));
    return byKey != 0 ? byKey < 0 : NameOf(a) < NameOf(b);
  });
}

HostFolderEntry HostFolder::operator[](std::size_t i) const {
  const Entry& e = m_order[i];
  return {NameOf(e), e.isFolder, e.isLink};
}

std::optional<std::size_t> HostFolder::Find(std::u16string_view name) const {
  std::string hostName;
  if (!AppendHostName(name, &hostName)) return std::nullopt;
  for (std::size_t i = 0; i < m_order.size(); ++i)
    if (NameOf(m_order[i]) == hostName) return i;
  std::string key;
  AppendKeyBytes(UpperCase(name), &key);
  std::optional<std::size_t> first;
  for (std::size_t i = 0; i < m_order.size(); ++i) {
    const Entry& e = m_order[i];
    if (e.validName && KeyOf(e) == key && (!first || e.readOrder < m_order[*first].readOrder)) first = i;
  }
  return first;
}

void AppendDotEntries(const HostFolder& folder, std::vector<FolderEntry>* entries) {
  if (folder.atDriveRoot()) return;
  entries->push_back({".", folder.base() + ".", true});
  entries->push_back({"..", folder.base() + "..", true});
}

}  // namespace platform
