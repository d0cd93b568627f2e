#include "tools/make_assets/icons.h"

#include <vector>

namespace make_assets {

// Index 0 is black in every icon palette: transparent pixels are index 0
// under a set mask bit, which leaves the screen as it was.
Picture DrawPenguin(bool rich) {
  Picture picture{Canvas(32, 32, kEmpty), {}};
  Palette& palette = picture.palette;
  Canvas& canvas = picture.canvas;
  const int shades = rich ? 5 : 1;
  const int black = palette.Add({0, 0, 0});
  const int head = palette.Ramp({0, 0, 0}, {64, 68, 86}, shades);
  const int white = palette.Ramp(rich ? Rgb{200, 204, 216} : Rgb{255, 255, 255}, {255, 255, 255}, rich ? 3 : 1);
  const int crest = palette.Ramp({255, 200, 0}, {255, 250, 140}, rich ? 4 : 1);
  const int crestInk = palette.Add({150, 100, 0});
  const int beak = palette.Ramp({240, 110, 0}, {255, 190, 90}, rich ? 4 : 1);
  const int beakInk = palette.Add({120, 45, 0});
  const int iris = palette.Add({200, 20, 30});

  canvas.FillOutlined(Ellipse(16, 17, 13.6, 13.6), Shaded(head, shades, {9, 8}, 16), black);
  // White breast feathers showing under the chin.
  canvas.Fill(Intersect(Ellipse(16, 34, 11, 8.5), Ellipse(16, 17, 13.6, 13.6)),
              Shaded(white, rich ? 3 : 1, {16, 29}, 6));

  const std::vector<Point> leftCrest = {{14.5, 12.5}, {11, 10.5},  {7, 8.5},    {2.5, 2.5}, {7.5, 10},   {1, 7.5},
                                        {5.5, 12.5},  {1.5, 13.5}, {7.5, 14.5}, {11, 14.5}, {14.5, 14.5}};
  for (const auto& points : {leftCrest, Mirror(leftCrest, 32)}) {
    canvas.FillOutlined(Polygon(points), Shaded(crest, rich ? 4 : 1, {16, 12}, 16), crestInk);
  }

  for (const double eyeX : {11.5, 20.5}) {
    canvas.FillOutlined(Ellipse(eyeX, 17.5, 2.6, 2.6), Solid(white + (rich ? 2 : 0)), black);
    canvas.Fill(Ellipse(eyeX + (eyeX < 16 ? 0.5 : -0.5), 18, 1.5, 1.5), Solid(iris));
    canvas.Fill(Ellipse(eyeX + (eyeX < 16 ? 0.5 : -0.5), 18, 0.75, 0.75), Solid(black));
  }

  const std::vector<Point> beakPoints = {{12, 20.5}, {20, 20.5}, {18.5, 23.5}, {16, 27.5}, {13.5, 23.5}};
  canvas.FillOutlined(Polygon(beakPoints), Shaded(beak, rich ? 4 : 1, {14, 21}, 7), beakInk);
  canvas.Fill(Stroke({13.5, 23}, {18.5, 23}, 0.9), Solid(beakInk));
  return picture;
}

Picture DrawBoy(bool rich) {
  Picture picture{Canvas(32, 32, kEmpty), {}};
  Palette& palette = picture.palette;
  Canvas& canvas = picture.canvas;
  const int shades = rich ? 5 : 1;
  const int black = palette.Add({0, 0, 0});
  const int skin = palette.Ramp({236, 170, 120}, {255, 228, 196}, shades);
  const int red = palette.Ramp({200, 0, 0}, {255, 110, 100}, shades);
  const int brim = palette.Ramp({140, 0, 0}, {200, 20, 20}, rich ? 3 : 1);
  const int white = palette.Add({255, 255, 255});
  const int hair = palette.Ramp({110, 60, 20}, {160, 100, 40}, rich ? 2 : 1);
  const int cheek = palette.Add({250, 130, 130});
  const int mouth = palette.Add({170, 30, 40});
  const int nose = palette.Add({215, 140, 95});

  for (const double earX : {5.5, 26.5}) {
    canvas.FillOutlined(Ellipse(earX, 20, 2.5, 3), Solid(skin + (rich ? 1 : 0)), black);
  }
  canvas.FillOutlined(Ellipse(16, 19.5, 11, 10.5), Shaded(skin, shades, {13, 16}, 14), black);

  const std::vector<Point> leftHair = {{5, 12},     {11, 12},    {9.5, 14.5}, {8.5, 13.8},
                                       {7.8, 16.5}, {6.8, 14.5}, {5.3, 16}};
  for (const auto& points : {leftHair, Mirror(leftHair, 32)}) {
    canvas.FillOutlined(Polygon(points), Shaded(hair, rich ? 2 : 1, {8, 12}, 5), black);
  }

  canvas.FillOutlined(Intersect(Ellipse(16, 13, 12.5, 11.5), Rectangle(0, 0, 32, 13)), Shaded(red, shades, {11, 4}, 14),
                      black);
  canvas.FillOutlined(Ellipse(16, 2.3, 1.6, 1.3), Solid(brim), black);
  canvas.FillOutlined(Ellipse(16, 8, 2.6, 2.6), Solid(white), black);
  canvas.Fill(Rectangle(15, 7, 17, 9), Solid(red));
  canvas.FillOutlined(Intersect(Ellipse(16, 12.5, 14.5, 4.5), Rectangle(0, 12.5, 32, 32)),
                      Shaded(brim, rich ? 3 : 1, {16, 13}, 12), black);

  for (const double eyeX : {12, 20}) {
    canvas.Fill(Ellipse(eyeX, 20.5, 1.3, 2), Solid(black));
    canvas.Fill(Rectangle(eyeX - 1, 19, eyeX, 20), Solid(white));
  }
  for (const double cheekX : {8.5, 23.5}) {
    canvas.Fill(Ellipse(cheekX, 24, 1.8, 1.2), Solid(cheek));
  }
  canvas.Fill(Ellipse(16, 23, 1.3, 1), Solid(nose));
  canvas.FillOutlined(Intersect(Ellipse(16, 25, 4, 2.8), Rectangle(0, 25, 32, 32)), Solid(mouth), black);
  return picture;
}

}  // namespace make_assets
