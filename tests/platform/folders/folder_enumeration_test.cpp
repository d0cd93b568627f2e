#include "platform/folders/folder_enumeration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_prefix.h"

namespace {

using platform::EnumerateFolder;
using platform::FolderEntry;
using testing_support::TestPrefix;

std::vector<std::string> Names(const std::vector<FolderEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const FolderEntry& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(EnumerateFolder, ListsDotsFirstThenNamesInUpperCaseOrder) {
  TestPrefix prefix;
  for (const char* name : {"b.txt", "A.txt", "c", "_x", "a.wrl", "Z9", "~t", "1st"})
    prefix.WriteFile(std::string("C:\\sort\\") + name);
  prefix.MakeFolder("C:\\sort\\Dir");

  platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder("C:\\sort");
  ASSERT_TRUE(entries.ok());
  // "_" and "~" sort after the letters once these are upper case.
  EXPECT_EQ(Names(*entries),
            (std::vector<std::string>{".", "..", "1st", "A.txt", "a.wrl", "b.txt", "c", "Dir", "Z9", "_x", "~t"}));
  for (const FolderEntry& entry : *entries) {
    EXPECT_EQ(entry.fullPath, "C:\\sort\\" + entry.name);
    EXPECT_EQ(entry.isFolder, entry.name == "." || entry.name == ".." || entry.name == "Dir") << entry.name;
  }
}

TEST(EnumerateFolder, FullPathsUseTheNormalisedFolder) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\Browser\\world\\a.wrl");
  // A browser folder stored with a final backslash, and a scan of it.
  platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder("C:\\BROWSER\\\\world");
  ASSERT_TRUE(entries.ok());
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[2].name, "a.wrl");
  EXPECT_EQ((*entries)[2].fullPath, "C:\\BROWSER\\world\\a.wrl");
  entries = EnumerateFolder("C:/Browser/./x/../world/");
  ASSERT_TRUE(entries.ok());
  EXPECT_EQ((*entries)[2].fullPath, "C:\\Browser\\world\\a.wrl");
  EXPECT_EQ((*entries)[0].fullPath, "C:\\Browser\\world\\.");
}

TEST(EnumerateFolder, DriveRootHasNoDots) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\top.txt");
  platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder("C:\\");
  ASSERT_TRUE(entries.ok());
  ASSERT_FALSE(entries->empty());
  EXPECT_NE(entries->front().name, ".");
  bool found = false;
  for (const FolderEntry& entry : *entries) {
    EXPECT_NE(entry.name, "..");
    if (entry.name == "top.txt") {
      found = true;
      EXPECT_EQ(entry.fullPath, "C:\\top.txt");
    }
  }
  EXPECT_TRUE(found);
}

TEST(EnumerateFolder, CannotStartOnWhatIsNoFolder) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\f\\file.txt");
  prefix.MakeFolder("C:\\f\\empty");
  for (const char* folder : {"C:\\f\\missing", "C:\\f\\file.txt", "C:\\f\\missing\\deeper", ""}) {
    const platform::IoResult<std::vector<FolderEntry>> entries = EnumerateFolder(folder);
    ASSERT_FALSE(entries.ok()) << folder;
    EXPECT_EQ(entries.error().kind, platform::IoErrorKind::kNotFound) << folder;
    EXPECT_NE(entries.error().osCode, 0) << folder;
    EXPECT_EQ(entries.error().path, folder);
  }
  platform::IoResult<std::vector<FolderEntry>> empty = EnumerateFolder("C:\\f\\EMPTY");
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(Names(*empty), (std::vector<std::string>{".", ".."}));
}

}  // namespace
