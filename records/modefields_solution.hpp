// Solution of one formulation run of the eigenmode solver, as the field
// evaluation reads it: the eigenvalue of every mode and its coefficient
// vector.
#pragma once
#include "records/table.hpp"

// Largest coefficient vector: every enclosing-guide mode (800) and every
// basis function (450).
constexpr int mata_rows_max = 800 + 450;

// Eigenvectors, one column per mode, column by column, entries from 1:
// rows 1 .. namo the amplitudes of the enclosing-guide modes, rows
// namo + 1 .. namo + nfb the basis-function coefficients.  nrow is the
// leading dimension (namo + nfb), ncol the number of modes stored.
constexpr int mata_capacity = mata_rows_max * mata_rows_max;
struct mata_rec {
  int cap = 0;
  int nrow = 0;
  int ncol = 0;
  double v[mata_capacity + 1];
  double& operator()(int i, int j) { return v[i + (j - 1) * nrow]; }
  double operator()(int i, int j) const { return v[i + (j - 1) * nrow]; }
};

// Mode count and one value per mode: the cutoff wavenumber (TE, TM; negative
// when the purge left the mode's classification open) or the characteristic
// impedance (TEM).
using vet1_rec = fss_table<double, mata_rows_max>;

extern mata_rec mata;
extern vet1_rec vet1;
