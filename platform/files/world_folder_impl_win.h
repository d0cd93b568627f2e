#pragma once

// What the two files of the Windows half of the world folder share: the
// state behind WorldFolder and WorldFile, and how their errors are made.

#include <windows.h>
#include <winternl.h>

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/files/file_handle_win.h"
#include "platform/files/folder_entries_win.h"
#include "platform/files/world_folder.h"

namespace platform {

// A world taken: read, and written when its permissions allow.
constexpr ACCESS_MASK kTakenForReading = GENERIC_READ | READ_CONTROL;
constexpr ACCESS_MASK kTakenForWriting = GENERIC_WRITE | DELETE;

inline IoError LastError(std::string_view path) { return OsError(static_cast<int>(GetLastError()), path); }
inline IoError NtError(NTSTATUS status, std::string_view path) {
  return OsError(static_cast<int>(RtlNtStatusToDosError(status)), path);
}
inline IoError Found(IoErrorKind kind, std::string_view path) { return IoError{kind, 0, std::string(path)}; }

// The folder part of a final path, as FinalPathOf gives it for the folder.
std::wstring FolderOf(const std::wstring& finalPath);

// A folder that files were found in: opened once, by the final path its
// first file gave, and held, so that names in it are looked up from it.
struct ContainingFolder {
  ScopedHandle handle;
  bool replacedIn = false;  // since the last Flush
  // Names in it, in upper case, that more than one of its entries has but
  // for case: Wine gives a file no such name, a move into it meeting the
  // other entry, so a world under one cannot be replaced.
  std::set<std::wstring> sharedButForCase;
};

struct WorldFolder::Impl {
  std::string path;
  std::wstring finalPath;
  ScopedHandle handle;
  std::map<std::wstring, ContainingFolder> folders;  // by final path

  // The folder of the file `name` (`identity`), whose final path is
  // `folderPath`, opened once. Errors carry `forFile`.
  IoResult<ContainingFolder*> FolderAt(const std::wstring& folderPath, std::string_view forFile, std::wstring_view name,
                                       const FileIdentity& identity);
};

struct WorldFile::Impl {
  WorldFolder::Impl* world = nullptr;
  std::string path;        // as the caller named it: every error carries it
  std::wstring finalPath;  // where the file really is
  FileStatus status;
  HandleFacts facts;
  ScopedHandle inspected;  // until TakeExclusive
  ScopedHandle exclusive;  // from TakeExclusive on, until a commit goes wrong past mending
  bool taken = false;
  DWORD writeRefusal = ERROR_SUCCESS;

  std::wstring Name() const { return finalPath.substr(finalPath.rfind(L'\\') + 1); }
  std::wstring FolderPath() const { return FolderOf(finalPath); }
  IoStatus RefusedWrite() const;
  IoStatus StillInPlace(const ContainingFolder& folder) const;
  IoResult<OwnFile> WriteReplacement(HANDLE within, std::string_view bytes) const;
  IoResult<OwnFile> MakeAsideFolder(HANDLE within) const;
  IoStatus Commit(HANDLE within, OwnFile replacement);
  IoStatus PutBack(HANDLE within, OwnFile old, OwnFile aside, NTSTATUS placed);
};

}  // namespace platform
