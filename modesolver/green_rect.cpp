// Static Green's functions of the rectangular enclosing guide.
//
// The images of the source in the four walls are summed in closed form along
// the shorter side (cosh X - cos Y is the periodic row of images with period
// 2b) and as a product series along the longer side, whose factor e^-kappa
// per term makes a few terms enough.  Coordinates are scaled by p = pi/b
// (the shorter side); when a < b the roles of x and y are exchanged so that
// the series always runs along the longer side.  When the field and source
// points lie in the far half of the enclosure, the coordinates are reflected
// about x = a so that X+ stays below kappa/2 and the series stays short.
// Every term of the series is of the order of e^-(m kappa) cosh X+; terms
// below 1e-20 are skipped, which keeps very elongated enclosures (kappa of
// several hundred, where cosh^2 X+ would overflow) finite.
#include "modesolver/green_kernels.hpp"

#include <cmath>

#include "records/run.hpp"

green_series_rec green_series;

namespace {

constexpr double pi = 3.141592653589793;

// Scaled coordinates shared by the rectangular kernels.
struct rect_frame {
  double xp, xm, yp, ym;  // X+, X-, Y+, Y-
  double kap;             // kappa = 2 p (longer side)
  double s;               // 1, or b/a when x and y are exchanged
  double rho2;            // X-^2 + Y-^2
  bool swap;
};

rect_frame frame(double x, double y, double x0, double y0, double a, double b) {
  rect_frame f;
  f.swap = a < b;
  double p;
  if (!f.swap) {
    p = pi / b;
    f.xp = (x + x0) * p, f.xm = (x - x0) * p;
    f.yp = (y + y0) * p, f.ym = (y - y0) * p;
    f.kap = 2 * p * a, f.s = 1;
  } else {
    p = pi / a;
    f.xp = (y + y0) * p, f.xm = (y - y0) * p;
    f.yp = (x + x0) * p, f.ym = (x - x0) * p;
    f.kap = 2 * p * b, f.s = b / a;
  }
  f.rho2 = f.xm * f.xm + f.ym * f.ym;
  return f;
}

int nterms(const rect_frame& f) {
  if (green_series.mforce > 0) return green_series.mforce;
  return static_cast<int>(std::lround((f.xp + 17.504) / f.kap));
}

// Factor of term m of the image product for the pair (cosh X, cos Y).
inline double qfac(double em, double cx, double cy) {
  double aa = 4 * cx * cy, bb = 4 * (cx * cx + cy * cy) - 2;
  return (((em - aa) * em + bb) * em - aa) * em + 1;
}

}  // namespace

void green_error(int code, const char* message, int& status) {
  status = code;
  errors.code = code;
  errors.message = message;
}

// Scalar Dirichlet kernel: G = ln P / (4 pi), P the image product.
double greenr(double x, double y, double x0, double y0, double a, double b,
              int itr, int& status) {
  rect_frame f = frame(x, y, x0, y0, a, b);
  if (itr >= 0 && f.rho2 <= 1.0e-12) {
    green_error(930, "DGREENR:   internal error", status);
    return 0;
  }
  if (2 * f.xp > f.kap) f.xp = f.kap - f.xp;  // G is even in X-
  double chp = std::cosh(f.xp), chm = std::cosh(f.xm);
  double cyp = std::cos(f.yp), cym = std::cos(f.ym);
  double tpp = chp - cyp, tpm = chp - cym, tmp = chm - cyp, tmm = chm - cym;
  double prod = tpm * tmp / tpp;
  if (itr < 0) {
    // Replace 1/T-- by R^2/a^2 / T--: the free-space logarithm removed.
    double q = 2 * f.s / f.kap;
    if (f.rho2 <= 0.005)  // T-- = rho^2/2 (1 + (X-^2 - Y-^2)/12 + ...)
      prod = q * q * 2 * prod / (1 + (f.rho2 - 2 * f.ym * f.ym) / 12);
    else
      prod = q * q * (prod / tmm) * f.rho2;
  } else {
    prod = prod / tmm;
  }
  int m = nterms(f);
  status = m;
  double e = std::exp(-f.kap), em = 1;
  for (int k = 1; k <= m; ++k) {
    em *= e;
    if (em * chp < 1.0e-20) break;  // negligible; cosh^2 could overflow
    prod = prod * qfac(em, chp, cym) * qfac(em, chm, cyp) /
           (qfac(em, chm, cym) * qfac(em, chp, cyp));
  }
  return std::log(prod) / (4 * pi);
}

