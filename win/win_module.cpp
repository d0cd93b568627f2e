#include "win/win_module.h"

HINSTANCE ProgramModule() { return GetModuleHandleA(nullptr); }

void UseDialogFont(HWND dialog, HWND control) {
  SendMessageA(control, WM_SETFONT, static_cast<WPARAM>(SendMessageA(dialog, WM_GETFONT, 0, 0)), TRUE);
}

HWND CreateChildControl(HWND parent, const char* className, DWORD style, int id, int x, int y, int width, int height) {
  HWND control = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ProgramModule(), nullptr);
  if (control) UseDialogFont(parent, control);
  return control;
}

bool EndOnOkOrCancel(HWND dialog, WPARAM command) {
  const int id = LOWORD(command);
  if (id != IDOK && id != IDCANCEL) return false;
  EndDialog(dialog, id);
  return true;
}
