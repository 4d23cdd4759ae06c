// Closed-form singular integrals over a straight element.
//
// In element lengths the field point sits at (xi, eta) from the midpoint; the
// end points are seen at squared distances r1 = (xi + 1/2)^2 + eta^2 and
// r2 = (xi - 1/2)^2 + eta^2 and under the angle atan2(eta, xi^2 + eta^2 - 1/4).
// The integrals of t^k ln(...), t^k eta/(...) and t^k (xi - t)/(...) against
// the quadratic density are elementary and are written out below.
#include "modesolver/singular.hpp"

#include <cmath>

#include "records/contour.hpp"
#include "records/modesolver.hpp"

namespace {

constexpr double pi = 3.141592653589793;

struct local_frame {
  double xi, eta, len, c, s;  // local coordinates, length, unit direction
  double r1, r2, c3;          // squared end distances, xi^2 + eta^2 - 1/4
};

local_frame frame(double x, double y, double x1, double y1, double x2, double y2) {
  local_frame f;
  double dx = x2 - x1, dy = y2 - y1;
  double l2 = dx * dx + dy * dy;
  double px = x - 0.5 * (x1 + x2), py = y - 0.5 * (y1 + y2);
  f.len = std::sqrt(l2);
  f.c = dx / f.len, f.s = dy / f.len;
  f.xi = (dx * px + dy * py) / l2;
  f.eta = (dx * py - dy * px) / l2;
  f.r1 = (f.xi + 0.5) * (f.xi + 0.5) + f.eta * f.eta;
  f.r2 = (f.xi - 0.5) * (f.xi - 0.5) + f.eta * f.eta;
  f.c3 = f.xi * f.xi + f.eta * f.eta - 0.25;
  return f;
}

// Element frame (along, normal) to Cartesian.
inline void to_xy(const local_frame& f, double along, double normal, double& x, double& y) {
  x = along * f.c - normal * f.s;
  y = normal * f.c + along * f.s;
}

// Density at the foot of the field point when it lies on the element, else 0.
inline double on_element(const local_frame& f, double p, double q, double r) {
  if (f.xi > -0.5 && f.xi <= 0.5) return (p * f.xi + q) * f.xi + r;
  return 0;
}

// Visits the element and its mirror images: outer loop x -> -x (y selector),
// inner loop y -> -y (x selector); an image of an odd class changes sign.
template <class F>
void images(double x1, double y1, double x2, double y2, int symx, int symy, F visit) {
  for (int nx = 1; nx <= 3; nx += 2) {
    if (nx == 3 && symy == 0) break;
    double fx = 2 - nx;
    for (int ny = 1; ny <= 3; ny += 2) {
      if (ny == 3 && symx == 0) break;
      double fy = 2 - ny;
      double sign = 1;
      if (nx == 3 && symy == -1) sign = -sign;
      if (ny == 3 && symx == -1) sign = -sign;
      visit(fx * x1, fy * y1, fx * x2, fy * y2, sign);
    }
  }
}

}  // namespace

double ezsl1(double x, double y, double x1, double y1, double x2, double y2,
             double p, double q, double r, double a) {
  local_frame f = frame(x, y, x1, y1, x2, y2);
  double xi = f.xi, eta = f.eta;
  double c0 = xi * xi - eta * eta, c1 = (xi * xi - 3 * eta * eta) * xi;
  double c2 = (c0 - 0.25) * q / 2;
  double e = (c0 + 1.0 / 12) * p / 3 + q * xi / 2 - (p / 12 + r) * std::log(f.len / a) + r;
  if (f.r1 != 0) e -= 0.5 * ((0.5 + xi) * r + c2 + (c1 + 0.125) * p / 3) * std::log(f.r1);
  if (f.r2 != 0) e += 0.5 * ((c1 - 0.125) * p / 3 + (xi - 0.5) * r + c2) * std::log(f.r2);
  if (!(eta == 0 && f.c3 == 0))
    e -= ((3 * xi * xi - eta * eta) * p / 3 + q * xi + r) * eta * std::atan2(eta, f.c3);
  return e * f.len / (2 * pi);
}

double hasls1(double x, double y, double x1, double y1, double x2, double y2,
              double p, double q, double r, double eps) {
  local_frame f = frame(x, y, x1, y1, x2, y2);
  if (std::fabs(f.eta) * f.len <= eps) return on_element(f, p, q, r) / 2;
  double xi = f.xi, eta = f.eta, th = std::atan2(eta, f.c3);
  double fx = (p * xi + q) * xi + r;
  return (fx * th + (p - (q / 2 + p * xi) * std::log(f.r1 / f.r2) - p * eta * th) * eta) /
         (2 * pi);
}

