#include "qt/quietwalk_dlg.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/paths/program_name.h"
#include "qt/animation_control.h"
#include "qt/dialog_builder.h"
#include "qt/message_box.h"
#include "qt/system_menu.h"
#include "tests/support/test_prefix.h"
#include "ui/dialog_units.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

namespace fs = std::filesystem;

constexpr char kBrowser[] = "C:\\Sony\\Community Place Browser";
constexpr char kWorld[] = "C:\\Sony\\Community Place Browser\\world";

struct ShownBox {
  QWidget* owner = nullptr;
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kInformation;
  bool dialogVisible = false;
};

// Stands in for the user: takes every box the program shows, notes what it
// showed and whether the watched dialog was on screen, and answers it at once.
class RecordingPresenter final : public MessageBoxPresenter {
 public:
  void Show(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon) override {
    boxes.push_back({owner, text, caption, icon, watched && watched->isVisible()});
  }

  const QWidget* watched = nullptr;
  std::vector<ShownBox> boxes;
};

// The dialog with its state opened up to the test, and a way to act on it
// while its modal loop runs.
class TestDlg : public CQuietwalkDlg {
 public:
  using CQuietwalkDlg::m_hIcon;

  // DoModal, with `whileOpen` run once the dialog is up. A dialog that
  // `whileOpen` leaves open is ended, so that no test hangs.
  int RunWith(std::function<void(TestDlg&)> whileOpen) {
    QTimer::singleShot(0, this, [this, whileOpen] {
      whileOpen(*this);
      if (isVisible()) {
        ADD_FAILURE() << "the dialog was still open";
        EndDialog(12345);
      }
    });
    return DoModal();
  }

  void Cancel() { OnCancel(); }
  QRadioButton* RadioButton(int id) const { return qobject_cast<QRadioButton*>(GetDlgItem(id)); }

  int shows = 0;
  std::vector<unsigned> commands;

 protected:
  void showEvent(QShowEvent* event) override {
    ++shows;
    CQuietwalkDlg::showEvent(event);
  }
  void OnSysCommand(unsigned command, long parameter) override {
    commands.push_back(command);
    CQuietwalkDlg::OnSysCommand(command, parameter);
  }
};

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { m_previous = SetMessageBoxPresenter(&m_boxes); }
  void TearDown() override { SetMessageBoxPresenter(m_previous); }

  void InstallBrowser() { m_prefix.WriteFile(std::string(kBrowser) + "\\bin\\cpbrowse.exe", "exe"); }

  // A browser with two worlds: one with the bumps on, one without the
  // declaration.
  void InstallWorlds() {
    InstallBrowser();
    m_prefix.WriteFile(std::string(kWorld) + "\\lobby\\lobby.wrl",
                       "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [\n"
                       "  field SFBool collisionSound TRUE\n] {}\n");
    m_prefix.WriteFile(std::string(kWorld) + "\\garden.wrl", "#VRML V2.0 utf8\nShape {}\n");
  }

  // Every file under drive C with its bytes and time of last change.
  std::map<std::string, std::pair<std::string, fs::file_time_type>> Snapshot() const {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(m_prefix.HostPath("C:\\"))) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      files[entry.path().string()] = {bytes.str(), entry.last_write_time()};
    }
    return files;
  }

  testing_support::TestPrefix m_prefix;
  RecordingPresenter m_boxes;

 private:
  MessageBoxPresenter* m_previous = nullptr;
};

// Opens the window menu with `open`, then, with the menu up, runs `inMenu`
// on it (null when no menu came up). `inMenu` must close the menu.
void WithSystemMenu(const std::function<void()>& open, const std::function<void(SystemMenu*)>& inMenu) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    inMenu(qobject_cast<SystemMenu*>(QApplication::activePopupWidget()));
  });
  open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }));
}

// What came up as a modal window over `dialog`: noted, then closed, so that
// the command that opened it can return.
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

