// The modes of an aperture do not depend on how its boundary is written:
// where the chain of a closed line starts (the order of the lines in the
// file), which way the lines are written, or whether the mirror image is
// described.  Each numbers the basis functions differently; the matrices of
// the formulations must not follow the numbering.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "run/driver.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

struct pt {
  double x, y;
};

std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.12g", v);
  return b;
}

// Closed polygon as boundary lines, starting at vertex `first`, written in
// reverse when `reverse`.
std::vector<std::string> sides(std::vector<pt> p, int first, bool reverse) {
  if (reverse) p = std::vector<pt>(p.rbegin(), p.rend());
  std::vector<std::string> v;
  int n = static_cast<int>(p.size());
  for (int k = 0; k < n; ++k) {
    pt a = p[(first + k) % n], b = p[(first + k + 1) % n];
    v.push_back(num(a.x) + " " + num(a.y) + " " + num(b.x) + " " + num(b.y));
  }
  return v;
}

std::vector<pt> turned(std::vector<pt> p, double deg, bool mirror) {
  double c = std::cos(deg * M_PI / 180), s = std::sin(deg * M_PI / 180);
  for (pt& q : p) {
    q = {c * q.x - s * q.y, s * q.x + c * q.y};
    if (mirror) q.y = -q.y;
  }
  return p;
}

// A square split ring (8 mm, gap on one side) turned by 30 degrees: its
// outer line touches the enclosure only at vertices, so the whole line is
// one closed chain of basis functions.
std::vector<pt> split_ring() {
  return turned({{4, 0.6}, {4, 4}, {-4, 4}, {-4, -4}, {4, -4}, {4, -0.6}, {2.5, -0.6}, {2.5, -2.5},
                 {-2.5, -2.5}, {-2.5, 2.5}, {2.5, 2.5}, {2.5, 0.6}},
                30, false);
}

std::vector<double> cutoffs(const std::vector<std::string>& boundary, double fmax_ghz) {
  std::vector<double> k;
  for (const solver_mode& m : run_solver(boundary, fmax_ghz).modes) k.push_back(m.kind * 1e6 + m.kc);
  return k;
}

void expect_same(const std::vector<double>& a, const std::vector<double>& b, const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  ASSERT_FALSE(a.empty());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-9 * std::fabs(a[i])) << what << ", mode " << i + 1;
}

class LineOrder : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override { fss_set_capacities(); }
};

TEST_F(LineOrder, ClosedOuterLineFromAnyStartEitherWayAndMirrored) {
  // 25 GHz: elements of about 3 mm, where the one-sided quadrature moved
  // the cutoffs by tenths of a percent with the start of the chain.
  const double f = 25;
  const std::vector<double> ref = cutoffs(sides(split_ring(), 0, false), f);
  for (int first : {1, 4, 7})
    expect_same(ref, cutoffs(sides(split_ring(), first, false), f), "start " + std::to_string(first));
  expect_same(ref, cutoffs(sides(split_ring(), 3, true), f), "written clockwise");
  expect_same(ref, cutoffs(sides(turned(split_ring(), 0, true), 5, false), f), "mirror image");
}

TEST_F(LineOrder, InnerConductorFromAnyStart) {
  // A square hole on the enclosure wall about an irregular quadrilateral
  // conductor (a closed inner line, no symmetry that would make two starts
  // the same), written from each corner.
  std::vector<pt> outer = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
  std::vector<pt> inner = {{-2, -1.5}, {2.2, -2}, {1.5, 2}, {-1.8, 1.2}};
  auto boundary = [&](int first) {
    std::vector<std::string> v = sides(outer, 0, false), w = sides(inner, first, false);
    v.insert(v.end(), w.begin(), w.end());
    return v;
  };
  const double f = 40;
  const std::vector<double> ref = cutoffs(boundary(0), f);
  for (int first : {1, 2, 3}) expect_same(ref, cutoffs(boundary(first), f), "inner start " + std::to_string(first));
}

TEST_F(LineOrder, CornerFunctionsDoNotDependOnWhereTheApertureIsDrawn) {
  // A regular octagon turns by exactly 45 degrees at every vertex, the
  // limit of the TM corner functions, which rounding decided vertex by
  // vertex: the same octagon drawn at other places had other TM cutoffs.
  auto octagon = [](double x0, double y0) {
    std::vector<pt> p;
    for (int j = 0; j < 8; ++j) p.push_back({x0 + 4 * std::cos(M_PI / 4 * j + 0.3), y0 + 4 * std::sin(M_PI / 4 * j + 0.3)});
    return sides(p, 0, false);
  };
  const double f = 60;
  const std::vector<double> ref = cutoffs(octagon(0, 0), f);
  for (int k = 1; k <= 6; ++k) {
    const double x0 = 3.7 * k - 11.1, y0 = 2.3 * k + 7.9;
    expect_same(ref, cutoffs(octagon(x0, y0), f), "drawn at " + std::to_string(x0) + ", " + std::to_string(y0));
  }
}

}  // namespace
