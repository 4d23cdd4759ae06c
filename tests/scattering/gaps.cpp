// The two-port of each Floquet mode through the layers between two screens:
// a gap of air alone takes exactly the Y2 and Y3 of the Floquet set, layered
// gaps agree with the product of the layers' chain matrices, a layer cut in
// two is the same layer, thick gaps neither overflow nor lose their
// admittance, and near a resonance of the gap the bounded form is the same
// two-port.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/floquet.hpp"
#include "scattering/stack.hpp"

using cplx = std::complex<double>;

namespace {

// Two screens with the given layers between them, a 10 x 9 mm cell skewed
// at 75 degrees, oblique incidence; the Floquet set and its gap lines at
// f (GHz).
void gap_point(const std::vector<stack_item>& gap, double f_ghz, double fflo_ghz = 150) {
  fss_set_capacities();
  fss_stack.n = 0;
  fss_stack.item[++fss_stack.n] = {stack_kind_screen, 1e-3, 1, 0, 0};
  for (const stack_item& l : gap) fss_stack.item[++fss_stack.n] = l;
  fss_stack.item[++fss_stack.n] = {stack_kind_screen, 1e-3, 1, 0, 0};
  double spacing = 0;
  for (const stack_item& l : gap) spacing += l.d;
  fss_thickness = {1e-3, spacing, 1e-3};
  fss_cell_dim = {10e-3, 9e-3, std::sqrt(90e-6), 1 / std::sqrt(90e-6)};
  fss_lattice_angle.alpha = 75 * dpi(0) / 180;
  fss_kmax.flo = dpi(1) * fflo_ghz * 1e9 / dcspeed();
  const double k0 = dpi(1) * f_ghz * 1e9 / dcspeed(), th = 0.35, ph = 0.6;
  fss_em_var = {f_ghz * 1e9, dcspeed() / (f_ghz * 1e9), k0, 120 * dpi(0)};
  fss_inc_angle = {th, ph, k0 * std::sin(th) * std::cos(ph), k0 * std::sin(th) * std::sin(ph)};
  genmodes_flo();
}

stack_item layer(double d_mm, double eps, double tand) {
  return {stack_kind_layer, d_mm * 1e-3, eps, tand, 0};
}

// Chain matrix [[A, B], [C, D]] of the layers for Floquet mode q, from face
// a to face b.
struct chain { cplx a, b, c, d; };
chain chain_of(const std::vector<stack_item>& gap, int q) {
  chain m{1, 0, 0, 1};
  const double k0 = fss_em_var.k0, kt = fss_modeflo_kappa[q].kt;
  for (const stack_item& l : gap) {
    const cplx g = layer_gamma(k0, kt, l.eps, l.tand);
    const cplx y = layer_admittance(fss_modeflo_index[q].type, g, k0, fss_em_var.eta0, l.eps, l.tand);
    const cplx ch = std::cosh(g * l.d), sh = std::sinh(g * l.d);
    const chain n{ch, sh / y, y * sh, ch};
    m = {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c, m.c * n.b + m.d * n.d};
  }
  return m;
}

double rel(cplx x, cplx y) { return std::abs(x - y) / std::fmax(std::abs(y), 1e-300); }

}  // namespace

TEST(GapLines, AirGapTakesTheY2AndY3OfTheFloquetSet) {
  gap_point({layer(2.5, 1, 0)}, 21);
  ASSERT_EQ(fss_gap.gaps, 1);
  ASSERT_GT(fss_modeflo_index.n, 100);
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const gap_line& g = fss_gap.at(1, q);
    if (g.bounded) continue;
    EXPECT_EQ(g.y11, fss_modeflo_y[q].y2);
    EXPECT_EQ(g.y22, fss_modeflo_y[q].y2);
    EXPECT_EQ(g.y12, fss_modeflo_y[q].y3);
  }
}

