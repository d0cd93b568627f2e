#pragma once

// Resource and command numbers. Kept to plain #defines so that the Windows
// resource compiler reads this file too. The run's own string numbers live
// with the run, which sits below the windows.

#include "run/run_strings.h"

#define IDM_ABOUTBOX 16
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDR_MAINFRAME 130
#define IDI_PENGUIN 130
#define IDI_BOY 131
#define IDR_AVI_TURTLE 134
#define IDR_AVI_ROOM 136
#define IDD_HIDDEN_ANIM 137

#define IDC_PROGRESS 22
#define IDC_RADIO_BUMPS_BACK 1000
#define IDC_ICON_TOP 1001
#define IDC_RADIO_NO_BUMPS 1002
#define IDC_ICON_BOTTOM 1003
#define IDC_ABOUT_TEXT 1004
#define IDC_ANIMATE 6532
#define IDC_HIDDEN_ANIMATE 8224
#define IDC_STATUS 65535

#define IDS_ABOUTBOX 101
#define IDS_RADIO_BUMPS_BACK 102
#define IDS_RADIO_NO_BUMPS 103
#define IDS_NO_WORLD_FILES 104
