// The mode-matching system: energy balance, symmetry, physical trends and
// the capacity and failure paths of assembly and solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "scattering/classes.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

extern "C" void zgetrf_(const int* m, const int* n, cplx* a, const int* lda, int* ipiv, int* info);
extern "C" void zgesv_(const int* n, const int* nrhs, cplx* a, const int* lda, int* ipiv, cplx* b,
                       const int* ldb, int* info);
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Runs one sweep point of a rectangular hole and returns its coefficients.
fss_coefficients_rec solve_point(const rect_aperture& ap, double t_mm, double f_ghz,
                                 double theta, double phi, double a_mm = 10,
                                 double b_mm = 10) {
  const std::string f = std::to_string(f_ghz);
  scratch_dir::write_file(
      "pt.fss", structure_text(a_mm, b_mm, t_mm, ap.w * 1e3, ap.h * 1e3,
                               std::to_string(theta) + " " + std::to_string(phi),
                               f + " " + f + " 1", 90, 200));
  CaptureStdout();
  run_chain("pt", ap);
  GetCapturedStdout();
  return fss_coefficients;
}

double power(cplx r, cplx t) { return std::norm(r) + std::norm(t); }

}  // namespace

TEST(System, LosslessScreenConservesEnergy) {
  scratch_dir dir;
  const rect_aperture holes[] = {{0, 0, 6e-3, 6e-3, 12}, {0, 0, 8e-3, 2e-3, 12},
                                 {0.5e-3, 1e-3, 5e-3, 7e-3, 12}};
  for (const rect_aperture& ap : holes)
    for (double f : {9.0, 14.5, 18.5}) {
      // Normal incidence and two oblique planes of incidence below the first
      // grating lobe: only the specular order carries power away.
      for (auto [theta, phi] : {std::pair{0.0, 0.0}, {30.0, 0.0}, {25.0, 90.0}}) {
        fss_coefficients_rec c = solve_point(ap, 0.5, f, theta, phi);
        EXPECT_NEAR(power(c.r11, c.t11a), 1.0, 1e-6) << f << " GHz, theta " << theta << " phi " << phi;
        EXPECT_NEAR(power(c.r22, c.t22a), 1.0, 1e-6) << f << " GHz, theta " << theta << " phi " << phi;
        EXPECT_GT(std::abs(c.t11a) + std::abs(c.t22a), 1e-4);  // something passes
      }
    }
}

TEST(System, SquareHoleTreatsBothPolarisationsAlikeAtNormalIncidence) {
  scratch_dir dir;
  for (double f : {12.0, 22.0, 27.0}) {
    fss_coefficients_rec c = solve_point({0, 0, 6e-3, 6e-3, 12}, 0.5, f, 0, 0);
    EXPECT_NEAR(std::abs(c.r11 - c.r22), 0, 1e-9);
    EXPECT_NEAR(std::abs(c.t11a - c.t22a), 0, 1e-9);
  }
}

TEST(System, TransmissionBelowCutoffFallsAsTheScreenThickens) {
  scratch_dir dir;
  // A 6 mm hole has its first cutoff at 25 GHz: at 12 GHz the field decays
  // through the hole, the more so the longer the hole.
  double last = 1;
  for (double t : {0.1, 0.5, 1.0, 2.0, 4.0}) {
    fss_coefficients_rec c = solve_point({0, 0, 6e-3, 6e-3, 12}, t, 12, 0, 0);
    EXPECT_LT(std::abs(c.t22a), last) << "thickness " << t;
    last = std::abs(c.t22a);
  }
  // The TE10 decay constant sets the slope for thick screens.
  fss_coefficients_rec c3 = solve_point({0, 0, 6e-3, 6e-3, 12}, 3, 12, 0, 0);
  fss_coefficients_rec c4 = solve_point({0, 0, 6e-3, 6e-3, 12}, 4, 12, 0, 0);
  const double k0 = 2 * M_PI * 12e9 / 2.998e8, kc = M_PI / 6e-3;
  const double alpha = std::sqrt(kc * kc - k0 * k0);
  EXPECT_NEAR(std::log(std::abs(c3.t22a) / std::abs(c4.t22a)), alpha * 1e-3, 0.01 * alpha * 1e-3);
}

