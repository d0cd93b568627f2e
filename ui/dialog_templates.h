#pragma once

#include <span>
#include <string_view>

#include "ui/dialog_units.h"

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
// build compares the two.
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
