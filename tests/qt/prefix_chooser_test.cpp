#include "qt/prefix_chooser.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "locate/browser_directory.h"
#include "qt/qt_text.h"
#include "tests/support/fake_home_posix.h"

namespace {

using platform::WinePrefixOrigin;
using testing_support::FakeHome;
using testing_support::kFakeHomeBrowser;

// Acts on the chooser once it is up, as the user would.
class ChooserAnswerer {
 public:
  explicit ChooserAnswerer(std::function<void(CPrefixChooser&)> answer) : m_answer(std::move(answer)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      auto* chooser = qobject_cast<CPrefixChooser*>(QApplication::activeModalWidget());
      if (!chooser || !chooser->isVisible()) return;
      m_timer.stop();
      m_answer(*chooser);
    });
    m_timer.start(5);
  }

 private:
  std::function<void(CPrefixChooser&)> m_answer;
  QTimer m_timer;
};

void Press(CPrefixChooser& chooser, QDialogButtonBox::StandardButton which) {
  chooser.findChild<QDialogButtonBox*>()->button(which)->click();
}

TEST(PrefixChooserTest, ShowsEachPrefixWithItsBrowserFolderTheFirstSelected) {
  const std::vector<BrowserPrefix> choices = {
      {{"/home/me/.wine-sapari", "~/.wine-sapari", WinePrefixOrigin::kFound}, "C:\\Sony\\Community Place Browser"},
      {{"/home/me/Games/cp", "~/Games/cp", WinePrefixOrigin::kFound}, "D:\\CPB\\"},
  };
  CPrefixChooser chooser(choices);
  QTreeWidget* list = chooser.list();
  ASSERT_EQ(list->topLevelItemCount(), 2);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(list->topLevelItem(row)->text(0), QStringFromAnsi(choices[row].prefix.text));
    EXPECT_EQ(list->topLevelItem(row)->text(1), QStringFromAnsi(choices[row].browserDirectory));
  }
  EXPECT_EQ(chooser.selectedIndex(), 0u);
  list->setCurrentItem(list->topLevelItem(1));
  EXPECT_EQ(chooser.selectedIndex(), 1u);
}

// Several prefixes hold the browser: the one picked is read; cancelling
// tells the program to end.
TEST(PrefixChooserTest, ThePickIsUsedAndCancelEndsTheProgram) {
  FakeHome home;
  home.MakePrefix(".wine-sapari", true);
  home.MakePrefix("Games/cp", true);
  {
    ChooserAnswerer pickSecond([](CPrefixChooser& chooser) {
      chooser.list()->setCurrentItem(chooser.list()->topLevelItem(1));
      Press(chooser, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(ChooseWinePrefixWithUser());
  }
  EXPECT_EQ(platform::WinePrefixInUse().text, "~/Games/cp");
  EXPECT_EQ(GetBrowserDirectory(), kFakeHomeBrowser);

  ChooserAnswerer cancel([](CPrefixChooser& chooser) { Press(chooser, QDialogButtonBox::Cancel); });
  EXPECT_FALSE(ChooseWinePrefixWithUser());
}

// One prefix or none: nothing to ask.
TEST(PrefixChooserTest, AsksNothingUnlessSeveralHoldTheBrowser) {
  FakeHome home;
  home.MakePrefix(".wine-sapari", true);
  bool asked = false;
  ChooserAnswerer cancel([&asked](CPrefixChooser& chooser) {
    asked = true;
    Press(chooser, QDialogButtonBox::Cancel);
  });
  EXPECT_TRUE(ChooseWinePrefixWithUser());
  EXPECT_FALSE(asked);
  EXPECT_EQ(platform::WinePrefixInUse().text, "~/.wine-sapari");
}

}  // namespace
