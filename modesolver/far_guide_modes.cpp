// The enclosing-guide modes far above the wanted cutoffs, replaced by a block
// Krylov basis of their diagonal on their couplings (see far_guide_modes.hpp).
#include <algorithm>
#include <cmath>
#include <vector>

#include "modesolver/far_guide_modes.hpp"
#include "modesolver/lapack.hpp"

extern "C" {
void dgeqp3_(const int* m, const int* n, double* a, const int* lda, int* jpvt, double* tau,
             double* work, const int* lwork, int* info);
void dgeqrf_(const int* m, const int* n, double* a, const int* lda, double* tau, double* work,
             const int* lwork, int* info);
void dorgqr_(const int* m, const int* n, const int* k, double* a, const int* lda,
             const double* tau, double* work, const int* lwork, int* info);
}

double far_guide_split = 1.3;
int far_guide_blocks = 4;

namespace {

// w (nh x nw) -= Q (Q^T w), twice: classical Gram-Schmidt loses
// orthogonality once.
void orthogonalise(int nh, const std::vector<double>& q, int nq, std::vector<double>& w, int nw) {
  const double one = 1, minus = -1, zero = 0;
  if (nq == 0 || nw == 0) return;
  std::vector<double> c(static_cast<std::size_t>(nq) * nw);
  for (int pass = 0; pass < 2; ++pass) {
    dgemm_("T", "N", &nq, &nw, &nh, &one, q.data(), &nh, w.data(), &nh, &zero, c.data(), &nq);
    dgemm_("N", "N", &nh, &nw, &nq, &minus, q.data(), &nh, c.data(), &nq, &one, w.data(), &nh);
  }
}

// The QR factorisation of w (nh x nw) in place, pivoted or not; then the
// first r columns of its Q (r = 0 asks for the count of the diagonal
// entries of R above tol times ref, pivoted).  Returns r (0 on a failure).
int qr_columns(int nh, std::vector<double>& w, int nw, bool pivoted, int r, double ref, double tol) {
  std::vector<int> jpvt(nw, 0);
  std::vector<double> tau(std::min(nh, nw) + 1);
  int info = 0, lwork = -1;
  double wq = 0;
  if (pivoted)
    dgeqp3_(&nh, &nw, w.data(), &nh, jpvt.data(), tau.data(), &wq, &lwork, &info);
  else
    dgeqrf_(&nh, &nw, w.data(), &nh, tau.data(), &wq, &lwork, &info);
  lwork = static_cast<int>(wq) + 1;
  std::vector<double> work(lwork);
  if (pivoted)
    dgeqp3_(&nh, &nw, w.data(), &nh, jpvt.data(), tau.data(), work.data(), &lwork, &info);
  else
    dgeqrf_(&nh, &nw, w.data(), &nh, tau.data(), work.data(), &lwork, &info);
  if (info != 0) return 0;
  if (r == 0)
    while (r < std::min(nh, nw) && std::fabs(w[r + static_cast<std::size_t>(r) * nh]) > tol * ref) ++r;
  if (r == 0) return 0;
  lwork = -1;
  dorgqr_(&nh, &r, &r, w.data(), &nh, tau.data(), &wq, &lwork, &info);
  lwork = static_cast<int>(wq) + 1;
  work.resize(lwork);
  dorgqr_(&nh, &r, &r, w.data(), &nh, tau.data(), work.data(), &lwork, &info);
  return info == 0 ? r : 0;
}

// Columns of w (nh x nw) whose part outside the basis q (nh x nq) is above
// tol times ref, made orthonormal (pivoted QR) and orthogonal to q once
// more (a normalised remainder carries the rounding of the subtraction
// that made it); returns their count, the new columns appended to q.
int append_orthonormal(int nh, std::vector<double>& q, int& nq, std::vector<double> w, int nw,
                       double ref, double tol) {
  orthogonalise(nh, q, nq, w, nw);
  int r = qr_columns(nh, w, nw, true, 0, ref, tol);
  r = std::min(r, nh - nq);
  if (r == 0) return 0;
  w.resize(static_cast<std::size_t>(r) * nh);
  orthogonalise(nh, q, nq, w, r);
  if (qr_columns(nh, w, r, false, r, 0, 0) != r) return 0;
  q.insert(q.end(), w.begin(), w.end());
  nq += r;
  return r;
}

double column_norm_max(const std::vector<double>& w, int nh, int nw) {
  double m = 0;
  for (int j = 0; j < nw; ++j) {
    double s = 0;
    for (int i = 0; i < nh; ++i) s += w[i + static_cast<std::size_t>(j) * nh] * w[i + static_cast<std::size_t>(j) * nh];
    m = std::max(m, std::sqrt(s));
  }
  return m;
}

// Whether Q^T Q (q: nh x nq) is the identity to tol.
bool orthonormal(const std::vector<double>& q, int nh, int nq, double tol) {
  std::vector<double> g(static_cast<std::size_t>(nq) * nq);
  matmul("T", "N", nq, nq, nh, q.data(), nh, q.data(), nh, g.data());
  for (int j = 0; j < nq; ++j)
    for (int i = 0; i < nq; ++i)
      if (std::fabs(g[i + static_cast<std::size_t>(j) * nq] - (i == j ? 1 : 0)) > tol) return false;
  return true;
}

}  // namespace

