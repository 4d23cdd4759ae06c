// The result file: header, per-direction blocks and one row per sweep point.
#pragma once
#include <string>

void write_output();
void calc_ref_tr();
// Fortran-style fixed-point field Fw.d (asterisks when the number does not fit).
std::string fixed_field(double x, int w, int d);
// Magnitude in dB with the floor of about -99.999 dB (also for NaN).
double db_floor(double magnitude);
