#include "tests/win/e2e_program.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "product/product_text.h"
#include "ui/resource.h"

namespace e2e {

std::string g_program;

namespace {

using std::chrono::steady_clock;

// Wine starts a program in about a second; only a hang runs into this.
constexpr std::chrono::seconds kPatience(30);
constexpr DWORD kSendTimeoutMs = 10000;

constexpr char kInstallKey[] = "Software\\Sony\\Community Place Browser\\Install";
constexpr char kDialogClass[] = "#32770";
// The text of a message box, as Windows numbers it.
constexpr int kMessageBoxText = 0xFFFF;

void MakeFolders(const std::string& path) {
  for (size_t end = path.find('\\', 3); end != std::string::npos; end = path.find('\\', end + 1))
    CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The caption of the program's boxes: its file name without extension.
std::string BoxCaption() {
  const size_t slash = g_program.find_last_of('\\');
  const std::string name = g_program.substr(slash == std::string::npos ? 0 : slash + 1);
  return name.substr(0, name.rfind('.'));
}

}  // namespace

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = steady_clock::now() + kPatience;
  while (!done()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
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

std::string Text(HWND window) {
  char text[2048] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &length);
  return std::string(text, static_cast<size_t>(length));
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

SIZE ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

Program::Program() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + g_program + "\"";
  m_started = CreateProcessA(g_program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\",
                             &startup, &m_process);
}

Program::~Program() {
  if (!m_started) return;
  if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
    ADD_FAILURE() << "the program was still running at the end of the scenario";
    TerminateProcess(m_process.hProcess, 99);
    WaitForSingleObject(m_process.hProcess, INFINITE);
  }
  CloseHandle(m_process.hThread);
  CloseHandle(m_process.hProcess);
}

std::vector<HWND> Program::Shown(const std::string& caption) const {
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

HWND Program::WaitForWindow(const std::string& caption) const {
  HWND found = nullptr;
  WaitFor([&] {
    std::vector<HWND> windows = Shown(caption);
    if (windows.size() == 1) found = windows.front();
    return found != nullptr || WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0;
  });
  return found;
}

long Program::WaitForExit() const {
  if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(kPatience.count() * 1000)) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(m_process.hProcess, &code);
  return static_cast<long>(code);
}

// The main dialog, once shown; null when the program did not start or
// showed none.
HWND WaitForMainDialog(const Program& program) {
  if (!program.started()) return nullptr;
  return program.WaitForWindow(std::string(kProductName));
}

Box WaitForBox(const Program& program) {
  Box box;
  box.window = program.WaitForWindow(BoxCaption());
  if (!box.window) return box;
  box.text = Text(GetDlgItem(box.window, kMessageBoxText));
  box.owner = GetWindow(box.window, GW_OWNER);
  return box;
}

void Answer(const Box& box) {
  Send(GetDlgItem(box.window, IDOK), BM_CLICK);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.window); })) << "the box did not go: " << box.text;
}

std::ostream& operator<<(std::ostream& out, const Progress& p) {
  return out << "{\"" << p.title << "\", \"" << p.label << "\", " << p.position << "}";
}

Progress ProgressOf(HWND dialog) {
  return {Text(dialog), Text(GetDlgItem(dialog, IDC_STATUS)), Send(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS)};
}

}  // namespace e2e
