#include "platform/files/file_handle_win.h"

#include <winternl.h>

namespace platform {

void ScopedHandle::Reset(HANDLE handle) {
  if (valid()) CloseHandle(m_handle);
  m_handle = handle;
}

std::optional<HandleFacts> FactsOf(HANDLE handle) {
  // Two cheap queries: GetFileInformationByHandle and the file id query ask
  // Wine's mount manager for the volume serial too, a round trip to another
  // process that costs about a millisecond.
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return std::nullopt;
  struct {
    LARGE_INTEGER indexNumber;  // FILE_INTERNAL_INFORMATION
  } internal{};
  IO_STATUS_BLOCK io;
  const NTSTATUS status = NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation);
  if (status != 0) {
    SetLastError(RtlNtStatusToDosError(status));
    return std::nullopt;
  }
  return HandleFacts{{static_cast<std::uint64_t>(internal.indexNumber.QuadPart)}, basic.FileAttributes};
}

ScopedHandle OpenToInspect(const std::string& path) {
  // Backup semantics: a folder opens too.
  return ScopedHandle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

ScopedHandle OpenToInspect(const std::wstring& path) {
  return ScopedHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<std::wstring> FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (path.starts_with(L"\\\\?\\")) return path.substr(4);
  return path;
}

bool IsWithin(std::wstring_view path, std::wstring_view folder) {
  if (!path.starts_with(folder)) return false;
  return path.size() == folder.size() || folder.ends_with(L'\\') || path[folder.size()] == L'\\';
}

bool RunsUnderWine() {
  static const bool underWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return underWine;
}

}  // namespace platform
