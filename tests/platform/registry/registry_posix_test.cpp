#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "tests/platform/host_env_posix.h"
#include "tests/support/test_prefix.h"

namespace {

using platform::OpenCurrentUserKey;
using platform::QueryValue;
using testing_support::ScopedLang;
using testing_support::TestPrefix;
using testing_support::Utf16LeBytes;

constexpr char kKey[] = "Software\\WineTest";

using Kind = platform::IoErrorKind;

struct Query {
  std::optional<Kind> error;  // none: the call succeeded
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<unsigned char> buffer;
};

// QueryValue into a buffer of `capacity` bytes pre-filled with 0xEE.
Query Ask(const char* key, const char* name, std::uint32_t capacity) {
  platform::IoResult<platform::RegistryKey> opened = OpenCurrentUserKey(key);
  if (!opened) return {opened.error().kind, 0, 0, {}};
  Query query{std::nullopt, 0, 0, std::vector<unsigned char>(capacity + 1, 0xEE)};
  const platform::IoResult<platform::RegistryValueInfo> value =
      QueryValue(*opened, name, query.buffer.data(), capacity);
  if (value) {
    query.type = value->type;
    query.size = value->size;
  } else {
    query.error = value.error().kind;
  }
  return query;
}

std::vector<unsigned char> Text(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<unsigned char> Filled(std::size_t count) { return std::vector<unsigned char>(count, 0xEE); }

TEST(RegistryPosixTest, OpensKeysAsRegOpenKeyExDoes) {
  TestPrefix prefix;
  prefix.SetRegistryString("Software\\WineTest\\MixedCase", "v", "x");
  prefix.SetRegistryString("Software\\WineTest\\Slash/Name", "v", "x");
  prefix.MakeRegistryKey("Software\\WineTest\\Empty");
  for (const char* name :
       {"Software\\WineTest\\MixedCase", "SOFTWARE\\WINETEST\\mixedcase", "Software\\\\WineTest",
        "Software\\WineTest\\", "Software\\WineTest\\Slash/Name", "Software\\WineTest\\Empty", "Software", ""})
    EXPECT_TRUE(OpenCurrentUserKey(name)) << name;
  for (const char* name : {"\\Software\\WineTest", "Software/WineTest", "Software\\WineTest\\Missing",
                           "Software\\WineTest\\MixedCase ", "Software\\WineTest\\MixedCase\\v"})
    EXPECT_FALSE(OpenCurrentUserKey(name)) << name;
  EXPECT_FALSE(OpenCurrentUserKey(std::string_view("Software\0WineTest", 17))) << "an embedded zero";
}

TEST(RegistryPosixTest, QueriesStringsWithWin32BufferRules) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "S255", std::string(255, 'a'));
  prefix.SetRegistryString(kKey, "S256", std::string(256, 'b'));
  prefix.SetRegistryString(kKey, "Short", "abc");
  prefix.SetRegistryString(kKey, "", "default");

  Query fits = Ask(kKey, "S255", 256);
  EXPECT_EQ(fits.error, std::nullopt);
  EXPECT_EQ(fits.type, platform::kRegSz);
  EXPECT_EQ(fits.size, 256u);
  EXPECT_EQ(std::vector<unsigned char>(fits.buffer.begin(), fits.buffer.begin() + 256),
            Text(std::string(255, 'a') + '\0'));

  for (std::uint32_t capacity : {256u, 100u, 0u}) {
    Query tooLong = Ask(kKey, "S256", capacity);
    EXPECT_EQ(tooLong.error, Kind::kTooLarge) << capacity;
    EXPECT_EQ(tooLong.buffer, Filled(capacity + 1)) << "buffer touched at capacity " << capacity;
  }

  Query exact = Ask(kKey, "SHORT", 4);
  EXPECT_EQ(exact.error, std::nullopt);
  EXPECT_EQ(exact.buffer, Text(std::string("abc\0\xEE", 5)));

  Query byDefault = Ask(kKey, "", 16);
  EXPECT_EQ(byDefault.error, std::nullopt);
  EXPECT_EQ(byDefault.size, 8u);

