// The eigenpairs above a bound, solved for alone, against the whole
// spectrum of the QR drivers: the same eigenvalues and the same vectors (or,
// for a degenerate eigenvalue, the same space), B-orthonormal, ascending
// across the blocks into which the tridiagonal form splits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "modesolver/lapack.hpp"

namespace {

using matrix = std::vector<double>;  // column by column, order n

// Q diag(values) Q^T with Q orthogonal (Householder products of random
// vectors), so that the spectrum, degeneracies included, is known exactly.
matrix with_spectrum(const std::vector<double>& values, std::mt19937& rng) {
  const int n = static_cast<int>(values.size());
  std::normal_distribution<double> g;
  matrix a(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) a[i + static_cast<std::size_t>(i) * n] = values[i];
  for (int h = 0; h < 3; ++h) {
    std::vector<double> v(n);
    double vv = 0;
    for (double& x : v) {
      x = g(rng);
      vv += x * x;
    }
    // A <- H A H with H = I - 2 v v^T / v^T v.
    for (int pass = 0; pass < 2; ++pass) {
      for (int c = 0; c < n; ++c) {
        double s = 0;
        for (int r = 0; r < n; ++r) s += v[r] * a[r + static_cast<std::size_t>(c) * n];
        for (int r = 0; r < n; ++r) a[r + static_cast<std::size_t>(c) * n] -= 2 * s / vv * v[r];
      }
      // The transpose, so that the second pass applies H from the right.
      for (int c = 0; c < n; ++c)
        for (int r = 0; r < c; ++r)
          std::swap(a[r + static_cast<std::size_t>(c) * n], a[c + static_cast<std::size_t>(r) * n]);
    }
  }
  return a;
}

matrix spd(int n, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1, 1);
  matrix b(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      const double x = i == j ? 4 + u(rng) : 0.3 * u(rng) / (1 + std::abs(i - j));
      b[i + static_cast<std::size_t>(j) * n] = b[j + static_cast<std::size_t>(i) * n] = x;
    }
  return b;
}

double entry(const matrix& m, int n, int r, int c) { return m[r + static_cast<std::size_t>(c) * n]; }

// |A z - lambda B z| and the B-inner products of the vectors found.
void check_pairs(const matrix& a, const matrix* b, int n, const double* w, const matrix& z, int m,
                 double& residual, double& orthonormality) {
  residual = orthonormality = 0;
  for (int j = 0; j < m; ++j) {
    for (int r = 0; r < n; ++r) {
      double az = 0, bz = 0;
      for (int c = 0; c < n; ++c) {
        az += entry(a, n, r, c) * entry(z, n, c, j);
        bz += (b ? entry(*b, n, r, c) : r == c) * entry(z, n, c, j);
      }
      residual = std::max(residual, std::abs(az - w[j] * bz));
    }
    for (int k = 0; k < m; ++k) {
      double s = 0;
      for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
          s += entry(z, n, r, j) * (b ? entry(*b, n, r, c) : r == c) * entry(z, n, c, k);
      orthonormality = std::max(orthonormality, std::abs(s - (j == k)));
    }
  }
}

}  // namespace

