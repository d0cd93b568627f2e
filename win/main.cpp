#include <windows.h>

#include <commctrl.h>

#include "win/quietwalk_dlg_win.h"

namespace {

// Everything happens here; the program ends when it returns.
void InitInstance() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CQuietwalkDlg dialog;
  dialog.DoModal();
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  InitInstance();
  return 0;
}
