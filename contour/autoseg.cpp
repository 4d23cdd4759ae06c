// Automatic segmentation of the coded contour into straight boundary
// elements no longer than a quarter wavelength in the filling at the largest
// frequency: arcs inside the enclosure are replaced by area-keeping polygons
// or by chords of a bounded deviation, elements next to re-entrant corners
// are refined, long and lone elements are subdivided.  Every change keeps
// the undo information that desegm needs.
#include <algorithm>
#include <cmath>

#include "contour/contour.hpp"
#include "records/run.hpp"

namespace {

// Copy of the table taken before an arc is replaced, put back when the
// replacement fails.
blok2_rec xye_backup;

double sgn(double x) { return x < 0 ? -1.0 : 1.0; }
double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

bool eligible(int i) {
  int lab = label(i);
  return lab != 0 && lab < 1000;
}

bool lone(int i) {
  int ip, is;
  elcont(ip, i, is);
  int lp = label(ip), ls = label(is);
  return (lp == 0 || lp >= 1000) && (ls == 0 || ls >= 1000);
}

// Puts the point at arc-length s into blok3 with its element and the
// relative position on that element.
void point_at(double s) {
  int iel = blok3.iel;
  xlaxy(s, iel, blok3.x, blok3.y, blok3.tx, blok3.ty);
  blok3.iel = iel;
  blok3.s = s;
  double l = elen(iel);
  blok3.f = l > 0 ? (s - blok2[iel][6]) / l : 0.0;
}

void split_at(int i, double s, int& ier) {
  blok3.iel = i;
  point_at(s);
  segmel(1, ier);
}

}  // namespace

// Rounding allowance of the length rule, relative to the quarter wavelength.
constexpr double length_allowance = 0.001;

double quarter_wave(double fmax) {
  const xye_row& h = blok2[1];
  int code = xye_unit_code();
  double unit = std::pow(10.0, -code);
  double fun = code <= 1 ? 1000000.0 : 1000000000.0;
  // The element margin: elements a margin shorter than the limit's quarter
  // wavelength (a factor of 1 leaves the arithmetic as it was).
  return 75000000.0 / (fmax * element_margin.factor) / std::sqrt(h[9]) / unit / fun;
}

bool too_long(double len, double lq) { return len - length_allowance * lq > lq; }

int length_pieces(double len, double lq) {
  double q = (len - length_allowance * lq) / lq;
  if (!(q > 0)) return 1;
  if (!(q < blok2.cap)) return blok2.cap;
  return static_cast<int>(q) + 1;
}

void autoseg(int& ier) {
  xye_row& h = blok2[1];
  double fmax = std::fabs(h[1]), dcn = h[9], eps = h[10];
  if (ier != 0) {
    if (!(fmax >= eps)) {
      ier = errors.code = 102;
      errors.message = "AUTOSEG: no fmax specified.";
      return;
    }
    if (!(dcn >= 1)) {
      ier = errors.code = 103;
      errors.message = "AUTOSEG: no diel const. specified.";
      return;
    }
  }
  double lmax = quarter_wave(fmax);
  double coff = h[4];
  double epsl = lmax * coff;
  if (coff == 0 || epsl < lmax / 10) epsl = -1;
  double ab = h[7] == 0 ? 2 * h[6] : std::fmax(h[6], h[7]);
  double dcmax = ab / 400.0;
  h[1] = fmax;
  segcont(lmax, dcmax, epsl, ier);
}

