// Records of run control: the structure description, the sweep point in
// force, the error channel of the contour and solver routines and the run
// file names of the mode solver.  One instance of each, for the whole run.
#pragma once
#include <string>

// Base name of the structure: the file name without ".fss".
struct fss_file_rec { std::string name; };

// Options of the command line: "-pvf", "-wgs" (waveguide simulator),
// "-modes" (table of the aperture modes) and the others below.
struct fss_writeinfo_rec {
  int pvf = 0; int wgs = 0; int modes = 0; int converge = 0;
  int csv = 0, s4p = 0, plot = 0;  // "-csv", "-s4p", "-plot": the further result files
  int geometry = 0;                // "-geometry": the picture of the structure only
  int fine = 0;                    // "-fine": modes as accurate at the limit as below it
  int passes = 0;                  // "-passes N": most passes of "-converge" (0: the default)
  double minutes = 0;              // "-minutes M": the time "-converge" may take (0: the default)
};

// Folder of every file the run writes (option "-o DIR"); empty: the folder
// of the structure file.
struct fss_output_rec { std::string dir; };

// Lattice periods (m), square root of the cell area and its inverse.
struct fss_cell_dim_rec { double a = 0, b = 0, sqrt_ab = 0, inv_sqrt_ab = 0; };

// Skew angle of the lattice (rad); pi/2 is the rectangular lattice.
struct fss_lattice_angle_rec { double alpha = 0; };

// Metal thickness of screen 1, depth of the layers between screens 1 and 2
// (0 with one screen), thickness of screen 2 (m).
struct fss_thickness_rec { double t1 = 0, spacing = 0, t2 = 0; };

// Limits of a structure: screens, and apertures of one screen.
constexpr int max_screens = 8;
constexpr int max_screen_apertures = 20;

// Screen bookkeeping: capacity (max_screens), screen count, mode counts of
// screens 1 and 2 (the modes of every screen: fss_modewg_sc).
struct fss_screen_rec { int cap = 0, nsc = 0, nwg1 = 0, nwg2 = 0; };

// The structure across the lattice, from the illuminated side to the far
// side: dielectric layers and screens in their order, between two outer
// half-spaces of air.  A layer has its thickness (m), relative permittivity
// eps_r' and loss tangent (complex eps_r = eps_r' (1 - j tan_delta) in the
// exp(+j omega t) convention); a screen has its metal thickness (m), the
// permittivity and loss tangent filling its apertures and the number of its
// apertures in block 4 (screen k holds the apertures after the (k-1)-th line
// with "$").  Two screens have at least one layer between them; all share
// the lattice of blocks 1 and 2.  Without a stack block the record holds
// the single screen of block 3, in air, unfilled.
constexpr int max_stack_items = 64;
enum { stack_kind_layer = 1, stack_kind_screen = 2 };
struct stack_item {
  int kind = 0;
  double d = 0, eps = 1, tand = 0;
  int line = 0;       // line of the structure file (0: not from block 9)
  int apertures = 0;  // screens: apertures in block 4 (0: not counted)
};
struct fss_stack_rec {
  int cap = 0;       // capacity (max_stack_items)
  int n = 0;         // items from the illuminated side
  int given = 0;     // the structure file holds the stack block
  stack_item item[max_stack_items + 1];
};

// A swept quantity: start, end, step (Hz or rad).
struct fss_range_rec { double start = 0, end = 0, step = 0; };

// Wavenumber limits (rad/m) of the aperture modes and of the Floquet modes.
struct fss_kmax_rec { double wg = 0, flo = 0; };

// Sweep point: frequency (Hz), wavelength (m), k0 (rad/m), eta0 (ohm).
struct fss_em_var_rec { double f = 0, lambda = 0, k0 = 0, eta0 = 0; };

// Incidence of the sweep point: angles (rad) and incident transverse wavevector.
struct fss_inc_angle_rec { double theta = 0, phi = 0, kx0 = 0, ky0 = 0; };

// Where the values of the structure file stand, for the messages: the data
// file name, for blocks 1 .. 9 the line their values were read from (the
// last one, for values spread over lines) and its text, and the line of the
// "4)" label (row k of the aperture block is line `aperture_label` + k).
struct fss_source_rec {
  std::string datafile;
  int line[10] = {};
  std::string text[10];
  int aperture_label = 0;
};

extern fss_file_rec fss_file;
extern fss_source_rec fss_source;
extern fss_writeinfo_rec fss_writeinfo;
extern fss_output_rec fss_output;
extern fss_cell_dim_rec fss_cell_dim;
extern fss_lattice_angle_rec fss_lattice_angle;
extern fss_thickness_rec fss_thickness;
extern fss_screen_rec fss_screen;
extern fss_stack_rec fss_stack;
extern fss_range_rec fss_freq_iter, fss_theta, fss_phi;
extern fss_kmax_rec fss_kmax;
extern fss_em_var_rec fss_em_var;
extern fss_inc_angle_rec fss_inc_angle;

// Error channel of the contour and mode-solver routines (code 0 = no error).
struct errors_rec { int code = 0; std::string message; };
extern errors_rec errors;

// Run and temporary file names of one mode-solver run (entries from 1).
struct run_files_rec {
  std::string resa[6];   // 1 structure, 2 .pag, 3 .lis, 4 .err, 5 .anw
  std::string optfil[4]; // 2 .mnt, 3 .qmt
  std::string ftmp[5];   // Green's function scratch tables
  std::string oftmp[5];  // quasi-static scratch tables
};
extern run_files_rec run_files;

// Command line as given to the program (argument 0 is the program name).
struct fss_command_line_rec { int argc = 0; char** argv = nullptr; };
extern fss_command_line_rec fss_command_line;
