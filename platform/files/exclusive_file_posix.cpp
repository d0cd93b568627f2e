#include "platform/files/exclusive_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files/file_replacement_posix.h"
#include "platform/paths/wine_path_posix.h"

namespace platform {

namespace {

// Writes are issued in pieces no larger than this (Linux caps one write
// near 2 GiB anyway).
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

IoFailure FailureOf(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT: return IoFailure::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return IoFailure::kAccessDenied;
    case EIO: return IoFailure::kGeneric;
    default: return IoFailure::kOther;
  }
}

// The host path of the file `path` names, with every link resolved, so that
// a rename replaces a link's target and leaves the link itself alone.
std::optional<std::string> ResolvedHostPath(std::string_view path) {
  std::optional<std::string> host = HostPath(path);
  if (!host) return std::nullopt;
  char* resolved = realpath(host->c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  free(resolved);
  return result;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), std::min(bytes.size(), kMaxWrite));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Extended attributes hold what Wine keeps beyond the mode bits (hidden and
// system in user.DOSATTRIB), ACLs and security labels. Copied where the file
// system and the process allow; a name the target refuses is left out.
void CopyExtendedAttributes(int from, int to) {
  ssize_t listSize = flistxattr(from, nullptr, 0);
  if (listSize <= 0) return;
  std::vector<char> names(static_cast<std::size_t>(listSize));
  listSize = flistxattr(from, names.data(), names.size());
  if (listSize <= 0) return;
  std::vector<char> value;
  for (std::size_t at = 0; at < static_cast<std::size_t>(listSize); at += std::string_view(&names[at]).size() + 1) {
    const char* name = &names[at];
    ssize_t valueSize = fgetxattr(from, name, nullptr, 0);
    if (valueSize < 0) continue;
    value.resize(static_cast<std::size_t>(valueSize));
    valueSize = fgetxattr(from, name, value.data(), value.size());
    if (valueSize < 0) continue;
    fsetxattr(to, name, value.data(), static_cast<std::size_t>(valueSize), 0);
  }
}

// Gives the temporary file the original's owner and group. Only a
// privileged process may give a file away; a member of the file's group may
// still set the group, and does, so that the group keeps its access. A file
// whose group cannot be kept is not replaced (EPERM).
int KeepOwnerAndGroup(int fd, const struct stat& original) {
  if (fchown(fd, original.st_uid, original.st_gid) == 0) return 0;
  if (fchown(fd, static_cast<uid_t>(-1), original.st_gid) == 0) return 0;
  const int error = errno;
  // A file system without owners refuses both, and gives every file the
  // same group anyway.
  struct stat now;
  if (fstat(fd, &now) == 0 && now.st_gid == original.st_gid) return 0;
  return error == EINVAL ? EPERM : error;
}

// Gives the temporary file the original's mode bits and extended
// attributes, after its content is written (a write may clear some of them).
// The mode bits must match in the end: a file system without Unix modes
// refuses fchmod, but then every file there already has the same bits.
int TakeOverModeAndAttributes(int fd, int originalFd, const struct stat& original) {
  const mode_t bits = original.st_mode & 07777;
  if (fchmod(fd, bits) != 0) {
    int error = errno;
    struct stat now;
    if (fstat(fd, &now) != 0 || (now.st_mode & 07777) != bits) return error;
  }
  CopyExtendedAttributes(originalFd, fd);
  return 0;
}

// A lease holder is sent SIGIO when another process opens the file, and
// SIGIO ends a process by default. The opener waits for us in any case, so
// the signal is ignored, unless the process already handles it.
void IgnoreLeaseBreakSignal() {
  static const bool done = [] {
    struct sigaction current {};
    if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL && !(current.sa_flags & SA_SIGINFO))
      signal(SIGIO, SIG_IGN);
    return true;
  }();
  (void)done;
}

// Takes a write lease on `fd`, which the kernel grants only while no other
// descriptor (of any process) has the file open, and which makes a later
// opener wait until the lease goes. False when another opener is there;
// true also where leases are not to be had (a file of another owner without
// CAP_LEASE, a file system without leases), which then count on the probes.
bool LeaseForWriting(int fd) {
  IgnoreLeaseBreakSignal();
  if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) return true;
  return errno != EAGAIN && errno != EBUSY;
}

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

}  // namespace

struct ExclusiveFile::Impl {
  ScopedFd file;     // the world file itself, locked while this lives
  ScopedFd folder;   // the folder that holds it, links resolved
  std::string name;  // its name in that folder
  struct stat status {};
};

