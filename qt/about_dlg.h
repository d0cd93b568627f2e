#pragma once

#include <QDialog>

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
