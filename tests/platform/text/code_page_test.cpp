#include "platform/text/code_page.h"

#include <gtest/gtest.h>

namespace {

using platform::UpperCaseUnit;

TEST(UpperCaseUnit, FoldsLettersOfEveryScriptOneUnitAtATime) {
  EXPECT_EQ(UpperCaseUnit(u'a'), u'A');
  EXPECT_EQ(UpperCaseUnit(u'Z'), u'Z');
  EXPECT_EQ(UpperCaseUnit(u'\u00e9'), u'\u00c9');  // é
  EXPECT_EQ(UpperCaseUnit(u'\u00ff'), u'\u0178');  // ÿ
  EXPECT_EQ(UpperCaseUnit(u'\u03c9'), u'\u03a9');  // ω
  EXPECT_EQ(UpperCaseUnit(u'\u0448'), u'\u0428');  // ш
  EXPECT_EQ(UpperCaseUnit(u'\uff41'), u'\uff21');  // full-width a
  // No single unit is the upper case of ß; digits, kana and surrogate
  // halves have none.
  EXPECT_EQ(UpperCaseUnit(u'\u00df'), u'\u00df');
  EXPECT_EQ(UpperCaseUnit(u'1'), u'1');
  EXPECT_EQ(UpperCaseUnit(u'\u3055'), u'\u3055');
  EXPECT_EQ(UpperCaseUnit(u'\xd83d'), u'\xd83d');
}

TEST(AnsiText, AsciiPassesUnchanged) {
  const std::string ascii = "C:\\Program Files\\Sony\\x.wrl ~!@#$%^&*()";
  EXPECT_EQ(platform::AnsiToUtf16(ascii), u"C:\\Program Files\\Sony\\x.wrl ~!@#$%^&*()");
  EXPECT_EQ(platform::Utf16ToAnsi(platform::AnsiToUtf16(ascii)), ascii);
}

}  // namespace
