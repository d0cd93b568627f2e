#include "win/hidden_anim_dlg_win.h"

#include <commctrl.h>

#include <string>

#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "win/win_module.h"

namespace {

void OnInitDialog(HWND dialog) {
  const PixelRect place = kHiddenAnimationRect;
  HWND animation = CreateChildControl(dialog, ANIMATE_CLASSA, ACS_AUTOPLAY, IDC_HIDDEN_ANIMATE, place.x, place.y,
                                      place.cx, place.cy);
  SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(ProgramModule()),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_AVI_ROOM)));
  SetWindowTextA(dialog, std::string(kHiddenDialogCaption).c_str());
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
