// Modes of the rectangular enclosing guide: orthonormality by quadrature,
// transverse functions as rotated gradients of the axial ones, wall
// conditions and the three flag behaviours.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "modefields/guide_modes.hpp"
#include "support/mode_gram.hpp"
#include "support/quadrature.hpp"
#include "modesolver/guide_lists.hpp"
#include "records/modesolver.hpp"

namespace {


void enclosure(double a, double b) {
  dat.a = a;
  dat.b = b;
  dat.symx = 0;
  dat.symy = 0;
  amo.cap = 800;
}

// The first `count` modes of the TE (te) or TM spectrum.
std::vector<amo_entry> modes(bool te, int count) {
  amo.n = count;
  gmor(te ? 1e4 : -1e4);
  return std::vector<amo_entry>(&amo[1], &amo[1] + amo.n);
}

double axial(bool te, double x, double y, const amo_entry& m, int flag) {
  return te ? cater(x, y, m.i1, m.i2, flag) : catmr(x, y, m.i1, m.i2, flag);
}
void transverse(bool te, double x, double y, const amo_entry& m, double& cx, double& cy, int flag) {
  if (te) {
    cmter(x, y, m.i1, m.i2, cx, cy, flag);
  } else {
    cmtmr(x, y, m.i1, m.i2, cx, cy, flag);
  }
}

// Gram matrices of the axial and transverse functions over the rectangle.
void check_orthonormal(bool te, double a, double b, int count) {
  enclosure(a, b);
  std::vector<amo_entry> md = modes(te, count);
  ASSERT_EQ(int(md.size()), count);
  std::vector<double> gx, wx, gy, wy;
  gauss(48, a, gx, wx);
  gauss(48, b, gy, wy);
  int nm = int(md.size());
  mode_gram g = empty_gram(nm);
  std::vector<double> pa(nm), px(nm), py(nm);
  for (size_t i = 0; i < gx.size(); ++i) {
    for (size_t j = 0; j < gy.size(); ++j) {
      double w = wx[i] * wy[j];
      for (int k = 0; k < nm; ++k) {
        pa[k] = axial(te, gx[i], gy[j], md[k], 0);
        transverse(te, gx[i], gy[j], md[k], px[k], py[k], 0);
      }
      add_gram_point(g, w, pa, px, py);
    }
  }
  expect_identity(g, md);
}


}  // namespace

TEST(rectangular_modes, te_modes_are_orthonormal) {
  check_orthonormal(true, 1.3, 0.7, 40);  // includes (m, 0) and (0, n)
  check_orthonormal(true, 1.0, 1.0, 40);  // degenerate pairs (m, n), (n, m)
}

TEST(rectangular_modes, tm_modes_are_orthonormal) {
  check_orthonormal(false, 1.3, 0.7, 40);
  check_orthonormal(false, 1.0, 1.0, 40);
}

TEST(rectangular_modes, transverse_is_the_rotated_gradient_over_kc) {
  for (bool te : {true, false}) {
    enclosure(1.3, 0.7);
    std::vector<amo_entry> md = modes(te, 30);
    const double pts[4][2] = {{0.1, 0.2}, {0.77, 0.05}, {1.2, 0.61}, {0.5, 0.35}};
    for (const amo_entry& m : md) {
      auto psi = [&](double x, double y) { return axial(te, x, y, m, 0); };
      for (const auto& p : pts) {
        double cx, cy;
        transverse(te, p[0], p[1], m, cx, cy, 0);
        double h = 1e-4;
        double dpx = deriv(psi, p[0], p[1], 1, 0, h), dpy = deriv(psi, p[0], p[1], 0, 1, h);
        double scale = axial(te, 0, 0, m, -1);
        EXPECT_NEAR(cx, dpy / m.kc, 1e-8 * scale) << m.i1 << "," << m.i2;
        EXPECT_NEAR(cy, -dpx / m.kc, 1e-8 * scale) << m.i1 << "," << m.i2;
      }
    }
  }
}

TEST(rectangular_modes, wall_conditions) {
  double a = 1.3, b = 0.7;
  for (bool te : {true, false}) {
    enclosure(a, b);
    std::vector<amo_entry> md = modes(te, 30);
    for (const amo_entry& m : md) {
      auto psi = [&](double x, double y) { return axial(te, x, y, m, 0); };
      double scale = axial(te, 0, 0, m, -1);
      for (double t : {0.13, 0.5, 0.91}) {
        if (te) {  // zero normal derivative (Neumann)
          EXPECT_NEAR(deriv(psi, 0, t * b, 1, 0, 1e-4), 0, 1e-8 * scale * m.kc);
          EXPECT_NEAR(deriv(psi, a, t * b, 1, 0, 1e-4), 0, 1e-8 * scale * m.kc);
          EXPECT_NEAR(deriv(psi, t * a, 0, 0, 1, 1e-4), 0, 1e-8 * scale * m.kc);
          EXPECT_NEAR(deriv(psi, t * a, b, 0, 1, 1e-4), 0, 1e-8 * scale * m.kc);
        } else {   // zero value (Dirichlet)
          EXPECT_NEAR(psi(0, t * b), 0, 1e-13 * scale);
          EXPECT_NEAR(psi(a, t * b), 0, 1e-13 * scale);
          EXPECT_NEAR(psi(t * a, 0), 0, 1e-13 * scale);
          EXPECT_NEAR(psi(t * a, b), 0, 1e-13 * scale);
        }
      }
    }
  }
}

TEST(rectangular_modes, flags_give_function_constant_and_product) {
  enclosure(1.3, 0.7);
  const int idx[4][2] = {{0, 1}, {2, 0}, {1, 1}, {3, 2}};
  for (const auto& mn : idx) {
    int m = mn[0], n = mn[1];
    double x = 0.37, y = 0.29;
    for (bool te : {true, false}) {
      if (!te && (m == 0 || n == 0)) continue;
      amo_entry e{m, n, 0};
      double f = axial(te, x, y, e, 1), cn = axial(te, x, y, e, -1);
      EXPECT_DOUBLE_EQ(axial(te, x, y, e, 0), f * cn);
      EXPECT_EQ(axial(te, 5.0, -3.0, e, -1), cn);  // the constant ignores the point
      double fx, fy, nx, ny, px, py;
      transverse(te, x, y, e, fx, fy, 1);
      transverse(te, x, y, e, nx, ny, -1);
      transverse(te, x, y, e, px, py, 0);
      EXPECT_EQ(ny, 0.0);
      EXPECT_DOUBLE_EQ(px, fx * nx);
      EXPECT_DOUBLE_EQ(py, fy * nx);
    }
  }
  // Bare TE function at the corner is 1; TM vanishes there.
  EXPECT_DOUBLE_EQ(cater(0, 0, 3, 2, 1), 1.0);
  EXPECT_EQ(catmr(0, 0, 3, 2, 1), 0.0);
  // m = n = 0 uses the factor 2 of a single zero index.
  EXPECT_DOUBLE_EQ(cater(0, 0, 0, 0, -1) * cater(0, 0, 0, 0, -1) * 1.3 * 0.7, 2.0);
}
