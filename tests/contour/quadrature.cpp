// Quadrature points on the segmented contour and collocation points of the
// boundary elements.
#include "shapes.hpp"
#include "support/fatal.hpp"

using namespace shapes;

namespace {

// Exact integral of p(t) = sum c_k t^k over [0, len].
double poly_int(const std::vector<double>& c, double len) {
  double s = 0;
  for (size_t k = 0; k < c.size(); ++k) s += c[k] * std::pow(len, k + 1) / (k + 1);
  return s;
}

double poly(const std::vector<double>& c, double t) {
  double s = 0;
  for (size_t k = c.size(); k-- > 0;) s = s * t + c[k];
  return s;
}

}  // namespace

TEST(Quadrature, GaussLegendreTables) {
  // Rule r + 1 integrates t^k on [-1, 1] exactly up to k = 2r + 1 (to the
  // single precision of the tables).
  for (int r = 1; r <= gauss_legendre_mr; ++r)
    for (int k = 0; k <= 2 * r + 1; ++k) {
      double s = 0;
      for (int j = 1; j <= r + 1; ++j)
        s += gauss_legendre_ww[r][j] * std::pow(gauss_legendre_xy[r][j], k);
      double exact = k % 2 ? 0.0 : 2.0 / (k + 1);
      EXPECT_NEAR(s, exact, 1e-6) << "rule " << r + 1 << " degree " << k;
    }
  for (int r = 1; r <= gauss_legendre_mr; ++r)
    for (int j = 2; j <= r + 1; ++j) EXPECT_LT(gauss_legendre_xy[r][j - 1], gauss_legendre_xy[r][j]);
  EXPECT_EQ(gauss_legendre_xy[1][2], 0.57735025882720947);
  EXPECT_EQ(gauss_legendre_ww[2][1], 0.55555558204650879);
  EXPECT_EQ(gauss_legendre_ww[2][2], 0.8888888955116272);
  EXPECT_EQ(gauss_legendre_xy[5][1], 0);
}

TEST(Quadrature, WeightsAndPolynomialsOnTheElements) {
  scratch_dir d;
  ASSERT_EQ(load(text(cross(-1, 4)), 30e9), 0);
  samplecoord(3);
  ASSERT_GT(xypts.n, 0);
  std::vector<double> c = {0.3, -1.2, 0.7, 0.25, -0.05, 0.011};
  std::vector<double> wsum(blok2.n + 1, 0.0), isum(blok2.n + 1, 0.0);
  for (int p = 1; p <= xypts.n; ++p) {
    int i = ixyele[p];
    double len = elen(i), t = (xycsi[p] + 0.5) * len;
    wsum[i] += xywgt[p];
    isum[i] += xywgt[p] * poly(c, t);
    EXPECT_EQ(xytype[p], label(i));
    // Point, tangent and abscissa agree with the element geometry.
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    EXPECT_NEAR(xypts[p].x, x1 + (x2 - x1) * t / len, 1e-12);
    EXPECT_NEAR(xypts[p].y, y1 + (y2 - y1) * t / len, 1e-12);
    EXPECT_NEAR(xytan[p].x, (x2 - x1) / len, 1e-12);
    EXPECT_NEAR(xytan[p].y, (y2 - y1) / len, 1e-12);
    EXPECT_GT(xycsi[p], -0.5);
    EXPECT_LT(xycsi[p], 0.5);
  }
  double total = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    double len = elen(i);
    EXPECT_NEAR(wsum[i], len, 1e-7 * len);
    EXPECT_NEAR(isum[i], poly_int(c, len), 1e-6 * std::fabs(poly_int(c, len)) + 1e-9);
    total += wsum[i];
  }
  EXPECT_NEAR(total, 48, 1e-5);
}

TEST(Quadrature, DegreeSixIsNotExactForThreePoints) {
  // The same sum with t^6 misses: the check above can fail.
  ASSERT_EQ(code_only(polygon({{0, 0}, {2, 0}, {2, 2}, {0, 2}})), 0);
  blok2[1][1] = 30;
  samplecoord(3);
  double s = 0;
  for (int p = 1; p <= xypts.n; ++p)
    if (ixyele[p] == 2) s += xywgt[p] * std::pow((xycsi[p] + 0.5) * 2, 6);
  EXPECT_GT(std::fabs(s - std::pow(2.0, 7) / 7), 1e-3);
}

