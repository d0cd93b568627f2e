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

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "clip/avi_clip.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr double kPi = 3.14159265358979323846;
constexpr std::uint32_t kMicroSecPerFrame = 41667;
constexpr std::uint32_t kFramesPerSecond = 24;
constexpr int kEmpty = -1;  // an icon pixel left transparent

// ---------------------------------------------------------------- arithmetic

// A Taylor series after folding into [-pi/2, pi/2]: only +, -, *, / and floor,
// which IEEE arithmetic computes alike everywhere, unlike the C library's sin.
double Sine(double x) {
  double r = x - std::floor(x / (2 * kPi) + 0.5) * 2 * kPi;
  if (r > kPi / 2) {
    r = kPi - r;
  } else if (r < -kPi / 2) {
    r = -kPi - r;
  }
  const double r2 = r * r;
  double term = r;
  double sum = r;
  for (int n = 1; n <= 10; ++n) {
    term *= -r2 / ((2.0 * n) * (2.0 * n + 1));
    sum += term;
  }
  return sum;
}

double Cosine(double x) { return Sine(x + kPi / 2); }

int Round(double x) { return static_cast<int>(std::floor(x + 0.5)); }

double Clamp01(double x) { return std::clamp(x, 0.0, 1.0); }

// ---------------------------------------------------------------- colours

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
};

Rgb Mix(Rgb from, Rgb to, double t) {
  const auto Channel = [t](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(Round(a + (b - a) * t));
  };
  return {Channel(from.r, to.r), Channel(from.g, to.g), Channel(from.b, to.b)};
}

class Palette {
 public:
  int Add(Rgb colour) {
    m_colours.push_back(colour);
    return static_cast<int>(m_colours.size()) - 1;
  }

  // `count` shades from `base` up to `light`; returns the index of `base`.
  // A ramp of one is `base` alone, which is how the 16-colour images stay flat.
  int Ramp(Rgb base, Rgb light, int count) {
    const int first = static_cast<int>(m_colours.size());
    for (int i = 0; i < count; ++i) {
      Add(count == 1 ? base : Mix(base, light, static_cast<double>(i) / (count - 1)));
    }
    return first;
  }

  const std::vector<Rgb>& Colours() const { return m_colours; }

 private:
  std::vector<Rgb> m_colours;
};

// ---------------------------------------------------------------- drawing

struct Point {
  double x = 0;
  double y = 0;
};

// A region of the plane, tested at pixel centres, with a box it lies in.
struct Shape {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  std::function<bool(double, double)> inside;
};

// The palette index a pixel of a shape gets.
using Brush = std::function<int(double, double)>;

Brush Solid(int index) {
  return [index](double, double) { return index; };
}

// Lighter towards `light`: shade count-1 within `radius`/count of it, the
// base shade at `radius` and beyond.
Brush Shaded(int first, int count, Point light, double radius) {
  return [=](double x, double y) {
    const double distance = std::sqrt((x - light.x) * (x - light.x) + (y - light.y) * (y - light.y));
    const int level = count - 1 - static_cast<int>(std::floor(Clamp01(distance / radius) * count));
    return first + std::clamp(level, 0, count - 1);
  };
}

Shape Ellipse(double cx, double cy, double rx, double ry) {
  return {cx - rx, cy - ry, cx + rx, cy + ry, [=](double x, double y) {
            const double dx = (x - cx) / rx;
            const double dy = (y - cy) / ry;
            return dx * dx + dy * dy <= 1;
          }};
}

Shape Polygon(std::vector<Point> points) {
  Shape shape{points[0].x, points[0].y, points[0].x, points[0].y, nullptr};
  for (const Point& p : points) {
    shape.left = std::min(shape.left, p.x);
    shape.right = std::max(shape.right, p.x);
    shape.top = std::min(shape.top, p.y);
    shape.bottom = std::max(shape.bottom, p.y);
  }
  shape.inside = [points = std::move(points)](double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point& a = points[i];
      const Point& b = points[j];
      if ((a.y > y) != (b.y > y) && x < a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y)) {
        in = !in;
      }
    }
    return in;
  };
  return shape;
}

