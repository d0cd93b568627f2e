#include "scan/world_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_prefix.h"

namespace {

using testing_support::TestPrefix;

WorldFileList Scan(const std::string& root) {
  WorldFileList list;
  CollectWorldFiles(root, list);
  return list;
}

// Folders list their entries sorted ignoring case ("." and ".." first), so
// the names below are chosen to come in the order each case needs.
class WorldScanTest : public ::testing::Test {
 protected:
  TestPrefix m_prefix;
};

TEST_F(WorldScanTest, ListsAWorldFileOnceWhileNothingElseIsListedAfterIt) {
  m_prefix.WriteFile("C:\\one\\a.wrl");
  m_prefix.WriteFile("C:\\one\\b.txt");
  m_prefix.WriteFile("C:\\one\\c.txt");
  EXPECT_EQ(Scan("C:\\one"), (WorldFileList{"C:\\one\\a.wrl"}));

  m_prefix.WriteFile("C:\\two\\a.wrl");
  m_prefix.WriteFile("C:\\two\\b.wrl");
  m_prefix.WriteFile("C:\\two\\c.txt");
  EXPECT_EQ(Scan("C:\\two"), (WorldFileList{"C:\\two\\a.wrl", "C:\\two\\b.wrl"}));

  m_prefix.MakeFolder("C:\\empty");
  EXPECT_EQ(Scan("C:\\empty"), WorldFileList{});
}

TEST_F(WorldScanTest, TakesOnlyPathsEndingInLowerCaseWrlFoldersIncluded) {
  for (const char* name : {".wrl", "A.WRL", "b.Wrl", "c.wrlx", "d.wrl", "readme.wrl.txt"})
    m_prefix.WriteFile(std::string("C:\\suffix\\") + name);
  m_prefix.WriteFile("C:\\suffix\\x.wrl\\y.wrl");
  m_prefix.WriteFile("C:\\suffix\\z.WRL\\inner.wrl");

  // The folder x.wrl is remembered like a file: listed again after its own
  // contents, when the next entry comes.
  EXPECT_EQ(Scan("C:\\suffix"),
            (WorldFileList{"C:\\suffix\\.wrl", "C:\\suffix\\d.wrl", "C:\\suffix\\x.wrl", "C:\\suffix\\x.wrl\\y.wrl",
                           "C:\\suffix\\x.wrl", "C:\\suffix\\z.WRL\\inner.wrl"}));
}

TEST_F(WorldScanTest, ListsTheLastWorldFileAgainAfterASubFolderListedFiles) {
  // a.wrl, a folder with a world file, then two other entries: listed again once.
  m_prefix.WriteFile("C:\\again\\a.wrl");
  m_prefix.WriteFile("C:\\again\\b\\d.wrl");
  m_prefix.WriteFile("C:\\again\\y.txt");
  m_prefix.WriteFile("C:\\again\\z.txt");
  EXPECT_EQ(Scan("C:\\again"), (WorldFileList{"C:\\again\\a.wrl", "C:\\again\\b\\d.wrl", "C:\\again\\a.wrl"}));

  // A folder that follows is an entry like any other.
  m_prefix.WriteFile("C:\\folder\\a.wrl");
  m_prefix.WriteFile("C:\\folder\\b\\d.wrl");
  m_prefix.MakeFolder("C:\\folder\\c");
  EXPECT_EQ(Scan("C:\\folder"), (WorldFileList{"C:\\folder\\a.wrl", "C:\\folder\\b\\d.wrl", "C:\\folder\\a.wrl"}));

  // A world file that follows is listed instead.
  m_prefix.WriteFile("C:\\next\\a.wrl");
  m_prefix.WriteFile("C:\\next\\b\\d.wrl");
  m_prefix.WriteFile("C:\\next\\c.wrl");
  EXPECT_EQ(Scan("C:\\next"), (WorldFileList{"C:\\next\\a.wrl", "C:\\next\\b\\d.wrl", "C:\\next\\c.wrl"}));

  // Nothing follows the folder, or nothing was found before it.
  m_prefix.WriteFile("C:\\last\\a.wrl");
  m_prefix.WriteFile("C:\\last\\b\\d.wrl");
  EXPECT_EQ(Scan("C:\\last"), (WorldFileList{"C:\\last\\a.wrl", "C:\\last\\b\\d.wrl"}));
  m_prefix.WriteFile("C:\\first\\d\\d.wrl");
  m_prefix.WriteFile("C:\\first\\e.wrl");
  EXPECT_EQ(Scan("C:\\first"), (WorldFileList{"C:\\first\\d\\d.wrl", "C:\\first\\e.wrl"}));

  // A sub-folder that listed nothing changes nothing.
  m_prefix.WriteFile("C:\\quiet\\a.wrl");
  m_prefix.WriteFile("C:\\quiet\\b\\x.txt");
  m_prefix.WriteFile("C:\\quiet\\z.txt");
  EXPECT_EQ(Scan("C:\\quiet"), (WorldFileList{"C:\\quiet\\a.wrl"}));
}

TEST_F(WorldScanTest, LeavesOutFilesDirectlyInExcludedFoldersButVisitsTheirSubFolders) {
  m_prefix.WriteFile("C:\\ex\\a.wrl");
  m_prefix.WriteFile("C:\\ex\\models\\m.wrl");
  m_prefix.WriteFile("C:\\ex\\models\\sub\\s.wrl");
  m_prefix.WriteFile("C:\\ex\\z.txt");
  EXPECT_EQ(Scan("C:\\ex"), (WorldFileList{"C:\\ex\\a.wrl", "C:\\ex\\models\\sub\\s.wrl", "C:\\ex\\a.wrl"}));
}

TEST_F(WorldScanTest, ExcludesByTheTailOfTheLowerCasedPath) {
  for (const ExcludedDirName& excluded : ExcludedDirNames)
    m_prefix.WriteFile("C:\\tails\\" + std::string(excluded.name) + "\\w.wrl");
  // Not the last component alone, and upper case in the path counts too.
  m_prefix.WriteFile("C:\\tails\\xmodels\\w.wrl");
  m_prefix.WriteFile("C:\\tails\\upper\\MIRROR\\w.wrl");
  m_prefix.WriteFile("C:\\tails\\lower\\basecomponent\\w.wrl");
  // Names that only hold an excluded one.
  m_prefix.WriteFile("C:\\tails\\models.old\\w.wrl");
  m_prefix.WriteFile("C:\\tails\\modelsx\\w.wrl");

  EXPECT_EQ(Scan("C:\\tails"), (WorldFileList{"C:\\tails\\models.old\\w.wrl", "C:\\tails\\modelsx\\w.wrl"}));
}

TEST_F(WorldScanTest, TestsTheRootAsPassedAndListsItsNormalisedPath) {
  m_prefix.WriteFile("C:\\r\\ko-en\\k.wrl");
  m_prefix.WriteFile("C:\\r\\ko-en\\sub\\s.wrl");
  EXPECT_EQ(Scan("C:\\r\\ko-en"), (WorldFileList{"C:\\r\\ko-en\\sub\\s.wrl"}));
  EXPECT_EQ(Scan("C:\\r\\Ko-En"), (WorldFileList{"C:\\r\\Ko-En\\sub\\s.wrl"}));
  EXPECT_EQ(Scan("C:\\r\\\\ko-en"), (WorldFileList{"C:\\r\\ko-en\\sub\\s.wrl"}));
  // As passed the root does not end in the excluded name; as listed it does.
  EXPECT_EQ(Scan("C:\\r\\ko-en\\."), (WorldFileList{"C:\\r\\ko-en\\k.wrl", "C:\\r\\ko-en\\sub\\s.wrl"}));
}

TEST_F(WorldScanTest, AddsNothingForARootThatCannotBeListedAndSaysWhy) {
  m_prefix.WriteFile("C:\\file.wrl");
  WorldFileList list{"kept"};
  std::vector<ScanSkip> skips;
  const ScanOptions options{[&skips](const ScanSkip& skip) { skips.push_back(skip); }};
  for (const char* root : {"C:\\missing", "C:\\file.wrl", "C:\\missing\\deeper"}) ScanWorldFiles(root, list, options);
  CollectWorldFiles("C:\\missing", list);
  EXPECT_EQ(list, WorldFileList{"kept"});
  ASSERT_EQ(skips.size(), 3u);
  for (const ScanSkip& skip : skips) {
    EXPECT_EQ(skip.reason, ScanSkipReason::kCannotList) << skip.path;
    EXPECT_EQ(skip.depth, 0u);
    ASSERT_TRUE(skip.error.has_value());
    EXPECT_EQ(skip.error->kind, platform::IoErrorKind::kNotFound) << skip.path;
    EXPECT_EQ(skip.error->path, skip.path);
  }
  EXPECT_EQ(skips[1].path, "C:\\file.wrl");
}

TEST_F(WorldScanTest, AppendsAfterWhatTheListAlreadyHolds) {
  m_prefix.WriteFile("C:\\pre\\a.wrl");
  m_prefix.WriteFile("C:\\pre\\b.wrl");
  WorldFileList list{"C:\\pre\\a.wrl"};
  CollectWorldFiles("C:\\pre", list);
  EXPECT_EQ(list, (WorldFileList{"C:\\pre\\a.wrl", "C:\\pre\\b.wrl"}));
}

// The program scans "\world" when no installation was found.
TEST_F(WorldScanTest, ARootWithoutDriveIsTakenOnTheCurrentDrive) {
  namespace fs = std::filesystem;
  const fs::path saved = fs::current_path();
  fs::current_path(m_prefix.HostPath("C:\\"));
  const WorldFileList nothingYet = Scan("\\world");
  m_prefix.WriteFile("C:\\world\\a.wrl");
  m_prefix.WriteFile("C:\\world\\sub\\b.wrl");
  const WorldFileList found = Scan("\\world");
  fs::current_path(saved);

  EXPECT_EQ(nothingYet, WorldFileList{});
  EXPECT_EQ(found, (WorldFileList{"C:\\world\\a.wrl", "C:\\world\\sub\\b.wrl"}));
}

}  // namespace
