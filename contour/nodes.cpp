// Node operations on the contour chain (length update, moving, removing and
// re-inserting nodes), the undoing of a segmentation, the relabelling of the
// contour against the enclosure wall, and the enlargement of the enclosure
// where the contour meets its wall at a grazing angle.
#include <cmath>

#include "contour/contour.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

namespace {

bool valid(int i) { return i >= 2 && i <= blok2.n; }

// Same-line elements on both sides of the blok3 node (start node when the
// relative position is 0, end node when it is 1).  False when the position
// is not at a node or the line has fewer than three elements.
bool node_pair(int& i, int& j, bool& start) {
  int iel = blok3.iel;
  if (!valid(iel)) return false;
  double eps = blok2[1][10], f = blok3.f;
  int ip, is;
  elcont(ip, iel, is);
  if (ip == iel || is == iel || ip == is) return false;
  if (f < eps) {
    i = ip;
    j = iel;
    start = true;
  } else if (f > 1 - eps) {
    i = iel;
    j = is;
    start = false;
  } else {
    return false;
  }
  return true;
}

void fail111(const char* routine, int& ier) {
  ier = errors.code = 111;
  errors.message = std::string(routine) + ": cannot restore the unsegmented contour.";
}

// True when an angle equivalent to t (modulo 2 pi) lies in [lo, hi].
bool covers(double lo, double hi, double t) {
  double k = std::ceil((lo - t) / (2 * M_PI));
  return t + 2 * M_PI * k <= hi;
}

}  // namespace

void update(int j, double dxl) {
  double eps = blok2[1][10];
  blok2[j][7] += dxl;
  int k = lsucc(j);
  for (int step = 0; step < blok2.n && valid(k) && k != j && blok2[k][6] >= eps; ++step) {
    blok2[k][6] += dxl;
    blok2[k][7] += dxl;
    k = lsucc(k);
  }
  blok2[1][5] += dxl;
}

void movp(int flag, int& ier) {
  ier = -10;
  int i, j;
  bool start;
  if (!node_pair(i, j, start)) return;
  double eps = blok2[1][10], px = blok3.x, py = blok3.y;
  int li = label(i), lj = label(j);
  // A node on a symmetry plane stays on it.
  if (li == 1100 || lj == 1100) px = 0;
  if (li == 1000 || lj == 1000) py = 0;
  double ix1, iy1, ix2, iy2, jx1, jy1, jx2, jy2;
  eends(i, ix1, iy1, ix2, iy2);
  eends(j, jx1, jy1, jx2, jy2);
  if (std::hypot(px - ix1, py - iy1) < eps || std::hypot(px - jx2, py - jy2) < eps) return;
  double oi = elen(i), oj = elen(j);
  make_straight(i, ix1, iy1, px, py);
  make_straight(j, px, py, jx2, jy2);
  update(i, std::hypot(px - ix1, py - iy1) - oi);
  update(j, std::hypot(jx2 - px, jy2 - py) - oj);
  blok3.s = start ? blok2[j][6] + eps / 10 : blok2[i][7] - eps / 10;
  ier = 0;
}

void remp(int flag, int& ier) {
  ier = -10;
  int i, j;
  bool start;
  if (!node_pair(i, j, start)) return;
  double eps = blok2[1][10];
  int li, i1i, i2i, lj, i1j, i2j;
  labout(i, li, i1i, i2i);
  labout(j, lj, i1j, i2j);
  if (i2i == 9 || i1j == 9) return;
  double oi = elen(i), oj = elen(j), nl;
  double ix1, iy1, ix2, iy2, jx1, jy1, jx2, jy2;
  eends(i, ix1, iy1, ix2, iy2);
  eends(j, jx1, jy1, jx2, jy2);
  if (is_arc(i) && is_arc(j) &&
      std::hypot(blok2[i][1] - blok2[j][1], blok2[i][2] - blok2[j][2]) < eps) {
    blok2[j][3] = blok2[i][3];
    nl = oi + oj;
  } else {
    make_straight(j, ix1, iy1, jx2, jy2);
    nl = std::hypot(jx2 - ix1, jy2 - iy1);
  }
  if (std::fabs(blok2[i][7] - blok2[j][6]) < eps) {
    update(j, nl - oi - oj);
    blok2[j][6] = blok2[i][6];
  } else {
    update(i, -oi);
    update(j, nl - oj);
  }
  int p = lpred(i), q = lsucc(i);
  setsucc(p, q);
  setpred(q, p);
  labin(j, lj, i1i, i2j);
  // Close the gap of row i; links beyond it move down with the rows.
  int n = blok2.n;
  for (int r = i; r < n; ++r) blok2[r] = blok2[r + 1];
  for (int k = 1; k <= 12; ++k) blok2[n][k] = 0;
  for (int r = 2; r < n; ++r) {
    int a = lpred(r), b = lsucc(r);
    blok2[r][8] = put2i(a > i ? a - 1 : a, b > i ? b - 1 : b);
  }
  xye_set_rows(n - 1);
  ier = 0;
}

