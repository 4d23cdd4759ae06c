#include "contour/quarter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "contour/contour.hpp"
#include "contour/outline.hpp"
#include "records/contour.hpp"

namespace {

const double two_pi = 6.283185307179586;

struct point {
  double x, y;
};

point at(const outline_piece& p, double t) {
  if (!p.arc) return {p.x1 + t * (p.x2 - p.x1), p.y1 + t * (p.y2 - p.y1)};
  const double a = p.t1 + t * p.dt;
  return {p.cx + p.r * std::cos(a), p.cy + p.r * std::sin(a)};
}

// Parameter (0 .. 1 inside) of the angle a along an arc.
double arc_parameter(const outline_piece& p, double a) {
  double d = std::fmod((p.dt > 0 ? a - p.t1 : p.t1 - a), two_pi);
  if (d < 0) d += two_pi;
  return d / std::fabs(p.dt);
}

double distance(const outline_piece& p, point q) {
  const point a = at(p, 0), b = at(p, 1);
  const double ends = std::min(std::hypot(q.x - a.x, q.y - a.y), std::hypot(q.x - b.x, q.y - b.y));
  if (p.arc) {
    const double t = arc_parameter(p, std::atan2(q.y - p.cy, q.x - p.cx));
    return t <= 1 ? std::fabs(std::hypot(q.x - p.cx, q.y - p.cy) - p.r) : ends;
  }
  const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
  const double t = l2 > 0 ? std::clamp(((q.x - a.x) * dx + (q.y - a.y) * dy) / l2, 0.0, 1.0) : 0;
  return std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy);
}

// Parameters strictly inside the piece where it crosses x = 0 (axis 0) or
// y = 0 (axis 1).
std::vector<double> crossings(const outline_piece& p, int axis, double tol) {
  std::vector<double> t;
  const double c = axis == 0 ? p.cx : p.cy;
  if (!p.arc) {
    const double u1 = axis == 0 ? p.x1 : p.y1, u2 = axis == 0 ? p.x2 : p.y2;
    if ((u1 < -tol && u2 > tol) || (u1 > tol && u2 < -tol)) t.push_back(u1 / (u1 - u2));
    return t;
  }
  const double v = -c / p.r;
  if (!(std::fabs(v) < 1)) return t;
  const double a0 = axis == 0 ? std::acos(v) : std::asin(v);
  for (double a : {a0, axis == 0 ? -a0 : M_PI - a0}) {
    const double s = arc_parameter(p, a);
    if (s > 1e-12 && s < 1 - 1e-12) t.push_back(s);
  }
  return t;
}

// The shortest text that reads back as x, at most `digits` significant.
std::string number(double x, int digits) {
  if (x == 0) return "0";
  char buf[40];
  for (int d = 1; d <= digits; ++d) {
    std::snprintf(buf, sizeof buf, "%.*g", d, x);
    if (std::strtod(buf, nullptr) == x) break;
  }
  return buf;
}

// A boundary line of the values given, within the file's 80 characters
// (fewer digits when the shortest exact texts are too long).
std::string boundary_line(const std::vector<double>& v, const char* tail) {
  for (int digits : {17, 15, 13, 11, 9}) {
    std::string s;
    for (double x : v) s += (s.empty() ? "" : " ") + number(x, digits);
    s += tail;
    if (s.size() <= 80) return s;
  }
  return "";
}

struct cut_piece {
  outline_piece p;  // the whole piece
  double ta, tb;    // the part of it
  point a, b;       // its ends, on the axes exactly where cut there
};

}  // namespace

namespace {

// A line cut where it crosses the axes: its parts in x > 0, y > 0 in order
// round the line, false when a part lies along an axis.
bool cut_line(const std::vector<outline_piece>& pieces, double tol, std::vector<cut_piece>& parts,
              std::vector<bool>& inside) {
  for (const outline_piece& p : pieces) {
    std::vector<std::pair<double, int>> cuts = {{0.0, -1}, {1.0, -1}};
    for (int axis : {0, 1})
      for (double t : crossings(p, axis, tol)) cuts.push_back({t, axis});
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
      cut_piece c{p, cuts[k].first, cuts[k + 1].first, at(p, cuts[k].first), at(p, cuts[k + 1].first)};
      if (cuts[k].second >= 0) (cuts[k].second == 0 ? c.a.x : c.a.y) = 0;
      if (cuts[k + 1].second >= 0) (cuts[k + 1].second == 0 ? c.b.x : c.b.y) = 0;
      const point m = at(p, (c.ta + c.tb) / 2);
      if (std::fabs(m.x) <= tol || std::fabs(m.y) <= tol) return false;  // along an axis
      parts.push_back(c);
      inside.push_back(m.x > 0 && m.y > 0);
    }
  }
  return true;
}

