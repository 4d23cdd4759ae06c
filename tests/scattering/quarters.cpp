// Apertures symmetric under both mirrors of the axes solved on their
// quarter in the four symmetry classes: the same modes and the same
// reflection and transmission as the whole outline, every mode of pure
// parity, the classes of the system, translated copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/classes.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/floquet.hpp"
#include "scattering/integrals.hpp"
#include "scattering/parities.hpp"
#include "scattering/system.hpp"
#include "records/modesolver.hpp"
#include "run/read_input.hpp"
#include "scattering/results.hpp"
#include "support/command_line.hpp"
#include "support/fatal.hpp"
#include "support/solver_run.hpp"
#include "support/sweep_points.hpp"
#include "support/system_solution.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

namespace {

// A structure in a 10 mm square lattice, 1 mm thick, with the Floquet limit
// twice the aperture limit.
void write_structure(const std::string& boundary, double limit_ghz, const std::string& incidence,
                     const std::string& sweep) {
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + boundary + "5)\n" +
                                       incidence + "\n6)\n" + sweep + "\n7)\n" + std::to_string(limit_ghz) +
                                       "\n8)\n" + std::to_string(2 * limit_ghz) + "\n");
}

const std::string cross =
    "-4 -1 -1 -1\n-1 -1 -1 -4\n-1 -4 1 -4\n1 -4 1 -1\n1 -1 4 -1\n4 -1 4 1\n"
    "4 1 1 1\n1 1 1 4\n1 4 -1 4\n-1 4 -1 1\n-1 1 -4 1\n-4 1 -4 -1\n";

struct catalogue {
  std::vector<int> kind;
  std::vector<double> kc;
  std::vector<fss_polar_rec> points;
};

// The sweep with the modes of the whole outline, or of its quarter.
catalogue run(bool quarters, double ratio) {
  quarter_split_modes = quarters ? 0 : 1 << 30;
  catalogue c;
  c.points = sweep_points("s", ratio);
  quarter_split_modes = max_wg_modes;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    c.kind.push_back(fss_modewg_index[j]);
    c.kc.push_back(fss_modewg_kappa[j]);
  }
  return c;
}

// The lines of a boundary moved along x (mm).
std::string shifted(const std::string& boundary, double dx) {
  std::istringstream in(boundary);
  std::ostringstream out;
  double x1, y1, x2, y2;
  while (in >> x1 >> y1 >> x2 >> y2) out << x1 + dx << ' ' << y1 << ' ' << x2 + dx << ' ' << y2 << '\n';
  return out.str();
}

// R and T of s.fss from the whole outlines and from their quarters (tables
// for `ratio` times a plain run's limits), how far apart: the same modes,
// with the count of real-form sums `count` unchanged by the whole run and
// raised by the quarters'.
double whole_against_quarters(long (*count)(), double ratio) {
  long before = count();
  const catalogue whole = run(false, ratio);
  EXPECT_EQ(count(), before);
  before = count();
  const catalogue quarter = run(true, ratio);
  EXPECT_GT(count(), before);
  EXPECT_EQ(quarter.kind, whole.kind);
  if (quarter.points.size() != whole.points.size()) {
    ADD_FAILURE() << "the sweeps differ: " << quarter.points.size() << " and " << whole.points.size() << " points";
    return HUGE_VAL;
  }
  return largest_rt_difference(whole.points, quarter.points);
}

double largest_asymmetry(int ap) {
  const std::vector<int> mx = aperture_mirror(ap, true), my = aperture_mirror(ap, false);
  if (mx.empty() || my.empty()) return 1;
  double a = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j)
    if (fss_modewg_ap[j] == ap) a = std::max({a, mode_asymmetry(j, mx), mode_asymmetry(j, my)});
  return a;
}

}  // namespace