ExclusiveFile::ExclusiveFile(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ExclusiveFile::ExclusiveFile(ExclusiveFile&&) noexcept = default;
ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&&) noexcept = default;
ExclusiveFile::~ExclusiveFile() = default;

std::optional<ExclusiveFile> ExclusiveFile::Open(std::string_view path) {
  std::optional<std::string> resolved = ResolvedHostPath(path);
  if (!resolved) return std::nullopt;
  std::size_t slash = resolved->rfind('/');
  if (slash == std::string::npos || slash + 1 == resolved->size()) return std::nullopt;
  std::string folderPath = slash == 0 ? "/" : resolved->substr(0, slash);

  auto impl = std::make_unique<Impl>();
  impl->name = resolved->substr(slash + 1);
  impl->folder = ScopedFd(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!impl->folder.valid()) return std::nullopt;
  RemoveStaleTemporaries(impl->folder.get(), folderPath);
  // Opening a device can have effects of its own (a tape rewinds), so only
  // what looks like a regular file is opened at all.
  struct stat named;
  if (fstatat(impl->folder.get(), impl->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode))
    return std::nullopt;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  impl->file = ScopedFd(
      openat(impl->folder.get(), impl->name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!impl->file.valid()) return std::nullopt;
  if (fstat(impl->file.get(), &impl->status) != 0 || !S_ISREG(impl->status.st_mode)) return std::nullopt;
  if (flock(impl->file.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
  // A writer need not lock at all, and one that does may use another kind of
  // lock than ours: its later writes would go to the replaced file and be
  // lost. The lease is held until this object goes.
  if (!LeaseForWriting(impl->file.get()) || LockedByOthers(impl->file.get())) return std::nullopt;
  // Another opener may have put new content in place between our open and
  // our lock; this descriptor would then hold the replaced file.
  if (fstatat(impl->folder.get(), impl->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      named.st_dev != impl->status.st_dev || named.st_ino != impl->status.st_ino)
    return std::nullopt;
  return ExclusiveFile(std::move(impl));
}

IoFailure ExclusiveFile::ReadAll(std::string* bytes, std::size_t limit) {
  bytes->clear();
  struct stat now;
  if (fstat(m_impl->file.get(), &now) != 0) return FailureOf(errno);
  if (static_cast<std::uint64_t>(now.st_size) > limit) return IoFailure::kTooLarge;
  // One byte more than the size, so that the end shows without growing.
  bytes->resize(static_cast<std::size_t>(now.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled > limit) {
      bytes->clear();
      return IoFailure::kTooLarge;
    }
    if (filled == bytes->size()) bytes->resize(std::min(bytes->size() * 2, limit + 1));
    ssize_t got = pread(m_impl->file.get(), bytes->data() + filled, std::min(bytes->size() - filled, kMaxWrite),
                        static_cast<off_t>(filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      bytes->clear();
      return FailureOf(error);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes->resize(filled);
  return IoFailure::kNone;
}

IoFailure ExclusiveFile::ReplaceContent(std::string_view bytes) {
  Impl& impl = *m_impl;
  // The rename needs write permission on the folder only; whether this user
  // may change the file is its own permission's say.
  if (faccessat(impl.folder.get(), impl.name.c_str(), W_OK, AT_EACCESS) != 0)
    return errno == EROFS ? IoFailure::kAccessDenied : IoFailure::kGeneric;
  int error = 0;
  ReplacementFile out = ReplacementFile::Create(impl.folder.get(), impl.name, impl.status.st_mode & 0777, &error);
  if (!out.valid()) {
    // Not being able to open for writing is a generic failure unless the
    // reason has a kind of its own (a full disk, a read-only mount).
    IoFailure failure = FailureOf(error);
    return failure == IoFailure::kOther ? IoFailure::kGeneric : failure;
  }
  error = KeepOwnerAndGroup(out.fd(), impl.status);
  if (error == 0) error = WriteAll(out.fd(), bytes);
  if (error == 0) error = TakeOverModeAndAttributes(out.fd(), impl.file.get(), impl.status);
  if (error == 0 && fsync(out.fd()) != 0) error = errno;
  if (error == 0) error = out.Replace(impl.status);
  // Another program's save stands under the name now: ours gave way to it.
  if (error == ESTALE) return IoFailure::kGeneric;
  if (error != 0) return FailureOf(error);
  // Makes the rename itself durable. Its failure is not reported: the new,
  // flushed content already stands under the name, and a failure result
  // would claim that the old content was still there.
  fsync(impl.folder.get());
  return IoFailure::kNone;
}

}  // namespace platform
