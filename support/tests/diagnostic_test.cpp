// The one way components print a diagnostic line.
#include "diagnostic.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace brindle;

namespace {

TEST(Diagnostic, PrintsTagAndTextAsOneLineWhateverItsLength) {
  const std::string long_text(5000, 'x');  // beyond what is formatted on the stack
  testing::internal::CaptureStderr();
  diagnostic("unit", "no arguments");
  diagnostic("unit", "%s %d", long_text.c_str(), 42);
  diagnostic("unit", "%s", "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unit: no arguments\nunit: " + long_text + " 42\nunit: \n");
}

// Threads printing at once never cut into each other's lines.
TEST(Diagnostic, LinesFromSeveralThreadsArriveWhole) {
  constexpr int threads = 8, lines = 200;
  testing::internal::CaptureStderr();
  std::vector<std::thread> printers;
  for (int t = 0; t < threads; ++t) {
    printers.emplace_back([t] {
      for (int i = 0; i < lines; ++i) diagnostic("thread", "%d says line %d of a longer diagnostic text", t, i);
    });
  }
  for (std::thread& printer : printers) printer.join();
  std::istringstream printed(testing::internal::GetCapturedStderr());
  std::map<int, int> next;  // thread -> the line expected next
  int total = 0;
  for (std::string line; std::getline(printed, line); ++total) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread: %d says line %d of a", &t, &i), 2) << line;
    ASSERT_EQ(line, "thread: " + std::to_string(t) + " says line " + std::to_string(i) + " of a longer diagnostic text");
    ASSERT_EQ(i, next[t]++) << line;
  }
  EXPECT_EQ(total, threads * lines);
}

}  // namespace
