#pragma once

#include <span>
#include <string_view>

// Command ids of the standard dialog buttons, as Windows numbers them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// The id that the static controls of a template share.
inline constexpr int kIdStatic = -1;

enum class DialogItemKind {
  kDefPushButton,  // the dialog's default button
  kPushButton,
  kAutoRadioButton,  // checks itself when clicked and clears its siblings
  kIcon,             // an icon resource, at the icon's own size
  kText,             // left-aligned, word-wrapped text; '&' is shown as it is
};

// A rectangle as a template gives it, in dialog units: position and size.
struct DialogRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

// A rectangle in client pixels: position and size.
struct PixelRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;

  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A Windows rectangle (right and bottom just outside it) as a PixelRect.
constexpr PixelRect WindowsRect(int left, int top, int right, int bottom) {
  return {left, top, right - left, bottom - top};
}

// One control of a dialog template.
struct DialogItemTemplate {
  int id = 0;
  DialogItemKind kind = DialogItemKind::kText;
  std::string_view text;  // ANSI
  int iconId = 0;         // kIcon: the icon resource shown
  DialogRect rect;        // dialog units
};

// A dialog template: the window's caption, client size and font, and its
// controls in creation order, which is also their tab order. The Windows
// program's resource script holds the same templates; a test of the Windows
// build reads them back from the program's resources and compares them with
// these.
struct DialogTemplate {
  int id = 0;
  std::string_view caption;  // ANSI
  int cx = 0;                // client size, dialog units
  int cy = 0;
  std::string_view fontFace;
  int fontPoints = 8;
  std::span<const DialogItemTemplate> items;
};

// IDD_MAIN: the two choices, their icons and OK.
const DialogTemplate& MainDialogTemplate();
// IDD_ABOUTBOX: the penguin, the About text and OK.
const DialogTemplate& AboutDialogTemplate();
// IDD_HIDDEN_ANIM: no caption text and no controls.
const DialogTemplate& HiddenAnimDialogTemplate();

// Controls the dialogs create at run time, in client pixels, as the Windows
// program places them (at the template font's base units, 6 x 13 pixels).

// The main dialog's turtle, at its clip's own size.
inline constexpr int kAnimationX = 570;
inline constexpr int kAnimationY = 5;
// The run's progress bar and its range, and the status label beside it.
inline constexpr PixelRect kProgressRect = WindowsRect(5, 90, 390, 110);
inline constexpr int kProgressLow = 1;
inline constexpr int kProgressHigh = 100;
inline constexpr PixelRect kStatusRect = WindowsRect(395, 90, 550, 110);

// The hidden dialog: its caption and the room's animation over its client
// area.
inline constexpr std::string_view kHiddenDialogCaption = "??";
inline constexpr PixelRect kHiddenAnimationRect = WindowsRect(0, 0, 387, 290);
