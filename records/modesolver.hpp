// Records of the waveguide eigenmode solver shared with the contour routines.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

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

// The symmetry selectors (x, y) of every mode of the mode file, in its order.
struct mode_class {
  int symx = 0, symy = 0;
};
extern std::vector<mode_class> mode_file_classes;

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

// One boundary basis function: the contour rows of its predecessor, central
// and successor elements (0 where it does not reach), its type, and the
// coefficients (p, q, r) of p t^2 + q t + r on each of the three elements,
// t from -1/2 at the element start to +1/2 at its end:
// c[1..3] predecessor, c[4..6] central element, c[7..9] successor.
struct fbo_entry {
  int iip = 0, i = 0, iis = 0, type = 0;
  double c[10]{};
};

// Basis-function table: capacity (450 in a plain run), total count, count of regular
// functions (records 1 .. nreg; special functions follow them).
struct fbo_rec {
  static constexpr int max_entries = 450;  // capacity of a plain run
  int cap = 0;
  int nfb = 0;
  int nreg = 0;
  std::vector<fbo_entry> v = std::vector<fbo_entry>(max_entries + 1);
  fbo_entry& operator[](int k) { return v[k]; }
  const fbo_entry& operator[](int k) const { return v[k]; }
  int storage() const { return static_cast<int>(v.size()) - 1; }
  void set_capacity(int capacity) {
    cap = capacity;
    if (storage() < capacity) v.resize(static_cast<std::size_t>(capacity) + 1);
  }
};
extern fbo_rec fbo;

// Chains of basis functions: capacity (30); the count `n` is the number of
// chains whose last function is flagged; entries 1, 2, ... hold the record
// number of the last function of every chain in contour order, then zeros.
using ltra_rec = fss_table<int, 30>;
extern ltra_rec ltra;

// Per basis function (capacity 450, count = nfb): on chains whose ends are
// not of zero-value type, `ivet` is 1 (the next function of the chain
// follows) or 9999 (last function of the chain) and `avet` = 1/(r - p/4) of
// the central-element coefficients; 0 elsewhere.
using ivet_rec = fss_table<int, 450>;
using avet_rec = fss_table<double, 450>;
extern ivet_rec ivet;
extern avet_rec avet;

// Growth of the solver's tables for a run whose aperture limit is this
// many times the structure file's (1 in a plain run; the convergence passes
// raise it, up to solver_scale_bound): the tables that grow with the
// number of boundary elements (basis functions, chains, sample points) as
// the ratio, those that grow with the modes below a limit (enclosing-guide
// modes) as its square.  Set before the solver's records are prepared.
constexpr int solver_scale_bound = 8;
extern double solver_scale;
