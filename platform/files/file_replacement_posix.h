#pragma once

// Putting new content in a file's place without a moment in which the name
// holds a partial file, and without losing a save another program made
// meanwhile. Linux only, and only for platform/.

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <utility>

namespace platform {

class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) : m_fd(fd) {}
  ~ScopedFd() { Reset(); }
  ScopedFd(ScopedFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
      Reset();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  // Closes now and reports close's own failure (delayed write errors of
  // network and quota-checking file systems arrive here).
  int Close();
  void Reset();

 private:
  int m_fd;
};

// A file made to replace another in the same folder. Until Replace() it has
// no name where the file system allows (O_TMPFILE), so that a killed process
// leaves nothing behind; elsewhere it has a temporary name (see
// RemoveStaleTemporaries), removed again when this object goes.
class ReplacementFile {
 public:
  // A new, empty file in `folderFd` with the permission bits `mode`, to
  // replace the file `name`. Invalid on failure, with the reason in *error.
  static ReplacementFile Create(int folderFd, std::string_view name, mode_t mode, int* error);

  ReplacementFile(ReplacementFile&& other) noexcept
      : m_folderFd(other.m_folderFd),
        m_name(std::move(other.m_name)),
        m_temporary(std::exchange(other.m_temporary, {})),
        m_fd(std::move(other.m_fd)) {}
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ~ReplacementFile();

  bool valid() const { return m_fd.valid(); }
  int fd() const { return m_fd.get(); }

  // Closes the file and puts it in the place of `name`, but only while
  // `name` still is the file `original` describes (device and inode): a file
  // another program put there meanwhile is left in place (ESTALE). Returns 0
  // or an errno value; on failure the original stays.
  int Replace(const struct stat& original);

 private:
  ReplacementFile(int folderFd, std::string name) : m_folderFd(folderFd), m_name(std::move(name)) {}
  int GiveTemporaryName();

  int m_folderFd;
  std::string m_name;       // the name of the file replaced
  std::string m_temporary;  // its own name in the folder, empty while it has none
  ScopedFd m_fd;
};

// Removes the temporary files that ReplacementFile left in the folder when
// their process ended before it could (killed, or the machine went down).
// Only the files of processes that no longer run are removed, and a folder
// (by its host path, links resolved) is looked at once per process.
void RemoveStaleTemporaries(int folderFd, const std::string& resolvedPath);

}  // namespace platform
