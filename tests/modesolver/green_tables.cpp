// Kernel tables, weights and pcont on a small hand-made contour: entries
// against direct kernel evaluations at points and images placed here from
// the element end points, cache rereading, weights against Gauss
// quadrature, and the frame of the circular magnetic table against
// differences of the scalar kernel in Cartesian coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "contour/contour.hpp"
#include "modesolver/green_kernels.hpp"
#include "modesolver/green_tables.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "run/runfiles.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

namespace {

const double pi = 3.141592653589793;
const int NEL = 5;

// Open polyline of NEL straight elements, rows 2 .. NEL + 1, one regular
// function centred on each, with arbitrary coefficients.
void setup(double a, double b, int sx, int sy, double rot = 0) {
  dat.a = a, dat.b = b, dat.symx = sx, dat.symy = sy, dat.offset = 0.4, dat.status = 0;
  contour_capacities();
  const double rect[NEL + 1][2] = {{0.15, 0.12}, {0.32, 0.18}, {0.45, 0.27},
                                   {0.58, 0.33}, {0.75, 0.3},  {0.88, 0.2}};
  const double circ[NEL + 1][2] = {{0.1, 0.15}, {0.3, 0.2},  {0.45, 0.35},
                                   {0.5, 0.55}, {0.4, 0.7},  {0.2, 0.8}};
  blok2.n = NEL + 1;
  blok2[1][10] = 1e-6;
  double s = 0;
  for (int i = 1; i <= NEL; ++i) {
    const double(*p)[2] = b > 0 ? rect : circ;
    double c = std::cos(rot), sn = std::sin(rot);
    xye_row& r = blok2[i + 1];
    r[1] = c * p[i - 1][0] - sn * p[i - 1][1], r[2] = sn * p[i - 1][0] + c * p[i - 1][1];
    r[3] = c * p[i][0] - sn * p[i][1], r[4] = sn * p[i][0] + c * p[i][1];
    double len = std::hypot(r[3] - r[1], r[4] - r[2]);
    r[6] = s, r[7] = s + len, s += len;
  }
  gcoord(0);
  fbo.cap = 450;
  fbo.nfb = fbo.nreg = NEL;
  for (int f = 1; f <= NEL; ++f) {
    fbo[f].i = f + 1;
    fbo[f].iip = f > 1 ? f : 0;
    fbo[f].iis = f < NEL ? f + 2 : 0;
    for (int k = 1; k <= 9; ++k) fbo[f].c[k] = std::sin(1.7 * f + 2.3 * k);
    matco[f + 1].v[16] = f;
  }
  const char* names[4] = {"t_gmat.tmp", "t_gstmat.tmp", "t_gha.tmp", "t_ght.tmp"};
  for (int k = 1; k <= 4; ++k) run_files.ftmp[k] = names[k - 1];
  green_first = greenv_first = 1;
  greenha_done[1] = greenha_done[2] = 0;
}

// Point k of row ie from its end points, and the list of images.
void pt(int ie, int k, double& x, double& y) {
  const xye_row& r = blok2[ie];
  x = 0.5 * (r[1] + r[3]) + (k - 2) * 0.4 * (r[3] - r[1]);
  y = 0.5 * (r[2] + r[4]) + (k - 2) * 0.4 * (r[4] - r[2]);
}
void chord(int ie, double& tx, double& ty) {
  const xye_row& r = blok2[ie];
  double l = std::hypot(r[3] - r[1], r[4] - r[2]);
  tx = (r[3] - r[1]) / l, ty = (r[4] - r[2]) / l;
}
struct img {
  double mx, my, sg;
};
std::vector<img> image_list() {
  std::vector<img> v;
  for (double mx : {1.0, -1.0}) {
    if (mx < 0 && dat.symy == 0) break;
    for (double my : {1.0, -1.0}) {
      if (my < 0 && dat.symx == 0) break;
      v.push_back({mx, my, (mx < 0 ? dat.symy : 1) * (my < 0 ? dat.symx : 1) * 1.0});
    }
  }
  return v;
}
// Kernel coordinates of a contour point: corner-based, or polar.
void kc(double x, double y, double& u, double& v) {
  if (dat.b > 0) {
    u = x + (dat.symy ? dat.a / 2 : 0), v = y + (dat.symx ? dat.b / 2 : 0);
  } else {
    u = std::hypot(x, y), v = std::atan2(y, x);
  }
}
double scalar(double x, double y, double x0, double y0) {
  double u, v, u0, v0;
  int st;
  kc(x, y, u, v), kc(x0, y0, u0, v0);
  return dat.b > 0 ? greenr(u, v, u0, v0, dat.a, dat.b, -7, st) : greenc(u, v, u0, v0, dat.a, -7, st);
}

// Five-point Gauss-Legendre rule on [-1, 1].
const double gx[5] = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831,
                      0.9061798459386640};
