#include <gtest/gtest.h>

#include <string>

#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"
#include "tests/platform/host_env_posix.h"

namespace {

using platform::AnsiCodePage;
using platform::AnsiCodePageForLocale;
using platform::AnsiToHostName;
using platform::AnsiToUtf16;
using platform::HostNameToAnsi;
using platform::Utf16ToAnsi;
using testing_support::kJapaneseLocale;
using testing_support::LocaleInstalled;
using testing_support::ScopedEnv;
using testing_support::ScopedLocale;

// Shift-JIS bytes of さぱり.
constexpr const char* kSapariSjis = "\x82\xb3\x82\xcf\x82\xe8";

TEST(AnsiCodePageForLocale, CAndUnsetLocalesGive1252) {
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, nullptr, nullptr), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale("", "", ""), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, nullptr, "C"), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, "POSIX", nullptr), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, nullptr, "C.UTF-8"), 1252u);
}

// Wine reads a locale it could not load straight from LC_ALL, so every name
// maps through LC_ALL whether or not it is installed here.
TEST(AnsiCodePageForLocale, LcAllNamesMapByLanguageAndCountry) {
  struct Case {
    const char* locale;
    unsigned codePage;
  };
  const Case cases[] = {
      {"en_US.UTF-8", 1252}, {"de_DE.ISO-8859-1", 1252},     {"pl_PL.UTF-8", 1250},  {"ru_RU.UTF-8", 1251},
      {"el_GR.UTF-8", 1253}, {"tr_TR.UTF-8", 1254},          {"he_IL.UTF-8", 1255},  {"ar_SA.UTF-8", 1256},
      {"lt_LT.UTF-8", 1257}, {"vi_VN.UTF-8", 1258},          {"th_TH.UTF-8", 874},   {"ja_JP.UTF-8", 932},
      {"ja_JP.EUC-JP", 932}, {"zh_CN.UTF-8", 936},           {"zh_SG.GBK", 936},     {"ko_KR.UTF-8", 949},
      {"zh_TW.UTF-8", 950},  {"zh_HK.UTF-8", 950},           {"hi_IN.UTF-8", 65001}, {"sr_RS@latin", 1250},
      {"sr_RS.UTF-8", 1251}, {"uz_UZ.UTF-8@cyrillic", 1251}, {"xx_YY.UTF-8", 1252},  {"JA_jp", 932},
  };
  for (const Case& c : cases) EXPECT_EQ(AnsiCodePageForLocale(c.locale, nullptr, nullptr), c.codePage) << c.locale;
}

TEST(AnsiCodePageForLocale, UninstalledLocaleOutsideLcAllGivesC) {
  if (LocaleInstalled("th_TH.UTF-8")) GTEST_SKIP() << "th_TH.UTF-8 is installed here";
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, nullptr, "th_TH.UTF-8"), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, "th_TH.UTF-8", nullptr), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale("th_TH.UTF-8", nullptr, nullptr), 874u);
}

TEST(AnsiCodePageForLocale, LcAllThenLcCtypeThenLang) {
  if (!LocaleInstalled(kJapaneseLocale)) GTEST_SKIP() << kJapaneseLocale << " is not installed (scripts/setup)";
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, nullptr, kJapaneseLocale), 932u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, kJapaneseLocale, "C.UTF-8"), 932u);
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, "C.UTF-8", kJapaneseLocale), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale("C", nullptr, kJapaneseLocale), 1252u);
  EXPECT_EQ(AnsiCodePageForLocale("", nullptr, kJapaneseLocale), 932u);
  EXPECT_EQ(AnsiCodePageForLocale(kJapaneseLocale, "ru_RU.UTF-8", nullptr), 932u);
  // setlocale(LC_ALL, "") loads every category or none: a LANG that cannot
  // be loaded for the others takes LC_CTYPE down with it.
  EXPECT_EQ(AnsiCodePageForLocale(nullptr, kJapaneseLocale, "xx_YY.UTF-8"), 1252u);
}

TEST(AnsiCodePage, FollowsTheEnvironmentAsItChanges) {
  ScopedEnv lcCtype("LC_CTYPE", nullptr);
  ScopedEnv lang("LANG", nullptr);
  {
    ScopedEnv lcAll("LC_ALL", kJapaneseLocale);
    EXPECT_EQ(AnsiCodePage(), 932u);
    ScopedEnv russian("LC_ALL", "ru_RU.UTF-8");
    EXPECT_EQ(AnsiCodePage(), 1251u);
  }
  ScopedEnv lcAll("LC_ALL", nullptr);
  EXPECT_EQ(AnsiCodePage(), 1252u);
}

TEST(CodePage1252, ConvertsBothWaysWithQuestionMarksForTheRest) {
  ScopedLocale locale("C");
  EXPECT_EQ(AnsiToUtf16("caf\xe9 \x80\x92"), u"caf\u00e9 \u20ac\u2019");
  EXPECT_EQ(Utf16ToAnsi(u"A\u4e2d\u6587B \u20ac \u2019 \U0001F600 \u00e9"), "A??B \x80 \x92 ?? \xe9");
  EXPECT_EQ(Utf16ToAnsi(u"lone \xd800 x"), "lone ? x");
  EXPECT_EQ(Utf16ToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  // The bytes 1252 leaves undefined stand for the controls of that number.
  EXPECT_EQ(AnsiToUtf16("\x81\x8d\x8f\x90\x9d"), u"\u0081\u008d\u008f\u0090\u009d");
  std::string every;
  for (int b = 0; b < 256; ++b) every.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(every)), every);
}

