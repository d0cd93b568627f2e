#include <algorithm>
#include <utility>
#include <vector>

#include "tools/make_assets/clips.h"

namespace make_assets {

Clip DrawTurtle() {
  constexpr int kFrames = 29;
  Clip clip;
  Palette& palette = clip.palette;
  const int magenta = palette.Add({255, 0, 255});
  const int ink = palette.Add({16, 24, 16});
  const int shell = palette.Ramp({40, 120, 30}, {130, 200, 70}, 4);
  const int scute = palette.Ramp({25, 85, 25}, {60, 130, 40}, 3);
  const int rim = palette.Add({200, 190, 90});
  const int skin = palette.Ramp({110, 180, 70}, {180, 230, 120}, 4);
  const int farSkin = palette.Add({80, 140, 55});
  const int white = palette.Add({255, 255, 255});
  const int cheek = palette.Add({240, 140, 120});

  for (int f = 0; f < kFrames; ++f) {
    Canvas canvas(70, 70, magenta);
    const double phase = 2 * kPi * f / kFrames;
    const double bob = Sine(2 * phase) > 0.3 ? 1 : 0;  // whole pixels keep the shell crisp
    const double nod = 1.2 * Sine(2 * phase + 0.8);
    const auto Leg = [&](double x, double legPhase, int brush) {
      const double swing = 3.2 * Sine(legPhase);
      const double lift = 1.6 * std::max(0.0, Cosine(legPhase));
      canvas.FillOutlined(Ellipse(x + swing, 46.5 - lift, 4.2, 6), Solid(brush), ink);
    };
    // Far legs, then the tail, shell and head, then the near legs.
    Leg(24, phase, farSkin);
    Leg(47, phase + kPi, farSkin);
    canvas.FillOutlined(Polygon({{7, 39 + bob}, {16, 35 + bob}, {16, 41 + bob}}), Solid(skin + 1), ink);
    canvas.FillOutlined(Stroke({48, 37 + bob}, {56, 30 + nod}, 7), Solid(skin + 1), ink);
    canvas.FillOutlined(Ellipse(58, 27 + nod, 8, 7), Shaded(skin, 4, {56, 23 + nod}, 9), ink);
    const bool blink = f == 17 || f == 18;
    if (blink) {
      canvas.Fill(Stroke({58.5, 25 + nod}, {63, 25 + nod}, 1.2), Solid(ink));
    } else {
      canvas.FillOutlined(Ellipse(60.5, 24.5 + nod, 2.6, 2.8), Solid(white), ink);
      canvas.Fill(Ellipse(61.5, 25 + nod, 1.2, 1.5), Solid(ink));
    }
    canvas.Fill(Ellipse(60, 30 + nod, 1.6, 1), Solid(cheek));
    canvas.Fill(Stroke({61.5, 31.6 + nod}, {65, 30.3 + nod}, 1), Solid(ink));

    const double top = 39 + bob;
    canvas.FillOutlined(Intersect(Ellipse(33, top, 21, 19), Rectangle(0, 0, 70, top)),
                        Shaded(shell, 4, {26, top - 14}, 22), ink);
    const std::vector<Point> middle = {{28, top - 12},  {38, top - 12},  {42, top - 5},
                                       {38, top - 1.5}, {28, top - 1.5}, {24, top - 5}};
    canvas.FillOutlined(Polygon(middle), Shaded(scute, 3, {31, top - 10}, 9), ink);
    canvas.FillOutlined(Polygon({{18, top - 13}, {25, top - 15}, {22, top - 6}, {16, top - 3.5}}),
                        Shaded(scute, 3, {20, top - 12}, 9), ink);
    canvas.FillOutlined(Polygon({{48, top - 13}, {41, top - 15}, {44, top - 6}, {50, top - 3.5}}),
                        Shaded(scute, 3, {45, top - 12}, 9), ink);
    canvas.FillOutlined(Rectangle(11.5, top - 0.5, 54.5, top + 3), Solid(rim), ink);

    Leg(18, phase + kPi, skin + 1);
    Leg(41, phase, skin + 1);
    clip.frames.push_back(std::move(canvas));
  }
  return clip;
}

}  // namespace make_assets
