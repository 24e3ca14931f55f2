// The port of the running test case: its place among every case the test program registers,
// within the program's block. ctest runs each case as its own process, in parallel, so cases
// that send must not share a port; this gives each its own without a hand-kept list.
#pragma once

#include <gtest/gtest.h>

#include "test_ports.h"

inline uint16_t case_port(port_block block) {
  const ::testing::UnitTest& program = *::testing::UnitTest::GetInstance();
  const ::testing::TestInfo* running = program.current_test_info();
  uint16_t index = 0;
  for (int s = 0; s < program.total_test_suite_count(); ++s) {
    const ::testing::TestSuite& suite = *program.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t, ++index)
      if (suite.GetTestInfo(t) == running) return test_port(block, index);
  }
  throw "case_port called outside a test case";
}
