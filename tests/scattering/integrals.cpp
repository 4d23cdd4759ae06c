// Coupling integrals: the contour sums against an independent area
// quadrature of the overlap of each aperture mode with each Floquet wave.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/floquet.hpp"
#include "scattering/integrals.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/results.hpp"
#include "scattering/stack.hpp"
#include "scattering/system.hpp"
#include "run/messages.hpp"
#include "run/progress.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/quadrature.hpp"
#include "support/straightforward_sums.hpp"
#include "support/system_solution.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

// The Hermitian sums over a subset of entries (those that may be nonzero)
// equal the sums over all entries, into the upper triangle alone, for lists
// longer than one block of the products; the lower triangle is not touched.
TEST(HermitianAdd, KeptEntriesEqualTheWholeProducts) {
  const int nw = 37, modes = 4100;
  const std::vector<int> kept = {0, 3, 4, 10, 11, 12, 20, 29, 36};
  std::vector<cplx> rows(static_cast<std::size_t>(nw) * (modes + 1), 0);
  std::vector<int> list;
  for (int m = 1; m <= modes; ++m) {
    list.push_back(m);
    for (int t : kept) rows[static_cast<std::size_t>(m) * nw + t] = cplx(std::sin(0.7 * m + t), std::cos(1.3 * m - 2 * t));
  }
  auto row = [&](int m) { return &rows[static_cast<std::size_t>(m) * nw]; };
  auto w = [](int m) { return 1 + 0.5 * std::sin(0.1 * m); };
  // A Hermitian start (real diagonal) marked off the diagonal.
  const cplx mark(7, -7);
  std::vector<cplx> whole(static_cast<std::size_t>(nw) * nw, mark);
  for (int j = 0; j < nw; ++j) whole[j + static_cast<std::size_t>(j) * nw] = 7;
  std::vector<cplx> part = whole;
  const std::vector<cplx> start = whole;
  hermitian_add(nw, list, row, w, -1, whole.data());
  hermitian_add(nw, list, row, w, -1, part.data(), &kept);
  double size = 0, gap = 0;
  for (int c = 0; c < nw; ++c)
    for (int r = 0; r < nw; ++r) {
      const std::size_t k = r + static_cast<std::size_t>(c) * nw;
      if (r > c) {
        EXPECT_EQ(part[k], mark);
        continue;
      }
      size = std::max(size, std::abs(whole[k] - start[k]));
      gap = std::max(gap, std::abs(part[k] - whole[k]));
    }
  EXPECT_GT(size, 100);
  EXPECT_LT(gap, 1e-12 * size);
}

TEST(Dsinc, SeriesNearZeroAndClosedFormBeyond) {
  EXPECT_EQ(dsinc(0), 1.0);
  EXPECT_EQ(dsinc(0.8), std::sin(0.8) / 0.8);
  const double x = 0.79, x2 = x * x;
  EXPECT_EQ(dsinc(x), 1 - (x2 / 6) * (1 - (x2 / 20) * (1 - x2 / 42)));
  // Even, and within the series' truncation error x^8/9! of sin(x)/x.
  EXPECT_EQ(dsinc(-0.3), dsinc(0.3));
  EXPECT_NEAR(dsinc(0.3), std::sin(0.3) / 0.3, 1.9e-10);
  // The truncated series and sin(x)/x differ by about 4.6e-7 at the switch.
  const double y = std::nextafter(0.8, 0.0), y2 = y * y;
  const double series = 1 - (y2 / 6) * (1 - (y2 / 20) * (1 - y2 / 42));
  EXPECT_NEAR(std::fabs(series - std::sin(0.8) / 0.8), 4.6e-7, 0.1e-7);
  EXPECT_EQ(dsinc(y), series);
}

namespace {

// The overlap of a guide mode with a Floquet wave from its definition:
// an area integral over the aperture (composite 2-D Gauss-Legendre).  The
// waves of normal incidence are those of the plane of incidence phi: E along
// (-sin phi, cos phi) (TEM-x, the TE limit) and along (cos phi, sin phi)
// (TEM-y, the TM limit).
cplx area_sigma(const rect_aperture& ap, const rect_mode& md, int ftype, double kx, double ky) {
  static std::vector<double> gx, gw;
  if (gx.empty()) gauss(16, 1.0, gx, gw);
  const double nc = fss_cell_dim.inv_sqrt_ab;
  const double kt = std::hypot(kx, ky), kc = md.kc;
  const double ux = std::cos(fss_inc_angle.phi), uy = std::sin(fss_inc_angle.phi);
  const int panels = 8;
  const double x0 = ap.x0 - ap.w / 2, y0 = ap.y0 - ap.h / 2;
  const double hx = ap.w / panels, hy = ap.h / panels;
  cplx s = 0;
  for (int px = 0; px < panels; ++px)
    for (int i = 0; i < 16; ++i) {
      const double x = x0 + hx * (px + gx[i]);
      for (int py = 0; py < panels; ++py)
        for (int j = 0; j < 16; ++j) {
          const double y = y0 + hy * (py + gx[j]);
          const double wt = gw[i] * gw[j] * hx * hy;
          double dx, dy;
          const double psi = rect_psi(ap, md, x, y, &dx, &dy);
          const cplx phi = nc * std::exp(cplx(0, -(kx * x + ky * y)));
          cplx v = 0;  // a TM guide mode has no overlap with TE and TEM waves
          if (md.kind == 2) {
            if (ftype == flo_te) v = cplx(0, -kc / kt) * psi * phi;
            if (ftype == flo_tm) v = (ky * dx - kx * dy) * phi / (kc * kt);
            if (ftype == flo_temx) v = -nc * (ux * dx + uy * dy) / kc;
            if (ftype == flo_temy) v = nc * (uy * dx - ux * dy) / kc;
          } else if (ftype == flo_tm) {
            v = cplx(0, kt / kc) * psi * phi;
          }
          s += wt * v;
        }
    }
  return s;
}

class Coupling : public testing::Test {
 protected:
  scratch_dir dir;
  rect_aperture ap{1.3e-3, -0.7e-3, 8e-3, 3e-3, 80};
  std::vector<rect_mode> modes;