void htsls1(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double eps, double& hx, double& hy) {
  local_frame f = frame(x, y, x1, y1, x2, y2);
  double xi = f.xi, eta = f.eta;
  double lg = (f.r1 > 1.0e-30 && f.r2 > 0) ? std::log(f.r2 / f.r1) : 0;
  double aa = eta * std::atan2(eta, f.c3);
  double along;
  if (std::fabs(eta) * f.len <= eps) {
    along = -on_element(f, p, q, r) / 2;
  } else {
    double fx = (p * xi + q) * xi + r;
    along = (-(q * lg / 2 + (xi * lg + 1 - aa) * p) * eta - fx * aa / eta) / (2 * pi);
  }
  double normal = (((eta * eta - xi * xi) / 2 * lg + 2 * xi * aa - xi) * p -
                   (xi * lg / 2 + 1 - aa) * q - r * lg / 2) /
                  (2 * pi);
  to_xy(f, along, normal, hx, hy);
}

void etsls1(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double a, double& ex, double& ey) {
  local_frame f = frame(x, y, x1, y1, x2, y2);
  double xi = f.xi, eta = f.eta, x2i = xi * xi, e2 = eta * eta;
  double lam = std::log(f.len / a);
  double aa = eta * std::atan2(eta, f.c3);
  double e1 = 4 * r + q * xi + (2 * x2i - 8 * e2 + 2.0 / 3) * p / 3 - (2 * r + p / 6) * lam;
  double e2n = -p * xi - q;
  double fn = (q * xi + (x2i - e2) * p + r) / 2;
  if (f.r1 > 0) {
    double l1 = std::log(f.r1);
    e1 += ((3 * e2 - x2i + 0.25) * q / 2 + (9 * xi * e2 - 0.125 - x2i * xi) * p / 3 -
           (xi + 0.5) * r) * l1;
    e2n += fn * l1;
  }
  if (f.r2 > 0) {
    double l2 = std::log(f.r2);
    e1 -= ((3 * e2 - x2i + 0.25) * q / 2 + (9 * xi * e2 + 0.125 - x2i * xi) * p / 3 -
           (xi - 0.5) * r) * l2;
    e2n -= fn * l2;
  }
  double along = (f.len / 4) / (2 * pi) * (e1 - 4 * (q * xi + (x2i - 2 * e2 / 3) * p + r) * aa);
  double normal = (eta * f.len / 2) / (2 * pi) * ((2 * p * xi + q) * aa + e2n);
  to_xy(f, along, normal, ex, ey);
}

double ezsl(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double a, int symx, int symy) {
  double sum = 0;
  images(x1, y1, x2, y2, symx, symy, [&](double u1, double v1, double u2, double v2, double sg) {
    sum += sg * ezsl1(x, y, u1, v1, u2, v2, p, q, r, a);
  });
  return sum;
}

double hasls(double x, double y, double x1, double y1, double x2, double y2,
             double p, double q, double r, double eps, int symx, int symy) {
  double sum = 0;
  images(x1, y1, x2, y2, symx, symy, [&](double u1, double v1, double u2, double v2, double sg) {
    sum += sg * hasls1(x, y, u1, v1, u2, v2, p, q, r, eps);
  });
  return sum;
}

void htsls(double x, double y, double x1, double y1, double x2, double y2,
           double p, double q, double r, double eps, int symx, int symy,
           double& hx, double& hy) {
  hx = hy = 0;
  images(x1, y1, x2, y2, symx, symy, [&](double u1, double v1, double u2, double v2, double sg) {
    double tx, ty;
    htsls1(x, y, u1, v1, u2, v2, p, q, r, eps, tx, ty);
    hx += sg * tx, hy += sg * ty;
  });
}

void etsls(double x, double y, double x1, double y1, double x2, double y2,
           double p, double q, double r, double a, int symx, int symy,
           double& ex, double& ey) {
  ex = ey = 0;
  images(x1, y1, x2, y2, symx, symy, [&](double u1, double v1, double u2, double v2, double sg) {
    double tx, ty;
    etsls1(x, y, u1, v1, u2, v2, p, q, r, a, tx, ty);
    ex += sg * tx, ey += sg * ty;
  });
}

double ezsl(double x, double y, int ie, double p, double q, double r) {
  const xye_row& e = blok2[ie];
  return ezsl(x, y, e[1], e[2], e[3], e[4], p, q, r, dat.a, dat.symx, dat.symy);
}

double hasls(double x, double y, int ie, double p, double q, double r) {
  const xye_row& e = blok2[ie];
  return hasls(x, y, e[1], e[2], e[3], e[4], p, q, r, blok2[1][10], dat.symx, dat.symy);
}

void htsls(double x, double y, int ie, double p, double q, double r, double& hx, double& hy) {
  const xye_row& e = blok2[ie];
  htsls(x, y, e[1], e[2], e[3], e[4], p, q, r, blok2[1][10], dat.symx, dat.symy, hx, hy);
}

void etsls(double x, double y, int ie, double p, double q, double r, double& ex, double& ey) {
  const xye_row& e = blok2[ie];
  etsls(x, y, e[1], e[2], e[3], e[4], p, q, r, dat.a, dat.symx, dat.symy, ex, ey);
}