// The cross solved whole and on its quarter.  At 150 GHz the two
// descriptions are segmented alike (the arm ends, cut at the axes, into
// halves of the whole's elements): the same modes to rounding, so the
// unfolding (points, parities, amplitude) must give the same reflection
// and transmission to rounding.  At 250 GHz the segmentations differ a
// little: the cutoffs move by up to 2.3e-4 (as much towards a finer
// computation's as the whole's), R and T by up to 4.4e-4.  Every quarter
// mode is exactly even or odd, and the system falls into its four classes
// at normal incidence, two in a plane of incidence phi = 0.
TEST(Quarters, CrossSolvedOnItsQuarterGivesTheWholeOutlinesAnswers) {
  scratch_dir dir;
  fss_set_capacities();
  struct setting {
    double limit, kc, rt;
  };
  for (const setting& c : {setting{150, 1e-12, 1e-11}, setting{250, 5e-4, 1e-3}})
    for (const std::string incidence : {"0 0", "30 0", "30 20"}) {
      write_structure(cross, c.limit, incidence, "17 29 4");
      const catalogue whole = run(false, c.limit / 100);
      EXPECT_GT(largest_asymmetry(1), 0.0);
      class_split_modes = 1;
      const catalogue quarter = run(true, c.limit / 100);
      EXPECT_GT(fss_ap.r[1].quarter, 0);
      const int classes = system_class_count();
      class_split_modes = max_wg_modes + 1;
      EXPECT_EQ(largest_asymmetry(1), 0.0);
      EXPECT_EQ(classes, incidence == "0 0" ? 4 : incidence == "30 0" ? 2 : 1);
      ASSERT_EQ(quarter.kind, whole.kind);
      double worst_kc = 0;
      for (std::size_t j = 0; j < whole.kc.size(); ++j) {
        worst_kc = std::max(worst_kc, std::fabs(quarter.kc[j] / whole.kc[j] - 1));
        if (j > 0 && quarter.kind[j] == quarter.kind[j - 1]) {
          EXPECT_GE(quarter.kc[j], quarter.kc[j - 1]);
        }
      }
      EXPECT_LT(worst_kc, c.kc);
      ASSERT_EQ(quarter.points.size(), whole.points.size());
      const double d = largest_rt_difference(whole.points, quarter.points);
      EXPECT_LT(d, c.rt);
      std::printf(" %g GHz, %s: %zu modes, cutoffs within %.1e, R and T within %.1e\n", c.limit,
                  incidence.c_str(), whole.kc.size(), worst_kc, d);
    }
}

// The stadium (its half circles cut by the axis) on its quarter: its first
// twelve TE and TM cutoffs as close to the finite-element values as the
// whole outline's (measured 1.5e-4 and 1.7e-4, the whole's 1.6e-4 and
// 1.8e-4), and R and T within 1e-4 of the whole's (measured 2.9e-5).
TEST(Quarters, ArcsCutByTheAxes) {
  scratch_dir dir;
  fss_set_capacities();
  const std::string stadium = "-3 -1.5 3 -1.5\n3 -1.5 3 1.5 4.5 0\n3 1.5 -3 1.5\n-3 1.5 -3 -1.5 -4.5 0\n";
  write_structure(stadium, 300, "0 0", "17 29 4");
  const catalogue whole = run(false, 3);
  const catalogue quarter = run(true, 3);
  EXPECT_GT(fss_ap.r[1].quarter, 0);
  EXPECT_EQ(largest_asymmetry(1), 0.0);
  for (const auto& [kind, list] : {std::pair{wg_te, "te"}, std::pair{wg_tm, "tm"}}) {
    const std::vector<double> ref = reference_cutoffs("stadium", list);
    double e[2] = {0, 0};
    for (int q = 0; q < 2; ++q) {
      const catalogue& c = q ? quarter : whole;
      std::size_t i = 0;
      for (std::size_t j = 0; j < c.kc.size() && i < 12; ++j)
        if (c.kind[j] == kind) e[q] = std::max(e[q], std::fabs(c.kc[j] * 1e-3 / ref[i++] - 1));
      ASSERT_EQ(i, 12u);
    }
    EXPECT_LT(e[1], 2e-4) << list;
    std::printf(" %s: first twelve cutoffs within %.1e (whole %.1e)\n", list, e[1], e[0]);
  }
  EXPECT_LT(largest_rt_difference(whole.points, quarter.points), 1e-4);
}

// Two crosses in a cell, the second a translated copy of the first: the
// copy takes the unfolded modes and points, and the answers are those of
// the whole outlines.
TEST(Quarters, TranslatedCopies) {
  scratch_dir dir;
  fss_set_capacities();
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n20 10\n2)\n90\n3)\n1\n4)\n" + shifted(cross, -5) + "#\n" +
                                       shifted(cross, 5) + "5)\n0 0\n6)\n12 20 4\n7)\n150\n8)\n300\n");
  const catalogue whole = run(false, 1.5);
  const catalogue quarter = run(true, 1.5);
  ASSERT_EQ(fss_ap.n, 2);
  EXPECT_EQ(fss_ap.r[2].copy, 1);
  EXPECT_GT(fss_ap.r[1].quarter, 0);
  EXPECT_EQ(fss_ap.r[2].quarter, fss_ap.r[1].quarter);
  EXPECT_EQ(largest_asymmetry(1), 0.0);
  EXPECT_EQ(largest_asymmetry(2), 0.0);
  EXPECT_EQ(quarter.kind, whole.kind);
  EXPECT_LT(largest_rt_difference(whole.points, quarter.points), 1e-11);
}

