// Area moments of coded contours against closed forms, and the bound on the
// first cutoff against the exact first cutoffs of shapes whose modes are
// known.
#include "shapes.hpp"

using namespace shapes;

namespace {

// Moments of the coded (and segmented) contour of a boundary file.
struct moments { double area, cx, cy, ixx, iyy, ixy; };
moments of(const std::vector<el>& v) {
  scratch_dir dir;
  EXPECT_EQ(load(text(v), 30e9), 0);
  moments m;
  contour_moments(m.area, m.cx, m.cy, m.ixx, m.iyy, m.ixy);
  return m;
}

}  // namespace

TEST(Moments, RectangleDiscAndAnnulusAgreeWithClosedForms) {
  // An 8 x 3 mm rectangle turned by 30 degrees: its principal moments are
  // 8^3 3/12 and 3^3 8/12, the cross moment (I1 - I2) sin 60 / 2.
  const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
  std::vector<std::pair<double, double>> p;
  for (auto [u, v] : {std::pair{-4.0, -1.5}, {4.0, -1.5}, {4.0, 1.5}, {-4.0, 1.5}})
    p.push_back({2 + c * u - s * v, -1 + s * u + c * v});
  const moments r = of(polygon(p));
  const double i1 = 8.0 * 8 * 8 * 3 / 12, i2 = 3.0 * 3 * 3 * 8 / 12;
  // (Vertices written with ten digits.)
  EXPECT_NEAR(r.area, 24, 1e-7);
  EXPECT_NEAR(r.iyy + r.ixx, i1 + i2, 1e-6);
  EXPECT_NEAR(std::hypot((r.iyy - r.ixx) / 2, r.ixy), (i1 - i2) / 2, 1e-6);
  // A disc of radius 3 (its own enclosure: arcs kept) and an annulus 3 / 1.
  const moments d = of({circle(1, 2, 3)});
  EXPECT_NEAR(d.area, M_PI * 9, 1e-4 * M_PI * 9);
  EXPECT_NEAR(d.ixx, M_PI * 81 / 4, 1e-3 * M_PI * 81 / 4);
  EXPECT_NEAR(d.ixy, 0, 1e-9);
  const moments a = of({circle(0, 0, 3), circle(0, 0, 1)});
  EXPECT_NEAR(a.area, M_PI * 8, 2e-3 * M_PI * 8);
  EXPECT_NEAR(a.iyy, M_PI * 80 / 4, 2e-3 * M_PI * 80 / 4);
}

TEST(Moments, FirstCutoffBoundLiesAboveTheExactCutoffAndNearIt) {
  struct shape_case { std::vector<el> v; double kc; const char* name; };
  const shape_case cases[] = {
      {polygon({{0, 0}, {8, 0}, {8, 0.5}, {0, 0.5}}), M_PI / 8, "8 x 0.5 mm slot"},
      {polygon({{0, 0}, {5, 0}, {5, 5}, {0, 5}}), M_PI / 5, "5 mm square"},
      {{circle(0, 0, 2)}, 1.8411837813406593 / 2, "disc r 2 mm"},
      // Right isosceles triangle, legs 6 mm: first Neumann mode pi / 6.
      {polygon({{0, 0}, {6, 0}, {0, 6}}), M_PI / 6, "right triangle"},
  };
  for (const shape_case& c : cases) {
    scratch_dir dir;
    ASSERT_EQ(load(text(c.v), 30e9), 0) << c.name;
    const double kb = first_cutoff_bound();
    EXPECT_GE(kb, c.kc * (1 - 1e-6)) << c.name;
    EXPECT_LT(kb, 1.25 * c.kc) << c.name;
  }
}
