#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files/file_status.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::GetFileStatus;
using testing_support::TestPrefix;

TEST(GetFileStatusPosix, ReadOnlyOnlyWhenNoWriteBitIsSet) {
  TestPrefix prefix;
  struct Case {
    mode_t mode;
    bool folder;
    bool readOnly;
  };
  const Case cases[] = {
      {0444, false, true},  {0400, false, true},  {0000, false, true},  {0040, false, true},
      {0004, false, true},  {0464, false, false}, {0446, false, false}, {0200, false, false},
      {0604, false, false}, {0644, false, false}, {0555, true, true},   {0500, true, true},
      {0000, true, true},   {0755, true, false},  {0700, true, false},  {0575, true, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "C:\\modes\\m" + std::to_string(n++);
    if (c.folder)
      prefix.MakeFolder(name);
    else
      prefix.WriteFile(name);
    ASSERT_EQ(chmod(prefix.HostPath(name).c_str(), c.mode), 0);
    std::optional<platform::FileStatus> status = GetFileStatus(name);
    ASSERT_TRUE(status.has_value()) << name;
    EXPECT_EQ(status->isFolder, c.folder) << std::oct << c.mode;
    EXPECT_EQ(status->readOnly, c.readOnly) << std::oct << c.mode;
  }
}

TEST(GetFileStatusPosix, FollowsLinksAndMissesDanglingOnes) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\t\\target.txt");
  prefix.MakeFolder("C:\\t\\folder");
  ASSERT_EQ(chmod(prefix.HostPath("C:\\t\\target.txt").c_str(), 0444), 0);
  fs::create_symlink("target.txt", prefix.HostPath("C:\\t\\to_file"));
  fs::create_symlink("folder", prefix.HostPath("C:\\t\\to_folder"));
  fs::create_symlink("nothing", prefix.HostPath("C:\\t\\dangling"));

  std::optional<platform::FileStatus> toFile = GetFileStatus("C:\\t\\TO_FILE");
  ASSERT_TRUE(toFile.has_value());
  EXPECT_FALSE(toFile->isFolder);
  EXPECT_TRUE(toFile->readOnly);  // the target's bits, not the link's
  std::optional<platform::FileStatus> toFolder = GetFileStatus("C:\\t\\to_folder");
  ASSERT_TRUE(toFolder.has_value());
  EXPECT_TRUE(toFolder->isFolder);
  EXPECT_FALSE(GetFileStatus("C:\\t\\dangling").has_value());
  EXPECT_FALSE(GetFileStatus("C:\\t\\DANGLING").has_value());
}

}  // namespace
