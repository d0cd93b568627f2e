#include "win/hidden_anim_dlg_win.h"

#include <commctrl.h>

#include "ui/resource.h"
#include "win/win_module.h"

namespace {

// Where the animation goes: left 0, top 0, right and bottom as here.
constexpr int kAnimationRight = 387;
constexpr int kAnimationBottom = 290;

void OnInitDialog(HWND dialog) {
  HWND animation = CreateChildControl(dialog, ANIMATE_CLASSA, ACS_AUTOPLAY, IDC_HIDDEN_ANIMATE, 0, 0, kAnimationRight,
                                      kAnimationBottom);
  SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(ProgramModule()),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_AVI_ROOM)));
  SetWindowTextA(dialog, "??");
}

}  // namespace

INT_PTR CHiddenAnimDlg::DoModal() {
  return DialogBoxParamA(ProgramModule(), MAKEINTRESOURCEA(IDD_HIDDEN_ANIM), m_owner, DialogProc, 0);
}

INT_PTR CALLBACK CHiddenAnimDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); return TRUE;
    case WM_COMMAND: return EndOnOkOrCancel(dialog, wParam) ? TRUE : FALSE;
    default: return FALSE;
  }
}
