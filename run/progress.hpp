// The progress of the sweep on the console and the last line of a run.
#pragma once
#include <string>

// The scale, the ruler and the first mark of the bar for a sweep of
// `total` points.
void progress_begin(long total);
// One sweep point done: the marks due; on a terminal, after the first
// seconds, the time spent and an estimate of the time left behind them.
void progress_point();
// Ends the progress line.
void progress_end();
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
// Behind the marks: "12 s, about 30 s left" (the time of the sweep so far
// and its part still to come, at the pace of the points done, in whole
// seconds).
std::string progress_time_text(double elapsed, long done, long total);
