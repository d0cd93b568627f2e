// What the run's display puts on the screen while the worker goes on: the
// label and the bar as painted, not only as the widgets hold them.

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "qt/dialog_builder.h"
#include "qt/qt_text.h"
#include "qt/quietwalk_dlg.h"
#include "run/batch_run.h"
#include "tests/qt/run_fixture.h"
#include "ui/resource.h"
#include "ui/string_table.h"

using namespace testing_support;

namespace {

// A freeze shows as a failure after this rather than as a hang.
constexpr auto kPatience = std::chrono::seconds(30);

constexpr int kFiles = 400;

std::string Label(int k) { return FormatNumbers(LoadResourceString(IDS_STATUS_FILE_K_OF_N), {k, kFiles}); }

// Notes what the label and the bar paint, as they paint it: seen before
// their own paint handlers draw it.
class PaintLog final : public QObject {
 public:
  PaintLog(QLabel& label, QProgressBar& bar) : m_label(label), m_bar(bar) {
    m_label.installEventFilter(this);
    m_bar.installEventFilter(this);
  }

  // Worker thread: until the label has painted `text`; false when it has not
  // within our patience.
  bool WaitForLabel(const std::string& text) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_labels.count(text) != 0; });
  }
  std::string lastLabel() {
    std::lock_guard lock(m_mutex);
    return m_lastLabel;
  }
  int lastPosition() {
    std::lock_guard lock(m_mutex);
    return m_lastPosition;
  }
  std::size_t distinctLabels() {
    std::lock_guard lock(m_mutex);
    return m_labels.size();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    std::lock_guard lock(m_mutex);
    if (watched == &m_label) {
      m_lastLabel = AnsiFromQString(m_label.text());
      m_labels.insert(m_lastLabel);
    } else if (watched == &m_bar) {
      m_lastPosition = m_bar.value();
    }
    m_changed.notify_all();
    return false;
  }

 private:
  QLabel& m_label;
  QProgressBar& m_bar;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::set<std::string> m_labels;
  std::string m_lastLabel;
  int m_lastPosition = -1;
};

// The dialog as the screen holds it, against the dialog drawn afresh from
// its widgets: the same only when the latest state has been painted.
bool ScreenShowsTheWidgets(QWidget& dialog, const QRect& area) {
  QScreen* screen = dialog.screen();
  if (!screen) return false;
  const QImage onScreen = screen->grabWindow(dialog.winId(), area.x(), area.y(), area.width(), area.height()).toImage();
  const QImage drawn = dialog.grab(area).toImage();
  return !onScreen.isNull() &&
         onScreen.convertToFormat(QImage::Format_RGB32) == drawn.convertToFormat(QImage::Format_RGB32);
}

// Files patched by a stand-in that takes no time, but stops at a quarter, a
// half and three quarters of the run until the display has painted that far:
// the label must move on while the worker runs, with nothing between the
// two but the bridge.
TEST(RunDisplayTest, LabelAndBarArePaintedAsTheRunGoesAndEndAtTheLastFile) {
  PaintLog* log = nullptr;
  bool checkpointsPainted = true;
  int patched = 0;
  TestPrefix prefix;
  const MainDialog::Hooks hooks = StandInWorlds(prefix, kFiles, [&] {
    // The file before this one was shown as k = patched.
    if (++patched % (kFiles / 4) == 1 && patched > 1) checkpointsPainted &= log->WaitForLabel(Label(patched - 1));
    return kPatchDone;
  });
  RunDialog dialog(nullptr, hooks);
  PaintLog paints(dialog.m_status, dialog.m_progress);
  log = &paints;
  std::string paintedAtSummary;
  int positionAtSummary = -1;
  bool screenCurrentAtSummary = false;
  RecordingPresenter presenter([&](const ShownBox&) {
    paintedAtSummary = paints.lastLabel();
    positionAtSummary = paints.lastPosition();
    screenCurrentAtSummary =
        ScreenShowsTheWidgets(dialog, dialog.m_status.geometry().united(dialog.m_progress.geometry()));
  });
  QTimer::singleShot(0, &dialog, [&] { qobject_cast<QPushButton*>(dialog.GetDlgItem(kIdOk))->click(); });
  EXPECT_EQ(dialog.DoModal(), 0);

  EXPECT_TRUE(checkpointsPainted);
  EXPECT_GE(paints.distinctLabels(), 4u);
  ASSERT_EQ(presenter.boxes().size(), 1u);
  EXPECT_EQ(paintedAtSummary, Label(kFiles));
  EXPECT_EQ(positionAtSummary, kProgressHigh);
  EXPECT_TRUE(screenCurrentAtSummary);
}

}  // namespace
