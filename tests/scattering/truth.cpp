// The reference model of rectangular holes (exact modes, closed-form
// overlaps, parity classes and folded harmonics) against its own unreduced
// form and against the program's scattering chain run on the same exact
// modes: the model that the stored converged values come from.
#include "support/rect_truth.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "scattering/results.hpp"
#include "support/analytic_modes.hpp"
#include "support/tmpdir.hpp"

namespace {

const double pi = 3.14159265358979323846;
const double c0 = 299800000.0;

double kof(double ghz) { return 2 * pi * ghz * 1e9 / c0; }

std::vector<truth_point> chain_values;

void keep_chain_point() {
  truth_point p;
  p.ty = fss_coefficients.t11a;
  p.tx = fss_coefficients.t22a;
  p.ry = fss_coefficients.r11;
  p.rx = fss_coefficients.r22;
  chain_values.push_back(p);
}

double largest_difference(const truth_point& a, const truth_point& b) {
  return std::max({std::abs(a.ty - b.ty), std::abs(a.tx - b.tx), std::abs(a.ry - b.ry),
                   std::abs(a.rx - b.rx)});
}

struct truth_case {
  const char* name;
  truth_structure s;
};

std::vector<truth_case> cases() {
  const double deg = pi / 180;
  truth_structure square{10e-3, 10e-3, 1e-3, 6e-3, 6e-3, 0, 0};
  truth_structure slot{10e-3, 10e-3, 0.5e-3, 8e-3, 2e-3, 0, 0};
  truth_structure slot_e = slot, slot_h = slot, odd = {9e-3, 7e-3, 0.7e-3, 5e-3, 3e-3, 0, 0};
  slot_e.theta = 30 * deg;
  slot_h.theta = 20 * deg;
  slot_h.phi = 90 * deg;
  truth_structure skew = odd;
  skew.theta = 25 * deg;
  skew.phi = 35 * deg;  // no mirror plane contains the incidence
  return {{"square", square}, {"slot", slot}, {"slot phi 0", slot_e},
          {"slot phi 90", slot_h}, {"rectangle", odd}, {"rectangle oblique", skew}};
}

}  // namespace

// The parity classes and the folded harmonics change nothing: every mode
// and every harmonic in one system of both faces gives the same R and T.
TEST(Truth, ReducedModelEqualsTheFullSystem) {
  const std::vector<double> f = {8e9, 18.5e9, 26.5e9, 29.5e9};
  for (const truth_case& c : cases()) {
    const std::vector<truth_point> r = rect_truth(c.s, f, kof(90), kof(270));
    const std::vector<truth_point> u = rect_truth_full(c.s, f, kof(90), kof(270));
    ASSERT_EQ(r.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
      EXPECT_LT(largest_difference(r[i], u[i]), 1e-11) << c.name << " at " << f[i];
      EXPECT_EQ(r[i].nwg, u[i].nwg);
      EXPECT_EQ(r[i].nflo, u[i].nflo);
      // Lossless below the first grating lobe; at normal incidence the
      // mirror planes keep the polarisations apart.
      if (c.s.theta > 0 || f[i] >= c0 / std::max(c.s.a, c.s.b)) continue;
      for (auto [rr, tt] : {std::pair{r[i].ry, r[i].ty}, std::pair{r[i].rx, r[i].tx}})
        EXPECT_NEAR(std::norm(rr) + std::norm(tt), 1, 1e-12) << c.name << " at " << f[i];
    }
  }
}

// The program's chain on the exact modes (contour samples, its tables and
// system) agrees with the closed-form model: they differ only by the
// contour quadrature of the overlaps.
TEST(Truth, AgreesWithTheProgramOnTheExactModes) {
  scratch_dir dir;
  for (const truth_case& c : cases()) {
    const truth_structure& s = c.s;
    const double deg = 180 / pi;
    const std::string inc =
        std::to_string(s.theta * deg) + " " + std::to_string(s.phi * deg);
    scratch_dir::write_file("chain.fss", structure_text(s.a * 1e3, s.b * 1e3, s.t * 1e3,
                                                        s.w * 1e3, s.h * 1e3, inc,
                                                        "8 29.5 3.5", 90, 270));
    rect_aperture ap;
    ap.w = s.w;
    ap.h = s.h;
    ap.elements = 80;
    chain_values.clear();
    run_chain("chain", ap, {}, 0, keep_chain_point);
    std::vector<double> f;
    for (double g = 8; g < 29.6; g += 3.5) f.push_back(g * 1e9);
    // The structure file holds the angles to 6 decimals (degrees).
    truth_structure sr = s;
    sr.theta = std::stod(std::to_string(s.theta * deg)) / deg;
    sr.phi = std::stod(std::to_string(s.phi * deg)) / deg;
    const std::vector<truth_point> r = rect_truth(sr, f, kof(90), kof(270));
    ASSERT_EQ(chain_values.size(), r.size()) << c.name;
    for (std::size_t i = 0; i < r.size(); ++i) {
      EXPECT_LT(largest_difference(r[i], chain_values[i]), 2e-6) << c.name << " at " << f[i];
      EXPECT_EQ(r[i].nwg, fss_modewg_index.n) << c.name;
    }
  }
}