std::vector<double> far_guide_basis(const std::vector<double>& d, const std::vector<double>& v,
                                    int nv, int blocks, int& nq) {
  const int nh = static_cast<int>(d.size());
  // A direction below tol of its block's largest column is dropped: what it
  // would add to an eigenvalue is of the order of its square.  Kept, such a
  // remainder of the orthogonalisation is mostly rounding, and normalised
  // it would carry that rounding into the other directions.
  const double tol = 1e-8;
  std::vector<double> q;
  nq = 0;
  const double dmax = *std::max_element(d.begin(), d.end());
  int first = 0, width = append_orthonormal(nh, q, nq, v, nv, column_norm_max(v, nh, nv), tol);
  for (int b = 1; b < blocks && width > 0; ++b) {
    // The next block: diag(d) times the last, d scaled to at most 1.
    std::vector<double> w(q.begin() + static_cast<std::size_t>(first) * nh, q.end());
    for (int j = 0; j < width; ++j)
      for (int i = 0; i < nh; ++i) w[i + static_cast<std::size_t>(j) * nh] *= d[i] / dmax;
    const double ref = column_norm_max(w, nh, width);
    first = nq;
    width = append_orthonormal(nh, q, nq, w, width, ref, tol);
  }
  return q;
}

int symmetric_eigen_above_reduced(int n, double* a, double* b, double* w, double lambda_min,
                                  int& m, int k, const std::vector<int>& far,
                                  const std::vector<double>& d, const std::vector<double>& v,
                                  int nv) {
  const int nh = static_cast<int>(far.size());
  int nq = 0;
  std::vector<double> q;
  if (nh > 0) q = far_guide_basis(d, v, nv, far_guide_blocks, nq);
  // Worth it only when the basis is clearly smaller than the modes it stands
  // for (none at all: the far modes meet nothing, and no basis to project on),
  // and only on a basis orthonormal to 1e-10 (otherwise the projected pencil
  // is not the restriction of the whole one).
  if (nh == 0 || nq == 0 || nq > nh * 8 / 10 || !orthonormal(q, nh, nq, 1e-10))
    return symmetric_eigen_above(n, a, b, w, lambda_min, m, k);
  const auto at = [](double* p, int ld, int i, int j) -> double& {
    return p[i + static_cast<std::size_t>(j) * ld];
  };
  // The upper triangle is the matrix (as LAPACK reads it).
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) at(a, n, i, j) = at(a, n, j, i);
  // The unknowns kept, in order: the near guide modes, then the rest; in
  // the reduced order the basis stands between them.
  std::vector<int> keep;
  {
    std::vector<char> is_far(n, 0);
    for (int i : far) is_far[i] = 1;
    for (int i = 0; i < n; ++i)
      if (!is_far[i]) keep.push_back(i);
  }
  const int nl = k - nh, nk = n - nh, n2 = nk + nq, k2 = nl + nq;
  const auto slot = [&](int i) { return i < nl ? i : i + nq; };
  // G = A(:, far) Q (n x nq), far columns gathered a block at a time; then
  // Q^T G(far, :).
  std::vector<double> g(static_cast<std::size_t>(n) * nq, 0.0), qaq(static_cast<std::size_t>(nq) * nq);
  {
    const int chunk = 256;
    const double one = 1;
    std::vector<double> af(static_cast<std::size_t>(n) * std::min(chunk, nh));
    for (int h0 = 0; h0 < nh; h0 += chunk) {
      const int c = std::min(chunk, nh - h0);
      for (int j = 0; j < c; ++j) std::copy_n(&at(a, n, 0, far[h0 + j]), n, &af[static_cast<std::size_t>(j) * n]);
      dgemm_("N", "N", &n, &nq, &c, &one, af.data(), &n, &q[h0], &nh, &one, g.data(), &n);
    }
    std::vector<double> gf(static_cast<std::size_t>(nh) * nq);
    for (int c = 0; c < nq; ++c)
      for (int h = 0; h < nh; ++h) gf[h + static_cast<std::size_t>(c) * nh] = at(g.data(), n, far[h], c);
    matmul("T", "N", nq, nq, nh, q.data(), nh, gf.data(), nh, qaq.data());
  }
  // The reduced A in place (leading dimension n2): every entry moves to a
  // place not after its own, so in increasing order none is overwritten
  // before it is read.
  for (int j = 0; j < nk; ++j)
    for (int i = 0; i < nk; ++i) at(a, n2, slot(i), slot(j)) = at(a, n, keep[i], keep[j]);
  for (int c = 0; c < nq; ++c) {
    for (int i = 0; i < nk; ++i)
      at(a, n2, slot(i), nl + c) = at(a, n2, nl + c, slot(i)) = at(g.data(), n, keep[i], c);
    for (int r = 0; r < nq; ++r)
      at(a, n2, nl + r, nl + c) = 0.5 * (at(qaq.data(), nq, r, c) + at(qaq.data(), nq, c, r));
  }
  g = std::vector<double>();
  // B = diag(I, B22): B22 moved in place likewise, then the identity and the
  // zeros written in the new layout (a reduced order below the large one
  // goes to the whole-spectrum driver, which reads all of B).
  if (b) {
    for (int j = k2; j < n2; ++j)
      for (int i = k2; i < n2; ++i) at(b, n2, i, j) = at(b, n, i - k2 + k, j - k2 + k);
    for (int j = 0; j < n2; ++j)
      for (int i = 0; i < n2; ++i)
        if (i < k2 || j < k2) at(b, n2, i, j) = i == j ? 1 : 0;
  }
  const int info = symmetric_eigen_above(n2, a, b, w, lambda_min, m, k2);
  if (info != 0) return info;
  // Back to the whole order: x(far) = Q y(basis), then the kept unknowns
  // moved out in place (in decreasing order: every entry moves to a place
  // not before its own).
  std::vector<double> xf(static_cast<std::size_t>(nh) * std::max(m, 1));
  if (m > 0) matmul("N", "N", nh, m, nq, q.data(), nh, &at(a, n2, nl, 0), n2, xf.data());
  for (int j = m - 1; j >= 0; --j)
    for (int i = nk - 1; i >= 0; --i) at(a, n, keep[i], j) = at(a, n2, slot(i), j);
  for (int j = 0; j < m; ++j)
    for (int h = 0; h < nh; ++h) at(a, n, far[h], j) = xf[h + static_cast<std::size_t>(j) * nh];
  return 0;
}
