// TE and TM modes of apertures against independent values: apertures equal
// to their enclosure (the guide's own modes, analytic), finite-element
// cutoffs of an L-shape, a stadium and a coaxial annulus (TE), and shapes
// with closed-form cutoffs (right isosceles triangle, rectangle and circle
// strictly inside a larger enclosure).  Goal: the first twelve cutoffs of
// each kind within 0.1 %, none missing, none spurious.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "modefields/mode_files.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "run/driver.hpp"
#include "records/modesolver_matrices.hpp"
#include "scattering/catalogue.hpp"
#include "support/analytic_modes.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

const double pi = 3.141592653589793;

class ModeCutoffs : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override { fss_set_capacities(); }
};

// The mode files carry kc / L with L the single-precision 0.001 m, that is
// 4.47e-8 below the exact value: the guide's own modes agree to that.
const double file_scale = 0.001 / mode_file_scale(3);

// Zeros of f(n, x) below xmax for n = 0 .. 39, searched from x = n + start
// by bisection on the standard library's Bessel functions, ascending, each
// n >= 1 twice (its cos and sin variants).
template <class F>
std::vector<double> zeros_by_order(double xmax, double start, F f) {
  std::vector<std::pair<double, int>> z;
  for (int n = 0; n < 40; ++n) {
    auto d = [&f, n](double x) { return f(n, x); };  // the order fixed
    for (double x = n + start; x < xmax; x += 0.05) {
      if (d(x) * d(x + 0.05) > 0) continue;
      double a = x, b = x + 0.05;
      for (int it = 0; it < 100; ++it) {
        double m = 0.5 * (a + b);
        (d(a) * d(m) <= 0 ? b : a) = m;
      }
      z.push_back({0.5 * (a + b), n});
    }
  }
  std::sort(z.begin(), z.end());
  std::vector<double> v;
  for (auto& [x, n] : z) {
    v.push_back(x);
    if (n > 0) v.push_back(x);
  }
  return v;
}

// Zeros of J'n (the zero of J'0 at the origin excluded).
std::vector<double> bessel_prime_zeros(double xmax) {
  return zeros_by_order(xmax, 0.1, [](int n, double x) {
    return n == 0 ? -std::cyl_bessel_j(1, x)
                  : 0.5 * (std::cyl_bessel_j(n - 1, x) - std::cyl_bessel_j(n + 1, x));
  });
}

// Zeros of Jn.
std::vector<double> bessel_zeros(double xmax) {
  return zeros_by_order(xmax, 0.5, [](int n, double x) { return std::cyl_bessel_j(n, x); });
}

// Compares the first `count` cutoffs with the reference: worst relative error.
double compare(const std::vector<double>& got, const std::vector<double>& ref, int count,
               double tol, const std::string& what) {
  EXPECT_GE(static_cast<int>(got.size()), count) << what;
  double worst = 0;
  for (int k = 0; k < count && k < static_cast<int>(got.size()); ++k) {
    double e = got[k] / ref[k] - 1;
    worst = std::max(worst, std::fabs(e));
    EXPECT_NEAR(got[k], ref[k], tol * ref[k]) << what << " mode " << k + 1;
  }
  std::printf(" %s: worst relative error of the first %d cutoffs %.2e\n", what.c_str(), count,
              worst);
  return worst;
}

// Cutoffs of a w x h rectangle below kmax: TE (m, n >= 0, not both 0) or TM
// (m, n >= 1).
std::vector<double> rectangle_modes(double w, double h, double kmax, bool te = true) {
  std::vector<double> v;
  for (int m = te ? 0 : 1; m * pi / w <= kmax; ++m)
    for (int n = te ? 0 : 1; std::hypot(m * pi / w, n * pi / h) <= kmax; ++n)
      if (m || n) v.push_back(std::hypot(m * pi / w, n * pi / h));
  std::sort(v.begin(), v.end());
  return v;
}

// Cutoffs (rad/mm) of one kind in the ".wgm" list the driver wrote.
std::vector<double> listed(int kind) {
  solver_result r;
  std::ifstream wgm("job.wgm");
  int n = 0;
  wgm >> n;
  std::vector<double> k;
  for (int i = 0; i < n; ++i) {
    double kc;
    int kd;
    wgm >> kc >> kd;
    if (kd == kind) k.push_back(kc / 1000);
  }
  return k;
}

double kmax_per_mm(double fghz) { return 2 * pi * fghz * 1e9 / 299800000.0 * 1e-3; }

}  // namespace

