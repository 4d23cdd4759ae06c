// Records of the waveguide eigenmode solver shared with the contour routines.
#pragma once
#include <string>

// Run description of the solver: enclosing-guide width a (radius when the
// enclosure is circular) and height b (b <= 0 selects the circle), the x and
// y symmetry selectors (0 none, +1 even, -1 odd), the solver status, the
// offset of the outer collocation points (0.4 of an element), the largest
// frequency (frequency unit of the contour) and the contour file name.
struct dat_rec {
  double a = 0, b = 0;
  int symx = 0, symy = 0;
  int status = 0;
  double offset = 0.4;
  double fmax = 0;
  std::string name;
};

// Units of the contour: metres per length unit, Hz per frequency unit and
// their names (3 characters each).
struct freq_rec {
  double lscale = 0.001, fmult = 1.0e9;
  std::string lunit = "mm ", funit = "GHz";
};

extern dat_rec dat;
extern freq_rec freq;

// ---- Enclosing-guide modes and basis functions --------------------------
#include "records/table.hpp"

// One mode of the enclosing guide: for the rectangle the indices m (along the
// width) and n (along the height); for the circle the signed Bessel order
// (negative: cos variant, positive: sin variant) and the root number; then
// the cutoff wavenumber kc (per contour length unit).
struct amo_entry {
  int i1 = 0, i2 = 0;
  double kc = 0;
};

// Enclosing-guide mode list: capacity 800; the count `n` (namo) is on entry
// the number of modes wanted and on return the number found.
using amo_rec = fss_table<amo_entry, 800>;
extern amo_rec amo;
