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
using testing_support::FakeHome;
using testing_support::ScopedEnv;

TEST(ChooseWinePrefixTest, ThePrefixWineprefixNamesIsTheOneMeant) {
  FakeHome home;
  home.MakePrefix(".wine", true);
  const std::string named = home.MakePrefix("prefixes/basic", false);
  {
    testing_support::ScopedWorkingFolder here(home.path());
    ScopedEnv relative("WINEPREFIX", "prefixes/basic");
    EXPECT_TRUE(ChooseWinePrefix().empty());
    EXPECT_EQ(WinePrefixInUse().hostPath, named) << "though it holds no browser";
    EXPECT_EQ(platform::WinePrefixesSearched(), std::vector<std::string>{"~/prefixes/basic"});
  }
  ScopedEnv noPrefix("WINEPREFIX", (home.path() + "/prefixes").c_str());
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), "~/prefixes");
}

TEST(ChooseWinePrefixTest, DotWineElseTheOnlyPrefixHoldingTheBrowser) {
  FakeHome home;
  home.MakePrefix(".wine", false);
  home.MakePrefix(".wine-other", false);
  home.MakePrefix("Games/cp", true);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().text, "~/Games/cp");
  EXPECT_EQ(GetBrowserDirectory(), testing_support::kFakeHomeBrowser);

  home.MakePrefix(".wine", true);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().text, "~/.wine");
}

TEST(ChooseWinePrefixTest, SeveralHoldingTheBrowserAreOfferedInSearchOrder) {
  FakeHome home;  // no ~/.wine at all
  home.MakePrefix(".local/share/bottles/bottles/Sapari", true);
  home.MakePrefix(".wine-sapari", true);
  const std::vector<BrowserPrefix> offered = ChooseWinePrefix();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].prefix.text, "~/.wine-sapari");
  EXPECT_EQ(offered[1].prefix.text, "~/.local/share/bottles/bottles/Sapari");
  EXPECT_EQ(offered[1].browserDirectory, testing_support::kFakeHomeBrowser);
  EXPECT_EQ(WinePrefixInUse().text, "~/.wine") << "until the user picks one";
}

TEST(ChooseWinePrefixTest, NoneHoldingTheBrowserLeavesDotWineAndNamesThePlacesSearched) {
  FakeHome home;
  home.MakePrefix(".wine-empty", false);
  EXPECT_TRUE(ChooseWinePrefix().empty());
  EXPECT_EQ(WinePrefixInUse().text, "~/.wine");
  EXPECT_EQ(platform::FolderThatIsNoWinePrefix(), std::nullopt) << "~/.wine is missing, and that is no mistake";
  std::vector<std::string> searched = {"~/.wine"};
  for (const std::string& place : platform::WinePrefixSearchPlaces()) searched.push_back(place);
  EXPECT_EQ(platform::WinePrefixesSearched(), searched);
}

}  // namespace