void insc(int flag, int& ier) {
  ier = -10;
  int i = blok3.iel;
  if (!valid(i) || is_arc(i)) return;
  double eps = blok2[1][10];
  double x1, y1, x2, y2;
  eends(i, x1, y1, x2, y2);
  double cx = x1, cy = y1, f1 = blok3.x, f2 = blok3.y, r = x2, zz = y2;
  circle3(cx, cy, f1, f2, r, zz, 1);
  if (!(r > 0)) return;
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  double lo = std::fmin(f1, f2), hi = std::fmax(f1, f2);
  // The arc must not cross a symmetry plane.
  if (isx && covers(lo, hi, 1.5 * M_PI) && cy - r < -eps) return;
  if (isy && covers(lo, hi, M_PI) && cx - r < -eps) return;
  update(i, std::fabs(f2 - f1) * r - elen(i));
  xye_row& e = blok2[i];
  e[1] = cx;
  e[2] = cy;
  e[3] = f1;
  e[4] = f2;
  e[5] = r;
  ier = 0;
}

void desegm(int& ier) {
  ier = 0;
  int st;
  // 1. Neighbours of replaced arcs get their nodes back.
  for (int i = 2; i <= blok2.n; ++i) {
    xye_row& r = blok2[i];
    if (r[12] != 3.0) continue;
    for (int end = 0; end <= 1; ++end) {
      double d = end ? r[11] : r[10];
      if (d == 0) continue;
      double x1, y1, x2, y2;
      eends(i, x1, y1, x2, y2);
      double l = std::hypot(x2 - x1, y2 - y1);
      if (!(l > 0)) return fail111("DESEGM", ier);
      double cx = (x2 - x1) / l, cy = (y2 - y1) / l;
      blok3.iel = i;
      blok3.f = end;
      blok3.x = end ? x2 - d * cx : x1 + d * cx;
      blok3.y = end ? y2 - d * cy : y1 + d * cy;
      movp(1, st);
      if (st) return fail111("DESEGM", ier);
      (end ? r[11] : r[10]) = 0;
    }
    r[12] = 0;
  }
  // 2. Nodes made by subdivision are removed.
  for (int guard = 0; guard < blok2.cap; ++guard) {
    int k = 0;
    for (int i = 2; i <= blok2.n && k == 0; ++i) {
      int lab, i1, i2;
      labout(i, lab, i1, i2);
      if (i2 == 1) k = i;
    }
    if (k == 0) break;
    blok3.iel = k;
    blok3.f = 1.0;
    remp(1, st);
    if (st) return fail111("DESEGM", ier);
  }
  // 3. Arcs come back through their stored midpoints.
  for (int i = 2; i <= blok2.n; ++i) {
    xye_row& r = blok2[i];
    if (r[12] != 1.0 && r[12] != 2.0) continue;
    blok3.iel = i;
    blok3.x = r[10];
    blok3.y = r[11];
    r[10] = r[11] = r[12] = 0;
    insc(1, st);
    if (st) return fail111("DESEGM", ier);
  }
  blok2[1][1] = -blok2[1][1];
}

void restore() {
  xye_row& h = blok2[1];
  double a = h[6], b = h[7], eps = h[10];
  int isx, isy;
  get2i(h[8], isx, isy);
  if (b != 0) {
    if (isy) a /= 2;
    if (isx) b /= 2;
  }
  int n = blok2.n;
  if (n < 2) return;
  // 1. Outer-line elements on the enclosure wall get label 0, the others 1.
  bool has_wall = false;
  for (int i = 2; i <= n; ++i) {
    int lab, i1, i2;
    labout(i, lab, i1, i2);
    if (lab >= 101) continue;
    const xye_row& r = blok2[i];
    bool wall;
    if (b > 0) {
      auto on = [&](double u, double v, double c) {
        return std::fabs(u - c) < eps && std::fabs(v - c) < eps;
      };
      wall = !is_arc(i) && (on(r[1], r[3], 0) || on(r[1], r[3], a) || on(r[2], r[4], 0) ||
                            on(r[2], r[4], b));
    } else {
      wall = is_arc(i) && std::hypot(r[1], r[2]) < eps && std::fabs(r[5] - a) < eps;
    }
    has_wall = has_wall || wall;
    labin(i, wall ? 0 : 1, i1, i2);
  }
  // 2. Without symmetry the chain must start at the beginning of a line.
  if (!isx && !isy && has_wall) {
    int io = elem_at(eps), icp, dum;
    elcont(icp, io, dum);
    if (label(io) != 0 && label(icp) != 0) {
      int ie = icp, ip = 0;
      for (int step = 0; step < n; ++step) {
        int p;
        elcont(p, ie, dum);
        if (label(p) == 0) {
          ip = p;
          break;
        }
        ie = p;
      }
      if (ip != 0) {
        if (lpred(io) != icp) {
          int first = lsucc(icp), last = lpred(io);
          setsucc(icp, io);
          setpred(io, icp);
          setsucc(ip, first);
          setpred(first, ip);
          setsucc(last, ie);
          setpred(ie, last);
        }
        double run = 0;
        int k = ie;
        for (int step = 0; step < n; ++step) {
          double l = elen(k);
          blok2[k][6] = run;
          run += l;
          blok2[k][7] = run;
          k = lsucc(k);
          if (k == ie || !valid(k)) break;
        }
        h[5] = run;
      }
    }
  }
  // 3. Numbered lines of the outer contour between wall and symmetry elements.
  int start = elem_at(eps), k = start, num = 0;
  bool brk = true;
  for (int step = 0; step < n; ++step) {
    int lab, i1, i2;
    labout(k, lab, i1, i2);
    if (lab >= 101 && lab < 1000) break;
    if (lab == 0 || lab >= 1000) {
      brk = true;
    } else {
      if (brk) ++num;
      brk = false;
      labin(k, num, i1, i2);
    }
    k = lsucc(k);
    if (k == start || !valid(k)) break;
  }
}

