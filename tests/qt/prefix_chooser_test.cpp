#include "qt/prefix_chooser.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>

#include "qt/qt_text.h"
#include "tests/support/fake_home_posix.h"

namespace {

// Two prefixes hold the browser: the chooser lists both, each with its
// browser's folder; the one picked is read, and Cancel ends the program.
TEST(PrefixChooserTest, ThePickIsUsedAndCancelEndsTheProgram) {
  testing_support::FakeHome home;
  home.MakePrefix(".wine-sapari", true);
  home.MakePrefix("Games/cp", true);
  for (const auto button : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&answerer, button] {
      auto* chooser = qobject_cast<CPrefixChooser*>(QApplication::activeModalWidget());
      if (!chooser || !chooser->isVisible()) return;
      answerer.stop();
      QTreeWidget* list = chooser->list();
      EXPECT_EQ(chooser->selectedIndex(), 0u);
      if (QTreeWidgetItem* second = list->topLevelItem(1)) {
        EXPECT_EQ(second->text(0), QStringLiteral("~/Games/cp"));
        EXPECT_EQ(second->text(1), QStringFromAnsi(testing_support::kFakeHomeBrowser));
        list->setCurrentItem(second);
      }
      chooser->findChild<QDialogButtonBox*>()->button(button)->click();
    });
    answerer.start(5);
    const bool picked = ChooseWinePrefixWithUser();
    EXPECT_EQ(picked, button == QDialogButtonBox::Ok);
    if (picked) {
      EXPECT_EQ(platform::WinePrefixInUse().text, "~/Games/cp");
    }
  }
}

}  // namespace
