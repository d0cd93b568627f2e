#include "platform/paths/wine_path_posix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/platform/host_env_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::FindHostFile;
using platform::HostPath;
using testing_support::kJapaneseLocale;
using testing_support::ScopedLocale;
using testing_support::ScopedWorkingFolder;
using testing_support::TestPrefix;

TEST(FindHostFile, MatchesEveryComponentIgnoringCaseExactFirst) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\ctest\\Foo.txt", "x");
  prefix.WriteFile("C:\\ctest\\Caf\xc3\xa9.txt");
  prefix.WriteFile("C:\\same\\abc.txt");
  prefix.WriteFile("C:\\same\\ABC.txt");
  prefix.WriteFile("C:\\same\\Abc.TXT");

  EXPECT_EQ(HostPath("C:\\ctest\\Foo.txt"), prefix.root() + "/dosdevices/c:/ctest/Foo.txt");
  EXPECT_EQ(HostPath("c:\\CTEST\\FOO.TXT"), prefix.root() + "/dosdevices/c:/ctest/Foo.txt");
  {
    ScopedLocale locale("C");
    EXPECT_EQ(HostPath("C:\\ctest\\CAF\xc9.TXT"), prefix.root() + "/dosdevices/c:/ctest/Caf\xc3\xa9.txt");
  }
  for (const char* name : {"abc.txt", "ABC.txt", "Abc.TXT"})
    EXPECT_EQ(HostPath(std::string("C:\\same\\") + name), prefix.root() + "/dosdevices/c:/same/" + name);
  const std::optional<std::string> folded = HostPath("C:\\same\\aBc.txt");
  ASSERT_TRUE(folded.has_value());
  EXPECT_TRUE(*folded == prefix.root() + "/dosdevices/c:/same/abc.txt" ||
              *folded == prefix.root() + "/dosdevices/c:/same/ABC.txt" ||
              *folded == prefix.root() + "/dosdevices/c:/same/Abc.TXT")
      << *folded;

  EXPECT_FALSE(HostPath("C:\\ctest\\missing.txt").has_value());
  EXPECT_FALSE(HostPath("C:\\nothere\\Foo.txt").has_value());
  EXPECT_FALSE(HostPath("C:\\ctest\\Foo.txt\\x").has_value());
}

TEST(FindHostFile, ReportsWhatStatSays) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\dir\\file.txt");
  std::optional<platform::HostFile> folder = FindHostFile("C:\\DIR");
  ASSERT_TRUE(folder.has_value());
  EXPECT_TRUE(folder->isFolder);
  EXPECT_EQ(folder->path.substr(0, folder->driveFolderLength), prefix.root() + "/dosdevices/c:");
  std::optional<platform::HostFile> file = FindHostFile("C:\\dir\\file.txt");
  ASSERT_TRUE(file.has_value());
  EXPECT_FALSE(file->isFolder);
  EXPECT_NE(file->inode, folder->inode);
  // A final "\" asks for a folder.
  EXPECT_TRUE(FindHostFile("C:\\dir\\").has_value());
  EXPECT_FALSE(FindHostFile("C:\\dir\\file.txt\\").has_value());
}

TEST(FindHostFile, DrivesComeFromDosdevices) {
  TestPrefix prefix;
  const std::string elsewhere = prefix.root() + "/elsewhere";
  fs::create_directories(elsewhere + "/Data");
  fs::create_directory_symlink(elsewhere, prefix.root() + "/dosdevices/d:");
  EXPECT_EQ(HostPath("D:\\DATA"), prefix.root() + "/dosdevices/d:/Data");
  EXPECT_EQ(HostPath("d:\\"), prefix.root() + "/dosdevices/d:");
  EXPECT_FALSE(HostPath("Q:\\").has_value());
  EXPECT_FALSE(HostPath("Q:\\x").has_value());
  // Z: is the host's root.
  prefix.WriteFile("C:\\onz.txt");
  std::string onZ = "Z:" + prefix.HostPath("C:\\onz.txt");
  for (char& c : onZ)
    if (c == '/') c = '\\';
  EXPECT_TRUE(HostPath(onZ).has_value());

  fs::remove(prefix.root() + "/dosdevices/c:");
  EXPECT_FALSE(HostPath("C:\\onz.txt").has_value());
  // Without a dosdevices folder C: is still drive_c.
  fs::remove_all(prefix.root() + "/dosdevices");
  EXPECT_EQ(HostPath("C:\\ONZ.TXT"), prefix.root() + "/drive_c/onz.txt");
  EXPECT_FALSE(HostPath("D:\\Data").has_value());
}

