#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/string_table.h"
#include "win/quietwalk_dlg_win.h"

namespace {

std::string ItemText(HWND dialog, int id) {
  char text[256] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string AboutEntry(HWND dialog) {
  char text[64] = {};
  GetMenuStringA(GetSystemMenu(dialog, FALSE), IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
  return text;
}

// The main dialog over real windows, made from its template, on one world
// file that is never written.
class WinDialogTest : public testing::Test {
 protected:
  static MainDialog::Hooks OneWorld() {
    MainDialog::Hooks hooks;
    hooks.browserDirectory = [] { return std::string("C:\\browser"); };
    hooks.collectWorldFiles = [](const std::string&, WorldFileList& list) { list.push_back("C:\\a.wrl"); };
    return hooks;
  }
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ASSERT_NE(m_dialog.Create(nullptr), nullptr);
  }
  HWND hwnd() { return m_dialog.hwnd(); }

  CQuietwalkDlg m_dialog{OneWorld()};
};

TEST_F(WinDialogTest, InitialisedFromTheTemplate) {
  RECT client;
  GetClientRect(hwnd(), &client);
  RECT size{0, 0, MainDialogTemplate().cx, MainDialogTemplate().cy};
  MapDialogRect(hwnd(), &size);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  EXPECT_NE(SendMessageA(hwnd(), WM_GETFONT, 0, 0), 0);
  EXPECT_EQ(ItemText(hwnd(), IDC_RADIO_BUMPS_BACK), LoadResourceString(IDS_RADIO_BUMPS_BACK));
  EXPECT_EQ(ItemText(hwnd(), IDC_RADIO_NO_BUMPS), LoadResourceString(IDS_RADIO_NO_BUMPS));
  EXPECT_EQ(IsDlgButtonChecked(hwnd(), IDC_RADIO_NO_BUMPS), BST_CHECKED);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_RADIO_NO_BUMPS, WM_GETFONT, 0, 0), 0);
  EXPECT_NE(SendDlgItemMessageA(hwnd(), IDC_RADIO_BUMPS_BACK, WM_GETFONT, 0, 0), 0);
  HWND animation = GetDlgItem(hwnd(), IDC_ANIMATE);
  ASSERT_NE(animation, nullptr);
  RECT place;
  GetWindowRect(animation, &place);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ(place.left, kAnimationX);
  EXPECT_EQ(place.top, kAnimationY);
}

TEST_F(WinDialogTest, ShiftRelabelsTheAboutEntryByCommand) {
  const std::string about = LoadResourceString(IDS_ABOUTBOX);
  EXPECT_EQ(AboutEntry(hwnd()), about);
  m_dialog.controller().OnShiftKey(true);
  EXPECT_EQ(AboutEntry(hwnd()), "??");
  m_dialog.controller().OnShiftKey(false);
  EXPECT_EQ(AboutEntry(hwnd()), about);
  // Added once: the system menu's own items, a separator and the entry.
  HMENU menu = GetSystemMenu(hwnd(), FALSE);
  const int items = GetMenuItemCount(menu);
  m_dialog.SetAboutEntry(about);
  EXPECT_EQ(GetMenuItemCount(menu), items);
}

// The run's controls in their places, in the dialog's font, and the dialog
// itself closed to the user.
TEST_F(WinDialogTest, RunModeMakesTheRunsControls) {
  m_dialog.EnterRunMode();
  const LRESULT font = SendMessageA(hwnd(), WM_GETFONT, 0, 0);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_STATUS, WM_GETFONT, 0, 0), font);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_PROGRESS, PBM_GETRANGE, TRUE, 0), kProgressLow);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), kProgressHigh);
  for (const auto& [id, rect] : {std::pair{IDC_PROGRESS, kProgressRect}, std::pair{IDC_STATUS, kStatusRect}}) {
    RECT place;
    GetWindowRect(GetDlgItem(hwnd(), id), &place);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ((PixelRect{place.left, place.top, place.right - place.left, place.bottom - place.top}), rect) << id;
  }
  EXPECT_FALSE(IsWindowEnabled(hwnd()));
  for (int id : {IDOK, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd(), id)));
}

}  // namespace
