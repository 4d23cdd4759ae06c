// Boundary basis functions.
//
// Each regular function is a piecewise quadratic in the arc length, centred
// on one contour element and reaching into its same-line neighbours: value 1
// at the centre of its element (before normalisation), continuous with
// continuous slope, falling to zero with zero slope at the far ends of the
// neighbours.  At the ends of an open chain (a line running from the
// enclosure wall or a symmetry plane to another) the function is cut so as
// to have zero slope or zero value there, as the field condition of the mode
// class asks.  For TM modes corner functions with a kink (or a non-zero end
// value) at convex corners represent the corner behaviour of the boundary
// source.  Every function is normalised to unit L2 norm along the contour.
#include "modesolver/basis_functions.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "contour/contour.hpp"
#include "records/modesolver.hpp"

fbo_rec fbo;
ltra_rec ltra;
ivet_rec ivet;
avet_rec avet;

namespace {

const double pi = 3.141592653589793;

int capacity() { return fbo.cap < fbo.storage() ? fbo.cap : fbo.storage(); }

// Direction of travel of row `row`: its chord, or, for an arc taken as the
// far element of a corner, the tangent at its end angle (at_end) or at its
// start angle, in the sense in which the arc is run.
void direction(int row, bool far, bool at_end, double& dx, double& dy) {
  const xye_row& r = blok2[row];
  if (far && is_arc(row)) {
    double phi = at_end ? r[4] : r[3];
    double d = r[4] >= r[3] ? 1.0 : -1.0;
    dx = -d * std::sin(phi);
    dy = d * std::cos(phi);
    return;
  }
  double x1, y1, x2, y2;
  eends(row, x1, y1, x2, y2);
  dx = x2 - x1;
  dy = y2 - y1;
}

// Turning angle from direction 1 to direction 2, positive for a left turn.
double turn(double x1, double y1, double x2, double y2) {
  return std::atan2(x1 * y2 - y1 * x2, x1 * x2 + y1 * y2);
}

// Turns of 45 to 135 degrees.  An octagon, or a quarter arc replaced by two
// sides, turns by 45 degrees to the digits its corners are written with:
// the ends count with 1e-5 rad (0.0006 degree) to spare, so that the basis
// does not depend on where the aperture is drawn.
bool corner_range(double ang) { return ang >= pi / 4 - 1e-5 && ang <= 3 * pi / 4 + 1e-5; }

// Divides the coefficients by the L2 norm along the contour and stores the
// function in record rec; elements of zero length are not stored.
void store(int rec, int iip, int i, int iis, int type, const double l[4], double c[10]) {
  double n2 = 0;
  for (int k = 1; k <= 3; ++k) {
    double p = c[3 * k - 2], q = c[3 * k - 1], r = c[3 * k];
    n2 += l[k] * (p * p / 80 + q * q / 12 + r * r + p * r / 6);
  }
  double n = std::sqrt(n2);
  fbo_entry& e = fbo[rec];
  for (int k = 1; k <= 9; ++k) e.c[k] = c[k] / n;
  e.iip = l[1] > 0 ? iip : 0;
  e.i = i;
  e.iis = l[3] > 0 ? iis : 0;
  e.type = type;
}

// Coefficients of c(t + 1/2)^2 and c(t - 1/2)^2 on an element.
void rise(double* c3, double a) {
  c3[0] = a;
  c3[1] = a;
  c3[2] = a / 4;
}
void fall(double* c3, double b) {
  c3[0] = b;
  c3[1] = -b;
  c3[2] = b / 4;
}

}  // namespace

void cfbo(int iip, int i, int iis, int itype) {
  if (fbo.nfb + 1 > capacity()) {
    dat.status = 1020;
    return;
  }
  ++fbo.nfb;
  int rec = ++fbo.nreg;
  double l[4] = {0, 0, elen(i), 0};
  l[1] = (itype == -1 || itype == -2) ? 0.0 : elen(iip);
  l[3] = (itype == 1 || itype == 2) ? 0.0 : elen(iis);
  double c[10] = {};
  double l1 = l[1], l2 = l[2], l3 = l[3];
  c[6] = 1.0;
  if (itype == 1) {  // zero slope at the chain end
    double p = -4 * l2 / (4 * l1 + 3 * l2);
    c[4] = p;
    c[5] = -p;
    rise(&c[1], 3 * p / 4 + 1);
  } else if (itype == -1) {  // zero slope at the chain start
    double p = -4 * l2 / (4 * l3 + 3 * l2);
    c[4] = p;
    c[5] = p;
    fall(&c[7], 3 * p / 4 + 1);
  } else {  // interior; with l1 or l3 zero, zero value at that end
    double d = 4 * l1 * l3 + 3 * l2 * (l1 + l3) + 2 * l2 * l2;
    double p = -4 * l2 * (2 * l2 + l1 + l3) / d;
    double q = -4 * l2 * (l1 - l3) / d;
    c[4] = p;
    c[5] = q;
    rise(&c[1], p / 4 - q / 2 + 1);
    fall(&c[7], p / 4 + q / 2 + 1);
  }
  store(rec, iip, i, iis, itype, l, c);
}

