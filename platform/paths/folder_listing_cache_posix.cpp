#include "platform/paths/folder_listing_cache_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/paths/file_stamp_posix.h"
#include "platform/text/code_page_posix.h"

namespace platform {
namespace {

// A name not spelt as on disk costs a read of its folder. A program asks for
// the same missing names again and again (the browser's fixed install
// paths), so listings are kept, each valid while its folder's status is
// unchanged; the walk has that status at hand anyway.

constexpr size_t kMaxListings = 16;
constexpr size_t kMaxListedNames = 4096;
// Longer names never exist, whatever a listing says: stat() tells them.
constexpr size_t kMaxHostNameBytes = 255;

bool SameFolder(const FileStamp& a, const FileStamp& b) { return a.device == b.device && a.inode == b.inode; }

// File systems known to update a folder's times whenever a name in it comes
// or goes. Others (network, FUSE, /proc) may not, and are read every time.
bool KeepsFolderTimes(int folderFd) {
  struct statfs info;
  if (fstatfs(folderFd, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case TMPFS_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC: return true;
    default: return false;
  }
}

struct ListedName {
  std::string hostName;
  std::u16string upper;  // through UpperCase
};

struct FolderListing {
  FileStamp stamp;
  std::vector<ListedName> names;  // valid UTF-8 only, in the host's order
  std::uint64_t lastUse = 0;
};

class ListingCache {
 public:
  // When a listing of the folder whose status is `folder` is kept and shows
  // no entry spelt `hostName`, true with the first entry equal to `upper`
  // ignoring case in *match (nullopt when there is none). False when a
  // stat() must decide: no such listing, or the name is there as spelt.
  bool FindElsewhere(const struct stat& folder, std::string_view hostName, std::u16string_view upper,
                     std::optional<std::string>* match) {
    const FileStamp stamp = StampOf(folder);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_listings.begin(); it != m_listings.end(); ++it) {
      if (!SameFolder(it->stamp, stamp)) continue;
      if (!(it->stamp == stamp)) {
        m_listings.erase(it);
        return false;
      }
      it->lastUse = ++m_clock;
      *match = std::nullopt;
      for (const ListedName& name : it->names) {
        if (name.hostName == hostName) return false;
        if (!*match && name.upper == upper) *match = name.hostName;
      }
      return true;
    }
    return false;
  }

  void Keep(const FileStamp& stamp, std::vector<ListedName> names) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto slot = std::find_if(m_listings.begin(), m_listings.end(),
                             [&](const FolderListing& listing) { return SameFolder(listing.stamp, stamp); });
    if (slot == m_listings.end() && m_listings.size() < kMaxListings) slot = m_listings.emplace(m_listings.end());
    if (slot == m_listings.end())
      slot = std::min_element(m_listings.begin(), m_listings.end(),
                              [](const FolderListing& a, const FolderListing& b) { return a.lastUse < b.lastUse; });
    slot->stamp = stamp;
    slot->names = std::move(names);
    slot->lastUse = ++m_clock;
  }

 private:
  std::mutex m_mutex;
  std::vector<FolderListing> m_listings;
  std::uint64_t m_clock = 0;
};

ListingCache& Listings() {
  static ListingCache cache;
  return cache;
}

// Reads the folder open for reading at `readFd` (taken over) for the first
// entry equal to `upper` ignoring case (nullopt in *match when there is
// none), keeping the listing when its folder's times can be trusted. Names
// that are not valid UTF-8 match nothing: no Windows name spells them. False
// when the folder cannot be read.
bool ReadFolder(int readFd, std::u16string_view upper, std::optional<std::string>* match) {
  if (readFd < 0) return false;
  DIR* dir = fdopendir(readFd);
  if (dir == nullptr) {
    close(readFd);
    return false;
  }
  // Taken before reading: a change made while reading then shows as a
  // changed stamp at the next lookup.
  struct stat status;
  bool keep = fstat(readFd, &status) == 0 && !ChangedRecently(StampOf(status)) && KeepsFolderTimes(readFd);
  *match = std::nullopt;
  std::vector<ListedName> names;
  std::u16string text;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    text.clear();
    if (!AppendUpperCaseHostNameUtf16(name, &text)) continue;
    if (!*match && text == upper) {
      *match = std::string(name);
      if (!keep) break;
    }
    if (!keep) continue;
    if (names.size() == kMaxListedNames) {
      keep = false;
      names.clear();
      if (*match) break;
      continue;
    }
    names.push_back({std::string(name), text});
  }
  closedir(dir);
  if (keep) Listings().Keep(StampOf(status), std::move(names));
  return true;
}

constexpr int kReadFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool StepInto(std::string* path, std::u16string_view name, std::string_view hostName, struct stat* status) {
  const std::u16string upper = UpperCase(name);
  std::optional<std::string> match;
  const bool listed =
      hostName.size() <= kMaxHostNameBytes && Listings().FindElsewhere(*status, hostName, upper, &match);
  if (!listed) {
    const size_t folderLength = path->size();
    path->push_back('/');
    path->append(hostName);
    if (stat(path->c_str(), status) == 0) return true;
    if (errno != ENOENT) return false;
    path->resize(folderLength);
    if (!ReadFolder(open(path->c_str(), kReadFolder), upper, &match)) return false;
  }
  if (!match) return false;
  path->push_back('/');
  path->append(*match);
  return stat(path->c_str(), status) == 0;  // e.g. a dangling link
}

std::optional<std::string> FindEntryIgnoringCase(int folderFd, std::u16string_view name, std::string_view hostName) {
  const std::u16string upper = UpperCase(name);
  std::optional<std::string> match;
  struct stat folder;
  if (hostName.size() <= kMaxHostNameBytes && fstat(folderFd, &folder) == 0 &&
      Listings().FindElsewhere(folder, hostName, upper, &match))
    return match;
  if (!ReadFolder(openat(folderFd, ".", kReadFolder), upper, &match)) return std::nullopt;
  return match;
}

}  // namespace platform
