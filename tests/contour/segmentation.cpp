// Automatic segmentation: element lengths against the quarter wavelength,
// area kept by the arc replacements, nodes on the boundary, corner
// refinement, undo and redo, and the failure codes.
#include <map>

#include "shapes.hpp"
#include "support/fatal.hpp"

using namespace shapes;

namespace {

// Quarter wavelength (mm) at fmax (Hz) in vacuum.
double quarter(double fmax) { return 75000000.0 / (fmax / 1e9) / 0.001 / 1e9; }

void expect_lengths(double lmax) {
  double eps = blok2[1][10];
  for (int i = 2; i <= blok2.n; ++i) {
    EXPECT_EQ(blok2[i][5], 0) << "arc left in row " << i;
    if (label(i) < 1000) {
      EXPECT_LE(elen(i), lmax + eps) << "row " << i;
    }
  }
}

// Node positions in chain order from s = 0 (start point of every element).
std::vector<std::array<double, 4>> chain_nodes() {
  std::vector<std::array<double, 4>> v;
  int i = elem_at(blok2[1][10] / 10);
  for (int k = 0; k < blok2.n - 1; ++k) {
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    v.push_back({x1, y1, blok2[i][6], static_cast<double>(label(i))});
    i = lsucc(i);
  }
  return v;
}

}  // namespace

TEST(Segmentation, SquareAtThirtyGigahertz) {
  scratch_dir d;
  ASSERT_EQ(load(text(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 30e9), 0);
  double lmax = quarter(30e9);
  EXPECT_NEAR(lmax, 2.5, 1e-12);
  expect_chain();
  expect_lengths(lmax);
  // Every side cut into four equal wall pieces.
  EXPECT_EQ(blok2.n, 17);
  for (int i = 2; i <= blok2.n; ++i) {
    EXPECT_EQ(label(i), 0);
    EXPECT_NEAR(elen(i), 2.5, 1e-9);
  }
  EXPECT_NEAR(blok2[1][5], 40, 1e-9);
}

TEST(Segmentation, LengthRuleIsStrictAndSharedWithTheCheck) {
  // A 10 mm side against 1.001 lmax on either side of 10: a thousandth of
  // the quarter wavelength is allowed, whatever the coincidence tolerance
  // (here eps = 0.01 mm, four times that allowance).
  scratch_dir d;
  for (double rel : {1 + 1e-9, 1 - 1e-9}) {
    double lmax = 10 / 1.001 * rel;
    ASSERT_EQ(load(text(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 75e6 / lmax * 1e3), 0);
    EXPECT_EQ(blok2.n, rel > 1 ? 5 : 9);
    EXPECT_EQ(too_long(10, lmax), rel < 1);
  }
  // A side exactly a multiple of lmax is cut into that many pieces.
  ASSERT_EQ(load(text(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 30e9), 0);
  EXPECT_EQ(blok2.n, 17);
  EXPECT_EQ(length_pieces(10, 2.5), 4);
  EXPECT_EQ(length_pieces(10.003, 2.5), 5);
  // Off the wall, where the check judges the lengths: a T whose short
  // sides, refined at the re-entrant corners, leave a piece just above the
  // quarter wavelength (3 - 0.3 lmax against lmax near 2.30 mm, 32.5 to
  // 32.6 GHz).  The segmentation divides exactly the pieces the check would
  // refuse, so the check accepts every segmentation.
  set_unit_records();
  const auto tee = polygon({{-4, 4}, {-4, 2}, {-1, 2}, {-1, -4}, {1, -4}, {1, 2}, {4, 2}, {4, 4}});
  for (double f = 32.50; f <= 32.60; f += 0.0025) {
    ASSERT_EQ(load(text(tee), f * 1e9), 0);
    double lq = quarter(f * 1e9), longest = 0;
    for (int i = 2; i <= blok2.n; ++i)
      if (label(i) != 0 && label(i) < 1000) longest = std::fmax(longest, elen(i));
    EXPECT_LE(longest, 1.001 * lq) << f << " GHz";
    xycheck(0);
    EXPECT_EQ(dat.status, 0) << f << " GHz";
  }
}

TEST(Segmentation, CircleInsideRectangleIsChordedNotApproximated) {
  scratch_dir d;
  std::vector<el> v = polygon({{0, 0}, {20, 0}, {20, 12}, {0, 12}});
  v.push_back(circle(8, 6, 3, 0.4));
  ASSERT_EQ(load(text(v), 20e9), 0);
  expect_chain();
  // Chords within max(a, b)/400 of the arc and within a thousandth of its
  // radius, whichever is closer (here the radius: 0.003 mm).
  double lmax = quarter(20e9), dcmax = std::fmin(20.0 / 400, 3.0 / 1000);
  expect_lengths(lmax);
  int pieces = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) != 101) continue;
    ++pieces;
    double x1, y1, x2, y2, xf, yf;
    eends(i, x1, y1, x2, y2);
    // Nodes on the circle (as far as the ten digits of the file allow),
    // chords within dcmax of it; undo record: subdivided-arc mark.
    to_file(x1, y1, xf, yf);
    EXPECT_NEAR(std::hypot(xf - 8, yf - 6), 3, 1e-8);
    to_file((x1 + x2) / 2, (y1 + y2) / 2, xf, yf);
    EXPECT_LE(3 - std::hypot(xf - 8, yf - 6), dcmax + 1e-12);
    EXPECT_EQ(blok2[i][12], 1.0);
  }
  // The chord rule: 2 r acos(1 - dcmax / r) of arc per piece at most (and
  // no more than lmax).
  double xlm = std::fmin(2 * 3 * std::acos(1 - dcmax / 3), lmax);
  EXPECT_EQ(pieces, 2 * (static_cast<int>((M_PI * 3 - blok2[1][10]) / xlm) + 1));
}