void cfbsp(int iip, int i, int iis, int ktype) {
  int labi = label(i);
  int ktsp = 0;  // special type to make, 0 for none
  if (ktype == -1 || ktype == -2 || ktype == 1 || ktype == 2) {
    bool start = ktype < 0;
    int nb = start ? iip : iis;  // the element beyond the chain end
    double x1, y1, x2, y2;
    if (start) {
      direction(iip, true, true, x1, y1);
      direction(i, false, false, x2, y2);
    } else {
      direction(i, false, false, x1, y1);
      direction(iis, true, false, x2, y2);
    }
    double th = turn(x1, y1, x2, y2);
    int labn = label(nb);
    bool ok;
    if (labn >= 1000) {
      // The element meets its own mirror image: the corner seen by the field
      // is the turn between the element and its image.  Odd classes have no
      // corner function there.
      bool even = (labn == 1000 && dat.symx == 1) || (labn == 1100 && dat.symy == 1);
      ok = even && corner_range(2 * th - pi);
    } else {
      ok = corner_range(th);
    }
    if (ok) ktsp = start ? -12 : 12;
  } else {
    double x1, y1, x2, y2;
    direction(i, false, false, x1, y1);
    direction(iis, true, false, x2, y2);
    if (corner_range(turn(x1, y1, x2, y2))) ktsp = labi <= 100 ? 10 : 11;
  }
  if (ktsp == 0) return;

  int cap = capacity();
  if (fbo.nfb + 1 > cap) {
    dat.status = 1020;
    return;
  }
  int rec = cap - fbo.nfb + fbo.nreg;  // specials fill the table from the top
  ++fbo.nfb;
  double l[4] = {0, 0, elen(i), 0};
  double c[10] = {};
  if (ktsp == 10) {  // kink of value 1 at the vertex between i and iis
    l[3] = elen(iis);
    rise(&c[4], 1.0);
    fall(&c[7], 1.0);
  } else if (ktsp == 11) {
    l[1] = elen(iip);
    l[3] = elen(iis);
    double u = l[2] / l[1], v = l[1] / l[2], w = l[3] / l[2];
    double a = -(w + 1) / (v + 2 + u);
    rise(&c[1], a);
    c[4] = 1 - (2 * u + 1) * a;
    c[5] = 1 - a;
    c[6] = (u / 2 + 0.75) * a + 0.25;
    fall(&c[7], 1.0);
  } else if (ktsp == 12) {  // on iip and i, non-zero at the chain end
    l[1] = elen(iip);
    double v = l[1] / l[2], u = l[2] / l[1];
    rise(&c[1], 1.0);
    c[4] = -(3 * u + v + 3);
    c[5] = -(v + 3 + u);
    c[6] = -(v - 1 - u) / 4;
  } else {  // -12: on i and iis, non-zero at the chain start
    l[3] = elen(iis);
    double u = l[2] / l[3], w = l[3] / l[2];
    c[4] = 3 * u + 3 + w;
    c[5] = -(u + 3 + w);
    c[6] = -(u + 1 - w) / 4;
    fall(&c[7], -1.0);
  }
  store(rec, iip, i, iis, ktsp, l, c);
}

