#include "app/run_window_qt.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QThread>

#include <algorithm>

#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/string_table.h"

namespace {

// Posted to wake the UI thread: a request is waiting, or the worker returned.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

RunWindowQt::RunWindowQt(QDialog* dialog, QLabel* status, QProgressBar* progress)
    : m_dialog(dialog), m_status(status), m_progress(progress) {
  if (dialog) connect(dialog, &QDialog::finished, this, [this] { MarkDialogEnded(); });
}

RunWindowQt::~RunWindowQt() { WaitForWorker(); }

void RunWindowQt::SetTitle(const std::string& text) { Submit({Kind::kTitle, text}); }

void RunWindowQt::SetStatusText(const std::string& text) { Submit({Kind::kStatus, text}); }

void RunWindowQt::SetProgressPosition(int position) { Submit({Kind::kPosition, {}, position}); }

void RunWindowQt::EndDialog(int code) { Submit({Kind::kEnd, {}, code}); }

void RunWindowQt::ShowMessage(const std::string& text, platform::MessageIcon icon,
                              bool ownedByDialog) {
  Submit({Kind::kMessage, text, 0, icon, ownedByDialog});
}

std::string RunWindowQt::LoadString(int id) { return LoadResourceString(id); }

void RunWindowQt::StartWorker(std::function<void(platform::RunWindow&)> body) {
  m_thread = std::thread([this, body = std::move(body)] {
    body(*this);
    std::lock_guard lock(m_mutex);
    m_workerReturned = true;
    QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
  });
}

void RunWindowQt::WaitForWorker() {
  if (!m_thread.joinable()) return;
  MarkDialogEnded();
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_workerReturned) break;
    }
    // Not a bare join: the worker may be waiting for a message box that only
    // this thread can show.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  m_thread.join();
  ServePending();
}

void RunWindowQt::customEvent(QEvent* event) {
  if (event->type() == kWakeEvent) {
    ServePending();
    return;
  }
  QObject::customEvent(event);
}

bool RunWindowQt::OnUiThread() const { return QThread::currentThread() == thread(); }

void RunWindowQt::Submit(Request request) {
  const bool isWindowRequest = request.kind != Kind::kMessage;
  if (OnUiThread()) {
    // Waiting here would wait for ourselves.
    bool ended;
    {
      std::lock_guard lock(m_mutex);
      ended = m_dialogEnded;
    }
    if (!(isWindowRequest && ended)) Carry(request);
    return;
  }
  std::unique_lock lock(m_mutex);
  if (isWindowRequest && m_dialogEnded) return;
  const std::uint64_t id = request.id = ++m_lastPosted;
  m_pending.push_back(std::move(request));
  // Posted under the lock, so that the UI thread, which takes the lock
  // before the event is freed, is seen to follow the posting.
  QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
  m_changed.wait(lock, [&] { return m_lastServed >= id || (isWindowRequest && m_dialogEnded); });
}

void RunWindowQt::ServePending() {
  for (;;) {
    Request request;
    bool ended;
    {
      std::lock_guard lock(m_mutex);
      if (m_pending.empty()) return;
      request = std::move(m_pending.front());
      m_pending.pop_front();
      ended = m_dialogEnded;
    }
    if (!(request.kind != Kind::kMessage && ended)) Carry(request);
    std::lock_guard lock(m_mutex);
    m_lastServed = std::max(m_lastServed, request.id);
    m_changed.notify_all();
  }
}

void RunWindowQt::Carry(const Request& request) {
  // Each widget may be gone by now; once looked at, it is used as looked at.
  QDialog* dialog = m_dialog.data();
  switch (request.kind) {
    case Kind::kTitle:
      if (dialog) dialog->setWindowTitle(QStringFromAnsi(request.text));
      break;
    case Kind::kStatus:
      if (QLabel* status = m_status.data()) status->setText(QStringFromAnsi(request.text));
      break;
    case Kind::kPosition:
      // A Windows progress bar takes a position outside its range as its
      // nearest end; QProgressBar would ignore it.
      if (QProgressBar* progress = m_progress.data())
        progress->setValue(std::clamp(request.number, progress->minimum(), progress->maximum()));
      break;
    case Kind::kEnd:
      // Ended before done(), so that nothing done() sets off can wait on us.
      MarkDialogEnded();
      if (dialog) dialog->done(request.number);
      break;
    case Kind::kMessage: {
      bool ended;
      {
        std::lock_guard lock(m_mutex);
        ended = m_dialogEnded;
      }
      // Once the dialog has ended its window is gone: no owner then.
      AppMessageBox(request.ownedByDialog && !ended ? dialog : nullptr, request.text, request.icon);
      break;
    }
  }
}

void RunWindowQt::MarkDialogEnded() {
  std::lock_guard lock(m_mutex);
  m_dialogEnded = true;
  m_changed.notify_all();
}
