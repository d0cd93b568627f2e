#include "qt/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "product/product_text.h"
#include "qt/dialog_builder.h"
#include "qt/qt_text.h"
#include "ui/resource.h"

namespace {

// A caption, a window menu and a close box in a frame that does not resize.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent, kWindowFlags) {
  const DialogBaseUnits base = CreateDialogFromTemplate(*this, AboutDialogTemplate());
  // The text is kept with the product's other texts, not in the template.
  if (auto* text = qobject_cast<QLabel*>(FindDialogItem(*this, IDC_ABOUT_TEXT)))
    text->setText(QStringFromAnsi(AboutText()));
  m_baseUnits = FitDialogToContents(*this, AboutDialogTemplate(), base);
  if (auto* ok = qobject_cast<QPushButton*>(FindDialogItem(*this, kIdOk))) {
    connect(ok, &QPushButton::clicked, this, [this] { done(kIdOk); });
  }
}

int CAboutDlg::DoModal() { return exec(); }

void CAboutDlg::reject() { done(kIdCancel); }
