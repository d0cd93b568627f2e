#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/wine_prefix.h"

namespace testing_support {

// A throw-away Wine prefix for one test: drive_c, dosdevices/c: -> ../drive_c,
// dosdevices/z: -> /, and a user.reg holding no keys. It is the prefix in use
// (platform::UseWinePrefix) while the object lives, and the one before comes
// back afterwards; the folder is removed at the end. A program a test starts
// is told it in WINEPREFIX. On Windows (under Wine) the test already runs in a throw-away prefix,
// and the same calls act on it through the Win32 API.
//
// Windows paths given to it are UTF-8 ("C:\\Sony\\さぱり") and name the
// host file exactly as spelt: no case folding, so tests can make names that
// differ only in case.
class TestPrefix {
 public:
  TestPrefix();
  ~TestPrefix();
  TestPrefix(const TestPrefix&) = delete;
  TestPrefix& operator=(const TestPrefix&) = delete;

  // The prefix folder on the host (Linux) or "C:\" (Windows).
  const std::string& root() const { return m_root; }

  // Host path of a Windows path on drive C: (Linux: <prefix>/drive_c/...).
  std::string HostPath(std::string_view windowsPath) const;

  // Creates the file (and its missing parent folders) with these bytes.
  void WriteFile(std::string_view windowsPath, std::string_view bytes = {}) const;
  void MakeFolder(std::string_view windowsPath) const;
  std::string ReadFile(std::string_view windowsPath) const;

  // Sets a value under HKEY_CURRENT_USER, creating the key. Names are UTF-8;
  // `data` is the raw registry data (UTF-16LE for string types).
  void SetRegistryValue(std::string_view key, std::string_view name, std::uint32_t type,
                        const std::vector<std::uint8_t>& data);
  // A REG_SZ of UTF-8 text, stored as UTF-16LE with its terminating zero.
  void SetRegistryString(std::string_view key, std::string_view name, std::string_view text);
  // Creates a key with no values.
  void MakeRegistryKey(std::string_view key);

#ifndef _WIN32
  // Replaces user.reg by these exact bytes (Linux only: tests of the reader).
  void WriteUserReg(std::string_view bytes) const;
#endif

 private:
  std::string m_root;
#ifndef _WIN32
  platform::WinePrefixFolder m_savedWinePrefix;
#endif
  struct RegistryValue {
    std::string key, name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  std::vector<RegistryValue> m_registry;  // Linux: rewritten into user.reg on each change
  std::vector<std::string> m_emptyKeys;
  void SaveRegistry() const;
#ifdef _WIN32
  // What the destructor removes: the outermost file or folder, and the
  // outermost registry key, that each call had to create.
  mutable std::vector<std::string> m_createdPaths;
  std::vector<std::string> m_createdKeys;
#endif
};

// UTF-16LE bytes of UTF-8 text, with a terminating zero unit when asked.
std::vector<std::uint8_t> Utf16LeBytes(std::string_view utf8, bool terminate = true);

// A folder of real third-party world files, or empty when it is not there
// (tests that need it skip). QUIETWALK_CORPUS overrides where it is looked for.
std::string CorpusFolder();

}  // namespace testing_support