// Only where a plain run's table could not hold the modes: the cross's
// 181 modes at 305 GHz stay the whole outline's, its 285 at 381 GHz (an
// estimate clearly beyond 250) come from the quarter.
TEST(Quarters, OnlyBeyondAPlainRunsTable) {
  scratch_dir dir;
  fss_set_capacities();
  for (const double limit : {305.176, 381.47}) {
    write_structure(cross, limit, "0 0", "20 20 1");
    sweep_points("s", limit / 100);
    EXPECT_EQ(fss_ap.r[1].quarter > 0, limit > 350) << limit;
    EXPECT_EQ(largest_asymmetry(1) == 0.0, limit > 350) << limit;
    EXPECT_EQ(fss_modewg_index.n, limit > 350 ? 285 : 181);
  }
}

// The square ring: its inner conductor, cut by both axes, runs between the
// quarter's two ports and keeps its TEM mode.  At 30 degrees, where that
// mode couples, R and T within 1e-4 of the whole outline's (measured 1.9e-5,
// 1.0e-5 and 8.1e-6 at 100, 150 and 250 GHz: the TEM mode is computed with
// elements that end at the planes), the TE and TM cutoffs to 1e-12 where
// the two are segmented alike (100 and 150 GHz; 2.8e-4 at 250 GHz), the TEM
// impedance within 5e-4 (measured 2.3e-4 to 2.6e-4 above the whole's).
TEST(Quarters, InnerConductorRoundTheCentre) {
  scratch_dir dir;
  fss_set_capacities();
  const std::string ring =
      "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n"
      "-1.5 -1.5 1.5 -1.5\n1.5 -1.5 1.5 1.5\n1.5 1.5 -1.5 1.5\n-1.5 1.5 -1.5 -1.5\n";
  for (const double limit : {100.0, 150.0, 250.0}) {
    write_structure(ring, limit, "30 20", "5 29 4");
    const catalogue whole = run(false, limit / 100);
    const catalogue quarter = run(true, limit / 100);
    EXPECT_GT(fss_ap.r[1].quarter, 0);
    EXPECT_EQ(largest_asymmetry(1), 0.0);
    ASSERT_EQ(quarter.kind, whole.kind);
    ASSERT_EQ(whole.kind[0], wg_tem);
    EXPECT_EQ(std::count(whole.kind.begin(), whole.kind.end(), wg_tem), 1);
    EXPECT_NEAR(quarter.kc[0], whole.kc[0], 5e-4 * whole.kc[0]);
    double worst_kc = 0;
    for (std::size_t j = 1; j < whole.kc.size(); ++j)
      worst_kc = std::max(worst_kc, std::fabs(quarter.kc[j] / whole.kc[j] - 1));
    EXPECT_LT(worst_kc, limit < 200 ? 1e-12 : 5e-4);
    const double d = largest_rt_difference(whole.points, quarter.points);
    EXPECT_LT(d, 1e-4);
    std::printf(" %g GHz: %zu modes, TEM %.6g ohm (whole %.6g), cutoffs within %.1e, R and T within %.1e\n",
                limit, whole.kc.size(), quarter.kc[0], whole.kc[0], worst_kc, d);
  }
}

// The couplings of an aperture solved on its quarter are formed class by
// class over the quarter's points (each row of the sample matrix even or
// odd under both mirrors): the table equals the straightforward evaluation
// mode by mode over all the points, at normal and oblique incidence in a
// rectangular and a skewed lattice; with one sample moved (the rows no
// longer of pure parity) the whole product is taken, and it still does.
TEST(Quarters, CouplingsOverTheQuarterEqualTheStraightforwardSums) {
  scratch_dir dir;
  fss_set_capacities();
  write_structure(cross, 150, "0 0", "20 20 1");
  run(true, 1.5);
  ASSERT_EQ(fss_ap.r[1].quarter * 4, fss_ap.r[1].last - fss_ap.r[1].first + 1);
  const int nw = fss_modewg_index.n;
  fss_kmax.flo = 2 * M_PI * 150e9 / dcspeed();
  for (const bool moved : {false, true}) {
    if (moved) fss_samplewg[7] *= 1.001;
    for (double skew : {90.0, 63.0})
      for (double theta : {0.0, 35.0}) {
        fss_lattice_angle.alpha = skew * M_PI / 180;
        const double f = 21e9, th = theta * M_PI / 180;
        fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
        const double k0 = fss_em_var.k0;
        fss_inc_angle = {th, 0.35, k0 * std::sin(th) * std::cos(0.35), k0 * std::sin(th) * std::sin(0.35)};
        genmodes_flo();
        calc_integrals();
        const int nf = fss_modeflo_index.n;
        double size = 0, worst = 0;
        for (int k = 1; k <= nf * nw; ++k) size = std::max(size, std::abs(fss_integrals[k]));
        for (int m = 1; m <= nf; ++m) {
          calc_vettsigma(m);
          for (int j = 1; j <= nw; ++j)
            worst = std::max(worst, std::abs(fss_integrals[(m - 1) * nw + j] - fss_vettsigma[j]));
        }
        EXPECT_LT(worst, 1e-10 * size) << moved << " " << skew << " " << theta;
      }
  }
}

