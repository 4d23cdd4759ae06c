// Eigenproblems of the formulations.
//
// TE: the pencil [[D, R^T], [R, L]] x = lambda [[I, 0], [0, C]] x with
// lambda = 1/k^2.  C holds the charge energy of the currents, so it cannot
// see a current that is constant along a chain ending on the wall, on a
// symmetry plane of the odd class or closing on itself: such a current has
// no charge.  A change of basis T over every such (flagged) chain keeps the
// differences of neighbouring functions and adds one unit function per
// chain; in the new basis the chain unknowns appear in A only and are
// condensed out with the packed Cholesky inverse of their block of L.  The
// remaining problem has a positive-definite right-hand matrix and is solved
// by dsygv.
#include "modesolver/eigenproblem.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "modesolver/far_guide_modes.hpp"
#include "modesolver/lapack.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "run/messages.hpp"

fss_matrix matd(static_cast<long>(nmode_rows) * nmode_rows);
mata_rec mata(static_cast<long>(mata_rows_max) * mata_rows_max);
vet1_rec vet1;

namespace {

// Work space, sized at run time for the problem in hand (entries from 1).
// The change of basis, column by column (leading dimension nfb), and a copy
// buffer for the products.
std::vector<double> tmat, prod;
// Condensation: packed inverse of the chain block and S = Lss^-1 [Rs | Lsc]
// (leading dimension chains_max).
constexpr int chains_max = 30;
double lss[chains_max * (chains_max + 1) / 2 + 1];
std::vector<double> wcond, scond;
// The eigenvalues.
std::vector<double> eigval;

void build_t() {
  int nfb = fbo.nfb;
  tmat.assign(static_cast<long>(nfb) * nfb + 1, 0.0);
  for (int i = 1; i <= nfb; ++i) br(i, &tmat[static_cast<long>(i - 1) * nfb]);
}

double& tcol(int p, int a) { return tmat[p + static_cast<long>(a - 1) * fbo.nfb]; }

void lapack_error(const char* what, int info, int& status) {
  console_line(std::string(what) + free_int(info));
  status = info;
}

}  // namespace

void br(int i, double* col) {
  int nfb = fbo.nfb, nc = nfb - ltra.n;
  for (int p = 1; p <= nfb; ++p) col[p] = 0;
  if (i <= nc) {
    // The i-th function that is not the last of a flagged chain, minus its
    // successor on the chain.
    int count = 0;
    for (int p = 1; p <= nfb; ++p) {
      if (ivet[p] == 9999 || ++count != i) continue;
      col[p] = 1;
      if (ivet[p] > 0 && p + ivet[p] <= nfb) col[p + ivet[p]] = -1;
      return;
    }
    return;
  }
  // The unit function of the (i - nc)-th flagged chain.
  int target = i - nc, count = 0, start = 1;
  for (int e = 1; e <= ltra.storage() && ltra[e] != 0; ++e) {
    int end = ltra[e];
    if (ivet[end] == 9999 && ++count == target) {
      for (int k = start; k <= end; ++k) col[k] = avet[k];
      return;
    }
    start = end + 1;
  }
}

void damab(double* m11, int ld, int n, int m, int flag) {
  build_t();
  prod.resize(static_cast<long>(n) * std::max(n, m) + 1);
  auto mm = [&](int i, int j) -> double& { return m11[(i - 1) + static_cast<long>(j - 1) * ld]; };
  // T^T M
  for (int c = 1; c <= m; ++c)
    for (int a = 1; a <= n; ++a) {
      double s = 0;
      for (int p = 1; p <= n; ++p)
        if (tcol(p, a) != 0) s += tcol(p, a) * mm(p, c);
      prod[a + static_cast<long>(c - 1) * n] = s;
    }
  for (int c = 1; c <= m; ++c)
    for (int a = 1; a <= n; ++a) mm(a, c) = prod[a + static_cast<long>(c - 1) * n];
  if (flag == 1) return;
  // (T^T M) T
  for (int b = 1; b <= n; ++b)
    for (int r = 1; r <= n; ++r) {
      double s = 0;
      for (int q = 1; q <= n; ++q)
        if (tcol(q, b) != 0) s += mm(r, q) * tcol(q, b);
      prod[r + static_cast<long>(b - 1) * n] = s;
    }
  for (int b = 1; b <= n; ++b)
    for (int r = 1; r <= n; ++r) mm(r, b) = prod[r + static_cast<long>(b - 1) * n];
}

void ascending_modes(const double* lambda, int n, int m) {
  vet1.n = m;
  for (int j = 1; j <= m; ++j) {
    double lam = lambda[m - j + 1];
    vet1[j] = lam > 0 ? 1 / std::sqrt(lam) : lam;
    double k = lam > 0 ? vet1[j] : 1;
    for (int r = 1; r <= n; ++r) matd(r, j) = k * mata(r, m - j + 1);
  }
}

int guide_eigen_order = 0;

