// GUI is the desktop shell of quenta: the window loaded from data/gui/quenta.glade, its buttons
// and menu, its Report and Plots tabs, and the threads that run an estimation (one worker, which
// runs the chains, each on a thread of its own when there are several) and save a run. It owns
// the chains; the main thread drives the toolkit through pump(), and only the main thread
// touches widgets.
#pragma once

#include <glade/glade.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chain_set.h"

class GUI {
public:
  // Test seams. The chooser seam answers a file chooser instead of the dialog (the chosen path,
  // or "" for none; the default extension is still applied). The error seam is told the title
  // and text of an error dialog instead of running it modally (its labels are still set).
  using chooser_seam = std::function<std::string(bool save)>;
  using error_seam = std::function<void(const std::string& title, const std::string& text)>;

  // Starts the toolkit, loads the main window and the engine, and shows the window. Throws
  // std::runtime_error with the message for the user when the toolkit cannot start or the
  // window description cannot be loaded.
  GUI();
  // Stops a run and waits for it and for a save before the engine goes away.
  ~GUI();
  GUI(const GUI&) = delete;
  GUI& operator=(const GUI&) = delete;

  // False once Quit was chosen or the window was closed.
  bool app_running() const { return app_running_; }
  // One round of the main loop: shows progress and elapsed time, applies a finished run or
  // save, then handles the toolkit's events, waiting at most one tick for the first of them.
  void pump();
  // Loads a syntax file as if it had been chosen through Import.
  void import_syntax(const std::string& path);

  // A widget of any description loaded so far, by its name there; null when there is none.
  GtkWidget* widget(const char* name) const;

  void set_chooser_seam(chooser_seam seam) { chooser_seam_ = std::move(seam); }
  void set_error_seam(error_seam seam) { error_seam_ = std::move(seam); }

private:
  using clock = std::chrono::steady_clock;

  // One description loaded with libglade and the window at its root, destroyed with it.
  struct description {
    GladeXML* xml = nullptr;
    GtkWidget* root = nullptr;
    ~description();
  };

  static std::unique_ptr<description> load(const char* root);
  description* load_on_first_use(std::unique_ptr<description>& slot, const char* root);
  void connect_handlers();
  void connect_menu_items();

  // Handlers of the buttons and the menu.
  void import();
  void run();
  void stop();
  void save();
  void quit();
  void about();
  void menu_item_activated(GtkWidget* item);

  void load_problem(const std::string& path);
  void refuse_problem(const char* title, const char* text);
  void reset_display();
  void set_buttons(bool import, bool run, bool stop);
  void set_progress(double fraction, const std::string& text);
  void set_run_name(const std::string& path);
  void show_elapsed();
  void show_progress();
  void end_run();
  void stop_worker();
  void work();
  int chains_setting() const;
  void fill_plot_choices();
  void draw_plot(GtkWidget* area, bool trace);
  void show_save_progress();
  void finish_save();
  std::string choose_file(bool save, const char* pattern, const char* filter_name);
  void show_error(const std::string& title, const std::string& text);

  // Declared first so that it is destroyed last, after both threads have been joined.
  std::unique_ptr<chain_set> chains_;

  std::unique_ptr<description> main_, about_, error_, save_window_;
  GtkWidget* window_ = nullptr;
  GtkWidget* run_name_label_ = nullptr;
  GtkWidget* text_view_ = nullptr;
  GtkWidget* time_label_ = nullptr;
  GtkWidget* progress_bar_ = nullptr;
  GtkWidget* import_button_ = nullptr;
  GtkWidget* run_button_ = nullptr;
  GtkWidget* stop_button_ = nullptr;
  GtkWidget* chains_spin_ = nullptr;
  GtkWidget* trace_combo_ = nullptr;
  GtkWidget* curve_item_spin_ = nullptr;
  GtkWidget* trace_plot_ = nullptr;
  GtkWidget* curve_plot_ = nullptr;
  guint tick_source_ = 0;

  chooser_seam chooser_seam_;
  error_seam error_seam_;

  // Main-thread state.
  bool app_running_ = false;
  bool has_results_ = false;
  bool running_ = false;
  bool estimates_ready_ = false;  // the last run reached its end
  int total_iterations_ = 0;
  int shown_iterations_ = 0;
  std::vector<QUENTA::parameter_id> plot_parameters_;  // the trace choices, in order
  clock::time_point run_started_;
  std::int64_t shown_seconds_ = -1;
  clock::time_point save_started_;
  std::int64_t pulsed_seconds_ = 0;
  std::string save_path_;

  // Shared with the worker, which never touches widgets: the chains publish their progress;
  // at the end of a run the worker leaves the report text (or why a chain failed) before
  // setting worker_done_.
  std::thread worker_;
  std::atomic<bool> worker_done_{false};
  bool run_complete_ = false;
  std::string report_;

  // Shared with the save thread.
  std::thread save_thread_;
  std::mutex mutex_;  // guards saving_ and save_ok_
  bool saving_ = false;
  bool save_ok_ = true;
};
