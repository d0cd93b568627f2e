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

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "product/product_text.h"
#include "ui/resource.h"

namespace {

using std::chrono::steady_clock;

// Wine starts a program in about a second; only a hang runs into this.
constexpr std::chrono::seconds kPatience(30);
constexpr DWORD kSendTimeoutMs = 10000;

constexpr char kInstallKey[] = "Software\\Sony\\Community Place Browser\\Install";
constexpr char kBoxCaption[] = "SAPARiQuietwalk";
constexpr char kDialogClass[] = "#32770";
// The text of a message box, as Windows numbers it.
constexpr int kMessageBoxText = 0xFFFF;

std::string g_program;  // Windows path of the program under test

// A world whose collision sound is on; `tail` makes it as long as needed.
std::string WorldWithBumps(const std::string& tail = {}) {
  return "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound TRUE\r\n] {}\r\n" + tail;
}
std::string WorldWithoutBumps(const std::string& tail = {}) {
  return "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound FALSE\r\n] {}\r\n" + tail;
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = steady_clock::now() + kPatience;
  while (!done()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// --- files and registry ---------------------------------------------------

void MakeFolders(const std::string& path) {
  for (size_t end = path.find('\\', 3); end != std::string::npos; end = path.find('\\', end + 1))
    CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  MakeFolders(path.substr(0, path.rfind('\\')));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == bytes.size()) << path << ": error " << GetLastError();
}

// The file's bytes, or "<missing>".
std::string ReadFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void PointRegistryAt(const std::string& browserDirectory) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kInstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>(browserDirectory.c_str()),
                 static_cast<DWORD>(browserDirectory.size() + 1));
  RegCloseKey(key);
}

// --- windows of the program -----------------------------------------------

std::string Text(HWND window) {
  char text[2048] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &length);
  return std::string(text, static_cast<size_t>(length));
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

SIZE ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The program, started in C:\ with no arguments; ended at the end of the
// scenario if it is still running then.
class Program {
 public:
  Program() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + g_program + "\"";
    m_started = CreateProcessA(g_program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\",
                               &startup, &m_process);
  }
  ~Program() {
    if (!m_started) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
      ADD_FAILURE() << "the program was still running at the end of the scenario";
      TerminateProcess(m_process.hProcess, 99);
      WaitForSingleObject(m_process.hProcess, INFINITE);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return m_started; }

  // The program's visible top-level dialog windows with this caption.
  std::vector<HWND> Shown(const std::string& caption) const {
    struct Search {
      DWORD process;
      const std::string* caption;
      std::vector<HWND> found;
    } search{m_process.dwProcessId, &caption, {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
          auto* s = reinterpret_cast<Search*>(parameter);
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          if (process == s->process && IsWindowVisible(window) && ClassOf(window) == kDialogClass &&
              Text(window) == *s->caption)
            s->found.push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // Waits for exactly one window with this caption; null when none came
  // before the program ended or our patience ran out.
  HWND WaitForWindow(const std::string& caption) const {
    HWND found = nullptr;
    WaitFor([&] {
      std::vector<HWND> windows = Shown(caption);
      if (windows.size() == 1) found = windows.front();
      return found != nullptr || WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0;
    });
    return found;
  }

  // The exit code once the program has ended within our patience, else -1.
  long WaitForExit() const {
    if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(kPatience.count() * 1000)) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION m_process{};
  BOOL m_started = FALSE;
};

// The main dialog, once shown; null when the program did not start or
// showed none.
HWND WaitForMainDialog(const Program& program) {
  if (!program.started()) return nullptr;
  return program.WaitForWindow(std::string(kProductName));
}

// A message box of the program as it stood when it came up, with the main
// dialog's state at that moment; answered (OK) by Answer().
struct Box {
  HWND window = nullptr;
  std::string text;
  HWND owner = nullptr;
};

Box WaitForBox(const Program& program) {
  Box box;
  box.window = program.WaitForWindow(kBoxCaption);
  if (!box.window) return box;
  box.text = Text(GetDlgItem(box.window, kMessageBoxText));
  box.owner = GetWindow(box.window, GW_OWNER);
  return box;
}

void Answer(const Box& box) {
  Send(GetDlgItem(box.window, IDOK), BM_CLICK);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.window); })) << "the box did not go: " << box.text;
}

