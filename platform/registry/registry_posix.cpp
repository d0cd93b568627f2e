// The current user's registry of a Wine prefix, read from its user.reg.
//
// The wineserver keeps the registry in memory and saves it to user.reg now
// and then; the file is what a new Wine process would start from. It is
// parsed once and kept until its bytes change.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/paths/file_stamp_posix.h"
#include "platform/paths/wine_path_posix.h"
#include "platform/registry/registry.h"
#include "platform/registry/user_reg.h"
#include "platform/text/code_page.h"

namespace platform {

struct RegistryKey::Impl {
  std::shared_ptr<const UserRegHive> hive;  // keeps `key` alive
  const UserRegKey* key = nullptr;
};

RegistryKey::RegistryKey(std::string name, std::unique_ptr<Impl> impl)
    : m_name(std::move(name)), m_impl(std::move(impl)) {}
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::~RegistryKey() = default;

namespace {

// A real user.reg is a few megabytes; anything this big is not one.
constexpr off_t kMaxUserRegBytes = off_t{256} << 20;

// The whole file as it is now, and its stamp; errno on failure.
int ReadWholeFile(const std::string& path, std::string* bytes, FileStamp* stamp) {
  // Non-blocking, should the file be a FIFO.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat status {};
  int error = 0;
  if (fstat(fd, &status) != 0)
    error = errno;
  else if (!S_ISREG(status.st_mode))
    error = EISDIR;
  else if (status.st_size > kMaxUserRegBytes)
    error = EFBIG;
  if (error == 0) {
    *stamp = StampOf(status);
    bytes->resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes->size()) {
      const ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = errno;
        break;
      }
      if (got == 0) break;  // shrunk meanwhile: what is there is the file now
      done += static_cast<std::size_t>(got);
    }
    bytes->resize(done);
  }
  close(fd);
  return error;
}

// The hive of the prefix's user.reg, parsed only when the file's bytes
// changed. A stamp that changed says the bytes may have; an unchanged stamp
// is trusted only once it is old enough (file_stamp_posix.h), and until then
// the bytes are read again and compared with those parsed.
class HiveCache {
 public:
  // The hive as user.reg holds it now, or the errno of reading it.
  std::variant<std::shared_ptr<const UserRegHive>, int> Current() {
    std::string path;
    if (!AppendWinePrefix(&path)) return ENOENT;
    path += "/user.reg";

    std::lock_guard<std::mutex> lock(m_mutex);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return errno;
    const bool samePath = m_hive && path == m_path;
    if (samePath && StampOf(status) == m_stamp && !ChangedRecently(m_stamp)) return m_hive;

    FileStamp stamp;
    if (const int error = ReadWholeFile(path, &m_scratch, &stamp); error != 0) return error;
    if (!samePath || m_scratch != m_bytes) {
      m_hive = ParseUserReg(m_scratch);
      m_bytes.swap(m_scratch);
      m_path = std::move(path);
    }
    m_stamp = stamp;
    return m_hive;
  }

 private:
  std::mutex m_mutex;
  std::string m_path;
  std::string m_bytes;    // what m_hive was parsed from
  std::string m_scratch;  // the bytes read last, kept for their capacity
  FileStamp m_stamp;      // of the file m_bytes were last read from
  std::shared_ptr<const UserRegHive> m_hive;
};

HiveCache& Cache() {
  static HiveCache cache;
  return cache;
}

std::shared_ptr<const UserRegHive> EmptyHive() {
  static const auto empty = std::make_shared<const UserRegHive>();
  return empty;
}

IoError NotFound(std::string path) { return IoError{IoErrorKind::kNotFound, ENOENT, std::move(path)}; }

bool IsStringType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// String data as the A call gives it: whole UTF-16 units (an odd last byte
// is dropped) converted to the ANSI code page.
std::string AnsiStringData(const std::vector<std::uint8_t>& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return Utf16ToAnsi(units);
}

}  // namespace

IoResult<RegistryKey> OpenCurrentUserKey(std::string_view subKey) {
  // An ANSI name ends at a zero byte; one inside names nothing, as on Windows.
  if (subKey.find('\0') != std::string_view::npos) return NotFound(std::string(subKey));
  if (!subKey.empty() && subKey.front() == '\\') return NotFound(std::string(subKey));
  auto current = Cache().Current();
  const int* error = std::get_if<int>(&current);
  // Without its file the hive still has its root, as HKEY_CURRENT_USER always opens.
  std::shared_ptr<const UserRegHive> hive = error ? EmptyHive() : std::get<0>(std::move(current));
  // Decoded as a whole before splitting: a DBCS trail byte 0x5C is not a separator.
  const UserRegKey* key = hive->FindKey(AnsiToUtf16(subKey));
  if (!key) return error ? OsError(*error, subKey) : NotFound(std::string(subKey));
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->hive = std::move(hive);
  impl->key = key;
  return RegistryKey(std::string(subKey), std::move(impl));
}

IoResult<RegistryValueInfo> QueryValue(const RegistryKey& key, std::string_view valueName, unsigned char* data,
                                       std::uint32_t capacity) {
  const UserRegValue* value =
      valueName.find('\0') == std::string_view::npos ? key.impl().key->FindValue(AnsiToUtf16(valueName)) : nullptr;
  if (!value) return NotFound(key.name() + "\\" + std::string(valueName));

  // String data as the A call gives it, converted to the ANSI code page.
  const bool isString = IsStringType(value->type);
  const std::string ansi = isString ? AnsiStringData(value->data) : std::string();
  const std::size_t size = isString ? ansi.size() : value->data.size();
  if (data && size > capacity) return IoError{IoErrorKind::kTooLarge, 0, key.name() + "\\" + std::string(valueName)};
  if (data && size) std::memcpy(data, isString ? static_cast<const void*>(ansi.data()) : value->data.data(), size);
  // Windows adds a terminator the stored string lacks, when there is room.
  if (data && isString && !ansi.empty() && size < capacity && ansi.back() != '\0') data[size] = 0;
  return RegistryValueInfo{value->type, static_cast<std::uint32_t>(size)};
}

}  // namespace platform
