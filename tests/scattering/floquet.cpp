// Floquet modes of the periodic cell and the admittances of the modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include <complex>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/floquet.hpp"
#include "scattering/mode_limits.hpp"
#include "support/fatal.hpp"

using cplx = std::complex<double>;

namespace {

void cell(double a_mm, double b_mm, double skew_deg, double fflo_ghz) {
  fss_set_capacities();
  fss_cell_dim = {a_mm * 1e-3, b_mm * 1e-3, std::sqrt(a_mm * b_mm) * 1e-3, 0};
  fss_cell_dim.inv_sqrt_ab = 1 / fss_cell_dim.sqrt_ab;
  fss_lattice_angle.alpha = dpi(0) * skew_deg / 180;
  fss_thickness = {0.5e-3, 0, 0};
  fss_kmax.flo = dpi(1) * fflo_ghz * 1e9 / dcspeed();
}

void point(double f_ghz, double theta_deg, double phi_deg) {
  fss_em_var.f = f_ghz * 1e9;
  fss_em_var.lambda = dcspeed() / fss_em_var.f;
  fss_em_var.k0 = dpi(1) / fss_em_var.lambda;
  fss_em_var.eta0 = 120 * dpi(0);
  const double th = theta_deg * M_PI / 180, ph = phi_deg * M_PI / 180;
  fss_inc_angle = {th, ph, fss_em_var.k0 * std::sin(th) * std::cos(ph),
                   fss_em_var.k0 * std::sin(th) * std::sin(ph)};
}

}  // namespace

TEST(FloquetSet, SquareCellAtNormalIncidence) {
  cell(10, 10, 90, 30);
  point(10, 0, 0);
  EXPECT_NEAR(fss_kmax.flo, 628.74, 0.005);
  genmodes_flo();
  ASSERT_EQ(fss_modeflo_index.n, 10);
  const int expect[10][3] = {{-1, 0, 1}, {-1, 0, 2}, {0, -1, 1}, {0, -1, 2}, {0, 0, 3},
                             {0, 0, 4},  {0, 1, 1},  {0, 1, 2},  {1, 0, 1},  {1, 0, 2}};
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(fss_modeflo_index[k].m, expect[k - 1][0]);
    EXPECT_EQ(fss_modeflo_index[k].n, expect[k - 1][1]);
    EXPECT_EQ(fss_modeflo_index[k].type, expect[k - 1][2]);
    EXPECT_EQ(fss_modeflo_index[k].zero, 0);
  }
  EXPECT_NEAR(fss_modeflo_kappa[1].kt, 628.32, 0.005);
  EXPECT_EQ(fss_inc_mode.indextemx, 5);
  EXPECT_EQ(fss_inc_mode.indextemy, 6);
  EXPECT_EQ(fss_inc_mode.indextm, -1);
  EXPECT_EQ(fss_inc_mode.indexte, -1);
  EXPECT_EQ(fss_modeflo_y[5].y1, cplx(1 / fss_em_var.eta0));
  EXPECT_EQ(fss_modeflo_y.n, 10);
  EXPECT_EQ(fss_modeflo_kappa.n, 10);
  cell(10, 10, 90, 29.9);
  genmodes_flo();
  ASSERT_EQ(fss_modeflo_index.n, 2);
  EXPECT_EQ(fss_modeflo_index[1].type, flo_temx);
  EXPECT_EQ(fss_modeflo_index[2].type, flo_temy);
}

TEST(FloquetSet, ObliqueIncidenceExcitesTheTmTePair) {
  cell(10, 12, 90, 80);
  point(12, 30, 40);
  genmodes_flo();
  EXPECT_EQ(fss_inc_mode.indextemx, -1);
  EXPECT_EQ(fss_inc_mode.indextemy, -1);
  const int tm = fss_inc_mode.indextm, te = fss_inc_mode.indexte;
  ASSERT_GT(tm, 0);
  EXPECT_EQ(te, tm + 1);
  EXPECT_EQ(fss_modeflo_index[tm].m, 0);
  EXPECT_EQ(fss_modeflo_index[tm].n, 0);
  EXPECT_EQ(fss_modeflo_index[tm].type, flo_tm);
  EXPECT_EQ(fss_modeflo_index[te].type, flo_te);
  EXPECT_DOUBLE_EQ(fss_modeflo_kappa[tm].kx, fss_inc_angle.kx0);
  EXPECT_DOUBLE_EQ(fss_modeflo_kappa[tm].kt, fss_em_var.k0 * std::sin(fss_inc_angle.theta));
}

