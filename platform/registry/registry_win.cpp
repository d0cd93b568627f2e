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

RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::~RegistryKey() = default;

std::optional<RegistryKey> OpenCurrentUserKey(std::string_view subKey) {
  if (subKey.find('\0') != std::string_view::npos) return std::nullopt;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, std::string(subKey).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return std::nullopt;
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->key = key;
  return RegistryKey(std::move(impl));
}

long QueryValue(const RegistryKey& key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                std::uint32_t* size) {
  *type = kRegNone;
  if (valueName.find('\0') != std::string_view::npos) return kRegistryNotFound;
  // Windows may leave part of the data in a buffer that is too small. The
  // call writes into a copy of the caller's buffer, which goes back only on
  // success, exactly as written (a terminating zero may follow the reported
  // size). The copy is never empty: a null buffer would ask for the size only.
  const std::uint32_t capacity = *size;
  std::vector<unsigned char> buffer(capacity + 1);
  if (data) std::memcpy(buffer.data(), data, capacity);
  DWORD valueType = REG_NONE;
  DWORD valueSize = *size;
  const LONG result = RegQueryValueExA(key.impl().key, std::string(valueName).c_str(), nullptr, &valueType,
                                       data ? buffer.data() : nullptr, &valueSize);
  // Type and size as the call left them, whatever it answered.
  *type = valueType;
  *size = valueSize;
  if (result == ERROR_SUCCESS && data) std::memcpy(data, buffer.data(), capacity);
  return result;
}

}  // namespace platform