  platform::IoResult<platform::RegistryKey> key = OpenCurrentUserKey(kKey);
  ASSERT_TRUE(key);
  const platform::IoResult<platform::RegistryValueInfo> sizeOnly = QueryValue(*key, "S256", nullptr, 0);
  ASSERT_TRUE(sizeOnly);
  EXPECT_EQ(sizeOnly->size, 257u);
  EXPECT_EQ(sizeOnly->type, platform::kRegSz);
}

TEST(RegistryPosixTest, ReportsMissingValues) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "Present", "x");
  Query missing = Ask(kKey, "Absent", 16);
  EXPECT_EQ(missing.error, Kind::kNotFound);
  EXPECT_EQ(missing.buffer, Filled(17));
  EXPECT_EQ(Ask(kKey, "", 16).error, Kind::kNotFound);

  platform::IoResult<platform::RegistryKey> key = OpenCurrentUserKey(kKey);
  ASSERT_TRUE(key);
  const platform::IoResult<platform::RegistryValueInfo> sizeOnly = QueryValue(*key, "Absent", nullptr, 0);
  ASSERT_FALSE(sizeOnly);
  EXPECT_EQ(sizeOnly.error().kind, Kind::kNotFound);
  EXPECT_EQ(sizeOnly.error().path, std::string(kKey) + "\\Absent") << "the error names key and value";
}

TEST(RegistryPosixTest, QueriesOtherFormsAsStored) {
  TestPrefix prefix;
  prefix.SetRegistryValue(kKey, "NoNul", platform::kRegSz, Utf16LeBytes("AB", false));
  prefix.SetRegistryValue(kKey, "EmptyData", platform::kRegSz, {});
  prefix.SetRegistryValue(kKey, "Odd", platform::kRegSz, {'A', 0, 'B'});
  prefix.SetRegistryValue(kKey, "Expand", platform::kRegExpandSz, Utf16LeBytes("%SystemRoot%\\x"));
  prefix.SetRegistryValue(kKey, "Multi", platform::kRegMultiSz, Utf16LeBytes(std::string("one\0two\0", 8)));
  prefix.SetRegistryValue(kKey, "Dword", platform::kRegDword, {0x78, 0x56, 0x34, 0x12});
  prefix.SetRegistryValue(kKey, "Dword3", platform::kRegDword, {0x78, 0x56, 0x34});
  std::vector<std::uint8_t> binary(100);
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<std::uint8_t>(i * 7);
  prefix.SetRegistryValue(kKey, "Binary", platform::kRegBinary, binary);

  // A string stored without its zero gets one when there is room, not otherwise.
  Query roomy = Ask(kKey, "NoNul", 8);
  EXPECT_EQ(roomy.error, std::nullopt);
  EXPECT_EQ(roomy.size, 2u);
  EXPECT_EQ(std::vector<unsigned char>(roomy.buffer.begin(), roomy.buffer.begin() + 4),
            Text(std::string("AB\0\xEE", 4)));
  Query tight = Ask(kKey, "NoNul", 2);
  EXPECT_EQ(tight.error, std::nullopt);
  EXPECT_EQ(tight.buffer, Text("AB\xEE"));

  Query empty = Ask(kKey, "EmptyData", 4);
  EXPECT_EQ(empty.error, std::nullopt);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.buffer, Filled(5));

  Query odd = Ask(kKey, "Odd", 4);  // the odd last byte is not a whole unit
  EXPECT_EQ(odd.size, 1u);
  EXPECT_EQ(odd.buffer[0], 'A');

  Query expand = Ask(kKey, "Expand", 64);
  EXPECT_EQ(expand.type, platform::kRegExpandSz);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(expand.buffer.data())), "%SystemRoot%\\x");

  Query multi = Ask(kKey, "Multi", 64);
  EXPECT_EQ(multi.type, platform::kRegMultiSz);
  EXPECT_EQ(multi.size, 9u);
  EXPECT_EQ(std::vector<unsigned char>(multi.buffer.begin(), multi.buffer.begin() + 9),
            Text(std::string("one\0two\0\0", 9)));

  Query dword = Ask(kKey, "Dword", 4);
  EXPECT_EQ(dword.type, platform::kRegDword);
  EXPECT_EQ(dword.size, 4u);
  EXPECT_EQ(dword.buffer, (std::vector<unsigned char>{0x78, 0x56, 0x34, 0x12, 0xEE}));
  Query dword3 = Ask(kKey, "Dword3", 4);
  EXPECT_EQ(dword3.type, platform::kRegDword);
  EXPECT_EQ(dword3.size, 3u);

  Query whole = Ask(kKey, "Binary", 100);
  EXPECT_EQ(whole.error, std::nullopt);
  EXPECT_EQ(std::vector<unsigned char>(whole.buffer.begin(), whole.buffer.end() - 1),
            std::vector<unsigned char>(binary.begin(), binary.end()));
  Query cut = Ask(kKey, "Binary", 99);
  EXPECT_EQ(cut.error, Kind::kTooLarge);
  EXPECT_EQ(cut.buffer, Filled(100));
}