// A rectangle equal to its enclosure: every contour element lies on the wall,
// no basis function exists, and the modes are the rectangle's TE and TM
// modes with kc <= kmax, TE first; the samples are the normalised potential
// (TE) and -dpsi/dn (TM) at the points, times the weights.
TEST_F(ModeCutoffs, RectangleEqualToItsEnclosure) {
  const double w = 6, h = 2.5, f = 120;
  solver_result r = run_solver({"-3 -1.25 3 -1.25", "3 -1.25 3 1.25", "3 1.25 -3 1.25",
                                "-3 1.25 -3 -1.25"},
                               f);
  EXPECT_EQ(fbo.nreg, 0);
  const rect_aperture ap{0, 0, w * 1e-3, h * 1e-3};
  const double len = mode_file_scale(3);
  double wsum = 0;
  for (int i = 1; i <= xypts.n; ++i) wsum += xywgt[i];
  EXPECT_NEAR(wsum, 2 * (w + h), 1e-6);
  ASSERT_EQ(static_cast<int>(r.x.size()), xypts.n);
  std::size_t j = 0;  // sample rows: TE modes, then TM modes
  for (int kind : {2, 1}) {
    std::vector<double> want = rectangle_modes(w, h, kmax_per_mm(f), kind == 2);
    std::vector<double> got = cutoffs_per_mm(r, kind);
    ASSERT_EQ(got.size(), want.size()) << kind;
    for (std::size_t k = 0; k < want.size(); ++k, ++j) {
      EXPECT_NEAR(got[k], want[k] * file_scale, 1e-12);
      // The mode indices from the cutoff (no two modes of these sides coincide).
      rect_mode md{kind, 0, 0, 0};
      for (int m = 0; m < 12; ++m)
        for (int n = 0; n < 6; ++n)
          if (std::fabs(std::hypot(m * pi / w, n * pi / h) - want[k]) < 1e-9) md = {kind, m, n, 0};
      ASSERT_LT(j, r.smp.size());
      for (int i = 0; i < xypts.n; ++i) {
        double dx, dy;
        double psi = rect_psi(ap, md, r.x[i], r.y[i], &dx, &dy);
        double tx = xytan[i + 1].x, ty = xytan[i + 1].y;
        double want_s = kind == 2 ? psi : tx * dy - ty * dx;  // TM: -dpsi/dn
        double scale = kind == 2 ? std::sqrt(4 / (w * h)) * 1e3 : want[k] * 1e3 * 2e3 / std::sqrt(w * h);
        EXPECT_NEAR(r.smp[j][i] / (xywgt[i + 1] * len), want_s, 1e-6 * scale)
            << "kind " << kind << " mode " << k + 1 << " point " << i + 1;
      }
    }
  }
  EXPECT_EQ(j, r.smp.size());
}

// A full circle gets the circle as its enclosing guide: the modes are those
// of the circular guide, kc = x'(n, k) / a (TE) and x(n, k) / a (TM), cos
// variant before sin variant.  The TE samples are checked on the wall.
TEST_F(ModeCutoffs, CircleEqualToItsEnclosure) {
  const double a = 3.5, f = 100;
  solver_result r = run_solver({"4.5 -1 4.5 -1 -2.5 -1"}, f);  // centre (1, -1)
  EXPECT_EQ(fbo.nreg, 0);
  EXPECT_LE(blok2[1][7], 0);  // circular enclosure
  std::vector<double> tm = bessel_zeros(kmax_per_mm(f) * a);
  std::vector<double> got_tm = cutoffs_per_mm(r, 1);
  ASSERT_EQ(got_tm.size(), tm.size());
  for (std::size_t k = 0; k < tm.size(); ++k)
    EXPECT_NEAR(got_tm[k], tm[k] / a * file_scale, 1e-9 * got_tm[k]);
  std::vector<double> want = bessel_prime_zeros(kmax_per_mm(f) * a);
  std::vector<double> got = cutoffs_per_mm(r, 2);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k)
    EXPECT_NEAR(got[k], want[k] / a * file_scale, 1e-9 * got[k]);

  // TE samples on the wall: -Jn(kc r) {cos n phi, sin n phi} N; the orders
  // of the modes from the TE list of the enclosure.
  code_boundary({"4.5 -1 4.5 -1 -2.5 -1"}, f);
  run_driver("te\n");
  const double len = mode_file_scale(3);
  for (std::size_t j = 0; j < want.size(); ++j) {
    const int order = amo[static_cast<int>(j) + 1].i1, n = std::abs(order);
    EXPECT_NEAR(amo[static_cast<int>(j) + 1].kc * a, want[j], 1e-6);
    double x = want[j], am = a * 1e-3, kc = x / am;
    double norm = std::sqrt(2 / ((1 - (n / x) * (n / x)) * pi * (n == 0 ? 2 : 1))) / am /
                  std::fabs(std::cyl_bessel_j(n, x));
    for (int i = 0; i < xypts.n; ++i) {
      double dx = r.x[i] - 1e-3, dy = r.y[i] + 1e-3, rr = std::hypot(dx, dy), ph = std::atan2(dy, dx);
      EXPECT_NEAR(rr, am, 1e-7 * am);  // the single-precision metre
      double ang = order < 0 ? std::cos(n * ph) : order > 0 ? std::sin(n * ph) : 1;
      double psi = -std::cyl_bessel_j(n, kc * rr) * ang * norm;
      EXPECT_NEAR(r.smp[j][i] / (xywgt[i + 1] * len), psi, 1e-6 * norm) << "mode " << j + 1;
    }
  }
}

