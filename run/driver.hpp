// Program entry and sweep driver.
#pragma once

#include <functional>

// Stores the capacities, runs the analysis once; 0 after a normal end.
int fss_main(int argc, char** argv);
// Stores the capacity of every global table record.
void fss_set_capacities();
// The capacities of the analysis's tables for nwg aperture modes, nflo
// Floquet modes and npoints contour sample points (the derived tables
// follow); fss_set_capacities() stores those of a plain run.
void fss_size_capacities(int nwg, int nflo, int npoints);
// The whole run: banner, input, then one analysis (or the repeated analysis
// of the convergence option).
void fss();
// One analysis at the limits in force: result header, mode catalogue, sweep;
// after_point, when given, is called after every result row.
void fss_analysis(void (*after_point)() = nullptr);
// Banner of the program.
void fss_cover();
// Waveguide-simulator mode: every frequency must lie above c / (2 a).
void fss_check_wgs();
// The sweep over phi, theta and frequency on an existing mode catalogue.
void fss_sweep(void (*after_point)() = nullptr);
// The sweep point of frequency f (Hz) and incidence theta, phi (rad) made
// the one in force: wavenumber, incident transverse wavevector (in the
// waveguide-simulator mode the angle of the guide's fundamental mode).
void fss_set_sweep_point(double f, double theta, double phi);
// The sweep points in the sweep's order made the one in force, one after
// the other, until `found` says so (true; the point stays in force) or
// none is left (false; the last stays in force).  `first`: the point is
// the first frequency of its direction.
bool fss_find_sweep_point(const std::function<bool(bool first)>& found);
// Sweep points of the run: phi, theta and frequency points (one direction
// in the waveguide-simulator mode).
long fss_sweep_points();
// Passes of a counted loop from start to the widened end in steps of step.
int fss_trip_count(double start, double wend, double step);
// The frequencies of one direction of the sweep (as the sweep counts them).
int fss_sweep_frequencies();