TEST(FloquetSet, WavevectorsAreThoseOfTheSkewedLattice) {
  // Each harmonic must carry the incident phase shift plus a multiple of
  // 2 pi along both lattice vectors a1 = (a, 0), a2 = (b cot alpha, b).
  for (double skew : {90.0, 60.0, 120.0, 45.0}) {
    cell(9, 11, skew, 120);
    point(14, 25, 70);
    genmodes_flo();
    const double a = 9e-3, b = 11e-3, al = skew * M_PI / 180;
    const double a2x = b * std::cos(al) / std::sin(al), a2y = b;
    ASSERT_GT(fss_modeflo_index.n, 10);
    for (int k = 1; k <= fss_modeflo_index.n; ++k) {
      const flo_kappa q = fss_modeflo_kappa[k];
      const flo_index id = fss_modeflo_index[k];
      EXPECT_NEAR(q.kx * a - fss_inc_angle.kx0 * a, 2 * M_PI * id.m, 1e-9);
      const double ph2 = (q.kx - fss_inc_angle.kx0) * a2x + (q.ky - fss_inc_angle.ky0) * a2y;
      EXPECT_NEAR(ph2, 2 * M_PI * id.n, 1e-9);
      EXPECT_LE(q.kt, fss_kmax.flo);
      EXPECT_DOUBLE_EQ(q.kt, std::hypot(q.kx, q.ky));
      // Pairs: TM then TE of the same harmonic.
      if (k % 2 == 0) {
        EXPECT_EQ(fss_modeflo_index[k - 1].m, id.m);
        EXPECT_EQ(fss_modeflo_index[k - 1].n, id.n);
      }
    }
  }
}

// A 30 mm cell under a 300 GHz limit: far more harmonics than the table
// holds, in a square and in a skewed lattice.  The message says how many the
// limit asks for at the sweep point, how many the table holds and the limit
// below which the set fits there: the least limit at which it does not,
// found here by trying every limit where the set can grow.
TEST(FloquetSet, TooManyModesSaysTheCountAndTheLimitThatFits) {
  for (double skew : {90.0, 60.0}) {
    SCOPED_TRACE(skew);
    cell(30, 26, skew, 300);
    point(10, 20, 30);
    // Harmonics kx = kx0 + 2 pi m / a, ky = ky0 + 2 pi n / b - 2 pi m / (a tan alpha)
    // kept at the limit k: in the window |m| <= a k / (2 pi), |n| <= b k / (2 pi),
    // kt <= k (which in a skewed lattice leaves out some harmonics of the disc).
    const double ga = 2 * M_PI / 0.030, gb = 2 * M_PI / 0.026, skew_shift = ga / std::tan(skew * M_PI / 180);
    auto kt_of = [&](int m, int n) {
      return std::hypot(fss_inc_angle.kx0 + m * ga, fss_inc_angle.ky0 + n * gb - m * skew_shift);
    };
    auto kept = [&](double k) {
      const int mmax = static_cast<int>(k / ga), nmax = static_cast<int>(k / gb);
      int count = 0;
      for (int m = -mmax; m <= mmax; ++m)
        for (int n = -nmax; n <= nmax; ++n) count += kt_of(m, n) <= k;
      return count;
    };
    const int asked = kept(fss_kmax.flo);
    ASSERT_GT(2 * asked, max_flo_modes);
    // The set grows where a harmonic enters the disc or the window widens.
    std::vector<double> steps;
    for (int m = -60; m <= 60; ++m)
      for (int n = -60; n <= 60; ++n) steps.push_back(kt_of(m, n));
    for (int j = 1; j < 60; ++j) steps.insert(steps.end(), {j * ga, j * gb});
    std::sort(steps.begin(), steps.end());
    double first_out = 0;
    for (double k : steps)
      if (kept(k) > max_flo_modes / 2) {
        first_out = k;
        break;
      }
    const double fits = std::floor(first_out * dcspeed() / (2 * M_PI) / 1e9 * 10) / 10;
    char words[300];
    std::snprintf(words, sizeof words,
                  "Subroutine genmodes_flo fatal error message:\n Too many Floquet modes: the limit of "
                  "block 8 (300 GHz) asks for %d Floquet modes at 10 GHz, theta 20 deg, phi 30 deg, and "
                  "the program holds %d; a block 8 limit below %g GHz fits there\n",
                  2 * asked, max_flo_modes, fits);
    EXPECT_FATAL(genmodes_flo(), words);
    fss_kmax.flo = dpi(1) * fits * 1e9 / dcspeed();
    genmodes_flo();
    EXPECT_LE(fss_modeflo_index.n, max_flo_modes);
    fss_kmax.flo = first_out * (1 + 1e-12);
    EXPECT_FATAL(genmodes_flo(), "Too many Floquet modes");
  }
}

