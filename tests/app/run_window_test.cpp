#include "app/run_window_qt.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/program_name.h"
#include "tests/app/run_box_answerer.h"

using testing_support::AnsweredBox;
using testing_support::BoxAnswerer;

namespace {

// A dialog with the run's two controls, standing in for the main dialog.
struct RunDialog {
  QDialog dialog;
  QLabel* status = new QLabel(&dialog);
  QProgressBar* progress = new QProgressBar(&dialog);
  std::unique_ptr<RunWindowQt> window;

  RunDialog() {
    progress->setRange(1, 100);
    dialog.setWindowTitle("before");
    window = std::make_unique<RunWindowQt>(&dialog, status, progress);
  }
};

QString ProgramCaption() { return QString::fromStdString(platform::ProgramName()); }

// Each request is done before the worker goes on: when its box comes up,
// the title, label and bar it set before are already showing.
TEST(RunWindowQtTest, RequestsAreCarriedOutInOrderBeforeTheWorkerGoesOn) {
  RunDialog run;
  QString titleAtBox, labelAtBox;
  int positionAtBox = -1;
  BoxAnswerer answerer([&](const AnsweredBox&) {
    titleAtBox = run.dialog.windowTitle();
    labelAtBox = run.status->text();
    positionAtBox = run.progress->value();
  });
  run.dialog.setEnabled(false);
  run.window->StartWorker([](platform::RunWindow& window) {
    window.SetTitle("Quietwalk - ...\\world\\a.wrl");
    window.SetStatusText("Writting File 1 of 3");
    window.SetProgressPosition(33);
    window.ShowMessage("Done ! \n1 files have been written.", platform::MessageIcon::kInformation,
                       true);
    window.EndDialog(0);
  });
  EXPECT_EQ(run.dialog.exec(), 0);
  run.window->WaitForWorker();
  EXPECT_EQ(titleAtBox, QString("Quietwalk - ...\\world\\a.wrl"));
  EXPECT_EQ(labelAtBox, QString("Writting File 1 of 3"));
  EXPECT_EQ(positionAtBox, 33);
  ASSERT_EQ(answerer.boxes().size(), size_t{1});
  const AnsweredBox& box = answerer.boxes().front();
  EXPECT_EQ(box.text, QString("Done ! \n1 files have been written."));
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_EQ(box.caption, ProgramCaption());
  // Owned by the dialog, and answerable although the dialog is disabled.
  EXPECT_EQ(box.owner, &run.dialog);
  EXPECT_TRUE(box.enabled);
}

// The full-disk path: the dialog ends mid-run; what follows must neither
// wait on the dialog nor lose a box, also those that come up only after
// the modal loop has returned.
TEST(RunWindowQtTest, AfterTheDialogEndedWindowRequestsAreDroppedAndBoxesStillShown) {
  RunDialog run;
  BoxAnswerer answerer;
  std::atomic<bool> dialogLoopReturned{false};
  std::atomic<bool> sawLoopReturned{false};
  run.window->StartWorker([&](platform::RunWindow& window) {
    window.SetTitle("first");
    window.ShowMessage("disk full", platform::MessageIcon::kStop, false);
    window.EndDialog(-4);
    for (int i = 0; i < 200; ++i) {
      window.SetTitle("late");
      window.SetStatusText("late");
      window.SetProgressPosition(77);
    }
    // Wait until the modal loop has gone, so that the next box can only
    // be served by the teardown.
    while (!dialogLoopReturned) std::this_thread::yield();
    sawLoopReturned = true;
    window.ShowMessage("read-only", platform::MessageIcon::kWarning, false);
    window.ShowMessage("summary", platform::MessageIcon::kInformation, true);
    window.EndDialog(0);
  });
  EXPECT_EQ(run.dialog.exec(), -4);
  dialogLoopReturned = true;
  run.window->WaitForWorker();
  EXPECT_TRUE(sawLoopReturned);
  EXPECT_EQ(run.dialog.windowTitle(), QString("first"));
  EXPECT_EQ(run.status->text(), QString());
  EXPECT_NE(run.progress->value(), 77);
  ASSERT_EQ(answerer.boxes().size(), size_t{3});
  EXPECT_EQ(answerer.boxes()[0].text, QString("disk full"));
  EXPECT_EQ(answerer.boxes()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(answerer.boxes()[0].owner, nullptr);
  EXPECT_EQ(answerer.boxes()[1].icon, QMessageBox::Warning);
  // The owner's window is gone: the summary comes up on its own.
  EXPECT_EQ(answerer.boxes()[2].text, QString("summary"));
  EXPECT_EQ(answerer.boxes()[2].owner, nullptr);
  EXPECT_FALSE(run.dialog.isVisible());
}

// A teardown that starts while the worker is still making requests, with
// no modal loop ever run, must neither hang nor skip a box.
TEST(RunWindowQtTest, TeardownWithoutAModalLoopServesTheWorkerToItsEnd) {
  RunDialog run;
  BoxAnswerer answerer;
  run.dialog.show();
  run.window->StartWorker([](platform::RunWindow& window) {
    for (int i = 0; i < 500; ++i) window.SetProgressPosition(i % 100);
    window.ShowMessage("one", platform::MessageIcon::kWarning, false);
    window.SetTitle("dropped");
    window.ShowMessage("two", platform::MessageIcon::kWarning, true);
  });
  run.window->WaitForWorker();
  EXPECT_FALSE(run.window->HasWorker());
  ASSERT_EQ(answerer.boxes().size(), size_t{2});
  EXPECT_EQ(answerer.boxes()[1].text, QString("two"));
  EXPECT_NE(run.dialog.windowTitle(), QString("dropped"));
}

// Called on the UI thread itself, a request is carried out at once rather
// than waited for (which would wait for ever).
TEST(RunWindowQtTest, RequestsFromTheUiThreadAreCarriedOutDirectly) {
  RunDialog run;
  run.window->SetTitle("direct");
  run.window->SetStatusText("Writting File 1 of 1");
  run.window->SetProgressPosition(100);
  EXPECT_EQ(run.dialog.windowTitle(), QString("direct"));
  EXPECT_EQ(run.status->text(), QString("Writting File 1 of 1"));
  EXPECT_EQ(run.progress->value(), 100);
}

// A Windows bar shows a position outside its range at the nearest end.
TEST(RunWindowQtTest, PositionOutsideTheRangeGoesToItsEnd) {
  RunDialog run;
  run.window->SetProgressPosition(0);
  EXPECT_EQ(run.progress->value(), 1);
  run.window->SetProgressPosition(250);
  EXPECT_EQ(run.progress->value(), 100);
}

TEST(RunWindowQtTest, StringsComeFromTheProgramsTable) {
  RunDialog run;
  EXPECT_EQ(run.window->LoadString(107), std::string("Writting File %d of %d"));
  EXPECT_EQ(run.window->LoadString(99), std::string());
}

}  // namespace
