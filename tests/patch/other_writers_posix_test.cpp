// Other programs at the same file: holders of locks and open descriptors,
// a save made meanwhile, appends made during rewrites, temporary files left
// by a killed run, and a run killed half-way.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/files/world_folder.h"
#include "tests/patch/patcher_posix_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace patcher_posix;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

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

// The world file at kPath, opened through its world folder and taken.
struct TakenFile {
  TakenFile() : folder(std::move(*platform::WorldFolder::Open("C:\\world"))), file(folder.OpenFile(kPath)) {}
  bool taken() { return file && file->TakeExclusive(); }

  platform::WorldFolder folder;
  platform::IoResult<platform::WorldFile> file;
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
  std::optional<TakenFile> held(std::in_place);
  ASSERT_TRUE(held->taken());
  EXPECT_FALSE(TakenFile().taken());
  const std::string host = Host();
  // Where the lease is held the open itself is refused (it would wait), and
  // the lease break signal it sends this process does no harm.
  EXPECT_EQ(InChild([&] {
              int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK);
              if (fd < 0) return errno == EWOULDBLOCK ? 0 : 1;
              return flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
            }),
            0);
  held.reset();
  EXPECT_TRUE(TakenFile().taken());
}

TEST_F(OtherWritersPosixTest, SaveMadeMeanwhileByAnotherProgramIsKept) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  {
    TakenFile held;
    ASSERT_TRUE(held.taken() && held.file->ReadAll());
    // Saved the way editors save: a new file renamed over the old.
    m_prefix.WriteFile("C:\\world\\saved.new", "their save");
    fs::rename(Host("C:\\world\\saved.new"), Host());
    platform::IoStatus replaced = held.file->ReplaceContent("ours");
    ASSERT_FALSE(replaced);
    EXPECT_EQ(replaced.error().kind, platform::IoErrorKind::kBusy);
  }
  EXPECT_EQ(m_prefix.ReadFile(kPath), "their save");
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
}

// The numbers of the lines "# <n>" in `text`.
std::set<int> AppendedLines(std::string_view text) {
  std::set<int> numbers;
  for (std::size_t at = text.find("# <"); at != std::string_view::npos; at = text.find("# <", at + 1))
    numbers.insert(std::atoi(std::string(text.substr(at + 3, 12)).c_str()));
  return numbers;
}

// A line appended (as `echo >>` appends) while the file is rewritten either
// lands in the file or is refused: none succeeds into a file that is then
// thrown away. The appender is let go as each rewrite starts, and appends
// after a varying spell of work, so that its open falls anywhere in it.
TEST_F(OtherWritersPosixTest, AppendsDuringRewritesLandInTheFile) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  const std::string host = Host();
  int go[2], landed[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(landed), 0);
  const pid_t appender = fork();
  if (appender == 0) {
    close(go[1]);
    std::minstd_rand jitter(7);
    volatile unsigned spin = 0;
    char signal;
    for (int i = 0; read(go[0], &signal, 1) == 1; ++i) {
      for (unsigned k = jitter() % 200'000; k > 0; --k) spin = spin + 1;
      const std::string line = "# <" + std::to_string(i) + ">\n";
      const int fd = open(host.c_str(), O_WRONLY | O_APPEND);
      const bool written = fd >= 0 && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
      if (fd >= 0 && close(fd) == 0 && written && write(landed[1], &i, sizeof i) != sizeof i) _exit(1);
    }
    _exit(0);
  }
  close(go[0]);
  close(landed[1]);
  int mode = 0, rewrites = 0;
  for (const auto end = Clock::now() + std::chrono::seconds(3); Clock::now() < end; mode ^= 1) {
    ASSERT_EQ(write(go[1], "g", 1), 1);
    if (PatchWorldFile(kPath, mode) == kPatchDone) ++rewrites;
  }
  close(go[1]);
  std::set<int> appended;
  for (int i; read(landed[0], &i, sizeof i) == sizeof i;) appended.insert(i);
  close(landed[0]);
  waitpid(appender, nullptr, 0);
  const std::set<int> found = AppendedLines(m_prefix.ReadFile(kPath));
  std::vector<int> lost;
  std::set_difference(appended.begin(), appended.end(), found.begin(), found.end(), std::back_inserter(lost));
  EXPECT_TRUE(lost.empty()) << lost.size() << " of " << appended.size() << " appends lost during " << rewrites
                            << " rewrites";
  EXPECT_GT(rewrites, 0);
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
}

