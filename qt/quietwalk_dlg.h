#pragma once

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <string>

#include "qt/animation_control.h"
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
  // initialisation is never shown.
  int DoModal();

  // Ends the modal run with `code`; during initialisation, as soon as
  // initialisation has returned.
  void EndDialog(int code) override;

  // The control with id `id`, or null (also before DoModal).
  QWidget* GetDlgItem(int id) const;

  // The window menu; null before DoModal.
  SystemMenu* GetSystemMenu() const;

  // False while the run lasts: the dialog then takes no input and cannot be
  // closed, but its controls keep their look.
  bool IsWindowEnabled() const { return !m_inputBlocked; }

  // The dialog's behaviour and its state (the world folder, the mode, the
  // list, the worker).
  const MainDialog& behaviour() const { return m_dialog; }

 protected:
  // Discovery and set-up of the controls. True: focus goes where it would.
  virtual bool OnInitDialog();
  // The OK button: starts the batch run.
  virtual void OnOK();
  // Esc, the close box and the Close command: ends the dialog with kIdCancel.
  virtual void OnCancel();
  // Sees every event this dialog's own modal loop hands to the dialog or its
  // controls (and the keys of its open window menu), before they get it;
  // only looks, never swallows one.
  virtual bool PreTranslateMessage(QEvent* event);
  // A command of the window menu.
  virtual void OnSysCommand(unsigned command, long parameter);

  bool eventFilter(QObject* watched, QEvent* event) override;
  void customEvent(QEvent* event) override;
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

  QIcon m_hIcon;
  AnimationControl m_animate;
  QProgressBar m_progress;
  QLabel m_status;

 private:
  // MainDialogView
  UiThreadHooks WorkerHooks() override;
  void PumpUiEvents() override;
  void ShowFile(const std::string& title, const std::string& label, std::optional<int> position) override;
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override;
  std::string LoadStringA(int id) override;
  void HideWindow() override;
  bool IsWindowVisible() override;
  void EnableWindow(bool enable) override;
  void SetIcons() override;
  bool HasSystemMenu() override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(unsigned command, const std::string& text) override;
  void ModifySystemMenuItem(unsigned command, const std::string& text) override;
  void SetItemText(int id, const std::string& text) override;
  void CheckRadioButton(int firstId, int lastId, int checkedId) override;
  void SetItemNullFont(int id) override;
  void EnableItem(int id, bool enable) override;
  void CreateAnimation(int id, int x, int y) override;
  void OpenAnimationClip(int clipId) override;
  void CreateProgress(int id, const PixelRect& rect, int low, int high) override;
  void CreateStatus(int id, const PixelRect& rect) override;
  void RunAboutBox() override;
  void RunHiddenAnimDialog() override;

  void CreateFromTemplate();
  void OpenSystemMenu(const QPoint& globalPosition);

  bool m_inputBlocked = false;
  // Holds the run's repaints back between two frames.
  QTimer m_nextFrame;
  MainDialog m_dialog;
};
