#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "tools/make_assets/clips.h"

namespace make_assets {

// A box-shaped room seen from inside, one point perspective: x right, y down,
// z into the screen, the eye at the origin 1.6 above the floor.
namespace {

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

// Where pixel (x, y) of a frame-sized array is.
std::size_t PixelIndex(int x, int y) { return static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x); }

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
          bg.floorMask[PixelIndex(x, y)] = 1;
          break;
        }
        case kCeilingSurface: index = c.ceiling + level; break;
        default: index = WallDetail(c, hit.surface, hit.at, level, region); break;
      }
      bg.canvas.Set(x, y, index);
      regions[PixelIndex(x, y)] = region;
    }
  }
  // Where two regions meet, a dark line, as a drawing would have it.
  for (int y = 0; y + 1 < kHeight; ++y) {
    for (int x = 0; x + 1 < kWidth; ++x) {
      const int here = regions[PixelIndex(x, y)];
      if (here != regions[PixelIndex(x + 1, y)] || here != regions[PixelIndex(x, y + 1)]) {
        bg.canvas.Set(x, y, c.ink);
        bg.floorMask[PixelIndex(x, y)] = 0;
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
      if (bg.floorMask[PixelIndex(x, y)] != 0 && shadow.inside(x + 0.5, y + 0.5)) {
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

}  // namespace

Clip DrawRoom() {
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

}  // namespace make_assets
