#include "platform/files/folder_entries_win.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/text/code_page.h"

namespace platform {
namespace {

constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000FL);    // STATUS_NO_SUCH_FILE
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);  // STATUS_OBJECT_NAME_NOT_FOUND
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);  // STATUS_OBJECT_PATH_NOT_FOUND
// Wine's answer when it moved the file but could not tell where to.
constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017L);  // STATUS_NO_MEMORY
// How many deletes in a row that missed while the path led to the file tell
// that another program holds it open: a swap can hide in one such moment
// (the program may lose the processor there), hardly in several.
constexpr int kMissesOfAFileHeldOpen = 3;

UNICODE_STRING Counted(std::wstring_view name) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<PWSTR>(name.data());
  counted.Length = counted.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  return counted;
}

// Gives the file `file` is open on the name `name` in `folder`, unless some
// file already has that name.
NTSTATUS MoveInto(HANDLE file, HANDLE folder, std::wstring_view name) {
  const std::size_t nameBytes = name.size() * sizeof(wchar_t);
  const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + nameBytes;
  std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(rename->FileName, name.data(), nameBytes);
  IO_STATUS_BLOCK io;
  return NtSetInformationFile(file, &io, rename, static_cast<ULONG>(size), FileRenameInformation);
}

bool Missed(NTSTATUS status) { return status == kNoSuchFile || status == kNameNotFound || status == kPathNotFound; }

// Whether anything has the name `name` in `folder`.
bool TakenIn(HANDLE folder, std::wstring_view name) {
  ScopedHandle named;
  return !Missed(OpenIn(folder, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, nullptr, 0, &named));
}

std::wstring NameOf(DWORD process, unsigned long count, const wchar_t* ending) {
  wchar_t name[64];
  std::swprintf(name, 64, L"~qw%lx-%lx%ls", static_cast<unsigned long>(process), count, ending);
  return name;
}

// Whether the process `process` has ended. A number that another process
// has taken since looks alive, and what its owner left is kept.
bool HasEnded(DWORD process) {
  if (process == GetCurrentProcessId()) return false;
  const ScopedHandle running(OpenProcess(SYNCHRONIZE, FALSE, process));
  if (!running.valid()) return GetLastError() == ERROR_INVALID_PARAMETER;
  return WaitForSingleObject(running.get(), 0) == WAIT_OBJECT_0;
}

// Whether `name` is one that OwnName gave a process that has ended: spelt
// exactly as it spells them, nothing a user would name a file.
bool IsLeftoverOfAnEndedProcess(std::wstring_view name) {
  if (!name.starts_with(L"~qw")) return false;
  const std::wstring text(name);
  unsigned long process = 0;
  unsigned long count = 0;
  wchar_t ending[8] = {};
  if (std::swscanf(text.c_str(), L"~qw%lx-%lx%7ls", &process, &count, ending) != 3) return false;
  if (std::wcscmp(ending, L".new") != 0 && std::wcscmp(ending, L".old") != 0) return false;
  return NameOf(static_cast<DWORD>(process), count, ending) == text && HasEnded(static_cast<DWORD>(process));
}

}  // namespace

std::wstring OwnName(const wchar_t* ending) {
  static std::atomic<std::uint32_t> count{0};
  return NameOf(GetCurrentProcessId(), static_cast<unsigned long>(count.fetch_add(1) ^ (GetTickCount() << 16)), ending);
}

std::wstring Joined(const std::wstring& folder, std::wstring_view name) {
  return folder + (folder.ends_with(L'\\') ? L"" : L"\\") + std::wstring(name);
}

// Without OBJ_CASE_INSENSITIVE: under Wine a folder can hold names that
// differ only in case, and a lookup that ignores case may meet another.
NTSTATUS OpenIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                ULONG attributes, PSECURITY_DESCRIPTOR security, ULONG kind, ScopedHandle* file, ULONG options) {
  UNICODE_STRING counted = Counted(name);
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &counted, 0, folder, security);
  IO_STATUS_BLOCK io;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                                       disposition, kind | options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status == 0) file->Reset(handle);
  return status;
}

