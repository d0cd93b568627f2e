// The clip reader on arbitrary bytes. The first byte picks what is fed:
// even, the rest as a whole AVI file, played through once if it parses;
// odd, the rest as one BI_RLE8 frame on a picture whose size the next two
// bytes give. Nothing may crash, and what is read must stay consistent.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "clip/avi_clip.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void FuzzFile(std::span<const std::uint8_t> bytes) {
  auto clip = ParseAviClip(bytes);
  if (!clip) {
    return;
  }
  Check(clip->width > 0 && clip->width <= kMaxClipSide);
  Check(clip->height > 0 && clip->height <= kMaxClipSide);
  Check(!clip->frames.empty() && clip->microSecPerFrame > 0);
  const std::size_t area = static_cast<std::size_t>(clip->width) * static_cast<std::size_t>(clip->height);
  ClipPlayer player(std::move(*clip));
  const int count = player.FrameCount();
  for (int i = 0; i <= count; ++i) {
    player.Advance();
    Check(player.Pixels().size() == area);
  }
  Check(player.CurrentFrame() == 1 % count);
  Check(player.Seek(count - 1) && !player.Seek(count));
}

void FuzzFrame(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) {
    return;
  }
  const int width = 1 + bytes[0] % 64;
  const int height = 1 + bytes[1] % 64;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height), 0);
  DecodeRle8Frame(bytes.subspan(2), width, height, pixels);
  Check(pixels.size() == static_cast<std::size_t>(width * height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    FuzzFile(rest);
  } else {
    FuzzFrame(rest);
  }
  return 0;
}
