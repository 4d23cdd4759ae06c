#include "support/aperture_generator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace apgen {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double c_mm_ghz = 299.8;  // speed of light in mm GHz

// splitmix64: a stream per case, the same on every machine.
struct stream {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double u() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
  double in(double lo, double hi) { return lo + (hi - lo) * u(); }
  int pick(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  bool chance(double p) { return u() < p; }
};

struct pt {
  double x, y;
};

element side(pt p, pt q) { return {p.x, p.y, q.x, q.y, 0, 0, false}; }

// Arc of the circle (xc, yc, r) from angle t1 to t2 (counter-clockwise when
// t2 > t1), through its middle.
element arc_of(double xc, double yc, double r, double t1, double t2) {
  double tm = (t1 + t2) / 2;
  return {xc + r * std::cos(t1), yc + r * std::sin(t1), xc + r * std::cos(t2),
          yc + r * std::sin(t2), xc + r * std::cos(tm), yc + r * std::sin(tm), true};
}

// Full circle started at angle t0: start and end coincide, the third point
// opposite.
element full_circle(double xc, double yc, double r, double t0) {
  double x = xc + r * std::cos(t0), y = yc + r * std::sin(t0);
  return {x, y, x, y, 2 * xc - x, 2 * yc - y, true};
}

// Circle drawn as n arcs with joints at t0 + 2 pi k / n (joint angles from
// cos and sin, so that a joint at pi lies the rounding of sin(pi) off the
// axis, as users' scripts draw it).
void circle_arcs(outline& o, double xc, double yc, double r, int n, double t0) {
  if (n == 1) {
    o.push_back(full_circle(xc, yc, r, t0));
    return;
  }
  for (int k = 0; k < n; ++k) o.push_back(arc_of(xc, yc, r, t0 + 2 * pi * k / n, t0 + 2 * pi * (k + 1) / n));
  // The end of each arc is the start of the next, point for point.
  for (int k = 0; k < n; ++k) {
    element& e = o[o.size() - n + k];
    const element& f = o[o.size() - n + (k + 1) % n];
    e.x2 = f.x1;
    e.y2 = f.y1;
  }
}

// Each element of a line ends where the next begins, point for point (arcs
// drawn from angles would meet within a rounding).
void close_joints(outline& o) {
  for (std::size_t k = 0; k < o.size(); ++k) {
    const element& f = o[(k + 1) % o.size()];
    o[k].x2 = f.x1, o[k].y2 = f.y1;
  }
}

void polygon(outline& o, const std::vector<pt>& p) {
  for (std::size_t i = 0; i < p.size(); ++i) o.push_back(side(p[i], p[(i + 1) % p.size()]));
}

// Polygon of four copies of an arm turned by 90 degrees about the origin.
std::vector<pt> four_arms(const std::vector<pt>& arm) {
  std::vector<pt> p;
  for (int k = 0; k < 4; ++k)
    for (pt q : arm) {
      for (int j = 0; j < k; ++j) q = {-q.y, q.x};
      p.push_back(q);
    }
  return p;
}

void map_points(outline& o, const std::function<pt(pt)>& f) {
  for (element& e : o) {
    pt a = f({e.x1, e.y1}), b = f({e.x2, e.y2});
    e.x1 = a.x, e.y1 = a.y, e.x2 = b.x, e.y2 = b.y;
    if (e.arc) {
      pt m = f({e.x3, e.y3});
      e.x3 = m.x, e.y3 = m.y;
    }
  }
}

// Centre and radius of the circle through three points, and the angles of
// the arc from p1 to p2 through p3 (t2 - t1 signed: the sense of travel).
void arc_geometry(const element& e, double& xc, double& yc, double& r, double& t1, double& t2) {
  if (e.x1 == e.x2 && e.y1 == e.y2) {
    xc = (e.x1 + e.x3) / 2, yc = (e.y1 + e.y3) / 2;
    r = std::hypot(e.x1 - xc, e.y1 - yc);
    t1 = std::atan2(e.y1 - yc, e.x1 - xc);
    t2 = t1 + 2 * pi;
    return;
  }
  double ax = e.x1, ay = e.y1, bx = e.x3, by = e.y3, cx = e.x2, cy = e.y2;
  double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
  double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  xc = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
  yc = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
  r = std::hypot(ax - xc, ay - yc);
  t1 = std::atan2(ay - yc, ax - xc);
  double tm = std::atan2(by - yc, bx - xc), te = std::atan2(cy - yc, cx - xc);
  // Counter-clockwise angles from t1 to the middle and to the end.
  auto ccw = [&](double t) { return std::fmod(t - t1 + 4 * pi, 2 * pi); };
  t2 = ccw(tm) < ccw(te) ? t1 + ccw(te) : t1 - (2 * pi - ccw(te));
}

// Dense points of one element from its start (its end excluded).
void element_points(const element& e, std::vector<pt>& v) {
  if (!e.arc) {
    v.push_back({e.x1, e.y1});
    return;
  }
  double xc, yc, r, t1, t2;
  arc_geometry(e, xc, yc, r, t1, t2);
  int n = std::max(2, static_cast<int>(std::ceil(std::fabs(t2 - t1) / (3 * pi / 180))));
  v.push_back({e.x1, e.y1});
  for (int k = 1; k < n; ++k) {
    double t = t1 + (t2 - t1) * k / n;
    v.push_back({xc + r * std::cos(t), yc + r * std::sin(t)});
  }
}

// The closed lines of an outline as dense polygons (each element's points
// tagged with the element), or "" and an empty list when an end is not met.
struct line_poly {
  std::vector<pt> p;
  std::vector<int> el;  // element of each point (the segment from it)
};

std::string lines_of(const outline& o, std::vector<line_poly>& lines) {
  std::vector<bool> used(o.size(), false);
  for (std::size_t i0 = 0; i0 < o.size(); ++i0) {
    if (used[i0]) continue;
    line_poly l;
    std::size_t i = i0;
    for (std::size_t step = 0; step <= o.size(); ++step) {
      used[i] = true;
      std::size_t before = l.p.size();
      element_points(o[i], l.p);
      for (std::size_t k = before; k < l.p.size(); ++k) l.el.push_back(static_cast<int>(i));
      const element& e = o[i];
      std::size_t nx = o.size();
      for (std::size_t j = 0; j < o.size(); ++j)
        if (o[j].x1 == e.x2 && o[j].y1 == e.y2 && (j == i0 || !used[j])) {
          nx = j;
          if (j != i0) break;
        }
      if (nx == o.size()) return "an element end meets no element";
      if (nx == i0) break;
      i = nx;
    }
    lines.push_back(l);
  }
  return "";
}

double area(const std::vector<pt>& p) {
  double s = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const pt &a = p[i], &b = p[(i + 1) % p.size()];
    s += a.x * b.y - b.x * a.y;
  }
  return s / 2;
}

