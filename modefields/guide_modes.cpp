// Modes of the rectangular and circular enclosing guides.
//
// Rectangle (walls x = 0, a and y = 0, b):
//   TE  psi = cos(kx x) cos(ky y),  N^2 = eps/(a b), eps = 4 (2 if m or n is 0)
//   TM  psi = sin(kx x) sin(ky y),  N^2 = 4/(a b)
// Circle (radius a, x_a = kc a a zero of J'nu (TE) or of Jnu (TM)):
//   TE  psi = -Jnu(kc r){cos, sin, 1},
//       N^2 = 2/((1 - (nu/x_a)^2) pi eps_nu) / a^2 / Jnu(x_a)^2
//   TM  psi =  Jnu(kc r){cos, sin, 1},  N^2 = 2/(pi eps_nu) / a^2 / J(nu+1)(x_a)^2
//   eps_nu = 2 for nu = 0, else 1.
// The transverse functions are (dpsi/dy, -dpsi/dx)/kc, unit-norm since the
// integral of |grad psi|^2 equals kc^2 times that of psi^2 for a Neumann or
// Dirichlet eigenfunction.  Both enclosures write them the same way: the
// function part is (dpsi/dy, -dpsi/dx) of the unnormalised axial function
// (it carries the factor kc) and the constant is N/kc.  The field of a
// computed mode combines the axial constant N with the transverse function
// part, which is right only with this split.
#include "modefields/guide_modes.hpp"

#include <cmath>

#include "modefields/bessel.hpp"
#include "records/modefields.hpp"
#include "records/modesolver.hpp"

namespace {

const double pi = 3.141592653589793;

// Applies the flag convention to a function value f and its constant cn.
double by_flag(double f, double cn, int iflag) {
  if (iflag > 0) return f;
  if (iflag < 0) return cn;
  return f * cn;
}

void by_flag(double f1, double f2, double cn, int iflag, double& c1,
             double& c2) {
  if (iflag > 0) {
    c1 = f1;
    c2 = f2;
  } else if (iflag < 0) {
    c1 = cn;
    c2 = 0.0;
  } else {
    c1 = f1 * cn;
    c2 = f2 * cn;
  }
}

double eps_rect(int m, int n) { return (m == 0 || n == 0) ? 2.0 : 4.0; }

// Angular factor of a circle mode of signed order n.
double angular(int n, double phi) {
  if (n < 0) return std::cos(-n * phi);
  if (n > 0) return std::sin(n * phi);
  return 1.0;
}

// Normalisation of the circle modes (TE when te is true).
double norm_circle(int n, double kc, bool te) {
  int nu = std::abs(n);
  double xa = kc * dat.a;
  double epsn = nu == 0 ? 2.0 : 1.0;
  double jn, jn1;
  bessji(nu, xa, jn, jn1, -1);
  if (te) {
    double g = 1.0 - (nu / xa) * (nu / xa);
    return std::sqrt(2.0 / (g * pi * epsn)) / dat.a / std::abs(jn);
  }
  return std::sqrt(2.0 / pi / epsn) / dat.a / std::abs(jn1);
}

// Polar components of (dpsi/dy, -dpsi/dx) for psi = Jnu(kc r){cos,sin,1},
// i.e. (psi_phi/r, -psi_r).  Jnu/(kc r) and J'nu come from one call of order
// nu - 1, finite at the centre.
void grad_rot(int n, double r, double phi, double kc, double& cr, double& cp) {
  int nu = std::abs(n);
  double x = kc * r;
  if (nu == 0) {
    double j0, j1;
    bessji(0, x, j0, j1, -1);
    cr = 0.0;
    cp = kc * j1;  // -d/dr J0(kc r) = kc J1(kc r)
    return;
  }
  double jm1, jnx;
  bessji(nu - 1, x, jm1, jnx, 0);  // J(nu-1)(x) and Jnu(x)/x
  double djn = jm1 - nu * jnx;     // J'nu(x)
  double c = std::cos(nu * phi), s = std::sin(nu * phi);
  if (n > 0) {  // psi = Jnu sin(nu phi)
    cr = kc * c * nu * jnx;
    cp = -kc * s * djn;
  } else {      // psi = Jnu cos(nu phi)
    cr = -kc * s * nu * jnx;
    cp = -kc * c * djn;
  }
}

}  // namespace

double cater(double x, double y, int m, int n, int iflag) {
  double cn = std::sqrt(eps_rect(m, n) / (dat.a * dat.b));
  if (iflag < 0) return cn;
  double kx = m * pi / dat.a, ky = n * pi / dat.b;
  return by_flag(std::cos(kx * x) * std::cos(ky * y), cn, iflag);
}

double catmr(double x, double y, int m, int n, int iflag) {
  double cn = 2.0 / std::sqrt(dat.a * dat.b);
  if (iflag < 0) return cn;
  double kx = m * pi / dat.a, ky = n * pi / dat.b;
  return by_flag(std::sin(kx * x) * std::sin(ky * y), cn, iflag);
}

