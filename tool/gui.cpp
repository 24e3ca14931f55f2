#include "gui.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "batch.h"
#include "plots.h"

namespace {

const char* const description_path = "data/gui/quenta.glade";
const char* const current_folder = ".";
const char* const idle_progress_text = " ";
// pump() waits for events at most this long, so that progress and time stay fresh while the
// main thread sleeps instead of polling.
const guint tick_ms = 50;

const char* const syntax_title = "Invalid Syntax File";
const char* const syntax_text =
    "Failed to import syntax file.\nParameters may have been incorrectly mistyped.";
const char* const data_title = "Invalid Data File";
const char* const data_text = "The data file provided does not\nhave any valid responses.";
const char* const table_title = "Missing Quantile Table";
const char* const table_text =
    "The file data/ZScore.dat could not be read.\nThe program needs it to run an estimation.";
const char* const running_title = "Simulation Running";
const char* const running_text = "Can not save while a simulation is currently running.";
const char* const no_data_title = "No Data Available";
const char* const no_data_text = "There is no data to save. Must run a simulation before saving.";
const char* const save_failed_title = "Save Failed";
const char* const chain_failed_title = "Chain Failed";

// The name as the user should read it, whatever the file system's encoding.
std::string display_name(const std::string& path) {
  gchar* name = g_filename_display_name(path.c_str());
  std::string shown = name;
  g_free(name);
  return shown;
}

// A chosen name without an extension gets ".txt"; only the last component counts, so a dot in
// a folder name does not hide a missing extension.
std::string with_default_extension(std::string path) {
  std::string::size_type slash = path.rfind('/');
  std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
  if (path.find('.', start) == std::string::npos) path += ".txt";
  return path;
}

std::string run_chooser(GtkWidget* dialog) {
  if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT) return "";
  gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
  if (!name) return "";
  std::string path = name;
  g_free(name);
  return path;
}

gboolean keep_ticking(gpointer) { return TRUE; }

}  // namespace

GUI::description::~description() {
  if (root) gtk_widget_destroy(root);
  if (xml) g_object_unref(xml);
}

std::unique_ptr<GUI::description> GUI::load(const char* root) {
  auto loaded = std::make_unique<description>();
  loaded->xml = glade_xml_new(description_path, root, nullptr);
  if (!loaded->xml) return nullptr;
  loaded->root = glade_xml_get_widget(loaded->xml, root);
  if (!loaded->root) return nullptr;
  return loaded;
}

GUI::description* GUI::load_on_first_use(std::unique_ptr<description>& slot, const char* root) {
  if (slot) return slot.get();
  slot = load(root);
  if (!slot) return nullptr;
  gtk_window_set_transient_for(GTK_WINDOW(slot->root), GTK_WINDOW(window_));
  glade_xml_signal_autoconnect(slot->xml);
  return slot.get();
}

GUI::GUI() {
  if (!gtk_init_check(nullptr, nullptr)) throw std::runtime_error("Failed to initialize GTK");
  main_ = load("quentaWindow");
  if (!main_) throw std::runtime_error(std::string("Failed to load ") + description_path);

  window_ = main_->root;
  run_name_label_ = widget("quentaRunNameLabel");
  text_view_ = widget("quentaTextView");
  time_label_ = widget("quentaTotalTimeLabel");
  progress_bar_ = widget("quentaProgressBar");
  import_button_ = widget("quentaImportSyntaxButton");
  run_button_ = widget("quentaRunButton");
  stop_button_ = widget("quentaStopButton");
  chains_spin_ = widget("quentaChainsSpin");
  trace_combo_ = widget("quentaTraceCombo");
  curve_item_spin_ = widget("quentaCurveItemSpin");
  trace_plot_ = widget("quentaTracePlot");
  curve_plot_ = widget("quentaCurvePlot");
  if (!run_name_label_ || !text_view_ || !time_label_ || !progress_bar_ || !import_button_ ||
      !run_button_ || !stop_button_ || !widget("quentaMenuBar") || !chains_spin_ || !trace_combo_ ||
      !curve_item_spin_ || !trace_plot_ || !curve_plot_)
    throw std::runtime_error(std::string("Widgets are missing from ") + description_path);

  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, "monospace");
  pango_font_description_set_size(font, 8 * PANGO_SCALE);
  gtk_widget_modify_font(text_view_, font);
  pango_font_description_free(font);
  set_progress(0.0, idle_progress_text);
  // The trace choices are the parameters of the problem, filled in after each run.
  GtkListStore* choices = gtk_list_store_new(1, G_TYPE_STRING);
  gtk_combo_box_set_model(GTK_COMBO_BOX(trace_combo_), GTK_TREE_MODEL(choices));
  g_object_unref(choices);
  GtkCellRenderer* cell = gtk_cell_renderer_text_new();
  gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(trace_combo_), cell, TRUE);
  gtk_cell_layout_set_attributes(GTK_CELL_LAYOUT(trace_combo_), cell, "text", 0, nullptr);

  set_buttons(true, false, false);
  connect_handlers();
  glade_xml_signal_autoconnect(main_->xml);
  tick_source_ = g_timeout_add(tick_ms, keep_ticking, nullptr);

  chains_ = std::make_unique<chain_set>();
  app_running_ = true;
  gtk_widget_show(window_);
}

