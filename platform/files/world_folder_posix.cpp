#include "platform/files/world_folder.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/files/file_replacement_posix.h"
#include "platform/files/file_status_posix.h"
#include "platform/paths/path_beneath_posix.h"
#include "platform/paths/wine_path_posix.h"
#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"

namespace platform {

namespace {

// Reads are issued in pieces no larger than this (Linux caps one call near
// 2 GiB anyway). Writes are smaller: between two of them a program opening
// the original is looked for, and need not wait for the rest of a large
// file that would then be given up anyway.
constexpr std::size_t kMaxRead = std::size_t{1} << 30;
constexpr std::size_t kMaxWrite = std::size_t{8} << 20;

IoError Busy(std::string_view path) { return IoError{IoErrorKind::kBusy, 0, std::string(path)}; }

// Whether another process holds a POSIX (fcntl, lockf) or an open file
// description lock on any part of the file.
bool LockedByOthers(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
    probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (fcntl(fd, F_GETLK, &probe) != 0) return false;
  }
  return probe.l_type != F_UNLCK;
}

// Writes all of `bytes`; EBUSY as soon as another program opens the file
// leased at `watchedFd` (-1: none), looked for between two pieces.
int WriteAll(int fd, std::string_view bytes, int watchedFd) {
  for (bool first = true; !bytes.empty(); first = false) {
    if (!first && watchedFd >= 0 && LeaseBroken(watchedFd)) return EBUSY;
    const ssize_t written = write(fd, bytes.data(), std::min(bytes.size(), kMaxWrite));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// The kind of a failed replacement's errno value. Another program's open or
// save is kBusy; permissions that cannot be kept are kAccessDenied; a new
// file that cannot be made, or a folder gone meanwhile, is a failure to open
// for writing, kGeneric unless its reason has a kind of its own.
IoError ReplacementError(int error, bool creating, std::string_view path) {
  if (error == EBUSY || error == ESTALE) return Busy(path);
  IoError failure = OsError(error, path);
  if (failure.kind == IoErrorKind::kNotFound || (creating && failure.kind == IoErrorKind::kOther))
    failure.kind = IoErrorKind::kGeneric;
  return failure;
}

// The Windows path of a folder, without the final "\" a drive's root keeps.
std::u16string WithoutFinalSeparator(std::u16string path) {
  if (path.size() > 3 && path.back() == u'\\') path.pop_back();
  return path;
}

}  // namespace

// What the files of one world folder share: the folders replacements were
// made in, to be flushed, and the folders made ready for them.
class FolderWrites {
 public:
  // Whether the folder refuses the exchange of names (append-only or
  // immutable), looked at once; the first time, this program's stale
  // temporary files are removed from it.
  bool Refuses(const FolderRef& folder) {
    const auto key = std::make_pair(folder->status.st_dev, folder->status.st_ino);
    if (const auto known = m_refuses.find(key); known != m_refuses.end()) return known->second;
    ScopedFd reader(openat(folder->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bool refuses = false;
    if (reader.valid()) {
      refuses = IsAppendOnlyOrImmutable(reader.get());
      if (!refuses) RemoveStaleTemporaries(reader.get());
    }
    m_refuses.emplace(key, refuses);
    return refuses;
  }

  // A replacement made in `folder`: the folder the run leaves for it is
  // synced now, this one once the run leaves it too or at Flush().
  void Replaced(const FolderRef& folder, std::string_view path) {
    if (m_unsynced && !SameFile(m_unsynced->status, folder->status)) SyncUnsynced();
    m_unsynced = folder;
    m_unsyncedPath = path;
  }

  IoStatus Flush() {
    if (m_unsynced) SyncUnsynced();
    std::optional<IoError> failure = std::exchange(m_failure, std::nullopt);
    if (failure) return std::move(*failure);
    return Succeeded();
  }

 private:
  // A failed sync is kept for Flush() to report; the replacements are
  // complete and atomic before it, only their durability is in doubt.
  void SyncUnsynced() {
    ScopedFd reader(openat(m_unsynced->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if ((!reader.valid() || fsync(reader.get()) != 0) && !m_failure) m_failure = OsError(errno, m_unsyncedPath);
    m_unsynced.reset();
  }

  std::map<std::pair<dev_t, ino_t>, bool> m_refuses;
  FolderRef m_unsynced;
  std::string m_unsyncedPath;  // a file replaced there, which the error names
  std::optional<IoError> m_failure;
};

struct WorldFolder::Impl {
  std::string path;          // full, ANSI
  std::u16string upperPath;  // full, upper case
  FolderRef top;
  // The folders on the way to the last file opened, by the Windows names
  // that led to them: the next file is mostly in the same folder, or near.
  std::vector<std::pair<std::u16string, FolderRef>> chain;
  std::shared_ptr<FolderWrites> writes = std::make_shared<FolderWrites>();

  IoResult<FolderRef> OpenFolders(const std::vector<std::u16string_view>& names,
                                  const std::vector<std::string>& hostNames, std::string_view filePath);
};

struct WorldFile::Impl {
  ~Impl() {
    if (leased) ReleaseLease(file.get());
  }

  std::shared_ptr<FolderWrites> writes;
  EntryBeneath entry;
  std::string path;
  FileStatus status;
  ScopedFd file;
  struct stat taken {};  // the file's status when it was taken
  bool leased = false;
};

WorldFolder::WorldFolder(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFolder::WorldFolder(WorldFolder&&) noexcept = default;
WorldFolder& WorldFolder::operator=(WorldFolder&&) noexcept = default;
WorldFolder::~WorldFolder() = default;

const std::string& WorldFolder::path() const { return m_impl->path; }

IoResult<WorldFolder> WorldFolder::Open(std::string_view folder) {
  const std::optional<std::u16string> full = FullAnsiPath(folder);
  if (!full) return IoError{IoErrorKind::kNotFound, ENOENT, std::string(folder)};
  HostFile host;
  errno = ENOENT;
  ScopedFd fd(OpenHostFolder(*full, &host));
  // No folder there: nothing, or not a folder, as FindHostFile tells.
  if (!fd.valid()) return IoError{IoErrorKind::kNotFound, errno, std::string(folder)};
  IoResult<FolderRef> top = TopFolder(std::move(fd), folder);
  if (!top) return top.error();
  auto impl = std::make_unique<Impl>();
  const std::u16string trimmed = WithoutFinalSeparator(*full);
  impl->path = Utf16ToAnsi(trimmed);
  impl->upperPath = UpperCase(trimmed);
  impl->top = std::move(*top);
  return WorldFolder(std::move(impl));
}

IoResult<FolderRef> WorldFolder::Impl::OpenFolders(const std::vector<std::u16string_view>& names,
                                                   const std::vector<std::string>& hostNames,
                                                   std::string_view filePath) {
  std::size_t kept = 0;
  while (kept < names.size() && kept < chain.size() && chain[kept].first == names[kept]) ++kept;
  chain.resize(kept);
  FolderRef folder = kept == 0 ? top : chain.back().second;
  for (std::size_t i = kept; i < names.size(); ++i) {
    IoResult<FolderRef> next = OpenFolder(folder, names[i], hostNames[i], filePath);
    if (!next) return next.error();
    folder = std::move(*next);
    chain.emplace_back(std::u16string(names[i]), folder);
  }
  return folder;
}

IoResult<WorldFile> WorldFolder::OpenFile(std::string_view path) {
  const auto notFound = [&] { return IoError{IoErrorKind::kNotFound, ENOENT, std::string(path)}; };
  const std::optional<std::u16string> full = FullAnsiPath(path);
  if (!full) return notFound();
  // Below the folder: its path, "\" unless that ends in one, then a name.
  const std::u16string& top = m_impl->upperPath;
  const std::size_t start = top.size() + (top.back() == u'\\' ? 0 : 1);
  if (full->size() <= start || UpperCase(std::u16string_view(*full).substr(0, top.size())) != top ||
      (*full)[start - 1] != u'\\')
    return IoError{IoErrorKind::kOutside, 0, std::string(path)};

  std::u16string_view rest = std::u16string_view(*full).substr(start);
  // A final "\" names a folder, never a file.
  const bool mustBeFolder = rest.ends_with(u'\\');
  if (mustBeFolder) rest.remove_suffix(1);
  std::vector<std::u16string_view> names;
  std::vector<std::string> hostNames;
  for (std::size_t at = 0; at <= rest.size();) {
    std::size_t end = rest.find(u'\\', at);
    if (end == std::u16string_view::npos) end = rest.size();
    const std::u16string_view name = rest.substr(at, end - at);
    const bool dots = name.find_first_not_of(u'.') == std::u16string_view::npos;
    if (dots || std::any_of(name.begin(), name.end(), IsForbiddenInName)) return notFound();
    std::string& hostName = hostNames.emplace_back();
    if (!AppendHostName(name, &hostName)) return notFound();
    names.push_back(name);
    at = end + 1;
  }

  const std::u16string_view fileName = names.back();
  names.pop_back();
  IoResult<FolderRef> folder = m_impl->OpenFolders(names, hostNames, path);
  if (!folder) return folder.error();
  IoResult<EntryBeneath> entry = FindEntry(*folder, fileName, hostNames.back(), path);
  if (!entry) return entry.error();
  if (mustBeFolder && !S_ISDIR(entry->status.st_mode)) return notFound();

  auto file = std::make_unique<WorldFile::Impl>();
  file->writes = m_impl->writes;
  file->entry = std::move(*entry);
  file->path = std::string(path);
  file->status = FileStatusOfMode(file->entry.status.st_mode);
  return WorldFile(std::move(file));
}

IoStatus WorldFolder::Flush() { return m_impl->writes->Flush(); }

WorldFile::WorldFile(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WorldFile::WorldFile(WorldFile&&) noexcept = default;
WorldFile& WorldFile::operator=(WorldFile&&) noexcept = default;
WorldFile::~WorldFile() = default;

const FileStatus& WorldFile::status() const { return m_impl->status; }

IoStatus WorldFile::TakeExclusive() {
  Impl& f = *m_impl;
  assert(!f.file.valid() && "WorldFile::TakeExclusive() is called once");
  const int folderFd = f.entry.folder->fd.get();
  if (!S_ISREG(f.entry.status.st_mode))
    return IoError{IoErrorKind::kNotAFile, S_ISDIR(f.entry.status.st_mode) ? EISDIR : 0, f.path};
  // O_NONBLOCK: a FIFO put in the file's place meanwhile would wait for a
  // writer. Another file put there is told by its identity below.
  f.file = ScopedFd(openat(folderFd, f.entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!f.file.valid()) return errno == ELOOP ? Busy(f.path) : OsError(errno, f.path);
  const int fd = f.file.get();
  if (fstat(fd, &f.taken) != 0) return OsError(errno, f.path);
  if (!SameFile(f.taken, f.entry.status)) return Busy(f.path);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return OsError(errno, f.path);
  // A writer need not lock at all, and one that does may use another kind of
  // lock than ours. The lease makes a writer that opens the file from now on
  // wait, and shows it.
  const LeaseTaken lease = TakeWriteLease(fd);
  f.leased = lease == LeaseTaken::kTaken;
  if (lease == LeaseTaken::kHeldByOthers || LockedByOthers(fd)) return Busy(f.path);
  // Another program may have saved a new file under the name between our
  // open and our lock; this descriptor would then hold the replaced one.
  struct stat named;
  if (fstatat(folderFd, f.entry.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(named, f.taken))
    return Busy(f.path);
  return Succeeded();
}

IoResult<std::string> WorldFile::ReadAll(std::size_t limit) {
  const Impl& f = *m_impl;
  assert(f.file.valid() && "WorldFile::ReadAll() after TakeExclusive()");
  const IoError tooLarge{IoErrorKind::kTooLarge, EFBIG, f.path};
  // The size when the file was taken; should it have grown since (where no
  // lease keeps writers out), the read goes on to its end.
  if (static_cast<std::uint64_t>(f.taken.st_size) > limit) return tooLarge;
  // One byte more than the size, so that the end shows without growing.
  std::string bytes(static_cast<std::size_t>(f.taken.st_size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled > limit) return tooLarge;
    if (filled == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit + 1));
    const ssize_t got = pread(f.file.get(), bytes.data() + filled, std::min(bytes.size() - filled, kMaxRead),
                              static_cast<off_t>(filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      return OsError(errno, f.path);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

IoStatus WorldFile::ReplaceContent(std::string_view bytes) {
  const Impl& f = *m_impl;
  assert(f.file.valid() && "WorldFile::ReplaceContent() after TakeExclusive()");
  const int folderFd = f.entry.folder->fd.get();
  // Whether this user may change the file is its own permission's say, not
  // only the folder's, which is all a rename asks.
  if (faccessat(folderFd, f.entry.name.c_str(), W_OK, AT_EACCESS) != 0)
    return IoError{errno == EROFS ? IoErrorKind::kAccessDenied : IoErrorKind::kGeneric, errno, f.path};
  // Where names cannot be removed, a temporary file could never go again.
  if (f.writes->Refuses(f.entry.folder) || IsAppendOnlyOrImmutable(f.file.get()))
    return IoError{IoErrorKind::kAccessDenied, EPERM, f.path};

  const OriginalFile original{folderFd, f.entry.name, f.file.get(), f.taken, f.leased};
  ReplacementFile replacement;
  if (const int error = ReplacementFile::Create(original, &replacement); error != 0)
    return ReplacementError(error, true, f.path);
  int error = replacement.TakeOwner();
  if (error == 0) error = WriteAll(replacement.fd(), bytes, f.leased ? f.file.get() : -1);
  if (error == 0) error = replacement.TakePermissions();
  if (error == 0) error = replacement.Replace();
  if (error != 0) return ReplacementError(error, false, f.path);
  f.writes->Replaced(f.entry.folder, f.path);
  return Succeeded();
}

}  // namespace platform
