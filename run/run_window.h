#pragma once

#include <optional>
#include <string>

enum class MessageIcon { kWarning, kStop, kInformation };

// The window side that the batch run talks to from its worker thread. The
// run's UI-thread bridge (run/ui_thread_bridge.h) implements it over either
// window toolkit; tests use fakes.
//
// Requests to the dialog's windows are carried out on the UI thread, in
// order. A file shown never holds the caller up: the display shows the
// latest file at its own pace, and before anything asked afterwards. Ending
// the dialog waits until it is done while the dialog is live. Once the dialog
// has ended they return at once and do nothing.
//
// Message boxes are shown on the UI thread with an OK button and the
// program's name as caption; the caller waits until each is dismissed, also
// after the dialog has ended.
class RunWindow {
 public:
  virtual ~RunWindow() = default;

  // Shows one file: the dialog's title, then the status label's text, then
  // (when given) the progress bar's position, as one request.
  virtual void ShowFile(const std::string& title, const std::string& label, std::optional<int> position) = 0;
  virtual void EndDialog(int code) = 0;

  // ownedByDialog: the dialog's window is given as the owner (a box whose
  // owner no longer exists is shown without one).
  virtual void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) = 0;

  // The program's string resource `id`; empty when there is none. Safe on
  // any thread.
  virtual std::string LoadStringA(int id) = 0;
};
