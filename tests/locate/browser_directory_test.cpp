#include "locate/browser_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry/registry.h"
#include "tests/support/test_prefix.h"

namespace {

using testing_support::TestPrefix;
using testing_support::Utf16LeBytes;

constexpr char kSonyFolder[] = "C:\\Sony\\Community Place Browser";
constexpr char kProgramFilesFolder[] = "C:\\Program Files\\Sony\\Community Place Browser";
constexpr char kSecondKey[] = "Software\\Sony\\Community Place Browser\\Install";
constexpr char kThirdKey[] = "Software\\Sony Corporation\\Community Place Browser\\Install";

TEST(BrowserDirectoryTest, NothingInstalledGivesEmpty) {
  TestPrefix prefix;
  EXPECT_EQ(GetBrowserDirectory(), "");
}

TEST(BrowserDirectoryTest, FixedPathsComeFirstInTheirOrder) {
  TestPrefix prefix;
  prefix.SetRegistryString(kSecondKey, "Directory", "D:\\FromRegistry");
  prefix.WriteFile(std::string(kProgramFilesFolder) + "\\bin\\cpbrowse.exe", "MZ");
  EXPECT_EQ(GetBrowserDirectory(), kProgramFilesFolder);
  prefix.WriteFile(std::string(kSonyFolder) + "\\bin\\cpbrowse.exe", "MZ");
  EXPECT_EQ(GetBrowserDirectory(), kSonyFolder);
}

TEST(BrowserDirectoryTest, AnythingNamedLikeTheProgramCounts) {
  TestPrefix prefix;
  prefix.MakeFolder(std::string(kSonyFolder) + "\\bin\\cpbrowse.exe");
  EXPECT_EQ(GetBrowserDirectory(), kSonyFolder);
}

TEST(BrowserDirectoryTest, TheProgramIsFoundIgnoringCase) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\Program Files\\SONY\\community place browser\\BIN\\CPBROWSE.EXE", "MZ");
  // The answer is the fixed spelling, not the one on disk.
  EXPECT_EQ(GetBrowserDirectory(), kProgramFilesFolder);
}

TEST(BrowserDirectoryTest, ReadsTheDirectoryFromTheRegistry) {
  TestPrefix prefix;
  prefix.SetRegistryString(kThirdKey, "Directory", "D:\\Third");
  EXPECT_EQ(GetBrowserDirectory(), "D:\\Third");
  prefix.SetRegistryString(kSecondKey, "Directory", "D:\\Second");
  EXPECT_EQ(GetBrowserDirectory(), "D:\\Second") << "an edit is seen at the next call";
  prefix.SetRegistryString(kSecondKey, "Directory", "D:\\Edited");
  EXPECT_EQ(GetBrowserDirectory(), "D:\\Edited");
}

TEST(BrowserDirectoryTest, TakesTheValueAsStored) {
  TestPrefix prefix;
  // No trimming and no test that the folder exists; the trailing backslash stays.
  prefix.SetRegistryString(kSecondKey, "Directory", " E:\\Not There\\ ");
  EXPECT_EQ(GetBrowserDirectory(), " E:\\Not There\\ ");
  prefix.SetRegistryString(kSecondKey, "Directory", "C:\\CPB\\");
  EXPECT_EQ(GetBrowserDirectory(), "C:\\CPB\\");
  prefix.SetRegistryString(kSecondKey, "Directory", "");
  EXPECT_EQ(GetBrowserDirectory(), "");
}

TEST(BrowserDirectoryTest, AcceptsValuesThatFitTheBuffer) {
  TestPrefix prefix;
  const std::string longest = "C:\\" + std::string(252, 'd');  // 255 characters and the zero
  prefix.SetRegistryString(kSecondKey, "Directory", longest);
  EXPECT_EQ(GetBrowserDirectory(), longest);
  prefix.SetRegistryString(kSecondKey, "Directory", longest + "d");
  EXPECT_EQ(GetBrowserDirectory(), "") << "256 characters leave no room for the zero";
  // Stored without a zero, 256 characters fill the buffer exactly.
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegSz, Utf16LeBytes(longest + "d", false));
  EXPECT_EQ(GetBrowserDirectory(), longest + "d");
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegSz, {});
  EXPECT_EQ(GetBrowserDirectory(), "");
}

TEST(BrowserDirectoryTest, OnlyAPlainStringIsAnAnswer) {
  TestPrefix prefix;
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegExpandSz, Utf16LeBytes("C:\\CPB"));
  EXPECT_EQ(GetBrowserDirectory(), "");
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegMultiSz, Utf16LeBytes(std::string("C:\\CPB\0", 7)));
  EXPECT_EQ(GetBrowserDirectory(), "");
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegBinary, {'C', ':', '\\', 0});
  EXPECT_EQ(GetBrowserDirectory(), "");
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegDword, {1, 0, 0, 0});
  EXPECT_EQ(GetBrowserDirectory(), "");
}

TEST(BrowserDirectoryTest, TheFirstKeyThatOpensDecides) {
  TestPrefix prefix;
  prefix.SetRegistryString(kThirdKey, "Directory", "D:\\Third");
  prefix.SetRegistryString(kSecondKey, "Other", "x");
  EXPECT_EQ(GetBrowserDirectory(), "");
  prefix.SetRegistryValue(kSecondKey, "Directory", platform::kRegExpandSz, Utf16LeBytes("D:\\Second"));
  EXPECT_EQ(GetBrowserDirectory(), "");
}

}  // namespace