const double gw[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                      0.4786286704993665, 0.2369268850561891};

struct cls {
  double a, b;
  int sx, sy;
};
const cls classes[] = {{2, 1, 0, 0}, {2, 1, 1, -1}, {2, 1, -1, 0}, {2, 2.5, 0, 1},
                       {1, 0, 0, 0}, {1, 0, 1, 1},  {1, 0, -1, 1}};

}  // namespace

TEST(GreenTables, ScalarTableMatchesDirectEvaluation) {
  scratch_dir dir;
  for (const cls& c : classes) {
    setup(c.a, c.b, c.sx, c.sy);
    green(0);
    EXPECT_EQ(green_first, 0);
    auto im = image_list();
    ASSERT_EQ(matw.nrow, 3 * NEL * int(im.size()));
    ASSERT_EQ(matw.ncol, 3 * NEL);
    for (int fj = 1; fj <= NEL; ++fj)
      for (int jk = 1; jk <= 3; ++jk)
        for (size_t m = 0; m < im.size(); ++m)
          for (int fi = 1; fi <= NEL; ++fi)
            for (int ik = 1; ik <= 3; ++ik) {
              double x, y, x0, y0;
              pt(fj + 1, jk, x, y);
              pt(fi + 1, ik, x0, y0);
              double ref = scalar(x, y, im[m].mx * x0, im[m].my * y0);
              int row = ik + 3 * (fi - 1) + 3 * NEL * int(m), col = jk + 3 * (fj - 1);
              EXPECT_NEAR(matw(row, col), ref, 1e-13) << c.a << " " << c.b << " " << row << " " << col;
            }
  }
}

TEST(GreenTables, CachesAreReadBackBitIdentical) {
  scratch_dir dir;
  setup(2, 1, 1, 0);
  auto check = [](auto build, int file) {
    build();
    std::vector<double> first(&matw.v[1], &matw.v[1] + matw.nrow * matw.ncol);
    EXPECT_TRUE(file_exists(run_files.ftmp[file]));
    std::memset(&matw.v[1], 0, sizeof(double) * first.size());
    build();  // the second use reads the cache
    EXPECT_EQ(std::memcmp(first.data(), &matw.v[1], sizeof(double) * first.size()), 0);
    bool nonzero = false;
    for (double v : first) nonzero = nonzero || v != 0;
    EXPECT_TRUE(nonzero);
  };
  check([] { green(1); }, 1);
  check([] { greenv(1); }, 2);
  check([] { greenha(1); }, 3);
  EXPECT_EQ(greenha_done[1], 1);
  EXPECT_EQ(greenha_done[2], 0);
  check([] { greenha(2); }, 4);
  EXPECT_EQ(greenha_done[2], 1);
  // A reread really comes from the file: a stale file is what is read.
  std::vector<double> stale(matw.nrow * matw.ncol, 7.0);
  std::FILE* f = std::fopen(run_files.ftmp[4].c_str(), "wb");
  std::fwrite(stale.data(), sizeof(double), stale.size(), f);
  std::fclose(f);
  greenha(2);
  EXPECT_EQ(matw(1, 2), 7.0);
  remove_tmpfiles();
  for (int k = 1; k <= 4; ++k) EXPECT_FALSE(file_exists(run_files.ftmp[k]));
}

TEST(GreenTables, ElectricTableEntries) {
  scratch_dir dir;
  for (const cls& c : classes) {
    setup(c.a, c.b, c.sx, c.sy);
    greenv(1);
    auto im = image_list();
    for (int fj = 1; fj <= NEL; ++fj)
      for (int jk = 1; jk <= 3; ++jk)
        for (size_t m = 0; m < im.size(); ++m)
          for (int fi = 1; fi <= NEL; ++fi)
            for (int ik = 1; ik <= 3; ++ik) {
              double x, y, x0, y0, tx, ty, sx, sy, u, v, u0, v0, e[4];
              int st;
              pt(fj + 1, jk, x, y), chord(fj + 1, tx, ty);
              pt(fi + 1, ik, x0, y0), chord(fi + 1, sx, sy);
              x0 *= im[m].mx, y0 *= im[m].my, sx *= im[m].mx, sy *= im[m].my;
              kc(x, y, u, v), kc(x0, y0, u0, v0);
              double ref;
              if (c.b > 0) {
                eir(u, v, u0, v0, c.a, c.b, e[0], e[1], e[2], e[3], -7, st);
                ref = tx * (e[0] * sx + e[1] * sy) + ty * (e[2] * sx + e[3] * sy);
              } else {
                eic(u, v, u0, v0, c.a, e[0], e[1], e[2], e[3], -7, st);
                // Polar unit vectors of the field (left) and source (right) points.
                double L[2][2] = {{std::cos(v), std::sin(v)}, {-std::sin(v), std::cos(v)}};
                double R[2][2] = {{std::cos(v0), std::sin(v0)}, {-std::sin(v0), std::cos(v0)}};
                ref = 0;
                for (int i = 0; i < 2; ++i)
                  for (int j = 0; j < 2; ++j)
                    ref += (L[i][0] * tx + L[i][1] * ty) * e[2 * i + j] * (R[j][0] * sx + R[j][1] * sy);
              }
              int row = ik + 3 * (fi - 1) + 3 * NEL * int(m), col = jk + 3 * (fj - 1);
              EXPECT_NEAR(matw(row, col), ref, 1e-13);
            }
  }
}

