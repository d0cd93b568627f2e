#include "platform/files/file_replacement_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {

namespace {

// Temporary names keep at most this much of the original name, so that the
// added prefix and suffix never push them past NAME_MAX.
constexpr std::size_t kMaxKeptName = 200;
constexpr int kTemporaryNameAttempts = 100;
// What tells this program's temporary files from every other file: a name
// ".<name>.~quietwalk-<process>-<number>.tmp". It starts with a dot and ends
// in ".tmp", so that it is never taken for a world file (not even by its
// 8.3 alias).
constexpr std::string_view kTemporaryMark = ".~quietwalk-";
constexpr std::string_view kTemporaryEnd = ".tmp";

std::string TemporaryName(std::string_view name) {
  static std::atomic<unsigned> counter{0};
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  char suffix[64];
  std::snprintf(
      suffix, sizeof suffix, "%x-%lx", static_cast<unsigned>(getpid()),
      (static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec) << 30) + counter.fetch_add(1));
  std::string temporary = ".";
  temporary.append(name.substr(0, kMaxKeptName));
  temporary.append(kTemporaryMark);
  temporary.append(suffix);
  temporary.append(kTemporaryEnd);
  return temporary;
}

bool IsHexRun(std::string_view text) {
  return !text.empty() && text.size() <= 16 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The process that made `name`, when it is a name TemporaryName gives.
std::optional<pid_t> MakerOfTemporary(std::string_view name) {
  if (name.size() < 2 || name[0] != '.' || !name.ends_with(kTemporaryEnd)) return std::nullopt;
  name.remove_suffix(kTemporaryEnd.size());
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || mark < 2) return std::nullopt;
  const std::string_view stamp = name.substr(mark + kTemporaryMark.size());
  const std::size_t dash = stamp.find('-');
  if (dash == std::string_view::npos || dash > 8 || !IsHexRun(stamp.substr(0, dash)) ||
      !IsHexRun(stamp.substr(dash + 1)))
    return std::nullopt;
  const auto pid = static_cast<pid_t>(std::strtoul(std::string(stamp.substr(0, dash)).c_str(), nullptr, 16));
  if (pid <= 0) return std::nullopt;
  return pid;
}

// A process of another user counts as running (EPERM): its number is taken.
bool ProcessRuns(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// Whether `name` in the folder is, by device and inode, the file `identity`
// describes.
bool NamesFile(int folderFd, const std::string& name, const struct stat& identity) {
  struct stat now;
  return fstatat(folderFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, identity);
}

// A lease holder is sent SIGIO when another process opens the file, and
// SIGIO ends a process by default. The lease is watched instead, so the
// signal is ignored, unless the process already handles it.
void IgnoreLeaseBreakSignal() {
  static const bool done = [] {
    struct sigaction current {};
    if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL && !(current.sa_flags & SA_SIGINFO))
      signal(SIGIO, SIG_IGN);
    return true;
  }();
  (void)done;
}

// The names of the extended attributes of `fd`, each ending in a NUL, into
// *names. Returns 0 or an errno value; a file system without them has none.
int ListAttributeNames(int fd, std::vector<char>* names) {
  names->resize(1024);
  for (;;) {
    const ssize_t size = flistxattr(fd, names->data(), names->size());
    if (size >= 0) {
      names->resize(static_cast<std::size_t>(size));
      return 0;
    }
    if (errno == ENOTSUP) {
      names->clear();
      return 0;
    }
    if (errno != ERANGE) return errno;
    const ssize_t needed = flistxattr(fd, nullptr, 0);
    if (needed < 0) return errno;
    names->resize(static_cast<std::size_t>(needed) + 1);
  }
}

template <typename Visit>
void ForEachName(const std::vector<char>& names, Visit visit) {
  for (std::size_t at = 0; at < names.size(); at += std::string_view(&names[at]).size() + 1)
    visit(std::string_view(&names[at]));
}

bool HasName(const std::vector<char>& names, std::string_view wanted) {
  bool found = false;
  ForEachName(names, [&](std::string_view name) { found = found || name == wanted; });
  return found;
}

