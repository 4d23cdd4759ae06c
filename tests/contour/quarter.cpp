// The quarter of an aperture symmetric under both mirrors: the part in
// x >= cx, y >= cy closed by the two half axes as ports, a quarter of the
// area, and the outlines that have none.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "contour/outline.hpp"
#include "contour/quarter.hpp"

namespace {

std::vector<elm_row> elements(const std::string& text) {
  std::vector<elm_row> el(1);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    elm_row e;
    bool port = false;
    EXPECT_EQ(apb_parse_line(line, e, port), "") << line;
    el.push_back(e);
  }
  return el;
}

bool quarter(const std::string& text, mirror_quarter& q) {
  std::vector<elm_row> el = elements(text);
  return quarter_of_outline(el.data(), static_cast<int>(el.size()) - 1, q);
}

// Area of the quarter's closed line (ports as sides), and its count of ports.
double quarter_area(const mirror_quarter& q, int& ports) {
  std::vector<elm_row> el(1);
  ports = 0;
  for (const std::string& line : q.lines) {
    EXPECT_LE(line.size(), 80u) << line;
    elm_row e;
    bool port = false;
    EXPECT_EQ(apb_parse_line(line, e, port), "") << line;
    ports += port;
    el.push_back(e);
  }
  double area = 0, perimeter = 0;
  int inner = 0;
  EXPECT_TRUE(outline_measures(el.data(), static_cast<int>(el.size()) - 1, area, perimeter, inner));
  EXPECT_EQ(inner, 0);
  return area;
}

std::string cross_at(double x, double y) {
  const double p[12][2] = {{-4, -1}, {-1, -1}, {-1, -4}, {1, -4}, {1, -1}, {4, -1},
                           {4, 1},   {1, 1},   {1, 4},   {-1, 4}, {-1, 1}, {-4, 1}};
  std::ostringstream s;
  for (int k = 0; k < 12; ++k)
    s << p[k][0] + x << ' ' << p[k][1] + y << ' ' << p[(k + 1) % 12][0] + x << ' ' << p[(k + 1) % 12][1] + y
      << '\n';
  return s.str();
}

const std::string stadium = "-3 -1.5 3 -1.5\n3 -1.5 3 1.5 4.5 0\n3 1.5 -3 1.5\n-3 1.5 -3 -1.5 -4.5 0\n";

}  // namespace

// The cross: from the end of its right arm round to the top arm, then the
// two half axes back through the centre, wherever the cross is drawn.
TEST(Quarter, CrossFromAxisToAxisClosedByTheTwoPorts) {
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, std::pair{3.25, -2.5}}) {
    mirror_quarter q;
    ASSERT_TRUE(quarter(cross_at(x, y), q));
    EXPECT_EQ(q.cx, x);
    EXPECT_EQ(q.cy, y);
    EXPECT_DOUBLE_EQ(q.area, 28);
    const std::vector<std::string> want = {"4 0 4 1", "4 1 1 1", "1 1 1 4", "1 4 0 4", "0 4 0 0 p", "0 0 4 0 p"};
    EXPECT_EQ(q.lines, want);
  }
}

// The square ring: its outer line to the top axis, down the port to the
// inner conductor, along the conductor back to the right axis, along the
// port out again; the conductor's quarter is marked.  Drawn in either
// sense, the inner line is walked against the outer one.
TEST(Quarter, InnerConductorBetweenThePorts) {
  const std::string outer = "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n";
  const std::string inner_ccw = "-1.5 -1.5 1.5 -1.5\n1.5 -1.5 1.5 1.5\n1.5 1.5 -1.5 1.5\n-1.5 1.5 -1.5 -1.5\n";
  const std::string inner_cw = "-1.5 -1.5 -1.5 1.5\n-1.5 1.5 1.5 1.5\n1.5 1.5 1.5 -1.5\n1.5 -1.5 -1.5 -1.5\n";
  for (const std::string* inner : {&inner_ccw, &inner_cw}) {
    mirror_quarter q;
    ASSERT_TRUE(quarter(outer + *inner, q));
    const std::vector<std::string> want = {"4 0 4 4",       "4 4 0 4",       "0 4 0 1.5 p",
                                           "0 1.5 1.5 1.5", "1.5 1.5 1.5 0", "1.5 0 4 0 p"};
    EXPECT_EQ(q.lines, want);
    EXPECT_EQ(q.inner_run, (std::vector<int>{4, 5}));
    EXPECT_DOUBLE_EQ(q.area, 55);
  }
}