TEST_F(OtherWritersPosixTest, OnlyOurOwnStaleTemporariesGoAndOnlyWhereWeWrite) {
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const auto temporary = [](const char* of, pid_t maker) {
    char name[64];
    std::snprintf(name, sizeof name, ".%s.~quietwalk-%x-1f.tmp", of, static_cast<unsigned>(maker));
    return std::string(name);
  };
  const std::string stale = temporary("city.wrl", ended), othersStale = temporary("other.wrl", ended),
                    folderStale = temporary("folder.wrl", ended);
  // Of the last round's shape; of a process that runs; not a regular file;
  // not this user's (where a file can be given away).
  std::vector<std::string> left = {".city.wrl.1-2-3.tmp", ".notes.tmp", temporary("city.wrl", getpid()), folderStale};
  for (const std::string& name : left) m_prefix.WriteFile("C:\\world\\" + name, "x");
  fs::remove(Host("C:\\world\\" + folderStale));
  m_prefix.MakeFolder("C:\\world\\" + folderStale);
  m_prefix.WriteFile("C:\\world\\" + othersStale, "x");
  if (chown(Host("C:\\world\\" + othersStale).c_str(), 1234, 1234) == 0) left.push_back(othersStale);
  m_prefix.WriteFile("C:\\world\\" + stale, "x");
  left.push_back("city.wrl");

  // Nothing is written: nothing is removed.
  m_prefix.WriteFile(kPath, kNeedsNothing);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_TRUE(fs::exists(Host("C:\\world\\" + stale)));

  m_prefix.WriteFile(kPath, kNeedsChange);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(Names(WorldFolder()), left);
}

// A run killed at any moment leaves every file old or new, whether or not
// its folder was synced yet, and the next run leaves no temporary file
// behind. The run is killed after it reports a number of files done.
TEST_F(OtherWritersPosixTest, KilledRunLeavesEveryFileOldOrNewAndNoLeftover) {
  constexpr int kFolders = 6;
  constexpr int kFilesPerFolder = 50;
  std::string big = "#VRML V2.0 utf8\n";
  while (big.size() < 16 * 1024) big += "Shape { geometry Box {} }\n";
  const std::string patched = PatchWorldText(big, 0).value();
  std::vector<std::string> paths;
  for (int folder = 0; folder < kFolders; ++folder)
    for (int file = 0; file < kFilesPerFolder; ++file)
      paths.push_back("C:\\world\\f" + std::to_string(folder) + "\\w" + std::to_string(file) + ".wrl");
  const auto run = [&](int reportTo) {
    platform::WorldFolder folder = std::move(*platform::WorldFolder::Open("C:\\world"));
    for (const std::string& path : paths)
      if (PatchWorldFile(folder, path, 0) != kPatchDone || (reportTo >= 0 && write(reportTo, "x", 1) != 1)) return 1;
    return folder.Flush() ? 0 : 1;
  };
  for (int killedAfter : {0, 1, 49, 50, 51, 137, 299}) {
    for (const std::string& path : paths) m_prefix.WriteFile(path, big);
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    if (child == 0) _exit(run(done[1]));
    close(done[1]);
    char ignored;
    for (int k = 0; k < killedAfter; ++k) ASSERT_EQ(read(done[0], &ignored, 1), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(done[0]);
    for (const std::string& path : paths) {
      const std::string now = m_prefix.ReadFile(path);
      ASSERT_TRUE(now == big || now == patched) << path << " holds " << now.size() << " bytes";
    }
    // The next run, a process of its own as every run is.
    EXPECT_EQ(InChild([&] { return run(-1); }), 0);
    for (int folder = 0; folder < kFolders; ++folder)
      EXPECT_EQ(Names(Host("C:\\world\\f" + std::to_string(folder))).size(), std::size_t{kFilesPerFolder})
          << "killed after " << killedAfter;
  }
}

}  // namespace
