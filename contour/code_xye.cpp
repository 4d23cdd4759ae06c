// Coding of the boundary elements into the contour chain: full circles split
// in two halves, closed lines chained and labelled, the outer line turned
// counter-clockwise and the inner lines clockwise, symmetry-plane elements
// marked, arcs converted to centre/angles/radius and arc-length coordinates
// laid along one circular chain that starts with the outer line.
#include <cmath>
#include <string>
#include <utility>

#include "contour/contour.hpp"
#include "records/run.hpp"

namespace {

void fail(int code, const char* msg, int& ier) {
  ier = code;
  errors.code = code;
  errors.message = msg;
}

double ab_size() { return std::fmax(blok2[1][6], blok2[1][7]); }

// Before the arcs are converted, slot 5 holds the third point x: the
// 1000000.0 marker (at or beyond ten box sizes) means a straight element.
bool raw_arc(int i) { return std::fabs(blok2[i][5]) < 10.0 * ab_size(); }

void swap_ends(int i) {
  std::swap(blok2[i][1], blok2[i][3]);
  std::swap(blok2[i][2], blok2[i][4]);
}

// Symmetry-plane row a symmetric outer line is walked from: the y = 0 row
// with the greatest end x, or, for the plane x = 0 alone, the x = 0 row
// found by lowering a bound on the start y to each accepted row's end y.
int symmetry_start(int isx, int isy) {
  int n = blok2.n, r = 0;
  if (isx) {
    double xm = 0;
    for (int i = 2; i <= n; ++i)
      if (label(i) == 1000 && blok2[i][3] > xm) {
        xm = blok2[i][3];
        r = i;
      }
  } else if (isy) {
    double bound = 4.0 * ab_size();
    for (int i = 2; i <= n; ++i)
      if (label(i) == 1100 && blok2[i][2] < bound) {
        bound = blok2[i][4];
        r = i;
      }
  }
  return r;
}

}  // namespace

void closlin(int is, int lab, int& ier) {
  double eps = blok2[1][10];
  int n = blok2.n;
  ier = 0;
  auto joint = [&](int i) {
    return std::fabs(blok2[i][1] - blok2[i][3]) < eps &&
           std::fabs(blok2[i][2] - blok2[i][4]) < eps;
  };
  int cur = is;
  for (int step = 0; step < n; ++step) {
    // An element whose ends coincide has no direction to follow.
    if (joint(cur)) {
      xye_fault.row1 = xye_origin[cur];
      break;
    }
    double xe = blok2[cur][3], ye = blok2[cur][4];
    int m = 0;
    bool rev = false;
    for (int j = 2; j <= n; ++j) {
      if (j == cur) continue;
      if (std::fabs(blok2[j][3] - xe) < eps && std::fabs(blok2[j][4] - ye) < eps) {
        m = j;
        rev = true;
      } else if (std::fabs(blok2[j][1] - xe) < eps &&
                 std::fabs(blok2[j][2] - ye) < eps) {
        m = j;
        rev = false;
      }
    }
    // The start row may only be met forwards: backwards it is a second
    // element through the same joint.
    if (m == 0 || lpred(m) != 0 || (m == is && rev)) {
      xye_fault.row1 = xye_origin[cur];
      xye_fault.row2 = m != 0 && m != is ? xye_origin[m] : 0;
      break;
    }
    if (rev) swap_ends(m);
    labin(m, lab, 0, 0);
    setpred(m, cur);
    setsucc(cur, m);
    if (m == is) return;
    cur = m;
  }
  fail(2, "CLOSLIN: cannot close line", ier);
}