// Where a line lies: 0 outside the quarter, 1 wholly inside it, 2 crossing
// it once from one half axis to the other (the run of parts in `run`, its
// ends put on the axes, which must lie away from the centre), -1 otherwise.
int quarter_run(const std::vector<outline_piece>& pieces, double tol, std::vector<cut_piece>& run) {
  std::vector<cut_piece> parts;
  std::vector<bool> inside;
  if (!cut_line(pieces, tol, parts, inside)) return -1;
  const std::size_t np = parts.size();
  const std::size_t in = static_cast<std::size_t>(std::count(inside.begin(), inside.end(), true));
  if (in == 0) return 0;
  if (in == np) return 1;
  std::size_t start = np, entries = 0;
  for (std::size_t k = 0; k < np; ++k)
    if (inside[k] && !inside[(k + np - 1) % np]) start = k, ++entries;
  if (entries != 1) return -1;
  run.clear();
  for (std::size_t k = start; inside[k % np]; ++k) run.push_back(parts[k % np]);
  for (point* e : {&run.front().a, &run.back().b}) {
    if (std::fabs(e->x) <= tol) e->x = 0;
    if (std::fabs(e->y) <= tol) e->y = 0;
  }
  const point a = run.front().a, b = run.back().b;
  const bool a_on_x = a.y == 0 && a.x > tol, a_on_y = a.x == 0 && a.y > tol;
  const bool b_on_x = b.y == 0 && b.x > tol, b_on_y = b.x == 0 && b.y > tol;
  return (a_on_x && b_on_y) || (a_on_y && b_on_x) ? 2 : -1;
}

std::vector<cut_piece> reversed_run(const std::vector<cut_piece>& run) {
  std::vector<cut_piece> r(run.rbegin(), run.rend());
  for (cut_piece& c : r) std::swap(c.ta, c.tb), std::swap(c.a, c.b);
  return r;
}

bool add_run(const std::vector<cut_piece>& run, std::vector<std::string>& lines) {
  for (const cut_piece& c : run) {
    std::vector<double> v = {c.a.x, c.a.y, c.b.x, c.b.y};
    if (c.p.arc) {
      const point m = at(c.p, (c.ta + c.tb) / 2);
      v.push_back(m.x), v.push_back(m.y);
    }
    lines.push_back(boundary_line(v, ""));
    if (lines.back().empty()) return false;
  }
  return true;
}

}  // namespace

