// What ThreadSanitizer is told about Qt. Qt itself is not built with the
// sanitizer: the locks and atomics inside its own thread classes and thread
// pools (the watchdog of Qt Test, the pool that converts images in parts) are
// invisible to it, so the memory calls Qt makes from those threads would be
// reported as races. The calls Qt makes are left out; everything compiled
// here, the program's own code and Qt's inline code in it, is still checked,
// and so is every lock and condition variable of the standard library.
// Read by the sanitizer runtime at start-up; in any other build the symbol
// is never looked up.
// The sanitizer runtime looks this name up: it has to be the reserved one.
extern "C" const char* __tsan_default_suppressions();  // NOLINT(bugprone-reserved-identifier)

extern "C" const char* __tsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
  return "called_from_lib:libQt6Core.so\n"
         "called_from_lib:libQt6Gui.so\n"
         "called_from_lib:libQt6Widgets.so\n"
         "called_from_lib:libQt6Test.so\n";
}
