#include "platform/files/world_folder.h"

#include <windows.h>

#include <cassert>
#include <optional>
#include <utility>

#include "platform/files/exclusive_file.h"

namespace platform {
namespace {

IoError ErrorOf(IoFailure failure, std::string_view path) {
  switch (failure) {
    case IoFailure::kDiskFull: return IoError{IoErrorKind::kDiskFull, ERROR_DISK_FULL, std::string(path)};
    case IoFailure::kAccessDenied: return IoError{IoErrorKind::kAccessDenied, ERROR_ACCESS_DENIED, std::string(path)};
    case IoFailure::kGeneric: return IoError{IoErrorKind::kGeneric, 0, std::string(path)};
    case IoFailure::kTooLarge: return IoError{IoErrorKind::kTooLarge, ERROR_FILE_TOO_LARGE, std::string(path)};
    case IoFailure::kNone:
    case IoFailure::kOther: break;
  }
  return IoError{IoErrorKind::kOther, 0, std::string(path)};
}

// GetFullPathNameA of `path`, or empty.
std::string FullPath(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return {};
  std::string full(MAX_PATH, '\0');
  const DWORD length =
      GetFullPathNameA(std::string(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return {};
  full.resize(length);
  return full;
}

// Whether the full path `file` lies below the full path `folder`, compared
// as the file system compares names, ignoring case.
bool IsBelow(const std::string& file, const std::string& folder) {
  const std::size_t start = folder.size() + (folder.back() == '\\' ? 0 : 1);
  if (file.size() <= start || file[start - 1] != '\\') return false;
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, file.data(), static_cast<int>(folder.size()), folder.data(),
                        static_cast<int>(folder.size())) == CSTR_EQUAL;
}

}  // namespace

struct WorldFolder::Impl {
  std::string path;
};

struct WorldFile::Impl {
  std::string path;
  FileStatus status;
  std::optional<ExclusiveFile> file;
};

WorldFolder::WorldFolder(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFolder::WorldFolder(WorldFolder&&) noexcept = default;
WorldFolder& WorldFolder::operator=(WorldFolder&&) noexcept = default;
WorldFolder::~WorldFolder() = default;

const std::string& WorldFolder::path() const { return m_impl->path; }

IoResult<WorldFolder> WorldFolder::Open(std::string_view folder) {
  std::string full = FullPath(folder);
  if (full.size() > 3 && full.back() == '\\') full.pop_back();
  const std::optional<FileStatus> status = full.empty() ? std::nullopt : GetFileStatus(full);
  if (!status || !status->isFolder) return IoError{IoErrorKind::kNotFound, ERROR_PATH_NOT_FOUND, std::string(folder)};
  return WorldFolder(std::make_unique<Impl>(Impl{std::move(full)}));
}

IoResult<WorldFile> WorldFolder::OpenFile(std::string_view path) {
  const std::optional<FileStatus> status = GetFileStatus(path);
  if (!status) return IoError{IoErrorKind::kNotFound, ERROR_FILE_NOT_FOUND, std::string(path)};
  if (!IsBelow(FullPath(path), m_impl->path)) return IoError{IoErrorKind::kOutside, 0, std::string(path)};
  return WorldFile(std::make_unique<WorldFile::Impl>(WorldFile::Impl{std::string(path), *status, std::nullopt}));
}

IoStatus WorldFolder::Flush() { return Succeeded(); }

WorldFile::WorldFile(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFile::WorldFile(WorldFile&&) noexcept = default;
WorldFile& WorldFile::operator=(WorldFile&&) noexcept = default;
WorldFile::~WorldFile() = default;

const FileStatus& WorldFile::status() const { return m_impl->status; }

IoStatus WorldFile::TakeExclusive() {
  assert(!m_impl->file && "WorldFile::TakeExclusive() is called once");
  if (m_impl->status.isFolder) return IoError{IoErrorKind::kNotAFile, 0, m_impl->path};
  m_impl->file = ExclusiveFile::Open(m_impl->path);
  if (!m_impl->file) return IoError{IoErrorKind::kBusy, ERROR_SHARING_VIOLATION, m_impl->path};
  return Succeeded();
}

IoResult<std::string> WorldFile::ReadAll(std::size_t limit) {
  assert(m_impl->file && "WorldFile::ReadAll() after TakeExclusive()");
  std::string bytes;
  if (const IoFailure failure = m_impl->file->ReadAll(&bytes, limit); failure != IoFailure::kNone)
    return ErrorOf(failure, m_impl->path);
  return bytes;
}

IoStatus WorldFile::ReplaceContent(std::string_view bytes) {
  assert(m_impl->file && "WorldFile::ReplaceContent() after TakeExclusive()");
  if (const IoFailure failure = m_impl->file->ReplaceContent(bytes); failure != IoFailure::kNone)
    return ErrorOf(failure, m_impl->path);
  return Succeeded();
}

}  // namespace platform
