#include "scattering/parities.hpp"

#include <algorithm>
#include <cmath>

#include "modesolver/lapack.hpp"
#include "records/scattering.hpp"
#include "scattering/catalogue.hpp"

extern "C" void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
                       const int* ldb, int* info);

double degenerate_cutoff_spread = 2e-3;
double pure_parity_bound = 0.2;

void point_box(int ap, double lo[2], double hi[2]) {
  const fss_ap_rec::range& r = fss_ap.r[ap];
  lo[0] = lo[1] = 1e300;
  hi[0] = hi[1] = -1e300;
  for (int p = r.first; p <= r.last; ++p) {
    const xy& c = fss_coordinates[p];
    lo[0] = std::min(lo[0], c.x), hi[0] = std::max(hi[0], c.x);
    lo[1] = std::min(lo[1], c.y), hi[1] = std::max(hi[1], c.y);
  }
}

namespace {

// How far an eigenvalue of the mirrors' action on a cluster may lie from a
// parity (a span not closed under the mirrors moves them away).
constexpr double parity_tolerance = 0.1;

// First sample of catalogue mode j.
long sample_offset(int j) {
  const aperture_modes m = modes_of_aperture(fss_modewg_ap[j]);
  return m.first[std::find(m.j.begin(), m.j.end(), j) - m.j.begin()];
}

// Sum over the points of s_a(p) s_b(mirror(p)) (mirror empty: s_a . s_b).
double sample_product(long a, long b, int np, const std::vector<int>& mirror) {
  const double* sa = &fss_samplewg[static_cast<int>(a + 1)];
  const double* sb = &fss_samplewg[static_cast<int>(b + 1)];
  double s = 0;
  for (int p = 0; p < np; ++p) s += sa[p] * sb[mirror.empty() ? p : mirror[p]];
  return s;
}

// Part of a mode's samples (from first sample s) of the parity other than
// its own under the mirror, relative to the whole (0 for a pure mode).
double sample_asymmetry(long s, int np, const std::vector<int>& mirror) {
  const double* v = &fss_samplewg[static_cast<int>(s + 1)];
  const double sign = sample_product(s, s, np, mirror) < 0 ? -1.0 : 1.0;
  double d = 0, n = 0;
  for (int p = 0; p < np; ++p) {
    d += (v[p] - sign * v[mirror[p]]) * (v[p] - sign * v[mirror[p]]);
    n += v[p] * v[p];
  }
  return n > 0 ? 0.5 * std::sqrt(d / n) : 0.0;
}

}  // namespace

std::vector<int> aperture_mirror(int ap, bool along_x) {
  const fss_ap_rec::range& r = fss_ap.r[ap];
  const int np = r.last - r.first + 1;
  if (np <= 0) return {};
  double lo[2], hi[2];
  point_box(ap, lo, hi);
  const double tol = 1e-9 * std::max(hi[0] - lo[0], hi[1] - lo[1]);
  const double twice_centre = along_x ? lo[0] + hi[0] : lo[1] + hi[1];
  // Points sorted by the coordinate along the mirror's axis, so that each
  // image is searched among the points of that coordinate only.
  std::vector<int> by(np);
  for (int p = 0; p < np; ++p) by[p] = p;
  auto along = [&](int p) { const xy& c = fss_coordinates[r.first + p]; return along_x ? c.x : c.y; };
  auto across = [&](int p) { const xy& c = fss_coordinates[r.first + p]; return along_x ? c.y : c.x; };
  std::sort(by.begin(), by.end(), [&](int a, int b) { return along(a) < along(b); });
  std::vector<int> mirror(np, -1);
  for (int p = 0; p < np; ++p) {
    const double u = twice_centre - along(p);
    auto it = std::lower_bound(by.begin(), by.end(), u - tol, [&](int q, double v) { return along(q) < v; });
    const xy& n = fss_normals[r.first + p];
    for (; it != by.end() && along(*it) <= u + tol; ++it) {
      const int q = *it;
      const xy& m = fss_normals[r.first + q];
      const bool normal = along_x ? std::abs(m.x + n.x) < 1e-9 && std::abs(m.y - n.y) < 1e-9
                                  : std::abs(m.x - n.x) < 1e-9 && std::abs(m.y + n.y) < 1e-9;
      if (std::abs(across(q) - across(p)) <= tol && normal) {
        mirror[p] = q;
        break;
      }
    }
    if (mirror[p] < 0) return {};
  }
  for (int p = 0; p < np; ++p)
    if (mirror[mirror[p]] != p) return {};
  return mirror;
}

