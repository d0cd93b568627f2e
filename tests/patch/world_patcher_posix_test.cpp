// Failure paths and file identity on real Linux file systems: modes, owners,
// links, locks held by other processes, a full disk and a read-only mount.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/exclusive_file.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kPath = "C:\\world\\city.wrl";
const std::string kNeedsChange = "#VRML V2.0 utf8\nShape {}\n";
const std::string kNeedsNothing = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [ ] {}\n";

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Mounts made by these tests live in a mount namespace of this process
// alone, so they vanish with it even when a test dies half-way.
std::string PrivateMountsUnavailable() {
  static const std::string reason = [] {
    if (unshare(CLONE_NEWNS) != 0) return Errno("unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Errno("making / private");
    return std::string();
  }();
  return reason;
}

class ScopedMount {
 public:
  explicit ScopedMount(std::string path) : m_path(std::move(path)) {}
  ~ScopedMount() {
    if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;
  std::string Tmpfs(const char* options) {
    if (mount("tmpfs", m_path.c_str(), "tmpfs", 0, options) != 0) return Errno("mounting a tmpfs");
    m_mounted = true;
    return {};
  }
  std::string ReadOnlyBind() {
    if (mount(m_path.c_str(), m_path.c_str(), nullptr, MS_BIND, nullptr) != 0) return Errno("bind mount");
    m_mounted = true;
    if (mount(nullptr, m_path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
      return Errno("read-only remount");
    return {};
  }

 private:
  std::string m_path;
  bool m_mounted = false;
};

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

// Runs `probe` in a child process and gives its exit status.
template <typename Probe>
int InChild(Probe probe) {
  pid_t pid = fork();
  if (pid == 0) _exit(probe());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why PatchWorldFile cannot be run as the unprivileged user `nobody` here,
// or empty when it can.
std::string NobodyUnavailable() {
  if (geteuid() != 0) return "switching to nobody needs root";
  if (getpwnam("nobody") == nullptr) return "no user nobody";
  return {};
}

// PatchWorldFile(path, 0) run by nobody with `group` as its one extra group.
int PatchAsNobody(const std::string& path, gid_t group) {
  const struct passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  return InChild([&] {
    if (setgroups(1, &group) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) return 99;
    return static_cast<int>(PatchWorldFile(path, 0)) + 10;
  }) - 10;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class WorldPatcherPosixTest : public testing::Test {
 protected:
  void SetUp() override {
    g_filesWritten = 0;
    m_prefix.MakeFolder("C:\\world");
  }
  std::string Host(const std::string& path = kPath) const { return m_prefix.HostPath(path); }
  std::string WorldFolder() const { return m_prefix.HostPath("C:\\world"); }

  testing_support::TestPrefix m_prefix;
};

TEST_F(WorldPatcherPosixTest, ReadOnlyFileIsReportedWhetherOrNotItNeedsAChange) {
  for (const std::string& bytes : {kNeedsChange, kNeedsNothing}) {
    m_prefix.WriteFile(kPath, bytes);
    fs::permissions(Host(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(PatchWorldFile(kPath, 0), kReadOnly);
    EXPECT_EQ(m_prefix.ReadFile(kPath), bytes);
    fs::remove(Host());
  }
  EXPECT_EQ(g_filesWritten, 0);
}

TEST_F(WorldPatcherPosixTest, RewriteKeepsModeOwnerGroupAndExtendedAttributes) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  ASSERT_EQ(chmod(Host().c_str(), 0640), 0);
  const bool canChown = chown(Host().c_str(), 1234, 5678) == 0;
  const bool hasXattr = setxattr(Host().c_str(), "user.DOSATTRIB", "0x2", 3, 0) == 0;
  struct stat before;
  ASSERT_EQ(stat(Host().c_str(), &before), 0);

  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), PatchWorldText(kNeedsChange, 0).value());
  struct stat after;
  ASSERT_EQ(stat(Host().c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "new content is renamed into place";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  if (canChown) {
    EXPECT_EQ(after.st_uid, 1234u);
    EXPECT_EQ(after.st_gid, 5678u);
  }
  if (hasXattr) {
    char value[8] = {};
    EXPECT_EQ(getxattr(Host().c_str(), "user.DOSATTRIB", value, sizeof value), 3);
    EXPECT_STREQ(value, "0x2");
  }
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
}

TEST_F(WorldPatcherPosixTest, UnprivilegedRewriteKeepsTheGroupOrLeavesTheFile) {
  if (std::string why = NobodyUnavailable(); !why.empty()) GTEST_SKIP() << why;
  constexpr gid_t kSharedGroup = 4242;
  ASSERT_EQ(chmod(m_prefix.root().c_str(), 0755), 0);
  ASSERT_EQ(chmod(WorldFolder().c_str(), 0777), 0);
  struct Case {
    mode_t mode;
    gid_t group;
    int expected;
  };
  // Not writable by nobody, though the folder is; writable through the
  // group nobody is in; writable by all, in a group nobody cannot give.
  for (const Case& c : {Case{0644, 0, kOpenFailed}, Case{0664, kSharedGroup, kPatchDone},
                        Case{0666, kSharedGroup + 1, kAccessDenied}}) {
    m_prefix.WriteFile(kPath, kNeedsChange);
    ASSERT_EQ(chown(Host().c_str(), 0, c.group), 0);
    ASSERT_EQ(chmod(Host().c_str(), c.mode), 0);
    EXPECT_EQ(PatchAsNobody(kPath, kSharedGroup), c.expected) << std::oct << c.mode;
    struct stat after;
    ASSERT_EQ(stat(Host().c_str(), &after), 0);
    EXPECT_EQ(after.st_gid, c.group);
    EXPECT_EQ(after.st_mode & 07777, c.mode);
    EXPECT_EQ(m_prefix.ReadFile(kPath) == kNeedsChange, c.expected != kPatchDone);
    EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
    fs::remove(Host());
  }
}

TEST_F(WorldPatcherPosixTest, LinkStaysALinkAndItsTargetIsRewritten) {
  m_prefix.WriteFile("C:\\store\\real.wrl", kNeedsChange);
  fs::create_symlink("../store/real.wrl", Host());
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_TRUE(fs::is_symlink(Host()));
  EXPECT_EQ(m_prefix.ReadFile("C:\\store\\real.wrl"), PatchWorldText(kNeedsChange, 0).value());
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
  EXPECT_EQ(Names(m_prefix.HostPath("C:\\store")), std::vector<std::string>{"real.wrl"});

  fs::remove(Host("C:\\store\\real.wrl"));
  EXPECT_EQ(PatchWorldFile(kPath, 0), kFileMissing) << "dangling link";
}

TEST_F(WorldPatcherPosixTest, TargetOutsideTheWorldFolderIsRefused) {
  m_prefix.WriteFile("C:\\store\\real.wrl", kNeedsChange);
  m_prefix.WriteFile("C:\\world\\sub\\inner.wrl", kNeedsChange);
  fs::create_symlink("../store/real.wrl", Host());
  fs::create_symlink(m_prefix.HostPath("C:\\store"), Host("C:\\world\\out"));
  fs::create_symlink("sub/inner.wrl", Host("C:\\world\\in.wrl"));
  for (const std::string& outside : {kPath, "C:\\world\\out\\real.wrl"s, "C:\\world\\..\\store\\real.wrl"s})
    EXPECT_EQ(PatchWorldFile(outside, 0, "C:\\world"), kOpenFailed) << outside;
  EXPECT_EQ(m_prefix.ReadFile("C:\\store\\real.wrl"), kNeedsChange);

  EXPECT_EQ(PatchWorldFile("C:\\world\\in.wrl", 0, "C:\\world"), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile("C:\\world\\sub\\inner.wrl"), PatchWorldText(kNeedsChange, 0).value());
  // A world folder that is itself a link is where its files are.
  fs::create_symlink(WorldFolder(), m_prefix.HostPath("C:\\linked"));
  EXPECT_EQ(PatchWorldFile("C:\\linked\\sub\\inner.wrl", 1, "C:\\linked"), kPatchDone);
  EXPECT_EQ(g_filesWritten, 2);
}

TEST_F(WorldPatcherPosixTest, FileHeldByAnotherProcessIsNotTouched) {
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

TEST_F(WorldPatcherPosixTest, OpenFileIsHeldAgainstOtherOpeners) {
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

TEST_F(WorldPatcherPosixTest, SaveMadeMeanwhileByAnotherProgramIsKept) {
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

TEST_F(WorldPatcherPosixTest, TemporariesOfEndedProcessesAreRemoved) {
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
TEST_F(WorldPatcherPosixTest, KilledRunLeavesNoPartialFileAndNoLeftover) {
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

TEST_F(WorldPatcherPosixTest, FolderGoneBeforeTheRewriteIsAGenericFailure) {
  m_prefix.WriteFile("C:\\world\\gone\\city.wrl", kNeedsChange);
  std::optional<platform::ExclusiveFile> file = platform::ExclusiveFile::Open("C:\\world\\gone\\city.wrl");
  ASSERT_TRUE(file);
  fs::rename(Host("C:\\world\\gone\\city.wrl"), Host());
  fs::remove(Host("C:\\world\\gone"));
  EXPECT_EQ(file->ReplaceContent("new"), platform::IoFailure::kGeneric);
  file.reset();  // its lease would make the read below wait
  EXPECT_EQ(m_prefix.ReadFile(kPath), kNeedsChange);
}

TEST_F(WorldPatcherPosixTest, PlainFileAboveTheSizeLimitIsNotRead) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  // Sparse: the size is there, the memory to read it would not be.
  ASSERT_EQ(truncate(Host().c_str(), static_cast<off_t>(kMaxInflatedBytes) + 1), 0);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kOpenFailed);
  EXPECT_EQ(fs::file_size(Host()), kMaxInflatedBytes + 1);
  EXPECT_EQ(g_filesWritten, 0);
}

TEST_F(WorldPatcherPosixTest, FifoIsRefusedWithoutWaitingForAWriter) {
  ASSERT_EQ(mkfifo(Host().c_str(), 0644), 0);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kOpenFailed);
}

TEST_F(WorldPatcherPosixTest, FullDiskLeavesTheOriginalAndNoTemporaryFile) {
  if (std::string why = PrivateMountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  ScopedMount disk(WorldFolder());
  if (std::string why = disk.Tmpfs("size=256k,mode=0755"); !why.empty()) GTEST_SKIP() << why;
  std::string bytes = "#VRML V2.0 utf8\n";
  while (bytes.size() < 160 * 1024) bytes += "Shape { geometry Box {} }\n";
  m_prefix.WriteFile(kPath, bytes);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kDiskFull);
  EXPECT_EQ(m_prefix.ReadFile(kPath), bytes);
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
  EXPECT_EQ(g_filesWritten, 0);
}

TEST_F(WorldPatcherPosixTest, ReadOnlyMountIsAccessDenied) {
  if (std::string why = PrivateMountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  m_prefix.WriteFile(kPath, kNeedsChange);
  ScopedMount readOnly(WorldFolder());
  if (std::string why = readOnly.ReadOnlyBind(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(PatchWorldFile(kPath, 0), kAccessDenied);
  EXPECT_EQ(m_prefix.ReadFile(kPath), kNeedsChange);
  EXPECT_EQ(g_filesWritten, 0);
}

}  // namespace
