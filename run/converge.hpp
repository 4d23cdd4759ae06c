// Repeated analysis along a ray of truncation limits (the Floquet limit a
// fixed multiple of the aperture limit, both raised together), extrapolation
// of the complex coefficients to unlimited modes with a per-point error
// estimate, and the settling test on that estimate.  The result file holds
// the last good pass, "<base>_x.out" (and the further files "_x") the
// extrapolated result, "<base>.conv" the report.
#pragma once

#include <array>
#include <complex>
#include <string>
#include <vector>

#include "records/results.hpp"

// The ray: pass p has the aperture limit of the structure file times
// converge_raise^(p-1) and a Floquet limit converge_ratio times that (or the
// file's own ratio when larger).
constexpr double converge_raise = 1.25;
constexpr double converge_ratio = 3;
// Without "-passes" or "-minutes" the passes go on for at most this many
// minutes: a pass is not begun when the run, with the pass as foreseen
// from the growth of the passes before, would take longer.
constexpr double converge_minutes = 10;
// The truncation error falls as (aperture limit)^(-4/3), the rate that the
// field singularity at the metal edges sets.
constexpr double converge_exponent = 4.0 / 3;
// Settled when the estimated error of every extrapolated coefficient is
// below this amplitude (0.02 dB at full transmission), from the pass that
// has four before it: the estimate compares three extrapolations over
// passes spanning a factor 2.4 in the limits.
constexpr double converge_amplitude = 0.002;
constexpr int converge_min_passes = 5;
// The estimate is this factor times the spread of the extrapolations.
constexpr double converge_safety = 1.25;
// dB and phase changes (for reading) are taken where a value is above this.
constexpr double converge_floor_db = -30;
// The tables of a pass grow with its limits from those of a plain run (which
// hold the structure file's): the mode tables as the square of the ratio of
// the pass's limit to the file's (Weyl's law), the contour tables as the
// ratio; never beyond these bounds (a 9000-mode system is 2.7 GB of complex
// entries; 200000 Floquet modes are 37 MB of tables and reach past 5000 GHz
// in a 10 mm cell; a coupling table of both, 1.8e9 entries, stays within the
// 32-bit counts of the tables).  The memory foresight of the passes is what
// keeps a pass within the machine.
constexpr int converge_wg_modes_bound = 9000;
constexpr int converge_flo_modes_bound = 200000;
// The bounds in force (the program's are those above; a caller that runs
// the analysis in its own process may lower them).
struct converge_bounds_rec {
  int wg_modes = converge_wg_modes_bound;
  int flo_modes = converge_flo_modes_bound;
  double memory_mb = 0;  // the memory a pass may take (MB); 0: the machine's
};
// The peak memory of the next pass foreseen from the peaks of the last two
// (MB): the last times their ratio, at least the fourth power of the raise,
// the growth of the square tables of the aperture modes (the system, the
// products), which take the large passes' memory (the dual band's peak grew
// by 1.8 a pass up to the twelfth and by 2.3 at the thirteenth).
double converge_next_peak(double before_last, double last);
// The time of the next pass foreseen so from the times of the last two, at
// least the square of the raise (the growth of the mode count).
double converge_next_time(double before_last, double last);
// What one more pass would cost after passes that ended without converging,
// foreseen from the wall-clock times (s) and peaks (MB) of the passes run
// (one entry per pass): the whole run that -passes N+1 would make (it runs
// every pass again), its last pass, and its peak; or that the peak would be
// beyond `room` (MB, 0: no bound).  Empty with fewer than two passes or at
// the most passes that may be asked for.
std::string converge_further_pass(const std::vector<double>& seconds, const std::vector<double>& peaks,
                                  double room);
extern converge_bounds_rec converge_bounds;
// A table of a plain run with capacity c, grown for a limit `ratio` times
// the file's: c ratio^power, not below c and not beyond `bound`.
int converge_capacity(int c, double ratio, int power, int bound);

// The values of one sweep point in one pass: the co-polarised coefficients
// in the order of the result file (Ty, Tx, Ry, Rx), complex and in dB and
// degrees, the Floquet modes of the point and, when the further result files
// are asked for, the whole scattering of the specular waves.
struct converge_point {
  double phi = 0, theta = 0, f = 0;
  std::complex<double> s[4];
  double db[4] = {}, deg[4] = {};
  int nflo = 0;
  fss_polar_rec polar;
};
using converge_pass = std::vector<converge_point>;

// Largest change (or estimate) over the points and the four coefficients,
// and where it is (point index, quantity 0..3); point -1 when none.
struct converge_change {
  double value = 0;
  int point = -1, quantity = 0;
};
// Largest change in dB (values above the floor in either pass) and in
// degrees between two passes.
void converge_compare(const converge_pass& before, const converge_pass& after,
                      converge_change& db, converge_change& deg);
// Largest |S(after) - S(before)| of the complex coefficients.
converge_change converge_amplitude_change(const converge_pass& before, const converge_pass& after);

// Factor g of the extrapolation X = S_n + g (S_n - S_n-1) for the exponent
// p and the raise per pass: g = 1 / (raise^p - 1) (2.886 for 4/3).
double converge_gain(double p);
// Half the spread of g over the exponents 0.75 p to 1.5 p (1.111 for 4/3).
double converge_gain_spread(double p);
// The exponent of the last passes (at least four): one fitted from the
// changes of two successive triples of passes when both agree on it and
// the changes keep their direction; converge_exponent otherwise.
double converge_fit_exponent(const std::vector<converge_pass>& passes, bool& fitted);

// The extrapolation of the passes 1 .. n (n >= 2, the last two combined
// with the gain of p) and the estimated error of each of its coefficients:
// from the fifth pass on 1.25 times the largest of the distances to the
// extrapolations of the two pairs before, of the exponent's spread times
// the last change and, with a fitted exponent, of the distance to the
// extrapolation with the edge exponent (fewer pairs with fewer passes; with
// two passes the extrapolation's own correction).  Changes that keep their
// direction but shrink little before modes enter in a step fit an exponent
// near 0.5, whose gain (8.5) overshoots by several times the change: the
// two extrapolations' distance bounds that.
struct converge_result {
  converge_pass x;                           // extrapolated values
  std::vector<std::array<double, 4>> error;  // estimated error per point and coefficient
  converge_change worst;                     // largest estimated error
  converge_change worst_last;                // largest estimated error of the last pass
  double exponent = converge_exponent;
  bool fitted = false;
};
converge_result converge_extrapolate(const std::vector<converge_pass>& passes, double p);

// The time the passes may take (s): "-minutes M", or converge_minutes
// unless "-passes N" is given alone (then 0: no bound).
double converge_budget();
// Whether a pass foreseen to take `next` s may begin after `spent` s of the
// run within `budget` s (0: no bound).
bool converge_within_budget(double spent, double next, double budget);

// The option "-converge": analyses up to passes_most ("-passes N": N), within the
// time of converge_budget, the first at the
// aperture limit of the structure file; returns the number of passes run.
int fss_converge();
