#include "qt/dialog_units.h"

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DialogUnitsTest, RoundsHalvesAwayFromZeroAsMulDivDoes) {
  EXPECT_EQ(MulDivRounded(429, 6, 4), 644);  // 643.5
  EXPECT_EQ(MulDivRounded(7, 13, 8), 11);    // 11.375
  EXPECT_EQ(MulDivRounded(51, 13, 8), 83);   // 82.875
  EXPECT_EQ(MulDivRounded(-7, 6, 4), -11);   // -10.5
  EXPECT_EQ(MulDivRounded(7, -6, 4), -11);
  EXPECT_EQ(MulDivRounded(7, 6, -4), -11);
  EXPECT_EQ(MulDivRounded(-7, 6, -4), 11);
  EXPECT_EQ(MulDivRounded(5, 6, 0), -1);
  EXPECT_EQ(MulDivRounded(0x40000000, 4, 1), -1);
  EXPECT_EQ(MulDivRounded(0x40000000, 2, 1), -1);
  EXPECT_EQ(MulDivRounded(0x3FFFFFFF, 4, 2), 0x7FFFFFFE);
}

// At the template font's base units the Windows program's pixels are kept;
// at others, units and its pixels grow alike.
TEST(DialogUnitsTest, MapsUnitsAndScalesTemplatePixelsWithTheBaseUnits) {
  EXPECT_EQ(MapDialogRect({33, 34, 383, 10}, kTemplateBaseUnits), (PixelRect{50, 55, 575, 16}));
  EXPECT_EQ(MapDialogRect({33, 34, 383, 10}, {8, 16}), (PixelRect{66, 68, 766, 20}));
  EXPECT_EQ(ScaleTemplatePixels({570, 5, 70, 70}, kTemplateBaseUnits), (PixelRect{570, 5, 70, 70}));
  EXPECT_EQ(ScaleTemplatePixels({570, 5, 70, 70}, {9, 26}), (PixelRect{855, 10, 105, 140}));
}

// A larger font has larger base units: its letters' average width, rounded
// as Windows rounds it, and its height.
TEST(DialogUnitsTest, BaseUnitsComeFromTheFont) {
  QFont small;
  small.setPixelSize(11);
  QFont large = small;
  large.setPixelSize(22);
  const DialogBaseUnits smallUnits = FontBaseUnits(small);
  const DialogBaseUnits largeUnits = FontBaseUnits(large);
  EXPECT_EQ(smallUnits.y, QFontMetrics(small).height());
  EXPECT_GT(smallUnits.x, 0);
  EXPECT_GT(largeUnits.x, smallUnits.x);
  EXPECT_GT(largeUnits.y, smallUnits.y);
}

// Grown one unit at a time until every content fits; what already fits
// changes nothing.
TEST(DialogUnitsTest, GrowsTheBaseUnitsUntilEverythingFits) {
  const auto room = [](DialogBaseUnits base) {
    return QSize(DialogUnitsToPixelsX(100, base), DialogUnitsToPixelsY(8, base));
  };
  const std::vector<ContentToFit> fitting{{QSize(150, 13), room}};
  EXPECT_EQ(GrowToFit(kTemplateBaseUnits, fitting), kTemplateBaseUnits);
  const std::vector<ContentToFit> wide{{QSize(150, 13), room}, {QSize(301, 20), room}};
  EXPECT_EQ(GrowToFit(kTemplateBaseUnits, wide), (DialogBaseUnits{13, 20}));
}

}  // namespace