void fbdef(int ifb, int imt, int iflag_cont) {
  static std::vector<fbo_entry> moved;
  moved.resize(fbo.v.size());
  fbo.nfb = 0;
  fbo.nreg = 0;
  for (int k = 1; k <= fbo.storage(); ++k) fbo[k] = fbo_entry{};
  if (blok2.n <= 2) return;

  double eps = blok2[1][10];
  int i0 = 0;
  for (int i = 2; i <= blok2.n && i0 == 0; ++i) {
    if (blok2[i][6] < eps) i0 = i;
  }
  if (i0 == 0) return;

  int prevlab = -9999, lasttype = 0;
  int i = i0;
  // The chain is one loop through every row: one pass visits each once.
  for (int step = 0; step < blok2.n - 1; ++step) {
    int lab, i1, i2;
    labout(i, lab, i1, i2);
    if (lab < 1000 && !(lab == 0 && iflag_cont == 0)) {
      int iip, iis;
      elcont(iip, i, iis);
      int labp = label(iip), labs = label(iis);
      int type = 0;
      if (labp == 0 && iflag_cont == 0) type = -1;
      if (i1 == 9 && (labp == 1000 || labp == 1100)) {
        int sel = labp == 1000 ? dat.symx : dat.symy;
        if (sel == 1) type = -2;
        if (sel == -1) type = -1;
      }
      if (labs == 0 && iflag_cont == 0) type = 1;
      if (i2 == 9 && (labs == 1000 || labs == 1100)) {
        int sel = labs == 1000 ? dat.symx : dat.symy;
        if (sel == 1) type = 2;
        if (sel == -1) type = 1;
      }
      if (type == 0 && lab != prevlab && (lab > 100 || fbo.nreg == 0)) type = -3;
      // TM and TEM: zero slope and zero value at the chain ends exchange.
      if (imt != 1 && (std::abs(type) == 1 || std::abs(type) == 2)) {
        type = type > 0 ? 3 - type : -(3 + type);
      }
      bool first = fbo.nreg == 0;
      if (ifb >= 0) {
        cfbo(iip, i, iis, type);
        if (dat.status >= 1000) return;
      }
      // A new line begins: the closed line before it ends with type 3.
      if (type < 0 && !first && fbo[fbo.nreg - 1].type == 0) fbo[fbo.nreg - 1].type = 3;
      prevlab = lab;
      lasttype = type;
      if (ifb != 0) {
        cfbsp(iip, i, iis, type);
        if (dat.status >= 1000) return;
      }
    }
    i = lsucc(i);
    if (blok2[i][6] < eps) break;
  }
  if (fbo.nreg == 0) return;
  if (lasttype == 0) fbo[fbo.nreg].type = 3;

  // Special functions, made from the top of the table down, follow the
  // regular ones in the order they were made.
  int cap = capacity(), nsp = fbo.nfb - fbo.nreg;
  for (int k = 1; k <= nsp; ++k) moved[k] = fbo[cap + 1 - k];
  for (int k = fbo.nreg + 1; k <= cap; ++k) fbo[k] = fbo_entry{};
  for (int k = 1; k <= nsp; ++k) fbo[fbo.nreg + k] = moved[k];

  // The regular function centred on each row of a line (labels 1 .. 999).
  for (int row = 2; row <= blok2.n; ++row) {
    int lab = label(row);
    if (lab < 1 || lab > 999) continue;
    for (int k = 1; k <= fbo.nreg; ++k) {
      if (fbo[k].i == row) matco[row].v[16] = k;
    }
  }
}

void gvett(int& status) {
  status = 0;
  // One entry per basis function.
  ivet.set_capacity(std::max(fbo.cap, ivet_rec::max_entries));
  avet.set_capacity(ivet.cap);
  ivet.n = fbo.nfb;
  avet.n = fbo.nfb;
  for (int k = 1; k <= ivet.storage(); ++k) {
    ivet[k] = 0;
    avet[k] = 0;
  }
  int cap = ltra.cap < ltra.storage() ? ltra.cap : ltra.storage();
  int nchain = 0;
  ltra.n = 0;
  int ki = 1;
  while (ki <= fbo.nreg) {
    // The chain runs from its first function to the next one with an end
    // type (a chain of a single function carries the end type itself).
    int ke = ki;
    if (fbo[ki].type <= 0) {
      ke = ki + 1;
      while (ke < fbo.nreg && fbo[ke].type == 0) ++ke;
      if (ke > fbo.nreg) ke = fbo.nreg;
    }
    if (nchain >= cap) {
      status = 1030;
      return;
    }
    ltra[++nchain] = ke;
    if (fbo[ki].type != -2 && fbo[ke].type != 2) {
      for (int k = ki; k <= ke; ++k) {
        avet[k] = 1.0 / (fbo[k].c[6] - fbo[k].c[4] / 4);
        ivet[k] = 1;
      }
      ivet[ke] = 9999;
      ++ltra.n;
    }
    ki = ke + 1;
  }
  for (int k = nchain + 1; k <= ltra.storage(); ++k) ltra[k] = 0;
}
