#pragma once

// The Linux host beneath a Windows test that runs under Wine, for what a
// Windows program cannot do there: make a symbolic link, read a file's mode
// and owner, swap a folder for a link in a loop, become another user. On
// Windows none of it is there, and the tests that need it skip.

#include <windows.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace testing_support {

// The host's name of a Windows path, or nullopt outside Wine.
inline std::optional<std::string> UnixPathOf(const std::string& windowsPath) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  // Through void*: the exported function's own type is not FARPROC's.
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  wchar_t wide[MAX_PATH];
  if (unixName == nullptr || MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH) == 0)
    return std::nullopt;
  char* name = unixName(wide);
  if (name == nullptr) return std::nullopt;
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

// A shell script running on the host. Wine starts a Linux program it is
// asked to start, but hands back no handle that tells when it ends, so the
// script writes its exit status to a file of its own when it does.
class HostScript {
 public:
  explicit HostScript(const std::string& script) {
    static int count = 0;
    const std::string stem = "C:\\host-script-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
    m_file = stem + ".sh";
    m_done = stem + ".done";
    const std::optional<std::string> unixFile = UnixPathOf(m_file);
    const std::optional<std::string> unixDone = UnixPathOf(m_done);
    if (!unixFile || !unixDone) return;
    std::ofstream(m_file, std::ios::binary)
        << "(\n"
        << script << "\n)\necho $? >'" << *unixDone << ".new' && mv '" << *unixDone << ".new' '" << *unixDone << "'\n";
    std::string command = "Z:\\bin\\sh " + *unixFile;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    m_started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    if (!m_started) return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  ~HostScript() {
    Wait();
    DeleteFileA(m_file.c_str());
  }
  HostScript(const HostScript&) = delete;
  HostScript& operator=(const HostScript&) = delete;

  bool started() const { return m_started; }

  // Its exit status once it ends; -1 when it never started or does not end
  // within a minute.
  int Wait() {
    for (int waited = 0; m_started && waited < 60 * 1000; waited += 10) {
      std::ifstream done(m_done);
      int status = -1;
      if (done >> status) {
        done.close();
        DeleteFileA(m_done.c_str());
        m_started = false;
        return status;
      }
      Sleep(10);
    }
    return -1;
  }

 private:
  std::string m_file;
  std::string m_done;
  bool m_started = false;
};

// What a short script prints, or nullopt when it cannot run or fails.
inline std::optional<std::string> HostOutput(const std::string& script) {
  const std::string output = "C:\\host-output-" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::optional<std::string> unixOutput = UnixPathOf(output);
  if (!unixOutput) return std::nullopt;
  const int status = HostScript("exec >'" + *unixOutput + "'\n" + script).Wait();
  std::ostringstream printed;
  printed << std::ifstream(output, std::ios::binary).rdbuf();
  DeleteFileA(output.c_str());
  if (status != 0) return std::nullopt;
  return printed.str();
}

}  // namespace testing_support
