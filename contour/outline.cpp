#include "contour/outline.hpp"

#include <algorithm>
#include <cmath>

namespace {

const double two_pi = 6.283185307179586;

// Signed area swept from the origin along the piece, (x dy - y dx) / 2.
double swept_area(const outline_piece& p) {
  if (!p.arc) return (p.x1 * p.y2 - p.x2 * p.y1) / 2;
  const double t2 = p.t1 + p.dt;
  return (p.r * p.r * p.dt + p.r * p.cx * (std::sin(t2) - std::sin(p.t1)) -
          p.r * p.cy * (std::cos(t2) - std::cos(p.t1))) / 2;
}

double piece_length(const outline_piece& p) {
  return p.arc ? p.r * std::fabs(p.dt) : std::hypot(p.x2 - p.x1, p.y2 - p.y1);
}

// Angle of b from a, counter-clockwise, in [0, 2 pi).
double ccw(double a, double b) {
  double d = std::fmod(b - a, two_pi);
  return d < 0 ? d + two_pi : d;
}

}  // namespace

bool outline_element(const elm_row& e, int row, outline_piece& p) {
  p = {e.x1, e.y1, e.x2, e.y2, false, 0, 0, 0, 0, 0, row};
  if (!(e.x3 < straight_marker)) return true;
  p.arc = true;
  const double size = std::max({std::fabs(e.x1 - e.x3), std::fabs(e.y1 - e.y3), std::fabs(e.x2 - e.x3),
                                std::fabs(e.y2 - e.y3), std::fabs(e.x1 - e.x2), std::fabs(e.y1 - e.y2)});
  if (std::hypot(e.x2 - e.x1, e.y2 - e.y1) <= 1e-9 * size) {
    // A full circle: the third point lies opposite the start.
    p.cx = (e.x1 + e.x3) / 2;
    p.cy = (e.y1 + e.y3) / 2;
    p.r = std::hypot(e.x1 - e.x3, e.y1 - e.y3) / 2;
    p.t1 = std::atan2(e.y1 - p.cy, e.x1 - p.cx);
    p.dt = two_pi;
    p.x2 = p.x1, p.y2 = p.y1;
    return p.r > 0;
  }
  // The circle through the three points.
  const double ax = e.x1, ay = e.y1, bx = e.x3, by = e.y3, qx = e.x2, qy = e.y2;
  const double d = 2 * (ax * (by - qy) + bx * (qy - ay) + qx * (ay - by));
  if (!(std::fabs(d) > 1e-12 * size * size)) return false;
  const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, q2 = qx * qx + qy * qy;
  p.cx = (a2 * (by - qy) + b2 * (qy - ay) + q2 * (ay - by)) / d;
  p.cy = (a2 * (qx - bx) + b2 * (ax - qx) + q2 * (bx - ax)) / d;
  p.r = std::hypot(ax - p.cx, ay - p.cy);
  p.t1 = std::atan2(ay - p.cy, ax - p.cx);
  const double t2 = std::atan2(qy - p.cy, qx - p.cx), t3 = std::atan2(by - p.cy, bx - p.cx);
  // Counter-clockwise when the third point lies on the way there.
  const double to_end = ccw(p.t1, t2);
  p.dt = ccw(p.t1, t3) < to_end ? to_end : to_end - two_pi;
  return true;
}

outline_piece reversed(const outline_piece& p) {
  outline_piece q = p;
  std::swap(q.x1, q.x2);
  std::swap(q.y1, q.y2);
  if (p.arc) {
    q.t1 = p.t1 + p.dt;
    q.dt = -p.dt;
  }
  return q;
}

bool outline_lines(const elm_row* el, int n, std::vector<outline_line>& lines) {
  lines.clear();
  std::vector<outline_piece> pieces(n + 1);
  double size = 0;
  for (int i = 1; i <= n; ++i) {
    if (!outline_element(el[i], i, pieces[i])) return false;
    size = std::max({size, std::fabs(el[i].x1), std::fabs(el[i].y1), std::fabs(el[i].x2),
                     std::fabs(el[i].y2)});
  }
  const double tol = 1e-6 * std::max(size, 1e-300);
  auto meets = [&](double x, double y, double u, double v) { return std::hypot(x - u, y - v) <= tol; };
  std::vector<bool> used(n + 1, false);
  for (int first = 1; first <= n; ++first) {
    if (used[first]) continue;
    outline_line line;
    used[first] = true;
    line.pieces.push_back(pieces[first]);
    // Follow the line from the end of the last piece until it is back at
    // its start.
    while (!meets(line.pieces.back().x2, line.pieces.back().y2, pieces[first].x1, pieces[first].y1)) {
      const outline_piece& last = line.pieces.back();
      int next = 0;
      bool back = false;
      for (int i = 1; i <= n && next == 0; ++i) {
        if (used[i]) continue;
        if (meets(pieces[i].x1, pieces[i].y1, last.x2, last.y2)) next = i;
        else if (meets(pieces[i].x2, pieces[i].y2, last.x2, last.y2)) next = i, back = true;
      }
      if (next == 0) return false;
      used[next] = true;
      line.pieces.push_back(back ? reversed(pieces[next]) : pieces[next]);
    }
    for (const outline_piece& p : line.pieces) {
      line.area += swept_area(p);
      line.length += piece_length(p);
    }
    lines.push_back(line);
  }
  return true;
}

bool outline_measures(const elm_row* el, int n, double& area, double& perimeter, int& inner_lines) {
  std::vector<outline_line> lines;
  area = perimeter = 0;
  inner_lines = 0;
  if (n < 1 || !outline_lines(el, n, lines)) return false;
  double outer = 0;
  for (const outline_line& l : lines) {
    outer = std::max(outer, std::fabs(l.area));
    area += std::fabs(l.area);
    perimeter += l.length;
  }
  // The outer line holds the others, each of which bounds an inner conductor.
  area = 2 * outer - area;
  inner_lines = static_cast<int>(lines.size()) - 1;
  return true;
}
