#pragma once

// One folder of the prefix read from the host the way FindFirstFileA lists
// it: names in Windows' order, links followed, the folders Wine hides left
// out. Linux only, and only for platform/.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_status.h"
#include "platform/folders/folder_enumeration.h"
#include "platform/folders/folder_tree.h"
#include "platform/io_error.h"
#include "platform/paths/wine_path_posix.h"

namespace platform {

struct HostFolderEntry {
  std::string_view hostName;  // followed by a NUL: hostName.data() is a C string
  bool isFolder = false;
  bool isLink = false;
};

// The folders Wine leaves out of every listing: the prefix folder, and the
// host's /dev, /proc and /sys. Where they are is found on first use, so that
// a walk over many folders looks once.
class HiddenFolders {
 public:
  // Whether the entry `name` of `folder` (open as `folderFd`), a folder
  // whose status is `status` when known, is one of them.
  bool Hides(FolderId folder, int folderFd, const char* name, const struct stat* status);

 private:
  void FindHolders();
  void FindHidden();

  bool m_found = false;
  std::string m_prefix;
  std::vector<FolderId> m_holders;  // the folders holding them: "/" and the prefix's parent
  std::vector<FolderId> m_hidden;
};

class HostFolder {
 public:
  // No folder: nothing open, nothing read.
  HostFolder() = default;

  // The folder that FindFirstFileA(folder + "\*.*") reads, opened but not
  // read. kNotFound when there is none (ENAMETOOLONG when the pattern is
  // longer than the A functions take), else as the host refuses it.
  static IoResult<HostFolder> Open(std::string_view folder);

  // A folder opened elsewhere (`fd` is this object's from now on), whose
  // full Windows path, ending in "\", is `base`, `baseUnits` UTF-16 units
  // long.
  static HostFolder Adopt(int fd, FolderId id, std::string base, std::size_t baseUnits);

  HostFolder(HostFolder&& other) noexcept;
  HostFolder& operator=(HostFolder&& other) noexcept;
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  ~HostFolder();

  // Reads the entries. A link to a folder for which `isOnTheWay` is true (a
  // folder on the way from the drive's folder down to this one, this one
  // included) is left out, and so are dangling links and what `hidden`
  // tells Wine hides.
  IoStatus Read(const std::function<bool(FolderId)>& isOnTheWay, HiddenFolders* hidden);

  // The folders on the way from the drive's folder down to this one, this
  // one included, by the host path Open found it at (none after Adopt).
  std::vector<FolderId> FoldersOnTheWay() const;

  // The folder, open for reading (O_RDONLY | O_DIRECTORY), while this lives.
  int fd() const { return m_fd; }
  // Gives up the open folder to the caller, who closes it.
  int ReleaseFd();
  FolderId id() const { return m_id; }
  // The host path Open found the folder at; empty after Adopt.
  const std::string& hostPath() const { return m_host.path; }
  // The folder part of every entry's full path: GetFullPathNameA of the
  // folder + "\*.*" less the "*.*", ending in "\".
  const std::string& base() const { return m_base; }
  // Its length in UTF-16 units, which the length limit of paths counts.
  std::size_t baseUnits() const { return m_baseUnits; }
  // A drive root lists no "." and "..".
  bool atDriveRoot() const { return m_atDriveRoot; }

  // After Read: the entries other than "." and "..", in the order
  // FindFirstFileA gives.
  std::size_t size() const { return m_order.size(); }
  HostFolderEntry operator[](std::size_t i) const;
  // The links left out as leading to a folder on the way.
  const std::vector<std::string>& linksOnTheWay() const { return m_linksOnTheWay; }

  // The entry Wine opens for a name of this folder: the one spelt so, else
  // the first, in the order the host reads them, equal to it ignoring case.
  // nullopt when none is.
  std::optional<std::size_t> Find(std::u16string_view name) const;

 private:
  struct Entry {
    std::size_t nameStart, nameLength, keyStart, keyLength, readOrder;
    bool isFolder, isLink, validName;
  };
  void Add(std::string_view hostName, bool isFolder, bool isLink);
  void Sort();
  std::string_view NameOf(const Entry& entry) const;
  std::string_view KeyOf(const Entry& entry) const;

  int m_fd = -1;
  FolderId m_id;
  HostFile m_host;
  std::string m_base;
  std::size_t m_baseUnits = 0;
  bool m_atDriveRoot = false;
  // Names and sort keys sit end to end in two strings, so that a folder of
  // thousands costs a few allocations only.
  // The keys are upper-cased UTF-16 units as big-endian byte pairs, which
  // compare as bytes in the order of the units.
  std::vector<Entry> m_order;
  std::string m_names;
  std::string m_keys;
  std::vector<std::string> m_linksOnTheWay;
};

// What GetFileStatus tells of a host file of this st_mode.
FileStatus FileStatusOfMode(std::uint32_t mode);

// The FolderEntry of "." and ".." (a drive root has neither).
void AppendDotEntries(const HostFolder& folder, std::vector<FolderEntry>* entries);

}  // namespace platform
