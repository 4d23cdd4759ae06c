// Boundary basis functions and their chains on coded contours of real
// shapes: continuity, end conditions, norms, placement of the corner
// functions, and the chain change of basis.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "contour/contour.hpp"
#include "modesolver/basis_functions.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "contour/apb2dat.hpp"
#include "support/contour_table.hpp"
#include "support/tmpdir.hpp"

namespace {

using pts = std::vector<std::pair<double, double>>;

struct seg {
  double x1, y1, x2, y2;
};

// Closed polygon through the vertices; every edge cut into `split` pieces
// of unequal lengths (1 : 2 : 3 ...), as segmentation leaves them.
std::vector<seg> polygon(const pts& p, int split = 1) {
  std::vector<seg> v;
  for (size_t i = 0; i < p.size(); ++i) {
    auto a = p[i], b = p[(i + 1) % p.size()];
    double tot = split * (split + 1) / 2.0, acc = 0;
    for (int k = 1; k <= split; ++k) {
      double t0 = acc / tot;
      acc += k;
      double t1 = acc / tot;
      v.push_back({a.first + t0 * (b.first - a.first), a.second + t0 * (b.second - a.second),
                   a.first + t1 * (b.first - a.first), a.second + t1 * (b.second - a.second)});
    }
  }
  return v;
}

std::vector<seg> join(std::vector<seg> a, const std::vector<seg>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Codes the segments into the contour table as the boundary reader does
// (straight elements, box from the element ends); radius > 0 selects a
// circular enclosure of that radius centred at the origin.
int code(const std::vector<seg>& v, int isx = 0, int isy = 0, double radius = 0) {
  double xmin = 1e30, xmax = -1e30, ymin = 1e30, ymax = -1e30;
  for (const seg& e : v) {
    xmin = std::fmin(xmin, std::fmin(e.x1, e.x2));
    xmax = std::fmax(xmax, std::fmax(e.x1, e.x2));
    ymin = std::fmin(ymin, std::fmin(e.y1, e.y2));
    ymax = std::fmax(ymax, std::fmax(e.y1, e.y2));
  }
  double a = radius > 0 ? radius : xmax - xmin, b = radius > 0 ? 0 : ymax - ymin;
  if (isy && radius == 0) a *= 2;
  if (isx && radius == 0) b *= 2;
  start_xye_table(a, b, isx, isy, std::fmax(a, b) / 1000);
  int n = 1;
  for (const seg& e : v) put_xye_element(++n, e.x1, e.y1, e.x2, e.y2);
  return code_xye_table(n);
}

void solver(int sx = 0, int sy = 0) {
  dat.symx = sx;
  dat.symy = sy;
  dat.status = 0;
  fbo.cap = 450;
  ltra.cap = 30;
}

// Value and arc-length slope of slot k (1 pred, 2 central, 3 succ) of a
// function at t.
double val(const fbo_entry& f, int k, double t) {
  const double* c = &f.c[3 * k - 2];
  return (c[0] * t + c[1]) * t + c[2];
}
double slope(const fbo_entry& f, int k, int row, double t) {
  const double* c = &f.c[3 * k - 2];
  return (2 * c[0] * t + c[1]) / elen(row);
}
int row_of(const fbo_entry& f, int k) { return k == 1 ? f.iip : k == 2 ? f.i : f.iis; }

// L2 norm along the contour by three-point Gauss quadrature (exact here).
double norm2(const fbo_entry& f) {
  const double x[3] = {-std::sqrt(0.15), 0, std::sqrt(0.15)}, w[3] = {5 / 18.0, 8 / 18.0, 5 / 18.0};
  double s = 0;
  for (int k = 1; k <= 3; ++k) {
    int row = row_of(f, k);
    if (row == 0) continue;
    for (int j = 0; j < 3; ++j) s += w[j] * elen(row) * std::pow(val(f, k, x[j]), 2);
  }
  return s;
}

double scale(const fbo_entry& f) {
  double m = 0;
  for (int k = 1; k <= 9; ++k) m = std::fmax(m, std::abs(f.c[k]));
  return m;
}

// A regular function: neighbours on its line, continuity of value and slope,
// zero value and slope at its far ends, unit norm, and its end condition.
void check_regular(int k) {
  SCOPED_TRACE(testing::Message() << "function " << k << " type " << fbo[k].type);
  const fbo_entry& f = fbo[k];
  double sc = scale(f) * 1e-12;
  int ip, is;
  elcont(ip, f.i, is);
  EXPECT_NEAR(norm2(f), 1.0, 1e-12);
  bool cut_start = f.type == -1 || f.type == -2, cut_end = f.type == 1 || f.type == 2;
  if (cut_start) {
    EXPECT_EQ(f.iip, 0);
    if (f.type == -1) {
      EXPECT_NEAR(slope(f, 2, f.i, -0.5) * elen(f.i), 0, sc);
    } else {
      EXPECT_NEAR(val(f, 2, -0.5), 0, sc);
    }
  } else {
    ASSERT_EQ(f.iip, ip);
    EXPECT_NEAR(val(f, 1, 0.5), val(f, 2, -0.5), sc);
    EXPECT_NEAR(slope(f, 1, ip, 0.5), slope(f, 2, f.i, -0.5), sc / elen(f.i) * 10);
    EXPECT_NEAR(val(f, 1, -0.5), 0, sc);
    EXPECT_NEAR(slope(f, 1, ip, -0.5) * elen(ip), 0, sc);
  }
  if (cut_end) {
    EXPECT_EQ(f.iis, 0);
    if (f.type == 1) {
      EXPECT_NEAR(slope(f, 2, f.i, 0.5) * elen(f.i), 0, sc);
    } else {
      EXPECT_NEAR(val(f, 2, 0.5), 0, sc);
    }
  } else {
    ASSERT_EQ(f.iis, is);
    EXPECT_NEAR(val(f, 2, 0.5), val(f, 3, -0.5), sc);
    EXPECT_NEAR(slope(f, 2, f.i, 0.5), slope(f, 3, is, -0.5), sc / elen(f.i) * 10);
    EXPECT_NEAR(val(f, 3, 0.5), 0, sc);
    EXPECT_NEAR(slope(f, 3, is, 0.5) * elen(is), 0, sc);
  }
}

// Vertex at which a corner function sits.
std::pair<double, double> vertex(const fbo_entry& f) {
  double x1, y1, x2, y2;
  eends(f.i, x1, y1, x2, y2);
  if (f.type == -12) return {x1, y1};
  return {x2, y2};
}

// A corner function: continuous everywhere, smooth except at its vertex,
// zero with zero slope at its far ends except at the chain end it touches.
void check_special(int k) {
  SCOPED_TRACE(testing::Message() << "special " << k << " type " << fbo[k].type);
  const fbo_entry& f = fbo[k];
  double sc = scale(f) * 1e-12;
  EXPECT_NEAR(norm2(f), 1.0, 1e-12);
  switch (f.type) {
    case 10:
    case 11:
      if (f.type == 11) {
        EXPECT_NEAR(val(f, 1, 0.5), val(f, 2, -0.5), sc);
        EXPECT_NEAR(slope(f, 1, f.iip, 0.5), slope(f, 2, f.i, -0.5), sc * 10 / elen(f.i));
        EXPECT_NEAR(val(f, 1, -0.5), 0, sc);
      } else {
        EXPECT_EQ(f.iip, 0);
        EXPECT_NEAR(val(f, 2, -0.5), 0, sc);
        EXPECT_NEAR(slope(f, 2, f.i, -0.5), 0, sc);
      }
      EXPECT_GT(std::abs(val(f, 2, 0.5)), 0.1);  // the vertex value
      EXPECT_NEAR(val(f, 2, 0.5), val(f, 3, -0.5), sc);
      EXPECT_GT(std::abs(slope(f, 2, f.i, 0.5) - slope(f, 3, f.iis, -0.5)), 1e-3);  // kink
      EXPECT_NEAR(val(f, 3, 0.5), 0, sc);
      EXPECT_NEAR(slope(f, 3, f.iis, 0.5), 0, sc);
      break;
    case 12:
      EXPECT_EQ(f.iis, 0);
      EXPECT_NEAR(val(f, 1, -0.5), 0, sc);
      EXPECT_NEAR(slope(f, 1, f.iip, -0.5), 0, sc);
      EXPECT_NEAR(val(f, 1, 0.5), val(f, 2, -0.5), sc);
      EXPECT_NEAR(slope(f, 1, f.iip, 0.5), slope(f, 2, f.i, -0.5), sc * 10 / elen(f.i));
      EXPECT_GT(std::abs(val(f, 2, 0.5)), 0.1);
      break;
    case -12:
      EXPECT_EQ(f.iip, 0);
      EXPECT_NEAR(val(f, 3, 0.5), 0, sc);
      EXPECT_NEAR(slope(f, 3, f.iis, 0.5), 0, sc);
      EXPECT_NEAR(val(f, 2, 0.5), val(f, 3, -0.5), sc);
      EXPECT_NEAR(slope(f, 2, f.i, 0.5), slope(f, 3, f.iis, -0.5), sc * 10 / elen(f.i));
      EXPECT_GT(std::abs(val(f, 2, -0.5)), 0.1);
      break;
    default:
      ADD_FAILURE() << "unknown special type";
  }
}

void check_all() {
  EXPECT_EQ(dat.status, 0);
  for (int k = 1; k <= fbo.nreg; ++k) check_regular(k);
  for (int k = fbo.nreg + 1; k <= fbo.nfb; ++k) check_special(k);
  // Every row of a line carries exactly one regular function, noted in matco.
  int rows = 0;
  for (int r = 2; r <= blok2.n; ++r) {
    int lab = label(r);
    if (lab >= 1 && lab <= 999) {
      ++rows;
      int k = int(matco[r].v[16]);
      ASSERT_TRUE(k >= 1 && k <= fbo.nreg) << "row " << r;
      EXPECT_EQ(fbo[k].i, r);
    }
  }
  EXPECT_EQ(rows, fbo.nreg);
}

std::vector<int> types(int from, int to) {
  std::vector<int> t;
  for (int k = from; k <= to; ++k) t.push_back(fbo[k].type);
  return t;
}

// Special functions found: (type, vertex).
std::vector<std::pair<int, std::pair<double, double>>> specials() {
  std::vector<std::pair<int, std::pair<double, double>>> s;
  for (int k = fbo.nreg + 1; k <= fbo.nfb; ++k) {
    auto v = vertex(fbo[k]);
    v.first = std::round(v.first * 1e6) / 1e6;
    v.second = std::round(v.second * 1e6) / 1e6;
    s.push_back({fbo[k].type, v});
  }
  std::sort(s.begin(), s.end());
  return s;
}

using sp = std::vector<std::pair<int, std::pair<double, double>>>;

const pts lshape = {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}};
const pts stairs = {{0, 0}, {10, 0}, {10, 5}, {7, 5}, {7, 8}, {4, 8}, {4, 10}, {0, 10}};
const pts cross = {{4, 0}, {8, 0}, {8, 4}, {12, 4}, {12, 8}, {8, 8},
                   {8, 12}, {4, 12}, {4, 8}, {0, 8}, {0, 4}, {4, 4}};

}  // namespace