  void SetUp() override {
    fss_set_capacities();
    fss_inc_angle = {};
    fss_file.name = "cpl";
    fss_cell_dim = {0.012, 0.010, std::sqrt(1.2e-4), 1 / std::sqrt(1.2e-4)};
    fss_screen = {2, 1, 0, 0};
    fss_ap.n = 1;
    modes = rect_modes(ap, 2500);
    write_mode_files("cpl_tmp", ap, modes);
    readmodes_wg();
    read_coord();
    read_samples();
  }
  // A 0.5 mm screen in a skewed lattice (70 degrees) at f (17 GHz), theta
  // th (0.4), phi 0.2 rad, with its Floquet modes up to flo_hz.
  static void oblique_point(double flo_hz, double f = 17e9, double th = 0.4) {
    fss_lattice_angle.alpha = 70 * M_PI / 180;
    fss_thickness = {0.5e-3, 0, 0};
    fss_kmax.flo = 2 * M_PI * flo_hz / dcspeed();
    fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
    fss_inc_angle = {th, 0.2, fss_em_var.k0 * std::sin(th) * std::cos(0.2),
                     fss_em_var.k0 * std::sin(th) * std::sin(0.2)};
    fss_screen.nwg1 = fss_modewg_index.n;
    update_modes_wg();
    genmodes_flo();
  }
  // The system (after calc_mata) at f and th with Floquet modes to flo_hz,
  // the far share interpolated where the sweep has at least `least`
  // frequencies; `fresh`: the interpolant of an earlier case forgotten.
  static std::vector<cplx> oblique_system(double f, double th, int least, bool fresh = true,
                                          double flo_hz = 780e9) {
    far_interpolation_points = least;
    if (fresh) far_floquet_reset();
    oblique_point(flo_hz, f, th);
    calc_integrals();
    calc_mata();
    far_interpolation_points = 24;
    return {fss_mata.data1(), fss_mata.data1() + fss_mata.n};
  }
  // The Floquet modes at f, theta 0.4, phi 0.2, below the Floquet limit in
  // force (the table's size changes with k0 as harmonics cross it).
  static long long floquet_count_at(double f) {
    const double k = dpi(1) * f / dcspeed();
    fss_inc_angle = {0.4, 0.2, k * std::sin(0.4) * std::cos(0.2), k * std::sin(0.4) * std::sin(0.2)};
    return floquet_mode_count(fss_kmax.flo);
  }
  // One Floquet wave of the given kind and wavevector as mode 1.
  static void floquet(int type, double kx, double ky) {
    fss_modeflo_index.n = fss_modeflo_kappa.n = 1;
    fss_modeflo_index[1] = {0, 0, type, 0};
    fss_modeflo_kappa[1] = {std::hypot(kx, ky), kx, ky};
  }
  void compare(int type, double kx, double ky) {
    floquet(type, kx, ky);
    calc_vettsigma(1);
    for (int j = 1; j <= fss_modewg_index.n; ++j) {
      const cplx ref = area_sigma(ap, modes[j - 1], type, kx, ky);
      const cplx got = fss_vettsigma[j];
      const double scale = std::max(std::abs(ref), 1e-3 * fss_cell_dim.inv_sqrt_ab * 1e-3);
      EXPECT_LT(std::abs(got - ref) / scale, 2e-7)
          << "mode " << j << " kind " << modes[j - 1].kind << " (" << modes[j - 1].m << ","
          << modes[j - 1].n << ") kc " << modes[j - 1].kc << " floquet " << type << " k ("
          << kx << "," << ky << ") got " << got << " ref " << ref;
    }
  }
};

}  // namespace

TEST_F(Coupling, ContourSumsEqualAreaIntegralsFarFromCutoff) {
  ASSERT_GT(fss_modewg_index.n, 12);
  for (int type : {flo_tm, flo_te}) {
    compare(type, 310.0, -170.0);
    compare(type, -900.0, 1400.0);
    compare(type, 0.0, 2200.0);
  }
  compare(flo_temx, 0, 0);
  compare(flo_temy, 0, 0);
}

// At normal incidence the two waves are those of the plane of incidence phi:
// each coupling is the area integral of its field, and the limit of the TE
// and TM couplings as kt -> 0 along (cos phi, sin phi) (at kt = 1e-6 rad/m
// they differ by about kt times the distance from the origin, 1e-9).
TEST_F(Coupling, NormalIncidenceWavesAreTheLimitsInThePlaneOfPhi) {
  for (double phi_deg : {0.0, 30.0, 45.0, 135.0, -60.0}) {
    SCOPED_TRACE(phi_deg);
    fss_inc_angle.phi = phi_deg * M_PI / 180;
    compare(flo_temx, 0, 0);
    compare(flo_temy, 0, 0);
    const double kt = 1e-6, kx = kt * std::cos(fss_inc_angle.phi), ky = kt * std::sin(fss_inc_angle.phi);
    for (auto [oblique, normal] : {std::pair{flo_te, flo_temx}, std::pair{flo_tm, flo_temy}}) {
      floquet(oblique, kx, ky);
      calc_vettsigma(1);
      std::vector<cplx> limit(fss_vettsigma.data1(), fss_vettsigma.data1() + fss_modewg_index.n);
      floquet(normal, 0, 0);
      calc_vettsigma(1);
      for (int j = 1; j <= fss_modewg_index.n; ++j)
        EXPECT_LT(std::abs(fss_vettsigma[j] - limit[j - 1]),
                  1e-8 * std::max(std::abs(limit[j - 1]), fss_cell_dim.inv_sqrt_ab * 1e-3))
            << "mode " << j << " wave " << normal;
    }
  }
}

TEST_F(Coupling, DividedDifferencesNearEqualWavenumbers) {
  // Floquet waves whose kt lies at, just inside and just outside 2 % of a
  // guide mode's cutoff exercise both forms of the integral.
  for (int pick : {0, 4, 13}) {
    const rect_mode md = modes[pick];
    for (double delta : {1.0, 0.985, 1.02, 1.0201, 0.979, 1.001}) {
      const double kt = md.kc / delta, ang = 0.37;
      compare(flo_te, kt * std::cos(ang), kt * std::sin(ang));
      compare(flo_tm, kt * std::cos(ang), kt * std::sin(ang));
    }
  }
}

// A pair of a direction's far set that comes near kc = kt somewhere in the
// band takes the divided-difference form over the whole band, whatever kc/kt
// at the point: for exact modes that form is the coupling itself, the area
// integral, from kc = kt to kc/kt = 0.7 and 1.4 (its phases and sin(x)/x
// taken inline over the points; x = 0 where a point lies on the aperture's
// reference line).
TEST_F(Coupling, DividedDifferencesOverABandEqualTheAreaIntegrals) {
  int pairs = 0;
  for (int pick : {0, 4, 13}) {
    for (double delta : {1.0, 1.001, 0.985, 1.0201, 0.9, 1.1, 0.7, 1.4}) {
      const double kt = modes[pick].kc / delta, ang = 0.37;
      for (int type : {flo_te, flo_tm}) {
        floquet(type, kt * std::cos(ang), kt * std::sin(ang));
        for (int j = 1; j <= fss_modewg_index.n; ++j) {
          if ((fss_modewg_index[j] == wg_te) != (type == flo_te)) continue;
          const cplx ref = area_sigma(ap, modes[j - 1], type, kt * std::cos(ang), kt * std::sin(ang));
          const cplx got = close_coupling_over_band(1, j);
          const double scale = std::max(std::abs(ref), 1e-3 * fss_cell_dim.inv_sqrt_ab * 1e-3);
          EXPECT_LT(std::abs(got - ref) / scale, 2e-7)
              << "mode " << j << " kc " << modes[j - 1].kc << " floquet " << type << " kt " << kt;
          ++pairs;
        }
      }
    }
  }
  EXPECT_GT(pairs, 100);
  // Samples that are not those of exact modes (modulated by 5 % along the
  // contour) leave a remainder of the wave of wavenumber kc, which the form
  // carries: within 2 % of kc = kt (where the mode-by-mode evaluation takes
  // the same form, its series of sin(x)/x exact at these x) the two agree to
  // rounding.  (Beyond, the direct form leaves the remainder out: the forms
  // differ by up to 0.66 of the coupling for these samples.)
  const int np = fss_coordinates.n, nw = fss_modewg_index.n;
  for (int k = 1; k <= nw * np; ++k) fss_samplewg[k] *= 1 + 0.05 * std::sin(1.7 * k);
  double worst = 0, moved = 0;
  int near = 0;
  for (int pick : {0, 4, 13}) {
    for (double delta : {1.0, 1.001, 0.999}) {
      const double kt = modes[pick].kc / delta, ang = 0.37;
      for (int type : {flo_te, flo_tm}) {
        floquet(type, kt * std::cos(ang), kt * std::sin(ang));
        calc_vettsigma(1);
        for (int j = 1; j <= nw; ++j) {
          if ((fss_modewg_index[j] == wg_te) != (type == flo_te) || std::fabs(fss_modewg_kappa[j] / kt - 1) > 0.02)
            continue;
          ++near;
          const cplx ref = fss_vettsigma[j], got = close_coupling_over_band(1, j);
          const double scale = std::max(std::abs(ref), 1e-3 * fss_cell_dim.inv_sqrt_ab * 1e-3);
          worst = std::max(worst, std::abs(got - ref) / scale);
          moved = std::max(moved, std::abs(ref - area_sigma(ap, modes[j - 1], type, kt * std::cos(ang),
                                                            kt * std::sin(ang))) / scale);
        }
      }
    }
  }
  EXPECT_GE(near, 9);
  EXPECT_LT(worst, 1e-12);
  EXPECT_GT(moved, 1e-4);  // the modulation does move the couplings
}