bool inside(const std::vector<pt>& p, pt q) {
  bool in = false;
  for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    if ((p[i].y > q.y) != (p[j].y > q.y) &&
        q.x < (p[j].x - p[i].x) * (q.y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      in = !in;
  }
  return in;
}

double seg_point(pt a, pt b, pt q) {
  double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy);
}

double orient(pt a, pt b, pt c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

double seg_seg(pt a, pt b, pt c, pt d) {
  double o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
  if (((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) && ((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0)))
    return 0;
  return std::min(std::min(seg_point(a, b, c), seg_point(a, b, d)),
                  std::min(seg_point(c, d, a), seg_point(c, d, b)));
}

struct box {
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  void add(pt q) {
    x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  }
};

// Least distance between two closed polygons (0 when they cross).
double poly_distance(const std::vector<pt>& p, const std::vector<pt>& q) {
  double d = 1e300;
  for (std::size_t i = 0; i < p.size(); ++i)
    for (std::size_t j = 0; j < q.size(); ++j)
      d = std::min(d, seg_seg(p[i], p[(i + 1) % p.size()], q[j], q[(j + 1) % q.size()]));
  return d;
}

// Diameter of a point set (largest distance between two points).
double diameter(const std::vector<pt>& p) {
  double d = 0;
  for (std::size_t i = 0; i < p.size(); ++i)
    for (std::size_t j = i + 1; j < p.size(); ++j)
      d = std::max(d, std::hypot(p[i].x - p[j].x, p[i].y - p[j].y));
  return d;
}

// ---- families ----------------------------------------------------------------
// Each draws an outline about the origin with a half size near 1 and says
// whether it is its own enclosing guide and its characteristic length (the
// one whose half wavelength is near its lowest cutoff), in the same units.

struct draft {
  outline o;
  bool exact = false;
  bool turn = true;      // may be turned by an arbitrary angle
  double length = 2;     // characteristic length
};

draft convex_polygon(stream& r) {
  int n = 3 + r.pick(7);
  double q = r.in(0.4, 1.0), t0 = r.in(0, 2 * pi);
  std::vector<double> t(n);
  // Angles in order with gaps of at least a third of the even gap.
  double gap = 2 * pi / n, free = 2 * pi - n * gap / 3;
  std::vector<double> w(n);
  double sw = 0;
  for (double& x : w) sw += (x = r.in(0.05, 1));
  double acc = t0;
  for (int i = 0; i < n; ++i) {
    t[i] = acc;
    acc += gap / 3 + free * w[i] / sw;
  }
  std::vector<pt> p;
  for (double a : t) p.push_back({std::cos(a), q * std::sin(a)});
  draft d;
  polygon(d.o, p);
  return d;
}

draft concave_polygon(stream& r) {
  int n = 5 + r.pick(8);
  std::vector<pt> p;
  double t0 = r.in(0, 2 * pi);
  int dent = r.pick(n);
  for (int i = 0; i < n; ++i) {
    double a = t0 + 2 * pi * (i + r.in(-0.3, 0.3)) / n;
    double rad = i == dent ? r.in(0.3, 0.45) : r.in(0.45, 1.0);
    p.push_back({rad * std::cos(a), rad * std::sin(a)});
  }
  draft d;
  polygon(d.o, p);
  return d;
}

draft star(stream& r) {
  int n = 3 + r.pick(6);
  double rho = r.in(0.3, 0.65);
  std::vector<pt> p;
  for (int i = 0; i < 2 * n; ++i) {
    double a = pi * i / n, rad = i % 2 ? rho : 1.0;
    p.push_back({rad * std::cos(a), rad * std::sin(a)});
  }
  draft d;
  polygon(d.o, p);
  return d;
}

draft l_shape(stream& r) {
  double w1 = r.in(0.25, 0.7), w2 = r.in(0.25, 0.7), sx = r.in(0.6, 1.4);
  draft d;
  polygon(d.o, {{-sx, -1}, {sx, -1}, {sx, -1 + w1}, {-sx + w2 * sx, -1 + w1}, {-sx + w2 * sx, 1}, {-sx, 1}});
  return d;
}

draft t_shape(stream& r) {
  double t = r.in(0.2, 0.6), s = r.in(0.2, 0.7), sx = r.in(0.7, 1.4);
  draft d;
  polygon(d.o, {{-sx, 1}, {-sx, 1 - t}, {-s / 2, 1 - t}, {-s / 2, -1}, {s / 2, -1},
                {s / 2, 1 - t}, {sx, 1 - t}, {sx, 1}});
  return d;
}

draft h_shape(stream& r) {
  double w = r.in(0.2, 0.5), h = r.in(0.15, 0.6), sy = r.in(0.7, 1.4);
  draft d;
  polygon(d.o, {{-1, -sy}, {-1 + w, -sy}, {-1 + w, -h / 2}, {1 - w, -h / 2}, {1 - w, -sy}, {1, -sy},
                {1, sy}, {1 - w, sy}, {1 - w, h / 2}, {-1 + w, h / 2}, {-1 + w, sy}, {-1, sy}});
  return d;
}

draft cross(stream& r) {
  double hw = r.in(0.08, 0.3), lx = 1.0, ly = r.in(0.6, 1.0);
  draft d;
  polygon(d.o, {{hw, -hw}, {lx, -hw}, {lx, hw}, {hw, hw}, {hw, ly}, {-hw, ly}, {-hw, hw},
                {-lx, hw}, {-lx, -hw}, {-hw, -hw}, {-hw, -ly}, {hw, -ly}});
  return d;
}

draft jerusalem_cross(stream& r) {
  double hw = r.in(0.05, 0.15), t = r.in(0.08, 0.2);
  double hc = r.in(hw + 0.15, 0.85 - t);
  draft d;
  polygon(d.o, four_arms({{hw, -hw}, {1 - t, -hw}, {1 - t, -hc}, {1, -hc}, {1, hc}, {1 - t, hc}, {1 - t, hw}}));
  return d;
}

draft rounded_rectangle(stream& r) {
  double w = 1, h = r.in(0.3, 1.0), rc = r.in(0.1, 0.9) * std::min(w, h);
  draft d;
  d.o = {side({-w + rc, -h}, {w - rc, -h}), arc_of(w - rc, -h + rc, rc, -pi / 2, 0),
         side({w, -h + rc}, {w, h - rc}), arc_of(w - rc, h - rc, rc, 0, pi / 2),
         side({w - rc, h}, {-w + rc, h}), arc_of(-w + rc, h - rc, rc, pi / 2, pi),
         side({-w, h - rc}, {-w, -h + rc}), arc_of(-w + rc, -h + rc, rc, pi, 3 * pi / 2)};
  close_joints(d.o);
  return d;
}

draft stadium(stream& r) {
  double l = r.in(0.2, 1.0), rc = r.in(0.15, 0.8);
  draft d;
  d.o = {side({-l, -rc}, {l, -rc}), arc_of(l, 0, rc, -pi / 2, pi / 2), side({l, rc}, {-l, rc}),
         arc_of(-l, 0, rc, pi / 2, 3 * pi / 2)};
  close_joints(d.o);
  d.length = 2 * (l + rc);
  return d;
}

// Half discs, D shapes and squares whose top side is an arc of 95 to 270
// degrees.
draft d_shape(stream& r) {
  draft d;
  int kind = r.pick(3);
  if (kind == 0) {
    d.o = {side({1, 0}, {-1, 0}), arc_of(0, 0, 1, pi, 2 * pi)};
  } else if (kind == 1) {
    double w = r.in(0.2, 1.5);
    d.o = {side({0, 1}, {-w, 1}), side({-w, 1}, {-w, -1}), side({-w, -1}, {0, -1}),
           arc_of(0, 0, 1, -pi / 2, pi / 2)};
  } else {
    double ang = r.in(95, 270) * pi / 180, rc = 1 / std::sin(ang / 2);
    double yc = 1 - rc * std::cos(ang / 2);
    d.o = {side({1, -1}, {1, 1}), arc_of(0, yc, rc, pi / 2 - ang / 2, pi / 2 + ang / 2),
           side({-1, 1}, {-1, -1}), side({-1, -1}, {1, -1})};
  }
  close_joints(d.o);
  return d;
}

draft circle_n(stream& r, int n) {
  draft d;
  // Joints on the axes (the rounding of cos and sin at them), or anywhere.
  double t0 = r.chance(0.5) ? 0.0 : r.in(0, 2 * pi);
  circle_arcs(d.o, 0, 0, 1, n, t0);
  d.exact = n == 1;
  d.turn = false;
  return d;
}

draft coaxial_ring(stream& r) {
  draft d;
  double ri = r.in(0.2, 0.75);
  d.o.push_back(full_circle(0, 0, 1, r.in(0, 2 * pi)));
  d.o.push_back(full_circle(0, 0, ri, r.in(0, 2 * pi)));
  d.turn = false;
  d.length = pi * (1 + ri) / 2;
  return d;
}

draft eccentric_ring(stream& r) {
  draft d;
  double ri = r.in(0.2, 0.6), off = r.in(0.05, 0.85) * (1 - ri - 0.08), t = r.in(0, 2 * pi);
  d.o.push_back(full_circle(0, 0, 1, r.in(0, 2 * pi)));
  d.o.push_back(full_circle(off * std::cos(t), off * std::sin(t), ri, r.in(0, 2 * pi)));
  d.turn = false;
  d.length = pi * (1 + ri) / 2;
  return d;
}

draft square_ring(stream& r) {
  draft d;
  double q = r.in(0.3, 0.8), h = r.in(0.6, 1.0);
  polygon(d.o, {{-1, -h}, {1, -h}, {1, h}, {-1, h}});
  double g = q * std::min(1.0, h);
  polygon(d.o, {{-g, -g}, {g, -g}, {g, g}, {-g, g}});
  d.length = 2 * (1 + q);
  return d;
}

// Rings of mixed kinds: a square about a circle, a circle about a square, a
// rounded rectangle about two round conductors, a polygon about a polygon.
draft mixed_ring(stream& r) {
  draft d;
  int kind = r.pick(4);
  if (kind == 0) {
    polygon(d.o, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}});
    d.o.push_back(full_circle(r.in(-0.2, 0.2), r.in(-0.2, 0.2), r.in(0.2, 0.6), r.in(0, 2 * pi)));
  } else if (kind == 1) {
    circle_arcs(d.o, 0, 0, 1, 1 + r.pick(4), r.in(0, 2 * pi));
    double g = r.in(0.15, 0.5);
    polygon(d.o, {{-g, -g}, {g, -g}, {g, g}, {-g, g}});
  } else if (kind == 2) {
    d.o = rounded_rectangle(r).o;
    double h = std::fabs(d.o[0].y1);  // half height of the rectangle
    double rc = r.in(0.1, 0.4) * h;
    d.o.push_back(full_circle(-0.45, 0, rc, r.in(0, 2 * pi)));
    d.o.push_back(full_circle(0.45, 0, rc, r.in(0, 2 * pi)));
  } else {
    int n = 5 + r.pick(4);
    std::vector<pt> p, q;
    double rho = r.in(0.3, 0.6);
    for (int i = 0; i < n; ++i) {
      double a = 2 * pi * i / n;
      p.push_back({std::cos(a), std::sin(a)});
    }
    for (int i = 0; i < 3; ++i) {
      double a = 2 * pi * i / 3 + 0.3;
      q.push_back({rho * std::cos(a), rho * std::sin(a)});
    }
    polygon(d.o, p);
    polygon(d.o, q);
  }
  return d;
}

