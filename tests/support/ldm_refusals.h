// Assertions on the refusals of distribution manager services: the ldm_exception a call throws,
// its code and its text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "frame/ldm_error.h"

// Runs the call and returns the ldm_exception it throws; fails the test when it throws none.
template <class Call>
varnel::ldm_exception refusal_of(Call call) {
  try {
    call();
  } catch (const varnel::ldm_exception& e) {
    return e;
  }
  ADD_FAILURE() << "no varnel::ldm_exception thrown";
  return varnel::ldm_exception(varnel::ldm_error::None);
}

inline void expect_refusal(const varnel::ldm_exception& e, varnel::ldm_error code, const std::string& detail) {
  EXPECT_EQ(e.code(), code) << e;
  EXPECT_EQ(std::string(e.detail()), detail);
}
