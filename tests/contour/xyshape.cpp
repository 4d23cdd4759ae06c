// Geometry checks of the boundary: what bounds an aperture is coded, what
// does not is refused with the rows of the elements at fault; the fit of an
// aperture in its lattice.
#include <algorithm>

#include "shapes.hpp"
#include "support/fatal.hpp"

using namespace shapes;

namespace {

// Codes the file: the coder must stop the run with the code and name the
// rows of the elements at fault.
void expect_refused(const std::string& body, int code, int row1, int row2) {
  SCOPED_TRACE(body);
  auto row = [](int r) { return " line " + std::to_string(r) + " of ap.apb ("; };
  EXPECT_EXIT(
      {
        std::cout.flush();
        dup2(2, 1);
        load(body);
      },
      testing::ExitedWithCode(1),
      testing::AllOf(testing::HasSubstr("ier= " + std::to_string(code) + "\n" + row(row1)),
                     testing::HasSubstr(row2 ? row(row2) : row(row1))));
}

const std::string square = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";

}  // namespace

TEST(GeometryChecks, SoundAperturesAreCoded) {
  scratch_dir d;
  // Arcs tangent to the sides they join, a sharp spike, an inner conductor
  // close to the outer line, a ring of two circles, an eccentric ring.
  EXPECT_EQ(load(text(rounded(0, 0, 8, 4, 1.5))), 0) << errors.message;
  EXPECT_EQ(load("0 0 6 0\n6 0 0.2 0.3\n0.2 0.3 0 0\n"), 0) << errors.message;
  EXPECT_EQ(load(square + "-2.8 -2.8 2.8 -2.8\n2.8 -2.8 2.8 2.8\n2.8 2.8 -2.8 2.8\n-2.8 2.8 -2.8 -2.8\n"),
            0)
      << errors.message;
  EXPECT_EQ(load("4 0 4 0 -4 0\n1.5 0 1.5 0 -1.5 0\n"), 0) << errors.message;
  EXPECT_EQ(load("4 0 4 0 -4 0\n2.5 0 2.5 0 0.5 0\n"), 0) << errors.message;
  // Two inner conductors side by side.
  EXPECT_EQ(load(square + "-2 0 -2 0 -1 0\n2 0 2 0 1 0\n"), 0) << errors.message;
  EXPECT_EQ(load(text(lshape())), 0) << errors.message;
  EXPECT_EQ(load(text(cross())), 0) << errors.message;
}

TEST(GeometryChecks, DegenerateElementsCrossingsAndNestingRefused) {
  scratch_dir d;
  // Elements that bound nothing.
  expect_refused("0 0 6 0\n6 0 6 0\n6 0 0 6\n0 6 0 0\n", 4, 2, 0);
  expect_refused("-3 -3 3 -3 0 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n", 4, 1, 0);
  expect_refused("-3 -3 3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n", 4, 1, 0);
  // A bow-tie; an end on another element (a T); sides along each other.
  expect_refused("-3 -3 3 3\n3 3 3 -3\n3 -3 -3 3\n-3 3 -3 -3\n", 5, 1, 3);
  expect_refused(square + "0 -3 0 -1\n0 -1 1 -1\n1 -1 0 -3\n", 5, 1, 5);
  expect_refused("-2 0 2 0\n2 0 -2 0\n", 5, 1, 2);
  expect_refused("0 0 6 0\n6 0 3 0\n3 0 3 3\n3 3 0 0\n", 5, 1, 2);
  // An inner circle across the outer line, two inner circles crossing, an
  // arc side crossing a straight one.
  expect_refused(square + "3.5 0 3.5 0 1.5 0\n", 5, 2, 5);
  expect_refused(square + "1 0 1 0 -1 0\n1.5 0 1.5 0 -0.5 0\n", 5, 5, 6);
  expect_refused("-3 -3 3 -3\n3 -3 3 3 -4 0\n3 3 -3 3\n-3 3 -3 -3\n", 5, 1, 2);
  // Two squares touching at a corner: four ends at one joint.
  expect_refused(square + "3 3 5 3\n5 3 5 5\n5 5 3 5\n3 5 3 3\n", 5, 2, 8);
  // A closed line beside the outer one; three nested lines.
  expect_refused(square + "4 -1 4.5 -1\n4.5 -1 4.5 1\n4.5 1 4 1\n4 1 4 -1\n", 6, 5, 0);
  expect_refused("-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n" + square +
                     "-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n",
                 7, 9, 5);
  // A circle inside an inner circle.
  expect_refused("4 0 4 0 -4 0\n2 0 2 0 -2 0\n1 0 1 0 -1 0\n", 7, 3, 2);
}

