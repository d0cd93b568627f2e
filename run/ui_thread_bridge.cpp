#include "run/ui_thread_bridge.h"

#include <algorithm>
#include <utility>

UiThreadBridge::UiThreadBridge(RunDisplay& display, UiThreadHooks hooks)
    : m_display(display), m_hooks(std::move(hooks)), m_uiThread(std::this_thread::get_id()) {}

UiThreadBridge::~UiThreadBridge() { WaitForWorker(); }

void UiThreadBridge::ShowFile(const std::string& title, const std::string& label, std::optional<int> position) {
  Submit({Kind::kShowFile, title, label, position});
}

void UiThreadBridge::EndDialog(int code) { Submit({Kind::kEnd, {}, {}, code}); }

void UiThreadBridge::ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) {
  Submit({Kind::kMessage, text, {}, std::nullopt, icon, ownedByDialog});
}

std::string UiThreadBridge::LoadStringA(int id) { return m_hooks.loadString(id); }

void UiThreadBridge::StartWorker(std::function<void(RunWindow&)> body) {
  m_thread = std::thread([this, body = std::move(body)] {
    body(*this);
    std::unique_lock lock(m_mutex);
    WaitForEarlierRequests(lock);
    m_workerReturned = true;
    // A UI thread waiting in PumpUiEvents must look at the flag again.
    m_hooks.wakeUiThread();
  });
}

void UiThreadBridge::WaitForWorker() {
  if (!m_thread.joinable()) return;
  MarkDialogEnded();
  for (;;) {
    // Served here as well as when woken: a wake-up sent to a window that has
    // gone since is lost.
    ServePending();
    {
      std::lock_guard lock(m_mutex);
      if (m_workerReturned) break;
    }
    // Not a bare join: the worker may be waiting for a message box that only
    // this thread can show.
    m_display.PumpUiEvents();
  }
  m_thread.join();
  ServePending();
}

void UiThreadBridge::Submit(Request request) {
  const bool isWindowRequest = request.kind != Kind::kMessage;
  if (OnUiThread()) {
    if (!(isWindowRequest && DialogEnded())) Carry(request);
    return;
  }
  std::unique_lock lock(m_mutex);
  WaitForEarlierRequests(lock);
  if (isWindowRequest && m_dialogEnded) return;
  const bool waitNow = request.kind != Kind::kShowFile;
  const std::uint64_t id = request.id = ++m_lastPosted;
  m_pending.push_back(std::move(request));
  // Woken under the lock, so that the UI thread, which takes the lock before
  // it serves, is seen to follow the posting.
  m_hooks.wakeUiThread();
  // A file shown is waited for at the next request instead: the UI thread
  // shows it while the worker patches the next file, and the order stays.
  if (waitNow) m_changed.wait(lock, [&] { return m_lastServed >= id || (isWindowRequest && m_dialogEnded); });
}

void UiThreadBridge::WaitForEarlierRequests(std::unique_lock<std::mutex>& lock) {
  // Only a file shown is left outstanding, and like every window request it
  // is dropped once the dialog has ended.
  m_changed.wait(lock, [&] { return m_lastServed >= m_lastPosted || m_dialogEnded; });
}

void UiThreadBridge::ServePending() {
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
    const bool carried = !(request.kind != Kind::kMessage && ended);
    if (carried) Carry(request);
    std::lock_guard lock(m_mutex);
    m_lastServed = std::max(m_lastServed, request.id);
    m_changed.notify_all();
    // The dialog's own loop must see its end, and let its window go, before
    // anything else is carried out from inside that loop: a message box
    // shown here would keep the ended dialog on the screen behind it.
    if (carried && request.kind == Kind::kEnd) {
      if (!m_pending.empty()) m_hooks.wakeUiThread();
      return;
    }
  }
}

void UiThreadBridge::Carry(const Request& request) {
  switch (request.kind) {
    case Kind::kShowFile: m_display.ShowFile(request.text, request.label, request.number); break;
    case Kind::kEnd:
      // Ended before the window goes, so that nothing its ending sets off can
      // wait on the worker's next request.
      MarkDialogEnded();
      m_display.EndDialog(request.number.value_or(0));
      break;
    case Kind::kMessage:
      // Once the dialog has ended its window is gone: no owner then.
      m_display.ShowMessage(request.text, request.icon, request.ownedByDialog && !DialogEnded());
      break;
  }
}

bool UiThreadBridge::DialogEnded() {
  std::lock_guard lock(m_mutex);
  return m_dialogEnded;
}

void UiThreadBridge::MarkDialogEnded() {
  std::lock_guard lock(m_mutex);
  m_dialogEnded = true;
  m_changed.notify_all();
}
