// Enclosing guide fitted to the contour, aperture area with the orientation
// check of its lines, and the acceptance check of the segmented contour
// before the modes are computed.
#include <cmath>

#include "contour/contour.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

namespace {

void sym_flags(int& isx, int& isy) { get2i(blok2[1][8], isx, isy); }

// Signed area between an element and the level y0 (chord trapezoid plus the
// circular segment of an arc): the contribution of the element to the area
// of a counter-clockwise line.
double element_area(int i, double y0) {
  double x1, y1, x2, y2;
  eends(i, x1, y1, x2, y2);
  double s = -(x2 - x1) * ((y1 + y2) / 2.0 - y0);
  if (is_arc(i)) {
    double r = blok2[i][5], f1 = blok2[i][3], f2 = blok2[i][4];
    double c = std::hypot(x2 - x1, y2 - y1);
    double h = std::sqrt(std::fabs(r * r - c * c / 4.0));
    double tri = h * c / 2.0, dphi = std::fabs(f1 - f2);
    double seg = dphi * r * r / 2.0 + (dphi >= M_PI ? tri : -tri);
    s += f2 < f1 ? -seg : seg;
  }
  return s;
}

// Walks the chain line by line from the element at s = eps and returns the
// sum per line through `line_done` (line number from 1, sum).
template <class F>
void walk_lines(double y0, F line_done) {
  int n = blok2.n;
  if (n < 2) return;
  int start = elem_at(blok2[1][10]);
  int cur = start, line = 0;
  double sum = 0;
  for (int step = 0; step < n; ++step) {
    sum += element_area(cur, y0);
    int ip, is;
    elcont(ip, cur, is);
    int nx = lsucc(cur);
    bool back = nx == start || nx < 2 || nx > n;
    if (nx != is || back) {
      line_done(++line, sum);
      sum = 0;
    }
    if (back) return;
    cur = nx;
  }
  if (sum != 0) line_done(++line, sum);
}

}  // namespace

void xychange(int& id, double& dx, double& dy) {
  xye_row& h = blok2[1];
  double a = h[6], b = h[7], eps = h[10];
  int isx, isy;
  sym_flags(isx, isy);
  dx = dy = 0;
  double xmin = 1e30, ymin = 1e30, xmax = -1e30, ymax = -1e30, rmax = 0;
  auto point = [&](double x, double y) {
    xmin = std::fmin(xmin, x);
    xmax = std::fmax(xmax, x);
    ymin = std::fmin(ymin, y);
    ymax = std::fmax(ymax, y);
    rmax = std::fmax(rmax, std::hypot(x, y));
  };
  // The outer line alone decides the enclosure; arcs by 21 points.
  const int ndc = 20;
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) >= 101) continue;
    const xye_row& r = blok2[i];
    if (is_arc(i)) {
      for (int j = 0; j <= ndc; ++j) {
        double t = r[3] + (r[4] - r[3]) * j / ndc;
        point(r[1] + r[5] * std::cos(t), r[2] + r[5] * std::sin(t));
      }
    } else {
      point(r[1], r[2]);
      point(r[3], r[4]);
    }
  }
  if (xmin > xmax) {
    id = 0;
    return;
  }
  if (b >= eps) {
    double ah = isy ? a / 2 : a, bh = isx ? b / 2 : b;
    // The contour touches a wall when it comes within eps of it from
    // inside.  One that reaches beyond a wall by more than a rounding is
    // moved, or the guide widened, however little it reaches: the kernels
    // of the guide hold inside it only (the corners of an arc's polygon,
    // which lie outside the arc, reached 3 um past a wall while the
    // tolerance was the reader's, 3.6 um: ILL-CONDITIONED MATRIX).
    const double tiny = 1e-9 * std::fmax(ah, bh);
    if (xmin > eps || xmin < -tiny) dx = xmin;
    if (ymin > eps || ymin < -tiny) dy = ymin;
    if (xmax <= ah + tiny && ah - xmax < eps) xmax = ah;
    if (ymax <= bh + tiny && bh - ymax < eps) ymax = bh;
    if (dx != 0 || dy != 0 || xmax != ah || ymax != bh) {
      id = 1;
      for (int i = 2; i <= blok2.n; ++i) {
        xye_row& r = blok2[i];
        r[1] -= dx;
        r[2] -= dy;
        if (!is_arc(i)) {
          r[3] -= dx;
          r[4] -= dy;
        }
        // The arc midpoints kept for undoing the segmentation move along.
        if (r[12] == 1.0 || r[12] == 2.0) {
          r[10] -= dx;
          r[11] -= dy;
        }
      }
      // A wall x = 0 or y = 0 the contour was not moved to stays.
      a = xmax - dx;
      b = ymax - dy;
      if (isy) a *= 2;
      if (isx) b *= 2;
      h[6] = a;
      h[7] = b;
      h[10] = std::fmax(a, b) * 0.00001;
    } else {
      id = 0;
    }
  } else {
    if (rmax - a > 1e-9 * a || a - rmax >= eps) {
      id = 1;
      h[6] = rmax;
      h[10] = rmax * 0.00001;
    } else {
      id = 0;
    }
  }
}

