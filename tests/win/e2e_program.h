#pragma once

// What the end-to-end driver does to the Windows program from outside: lays
// out files and registry values for it, starts it, finds its windows by
// process, reads their texts and states and clicks their buttons, as a user
// (or an accessibility tool) would.
#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {

// Windows path of the program under test.
extern std::string g_program;

// Polls `done` until it holds or the program's patience runs out: the
// windows waited for belong to another process, which signals nothing.
bool WaitFor(const std::function<bool()>& done);

// --- files and registry

void WriteFile(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>".
std::string ReadFile(const std::string& path);
// The browser's install key names `browserDirectory`.
void PointRegistryAt(const std::string& browserDirectory);

// --- windows of the program

std::string Text(HWND window);
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
SIZE ClientSize(HWND window);

// The program, started in C:\ with no arguments; ended at the end of the
// scenario if it is still running then.
class Program {
 public:
  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return m_started; }

  // The program's visible top-level dialog windows with this caption.
  std::vector<HWND> Shown(const std::string& caption) const;
  // Waits for exactly one window with this caption; null when none came
  // before the program ended or our patience ran out.
  HWND WaitForWindow(const std::string& caption) const;
  // The exit code once the program has ended within our patience, else -1.
  long WaitForExit() const;

 private:
  PROCESS_INFORMATION m_process{};
  BOOL m_started = FALSE;
};

// The main dialog, once shown; null when the program did not start or
// showed none.
HWND WaitForMainDialog(const Program& program);

// A message box of the program as it stood when it came up; answered (OK)
// by Answer().
struct Box {
  HWND window = nullptr;
  std::string text;
  HWND owner = nullptr;
};
Box WaitForBox(const Program& program);
void Answer(const Box& box);

// What the run shows in the main dialog.
struct Progress {
  std::string title, label;
  LRESULT position = -1;
  bool operator==(const Progress&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Progress& p);
Progress ProgressOf(HWND dialog);

}  // namespace e2e
