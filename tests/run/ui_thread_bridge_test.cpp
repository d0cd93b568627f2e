#include "run/ui_thread_bridge.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fake_ui_thread.h"

namespace {

// The test's main thread is the UI thread. Everything the display is asked
// to show is written down, and whether it came on that thread.
class FakeDisplay final : public RunDisplay {
 public:
  UiThreadBridge* bridge = nullptr;
  std::vector<std::string> shown;
  bool offUiThread = false;
  std::function<void(const std::string&)> onBox;
  std::function<void()> onEnd;
  int ended = 0;
  // A box shown from inside the modal loop once the dialog has ended.
  bool boxInEndedLoop = false;

  UiThreadHooks Hooks() {
    return {[this] { loop.Wake(); }, [](int id) { return "string " + std::to_string(id); }};
  }
  void PumpUiEvents() override {
    loop.Pump([this] { bridge->ServePending(); });
  }
  // The dialog's modal loop: runs until the dialog has ended.
  void RunModalLoop() {
    m_inModalLoop = true;
    while (ended == 0) PumpUiEvents();
    m_inModalLoop = false;
  }

  void ShowRunState(const RunState& state) override {
    Note("file " + state.title + " | " + state.label + (state.position ? " | " + std::to_string(*state.position) : ""));
  }
  void EndDialog(int code) override {
    Note("end " + std::to_string(code));
    ++ended;
    if (onEnd) onEnd();
  }
  void ShowMessage(const std::string& text, MessageIcon, bool ownedByDialog) override {
    Note("box " + text + (ownedByDialog ? " owned" : ""));
    if (m_inModalLoop && ended) boxInEndedLoop = true;
    if (onBox) onBox(text);
  }

 private:
  void Note(const std::string& what) {
    if (std::this_thread::get_id() != m_uiThread) offUiThread = true;
    shown.push_back(what);
  }
  const std::thread::id m_uiThread = std::this_thread::get_id();
  bool m_inModalLoop = false;

