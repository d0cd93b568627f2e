#pragma once

// An open descriptor, closed when this object goes. Linux only, and only
// for platform/.

#include <errno.h>
#include <unistd.h>

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
  // Closes now and gives close's own failure (delayed write errors of
  // network and quota-checking file systems arrive there), else 0. On Linux
  // the descriptor is gone even when close is interrupted.
  int Close() {
    const int fd = std::exchange(m_fd, -1);
    if (fd >= 0 && close(fd) != 0 && errno != EINTR) return errno;
    return 0;
  }
  void Reset() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
};

}  // namespace platform
