#include "platform/registry/user_reg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using platform::ParseUserReg;
using platform::UserRegHive;
using platform::UserRegValue;
using Bytes = std::vector<std::uint8_t>;

constexpr char kHeader[] = "WINE REGISTRY Version 2\n";

// UTF-16LE bytes of `text` plus the zero unit a quoted string carries.
Bytes StringData(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// A string literal with its embedded NUL bytes.
template <std::size_t N>
std::string WithNuls(const char (&text)[N]) {
  return std::string(text, N - 1);
}

const UserRegValue* FindValue(const UserRegHive& hive, std::u16string_view key, std::u16string_view name) {
  const platform::UserRegKey* found = hive.FindKey(key);
  return found ? found->FindValue(name) : nullptr;
}

// Parses one value line inside a section and returns the value named "V" (or
// the default value for "@" lines).
struct ValueCase {
  const char* line;
  std::uint32_t type;
  Bytes data;
};

void ExpectValue(const ValueCase& c) {
  std::string text = std::string(kHeader) + "\n[Key] 1796706751\n#time=1dd86d2b9e8a3ea\n" + c.line + "\n";
  auto hive = ParseUserReg(text);
  const UserRegValue* value = FindValue(*hive, u"Key", c.line[0] == '@' ? u"" : u"V");
  ASSERT_NE(value, nullptr) << c.line;
  EXPECT_EQ(value->type, c.type) << c.line;
  EXPECT_EQ(value->data, c.data) << c.line;
}

TEST(UserRegTest, ReadsEveryValueForm) {
  const ValueCase cases[] = {
      {R"("V"="plain text")", 1, StringData(u"plain text")},
      {R"("V"="")", 1, StringData(u"")},
      {R"("V"=str:"x")", 1, StringData(u"x")},
      {R"("V"=str(2):"%SystemRoot%\\x")", 2, StringData(u"%SystemRoot%\\x")},
      {R"("V"=str(7):"one\0two\0three\0")", 7, StringData(std::u16string(u"one\0two\0three\0", 14))},
      {R"(@="the default")", 1, StringData(u"the default")},
      {R"(@ = "spaced")", 1, StringData(u"spaced")},
      {"\"V\" \t= \t\"spaced\"", 1, StringData(u"spaced")},
      {R"("V"="text" and then junk)", 1, StringData(u"text")},
      {R"("V"=hex(1):41,00,42,00)", 1, {0x41, 0, 0x42, 0}},
      {R"("V"=hex(1):)", 1, {}},
      {R"("V"=hex(2):25,00)", 2, {0x25, 0}},
      {R"("V"=hex:00,01,7f,80,ff)", 3, {0, 1, 0x7F, 0x80, 0xFF}},
      {R"("V"=hex:AB,Cd,eF)", 3, {0xAB, 0xCD, 0xEF}},
      {R"("V"=hex:0,1 , 2)", 3, {0, 1, 2}},
      {R"("V"=hex:)", 3, {}},
      {R"("V"=hex:   )", 3, {}},
      {R"("V"=dword:12345678)", 4, {0x78, 0x56, 0x34, 0x12}},
      {R"("V"=dword:1)", 4, {1, 0, 0, 0}},
      {R"("V"=dword:FFFFFFFF)", 4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {R"("V"=dword:)", 4, {0, 0, 0, 0}},
      {R"("V"=hex(4):78,56,34)", 4, {0x78, 0x56, 0x34}},
      {R"("V"=hex(0):)", 0, {}},
      {R"("V"=hex(5):00,00,00,01)", 5, {0, 0, 0, 1}},
      {R"("V"=hex(6):5c,00,52,00)", 6, {0x5C, 0, 0x52, 0}},
      {R"("V"=hex(b):01,00,00,00,00,00,00,00)", 0xB, {1, 0, 0, 0, 0, 0, 0, 0}},
      {R"("V"=hex(99):01)", 0x99, {1}},
      {R"("V"=hex(B):01)", 0xB, {1}},
      // Data that cannot be read leaves the value with no type and no data.
      {R"("V"="unterminated)", 0, {}},
      {R"("V"=str(2):"unterminated)", 0, {}},
      {R"("V"=HEX:00)", 0, {}},
      {R"("V"=hex(1g):00)", 0, {}},
      {R"("V"=hex(1)00)", 0, {}},
      {R"("V"=hex:100)", 0, {}},
      {R"("V"=hex:00,01 junk)", 0, {}},
      {R"("V"=bogus)", 0, {}},
      {R"("V"=)", 0, {}},
  };
  for (const ValueCase& c : cases) ExpectValue(c);
}

TEST(UserRegTest, DecodesEveryEscape) {
  struct EscapeCase {
    const char* escaped;
    std::u16string text;
  };
  const EscapeCase cases[] = {
      {R"(back\\slash)", u"back\\slash"},
      {R"(\"quoted\")", u"\"quoted\""},
      {R"(\a\b\t\n\v\f\r\e)", u"\a\b\t\n\v\f\r\x1b"},
      {R"(nul\0end)", std::u16string(u"nul\0end", 7)},
      {R"(one\0017)",
       u"one\x01"
       u"7"},
      {R"(\1\37\2z)", u"\x01\x1f\x02z"},
      {R"(\777\8)",
       u"\x1ff"
       u"8"},
      {R"(\x41BC)", u"\x41BC"},
      {R"(\x0041BC)", u"ABC"},
      {R"(caf\xe9 \x00e9a \xe9g \x00a91 \x20ac)", u"caf\u00e9 \u00e9a \u00e9g \u00a91 \u20ac"},
      {R"(\x100\x3055\x4e2d)", u"\u0100\u3055\u4e2d"},
      {R"(\xd83d\xde00 \xd800)", u"\xd83d\xde00 \xd800"},
      {R"(\xg \x)", u"xg x"},
      {R"(\q\[\]\/)", u"q[]/"},
      {R"([br] del)", u"[br] del"},
      {"raw del \x7f", u"raw del \x7f"},
      // Raw bytes above 0x7F are read as UTF-8; a broken sequence is dropped.
      {"caf\xc3\xa9", u"caf\u00e9"},
      {"emoji \xf0\x9f\x98\x80", u"emoji \xd83d\xde00"},
      {"bad \xff\xc0\xaf|\xe6\x97|\x80", u"bad ||"},
  };
  for (const EscapeCase& c : cases) {
    std::string text = std::string(kHeader) + "[Key]\n\"V\"=\"" + c.escaped + "\"\n";
    auto hive = ParseUserReg(text);
    const UserRegValue* value = FindValue(*hive, u"Key", u"V");
    ASSERT_NE(value, nullptr) << c.escaped;
    EXPECT_EQ(value->data, StringData(c.text)) << c.escaped;
  }
}

TEST(UserRegTest, ReadsKeyPathsAndValueNames) {
  auto hive = ParseUserReg(std::string(kHeader) +
                           "[Software\\\\WineTest\\\\Br\\[ack\\]et] 1796706751\n\"a\"=\"1\"\n"
                           "[Software\\\\WineTest\\\\Quote\"Key]\n\"b\"=\"2\"\n"
                           "[Software\\\\WineTest\\\\Caf\\x00e9A]\n\"c\"=\"3\"\n"
                           "[Software\\\\\\\\Doubled\\\\] 1796706751\n\"d\"=\"4\"\n"
                           "[\\\\Leading]\n\"e\"=\"5\"\n"
                           "[Software\\\\WineTest]\n"
                           "\"Esc \\\"Name\\\" \\\\ back\"=\"6\"\n"
                           "\"Wide\\x4e2d\"=\"7\"\n"
                           "[]\n\"AtRoot\"=\"8\"\n");
  EXPECT_NE(FindValue(*hive, u"Software\\WineTest\\Br[ack]et", u"a"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Software\\WineTest\\Quote\"Key", u"b"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Software\\WineTest\\Caf\u00e9A", u"c"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Software\\Doubled", u"d"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Leading", u"e"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Software\\WineTest", u"Esc \"Name\" \\ back"), nullptr);
  EXPECT_NE(FindValue(*hive, u"Software\\WineTest", u"Wide\u4e2d"), nullptr);
  EXPECT_NE(FindValue(*hive, u"", u"AtRoot"), nullptr);
  // Parents that got no section of their own exist.
  ASSERT_NE(hive->FindKey(u"Software"), nullptr);
  EXPECT_EQ(hive->FindKey(u"Software")->subKeyCount(), 2u);
  EXPECT_EQ(hive->FindKey(u"Software\\WineTest")->subKeyCount(), 3u);
}

TEST(UserRegTest, FindsKeysAsTheRegistryCallsDo) {
  auto hive = ParseUserReg(std::string(kHeader) +
                           "[Software\\\\WineTest\\\\MixedCase]\n"
                           "[Software\\\\WineTest\\\\Space End]\n"
                           "[Software\\\\WineTest\\\\Slash/Name]\n"
                           "[Software\\\\WineTest\\\\Caf\\xe9 A]\n");
  EXPECT_NE(hive->FindKey(u"SOFTWARE\\WINETEST\\mixedcase"), nullptr);
  EXPECT_NE(hive->FindKey(u"software\\\\winetest\\\\MixedCase\\\\"), nullptr);
  EXPECT_NE(hive->FindKey(u"Software\\WineTest\\Slash/Name"), nullptr);
  EXPECT_NE(hive->FindKey(u"Software\\WineTest\\CAF\u00c9 A"), nullptr);
  EXPECT_NE(hive->FindKey(u""), nullptr);
  EXPECT_EQ(hive->FindKey(u"\\Software"), nullptr);
  EXPECT_EQ(hive->FindKey(u"Software/WineTest"), nullptr);
  EXPECT_EQ(hive->FindKey(u"Software\\WineTest\\Space End "), nullptr);
  EXPECT_EQ(hive->FindKey(u"Software\\WineTest\\Missing"), nullptr);
  // Value names ignore case too, and the first spelling stays.
  auto values = ParseUserReg(std::string(kHeader) + "[K]\n\"Latin\\x00e9F\"=\"1\"\n\"v\"=\"old\"\n\"V\"=\"new\"\n");
  const platform::UserRegKey* key = values->FindKey(u"k");
  ASSERT_NE(key, nullptr);
  EXPECT_NE(key->FindValue(u"LATIN\u00c9F"), nullptr);
  ASSERT_NE(key->FindValue(u"v"), nullptr);
  EXPECT_EQ(key->FindValue(u"V")->name, u"v");
  EXPECT_EQ(key->FindValue(u"V")->data, StringData(u"new"));
  EXPECT_EQ(key->valueCount(), 2u);
}

TEST(UserRegTest, MergesRepeatedSectionsIntoTheFirst) {
  auto hive = ParseUserReg(std::string(kHeader) +
                           "[Software\\\\Shared] 1\n\"One\"=\"1\"\n\"Both\"=\"first\"\n"
                           "[Other]\n\"x\"=\"y\"\n"
                           "[SOFTWARE\\\\shared] 2\n\"Two\"=\"2\"\n\"BOTH\"=\"second\"\n");
  const platform::UserRegKey* key = hive->FindKey(u"software\\SHARED");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->name(), u"Shared");
  EXPECT_EQ(key->valueCount(), 3u);
  EXPECT_EQ(key->FindValue(u"both")->name, u"Both");
  EXPECT_EQ(key->FindValue(u"both")->data, StringData(u"second"));
  EXPECT_EQ(hive->FindKey(u"")->subKeyCount(), 2u);
}

TEST(UserRegTest, ToleratesLayoutVariations) {
  auto hive = ParseUserReg(
      "WINE REGISTRY Version 2\r\n"
      ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\r\n"
      "\r\n"
      "#arch=win64\r\n"
      "#unknown=option\r\n"
      "\"Orphan\"=\"before any key\"\r\n"
      "   [Indented\\\\Key]   1796706751   \r\n"
      "#time=1dd86d2b9e8a3ea\r\n"
      "#class=\"My \\\"Class\\\"\"\r\n"
      "#link\r\n"
      "#arch=nonsense\r\n"
      "; a comment\r\n"
      "\t \"Blank\"=\"led\"\r\n"
      "\"Bin\"=hex:00,01,02,\\\r\n"
      "  03,04,\\\r\n"
      "\t05\r\n"
      "\"After\"=dword:00000007\r\n"
      "garbage line\r\n"
      "\"Last\"=\"no newline at the end\"");
  const platform::UserRegKey* key = hive->FindKey(u"Indented\\Key");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->valueCount(), 4u);
  EXPECT_EQ(key->FindValue(u"Blank")->data, StringData(u"led"));
  EXPECT_EQ(key->FindValue(u"Bin")->data, (Bytes{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(key->FindValue(u"After")->data, (Bytes{7, 0, 0, 0}));
  EXPECT_EQ(key->FindValue(u"Last")->data, StringData(u"no newline at the end"));
  EXPECT_EQ(hive->FindKey(u"")->valueCount(), 0u);
}

TEST(UserRegTest, HandlesBrokenContinuationsAndSections) {
  auto hive = ParseUserReg(std::string(kHeader) +
                           "[A]\n\"Good\"=\"1\"\n"
                           // A continuation swallows the next line, whatever it is.
                           "\"Wrapped\"=hex:01,\\\n[B]\n\"InA\"=\"2\"\n"
                           "[Unterminated\n\"Lost\"=\"3\"\n"
                           "[C]\n\"AtEnd\"=hex:01,\\\n");
  ASSERT_NE(hive->FindKey(u"A"), nullptr);
  EXPECT_EQ(hive->FindKey(u"B"), nullptr);
  EXPECT_NE(FindValue(*hive, u"A", u"InA"), nullptr);
  EXPECT_EQ(FindValue(*hive, u"A", u"Wrapped")->type, 0u);
  EXPECT_EQ(hive->FindKey(u"Unterminated"), nullptr);
  EXPECT_EQ(FindValue(*hive, u"A", u"Lost"), nullptr);
  const UserRegValue* atEnd = FindValue(*hive, u"C", u"AtEnd");
  ASSERT_NE(atEnd, nullptr);
  EXPECT_EQ(atEnd->type, 0u);
  EXPECT_TRUE(atEnd->data.empty());
}

TEST(UserRegTest, MalformedDataResetsAnEarlierValue) {
  auto hive = ParseUserReg(std::string(kHeader) + "[K]\n\"V\"=\"good\"\n\"v\"=\"broken\n");
  const UserRegValue* value = FindValue(*hive, u"K", u"V");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, 0u);
  EXPECT_TRUE(value->data.empty());
  // A name that cannot be read touches nothing.
  hive = ParseUserReg(std::string(kHeader) + "[K]\n\"V\"=\"good\"\n\"V\"junk\n\"V\n");
  value = FindValue(*hive, u"K", u"V");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, StringData(u"good"));
}

TEST(UserRegTest, RejectsFilesWithoutTheHeader) {
  const std::string body = "\n[Key]\n\"V\"=\"x\"\n";
  const std::string headers[] = {
      "",
      "WINE REGISTRY Version 1\n",
      " WINE REGISTRY Version 2\n",
      "WINE REGISTRY Version 2 \n",
      "\xEF\xBB\xBFWINE REGISTRY Version 2\n",
      "REGEDIT4\n",
      "WINE REGISTRY",
  };
  for (const std::string& header : headers) {
    auto hive = ParseUserReg(header + body);
    EXPECT_EQ(hive->FindKey(u"")->subKeyCount(), 0u) << header;
  }
  EXPECT_NE(ParseUserReg(std::string(kHeader) + body)->FindKey(u"Key"), nullptr);
}

TEST(UserRegTest, AnUnknownArchitectureEndsTheLoad) {
  EXPECT_EQ(ParseUserReg(std::string(kHeader) + "#arch=win16\n[Key]\n")->FindKey(u"Key"), nullptr);
  // After a section that could not be read, options are global again.
  auto hive = ParseUserReg(std::string(kHeader) + "[Kept]\n[Bad\n#arch=arm\n[Lost]\n");
  EXPECT_NE(hive->FindKey(u"Kept"), nullptr);
  EXPECT_EQ(hive->FindKey(u"Lost"), nullptr);
}

TEST(UserRegTest, LimitsNameLengthAndDepth) {
  std::string longest(256, 'k');
  std::string tooLong(257, 'k');
  auto hive = ParseUserReg(std::string(kHeader) + "[" + longest + "]\n[Parent\\\\" + tooLong + "]\n\"V\"=\"x\"\n");
  EXPECT_NE(hive->FindKey(std::u16string(256, u'k')), nullptr);
  EXPECT_NE(hive->FindKey(u"Parent"), nullptr);
  EXPECT_EQ(hive->FindKey(u"Parent")->subKeyCount(), 0u);

  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "a\\\\";
  hive = ParseUserReg(std::string(kHeader) + "[" + deep + "]\n");
  int depth = 0;
  for (const platform::UserRegKey* key = &hive->root(); key->subKeyCount(); key = key->FindSubKey(u"a")) ++depth;
  EXPECT_EQ(depth, 512);
}

TEST(UserRegTest, SurvivesGarbage) {
  std::string noise;
  std::uint32_t state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(state >> 24));
  }
  const std::string inputs[] = {
      noise,
      std::string(kHeader) + noise,
      std::string(kHeader) + std::string(100000, '\\'),
      std::string(kHeader) + "[" + std::string(100000, '\\') + "]\n",
      std::string(kHeader) + "[K]\n\"V\"=hex:" + std::string(100000, ','),
      std::string(kHeader) + "[K]\n\"V\"=hex:01,\\\n" + std::string(50000, '\n'),
      std::string(kHeader) + "[K]\n\"V\"=\"" + std::string(100000, '\\'),
      std::string(kHeader) + WithNuls("[K]\0\n\"V\"=\"x\"\n"),
      WithNuls("WINE REGISTRY Version 2\0garbage\n[K]\n"),
  };
  for (const std::string& input : inputs) {
    auto hive = ParseUserReg(input);
    ASSERT_NE(hive, nullptr);
  }
  // The line stops at a NUL byte, as a C string does.
  EXPECT_NE(ParseUserReg(WithNuls("WINE REGISTRY Version 2\0garbage\n[K]\n"))->FindKey(u"K"), nullptr);
  auto cut = ParseUserReg(std::string(kHeader) + WithNuls("[K]\n\"V\"=\"ab\0cd\"\n\"W\"=\"x\"\n"));
  EXPECT_EQ(FindValue(*cut, u"K", u"V")->type, 0u);
  EXPECT_NE(FindValue(*cut, u"K", u"W"), nullptr);
}

}  // namespace
