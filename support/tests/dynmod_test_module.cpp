// A minimal plug-in for dynmod_test: one plain-named function to find and call, and one that
// makes the C library a dependency of the module.
#include <unistd.h>

extern "C" int dynmod_test_answer() { return 42; }
extern "C" int dynmod_test_process() { return static_cast<int>(getpid()); }
