#include "platform/files/world_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <winternl.h>

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <utility>
#include <vector>

#include "platform/files/file_handle_win.h"
#include "platform/paths/windows_path.h"

// The Windows half commits through handles: the original is held without
// sharing from the moment it is taken until its replacement has its name,
// so no other program can open, write, rename or delete it in between. Wine
// refuses to rename a file over one that any handle holds open, so the
// original is not renamed over; it is moved aside under a name of the
// program's own (through its own handle), the new file takes the free name
// (never over a file another program put there meanwhile), and only then
// does the original go. A program that saves into the name while it is free
// keeps its save.
//
// Names are given relative to the handle of the file's folder. Windows
// resolves them from there; Wine, beneath, moves and deletes by host paths
// looked up afresh, and the checks below make up for a folder on the way
// swapped for a link meanwhile.

namespace platform {
namespace {

constexpr int kOwnNameAttempts = 100;
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000FL);     // STATUS_NO_SUCH_FILE
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);   // STATUS_OBJECT_NAME_NOT_FOUND
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);   // STATUS_OBJECT_PATH_NOT_FOUND
constexpr ULONGLONG kSteadyMilliseconds = 200;

// What a new file takes over from the one it replaces. Read-only is not
// among them: a read-only file is never replaced.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

IoError LastError(std::string_view path) { return OsError(static_cast<int>(GetLastError()), path); }
IoError NtError(NTSTATUS status, std::string_view path) {
  return OsError(static_cast<int>(RtlNtStatusToDosError(status)), path);
}
IoError Found(IoErrorKind kind, std::string_view path) { return IoError{kind, 0, std::string(path)}; }

// A name for a file the program makes beside a world: "~qw", the process
// and a count, then ".new" for new content and ".old" for the old content
// on its way out. Neither ends in ".wrl", not even as an 8.3 alias.
std::wstring OwnName(const wchar_t* ending) {
  static std::atomic<std::uint32_t> count{0};
  wchar_t name[64];
  std::swprintf(name, 64, L"~qw%lx-%lx%ls", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long>(count.fetch_add(1) ^ (GetTickCount() << 16)), ending);
  return name;
}

UNICODE_STRING Counted(std::wstring_view name) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<PWSTR>(name.data());
  counted.Length = counted.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  return counted;
}

// Opens (or creates, as `disposition` says) the file `name` in `folder`,
// found from the folder's handle.
NTSTATUS OpenIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                ULONG attributes, PSECURITY_DESCRIPTOR security, ScopedHandle* file) {
  UNICODE_STRING counted = Counted(name);
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &counted, OBJ_CASE_INSENSITIVE, folder, security);
  IO_STATUS_BLOCK io;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                                       disposition, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status == 0) file->Reset(handle);
  return status;
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

// Whether the file is to go when its last handle closes. Set, unlike
// FILE_FLAG_DELETE_ON_CLOSE, it can be taken back (Wine holds to the flag).
bool SetDeleteOnClose(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(remove)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Under Wine a move or a delete goes by host paths looked up afresh, not by
// the handles it is given: a folder on the way swapped for a link for a
// moment makes it miss, or find the name taken elsewhere. Only a lookup
// from the folder's handle tells what the folder really holds; what missed
// so is tried again for a while.
bool Missed(NTSTATUS status) { return status == kNoSuchFile || status == kNameNotFound || status == kPathNotFound; }

bool TakenIn(HANDLE folder, std::wstring_view name) {
  ScopedHandle named;
  return !Missed(OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        FILE_OPEN, 0, nullptr, &named));
}

NTSTATUS MoveSteadily(HANDLE file, HANDLE folder, std::wstring_view name) {
  const ULONGLONG until = GetTickCount64() + kSteadyMilliseconds;
  for (;;) {
    const NTSTATUS status = MoveInto(file, folder, name);
    const bool again = Missed(status) || (status == kNameCollision && !TakenIn(folder, name));
    if (!again || GetTickCount64() > until) return status;
    Sleep(1);
  }
}

