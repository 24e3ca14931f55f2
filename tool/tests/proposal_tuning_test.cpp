// The tuned sampler's proposals: shaped like the draws seen during the burn-in and scaled by
// their acceptance.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "proposal_tuning.h"

namespace {

// The covariance of item 0's proposal steps, from the steps of unit deviates.
std::array<double, 3> step_covariance(const proposal_tuning& tuning) {
  double a[2], b[2];
  const double e1[] = {1, 0}, e2[] = {0, 1};
  tuning.joint_step(0, e1, a);
  tuning.joint_step(0, e2, b);
  return {a[0] * a[0] + b[0] * b[0], a[0] * a[1] + b[0] * b[1], a[1] * a[1] + b[1] * b[1]};
}

TEST(ProposalTuning, ShapesItselfOnTheDrawsAndSteersByAcceptance) {
  proposal_tuning tuning(2, {0.1, 0.2});
  // Before any draws: the syntax file's widths, times 2.38 / sqrt(2).
  const double optimum = 2.38 * 2.38 / 2;
  std::array<double, 3> c = step_covariance(tuning);
  EXPECT_NEAR(c[0], 0.01 * optimum, 1e-12);
  EXPECT_NEAR(c[1], 0, 1e-12);
  EXPECT_NEAR(c[2], 0.04 * optimum, 1e-12);

  // Draws with sds 1 and 3 and correlation 0.9: the shape follows them. Item 0's proposals were
  // all taken, too timid, and its scale grows; item 1's one time in ten, and its scale shrinks.
  std::mt19937_64 random(3);
  std::normal_distribution<double> normal;
  for (int i = 0; i < 20000; ++i) {
    const double z1 = normal(random), z2 = normal(random);
    const double x[] = {z1, 3 * (0.9 * z1 + std::sqrt(1 - 0.81) * z2)};
    tuning.observe(0, x);
    tuning.count(0, true);
    tuning.count(1, i % 10 == 0);
  }
  tuning.adjust();
  EXPECT_GT(tuning.scale(0), 1);
  EXPECT_LT(tuning.scale(1), 1);
  c = step_covariance(tuning);
  const double s = tuning.scale(0) * tuning.scale(0) * optimum;
  EXPECT_NEAR(c[0] / s, 1, 0.05);
  EXPECT_NEAR(c[1] / s, 2.7, 0.15);
  EXPECT_NEAR(c[2] / s, 9, 0.4);
  // Item 1 saw no draws and keeps its shape.
  double step[2];
  const double unit[] = {1, 0};
  tuning.joint_step(1, unit, step);
  EXPECT_NEAR(step[0], 0.1 * tuning.scale(1) * 2.38 / std::sqrt(2.0), 1e-12);
  EXPECT_EQ(step[1], 0);

  // A batch with nothing counted leaves the scales alone; rejections cannot shrink them to 0.
  const double kept = tuning.scale(0);
  tuning.adjust();
  EXPECT_EQ(tuning.scale(0), kept);
  for (int batch = 0; batch < 100; ++batch) {
    tuning.count(1, false);
    tuning.adjust();
  }
  EXPECT_GT(tuning.scale(1), 0);
}

}  // namespace
