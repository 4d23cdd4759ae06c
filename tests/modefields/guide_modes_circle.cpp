// Modes of the circular enclosing guide: orthonormality by quadrature over
// the disc, transverse functions as rotated gradients of the axial ones (in
// polar components), wall conditions and the three flag behaviours.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "modefields/guide_modes.hpp"
#include "support/mode_gram.hpp"
#include "support/quadrature.hpp"
#include "modesolver/guide_lists.hpp"
#include "records/modesolver.hpp"

namespace {

const double pi = 3.141592653589793;


const double radius = 1.7;

std::vector<amo_entry> modes(bool te, int count) {
  dat.a = radius;
  dat.b = 0;
  dat.symx = 0;
  dat.symy = 0;
  amo.cap = 800;
  amo.n = count;
  if (te) {
    gmotec(60.0);
  } else {
    gmotmc(60.0);
  }
  return std::vector<amo_entry>(&amo[1], &amo[1] + amo.n);
}

double axial(bool te, double r, double phi, const amo_entry& m, int flag) {
  return te ? catec(r, phi, m.i1, m.kc, flag) : catmc(r, phi, m.i1, m.kc, flag);
}
void transverse(bool te, double r, double phi, const amo_entry& m, double& cr, double& cp,
                int flag) {
  if (te) {
    cmtec(r, phi, m.i1, m.kc, cr, cp, flag);
  } else {
    cmtmc(r, phi, m.i1, m.kc, cr, cp, flag);
  }
}

void check_orthonormal(bool te, int count) {
  std::vector<amo_entry> md = modes(te, count);
  ASSERT_EQ(int(md.size()), count);
  bool order0 = false, degenerate = false;
  for (size_t k = 0; k < md.size(); ++k) {
    order0 = order0 || md[k].i1 == 0;
    degenerate = degenerate || (k > 0 && md[k].kc == md[k - 1].kc);
  }
  EXPECT_TRUE(order0 && degenerate);
  std::vector<double> gr, wr;
  gauss(40, radius, gr, wr);
  const int nphi = 72;
  int nm = int(md.size());
  mode_gram g = empty_gram(nm);
  std::vector<double> pa(nm), pr(nm), pp(nm);
  for (size_t i = 0; i < gr.size(); ++i) {
    for (int j = 0; j < nphi; ++j) {
      double phi = 2 * pi * j / nphi, w = wr[i] * gr[i] * 2 * pi / nphi;
      for (int k = 0; k < nm; ++k) {
        pa[k] = axial(te, gr[i], phi, md[k], 0);
        transverse(te, gr[i], phi, md[k], pr[k], pp[k], 0);
      }
      add_gram_point(g, w, pa, pr, pp);
    }
  }
  expect_identity(g, md);
}

// The axial function at a Cartesian point.
double psi_xy(bool te, const amo_entry& m, double x, double y) {
  return axial(te, std::hypot(x, y), std::atan2(y, x), m, 0);
}


}  // namespace

TEST(circular_modes, te_modes_are_orthonormal) { check_orthonormal(true, 40); }

TEST(circular_modes, tm_modes_are_orthonormal) { check_orthonormal(false, 40); }

TEST(circular_modes, transverse_is_the_rotated_gradient_over_kc) {
  for (bool te : {true, false}) {
    std::vector<amo_entry> md = modes(te, 30);
    // Points off the centre, and the centre itself (phi = 0 there).
    const double pts[5][2] = {{0.3, 0.2}, {-1.1, 0.7}, {0.05, -1.5}, {-0.4, -0.4}, {0, 0}};
    for (const amo_entry& m : md) {
      auto psi = [&](double x, double y) { return psi_xy(te, m, x, y); };
      double scale = axial(te, 0, 0, m, -1);
      for (const auto& p : pts) {
        double r = std::hypot(p[0], p[1]);
        double phi = r > 0 ? std::atan2(p[1], p[0]) : 0.0;
        double cr, cp;
        transverse(te, r, phi, m, cr, cp, 0);
        double h = 1e-4;
        double vx = deriv(psi, p[0], p[1], 0, 1, h) / m.kc;   // dpsi/dy / kc
        double vy = -deriv(psi, p[0], p[1], 1, 0, h) / m.kc;  // -dpsi/dx / kc
        double c = std::cos(phi), s = std::sin(phi);
        EXPECT_NEAR(cr, vx * c + vy * s, 1e-8 * scale) << m.i1 << "," << m.i2 << " r=" << r;
        EXPECT_NEAR(cp, -vx * s + vy * c, 1e-8 * scale) << m.i1 << "," << m.i2 << " r=" << r;
      }
    }
  }
}

