// Circular holes against the exact Bessel modes of the circle: the solver's
// modes and contour samples, the coupling integrals against their closed
// forms, and the whole chain against a chain run on closed-form couplings.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "records/contour.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/floquet.hpp"
#include "scattering/integrals.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"
#include "support/circle_modes.hpp"
#include "support/command_line.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;

// 7 mm holes in a 10 mm square lattice, 1 mm thick: the dichroic-plate
// geometry, drawn off the cell origin so that the phases of the couplings
// are exercised too.
const circle_aperture hole{1.0e-3, -0.5e-3, 3.5e-3};

std::string structure(double fwg, double fflo, const std::string& incidence) {
  char buf[1024];
  std::snprintf(buf, sizeof buf,
                "circular holes\nagainst Bessel modes\n1) cell dimensions a b [mm]\n10 10\n"
                "2) skew angle [deg]\n90\n3) metal thickness [mm]\n1\n4) aperture boundary [mm]\n"
                "%.17g %.17g %.17g %.17g %.17g %.17g\n5) incidence theta phi [deg]\n%s\n"
                "6) frequency sweep start end step [GHz]\n20 30 5\n"
                "7) largest frequency of the aperture modes [GHz]\n%g\n"
                "8) largest frequency of the Floquet modes [GHz]\n%g\n",
                (hole.xc + hole.r) * 1e3, hole.yc * 1e3, (hole.xc + hole.r) * 1e3, hole.yc * 1e3,
                (hole.xc - hole.r) * 1e3, hole.yc * 1e3, incidence.c_str(), fwg, fflo);
  return buf;
}

// Reads the structure and builds the catalogue with the mode solver.
void solver_catalogue(double fwg, double fflo, const std::string& incidence) {
  scratch_dir::write_file("hole.fss", structure(fwg, fflo, incidence));
  set_command_line("hole", {});
  fss_set_capacities();
  read_input_fss();
  write_output();
  genmodes_wg();
}

// Each catalogue mode as a combination of the Bessel modes of its kind and
// cutoff, fitted to its contour samples (weights from the quadrature record).
struct fitted {
  std::vector<int> basis;     // indices into the Bessel list
  std::vector<double> coef;   // combination
  std::vector<double> unit;   // the same at unit norm
  double residual = 0;        // relative, of the samples
};

std::vector<fitted> fit_catalogue(const std::vector<bessel_mode>& bm) {
  std::vector<fitted> out;
  int p = 0;
  const int np = fss_coordinates.n;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    fitted f;
    const int kind = fss_modewg_index[j];
    const double kc = fss_modewg_kappa[j];
    for (int b = 0; b < static_cast<int>(bm.size()); ++b)
      if (bm[b].kind == kind && std::fabs(bm[b].kc / kc - 1) < 1e-7) f.basis.push_back(b);
    std::vector<double> s(np);
    for (int i = 0; i < np; ++i) s[i] = fss_samplewg[++p];
    const int nb = static_cast<int>(f.basis.size());
    std::vector<std::vector<double>> q(nb, std::vector<double>(np));
    for (int b = 0; b < nb; ++b)
      for (int i = 0; i < np; ++i)
        q[b][i] = bessel_boundary_value(hole, bm[f.basis[b]], fss_coordinates[i + 1].x,
                                        fss_coordinates[i + 1].y) *
                  xywgt[i + 1] * 1e-3;
    // Normal equations of at most two unknowns.
    double g[2][2] = {{0, 0}, {0, 0}}, r[2] = {0, 0};
    for (int a = 0; a < nb && a < 2; ++a) {
      for (int b = 0; b < nb && b < 2; ++b)
        for (int i = 0; i < np; ++i) g[a][b] += q[a][i] * q[b][i];
      for (int i = 0; i < np; ++i) r[a] += q[a][i] * s[i];
    }
    if (nb == 1) f.coef = {r[0] / g[0][0]};
    if (nb == 2) {
      const double det = g[0][0] * g[1][1] - g[0][1] * g[1][0];
      f.coef = {(r[0] * g[1][1] - r[1] * g[0][1]) / det, (g[0][0] * r[1] - g[1][0] * r[0]) / det};
    }
    double res = 0, nrm = 0;
    for (int i = 0; i < np; ++i) {
      double v = s[i];
      for (int b = 0; b < nb && b < 2; ++b) v -= f.coef[b] * q[b][i];
      res += v * v;
      nrm += s[i] * s[i];
    }
    f.residual = std::sqrt(res / nrm);
    // The exact mode that the fit points at: the same combination at unit norm
    // (a degenerate pair may be rotated and any mode may change sign).
    double n2 = 0;
    for (double c : f.coef) n2 += c * c;
    for (double c : f.coef) f.unit.push_back(c / std::sqrt(n2));
    out.push_back(f);
  }
  return out;
}

// Closed-form coupling table of the exact unit-norm modes in place of the
// contour sums.
void closed_form_integrals(const std::vector<bessel_mode>& bm, const std::vector<fitted>& fit) {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  fss_integrals.n = nw * nf;
  for (int m = 1; m <= nf; ++m) {
    const flo_kappa k = fss_modeflo_kappa[m];
    for (int j = 1; j <= nw; ++j) {
      cplx s = 0;
      for (std::size_t b = 0; b < fit[j - 1].basis.size(); ++b)
        s += fit[j - 1].unit[b] * bessel_coupling(hole, bm[fit[j - 1].basis[b]],
                                                  fss_modeflo_index[m].type, k.kt, k.kx, k.ky,
                                                  fss_cell_dim.inv_sqrt_ab, fss_inc_angle.phi);
      fss_integrals[(m - 1) * nw + j] = s;
    }
  }
}