TEST(FindHostFile, RefusesNamesWindowsForbids) {
  TestPrefix prefix;
  for (const char* name : {"q?m", "st*r", "quo\"te", "l<t", "p|pe", "tab\t", "nul.wrl", "Com1", "aux:"}) {
    prefix.WriteFile(std::string("C:\\odd\\") + name);
    EXPECT_FALSE(HostPath(std::string("C:\\odd\\") + name).has_value()) << name;
  }
  // Wine opens these by their names: a colon past the drive is a character
  // like any other, and a folder named like a device is no device.
  for (const char* name : {"a:b.wrl", "x:", "nul\\w.wrl", "com0.wrl", "nulx"}) {
    prefix.WriteFile(std::string("C:\\odd\\") + name);
    EXPECT_TRUE(HostPath(std::string("C:\\odd\\") + name).has_value()) << name;
  }
  EXPECT_FALSE(FindHostFile(u"C:\\..\\..").has_value());
  EXPECT_FALSE(FindHostFile(u"C:\\odd/..").has_value());
  EXPECT_FALSE(FindHostFile(u"\\\\server\\share\\x").has_value());
  EXPECT_FALSE(FindHostFile(std::u16string_view(u"C:\\odd\0x", 8)).has_value());
  EXPECT_FALSE(HostPath("").has_value());
}

TEST(FindHostFile, PathsLongerThanMaxPathAreRefused) {
  TestPrefix prefix;
  // "C:\" + 3 folders of 80 and their separators: 245 characters.
  const std::string folder = "C:\\" + std::string(80, 'a') + "\\" + std::string(80, 'b') + "\\" + std::string(80, 'c');
  prefix.WriteFile(folder + "\\ab.txt");
  prefix.WriteFile(folder + "\\" + std::string(14, 'x'));
  ASSERT_EQ(folder.size(), 245u);
  EXPECT_TRUE(HostPath(folder + "\\ab.txt").has_value());
  EXPECT_TRUE(HostPath(folder + "\\" + std::string(14, 'x')).has_value());  // 260 characters
  prefix.WriteFile(folder + "\\" + std::string(15, 'x'));
  EXPECT_FALSE(HostPath(folder + "\\" + std::string(15, 'x')).has_value());
  EXPECT_TRUE(platform::FullAnsiPath(folder + "\\ab.txt", 8).has_value());
  EXPECT_FALSE(platform::FullAnsiPath(folder + "\\ab.txt", 9).has_value());
}

TEST(FindHostFile, DecodesTheWholePathBeforeSplittingIt) {
  TestPrefix prefix;
  // 表示\ソフト.txt: 表 and ソ end in the byte of "\".
  prefix.WriteFile("C:\\ctest\\\xe8\xa1\xa8\xe7\xa4\xba\\\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88.txt", "sjis");
  const std::string sjisPath = "C:\\ctest\\\x95\x5c\x8e\xa6\\\x83\x5c\x83\x74\x83\x67.txt";
  {
    ScopedLocale locale(kJapaneseLocale);
    EXPECT_EQ(HostPath(sjisPath),
              prefix.root() + "/dosdevices/c:/ctest/\xe8\xa1\xa8\xe7\xa4\xba/\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88.txt");
    // A lead byte with nothing after it is no name at all.
    prefix.WriteFile("C:\\ctest\\\xef\xbf\xbd");
    EXPECT_FALSE(HostPath("C:\\ctest\\\x82").has_value());
  }
  ScopedLocale locale("C");
  EXPECT_FALSE(HostPath(sjisPath).has_value());
}