TEST(basis_functions, l_shape_te_has_one_open_chain_with_zero_slope_ends) {
  ASSERT_EQ(code(polygon(lshape, 3)), 0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 6);  // two re-entrant edges in three pieces each
  EXPECT_EQ(fbo.nfb, 6);
  EXPECT_EQ(types(1, 6), (std::vector<int>{-1, 0, 0, 0, 0, 1}));
  check_all();
}

TEST(basis_functions, l_shape_tm_has_zero_value_ends_and_corner_functions_at_the_wall) {
  ASSERT_EQ(code(polygon(lshape, 3)), 0);
  solver();
  fbdef(1, 2, 0);
  ASSERT_EQ(fbo.nreg, 6);
  EXPECT_EQ(types(1, 6), (std::vector<int>{-2, 0, 0, 0, 0, 2}));
  // Convex right angles where the chain leaves and meets the wall; none at
  // the re-entrant corner (4, 4).
  EXPECT_EQ(specials(), (sp{{-12, {10, 4}}, {12, {4, 10}}}));
  check_all();
  // TEM takes the TM end conditions without corner functions.
  solver();
  fbdef(0, 0, 0);
  EXPECT_EQ(types(1, fbo.nfb), (std::vector<int>{-2, 0, 0, 0, 0, 2}));
}