void CloseNextModal(const QWidget* dialog, SeenModal* seen) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [dialog, seen, poll] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == dialog || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    seen->seen = true;
    seen->title = modal->windowTitle();
    seen->clientSize = modal->size();
    if (auto* animation = modal->findChild<AnimationControl*>()) {
      seen->frames = animation->FrameCount();
      seen->clipSize = animation->ClipSize();
      seen->frameTime = animation->FrameTime();
      seen->playing = animation->IsPlaying();
    }
    for (QLabel* label : modal->findChildren<QLabel*>()) seen->text += label->text();
    modal->close();
  });
  poll->start();
}

void Choose(SystemMenu* menu, unsigned command) {
  for (QAction* action : menu->actions()) {
    if (SystemMenu::Command(action) == command) {
      menu->setActiveAction(action);
      QTest::keyClick(menu, Qt::Key_Return);
      return;
    }
  }
  ADD_FAILURE() << "no item with command " << command;
  menu->close();
}

TEST(StringTableTest, HoldsTheProgramsTextsByteForByte) {
  const std::map<int, std::string> expected = {
      {101, "&About..."},
      {102, "I want the bumps back pls :]"},
      {103, "HATE THOSE ANNOYING BUMPS I DON'T WANT TO HEAR THOSE ANYMORE"},
      {104, "No VRML files found. Try reinstalling SAPARi."},
      {105, "Done! \nNo files have been written or modified."},
      {106, "Done ! \n%d files have been written."},
      {107, "Writting File %d of %d"},
      {108, "The file \"%d\" doesn't exist. \nThis file is going to be ignored."},
      {109,
       "Unable to open the file \"%d\". \n\nMake sure if this file exists or isn't in use. \n"
       "This file is going to be ignored."},
      {110, "Cannot write the file \"%d\" because it's read-only. \nThis file is going to be ignored."},
      {111, "Unable to write the file \"%d\" because the disk is full."},
      {112,
       "Cannot write the file \"%d\" (Access is denied). \n\nMake sure if this file isn't in use. \n"
       "This file is going to be ignored."},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(LoadResourceString(id), text) << id;
  EXPECT_EQ(LoadResourceString(100), "");
  EXPECT_EQ(LoadResourceString(113), "");
  EXPECT_EQ(LoadResourceString(0), "");
}

TEST(DialogUnitsTest, RoundsHalvesAwayFromZeroAsMulDivDoes) {
  EXPECT_EQ(MulDivRounded(429, 6, 4), 644);  // 643.5
  EXPECT_EQ(MulDivRounded(7, 13, 8), 11);    // 11.375
  EXPECT_EQ(MulDivRounded(51, 13, 8), 83);   // 82.875
  EXPECT_EQ(MulDivRounded(-7, 6, 4), -11);   // -10.5
  EXPECT_EQ(MulDivRounded(7, -6, 4), -11);
  EXPECT_EQ(MulDivRounded(7, 6, -4), -11);
  EXPECT_EQ(MulDivRounded(-7, 6, -4), 11);
  EXPECT_EQ(MulDivRounded(5, 6, 0), -1);
  EXPECT_EQ(MulDivRounded(0x40000000, 4, 1), -1);
  EXPECT_EQ(MulDivRounded(0x40000000, 2, 1), -1);
  EXPECT_EQ(MulDivRounded(0x3FFFFFFF, 4, 2), 0x7FFFFFFE);
  EXPECT_EQ(MapDialogRect({33, 34, 383, 10}), (PixelRect{50, 55, 575, 16}));
}

// No world file: message 104 while the dialog is still hidden, then the
// program ends without the dialog ever showing and without a worker.
TEST_F(DialogTest, EmptyWorldFolderShowsMessage104AndNeverShowsTheDialog) {
  InstallBrowser();
  m_prefix.MakeFolder(kWorld);
  auto dialog = std::make_unique<TestDlg>();
  m_boxes.watched = dialog.get();

  const int code = dialog->RunWith([](TestDlg&) { ADD_FAILURE() << "the modal loop ran"; });

  EXPECT_EQ(code, kIdCancel);
  ASSERT_EQ(m_boxes.boxes.size(), 1u);
  const ShownBox& box = m_boxes.boxes[0];
  EXPECT_EQ(box.text, LoadResourceString(IDS_NO_WORLD_FILES));
  EXPECT_EQ(box.caption, platform::ProgramName());
  EXPECT_EQ(box.icon, MessageIcon::kWarning);
  EXPECT_FALSE(box.dialogVisible);
  EXPECT_EQ(dialog->shows, 0);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->behaviour().worker(), nullptr);
  EXPECT_EQ(dialog->behaviour().worldDir(), kWorld);
  // Initialisation still ran to its end.
  EXPECT_EQ(dialog->GetSystemMenu()->ItemText(IDM_ABOUTBOX), "&About...");
  EXPECT_TRUE(dialog->RadioButton(IDC_RADIO_NO_BUMPS)->isChecked());
  dialog.reset();
  EXPECT_EQ(m_boxes.boxes.size(), 1u);
}

