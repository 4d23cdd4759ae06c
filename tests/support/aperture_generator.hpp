// Seeded generator of valid apertures in a periodic cell, for end-to-end
// runs of the program: many families of outlines (polygons, stars, letters,
// crosses, rounded shapes, circles drawn with one to four arcs, rings, split
// rings, slots, tiny holes and holes nearly filling the cell) in square,
// rectangular and skewed lattices, at normal and oblique incidence, with
// frequency limits scaled to the aperture.  Case k of a seed is the same on
// every machine (its own random stream, integer arithmetic only), so a
// failing case is reproduced from the seed and its number alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace apgen {

// One boundary element in the form of block 4: a side, or an arc from p1 to
// p2 through p3 (a full circle when p1 == p2, p3 then opposite p1).
struct element {
  double x1, y1, x2, y2, x3 = 0, y3 = 0;
  bool arc = false;
};
using outline = std::vector<element>;  // the closed lines of one aperture

// Lattice of periods a (along x) and b (height), skew angle in degrees; the
// second lattice vector is (b cot(skew), b).
struct lattice {
  double a, b, skew;
  double v1x() const { return a; }
  double v1y() const { return 0; }
  double v2x() const;
  double v2y() const { return b; }
  bool square() const;
};

struct gen_case {
  int index = 0;
  std::string family;
  outline boundary;
  lattice cell{};
  double thickness = 0;   // mm
  double theta = 0;       // oblique direction (deg); the runs add theta = 0
  double phi = 0;         // second azimuth (deg); the runs add phi = 0
  double f1 = 0, f2 = 0;  // sweep (GHz), two frequencies
  double fwg = 0;         // block 7 (GHz)
  double fflo = 0;        // block 8 (GHz)
  bool exact = false;     // the aperture is its own enclosing guide (an
                          // axis-aligned rectangle or one full circle)
  int tries = 0;          // drafts refused by the validity check
  int m = 0, n = 0;       // lattice translation m v1 + n v2 of the copy
  double sx = 0, sy = 0;  // arbitrary shift of the copy inside the cell
};

// Names of the families, in the order the cases cycle through them.
const std::vector<std::string>& families();

// Case k of the seed: family k mod the number of families.
gen_case generate(std::uint64_t seed, int k);

// Transforms of an outline (every point of every element).
outline translated(const outline& o, double dx, double dy);
outline rotated90(const outline& o);   // (x, y) -> (-y, x)
outline mirrored_y(const outline& o);  // (x, y) -> (x, -y)

// Checks of the lines alone (closed, apart, inner lines inside) and of
// their fit in the lattice.
std::string invalid_lines(const outline& o);
std::string invalid_fit(const outline& o, const lattice& l, double margin);

// The least distance an aperture keeps from its copies in the lattice: a
// fiftieth of the shortest lattice translation.
double fit_margin(const lattice& l);

// Independent validity check on a dense polygon of the outline: every line
// closed, no two elements crossing or touching but at their shared joint,
// inner lines inside the outer one and apart from each other, and the
// aperture at least `margin` (mm) from every copy of itself moved by a
// lattice translation.  Returns "" or what is wrong.
std::string invalid(const outline& o, const lattice& l, double margin);

// The structure file of a case with the given boundary and directions:
// theta from 0 to the case's theta, phi from phi0 to phi0 + the case's phi
// (two values each), two frequencies.
std::string structure_file(const gen_case& c, const outline& o, double phi0,
                           const lattice& l);

// Block 4 lines of an outline.
std::string boundary_text(const outline& o);

}  // namespace apgen