TEST(basis_functions, staircase_tm_has_one_interior_corner_function) {
  ASSERT_EQ(code(polygon(stairs, 2)), 0);
  solver();
  fbdef(1, 2, 0);
  EXPECT_EQ(fbo.nreg, 8);
  EXPECT_EQ(specials(), (sp{{-12, {10, 5}}, {10, {7, 8}}, {12, {4, 10}}}));
  check_all();
}

TEST(basis_functions, cross_has_four_chains) {
  ASSERT_EQ(code(polygon(cross, 2)), 0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 16);
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(types(4 * c + 1, 4 * c + 4), (std::vector<int>{-1, 0, 0, 1})) << c;
  check_all();
  solver();
  fbdef(1, 2, 0);
  EXPECT_EQ(fbo.nfb - fbo.nreg, 8);
  EXPECT_EQ(specials(), (sp{{-12, {0, 4}}, {-12, {4, 12}}, {-12, {8, 0}}, {-12, {12, 8}},
                            {12, {0, 8}}, {12, {4, 0}}, {12, {8, 12}}, {12, {12, 4}}}));
  check_all();
}

TEST(basis_functions, annulus_inner_line_is_a_closed_chain) {
  auto v = join(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), polygon({{3, 3}, {7, 3}, {7, 7}, {3, 7}}, 2));
  ASSERT_EQ(code(v), 0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 8);  // the outer square lies on the wall
  EXPECT_EQ(types(1, 8), (std::vector<int>{-3, 0, 0, 0, 0, 0, 0, 3}));
  check_all();
  solver();
  fbdef(1, 2, 0);  // the inner line turns right at its corners: no corner function
  EXPECT_EQ(fbo.nfb, 8);
  check_all();
}

