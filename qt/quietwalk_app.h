#pragma once

#include <QApplication>

// The application object: runs the main dialog modally as the program's main
// window and has nothing to do once it has closed. Its name, the caption of
// every message box, is the executable's file name without its extension.
class CQuietwalkApp : public QApplication {
  Q_OBJECT

 public:
  CQuietwalkApp(int& argc, char** argv);

  // Settles the Wine prefix to read (asking the user when the browser is in
  // several), then runs the main dialog to its end, waiting for the batch
  // run's worker when there was one. False: the program then ends without
  // running a loop of its own.
  bool InitInstance();
};
