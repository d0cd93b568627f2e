#include "clip/avi_clip.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr ClipColour kMagenta{255, 0, 255};

Bytes ReadAsset(const std::string& name) {
  std::ifstream in(std::string(QUIETWALK_ASSETS_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A small clip file written the way our own tool and common encoders write
// them, with the fields the tests change.
struct ClipFields {
  const char* form = "AVI ";
  int width = 4;
  int height = 2;
  std::uint32_t microSecPerFrame = 41667;
  std::uint32_t rate = 24;
  const char* streamType = "vids";
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 1;
  std::uint32_t colours = 0;  // 0: all 256 present
  std::vector<Bytes> frames = {{0, 1}};
  const char* frameId = "00dc";
  bool inRecord = false;    // frames inside a LIST 'rec '
  bool audioFirst = false;  // an audio stream before the video, which becomes stream 01
};

class Writer {
 public:
  void U16(std::uint32_t v) {
    m_bytes.push_back(static_cast<std::uint8_t>(v));
    m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(v);
    U16(v >> 16);
  }
  void Code(const char* code) { m_bytes.insert(m_bytes.end(), code, code + 4); }
  void Append(const Bytes& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
  std::size_t Begin(const char* id) {
    Code(id);
    U32(0);
    return m_bytes.size() - 4;
  }
  void End(std::size_t at) {
    const auto size = static_cast<std::uint32_t>(m_bytes.size() - at - 4);
    for (int i = 0; i < 4; ++i) {
      m_bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    if (size % 2 != 0) {
      m_bytes.push_back(0);
    }
  }
  Bytes& Get() { return m_bytes; }

 private:
  Bytes m_bytes;
};

void StreamList(Writer& out, const char* type, const ClipFields& fields) {
  const auto list = out.Begin("LIST");
  out.Code("strl");
  const auto header = out.Begin("strh");
  out.Code(type);
  out.U32(0);
  for (int i = 0; i < 3; ++i) {
    out.U32(0);
  }
  out.U32(1);
  out.U32(fields.rate);
  for (int i = 0; i < 7; ++i) {
    out.U32(0);
  }
  out.End(header);
  const auto format = out.Begin("strf");
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(fields.width));
  out.U32(static_cast<std::uint32_t>(fields.height));
  out.U16(1);
  out.U16(fields.bitCount);
  out.U32(fields.compression);
  for (int i = 0; i < 3; ++i) {
    out.U32(0);
  }
  out.U32(fields.colours);
  out.U32(0);
  const std::uint32_t entries = fields.colours == 0 ? 256 : fields.colours;
  for (std::uint32_t i = 0; i < entries; ++i) {
    out.U32(i == 1 ? 0x00FF00FFU : (i << 16 | i << 8 | i));  // entry 1 magenta, others grey
  }
  out.End(format);
  out.End(list);
}

Bytes MakeClip(const ClipFields& fields) {
  Writer out;
  const auto riff = out.Begin("RIFF");
  out.Code(fields.form);
  const auto headers = out.Begin("LIST");
  out.Code("hdrl");
  const auto mainHeader = out.Begin("avih");
  out.U32(fields.microSecPerFrame);
  for (int i = 0; i < 13; ++i) {
    out.U32(0);
  }
  out.End(mainHeader);
  if (fields.audioFirst) {
    StreamList(out, "auds", fields);
  }
  StreamList(out, fields.streamType, fields);
  out.End(headers);
  const auto movie = out.Begin("LIST");
  out.Code("movi");
  const auto record = fields.inRecord ? out.Begin("LIST") : 0;
  if (fields.inRecord) {
    out.Code("rec ");
  }
  for (const Bytes& frame : fields.frames) {
    const auto chunk = out.Begin(fields.frameId);
    out.Append(frame);
    out.End(chunk);
  }
  if (fields.inRecord) {
    out.End(record);
  }
  out.End(movie);
  out.End(riff);
  return out.Get();
}

// width x height indices, the top row first, all `fill`.
Bytes Picture(int width, int height, std::uint8_t fill = 0) {
  return Bytes(static_cast<std::size_t>(width * height), fill);
}

TEST(CommittedClips, TurtleIsSeventyPixelsSquareWithTwentyNineFramesOnMagenta) {
  const auto clip = ParseAviClip(ReadAsset("turtle.avi"));
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->width, 70);
  EXPECT_EQ(clip->height, 70);
  EXPECT_EQ(clip->frames.size(), 29U);
  EXPECT_EQ(clip->microSecPerFrame, 41667U);

  // The background stays solid magenta at the edges of every frame, and the
  // turtle moves: some frame differs from the first.
  ClipPlayer player(*clip);
  const Bytes first = player.Pixels();
  bool moved = false;
  for (int f = 0; f < player.FrameCount(); ++f) {
    ASSERT_TRUE(player.Seek(f));
    const Bytes& pixels = player.Pixels();
    for (const std::size_t corner : {0, 69, 70 * 69, 70 * 70 - 1}) {
      EXPECT_EQ(clip->palette[pixels[corner]], kMagenta) << "frame " << f;
    }
    moved = moved || pixels != first;
  }
  EXPECT_TRUE(moved);
}

TEST(CommittedClips, RoomIsItsDialogsSizeWith159Frames) {
  const auto clip = ParseAviClip(ReadAsset("room.avi"));
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->width, 387);
  EXPECT_EQ(clip->height, 290);
  EXPECT_EQ(clip->frames.size(), 159U);
  EXPECT_EQ(clip->microSecPerFrame, 41667U);
}

TEST(CommittedClips, EveryCutShortCopyIsRefusedWithoutHarm) {
  const Bytes file = ReadAsset("turtle.avi");
  ASSERT_FALSE(file.empty());
  for (std::size_t size = 0; size < file.size(); size += 7) {
    EXPECT_FALSE(ParseAviClip(std::span(file.data(), size))) << size;
  }
}

TEST(Rle8Decoder, RunsEndOfLineAndEndOfBitmapGoBottomUp) {
  Bytes pixels = Picture(4, 2);
  EXPECT_TRUE(DecodeRle8Frame(Bytes{3, 5, 0, 0, 2, 7, 0, 1, 4, 9}, 4, 2, pixels));
  EXPECT_EQ(pixels, (Bytes{7, 7, 0, 0,  //
                           5, 5, 5, 0}));
}

TEST(Rle8Decoder, AbsoluteRunsSkipTheirPadByte) {
  Bytes pixels = Picture(5, 1);
  EXPECT_TRUE(DecodeRle8Frame(Bytes{0, 3, 1, 2, 3, 0, 2, 9, 0, 1}, 5, 1, pixels));
  EXPECT_EQ(pixels, (Bytes{1, 2, 3, 9, 9}));
  pixels = Picture(5, 1);
  EXPECT_TRUE(DecodeRle8Frame(Bytes{0, 4, 1, 2, 3, 4, 1, 9}, 5, 1, pixels));
  EXPECT_EQ(pixels, (Bytes{1, 2, 3, 4, 9}));
}

TEST(Rle8Decoder, DeltaJumpsRightAndUpOverTheOldPicture) {
  Bytes pixels = Picture(4, 3, 8);
  // One pixel, a jump two right and one up, one pixel, end of line, one pixel.
  EXPECT_TRUE(DecodeRle8Frame(Bytes{1, 1, 0, 2, 2, 1, 1, 4, 0, 0, 1, 6}, 4, 3, pixels));
  EXPECT_EQ(pixels, (Bytes{6, 8, 8, 8,  //
                           8, 8, 8, 4,  //
                           1, 8, 8, 8}));
}

TEST(Rle8Decoder, WhatFallsOutsideThePictureIsCutOff) {
  Bytes pixels = Picture(3, 2);
  // A run past the right edge, an absolute run starting beyond it, then
  // jumps far past the top.
  EXPECT_TRUE(DecodeRle8Frame(Bytes{200, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 255, 255, 1, 7}, 3, 2, pixels));
  EXPECT_EQ(pixels, (Bytes{0, 0, 0,  //
                           5, 5, 5}));
  pixels = Picture(3, 2);
  EXPECT_TRUE(DecodeRle8Frame(Bytes{0, 0, 0, 0, 0, 0, 3, 9}, 3, 2, pixels));
  EXPECT_EQ(pixels, Picture(3, 2));
}

TEST(Rle8Decoder, DataCutShortIsReportedAndKeepsWhatCameBefore) {
  for (const Bytes& data : {Bytes{2, 4, 1}, Bytes{2, 4, 0, 2, 1}, Bytes{2, 4, 0, 5, 1, 2}}) {
    Bytes pixels = Picture(4, 1);
    EXPECT_FALSE(DecodeRle8Frame(data, 4, 1, pixels));
    EXPECT_EQ(pixels, (Bytes{4, 4, 0, 0}));
  }
  // No end of bitmap, or no pad byte at the very end, is no fault.
  Bytes pixels = Picture(4, 1);
  EXPECT_TRUE(DecodeRle8Frame(Bytes{0, 3, 1, 2, 3}, 4, 1, pixels));
  EXPECT_EQ(pixels, (Bytes{1, 2, 3, 0}));
  EXPECT_FALSE(DecodeRle8Frame(Bytes{0, 1}, 4, 1, pixels = Picture(3, 1)));
}

TEST(ClipParser, ReadsSizeFrameTimePaletteAndFrames) {
  ClipFields fields;
  fields.frames = {{4, 1, 0, 1}, {0, 2, 1, 0, 1, 3, 0, 1}};
  const auto clip = ParseAviClip(MakeClip(fields));
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->width, 4);
  EXPECT_EQ(clip->height, 2);
  EXPECT_EQ(clip->microSecPerFrame, 41667U);
  EXPECT_EQ(clip->palette[1], kMagenta);
  EXPECT_EQ(clip->palette[200], (ClipColour{200, 200, 200}));
  EXPECT_EQ(clip->frames, fields.frames);
}

TEST(ClipParser, FindsFramesOfTheVideoStreamWhereverTheyAre) {
  ClipFields fields;
  fields.inRecord = true;
  EXPECT_TRUE(ParseAviClip(MakeClip(fields)));
  // The video is the second stream: its frames are 01dc, and 00dc is not it.
  fields = ClipFields();
  fields.audioFirst = true;
  fields.frameId = "01dc";
  EXPECT_TRUE(ParseAviClip(MakeClip(fields)));
  fields.frameId = "00dc";
  EXPECT_FALSE(ParseAviClip(MakeClip(fields)));
}

TEST(ClipParser, FrameTimeComesFromTheStreamRateWhenTheMainHeaderHasNone) {
  ClipFields fields;
  fields.microSecPerFrame = 0;
  const auto clip = ParseAviClip(MakeClip(fields));
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->microSecPerFrame, 41667U);
  fields.rate = 0;
  EXPECT_FALSE(ParseAviClip(MakeClip(fields)));
}

