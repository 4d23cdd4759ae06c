// Records of the mode-field evaluation: the current mode's boundary source
// densities and its scaled enclosing-guide coefficients.
#pragma once
#include "records/contour.hpp"
#include "records/table.hpp"

// Quadratic source density A xi^2 + B xi + C on one contour element,
// xi from -1/2 at the element start to +1/2 at its end.
struct source_quad {
  double a = 0, b = 0, c = 0;
};

// Per contour element, indexed by the element's row: room for every row the
// contour table may hold (400 in a plain run, header row included; grown
// with the limits up to 3200), so that the mode fields
// take any contour the coder makes.
using table_rec = fss_table<source_quad, xye_bound>;
// Per enclosing-guide mode (capacity 800): scaled coefficient of the mode.
using vet2_rec = fss_table<double, 800>;

extern table_rec table;
extern vet2_rec vet2;