// Two layers, one of them lossy: the recursions against the chain matrix
// (y11 = D / B, y22 = A / B, y12 = 1 / B), for every Floquet mode,
// propagating and evanescent, TE and TM.
TEST(GapLines, LayeredGapAgainstTheChainMatrix) {
  const std::vector<stack_item> gap = {layer(1.5, 2.2, 0.01), layer(0.7, 1, 0), layer(0.4, 4, 0)};
  gap_point(gap, 20);
  double worst = 0;
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const chain m = chain_of(gap, q);
    const gap_line& g = fss_gap.at(1, q);
    worst = std::fmax(worst, rel(g.y11, m.d / m.b));
    worst = std::fmax(worst, rel(g.y22, m.a / m.b));
    worst = std::fmax(worst, rel(g.y12, 1.0 / m.b));
    if (g.bounded) {
      EXPECT_LT(rel(g.z, m.b / m.d), 1e-10);
      EXPECT_LT(rel(g.r, 1.0 / m.d), 1e-10);
      EXPECT_LT(rel(g.yo, m.c / m.d), 1e-10);
    }
  }
  EXPECT_LT(worst, 1e-10);
  // A layer cut in two is the same layer.
  gap_point({layer(2, 2.5, 0.02)}, 20);
  std::vector<gap_line> whole(fss_gap.v.begin() + 1, fss_gap.v.end());
  gap_point({layer(0.8, 2.5, 0.02), layer(1.2, 2.5, 0.02)}, 20);
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const gap_line &a = whole[q - 1], &b = fss_gap.at(1, q);
    EXPECT_LT(rel(b.y11, a.y11), 1e-11);
    EXPECT_LT(rel(b.y22, a.y22), 1e-11);
    EXPECT_LT(rel(b.y12, a.y12), 1e-11);
  }
}

// A gap of a metre: the evanescent modes couple nothing across it, nothing
// overflows, and each face sees the mode's own admittance.
TEST(GapLines, ThickGapNeitherOverflowsNorLosesTheFaceAdmittance) {
  gap_point({layer(600, 1, 0), layer(400, 3, 0.001)}, 20);
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const gap_line& g = fss_gap.at(1, q);
    for (cplx v : {g.y11, g.y22, g.y12}) EXPECT_TRUE(std::isfinite(std::abs(v))) << q;
    if (std::real(fss_gamma(fss_em_var.k0, fss_modeflo_kappa[q].kt)) > 500) {
      EXPECT_LT(std::abs(g.y12), 1e-100 * std::abs(g.y11));
      EXPECT_LT(rel(g.y11, fss_modeflo_y[q].y1), 1e-12);
    }
  }
}

// Where the gap is a whole number of half waves deep for the specular
// waves (k0 l cos theta = 5 pi) their admittances have a pole: they take
// the bounded form, z = tanh(gamma l) / Y1 (near 0), r = 1 / cosh(gamma l)
// (near -1), yo = Y1 tanh(gamma l); away from it they do not.
TEST(GapLines, BoundedFormNearAResonanceOfTheGap) {
  const double f = 15, theta = 0.35;
  const double k0 = dpi(1) * f * 1e9 / dcspeed();
  const double l = 5 * dpi(0) / (k0 * std::cos(theta));
  gap_point({layer(l * 1e3, 1, 0)}, f);
  int specular = 0;
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const gap_line& g = fss_gap.at(1, q);
    if (fss_modeflo_index[q].m != 0 || fss_modeflo_index[q].n != 0) continue;
    ++specular;
    ASSERT_EQ(g.bounded, 1);
    const cplx y1 = fss_modeflo_y[q].y1, gl = fss_gamma(k0, fss_modeflo_kappa[q].kt) * l;
    EXPECT_LT(std::abs(g.z * y1), 1e-12);
    EXPECT_LT(std::abs(g.r + 1.0), 1e-12);
    EXPECT_LT(rel(g.yo, y1 * std::tanh(gl)), 1e-6);
    EXPECT_LT(std::abs(g.yo / y1), 1e-12);
  }
  EXPECT_EQ(specular, 2);
  // The same gap as two layers of air: the recursions give the same
  // bounded two-port.
  std::vector<gap_line> one(fss_gap.v.begin() + 1, fss_gap.v.end());
  gap_point({layer(l * 1e3 * 0.4, 1, 0), layer(l * 1e3 * 0.6, 1, 0)}, f);
  int bounded = 0;
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const gap_line &a = one[q - 1], &b = fss_gap.at(1, q);
    ASSERT_EQ(a.bounded, b.bounded) << q;
    if (!b.bounded) continue;
    ++bounded;
    const cplx y1 = fss_modeflo_y[q].y1;
    EXPECT_LT(std::abs((b.z - a.z) * y1), 1e-12);
    EXPECT_LT(std::abs(b.r - a.r), 1e-12);
    EXPECT_LT(std::abs((b.yo - a.yo) / y1), 1e-12);
  }
  EXPECT_GE(bounded, 2);
  gap_point({layer(l * 1e3 * 1.25, 1, 0)}, f);
  for (int q = 1; q <= fss_modeflo_index.n; ++q)
    if (fss_modeflo_index[q].m == 0 && fss_modeflo_index[q].n == 0) {
      EXPECT_EQ(fss_gap.at(1, q).bounded, 0);
    }
}
