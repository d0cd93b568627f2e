#pragma once

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>

#include <memory>
#include <string>

#include "qt/animation_control.h"
#include "qt/dialog_units.h"
#include "ui/main_dialog.h"

class QCloseEvent;
class QContextMenuEvent;
class SystemMenu;

// The main dialog (IDD_MAIN) on Qt: the windows of the main dialog, whose
// behaviour (discovery, the choices, the run, the window menu) is
// MainDialog's. Its teardown waits for the run's worker, which reads this
// object, while still showing the worker's message boxes.
class CQuietwalkDlg : public QDialog, private MainDialogView {
  Q_OBJECT

 public:
  // The controls' windows do not exist yet: DoModal creates them.
  explicit CQuietwalkDlg(QWidget* parent = nullptr, MainDialog::Hooks hooks = {});
  ~CQuietwalkDlg() override;

  CQuietwalkDlg(const CQuietwalkDlg&) = delete;
  CQuietwalkDlg& operator=(const CQuietwalkDlg&) = delete;

  // Creates the window from its template, initialises it and runs it
  // modally. Returns the code it was ended with. A dialog ended during
  // initialisation is never shown. Once only.
  int DoModal();

  // The control with id `id`, or null (also before DoModal).
  QWidget* GetDlgItem(int id) const;

  // The window menu; null before DoModal.
  SystemMenu* GetSystemMenu() const;

  // False while the run lasts: the dialog then takes no input and cannot be
  // closed, but its controls keep their look.
  bool IsWindowEnabled() const { return !m_inputBlocked; }

  // Esc and the close box: ends the dialog with kIdCancel, as the behaviour
  // does it.
  void reject() override;

  // The base units the dialog is laid out at.
  DialogBaseUnits baseUnits() const { return m_baseUnits; }

  // The dialog's behaviour and its state (the world folder, the mode, the
  // list, the worker).
  const MainDialog& behaviour() const { return m_dialog; }

 protected:
  // A command of the window menu.
  virtual void OnSysCommand(unsigned command);

  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

  QIcon m_hIcon;
  AnimationControl m_animate;
  QProgressBar m_progress;
  QLabel m_status;

 private:
  // MainDialogView
  void PumpUiEvents() override;
  void ShowRunState(const RunState& state) override;
  void EndDialog(int code) override;
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override;
  void ShowChoices(const std::string& bumpsBackText, const std::string& noBumpsText) override;
  void SetAboutEntry(const std::string& label) override;
  void EnterRunMode() override;
  void Hide() override;
  void RunAboutBox() override;
  void RunHiddenAnimDialog() override;

  void CreateFromTemplate();
  // Grows the dialog, at the font's base units or larger, until every text
  // it shows fits whole, the run's included.
  void FitToTexts();
  void OpenSystemMenu(const QPoint& globalPosition);

  // Where the worker's wake-ups are posted; declared before the behaviour,
  // whose teardown waits for the worker, so that it goes after it.
  std::unique_ptr<QObject> m_wakeReceiver;
  // What the template is laid out at.
  DialogBaseUnits m_baseUnits;
  bool m_inputBlocked = false;
  MainDialog m_dialog;
};