// A thick line with round ends.
Shape Stroke(Point a, Point b, double width) {
  const double half = width / 2;
  return {std::min(a.x, b.x) - half, std::min(a.y, b.y) - half, std::max(a.x, b.x) + half, std::max(a.y, b.y) + half,
          [=](double x, double y) {
            const double dx = b.x - a.x;
            const double dy = b.y - a.y;
            const double length2 = dx * dx + dy * dy;
            const double t = length2 == 0 ? 0 : Clamp01(((x - a.x) * dx + (y - a.y) * dy) / length2);
            const double ex = x - (a.x + t * dx);
            const double ey = y - (a.y + t * dy);
            return ex * ex + ey * ey <= half * half;
          }};
}

Shape Rectangle(double left, double top, double right, double bottom) {
  return {left, top, right, bottom,
          [=](double x, double y) { return x >= left && x < right && y >= top && y < bottom; }};
}

Shape Intersect(Shape a, Shape b) {
  Shape shape{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom), nullptr};
  shape.inside = [ia = std::move(a.inside), ib = std::move(b.inside)](double x, double y) {
    return ia(x, y) && ib(x, y);
  };
  return shape;
}

Point Mirror(Point p, double width) { return {width - p.x, p.y}; }

std::vector<Point> Mirror(const std::vector<Point>& points, double width) {
  std::vector<Point> mirrored;
  for (const Point& p : points) {
    mirrored.push_back(Mirror(p, width));
  }
  return mirrored;
}

// Palette indices, the top row first.
class Canvas {
 public:
  Canvas(int width, int height, int fill)
      : m_width(width), m_height(height), m_pixels(static_cast<std::size_t>(width * height), fill) {}

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  int At(int x, int y) const { return m_pixels[Offset(x, y)]; }
  void Set(int x, int y, int value) { m_pixels[Offset(x, y)] = value; }
  bool operator==(const Canvas&) const = default;

  void Fill(const Shape& shape, const Brush& brush) {
    ForEachInside(shape, [&](int x, int y) { Set(x, y, brush(x + 0.5, y + 0.5)); });
  }

  // Fills `shape` and rings it with `ink` `thickness` pixels wide, the way a
  // cartoon outlines its shapes.
  void FillOutlined(const Shape& shape, const Brush& brush, int ink, double thickness = 1) {
    const int reach = static_cast<int>(std::ceil(thickness));
    const int x0 = std::max(0, static_cast<int>(std::floor(shape.left)) - reach - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(shape.top)) - reach - 1);
    const int x1 = std::min(m_width, static_cast<int>(std::ceil(shape.right)) + reach + 1);
    const int y1 = std::min(m_height, static_cast<int>(std::ceil(shape.bottom)) + reach + 1);
    if (x0 >= x1 || y0 >= y1) {
      return;
    }
    const int w = x1 - x0;
    std::vector<char> mask(static_cast<std::size_t>(w * (y1 - y0)), 0);
    ForEachInside(shape, [&](int x, int y) { mask[static_cast<std::size_t>((y - y0) * w + x - x0)] = 1; });
    const auto Masked = [&](int x, int y) {
      return x >= x0 && x < x1 && y >= y0 && y < y1 && mask[static_cast<std::size_t>((y - y0) * w + x - x0)];
    };
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (Masked(x, y)) {
          Set(x, y, brush(x + 0.5, y + 0.5));
          continue;
        }
        bool near = false;
        for (int dy = -reach; dy <= reach && !near; ++dy) {
          for (int dx = -reach; dx <= reach && !near; ++dx) {
            near = dx * dx + dy * dy <= thickness * thickness && Masked(x + dx, y + dy);
          }
        }
        if (near) {
          Set(x, y, ink);
        }
      }
    }
  }

 private:
  std::size_t Offset(int x, int y) const { return static_cast<std::size_t>(y * m_width + x); }

  template <typename Visit>
  void ForEachInside(const Shape& shape, Visit visit) {
    const int x0 = std::max(0, static_cast<int>(std::floor(shape.left)));
    const int y0 = std::max(0, static_cast<int>(std::floor(shape.top)));
    const int x1 = std::min(m_width, static_cast<int>(std::ceil(shape.right)) + 1);
    const int y1 = std::min(m_height, static_cast<int>(std::ceil(shape.bottom)) + 1);
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (shape.inside(x + 0.5, y + 0.5)) {
          visit(x, y);
        }
      }
    }
  }

  int m_width;
  int m_height;
  std::vector<int> m_pixels;
};

