// Closed-form singular integrals against adaptive quadrature of the same
// free-space kernels along the element, written in Cartesian components
// here, and their image sums against explicitly mirrored elements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "contour/contour.hpp"
#include "modesolver/singular.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"

namespace {

const double pi = 3.141592653589793;

// Gauss-Legendre nodes on [-1, 1] by Newton iteration.
struct gauss {
  std::vector<double> x, w;
  explicit gauss(int n) {
    for (int i = 1; i <= n; ++i) {
      double z = std::cos(pi * (i - 0.25) / (n + 0.5)), dp = 0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1, p1 = z;
        for (int k = 2; k <= n; ++k) {
          double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
          p0 = p1, p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1);
        double dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-16) break;
      }
      x.push_back(z), w.push_back(2 / ((1 - z * z) * dp * dp));
    }
  }
};
const gauss gl(12);

using fn = std::function<double(double)>;
double gl_int(const fn& f, double a, double b) {
  double s = 0, h = (b - a) / 2, c = (a + b) / 2;
  for (size_t i = 0; i < gl.x.size(); ++i) s += gl.w[i] * f(c + h * gl.x[i]);
  return s * h;
}
int budget = 0;  // subdivisions left for one integral
double adapt(const fn& f, double a, double b, double whole, double tol, int depth) {
  double m = (a + b) / 2, l = gl_int(f, a, m), r = gl_int(f, m, b);
  if (depth > 30 || --budget < 0 || std::fabs(l + r - whole) <= tol * (b - a) + 1e-15 * (std::fabs(l) + std::fabs(r)))
    return l + r;
  return adapt(f, a, m, l, tol, depth + 1) + adapt(f, m, b, r, tol, depth + 1);
}
// Integral over t in [-1/2, 1/2], split at the foot c of the field point and
// graded towards it (t = c + L u^4) so that logarithmic and near-singular
// behaviour there is resolved.
double quad(const fn& f, double xi) {
  double c = std::clamp(xi, -0.5, 0.5), l1 = -0.5 - c, l2 = 0.5 - c;
  fn g = [&](double u) {
    double u3 = u * u * u, u4 = u3 * u, s = 0;
    if (u4 == 0) return 0.0;  // the graded weight vanishes at the foot
    if (l2 != 0) s += f(c + l2 * u4) * 4 * l2 * u3;
    if (l1 != 0) s -= f(c + l1 * u4) * 4 * l1 * u3;
    return s;
  };
  budget = 20000;
  return adapt(g, 0, 1, gl_int(g, 0, 1), 1e-13, 0);
}

struct element {
  double x1, y1, x2, y2;
};

// The four kernels by quadrature: value (or vector) at (x, y).
struct quad_ref {
  element e;
  double p, q, r, a;
  double len() const { return std::hypot(e.x2 - e.x1, e.y2 - e.y1); }
  double tx() const { return (e.x2 - e.x1) / len(); }
  double ty() const { return (e.y2 - e.y1) / len(); }
  double dens(double t) const { return (p * t + q) * t + r; }
  void delta(double x, double y, double t, double& dx, double& dy) const {
    dx = x - (0.5 * (e.x1 + e.x2) + t * (e.x2 - e.x1));
    dy = y - (0.5 * (e.y1 + e.y2) + t * (e.y2 - e.y1));
  }
  double foot(double x, double y) const {
    return ((x - 0.5 * (e.x1 + e.x2)) * (e.x2 - e.x1) + (y - 0.5 * (e.y1 + e.y2)) * (e.y2 - e.y1)) /
           (len() * len());
  }
  double ez(double x, double y) const {
    return quad([&](double t) {
      double dx, dy;
      delta(x, y, t, dx, dy);
      if (dx == 0 && dy == 0) return 0.0;  // integrable point singularity
      return dens(t) * -std::log(std::hypot(dx, dy) / a) / (2 * pi) * len();
    }, foot(x, y));
  }
  double ha(double x, double y) const {  // double layer, left normal
    return quad([&](double t) {
      double dx, dy;
      delta(x, y, t, dx, dy);
      double r2 = dx * dx + dy * dy;
      return r2 == 0 ? 0.0 : dens(t) * (-dx * ty() + dy * tx()) / r2 / (2 * pi) * len();
    }, foot(x, y));
  }
  void ht(double x, double y, double& hx, double& hy) const {  // (dG0/dy, -dG0/dx)
    auto comp = [&](int c) {
      return quad([&](double t) {
        double dx, dy;
        delta(x, y, t, dx, dy);
        double r2 = dx * dx + dy * dy;
        if (r2 == 0) return 0.0;
        return dens(t) * (c == 0 ? -dy : dx) / r2 / (2 * pi) * len();
      }, foot(x, y));
    };
    hx = comp(0), hy = comp(1);
  }
  void et(double x, double y, double& ex, double& ey) const {
    auto comp = [&](int c) {
      return quad([&](double t) {
        double dx, dy;
        delta(x, y, t, dx, dy);
        double r2 = dx * dx + dy * dy;
        if (r2 == 0) return 0.0;
        double lg = -0.5 * std::log(r2 / (a * a));
        double dt = (dx * tx() + dy * ty()) / r2;
        return dens(t) * (c == 0 ? lg * tx() + dx * dt : lg * ty() + dy * dt) / (4 * pi) * len();
      }, foot(x, y));
    };
    ex = comp(0), ey = comp(1);
  }
};

