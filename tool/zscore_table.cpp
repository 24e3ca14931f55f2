// quenta_zscore OUTPUT: writes the normal quantile table that the engine draws its deviates
// from. The build runs it once to make data/ZScore.dat in the staging folder.
//
// 50000 lines "p z": p = 0.5, 0.50001, ... 0.99999 and z its standard normal quantile. Twelve
// decimals of z keep normal_cdf(z) within about 1e-13 of p, far inside what the lookup needs.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "normal.h"
#include "quantile_table.h"

namespace {

constexpr int steps_per_unit = 100000;

bool write_table(std::FILE* out) {
  for (int i = 0; i < QuantileTable::rows; ++i) {
    // Dividing the whole numerator gives the double nearest the printed decimal, so the
    // table read back holds exactly the probability the z was computed for.
    double p = static_cast<double>(steps_per_unit / 2 + i) / steps_per_unit;
    if (std::fprintf(out, "%.5f %.12f\n", p, inverse_normal_cdf(p)) < 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 1;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::fprintf(stderr, "quenta_zscore: cannot create %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  bool written = write_table(out);
  // A full disk may only show when the buffer is flushed at close.
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "quenta_zscore: cannot write %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  return 0;
}