// Without a browser the scan looks at \world on the current drive; the
// sandbox's current drive has none, so message 104, followed by the prefix
// searched, ends the program too.
TEST_F(DialogTest, MissingBrowserEndsWithMessage104) {
  if (fs::exists(fs::path("/") / "world")) GTEST_SKIP() << "this host has a folder world at its root";
  TestDlg dialog;
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(dialog.behaviour().worldDir(), "\\world");
  ASSERT_EQ(m_boxes.boxes.size(), 1u);
  EXPECT_EQ(m_boxes.boxes[0].text.rfind(LoadResourceString(IDS_NO_WORLD_FILES) + "\n\n", 0), 0u)
      << m_boxes.boxes[0].text;
  EXPECT_EQ(dialog.shows, 0);
}

TEST_F(DialogTest, ShowsBothChoicesWithNoBumpsPreselected) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([&](TestDlg& shown) {
    EXPECT_TRUE(shown.isVisible());
    EXPECT_EQ(shown.windowTitle(), "Quietwalk");
    EXPECT_EQ(shown.behaviour().files().size(), 2u);
    QRadioButton* bumpsBack = shown.RadioButton(IDC_RADIO_BUMPS_BACK);
    QRadioButton* noBumps = shown.RadioButton(IDC_RADIO_NO_BUMPS);
    EXPECT_EQ(bumpsBack->text(), "I want the bumps back pls :]");
    EXPECT_EQ(noBumps->text(), "HATE THOSE ANNOYING BUMPS I DON'T WANT TO HEAR THOSE ANYMORE");
    EXPECT_FALSE(bumpsBack->isChecked());
    EXPECT_TRUE(noBumps->isChecked());
    EXPECT_EQ(shown.behaviour().restoreBumps(), 0);

    // The dialog's font for everything but radio 1002, which shows in the
    // system's default font.
    EXPECT_EQ(bumpsBack->font().families().value(0), "MS Sans Serif");
    EXPECT_EQ(bumpsBack->font().pixelSize(), 11);
    const QFont systemFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    EXPECT_EQ(noBumps->font().family(), systemFont.family());
    EXPECT_EQ(noBumps->font().pointSizeF(), systemFont.pointSizeF());
    EXPECT_NE(noBumps->font().families().value(0), "MS Sans Serif");
    shown.Cancel();
  });
  EXPECT_TRUE(m_boxes.boxes.empty());
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
    shown.Cancel();
  });
}

