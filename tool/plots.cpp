#include "plots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "simulation.h"

namespace {

constexpr int image_width = 800, image_height = 450;
// Room for the title above and the axis labels left of and below the plot area.
constexpr double margin_left = 70, margin_right = 20, margin_top = 30, margin_bottom = 40;

struct colour {
  double r, g, b;
};
constexpr std::array<colour, 8> palette{{{0.12, 0.47, 0.71},
                                         {0.89, 0.10, 0.11},
                                         {0.20, 0.63, 0.17},
                                         {1.00, 0.50, 0.00},
                                         {0.42, 0.24, 0.60},
                                         {0.65, 0.34, 0.16},
                                         {0.97, 0.51, 0.75},
                                         {0.40, 0.40, 0.40}}};

// Maps data coordinates into the plot area of a figure.
struct frame {
  double width, height, x_min, x_max, y_min, y_max;
  double x(double value) const {
    return margin_left + (value - x_min) / (x_max - x_min) * (width - margin_left - margin_right);
  }
  double y(double value) const {
    return height - margin_bottom - (value - y_min) / (y_max - y_min) * (height - margin_top - margin_bottom);
  }
};

void text_at(cairo_t* cr, double x, double y, const std::string& text, double align) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - extents.width * align, y);
  cairo_show_text(cr, text.c_str());
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

// White background, title, the box of the plot area and its end values on both axes.
void draw_frame(cairo_t* cr, const frame& f, const std::string& title, const std::string& x_label) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  text_at(cr, f.width / 2, margin_top - 10, title, 0.5);
  cairo_set_font_size(cr, 11);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, margin_left, margin_top, f.width - margin_left - margin_right,
                  f.height - margin_top - margin_bottom);
  cairo_stroke(cr);
  const double below = f.height - margin_bottom + 15;
  text_at(cr, margin_left, below, number(f.x_min), 0.5);
  text_at(cr, f.width - margin_right, below, number(f.x_max), 0.5);
  text_at(cr, f.width / 2, below + 15, x_label, 0.5);
  text_at(cr, margin_left - 5, f.height - margin_bottom, number(f.y_min), 1);
  text_at(cr, margin_left - 5, margin_top + 10, number(f.y_max), 1);
}

void message(cairo_t* cr, double width, double height, const std::string& text) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_set_font_size(cr, 13);
  text_at(cr, width / 2, height / 2, text, 0.5);
}

std::string file_name(const QUENTA::parameter_id& id) {
  char text[64];
  switch (id.kind) {
    case QUENTA::parameter_id::alpha: std::snprintf(text, sizeof text, "trace_alpha_%02d.png", id.item + 1); break;
    case QUENTA::parameter_id::delta: std::snprintf(text, sizeof text, "trace_delta_%02d.png", id.item + 1); break;
    case QUENTA::parameter_id::tau:
      std::snprintf(text, sizeof text, "trace_tau%d_%02d.png", id.threshold + 1, id.item + 1);
      break;
    case QUENTA::parameter_id::theta_mean: return "trace_theta_mean.png";
    case QUENTA::parameter_id::theta_sd: return "trace_theta_sd.png";
  }
  return text;
}

}  // namespace

void draw_trace(cairo_t* cr, double width, double height, const chain_set& chains, const QUENTA::parameter_id& id) {
  int length = 0;
  double low = INFINITY, high = -INFINITY;
  for (int c = 0; c < chains.count(); ++c) {
    const CompressedArray& chain = chains.engine(c).chain(id);
    length = std::max(length, chain.length());
    for (int run = 0; run < chain.count(); ++run) {
      low = std::min(low, chain.value_of_run(run));
      high = std::max(high, chain.value_of_run(run));
    }
  }
  if (length < 2 || !std::isfinite(low) || !std::isfinite(high)) {
    message(cr, width, height, "No recorded iterations of " + id.name());
    return;
  }
  const double pad = high > low ? (high - low) * 0.05 : 0.5;
  const frame f{width, height, 0, static_cast<double>(length - 1), low - pad, high + pad};
  draw_frame(cr, f, "Trace of " + id.name() + " (" + std::to_string(chains.count()) + " chains)", "iteration");
  cairo_set_line_width(cr, 1);
  for (int c = 0; c < chains.count(); ++c) {
    const CompressedArray& chain = chains.engine(c).chain(id);
    const colour& k = palette[c % palette.size()];
    cairo_set_source_rgba(cr, k.r, k.g, k.b, 0.8);
    // Runs are steps: the value holds from the end of the run before to the run's own end.
    int start = 0;
    for (int run = 0; run < chain.count(); ++run) {
      const double y = f.y(chain.value_of_run(run));
      if (run == 0) cairo_move_to(cr, f.x(0), y);
      else cairo_line_to(cr, f.x(start), y);
      start = chain.end_of_run(run);
      cairo_line_to(cr, f.x(start), y);
    }
    cairo_stroke(cr);
  }
}

void draw_curves(cairo_t* cr, double width, double height, const chain_set& chains, int item) {
  const QUENTA& first = chains.engine(0);
  const int J = first.size().items, thresholds = first.size().thresholds();
  const QUENTA::estimates e = chains.estimates();
  std::vector<double> tau(thresholds);
  for (int k = 0; k < thresholds; ++k) tau[k] = e.mean.tau[static_cast<size_t>(k) * J + item];
  const double alpha = e.mean.alpha[item], delta = e.mean.delta[item];
  if (!std::isfinite(alpha) || !std::isfinite(delta)) {
    message(cr, width, height, "No estimates of item " + std::to_string(item + 1));
    return;
  }
  const frame f{width, height, delta - 4, delta + 4, 0, 1};
  draw_frame(cr, f, "Category response curves of item " + std::to_string(item + 1), "theta");
  const int steps = 200;
  std::vector<std::vector<double>> curves;
  for (int i = 0; i <= steps; ++i) curves.push_back(category_probabilities(f.x_min + 8.0 * i / steps, alpha, delta, tau));
  cairo_set_line_width(cr, 2);
  for (int k = 0; k <= thresholds; ++k) {
    const colour& c = palette[k % palette.size()];
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    for (int i = 0; i <= steps; ++i) {
      const double x = f.x(f.x_min + 8.0 * i / steps), y = f.y(curves[i][k]);
      if (i == 0) cairo_move_to(cr, x, y);
      else cairo_line_to(cr, x, y);
    }
    cairo_stroke(cr);
    text_at(cr, f.x(f.x_max) - 10, margin_top + 15 + 14 * k, std::string("category ").append(std::to_string(k)), 1);
  }
}

std::string write_plots(const chain_set& chains, const std::string& folder) {
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure) return folder + ": " + failure.message();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image_width, image_height);
  cairo_t* cr = cairo_create(surface);
  auto save = [&](const std::string& name) {
    const std::string path = (std::filesystem::path(folder) / name).string();
    if (cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS) return std::string();
    return "cannot write " + path;
  };
  std::string error;
  for (const QUENTA::parameter_id& id : chains.engine(0).recorded_parameters()) {
    draw_trace(cr, image_width, image_height, chains, id);
    if (!(error = save(file_name(id))).empty()) break;
  }
  for (int j = 0; error.empty() && j < chains.engine(0).size().items; ++j) {
    draw_curves(cr, image_width, image_height, chains, j);
    char name[32];
    std::snprintf(name, sizeof name, "curves_%02d.png", j + 1);
    error = save(name);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return error;
}
