#pragma once

#include <string>

#include "run/run_window.h"

class QWidget;

// Every message box of the program goes through one presenter, so that tests
// can watch the boxes and answer them without a user. All boxes are modal and
// have one OK button.
class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;

  // Shows `text` (ANSI) under `caption` (ANSI) with `icon`, owned by `owner`
  // (null: no owner), and returns once it has been dismissed. UI thread only.
  virtual void Show(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

// The presenter in use: the one last set, else a QMessageBox shown modally.
MessageBoxPresenter& CurrentMessageBoxPresenter();

// Puts `presenter` in place (null: the QMessageBox one) and returns the one it
// replaces (null when that was the QMessageBox one). The caller keeps
// ownership and must restore the old one before its presenter goes away.
MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter);

// The application's own message box: `text` with the application's name
// (the executable's file name without its extension) as caption.
void AppMessageBox(QWidget* owner, const std::string& text, MessageIcon icon);
