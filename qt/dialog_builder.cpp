#include "qt/dialog_builder.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <utility>

#include "qt/qt_text.h"
#include "ui/resource.h"

namespace {

const char kItemIdProperty[] = "dialogItemId";

// Without a screen, the dots per inch Windows assumes; 72 points per inch.
constexpr int kDefaultDpi = 96;
constexpr int kPointsPerInch = 72;

// Sizes of the icons the templates show: the standard large icon.
constexpr int kIconSize = 32;

// What an icon shows, as assistive technology tells it.
QString IconName(int iconId) {
  switch (iconId) {
    case IDI_BOY: return QStringLiteral("Boy in a red cap");
    case IDI_PENGUIN: return QStringLiteral("Penguin");
    default: return {};
  }
}

QWidget* CreateItem(QDialog& dialog, const DialogItemTemplate& item) {
  const QString text = QStringFromAnsi(item.text);
  switch (item.kind) {
    case DialogItemKind::kDefPushButton:
    case DialogItemKind::kPushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setDefault(item.kind == DialogItemKind::kDefPushButton);
      return button;
    }
    case DialogItemKind::kAutoRadioButton: {
      auto* radio = new QRadioButton(text, &dialog);
      radio->setAutoExclusive(true);
      return radio;
    }
    case DialogItemKind::kIcon: {
      auto* label = new QLabel(&dialog);
      label->setPixmap(LoadResourceIcon(item.iconId).pixmap(kIconSize, kIconSize));
      label->setAccessibleName(IconName(item.iconId));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case DialogItemKind::kText: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
  }
  return nullptr;
}

}  // namespace

QFont DialogFont(std::string_view face, int points, const QScreen* screen) {
  QFont font;
  // Faces with the narrow metrics of the Windows dialog font come first, so
  // that the texts fit the controls laid out for it.
  font.setFamilies(QStringList{QStringFromAnsi(face), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                               QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                               QStringLiteral("Nimbus Sans")});
  font.setStyleHint(QFont::SansSerif);
  // Whole pixels, as Windows sizes the template's font on the screen: a
  // screen of more dots per inch gets a larger font, and so a larger dialog.
  const int dpi = screen ? qRound(screen->logicalDotsPerInchY()) : kDefaultDpi;
  font.setPixelSize(MulDivRounded(points, dpi, kPointsPerInch));
  return font;
}

QRect ToQRect(const PixelRect& rect) { return QRect(rect.x, rect.y, rect.cx, rect.cy); }

QIcon LoadResourceIcon(int id) { return QIcon(QStringLiteral(":/icons/%1").arg(id)); }

DialogBaseUnits CreateDialogFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate) {
  dialog.setWindowTitle(QStringFromAnsi(dialogTemplate.caption));
  dialog.setFont(DialogFont(dialogTemplate.fontFace, dialogTemplate.fontPoints, dialog.screen()));
  for (const DialogItemTemplate& item : dialogTemplate.items) {
    if (QWidget* control = CreateItem(dialog, item)) SetDialogItemId(*control, item.id);
  }
  const DialogBaseUnits base = FontBaseUnits(dialog.font());
  LayOutDialog(dialog, dialogTemplate, base);
  return base;
}

void LayOutDialog(QDialog& dialog, const DialogTemplate& dialogTemplate, DialogBaseUnits base) {
  dialog.setFixedSize(DialogUnitsToPixelsX(dialogTemplate.cx, base), DialogUnitsToPixelsY(dialogTemplate.cy, base));
  for (const DialogItemTemplate& item : dialogTemplate.items) {
    QWidget* control = FindDialogItem(dialog, item.id);
    if (!control) continue;
    const QRect rect = ToQRect(MapDialogRect(item.rect, base));
    // A Windows icon control takes the size of its icon, whatever the
    // template says.
    control->setGeometry(item.kind == DialogItemKind::kIcon ? QRect(rect.topLeft(), QSize(kIconSize, kIconSize))
                                                            : rect);
  }
}

QSize TextNeeds(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  const QStringList lines = text.split(QLatin1Char('\n'));
  int width = 0;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
  return {width, metrics.height() + metrics.lineSpacing() * static_cast<int>(lines.size() - 1)};
}

QSize TextNeeds(const QWidget& control) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
    // The frame or the indicator comes on top of the text across.
    return {button->sizeHint().width(), TextNeeds(button->font(), button->text()).height()};
  }
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return TextNeeds(label->font(), label->text());
  return {};
}

DialogBaseUnits FitDialogToContents(QDialog& dialog, const DialogTemplate& dialogTemplate, DialogBaseUnits base,
                                    std::vector<ContentToFit> more) {
  for (const DialogItemTemplate& item : dialogTemplate.items) {
    const QWidget* control = FindDialogItem(dialog, item.id);
    if (!control || item.kind == DialogItemKind::kIcon) continue;
    more.push_back({TextNeeds(*control), [rect = item.rect](DialogBaseUnits units) {
                      const PixelRect pixels = MapDialogRect(rect, units);
                      return QSize(pixels.cx, pixels.cy);
                    }});
  }
  base = GrowToFit(base, more);
  LayOutDialog(dialog, dialogTemplate, base);
  return base;
}

QWidget* FindDialogItem(const QWidget& dialog, int id) {
  const QList<QWidget*> children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) {
    const QVariant value = child->property(kItemIdProperty);
    if (value.isValid() && value.toInt() == id) return child;
  }
  return nullptr;
}

void SetDialogItemId(QWidget& control, int id) { control.setProperty(kItemIdProperty, id); }