// The Hermitian sums of the modes of a quarter at oblique incidence in a
// skewed lattice: their couplings are exp(-i k.c) times a real number times
// a fourth root of unity, and the sums taken as real symmetric products
// equal the straightforward complex sums, over all entries and over the TE
// modes' alone.  With one sample moved (the modes no longer of pure parity)
// or a translated copy (a second centre) the real form is refused, and the
// sums still equal.
TEST(Quarters, HermitianSumsOfQuarterModesInRealForm) {
  scratch_dir dir;
  fss_set_capacities();
  for (const int variant : {0, 1, 2}) {
    if (variant == 2)
      scratch_dir::write_file("s.fss", "quarters\nt\n1)\n20 10\n2)\n90\n3)\n1\n4)\n" + shifted(cross, -5) +
                                           "#\n" + shifted(cross, 5) + "5)\n35 20\n6)\n20 20 1\n7)\n150\n8)\n300\n");
    else
      write_structure(cross, 150, "35 20", "20 20 1");
    run(true, 1.5);
    ASSERT_EQ(fss_ap.r[1].quarter * 4, fss_ap.r[1].last - fss_ap.r[1].first + 1);
    if (variant == 1) fss_samplewg[7] *= 1.001;
    const int nw = fss_modewg_index.n;
    fss_lattice_angle.alpha = 63 * M_PI / 180;
    genmodes_flo();
    calc_integrals();
    const int nf = fss_modeflo_index.n;
    std::vector<int> list, te;
    for (int m = 1; m <= nf; ++m) list.push_back(m);
    for (int j = 1; j <= nw; ++j)
      if (fss_modewg_index[j] == wg_te) te.push_back(j - 1);
    auto row = [&](int m) { return &fss_integrals[(m - 1) * nw + 1]; };
    auto w = [](int m) { return 1 + 0.5 * std::sin(0.3 * m); };
    for (const std::vector<int>* kept : std::vector<const std::vector<int>*>{nullptr, &te}) {
      std::vector<cplx> c(static_cast<std::size_t>(nw) * nw, 0);
      const long before = real_form_sums();
      hermitian_add(nw, list, row, w, -1, c.data(), kept);
      EXPECT_EQ(real_form_sums() - before, variant == 0 ? 1 : 0) << variant;
      std::vector<char> in(nw, kept == nullptr);
      if (kept)
        for (int t : *kept) in[t] = 1;
      double size = 0, worst = 0;
      for (int b = 0; b < nw; ++b)
        for (int a = 0; a <= b; ++a) {
          cplx s = 0;
          if (in[a] && in[b])
            for (int m : list) s -= w(m) * row(m)[a] * std::conj(row(m)[b]);
          size = std::max(size, std::abs(s));
          worst = std::max(worst, std::abs(c[a + static_cast<std::size_t>(b) * nw] - s));
        }
      EXPECT_GT(size, 0);
      EXPECT_LT(worst, 1e-12 * size) << variant;
    }
  }
}

// At oblique incidence the mirror halves of a quarter's system, turned by
// D = diag(iota), are complex symmetric and factorised as L D L^T: the same
// solution as LU for the waves from either side, to 1e-11 of its size (and
// not bit for bit: the other factorisation was taken).
TEST(Quarters, TurnedHalvesAtObliqueIncidenceFactorisedAsLdlt) {
  scratch_dir dir;
  fss_set_capacities();
  write_structure(cross, 150, "35 20", "20 20 1");
  run(true, 1.5);
  fss_lattice_angle.alpha = 63 * M_PI / 180;
  genmodes_flo();
  calc_integrals();
  const std::vector<cplx> lu = both_sides_solution(1, 1 << 30), ldlt = both_sides_solution(1, 1);
  ASSERT_EQ(lu.size(), ldlt.size());
  double size = 0, worst = 0;
  size_and_gap(lu, ldlt, size, worst);
  EXPECT_GT(size, 0);
  EXPECT_LT(worst, 1e-11 * size);
  EXPECT_GT(worst, 0);
}