const element els[] = {{0.3, 0.2, 1.1, 0.9}, {2.0, -1.0, 1.4, -1.0}, {-0.5, 0.4, -0.5, 0.1}};
const double dens3[][3] = {{1.3, -0.7, 0.4}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const double A = 3.0, EPS = 1e-9;

// Field points in element coordinates (xi, eta): far, near, on the line
// outside, near an end.
const double field[][2] = {{2.5, 1.7},  {0.1, 0.8},   {0.2, 1e-3}, {-0.3, -2e-3},
                           {1.3, 0.0},  {-0.9, 0.0},  {0.5, 0.02}, {-0.52, -0.01},
                           {0.0, -0.4}, {0.45, 1e-4}};

void at(const element& e, double xi, double eta, double& x, double& y) {
  double dx = e.x2 - e.x1, dy = e.y2 - e.y1;
  x = 0.5 * (e.x1 + e.x2) + xi * dx - eta * dy;
  y = 0.5 * (e.y1 + e.y2) + xi * dy + eta * dx;
}

}  // namespace

TEST(Singular, ScalarSingleLayerMatchesQuadrature) {
  for (const element& e : els)
    for (auto& d : dens3) {
      quad_ref ref{e, d[0], d[1], d[2], A};
      for (auto& f : field) {
        double x, y;
        at(e, f[0], f[1], x, y);
        double v = ezsl1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], A);
        EXPECT_NEAR(v, ref.ez(x, y), 1e-12) << f[0] << " " << f[1];
      }
      // On the element, its ends included: the logarithm is integrable.
      for (double xi : {-0.5, -0.2, 0.0, 0.37, 0.5}) {
        double x, y;
        at(e, xi, 0, x, y);
        double v = ezsl1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], A);
        EXPECT_NEAR(v, ref.ez(x, y), 1e-11) << xi;
      }
    }
}

TEST(Singular, DoubleLayerMatchesQuadratureAndJumps) {
  for (const element& e : els)
    for (auto& d : dens3) {
      quad_ref ref{e, d[0], d[1], d[2], A};
      for (auto& f : field) {
        double x, y;
        at(e, f[0], f[1], x, y);
        double v = hasls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS);
        // On the line outside the element the kernel vanishes identically.
        double r = f[1] == 0 ? 0.0 : ref.ha(x, y);
        EXPECT_NEAR(v, r, 1e-11) << f[0] << " " << f[1];
      }
      // On the element: half the density (the limit from the left side);
      // from the right side the limit is minus half.
      for (double xi : {-0.2, 0.0, 0.37, 0.5}) {
        double x, y, fx = (d[0] * xi + d[1]) * xi + d[2];
        at(e, xi, 0, x, y);
        EXPECT_NEAR(hasls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS), fx / 2, 1e-14);
        if (xi < 0.5) {
          at(e, xi, 1e-7, x, y);
          EXPECT_NEAR(hasls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS), fx / 2, 1e-6);
          at(e, xi, -1e-7, x, y);
          EXPECT_NEAR(hasls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS), -fx / 2, 1e-6);
        }
      }
      // The start point is not on the element (-1/2 < xi <= 1/2).
      double x, y;
      at(e, -0.5, 0, x, y);
      EXPECT_EQ(hasls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS), 0.0);
    }
}

