#pragma once

// The one way the platform layer reports a failed operation on a file, a
// folder or the registry: what kind of failure it was, the system's own code
// and the path it concerns. Host codes (errno, GetLastError()) never travel
// above platform/ on their own.

#include <cassert>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace platform {

enum class IoErrorKind {
  kNotFound,      // nothing there: ENOENT, ENOTDIR; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
  kAccessDenied,  // EACCES, EPERM, EROFS; ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT
  kDiskFull,      // ENOSPC, EDQUOT; ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL
  kBusy,          // another program holds, locks, opens or saves the file
  kNotAFile,      // a folder, a FIFO or a device where a regular file is needed
  kOutside,       // leads out of the folder it must stay in
  kTooLarge,      // more bytes than the reader takes
  kGeneric,       // EIO; the other read and write failures of Windows
  kOther,         // anything else
};

struct [[nodiscard]] IoError {
  IoErrorKind kind = IoErrorKind::kOther;
  int osCode = 0;    // errno or GetLastError(); 0 when the program itself found the fault
  std::string path;  // the path it concerns, as the caller named it (a Windows path above platform/)
};

// The kind of a host error code: errno on Linux, a Win32 error on Windows.
IoErrorKind KindOfOsError(int osCode);

inline IoError OsError(int osCode, std::string_view path) {
  return IoError{KindOfOsError(osCode), osCode, std::string(path)};
}

// A value, or the IoError that kept it from being had.
template <typename T>
class [[nodiscard]] IoResult {
 public:
  IoResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}        // NOLINT: implicit by design
  IoResult(IoError error) : m_state(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return m_state.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() {
    assert(ok() && "IoResult::value() of a failed result");
    return std::get<0>(m_state);
  }
  const T& value() const {
    assert(ok() && "IoResult::value() of a failed result");
    return std::get<0>(m_state);
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }

  const IoError& error() const {
    assert(!ok() && "IoResult::error() of a result that holds a value");
    return std::get<1>(m_state);
  }

 private:
  std::variant<T, IoError> m_state;
};

// The result of an operation that gives nothing back but success.
struct Done {};
using IoStatus = IoResult<Done>;
inline IoStatus Succeeded() { return Done{}; }

}  // namespace platform
