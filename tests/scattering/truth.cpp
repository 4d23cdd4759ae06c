// The reference model of rectangular holes (exact modes, closed-form
// overlaps, parity classes and folded harmonics) against its own unreduced
// form and against the program's scattering chain run on the same exact
// modes: the model that the stored converged values come from.
#include "support/rect_truth.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "scattering/outputs.hpp"
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

// The stored converged values of the square holes and the slots of the
// examples (tests/data/truth): a ladder of limits from 745 to 1285 GHz
// (Floquet modes to three times that) at a few frequencies, extrapolated.
// FSS_TRUTH_REGENERATE=1 rewrites them (about an hour on one core);
// the suite recomputes the first rung of one frequency and compares.
namespace {

struct stored_case {
  const char* file;
  truth_structure s;
  std::vector<double> f_ghz;
};

std::vector<stored_case> stored_cases() {
  return {{"square_holes.csv", {10e-3, 10e-3, 1e-3, 6e-3, 6e-3, 0, 0}, {8, 16, 20, 24, 26.5, 28, 29.5}},
          {"rect_slots.csv", {10e-3, 10e-3, 0.5e-3, 8e-3, 2e-3, 0, 0},
           {6, 10, 14, 17, 18.5, 20, 24, 29.5}}};
}

// The rungs (GHz), to the 6 decimals the stored values were made with.
std::vector<double> ladder_ghz() {
  std::vector<double> k = {100 * std::pow(1.25, 9)};
  for (int i = 0; i < 8; ++i) k.push_back(800 * std::pow(1.07, i));
  for (double& g : k) g = std::round(g * 1e6) / 1e6;
  return k;
}

std::string data_path(const char* file) {
  return std::string(FSS_SOURCE_DIR) + "/tests/data/truth/" + file;
}

// Where a regeneration writes: the stored files themselves with
// FSS_TRUTH_REGENERATE=1, or a folder named by it (to compare with them).
std::string regenerated_path(const char* file) {
  const std::string to = std::getenv("FSS_TRUTH_REGENERATE");
  return to == "1" ? data_path(file) : to + "/" + file;
}

const char* const coefficient_name[4] = {"Ty", "Tx", "Ry", "Rx"};

}  // namespace

TEST(Truth, StoredValuesComeFromTheModel) {
  const std::vector<double> ladder = ladder_ghz();
  for (const stored_case& c : stored_cases()) {
    std::vector<double> f;
    for (double g : c.f_ghz) f.push_back(g * 1e9);
    if (std::getenv("FSS_TRUTH_REGENERATE")) {
      std::vector<double> k;
      for (double g : ladder) k.push_back(kof(g));
      const std::vector<truth_value> v = rect_truth_extrapolated(c.s, f, k);
      const std::vector<truth_point> first = rect_truth(c.s, f, k[0], 3 * k[0]);
      std::ofstream o(regenerated_path(c.file));
      o << "# converged co-polarised coefficients (complex, conventions of the result file) of\n"
        << "# a " << c.s.w * 1e3 << " x " << c.s.h * 1e3 << " mm hole in a " << c.s.a * 1e3 << " x "
        << c.s.b * 1e3 << " mm lattice, " << c.s.t * 1e3 << " mm thick, normal incidence;\n"
        << "# exact-mode model (tests/support/rect_truth.cpp) at aperture limits";
      for (double g : ladder) o << " " << sformat("%.3f", g);
      o << " GHz,\n# Floquet limits three times those, extrapolated by a least-squares fit of\n"
        << "# S_inf + C k^(-4/3); uncertainty: the fits with exponents 1.2 and 1.5 and over the\n"
        << "# upper rungs; first_re, first_im: the first rung.\n"
        << "# Regenerate: FSS_TRUTH_REGENERATE=1 build/tests/test_scattering_truth\n"
        << "f[GHz],coefficient,re,im,uncertainty,first_re,first_im\n";
      for (std::size_t i = 0; i < f.size(); ++i) {
        const std::complex<double> s1[4] = {first[i].ty, first[i].tx, first[i].ry, first[i].rx};
        for (int q = 0; q < 4; ++q)
          o << sformat("%g,%s,%.15e,%.15e,%.3e,%.15e,%.15e\n", c.f_ghz[i], coefficient_name[q],
                       v[i].s[q].real(), v[i].s[q].imag(), v[i].uncertainty[q], s1[q].real(),
                       s1[q].imag());
      }
    }
    // The first rung of the highest frequency, recomputed for the slots
    // (the cheaper structure; the square's takes several seconds).
    const std::vector<stored_value> stored = read_stored_truth(data_path(c.file));
    ASSERT_EQ(stored.size(), 4 * f.size()) << c.file;
    if (std::string(c.file) != "rect_slots.csv") continue;
    const std::vector<truth_point> r = rect_truth(c.s, {f.back()}, kof(ladder[0]), 3 * kof(ladder[0]));
    const std::complex<double> s1[4] = {r[0].ty, r[0].tx, r[0].ry, r[0].rx};
    for (int q = 0; q < 4; ++q) {
      const stored_value& v = stored[4 * (f.size() - 1) + q];
      EXPECT_EQ(v.f_ghz, c.f_ghz.back());
      EXPECT_LT(std::abs(v.first - s1[q]), 1e-13) << coefficient_name[q];
      EXPECT_LT(v.uncertainty, 1e-3);
    }
  }
}
