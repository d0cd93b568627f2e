#pragma once

#include <QDialog>

#include <string>

#include "app/dialog_template.h"

// The About box (IDD_ABOUTBOX): the penguin, the program's name, version,
// credits and home page, and OK. Use: `CAboutDlg dlg(parent); dlg.DoModal();`
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // The controls exist from here on; nothing is shown before DoModal.
  explicit CAboutDlg(QWidget* parent = nullptr);

  // Shows the box modally. Returns kIdOk for OK (or Enter), kIdCancel for
  // Esc or the close box.
  int DoModal();

 protected:
  void reject() override;
};

// The About text: "Quietwalk ", "Ver 1.0", the credit lines and the home
// page, each ended by a line feed but the last.
const std::string& AboutText();

// The template IDD_ABOUTBOX.
const DialogTemplate& AboutDialogTemplate();
