// Coding of boundary files into the contour chain: geometric truths of the
// chain (one closed loop, mutual links, continuous arc length, true
// perimeter and area, orientation of the lines) and the reading errors.
#include <algorithm>
#include <fstream>
#include <random>

#include "shapes.hpp"
#include "support/fatal.hpp"

using namespace shapes;

namespace {

// Orientation sums of the outer line (labels below 101) and of inner lines.
void expect_orientation() {
  EXPECT_GT(shoelace(0, 100), 0) << "outer line not counter-clockwise";
  for (int lab = 101; lab < 110; ++lab) {
    bool any = false;
    for (int i = 2; i <= blok2.n; ++i) any = any || label(i) == lab;
    if (any) {
      EXPECT_LT(shoelace(lab, lab), 0) << "inner line " << lab << " not clockwise";
    }
  }
}

double perimeter(const std::vector<el>& v) {
  double p = 0;
  for (const el& e : v) p += std::hypot(e.x2 - e.x1, e.y2 - e.y1);
  return p;
}

}  // namespace

TEST(Coding, ShuffledPolygonWithMixedDirections) {
  scratch_dir d;
  std::vector<el> v = cross(3, -7);
  std::mt19937 rng(5);
  for (int trial = 0; trial < 10; ++trial) {
    std::vector<el> w = v;
    std::shuffle(w.begin(), w.end(), rng);
    for (el& e : w)
      if (rng() % 2) {
        std::swap(e.x1, e.x2);
        std::swap(e.y1, e.y2);
      }
    ASSERT_EQ(code_only(w), 0);
    expect_chain();
    EXPECT_NEAR(blok2[1][5], perimeter(v), 1e-9);
    EXPECT_EQ(blok2.n, static_cast<int>(v.size()) + 1);
    expect_orientation();
    double area;
    int ist;
    dsurf(area, ist);
    EXPECT_EQ(ist, 0);
    EXPECT_NEAR(area, 5 * 16.0, 1e-9);
  }
}

TEST(Coding, FullCircleBecomesTwoHalves) {
  ASSERT_EQ(code_only({circle(20, 30, 5, 0.3)}), 0);
  EXPECT_EQ(blok2.n, 3);
  expect_chain();
  EXPECT_NEAR(blok2[1][5], 2 * M_PI * 5, 1e-9);
  for (int i = 2; i <= 3; ++i) {
    EXPECT_NEAR(blok2[i][5], 5, 1e-9);
    EXPECT_NEAR(std::fabs(blok2[i][4] - blok2[i][3]), M_PI, 1e-9);
  }
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_NEAR(area, M_PI * 25, 1e-9);
  expect_orientation();
}

TEST(Coding, AreasOfArcShapes) {
  struct {
    std::vector<el> v;
    double area, perim;
  } cases[] = {
      {{circle(0, 0, 10, 1.0), circle(1, -2, 4, 2.0)}, M_PI * (100 - 16), 2 * M_PI * 14},
      {rounded(-5, 3, 20, 10, 2), 200 - (4 - M_PI) * 4, 2 * (16 + 6) + 2 * M_PI * 2},
      {lshape(2, 2), 64, 40},
  };
  for (auto& c : cases) {
    // Elements given backwards still give the same truths.
    std::vector<el> w = c.v;
    std::reverse(w.begin(), w.end());
    ASSERT_EQ(code_only(w), 0);
    expect_chain();
    EXPECT_NEAR(blok2[1][5], c.perim, 1e-9);
    double area;
    int ist;
    dsurf(area, ist);
    EXPECT_EQ(ist, 0);
    // Half circles: the segment height sqrt(r^2 - c^2/4) loses half the digits.
    EXPECT_NEAR(area, c.area, 1e-7 * c.area);
    EXPECT_NEAR(shoelace(0, 999), c.area, 1e-3 * c.area);
    expect_orientation();
  }
}

TEST(Coding, AnnulusOfSquaresLabels) {
  std::vector<el> v = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  // Inner square given counter-clockwise: the coder turns it round.
  auto in = polygon({{3, 3}, {7, 3}, {7, 7}, {3, 7}});
  v.insert(v.begin(), in.begin(), in.end());
  ASSERT_EQ(code_only(v), 0);
  expect_chain();
  EXPECT_NEAR(blok2[1][5], 40 + 16, 1e-9);
  int outer = 0, inner = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) == 0) ++outer;
    if (label(i) == 101) ++inner;
  }
  EXPECT_EQ(outer, 4);
  EXPECT_EQ(inner, 4);
  // The chain starts with the outer line.
  EXPECT_EQ(label(elem_at(1e-6)), 0);
  expect_orientation();
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_NEAR(area, 84, 1e-9);
}

