#pragma once

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/run_window.h"

class QDialog;
class QEvent;
class QLabel;
class QProgressBar;

// The batch run's worker thread and its way to the dialog. Created on the UI
// thread, which is the only thread that touches the widgets: every request of
// the worker is handed over to it and the worker waits for the outcome.
//
// Window requests (title, label, progress, ending) wait while the dialog is
// live and are dropped at once after it has ended, whichever way it ended.
// Message boxes are always shown and waited for. The UI thread must keep
// serving events for that: the dialog's modal loop does so while it runs,
// WaitForWorker() after it.
class RunWindowQt final : public QObject, public platform::RunWindow {
  Q_OBJECT

 public:
  // `status` and `progress` are the run's label and bar inside `dialog`.
  RunWindowQt(QDialog* dialog, QLabel* status, QProgressBar* progress);
  // Waits for the worker as WaitForWorker() does.
  ~RunWindowQt() override;

  void SetTitle(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressPosition(int position) override;
  void EndDialog(int code) override;
  void ShowMessage(const std::string& text, platform::MessageIcon icon, bool ownedByDialog) override;
  std::string LoadString(int id) override;

  // Starts the worker thread running body(*this). Once only.
  void StartWorker(std::function<void(platform::RunWindow&)> body);
  bool HasWorker() const { return m_thread.joinable(); }

  // UI thread, when the dialog is torn down: drops window requests from now
  // on, then shows the worker's message boxes until it has returned, and
  // joins it. Returns at once when no worker was started.
  void WaitForWorker();

 protected:
  void customEvent(QEvent* event) override;

 private:
  enum class Kind { kTitle, kStatus, kPosition, kEnd, kMessage };
  struct Request {
    Kind kind;
    std::string text;
    int number = 0;
    platform::MessageIcon icon = platform::MessageIcon::kInformation;
    bool ownedByDialog = false;
    std::uint64_t id = 0;
  };

  void Submit(Request request);
  void ServePending();
  void Carry(const Request& request);
  void MarkDialogEnded();
  bool OnUiThread() const;

  QPointer<QDialog> m_dialog;
  QPointer<QLabel> m_status;
  QPointer<QProgressBar> m_progress;

  std::mutex m_mutex;  // guards everything below it
  std::condition_variable m_changed;
  std::deque<Request> m_pending;
  std::uint64_t m_lastPosted = 0;
  std::uint64_t m_lastServed = 0;
  bool m_dialogEnded = false;
  bool m_workerReturned = false;

  std::thread m_thread;
};