// ---------------------------------------------------------------- icons

struct Picture {
  Canvas canvas;
  Palette palette;
};

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

// ---------------------------------------------------------------- file writing

class ByteWriter {
 public:
  void U8(std::uint32_t value) { m_bytes.push_back(static_cast<std::uint8_t>(value)); }
  void U16(std::uint32_t value) {
    U8(value);
    U8(value >> 8);
  }
  void U32(std::uint32_t value) {
    U16(value);
    U16(value >> 16);
  }
  void Code(const char (&code)[5]) {
    for (int i = 0; i < 4; ++i) {
      U8(static_cast<unsigned char>(code[i]));
    }
  }
  void Append(const Bytes& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }

  // Starts a chunk and returns where its size goes; End fills it in.
  std::size_t Begin(const char (&id)[5]) {
    Code(id);
    const std::size_t sizeAt = m_bytes.size();
    U32(0);
    return sizeAt;
  }
  std::size_t BeginList(const char (&id)[5], const char (&type)[5]) {
    const std::size_t sizeAt = Begin(id);
    Code(type);
    return sizeAt;
  }
  void End(std::size_t sizeAt) {
    const auto size = static_cast<std::uint32_t>(m_bytes.size() - sizeAt - 4);
    for (int i = 0; i < 4; ++i) {
      m_bytes[sizeAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    if (size % 2 != 0) {
      U8(0);
    }
  }

  std::size_t Size() const { return m_bytes.size(); }
  const Bytes& Get() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

void WritePalette(ByteWriter& out, const Palette& palette, int entries) {
  const std::vector<Rgb>& colours = palette.Colours();
  for (int i = 0; i < entries; ++i) {
    const Rgb c = i < static_cast<int>(colours.size()) ? colours[static_cast<std::size_t>(i)] : Rgb{};
    out.U8(c.b);
    out.U8(c.g);
    out.U8(c.r);
    out.U8(0);
  }
}

// One icon image: BITMAPINFOHEADER of double height, palette, colour bits
// and the AND mask, both bottom-up with rows padded to four bytes.
Bytes IconImage(const Picture& picture, int bits) {
  const Canvas& canvas = picture.canvas;
  const int size = canvas.Width();
  const int colourStride = (size * bits / 8 + 3) / 4 * 4;
  const int maskStride = (size / 8 + 3) / 4 * 4;
  ByteWriter out;
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(size));
  out.U32(static_cast<std::uint32_t>(size * 2));
  out.U16(1);
  out.U16(static_cast<std::uint32_t>(bits));
  out.U32(0);
  out.U32(static_cast<std::uint32_t>((colourStride + maskStride) * size));
  out.U32(0);
  out.U32(0);
  out.U32(0);
  out.U32(0);
  WritePalette(out, picture.palette, 1 << bits);
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(colourStride), 0);
    for (int x = 0; x < size; ++x) {
      const int index = std::max(canvas.At(x, y), 0);
      if (bits == 8) {
        row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(index);
      } else {
        row[static_cast<std::size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
      }
    }
    out.Append(row);
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(maskStride), 0);
    for (int x = 0; x < size; ++x) {
      if (canvas.At(x, y) == kEmpty) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.Append(row);
  }
  return out.Get();
}

Bytes IconFile(const Picture& sixteen, const Picture& full) {
  const Bytes images[2] = {IconImage(sixteen, 4), IconImage(full, 8)};
  ByteWriter out;
  out.U16(0);
  out.U16(1);
  out.U16(2);
  std::uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    out.U8(32);
    out.U8(32);
    out.U8(i == 0 ? 16 : 0);
    out.U8(0);
    out.U16(1);
    out.U16(i == 0 ? 4 : 8);
    out.U32(static_cast<std::uint32_t>(images[i].size()));
    out.U32(offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const Bytes& image : images) {
    out.Append(image);
  }
  return out.Get();
}

// BI_RLE8 of `frame`, drawing only the pixels that differ from `previous`
// (every pixel when there is none) and jumping over the rest.
class Rle8Encoder {
 public:
  Bytes Encode(const Canvas* previous, const Canvas& frame) {
    m_out.clear();
    m_x = 0;
    m_y = 0;
    const int width = frame.Width();
    const int height = frame.Height();
    for (int line = 0; line < height; ++line) {
      const int y = height - 1 - line;
      const auto Changed = [&](int x) { return previous == nullptr || previous->At(x, y) != frame.At(x, y); };
      int x = 0;
      while (x < width) {
        if (!Changed(x)) {
          ++x;
          continue;
        }
        // A jump costs four bytes, so short unchanged gaps are drawn over.
        int end = x + 1;
        for (int gap = 0; end < width; ++end) {
          gap = Changed(end) ? 0 : gap + 1;
          if (gap > 6) {
            end -= gap - 1;
            break;
          }
        }
        while (end > x && !Changed(end - 1)) {
          --end;
        }
        MoveTo(x, line);
        Pixels(frame, y, x, end);
        x = end;
      }
    }
    Emit(0, 1);
    return m_out;
  }