void linarea(int lab, double& area, int& ier) {
  ier = 0;
  area = 0;
  int n = blok2.n, i0 = 0;
  for (int i = 2; i <= n && i0 == 0; ++i)
    if (label(i) == lab) i0 = i;
  if (i0 == 0) {
    fail(3, "LINAREA: internal error in coding XYE.", ier);
    return;
  }
  int i = i0;
  for (int step = 0; step < n; ++step) {
    const xye_row& r = blok2[i];
    double x1 = r[1], y1 = r[2], x2 = r[3], y2 = r[4];
    area += -(x2 - x1) * (y1 + y2) / 2.0;
    if (raw_arc(i)) {
      double cx = x1, cy = y1, f1 = r[5], f2 = r[6], rad = x2, zz = y2;
      circle3(cx, cy, f1, f2, rad, zz, 1);
      if (rad > 0) {
        double c = std::hypot(x2 - x1, y2 - y1);
        double h = std::sqrt(std::fabs(rad * rad - c * c / 4.0));
        double tri = h * c / 2.0;
        double dphi = std::fabs(f1 - f2);
        double seg = dphi * rad * rad / 2.0 + (dphi >= M_PI ? tri : -tri);
        area += f2 < f1 ? -seg : seg;
      }
    }
    i = lsucc(i);
    if (i == i0 || i < 2 || i > n) break;
  }
  if (blok2[1][8] != 0) {
    int isx, isy;
    get2i(blok2[1][8], isx, isy);
    if (isx) area *= 2.0;
    if (isy) area *= 2.0;
  }
}

void chlab(int& lastlab) {
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  int n = blok2.n;
  int r0 = symmetry_start(isx, isy);
  if (r0 == 0) return;
  // Every run of outer-line elements between symmetry-plane elements
  // becomes a line of its own.
  bool inrun = false;
  int i = lsucc(r0);
  for (int step = 0; step < n && i != r0 && i >= 2 && i <= n; ++step) {
    int lab, i1, i2;
    labout(i, lab, i1, i2);
    if (lab >= 1000) {
      inrun = false;
    } else {
      if (!inrun) ++lastlab;
      inrun = true;
      labin(i, lastlab, i1, i2);
    }
    i = lsucc(i);
  }
  // Nodes where a line meets a symmetry plane.
  for (int k = 2; k <= n; ++k) {
    if (label(k) < 1000) continue;
    int p = lpred(k), s = lsucc(k), lab, i1, i2;
    if (p >= 2 && p <= n && label(p) < 1000) {
      labout(p, lab, i1, i2);
      labin(p, lab, i1, 9);
    }
    if (s >= 2 && s <= n && label(s) < 1000) {
      labout(s, lab, i1, i2);
      labin(s, lab, 9, i2);
    }
  }
}

