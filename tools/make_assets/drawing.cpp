#include "tools/make_assets/drawing.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace make_assets {

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

Rgb Mix(Rgb from, Rgb to, double t) {
  const auto Channel = [t](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(Round(a + (b - a) * t));
  };
  return {Channel(from.r, to.r), Channel(from.g, to.g), Channel(from.b, to.b)};
}

Brush Solid(int index) {
  return [index](double, double) { return index; };
}

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

std::vector<Point> Mirror(const std::vector<Point>& points, double width) {
  std::vector<Point> mirrored;
  mirrored.reserve(points.size());
  for (const Point& p : points) {
    mirrored.push_back(Mirror(p, width));
  }
  return mirrored;
}

void Canvas::FillOutlined(const Shape& shape, const Brush& brush, int ink, double thickness) {
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

}  // namespace make_assets
