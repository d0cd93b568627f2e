// The world folder's Windows half among other programs and users: another
// program saving meanwhile, a rewrite cut off and what it left, and what Wine
// lets a Windows program keep of a file's permissions. Cases that need the
// Linux host beneath Wine skip elsewhere.
#include "platform/files/world_folder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/files/world_folder_win_support.h"
#include "tests/platform/wine_host_win.h"

namespace {

using namespace world_folder_win_test;
using testing_support::HostOutput;
using testing_support::HostScript;
using testing_support::UnixPathOf;

// Set, they turn the helper tests below into the other programs of a test.
constexpr char kSaverWorld[] = "QUIETWALK_TEST_SAVER_WORLD";
constexpr char kRewriterWorld[] = "QUIETWALK_TEST_REWRITER_WORLD";
constexpr char kUnprivilegedWorld[] = "QUIETWALK_TEST_UNPRIVILEGED_WORLD";

// --- another program saving, and a rewrite cut off -------------------------

// The other program of AnotherProgramsSaveIsNeverLost: it saves into the
// world over and over, every other save in place, the others as a new file
// renamed over the world, and before each save checks that its last save
// is still there (a rewrite adds a line, and must never put an older
// content back). Ends when the world's folder holds "stop".
TEST(WorldFolderWinSaver, SavesUntilStopped) {
  const char* world = std::getenv(kSaverWorld);
  if (world == nullptr) GTEST_SKIP() << "runs as the other program of AnotherProgramsSaveIsNeverLost";
  const std::string path = world;
  const std::string folder = path.substr(0, path.rfind('\\'));
  int saves = 0;
  int lost = 0;
  std::string last;
  while (GetFileAttributesA((folder + "\\stop").c_str()) == INVALID_FILE_ATTRIBUTES) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;  // held, or its name free for a moment
    std::string content(4096, '\0');
    DWORD done = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    lost += !content.substr(0, done).starts_with(last);
    const std::string next = "save " + std::to_string(saves + 1) + "\n";
    if (saves % 2 == 0) {
      SetFilePointer(file, 0, nullptr, FILE_BEGIN);
      ASSERT_TRUE(WriteFile(file, next.data(), static_cast<DWORD>(next.size()), &done, nullptr) && SetEndOfFile(file) &&
                  CloseHandle(file));
    } else {
      CloseHandle(file);
      const std::string saving = folder + "\\saving.tmp";
      if (!WriteNew(saving, next) || !MoveFileExA(saving.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(saving.c_str());
        continue;
      }
    }
    last = next;
    ++saves;
  }
  EXPECT_EQ(lost, 0) << "of " << saves << " saves";
  EXPECT_GT(saves, 0);
}

TEST_F(WorldFolderWinTest, AnotherProgramsSaveIsNeverLost) {
  m_prefix.WriteFile(kPath, "");
  HANDLE saver = StartHelper("WorldFolderWinSaver.*", kSaverWorld, kPath);
  ASSERT_NE(saver, nullptr);
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  // Each save is patched once (told by its size and time, which need no
  // open that would stand in the other program's way): it gets its turns.
  int replaced = 0;
  WIN32_FILE_ATTRIBUTE_DATA patched{};
  for (const auto end = Clock::now() + kRaceBudget; Clock::now() < end;) {
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!GetFileAttributesExA(kPath.c_str(), GetFileExInfoStandard, &now) ||
        (now.nFileSizeLow == patched.nFileSizeLow &&
         CompareFileTime(&now.ftLastWriteTime, &patched.ftLastWriteTime) == 0))
      continue;
    if (!Rewrite(*world, kPath, {}, "patched\n")) continue;
    ++replaced;
    GetFileAttributesExA(kPath.c_str(), GetFileExInfoStandard, &patched);
  }
  m_prefix.WriteFile(kCity + "\\stop");
  EXPECT_EQ(WaitForExit(saver), 0u) << "the other program lost a save";
  EXPECT_GT(replaced, 0);
  EXPECT_EQ(Names(kCity), (std::vector<std::string>{"city.wrl", "stop"}));
}

// The program that ARewriteCutOffLeavesTheWorldAndNothingElse cuts off.
TEST(WorldFolderWinRewriter, RewritesUntilCutOff) {
  const char* world = std::getenv(kRewriterWorld);
  if (world == nullptr) GTEST_SKIP() << "runs as the program ARewriteCutOffLeavesTheWorldAndNothingElse cuts off";
  const std::string path = world;
  IoResult<WorldFolder> folder = WorldFolder::Open(path.substr(0, path.rfind('\\')));
  ASSERT_TRUE(folder.ok());
  for (;;) ASSERT_TRUE(Rewrite(*folder, path, {}, "b").ok());
}

