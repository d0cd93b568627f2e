#include "qt/dialog_builder.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "qt/qt_text.h"
#include "ui/resource.h"

namespace {

const char kItemIdProperty[] = "dialogItemId";

// 96 dots per inch, 72 points per inch.
constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;

// Sizes of the icons the templates show: the standard large icon.
constexpr int kIconSize = 32;

QWidget* CreateItem(QDialog& dialog, const DialogItemTemplate& item) {
  const QString text = QStringFromAnsi(item.text);
  const QRect rect = ToQRect(MapDialogRect(item.rect));
  switch (item.kind) {
    case DialogItemKind::kDefPushButton:
    case DialogItemKind::kPushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setDefault(item.kind == DialogItemKind::kDefPushButton);
      button->setGeometry(rect);
      return button;
    }
    case DialogItemKind::kAutoRadioButton: {
      auto* radio = new QRadioButton(text, &dialog);
      radio->setAutoExclusive(true);
      radio->setGeometry(rect);
      return radio;
    }
    case DialogItemKind::kIcon: {
      auto* label = new QLabel(&dialog);
      // A Windows icon control takes the size of its icon, whatever the
      // template says.
      label->setGeometry(rect.x(), rect.y(), kIconSize, kIconSize);
      label->setPixmap(LoadResourceIcon(item.iconId).pixmap(kIconSize, kIconSize));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case DialogItemKind::kText: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setGeometry(rect);
      return label;
    }
  }
  return nullptr;
}

}  // namespace

QFont DialogFont(std::string_view face, int points) {
  QFont font;
  // Faces with the narrow metrics of the Windows dialog font come first, so
  // that the texts fit the controls laid out for it.
  font.setFamilies(QStringList{QStringFromAnsi(face), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                               QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                               QStringLiteral("Nimbus Sans")});
  font.setStyleHint(QFont::SansSerif);
  // A template's point size is a character height in pixels on the screen it
  // was laid out for; the pixel size keeps the layout independent of the
  // host's dots per inch.
  font.setPixelSize(MulDivRounded(points, kScreenDpi, kPointsPerInch));
  return font;
}

QRect ToQRect(const PixelRect& rect) { return QRect(rect.x, rect.y, rect.cx, rect.cy); }

QIcon LoadResourceIcon(int id) { return QIcon(QStringLiteral(":/icons/%1").arg(id)); }

void CreateDialogFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate) {
  dialog.setWindowTitle(QStringFromAnsi(dialogTemplate.caption));
  dialog.setFont(DialogFont(dialogTemplate.fontFace, dialogTemplate.fontPoints));
  dialog.setFixedSize(DialogUnitsToPixelsX(dialogTemplate.cx), DialogUnitsToPixelsY(dialogTemplate.cy));
  for (const DialogItemTemplate& item : dialogTemplate.items) {
    if (QWidget* control = CreateItem(dialog, item)) SetDialogItemId(*control, item.id);
  }
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
