#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QSize>

#include <string_view>
#include <vector>

#include "qt/dialog_units.h"
#include "ui/dialog_templates.h"

class QDialog;
class QScreen;
class QString;
class QWidget;

// `face` at `points` on `screen` (null: a screen of 96 dots per inch), in
// whole pixels. Where the host lacks the face, the nearest sans serif of
// similar width stands in for it.
QFont DialogFont(std::string_view face, int points, const QScreen* screen);

// The icon resource `id` (ui/resource.h); a null icon when there is none.
QIcon LoadResourceIcon(int id);

// A rectangle in client pixels as a QRect.
QRect ToQRect(const PixelRect& rect);

// Makes `dialog` from `dialogTemplate`: caption, font, and the controls as
// children in template order, each findable by its id, laid out at the base
// units of the font (returned). Creates nothing twice: meant to be called
// once per dialog.
DialogBaseUnits CreateDialogFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate);

// Sets the fixed client size and the controls' places from the template at
// `base`.
void LayOutDialog(QDialog& dialog, const DialogTemplate& dialogTemplate, DialogBaseUnits base);

// The size `text` needs in `font`, its lines unbroken.
QSize TextNeeds(const QFont& font, const QString& text);
// The size a control's text needs: a button's or a radio's whole size hint
// across (frame, indicator and text), its text's lines down.
QSize TextNeeds(const QWidget& control);

// The base units, no smaller than `base`, at which the text of every control
// of the template fits its place, and everything in `more` its room; the
// dialog is laid out at them.
DialogBaseUnits FitDialogToContents(QDialog& dialog, const DialogTemplate& dialogTemplate, DialogBaseUnits base,
                                    std::vector<ContentToFit> more = {});

// The direct child of `dialog` with control id `id`, or null.
QWidget* FindDialogItem(const QWidget& dialog, int id);

// Gives `control` the id by which FindDialogItem finds it.
void SetDialogItemId(QWidget& control, int id);
