// The progress of the sweep on the console and the last line of a run.
#pragma once
#include <cstddef>
#include <string>

// The scale, the ruler and the first mark of the bar for a sweep of
// `total` points, `per_direction` of them in each direction of incidence.
void progress_begin(long total, long per_direction = 0);
// One sweep point done: the marks due; on a terminal, after the first
// seconds, the time spent and an estimate of the time left behind them.
void progress_point();
// Ends the progress line.
void progress_end();
// Work done once per direction before its first point (the coupling
// integrals at normal incidence, the far Floquet share's nodes of an oblique
// sweep): on a terminal, once the sweep has taken two seconds, the time spent
// and `what` behind the marks while it lasts; its time is kept apart from the
// points' pace, so that the time left counts it once per direction.
void progress_stage(const std::string& what);
void progress_stage_end();
// Within a stage (a block of its work done): on a terminal, the stage drawn
// again with the time spent, at most twice a second, from two seconds on.
void progress_stage_tick();
// The seconds of once-per-direction work in the sweep in progress.
double progress_once_seconds();
// Sweep points done in the sweep in progress, and in the whole run.
long progress_done();
long progress_run_points();

// The bar and the clock as at the start of the process.
void progress_reset();
// The clock of the run starts (the program entry).
void run_clock_start();
double run_seconds();
// The last line of a run: the sweep points computed (with `sweep`; else the
// structure drawn), the time and the files written.
void run_summary(const std::string& what = "", bool sweep = true);

// "0.82 s", "12 s", "3 min 05 s", "2 h 07 min".
std::string duration_text(double seconds);
// The bar's line on a terminal (without its carriage return): the marks
// done and `text` behind the bar, cut to fit `columns` (a wrapped line would
// not be drawn over), padded with spaces over the line drawn before (whose
// length `drawn` holds, and then this one's).
std::string progress_line(int marks, const std::string& text, std::size_t& drawn, std::size_t columns);
// Behind the marks: "12 s, about 30 s left" (the time of the sweep so far
// and its part still to come, in whole seconds): the points left at the pace
// of the points done, less `once` (the time of `stages` stages of
// once-per-direction work), and the mean stage again for each direction not
// begun (`per_direction` points each; 0: one direction).
std::string progress_time_text(double elapsed, long done, long total, double once = 0,
                               long per_direction = 0, long stages = 0);
