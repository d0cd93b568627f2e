// The batch run through the real main dialog, on real files in a throw-away
// prefix; message boxes are answered through the presenter.

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/paths/program_name.h"
#include "qt/dialog_builder.h"
#include "qt/quietwalk_dlg.h"
#include "tests/qt/run_fixture.h"
#include "ui/resource.h"

using namespace testing_support;

namespace {

// Clicks `id` once the modal loop runs.
void ClickOnceShown(RunDialog& dialog, int id) {
  QTimer::singleShot(0, &dialog, [&dialog, id] { QTest::mouseClick(dialog.GetDlgItem(id), Qt::LeftButton); });
}

void MakeReadOnly(const TestPrefix& prefix, const std::string& path) {
  std::filesystem::permissions(prefix.HostPath(path), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::group_read |
                                                          std::filesystem::perms::others_read);
}

std::string Path(const std::string& name) { return kWorld + "\\" + name; }

class RunDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    g_filesWritten = 0;
    InstallBrowser(prefix);
  }
  TestPrefix prefix;
};

// OK disables everything and puts up the bar and the label; until the
// worker ends the dialog nothing the user does reaches it.
TEST_F(RunDialogTest, AfterOkNothingReactsUntilTheWorkerEndsTheDialog) {
  prefix.WriteFile(Path("a.wrl"), kBumpsOn);
  prefix.WriteFile(Path("b.wrl"), kBumpsOn);
  prefix.WriteFile(Path("c.wrl"), kPlainWorld);
  MakeReadOnly(prefix, Path("b.wrl"));

  auto dialog = std::make_unique<RunDialog>();
  const UiThreadBridge* workerAtBox = nullptr;
  bool checkedWhileRunning = false;
  // The read-only file's box holds the worker while the dialog is probed.
  RecordingPresenter presenter([&](const ShownBox& box) {
    if (box.icon != MessageIcon::kWarning) return;
    RunDialog& d = *dialog;
    // Only OK and the radios look disabled; the rest keeps its look.
    EXPECT_FALSE(d.IsWindowEnabled());
    for (int id : {kIdOk, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) EXPECT_FALSE(d.GetDlgItem(id)->isEnabled()) << id;
    for (int id : {IDC_ICON_TOP, IDC_ICON_BOTTOM, IDC_STATUS, IDC_PROGRESS, IDC_ANIMATE})
      EXPECT_TRUE(d.GetDlgItem(id)->isEnabled()) << id;

    EXPECT_EQ(d.GetDlgItem(IDC_PROGRESS), &d.m_progress);
    EXPECT_EQ(d.m_progress.parentWidget(), &d);
    EXPECT_EQ(d.m_progress.geometry(), ToQRect(ScaleTemplatePixels(kProgressRect, d.baseUnits())));
    EXPECT_TRUE(d.m_progress.isVisible());
    EXPECT_EQ(d.m_progress.minimum(), 1);
    EXPECT_EQ(d.m_progress.maximum(), 100);
    EXPECT_EQ(d.GetDlgItem(IDC_STATUS), &d.m_status);
    EXPECT_EQ(d.m_status.pos(), ToQRect(ScaleTemplatePixels(kStatusRect, d.baseUnits())).topLeft());
    EXPECT_TRUE(d.m_status.isVisible());
    EXPECT_TRUE(d.m_animate.IsPlaying());
    EXPECT_EQ(d.m_animate.FrameCount(), 29);

    // The display names the file just finished: a.wrl, one of three.
    EXPECT_EQ(d.windowTitle(), QString("Quietwalk - ...\\world\\a.wrl"));
    EXPECT_EQ(d.m_status.text(), QString("Writting File 1 of 3"));
    EXPECT_EQ(d.m_progress.value(), 33);

    // Nothing the user does gets through.
    workerAtBox = d.behaviour().worker();
    QTest::mouseClick(d.GetDlgItem(IDC_RADIO_BUMPS_BACK), Qt::LeftButton);
    EXPECT_EQ(d.behaviour().restoreBumps(), 0);
    QTest::mouseClick(d.GetDlgItem(kIdOk), Qt::LeftButton);
    EXPECT_EQ(d.behaviour().worker(), workerAtBox);
    QTest::keyClick(&d, Qt::Key_Escape);
    QTest::keyClick(&d, Qt::Key_Space, Qt::AltModifier);
    QTest::mouseClick(d.windowHandle(), Qt::RightButton, {}, QPoint(300, 100));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(d.close());
    EXPECT_TRUE(d.isVisible());
    checkedWhileRunning = true;
  });

  ClickOnceShown(*dialog, kIdOk);
  EXPECT_EQ(dialog->DoModal(), 0);
  dialog.reset();

  EXPECT_TRUE(checkedWhileRunning);
  EXPECT_NE(workerAtBox, nullptr);
  EXPECT_EQ(prefix.ReadFile(Path("a.wrl")), kBumpsOnMadeQuiet);
  EXPECT_EQ(prefix.ReadFile(Path("b.wrl")), kBumpsOn);
  EXPECT_EQ(prefix.ReadFile(Path("c.wrl")), PlainWorldPatched(0));

  const auto& boxes = presenter.boxes();
  ASSERT_EQ(boxes.size(), size_t{2});
  EXPECT_EQ(boxes[0].text, "Cannot write the file \"" + Path("b.wrl") +
                               "\" because it's read-only. \nThis file is going to be ignored.");
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, platform::ProgramName());
  EXPECT_EQ(boxes[1].text, std::string("Done ! \n2 files have been written."));
  EXPECT_EQ(boxes[1].icon, MessageIcon::kInformation);
  EXPECT_EQ(boxes[1].caption, platform::ProgramName());
}

