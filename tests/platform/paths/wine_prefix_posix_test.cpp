#include "platform/paths/wine_prefix.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/platform/host_env_posix.h"
#include "tests/support/fake_home_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::WinePrefixFolder;
using platform::WinePrefixOrigin;
using testing_support::FakeHome;
using testing_support::ScopedEnv;
using testing_support::ScopedWorkingFolder;
using testing_support::TestPrefix;

TEST(WinePrefixFromEnvironment, IsWineprefixElseDotWineInTheHomeFolder) {
  FakeHome home;
  {
    ScopedEnv named("WINEPREFIX", "/somewhere/pfx/");
    const std::optional<WinePrefixFolder> prefix = platform::WinePrefixFromEnvironment();
    ASSERT_TRUE(prefix);
    EXPECT_EQ(prefix->hostPath, "/somewhere/pfx");
    EXPECT_EQ(prefix->text, "/somewhere/pfx");
    EXPECT_EQ(prefix->origin, WinePrefixOrigin::kNamed);
  }
  {
    // As the user means it, from where the program was started.
    ScopedWorkingFolder here(home.path());
    ASSERT_TRUE(here.changed());
    ScopedEnv named("WINEPREFIX", "./prefixes/basic/");
    const std::optional<WinePrefixFolder> prefix = platform::WinePrefixFromEnvironment();
    ASSERT_TRUE(prefix);
    EXPECT_EQ(prefix->hostPath, home.path() + "/prefixes/basic");
    EXPECT_EQ(prefix->text, "~/prefixes/basic");
    EXPECT_EQ(prefix->origin, WinePrefixOrigin::kNamed);
  }
  const std::optional<WinePrefixFolder> byDefault = platform::WinePrefixFromEnvironment();
  ASSERT_TRUE(byDefault);
  EXPECT_EQ(byDefault->hostPath, home.path() + "/.wine");
  EXPECT_EQ(byDefault->text, "~/.wine");
  EXPECT_EQ(byDefault->origin, WinePrefixOrigin::kDefault);

  ScopedEnv noHome("HOME", nullptr);
  const std::optional<WinePrefixFolder> fromPasswd = platform::WinePrefixFromEnvironment();
  ASSERT_TRUE(fromPasswd);
  EXPECT_TRUE(fromPasswd->hostPath.ends_with("/.wine")) << fromPasswd->hostPath;
}

TEST(OtherWinePrefixes, AreThePrefixesInTheUsualPlacesInSearchOrder) {
  FakeHome home;
  for (const char* prefix : {".wine", ".wine32", ".wine-sapari", ".local/share/bottles/bottles/Sapari",
                             ".var/app/com.usebottles.bottles/data/bottles/bottles/Flat", "Games/community-place",
                             ".PlayOnLinux/wineprefix/SAPARi", "elsewhere/.wine-not"})
    home.MakePrefix(prefix, false);
  fs::create_directories(home.path() + "/.wine-empty");                          // no drives
  fs::create_directories(home.path() + "/Games/a-game");                         // no drives
  fs::create_directory_symlink(".wine-sapari", home.path() + "/.wine-zz-link");  // seen already
  fs::create_directory_symlink(".wine", home.path() + "/.wine-default");         // ~/.wine itself

  std::vector<std::string> found;
  for (const WinePrefixFolder& prefix : platform::OtherWinePrefixes()) {
    EXPECT_EQ(prefix.origin, WinePrefixOrigin::kFound);
    EXPECT_EQ(prefix.hostPath, home.path() + prefix.text.substr(1));
    found.push_back(prefix.text);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"~/.wine-sapari", "~/.wine32", "~/.local/share/bottles/bottles/Sapari",
                                             "~/.var/app/com.usebottles.bottles/data/bottles/bottles/Flat",
                                             "~/Games/community-place", "~/.PlayOnLinux/wineprefix/SAPARi"}));

  // Each is named by the place it was found in, and the places come in order.
  const std::vector<std::string> places = platform::WinePrefixSearchPlaces();
  std::size_t place = 0;
  for (const std::string& text : found) {
    while (place < places.size() && fnmatch(places[place].c_str(), text.c_str(), FNM_PATHNAME | FNM_PERIOD) != 0)
      ++place;
    EXPECT_LT(place, places.size()) << text << " is in no place searched, or out of order";
  }
}

TEST(WinePrefixesSearched, AreTheNamedPrefixElseEveryPlace) {
  FakeHome home;
  platform::UseWinePrefix({home.path() + "/.wine", "~/.wine", WinePrefixOrigin::kDefault});
  std::vector<std::string> everywhere = {"~/.wine"};
  for (const std::string& place : platform::WinePrefixSearchPlaces()) everywhere.push_back(place);
  EXPECT_EQ(platform::WinePrefixesSearched(), everywhere);
  platform::UseWinePrefix({});
  EXPECT_EQ(platform::WinePrefixesSearched(), everywhere) << "no home folder known";

  platform::UseWinePrefix({"/x/pfx", "/x/pfx", WinePrefixOrigin::kNamed});
  EXPECT_EQ(platform::WinePrefixesSearched(), std::vector<std::string>{"/x/pfx"});
}

// A prefix needs dosdevices or drive_c; a named folder without them is named
// back to the user. ~/.wine missing is no mistake of the user's.
TEST(FolderThatIsNoWinePrefix, IsANamedFolderWithoutDrives) {
  TestPrefix prefix;
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
  fs::remove_all(prefix.root() + "/dosdevices");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
  fs::remove_all(prefix.root() + "/drive_c");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), prefix.root());

  platform::UseWinePrefix({"/no/such/pfx", "~/pfx", WinePrefixOrigin::kNamed});
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), "~/pfx");
  platform::UseWinePrefix({"/no/such/pfx", "~/.wine", WinePrefixOrigin::kDefault});
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
}

}  // namespace
