#include "tools/make_assets/file_formats.h"

#include <algorithm>
#include <utility>

#include "clip/avi_clip.h"

namespace make_assets {
namespace {

class ByteWriter {
 public:
  void U8(std::uint32_t value) { m_bytes.push_back(static_cast<std::uint8_t>(value)); }
  void U16(std::uint32_t value) {
    U8(value);
    U8(value >> 8);
  }
  void U32(std::uint32_t value) {
    U16(value);
    U16(value >> 16);
  }
  void Code(const char (&code)[5]) {
    for (int i = 0; i < 4; ++i) {
      U8(static_cast<unsigned char>(code[i]));
    }
  }
  void Append(const Bytes& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }

  // Starts a chunk and returns where its size goes; End fills it in.
  std::size_t Begin(const char (&id)[5]) {
    Code(id);
    const std::size_t sizeAt = m_bytes.size();
    U32(0);
    return sizeAt;
  }
  std::size_t BeginList(const char (&id)[5], const char (&type)[5]) {
    const std::size_t sizeAt = Begin(id);
    Code(type);
    return sizeAt;
  }
  void End(std::size_t sizeAt) {
    const auto size = static_cast<std::uint32_t>(m_bytes.size() - sizeAt - 4);
    for (int i = 0; i < 4; ++i) {
      m_bytes[sizeAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    if (size % 2 != 0) {
      U8(0);
    }
  }

  std::size_t Size() const { return m_bytes.size(); }
  const Bytes& Get() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

void WritePalette(ByteWriter& out, const Palette& palette, int entries) {
  const std::vector<Rgb>& colours = palette.Colours();
  for (int i = 0; i < entries; ++i) {
    const Rgb c = i < static_cast<int>(colours.size()) ? colours[static_cast<std::size_t>(i)] : Rgb{};
    out.U8(c.b);
    out.U8(c.g);
    out.U8(c.r);
    out.U8(0);
  }
}

// One icon image: BITMAPINFOHEADER of double height, palette, colour bits
// and the AND mask, both bottom-up with rows padded to four bytes.
Bytes IconImage(const Picture& picture, int bits) {
  const Canvas& canvas = picture.canvas;
  const int size = canvas.Width();
  const int colourStride = (size * bits / 8 + 3) / 4 * 4;
  const int maskStride = (size / 8 + 3) / 4 * 4;
  ByteWriter out;
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(size));
  out.U32(static_cast<std::uint32_t>(size * 2));
  out.U16(1);
  out.U16(static_cast<std::uint32_t>(bits));
  out.U32(0);
  out.U32(static_cast<std::uint32_t>((colourStride + maskStride) * size));
  out.U32(0);
  out.U32(0);
  out.U32(0);
  out.U32(0);
  WritePalette(out, picture.palette, 1 << bits);
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(colourStride), 0);
    for (int x = 0; x < size; ++x) {
      const int index = std::max(canvas.At(x, y), 0);
      if (bits == 8) {
        row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(index);
      } else {
        row[static_cast<std::size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
      }
    }
    out.Append(row);
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(maskStride), 0);
    for (int x = 0; x < size; ++x) {
      if (canvas.At(x, y) == kEmpty) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.Append(row);
  }
  return out.Get();
}

// BI_RLE8 of `frame`, drawing only the pixels that differ from `previous`
// (every pixel when there is none) and jumping over the rest.
class Rle8Encoder {
 public:
  Bytes Encode(const Canvas* previous, const Canvas& frame) {
    m_out.clear();
    m_x = 0;
    m_y = 0;
    const int width = frame.Width();
    const int height = frame.Height();
    for (int line = 0; line < height; ++line) {
      const int y = height - 1 - line;
      const auto Changed = [&](int x) { return previous == nullptr || previous->At(x, y) != frame.At(x, y); };
      int x = 0;
      while (x < width) {
        if (!Changed(x)) {
          ++x;
          continue;
        }
        // A jump costs four bytes, so short unchanged gaps are drawn over.
        int end = x + 1;
        for (int gap = 0; end < width; ++end) {
          gap = Changed(end) ? 0 : gap + 1;
          if (gap > 6) {
            end -= gap - 1;
            break;
          }
        }
        while (end > x && !Changed(end - 1)) {
          --end;
        }
        MoveTo(x, line);
        Pixels(frame, y, x, end);
        x = end;
      }
    }
    Emit(0, 1);
    return m_out;
  }

 private:
  void Emit(int a, int b) {
    m_out.push_back(static_cast<std::uint8_t>(a));
    m_out.push_back(static_cast<std::uint8_t>(b));
  }

  void MoveTo(int x, int line) {
    if (line > m_y && x < m_x) {
      Emit(0, 0);
      m_x = 0;
      ++m_y;
    }
    while (x > m_x || line > m_y) {
      const int dx = std::min(255, x - m_x);
      const int dy = std::min(255, line - m_y);
      Emit(0, 2);
      Emit(dx, dy);
      m_x += dx;
      m_y += dy;
    }
  }