TEST(RegistryPosixTest, ConvertsNamesAndTextWithTheAnsiCodePage) {
  TestPrefix prefix;
  prefix.SetRegistryString("Software\\Caf\xC3\xA9 A",
                           "Latin\xC3\xA9"
                           "F",
                           "caf\xC3\xA9 A\xE4\xB8\xAD"
                           "B");
  ScopedLang lang("C");  // code page 1252
  EXPECT_TRUE(OpenCurrentUserKey("SOFTWARE\\CAF\xC9 A"));
  Query text = Ask("Software\\caf\xE9 a",
                   "LATIN\xC9"
                   "F",
                   64);
  EXPECT_EQ(text.error, std::nullopt);
  EXPECT_EQ(text.size, 9u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.buffer.data())), "caf\xE9 A?B");
}

TEST(RegistryPosixTest, ReadsShiftJisNamesUnderAJapaneseLocale) {
  TestPrefix prefix;
  // \x3055\x3071\x308a and \x65e5\x672c, as a Japanese Wine writes them.
  prefix.SetRegistryString("Software\\SjisTestJ\\\xE3\x81\x95\xE3\x81\xB1\xE3\x82\x8A", "\xE3\x81\x95",
                           "\xE3\x81\x95\xE3\x81\xB1\xE3\x82\x8A \xE6\x97\xA5\xE6\x9C\xAC");
  ScopedLang lang("ja_JP.UTF-8");
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "ja_JP.UTF-8 is not installed (scripts/setup makes it)";
  Query text = Ask("Software\\SjisTestJ\\\x82\xB3\x82\xCF\x82\xE8", "\x82\xB3", 64);
  EXPECT_EQ(text.error, std::nullopt);
  EXPECT_EQ(text.size, 12u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.buffer.data())),
            "\x82\xB3\x82\xCF\x82\xE8 \x93\xFA\x96\x7B");
}

TEST(RegistryPosixTest, DecodesTheWholeNameBeforeSplittingIt) {
  TestPrefix prefix;
  prefix.MakeRegistryKey("Software\\\xE8\xA1\xA8\xE7\xA4\xBA");  // \x8868\x793a
  ScopedLang lang("ja_JP.UTF-8");
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "ja_JP.UTF-8 is not installed (scripts/setup makes it)";
  // In code page 932 the first character is 95 5C: its trail byte is no separator.
  EXPECT_TRUE(OpenCurrentUserKey("Software\\\x95\x5C\x8E\xA6"));
}

// Why a key does not open: the error names the key asked for, with the
// reason user.reg could not be read.
Kind WhyNot(const char* key) {
  platform::IoResult<platform::RegistryKey> opened = OpenCurrentUserKey(key);
  if (opened) return Kind::kOther;
  EXPECT_EQ(opened.error().path, key);
  return opened.error().kind;
}