// Arcs cut where they cross an axis (the stadium's ends), sides cut at
// the axes (the cross's arm ends), and whole pieces: the quarter's closed
// line holds a quarter of the area.
TEST(Quarter, AQuarterOfTheArea) {
  // An octagon drawn from its vertices and a rounded cross (its arm ends
  // half circles, crossed by the axes in their middle).
  const std::string octagon = "2 -1 2 1\n2 1 1 2\n1 2 -1 2\n-1 2 -2 1\n-2 1 -2 -1\n-2 -1 -1 -2\n-1 -2 1 -2\n1 -2 2 -1\n";
  const std::string rounded =
      "-3 -1 -1 -1\n-1 -1 -1 -3\n-1 -3 1 -3 0 -4\n1 -3 1 -1\n1 -1 3 -1\n3 -1 3 1 4 0\n"
      "3 1 1 1\n1 1 1 3\n1 3 -1 3 0 4\n-1 3 -1 1\n-1 1 -3 1\n-3 1 -3 -1 -4 0\n";
  const double pi = 3.141592653589793;
  struct shape {
    const std::string* text;
    double area;
  };
  // The stadium with its right end drawn as two arcs (split at -30 degrees):
  // the element ends' box is then not the outline's.
  const std::string split =
      "-3 -1.5 3 -1.5\n3 -1.5 4.299038105676658 -0.75 3.75 -1.299038105676658\n"
      "4.299038105676658 -0.75 3 1.5 4.5 0\n3 1.5 -3 1.5\n-3 1.5 -3 -1.5 -4.5 0\n";
  for (const shape& s : {shape{&stadium, 18 + 2.25 * pi}, {&octagon, 14}, {&rounded, 20 + 2 * pi},
                         {&split, 18 + 2.25 * pi}}) {
    mirror_quarter q;
    ASSERT_TRUE(quarter(*s.text, q)) << *s.text;
    EXPECT_NEAR(q.area, s.area, 1e-12 * s.area);
    EXPECT_NEAR(q.cx, 0, 1e-12);
    EXPECT_NEAR(q.cy, 0, 1e-12);
    int ports = 0;
    EXPECT_NEAR(quarter_area(q, ports), s.area / 4, 1e-9 * s.area) << *s.text;
    EXPECT_EQ(ports, 2);
  }
}

// Outlines without a quarter: a mirror missing or broken by a millionth,
// inner lines off the axes or besides one round the centre, an outline
// equal to its box (a rectangle: its enclosure's modes are its own), a
// circle, a side within 2e-3 of the size along an axis (the coder would
// make it part of the symmetry plane).
TEST(Quarter, OutlinesWithoutAQuarter) {
  const std::vector<std::string> none = {
      "-4 -2 4 -2\n4 -2 2 2\n2 2 -2 2\n-2 2 -4 -2\n",                      // trapezoid: x only
      "-3 -3 3 -3\n3 -3 3 0\n3 0 0 0\n0 0 0 3\n0 3 -3 3\n-3 3 -3 -3\n",  // L-shape
      "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n1.5 1.5 2.5 1.5\n2.5 1.5 2.5 2.5\n"
      "2.5 2.5 1.5 2.5\n1.5 2.5 1.5 1.5\n-1.5 1.5 -2.5 1.5\n-2.5 1.5 -2.5 2.5\n"
      "-2.5 2.5 -1.5 2.5\n-1.5 2.5 -1.5 1.5\n1.5 -1.5 2.5 -1.5\n2.5 -1.5 2.5 -2.5\n"
      "2.5 -2.5 1.5 -2.5\n1.5 -2.5 1.5 -1.5\n-1.5 -1.5 -2.5 -1.5\n-2.5 -1.5 -2.5 -2.5\n"
      "-2.5 -2.5 -1.5 -2.5\n-1.5 -2.5 -1.5 -1.5\n",                      // four patches off the axes
      "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n-1 -3 1 -3\n1 -3 1 3\n1 3 -1 3\n-1 3 -1 -3\n"
      "-3 -1 -2 -1\n-2 -1 -2 1\n-2 1 -3 1\n-3 1 -3 -1\n3 -1 2 -1\n2 -1 2 1\n2 1 3 1\n3 1 3 -1\n",
                                                                          // three inner lines
      "-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n",                     // slot
      "3 0 3 0 -3 0\n",                                                   // circle
      "-4 -0.008 -1 -0.008\n-1 -0.008 -1 -4\n-1 -4 1 -4\n1 -4 1 -0.008\n1 -0.008 4 -0.008\n"
      "4 -0.008 4 0.008\n4 0.008 1 0.008\n1 0.008 1 4\n1 4 -1 4\n-1 4 -1 0.008\n"
      "-1 0.008 -4 0.008\n-4 0.008 -4 -0.008\n",  // arms along x 0.016 wide: a side at the axis
  };
  for (const std::string& s : none) {
    mirror_quarter q;
    EXPECT_FALSE(quarter(s, q)) << s;
  }
  std::string broken = cross_at(0, 0);
  broken.replace(broken.find("4 1 1 1"), 7, "4 1 1 1.000001");
  broken.replace(broken.find("1 1 1 4"), 7, "1 1.000001 1 4");
  mirror_quarter q;
  EXPECT_FALSE(quarter(broken, q));
}
