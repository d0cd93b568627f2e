// Other programs at the same file: holders of locks and open descriptors,
// a save made meanwhile, and a run killed half-way.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/files/exclusive_file.h"
#include "tests/patch/patcher_posix_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace patcher_posix;
using namespace std::string_literals;

// How a child process holds a file.
enum class Hold { kFlock, kLockf, kOfdLock, kOpenForWriting };

bool TakeHold(const std::string& hostPath, Hold hold) {
  int fd = open(hostPath.c_str(), O_RDWR);
  if (fd < 0) return false;
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  switch (hold) {
    case Hold::kFlock: return flock(fd, LOCK_EX | LOCK_NB) == 0;
    case Hold::kLockf: return lockf(fd, F_TLOCK, 0) == 0;
    case Hold::kOfdLock: return fcntl(fd, F_OFD_SETLK, &whole) == 0;
    case Hold::kOpenForWriting: return true;
  }
  return false;
}

// A child process holding a file until Release() or the end.
class LockingChild {
 public:
  explicit LockingChild(const std::string& hostPath, Hold hold = Hold::kFlock) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(ready[0]);
      close(release[1]);
      char locked = TakeHold(hostPath, hold) ? 'y' : 'n';
      if (write(ready[1], &locked, 1) != 1) _exit(2);
      char ignored;
      while (read(release[0], &ignored, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char locked = 'n';
    m_locked = read(ready[0], &locked, 1) == 1 && locked == 'y';
    close(ready[0]);
  }
  ~LockingChild() { Release(); }
  LockingChild(const LockingChild&) = delete;
  LockingChild& operator=(const LockingChild&) = delete;
  bool locked() const { return m_locked; }
  void Release() {
    if (m_release >= 0) close(m_release);
    m_release = -1;
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_release = -1;
  bool m_locked = false;
};

using OtherWritersPosixTest = PatcherPosixTest;

TEST_F(OtherWritersPosixTest, FileHeldByAnotherProcessIsNotTouched) {
  for (Hold hold : {Hold::kFlock, Hold::kLockf, Hold::kOfdLock, Hold::kOpenForWriting}) {
    m_prefix.WriteFile(kPath, kNeedsChange);
    LockingChild child(Host(), hold);
    ASSERT_TRUE(child.locked());
    EXPECT_EQ(PatchWorldFile(kPath, 0), kOpenFailed) << static_cast<int>(hold);
    EXPECT_EQ(m_prefix.ReadFile(kPath), kNeedsChange);
    child.Release();
    EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  }
  EXPECT_EQ(g_filesWritten, 4);
}

TEST_F(OtherWritersPosixTest, OpenFileIsHeldAgainstOtherOpeners) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  std::optional<platform::ExclusiveFile> file = platform::ExclusiveFile::Open(kPath);
  ASSERT_TRUE(file);
  EXPECT_FALSE(platform::ExclusiveFile::Open(kPath));
  const std::string host = Host();
  // Where the lease is held the open itself is refused (it would wait), and
  // the lease break signal it sends this process does no harm.
  EXPECT_EQ(InChild([&] {
              int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK);
              if (fd < 0) return errno == EWOULDBLOCK ? 0 : 1;
              return flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
            }),
            0);
  file.reset();
  EXPECT_TRUE(platform::ExclusiveFile::Open(kPath));
}

TEST_F(OtherWritersPosixTest, SaveMadeMeanwhileByAnotherProgramIsKept) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  std::optional<platform::ExclusiveFile> file = platform::ExclusiveFile::Open(kPath);
  ASSERT_TRUE(file);
  std::string bytes;
  ASSERT_EQ(file->ReadAll(&bytes), platform::IoFailure::kNone);
  // Saved the way editors save: a new file renamed over the old.
  m_prefix.WriteFile("C:\\world\\saved.new", "their save");
  fs::rename(Host("C:\\world\\saved.new"), Host());
  EXPECT_EQ(file->ReplaceContent("ours"), platform::IoFailure::kGeneric);
  file.reset();
  EXPECT_EQ(m_prefix.ReadFile(kPath), "their save");
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
}

TEST_F(OtherWritersPosixTest, TemporariesOfEndedProcessesAreRemoved) {
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  char stale[64], live[64];
  std::snprintf(stale, sizeof stale, ".city.wrl.%x-1f-0.tmp", static_cast<unsigned>(ended));
  std::snprintf(live, sizeof live, ".city.wrl.%x-1f-0.tmp", static_cast<unsigned>(getpid()));
  const std::vector<std::string> others = {".notes.tmp", ".a.1-2.tmp", "city.wrl", live};
  for (const std::string& name : others) m_prefix.WriteFile("C:\\world\\" + name, "x");
  m_prefix.WriteFile("C:\\world\\"s + stale, "x");
  m_prefix.WriteFile(kPath, kNeedsNothing);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  std::vector<std::string> left = others;
  std::sort(left.begin(), left.end());
  EXPECT_EQ(Names(WorldFolder()), left);
}

// A run killed at any moment leaves every file old or new, and the next run
// leaves no temporary file behind.
TEST_F(OtherWritersPosixTest, KilledRunLeavesNoPartialFileAndNoLeftover) {
  constexpr int kFiles = 300;
  std::string big = "#VRML V2.0 utf8\n";
  while (big.size() < 16 * 1024) big += "Shape { geometry Box {} }\n";
  const std::string patched = PatchWorldText(big, 0).value();
  auto pathOf = [](int i) { return "C:\\world\\w" + std::to_string(i) + ".wrl"; };
  std::srand(12345);
  for (int trial = 0; trial < 5; ++trial) {
    for (int i = 0; i < kFiles; ++i) m_prefix.WriteFile(pathOf(i), big);
    const pid_t child = fork();
    if (child == 0) {
      for (int i = 0; i < kFiles; ++i) PatchWorldFile(pathOf(i), 0);
      _exit(0);
    }
    usleep(static_cast<useconds_t>(1000 + std::rand() % 20000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    for (int i = 0; i < kFiles; ++i) {
      const std::string now = m_prefix.ReadFile(pathOf(i));
      ASSERT_TRUE(now == big || now == patched) << pathOf(i) << " holds " << now.size() << " bytes";
    }
    // The next run, a process of its own as every run is.
    EXPECT_EQ(InChild([&] {
                for (int i = 0; i < kFiles; ++i)
                  if (PatchWorldFile(pathOf(i), 0) != kPatchDone) return 1;
                return 0;
              }),
              0);
    EXPECT_EQ(Names(WorldFolder()).size(), static_cast<std::size_t>(kFiles)) << "trial " << trial;
  }
}

}  // namespace
