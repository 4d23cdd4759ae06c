// The first aperture of the structure file as read (block 4, millimetres):
// for the picture of the structure, drawn before any computation.
#pragma once
#include "records/contour.hpp"

struct fss_aperture_rec {
  int cap = elm_capacity;
  int n = 0;     // elements held, rows 1 .. n
  int more = 0;  // elements beyond the capacity (the contour coder refuses them)
  elm_row el[elm_capacity + 1] = {};
};
extern fss_aperture_rec fss_aperture;
