#include "platform/files/file_replacement_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>

namespace platform {

namespace {

// Temporary names keep at most this much of the original name, so that the
// added prefix and suffix never push them past NAME_MAX.
constexpr std::size_t kMaxKeptName = 200;
constexpr int kTemporaryNameAttempts = 100;
constexpr std::string_view kTemporaryEnd = ".tmp";

// A name no other file of the folder is likely to have; O_EXCL (or link's
// EEXIST) settles the rare clash. Starts with a dot and ends in ".tmp", so
// that it is never taken for a world file (not even by its 8.3 alias), and
// names the process that made it, so that a later run can tell a leftover.
std::string TemporaryName(std::string_view name) {
  static std::atomic<unsigned> counter{0};
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%x-%lx-%x", static_cast<unsigned>(getpid()),
                static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec), counter.fetch_add(1));
  std::string temporary = ".";
  temporary.append(name.substr(0, kMaxKeptName));
  temporary.append(suffix);
  temporary.append(kTemporaryEnd);
  return temporary;
}

bool IsHexRun(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The process that made `name`, when it is a name TemporaryName gives.
std::optional<pid_t> MakerOfTemporary(std::string_view name) {
  if (name.size() < 2 || name[0] != '.' || !name.ends_with(kTemporaryEnd)) return std::nullopt;
  name.remove_suffix(kTemporaryEnd.size());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < 2) return std::nullopt;
  const std::string_view stamp = name.substr(dot + 1);
  const std::size_t first = stamp.find('-');
  const std::size_t second = first == std::string_view::npos ? first : stamp.find('-', first + 1);
  if (second == std::string_view::npos || !IsHexRun(stamp.substr(0, first)) ||
      !IsHexRun(stamp.substr(first + 1, second - first - 1)) || !IsHexRun(stamp.substr(second + 1)) || first > 8)
    return std::nullopt;
  const auto pid = static_cast<pid_t>(std::strtoul(std::string(stamp.substr(0, first)).c_str(), nullptr, 16));
  if (pid <= 0) return std::nullopt;
  return pid;
}

bool ProcessRuns(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `name` in the folder is, by device and inode, the file `original`.
bool NamesFile(int folderFd, const std::string& name, const struct stat& original) {
  struct stat now;
  return fstatat(folderFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, original);
}

}  // namespace

int ScopedFd::Close() {
  int fd = m_fd;
  m_fd = -1;
  // On Linux the descriptor is gone even when close is interrupted.
  if (fd >= 0 && close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

void ScopedFd::Reset() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

ReplacementFile ReplacementFile::Create(int folderFd, std::string_view name, mode_t mode, int* error) {
  ReplacementFile file(folderFd, std::string(name));
  file.m_fd = ScopedFd(openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (file.valid()) return file;
  // No O_TMPFILE on this file system: a named file, which a kill can leave.
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string temporary = TemporaryName(name);
    file.m_fd =
        ScopedFd(openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (file.valid()) {
      file.m_temporary = std::move(temporary);
      return file;
    }
    if (errno != EEXIST) break;
  }
  *error = errno;
  return file;
}

ReplacementFile::~ReplacementFile() {
  if (!m_temporary.empty()) unlinkat(m_folderFd, m_temporary.c_str(), 0);
}

int ReplacementFile::GiveTemporaryName() {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd.get());
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string temporary = TemporaryName(m_name);
    int linked = linkat(AT_FDCWD, self, m_folderFd, temporary.c_str(), AT_SYMLINK_FOLLOW);
    // Without /proc only a process allowed to open any file by its handle
    // may name an open file.
    if (linked != 0 && errno == ENOENT) linked = linkat(m_fd.get(), "", m_folderFd, temporary.c_str(), AT_EMPTY_PATH);
    if (linked == 0) {
      m_temporary = std::move(temporary);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int ReplacementFile::Replace(const struct stat& original) {
  // The name exists for the two calls below only; a kill between them leaves
  // a file that RemoveStaleTemporaries knows.
  if (m_temporary.empty())
    if (int error = GiveTemporaryName(); error != 0) return error;
  if (int error = m_fd.Close(); error != 0) return error;
  const char* temporary = m_temporary.c_str();
  if (renameat2(m_folderFd, temporary, m_folderFd, m_name.c_str(), RENAME_EXCHANGE) == 0) {
    // What went out under the temporary name must be what was read: another
    // program may have saved the file (by a rename of its own) meanwhile.
    if (!NamesFile(m_folderFd, m_temporary, original)) {
      // Their save goes back; should that fail, it keeps the temporary name
      // rather than be removed with it.
      if (renameat2(m_folderFd, temporary, m_folderFd, m_name.c_str(), RENAME_EXCHANGE) != 0) m_temporary.clear();
      return ESTALE;
    }
    // The old file goes now, before the caller makes the folder durable.
    unlinkat(m_folderFd, temporary, 0);
    m_temporary.clear();
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // No exchange on this file system: a rename, whose window for a lost save
  // is the time between this check and it.
  if (!NamesFile(m_folderFd, m_name, original)) return ESTALE;
  if (renameat(m_folderFd, temporary, m_folderFd, m_name.c_str()) != 0) return errno;
  m_temporary.clear();
  return 0;
}

void RemoveStaleTemporaries(int folderFd, const std::string& resolvedPath) {
  static std::mutex mutex;
  // By path: a folder made anew under another name may get a removed
  // folder's inode.
  static std::set<std::string> cleaned;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!cleaned.insert(resolvedPath).second) return;
  }
  const int readFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = readFd < 0 ? nullptr : fdopendir(readFd);
  if (dir == nullptr) {
    if (readFd >= 0) close(readFd);
    return;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::optional<pid_t> maker = MakerOfTemporary(entry->d_name);
    if (!maker || ProcessRuns(*maker)) continue;
    struct stat status;
    if (fstatat(folderFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
      unlinkat(folderFd, entry->d_name, 0);
  }
  closedir(dir);
}

}  // namespace platform