void segcont(double lmax, double dcmax, double epsl, int& ier) {
  double eps = blok2[1][10];
  int n0 = blok2.n;
  auto failed = [&]() {
    ier = errors.code = 101;
    errors.message = "SEGCONT: too many elements after segmentation.";
  };
  // Pieces needed for a length xl with pieces of at most xlm; counts that
  // cannot fit the table are refused before the integer conversion.
  auto pieces = [&](double xl, double xlm, int& m) {
    double q = xl / xlm;
    if (!(q < blok2.cap)) return false;
    m = static_cast<int>(q) + 1;
    return true;
  };

  // 1. Area-keeping polygons for the arcs inside the enclosure.
  for (int i = 2; i <= n0; ++i) {
    if (!eligible(i) || !(blok2[i][5] >= eps)) continue;
    int n;
    if (!pieces(1.05 * elen(i), lmax, n)) continue;
    n = std::max(n, lone(i) ? 2 : 1);
    int st = 0;
    for (int tries = 0; tries <= 20; ++tries, ++n) {
      blok3.iel = i;
      approx(n, st);
      if (st != -17) break;
    }
  }
  // 2. Arcs left: pieces whose chord keeps within dcmax of the arc.
  for (int i = 2; i <= n0; ++i) {
    if (!eligible(i) || !(blok2[i][5] >= eps)) continue;
    xye_row& r = blok2[i];
    double rad = r[5], xl = elen(i) - eps;
    // The chords also keep within a thousandth of the arc's own radius: a
    // bound set by the enclosure alone shrinks a small circle (an inner
    // conductor) into a coarse inscribed polygon, which shifts its cutoffs
    // and impedance by as much as its chords sag.
    double dc = std::fmin(dcmax, rad / 1000);
    double c = std::fmin(std::fmax(1.0 - dc / rad, -1.0), 1.0);
    double xlm = std::fmin(2.0 * rad * std::acos(c), lmax);
    int n;
    if (!pieces(xl, xlm, n)) return failed();
    n = std::max(n, 2);
    double tm = (r[3] + r[4]) / 2;
    r[10] = r[1] + rad * std::cos(tm);
    r[11] = r[2] + rad * std::sin(tm);
    r[12] = 1.0;
    blok3.iel = i;
    int st;
    divi(n, st);
    if (st) return failed();
  }
  // 3. Chords.
  for (int i = 2; i <= blok2.n; ++i) {
    if (!eligible(i) || !(blok2[i][5] >= eps)) continue;
    blok3.iel = i;
    int st;
    remc(st);
  }
  // 4. Re-entrant corners.
  if (epsl > 0) {
    int st;
    segspig(epsl, st);
    if (st) return failed();
  }
  // 5. Quarter-wavelength limit, wall elements included: the rule the
  // check before the modes applies.
  int n5 = blok2.n;
  for (int i = 2; i <= n5; ++i) {
    if (label(i) >= 1000) continue;
    if (too_long(elen(i), lmax)) {
      int n = length_pieces(elen(i), lmax);
      if (n >= blok2.cap) return failed();
      blok3.iel = i;
      int st;
      divi(n, st);
      if (st) return failed();
    }
  }
  // 6. A lone element is cut in two.
  seglone(ier);
}

void seglone(int& ier) {
  // A line of one element between wall or symmetry elements would need a
  // basis function that begins and ends an open chain at once: cut it in two.
  ier = 0;
  int n6 = blok2.n;
  for (int i = 2; i <= n6; ++i) {
    if (!eligible(i) || !lone(i)) continue;
    blok3.iel = i;
    int st;
    divi(2, st);
    if (st) {
      ier = errors.code = 101;
      errors.message = "SEGCONT: too many elements after segmentation.";
      return;
    }
  }
}

