#include "platform/registry/registry.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace platform {

struct RegistryKey::Impl {
  HKEY key = nullptr;
  ~Impl() {
    if (key) RegCloseKey(key);
  }
};

RegistryKey::RegistryKey(std::string name, std::unique_ptr<Impl> impl)
    : m_name(std::move(name)), m_impl(std::move(impl)) {}
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::~RegistryKey() = default;

IoResult<RegistryKey> OpenCurrentUserKey(std::string_view subKey) {
  if (subKey.find('\0') != std::string_view::npos) return OsError(ERROR_FILE_NOT_FOUND, subKey);
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, std::string(subKey).c_str(), 0, KEY_QUERY_VALUE, &key);
  if (result != ERROR_SUCCESS) return OsError(result, subKey);
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->key = key;
  return RegistryKey(std::string(subKey), std::move(impl));
}

IoResult<RegistryValueInfo> QueryValue(const RegistryKey& key, std::string_view valueName, unsigned char* data,
                                       std::uint32_t capacity) {
  const std::string path = key.name() + "\\" + std::string(valueName);
  if (valueName.find('\0') != std::string_view::npos) return OsError(ERROR_FILE_NOT_FOUND, path);
  // Windows may leave part of the data in a buffer that is too small. The
  // call writes into a copy of the caller's buffer, which goes back only on
  // success, exactly as written (a terminating zero may follow the reported
  // size). The copy is never empty: a null buffer would ask for the size only.
  std::vector<unsigned char> buffer(capacity + 1);
  if (data) std::memcpy(buffer.data(), data, capacity);
  DWORD valueType = REG_NONE;
  DWORD valueSize = capacity;
  const LONG result = RegQueryValueExA(key.impl().key, std::string(valueName).c_str(), nullptr, &valueType,
                                       data ? buffer.data() : nullptr, &valueSize);
  if (result == ERROR_MORE_DATA) return IoError{IoErrorKind::kTooLarge, static_cast<int>(result), path};
  if (result != ERROR_SUCCESS) return OsError(result, path);
  if (data) std::memcpy(data, buffer.data(), capacity);
  return RegistryValueInfo{valueType, valueSize};
}

}  // namespace platform
