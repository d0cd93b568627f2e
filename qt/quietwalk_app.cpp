#include "qt/quietwalk_app.h"

#include <memory>

#include "platform/paths/program_name.h"
#include "qt/dialog_builder.h"
#include "qt/prefix_chooser.h"
#include "qt/qt_text.h"
#include "qt/quietwalk_dlg.h"
#include "ui/resource.h"

CQuietwalkApp::CQuietwalkApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringFromAnsi(platform::ProgramName()));
  // Matches packaging/quietwalk.desktop, so that desktops find the icon.
  setDesktopFileName(QStringLiteral("quietwalk"));
  setWindowIcon(LoadResourceIcon(IDR_MAINFRAME));
  // The program ends when InitInstance returns, not when its last window
  // closes: message boxes of the run may still follow the dialog.
  setQuitOnLastWindowClosed(false);
}

bool CQuietwalkApp::InitInstance() {
  // The dialog looks for the browser in the prefix settled here; a user who
  // cancels the choice of prefix has asked for nothing to be done.
  if (!ChooseWinePrefixWithUser()) return false;
  // Qt draws the host's own three-dimensional controls; there is no look to
  // switch on.
  auto dialog = std::make_unique<CQuietwalkDlg>();
  dialog->DoModal();
  dialog.reset();
  return false;
}