TEST(Quadrature, SubSegmentsPerElement) {
  // lmax = 2.5 mm at 30 GHz: 2.4 mm -> one sub-segment, 5.0 mm -> three.
  ASSERT_EQ(code_only(polygon({{0, 0}, {5, 0}, {5, 2.4}, {0, 2.4}})), 0);
  blok2[1][1] = 30;
  samplecoord(3);
  EXPECT_EQ(xypts.n, 3 * 3 + 3 + 3 * 3 + 3);
  std::vector<int> count(blok2.n + 1, 0);
  for (int p = 1; p <= xypts.n; ++p) {
    ++count[ixyele[p]];
    // Storage order of the rows, nodes ascending within an element.
    if (p > 1) {
      EXPECT_GE(ixyele[p], ixyele[p - 1]);
      if (ixyele[p] == ixyele[p - 1]) {
        EXPECT_GT(xycsi[p], xycsi[p - 1]);
      }
    }
  }
  for (int i = 2; i <= blok2.n; ++i) EXPECT_EQ(count[i], elen(i) > 3 ? 9 : 3);
}

TEST(Quadrature, UnavailableRulesAreClamped) {
  ASSERT_EQ(code_only(polygon({{0, 0}, {2, 0}, {2, 2}, {0, 2}})), 0);
  blok2[1][1] = 30;
  testing::internal::CaptureStdout();
  samplecoord(1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            " The required 1-points quadrature rule is not available.\n"
            "      It has been set to 2-points\n");
  EXPECT_EQ(xypts.n, 4 * 2);
  testing::internal::CaptureStdout();
  samplecoord(9);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("It has been set to 5-points"), std::string::npos);
  EXPECT_EQ(xypts.n, 4 * 5);
  testing::internal::CaptureStdout();
  samplecoord(4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Quadrature, SymmetryPlaneElementsCarryNoPoints) {
  scratch_dir d;
  std::vector<el> v = lshape();
  v[0].port = true;
  v[5].port = true;
  ASSERT_EQ(load(text(v), 20e9), 0);
  int sym = 0, wall = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    sym += label(i) >= 1000;
    wall += label(i) == 0;
  }
  ASSERT_GT(sym, 0);
  ASSERT_GT(wall, 0);
  samplecoord(3);
  double total = 0, expected = 0;
  for (int p = 1; p <= xypts.n; ++p) {
    EXPECT_LT(label(ixyele[p]), 1000);
    total += xywgt[p];
  }
  for (int i = 2; i <= blok2.n; ++i)
    if (label(i) < 1000) expected += elen(i);
  EXPECT_NEAR(total, expected, 1e-5);
  // Wall elements are sampled.
  bool on_wall = false;
  for (int p = 1; p <= xypts.n; ++p) on_wall = on_wall || xytype[p] == 0;
  EXPECT_TRUE(on_wall);
}

TEST(Quadrature, FatalConditions) {
  ASSERT_EQ(code_only({circle(0, 0, 2)}), 0);
  blok2[1][1] = 30;
  EXPECT_FATAL(samplecoord(3), "The contour is not segmented");
  ASSERT_EQ(code_only(polygon({{0, 0}, {2, 0}, {2, 2}, {0, 2}})), 0);
  blok2[1][1] = 30;
  xypts.cap = 11;
  EXPECT_FATAL(samplecoord(3), "Too many sample points");
  xypts.cap = 12;
  samplecoord(3);
  EXPECT_EQ(xypts.n, 12);
}

TEST(Quadrature, CollocationPoints) {
  scratch_dir d;
  ASSERT_EQ(load(text(lshape(3, 3)), 20e9), 0);
  dat.offset = 0.4;
  dat.a = blok2[1][6];
  dat.b = blok2[1][7];
  gcoord(0);
  for (int i = 2; i <= blok2.n; ++i) {
    const double* m = matco[i].v;
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    double len = std::hypot(x2 - x1, y2 - y1);
    EXPECT_NEAR(m[13], len, 1e-9);
    EXPECT_NEAR(m[3], (x1 + x2) / 2, 1e-12);
    EXPECT_NEAR(m[4], (y1 + y2) / 2, 1e-12);
    // Outer points at 0.1 and 0.9 of the element.
    EXPECT_NEAR(m[1], x1 + 0.1 * (x2 - x1), 1e-12);
    EXPECT_NEAR(m[6], y1 + 0.9 * (y2 - y1), 1e-12);
    EXPECT_NEAR(m[14] * m[14] + m[15] * m[15], 1, 1e-12);
    EXPECT_EQ(m[7], 0);
    EXPECT_EQ(m[16], 0);
  }
  // Circular enclosure: polar coordinates of the points.
  dat.b = 0;
  gcoord(0);
  for (int i = 2; i <= blok2.n; ++i) {
    const double* m = matco[i].v;
    for (int k = 1; k <= 3; ++k) {
      double x = m[2 * k - 1], y = m[2 * k];
      EXPECT_NEAR(m[5 + 2 * k] * std::cos(m[6 + 2 * k]), x, 1e-12);
      EXPECT_NEAR(m[5 + 2 * k] * std::sin(m[6 + 2 * k]), y, 1e-12);
    }
  }
}
