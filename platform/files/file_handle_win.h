#pragma once

// Handles on files and folders, and what a handle tells of the file it is
// open on. Windows only, and only for platform/.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
    }
    return *this;
  }

  HANDLE get() const { return m_handle; }
  bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE);

 private:
  HANDLE m_handle;
};

// Which file or folder a handle is open on, whatever path or link led there:
// its file index. The volume is left out, as finding it out costs a query
// of Wine's mount manager; the files compared lie in one world folder, and
// two of its folders share an index only across a mount point inside it.
struct FileIdentity {
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct HandleFacts {
  FileIdentity identity;
  DWORD attributes = 0;
};

// The file's identity and attributes; nullopt with the system's error left
// in GetLastError().
std::optional<HandleFacts> FactsOf(HANDLE handle);

// `path` (ANSI, a file or a folder) opened for its attributes only, shared
// with everyone: such a handle takes no part in another
// program's share check. Links on the way are followed.
ScopedHandle OpenToInspect(const std::string& path);
ScopedHandle OpenToInspect(const std::wstring& path);

// Where the handle really is: GetFinalPathNameByHandleW, every link
// resolved, on its drive letter, without the "\\?\" in front. In UTF-16, so
// that no best fit of the code page makes two names one. nullopt when the
// system cannot tell.
std::optional<std::wstring> FinalPathOf(HANDLE handle);

// Whether the final path `path` is the folder `folder` or lies inside it.
bool IsWithin(std::wstring_view path, std::wstring_view folder);

// Wine's Windows differs from Windows where it meets the host: a link to a
// file looks like a plain file, and security descriptors stand for Unix
// permission bits.
bool RunsUnderWine();

}  // namespace platform