// Whether `name` in `folder` is the file `identity` tells.
bool NamesFile(HANDLE folder, std::wstring_view name, const FileIdentity& identity) {
  ScopedHandle named;
  if (OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0,
             nullptr, &named) != 0)
    return false;
  const std::optional<HandleFacts> facts = FactsOf(named.get());
  return facts && facts->identity == identity;
}

// Deletes a file of the program's own, `name` in `folder`, which `file`
// holds: marked at once, then, should Wine's delete by path have missed
// it, again from the folder's handle while the name still leads to it.
void Discard(HANDLE folder, std::wstring_view name, ScopedHandle file, const FileIdentity& identity) {
  SetDeleteOnClose(file.get(), true);
  file.Reset();
  const ULONGLONG until = GetTickCount64() + kSteadyMilliseconds;
  while (NamesFile(folder, name, identity) && GetTickCount64() <= until) {
    ScopedHandle left;
    if (OpenIn(folder, name, DELETE, 0, FILE_OPEN, 0, nullptr, &left) == 0) SetDeleteOnClose(left.get(), true);
    left.Reset();
    Sleep(1);
  }
}

// Under Wine a security descriptor stands for Unix permission bits, and Wine
// shows execute rights for every file that may be read; given execute
// rights it sets the execute bits. Between a file and its replacement they
// are noise there.
ACCESS_MASK Comparable(ACCESS_MASK mask) { return RunsUnderWine() ? mask & ~FILE_EXECUTE : mask; }

// The owner and discretionary ACL of a file, as GetSecurityInfo gives them.
class Security {
 public:
  explicit Security(HANDLE file, SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
      : m_error(GetSecurityInfo(file, SE_FILE_OBJECT, what, &m_owner, nullptr, &m_dacl, nullptr, &m_descriptor)) {}
  ~Security() { LocalFree(m_descriptor); }
  Security(const Security&) = delete;
  Security& operator=(const Security&) = delete;

  DWORD error() const { return m_error; }
  PSECURITY_DESCRIPTOR descriptor() const { return m_descriptor; }
  PSID owner() const { return m_owner; }
  PACL dacl() const { return m_dacl; }

 private:
  PSECURITY_DESCRIPTOR m_descriptor = nullptr;
  PSID m_owner = nullptr;
  PACL m_dacl = nullptr;
  DWORD m_error;
};

const ACE_HEADER* AceAt(PACL acl, WORD i) {
  void* ace = nullptr;
  GetAce(acl, i, &ace);
  return static_cast<const ACE_HEADER*>(ace);
}

bool IsAllowOrDeny(const ACE_HEADER* ace) {
  return ace->AceType == ACCESS_ALLOWED_ACE_TYPE || ace->AceType == ACCESS_DENIED_ACE_TYPE;
}

// The same entries in the same order; their inheritance flags aside, which
// a copied list cannot keep.
bool SameEntries(PACL a, PACL b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->AceCount != b->AceCount) return false;
  for (WORD i = 0; i < a->AceCount; ++i) {
    const ACE_HEADER* x = AceAt(a, i);
    const ACE_HEADER* y = AceAt(b, i);
    if (x->AceType != y->AceType || x->AceSize != y->AceSize) return false;
    if (IsAllowOrDeny(x)) {
      // Allow and deny entries share one layout.
      const auto* allowX = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(x);
      const auto* allowY = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(y);
      if (Comparable(allowX->Mask) != Comparable(allowY->Mask) ||
          !EqualSid(const_cast<DWORD*>(&allowX->SidStart), const_cast<DWORD*>(&allowY->SidStart)))
        return false;
    } else if (std::memcmp(x + 1, y + 1, x->AceSize - sizeof(ACE_HEADER)) != 0) {
      return false;
    }
  }
  return true;
}

