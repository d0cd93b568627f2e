#include "run/ui_thread_bridge.h"

#include <algorithm>
#include <cassert>
#include <utility>

UiThreadBridge::UiThreadBridge(RunDisplay& display, UiThreadHooks hooks)
    : m_display(display), m_hooks(std::move(hooks)), m_uiThread(std::this_thread::get_id()) {}

UiThreadBridge::~UiThreadBridge() { WaitForWorker(); }

void UiThreadBridge::ShowFile(const std::string& title, const std::string& label, std::optional<int> position) {
  if (OnUiThread()) {
    if (!DialogEnded()) m_display.ShowRunState({title, label, position});
    return;
  }
  std::lock_guard lock(m_mutex);
  if (m_dialogEnded) return;
  // A state not shown yet is overtaken, but the bar keeps the position it
  // was to take when the newer state leaves it alone.
  if (!position && m_latest) position = m_latest->position;
  m_latest = RunState{title, label, position};
  Wake();
}

void UiThreadBridge::EndDialog(int code) { Submit({Kind::kEnd, {}, code}); }

void UiThreadBridge::ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) {
  Submit({Kind::kMessage, text, 0, icon, ownedByDialog});
}

std::string UiThreadBridge::LoadStringA(int id) { return m_hooks.loadString(id); }

void UiThreadBridge::StartWorker(std::function<void(RunWindow&)> body) {
  assert(!m_thread.joinable() && "one worker per bridge");
  m_thread = std::thread([this, body = std::move(body)] {
    body(*this);
    std::lock_guard lock(m_mutex);
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
  const bool isEnd = request.kind == Kind::kEnd;
  if (OnUiThread()) {
    if (!(isEnd && DialogEnded())) Carry(request);
    return;
  }
  std::unique_lock lock(m_mutex);
  if (isEnd && m_dialogEnded) return;
  const std::uint64_t id = request.id = ++m_lastPosted;
  m_pending.push_back(std::move(request));
  Wake();
  m_changed.wait(lock, [&] { return m_lastServed >= id || (isEnd && m_dialogEnded); });
}

void UiThreadBridge::Wake() {
  if (m_wakeOutstanding) return;
  m_wakeOutstanding = true;
  // Woken under the lock, so that the UI thread, which takes the lock before
  // it serves, is seen to follow the posting.
  m_hooks.wakeUiThread();
}

void UiThreadBridge::ServePending() {
  for (;;) {
    std::optional<RunState> state;
    std::optional<Request> request;
    bool ended;
    {
      std::lock_guard lock(m_mutex);
      m_wakeOutstanding = false;
      state = std::exchange(m_latest, std::nullopt);
      if (!m_pending.empty()) {
        request = std::move(m_pending.front());
        m_pending.pop_front();
      }
      ended = m_dialogEnded;
    }
    // The state first: it was left before anything still waiting was asked.
    if (state && !ended) m_display.ShowRunState(*state);
    if (!request) return;
    const bool carried = !(request->kind == Kind::kEnd && ended);
    if (carried) Carry(*request);
    std::lock_guard lock(m_mutex);
    m_lastServed = std::max(m_lastServed, request->id);
    m_changed.notify_all();
    // The dialog's own loop must see its end, and let its window go, before
    // anything else is carried out from inside that loop: a message box
    // shown here would keep the ended dialog on the screen behind it.
    if (carried && request->kind == Kind::kEnd) {
      if (!m_pending.empty()) Wake();
      return;
    }
  }
}

void UiThreadBridge::Carry(const Request& request) {
  switch (request.kind) {
    case Kind::kEnd:
      // Ended before the window goes, so that nothing its ending sets off can
      // wait on the worker's next request.
      MarkDialogEnded();
      m_display.EndDialog(request.code);
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
  m_latest.reset();
  m_changed.notify_all();
}