TEST(Segmentation, RoundedCornersKeepTheArea) {
  scratch_dir d;
  for (double r : {1.0, 2.5, 4.0}) {
    ASSERT_EQ(load(text(rounded(0, 0, 24, 12, r)), 12e9), 0) << errors.message;
    expect_chain();
    expect_lengths(quarter(12e9));
    double area, exact = 24 * 12 - (4 - M_PI) * r * r;
    int ist;
    dsurf(area, ist);
    EXPECT_EQ(ist, 0);
    EXPECT_LE(std::fabs(area / exact - 1), 0.001) << "r=" << r;
    // The polygon pieces carry the arc midpoints, the wall neighbours the
    // distance their nodes were moved.
    int polys = 0, moved = 0;
    for (int i = 2; i <= blok2.n; ++i) {
      if (blok2[i][12] == 2.0) {
        ++polys;
        double xf, yf;
        to_file(blok2[i][10], blok2[i][11], xf, yf);
        // Midpoint of a quarter arc: r (1 - 1/sqrt 2) in from both walls.
        double c = r * (1 - std::sqrt(0.5));
        double dx = std::fmin(std::fabs(xf - c), std::fabs(xf - 24 + c));
        double dy = std::fmin(std::fabs(yf - c), std::fabs(yf - 12 + c));
        EXPECT_LT(dx, 1e-8);
        EXPECT_LT(dy, 1e-8);
      }
      if (blok2[i][12] == 3.0) ++moved;
    }
    EXPECT_GE(polys, 4);
    EXPECT_GE(moved, 4);
  }
}

TEST(Segmentation, ReentrantCornerRefinement) {
  scratch_dir d;
  ASSERT_EQ(load(text(lshape()), 30e9), 0);
  expect_chain();
  double lmax = quarter(30e9), epsl = lmax * static_cast<double>(0.3f);
  expect_lengths(lmax);
  auto nodes = chain_nodes();
  auto nearest = [&](double x, double y) {
    double dmin = 1e9;
    for (auto& p : nodes) {
      double dd = std::hypot(p[0] - x, p[1] - y);
      if (dd > 1e-9) dmin = std::fmin(dmin, dd);
    }
    return dmin;
  };
  auto has = [&](double x, double y) {
    for (auto& p : nodes)
      if (std::hypot(p[0] - x, p[1] - y) < 1e-9) return true;
    return false;
  };
  // Re-entrant corner (4, 4): extra nodes at epsl along both sides.
  EXPECT_TRUE(has(4 + epsl, 4));
  EXPECT_TRUE(has(4, 4 + epsl));
  EXPECT_NEAR(nearest(4, 4), epsl, 1e-9);
  // Convex corners: nothing closer than the plain subdivision gives.
  for (auto c : std::vector<std::pair<double, double>>{{0, 0}, {10, 0}, {10, 4}, {4, 10}, {0, 10}})
    EXPECT_GT(nearest(c.first, c.second), 1.5) << c.first << "," << c.second;
}

TEST(Segmentation, UndoAndRedoGiveTheSameContour) {
  scratch_dir d;
  std::vector<std::vector<el>> cases = {rounded(0, 0, 20, 10, 3), lshape(), cross()};
  std::vector<el> ring = polygon({{0, 0}, {20, 0}, {20, 14}, {0, 14}});
  ring.push_back(circle(10, 7, 4, 1.1));
  cases.push_back(ring);
  for (auto& v : cases) {
    ASSERT_EQ(load(text(v), 25e9), 0);
    auto before = chain_nodes();
    double L = blok2[1][5];
    int n = blok2.n;
    int ier;
    desegm(ier);
    ASSERT_EQ(ier, 0);
    EXPECT_LT(blok2[1][1], 0);
    // Unsegmented: no node made by subdivision, the file elements again.
    for (int i = 2; i <= blok2.n; ++i) {
      int lab, i1, i2;
      labout(i, lab, i1, i2);
      EXPECT_NE(i2, 1);
      EXPECT_EQ(blok2[i][12], 0);
    }
    expect_chain();
    ier = 1;
    autoseg(ier);
    ASSERT_EQ(ier, 0);
    auto after = chain_nodes();
    EXPECT_EQ(blok2.n, n);
    EXPECT_NEAR(blok2[1][5], L, 1e-9);
    ASSERT_EQ(after.size(), before.size());
    for (size_t k = 0; k < after.size(); ++k)
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(after[k][c], before[k][c], 1e-8) << k;
  }
}

