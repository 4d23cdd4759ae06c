// Several apertures in one cell, through the structure file, the mode solver
// and the sweep: a supercell of two copies against the cell of one, two
// different holes (energy, reciprocity, mirror symmetry, the order of the
// list), translated copies computed once, and the independent FDTD
// reference of two holes per cell.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/integrals.hpp"
#include "scattering/polarisation.hpp"
#include "scattering/results.hpp"
#include "support/analytic_modes.hpp"
#include "support/command_line.hpp"
#include "support/fdtd_reference.hpp"
#include "support/solver_run.hpp"
#include "support/sweep_points.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;

// Every specular coefficient of both waves at every sweep point of the
// structure (cell "a b", skew, thickness 0.8 mm, block 4, incidence, sweep).
std::vector<fss_polar_rec> run(const std::string& cell, const std::string& skew,
                               const std::string& block4, const std::string& incidence,
                               const std::string& sweep, int fwg = 60, int fflo = 150) {
  std::ostringstream s;
  s << "apertures\n\n1) cell\n" << cell << "\n2) skew\n" << skew << "\n3) thickness\n0.8\n4)\n"
    << block4 << "5) incidence\n" << incidence << "\n6) sweep\n" << sweep << "\n7)\n" << fwg
    << "\n8)\n" << fflo << "\n";
  scratch_dir::write_file("ap.fss", s.str());
  return sweep_points("ap");
}

// Largest difference of the specular coefficients (reflection, and
// transmission referred back over the thickness) between two runs.
double largest_difference(const std::vector<fss_polar_rec>& a, const std::vector<fss_polar_rec>& b) {
  double w = 0;
  EXPECT_EQ(a.size(), b.size());
  for (std::size_t p = 0; p < a.size() && p < b.size(); ++p)
    for (int q = 1; q <= 2; ++q)
      for (int s = 1; s <= 2; ++s) {
        w = std::fmax(w, std::abs(a[p].r[q][s] - b[p].r[q][s]));
        w = std::fmax(w, std::abs(a[p].t[q][s] - b[p].t[q][s]));
      }
  return w;
}

// Boundary lines moved by (dx, dy) mm (four numbers a side, six an arc).
std::string moved(const std::vector<std::vector<double>>& lines, double dx, double dy) {
  std::ostringstream s;
  s.precision(12);
  for (const auto& l : lines) {
    for (std::size_t k = 0; k < l.size(); ++k) s << (k ? " " : "") << l[k] + (k % 2 ? dy : dx);
    s << "\n";
  }
  return s.str();
}

// An L-shaped hole (no symmetry at all) and a circular one.
const std::vector<std::vector<double>> ell = {{-2, -2, 2, -2}, {2, -2, 2, -0.5}, {2, -0.5, -0.5, -0.5},
                                              {-0.5, -0.5, -0.5, 2}, {-0.5, 2, -2, 2}, {-2, 2, -2, -2}};
const std::vector<std::vector<double>> disc = {{1.5, 0, 1.5, 0, -1.5, 0}};

}  // namespace

// A cell of 2a x b holding two copies of a hole a apart is the lattice of
// the a x b cell with one hole: the Floquet orders of odd index along the
// long side carry no power below their onset and cancel in the couplings,
// the specular coefficients are those of the small cell.  Rectangular
// lattice at normal and oblique incidence, skewed lattice at oblique
// incidence.
TEST(Apertures, SupercellOfTwoCopiesIsTheCellOfOne) {
  scratch_dir dir;
  for (const char* skew : {"90", "70"})
    for (const char* incidence : {"0 0", "25 35"}) {
      if (std::string(skew) == "70" && std::string(incidence) == "0 0") continue;
      const auto one = run("8 7", skew, moved(ell, 0.3, 0.2), incidence, "15 27 6", 120, 250);
      const auto two = run("16 7", skew, moved(ell, 0.3, 0.2) + "#\n" + moved(ell, 8.3, 0.2),
                           incidence, "15 27 6", 120, 250);
      ASSERT_EQ(fss_ap.n, 2);
      EXPECT_EQ(fss_ap.r[2].copy, 1);
      ASSERT_EQ(one.size(), 3u);
      EXPECT_LT(largest_difference(one, two), 1e-9) << "skew " << skew << ", incidence " << incidence;
      for (const fss_polar_rec& p : two) EXPECT_NEAR(p.ptot[1], 1, 1e-11);
    }
}

