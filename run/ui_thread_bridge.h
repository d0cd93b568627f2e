#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "run/run_window.h"

// What the run's display shows of the file just handled.
struct RunState {
  std::string title;
  std::string label;
  // The progress bar's position; none before the first file is finished.
  std::optional<int> position;

  friend bool operator==(const RunState&, const RunState&) = default;
};

// The window layer's side of a run: what the run's requests become on the UI
// thread, and the way to wait for the next event there. Each window toolkit
// implements it once; tests use fakes. Every call comes on the UI thread.
class RunDisplay {
 public:
  virtual ~RunDisplay() = default;

  // Waits until at least one event has arrived (a wake-up included),
  // handles what has arrived, and returns.
  virtual void PumpUiEvents() = 0;

  // While the dialog is live. The title, the status label and (when given)
  // the progress bar, painted the toolkit's usual way: the latest state,
  // not every state the worker passed through.
  virtual void ShowRunState(const RunState& state) = 0;
  virtual void EndDialog(int code) = 0;
  // Also after the dialog has ended; `ownedByDialog` is false by then. A box
  // shown over the live dialog comes up with the dialog painted in the state
  // last shown.
  virtual void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) = 0;
};

// What the bridge calls from the worker thread. Plain functions rather than
// calls on the display: the display is commonly the dialog object itself,
// whose destruction (which waits for the worker) has begun while the worker
// still runs.
struct UiThreadHooks {
  // Makes the UI thread call UiThreadBridge::ServePending soon, from
  // whatever loop it runs then (the dialog's, a message box's, or
  // PumpUiEvents). Must stay callable until the bridge has gone, also after
  // the dialog's window has.
  std::function<void()> wakeUiThread;
  // The program's string resource `id`; empty when there is none.
  std::function<std::string(int id)> loadString;
};

// Carries the worker's requests to the UI thread, which is the only thread
// that touches windows, and keeps the run's waiting rules:
//   - a file shown never waits: the worker leaves the latest state and goes
//     on, and the UI thread shows the latest state whenever it is woken, so
//     the display keeps up with the screen, not with every file; the latest
//     state is shown before anything the worker asks afterwards;
//   - ending the dialog waits while the dialog is live; window requests are
//     dropped at once after it has ended, whichever way it ended;
//   - message boxes are always shown, and waited for;
//   - the UI thread's teardown (WaitForWorker) never simply joins: it goes on
//     serving boxes until the worker has returned.
// Created on the UI thread. A request made on the UI thread itself is carried
// out at once (waiting for it there would wait for ever).
class UiThreadBridge final : public RunWindow {
 public:
  UiThreadBridge(RunDisplay& display, UiThreadHooks hooks);
  // Waits for the worker as WaitForWorker() does.
  ~UiThreadBridge() override;

  UiThreadBridge(const UiThreadBridge&) = delete;
  UiThreadBridge& operator=(const UiThreadBridge&) = delete;

  void ShowFile(const std::string& title, const std::string& label, std::optional<int> position) override;
  void EndDialog(int code) override;
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override;
  std::string LoadStringA(int id) override;

  // Starts the worker thread running body(*this). Once only.
  void StartWorker(std::function<void(RunWindow&)> body);
  bool HasWorker() const { return m_thread.joinable(); }

  // UI thread, when woken: shows the latest state, then carries out every
  // request waiting, but stops after one that ends the dialog (and wakes the
  // thread again for the rest).
  void ServePending();
  // From now on window requests are dropped. The window layer calls it when
  // the dialog ends other than through EndDialog.
  void MarkDialogEnded();
  // UI thread, when the dialog is torn down: drops window requests from now
  // on, then serves the worker's message boxes until it has returned, and
  // joins it. Returns at once when no worker was started.
  void WaitForWorker();

 private:
  enum class Kind { kEnd, kMessage };
  struct Request {
    Kind kind = Kind::kMessage;
    std::string text;
    int code = 0;
    MessageIcon icon = MessageIcon::kInformation;
    bool ownedByDialog = false;
    std::uint64_t id = 0;
  };

  void Submit(Request request);
  // Under the lock: one wake-up outstanding at a time is enough.
  void Wake();
  void Carry(const Request& request);
  bool DialogEnded();
  bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }

  RunDisplay& m_display;
  const UiThreadHooks m_hooks;
  const std::thread::id m_uiThread;

  std::mutex m_mutex;  // guards everything below it
  std::condition_variable m_changed;
  // The state the worker left last and the UI thread has not shown yet.
  std::optional<RunState> m_latest;
  std::deque<Request> m_pending;
  std::uint64_t m_lastPosted = 0;
  std::uint64_t m_lastServed = 0;
  bool m_wakeOutstanding = false;
  bool m_dialogEnded = false;
  bool m_workerReturned = false;

  std::thread m_thread;
};