TEST(Segmentation, TooManyElements) {
  scratch_dir d;
  std::string sq = text(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}));
  // 40 mm of wall at lmax 0.1 mm needs 400 elements.
  EXPECT_FATAL(load(sq, 750e9), "too many elements after segmentation");
  EXPECT_FATAL(load(sq, 750e9), "WRITE_XYE");
  // The code itself, from the segmentation.
  ASSERT_EQ(code_only(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 0);
  blok2[1][1] = -750;
  int ier = 1;
  autoseg(ier);
  EXPECT_EQ(ier, 101);
  EXPECT_EQ(errors.code, 101);
  EXPECT_EQ(errors.message, "SEGCONT: too many elements after segmentation.");
  // 396 elements fit: 99 pieces of a side at lmax = 0.1015 mm.
  ASSERT_EQ(code_only(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 0);
  blok2[1][1] = -75 / 0.1015;
  ier = 1;
  autoseg(ier);
  EXPECT_EQ(ier, 0);
  EXPECT_EQ(blok2.n, 397);
}

TEST(Segmentation, HeaderChecks) {
  ASSERT_EQ(code_only(lshape()), 0);
  blok2[1][1] = 0;
  int ier = 1;
  autoseg(ier);
  EXPECT_EQ(ier, 102);
  EXPECT_EQ(errors.message, "AUTOSEG: no fmax specified.");
  blok2[1][1] = -10;
  blok2[1][9] = 0.5;
  ier = 1;
  autoseg(ier);
  EXPECT_EQ(ier, 103);
  EXPECT_EQ(errors.message, "AUTOSEG: no diel const. specified.");
  // Without the check flag the header is taken as it is.
  blok2[1][9] = 4;  // half the wavelength in the filling
  ier = 0;
  autoseg(ier);
  EXPECT_EQ(ier, 0);
  EXPECT_EQ(blok2[1][1], 10);
  expect_lengths(quarter(10e9) / 2);
}

TEST(Segmentation, FailedUndoAndSplitReport111) {
  ASSERT_EQ(code_only(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 0);
  // A split point closer than the tolerance (0.01 mm) to an end of the
  // element is refused; 150 pieces of the 10 mm side (0.067 mm each) are not.
  blok3.iel = 2;
  blok3.f = 0.0005;
  int ier;
  segmel(1, ier);
  EXPECT_EQ(ier, -10);
  blok3.f = 1 - 0.0005;
  segmel(1, ier);
  EXPECT_EQ(ier, -10);
  blok3.iel = 2;
  divi(150, ier);
  EXPECT_EQ(ier, 0);
  ASSERT_EQ(code_only(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}})), 0);
  // Pieces of no more than the tolerance are refused by divi itself.
  blok3.iel = 2;
  divi(1000, ier);
  EXPECT_EQ(ier, -10);
  // A replaced-arc record whose midpoint lies on the chord cannot be undone.
  ASSERT_EQ(code_only(lshape()), 0);
  double x1, y1, x2, y2;
  eends(3, x1, y1, x2, y2);
  blok2[3][10] = (x1 + x2) / 2;
  blok2[3][11] = (y1 + y2) / 2;
  blok2[3][12] = 1.0;
  desegm(ier);
  EXPECT_EQ(ier, 111);
  EXPECT_EQ(errors.message, "DESEGM: cannot restore the unsegmented contour.");
}

TEST(Segmentation, SplitAndMergeKeepTheChain) {
  ASSERT_EQ(code_only({circle(0, 0, 5, 0.3)}), 0);
  double L = blok2[1][5];
  // Three pieces of one half circle, then the nodes removed again.
  blok3.iel = 2;
  int ier;
  divi(3, ier);
  ASSERT_EQ(ier, 0);
  EXPECT_EQ(blok2.n, 5);
  expect_chain();
  EXPECT_NEAR(blok2[1][5], L, 1e-12);
  for (int i = 2; i <= blok2.n; ++i) EXPECT_NEAR(blok2[i][5], 5, 0);
  int removed = 0;
  for (int guard = 0; guard < 5; ++guard) {
    int k = 0;
    for (int i = 2; i <= blok2.n && !k; ++i) {
      int lab, i1, i2;
      labout(i, lab, i1, i2);
      if (i2 == 1) k = i;
    }
    if (!k) break;
    blok3.iel = k;
    blok3.f = 1;
    remp(1, ier);
    ASSERT_EQ(ier, 0);
    ++removed;
  }
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(blok2.n, 3);
  expect_chain();
  EXPECT_NEAR(blok2[1][5], L, 1e-9);
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_NEAR(area, 25 * M_PI, 1e-6);
}

