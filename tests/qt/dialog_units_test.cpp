#include "qt/dialog_units.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(MapDialogRect({33, 34, 383, 10}), (PixelRect{50, 55, 575, 16}));
}

}  // namespace
