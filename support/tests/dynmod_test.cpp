#include "dynmod.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace brindle;

namespace {

namespace fs = std::filesystem;

const char* const module_file = DYNMOD_TEST_MODULE;

TEST(Dynmod, LoadsCallsAndUnloadsAModule) {
  EXPECT_STREQ(dynmod_get_module_extension(), ".so");
  dynmod_module module = dynmod_load_module(module_file);
  ASSERT_NE(module, nullptr);
  auto answer = reinterpret_cast<int (*)()>(dynmod_get_function(module, "dynmod_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(dynmod_get_function(module, "no_such_function"), nullptr);
  EXPECT_EQ(dynmod_get_function(nullptr, "dynmod_test_answer"), nullptr);
  // The C library's getpid is reachable through the module, but the module does not define it.
  EXPECT_NE(dynmod_get_function(module, "getpid"), nullptr);
  EXPECT_EQ(dynmod_get_own_function(module, "getpid"), nullptr);
  EXPECT_EQ(dynmod_get_own_function(module, "dynmod_test_answer"), reinterpret_cast<void*>(answer));

  char file[4096];
  ASSERT_TRUE(dynmod_get_function_filename(module, "dynmod_test_answer", file, sizeof file));
  EXPECT_TRUE(fs::equivalent(file, module_file)) << file;

  EXPECT_TRUE(dynmod_unload_module(module));
  EXPECT_TRUE(dynmod_unload_module(nullptr));
}

TEST(Dynmod, FailuresArePrintedAndLeaveEmptyTexts) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(dynmod_load_module("/nonexistent/plugin.so"), nullptr);
  dynmod_module module = dynmod_load_module(module_file);
  char small[4] = "xyz";
  EXPECT_FALSE(dynmod_get_function_filename(module, "dynmod_test_answer", small, sizeof small));
  EXPECT_STREQ(small, "");
  EXPECT_FALSE(dynmod_get_function_filename(module, "no_such_function", small, sizeof small));
  char tiny[1] = {'x'};
  EXPECT_FALSE(dynmod_get_lib_dirname(tiny, sizeof tiny));
  EXPECT_EQ(tiny[0], '\0');
  dynmod_unload_module(module);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("dynmod_load_module: Error loading /nonexistent/plugin.so\n"), std::string::npos);
  EXPECT_NE(errors.find("dynmod_get_function_filename: Error getting filename\n"), std::string::npos);
  EXPECT_NE(errors.find("dynmod_get_lib_dirname: Error getting dirname\n"), std::string::npos);
}

// The test links the library's objects itself, so the code lives in the test program.
TEST(Dynmod, LibraryDirectoryIsWhereTheLoaderFoundTheCode) {
  char dir[4096];
  ASSERT_TRUE(dynmod_get_lib_dirname(dir, sizeof dir));
  EXPECT_EQ(fs::path(dir), fs::read_symlink("/proc/self/exe").parent_path());
}

}  // namespace