// Cut off while it writes the new content (the moment its new file shows a
// size), the other program leaves the world as it was and nothing beside.
TEST_F(WorldFolderWinTest, ARewriteCutOffLeavesTheWorldAndNothingElse) {
  const std::string old(64 << 20, 'a');
  m_prefix.WriteFile(kPath, old);
  for (int cut = 0; cut < 2; ++cut) {
    HANDLE changes = FindFirstChangeNotificationA(kCity.c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE);
    ASSERT_NE(changes, INVALID_HANDLE_VALUE);
    HANDLE rewriter = StartHelper("WorldFolderWinRewriter.*", kRewriterWorld, kPath);
    ASSERT_NE(rewriter, nullptr);
    const HANDLE either[] = {changes, rewriter};
    const DWORD woken = WaitForMultipleObjects(2, either, FALSE, 60 * 1000);
    TerminateProcess(rewriter, 9);
    EXPECT_EQ(WaitForExit(rewriter), 9u);
    FindCloseChangeNotification(changes);
    ASSERT_EQ(woken, WAIT_OBJECT_0) << "the other program ended or never wrote";
    EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"}) << "cut " << cut;
    EXPECT_EQ(ReadShared(kPath), old) << "cut " << cut;
  }
}

// What runs cut off in the middle of rewrites left, as their process
// numbers tell, goes with the next rewrite in the folder: a world moved
// aside goes back to its free name, one whose replacement took the name
// goes, new content that never took one goes. What a living process made,
// and a user's file named like them, stay.
TEST_F(WorldFolderWinTest, WhatARewriteCutOffLeftGoesWithTheNext) {
  const std::string ended = kCity + "\\~qw7ffffff0-";  // no process has this number
  char mine[32];
  std::snprintf(mine, sizeof mine, "~qw%lx-1.new", static_cast<unsigned long>(GetCurrentProcessId()));
  m_prefix.WriteFile(ended + "1.old\\city.wrl", "old city");
  m_prefix.WriteFile(ended + "2.old\\town.wrl", "old town");
  m_prefix.WriteFile(kCity + "\\town.wrl", "new town");
  m_prefix.WriteFile(ended + "3.new", "never placed");
  m_prefix.WriteFile(kCity + "\\" + mine, "being placed");
  m_prefix.WriteFile(ended + "4.new.txt", "a user's");
  m_prefix.WriteFile(kCity + "\\village.wrl", "old village");
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  ASSERT_TRUE(Rewrite(*world, kCity + "\\village.wrl", "new village").ok());
  std::vector<std::string> names = Names(kCity);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"city.wrl", "town.wrl", "village.wrl", mine, "~qw7ffffff0-4.new.txt"}));
  EXPECT_EQ(ReadShared(kPath), "old city");
  EXPECT_EQ(ReadShared(kCity + "\\town.wrl"), "new town");
}

// --- permissions, under Wine ------------------------------------------------

// Wine shows a file's owner and others' permission bits as its security
// descriptor, and makes a new file's bits from one: the owner's rights for
// owner and group, the others' for others, less the umask. It shows
// neither the file's group nor the group's bits, so those cannot be carried
// over: with the usual umask 022, 0644 and 0640 stay, 0600 becomes 0640 and
// 0664 0644. What it shows is kept, owner and group included; a file that
// would lose some of it (another umask) is left alone.
TEST_F(WorldFolderWinTest, UnderWineKeepsTheModeBitsWineShowsAndTheOwner) {
  m_prefix.MakeFolder(kCity);
  const std::optional<std::string> city = UnixPathOf(kCity);
  if (!city) GTEST_SKIP() << "needs Wine's host to read the mode";
  const bool usualUmask = HostOutput("umask") == std::optional<std::string>("0022\n");
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  for (const std::string mode : {"644", "640", "600", "664"}) {
    m_prefix.WriteFile(kCity + "\\m" + mode + ".wrl", "old");
    const std::string host = "'" + *city + "/m" + mode + ".wrl'";
    ASSERT_TRUE(HostOutput("chmod " + mode + " " + host));
    const std::optional<std::string> before = HostOutput("stat -c '%a %U:%G' " + host);
    const IoStatus replaced = Rewrite(*world, kCity + "\\m" + mode + ".wrl", "new");
    const std::optional<std::string> after = HostOutput("stat -c '%a %U:%G' " + host);
    ASSERT_TRUE(before && after);
    if (!replaced) {
      EXPECT_FALSE(usualUmask) << mode;
      EXPECT_EQ(KindOf(replaced), IoErrorKind::kAccessDenied) << mode;
      EXPECT_EQ(after, before) << mode;
      continue;
    }
    EXPECT_EQ(after->substr(3), before->substr(3)) << "owner and group, mode " << mode;
    EXPECT_EQ((*after)[0], mode[0]) << "owner's bits, mode " << mode;
    EXPECT_EQ((*after)[2], mode[2]) << "others' bits, mode " << mode;
    if (usualUmask && (mode == "644" || mode == "640")) {
      EXPECT_EQ(after->substr(0, 3), mode);
    }
  }
  EXPECT_EQ(Names(kCity), (std::vector<std::string>{"m600.wrl", "m640.wrl", "m644.wrl", "m664.wrl"}));
}

