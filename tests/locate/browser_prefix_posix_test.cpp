#include "locate/browser_prefix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "locate/browser_directory.h"
#include "tests/platform/host_env_posix.h"
#include "tests/support/fake_home_posix.h"

// Which Wine prefix the program settles on at start-up, in homes holding
// each kind of prefix.
namespace {

using platform::WinePrefixInUse;
using platform::WinePrefixOrigin;
using testing_support::FakeHome;
using testing_support::kFakeHomeBrowser;
using testing_support::ScopedEnv;
using testing_support::ScopedWorkingFolder;

TEST(ChooseWinePrefixTest, ThePrefixWineprefixNamesIsTheOneMeant) {
  FakeHome home;
  home.MakePrefix(".wine", true);
  home.MakePrefix(".wine-sapari", true);
  const std::string named = home.MakePrefix("prefixes/basic", false);
  {
    ScopedEnv absolute("WINEPREFIX", named.c_str());
    EXPECT_TRUE(ChooseWinePrefix().empty());
    EXPECT_EQ(WinePrefixInUse().hostPath, named) << "though it holds no browser";
  }
  {
    ScopedWorkingFolder here(home.path());
    ASSERT_TRUE(here.changed());
    ScopedEnv relative("WINEPREFIX", "prefixes/basic");
    EXPECT_TRUE(ChooseWinePrefix().empty());
    EXPECT_EQ(WinePrefixInUse().hostPath, named);
    EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt);
  }
  ScopedEnv noPrefix("WINEPREFIX", (home.path() + "/prefixes").c_str());
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), "~/prefixes");
}

TEST(ChooseWinePrefixTest, DotWineHoldingTheBrowserEndsTheSearch) {
  FakeHome home;
  home.MakePrefix(".wine", true);
  home.MakePrefix(".wine-sapari", true);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().text, "~/.wine");
  EXPECT_EQ(GetBrowserDirectory(), kFakeHomeBrowser);
}

TEST(ChooseWinePrefixTest, TheOnePrefixHoldingTheBrowserIsUsed) {
  FakeHome home;
  home.MakePrefix(".wine", false);
  home.MakePrefix(".wine-other", false);
  home.MakePrefix("Games/community-place", true);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().text, "~/Games/community-place");
  EXPECT_EQ(WinePrefixInUse().origin, WinePrefixOrigin::kFound);
  EXPECT_EQ(GetBrowserDirectory(), kFakeHomeBrowser);
}

TEST(ChooseWinePrefixTest, SeveralHoldingTheBrowserAreOfferedInSearchOrder) {
  FakeHome home;  // and no ~/.wine at all
  home.MakePrefix(".local/share/bottles/bottles/Sapari", true);
  home.MakePrefix(".wine-empty", false);
  home.MakePrefix(".wine-sapari", true);
  const std::vector<BrowserPrefix> offered = ChooseWinePrefix();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].prefix.text, "~/.wine-sapari");
  EXPECT_EQ(offered[1].prefix.text, "~/.local/share/bottles/bottles/Sapari");
  EXPECT_EQ(offered[1].browserDirectory, kFakeHomeBrowser);
  EXPECT_EQ(WinePrefixInUse().text, "~/.wine") << "until the user picks one";
}

TEST(ChooseWinePrefixTest, NoneHoldingTheBrowserLeavesDotWineAndNamesThePlacesSearched) {
  FakeHome home;
  home.MakePrefix(".wine-empty", false);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().origin, WinePrefixOrigin::kDefault);
  EXPECT_EQ(GetBrowserDirectory(), "");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt) << "~/.wine is missing, and that is no mistake";
  const std::vector<std::string> searched = platform::WinePrefixesSearched();
  ASSERT_FALSE(searched.empty());
  EXPECT_EQ(searched.front(), "~/.wine");
  EXPECT_EQ(searched.size(), platform::WinePrefixSearchPlaces().size() + 1);
}

}  // namespace
