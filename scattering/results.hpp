// The result file: header, per-direction blocks and one row per sweep point.
#pragma once
#include <string>

#include <complex>

void write_output();
// Reflection and transmission of the incident waves at the sweep point,
// appended as one row of the result file.
void calc_ref_tr();
// The row of the coefficients in fss_coefficients (after the block of mode
// counts at the first frequency of a direction).
void write_ref_tr_row();

// Co-polarised coefficients of the sweep point: index 1 the y polarisation
// (TM, or TEM-y: incident H along y), index 2 the x polarisation (TE, or
// TEM-x); transmission referred back to the illuminated face.  A
// transmission whose incident wave is absent keeps its last value.
struct fss_coefficients_rec {
  std::complex<double> r11, r22, t11a, t22a;
};
extern fss_coefficients_rec fss_coefficients;
void calc_coefficients();
// Name of a result file: the base name followed by the suffix.
std::string result_name(const std::string& suffix);
// True at the first frequency of a (phi, theta) pass of the sweep.
bool first_frequency();
// Fortran-style fixed-point field Fw.d (asterisks when the number does not fit).
std::string fixed_field(double x, int w, int d);
// Magnitude in dB with the floor of about -99.999 dB (also for NaN).
double db_floor(double magnitude);
