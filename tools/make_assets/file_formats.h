#pragma once

// The files the drawings are written as: Windows icon files and RLE8 AVI
// clips, byte for byte as the tool has always written them.

#include <cstdint>
#include <vector>

#include "tools/make_assets/drawing.h"
#include "tools/make_assets/icons.h"

namespace make_assets {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMicroSecPerFrame = 41667;
constexpr std::uint32_t kFramesPerSecond = 24;

// An icon file holding a 16-colour and a 256-colour 32 x 32 image.
Bytes IconFile(const Picture& sixteen, const Picture& full);

// A clip of BI_RLE8 frames at kFramesPerSecond, the first whole, the others
// only what changed.
Bytes AviFile(const std::vector<Canvas>& frames, const Palette& palette);

// Plays the written clip with the program's reader and compares every frame.
bool ReadsBack(const Bytes& file, const std::vector<Canvas>& frames);

}  // namespace make_assets
