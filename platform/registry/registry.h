#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace platform {

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
  RegistryKey(std::string name, std::unique_ptr<Impl> impl);
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  ~RegistryKey();

  // The name it was opened by.
  const std::string& name() const { return m_name; }
  const Impl& impl() const { return *m_impl; }

 private:
  std::string m_name;
  std::unique_ptr<Impl> m_impl;
};

// RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE): the key named
// by `subKey` (ANSI, components separated by "\", compared ignoring case).
// The error's path is `subKey`:
//   kNotFound  no such key, or a name that cannot be one;
//   another kind when the hive cannot be read: in a Wine prefix the hive is
//              the prefix's user.reg, and the error then carries the errno
//              of reading it (no prefix in use: kNotFound).
IoResult<RegistryKey> OpenCurrentUserKey(std::string_view subKey);

// A value's type code and the size of its data in bytes: strings in the
// ANSI code page, their terminating zero included.
struct RegistryValueInfo {
  std::uint32_t type = kRegNone;
  std::uint32_t size = 0;
};

// RegQueryValueExA on an open key, into data[0, capacity); with a null
// `data`, only the value's type and size are asked for. The error's path is
// the key's name, a "\" and the value's name:
//   kNotFound  no value of that name;
//   kTooLarge  the data does not fit; `data` is left untouched.
IoResult<RegistryValueInfo> QueryValue(const RegistryKey& key, std::string_view valueName, unsigned char* data,
                                       std::uint32_t capacity);

}  // namespace platform
