#pragma once

#include "ui/dialog_templates.h"

// Dialog templates are laid out in dialog units: a quarter of the font's
// average character width across, an eighth of its height down. The program's
// dialogs are all set in "MS Sans Serif" 8 pt at 96 dots per inch, whose base
// units are 6 x 13 pixels, so one unit is 1.5 pixels across and 1.625 down.
// Pixels are rounded to the nearest one, halves away from zero, as Windows
// rounds them.

inline constexpr int kDialogBaseUnitX = 6;
inline constexpr int kDialogBaseUnitY = 13;

// number * numerator / denominator, rounded to the nearest integer with halves
// away from zero, without overflow in between, as Win32 MulDiv computes it.
// -1 when denominator is 0 or the result lies outside +-(2^31 - 1).
int MulDivRounded(int number, int numerator, int denominator);

// Horizontal and vertical dialog units in pixels.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

// The rectangle in pixels. Position and size are each mapped on their own,
// as dialog creation maps them, so the right edge is x + cx in pixels rather
// than the mapped x + cx in units.
PixelRect MapDialogRect(const DialogRect& units);
