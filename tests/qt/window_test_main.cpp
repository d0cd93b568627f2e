// Entry point of the window test programs: GoogleTest inside a QApplication,
// on the offscreen platform unless another one was asked for.
#include <QApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // The program's own application never quits on its last window either.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
