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
  lwork = std::max(static_cast<int>(wq), 18 * n);
  std::vector<double> work(lwork);
  const int liwork = 10 * n;
  std::vector<int> iwork(liwork);
  dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  // The eigenpairs of the tridiagonal form in (lambda_min, vu]: first their
  // count (the columns the vectors need), then the pairs.
  const double vu = std::numeric_limits<double>::max() / 4;
  const int il = 0, iu = 0, query = -1;
  std::vector<double> lam(n);
  int tryrac = 1;
  std::vector<double> dq = d, eq = e;
  double count = 0;
  std::vector<int> isuppz(2);
  dstemr_("V", "V", &n, dq.data(), eq.data(), &lambda_min, &vu, &il, &iu, &m, lam.data(), &count,
          &n, &query, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
  if (info != 0) return info;
  const int nzc = static_cast<int>(count);
  if (nzc == 0) return 0;
  std::vector<double> z(static_cast<std::size_t>(n) * nzc);
  isuppz.resize(2 * static_cast<std::size_t>(nzc));
  tryrac = 1;
  dstemr_("V", "V", &n, d.data(), e.data(), &lambda_min, &vu, &il, &iu, &m, lam.data(), z.data(),
          &n, &nzc, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
  if (info != 0) return info;
  if (m == 0) return 0;
  int lq = -1;
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, &wq, &lq, &info);
  lq = static_cast<int>(wq) + 1;
  if (lq > lwork) work.resize(lq);
  dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, work.data(), &lq, &info);
  if (info != 0) return info;
  if (b && nb > 0) dtrsm_("L", "U", "N", "N", &nb, &m, &one, b22, &n, z.data() + k, &n);
  // Ascending, as the whole spectrum comes.
  std::vector<int> order(m);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int i, int j) { return lam[i] < lam[j]; });
  for (int j = 0; j < m; ++j) {
    w[j] = lam[order[j]];
    std::copy_n(&z[static_cast<std::size_t>(order[j]) * n], n, a + static_cast<std::size_t>(j) * n);
  }
  return 0;
}
