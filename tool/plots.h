// The figures of a run, drawn with cairo: the trace of one recorded parameter with every chain
// overlaid, and the category response curves of one item at the pooled estimates. The window
// draws them in its Plots tab; the terminal mode writes them as PNG files.
#pragma once

#include <cairo.h>

#include <string>

#include "chain_set.h"

// The recorded values of every chain against the iteration, as far as each chain got.
void draw_trace(cairo_t* cr, double width, double height, const chain_set& chains,
                const QUENTA::parameter_id& id);
// The probability of each response category against the person's position, from a finished run.
void draw_curves(cairo_t* cr, double width, double height, const chain_set& chains, int item);

// Writes trace_<parameter>.png for every recorded parameter ("trace_alpha_01.png",
// "trace_tau2_01.png", "trace_theta_mean.png") and curves_<item>.png for every item into
// folder, which is created when missing. Returns "" or what could not be written.
std::string write_plots(const chain_set& chains, const std::string& folder);
