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
#include "ui/dialog_units.h"

// What the main dialog's behaviour asks of a window toolkit. Each toolkit's
// dialog class implements it over its own windows; tests use a recording
// fake. Everything here is called on the UI thread.
class MainDialogView : public RunDisplay {
 public:
  // The program's string resource `id`; empty when there is none.
  virtual std::string LoadStringA(int id) = 0;
  // What the run's worker may call (UiThreadHooks); they must stay callable
  // until the dialog object's teardown has waited for the worker.
  virtual UiThreadHooks WorkerHooks() = 0;

  // The dialog's own window.
  virtual void HideWindow() = 0;
  virtual bool IsWindowVisible() = 0;
  // A disabled dialog takes no input and cannot be closed.
  virtual void EnableWindow(bool enable) = 0;
  // Big and small window icon: the dialog's icon (IDR_MAINFRAME).
  virtual void SetIcons() = 0;

  // The window menu. HasSystemMenu is false when the toolkit gives none; the
  // other calls are then not made. Items are addressed by command id.
  virtual bool HasSystemMenu() = 0;
  virtual void AppendSystemMenuSeparator() = 0;
  virtual void AppendSystemMenuItem(unsigned command, const std::string& text) = 0;
  virtual void ModifySystemMenuItem(unsigned command, const std::string& text) = 0;

  // The dialog's controls, by control id.
  virtual void SetItemText(int id, const std::string& text) = 0;
  virtual void CheckRadioButton(int firstId, int lastId, int checkedId) = 0;
  // Tells the control to use no font of its own: it shows in the system's
  // default font rather than the dialog's.
  virtual void SetItemNullFont(int id) = 0;
  virtual void EnableItem(int id, bool enable) = 0;

  // The run's controls, created at run time in client pixels.
  // A visible, transparent animation control that plays as soon as a clip is
  // opened and takes the size of its clip.
  virtual void CreateAnimation(int id, int x, int y) = 0;
  virtual void OpenAnimationClip(int clipId) = 0;
  virtual void CreateProgress(int id, const PixelRect& rect, int low, int high) = 0;
  virtual void CreateStatus(int id, const PixelRect& rect) = 0;

  // Modal dialogs of the window menu.
  virtual void RunAboutBox() = 0;
  virtual void RunHiddenAnimDialog() = 0;
};

// The main dialog's behaviour, the same under every window toolkit: what it
// does while it initialises, on its buttons, on the Shift key and on the
// window menu, and how its run starts and ends. The toolkit's dialog class
// owns one, implements MainDialogView, and forwards its events here.
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

  explicit MainDialog(MainDialogView& view);
  MainDialog(MainDialogView& view, Hooks hooks);
  // Tears down as Teardown() does.
  ~MainDialog();

  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // After the toolkit's own initialisation: finds the world files and sets
  // the controls up. With no world file it shows message 104 (followed, when
  // no browser was found, by the Wine prefixes searched; or, when the folder
  // read as the Wine prefix is none, a warning naming it), hides the
  // dialog and cancels it (it ends as soon as initialisation returns), and
  // still runs to the end. True: focus goes where the toolkit puts it.
  bool OnInitDialog();
  // The OK button: turns the dialog into the run's display and starts the
  // worker. Once only.
  void OnOK();
  // Esc, the close box: ends the dialog with kIdCancel.
  void OnCancel();
  // A click on one of the two radio buttons.
  void OnRadioClicked(int id);
  // A key going down or up in the dialog's own modal loop, seen before it is
  // dispatched (only looked at).
  void PreTranslateKey(bool down, int virtualKey);
  // A window-menu command; false when it is not ours and the toolkit's
  // default handling should have it.
  bool OnSysCommand(unsigned command);

  // The UI thread was woken for the worker (RunDisplay::WakeUiThread).
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
  void RestoreAboutLabel();

  MainDialogView& m_view;
  Hooks m_hooks;
  std::string m_worldDir;
  int m_restoreBumps = 0;
  std::unique_ptr<UiThreadBridge> m_worker;
  int m_shiftDown = 0;
  WorldFileList m_files;
};