GUI::~GUI() {
  stop_worker();
  if (save_thread_.joinable()) save_thread_.join();
  g_source_remove(tick_source_);
}

GtkWidget* GUI::widget(const char* name) const {
  for (const auto* loaded : {&main_, &about_, &error_, &save_window_}) {
    if (!*loaded) continue;
    if (GtkWidget* found = glade_xml_get_widget((*loaded)->xml, name)) return found;
  }
  return nullptr;
}

void GUI::connect_handlers() {
  // The window stays alive when closed: the GUI destroys it, after the threads are done.
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GUI*>(self)->quit();
    return TRUE;
  }), this);
  g_signal_connect(import_button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
    static_cast<GUI*>(self)->import();
  }), this);
  g_signal_connect(run_button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
    static_cast<GUI*>(self)->run();
  }), this);
  g_signal_connect(stop_button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
    static_cast<GUI*>(self)->stop();
  }), this);
  g_signal_connect(trace_plot_, "expose-event", G_CALLBACK(+[](GtkWidget* area, GdkEventExpose*, gpointer self) {
    static_cast<GUI*>(self)->draw_plot(area, true);
    return TRUE;
  }), this);
  g_signal_connect(curve_plot_, "expose-event", G_CALLBACK(+[](GtkWidget* area, GdkEventExpose*, gpointer self) {
    static_cast<GUI*>(self)->draw_plot(area, false);
    return TRUE;
  }), this);
  g_signal_connect_swapped(trace_combo_, "changed", G_CALLBACK(gtk_widget_queue_draw), trace_plot_);
  g_signal_connect_swapped(curve_item_spin_, "value-changed", G_CALLBACK(gtk_widget_queue_draw), curve_plot_);
  connect_menu_items();
}

// Every item of every submenu goes to one handler, which tells them apart by name.
void GUI::connect_menu_items() {
  auto activated = +[](GtkMenuItem* item, gpointer self) {
    static_cast<GUI*>(self)->menu_item_activated(GTK_WIDGET(item));
  };
  GList* menus = gtk_container_get_children(GTK_CONTAINER(widget("quentaMenuBar")));
  for (GList* menu = menus; menu; menu = menu->next) {
    GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(menu->data));
    if (!submenu) continue;
    GList* items = gtk_container_get_children(GTK_CONTAINER(submenu));
    for (GList* item = items; item; item = item->next)
      g_signal_connect(item->data, "activate", G_CALLBACK(activated), this);
    g_list_free(items);
  }
  g_list_free(menus);
}

void GUI::menu_item_activated(GtkWidget* item) {
  std::string name = glade_get_widget_name(item) ? glade_get_widget_name(item) : "";
  if (name == "saveRunAsMenuItem")
    save();
  else if (name == "quitMenuItem")
    quit();
  else if (name == "aboutMenuItem")
    about();
}

void GUI::pump() {
  if (running_) {
    show_elapsed();
    show_progress();
    if (worker_done_) end_run();
  }
  show_save_progress();
  gtk_main_iteration_do(TRUE);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void GUI::import() {
  std::string path = choose_file(false, "*.mcs", "*MCS Syntax Files");
  if (!path.empty()) import_syntax(path);
}

void GUI::import_syntax(const std::string& path) {
  if (running_) return;
  // Loading frees the chains that a save may still be reading.
  finish_save();
  load_problem(path);
  set_progress(0.0, idle_progress_text);
}

void GUI::load_problem(const std::string& path) {
  if (!chains_->first().has_quantile_table()) {
    show_error(table_title, table_text);
    return;
  }
  switch (chains_->load_syntax(path, chains_setting())) {
  case QUENTA::loaded_ok:
    print_load_warnings(chains_->first());
    reset_display();
    set_run_name(path);
    gtk_widget_set_sensitive(run_button_, TRUE);
    return;
  case QUENTA::no_valid_responses:
    refuse_problem(data_title, data_text);
    return;
  default:
    refuse_problem(syntax_title, syntax_text);
    return;
  }
}

// A failed load has released the previous problem, so its results can no longer be saved.
void GUI::refuse_problem(const char* title, const char* text) {
  std::fprintf(stderr, "quenta: %s\n", chains_->last_error().c_str());
  has_results_ = false;
  gtk_widget_set_sensitive(run_button_, FALSE);
  show_error(title, text);
}

void GUI::reset_display() {
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_view_)), "", -1);
  set_buttons(true, false, false);
  gtk_label_set_text(GTK_LABEL(run_name_label_), "");
  chains_->start_run();
  has_results_ = false;
  running_ = false;
  set_progress(0.0, idle_progress_text);
}