// Two different holes in one cell: no loss, reciprocity (S at (theta, phi)
// is the transpose of S at (theta, phi + 180)), and the order in which they
// are listed does not matter.
TEST(Apertures, TwoDifferentHolesInOneCell) {
  scratch_dir dir;
  const std::string a = moved(ell, -2.2, 0.4), b = moved(disc, 2.6, -1.0);
  const auto ab = run("10 9", "80", a + "#\n" + b, "20 20 1 30 210 180", "14 23 9");
  const auto ba = run("10 9", "80", b + "#\n" + a, "20 20 1 30 210 180", "14 23 9");
  ASSERT_EQ(ab.size(), 4u);
  EXPECT_LT(largest_difference(ab, ba), 1e-10);
  for (std::size_t k = 0; k < 2; ++k) {
    const fss_polar_rec &p = ab[k], &q = ab[k + 2];  // phi 30 and 210, same frequency
    for (int i = 1; i <= 2; ++i) {
      EXPECT_NEAR(p.ptot[i], 1, 1e-11);
      for (int j = 1; j <= 2; ++j) {
        EXPECT_NEAR(std::abs(p.r[i][j] - q.r[j][i]), 0, 1e-9);
        EXPECT_NEAR(std::abs(p.t[i][j] - q.t[j][i]), 0, 1e-9);
      }
    }
    EXPECT_GT(std::abs(p.r[1][2] - q.r[1][2]), 1e-4);  // the directions differ
  }
}

// Mirror symmetry: two different holes both symmetric about x = 0 (the
// validation structure).  The mirror x -> -x takes the incidence at phi to
// 180 - phi: the co-polarised coefficients are equal there and the
// cross-polarised ones change sign; at phi = 90 (in the mirror plane) no
// cross-polarisation.
TEST(Apertures, MirrorSymmetryOfTwoHoles) {
  scratch_dir dir;
  const std::string holes = "-3 1.5 3 1.5\n3 1.5 3 3.5\n3 3.5 -3 3.5\n-3 3.5 -3 1.5\n#\n"
                            "-2 -3.5 2 -3.5\n2 -3.5 2 -1.5\n2 -1.5 -2 -1.5\n-2 -1.5 -2 -3.5\n";
  const auto p = run("10 10", "90", holes, "20 20 1 30 150 120", "20 20 1");
  ASSERT_EQ(p.size(), 2u);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_NEAR(std::abs(p[0].r[i][i] - p[1].r[i][i]), 0, 1e-10);
    EXPECT_NEAR(std::abs(p[0].t[i][i] - p[1].t[i][i]), 0, 1e-10);
    EXPECT_NEAR(std::abs(p[0].r[i][3 - i] + p[1].r[i][3 - i]), 0, 1e-10);
  }
  EXPECT_GT(std::abs(p[0].r[1][2]), 1e-4);
  const auto in_plane = run("10 10", "90", holes, "20 90", "20 20 1");
  EXPECT_LT(std::abs(in_plane[0].r[1][2]), 1e-10);
  EXPECT_LT(std::abs(in_plane[0].t[2][1]), 1e-10);
}

