// Drives the quenta window through its own handlers on a virtual display, with seams that
// answer the file chooser and the error dialog, and runs the terminal form as a process.
// Runs in the staging folder, where data/ZScore.dat and data/gui/quenta.glade are.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gui.h"

namespace {

namespace fs = std::filesystem;

constexpr int items = 4;
constexpr int categories = 3;
constexpr int values_per_line = items + items + items * (categories - 1);
const char* const missing_marker = "8675309.00000";

// A temporary folder holding problems of 4 items with 3 categories and random responses.
class problem_folder {
public:
  problem_folder() {
    std::string pattern = (fs::temp_directory_path() / "quenta_gui_test_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~problem_folder() { fs::remove_all(path_); }

  fs::path path() const { return path_; }

  // Writes name.mcs and its data file; all_missing makes every response -1.
  std::string write(const std::string& name, int persons, int iterations, int burn_in,
                    bool all_missing = false) const {
    fs::path data = path_ / (name + ".dat");
    std::ofstream rows(data);
    std::mt19937 random(17);
    for (int n = 0; n < persons; ++n) {
      for (int j = 0; j < items; ++j)
        rows << (all_missing ? -1 : static_cast<int>(random() % categories)) << ' ';
      rows << '\n';
    }
    fs::path syntax = path_ / (name + ".mcs");
    std::ofstream out(syntax);
    out << persons << ' ' << items << ' ' << data.string() << ' ' << iterations << ' '
        << burn_in << ' ' << categories << "\n1 2 3 4\n0.1 0.5\n";
    const char* priors[] = {"1.5", "1.5", "0.25", "4",   // alpha: a, b, lo, hi
                            "2", "2", "-5", "5",         // delta
                            "2", "2", "-4", "4",         // threshold 1
                            "2", "2", "-4", "4"};        // threshold 2
    for (const char* value : priors) out << row(value);
    out << "-1 -0.5 0.5 1\n0.5 0.3 0.3 0.3\n";
    return syntax.string();
  }

private:
  static std::string row(const char* value) {
    std::string line;
    for (int j = 0; j < items; ++j) line += std::string(value) + ' ';
    return line + '\n';
  }

  fs::path path_;
};

std::vector<std::string> read_lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> values;
  for (std::string value; in >> value;) values.push_back(value);
  return values;
}

// Checks the shape of a saved run of T iterations; returns the first line that carries the
// marker of unreached iterations (T + 1 when none does).
int check_saved_run(const fs::path& file, int iterations) {
  std::vector<std::string> lines = read_lines(file);
  EXPECT_EQ(lines.size(), static_cast<size_t>(iterations + 1));
  int first_missing = static_cast<int>(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> values = split(lines[i]);
    EXPECT_EQ(values.size(), static_cast<size_t>(values_per_line)) << "line " << i;
    int markers = static_cast<int>(std::count(values.begin(), values.end(), missing_marker));
    if (markers > 0 && first_missing == static_cast<int>(lines.size())) first_missing = int(i);
    // Past the reached iteration every value is the marker; before it none is.
    EXPECT_EQ(markers, static_cast<int>(i) >= first_missing ? values_per_line : 0) << "line " << i;
  }
  return first_missing;
}

class GuiTest : public ::testing::Test {
protected:
  void SetUp() override {
    gui_ = std::make_unique<GUI>();
    gui_->set_chooser_seam([this](bool save) {
      chooser_calls_.push_back(save);
      return choice_;
    });
    gui_->set_error_seam([this](const std::string& title, const std::string& text) {
      errors_.push_back(title);
      EXPECT_EQ(label_text("errorDialogTextLabel"), text);
      EXPECT_EQ(label_text("errorDialogTitleLabel"), title);
    });
  }

