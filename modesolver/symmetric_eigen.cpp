// The symmetric eigenproblems of the mode computation (modesolver/lapack.hpp).
#include <algorithm>
#include <vector>

#include "modesolver/lapack.hpp"

int divide_conquer_order = 1000;

int symmetric_eigen(int n, double* a, double* b, double* w) {
  if (n <= 0) return 0;
  int info = 0;
  // The work space (order n^2) lives for the call only: a large problem's
  // must not stay while the couplings and the sweep take theirs.
  std::vector<double> work;
  std::vector<int> iwork;
  if (n < divide_conquer_order) {
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
