// Screens in dielectric stacks: the transmission-line recursions against
// closed forms, the whole scattering chain (analytic modes of a rectangular
// hole) against the closed-form slab on a short, the air limits, energy,
// absorption, reciprocity with the stack mirrored, filled holes, a Floquet
// order on a guided wave of the stack, and the system of both faces split
// into the classes that the mirror symmetries leave uncoupled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <sstream>
#include <string>
#include <vector>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "scattering/classes.hpp"
#include "scattering/floquet.hpp"
#include "scattering/polarisation.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"
#include "scattering/stack.hpp"
#include "support/analytic_modes.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

namespace {

const double c0 = 299800000.0, eta0 = 120 * M_PI;

double k0_of(double f_ghz) { return 2 * M_PI * f_ghz * 1e9 / c0; }

// Transverse admittance of a plane wave of the given polarisation (flo_te
// or flo_tm) in a medium eps (complex, exp(+j omega t)), written from kz.
cplx wave_y(int pol, double k0, double sin_theta, cplx eps) {
  const cplx kz = std::sqrt(eps * k0 * k0 - k0 * k0 * sin_theta * sin_theta);
  return pol == flo_te ? kz / (k0 * eta0) : k0 * eps / (eta0 * kz);
}

// Reflection of a slab of thickness d on a perfect conductor, seen from the
// air at its outer face: the shorted line has Zin = j Z1 tan(kz1 d).
cplx slab_on_short(int pol, double k0, double sin_theta, cplx eps, double d) {
  const cplx y0 = wave_y(pol, k0, sin_theta, 1.0), y1 = wave_y(pol, k0, sin_theta, eps);
  const cplx kz1 = std::sqrt(eps * k0 * k0 - k0 * k0 * sin_theta * sin_theta);
  const cplx yin = 1.0 / (cplx(0, 1) / y1 * std::tan(kz1 * d));
  return (y0 - yin) / (y0 + yin);
}

std::string layer(double d_mm, double eps, double tand) {
  std::ostringstream s;
  s.precision(17);
  s << d_mm << " " << eps << " " << tand << "\n";
  return s.str();
}

// One sweep point of a rectangular hole w x h mm in a 10 mm square lattice,
// thickness t mm, with the stack block given (empty: none), through the
// analytic-mode chain; the coefficients of the point are left in the records.
void run_point(double t_mm, double w_mm, double h_mm, double theta, double phi, double f_ghz,
               const std::string& stack, const std::vector<std::string>& options = {},
               double fwg = 100, double fflo = 300) {
  std::ostringstream inc, sweep;
  inc << theta << " " << phi;
  sweep.precision(17);
  sweep << f_ghz << " " << f_ghz << " 1";
  std::string text = structure_text(10, 10, t_mm, w_mm, h_mm, inc.str(), sweep.str(), fwg, fflo);
  if (!stack.empty()) text += "9) stack from the illuminated side\n" + stack;
  scratch_dir::write_file("st.fss", text);
  rect_aperture ap;
  ap.w = w_mm * 1e-3;
  ap.h = h_mm * 1e-3;
  ap.x0 = ap.y0 = 0;
  run_chain("st", ap, options);
}

struct point_result {
  cplx r11, r22, t11, t22;  // .out coefficients: y (TM) and x (TE) polarisation
  double ptot[3];
};
point_result result() {
  point_result p{fss_coefficients.r11, fss_coefficients.r22, fss_coefficients.t11a,
                 fss_coefficients.t22a, {0, fss_polar.ptot[1], fss_polar.ptot[2]}};
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Layer constants and the two recursions.

TEST(StackLines, GammaOnTheProperBranchAndAdmittances) {
  const double k0 = k0_of(10);
  // Lossless, propagating: +j beta (a forward wave exp(-j beta z)).
  cplx g = layer_gamma(k0, 0.5 * k0, 4.0, 0);
  EXPECT_EQ(g.real(), 0.0);
  EXPECT_NEAR(g.imag(), k0 * std::sqrt(4.0 - 0.25), 1e-12 * k0);
  // Evanescent: real and positive; air reproduces the air-only constant.
  g = layer_gamma(k0, 3 * k0, 4.0, 0);
  EXPECT_EQ(g.imag(), 0.0);
  EXPECT_NEAR(g.real(), std::sqrt(5.0) * k0, 1e-12 * k0);
  EXPECT_EQ(layer_gamma(k0, 0.3 * k0, 1.0, 0), fss_gamma(k0, 0.3 * k0));
  EXPECT_EQ(layer_gamma(k0, 1.7 * k0, 1.0, 0), fss_gamma(k0, 1.7 * k0));
  EXPECT_EQ(layer_gamma(k0, k0, 1.0, 0), fss_gamma(k0, k0));
  // Lossy: decaying forward wave in the first quadrant, gamma^2 = kt^2 - eps k0^2.
  g = layer_gamma(k0, 0.5 * k0, 3.0, 0.1);
  EXPECT_GT(g.real(), 0);
  EXPECT_GT(g.imag(), 0);
  const cplx want = 0.25 * k0 * k0 - cplx(3.0, -0.3) * k0 * k0;
  EXPECT_LT(std::abs(g * g - want), 1e-12 * std::abs(want));
  // Admittances against the plane-wave forms, and the TEM limit sqrt(eps) / eta0.
  const cplx eps(3.0, -0.3);
  EXPECT_LT(std::abs(layer_admittance(flo_te, g, k0, eta0, 3.0, 0.1) - wave_y(flo_te, k0, 0.5, eps)),
            1e-12 / eta0);
  EXPECT_LT(std::abs(layer_admittance(flo_tm, g, k0, eta0, 3.0, 0.1) - wave_y(flo_tm, k0, 0.5, eps)),
            1e-12 / eta0);
  const cplx g0 = layer_gamma(k0, 0, 2.25, 0);
  EXPECT_NEAR(std::abs(layer_admittance(flo_temx, g0, k0, eta0, 2.25, 0) - 1.5 / eta0), 0,
              1e-15 / eta0);
}

// One layer against the closed forms of a line: Yin = Y1 (Y0 + Y1 tanh gd) /
// (Y1 + Y0 tanh gd), Isc = 2 Y0 / (cosh gd + Y0 Z1 sinh gd) and the shorted
// line's reflection; propagating, evanescent and lossy; two layers against
// the same forms applied twice.
TEST(StackLines, OneAndTwoLayersAgainstClosedForms) {
  const double k0 = k0_of(12);
  struct lay { double d, eps, tand; };
  for (int type : {flo_te, flo_tm})
    for (double kt : {0.0, 0.6 * k0, 2.5 * k0})
      for (lay l : {lay{1.3e-3, 3.0, 0}, lay{4.0e-3, 2.2, 0.02}, lay{0.2e-3, 10.0, 0.5}}) {
        const cplx y0 = layer_admittance(type, fss_gamma(k0, kt), k0, eta0, 1, 0);
        const cplx g = layer_gamma(k0, kt, l.eps, l.tand);
        const cplx y1 = layer_admittance(type, g, k0, eta0, l.eps, l.tand);
        line_section s[2] = {{}, {y1, std::exp(-g * l.d)}};
        bool pole;
        const cplx th = std::tanh(g * l.d);
        const cplx yin = y1 * (y0 + y1 * th) / (y1 + y0 * th);
        EXPECT_LT(std::abs(face_admittance(s, 1, y0, pole) - yin), 1e-12 * std::abs(yin));
        EXPECT_FALSE(pole);
        if (kt >= k0) continue;  // the short-circuit quantities are for waves in air
        cplx isc, rsc;
        short_circuit(s, 1, y0, isc, rsc);
        const cplx want = 2.0 * y0 / (std::cosh(g * l.d) + y0 / y1 * std::sinh(g * l.d));
        EXPECT_LT(std::abs(isc - want), 1e-12 * std::abs(want));
        const cplx ysc = y1 / th;  // a shorted line
        EXPECT_LT(std::abs(rsc - (y0 - ysc) / (y0 + ysc)), 1e-12);
      }
  // Two layers: the input admittance of the inner one loads the outer one.
  const double kt = 0.4 * k0;
  for (int type : {flo_te, flo_tm}) {
    const cplx y0 = layer_admittance(type, fss_gamma(k0, kt), k0, eta0, 1, 0);
    const cplx ga = layer_gamma(k0, kt, 4.0, 0.01), gb = layer_gamma(k0, kt, 1.5, 0);
    const cplx ya = layer_admittance(type, ga, k0, eta0, 4.0, 0.01);
    const cplx yb = layer_admittance(type, gb, k0, eta0, 1.5, 0);
    const double da = 0.7e-3, db = 5.1e-3;
    line_section s[3] = {{}, {ya, std::exp(-ga * da)}, {yb, std::exp(-gb * db)}};
    // Face side: a touches the face, b the air.
    auto load = [](cplx y, cplx yl, cplx th) { return y * (yl + y * th) / (y + yl * th); };
    const cplx yin = load(ya, load(yb, y0, std::tanh(gb * db)), std::tanh(ga * da));
    bool pole;
    EXPECT_LT(std::abs(face_admittance(s, 2, y0, pole) - yin), 1e-12 * std::abs(yin));
    cplx isc, rsc;
    short_circuit(s, 2, y0, isc, rsc);
    // Reflection through the ABCD product of the two layers, face shorted.
    auto abcd = [](cplx g, cplx y, double d, cplx m[2][2]) {
      m[0][0] = m[1][1] = std::cosh(g * d);
      m[0][1] = std::sinh(g * d) / y;
      m[1][0] = std::sinh(g * d) * y;
    };
    cplx mb[2][2], ma[2][2];
    abcd(gb, yb, db, mb);
    abcd(ga, ya, da, ma);
    // (V, I) at the outer surface = Mb Ma (0, Iface).
    const cplx v = mb[0][0] * ma[0][1] + mb[0][1] * ma[1][1];
    const cplx i = mb[1][0] * ma[0][1] + mb[1][1] * ma[1][1];
    // V = 1 + R, I = y0 (1 - R): Iface = 2 y0 / (y0 v + i).
    EXPECT_LT(std::abs(isc - 2.0 * y0 / (y0 * v + i)), 1e-12 * std::abs(isc));
    EXPECT_LT(std::abs(rsc - (y0 * v - i) / (y0 * v + i)), 1e-12);
  }
}

// Many wavelengths of lossy dielectric and strongly evanescent modes: no
// overflow, and the limits the physics sets (the layer's own admittance at
// the face, nothing through to the short).
TEST(StackLines, ThickLayersAndEvanescentModesStayFinite) {
  const double k0 = k0_of(30);
  for (double kt : {0.2 * k0, 400 * k0}) {
    const cplx y0 = layer_admittance(flo_tm, fss_gamma(k0, kt), k0, eta0, 1, 0);
    const cplx g = layer_gamma(k0, kt, 10.0, 0.3);
    const cplx y1 = layer_admittance(flo_tm, g, k0, eta0, 10.0, 0.3);
    line_section s[2] = {{}, {y1, std::exp(-g * 2.0)}};  // 2 m: some 600 wavelengths
    bool pole;
    const cplx yin = face_admittance(s, 1, y0, pole);
    EXPECT_TRUE(std::isfinite(yin.real()) && std::isfinite(yin.imag()));
    EXPECT_LT(std::abs(yin - y1), 1e-14 * std::abs(y1));
    if (kt > k0) continue;
    cplx isc, rsc;
    short_circuit(s, 1, y0, isc, rsc);
    EXPECT_LT(std::abs(isc), 1e-250);  // the wave hardly reaches the short
    EXPECT_LT(std::abs(rsc - (y0 - y1) / (y0 + y1)), 1e-14);
  }
}

// A lossless slab in front of the face guides a surface wave: at the
// thickness that puts a mode evanescent in air exactly on it the face sees a
// short.  The admittance is flagged and finite there.
TEST(StackLines, GuidedWavePoleFlaggedAndFinite) {
  const double k0 = k0_of(20), kt = 1.3 * k0, eps = 4.0;
  const cplx y0 = layer_admittance(flo_te, fss_gamma(k0, kt), k0, eta0, 1, 0);
  const cplx g = layer_gamma(k0, kt, eps, 0);
  const cplx y1 = layer_admittance(flo_te, g, k0, eta0, eps, 0);
  // Y0 = -j b, Y1 real: the face sees a short where Y1 + b tan(beta d) = 0.
  const double b = -y0.imag(), beta = g.imag();
  const double d = (M_PI - std::atan(y1.real() / b)) / beta;
  line_section s[2] = {{}, {y1, std::exp(-g * d)}};
  bool pole;
  const cplx yin = face_admittance(s, 1, y0, pole);
  EXPECT_TRUE(pole);
  EXPECT_TRUE(std::isfinite(std::abs(yin)));
  EXPECT_GT(std::abs(yin), 1e9 * std::abs(y1));
  // A little off the pole the admittance is large but not flagged.
  line_section off[2] = {{}, {y1, std::exp(-g * d * (1 + 1e-6))}};
  face_admittance(off, 1, y0, pole);
  EXPECT_FALSE(pole);
}

// ---------------------------------------------------------------------------
// The whole chain.

// A hole far too small to pass anything (0.5 mm, 5 mm deep) behind a slab:
// R is the closed-form reflection of the slab on a short, in magnitude and
// phase, at normal and oblique incidence and for both polarisations; lossless
// and lossy, the absorbed power is 1 - |R|^2.
TEST(StackChain, SolidScreenBehindASlabIsTheSlabOnAShort) {
  scratch_dir dir;
  struct slab { double d_mm, eps, tand; };
  for (slab sl : {slab{1.0, 3.0, 0}, slab{2.5, 4.5, 0.05}})
    for (double theta : {0.0, 35.0}) {
      const double f = 14.0, k0 = k0_of(f), st = std::sin(theta * M_PI / 180);
      run_point(5.0, 0.5, 0.5, theta, 30.0, f, layer(sl.d_mm, sl.eps, sl.tand) + "screen\n",
                {"-csv"}, 100, 60);
      const point_result p = result();
      const cplx eps(sl.eps, -sl.eps * sl.tand);
      const cplx r_tm = slab_on_short(flo_tm, k0, st, eps, sl.d_mm * 1e-3);
      const cplx r_te = slab_on_short(flo_te, k0, st, eps, sl.d_mm * 1e-3);
      // The hole's reactive loading is below 1e-6 of the wave here.
      EXPECT_LT(std::abs(p.r11 - r_tm), 2e-6) << theta << " " << sl.eps;
      EXPECT_LT(std::abs(p.r22 - r_te), 2e-6) << theta << " " << sl.eps;
      EXPECT_LT(std::abs(p.t11), 1e-9);
      EXPECT_LT(std::abs(p.t22), 1e-9);
      // Absorbed fraction of each incident wave (TE = 1, TM = 2).
      EXPECT_NEAR(1 - p.ptot[1], 1 - std::norm(r_te), 4e-6);
      EXPECT_NEAR(1 - p.ptot[2], 1 - std::norm(r_tm), 4e-6);
      if (sl.tand == 0) {
        EXPECT_NEAR(p.ptot[1], 1.0, 1e-12);
      } else {
        EXPECT_GT(1 - p.ptot[1], 0.01);
      }
    }
}

// Layers of air change nothing but the reference plane of R (exp(-2 j kz d)
// for air of depth d in front); a lossless layer of vanishing thickness
// changes nothing at all.  Both to 1e-10, at oblique incidence, where every
// Floquet mode and aperture mode takes part.
TEST(StackChain, AirLayersAndVanishingLayersReproduceTheScreenInAir) {
  scratch_dir dir;
  const double f = 17.0, theta = 25.0, k0 = k0_of(f);
  const double kz = k0 * std::cos(theta * M_PI / 180);
  run_point(1.0, 7.0, 3.0, theta, 20.0, f, "");
  const point_result air = result();
  run_point(1.0, 7.0, 3.0, theta, 20.0, f, layer(2.0, 1, 0) + "screen\n" + layer(3.5, 1, 0));
  const point_result layered = result();
  const cplx ref_shift = std::exp(cplx(0, -2 * kz * 2.0e-3));
  EXPECT_LT(std::abs(layered.r11 - air.r11 * ref_shift), 1e-10);
  EXPECT_LT(std::abs(layered.r22 - air.r22 * ref_shift), 1e-10);
  EXPECT_LT(std::abs(layered.t11 - air.t11), 1e-10);
  EXPECT_LT(std::abs(layered.t22 - air.t22), 1e-10);
  run_point(1.0, 7.0, 3.0, theta, 20.0, f,
            layer(1e-12, 6.0, 0) + "screen\n" + layer(1e-12, 2.5, 0));
  const point_result thin = result();
  EXPECT_LT(std::abs(thin.r11 - air.r11), 1e-10);
  EXPECT_LT(std::abs(thin.r22 - air.r22), 1e-10);
  EXPECT_LT(std::abs(thin.t11 - air.t11), 1e-10);
  EXPECT_LT(std::abs(thin.t22 - air.t22), 1e-10);
}

// An asymmetric lossy stack and its mirror image: lit from the other side
// (the far-side columns of the 4-port), the mirrored structure gives the same
// R; T is the same both ways (reciprocity: the hole maps onto itself under
// a half turn, so S is symmetric).  Lossless, the power balances at an
// oblique point above the first grating lobe.
TEST(StackChain, MirroredStackLitFromTheOtherSideAndEnergy) {
  scratch_dir dir;
  const std::string front = layer(0.8, 3.0, 0.01) + layer(2.0, 1.2, 0);
  const std::string back = layer(1.5, 2.2, 0.002);
  const std::string mirrored_front = back, mirrored_back = layer(2.0, 1.2, 0) + layer(0.8, 3.0, 0.01);
  for (double theta : {0.0, 30.0}) {
    run_point(1.0, 6.0, 4.0, theta, 0.0, 19.0, front + "screen\n" + back, {"-s4p"});
    ASSERT_EQ(fss_polar.far, 1);
    const fss_polar_rec a = fss_polar;
    run_point(1.0, 6.0, 4.0, theta, 0.0, 19.0, mirrored_front + "screen\n" + mirrored_back,
              {"-s4p"});
    const fss_polar_rec b = fss_polar;
    for (int q = 1; q <= 2; ++q)
      for (int p = 1; p <= 2; ++p) {
        EXPECT_LT(std::abs(b.r[q][p] - a.rb[q][p]), 1e-9) << theta << " " << q << p;
        EXPECT_LT(std::abs(b.t[q][p] - a.tb[q][p]), 1e-9) << theta << " " << q << p;
        EXPECT_LT(std::abs(a.t[q][p] - a.tb[p][q]), 1e-9) << theta << " " << q << p;
      }
  }
  // Lossless layers, grating lobes propagating: all the power leaves.
  run_point(1.0, 6.0, 4.0, 20.0, 10.0, 26.0, layer(1.0, 3.0, 0) + "screen\n" + layer(0.5, 2.0, 0),
            {"-csv"});
  EXPECT_GT(fss_polar.orders, 1);
  EXPECT_NEAR(fss_polar.ptot[1], 1.0, 1e-11);
  EXPECT_NEAR(fss_polar.ptot[2], 1.0, 1e-11);
}

// Filled holes: the aperture modes carry the filling's permittivity.  A thick
// screen (10 mm) of holes 6 x 6 mm filled with eps_r 4 is a lossless
// resonator of the filled guide's TE10 mode: it transmits fully once in each
// band where the round-trip phase 2 beta t plus the two face reflections
// (each between 0 and pi) passes a multiple of 2 pi, that is first between
// the filled cutoff (12.5 GHz) and beta t = pi (14.57 GHz), next between
// beta t = pi and 2 pi (19.5 GHz).  Empty, the same holes pass nothing there.
TEST(StackChain, FilledHolesTransmitWhereTheFilledGuideResonates) {
  scratch_dir dir;
  const double kc = M_PI / 6e-3;
  auto f_of = [&](double beta) { return std::sqrt(kc * kc + beta * beta) / 2 / (2 * M_PI) * c0 / 1e9; };
  auto t_db = [&](double f, const std::string& stack) {
    run_point(10.0, 6.0, 6.0, 0.0, 0.0, f, stack, {}, 40, 60);
    return 20 * std::log10(std::abs(fss_coefficients.t22a));
  };
  const double bands[3] = {f_of(0), f_of(M_PI / 10e-3), f_of(2 * M_PI / 10e-3)};
  for (int b = 0; b < 2; ++b) {
    // Golden-section search for the peak of |T| in the band.
    double lo = bands[b] + 0.01, hi = bands[b + 1] - 0.01;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int it = 0; it < 30; ++it) {
      const double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
      if (t_db(x1, "screen 4 0\n") > t_db(x2, "screen 4 0\n")) hi = x2; else lo = x1;
    }
    const double f_peak = (lo + hi) / 2;
    EXPECT_GT(t_db(f_peak, "screen 4 0\n"), -1e-4) << "band " << b << " peak at " << f_peak;
    EXPECT_GT(f_peak, bands[b] + 0.05);
    EXPECT_LT(f_peak, bands[b + 1] - 0.05);
    EXPECT_LT(t_db(f_peak, ""), -40) << f_peak;
  }
  // Below the filled cutoff the filled holes are opaque again.
  EXPECT_LT(t_db(11.0, "screen 4 0\n"), -25);
}

// The order (1, 0) of a 10 mm lattice at normal incidence, evanescent in air
// at 20 GHz, put exactly on the TE surface wave of a lossless slab of eps_r
// 4 in front of the screen: the point is flagged, finite, conserves energy
// and joins its neighbours in frequency.
TEST(StackChain, FloquetOrderOnAGuidedWaveGivesAFiniteFlaggedPoint) {
  scratch_dir dir;
  const double f = 20.0, k0 = k0_of(f), kt = 2 * M_PI / 10e-3, eps = 4;
  const cplx y0 = layer_admittance(flo_te, fss_gamma(k0, kt), k0, eta0, 1, 0);
  const cplx g = layer_gamma(k0, kt, eps, 0);
  const cplx y1 = layer_admittance(flo_te, g, k0, eta0, eps, 0);
  const double d_mm = (M_PI - std::atan(y1.real() / -y0.imag())) / g.imag() * 1e3;
  const std::string stack = layer(d_mm, eps, 0) + "screen\n";
  testing::internal::CaptureStdout();
  run_point(1.0, 6.0, 6.0, 0.0, 0.0, f, stack, {"-csv"});
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_GE(fss_stack_point.poles, 1);
  EXPECT_NE(console.find("lies on a guided wave of the stack: the result is the limit there"),
            std::string::npos);
  const point_result at = result();
  for (cplx z : {at.r11, at.r22, at.t11, at.t22})
    EXPECT_TRUE(std::isfinite(z.real()) && std::isfinite(z.imag()));
  // The bounded admittance (1e13 times the layer's) costs digits at this one
  // point: the balance holds to 1.4e-9 here, 1e-12 elsewhere.
  EXPECT_NEAR(at.ptot[1], 1.0, 1e-8);
  EXPECT_NEAR(at.ptot[2], 1.0, 1e-8);
  for (double df : {-1e-8, 1e-8}) {
    testing::internal::CaptureStdout();
    run_point(1.0, 6.0, 6.0, 0.0, 0.0, f * (1 + df), stack, {"-csv"});
    testing::internal::GetCapturedStdout();
    const point_result near = result();
    EXPECT_EQ(fss_stack_point.poles, 0);
    EXPECT_LT(std::abs(near.t22 - at.t22), 1e-5);
    EXPECT_LT(std::abs(near.r22 - at.r22), 1e-5);
  }
}

// A filled hole behind a lossy skin and before a thin layer: the system of
// both faces, ordered by the classes no Floquet mode couples (four at
// normal incidence, two in a plane of incidence along an axis, one
// elsewhere; the off-centre hole too, the lattice being invariant under
// the shift), gives the whole system's coefficients, and from the factors
// left the solution for the waves from the far side (through the other
// stack), as the whole system's.  (A stack keeps the whole system of both
// faces: its mirror halves are those of a screen in air alone.)
TEST(StackChain, UncoupledClassesOfAScreenInAStack) {
  scratch_dir dir;
  const std::string stack = layer(0.8, 3.0, 0.002) + "screen 2.1 0.0004\n" + layer(0.3, 1.5, 0.001);
  struct incidence {
    double theta, phi;
    int classes;
  };
  struct solution {
    point_result near;
    std::vector<cplx> far;
  };
  for (double x0 : {0.0, 1.5})
    for (const incidence& in : {incidence{0, 0, 4}, {30, 0, 2}, {25, 90, 2}, {20, 35, 1}}) {
      auto point = [&] {
        std::ostringstream inc;
        inc << in.theta << " " << in.phi;
        std::string text = structure_text(10, 10, 1.0, 5.0, 7.0, inc.str(), "17.5 17.5 1", 90, 200);
        text += "9) stack from the illuminated side\n" + stack;
        scratch_dir::write_file("st.fss", text);
        run_chain("st", {x0 * 1e-3, 0, 5e-3, 7e-3, 12});
        solution s{result(), {}};
        solve_far_side();
        s.far.assign(fss_vettb_far.data1(), fss_vettb_far.data1() + fss_vettb_far.n);
        return s;
      };
      class_split_modes = 1 << 30;
      const solution whole = point();
      EXPECT_EQ(system_class_count(), 1);
      class_split_modes = 1;
      const solution split = point();
      EXPECT_EQ(system_class_count(), in.classes) << x0 << " " << in.theta << " " << in.phi;
      const cplx w[] = {whole.near.r11, whole.near.r22, whole.near.t11, whole.near.t22},
                 s[] = {split.near.r11, split.near.r22, split.near.t11, split.near.t22};
      for (int k = 0; k < 4; ++k) {
        EXPECT_GT(std::abs(w[k]), 0.01);
        EXPECT_LT(std::abs(w[k] - s[k]), 1e-12) << k << " " << in.theta << " " << in.phi;
      }
      EXPECT_LT(whole.near.ptot[1], 1.0);  // the layers absorb
      ASSERT_EQ(whole.far.size(), split.far.size());
      double size = 0, gap = 0;
      for (std::size_t k = 0; k < whole.far.size(); ++k) {
        size = std::max(size, std::abs(whole.far[k]));
        gap = std::max(gap, std::abs(whole.far[k] - split.far[k]));
      }
      EXPECT_GT(size, 0);
      EXPECT_LT(gap, 1e-12 * size) << x0 << " " << in.theta << " " << in.phi;
    }
  class_split_modes = max_wg_modes + 1;
}
