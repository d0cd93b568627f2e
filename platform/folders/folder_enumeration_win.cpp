#include "platform/folders/folder_enumeration.h"

#include <windows.h>

#include "platform/files/file_handle_win.h"
#include "platform/folders/folder_enumeration_win.h"

namespace platform {
namespace {

std::optional<FolderId> IdOf(const std::string& path) {
  const std::optional<FinalTarget> target = FinalTargetOf(path);
  if (!target) return std::nullopt;
  return target->id;
}

// Length of the root of a full path: "C:\" or "\\server\share\".
std::size_t RootLength(const std::string& path) {
  if (path.rfind("\\\\", 0) != 0) return 3;
  const std::size_t server = path.find('\\', 2);
  const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
  return share == std::string::npos ? path.size() : share + 1;
}

// The folders from the drive root down to `base` (a full path ending in "\").
std::vector<FolderId> IdsOnTheWay(const std::string& base) {
  std::vector<FolderId> ids;
  for (std::size_t i = RootLength(base) - 1; i < base.size(); ++i) {
    // A double-byte character's second byte may be a backslash's code.
    if (IsDBCSLeadByte(static_cast<BYTE>(base[i]))) {
      ++i;
      continue;
    }
    if (base[i] != '\\') continue;
    if (auto id = IdOf(base.substr(0, i + 1))) ids.push_back(*id);
  }
  return ids;
}

bool LeadsBack(const std::string& linkPath, const std::vector<FolderId>& onTheWay) {
  const std::optional<FolderId> target = IdOf(linkPath);
  if (!target) return false;
  for (const FolderId& id : onTheWay)
    if (id == *target) return true;
  return false;
}

}  // namespace

std::optional<std::string> FolderPartOfFullPath(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    char* namePart = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &namePart);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      if (namePart == nullptr) return std::nullopt;
      return full.substr(0, static_cast<std::size_t>(namePart - full.data()));
    }
    full.resize(length);
  }
}

std::optional<FinalTarget> FinalTargetOf(const std::string& path) {
  // Shared with everyone and asking for no data, so that a folder that some
  // process (this one included: its current folder) holds open still
  // answers, and no other program's open is refused meanwhile.
  const ScopedHandle handle = OpenToInspect(path);
  if (!handle.valid()) return std::nullopt;
  std::optional<std::wstring> finalPath = FinalPathOf(handle.get());
  const std::optional<HandleFacts> facts = FactsOf(handle.get());
  if (!finalPath || !facts) return std::nullopt;
  return FinalTarget{
      {0, facts->identity.index}, std::move(*finalPath), (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

IoResult<FolderSearch> SearchFolder(std::string_view folder) {
  // An empty name is no folder, though "" + "\*.*" would search the
  // current drive's root.
  if (folder.empty() || folder.find('\0') != std::string_view::npos) return OsError(ERROR_PATH_NOT_FOUND, folder);
  const std::string pattern = std::string(folder) + "\\*.*";

  // The folder part comes from the full path of the pattern, as the search
  // itself reads it: "C:" + "\*.*" is the drive's root, not its current folder.
  const std::optional<std::string> folderPart = FolderPartOfFullPath(pattern);
  if (!folderPart) return OsError(static_cast<int>(GetLastError()), folder);
  FolderSearch search{*folderPart, {}, {}};
  const std::string& base = search.base;

  WIN32_FIND_DATAA data;
  HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) {
    // A drive root has no "." or "..", so an empty one matches nothing at all;
    // a missing folder is a path that is not found instead.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return OsError(static_cast<int>(error), folder);
    const DWORD attributes = GetFileAttributesA(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return OsError(ERROR_PATH_NOT_FOUND, folder);
    return search;
  }

  std::optional<std::vector<FolderId>> onTheWay;  // worked out at the first link met
  do {
    FolderEntry entry;
    entry.name = data.cFileName;
    entry.fullPath = base + entry.name;
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (entry.isFolder && isLink && entry.name != "." && entry.name != "..") {
      if (!onTheWay) onTheWay = IdsOnTheWay(base);
      if (LeadsBack(entry.fullPath, *onTheWay)) {
        search.linksOnTheWay.push_back(std::move(entry.fullPath));
        continue;
      }
    }
    search.found.push_back({std::move(entry), isLink});
  } while (FindNextFileA(handle, &data));
  FindClose(handle);
  return search;
}

IoResult<std::vector<FolderEntry>> EnumerateFolder(std::string_view folder) {
  IoResult<FolderSearch> search = SearchFolder(folder);
  if (!search) return search.error();
  std::vector<FolderEntry> entries;
  entries.reserve(search->found.size());
  for (FoundEntry& found : search->found) entries.push_back(std::move(found.entry));
  return entries;
}

}  // namespace platform
