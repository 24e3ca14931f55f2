// Syntax and data files, the saved run and the report text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "problem_files.h"
#include "quenta.h"

namespace {

std::vector<std::string> tokens_of(const std::string& text) {
  QUENTA engine;
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  std::vector<std::string> tokens;
  std::string token;
  while (engine.read_token(file, token)) tokens.push_back(token);
  EXPECT_TRUE(token.empty());
  std::fclose(file);
  return tokens;
}

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A number printed with "%.05f".
bool five_decimals(const std::string& word) {
  size_t dot = word.find('.');
  if (dot == std::string::npos || word.size() - dot != 6) return false;
  std::string digits = word.substr(word[0] == '-' ? 1 : 0);
  digits.erase(digits.find('.'), 1);
  return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::string> words_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// A loaded problem of the default settings with its data in a scratch folder.
struct loaded_problem {
  scratch_folder folder;
  QUENTA engine;
  int result;
  explicit loaded_problem(syntax_settings settings = {},
                          std::string data = data_text({{0, 1, 2}, {2, 2, 1}, {1, 0, 0}, {2, 1, 0}})) {
    const std::string written = folder.write("data.txt", data);
    if (settings.data == syntax_settings{}.data) settings.data = written;
    engine.fix_seed(3);
    result = engine.load_syntax(folder.write("problem.mcs", settings.text()));
  }
};

TEST(SyntaxTokens, CommentsAndSeparatorsEndTokens) {
  EXPECT_EQ(tokens_of("5000 # remark\n7"), (std::vector<std::string>{"5000", "7"}));
  EXPECT_EQ(tokens_of("12# remark\r8"), (std::vector<std::string>{"12", "8"}));
  EXPECT_EQ(tokens_of(std::string("a\tb\0c\r\nd", 8)), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(tokens_of("# only a comment"), std::vector<std::string>{});
  EXPECT_EQ(tokens_of("last"), std::vector<std::string>{"last"});
}

TEST(SyntaxTokens, OverlongTokensAreCutAndRefused) {
  std::vector<std::string> tokens = tokens_of(std::string(5000, 'x') + " y");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].size(), QUENTA::max_token_length + 1u);

  scratch_folder folder;
  syntax_settings settings;
  settings.data = folder.write("data.txt", "0 1 2\n") + "/" + std::string(300, 'd');
  QUENTA engine;
  EXPECT_EQ(engine.load_syntax(folder.write("p.mcs", settings.text())), QUENTA::bad_syntax);
  EXPECT_FALSE(engine.loaded());
  EXPECT_NE(engine.last_error().find("longer than 243"), std::string::npos) << engine.last_error();
}

TEST(DataFile, ColumnsFeedTheSlotsThatNameThem) {
  syntax_settings settings;
  settings.columns = {3, 1, 2};
  loaded_problem p(settings, data_text({{0, 1, 2}, {2, 0, 1}, {1, 2, 0}, {0, 0, 1}}));
  ASSERT_EQ(p.result, QUENTA::loaded_ok) << p.engine.last_error();
  // Slot 2's entry is 2: it gets the second number of each row; slot 0 the third.
  EXPECT_EQ(p.engine.response(0, 2), 1);
  EXPECT_EQ(p.engine.response(0, 0), 2);
  EXPECT_EQ(p.engine.response(0, 1), 0);
  EXPECT_EQ(p.engine.response(1, 2), 0);
  EXPECT_EQ(p.engine.response(1, 0), 1);
  EXPECT_EQ(p.engine.column_order(), (std::vector<int>{2, 0, 1}));
}

TEST(DataFile, OutOfRangeAndMissingNumbersAreMissingResponses) {
  loaded_problem p({}, "0 9 -1\n2 3 1\n1 0");  // ends four numbers short
  ASSERT_EQ(p.result, QUENTA::loaded_ok) << p.engine.last_error();
  EXPECT_EQ(p.engine.response(0, 0), 0);
  EXPECT_EQ(p.engine.response(0, 1), -1);
  EXPECT_EQ(p.engine.response(0, 2), -1);
  EXPECT_EQ(p.engine.response(1, 1), -1);
  EXPECT_EQ(p.engine.response(2, 1), 0);
  EXPECT_EQ(p.engine.response(2, 2), -1);
  EXPECT_EQ(p.engine.response(3, 0), -1);
  ASSERT_EQ(p.engine.warnings().size(), 1u);
  EXPECT_NE(p.engine.warnings()[0].find("holds 8 of 12 responses"), std::string::npos);

  loaded_problem garbage({}, "1 2 x 0 0 0 0");  // reading stops at the first non-number
  ASSERT_EQ(garbage.result, QUENTA::loaded_ok);
  EXPECT_EQ(garbage.engine.response(0, 1), 2);
  EXPECT_EQ(garbage.engine.response(1, 0), -1);
}

TEST(DataFile, NoValidResponseLeavesNothingLoaded) {
  loaded_problem p({}, data_text({{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}}));
  EXPECT_EQ(p.result, QUENTA::no_valid_responses);
  EXPECT_FALSE(p.engine.loaded());
  loaded_problem empty({}, "");
  EXPECT_EQ(empty.result, QUENTA::no_valid_responses);
}

TEST(DataFile, RelativeNameIsFoundBesideTheSyntaxFile) {
  scratch_folder folder;
  folder.write("beside.txt", data_text({{0, 1, 2}}));
  syntax_settings settings;
  settings.persons = 1;
  settings.data = "beside.txt";
  QUENTA engine;
  EXPECT_EQ(engine.load_syntax(folder.write("p.mcs", settings.text())), QUENTA::loaded_ok) << engine.last_error();
}

TEST(SyntaxFile, ImpossibleSettingsAreInvalid) {
  auto result_of = [](auto change) {
    syntax_settings settings;
    change(settings);
    loaded_problem p(settings);
    EXPECT_FALSE(p.engine.loaded());
    EXPECT_FALSE(p.engine.last_error().empty());
    return p.result;
  };
  EXPECT_EQ(result_of([](syntax_settings& s) { s.persons = 0; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.items = 0; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.categories = 1; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.columns = {1, 2, 4}; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.columns = {0, 1, 2}; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.columns = {1, 1, 2}; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.columns = {INT_MIN, INT_MAX, 1}; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.iterations = 6; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.burn_in = -1; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.persons = 2000000000; }), QUENTA::bad_syntax);
  EXPECT_EQ(result_of([](syntax_settings& s) { s.data = "/nonexistent/data.txt"; }), QUENTA::bad_syntax);
}

TEST(SyntaxFile, MissingFilesAreErrorsNotCrashes) {
  QUENTA engine;
  EXPECT_EQ(engine.load_syntax("/nonexistent/problem.mcs"), QUENTA::bad_syntax);
  EXPECT_NE(engine.last_error().find("/nonexistent/problem.mcs"), std::string::npos);

  scratch_folder folder;
  QUENTA no_table(folder.file("missing.dat"));
  EXPECT_FALSE(no_table.has_quantile_table());
  EXPECT_EQ(no_table.load_syntax(folder.write("p.mcs", syntax_settings{}.text())), QUENTA::bad_syntax);
  EXPECT_NE(no_table.last_error().find("quantile table"), std::string::npos);
  no_table.start_run();  // nothing loaded: nothing to do
  EXPECT_FALSE(no_table.save_run(folder.file("run.txt")));
}

TEST(SyntaxFile, ReloadingReplacesTheProblem) {
  loaded_problem p;
  ASSERT_EQ(p.result, QUENTA::loaded_ok);
  syntax_settings bigger;
  bigger.items = 4;
  bigger.columns = {4, 3, 2, 1};
  bigger.delta_start = {-2, -1, 1, 2};
  bigger.data = p.folder.write("data4.txt", data_text({{0, 1, 2, 0}, {1, 1, 1, 1}, {2, 1, 0, 0}, {0, 0, 0, 2}}));
  ASSERT_EQ(p.engine.load_syntax(p.folder.write("p4.mcs", bigger.text())), QUENTA::loaded_ok);
  EXPECT_EQ(p.engine.size().items, 4);
  EXPECT_EQ(p.engine.response(0, 3), 0);
}

TEST(SavedRun, OneLinePerIterationWithEveryItemParameter) {
  syntax_settings settings;
  settings.items = 2;
  settings.columns = {1, 2};
  settings.delta_start = {-1, 1};
  settings.iterations = 10;
  settings.burn_in = 2;
  loaded_problem p(settings, data_text({{0, 1}, {2, 2}, {1, 0}, {2, 1}}));
  ASSERT_EQ(p.result, QUENTA::loaded_ok) << p.engine.last_error();
  p.engine.start_run();
  for (int t = 0; t < 10; ++t) p.engine.iterate(t);
  std::string path = p.folder.file("run.txt");
  ASSERT_TRUE(p.engine.save_run(path));
  std::vector<std::string> lines = lines_of(path);
  ASSERT_EQ(lines.size(), 11u);
  for (const std::string& line : lines) {
    ASSERT_EQ(line.back(), ' ');
    std::vector<std::string> words = words_of(line);
    ASSERT_EQ(words.size(), 8u);  // 2 alphas, 2 deltas, 2 x 2 thresholds
    for (const std::string& w : words) EXPECT_TRUE(five_decimals(w)) << w;
  }
  // Line 0 is the starting state: alpha 1, deltas in ascending order.
  EXPECT_EQ(words_of(lines[0])[0], "1.00000");
  EXPECT_EQ(words_of(lines[0])[2], "-1.00000");
  EXPECT_EQ(words_of(lines[0])[3], "1.00000");
}

TEST(SavedRun, IterationsNeverReachedCarryTheMarker) {
  loaded_problem p;
  ASSERT_EQ(p.result, QUENTA::loaded_ok);
  p.engine.start_run();
  for (int t = 0; t < 4; ++t) p.engine.iterate(t);  // stopped after 4 of 20
  std::string path = p.folder.file("stopped.txt");
  ASSERT_TRUE(p.engine.save_run(path));
  std::vector<std::string> lines = lines_of(path);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[4].find("8675309"), std::string::npos);
  for (size_t i = 5; i < lines.size(); ++i)
    for (const std::string& w : words_of(lines[i])) ASSERT_EQ(w, "8675309.00000");
  EXPECT_FALSE(p.engine.save_run(p.folder.file("no/such/folder/run.txt")));
  EXPECT_FALSE(p.engine.last_error().empty());
}

