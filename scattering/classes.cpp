#include "scattering/classes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "records/scattering.hpp"

using cplx = std::complex<double>;

extern "C" void zgetrf_(const int* m, const int* n, cplx* a, const int* lda, int* ipiv, int* info);
extern "C" void zgetrs_(const char* trans, const int* n, const int* nrhs, const cplx* a,
                        const int* lda, const int* ipiv, cplx* b, const int* ldb, int* info);
extern "C" void zsytrf_(const char* uplo, const int* n, cplx* a, const int* lda, int* ipiv,
                        cplx* work, const int* lwork, int* info);
extern "C" void zsytrs_(const char* uplo, const int* n, const int* nrhs, const cplx* a,
                        const int* lda, const int* ipiv, cplx* b, const int* ldb, int* info);

int class_split_modes = max_wg_modes + 1;

double class_coupling_floor(int n, double row_largest, double column_largest) {
  return n * std::numeric_limits<double>::epsilon() * std::sqrt(row_largest * column_largest);
}

bool complex_symmetric(int n, const cplx* a, int ld) {
  double big = 0, asym = 0;  // squared moduli
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      const cplx x = a[i + static_cast<long>(j) * ld], y = a[j + static_cast<long>(i) * ld];
      big = std::max(big, std::norm(x));
      asym = std::max(asym, std::norm(x - y));
    }
  return asym <= 1e-24 * big;
}

namespace {

int root(std::vector<int>& parent, int i) {
  while (parent[i] != i) i = parent[i] = parent[parent[i]];
  return i;
}

// a(p, p) in place: the columns moved along the cycles of p, then each
// column's rows gathered.
void permute_symmetric(int n, cplx* a, int ld, const std::vector<int>& p) {
  std::vector<cplx> col(static_cast<std::size_t>(n));
  std::vector<char> done(static_cast<std::size_t>(n), 0);
  auto column = [&](int j) { return a + static_cast<long>(j) * ld; };
  for (int j = 0; j < n; ++j) {
    if (done[j] || p[j] == j) continue;
    std::copy(column(j), column(j) + n, col.begin());
    int k = j;
    while (p[k] != j) {
      std::copy(column(p[k]), column(p[k]) + n, column(k));
      done[k] = 1;
      k = p[k];
    }
    std::copy(col.begin(), col.end(), column(k));
    done[k] = 1;
  }
  for (int j = 0; j < n; ++j) {
    cplx* c = column(j);
    for (int i = 0; i < n; ++i) col[i] = c[p[i]];
    std::copy(col.begin(), col.end(), c);
  }
}

int factor_class(int m, cplx* a, int ld, int* ipiv, bool symmetric) {
  int info = 0;
  if (!symmetric) {
    zgetrf_(&m, &m, a, &ld, ipiv, &info);
    return info;
  }
  int lwork = -1;
  cplx wq;
  zsytrf_("U", &m, a, &ld, ipiv, &wq, &lwork, &info);
  lwork = std::max(1, static_cast<int>(wq.real()));
  std::vector<cplx> work(static_cast<std::size_t>(lwork));
  zsytrf_("U", &m, a, &ld, ipiv, work.data(), &lwork, &info);
  return info;
}

}  // namespace

