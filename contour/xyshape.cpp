// Geometry checks of an aperture boundary: elements that bound nothing
// (sides of no length, arcs through three points on one line), elements
// that cross, touch or overlap each other or meet three at a point (before
// the coding), lines that lie outside the outer line or inside an inner one
// (after it), and apertures that overlap their neighbours in the lattice.
// The contour coder would otherwise take any of them for an aperture and
// the mode solver would compute modes of a region that does not exist.
#include <algorithm>
#include <cmath>

#include "contour/contour.hpp"
#include "records/run.hpp"

namespace {

constexpr double pi = 3.141592653589793;

void fail(int code, const char* msg, int row1, int row2, int& ier) {
  ier = errors.code = code;
  errors.message = msg;
  xye_fault.row1 = row1;
  xye_fault.row2 = row2;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// One element: a side, or an arc of centre (cx, cy) and radius r that
// starts at angle f1 and sweeps df (counter-clockwise when positive); its
// ends and its bounding box.
struct shape {
  bool arc = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  double cx = 0, cy = 0, r = 0, f1 = 0, df = 0;
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

void set_box(shape& s) {
  s.xmin = std::fmin(s.x1, s.x2), s.xmax = std::fmax(s.x1, s.x2);
  s.ymin = std::fmin(s.y1, s.y2), s.ymax = std::fmax(s.y1, s.y2);
  if (!s.arc) return;
  // The extreme points of the circle that the arc passes.
  for (int k = 0; k < 4; ++k) {
    double t = k * pi / 2, u = std::fmod((t - s.f1) * (s.df < 0 ? -1 : 1), 2 * pi);
    if (u < 0) u += 2 * pi;
    if (u > std::fabs(s.df)) continue;
    double x = s.cx + s.r * std::cos(t), y = s.cy + s.r * std::sin(t);
    s.xmin = std::fmin(s.xmin, x), s.xmax = std::fmax(s.xmax, x);
    s.ymin = std::fmin(s.ymin, y), s.ymax = std::fmax(s.ymax, y);
  }
}

// The element of a boundary line (start, end, third point of an arc);
// a message when it bounds nothing.
const char* raw_shape(double x1, double y1, double x2, double y2, double x3, double y3, bool arc,
                      double eps, shape& s) {
  s = shape{};
  s.x1 = x1, s.y1 = y1, s.x2 = x2, s.y2 = y2;
  const bool closed = std::fabs(x1 - x2) < eps && std::fabs(y1 - y2) < eps;
  if (!arc) {
    set_box(s);
    return closed ? "XYSHAPE: side of no length" : nullptr;
  }
  s.arc = true;
  if (closed) {
    // A full circle: the third point is opposite the start.
    s.cx = (x1 + x3) / 2, s.cy = (y1 + y3) / 2, s.r = std::hypot(x3 - x1, y3 - y1) / 2;
    if (!(s.r > eps / 2)) return "XYSHAPE: circle of no size";
    s.f1 = std::atan2(y1 - s.cy, x1 - s.cx), s.df = 2 * pi;
    s.x2 = x1, s.y2 = y1;
  } else {
    double a = x1, b = y1, c = x3, d = y3, e = x2, f = y2;
    circle3(a, b, c, d, e, f, 1);
    if (!(e > 0)) return "XYSHAPE: arc whose three points lie on one line";
    s.cx = a, s.cy = b, s.r = e, s.f1 = c, s.df = d - c;
  }
  set_box(s);
  return nullptr;
}

shape coded_shape(int i) {
  shape s;
  eends(i, s.x1, s.y1, s.x2, s.y2);
  if (is_arc(i)) {
    const xye_row& r = blok2[i];
    s.arc = true;
    s.cx = r[1], s.cy = r[2], s.f1 = r[3], s.df = r[4] - r[3], s.r = r[5];
  }
  set_box(s);
  return s;
}

shape moved(shape s, double dx, double dy) {
  s.x1 += dx, s.x2 += dx, s.cx += dx, s.xmin += dx, s.xmax += dx;
  s.y1 += dy, s.y2 += dy, s.cy += dy, s.ymin += dy, s.ymax += dy;
  return s;
}

bool boxes_meet(const shape& p, const shape& q, double tol) {
  return p.xmin <= q.xmax + tol && q.xmin <= p.xmax + tol && p.ymin <= q.ymax + tol &&
         q.ymin <= p.ymax + tol;
}

// Whether the point (within tol) lies on the element.
bool on(const shape& s, double x, double y, double tol) {
  if (s.arc) {
    if (std::fabs(std::hypot(x - s.cx, y - s.cy) - s.r) > tol) return false;
    double u = std::fmod((std::atan2(y - s.cy, x - s.cx) - s.f1) * (s.df < 0 ? -1 : 1), 2 * pi);
    if (u < 0) u += 2 * pi;
    double slack = tol / s.r;
    return u <= std::fabs(s.df) + slack || u >= 2 * pi - slack;
  }
  double dx = s.x2 - s.x1, dy = s.y2 - s.y1, l2 = dx * dx + dy * dy;
  double t = ((x - s.x1) * dx + (y - s.y1) * dy) / l2, l = std::sqrt(l2);
  if (t < -tol / l || t > 1 + tol / l) return false;
  return std::fabs(cross(dx, dy, x - s.x1, y - s.y1)) / l <= tol;
}

// Candidate points where the circles or lines of two elements meet (at
// most 4, their ends included); true when the elements run along each
// other (the same line or circle over more than `joint`).
bool candidates(const shape& p, const shape& q, double tol, double joint, double* px, double* py,
                int& n) {
  n = 0;
  auto add = [&](double x, double y) {
    if (n < 8) px[n] = x, py[n] = y, ++n;
  };
  // The ends of each element on the other.
  add(p.x1, p.y1), add(p.x2, p.y2), add(q.x1, q.y1), add(q.x2, q.y2);
  const shape* a = &p;
  const shape* b = &q;
  if (a->arc && !b->arc) std::swap(a, b);
  if (!a->arc && !b->arc) {
    double dx = a->x2 - a->x1, dy = a->y2 - a->y1, ex = b->x2 - b->x1, ey = b->y2 - b->y1;
    double la = std::hypot(dx, dy), lb = std::hypot(ex, ey), d = cross(dx, dy, ex, ey);
    if (std::fabs(d) <= 1e-12 * la * lb) {
      // Parallel: along each other when on one line over more than a joint.
      if (std::fabs(cross(dx, dy, b->x1 - a->x1, b->y1 - a->y1)) / la > tol) return false;
      double t0 = ((b->x1 - a->x1) * dx + (b->y1 - a->y1) * dy) / (la * la);
      double t1 = ((b->x2 - a->x1) * dx + (b->y2 - a->y1) * dy) / (la * la);
      double lo = std::fmax(0.0, std::fmin(t0, t1)), hi = std::fmin(1.0, std::fmax(t0, t1));
      return (hi - lo) * la > joint;
    }
    double t = cross(b->x1 - a->x1, b->y1 - a->y1, ex, ey) / d;
    add(a->x1 + t * dx, a->y1 + t * dy);
    return false;
  }
  if (!a->arc) {
    // A side and a circle.
    double dx = a->x2 - a->x1, dy = a->y2 - a->y1, l = std::hypot(dx, dy);
    double ux = dx / l, uy = dy / l;
    double s0 = (b->cx - a->x1) * ux + (b->cy - a->y1) * uy;
    double h = std::fabs(cross(ux, uy, b->cx - a->x1, b->cy - a->y1));
    if (h > b->r + tol) return false;
    double w = std::sqrt(std::fmax(0.0, b->r * b->r - h * h));
    add(a->x1 + (s0 - w) * ux, a->y1 + (s0 - w) * uy);
    add(a->x1 + (s0 + w) * ux, a->y1 + (s0 + w) * uy);
    return false;
  }
  // Two circles.
  double dx = b->cx - a->cx, dy = b->cy - a->cy, d = std::hypot(dx, dy);
  if (d <= tol) {
    if (std::fabs(a->r - b->r) > tol) return false;
    // One circle: along each other when the middle of one lies on the other.
    auto middle_on = [&](const shape& s, const shape& o) {
      double t = s.f1 + s.df / 2;
      return on(o, s.cx + s.r * std::cos(t), s.cy + s.r * std::sin(t), tol);
    };
    return middle_on(*a, *b) || middle_on(*b, *a);
  }
  if (d > a->r + b->r + tol || d < std::fabs(a->r - b->r) - tol) return false;
  double m = (d * d + a->r * a->r - b->r * b->r) / (2 * d);
  double h = std::sqrt(std::fmax(0.0, a->r * a->r - m * m));
  double bx = a->cx + m * dx / d, by = a->cy + m * dy / d;
  add(bx - h * dy / d, by + h * dx / d);
  add(bx + h * dy / d, by - h * dx / d);
  return false;
}

// Whether two elements meet: cross, touch or run along each other.  With
// `joints`, points within `joint` of an end they share (a joint of the
// line) do not count.
bool meet(const shape& p, const shape& q, double tol, double joint, bool joints) {
  if (!boxes_meet(p, q, tol)) return false;
  double px[8], py[8];
  int n;
  if (candidates(p, q, tol, joint, px, py, n)) return true;
  auto near = [&](double x1, double y1, double x2, double y2) {
    return std::fabs(x1 - x2) < joint && std::fabs(y1 - y2) < joint;
  };
  const double pe[2][2] = {{p.x1, p.y1}, {p.x2, p.y2}}, qe[2][2] = {{q.x1, q.y1}, {q.x2, q.y2}};
  for (int k = 0; k < n; ++k) {
    if (!on(p, px[k], py[k], tol) || !on(q, px[k], py[k], tol)) continue;
    bool at_joint = false;
    for (int i = 0; i < 2 && joints; ++i)
      for (int j = 0; j < 2; ++j)
        if (near(pe[i][0], pe[i][1], qe[j][0], qe[j][1]) &&
            near(px[k], py[k], pe[i][0], pe[i][1]))
          at_joint = true;
    if (!at_joint) return true;
  }
  return false;
}

// Winding number of the elements of rows `first` .. `last` whose label
// passes `member`, around the point (x, y): the sum of the angles of the
// chords, with a full turn for an arc whose segment holds the point.
template <class F>
int winding(double x, double y, F member) {
  double sum = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    if (!member(label(i))) continue;
    shape s = coded_shape(i);
    double ax = s.x1 - x, ay = s.y1 - y, bx = s.x2 - x, by = s.y2 - y;
    sum += std::atan2(cross(ax, ay, bx, by), ax * bx + ay * by);
    if (s.arc && std::hypot(x - s.cx, y - s.cy) < s.r) {
      double t = s.f1 + s.df / 2, mx = s.cx + s.r * std::cos(t), my = s.cy + s.r * std::sin(t);
      double side = cross(s.x2 - s.x1, s.y2 - s.y1, x - s.x1, y - s.y1);
      double mside = cross(s.x2 - s.x1, s.y2 - s.y1, mx - s.x1, my - s.y1);
      if (side * mside > 0) sum += s.df > 0 ? 2 * pi : -2 * pi;
    }
  }
  return static_cast<int>(std::lround(sum / (2 * pi)));
}

bool outer_label(int lab) { return lab < 101 || lab >= 1000; }

}  // namespace

void xyshape(int& ier) {
  ier = 0;
  const int n = blok2.n;
  const double eps = blok2[1][10], ab = std::fmax(blok2[1][6], blok2[1][7]);
  const double tol = eps / 10;
  static shape sh[xye_bound + 1];
  for (int i = 2; i <= n; ++i) {
    const xye_row& r = blok2[i];
    const char* fault =
        raw_shape(r[1], r[2], r[3], r[4], r[5], r[6], std::fabs(r[5]) < 10 * ab, eps, sh[i]);
    if (fault) return fail(4, fault, xye_origin[i], 0, ier);
  }
  // Every joint joins two element ends (a circle's start and end, or the
  // ends of two elements): a third end there makes the lines ambiguous.
  for (int i = 2; i <= n; ++i)
    for (int e = 0; e < 2; ++e) {
      double x = e ? sh[i].x2 : sh[i].x1, y = e ? sh[i].y2 : sh[i].y1;
      int ends = 0, other = 0;
      for (int j = 2; j <= n; ++j)
        for (int f = 0; f < 2; ++f)
          if (std::fabs((f ? sh[j].x2 : sh[j].x1) - x) < eps &&
              std::fabs((f ? sh[j].y2 : sh[j].y1) - y) < eps) {
            ++ends;
            if (j != i) other = j;
          }
      if (ends > 2)
        return fail(5, "XYSHAPE: more than two element ends meet at one point", xye_origin[i],
                    xye_origin[other], ier);
    }
  for (int i = 2; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j)
      if (meet(sh[i], sh[j], tol, eps, true))
        return fail(5, "XYSHAPE: boundary elements cross, touch or overlap", xye_origin[i],
                    xye_origin[j], ier);
}

void xylines(int& ier) {
  ier = 0;
  const int n = blok2.n;
  // A point of each inner line: the middle of its first element.
  static int first[1000];
  for (int l = 101; l < 1000; ++l) first[l] = 0;
  for (int i = 2; i <= n; ++i) {
    int lab = label(i);
    if (!outer_label(lab) && first[lab] == 0) first[lab] = i;
  }
  auto point = [](int i, double& x, double& y) {
    double tx, ty, s = (blok2[i][6] + blok2[i][7]) / 2;
    int iel = i;
    xlaxy(s, iel, x, y, tx, ty);
  };
  for (int l = 101; l < 1000; ++l) {
    if (first[l] == 0) continue;
    double x, y;
    point(first[l], x, y);
    if (winding(x, y, outer_label) == 0)
      return fail(6, "XYLINES: a closed line lies outside the outer line", xye_origin[first[l]], 0,
                  ier);
    for (int m = 101; m < 1000; ++m)
      if (m != l && first[m] != 0 && winding(x, y, [m](int lab) { return lab == m; }) != 0)
        return fail(7, "XYLINES: a closed line lies inside an inner line", xye_origin[first[l]],
                    xye_origin[first[m]], ier);
  }
}

// The box of the elements' ends and the arcs' third points (a lone circle
// has its ends at one point).
static void ends_box(const elm_row* el, int n, double& xmin, double& xmax, double& ymin, double& ymax) {
  xmin = ymin = 1e300, xmax = ymax = -1e300;
  for (int i = 1; i <= n; ++i) {
    const elm_row& e = el[i];
    const double x3 = e.x3 < straight_marker ? e.x3 : e.x1, y3 = e.y3 < straight_marker ? e.y3 : e.y1;
    xmin = std::fmin(xmin, std::fmin(std::fmin(e.x1, e.x2), x3));
    xmax = std::fmax(xmax, std::fmax(std::fmax(e.x1, e.x2), x3));
    ymin = std::fmin(ymin, std::fmin(std::fmin(e.y1, e.y2), y3));
    ymax = std::fmax(ymax, std::fmax(std::fmax(e.y1, e.y2), y3));
  }
}

int cell_overlap(const elm_row* el, int n, double a, double b, double alpha, double& tx,
                 double& ty, int& row1, int& row2) {
  static shape sh[elm_capacity + 1];
  // No lattice (a mode computation alone) or no element: nothing to check.
  if (n < 1 || n > elm_capacity || !(a > 0) || !(b > 0) || !(std::sin(alpha) > 0)) return 0;
  // The scale of the tolerances.
  double xmin, xmax, ymin, ymax;
  ends_box(el, n, xmin, xmax, ymin, ymax);
  const double eps = std::fmax(xmax - xmin, ymax - ymin) / 1000, tol = eps / 10;
  if (!(eps > 0)) return 0;
  for (int i = 1; i <= n; ++i) {
    const elm_row& e = el[i];
    // An element that bounds nothing is the coder's to refuse.
    if (raw_shape(e.x1, e.y1, e.x2, e.y2, e.x3, e.y3, e.x3 < straight_marker, eps, sh[i]))
      return 0;
    xmin = std::fmin(xmin, sh[i].xmin), xmax = std::fmax(xmax, sh[i].xmax);
    ymin = std::fmin(ymin, sh[i].ymin), ymax = std::fmax(ymax, sh[i].ymax);
  }
  // Lattice translations (m a + n b cot(alpha), n b) whose boxes overlap.
  const double w = xmax - xmin + tol, h = ymax - ymin + tol, cot = 1 / std::tan(alpha);
  const double nmax = std::floor(h / b);
  double count = 0;
  for (double k = -nmax; k <= nmax; ++k)
    count += std::floor((w - k * b * cot) / a) - std::ceil((-w - k * b * cot) / a) + 1;
  if (count > 1e5) return 2;
  for (int k = static_cast<int>(-nmax); k <= nmax; ++k) {
    const double sx = k * b * cot;
    for (int m = static_cast<int>(std::ceil((-w - sx) / a)); m * a + sx <= w; ++m) {
      if (m == 0 && k == 0) continue;
      const double dx = m * a + sx, dy = k * b;
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j)
          if (meet(sh[i], moved(sh[j], dx, dy), tol, eps, false)) {
            tx = dx, ty = dy, row1 = i, row2 = j;
            return 1;
          }
    }
  }
  return 0;
}