// The Cartesian contraction does not depend on how the circular aperture is
// turned about the centre.
TEST(GreenTables, CircularTablesInvariantUnderRotation) {
  scratch_dir dir;
  std::vector<double> t0[3];
  for (double rot : {0.0, 0.9}) {
    setup(1, 0, 0, 0, rot);
    int k = 0;
    for (auto build : {+[] { greenv(1); }, +[] { greenha(1); }, +[] { greenha(2); }}) {
      build();
      std::vector<double> t(&matw.v[1], &matw.v[1] + matw.nrow * matw.ncol);
      if (rot == 0) {
        t0[k] = t;
      } else {
        for (size_t i = 0; i < t.size(); ++i) EXPECT_NEAR(t[i], t0[k][i], 1e-12) << k << " " << i;
      }
      ++k;
    }
  }
}

TEST(GreenTables, MagneticTableEntries) {
  scratch_dir dir;
  for (const cls& c : classes) {
    setup(c.a, c.b, c.sx, c.sy);
    auto im = image_list();
    for (int imt : {1, 2}) {
      greenha(imt);
      for (int fj = 1; fj <= NEL; ++fj)
        for (int jk = 1; jk <= 3; ++jk)
          for (size_t m = 0; m < im.size(); ++m)
            for (int fi = 1; fi <= NEL; ++fi)
              for (int ik = 1; ik <= 3; ++ik) {
                int row = ik + 3 * (fi - 1) + 3 * NEL * int(m), col = jk + 3 * (fj - 1);
                if (jk != 2) {  // only the middle points are field points
                  EXPECT_EQ(matw(row, col), 0.0);
                  continue;
                }
                double x, y, x0, y0, tx, ty, sx, sy, u, v, u0, v0, hx, hy, ref;
                int st;
                pt(fj + 1, jk, x, y), chord(fj + 1, tx, ty);
                pt(fi + 1, ik, x0, y0), chord(fi + 1, sx, sy);
                x0 *= im[m].mx, y0 *= im[m].my, sx *= im[m].mx, sy *= im[m].my;
                kc(x, y, u, v), kc(x0, y0, u0, v0);
                if (imt == 2) {
                  // TM: (dG/dy, -dG/dx) at the field point on its chord, here
                  // by differences of the regular scalar kernel in x and y.
                  double h = 1e-6;
                  double gy = (scalar(x, y + h, x0, y0) - scalar(x, y - h, x0, y0)) / (2 * h);
                  double gx = (scalar(x + h, y, x0, y0) - scalar(x - h, y, x0, y0)) / (2 * h);
                  ref = gy * tx - gx * ty;
                  EXPECT_NEAR(matw(row, col), ref, 1e-7) << c.a << " " << c.b;
                  continue;
                }
                if (c.b > 0) {
                  hir(u, v, u0, v0, c.a, c.b, hx, hy, -7, st);
                } else {
                  double hr, hp;
                  hic(u, v, u0, v0, c.a, hr, hp, -7, st);
                  hx = hr * std::cos(v0) - hp * std::sin(v0);
                  hy = hr * std::sin(v0) + hp * std::cos(v0);
                }
                ref = hx * sx + hy * sy;
                EXPECT_NEAR(matw(row, col), ref, 1e-13);
              }
    }
  }
}

TEST(GreenTables, WeightsIntegrateQuadraticsExactly) {
  setup(2, 1, 0, 0);
  auto g = [](double t) { return 0.3 - 1.1 * t + 2.7 * t * t; };  // any quadratic
  for (int ind : {0, 1}) {
    gcof(ind);
    for (int f = 1; f <= NEL; ++f) {
      int rows[4] = {0, fbo[f].iip, fbo[f].i, fbo[f].iis};
      for (int s = 1; s <= 3; ++s) {
        double p = fbo[f].c[3 * s - 2], q = fbo[f].c[3 * s - 1], r = fbo[f].c[3 * s];
        double len = rows[s] ? elen(rows[s]) : 0, ref = 0;
        for (int k = 0; k < 5; ++k) {
          double t = gx[k] / 2;
          double dens = ind ? 2 * p * t + q : ((p * t + q) * t + r) * len;
          ref += gw[k] / 2 * dens * g(t);
        }
        if (!rows[s]) ref = 0;
        double rule = cof(1, f, s) * g(-0.4) + cof(2, f, s) * g(0) + cof(3, f, s) * g(0.4);
        EXPECT_NEAR(rule, ref, 1e-14) << ind << " " << f << " " << s;
      }
    }
  }
}

