#pragma once

// The program's two animation clips, frame by frame.

#include <vector>

#include "tools/make_assets/drawing.h"

namespace make_assets {

struct Clip {
  std::vector<Canvas> frames;
  Palette palette;
};

// Clip 134: a small turtle walking on magenta, 70 x 70, 29 frames.
Clip DrawTurtle();
// Clip 136: a ball bouncing in a dark room, 387 x 290, 159 frames.
Clip DrawRoom();

}  // namespace make_assets
