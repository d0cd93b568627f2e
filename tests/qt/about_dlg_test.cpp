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
  EXPECT_EQ(dialog.windowTitle(), "About");
  // 114 x 82 units at 1.5 and 1.625 pixels a unit.
  EXPECT_EQ(dialog.size(), QSize(171, 133));
  EXPECT_EQ(dialog.font().family(), "MS Sans Serif");

  QLabel* text = TextLabel(dialog);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->geometry(), QRect(50, 11, 111, 80));
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
  EXPECT_EQ(icon->pos(), QPoint(11, 11));
  EXPECT_FALSE(icon->pixmap().isNull());

  auto* ok = qobject_cast<QPushButton*>(FindDialogItem(dialog, kIdOk));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), QRect(48, 99, 75, 23));
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
