#pragma once

// What the patcher's tests on real Linux file systems share: a fixture
// prefix with a world folder, and child processes.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "patch/world_patcher.h"
#include "tests/support/test_prefix.h"

namespace patcher_posix {

inline const std::string kPath = "C:\\world\\city.wrl";
inline const std::string kNeedsChange = "#VRML V2.0 utf8\nShape {}\n";
inline const std::string kNeedsNothing = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [ ] {}\n";

// Runs `probe` in a child process and gives its exit status.
template <typename Probe>
int InChild(Probe probe) {
  pid_t pid = fork();
  if (pid == 0) _exit(probe());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class PatcherPosixTest : public testing::Test {
 protected:
  void SetUp() override {
    g_filesWritten = 0;
    m_prefix.MakeFolder("C:\\world");
  }
  std::string Host(const std::string& path = kPath) const { return m_prefix.HostPath(path); }
  std::string WorldFolder() const { return m_prefix.HostPath("C:\\world"); }

  testing_support::TestPrefix m_prefix;
};

}  // namespace patcher_posix
