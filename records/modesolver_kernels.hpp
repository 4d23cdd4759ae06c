// Records of the Green's function kernels of the eigenmode solver: the table
// of the regular kernel parts between the quadrature points, the three-point
// weights of the basis functions and the first-use flags of the kernel
// caches.
#pragma once
#include <array>
#include <vector>
#include "records/table.hpp"

// Regular-kernel table, column by column, entries from 1.  Rows: the three
// quadrature points of every element carrying a regular basis function, for
// every image of the symmetry class (row = point + 3 (f - 1) + 3 nreg image,
// f the regular function centred on the element); columns: the points of the
// same elements (column = point + 3 (f - 1); the magnetic-type tables fill
// only the middle points, column 3 (f - 1) + 2).
// Sized at run time (fss_matrix): capacity matw_capacity entries, the
// rows per column (nrow) 3 nreg, doubled per symmetric axis, the columns
// (ncol) 3 nreg.
constexpr long matw_capacity = 9L * 450 * 450;
using matw_rec = fss_matrix;
extern matw_rec matw;

// Three-point weights of every basis function on each of its elements:
// w[f][slot][k], slot 1 predecessor, 2 central, 3 successor element, k the
// point at t = -d, 0, +d.  Value weights or derivative weights as last set
// by gcof.
struct cofw_rec {
  int ind = -1;  // 0 value weights, 1 derivative weights, -1 not filled
  // Entries 1 .. the basis functions of the table in force (sized by gcof,
  // which the basis table's capacity bounds: it grows with the limits).
  std::vector<std::array<std::array<double, 4>, 4>> w;
};
extern cofw_rec cofw;

// First-use flags of the kernel tables of one aperture: 1 = the table is
// still to be computed (scalar, electric type); greenha_done[imt] = 0 = the
// magnetic-type table of TE (imt 1) or TM (imt 2) is still to be computed.
// The aperture driver sets green_first = greenv_first = 1 and clears
// greenha_done before each aperture.
extern int green_first;
extern int greenv_first;
extern int greenha_done[3];
