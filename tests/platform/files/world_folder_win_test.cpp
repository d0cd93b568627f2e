// The world folder's Windows half as the patcher relies on it: files reached
// inside the folder only, held against every other opener, replaced through
// handles with nothing left behind, and a folder swapped for a link meanwhile.
// Cases that need the Linux host beneath Wine skip elsewhere.
#include "platform/files/world_folder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
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
TEST_F(WorldFolderWinTest, ReachesWhatLiesInsideAndNothingElse) {
  m_prefix.WriteFile(kPath, "old");
  m_prefix.WriteFile("C:\\outside\\o.wrl", "outside");
  IoResult<WorldFolder> world = WorldFolder::Open("C:\\WORLD\\.\\");
  ASSERT_TRUE(world.ok());
  EXPECT_EQ(world->path(), "C:\\WORLD");
  IoResult<WorldFile> file = world->OpenFile(kPath);
  ASSERT_TRUE(file.ok());
  EXPECT_FALSE(file->status().isFolder || file->status().readOnly);

  const std::vector<std::pair<std::string, IoErrorKind>> refused = {
      {"C:\\outside\\o.wrl", IoErrorKind::kOutside},
      {"C:\\world\\..\\outside\\o.wrl", IoErrorKind::kOutside},
      {kCity + "\\missing.wrl", IoErrorKind::kNotFound}};
  for (const auto& [path, kind] : refused) {
    IoResult<WorldFile> none = world->OpenFile(path);
    ASSERT_EQ(KindOf(none), kind) << path;
    EXPECT_EQ(none.error().path, path);
  }
  IoResult<WorldFile> folder = world->OpenFile(kCity);
  ASSERT_TRUE(folder.ok());
  EXPECT_TRUE(folder->status().isFolder);
  EXPECT_EQ(KindOf(folder->TakeExclusive()), IoErrorKind::kNotAFile);
  for (const std::string& noFolder : {std::string("C:\\nowhere"), kPath})
    EXPECT_EQ(KindOf(WorldFolder::Open(noFolder)), IoErrorKind::kNotFound) << noFolder;
}