  GtkWidget* widget(const char* name) {
    GtkWidget* found = gui_->widget(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void click(const char* button) { gtk_button_clicked(GTK_BUTTON(widget(button))); }
  void choose_menu(const char* item) { gtk_menu_item_activate(GTK_MENU_ITEM(widget(item))); }
  bool sensitive(const char* name) { return gtk_widget_is_sensitive(widget(name)); }
  bool visible(const char* name) { return gtk_widget_get_visible(widget(name)); }
  std::string label_text(const char* name) { return gtk_label_get_text(GTK_LABEL(widget(name))); }
  std::string progress_text() {
    const char* text = gtk_progress_bar_get_text(GTK_PROGRESS_BAR(widget("quentaProgressBar")));
    return text ? text : "";
  }
  double progress_fraction() {
    return gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget("quentaProgressBar")));
  }
  std::string report_text() {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget("quentaTextView")));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string copy = text;
    g_free(text);
    return copy;
  }
  // Which of import, run and stop are sensitive, as "irs" with "-" for insensitive ones.
  std::string buttons() {
    std::string state;
    state += sensitive("quentaImportSyntaxButton") ? 'i' : '-';
    state += sensitive("quentaRunButton") ? 'r' : '-';
    state += sensitive("quentaStopButton") ? 's' : '-';
    return state;
  }

  bool pump_until(const std::function<bool()>& done, int seconds = 120) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      gui_->pump();
    }
    return true;
  }

  void import(const std::string& syntax) {
    choice_ = syntax;
    click("quentaImportSyntaxButton");
  }
  // Starts a run and lets it get past its first iterations.
  void start_run() {
    click("quentaRunButton");
    ASSERT_TRUE(pump_until([&] { return progress_text() != " "; }));
  }
  void save_as(const std::string& name) {
    choice_ = name;
    choose_menu("saveRunAsMenuItem");
    ASSERT_TRUE(pump_until([&] { return !visible("saveProgressWindow"); }));
  }

  void save_screenshot(const char* file) {
    for (int i = 0; i < 10; ++i) gui_->pump();
    GdkWindow* window = widget("quentaWindow")->window;
    gint width = 0, height = 0;
    gdk_drawable_get_size(window, &width, &height);
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_drawable(nullptr, window, nullptr, 0, 0, 0, 0, width, height);
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(shot, file, "png", nullptr, nullptr));
    g_object_unref(shot);
  }

  problem_folder folder_;
  std::unique_ptr<GUI> gui_;
  std::string choice_;
  std::vector<bool> chooser_calls_;
  std::vector<std::string> errors_;
};

TEST_F(GuiTest, ImportRunToTheEndAndSave) {
  EXPECT_EQ(buttons(), "i--");
  EXPECT_EQ(progress_text(), " ");

  std::string syntax = folder_.write("small", 60, 300, 100);
  import(syntax);
  EXPECT_EQ(chooser_calls_, std::vector<bool>{false});
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(buttons(), "ir-");
  EXPECT_EQ(label_text("quentaRunNameLabel"), syntax);

  click("quentaRunButton");
  EXPECT_EQ(buttons(), "--s");
  EXPECT_EQ(label_text("quentaTotalTimeLabel"), "00:00:00");
  ASSERT_TRUE(pump_until([&] { return sensitive("quentaRunButton"); }));

  EXPECT_EQ(buttons(), "ir-");
  EXPECT_NE(report_text().find("Raw Estimates"), std::string::npos);
  EXPECT_EQ(progress_text(), "300 Iterations");
  EXPECT_DOUBLE_EQ(progress_fraction(), 1.0);
  save_screenshot("quenta_window.png");

  // A name without an extension gets ".txt"; the label then names the saved run.
  save_as((folder_.path() / "full").string());
  fs::path saved = folder_.path() / "full.txt";
  EXPECT_EQ(label_text("quentaRunNameLabel"), saved.string());
  EXPECT_EQ(check_saved_run(saved, 300), 301);
  EXPECT_TRUE(errors_.empty());

  // A second run starts from a clean display.
  click("quentaRunButton");
  EXPECT_EQ(report_text(), "");
  EXPECT_EQ(label_text("quentaRunNameLabel"), "");
  ASSERT_TRUE(pump_until([&] { return sensitive("quentaRunButton"); }));
  EXPECT_NE(report_text().find("Raw Estimates"), std::string::npos);
}

