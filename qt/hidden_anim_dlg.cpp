#include "qt/hidden_anim_dlg.h"

#include <QGuiApplication>
#include <QScreen>

#include "qt/dialog_builder.h"
#include "qt/qt_text.h"
#include "ui/resource.h"

namespace {

// A caption, a window menu and a close box in a frame that does not resize.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

}  // namespace

CHiddenAnimDlg::CHiddenAnimDlg(QWidget* parent) : QDialog(parent, kWindowFlags) {
  const DialogTemplate& dialogTemplate = HiddenAnimDialogTemplate();
  CreateDialogFromTemplate(*this, dialogTemplate);
  // No text to fit: the dialog is the size of its clip, as the template was
  // laid out for, and is never made to cut it.
  const QSize clip(kHiddenAnimationRect.x + kHiddenAnimationRect.cx, kHiddenAnimationRect.y + kHiddenAnimationRect.cy);
  FitDialogToContents(*this, dialogTemplate, kTemplateBaseUnits, {{clip, [&dialogTemplate](DialogBaseUnits base) {
                                                                     return QSize(
                                                                         DialogUnitsToPixelsX(dialogTemplate.cx, base),
                                                                         DialogUnitsToPixelsY(dialogTemplate.cy, base));
                                                                   }}});
}

int CHiddenAnimDlg::DoModal() {
  OnInitDialog();
  // Centred on the screen, not over the window that opened it.
  const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  const int code = exec();
  m_animate.Close();
  return code;
}

bool CHiddenAnimDlg::OnInitDialog() {
  if (m_animate.Create(AnimationControl::kVisible | AnimationControl::kAutoPlay, ToQRect(kHiddenAnimationRect), this,
                       IDC_HIDDEN_ANIMATE)) {
    SetDialogItemId(m_animate, IDC_HIDDEN_ANIMATE);
    m_animate.setAccessibleName(QStringLiteral("Room"));
  }
  m_animate.Open(IDR_AVI_ROOM);
  setWindowTitle(QStringFromAnsi(kHiddenDialogCaption));
  return true;
}

void CHiddenAnimDlg::reject() { done(kIdCancel); }
