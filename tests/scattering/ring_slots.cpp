// Ring and coaxial slots end to end: the square ring against FDTD (in
// validation.cpp), energy conservation at oblique incidence where the TEM
// mode carries power, normal incidence with and without the TEM modes,
// reciprocity of opposite directions for an eccentric ring, and a thick
// coaxial screen that transmits through its TEM mode alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/results.hpp"
#include "support/analytic_modes.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

std::string ring(const std::string& aperture, double t, const std::string& incidence,
                 const std::string& sweep, double fwg = 80) {
  std::ostringstream s;
  s << "ring\nt\n1)\n10 10\n2)\n90\n3)\n" << t << "\n4)\n" << aperture << "5)\n" << incidence
    << "\n6)\n" << sweep << "\n7)\n" << fwg << "\n8)\n250\n";
  return s.str();
}
const std::string square_ring =
    "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n"
    "-1.5 -1.5 1.5 -1.5\n1.5 -1.5 1.5 1.5\n1.5 1.5 -1.5 1.5\n-1.5 1.5 -1.5 -1.5\n";
const std::string circular_ring = "4 0 4 0 -4 0\n2 0 2 0 -2 0\n";
const std::string eccentric_ring = "4 0 4 0 -4 0\n2.7 0 2.7 0 0.3 0\n";
const std::string coax = "4 0 4 0 -4 0\n1.5 0 1.5 0 -1.5 0\n";

std::vector<out_row> rows_of(const std::string& text) {
  scratch_dir::write_file("ring.fss", text);
  run_structure("ring");
  std::vector<out_block> b = read_out_file("ring.out");
  EXPECT_EQ(b.size(), 1u);
  return b.empty() ? std::vector<out_row>{} : b[0].rows;
}

double power(double t_db, double r_db) { return std::pow(10, t_db / 10) + std::pow(10, r_db / 10); }

}  // namespace