int CopyAttribute(int from, int to, const char* name, std::vector<char>* value) {
  for (;;) {
    const ssize_t size = fgetxattr(from, name, value->data(), value->size());
    if (size >= 0) return fsetxattr(to, name, value->data(), static_cast<std::size_t>(size), 0) == 0 ? 0 : errno;
    if (errno != ERANGE) return errno;
    const ssize_t needed = fgetxattr(from, name, nullptr, 0);
    if (needed < 0) return errno;
    value->resize(static_cast<std::size_t>(needed) + 1);
  }
}

// Gives `to` exactly the extended attributes of `from`: those of `from`
// copied, any other removed. They hold what Wine keeps beyond the mode bits
// (hidden and system in user.DOSATTRIB), the ACL (system.posix_acl_access,
// which a new file inherits from its folder's default ACL whether or not the
// original had one) and security labels.
int CopyExtendedAttributes(int from, int to) {
  std::vector<char> wanted, present, value(256);
  if (int error = ListAttributeNames(from, &wanted); error != 0) return error;
  if (int error = ListAttributeNames(to, &present); error != 0) return error;
  int error = 0;
  ForEachName(wanted, [&](std::string_view name) {
    if (error == 0) error = CopyAttribute(from, to, name.data(), &value);
  });
  ForEachName(present, [&](std::string_view name) {
    if (error == 0 && !HasName(wanted, name) && fremovexattr(to, name.data()) != 0 && errno != ENODATA) error = errno;
  });
  return error;
}

}  // namespace

LeaseTaken TakeWriteLease(int fd) {
  IgnoreLeaseBreakSignal();
  if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) return LeaseTaken::kTaken;
  return errno == EAGAIN || errno == EBUSY ? LeaseTaken::kHeldByOthers : LeaseTaken::kUnavailable;
}

void ReleaseLease(int fd) { fcntl(fd, F_SETLEASE, F_UNLCK); }

// While an opener waits, the kernel reports the lease it is being broken to;
// once the wait has timed out, none.
bool LeaseBroken(int fd) { return fcntl(fd, F_GETLEASE) != F_WRLCK; }

