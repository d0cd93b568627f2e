// Text that fits, as Windows dialogs fit it: the main dialog laid out from
// its font's base units and grown for what it shows, message boxes that show
// a long path whole, and names for assistive technology.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

#include "qt/dialog_builder.h"
#include "qt/message_box.h"
#include "qt/qt_text.h"
#include "qt/quietwalk_dlg.h"
#include "run/batch_run.h"
#include "tests/qt/run_fixture.h"
#include "ui/resource.h"
#include "ui/string_table.h"

using namespace testing_support;

namespace {

// The desktop's font at `points` for the life of the object.
class DesktopFont {
 public:
  explicit DesktopFont(qreal points) : m_saved(QApplication::font()) {
    QFont font = m_saved;
    font.setPointSizeF(points);
    QApplication::setFont(font);
  }
  ~DesktopFont() { QApplication::setFont(m_saved); }
  DesktopFont(const DesktopFont&) = delete;
  DesktopFont& operator=(const DesktopFont&) = delete;

 private:
  QFont m_saved;
};

struct RunLayout {
  QSize dialog;
  bool checked = false;
};

// Runs the dialog to its summary and checks, there, that every text it
// shows fits whole and nothing overlaps.
RunLayout CheckRunLayout() {
  TestPrefix prefix;
  RunDialog dialog(nullptr, StandInWorlds(prefix, 1, [] { return kPatchDone; }));
  RunLayout seen;
  RecordingPresenter presenter([&](const ShownBox&) {
    seen.dialog = dialog.size();
    seen.checked = true;
    const QRect client = dialog.rect();
    for (int id : {IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS, kIdOk}) {
      const QWidget* control = dialog.GetDlgItem(id);
      EXPECT_LE(TextNeeds(*control).width(), control->width()) << id;
      EXPECT_LE(TextNeeds(*control).height(), control->height()) << id;
      EXPECT_TRUE(client.contains(control->geometry())) << id;
    }
    // Radio 1002, in the desktop's font, ends before the turtle.
    const QWidget* noBumps = dialog.GetDlgItem(IDC_RADIO_NO_BUMPS);
    EXPECT_LE(noBumps->x() + TextNeeds(*noBumps).width(), dialog.m_animate.x());
    EXPECT_TRUE(client.contains(dialog.m_animate.geometry()));

    // The label, in the dialog's font, holds the longest count on one line,
    // and meets neither the bar, the turtle nor OK.
    const QLabel& status = dialog.m_status;
    EXPECT_EQ(status.font(), dialog.font());
    const QString longest =
        QStringFromAnsi(FormatNumbers(LoadResourceString(IDS_STATUS_FILE_K_OF_N), {999999, 999999}));
    EXPECT_LE(TextNeeds(status.font(), longest).width(), status.width());
    EXPECT_LE(TextNeeds(status.font(), longest).height(), status.height());
    EXPECT_FALSE(status.wordWrap());
    EXPECT_TRUE(client.contains(status.geometry()));
    EXPECT_FALSE(status.geometry().intersects(dialog.m_progress.geometry()));
    EXPECT_FALSE(status.geometry().intersects(dialog.m_animate.geometry()));
    EXPECT_FALSE(status.geometry().intersects(dialog.GetDlgItem(kIdOk)->geometry()));
    EXPECT_TRUE(client.contains(dialog.m_progress.geometry()));
  });
  QTimer::singleShot(0, &dialog, [&] { qobject_cast<QPushButton*>(dialog.GetDlgItem(kIdOk))->click(); });
  dialog.DoModal();
  return seen;
}

TEST(DialogLayoutTest, TextsFitAtTheDesktopsFontAndGrowTheDialogWithALargerOne) {
  const RunLayout usual = CheckRunLayout();
  ASSERT_TRUE(usual.checked);
  RunLayout large;
  {
    DesktopFont desktop(2.5 * QApplication::font().pointSizeF());
    large = CheckRunLayout();
  }
  ASSERT_TRUE(large.checked);
  EXPECT_GT(large.dialog.width(), usual.dialog.width());
}

// Every control with a meaning has a name; the bar tells its value.
TEST(DialogLayoutTest, ControlsHaveNamesAndTheBarItsValue) {
  TestPrefix prefix;
  RunDialog dialog(nullptr, StandInWorlds(prefix, 1, [] { return kPatchDone; }));
  bool checked = false;
  RecordingPresenter presenter([&](const ShownBox&) {
    checked = true;
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(&dialog.m_progress);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    EXPECT_FALSE(bar->text(QAccessible::Name).isEmpty());
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), kProgressHigh);

    QAccessibleInterface* turtle = QAccessible::queryAccessibleInterface(&dialog.m_animate);
    EXPECT_EQ(turtle->role(), QAccessible::Animation);
    EXPECT_FALSE(turtle->text(QAccessible::Name).isEmpty());
    for (int id : {IDC_ICON_TOP, IDC_ICON_BOTTOM}) {
      QAccessibleInterface* icon = QAccessible::queryAccessibleInterface(dialog.GetDlgItem(id));
      EXPECT_EQ(icon->role(), QAccessible::Graphic) << id;
      EXPECT_FALSE(icon->text(QAccessible::Name).isEmpty()) << id;
    }
  });
  QTimer::singleShot(0, &dialog, [&] { qobject_cast<QPushButton*>(dialog.GetDlgItem(kIdOk))->click(); });
  dialog.DoModal();
  EXPECT_TRUE(checked);
}

// A path of 255 characters without a space: the box breaks it at its
// backslashes, shows every character, and stays on the screen.
TEST(DialogLayoutTest, AMessageBoxShowsALongPathWholeWithinTheScreen) {
  std::string path = "C:\\Program Files\\Sony\\Community Place Browser\\world";
  while (path.size() < 245) path += "\\folder" + std::to_string(path.size());
  path += "\\a.wrl";
  const std::string text = ReplacePathPlaceholders(LoadResourceString(IDS_FILE_MISSING), path);

  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = true;
    const QRect screen = box->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(box->frameGeometry())) << box->frameGeometry().width();
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().remove(QChar(0x200B)), QStringFromAnsi(text));
    EXPECT_LE(label->heightForWidth(label->width()), label->height());
    box->accept();
  });
  AppMessageBox(nullptr, text, MessageIcon::kWarning);
  EXPECT_TRUE(seen);
}

}  // namespace
