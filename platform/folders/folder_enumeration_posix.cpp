#include "platform/folders/folder_enumeration.h"

#include "platform/folders/host_folder_posix.h"
#include "platform/text/code_page_posix.h"

namespace platform {

std::optional<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder) {
  std::optional<HostFolder> read = HostFolder::Read(folder);
  if (!read) return std::nullopt;
  const AnsiCodec codec;
  std::vector<FolderEntry> entries;
  entries.reserve(read->size() + 2);
  AppendDotEntries(*read, &entries);
  for (std::size_t i = 0; i < read->size(); ++i) {
    const HostFolderEntry listed = (*read)[i];
    FolderEntry& entry = entries.emplace_back();
    entry.name = codec.FromHostName(listed.hostName);
    entry.fullPath.reserve(read->base().size() + entry.name.size());
    entry.fullPath.append(read->base()).append(entry.name);
    entry.isFolder = listed.isFolder;
  }
  return entries;
}

}  // namespace platform
