// The check before the modes accepts every contour the coding and the
// segmentation produce, at every limit: round-ended slots, D shapes, half
// discs and squares whose top side is an arc of 95 to 270 degrees (arcs
// between two straight sides, whose polygons the enclosure is fitted to),
// circles drawn as two arcs whose joints lie a rounding off the axis, and
// outlines with re-entrant corners at the length threshold.  Besides the
// check's verdict, the contour itself: no element off the wall lies on a
// wall, none is alone between wall elements, every node inside the guide.
#include <cmath>

#include "shapes.hpp"

using namespace shapes;

namespace {

// Square [-s, s]^2 whose top side is an arc of the given angle (degrees).
std::vector<el> arc_topped(double deg, double s = 5) {
  double t = deg * M_PI / 180, r = s / std::sin(t / 2), h = r * (1 - std::cos(t / 2));
  return {seg(s, -s, s, s), arc(s, s, -s, s, 0, s + h), seg(-s, s, -s, -s), seg(-s, -s, s, -s)};
}

// The stadium of the report: a 14 x 4 mm slot with semicircular ends.
std::vector<el> stadium() {
  return {arc(7, -2, 7, 2, 9, 0), seg(7, 2, -7, 2), arc(-7, 2, -7, -2, -9, 0), seg(-7, -2, 7, -2)};
}

std::vector<el> d_shape() { return {seg(0, -4, 3, -4), arc(3, -4, 3, 4, 7, 0), seg(3, 4, 0, 4), seg(0, 4, 0, -4)}; }

std::vector<el> half_disc() { return {seg(-5, 0, 5, 0), arc(5, 0, -5, 0, 0, 5)}; }

// Codes the boundary at f GHz and checks the contour and the verdict.
void expect_accepted(const std::vector<el>& v, double f, const std::string& what) {
  ASSERT_EQ(load(text(v), f * 1e9), 0) << what << " at " << f << " GHz";
  const double a = blok2[1][6], b = blok2[1][7], size = std::fmax(a, b);
  ASSERT_GT(b, 0) << what;
  for (int i = 2; i <= blok2.n; ++i) {
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    const double tol = 1e-9 * size;
    EXPECT_TRUE(x1 > -tol && x1 < a + tol && y1 > -tol && y1 < b + tol)
        << what << " at " << f << " GHz: node of row " << i << " outside the guide (" << x1 << ", " << y1 << ")";
    int lab = label(i);
    if (lab == 0 || lab >= 1000) continue;
    for (double w : {0.0, a})
      EXPECT_FALSE(std::fabs(x1 - w) < tol && std::fabs(x2 - w) < tol)
          << what << " at " << f << " GHz: row " << i << " lies on the wall x = " << w << " off the wall";
    for (double w : {0.0, b})
      EXPECT_FALSE(std::fabs(y1 - w) < tol && std::fabs(y2 - w) < tol)
          << what << " at " << f << " GHz: row " << i << " lies on the wall y = " << w << " off the wall";
  }
  xycheck(0);
  EXPECT_EQ(dat.status, 0) << what << " at " << f << " GHz";
}

}  // namespace

TEST(Acceptance, ArcsBetweenStraightSidesAtEveryLimit) {
  scratch_dir d;
  set_unit_records();
  for (double f = 10; f <= 150; f += 2.5) {
    expect_accepted(stadium(), f, "stadium");
    expect_accepted(d_shape(), f, "D shape");
    expect_accepted(half_disc(), f, "half disc");
    for (double deg : {95.0, 100.0, 150.0, 180.0, 220.0, 270.0})
      expect_accepted(arc_topped(deg), f, "square with a " + std::to_string(static_cast<int>(deg)) + " degree top");
  }
}

TEST(Acceptance, NearlyAlignedRoundedRectangle) {
  // Turned by 1.3 degrees: the corners of its arcs' polygons reach past the
  // walls by less than the reader's tolerance.
  scratch_dir d;
  set_unit_records();
  std::vector<el> v = rounded(-2, -2, 4, 3.6, 0.6);
  const double t = 1.3 * M_PI / 180, c = std::cos(t), s = std::sin(t);
  for (el& e : v) {
    auto turn = [&](double& x, double& y) {
      double u = c * x - s * y;
      y = s * x + c * y;
      x = u;
    };
    turn(e.x1, e.y1);
    turn(e.x2, e.y2);
    if (e.arc) turn(e.x3, e.y3);
  }
  for (double f = 20; f <= 120; f += 2.5) expect_accepted(v, f, "rounded rectangle");
}

TEST(Acceptance, TwoArcCircleWithItsJointOffTheAxis) {
  // Joints 1.2e-16 (the rounding of cos(pi)), 1e-6 and a thousandth of the
  // radius off the axis: the same rectangle as with the joints on it, which
  // holds the whole circle.
  scratch_dir d;
  set_unit_records();
  ASSERT_EQ(load(text({arc(-2, 0, 2, 0, 0, 2), arc(2, 0, -2, 0, 0, -2)}), 30e9), 0);
  const double a0 = blok2[1][6], b0 = blok2[1][7];
  EXPECT_GE(b0, 4);
  for (double e : {1.2e-16, 1e-6, 2e-3}) {
    std::vector<el> v = {arc(-2, e, 2, 0, 0, 2), arc(2, 0, -2, e, 0, -2)};
    for (double f : {20.0, 90.0, 290.0}) expect_accepted(v, f, "two-arc circle, joint " + std::to_string(e));
    ASSERT_EQ(load(text(v), 30e9), 0);
    EXPECT_NEAR(blok2[1][6], a0, 1e-2) << e;
    EXPECT_NEAR(blok2[1][7], b0, 1e-2) << e;
    expect_chain();
  }
}

TEST(Acceptance, ReentrantCornersAtTheLengthThreshold) {
  // A T whose corner-refined sides leave pieces just above the quarter
  // wavelength near 32.55 GHz, and a cross and a Jerusalem cross scanned
  // finely about their own thresholds.
  scratch_dir d;
  set_unit_records();
  const auto tee = polygon({{-4, 4}, {-4, 2}, {-1, 2}, {-1, -4}, {1, -4}, {1, 2}, {4, 2}, {4, 4}});
  for (double f = 32.40; f <= 32.70; f += 0.01) expect_accepted(tee, f, "T");
  std::vector<std::pair<double, double>> jc;
  for (int k = 0; k < 4; ++k)
    for (auto [x, y] : std::vector<std::pair<double, double>>{
             {0.5, -0.5}, {3.2, -0.5}, {3.2, -2.5}, {4, -2.5}, {4, 2.5}, {3.2, 2.5}, {3.2, 0.5}}) {
      for (int j = 0; j < k; ++j) std::tie(x, y) = std::make_pair(-y, x);
      jc.push_back({x, y});
    }
  for (double f = 20; f <= 120; f += 0.5) {
    expect_accepted(cross(), f, "cross");
    expect_accepted(polygon(jc), f, "Jerusalem cross");
  }
}