 private:
  void Emit(int a, int b) {
    m_out.push_back(static_cast<std::uint8_t>(a));
    m_out.push_back(static_cast<std::uint8_t>(b));
  }

  void MoveTo(int x, int line) {
    if (line > m_y && x < m_x) {
      Emit(0, 0);
      m_x = 0;
      ++m_y;
    }
    while (x > m_x || line > m_y) {
      const int dx = std::min(255, x - m_x);
      const int dy = std::min(255, line - m_y);
      Emit(0, 2);
      Emit(dx, dy);
      m_x += dx;
      m_y += dy;
    }
  }

  // Runs of three or more as runs, anything else in absolute mode (which
  // needs at least three pixels; shorter leftovers become runs of one).
  void Pixels(const Canvas& frame, int y, int from, int to) {
    std::vector<int> literal;
    const auto Flush = [&]() {
      if (literal.size() >= 3) {
        Emit(0, static_cast<int>(literal.size()));
        for (const int index : literal) {
          m_out.push_back(static_cast<std::uint8_t>(index));
        }
        if (literal.size() % 2 != 0) {
          m_out.push_back(0);
        }
      } else {
        for (const int index : literal) {
          Emit(1, index);
        }
      }
      literal.clear();
    };
    int x = from;
    while (x < to) {
      int run = 1;
      while (x + run < to && run < 255 && frame.At(x + run, y) == frame.At(x, y)) {
        ++run;
      }
      if (run >= 3) {
        Flush();
        Emit(run, frame.At(x, y));
      } else {
        for (int i = 0; i < run; ++i) {
          literal.push_back(frame.At(x + i, y));
          if (literal.size() == 255) {
            Flush();
          }
        }
      }
      x += run;
    }
    Flush();
    m_x = to;
  }

  Bytes m_out;
  int m_x = 0;
  int m_y = 0;
};

Bytes AviFile(const std::vector<Canvas>& frames, const Palette& palette) {
  const int width = frames.front().Width();
  const int height = frames.front().Height();
  const auto count = static_cast<std::uint32_t>(frames.size());
  std::vector<Bytes> encoded;
  Rle8Encoder encoder;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    encoded.push_back(encoder.Encode(i == 0 ? nullptr : &frames[i - 1], frames[i]));
  }
  std::uint32_t largest = 0;
  for (const Bytes& frame : encoded) {
    largest = std::max(largest, static_cast<std::uint32_t>(frame.size()));
  }

