#include "platform/files/exclusive_file.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace platform {
namespace {

constexpr int kTemporaryNameAttempts = 100;

IoFailure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return IoFailure::kDiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return IoFailure::kAccessDenied;
    default:
      // Sharing and lock violations included: the file is in use.
      return IoFailure::kGeneric;
  }
}

IoFailure LastFailure() { return FailureOf(GetLastError()); }

HANDLE OpenUnshared(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The path of the file itself, through any links on the way, so that a
// rewrite replaces the file and leaves a link a link. Empty when the system
// cannot tell, or when a name on the way has no spelling in the code page
// (it comes back with '?', which names nothing).
std::string FinalPath(HANDLE handle) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleA(handle, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  if (path.rfind("\\\\?\\UNC\\", 0) == 0)
    path = "\\\\" + path.substr(8);
  else if (path.rfind("\\\\?\\", 0) == 0)
    path = path.substr(4);
  return path.find('?') == std::string::npos ? path : std::string();
}

std::string FolderOf(const std::string& path) {
  // Scanned with the code page's character boundaries in mind: the second
  // byte of a double-byte character may carry a backslash's code.
  std::size_t lastSeparator = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])))
      ++i;
    else if (path[i] == '\\' || path[i] == '/')
      lastSeparator = i;
  }
  return lastSeparator == std::string::npos ? std::string(".") : path.substr(0, lastSeparator);
}

IoFailure WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return LastFailure();
    if (written == 0) return IoFailure::kGeneric;
    bytes.remove_prefix(written);
  }
  return IoFailure::kNone;
}

// Creates a new, hidden file in `folder` whose name no other file has.
HANDLE CreateTemporary(const std::string& folder, std::string* temporary) {
  static constexpr char kHex[] = "0123456789abcdef";
  ULONGLONG seed = GetTickCount64() ^ (ULONGLONG{GetCurrentProcessId()} << 32) ^ GetCurrentThreadId();
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    std::string name = "qw";
    for (int k = 0; k < 8; ++k) name += kHex[(seed >> (60 - 4 * k)) & 0xF];
    // ".tmp": never taken for a world file, not even by its short alias,
    // should a crash leave it behind.
    *temporary = folder + "\\" + name + ".tmp";
    HANDLE handle =
        CreateFileA(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  temporary->clear();
  return INVALID_HANDLE_VALUE;
}

// Writes `bytes` into a new file in `folder` and flushes it to disk. On
// success *temporary names it.
IoFailure WriteTemporary(const std::string& folder, std::string_view bytes, std::string* temporary) {
  HANDLE handle = CreateTemporary(folder, temporary);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  IoFailure failure = WriteAll(handle, bytes);
  if (failure == IoFailure::kNone && !FlushFileBuffers(handle)) failure = LastFailure();
  if (!CloseHandle(handle) && failure == IoFailure::kNone) failure = LastFailure();
  if (failure != IoFailure::kNone) DeleteFileA(temporary->c_str());
  return failure;
}

}  // namespace

struct ExclusiveFile::Impl {
  std::string path;
  HANDLE handle = INVALID_HANDLE_VALUE;

  void Close() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  ~Impl() { Close(); }
};

ExclusiveFile::ExclusiveFile(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ExclusiveFile::ExclusiveFile(ExclusiveFile&&) noexcept = default;
ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&&) noexcept = default;
ExclusiveFile::~ExclusiveFile() = default;

std::optional<ExclusiveFile> ExclusiveFile::Open(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  auto impl = std::make_unique<Impl>();
  impl->path = std::string(path);
  impl->handle = OpenUnshared(impl->path);
  if (impl->handle == INVALID_HANDLE_VALUE) return std::nullopt;
  // Only a file on a disk: a device name such as "CON" or "NUL" opens too.
  if (GetFileType(impl->handle) != FILE_TYPE_DISK) return std::nullopt;
  return ExclusiveFile(std::move(impl));
}

IoFailure ExclusiveFile::ReadAll(std::string* bytes, std::size_t limit) {
  bytes->clear();
  if (m_impl->handle == INVALID_HANDLE_VALUE) return IoFailure::kGeneric;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(m_impl->handle, &size) && static_cast<std::uint64_t>(size.QuadPart) > limit)
    return IoFailure::kTooLarge;
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(m_impl->handle, start, nullptr, FILE_BEGIN)) return LastFailure();
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(m_impl->handle, buffer, sizeof buffer, &read, nullptr)) {
      const IoFailure failure = LastFailure();
      bytes->clear();
      return failure;
    }
    if (read == 0) return IoFailure::kNone;
    if (read > limit - bytes->size()) {
      bytes->clear();
      return IoFailure::kTooLarge;
    }
    bytes->append(buffer, read);
  }
}

IoFailure ExclusiveFile::ReplaceContent(std::string_view bytes) {
  if (m_impl->handle == INVALID_HANDLE_VALUE) return IoFailure::kGeneric;
  std::string target = FinalPath(m_impl->handle);
  if (target.empty()) target = m_impl->path;
  // Windows refuses to replace a read-only file; Wine, run by root, would not.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return IoFailure::kAccessDenied;

  std::string temporary;
  if (const IoFailure failure = WriteTemporary(FolderOf(target), bytes, &temporary); failure != IoFailure::kNone)
    return failure;

  // Hidden, system and the like carry over; the new file is otherwise what a
  // fresh one in that folder is (its security comes from the folder).
  const DWORD kept = attributes != INVALID_FILE_ATTRIBUTES ? attributes : DWORD{FILE_ATTRIBUTE_ARCHIVE};
  if (kept != GetFileAttributesA(temporary.c_str())) SetFileAttributesA(temporary.c_str(), kept);

  // The file cannot be replaced while any handle without delete sharing is
  // open on it, this one included. Closing it lets another program in for a
  // moment; then the move fails as a sharing violation and nothing changes.
  m_impl->Close();
  IoFailure failure = IoFailure::kNone;
  if (!MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = LastFailure();
    DeleteFileA(temporary.c_str());
  }
  m_impl->handle = OpenUnshared(m_impl->path);
  return failure;
}

}  // namespace platform