TEST_F(Coupling, TmGuideModesDoNotCoupleToTeOrTemWaves) {
  for (int type : {flo_te, flo_temx, flo_temy}) {
    floquet(type, type == flo_te ? 500.0 : 0.0, type == flo_te ? 300.0 : 0.0);
    calc_vettsigma(1);
    for (int j = 1; j <= fss_modewg_index.n; ++j)
      if (fss_modewg_index[j] == wg_tm) {
        EXPECT_EQ(fss_vettsigma[j], cplx(0));
      }
  }
}

// The table of all integrals (matrix products, phase factors from powers,
// divided differences pair by pair) equals the straightforward evaluation
// mode by mode (calc_vettsigma) to 1e-10 of its size: every kind pair with a
// TEM guide mode added, both branches of the pairs near kc = kt, normal and
// oblique incidence, rectangular and skewed lattices.
TEST_F(Coupling, TableEqualsTheStraightforwardEvaluation) {
  // A TEM guide mode (samples of any values) before the others.
  const int nw = fss_modewg_index.n, np = fss_coordinates.n;
  for (int j = nw; j >= 1; --j) {
    fss_modewg_index[j + 1] = fss_modewg_index[j];
    fss_modewg_kappa[j + 1] = fss_modewg_kappa[j];
    fss_modewg_ap[j + 1] = fss_modewg_ap[j];
    fss_modewg_sc[j + 1] = fss_modewg_sc[j];
  }
  for (int k = nw * np; k >= 1; --k) fss_samplewg[k + np] = fss_samplewg[k];
  fss_modewg_index[1] = wg_tem;
  fss_modewg_kappa[1] = 55;
  fss_modewg_ap[1] = fss_modewg_sc[1] = 1;
  for (int i = 1; i <= np; ++i) fss_samplewg[i] = 1e-3 * std::sin(0.37 * i);
  fss_modewg_index.n = fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = nw + 1;
  fss_samplewg.n = (nw + 1) * np;
  fss_thickness = {0.5e-3, 0, 0};
  fss_kmax.flo = 2 * M_PI * 150e9 / dcspeed();
  int close = 0;
  for (double skew : {90.0, 63.0})
    for (double theta : {0.0, 35.0})
      for (double f : {12.5e9, 25.0e9}) {
        fss_lattice_angle.alpha = skew * M_PI / 180;
        fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
        const double th = theta * M_PI / 180, k0 = fss_em_var.k0;
        fss_inc_angle = {th, 0.35, k0 * std::sin(th) * std::cos(0.35), k0 * std::sin(th) * std::sin(0.35)};
        genmodes_flo();
        calc_integrals();
        const int nf = fss_modeflo_index.n, nw1 = fss_modewg_index.n;
        double size = 0;
        for (int k = 1; k <= nf * nw1; ++k) size = std::max(size, std::abs(fss_integrals[k]));
        for (int m = 1; m <= nf; ++m) {
          calc_vettsigma(m);
          const int type = fss_modeflo_index[m].type;
          for (int j = 1; j <= nw1; ++j) {
            const double kt = fss_modeflo_kappa[m].kt, kc = fss_modewg_kappa[j];
            const int w = fss_modewg_index[j];
            if (((w == wg_te && type == flo_te) || (w == wg_tm && type == flo_tm)) &&
                std::fabs(kc / kt - 1) <= 0.02)
              ++close;
            EXPECT_LT(std::abs(fss_integrals[(m - 1) * nw1 + j] - fss_vettsigma[j]), 1e-10 * size)
                << "skew " << skew << " theta " << theta << " f " << f << " floquet " << m
                << " (type " << type << ") mode " << j << " (kind " << w << ")";
          }
        }
      }
  EXPECT_GT(close, 20);  // both branches are exercised
}

// Moving the aperture by d turns every coupling by the phase of its Floquet
// wave, exp(-i k.d), and changes nothing else, also for samples that are not
// those of exact modes (the divided differences of the pairs near kc = kt
// subtract a wave whose contour sum then does not vanish): results do not
// depend on where the aperture is drawn.
TEST_F(Coupling, MovingTheApertureOnlyTurnsThePhases) {
  const int nw = fss_modewg_index.n, np = fss_coordinates.n;
  for (int k = 1; k <= nw * np; ++k) fss_samplewg[k] *= 1 + 0.05 * std::sin(1.7 * k);
  fss_lattice_angle.alpha = 75 * M_PI / 180;
  fss_kmax.flo = 2 * M_PI * 150e9 / dcspeed();
  const double f = 21e9, th = 0.3;
  fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
  fss_inc_angle = {th, 0.6, fss_em_var.k0 * std::sin(th) * std::cos(0.6),
                   fss_em_var.k0 * std::sin(th) * std::sin(0.6)};
  genmodes_flo();
  const int nf = fss_modeflo_index.n;
  auto tables = [&](std::vector<cplx>& fast, std::vector<cplx>& slow) {
    calc_integrals();
    fast.assign(fss_integrals.data1(), fss_integrals.data1() + nf * nw);
    straightforward_integrals();
    slow.assign(fss_integrals.data1(), fss_integrals.data1() + nf * nw);
  };
  std::vector<cplx> f0, s0, f1, s1;
  tables(f0, s0);
  const double dx = 37e-3, dy = -23e-3;
  for (int i = 1; i <= np; ++i) fss_coordinates[i].x += dx, fss_coordinates[i].y += dy;
  tables(f1, s1);
  double size = 0;
  for (const cplx& v : f0) size = std::max(size, std::abs(v));
  int close = 0;
  for (int m = 1; m <= nf; ++m) {
    const flo_kappa k = fss_modeflo_kappa[m];
    const cplx turn = std::polar(1.0, -(k.kx * dx + k.ky * dy));
    for (int j = 1; j <= nw; ++j) {
      const int e = (m - 1) * nw + j - 1;
      if (std::fabs(fss_modewg_kappa[j] / k.kt - 1) <= 0.02) ++close;
      EXPECT_LT(std::abs(f1[e] - turn * f0[e]), 1e-11 * size) << "Floquet " << m << " mode " << j;
      EXPECT_LT(std::abs(s1[e] - turn * s0[e]), 1e-11 * size) << "Floquet " << m << " mode " << j;
    }
  }
  EXPECT_GT(close, 10);
}

// The system matrix (S by one complex matrix product) equals its
// straightforward sum over the Floquet modes to 1e-10 of its size.
TEST_F(Coupling, SystemEqualsTheStraightforwardSum) {
  oblique_point(150e9);
  calc_integrals();
  calc_mata();
  const int n = 2 * fss_modewg_index.n;
  ASSERT_EQ(fss_mata.n, n);
  const std::vector<cplx> got(fss_mata.data1(), fss_mata.data1() + n * n);
  straightforward_mata();
  double size = 0;
  for (int k = 1; k <= n * n; ++k) size = std::max(size, std::abs(fss_mata[k]));
  for (int k = 0; k < n * n; ++k) EXPECT_LT(std::abs(got[k] - fss_mata[k + 1]), 1e-10 * size) << k;
}