// A table grown beyond a plain run's holds every harmonic with kt <= kmax
// (the whole disc), in the order of the plain table (m, then n, ascending),
// and floquet_mode_count says as many; a plain table the rectangle of
// indices cut to the disc.  On a triangular lattice (b = a sin 60 deg, in
// full precision) at oblique incidence in the plane phi = 0 the disc holds
// the image of each harmonic under y -> -y, the rectangle not; at normal
// incidence on a square lattice both tables are the same.
TEST(FloquetSet, GrownTablesHoldTheWholeDisc) {
  struct lattice_case {
    double a, b, skew, theta, phi;
    bool same;  // the rectangle holds the whole disc
  };
  const double tri_b = 10 * std::sin(M_PI / 3);
  for (const lattice_case& c : {lattice_case{10, tri_b, 60, 30, 0, false}, {10, tri_b, 60, 0, 0, false},
                                {10, 10, 90, 30, 20, false}, {10, 10, 90, 0, 0, true}}) {
    SCOPED_TRACE(std::to_string(c.skew) + " " + std::to_string(c.theta) + " " + std::to_string(c.phi));
    cell(c.a, c.b, c.skew, 627);  // 20.9 harmonics of 1 / a: at oblique incidence m = -21 is in the disc
    point(34, c.theta, c.phi);
    const double ga = 2 * M_PI / (c.a * 1e-3), gb = 2 * M_PI / (c.b * 1e-3),
                 shift = ga / std::tan(c.skew * M_PI / 180);
    auto kt_of = [&](int m, int n) {
      return std::hypot(fss_inc_angle.kx0 + m * ga, fss_inc_angle.ky0 + n * gb - m * shift);
    };
    // Every harmonic of the disc, by brute force over a box that holds it.
    std::vector<std::pair<int, int>> disc, rect;
    const int mmax = static_cast<int>(fss_kmax.flo / ga), nmax = static_cast<int>(fss_kmax.flo / gb);
    for (int m = -3 * mmax; m <= 3 * mmax; ++m)
      for (int n = -3 * nmax; n <= 3 * nmax; ++n)
        if (kt_of(m, n) <= fss_kmax.flo * (1 - 1e-12)) {
          disc.push_back({m, n});
          if (std::abs(m) <= mmax && std::abs(n) <= nmax) rect.push_back({m, n});
        }
    auto harmonics = [] {
      std::vector<std::pair<int, int>> h;
      for (int k = 1; k <= fss_modeflo_index.n; k += 2) h.push_back({fss_modeflo_index[k].m, fss_modeflo_index[k].n});
      return h;
    };
    genmodes_flo();  // a plain run's table
    EXPECT_FALSE(floquet_whole_disc());
    const std::vector<std::pair<int, int>> plain = harmonics();
    EXPECT_EQ(plain, rect);
    EXPECT_EQ(floquet_mode_count(fss_kmax.flo), fss_modeflo_index.n);
    fss_size_capacities(max_wg_modes, 2 * max_flo_modes, max_points);
    genmodes_flo();
    EXPECT_TRUE(floquet_whole_disc());
    const std::vector<std::pair<int, int>> grown = harmonics();
    EXPECT_EQ(grown, disc);
    EXPECT_EQ(floquet_mode_count(fss_kmax.flo), fss_modeflo_index.n);
    EXPECT_EQ(grown == plain, c.same);
    if (c.phi != 0 || c.skew != 60) continue;
    // y -> -y maps harmonic (m, n) to (m, m - n) on this lattice.
    auto images_held = [](const std::vector<std::pair<int, int>>& h) {
      for (const auto& [m, n] : h)
        if (std::find(h.begin(), h.end(), std::make_pair(m, m - n)) == h.end()) return false;
      return true;
    };
    EXPECT_TRUE(images_held(grown));
    EXPECT_FALSE(images_held(plain));
  }
}

