// Quasi-static field of the source density on one contour element.
//
// The integrals of the quadratic density against the free-space logarithm
// -(1/2 pi) ln(R/a) and its derivatives are the closed forms of the
// solver's singular integrals (modesolver/singular).  What remains of the
// enclosing guide's Green's function is smooth over the element and is
// integrated with the three points xi = -d, 0, +d (d the offset of dat),
// with weights exact for a quadratic remainder.
#include "modefields/quasi_static.hpp"

#include <cmath>

#include "contour/contour.hpp"
#include "modesolver/green_kernels.hpp"
#include "modesolver/singular.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"

namespace {

constexpr double pi = 3.141592653589793;
constexpr int itr_regular = -7;  // regular part of the kernels only

bool circular() { return dat.b <= 0; }
double eps_contour() { return blok2[1][10]; }

// One (image) element: end points, length and unit direction.
struct local_frame {
  double x1, y1, x2, y2;
  double len, c, s;
};

local_frame frame(double x1, double y1, double x2, double y2) {
  local_frame f{x1, y1, x2, y2, std::hypot(x2 - x1, y2 - y1), 0, 0};
  f.c = (x2 - x1) / f.len;
  f.s = (y2 - y1) / f.len;
  return f;
}

// Three-point weights of the density times the element length.
void weights(double a, double b, double c, double len, double w[4]) {
  double d = dat.offset;
  double g = (c / 24 + a / 160) / (d * d);
  w[1] = (g - b / (24 * d)) * len;
  w[2] = (a / 12 - 2 * g + c) * len;
  w[3] = (g + b / (24 * d)) * len;
}

// Kernel coordinates of a contour point: corner-based (x, y) in the
// rectangle (contour coordinates have their origin on the symmetry planes),
// (rho, phi) in the circle, with the direction cosines of its polar frame.
struct kpoint {
  double u, v;
  double cf, sf;
};

kpoint kernel_point(double x, double y) {
  kpoint p;
  if (circular()) {
    p.u = std::hypot(x, y);
    p.v = p.u < eps_contour() ? 0 : std::atan2(y, x);
    p.cf = std::cos(p.v), p.sf = std::sin(p.v);
  } else {
    p.u = x + (dat.symy != 0 ? dat.a / 2 : 0);
    p.v = y + (dat.symx != 0 ? dat.b / 2 : 0);
    p.cf = 1, p.sf = 0;
  }
  return p;
}

// Point j (1..3) of the element, at xi = (j - 2) d.
kpoint element_point(const local_frame& f, int j) {
  double t = (j - 2) * dat.offset;
  return kernel_point(0.5 * (f.x1 + f.x2) + t * (f.x2 - f.x1),
                      0.5 * (f.y1 + f.y2) + t * (f.y2 - f.y1));
}

// Visits element i and its mirror images: x -> -x (y selector) outer,
// y -> -y (x selector) inner; an image changes sign for every mirror of an
// odd class.  The image keeps the density along its mirrored end points.
template <class F>
void images(int i, F visit) {
  double x1, y1, x2, y2;
  eends(i, x1, y1, x2, y2);
  for (int nx = 1; nx <= 3; nx += 2) {
    if (nx == 3 && dat.symy == 0) break;
    double fx = 2 - nx;
    for (int ny = 1; ny <= 3; ny += 2) {
      if (ny == 3 && dat.symx == 0) break;
      double fy = 2 - ny;
      double sign = 1;
      if (nx == 3 && dat.symy == -1) sign = -sign;
      if (ny == 3 && dat.symx == -1) sign = -sign;
      visit(frame(fx * x1, fy * y1, fx * x2, fy * y2), sign);
    }
  }
}

}  // namespace

void hzqst(double x, double y, int i, double a, double b, double c, double& h) {
  kpoint obs = kernel_point(x, y);
  h = 0;
  images(i, [&](const local_frame& f, double sign) {
    double v = hasls1(x, y, f.x1, f.y1, f.x2, f.y2, a, b, c, eps_contour());
    double w[4];
    weights(a, b, c, f.len, w);
    for (int j = 1; j <= 3; ++j) {
      kpoint src = element_point(f, j);
      double gx, gy;
      int st = 0;
      if (circular()) {
        double hr, hp;
        hic(obs.u, obs.v, src.u, src.v, dat.a, hr, hp, itr_regular, st);
        gx = hr * src.cf - hp * src.sf;  // source frame to x, y
        gy = hr * src.sf + hp * src.cf;
      } else {
        hir(obs.u, obs.v, src.u, src.v, dat.a, dat.b, gx, gy, itr_regular, st);
      }
      v += (gx * f.c + gy * f.s) * w[j];
    }
    h += sign * v;
  });
}