// A Floquet set larger than a block of harmonics of the couplings (2048)
// and than a block of the accumulation of S (4096 modes), in tables grown
// beyond those of a plain run: the blocks change nothing.  At this oblique
// incidence the table keeps the near modes' rows only (the far ones summed
// into S as they are computed): those rows, and the system, equal the
// straightforward evaluation over the whole table to 1e-10 of their size.
TEST_F(Coupling, BlocksOfFloquetModesEqualTheStraightforwardSums) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  oblique_point(780e9);
  const int nf = fss_modeflo_index.n, nw = fss_modewg_index.n;
  ASSERT_GT(nf, 4096 + 100);
  ASSERT_TRUE(far_floquet_streams(nf));
  calc_integrals();
  const int kept = fss_integrals.n / nw;
  EXPECT_LT(kept, nf / 10);
  ASSERT_GE(kept, 2);
  const std::vector<cplx> fast(fss_integrals.data1(), fss_integrals.data1() + kept * nw);
  calc_mata();
  const int n = 2 * nw;
  const std::vector<cplx> got(fss_mata.data1(), fss_mata.data1() + n * n);
  straightforward_integrals();
  double size = 0;
  for (int k = 1; k <= nf * nw; ++k) size = std::max(size, std::abs(fss_integrals[k]));
  for (int k = 0; k < kept * nw; ++k) ASSERT_LT(std::abs(fast[k] - fss_integrals[k + 1]), 1e-10 * size) << k;
  straightforward_mata();
  size = 0;
  for (int k = 1; k <= n * n; ++k) size = std::max(size, std::abs(fss_mata[k]));
  for (int k = 0; k < n * n; ++k) EXPECT_LT(std::abs(got[k] - fss_mata[k + 1]), 1e-10 * size) << k;
  // The far share belongs to its sweep point: another frequency without
  // its couplings computed stops the run.
  fss_em_var.k0 *= 1.01;
  EXPECT_FATAL(calc_mata(), "The far Floquet modes' share is not that of this sweep point");
  fss_set_capacities();
}

namespace {

// The far-mode tests' lattice: skewed at 70 degrees, Floquet modes to
// 780 GHz (more than one block of them).
void far_mode_lattice(const fss_thickness_rec& t) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  fss_lattice_angle.alpha = 70 * M_PI / 180;
  fss_thickness = t;
  fss_kmax.flo = 2 * M_PI * 780e9 / dcspeed();
}

// Normal incidence at f in the plane phi = 0.3 through the stack of
// fss_stack: the modes, the Floquet set and its lines through the layers.
int stack_point(double f) {
  fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
  fss_inc_angle = {0, 0.3, 0, 0};
  update_modes_wg();
  genmodes_flo();
  calc_stack_modes();
  return fss_modeflo_index.n;
}

}  // namespace

// At normal incidence over a sweep, the far Floquet modes' share of S from
// its series in k0^2 (matrices summed once per coupling table, the far
// modes' couplings not kept): the system equals the straightforward sum
// over the whole coupling table (of the same Floquet set in a short sweep)
// to 1e-8 of its size at every frequency (6e-10 at 25 GHz), with a Floquet
// set beyond one block; the near modes in pairs of opposite kt.  The same
// set in a short sweep, or at oblique incidence, takes the direct sums.
TEST_F(Coupling, FarFloquetModesFromTheirSeriesAtNormalIncidence) {
  far_mode_lattice({0.5e-3, 0, 0});
  fss_screen.nwg1 = fss_modewg_index.n;
  for (double f : {10e9, 17e9, 25e9}) {
    fss_freq_iter = {10e9, 25e9, 1e9};  // 16 frequencies
    stack_point(f);
    const int nf = fss_modeflo_index.n, nw = fss_modewg_index.n, n = 2 * nw;
    ASSERT_GT(nf, 4096);
    ASSERT_TRUE(far_floquet_applies(nf));
    calc_integrals();
    EXPECT_LT(fss_integrals.n, nf * nw / 4) << f;  // the near modes' rows only
    calc_mata();
    const std::vector<cplx> got(fss_mata.data1(), fss_mata.data1() + n * n);
    fss_freq_iter = {11e9, 25e9, 1e9};  // 15: every row kept
    genmodes_flo();
    calc_integrals();
    ASSERT_EQ(fss_integrals.n, nf * nw);
    straightforward_mata();
    double size = 0, worst = 0;
    for (int k = 1; k <= n * n; ++k) size = std::max(size, std::abs(fss_mata[k]));
    for (int k = 0; k < n * n; ++k) worst = std::max(worst, std::abs(got[k] - fss_mata[k + 1]));
    EXPECT_LT(worst, 1e-8 * size) << f;
    EXPECT_GT(worst, 0) << f;  // the series was used
    std::printf(" %.0f GHz: series against direct sum %.2e of the system's size\n", f / 1e9, worst / size);
    // the near modes in pairs of opposite kt, but for the specular TE and TM
    EXPECT_EQ(far_floquet_lone_modes(), 2) << f;
    EXPECT_GT(far_floquet_paired_modes(), 20) << f;
  }
  fss_freq_iter = {10e9, 24e9, 1e9};  // 15 frequencies
  EXPECT_FALSE(far_floquet_applies(fss_modeflo_index.n));
  fss_freq_iter = {10e9, 25e9, 1e9};
  fss_inc_angle.theta = 0.1;
  EXPECT_FALSE(far_floquet_applies(fss_modeflo_index.n));
  fss_inc_angle.theta = 0;
  EXPECT_FALSE(far_floquet_applies(4096));
  fss_set_capacities();
}

// A pair of near modes of opposite kt is summed as one only while the
// partner's couplings are +-conj of the mode's and both see one admittance.
// A partner's row altered at one entry, or its admittance changed, leaves
// the pair to the direct sum: the system then moves by exactly that mode's
// changed term w x x^H, on both faces, and nowhere else.
TEST_F(Coupling, NearPairsThatBreakTheirRelationAreSummedDirectly) {
  far_mode_lattice({0.5e-3, 0, 0});
  fss_screen.nwg1 = fss_modewg_index.n;
  fss_freq_iter = {10e9, 25e9, 1e9};
  stack_point(25e9);
  const int nw = fss_modewg_index.n, n = 2 * nw;
  ASSERT_TRUE(far_floquet_applies(fss_modeflo_index.n));
  ASSERT_LT(nw, mirror_halves_order);  // the whole system: S on both faces
  auto system = [&] {
    calc_mata();
    return std::vector<cplx>(fss_mata.data1(), fss_mata.data1() + static_cast<long>(n) * n);
  };
  calc_integrals();
  const std::vector<cplx> clean = system();
  ASSERT_EQ(far_floquet_lone_modes(), 2);
  const int paired = far_floquet_paired_modes();
  // A near non-specular mode and its partner of -kt.
  const int kept = fss_integrals.n / nw;
  int p = 0;
  for (int m = 1; m <= kept && p == 0; ++m) {
    const flo_index o = fss_modeflo_index[m];
    if (o.m == 0 && o.n == 0) continue;
    for (int q = 1; q <= kept; ++q)
      if (fss_modeflo_index[q].m == -o.m && fss_modeflo_index[q].n == -o.n && fss_modeflo_index[q].type == o.type)
        p = q;
  }
  ASSERT_GT(p, 0);
  const std::vector<cplx> row(fss_integrals.data1() + static_cast<long>(p - 1) * nw,
                              fss_integrals.data1() + static_cast<long>(p) * nw);
  double big = 0, size = 0;
  for (cplx v : row) big = std::max(big, std::abs(v));
  for (cplx v : clean) size = std::max(size, std::abs(v));
  // The system's change against w' x' x'^H - w x x^H on both faces.
  auto moved_by = [&](const std::vector<cplx>& got, const std::vector<cplx>& xnew, cplx wnew, cplx wold) {
    double worst = 0, moved = 0;
    for (int q = 0; q < n; ++q)
      for (int j = 0; j < n; ++j) {
        cplx want = 0;
        if ((j < nw) == (q < nw)) {
          const int jj = j % nw, qq = q % nw;
          want = wnew * xnew[jj] * std::conj(xnew[qq]) - wold * row[jj] * std::conj(row[qq]);
        }
        const cplx d = got[j + static_cast<long>(q) * n] - clean[j + static_cast<long>(q) * n];
        worst = std::max(worst, std::abs(d - want));
        moved = std::max(moved, std::abs(d));
      }
    EXPECT_GT(moved, 1e-8 * size);  // 1e4 times the tolerance below
    EXPECT_LT(worst, 1e-12 * size);
  };
  const cplx y = fss_modeflo_y[p].y1;
  {
    calc_integrals();  // a new table: its pairs are looked at again
    fss_modeflo_y[p].y1 = 1.01 * y;
    const std::vector<cplx> got = system();
    fss_modeflo_y[p].y1 = y;
    EXPECT_EQ(far_floquet_lone_modes(), 4);
    moved_by(got, row, 1.01 * y, y);
  }
  {
    calc_integrals();
    std::vector<cplx> altered = row;
    altered[nw / 2] += 0.1 * big;
    std::copy(altered.begin(), altered.end(), fss_integrals.data1() + static_cast<long>(p - 1) * nw);
    const std::vector<cplx> got = system();
    EXPECT_EQ(far_floquet_lone_modes(), 4);
    EXPECT_EQ(far_floquet_paired_modes(), paired - 2);
    moved_by(got, altered, y, y);
  }
  fss_set_capacities();
}

