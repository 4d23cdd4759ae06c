// The result file: header, per-direction blocks and one row per sweep point.
#pragma once
#include <string>

#include <complex>

void write_output();
// After the catalogue, with several screens or apertures: the number of
// modes of each aperture and screen, appended to the header.
void write_catalogue_counts();
// Reflection and transmission of the incident waves at the sweep point,
// appended as one row of the result file.
void calc_ref_tr();
// The row of the coefficients in fss_coefficients (after the block of mode
// counts at the first frequency of a direction).
void write_ref_tr_row();

// Co-polarised coefficients of the sweep point: index 1 the y polarisation
// (TM, or TEM-y: the TM wave of the plane phi at normal incidence, incident
// H along y at phi = 0), index 2 the x polarisation (TE, or TEM-x);
// transmission referred back to the illuminated face.  A
// transmission whose incident wave is absent keeps its last value.
struct fss_coefficients_rec {
  std::complex<double> r11, r22, t11a, t22a;
};
extern fss_coefficients_rec fss_coefficients;
void calc_coefficients();
// Name of a result file: the base name followed by the suffix.
std::string result_name(const std::string& suffix);
// The structure as named on the command line (the base name without the
// output folder), for the titles of the result files.
std::string structure_title();
// True at the first frequency of a (phi, theta) pass of the sweep.
bool first_frequency();
// Fortran-style fixed-point field Fw.d (asterisks when the number does not fit).
std::string fixed_field(double x, int w, int d);
// Magnitude in dB with the floor of about -99.999 dB (also for NaN).
double db_floor(double magnitude);
