#include "qt/dialog_units.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Beyond this nothing is worth growing the dialog for.
constexpr int kLargestBaseUnit = 200;

}  // namespace

int MulDivRounded(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  std::int64_t divisor = denominator;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const std::int64_t half = divisor / 2;
  const std::int64_t rounded = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
  if (rounded > std::numeric_limits<int>::max() || rounded < -std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(rounded);
}

DialogBaseUnits FontBaseUnits(const QFont& font) {
  // As Windows measures a dialog font: the 52 letters' width over 26,
  // halved with rounding up.
  const QFontMetrics metrics(font);
  const int twiceAverage =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26;
  return {(twiceAverage + 1) / 2, metrics.height()};
}

int DialogUnitsToPixelsX(int units, DialogBaseUnits base) { return MulDivRounded(units, base.x, 4); }

int DialogUnitsToPixelsY(int units, DialogBaseUnits base) { return MulDivRounded(units, base.y, 8); }

PixelRect MapDialogRect(const DialogRect& units, DialogBaseUnits base) {
  return {DialogUnitsToPixelsX(units.x, base), DialogUnitsToPixelsY(units.y, base),
          DialogUnitsToPixelsX(units.cx, base), DialogUnitsToPixelsY(units.cy, base)};
}

PixelRect ScaleTemplatePixels(const PixelRect& pixels, DialogBaseUnits base) {
  const DialogBaseUnits from = kTemplateBaseUnits;
  return {MulDivRounded(pixels.x, base.x, from.x), MulDivRounded(pixels.y, base.y, from.y),
          MulDivRounded(pixels.cx, base.x, from.x), MulDivRounded(pixels.cy, base.y, from.y)};
}

DialogBaseUnits GrowToFit(DialogBaseUnits base, std::span<const ContentToFit> contents) {
  // Each room grows with the base units, so what fits stays fitting as the
  // next one grows them further.
  for (const ContentToFit& content : contents) {
    while (content.room(base).width() < content.needed.width() && base.x < kLargestBaseUnit) ++base.x;
    while (content.room(base).height() < content.needed.height() && base.y < kLargestBaseUnit) ++base.y;
  }
  return base;
}
