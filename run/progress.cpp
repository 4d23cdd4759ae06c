#include "run/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "run/interrupt.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

clock_type::time_point run_start = clock_type::now();

// The bar: 50 marks over the sweep after the first one.
struct progress_state {
  long total = 0, done = 0, run_points = 0, per_direction = 0;
  int marks = 0;
  clock_type::time_point start, shown, stage_start;
  bool timed = false;  // time shown behind the marks (a terminal only)
  bool in_stage = false, stage_shown = false;
  std::string stage_what;  // what the stage in progress computes
  double once = 0;    // seconds of once-per-direction work done
  long stages = 0;    // such stages ended
  std::size_t drawn = 0;  // length of the line last drawn (to be covered)
} bar;

const int bar_marks = 50;
// The time is shown once the sweep has taken this long, then refreshed at
// most this often.
const double show_after = 2.0, refresh = 0.5;

double since(clock_type::time_point t) {
  return std::chrono::duration<double>(clock_type::now() - t).count();
}

// The terminal's width (80 when it does not say).
std::size_t terminal_columns() {
  winsize ws{};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
}

// On a terminal the line is drawn again: the marks, then the time (or, in
// once-per-direction work, what is being done), within the terminal's width
// (a wrapped line would not be drawn over) and covering the line before.
void redraw(const std::string& what = "") {
  const double elapsed = since(bar.start);
  const std::string text = what.empty() ? progress_time_text(elapsed, bar.done, bar.total, bar.once,
                                                             bar.per_direction, bar.stages)
                                        : duration_text(std::max(1.0, std::round(elapsed))) + ", " + what;
  std::cout << '\r' << progress_line(bar.marks, text, bar.drawn, terminal_columns()) << "\r "
            << std::string(bar.marks + 1, 'o') << std::flush;
  bar.shown = clock_type::now();
}

}  // namespace

std::string duration_text(double s) {
  char buf[40];
  if (s < 10)
    std::snprintf(buf, sizeof buf, "%.2g s", s < 0.01 ? 0.01 : s);
  else if (s < 59.5)
    std::snprintf(buf, sizeof buf, "%.0f s", s);
  else if (s < 3570)
    std::snprintf(buf, sizeof buf, "%ld min %02ld s", std::lround(s) / 60, std::lround(s) % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld h %02ld min", std::lround(s / 60) / 60, std::lround(s / 60) % 60);
  return buf;
}

std::string progress_line(int marks, const std::string& text, std::size_t& drawn, std::size_t columns) {
  std::string line = " " + std::string(marks + 1, 'o') + std::string(bar_marks - marks, ' ') + "  " + text;
  const std::size_t width = columns > 1 ? columns - 1 : 1;
  if (line.size() > width) line.resize(width);
  const std::size_t length = line.size();
  if (line.size() < drawn) line += std::string(drawn - line.size(), ' ');
  drawn = length;
  return line;
}

std::string progress_time_text(double elapsed, long done, long total, double once, long per_direction,
                               long stages) {
  // Whole seconds: the bar is redrawn about twice a second.
  auto whole = [](double s) { return duration_text(std::max(1.0, std::round(s))); };
  std::string t = whole(elapsed);
  if (done <= 0 || done >= total) return t;
  const long per = per_direction > 0 ? per_direction : total;
  // The directions begun: a point done in them, or their stage ended (at the
  // end of a direction's stage none of its points is done yet).
  const long begun = std::max((done + per - 1) / per, stages), directions = (total + per - 1) / per;
  const double mean_stage = stages > 0 ? once / stages : 0;
  const double left = std::max(0.0, elapsed - once) * (total - done) / done +
                      mean_stage * static_cast<double>(std::max(0L, directions - begun));
  return t + ", about " + whole(left) + " left";
}

void progress_begin(long total, long per_direction) {
  console_line("0%         25%          50%         75%         100% ");
  console_line("|___________|____________|___________|____________| ");
  std::cout << '\n' << " o" << std::flush;
  bar.total = total;
  bar.per_direction = per_direction;
  bar.done = 0;
  bar.marks = 0;
  bar.once = 0;
  bar.stages = 0;
  bar.drawn = 0;
  bar.in_stage = bar.stage_shown = false;
  bar.start = bar.shown = clock_type::now();
  bar.timed = isatty(STDOUT_FILENO);
  interrupt_points(0, total);
}

void progress_point() {
  ++bar.done;
  ++bar.run_points;
  interrupt_points(bar.done, bar.total);
  const int due = static_cast<int>(bar.done * bar_marks / bar.total);
  const bool more = due > bar.marks;
  for (; bar.marks < due; ++bar.marks) std::cout << 'o';
  std::cout << std::flush;
  if (bar.timed && since(bar.start) >= show_after && (more || since(bar.shown) >= refresh)) redraw();
}

void progress_end() { std::cout << '\n'; }

namespace {
// A stage is shown as the time is: on a terminal, once the sweep has taken
// a while (a short stage of a quick sweep draws nothing).
bool stage_due() { return bar.in_stage && bar.timed && bar.total > 0 && since(bar.start) >= show_after; }
void show_stage() {
  redraw(bar.stage_what);
  bar.stage_shown = true;
}
}  // namespace

void progress_stage(const std::string& what) {
  if (!bar.in_stage) bar.stage_start = clock_type::now();
  bar.in_stage = true;
  bar.stage_what = what;
  if (stage_due()) show_stage();
}

void progress_stage_tick() {
  if (stage_due() && (!bar.stage_shown || since(bar.shown) >= refresh)) show_stage();
}

void progress_stage_end() {
  if (!bar.in_stage) return;
  bar.in_stage = false;
  bar.once += since(bar.stage_start);
  ++bar.stages;
  if (bar.stage_shown) redraw();
  bar.stage_shown = false;
}

double progress_once_seconds() { return bar.once; }

long progress_done() { return bar.done; }
long progress_run_points() { return bar.run_points; }

void progress_reset() {
  bar = progress_state{};
  run_start = clock_type::now();
}

void run_clock_start() {
  run_start = clock_type::now();
  bar.run_points = 0;
}

double run_seconds() { return since(run_start); }

void run_summary(const std::string& what, bool sweep) {
  std::string files;
  for (const std::string& f : result_files_written()) files += (files.empty() ? "" : ", ") + f;
  const std::string done = sweep ? std::to_string(bar.run_points) +
                                       (bar.run_points == 1 ? " sweep point" : " sweep points") + " computed"
                                 : std::string("the structure drawn");
  std::cout << '\n';
  console_line("done: " + (what.empty() ? "" : what + ", ") + done + " in " + duration_text(run_seconds()) +
               "; files written: " + files);
  std::cout.flush();
}