bool quarter_of_outline(const elm_row* el, int n, mirror_quarter& q) {
  std::vector<outline_line> lines;
  if (n < 2 || !outline_lines(el, n, lines)) return false;
  // The centre of the box of the element ends: the mirrors' centre when
  // the outline has them.
  double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
  std::size_t outer = 0;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (std::fabs(lines[l].area) > std::fabs(lines[outer].area)) outer = l;
    for (const outline_piece& p : lines[l].pieces) {
      if (p.arc && std::fabs(p.dt) > two_pi - 1e-9) return false;  // a circle: its own enclosure
      xmin = std::min({xmin, p.x1, p.x2}), xmax = std::max({xmax, p.x1, p.x2});
      ymin = std::min({ymin, p.y1, p.y2}), ymax = std::max({ymax, p.y1, p.y2});
    }
  }
  const double size = std::max(xmax - xmin, ymax - ymin), tol = 1e-9 * size;
  if (!(size > 0)) return false;
  bool own_box = true;
  for (const outline_piece& p : lines[outer].pieces) {
    const bool on_box = !p.arc && ((std::fabs(p.x1 - p.x2) <= tol && (std::fabs(p.x1 - xmin) <= tol ||
                                                                       std::fabs(p.x1 - xmax) <= tol)) ||
                                   (std::fabs(p.y1 - p.y2) <= tol && (std::fabs(p.y1 - ymin) <= tol ||
                                                                       std::fabs(p.y1 - ymax) <= tol)));
    own_box = own_box && on_box;
  }
  if (own_box && lines.size() == 1) return false;
  q.area = 2 * std::fabs(lines[outer].area);
  for (const outline_line& l : lines) q.area -= std::fabs(l.area);
  // Both mirror images of points along every piece lie on the outline,
  // about the centre of the element ends' box or, when the arcs are split
  // unlike on the two sides, of the outline's own box (arcs' extremes in).
  double ax0 = xmin, ax1 = xmax, ay0 = ymin, ay1 = ymax;
  for (const outline_line& l : lines)
    for (const outline_piece& p : l.pieces)
      for (int k = 0; p.arc && k < 4; ++k)
        if (arc_parameter(p, k * two_pi / 4) <= 1) {
          const point e = at(p, arc_parameter(p, k * two_pi / 4));
          ax0 = std::min(ax0, e.x), ax1 = std::max(ax1, e.x), ay0 = std::min(ay0, e.y), ay1 = std::max(ay1, e.y);
        }
  std::vector<outline_piece> all;
  bool symmetric = false;
  for (const point c : {point{(xmin + xmax) / 2, (ymin + ymax) / 2}, point{(ax0 + ax1) / 2, (ay0 + ay1) / 2}}) {
    all.clear();
    for (const outline_line& l : lines)
      for (outline_piece p : l.pieces) {
        p.x1 -= c.x, p.x2 -= c.x, p.y1 -= c.y, p.y2 -= c.y;
        if (p.arc) p.cx -= c.x, p.cy -= c.y;
        all.push_back(p);
      }
    auto on_outline = [&](point r) {
      for (const outline_piece& p : all)
        if (distance(p, r) <= tol) return true;
      return false;
    };
    symmetric = true;
    for (std::size_t k = 0; k < all.size() && symmetric; ++k)
      for (double t : {0.0, 0.25, 0.5, 0.75}) {
        const point r = at(all[k], t);
        symmetric = symmetric && on_outline({-r.x, r.y}) && on_outline({r.x, -r.y});
      }
    if (symmetric) {
      q.cx = c.x, q.cy = c.y;
      break;
    }
  }
  if (!symmetric) return false;
  std::size_t next = 0;
  for (outline_line& l : lines)
    for (outline_piece& p : l.pieces) p = all[next++];

  // The outer line crosses the quarter from one half axis to the other; an
  // inner line may too, once (an inner conductor round the centre).  Inner
  // lines off the axes are not taken: the solver's TEM modes of a conductor
  // inside a quarter, in the odd symmetry classes, did not give the
  // impedances of the whole line's normal modes (not traced).
  std::vector<cut_piece> outer_run, inner_run;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    std::vector<cut_piece> run;
    const int where = quarter_run(lines[l].pieces, tol, run);
    if (where != 2 || (l != outer && !inner_run.empty())) return false;
    (l == outer ? outer_run : inner_run) = run;
  }
  // A side lying within a few thousandths of the size along an axis would be
  // taken by the coder for a piece of the symmetry plane.
  const double near_axis = 2e-3 * size;
  for (const std::vector<cut_piece>* run : {&outer_run, &inner_run})
    for (const cut_piece& c : *run)
      if (!c.p.arc && ((std::fabs(c.a.x) <= near_axis && std::fabs(c.b.x) <= near_axis) ||
                       (std::fabs(c.a.y) <= near_axis && std::fabs(c.b.y) <= near_axis)))
        return false;
  const point a = outer_run.front().a, b = outer_run.back().b;
  q.lines.clear();
  q.inner_run.clear();
  if (!add_run(outer_run, q.lines)) return false;
  if (inner_run.empty()) {
    q.lines.push_back(boundary_line({b.x, b.y, 0, 0}, " p"));
    q.lines.push_back(boundary_line({0, 0, a.x, a.y}, " p"));
  } else {
    // Back from the outer run's end axis to its start axis, nearer the
    // centre on both.
    const bool b_on_y = b.x == 0;
    if ((inner_run.front().a.x == 0) != b_on_y) inner_run = reversed_run(inner_run);
    const point c = inner_run.front().a, d = inner_run.back().b;
    if (!(std::hypot(c.x, c.y) < std::hypot(b.x, b.y) && std::hypot(d.x, d.y) < std::hypot(a.x, a.y)))
      return false;
    q.lines.push_back(boundary_line({b.x, b.y, c.x, c.y}, " p"));
    const int first = static_cast<int>(q.lines.size()) + 1;
    if (!add_run(inner_run, q.lines)) return false;
    for (int k = first; k <= static_cast<int>(q.lines.size()); ++k) q.inner_run.push_back(k);
    q.lines.push_back(boundary_line({d.x, d.y, a.x, a.y}, " p"));
  }
  for (const std::string& s : q.lines)
    if (s.empty()) return false;
  return true;
}

void label_inner_conductor_run() {
  const int n = blok2.n;
  const double eps = blok2[1][10];
  // The inner end of the port on y = 0 (the quarter's origin is the centre).
  double px = 1e300;
  for (int i = 2; i <= n; ++i) {
    if (label(i) != 1000) continue;
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    px = std::min({px, std::fabs(x1), std::fabs(x2)});
  }
  int run = 0;
  for (int i = 2; i <= n && run == 0; ++i) {
    if (label(i) >= 1000) continue;
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    if (std::hypot(x1 - px, y1) <= eps || std::hypot(x2 - px, y2) <= eps) run = label(i);
  }
  if (run == 0 || run > 100) return;
  for (int i = 2; i <= n; ++i) {
    int lab, i1, i2;
    labout(i, lab, i1, i2);
    if (lab == run) labin(i, 101, i1, i2);
  }
}