TEST(basis_functions, rectangle_in_a_circular_enclosure) {
  ASSERT_EQ(code(polygon({{-4, -3}, {4, -3}, {4, 3}, {-4, 3}}, 2), 0, 0, 5.0), 0);
  ASSERT_EQ(blok2[1][7], 0.0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 8);
  EXPECT_EQ(types(1, 8), (std::vector<int>{-3, 0, 0, 0, 0, 0, 0, 3}));
  check_all();
  solver();
  fbdef(1, 2, 0);
  // One kinked corner function at each convex right angle of the outer line.
  EXPECT_EQ(specials(), (sp{{10, {-4, -3}}, {10, {-4, 3}}, {10, {4, -3}}, {10, {4, 3}}}));
  check_all();
}

TEST(basis_functions, l_shaped_inner_conductor_has_a_corner_function_of_an_inner_line) {
  auto v = join(polygon({{0, 0}, {20, 0}, {20, 20}, {0, 20}}),
                polygon({{5, 5}, {15, 5}, {15, 9}, {9, 9}, {9, 15}, {5, 15}}));
  ASSERT_EQ(code(v), 0);
  solver();
  fbdef(1, 2, 0);
  EXPECT_EQ(fbo.nreg, 6);
  // The inner line runs clockwise: its only left turn is at the notch.
  EXPECT_EQ(specials(), (sp{{11, {9, 9}}}));
  check_all();
}

