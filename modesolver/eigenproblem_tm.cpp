// TM eigenproblem and the regularised inverse of C.
//
// TM: the wall is replaced by a single layer sigma (the normal derivative of
// Ez) in the enclosing guide; Ez = 0 on the contour gives C sigma + R u = 0,
// C the single-layer matrix of the basis functions, and the modal equations
// lambda u = D u + R^T sigma (lambda = 1/k^2, D = diag(1/kc^2)).  The
// boundary unknowns are eliminated, sigma = -C^-1 R u, leaving the standard
// symmetric problem (D - R^T C^-1 R) u = lambda u.
//
// Corner functions next to regular ones can make C nearly singular.  Then
// C^-1 is replaced by a regularised least-squares inverse: with G the Gram
// matrix of the functions and K that of their derivatives along the
// contour, (C G^-1 C + a0 K)^-1 C G^-1, a0 = alpha tr(C G^-1 C) / tr(K):
// the smoothest density whose single layer matches in the weak sense.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "contour/contour.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/lapack.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "run/messages.hpp"

namespace {

// Work space, sized at run time for the problem in hand: packed C, X =
// C^-1 R, the matrices of the regularised inverse (from 0) and the
// eigenvalues.
std::vector<double> packed, xsol, ginv, pmat, mmat, kmat, eigval;

int slot_row(const fbo_entry& e, int s) { return s == 1 ? e.iip : s == 2 ? e.i : e.iis; }

// Gram matrices of the functions (value, or derivative along the contour)
// over the elements they share, times the symmetry factor.
void gram(std::vector<double>& gv, bool derivative) {
  int nfb = fbo.nfb;
  gv.resize(static_cast<long>(nfb) * nfb + 1);
  double* g = gv.data();
  double f = cofsm();
  for (int j = 1; j <= nfb; ++j)
    for (int i = 1; i <= nfb; ++i) {
      double sum = 0;
      const fbo_entry &a = fbo[i], &b = fbo[j];
      for (int s = 1; s <= 3; ++s) {
        int row = slot_row(a, s);
        if (row == 0) continue;
        for (int t = 1; t <= 3; ++t) {
          if (slot_row(b, t) != row) continue;
          double p1 = a.c[3 * s - 2], q1 = a.c[3 * s - 1], r1 = a.c[3 * s];
          double p2 = b.c[3 * t - 2], q2 = b.c[3 * t - 1], r2 = b.c[3 * t];
          double len = elen(row);
          if (derivative)
            sum += (q1 * q2 + p1 * p2 / 3) / len;
          else
            sum += len * (p1 * p2 / 80 + (p1 * r2 + r1 * p2 + q1 * q2) / 12 + r1 * r2);
        }
      }
      g[i + static_cast<long>(j - 1) * nfb - 1] = f * sum;
    }
}

// Inverse of a symmetric positive-definite n x n matrix (column by column,
// from index 0) in place, through its packed Cholesky factor.
int invert_spd(double* m, int n) {
  packed.resize(static_cast<long>(n) * (n + 1) / 2 + 1);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) packed[packed_upper(i, j)] = m[(i - 1) + static_cast<long>(j - 1) * n];
  int info = 0;
  dpptrf_("U", &n, &packed[1], &info);
  if (info != 0) return info;
  dpptri_("U", &n, &packed[1], &info);
  if (info != 0) return info;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i)
      m[(i - 1) + static_cast<long>(j - 1) * n] = m[(j - 1) + static_cast<long>(i - 1) * n] =
          packed[packed_upper(i, j)];
  return 0;
}

void ill_conditioning_warning() {
  const char* lines[3] = {"    *** Warning ***", "    ill-conditioning forced the program to compute",
                          "    an approximate inverse of a matrix"};
  std::FILE* f = listing_unit() ? listing_unit() : stderr;
  for (const char* l : lines) {
    std::string s(l);
    s.resize(75, ' ');
    std::fprintf(f, "%s\n", s.c_str());
  }
  std::fflush(f);
}

}  // namespace

