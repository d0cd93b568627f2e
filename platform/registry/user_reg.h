#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The text form of a Wine registry hive (a prefix's user.reg), read into
// memory the way the wineserver loads it. Pure text processing: no file or
// system access, so it can be fed any bytes.
namespace platform {

// One value. String data is kept as Windows keeps it: UTF-16LE bytes,
// including the terminating zero unit the file format implies.
struct UserRegValue {
  std::u16string name;  // spelt as it was first seen
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// A key: its name, sub-keys and values, both found ignoring case.
class UserRegKey {
 public:
  explicit UserRegKey(std::u16string name) : m_name(std::move(name)) {}
  UserRegKey(const UserRegKey&) = delete;
  UserRegKey& operator=(const UserRegKey&) = delete;

  const std::u16string& name() const { return m_name; }
  std::size_t subKeyCount() const { return m_subKeys.size(); }
  std::size_t valueCount() const { return m_values.size(); }

  // The sub-key of that name, or null.
  const UserRegKey* FindSubKey(std::u16string_view name) const;
  // The value of that name (empty = the default value), or null.
  const UserRegValue* FindValue(std::u16string_view name) const;

  // The sub-key of that name, created when missing.
  UserRegKey& SubKey(std::u16string_view name);
  // The value of that name, created (type 0, no data) when missing; an
  // existing one keeps its spelling.
  UserRegValue& Value(std::u16string_view name);

 private:
  std::u16string m_name;
  // Both maps are keyed by the name folded to upper case.
  std::unordered_map<std::u16string, std::unique_ptr<UserRegKey>> m_subKeys;
  std::unordered_map<std::u16string, UserRegValue> m_values;
};

// A whole hive. Its root is the key the file's paths are relative to
// (HKEY_CURRENT_USER for user.reg).
class UserRegHive {
 public:
  UserRegHive() : m_root(std::u16string()) {}

  const UserRegKey& root() const { return m_root; }
  UserRegKey& root() { return m_root; }

  // The key at `path`, components separated by '\' as RegOpenKeyEx takes
  // them: doubled and trailing separators are accepted, a leading one is not
  // (null), and an empty path is the root. Components compare ignoring case.
  const UserRegKey* FindKey(std::u16string_view path) const;

 private:
  UserRegKey m_root;
};

// Reads the text of a registry file. A first line other than
// "WINE REGISTRY Version 2" gives an empty hive; malformed lines are skipped
// as Wine skips them, and whatever could be read is kept. Never throws on bad
// input; memory stays proportional to the input's size.
std::unique_ptr<UserRegHive> ParseUserReg(std::string_view text);

}  // namespace platform
