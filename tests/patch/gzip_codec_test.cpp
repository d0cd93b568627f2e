#include "patch/gzip_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "patch/world_text.h"

namespace {

using namespace std::string_literals;

std::string RandomBytes(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

const std::string kWorld = "#VRML V2.0 utf8\nShape { geometry Box {} }\n";

TEST(GzipCodecTest, RoundTripsAnyBytes) {
  for (const std::string& text : {""s, kWorld, "\0\x1A\r\x1F\x8B"s, RandomBytes(300000)}) {
    std::string packed = Gzip(text);
    EXPECT_TRUE(IsGzipped(packed));
    EXPECT_EQ(packed.substr(4, 4), "\0\0\0\0"s) << "time stamp";
    EXPECT_EQ(Gunzip(packed), text);
  }
  EXPECT_FALSE(IsGzipped(kWorld));
  EXPECT_FALSE(IsGzipped("\x1F"));
}

TEST(GzipCodecTest, RefusesDamagedStreams) {
  const std::string packed = Gzip(kWorld + RandomBytes(1000));
  for (std::size_t cut = 0; cut < packed.size(); ++cut)
    EXPECT_EQ(Gunzip(packed.substr(0, cut)), std::nullopt) << "truncated to " << cut;
  std::string badCrc = packed;
  badCrc[badCrc.size() - 8] ^= 1;
  EXPECT_EQ(Gunzip(badCrc), std::nullopt);
  std::string badLength = packed;
  badLength[badLength.size() - 1] ^= 1;
  EXPECT_EQ(Gunzip(badLength), std::nullopt);
  std::string notDeflate = packed;
  notDeflate[2] = 7;
  EXPECT_EQ(Gunzip(notDeflate), std::nullopt);
  std::string badData = packed;
  badData[10] = '\xFF';  // first deflate block header: a reserved block type
  EXPECT_EQ(Gunzip(badData), std::nullopt);
}

TEST(GzipCodecTest, JoinsMembersButRefusesTrailingBytes) {
  const std::string one = Gzip("first\n"), two = Gzip("second\n");
  EXPECT_EQ(Gunzip(one + two), "first\nsecond\n");
  EXPECT_EQ(Gunzip(one + Gzip("")), "first\n");
  EXPECT_EQ(Gunzip(one + "x"), std::nullopt);
  EXPECT_EQ(Gunzip(one + "\0\0\0\0"s), std::nullopt);
  EXPECT_EQ(Gunzip(one + "\x1F"), std::nullopt);
  EXPECT_EQ(Gunzip(one + two.substr(0, two.size() - 1)), std::nullopt);
}

TEST(GzipCodecTest, StopsAtTheOutputLimit) {
  const std::string zeros(1 << 20, '\0');
  const std::string packed = Gzip(zeros);
  EXPECT_EQ(Gunzip(packed, zeros.size()), zeros);
  EXPECT_EQ(Gunzip(packed, zeros.size() - 1), std::nullopt);
  EXPECT_EQ(Gunzip(packed + packed, zeros.size() + 1), std::nullopt);
}

TEST(RewriteWorldBytesTest, PatchesCompressedText) {
  WorldRewrite rewrite = RewriteWorldBytes(Gzip(kWorld), 0);
  ASSERT_EQ(rewrite.outcome, WorldRewrite::Outcome::kChanged);
  EXPECT_EQ(Gunzip(rewrite.bytes), PatchWorldText(kWorld, 0));
  EXPECT_EQ(RewriteWorldBytes(rewrite.bytes, 0).outcome, WorldRewrite::Outcome::kUnchanged);
  EXPECT_EQ(RewriteWorldBytes(Gzip(""), 0).outcome, WorldRewrite::Outcome::kUnchanged);
  EXPECT_EQ(RewriteWorldBytes(Gzip(kWorld).substr(0, 20), 0).outcome, WorldRewrite::Outcome::kUndecodable);
  // Plain text goes through the text rules unchanged in kind.
  EXPECT_EQ(RewriteWorldBytes(kWorld, 1).bytes, PatchWorldText(kWorld, 1));
}

}  // namespace
