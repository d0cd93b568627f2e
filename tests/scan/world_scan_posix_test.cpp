// Cases that need the Linux host: links, raw name bytes, permissions and the
// corpus folder.
#include <dirent.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/paths/wine_path_posix.h"
#include "scan/world_scan.h"
#include "tests/platform/host_env_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TestPrefix;

WorldFileList Scan(const std::string& root) {
  WorldFileList list;
  CollectWorldFiles(root, list);
  return list;
}

const char* NameOf(ScanSkipReason reason) {
  switch (reason) {
    case ScanSkipReason::kCannotList: return "cannot list";
    case ScanSkipReason::kCannotRead: return "cannot read";
    case ScanSkipReason::kLeadsOut: return "leads out";
    case ScanSkipReason::kAlreadyVisited: return "already visited";
    case ScanSkipReason::kNotAName: return "not a name";
    case ScanSkipReason::kPathTooLong: return "too long";
  }
  return "?";
}

// What a scan passed by, each as "why: path @depth", in no particular order.
using Skips = std::multiset<std::string>;

WorldFileList ScanTelling(const std::string& root, Skips* skips) {
  WorldFileList list;
  ScanOptions options;
  options.onSkip = [skips](const ScanSkip& skip) {
    skips->insert(std::string(NameOf(skip.reason)) + ": " + skip.path + " @" + std::to_string(skip.depth));
  };
  ScanWorldFiles(root, list, options);
  return list;
}

// Root reads any folder whatever its mode. While this lives, the calling
// thread's capabilities that override file permissions are out of its
// effective set (they stay permitted, so the destructor raises them again),
// and a mode of 000 bites for root as for anyone.
class PermissionsApply {
 public:
  PermissionsApply() {
    m_header.version = _LINUX_CAPABILITY_VERSION_3;
    m_header.pid = 0;
    if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_changed = syscall(SYS_capset, &m_header, reduced) == 0;
  }
  ~PermissionsApply() {
    if (m_changed) syscall(SYS_capset, &m_header, m_saved);
  }
  PermissionsApply(const PermissionsApply&) = delete;
  PermissionsApply& operator=(const PermissionsApply&) = delete;

 private:
  __user_cap_header_struct m_header{};
  __user_cap_data_struct m_saved[2]{};
  bool m_changed = false;
};

bool CanList(const std::string& hostFolder) {
  DIR* dir = opendir(hostFolder.c_str());
  if (dir == nullptr) return false;
  closedir(dir);
  return true;
}

class WorldScanPosixTest : public ::testing::Test {
 protected:
  TestPrefix m_prefix;

  void Link(const std::string& target, std::string_view windowsPath) const {
    fs::create_symlink(target, m_prefix.HostPath(windowsPath));
  }
};

TEST_F(WorldScanPosixTest, FollowsLinksInsideListingEveryFolderOnce) {
  m_prefix.WriteFile("C:\\r\\a.wrl");
  m_prefix.WriteFile("C:\\r\\sub\\s.wrl");
  Link("a.wrl", "C:\\r\\l.wrl");
  Link("missing.wrl", "C:\\r\\dangling.wrl");
  Link(".", "C:\\r\\loop");
  Link("sub", "C:\\r\\other");
  Link("..", "C:\\r\\sub\\back");

  // sub is listed as other, the first way to it; back leads up the way.
  Skips skips;
  EXPECT_EQ(ScanTelling("C:\\r", &skips),
            (WorldFileList{"C:\\r\\a.wrl", "C:\\r\\l.wrl", "C:\\r\\other\\s.wrl", "C:\\r\\l.wrl"}));
  EXPECT_EQ(skips, (Skips{"already visited: C:\\r\\loop @1", "already visited: C:\\r\\other\\back @2",
                          "already visited: C:\\r\\sub @1"}));
}

