// Purge of the spurious modes.
//
// The enclosing-guide expansion also yields solutions that live between the
// contour and the enclosure wall, with no field in the aperture.  A true
// mode of the aperture has, just inside the contour, the field that its
// boundary source demands: for TE the axial field Hz equals the current
// density sigma there, for TM the tangential field t.(dEz/dy, -dEz/dx)
// equals -sigma (sigma = dEz/dn).  Per mode, with H the field at the middle
// of every element (lengths l as weights),
//   P = sum (l H)^2            (field inside),
//   Q = sum (l (H - sigma))^2  (mismatch of the boundary condition);
// Q < P/20 marks a mode of the aperture, P < Q/20 one of the outer region.
// Nearly degenerate modes may mix an aperture mode with an outer one: a mode
// left between the two ratios is rotated with its near-degenerate followers
// so that it takes the least mismatch.  A mode still open is kept when its
// field inside is at least its mismatch (its cutoff then stored negative).
#include <cmath>

#include "contour/contour.hpp"
#include "modefields/guide_modes.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/green_tables.hpp"
#include "modesolver/singular.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"

namespace {

constexpr double dh = 0.05;    // classification ratio 1/20
constexpr double dk0 = 0.02;   // relative cutoff distance of a near-degenerate pair
constexpr double dth = 0.035;  // rotation angles within this of pi/2 are not made
constexpr double pi = 3.141592653589793;

// Field and mismatch vectors of the modes under test, element by element.
double uvec[static_cast<long>(nfb_capacity) * nmode_rows + 1];
double vvec[static_cast<long>(nfb_capacity) * nmode_rows + 1];
double pm[nmode_rows + 1], qm[nmode_rows + 1];
// Classification: +1 a mode of the aperture (Q < P/20), -1 one of the outer
// region (P < Q/20), 0 left open.
int cls[nmode_rows + 1];

double& u(int i, int j) { return uvec[i + static_cast<long>(j - 1) * fbo.nreg]; }
double& v(int i, int j) { return vvec[i + static_cast<long>(j - 1) * fbo.nreg]; }

int slot_row(const fbo_entry& e, int s) { return s == 1 ? e.iip : s == 2 ? e.i : e.iis; }

// Value at the middle of element `row` of the boundary function of mode j.
double boundary_value(int row, int j) {
  int namo = amo.n;
  double sum = 0;
  for (int f = 1; f <= fbo.nfb; ++f)
    for (int s = 1; s <= 3; ++s)
      if (slot_row(fbo[f], s) == row) sum += mata(namo + f, j) * fbo[f].c[3 * s];
  return sum;
}

void recompute(int j) {
  pm[j] = qm[j] = 0;
  for (int i = 1; i <= fbo.nreg; ++i) {
    pm[j] += u(i, j) * u(i, j);
    qm[j] += v(i, j) * v(i, j);
  }
}

void classify(int j) {
  cls[j] = qm[j] < dh * pm[j] ? 1 : pm[j] < dh * qm[j] ? -1 : 0;
}

// x_j' <- c x_j' - s x_j, x_j <- s x_j' + c x_j.
void rotate(double* xj, double* xk, long n, long stride, double c, double s) {
  for (long r = 0; r < n; ++r) {
    double a = xj[r * stride], b = xk[r * stride];
    xk[r * stride] = c * b - s * a;
    xj[r * stride] = s * b + c * a;
  }
}

}  // namespace

