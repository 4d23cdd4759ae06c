// The quarter of an aperture symmetric under both mirrors x -> -x and
// y -> -y about the centre of its box: the part in x >= cx, y >= cy, closed
// by the two symmetry planes as ports.  The mode solver runs the quarter in
// the four symmetry classes (a quarter of the order each, and every mode of
// pure parity by construction) in place of the whole outline.
#pragma once
#include <string>
#include <vector>

#include "records/contour.hpp"

struct mirror_quarter {
  double cx = 0, cy = 0;           // the mirrors' centre, in the unit of the description
  double area = 0;                 // of the whole aperture
  std::vector<std::string> lines;  // the quarter about (0, 0), in the boundary file's form
  std::vector<int> inner_run;      // its lines (from 1) along an inner conductor round the centre
};

// The quarter of el[1 .. n] when both mirrors map the outline onto itself
// within a thousand-millionth of its size, its outer line meets each half
// axis from the centre once, and so does its inner line if it has one (an
// inner conductor round the centre, whose quarter then runs between the two
// ports); not for more inner lines, an outline equal to its own box (its
// enclosure's modes are its own), a circle, or a side of the quarter lying
// within 2e-3 of the size along an axis (the coder would take it for part of
// the symmetry plane).  False otherwise.
bool quarter_of_outline(const elm_row* el, int n, mirror_quarter& q);

// In the coded quarter (the centre at the origin, the symmetry planes x = 0
// and y = 0 as elements labelled 1000 and 1100): the run of elements that
// leaves the port on y = 0 at its inner end, the quarter of an inner
// conductor round the centre, labelled as an inner line (101), so that the
// TEM formulation gives it its potential.
void label_inner_conductor_run();