// Split rings: a circular C (two arcs of more than 180 degrees and the two
// sides of the gap) or a square one.
draft split_ring(stream& r) {
  draft d;
  double rho = r.in(0.45, 0.85), g = r.in(10, 60) * pi / 180;
  if (r.chance(0.6)) {
    element outer = arc_of(0, 0, 1, g / 2, 2 * pi - g / 2);
    element inner = arc_of(0, 0, rho, 2 * pi - g / 2, g / 2);  // back, clockwise
    d.o = {outer, side({outer.x2, outer.y2}, {inner.x1, inner.y1}), inner,
           side({inner.x2, inner.y2}, {outer.x1, outer.y1})};
    d.length = pi * (1 + rho);
  } else {
    double gw = std::max(0.08, (1 - rho) * r.in(0.5, 1.5)) / 2;
    polygon(d.o, {{1, gw}, {1, 1}, {-1, 1}, {-1, -1}, {1, -1}, {1, -gw}, {rho, -gw}, {rho, -rho},
                  {-rho, -rho}, {-rho, rho}, {rho, rho}, {rho, gw}});
    d.length = 4 * (1 + rho);
  }
  return d;
}

draft thin_slot(stream& r) {
  draft d;
  double w = r.in(0.03, 0.15);
  polygon(d.o, {{-1, -w}, {1, -w}, {1, w}, {-1, w}});
  if (r.chance(0.5)) {
    d.exact = true;
    d.turn = false;
    if (r.chance(0.5)) map_points(d.o, [](pt p) { return pt{-p.y, p.x}; });
  }
  return d;
}