// Finite-element cutoffs, converged to about 1e-8 (tests/data/cutoffs).
// L-shape: the twelfth TE cutoff lies at 99.9 GHz, the twelfth TM one at
// 134 GHz.  At 150 GHz the first twelve TE cutoffs are within 4.1e-4 (at
// 110 GHz 1.3e-3, the eleventh mode: accuracy falls towards the limit, set by
// the enclosing-guide modes, which reach twice the limit), the TM ones within
// 4.6e-4; at 200 GHz the TM ones within 2.5e-4.  The re-entrant corner's
// singular field is the hard part for TM: the first TM mode, the one most
// concentrated there, converges slowest (-3.1e-4, -2.5e-4, -2.0e-4 at 150,
// 200, 250 GHz).
TEST_F(ModeCutoffs, LShapeAgainstFiniteElements) {
  solver_result r = run_solver(reference_geometry("lshape"), 150);
  compare(cutoffs_per_mm(r, 2), reference_cutoffs("lshape", "te"), 12, 1e-3, "L-shape TE, 150 GHz");
  compare(cutoffs_per_mm(r, 1), reference_cutoffs("lshape", "tm"), 12, 1e-3, "L-shape TM, 150 GHz");
  r = run_solver(reference_geometry("lshape"), 200);
  std::vector<double> tm = cutoffs_per_mm(r, 1), ref = reference_cutoffs("lshape", "tm");
  for (int k = 0; k < 12; ++k)
    std::printf("   L-shape TM mode %2d: %.7f /mm, error %+.2e\n", k + 1, tm[k], tm[k] / ref[k] - 1);
  compare(tm, ref, 12, 5e-4, "L-shape TM, 200 GHz");
}

// Stadium: semicircular ends replaced by area-keeping polygons.  TE worst
// 6.1e-4 at 220 GHz (5.3e-3 at 110 GHz, 9.6e-4 at 150 GHz): finer arcs do not
// change it, more enclosing-guide modes do; TM worst 6.3e-4 at 220 GHz
// (1.4e-3 at 150 GHz).
TEST_F(ModeCutoffs, StadiumAgainstFiniteElements) {
  solver_result r = run_solver(reference_geometry("stadium"), 220);
  compare(cutoffs_per_mm(r, 2), reference_cutoffs("stadium", "te"), 12, 1e-3, "stadium TE, 220 GHz");
  compare(cutoffs_per_mm(r, 1), reference_cutoffs("stadium", "tm"), 12, 1e-3, "stadium TM, 220 GHz");
}

// Coaxial annulus (radii 4 and 1.5 mm): the outer circle is the enclosure
// wall; the inner conductor becomes a polygon whose chords keep within a
// thousandth of its radius.  At 130 GHz (the twelfth TM cutoff lies at
// 119 GHz) TE worst 6.8e-4, TM 2.3e-4; at 110 GHz TE 9.2e-4.  (With chords
// held within max(a, b)/400 = 0.02 mm alone, 1.3 % of the radius, the errors
// were 3.8e-3 and 4.7e-3: the conductor shrank.)
TEST_F(ModeCutoffs, AnnulusAgainstFiniteElements) {
  solver_result r = run_solver(reference_geometry("annulus"), 130);
  compare(cutoffs_per_mm(r, 2), reference_cutoffs("annulus", "te"), 12, 1e-3, "annulus TE, 130 GHz");
  compare(cutoffs_per_mm(r, 1), reference_cutoffs("annulus", "tm"), 12, 1e-3, "annulus TM, 130 GHz");
}

