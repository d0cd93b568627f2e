#pragma once

#include <QDialog>

#include "qt/animation_control.h"

// The hidden dialog (IDD_HIDDEN_ANIM) that the About entry opens while Shift
// is held: captioned "??", it plays clip 136 (the room) over its whole client
// area, repeating, until closed (close box or Esc).
// Use: `CHiddenAnimDlg dlg(parent); dlg.DoModal();`
class CHiddenAnimDlg : public QDialog {
  Q_OBJECT

 public:
  // The animation control exists from here on, without its window.
  explicit CHiddenAnimDlg(QWidget* parent = nullptr);

  // Initialises the dialog and shows it modally, centred on its screen.
  // Returns kIdCancel (the only way out); the animation stops with it.
  int DoModal();

 protected:
  // Creates the animation control, opens the clip in it and sets the
  // caption. True: focus goes where it would.
  virtual bool OnInitDialog();

  void reject() override;

  AnimationControl m_animate;
};
