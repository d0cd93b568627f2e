#include "qt/dialog_units.h"

#include <cstdint>
#include <limits>

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

int DialogUnitsToPixelsX(int units) { return MulDivRounded(units, kDialogBaseUnitX, 4); }

int DialogUnitsToPixelsY(int units) { return MulDivRounded(units, kDialogBaseUnitY, 8); }

PixelRect MapDialogRect(const DialogRect& units) {
  return {DialogUnitsToPixelsX(units.x), DialogUnitsToPixelsY(units.y), DialogUnitsToPixelsX(units.cx),
          DialogUnitsToPixelsY(units.cy)};
}
