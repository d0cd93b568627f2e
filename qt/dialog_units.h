#pragma once

#include <QSize>

#include <functional>
#include <span>

#include "ui/dialog_templates.h"

class QFont;

// Dialog templates are laid out in dialog units: a quarter of the dialog
// font's average character width across, an eighth of its height down. These
// base units are measured from the font the dialog actually uses, as Windows
// measures them from the template's font, so a larger font makes a larger
// dialog. Pixels are rounded to the nearest one, halves away from zero, as
// Windows rounds them.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;

  friend bool operator==(const DialogBaseUnits&, const DialogBaseUnits&) = default;
};

// The base units of the template font on the screen the Windows program was
// laid out for ("MS Sans Serif" 8 pt at 96 dots per inch): the controls it
// places in pixels are placed for these.
inline constexpr DialogBaseUnits kTemplateBaseUnits{6, 13};

// number * numerator / denominator, rounded to the nearest integer with halves
// away from zero, without overflow in between, as Win32 MulDiv computes it.
// -1 when denominator is 0 or the result lies outside +-(2^31 - 1).
int MulDivRounded(int number, int numerator, int denominator);

// The base units of `font`: the average width of its Latin letters, rounded
// as Windows rounds it, and its height.
DialogBaseUnits FontBaseUnits(const QFont& font);

// Horizontal and vertical dialog units in pixels.
int DialogUnitsToPixelsX(int units, DialogBaseUnits base);
int DialogUnitsToPixelsY(int units, DialogBaseUnits base);

// The rectangle in pixels. Position and size are each mapped on their own,
// as dialog creation maps them, so the right edge is x + cx in pixels rather
// than the mapped x + cx in units.
PixelRect MapDialogRect(const DialogRect& units, DialogBaseUnits base);

// A rectangle the Windows program places in pixels (for kTemplateBaseUnits),
// grown or shrunk with the dialog to `base`.
PixelRect ScaleTemplatePixels(const PixelRect& pixels, DialogBaseUnits base);

// A text or a picture that must be shown whole: the size it needs, and the room
// it gets at given base units.
struct ContentToFit {
  QSize needed;
  std::function<QSize(DialogBaseUnits)> room;
};

// The smallest base units, no smaller than `base`, at which everything has
// the room it needs (bounded, should something need an absurd size).
DialogBaseUnits GrowToFit(DialogBaseUnits base, std::span<const ContentToFit> contents);