namespace {

int overlap(const std::vector<el>& v, double a, double b, double alpha_deg, double& tx,
            double& ty) {
  std::vector<elm_row> e(v.size() + 1);
  for (std::size_t k = 0; k < v.size(); ++k) {
    const el& s = v[k];
    e[k + 1] = {s.x1, s.y1, s.x2, s.y2, s.arc ? s.x3 : straight_marker,
                s.arc ? s.y3 : straight_marker};
  }
  int r1, r2;
  return cell_overlap(e.data(), static_cast<int>(v.size()), a, b, alpha_deg * M_PI / 180, tx, ty,
                      r1, r2);
}

std::vector<el> rect(double x0, double y0, double w, double h) {
  return polygon({{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}});
}

}  // namespace

TEST(GeometryChecks, AperturesMustNotMeetTheirNeighbours) {
  double tx = 0, ty = 0;
  EXPECT_EQ(overlap(rect(-3, -3, 6, 6), 10, 10, 90, tx, ty), 0);
  // Where the hole sits in the cell does not matter.
  EXPECT_EQ(overlap(rect(3, -2, 8, 8), 10, 10, 90, tx, ty), 0);
  EXPECT_EQ(overlap(rect(-4.99, -4.99, 9.98, 9.98), 10, 10, 90, tx, ty), 0);
  // Equal to the cell, larger, longer than a period.
  EXPECT_EQ(overlap(rect(-5, -5, 10, 10), 10, 10, 90, tx, ty), 1);
  EXPECT_EQ(std::hypot(tx, ty) == 10 || std::hypot(tx, ty) == std::hypot(10, 10), true);
  EXPECT_EQ(overlap(rect(-6, -6, 12, 12), 10, 10, 90, tx, ty), 1);
  EXPECT_EQ(overlap(rect(2, -1, 10.5, 2), 10, 10, 90, tx, ty), 1);
  EXPECT_EQ(std::fabs(tx), 10);
  EXPECT_EQ(ty, 0);
  // Circles in a triangular lattice (neighbours 10 mm apart along (10, 0)
  // and (5, 8.66)): radius 4.99 fits, 5 touches, 5.5 overlaps.
  const double b = 10 * std::sqrt(0.75);
  EXPECT_EQ(overlap({circle(0, 0, 4.99)}, 10, b, 60, tx, ty), 0);
  EXPECT_EQ(overlap({circle(0, 0, 5)}, 10, b, 60, tx, ty), 1);
  EXPECT_EQ(overlap({circle(0, 0, 5.5)}, 10, b, 60, tx, ty), 1);
  // A tall slot meets the neighbour of the skewed row, not the one above.
  EXPECT_EQ(overlap(rect(-0.5, -6, 1, 12), 10, b, 60, tx, ty), 0);
  EXPECT_EQ(overlap(rect(-0.5, -9, 1, 18), 10, b, 60, tx, ty), 1);
  EXPECT_NEAR(std::fabs(ty), 2 * b, 1e-9);
  EXPECT_NEAR(tx, 0, 1e-9);
  // No lattice, or a hole over thousands of cells.
  EXPECT_EQ(overlap(rect(-3, -3, 6, 6), 0, 0, 90, tx, ty), 0);
  EXPECT_EQ(overlap(rect(-3, -3, 6, 6), 0.001, 0.001, 90, tx, ty), 2);
}

namespace {

std::vector<elm_row> rows(const std::vector<el>& v) {
  std::vector<elm_row> e(v.size() + 1);
  for (std::size_t k = 0; k < v.size(); ++k) {
    const el& s = v[k];
    e[k + 1] = {s.x1, s.y1, s.x2, s.y2, s.arc ? s.x3 : straight_marker, s.arc ? s.y3 : straight_marker};
  }
  return e;
}

int pair_overlap(const std::vector<el>& a, const std::vector<el>& b, double p, double alpha_deg,
                 double& tx, double& ty, int& r1, int& r2) {
  const auto ea = rows(a), eb = rows(b);
  return apertures_overlap(ea.data(), static_cast<int>(a.size()), eb.data(), static_cast<int>(b.size()),
                           p, p, alpha_deg * M_PI / 180, tx, ty, r1, r2);
}

bool copy_of(const std::vector<el>& a, const std::vector<el>& b, double& dx, double& dy) {
  const auto ea = rows(a), eb = rows(b);
  return translated_copy(ea.data(), static_cast<int>(a.size()), eb.data(), static_cast<int>(b.size()),
                         dx, dy);
}

std::vector<el> moved(std::vector<el> v, double dx, double dy) {
  for (el& e : v) {
    e.x1 += dx, e.x2 += dx, e.x3 += dx;
    e.y1 += dy, e.y2 += dy, e.y3 += dy;
  }
  return v;
}

}  // namespace

