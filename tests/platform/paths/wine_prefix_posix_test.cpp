#include "platform/paths/wine_prefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/platform/host_env_posix.h"
#include "tests/support/fake_home_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::WinePrefixOrigin;
using testing_support::FakeHome;
using testing_support::ScopedEnv;

TEST(WinePrefixFromEnvironment, IsWineprefixElseDotWineInTheHomeFolder) {
  FakeHome home;
  {
    ScopedEnv named("WINEPREFIX", "/somewhere/pfx/");
    EXPECT_EQ(platform::WinePrefixFromEnvironment()->hostPath, "/somewhere/pfx");
  }
  {
    // As the user means it: from where the program was started.
    testing_support::ScopedWorkingFolder here(home.path());
    ScopedEnv named("WINEPREFIX", "./prefixes/basic/");
    EXPECT_EQ(platform::WinePrefixFromEnvironment()->hostPath, home.path() + "/prefixes/basic");
    EXPECT_EQ(platform::WinePrefixFromEnvironment()->text, "~/prefixes/basic");
    EXPECT_EQ(platform::WinePrefixFromEnvironment()->origin, WinePrefixOrigin::kNamed);
  }
  EXPECT_EQ(platform::WinePrefixFromEnvironment()->hostPath, home.path() + "/.wine");
  EXPECT_EQ(platform::WinePrefixFromEnvironment()->origin, WinePrefixOrigin::kDefault);
  ScopedEnv noHome("HOME", nullptr);
  EXPECT_TRUE(platform::WinePrefixFromEnvironment()->hostPath.ends_with("/.wine")) << "the password database's";
}

TEST(OtherWinePrefixes, AreThePrefixesOfTheUsualPlacesInSearchOrder) {
  FakeHome home;
  for (const char* prefix : {".wine", ".wine32", ".wine-sapari", ".local/share/bottles/bottles/Sapari",
                             ".var/app/com.usebottles.bottles/data/bottles/bottles/Flat", "Games/cp",
                             ".PlayOnLinux/wineprefix/SAPARi", "elsewhere/.wine-not"})
    home.MakePrefix(prefix, false);
  fs::create_directories(home.path() + "/Games/no-drives");
  fs::create_directory_symlink(".wine-sapari", home.path() + "/.wine-zz-link");
  fs::create_directory_symlink(".wine", home.path() + "/.wine-default");

  std::vector<std::string> found;
  for (const platform::WinePrefixFolder& prefix : platform::OtherWinePrefixes()) {
    EXPECT_EQ(prefix.hostPath, home.path() + prefix.text.substr(1));
    found.push_back(prefix.text);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"~/.wine-sapari", "~/.wine32", "~/.local/share/bottles/bottles/Sapari",
                                             "~/.var/app/com.usebottles.bottles/data/bottles/bottles/Flat",
                                             "~/Games/cp", "~/.PlayOnLinux/wineprefix/SAPARi"}));
}

// A prefix needs dosdevices or drive_c; a named folder without them is named
// back to the user, but ~/.wine missing is no mistake of the user's.
TEST(FolderThatIsNoWinePrefix, IsANamedFolderWithoutDrives) {
  testing_support::TestPrefix prefix;
  fs::remove_all(prefix.root() + "/dosdevices");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
  fs::remove_all(prefix.root() + "/drive_c");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), prefix.root());
  platform::UseWinePrefix({prefix.root(), "~/.wine", WinePrefixOrigin::kDefault});
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
}

}  // namespace