// Between convergence passes the couplings, the far-mode matrices and the
// system give their storage back (a plain run's is kept): the next
// analysis builds them afresh, bit for bit the same system.
TEST_F(Coupling, StorageOfTheProductsGivenBackBetweenAnalyses) {
  far_mode_lattice({0.5e-3, 0, 0});
  fss_freq_iter = {10e9, 25e9, 1e9};
  fss_screen.nwg1 = fss_modewg_index.n;
  stack_point(17e9);
  ASSERT_TRUE(far_floquet_applies(fss_modeflo_index.n));
  const int n = 2 * fss_modewg_index.n;
  auto system = [&]() {
    genmodes_flo();
    calc_integrals();
    calc_mata();
    return std::vector<cplx>(fss_mata.data1(), fss_mata.data1() + n * n);
  };
  // The table as a larger earlier pass left it (this one's 24 x 5062
  // couplings fit a plain run's storage).
  fss_integrals.hold(2L * max_integrals);
  const std::vector<cplx> first = system();
  ASSERT_GT(fss_integrals.storage(), max_integrals);
  const long generation = integrals_generation();
  const int cap = fss_integrals.cap;
  release_sweep_storage();
  EXPECT_EQ(fss_integrals.storage(), max_integrals);
  EXPECT_EQ(fss_integrals.n, 0);
  EXPECT_EQ(fss_mata.n, 0);
  EXPECT_NE(integrals_generation(), generation);  // nothing derived from the old table stays
  EXPECT_EQ(fss_integrals.cap, cap);  // the capacity kept
  const std::vector<cplx> again = system();
  EXPECT_TRUE(again == first);
  fss_set_capacities();
}

// The series and the coupling table belong together: a sweep point whose
// far modes begin elsewhere (another top of the sweep) or whose near modes
// stand in another order than the table's rows stops, rather than reading
// the wrong rows.  Without aperture modes the far modes' blocks add nothing
// and call no product.
TEST_F(Coupling, FarFloquetSeriesOutOfStepWithTheCouplingsStops) {
  far_mode_lattice({0.5e-3, 0, 0});
  fss_screen.nwg1 = fss_modewg_index.n;
  stack_point(17e9);
  auto point = [](double end) {
    fss_freq_iter = {10e9, end, 1e9};
    genmodes_flo();
  };
  point(25e9);
  ASSERT_TRUE(far_floquet_applies(fss_modeflo_index.n));
  calc_integrals();
  calc_mata();  // in step
  point(26e9);
  EXPECT_FATAL(calc_mata(), "The far Floquet modes' series is not that of the coupling table");
  point(25e9);
  std::swap(fss_modeflo_index[1], fss_modeflo_index[3]);
  EXPECT_FATAL(calc_mata(), "The far Floquet modes' series is not that of the coupling table");
  point(25e9);
  const int nw = fss_modewg_index.n;
  fss_modewg_index.n = 0;
  fss_screen.nwg1 = 0;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  calc_integrals();
  calc_mata();
  const std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "");
  EXPECT_EQ(fss_integrals.n, 0);
  fss_modewg_index.n = fss_screen.nwg1 = nw;
  fss_set_capacities();
}

// A screen in air solved as the mirror halves of its system (even and odd
// aperture fields) gives the solution of the whole system, for the waves
// from either side (the far side's from the factors of the first): the
// skewed lattice's oblique point, 1e-11 of the solution's size.

TEST_F(Coupling, MirrorHalvesSolveTheWholeSystem) {
  oblique_point(300e9);
  fss_screen.nwg1 = fss_modewg_index.n;
  calc_integrals();
  const std::vector<cplx> whole = both_sides_solution(1000000), halves = both_sides_solution(1);
  ASSERT_EQ(whole.size(), halves.size());
  ASSERT_EQ(fss_mata.n, 2 * fss_modewg_index.n);
  double size, worst;
  size_and_gap(whole, halves, size, worst);
  EXPECT_GT(size, 0);
  EXPECT_LT(worst, 1e-11 * size);
}

// At exactly normal incidence the system is complex symmetric, and from
// symmetric_solve_modes aperture modes on it is factorised as L D L^T (half
// the work of LU): the same solution as LU for the waves from either side (the far
// side's from the same factors), whole or as mirror halves, to 1e-11 of its
// size; at oblique incidence (not symmetric) LU, bit for bit.
TEST_F(Coupling, SymmetricSystemsFactorisedAsLdlt) {
  oblique_point(300e9);
  fss_inc_angle = {0, 0.2, 0, 0};
  genmodes_flo();
  calc_integrals();
  for (int halves_order : {1000000, 1}) {
    const std::vector<cplx> lu = both_sides_solution(halves_order, 1 << 30),
                            ldlt = both_sides_solution(halves_order, 1);
    ASSERT_EQ(lu.size(), ldlt.size());
    double size, worst;
    size_and_gap(lu, ldlt, size, worst);
    EXPECT_GT(size, 0);
    EXPECT_LT(worst, 1e-11 * size) << halves_order;
    EXPECT_GT(worst, 0) << halves_order;  // the other factorisation was taken
  }
  oblique_point(300e9);
  calc_integrals();
  EXPECT_EQ(both_sides_solution(1000000, 1 << 30), both_sides_solution(1000000, 1));
}

