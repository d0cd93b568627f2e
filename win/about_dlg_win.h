#pragma once

#include <windows.h>

// The About box (template IDD_ABOUTBOX), modal over `owner`.
class CAboutDlg {
 public:
  explicit CAboutDlg(HWND owner) : m_owner(owner) {}
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_owner;
};
