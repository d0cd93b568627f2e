#include "qt/about_dlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

#include "product/product_text.h"
#include "qt/dialog_builder.h"
#include "qt/qt_text.h"

namespace {

QLabel* TextLabel(const CAboutDlg& dialog) {
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) {
      return label;
    }
  }
  return nullptr;
}

TEST(AboutBox, TextNamesTheProgramItsVersionAndHomePage) {
  const std::string& text = AboutText();
  EXPECT_EQ(text.rfind("Quietwalk \nVer 1.0\n", 0), 0U) << text;
  EXPECT_TRUE(text.ends_with("\nquietwalk.example")) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);

  CAboutDlg dialog;
  QLabel* label = TextLabel(dialog);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text().toStdString(), text);
}

TEST(AboutBox, IsLaidOutInDialogUnits) {
  CAboutDlg dialog;
  const DialogTemplate& about = AboutDialogTemplate();
  EXPECT_EQ(dialog.windowTitle(), QStringFromAnsi(about.caption));
  // At the font's base units, unless the text needs more.
  const DialogBaseUnits base = dialog.baseUnits();
  EXPECT_GE(base.x, FontBaseUnits(dialog.font()).x);
  EXPECT_GE(base.y, FontBaseUnits(dialog.font()).y);
  EXPECT_EQ(dialog.size(), QSize(DialogUnitsToPixelsX(about.cx, base), DialogUnitsToPixelsY(about.cy, base)));
  EXPECT_EQ(dialog.font().families().value(0), QStringFromAnsi(about.fontFace));
  const auto place = [&](int index) { return ToQRect(MapDialogRect(about.items[index].rect, base)); };

  QLabel* text = TextLabel(dialog);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->geometry(), place(1));
  EXPECT_EQ(text->textFormat(), Qt::PlainText);
  // Every line fits unwrapped, and all of them fit the control's height.
  const QFontMetrics metrics(text->font());
  const QStringList lines = text->text().split('\n');
  for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), text->width()) << line.toStdString();
  EXPECT_LE(metrics.lineSpacing() * lines.size(), text->height());

  QLabel* icon = nullptr;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label != text) {
      icon = label;
    }
  }
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->pos(), place(0).topLeft());
  EXPECT_EQ(icon->accessibleName().isEmpty(), false);
  EXPECT_FALSE(icon->pixmap().isNull());

  auto* ok = qobject_cast<QPushButton*>(FindDialogItem(dialog, kIdOk));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), place(2));
  EXPECT_LE(ok->sizeHint().width(), ok->width());
}

TEST(AboutBox, EndsWithOkOrCancel) {
  CAboutDlg dialog;
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(qobject_cast<QPushButton*>(FindDialogItem(dialog, kIdOk)), Qt::LeftButton);
  });
  EXPECT_EQ(dialog.DoModal(), kIdOk);

  QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
  EXPECT_EQ(dialog.DoModal(), kIdOk);

  QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  EXPECT_EQ(dialog.DoModal(), kIdCancel);

  QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
}

}  // namespace
