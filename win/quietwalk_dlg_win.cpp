#include "win/quietwalk_dlg_win.h"

#include <commctrl.h>

#include "platform/paths/program_name.h"
#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "win/about_dlg_win.h"
#include "win/hidden_anim_dlg_win.h"
#include "win/win_module.h"

namespace {

// Posted to the wake window when the worker has a request waiting.
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr const char* kWakeClass = "QuietwalkWake";

// The dialog whose keys the thread's message filter passes on: one main
// dialog per program.
CQuietwalkDlg* g_keyDialog = nullptr;
HHOOK g_messageFilter = nullptr;

UINT BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning: return MB_ICONEXCLAMATION;
    case MessageIcon::kStop: return MB_ICONHAND;
    case MessageIcon::kInformation: return MB_ICONINFORMATION;
  }
  return 0;
}

HWND CreateWakeWindow(LONG_PTR owner, WNDPROC procedure) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ProgramModule();
  windowClass.lpszClassName = kWakeClass;
  RegisterClassA(&windowClass);  // fails harmlessly once registered
  HWND window = CreateWindowExA(0, kWakeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ProgramModule(), nullptr);
  if (window) SetWindowLongPtrA(window, GWLP_USERDATA, owner);
  return window;
}

bool IsKeyMessage(UINT message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
}

}  // namespace