// Oblique incidence over a band of 50 frequencies (5 to 29.5 GHz),
// Floquet modes to 780 GHz: the far share interpolated in k0 from its nodes
// gives the system of the share summed at the sweep point to 1e-12 of its
// size (measured on 9 nodes: 5.6e-13 between nodes at theta 0.4, whose 5
// nodes' check is 1.3e-5 and the 9 nodes' estimated error 1.8e-7; 5e-14 at
// theta 0.3; below 1e-16 on 17 nodes and on 9 in the narrower band), at the
// band's ends, at its middle and between nodes.  One interpolant serves
// every point of a direction; another direction builds its own, and so does
// the first one again after it.
TEST_F(Coupling, FarShareInterpolatedOverTheBandAtObliqueIncidence) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  auto compare = [&](double f, double th, bool fresh, int nodes, int built) {
    const std::vector<cplx> got = oblique_system(f, th, 24, fresh);
    EXPECT_EQ(far_floquet_interpolation_nodes(), nodes) << f << " " << th;
    EXPECT_EQ(far_floquet_nodes_built(), built) << f << " " << th;
    ASSERT_GT(fss_modeflo_index.n, 4096);
    EXPECT_LT(fss_integrals.n / fss_modewg_index.n, fss_modeflo_index.n / 10);
    const std::vector<cplx> summed = oblique_system(f, th, 1 << 30, false);
    EXPECT_EQ(far_floquet_interpolation_nodes(), 0);
    double size, worst;
    size_and_gap(summed, got, size, worst);
    EXPECT_LT(worst, 1e-12 * size) << f << " " << th;
    EXPECT_GT(worst, 0) << f << " " << th;  // interpolated, not summed
  };
  // The nodes' time is the sweep's once-per-direction work (kept apart from
  // the pace of its points on the progress bar): counted when a direction
  // builds its nodes, not at its other points.
  progress_begin(50, 50);
  compare(5e9, 0.4, true, 9, 9);
  const double once = progress_once_seconds();
  EXPECT_GT(once, 0);
  compare(11.1e9, 0.4, false, 9, 9);
  compare(17.25e9, 0.4, false, 9, 9);
  compare(29.5e9, 0.4, false, 9, 9);
  EXPECT_EQ(progress_once_seconds(), once);
  compare(11.1e9, 0.3, false, 9, 9);
  EXPECT_GT(progress_once_seconds(), once);
  progress_reset();
  compare(23.3e9, 0.4, false, 9, 9);
  fss_freq_iter = {25e9, 30.75e9, 0.25e9};
  compare(27.3e9, 0.4, false, 9, 9);
  // A tolerance that neither the 5 nodes' check (1.3e-5) nor the 9 nodes'
  // estimated error (1.8e-7) meets, and the 9 nodes' check (1.2e-10) does:
  // 17 nodes.
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  const double tolerance = far_interpolation_tolerance;
  far_interpolation_tolerance = 1e-8;
  compare(17.25e9, 0.4, true, 17, 17);
  compare(29.5e9, 0.4, false, 17, 17);
  far_interpolation_tolerance = tolerance;
  fss_set_capacities();
}

// Where the interpolation gives up, the share is summed at each point: the
// same system, bit for bit, after as many nodes as the case needs.  The
// tables of the nodes, whose sizes change with k0, neither stop the run nor
// lose the far set.
TEST_F(Coupling, FarShareInterpolationGivenUpSumsAtEachPoint) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  const std::vector<cplx> summed = oblique_system(17.25e9, 0.4, 1 << 30);
  auto given_up = [&](int built) {
    EXPECT_EQ(oblique_system(17.25e9, 0.4, 24), summed);
    EXPECT_EQ(far_floquet_interpolation_nodes(), 0);
    EXPECT_EQ(far_floquet_nodes_built(), built);
  };
  // A tolerance no level meets: the 33 nodes; with 30 frequencies the 17
  // (33 nodes would cost more than the points).
  const double tolerance = far_interpolation_tolerance;
  far_interpolation_tolerance = 0;
  given_up(33);
  fss_freq_iter = {5e9, 19.5e9, 0.5e9};
  given_up(17);
  far_interpolation_tolerance = tolerance;
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  // Errors that do not fall a hundredfold from the 3 nodes' to the 5
  // nodes' (here they fall from 9.2e-4 to 1.3e-5, 70-fold): given up after
  // 9 nodes (the default asks a tenfold fall).
  const double rate = far_interpolation_rate;
  far_interpolation_rate = 0.01;
  given_up(9);
  far_interpolation_rate = rate;
  // Fewer than 24 frequencies: no nodes.
  fss_freq_iter = {5e9, 16e9, 0.5e9};
  given_up(0);
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  // No aperture modes (a solid screen): no nodes (an interpolant of empty
  // matrices would never count a node as done).
  const int nw = fss_modewg_index.n;
  far_floquet_reset();
  fss_modewg_index.n = 0;
  oblique_point(780e9, 17.25e9, 0.4);
  calc_integrals();
  EXPECT_EQ(far_floquet_interpolation_nodes(), 0);
  EXPECT_EQ(far_floquet_nodes_built(), 0);
  fss_modewg_index.n = nw;
  // A node's table beyond the capacity of the Floquet table, the sweep
  // point's within it (the set changes with k0 as harmonics cross kmax):
  // given up at that node, the run goes on.
  long long fewest = 1 << 30, most = 0;
  double f_fewest = 0;
  for (double f = 5e9; f < 29.6e9; f += 0.5e9)
    if (floquet_count_at(f) < fewest) fewest = floquet_count_at(f), f_fewest = f;
  for (int j = 0; j <= 32; j += 4) most = std::max(most, floquet_count_at(17.25e9 + 12.25e9 * std::cos(j * M_PI / 32)));
  ASSERT_GT(most, fewest);
  fss_size_capacities(max_wg_modes, static_cast<int>(fewest), max_points);
  const std::vector<cplx> fits = oblique_system(f_fewest, 0.4, 1 << 30);
  EXPECT_EQ(oblique_system(f_fewest, 0.4, 24), fits);
  EXPECT_EQ(far_floquet_interpolation_nodes(), 0);
  EXPECT_LT(far_floquet_nodes_built(), 9);
  // A Floquet limit at which the sweep point's table holds more than one
  // block (4096 modes) and a node's no more: the node's table is ordered for
  // the far set all the same, and the interpolation serves the point.
  fss_size_capacities(max_wg_modes, 6000, max_points);
  auto count_for = [&](double flo_hz, double f) {
    fss_kmax.flo = 2 * M_PI * flo_hz / dcspeed();
    return floquet_count_at(f);
  };
  double straddle = 0, f_over = 0;
  for (double flo = 600e9; flo < 800e9 && straddle == 0; flo += 0.05e9) {
    long long node_least = 1 << 30;
    for (int j = 0; j <= 32; j += 4) node_least = std::min(node_least, count_for(flo, 17.25e9 + 12.25e9 * std::cos(j * M_PI / 32)));
    if (node_least > 4096) continue;
    for (double f = 5e9; f < 29.6e9 && straddle == 0; f += 0.5e9)
      if (count_for(flo, f) > 4096) straddle = flo, f_over = f;
  }
  ASSERT_GT(straddle, 0);
  {
    const std::vector<cplx> got = oblique_system(f_over, 0.4, 24, true, straddle);
    EXPECT_GT(far_floquet_interpolation_nodes(), 0);
    const std::vector<cplx> direct = oblique_system(f_over, 0.4, 1 << 30, true, straddle);
    double size, worst;
    size_and_gap(direct, got, size, worst);
    EXPECT_LT(worst, 1e-12 * size);
  }
  // The point's share is taken from the nodes that calc_integrals computes,
  // within their band.
  fss_size_capacities(max_wg_modes, 6000, max_points);
  far_floquet_reset();
  oblique_point(780e9, 17.25e9, 0.4);
  EXPECT_FATAL(far_floquet_begin(), "The far Floquet modes' interpolant is not ready");
  calc_integrals();
  ASSERT_EQ(far_floquet_interpolation_nodes(), 9);
  fss_em_var.k0 *= 29.6 / 17.25;
  EXPECT_FATAL(far_floquet_begin(), "The far Floquet modes' interpolant does not reach this frequency");
  fss_freq_iter = {};
  far_floquet_reset();
  fss_set_capacities();
}