draft tiny_hole(stream& r) {
  draft d;
  int kind = r.pick(3);
  if (kind == 0) {
    d.o.push_back(full_circle(0, 0, 1, r.in(0, 2 * pi)));
    d.exact = true;
    d.turn = false;
  } else if (kind == 1) {
    polygon(d.o, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}});
    d.exact = true;
    d.turn = false;
  } else {
    d = cross(r);
  }
  return d;
}

const std::vector<std::string> names = {
    "convex polygon", "concave polygon", "star", "L", "T", "H", "cross", "Jerusalem cross",
    "rounded rectangle", "stadium", "D shape", "circle of one arc", "circle of two arcs",
    "circle of three arcs", "circle of four arcs", "coaxial ring", "eccentric ring",
    "square ring", "mixed ring", "split ring", "thin slot", "tiny hole", "nearly filling"};

draft draw(int family, stream& r) {
  switch (family) {
    case 0: return convex_polygon(r);
    case 1: return concave_polygon(r);
    case 2: return star(r);
    case 3: return l_shape(r);
    case 4: return t_shape(r);
    case 5: return h_shape(r);
    case 6: return cross(r);
    case 7: return jerusalem_cross(r);
    case 8: return rounded_rectangle(r);
    case 9: return stadium(r);
    case 10: return d_shape(r);
    case 11: return circle_n(r, 1);
    case 12: return circle_n(r, 2);
    case 13: return circle_n(r, 3);
    case 14: return circle_n(r, 4);
    case 15: return coaxial_ring(r);
    case 16: return eccentric_ring(r);
    case 17: return square_ring(r);
    case 18: return mixed_ring(r);
    case 19: return split_ring(r);
    case 20: return thin_slot(r);
    default: return tiny_hole(r);  // 21; 22, nearly filling, is drawn from the lattice
  }
}

