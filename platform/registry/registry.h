#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace platform {

// Win32 result codes of the registry calls.
enum RegistryResult : long {
  kRegistrySuccess = 0,
  kRegistryNotFound = 2,
  kRegistryMoreData = 234,
};

// Registry value type codes.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A key of the current user's hive opened for querying values. Closes itself.
class RegistryKey {
 public:
  struct Impl;
  explicit RegistryKey(std::unique_ptr<Impl> impl);
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  ~RegistryKey();

  const Impl& impl() const { return *m_impl; }

 private:
  std::unique_ptr<Impl> m_impl;
};

// RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE): the key named
// by `subKey` (ANSI, components separated by "\", compared ignoring case).
// nullopt when no such key exists. In a Wine prefix the hive is the prefix's
// user.reg; a missing or unreadable file holds no keys.
std::optional<RegistryKey> OpenCurrentUserKey(std::string_view subKey);

// RegQueryValueExA on an open key. On entry *size is the capacity of `data`;
// on return it is the size of the value's data in bytes (strings in the ANSI
// code page, their terminating zero included), also when the data does not
// fit. *type receives the type code (kRegNone when the value is missing).
//   kRegistrySuccess   the data was copied;
//   kRegistryMoreData  the data does not fit; `data` is left untouched;
//   kRegistryNotFound  no value of that name.
long QueryValue(const RegistryKey& key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                std::uint32_t* size);

}  // namespace platform
