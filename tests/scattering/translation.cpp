// Results do not depend on where the aperture is drawn in the cell: a
// coaxial ring and a concave polygon, computed by the mode solver, moved by a
// lattice vector and by an arbitrary shift, at normal and oblique incidence.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "records/results.hpp"
#include "records/run.hpp"
#include "run/driver.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/polarisation.hpp"
#include "scattering/results.hpp"
#include "support/command_line.hpp"
#include "support/sweep_points.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;

// Boundary lines shifted by (dx, dy) mm: four numbers a segment, six an arc.
std::string shifted(const std::vector<std::vector<double>>& lines, double dx, double dy) {
  std::ostringstream s;
  s.precision(12);  // a boundary line holds at most 80 characters
  for (const auto& l : lines) {
    for (std::size_t k = 0; k < l.size(); ++k) s << (k ? " " : "") << l[k] + (k % 2 ? dy : dx);
    s << "\n";
  }
  return s.str();
}

// All specular coefficients of both waves at every sweep point.
std::vector<fss_polar_rec> run(const std::string& cell, const std::string& boundary,
                               const std::string& incidence, const std::string& limits) {
  scratch_dir::write_file("shift.fss", "moved aperture\n\n1) cell dimensions a b [mm]\n" + cell +
                                           "\n2) skew angle [deg]\n" + "70" +
                                           "\n3) metal thickness [mm]\n0.8\n4) aperture boundary [mm]\n" +
                                           boundary + "5) incidence theta phi [deg]\n" + incidence +
                                           "\n6) frequency sweep start end step [GHz]\n17 23 3\n" + limits);
  return sweep_points("shift");
}

double worst_magnitude_change(const std::vector<fss_polar_rec>& a, const std::vector<fss_polar_rec>& b) {
  double w = 0;
  for (std::size_t p = 0; p < a.size(); ++p)
    for (int q = 1; q <= 2; ++q)
      for (int s = 1; s <= 2; ++s) {
        w = std::max(w, std::fabs(std::abs(a[p].r[q][s]) - std::abs(b[p].r[q][s])));
        w = std::max(w, std::fabs(std::abs(a[p].t[q][s]) - std::abs(b[p].t[q][s])));
      }
  return w;
}

const std::vector<std::vector<double>> coaxial_ring = {{4.5, 0, 4.5, 0, -4.5, 0}, {2, 0, 2, 0, -2, 0}};
const std::vector<std::vector<double>> concave = {
    {-4, -3, 4, -3}, {4, -3, 4, 3}, {4, 3, 1, 3}, {1, 3, 0, -1}, {0, -1, -1, 3}, {-1, 3, -4, 3}, {-4, 3, -4, -3}};

}  // namespace

TEST(Translation, MovedAperturesGiveTheSameResult) {
  scratch_dir dir;
  // 20 x 18 mm cell skewed at 70 degrees: the second lattice vector is
  // (18 cot 70, 18) mm.
  const double bx = 18 / std::tan(70 * M_PI / 180), by = 18;
  const std::string limits =
      "7) largest frequency of the aperture modes [GHz]\n60\n8) largest frequency of the Floquet modes [GHz]\n120\n";
  for (const auto* shape : {&coaxial_ring, &concave})
    for (const char* incidence : {"0 0", "25 40"}) {
      const auto base = run("20 18", shifted(*shape, 0, 0), incidence, limits);
      ASSERT_EQ(base.size(), 3u);
      for (auto [dx, dy] : {std::pair{bx, by}, std::pair{20 + bx, -by}, std::pair{3.7, -2.9}}) {
        const auto moved = run("20 18", shifted(*shape, dx, dy), incidence, limits);
        ASSERT_EQ(moved.size(), base.size());
        EXPECT_LT(worst_magnitude_change(base, moved), 1e-9)
            << (shape == &coaxial_ring ? "coaxial ring" : "concave polygon") << " moved by (" << dx
            << ", " << dy << ") mm, incidence " << incidence;
      }
    }
}
