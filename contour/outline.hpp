// Closed lines of an aperture boundary in the file form (elements as read
// from block 4): the elements chained end to end, the area and the length
// of each line.  Used for the picture of the structure and for the estimate
// of the aperture mode count before the mode computation.
#pragma once
#include <vector>

#include "records/contour.hpp"

// One element in the direction of its line: a side from (x1, y1) to
// (x2, y2), or an arc of centre (cx, cy) and radius r from angle t1 over the
// signed angle dt (counter-clockwise positive; a full circle has |dt| = 2 pi).
struct outline_piece {
  double x1, y1, x2, y2;
  bool arc;
  double cx, cy, r, t1, dt;
  int row;  // the element's row in the description (from 1)
};

struct outline_line {
  std::vector<outline_piece> pieces;
  double area = 0;    // signed: positive when the line runs counter-clockwise
  double length = 0;
};

// The geometry of element row e (file form, a side when x3 holds the straight
// marker) in its own direction; false for an arc whose three points lie on
// one line.
bool outline_element(const elm_row& e, int row, outline_piece& p);
// The piece run backwards.
outline_piece reversed(const outline_piece& p);

// Chains the elements el[1 .. n] into closed lines (ends meet within a
// millionth of the size of the description); false when an element ends
// nowhere or an arc is degenerate.  The lines are returned in the order of
// their first element.
bool outline_lines(const elm_row* el, int n, std::vector<outline_line>& lines);

// Area of the aperture (the outer line's, less that of the inner lines) and
// the length of its whole boundary, in the unit of the description; false
// when the elements do not close.
bool outline_measures(const elm_row* el, int n, double& area, double& perimeter, int& inner_lines);