double mode_parity(int j, const std::vector<int>& mirror) {
  const fss_ap_rec::range& r = fss_ap.r[fss_modewg_ap[j]];
  const int np = r.last - r.first + 1;
  const long s = sample_offset(j);
  return sample_product(s, s, np, mirror) / sample_product(s, s, np, {});
}

double mode_asymmetry(int j, const std::vector<int>& mirror) {
  const fss_ap_rec::range& r = fss_ap.r[fss_modewg_ap[j]];
  return sample_asymmetry(sample_offset(j), r.last - r.first + 1, mirror);
}

namespace {

// Turns the run (positions in m, ascending cutoffs) to modes of pure
// parity: the mirrors act on its span by orthogonal involutions T
// (symmetric): with S the samples (points x run) and S_M their mirror
// images, S_M = S T, so T = G^-1 H, G = S^T S, H = S^T S_M.  Commuting,
// the mirrors share their eigenvectors, those of T_1 + 2 T_2 (eigenvalues
// -3, -1, 1, 3 by the parities); within each parity the modes are the
// Ritz vectors of the run's cutoffs (diagonal in the solver's modes), so
// that modes of one parity are not mixed.  A part of the other parity
// outside the run's span moves T at second order only (it is dropped
// later); a span plainly not closed leaves eigenvalues away from the
// parities.  Returns false, leaving everything, when an eigenvalue is more
// than 0.1 from a parity the mirrors allow, or a turned mode more than 0.1
// from even or odd under either mirror on its own.
bool turn_cluster(const aperture_modes& m, const std::vector<std::size_t>& cl, int np,
                  const std::vector<std::vector<int>>& mirrors) {
  const int c = static_cast<int>(cl.size()), nm = static_cast<int>(mirrors.size());
  auto first = [&](int i) { return m.first[cl[i]]; };
  std::vector<double> g(c * c), t(c * c, 0.0);
  std::vector<std::vector<double>> tn(nm);
  for (int i = 0; i < c; ++i)
    for (int k = 0; k < c; ++k) g[i + c * k] = sample_product(first(i), first(k), np, {});
  int info = 0;
  for (int n = 0; n < nm && info == 0; ++n) {
    std::vector<double> h(c * c), gf = g;
    for (int i = 0; i < c; ++i)
      for (int k = 0; k < c; ++k) h[i + c * k] = sample_product(first(i), first(k), np, mirrors[n]);
    std::vector<int> ipiv(c);
    dgesv_(&c, &c, gf.data(), &c, ipiv.data(), h.data(), &c, &info);
    tn[n].resize(c * c);
    for (int i = 0; i < c; ++i)
      for (int k = 0; k < c; ++k) tn[n][i + c * k] = 0.5 * (h[i + c * k] + h[k + c * i]);
    for (int k = 0; k < c * c; ++k) t[k] += (n == 0 ? 1.0 : 2.0) * tn[n][k];
  }
  std::vector<double> w(c), work(std::max(1, 3 * c * c));
  const int lwork = static_cast<int>(work.size());
  if (info == 0) dsyev_("V", "U", &c, t.data(), &c, w.data(), work.data(), &lwork, &info);
  if (info != 0) return false;
  // Each eigenvector must be even or odd under each mirror on its own (the
  // sum T_1 + 2 T_2 alone would take a mixture in y for a parity).
  for (int k = 0; k < c; ++k)
    for (int n = 0; n < nm; ++n) {
      double e = 0;
      for (int i = 0; i < c; ++i)
        for (int j = 0; j < c; ++j) e += t[i + c * k] * tn[n][i + c * j] * t[j + c * k];
      if (std::abs(std::abs(e) - 1) > parity_tolerance) return false;
    }
  // Parities from the eigenvalues (odd integers, at most 1 in modulus for
  // one mirror and 3 for two), then the Ritz vectors of the squared
  // cutoffs within each parity.
  const double largest = nm == 1 ? 1 : 3;
  std::vector<double> kc2(c), q(c * c, 0.0), ritz(c);
  for (int i = 0; i < c; ++i) kc2[i] = std::pow(fss_modewg_kappa[m.j[cl[i]]], 2);
  for (int a = 0; a < c;) {
    const double par = std::clamp(2 * std::round((w[a] - 1) / 2) + 1, -largest, largest);
    if (std::abs(w[a] - par) > parity_tolerance) return false;
    int b = a;
    while (b < c && std::abs(w[b] - par) <= parity_tolerance) ++b;
    const int e = b - a;
    std::vector<double> d(e * e), we(e), wk(std::max(1, 3 * e * e));
    for (int u = 0; u < e; ++u)
      for (int v = 0; v < e; ++v)
        for (int i = 0; i < c; ++i) d[u + e * v] += t[i + c * (a + u)] * kc2[i] * t[i + c * (a + v)];
    const int lw = static_cast<int>(wk.size());
    dsyev_("V", "U", &e, d.data(), &e, we.data(), wk.data(), &lw, &info);
    if (info != 0) return false;
    for (int v = 0; v < e; ++v) {
      ritz[a + v] = we[v];
      for (int i = 0; i < c; ++i)
        for (int u = 0; u < e; ++u) q[i + c * (a + v)] += t[i + c * (a + u)] * d[u + e * v];
    }
    a = b;
  }
  // The new modes in ascending cutoff, into the cluster's places.
  std::vector<int> order(c);
  for (int k = 0; k < c; ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return ritz[x] < ritz[y]; });
  std::vector<double> old(static_cast<std::size_t>(c) * np);
  for (int i = 0; i < c; ++i)
    std::copy_n(&fss_samplewg[static_cast<int>(first(i) + 1)], np, old.begin() + static_cast<long>(i) * np);
  for (int k = 0; k < c; ++k) {
    const int col = order[k];
    double* s = &fss_samplewg[static_cast<int>(first(k) + 1)];
    for (int p = 0; p < np; ++p) {
      double v = 0;
      for (int i = 0; i < c; ++i) v += q[i + c * col] * old[static_cast<long>(i) * np + p];
      s[p] = v;
    }
    fss_modewg_kappa[m.j[cl[k]]] = std::sqrt(std::max(0.0, ritz[col]));
  }
  return true;
}

}  // namespace

