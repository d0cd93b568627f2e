#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "ui/resource.h"
#include "win/quietwalk_dlg_win.h"
#include "win/win_module.h"

namespace {

constexpr int kVkShift = 16;

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
  EXPECT_EQ(client.right, 644);
  EXPECT_EQ(client.bottom, 117);
  EXPECT_NE(SendMessageA(hwnd(), WM_GETFONT, 0, 0), 0);
  EXPECT_EQ(ItemText(hwnd(), IDC_RADIO_BUMPS_BACK), LoadProgramString(IDS_RADIO_BUMPS_BACK));
  EXPECT_EQ(ItemText(hwnd(), IDC_RADIO_NO_BUMPS), LoadProgramString(IDS_RADIO_NO_BUMPS));
  EXPECT_EQ(IsDlgButtonChecked(hwnd(), IDC_RADIO_NO_BUMPS), BST_CHECKED);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_RADIO_NO_BUMPS, WM_GETFONT, 0, 0), 0);
  EXPECT_NE(SendDlgItemMessageA(hwnd(), IDC_RADIO_BUMPS_BACK, WM_GETFONT, 0, 0), 0);
  HWND animation = GetDlgItem(hwnd(), IDC_ANIMATE);
  ASSERT_NE(animation, nullptr);
  RECT place;
  GetWindowRect(animation, &place);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ(place.left, 570);
  EXPECT_EQ(place.top, 5);
}

TEST_F(WinDialogTest, ShiftRelabelsTheAboutEntryByCommand) {
  EXPECT_EQ(AboutEntry(hwnd()), "&About...");
  m_dialog.controller().PreTranslateKey(true, kVkShift);
  EXPECT_EQ(AboutEntry(hwnd()), "??");
  m_dialog.controller().PreTranslateKey(false, kVkShift);
  EXPECT_EQ(AboutEntry(hwnd()), "&About...");
}

TEST_F(WinDialogTest, RunControlsGetTheDialogsFont) {
  PixelRect rect{5, 90, 385, 20};
  m_dialog.CreateProgress(IDC_PROGRESS, rect, 1, 100);
  m_dialog.CreateStatus(IDC_STATUS, rect);
  const LRESULT font = SendMessageA(hwnd(), WM_GETFONT, 0, 0);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_STATUS, WM_GETFONT, 0, 0), font);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_PROGRESS, PBM_GETRANGE, TRUE, 0), 1);
  EXPECT_EQ(SendDlgItemMessageA(hwnd(), IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
}

}  // namespace
