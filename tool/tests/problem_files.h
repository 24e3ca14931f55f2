// Small syntax and data files for the engine's tests, written into a scratch folder that is
// removed afterwards.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class scratch_folder {
public:
  scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenta_test_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~scratch_folder() { std::filesystem::remove_all(path_); }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  std::string write(const std::string& name, const std::string& content) const {
    std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

// The settings of a syntax file, with defaults that make a valid small problem.
struct syntax_settings {
  int persons = 4, items = 3;
  std::string data = "data.txt";
  int iterations = 20, burn_in = 5, categories = 3;
  std::vector<int> columns = {1, 2, 3};
  double first_fraction = 0.1, last_fraction = 0.5;
  std::vector<double> delta_start = {-1, 0, 1};

  std::string text() const {
    std::ostringstream out;
    out << persons << "\n" << items << "\n" << data << "\n"
        << iterations << " " << burn_in << " " << categories << "\n";
    for (int c : columns) out << c << " ";
    out << "\n" << first_fraction << " " << last_fraction << "\n";
    auto prior = [&](double a, double b, double lo, double hi) {
      for (double v : {a, b, lo, hi}) {
        for (int j = 0; j < items; ++j) out << v << " ";
        out << "\n";
      }
    };
    prior(1.5, 1.5, 0.25, 4);
    prior(2, 2, -5, 5);
    for (int k = 1; k < categories; ++k) prior(2, 2, -3.5, 1.5);
    for (double d : delta_start) out << d << " ";
    out << "\n0.5 0.05 0.05 0.05\n";
    return out.str();
  }
};

// Rows of responses, one line each.
inline std::string data_text(const std::vector<std::vector<int>>& rows) {
  std::ostringstream out;
  for (const auto& row : rows) {
    for (int r : row) out << r << " ";
    out << "\n";
  }
  return out.str();
}
