#include "clip/avi_clip.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t FourCc(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

constexpr std::uint32_t kBiRle8 = 1;
constexpr std::size_t kBitmapInfoHeaderSize = 40;

std::uint16_t U16(Bytes bytes, std::size_t at) { return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8); }

std::uint32_t U32(Bytes bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t I32(Bytes bytes, std::size_t at) { return static_cast<std::int32_t>(U32(bytes, at)); }

struct Chunk {
  std::uint32_t id = 0;
  Bytes data;
};

// The chunks of a list's body. Fewer than eight bytes left at the end (a
// missing pad byte, say) are ignored; a chunk claiming more bytes than its
// list holds makes the whole list unreadable.
std::optional<std::vector<Chunk>> SplitChunks(Bytes body) {
  std::vector<Chunk> chunks;
  std::size_t at = 0;
  while (at + 8 <= body.size()) {
    const std::uint32_t size = U32(body, at + 4);
    if (size > body.size() - at - 8) {
      return std::nullopt;
    }
    chunks.push_back({U32(body, at), body.subspan(at + 8, size)});
    at += 8 + static_cast<std::size_t>(size) + (size & 1U);
  }
  return chunks;
}

// The body of the first "LIST" of `type` in `chunks`, after its type code.
std::optional<Bytes> FindList(const std::vector<Chunk>& chunks, std::uint32_t type) {
  for (const Chunk& chunk : chunks) {
    if (chunk.id == FourCc("LIST") && chunk.data.size() >= 4 && U32(chunk.data, 0) == type) {
      return chunk.data.subspan(4);
    }
  }
  return std::nullopt;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, std::uint32_t id) {
  const auto found = std::find_if(chunks.begin(), chunks.end(), [id](const Chunk& chunk) { return chunk.id == id; });
  return found == chunks.end() ? nullptr : &*found;
}

// Frame chunks are named by their stream's number in two hex digits.
std::uint32_t FrameChunkId(int stream) {
  constexpr char kHex[] = "0123456789ABCDEF";
  return static_cast<std::uint32_t>(static_cast<unsigned char>(kHex[(stream >> 4) & 0xF])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(kHex[stream & 0xF])) << 8 | FourCc("\0\0dc");
}

struct VideoStream {
  int number = 0;
  std::uint32_t scale = 0;
  std::uint32_t rate = 0;
  Bytes format;  // the stream's 'strf': a BITMAPINFOHEADER and its palette
};

// The first stream whose header says 'vids', with its number.
std::optional<VideoStream> FindVideoStream(const std::vector<Chunk>& headerChunks) {
  int number = 0;
  for (const Chunk& chunk : headerChunks) {
    if (chunk.id != FourCc("LIST") || chunk.data.size() < 4 || U32(chunk.data, 0) != FourCc("strl")) {
      continue;
    }
    const auto streamChunks = SplitChunks(chunk.data.subspan(4));
    if (!streamChunks) {
      return std::nullopt;
    }
    const Chunk* header = FindChunk(*streamChunks, FourCc("strh"));
    const Chunk* format = FindChunk(*streamChunks, FourCc("strf"));
    if (header != nullptr && header->data.size() >= 28 && U32(header->data, 0) == FourCc("vids")) {
      if (format == nullptr || number > 0xFF) {
        return std::nullopt;
      }
      return VideoStream{number, U32(header->data, 20), U32(header->data, 24), format->data};
    }
    ++number;
  }
  return std::nullopt;
}

// Size and palette from the stream format. Only bottom-up 8-bit BI_RLE8.
bool ReadFormat(Bytes format, AviClip& clip) {
  if (format.size() < kBitmapInfoHeaderSize) {
    return false;
  }
  const std::uint32_t headerSize = U32(format, 0);
  const std::int32_t width = I32(format, 4);
  const std::int32_t height = I32(format, 8);
  std::uint32_t colours = U32(format, 32);
  if (colours == 0) {
    colours = 256;
  }
  if (headerSize < kBitmapInfoHeaderSize || headerSize > format.size() || U16(format, 14) != 8 ||
      U32(format, 16) != kBiRle8 || width <= 0 || width > kMaxClipSide || height <= 0 || height > kMaxClipSide ||
      colours > 256 || (format.size() - headerSize) / 4 < colours) {
    return false;
  }
  clip.width = width;
  clip.height = height;
  for (std::uint32_t i = 0; i < colours; ++i) {
    const std::size_t at = headerSize + 4 * static_cast<std::size_t>(i);
    clip.palette[i] = ClipColour{format[at + 2], format[at + 1], format[at]};
  }
  return true;
}

// The stream's frames in file order, looking one level into 'rec ' lists.
bool CollectFrames(Bytes movie, std::uint32_t frameId, bool inRecord, AviClip& clip) {
  const auto chunks = SplitChunks(movie);
  if (!chunks) {
    return false;
  }
  for (const Chunk& chunk : *chunks) {
    if (chunk.id == frameId) {
      clip.frames.emplace_back(chunk.data.begin(), chunk.data.end());
    } else if (!inRecord && chunk.id == FourCc("LIST") && chunk.data.size() >= 4 &&
               U32(chunk.data, 0) == FourCc("rec ")) {
      if (!CollectFrames(chunk.data.subspan(4), frameId, true, clip)) {
        return false;
      }
    }
  }
  return true;
}

std::uint32_t FrameTime(std::uint32_t microSecPerFrame, const VideoStream& stream) {
  if (microSecPerFrame != 0 || stream.rate == 0) {
    return microSecPerFrame;
  }
  const std::uint64_t derived = (std::uint64_t{stream.scale} * 1000000U + stream.rate / 2) / stream.rate;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(derived, UINT32_MAX));
}

