#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/file_status.h"
#include "platform/folders/folder_enumeration.h"
#include "tests/platform/host_env_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::EnumerateFolder;
using platform::FolderEntry;
using testing_support::kJapaneseLocale;
using testing_support::ScopedLocale;
using testing_support::TestPrefix;

struct Seen {
  std::string name;
  bool isFolder;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) { *out << seen.name << (seen.isFolder ? "/" : ""); }

// The entries, none when the folder cannot be enumerated.
std::vector<FolderEntry> EntriesOf(std::string_view folder) {
  platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder(folder);
  return entries ? *entries : std::vector<FolderEntry>{};
}

// The entries other than "." and "..".
std::vector<Seen> Listing(std::string_view folder) {
  std::vector<Seen> seen;
  if (!EnumerateFolder(folder)) ADD_FAILURE() << "cannot enumerate " << folder;
  for (const FolderEntry& entry : EntriesOf(folder))
    if (entry.name != "." && entry.name != "..") seen.push_back({entry.name, entry.isFolder});
  return seen;
}

// Walks every folder below `folder` the way the scan does; the number of
// folders entered.
int Walk(const std::string& folder, int depth = 0) {
  constexpr int kTooDeep = 1000;
  EXPECT_LT(depth, kTooDeep) << folder;
  if (depth >= kTooDeep) return 0;
  int folders = 1;
  for (const FolderEntry& entry : EntriesOf(folder))
    if (entry.isFolder && entry.name != "." && entry.name != "..") folders += Walk(entry.fullPath, depth + 1);
  return folders;
}

TEST(EnumerateFolderPosix, NamesDifferingOnlyInCaseAllComeInByteOrder) {
  TestPrefix prefix;
  for (const char* name : {"abc.txt", "ABC.txt", "Abc.TXT", "abd"}) prefix.WriteFile(std::string("C:\\case\\") + name);
  EXPECT_EQ(Listing("C:\\case"),
            (std::vector<Seen>{{"ABC.txt", false}, {"Abc.TXT", false}, {"abc.txt", false}, {"abd", false}}));
}

TEST(EnumerateFolderPosix, FollowsLinksLeavingOutDanglingOnes) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\links\\target.txt");
  prefix.MakeFolder("C:\\elsewhere\\inner");
  const std::string links = prefix.HostPath("C:\\links");
  fs::create_symlink("target.txt", links + "/file_link");
  fs::create_directory_symlink("../elsewhere", links + "/folder_link");
  fs::create_symlink("missing", links + "/dangling");
  ASSERT_EQ(mkfifo((links + "/fifo").c_str(), 0644), 0);

  EXPECT_EQ(Listing("C:\\links"),
            (std::vector<Seen>{{"fifo", false}, {"file_link", false}, {"folder_link", true}, {"target.txt", false}}));
  EXPECT_EQ(Listing("C:\\links\\folder_link"), (std::vector<Seen>{{"inner", true}}));
}

TEST(EnumerateFolderPosix, LeavesOutLinksBackUpTheWay) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\loop\\a\\b\\deep.wrl");
  prefix.MakeFolder("C:\\loop\\side");
  const std::string loop = prefix.HostPath("C:\\loop");
  fs::create_directory_symlink("..", loop + "/a/b/up");            // to C:\loop\a
  fs::create_directory_symlink(loop, loop + "/a/b/top");           // to C:\loop, absolute
  fs::create_directory_symlink(".", loop + "/a/b/self");           // to C:\loop\a\b
  fs::create_directory_symlink("../../side", loop + "/a/b/over");  // not on the way: kept
  // Two folders leading to each other.
  fs::create_directory_symlink("../a", loop + "/side/to_a");

  EXPECT_EQ(Listing("C:\\loop\\a\\b"), (std::vector<Seen>{{"deep.wrl", false}, {"over", true}}));
  EXPECT_EQ(Listing("C:\\loop\\side"), (std::vector<Seen>{{"to_a", true}}));
  EXPECT_EQ(Listing("C:\\loop\\a\\b\\over"), (std::vector<Seen>{}));  // to_a leads back to a
  // loop, a, b, side, over, side\to_a, to_a\b, and the way back is cut each time.
  EXPECT_EQ(Walk("C:\\loop"), 7);
}

// The folder a search reads is its pattern made full: a final dot of the
// folder's name goes, its final spaces stay.
TEST(EnumerateFolderPosix, SearchesTheFolderItsPatternNames) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\t\\sp \\w.wrl");
  prefix.WriteFile("C:\\t\\trail\\u.wrl");
  prefix.WriteFile("C:\\t\\trail.\\v.wrl");
  EXPECT_EQ(Listing("C:\\t\\sp "), (std::vector<Seen>{{"w.wrl", false}}));
  EXPECT_EQ(Listing("C:\\t\\trail."), (std::vector<Seen>{{"u.wrl", false}}));
  const std::vector<FolderEntry> entries = EntriesOf("C:\\t\\trail..");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].fullPath, "C:\\t\\trail.\\v.wrl");
  EXPECT_EQ(EntriesOf("C:\\t\\sp ")[2].fullPath, "C:\\t\\sp \\w.wrl");
}