void GUI::set_buttons(bool import, bool run, bool stop) {
  gtk_widget_set_sensitive(import_button_, import);
  gtk_widget_set_sensitive(chains_spin_, !stop);
  gtk_widget_set_sensitive(run_button_, run);
  gtk_widget_set_sensitive(stop_button_, stop);
}

void GUI::set_progress(double fraction, const std::string& text) {
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_bar_), fraction);
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_bar_), text.c_str());
}

void GUI::set_run_name(const std::string& path) {
  gtk_label_set_text(GTK_LABEL(run_name_label_), display_name(path).c_str());
}

void GUI::run() {
  if (running_ || !chains_->first().loaded()) return;
  // A new run resets the chains that a save may still be reading.
  finish_save();
  if (chains_setting() != chains_->count()) {
    // The problem is loaded again for the new number of chains.
    if (chains_->set_count(chains_setting()) != QUENTA::loaded_ok) {
      refuse_problem(syntax_title, syntax_text);
      return;
    }
    chains_->start_run();
  }
  if (has_results_) reset_display();

  total_iterations_ = chains_->first().iterations();
  shown_iterations_ = 0;
  worker_done_ = false;
  run_complete_ = false;
  estimates_ready_ = false;
  report_.clear();
  running_ = true;
  worker_ = std::thread(&GUI::work, this);

  set_buttons(false, false, true);
  gtk_label_set_text(GTK_LABEL(time_label_), format_elapsed(0).c_str());
  run_started_ = clock::now();
  shown_seconds_ = 0;
}

// The worker thread. The chains look at the stop flag only between iterations, so no engine
// is left in the middle of a step.
void GUI::work() {
  if (chains_->run()) {
    report_ = chains_->report();
    run_complete_ = true;
  }
  worker_done_ = true;
}

void GUI::show_elapsed() {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(clock::now() - run_started_);
  if (seconds.count() == shown_seconds_) return;
  shown_seconds_ = seconds.count();
  gtk_label_set_text(GTK_LABEL(time_label_), format_elapsed(shown_seconds_).c_str());
}

void GUI::show_progress() {
  const int done = chains_->iterations_done();
  if (done == shown_iterations_) return;
  shown_iterations_ = done;
  double fraction = total_iterations_ > 1 ? double(done - 1) / (total_iterations_ - 1) : 1.0;
  set_progress(fraction, std::to_string(done) + " Iterations");
}

void GUI::stop() {
  if (running_) end_run();
}

// Ends a run that finished or is being stopped: waits for the worker, shows where it got to,
// and the report when it reached the end.
void GUI::end_run() {
  stop_worker();
  show_elapsed();
  show_progress();
  has_results_ = true;
  running_ = false;
  set_buttons(true, true, false);
  if (run_complete_) {
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_view_)),
                             report_.c_str(), -1);
  }
  estimates_ready_ = run_complete_;
  fill_plot_choices();
  if (!chains_->failure().empty()) {
    std::fprintf(stderr, "quenta: %s\n", chains_->failure().c_str());
    show_error(chain_failed_title, "The run stopped because a chain failed:\n" + chains_->failure());
  }
}

int GUI::chains_setting() const { return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(chains_spin_)); }

// The parameters of the problem to trace and its items to draw curves of, keeping the choices
// made for an earlier run of the same problem.
void GUI::fill_plot_choices() {
  const std::vector<QUENTA::parameter_id> ids = chains_->first().recorded_parameters();
  auto same = [](const QUENTA::parameter_id& a, const QUENTA::parameter_id& b) { return a.name() == b.name(); };
  if (!std::equal(ids.begin(), ids.end(), plot_parameters_.begin(), plot_parameters_.end(), same)) {
    GtkComboBox* combo = GTK_COMBO_BOX(trace_combo_);
    gtk_list_store_clear(GTK_LIST_STORE(gtk_combo_box_get_model(combo)));
    for (const QUENTA::parameter_id& id : ids) gtk_combo_box_append_text(combo, id.name().c_str());
    gtk_combo_box_set_active(combo, 0);
    plot_parameters_ = ids;
  }
  gtk_spin_button_set_range(GTK_SPIN_BUTTON(curve_item_spin_), 1, chains_->first().size().items);
  gtk_widget_queue_draw(trace_plot_);
  gtk_widget_queue_draw(curve_plot_);
}

