#include "platform/files/world_folder.h"

#include <windows.h>

#include <cassert>
#include <optional>
#include <utility>

#include "platform/files/file_security_win.h"
#include "platform/files/world_folder_impl_win.h"
#include "platform/paths/windows_path.h"

namespace platform {
namespace {

std::string AnsiOf(std::wstring_view text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), units, out.data(), length, nullptr, nullptr);
  return out;
}

std::optional<std::string> FullPathOf(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace

std::wstring FolderOf(const std::wstring& finalPath) {
  const std::size_t separator = finalPath.rfind(L'\\');
  // "C:\a.wrl" lies in "C:\", "C:\w\a.wrl" in "C:\w".
  const bool inDriveRoot = separator == 2 && finalPath[1] == L':';
  return finalPath.substr(0, inDriveRoot ? separator + 1 : separator);
}

IoResult<ContainingFolder*> WorldFolder::Impl::FolderAt(const std::wstring& folderPath, std::string_view forFile,
                                                        std::wstring_view name, const FileIdentity& identity) {
  if (auto known = folders.find(folderPath); known != folders.end()) return &known->second;
  if (!IsWithin(folderPath, finalPath)) return Found(IoErrorKind::kOutside, forFile);
  const std::wstring open = LongPath(folderPath);
  // Write access only for Flush: renames in the folder need none.
  ScopedHandle opened(CreateFileW(open.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_WRITE_DATA, kShareAll,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened.valid())
    opened.Reset(CreateFileW(open.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened.valid()) return LastError(forFile);
  // A folder renamed, or swapped for a link, since the file was opened does
  // not hold it. (The final paths are not compared: Wine's leaves out the
  // final spaces and dots of a folder's own name, not of its files'.)
  const std::optional<std::wstring> openedPath = FinalPathOf(opened.get());
  if (!openedPath || !IsWithin(*openedPath, finalPath) || !NamesFile(opened.get(), name, identity))
    return Found(IoErrorKind::kBusy, forFile);
  // The first rewrite in a folder: what an earlier run cut off left goes.
  // One listing serves both: a world put back is no other name's twin, as
  // a move into a name that one has but for case misses.
  const std::vector<FolderEntry> entries = EntriesOf(opened.get());
  RemoveLeftovers(opened.get(), folderPath, entries);
  ContainingFolder& folder = folders[folderPath];
  folder.sharedButForCase = NamesSharedButForCase(entries);
  folder.handle = std::move(opened);
  return &folder;
}

IoStatus WorldFile::Impl::RefusedWrite() const {
  const auto code = static_cast<int>(writeRefusal);
  if (PermissionsAllowWriting(exclusive.get())) return IoError{IoErrorKind::kAccessDenied, code, path};
  return IoError{IoErrorKind::kGeneric, code, path};
}

// Whether the file held is where it was opened: Wine's path for the handle
// is its name, and the folder holds it under that name (so the folder's
// handle is the real folder); and whether a file can take that name.
// Before anything is made beside it.
IoStatus WorldFile::Impl::StillInPlace(const ContainingFolder& folder) const {
  if (!WineKnowsItAt(exclusive.get(), finalPath) || !NamesFile(folder.handle.get(), Name(), facts.identity))
    return Found(IoErrorKind::kBusy, path);
  if (folder.sharedButForCase.contains(UpperCase(Name()))) return OsError(ERROR_ALREADY_EXISTS, path);
  // The steps that follow cannot go astray without it; but a folder on the
  // way that leads elsewhere now is likely to for good, and would strand
  // the old content in its own folder.
  if (!PathLeadsTo(finalPath, facts.identity)) return Found(IoErrorKind::kBusy, path);
  return Succeeded();
}

WorldFolder::WorldFolder(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFolder::WorldFolder(WorldFolder&&) noexcept = default;
WorldFolder& WorldFolder::operator=(WorldFolder&&) noexcept = default;
WorldFolder::~WorldFolder() = default;

const std::string& WorldFolder::path() const { return m_impl->path; }

IoResult<WorldFolder> WorldFolder::Open(std::string_view folder) {
  // A NUL would shorten the name the system sees; an empty name is no folder,
  // though GetFullPathNameA makes it the current one.
  if (folder.empty() || folder.find('\0') != std::string_view::npos) return Found(IoErrorKind::kNotFound, folder);
  std::optional<std::string> full = FullPathOf(std::string(folder));
  if (!full) return LastError(folder);
  if (full->size() > 3 && EndsWithSeparator(*full, GetACP())) full->pop_back();
  auto impl = std::make_unique<Impl>();
  impl->path = std::move(*full);
  impl->handle = OpenToInspect(impl->path);
  if (!impl->handle.valid()) return LastError(folder);
  const std::optional<HandleFacts> facts = FactsOf(impl->handle.get());
  if (!facts) return LastError(folder);
  if (!(facts->attributes & FILE_ATTRIBUTE_DIRECTORY)) return Found(IoErrorKind::kNotFound, folder);
  std::optional<std::wstring> finalPath = FinalPathOf(impl->handle.get());
  if (!finalPath) return LastError(folder);
  impl->finalPath = std::move(*finalPath);
  return WorldFolder(std::move(impl));
}

IoResult<WorldFile> WorldFolder::OpenFile(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return Found(IoErrorKind::kNotFound, path);
  auto impl = std::make_unique<WorldFile::Impl>();
  impl->world = m_impl.get();
  impl->path = std::string(path);
  impl->inspected = OpenToInspect(impl->path);
  if (!impl->inspected.valid()) return LastError(path);
  // Where the handle really is, before a byte is read: a link, or a folder
  // swapped for one since the scan, may have led anywhere.
  std::optional<std::wstring> finalPath = FinalPathOf(impl->inspected.get());
  if (!finalPath) return LastError(path);
  if (!IsWithin(*finalPath, m_impl->finalPath)) return Found(IoErrorKind::kOutside, path);
  const std::optional<HandleFacts> facts = FactsOf(impl->inspected.get());
  if (!facts) return LastError(path);
  impl->finalPath = std::move(*finalPath);
  impl->facts = *facts;
  impl->status.isFolder = (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  impl->status.readOnly = (facts->attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return WorldFile(std::move(impl));
}

IoStatus WorldFolder::Flush() {
  std::optional<IoError> first;
  for (auto& [folderPath, folder] : m_impl->folders) {
    if (!folder.replacedIn) continue;
    folder.replacedIn = false;
    if (FlushFileBuffers(folder.handle.get())) continue;
    // A file system that keeps no folder to flush.
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) continue;
    if (!first) first = OsError(static_cast<int>(error), AnsiOf(folderPath));
  }
  if (first) return *first;
  return Succeeded();
}

WorldFile::WorldFile(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFile::WorldFile(WorldFile&&) noexcept = default;
WorldFile& WorldFile::operator=(WorldFile&&) noexcept = default;
WorldFile::~WorldFile() = default;

const FileStatus& WorldFile::status() const { return m_impl->status; }

IoStatus WorldFile::TakeExclusive() {
  Impl& file = *m_impl;
  assert(!file.taken && "TakeExclusive is called once");
  // Let go of whatever comes: a file not taken holds nothing open, which
  // would keep the file from going when the one who took it replaces it.
  const ScopedHandle inspected = std::move(file.inspected);
  if (file.status.isFolder) return Found(IoErrorKind::kNotAFile, file.path);
  // Opened again from the handle, not by its path: the same file. Write
  // access is asked for here, where the file layer the program follows
  // asks for it (before a byte changes), and its refusal kept for
  // ReplaceContent: a file that needs no change is never written.
  ScopedHandle exclusive(ReOpenFile(inspected.get(), kTakenForReading | kTakenForWriting, 0, 0));
  if (!exclusive.valid() && GetLastError() == ERROR_ACCESS_DENIED) {
    file.writeRefusal = ERROR_ACCESS_DENIED;
    exclusive.Reset(ReOpenFile(inspected.get(), kTakenForReading, 0, 0));
  }
  if (!exclusive.valid()) return LastError(file.path);
  // Only a file on a disk: a device or a FIFO opens too.
  if (GetFileType(exclusive.get()) != FILE_TYPE_DISK) return Found(IoErrorKind::kNotAFile, file.path);
  const std::optional<HandleFacts> facts = FactsOf(exclusive.get());
  if (!facts) return LastError(file.path);
  if (facts->identity != file.facts.identity) return Found(IoErrorKind::kBusy, file.path);
  file.facts = *facts;
  file.exclusive = std::move(exclusive);
  file.taken = true;
  return Succeeded();
}

IoResult<std::string> WorldFile::ReadAll(std::size_t limit) {
  Impl& file = *m_impl;
  assert(file.taken && "ReadAll comes after TakeExclusive");
  if (!file.exclusive.valid()) return Found(IoErrorKind::kBusy, file.path);
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.exclusive.get(), &size) && static_cast<std::uint64_t>(size.QuadPart) > limit)
    return Found(IoErrorKind::kTooLarge, file.path);
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file.exclusive.get(), start, nullptr, FILE_BEGIN)) return LastError(file.path);
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.exclusive.get(), buffer, sizeof buffer, &read, nullptr)) return LastError(file.path);
    if (read == 0) return bytes;
    if (read > limit - bytes.size()) return Found(IoErrorKind::kTooLarge, file.path);
    bytes.append(buffer, read);
  }
}

IoStatus WorldFile::ReplaceContent(std::string_view bytes) {
  Impl& file = *m_impl;
  assert(file.taken && "ReplaceContent comes after TakeExclusive");
  if (!file.exclusive.valid()) return Found(IoErrorKind::kBusy, file.path);
  if (file.writeRefusal != ERROR_SUCCESS) return file.RefusedWrite();
  IoResult<ContainingFolder*> containing =
      file.world->FolderAt(file.FolderPath(), file.path, file.Name(), file.facts.identity);
  if (!containing) return containing.error();
  HANDLE folder = (*containing)->handle.get();
  if (IoStatus inPlace = file.StillInPlace(**containing); !inPlace) return inPlace;
  IoResult<OwnFile> replacement = file.WriteReplacement(folder, bytes);
  if (!replacement) return replacement.error();
  IoStatus committed = file.Commit(folder, std::move(*replacement));
  if (committed) (*containing)->replacedIn = true;
  return committed;
}

}  // namespace platform