// Magnetic-type kernels.  te = true: hir (Neumann images, source gradient);
// te = false: htr (Dirichlet images, field gradient).
static void hrect(bool te, double x, double y, double x0, double y0, double a,
                  double b, double& hx, double& hy, int itr, int& status) {
  rect_frame f = frame(x, y, x0, y0, a, b);
  hx = hy = 0;
  if (itr >= 0 && f.rho2 <= 1.0e-12) {
    if (te)
      green_error(933, "DHIR : internal error", status);
    else
      green_error(934, "DHTR : internal error", status);
    return;
  }
  bool flip = false;
  if (2 * f.xp > f.kap) f.xp = f.kap - f.xp, f.xm = -f.xm, flip = true;
  double cx0 = std::cosh(f.xp), cx1 = std::cosh(f.xm);
  double sx0 = std::sinh(f.xp), sx1 = std::sinh(f.xm);
  double cy0 = std::cos(f.yp), cy1 = std::cos(f.ym);
  double sy0 = std::sin(f.yp), sy1 = std::sin(f.ym);
  double t00 = 2 * (cx0 - cy0), t01 = 2 * (cx0 - cy1);
  double t10 = 2 * (cx1 - cy0), t11 = 2 * (cx1 - cy1);
  double g = te ? 1 : -1;  // sign of the images in x (X- with Y+, X+ with Y-)
  double sx = sy0 / t00 + g * sy0 / t10 - sy1 / t01;
  double sy = sx0 / t00 + g * sx0 / t01 - sx1 / t10;
  double h0x = 0, h0y = 0;
  bool direct = true;  // add the T11 (direct source) term
  if (itr < 0) {
    double xm = f.xm, ym = f.ym, r2 = f.rho2;
    if (r2 > 0.005) {
      h0x = -g * ym / r2, h0y = g * xm / r2;
    } else {
      // coth(z/2)/2 - 1/z = z/12 - z^3/720 + ..., z = X- + i Y-: each
      // component takes its own cubic correction.
      double cy = (4 * ym * ym - r2) / 60, cx = (4 * xm * xm - r2) / 60;
      h0x = -g * (1 - cx) * ym / 12, h0y = -g * (1 + cy) * xm / 12;
      direct = false;
    }
  }
  if (direct) sx -= g * sy1 / t11, sy -= g * sx1 / t11;
  int m = nterms(f);
  status = te ? m : 0;
  double e = std::exp(-f.kap), em = 1;
  for (int k = 1; k <= m; ++k) {
    em *= e;
    if (em * cx0 < 1.0e-20) break;  // negligible; cosh^2 could overflow
    double q00 = qfac(em, cx0, cy0), q01 = qfac(em, cx0, cy1);
    double q10 = qfac(em, cx1, cy0), q11 = qfac(em, cx1, cy1);
    double n00 = (cx0 * em - 2 * cy0) * em + cx0, n01 = (cx0 * em - 2 * cy1) * em + cx0;
    double n10 = (cx1 * em - 2 * cy0) * em + cx1, n11 = (cx1 * em - 2 * cy1) * em + cx1;
    double k00 = (cy0 * em - 2 * cx0) * em + cy0, k01 = (cy1 * em - 2 * cx0) * em + cy1;
    double k10 = (cy0 * em - 2 * cx1) * em + cy0, k11 = (cy1 * em - 2 * cx1) * em + cy1;
    sx += 2 * em * (sy0 * (n00 / q00 + g * n10 / q10) - sy1 * (n01 / q01 + g * n11 / q11));
    sy -= 2 * em * (sx0 * (k00 / q00 + g * k01 / q01) - sx1 * (k10 / q10 + g * k11 / q11));
  }
  double d = 2 * b / f.s;
  hx = (h0x - sx) / d;
  hy = (h0y + sy) / d;
  if (te) hy -= 2 * (f.xp - f.xm) / f.kap / d;  // uniform sink of the Neumann function
  if (flip) hy = -hy;
  if (f.swap) {
    double t = hx;
    hx = -hy, hy = -t;
  }
}

void hir(double x, double y, double x0, double y0, double a, double b,
         double& hx, double& hy, int itr, int& status) {
  hrect(true, x, y, x0, y0, a, b, hx, hy, itr, status);
}

void htr(double x, double y, double x0, double y0, double a, double b,
         double& hx, double& hy, int itr, int& status) {
  hrect(false, x, y, x0, y0, a, b, hx, hy, itr, status);
}