TEST(circular_modes, wall_conditions) {
  for (bool te : {true, false}) {
    std::vector<amo_entry> md = modes(te, 30);
    for (const amo_entry& m : md) {
      double scale = axial(te, 0, 0, m, -1);
      for (double phi : {0.0, 0.4, 2.2, 4.0}) {
        if (te) {  // zero radial derivative
          auto f = [&](double r, double) { return axial(te, r, phi, m, 0); };
          EXPECT_NEAR(deriv(f, radius, 0, 1, 0, 1e-4), 0, 1e-8 * scale * m.kc) << m.i1;
        } else {  // zero value
          EXPECT_NEAR(axial(te, radius, phi, m, 0), 0, 1e-13 * scale) << m.i1;
        }
      }
    }
  }
}

TEST(circular_modes, flags_give_function_constant_and_product) {
  std::vector<amo_entry> md = modes(true, 12);
  for (bool te : {true, false}) {
    md = modes(te, 12);
    for (const amo_entry& m : md) {
      double r = 0.9, phi = 0.7;
      double f = axial(te, r, phi, m, 1), cn = axial(te, r, phi, m, -1);
      EXPECT_DOUBLE_EQ(axial(te, r, phi, m, 0), f * cn);
      EXPECT_EQ(axial(te, 0.1, 3.0, m, -1), cn);
      double fr, fp, nr, np, pr, pp;
      transverse(te, r, phi, m, fr, fp, 1);
      transverse(te, r, phi, m, nr, np, -1);
      transverse(te, r, phi, m, pr, pp, 0);
      // As on the rectangle, the transverse function part carries the factor
      // kc and the constant is the axial one over kc: the field of a computed
      // mode combines the axial constant with the transverse function part.
      EXPECT_DOUBLE_EQ(nr, cn / m.kc);
      EXPECT_EQ(np, 0.0);
      EXPECT_DOUBLE_EQ(pr, fr * nr);
      EXPECT_DOUBLE_EQ(pp, fp * nr);
    }
  }
}

TEST(circular_modes, order_zero_has_no_angular_factor_and_signs_follow_the_table) {
  std::vector<amo_entry> md = modes(true, 5);
  ASSERT_EQ(md[4].i1, 0);
  EXPECT_DOUBLE_EQ(catec(0.8, 0.3, 0, md[4].kc, 1), catec(0.8, 2.9, 0, md[4].kc, 1));
  // TE axial function is -J0 at the centre, TM +J0.
  EXPECT_DOUBLE_EQ(catec(0.0, 0.0, 0, md[4].kc, 1), -1.0);
  EXPECT_DOUBLE_EQ(catmc(0.0, 0.0, 0, 2.0, 1), 1.0);
  // cos variant (negative order) and sin variant (positive order).
  double kc = md[0].kc, r = 0.6;
  EXPECT_NEAR(catmc(r, 0.0, 2, kc, 1), 0.0, 1e-16);
  EXPECT_NEAR(catmc(r, pi / 4, -2, kc, 1), 0.0, 1e-16);
  EXPECT_NEAR(catmc(r, 0.0, -2, kc, 1), std::cyl_bessel_j(2.0, kc * r), 1e-14);
}
