#include "qt/quietwalk_app.h"

int main(int argc, char** argv) {
  CQuietwalkApp app(argc, argv);
  // Everything happens inside InitInstance; its answer only says that no
  // loop of the application's own follows.
  app.InitInstance();
  return 0;
}
