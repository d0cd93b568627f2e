#include <gtest/gtest.h>

#include <string>

#include "locate/browser_directory.h"
#include "platform/registry/registry.h"
#include "platform/text/code_page.h"
#include "tests/platform/host_env_posix.h"
#include "tests/support/test_prefix.h"

// Cases that depend on the ANSI code page, which on Linux follows the locale
// variables of the process.
namespace {

using testing_support::ScopedLang;
using testing_support::TestPrefix;
using testing_support::Utf16LeBytes;

// The first key as Wine stores it under code page 932 (さぱり), and the same
// bytes read as code page 1252.
constexpr char kHiraganaKey[] = "Software\\Sony\\\xE3\x81\x95\xE3\x81\xB1\xE3\x82\x8A\\Install";
constexpr char kCp1252Key[] = "Software\\Sony\\\xE2\x80\x9A\xC2\xB3\xE2\x80\x9A\xC3\x8F\xE2\x80\x9A\xC3\xA8\\Install";
constexpr char kSecondKey[] = "Software\\Sony\\Community Place Browser\\Install";

TEST(BrowserDirectoryPosixTest, FindsTheHiraganaKeyUnderAJapaneseLocale) {
  TestPrefix prefix;
  prefix.SetRegistryString(kHiraganaKey, "Directory", "C:\\SAPARi\\CPB");
  prefix.SetRegistryString(kSecondKey, "Directory", "C:\\Second");
  ScopedLang lang("ja_JP.UTF-8");
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "ja_JP.UTF-8 is not installed (scripts/setup makes it)";
  EXPECT_EQ(GetBrowserDirectory(), "C:\\SAPARi\\CPB");
}

TEST(BrowserDirectoryPosixTest, TheSameBytesNameAnotherKeyUnderCodePage1252) {
  TestPrefix prefix;
  prefix.SetRegistryString(kHiraganaKey, "Directory", "C:\\Hiragana");
  prefix.SetRegistryString(kSecondKey, "Directory", "C:\\Second");
  ScopedLang lang("C");
  EXPECT_EQ(GetBrowserDirectory(), "C:\\Second");
  prefix.SetRegistryString(kCp1252Key, "Directory", "C:\\Cp1252");
  EXPECT_EQ(GetBrowserDirectory(), "C:\\Cp1252");
}

TEST(BrowserDirectoryPosixTest, AFirstKeyWithoutAUsableValueStopsTheLookup) {
  TestPrefix prefix;
  prefix.SetRegistryString(kSecondKey, "Directory", "C:\\Second");
  prefix.MakeRegistryKey(kHiraganaKey);
  ScopedLang lang("ja_JP.UTF-8");
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "ja_JP.UTF-8 is not installed (scripts/setup makes it)";
  EXPECT_EQ(GetBrowserDirectory(), "") << "a key with no Directory value";
  prefix.SetRegistryValue(kHiraganaKey, "Directory", platform::kRegExpandSz, Utf16LeBytes("C:\\Expand"));
  EXPECT_EQ(GetBrowserDirectory(), "") << "an expandable string";
  prefix.SetRegistryString(kHiraganaKey, "Directory", "C:\\" + std::string(253, 'x'));
  EXPECT_EQ(GetBrowserDirectory(), "") << "a string too long for the buffer";
}

TEST(BrowserDirectoryPosixTest, DoubleByteTextCountsInBytes) {
  TestPrefix prefix;
  // 127 two-byte characters and a backslash make 255 bytes of code page 932.
  std::string text = "\\";
  for (int i = 0; i < 127; ++i) text += "\xE8\xA1\xA8";  // \x8868, 95 5C
  prefix.SetRegistryString(kSecondKey, "Directory", text);
  ScopedLang lang("ja_JP.UTF-8");
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "ja_JP.UTF-8 is not installed (scripts/setup makes it)";
  std::string expected = "\\";
  for (int i = 0; i < 127; ++i) expected += "\x95\x5C";
  EXPECT_EQ(GetBrowserDirectory(), expected);
  prefix.SetRegistryString(kSecondKey, "Directory", text + "\xE8\xA1\xA8");
  EXPECT_EQ(GetBrowserDirectory(), "");
}

TEST(BrowserDirectoryPosixTest, AHandEditedUserRegIsSeenAtOnce) {
  TestPrefix prefix;
  const std::string header = "WINE REGISTRY Version 2\n\n[Software\\\\Sony\\\\Community Place Browser\\\\Install]\n";
  prefix.WriteUserReg(header + "\"Directory\"=\"C:\\\\One\"\n");
  EXPECT_EQ(GetBrowserDirectory(), "C:\\One");
  prefix.WriteUserReg(header + "\"Directory\"=\"C:\\\\Two\"\n");
  EXPECT_EQ(GetBrowserDirectory(), "C:\\Two");
  prefix.WriteUserReg("WINE REGISTRY Version 2\n[Software\\\\Sony\\\\Community Place Browser\\\\Install");
  EXPECT_EQ(GetBrowserDirectory(), "") << "a truncated file";
}

}  // namespace