// Two links on every level to the folder of the next: 2^20 ways down, 21
// folders. Walked by its ways, this tree would take hours.
TEST_F(WorldScanPosixTest, ATreeOfLinksCostsWhatItsFoldersCost) {
  constexpr int kLevels = 20;
  std::set<std::string> worlds;
  for (int level = 0; level <= kLevels; ++level) {
    const std::string folder = "C:\\links\\d" + std::to_string(level);
    m_prefix.WriteFile(folder + "\\w.wrl");
    if (level == kLevels) continue;
    Link("../d" + std::to_string(level + 1), folder + "\\a");
    Link("../d" + std::to_string(level + 1), folder + "\\b");
  }

  Skips skips;
  const WorldFileList list = ScanTelling("C:\\links", &skips);
  // Every world once, each by the first way to it: d0, then a's all along.
  ASSERT_EQ(list.size(), static_cast<std::size_t>(kLevels + 1));
  std::string deepest = "C:\\links\\d0";
  for (int level = 0; level < kLevels; ++level) deepest += "\\a";
  EXPECT_EQ(list.front(), deepest + "\\w.wrl");
  EXPECT_EQ(list.back(), "C:\\links\\d0\\w.wrl");
  EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), list.size());
  // Each b, and each folder d1...d20 from the top.
  EXPECT_EQ(skips.size(), static_cast<std::size_t>(2 * kLevels));
  for (const std::string& skip : skips) EXPECT_EQ(skip.rfind("already visited: ", 0), 0u) << skip;
}

// A world folder as an archive may unpack it: links leading out of it (to
// a file, to a folder, relative, to the host's root) and names that Windows
// would split at a backslash. The world folder itself is a link, as it
// often is.
class HostileWorldTest : public WorldScanPosixTest {
 protected:
  void SetUp() override {
    m_prefix.WriteFile("C:\\outside\\o.wrl");
    m_prefix.WriteFile("C:\\users\\me\\far.wrl");
    m_prefix.WriteFile("C:\\real\\world\\a.wrl");
    m_prefix.WriteFile("C:\\real\\world\\sub\\s.wrl");
    Link("real/world", "C:\\w");
    const std::string outside = m_prefix.HostPath("C:\\outside");
    Link(outside + "/o.wrl", "C:\\real\\world\\fileout.wrl");
    Link("../../outside/o.wrl", "C:\\real\\world\\relout.wrl");
    Link("../../../../../../../../../../../" + outside, "C:\\real\\world\\sub\\deepout");
    Link(outside, "C:\\real\\world\\dirout");
    Link("/", "C:\\real\\world\\root");
    // Links that stay inside are followed.
    Link("sub/s.wrl", "C:\\real\\world\\in.wrl");
    Link("sub", "C:\\real\\world\\insub");
    const std::string world = m_prefix.HostPath("C:\\real\\world");
    std::ofstream(world + "/..\\outside.wrl").put('x');
    std::ofstream(world + "/..\\..\\..\\..\\..\\users\\me\\far.wrl").put('x');
    fs::create_directory(world + "/x\\..");
    std::ofstream(world + "/x\\../y.wrl").put('x');
    // A full-width backslash, which a best fit turns into a real one.
    std::ofstream(world + "/q\xef\xbc\xbcr.wrl").put('x');
  }

  // Every listed path leads into the world folder.
  void ExpectAllInside(const WorldFileList& list) {
    const std::string world = fs::canonical(m_prefix.HostPath("C:\\real\\world")).string() + "/";
    for (const std::string& path : list) {
      const std::optional<std::string> host = platform::HostPath(path);
      ASSERT_TRUE(host.has_value()) << path;
      EXPECT_EQ(fs::canonical(*host).string().rfind(world, 0), 0u) << path;
    }
  }

  // sub itself was listed as insub.
  const WorldFileList m_inside{"C:\\w\\a.wrl", "C:\\w\\in.wrl", "C:\\w\\insub\\s.wrl", "C:\\w\\in.wrl"};
};

TEST_F(HostileWorldTest, ListsEveryWorldInsideAndNothingOutside) {
  Skips skips;
  const WorldFileList list = ScanTelling("C:\\w", &skips);
  EXPECT_EQ(list, m_inside);
  ExpectAllInside(list);
  EXPECT_EQ(
      skips,
      (Skips{"leads out: C:\\w\\dirout @1", "leads out: C:\\w\\fileout.wrl @1", "leads out: C:\\w\\relout.wrl @1",
             "leads out: C:\\w\\root @1", "leads out: C:\\w\\insub\\deepout @2", "already visited: C:\\w\\sub @1",
             "not a name: C:\\w\\..\\outside.wrl @1", "not a name: C:\\w\\..\\..\\..\\..\\..\\users\\me\\far.wrl @1",
             "not a name: C:\\w\\x\\.. @1", "not a name: C:\\w\\q\\r.wrl @1"}));
}