// Plots show the chains only while no worker runs them.
void GUI::draw_plot(GtkWidget* area, bool trace) {
  cairo_t* cr = gdk_cairo_create(area->window);
  const double width = area->allocation.width, height = area->allocation.height;
  const int choice = gtk_combo_box_get_active(GTK_COMBO_BOX(trace_combo_));
  const int item = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(curve_item_spin_)) - 1;
  if (running_ || !has_results_) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
  } else if (trace && choice >= 0 && choice < static_cast<int>(plot_parameters_.size())) {
    draw_trace(cr, width, height, *chains_, plot_parameters_[choice]);
  } else if (!trace && estimates_ready_ && item >= 0 && item < chains_->first().size().items) {
    draw_curves(cr, width, height, *chains_, item);
  } else {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
}

void GUI::stop_worker() {
  if (!worker_.joinable()) return;
  chains_->stop();
  worker_.join();
}

void GUI::save() {
  if (running_) {
    show_error(running_title, running_text);
    return;
  }
  if (!has_results_) {
    show_error(no_data_title, no_data_text);
    return;
  }
  std::string path = choose_file(true, "*.txt", "*TXT Data files");
  if (path.empty()) return;
  finish_save();

  set_run_name(path);
  save_path_ = path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    saving_ = true;
  }
  if (description* window = load_on_first_use(save_window_, "saveProgressWindow"))
    gtk_widget_show(window->root);
  save_started_ = clock::now();
  pulsed_seconds_ = 0;
  save_thread_ = std::thread([this, path] {
    bool ok = chains_->save_run(path);
    std::lock_guard<std::mutex> lock(mutex_);
    save_ok_ = ok;
    saving_ = false;
  });
}

void GUI::show_save_progress() {
  if (!save_thread_.joinable()) return;
  bool saving;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    saving = saving_;
  }
  if (!saving) {
    finish_save();
    return;
  }
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(clock::now() - save_started_);
  GtkWidget* bar = widget("saveProgressBar");
  if (seconds.count() == pulsed_seconds_ || !bar) return;
  pulsed_seconds_ = seconds.count();
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
}

// Waits for a save that is still writing, hides its window and tells the user if it failed.
void GUI::finish_save() {
  if (!save_thread_.joinable()) return;
  save_thread_.join();
  if (save_window_) gtk_widget_hide(save_window_->root);
  if (save_ok_) return;
  std::fprintf(stderr, "quenta: %s\n", chains_->last_error().c_str());
  show_error(save_failed_title,
             "The run could not be written to\n" + display_name(save_path_) + ".");
}

void GUI::quit() {
  app_running_ = false;
  if (running_) end_run();
  finish_save();
}

void GUI::about() {
  bool first_use = !about_;
  description* dialog = load_on_first_use(about_, "aboutDialog");
  if (!dialog) return;
  GtkWidget* close = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog->root),
                                                        GTK_RESPONSE_CANCEL);
  if (first_use && close)
    g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_hide), dialog->root);
  gtk_window_present(GTK_WINDOW(dialog->root));
}

// One routine for opening a syntax file and saving a run.
std::string GUI::choose_file(bool save, const char* pattern, const char* filter_name) {
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      save ? "Save Run..." : "Choose a File...", GTK_WINDOW(window_),
      save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
      GTK_RESPONSE_CANCEL, save ? GTK_STOCK_SAVE : GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_current_folder(chooser, current_folder);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, filter_name);
  gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(chooser, filter);

  std::string path = chooser_seam_ ? chooser_seam_(save) : run_chooser(dialog);
  gtk_widget_hide(dialog);
  gtk_widget_destroy(dialog);
  return path.empty() ? path : with_default_extension(path);
}

void GUI::show_error(const std::string& title, const std::string& text) {
  description* dialog = load_on_first_use(error_, "errorDialog");
  if (!dialog) {
    std::fprintf(stderr, "quenta: %s: %s\n", title.c_str(), text.c_str());
    return;
  }
  gchar* markup = g_markup_printf_escaped("<b>%s</b>", title.c_str());
  gtk_label_set_markup(GTK_LABEL(widget("errorDialogTitleLabel")), markup);
  g_free(markup);
  gtk_label_set_text(GTK_LABEL(widget("errorDialogTextLabel")), text.c_str());
  if (error_seam_) {
    error_seam_(title, text);
    return;
  }
  gtk_dialog_run(GTK_DIALOG(dialog->root));
  gtk_widget_hide(dialog->root);
}