void approx(int n, int& ier) {
  int i = blok3.iel;
  double eps = blok2[1][10];
  double xc = blok2[i][1], yc = blok2[i][2], f1 = blok2[i][3], f2 = blok2[i][4];
  double r0 = blok2[i][5], phi = f2 - f1;
  ier = -10;
  if (r0 <= eps || n < 1) return;
  double area0;
  int ist;
  dsurf(area0, ist);
  int ip, is;
  elcont(ip, i, is);
  if (ip == i || is == i || is_arc(ip) || is_arc(is)) return;

  double x0 = xc + r0 * std::cos((f1 + f2) / 2), y0 = yc + r0 * std::sin((f1 + f2) / 2);
  double px1, py1, px2, py2, sx1, sy1, sx2, sy2;
  eends(ip, px1, py1, px2, py2);
  eends(is, sx1, sy1, sx2, sy2);
  double lep = std::hypot(px2 - px1, py2 - py1), les = std::hypot(sx2 - sx1, sy2 - sy1);
  if (!(lep > 0) || !(les > 0)) return;
  double ux = px2 - xc, uy = py2 - yc, d1x = px2 - px1, d1y = py2 - py1;
  double a1 = cross(ux, uy, d1x, d1y) / (lep * lep), b1 = (ux * d1x + uy * d1y) / (lep * lep);
  double r01 = r0 / lep;
  double vx = sx1 - xc, vy = sy1 - yc, d2x = sx1 - sx2, d2y = sy1 - sy2;
  double a2 = cross(vx, vy, d2x, d2y) / (les * les), b2 = (vx * d2x + vy * d2y) / (les * les);
  double r02 = r0 / les;

  double si1 = std::fabs(b1 / r01) <= 0.0001 ? sgn(phi) * sgn(a1) : sgn(b1);
  double si2 = std::fabs(b2 / r02) <= 0.0001 ? (phi * a2 >= 0 ? -1.0 : 1.0) : sgn(b2);

  // Farthest moves of the two neighbours: up to the crossing of their lines.
  double D = d2y * d1x - d1y * d2x, d1m = 9e20, d2m = 9e20;
  if (std::fabs(D) > eps) {
    double wx = sx1 - px2, wy = sy1 - py2;
    d1m = cross(wx, wy, d2x, d2y) / D;
    d2m = cross(wx, wy, d1x, d1y) / D;
    if (!(d1m > 0) || !(d2m > 0)) d1m = d2m = 9e20;
  }

  // Radius factor rr of the polygon that, with the extended neighbours,
  // encloses the area of the arc: bracketing, then regula falsi.
  double rr = 1.0, dr = 0.1, rp = 0, fp = 0, rn = 0, fn = 0;
  bool hp = false, hn = false, ok = false;
  double del1 = 0, del2 = 0, be1 = 0, be2 = 0, aphi = std::fabs(phi);
  for (int trial = 1; trial < 100; ++trial) {
    del1 = si1 * std::sqrt((rr * rr - 1) * r01 * r01 + b1 * b1) - b1;
    del2 = si2 * std::sqrt((rr * rr - 1) * r02 * r02 + b2 * b2) - b2;
    if (!((del1 <= d1m || del2 <= d2m) && del1 > -1 && del2 > -1)) {
      dr = (rr - 1.0) / 2;
      rr = 1.0 + dr;
      continue;
    }
    be1 = std::atan(a1 * del1 / (b1 * del1 + r01 * r01));
    be2 = -std::atan(a2 * del2 / (b2 * del2 + r02 * r02));
    if (phi < 0) {
      be1 = -be1;
      be2 = -be2;
    }
    double f = (n * std::sin((aphi - be1 - be2) / n) * rr + std::sin(be1) + std::sin(be2)) * rr - aphi;
    if (std::fabs(f) <= 0.0001) {
      ok = true;
      break;
    }
    if (f > 0) {
      rp = rr;
      fp = f;
      hp = true;
    } else {
      rn = rr;
      fn = f;
      hn = true;
    }
    if (!(hp && hn)) rr += dr;
    else if (fp != fn) rr = rn - (rp - rn) * fn / (fp - fn);
    else rr = (rn + rp) / 2;
    if (!std::isfinite(rr)) break;
  }
  if (!ok) {
    ier = -17;
    return;
  }
  double r = r0 * rr;
  double g1 = f1 + be1, g2 = f2 - be2, gphi = g2 - g1;
  if ((n == 1 && std::fabs(gphi) > 1.6) || (n > 1 && std::fabs(gphi / n) > 1.14)) {
    ier = -17;
    return;
  }

  xye_backup = blok2;
  auto give_up = [&]() {
    blok2 = xye_backup;
    ier = -10;
  };
  blok3.iel = i;
  int st;
  divi(n, st);
  if (st) return give_up();
  blok2[ip][11] = del1 * lep;
  blok2[ip][12] = 3.0;
  static int piece[xye_bound + 1];
  piece[1] = i;
  for (int k = 2; k <= n; ++k) piece[k] = lsucc(piece[k - 1]);
  for (int k = 1; k <= n; ++k) {
    blok2[piece[k]][10] = x0;
    blok2[piece[k]][11] = y0;
    blok2[piece[k]][12] = 2.0;
  }
  blok2[is][10] = del2 * les;
  blok2[is][12] = 3.0;

  // Nodes of the polygon: the extended neighbours and the n - 1 corners.
  auto move = [&](int iel, double f, double x, double y) {
    blok3.iel = iel;
    blok3.f = f;
    blok3.x = x;
    blok3.y = y;
    movp(1, st);
    return st == 0;
  };
  if (!move(ip, 1.0, px2 + del1 * d1x, py2 + del1 * d1y)) return give_up();
  for (int k = 1; k <= n - 1; ++k) {
    double t = g1 + k * gphi / n;
    if (!move(piece[k], 1.0, xc + r * std::cos(t), yc + r * std::sin(t))) return give_up();
  }
  if (!move(is, 0.0, sx1 + del2 * d2x, sy1 + del2 * d2y)) return give_up();
  double area;
  dsurf(area, ist);
  if (!(std::fabs(1.0 - area / area0) <= 0.001)) return give_up();
  ier = 0;
}

void divi(int n, int& ier) {
  int m = std::abs(n);
  ier = 0;
  if (m <= 1) return;
  int i = blok3.iel;
  double eps = blok2[1][10];
  double start = blok2[i][6], piece = elen(i) / m;
  if (blok2.n + m - 1 > blok2.cap || !(piece > eps)) {
    ier = -10;
    return;
  }
  for (int k = 1; k <= m - 1; ++k) {
    blok3.iel = i;
    point_at(start + k * piece);
    int st;
    segmel(n < 0 ? 0 : m, st);
    if (st) {
      ier = errors.code = 111;
      errors.message = "DIVI: cannot split the contour element.";
      return;
    }
  }
}

