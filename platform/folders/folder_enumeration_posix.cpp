#include "platform/folders/folder_enumeration.h"

#include <algorithm>
#include <optional>

#include "platform/folders/host_folder_posix.h"
#include "platform/text/code_page_posix.h"

namespace platform {

IoResult<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder) {
  IoResult<HostFolder> read = HostFolder::Open(folder);
  if (!read) return read.error();
  // Worked out at the first link to a folder: most folders hold none.
  std::optional<std::vector<FolderId>> onTheWay;
  const auto isOnTheWay = [&](FolderId id) {
    if (!onTheWay) onTheWay = read->FoldersOnTheWay();
    return std::find(onTheWay->begin(), onTheWay->end(), id) != onTheWay->end();
  };
  HiddenFolders hidden;
  if (IoStatus status = read->Read(isOnTheWay, &hidden); !status) return status.error();

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
