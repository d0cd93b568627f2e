#pragma once

// One folder of the prefix read from the host the way FindFirstFileA lists
// it: names in Windows' order, links followed, the folders Wine hides left
// out. Linux only, and only for platform/.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_status.h"
#include "platform/folders/folder_enumeration.h"
#include "platform/paths/wine_path_posix.h"

namespace platform {

struct HostFolderEntry {
  std::string_view hostName;
  bool isFolder = false;
  bool isLink = false;
  std::uint64_t inode = 0;  // of the entry itself (the link, for a link)
};

class HostFolder {
 public:
  // The folder an ANSI Windows path names, opened and read. nullopt when
  // the enumeration cannot start (missing or unreadable folder, a path too
  // long for the pattern "\*.*" after it).
  static std::optional<HostFolder> Read(std::string_view folder);

  HostFolder(HostFolder&& other) noexcept;
  HostFolder& operator=(HostFolder&& other) noexcept;
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  ~HostFolder();

  // The folder, open for reading (O_RDONLY | O_DIRECTORY), while this lives.
  int fd() const { return m_fd; }
  // Gives up the open folder to the caller, who closes it.
  int ReleaseFd();
  const HostFile& host() const { return m_host; }
  // The folder part of every entry's full path: GetFullPathNameA of the
  // folder, ending in "\".
  const std::string& base() const { return m_base; }
  // Its length in UTF-16 units, which the length limit of paths counts.
  std::size_t baseUnits() const { return m_baseUnits; }
  // A drive root lists no "." and "..".
  bool atDriveRoot() const { return m_atDriveRoot; }

  // The entries other than "." and "..", in the order FindFirstFileA gives.
  std::size_t size() const { return m_order.size(); }
  HostFolderEntry operator[](std::size_t i) const;

 private:
  HostFolder() = default;
  struct Entry {
    std::size_t nameStart, nameLength, keyStart, keyLength;
    std::uint64_t inode;
    bool isFolder, isLink;
  };
  void Add(std::string_view hostName, std::uint64_t inode, bool isFolder, bool isLink);
  void Sort();

  int m_fd = -1;
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
};

// What GetFileStatus tells of a host file of this st_mode.
FileStatus FileStatusOfMode(std::uint32_t mode);

// The FolderEntry of "." and ".." (a drive root has neither).
void AppendDotEntries(const HostFolder& folder, std::vector<FolderEntry>* entries);

}  // namespace platform