TEST(System, SlotAlongXPassesTheWaveWhoseElectricFieldLiesAlongY) {
  scratch_dir dir;
  // The "x" columns belong to the TEM-x wave (E along y): it excites the
  // TE10 mode of the slot and passes fully near its resonance.
  fss_coefficients_rec c = solve_point({0, 0, 8e-3, 2e-3, 20}, 0.5, 18.5, 0, 0);
  EXPECT_GT(20 * std::log10(std::abs(c.t22a)), -0.1);
  EXPECT_LT(20 * std::log10(std::abs(c.t11a)), -30);
}

namespace {

// A small synthetic system: nw modes, two TEM Floquet waves.
void synthetic(int nw) {
  fss_set_capacities();
  fss_em_var = {10e9, 0.03, 2 * M_PI / 0.03, 120 * M_PI};
  fss_modewg_index.n = nw;
  fss_screen.nwg1 = nw;
  fss_modeflo_index.n = 2;
  fss_modeflo_y[1].y1 = fss_modeflo_y[2].y1 = 1 / (120 * M_PI);
  fss_inc_mode = {-1, -1, 1, 2};
  for (int j = 1; j <= nw; ++j) {
    fss_modewg_y[j] = {cplx(0, -0.01 * j), cplx(0.002, -0.02 * j), cplx(0.001, 0.003 * j)};
    fss_integrals[j] = cplx(0.1 * j, 0.05);
    fss_integrals[nw + j] = cplx(-0.03, 0.2 / j);
  }
}

}  // namespace

TEST(System, FacesDecoupleWithoutCouplingThroughTheScreen) {
  synthetic(5);
  for (int j = 1; j <= 5; ++j) fss_modewg_y[j].y3 = 0;
  calc_mata();
  calc_vettb();
  solve_prob();
  for (int col = 0; col < 2; ++col)
    for (int j = 1; j <= 5; ++j) {
      EXPECT_NE(fss_vettb[col * 10 + j], cplx(0));
      EXPECT_EQ(fss_vettb[col * 10 + 5 + j], cplx(0));
    }
}

TEST(System, SolutionSatisfiesTheAssembledEquations) {
  synthetic(7);
  calc_mata();
  const int n = 14;
  std::vector<cplx> a(fss_mata.data1(), fss_mata.data1() + n * n);
  // The matrix is [[Yc + S, -Ys], [-Ys, Yc + S]] with S Hermitian-built.
  EXPECT_EQ(a[0 * n + 7], -fss_modewg_y[1].y3);
  EXPECT_EQ(a[7 * n + 0], -fss_modewg_y[1].y3);
  EXPECT_EQ(a[1 * n + 0], a[(7 + 1) * n + 7]);
  calc_vettb();
  std::vector<cplx> b(fss_vettb.data1(), fss_vettb.data1() + 2 * n);
  for (int j = 1; j <= 7; ++j) {
    EXPECT_EQ(b[j - 1], 2 / fss_em_var.eta0 * fss_integrals[j]);
    EXPECT_EQ(b[n + j - 1], 2 / fss_em_var.eta0 * fss_integrals[7 + j]);
    EXPECT_EQ(b[7 + j - 1], cplx(0));
  }
  solve_prob();
  for (int col = 0; col < 2; ++col)
    for (int r = 0; r < n; ++r) {
      cplx s = 0;
      for (int c = 0; c < n; ++c) s += a[c * n + r] * fss_vettb[col * n + c + 1];
      EXPECT_NEAR(std::abs(s - b[col * n + r]), 0, 1e-13);
    }
}

TEST(System, CapacitiesHoldTheLargestCatalogueExactly) {
  const int m = max_wg_modes;
  synthetic(m);
  calc_mata();
  calc_vettb();
  solve_prob();
  EXPECT_EQ(fss_mata.n, 2 * m);
  EXPECT_EQ(fss_vettb.n, 4 * m);
  EXPECT_EQ(fss_vett_i.n, 4 * m);
  fss_modewg_index.n = m + 1;
  EXPECT_FATAL(calc_mata(), "Subroutine calc_matA fatal error message:\n Too many waveguide modes");
  EXPECT_FATAL(calc_vettb(), "Subroutine calc_vettB fatal error message:\n Vector B underdimensioned");
  fss_vettb.n = 4 * (m + 1);
  EXPECT_FATAL(solve_prob(), "Subroutine solve_prob fatal error message:\n vector I underdimensioned");
}

