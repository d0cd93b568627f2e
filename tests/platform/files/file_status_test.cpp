#include "platform/files/file_status.h"

#include <gtest/gtest.h>

#include "tests/support/test_prefix.h"

namespace {

using platform::GetFileStatus;
using testing_support::TestPrefix;

TEST(GetFileStatus, TellsFilesFromFoldersAndFindsNothingWhereNothingIs) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\Sony\\Browser\\bin\\cpbrowse.exe", "MZ");
  prefix.MakeFolder("C:\\Sony\\Other\\bin\\cpbrowse.exe");

  std::optional<platform::FileStatus> file = GetFileStatus("C:\\Sony\\Browser\\bin\\cpbrowse.exe");
  ASSERT_TRUE(file.has_value());
  EXPECT_FALSE(file->isFolder);
  EXPECT_FALSE(file->readOnly);

  std::optional<platform::FileStatus> folder = GetFileStatus("C:\\Sony\\Other\\bin\\cpbrowse.exe");
  ASSERT_TRUE(folder.has_value());
  EXPECT_TRUE(folder->isFolder);

  EXPECT_TRUE(GetFileStatus("C:\\SONY\\browser\\BIN\\CpBrowse.EXE").has_value());
  EXPECT_TRUE(GetFileStatus("C:\\Sony\\\\Browser\\.\\bin\\..\\bin\\cpbrowse.exe").has_value());
  EXPECT_TRUE(GetFileStatus("C:\\Sony\\Browser\\bin\\cpbrowse.exe. ").has_value());
  EXPECT_TRUE(GetFileStatus("C:\\Sony\\").has_value());
  EXPECT_FALSE(GetFileStatus("C:\\Sony\\Browser\\bin\\cpbrowse.ex").has_value());
  EXPECT_FALSE(GetFileStatus("C:\\Sony\\Browser\\bin\\cpbrowse.exe\\").has_value());
  EXPECT_FALSE(GetFileStatus("C:\\Sony\\Missing\\bin\\cpbrowse.exe").has_value());
  EXPECT_FALSE(GetFileStatus("C:\\Sony\\Browser\\bin\\cp?rowse.exe").has_value());
  EXPECT_FALSE(GetFileStatus("").has_value());
}

}  // namespace