// Coordinates in fixed point, a ten-thousandth of a micrometre: six of them
// fit the 80 characters of a boundary line (all lie within 1000 mm).
std::string num(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%.7f", x);
  return b;
}

// Shortest lattice translation.
double shortest(const lattice& l) {
  double m = 1e300;
  for (int i = -3; i <= 3; ++i)
    for (int j = -3; j <= 3; ++j)
      if (i || j) m = std::min(m, std::hypot(i * l.v1x() + j * l.v2x(), j * l.v2y()));
  return m;
}

}  // namespace

double lattice::v2x() const { return b * std::cos(skew * pi / 180) / std::sin(skew * pi / 180); }
bool lattice::square() const { return a == b && skew == 90; }

const std::vector<std::string>& families() { return names; }

double fit_margin(const lattice& l) { return 0.02 * shortest(l); }

outline translated(const outline& o, double dx, double dy) {
  outline t = o;
  map_points(t, [&](pt p) { return pt{p.x + dx, p.y + dy}; });
  return t;
}

outline rotated90(const outline& o) {
  outline t = o;
  map_points(t, [](pt p) { return pt{-p.y, p.x}; });
  return t;
}

outline mirrored_y(const outline& o) {
  outline t = o;
  map_points(t, [](pt p) { return pt{p.x, -p.y}; });
  return t;
}