TEST(System, FailuresOfTheSolution) {
  synthetic(3);
  fss_inc_mode = {-1, -1, -1, -1};
  EXPECT_FATAL(calc_vettb(), "Subroutine calc_vettB fatal error message:\n No valid incident mode found");
  // No admittance anywhere: an exactly singular matrix.
  fss_modeflo_index.n = 0;
  for (int j = 1; j <= 3; ++j) fss_modewg_y[j] = {};
  fss_inc_mode = {-1, -1, 1, 2};
  calc_mata();
  calc_vettb();
  EXPECT_FATAL(solve_prob(), "Subroutine solve_prob fatal error message:\n Error in solving problem");
  // the same split into classes (each unknown its own, none coupled)
  class_split_modes = 1;
  calc_mata();
  calc_vettb();
  EXPECT_FATAL(solve_prob(), "Subroutine solve_prob fatal error message:\n Error in solving problem");
  class_split_modes = max_wg_modes + 1;
}

// The mirror symmetries of hole and lattice leave classes of modes that no
// Floquet mode couples: four at normal incidence (the parities in x and y;
// a hole off the cell's centre too, the lattice being invariant under the
// shift), two in a plane of incidence along an axis, one in any other.
// Solved class by class (whole, and as mirror halves) the coefficients are
// those of the whole system to 1e-12, and so is the solution for the waves
// from the far side (from the factors left: in a screen the far face's
// waves reach the classes the near face's did).
TEST(System, UncoupledClassesGiveTheWholeSystemsSolution) {
  scratch_dir dir;
  const rect_aperture holes[] = {{0, 0, 6e-3, 6e-3, 12}, {0.5e-3, 1e-3, 5e-3, 7e-3, 12}};
  struct incidence {
    double theta, phi;
    int classes;
  };
  for (const rect_aperture& ap : holes)
    for (const incidence& in : {incidence{0, 0, 4}, {30, 0, 2}, {25, 90, 2}, {20, 35, 1}})
      for (int halves : {1 << 30, 1}) {
        mirror_halves_order = halves;
        // The last point's solution for the waves from the far side too,
        // from the factors left.
        auto far_side = [] {
          solve_far_side();
          return std::vector<cplx>(fss_vettb_far.data1(), fss_vettb_far.data1() + fss_vettb_far.n);
        };
        class_split_modes = 1 << 30;
        const fss_coefficients_rec whole = solve_point(ap, 0.5, 17.5, in.theta, in.phi);
        const std::vector<cplx> whole_far = far_side();
        class_split_modes = 1;
        const fss_coefficients_rec split = solve_point(ap, 0.5, 17.5, in.theta, in.phi);
        EXPECT_EQ(system_class_count(), in.classes) << in.theta << " " << in.phi << " " << halves;
        const std::vector<cplx> split_far = far_side();
        const cplx w[] = {whole.r11, whole.r22, whole.t11a, whole.t22a},
                   s[] = {split.r11, split.r22, split.t11a, split.t22a};
        for (int k = 0; k < 4; ++k) {
          EXPECT_GT(std::abs(w[k]), 0.01);
          EXPECT_LT(std::abs(w[k] - s[k]), 1e-12) << k << " " << in.theta << " " << in.phi;
        }
        EXPECT_EQ(whole_far.size(), split_far.size());
        double size = 0, gap = 0;
        for (std::size_t k = 0; k < std::min(whole_far.size(), split_far.size()); ++k) {
          size = std::max(size, std::abs(whole_far[k]));
          gap = std::max(gap, std::abs(whole_far[k] - split_far[k]));
        }
        EXPECT_GT(size, 0);
        EXPECT_LT(gap, 1e-12 * size) << in.theta << " " << in.phi << " " << halves;
      }
  mirror_halves_order = max_wg_modes + 1;
  class_split_modes = max_wg_modes + 1;
}

TEST(System, ScreenWithoutModesReflectsTotally) {
  synthetic(0);
  calc_mata();
  calc_vettb();
  solve_prob();  // the empty system is solved, not refused
  calc_coefficients();
  EXPECT_EQ(fss_coefficients.r11, cplx(-1));
  EXPECT_EQ(fss_coefficients.r22, cplx(-1));
  EXPECT_EQ(fss_coefficients.t11a, cplx(0));
  EXPECT_EQ(fss_coefficients.t22a, cplx(0));
}