int pure_mirror_parities(int ap) {
  const fss_ap_rec::range& r = fss_ap.r[ap];
  const int np = r.last - r.first + 1;
  std::vector<std::vector<int>> mirrors;
  for (bool along_x : {true, false}) {
    std::vector<int> mr = aperture_mirror(ap, along_x);
    if (!mr.empty()) mirrors.push_back(std::move(mr));
  }
  if (mirrors.empty()) return 0;
  // The two mirrors of the points commute (each is an involution).
  if (mirrors.size() == 2)
    for (int p = 0; p < np; ++p)
      if (mirrors[0][mirrors[1][p]] != mirrors[1][mirrors[0][p]]) return 0;
  const aperture_modes m = modes_of_aperture(ap);
  auto asymmetry = [&](std::size_t a) {
    double s = 0;
    for (const std::vector<int>& mr : mirrors) s = std::max(s, sample_asymmetry(m.first[a], np, mr));
    return s;
  };
  auto project = [&](std::size_t a) {
    double* s = &fss_samplewg[static_cast<int>(m.first[a] + 1)];
    for (const std::vector<int>& mr : mirrors) {
      const double sign = sample_product(m.first[a], m.first[a], np, mr) < 0 ? -1.0 : 1.0;
      std::vector<double> e(np);
      for (int p = 0; p < np; ++p) e[p] = 0.5 * (s[p] + sign * s[mr[p]]);
      std::copy(e.begin(), e.end(), s);
    }
  };
  // Runs of TE or TM modes whose neighbours' cutoffs lie within the spread
  // (the modes of a kind stand in ascending cutoff); each TEM mode a run of
  // its own (they hold their impedance, not a cutoff, and are not turned).
  int turned = 0;
  for (std::size_t a = 0; a < m.j.size();) {
    const int kind = fss_modewg_index[m.j[a]];
    std::size_t b = a + 1;
    while (kind != wg_tem && b < m.j.size() && fss_modewg_index[m.j[b]] == kind &&
           std::abs(fss_modewg_kappa[m.j[b]] - fss_modewg_kappa[m.j[b - 1]]) <=
               degenerate_cutoff_spread * fss_modewg_kappa[m.j[b]])
      ++b;
    std::vector<std::size_t> run;
    double most = 0;  // the largest part of the other parity in the run
    for (std::size_t k = a; k < b; ++k) {
      run.push_back(k);
      most = std::max(most, asymmetry(k));
    }
    a = b;
    // A mixed run is turned, or left whole as it was; then the parts of the
    // other parity left are dropped from all of its modes or from none.
    if (run.size() > 1 && most > 1e-9) {
      if (!turn_cluster(m, run, np, mirrors)) continue;
      ++turned;
      most = 0;
      for (std::size_t k : run) most = std::max(most, asymmetry(k));
    }
    if (most <= pure_parity_bound)
      for (std::size_t k : run) project(k);
  }
  return turned;
}

