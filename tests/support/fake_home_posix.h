#pragma once

// A throw-away home folder for tests of how the Wine prefix is found. Linux
// only.

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/paths/wine_prefix.h"
#include "tests/platform/host_env_posix.h"

namespace testing_support {

// HOME points at a new empty folder and WINEPREFIX is unset while the object
// lives; both, and the prefix in use, come back afterwards.
class FakeHome {
 public:
  FakeHome() : m_path(MakeFolder()), m_home("HOME", m_path.c_str()), m_winePrefix("WINEPREFIX", nullptr) {}
  ~FakeHome() {
    platform::UseWinePrefix(m_savedPrefix);
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  FakeHome(const FakeHome&) = delete;
  FakeHome& operator=(const FakeHome&) = delete;

  const std::string& path() const { return m_path; }

  // Makes the folder at `relative` a Wine prefix (drive_c, dosdevices/c:, an
  // empty user.reg), with the browser at its first fixed folder when asked
  // (also in a prefix made before). Returns its host path.
  std::string MakePrefix(std::string_view relative, bool withBrowser) const {
    namespace fs = std::filesystem;
    std::string prefix = m_path + "/" + std::string(relative);
    fs::create_directories(prefix + "/drive_c");
    fs::create_directories(prefix + "/dosdevices");
    if (!fs::is_symlink(prefix + "/dosdevices/c:"))
      fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    std::ofstream(prefix + "/user.reg") << "WINE REGISTRY Version 2\n";
    if (withBrowser) {
      const std::string bin = prefix + "/drive_c/Sony/Community Place Browser/bin";
      fs::create_directories(bin);
      std::ofstream(bin + "/cpbrowse.exe") << "MZ";
    }
    return prefix;
  }

 private:
  static std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quietwalk-home-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    // As getcwd() would name it, should the temporary folder be a link.
    return std::filesystem::canonical(pattern).string();
  }

  std::string m_path;
  ScopedEnv m_home;
  ScopedEnv m_winePrefix;
  platform::WinePrefixFolder m_savedPrefix = platform::WinePrefixInUse();
};

// The browser's folder that FakeHome::MakePrefix installs.
inline constexpr char kFakeHomeBrowser[] = "C:\\Sony\\Community Place Browser";

}  // namespace testing_support
