#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>

#include <string_view>

#include "qt/dialog_units.h"
#include "ui/dialog_templates.h"

class QDialog;
class QWidget;

// `face` at `points` on a 96 dots-per-inch screen. Where the host lacks the
// face, the nearest sans serif of similar width stands in for it.
QFont DialogFont(std::string_view face, int points);

// The icon resource `id` (ui/resource.h); a null icon when there is none.
QIcon LoadResourceIcon(int id);

// A rectangle in client pixels as a QRect.
QRect ToQRect(const PixelRect& rect);

// Lays `dialog` out from `dialogTemplate`: caption, fixed client size, font,
// and the controls as children in template order, each findable by its id.
// Creates nothing twice: meant to be called once per dialog.
void CreateDialogFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate);

// The direct child of `dialog` with control id `id`, or null.
QWidget* FindDialogItem(const QWidget& dialog, int id);

// Gives `control` the id by which FindDialogItem finds it.
void SetDialogItemId(QWidget& control, int id);
