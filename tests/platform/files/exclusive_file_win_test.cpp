#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files/exclusive_file.h"
#include "tests/support/test_prefix.h"

namespace {

using platform::ExclusiveFile;
using platform::IoFailure;

const std::string kFolder = "C:\\world\\city";
const std::string kPath = kFolder + "\\city.wrl";

// Names in the folder other than "." and "..".
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

// A drive the emulator made for failure paths, or empty when it made none.
std::string ScratchDrive(const char* variable) {
  const char* drive = std::getenv(variable);
  if (drive == nullptr || GetFileAttributesA((std::string(drive) + "\\").c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return drive;
}

class ExclusiveFileWinTest : public testing::Test {
 protected:
  testing_support::TestPrefix m_prefix;
};

TEST_F(ExclusiveFileWinTest, HoldsTheFileAgainstEveryOtherOpener) {
  m_prefix.WriteFile(kPath, "old");
  std::optional<ExclusiveFile> file = ExclusiveFile::Open(kPath);
  ASSERT_TRUE(file);
  EXPECT_FALSE(ExclusiveFile::Open(kPath));
  HANDLE other =
      CreateFileA(kPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  // Still held after a rewrite.
  EXPECT_EQ(file->ReplaceContent("new"), IoFailure::kNone);
  EXPECT_FALSE(ExclusiveFile::Open(kPath));
  file.reset();
  EXPECT_TRUE(ExclusiveFile::Open(kPath));
}

TEST_F(ExclusiveFileWinTest, RefusesFoldersAndDevices) {
  m_prefix.MakeFolder(kFolder);
  EXPECT_FALSE(ExclusiveFile::Open(kFolder));
  EXPECT_FALSE(ExclusiveFile::Open("NUL"));
  EXPECT_FALSE(ExclusiveFile::Open(kFolder + "\\missing.wrl"));
}

TEST_F(ExclusiveFileWinTest, ReplacesTheContentKeepingAttributesAndNoTemporaryFile) {
  m_prefix.WriteFile(kPath, "old content");
  ASSERT_TRUE(SetFileAttributesA(kPath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  {
    std::optional<ExclusiveFile> file = ExclusiveFile::Open(kPath);
    ASSERT_TRUE(file);
    std::string bytes;
    EXPECT_EQ(file->ReadAll(&bytes), IoFailure::kNone);
    EXPECT_EQ(bytes, "old content");
    EXPECT_EQ(file->ReplaceContent(std::string("new\r\n\0content", 14)), IoFailure::kNone);
    EXPECT_EQ(file->ReadAll(&bytes), IoFailure::kNone);
    EXPECT_EQ(bytes, std::string("new\r\n\0content", 14));
  }
  EXPECT_EQ(m_prefix.ReadFile(kPath), std::string("new\r\n\0content", 14));
  EXPECT_TRUE(GetFileAttributesA(kPath.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Names(kFolder), std::vector<std::string>{"city.wrl"});
}

TEST_F(ExclusiveFileWinTest, AReadOnlyFileIsAccessDeniedAndKeepsItsContent) {
  m_prefix.WriteFile(kPath, "old");
  std::optional<ExclusiveFile> file = ExclusiveFile::Open(kPath);
  ASSERT_TRUE(file);
  ASSERT_TRUE(SetFileAttributesA(kPath.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(file->ReplaceContent("new"), IoFailure::kAccessDenied);
  file.reset();
  SetFileAttributesA(kPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(m_prefix.ReadFile(kPath), "old");
  EXPECT_EQ(Names(kFolder), std::vector<std::string>{"city.wrl"});
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Another program that opens the file in the moment between reading and
// replacing wins: the file cannot be replaced while it is in use, and the
// new content goes with its temporary file.
TEST_F(ExclusiveFileWinTest, AFileInUseCannotBeReplaced) {
  // The other program is played by a handle that asks for no access: it
  // passes the share check of ours, and Wine (unlike Windows) then holds its
  // share mode, which leaves out deleting, against the replacing move.
  if (!UnderWine()) GTEST_SKIP() << "needs Wine's share check of handles without access";
  m_prefix.WriteFile(kPath, "old");
  std::optional<ExclusiveFile> file = ExclusiveFile::Open(kPath);
  ASSERT_TRUE(file);
  HANDLE self = CreateFileA(kPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(self, INVALID_HANDLE_VALUE);
  EXPECT_EQ(file->ReplaceContent("new"), IoFailure::kAccessDenied);
  CloseHandle(self);
  file.reset();
  EXPECT_EQ(m_prefix.ReadFile(kPath), "old");
  EXPECT_EQ(Names(kFolder), std::vector<std::string>{"city.wrl"});
}

TEST_F(ExclusiveFileWinTest, AFullDiskIsReportedAndLeavesTheFileAlone) {
  const std::string drive = ScratchDrive("QUIETWALK_FULL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no small drive to fill (the emulator could not mount one)";
  const std::string path = drive + "\\full.wrl";
  const std::string old(40 * 1024, 'o');
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(handle, old.data(), static_cast<DWORD>(old.size()), &written, nullptr));
  CloseHandle(handle);

  {
    std::optional<ExclusiveFile> file = ExclusiveFile::Open(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->ReplaceContent(std::string(40 * 1024, 'n')), IoFailure::kDiskFull);
  }
  EXPECT_EQ(Names(drive), std::vector<std::string>{"full.wrl"});
  std::optional<ExclusiveFile> file = ExclusiveFile::Open(path);
  ASSERT_TRUE(file);
  std::string bytes;
  EXPECT_EQ(file->ReadAll(&bytes), IoFailure::kNone);
  EXPECT_EQ(bytes, old);
  file.reset();
  DeleteFileA(path.c_str());
}

TEST_F(ExclusiveFileWinTest, AWriteProtectedDriveIsAccessDenied) {
  const std::string drive = ScratchDrive("QUIETWALK_READONLY_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no read-only drive (the emulator could not mount one)";
  const std::string path = drive + "\\world.wrl";
  {
    std::optional<ExclusiveFile> file = ExclusiveFile::Open(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->ReplaceContent("new"), IoFailure::kAccessDenied);
  }
  EXPECT_EQ(Names(drive), std::vector<std::string>{"world.wrl"});
}

}  // namespace
