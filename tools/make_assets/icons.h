#pragma once

// The program's two icons, each drawn for a 16-colour and a 256-colour image.

#include "tools/make_assets/drawing.h"

namespace make_assets {

struct Picture {
  Canvas canvas;
  Palette palette;
};

// Icon 130: a penguin's face, black with yellow crests and an orange beak.
Picture DrawPenguin(bool rich);
// Icon 131: a cartoon boy's face under a red cap.
Picture DrawBoy(bool rich);

}  // namespace make_assets