int guide_eigen_above(int n, double* a, double* b, double* w, double kwanted, int& m, int namo,
                      bool reducible) {
  guide_eigen_order = n;
  const double lambda_min = lowest_eigenvalue_wanted(kwanted);
  if (n < large_eigenproblem_order || !(kwanted > 0) || far_guide_blocks <= 0 || !reducible)
    return symmetric_eigen_above(n, a, b, w, lambda_min, m, namo);
  std::vector<int> far;
  std::vector<double> d, v;
  for (int h = 1; h <= namo; ++h)
    if (amo[h].kc > far_guide_split * kwanted) {
      far.push_back(h - 1);
      d.push_back(1 / (amo[h].kc * amo[h].kc));
    }
  const int nh = static_cast<int>(far.size()), nfb = fbo.nfb;
  v.resize(static_cast<std::size_t>(nh) * nfb);
  for (int i = 1; i <= nfb; ++i)
    for (int h = 0; h < nh; ++h) v[h + static_cast<std::size_t>(i - 1) * nh] = matr(i, far[h] + 1);
  return symmetric_eigen_above_reduced(n, a, b, w, lambda_min, m, namo, far, d, v, nfb);
}

double lowest_eigenvalue_wanted(double kwanted) {
  // That of a cutoff 2 % above the one asked for: the modes just above it
  // are left to the purge's own test, whichever way the eigen-driver rounds
  // them.
  return kwanted > 0 ? 1 / (1.02 * kwanted * 1.02 * kwanted) : 0;
}

void prautote(int& status, double kwanted) {
  status = 0;
  int namo = amo.n, nfb = fbo.nfb, nfl = ltra.n, nc = nfb - nfl, n = namo + nc;
  if (nfl > 0) {
    damab(&matc(1, 1), matc.nrow, nfb, nfb, 0);
    damab(&matl(1, 1), matl.nrow, nfb, nfb, 0);
    damab(&matr(1, 1), matr.nrow, nfb, namo, 1);
  }
  // A in mata, B in matd, both n x n.
  mata.shape(n, n);
  matd.shape(n, n);
  for (long k = 1; k <= static_cast<long>(n) * n; ++k) mata.v[k] = matd.v[k] = 0;
  for (int m = 1; m <= namo; ++m) {
    mata(m, m) = 1 / (amo[m].kc * amo[m].kc);
    matd(m, m) = 1;
  }
  for (int i = 1; i <= nc; ++i) {
    for (int m = 1; m <= namo; ++m) mata(namo + i, m) = mata(m, namo + i) = matr(i, m);
    for (int j = 1; j <= nc; ++j) {
      mata(namo + i, namo + j) = matl(i, j);
      matd(namo + i, namo + j) = matc(i, j);
    }
  }
  if (nfl > 0) {
    for (int j = 1; j <= nfl; ++j)
      for (int i = 1; i <= j; ++i) lss[packed_upper(i, j)] = matl(nc + i, nc + j);
    int info = 0;
    dpptrf_("U", &nfl, &lss[1], &info);
    if (info != 0) return lapack_error("errore in DPPTRF: ier=", info, status);
    dpptri_("U", &nfl, &lss[1], &info);
    if (info != 0) return lapack_error("errore in DPPTRI: ier=", info, status);
    // W = [Rs | Lsc], S = Lss^-1 W, A <- A - W^T S.
    wcond.resize(static_cast<long>(chains_max) * n + 1);
    scond.resize(static_cast<long>(chains_max) * n + 1);
    auto w = [](int s, int c) -> double& { return wcond[s + (c - 1) * chains_max]; };
    auto sc = [](int s, int c) -> double& { return scond[s + (c - 1) * chains_max]; };
    for (int s = 1; s <= nfl; ++s) {
      for (int m = 1; m <= namo; ++m) w(s, m) = matr(nc + s, m);
      for (int j = 1; j <= nc; ++j) w(s, namo + j) = matl(nc + s, j);
    }
    for (int c = 1; c <= n; ++c)
      for (int s = 1; s <= nfl; ++s) {
        double sum = 0;
        for (int t = 1; t <= nfl; ++t)
          sum += lss[s <= t ? packed_upper(s, t) : packed_upper(t, s)] * w(t, c);
        sc(s, c) = sum;
      }
    for (int b = 1; b <= n; ++b)
      for (int a = 1; a <= n; ++a) {
        double sum = 0;
        for (int s = 1; s <= nfl; ++s) sum += w(s, a) * sc(s, b);
        mata(a, b) -= sum;
      }
  }
  eigval.resize(n + 1);
  int m = n;
  // B = diag(I, C): the enclosing-guide modes are orthonormal.
  const int info = guide_eigen_above(n, mata.data1(), matd.data1(), &eigval[1], kwanted, m, namo);
  if (info != 0) return lapack_error("errore in DSYGV, ier=", info, status);

  // Eigenvectors kept in matd while mata takes its final layout.
  ascending_modes(eigval.data(), n, m);
  mata.shape(namo + nfb, m);
  std::vector<double> y(nfb + 1);
  auto sc = [](int s, int c) { return scond[s + (c - 1) * chains_max]; };
  for (int j = 1; j <= m; ++j) {
    // Unknowns of the new basis: the nc kept, then the condensed chain ones.
    for (int i = 1; i <= nc; ++i) y[i] = matd(namo + i, j);
    for (int s = 1; s <= nfl; ++s) {
      double sum = 0;
      for (int c = 1; c <= n; ++c) sum += sc(s, c) * matd(c, j);
      y[nc + s] = -sum;
    }
    for (int m = 1; m <= namo; ++m) mata(m, j) = matd(m, j);
    for (int p = 1; p <= nfb; ++p) {
      double sum = 0;
      if (nfl == 0) {
        sum = y[p];
      } else {
        for (int a = 1; a <= nfb; ++a)
          if (tcol(p, a) != 0) sum += tcol(p, a) * y[a];
      }
      mata(namo + p, j) = sum;
    }
  }
}