 public:
  testing_support::FakeUiThread loop;
};

// `shown` without the files shown before each file: what the latest state
// leaves on the screen between the other requests.
std::vector<std::string> LastFileBeforeEachRequest(const std::vector<std::string>& shown) {
  std::vector<std::string> out;
  for (const std::string& entry : shown) {
    if (!out.empty() && out.back().rfind("file ", 0) == 0 && entry.rfind("file ", 0) == 0) out.pop_back();
    out.push_back(entry);
  }
  return out;
}

struct BridgedRun {
  FakeDisplay display;
  UiThreadBridge bridge{display, display.Hooks()};
  BridgedRun() { display.bridge = &bridge; }
};

// A box is waited for, and comes over the latest file shown before it: when
// its call returns, that file has been shown.
TEST(UiThreadBridgeTest, EachRequestIsDoneOnTheUiThreadInOrderAfterTheLatestFile) {
  BridgedRun run;
  std::vector<std::string> seenByWorker;
  run.bridge.StartWorker([&](RunWindow& window) {
    window.ShowFile("t1", "l1", std::nullopt);
    window.ShowFile("t1", "l1", 100);
    window.ShowMessage("summary", MessageIcon::kInformation, true);
    seenByWorker = run.display.shown;
    window.ShowFile("t2", "l2", 100);
    window.EndDialog(0);
  });
  run.display.RunModalLoop();
  run.bridge.WaitForWorker();
  EXPECT_EQ(LastFileBeforeEachRequest(run.display.shown),
            (std::vector<std::string>{"file t1 | l1 | 100", "box summary owned", "file t2 | l2 | 100", "end 0"}));
  EXPECT_EQ(LastFileBeforeEachRequest(seenByWorker),
            (std::vector<std::string>{"file t1 | l1 | 100", "box summary owned"}));
  EXPECT_FALSE(run.display.offUiThread);
  EXPECT_EQ(run.bridge.LoadStringA(107), "string 107");
}

// Files shown never wait for the UI thread: the worker shows thousands while
// the UI thread serves nothing, and the UI thread then shows the latest one
// once, with the bar where the last file to move it left it.
TEST(UiThreadBridgeTest, FilesShownAreCoalescedAndNeverWaitedFor) {
  BridgedRun run;
  std::promise<void> shownAll;
  run.bridge.StartWorker([&](RunWindow& window) {
    for (int i = 1; i <= 5000; ++i) window.ShowFile("t" + std::to_string(i), "l", i % 101);
    window.ShowFile("last", "label", std::nullopt);
    shownAll.set_value();
    window.EndDialog(0);
  });
  shownAll.get_future().wait();
  run.display.RunModalLoop();
  run.bridge.WaitForWorker();
  EXPECT_EQ(run.display.shown,
            (std::vector<std::string>{"file last | label | " + std::to_string(5000 % 101), "end 0"}));
}

// The full-disk path: the dialog ends mid-run. What follows must neither wait
// on the dialog nor lose a box, also those that come up only once the modal
// loop has returned and only the teardown serves.
TEST(UiThreadBridgeTest, AfterTheEndWindowRequestsAreDroppedAndBoxesStillShownWithoutOwner) {
  BridgedRun run;
  std::promise<void> loopReturned;
  std::shared_future<void> loopHasReturned = loopReturned.get_future().share();
  run.bridge.StartWorker([&](RunWindow& window) {
    window.ShowMessage("disk full", MessageIcon::kStop, false);
    window.EndDialog(-4);
    for (int i = 0; i < 100; ++i) window.ShowFile("late", "late", i);
    loopHasReturned.wait();
    window.ShowMessage("read-only", MessageIcon::kWarning, false);
    window.ShowMessage("summary", MessageIcon::kInformation, true);
    window.EndDialog(0);
  });
  run.display.RunModalLoop();
  loopReturned.set_value();
  run.bridge.WaitForWorker();
  EXPECT_FALSE(run.bridge.HasWorker());
  EXPECT_EQ(run.display.shown, (std::vector<std::string>{"box disk full", "end -4", "box read-only", "box summary"}));
  EXPECT_FALSE(run.display.offUiThread);
}

// A box queued while the dialog ends waits until the dialog's loop has
// returned: shown from inside it, it would keep the ended dialog's window.
TEST(UiThreadBridgeTest, NothingMoreIsServedInTheLoopOfADialogThatEnded) {
  BridgedRun run;
  // Until the worker, released by the end, has queued its box.
  run.display.onEnd = [&] { run.display.loop.WaitUntilWoken(); };
  run.bridge.StartWorker([](RunWindow& window) {
    window.EndDialog(-4);
    window.ShowMessage("missing", MessageIcon::kWarning, false);
  });
  run.display.RunModalLoop();
  run.bridge.WaitForWorker();
  EXPECT_EQ(run.display.shown, (std::vector<std::string>{"end -4", "box missing"}));
  EXPECT_FALSE(run.display.boxInEndedLoop);
}

// A box the worker waits on while the UI thread is already tearing down,
// with no modal loop ever run: served, not deadlocked.
TEST(UiThreadBridgeTest, TeardownServesTheWorkerToItsEndWithoutAModalLoop) {
  BridgedRun run;
  run.bridge.StartWorker([](RunWindow& window) {
    for (int i = 0; i < 200; ++i) window.ShowFile("t", "l", i);
    window.ShowMessage("one", MessageIcon::kWarning, false);
    window.ShowMessage("two", MessageIcon::kWarning, true);
  });
  run.bridge.WaitForWorker();
  ASSERT_GE(run.display.shown.size(), 2u);
  EXPECT_EQ(run.display.shown[run.display.shown.size() - 2], "box one");
  EXPECT_EQ(run.display.shown.back(), "box two");
}

// Made on the UI thread itself, a request is carried out at once: waiting
// for it there would wait for ever.
TEST(UiThreadBridgeTest, RequestsFromTheUiThreadAreCarriedOutDirectly) {
  BridgedRun run;
  run.bridge.ShowFile("direct", "label", 7);
  run.bridge.ShowMessage("box", MessageIcon::kWarning, true);
  run.bridge.EndDialog(2);
  run.bridge.ShowFile("dropped", "label", 8);
  EXPECT_EQ(run.display.shown, (std::vector<std::string>{"file direct | label | 7", "box box owned", "end 2"}));
}

}  // namespace
