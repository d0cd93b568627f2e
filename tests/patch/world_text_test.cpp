#include "patch/world_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "product/product_text.h"

namespace {

using namespace std::string_literals;

// The inserted block as it appears in a rewritten file.
std::string Block(int mode) {
  std::string text;
  for (const std::string& line : HeaderBlock(mode)) text += line + "\r\n";
  return text;
}

TEST(HeaderBlockTest, HoldsTheExactLines) {
  const std::array<std::string, 8> block = HeaderBlock(0);
  EXPECT_EQ(block[0], "#" + std::string(59, '-'));
  EXPECT_EQ(block[1], "# Modified by SAPARiQuietwalk");
  EXPECT_EQ(block[2], "# Ver 1.0");
  EXPECT_EQ(block[3], "# " + std::string(kHomePage));
  EXPECT_EQ(block[4], "PROTO Sony_WorldInfo [");
  const std::string field =
      "  field" + std::string(8, ' ') + "SFBool" + std::string(3, ' ') + "collisionSound" + std::string(7, ' ');
  EXPECT_EQ(block[5], field + "FALSE");
  EXPECT_EQ(block[6], "] {}");
  EXPECT_EQ(block[7], block[0]);
  // Only mode 1 declares TRUE; every other mode, even one that turns FALSE
  // into TRUE on the file's own lines, declares FALSE.
  EXPECT_EQ(HeaderBlock(1)[5], field + "TRUE");
  EXPECT_EQ(HeaderBlock(2)[5], field + "FALSE");
  EXPECT_EQ(HeaderBlock(-1)[5], field + "FALSE");
}

struct TextCase {
  const char* name;
  std::string input;
  int mode;
  std::optional<std::string> expected;  // nullopt: no change
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class PatchWorldTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(PatchWorldTextTest, GivesTheExpectedText) {
  const TextCase& c = GetParam();
  EXPECT_EQ(PatchWorldText(c.input, c.mode), c.expected);
}

std::string CaseName(const testing::TestParamInfo<TextCase>& info) { return info.param.name; }

const std::string kHeader = "#VRML V2.0 utf8";
const std::string kProto = "PROTO Sony_WorldInfo [";

INSTANTIATE_TEST_SUITE_P(
    LineRules, PatchWorldTextTest,
    testing::Values(
        TextCase{"DeclaredTrueBecomesFalse", kHeader + "\n" + kProto + "\n  field SFBool   collisionSound TRUE\n] {}\n",
                 0, kHeader + "\r\n" + kProto + "\r\n  field SFBool   collisionSound FALSE\r\n] {}\r\n"},
        TextCase{"AlreadyFalseIsLeftAlone", kHeader + "\r\n" + kProto + "\r\ncollisionSound FALSE\r\n", 0,
                 std::nullopt},
        TextCase{"InstanceChangedAndBlockInserted", kHeader + "\nSony_WorldInfo { collisionSound TRUE }\n", 0,
                 kHeader + "\r\n" + Block(0) + "Sony_WorldInfo { collisionSound FALSE }\r\n"},
        TextCase{"OnlyTheBlock", kHeader + "\nShape {}\n", 0, kHeader + "\r\n" + Block(0) + "Shape {}\r\n"},
        TextCase{"OnlyTheBlockInMode1", kHeader + "\nShape {}\n", 1, kHeader + "\r\n" + Block(1) + "Shape {}\r\n"},
        TextCase{"EveryOccurrenceIncludingComments", kProto + "\ncollisionSound FALSE # FALSE\n", 1,
                 kProto + "\r\ncollisionSound TRUE # TRUE\r\n"},
        TextCase{"AdjacentOccurrences", kProto + "\ncollisionSound TRUETRUE TRUEE\n", 0,
                 kProto + "\r\ncollisionSound FALSEFALSE FALSEE\r\n"},
        TextCase{"TwoMentionsOnOneLine", kProto + "\ncollisionSound TRUE collisionSound TRUE\n", 0,
                 kProto + "\r\ncollisionSound FALSE collisionSound FALSE\r\n"},
        TextCase{"OtherLinesAndOtherCaseUntouched",
                 kProto + "\nheadlight TRUE\ncollisionsound TRUE\ncollisionSound true\n", 0, std::nullopt},
        TextCase{"Mode1LeavesTrue", kProto + "\ncollisionSound TRUE\n", 1, std::nullopt},
        TextCase{"Mode2TurnsFalseIntoTrueButDeclaresFalse", "#\ncollisionSound FALSE\n", 2,
                 "#\r\n" + Block(2) + "collisionSound TRUE\r\n"},
        TextCase{"ExternProtoCountsAsDeclared", "EXTERNPROTO Sony_WorldInfo [ ] \"sony.wrl\"\n", 0, std::nullopt},
        TextCase{"DeclarationTestIsExact", "#\nPROTO  Sony_WorldInfo [\nproto Sony_WorldInfo\n", 0,
                 "#\r\n" + Block(0) + "PROTO  Sony_WorldInfo [\r\nproto Sony_WorldInfo\r\n"},
        TextCase{"FirstLineChangedThenBlock", "collisionSound TRUE\nx", 0,
                 "collisionSound FALSE\r\n" + Block(0) + "x\r\n"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    TextMode, PatchWorldTextTest,
    testing::Values(
        TextCase{"EmptyTextIsLeftAlone", "", 0, std::nullopt},
        TextCase{"HeaderWithoutLineEnd", kHeader, 0, kHeader + "\r\n" + Block(0)},
        TextCase{"HeaderWithLineEnd", kHeader + "\n", 1, kHeader + "\r\n" + Block(1)},
        TextCase{"OneEmptyLine", "\n", 0, "\r\n" + Block(0)},
        TextCase{"TwoEmptyLines", "\n\n", 0, "\r\n" + Block(0) + "\r\n"},
        TextCase{"MixedLineEndsAllBecomeCrLf", "a\r\nb\nc", 0, "a\r\n" + Block(0) + "b\r\nc\r\n"},
        TextCase{"LoneCrIsContent", "#VRML\rShape {}\r\r\nx\r", 0, "#VRML\rShape {}\r\r\n" + Block(0) + "x\r\r\n"},
        TextCase{"NulAndCtrlZPassThrough", "#\0x\x1A\n\x1Ay\0"s, 0, "#\0x\x1A\r\n"s + Block(0) + "\x1Ay\0\r\n"s},
        TextCase{"ReplacementBesideNul", kProto + "\ncollisionSound\0TRUE\x1A\n"s, 0,
                 kProto + "\r\ncollisionSound\0FALSE\x1A\r\n"s},
        TextCase{"CrEndsLinesWhereNoLfIs", kHeader + "\r" + kProto + "\rcollisionSound TRUE\rsolid TRUE\r", 0,
                 kHeader + "\r\n" + kProto + "\r\ncollisionSound FALSE\r\nsolid TRUE\r\n"},
        TextCase{"CrLfIsNotPartOfTheLine", kProto + "\r\ncollisionSound TRUE\r\n", 0,
                 kProto + "\r\ncollisionSound FALSE\r\n"}),
    CaseName);

// The rewritten text is already in its final state: a second pass in the
// same mode (0 or 1) finds nothing to do.
TEST(PatchWorldTextTest, SecondPassChangesNothing) {
  for (int mode : {0, 1}) {
    for (const std::string& text : {kHeader + "\nShape {}\n", "collisionSound TRUE FALSE\r\rx"s, "\n"s}) {
      std::optional<std::string> first = PatchWorldText(text, mode);
      ASSERT_TRUE(first);
      EXPECT_EQ(PatchWorldText(*first, mode), std::nullopt) << mode << " " << text;
    }
  }
}

TEST(RewriteWorldBytesTest, OnlyWorldsAreRewritten) {
  const std::string bare = kHeader + "\nShape {}\n";
  EXPECT_EQ(RewriteWorldBytes(bare, 0).outcome, WorldRewrite::Outcome::kChanged);
  EXPECT_EQ(RewriteWorldBytes("\xEF\xBB\xBF" + bare, 0).outcome, WorldRewrite::Outcome::kChanged);
  for (const std::string& other : {"\x89PNG\r\n\x1A\ncollisionSound TRUE\n"s,
                                   "\x7F"
                                   "ELF\x02\x01\n"s,
                                   "\xFF\xFE#\0V\0R\0M\0L\0\n\0"s, " #VRML V2.0 utf8\n"s, ""s}) {
    EXPECT_EQ(RewriteWorldBytes(other, 0).outcome, WorldRewrite::Outcome::kUnchanged) << other;
    EXPECT_EQ(RewriteWorldBytes(Gzip(other), 0).outcome, WorldRewrite::Outcome::kUnchanged) << other;
  }
}

}  // namespace
