#include "qt/hidden_anim_dlg.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "qt/dialog_builder.h"
#include "qt/qt_text.h"
#include "ui/resource.h"

namespace {

AnimationControl* Animation(const CHiddenAnimDlg& dialog) {
  return qobject_cast<AnimationControl*>(FindDialogItem(dialog, IDC_HIDDEN_ANIMATE));
}

// Runs the dialog modally, calls `look` once it is up, then ends it with `end`.
int RunDialog(CHiddenAnimDlg& dialog, const std::function<void()>& look, const std::function<void()>& end) {
  QTimer::singleShot(0, &dialog, [&] {
    look();
    end();
  });
  return dialog.DoModal();
}

TEST(HiddenAnimDialog, HasNoCaptionOrControlsBeforeItRuns) {
  CHiddenAnimDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), "");
  EXPECT_EQ(Animation(dialog), nullptr);
  // The template at its own base units: the clip's size and a pixel to spare.
  EXPECT_EQ(dialog.size(), QSize(DialogUnitsToPixelsX(HiddenAnimDialogTemplate().cx, kTemplateBaseUnits),
                                 DialogUnitsToPixelsY(HiddenAnimDialogTemplate().cy, kTemplateBaseUnits)));
}

TEST(HiddenAnimDialog, PlaysTheRoomUnderCaptionQuestionMarks) {
  CHiddenAnimDlg dialog;
  bool looked = false;
  const int code = RunDialog(
      dialog,
      [&] {
        looked = true;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.windowTitle(), QStringFromAnsi(kHiddenDialogCaption));
        AnimationControl* animation = Animation(dialog);
        ASSERT_NE(animation, nullptr);
        EXPECT_EQ(animation->parentWidget(), &dialog);
        EXPECT_TRUE(animation->isVisible());
        EXPECT_EQ(animation->geometry(), ToQRect(kHiddenAnimationRect));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(animation)->role(), QAccessible::Animation);
        EXPECT_EQ(animation->FrameCount(), 159);
        EXPECT_EQ(animation->ClipSize(), ToQRect(kHiddenAnimationRect).size());
        EXPECT_EQ(animation->FrameTime(), 41667);  // 24 frames a second
        EXPECT_TRUE(animation->IsPlaying());
        EXPECT_FALSE(animation->CurrentImage().isNull());
      },
      [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  EXPECT_TRUE(looked);
  EXPECT_EQ(code, kIdCancel);
  ASSERT_NE(Animation(dialog), nullptr);
  EXPECT_FALSE(Animation(dialog)->IsPlaying());
}

TEST(HiddenAnimDialog, ClosesWithItsCloseBoxAndOpensAgain) {
  CHiddenAnimDlg dialog;
  EXPECT_EQ(RunDialog(
                dialog, [] {}, [&] { dialog.close(); }),
            kIdCancel);
  EXPECT_EQ(RunDialog(
                dialog, [&] { EXPECT_TRUE(Animation(dialog)->IsPlaying()); }, [&] { dialog.close(); }),
            kIdCancel);
}

TEST(HiddenAnimDialog, IsCentredOnTheScreen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  CHiddenAnimDlg dialog;
  QPoint centre;
  RunDialog(
      dialog, [&] { centre = dialog.frameGeometry().center(); }, [&] { dialog.close(); });
  const QPoint expected = screen->availableGeometry().center();
  // Within what a window frame may add on one side.
  EXPECT_LE((centre - expected).manhattanLength(), 10) << centre.x() << "," << centre.y();
}

}  // namespace