void segmel(int flag, int& ier) {
  int i = blok3.iel, m = blok2.n + 1;
  double eps = blok2[1][10], f = blok3.f;
  ier = -10;
  if (m > blok2.cap || i < 2 || i > blok2.n) return;
  // The split point must lie more than eps (a length) from either end: the
  // relative position is compared with eps over the element length, so that
  // a corner node at epsl from the end of a long element is still made.
  double rel = eps / std::fmax(elen(i), eps);
  if (f < rel || f > 1 - rel) return;
  xye_row& o = blok2[i];
  xye_row& r = blok2[m];
  r = o;
  if (o[5] > 0) {
    double t = o[3] + (o[4] - o[3]) * f;
    o[4] = t;
    r[3] = t;
  } else {
    o[3] = blok3.x;
    o[4] = blok3.y;
    r[1] = blok3.x;
    r[2] = blok3.y;
  }
  double s = o[6] + (o[7] - o[6]) * f;
  o[7] = s;
  r[6] = s;
  int q = lsucc(i);
  setsucc(i, m);
  r[8] = put2i(i, q);
  setpred(q, m);
  int lab, i1, i2;
  labout(i, lab, i1, i2);
  int code = flag > 0 ? 1 : 0;
  labin(i, lab, i1, code);
  labin(m, lab, code, i2);
  xye_set_rows(m);
  if (o[12] == 3.0) {
    o[11] = 0;
    r[10] = 0;
    if (o[10] == 0) o[12] = 0;
    if (r[11] == 0) r[12] = 0;
  }
  ier = 0;
}

void remc(int& ier) {
  int i = blok3.iel;
  ier = -10;
  if (!is_arc(i)) return;
  int ip, is;
  elcont(ip, i, is);
  if (ip == i || (ip == is && !is_arc(ip))) return;
  double x1, y1, x2, y2;
  eends(i, x1, y1, x2, y2);
  update(i, std::hypot(x2 - x1, y2 - y1) - elen(i));
  make_straight(i, x1, y1, x2, y2);
  ier = 0;
}

void segspig(double epsl, int& ier) {
  double eps = blok2[1][10];
  int n0 = blok2.n;
  ier = 0;
  // Turn angle at P2 between P1 -> P2 and P2 -> P3 (negative: right turn).
  auto turn = [](double x1, double y1, double x2, double y2, double x3, double y3) {
    double ax = x2 - x1, ay = y2 - y1, bx = x3 - x2, by = y3 - y2;
    return std::atan2(cross(ax, ay, bx, by), ax * bx + ay * by);
  };
  for (int i = 2; i <= n0; ++i) {
    if (!eligible(i)) continue;
    double xl = elen(i);
    if (!(xl > epsl + eps)) continue;
    int ip, is;
    elcont(ip, i, is);
    double ex1, ey1, ex2, ey2, a1, b1, a2, b2;
    eends(i, ex1, ey1, ex2, ey2);
    bool first = false, second = false;
    int lp = label(ip), ls = label(is);
    if (lp != 0) {
      eends(ip, a1, b1, a2, b2);
      if (lp == 1000) a1 = ex2, b1 = -ey2;
      if (lp == 1100) a1 = -ex2, b1 = ey2;
      first = turn(a1, b1, ex1, ey1, ex2, ey2) < -1.05;
    }
    if (ls != 0) {
      eends(is, a1, b1, a2, b2);
      if (ls == 1000) a2 = ex1, b2 = -ey1;
      if (ls == 1100) a2 = -ex1, b2 = ey1;
      second = turn(ex1, ey1, ex2, ey2, a2, b2) < -1.05;
    }
    if (!first && !second) continue;
    double s0 = blok2[i][6], s1 = blok2[i][7];
    int st = 0;
    if (xl > 2 * epsl) {
      if (xl > 3 * epsl || !(first && second)) {
        if (second) split_at(i, s1 - epsl, st);
        if (st == 0 && first) split_at(i, s0 + epsl, st);
      } else {
        split_at(i, s0 + 0.6666 * xl, st);
        if (st == 0) split_at(i, s0 + 0.3333 * xl, st);
      }
    } else {
      split_at(i, s0 + 0.5 * xl, st);
    }
    if (st) {
      ier = st;
      return;
    }
  }
}