void enlarge_bc(int& ier) {
  ier = 0;
  xye_row& h = blok2[1];
  double a = h[6], b = h[7], eps = h[10];
  if (!(b >= eps)) return;  // a circular enclosure has no sides
  int isx, isy;
  get2i(h[8], isx, isy);
  double d = std::fmax(a, b) * 0.5 * static_cast<double>(0.1f);
  double aa = isy ? a / 2 : a, bb = isx ? b / 2 : b;
  bool ex0 = false, exa = false, ey0 = false, eyb = false;
  // Within 30 degrees of a wall.  A side meant at 30 degrees (a regular
  // hexagon's) counts whatever the digits it is written with: 1e-5 rad
  // (0.0006 degree) is allowed, so that the widening does not depend on
  // where the aperture is drawn.
  const double lim = M_PI / 6 + 1e-5;
  // Contacts are judged with the tolerance the contour is relabelled with
  // once the guide is widened (a hundred-thousandth of its size), not with
  // the reader's (a thousandth of the box) that may still be in force: a
  // side that leaves a wall at a grazing angle and ends within the
  // reader's tolerance of it would count as lying on it, keep the wall in
  // place, and after the relabelling be an element a few micrometres from
  // the wall (a near-singular kernel, "ILL-CONDITIONED MATRIX").
  const double tol = std::fmin(eps, std::fmax(a, b) * 0.00001);
  auto one_end = [&](double u, double v, double c) {
    return (std::fabs(u - c) <= tol) != (std::fabs(v - c) <= tol);
  };
  for (int i = 2; i <= blok2.n; ++i) {
    const xye_row& r = blok2[i];
    double ux = r[3] - r[1], uy = r[4] - r[2];
    double tv = std::fabs(std::atan2(ux, uy)), th = std::fabs(std::atan2(uy, ux));
    bool pv = tv <= lim || tv >= M_PI - lim, ph = th <= lim || th >= M_PI - lim;
    if (!isy && pv && one_end(r[1], r[3], 0)) ex0 = true;
    if (pv && one_end(r[1], r[3], aa)) exa = true;
    if (!isx && ph && one_end(r[2], r[4], 0)) ey0 = true;
    if (ph && one_end(r[2], r[4], bb)) eyb = true;
  }
  if (!(ex0 || exa || ey0 || eyb)) return;
  desegm(ier);
  if (ier) return;
  double mx = ex0 ? d : 0, my = ey0 ? d : 0;
  for (int i = 2; i <= blok2.n; ++i) {
    xye_row& r = blok2[i];
    r[1] += mx;
    r[2] += my;
    if (!is_arc(i)) {
      r[3] += mx;
      r[4] += my;
    }
  }
  translations.dx -= mx;
  translations.dy -= my;
  aa += (ex0 ? d : 0) + (exa ? d : 0);
  bb += (ey0 ? d : 0) + (eyb ? d : 0);
  h[6] = isy ? 2 * aa : aa;
  h[7] = isx ? 2 * bb : bb;
  h[10] = std::fmax(h[6], h[7]) * 0.00001;
  restore();
  ier = 1;
  autoseg(ier);
  // The arcs were labelled before they were replaced: a polygon side that
  // lies on a wall the guide kept (the contour was fitted to these same
  // polygons) is a wall element, and its neighbours may be left alone.
  if (ier == 0) {
    restore();
    seglone(ier);
  }
  if (ier == 101) error_handler("Fatal", "WRITE_XYE", "too many elements after segmentation");
}
