// Closed lines of a boundary description: chaining in any order and
// direction, areas and lengths of sides and arcs against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contour/outline.hpp"

namespace {

const double marker = straight_marker;

elm_row side(double x1, double y1, double x2, double y2) { return {x1, y1, x2, y2, marker, marker}; }
elm_row arc(double x1, double y1, double x2, double y2, double x3, double y3) {
  return {x1, y1, x2, y2, x3, y3};
}

// Rows from 1, as the description holds them.
std::vector<elm_row> rows(std::vector<elm_row> r) {
  r.insert(r.begin(), elm_row{});
  return r;
}

}  // namespace

// A 6 x 4 mm rectangle given in a shuffled order with two sides reversed.
TEST(Outline, SidesChainInAnyOrderAndDirection) {
  const std::vector<elm_row> el =
      rows({side(3, 2, -3, 2), side(-3, -2, 3, -2), side(-3, -2, -3, 2), side(3, 2, 3, -2)});
  std::vector<outline_line> lines;
  ASSERT_TRUE(outline_lines(el.data(), 4, lines));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].pieces.size(), 4u);
  EXPECT_NEAR(std::fabs(lines[0].area), 24, 1e-12);
  EXPECT_NEAR(lines[0].length, 20, 1e-12);
  // Each piece starts where the last one ended.
  for (std::size_t k = 1; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(lines[0].pieces[k].x1, lines[0].pieces[k - 1].x2);
    EXPECT_DOUBLE_EQ(lines[0].pieces[k].y1, lines[0].pieces[k - 1].y2);
  }
  double area, perimeter;
  int inner;
  ASSERT_TRUE(outline_measures(el.data(), 4, area, perimeter, inner));
  EXPECT_NEAR(area, 24, 1e-12);
  EXPECT_EQ(inner, 0);
}

// Arcs through a third point, either way round, and full circles: a stadium
// 9 x 3 mm, a coaxial annulus 4 / 1.5 mm, a square ring with a round patch.
TEST(Outline, ArcsAndInnerConductors) {
  double area, perimeter;
  int inner;
  const std::vector<elm_row> stadium = rows({side(-3, -1.5, 3, -1.5), arc(3, -1.5, 3, 1.5, 4.5, 0),
                                             side(-3, 1.5, 3, 1.5), arc(-3, -1.5, -3, 1.5, -4.5, 0)});
  ASSERT_TRUE(outline_measures(stadium.data(), 4, area, perimeter, inner));
  EXPECT_NEAR(area, 6 * 3 + M_PI * 1.5 * 1.5, 1e-12);
  EXPECT_NEAR(perimeter, 12 + 2 * M_PI * 1.5, 1e-12);
  const std::vector<elm_row> coax = rows({arc(4, 0, 4, 0, -4, 0), arc(0, 1.5, 0, 1.5, 0, -1.5)});
  ASSERT_TRUE(outline_measures(coax.data(), 2, area, perimeter, inner));
  EXPECT_NEAR(area, M_PI * (16 - 2.25), 1e-12);
  EXPECT_NEAR(perimeter, 2 * M_PI * 5.5, 1e-12);
  EXPECT_EQ(inner, 1);
  const std::vector<elm_row> ring = rows({side(-4, -4, 4, -4), side(4, -4, 4, 4), side(4, 4, -4, 4),
                                          side(-4, 4, -4, -4), arc(1, 0, -1, 0, 0, -1), arc(1, 0, -1, 0, 0, 1)});
  ASSERT_TRUE(outline_measures(ring.data(), 6, area, perimeter, inner));
  EXPECT_NEAR(area, 64 - M_PI, 1e-12);
  EXPECT_NEAR(perimeter, 32 + 2 * M_PI, 1e-12);
  EXPECT_EQ(inner, 1);
  // A minor and a major arc between the same ends.
  outline_piece minor, major;
  ASSERT_TRUE(outline_element(arc(1, 0, 0, 1, std::sqrt(0.5), std::sqrt(0.5)), 1, minor));
  ASSERT_TRUE(outline_element(arc(1, 0, 0, 1, -1, 0), 2, major));
  EXPECT_NEAR(minor.dt, M_PI / 2, 1e-12);
  EXPECT_NEAR(major.dt, -3 * M_PI / 2, 1e-12);
  EXPECT_NEAR(reversed(major).dt, 3 * M_PI / 2, 1e-12);
}

TEST(Outline, OpenLinesAndFlatArcsAreNotMeasured) {
  double area, perimeter;
  int inner;
  const std::vector<elm_row> open = rows({side(0, 0, 1, 0), side(1, 0, 1, 1), side(1, 1, 0, 1)});
  EXPECT_FALSE(outline_measures(open.data(), 3, area, perimeter, inner));
  const std::vector<elm_row> flat = rows({arc(0, 0, 2, 0, 1, 0), side(2, 0, 0, 0)});
  EXPECT_FALSE(outline_measures(flat.data(), 2, area, perimeter, inner));
  EXPECT_FALSE(outline_measures(open.data(), 0, area, perimeter, inner));
}