// Two apertures of one cell: their lines meet, one lies in the other (a
// hole in an inner conductor of the other does not), or one meets the
// other's neighbour in the lattice.
TEST(GeometryChecks, TwoAperturesOfOneCell) {
  double tx = 0, ty = 0;
  int r1 = 0, r2 = 0;
  const std::vector<el> a = rect(-4, -1, 4, 2);
  EXPECT_EQ(pair_overlap(a, rect(1, -1, 2, 2), 10, 90, tx, ty, r1, r2), 0);
  EXPECT_EQ(pair_overlap(a, rect(-1, -2, 3, 4), 10, 90, tx, ty, r1, r2), 1);
  EXPECT_EQ(tx, 0);
  EXPECT_EQ(ty, 0);
  EXPECT_EQ(pair_overlap(a, rect(0, -1, 2, 2), 10, 90, tx, ty, r1, r2), 1);  // a common side
  EXPECT_EQ(pair_overlap(a, rect(-3, -0.5, 2, 1), 10, 90, tx, ty, r1, r2), 3);
  EXPECT_EQ(r1, 0);
  EXPECT_GT(r2, 0);
  EXPECT_EQ(pair_overlap(rect(-3, -0.5, 2, 1), a, 10, 90, tx, ty, r1, r2), 3);
  EXPECT_GT(r1, 0);
  // Beside the neighbour one period along x; across the skewed row above.
  EXPECT_EQ(pair_overlap(a, rect(3, -0.5, 3.5, 1), 10, 90, tx, ty, r1, r2), 1);
  EXPECT_EQ(tx, -10);
  EXPECT_EQ(pair_overlap(a, rect(3, -0.5, 2.5, 1), 10, 90, tx, ty, r1, r2), 0);
  // The second lattice vector is (10 cot 60, 10) mm.
  const double cx = 10 / std::tan(M_PI / 3);
  EXPECT_EQ(pair_overlap(rect(-0.5, -4, 1, 3), rect(cx - 0.25, 7, 0.5, 0.5), 10, 60, tx, ty, r1, r2), 3);
  EXPECT_NEAR(tx, -cx, 1e-12);
  EXPECT_NEAR(ty, -10, 1e-12);
  // A ring slot and a disc in its patch; a disc across the ring's slot.
  std::vector<el> ring = rect(-4, -4, 8, 8), patch = rect(-3, -3, 6, 6);
  ring.insert(ring.end(), patch.begin(), patch.end());
  EXPECT_EQ(pair_overlap(ring, {circle(0, 0, 2)}, 10, 90, tx, ty, r1, r2), 0);
  EXPECT_EQ(pair_overlap(ring, {circle(0, 3.5, 0.3)}, 10, 90, tx, ty, r1, r2), 3);
  EXPECT_EQ(pair_overlap(ring, {circle(0, 3, 0.3)}, 10, 90, tx, ty, r1, r2), 1);
}

// A translated copy: the same elements moved, in any order and direction,
// circles from any start and arcs through any third point; within a
// ten-thousandth of the size, no further.
TEST(GeometryChecks, TranslatedCopies) {
  double dx = 0, dy = 0;
  std::vector<el> a = rect(-2, -1, 4, 2);
  a.push_back(circle(0.5, 0, 0.3));
  a.push_back(arc(-1.5, -0.5, -1.5, 0.5, -1.2, 0));
  std::vector<el> b = moved(a, 7.25, -3.5);
  std::reverse(b.begin(), b.end());  // the arc, the circle, the sides backwards
  std::swap(b[2].x1, b[2].x2);
  std::swap(b[2].y1, b[2].y2);
  b[1] = circle(7.75, -3.5, 0.3, 2.0);  // the circle, started elsewhere
  // The arc reversed, through another of its points: its circle has centre
  // (-53 / 30, 0) and passes (-1.2, 0).
  const double xc = -53.0 / 30, r = -1.2 - xc;
  b[0] = arc(5.75, -3, 5.75, -4, xc + r * std::cos(0.5) + 7.25, r * std::sin(0.5) - 3.5);
  EXPECT_TRUE(copy_of(a, b, dx, dy));
  EXPECT_DOUBLE_EQ(dx, 7.25);
  EXPECT_DOUBLE_EQ(dy, -3.5);
  // Not copies: mirrored, an element moved by 2e-4 of the size (4 mm),
  // one element fewer, the arc bulging the other way.
  std::vector<el> m = a;
  for (el& e : m) e.x1 = -e.x1, e.x2 = -e.x2, e.x3 = -e.x3;
  EXPECT_FALSE(copy_of(a, m, dx, dy));
  std::vector<el> c = moved(a, 1, 1);
  c[2].x1 += 8e-4, c[1].x2 += 8e-4;
  EXPECT_FALSE(copy_of(a, c, dx, dy));
  c = moved(a, 1, 1);
  c[2].x1 += 2e-4, c[1].x2 += 2e-4;  // within the tolerance
  EXPECT_TRUE(copy_of(a, c, dx, dy));
  c = moved(a, 1, 1);
  c.pop_back();
  EXPECT_FALSE(copy_of(a, c, dx, dy));
  c = moved(a, 1, 1);
  c.back() = arc(-0.5, 0.5, -0.5, 1.5, -0.8, 1);
  EXPECT_FALSE(copy_of(a, c, dx, dy));
}
