// The symmetric eigenproblems of the mode computation (modesolver/lapack.hpp).
#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

#include "modesolver/lapack.hpp"

int large_eigenproblem_order = 1000;

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

int symmetric_eigen_above(int n, double* a, double* b, double* w, double lambda_min, int& m) {
  m = n;
  if (n < large_eigenproblem_order || !(lambda_min > 0)) return symmetric_eigen(n, a, b, w);
  m = 0;
  int info = 0;
  const int itype = 1;
  if (b) {
    // B = U^T U; A becomes U^-T A U^-1.
    dpotrf_("U", &n, b, &n, &info);
    if (info != 0) return n + info;
    dsygst_(&itype, "U", &n, a, &n, b, &n, &info);
    if (info != 0) return info;
  }
  std::vector<double> d(n), e(std::max(n - 1, 1)), tau(std::max(n - 1, 1));
  double wq = 0;
  int lwork = -1;
  dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), &wq, &lwork, &info);
  lwork = std::max(static_cast<int>(wq), 5 * n);
  std::vector<double> work(lwork);
  std::vector<int> iwork(3 * static_cast<std::size_t>(n));
  dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  // The eigenvalues in (lambda_min, vu], to the full accuracy that the
  // inverse iteration needs.
  const double vu = std::numeric_limits<double>::max() / 4, abstol = 2 * dlamch_("S");
  const int il = 0, iu = 0;
  int nsplit = 0;
  std::vector<double> lam(n);
  std::vector<int> iblock(n), isplit(n);
  dstebz_("V", "B", &n, &lambda_min, &vu, &il, &iu, &abstol, d.data(), e.data(), &m, &nsplit,
          lam.data(), iblock.data(), isplit.data(), work.data(), iwork.data(), &info);
  if (info != 0) return info;
  if (m == 0) return 0;
  std::vector<double> z(static_cast<std::size_t>(n) * m);
  std::vector<int> ifail(m);
  dstein_(&n, d.data(), e.data(), &m, lam.data(), iblock.data(), isplit.data(), z.data(), &n,
          work.data(), iwork.data(), ifail.data(), &info);
  if (info != 0) return info;
  int lq = -1;
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, &wq, &lq, &info);
  lq = static_cast<int>(wq) + 1;
  if (lq > lwork) work.resize(lq);
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, work.data(), &lq, &info);
  if (info != 0) return info;
  if (b) {
    const double one = 1;
    dtrsm_("L", "U", "N", "N", &n, &m, &one, b, &n, z.data(), &n);
  }
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