// Listings of folders left alone for a while are kept between lookups; a
// change to the folder must show at once all the same.
TEST(FindHostFile, LookupsIgnoringCaseSeeEveryChangeToAKeptListing) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\Kept\\Alpha.txt");
  prefix.WriteFile("C:\\Kept\\Sub\\One.txt");
  // Folders changed in the last two seconds are read afresh every time.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  const std::string kept = prefix.root() + "/dosdevices/c:/Kept";

  for (int again = 0; again < 2; ++again) {
    EXPECT_EQ(HostPath("C:\\kept\\alpha.txt"), kept + "/Alpha.txt");
    EXPECT_EQ(HostPath("C:\\KEPT\\sub\\ONE.TXT"), kept + "/Sub/One.txt");
    EXPECT_FALSE(HostPath("C:\\kept\\beta.txt").has_value());
  }
  prefix.WriteFile("C:\\Kept\\BETA.txt");
  EXPECT_EQ(HostPath("C:\\kept\\beta.txt"), kept + "/BETA.txt");
  fs::remove(kept + "/Alpha.txt");
  prefix.WriteFile("C:\\Kept\\ALPHA.TXT");
  EXPECT_EQ(HostPath("C:\\kept\\alpha.txt"), kept + "/ALPHA.TXT");
  // A new folder in the old one's place, maybe with its inode number.
  fs::remove_all(kept + "/Sub");
  prefix.WriteFile("C:\\Kept\\Sub\\Two.txt");
  EXPECT_FALSE(HostPath("C:\\kept\\sub\\one.txt").has_value());
  EXPECT_EQ(HostPath("C:\\kept\\sub\\two.txt"), kept + "/Sub/Two.txt");

  // A whole prefix made again at the same path.
  const std::string& root = prefix.root();
  fs::remove_all(root);
  fs::create_directories(root + "/drive_c/kept");
  fs::create_directories(root + "/dosdevices");
  fs::create_directory_symlink("../drive_c", root + "/dosdevices/c:");
  std::ofstream(root + "/drive_c/kept/Gamma.txt").put('x');
  EXPECT_FALSE(HostPath("C:\\KEPT\\alpha.txt").has_value());
  EXPECT_EQ(HostPath("C:\\KEPT\\gamma.txt"), root + "/dosdevices/c:/kept/Gamma.txt");
}

TEST(CurrentFolder, IsOnTheDeepestDriveHoldingTheWorkingFolder) {
  TestPrefix prefix;
  prefix.MakeFolder("C:\\users\\Me");
  prefix.WriteFile("C:\\world\\in_c.wrl");
  {
    ScopedWorkingFolder inside(prefix.HostPath("C:\\users\\Me"));
    ASSERT_TRUE(inside.changed());
    EXPECT_EQ(platform::CurrentFolder(), u"C:\\users\\Me");
    EXPECT_EQ(HostPath("\\world\\in_c.wrl"), prefix.root() + "/dosdevices/c:/world/in_c.wrl");
    EXPECT_EQ(HostPath("..\\..\\WORLD"), prefix.root() + "/dosdevices/c:/world");
  }
  {
    ScopedWorkingFolder outside(prefix.root());
    ASSERT_TRUE(outside.changed());
    const std::u16string current = platform::CurrentFolder();
    ASSERT_GE(current.size(), 3u);
    EXPECT_EQ(current.substr(0, 3), u"Z:\\");
    EXPECT_FALSE(HostPath("\\world\\in_c.wrl").has_value());
    EXPECT_TRUE(HostPath("drive_c\\world\\in_c.wrl").has_value());
  }
  fs::remove(prefix.root() + "/dosdevices/z:");
  ScopedWorkingFolder outside(prefix.root());
  EXPECT_EQ(platform::CurrentFolder(), u"");
  EXPECT_FALSE(HostPath("\\world\\in_c.wrl").has_value());
  EXPECT_TRUE(HostPath("C:\\world\\in_c.wrl").has_value());
}

}  // namespace
