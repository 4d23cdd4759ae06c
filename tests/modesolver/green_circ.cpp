// Circular enclosure kernels against independent Fourier series.
//
// References written here: the Dirichlet and Neumann functions of the disc as
// angular Fourier series with their radial Green's functions
// ((r</r>)^n -/+ (r r0/a^2)^n)/(2 pi n), and the biharmonic TE sum
// B = sum psi psi0/kc^4 = integral over the disc of N(r, t) N(t, r0), whose
// angular coefficients are radial integrals of products of powers, done in
// closed form piece by piece (0..r<, r<..r>, r>..a).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "modesolver/green_kernels.hpp"
#include "records/run.hpp"

namespace {

const double pi = 3.141592653589793;

int nterms(double r, double r0) {
  double q = std::min(r, r0) / std::max(r, r0);
  return q < 1e-12 ? 2 : int(std::min(40 / -std::log(q) + 10, 200000.0));
}

double dir_ref(double r, double ph, double r0, double ph0, double a) {
  double lo = std::min(r, r0), hi = std::max(r, r0), w = r * r0 / (a * a);
  double sum = -std::log(hi / a) / (2 * pi);
  int nmax = nterms(r, r0);
  for (int n = 1; n <= nmax; ++n)
    sum += (std::pow(lo / hi, n) - std::pow(w, n)) * std::cos(n * (ph - ph0)) / (2 * pi * n);
  return sum;
}

// ((1/r0) dN/dphi0, dN/dr0) of the Neumann function (-lap0 N = delta - 1/(pi a^2)).
void neu_ref(double r, double ph, double r0, double ph0, double a, double& nphi, double& nr0) {
  double lo = std::min(r, r0), hi = std::max(r, r0), w = r * r0 / (a * a);
  double sg = r0 < r ? 1 : -1;
  nphi = 0;
  nr0 = (r0 > r ? -1 / (2 * pi * r0) : 0) + r0 / (2 * pi * a * a);
  int nmax = nterms(r, r0);
  for (int n = 1; n <= nmax; ++n) {
    double qn = std::pow(lo / hi, n), wn = std::pow(w, n);
    nphi += (qn + wn) * std::sin(n * (ph - ph0)) / (2 * pi * r0);
    nr0 += (sg * qn + wn) * std::cos(n * (ph - ph0)) / (2 * pi * r0);
  }
}

// Radial factor of the angular order n >= 1 of N, or of its derivative in
// its own radius r: kap [s1 (t/r)^n + s2 (r t/a^2)^n] for t < r and
// kap [s3 (r/t)^n + s2 (r t/a^2)^n] for t > r.
struct rfun {
  double r, kap, s1, s3, s2;
};
rfun value(double r, int n) { return {r, 1 / (2 * pi * n), 1, 1, 1}; }
rfun deriv(double r, int n) { return {r, 1 / (2 * pi * r), -1, 1, 1}; }

// Integral over 0..a of F(t) G(t) t dt, all powers written as ratios <= 1.
double rint(rfun f, rfun g, int n, double a) {
  if (f.r > g.r) std::swap(f, g);
  double rl = f.r, rg = g.r, q = rl / rg, qn = std::pow(q, n);
  double al = std::pow(rl / a, 2 * n), ag = std::pow(rg / a, 2 * n);
  double pn = std::pow(rl * rg / (a * a), n);
  double cl = f.s1 + f.s2 * al, cg = g.s1 + g.s2 * ag;
  double p1 = cl * cg * rl * rl * qn / (2 * n + 2);
  double p2 = cg * (f.s3 * qn * (rg * rg - rl * rl) / 2 +
                    f.s2 * (rg * rg * pn - rl * rl * al * qn) / (2 * n + 2));
  double first = n == 1 ? rl * rg * std::log(a / rg)
                        : (a * a * pn - rg * rg * qn) / (2 - 2 * n);
  double p3 = f.s3 * g.s3 * first + (f.s3 * g.s2 + f.s2 * g.s3) * pn * (a * a - rg * rg) / 2 +
              f.s2 * g.s2 * pn * (a * a - rg * rg * ag) / (2 * n + 2);
  return f.kap * g.kap * (p1 + p2 + p3);
}

// (z x grad)(z x grad0) B in polar components (field frame, source frame).
void dyad_ref(double r, double ph, double r0, double ph0, double a, double e[4]) {
  double d = ph - ph0;
  e[0] = e[1] = e[2] = 0;
  e[3] = (std::min(r, r0) / std::max(r, r0) - r * r0 / (a * a)) / (4 * pi);  // order 0
  int nmax = nterms(r, r0);
  for (int n = 1; n <= nmax; ++n) {
    double bn = pi * rint(value(r, n), value(r0, n), n, a);
    double br = pi * rint(deriv(r, n), value(r0, n), n, a);
    double br0 = pi * rint(value(r, n), deriv(r0, n), n, a);
    double brr0 = pi * rint(deriv(r, n), deriv(r0, n), n, a);
    double c = std::cos(n * d), s = std::sin(n * d);
    e[0] += double(n) * n * bn * c / (r * r0);
    e[1] += n / r * s * br0;
    e[2] -= n / r0 * s * br;
    e[3] += c * brr0;
  }
}

// Polar frames of the field point (left) and source point (right) applied to
// the free-space part S = (-ln(R/a) I + D D/R^2)/(4 pi).
void free_dyad(double r, double ph, double r0, double ph0, double a, double e[4]) {
  double x = r * std::cos(ph), y = r * std::sin(ph);
  double x0 = r0 * std::cos(ph0), y0 = r0 * std::sin(ph0);
  double dx = x - x0, dy = y - y0, r2 = dx * dx + dy * dy, lg = -0.5 * std::log(r2 / (a * a));
  double s[2][2] = {{lg + dx * dx / r2, dx * dy / r2}, {dx * dy / r2, lg + dy * dy / r2}};
  double f[2][2] = {{std::cos(ph), std::sin(ph)}, {-std::sin(ph), std::cos(ph)}};
  double g[2][2] = {{std::cos(ph0), std::sin(ph0)}, {-std::sin(ph0), std::cos(ph0)}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      double v = 0;
      for (int k = 0; k < 2; ++k)
        for (int l = 0; l < 2; ++l) v += f[i][k] * s[k][l] * g[j][l];
      e[2 * i + j] = v / (4 * pi);
    }
}

struct ppt {
  double r, ph, r0, ph0;
};
const double A = 2.0;
const ppt pts[] = {
    {0.6, 0.3, 1.4, 2.2},     // interior, far apart
    {1.97, 1.0, 1.2, 0.7},    // field point near the wall
    {0.9, -2.0, 1.96, 2.9},   // source near the wall
    {1.0, 0.5, 1.02, 0.51},   // near the source
    {0.15, 0.8, 0.5, -1.2},   // near the centre
    {1.5, 3.1, 1.45, -3.1},   // across the branch cut of the angle
};

}  // namespace