namespace {
xy box_centre(int ap);

// Whether every mode of aperture ap is of pure parity under both mirrors
// about the centre of its points' box.
bool all_modes_pure(int ap) {
  const std::vector<int> mx = aperture_mirror(ap, true), my = aperture_mirror(ap, false);
  if (mx.empty() || my.empty()) return false;
  const aperture_modes m = modes_of_aperture(ap);
  for (int j : m.j)
    if (mode_asymmetry(j, mx) > 1e-12 || mode_asymmetry(j, my) > 1e-12) return false;
  return !m.j.empty();
}
}  // namespace

void pure_mirror_parities_of_catalogue() {
  for (int k = 1; k <= fss_ap.n; ++k)
    if (fss_ap.r[k].copy == 0) {
      pure_mirror_parities(k);
      fss_ap_rec::range& r = fss_ap.r[k];
      r.pure_parity = r.quarter == 0 && all_modes_pure(k);
      if (r.pure_parity) r.centre = box_centre(k);
    }
  // A translated copy takes its original's modes again: the same samples
  // and cutoffs, mode for mode.
  for (int k = 1; k <= fss_ap.n; ++k) {
    const int from = fss_ap.r[k].copy;
    if (from == 0) continue;
    const aperture_modes src = modes_of_aperture(from), dst = modes_of_aperture(k);
    const fss_ap_rec::range& r = fss_ap.r[k];
    const int np = r.last - r.first + 1;
    for (std::size_t i = 0; i < src.j.size() && i < dst.j.size(); ++i) {
      fss_modewg_kappa[dst.j[i]] = fss_modewg_kappa[src.j[i]];
      std::copy_n(&fss_samplewg[static_cast<int>(src.first[i] + 1)], np,
                  &fss_samplewg[static_cast<int>(dst.first[i] + 1)]);
    }
  }
}

namespace {

// Centre of the box of aperture ap's points (the mirrors' centre).
xy box_centre(int ap) {
  double lo[2], hi[2];
  point_box(ap, lo, hi);
  return {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2};
}

}  // namespace

bool mode_mirror_classes(std::vector<int>& cls) {
  const int nw = fss_modewg_index.n;
  cls.assign(nw, 0);
  if (nw == 0 || fss_ap.n < 1) return false;
  const xy c0 = box_centre(1);
  for (int ap = 1; ap <= fss_ap.n; ++ap) {
    const fss_ap_rec::range& r = fss_ap.r[ap];
    if (r.last < r.first) continue;
    const xy c = box_centre(ap);
    if (std::abs(c.x - c0.x) > 1e-12 || std::abs(c.y - c0.y) > 1e-12) return false;  // metres
    const std::vector<int> mx = aperture_mirror(ap, true), my = aperture_mirror(ap, false);
    if (mx.empty() || my.empty()) return false;
    const aperture_modes m = modes_of_aperture(ap);
    for (int j : m.j) {
      if (mode_asymmetry(j, mx) > 1e-12 || mode_asymmetry(j, my) > 1e-12) return false;
      const bool te = fss_modewg_index[j] == wg_te;
      const bool odd_x = (mode_parity(j, mx) < 0) != te, odd_y = (mode_parity(j, my) < 0) != te;
      cls[j - 1] = (odd_x ? 1 : 0) + (odd_y ? 2 : 0);
    }
  }
  return true;
}