  ByteWriter out;
  const std::size_t riff = out.BeginList("RIFF", "AVI ");
  const std::size_t headers = out.BeginList("LIST", "hdrl");
  const std::size_t mainHeader = out.Begin("avih");
  out.U32(kMicroSecPerFrame);
  out.U32(largest * kFramesPerSecond);
  out.U32(0);
  out.U32(0x10);  // AVIF_HASINDEX
  out.U32(count);
  out.U32(0);
  out.U32(1);
  out.U32(largest);
  out.U32(static_cast<std::uint32_t>(width));
  out.U32(static_cast<std::uint32_t>(height));
  for (int i = 0; i < 4; ++i) {
    out.U32(0);
  }
  out.End(mainHeader);
  const std::size_t streamList = out.BeginList("LIST", "strl");
  const std::size_t streamHeader = out.Begin("strh");
  out.Code("vids");
  out.Code("RLE ");
  out.U32(0);
  out.U16(0);
  out.U16(0);
  out.U32(0);
  out.U32(1);
  out.U32(kFramesPerSecond);
  out.U32(0);
  out.U32(count);
  out.U32(largest);
  out.U32(0xFFFFFFFF);
  out.U32(0);
  out.U16(0);
  out.U16(0);
  out.U16(static_cast<std::uint32_t>(width));
  out.U16(static_cast<std::uint32_t>(height));
  out.End(streamHeader);
  const std::size_t format = out.Begin("strf");
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(width));
  out.U32(static_cast<std::uint32_t>(height));
  out.U16(1);
  out.U16(8);
  out.U32(1);  // BI_RLE8
  out.U32(static_cast<std::uint32_t>((width + 3) / 4 * 4 * height));
  out.U32(0);
  out.U32(0);
  out.U32(256);
  out.U32(0);
  WritePalette(out, palette, 256);
  out.End(format);
  out.End(streamList);
  out.End(headers);

  const std::size_t movie = out.BeginList("LIST", "movi");
  const std::size_t movieStart = movie + 4;
  std::vector<std::uint32_t> offsets;
  for (const Bytes& frame : encoded) {
    offsets.push_back(static_cast<std::uint32_t>(out.Size() - movieStart));
    const std::size_t chunk = out.Begin("00dc");
    out.Append(frame);
    out.End(chunk);
  }
  out.End(movie);
  const std::size_t index = out.Begin("idx1");
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    out.Code("00dc");
    out.U32(i == 0 ? 0x10 : 0);  // AVIIF_KEYFRAME
    out.U32(offsets[i]);
    out.U32(static_cast<std::uint32_t>(encoded[i].size()));
  }
  out.End(index);
  out.End(riff);
  return out.Get();
}