// Two screens of crosses about one centre with a lossy spacer (the
// two-screen filter's stack) from their quarters: the admittance products
// of the faces and across the gap are taken in real arithmetic, and R and T
// are those of the whole outlines (segmented alike at 150 GHz) to rounding,
// at normal and oblique incidence.  The whole outlines take none.
TEST(Quarters, TwoScreensProductsInRealForm) {
  scratch_dir dir;
  fss_set_capacities();
  for (const std::string incidence : {"0 0", "30 20"}) {
    scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + cross + "$ screen 2\n" + cross +
                                         "5)\n" + incidence + "\n6)\n17 29 4\n7)\n150\n8)\n300\n9)\nscreen\n"
                                         "5.0 1.07 0.0005\nscreen\n");
    const double d = whole_against_quarters(screens_real_products, 1.5);
    ASSERT_EQ(fss_screen.nsc, 2);
    EXPECT_LT(d, 1e-11) << incidence;
    std::printf(" two screens, %s: R and T within %.1e\n", incidence.c_str(), d);
  }
}

// At normal incidence over a sweep the far Floquet modes take their series
// and the near ones their pairs of opposite kt, each pair's real part
// 2 (a a^T + b b^T) = 2 Re(iota_a conj(iota_b)) r_a r_b for the quarter's
// modes: one real vector per mode.  The cross from its quarter and whole
// (segmented alike at 150 GHz), Floquet modes to 800 GHz (beyond one block),
// 25 frequencies: R and T the same to rounding, and the sums of the
// quarter's run taken so.
TEST(Quarters, PairsOfOppositeKtInRealForm) {
  scratch_dir dir;
  fss_set_capacities();
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + cross +
                                       "5)\n0 0\n6)\n17 29 0.5\n7)\n150\n8)\n800\n");
  const double d = whole_against_quarters(real_form_sums, 3);
  EXPECT_GT(fss_modeflo_index.n, 4096);
  EXPECT_LT(d, 1e-11);
  std::printf(" pairs of opposite kt: R and T within %.1e\n", d);
}

namespace {

// R and T of s.fss from the quarters' modes with every split by mirror
// classes allowed and with none (class_split_modes beyond any count), how
// far apart; `split` whether the first split as `splits` counts (the far
// series of normal incidence, or the far share of oblique incidence by the
// mirror of its plane).  The storage of each run is given back first: no
// far-share interpolant of another run is kept.
double split_against_whole(double ratio, long (*splits)(), bool& split) {
  quarter_split_modes = 0;
  const int keep = class_split_modes;
  class_split_modes = 1 << 30;
  long before = splits();
  release_sweep_storage();
  const std::vector<fss_polar_rec> whole = sweep_points("s", ratio);
  EXPECT_EQ(splits(), before);
  class_split_modes = 1;
  before = splits();
  release_sweep_storage();
  const std::vector<fss_polar_rec> by_classes = sweep_points("s", ratio);
  split = splits() > before;
  class_split_modes = keep;
  quarter_split_modes = max_wg_modes;
  if (by_classes.size() != whole.size() || whole.empty()) {
    ADD_FAILURE() << "the sweeps differ: " << by_classes.size() << " and " << whole.size() << " points";
    return HUGE_VAL;
  }
  return largest_rt_difference(whole, by_classes);
}

}  // namespace

// The far series at normal incidence summed within each mirror class of the
// modes (the blocks between classes left zero), and the near modes' pairs
// too where the mirrors map the near set onto itself: the cross's quarter modes
// (TE and TM of all four classes), Floquet modes to 800 GHz over 25
// frequencies, R and T the same to rounding as with the whole products.
// A class given to a TE mode by its potential's parities instead of its
// field's drops the couplings between TE and TM modes: R and T then move by
// far more.  A triangular lattice entered to seven digits splits too (its
// images matched to 1e-7 of kt).  A lattice whose Floquet set is not closed
// under the mirrors (skewed by 75 degrees), and a cross off the centre of
// another, keep the whole products.
TEST(Quarters, FarSeriesSummedByMirrorClasses) {
  scratch_dir dir;
  fss_set_capacities();
  const std::string tail = "5)\n0 0\n6)\n17 29 0.5\n7)\n150\n8)\n800\n";
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + cross + tail);
  bool split = false;
  long near = near_pair_class_sums();
  double d = split_against_whole(3, far_class_splits, split);
  EXPECT_TRUE(split);
  EXPECT_GT(near_pair_class_sums(), near);  // the near pairs by classes too
  EXPECT_GT(fss_modeflo_index.n, 4096);
  EXPECT_LT(d, 1e-11);
  std::printf(" far series by mirror classes: R and T within %.1e\n", d);
  std::vector<int> cls;
  ASSERT_TRUE(mode_mirror_classes(cls));
  int count[4] = {};
  for (int c : cls) ++count[c];
  for (int c = 0; c < 4; ++c) EXPECT_GE(count[c], 5) << "class " << c;
  // A triangular lattice entered to seven digits (symmetric to 2e-8): its
  // harmonics matched as mirror images to 1e-7 of kt, the series and the
  // near pairs' sums those of the exactly symmetric lattice (R and T by
  // 7e-10, the near pairs' sums between classes that the asymmetry leaves
  // dropped).
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 8.660254\n2)\n60\n3)\n1\n4)\n" + cross +
                                       "5)\n0 0\n6)\n17 29 0.5\n7)\n150\n8)\n900\n");
  near = near_pair_class_sums();
  d = split_against_whole(3, far_class_splits, split);
  EXPECT_TRUE(split);
  EXPECT_GT(near_pair_class_sums(), near);
  EXPECT_GT(fss_modeflo_index.n, 4096);
  EXPECT_LT(d, 1e-9);
  std::printf(" far series by mirror classes, triangular lattice: R and T within %.1e\n", d);
  // A skewed lattice: no mirror of the far set.
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n75\n3)\n1\n4)\n" + cross + tail);
  near = near_pair_class_sums();
  d = split_against_whole(3, far_class_splits, split);
  EXPECT_FALSE(split);
  EXPECT_EQ(near_pair_class_sums(), near);
  EXPECT_LT(d, 1e-11);
  // Two crosses about different centres in a 20 mm cell.
  scratch_dir::write_file("s.fss", "quarters\nt\n1)\n20 10\n2)\n90\n3)\n1\n4)\n" + shifted(cross, -5) + "#\n" +
                                       shifted(cross, 5) + tail);
  near = near_pair_class_sums();
  d = split_against_whole(1.5, far_class_splits, split);
  EXPECT_FALSE(split);
  EXPECT_EQ(near_pair_class_sums(), near);
  EXPECT_LT(d, 1e-11);
}

