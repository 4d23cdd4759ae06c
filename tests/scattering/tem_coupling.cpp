// TEM aperture modes in the scattering analysis: their coupling with the
// Floquet waves against an independent area quadrature of the analytic
// coaxial potential, and the zero couplings the contour form implies.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "support/quadrature.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;
const double pi = 3.141592653589793;

std::string coax_structure(const std::string& incidence, const std::string& sweep) {
  return "coax\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n4 0 4 0 -4 0\n1.5 0 1.5 0 -1.5 0\n5)\n" +
         incidence + "\n6)\n" + sweep + "\n7)\n60\n8)\n200\n";
}

// The overlap of the normalised TEM field e = -grad phi,
// phi = ln(b/r) / sqrt(2 pi ln(b/a)), with the TM Floquet wave k^ Nc
// exp(-i k.r): the area integral over the annulus in polar Gauss quadrature.
cplx area_sigma(double a, double b, double kx, double ky, double nc) {
  std::vector<double> rx, rw, tx, tw;
  gauss(24, b - a, rx, rw);
  gauss(64, 2 * pi, tx, tw);
  const double amp = 1 / std::sqrt(2 * pi * std::log(b / a)), kt = std::hypot(kx, ky);
  cplx s = 0;
  for (std::size_t i = 0; i < rx.size(); ++i) {
    const double r = a + rx[i];
    for (std::size_t j = 0; j < tx.size(); ++j) {
      const double c = std::cos(tx[j]), sn = std::sin(tx[j]);
      // e = (amp / r) r^, dA = r dr dtheta
      s += rw[i] * tw[j] * amp * (c * kx + sn * ky) / kt * nc *
           std::exp(cplx(0, -(kx * r * c + ky * r * sn)));
    }
  }
  return s;
}

}  // namespace

// After a run at oblique incidence the table holds the couplings of the
// last sweep point: the TEM mode's with every TM wave agrees with the area
// quadrature of the analytic potential, and it is zero with the TE waves.
TEST(TemCoupling, CoaxialModeAgainstAreaQuadrature) {
  scratch_dir dir;
  scratch_dir::write_file("coax.fss", coax_structure("35 20", "12 12 1"));
  run_structure("coax");
  ASSERT_EQ(fss_modewg_index[1], wg_tem);
  const int nw = fss_modewg_index.n;
  double worst = 0, largest = 0;
  int tm = 0;
  for (int m = 1; m <= fss_modeflo_index.n; ++m) {
    const cplx s = fss_integrals[(m - 1) * nw + 1];
    const flo_kappa& k = fss_modeflo_kappa[m];
    if (fss_modeflo_index[m].type == flo_te) {
      EXPECT_EQ(s, cplx(0));
      continue;
    }
    if (k.kt > 2500) continue;  // the contour quadrature is for the lower waves
    ++tm;
    const cplx want = area_sigma(1.5e-3, 4e-3, k.kx, k.ky, fss_cell_dim.inv_sqrt_ab);
    worst = std::max(worst, std::abs(s - want));
    largest = std::max(largest, std::abs(want));
  }
  EXPECT_GT(tm, 10);
  EXPECT_LT(worst, 1e-3 * largest);
  std::printf(" TEM couplings with %d TM waves: largest difference %.2e of the largest %.3f\n", tm,
              worst, largest);
}
