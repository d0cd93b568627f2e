#pragma once

#include <string>

namespace platform {

enum class MessageIcon { kWarning, kStop, kInformation };

// The window side that the batch run talks to from its worker thread. The
// window layer implements it; tests use fakes.
//
// Requests to the dialog's windows are carried out on the UI thread. While
// the dialog is live the caller waits until each is done, in order; once the
// dialog has ended they return at once and do nothing.
//
// Message boxes are shown on the UI thread with an OK button and the
// program's name as caption; the caller waits until each is dismissed, also
// after the dialog has ended.
class RunWindow {
 public:
  virtual ~RunWindow() = default;

  virtual void SetTitle(const std::string& text) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void EndDialog(int code) = 0;

  // ownedByDialog: the dialog's window is given as the owner (a box whose
  // owner no longer exists is shown without one).
  virtual void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) = 0;

  // The program's string resource `id`; empty when there is none.
  virtual std::string LoadString(int id) = 0;
};

}  // namespace platform