// The least and the largest kt of each harmonic of the far set over the
// band (kt^2 is quadratic in k0) against kt sampled at 4001 frequencies of
// it, at a sweep point of a direction with a band; among them harmonics
// nearly perpendicular to the incident wave, whose least kt lies inside
// the band.  No harmonic has a band range at a point of a sweep too short.
TEST_F(Coupling, FarSetKtRangeOverTheBand) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  oblique_system(17.25e9, 0.4, 24);
  const double klo = dpi(1) * 5e9 / dcspeed(), khi = dpi(1) * 29.5e9 / dcspeed();
  const double sx = std::sin(0.4) * std::cos(0.2), sy = std::sin(0.4) * std::sin(0.2);
  const double ga = dpi(1) / fss_cell_dim.a, gb = dpi(1) / fss_cell_dim.b;
  const double gc = ga / std::tan(fss_lattice_angle.alpha);
  int in_set = 0, inside = 0;
  double worst = 0;
  for (int m = 1; m <= fss_modeflo_index.n; ++m) {
    double lo = 0, hi = 0;
    if (!far_floquet_band_kt(m, lo, hi)) continue;
    ++in_set;
    const flo_index& o = fss_modeflo_index[m];
    const double gx = o.m * ga, gy = o.n * gb - o.m * gc;
    auto kt = [&](double k0) { return std::hypot(gx + k0 * sx, gy + k0 * sy); };
    double least = 1e300, most = 0;
    for (int i = 0; i <= 4000; ++i) {
      const double v = kt(klo + (khi - klo) * i / 4000);
      least = std::min(least, v), most = std::max(most, v);
    }
    // Sampling finds the least kt to the square of its spacing; never
    // below the exact one.
    EXPECT_LE(lo, least * (1 + 1e-14)) << o.m << " " << o.n;
    worst = std::max(worst, (least - lo) / lo);
    EXPECT_NEAR(hi, most, 1e-12 * most) << o.m << " " << o.n;
    if (lo < std::min(kt(klo), kt(khi)) * (1 - 1e-12)) ++inside;
  }
  EXPECT_GT(in_set, fss_modeflo_index.n / 2);
  EXPECT_GT(inside, 0);
  EXPECT_LT(worst, 1e-9);
  oblique_system(17.25e9, 0.4, 1 << 30);
  for (int m = 1; m <= fss_modeflo_index.n; ++m) {
    double lo = 0, hi = 0;
    EXPECT_FALSE(far_floquet_band_kt(m, lo, hi));
  }
  fss_freq_iter = {};
  far_floquet_reset();
  fss_set_capacities();
}

// Modes to kc = 5000 /m, so that far harmonics (|G| >= 6 k_top + k_top
// sin(theta), 3950 /m here; kt from 3710 /m) pass near their cutoffs, and a
// pair's kc/kt moves across the edge of the divided differences
// (|kc/kt - 1| = 0.02) within the band.  Such a pair takes the divided-difference form over the
// whole band.  For exact modes the two forms are one function: the system
// is that of the forms chosen point by point.  Computed modes leave a
// contour remainder (here the exact modes' samples modulated by 1e-3 along
// the contour), which the two forms treat differently: chosen point by point
// the share jumps (measured with the choice so made: the check's errors
// stay near 2e-4, and the interpolation gives up); chosen over the band it
// is smooth (2.9e-6 on 5 nodes), interpolated from 9 nodes, and the system is that of the share summed at
// each point with the same choice to 1e-10 of its size (measured 1.5e-11;
// the error of 9 nodes is about the square of the check's, relative to the
// share).  The choice itself moves the system by 2e-6 of its size.  A
// direction whose table holds more than one block at some frequencies only
// takes it at every frequency.
TEST_F(Coupling, FarShareOfComputedModesClassifiedOverTheBand) {
  fss_size_capacities(max_wg_modes, 6000, max_points);
  fss_freq_iter = {5e9, 29.5e9, 0.5e9};
  modes = rect_modes(ap, 5000);
  write_mode_files("cpl_tmp", ap, modes);
  readmodes_wg();
  read_coord();
  read_samples();
  ASSERT_GT(fss_modewg_kappa[fss_modewg_index.n], 3950);
  const double tolerance = far_interpolation_tolerance, rate = far_interpolation_rate;
  // Summed at each point, with the far set classified over the band: the
  // interpolation given up after its first 9 nodes.
  auto summed_over_band = [&](double f) {
    far_interpolation_tolerance = far_interpolation_rate = 0;
    const std::vector<cplx> v = oblique_system(f, 0.4, 24);
    EXPECT_EQ(far_floquet_interpolation_nodes(), 0);
    EXPECT_EQ(far_floquet_nodes_built(), 9);
    far_interpolation_tolerance = tolerance;
    far_interpolation_rate = rate;
    return v;
  };
  double size, gap;
  for (double f : {5e9, 17.25e9}) {
    const std::vector<cplx> interpolated = oblique_system(f, 0.4, 24);
    EXPECT_GT(far_floquet_interpolation_nodes(), 0) << f;
    const std::vector<cplx> pointwise = oblique_system(f, 0.4, 1 << 30);
    EXPECT_EQ(far_floquet_nodes_built(), 0);
    size_and_gap(pointwise, interpolated, size, gap);
    EXPECT_LT(gap, 1e-10 * size) << f;
  }
  for (int i = 1; i <= fss_samplewg.n; ++i) fss_samplewg[i] *= 1 + 1e-3 * std::sin(0.01 * i);
  for (double f : {5e9, 11.1e9, 23.3e9}) {
    const std::vector<cplx> interpolated = oblique_system(f, 0.4, 24);
    EXPECT_EQ(far_floquet_interpolation_nodes(), 9) << f;
    const std::vector<cplx> summed = summed_over_band(f);
    size_and_gap(summed, interpolated, size, gap);
    EXPECT_LT(gap, 1e-10 * size) << f;
    EXPECT_GT(gap, 0) << f;
    // Chosen point by point (too few frequencies for a band): the
    // remainder's share, small but far above the interpolation's error.
    const std::vector<cplx> pointwise = oblique_system(f, 0.4, 1 << 30);
    EXPECT_EQ(far_floquet_nodes_built(), 0);
    size_and_gap(summed, pointwise, size, gap);
    EXPECT_GT(gap, 1e-7 * size) << f;
    EXPECT_LT(gap, 1e-4 * size) << f;
  }
  // A Floquet limit at which the table holds more than one block (4096
  // modes) at some frequencies of the band and not at others: the points of
  // one block or less take the band's choice too (no step between them and
  // their neighbours beyond the interpolation's error).
  double straddle = 0, f_within = 0;
  for (double flo = 600e9; flo < 800e9 && straddle == 0; flo += 0.05e9) {
    fss_kmax.flo = 2 * M_PI * flo / dcspeed();
    long long most = 0, least = 1 << 30;
    double f_least = 0;
    for (double f = 5e9; f < 29.6e9; f += 0.5e9) {
      const long long c = floquet_count_at(f);
      most = std::max(most, c);
      if (c < least) least = c, f_least = f;
    }
    if (least <= 4096 && most > 4096) straddle = flo, f_within = f_least;
  }
  ASSERT_GT(straddle, 0);
  const std::vector<cplx> band = oblique_system(f_within, 0.4, 24, true, straddle);
  EXPECT_LE(fss_modeflo_index.n, 4096);
  const std::vector<cplx> pointwise = oblique_system(f_within, 0.4, 1 << 30, true, straddle);
  size_and_gap(band, pointwise, size, gap);
  EXPECT_GT(gap, 1e-7 * size);
  EXPECT_LT(gap, 1e-4 * size);
  fss_freq_iter = {};
  far_floquet_reset();
  fss_set_capacities();
}

namespace {

// The system at f (as `system` returns it after calc_mata) with the far
// modes from their series and their couplings not kept, in a sweep of 16
// frequencies, against the direct sums over the whole coupling table, in
// one of 15 ending at the same frequency: the largest difference relative
// to the system's largest entry (-1 when the series was not taken or not
// left, or the far modes' rows were kept).
template <class S>
double series_against_direct(double f, S system) {
  fss_freq_iter = {10e9, 25e9, 1e9};
  const int nf = stack_point(f);
  if (!far_floquet_applies(nf)) return -1;
  calc_integrals();
  if (fss_integrals.n >= nf * fss_modewg_index.n) return -1;
  calc_mata();
  const std::vector<cplx> got = system();
  fss_freq_iter = {11e9, 25e9, 1e9};
  stack_point(f);
  if (far_floquet_applies(nf)) return -1;
  calc_integrals();
  calc_mata();
  const std::vector<cplx> direct = system();
  if (direct.size() != got.size()) return -1;
  double size = 0, worst = 0;
  for (std::size_t k = 0; k < got.size(); ++k) {
    size = std::max(size, std::abs(direct[k]));
    worst = std::max(worst, std::abs(got[k] - direct[k]));
  }
  return worst / size;
}

}  // namespace

