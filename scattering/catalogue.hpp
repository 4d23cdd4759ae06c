// Catalogue of the aperture waveguide modes, read back from the files of
// the mode solver.
#pragma once
#include <string>
#include <vector>

// Builds the catalogue for the structure: every aperture of every screen
// of the aperture description, in order (a translated copy of an earlier
// aperture takes its modes).
void genmodes_wg();
// Stores the capacities of the contour and solver records and resets their
// counts, first-call flags and caches for a fresh aperture.
void prepare_solver_records(int nsps, double accuracy);
// "-fine": boundary elements sized from the limit times this margin, and the
// accuracy setting that sums the enclosing-guide modes to
// 2 (1 + accuracy / 10) = 4 times the limit (a plain run: 1 and 0).
constexpr double fine_element_margin = 2.0;
constexpr double fine_accuracy = 10.0;
// Codes the aperture of job name `name` and runs the mode solver on it,
// leaving the mode files "<name>.wgm", ".crd", ".smp" on disk; a contour
// with symmetry planes in every symmetry class with every_class (with
// inner_run, the quarter of an inner conductor round the centre runs
// between its ports).
void calc_mode_wg(const std::string& name, double fmax, int nsps, double accuracy,
                  bool every_class = false, bool inner_run = false);
// Apertures symmetric under both mirrors of the axes have their modes
// computed on a quarter in the four symmetry classes when the estimated
// count of aperture modes is clearly beyond this many (beyond a plain run's
// table, so that a plain run keeps the whole outline's modes).
extern int quarter_split_modes;
// A quarter's eigenproblems (in its classes, never a plain run's) take the
// large problems' drivers (divide and conquer, the wanted pairs alone) from
// this order on: a plain run keeps its results bit for bit, a quarter's
// mode computation the faster path (the results of the examples' passes
// the same in every printed digit).
extern int quarter_eigen_order;
// Back to the first mode computation of a run (the ".wg2" file is created
// anew by it).
void catalogue_reset();
// Readers of the mode list, the sample points and the samples of the
// aperture whose number stands in fss_ap; each file is deleted once read.
void readmodes_wg();
void read_coord();
void read_samples();
// Table of the aperture modes of the catalogue ("-modes"): "<base>.modes"
// and the same lines on the console.  One header line beginning with "#",
// then per mode: number, kind (TE, TM, TEM), kc (1/m), fc (GHz), Z (ohm,
// TEM modes only; kc and fc are 0 for them).
void write_mode_table();
// The catalogue modes of aperture ap (in catalogue order) and the first
// sample of each in fss_samplewg, from 0 (the samples run mode by mode,
// each over its aperture's points).
struct aperture_modes {
  std::vector<int> j;
  std::vector<long> first;
};
aperture_modes modes_of_aperture(int ap);
// Cutoff frequency (GHz) of catalogue mode j in the filling of its aperture
// (0 for a TEM mode).
double mode_cutoff_ghz(int j);
