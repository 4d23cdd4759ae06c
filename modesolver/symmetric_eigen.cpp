// The symmetric eigenproblems of the mode computation (modesolver/lapack.hpp).
#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

#include "modesolver/lapack.hpp"

int large_eigenproblem_order = 1000;
bool subset_by_bisection = false;

int symmetric_eigen(int n, double* a, double* b, double* w) {
  if (n <= 0) return 0;
  int info = 0;
  // The work space (order n^2) lives for the call only: a large problem's
  // must not stay while the couplings and the sweep take theirs.
  std::vector<double> work;
  std::vector<int> iwork;
  if (n < large_eigenproblem_order) {
    const int lwork = std::max(n * n, 3 * n - 1);
    work.resize(lwork);
    const int itype = 1;
    if (b)
      dsygv_(&itype, "V", "U", &n, a, &n, b, &n, w, work.data(), &lwork, &info);
    else
      dsyev_("V", "U", &n, a, &n, w, work.data(), &lwork, &info);
    return info;
  }
  // Work space query, then the solve.
  double wq = 0;
  int iq = 0, lwork = -1, liwork = -1;
  const int itype = 1;
  if (b)
    dsygvd_(&itype, "V", "U", &n, a, &n, b, &n, w, &wq, &lwork, &iq, &liwork, &info);
  else
    dsyevd_("V", "U", &n, a, &n, w, &wq, &lwork, &iq, &liwork, &info);
  if (info != 0) return info;
  lwork = static_cast<int>(wq) + 1;
  liwork = std::max(iq, 1);
  work.resize(lwork);
  iwork.resize(liwork);
  if (b)
    dsygvd_(&itype, "V", "U", &n, a, &n, b, &n, w, work.data(), &lwork, iwork.data(), &liwork, &info);
  else
    dsyevd_("V", "U", &n, a, &n, w, work.data(), &lwork, iwork.data(), &liwork, &info);
  return info;
}

namespace {

// The eigenpairs in (lambda_min, inf) of the tridiagonal form (d, e): by
// relatively robust representations, first asked for their count (the
// columns the vectors need), then for that many of the largest; should
// they fail, by bisection (to full accuracy) and inverse iteration.
// Vectors in z (n x m).
int tridiagonal_pairs_above(int n, const std::vector<double>& d, const std::vector<double>& e,
                            double lambda_min, std::vector<double>& lam, std::vector<double>& z,
                            int& m) {
  const double vu = std::numeric_limits<double>::max() / 4;
  const int il = 0, iu = 0, query = -1, lwork = 18 * n, liwork = 10 * n;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  int info = 0;
  if (!subset_by_bisection) {
    // The count above lambda_min (a Sturm count), then the pairs by their
    // index: the largest nzc, so that the solve cannot return more vectors
    // than the table holds when an eigenvalue lies within rounding of the
    // bound (the callers' bound sits 2 % beyond the modes they read).
    std::vector<double> dq = d, eq = e;
    double count = 0;
    int tryrac = 1;
    std::vector<int> isuppz(2);
    dstemr_("V", "V", &n, dq.data(), eq.data(), &lambda_min, &vu, &il, &iu, &m, lam.data(), &count,
            &n, &query, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
    const int nzc = std::min(static_cast<int>(count), n);
    if (info == 0 && nzc <= 0) {
      m = 0;
      return 0;
    }
    if (info == 0) {
      z.assign(static_cast<std::size_t>(n) * nzc, 0.0);
      isuppz.resize(2 * static_cast<std::size_t>(nzc));
      dq = d, eq = e, tryrac = 1;
      const int first = n - nzc + 1, last = n;
      dstemr_("V", "I", &n, dq.data(), eq.data(), &lambda_min, &vu, &first, &last, &m, lam.data(),
              z.data(), &n, &nzc, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork,
              &info);
      if (info == 0) return 0;
    }
  }
  const double abstol = 2 * dlamch_("S");
  int nsplit = 0;
  std::vector<int> iblock(n), isplit(n);
  dstebz_("V", "B", &n, &lambda_min, &vu, &il, &iu, &abstol, d.data(), e.data(), &m, &nsplit,
          lam.data(), iblock.data(), isplit.data(), work.data(), iwork.data(), &info);
  if (info != 0 || m == 0) return info;
  z.assign(static_cast<std::size_t>(n) * m, 0.0);
  std::vector<int> ifail(m);
  dstein_(&n, d.data(), e.data(), &m, lam.data(), iblock.data(), isplit.data(), z.data(), &n,
          work.data(), iwork.data(), ifail.data(), &info);
  return info;
}

}  // namespace

int symmetric_eigen_above(int n, double* a, double* b, double* w, double lambda_min, int& m,
                          int identity_order) {
  m = n;
  if (n < large_eigenproblem_order || !(lambda_min > 0)) return symmetric_eigen(n, a, b, w);
  m = 0;
  int info = 0;
  const int itype = 1, k = b ? std::clamp(identity_order, 0, n) : 0, nb = n - k;
  const double one = 1;
  // B = diag(I, B22), B22 = U^T U: A becomes diag(I, U^-T) A diag(I, U^-1),
  // its leading block untouched.
  double* b22 = b ? b + k + static_cast<std::size_t>(k) * n : nullptr;
  if (b && nb > 0) {
    dpotrf_("U", &nb, b22, &n, &info);
    if (info != 0) return n + k + info;
    dsygst_(&itype, "U", &nb, a + k + static_cast<std::size_t>(k) * n, &n, b22, &n, &info);
    if (info != 0) return info;
    if (k > 0) dtrsm_("R", "U", "N", "N", &k, &nb, &one, b22, &n, a + static_cast<std::size_t>(k) * n, &n);
  }
  std::vector<double> d(n), e(n), tau(std::max(n - 1, 1));
  double wq = 0;
  int lwork = -1;
  dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), &wq, &lwork, &info);
  lwork = std::max(static_cast<int>(wq), 1);
  std::vector<double> work(lwork);
  dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  std::vector<double> lam(n), z;
  info = tridiagonal_pairs_above(n, d, e, lambda_min, lam, z, m);
  if (info != 0) return info;
  if (m == 0) return 0;
  int lq = -1;
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, &wq, &lq, &info);
  lq = static_cast<int>(wq) + 1;
  if (lq > lwork) work.resize(lq);
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, work.data(), &lq, &info);
  if (info != 0) return info;
  if (b && nb > 0) dtrsm_("L", "U", "N", "N", &nb, &m, &one, b22, &n, z.data() + k, &n);
  // Ascending, as the whole spectrum comes (bisection orders by block).
  std::vector<int> order(m);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int i, int j) { return lam[i] < lam[j]; });
  for (int j = 0; j < m; ++j) {
    w[j] = lam[order[j]];
    std::copy_n(&z[static_cast<std::size_t>(order[j]) * n], n, a + static_cast<std::size_t>(j) * n);
  }
  return 0;
}
