// The Windows program, started as a user starts it, in the Wine prefix this
// driver runs in, and driven from outside by window messages alone: the
// driver finds the program's windows by process, reads their texts, sizes
// and states, and clicks their buttons, as a user (or an accessibility tool)
// would.
//
//   e2e_driver PROGRAM.exe [--gtest_filter=...]
//
// Each scenario lays out worlds of its own on C: (or on the full drive the
// emulator provides), points the browser's registry key at them and starts
// the program there.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "product/product_text.h"
#include "run/batch_run.h"
#include "tests/win/e2e_program.h"
#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

using namespace e2e;

// A world whose collision sound is on; `tail` makes it as long as needed.
std::string WorldWithBumps(const std::string& tail = {}) {
  return "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound TRUE\r\n] {}\r\n" + tail;
}
std::string WorldWithoutBumps(const std::string& tail = {}) {
  return "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound FALSE\r\n] {}\r\n" + tail;
}

std::string Message(int id, const std::string& path) { return ReplacePathPlaceholders(LoadResourceString(id), path); }
std::string Label(int k, int n) { return FormatNumbers(LoadResourceString(IDS_STATUS_FILE_K_OF_N), {k, n}); }
std::string Summary(int written) { return FormatNumbers(LoadResourceString(IDS_SUMMARY_WRITTEN), {written}); }

// Layout, About box, the hidden dialog, and closing before OK, in one start.
TEST(WindowsProgram, DialogAboutHiddenDialogAndCloseBeforeOk) {
  const std::string world = "C:\\Idle\\world\\lobby\\lobby.wrl";
  WriteFile(world, WorldWithBumps());
  PointRegistryAt("C:\\Idle");
  Program program;
  HWND dialog = WaitForMainDialog(program);
  ASSERT_TRUE(dialog) << "the main dialog did not appear (" << g_program << ")";

  // The template's size in MS Sans Serif 8, whose base units are 6 x 13.
  const SIZE client = ClientSize(dialog);
  EXPECT_EQ(client.cx, MulDiv(MainDialogTemplate().cx, 6, 4));
  EXPECT_EQ(client.cy, MulDiv(MainDialogTemplate().cy, 13, 8));
  HWND bumpsBack = GetDlgItem(dialog, IDC_RADIO_BUMPS_BACK);
  HWND noBumps = GetDlgItem(dialog, IDC_RADIO_NO_BUMPS);
  EXPECT_EQ(Text(bumpsBack), LoadResourceString(IDS_RADIO_BUMPS_BACK));
  EXPECT_EQ(Text(noBumps), LoadResourceString(IDS_RADIO_NO_BUMPS));
  EXPECT_EQ(Send(bumpsBack, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(Send(noBumps, BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(Send(noBumps, WM_GETFONT), 0) << "radio 1002 keeps the system font";
  EXPECT_TRUE(GetDlgItem(dialog, IDC_ANIMATE)) << "no animation control";
  EXPECT_FALSE(GetDlgItem(dialog, IDC_PROGRESS)) << "a progress bar before OK";

  // Shift pressed and released again: the entry is the About box.
  PostMessageA(dialog, WM_KEYDOWN, VK_SHIFT, 1);
  PostMessageA(dialog, WM_KEYUP, VK_SHIFT, 0xC0000001);
  PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = program.WaitForWindow(std::string(AboutDialogTemplate().caption));
  ASSERT_TRUE(about) << "no About box";
  EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
  bool textFound = false;
  for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    textFound = textFound || Text(child) == AboutText();
  EXPECT_TRUE(textFound) << "the About box lacks its text";
  Send(GetDlgItem(about, IDOK), BM_CLICK);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(about); })) << "the About box did not close";

  // Shift held: the entry is the hidden dialog.
  PostMessageA(dialog, WM_KEYDOWN, VK_SHIFT, 1);
  PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND hidden = program.WaitForWindow(std::string(kHiddenDialogCaption));
  ASSERT_TRUE(hidden) << "no hidden dialog";
  HWND animation = GetDlgItem(hidden, IDC_HIDDEN_ANIMATE);
  ASSERT_TRUE(animation) << "the hidden dialog has no animation";
  const SIZE clip = ClientSize(animation);
  EXPECT_EQ(clip.cx, kHiddenAnimationRect.cx);
  EXPECT_EQ(clip.cy, kHiddenAnimationRect.cy);
  const SIZE hiddenClient = ClientSize(hidden);
  EXPECT_EQ(hiddenClient.cx, kHiddenAnimationRect.cx);
  EXPECT_GE(hiddenClient.cy, kHiddenAnimationRect.cy);
  PostMessageA(hidden, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(hidden); })) << "the hidden dialog did not close";
  PostMessageA(dialog, WM_KEYUP, VK_SHIFT, 0xC0000001);

  // Closed before OK: the program ends and the world is as it was.
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(world), WorldWithBumps());
}

