// Fields of computed modes: a mode made of one enclosing-guide mode gives
// that mode's normalised functions (written here from their formulas); a mode
// made of basis-function coefficients gives the fields of its boundary
// sources, integrated here by adaptive quadrature; the transverse vectors of
// TM and TEM modes are the rotated gradient and the negative gradient of the
// axial field; the refusals of gmfield and ctt.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "contour/contour.hpp"
#include "modefields/mode_field.hpp"
#include "modefields/quasi_quadrature.hpp"
#include "modesolver/basis_functions.hpp"
#include "modesolver/green_kernels.hpp"
#include "modesolver/guide_lists.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "support/contour_table.hpp"
#include "support/fatal.hpp"

namespace {

const double pi = 3.141592653589793;

void enclosure(double a, double b, int symx = 0, int symy = 0) {
  contour_capacities();
  dat.a = a, dat.b = b, dat.symx = symx, dat.symy = symy, dat.offset = 0.4;
  blok2[1][10] = std::fmax(a, b) * 1e-5;
  blok2.n = 1;
  amo.cap = 800;
  amo.n = 0;
  fbo.cap = 450;
  fbo.nfb = fbo.nreg = 0;
}

int put_element(double x1, double y1, double x2, double y2) {
  int i = ++blok2.n;
  xye_row& r = blok2[i];
  for (int k = 1; k <= 12; ++k) r[k] = 0;
  r[1] = x1, r[2] = y1, r[3] = x2, r[4] = y2;
  r[7] = std::hypot(x2 - x1, y2 - y1);
  return i;
}

// The modes of the enclosing guide as the solution: column j is mode j with
// coefficient kc_j, its eigenvalue kc_j (what the formulations return when
// no basis function exists).
void guide_modes_as_solution() {
  mata.shape(amo.n, amo.n);
  for (int j = 1; j <= amo.n; ++j)
    for (int i = 1; i <= amo.n; ++i) mata(i, j) = i == j ? amo[j].kc : 0;
  vet1.n = amo.n;
  for (int j = 1; j <= amo.n; ++j) vet1[j] = amo[j].kc;
}

// ---- Normalised enclosing-guide functions, from their formulas ------------
double rect_axial(bool te, const amo_entry& m, double x, double y) {
  double kx = m.i1 * pi / dat.a, ky = m.i2 * pi / dat.b;
  if (te) {
    double eps = (m.i1 == 0 || m.i2 == 0) ? 2 : 4;
    return std::sqrt(eps / (dat.a * dat.b)) * std::cos(kx * x) * std::cos(ky * y);
  }
  return 2 / std::sqrt(dat.a * dat.b) * std::sin(kx * x) * std::sin(ky * y);
}

double disc_axial(bool te, const amo_entry& m, double x, double y) {
  int nu = std::abs(m.i1);
  double r = std::hypot(x, y), ph = std::atan2(y, x), xa = m.kc * dat.a;
  double ang = m.i1 < 0 ? std::cos(nu * ph) : m.i1 > 0 ? std::sin(nu * ph) : 1;
  double en = nu == 0 ? 2 : 1;
  if (te)
    return -std::cyl_bessel_j(nu, m.kc * r) * ang *
           std::sqrt(2 / ((1 - (nu / xa) * (nu / xa)) * pi * en)) / dat.a /
           std::fabs(std::cyl_bessel_j(nu, xa));
  return std::cyl_bessel_j(nu, m.kc * r) * ang * std::sqrt(2 / (pi * en)) / dat.a /
         std::fabs(std::cyl_bessel_j(nu + 1, xa));
}

double axial(bool te, const amo_entry& m, double x, double y) {
  return dat.b > 0 ? rect_axial(te, m, x, y) : disc_axial(te, m, x, y);
}

// (dpsi/dy, -dpsi/dx)/kc by central differences.
void transverse(bool te, const amo_entry& m, double x, double y, double& tx, double& ty) {
  double h = 1e-5;
  tx = (axial(te, m, x, y + h) - axial(te, m, x, y - h)) / (2 * h) / m.kc;
  ty = -(axial(te, m, x + h, y) - axial(te, m, x - h, y)) / (2 * h) / m.kc;
}

struct pt {
  double x, y;
};

void check_single_modes(bool te, const pt* pts, int npts, pt shift) {
  guide_modes_as_solution();
  for (int j = 1; j <= amo.n; ++j) {
    SCOPED_TRACE("mode " + std::to_string(j) + " (" + std::to_string(amo[j].i1) + ", " +
                 std::to_string(amo[j].i2) + ")");
    for (int p = 0; p < npts; ++p) {
      double x = pts[p].x, y = pts[p].y, gx = x + shift.x, gy = y + shift.y;
      gmfield(j, te ? 1 : 2);
      EXPECT_NEAR(cat(x, y, te ? 1 : 2), axial(te, amo[j], gx, gy), 1e-9);
      gmfield(j, te ? -1 : -2);
      double cx, cy, tx, ty;
      ctt(x, y, te ? 1 : 2, vet1[j], cx, cy);
      transverse(te, amo[j], gx, gy, tx, ty);
      EXPECT_NEAR(cx, tx, 1e-7);
      EXPECT_NEAR(cy, ty, 1e-7);
    }
  }
}

TEST(FieldMode, SingleEnclosingModeRectangle) {
  const pt pts[] = {{0.7, 0.4}, {3.3, 2.9}, {7.1, 4.6}, {5.0, 1.3}};
  for (bool te : {true, false}) {
    enclosure(8.0, 5.0);
    amo.n = 8;
    gmor(te ? 1e4 : -1e4);
    ASSERT_EQ(amo.n, 8);
    check_single_modes(te, pts, 4, {0, 0});
  }
}

// Contour coordinates of a symmetric class have their origin on the
// symmetry planes: the functions are taken at the shifted point.
TEST(FieldMode, SingleEnclosingModeSymmetricRectangle) {
  const pt pts[] = {{0.7, 0.4}, {-3.3, 1.9}, {2.1, -2.2}};
  for (bool te : {true, false}) {
    enclosure(8.0, 5.0, 1, -1);
    amo.n = 6;
    gmor(te ? 1e4 : -1e4);
    check_single_modes(te, pts, 3, {4.0, 2.5});
  }
}

TEST(FieldMode, SingleEnclosingModeDisc) {
  const pt pts[] = {{0.7, 0.4}, {-2.3, 1.9}, {1.1, -3.2}, {0.0, 0.0}};
  for (bool te : {true, false}) {
    enclosure(4.0, 0.0);
    amo.n = 9;
    if (te) {
      gmotec(1e3);
    } else {
      gmotmc(1e3);
    }
    ASSERT_EQ(amo.n, 9);
    // the centre (phi = 0 there) is a regular point of both functions
    check_single_modes(te, pts, 4, {0, 0});
  }
}

// ---- Boundary sources -------------------------------------------------------
// Full kernels of the rectangle: free-space logarithm (written here) plus the
// regular part of the product series.
double free_g(double x, double y, double x0, double y0) {
  return -std::log(std::hypot(x - x0, y - y0) / dat.a) / (2 * pi);
}
void free_grad(double x, double y, double x0, double y0, double& gx, double& gy) {
  double dx = x - x0, dy = y - y0, r2 = dx * dx + dy * dy;
  gx = -dx / r2 / (2 * pi), gy = -dy / r2 / (2 * pi);
}
double k_g(double x, double y, double x0, double y0) {
  int st;
  return free_g(x, y, x0, y0) + greenr(x, y, x0, y0, dat.a, dat.b, -7, st);
}
// gradient of G at the field point
void k_grad(double x, double y, double x0, double y0, double& gx, double& gy) {
  double hx, hy, fx, fy;
  int st;
  htr(x, y, x0, y0, dat.a, dat.b, hx, hy, -7, st);
  free_grad(x, y, x0, y0, fx, fy);
  gx = -hy + fx, gy = hx + fy;
}
double k_dn(double x, double y, double x0, double y0, double nx, double ny) {
  double hx, hy, fx, fy;
  int st;
  hir(x, y, x0, y0, dat.a, dat.b, hx, hy, -7, st);
  free_grad(x, y, x0, y0, fx, fy);
  return -hy * nx + hx * ny - (fx * nx + fy * ny);
}
void k_et(double x, double y, double x0, double y0, double tx, double ty, double& ex, double& ey) {
  double e11, e12, e21, e22;
  int st;
  eir(x, y, x0, y0, dat.a, dat.b, e11, e12, e21, e22, -7, st);
  double dx = x - x0, dy = y - y0, r2 = dx * dx + dy * dy;
  double lg = -0.5 * std::log(r2 / (dat.a * dat.a)), dt = (dx * tx + dy * ty) / r2;
  ex = e11 * tx + e12 * ty + (lg * tx + dx * dt) / (4 * pi);
  ey = e21 * tx + e22 * ty + (lg * ty + dy * dt) / (4 * pi);
}

// Density of mode k on row e, summed here from the basis functions.
double density(int k, int e, double t, bool derivative) {
  double s = 0;
  for (int f = 1; f <= fbo.nfb; ++f) {
    const fbo_entry& b = fbo[f];
    const int el[4] = {0, b.iip, b.i, b.iis};
    for (int slot = 1; slot <= 3; ++slot) {
      if (el[slot] != e) continue;
      double p = b.c[3 * slot - 2], q = b.c[3 * slot - 1], r = b.c[3 * slot];
      double c = mata(amo.n + f, k);
      s += c * (derivative ? (2 * p * t + q) / elen(e) : (p * t + q) * t + r);
    }
  }
  return s;
}

// Integral over the contour of the density (or its derivative) times g.
template <class G>
double over_contour(int k, bool derivative, G g) {
  double sum = 0;
  for (int e = 2; e <= blok2.n; ++e) {
    const xye_row& r = blok2[e];
    double len = std::hypot(r[3] - r[1], r[4] - r[2]);
    double tx = (r[3] - r[1]) / len, ty = (r[4] - r[2]) / len;
    sum += quad::integrate(
        [&](double t) {
          double x0 = 0.5 * (r[1] + r[3]) + t * (r[3] - r[1]);
          double y0 = 0.5 * (r[2] + r[4]) + t * (r[4] - r[2]);
          return density(k, e, t, derivative) * g(x0, y0, tx, ty) * len;
        },
        -0.5, 0.5);
  }
  return sum;
}

// Gradient at p of the single layer of the density (or of its derivative),
// and the dyadic field of the tangential density.
void layer_gradient(int k, bool derivative, pt p, double& gx, double& gy) {
  auto comp = [&](int c) {
    return over_contour(k, derivative, [&](double x0, double y0, double, double) {
      double a, b;
      k_grad(p.x, p.y, x0, y0, a, b);
      return c == 0 ? a : b;
    });
  };
  gx = comp(0), gy = comp(1);
}
void dyadic_field(int k, pt p, double& ex, double& ey) {
  auto comp = [&](int c) {
    return over_contour(k, false, [&](double x0, double y0, double tx, double ty) {
      double a, b;
      k_et(p.x, p.y, x0, y0, tx, ty, a, b);
      return c == 0 ? a : b;
    });
  };
  ex = comp(0), ey = comp(1);
}
double single_layer(int k, pt p) {
  return over_contour(k, false, [&](double x0, double y0, double, double) { return k_g(p.x, p.y, x0, y0); });
}

// Four elements of a polygon and three basis functions over them; the last
// function stops at the end of its own element (empty successor slot).
void contour_with_sources(int namo) {
  enclosure(8.0, 5.0);
  put_element(3.0, 2.0, 3.4, 1.8);
  put_element(3.4, 1.8, 3.9, 1.9);
  put_element(3.9, 1.9, 4.2, 2.3);
  put_element(4.2, 2.3, 4.1, 2.8);
  amo.n = namo;
  if (namo > 0) gmor(-1e4);
  fbo.nfb = fbo.nreg = 3;
  const int els[3][3] = {{2, 3, 4}, {3, 4, 5}, {4, 5, 0}};
  const double cf[3][9] = {{0.5, 0.5, 0.125, -1.3, 0.1, 1.0, 0.8, -0.8, 0.2},
                           {0.7, 0.7, 0.175, -1.1, -0.2, 1.0, 0.6, -0.6, 0.15},
                           {0.4, 0.4, 0.1, -0.9, 0.3, 0.9, 0.0, 0.0, 0.0}};
  for (int f = 1; f <= 3; ++f) {
    fbo[f].iip = els[f - 1][0], fbo[f].i = els[f - 1][1], fbo[f].iis = els[f - 1][2];
    for (int c = 1; c <= 9; ++c) fbo[f].c[c] = cf[f - 1][c - 1];
  }
  mata.shape(namo + 3, 2);
  for (int i = 1; i <= mata.nrow; ++i) {
    mata(i, 1) = 0.3 + 0.1 * i;
    mata(i, 2) = std::sin(1.7 * i);
  }
  vet1.n = 2;
  vet1[1] = 1.37, vet1[2] = -2.05;  // an unclassified mode keeps its sign
}

const pt field_pts[] = {{2.2, 1.1}, {3.6, 2.4}, {5.3, 3.1}, {4.6, 1.5}};

TEST(FieldMode, DensitiesOfTheElements) {
  contour_with_sources(2);
  gmfield(2, 2);
  ASSERT_EQ(table.n, blok2.n);
  double lam = vet1[2];
  for (int e = 2; e <= blok2.n; ++e) {
    // the quadratic through three values of the summed density
    double dm = density(2, e, -0.5, false), d0 = density(2, e, 0, false), dp = density(2, e, 0.5, false);
    EXPECT_NEAR(table[e].c, lam * d0, 1e-14);
    EXPECT_NEAR(table[e].b, lam * (dp - dm), 1e-14);
    EXPECT_NEAR(table[e].a, lam * 2 * (dp + dm - 2 * d0), 1e-13);
  }
}

TEST(FieldMode, SourcesAgainstQuadratureTM) {
  contour_with_sources(3);
  for (int k = 1; k <= 2; ++k) {
    double lam = vet1[k];
    for (pt p : field_pts) {
      double modal = 0, mx = 0, my = 0;
      for (int j = 1; j <= amo.n; ++j) {
        double c = mata(j, k) / (amo[j].kc * amo[j].kc);
        modal += c * lam * rect_axial(false, amo[j], p.x, p.y);
        double tx, ty;
        transverse(false, amo[j], p.x, p.y, tx, ty);
        mx += c * amo[j].kc * tx, my += c * amo[j].kc * ty;
      }
      gmfield(k, 2);
      EXPECT_NEAR(cat(p.x, p.y, 2), lam * single_layer(k, p) + modal, 1e-6);
      double gx, gy;
      layer_gradient(k, false, p, gx, gy);
      gmfield(k, -2);
      double cx, cy;
      ctt(p.x, p.y, 2, lam, cx, cy);
      EXPECT_NEAR(cx, gy + mx, 1e-6);  // (dEz/dy, -dEz/dx)/lambda
      EXPECT_NEAR(cy, -gx + my, 1e-6);
    }
  }
}

TEST(FieldMode, SourcesAgainstQuadratureTEandTEM) {
  contour_with_sources(0);
  for (int k = 1; k <= 2; ++k) {
    double lam = vet1[k];
    for (pt p : field_pts) {
      double hz = over_contour(k, false, [&](double x0, double y0, double tx, double ty) {
        return k_dn(p.x, p.y, x0, y0, -ty, tx);
      });
      gmfield(k, 1);
      EXPECT_NEAR(cat(p.x, p.y, 1), hz, 1e-6);
      // TE transverse: static dyadic field of lambda sigma plus the gradient
      // of the single layer of the derivative, over lambda
      double ex, ey, qx, qy;
      dyadic_field(k, p, ex, ey);
      layer_gradient(k, true, p, qx, qy);
      gmfield(k, -1);
      double cx, cy;
      ctt(p.x, p.y, 1, lam, cx, cy);
      EXPECT_NEAR(cx, lam * ex + qx / lam, 1e-6);
      EXPECT_NEAR(cy, lam * ey + qy / lam, 1e-6);
      // TEM: potential and field -grad
      double gx, gy;
      layer_gradient(k, false, p, gx, gy);
      gmfield(k, 0);
      EXPECT_NEAR(cat(p.x, p.y, 0), single_layer(k, p), 1e-6);
      ctt(p.x, p.y, 0, lam, cx, cy);
      EXPECT_NEAR(cx, -gx, 1e-6);
      EXPECT_NEAR(cy, -gy, 1e-6);
    }
  }
}

// The transverse vector of a TM mode is the rotated gradient of its axial
// field over the eigenvalue, that of a TEM mode the negative gradient of its
// potential: central differences of cat, sources and enclosing modes
// together.
TEST(FieldMode, TransverseIsTheGradientOfTheAxialField) {
  contour_with_sources(4);
  double h = 1e-5;
  for (pt p : field_pts) {
    gmfield(1, 2);
    double dx = (cat(p.x + h, p.y, 2) - cat(p.x - h, p.y, 2)) / (2 * h);
    double dy = (cat(p.x, p.y + h, 2) - cat(p.x, p.y - h, 2)) / (2 * h);
    gmfield(1, -2);
    double cx, cy;
    ctt(p.x, p.y, 2, vet1[1], cx, cy);
    EXPECT_NEAR(cx, dy / vet1[1], 1e-6);
    EXPECT_NEAR(cy, -dx / vet1[1], 1e-6);
  }
  contour_with_sources(0);
  for (pt p : field_pts) {
    gmfield(2, 0);
    double dx = (cat(p.x + h, p.y, 0) - cat(p.x - h, p.y, 0)) / (2 * h);
    double dy = (cat(p.x, p.y + h, 0) - cat(p.x, p.y - h, 0)) / (2 * h);
    double cx, cy;
    ctt(p.x, p.y, 0, 0.0, cx, cy);
    EXPECT_NEAR(cx, -dx, 1e-6);
    EXPECT_NEAR(cy, -dy, 1e-6);
  }
}

// In a symmetric class the element images and the enclosing modes chosen
// for the class must give fields of one parity: with the y selector s, Ez is
// even for s = +1 and odd for -1, Hz the reverse; a mode made of both parts
// keeps that parity only when both conventions agree.
TEST(FieldMode, SymmetricClassesKeepOneParity) {
  for (int s : {-1, 1}) {
    for (bool te : {true, false}) {
      SCOPED_TRACE(std::string(te ? "TE" : "TM") + " selector " + std::to_string(s));
      contour_with_sources(0);
      dat.symy = s;
      for (int e = 2; e <= blok2.n; ++e) {  // move the sources into the half x > 0
        blok2[e][1] -= 2.0;
        blok2[e][3] -= 2.0;
      }
      amo.n = 5;
      gmor(te ? 1e4 : -1e4);
      ASSERT_EQ(amo.n, 5);
      mata.shape(amo.n + fbo.nfb, mata.ncol);
      for (int i = 1; i <= mata.nrow; ++i) mata(i, 1) = 0.3 + 0.1 * i;
      gmfield(1, te ? 1 : 2);
      double parity = te ? -s : s;
      for (pt p : field_pts) {
        double x = p.x - 2.0, y = p.y;
        double v = cat(x, y, te ? 1 : 2);
        EXPECT_GT(std::fabs(v), 1e-3);
        EXPECT_NEAR(cat(-x, y, te ? 1 : 2), parity * v, 1e-12);
      }
    }
  }
}

// A cross-shaped aperture in its enclosing square, coded as the contour
// coder does it; every edge cut in two.  The edges on the square's wall carry
// no basis function.
void coded_cross() {
  const double v[12][2] = {{4, 0}, {8, 0}, {8, 4}, {12, 4}, {12, 8}, {8, 8},
                           {8, 12}, {4, 12}, {4, 8}, {0, 8}, {0, 4}, {4, 4}};
  start_xye_table(12, 12, 0, 0, 12.0 / 1000);
  int n = 1;
  for (int k = 0; k < 12; ++k) {
    const double* p = v[k];
    const double* q = v[(k + 1) % 12];
    double cut[3] = {0, 1.0 / 3, 1};  // unequal pieces
    for (int j = 0; j < 2; ++j)
      put_xye_element(++n, p[0] + cut[j] * (q[0] - p[0]), p[1] + cut[j] * (q[1] - p[1]),
                      p[0] + cut[j + 1] * (q[0] - p[0]), p[1] + cut[j + 1] * (q[1] - p[1]));
  }
  ASSERT_EQ(code_xye_table(n), 0);
  dat.a = 12, dat.b = 12, dat.symx = dat.symy = 0, dat.offset = 0.4, dat.status = 0;
  amo.cap = 800, amo.n = 0;
  fbo.cap = 450;
}

// On a coded contour with the basis functions of the solver, the summed
// density of a mode is continuous from element to element along every line
// (with its slope for TE, whose functions have no corners) and vanishes on
// the wall elements.
TEST(FieldMode, DensityIsContinuousAlongTheContour) {
  for (int imt : {1, 2}) {
    SCOPED_TRACE(imt == 1 ? "TE" : "TM");
    coded_cross();
    fbdef(imt == 1 ? 0 : 1, imt, 0);
    ASSERT_GT(fbo.nreg, 8);
    mata.shape(fbo.nfb, 1);
    for (int i = 1; i <= fbo.nfb; ++i) mata(i, 1) = std::cos(2.3 * i);
    vet1.n = 1;
    vet1[1] = 0.8;
    gmfield(1, imt);
    int joints = 0;
    for (int e = 2; e <= blok2.n; ++e) {
      const source_quad& d = table[e];
      if (label(e) == 0) {
        EXPECT_TRUE(d.a == 0 && d.b == 0 && d.c == 0);
        continue;
      }
      int ip, is;
      elcont(ip, e, is);
      if (is == 0 || label(is) == 0) continue;
      const source_quad& n = table[is];
      double end = d.a / 4 + d.b / 2 + d.c, start = n.a / 4 - n.b / 2 + n.c;
      EXPECT_NEAR(end, start, 1e-12);
      if (imt == 1) {
        EXPECT_NEAR((d.a + d.b) / elen(e), (-n.a + n.b) / elen(is), 1e-12);
      }
      ++joints;
    }
    EXPECT_GT(joints, 8);
  }
}

TEST(FieldMode, Refusals) {
  contour_with_sources(2);
  EXPECT_FATAL(gmfield(3, 1), "Mode number out of range");
  EXPECT_FATAL(gmfield(0, 1), "Mode number out of range");
  EXPECT_FATAL(gmfield(1, 3), "Unknown mode class");
  EXPECT_FATAL((mata.shape(4, mata.ncol), gmfield(1, 1)), "Mode vector does not match");
  EXPECT_FATAL((blok2.n = table_rec::max_entries + 1, gmfield(1, 1)), "Too many contour elements");
  gmfield(1, -1);
  double cx, cy;
  EXPECT_FATAL(ctt(1.0, 1.0, 1, 0.0, cx, cy), "Zero eigenvalue");
}

}  // namespace