TEST(ClipParser, AShortPaletteLeavesTheRestBlack) {
  ClipFields fields;
  fields.colours = 2;
  const auto clip = ParseAviClip(MakeClip(fields));
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->palette[1], kMagenta);
  EXPECT_EQ(clip->palette[2], ClipColour{});
}

TEST(ClipParser, RefusesWhatItCannotPlay) {
  const auto Refused = [](void (*change)(ClipFields&)) {
    ClipFields fields;
    change(fields);
    return !ParseAviClip(MakeClip(fields));
  };
  EXPECT_TRUE(Refused([](ClipFields& s) { s.form = "WAVE"; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.streamType = "auds"; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.compression = 0; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.bitCount = 4; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.colours = 257; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.width = 0; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.height = -2; }));  // top-down
  EXPECT_TRUE(Refused([](ClipFields& s) { s.width = kMaxClipSide + 1; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.frames.clear(); }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.frames = {{0, 1}, {3, 1, 0}}; }));
  EXPECT_TRUE(Refused([](ClipFields& s) { s.frameId = "00db"; }));
  EXPECT_FALSE(Refused([](ClipFields& s) { s.width = kMaxClipSide; }));
}

TEST(ClipParser, RefusesChunksThatRunPastTheirList) {
  const auto WithSize = [](Bytes file, std::size_t at, std::size_t size) {
    for (int i = 0; i < 4; ++i) {
      file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    return file;
  };
  Bytes file = MakeClip(ClipFields());
  EXPECT_FALSE(ParseAviClip(WithSize(file, 4, file.size() - 6)));
  // The RIFF form's first chunk is LIST 'hdrl', its size at byte 16.
  EXPECT_FALSE(ParseAviClip(WithSize(file, 16, file.size())));
  // Bytes after the RIFF form are not ours to read.
  file.insert(file.end(), {1, 2, 3});
  EXPECT_TRUE(ParseAviClip(file));
}

TEST(ClipPlayer, DrawsEachFrameOverTheLastAndStartsEveryPassAfresh) {
  ClipFields fields;
  fields.frames = {{1, 3, 0, 1}, {0, 2, 1, 0, 1, 4, 0, 1}, {0, 1}};
  auto clip = ParseAviClip(MakeClip(fields));
  ASSERT_TRUE(clip);
  ClipPlayer player(std::move(*clip));
  EXPECT_EQ(player.CurrentFrame(), 0);
  EXPECT_EQ(player.Pixels(), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
  ASSERT_TRUE(player.Seek(2));
  EXPECT_EQ(player.Pixels(), (Bytes{0, 0, 0, 0, 3, 4, 0, 0}));
  player.Advance();
  EXPECT_EQ(player.CurrentFrame(), 0);
  EXPECT_EQ(player.Pixels(), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
  player.Advance();
  EXPECT_EQ(player.CurrentFrame(), 1);
  ASSERT_TRUE(player.Seek(0));
  EXPECT_EQ(player.Pixels(), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_FALSE(player.Seek(3));
  EXPECT_FALSE(player.Seek(-1));
  EXPECT_EQ(player.CurrentFrame(), 0);
}

}  // namespace
