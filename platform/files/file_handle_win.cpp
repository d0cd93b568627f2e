#include "platform/files/file_handle_win.h"

#include <cstring>

namespace platform {

void ScopedHandle::Reset(HANDLE handle) {
  if (valid()) CloseHandle(m_handle);
  m_handle = handle;
}

std::optional<HandleFacts> FactsOf(HANDLE handle) {
  // What the file itself tells, not its name: Wine answers a query that
  // involves the name from the host path the file was opened under, which
  // may no longer lead to it. Its volume serial comes from its mount
  // manager, which may not know the drive: 0 then.
  FILE_BASIC_INFO basic;
  FILE_ID_INFO id;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    std::uint64_t index = 0;
    std::memcpy(&index, id.FileId.Identifier, sizeof index);
    return HandleFacts{{id.VolumeSerialNumber, index}, basic.FileAttributes};
  }
  // Windows before 8 has no file id query.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return HandleFacts{{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow},
                     info.dwFileAttributes};
}

bool FileIdentity::SameAs(const FileIdentity& other) const {
  return index == other.index && (volume == other.volume || volume == 0 || other.volume == 0);
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