TEST(Report, SectionsRowsAndFormats) {
  syntax_settings settings;
  settings.columns = {3, 1, 2};
  loaded_problem p(settings);
  ASSERT_EQ(p.result, QUENTA::loaded_ok);
  p.engine.start_run();
  for (int t = 0; t < 20; ++t) p.engine.iterate(t);
  const std::string report = p.engine.report();
  const std::string sep = "\n" + std::string(92, '=') + "\n";

  EXPECT_EQ(report.rfind("\n\nRaw Estimates\n\tAlpha\t\tDelta\t\tTau1\t\tTau2\n03.   ", 0), 0u) << report;
  const char* sections[] = {sep.c_str(), "\n\nOrdered Estimates\n", "\n01.   ", "\n02.   ", "\n03.   ",
                            "\nStandard Errors\n", "\n 1.    +", "\nRejection Rate\n", "%\t\t+",
                            "\n\n Theta Estimates\n\tInitial\t\tEstimated\t\tStandard Error\n",
                            "\n\nZ-Scores\n\tAlpha (p-value)\t\tDelta (p-value)\t\tTau1 (p-value)\t\tTau2 (p-value)\n",
                            "\nAverage Z-Score (p-value): "};
  size_t at = 0;
  for (const char* s : sections) {
    size_t found = report.find(s, at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << s;
    at = found;
  }
  // One z-score row per item, each with four z-scores and their two-sided p-values.
  std::istringstream rows(report.substr(report.find("Tau2 (p-value)\n") + 15));
  for (int s = 1; s <= 3; ++s) {
    std::string row;
    std::getline(rows, row);
    EXPECT_EQ(row.rfind(" " + std::to_string(s) + ". ", 0), 0u) << row;
    size_t pairs = 0;
    for (size_t at = row.find(" ("); at != std::string::npos; at = row.find(" (", at + 1)) {
      double p = std::stod(row.substr(at + 2));
      EXPECT_GE(p, 0.0);
      EXPECT_LE(p, 1.0);
      ++pairs;
    }
    EXPECT_EQ(pairs, 4u) << row;
  }
  EXPECT_EQ(report.find("nan"), std::string::npos);
}

}  // namespace