TEST_F(WorldFolderWinTest, HoldsTheFileAgainstEveryOtherOpenerUntilItGoes) {
  m_prefix.WriteFile(kPath, "old");
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  std::optional<IoResult<WorldFile>> file(world->OpenFile(kPath));
  ASSERT_TRUE((*file)->TakeExclusive().ok());
  auto othersRefused = [] {
    HANDLE other = CreateFileA(kPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
    const DWORD error = GetLastError();
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    return other == INVALID_HANDLE_VALUE && error == ERROR_SHARING_VIOLATION;
  };
  EXPECT_TRUE(othersRefused());
  // Its status still reads; taking it a second time is refused as busy.
  IoResult<WorldFile> second = world->OpenFile(kPath);
  ASSERT_TRUE(second.ok());
  const IoStatus busy = second->TakeExclusive();
  EXPECT_EQ(KindOf(busy), IoErrorKind::kBusy);
  EXPECT_EQ(busy ? "" : busy.error().path, kPath);

  ASSERT_TRUE((*file)->ReplaceContent("new").ok());
  EXPECT_TRUE(othersRefused());
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"}) << "kept by the one that could not take it";
  file.reset();
  EXPECT_FALSE(othersRefused());
  EXPECT_EQ(m_prefix.ReadFile(kPath), "new");
}

TEST_F(WorldFolderWinTest, ReplacesTheContentKeepingAttributesAndLeavingNothingBeside) {
  m_prefix.WriteFile(kPath, "old content");
  ASSERT_TRUE(SetFileAttributesA(kPath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  const std::string replacement("new\r\n\0content", 14);
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  {
    IoResult<WorldFile> file = world->OpenFile(kPath);
    ASSERT_TRUE(file.ok() && file->TakeExclusive().ok());
    EXPECT_EQ(KindOf(file->ReadAll(10)), IoErrorKind::kTooLarge);
    EXPECT_EQ(*file->ReadAll(11), "old content");
    // Another program looks at the file meanwhile, and keeps the old one
    // from going until it lets go.
    HANDLE looking =
        CreateFileA(kPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(looking, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(file->ReplaceContent(replacement).ok());
    CloseHandle(looking);
    EXPECT_EQ(*file->ReadAll(), replacement);
  }
  EXPECT_TRUE(world->Flush().ok());
  EXPECT_EQ(m_prefix.ReadFile(kPath), replacement);
  EXPECT_TRUE(GetFileAttributesA(kPath.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"});
}

// On the drives the Wine emulator makes: a full one and a read-only one.
TEST_F(WorldFolderWinTest, AFullOrWriteProtectedDriveLeavesTheFileAndNothingElse) {
  const std::vector<std::pair<const char*, IoErrorKind>> drives = {
      {"QUIETWALK_FULL_DRIVE", IoErrorKind::kDiskFull}, {"QUIETWALK_READONLY_DRIVE", IoErrorKind::kAccessDenied}};
  for (const auto& [variable, kind] : drives) {
    const char* drive = std::getenv(variable);
    if (drive == nullptr) GTEST_SKIP() << "the emulator could not mount its scratch drives";
    const std::string path = std::string(drive) + "\\world.wrl";
    if (kind == IoErrorKind::kDiskFull) {
      ASSERT_TRUE(WriteNew(path, std::string(40 * 1024, 'o')));
    }
    const std::string before = ReadShared(path);
    {
      IoResult<WorldFolder> world = WorldFolder::Open(std::string(drive) + "\\");
      ASSERT_TRUE(world.ok());
      const IoStatus replaced = Rewrite(*world, path, std::string(40 * 1024, 'n'));
      ASSERT_EQ(KindOf(replaced), kind) << variable;
      EXPECT_EQ(replaced.error().path, path);
    }
    EXPECT_EQ(Names(drive), std::vector<std::string>{"world.wrl"}) << variable;
    EXPECT_EQ(ReadShared(path), before) << variable;
    if (kind == IoErrorKind::kDiskFull) DeleteFileA(path.c_str());
  }
}

// --- links, which only Wine's host can make here ---------------------------

TEST_F(WorldFolderWinTest, FollowsLinksInsideAndRefusesThoseThatLeadOut) {
  m_prefix.WriteFile(kPath, "old");
  m_prefix.WriteFile("C:\\outside\\o.wrl", "outside");
  const std::optional<std::string> world = UnixPathOf(kWorld);
  if (!world) GTEST_SKIP() << "needs Wine's host to make links";
  ASSERT_TRUE(HostOutput("cd '" + *world + "' && ln -s city.wrl city/in.wrl && ln -s ../outside/o.wrl out.wrl &&" +
                         " ln -s ../outside outdir"));
  {
    IoResult<WorldFolder> folder = WorldFolder::Open(kWorld);
    ASSERT_TRUE(folder.ok());
    EXPECT_TRUE(Rewrite(*folder, kCity + "\\in.wrl", "new").ok());
    for (const std::string& path : {kWorld + "\\out.wrl", kWorld + "\\outdir\\o.wrl"})
      EXPECT_EQ(KindOf(folder->OpenFile(path)), IoErrorKind::kOutside) << path;
  }
  EXPECT_EQ(m_prefix.ReadFile(kPath), "new");
  EXPECT_EQ(HostOutput("readlink '" + *world + "/city/in.wrl'"), std::optional<std::string>("city.wrl\n"));
  EXPECT_EQ(m_prefix.ReadFile("C:\\outside\\o.wrl"), "outside");
  // Through the host: Wine would delete what a link to a file leads to.
  EXPECT_TRUE(HostOutput("cd '" + *world + "' && rm city/in.wrl out.wrl outdir"));
}

// Names a folder holds under Wine though Windows forbids them. One that
// another name there equals but for case can be given to no new file (a
// move into it meets the other file), so that world is left whole; a
// folder whose name ends in a space is one like any other.
TEST_F(WorldFolderWinTest, NamesOnlyWineHasAreReplacedOrLeftWhole) {
  m_prefix.MakeFolder(kCity);
  const std::optional<std::string> city = UnixPathOf(kCity);
  if (!city) GTEST_SKIP() << "needs Wine's host to make names Windows forbids";
  ASSERT_TRUE(HostOutput("cd '" + *city + "' && echo one >Case.wrl && echo two >case.wrl && mkdir 'sp ' &&" +
                         " echo old >'sp /w.wrl'"));
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  for (const char* name : {"Case.wrl", "case.wrl"}) {
    const IoStatus replaced = Rewrite(*world, kCity + "\\" + name, "new");
    EXPECT_EQ(KindOf(replaced), IoErrorKind::kGeneric) << name;
  }
  EXPECT_TRUE(Rewrite(*world, kCity + "\\sp \\w.wrl", "new").ok());
  EXPECT_EQ(HostOutput("cd '" + *city + "' && ls -A . 'sp ' && cat Case.wrl case.wrl 'sp /w.wrl'"),
            std::optional<std::string>(".:\nCase.wrl\ncase.wrl\nsp \n\nsp :\nw.wrl\none\ntwo\nnew"));
  // Through the host: Windows cannot name the folder to remove it.
  EXPECT_TRUE(HostOutput("cd '" + *city + "' && rm -r Case.wrl case.wrl 'sp '"));
}

// A folder of the world swapped for a link to a folder outside, and back,
// as fast as the host can, while the world's file is patched over and over:
// nothing outside is ever written, renamed away or left behind, and inside
// every rewrite leaves the world under its name with its old content or its
// new, and nothing beside it.
TEST_F(WorldFolderWinTest, NothingOutsideIsTouchedWhileAFolderIsSwappedForALink) {
  m_prefix.WriteFile(kPath, "inside");
  m_prefix.WriteFile("C:\\outside\\city\\city.wrl", "outside");
  const std::optional<std::string> world = UnixPathOf(kWorld);
  if (!world) GTEST_SKIP() << "needs Wine's host to swap a folder for a link";
  // The loop ends on its own should the test never stop it.
  HostScript swapper("cd '" + *world + "' && ln -s ../outside/city link && end=$(($(date +%s) + 30)) &&\n" +
                     "while [ ! -e stop ] && [ $(date +%s) -lt $end ]; do\n" +
                     "  mv -T city real && mv -T link city && mv -T city link && mv -T real city || exit 1\n" +
                     "done\n");
  ASSERT_TRUE(swapper.started());
  IoResult<WorldFolder> folder = WorldFolder::Open(kWorld);
  ASSERT_TRUE(folder.ok());
  int replaced = 0;
  int outside = 0;
  std::string content = "inside";
  for (const auto end = Clock::now() + kRaceBudget; Clock::now() < end;) {
    const std::string patched = "patched " + std::to_string(replaced + 1);
    const IoStatus rewritten = Rewrite(*folder, kPath, patched);
    if (rewritten.ok()) {
      content = patched;
      ++replaced;
    }
    outside += KindOf(rewritten) == IoErrorKind::kOutside;
  }
  m_prefix.WriteFile(kWorld + "\\stop");
  EXPECT_EQ(swapper.Wait(), 0);
  EXPECT_EQ(m_prefix.ReadFile("C:\\outside\\city\\city.wrl"), "outside");
  EXPECT_EQ(Names("C:\\outside\\city"), std::vector<std::string>{"city.wrl"});
  EXPECT_EQ(m_prefix.ReadFile(kPath), content);
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"});
  EXPECT_TRUE(HostOutput("rm '" + *world + "/link'"));
  EXPECT_GT(replaced, 0) << "the race never let a patch through";
  EXPECT_GT(outside, 0) << "the race never showed the link";
}

}  // namespace