void regolar(int imt, double alpha, int& status) {
  const int n = fbo.nfb;
  status = 0;
  gram(ginv, false);
  if ((status = invert_spd(ginv.data(), n)) != 0) return;
  // P = C G^-1, M = P C.
  pmat.resize(static_cast<long>(n) * n + 1);
  mmat.resize(static_cast<long>(n) * n + 1);
  matmul("N", "N", n, n, n, &matc(1, 1), matc.nrow, ginv.data(), n, pmat.data());
  matmul("N", "N", n, n, n, pmat.data(), n, &matc(1, 1), matc.nrow, mmat.data());
  if (imt == 2)
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) matc(i, j) = pmat[(i - 1) + static_cast<long>(j - 1) * n];
  gram(kmat, true);
  double trm = 0, trk = 0;
  for (int i = 0; i < n; ++i) {
    trm += mmat[i + static_cast<long>(i) * n];
    trk += kmat[i + static_cast<long>(i) * n];
  }
  double a0 = trk > 0 ? alpha * trm / trk : 0;
  for (long k = 0; k < static_cast<long>(n) * n; ++k) mmat[k] += a0 * kmat[k];
  if ((status = invert_spd(mmat.data(), n)) != 0) return;
  matd.shape(n, n);
  matmul("N", "N", n, n, n, mmat.data(), n, &matc(1, 1), matc.nrow, matd.data1());
}

void prautotm(int& status, double kwanted) {
  status = 0;
  const int namo = amo.n, nfb = fbo.nfb;
  // X = C^-1 R.
  packed.resize(static_cast<long>(nfb) * (nfb + 1) / 2 + 1);
  xsol.resize(static_cast<long>(nfb) * namo + 1);
  for (int j = 1; j <= nfb; ++j)
    for (int i = 1; i <= j; ++i) packed[packed_upper(i, j)] = matc(i, j);
  for (int m = 1; m <= namo; ++m)
    for (int i = 1; i <= nfb; ++i) xsol[i + static_cast<long>(m - 1) * nfb] = matr(i, m);
  int info = 0;
  dppsv_("U", &nfb, &namo, &packed[1], &xsol[1], &nfb, &info);
  // The regularised inverse is not symmetric: R^T X is then not of the
  // form the reduction of the far guide modes needs.
  const bool regularised = info != 0;
  if (regularised) {
    ill_conditioning_warning();
    regolar(2, 0.001, status);
    if (status != 0) return;
    matmul("N", "N", nfb, namo, nfb, matd.data1(), nfb, &matr(1, 1), matr.nrow, &xsol[1]);
  }
  // A = D - R^T X in mata (namo x namo).
  mata.shape(namo, namo);
  matmul("T", "N", namo, namo, nfb, &matr(1, 1), matr.nrow, &xsol[1], nfb, mata.data1());
  for (long k = 1; k <= static_cast<long>(namo) * namo; ++k) mata.v[k] = -mata.v[k];
  for (int m = 1; m <= namo; ++m) mata(m, m) += 1 / (amo[m].kc * amo[m].kc);
  eigval.resize(namo + 1);
  int m = namo;
  info = guide_eigen_above(namo, mata.data1(), nullptr, &eigval[1], kwanted, m, namo, !regularised);
  if (info != 0) {
    console_line("errore in DSYEV, ier=" + free_int(info));
    status = info;
    return;
  }
  // Ascending cutoffs; eigenvector = (u, -X u) times k.
  matd.shape(namo, namo);
  ascending_modes(eigval.data(), namo, m);
  mata.shape(namo + nfb, m);
  if (namo >= large_eigenproblem_order) {
    // A large problem: -X u of every vector as one matrix product (a
    // smaller one keeps the sums below, and its results bit for bit).
    for (int j = 1; j <= m; ++j)
      for (int r = 1; r <= namo; ++r) mata(r, j) = matd(r, j);
    const double minus = -1, zero = 0;
    const int ldc = mata.nrow;
    dgemm_("N", "N", &nfb, &m, &namo, &minus, &xsol[1], &nfb, matd.data1(), &matd.nrow, &zero,
           &mata(namo + 1, 1), &ldc);
    return;
  }
  for (int j = 1; j <= m; ++j) {
    for (int r = 1; r <= namo; ++r) mata(r, j) = matd(r, j);
    for (int i = 1; i <= nfb; ++i) {
      double s = 0;
      for (int r = 1; r <= namo; ++r) s += xsol[i + static_cast<long>(r - 1) * nfb] * matd(r, j);
      mata(namo + i, j) = -s;
    }
  }
}
