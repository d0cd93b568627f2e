#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/wine_prefix.h"
#include "run/batch_run.h"
#include "run/ui_thread_bridge.h"
#include "scan/world_scan.h"

// What the main dialog's behaviour asks of a window toolkit, in its own
// terms: each toolkit's dialog class carries these out over its windows, and
// tests use a recording fake. Everything here is called on the UI thread.
class MainDialogView : public RunDisplay {
 public:
  // The dialog as it waits for the user: the window's icons, the two choices
  // with these texts (the no-bumps one checked, and shown in the system's
  // default font rather than the dialog's), and the run's animation control
  // in its place, empty until the run.
  virtual void ShowChoices(const std::string& bumpsBackText, const std::string& noBumpsText) = 0;
  // The window menu's About entry reads `label`; the first call adds it,
  // after a separator. Nothing happens where the toolkit gives no menu.
  virtual void SetAboutEntry(const std::string& label) = 0;
  // Turns the dialog into the run's display: OK and the choices disabled,
  // the turtle playing, the progress bar (range 1 to 100) and the status
  // label in their places (ui/dialog_templates.h), and the dialog itself
  // neither used nor closed by the user until the run ends it.
  virtual void EnterRunMode() = 0;
  virtual void Hide() = 0;
  // Modal dialogs of the window menu.
  virtual void RunAboutBox() = 0;
  virtual void RunHiddenAnimDialog() = 0;
};

// The main dialog's behaviour, the same under every window toolkit: what it
// does while it initialises, on its buttons, on the Shift key and on the
// window menu's About entry, and how its run starts and ends. The toolkit's
// dialog class owns one, implements MainDialogView, and turns its own keys
// and window commands into these calls.
class MainDialog {
 public:
  // What the dialog calls besides the view. The defaults are the program's
  // own; tests put fakes in their place.
  struct Hooks {
    std::function<std::string()> browserDirectory = GetBrowserDirectory;
    std::function<void(const std::string& folder, WorldFileList& list)> collectWorldFiles = CollectWorldFiles;
    std::function<std::optional<std::string>()> folderThatIsNoWinePrefix = platform::FolderThatIsNoWinePrefix;
    std::function<std::vector<std::string>()> winePrefixesSearched = platform::WinePrefixesSearched;
    BatchRunHooks run;
  };

  // `wakeUiThread` makes the UI thread call ServeWorker soon, from whatever
  // loop it runs then; the run's worker calls it, also after the dialog's
  // window has gone and until Teardown has returned.
  MainDialog(MainDialogView& view, std::function<void()> wakeUiThread);
  MainDialog(MainDialogView& view, std::function<void()> wakeUiThread, Hooks hooks);
  // Tears down as Teardown() does.
  ~MainDialog();

  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // After the toolkit's own initialisation, once: finds the world files and
  // sets the dialog up. With no world file it shows message 104 (followed,
  // when no browser was found, by the Wine prefixes searched; or, when the
  // folder read as the Wine prefix is none, a warning naming it), hides the
  // dialog and cancels it (it ends as soon as initialisation returns), and
  // still runs to the end. True: focus goes where the toolkit puts it.
  bool OnInitDialog();
  // The OK button: turns the dialog into the run's display and starts the
  // worker. A second press while the run lasts does nothing.
  void OnOK();
  // Esc, the close box: ends the dialog with kIdCancel.
  void OnCancel();
  // A click on one of the two radio buttons.
  void OnRadioClicked(int id);
  // Either Shift key going down or up in the dialog's own modal loop (or in
  // its open window menu), seen before it is dispatched.
  void OnShiftKey(bool down);
  // The window menu's About entry was chosen.
  void OnAboutChosen();

  // The UI thread was woken for the worker.
  void ServeWorker();
  // The dialog ended other than by the worker's request.
  void OnDialogEnded();
  // Waits for the worker, when one was started, while still serving its
  // message boxes; then lets go of the list. The view must still be whole.
  void Teardown();

  const std::string& worldDir() const { return m_worldDir; }
  int restoreBumps() const { return m_restoreBumps; }
  const UiThreadBridge* worker() const { return m_worker.get(); }
  int shiftDown() const { return m_shiftDown; }
  const WorldFileList& files() const { return m_files; }

 private:
  void SetAboutEntryFromTable();

  MainDialogView& m_view;
  const std::function<void()> m_wakeUiThread;
  Hooks m_hooks;
  std::string m_worldDir;
  int m_restoreBumps = 0;
  std::unique_ptr<UiThreadBridge> m_worker;
  int m_shiftDown = 0;
  WorldFileList m_files;
  bool m_initialised = false;
  // Hidden by initialisation: a Shift seen then does not count.
  bool m_hidden = false;
};