TEST(RegistryPosixTest, MissingOrBrokenUserRegHoldsNoKeys) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "V", "x");
  ASSERT_TRUE(OpenCurrentUserKey(kKey));
  const std::string userReg = prefix.root() + "/user.reg";

  std::filesystem::remove(userReg);
  EXPECT_EQ(WhyNot(kKey), Kind::kNotFound) << "missing";
  EXPECT_TRUE(OpenCurrentUserKey("")) << "the hive's root is always there";

  std::filesystem::create_directory(userReg);
  EXPECT_EQ(WhyNot(kKey), Kind::kNotAFile) << "a folder";
  std::filesystem::remove(userReg);

  ASSERT_EQ(mkfifo(userReg.c_str(), 0600), 0);
  EXPECT_EQ(WhyNot(kKey), Kind::kNotAFile) << "a FIFO (must not block)";
  std::filesystem::remove(userReg);

  std::filesystem::create_symlink(prefix.root() + "/nowhere.reg", userReg);
  EXPECT_EQ(WhyNot(kKey), Kind::kNotFound) << "a dangling link";
  std::filesystem::remove(userReg);

  for (const char* bytes : {"", "WINE REG", "\x89PNG\r\n\x1a\n[Software\\\\WineTest]\n"}) {
    prefix.WriteUserReg(bytes);
    EXPECT_EQ(WhyNot(kKey), Kind::kNotFound) << bytes;
  }

  platform::UseWinePrefix({});
  EXPECT_EQ(WhyNot(kKey), Kind::kNotFound) << "no prefix in use";
}

TEST(RegistryPosixTest, UnreadableUserRegHoldsNoKeys) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "V", "x");
  const std::string userReg = prefix.root() + "/user.reg";
  ASSERT_EQ(chmod(userReg.c_str(), 0), 0);
  if (access(userReg.c_str(), R_OK) != 0) {
    EXPECT_EQ(WhyNot(kKey), Kind::kAccessDenied);
    return;
  }
  if (geteuid() != 0) GTEST_SKIP() << "this user reads files without read permission";
  // Root reads anything: ask as an unprivileged user, in a child process.
  ASSERT_EQ(chmod(prefix.root().c_str(), 0755), 0);
  EXPECT_EXIT(
      {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        if (access(userReg.c_str(), R_OK) == 0) _exit(3);
        platform::IoResult<platform::RegistryKey> key = OpenCurrentUserKey(kKey);
        _exit(key ? 1 : key.error().kind == Kind::kAccessDenied ? 0 : 4);
      },
      testing::ExitedWithCode(0), "");
}

TEST(RegistryPosixTest, FindsTheHiveThroughALink) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "V", "x");
  const std::string userReg = prefix.root() + "/user.reg";
  std::filesystem::rename(userReg, prefix.root() + "/real.reg");
  std::filesystem::create_symlink("real.reg", userReg);
  EXPECT_TRUE(OpenCurrentUserKey(kKey));
}

TEST(RegistryPosixTest, SeesAnEditedUserRegAtOnce) {
  TestPrefix prefix;
  prefix.SetRegistryString(kKey, "V", "first");
  EXPECT_EQ(Ask(kKey, "V", 16).buffer[0], 'f');
  platform::IoResult<platform::RegistryKey> before = OpenCurrentUserKey(kKey);
  ASSERT_TRUE(before);

  // Renamed over, as Wine saves it.
  prefix.SetRegistryString(kKey, "V", "again");
  EXPECT_EQ(Ask(kKey, "V", 16).buffer[0], 'a');

  // Rewritten in place at the same size, most likely within one timestamp
  // tick, and then once more with the same bytes.
  const std::string userReg = prefix.root() + "/user.reg";
  std::ostringstream read;
  read << std::ifstream(userReg, std::ios::binary).rdbuf();
  std::string text = read.str();
  std::size_t at = text.find("\"again\"");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 7, "\"other\"");
  for (int pass = 0; pass < 2; ++pass) {
    std::ofstream(userReg, std::ios::binary | std::ios::trunc) << text;
    EXPECT_EQ(Ask(kKey, "V", 16).buffer[0], 'o') << pass;
  }

  // A key opened earlier still reads the hive it was opened in.
  unsigned char buffer[16] = {};
  ASSERT_TRUE(QueryValue(*before, "V", buffer, sizeof buffer));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer)), "first");
}

}  // namespace
