// Runs the mode computation of the program on an aperture boundary (lines of
// a structure file's block 4, in mm) and reads back the mode files it wrote.
// Works in the current directory (use a scratch_dir).
#pragma once
#include <string>
#include <vector>

struct solver_mode {
  int kind;   // 0 TEM, 1 TM, 2 TE
  double kc;  // 1/m (TEM: the impedance)
};

struct solver_result {
  std::vector<solver_mode> modes;          // the ".wgm" list
  std::vector<double> x, y, nx, ny;        // the ".crd" points (m)
  std::vector<std::vector<double>> smp;    // ".smp" samples per sampled mode
};

// Codes the boundary with the given frequency limit (GHz) and runs the
// solver as the mode catalogue does (calc_mode_wg, accuracy setting as
// given; the catalogue uses 0).  The job is named "job".
solver_result run_solver(const std::vector<std::string>& boundary, double fmax_ghz,
                         double accuracy = 0.0);

// Cutoffs of the modes of one kind in rad/mm, in the order of the file.
std::vector<double> cutoffs_per_mm(const solver_result& r, int kind);

// Reads the "te" or "tm" list of a finite-element reference file of the
// validation set.
std::vector<double> reference_cutoffs(const std::string& shape, const std::string& list);
// Its "geometry" lines.
std::vector<std::string> reference_geometry(const std::string& shape);

// Codes the boundary and runs the mode computation interactively (level 1),
// the console answers taken from `answers` (kinds, then the symmetry
// classes); the solution of the last run stays in the solver records.
// Returns the cutoffs of the ".wgm" file in rad/mm, in file order, and
// leaves the errors record as the driver left it.
std::vector<double> run_solver_interactive(const std::vector<std::string>& boundary,
                                           double fmax_ghz, const std::string& answers);

// Places the coded and segmented contour (rectangular or circular
// enclosure) centred in a rectangular enclosing guide of the given sides
// (mm), relabels it against the new wall and segments it again: the solver
// then works with an enclosure strictly larger than the aperture.
void embed_in_box(double width, double height);
// Codes a boundary (calc_mode_wg's preparation and apb2dat) without running
// the solver; the job is named "job".
void code_boundary(const std::vector<std::string>& boundary, double fmax_ghz);
// Runs the driver on the coded contour, interactively, with the given
// console answers; returns the ".wgm" cutoffs in rad/mm.
std::vector<double> run_driver(const std::string& answers);

// Runs the program in this process on "<base>.fss" (already on disk):
// input, result header, mode computation and catalogue, sweep.  With box_w,
// box_h > 0 the aperture is first placed in an enclosing guide of those
// sides (mm) larger than itself, so that every side carries basis
// functions.  The console goes to a string, not to the test's output.
// Options are given as further command-line arguments; after_point is
// called after every sweep point.  With table_ratio > 1 the tables are
// grown as a convergence pass grows them for limits that many times a
// plain run's.
void run_structure(const std::string& base, double box_w = 0, double box_h = 0,
                   const std::vector<std::string>& options = {}, void (*after_point)() = nullptr,
                   double table_ratio = 1);

// A 63 x 3 mm slot whose top side has 31 triangular notches between 32
// pieces that lie on the enclosure wall: 31 chains of basis functions,
// whatever the limit (97 sides).
std::vector<std::string> notched_comb();