TEST(basis_functions, chain_ending_on_the_y0_symmetry_plane_follows_the_class) {
  auto v = polygon({{0, 0}, {6, 0}, {6, 4}, {10, 4}, {10, 8}, {0, 8}}, 2);
  struct {
    int sx, imt;
    std::vector<int> t;
    size_t nsp;
  } cases[] = {{1, 1, {-2, 0, 0, 1}, 0}, {-1, 1, {-1, 0, 0, 1}, 0},
               {1, 2, {-1, 0, 0, 2}, 1}, {-1, 2, {-2, 0, 0, 2}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "symx " << c.sx << " imt " << c.imt);
    ASSERT_EQ(code(v, 1, 0), 0);
    solver(c.sx, 0);
    fbdef(c.imt == 2 ? 1 : 0, c.imt, 0);
    EXPECT_EQ(types(1, fbo.nreg), c.t);
    // Only the corner at the wall end: the plane meets the chain at a right
    // angle, which with its mirror image is no corner at all.
    EXPECT_EQ(specials().size(), c.nsp);
    if (c.nsp == 1) {
      EXPECT_EQ(specials(), (sp{{12, {10, 4}}}));
    }
    check_all();
  }
}

TEST(basis_functions, chain_ending_on_the_x0_symmetry_plane_follows_the_class) {
  auto v = polygon({{0, 0}, {8, 0}, {8, 10}, {4, 10}, {4, 6}, {0, 6}}, 2);
  struct {
    int sy, imt;
    std::vector<int> t;
  } cases[] = {{1, 1, {-1, 0, 0, 2}}, {-1, 1, {-1, 0, 0, 1}},
               {1, 2, {-2, 0, 0, 1}}, {-1, 2, {-2, 0, 0, 2}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "symy " << c.sy << " imt " << c.imt);
    ASSERT_EQ(code(v, 0, 1), 0);
    solver(0, c.sy);
    fbdef(c.imt == 2 ? 1 : 0, c.imt, 0);
    EXPECT_EQ(types(1, fbo.nreg), c.t);
    if (c.imt == 2) {
      EXPECT_EQ(specials(), (sp{{-12, {4, 10}}}));
    }
    check_all();
  }
}

TEST(basis_functions, contour_on_the_wall_only_has_no_function) {
  ASSERT_EQ(code(polygon({{0, 0}, {10, 0}, {10, 6}, {0, 6}}, 2)), 0);
  solver();
  fbdef(1, 2, 0);
  EXPECT_EQ(fbo.nfb, 0);
  EXPECT_EQ(fbo.nreg, 0);
  EXPECT_EQ(dat.status, 0);
}

TEST(basis_functions, equal_elements_give_the_textbook_interior_function) {
  // Inner square in four equal pieces per side: every function spans three
  // equal elements, p = -4/3, q = 0, r = 1 before normalisation.
  auto v = join(polygon({{0, 0}, {12, 0}, {12, 12}, {0, 12}}), polygon({{2, 2}, {10, 2}, {10, 10}, {2, 10}}));
  std::vector<seg> w;
  for (const seg& s : v) {
    bool inner = s.x1 > 1 && s.x1 < 11 && s.y1 > 1 && s.y1 < 11;
    int n = inner ? 4 : 1;
    for (int k = 0; k < n; ++k)
      w.push_back({s.x1 + (s.x2 - s.x1) * k / n, s.y1 + (s.y2 - s.y1) * k / n,
                   s.x1 + (s.x2 - s.x1) * (k + 1) / n, s.y1 + (s.y2 - s.y1) * (k + 1) / n});
  }
  ASSERT_EQ(code(w), 0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 16);
  for (int k = 1; k <= 16; ++k) {
    const fbo_entry& f = fbo[k];
    EXPECT_NEAR(f.c[4] / f.c[6], -4.0 / 3.0, 1e-13);
    EXPECT_NEAR(f.c[5] / f.c[6], 0.0, 1e-13);
  }
  check_all();
}

TEST(basis_functions, overflow_of_the_table_is_status_1020) {
  ASSERT_EQ(code(polygon(stairs, 2)), 0);
  solver();
  fbo.cap = 9;  // 8 regular functions and 3 corner functions do not fit
  fbdef(1, 2, 0);
  EXPECT_EQ(dat.status, 1020);
  EXPECT_EQ(fbo.nfb, 9);
  solver();
  fbo.cap = 5;
  fbdef(0, 1, 0);
  EXPECT_EQ(dat.status, 1020);
  EXPECT_EQ(fbo.nfb, 5);
  EXPECT_EQ(fbo.nreg, 5);
}

