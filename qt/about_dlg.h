#pragma once

#include <QDialog>

#include "qt/dialog_units.h"

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

  // The base units the box is laid out at: its font's, or more where its
  // text would not fit.
  DialogBaseUnits baseUnits() const { return m_baseUnits; }

 protected:
  void reject() override;

 private:
  DialogBaseUnits m_baseUnits;
};
