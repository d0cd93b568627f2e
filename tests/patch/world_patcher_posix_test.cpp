// Failure paths and file identity on real Linux file systems: modes, owners,
// ACLs, links, the world folder's bounds, an append-only folder, a full disk
// and a read-only mount.

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/files/world_folder.h"
#include "tests/patch/patcher_posix_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using namespace patcher_posix;
using WorldPatcherPosixTest = PatcherPosixTest;

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
         }) -
         10;
}

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
  const bool canChown = chown(Host().c_str(), 1234, 5678) == 0;
  const mode_t mode = canChown ? 06750 : 0640;
  ASSERT_EQ(chmod(Host().c_str(), mode), 0);
  const bool hasXattr = setxattr(Host().c_str(), "user.DOSATTRIB", "0x2", 3, 0) == 0;
  struct stat before;
  ASSERT_EQ(stat(Host().c_str(), &before), 0);

  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), PatchWorldText(kNeedsChange, 0).value());
  struct stat after;
  ASSERT_EQ(stat(Host().c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "new content is renamed into place";
  EXPECT_EQ(after.st_mode & 07777, mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (hasXattr) {
    char value[8] = {};
    EXPECT_EQ(getxattr(Host().c_str(), "user.DOSATTRIB", value, sizeof value), 3);
    EXPECT_STREQ(value, "0x2");
  }
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
}

// The access ACL of a file as stored, or "none".
std::string AccessAcl(const std::string& hostPath) {
  char value[256];
  const ssize_t size = getxattr(hostPath.c_str(), "system.posix_acl_access", value, sizeof value);
  return size < 0 ? "none" : std::string(value, static_cast<std::size_t>(size));
}

bool SetAcl(const std::string& options, const std::string& hostPath) {
  return std::system(("setfacl " + options + " '" + hostPath + "' 2>/dev/null").c_str()) == 0;
}

TEST_F(WorldPatcherPosixTest, RewriteKeepsTheFilesAclAndTakesNoneFromTheFolder) {
  const std::string withAcl = "C:\\world\\acl.wrl";
  m_prefix.WriteFile(kPath, kNeedsChange);
  m_prefix.WriteFile(withAcl, kNeedsChange);
  ASSERT_EQ(chmod(Host().c_str(), 0640), 0);
  if (!SetAcl("-m u:1234:rw", Host(withAcl)) || !SetAcl("-d -m u:4321:rwx,g::---", WorldFolder()))
    GTEST_SKIP() << "no setfacl (package acl), or no ACLs on this file system";
  const std::string acl = AccessAcl(Host(withAcl));
  ASSERT_NE(acl, "none");

  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(PatchWorldFile(withAcl, 0), kPatchDone);
  EXPECT_EQ(AccessAcl(Host()), "none");
  struct stat after;
  ASSERT_EQ(stat(Host().c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u) << "the group keeps its read";
  EXPECT_EQ(AccessAcl(Host(withAcl)), acl);
  EXPECT_EQ(g_filesWritten, 2);
}

TEST_F(WorldPatcherPosixTest, UnprivilegedRewriteKeepsOwnerGroupAndModeOrLeavesTheFile) {
  if (std::string why = NobodyUnavailable(); !why.empty()) GTEST_SKIP() << why;
  constexpr gid_t kSharedGroup = 4242;
  const uid_t nobody = getpwnam("nobody")->pw_uid;
  ASSERT_EQ(chmod(m_prefix.root().c_str(), 0755), 0);
  ASSERT_EQ(chmod(WorldFolder().c_str(), 0777), 0);
  struct Case {
    uid_t owner;
    gid_t group;
    mode_t mode;
    int expected;
  };
  // Not writable by nobody, though the folder is; another user's file,
  // writable through the group nobody is in; nobody's own, set-group-ID in
  // that group; nobody's own, in a group nobody cannot give.
  for (const Case& c :
       {Case{0, 0, 0644, kOpenFailed}, Case{0, kSharedGroup, 0664, kAccessDenied},
        Case{nobody, kSharedGroup, 02664, kPatchDone}, Case{nobody, kSharedGroup + 1, 0666, kAccessDenied}}) {
    m_prefix.WriteFile(kPath, kNeedsChange);
    ASSERT_EQ(chown(Host().c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(Host().c_str(), c.mode), 0);
    EXPECT_EQ(PatchAsNobody(kPath, kSharedGroup), c.expected) << std::oct << c.mode;
    struct stat after;
    ASSERT_EQ(stat(Host().c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, c.owner);
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

TEST_F(WorldPatcherPosixTest, FolderGoneBeforeTheRewriteIsAGenericFailure) {
  m_prefix.WriteFile("C:\\world\\gone\\city.wrl", kNeedsChange);
  {
    platform::IoResult<platform::WorldFolder> folder = platform::WorldFolder::Open("C:\\world");
    ASSERT_TRUE(folder);
    platform::IoResult<platform::WorldFile> file = folder->OpenFile("C:\\world\\gone\\city.wrl");
    ASSERT_TRUE(file && file->TakeExclusive());
    fs::rename(Host("C:\\world\\gone\\city.wrl"), Host());
    fs::remove(Host("C:\\world\\gone"));
    platform::IoStatus replaced = file->ReplaceContent("new");
    ASSERT_FALSE(replaced);
    EXPECT_EQ(replaced.error().kind, platform::IoErrorKind::kGeneric);
    EXPECT_EQ(replaced.error().path, "C:\\world\\gone\\city.wrl");
  }  // its lease would make the read below wait
  EXPECT_EQ(m_prefix.ReadFile(kPath), kNeedsChange);
}

// A folder append-only (chattr +a) while this lives.
struct AppendOnly {
  explicit AppendOnly(std::string hostPath) : path(std::move(hostPath)), set(Chattr("+a")) {}
  ~AppendOnly() {
    if (set) Chattr("-a");
  }
  bool Chattr(const char* flag) const {
    return std::system(("chattr " + std::string(flag) + " '" + path + "' 2>/dev/null").c_str()) == 0;
  }
  const std::string path;
  const bool set;
};

TEST_F(WorldPatcherPosixTest, AppendOnlyFolderIsAccessDeniedAndGetsNoTemporaryFile) {
  m_prefix.WriteFile(kPath, kNeedsChange);
  const AppendOnly appendOnly(WorldFolder());
  if (!appendOnly.set) GTEST_SKIP() << "cannot make a folder append-only here (needs root, and ext4, xfs or btrfs)";
  EXPECT_EQ(PatchWorldFile(kPath, 0), kAccessDenied);
  EXPECT_EQ(m_prefix.ReadFile(kPath), kNeedsChange);
  EXPECT_EQ(Names(WorldFolder()), std::vector<std::string>{"city.wrl"});
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
