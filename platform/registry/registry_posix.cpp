// The current user's registry of a Wine prefix, read from its user.reg.
//
// The wineserver keeps the registry in memory and saves it to user.reg now
// and then; the file is what a new Wine process would start from. It is
// parsed once and kept until the file changes.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
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

RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::~RegistryKey() = default;

namespace {

// ERROR_INVALID_PARAMETER, for a buffer given without its size.
constexpr long kInvalidParameter = 87;

// A real user.reg is a few megabytes; anything this big is not one.
constexpr off_t kMaxUserRegBytes = off_t{256} << 20;

// Reads the whole file; false on any failure.
bool ReadWholeFile(int fd, off_t size, std::string* bytes) {
  bytes->resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes->size()) {
    ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;  // shrunk meanwhile; the identity check catches up later
    done += static_cast<std::size_t>(got);
  }
  bytes->resize(done);
  return true;
}

class HiveCache {
 public:
  // The hive of the prefix's user.reg as it is now; an empty one when the
  // file is missing or unreadable.
  std::shared_ptr<const UserRegHive> Current() {
    std::string path = WinePrefix();
    if (path.empty()) return Empty();
    path += "/user.reg";

    std::lock_guard<std::mutex> lock(m_mutex);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return Empty();
    if (m_hive && !m_mustReread && path == m_path && StampOf(status) == m_identity) return m_hive;
    return Load(path);
  }

 private:
  std::shared_ptr<const UserRegHive> Load(const std::string& path) {
    m_hive.reset();
    // Non-blocking, should the file turn into a FIFO between stat and open.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Empty();
    struct stat status {};
    std::string bytes;
    bool loaded = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kMaxUserRegBytes &&
                  ReadWholeFile(fd, status.st_size, &bytes);
    close(fd);
    if (!loaded) return Empty();
    m_path = path;
    m_identity = StampOf(status);
    m_mustReread = ChangedRecently(m_identity) || bytes.size() != static_cast<std::size_t>(status.st_size);
    m_hive = ParseUserReg(bytes);
    return m_hive;
  }

  static std::shared_ptr<const UserRegHive> Empty() {
    static const auto empty = std::make_shared<const UserRegHive>();
    return empty;
  }

  std::mutex m_mutex;
  std::string m_path;
  FileStamp m_identity;
  bool m_mustReread = false;
  std::shared_ptr<const UserRegHive> m_hive;
};

HiveCache& Cache() {
  static HiveCache cache;
  return cache;
}

bool IsStringType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// String data as the A call gives it: whole UTF-16 units (an odd last byte
// is dropped) converted to the ANSI code page.
std::string AnsiStringData(const std::vector<std::uint8_t>& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return Utf16ToAnsi(units);
}

}  // namespace

std::optional<RegistryKey> OpenCurrentUserKey(std::string_view subKey) {
  // An ANSI name ends at a zero byte; one inside names nothing, as on Windows.
  if (subKey.find('\0') != std::string_view::npos) return std::nullopt;
  if (!subKey.empty() && subKey.front() == '\\') return std::nullopt;
  // Decoded as a whole before splitting: a DBCS trail byte 0x5C is not a separator.
  std::u16string path = AnsiToUtf16(subKey);
  std::shared_ptr<const UserRegHive> hive = Cache().Current();
  const UserRegKey* key = hive->FindKey(path);
  if (!key) return std::nullopt;
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->hive = std::move(hive);
  impl->key = key;
  return RegistryKey(std::move(impl));
}

long QueryValue(const RegistryKey& key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                std::uint32_t* size) {
  if (data && !size) return kInvalidParameter;
  std::uint32_t capacity = size ? *size : 0;
  if (!data && size) *size = 0;
  if (type) *type = kRegNone;

  const UserRegValue* value =
      valueName.find('\0') == std::string_view::npos ? key.impl().key->FindValue(AnsiToUtf16(valueName)) : nullptr;
  if (!value) return kRegistryNotFound;

  long result = kRegistrySuccess;
  std::size_t needed = value->data.size();
  if (IsStringType(value->type)) {
    std::string ansi = AnsiStringData(value->data);
    needed = ansi.size();
    if (data && !ansi.empty()) {
      if (ansi.size() > capacity) {
        result = kRegistryMoreData;
      } else {
        std::memcpy(data, ansi.data(), ansi.size());
        // Windows adds a terminator the stored string lacks, when there is room.
        if (ansi.size() < capacity && ansi.back() != '\0') data[ansi.size()] = 0;
      }
    }
  } else if (data) {
    if (needed > capacity)
      result = kRegistryMoreData;
    else if (needed)
      std::memcpy(data, value->data.data(), needed);
  }
  if (type) *type = value->type;
  if (size) *size = static_cast<std::uint32_t>(needed);
  return result;
}

}  // namespace platform