// The template in pixels at base units 6 x 13, each figure rounded on its own.
TEST_F(DialogTest, LaysOutTheTemplateInPixels) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    EXPECT_EQ(shown.size(), QSize(644, 117));
    EXPECT_EQ(shown.minimumSize(), shown.maximumSize());
    const std::vector<std::pair<int, QRect>> expected = {
        {kIdOk, QRect(558, 83, 75, 23)},
        {IDC_RADIO_BUMPS_BACK, QRect(50, 21, 216, 13)},
        {IDC_ICON_TOP, QRect(11, 11, 32, 32)},  // icons take their own size
        {IDC_RADIO_NO_BUMPS, QRect(50, 55, 575, 16)},
        {IDC_ICON_BOTTOM, QRect(11, 46, 32, 32)},
    };
    for (const auto& [id, rect] : expected) {
      QWidget* control = shown.GetDlgItem(id);
      ASSERT_NE(control, nullptr) << id;
      EXPECT_EQ(control->geometry(), rect) << id;
    }

    auto* ok = qobject_cast<QPushButton*>(shown.GetDlgItem(kIdOk));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), "OK");

    // Tab order is template order.
    std::vector<QWidget*> order;
    QWidget* next = shown.GetDlgItem(kIdOk);
    for (int i = 0; i < 4; ++i, next = next->nextInFocusChain()) order.push_back(next);
    EXPECT_EQ(order, (std::vector<QWidget*>{shown.GetDlgItem(kIdOk), shown.GetDlgItem(1000), shown.GetDlgItem(1001),
                                            shown.GetDlgItem(1002)}));
    // The run's animation waits at the top right, with no clip yet.
    auto* animation = qobject_cast<AnimationControl*>(shown.GetDlgItem(IDC_ANIMATE));
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->pos(), QPoint(570, 5));
    EXPECT_EQ(animation->GetDlgCtrlID(), IDC_ANIMATE);
    EXPECT_EQ(animation->Style() & (AnimationControl::kTransparent | AnimationControl::kAutoPlay),
              AnimationControl::kTransparent | AnimationControl::kAutoPlay);
    EXPECT_EQ(animation->FrameCount(), 0);

    EXPECT_FALSE(shown.windowIcon().isNull());
    EXPECT_EQ(shown.windowIcon().cacheKey(), shown.m_hIcon.cacheKey());
    shown.Cancel();
  });
}

TEST_F(DialogTest, WindowMenuHoldsCloseAndTheAboutEntryOnce) {
  InstallWorlds();
  TestDlg dialog;
  dialog.RunWith([](TestDlg& shown) {
    const QList<QAction*> items = shown.GetSystemMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(SystemMenu::Command(items[0]), kScClose);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(SystemMenu::Command(items[2]), static_cast<unsigned>(IDM_ABOUTBOX));
    EXPECT_EQ(items[2]->text(), "&About...");

    // Alt+Space opens it; choosing About goes to OnSysCommand, shows the
    // About box and leaves the dialog open.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    SeenModal about;
    CloseNextModal(&shown, &about);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_Space, Qt::AltModifier); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     Choose(menu, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(shown.commands, std::vector<unsigned>{IDM_ABOUTBOX});
    EXPECT_EQ(about.title, "About");
    EXPECT_TRUE(shown.isVisible());

    // Shift+F10 and the Menu key open it as well. Shift, let go with the
    // menu up, no longer turns About into the hidden animation.
    shown.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    SeenModal aboutAgain;
    CloseNextModal(&shown, &aboutAgain);
    QTest::keyPress(&shown, Qt::Key_Shift);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_F10, Qt::ShiftModifier); },
                   [](SystemMenu* menu) {
                     ASSERT_NE(menu, nullptr);
                     EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "??");
                     QTest::keyRelease(menu, Qt::Key_Shift);
                     EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "&About...");
                     Choose(menu, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(aboutAgain.title, "About");
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
  EXPECT_TRUE(m_boxes.boxes.empty());
}

// Shift held over the dialog turns the About entry into "??", and choosing
// it then plays the hidden clip instead; the entry reads "&About..." again
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
    CloseNextModal(&shown, &hidden);
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
    EXPECT_EQ(hidden.title, "??");
    EXPECT_EQ(hidden.clientSize, QSize(387, 291));
    EXPECT_EQ(hidden.frames, 159);
    EXPECT_EQ(hidden.clipSize, QSize(387, 290));
    EXPECT_EQ(hidden.frameTime, 41667);
    EXPECT_TRUE(hidden.playing);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "&About...");
    QTest::keyRelease(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "&About...");

    shown.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    QTest::keyPress(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "??");
    QTest::keyRelease(&shown, Qt::Key_Shift);
    EXPECT_EQ(menu->ItemText(IDM_ABOUTBOX), "&About...");
    SeenModal about;
    CloseNextModal(&shown, &about);
    WithSystemMenu([&] { QTest::keyClick(&shown, Qt::Key_Space, Qt::AltModifier); },
                   [](SystemMenu* open) {
                     ASSERT_NE(open, nullptr);
                     Choose(open, IDM_ABOUTBOX);
                   });
    EXPECT_EQ(about.title, "About");
    EXPECT_TRUE(about.text.startsWith("Quietwalk \nVer 1.0\n")) << about.text.toStdString();
    shown.Cancel();
  });
}

}  // namespace
