// The estimation tool's syntax and data file readers. An input is a syntax file, optionally
// followed by "\n@@@\n" and a data file; the data file is written as "d", so syntax files
// that name "d" as their data file read it. A problem that loads is also run for a few
// iterations, reported and saved, as the window would after an import.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "normal.h"
#include "quantile_table.h"
#include "quenta.h"

namespace {

void write_file(const char* name, std::string_view content) {
  FILE* file = std::fopen(name, "wb");
  if (!file) std::abort();
  if (!content.empty()) std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);
}

std::string scratch;

void remove_scratch() { std::filesystem::remove_all(scratch); }

// A scratch folder as working directory, with a quantile table in it; removed at exit.
void prepare_folder() {
  scratch = (std::filesystem::temp_directory_path() / "quenta_fuzz_XXXXXX").string();
  if (!mkdtemp(scratch.data()) || chdir(scratch.c_str()) != 0) std::abort();
  std::atexit(remove_scratch);
  FILE* table = std::fopen("ZScore.dat", "w");
  if (!table) std::abort();
  for (int i = 0; i < QuantileTable::rows; ++i) {
    double p = 0.5 + i / 100000.0;
    std::fprintf(table, "%.5f %.12f\n", p, inverse_normal_cdf(p));
  }
  std::fclose(table);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepare_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QUENTA engine("ZScore.dat");
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view marker = "\n@@@\n";
  const size_t split = input.find(marker);
  write_file("s.mcs", input.substr(0, split));
  write_file("d", split == std::string_view::npos ? std::string_view() : input.substr(split + marker.size()));

  engine.fix_seed(1);
  if (engine.load_syntax("s.mcs") != QUENTA::loaded_ok) return 0;
  const model_size& dims = engine.size();
  // Keep each input quick: large problems only exercise the readers.
  if (static_cast<long long>(dims.persons) * dims.items * dims.categories > 20000 || engine.iterations() > 2000)
    return 0;
  engine.start_run();
  for (int t = 0; t < 3 && t < engine.iterations(); ++t) engine.iterate(t);
  engine.report();
  engine.save_run("/dev/null");
  return 0;
}