namespace {

// Value at arc length s of the function combination sum_k x_k f_k.
double combination(const std::vector<double>& x, int row, double t) {
  double s = 0;
  for (int k = 1; k <= fbo.nfb; ++k) {
    const fbo_entry& f = fbo[k];
    for (int j = 1; j <= 3; ++j)
      if (row_of(f, j) == row) s += x[k] * val(f, j, t);
  }
  return s;
}

// Change of basis T (columns from 1): difference columns for the functions
// that do not end a flagged chain, then one avet column per flagged chain.
std::vector<std::vector<double>> change_of_basis(int& nc) {
  int n = fbo.nfb;
  std::vector<std::vector<double>> t(n + 1, std::vector<double>(n + 1, 0));
  nc = n - ltra.n;
  int col = 0;
  for (int p = 1; p <= n; ++p) {
    if (ivet[p] == 9999) continue;
    ++col;
    t[col][p] = 1;
    if (ivet[p] > 0) {
      EXPECT_LE(p + ivet[p], n) << "successor beyond the table";
      if (p + ivet[p] <= n) t[col][p + ivet[p]] = -1;
    }
  }
  EXPECT_EQ(col, nc);
  // Flagged chains: the run of ivet = 1 functions ending at a 9999.
  int c = 0;
  for (int e = 1; e <= n; ++e) {
    if (ivet[e] != 9999) continue;
    ++c;
    int k = e;
    do {
      t[nc + c][k] = avet[k];
      --k;
    } while (k >= 1 && ivet[k] == 1);
  }
  return t;
}

// Determinant by Gaussian elimination with partial pivoting (columns as rows).
double det(std::vector<std::vector<double>> m) {
  int n = int(m.size()) - 1;
  double d = 1;
  for (int i = 1; i <= n; ++i) {
    int piv = i;
    for (int r = i + 1; r <= n; ++r)
      if (std::abs(m[r][i]) > std::abs(m[piv][i])) piv = r;
    if (m[piv][i] == 0) return 0;
    if (piv != i) {
      std::swap(m[piv], m[i]);
      d = -d;
    }
    d *= m[i][i];
    for (int r = i + 1; r <= n; ++r) {
      double f = m[r][i] / m[i][i];
      for (int c = i; c <= n; ++c) m[r][c] -= f * m[i][c];
    }
  }
  return d;
}

}  // namespace

TEST(gvett, chains_of_a_cross_with_an_inner_conductor) {
  // Four open chains (the arms' re-entrant edges) and one closed inner line.
  auto v = join(polygon(cross, 2), polygon({{5, 5}, {7, 5}, {7, 7}, {5, 7}}, 2));
  ASSERT_EQ(code(v), 0);
  for (int imt : {1, 2}) {
    SCOPED_TRACE(imt == 1 ? "TE" : "TM");
    solver();
    fbdef(imt == 2 ? 1 : 0, imt, 0);
    ASSERT_EQ(fbo.nreg, 24);
    int st = -1;
    gvett(st);
    EXPECT_EQ(st, 0);
    // Every chain end is listed, in order; the rest of the list is clear.
    const int ends[5] = {4, 8, 12, 16, 24};
    for (int c = 1; c <= 5; ++c) EXPECT_EQ(ltra[c], ends[c - 1]);
    for (int c = 6; c <= 30; ++c) EXPECT_EQ(ltra[c], 0);
    // TE chains have zero-slope ends and are all flagged; TM open chains
    // end with zero value and only the closed inner line is flagged.
    EXPECT_EQ(ltra.n, imt == 1 ? 5 : 1);
    for (int k = 1; k <= fbo.nfb; ++k) {
      bool flagged = imt == 1 ? k <= 24 : (k > 16 && k <= 24);
      bool last = k == 4 || k == 8 || k == 12 || k == 16 || k == 24;
      EXPECT_EQ(ivet[k], flagged ? (last ? 9999 : 1) : 0) << k;
      if (flagged) {
        EXPECT_DOUBLE_EQ(avet[k], 1 / (fbo[k].c[6] - fbo[k].c[4] / 4));
      } else {
        EXPECT_EQ(avet[k], 0.0);
      }
    }
    // The change of basis is invertible: the differences of neighbours and
    // one weighted sum per flagged chain span the same space as the functions.
    int nc;
    auto t = change_of_basis(nc);
    EXPECT_EQ(nc, fbo.nfb - ltra.n);
    EXPECT_GT(std::abs(det(t)), 1e-6);
    // A difference column has no net weight on its chain.
    for (int c = 1; c <= nc; ++c) {
      double sum = 0, mag = 0;
      for (int k = 1; k <= fbo.nfb; ++k) {
        sum += t[c][k];
        mag += std::abs(t[c][k]);
      }
      EXPECT_TRUE(sum == 0 || mag == 1) << c;
    }
    // The avet column of the closed inner line is the unit function there
    // (equal elements along it: exactly 1 everywhere).
    std::vector<double> x(fbo.nfb + 1, 0);
    for (int k = 1; k <= fbo.nfb; ++k) x[k] = t[nc + ltra.n][k];
    for (int r = 2; r <= blok2.n; ++r) {
      if (label(r) < 101 || label(r) > 999) continue;
      for (double tt : {-0.5, -0.2, 0.0, 0.3, 0.5}) EXPECT_NEAR(combination(x, r, tt), 1.0, 1e-12);
    }
  }
}

