// Field of a computed mode: the enclosing-guide series plus the fields of
// the boundary sources of the contour elements.
//
// TE: Hz is the double layer of the boundary density plus the series of the
// enclosing TE modes; the transverse vector is the static dyadic field of the
// tangential density plus the gradient of the single layer of its derivative
// along the contour, plus the series of the transverse mode functions.
// TM: Ez is the single layer plus the TM series; the transverse vector is
// (dEz/dy, -dEz/dx)/lambda.  TEM: the potential is the single layer and the
// transverse vector its negative gradient.
#include "modefields/mode_field.hpp"

#include <cmath>

#include "contour/contour.hpp"
#include "modefields/guide_modes.hpp"
#include "modefields/quasi_static.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "run/messages.hpp"

namespace {

// Capacity in force of a table record: stored on first use, never beyond
// the storage.
template <class R>
int capacity(R& rec) {
  if (rec.cap <= 0 || rec.cap > rec.storage()) rec.cap = rec.storage();
  return rec.cap;
}

bool has_density(int i) { return table[i].a != 0 || table[i].b != 0 || table[i].c != 0; }

}  // namespace

void gmfield(int k, int imt) {
  const char* routine = "gmfield";
  if (imt < -2 || imt > 2) fatal(routine, "Unknown mode class");
  int nel = blok2.n;
  if (nel > capacity(table)) fatal(routine, "Too many contour elements");
  int namo = amo.n, nfb = fbo.nfb;
  if (imt != 0 && namo > capacity(vet2)) fatal(routine, "Too many enclosing-guide modes");
  if (k < 1 || k > mata.ncol || k > vet1.n) fatal(routine, "Mode number out of range");
  if (mata.nrow != namo + nfb)
    fatal(routine, "Mode vector does not match the enclosing-guide modes and basis functions");

  // Source density of every element: the basis functions that reach into
  // it, weighted by their coefficients.
  table.n = nel;
  for (int i = 1; i <= nel; ++i) table[i] = source_quad{};
  for (int f = 1; f <= nfb; ++f) {
    double cf = mata(namo + f, k);
    const fbo_entry& e = fbo[f];
    const int slot_el[4] = {0, e.iip, e.i, e.iis};
    for (int s = 1; s <= 3; ++s) {
      int i = slot_el[s];
      if (i < 2 || i > nel) continue;
      table[i].a += e.c[3 * s - 2] * cf;
      table[i].b += e.c[3 * s - 1] * cf;
      table[i].c += e.c[3 * s] * cf;
    }
  }
  // TM axial field and TE transverse vector carry the eigenvalue.
  double fac = (imt == 2 || imt == -1) ? vet1[k] : 1.0;
  for (int i = 2; i <= nel; ++i) {
    table[i].a *= fac;
    table[i].b *= fac;
    table[i].c *= fac;
  }

  // Enclosing-guide coefficients, scaled by the normalisation and the
  // cutoff (its square for the TM axial field and the TE transverse vector).
  // TEM modes have none.
  vet2.n = imt == 0 ? 0 : namo;
  for (int j = 1; j <= vet2.n; ++j) {
    double kc = amo[j].kc;
    double kk = (imt == 2 || imt == -1) ? kc * kc : kc;
    vet2[j] = mata(j, k) * guide_mode_norm(amo[j], imt) / kk * fac;
  }
}

double cat_sources(double x, double y, int imt) {
  double sum = 0;
  for (int i = 2; i <= table.n; ++i) {
    if (!has_density(i)) continue;
    double v;
    if (imt == 1) {
      hzqst(x, y, i, table[i].a, table[i].b, table[i].c, v);
    } else {
      ezqst(x, y, i, table[i].a, table[i].b, table[i].c, v);
    }
    sum += v;
  }
  return sum;
}

double cat(double x, double y, int imt) {
  double sum = cat_sources(x, y, imt);
  if (vet2.n == 0) return sum;
  guide_point p = guide_frame(x, y);
  for (int j = 1; j <= vet2.n; ++j) sum += vet2[j] * guide_axial(imt == 1, amo[j], p);
  return sum;
}

void ctt_sources(double x, double y, int imt, double lam, double& sx, double& sy) {
  double qx = 0, qy = 0, lx = 0, ly = 0;
  for (int i = 2; i <= table.n; ++i) {
    if (!has_density(i)) continue;
    const source_quad& d = table[i];
    double u, v;
    if (imt == 0) {  // E = -grad of the potential
      htqst(x, y, i, d.a, d.b, d.c, u, v);
      qx += v;
      qy -= u;
    } else if (imt == 1) {
      etqst(x, y, i, d.a, d.b, d.c, u, v);
      lx += u;
      ly += v;
      // Gradient of the single layer of the density's derivative along the
      // contour.
      double len = elen(i);
      htqst(x, y, i, 0, 2 * d.a / len, d.b / len, u, v);
      qx -= v;
      qy += u;
    } else {  // (dEz/dy, -dEz/dx), as the TM mode functions
      htqst(x, y, i, d.a, d.b, d.c, u, v);
      qx += u;
      qy += v;
    }
  }
  if (imt == 1) {
    if (lam == 0) fatal("ctt", "Zero eigenvalue of a TE mode");
    qx /= lam * lam;
    qy /= lam * lam;
  }
  sx = qx + lx;
  sy = qy + ly;
}

void ctt(double x, double y, int imt, double lam, double& cx, double& cy) {
  double sx, sy, mx = 0, my = 0;
  ctt_sources(x, y, imt, lam, sx, sy);
  if (imt != 0 && vet2.n > 0) {
    guide_point p = guide_frame(x, y);
    for (int j = 1; j <= vet2.n; ++j) {
      double fx, fy;
      guide_transverse(imt == 1, amo[j], p, fx, fy);
      mx += vet2[j] * fx;
      my += vet2[j] * fy;
    }
  }
  cx = sx + mx;
  cy = sy + my;
}