bool IsAppendOnlyOrImmutable(int fd) {
  int flags = 0;
  return ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

int ReplacementFile::Create(const OriginalFile& original, ReplacementFile* file) {
  file->m_original = &original;
  constexpr mode_t kOwnerOnly = 0600;
  file->m_fd = ScopedFd(openat(original.folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, kOwnerOnly));
  // No O_TMPFILE on this file system: a named file, which a kill can leave.
  for (int attempt = 0; !file->m_fd.valid() && attempt < kTemporaryNameAttempts; ++attempt) {
    std::string temporary = TemporaryName(original.name);
    file->m_fd = ScopedFd(
        openat(original.folderFd, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly));
    if (file->m_fd.valid())
      file->m_temporary = std::move(temporary);
    else if (errno != EEXIST)
      return errno;
  }
  if (!file->m_fd.valid()) return EEXIST;
  if (fstat(file->fd(), &file->m_status) != 0) return errno;
  return 0;
}

ReplacementFile::~ReplacementFile() {
  if (!m_temporary.empty()) RemoveTemporaryIfItNames(m_status);
}

int ReplacementFile::TakeOwner() {
  const struct stat& wanted = m_original->status;
  // A file system without owners gives every file the same: nothing to do.
  if (m_status.st_uid == wanted.st_uid && m_status.st_gid == wanted.st_gid) return 0;
  if (fchown(fd(), wanted.st_uid, wanted.st_gid) == 0) return 0;
  // EINVAL: an owner this user namespace cannot name.
  return errno == EINVAL ? EPERM : errno;
}

int ReplacementFile::TakePermissions() {
  const struct stat& wanted = m_original->status;
  if (int error = CopyExtendedAttributes(m_original->fd, fd()); error != 0) return error;
  // Last, as it also sets the ACL's mask. A file system without Unix modes
  // refuses fchmod, but then every file there already has the same bits;
  // without the right to keep set-group-ID the kernel drops it quietly.
  const mode_t bits = wanted.st_mode & 07777;
  const int chmodError = fchmod(fd(), bits) == 0 ? 0 : errno;
  // Owner and group are the original's already (TakeOwner).
  if (chmodError == 0 && (bits & (S_ISUID | S_ISGID)) == 0) return 0;
  struct stat now;
  if (fstat(fd(), &now) != 0) return errno;
  if ((now.st_mode & 07777) != bits || now.st_uid != wanted.st_uid || now.st_gid != wanted.st_gid)
    return chmodError != 0 ? chmodError : EPERM;
  return 0;
}

int ReplacementFile::GiveTemporaryName() {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd());
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string temporary = TemporaryName(m_original->name);
    // By the descriptor where the process may (it may open any file by its
    // handle), else through /proc, whose lookup costs more.
    int linked = linkat(fd(), "", m_original->folderFd, temporary.c_str(), AT_EMPTY_PATH);
    if (linked != 0 && (errno == ENOENT || errno == EPERM))
      linked = linkat(AT_FDCWD, self, m_original->folderFd, temporary.c_str(), AT_SYMLINK_FOLLOW);
    if (linked == 0) {
      m_temporary = std::move(temporary);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

void ReplacementFile::RemoveTemporaryIfItNames(const struct stat& identity) {
  // Another program may have put a file of its own under the name (by a
  // rename of its own): only ours goes.
  if (NamesFile(m_original->folderFd, m_temporary, identity) &&
      unlinkat(m_original->folderFd, m_temporary.c_str(), 0) == 0)
    m_temporary.clear();
}

int ReplacementFile::ExchangeNames() {
  return renameat2(m_original->folderFd, m_temporary.c_str(), m_original->folderFd, m_original->name.c_str(),
                   RENAME_EXCHANGE) == 0
             ? 0
             : errno;
}

bool ReplacementFile::OpenedMeanwhile() const { return m_original->leased && LeaseBroken(m_original->fd); }

int ReplacementFile::Replace() {
  if (int error = Exchange(); error != 0) return error;
  return Settle();
}

int ReplacementFile::Exchange() {
  const OriginalFile& original = *m_original;
  if (fsync(fd()) != 0) return errno;
  // The name exists for the moment of the exchange only; a kill then leaves
  // a file that RemoveStaleTemporaries knows.
  if (m_temporary.empty())
    if (int error = GiveTemporaryName(); error != 0) return error;
  if (OpenedMeanwhile()) return EBUSY;
  const int exchanged = ExchangeNames();
  if (exchanged != EINVAL && exchanged != ENOSYS && exchanged != EOPNOTSUPP) return exchanged;
  // No exchange on this file system: a rename, which another program's
  // save or open made between this check and it would not see.
  if (!NamesFile(original.folderFd, original.name, original.status)) return ESTALE;
  if (renameat(original.folderFd, m_temporary.c_str(), original.folderFd, original.name.c_str()) != 0) return errno;
  m_temporary.clear();
  m_settled = true;
  return 0;
}

int ReplacementFile::Settle() {
  if (m_settled) return 0;
  const OriginalFile& original = *m_original;
  // What went out under the temporary name must be what was read, and no
  // program may have opened it to write in the meantime: its write would
  // land in a file about to go.
  const bool tookOriginal = NamesFile(original.folderFd, m_temporary, original.status);
  if (tookOriginal && !OpenedMeanwhile()) {
    if (unlinkat(original.folderFd, m_temporary.c_str(), 0) == 0) m_temporary.clear();
    return 0;
  }
  // What stood under the name goes back, unless another save of that
  // program has taken our place meanwhile. Ours keeps the temporary name
  // and goes with this object.
  if (NamesFile(original.folderFd, original.name, m_status)) ExchangeNames();
  return tookOriginal ? EBUSY : ESTALE;
}

void RemoveStaleTemporaries(int folderReadFd) {
  const int readFd = openat(folderReadFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = readFd < 0 ? nullptr : fdopendir(readFd);
  if (dir == nullptr) {
    if (readFd >= 0) close(readFd);
    return;
  }
  const uid_t self = geteuid();
  while (const dirent* entry = readdir(dir)) {
    const std::optional<pid_t> maker = MakerOfTemporary(entry->d_name);
    if (!maker || ProcessRuns(*maker)) continue;
    struct stat status;
    if (fstatat(folderReadFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
        status.st_uid == self)
      unlinkat(folderReadFd, entry->d_name, 0);
  }
  closedir(dir);
}

}  // namespace platform