// Right isosceles triangle with legs of 6 mm: kc = (pi / 6) sqrt(m^2 + n^2),
// m >= n >= 0 (TE) and m > n >= 1 (TM).  Its legs lie on the enclosure wall
// and its hypotenuse carries the basis functions; the outer half of the
// enclosure has the same spectrum, so every cutoff has an outer twin that
// the purge must remove.
TEST_F(ModeCutoffs, RightIsoscelesTriangle) {
  std::vector<double> te, tm;
  for (int m = 0; m < 12; ++m)
    for (int n = 0; n <= m; ++n) {
      if (m || n) te.push_back(pi / 6 * std::hypot(m, n));
      if (n >= 1 && m > n) tm.push_back(pi / 6 * std::hypot(m, n));
    }
  std::sort(te.begin(), te.end());
  std::sort(tm.begin(), tm.end());
  run_solver_interactive({"0 0 6 0", "6 0 0 6", "0 6 0 0"}, 170, "te,tm\n");
  compare(listed(2), te, 12, 1e-6, "triangle TE, 170 GHz");
  compare(listed(1), tm, 12, 1e-6, "triangle TM, 170 GHz");
}

// A 5 x 3 mm rectangle centred in an 8 x 6 mm enclosure: its whole contour
// carries basis functions.  At 250 GHz TE worst 7.0e-4 (2.8e-3 at 170 GHz,
// the first mode 9.4e-5), TM worst 7.8e-4 (2.3e-3 at 170 GHz).
TEST_F(ModeCutoffs, RectangleInsideALargerEnclosure) {
  code_boundary({"0 0 5 0", "5 0 5 3", "5 3 0 3", "0 3 0 0"}, 250);
  embed_in_box(8, 6);
  run_driver("te,tm\n");
  compare(listed(2), rectangle_modes(5, 3, 100), 12, 1e-3, "rectangle in an enclosure TE, 250 GHz");
  compare(listed(1), rectangle_modes(5, 3, 100, false), 12, 1e-3,
          "rectangle in an enclosure TM, 250 GHz");
}

// A circle of radius 2 mm in a 6 x 6 mm enclosure, its whole contour off the
// wall: TE worst 1.8e-3 and TM worst 1.2e-3 at 250 GHz (2.9e-3 for TM at
// 170 GHz).  The goal is not met, and the chords are not the limit (they
// keep within 2 um of the circle, and chords four times closer change
// nothing): the error falls with the limit, like that of the rectangle
// inside a larger enclosure, whose contour is also entirely off the wall.
TEST_F(ModeCutoffs, CircleInsideARectangularEnclosure) {
  code_boundary({"2 0 2 0 -2 0"}, 250);
  embed_in_box(6, 6);
  run_driver("te,tm\n");
  std::vector<double> te = bessel_prime_zeros(20), tm = bessel_zeros(20);
  for (double& x : te) x /= 2;
  for (double& x : tm) x /= 2;
  compare(listed(2), te, 12, 2.5e-3, "circle in a square enclosure TE, 250 GHz");
  compare(listed(1), tm, 12, 2e-3, "circle in a square enclosure TM, 250 GHz");
}

// With the settings of "-fine" (elements from twice the limit, enclosing-guide
// modes to four times it) the two apertures whose contour lies wholly off the
// enclosure wall, at a limit 3 % above their twelfth cutoff of a kind: every
// one of the twelve within 0.1 % (measured: rectangle TE 6.4e-4, TM 2.7e-4;
// circle TE 8.7e-4, TM 4.2e-4; with a plain run's settings 5.9e-3, 2.4e-3,
// 5.0e-3, 2.9e-3).
TEST_F(ModeCutoffs, FineSettingsReachTheGoalNextToTheLimit) {
  struct shape {
    const char* what;
    std::vector<std::string> boundary;
    double box_w, box_h;
    std::vector<double> te, tm;
  };
  std::vector<double> cte = bessel_prime_zeros(30), ctm = bessel_zeros(30);
  for (double& x : cte) x /= 2;
  for (double& x : ctm) x /= 2;
  const std::vector<shape> shapes = {
      {"rectangle 5 x 3 mm in 8 x 6 mm", {"0 0 5 0", "5 0 5 3", "5 3 0 3", "0 3 0 0"}, 8, 6,
       rectangle_modes(5, 3, 10), rectangle_modes(5, 3, 10, false)},
      {"circle r = 2 mm in 6 x 6 mm", {"2 0 2 0 -2 0"}, 6, 6, cte, ctm}};
  for (const shape& s : shapes)
    for (int kind : {2, 1}) {
      const std::vector<double>& ref = kind == 2 ? s.te : s.tm;
      const double limit = 1.03 * ref[11] * 1e3 * 299792458.0 / (2 * pi) / 1e9;
      element_margin.factor = fine_element_margin;
      code_boundary(s.boundary, limit);
      embed_in_box(s.box_w, s.box_h);
      cofacc = fine_accuracy;
      run_driver(kind == 2 ? "te\n" : "tm\n");
      element_margin.factor = 1;
      std::vector<double> got = listed(kind);
      std::sort(got.begin(), got.end());
      compare(got, ref, 12, 1e-3, std::string(s.what) + (kind == 2 ? " TE" : " TM") + ", fine");
    }
}