// The outer line: the one of the largest area.
static std::size_t outer_line(const std::vector<line_poly>& lines) {
  std::size_t outer = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (std::fabs(area(lines[i].p)) > std::fabs(area(lines[outer].p))) outer = i;
  return outer;
}

std::string invalid_lines(const outline& o) {
  std::vector<line_poly> lines;
  std::string why = lines_of(o, lines);
  if (!why.empty()) return why;
  const std::size_t outer = outer_line(lines);
  // Elements keep apart except at the joint two neighbours share: segments
  // of elements that are not neighbours keep a gap of a five-hundredth of
  // the aperture; neighbours must not cross.
  const double gap = 2e-3 * diameter(lines[outer].p);
  auto neighbours = [&](const line_poly& li, int e, int f) {
    std::size_t n = li.p.size();
    for (std::size_t i = 0; i < n; ++i)
      if ((li.el[i] == e && li.el[(i + 1) % n] == f) || (li.el[i] == f && li.el[(i + 1) % n] == e))
        return true;
    return false;
  };
  for (std::size_t a = 0; a < lines.size(); ++a)
    for (std::size_t b = a; b < lines.size(); ++b) {
      const line_poly &p = lines[a], &q = lines[b];
      std::size_t np = p.p.size(), nq = q.p.size();
      for (std::size_t i = 0; i < np; ++i)
        for (std::size_t j = a == b ? i + 1 : 0; j < nq; ++j) {
          pt p1 = p.p[i], p2 = p.p[(i + 1) % np], q1 = q.p[j], q2 = q.p[(j + 1) % nq];
          if (a == b) {
            if (p.el[i] == q.el[j]) continue;  // chords of one arc
            if (neighbours(p, p.el[i], q.el[j])) {
              if (orient(p1, p2, q1) * orient(p1, p2, q2) < 0 && orient(q1, q2, p1) * orient(q1, q2, p2) < 0)
                return "neighbouring elements cross";
              continue;
            }
          }
          if (seg_seg(p1, p2, q1, q2) < gap) return a == b ? "a line runs into itself" : "two lines meet";
        }
    }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == outer) continue;
    if (!inside(lines[outer].p, lines[i].p[0])) return "an inner line outside the outer line";
    for (std::size_t j = 0; j < lines.size(); ++j)
      if (j != i && j != outer && inside(lines[j].p, lines[i].p[0])) return "nested inner lines";
  }
  return "";
}