  // Runs of three or more as runs, anything else in absolute mode (which
  // needs at least three pixels; shorter leftovers become runs of one).
  void Pixels(const Canvas& frame, int y, int from, int to) {
    std::vector<int> literal;
    const auto Flush = [&]() {
      if (literal.size() >= 3) {
        Emit(0, static_cast<int>(literal.size()));
        for (const int index : literal) {
          m_out.push_back(static_cast<std::uint8_t>(index));
        }
        if (literal.size() % 2 != 0) {
          m_out.push_back(0);
        }
      } else {
        for (const int index : literal) {
          Emit(1, index);
        }
      }
      literal.clear();
    };
    int x = from;
    while (x < to) {
      int run = 1;
      while (x + run < to && run < 255 && frame.At(x + run, y) == frame.At(x, y)) {
        ++run;
      }
      if (run >= 3) {
        Flush();
        Emit(run, frame.At(x, y));
      } else {
        for (int i = 0; i < run; ++i) {
          literal.push_back(frame.At(x + i, y));
          if (literal.size() == 255) {
            Flush();
          }
        }
      }
      x += run;
    }
    Flush();
    m_x = to;
  }

  Bytes m_out;
  int m_x = 0;
  int m_y = 0;
};

}  // namespace

Bytes IconFile(const Picture& sixteen, const Picture& full) {
  const Bytes images[2] = {IconImage(sixteen, 4), IconImage(full, 8)};
  ByteWriter out;
  out.U16(0);
  out.U16(1);
  out.U16(2);
  std::uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    out.U8(32);
    out.U8(32);
    out.U8(i == 0 ? 16 : 0);
    out.U8(0);
    out.U16(1);
    out.U16(i == 0 ? 4 : 8);
    out.U32(static_cast<std::uint32_t>(images[i].size()));
    out.U32(offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const Bytes& image : images) {
    out.Append(image);
  }
  return out.Get();
}

Bytes AviFile(const std::vector<Canvas>& frames, const Palette& palette) {
  const int width = frames.front().Width();
  const int height = frames.front().Height();
  const auto count = static_cast<std::uint32_t>(frames.size());
  std::vector<Bytes> encoded;
  Rle8Encoder encoder;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    encoded.push_back(encoder.Encode(i == 0 ? nullptr : &frames[i - 1], frames[i]));
  }
  std::uint32_t largest = 0;
  for (const Bytes& frame : encoded) {
    largest = std::max(largest, static_cast<std::uint32_t>(frame.size()));
  }

  ByteWriter out;
  const std::size_t riff = out.BeginList("RIFF", "AVI ");
  const std::size_t headers = out.BeginList("LIST", "hdrl");
  const std::size_t mainHeader = out.Begin("avih");
  out.U32(kMicroSecPerFrame);
  out.U32(largest * kFramesPerSecond);
  out.U32(0);
  out.U32(0x10);  // AVIF_HASINDEX
  out.U32(count);
  out.U32(0);
  out.U32(1);
  out.U32(largest);
  out.U32(static_cast<std::uint32_t>(width));
  out.U32(static_cast<std::uint32_t>(height));
  for (int i = 0; i < 4; ++i) {
    out.U32(0);
  }
  out.End(mainHeader);
  const std::size_t streamList = out.BeginList("LIST", "strl");
  const std::size_t streamHeader = out.Begin("strh");
  out.Code("vids");
  out.Code("RLE ");
  out.U32(0);
  out.U16(0);
  out.U16(0);
  out.U32(0);
  out.U32(1);
  out.U32(kFramesPerSecond);
  out.U32(0);
  out.U32(count);
  out.U32(largest);
  out.U32(0xFFFFFFFF);
  out.U32(0);
  out.U16(0);
  out.U16(0);
  out.U16(static_cast<std::uint32_t>(width));
  out.U16(static_cast<std::uint32_t>(height));
  out.End(streamHeader);
  const std::size_t format = out.Begin("strf");
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(width));
  out.U32(static_cast<std::uint32_t>(height));
  out.U16(1);
  out.U16(8);
  out.U32(1);  // BI_RLE8
  out.U32(static_cast<std::uint32_t>((width + 3) / 4 * 4 * height));
  out.U32(0);
  out.U32(0);
  out.U32(256);
  out.U32(0);
  WritePalette(out, palette, 256);
  out.End(format);
  out.End(streamList);
  out.End(headers);

  const std::size_t movie = out.BeginList("LIST", "movi");
  const std::size_t movieStart = movie + 4;
  std::vector<std::uint32_t> offsets;
  for (const Bytes& frame : encoded) {
    offsets.push_back(static_cast<std::uint32_t>(out.Size() - movieStart));
    const std::size_t chunk = out.Begin("00dc");
    out.Append(frame);
    out.End(chunk);
  }
  out.End(movie);
  const std::size_t index = out.Begin("idx1");
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    out.Code("00dc");
    out.U32(i == 0 ? 0x10 : 0);  // AVIIF_KEYFRAME
    out.U32(offsets[i]);
    out.U32(static_cast<std::uint32_t>(encoded[i].size()));
  }
  out.End(index);
  out.End(riff);
  return out.Get();
}

bool ReadsBack(const Bytes& file, const std::vector<Canvas>& frames) {
  auto clip = ParseAviClip(file);
  if (!clip || clip->frames.size() != frames.size() || clip->microSecPerFrame != kMicroSecPerFrame) {
    return false;
  }
  ClipPlayer player(std::move(*clip));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    player.Seek(static_cast<int>(i));
    const Canvas& frame = frames[i];
    for (int y = 0; y < frame.Height(); ++y) {
      for (int x = 0; x < frame.Width(); ++x) {
        if (player.Pixels()[static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.Width()) +
                            static_cast<std::size_t>(x)] != frame.At(x, y)) {
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace make_assets