TEST(gvett, more_than_thirty_chains_is_status_1030) {
  // 31 small inner conductors, each a closed chain of its own.
  std::vector<seg> v = polygon({{0, 0}, {80, 0}, {80, 40}, {0, 40}});
  for (int k = 0; k < 31; ++k) {
    double x = 2 + 9 * (k % 8), y = 2 + 9 * (k / 8);
    v = join(v, polygon({{x, y}, {x + 4, y}, {x + 4, y + 4}, {x, y + 4}}));
  }
  ASSERT_EQ(code(v), 0);
  solver();
  fbdef(0, 1, 0);
  ASSERT_EQ(fbo.nreg, 124);
  int st = 0;
  gvett(st);
  EXPECT_EQ(st, 1030);
  // With one conductor fewer the list is full but fits.
  ASSERT_EQ(code(std::vector<seg>(v.begin(), v.end() - 4)), 0);
  solver();
  fbdef(0, 1, 0);
  gvett(st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(ltra.n, 30);
  // Each conductor is one closed chain: first function -3, last 3.
  for (int c = 1; c <= 30; ++c) {
    EXPECT_EQ(ltra[c], 4 * c);
    EXPECT_EQ(types(4 * c - 3, 4 * c), (std::vector<int>{-3, 0, 0, 3})) << c;
  }
}

TEST(basis_functions, half_shape_read_from_a_boundary_file_with_a_port) {
  // The lower edge is a port: the file describes the upper half of an
  // aperture symmetric about y = 0; reading codes and segments it.
  scratch_dir d;
  scratch_dir::write_file("ap.apb",
                          "0 0 6 0 port\n6 0 6 4\n6 4 10 4\n10 4 10 8\n10 8 0 8\n0 8 0 0\n");
  contour_capacities();
  std::string name = "ap";
  apb2dat(name, 30e9);  // quarter wavelength 2.5 mm: the chain is segmented
  ASSERT_EQ(errors.code, 0);
  int isx, isy;
  get2i(blok2[1][8], isx, isy);
  ASSERT_EQ(isx, 1);
  for (int sx : {1, -1}) {
    solver(sx, 0);
    fbdef(0, 1, 0);
    ASSERT_GE(fbo.nreg, 4);
    EXPECT_EQ(fbo[1].type, sx == 1 ? -2 : -1);
    EXPECT_EQ(fbo[fbo.nreg].type, 1);
    for (int k = 2; k < fbo.nreg; ++k) EXPECT_EQ(fbo[k].type, 0);
    check_all();
    int st;
    gvett(st);
    EXPECT_EQ(ltra.n, sx == 1 ? 0 : 1);
  }
}
