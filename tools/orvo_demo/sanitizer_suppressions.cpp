// Under ThreadSanitizer this program's window paints the picture through Qt's
// raster engine, which hands large blends to Qt's global thread pool. Qt is
// not built with the sanitizer: the pool's threads move their queue
// (memmove) and free their tasks in unexported Qt Core functions, behind Qt's
// own futex locks that the sanitizer cannot see, so no function name can
// single them out. Only this program ignores the memory calls Qt Core makes
// itself; the test programs, the widget tests included, run without that.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libQt6Core.so.6\n"; }
