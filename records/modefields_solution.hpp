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
// leading dimension (namo + nfb), ncol the number of modes stored.  Sized
// at run time (capacity mata_rows_max^2 entries).
using mata_rec = fss_matrix;

// Mode count and one value per mode: the cutoff wavenumber (TE, TM; negative
// when the purge left the mode's classification open) or the characteristic
// impedance (TEM).
using vet1_rec = fss_table<double, mata_rows_max>;

extern mata_rec mata;
extern vet1_rec vet1;