TEST(Singular, TmMagneticMatchesQuadrature) {
  for (const element& e : els)
    for (auto& d : dens3) {
      quad_ref ref{e, d[0], d[1], d[2], A};
      for (auto& f : field) {
        if (f[1] == 0 && std::fabs(f[0]) < 0.5) continue;
        double x, y, hx, hy, rx, ry;
        at(e, f[0], f[1], x, y);
        htsls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS, hx, hy);
        ref.ht(x, y, rx, ry);
        EXPECT_NEAR(hx, rx, 1e-11) << f[0] << " " << f[1];
        EXPECT_NEAR(hy, ry, 1e-11) << f[0] << " " << f[1];
      }
      // On the element: along-component -f/2 (left-side limit); the normal
      // component is the principal value, written here as the integral of
      // (f(t) - f(xi))/(xi - t) plus f(xi) ln((1/2 + xi)/(1/2 - xi)).
      for (double xi : {-0.2, 0.0, 0.37}) {
        double x, y, hx, hy, fx = (d[0] * xi + d[1]) * xi + d[2];
        at(e, xi, 0, x, y);
        htsls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], EPS, hx, hy);
        double pv = gl_int([&](double t) {
          return t == xi ? 0.0 : (((d[0] * t + d[1]) * t + d[2]) - fx) / (xi - t);
        }, -0.5, 0.5) + fx * std::log((0.5 + xi) / (0.5 - xi));
        pv /= 2 * pi;
        double along = hx * ref.tx() + hy * ref.ty(), normal = -hx * ref.ty() + hy * ref.tx();
        EXPECT_NEAR(along, -fx / 2, 1e-14);
        EXPECT_NEAR(normal, pv, 1e-12);
      }
    }
}

TEST(Singular, ElectricMatchesQuadrature) {
  for (const element& e : els)
    for (auto& d : dens3) {
      quad_ref ref{e, d[0], d[1], d[2], A};
      for (auto& f : field) {
        double x, y, ex, ey, rx, ry;
        at(e, f[0], f[1], x, y);
        etsls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], A, ex, ey);
        ref.et(x, y, rx, ry);
        EXPECT_NEAR(ex, rx, 1e-11) << f[0] << " " << f[1];
        EXPECT_NEAR(ey, ry, 1e-11) << f[0] << " " << f[1];
      }
      for (double xi : {-0.5, -0.2, 0.0, 0.37, 0.5}) {
        double x, y, ex, ey, rx, ry;
        at(e, xi, 0, x, y);
        etsls1(x, y, e.x1, e.y1, e.x2, e.y2, d[0], d[1], d[2], A, ex, ey);
        ref.et(x, y, rx, ry);
        EXPECT_NEAR(ex, rx, 1e-11) << xi;
        EXPECT_NEAR(ey, ry, 1e-11) << xi;
      }
    }
}

// The image forms equal the explicit sum over the mirrored elements with the
// signs of the symmetry class, for every selector pair; and the field of the
// symmetric configuration has the parity of its class.
TEST(Singular, ImageSumsAndSigns) {
  const element e = els[0];
  const double p = 1.3, q = -0.7, r = 0.4;
  const double pts[][2] = {{0.7, 0.5}, {-0.4, 1.2}, {0.9, -0.3}, {0.6, 0.0}};
  for (int sx = -1; sx <= 1; ++sx)
    for (int sy = -1; sy <= 1; ++sy) {
      // (mirror x?, mirror y?, sign): the x selector mirrors y, the y selector x.
      struct img {
        double fx, fy, sg;
      };
      std::vector<img> list = {{1, 1, 1}};
      if (sx != 0) list.push_back({1, -1, double(sx)});
      if (sy != 0) list.push_back({-1, 1, double(sy)});
      if (sx != 0 && sy != 0) list.push_back({-1, -1, double(sx * sy)});
      for (auto& pt : pts) {
        double x = pt[0], y = pt[1];
        double z = 0, h = 0, hx = 0, hy = 0, ex = 0, ey = 0;
        for (auto& m : list) {
          double a1 = m.fx * e.x1, b1 = m.fy * e.y1, a2 = m.fx * e.x2, b2 = m.fy * e.y2, u, v;
          z += m.sg * ezsl1(x, y, a1, b1, a2, b2, p, q, r, A);
          h += m.sg * hasls1(x, y, a1, b1, a2, b2, p, q, r, EPS);
          htsls1(x, y, a1, b1, a2, b2, p, q, r, EPS, u, v);
          hx += m.sg * u, hy += m.sg * v;
          etsls1(x, y, a1, b1, a2, b2, p, q, r, A, u, v);
          ex += m.sg * u, ey += m.sg * v;
        }
        double u, v;
        EXPECT_NEAR(ezsl(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy), z, 1e-14);
        EXPECT_NEAR(hasls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy), h, 1e-14);
        htsls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy, u, v);
        EXPECT_NEAR(u, hx, 1e-14);
        EXPECT_NEAR(v, hy, 1e-14);
        etsls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy, u, v);
        EXPECT_NEAR(u, ex, 1e-14);
        EXPECT_NEAR(v, ey, 1e-14);
      }
      // Parity: mirror the field point in each plane of symmetry.
      for (int plane = 0; plane < 2; ++plane) {
        int sel = plane == 0 ? sx : sy;  // plane 0: y -> -y, plane 1: x -> -x
        if (sel == 0) continue;
        double mx = plane == 0 ? 1 : -1, my = -mx;
        double x = 0.7, y = 0.5, xm = mx * x, ym = my * y;
        EXPECT_NEAR(ezsl(xm, ym, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy),
                    sel * ezsl(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy), 1e-13);
        EXPECT_NEAR(hasls(xm, ym, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy),
                    -sel * hasls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy), 1e-13);
        double a1, b1, a2, b2;
        etsls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy, a1, b1);
        etsls(xm, ym, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy, a2, b2);
        EXPECT_NEAR(a2, sel * mx * a1, 1e-13);
        EXPECT_NEAR(b2, sel * my * b1, 1e-13);
        htsls(x, y, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy, a1, b1);
        htsls(xm, ym, e.x1, e.y1, e.x2, e.y2, p, q, r, EPS, sx, sy, a2, b2);
        EXPECT_NEAR(a2, -sel * mx * a1, 1e-13);
        EXPECT_NEAR(b2, -sel * my * b1, 1e-13);
        // An odd class has zero potential on its plane.
        if (sel == -1) {
          double xs = plane == 0 ? 0.8 : 0.0, ys = plane == 0 ? 0.0 : 0.8;
          EXPECT_NEAR(ezsl(xs, ys, e.x1, e.y1, e.x2, e.y2, p, q, r, A, sx, sy), 0.0, 1e-15);
        }
      }
    }
}