// Plays the written clip with the program's reader and compares every frame.
bool ReadsBack(const Bytes& file, const std::vector<Canvas>& frames) {
  auto clip = ParseAviClip(file);
  if (!clip || clip->frames.size() != frames.size() || clip->microSecPerFrame != kMicroSecPerFrame) {
    return false;
  }
  ClipPlayer player(std::move(*clip));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    player.Seek(static_cast<int>(i));
    const Canvas& frame = frames[i];
    for (int y = 0; y < frame.Height(); ++y) {
      for (int x = 0; x < frame.Width(); ++x) {
        if (player.Pixels()[static_cast<std::size_t>(y * frame.Width() + x)] != frame.At(x, y)) {
          return false;
        }
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------- clip 134

struct Clip {
  std::vector<Canvas> frames;
  Palette palette;
};

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

// ---------------------------------------------------------------- clip 136

// A box-shaped room seen from inside, one point perspective: x right, y down,
// z into the screen, the eye at the origin 1.6 above the floor.
namespace room {

constexpr int kWidth = 387;
constexpr int kHeight = 290;
constexpr int kFrames = 159;
constexpr double kCentreX = 193.5;
constexpr double kCentreY = 112;
constexpr double kFocal = 260;
constexpr double kFloor = 1.6;
constexpr double kCeiling = -1.5;
constexpr double kSide = 2.7;
constexpr double kBack = 9;
constexpr double kTile = 0.75;
constexpr int kLevels = 6;
constexpr double kBallRadius = 0.24;

struct Vec {
  double x = 0;
  double y = 0;
  double z = 0;
};

Point Project(Vec v) { return {kCentreX + kFocal * v.x / v.z, kCentreY + kFocal * v.y / v.z}; }

enum Surface { kFloorSurface, kCeilingSurface, kLeftWall, kRightWall, kBackWall };

struct Hit {
  Surface surface;
  Vec at;
};

Hit Cast(double sx, double sy) {
  const Vec d{(sx - kCentreX) / kFocal, (sy - kCentreY) / kFocal, 1};
  Hit best{kBackWall, {d.x * kBack, d.y * kBack, kBack}};
  double nearest = kBack;
  const auto Try = [&](Surface surface, double t) {
    if (t > 0 && t < nearest) {
      nearest = t;
      best = {surface, {d.x * t, d.y * t, t}};
    }
  };
  if (d.y > 0) {
    Try(kFloorSurface, kFloor / d.y);
  } else if (d.y < 0) {
    Try(kCeilingSurface, kCeiling / d.y);
  }
  if (d.x > 0) {
    Try(kRightWall, kSide / d.x);
  } else if (d.x < 0) {
    Try(kLeftWall, -kSide / d.x);
  }
  return best;
}

// The one lamp hangs in the middle of the room; the rest is in the dark.
constexpr Vec kLamp{0, -0.7, 5.2};

int LightLevel(Vec at) {
  const double dx = at.x - kLamp.x;
  const double dy = at.y - kLamp.y;
  const double dz = at.z - kLamp.z;
  const double light = 0.15 + 0.85 / (1 + (dx * dx + dy * dy + dz * dz) / 3.5);
  return std::clamp(static_cast<int>(light * kLevels), 0, kLevels - 1);
}

struct Colours {
  int ink = 0;
  int floorLight = 0;  // then floorDark, then the two in shadow: kLevels each
  int ceiling = 0;
  int wall = 0;
  int backWall = 0;
  int skirting = 0;
  int frame = 0;
  int sky = 0;
  int moon = 0;
  int star = 0;
  int door = 0;
  int knob = 0;
  int canvasSky = 0;
  int hill = 0;
  int sun = 0;
  int shade = 0;
  int bulb = 0;
  int cord = 0;
  int ballRed = 0;
  int ballYellow = 0;
  int shadowOffset = 2 * kLevels;
};

Colours MakePalette(Palette& palette) {
  Colours c;
  c.ink = palette.Add({6, 5, 10});
  c.floorLight = palette.Ramp({26, 24, 34}, {168, 160, 176}, kLevels);
  palette.Ramp({8, 8, 12}, {52, 48, 62}, kLevels);
  palette.Ramp({12, 11, 16}, {74, 70, 80}, kLevels);
  palette.Ramp({4, 4, 6}, {22, 20, 28}, kLevels);
  c.ceiling = palette.Ramp({10, 9, 16}, {40, 36, 54}, kLevels);
  c.wall = palette.Ramp({18, 16, 34}, {80, 70, 120}, kLevels);
  c.backWall = palette.Ramp({16, 15, 30}, {66, 60, 104}, kLevels);
  c.skirting = palette.Ramp({20, 12, 8}, {96, 60, 36}, kLevels);
  c.frame = palette.Ramp({34, 22, 14}, {120, 80, 50}, kLevels);
  c.sky = palette.Ramp({6, 10, 40}, {24, 40, 100}, 3);
  c.moon = palette.Ramp({200, 190, 120}, {255, 250, 200}, 2);
  c.star = palette.Add({230, 230, 255});
  c.door = palette.Ramp({30, 18, 12}, {140, 90, 56}, kLevels);
  c.knob = palette.Add({220, 180, 60});
  c.canvasSky = palette.Ramp({30, 60, 110}, {110, 160, 220}, kLevels);
  c.hill = palette.Ramp({20, 60, 20}, {80, 160, 60}, kLevels);
  c.sun = palette.Add({255, 200, 60});
  c.shade = palette.Ramp({200, 140, 30}, {255, 220, 120}, 4);
  c.bulb = palette.Add({255, 250, 220});
  c.cord = palette.Add({30, 30, 30});
  c.ballRed = palette.Ramp({90, 0, 10}, {255, 90, 80}, kLevels);
  c.ballYellow = palette.Ramp({110, 90, 0}, {255, 240, 120}, kLevels);
  return c;
}

// What a wall shows at a point: its own shade, or whatever hangs on it.
// `region` tells objects apart for the outline pass.
int WallDetail(const Colours& c, Surface surface, Vec at, int level, int& region) {
  const auto In = [](double u, double v, double u0, double v0, double u1, double v1) {
    return u >= u0 && u < u1 && v >= v0 && v < v1;
  };
  if (surface == kBackWall) {
    const double u = at.x;
    const double v = at.y;
    if (In(u, v, -1.3, -0.95, 0.5, 0.35)) {
      region = 10;
      if (!In(u, v, -1.22, -0.87, 0.42, 0.27) || (u >= -0.44 && u < -0.36) || (v >= -0.34 && v < -0.26)) {
        return c.frame + std::max(level - 1, 0);
      }
      region = 11;
      const double mx = u - 0.05;
      const double my = v + 0.6;
      if (mx * mx + my * my < 0.17 * 0.17) {
        return c.moon + (mx + my < -0.05 ? 1 : 0);
      }
      const double stars[][2] = {{-1.05, -0.75}, {-0.7, -0.5}, {-0.95, 0.05}, {-0.2, -0.78},
                                 {0.25, -0.15},  {-0.6, 0.12}, {0.32, 0.15}};
      for (const auto& star : stars) {
        if (std::abs(u - star[0]) < 0.025 && std::abs(v - star[1]) < 0.025) {
          return c.star;
        }
      }
      return c.sky + std::clamp(static_cast<int>((v + 0.87) / 0.4), 0, 2);
    }
  }
  if (surface == kRightWall && In(at.z, at.y, 5.6, -0.5, 7.1, kFloor)) {
    region = 20;
    if (!In(at.z, at.y, 5.7, -0.4, 7.0, kFloor)) {
      return c.frame + level;
    }
    region = 21;
    const double kz = at.z - 5.85;
    const double ky = at.y - 0.6;
    if (kz * kz + ky * ky < 0.06 * 0.06) {
      return c.knob;
    }
    const bool panel = In(at.z, at.y, 5.85, -0.25, 6.85, 0.35) || In(at.z, at.y, 5.85, 0.55, 6.85, 1.4);
    return c.door + std::max(level - (panel ? 1 : 0), 0);
  }
  if (surface == kLeftWall && In(at.z, at.y, 4.4, -0.7, 6.2, 0.3)) {
    region = 30;
    if (!In(at.z, at.y, 4.5, -0.62, 6.1, 0.22)) {
      return c.frame + level;
    }
    region = 31;
    const double hill = 0.22 - 0.35 * (1 - (at.z - 5.6) * (at.z - 5.6));
    if (at.y > hill) {
      return c.hill + level;
    }
    const double sz = at.z - 4.95;
    const double sy = at.y + 0.35;
    if (sz * sz + sy * sy < 0.12 * 0.12) {
      return c.sun;
    }
    return c.canvasSky + level;
  }
  if (at.y > kFloor - 0.14) {
    region = 40 + surface;
    return c.skirting + level;
  }
  region = surface;
  return (surface == kBackWall ? c.backWall : c.wall) + level;
}

struct Background {
  Canvas canvas{kWidth, kHeight, 0};
  std::vector<int> floorMask = std::vector<int>(kWidth * kHeight, 0);
};

Background DrawBackground(const Colours& c) {
  Background bg;
  std::vector<int> regions(kWidth * kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Hit hit = Cast(x + 0.5, y + 0.5);
      const int level = LightLevel(hit.at);
      int region = hit.surface;
      int index = 0;
      switch (hit.surface) {
        case kFloorSurface: {
          const auto i = static_cast<long>(std::floor(hit.at.x / kTile));
          const auto j = static_cast<long>(std::floor(hit.at.z / kTile));
          index = c.floorLight + ((i + j) % 2 == 0 ? 0 : kLevels) + level;
          bg.floorMask[static_cast<std::size_t>(y * kWidth + x)] = 1;
          break;
        }
        case kCeilingSurface: index = c.ceiling + level; break;
        default: index = WallDetail(c, hit.surface, hit.at, level, region); break;
      }
      bg.canvas.Set(x, y, index);
      regions[static_cast<std::size_t>(y * kWidth + x)] = region;
    }
  }
  // Where two regions meet, a dark line, as a drawing would have it.
  for (int y = 0; y + 1 < kHeight; ++y) {
    for (int x = 0; x + 1 < kWidth; ++x) {
      const int here = regions[static_cast<std::size_t>(y * kWidth + x)];
      if (here != regions[static_cast<std::size_t>(y * kWidth + x + 1)] ||
          here != regions[static_cast<std::size_t>((y + 1) * kWidth + x)]) {
        bg.canvas.Set(x, y, c.ink);
        bg.floorMask[static_cast<std::size_t>(y * kWidth + x)] = 0;
      }
    }
  }

  const Point hook = Project({kLamp.x, kCeiling, kLamp.z});
  const Point shadeTop = Project({kLamp.x, kLamp.y - 0.3, kLamp.z});
  bg.canvas.Fill(Stroke(hook, shadeTop, 1.2), Solid(c.cord));
  const double halfTop = kFocal * 0.12 / kLamp.z;
  const double halfBottom = kFocal * 0.34 / kLamp.z;
  const Point shadeBottom = Project(kLamp);
  bg.canvas.FillOutlined(Ellipse(shadeBottom.x, shadeBottom.y + 1, 5, 4), Solid(c.bulb), c.ink);
  bg.canvas.FillOutlined(Polygon({{shadeTop.x - halfTop, shadeTop.y},
                                  {shadeTop.x + halfTop, shadeTop.y},
                                  {shadeBottom.x + halfBottom, shadeBottom.y},
                                  {shadeBottom.x - halfBottom, shadeBottom.y}}),
                         Shaded(c.shade, 4, {shadeBottom.x - 4, shadeTop.y + 3}, 16), c.ink);
  return bg;
}

// The ball goes round the middle of the floor, bouncing six times a lap and
// spinning as it goes.
void DrawBall(const Colours& c, const Background& bg, int f, Canvas& canvas) {
  const double phase = 2 * kPi * f / kFrames;
  const double bx = 1.4 * Sine(phase);
  const double bz = 5.0 - 1.5 * Cosine(phase);
  const double height = 1.0 * std::abs(Sine(3 * phase));
  const bool squashed = height < 0.06;
  const Vec centre{bx, kFloor - kBallRadius - height, bz};

  // Shadow: a flat disc on the floor under the ball, smaller when it is high.
  const double shadowRadius = kBallRadius * (1.1 - 0.4 * height);
  const Point shadowAt = Project({bx, kFloor, bz});
  const double srx = kFocal * shadowRadius / bz;
  const double sry = kFocal * kFloor * shadowRadius / (bz * bz);
  const Shape shadow = Ellipse(shadowAt.x, shadowAt.y, srx, sry);
  for (int y = std::max(0, static_cast<int>(shadow.top)); y <= std::min(kHeight - 1, static_cast<int>(shadow.bottom));
       ++y) {
    for (int x = std::max(0, static_cast<int>(shadow.left)); x <= std::min(kWidth - 1, static_cast<int>(shadow.right));
         ++x) {
      if (bg.floorMask[static_cast<std::size_t>(y * kWidth + x)] != 0 && shadow.inside(x + 0.5, y + 0.5)) {
        canvas.Set(x, y, canvas.At(x, y) + c.shadowOffset);
      }
    }
  }

  const Point at = Project(centre);
  const double r = kFocal * kBallRadius / bz;
  const double rx = r * (squashed ? 1.1 : 1);
  const double ry = r * (squashed ? 0.88 : 1);
  const double cy = at.y + (squashed ? r - ry : 0);
  const double spin = 2 * kPi * 4 * f / kFrames;
  const double cs = Cosine(spin);
  const double sn = Sine(spin);
  const Brush ball = [=](double x, double y) {
    const double nx = (x - at.x) / rx;
    const double ny = (y - cy) / ry;
    const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
    // Turned about the vertical axis: two bands crossing at the poles.
    const double tx = nx * cs + nz * sn;
    const double tz = -nx * sn + nz * cs;
    const bool band = std::abs(tx) < 0.3 || std::abs(tz) < 0.3;
    const double light = Clamp01(-0.45 * nx - 0.6 * ny + 0.66 * nz);
    const int level = std::clamp(static_cast<int>(light * kLevels), 0, kLevels - 1);
    return (band ? c.ballYellow : c.ballRed) + level;
  };
  canvas.FillOutlined(Ellipse(at.x, cy, rx, ry), ball, c.ink, 1.5);
}

Clip Draw() {
  Clip clip;
  const Colours colours = MakePalette(clip.palette);
  const Background bg = DrawBackground(colours);
  for (int f = 0; f < kFrames; ++f) {
    Canvas canvas = bg.canvas;
    DrawBall(colours, bg, f, canvas);
    clip.frames.push_back(std::move(canvas));
  }
  return clip;
}

}  // namespace room

// ---------------------------------------------------------------- main

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
  const Bytes file = AviFile(clip.frames, clip.palette);
  if (!ReadsBack(file, clip.frames)) {
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
  const bool ok = WriteFile(folder + "penguin.ico", IconFile(DrawPenguin(false), DrawPenguin(true))) &&
                  WriteFile(folder + "boy.ico", IconFile(DrawBoy(false), DrawBoy(true))) &&
                  WriteClip(folder + "turtle.avi", DrawTurtle()) && WriteClip(folder + "room.avi", room::Draw());
  return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
