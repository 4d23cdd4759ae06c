// Records of the mode formulations and the eigenproblem: the matrices of the
// boundary-integral formulation, the work tables, the accuracy setting and
// the first-call flags of the mode-file writers.
#pragma once
#include "records/table.hpp"

constexpr int nfb_capacity = 450;   // basis functions
constexpr int namo_capacity = 800;  // enclosing-guide modes
constexpr int nmode_rows = namo_capacity + nfb_capacity;
// The matrices below are sized at run time (fss_matrix): their capacity
// words follow from these two; only what a mode computation needs is ever
// allocated.

// C: scalar kernel between the (derivatives of the) basis functions;
// L: electric-type dyadic kernel between the basis functions (TE);
// R: coupling of the basis functions with the enclosing-guide modes.
// All nfb x nfb or nfb x namo, column by column.
extern fss_matrix matc;  // capacity nfb_capacity^2
extern fss_matrix matl;  // capacity nfb_capacity^2
extern fss_matrix matr;  // capacity nfb_capacity x namo_capacity

// Partial results of the matrix builders: one row per basis function (C, L)
// or enclosing-guide mode (R), one column per quadrature point (three per
// element carrying a regular function).
extern fss_matrix matt;  // capacity namo_capacity x 3 nfb_capacity

// Work matrix of the eigenproblem (the right-hand matrix B, then scratch)
// and of the purge (the field table of gmh).
extern fss_matrix matd;  // capacity nmode_rows^2

// Accuracy setting of the mode computation (0: the enclosing-guide modes
// reach twice the wavenumber limit).
extern double cofacc;

// First-call flags of the writers of one aperture: 1 = the next write
// creates the file, 0 = it merges into the file already written.
extern int write_wgm_first;
extern int sample_pot_first;
extern int sample_pottem_first;
extern int port_integrals_first;