void gmh(int imt) {
  greenha(imt);
  gcof(0);
  int namo = amo.n, nfb = fbo.nfb, nreg = fbo.nreg;
  matd.shape(nreg, namo + nfb);
  bool te = imt == 1;
  for (int i = 1; i <= nreg; ++i) {
    int je = fbo[i].i;
    const double* mc = matco[je].v;
    double x = mc[3], y = mc[4], tx = mc[14], ty = mc[15];
    guide_point p = guide_frame(x, y);
    for (int m = 1; m <= namo; ++m) {
      double f;
      if (te) {
        f = guide_axial(true, amo[m], p) * guide_mode_norm(amo[m], 1);
      } else {
        double fx, fy;
        guide_transverse(false, amo[m], p, fx, fy);
        f = (fx * tx + fy * ty) * guide_mode_norm(amo[m], -2);
      }
      matd(i, m) = f / amo[m].kc;
    }
    for (int f = 1; f <= nfb; ++f) {
      const fbo_entry& e = fbo[f];
      double sum = 0;
      for (int s = 1; s <= 3; ++s) {
        int row = slot_row(e, s);
        if (row == 0) continue;
        double pc = e.c[3 * s - 2], qc = e.c[3 * s - 1], rc = e.c[3 * s];
        if (te) {
          sum += hasls(x, y, row, pc, qc, rc);
        } else {
          double hx, hy;
          htsls(x, y, row, pc, qc, rc, hx, hy);
          sum += hx * tx + hy * ty;
        }
        sum += pcont(je, 2, row, f, s, matw);
      }
      matd(i, namo + f) = sum;
    }
  }
}

void purge(int imt, double kpurge) {
  gmh(imt);
  int nreg = fbo.nreg, nrow = mata.nrow;
  // Modes above the limit (and any non-positive eigenvalue) end the list;
  // those within dk0 above it take part in the rotations only, as partners
  // of the modes just below the limit.
  int nmod = 0, ncand = 0;
  while (nmod < vet1.n && vet1[nmod + 1] > 0 && vet1[nmod + 1] <= kpurge) ++nmod;
  ncand = nmod;
  while (ncand < vet1.n && vet1[ncand + 1] > 0 && vet1[ncand + 1] <= kpurge * (1 + dk0)) ++ncand;
  double sign = imt == 1 ? 1 : -1;
  for (int j = 1; j <= ncand; ++j) {
    for (int i = 1; i <= nreg; ++i) {
      double h = 0;
      for (int c = 1; c <= nrow; ++c) h += matd(i, c) * mata(c, j);
      int row = fbo[i].i;
      double len = elen(row);
      u(i, j) = len * h;
      v(i, j) = len * (h - sign * boundary_value(row, j));
    }
    recompute(j);
    classify(j);
  }
  // An open mode is rotated with each following near-degenerate mode, open
  // or not (a partner already classified may hold the part that the open
  // mode lacks); the partner is classified again after the rotation.
  for (int j = 1; j <= nmod; ++j) {
    if (cls[j] != 0) continue;
    for (int k = j + 1; k <= ncand; ++k) {
      if (std::fabs(vet1[k] - vet1[j]) / vet1[j] > dk0) break;
      double h = 0;
      for (int i = 1; i <= nreg; ++i) h += v(i, j) * v(i, k);
      double th = 0.5 * (std::atan2(2 * h, qm[j] - qm[k]) + pi);
      if (std::fabs(th - pi / 2) < dth) continue;
      double c = std::cos(th), s = std::sin(th);
      rotate(&mata(1, j), &mata(1, k), nrow, 1, c, s);
      rotate(&u(1, j), &u(1, k), nreg, 1, c, s);
      rotate(&v(1, j), &v(1, k), nreg, 1, c, s);
      recompute(j);
      recompute(k);
      classify(k);
    }
    classify(j);
  }
  // A mode left open is kept when its field inside is at least its boundary
  // mismatch (an enclosure mode that already meets the aperture's boundary
  // condition carries no current, and has Q = P), or when the contour does
  // not see it at all; an open mode whose mismatch exceeds its field inside
  // is mostly a mode of the outer region and is dropped.
  double pmax = 0;
  for (int j = 1; j <= ncand; ++j) pmax = std::fmax(pmax, pm[j]);
  auto keep = [&](int j) {
    if (cls[j] != 0) return cls[j] > 0;
    return qm[j] <= pm[j] * (1 + 1e-9) || pm[j] + qm[j] <= 1e-20 * pmax;
  };
  int kept = 0;
  for (int j = 1; j <= nmod; ++j) {
    if (!keep(j)) continue;
    ++kept;
    vet1[kept] = cls[j] == 0 ? -vet1[j] : vet1[j];
    if (kept != j)
      for (int r = 1; r <= nrow; ++r) mata(r, kept) = mata(r, j);
  }
  vet1.n = kept;
  mata.ncol = kept;
}