void find_classes(int n, cplx* a, int ld, system_classes& cl) {
  std::vector<int> parent(static_cast<std::size_t>(n));
  std::iota(parent.begin(), parent.end(), 0);
  // The largest modulus of each row and of each column; an entry that is
  // not finite leaves the system whole, for the elimination to show.
  std::vector<double> row(static_cast<std::size_t>(n), 0), col(static_cast<std::size_t>(n), 0);
  auto at = [&](int i, int j) { return std::norm(a[i + static_cast<long>(j) * ld]); };
  bool finite = true;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double e = at(i, j);
      finite = finite && std::isfinite(e);
      row[i] = std::max(row[i], e);
      col[j] = std::max(col[j], e);
    }
  for (int i = 0; i < n; ++i) {
    row[i] = std::sqrt(row[i]);
    col[i] = std::sqrt(col[i]);
  }
  // Squared moduli against the squared floor: no root per entry.
  const double f = class_coupling_floor(n, 1, 1), f2 = f * f;
  // Every entry off the diagonal, column by column (contiguous in memory):
  // entry (i, j) joins i and j, so each pair is seen from both of its
  // entries.
  if (!finite) std::fill(parent.begin(), parent.end(), 0);
  else
    for (int j = 0; j < n; ++j) {
      const cplx* aj = a + static_cast<long>(j) * ld;
      for (int i = 0; i < n; ++i)
        if (i != j && parent[i] != parent[j] && std::norm(aj[i]) > f2 * row[i] * col[j]) {
          const int ri = root(parent, i), rj = root(parent, j);
          if (ri != rj) parent[std::max(ri, rj)] = std::min(ri, rj);
        }
    }
  // Classes in the order of their first unknown, each in ascending order.
  std::vector<int> label(static_cast<std::size_t>(n), -1), size;
  for (int i = 0; i < n; ++i) {
    const int r = root(parent, i);
    if (label[r] < 0) {
      label[r] = static_cast<int>(size.size());
      size.push_back(0);
    }
    label[i] = label[r];
    ++size[label[i]];
  }
  const int classes = static_cast<int>(size.size());
  cl.start.assign(static_cast<std::size_t>(classes) + 1, 0);
  for (int c = 0; c < classes; ++c) cl.start[c + 1] = cl.start[c] + size[c];
  cl.order.assign(static_cast<std::size_t>(n), 0);
  std::vector<int> next(cl.start.begin(), cl.start.end() - 1);
  for (int i = 0; i < n; ++i) cl.order[next[label[i]]++] = i;
  cl.factored.assign(static_cast<std::size_t>(classes), 0);
  cl.symmetric.assign(static_cast<std::size_t>(classes), 0);
  if (classes > 1) permute_symmetric(n, a, ld, cl.order);
}

int solve_classes(int nrhs, cplx* a, int ld, int* ipiv, cplx* b, int ldb,
                  system_classes& cl, bool symmetric_ok) {
  std::vector<cplx> x;
  for (int c = 0; c < cl.count(); ++c) {
    const int s = cl.start[c], m = cl.start[c + 1] - s;
    const int* rows = cl.order.data() + s;
    bool reached = false;
    for (int r = 0; r < nrhs && !reached; ++r)
      for (int k = 0; k < m && !reached; ++k) reached = b[rows[k] + static_cast<long>(r) * ldb] != cplx(0);
    if (!reached) continue;  // its solution is zero, as b is there
    cplx* block = a + s + static_cast<long>(s) * ld;
    if (!cl.factored[c]) {
      cl.symmetric[c] = symmetric_ok && complex_symmetric(m, block, ld);
      const int info = factor_class(m, block, ld, ipiv + s, cl.symmetric[c]);
      if (info != 0) return info;
      cl.factored[c] = 1;
    }
    x.resize(static_cast<std::size_t>(m) * nrhs);
    for (int r = 0; r < nrhs; ++r)
      for (int k = 0; k < m; ++k) x[k + static_cast<long>(r) * m] = b[rows[k] + static_cast<long>(r) * ldb];
    int info = 0;
    if (cl.symmetric[c])
      zsytrs_("U", &m, &nrhs, block, &ld, ipiv + s, x.data(), &m, &info);
    else
      zgetrs_("N", &m, &nrhs, block, &ld, ipiv + s, x.data(), &m, &info);
    if (info != 0) return info;
    for (int r = 0; r < nrhs; ++r)
      for (int k = 0; k < m; ++k) b[rows[k] + static_cast<long>(r) * ldb] = x[k + static_cast<long>(r) * m];
  }
  return 0;
}
