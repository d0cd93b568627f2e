// The main dialog before OK: what initialisation finds and shows, its layout,
// and the ways to close it.
#include "qt/quietwalk_dlg.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths/program_name.h"
#include "qt/dialog_builder.h"
#include "qt/message_box.h"
#include "qt/qt_text.h"
#include "tests/qt/dialog_fixture.h"
#include "ui/resource.h"
#include "ui/string_table.h"

using namespace testing_support;

namespace {

// No world file: message 104 while the dialog is still hidden, then the
// program ends without the dialog ever showing and without a worker.
TEST_F(DialogTest, EmptyWorldFolderShowsMessage104AndNeverShowsTheDialog) {
  InstallBrowser();
  m_prefix.MakeFolder(kFixedWorld);
  auto dialog = std::make_unique<TestDlg>();
  m_watched = dialog.get();

  const int code = dialog->RunWith([](TestDlg&) { ADD_FAILURE() << "the modal loop ran"; });

  EXPECT_EQ(code, kIdCancel);
  ASSERT_EQ(m_boxes.boxes().size(), 1u);
  const ShownBox& box = m_boxes.boxes()[0];
  EXPECT_EQ(box.text, LoadResourceString(IDS_NO_WORLD_FILES));
  EXPECT_EQ(box.caption, platform::ProgramName());
  EXPECT_EQ(box.icon, MessageIcon::kWarning);
  EXPECT_EQ(m_visibleAtBox, std::vector<bool>{false});
  EXPECT_EQ(dialog->shows, 0);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->behaviour().worker(), nullptr);
  EXPECT_EQ(dialog->behaviour().worldDir(), kFixedWorld);
  // Initialisation still ran to its end.
  EXPECT_EQ(dialog->GetSystemMenu()->ItemText(IDM_ABOUTBOX), QStringFromAnsi(LoadResourceString(IDS_ABOUTBOX)));
  EXPECT_TRUE(dialog->RadioButton(IDC_RADIO_NO_BUMPS)->isChecked());
  dialog.reset();
  EXPECT_EQ(m_boxes.boxes().size(), 1u);
}

// Without a browser the scan looks at \world on the current drive; the
// sandbox's current drive has none, so message 104, followed by the prefix
// searched, ends the program too.
TEST_F(DialogTest, MissingBrowserEndsWithMessage104) {
  if (std::filesystem::exists(std::filesystem::path("/") / "world"))
    GTEST_SKIP() << "this host has a folder world at its root";
  TestDlg dialog;
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(dialog.behaviour().worldDir(), "\\world");
  ASSERT_EQ(m_boxes.boxes().size(), 1u);
  EXPECT_EQ(m_boxes.boxes()[0].text.rfind(LoadResourceString(IDS_NO_WORLD_FILES) + "\n\n", 0), 0u)
      << m_boxes.boxes()[0].text;
  EXPECT_EQ(dialog.shows, 0);
}

TEST_F(DialogTest, ShowsBothChoicesWithNoBumpsPreselected) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([&](TestDlg& shown) {
    EXPECT_TRUE(shown.isVisible());
    EXPECT_EQ(shown.windowTitle(), QStringFromAnsi(MainDialogTemplate().caption));
    EXPECT_EQ(shown.behaviour().files().size(), 2u);
    QRadioButton* bumpsBack = shown.RadioButton(IDC_RADIO_BUMPS_BACK);
    QRadioButton* noBumps = shown.RadioButton(IDC_RADIO_NO_BUMPS);
    EXPECT_EQ(bumpsBack->text(), QStringFromAnsi(LoadResourceString(IDS_RADIO_BUMPS_BACK)));
    EXPECT_EQ(noBumps->text(), QStringFromAnsi(LoadResourceString(IDS_RADIO_NO_BUMPS)));
    EXPECT_FALSE(bumpsBack->isChecked());
    EXPECT_TRUE(noBumps->isChecked());
    EXPECT_EQ(shown.behaviour().restoreBumps(), 0);

    // The dialog's font for everything but radio 1002, which shows in the
    // system's default font.
    EXPECT_EQ(bumpsBack->font().families().value(0), "MS Sans Serif");
    EXPECT_EQ(noBumps->font().family(), QApplication::font().family());
    EXPECT_EQ(noBumps->font().pointSizeF(), QApplication::font().pointSizeF());
    EXPECT_NE(noBumps->font().families().value(0), "MS Sans Serif");
    shown.reject();
  });
  EXPECT_TRUE(m_boxes.boxes().empty());
}

