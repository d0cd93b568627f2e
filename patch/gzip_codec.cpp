#include "patch/gzip_codec.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <new>

namespace {

// zlib counts in 32-bit units; longer input is fed in pieces of this size.
constexpr std::size_t kMaxFeed = std::size_t{1} << 30;
constexpr int kGzipWindowBits = 16 + MAX_WBITS;  // gzip wrapper, not zlib's
constexpr std::size_t kChunkSize = 64 * 1024;

class InflateStream {
 public:
  InflateStream() {
    if (inflateInit2(&m_stream, kGzipWindowBits) != Z_OK) throw std::bad_alloc();
  }
  ~InflateStream() { inflateEnd(&m_stream); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  z_stream* get() { return &m_stream; }

 private:
  z_stream m_stream{};
};

class DeflateStream {
 public:
  DeflateStream() {
    if (deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::bad_alloc();
    // zlib would name the system it was built for (Unix 3, Windows 10) in
    // the header; a fixed one makes both builds write the same bytes.
    m_header.os = 3;
    deflateSetHeader(&m_stream, &m_header);
  }
  ~DeflateStream() { deflateEnd(&m_stream); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream* get() { return &m_stream; }

 private:
  z_stream m_stream{};
  gz_header m_header{};  // read by zlib until the stream ends
};

Bytef* InputBytes(std::string_view bytes) {
  // zlib's input pointer is not const, but zlib never writes through it.
  return reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
}

// Hands zlib the next piece of `rest` when it has used up the last one.
void Feed(z_stream* stream, std::string_view* rest) {
  if (stream->avail_in != 0 || rest->empty()) return;
  std::size_t piece = std::min(rest->size(), kMaxFeed);
  stream->next_in = InputBytes(*rest);
  stream->avail_in = static_cast<uInt>(piece);
  rest->remove_prefix(piece);
}

// The input zlib has not consumed yet: what it holds plus what was not fed.
std::size_t Unconsumed(const z_stream* stream, std::string_view rest) { return stream->avail_in + rest.size(); }

// The size a single-member file gives in its trailer, as a first guess for
// the output buffer. Never beyond `limit` nor what deflate can possibly
// expand the input to, so a damaged trailer cannot reserve much.
std::size_t SizeHint(std::string_view bytes, std::size_t limit) {
  constexpr std::size_t kMaxDeflateRatio = 1032;
  if (bytes.size() < 18) return 0;
  const auto* tail = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 4);
  std::size_t size =
      tail[0] | (std::size_t{tail[1]} << 8) | (std::size_t{tail[2]} << 16) | (std::size_t{tail[3]} << 24);
  return std::min({size, limit, bytes.size() * kMaxDeflateRatio});
}

}  // namespace

bool IsGzipped(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
         static_cast<unsigned char>(bytes[1]) == 0x8B;
}

std::optional<std::string> Gunzip(std::string_view bytes, std::size_t limit) {
  if (!IsGzipped(bytes)) return std::nullopt;
  InflateStream inflater;
  z_stream* stream = inflater.get();
  std::string out;
  out.reserve(SizeHint(bytes, limit));
  std::array<char, kChunkSize> chunk;
  std::string_view rest = bytes;
  for (;;) {
    Feed(stream, &rest);
    stream->next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream->avail_out = static_cast<uInt>(chunk.size());
    int rc = inflate(stream, Z_NO_FLUSH);
    std::size_t produced = chunk.size() - stream->avail_out;
    if (produced > limit - out.size()) return std::nullopt;
    out.append(chunk.data(), produced);
    if (rc == Z_STREAM_END) {
      std::size_t left = Unconsumed(stream, rest);
      if (left == 0) return out;
      // Another member may follow; anything else is trailing data that a
      // rewrite would drop, so the file is not one to touch.
      Feed(stream, &rest);
      if (stream->avail_in < 2 || stream->next_in[0] != 0x1F || stream->next_in[1] != 0x8B) return std::nullopt;
      if (inflateReset(stream) != Z_OK) return std::nullopt;
      continue;
    }
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc == Z_BUF_ERROR && Unconsumed(stream, rest) == 0) return std::nullopt;  // truncated
    if (rc != Z_OK && rc != Z_BUF_ERROR) return std::nullopt;                     // bad data, CRC, method, dictionary
  }
}

std::string Gzip(std::string_view text) {
  DeflateStream deflater;
  z_stream* stream = deflater.get();
  std::string out;
  out.reserve(text.size() / 4 + 64);
  std::array<char, kChunkSize> chunk;
  std::string_view rest = text;
  for (;;) {
    Feed(stream, &rest);
    stream->next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream->avail_out = static_cast<uInt>(chunk.size());
    int flush = rest.empty() ? Z_FINISH : Z_NO_FLUSH;
    int rc = deflate(stream, flush);
    out.append(chunk.data(), chunk.size() - stream->avail_out);
    if (rc == Z_STREAM_END) return out;
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  }
}
