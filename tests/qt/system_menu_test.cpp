// The main dialog's window menu: its entries, the ways to open it, the About
// box, and Shift turning the About entry into the hidden animation.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "product/product_text.h"
#include "qt/animation_control.h"
#include "qt/qt_text.h"
#include "qt/system_menu.h"
#include "tests/qt/dialog_fixture.h"
#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/string_table.h"

using namespace testing_support;

namespace {

// What came up as a modal window over the dialog: noted, then closed, so
// that the command that opened it can return.
struct SeenModal {
  bool seen = false;
  QString title;
  QSize clientSize;
  int frames = -1;
  QSize clipSize;
  int frameTime = -1;
  bool playing = false;
  QString text;
};

// Notes and closes the next modal window other than `dialog` as soon as it
// is shown, for the life of the object.
class ModalCloser final : public QObject {
 public:
  ModalCloser(const QWidget* dialog, SeenModal* seen) : m_dialog(dialog), m_seen(seen) {
    qApp->installEventFilter(this);
  }
  ~ModalCloser() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && window && window->isWindow() && window->isModal() && window != m_dialog &&
        !m_seen->seen) {
      m_seen->seen = true;
      // Once it runs its own loop: closed from there, its exec returns.
      QTimer::singleShot(0, window, [this, window] { NoteAndClose(window); });
    }
    return false;
  }

 private:
  void NoteAndClose(QWidget* modal) {
    m_seen->title = modal->windowTitle();
    m_seen->clientSize = modal->size();
    if (auto* animation = modal->findChild<AnimationControl*>()) {
      m_seen->frames = animation->FrameCount();
      m_seen->clipSize = animation->ClipSize();
      m_seen->frameTime = animation->FrameTime();
      m_seen->playing = animation->IsPlaying();
    }
    for (QLabel* label : modal->findChildren<QLabel*>()) m_seen->text += label->text();
    modal->close();
  }

  const QWidget* m_dialog;
  SeenModal* m_seen;
};

QString AboutLabel() { return QStringFromAnsi(LoadResourceString(IDS_ABOUTBOX)); }

TEST_F(DialogTest, WindowMenuHoldsCloseAndTheAboutEntryOnce) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    const QList<QAction*> items = shown.GetSystemMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(SystemMenu::Command(items[0]), kScClose);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(SystemMenu::Command(items[2]), static_cast<unsigned>(IDM_ABOUTBOX));
    EXPECT_EQ(items[2]->text(), AboutLabel());

    // Alt+Space opens it; choosing About goes to OnSysCommand, shows the
    // About box and leaves the dialog open.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    SeenModal about;
    ModalCloser aboutCloser(&shown, &about);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_Space, Qt::AltModifier); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     Choose(menu, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(shown.commands, std::vector<unsigned>{IDM_ABOUTBOX});
    EXPECT_EQ(about.title, QStringFromAnsi(AboutDialogTemplate().caption));
    EXPECT_TRUE(shown.isVisible());

    // Shift+F10 and the Menu key open it as well. Shift, let go with the
    // menu up, no longer turns About into the hidden animation.
    shown.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    SeenModal aboutAgain;
    ModalCloser aboutAgainCloser(&shown, &aboutAgain);
    QTest::keyPress(&shown, Qt::Key_Shift);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_F10, Qt::ShiftModifier); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "??");
                     QTest::keyRelease(menu, Qt::Key_Shift);
                     EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), AboutLabel());
                     Choose(menu, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(aboutAgain.title, QStringFromAnsi(AboutDialogTemplate().caption));
    shown.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    WithSystemMenu([&] { QTest::keyClick(shown.windowHandle(), Qt::Key_Menu); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     menu->close();
                   });

    // A right click opens it too; Close ends the dialog as cancelled.
    WithSystemMenu([&] { QTest::mouseClick(shown.windowHandle(), Qt::RightButton, {}, QPoint(300, 100)); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     Choose(menu, kScClose);
                   });
    EXPECT_EQ(shown.commands, (std::vector<unsigned>{IDM_ABOUTBOX, IDM_ABOUTBOX, kScClose}));
    EXPECT_FALSE(shown.isVisible());
  });
  EXPECT_EQ(dialog.result(), kIdCancel);
  EXPECT_EQ(dialog.GetSystemMenu()->actions().size(), 3);
}

// Shift held over the dialog turns the About entry into "??", and choosing
// it then plays the hidden clip instead; the entry reads AboutLabel() again
// afterwards. Shift pressed and released before choosing: the About box.
TEST_F(DialogTest, ShiftHeldSwapsTheAboutBoxForTheHiddenAnimation) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    SystemMenu* menu = shown.GetSystemMenu();

    // As the keyboard sends it: Shift, then Space with Shift and Alt held,
    // over the focused OK button, which must not take the Space.
    shown.GetDlgItem(kIdOk)->setFocus();
    QTest::keyPress(&shown, Qt::Key_Shift);
    SeenModal hidden;
    ModalCloser hiddenCloser(&shown, &hidden);
    QString labelWhileHeld;
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_Space, Qt::ShiftModifier | Qt::AltModifier); },
                   [&](SystemMenu* open) {
                     ASSERT_NE(open, nullptr);
                     labelWhileHeld = open->ItemText(IDM_ABOUTBOX);
                     Choose(open, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(labelWhileHeld, "??");
    EXPECT_EQ(shown.behaviour().worker(), nullptr);
    ASSERT_TRUE(hidden.seen);
    EXPECT_EQ(hidden.title, QStringFromAnsi(kHiddenDialogCaption));
    // The clip keeps its pixels, and the dialog holds it whole.
    EXPECT_GE(hidden.clientSize.width(), kHiddenAnimationRect.cx);
    EXPECT_GE(hidden.clientSize.height(), kHiddenAnimationRect.cy);
    EXPECT_EQ(hidden.frames, 159);
    EXPECT_EQ(hidden.clipSize, QSize(kHiddenAnimationRect.cx, kHiddenAnimationRect.cy));
    EXPECT_EQ(hidden.frameTime, 41667);
    EXPECT_TRUE(hidden.playing);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), AboutLabel());
    QTest::keyRelease(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), AboutLabel());

    shown.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    QTest::keyPress(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "??");
    QTest::keyRelease(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), AboutLabel());
    SeenModal about;
    ModalCloser aboutCloser(&shown, &about);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_Space, Qt::AltModifier); },
                   [](SystemMenu* open) {
                     ASSERT_NE(open, nullptr);
                     Choose(open, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(about.title, QStringFromAnsi(AboutDialogTemplate().caption));
    EXPECT_EQ(about.text, QStringFromAnsi(AboutText()));
    shown.reject();
  });
}

}  // namespace