// A run over four worlds: one to rewrite, one gone before OK, one read-only,
// one already quiet. Each box is looked at while the worker waits on it.
TEST(WindowsProgram, RunReportsEachFileAndRewritesTheWorlds) {
  const std::string root = "C:\\Run\\world\\";
  const std::string loud = root + "a\\loud.wrl", gone = root + "b\\gone.wrl", locked = root + "c\\locked.wrl",
                    quiet = root + "d\\quiet.wrl";
  WriteFile(loud, WorldWithBumps());
  WriteFile(gone, WorldWithBumps());
  WriteFile(locked, WorldWithBumps());
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFile(quiet, WorldWithoutBumps());
  PointRegistryAt("C:\\Run");
  Program program;
  HWND dialog = WaitForMainDialog(program);
  ASSERT_TRUE(dialog) << "the main dialog did not appear (" << g_program << ")";
  ASSERT_TRUE(DeleteFileA(gone.c_str()));

  Send(GetDlgItem(dialog, IDOK), BM_CLICK);
  HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
  ASSERT_TRUE(progress) << "OK made no progress bar";
  EXPECT_EQ(Send(progress, PBM_GETRANGE, TRUE), 1);
  EXPECT_EQ(Send(progress, PBM_GETRANGE, FALSE), 100);
  EXPECT_FALSE(IsWindowEnabled(dialog));
  for (int id : {IDOK, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS})
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, id))) << "control " << id << " still enabled";

  const Box missing = WaitForBox(program);
  ASSERT_TRUE(missing.window) << "no box for the missing file";
  EXPECT_EQ(missing.text, Message(IDS_FILE_MISSING, gone));
  EXPECT_EQ(ProgressOf(dialog), (Progress{RunTitle(loud, "C:\\Run"), Label(1, 4), 25}));
  Answer(missing);

  const Box readOnly = WaitForBox(program);
  ASSERT_TRUE(readOnly.window) << "no box for the read-only file";
  EXPECT_EQ(readOnly.text, Message(IDS_READ_ONLY, locked));
  EXPECT_EQ(ProgressOf(dialog), (Progress{RunTitle(gone, "C:\\Run"), Label(2, 4), 50}));
  Answer(readOnly);

  const Box summary = WaitForBox(program);
  ASSERT_TRUE(summary.window) << "no summary";
  EXPECT_EQ(summary.text, Summary(1));
  EXPECT_EQ(summary.owner, dialog);
  EXPECT_EQ(ProgressOf(dialog), (Progress{RunTitle(quiet, "C:\\Run"), Label(4, 4), 100}));
  Answer(summary);

  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(loud), WorldWithoutBumps());
  EXPECT_EQ(ReadFile(gone), "<missing>");
  EXPECT_EQ(ReadFile(locked), WorldWithBumps());
  EXPECT_EQ(ReadFile(quiet), WorldWithoutBumps());
}

// On a full drive: the first world does not fit twice, so its rewrite fails;
// the dialog goes, yet the next two worlds are still attempted and the
// summary still appears, with no owner left.
TEST(WindowsProgram, DiskFullEndsTheDialogButNotTheRun) {
  char drive[8] = {};
  if (!GetEnvironmentVariableA("QUIETWALK_FULL_DRIVE", drive, sizeof drive))
    GTEST_SKIP() << "no small drive to fill (the emulator could not mount one)";
  const std::string root = std::string(drive) + "\\Full\\world\\";
  const std::string big = root + "a\\big.wrl", gone = root + "b\\gone.wrl", small = root + "c\\small.wrl";
  const std::string padding(40 * 1024 - 2, '#');
  WriteFile(big, WorldWithBumps(padding + "\r\n"));
  WriteFile(gone, WorldWithBumps());
  WriteFile(small, WorldWithBumps());
  PointRegistryAt(std::string(drive) + "\\Full");
  Program program;
  HWND dialog = WaitForMainDialog(program);
  ASSERT_TRUE(dialog) << "the main dialog did not appear (" << g_program << ")";
  ASSERT_TRUE(DeleteFileA(gone.c_str()));
  Send(GetDlgItem(dialog, IDOK), BM_CLICK);

  const Box full = WaitForBox(program);
  ASSERT_TRUE(full.window) << "no box for the full disk";
  EXPECT_EQ(full.text, Message(IDS_DISK_FULL, big));
  Answer(full);

  const Box missing = WaitForBox(program);
  ASSERT_TRUE(missing.window) << "the run stopped at the full disk";
  EXPECT_EQ(missing.text, Message(IDS_FILE_MISSING, gone));
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stayed after the full disk";
  Answer(missing);

  const Box summary = WaitForBox(program);
  ASSERT_TRUE(summary.window) << "no summary after the dialog had gone";
  EXPECT_EQ(summary.text, Summary(1));
  EXPECT_EQ(summary.owner, nullptr);
  Answer(summary);

  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(big), WorldWithBumps(padding + "\r\n"));
  EXPECT_EQ(ReadFile(small), WorldWithoutBumps());
}

// No browser, no worlds: message 104, and the dialog never shows. Also the
// check that a packaged program starts in a fresh prefix.
TEST(WindowsProgram, NoWorldsShowsMessage104AndEnds) {
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Sony");
  Program program;
  ASSERT_TRUE(program.started()) << g_program << ": error " << GetLastError();
  const Box box = WaitForBox(program);
  ASSERT_TRUE(box.window) << "no message 104";
  EXPECT_EQ(box.text, LoadResourceString(IDS_NO_WORLD_FILES));
  EXPECT_TRUE(program.Shown(std::string(kProductName)).empty()) << "the main dialog showed";
  Answer(box);
  EXPECT_EQ(program.WaitForExit(), 0);
}

// "/a/b" (a host path, as CMake passes it) is Z:\a\b under Wine.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path.front() == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    fprintf(stderr, "usage: e2e_driver PROGRAM.exe [--gtest_filter=...]\n");
    return 2;
  }
  g_program = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
