#include "win/about_dlg_win.h"

#include "product/product_text.h"
#include "ui/resource.h"
#include "win/win_module.h"

INT_PTR CAboutDlg::DoModal() {
  return DialogBoxParamA(ProgramModule(), MAKEINTRESOURCEA(IDD_ABOUTBOX), m_owner, DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      // The text is kept with the product's other texts, not in the template.
      SetDlgItemTextA(dialog, IDC_ABOUT_TEXT, AboutText().c_str());
      return TRUE;
    case WM_COMMAND: return EndOnOkOrCancel(dialog, wParam) ? TRUE : FALSE;
    default: return FALSE;
  }
}
