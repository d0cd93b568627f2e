#pragma once

#include <windows.h>

// The dialog behind the About entry with Shift held (template
// IDD_HIDDEN_ANIM): an animation and the caption "??", modal over `owner`.
class CHiddenAnimDlg {
 public:
  explicit CHiddenAnimDlg(HWND owner) : m_owner(owner) {}
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_owner;
};