bool SetDeleteOnClose(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(remove)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Whether a move that did not happen may yet happen when tried again: what
// a swapped folder makes Wine answer (the name missing, or taken in the
// folder the link leads to), and what it answers when it did move the file.
bool WorthRetrying(NTSTATUS status) {
  return status == 0 || Missed(status) || status == kNameCollision || status == kNoMemory;
}

bool NamesFile(HANDLE folder, std::wstring_view name, const FileIdentity& identity) {
  ScopedHandle named;
  if (OpenIn(folder, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, nullptr, 0, &named) != 0) return false;
  const std::optional<HandleFacts> facts = FactsOf(named.get());
  return facts && facts->identity == identity;
}

bool WineKnowsItAt(HANDLE file, const std::wstring& finalPath) { return FinalPathOf(file) == finalPath; }

std::wstring LongPath(const std::wstring& finalPath) {
  if (finalPath.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + finalPath.substr(2);
  return L"\\\\?\\" + finalPath;
}

bool PathLeadsTo(const std::wstring& finalPath, const FileIdentity& identity) {
  const std::optional<HandleFacts> atPath = FactsOf(OpenToInspect(LongPath(finalPath)).get());
  return atPath && atPath->identity == identity;
}

// Deletes a file or an emptied folder of the program's own, `own`, in the
// folder `folder` (whose final path is `folderPath`). Wine deletes by the
// path it took when the handle was opened, once the file's last handle
// closes: a delete that a folder swapped at either moment made miss is made
// again, from the folder's handle, while the name leads to it. One that
// misses again and again though the path led to the file before and after
// is left to another program that holds the file open, and happens when it
// lets go. Whether the name is free of it.
bool Discard(HANDLE folder, const std::wstring& folderPath, OwnFile own) {
  SetDeleteOnClose(own.handle.get(), true);
  own.handle.Reset();
  const std::wstring atPath = Joined(folderPath, own.name);
  bool gone = false;
  int heldOpen = 0;
  Repeatedly(kSettleMilliseconds, [&] {
    gone = !NamesFile(folder, own.name, own.identity);
    if (gone) return true;
    ScopedHandle left;
    const std::optional<HandleFacts> facts =
        OpenIn(folder, own.name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, nullptr, own.kind, &left) == 0
            ? FactsOf(left.get())
            : std::nullopt;
    if (!facts || facts->identity != own.identity || !WineKnowsItAt(left.get(), atPath)) {
      heldOpen = 0;
      return false;
    }
    SetDeleteOnClose(left.get(), true);
    left.Reset();
    gone = !NamesFile(folder, own.name, own.identity);
    heldOpen = PathLeadsTo(atPath, own.identity) ? heldOpen + 1 : 0;
    return gone || heldOpen == kMissesOfAFileHeldOpen;
  });
  return gone;
}

Moved MoveAndSee(HANDLE file, const FileIdentity& identity, HANDLE folder, std::wstring_view name,
                 ULONGLONG milliseconds, NTSTATUS* status) {
  Moved outcome = Moved::kNot;
  Repeatedly(milliseconds, [&] {
    *status = MoveInto(file, folder, name);
    if (NamesFile(folder, name, identity))
      outcome = Moved::kThere;
    else if (TakenIn(folder, name))
      outcome = Moved::kNameTaken;
    return outcome != Moved::kNot || !WorthRetrying(*status);
  });
  return outcome;
}

// Deletes the old content moved aside as `old`, then the folder `aside` it
// was moved into. When another program's handle keeps the old content
// until it lets go, the content first leaves the folder for a name of its
// own beside the world, to go from there, so that the folder goes now.
void DiscardAside(HANDLE folder, const std::wstring& folderPath, OwnFile old, OwnFile aside) {
  const FileIdentity identity = old.identity;
  const std::wstring inside = old.name;
  if (!Discard(folder, folderPath, std::move(old))) {
    OwnFile out{ScopedHandle(), OwnName(L".old"), identity};
    NTSTATUS answer = 0;
    if (OpenIn(folder, inside, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, nullptr, FILE_NON_DIRECTORY_FILE,
               &out.handle) == 0 &&
        WineKnowsItAt(out.handle.get(), Joined(folderPath, inside)) &&
        MoveAndSee(out.handle.get(), identity, folder, out.name, kRetryMilliseconds, &answer) == Moved::kThere)
      Discard(folder, folderPath, std::move(out));
  }
  Discard(folder, folderPath, std::move(aside));
}

std::wstring UpperCase(std::wstring_view name) {
  std::wstring upper(name);
  for (wchar_t& unit : upper) unit = static_cast<wchar_t>(UpperCaseUnit(static_cast<char16_t>(unit)));
  return upper;
}

std::vector<FolderEntry> EntriesOf(HANDLE folder) {
  std::vector<FolderEntry> entries;
  std::vector<std::uint64_t> buffer(8192);
  for (auto listing = FileFullDirectoryRestartInfo;
       GetFileInformationByHandleEx(folder, listing, buffer.data(), static_cast<DWORD>(buffer.size() * 8));
       listing = FileFullDirectoryInfo) {
    const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.data());
    for (;;) {
      entries.push_back(
          {std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)), entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      entry =
          reinterpret_cast<const FILE_FULL_DIR_INFO*>(reinterpret_cast<const char*>(entry) + entry->NextEntryOffset);
    }
  }
  return entries;
}

std::set<std::wstring> NamesSharedButForCase(const std::vector<FolderEntry>& entries) {
  std::set<std::wstring> seen;
  std::set<std::wstring> shared;
  for (const FolderEntry& entry : entries) {
    std::wstring upper = UpperCase(entry.name);
    if (!seen.insert(upper).second) shared.insert(std::move(upper));
  }
  return shared;
}

// What a process that ended left in a folder it moved a world into on the
// world's way out: the world goes back to its name while that is free (the
// process ended before the new content took it), and goes when the name is
// taken (by the new content, or by another program's save since).
void PutBackOrDiscardContent(HANDLE folder, const std::wstring& folderPath, const OwnFile& aside) {
  for (const auto& [name, attributes] : EntriesOf(aside.handle.get())) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    OwnFile old;
    old.name = Joined(aside.name, name);
    if (OpenIn(folder, old.name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, nullptr,
               FILE_NON_DIRECTORY_FILE, &old.handle) != 0)
      continue;
    const std::optional<HandleFacts> facts = FactsOf(old.handle.get());
    if (!facts || !WineKnowsItAt(old.handle.get(), Joined(folderPath, old.name))) continue;
    old.identity = facts->identity;
    NTSTATUS answer = 0;
    if (MoveAndSee(old.handle.get(), old.identity, folder, name, kRetryMilliseconds, &answer) == Moved::kNameTaken)
      Discard(folder, folderPath, std::move(old));
  }
}

void RemoveLeftovers(HANDLE folder, const std::wstring& folderPath, const std::vector<FolderEntry>& entries) {
  for (const auto& [name, attributes] : entries) {
    if (!IsLeftoverOfAnEndedProcess(name)) continue;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder && !name.ends_with(L".old")) continue;
    OwnFile own;
    own.name = name;
    own.kind = isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE;
    const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | (isFolder ? FILE_LIST_DIRECTORY : 0);
    if (OpenIn(folder, name, access, kShareAll, FILE_OPEN, 0, nullptr, own.kind, &own.handle) != 0) continue;
    const std::optional<HandleFacts> facts = FactsOf(own.handle.get());
    if (!facts) continue;
    own.identity = facts->identity;
    if (isFolder) PutBackOrDiscardContent(folder, folderPath, own);
    Discard(folder, folderPath, std::move(own));
  }
}

}  // namespace platform