// A screen in a stack (a skin of lossy eps 3 before it, 6 mm of foam after
// it): the far modes' share on each face from the series of the half-space
// of its first layer equals the direct sum over the stack's face admittances
// to 1e-8 of the system's size at every frequency; the direct sum is taken
// for the same Floquet set in a sweep of 15 frequencies ending at the same
// one.  A 2 mm skin: the modes far in the eps 3 half-space are far enough
// (kt >= 6 sqrt(3) k0); a 0.8 mm skin (the radome's): those that have died
// out across it (kt d >= 8), the layers beyond left out.
TEST_F(Coupling, FarFloquetModesFromTheirSeriesInAStack) {
  far_mode_lattice({0.5e-3, 0, 0});
  fss_screen.nwg1 = fss_modewg_index.n;
  const int n = 2 * fss_modewg_index.n;
  for (double skin : {2e-3, 0.8e-3}) {
    fss_stack.n = 0;
    fss_stack.item[++fss_stack.n] = {stack_kind_layer, skin, 3.0, 0.002, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_screen, 0.5e-3, 1, 0, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_layer, 6e-3, 1.05, 0, 0};
    for (double f : {10e9, 17e9, 25e9}) {
      const int nf = stack_point(f);
      ASSERT_EQ(fss_stack_point.layers, 2);
      ASSERT_GT(nf, 4096);
      const double d = series_against_direct(
          f, [n] { return std::vector<cplx>(fss_mata.data1(), fss_mata.data1() + n * n); });
      std::printf(" skin %.1f mm, %.0f GHz: series against direct sum %.2e of the system's size\n",
                  skin * 1e3, f / 1e9, d);
      EXPECT_LT(d, 1e-8) << f;
      EXPECT_GT(d, 0) << f;  // the series was used
      // the near modes in pairs of opposite kt, but for the specular TE and TM
      EXPECT_EQ(far_floquet_lone_modes(), 2) << f;
      EXPECT_GT(far_floquet_paired_modes(), 100) << f;
    }
  }
  fss_stack.n = 0;
  fss_stack_point = {};
  fss_set_capacities();
}

// Two screens (the aperture's modes shared between them) with a 5 mm gap of
// lossy eps 1.07 between them, in air or with a 0.8 mm skin of eps 3 before
// the first, or a gap of air (whose faces take air's load and what differs):
// the far modes' share on every face from the series of the medium beside
// it, the modes that reach across the gap summed directly.  The blocks of
// the screens' system equal those of the direct sums to 1e-8 of their size
// (the direct sums taken in a sweep of 15 frequencies).
TEST_F(Coupling, FarFloquetModesFromTheirSeriesAroundAGap) {
  far_mode_lattice({0.5e-3, 5e-3, 0.5e-3});
  const int nw = fss_modewg_index.n;
  for (int j = 1; j <= nw; ++j) fss_modewg_sc[j] = j <= nw / 2 ? 1 : 2;
  fss_screen.nsc = 2;
  fss_screen.nwg1 = nw / 2;
  fss_screen.nwg2 = nw - nw / 2;
  for (int c = 0; c < 3; ++c) {
    const bool skin = c == 1, air = c == 2;
    fss_stack.n = 0;
    if (skin) fss_stack.item[++fss_stack.n] = {stack_kind_layer, 0.8e-3, 3.0, 0.002, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_screen, 0.5e-3, 1, 0, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_layer, 5e-3, air ? 1.0 : 1.07, air ? 0 : 0.0005, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_screen, 0.5e-3, 1, 0, 0};
    for (double f : {10e9, 25e9}) {
      ASSERT_GT(stack_point(f), 4096);
      const double d = series_against_direct(f, [] { return fss_blocks.store; });
      std::printf(" %s, %.0f GHz: series against direct sums %.2e of the blocks' size\n",
                  skin ? "skin and gap" : air ? "gap of air" : "gap in air", f / 1e9, d);
      EXPECT_LT(d, 1e-8) << f;
      EXPECT_GT(d, 0) << f;  // the series was used
    }
  }
  fss_stack.n = 0;
  fss_stack_point = {};
  fss_screen = {2, 1, 0, 0};
  fss_set_capacities();
}

// Result rows through the whole sweep point, fast and straightforward: the
// solutions agree to 1e-10 and the rows of the result file are the same.
TEST_F(Coupling, ResultRowsEqualTheStraightforwardEvaluation) {
  fss_lattice_angle.alpha = 80 * M_PI / 180;
  fss_thickness = {0.6e-3, 0, 0};
  fss_kmax.flo = 2 * M_PI * 200e9 / dcspeed();
  fss_screen.nwg1 = fss_modewg_index.n;
  fss_freq_iter = {8e9, 26e9, 6e9};
  std::string rows[2];
  std::vector<std::vector<cplx>> solutions;
  std::size_t point = 0;
  for (int pass = 0; pass < 2; ++pass) {
    scratch_dir::write_file("cpl.out", "");
    for (double theta : {0.0, 0.5})
      for (double f = 8e9; f < 27e9; f += 6e9) {
        fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
        fss_inc_angle = {theta, 0.6, fss_em_var.k0 * std::sin(theta) * std::cos(0.6),
                         fss_em_var.k0 * std::sin(theta) * std::sin(0.6)};
        update_modes_wg();
        genmodes_flo();
        if (pass == 0) {
          calc_integrals();
          calc_mata();
        } else {
          straightforward_integrals();
          straightforward_mata();
        }
        calc_vettb();
        solve_prob();
        std::vector<cplx> x(fss_vettb.data1(), fss_vettb.data1() + fss_vettb.n);
        if (pass == 0) {
          solutions.push_back(x);
        } else {
          const std::vector<cplx>& ref = solutions[point++];
          double size = 0;
          for (const cplx& v : ref) size = std::max(size, std::abs(v));
          for (std::size_t k = 0; k < x.size(); ++k) EXPECT_LT(std::abs(x[k] - ref[k]), 1e-10 * size);
        }
        calc_ref_tr();
      }
    rows[pass] = scratch_dir::read_file("cpl.out");
  }
  EXPECT_FALSE(rows[0].empty());
  EXPECT_EQ(rows[0], rows[1]);
}

TEST_F(Coupling, CapacityOfTheIntegralTable) {
  // The largest catalogue with the largest Floquet set fits exactly; one
  // Floquet mode more does not.
  const int m = max_wg_modes, nf = max_flo_modes;
  fss_modewg_index.n = m;
  for (int j = 1; j <= m; ++j) {
    fss_modewg_index[j] = wg_te;
    fss_modewg_kappa[j] = 1000;
    fss_modewg_ap[j] = 1;
  }
  fss_coordinates.n = 1;
  fss_ap.r[1] = fss_ap_rec::range{};
  fss_ap.r[1].first = fss_ap.r[1].last = 1;
  fss_samplewg.n = m;
  fss_modeflo_index.n = nf;
  for (int k = 1; k <= nf; ++k) {
    fss_modeflo_index[k] = {0, 0, flo_te, 0};
    fss_modeflo_kappa[k] = {700, 700, 0};
  }
  calc_integrals();
  EXPECT_EQ(fss_integrals.n, nf * m);
  fss_modeflo_index.n = nf + 1;
  EXPECT_FATAL(calc_integrals(), "Subroutine calc_integrals fatal error message:\n"
                                 " Too many waveguide modes");
}