// ---- several apertures in one cell ------------------------------------------------

namespace {

// The elements of an aperture as shapes, and their common box; false when
// an element bounds nothing (the coder's to refuse).
bool aperture_shapes(const elm_row* el, int n, shape* sh, double& xmin, double& xmax,
                     double& ymin, double& ymax, double& eps) {
  if (n < 1 || n > elm_capacity) return false;
  ends_box(el, n, xmin, xmax, ymin, ymax);
  eps = std::fmax(xmax - xmin, ymax - ymin) / 1000;
  if (!(eps > 0)) return false;
  for (int i = 1; i <= n; ++i) {
    const elm_row& e = el[i];
    if (raw_shape(e.x1, e.y1, e.x2, e.y2, e.x3, e.y3, e.x3 < straight_marker, eps, sh[i])) return false;
    xmin = std::fmin(xmin, sh[i].xmin), xmax = std::fmax(xmax, sh[i].xmax);
    ymin = std::fmin(ymin, sh[i].ymin), ymax = std::fmax(ymax, sh[i].ymax);
  }
  return true;
}

// Crossings of the ray from (x, y) towards +x with an element (a crossing
// at the upper end of a side counts, at its lower end not).
int crossings(const shape& s, double x, double y) {
  if (!s.arc) {
    if ((s.y1 > y) == (s.y2 > y)) return 0;
    const double xc = s.x1 + (y - s.y1) * (s.x2 - s.x1) / (s.y2 - s.y1);
    return xc > x ? 1 : 0;
  }
  const double h = y - s.cy;
  if (std::fabs(h) >= s.r) return 0;
  const double w = std::sqrt(s.r * s.r - h * h);
  int c = 0;
  for (double xc : {s.cx - w, s.cx + w}) {
    if (!(xc > x)) continue;
    double u = std::fmod((std::atan2(h, xc - s.cx) - s.f1) * (s.df < 0 ? -1 : 1), 2 * pi);
    if (u < 0) u += 2 * pi;
    if (u < std::fabs(s.df) || std::fabs(s.df) >= 2 * pi) ++c;
  }
  return c;
}

// Whether (x, y) lies in the region the elements bound: inside the outer
// line and outside the inner ones (an odd number of crossings).
bool inside(const shape* sh, int n, double x, double y) {
  int c = 0;
  for (int i = 1; i <= n; ++i) c += crossings(sh[i], x, y);
  return c % 2 == 1;
}

// A point of an element: the middle of a side or an arc.
void middle(const shape& s, double& x, double& y) {
  if (!s.arc) {
    x = (s.x1 + s.x2) / 2, y = (s.y1 + s.y2) / 2;
    return;
  }
  const double t = s.f1 + s.df / 2;
  x = s.cx + s.r * std::cos(t), y = s.cy + s.r * std::sin(t);
}

// Whether two elements are the same (sides and arcs in either direction,
// full circles from any start), within tol.
bool same_element(const shape& p, const shape& q, double tol) {
  if (p.arc != q.arc) return false;
  auto close = [tol](double x1, double y1, double x2, double y2) {
    return std::fabs(x1 - x2) <= tol && std::fabs(y1 - y2) <= tol;
  };
  const bool full_p = p.arc && std::fabs(p.df) >= 2 * pi, full_q = q.arc && std::fabs(q.df) >= 2 * pi;
  if (full_p != full_q) return false;
  if (full_p) return close(p.cx, p.cy, q.cx, q.cy) && std::fabs(p.r - q.r) <= tol;
  const bool ends = (close(p.x1, p.y1, q.x1, q.y1) && close(p.x2, p.y2, q.x2, q.y2)) ||
                    (close(p.x1, p.y1, q.x2, q.y2) && close(p.x2, p.y2, q.x1, q.y1));
  if (!ends || !p.arc) return ends;
  double px, py, qx, qy;
  middle(p, px, py);
  middle(q, qx, qy);
  return close(px, py, qx, qy);
}

}  // namespace

