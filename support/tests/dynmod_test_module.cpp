// A minimal plug-in for dynmod_test: one plain-named function to find and call.
extern "C" int dynmod_test_answer() { return 42; }
