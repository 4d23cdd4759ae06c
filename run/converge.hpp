// Repeated analysis with both truncation limits raised together until the
// co-polarised results settle: the result file holds the last good pass and
// "<base>.conv" reports every pass.
#pragma once

#include <string>
#include <vector>

// Raise of both limits per pass, the pass limit and the settling test.
constexpr double converge_raise = 1.25;
constexpr int converge_passes = 6;
constexpr double converge_db = 0.02;      // largest change of |T|, |R| (dB)
constexpr double converge_floor_db = -30;  // values compared above this
// The phase change that moves a coefficient as far as a 0.02 dB change of
// its magnitude: (10^(0.02/20) - 1) rad, 0.132 degrees.
double converge_deg();

// Co-polarised values of one sweep point, in the order of the result file:
// Ty, Tx, Ry, Rx, magnitudes in dB and phases in degrees.
struct converge_point {
  double phi = 0, theta = 0, f = 0;
  double db[4] = {}, deg[4] = {};
};

// Largest change between two passes and where it is (point index into the
// pass, quantity 0..3); point -1 when no value was above the floor.
struct converge_change {
  double value = 0;
  int point = -1, quantity = 0;
};
void converge_compare(const std::vector<converge_point>& before,
                      const std::vector<converge_point>& after, converge_change& db,
                      converge_change& deg);

// The option "-converge": up to converge_passes analyses, the first at the
// limits of the structure file; returns the number of passes run.
int fss_converge();