bool AllFramesDecode(const AviClip& clip) {
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(clip.width) * static_cast<std::size_t>(clip.height));
  return std::all_of(clip.frames.begin(), clip.frames.end(),
                     [&](const auto& frame) { return DecodeRle8Frame(frame, clip.width, clip.height, scratch); });
}

}  // namespace

std::optional<AviClip> ParseAviClip(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12 || U32(bytes, 0) != FourCc("RIFF") || U32(bytes, 8) != FourCc("AVI ")) {
    return std::nullopt;
  }
  const std::uint32_t riffSize = U32(bytes, 4);
  if (riffSize < 4 || riffSize > bytes.size() - 8) {
    return std::nullopt;
  }
  const auto topChunks = SplitChunks(bytes.subspan(12, riffSize - 4));
  if (!topChunks) {
    return std::nullopt;
  }
  const auto headerList = FindList(*topChunks, FourCc("hdrl"));
  const auto movieList = FindList(*topChunks, FourCc("movi"));
  if (!headerList || !movieList) {
    return std::nullopt;
  }
  const auto headerChunks = SplitChunks(*headerList);
  if (!headerChunks) {
    return std::nullopt;
  }
  const Chunk* mainHeader = FindChunk(*headerChunks, FourCc("avih"));
  const auto stream = FindVideoStream(*headerChunks);
  if (mainHeader == nullptr || mainHeader->data.size() < 40 || !stream) {
    return std::nullopt;
  }
  AviClip clip;
  clip.microSecPerFrame = FrameTime(U32(mainHeader->data, 0), *stream);
  if (clip.microSecPerFrame == 0 || !ReadFormat(stream->format, clip) ||
      !CollectFrames(*movieList, FrameChunkId(stream->number), false, clip) || clip.frames.empty() ||
      !AllFramesDecode(clip)) {
    return std::nullopt;
  }
  return clip;
}

bool DecodeRle8Frame(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& pixels) {
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return false;
  }
  // x stops at the right edge: nothing more of that row can be drawn, and a
  // long chain of deltas cannot make it overflow. y counts from the bottom.
  int x = 0;
  int y = 0;
  const auto Draw = [&](std::span<const std::uint8_t> source, std::size_t count, bool repeat) {
    const std::size_t room = static_cast<std::size_t>(width - x);
    const std::size_t drawn = std::min(count, room);
    std::uint8_t* row = pixels.data() + static_cast<std::size_t>(height - 1 - y) * width;
    for (std::size_t i = 0; i < drawn; ++i) {
      row[x + i] = repeat ? source[0] : source[i];
    }
    x += static_cast<int>(drawn);
  };
  std::size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < 2) {
      return false;
    }
    const std::uint8_t count = data[at];
    const std::uint8_t code = data[at + 1];
    at += 2;
    if (count > 0) {
      Draw(data.subspan(at - 1, 1), count, true);
      continue;
    }
    switch (code) {
      case 0:  // end of line
        x = 0;
        if (++y >= height) {
          return true;
        }
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta: right and up from here
        if (data.size() - at < 2) {
          return false;
        }
        x = std::min(x + data[at], width);
        y += data[at + 1];
        at += 2;
        if (y >= height) {
          return true;
        }
        break;
      default:  // absolute: `code` indices, padded to a whole word
        if (data.size() - at < code) {
          return false;
        }
        Draw(data.subspan(at, code), code, false);
        at += code + (code & 1U);
        break;
    }
  }
  return true;
}

ClipPlayer::ClipPlayer(AviClip clip) : m_clip(std::move(clip)) { Restart(); }

bool ClipPlayer::Seek(int frame) {
  if (frame < 0 || frame >= FrameCount()) {
    return false;
  }
  if (frame < m_current) {
    Restart();
  }
  while (m_current < frame) {
    ++m_current;
    DecodeRle8Frame(m_clip.frames[static_cast<std::size_t>(m_current)], m_clip.width, m_clip.height, m_pixels);
  }
  return true;
}

void ClipPlayer::Advance() {
  if (m_current + 1 >= FrameCount()) {
    Restart();
  } else {
    Seek(m_current + 1);
  }
}

void ClipPlayer::Restart() {
  m_pixels.assign(static_cast<std::size_t>(m_clip.width) * static_cast<std::size_t>(m_clip.height), 0);
  m_current = 0;
  if (!m_clip.frames.empty()) {
    DecodeRle8Frame(m_clip.frames.front(), m_clip.width, m_clip.height, m_pixels);
  }
}
