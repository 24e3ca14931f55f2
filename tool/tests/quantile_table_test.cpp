// The normal quantile table as the build generates it, and the engine's lookup in it. Runs in
// the staging folder, where the build has written data/ZScore.dat.
#include "quantile_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "normal.h"
#include "quenta.h"

namespace {

const char table_path[] = "data/ZScore.dat";

struct rows {
  std::vector<double> p, z;
};

rows read_rows(const std::string& path) {
  rows r;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return r;
  double p, z;
  while (std::fscanf(f, "%lf %lf", &p, &z) == 2) {
    r.p.push_back(p);
    r.z.push_back(z);
  }
  std::fclose(f);
  return r;
}

// A file in a folder of its own that goes away with the test.
class scratch_file {
public:
  explicit scratch_file(const std::string& text)
      : folder_(std::filesystem::temp_directory_path() /
                ("quantile_table_test." + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder_);
    std::ofstream(path()) << text;
  }
  ~scratch_file() { std::filesystem::remove_all(folder_); }
  std::string path() const { return (folder_ / "ZScore.dat").string(); }

private:
  std::filesystem::path folder_;
};

TEST(GeneratedTable, HoldsEveryRowAscendingFromOneHalfWithExactQuantiles) {
  rows r = read_rows(table_path);
  ASSERT_EQ(r.p.size(), static_cast<size_t>(QuantileTable::rows));
  EXPECT_EQ(r.p.front(), 0.5);
  EXPECT_EQ(r.z.front(), 0.0);
  int worst_row = 0;
  double worst = 0;
  for (size_t i = 0; i < r.p.size(); ++i) {
    if (i > 0) {
      ASSERT_GT(r.p[i], r.p[i - 1]) << "row " << i;
    }
    double error = std::fabs(normal_cdf(r.z[i]) - r.p[i]);
    if (error > worst) worst = error, worst_row = static_cast<int>(i);
  }
  EXPECT_LT(worst, 1e-9) << "row " << worst_row;
  EXPECT_NEAR(r.p.back(), 0.99999, 1e-12);
}

TEST(QuantileLookup, EndsAndMirrorFollowTheTable) {
  QuantileTable table(table_path);
  ASSERT_TRUE(table.loaded()) << table.error();
  rows r = read_rows(table_path);
  EXPECT_EQ(table.quantile(0.5), r.z.front());
  EXPECT_EQ(table.quantile(1.0), r.z.back());
  EXPECT_EQ(table.quantile(0.999999), r.z.back());
  for (double p : {0.3, 0.1, 0.0123456, 1e-6, 0.0})
    EXPECT_EQ(table.quantile(p), -table.quantile(1 - p)) << "p = " << p;

  // The engine answers through the same table.
  QUENTA engine(table_path);
  ASSERT_TRUE(engine.has_quantile_table());
  EXPECT_EQ(engine.normal_quantile(0.975), table.quantile(0.975));
}

TEST(QuantileLookup, InterpolatesCloseToTheExactQuantile) {
  QuantileTable table(table_path);
  ASSERT_TRUE(table.loaded()) << table.error();
  // At the rows the lookup gives the row's own z.
  for (int i : {1, 2, 777, 25000, 49998})
    EXPECT_NEAR(table.quantile((50000.0 + i) / 100000), inverse_normal_cdf((50000.0 + i) / 100000),
                1e-12)
        << i;
  // Between rows, linear interpolation is within 1e-6 wherever the rows are dense enough for
  // the curvature. The last few hundred rows of the far tail are coarser: there the error
  // grows to about 0.013 between the last two rows.
  for (double p = 0.5; p < 0.998; p += 0.0000137) {
    ASSERT_NEAR(table.quantile(p), inverse_normal_cdf(p), 1e-6) << "p = " << p;
    ASSERT_NEAR(table.quantile(1 - p), inverse_normal_cdf(1 - p), 1e-6) << "p = " << 1 - p;
  }
  double previous = table.quantile(0.998);
  for (double p = 0.998; p <= 0.99999; p += 0.0000003) {
    double z = table.quantile(p);
    ASSERT_GE(z, previous) << "p = " << p;
    ASSERT_NEAR(z, inverse_normal_cdf(p), 0.02) << "p = " << p;
    previous = z;
  }
}

TEST(QuantileLookup, RefusesAMissingOrBrokenFile) {
  QuantileTable missing("no/such/ZScore.dat");
  EXPECT_FALSE(missing.loaded());
  EXPECT_FALSE(missing.error().empty());
  QUENTA engine("no/such/ZScore.dat");
  EXPECT_FALSE(engine.has_quantile_table());

  std::string head, rest;
  for (int i = 0; i < 100; ++i) head += std::to_string(0.5 + i / 100000.0) + " 0.1\n";
  for (int i = 100; i < QuantileTable::rows; ++i)
    rest += std::to_string(0.5 + i / 100000.0) + " 0.1\n";
  // Whole but with two rows swapped: no longer ascending.
  std::string swapped =
      "0.50001 0.1\n0.50000 0.0\n" + head.substr(head.find('\n', head.find('\n') + 1) + 1) + rest;
  const std::string broken[] = {head, head + "0.5 nonsense\n" + rest, swapped, ""};
  for (const std::string& text : broken) {
    scratch_file file(text);
    QuantileTable table(file.path());
    EXPECT_FALSE(table.loaded()) << text.substr(0, 40);
    EXPECT_FALSE(table.error().empty());
  }
}

}  // namespace