// The couplings of an outline solved whole whose modes are of pure parity
// are summed over the orbits of its points under the two mirrors (one real
// product per class over a representative of each orbit): the 7 mm circle
// of the circular holes, the 8 x 2 mm slot and a 6 x 3 mm rectangle at 30
// degrees, phi 20, and at normal incidence, against the whole products of
// the same modes, R and T within 1e-13.  The rectangle with its bottom side
// split 3e-9 mm off the axis (its points mirror images only to that) keeps
// the whole products.
TEST(Quarters, CouplingsOfWholeOutlinesOverTheOrbitsOfTheirPoints) {
  scratch_dir dir;
  fss_set_capacities();
  const std::string rectangle = "3 -1.5 3 1.5\n3 1.5 -3 1.5\n-3 1.5 -3 -1.5\n";
  const std::string outlines[] = {"3.5 0 3.5 0 -3.5 0\n", "-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n",
                                  "-3 -1.5 3 -1.5\n" + rectangle,
                                  "-3 -1.5 0.000000003 -1.5\n0.000000003 -1.5 3 -1.5\n" + rectangle};
  const int keep = class_split_modes;
  class_split_modes = 1;
  for (const std::string& boundary : outlines)
    for (const std::string incidence : {"30 20", "0 0"}) {
      scratch_dir::write_file("s.fss", "orbits\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + boundary + "5)\n" + incidence +
                                           "\n6)\n17 19 0.5\n7)\n150\n8)\n450\n");
      whole_outline_orbit_products = false;
      const long before = whole_outline_orbit_counts().products;
      release_sweep_storage();
      const std::vector<fss_polar_rec> whole = sweep_points("s", 3);
      EXPECT_EQ(whole_outline_orbit_counts().products, before);
      whole_outline_orbit_products = true;
      release_sweep_storage();
      const std::vector<fss_polar_rec> orbits = sweep_points("s", 3);
      EXPECT_TRUE(fss_ap.r[1].pure_parity) << boundary;
      const bool exact = boundary.find("0.000000003") == std::string::npos;
      EXPECT_EQ(whole_outline_orbit_counts().products > before, exact) << boundary;
      ASSERT_EQ(orbits.size(), whole.size());
      const double d = largest_rt_difference(whole, orbits);
      EXPECT_LT(d, 1e-13) << boundary << incidence;
      std::printf(" couplings over the orbits of the points, %zu points%s, %s: R and T within %.1e\n",
                  static_cast<std::size_t>(fss_ap.r[1].last - fss_ap.r[1].first + 1),
                  exact ? "" : " (not exact images)", incidence.c_str(), d);
    }
  class_split_modes = keep;
}