TEST(System, GrazingFloquetModeGivesTheLimitingRow) {
  // In a 10 mm square lattice the first grating orders graze the screen at
  // f = c / a = 29.98 GHz exactly.  The row there must be the limit of the
  // rows just below it (a square-root branch point in frequency).
  scratch_dir dir;
  const rect_aperture hole{0, 0, 6e-3, 6e-3, 12};
  const double f0 = 29.98;
  fss_coefficients_rec at = solve_point(hole, 0.5, f0, 0, 0);
  int grazing = 0;
  for (int k = 1; k <= fss_modeflo_index.n; ++k)
    if (fss_modeflo_kappa[k].kt == fss_em_var.k0) ++grazing;
  ASSERT_EQ(grazing, 8);  // (+-1, 0) and (0, +-1), TM and TE, exactly at grazing
  for (cplx v : {at.r11, at.r22, at.t11a, at.t22a})
    EXPECT_TRUE(std::isfinite(v.real()) && std::isfinite(v.imag()));
  fss_coefficients_rec below = solve_point(hole, 0.5, f0 * (1 - 1e-12), 0, 0);
  EXPECT_NEAR(std::abs(at.t22a - below.t22a), 0, 1e-4);
  EXPECT_NEAR(std::abs(at.r22 - below.r22), 0, 1e-4);
  EXPECT_NEAR(std::abs(at.t11a - below.t11a), 0, 1e-4);
}

// The corner (F^-1)[hi, hi] of a block of several screens' elimination,
// from its LU factors, against the inverse from a dense solve: with the lo
// rows' diagonal weak, so that the pivots bring hi rows above the lo ones
// (the substitution then starts above lo), and with a dominant diagonal
// (no exchange: it starts at lo); block 0 (no lo rows) too.
TEST(System, CornerOfABlocksInverseFromItsFactors) {
  std::mt19937 rng(7);
  std::normal_distribution<double> g;
  struct shape {
    int lo, hi;
    double lo_diagonal;  // scale of the lo x lo corner
  };
  for (const shape& sh : {shape{25, 15, 1e-3}, {6, 30, 1e-3}, {20, 20, 50}, {0, 24, 1}}) {
    const int m = sh.lo + sh.hi;
    std::vector<cplx> f(static_cast<std::size_t>(m) * m);
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        cplx v(g(rng), g(rng));
        if (i < sh.lo && j < sh.lo) v *= sh.lo_diagonal < 1 ? sh.lo_diagonal : 1;
        if (i == j && sh.lo_diagonal > 1) v += sh.lo_diagonal * m;
        f[i + static_cast<std::size_t>(j) * m] = v;
      }
    // The reference: the whole inverse.
    std::vector<cplx> a = f, inv(static_cast<std::size_t>(m) * m, 0);
    for (int k = 0; k < m; ++k) inv[k + static_cast<std::size_t>(k) * m] = 1;
    std::vector<int> ipiv(m);
    int info = 0;
    zgesv_(&m, &m, a.data(), &m, ipiv.data(), inv.data(), &m, &info);
    ASSERT_EQ(info, 0);
    zgetrf_(&m, &m, f.data(), &m, ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    // Whether a pivot brought an hi row (from 1: above lo) into the lo part.
    bool crossed = false;
    for (int k = 0; k < sh.lo; ++k) crossed = crossed || ipiv[k] > sh.lo;
    EXPECT_EQ(crossed, sh.lo_diagonal < 1 && sh.lo > 0) << sh.lo << " " << sh.hi;
    std::vector<cplx> z(static_cast<std::size_t>(m) * sh.hi, cplx(3, 3));
    inverse_hi_corner(m, sh.lo, sh.hi, f.data(), ipiv.data(), z.data());
    double size = 0, gap = 0;
    for (int j = 0; j < sh.hi; ++j)
      for (int i = 0; i < sh.hi; ++i) {
        const cplx want = inv[(sh.lo + i) + static_cast<std::size_t>(sh.lo + j) * m];
        size = std::max(size, std::abs(want));
        gap = std::max(gap, std::abs(z[(sh.lo + i) + static_cast<std::size_t>(j) * m] - want));
      }
    EXPECT_GT(size, 0);
    EXPECT_LT(gap, 1e-12 * size) << sh.lo << " " << sh.hi;
  }
}
