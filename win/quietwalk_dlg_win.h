#pragma once

#include <windows.h>

#include "ui/main_dialog.h"

// The main dialog (template IDD_MAIN) over Win32 windows: forwards the
// dialog's messages to MainDialog and carries out what it asks.
class CQuietwalkDlg final : public MainDialogView {
 public:
  explicit CQuietwalkDlg(MainDialog::Hooks hooks = {});
  // Waits for the run's worker, still serving its message boxes.
  ~CQuietwalkDlg() override;

  CQuietwalkDlg(const CQuietwalkDlg&) = delete;
  CQuietwalkDlg& operator=(const CQuietwalkDlg&) = delete;

  // Runs the dialog modally; returns the code it ended with.
  INT_PTR DoModal();
  // Creates the dialog modeless over `owner`, for tests; null on failure.
  HWND Create(HWND owner);
  HWND hwnd() const { return m_hwnd; }
  MainDialog& controller() { return m_dialog; }

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

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam);

  INT_PTR OnMessage(UINT message, WPARAM wParam);
  bool OnCommand(int id, int notification);
  bool OnSysCommand(WPARAM command);
  bool OnPaint();
  void OnDialogEnded();
  void SeeKey(const MSG& message);

  HICON m_hIcon;
  HWND m_hwnd = nullptr;
  // Receives the worker's wake-ups, whichever loop runs: it outlives the
  // dialog's window, which the worker may still wake after it has gone.
  HWND m_wakeWindow = nullptr;
  HWND m_animate = nullptr;
  HWND m_progress = nullptr;
  HWND m_status = nullptr;
  bool m_ended = false;
  MainDialog m_dialog;
};