// At oblique incidence in a plane of symmetry (phi 0: the mirror y -> -y;
// phi 90: x -> -x) the far Floquet modes' share is computed from the modes
// on one side of the mirror, each standing for its image too, and summed
// within the mirror's two classes of aperture modes: the cross's quarter
// modes at 30 degrees, Floquet modes to 800 GHz (900 on the triangular
// lattice, whose cell is smaller), R and T the same to
// rounding as from the whole far set, both when the share is interpolated
// over 25 frequencies and when it is summed at each of 5 (phi 0 and 180); on a triangular
// lattice entered to seven digits (symmetric to 2e-8) within 5e-8, measured
// 1.2e-8: the near modes' sums, taken by the mirror's classes too, drop
// their couplings between classes, which that asymmetry leaves at 1e-8.
// Out of the plane (phi 20, and phi 0.0001 and 1e-6: the plane is taken to
// rounding only, for the near sums too, whose images the 1e-7 of kt allowed
// a lattice would match at 1e-6 degrees) and on a lattice skewed by 75
// degrees (whose far set the mirror does not keep) the sums stay whole.
TEST(Quarters, ObliqueFarShareByTheMirrorOfItsPlane) {
  scratch_dir dir;
  fss_set_capacities();
  struct case_t {
    std::string incidence, sweep, skew, cell;
    bool split;
  };
  const case_t cases[] = {{"30 0", "17 29 0.5", "90", "10 10", true},
                          {"30 90", "17 29 0.5", "90", "10 10", true},
                          {"30 180", "17 19 0.5", "90", "10 10", true},
                          {"30 0.0001", "17 19 0.5", "90", "10 10", false},
                          {"30 0.000001", "17 19 0.5", "90", "10 10", false},
                          {"30 0", "17 19 0.5", "90", "10 10", true},
                          {"30 0", "17 29 0.5", "60", "10 8.660254", true},
                          {"30 20", "17 19 0.5", "90", "10 10", false},
                          {"30 0", "17 19 0.5", "75", "10 10", false}};
  for (const case_t& c : cases) {
    scratch_dir::write_file("s.fss", "quarters\nt\n1)\n" + c.cell + "\n2)\n" + c.skew + "\n3)\n1\n4)\n" + cross +
                                         "5)\n" + c.incidence + "\n6)\n" + c.sweep + "\n7)\n150\n8)\n" +
                                         (c.skew == "60" ? "900" : "800") + "\n");  // beyond one block of Floquet modes
    bool split = false;
    const long class_sums = admittance_class_sums();
    const double d = split_against_whole(3, far_mirror_splits, split);
    EXPECT_EQ(split, c.split) << c.incidence << ", skew " << c.skew << ", " << c.sweep;
    // The near modes' sums by the mirror's classes too.
    EXPECT_EQ(admittance_class_sums() > class_sums, c.split) << c.incidence << ", skew " << c.skew;
    // The triangular lattice of b = 8.660254 mm is symmetric to 2e-8: its
    // harmonics are matched as images of each other to 1e-7 of kt, the
    // sums taken as those of the exactly symmetric lattice.
    EXPECT_LT(d, c.skew == "60" ? 5e-8 : 1e-11) << c.incidence << ", skew " << c.skew << ", " << c.sweep;
    std::printf(" oblique far share by its mirror, %s, skew %s, %s GHz: R and T within %.1e\n",
                c.incidence.c_str(), c.skew.c_str(), c.sweep.c_str(), d);
  }
}

// The mirror classes of the modes are kept for the modes they were found
// for: an 8 x 2 mm slot and then a 2 x 8 mm one (as many modes and points,
// other classes) in one process, at 30 degrees, phi 0, the second as when
// run alone.
TEST(Quarters, MirrorClassesFollowTheModes) {
  scratch_dir dir;
  fss_set_capacities();
  const int keep = class_split_modes;
  class_split_modes = 1;
  auto slot = [](const std::string& boundary) {
    scratch_dir::write_file("s.fss", "slots\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + boundary +
                                         "5)\n30 0\n6)\n17 19 0.5\n7)\n150\n8)\n800\n");
  };
  const std::string across = "-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n",
                    along = "-1 -4 1 -4\n1 -4 1 4\n1 4 -1 4\n-1 4 -1 -4\n";
  slot(along);
  release_sweep_storage();
  const std::vector<fss_polar_rec> alone = sweep_points("s", 3);
  const long splits = far_mirror_splits();
  slot(across);
  release_sweep_storage();
  sweep_points("s", 3);
  slot(along);
  const std::vector<fss_polar_rec> after = sweep_points("s", 3);  // no storage released
  class_split_modes = keep;
  EXPECT_GT(far_mirror_splits(), splits);
  ASSERT_EQ(after.size(), alone.size());
  EXPECT_LT(largest_rt_difference(alone, after), 1e-13);
}