TEST_F(GuiTest, StoppedRunSavesMarkersPastTheReachedIteration) {
  const int iterations = 20000;
  import(folder_.write("long", 2000, iterations, 100));
  start_run();

  choose_menu("saveRunAsMenuItem");
  EXPECT_EQ(errors_, std::vector<std::string>{"Simulation Running"});
  EXPECT_EQ(chooser_calls_.size(), 1u) << "only the import's chooser may have opened";

  click("quentaStopButton");
  EXPECT_EQ(buttons(), "ir-");
  EXPECT_EQ(report_text(), "");
  std::string progress = progress_text();
  int reached = std::atoi(progress.c_str());
  ASSERT_GT(reached, 0) << progress;
  ASSERT_LT(reached, iterations);

  save_as((folder_.path() / "stopped").string());
  EXPECT_EQ(check_saved_run(folder_.path() / "stopped.txt", iterations), reached + 1);

  // A name with an extension is kept as it is.
  save_as((folder_.path() / "stopped.dat").string());
  EXPECT_TRUE(fs::exists(folder_.path() / "stopped.dat"));
  EXPECT_FALSE(fs::exists(folder_.path() / "stopped.dat.txt"));
  EXPECT_EQ(errors_.size(), 1u);
}

// The share of pixels of a widget's area on a screenshot of the whole display that differ from
// the area's first pixel.
double drawn_share(const std::string& screenshot, GtkWidget* area) {
  GdkPixbuf* shot = gdk_pixbuf_new_from_file(screenshot.c_str(), nullptr);
  EXPECT_NE(shot, nullptr);
  if (!shot) return 0;
  gint x = 0, y = 0;
  gdk_window_get_origin(area->window, &x, &y);
  const int width = area->allocation.width, height = area->allocation.height;
  const int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
  const guchar* pixels = gdk_pixbuf_get_pixels(shot);
  auto at = [&](int i, int j) { return pixels + (y + j) * stride + (x + i) * channels; };
  long differing = 0;
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) differing += !std::equal(at(i, j), at(i, j) + 3, at(0, 0));
  g_object_unref(shot);
  return width * height > 0 ? double(differing) / (width * height) : 0;
}

TEST_F(GuiTest, ChainsRunTogetherAndThePlotsShowThem) {
  import(folder_.write("small", 60, 300, 100));
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget("quentaChainsSpin")), 3);
  click("quentaRunButton");
  EXPECT_FALSE(sensitive("quentaChainsSpin"));
  ASSERT_TRUE(pump_until([&] { return sensitive("quentaRunButton"); }));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(progress_text(), "300 Iterations");
  EXPECT_NE(report_text().find("Convergence of 3 chains, 200 kept iterations each"), std::string::npos);

  // One file per chain, named from the chosen name.
  save_as((folder_.path() / "three").string());
  for (const char* name : {"three.chain1.txt", "three.chain2.txt", "three.chain3.txt"})
    EXPECT_EQ(check_saved_run(folder_.path() / name, 300), 301) << name;
  EXPECT_FALSE(fs::exists(folder_.path() / "three.txt"));

  gtk_notebook_set_current_page(GTK_NOTEBOOK(widget("quentaNotebook")), 1);
  gtk_combo_box_set_active(GTK_COMBO_BOX(widget("quentaTraceCombo")), 1);
  EXPECT_STREQ(gtk_combo_box_get_active_text(GTK_COMBO_BOX(widget("quentaTraceCombo"))), "delta 1");
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget("quentaCurveItemSpin")), 4);
  for (int i = 0; i < 20; ++i) gui_->pump();
  const std::string shot = (folder_.path() / "plots.png").string();
  ASSERT_EQ(std::system(("import -window root " + shot).c_str()), 0);
  EXPECT_GT(drawn_share(shot, widget("quentaTracePlot")), 0.02);
  EXPECT_GT(drawn_share(shot, widget("quentaCurvePlot")), 0.02);
  fs::copy_file(shot, "quenta_plots.png", fs::copy_options::overwrite_existing);
}

TEST_F(GuiTest, RefusedImportsAndSaves) {
  choose_menu("saveRunAsMenuItem");
  EXPECT_EQ(errors_, std::vector<std::string>{"No Data Available"});

  import(folder_.write("missing", 20, 10, 2, true));
  EXPECT_EQ(errors_.back(), "Invalid Data File");
  EXPECT_EQ(buttons(), "i--");

  import((folder_.path() / "absent.mcs").string());
  EXPECT_EQ(errors_.back(), "Invalid Syntax File");
  EXPECT_EQ(buttons(), "i--");
  EXPECT_EQ(progress_text(), " ");

  // A failed import releases the previous problem, so its results can't be saved any more.
  import(folder_.write("small", 60, 300, 100));
  click("quentaRunButton");
  ASSERT_TRUE(pump_until([&] { return sensitive("quentaRunButton"); }));
  save_as((folder_.path() / "no/such/run").string());
  EXPECT_EQ(errors_.back(), "Save Failed");

  import((folder_.path() / "absent.mcs").string());
  choose_menu("saveRunAsMenuItem");
  EXPECT_EQ(errors_.back(), "No Data Available");
  EXPECT_EQ(chooser_calls_.size(), 5u) << "the chooser must not open for a refused save";
}