TEST(GreenCirc, ScalarMatchesFourierSeries) {
  for (const ppt& p : pts) {
    int st = -1;
    double g = greenc(p.r, p.ph, p.r0, p.ph0, A, 0, st);
    EXPECT_EQ(st, 0);
    EXPECT_NEAR(g, dir_ref(p.r, p.ph, p.r0, p.ph0, A), 1e-11) << p.r << " " << p.r0;
    // Symmetric in field and source.
    EXPECT_NEAR(g, greenc(p.r0, p.ph0, p.r, p.ph, A, 0, st), 1e-13);
    // Regular part + free-space logarithm = full form.
    double reg = greenc(p.r, p.ph, p.r0, p.ph0, A, -7, st);
    double dist = std::sqrt(p.r * p.r + p.r0 * p.r0 - 2 * p.r * p.r0 * std::cos(p.ph - p.ph0));
    EXPECT_NEAR(reg - std::log(dist / A) / (2 * pi), g, 1e-13);
  }
  // Zero on the wall for any source inside.
  int st;
  for (double ph : {0.0, 1.3, 3.0, -2.2})
    EXPECT_NEAR(greenc(A, ph, 0.77, 0.4, A, 0, st), 0, 1e-15);
}

// htc: (1/r dG/dphi, -dG/dr) at the field point, from differences of greenc.
TEST(GreenCirc, TmMagneticKernelIsCurlOfScalarKernel) {
  int st;
  for (const ppt& p : pts)
    for (int itr : {0, -7}) {
      double hr, hp;
      htc(p.r, p.ph, p.r0, p.ph0, A, hr, hp, itr, st);
      EXPECT_EQ(st, 0);
      auto g = [&](double r, double ph) { return greenc(r, ph, p.r0, p.ph0, A, itr, st); };
      double h = 1e-5;
      double gphi = (g(p.r, p.ph + h) - g(p.r, p.ph - h)) / (2 * h) / p.r;
      double grho = (g(p.r + h, p.ph) - g(p.r - h, p.ph)) / (2 * h);
      double sc = 1e-7 * (1 + std::hypot(gphi, grho));
      EXPECT_NEAR(hr, gphi, sc) << itr << " " << p.r;
      EXPECT_NEAR(hp, -grho, sc) << itr << " " << p.r;
    }
}

