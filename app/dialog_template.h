#pragma once

#include <QFont>
#include <QIcon>

#include <span>
#include <string_view>

#include "app/dialog_units.h"

class QDialog;
class QWidget;

// Command ids of the standard dialog buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class DialogItemKind {
  kDefPushButton,    // the dialog's default button
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
// controls in creation order, which is also their tab order.
struct DialogTemplate {
  int id = 0;
  std::string_view caption;  // ANSI
  int cx = 0;                // client size, dialog units
  int cy = 0;
  std::string_view fontFace;
  int fontPoints = 8;
  std::span<const DialogItemTemplate> items;
};

// IDD_MAIN, the main dialog.
extern const DialogTemplate kMainDialogTemplate;

// `face` at `points` on a 96 dots-per-inch screen. Where the host lacks the
// face, the nearest sans serif of similar width stands in for it.
QFont DialogFont(std::string_view face, int points);

// The icon resource `id` (app/resource.h); a null icon when there is none.
QIcon LoadResourceIcon(int id);

// Lays `dialog` out from `dialogTemplate`: caption, fixed client size, font,
// and the controls as children in template order, each findable by its id.
// Creates nothing twice: meant to be called once per dialog.
void CreateDialogFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate);

// The direct child of `dialog` with control id `id`, or null.
QWidget* FindDialogItem(const QWidget& dialog, int id);

// Gives `control` the id by which FindDialogItem finds it.
void SetDialogItemId(QWidget& control, int id);
