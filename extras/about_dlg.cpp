#include "extras/about_dlg.h"

#include <QPushButton>

#include <array>

#include "app/resource.h"
#include "patch/world_patcher.h"

namespace {

// The id every static control of a template shares.
constexpr int kIdStatic = -1;

// A caption, a window menu and a close box in a frame that does not resize.
constexpr Qt::WindowFlags kWindowFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

}  // namespace

const std::string& AboutText() {
  static const std::string text = std::string("Quietwalk \n") + "Ver 1.0\n" +
                                  "No more bumps,\n" + "just walks.\n" + std::string(kHomePage);
  return text;
}

const DialogTemplate& AboutDialogTemplate() {
  static const std::array items{
      DialogItemTemplate{kIdStatic, DialogItemKind::kIcon, "", IDI_PENGUIN, {7, 7, 21, 20}},
      DialogItemTemplate{kIdStatic, DialogItemKind::kText, AboutText(), 0, {33, 7, 74, 49}},
      DialogItemTemplate{kIdOk, DialogItemKind::kDefPushButton, "OK", 0, {32, 61, 50, 14}},
  };
  static const DialogTemplate dialogTemplate{
      IDD_ABOUTBOX, "About", 114, 82, "MS Sans Serif", 8, items,
  };
  return dialogTemplate;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent, kWindowFlags) {
  CreateDialogFromTemplate(*this, AboutDialogTemplate());
  if (auto* ok = qobject_cast<QPushButton*>(FindDialogItem(*this, kIdOk))) {
    connect(ok, &QPushButton::clicked, this, [this] { done(kIdOk); });
  }
}

int CAboutDlg::DoModal() { return exec(); }

void CAboutDlg::reject() { done(kIdCancel); }
