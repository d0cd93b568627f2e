#include "patch/world_patcher.h"

#include <gtest/gtest.h>

#include <string>

#include "patch/gzip_codec.h"
#include "patch/world_text.h"
#include "tests/support/test_prefix.h"

namespace {

const std::string kPath = "C:\\world\\city\\city.wrl";
const std::string kDeclared = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [\n  field SFBool collisionSound TRUE\n] {}\n";

class WorldPatcherTest : public testing::Test {
 protected:
  void SetUp() override { g_filesWritten = 0; }
  testing_support::TestPrefix m_prefix;
};

TEST_F(WorldPatcherTest, RewritesOnlyWhatChangesAndCountsEachRewrite) {
  m_prefix.WriteFile(kPath, kDeclared);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath),
            "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound FALSE\r\n] {}\r\n");
  EXPECT_EQ(g_filesWritten, 1);

  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(g_filesWritten, 1);

  EXPECT_EQ(PatchWorldFile(kPath, 1), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath),
            "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound TRUE\r\n] {}\r\n");
  EXPECT_EQ(g_filesWritten, 2);
}

TEST_F(WorldPatcherTest, InsertsTheBlockAndKeepsUnchangedFilesByteForByte) {
  const std::string bare = "#VRML V2.0 utf8\nShape {}\n";
  m_prefix.WriteFile(kPath, bare);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), PatchWorldText(bare, 0).value());
  EXPECT_EQ(g_filesWritten, 1);

  // Declared and nothing to replace: LF line ends stay as they are.
  const std::string quiet = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [ field SFBool collisionSound FALSE ] {}\n";
  m_prefix.WriteFile(kPath, quiet);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), quiet);

  m_prefix.WriteFile(kPath, "");
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), "");
  EXPECT_EQ(g_filesWritten, 1);
}

TEST_F(WorldPatcherTest, FindsTheFileWhateverTheCaseOfThePath) {
  m_prefix.WriteFile(kPath, kDeclared);
  EXPECT_EQ(PatchWorldFile("C:\\WORLD\\City\\CITY.WRL", 0), kPatchDone);
  EXPECT_EQ(g_filesWritten, 1);
}

TEST_F(WorldPatcherTest, ReportsPathsThatAreNotFiles) {
  EXPECT_EQ(PatchWorldFile(kPath, 0), kFileMissing);
  EXPECT_EQ(PatchWorldFile("C:\\no such folder\\x.wrl", 0), kFileMissing);
  m_prefix.MakeFolder("C:\\world\\folder.wrl");
  EXPECT_EQ(PatchWorldFile("C:\\world\\folder.wrl", 0), kOpenFailed);
  EXPECT_EQ(g_filesWritten, 0);
}

TEST_F(WorldPatcherTest, PatchesCompressedWorldsAndKeepsThemCompressed) {
  const std::string packed = Gzip(kDeclared);
  m_prefix.WriteFile(kPath, packed);
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  std::string rewritten = m_prefix.ReadFile(kPath);
  EXPECT_TRUE(IsGzipped(rewritten));
  EXPECT_EQ(Gunzip(rewritten), PatchWorldText(kDeclared, 0));
  EXPECT_EQ(PatchWorldFile(kPath, 0), kPatchDone);
  EXPECT_EQ(m_prefix.ReadFile(kPath), rewritten);
  EXPECT_EQ(g_filesWritten, 1);
}

TEST_F(WorldPatcherTest, LeavesUnreadableGzipUntouched) {
  const std::string packed = Gzip(kDeclared);
  std::string badCrc = packed;
  badCrc[badCrc.size() - 6] ^= 0x40;
  // 17 members of 16 MiB inflate past the 256 MiB limit; the file is small.
  const std::string slice = Gzip(std::string(std::size_t{16} << 20, ' '));
  std::string bomb;
  for (int i = 0; i < 17; ++i) bomb += slice;
  for (const std::string& bytes : {packed.substr(0, packed.size() - 3), badCrc, packed + "trailing", bomb}) {
    m_prefix.WriteFile(kPath, bytes);
    EXPECT_EQ(PatchWorldFile(kPath, 0), kOpenFailed);
    EXPECT_EQ(m_prefix.ReadFile(kPath), bytes);
  }
  EXPECT_EQ(g_filesWritten, 0);
}

}  // namespace