TEST(Admittances, FloquetWaveAdmittances) {
  // TM waves: Y = omega eps / kz; TE waves: Y = kz / (omega mu).  Propagating
  // waves carry power (real, positive Y); evanescent TM waves store electric
  // energy (positive imaginary Y), evanescent TE waves magnetic energy.
  cell(10, 10, 90, 120);
  point(20, 30, 20);
  genmodes_flo();
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  int propagating = 0, evanescent = 0;
  for (int k = 1; k <= fss_modeflo_index.n; ++k) {
    const double kt = fss_modeflo_kappa[k].kt;
    const cplx y = fss_modeflo_y[k].y1;
    if (kt < k0) {
      const double kz = std::sqrt(k0 * k0 - kt * kt);
      const double expect = fss_modeflo_index[k].type == flo_tm ? k0 / (eta0 * kz) : kz / (eta0 * k0);
      EXPECT_NEAR(y.real(), expect, 1e-12 * expect);
      EXPECT_EQ(y.imag(), 0.0);
      ++propagating;
    } else {
      const double alpha = std::sqrt(kt * kt - k0 * k0);
      EXPECT_EQ(y.real(), 0.0);
      if (fss_modeflo_index[k].type == flo_tm)
        EXPECT_NEAR(y.imag(), k0 / (eta0 * alpha), 1e-12 * k0 / (eta0 * alpha));
      else
        EXPECT_NEAR(y.imag(), -alpha / (eta0 * k0), 1e-12 * alpha / (eta0 * k0));
      ++evanescent;
    }
  }
  EXPECT_GE(propagating, 2);
  EXPECT_GT(evanescent, 20);
}

TEST(Admittances, ApertureModeAdmittancesThroughTheScreen) {
  fss_set_capacities();
  fss_em_var.k0 = 400;
  fss_em_var.eta0 = 120 * dpi(0);
  fss_thickness = {1e-3, 0, 0};
  fss_modewg_index.n = 4;
  const int kind[4] = {wg_te, wg_tm, wg_te, wg_tm};
  const double kc[4] = {250, 300, 700, 900};
  for (int j = 1; j <= 4; ++j) {
    fss_modewg_index[j] = kind[j - 1];
    fss_modewg_kappa[j] = kc[j - 1];
    fss_modewg_sc[j] = 1;
  }
  update_modes_wg();
  const double k0 = 400, eta0 = fss_em_var.eta0, t = 1e-3;
  for (int j = 1; j <= 4; ++j) {
    const double c = kc[j - 1];
    const cplx gamma = c < k0 ? cplx(0, std::sqrt(k0 * k0 - c * c)) : cplx(std::sqrt(c * c - k0 * k0), 0);
    const cplx y = kind[j - 1] == wg_tm ? cplx(0, k0 / eta0) / gamma : gamma / cplx(0, eta0 * k0);
    const admittance a = fss_modewg_y[j];
    EXPECT_NEAR(std::abs(a.y1 - y), 0, 1e-12 * std::abs(y));
    EXPECT_NEAR(std::abs(a.y2 - y * std::cosh(gamma * t) / std::sinh(gamma * t)), 0, 1e-12 * std::abs(a.y2));
    EXPECT_NEAR(std::abs(a.y3 - y / std::sinh(gamma * t)), 0, 1e-12 * std::abs(a.y3));
  }
}