// A whole outline whose modes all come out of the mode solver of pure
// parity under both mirrors (turned so where systems split into classes)
// takes the real forms of a quarter's modes, at normal incidence (the far
// series and near pairs) and at 30 degrees, phi 20 (the Hermitian sums),
// Floquet modes to 800 GHz.  The 8 x 2 mm slot (its enclosing guide's own
// modes, which the turning leaves): R and T the same to rounding as with
// the complex products.  The cross solved whole (segmented as its quarter
// at 150 GHz): the same to rounding as from its quarter.  Real sums are
// taken only where the modes were turned.
TEST(Quarters, WholeOutlinesOfPureParityInRealForm) {
  scratch_dir dir;
  fss_set_capacities();
  const std::string slot = "-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n";
  const int keep = class_split_modes;
  for (const std::string& boundary : {slot, cross})
    for (const std::string& incidence : {std::string("0 0"), std::string("30 20")}) {
      scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + boundary + "5)\n" +
                                           incidence + "\n6)\n17 29 0.5\n7)\n150\n8)\n800\n");
      std::vector<fss_polar_rec> reference;
      long before = real_form_sums();
      if (boundary == slot) {
        class_split_modes = 1 << 30;
        release_sweep_storage();  // no far-share interpolant of other modes kept
        reference = sweep_points("s", 3);
        EXPECT_EQ(real_form_sums(), before);
      } else {
        class_split_modes = 1;
        quarter_split_modes = 0;
        release_sweep_storage();
        reference = sweep_points("s", 3);
        quarter_split_modes = max_wg_modes;
      }
      class_split_modes = 1;
      before = real_form_sums();
      release_sweep_storage();
      const std::vector<fss_polar_rec> whole = sweep_points("s", 3);
      EXPECT_GT(real_form_sums(), before) << incidence;
      EXPECT_TRUE(fss_ap.r[1].pure_parity);
      EXPECT_EQ(fss_ap.r[1].quarter, 0);
      class_split_modes = keep;
      ASSERT_EQ(whole.size(), reference.size());
      const double d = largest_rt_difference(reference, whole);
      EXPECT_LT(d, 1e-11) << incidence;
      std::printf(" whole outline of pure parity, %s: R and T within %.1e\n", incidence.c_str(), d);
    }
}

// Two screens of crosses (as in TwoScreensProductsInRealForm) from their quarters, products by mirror classes
// allowed (class_split_modes 1) and not: where the mirrors keep the
// incidence (normal: both, four classes; phi 0: y -> -y, two) the faces'
// products and those across the gap run class by class, and R and T are
// those of the whole products to rounding; off the planes (phi 20) they
// stay whole.
TEST(Quarters, TwoScreensProductsByMirrorClasses) {
  scratch_dir dir;
  fss_set_capacities();
  for (const std::string incidence : {"0 0", "30 0", "30 20"}) {
    scratch_dir::write_file("s.fss", "quarters\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + cross + "$ screen 2\n" + cross +
                                         "5)\n" + incidence + "\n6)\n17 29 4\n7)\n150\n8)\n300\n9)\nscreen\n"
                                         "5.0 1.07 0.0005\nscreen\n");
    bool split = false;
    const double d = split_against_whole(1.5, screens_class_products, split);
    EXPECT_EQ(split, incidence != "30 20") << incidence;
    EXPECT_LT(d, 1e-11) << incidence;
    std::printf(" two screens by mirror classes, %s: R and T within %.1e\n", incidence.c_str(), d);
  }
}


// A quarter that the mode solver's tables do not hold is solved whole, and
// the run then stops with the whole outline's own message.  The cross with
// room for 6000 aperture modes and the solver's tables of a plain run: at
// 400 GHz its quarter holds them (and the quarter is taken); at 600 GHz its
// quarter's enclosing-guide modes outgrow their table, and the message is
// word for word the one the whole outline gives when quarters are not
// taken at all, naming the limit up to which the whole fits (293.2 GHz,
// below the 400 GHz the quarter ran at) and the structure file's block 7.
TEST(Quarters, QuarterBeyondTheSolverTablesIsSolvedWhole) {
  scratch_dir dir;
  auto catalogue = [](double limit_ghz, int split_from) {
    write_structure(cross, limit_ghz, "0 0", "17 19 1");
    set_command_line("s", {});
    fss_size_capacities(6000, 8000, max_points);
    solver_scale = 1;
    quarter_split_modes = split_from;
    read_input_fss();
    write_output();
    genmodes_wg();
  };
  catalogue(400, 0);
  EXPECT_GT(fss_modewg_index.n, max_wg_modes);
  EXPECT_GT(fss_ap.r[1].quarter, 0);
  const std::string whole =
      " Subroutine calc_mode_wg fatal error message:\n Mode solver table of enclosing-guide modes (amo) "
      "outgrown at block 7 = 600 GHz: more than 800; block 7 up to 293.2 GHz fits\n line 27 of s.fss: ";
  EXPECT_FATAL(catalogue(600, 1 << 30), whole);
  EXPECT_FATAL(catalogue(600, 0), whole);
  quarter_split_modes = max_wg_modes;
  fss_set_capacities();
}