TEST(Coding, PointsOnTheFileGeometry) {
  std::vector<el> v = rounded(-12, 40, 20, 10, 3);
  v.push_back(circle(-2, 45, 2, 0.7));
  ASSERT_EQ(code_only(v), 0);
  expect_chain();
  // Points of the coded contour, mapped back with the recorded shift, lie on
  // the shape as written in the file.
  double L = blok2[1][5];
  EXPECT_NEAR(L, 2 * (14 + 4) + 2 * M_PI * 3 + 2 * M_PI * 2, 1e-9);
  for (int k = 0; k < 500; ++k) {
    double s = L * k / 500, x, y, tx, ty;
    int iel = 2;
    xlaxy(s, iel, x, y, tx, ty);
    double xf, yf;
    to_file(x, y, xf, yf);
    EXPECT_LT(dist(v, xf, yf), 1e-9) << "s=" << s;
    EXPECT_NEAR(std::hypot(tx, ty), 1, 1e-12);
  }
}

TEST(Coding, XlaxyOnCodedCircleAndPolygon) {
  std::vector<el> v = {circle(0, 0, 3, 0.2)};
  ASSERT_EQ(code_only(v), 0);
  double L = blok2[1][5];
  for (int k = -3; k < 40; ++k) {
    double s = L * k / 37, x, y, tx, ty;
    int iel = 3;
    xlaxy(s, iel, x, y, tx, ty);
    EXPECT_GE(s, 0);
    EXPECT_LE(s, L);
    double xf, yf;
    to_file(x, y, xf, yf);
    EXPECT_NEAR(std::hypot(xf, yf), 3, 1e-9);
    // Tangent of a counter-clockwise circle: perpendicular to the radius.
    EXPECT_NEAR(tx * xf + ty * yf, 0, 1e-9);
    EXPECT_GT(xf * ty - yf * tx, 0);
  }
  std::vector<el> p = lshape(-3, 8);
  ASSERT_EQ(code_only(p), 0);
  L = blok2[1][5];
  for (int k = 0; k < 80; ++k) {
    double s = L * (k + 0.5) / 80, x, y, tx, ty;
    int iel = 2;
    xlaxy(s, iel, x, y, tx, ty);
    double xf, yf;
    to_file(x, y, xf, yf);
    EXPECT_LT(dist(p, xf, yf), 1e-9);
  }
}

TEST(Coding, PortOnBottomSideHalvesTheDescription) {
  // Upper half of a 10 x 6 rectangle, the lower edge is the plane y = 0.
  std::vector<el> v = polygon({{0, 0}, {10, 0}, {10, 3}, {0, 3}});
  v[0].port = true;
  scratch_dir d;
  ASSERT_EQ(load(text(v)), 0);
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  EXPECT_EQ(isx, 1);
  EXPECT_EQ(isy, 0);
  EXPECT_EQ(portcir.n, 1);
  EXPECT_EQ(portcir[1], 2);
  EXPECT_EQ(label(portcir[1]), 1000);
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_EQ(ist, 0);
  EXPECT_NEAR(area, 60, 1e-9);
  EXPECT_EQ(translations.miry, 0);
}

TEST(Coding, PortOnTopSideIsMirrored) {
  std::vector<el> v = polygon({{0, 5}, {10, 5}, {10, 8}, {0, 8}});
  v[2].port = true;
  scratch_dir d;
  ASSERT_EQ(load(text(v)), 0);
  EXPECT_EQ(translations.miry, 1);
  EXPECT_EQ(translations.mirx, 0);
  // The port edge now lies on y = 0 and maps back onto y = 8 of the file.
  int r = portcir[1];
  EXPECT_EQ(label(r), 1000);
  double x1, y1, x2, y2, xf, yf;
  eends(r, x1, y1, x2, y2);
  EXPECT_NEAR(y1, 0, 1e-12);
  to_file(x1, y1, xf, yf);
  EXPECT_NEAR(yf, 8, 1e-12);
  EXPECT_NEAR(portcirxy[1].y1, 8, 0);
  for (int i = 2; i <= blok2.n; ++i) {
    eends(i, x1, y1, x2, y2);
    to_file(x1, y1, xf, yf);
    EXPECT_LT(dist(v, xf, yf), 1e-9);
  }
}