// hic: ((1/r0) dN/dphi0, -dN/dr0) at the source point.
TEST(GreenCirc, TeMagneticKernelMatchesNeumannSeries) {
  int st;
  for (const ppt& p : pts) {
    double hr, hp, nphi, nr0;
    hic(p.r, p.ph, p.r0, p.ph0, A, hr, hp, 1, st);
    EXPECT_EQ(st, 0);
    neu_ref(p.r, p.ph, p.r0, p.ph0, A, nphi, nr0);
    double sc = 1e-10 * (1 + std::hypot(nphi, nr0));
    EXPECT_NEAR(hr, nphi, sc) << p.r << " " << p.r0;
    EXPECT_NEAR(hp, -nr0, sc) << p.r << " " << p.r0;
    // Regular part (itr <= 0) + the same operator on -(1/2pi) ln R = full form.
    double x = p.r * std::cos(p.ph), y = p.r * std::sin(p.ph);
    double x0 = p.r0 * std::cos(p.ph0), y0 = p.r0 * std::sin(p.ph0);
    double dx = x - x0, dy = y - y0, r2 = dx * dx + dy * dy;
    double gx0 = dx / (2 * pi * r2), gy0 = dy / (2 * pi * r2);  // grad0 of the logarithm
    double lr = gx0 * std::cos(p.ph0) + gy0 * std::sin(p.ph0);
    double lphi = -gx0 * std::sin(p.ph0) + gy0 * std::cos(p.ph0);
    for (int itr : {0, -7}) {
      double rr, rp;
      hic(p.r, p.ph, p.r0, p.ph0, A, rr, rp, itr, st);
      EXPECT_NEAR(rr + lphi, hr, 1e-12 * (1 + std::fabs(hr)));
      EXPECT_NEAR(rp - lr, hp, 1e-12 * (1 + std::fabs(hp)));
    }
  }
}

TEST(GreenCirc, TmMagneticRegularPartPlusSingularIsFull) {
  int st;
  for (const ppt& p : pts) {
    double fr, fp, rr, rp;
    htc(p.r, p.ph, p.r0, p.ph0, A, fr, fp, 0, st);
    htc(p.r, p.ph, p.r0, p.ph0, A, rr, rp, -7, st);
    double x = p.r * std::cos(p.ph), y = p.r * std::sin(p.ph);
    double x0 = p.r0 * std::cos(p.ph0), y0 = p.r0 * std::sin(p.ph0);
    double dx = x - x0, dy = y - y0, r2 = dx * dx + dy * dy;
    double gx = -dx / (2 * pi * r2), gy = -dy / (2 * pi * r2);  // grad of the logarithm
    double lr = gx * std::cos(p.ph) + gy * std::sin(p.ph);
    double lphi = -gx * std::sin(p.ph) + gy * std::cos(p.ph);
    EXPECT_NEAR(rr + lphi, fr, 1e-12 * (1 + std::fabs(fr)));
    EXPECT_NEAR(rp - lr, fp, 1e-12 * (1 + std::fabs(fp)));
  }
}

TEST(GreenCirc, ElectricDyadicMatchesBiharmonicSeries) {
  int st;
  for (const ppt& p : pts) {
    double e[4], ref[4], reg[4], s[4];
    eic(p.r, p.ph, p.r0, p.ph0, A, e[0], e[1], e[2], e[3], 1, st);
    EXPECT_EQ(st, 0);
    dyad_ref(p.r, p.ph, p.r0, p.ph0, A, ref);
    double sc = 1e-9 * (1 + std::fabs(ref[0]) + std::fabs(ref[3]));
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(e[i], ref[i], sc) << i << " r=" << p.r << " r0=" << p.r0;
    free_dyad(p.r, p.ph, p.r0, p.ph0, A, s);
    for (int itr : {0, -7}) {
      eic(p.r, p.ph, p.r0, p.ph0, A, reg[0], reg[1], reg[2], reg[3], itr, st);
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(reg[i] + s[i], e[i], 1e-12) << i;
    }
  }
}