// A copy is the same boundary moved, whatever the order and direction of
// its elements and where a circle starts: its modes are those of the first
// (the mode solver runs once), its points moved.  A mirror image or a
// slightly larger hole is not a copy.
TEST(Apertures, TranslatedCopiesComputedOnce) {
  scratch_dir dir;
  // The L moved by (6.5, 5.5) mm, its sides shuffled and some reversed.
  const std::string reordered = "2.5 0.5 2.5 2\n0 2 2.5 2\n-1.5 0.5 2.5 0.5\n-1.5 4.5 -1.5 0.5\n"
                                "0 4.5 -1.5 4.5\n0 4.5 0 2\n";
  // A circle and its copy moved by (-5.5, 6.5) mm, starting elsewhere.
  const std::string circle = "2 -2.5 2 -2.5 -1 -2.5\n#\n-5 2.5 -5 2.5 -5 5.5\n";
  run("20 12", "90", moved(ell, -6, -3) + "#\n" + reordered + "#\n" + circle, "0 0", "10 10 1");
  ASSERT_EQ(fss_ap.n, 4);
  EXPECT_EQ(fss_ap.r[2].copy, 1);
  EXPECT_NEAR(fss_ap.r[2].dx, 0.0065, 1e-12);
  EXPECT_NEAR(fss_ap.r[2].dy, 0.0055, 1e-12);
  EXPECT_EQ(fss_ap.r[4].copy, 3);
  EXPECT_NEAR(fss_ap.r[4].dx, -0.0055, 1e-12);
  EXPECT_NEAR(fss_ap.r[4].dy, 0.0065, 1e-12);
  int n1 = 0, n2 = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    n1 += fss_modewg_ap[j] == 1;
    n2 += fss_modewg_ap[j] == 2;
  }
  EXPECT_EQ(n1, n2);
  EXPECT_GT(n1, 0);
  // Its points are the first aperture's, moved.
  const int np = fss_ap.r[1].last - fss_ap.r[1].first + 1;
  ASSERT_EQ(fss_ap.r[2].last - fss_ap.r[2].first + 1, np);
  for (int i = 0; i < np; ++i) {
    EXPECT_NEAR(fss_coordinates[fss_ap.r[2].first + i].x,
                fss_coordinates[fss_ap.r[1].first + i].x + 0.0065, 1e-15);
    EXPECT_EQ(fss_normals[fss_ap.r[2].first + i].y, fss_normals[fss_ap.r[1].first + i].y);
  }
  // The integrals of a copy, from its original's by the phase of each
  // Floquet wave, are those computed on its own points.
  calc_integrals();
  const std::vector<cplx> by_phase(fss_integrals.data1(), fss_integrals.data1() + fss_integrals.n);
  double largest = 0;
  for (cplx v : by_phase) largest = std::fmax(largest, std::abs(v));
  for (int a = 1; a <= fss_ap.n; ++a) fss_ap.r[a].copy = 0;
  calc_integrals();
  for (int k = 0; k < fss_integrals.n; ++k)
    EXPECT_LT(std::abs(by_phase[k] - fss_integrals.data1()[k]), 1e-12 * largest) << k;
  std::vector<std::vector<double>> mirrored = ell, larger = ell;
  for (auto& l : mirrored) l[0] = -l[0], l[2] = -l[2];
  for (auto& l : larger)
    for (double& v : l) v *= 1.01;
  run("20 12", "90", moved(ell, -6, 0) + "#\n" + moved(mirrored, 0, 0) + "#\n" + moved(larger, 6, 0),
      "0 0", "10 10 1");
  EXPECT_EQ(fss_ap.r[2].copy, 0);
  EXPECT_EQ(fss_ap.r[3].copy, 0);
}


// The independent FDTD reference (tests/data/stacks/two_holes.fss, run as
// it stands): only the wave with E along y (the "x" columns) passes, full
// transmission at 23.0 GHz.  Its README: a check of shape and resonance,
// the finest grid 0.17 to 0.3 dB below a converged modal computation below
// 23 GHz, up to 0.7 dB on the upper flank and 1 dB near 27 GHz.
TEST(Apertures, TwoHolesAgreeWithFdtd) {
  scratch_dir dir;
  scratch_dir::write_file(
      "th.fss", scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/tests/data/stacks/two_holes.fss"));
  run_structure("th");
  const auto rows = read_out_file("th.out").at(0).rows;
  const auto y = read_fdtd("stacks/two_holes_fdtd.csv", 'y'), x = read_fdtd("stacks/two_holes_fdtd.csv", 'x');
  double worst_below = 0, worst_above = 0, best = -100, f_best = 0;
  for (const out_row& r : rows) {
    if (r.magTx > best) best = r.magTx, f_best = r.f;
    EXPECT_LT(r.magTy, -25) << r.f;  // E along x does not pass
    EXPECT_NEAR(r.magTy, x.at(std::lround(r.f * 1000)).t_db, 1.0) << r.f;
    const fdtd_row& f = y.at(std::lround(r.f * 1000));
    if (f.t_db < -20 || r.f > 27) continue;
    const double d = std::fabs(r.magTx - f.t_db);
    if (r.f < 23) {
      worst_below = std::fmax(worst_below, d);
      EXPECT_LT(d, 0.35) << r.f;
    } else {
      worst_above = std::fmax(worst_above, d);
      EXPECT_LT(d, 1.0) << r.f;
    }
  }
  EXPECT_EQ(f_best, 23.0);
  std::printf("two holes against FDTD: |T| within %.2f dB below 23 GHz, %.2f dB above\n", worst_below,
              worst_above);
}
