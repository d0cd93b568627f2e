// Draws the program's icons and animation clips and writes them into a folder:
//   penguin.ico  icon 130: a penguin's face, black with yellow crests and an orange beak
//   boy.ico      icon 131: a cartoon boy's face under a red cap
//   turtle.avi   clip 134: a small turtle walking on magenta, 70 x 70, 29 frames
//   room.avi     clip 136: a ball bouncing in a dark room, 387 x 290, 159 frames
// Each icon holds a 32 x 32 16-colour and a 32 x 32 256-colour image; each clip
// is 24 frames a second of BI_RLE8 frames, the first whole, the others only
// what changed. Nothing is random and no maths library call is made (sine is
// our own series), so every run on every host writes the same bytes.
//
// Usage: make_assets <folder>
// Before writing, every clip is read back with the program's own clip reader
// and compared frame by frame with what was drawn.

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/make_assets/clips.h"
#include "tools/make_assets/file_formats.h"
#include "tools/make_assets/icons.h"

namespace {

using make_assets::Bytes;
using make_assets::Clip;

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "make_assets: cannot write " << path << "\n";
    return false;
  }
  return true;
}

bool WriteClip(const std::string& path, const Clip& clip) {
  const Bytes file = make_assets::AviFile(clip.frames, clip.palette);
  if (!make_assets::ReadsBack(file, clip.frames)) {
    std::cerr << "make_assets: " << path << " does not read back as drawn\n";
    return false;
  }
  return WriteFile(path, file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_assets <folder>\n";
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const bool ok =
      WriteFile(folder + "penguin.ico",
                make_assets::IconFile(make_assets::DrawPenguin(false), make_assets::DrawPenguin(true))) &&
      WriteFile(folder + "boy.ico", make_assets::IconFile(make_assets::DrawBoy(false), make_assets::DrawBoy(true))) &&
      WriteClip(folder + "turtle.avi", make_assets::DrawTurtle()) &&
      WriteClip(folder + "room.avi", make_assets::DrawRoom());
  return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