// Run as an unprivileged user by AsAnotherUserNothingItMayNotWriteIsWritten.
TEST(WorldFolderWinUnprivileged, WritesOnlyWhatItMayWrite) {
  const char* folder = std::getenv(kUnprivilegedWorld);
  if (folder == nullptr) GTEST_SKIP() << "runs as another user under AsAnotherUserNothingItMayNotWriteIsWritten";
  IoResult<WorldFolder> world = WorldFolder::Open(folder);
  ASSERT_TRUE(world.ok());
  // Taken and read alike (a file that needs no change is never refused);
  // only what this user may not write is refused, as an open for writing.
  EXPECT_TRUE(Rewrite(*world, world->path() + "\\own640.wrl", "new").ok());
  for (const char* name : {"own464.wrl", "root644.wrl"}) {
    const std::string path = world->path() + "\\" + name;
    IoResult<WorldFile> file = world->OpenFile(path);
    ASSERT_TRUE(file.ok() && file->TakeExclusive().ok() && file->ReadAll().ok()) << name;
    EXPECT_EQ(KindOf(file->ReplaceContent("new")), IoErrorKind::kGeneric) << name;
  }
  EXPECT_TRUE(world->Flush().ok());
}

TEST_F(WorldFolderWinTest, AsAnotherUserNothingItMayNotWriteIsWritten) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const char* emulator = std::getenv("QUIETWALK_WINE_EMULATOR");
  const std::optional<std::string> unixProgram = UnixPathOf(program);
  if (emulator == nullptr || !unixProgram) GTEST_SKIP() << "needs the Wine emulator to run as another user";
  if (HostOutput("id -u") != std::optional<std::string>("0\n")) GTEST_SKIP() << "needs root to become another user";
  // A folder the other user can reach, outside this run's own prefix.
  const std::optional<std::string> world = HostOutput(
      "world=$(mktemp -d \"${TMPDIR:-/tmp}/quietwalk-unprivileged-XXXXXX\") && cd \"$world\" && chmod 777 . &&"
      " for f in own464 root644 own640; do echo old > $f.wrl; done && chown nobody:nogroup own464.wrl own640.wrl &&"
      " chmod 464 own464.wrl && chmod 640 own640.wrl && chmod 644 root644.wrl && printf %s \"$world\"");
  ASSERT_TRUE(world);
  std::string windowsWorld = "Z:" + *world;
  for (char& c : windowsWorld) c = c == '/' ? '\\' : c;
  const std::optional<std::string> run = HostOutput(
      std::string("export ") + kUnprivilegedWorld + "='" + windowsWorld + "'\n'" + emulator + "' --as-user nobody '" +
      *unixProgram + "' --gtest_filter=WorldFolderWinUnprivileged.* 2>&1\n" + "echo status $?");
  const std::optional<std::string> after =
      HostOutput("cd '" + *world + "' && stat -c '%n %a %U:%G' *.wrl && cat own464.wrl root644.wrl own640.wrl");
  HostOutput("rm -rf '" + *world + "'");
  ASSERT_TRUE(run);
  if (run->find("status 77\n") != std::string::npos) GTEST_SKIP() << "cannot run Wine as nobody here:\n" << *run;
  EXPECT_NE(run->find("[  PASSED  ] 1 test"), std::string::npos) << *run;
  EXPECT_NE(run->find("status 0\n"), std::string::npos) << *run;
  EXPECT_EQ(after, std::optional<std::string>("own464.wrl 464 nobody:nogroup\nown640.wrl 640 nobody:nogroup\n"
                                              "root644.wrl 644 root:root\nold\nold\nnew"));
}

}  // namespace