TEST(Coding, PortOnRightSideIsMirroredInX) {
  std::vector<el> v = polygon({{-4, 0}, {0, 0}, {0, 6}, {-4, 6}});
  v[1].port = true;
  scratch_dir d;
  ASSERT_EQ(load(text(v)), 0);
  EXPECT_EQ(translations.mirx, 1);
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  EXPECT_EQ(isy, 1);
  EXPECT_EQ(label(portcir[1]), 1100);
  double area;
  int ist;
  dsurf(area, ist);
  EXPECT_NEAR(area, 48, 1e-9);
}

TEST(Reading, LineForms) {
  scratch_dir d;
  // Commas, tabs, a word after four numbers that is not a port, blanks
  // beyond column 80.
  std::string body =
      "0,0,10,0\n"
      "10\t0 10 10 comment\n"
      "10 10 0 10\n"
      "0 10 0 0" + std::string(120, ' ') + "\n";
  ASSERT_EQ(load(body), 0) << errors.message;
  EXPECT_EQ(elm.n, 4);
  EXPECT_EQ(portcir.n, 0);
  EXPECT_EQ(elm[1].x3, 1000000.0);
  EXPECT_EQ(elm[2].y3, 1000000.0);
  EXPECT_EQ(label(2), 0);
}

TEST(Reading, Errors) {
  scratch_dir d;
  contour_capacities();
  std::string name = "missing";
  apb2dat(name, 1e10);
  EXPECT_EQ(errors.code, 1);
  EXPECT_EQ(errors.message, "Error opening file missing.apb");
  EXPECT_EQ(name, "missing.apb");

  EXPECT_EQ(load("0 0 10 0\n10 0 10\n"), 1);
  EXPECT_EQ(errors.message, "Error reading file ap.apb at row 2");
  EXPECT_EQ(load("0 0 10 0\n\n10 0 10 10\n"), 1);
  EXPECT_EQ(errors.message, "Error reading file ap.apb at row 2");
  EXPECT_EQ(load("0 0 1O 0\n"), 1);
  EXPECT_EQ(errors.message, "Error reading file ap.apb at row 1");
  EXPECT_EQ(load("0 0 1e7 0\n"), 1);
  EXPECT_EQ(errors.message, "Error reading file ap.apb at row 1");
  // Text beyond column 80 would be lost: the line is refused, not cut.
  EXPECT_EQ(load("0 0 10 0\n10 0 10 10\n10 10 0 10\n0 10 0 0" + std::string(80, ' ') + "0\n"), 1);
  EXPECT_EQ(errors.message, "Error reading file ap.apb at row 4");
  EXPECT_EQ(apb_fault_context(), "line 4 of ap.apb (longer than 80 characters): \"0 10 0 0\"");
  EXPECT_EQ(load(""), 1);
  EXPECT_EQ(errors.message, "No boundary element in file ap.apb");

  // 100 elements are accepted, the 101st is refused.
  std::vector<std::pair<double, double>> p;
  for (int k = 0; k < 100; ++k)
    p.push_back({10 * std::cos(2 * M_PI * k / 100), 10 * std::sin(2 * M_PI * k / 100)});
  EXPECT_EQ(load(text(polygon(p)), 1e9), 0) << errors.message;
  EXPECT_EQ(elm.n, 100);
  EXPECT_EQ(load(text(polygon(p)) + "0 0 1 1\n"), 1);
  EXPECT_EQ(errors.message, "Too many boundary elements: max=100");

  std::string five = "0 0 1 0 p\n1 0 1 1 P\n1 1 0 1 port\n0 1 0 0 p\n0 0 0 0 p\n";
  EXPECT_EQ(load(five), 1);
  EXPECT_EQ(errors.message, "Too many ports: max=4");
}

TEST(Reading, PortFaults) {
  scratch_dir d;
  std::string sq_off = "0 0 10 0\n10 0 10 10\n10 10 0 10\n0 10 0 0\n5 2 5 8 port\n";
  EXPECT_FATAL(load(sq_off), "port improperly defined");
  std::string sq_h = "0 0 10 0\n10 0 10 10\n10 10 0 10\n0 10 0 0\n2 5 8 5 port\n";
  EXPECT_FATAL(load(sq_h), "port improperly defined");
  std::string sq_diag = "0 0 10 0 p\n10 0 0 10 p\n0 10 0 0\n";
  EXPECT_FATAL(load(sq_diag), "port not directed along x or y");
  std::string lr = "0 0 10 0\n10 0 10 10 p\n10 10 0 10\n0 10 0 0 p\n";
  EXPECT_FATAL(load(lr), "unable to handle ports on the opposite side");
  std::string bt = "0 0 10 0 p\n10 0 10 10\n10 10 0 10 p\n0 10 0 0\n";
  EXPECT_FATAL(load(bt), "unable to handle ports on the opposite side");
  EXPECT_FATAL(load(bt), "APB2DAT");
}