TEST(Segmentation, HalfCircleOverItsSymmetryPlane) {
  // A circular aperture of radius 5 described by its upper half.
  scratch_dir d;
  std::vector<el> v = {arc(5, 0, -5, 0, 0, 5), seg(-5, 0, 5, 0, true)};
  ASSERT_EQ(load(text(v), 30e9), 0) << errors.message;
  expect_chain();
  double lmax = quarter(30e9);
  expect_lengths(lmax);
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  EXPECT_EQ(isx, 1);
  // The stored height is that of the whole guide: at least twice the
  // described half.
  double ymax = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    ymax = std::fmax(ymax, y1);
  }
  EXPECT_GE(blok2[1][7], 2 * ymax - blok2[1][10]);
  // The arc lies between two ends of the same plane row, both straight: it
  // is replaced by an area-keeping polygon whose inner nodes share one
  // radius, its end nodes staying on the plane.
  double R = -1;
  int pieces = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    double x1, y1, x2, y2, xf, yf;
    eends(i, x1, y1, x2, y2);
    if (label(i) >= 1000) {
      EXPECT_NEAR(y1, 0, 1e-12);
      EXPECT_NEAR(y2, 0, 1e-12);
      continue;
    }
    ++pieces;
    EXPECT_EQ(blok2[i][12], 2.0);
    if (std::fabs(y1) < 1e-12) continue;
    to_file(x1, y1, xf, yf);
    if (R < 0) R = std::hypot(xf, yf);
    EXPECT_NEAR(std::hypot(xf, yf), R, 1e-9);
  }
  EXPECT_GE(pieces, 2);
  EXPECT_GT(R, 5);
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_EQ(ist, 0);
  EXPECT_LE(std::fabs(area / (25 * M_PI) - 1), 0.001);
  samplecoord(3);
  for (int p = 1; p <= xypts.n; ++p) EXPECT_LT(xytype[p], 1000);
  // Undone after the enclosure was fitted (and the contour shifted): the
  // arc comes back on the circle of the file.
  int ier;
  desegm(ier);
  ASSERT_EQ(ier, 0);
  int arcs = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    if (!is_arc(i)) continue;
    ++arcs;
    double xf, yf;
    to_file(blok2[i][1], blok2[i][2], xf, yf);
    EXPECT_NEAR(xf, 0, 1e-9);
    EXPECT_NEAR(yf, 0, 1e-9);
    EXPECT_NEAR(blok2[i][5], 5, 1e-9);
    EXPECT_NEAR(std::fabs(blok2[i][4] - blok2[i][3]), M_PI, 1e-9);
  }
  EXPECT_EQ(arcs, 1);
}

TEST(Segmentation, LeftPortAndNotchCorners) {
  scratch_dir d;
  // Right half of a 12 x 8 rectangle with a 4 x 2 notch in its right side.
  std::vector<el> v = polygon({{0, 0}, {6, 0}, {6, 3}, {4, 3}, {4, 5}, {6, 5}, {6, 8}, {0, 8}});
  v[7].port = true;
  ASSERT_EQ(load(text(v), 30e9), 0) << errors.message;
  expect_chain();
  expect_lengths(quarter(30e9));
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  EXPECT_EQ(isx, 0);
  EXPECT_EQ(isy, 1);
  EXPECT_EQ(blok2[1][6], 12);
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_EQ(ist, 0);
  EXPECT_NEAR(area, 2 * (48 - 4), 1e-9);
  // Re-entrant corners (4, 3) and (4, 5): the sides arriving from and
  // leaving to the wall get a node at epsl; the 2 mm side between the two
  // corners (shorter than 3 epsl) is cut at 1/3 and 2/3.
  double epsl = quarter(30e9) * static_cast<double>(0.3f);
  std::vector<std::pair<double, double>> want = {
      {4 + epsl, 3}, {4 + epsl, 5}, {4, 3 + 0.3333 * 2}, {4, 3 + 0.6666 * 2}};
  for (auto w : want) {
    bool found = false;
    for (int i = 2; i <= blok2.n; ++i) {
      double x1, y1, x2, y2;
      eends(i, x1, y1, x2, y2);
      found = found || std::hypot(x1 - w.first, y1 - w.second) < 1e-9;
    }
    EXPECT_TRUE(found) << w.first << "," << w.second;
  }
}