void cmter(double x, double y, int m, int n, double& cx, double& cy,
           int iflag) {
  double kx = m * pi / dat.a, ky = n * pi / dat.b;
  double cn = std::sqrt(eps_rect(m, n) / (dat.a * dat.b) / (kx * kx + ky * ky));
  by_flag(-ky * std::cos(kx * x) * std::sin(ky * y),
          kx * std::sin(kx * x) * std::cos(ky * y), cn, iflag, cx, cy);
}

void cmtmr(double x, double y, int m, int n, double& cx, double& cy,
           int iflag) {
  double kx = m * pi / dat.a, ky = n * pi / dat.b;
  double cn = 2.0 / std::sqrt((kx * kx + ky * ky) * dat.a * dat.b);
  by_flag(ky * std::sin(kx * x) * std::cos(ky * y),
          -kx * std::cos(kx * x) * std::sin(ky * y), cn, iflag, cx, cy);
}

double catec(double r, double phi, int n, double kc, int iflag) {
  double cn = iflag <= 0 ? norm_circle(n, kc, true) : 1.0;
  if (iflag < 0) return cn;
  double jn, jn1;
  bessji(std::abs(n), kc * r, jn, jn1, -1);
  return by_flag(-jn * angular(n, phi), cn, iflag);
}

double catmc(double r, double phi, int n, double kc, int iflag) {
  double cn = iflag <= 0 ? norm_circle(n, kc, false) : 1.0;
  if (iflag < 0) return cn;
  double jn, jn1;
  bessji(std::abs(n), kc * r, jn, jn1, -1);
  return by_flag(jn * angular(n, phi), cn, iflag);
}

void cmtec(double r, double phi, int n, double kc, double& cr, double& cphi,
           int iflag) {
  double cn = iflag <= 0 ? norm_circle(n, kc, true) / kc : 1.0;
  double fr = 0.0, fp = 0.0;
  if (iflag >= 0) {
    grad_rot(n, r, phi, kc, fr, fp);
    fr = -fr;  // TE axial function carries the sign -Jnu
    fp = -fp;
  }
  by_flag(fr, fp, cn, iflag, cr, cphi);
}

void cmtmc(double r, double phi, int n, double kc, double& cr, double& cphi,
           int iflag) {
  double cn = iflag <= 0 ? norm_circle(n, kc, false) / kc : 1.0;
  double fr = 0.0, fp = 0.0;
  if (iflag >= 0) grad_rot(n, r, phi, kc, fr, fp);
  by_flag(fr, fp, cn, iflag, cr, cphi);
}

guide_point guide_frame(double x, double y) {
  guide_point p;
  if (dat.b <= 0) {
    p.u = std::hypot(x, y);
    bool centre = p.u / dat.a <= 1.0e-6;
    p.v = centre ? 0 : std::atan2(y, x);
    p.cf = centre ? 1 : x / p.u;
    p.sf = centre ? 0 : y / p.u;
  } else {
    p.u = x + (dat.symy != 0 ? dat.a / 2 : 0);
    p.v = y + (dat.symx != 0 ? dat.b / 2 : 0);
    p.cf = 1, p.sf = 0;
  }
  return p;
}

double guide_mode_norm(const amo_entry& m, int imt) {
  double cx = 0, cy = 0;
  if (dat.b <= 0) {
    switch (imt) {
      case 1: return catec(0, 0, m.i1, m.kc, -1);
      case 2: return catmc(0, 0, m.i1, m.kc, -1);
      case -1: cmtec(0, 0, m.i1, m.kc, cx, cy, -1); return cx;
      default: cmtmc(0, 0, m.i1, m.kc, cx, cy, -1); return cx;
    }
  }
  switch (imt) {
    case 1: return cater(0, 0, m.i1, m.i2, -1);
    case 2: return catmr(0, 0, m.i1, m.i2, -1);
    case -1: cmter(0, 0, m.i1, m.i2, cx, cy, -1); return cx;
    default: cmtmr(0, 0, m.i1, m.i2, cx, cy, -1); return cx;
  }
}

double guide_axial(bool te, const amo_entry& m, const guide_point& p) {
  if (dat.b <= 0) return te ? catec(p.u, p.v, m.i1, m.kc, 1) : catmc(p.u, p.v, m.i1, m.kc, 1);
  return te ? cater(p.u, p.v, m.i1, m.i2, 1) : catmr(p.u, p.v, m.i1, m.i2, 1);
}

void guide_transverse(bool te, const amo_entry& m, const guide_point& p, double& fx,
                      double& fy) {
  if (dat.b > 0) {
    if (te)
      cmter(p.u, p.v, m.i1, m.i2, fx, fy, 1);
    else
      cmtmr(p.u, p.v, m.i1, m.i2, fx, fy, 1);
    return;
  }
  double fr, fp;
  if (te)
    cmtec(p.u, p.v, m.i1, m.kc, fr, fp, 1);
  else
    cmtmc(p.u, p.v, m.i1, m.kc, fr, fp, 1);
  fx = fr * p.cf - fp * p.sf;
  fy = fr * p.sf + fp * p.cf;
}

// The current mode's source densities and enclosing-guide coefficients, read
// by the field evaluation routines.
table_rec table;
vet2_rec vet2;