bool translated_copy(const elm_row* a, int na, const elm_row* b, int nb, double& dx, double& dy) {
  static shape sa[elm_capacity + 1], sb[elm_capacity + 1];
  static bool used[elm_capacity + 1];
  double ax0, ax1, ay0, ay1, ea, bx0, bx1, by0, by1, eb;
  if (na != nb || !aperture_shapes(a, na, sa, ax0, ax1, ay0, ay1, ea) ||
      !aperture_shapes(b, nb, sb, bx0, bx1, by0, by1, eb))
    return false;
  // The tolerance of the geometry checks: a ten-thousandth of the size.
  const double tol = ea / 10;
  dx = bx0 - ax0, dy = by0 - ay0;
  if (std::fabs(bx1 - ax1 - dx) > tol || std::fabs(by1 - ay1 - dy) > tol) return false;
  for (int j = 1; j <= nb; ++j) used[j] = false;
  for (int i = 1; i <= na; ++i) {
    const shape m = moved(sa[i], dx, dy);
    int found = 0;
    for (int j = 1; j <= nb && !found; ++j)
      if (!used[j] && same_element(m, sb[j], tol)) found = j;
    if (!found) return false;
    used[found] = true;
  }
  return true;
}

int apertures_overlap(const elm_row* a, int na, const elm_row* b, int nb, double pa, double pb,
                      double alpha, double& tx, double& ty, int& row1, int& row2) {
  static shape sa[elm_capacity + 1], sb[elm_capacity + 1], mb[elm_capacity + 1];
  double ax0, ax1, ay0, ay1, ea, bx0, bx1, by0, by1, eb;
  if (!(pa > 0) || !(pb > 0) || !(std::sin(alpha) > 0)) return 0;
  if (!aperture_shapes(a, na, sa, ax0, ax1, ay0, ay1, ea) ||
      !aperture_shapes(b, nb, sb, bx0, bx1, by0, by1, eb))
    return 0;
  const double eps = std::fmin(ea, eb), tol = eps / 10, cot = 1 / std::tan(alpha);
  // Lattice translations (m pa + k pb cot(alpha), k pb) that bring the box
  // of b onto that of a.
  const double klo = std::floor((ay0 - by1 - tol) / pb), khi = std::ceil((ay1 - by0 + tol) / pb);
  if (khi - klo > 1e4) return 2;
  double count = 0;
  for (double k = klo; k <= khi; ++k)
    count += std::ceil((ax1 - bx0 + tol - k * pb * cot) / pa) -
             std::floor((ax0 - bx1 - tol - k * pb * cot) / pa) + 1;
  if (count > 1e5) return 2;
  for (int k = static_cast<int>(klo); k <= khi; ++k) {
    const double sx = k * pb * cot;
    const int mlo = static_cast<int>(std::floor((ax0 - bx1 - tol - sx) / pa));
    const int mhi = static_cast<int>(std::ceil((ax1 - bx0 + tol - sx) / pa));
    for (int m = mlo; m <= mhi; ++m) {
      const double dx = m * pa + sx, dy = k * pb;
      if (bx0 + dx > ax1 + tol || bx1 + dx < ax0 - tol || by0 + dy > ay1 + tol ||
          by1 + dy < ay0 - tol)
        continue;
      tx = dx, ty = dy;
      for (int j = 1; j <= nb; ++j) mb[j] = moved(sb[j], dx, dy);
      for (int i = 1; i <= na; ++i)
        for (int j = 1; j <= nb; ++j)
          if (meet(sa[i], mb[j], tol, eps, false)) {
            row1 = i, row2 = j;
            return 1;
          }
      // Apart from their lines, one may lie in the other.
      double x, y;
      for (int j = 1; j <= nb; ++j) {
        middle(mb[j], x, y);
        if (inside(sa, na, x, y)) {
          row1 = 0, row2 = j;
          return 3;
        }
      }
      for (int i = 1; i <= na; ++i) {
        middle(sa[i], x, y);
        if (inside(mb, nb, x, y)) {
          row1 = i, row2 = 0;
          return 3;
        }
      }
    }
  }
  return 0;
}
