// The TM eigenproblem's regularised inverse of C: without regularisation it
// is the inverse of C; with an ill-conditioned C it replaces the Cholesky
// solution, after its warning on the listing, and the modes still agree
// with the reference.  The TM formulation's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "modesolver/basis_functions.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/guide_lists.hpp"
#include "modesolver/lapack.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/driver.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

const double pi = 3.141592653589793;

class TmSolver : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override { fss_set_capacities(); }
};

// The TM matrices of the coded L-shape for the limit kmax (1/mm).
void tm_matrices(double kmax) {
  code_boundary(reference_geometry("lshape"), 150);
  run_driver("tm\n");
  green_first = greenv_first = 1;  // the driver removed the caches
  greenha_done[1] = greenha_done[2] = 0;
  dat.status = 0;
  amo.n = amo.cap + 10;
  fbdef(1, 2, 0);
  int st = 0;
  gvett(st);
  gmor(-2 * kmax);
  gcs(2);
  grs(2);
}

}  // namespace

// Gram matrix of the basis functions (times the symmetry factor 1), by
// five-point Gauss quadrature of their products on every element.
double gram(int i, int j) {
  const double x[5] = {-0.9061798459386640, -0.5384693101056831, 0, 0.5384693101056831,
                       0.9061798459386640};
  const double wt[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                        0.4786286704993665, 0.2369268850561891};
  auto value = [](const fbo_entry& f, int row, double t) {
    const int rows[4] = {0, f.iip, f.i, f.iis};
    double v = 0;
    for (int s = 1; s <= 3; ++s)
      if (rows[s] == row) v += (f.c[3 * s - 2] * t + f.c[3 * s - 1]) * t + f.c[3 * s];
    return v;
  };
  double sum = 0;
  for (int row = 2; row <= blok2.n; ++row) {
    const double len = blok2[row][7] - blok2[row][6];
    for (int k = 0; k < 5; ++k)
      sum += wt[k] / 2 * len * value(fbo[i], row, x[k] / 2) * value(fbo[j], row, x[k] / 2);
  }
  return sum;
}

// Without regularisation the TM form (C G^-1 C)^-1 C G^-1 is C^-1 and the
// TEM form (C G^-1 C)^-1 C is C^-1 G (it solves C sigma = G T); the TM form
// leaves C G^-1 in place of C.
TEST_F(TmSolver, RegularisedInverseWithoutRegularisationIsTheInverse) {
  tm_matrices(2 * pi * 150 / 299.8);
  const int n = fbo.nfb;
  ASSERT_GT(fbo.nfb, fbo.nreg);  // corner functions are part of the basis
  std::vector<double> c(matc.data1(), matc.data1() + static_cast<long>(n) * n);
  for (int imt : {0, 2}) {
    for (long k = 0; k < static_cast<long>(n) * n; ++k) matc.v[k + 1] = c[k];
    int st = 0;
    regolar(imt, 0.0, st);
    ASSERT_EQ(st, 0);
    double worst = 0;
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) {
        double s = 0;  // (W C) for TM, (C W) for TEM
        for (int k = 1; k <= n; ++k)
          s += imt == 2 ? matd(i, k) * c[(k - 1) + static_cast<long>(j - 1) * n]
                        : c[(i - 1) + static_cast<long>(k - 1) * n] * matd(k, j);
        double want = imt == 2 ? (i == j ? 1 : 0) : gram(i, j);
        worst = std::fmax(worst, std::fabs(s - want));
      }
    EXPECT_LT(worst, 1e-6) << imt;
    bool replaced = false;
    for (long k = 0; k < static_cast<long>(n) * n; ++k) replaced |= matc.v[k + 1] != c[k];
    EXPECT_EQ(replaced, imt == 2);
  }
}

// C made indefinite in its weakest direction (its smallest eigenvalue
// pushed to -1e-9 of the largest): the Cholesky solve fails, the warning is
// written, the regularised inverse takes over, and the TM cutoffs of the
// L-shape still agree with the finite-element reference.
TEST_F(TmSolver, IllConditionedCUsesTheRegularisedInverse) {
  const double kmax = 2 * pi * 150 / 299.8;
  tm_matrices(kmax);
  const int n = fbo.nfb;
  std::vector<double> a(matc.data1(), matc.data1() + static_cast<long>(n) * n), w(n + 1);
  std::vector<double> work(3 * n * n);
  int lwork = 3 * n * n, info = 0;
  dsyev_("V", "U", &n, a.data(), &n, &w[1], work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  const double shift = w[1] + 1e-9 * w[n];
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) matc(i, j) -= shift * a[i - 1] * a[j - 1];
  testing::internal::CaptureStderr();
  int st = 0;
  prautotm(st);
  std::string listing = testing::internal::GetCapturedStderr();
  ASSERT_EQ(st, 0);
  EXPECT_NE(listing.find("    *** Warning ***" + std::string(56, ' ') + "\n"
                         "    ill-conditioning forced the program to compute" + std::string(25, ' ') +
                         "\n    an approximate inverse of a matrix" + std::string(37, ' ') + "\n"),
            std::string::npos)
      << listing;
  purge(2, kmax);
  std::vector<double> ref = reference_cutoffs("lshape", "tm");
  ASSERT_GE(vet1.n, 12);
  double worst = 0;
  for (int k = 1; k <= 12; ++k) {
    worst = std::fmax(worst, std::fabs(std::fabs(vet1[k]) / ref[k - 1] - 1));
    EXPECT_NEAR(std::fabs(vet1[k]), ref[k - 1], 1e-3 * ref[k - 1]) << k;
  }
  std::printf(" worst TM cutoff error with the regularised inverse: %.2e\n", worst);
}

// The TM formulation's failures through its own entry point.
TEST_F(TmSolver, FormulationErrors) {
  code_boundary(reference_geometry("lshape"), 60);
  run_driver("tm\n");
  testing::internal::CaptureStderr();
  fss_guidatm(10.0, 1.0, 0);  // more than 800 enclosing TM modes
  std::string listing = testing::internal::GetCapturedStderr();
  EXPECT_NE(dat.status, 0);
  EXPECT_EQ(errors.code, 1002);
  EXPECT_EQ(errors.message, "GUIDATM: out of bound matrices");
  EXPECT_NE(listing.find("GUIDATM: out of bound matrices\n"), std::string::npos);
  // A circular hole, class odd about x: the TM zeros the class admits run out.
  code_boundary({"3.5 0 3.5 0 -3.5 0"}, 60);
  run_driver("tm\n");
  dat.symx = -1;
  testing::internal::CaptureStderr();
  fss_guidatm(25.0, 1.0, 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors.code, 3017);
  EXPECT_EQ(errors.message, "GUIDATM: Bessel functions table out of bound");
  EXPECT_NE(dat.status, 0);
  // Twice the limit below the first TM cutoff of the enclosure (0.74 /mm):
  // no enclosing mode, no mode, no error.
  code_boundary(reference_geometry("lshape"), 60);
  run_driver("tm\n");
  green_first = 1;  // the driver removed the cache
  fss_guidatm(0.3, 1.0, 0);
  EXPECT_EQ(amo.n, 0);
  EXPECT_EQ(dat.status, 0);
  EXPECT_EQ(vet1.n, 0);
}
