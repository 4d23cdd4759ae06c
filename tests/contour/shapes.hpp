// Aperture shapes for the contour tests and independent geometry used to
// judge the coded contour: distance of a point to the shape as written in
// the boundary file, chain consistency, areas of the lines.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "contour/contour.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "support/contour_table.hpp"
#include "support/tmpdir.hpp"

namespace shapes {

// One boundary element as written in a file: a segment (arc = false) or an
// arc from p1 to p2 through p3 (a full circle when p1 == p2).
struct el {
  double x1, y1, x2, y2, x3 = 0, y3 = 0;
  bool arc = false;
  bool port = false;
};

inline el seg(double x1, double y1, double x2, double y2, bool port = false) {
  return {x1, y1, x2, y2, 0, 0, false, port};
}
inline el arc(double x1, double y1, double x2, double y2, double x3, double y3) {
  return {x1, y1, x2, y2, x3, y3, true, false};
}
// Full circle of centre (xc, yc) and radius r, started at angle t.
inline el circle(double xc, double yc, double r, double t = 0) {
  double x = xc + r * std::cos(t), y = yc + r * std::sin(t);
  return arc(x, y, x, y, 2 * xc - x, 2 * yc - y);
}

inline std::string text(const std::vector<el>& v) {
  // Records are 80 characters: ten digits keep six numbers within them.
  std::ostringstream o;
  o.precision(10);
  for (const el& e : v) {
    o << e.x1 << ' ' << e.y1 << ' ' << e.x2 << ' ' << e.y2;
    if (e.arc) o << ' ' << e.x3 << ' ' << e.y3;
    if (e.port) o << " port";
    o << '\n';
  }
  return o.str();
}

// Polygon through the given vertices (closed).
inline std::vector<el> polygon(const std::vector<std::pair<double, double>>& p) {
  std::vector<el> v;
  for (size_t i = 0; i < p.size(); ++i) {
    auto a = p[i], b = p[(i + 1) % p.size()];
    v.push_back(seg(a.first, a.second, b.first, b.second));
  }
  return v;
}

// Rectangle [x0, x0 + w] x [y0, y0 + h] with corner radius r.
inline std::vector<el> rounded(double x0, double y0, double w, double h, double r) {
  double c = r * (1 - std::sqrt(0.5));
  return {seg(x0 + r, y0, x0 + w - r, y0),
          arc(x0 + w - r, y0, x0 + w, y0 + r, x0 + w - c, y0 + c),
          seg(x0 + w, y0 + r, x0 + w, y0 + h - r),
          arc(x0 + w, y0 + h - r, x0 + w - r, y0 + h, x0 + w - c, y0 + h - c),
          seg(x0 + w - r, y0 + h, x0 + r, y0 + h),
          arc(x0 + r, y0 + h, x0, y0 + h - r, x0 + c, y0 + h - c),
          seg(x0, y0 + h - r, x0, y0 + r),
          arc(x0, y0 + r, x0 + r, y0, x0 + c, y0 + c)};
}

inline std::vector<el> lshape(double x0 = 0, double y0 = 0) {
  return polygon({{x0, y0}, {x0 + 10, y0}, {x0 + 10, y0 + 4}, {x0 + 4, y0 + 4},
                  {x0 + 4, y0 + 10}, {x0, y0 + 10}});
}

// Plus sign of arm width 4 and span 12, centred at (6, 6) + offset.
inline std::vector<el> cross(double x0 = 0, double y0 = 0) {
  return polygon({{x0 + 4, y0}, {x0 + 8, y0}, {x0 + 8, y0 + 4}, {x0 + 12, y0 + 4},
                  {x0 + 12, y0 + 8}, {x0 + 8, y0 + 8}, {x0 + 8, y0 + 12},
                  {x0 + 4, y0 + 12}, {x0 + 4, y0 + 8}, {x0, y0 + 8}, {x0, y0 + 4},
                  {x0 + 4, y0 + 4}});
}

// Distance of (x, y) to one element of a file.
inline double dist(const el& e, double x, double y) {
  if (!e.arc) {
    double dx = e.x2 - e.x1, dy = e.y2 - e.y1, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((x - e.x1) * dx + (y - e.y1) * dy) / l2 : 0;
    t = std::fmax(0, std::fmin(1, t));
    return std::hypot(x - e.x1 - t * dx, y - e.y1 - t * dy);
  }
  bool full = e.x1 == e.x2 && e.y1 == e.y2;
  double xc, yc;
  if (full) {
    xc = (e.x1 + e.x3) / 2;
    yc = (e.y1 + e.y3) / 2;
  } else {
    // Centre: intersection of the perpendicular bisectors of p1p3 and p3p2.
    double ax = e.x3 - e.x1, ay = e.y3 - e.y1, bx = e.x2 - e.x3, by = e.y2 - e.y3;
    double mx1 = (e.x1 + e.x3) / 2, my1 = (e.y1 + e.y3) / 2;
    double mx2 = (e.x3 + e.x2) / 2, my2 = (e.y3 + e.y2) / 2;
    double det = ax * by - ay * bx;
    double t = ((mx2 - mx1) * bx + (my2 - my1) * by) / det;
    xc = mx1 - t * ay;
    yc = my1 + t * ax;
  }
  double r = std::hypot(e.x1 - xc, e.y1 - yc);
  double d = std::fabs(std::hypot(x - xc, y - yc) - r);
  if (full) return d;
  // On the arc: same side of the chord as the third point.
  double cx = e.x2 - e.x1, cy = e.y2 - e.y1;
  double s3 = cx * (e.y3 - e.y1) - cy * (e.x3 - e.x1);
  double sp = cx * (y - e.y1) - cy * (x - e.x1);
  if (s3 * sp >= 0) return d;
  return std::fmin(std::hypot(x - e.x1, y - e.y1), std::hypot(x - e.x2, y - e.y2));
}

inline double dist(const std::vector<el>& v, double x, double y) {
  double d = 1e300;
  for (const el& e : v) d = std::fmin(d, dist(e, x, y));
  return d;
}

// Contour coordinates back to the coordinates of the file.
inline void to_file(double x, double y, double& xf, double& yf) {
  xf = x + translations.dx;
  yf = y + translations.dy;
  if (translations.mirx) xf = -xf;
  if (translations.miry) yf = -yf;
}

// The solver records the check reads: no symmetry, millimetres and GHz.
inline void set_unit_records() {
  dat.symx = dat.symy = 0;
  freq.lscale = 0.001;
  freq.fmult = 1e9;
}

// Writes the boundary file "ap.apb" and reads it; returns errors.code.
inline int load(const std::string& body, double fmax = 10e9) {
  contour_capacities();
  scratch_dir::write_file("ap.apb", body);
  std::string name = "ap";
  apb2dat(name, fmax);
  return errors.code;
}

// Fills the table with the file elements the way the reader does and codes
// it without segmenting: the coded contour itself.
inline int code_only(const std::vector<el>& v, int isx = 0, int isy = 0) {
  double xmin = 1e30, xmax = -1e30, ymin = 1e30, ymax = -1e30;
  for (const el& e : v) {
    xmin = std::fmin(xmin, e.x1);
    xmax = std::fmax(xmax, e.x2);
    ymin = std::fmin(ymin, e.y1);
    ymax = std::fmax(ymax, e.y2);
  }
  if (xmax == xmin && ymax == ymin)
    for (const el& e : v)
      if (e.arc) {
        xmin = std::fmin(xmin, e.x3);
        xmax = std::fmax(xmax, e.x3);
        ymin = std::fmin(ymin, e.y3);
        ymax = std::fmax(ymax, e.y3);
      }
  double a = xmax - xmin, b = ymax - ymin;
  if (a == 0) a = b;
  if (b == 0) b = a;
  start_xye_table(a, b, isx, isy, a / 1000);
  int n = 1;
  for (const el& e : v)
    put_xye_element(++n, e.x1, e.y1, e.x2, e.y2, e.arc ? e.x3 : straight_marker,
                    e.arc ? e.y3 : straight_marker);
  return code_xye_table(n);
}

// Walks the chain from the element at s = 0 and checks that it is one
// closed loop through every row, with mutual links and continuous
// arc-length coordinates from 0 to L.
inline void expect_chain() {
  int n = blok2.n;
  ASSERT_GE(n, 3);
  double L = blok2[1][5];
  int start = 0;
  for (int i = 2; i <= n; ++i)
    if (blok2[i][6] == 0) start = i;
  ASSERT_NE(start, 0) << "no element starts at s = 0";
  std::vector<int> seen(n + 1, 0);
  int i = start;
  double s = 0, len = 0;
  for (int k = 0; k < n - 1; ++k) {
    ASSERT_TRUE(i >= 2 && i <= n) << "link out of the table";
    ASSERT_EQ(seen[i], 0) << "row " << i << " met twice";
    seen[i] = 1;
    EXPECT_NEAR(blok2[i][6], s, 1e-9 * (1 + L));
    EXPECT_NEAR(elen(i), geom_len(i), 1e-9 * (1 + L)) << "row " << i;
    s = blok2[i][7];
    len += geom_len(i);
    int nx = lsucc(i);
    ASSERT_TRUE(nx >= 2 && nx <= n);
    EXPECT_EQ(lpred(nx), i) << "links not mutual at row " << i;
    i = nx;
  }
  EXPECT_EQ(i, start) << "chain does not close";
  EXPECT_NEAR(s, L, 1e-9 * (1 + L));
  EXPECT_NEAR(len, L, 1e-9 * (1 + L));
  // Consecutive elements of a line meet.
  for (int r = 2; r <= n; ++r) {
    int ip, is;
    elcont(ip, r, is);
    double ax1, ay1, ax2, ay2, bx1, by1, bx2, by2;
    eends(r, ax1, ay1, ax2, ay2);
    eends(is, bx1, by1, bx2, by2);
    EXPECT_NEAR(ax2, bx1, 1e-7 * (1 + L)) << "gap after row " << r;
    EXPECT_NEAR(ay2, by1, 1e-7 * (1 + L)) << "gap after row " << r;
  }
}

// Signed area of the lines with a given label range, summed from dense
// points of the elements (shoelace formula): independent of the segment
// formulas of the code.
inline double shoelace(int lab_lo, int lab_hi) {
  double a = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    int lab = label(i);
    if (lab < lab_lo || lab > lab_hi) continue;
    const int m = 400;
    double px = 0, py = 0;
    for (int k = 0; k <= m; ++k) {
      double s = blok2[i][6] + elen(i) * k / m, x, y, tx, ty;
      if (k == m) s -= 1e-12;
      int iel = i;
      xlaxy(s, iel, x, y, tx, ty);
      if (k > 0) a += (px * y - x * py) / 2;
      px = x;
      py = y;
    }
  }
  return a;
}

}  // namespace shapes