// The security a replacement is created with: the original's owner and
// entries, protected from the folder's inherited ones, which the original
// list already holds.
class ReplacementSecurity {
 public:
  explicit ReplacementSecurity(const Security& original) {
    InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&m_descriptor, original.owner(), FALSE);
    if (original.dacl() == nullptr) return;  // no list: a file system without security
    const ACL* dacl = original.dacl();
    m_dacl.resize(dacl->AclSize / sizeof(std::uint64_t) + 1);
    std::memcpy(m_dacl.data(), dacl, dacl->AclSize);
    auto* copy = reinterpret_cast<PACL>(m_dacl.data());
    for (WORD i = 0; i < copy->AceCount; ++i) {
      auto* ace = const_cast<ACE_HEADER*>(AceAt(copy, i));
      if (IsAllowOrDeny(ace)) {
        auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        entry->Mask = Comparable(entry->Mask);
      }
    }
    SetSecurityDescriptorDacl(&m_descriptor, TRUE, copy, FALSE);
    SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  ReplacementSecurity(const ReplacementSecurity&) = delete;
  ReplacementSecurity& operator=(const ReplacementSecurity&) = delete;

  PSECURITY_DESCRIPTOR descriptor() { return &m_descriptor; }

 private:
  SECURITY_DESCRIPTOR m_descriptor;
  std::vector<std::uint64_t> m_dacl;
};

// Whether the file's own permissions let this user write it. When they do
// and the system refuses all the same, the refusal is the volume's: a
// write-protected drive or a read-only mount.
bool PermissionsAllowWriting(HANDLE file) {
  Security security(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  if (security.error() != ERROR_SUCCESS) return false;
  HANDLE process = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return false;
  ScopedHandle processToken(process);
  HANDLE token = nullptr;
  if (!DuplicateToken(process, SecurityImpersonation, &token)) return false;
  ScopedHandle impersonation(token);
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  return AccessCheck(security.descriptor(), token, FILE_WRITE_DATA, &mapping, &privileges, &privilegesSize, &granted,
                     &allowed) &&
         allowed;
}

IoStatus WriteAll(HANDLE file, std::string_view bytes, std::string_view path) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastError(path);
    if (written == 0) return Found(IoErrorKind::kGeneric, path);
    bytes.remove_prefix(written);
  }
  return Succeeded();
}

// The folder part of a final path, as FinalPathOf gives it for the folder.
std::wstring FolderOf(const std::wstring& finalPath) {
  const std::size_t separator = finalPath.rfind(L'\\');
  // "C:\a.wrl" lies in "C:\", "C:\w\a.wrl" in "C:\w".
  const bool inDriveRoot = separator == 2 && finalPath[1] == L':';
  return finalPath.substr(0, inDriveRoot ? separator + 1 : separator);
}

