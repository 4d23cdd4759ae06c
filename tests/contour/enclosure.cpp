// Enclosing guide: fitting to the contour, enlargement at grazing walls,
// the shift that maps contour coordinates back to the boundary file, and the
// acceptance check before the modes are computed.
#include "shapes.hpp"
#include "support/fatal.hpp"

using namespace shapes;

namespace {

// Box of the outer line from dense points of its elements.
void outer_box(double& xmin, double& xmax, double& ymin, double& ymax) {
  xmin = ymin = 1e30;
  xmax = ymax = -1e30;
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) >= 101) continue;
    for (int k = 0; k <= 200; ++k) {
      double s = blok2[i][6] + elen(i) * k / 200 * (1 - 1e-12), x, y, tx, ty;
      int iel = i;
      xlaxy(s, iel, x, y, tx, ty);
      xmin = std::fmin(xmin, x);
      xmax = std::fmax(xmax, x);
      ymin = std::fmin(ymin, y);
      ymax = std::fmax(ymax, y);
    }
  }
}

// Every quadrature point, mapped back, lies on the shape of the file.
void expect_points_on(const std::vector<el>& v, double tol = 1e-9) {
  samplecoord(3);
  ASSERT_GT(xypts.n, 0);
  for (int p = 1; p <= xypts.n; ++p) {
    double xf, yf;
    to_file(xypts[p].x, xypts[p].y, xf, yf);
    EXPECT_LT(dist(v, xf, yf), tol) << "point " << p << " at " << xf << "," << yf;
  }
}

}  // namespace

TEST(Enclosure, ContourTouchesTheWalls) {
  scratch_dir d;
  std::vector<el> ring = polygon({{-4, -4}, {16, -4}, {16, 10}, {-4, 10}});
  ring.push_back(circle(6, 3, 4, 0.5));
  for (auto v : {cross(-30, 17), lshape(5, 5), ring}) {
    ASSERT_EQ(load(text(v), 20e9), 0);
    double xmin, xmax, ymin, ymax;
    outer_box(xmin, xmax, ymin, ymax);
    double eps = blok2[1][10];
    EXPECT_NEAR(xmin, 0, eps);
    EXPECT_NEAR(ymin, 0, eps);
    EXPECT_NEAR(xmax, blok2[1][6], eps);
    EXPECT_NEAR(ymax, blok2[1][7], eps);
    int id = 1;
    double dx, dy;
    xychange(id, dx, dy);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
  }
}

TEST(Enclosure, ShiftMapsQuadraturePointsToTheFile) {
  scratch_dir d;
  std::vector<el> v = cross(-30, 17);
  ASSERT_EQ(load(text(v), 20e9), 0);
  EXPECT_EQ(translations.dx, -30);
  EXPECT_EQ(translations.dy, 17);
  expect_points_on(v);

  // Port on the top side: mirrored in y.
  std::vector<el> t = lshape(7, -20);
  for (auto& e : t)
    if (e.y1 == -10 && e.y2 == -10) e.port = true;
  ASSERT_EQ(load(text(t), 20e9), 0);
  EXPECT_EQ(translations.miry, 1);
  expect_points_on(t);

  // Port on the right side: mirrored in x.
  std::vector<el> r = polygon({{-8, 2}, {-1, 2}, {-1, 9}, {-5, 12}, {-8, 9}});
  r[1].port = true;
  ASSERT_EQ(load(text(r), 20e9), 0);
  EXPECT_EQ(translations.mirx, 1);
  expect_points_on(r);
}

TEST(Enclosure, ArcBulgeBelowTheLowestVertex) {
  std::vector<el> v = {arc(0, 0, 10, 0, 5, -0.5), seg(10, 0, 10, 5), seg(10, 5, 0, 5),
                       seg(0, 5, 0, 0)};
  ASSERT_EQ(code_only(v), 0);
  EXPECT_NEAR(translations.dy, -0.5, 1e-12);
  EXPECT_NEAR(translations.dx, 0, 0);
  EXPECT_NEAR(blok2[1][7], 5.5, 1e-12);
  EXPECT_NEAR(blok2[1][6], 10, 1e-12);
  // The arc bottom now touches y = 0.
  double xmin, xmax, ymin, ymax;
  outer_box(xmin, xmax, ymin, ymax);
  EXPECT_NEAR(ymin, 0, 1e-9);
  // A bulge smaller than the tolerance (0.01 mm) moves the contour too:
  // nothing of it may lie outside the guide, whose kernels hold inside only.
  v[0] = arc(0, 0, 10, 0, 5, -0.004);
  ASSERT_EQ(code_only(v), 0);
  EXPECT_NEAR(translations.dy, -0.004, 1e-12);
  EXPECT_NEAR(blok2[1][7], 5.004, 1e-12);
  outer_box(xmin, xmax, ymin, ymax);
  EXPECT_NEAR(ymin, 0, 1e-9);
  // Inside the guide within the tolerance, the contour touches the wall and
  // stays: an arc that rises 0.004 mm above y = 0 between two corners on it.
  v[0] = arc(0, 0.004, 10, 0.004, 5, 0.008);
  v[1] = seg(10, 0.004, 10, 5);
  v[3] = seg(0, 5, 0, 0.004);
  ASSERT_EQ(code_only(v), 0);
  EXPECT_EQ(translations.dy, 0);
}