// The summary belongs to the live dialog, and the dialog ends after it.
TEST_F(RunDialogTest, SummaryIsOwnedByTheDialogAndEndsIt) {
  prefix.WriteFile(Path("city.wrl"), kAlreadyQuiet);
  auto dialog = std::make_unique<RunDialog>();
  bool visibleAtSummary = false;
  RecordingPresenter presenter([&](const ShownBox&) { visibleAtSummary = dialog->isVisible(); });
  ClickOnceShown(*dialog, kIdOk);
  EXPECT_EQ(dialog->DoModal(), 0);
  EXPECT_TRUE(visibleAtSummary);
  ASSERT_EQ(presenter.boxes().size(), size_t{1});
  EXPECT_EQ(presenter.boxes()[0].owner, dialog.get());
  EXPECT_EQ(presenter.boxes()[0].text, std::string("Done! \nNo files have been written or modified."));
  EXPECT_EQ(dialog->m_status.text(), QString("Writting File 1 of 1"));
  EXPECT_EQ(dialog->m_progress.value(), 100);
  EXPECT_EQ(prefix.ReadFile(Path("city.wrl")), kAlreadyQuiet);
}

// Bumps back, and a file the scan lists twice: N counts it twice, but the
// second visit finds nothing left to change.
TEST_F(RunDialogTest, BumpsBackOverAFileListedTwice) {
  // a.wrl, then a folder of its own, then a file that is no world: the
  // scan lists a.wrl again after the folder's file.
  prefix.WriteFile(Path("a.wrl"), kPlainWorld);
  prefix.WriteFile(Path("dir\\d.wrl"), kAlreadyQuiet);
  prefix.WriteFile(Path("z.txt"), "not a world");
  auto dialog = std::make_unique<RunDialog>();
  RecordingPresenter presenter;
  QTimer::singleShot(0, dialog.get(), [&] {
    QTest::mouseClick(dialog->GetDlgItem(IDC_RADIO_BUMPS_BACK), Qt::LeftButton);
    QTest::mouseClick(dialog->GetDlgItem(kIdOk), Qt::LeftButton);
  });
  EXPECT_EQ(dialog->DoModal(), 0);
  EXPECT_EQ(dialog->behaviour().restoreBumps(), 1);
  EXPECT_EQ(dialog->m_status.text(), QString("Writting File 3 of 3"));
  EXPECT_EQ(dialog->windowTitle(), QString("Quietwalk - ...\\world\\a.wrl"));
  dialog.reset();
  EXPECT_EQ(prefix.ReadFile(Path("a.wrl")), PlainWorldPatched(1));
  EXPECT_EQ(prefix.ReadFile(Path("dir\\d.wrl")),
            std::string("#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [ field SFBool collisionSound TRUE ] {}\r\n"));
  ASSERT_FALSE(presenter.boxes().empty());
  EXPECT_EQ(presenter.boxes().back().text, std::string("Done ! \n2 files have been written."));
}

}  // namespace