// What the run shows in the main dialog.
struct Progress {
  std::string title, label;
  LRESULT position = -1;
  bool operator==(const Progress&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Progress& p) {
  return out << "{\"" << p.title << "\", \"" << p.label << "\", " << p.position << "}";
}

Progress ProgressOf(HWND dialog) {
  return {Text(dialog), Text(GetDlgItem(dialog, IDC_STATUS)), Send(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS)};
}

std::string Missing(const std::string& path) {
  return "The file \"" + path + "\" doesn't exist. \nThis file is going to be ignored.";
}

// --- scenarios -------------------------------------------------------------

// Layout, About box, the hidden dialog, and closing before OK, in one start.
TEST(WindowsProgram, DialogAboutHiddenDialogAndCloseBeforeOk) {
  const std::string world = "C:\\Idle\\world\\lobby\\lobby.wrl";
  WriteFile(world, WorldWithBumps());
  PointRegistryAt("C:\\Idle");
  Program program;
  HWND dialog = WaitForMainDialog(program);
  ASSERT_TRUE(dialog) << "the main dialog did not appear (" << g_program << ")";

  // 429 x 72 dialog units of MS Sans Serif 8 (base units 6 x 13).
  const SIZE client = ClientSize(dialog);
  EXPECT_EQ(client.cx, 644);
  EXPECT_EQ(client.cy, 117);
  HWND bumpsBack = GetDlgItem(dialog, IDC_RADIO_BUMPS_BACK);
  HWND noBumps = GetDlgItem(dialog, IDC_RADIO_NO_BUMPS);
  EXPECT_EQ(Text(bumpsBack), "I want the bumps back pls :]");
  EXPECT_EQ(Text(noBumps), "HATE THOSE ANNOYING BUMPS I DON'T WANT TO HEAR THOSE ANYMORE");
  EXPECT_EQ(Send(bumpsBack, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(Send(noBumps, BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(Send(noBumps, WM_GETFONT), 0) << "radio 1002 keeps the system font";
  EXPECT_TRUE(GetDlgItem(dialog, IDC_ANIMATE)) << "no animation control";
  EXPECT_FALSE(GetDlgItem(dialog, IDC_PROGRESS)) << "a progress bar before OK";

  // Shift pressed and released again: the entry is the About box.
  PostMessageA(dialog, WM_KEYDOWN, VK_SHIFT, 1);
  PostMessageA(dialog, WM_KEYUP, VK_SHIFT, 0xC0000001);
  PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = program.WaitForWindow("About");
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
  HWND hidden = program.WaitForWindow("??");
  ASSERT_TRUE(hidden) << "no hidden dialog";
  HWND animation = GetDlgItem(hidden, IDC_HIDDEN_ANIMATE);
  ASSERT_TRUE(animation) << "the hidden dialog has no animation";
  const SIZE clip = ClientSize(animation);
  EXPECT_EQ(clip.cx, 387);
  EXPECT_EQ(clip.cy, 290);
  const SIZE hiddenClient = ClientSize(hidden);
  EXPECT_EQ(hiddenClient.cx, 387);
  EXPECT_GE(hiddenClient.cy, 290);
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
  EXPECT_EQ(missing.text, Missing(gone));
  EXPECT_EQ(ProgressOf(dialog), (Progress{"Quietwalk - ...\\world\\a\\loud.wrl", "Writting File 1 of 4", 25}));
  Answer(missing);

  const Box readOnly = WaitForBox(program);
  ASSERT_TRUE(readOnly.window) << "no box for the read-only file";
  EXPECT_EQ(readOnly.text,
            "Cannot write the file \"" + locked + "\" because it's read-only. \nThis file is going to be ignored.");
  EXPECT_EQ(ProgressOf(dialog), (Progress{"Quietwalk - ...\\world\\b\\gone.wrl", "Writting File 2 of 4", 50}));
  Answer(readOnly);

  const Box summary = WaitForBox(program);
  ASSERT_TRUE(summary.window) << "no summary";
  EXPECT_EQ(summary.text, "Done ! \n1 files have been written.");
  EXPECT_EQ(summary.owner, dialog);
  EXPECT_EQ(ProgressOf(dialog), (Progress{"Quietwalk - ...\\world\\d\\quiet.wrl", "Writting File 4 of 4", 100}));
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
  EXPECT_EQ(full.text, "Unable to write the file \"" + big + "\" because the disk is full.");
  Answer(full);

  const Box missing = WaitForBox(program);
  ASSERT_TRUE(missing.window) << "the run stopped at the full disk";
  EXPECT_EQ(missing.text, Missing(gone));
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stayed after the full disk";
  Answer(missing);

  const Box summary = WaitForBox(program);
  ASSERT_TRUE(summary.window) << "no summary after the dialog had gone";
  EXPECT_EQ(summary.text, "Done ! \n1 files have been written.");
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
  EXPECT_EQ(box.text, "No VRML files found. Try reinstalling SAPARi.");
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
