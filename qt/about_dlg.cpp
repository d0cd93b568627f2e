#include "qt/about_dlg.h"

#include <QPushButton>

#include "qt/dialog_builder.h"

namespace {

// A caption, a window menu and a close box in a frame that does not resize.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent, kWindowFlags) {
  CreateDialogFromTemplate(*this, AboutDialogTemplate());
  if (auto* ok = qobject_cast<QPushButton*>(FindDialogItem(*this, kIdOk))) {
    connect(ok, &QPushButton::clicked, this, [this] { done(kIdOk); });
  }
}

int CAboutDlg::DoModal() { return exec(); }

void CAboutDlg::reject() { done(kIdCancel); }
