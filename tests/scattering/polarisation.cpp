// Co- and cross-polarised scattering, power-normalised, as the result files
// carry it: the cross-polarised waves vanish where symmetry forbids them and
// appear where it does not, and each incident wave keeps its power, shared
// with the higher Floquet orders once they propagate.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "support/analytic_modes.hpp"
#include "support/result_files.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

const std::vector<std::string> files = {"-csv", "-s4p"};

// The CSV table and the Touchstone file of a one-direction run of "<base>".
struct run_files {
  csv_table csv;
  s4p_file s4p;
};
run_files read_run(const std::string& base, const std::string& s4p) {
  run_files r;
  std::string error;
  r.csv = read_csv(base + ".csv", error);
  EXPECT_EQ(error, "");
  r.s4p = read_touchstone(s4p, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(r.csv.rows.size(), r.s4p.points.size());
  return r;
}

run_files rect_chain(double w, double h, const std::string& incidence, const std::string& sweep,
                     const std::string& s4p) {
  scratch_dir::write_file("rect.fss", structure_text(10, 10, 1, w, h, incidence, sweep, 100, 300));
  testing::internal::CaptureStdout();
  run_chain("rect", {0, 0, w * 1e-3, h * 1e-3, 16}, files);
  testing::internal::GetCapturedStdout();
  return read_run("rect", s4p);
}

run_files solver_run(const std::string& aperture, const std::string& incidence,
                     const std::string& s4p) {
  scratch_dir::write_file("ap.fss", "t\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + aperture + "5)\n" +
                                        incidence + "\n6)\n10 28 1\n7)\n100\n8)\n300\n");
  run_structure("ap", 0, 0, files);
  return read_run("ap", s4p);
}

// Largest cross-polarised magnitude of a point: reflection and transmission
// of either incident wave into the other polarisation.
double cross(const s4p_point& p) {
  return std::max({std::abs(p.s[1][0]), std::abs(p.s[0][1]), std::abs(p.s[3][0]),
                   std::abs(p.s[2][1])});
}

// Below the first grating lobe every power total is 1 (the screen is a
// perfect conductor) and all of it goes into the specular waves.
void expect_power_kept(const csv_table& t, double lobe_ghz) {
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    if (t.at(k, "freq[GHz]") > lobe_ghz) continue;
    for (const char* w : {"TE", "TM"}) {
      EXPECT_NEAR(t.at(k, std::string(w) + "_Ptotal"), 1, 1e-10) << w << " " << t.at(k, "freq[GHz]");
      EXPECT_NEAR(t.at(k, std::string(w) + "_Pspecular"), 1, 1e-10) << w;
    }
    EXPECT_EQ(t.at(k, "orders"), 1);
  }
}

}  // namespace

// Mirror planes along x and y through the aperture and the lattice forbid any
// cross-polarisation at normal incidence: a square hole (analytic modes and
// the mode solver's) and a cross.  The cross keeps below 1e-6 (-120 dB), not
// to rounding: its boundary elements are not placed quite symmetrically.
TEST(Polarisation, NoCrossPolarisationAtNormalIncidenceOnFourFoldApertures) {
  scratch_dir dir;
  run_files analytic = rect_chain(6, 6, "0 0", "10 29 1", "rect_theta0_phi0.s4p");
  expect_power_kept(analytic.csv, 29.98);
  for (const s4p_point& p : analytic.s4p.points) EXPECT_LT(cross(p), 1e-13) << p.f;
  const std::string square = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";
  const std::string cross_hole =
      "-4 -1 -1 -1\n-1 -1 -1 -4\n-1 -4 1 -4\n1 -4 1 -1\n1 -1 4 -1\n4 -1 4 1\n"
      "4 1 1 1\n1 1 1 4\n1 4 -1 4\n-1 4 -1 1\n-1 1 -4 1\n-4 1 -4 -1\n";
  for (const auto& [ap, bound] : {std::pair{square, 1e-13}, std::pair{cross_hole, 1e-6}}) {
    run_files solver = solver_run(ap, "0 0", "ap_theta0_phi0.s4p");
    expect_power_kept(solver.csv, 29.98);
    for (const s4p_point& p : solver.s4p.points) EXPECT_LT(cross(p), bound) << p.f;
  }
}

// A slot turned by 45 degrees at normal incidence, an L-shaped hole at
// oblique incidence and a rectangle lit in a plane that is not one of its
// symmetry planes all turn part of the power into the other polarisation;
// each incident wave still keeps its power (the cross-polarised share counted
// with the admittance ratio of the two waves, cos^2 theta at oblique
// incidence).
TEST(Polarisation, CrossPolarisationWithoutSymmetryKeepsThePower) {
  scratch_dir dir;
  struct { const char* aperture; const char* incidence; const char* s4p; double lobe; } cases[] = {
      {"-3.5355 -2.1213 -2.1213 -3.5355\n-2.1213 -3.5355 3.5355 2.1213\n"
       "3.5355 2.1213 2.1213 3.5355\n2.1213 3.5355 -3.5355 -2.1213\n",
       "0 0", "ap_theta0_phi0.s4p", 29.98},
      {"-3 -3 3 -3\n3 -3 3 -1\n3 -1 -1 -1\n-1 -1 -1 3\n-1 3 -3 3\n-3 3 -3 -3\n", "20 30",
       "ap_theta20_phi30.s4p", 22.3}};
  for (const auto& c : cases) {
    run_files r = solver_run(c.aperture, c.incidence, c.s4p);
    expect_power_kept(r.csv, c.lobe);
    double largest = 0;
    for (const s4p_point& p : r.s4p.points) largest = std::max(largest, cross(p));
    EXPECT_GT(largest, 0.1) << c.incidence;
  }
  run_files rect = rect_chain(8, 2, "40 30", "10 16 0.5", "rect_theta40_phi30.s4p");
  expect_power_kept(rect.csv, 16);
  double largest = 0;
  for (const s4p_point& p : rect.s4p.points) largest = std::max(largest, cross(p));
  EXPECT_GT(largest, 0.1);
}

// Above the first grating lobe (29.98 GHz for the 10 mm lattice at normal
// incidence) the four first-order beams take part of the power: the
// specular share falls and the total stays 1.
TEST(Polarisation, GratingLobesTakePowerFromTheSpecularWaves) {
  scratch_dir dir;
  run_files r = rect_chain(6, 6, "0 0", "28 36 0.5", "rect_theta0_phi0.s4p");
  const csv_table& t = r.csv;
  double lowest = 1;
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    const double f = t.at(k, "freq[GHz]");
    for (const char* w : {"TE", "TM"}) {
      EXPECT_NEAR(t.at(k, std::string(w) + "_Ptotal"), 1, 1e-10) << w << " " << f;
      if (f > 30) lowest = std::min(lowest, t.at(k, std::string(w) + "_Pspecular"));
    }
    EXPECT_EQ(t.at(k, "orders"), f < 29.98 ? 1 : 5) << f;
  }
  EXPECT_LT(lowest, 0.9);
}
