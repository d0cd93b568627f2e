#pragma once

// What the tests of the world folder's Windows half share: the world they
// lay out, the patcher's steps, and this program run again as another.

#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/world_folder.h"
#include "tests/support/test_prefix.h"

namespace world_folder_win_test {

using platform::IoErrorKind;
using platform::IoResult;
using platform::IoStatus;
using platform::WorldFile;
using platform::WorldFolder;

using Clock = std::chrono::steady_clock;

// How long a test races another program.
constexpr auto kRaceBudget = std::chrono::seconds(3);
inline const std::string kWorld = "C:\\world";
inline const std::string kCity = kWorld + "\\city";
inline const std::string kPath = kCity + "\\city.wrl";

// Names in the folder other than "." and "..".
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::string(data.cFileName) != "." && std::string(data.cFileName) != "..") names.push_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

inline std::string ReadShared(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

inline bool WriteNew(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return CloseHandle(file) && wrote;
}

template <typename T>
std::optional<IoErrorKind> KindOf(const IoResult<T>& result) {
  if (result.ok()) return std::nullopt;
  return result.error().kind;
}

// The patcher's steps on one file: taken, read, and its content replaced
// by `bytes`, or by what it read followed by `appended`.
inline IoStatus Rewrite(WorldFolder& world, const std::string& path, const std::string& bytes,
                        const std::string& appended = {}) {
  IoResult<WorldFile> file = world.OpenFile(path);
  if (!file) return file.error();
  if (IoStatus taken = file->TakeExclusive(); !taken) return taken;
  IoResult<std::string> read = file->ReadAll();
  if (!read) return read.error();
  return file->ReplaceContent(appended.empty() ? bytes : *read + appended);
}

// This program again, running only `test` (one of the helpers below), with
// `variable` set to `value`.
inline HANDLE StartHelper(const char* test, const char* variable, const std::string& value) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string command = "\"" + std::string(program) + "\" --gtest_filter=" + test;
  SetEnvironmentVariableA(variable, value.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA(variable, nullptr);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

inline DWORD WaitForExit(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

class WorldFolderWinTest : public testing::Test {
 protected:
  testing_support::TestPrefix m_prefix;
};

}  // namespace world_folder_win_test
