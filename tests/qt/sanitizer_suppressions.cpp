// The widget tests keep one application object for the whole program and
// never destroy it (see qt_test_app.h). What the font library caches for it
// is then still held at exit: not a leak of ours.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