void ezqst(double x, double y, int i, double a, double b, double c, double& e) {
  kpoint obs = kernel_point(x, y);
  e = 0;
  images(i, [&](const local_frame& f, double sign) {
    double v = ezsl1(x, y, f.x1, f.y1, f.x2, f.y2, a, b, c, dat.a);
    double w[4];
    weights(a, b, c, f.len, w);
    for (int j = 1; j <= 3; ++j) {
      kpoint src = element_point(f, j);
      int st = 0;
      double g = circular() ? greenc(obs.u, obs.v, src.u, src.v, dat.a, itr_regular, st)
                            : greenr(obs.u, obs.v, src.u, src.v, dat.a, dat.b, itr_regular, st);
      v += g * w[j];
    }
    e += sign * v;
  });
}

void htqst(double x, double y, int i, double a, double b, double c, double& hx,
           double& hy) {
  kpoint obs = kernel_point(x, y);
  hx = hy = 0;
  images(i, [&](const local_frame& f, double sign) {
    double vx, vy;
    htsls1(x, y, f.x1, f.y1, f.x2, f.y2, a, b, c, eps_contour(), vx, vy);
    double w[4];
    weights(a, b, c, f.len, w);
    for (int j = 1; j <= 3; ++j) {
      kpoint src = element_point(f, j);
      double gx, gy;
      int st = 0;
      if (circular()) {
        // The circular kernel is a vector at the field point, in that
        // point's polar frame.
        double hr, hp;
        htc(obs.u, obs.v, src.u, src.v, dat.a, hr, hp, itr_regular, st);
        gx = hr * obs.cf - hp * obs.sf;
        gy = hr * obs.sf + hp * obs.cf;
      } else {
        htr(obs.u, obs.v, src.u, src.v, dat.a, dat.b, gx, gy, itr_regular, st);
      }
      vx += gx * w[j];
      vy += gy * w[j];
    }
    hx += sign * vx;
    hy += sign * vy;
  });
}

void etqst(double x, double y, int i, double a, double b, double c, double& ex,
           double& ey) {
  kpoint obs = kernel_point(x, y);
  ex = ey = 0;
  images(i, [&](const local_frame& f, double sign) {
    double vx, vy;
    etsls1(x, y, f.x1, f.y1, f.x2, f.y2, a, b, c, dat.a, vx, vy);
    double w[4];
    weights(a, b, c, f.len, w);
    for (int j = 1; j <= 3; ++j) {
      kpoint src = element_point(f, j);
      double e11, e12, e21, e22;
      int st = 0;
      if (circular()) {
        // Polar dyadic: field frame on the left, source frame on the right.
        double g1, g2, g3, g4;
        eic(obs.u, obs.v, src.u, src.v, dat.a, g1, g2, g3, g4, itr_regular, st);
        double l11 = obs.cf, l12 = -obs.sf, l21 = obs.sf, l22 = obs.cf;
        double r11 = src.cf, r12 = -src.sf, r21 = src.sf, r22 = src.cf;
        double m11 = l11 * g1 + l12 * g3, m12 = l11 * g2 + l12 * g4;
        double m21 = l21 * g1 + l22 * g3, m22 = l21 * g2 + l22 * g4;
        e11 = m11 * r11 + m12 * r12;
        e12 = m11 * r21 + m12 * r22;
        e21 = m21 * r11 + m22 * r12;
        e22 = m21 * r21 + m22 * r22;
      } else {
        eir(obs.u, obs.v, src.u, src.v, dat.a, dat.b, e11, e12, e21, e22, itr_regular, st);
      }
      vx += (e11 * f.c + e12 * f.s) * w[j];
      vy += (e21 * f.c + e22 * f.s) * w[j];
    }
    ex += sign * vx;
    ey += sign * vy;
  });
}
