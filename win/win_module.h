#pragma once

#include <windows.h>

// The program's module: where its resources are.
HINSTANCE ProgramModule();

// The dialog's font given to a control created at run time; otherwise it
// would draw in the bold System font.
void UseDialogFont(HWND dialog, HWND control);

// A visible child control created at run time, in client pixels.
HWND CreateChildControl(HWND parent, const char* className, DWORD style, int id, int x, int y, int width, int height);

// A small dialog's WM_COMMAND: OK and Cancel (Esc, the close box) end it
// with their own id. True when it was one of them.
bool EndOnOkOrCancel(HWND dialog, WPARAM command);