TEST(EnumerateFolderPosix, CannotStartOnAnUnreadableFolder) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\locked\\inside.wrl");
  ASSERT_EQ(chmod(prefix.HostPath("C:\\locked").c_str(), 0), 0);
  if (geteuid() != 0) {
    if (access(prefix.HostPath("C:\\locked").c_str(), R_OK) == 0) GTEST_SKIP() << "permissions do not apply here";
    const platform::IoResult<std::vector<FolderEntry>> locked = EnumerateFolder("C:\\locked");
    ASSERT_FALSE(locked.ok());
    EXPECT_EQ(locked.error().kind, platform::IoErrorKind::kAccessDenied);
    EXPECT_EQ(locked.error().osCode, EACCES);
    return;
  }
  // Root reads every folder: look as an unprivileged user from a child.
  ASSERT_EQ(chmod(prefix.root().c_str(), 0755), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
    if (!EnumerateFolder("C:\\").ok()) _exit(2);
    const platform::IoResult<std::vector<FolderEntry>> locked = EnumerateFolder("C:\\locked");
    _exit(locked.ok() || locked.error().kind != platform::IoErrorKind::kAccessDenied ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become an unprivileged user";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: the readable root failed; 1: the locked folder was listed, or not as denied";
}

TEST(EnumerateFolderPosix, NamesGoThroughTheAnsiCodePage) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\names\\\xe3\x81\x95\xe3\x81\xb1\xe3\x82\x8a.wrl");  // さぱり.wrl
  prefix.WriteFile("C:\\names\\caf\xc3\xa9.wrl");
  const std::string names = prefix.HostPath("C:\\names");
  std::ofstream(names + "/bad\xff\xfe.wrl").put('x');

  {
    ScopedLocale locale("C");
    EXPECT_EQ(Listing("C:\\names"),
              (std::vector<Seen>{{"bad??.wrl", false}, {"caf\xe9.wrl", false}, {"???.wrl", false}}));
    EXPECT_TRUE(platform::GetFileStatus("C:\\names\\caf\xe9.wrl").has_value());
    // A "?" is a wildcard to Windows: the listed names do not open.
    EXPECT_FALSE(platform::GetFileStatus("C:\\names\\bad??.wrl").has_value());
  }
  ScopedLocale locale(kJapaneseLocale);
  platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder("C:\\names");
  ASSERT_TRUE(entries.ok());
  ASSERT_EQ(entries->size(), 5u);
  // Upper-cased UTF-16 order: B, C, then the kana.
  EXPECT_EQ((*entries)[2].name, "bad??.wrl");
  // Wine's best fit where its tables are installed.
  EXPECT_EQ((*entries)[3].name, testing_support::WineTablesInstalled() ? "cafe.wrl" : "caf?.wrl");
  EXPECT_EQ((*entries)[4].name, "\x82\xb3\x82\xcf\x82\xe8.wrl");
  EXPECT_TRUE(platform::GetFileStatus((*entries)[4].fullPath).has_value());
}

TEST(EnumerateFolderPosix, DeepTreesEndAtTheLengthLimit) {
  TestPrefix prefix;
  std::string host = prefix.HostPath("C:\\");
  std::string windows = "C:";
  for (int depth = 0; depth < 140; ++depth) {
    host += "/d";
    windows += "\\d";
  }
  fs::create_directories(host);
  // "C:\d" and 126 more levels can be listed (256 characters and "\*.*");
  // the 128th is entered, but cannot be listed.
  EXPECT_EQ(Walk("C:\\d"), 128);
  std::string shallow = "C:";
  for (int depth = 0; depth < 127; ++depth) shallow += "\\d";  // 256 characters, + "\*.*" = 260
  EXPECT_TRUE(EnumerateFolder(shallow).ok());
  EXPECT_FALSE(EnumerateFolder(shallow + "\\d").ok());
  EXPECT_FALSE(EnumerateFolder(windows).ok());
}

TEST(EnumerateFolderPosix, LeavesThePrefixAndTheHostsSystemFoldersOut) {
  TestPrefix prefix;
  for (const Seen& seen : Listing("Z:\\")) {
    EXPECT_NE(seen.name, "dev");
    EXPECT_NE(seen.name, "proc");
    EXPECT_NE(seen.name, "sys");
  }
  const fs::path root(prefix.root());
  std::string parent = "Z:" + root.parent_path().string();
  for (char& c : parent)
    if (c == '/') c = '\\';
  for (const Seen& seen : Listing(parent)) EXPECT_NE(seen.name, root.filename().string());
}

}  // namespace