TEST(Enclosure, CircularEnclosureRadius) {
  ASSERT_EQ(code_only({circle(5, 5, 5)}), 0);
  // Centre the circle on the origin and ask for a circular enclosure.
  for (int i = 2; i <= 3; ++i) blok2[i][1] = blok2[i][2] = 0;
  blok2[1][6] = 1;
  blok2[1][7] = 0;
  int id = 0;
  double dx = 1, dy = 1;
  xychange(id, dx, dy);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  EXPECT_NEAR(blok2[1][6], 5, 1e-12);
  EXPECT_NEAR(blok2[1][10], 5e-5, 1e-15);
  xychange(id, dx, dy);
  EXPECT_EQ(id, 0);
}

TEST(Enclosure, GrazingElementEnlargesTheGuide) {
  scratch_dir d;
  // The lower side leaves the corner (0, 0) at 5.7 degrees from the wall.
  std::vector<el> v = polygon({{0, 0}, {10, 1}, {10, 4}, {0, 4}});
  ASSERT_EQ(load(text(v), 20e9), 0);
  double grow = 10 * 0.5 * static_cast<double>(0.1f);
  EXPECT_NEAR(blok2[1][6], 10, 1e-12);
  EXPECT_NEAR(blok2[1][7], 4 + grow, 1e-12);
  EXPECT_NEAR(translations.dy, -grow, 1e-12);
  EXPECT_NEAR(blok2[1][10], (4 + grow) > 10 ? 0 : 10 * 0.00001, 1e-15);
  double xmin, xmax, ymin, ymax;
  outer_box(xmin, xmax, ymin, ymax);
  EXPECT_NEAR(ymin, grow, 1e-9);
  EXPECT_NEAR(ymax, 4 + grow, 1e-9);
  expect_chain();
  for (int i = 2; i <= blok2.n; ++i) EXPECT_LE(elen(i), 3.75 + blok2[1][10]);
  expect_points_on(v);
  // The wall y = 0 is no longer touched: the lower side is a line of its own.
  for (int i = 2; i <= blok2.n; ++i) {
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    if (std::fabs(y2 - y1) < 1e-12) continue;
    if (label(i) == 0) {
      EXPECT_NEAR(std::fabs(x1 - x2), 0, 1e-12);
    }
  }
}

TEST(Enclosure, NearlyAlignedSidesAreWidenedAwayNotLeftBesideTheWall) {
  // An L turned by 0.1 degree: its sides leave the walls at grazing angles
  // and end within the reader's tolerance (a thousandth of the box, 8 um)
  // of them, 3 um off.  Judged with that tolerance they lay on the walls,
  // the walls stayed, and the widening of the other two relabelled them as
  // elements 3 um from the wall: a near-singular kernel.  Now every side
  // either lies on a wall or keeps clear of the walls it does not touch.
  scratch_dir d;
  std::vector<el> v = polygon({{0, 0}, {2.1, 0}, {2.1, 9.86}, {8.09, 9.86}, {8.09, 11.65}, {0, 11.65}});
  const double t = 0.1 * M_PI / 180;
  for (el& e : v) {
    double x1 = e.x1, x2 = e.x2;
    e.x1 = std::cos(t) * x1 - std::sin(t) * e.y1, e.y1 = std::sin(t) * x1 + std::cos(t) * e.y1;
    e.x2 = std::cos(t) * x2 - std::sin(t) * e.y2, e.y2 = std::sin(t) * x2 + std::cos(t) * e.y2;
  }
  ASSERT_EQ(load(text(v), 30.46e9), 0);
  const double a = blok2[1][6], b = blok2[1][7];
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) == 0) continue;
    double x1, y1, x2, y2;
    eends(i, x1, y1, x2, y2);
    for (double w : {std::fmax(x1, x2), a - std::fmin(x1, x2)})
      EXPECT_GT(w, 0.05) << "row " << i << " runs along a side wall";
    for (double w : {std::fmax(y1, y2), b - std::fmin(y1, y2)})
      EXPECT_GT(w, 0.05) << "row " << i << " runs along the bottom or top wall";
  }
  set_unit_records();
  run_files.ftmp[1] = "job_gmat.tmp";
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
}