void fit_enclosure() {
  int id = 1;
  double dx = 0, dy = 0;
  xychange(id, dx, dy);
  restore();
  translations.dx += dx;
  translations.dy += dy;
}

void dsurf(double& area, int& ist) {
  ist = 0;
  area = 0;
  walk_lines(0.0, [&](int line, double sum) {
    if ((line == 1 && !(sum > 0)) || (line > 1 && !(sum < 0))) ist = 1000;
    area += sum;
  });
  int isx, isy;
  sym_flags(isx, isy);
  if (isx) area *= 2;
  if (isy) area *= 2;
}

void surf() {
  // The area about the circuit level is computed for its listing only.
  double total = 0;
  walk_lines(blok2[1][2], [&](int, double sum) { total += sum; });
  (void)total;
  dat.name = run_files.ftmp[1];
}

void xycheck(int iopmod) {
  const xye_row& h = blok2[1];
  double eps = h[10];
  dat.a = h[6];
  dat.b = h[7];
  if (dat.symy != 0 && h[7] > eps) dat.a = h[6] / 2;
  if (dat.symx != 0 && h[7] > eps) dat.b = h[7] / 2;
  dat.status = 0;
  int irr = 0, isr = 0, narc = 0;
  bool tuttook = true;
  int n = blok2.n;
  if (iopmod >= 0) {
    for (int i = 2; i <= n; ++i) {
      int lab = label(i);
      if (lab != 0 && blok2[i][5] > eps) ++narc;
      double s = blok2[i][6], x, y, tx, ty;
      int iel = i;
      xlaxy(s, iel, x, y, tx, ty);
      bool out;
      if (dat.b < eps)
        out = x * x + y * y > dat.a * dat.a + eps || (y < -eps && dat.symx != 0) ||
              (x < -eps && dat.symy != 0);
      else
        out = x < -eps || x > dat.a + eps || y < -eps || y > dat.b + eps;
      if (out) irr = 1;
      if (lab >= 1 && lab <= 100) {
        int ip, is;
        elcont(ip, i, is);
        int lp = label(ip), ls = label(is);
        if ((lp == 0 || lp >= 1000) && (ls == 0 || ls >= 1000)) isr = 1;
      }
    }
  }
  if (narc || isr || irr) tuttook = false;
  if (irr) console_line("there are some points outside the basic contour.");
  dat.status = 999;
  surf();
  dat.status = 0;
  double area;
  dsurf(area, dat.status);
  if (dat.status != 0) tuttook = false;
  dat.fmax = h[1];
  // The longest element off the wall against the quarter wavelength at the
  // largest frequency, by the segmentation's own length rule (a contour
  // that has not been segmented, frequency still negative, is not judged).
  double lmax = eps;
  for (int i = 2; i <= n; ++i) {
    int lab = label(i);
    if (lab != 0 && lab < 1000) lmax = std::fmax(lmax, elen(i));
  }
  if (dat.fmax > 0 && too_long(lmax, quarter_wave(dat.fmax))) tuttook = false;
  if (tuttook) {
    dat.status = 0;
    dat.a = h[6];
    dat.b = h[7];
  } else {
    dat.status = 2000;
  }
}