TEST(CodePage932, ConvertsShiftJis) {
  ScopedLocale locale(kJapaneseLocale);
  EXPECT_EQ(AnsiToUtf16(kSapariSjis), u"\u3055\u3071\u308a");
  EXPECT_EQ(Utf16ToAnsi(u"\u3055\u3071\u308a"), kSapariSjis);
  // 表 and ソ end in 0x5C, the byte of "\": still one character each.
  EXPECT_EQ(AnsiToUtf16("\x95\x5c\x83\x5c"), u"\u8868\u30bd");
  EXPECT_EQ(Utf16ToAnsi(u"A\u4e2d\u6587B \u0100 \u03a9 \u20ac \u2019 \U0001F600"),
            "A\x92\x86\x95\xb6"
            "B ? \x83\xb6 ? \x81\x66 ??");
  // Half-width katakana are single bytes.
  EXPECT_EQ(AnsiToUtf16("\xb1"), u"\uff71");
}

TEST(CodePage932, InvalidBytesDecodeToReplacementAndFailStrictly) {
  ScopedLocale locale(kJapaneseLocale);
  EXPECT_EQ(AnsiToUtf16("a\x82"), u"a\ufffd");  // a lead byte at the end
  EXPECT_EQ(AnsiToUtf16("\xff"
                        "a"),
            u"\ufffd"
            "a");
  EXPECT_FALSE(platform::AnsiToUtf16Strict("a\x82").has_value());
  EXPECT_EQ(platform::AnsiToUtf16Strict(kSapariSjis), u"\u3055\u3071\u308a");
}

TEST(CodePage65001, IsUtf8WithReplacements) {
  ScopedLocale locale("hi_IN.UTF-8");
  ASSERT_EQ(AnsiCodePage(), 65001u);
  EXPECT_EQ(AnsiToUtf16("\xe0\xa4\xb9 \xf0\x9f\x98\x80"), u"\u0939 \U0001F600");
  EXPECT_EQ(AnsiToUtf16("a\xff"), u"a\ufffd");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F600 \xdc00"), "\xf0\x9f\x98\x80 ?");
}

TEST(HostNames, AreUtf8WhateverTheCodePage) {
  ScopedLocale locale("C");
  EXPECT_EQ(HostNameToAnsi("caf\xc3\xa9.txt"), "caf\xe9.txt");
  EXPECT_EQ(HostNameToAnsi("\xe6\x97\xa5\xe6\x9c\xac.txt"), "??.txt");
  EXPECT_EQ(HostNameToAnsi("\xc3\xbc\xe4\xb8\xad.txt"), "\xfc?.txt");
  EXPECT_EQ(AnsiToHostName("caf\xe9"), "caf\xc3\xa9");
  // Each byte that is not part of valid UTF-8 is one U+FFFD.
  EXPECT_EQ(HostNameToAnsi("\xff\xfe"), "??");
  EXPECT_EQ(HostNameToAnsi("\xc0\xaf|\xed\xa0\x80|\xe6\x97|\xf4\x90\x80\x80"), "??|???|??|????");
  bool valid = true;
  EXPECT_EQ(platform::HostNameToUtf16("a\x80", &valid), u"a\ufffd");
  EXPECT_FALSE(valid);
  EXPECT_FALSE(platform::Utf16ToHostName(u"a\xd800").has_value());
}

// Plain ASCII names skip the conversion; in every code page that must give
// what converting them would.
TEST(HostNames, PlainAsciiComesOutAsConvertingWouldGiveIt) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  for (const char* name : {"C", kJapaneseLocale, "zh_CN.UTF-8", "ko_KR.UTF-8", "zh_TW.UTF-8", "ru_RU.UTF-8",
                           "th_TH.UTF-8", "vi_VN.UTF-8", "el_GR.UTF-8", "ar_SA.UTF-8", "hi_IN.UTF-8"}) {
    ScopedLocale locale(name);
    EXPECT_EQ(HostNameToAnsi(ascii), Utf16ToAnsi(platform::HostNameToUtf16(ascii))) << name;
  }
}

TEST(HostNames, ShiftJisMapsToUtf8) {
  ScopedLocale locale(kJapaneseLocale);
  EXPECT_EQ(AnsiToHostName(kSapariSjis), "\xe3\x81\x95\xe3\x81\xb1\xe3\x82\x8a");
  EXPECT_EQ(HostNameToAnsi("\xe3\x81\x95\xe3\x81\xb1\xe3\x82\x8a"), kSapariSjis);
}

// Observed under Wine: a character the code page lacks becomes its best fit
// before it becomes '?', and a best fit may be a separator.
TEST(HostNames, TakeWinesBestFitBeforeAQuestionMark) {
  if (!testing_support::WineTablesInstalled()) GTEST_SKIP() << "Wine's code page tables are not installed";
  {
    ScopedLocale locale(kJapaneseLocale);
    EXPECT_EQ(HostNameToAnsi("caf\xc3\xa9 \xc3\xbc\xe4\xb8\xad"), "cafe u\x92\x86");
    EXPECT_EQ(Utf16ToAnsi(u"\u00a5 \uff3c \u2216 \u0100"), "\x5c \x81\x5f ? ?");
  }
  ScopedLocale locale("C");
  EXPECT_EQ(Utf16ToAnsi(u"\u00a5 \uff3c \u2216 \u0100 \uff0e\uff0e"), "\xa5 \x5c \x5c A ..");
}

}  // namespace