// The on-element test uses the tolerance eps on the distance to the line.
TEST(Singular, OnElementTolerance) {
  const element e = els[0];
  double len = std::hypot(e.x2 - e.x1, e.y2 - e.y1), x, y;
  at(e, 0.1, 0.5e-6 / len, x, y);  // 0.5e-6 from the line
  double in = hasls1(x, y, e.x1, e.y1, e.x2, e.y2, 0, 0, 1, 1e-6);
  double out = hasls1(x, y, e.x1, e.y1, e.x2, e.y2, 0, 0, 1, 1e-7);
  EXPECT_EQ(in, 0.5);
  EXPECT_NE(out, 0.5);
  EXPECT_NEAR(out, 0.5, 1e-5);
}

// The record forms take the element from blok2, a and the selectors from dat
// and the on-element tolerance from the blok2 header.
TEST(Singular, RecordFormsReadTheContour) {
  contour_capacities();
  blok2.n = 3;
  blok2[1][10] = 1e-6;
  const element e = els[1];
  blok2[3][1] = e.x1, blok2[3][2] = e.y1, blok2[3][3] = e.x2, blok2[3][4] = e.y2;
  dat.a = A, dat.b = 1.0, dat.symx = -1, dat.symy = 1;
  double x = 0.3, y = 0.7, u, v, s, t;
  EXPECT_EQ(ezsl(x, y, 3, 0.2, 0.5, 1.0), ezsl(x, y, e.x1, e.y1, e.x2, e.y2, 0.2, 0.5, 1.0, A, -1, 1));
  EXPECT_EQ(hasls(x, y, 3, 0.2, 0.5, 1.0), hasls(x, y, e.x1, e.y1, e.x2, e.y2, 0.2, 0.5, 1.0, 1e-6, -1, 1));
  htsls(x, y, 3, 0.2, 0.5, 1.0, u, v);
  htsls(x, y, e.x1, e.y1, e.x2, e.y2, 0.2, 0.5, 1.0, 1e-6, -1, 1, s, t);
  EXPECT_EQ(u, s);
  EXPECT_EQ(v, t);
  etsls(x, y, 3, 0.2, 0.5, 1.0, u, v);
  etsls(x, y, e.x1, e.y1, e.x2, e.y2, 0.2, 0.5, 1.0, A, -1, 1, s, t);
  EXPECT_EQ(u, s);
  EXPECT_EQ(v, t);
  // A point 0.5e-6 off the element counts as on it with the header's 1e-6.
  double len = std::hypot(e.x2 - e.x1, e.y2 - e.y1), px, py;
  at(e, 0.1, 0.5e-6 / len, px, py);
  dat.symx = dat.symy = 0;
  EXPECT_EQ(hasls(px, py, 3, 0.0, 0.0, 1.0), 0.5);
}