// A folder mounted inside itself is one folder met again on the way down.
TEST_F(HostileWorldTest, ABindMountLoopEnds) {
  const std::string world = m_prefix.HostPath("C:\\real\\world");
  fs::create_directory(world + "/sub/loop");
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(world.c_str(), (world + "/sub/loop").c_str(), nullptr, MS_BIND, nullptr) != 0)
      _exit(77);
    std::string joined;
    for (const std::string& path : Scan("C:\\w")) joined += path + "\n";
    const bool written = write(pipeFds[1], joined.data(), joined.size()) == static_cast<ssize_t>(joined.size());
    _exit(written ? 0 : 1);
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot make a private mount namespace here (needs root)";
  ASSERT_EQ(WEXITSTATUS(status), 0);
  std::string expected;
  for (const std::string& path : m_inside) expected += path + "\n";
  EXPECT_EQ(output, expected);
}

// Names Wine opens, listed as the Windows program lists them there: a colon
// past the drive, folders ending in a space or in a dot and a space. A
// folder ending in a dot is searched without it ("sp ." is "sp " again,
// "trail." is a "trail" that is not there). A name Windows takes for a
// device, or one holding a character it refuses, is no file of the folder.
TEST_F(WorldScanPosixTest, NamesWineOpensAreListedAsAWindowsProgramListsThem) {
  for (const char* path :
       {"a:b.wrl", "sp \\w.wrl", "sp .\\v.wrl", "trail.\\u.wrl", "trail. \\t.wrl", "nul.wrl", "q?m.wrl", "x.wrl "})
    m_prefix.WriteFile(std::string("C:\\odd\\") + path);

  Skips skips;
  EXPECT_EQ(ScanTelling("C:\\odd", &skips),
            (WorldFileList{"C:\\odd\\a:b.wrl", "C:\\odd\\sp \\w.wrl", "C:\\odd\\a:b.wrl", "C:\\odd\\trail. \\t.wrl",
                           "C:\\odd\\a:b.wrl"}));
  EXPECT_EQ(skips, (Skips{"leads out: C:\\odd\\nul.wrl @1", "cannot read: C:\\odd\\q?m.wrl @1",
                          "already visited: C:\\odd\\sp . @1", "cannot list: C:\\odd\\trail. @1"}));
}

// ソ is 83 5C in code page 932: the second byte is no separator, and the
// folder's files are listed below it.
TEST_F(WorldScanPosixTest, AFolderEndingInATrailByteOfABackslashsCodeIsWalked) {
  if (!testing_support::LocaleInstalled(testing_support::kJapaneseLocale)) GTEST_SKIP() << "no Japanese locale";
  m_prefix.WriteFile("C:\\j\\\xe3\x82\xbd\\s.wrl");
  testing_support::ScopedLocale japanese(testing_support::kJapaneseLocale);
  EXPECT_EQ(Scan("C:\\j"), WorldFileList{"C:\\j\\\x83\x5c\\s.wrl"});
}

TEST_F(WorldScanPosixTest, SkipsNamesThatAreNotValidUtf8) {
  // Such a name is listed with '?' in it, by which nothing can be found.
  m_prefix.WriteFile("C:\\bytes\\ok.wrl");
  m_prefix.MakeFolder("C:\\bytes");
  const std::string host = m_prefix.HostPath("C:\\bytes");
  fs::create_directories(host + "/\xfe");
  std::ofstream(host + "/\xfe/inner.wrl").put('x');
  std::ofstream(host + "/\xff.wrl").put('x');
  std::ofstream(host + "/x\xc3.wrl").put('x');

  EXPECT_EQ(Scan("C:\\bytes"), (WorldFileList{"C:\\bytes\\ok.wrl"}));
}

