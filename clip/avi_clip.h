#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Reading the animation clips the program carries: RIFF 'AVI ' files with one
// video stream of 8-bit run-length-encoded frames (BI_RLE8) and a palette,
// which is what the platform's animation control plays. The window side is
// qt/animation_control.h; the clips themselves are embedded as ":/clips/134"
// and ":/clips/136" (qt/assets.qrc).

// A palette entry (the file stores it as blue, green, red, reserved).
struct ClipColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const ClipColour&) const = default;
};

// The parts of a clip needed to play it.
struct AviClip {
  int width = 0;
  int height = 0;
  // From the main header; derived from the stream's rate when that is zero.
  std::uint32_t microSecPerFrame = 0;
  // Entries the clip does not give stay black.
  std::array<ClipColour, 256> palette{};
  // The encoded frames of the video stream, in the order of the 'movi' list.
  std::vector<std::vector<std::uint8_t>> frames;
};

// Clips larger than this on either side are refused.
inline constexpr int kMaxClipSide = 2048;

// Reads the clip in `bytes`. nullopt when it is not one we can play: no RIFF
// 'AVI ' form, a chunk running past its list, no main header, no video
// stream with an 8-bit BI_RLE8 bottom-up BITMAPINFOHEADER and its palette,
// a size of zero or above kMaxClipSide, no frame time, no frame, or a frame
// whose data is cut short (every frame is decoded once to make sure). The
// stream handler and the 'idx1' index are not looked at, and palette-change
// chunks are skipped.
std::optional<AviClip> ParseAviClip(std::span<const std::uint8_t> bytes);

// Draws one BI_RLE8 frame over `pixels`: width x height palette indices, the
// top row first (the data itself runs bottom-up). Pixels the frame does not
// reach keep their values; runs past the right or top edge are cut off. End
// of data counts as end of bitmap. Returns false when a run or escape is cut
// short by the end of the data; what came before it stays drawn.
bool DecodeRle8Frame(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& pixels);

// Plays a clip's frames onto one picture, each drawn over the one before.
// Frame 0 is drawn over a picture of index 0, so every pass of a repeating
// clip looks the same.
class ClipPlayer {
 public:
  // Shows frame 0.
  explicit ClipPlayer(AviClip clip);

  const AviClip& Clip() const { return m_clip; }
  int FrameCount() const { return static_cast<int>(m_clip.frames.size()); }
  int CurrentFrame() const { return m_current; }
  // width x height palette indices, top row first.
  const std::vector<std::uint8_t>& Pixels() const { return m_pixels; }

  // Shows `frame`, decoding forward from the current frame or from frame 0.
  // False (and nothing changes) when it is out of range.
  bool Seek(int frame);
  // Shows the next frame, after the last one frame 0 again.
  void Advance();

 private:
  void Restart();

  AviClip m_clip;
  std::vector<std::uint8_t> m_pixels;
  int m_current = 0;
};