// Electric-type dyadic.  Its series carries the factors m kappa that come
// from the 1/kc^4 weighting of the TE modes.
void eir(double x, double y, double x0, double y0, double a, double b,
         double& exx, double& exy, double& eyx, double& eyy, int itr,
         int& status) {
  rect_frame f = frame(x, y, x0, y0, a, b);
  exx = exy = eyx = eyy = 0;
  bool flip = false;
  if (2 * f.xp > f.kap) f.xp = f.kap - f.xp, f.xm = -f.xm, flip = true;
  if (itr >= 0 && f.rho2 <= 1.0e-12) {
    green_error(932, "DEIR     : internal error", status);
    return;
  }
  const double xp = f.xp, xm = f.xm, ym = f.ym, r2 = f.rho2;
  double cx0 = std::cosh(xp), cx1 = std::cosh(xm);
  double sx0 = std::sinh(xp), sx1 = std::sinh(xm);
  double cy0 = std::cos(f.yp), cy1 = std::cos(ym);
  double sy0 = std::sin(f.yp), sy1 = std::sin(ym);
  double t00 = 2 * (cx0 - cy0), t01 = 2 * (cx0 - cy1);
  double t10 = 2 * (cx1 - cy0), t11 = 2 * (cx1 - cy1);
  double pc = t00, pd = t01 / t10;
  double sxxc = xp * sx0 / t00, sxxd = xp * sx0 / t01 - xm * sx1 / t10;
  double sxyc = xp * sy0 / t00, sxyd = xp * sy1 / t01 - xm * sy0 / t10;
  double e0xx = 0, e0xy = 0, e0yy = 0;
  double q = 2 * f.s / f.kap;
  if (itr >= 0 || r2 > 0.005) {
    if (itr >= 0) {
      pc = pc / t11;
    } else {
      pc = q * q * (pc / t11) * r2;
      e0xx = -xm * xm / r2, e0xy = -xm * ym / r2, e0yy = -ym * ym / r2;
    }
    sxxc -= xm * sx1 / t11;
    sxyc -= xm * sy1 / t11;
  } else {
    double w = ym * ym;
    pc = q * q * pc / ((r2 - 2 * w) / 12 + 1);
    double c = (4 * w - r2) / 60, cx = (4 * xm * xm - r2) / 60;
    e0xx = (1 + c) * xm * xm / 12;
    e0xy = -(1 - cx) * xm * ym / 12;  // X- times the Y-part of coth(z/2)/2 - 1/z
    e0yy = -1 - e0xx;
  }
  int m = nterms(f);
  status = m;
  double e = std::exp(-f.kap), em = 1;
  double dp = 2 * xp * sx0, dm = 2 * xm * sx1;
  for (int k = 1; k <= m; ++k) {
    em *= e;
    if (em * cx0 < 1.0e-20) break;  // negligible; cosh^2 could overflow
    double km = k * f.kap, kme = (1 - em * em) * km;
    double q00 = qfac(em, cx0, cy0), q01 = qfac(em, cx0, cy1);
    double q10 = qfac(em, cx1, cy0), q11 = qfac(em, cx1, cy1);
    double n00 = (cx0 * em - 2 * cy0) * em + cx0, n01 = (cx0 * em - 2 * cy1) * em + cx0;
    double n10 = (cx1 * em - 2 * cy0) * em + cx1, n11 = (cx1 * em - 2 * cy1) * em + cx1;
    double k00 = (cy0 * em - 2 * cx0) * em + cy0, k01 = (cy1 * em - 2 * cx0) * em + cy1;
    double k10 = (cy0 * em - 2 * cx1) * em + cy0, k11 = (cy1 * em - 2 * cx1) * em + cy1;
    auto rr = [&](double cx, double cy) {
      double aa = 4 * cx * cy, bb = 4 * (cx * cx + cy * cy) - 2;
      return (((1.5 * aa - 2 * em) * em - bb) * em + 0.5 * aa) * km;
    };
    double r00 = rr(cx0, cy0), r01 = rr(cx0, cy1), r10 = rr(cx1, cy0), r11 = rr(cx1, cy1);
    pc = pc * q00 / q11;
    pd = pd * q01 / q10;
    sxxc += em * ((r00 - k00 * dp) / q00 - (r11 - k11 * dm) / q11);
    sxxd += em * ((r01 - k01 * dp) / q01 - (r10 - k10 * dm) / q10);
    sxyc += 2 * em * (sy0 * (n00 * xp - sx0 * kme) / q00 - sy1 * (n11 * xm - sx1 * kme) / q11);
    sxyd += 2 * em * (sy1 * (n01 * xp - sx0 * kme) / q01 - sy0 * (n10 * xm - sx1 * kme) / q10);
  }
  // ln Pc and ln Pd apart: Pc Pd grows like cosh^2 X+.
  double lpc = std::log(pc), lpd = std::log(pd);
  exx = (0.5 * (lpc - lpd) + e0xx - sxxc + sxxd) / (4 * pi);
  exy = (e0xy - sxyc - sxyd) / (4 * pi);
  eyx = (e0xy - sxyc + sxyd) / (4 * pi);
  eyy = (0.5 * (lpc + lpd) + e0yy + sxxc + sxxd - 2 * (xp * xp - xm * xm) / f.kap) /
        (4 * pi);
  if (flip) exy = -exy, eyx = -eyx;
  if (f.swap) {
    double t = exx;
    exx = eyy, eyy = t;
    t = exy, exy = eyx, eyx = t;
  }
}