TEST(Admittances, HyperbolicHelpersNeverOverflow) {
  for (cplx z : {cplx(0.3, 0.2), cplx(-0.7, 1.1), cplx(2, -3), cplx(0, 0.5), cplx(-4, 0)}) {
    EXPECT_NEAR(std::abs(ztanh(z) - std::tanh(z)), 0, 1e-14);
    EXPECT_NEAR(std::abs(inv_zsinh(z) - 1.0 / std::sinh(z)), 0, 1e-14);
  }
  // Very thick screens: the evanescent modes are fully decoupled.
  EXPECT_NEAR(std::abs(ztanh(cplx(800, 1)) - 1.0), 0, 1e-15);
  EXPECT_NEAR(std::abs(ztanh(cplx(-800, 1)) + 1.0), 0, 1e-15);
  EXPECT_EQ(std::abs(inv_zsinh(cplx(800, 1))), 0.0);
  EXPECT_EQ(std::abs(inv_zsinh(cplx(-800, 1))), 0.0);
}

TEST(Admittances, ModeAtCutoffStaysFinite) {
  // kt = k0 exactly: a Floquet mode at grazing, a waveguide mode at cutoff.
  const double k0 = 2 * M_PI / 0.01;
  const cplx g = fss_gamma(k0, k0);
  EXPECT_GT(std::abs(g), 0.0);
  EXPECT_LT(std::abs(g), 1e-9 * k0);
  fss_set_capacities();
  fss_em_var.k0 = k0;
  fss_em_var.eta0 = 120 * dpi(0);
  fss_thickness = {0.5e-3, 0, 0.2e-3};
  fss_modewg_index.n = 2;
  fss_modewg_index[1] = wg_tm;
  fss_modewg_index[2] = wg_te;
  fss_modewg_kappa[1] = fss_modewg_kappa[2] = k0;
  fss_modewg_sc[1] = fss_modewg_sc[2] = 1;
  update_modes_wg();
  for (int j = 1; j <= 2; ++j) {
    const admittance y = fss_modewg_y[j];
    for (cplx v : {y.y1, y.y2, y.y3}) EXPECT_TRUE(std::isfinite(v.real()) && std::isfinite(v.imag()));
  }
}

TEST(Admittances, ScreenOfTheModeSelectsTheThickness) {
  fss_set_capacities();
  fss_em_var.k0 = 400;
  fss_em_var.eta0 = 120 * dpi(0);
  fss_thickness = {1e-3, 0, 3e-3};
  fss_modewg_index.n = 3;
  const int sc[3] = {1, 2, 0};
  for (int j = 1; j <= 3; ++j) {
    fss_modewg_index[j] = wg_te;
    fss_modewg_kappa[j] = 700;
    fss_modewg_sc[j] = sc[j - 1];
  }
  update_modes_wg();
  const double g = std::sqrt(700.0 * 700 - 400 * 400);
  const cplx y1 = cplx(g) / cplx(0, 1) / fss_em_var.eta0 / 400.0;
  EXPECT_NEAR(std::abs(fss_modewg_y[1].y2 - y1 / std::tanh(g * 1e-3)), 0, 1e-15);
  EXPECT_NEAR(std::abs(fss_modewg_y[2].y2 - y1 / std::tanh(g * 3e-3)), 0, 1e-15);
  EXPECT_NEAR(std::abs(fss_modewg_y[3].y3 - y1 / std::sinh(g * 3e-3)), 0, 1e-15);
}
