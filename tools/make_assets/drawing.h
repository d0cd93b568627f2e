#pragma once

// What the icons and clips are drawn with: arithmetic that gives the same
// bits on every host, palettes, shapes tested at pixel centres, and a canvas
// of palette indices.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace make_assets {

constexpr double kPi = 3.14159265358979323846;
constexpr int kEmpty = -1;  // an icon pixel left transparent

// A Taylor series after folding into [-pi/2, pi/2]: only +, -, *, / and floor,
// which IEEE arithmetic computes alike everywhere, unlike the C library's sin.
double Sine(double x);
double Cosine(double x);
int Round(double x);
double Clamp01(double x);

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
};

Rgb Mix(Rgb from, Rgb to, double t);

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

Brush Solid(int index);

// Lighter towards `light`: shade count-1 within `radius`/count of it, the
// base shade at `radius` and beyond.
Brush Shaded(int first, int count, Point light, double radius);

Shape Ellipse(double cx, double cy, double rx, double ry);

Shape Polygon(std::vector<Point> points);

// A thick line with round ends.
Shape Stroke(Point a, Point b, double width);

Shape Rectangle(double left, double top, double right, double bottom);

Shape Intersect(Shape a, Shape b);

inline Point Mirror(Point p, double width) { return {width - p.x, p.y}; }

std::vector<Point> Mirror(const std::vector<Point>& points, double width);

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
  void FillOutlined(const Shape& shape, const Brush& brush, int ink, double thickness = 1);

 private:
  std::size_t Offset(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x);
  }

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

}  // namespace make_assets
