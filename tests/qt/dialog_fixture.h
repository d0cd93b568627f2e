#pragma once

#include <QAction>
#include <QApplication>
#include <QLabel>
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

#include "qt/animation_control.h"
#include "qt/quietwalk_dlg.h"
#include "qt/system_menu.h"
#include "tests/qt/run_fixture.h"
#include "tests/support/test_prefix.h"

namespace testing_support {

inline constexpr char kFixedBrowser[] = "C:\\Sony\\Community Place Browser";
inline constexpr char kFixedWorld[] = "C:\\Sony\\Community Place Browser\\world";

// The dialog with its state opened up to the test, and a way to act on it
// while its modal loop runs.
class TestDlg : public CQuietwalkDlg {
 public:
  using CQuietwalkDlg::m_hIcon;

  // DoModal, with `whileOpen` run once the dialog is up. A dialog that
  // `whileOpen` leaves open is ended, so that no test hangs.
  int RunWith(const std::function<void(TestDlg&)>& whileOpen) {
    QTimer::singleShot(0, this, [this, whileOpen] {
      whileOpen(*this);
      if (isVisible()) {
        ADD_FAILURE() << "the dialog was still open";
        done(12345);
      }
    });
    return DoModal();
  }

  QRadioButton* RadioButton(int id) const { return qobject_cast<QRadioButton*>(GetDlgItem(id)); }

  int shows = 0;
  std::vector<unsigned> commands;

 protected:
  void showEvent(QShowEvent* event) override {
    ++shows;
    CQuietwalkDlg::showEvent(event);
  }
  void OnSysCommand(unsigned command) override {
    commands.push_back(command);
    CQuietwalkDlg::OnSysCommand(command);
  }
};

// A prefix with the browser at its first fixed path, and every box the
// program shows answered at once.
class DialogTest : public testing::Test {
 protected:
  void InstallBrowser() { m_prefix.WriteFile(std::string(kFixedBrowser) + "\\bin\\cpbrowse.exe", "exe"); }

  // A browser with two worlds: one with the bumps on, one without the
  // declaration.
  void InstallWorlds() {
    InstallBrowser();
    m_prefix.WriteFile(std::string(kFixedWorld) + "\\lobby\\lobby.wrl", kBumpsOn);
    m_prefix.WriteFile(std::string(kFixedWorld) + "\\garden.wrl", kPlainWorld);
  }

  // Every file under drive C with its bytes and time of last change.
  std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> Snapshot() const {
    std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_prefix.HostPath("C:\\"))) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      files[entry.path().string()] = {bytes.str(), entry.last_write_time()};
    }
    return files;
  }

  TestPrefix m_prefix;
  // Whether `watched` was on screen when each box came up.
  const QWidget* m_watched = nullptr;
  std::vector<bool> m_visibleAtBox;
  RecordingPresenter m_boxes{
      [this](const ShownBox&) { m_visibleAtBox.push_back(m_watched && m_watched->isVisible()); }};
};

// Opens the window menu with `open`, then, with the menu up, runs `inMenu`
// on it (null when no menu came up). `inMenu` must close the menu.
inline void WithSystemMenu(const std::function<void()>& open, const std::function<void(SystemMenu*)>& inMenu) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    inMenu(qobject_cast<SystemMenu*>(QApplication::activePopupWidget()));
  });
  open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }));
}

inline void Choose(SystemMenu* menu, unsigned command) {
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

}  // namespace testing_support
