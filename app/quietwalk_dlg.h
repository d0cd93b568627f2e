#pragma once

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>

#include <memory>
#include <string>

#include "app/animation_control.h"
#include "scan/world_scan.h"

class QCloseEvent;
class QContextMenuEvent;
class RunWindowQt;
class SystemMenu;

// The main dialog (IDD_MAIN). Finds the world files while it initialises,
// lets the user choose the collision-sound state, and turns into the batch
// run's progress display on OK. Its teardown waits for the run's worker,
// which reads this object, while still showing the worker's message boxes.
class CQuietwalkDlg : public QDialog {
  Q_OBJECT

 public:
  // The controls' windows do not exist yet: DoModal creates them.
  explicit CQuietwalkDlg(QWidget* parent = nullptr);
  ~CQuietwalkDlg() override;

  CQuietwalkDlg(const CQuietwalkDlg&) = delete;
  CQuietwalkDlg& operator=(const CQuietwalkDlg&) = delete;

  // Creates the window from its template, initialises it and runs it
  // modally. Returns the code it was ended with. A dialog ended during
  // initialisation is never shown.
  int DoModal();

  // Ends the modal run with `code`; during initialisation, as soon as
  // initialisation has returned.
  void EndDialog(int code);

  // The control with id `id`, or null (also before DoModal).
  QWidget* GetDlgItem(int id) const;

  // The window menu; null before DoModal.
  SystemMenu* GetSystemMenu() const;

 protected:
  // Discovery and set-up of the controls. True: focus goes where it would.
  virtual bool OnInitDialog();
  // The OK button: starts the batch run.
  virtual void OnOK();
  // Esc, the close box and the Close command: ends the dialog with kIdCancel.
  virtual void OnCancel();
  // Sees every event this dialog's own modal loop hands to the dialog or its
  // controls, before they get it; only looks, never swallows one. A held
  // Shift turns the About entry into "??".
  virtual bool PreTranslateMessage(QEvent* event);
  // A command of the window menu.
  virtual void OnSysCommand(unsigned command, long parameter);

  bool eventFilter(QObject* watched, QEvent* event) override;

  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

  std::string m_worldDir;
  int m_restoreBumps;
  std::unique_ptr<RunWindowQt> m_worker;
  QIcon m_hIcon;
  int m_shiftDown;
  AnimationControl m_animate;
  QProgressBar m_progress;
  QLabel m_status;
  WorldFileList m_files;

 private:
  void CreateFromTemplate();
  void CreateAnimation();
  void OnRadioBumpsBack();
  void OnRadioNoBumps();
  void OpenSystemMenu(const QPoint& globalPosition);
  void RestoreAboutLabel();
};