std::string invalid_fit(const outline& o, const lattice& l, double margin) {
  std::vector<line_poly> lines;
  std::string why = lines_of(o, lines);
  if (!why.empty()) return why;
  const std::size_t outer = outer_line(lines);
  const std::vector<pt>& p = lines[outer].p;
  box bp;
  for (pt q : p) bp.add(q);
  double reach = std::hypot(bp.x1 - bp.x0, bp.y1 - bp.y0) + margin;
  double h = std::min(l.b, l.a * std::sin(l.skew * pi / 180));
  int m = static_cast<int>(std::ceil(reach / h)) + 2;
  for (int i = -m; i <= m; ++i)
    for (int j = -m; j <= m; ++j) {
      if (!i && !j) continue;
      double tx = i * l.v1x() + j * l.v2x(), ty = j * l.v2y();
      if (bp.x0 + tx > bp.x1 + margin || bp.x1 + tx < bp.x0 - margin || bp.y0 + ty > bp.y1 + margin ||
          bp.y1 + ty < bp.y0 - margin)
        continue;
      std::vector<pt> q = p;
      for (pt& z : q) z.x += tx, z.y += ty;
      if (inside(p, q[0]) || inside(q, p[0])) return "the aperture holds a copy of itself";
      if (poly_distance(p, q) < margin) return "the aperture comes nearer than the margin to a copy of itself";
    }
  return "";
}

std::string invalid(const outline& o, const lattice& l, double margin) {
  std::string why = invalid_lines(o);
  return why.empty() ? invalid_fit(o, l, margin) : why;
}

gen_case generate(std::uint64_t seed, int k) {
  stream r{seed * 0x2545F4914F6CDD1DULL + static_cast<std::uint64_t>(k) * 0x9E3779B97F4A7C15ULL};
  r.next();
  gen_case c;
  c.index = k;
  const int nf = static_cast<int>(names.size());
  const int family = k % nf;
  c.family = names[family];

  // Lattice: square, rectangular and skewed in turn for each family.
  lattice l{};
  l.a = r.in(8, 30);
  int kind = (k / nf) % 3;
  if (kind == 0) {
    l.b = l.a, l.skew = 90;
  } else if (kind == 1) {
    l.b = l.a * (r.chance(0.5) ? r.in(0.55, 0.9) : r.in(1.1, 1.6)), l.skew = 90;
  } else {
    l.b = l.a * r.in(0.7, 1.3);
    l.skew = r.chance(0.5) ? r.in(50, 80) : r.in(100, 130);
  }
  c.cell = l;
  c.thickness = std::exp(r.in(std::log(0.05), std::log(2.0)));
  c.theta = r.in(5, 50);
  c.phi = r.in(10, 80);
  const double period = shortest(l), margin = fit_margin(l);

  // Aperture: drawn about the origin, scaled, turned, placed anywhere in
  // the cell; drafts that do not fit are shrunk.
  draft d;
  double scale = 1;
  if (family == nf - 1) {
    // Nearly filling the cell: a rectangle (its own guide) in a rectangular
    // lattice, the cell itself shrunk in a skewed one, or a large circle.
    double fill = r.in(0.88, 0.95);
    if (r.chance(0.3)) {
      d.o.push_back(full_circle(0, 0, fill * period / 2, r.in(0, 2 * pi)));
      d.exact = true;
      d.length = fill * period;
    } else if (l.skew == 90) {
      double w = fill * l.a / 2, h = fill * l.b / 2;
      polygon(d.o, {{-w, -h}, {w, -h}, {w, h}, {-w, h}});
      d.exact = true;
      d.length = 2 * std::max(w, h);
    } else {
      double ux = fill * l.v1x() / 2, vx = fill * l.v2x() / 2, vy = fill * l.v2y() / 2;
      polygon(d.o, {{-ux - vx, -vy}, {ux - vx, -vy}, {ux + vx, vy}, {-ux + vx, vy}});
      d.length = 2 * std::max(ux, vy);
    }
    d.turn = false;
  } else {
    for (d = draw(family, r); !invalid_lines(d.o).empty(); d = draw(family, r)) ++c.tries;
    std::vector<line_poly> lines;
    lines_of(d.o, lines);
    double rad = 0;
    for (const line_poly& li : lines)
      for (pt q : li.p) rad = std::max(rad, std::hypot(q.x, q.y));
    double target = family == 21 ? period / r.in(12, 25) : r.in(0.35, 1.15) * period / 2;
    scale = target / rad;
    if (d.turn && r.chance(0.7)) {
      double t = r.in(0, 2 * pi), ct = std::cos(t), st = std::sin(t);
      map_points(d.o, [&](pt p) { return pt{ct * p.x - st * p.y, st * p.x + ct * p.y}; });
    }
  }
  double u = r.u(), w = r.u();
  double cx = u * l.v1x() + w * l.v2x(), cy = w * l.v2y();
  for (;; ++c.tries) {
    outline o = d.o;
    map_points(o, [&](pt p) { return pt{cx + scale * p.x, cy + scale * p.y}; });
    if (invalid_fit(o, l, margin).empty() || c.tries > 40) {
      c.boundary = o;
      break;
    }
    scale *= 0.9;
  }
  c.exact = d.exact;

  // Frequencies from the aperture's characteristic length: sweep below and
  // about its lowest cutoff (from the lattice for tiny holes), block 7 two
  // to three times that cutoff, block 8 three times block 7 within about
  // 1200 Floquet modes.
  double len = scale * d.length;
  double fc = c_mm_ghz / (2 * len);
  if (family == 21) {
    c.f1 = r.in(0.3, 0.8) * c_mm_ghz / std::max(l.a, l.b);
    c.fwg = fc * r.in(1.5, 2.5);
  } else {
    c.f1 = fc * r.in(0.3, 1.0);
    c.fwg = fc * r.in(2.2, 3.0);
  }
  c.f2 = c.f1 * r.in(1.1, 1.5);
  double cap = c_mm_ghz * std::sqrt(1200 / (2 * pi * l.a * l.b));
  c.fflo = std::max(std::min(3 * c.fwg, cap), 1.3 * c.f2);
  // The copies: a lattice translation of up to two periods each way, and
  // a shift by any vector of the cell.
  do {
    c.m = r.pick(5) - 2;
    c.n = r.pick(5) - 2;
  } while (c.m == 0 && c.n == 0);
  double su = r.in(0.05, 0.95), sw = r.in(0.05, 0.95);
  c.sx = su * l.v1x() + sw * l.v2x(), c.sy = sw * l.v2y();
  auto round4 = [](double x) {
    double e = std::pow(10.0, std::floor(std::log10(x)) - 3);
    return std::round(x / e) * e;
  };
  c.f1 = round4(c.f1), c.f2 = round4(c.f2), c.fwg = round4(c.fwg), c.fflo = round4(c.fflo);
  c.theta = std::round(c.theta * 10) / 10, c.phi = std::round(c.phi * 10) / 10;
  return c;
}