TEST_F(DialogTest, LastRadioClickedDecidesTheMode) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    QTest::mouseClick(shown.RadioButton(IDC_RADIO_BUMPS_BACK), Qt::LeftButton);
    EXPECT_EQ(shown.behaviour().restoreBumps(), 1);
    EXPECT_TRUE(shown.RadioButton(IDC_RADIO_BUMPS_BACK)->isChecked());
    EXPECT_FALSE(shown.RadioButton(IDC_RADIO_NO_BUMPS)->isChecked());
    QTest::mouseClick(shown.RadioButton(IDC_RADIO_NO_BUMPS), Qt::LeftButton);
    EXPECT_EQ(shown.behaviour().restoreBumps(), 0);
    EXPECT_FALSE(shown.RadioButton(IDC_RADIO_BUMPS_BACK)->isChecked());
    shown.reject();
  });
}

// The template in pixels, each figure mapped on its own; icons at their own
// size, controls in tab order, and the run's animation waiting empty.
TEST_F(DialogTest, LaysOutTheTemplateInPixels) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    const DialogTemplate& main = MainDialogTemplate();
    const DialogBaseUnits base = shown.baseUnits();
    EXPECT_EQ(shown.size(), QSize(DialogUnitsToPixelsX(main.cx, base), DialogUnitsToPixelsY(main.cy, base)));
    EXPECT_EQ(shown.minimumSize(), shown.maximumSize());
    std::vector<QWidget*> templateOrder;
    for (const DialogItemTemplate& item : main.items) {
      QWidget* control = shown.GetDlgItem(item.id);
      ASSERT_NE(control, nullptr) << item.id;
      templateOrder.push_back(control);
      const PixelRect rect = MapDialogRect(item.rect, base);
      if (item.kind == DialogItemKind::kIcon)
        EXPECT_EQ(control->geometry(), QRect(rect.x, rect.y, 32, 32)) << item.id;
      else
        EXPECT_EQ(control->geometry(), ToQRect(rect)) << item.id;
    }

    auto* ok = qobject_cast<QPushButton*>(shown.GetDlgItem(kIdOk));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), "OK");

    std::vector<QWidget*> tabOrder;
    QWidget* next = templateOrder.front();
    for (size_t i = 0; i < templateOrder.size(); ++i, next = next->nextInFocusChain()) tabOrder.push_back(next);
    EXPECT_EQ(tabOrder, templateOrder);

    auto* animation = qobject_cast<AnimationControl*>(shown.GetDlgItem(IDC_ANIMATE));
    ASSERT_NE(animation, nullptr);
    const PixelRect place = ScaleTemplatePixels({kAnimationX, kAnimationY, 0, 0}, base);
    EXPECT_EQ(animation->pos(), QPoint(place.x, place.y));
    EXPECT_EQ(animation->Style() & (AnimationControl::kTransparent | AnimationControl::kAutoPlay),
              AnimationControl::kTransparent | AnimationControl::kAutoPlay);
    EXPECT_EQ(animation->FrameCount(), 0);

    EXPECT_FALSE(shown.windowIcon().isNull());
    EXPECT_EQ(shown.windowIcon().cacheKey(), shown.m_hIcon.cacheKey());
    shown.reject();
  });
}

// Esc, the close box and the window menu's Close all end the dialog before
// OK; not one file is written, changed or added.
TEST_F(DialogTest, ClosingBeforeOkTouchesNoFile) {
  InstallWorlds();
  const auto before = Snapshot();
  const std::vector<std::function<void(TestDlg&)>> ways = {
      [](TestDlg& shown) { QTest::keyClick(&shown, Qt::Key_Escape); },
      [](TestDlg& shown) { shown.close(); },
      [](TestDlg& shown) {
        WithSystemMenu([&] { QTest::mouseClick(shown.windowHandle(), Qt::RightButton, {}, QPoint(10, 100)); },
                       [](SystemMenu* menu) {
                         ASSERT_NE(menu, nullptr);
                         Choose(menu, kScClose);
                       });
      },
  };
  for (size_t way = 0; way < ways.size(); ++way) {
    auto dialog = std::make_unique<TestDlg>();
    EXPECT_EQ(dialog->RunWith(ways[way]), kIdCancel) << way;
    EXPECT_EQ(dialog->behaviour().worker(), nullptr) << way;
    dialog.reset();
    EXPECT_EQ(Snapshot(), before) << way;
  }
  EXPECT_TRUE(m_boxes.boxes().empty());
}

}  // namespace
