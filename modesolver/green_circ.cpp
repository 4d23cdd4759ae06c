// Static Green's functions of the circular enclosing guide, in closed form.
//
// With u = (rho/a)^2, v = (rho0/a)^2, w = rho rho0/a^2 and c, s the cosine
// and sine of phi - phi0, the source sees its Kelvin image through
// Ri = 1 - 2 w c + w^2 (= |r - r0'|^2 rho0^2/a^4, r0' = a^2 r0/rho0^2); the
// direct distance enters through Ra = u + v - 2 w c = |r - r0|^2/a^2.
#include <cmath>

#include "modesolver/green_kernels.hpp"

namespace {
constexpr double pi = 3.141592653589793;
}

// Dirichlet kernel: G = (ln Ri - ln Ra)/(4 pi); ln Ra left out for itr < 0.
double greenc(double rho, double phi, double rho0, double phi0, double a,
              int itr, int& status) {
  double u = rho * rho / (a * a), v = rho0 * rho0 / (a * a), w = rho * rho0 / (a * a);
  double c = std::cos(phi - phi0);
  double ri = 1 - 2 * w * c + w * w;
  double g = std::log(ri);
  if (itr >= 0) {
    double ra = u + v - 2 * w * c;
    if (ra <= 1.0e-6) {
      green_error(940, "GREENC: internal error.", status);
      return 0;
    }
    g -= std::log(ra);
  }
  status = 0;
  return g / (4 * pi);
}

// TE magnetic type, polar components in the frame of the source point.  The
// term -rho0 is the uniform sink of the Neumann function.
void hic(double rho, double phi, double rho0, double phi0, double a, double& hr,
         double& hp, int itr, int& status) {
  double u = rho * rho / (a * a), v = rho0 * rho0 / (a * a), w = rho * rho0 / (a * a);
  double c = std::cos(phi - phi0), s = std::sin(phi - phi0);
  double ccc = 2 * pi * a * a;
  hr = hp = 0;
  if (itr > 0) {
    double ra = u + v - 2 * w * c;
    if (ra <= 1.0e-6) {
      green_error(943, "HIC: internal error.", status);
      return;
    }
    hr = rho / ra;
    hp = (rho0 - rho * c) / ra;
  }
  double ri = 1 - 2 * w * c + w * w;
  hr = (rho / ri + hr) * s / ccc;
  hp = ((w - c) * rho / ri + hp - rho0) / ccc;
  status = 0;
}

// TM magnetic type, polar components in the frame of the field point.
void htc(double rho, double phi, double rho0, double phi0, double a, double& hr,
         double& hp, int itr, int& status) {
  double u = rho * rho / (a * a), v = rho0 * rho0 / (a * a), w = rho * rho0 / (a * a);
  double c = std::cos(phi - phi0), s = std::sin(phi - phi0);
  double ccc = 2 * pi * a * a;
  hr = hp = 0;
  if (itr >= 0) {
    double ra = u + v - 2 * w * c;
    if (ra <= 1.0e-6) {
      green_error(944, "HTC: internal error.", status);
      return;
    }
    hr = -rho0 / ra;
    hp = (rho - rho0 * c) / ra;
  }
  double ri = 1 - 2 * w * c + w * w;
  hr = (rho0 / ri + hr) * s / ccc;
  hp = (hp - (w - c) * rho0 / ri) / ccc;
  status = 0;
}

// Electric-type dyadic, field frame on the left, source frame on the right.
// The atan2 terms and the branches at the centre come from the 1/kc^4
// weighting of the TE modes of the disc.
void eic(double rho, double phi, double rho0, double phi0, double a,
         double& err, double& erp, double& epr, double& epp, int itr,
         int& status) {
  double u = rho * rho / (a * a), v = rho0 * rho0 / (a * a), w = rho * rho0 / (a * a);
  double c = std::cos(phi - phi0), s = std::sin(phi - phi0);
  err = erp = epr = epp = 0;
  if (itr > 0) {
    double ra = u + v - 2 * w * c;
    if (ra <= 1.0e-6) {
      green_error(942, "EIC:      internal error", status);
      return;
    }
    double lam = std::log(ra);
    epp = s * s * 2 * w / ra;
    err = 2 * c - epp - lam * c;
    double tau = (u - v) / ra;
    erp = tau - lam + 1;
    epr = tau + lam - 1;
    epp = epp - lam * c;
  }
  double ri = 1 - 2 * w * c + w * w;
  double mu = std::log(ri), e = (u + v - 2) / ri;
  err = 2 * (3 * c - w) / ri + (mu + e - 1) * c + err;
  erp = (erp + mu - e - 1) * s;
  epr = (epr - mu + e + 1) * s;
  epp = (e - 1) * w + (mu - e - 1) * c + epp;
  if (u > 1.0e-6 && v > 1.0e-6) {
    double g = 1 / u, h = 1 / v, mu2 = mu / 2;
    double beta = std::atan2(w * s, 1 - w * c);
    err -= (w / ri + mu2 * c - beta * s) * (1 + h) * (1 + g);
    erp -= (beta * c + mu2 * s) * (1 - h) * (1 + g);
    epr += (beta * c + mu2 * s) * (1 + h) * (1 - g);
    epp -= (mu2 * c - beta * s + w) * (1 - h) * (1 - g);
  } else if (u > 1.0e-6) {
    err -= 1.5 * (u + 1) * c;
    erp += 0.5 * (u + 1) * s;
    epr += 0.5 * (u - 1) * s;
    epp -= 0.5 * (u - 1) * c;
  } else {
    err -= 1.5 * (v + 1) * c;
    erp -= 0.5 * (v - 1) * s;
    epr -= 0.5 * (v + 1) * s;
    epp -= 0.5 * (v - 1) * c;
  }
  err /= 8 * pi, erp /= 8 * pi, epr /= 8 * pi, epp /= 8 * pi;
  status = 0;
}