// The weights of a basis table grown beyond a plain run's 450 functions
// (the convergence passes size it from the limits): every function gets its
// own, those of a copy of a function equal the original's.  The sanitized
// build runs this case too: weights kept in a table of the plain run's size
// were written past its end (a fine pass of a ring stopped on a segmentation
// fault in the kernel sums that read them).
TEST(GreenTables, WeightsOfAGrownBasisTable) {
  setup(2, 1, 0, 0);
  const int n = 1200;
  fbo.set_capacity(n);
  fbo.nfb = fbo.nreg = n;
  for (int f = NEL + 1; f <= n; ++f) fbo[f] = fbo[(f - 1) % NEL + 1];
  for (int ind : {0, 1}) {
    gcof(ind);
    for (int f = NEL + 1; f <= n; ++f)
      for (int s = 1; s <= 3; ++s)
        for (int k = 1; k <= 3; ++k)
          ASSERT_EQ(cof(k, f, s), cof(k, (f - 1) % NEL + 1, s)) << ind << " " << f << " " << s << " " << k;
  }
  fbo.set_capacity(450);
  fbo.nfb = fbo.nreg = NEL;
}

// pcont sums the weighted table over the images with their signs; for a
// smooth regular kernel it is close to Gauss quadrature along the source.
TEST(GreenTables, PcontIsTheWeightedImageSum) {
  scratch_dir dir;
  for (const cls& c : classes) {
    setup(c.a, c.b, c.sx, c.sy);
    green(1);
    gcof(0);
    auto im = image_list();
    for (int f = 1; f <= NEL; ++f)
      for (int s = 1; s <= 3; ++s) {
        int ie = s == 1 ? fbo[f].iip : s == 2 ? fbo[f].i : fbo[f].iis;
        if (ie == 0) continue;
        double p = fbo[f].c[3 * s - 2], q = fbo[f].c[3 * s - 1], r = fbo[f].c[3 * s];
        for (int je = 2; je <= NEL + 1; ++je)
          for (int j = 1; j <= 3; ++j) {
            double x, y, direct = 0, gauss = 0;
            pt(je, j, x, y);
            const xye_row& e = blok2[ie];
            for (const img& m : im) {
              for (int k = 1; k <= 3; ++k) {
                double x0, y0;
                pt(ie, k, x0, y0);
                direct += m.sg * cof(k, f, s) * scalar(x, y, m.mx * x0, m.my * y0);
              }
              for (int n = 0; n < 5; ++n) {
                double t = gx[n] / 2;
                double x0 = 0.5 * (e[1] + e[3]) + t * (e[3] - e[1]);
                double y0 = 0.5 * (e[2] + e[4]) + t * (e[4] - e[2]);
                gauss += m.sg * ((p * t + q) * t + r) * elen(ie) * gw[n] / 2 *
                         scalar(x, y, m.mx * x0, m.my * y0);
              }
            }
            double v = pcont(je, j, ie, f, s, matw);
            EXPECT_NEAR(v, direct, 1e-13);
            EXPECT_NEAR(v, gauss, 2e-3 * (1e-2 + std::fabs(gauss))) << c.a << " " << c.b << " " << c.sx << c.sy << " je " << je << " ie " << ie;
          }
      }
  }
}

TEST(GreenTables, OversizedTableIsRefused) {
  scratch_dir dir;
  setup(2, 1, 1, 1);
  fbo.nreg = fbo.nfb = 450;  // 9 450^2 entries times 4 images
  errors = {};
  green(0);
  EXPECT_EQ(dat.status, 1000);
  EXPECT_EQ(errors.code, 1000);
  EXPECT_EQ(errors.message, "GREEN: out of bound matrices");
  EXPECT_EQ(matw.nrow, 0);
  EXPECT_EQ(green_first, 1);  // still to be computed
}

// A table marked as computed whose cache is missing ends the run.
TEST(GreenTables, MissingCacheIsFatal) {
  scratch_dir dir;
  setup(2, 1, 0, 0);
  green_first = 0;
  EXPECT_FATAL(green(0), "Cannot open the Green's function cache t_gmat.tmp");
  greenha_done[2] = 1;
  EXPECT_FATAL(greenha(2), "Cannot open the Green's function cache t_ght.tmp");
}