void set_point(double f_ghz, double theta_deg, double phi_deg) {
  fss_em_var.f = f_ghz * 1e9;
  fss_em_var.lambda = dcspeed() / fss_em_var.f;
  fss_em_var.k0 = dpi(1) / fss_em_var.lambda;
  fss_em_var.eta0 = dpi(0) * 120;
  fss_inc_angle.theta = theta_deg * M_PI / 180;
  fss_inc_angle.phi = phi_deg * M_PI / 180;
  const double k0 = fss_em_var.k0;
  fss_inc_angle.kx0 = k0 * std::sin(fss_inc_angle.theta) * std::cos(fss_inc_angle.phi);
  fss_inc_angle.ky0 = k0 * std::sin(fss_inc_angle.theta) * std::sin(fss_inc_angle.phi);
  update_modes_wg();
  genmodes_flo();
}

struct coefficients { cplx r11, r22, t11, t22; };
coefficients solve_point() {
  calc_mata();
  calc_vettb();
  solve_prob();
  calc_coefficients();
  return {fss_coefficients.r11, fss_coefficients.r22, fss_coefficients.t11a, fss_coefficients.t22a};
}

double worst(const coefficients& a, const coefficients& b) {
  return std::max({std::abs(a.r11 - b.r11), std::abs(a.r22 - b.r22), std::abs(a.t11 - b.t11),
                   std::abs(a.t22 - b.t22)});
}

}  // namespace

// Every mode of the catalogue is a Bessel mode of the same kind and cutoff,
// with unit norm, and the catalogue holds each one exactly once.
TEST(CircularHoles, SolverModesAreTheUnitNormBesselModes) {
  scratch_dir dir;
  solver_catalogue(150, 450, "0 0");
  const std::vector<bessel_mode> bm = bessel_modes(hole.r, fss_kmax.wg);
  const std::vector<fitted> fit = fit_catalogue(bm);
  ASSERT_EQ(fss_modewg_index.n, static_cast<int>(bm.size()));
  std::vector<double> weight(bm.size(), 0);
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const fitted& f = fit[j - 1];
    ASSERT_FALSE(f.basis.empty()) << "mode " << j << " kc " << fss_modewg_kappa[j];
    // Points written with the single-precision millimetre sit 4.5e-8 off
    // their places relative to the centre.
    EXPECT_LT(f.residual, 1e-6) << "mode " << j;
    double n2 = 0;
    for (std::size_t b = 0; b < f.basis.size(); ++b) {
      n2 += f.coef[b] * f.coef[b];
      weight[f.basis[b]] += f.coef[b] * f.coef[b];
    }
    // The metre of the mode files is the single-precision millimetre cubed.
    EXPECT_NEAR(n2, 1, 1e-6) << "mode " << j << " kind " << fss_modewg_index[j] << " kc "
                             << fss_modewg_kappa[j];
  }
  for (std::size_t b = 0; b < bm.size(); ++b)
    EXPECT_NEAR(weight[b], 1, 1e-6) << "Bessel mode nu " << bm[b].nu << " root " << bm[b].root;
}

// The contour sums of the program against the closed forms, for every mode
// and every Floquet mode, at normal and oblique incidence.
TEST(CircularHoles, CouplingIntegralsAgreeWithTheirClosedForms) {
  scratch_dir dir;
  solver_catalogue(100, 300, "0 0");
  const std::vector<bessel_mode> bm = bessel_modes(hole.r, fss_kmax.wg);
  const std::vector<fitted> fit = fit_catalogue(bm);
  for (double theta : {0.0, 35.0}) {
    set_point(25, theta, 20);
    calc_integrals();
    const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
    std::vector<cplx> prog(fss_integrals.data1(), fss_integrals.data1() + nw * nf);
    closed_form_integrals(bm, fit);
    double worst_low = 0, worst_all = 0;
    for (int m = 1; m <= nf; ++m)
      for (int j = 1; j <= nw; ++j) {
        const double e = std::abs(prog[(m - 1) * nw + j - 1] - fss_integrals[(m - 1) * nw + j]);
        worst_all = std::max(worst_all, e);
        if (fss_modeflo_kappa[m].kt < 2 * fss_em_var.k0) worst_low = std::max(worst_low, e);
      }
    std::printf("theta %g: worst |d sigma| %.3g (Floquet kt < 2 k0: %.3g)\n", theta, worst_all,
                worst_low);
    EXPECT_LT(worst_low, 1e-6) << "theta " << theta;
    EXPECT_LT(worst_all, 1e-3) << "theta " << theta;
  }
}

// The chain on the program's couplings against the chain on the closed
// forms, at several limits, at normal and oblique incidence.
TEST(CircularHoles, ChainAgreesWithClosedFormCouplings) {
  for (double fwg : {100.0, 150.0, 200.0}) {
    scratch_dir dir;
    solver_catalogue(fwg, 3 * fwg, "0 0");
    const std::vector<bessel_mode> bm = bessel_modes(hole.r, fss_kmax.wg);
    const std::vector<fitted> fit = fit_catalogue(bm);
    double w = 0;
    for (double f : {12.0, 20.5, 29.5})
      for (double theta : {0.0, 30.0}) {
        set_point(f, theta, 0);
        calc_integrals();
        const coefficients a = solve_point();
        set_point(f, theta, 0);
        closed_form_integrals(bm, fit);
        const coefficients b = solve_point();
        w = std::max(w, worst(a, b));
      }
    std::printf("limit %g GHz: worst |dS| %.3g\n", fwg, w);
    EXPECT_LT(w, 1e-5) << "limit " << fwg;
  }
}