std::string boundary_text(const outline& o) {
  std::string s;
  for (const element& e : o) {
    s += num(e.x1) + " " + num(e.y1) + " " + num(e.x2) + " " + num(e.y2);
    if (e.arc) s += " " + num(e.x3) + " " + num(e.y3);
    s += "\n";
  }
  return s;
}

std::string structure_file(const gen_case& c, const outline& o, double phi0, const lattice& l) {
  std::string s = "generated aperture: " + c.family + ", case " + std::to_string(c.index) + "\n\n";
  s += "1) cell dimensions a b [mm]\n" + num(l.a) + " " + num(l.b) + "\n";
  s += "2) skew angle [deg]\n" + num(l.skew) + "\n";
  s += "3) metal thickness [mm]\n" + num(c.thickness) + "\n";
  s += "4) aperture boundary [mm]\n" + boundary_text(o);
  // Two thetas (0 and the case's), two phis (phi0 and phi0 + the case's):
  // the ends lie half a step past the last value.
  s += "5) incidence theta phi [deg]\n0 " + num(1.5 * c.theta) + " " + num(c.theta) + " " + num(phi0) +
       " " + num(phi0 + 1.5 * c.phi) + " " + num(c.phi) + "\n";
  double step = c.f2 - c.f1;
  s += "6) frequency sweep start end step [GHz]\n" + num(c.f1) + " " + num(c.f1 + 1.5 * step) + " " +
       num(step) + "\n";
  s += "7) largest frequency of the aperture modes [GHz]\n" + num(c.fwg) + "\n";
  s += "8) largest frequency of the Floquet modes [GHz]\n" + num(c.fflo) + "\n";
  return s;
}

}  // namespace apgen