TEST_F(WorldScanPosixTest, AFolderThatCannotBeListedAddsNothing) {
  m_prefix.WriteFile("C:\\perm\\a.wrl");
  m_prefix.WriteFile("C:\\perm\\locked\\l.wrl");
  m_prefix.WriteFile("C:\\perm\\locked\\sub\\s.wrl");
  m_prefix.WriteFile("C:\\perm\\passonly\\p.wrl");
  m_prefix.WriteFile("C:\\perm\\unreadable.wrl");
  m_prefix.WriteFile("C:\\perm\\z.txt");
  chmod(m_prefix.HostPath("C:\\perm\\locked").c_str(), 0);
  chmod(m_prefix.HostPath("C:\\perm\\passonly").c_str(), 0111);
  chmod(m_prefix.HostPath("C:\\perm\\unreadable.wrl").c_str(), 0);

  WorldFileList list;
  std::vector<ScanSkip> skips;
  {
    PermissionsApply permissions;
    if (CanList(m_prefix.HostPath("C:\\perm\\locked"))) GTEST_SKIP() << "folder permissions are not enforced here";
    ScanWorldFiles("C:\\perm", list, {[&skips](const ScanSkip& skip) { skips.push_back(skip); }});
  }
  // A world file that cannot be read is still listed: its status is known.
  EXPECT_EQ(list, (WorldFileList{"C:\\perm\\a.wrl", "C:\\perm\\unreadable.wrl"}));
  ASSERT_EQ(skips.size(), 2u);
  for (const ScanSkip& skip : skips) {
    SCOPED_TRACE(skip.path);
    EXPECT_EQ(skip.reason, ScanSkipReason::kCannotList);
    EXPECT_EQ(skip.depth, 1u);
    ASSERT_TRUE(skip.error.has_value());
    EXPECT_EQ(skip.error->kind, platform::IoErrorKind::kAccessDenied);
    EXPECT_EQ(skip.error->osCode, EACCES);
    EXPECT_EQ(skip.error->path, skip.path);
  }
  EXPECT_EQ(skips[0].path, "C:\\perm\\locked");
  EXPECT_EQ(skips[1].path, "C:\\perm\\passonly");
}

TEST_F(WorldScanPosixTest, AVeryDeepTreeIsWalkedAsFarAsPathsCanReach) {
  // A world file on each of 150 levels, past any path Windows takes;
  // "x" comes after "w.wrl", so the chain is listed top down.
  std::vector<std::string> chain;
  std::string folder = "C:\\deep";
  std::string hostFolder = m_prefix.HostPath(folder);
  for (int level = 0; level < 150; ++level) {
    fs::create_directory(hostFolder);
    std::ofstream(hostFolder + "/w.wrl").put('x');
    chain.push_back(folder + "\\w.wrl");
    folder += "\\x";
    hostFolder += "/x";
  }

  Skips skips;
  const WorldFileList list = ScanTelling("C:\\deep", &skips);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list, WorldFileList(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(list.size())));
  // Windows takes paths of up to 260 characters; the scan gets close to that.
  EXPECT_LE(list.back().size(), 260u);
  EXPECT_GE(list.back().size(), 250u);
  // One folder deeper the world file's path is too long, and one more the
  // search of the folder.
  const std::string next = list.back().substr(0, list.back().size() - 6) + "\\x";
  const std::string depth = " @" + std::to_string(list.size() + 1);
  EXPECT_EQ(skips, (Skips{"too long: " + next + "\\w.wrl" + depth, "too long: " + next + "\\x" + depth}));
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWithExcludedName(const std::string& folder) {
  const std::string lower = LowerCase(folder);
  return std::any_of(ExcludedDirNames.begin(), ExcludedDirNames.end(),
                     [&](const ExcludedDirName& excluded) { return lower.ends_with(excluded.name); });
}

// Real third-party world files: every .wrl file of the tree is listed,
// except those sitting directly in a folder whose path ends in an excluded
// name.
TEST_F(WorldScanPosixTest, ListsTheWorldFilesOfTheCorpus) {
  const std::string corpus = testing_support::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "no corpus folder";
  Link(corpus, "C:\\corpus");

  std::set<std::string> expected;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
    const std::string relative = entry.path().lexically_relative(corpus).string();
    std::string windows = "C:\\corpus\\" + relative;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    const std::string folder = windows.substr(0, windows.rfind('\\'));
    if (windows.ends_with(".wrl") && !EndsWithExcludedName(folder)) expected.insert(windows);
  }
  ASSERT_FALSE(expected.empty());

  const WorldFileList list = Scan("C:\\corpus");
  EXPECT_EQ(std::set<std::string>(list.begin(), list.end()), expected);
  EXPECT_TRUE(std::adjacent_find(list.begin(), list.end()) == list.end()) << "a path listed twice in a row";
}

}  // namespace