// A final path as the W functions take it past MAX_PATH.
std::wstring LongPath(const std::wstring& finalPath) {
  if (finalPath.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + finalPath.substr(2);
  return L"\\\\?\\" + finalPath;
}

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

// A folder that files were found in: opened once, by the final path its
// first file gave, and held, so that names in it are looked up from it.
struct ContainingFolder {
  ScopedHandle handle;
  bool replacedIn = false;  // since the last Flush
};

struct WorldFolder::Impl {
  std::string path;
  std::wstring finalPath;
  ScopedHandle handle;
  std::map<std::wstring, ContainingFolder> folders;  // by final path

  IoResult<ContainingFolder*> FolderAt(const std::wstring& folderPath, std::string_view forFile);
};

IoResult<ContainingFolder*> WorldFolder::Impl::FolderAt(const std::wstring& folderPath, std::string_view forFile) {
  if (auto known = folders.find(folderPath); known != folders.end()) return &known->second;
  if (!IsWithin(folderPath, finalPath)) return Found(IoErrorKind::kOutside, forFile);
  const std::wstring open = LongPath(folderPath);
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // Write access only for Flush: renames in the folder need none.
  ScopedHandle opened(CreateFileW(open.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_DATA, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened.valid())
    opened.Reset(CreateFileW(open.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened.valid()) return LastError(forFile);
  // A folder renamed, or swapped for a link, since the file was opened.
  if (FinalPathOf(opened.get()) != folderPath) return Found(IoErrorKind::kBusy, forFile);
  ContainingFolder& folder = folders[folderPath];
  folder.handle = std::move(opened);
  return &folder;
}

// A file the program made beside a world, with its name there.
struct OwnFile {
  ScopedHandle handle;
  std::wstring name;
  FileIdentity identity;
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

  IoStatus RefusedWrite() const;
  IoResult<OwnFile> WriteReplacement(HANDLE within, std::string_view bytes) const;
  IoStatus Commit(HANDLE within, OwnFile replacement);
};

IoStatus WorldFile::Impl::RefusedWrite() const {
  const auto code = static_cast<int>(writeRefusal);
  if (PermissionsAllowWriting(exclusive.get())) return IoError{IoErrorKind::kAccessDenied, code, path};
  return IoError{IoErrorKind::kGeneric, code, path};
}

// The new content in a new file beside the original, carrying the
// original's attributes, owner and permissions, flushed to disk, and set to
// go with its handle: a process that ends before the commit leaves nothing.
IoResult<OwnFile> WorldFile::Impl::WriteReplacement(HANDLE within, std::string_view bytes) const {
  const Security original(exclusive.get());
  if (original.error() != ERROR_SUCCESS) return OsError(static_cast<int>(original.error()), path);
  ReplacementSecurity security(original);
  const DWORD carried = facts.attributes & kCarriedAttributes;
  OwnFile replacement;
  NTSTATUS created = kNameCollision;
  for (int attempt = 0; attempt < kOwnNameAttempts && created == kNameCollision; ++attempt) {
    replacement.name = OwnName(L".new");
    created = OpenIn(within, replacement.name, GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL, 0, FILE_CREATE,
                     carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL, security.descriptor(), &replacement.handle);
  }
  if (created != 0) return NtError(created, path);
  // At once: should the process end from here to the commit, it goes.
  const bool goesWithHandle = SetDeleteOnClose(replacement.handle.get(), true);
  if (const std::optional<HandleFacts> made = FactsOf(replacement.handle.get())) replacement.identity = made->identity;

  const auto written = [&]() -> IoStatus {
    if (!goesWithHandle) return LastError(path);
    // Wine cannot give a new file every permission bit of another (it shows
    // neither a file's group nor its group's bits): what it shows must match.
    const Security carriedOver(replacement.handle.get());
    if (carriedOver.error() != ERROR_SUCCESS) return OsError(static_cast<int>(carriedOver.error()), path);
    if (!EqualSid(original.owner(), carriedOver.owner()) || !SameEntries(original.dacl(), carriedOver.dacl()))
      return Found(IoErrorKind::kAccessDenied, path);
    if (IoStatus all = WriteAll(replacement.handle.get(), bytes, path); !all) return all;
    if (!FlushFileBuffers(replacement.handle.get())) return LastError(path);
    return Succeeded();
  }();
  if (!written) {
    Discard(within, replacement.name, std::move(replacement.handle), replacement.identity);
    return written.error();
  }
  return replacement;
}

IoStatus WorldFile::Impl::Commit(HANDLE within, OwnFile replacement) {
  const std::wstring name = finalPath.substr(finalPath.rfind(L'\\') + 1);
  // Wine moves a file by the host path it was opened under, looked up again
  // (one of its folders may have been swapped for a link since): it is
  // moved only while that path still leads to it.
  if (const std::optional<HandleFacts> atPath = FactsOf(OpenToInspect(LongPath(finalPath)).get());
      !atPath || atPath->identity != facts.identity) {
    Discard(within, replacement.name, std::move(replacement.handle), replacement.identity);
    return Found(IoErrorKind::kBusy, path);
  }
  // From here to the new file's move the steps follow each other at once:
  // a process cut off between them leaves its files beside the world.
  if (!SetDeleteOnClose(replacement.handle.get(), false)) {
    const IoError error = LastError(path);
    Discard(within, replacement.name, std::move(replacement.handle), replacement.identity);
    return error;
  }
  const std::wstring aside = OwnName(L".old");
  if (const NTSTATUS moved = MoveInto(exclusive.get(), within, aside); moved != 0) {
    Discard(within, replacement.name, std::move(replacement.handle), replacement.identity);
    return NtError(moved, path);
  }
  const NTSTATUS placed = MoveSteadily(replacement.handle.get(), within, name);
  if (placed == 0) {
    // The new file's handle takes the place of the old one's: the file
    // stays held, and the old content goes.
    ScopedHandle old = std::exchange(exclusive, std::move(replacement.handle));
    const FileIdentity oldIdentity = facts.identity;
    Discard(within, aside, std::move(old), oldIdentity);
    if (std::optional<HandleFacts> now = FactsOf(exclusive.get())) facts = *now;
    return Succeeded();
  }
  Discard(within, replacement.name, std::move(replacement.handle), replacement.identity);
  if (NamesFile(within, aside, facts.identity)) {
    // The name was free for a moment, and another program saved into it:
    // its file stays, and the old content goes with this object.
    const NTSTATUS restored = MoveSteadily(exclusive.get(), within, name);
    if (restored == kNameCollision) SetDeleteOnClose(exclusive.get(), true);
    return placed == kNameCollision ? Found(IoErrorKind::kBusy, path) : NtError(placed, path);
  }
  // The path changed in the moment before the move: what was moved is not
  // the file held here but whatever the path led to. Wine now takes the
  // handle for that file, and tells where it went; it goes straight back
  // there, by that path, and this object takes part in nothing more.
  if (const std::optional<std::wstring> movedTo = FinalPathOf(exclusive.get())) {
    const std::wstring folder = FolderOf(*movedTo);
    const std::wstring back = folder + (folder.ends_with(L'\\') ? L"" : L"\\") + name;
    MoveFileExW(LongPath(*movedTo).c_str(), LongPath(back).c_str(), 0);
  }
  exclusive.Reset();
  return Found(IoErrorKind::kBusy, path);
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
  if (file.status.isFolder) return Found(IoErrorKind::kNotAFile, file.path);
  // Opened again from the handle, not by its path: the same file. Write
  // access is asked for here, where the file layer the program follows
  // asks for it (before a byte changes), and its refusal kept for
  // ReplaceContent: a file that needs no change is never written.
  constexpr DWORD kRead = GENERIC_READ | READ_CONTROL;
  constexpr DWORD kWrite = GENERIC_WRITE | DELETE;
  ScopedHandle exclusive(ReOpenFile(file.inspected.get(), kRead | kWrite, 0, 0));
  if (!exclusive.valid() && GetLastError() == ERROR_ACCESS_DENIED) {
    file.writeRefusal = ERROR_ACCESS_DENIED;
    exclusive.Reset(ReOpenFile(file.inspected.get(), kRead, 0, 0));
  }
  if (!exclusive.valid()) return LastError(file.path);
  // Only a file on a disk: a device or a FIFO opens too.
  if (GetFileType(exclusive.get()) != FILE_TYPE_DISK) return Found(IoErrorKind::kNotAFile, file.path);
  const std::optional<HandleFacts> facts = FactsOf(exclusive.get());
  if (!facts) return LastError(file.path);
  if (facts->identity != file.facts.identity) return Found(IoErrorKind::kBusy, file.path);
  file.facts = *facts;
  file.inspected.Reset();
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
  IoResult<ContainingFolder*> containing = file.world->FolderAt(FolderOf(file.finalPath), file.path);
  if (!containing) return containing.error();
  HANDLE folder = (*containing)->handle.get();
  IoResult<OwnFile> replacement = file.WriteReplacement(folder, bytes);
  if (!replacement) return replacement.error();
  IoStatus committed = file.Commit(folder, std::move(*replacement));
  if (committed) (*containing)->replacedIn = true;
  return committed;
}

}  // namespace platform