// Below the first grating lobe (19.99 GHz at 30 degrees, 21.5 GHz at 20
// degrees in the plane phi = 45 for the 10 mm period) each polarisation keeps
// its power when a symmetry plane of the ring contains the incidence.
TEST(RingSlots, EnergyConservedAtObliqueIncidence) {
  scratch_dir dir;
  struct run {
    const std::string* aperture;
    const char* incidence;
    double lobe;
  } runs[] = {{&square_ring, "30 0", 19.99}, {&square_ring, "20 45", 21.5},
              {&circular_ring, "30 0", 19.99}, {&eccentric_ring, "30 0", 19.99}};
  for (const run& r : runs) {
    std::vector<out_row> rows = rows_of(ring(*r.aperture, 1, r.incidence, "6 21 1"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(fss_modewg_index[1], wg_tem);
    for (const out_row& row : rows) {
      if (row.f > r.lobe - 0.5) continue;
      EXPECT_NEAR(power(row.magTy, row.magRy), 1, 3e-4) << r.incidence << " " << row.f;
      EXPECT_NEAR(power(row.magTx, row.magRx), 1, 3e-4) << r.incidence << " " << row.f;
    }
  }
}

// At normal incidence the TEM mode of a ring couples with no incident wave,
// and for a symmetric ring with no wave the incidence excites: the result is
// the same with the TEM mode taken out of the catalogue.
TEST(RingSlots, NormalIncidenceIgnoresTheTemMode) {
  scratch_dir dir;
  const std::vector<out_row> with = rows_of(ring(square_ring, 1, "0 0", "6 28 2"));
  // The same structure, the catalogue without its TEM mode.
  std::ostringstream console;
  std::streambuf* old = std::cout.rdbuf(console.rdbuf());
  fss_set_capacities();
  read_input_fss();
  write_output();
  genmodes_wg();
  ASSERT_EQ(fss_modewg_index[1], wg_tem);
  const int nw = fss_modewg_index.n, np = fss_coordinates.n;
  for (int j = 1; j < nw; ++j) {
    fss_modewg_index[j] = fss_modewg_index[j + 1];
    fss_modewg_kappa[j] = fss_modewg_kappa[j + 1];
    fss_modewg_ap[j] = fss_modewg_ap[j + 1];
    fss_modewg_sc[j] = fss_modewg_sc[j + 1];
  }
  for (int k = 1; k <= (nw - 1) * np; ++k) fss_samplewg[k] = fss_samplewg[k + np];
  fss_modewg_index.n = fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = nw - 1;
  fss_samplewg.n -= np;
  fss_screen.nwg1 -= 1;
  fss_sweep();
  std::cout.rdbuf(old);
  const std::vector<out_row> without = read_out_file("ring.out").at(0).rows;
  ASSERT_EQ(with.size(), without.size());
  for (std::size_t k = 0; k < with.size(); ++k) {
    const out_row &a = with[k], &b = without[k];
    EXPECT_EQ(a.magTx, b.magTx);
    EXPECT_EQ(a.phTx, b.phTx);
    EXPECT_EQ(a.magTy, b.magTy);
    EXPECT_EQ(a.phTy, b.phTy);
    EXPECT_EQ(a.magRx, b.magRx);
    EXPECT_EQ(a.magRy, b.magRy);
  }
}

// Reciprocity with the front-back symmetry of the screen: transmission from
// the direction (theta, phi) equals that from (theta, phi + 180).  For a ring
// whose conductor sits off the centre the two are different physical cases
// (the TM wave drives the TEM mode, with opposite phases across the ring).
TEST(RingSlots, OppositeDirectionsTransmitAlike) {
  scratch_dir dir;
  const std::vector<out_row> a = rows_of(ring(eccentric_ring, 1, "30 0", "6 19 1"));
  const std::vector<out_row> b = rows_of(ring(eccentric_ring, 1, "30 180", "6 19 1"));
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_NEAR(a[k].magTy, b[k].magTy, 0.002) << a[k].f;
    EXPECT_NEAR(std::remainder(a[k].phTy - b[k].phTy, 360.0), 0, 0.02) << a[k].f;
    EXPECT_NEAR(a[k].magTx, b[k].magTx, 0.002) << a[k].f;
    // Specular reflection is reciprocal on its own: R(k -> k') = R(-k' -> -k).
    EXPECT_NEAR(a[k].magRy, b[k].magRy, 0.002) << a[k].f;
    EXPECT_NEAR(std::remainder(a[k].phRy - b[k].phRy, 360.0), 0, 0.02) << a[k].f;
  }
}

// A 10 mm thick screen of coaxial holes at oblique TM incidence (30 degrees,
// plane phi = 0), below the first TE cutoff of the coax (17.8 GHz) and the
// first grating lobe: only the TEM mode carries power through the screen, a
// lossless symmetric two-port with one propagating mode each side, so the
// first thickness resonance transmits fully.  The aperture ends' susceptance
// pulls it below t = lambda / 2 (15.0 GHz), the less so at the lower
// frequency of a thicker screen.
TEST(RingSlots, ThickCoaxialScreenResonatesThroughItsTemMode) {
  scratch_dir dir;
  double phase[2] = {0, 0}, fpeak[2] = {0, 0};
  const double t[2] = {10, 12};
  for (int k = 0; k < 2; ++k) {
    std::vector<out_row> coarse = rows_of(ring(coax, t[k], "30 0", "5 17.5 0.1", 60));
    const out_row* best = &coarse[0];
    for (const out_row& r : coarse) {
      if (r.magTy > best->magTy) best = &r;
      // The TE wave finds no propagating mode: 10 mm of evanescent coax.
      if (r.f < 13) {
        EXPECT_LT(r.magTx, -20) << r.f;
      }
    }
    char sweep[64];
    std::snprintf(sweep, sizeof sweep, "%.3f %.3f 0.002", best->f - 0.1, best->f + 0.1);
    std::vector<out_row> fine = rows_of(ring(coax, t[k], "30 0", sweep, 60));
    best = &fine[0];
    for (const out_row& r : fine)
      if (r.magTy > best->magTy) best = &r;
    EXPECT_GT(best->magTy, -0.01) << t[k];
    fpeak[k] = best->f;
    phase[k] = 2 * M_PI * best->f * 1e9 / 299800000.0 * t[k] * 1e-3;
    std::printf(" t = %.0f mm: full transmission %.3f dB at %.3f GHz, k0 t = %.3f pi\n", t[k],
                best->magTy, best->f, phase[k] / M_PI);
  }
  EXPECT_LT(fpeak[1], fpeak[0]);
  for (double p : phase) {
    EXPECT_GT(p, 0.7 * M_PI);
    EXPECT_LT(p, M_PI);
  }
  EXPECT_GT(phase[1], phase[0]);
}