TEST(Enclosure, WideningDoesNotDependOnWhereTheApertureIsDrawn) {
  // A regular hexagon with two sides on the walls: its four slanted sides
  // leave the side walls at exactly 30 degrees, the limit of a grazing
  // contact, which rounding decided before.  Drawn anywhere, it gets the
  // same guide.
  scratch_dir d;
  const double r = 4.633, h = r * std::sqrt(3.0) / 2;
  double a0 = 0, b0 = 0;
  for (int k = 0; k < 12; ++k) {
    const double x0 = 4.816508125 + 0.7317 * k, y0 = 2.089628218 - 1.1213 * k;
    std::vector<std::pair<double, double>> p;
    for (int j = 0; j < 6; ++j) p.push_back({x0 + r * std::cos(M_PI / 3 * j), y0 + r * std::sin(M_PI / 3 * j)});
    ASSERT_EQ(load(text(polygon(p)), 20e9), 0);
    if (k == 0) a0 = blok2[1][6], b0 = blok2[1][7];
    // The file holds ten digits: the sizes agree to their rounding (the
    // widening would change them by 0.46 mm).
    EXPECT_NEAR(blok2[1][6], a0, 1e-6) << "drawn at " << x0 << ", " << y0;
    EXPECT_NEAR(blok2[1][7], b0, 1e-6) << "drawn at " << x0 << ", " << y0;
  }
  // Exactly 30 degrees counts as grazing: the side walls are widened.
  EXPECT_NEAR(a0, 2 * r + 2 * 0.5 * static_cast<double>(0.1f) * 2 * r, 1e-6);
  EXPECT_NEAR(b0, 2 * h, 1e-6);
}

TEST(Enclosure, AcceptedContour) {
  scratch_dir d;
  ASSERT_EQ(load(text(cross(2, 2)), 30e9), 0);
  set_unit_records();
  run_files.ftmp[1] = "job_gmat.tmp";
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
  EXPECT_EQ(dat.a, 12);
  EXPECT_EQ(dat.b, 12);
  EXPECT_DOUBLE_EQ(dat.fmax, 30);
  EXPECT_EQ(dat.name, "job_gmat.tmp");
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_EQ(ist, 0);
  EXPECT_NEAR(area, 80, 1e-9);
}

TEST(Enclosure, QuarterWavelengthLimit) {
  // Unsegmented L: its two inner sides are 6 mm long, a quarter wavelength
  // at 12.5 GHz.
  set_unit_records();
  ASSERT_EQ(code_only(lshape()), 0);
  blok2[1][1] = 12.5;
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
  blok2[1][1] = 12.5 * 1.001 * (1 + 1e-9);
  xycheck(0);
  EXPECT_EQ(dat.status, 2000);
  blok2[1][1] = 12.5 * 1.001 * (1 - 1e-9);
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
}

TEST(Enclosure, RefusedContours) {
  set_unit_records();
  // Arcs left inside the enclosure.
  ASSERT_EQ(code_only(rounded(0, 0, 20, 10, 2)), 0);
  blok2[1][1] = 1;
  xycheck(0);
  EXPECT_EQ(dat.status, 2000);
  // A lone element between wall elements.
  ASSERT_EQ(code_only(polygon({{0, 0}, {10, 1}, {10, 4}, {0, 4}})), 0);
  blok2[1][1] = 1;
  xycheck(0);
  EXPECT_EQ(dat.status, 2000);
  // Points outside the enclosure.
  ASSERT_EQ(code_only(lshape()), 0);
  blok2[1][1] = 1;
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
  blok2[1][6] = 8;
  testing::internal::CaptureStdout();
  xycheck(0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(dat.status, 2000);
  EXPECT_EQ(out, " there are some points outside the basic contour.\n");
  // An outer line turned clockwise (the L mirrored in x = 5).
  ASSERT_EQ(code_only(lshape()), 0);
  blok2[1][1] = 1;
  for (int i = 2; i <= blok2.n; ++i) {
    blok2[i][1] = 10 - blok2[i][1];
    blok2[i][3] = 10 - blok2[i][3];
  }
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_EQ(ist, 1000);
  EXPECT_NEAR(area, -64, 1e-9);
  xycheck(0);
  EXPECT_EQ(dat.status, 2000);
}

TEST(Enclosure, SymmetryHalvesTheGuideForTheSolver) {
  scratch_dir d;
  std::vector<el> v = lshape();
  v[0].port = true;
  ASSERT_EQ(load(text(v), 10e9), 0);
  EXPECT_EQ(blok2[1][7], 20);
  set_unit_records();
  dat.symx = 1;
  xycheck(0);
  EXPECT_EQ(dat.status, 0);
  EXPECT_EQ(dat.b, 20);
  // With a failure the half sizes stay in the record.
  blok2[1][1] = 1e4;
  xycheck(0);
  EXPECT_EQ(dat.status, 2000);
  EXPECT_EQ(dat.b, 10);
  dat.symx = 0;
}

TEST(Enclosure, MarkerFileCannotBeWritten) {
  scratch_dir d;
  std::filesystem::create_directory("ap.dat");
  std::filesystem::create_directory("ap.dat/keep");
  EXPECT_FATAL(load(text(lshape()), 20e9), "WRITE_XYE: error in writing data to the output file.");
  EXPECT_FATAL(load(text(lshape()), 20e9), "ier= 100");
}