CQuietwalkDlg::CQuietwalkDlg(MainDialog::Hooks hooks)
    : m_hIcon(LoadIconA(ProgramModule(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_wakeWindow(CreateWakeWindow(reinterpret_cast<LONG_PTR>(this), WakeWindowProc)),
      // Only the wake window is touched: it lives until the worker has
      // returned.
      m_dialog(
          *this, [wake = m_wakeWindow] { PostMessageA(wake, kWakeMessage, 0, 0); }, std::move(hooks)) {}

CQuietwalkDlg::~CQuietwalkDlg() {
  OnDialogEnded();
  m_dialog.Teardown();
  if (m_hwnd) DestroyWindow(m_hwnd);
  DestroyWindow(m_wakeWindow);
}

INT_PTR CQuietwalkDlg::DoModal() {
  // The dialog's modal loop hands each message to the thread's filter before
  // dispatching it: where the Shift key is seen first.
  g_keyDialog = this;
  g_messageFilter = SetWindowsHookExA(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
  const INT_PTR code =
      DialogBoxParamA(ProgramModule(), MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  if (g_messageFilter) UnhookWindowsHookEx(g_messageFilter);
  g_messageFilter = nullptr;
  g_keyDialog = nullptr;
  OnDialogEnded();
  return code;
}

HWND CQuietwalkDlg::Create(HWND owner) {
  return CreateDialogParamA(ProgramModule(), MAKEINTRESOURCEA(IDD_MAIN), owner, DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CQuietwalkDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    reinterpret_cast<CQuietwalkDlg*>(lParam)->m_hwnd = dialog;
  }
  auto* self = reinterpret_cast<CQuietwalkDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    self->m_hwnd = nullptr;
    return FALSE;
  }
  return self->OnMessage(message, wParam);
}

INT_PTR CQuietwalkDlg::OnMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_INITDIALOG: return m_dialog.OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_SYSCOMMAND: return OnSysCommand(wParam) ? TRUE : FALSE;
    case WM_PAINT: return OnPaint() ? TRUE : FALSE;
    // The icon drawn while the minimised window is dragged.
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_hIcon);
    default: return FALSE;
  }
}

bool CQuietwalkDlg::OnCommand(int id, int notification) {
  if (id == IDOK) {
    m_dialog.OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    m_dialog.OnCancel();
    return true;
  }
  if ((id == IDC_RADIO_BUMPS_BACK || id == IDC_RADIO_NO_BUMPS) && notification == BN_CLICKED) {
    m_dialog.OnRadioClicked(id);
    return true;
  }
  return false;
}

bool CQuietwalkDlg::OnSysCommand(WPARAM command) {
  // The low four bits of a window command are the system's own.
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
  m_dialog.OnAboutChosen();
  SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
  return true;
}

bool CQuietwalkDlg::OnPaint() {
  // Only the minimised dialog is drawn here: its icon, centred.
  if (!IsIconic(m_hwnd)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hwnd, &paint);
  SendMessageA(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(m_hwnd, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hwnd, &paint);
  return true;
}

void CQuietwalkDlg::OnDialogEnded() {
  if (m_ended) return;
  m_ended = true;
  m_dialog.OnDialogEnded();
}

LRESULT CALLBACK CQuietwalkDlg::WakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWakeMessage) {
    if (auto* self = reinterpret_cast<CQuietwalkDlg*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
      self->m_dialog.ServeWorker();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK CQuietwalkDlg::MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX && g_keyDialog && lParam) g_keyDialog->SeeKey(*reinterpret_cast<const MSG*>(lParam));
  return CallNextHookEx(g_messageFilter, code, wParam, lParam);
}

void CQuietwalkDlg::SeeKey(const MSG& message) {
  // Only this dialog's own keys: not those of a message box or the About box.
  if (!m_hwnd || !IsKeyMessage(message.message)) return;
  if (message.hwnd != m_hwnd && GetAncestor(message.hwnd, GA_ROOT) != m_hwnd) return;
  if (message.wParam != VK_SHIFT) return;
  m_dialog.OnShiftKey(message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN);
}

// --- MainDialogView

void CQuietwalkDlg::PumpUiEvents() {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void CQuietwalkDlg::ShowRunState(const RunState& state) {
  SetWindowTextA(m_hwnd, state.title.c_str());
  SetWindowTextA(m_status, state.label.c_str());
  if (state.position) SendMessageA(m_progress, PBM_SETPOS, static_cast<WPARAM>(*state.position), 0);
}

void CQuietwalkDlg::EndDialog(int code) {
  if (m_hwnd) ::EndDialog(m_hwnd, code);
  OnDialogEnded();
}

void CQuietwalkDlg::ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) {
  // A box over an owner that has gone fails at once: once the dialog has
  // ended the box has none.
  HWND owner = ownedByDialog && !m_ended && IsWindow(m_hwnd) ? m_hwnd : nullptr;
  // What the dialog shows behind the box is painted before the box comes up.
  if (!m_ended && m_hwnd) UpdateWindow(m_hwnd);
  MessageBoxA(owner, text.c_str(), platform::ProgramName().c_str(), MB_OK | BoxIcon(icon));
}

void CQuietwalkDlg::ShowChoices(const std::string& bumpsBackText, const std::string& noBumpsText) {
  SendMessageA(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetDlgItemTextA(m_hwnd, IDC_RADIO_BUMPS_BACK, bumpsBackText.c_str());
  SetDlgItemTextA(m_hwnd, IDC_RADIO_NO_BUMPS, noBumpsText.c_str());
  CheckRadioButton(m_hwnd, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS, IDC_RADIO_NO_BUMPS);
  // No font: the control draws in the system's default font.
  SendDlgItemMessageA(m_hwnd, IDC_RADIO_NO_BUMPS, WM_SETFONT, 0, TRUE);
  // No size: the control takes the size of the clip it opens.
  m_animate = CreateChildControl(m_hwnd, ANIMATE_CLASSA, ACS_TRANSPARENT | ACS_AUTOPLAY, IDC_ANIMATE, kAnimationX,
                                 kAnimationY, 0, 0);
}

void CQuietwalkDlg::SetAboutEntry(const std::string& label) {
  HMENU menu = GetSystemMenu(m_hwnd, FALSE);
  if (!menu) return;
  // By command: the system may have added items of its own.
  if (ModifyMenuA(menu, IDM_ABOUTBOX, MF_BYCOMMAND | MF_STRING, IDM_ABOUTBOX, label.c_str())) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, label.c_str());
}

void CQuietwalkDlg::EnterRunMode() {
  for (int id : {IDOK, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) EnableWindow(GetDlgItem(m_hwnd, id), FALSE);
  SendMessageA(m_animate, ACM_OPENA, reinterpret_cast<WPARAM>(ProgramModule()),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_AVI_TURTLE)));
  const PixelRect bar = kProgressRect;
  m_progress = CreateChildControl(m_hwnd, PROGRESS_CLASSA, 0, IDC_PROGRESS, bar.x, bar.y, bar.cx, bar.cy);
  SendMessageA(m_progress, PBM_SETRANGE32, kProgressLow, kProgressHigh);
  const PixelRect label = kStatusRect;
  m_status =
      CreateChildControl(m_hwnd, WC_STATICA, SS_LEFT | SS_NOPREFIX, IDC_STATUS, label.x, label.y, label.cx, label.cy);
  // Neither used nor closed while the run lasts: only the worker ends it.
  EnableWindow(m_hwnd, FALSE);
}

void CQuietwalkDlg::Hide() { ShowWindow(m_hwnd, SW_HIDE); }

void CQuietwalkDlg::RunAboutBox() { CAboutDlg(m_hwnd).DoModal(); }

void CQuietwalkDlg::RunHiddenAnimDialog() { CHiddenAnimDlg(m_hwnd).DoModal(); }