TEST_F(GuiTest, ImportNeedsTheQuantileTable) {
  // A window started where data/ZScore.dat is missing.
  fs::path staging = fs::current_path();
  fs::create_directories(folder_.path() / "data/gui");
  fs::copy_file("data/gui/quenta.glade", folder_.path() / "data/gui/quenta.glade");
  fs::current_path(folder_.path());
  gui_.reset();
  SetUp();
  fs::current_path(staging);

  import(folder_.write("small", 60, 300, 100));
  EXPECT_EQ(errors_, std::vector<std::string>{"Missing Quantile Table"});
  EXPECT_EQ(buttons(), "i--");
}

TEST_F(GuiTest, QuitDuringARunWaitsForTheWorker) {
  import(folder_.write("long", 2000, 20000, 100));
  start_run();
  choose_menu("quitMenuItem");
  EXPECT_FALSE(gui_->app_running());
  gui_.reset();  // would free the engine under a still-running worker
}

TEST_F(GuiTest, ClosingTheWindowDuringARunEndsTheProgram) {
  import(folder_.write("long", 2000, 20000, 100));
  start_run();
  GdkEvent* close = gdk_event_new(GDK_DELETE);
  close->any.window = GDK_WINDOW(g_object_ref(widget("quentaWindow")->window));
  close->any.send_event = TRUE;
  gtk_main_do_event(close);
  gdk_event_free(close);
  EXPECT_FALSE(gui_->app_running());
  EXPECT_TRUE(GTK_IS_WINDOW(widget("quentaWindow"))) << "the GUI destroys the window itself";
  gui_.reset();
}

TEST_F(GuiTest, AboutDialogHidesAndComesBack) {
  choose_menu("aboutMenuItem");
  GtkWidget* about = widget("aboutDialog");
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(about));
  gtk_button_clicked(
      GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(about), GTK_RESPONSE_CANCEL)));
  EXPECT_FALSE(gtk_widget_get_visible(about));

  // Closed by the window manager, it must be hidden, not destroyed, to be shown again.
  choose_menu("aboutMenuItem");
  gui_->pump();
  GdkEvent* close = gdk_event_new(GDK_DELETE);
  close->any.window = GDK_WINDOW(g_object_ref(about->window));
  close->any.send_event = TRUE;
  gtk_main_do_event(close);
  gdk_event_free(close);
  EXPECT_FALSE(gtk_widget_get_visible(about));
  choose_menu("aboutMenuItem");
  EXPECT_TRUE(gtk_widget_get_visible(widget("aboutDialog")));
}