TEST(SubsetEigenproblem, PairsAboveTheBoundAsTheWholeSpectrumGivesThem) {
  std::mt19937 rng(7);
  const int n = 60;
  // Eigenvalues 1/k^2 of a mode spectrum, with degenerate pairs and one
  // triple, and a few non-positive ones as a pencil may have.
  std::vector<double> values;
  for (int i = 0; i < n; ++i) {
    const double k = 1 + 0.37 * (i / 2) + (i % 5 == 0 ? 0.011 * i : 0);
    values.push_back(i < 3 ? -0.5 * i : 1 / (k * k));
  }
  values[10] = values[11] = values[12];
  const int saved = large_eigenproblem_order;
  // The standard problem, the generalised one, and one whose B is the
  // identity on its leading block (of order 40), reduced through the rest;
  // the tridiagonal pairs by relatively robust representations and by the
  // bisection that stands in when they fail.
  for (int kind = 0; kind < 6; ++kind) {
    subset_by_bisection = kind >= 3;
    const bool generalised = kind % 3 > 0;
    const int identity = kind % 3 == 2 ? 40 : 0;
    const matrix a0 = with_spectrum(values, rng);
    matrix b0 = spd(n, rng);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        if (std::min(i, j) < identity) b0[i + static_cast<std::size_t>(j) * n] = i == j;
    // The whole spectrum, by the QR drivers.
    large_eigenproblem_order = 1 << 30;
    matrix af = a0, bf = b0;
    std::vector<double> wf(n);
    ASSERT_EQ(symmetric_eigen(n, af.data(), generalised ? bf.data() : nullptr, wf.data()), 0);
    // About the 20 largest wanted, the bound in a gap of the spectrum (a
    // degenerate eigenvalue wholly in or out).
    int gap = n - 20;
    while (wf[gap] - wf[gap - 1] < 1e-6) --gap;
    const double bound = 0.5 * (wf[gap - 1] + wf[gap]);
    const int wanted = static_cast<int>(std::count_if(wf.begin(), wf.end(), [&](double x) { return x > bound; }));
    ASSERT_GE(wanted, 15);
    large_eigenproblem_order = 1;
    matrix as = a0, bs = b0;
    std::vector<double> ws(n, 0.0);
    int m = -1;
    ASSERT_EQ(
        symmetric_eigen_above(n, as.data(), generalised ? bs.data() : nullptr, ws.data(), bound, m, identity),
        0);
    ASSERT_EQ(m, wanted);
    double residual = 0, orthonormality = 0;
    check_pairs(a0, generalised ? &b0 : nullptr, n, ws.data(), as, m, residual, orthonormality);
    EXPECT_LT(residual, 1e-12) << kind;
    EXPECT_LT(orthonormality, 1e-12) << kind;
    for (int j = 0; j < m; ++j) {
      EXPECT_NEAR(ws[j], wf[n - m + j], 1e-13) << j;
      if (j > 0) {
        EXPECT_LE(ws[j - 1], ws[j]);
      }
    }
    // Each vector of the whole spectrum lies in the space of the vectors
    // found for its eigenvalue (within 1e-10 of it): its B-projection on
    // them keeps its B-norm.
    for (int j = 0; j < m; ++j) {
      double kept = 0;
      for (int k = 0; k < m; ++k) {
        if (std::abs(ws[k] - ws[j]) > 1e-10) continue;
        double s = 0;
        for (int r = 0; r < n; ++r)
          for (int c = 0; c < n; ++c)
            s += entry(af, n, r, n - m + j) * (generalised ? entry(b0, n, r, c) : r == c) * entry(as, n, c, k);
        kept += s * s;
      }
      EXPECT_NEAR(kept, 1, 1e-10) << j;
    }
    // A bound above every eigenvalue: none; no bound: the whole spectrum.
    as = a0, bs = b0;
    ASSERT_EQ(symmetric_eigen_above(n, as.data(), generalised ? bs.data() : nullptr, ws.data(), 10, m), 0);
    EXPECT_EQ(m, 0);
    as = a0, bs = b0;
    ASSERT_EQ(symmetric_eigen_above(n, as.data(), generalised ? bs.data() : nullptr, ws.data(), 0, m), 0);
    EXPECT_EQ(m, n);
    EXPECT_NEAR(ws[0], wf[0], 1e-12);
  }
  subset_by_bisection = false;
  large_eigenproblem_order = saved;
}

// A tridiagonal form that splits into blocks: the pairs are found block by
// block and must still come in ascending order with their vectors.
TEST(SubsetEigenproblem, BlocksOfTheTridiagonalFormComeInAscendingOrder) {
  const int n = 12;
  matrix a(static_cast<std::size_t>(n) * n, 0.0);
  // Diagonal blocks of order 4 whose spectra interleave.
  for (int blk = 0; blk < 3; ++blk)
    for (int i = 0; i < 4; ++i) {
      const int r = 4 * blk + i;
      a[r + static_cast<std::size_t>(r) * n] = 10 - 3 * i + 0.5 * blk;
      if (i < 3) a[r + static_cast<std::size_t>(r + 1) * n] = a[r + 1 + static_cast<std::size_t>(r) * n] = 0.1;
    }
  const int saved = large_eigenproblem_order;
  large_eigenproblem_order = 1;
  for (bool bisection : {false, true}) {
    subset_by_bisection = bisection;
    matrix z = a;
    std::vector<double> w(n);
    int m = 0;
    ASSERT_EQ(symmetric_eigen_above(n, z.data(), nullptr, w.data(), 3, m), 0);
    ASSERT_EQ(m, 9);  // the diagonal's 10, 7, 4 of each block, moved a little
    double residual = 0, orthonormality = 0;
    check_pairs(a, nullptr, n, w.data(), z, m, residual, orthonormality);
    EXPECT_LT(residual, 1e-13) << bisection;
    EXPECT_LT(orthonormality, 1e-13) << bisection;
    for (int j = 1; j < m; ++j) EXPECT_LT(w[j - 1], w[j]) << bisection;
  }
  subset_by_bisection = false;
  large_eigenproblem_order = saved;
}

// A right-hand matrix that is not positive definite: LAPACK's convention,
// n plus the order of the first minor that fails.
TEST(SubsetEigenproblem, RightHandMatrixNotPositiveDefinite) {
  const int n = 5;
  matrix a(n * n, 0.0), b(n * n, 0.0);
  for (int i = 0; i < n; ++i) {
    a[i + i * n] = 1 + i;
    b[i + i * n] = i == 2 ? -1 : 1;
  }
  const int saved = large_eigenproblem_order;
  large_eigenproblem_order = 1;
  std::vector<double> w(n);
  int m = 0;
  EXPECT_EQ(symmetric_eigen_above(n, a.data(), b.data(), w.data(), 0.5, m), n + 3);
  // The same minor when the leading block of order 2 is taken as the identity.
  for (int i = 0; i < n; ++i) a[i + i * n] = 1 + i;
  EXPECT_EQ(symmetric_eigen_above(n, a.data(), b.data(), w.data(), 0.5, m, 2), n + 3);
  large_eigenproblem_order = saved;
}