TEST(Reading, CodingFaultsStopTheRun) {
  scratch_dir d;
  // An open polygon.
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 10\n10 10 0 10\n"), "CLOSLIN: cannot close line");
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 10\n10 10 0 10\n"),
               "Error in coding the input data: ier= 2");
  // The element whose end is not joined is named with its row and ends.
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 10\n10 10 0 10\n"),
               " line 3 of ap.apb (from (10, 10) to (0, 10)): \"10 10 0 10\"\n");
  // Three elements through one joint.
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 10\n10 10 0 0\n0 0 5 -5\n5 -5 10 10\n"),
               " XYSHAPE: more than two element ends meet at one point\n"
               " Error in coding the input data: ier= 5\n"
               " line 1 of ap.apb (from (0, 0) to (10, 0)): \"0 0 10 0\"\n"
               " line 4 of ap.apb (from (0, 0) to (5, -5)): \"0 0 5 -5\"\n");
  // A zero-length element and a circle of no diameter.
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 0\n10 0 0 10\n0 10 0 0\n"),
               " XYSHAPE: side of no length\n Error in coding the input data: ier= 4\n"
               " line 2 of ap.apb (from (10, 0) to (10, 0)): \"10 0 10 0\"\n");
  EXPECT_FATAL(load("0 0 10 0\n10 0 0 0 5 5\n3 3 3 3 3 3\n"),
               " XYSHAPE: circle of no size\n Error in coding the input data: ier= 4\n");
  // No maximum frequency.
  EXPECT_FATAL(load("0 0 10 0\n10 0 10 10\n10 10 0 10\n0 10 0 0\n", 0.0), "ier= 102");
}

TEST(Coding, TableFullOfCirclesAndMissingLine) {
  // 200 small circles fill the table with their 400 halves before the last
  // one can be split.
  std::vector<el> v;
  for (int k = 0; k < 200; ++k) v.push_back(circle(3 * (k % 20), 3 * (k / 20), 1));
  EXPECT_EQ(code_only(v), 1);
  EXPECT_EQ(errors.message, "CODE_XYE: insufficient dimensioning of the array XYE");
  // A line label that no row carries.
  ASSERT_EQ(code_only(lshape()), 0);
  double area;
  int ier;
  linarea(55, area, ier);
  EXPECT_EQ(ier, 3);
  EXPECT_EQ(errors.message, "LINAREA: internal error in coding XYE.");
}

TEST(Coding, LabelWordLayout) {
  contour_capacities();
  blok2.n = 2;
  labin(2, 1100, -3, 9);
  int lab, i1, i2;
  labout(2, lab, i1, i2);
  EXPECT_EQ(lab, 1100);
  EXPECT_EQ(i1, -3);
  EXPECT_EQ(i2, 9);
  unsigned char b[8];
  std::memcpy(b, &blok2[2][9], 8);
  // int32 label, then two int16, little-endian.
  EXPECT_EQ(b[0] + 256 * b[1], 1100);
  EXPECT_EQ(b[4], 0xFD);
  EXPECT_EQ(b[5], 0xFF);
  EXPECT_EQ(b[6], 9);
}

TEST(Coding, HeaderAndMarkerFile) {
  scratch_dir d;
  ASSERT_EQ(load(text(lshape()), 30e9), 0);
  const xye_row& h = blok2[1];
  EXPECT_DOUBLE_EQ(h[1], 30.0);  // GHz, positive once segmented
  EXPECT_EQ(h[4], 0.30000001192092896);
  EXPECT_EQ(xye_unit_code(), 3);
  unsigned char w[8];
  std::memcpy(w, &h[11], 8);
  EXPECT_EQ(w[4], 0);
  EXPECT_EQ(w[5], 'Y');
  int cap, rows;
  get2i(h[12], cap, rows);
  EXPECT_EQ(cap, 400);
  EXPECT_EQ(rows, blok2.n);
  EXPECT_TRUE(std::ifstream("ap.dat").good());
}