// The terminal form, run as the program itself.
class BatchTest : public ::testing::Test {
protected:
  // Runs quenta with the arguments; its output and errors land in files of the folder.
  int quenta(const std::string& arguments) {
    std::string command = std::string(QUENTA_BINARY) + " " + arguments + " >" +
                          (folder_.path() / "out").string() + " 2>" +
                          (folder_.path() / "err").string();
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string output(const char* name) {
    std::ifstream in(folder_.path() / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  problem_folder folder_;
};

TEST_F(BatchTest, RunsReportsAndSaves) {
  std::string syntax = folder_.write("small", 60, 300, 100);
  fs::path saved = folder_.path() / "run.txt";
  ASSERT_EQ(quenta("--batch " + syntax + " --seed 7 --save " + saved.string()), 0)
      << output("err");
  std::string report = output("out");
  EXPECT_NE(report.find("Raw Estimates"), std::string::npos);
  EXPECT_NE(output("err").find("300/300 iterations 100%"), std::string::npos);
  EXPECT_EQ(check_saved_run(saved, 300), 301);

  // The same seed gives the same run; the plain sampler is a single chain's own, the tuned
  // one another chain.
  ASSERT_EQ(quenta("--batch " + syntax + " --seed 7"), 0);
  EXPECT_EQ(output("out"), report);
  ASSERT_EQ(quenta("--batch " + syntax + " --seed 7 --sampler plain"), 0);
  EXPECT_EQ(output("out"), report);
  ASSERT_EQ(quenta("--batch " + syntax + " --seed 7 --sampler tuned"), 0);
  EXPECT_NE(output("out"), report);
  EXPECT_NE(output("out").find("Raw Estimates"), std::string::npos);
}

TEST_F(BatchTest, ChainsWritePlotsAndTable) {
  std::string syntax = folder_.write("small", 60, 300, 100);
  fs::path saved = folder_.path() / "run.txt", plots = folder_.path() / "plots", table = folder_.path() / "t.csv";
  ASSERT_EQ(quenta("--batch " + syntax + " --seed 7 --chains 2 --save " + saved.string() + " --plots " +
                   plots.string() + " --csv " + table.string()),
            0)
      << output("err");
  EXPECT_NE(output("out").find("Convergence of 2 chains"), std::string::npos);
  EXPECT_EQ(check_saved_run(folder_.path() / "run.chain1.txt", 300), 301);
  EXPECT_EQ(check_saved_run(folder_.path() / "run.chain2.txt", 300), 301);

  // 4 items of 2 + 2 parameters, the thetas' mean and spread: 18 traces, and 4 curves.
  int images = 0;
  for (const auto& entry : fs::directory_iterator(plots)) {
    GdkPixbuf* image = gdk_pixbuf_new_from_file(entry.path().c_str(), nullptr);
    ASSERT_NE(image, nullptr) << entry.path();
    EXPECT_EQ(gdk_pixbuf_get_width(image), 800);
    g_object_unref(image);
    ++images;
  }
  EXPECT_EQ(images, 22);
  EXPECT_TRUE(fs::exists(plots / "trace_tau2_04.png"));
  EXPECT_TRUE(fs::exists(plots / "curves_04.png"));

  // A header, 18 parameters and 60 thetas, each with five fields; thetas have no R-hat.
  std::vector<std::string> rows = read_lines(table);
  ASSERT_EQ(rows.size(), 1u + 18 + 60);
  EXPECT_EQ(rows[0], "parameter,estimate,standard_error,r_hat,ess");
  EXPECT_TRUE(rows[1].starts_with("alpha 1,"));
  for (const std::string& row : rows) EXPECT_EQ(std::count(row.begin(), row.end(), ','), 4) << row;
  EXPECT_TRUE(rows.back().starts_with("theta 60,") && rows.back().ends_with(",,")) << rows.back();

  EXPECT_EQ(quenta("--batch " + syntax + " --chains 0"), 64);
  EXPECT_EQ(quenta("--batch " + syntax + " --chains 65"), 64);
  EXPECT_EQ(quenta("--batch " + syntax + " --csv " + (folder_.path() / "no/t.csv").string()), 3);
}

TEST_F(BatchTest, RefusesBadInput) {
  EXPECT_EQ(quenta("--batch " + (folder_.path() / "absent.mcs").string()), 1);
  EXPECT_NE(output("err").find("absent.mcs"), std::string::npos) << output("err");

  EXPECT_EQ(quenta("--batch " + folder_.write("missing", 20, 10, 2, true)), 2);
  EXPECT_NE(output("err").find("no valid responses"), std::string::npos) << output("err");

  std::string syntax = folder_.write("small", 60, 30, 10);
  fs::path unwritable = folder_.path() / "no/such/run.txt";
  EXPECT_EQ(quenta("--batch " + syntax + " --save " + unwritable.string()), 3);
  EXPECT_NE(output("out").find("Raw Estimates"), std::string::npos);

  EXPECT_EQ(quenta("--batch"), 64);
  EXPECT_NE(output("err").find("usage:"), std::string::npos);
  EXPECT_EQ(quenta("--batch " + syntax + " --seed minus"), 64);
  EXPECT_EQ(quenta("--batch " + syntax + " --sampler fast"), 64);
  EXPECT_EQ(quenta("--frobnicate"), 64);
  EXPECT_EQ(quenta("--help"), 0);
  EXPECT_NE(output("out").find("--batch problem.mcs"), std::string::npos);
}

}  // namespace