// Near the centre (r/a or r0/a at or below 1e-3) the dyadic takes its limit
// at the centre, which is first-order accurate in the small radius; just
// outside, the general form is exact.
TEST(GreenCirc, ElectricDyadicNearTheCentre) {
  int st;
  for (double fac : {1.002, 0.999, 0.3, 0.01}) {
    double rs = fac * 1e-3 * A;
    double tol = fac > 1 ? 1e-10 : 0.05 * rs / A;
    double e[4], ref[4];
    eic(rs, 0.7, 1.1, 2.0, A, e[0], e[1], e[2], e[3], 1, st);
    dyad_ref(rs, 0.7, 1.1, 2.0, A, ref);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(e[i], ref[i], tol) << "field r=" << rs << " " << i;
    eic(1.3, -0.4, rs, 1.9, A, e[0], e[1], e[2], e[3], 1, st);
    dyad_ref(1.3, -0.4, rs, 1.9, A, ref);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(e[i], ref[i], tol) << "source r=" << rs << " " << i;
  }
  // Both points near the centre: the regular part against the series.
  double e[4], ref[4], s[4];
  eic(1e-4, 0.0, 3e-4, 2.0, A, e[0], e[1], e[2], e[3], -7, st);
  dyad_ref(1e-4, 0.0, 3e-4, 2.0, A, ref);
  free_dyad(1e-4, 0.0, 3e-4, 2.0, A, s);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(e[i], ref[i] - s[i], 2e-5) << i;
  // The regular part at the centre itself, against the series just beside it.
  eic(0.0, 0.0, 0.9, 1.2, A, e[0], e[1], e[2], e[3], -7, st);
  dyad_ref(1e-7, 0.0, 0.9, 1.2, A, ref);
  free_dyad(1e-7, 0.0, 0.9, 1.2, A, s);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(e[i], ref[i] - s[i], 1e-6) << i;
}

TEST(GreenCirc, CoincidentPointsReportTheirCodes) {
  int st = 0;
  double r = 1.1, ph = 0.4, r1 = 1.1 + 1e-4;
  errors = {};
  EXPECT_EQ(greenc(r, ph, r1, ph, A, 0, st), 0.0);
  EXPECT_EQ(st, 940);
  EXPECT_EQ(errors.code, 940);
  EXPECT_EQ(errors.message, "GREENC: internal error.");
  double hr = 1, hp = 1;
  hic(r, ph, r1, ph, A, hr, hp, 1, st);
  EXPECT_EQ(st, 943);
  EXPECT_EQ(errors.message, "HIC: internal error.");
  EXPECT_EQ(hr, 0.0);
  EXPECT_EQ(hp, 0.0);
  hr = hp = 1;
  htc(r, ph, r1, ph, A, hr, hp, 0, st);
  EXPECT_EQ(st, 944);
  EXPECT_EQ(errors.message, "HTC: internal error.");
  EXPECT_EQ(hp, 0.0);
  double e[4] = {1, 1, 1, 1};
  eic(r, ph, r1, ph, A, e[0], e[1], e[2], e[3], 2, st);
  EXPECT_EQ(st, 942);
  EXPECT_EQ(errors.code, 942);
  EXPECT_EQ(errors.message, "EIC:      internal error");
  for (double v : e) EXPECT_EQ(v, 0.0);
  // The threshold is R^2/a^2 <= 1e-6: just beyond it the kernels work.
  errors = {};
  double far = 1.1 + 2.1e-3 * A;
  greenc(r, ph, far, ph, A, 0, st);
  EXPECT_EQ(st, 0);
  eic(r, ph, far, ph, A, e[0], e[1], e[2], e[3], 2, st);
  EXPECT_EQ(st, 0);
  // hic and eic include the singular part only for itr > 0, htc already at 0;
  // the regular parts never fail.
  hic(r, ph, r, ph, A, hr, hp, 0, st);
  EXPECT_EQ(st, 0);
  eic(r, ph, r, ph, A, e[0], e[1], e[2], e[3], 0, st);
  EXPECT_EQ(st, 0);
  htc(r, ph, r, ph, A, hr, hp, -1, st);
  EXPECT_EQ(st, 0);
  greenc(r, ph, r, ph, A, -7, st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(errors.code, 0);
}
