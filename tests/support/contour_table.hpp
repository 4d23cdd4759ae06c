// Contour tables written by hand the way the boundary reader leaves them
// (coded but not segmented), for tests that start from a given contour.
#pragma once
#include "records/contour.hpp"

// Stores the contour capacities, clears the table and writes its header row:
// enclosure a x b (b = 0: circle of radius a), symmetry selectors isx, isy,
// coincidence tolerance eps, millimetre units, a 10 GHz upper frequency
// (negative: not yet segmented) and one line.
void start_xye_table(double a, double b, int isx, int isy, double eps);

// Row n: the element from (x1, y1) to (x2, y2), an arc through (x3, y3) or
// straight.
void put_xye_element(int n, double x1, double y1, double x2, double y2,
                     double x3 = straight_marker, double y3 = straight_marker);

// Closes the table at row n (header included) and codes it; returns the
// coder's error code.
int code_xye_table(int n);