void code_xye(const int* ports, int& ier) {
  ier = 0;
  double ab = ab_size(), eps = blok2[1][10];
  int isx, isy;
  get2i(blok2[1][8], isx, isy);

  // 1. Full circles become two half circles.
  for (;;) {
    int ic = 0;
    for (int i = 2; i <= blok2.n && ic == 0; ++i)
      if (std::fabs(blok2[i][1] - blok2[i][3]) < eps &&
          std::fabs(blok2[i][2] - blok2[i][4]) < eps && raw_arc(i))
        ic = i;
    if (ic == 0) break;
    xye_row& r = blok2[ic];
    double x1 = r[1], y1 = r[2], x3 = r[5], y3 = r[6];
    // A circle of no diameter closes on itself.
    if (std::hypot(x3 - x1, y3 - y1) < eps) {
      xye_fault.row1 = xye_origin[ic];
      fail(2, "CLOSLIN: cannot close line", ier);
      return;
    }
    if (blok2.n >= blok2.cap) {
      fail(1, "CODE_XYE: insufficient dimensioning of the array XYE", ier);
      return;
    }
    double xc = (x1 + x3) / 2, yc = (y1 + y3) / 2, dx = x1 - xc, dy = y1 - yc;
    r[3] = x3;
    r[4] = y3;
    r[5] = xc - dy;
    r[6] = yc + dx;
    int m = blok2.n + 1;
    for (int k = 1; k <= 12; ++k) blok2[m][k] = 0;
    blok2[m][1] = x3;
    blok2[m][2] = y3;
    blok2[m][3] = x1;
    blok2[m][4] = y1;
    blok2[m][5] = xc + dy;
    blok2[m][6] = yc - dx;
    xye_origin[m] = xye_origin[ic];
    xye_set_rows(m);
  }
  int n = blok2.n;
  if (n < 2) {
    fail(2, "CLOSLIN: cannot close line", ier);
    return;
  }

  // 2. Closed lines, labelled 1, 2, ... in the order found.
  int nlines = 0;
  for (;;) {
    int i0 = 0;
    for (int i = 2; i <= n && i0 == 0; ++i)
      if (blok2[i][8] == 0) i0 = i;
    if (i0 == 0) break;
    closlin(i0, ++nlines, ier);
    if (ier) return;
  }

  // 3. The line of largest area is the outer line: counter-clockwise, label
  // 0; the others are inner lines 101, 102, ...: clockwise.
  static double area[xye_bound + 1];
  int outer = 1;
  for (int l = 1; l <= nlines; ++l) {
    linarea(l, area[l], ier);
    if (ier) return;
    if (std::fabs(area[l]) > std::fabs(area[outer])) outer = l;
    // A line of no area bounds no aperture (its sides run back on themselves).
    if (!(std::fabs(area[l]) > eps * eps)) {
      for (int i = 2; i <= n && xye_fault.row1 == 0; ++i)
        if (label(i) == l) xye_fault.row1 = xye_origin[i];
      fail(8, "CODE_XYE: a closed line encloses no area", ier);
      return;
    }
  }
  static int newlab[xye_bound + 1];
  static bool flip[xye_bound + 1];
  int lab = 100;
  for (int l = 1; l <= nlines; ++l) {
    newlab[l] = l == outer ? 0 : ++lab;
    flip[l] = l == outer ? area[l] < 0 : area[l] > 0;
  }
  for (int i = 2; i <= n; ++i) {
    int l = label(i);
    labin(i, newlab[l], 0, 0);
    if (flip[l]) {
      swap_ends(i);
      blok2[i][8] = put2i(lsucc(i), lpred(i));
    }
  }

  // 4. Elements on the symmetry planes y = 0 and x = 0.
  for (int i = 2; i <= n; ++i) {
    const xye_row& r = blok2[i];
    bool straight = std::fabs(r[5]) >= 10 * ab && std::fabs(r[6]) >= 10 * ab;
    if (!straight) continue;
    if (isx && std::fabs(r[2]) < eps && std::fabs(r[4]) < eps) labin(i, 1000, 0, 0);
    if (isy && std::fabs(r[1]) < eps && std::fabs(r[3]) < eps) labin(i, 1100, 0, 0);
  }
  if (isx || isy) {
    int lastlab = 0;
    chlab(lastlab);
  }

  // 5. Arcs: centre, start and end angle, radius.
  for (int i = 2; i <= n; ++i) {
    xye_row& r = blok2[i];
    if (std::fabs(r[5]) >= 10 * ab) {
      r[5] = 0;
      r[6] = 0;
    } else {
      double x1 = r[1], y1 = r[2], x2 = r[5], y2 = r[6], x3 = r[3], y3 = r[4];
      circle3(x1, y1, x2, y2, x3, y3, 1);
      r[1] = x1;
      r[2] = y1;
      r[3] = x2;
      r[4] = y2;
      r[5] = x3;
      r[6] = 0;
    }
  }

  // 6. First element of the chain.
  int i0 = 0;
  if (isx || isy) {
    int r0 = symmetry_start(isx, isy);
    if (r0) i0 = lsucc(r0);
  } else {
    for (int i = 2; i <= n && i0 == 0; ++i)
      if (label(i) == 0) i0 = i;
  }
  for (int i = 2; i <= n && i0 == 0; ++i)
    if (label(i) < 101) i0 = i;
  if (i0 == 0) i0 = 2;

  // 7. Arc-length coordinates; the lines are joined into one chain.
  static bool walked[xye_bound + 1];
  for (int i = 2; i <= n; ++i) walked[i] = false;
  double run = 0;
  int first = i0, last = 0;
  for (;;) {
    int i = first;
    for (int step = 0; step < n && !walked[i]; ++step) {
      walked[i] = true;
      blok2[i][6] = run;
      run += geom_len(i);
      blok2[i][7] = run;
      last = i;
      i = lsucc(i);
      if (i < 2 || i > n) break;
    }
    int next = 0;
    for (int k = 2; k <= n && next == 0; ++k)
      if (!walked[k]) next = k;
    if (next == 0) break;
    setsucc(last, next);
    setpred(next, last);
    first = next;
  }
  setsucc(last, i0);
  setpred(i0, last);
  blok2[1][5] = run;

  // 8. Labels against the enclosure wall, enclosure fitted to the contour.
  restore();
  fit_enclosure();
}
