// A Floquet mode far beyond the frequency (kt >= far_factor k0 at the top
// of the sweep) is evanescent with gamma = kt sqrt(1 - u), u = (k0/kt)^2:
//   TE: Y = gamma / (j eta0 k0) = kt / (j eta0 k0) (1 - u/2 - u^2/8 - u^3/16 ...)
//   TM: Y = j k0 / (eta0 gamma) = j k0 / (eta0 kt) (1 + u/2 + 3u^2/8 + 5u^3/16 ...)
// so that the far share of S is
//   1/(j eta0 k0) sum_p k0^(2p) E_p + j k0 / eta0 sum_p k0^(2p) M_p,
//   E_p = sum_TE a_p kt^(1-2p) x x^H,  M_p = sum_TM b_p kt^(-1-2p) x x^H,
// with matrices that do not depend on the frequency while the couplings
// stay.  They are real: at normal incidence the Floquet set holds -kt with
// every kt, the mode of -kt has the conjugate coupling (up to sign) to the
// real fields of the aperture modes, and the two together give
// 2 Re(x x^H) = 2 (a a^T + b b^T), x = a + j b; so each pair is summed once,
// in real arithmetic (a quarter of the work of both Hermitian products).
// With far_terms = 4 and u <= 1/36 the first term left out is below
// 35/128 u^4 = 1.6e-7 of the far share.
//
// A face of a screen in a stack sees, through its first layer (complex
// eps, depth d), the admittance of that layer's half-space once the mode
// has died out across it (the layers beyond change it by a relative
// 2 exp(-2 gamma d), below 2.3e-7 when kt d >= far_depth = 8, the order of
// the series' own truncation): the same series
// with u = eps k0^2 / kt^2, that is eps^p k0^(2p) E_p for TE and
// eps^(p+1) k0^(2p) M_p for TM.  The far modes are those far on both faces.
#include "scattering/far_floquet.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/classes.hpp"
#include "scattering/integrals.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/parities.hpp"
#include "scattering/real_couplings.hpp"
#include "scattering/stack.hpp"

extern "C" void zgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const std::complex<double>* alpha, const std::complex<double>* a,
                       const int* lda, const std::complex<double>* b, const int* ldb,
                       const std::complex<double>* beta, std::complex<double>* c, const int* ldc);
extern "C" void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* beta,
                       double* c, const int* ldc);
extern "C" void zherk_(const char* uplo, const char* trans, const int* n, const int* k,
                       const double* alpha, const std::complex<double>* a, const int* lda,
                       const double* beta, std::complex<double>* c, const int* ldc);

namespace {

constexpr int far_terms = 4;
constexpr double far_factor = 6;
constexpr double far_depth = 8;
constexpr int block = 4096;  // Floquet modes per product
const double te_series[far_terms] = {1, -0.5, -0.125, -0.0625};
const double tm_series[far_terms] = {1, 0.5, 0.375, 0.3125};

struct far_record {
  long generation = -1;  // of the coupling table the sums belong to
  int nw = 0, nf = 0;
  double kfar = 0;       // the far modes' least kt
  std::vector<int> near, te, tm;  // Floquet modes (from 1) of each set
  std::vector<int> lone_te, lone_tm;  // those far modes without their mirror images (far_classes)
  std::vector<flo_index> near_modes;  // the near modes' orders and kinds, in the table's order
  std::vector<double> e[far_terms], m[far_terms];  // real symmetric
  // The aperture modes (from 0, ascending) of each mirror class that the
  // far set does not couple with the others (far_classes); empty: one class.
  std::vector<std::vector<int>> classes;
  std::vector<char> lone;  // per Floquet mode: without its mirror images in the far set, summed whole
  std::vector<cplx> p, q;  // oblique incidence: the far share's Hermitian parts
  double k0 = 0, kx0 = 0, ky0 = 0;  // and the sweep point they belong to
  void swap_into(far_record& r) { std::swap(*this, r); }
};
far_record far;
// The order of the Floquet table at the current sweep point: the near modes
// first (1 .. nnear), when the series applies (on).
struct split_record {
  bool on = false;
  bool stream = false;  // oblique incidence: the far share summed at this sweep point
  bool interp = false;  // ... and taken from its interpolant over the sweep's frequencies
  bool band = false;    // a direction with a band: its far set known, whether interpolated or not
  int nnear = 0;
  int summed = 0;  // the Floquet modes whose couplings are computed (1 .. summed)
  double kfar = 0;
  // Oblique incidence in a plane of symmetry: the mirror of the far set
  // (0: none, 1: x -> -x, 2: y -> -y, the class bit of that parity) whose
  // images come after the modes computed.
  int mirror = 0;
  // Per Floquet mode (from 1, in the table's order) under that mirror:
  // mirror_lone, mirror_pair (computed for itself and its image),
  // mirror_self (its own image) or mirror_image (not computed).
  std::vector<char> mirror_state;
} split;
enum { mirror_lone = 0, mirror_pair, mirror_self, mirror_image };
// The mirror classes of the aperture modes (mode_mirror_classes), for the
// mode set and contour points they were found for (their cutoffs and the
// points' coordinates: two analyses in one process may have the same counts).
struct mirror_modes_record {
  std::vector<double> key;
  bool pure = false;
  std::vector<int> cls;
  std::vector<int> entries[2][2];  // [mirror bit 1 or 2 - 1][parity]: the modes (from 0) of each class
} mirror_modes;
void far_parts_add(int nw, const std::vector<int>& modes, const std::function<const cplx*(int)>& row,
                   cplx* p, cplx* q);
long mirror_splits = 0;  // far shares of oblique incidence summed by the classes of a mirror
std::vector<cplx> xs, ys, face;  // work: scaled couplings of a block, a face's sum
std::vector<cplx> kept_sum;      // work: the products over the entries kept
// The near modes of a coupling table at normal incidence, for the faces'
// sums: in pairs of opposite kt (the mode of +kt first, then its partner),
// whose couplings were found to be +-conj of each other, and those alone
// (the specular harmonic's, or a pair whose couplings are not so related).
struct near_pairs_record {
  long generation = -1;  // of the coupling table, with its aperture and near modes' counts
  int nw = -1, nnear = -1;
  std::vector<int> pairs, alone;
  int paired = 0, lone = 0;  // taken so by the last sum
} near_pairs;
std::vector<double> pair_part;  // work: the pairs' real, then imaginary parts

// Oblique incidence over many frequencies at one direction: the far share
// of a fixed set of harmonics, interpolated in k0 (see far_floquet_interpolates).
// Nodes on the finest grid of Chebyshev points x_j = cos(j pi / cheb_n),
// k0 = mid + half x_j; every fourth first (9), then every other (17), then
// all (33) as long as the coarser ones do not give the new ones.
constexpr int cheb_n = 32;
struct interp_record {
  // The direction and band, the Floquet limit, the lattice, the aperture
  // modes and their contour points it belongs to.
  double theta = -1, phi = 0, klo = 0, khi = 0, kmax = 0, a = 0, b = 0, alpha = 0;
  int nw = -1, points = -1, frequencies = 0;
  long long most = 0;         // the largest Floquet table of the band's frequencies
  double gmin = 0, kin = 0;   // the far harmonics: |G| >= gmin, kt <= kin over the band
  double sx = 0, sy = 0;      // s = k0-normalised incident transverse wavevector
  double ga = 0, gb = 0, gc = 0;  // G = (m ga, n gb - m gc)
  int level = 4;              // the stride of the nodes being built: 4, 2, 1 (9, 17, 33 nodes)
  int stride = 0;             // of the nodes in use; 0 while building, -1 given up
  int pending = -1;           // the node being computed
  double error = 0;           // of the last level checked
  bool building = false;      // a node's table is in force: ordered for its far set, whatever its size
  int built = 0;              // nodes computed
  std::vector<char> done;     // node j computed
  std::vector<std::vector<cplx>> g;  // k0 Q at node j: packed upper triangle
  std::vector<cplx> work;            // nw x nw: the node's sum
} interp;
std::vector<double> xr;           // work: real and imaginary parts of a block

// The Floquet mode of -kt of a pair (the one summed for both): the first
// order negative, or zero and the second negative.
bool partner_of_pair(int q) {
  const flo_index& o = fss_modeflo_index[q];
  return o.m < 0 || (o.m == 0 && o.n < 0);
}

// Modes even or odd under both mirrors about one centre c (an aperture
// solved on its quarter) couple with the Floquet wave of wavevector k as
//   x(t) = exp(-i k.c) iota_t r(t),  r real, iota_t one of 1, i, -1, -i
// (scattering/real_couplings.hpp), so that x_a conj(x_b) = iota_a
// conj(iota_b) r_a r_b: the sums below are taken as real symmetric
// products of one real vector per mode.  `sum` (upper triangle of nk x nk,
// from zero) = sign sum over `list` of w(m) r_m r_m^T, r_m the turned
// couplings at the entries `entry` (turns in `real_turn`); false, with nothing
// usable, for other modes or when a row is not real to 1e-9 after its turns.
std::vector<double> real_sum;
std::vector<int> real_turn;
long real_sums = 0;  // sums taken so
long class_splits = 0;  // far series summed by mirror classes

bool turned_gram(const std::vector<int>& list, const std::function<const cplx*(int)>& row,
                 const std::function<double(int)>& w, double sign, int nk, const int* entry) {
  real_form form;
  if (!form.find()) return false;
  const int n = static_cast<int>(list.size());
  entry_turns(form, list, row, nk, entry, real_turn);
  real_sum.resize(static_cast<std::size_t>(nk) * nk);
  xr.resize(static_cast<std::size_t>(nk) * std::min(n, block));
  for (int k0 = 0; k0 < n; k0 += block) {
    const int nb = std::min(block, n - k0);
    for (int k = 0; k < nb; ++k) {
      const int m = list[k0 + k];
      if (!turned_row(row(m), form.centre_phase(m), nk, entry, real_turn.data(), std::sqrt(w(m)),
                      &xr[static_cast<std::size_t>(k) * nk]))
        return false;
    }
    const double beta = k0 == 0 ? 0 : 1;
    dsyrk_("U", "N", &nk, &nb, &sign, xr.data(), &nk, &beta, real_sum.data(), &nk);
  }
  ++real_sums;
  return true;
}

// c[entry a, entry b] (upper triangle, leading dimension nw) += Re(i^(turn_a
// - turn_b)) times the real sum of the turned vectors (nk x nk).
void add_turned_real_part(int nw, int nk, const int* entry, double* c) {
  const double re_turn[4] = {1, 0, -1, 0};
  for (int b = 0; b < nk; ++b)
    for (int a = 0; a <= b; ++a)
      c[entry[a] + static_cast<long>(entry[b]) * nw] +=
          re_turn[(real_turn[a] - real_turn[b]) & 3] * real_sum[a + static_cast<std::size_t>(b) * nk];
}

// c (upper triangle, real) += sign sum over `list` of w(m) (a a^T + b b^T),
// x_m = a + j b at row(m): real symmetric products (dsyrk) over blocks of
// modes.  For the modes above a a^T + b b^T = Re(x x^H) = Re(i^(turn_a -
// turn_b)) r_a r_b, Re(i^k) = 1, 0, -1: one vector per mode instead of two.
// With `kept` (ascending entries) only the products among those entries.
std::vector<double> kept_real;  // work: the products over the entries kept
void real_part_add(int nw, const std::vector<int>& list, const std::function<const cplx*(int)>& row,
                   const std::function<double(int)>& w, double sign, double* c,
                   const std::vector<int>* kept = nullptr) {
  const int n = static_cast<int>(list.size());
  const int nk = kept ? static_cast<int>(kept->size()) : nw;
  if (n == 0 || nk == 0) return;
  const int* entry = kept ? kept->data() : all_entries(nk);
  auto at = [&](int a, int b) { return static_cast<long>(entry[a]) + static_cast<long>(entry[b]) * nw; };
  if (turned_gram(list, row, w, sign, nk, entry)) {
    add_turned_real_part(nw, nk, entry, c);
    return;
  }
  double* out = c;
  int ld = nw;
  if (kept) {
    kept_real.assign(static_cast<std::size_t>(nk) * nk, 0);
    out = kept_real.data();
    ld = nk;
  }
  xr.resize(static_cast<std::size_t>(nk) * 2 * std::min(n, block));
  for (int k0 = 0; k0 < n; k0 += block) {
    const int nb = std::min(block, n - k0), k2 = 2 * nb;
    for (int k = 0; k < nb; ++k) {
      const cplx* xm = row(list[k0 + k]);
      const double f = std::sqrt(w(list[k0 + k]));
      double *re = &xr[static_cast<std::size_t>(2 * k) * nk], *im = re + nk;
      for (int t = 0; t < nk; ++t) {
        re[t] = xm[entry[t]].real() * f;
        im[t] = xm[entry[t]].imag() * f;
      }
    }
    const double one = 1;
    dsyrk_("U", "N", &nk, &k2, &sign, xr.data(), &nk, &one, out, &ld);
  }
  if (kept)
    for (int b = 0; b < nk; ++b)
      for (int a = 0; a <= b; ++a) c[at(a, b)] += kept_real[a + static_cast<std::size_t>(b) * nk];
}

// The far series' terms of one kind over the modes `list` for the entries
// `kept` (all when null), added to c[0 .. far_terms - 1]: sign_p times the
// real part of the sum of w_p(m) x_m x_m^H, w_p(m) = 2 kt^(power - 2p), as
// real_part_add forms it for each term, but with each mode's turned vector
// formed once for every term (the terms differ only by the weights).  False,
// with nothing added, unless the modes take the real form.
std::vector<double> turned_base;  // work: the unscaled turned vectors of a block
bool turned_series(int nw, const std::vector<int>& list, const std::function<const cplx*(int)>& row,
                   int power, const double* sign, std::vector<double>* c, const std::vector<int>* kept) {
  real_form form;
  if (!form.find()) return false;
  const int n = static_cast<int>(list.size()), nk = kept ? static_cast<int>(kept->size()) : nw;
  if (n == 0 || nk == 0) return true;
  const int* entry = kept ? kept->data() : all_entries(nk);
  entry_turns(form, list, row, nk, entry, real_turn);
  const std::size_t cols = static_cast<std::size_t>(std::min(n, block));
  turned_base.resize(static_cast<std::size_t>(nk) * cols);
  xr.resize(turned_base.size());
  real_sum.resize(static_cast<std::size_t>(nk) * nk);
  // Over blocks of modes, each block's product of every term added at once
  // (a coupling table's blocks hold at most `block` modes of a kind).
  for (int k0 = 0; k0 < n; k0 += block) {
    const int nb = std::min(block, n - k0);
    for (int k = 0; k < nb; ++k) {
      const int m = list[k0 + k];
      if (!turned_row(row(m), form.centre_phase(m), nk, entry, real_turn.data(), 1.0,
                      &turned_base[static_cast<std::size_t>(k) * nk]))
        return false;
    }
    for (int p = 0; p < far_terms; ++p) {
      for (int k = 0; k < nb; ++k) {
        const double f = std::sqrt(2 * std::pow(fss_modeflo_kappa[list[k0 + k]].kt, power - 2 * p));
        const double* b = &turned_base[static_cast<std::size_t>(k) * nk];
        double* x = &xr[static_cast<std::size_t>(k) * nk];
        for (int t = 0; t < nk; ++t) x[t] = b[t] * f;
      }
      const double zero = 0;
      dsyrk_("U", "N", &nk, &nb, &sign[p], xr.data(), &nk, &zero, real_sum.data(), &nk);
      add_turned_real_part(nw, nk, entry, c[p].data());
      ++real_sums;
    }
  }
  return true;
}

// c = beta c + sum over the modes in `list` of w(mode) x_m x_m^H, over
// blocks of modes gathered into contiguous columns.
template <class W>
void weighted_sum(int nw, const std::vector<int>& list, const cplx* x, W w, cplx beta, cplx* c) {
  const int n = static_cast<int>(list.size());
  xs.resize(static_cast<std::size_t>(nw) * std::min(n, block));
  ys.resize(xs.size());
  if (n == 0) {
    for (long k = 0; k < static_cast<long>(nw) * nw; ++k) c[k] *= beta;
    return;
  }
  for (int k0 = 0; k0 < n; k0 += block) {
    const int nb = std::min(block, n - k0);
    for (int k = 0; k < nb; ++k) {
      const int m = list[k0 + k];
      const cplx* xm = x + static_cast<long>(m - 1) * nw;
      const cplx f = w(m);
      for (int j = 0; j < nw; ++j) {
        xs[static_cast<std::size_t>(k) * nw + j] = xm[j];
        ys[static_cast<std::size_t>(k) * nw + j] = xm[j] * f;
      }
    }
    const cplx one = 1, b = k0 == 0 ? beta : cplx(1);
    zgemm_("N", "C", &nw, &nw, &nb, &one, ys.data(), &nw, xs.data(), &nw, &b, c, &nw);
  }
}

// The complex permittivity of the layer next to a face of the screen (1,
// the outer air, without layers) and the least kt of the modes far there.
cplx face_eps(int side) { return stack_layer_count(side) == 0 ? 1 : layer_eps(stack_layer(side, 1)); }
double far_k(cplx eps) {
  return far_factor * std::sqrt(std::abs(eps)) * dpi(1) * fss_freq_iter.end / dcspeed();
}
double face_kfar(int side) {
  const double k = far_k(face_eps(side));
  if (stack_layer_count(side) == 0) return k;
  return std::max(k, far_depth / stack_layer(side, 1).d);
}

// Several screens: the least kt of the modes far on every face, outer and
// inner.  Across a gap a far mode must also leave the faces uncoupled: y12
// falls as exp(-gamma D) (D the gap's depth, at least its first layer's on
// either side), so kt d >= 2 far_depth there (exp(-16) = 1.1e-7).
double screens_kfar() {
  double k = std::max(face_kfar(1), face_kfar(2));
  for (int g = 1; g < stack_screens(); ++g) {
    const stack_item &a = stack_gap_layer(g, 1), &b = stack_gap_layer(g, stack_gap_count(g));
    k = std::max({k, far_k(layer_eps(a)), far_k(layer_eps(b)), 2 * far_depth / a.d,
                  2 * far_depth / b.d});
  }
  return k;
}

// The series share of the half-space eps for the modes rows/cols first ..
// first + n - 1 of the far matrices, added to the n x n corner c.
void add_series(cplx* c, int ldc, int first, int n, cplx eps) {
  const int nw = far.nw;
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  const cplx ce = 1.0 / (cplx(0, 1) * eta0 * k0), cm = cplx(0, 1) * k0 / eta0;
  cplx up = 1;
  for (int p = 0; p < far_terms; ++p, up *= eps * k0 * k0) {
    const cplx fe = ce * up, fm = cm * up * eps;
    const double *e = far.e[p].data(), *mm = far.m[p].data();
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const long k = (first - 1 + i) + static_cast<long>(first - 1 + j) * nw;
        c[static_cast<long>(j) * ldc + i] += fe * e[k] + fm * mm[k];
      }
  }
}

}  // namespace

long real_form_sums() { return real_sums; }

long far_class_splits() { return class_splits; }

long far_mirror_splits() { return mirror_splits; }

void hermitian_add(int nw, const std::vector<int>& list, const std::function<const cplx*(int)>& row,
                   const std::function<double(int)>& w, double sign, cplx* c, const std::vector<int>* kept) {
  const int n = static_cast<int>(list.size());
  if (n == 0) return;
  // The entries taken (all, or those kept) and where their products go.
  const int nk = kept ? static_cast<int>(kept->size()) : nw;
  if (nk == 0) return;
  auto entry = [&](int t) { return kept ? (*kept)[t] : t; };
  // Modes of pure parity: iota_a conj(iota_b) = i^(turn_a - turn_b) times
  // the real sum (a quarter of zherk's work).
  if (turned_gram(list, row, w, sign, nk, kept ? kept->data() : all_entries(nk))) {
    for (int b = 0; b < nk; ++b)
      for (int a = 0; a <= b; ++a)
        c[entry(a) + static_cast<long>(entry(b)) * nw] +=
            turn_factor(real_turn[a] - real_turn[b] + 4) * real_sum[a + static_cast<std::size_t>(b) * nk];
    return;
  }
  cplx* out = c;
  if (kept) {
    kept_sum.assign(static_cast<std::size_t>(nk) * nk, 0);
    out = kept_sum.data();
  }
  xs.resize(static_cast<std::size_t>(nk) * std::min(n, block));
  for (int k0 = 0; k0 < n; k0 += block) {
    const int nb = std::min(block, n - k0);
    for (int k = 0; k < nb; ++k) {
      const int m = list[k0 + k];
      const cplx* xm = row(m);
      const double f = std::sqrt(w(m));
      for (int t = 0; t < nk; ++t) xs[static_cast<std::size_t>(k) * nk + t] = xm[entry(t)] * f;
    }
    const double one = 1;
    zherk_("U", "N", &nk, &nb, &sign, xs.data(), &nk, &one, out, &nk);
  }
  if (kept)  // ascending entries: the upper triangle goes to the upper triangle
    for (int b = 0; b < nk; ++b)
      for (int a = 0; a <= b; ++a)
        c[(*kept)[a] + static_cast<long>((*kept)[b]) * nw] += kept_sum[a + static_cast<std::size_t>(b) * nk];
}

namespace {

// The least kt of the modes far at every face of the structure (and, with
// several screens, uncoupled across every gap).
double structure_kfar() {
  return fss_screen.nsc > 1 ? screens_kfar() : std::max(face_kfar(1), face_kfar(2));
}

// The far matrices are those of the coupling table now in force, and the
// Floquet table's near modes those whose rows it holds.
bool same_near_modes() {
  if (static_cast<int>(far.near_modes.size()) != split.nnear) return false;
  for (int m = 1; m <= split.nnear; ++m) {
    const flo_index &a = far.near_modes[m - 1], &b = fss_modeflo_index[m];
    if (a.m != b.m || a.n != b.n || a.type != b.type) return false;
  }
  return true;
}
void ready(int nw, int nf) {
  if (far.generation != integrals_generation() || far.nw != nw || far.nf != nf ||
      far.kfar != split.kfar || !split.on || !same_near_modes())
    fatal("calc_matA", "The far Floquet modes' series is not that of the coupling table");
}

// Every far mode of the Floquet table (after the near ones) has its partner
// of -kt (same kind) among the far modes.
bool far_set_in_pairs() {
  std::vector<std::array<int, 3>> keys;
  for (int m = split.nnear + 1; m <= fss_modeflo_index.n; ++m) {
    const flo_index& o = fss_modeflo_index[m];
    keys.push_back({o.m, o.n, o.type});
  }
  std::sort(keys.begin(), keys.end());
  for (const auto& key : keys)
    if (!std::binary_search(keys.begin(), keys.end(), std::array<int, 3>{-key[0], -key[1], key[2]}) ||
        (key[0] == 0 && key[1] == 0))
      return false;
  return true;
}

// The mirror classes of the aperture modes, found once for their set (from
// class_split_modes modes on): null unless every mode is of pure parity
// under both mirrors about one centre.
const mirror_modes_record* pure_modes() {
  const int nw = fss_modewg_index.n;
  if (nw < class_split_modes || nw == 0) return nullptr;
  mirror_modes_record& r = mirror_modes;
  std::vector<double> key;
  key.reserve(nw + 2 * static_cast<std::size_t>(fss_coordinates.n));
  for (int j = 1; j <= nw; ++j) key.push_back(fss_modewg_kappa[j]);
  for (int i = 1; i <= fss_coordinates.n; ++i) {
    key.push_back(fss_coordinates[i].x);
    key.push_back(fss_coordinates[i].y);
  }
  if (r.key != key) {
    r = mirror_modes_record{};
    r.key = std::move(key);
    r.pure = mode_mirror_classes(r.cls);
    for (int j = 0; j < nw && r.pure; ++j)
      for (int b = 0; b < 2; ++b) r.entries[b][(r.cls[j] >> b) & 1].push_back(j);
  }
  return r.pure ? &r : nullptr;
}

// Floquet modes (table indices) on a grid of cells of 1e-7 of their largest
// kt, for the search of mirror images: an image is
// sought in the cell of the mirrored wavevector and its eight neighbours,
// matched to 1e-7 of its kt in each component, kind kept (a lattice's
// asymmetry displaces the images of its harmonics in proportion to their
// orders, and so to their kt).
constexpr double image_tolerance = 1e-7;
class mirror_grid {
 public:
  template <class It>
  mirror_grid(It first, It last) {
    double most = 0;
    for (It k = first; k != last; ++k) most = std::max(most, fss_modeflo_kappa[*k].kt);
    tol_ = image_tolerance * most;
    if (!(tol_ > 0)) return;  // no modes, or kt = 0 alone: none usable
    for (It k = first; k != last; ++k) {
      const flo_kappa& f = fss_modeflo_kappa[*k];
      cells_.push_back({cell_of(f.kx, f.ky, fss_modeflo_index[*k].type), *k});
    }
    std::sort(cells_.begin(), cells_.end());
  }
  // Whether the grid holds modes to match.
  bool usable() const { return !cells_.empty(); }
  // The image of mode m under x -> -x (mirror 1) or y -> -y (2); 0: none.
  int image_of(int m, int mirror) const {
    const flo_kappa& f = fss_modeflo_kappa[m];
    const double u = mirror == 1 ? -f.kx : f.kx, v = mirror == 1 ? f.ky : -f.ky;
    const cell c = cell_of(u, v, fss_modeflo_index[m].type);
    for (long long dx = -1; dx <= 1; ++dx)
      for (long long dy = -1; dy <= 1; ++dy) {
        const cell n{c[0] + dx, c[1] + dy, c[2]};
        auto it = std::lower_bound(cells_.begin(), cells_.end(), std::make_pair(n, 0));
        for (; it != cells_.end() && it->first == n; ++it) {
          const flo_kappa& g = fss_modeflo_kappa[it->second];
          const double limit = image_tolerance * std::max(f.kt, g.kt);
          if (std::fabs(g.kx - u) <= limit && std::fabs(g.ky - v) <= limit) return it->second;
        }
      }
    return 0;
  }

 private:
  using cell = std::array<long long, 3>;
  cell cell_of(double kx, double ky, int type) const {
    return {static_cast<long long>(std::floor(kx / tol_)), static_cast<long long>(std::floor(ky / tol_)), type};
  }
  double tol_ = 0;
  std::vector<std::pair<cell, int>> cells_;
};

// Oblique incidence: the mirror (2: y -> -y, 1: x -> -x) under which most
// of the far set (order[nnear ..], modes of the table before its ordering)
// are images of each other, kind kept, when the aperture modes are of pure
// parity under it: the incident wave's transverse wavevector lies in its
// plane (phi 0 or 180 degrees for y, 90 or 270 for x: checked first, to
// rounding) and the lattice keeps it.  Images are matched to 1e-7 of their
// kt: a lattice entered to
// a few digits (a triangular one's b = 8.660254 mm for 10 sqrt(3) / 2) is
// symmetric to about that, so its harmonics mirror each other only to
// 5e-8 of the Floquet limit; the far share is then that of the lattice
// made exactly symmetric, a change far below the truncation of the modes
// (the cross on such a lattice at 30 degrees: R and T by 1.6e-10).  A mode
// whose image the table does not hold (its kt at the edge) stays alone.  0 when fewer than half the far modes are matched; state
// (per mode of the table before its ordering) filled for the mirror chosen.
int far_mirror(const std::vector<int>& order, int nnear, std::vector<char>& state) {
  const double in_plane = 1e-12 * fss_em_var.k0;
  if (static_cast<int>(order.size()) == nnear || !pure_modes() ||
      std::min(std::fabs(fss_inc_angle.kx0), std::fabs(fss_inc_angle.ky0)) > in_plane)
    return 0;
  const mirror_grid grid(order.begin() + nnear, order.end());
  if (!grid.usable()) return 0;
  int best = 0;
  std::size_t matched_most = 0;
  std::vector<char> trial(state.size());
  for (int mirror = 2; mirror >= 1; --mirror) {
    // The incident transverse wavevector in the mirror's plane (to rounding:
    // an angle entered is exact, only its sine and cosine are rounded).
    if (std::fabs(mirror == 1 ? fss_inc_angle.kx0 : fss_inc_angle.ky0) > in_plane) continue;
    std::fill(trial.begin(), trial.end(), static_cast<char>(mirror_lone));
    std::size_t matched = 0;
    for (std::size_t k = nnear; k < order.size(); ++k) {
      const int m = order[k], i = grid.image_of(m, mirror);
      if (i == 0 || grid.image_of(i, mirror) != m) continue;  // none, or not each other's
      ++matched;
      const flo_kappa& f = fss_modeflo_kappa[m];
      const double across = mirror == 1 ? f.kx : f.ky, image_across = mirror == 1 ? fss_modeflo_kappa[i].kx
                                                                                   : fss_modeflo_kappa[i].ky;
      trial[m] = i == m ? mirror_self : across > image_across ? mirror_pair : mirror_image;
    }
    if (matched > matched_most) {
      best = mirror;
      matched_most = matched;
      state = trial;
    }
  }
  return 2 * matched_most >= order.size() - nnear ? best : 0;
}

// The mirror classes of the aperture modes (per mode, from 0: bit 1 odd
// under x -> -x, bit 2 under y -> -y), from class_split_modes modes on when
// every mode is of pure parity under both mirrors about one centre; null
// otherwise.
const std::vector<int>* aperture_mode_classes() {
  const mirror_modes_record* r = pure_modes();
  return r ? &r->cls : nullptr;
}

// The mirrors (bit 1: x -> -x, bit 2: y -> -y) that keep `list`, as
// mirror_class_entries says.
int mirrors_keeping(const std::vector<int>& list, const std::vector<cplx>& y) {
  if (list.empty()) return 0;
  const mirror_grid grid(list.begin(), list.end());
  if (!grid.usable()) return 0;
  // The incident transverse wavevector in the mirror's plane to rounding,
  // as for the far set (far_mirror): the images are matched only to the
  // asymmetry a lattice entered to a few digits may have, which an
  // incidence a hair off the plane would pass, its couplings between the
  // classes (of the size of that angle) then dropped.
  const double in_plane = 1e-12 * fss_em_var.k0;
  int kept = 0;
  for (int mirror = 1; mirror <= 2; ++mirror) {
    if (std::fabs(mirror == 1 ? fss_inc_angle.kx0 : fss_inc_angle.ky0) > in_plane) continue;
    bool all = true;
    for (std::size_t k = 0; k < list.size() && all; ++k) {
      const int m = list[k], i = grid.image_of(m, mirror);
      all = i != 0 && grid.image_of(i, mirror) == m && std::abs(y[i] - y[m]) <= 1e-6 * std::abs(y[m]);
    }
    if (all) kept |= mirror;
  }
  return kept;
}

}  // namespace

std::vector<std::vector<int>> mirror_class_entries(const std::vector<int>& list, const std::vector<cplx>& y) {
  const std::vector<int>* cls = aperture_mode_classes();
  const int mirrors = cls ? mirrors_keeping(list, y) : 0;
  if (mirrors == 0) return {};
  std::vector<std::vector<int>> classes(4);
  for (std::size_t j = 0; j < cls->size(); ++j) classes[(*cls)[j] & mirrors].push_back(static_cast<int>(j));
  return classes;
}

namespace {

// The mirror classes of the aperture modes that the far set's series keeps
// apart: from class_split_modes aperture modes on, when every mode is of
// pure parity about one centre (pure_modes) and the far set is mapped onto
// itself by both mirrors (kx -> -kx, ky -> -ky, kind kept), the sums over it
// vanish between classes, and only each class's own block is summed (a
// quarter of the products for four equal classes).  Images are matched to
// 1e-7 of their kt, as in far_mirror (a lattice entered to a few
// digits is symmetric only to about that); a far mode without both images
// (at the table's edge) is marked in `lone` (per table index) and summed
// whole.  Empty when fewer than half the far modes have both images or one
// class holds every mode.
std::vector<std::vector<int>> far_classes(std::vector<char>& lone) {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  const mirror_modes_record* modes = pure_modes();
  if (!modes) return {};
  std::vector<int> far_modes;
  for (int m = split.nnear + 1; m <= nf; ++m) far_modes.push_back(m);
  const mirror_grid grid(far_modes.begin(), far_modes.end());
  if (!grid.usable()) return {};
  lone.assign(nf + 1, 0);
  std::size_t matched = 0;
  for (int m : far_modes) {
    // Both images, each having m for its own (no other mode within tol).
    const int ix = grid.image_of(m, 1), iy = grid.image_of(m, 2);
    lone[m] = ix == 0 || iy == 0 || grid.image_of(ix, 1) != m || grid.image_of(iy, 2) != m;
    matched += !lone[m];
  }
  if (2 * matched < far_modes.size()) return {};
  std::vector<std::vector<int>> classes(4);
  for (int j = 0; j < nw; ++j) classes[modes->cls[j]].push_back(j);
  classes.erase(std::remove_if(classes.begin(), classes.end(), [](const auto& c) { return c.empty(); }),
                classes.end());
  if (classes.size() < 2) classes.clear();
  return classes;
}

// kt of a Floquet mode's harmonic at k0 in the interpolant's direction (as
// genmodes_flo computes it), and whether the harmonic is in the
// interpolated far set: far at every frequency of the band (|G| - k_top
// sin(theta) >= far_factor k_top) and in the table at every one of them
// (|G + k0 s|^2 is convex in k0: at both ends of the band).
double harmonic_kt(const flo_index& o, double k0) {
  const double kx = o.m * interp.ga + k0 * interp.sx;
  const double ky = (o.n * interp.gb - o.m * interp.gc) + k0 * interp.sy;
  return std::sqrt(ky * ky + kx * kx);
}
bool harmonic_far(const flo_index& o) {
  return harmonic_kt(o, 0) >= interp.gmin && harmonic_kt(o, interp.klo) <= interp.kin &&
         harmonic_kt(o, interp.khi) <= interp.kin;
}

// The interpolant belongs to this direction, band, Floquet limit and mode
// set; started afresh otherwise.
void interp_for_this_direction() {
  const double klo = dpi(1) * fss_freq_iter.start / dcspeed();
  const double khi = dpi(1) * (fss_freq_iter.start + (fss_sweep_frequencies() - 1) * fss_freq_iter.step) / dcspeed();
  const int nw = fss_modewg_index.n;
  const interp_record& r = interp;
  if (r.theta == fss_inc_angle.theta && r.phi == fss_inc_angle.phi && r.klo == klo && r.khi == khi &&
      r.kmax == fss_kmax.flo && r.nw == nw && r.a == fss_cell_dim.a && r.b == fss_cell_dim.b &&
      r.alpha == fss_lattice_angle.alpha && r.points == fss_coordinates.n)
    return;
  interp = interp_record{};
  interp.a = fss_cell_dim.a;
  interp.b = fss_cell_dim.b;
  interp.alpha = fss_lattice_angle.alpha;
  interp.points = fss_coordinates.n;
  interp.frequencies = fss_sweep_frequencies();
  interp.done.assign(cheb_n + 1, 0);
  interp.theta = fss_inc_angle.theta;
  interp.phi = fss_inc_angle.phi;
  interp.klo = klo;
  interp.khi = khi;
  interp.kmax = fss_kmax.flo;
  interp.nw = nw;
  const double ks = khi * std::sin(fss_inc_angle.theta) * (1 + 1e-9);  // |k0 s| at most
  interp.gmin = far_factor * khi + ks;
  interp.kin = fss_kmax.flo * (1 - 1e-9);  // a margin for the rounding of kt and of the band's ends
  interp.sx = std::sin(fss_inc_angle.theta) * std::cos(fss_inc_angle.phi);
  interp.sy = std::sin(fss_inc_angle.theta) * std::sin(fss_inc_angle.phi);
  interp.ga = dpi(1) / fss_cell_dim.a;
  interp.gb = dpi(1) / fss_cell_dim.b;
  interp.gc = interp.ga / std::tan(fss_lattice_angle.alpha);
  interp.g.resize(cheb_n + 1);
  // The Floquet table's size at each frequency of the sweep (it changes with
  // k0 as harmonics cross kmax), the sweep point's direction put back.
  const fss_inc_angle_rec angle = fss_inc_angle;
  for (int i = 0; i < interp.frequencies; ++i) {
    const double k = dpi(1) * (fss_freq_iter.start + i * fss_freq_iter.step) / dcspeed();
    fss_inc_angle.kx0 = k * interp.sx;
    fss_inc_angle.ky0 = k * interp.sy;
    interp.most = std::max(interp.most, floquet_mode_count(fss_kmax.flo));
  }
  fss_inc_angle = angle;
}

// One screen in air at oblique incidence: the couplings change with every
// frequency.
bool oblique_screen_in_air() {
  if (fss_screen.nsc != 1 || !(fss_inc_angle.theta > 1.0e-6)) return false;
  return stack_layer_count(1) == 0 && stack_layer_count(2) == 0;
}

// Whether the sweep point's direction has a band: many frequencies, and a
// Floquet table beyond one block at some of them (this point's or
// another's), and with it a record of its far set (the interpolant's, kept
// when given up).  The whole direction takes the band's choice of the
// couplings' form, also at its points whose table holds one block or less.
bool direction_band(int nf) {
  if (!oblique_screen_in_air() || fss_writeinfo.wgs || fss_sweep_frequencies() < far_interpolation_points)
    return false;
  interp_for_this_direction();
  return nf > block || interp.most > block;
}

double node_x(int j) { return std::cos(j * M_PI / cheb_n); }

// The interpolant of the nodes j = 0, s, 2 s, .. (Chebyshev points of the
// second kind: barycentric weights (-1)^i, halved at the ends) at x, packed.
void interpolate(double x, int s, std::vector<cplx>& out) {
  const int n = cheb_n / s;
  out.assign(interp.g[0].size(), 0);
  std::vector<double> c(n + 1);
  double sum = 0;
  for (int i = 0; i <= n; ++i) {
    const double d = x - node_x(i * s);
    if (std::fabs(d) < 1e-15) {
      out = interp.g[i * s];
      return;
    }
    c[i] = (i % 2 ? -1.0 : 1.0) * (i == 0 || i == n ? 0.5 : 1.0) / d;
    sum += c[i];
  }
  for (int i = 0; i <= n; ++i) {
    const double w = c[i] / sum;
    const std::vector<cplx>& gj = interp.g[i * s];
    for (std::size_t k = 0; k < out.size(); ++k) out[k] += w * gj[k];
  }
}

// The largest difference, relative to the largest entry, between the nodes
// j = s/2, 3 s/2, .. and the interpolant of the nodes of stride s.
double interpolation_error(int s) {
  double big = 0, diff = 0;
  for (int j = 0; j <= cheb_n; j += s / 2)
    for (const cplx& v : interp.g[j]) big = std::max(big, std::abs(v));
  std::vector<cplx> v;
  for (int j = s / 2; j <= cheb_n; j += s) {
    interpolate(node_x(j), s, v);
    for (std::size_t k = 0; k < v.size(); ++k) diff = std::max(diff, std::abs(v[k] - interp.g[j][k]));
  }
  return big > 0 ? diff / big : 0;
}

// The error of a level's own interpolant, estimated from the checks: that
// of the interpolant of every other node (`error`) and of the level above
// (`before`).  Were the errors to go on falling by the same factor, it is
// error^2 / before; Chebyshev interpolation of an analytic function does
// better (doubling the nodes squares the error), so this is an upper
// estimate.  Only where the errors fall at least by far_interpolation_rate
// (otherwise, infinite: no estimate).
double level_error(double error, double before) {
  if (!(before > 0) || error > far_interpolation_rate * before) return HUGE_VAL;
  return error * (error / before);
}

// The far share Q (upper triangle, nw x nw) at the sweep point's k0.
void interpolated_share(cplx* q) {
  if (interp.stride <= 0) fatal("calc_matA", "The far Floquet modes' interpolant is not ready");
  const double k0 = fss_em_var.k0, x = (2 * k0 - interp.klo - interp.khi) / (interp.khi - interp.klo);
  // Within the band (but for the rounding of the sweep's frequencies): never extrapolated.
  if (!(std::fabs(x) <= 1 + 1e-9))
    fatal("calc_matA", "The far Floquet modes' interpolant does not reach this frequency");
  std::vector<cplx> v;
  interpolate(x, interp.stride, v);
  const long nw = interp.nw;
  for (long c = 0, k = 0; c < nw; ++c)
    for (long j = 0; j <= c; ++j) q[j + c * nw] = v[k++] / k0;
}

}  // namespace

void far_floquet_order() {
  split = split_record{};
  const int nf = fss_modeflo_index.n;
  // At a node of the interpolant the table is ordered for its far set
  // whatever its size (which changes with k0 as harmonics cross kmax).
  const bool stream = interp.building || far_floquet_streams(nf);
  split.band = interp.building || direction_band(nf);
  if (!far_floquet_applies(nf) && !stream) return;
  split.stream = stream;
  split.interp = interp.building || (stream && split.band && far_floquet_interpolates(nf));
  // Summed at the sweep point, the far share is exact whichever modes it
  // takes: those beyond far_factor k0 leave the incident and the
  // propagating ones (whose rows the results read) in the table.
  split.kfar = stream ? far_factor * fss_em_var.k0 : structure_kfar();
  if (split.interp) split.kfar = interp.gmin;
  // A stable partition: the near modes keep their order, and with it the
  // pairs of a harmonic stay side by side.
  std::vector<int> order;
  order.reserve(nf);
  auto is_far = [](int m) {
    const int type = fss_modeflo_index[m].type;
    if (split.interp) return (type == flo_te || type == flo_tm) && harmonic_far(fss_modeflo_index[m]);
    return fss_modeflo_kappa[m].kt >= split.kfar && (type == flo_te || type == flo_tm);
  };
  for (int pass = 0; pass < 2; ++pass)
    for (int m = 1; m <= nf; ++m)
      if (is_far(m) == (pass == 1)) order.push_back(m);
  int nnear = 0;
  while (nnear < nf && !is_far(order[nnear])) ++nnear;
  // The real series needs the far set closed under kt -> -kt (a lattice's
  // Floquet set at exactly normal incidence always is: kt of (m, n) and of
  // (-m, -n) are the same number; checked once per coupling table, by
  // far_floquet_begin).  The mode of -kt of each pair then goes after all
  // the others: its coupling is never computed (the other one's, summed for
  // both, is enough).
  // Oblique incidence in a plane of symmetry of aperture and lattice: the
  // images under the mirror of the far modes computed go after them (their
  // couplings follow from those of the computed ones, far_parts_add).
  // (Not at a sweep point whose far share is interpolated: its far modes
  // take no couplings.)
  int summed = nf;
  std::vector<char> state(nf + 1, mirror_lone);
  const bool far_couplings = !(split.interp && !interp.building);
  if (stream && far_couplings && (split.mirror = far_mirror(order, nnear, state)) != 0) {
    auto image = [&state](int m) { return state[m] == mirror_image; };
    std::stable_partition(order.begin() + nnear, order.end(), [&](int m) { return !image(m); });
    summed = nnear;
    while (summed < nf && !image(order[summed])) ++summed;
    split.mirror_state.assign(nf + 1, mirror_lone);
    for (int k = 0; k < nf; ++k) split.mirror_state[k + 1] = state[order[k]];
  }
  if (!far_couplings) summed = nnear;  // interpolated: no far couplings at the point
  if (!stream) {
    std::stable_partition(order.begin() + nnear, order.end(), [](int m) { return !partner_of_pair(m); });
    summed = nnear;
    while (summed < nf && !partner_of_pair(order[summed])) ++summed;
  }
  std::vector<int> new_index(nf + 1);
  for (int k = 0; k < nf; ++k) new_index[order[k]] = k + 1;
  auto permute = [&](auto& t) {
    auto old = t.v;
    for (int k = 0; k < nf; ++k) t[k + 1] = old[order[k]];
  };
  permute(fss_modeflo_index);
  permute(fss_modeflo_kappa);
  permute(fss_modeflo_y);
  for (int* p : {&fss_inc_mode.indextm, &fss_inc_mode.indexte, &fss_inc_mode.indextemx,
                 &fss_inc_mode.indextemy})
    if (*p > 0) *p = new_index[*p];
  split.nnear = nnear;
  split.summed = summed;
  split.on = true;
}

int far_floquet_rows() { return split.on ? split.nnear : fss_modeflo_index.n; }

int far_floquet_summed() { return split.on ? split.summed : fss_modeflo_index.n; }

void far_floquet_begin() {
  if (!split.on) return;
  far.generation = integrals_generation();
  far.nw = fss_modewg_index.n;
  far.nf = fss_modeflo_index.n;
  far.kfar = split.kfar;
  far.near.resize(split.nnear);
  far.near_modes.resize(split.nnear);
  for (int m = 1; m <= split.nnear; ++m) {
    far.near[m - 1] = m;
    far.near_modes[m - 1] = fss_modeflo_index[m];
  }
  const std::size_t size = static_cast<std::size_t>(far.nw) * far.nw;
  if (split.stream) {
    far.p.assign(size, 0);
    far.q.assign(size, 0);
    far.k0 = fss_em_var.k0;
    far.kx0 = fss_inc_angle.kx0;
    far.ky0 = fss_inc_angle.ky0;
    if (split.interp) interpolated_share(far.q.data());
    if (split.mirror && split.summed > split.nnear) ++mirror_splits;
    return;
  }
  if (!far_set_in_pairs())
    fatal("far_floquet_begin", "The far Floquet modes do not come in pairs of opposite kt");
  far.classes = far_classes(far.lone);
  if (!far.classes.empty()) ++class_splits;
  for (int p = 0; p < far_terms; ++p) {
    far.e[p].assign(size, 0);
    far.m[p].assign(size, 0);
  }
}

void far_floquet_add(int first, int count, const cplx* rows) {
  const int nw = far.nw;
  if (nw == 0) return;  // a screen without aperture modes: nothing couples
  auto row = [&](int m) { return rows + static_cast<long>(m - first) * nw; };
  if (split.stream) {
    std::vector<int> list(count);
    for (int k = 0; k < count; ++k) list[k] = first + k;
    far_parts_add(nw, list, row, far.p.data(), far.q.data());
    return;
  }
  // One mode of every pair (the partners' rows are never computed), for
  // both: twice its real part.  By mirror classes when the far set keeps
  // them apart (the blocks between them stay zero), the modes without their
  // images whole; else all modes at once.
  far.te.clear();
  far.tm.clear();
  far.lone_te.clear();
  far.lone_tm.clear();
  const bool by_classes = !far.classes.empty();
  for (int m = first; m < first + count; ++m) {
    const bool te = fss_modeflo_index[m].type == flo_te;
    if (by_classes && far.lone[m])
      (te ? far.lone_te : far.lone_tm).push_back(m);
    else
      (te ? far.te : far.tm).push_back(m);
  }
  const auto& kappa = fss_modeflo_kappa;
  auto add = [&](const std::vector<int>& te, const std::vector<int>& tm, const std::vector<int>* kept) {
    // Each mode's turned vector once for the four terms where the modes
    // take the real form; each term's own product otherwise.
    if (!turned_series(nw, te, row, 1, te_series, far.e, kept))
      for (int p = 0; p < far_terms; ++p)
        real_part_add(nw, te, row, [&](int m) { return 2 * std::pow(kappa[m].kt, 1 - 2 * p); }, te_series[p],
                      far.e[p].data(), kept);
    if (!turned_series(nw, tm, row, -1, tm_series, far.m, kept))
      for (int p = 0; p < far_terms; ++p)
        real_part_add(nw, tm, row, [&](int m) { return 2 * std::pow(kappa[m].kt, -1 - 2 * p); }, tm_series[p],
                      far.m[p].data(), kept);
  };
  if (!by_classes) {
    add(far.te, far.tm, nullptr);
    return;
  }
  for (const std::vector<int>& kept : far.classes) add(far.te, far.tm, &kept);
  if (!far.lone_te.empty() || !far.lone_tm.empty()) add(far.lone_te, far.lone_tm, nullptr);
}

void far_floquet_end() {
  if (!split.on || split.stream) return;
  const long nw = far.nw;
  for (int p = 0; p < far_terms; ++p)
    for (double* c : {far.e[p].data(), far.m[p].data()})
      for (long q = 0; q < nw; ++q)
        for (long j = q + 1; j < nw; ++j) c[j + q * nw] = c[q + j * nw];
}

void far_floquet_reset() {
  far_record().swap_into(far);
  interp = interp_record{};
  mirror_modes = mirror_modes_record{};
  split = split_record{};
  for (auto* v : {&xs, &ys, &face, &kept_sum}) std::vector<cplx>().swap(*v);
  for (auto* v : {&xr, &pair_part, &kept_real, &turned_base}) std::vector<double>().swap(*v);
  near_pairs = near_pairs_record{};
}

bool far_floquet_applies(int nf) {
  if (nf <= block || fss_screen.nsc < 1) return false;
  // Exactly normal incidence: the pairs of opposite kt (see the top).
  if (fss_writeinfo.wgs || fss_inc_angle.theta != 0) return false;
  const double steps = (fss_freq_iter.end - fss_freq_iter.start) / fss_freq_iter.step;
  return fss_freq_iter.step > 0 && steps + 1 >= 16;
}

int far_interpolation_points = 24;
double far_interpolation_tolerance = 1e-5;
double far_interpolation_rate = 0.1;

bool far_floquet_interpolates(int nf) {
  return far_floquet_streams(nf) && direction_band(nf) && interp.stride != -1 && interp.gmin < interp.kin &&
         interp.nw > 0;
}

double far_floquet_next_node() {
  interp.building = false;
  if (!split.interp || interp.stride != 0) return 0;
  // The nodes of the level (every level-th of the finest grid), then its
  // check: the interpolant of the level above (every other node) against
  // the nodes between; met, or the level's own error estimated from the
  // checks within the tolerance (level_error), the level is used.  Otherwise the level below
  // is built only while the errors fall at least tenfold from level to
  // level (from the 3 nodes' to the 5 nodes' first), and while its nodes
  // are fewer than the direction's frequencies: a share with a jump in k0
  // (see far_interpolation_rate) is summed at each point after 9 nodes.
  for (;;) {
    for (int j = 0; j <= cheb_n; j += interp.level)
      if (!interp.done[j]) {
        interp.pending = j;
        interp.building = true;
        return 0.5 * (interp.klo + interp.khi) + 0.5 * (interp.khi - interp.klo) * node_x(j);
      }
    const double error = interpolation_error(2 * interp.level);
    const double before = interp.level == 4 ? interpolation_error(16) : interp.error;
    interp.error = error;
    if (error <= far_interpolation_tolerance || level_error(error, before) <= far_interpolation_tolerance)
      interp.stride = interp.level;
    else if (interp.level == 1 || error > far_interpolation_rate * before ||
             cheb_n / (interp.level / 2) + 1 >= interp.frequencies)
      interp.stride = -1;
    else {
      interp.level /= 2;
      continue;
    }
    if (interp.stride < 0)
      far_floquet_give_up();
    else
      std::vector<cplx>().swap(interp.work);
    return 0;
  }
}

void far_floquet_give_up() {
  interp.stride = -1;
  interp.building = false;
  std::vector<cplx>().swap(interp.work);
  std::vector<std::vector<cplx>>().swap(interp.g);  // summed at each point
}

int far_floquet_nodes_built() { return interp.built; }
int far_floquet_nodes_planned() { return interp.level > 0 ? cheb_n / interp.level + 1 : 0; }

int far_floquet_interpolation_nodes() {
  return split.interp && interp.stride > 0 ? cheb_n / interp.stride + 1 : 0;
}

bool far_floquet_band_kt(int m, double& lo, double& hi) {
  const flo_index& o = fss_modeflo_index[m];
  if (!(interp.building || split.band) || (o.type != flo_te && o.type != flo_tm) || !harmonic_far(o))
    return false;
  // kt^2 = |G|^2 + 2 k0 G.s + k0^2 |s|^2: least at k0 = -G.s / |s|^2 when
  // that lies in the band, largest at an end.
  const double gx = o.m * interp.ga, gy = o.n * interp.gb - o.m * interp.gc;
  const double s2 = interp.sx * interp.sx + interp.sy * interp.sy;
  const double kstar = s2 > 0 ? -(gx * interp.sx + gy * interp.sy) / s2 : interp.klo;
  const double a = harmonic_kt(o, interp.klo), b = harmonic_kt(o, interp.khi);
  lo = harmonic_kt(o, std::clamp(kstar, interp.klo, interp.khi));
  hi = std::max(a, b);
  return true;
}

void far_floquet_node_begin() {
  if (split.mirror) ++mirror_splits;
  const std::size_t nw = interp.nw;
  interp.work.assign(nw * nw, 0);
}

void far_floquet_node_add(int first, int count, const cplx* rows) {
  // Far modes are evanescent: their admittances imaginary, Q alone.
  const int nw = interp.nw;
  std::vector<int> list(count);
  for (int k = 0; k < count; ++k) list[k] = first + k;
  auto row = [&](int m) { return rows + static_cast<long>(m - first) * nw; };
  far_parts_add(nw, list, row, nullptr, interp.work.data());
}

void far_floquet_node_end() {
  const long nw = interp.nw;
  std::vector<cplx>& g = interp.g[interp.pending];
  g.resize(static_cast<std::size_t>(nw * (nw + 1) / 2));
  interp.done[interp.pending] = 1;
  ++interp.built;
  const double k0 = fss_em_var.k0;  // the node's
  for (long c = 0, k = 0; c < nw; ++c)
    for (long j = 0; j <= c; ++j) g[k++] = k0 * interp.work[j + c * nw];
}

bool far_floquet_streams(int nf) {
  // The couplings computed afresh at every sweep point (as the sweep does
  // away from normal incidence).
  return nf > block && oblique_screen_in_air();
}

int far_floquet_parts(int nw, int nf, cplx* p, cplx* q) {
  const std::size_t size = static_cast<std::size_t>(nw) * nw;
  if (!split.stream) {
    std::fill_n(p, size, cplx(0));
    std::fill_n(q, size, cplx(0));
    return nf;
  }
  ready(nw, nf);
  if (far.k0 != fss_em_var.k0 || far.kx0 != fss_inc_angle.kx0 || far.ky0 != fss_inc_angle.ky0)
    fatal("calc_matA", "The far Floquet modes' share is not that of this sweep point");
  std::copy_n(far.p.data(), size, p);
  std::copy_n(far.q.data(), size, q);
  return split.nnear;
}

namespace {

// admittance_parts_add over the entries `kept` (ascending, from 0; null:
// all) of the aperture modes, each mode's weight times mult(m).
void parts_add(int nw, const std::vector<int>& modes, const std::function<const cplx*(int)>& row, cplx* p,
               cplx* q, const std::vector<int>* kept, double (*mult)(int)) {
  // The lists: Re y > 0, Re y < 0, Im y > 0, Im y < 0.
  static std::vector<int> list[4];
  for (auto& l : list) l.clear();
  for (int m : modes) {
    const cplx y = fss_modeflo_y[m].y1;
    if (y.real() != 0) list[y.real() > 0 ? 0 : 1].push_back(m);
    if (y.imag() != 0) list[y.imag() > 0 ? 2 : 3].push_back(m);
  }
  // The TE aperture modes' entries: the only ones a TE or TEM wave couples with.
  static std::vector<int> te_rows;
  te_rows.clear();
  const int nk = kept ? static_cast<int>(kept->size()) : nw;
  for (int t = 0; t < nk; ++t) {
    const int j = kept ? (*kept)[t] : t;
    if (fss_modewg_index[j + 1] == wg_te) te_rows.push_back(j);
  }
  static std::vector<int> te_waves, others;
  for (int k = 0; k < 4; ++k) {
    auto w = [k, mult](int m) {
      const cplx y = fss_modeflo_y[m].y1;
      return std::fabs(k < 2 ? y.real() : y.imag()) * (mult ? mult(m) : 1.0);
    };
    if (k < 2 && !p) continue;  // imaginary parts only
    te_waves.clear();
    others.clear();
    for (int m : list[k]) {
      const int f = fss_modeflo_index[m].type;
      (f == flo_te || f == flo_temx || f == flo_temy ? te_waves : others).push_back(m);
    }
    const double sign = k % 2 == 0 ? 1 : -1;
    hermitian_add(nw, others, row, w, sign, k < 2 ? p : q, kept);
    hermitian_add(nw, te_waves, row, w, sign, k < 2 ? p : q, &te_rows);
  }
}

// The weight of a far mode computed under the split's mirror: 2 for one
// that stands for its image too, 1 for one on the mirror (its own image).
double mirror_weight(int m) { return split.mirror_state[m] == mirror_pair ? 2 : 1; }

// The far modes' share of a sweep point or a node (admittance_parts_add).
// With a mirror of the far set the images of the modes computed have the
// same admittances and, with the aperture modes of parities s_a under it,
// the couplings x_a' = c s_a x_a (|c| = 1, the same for every a): a pair
// adds w (1 + s_a s_b) x_a conj(x_b), twice the computed mode's share
// within a mirror class and nothing between classes.  So each class's
// block is summed alone over the modes computed (a quarter of the products
// of the whole set for two equal classes); a mode whose image the table
// does not hold is summed whole.
void far_parts_add(int nw, const std::vector<int>& modes, const std::function<const cplx*(int)>& row,
                   cplx* p, cplx* q) {
  if (split.mirror == 0) {
    admittance_parts_add(nw, modes, row, p, q);
    return;
  }
  static std::vector<int> paired, lone;
  paired.clear();
  lone.clear();
  for (int m : modes) (split.mirror_state[m] == mirror_lone ? lone : paired).push_back(m);
  for (const std::vector<int>& kept : mirror_modes.entries[split.mirror - 1])
    if (!kept.empty()) parts_add(nw, paired, row, p, q, &kept, mirror_weight);
  admittance_parts_add(nw, lone, row, p, q);
}

}  // namespace

void admittance_parts_add(int nw, const std::vector<int>& modes, const std::function<const cplx*(int)>& row,
                          cplx* p, cplx* q) {
  parts_add(nw, modes, row, p, q, nullptr, nullptr);
}

long class_parts_sums = 0;  // sums over modes kept by mirrors taken by classes

bool admittance_parts_add_by_classes(int nw, const std::vector<int>& modes,
                                     const std::function<const cplx*(int)>& row, cplx* p, cplx* q) {
  static std::vector<cplx> y;
  y.assign(fss_modeflo_index.n + 1, cplx(0));
  for (int m : modes) y[m] = fss_modeflo_y[m].y1;
  const std::vector<std::vector<int>> classes = mirror_class_entries(modes, y);
  if (classes.empty()) {
    admittance_parts_add(nw, modes, row, p, q);
    return false;
  }
  for (const std::vector<int>& kept : classes)
    if (!kept.empty()) parts_add(nw, modes, row, p, q, &kept, nullptr);
  ++class_parts_sums;
  return true;
}

long admittance_class_sums() { return class_parts_sums; }

namespace {

// Whether the partner's couplings are s conj of the mode's (s = +-1, the
// sign set by the largest entry) to 1e-12 of their largest.
bool conjugate_rows(int nw, const cplx* a, const cplx* b) {
  int big = 0;
  for (int j = 1; j < nw; ++j)
    if (std::abs(a[j]) > std::abs(a[big])) big = j;
  if (nw == 0 || a[big] == cplx(0)) return false;
  const double s = (b[big] * a[big]).real() >= 0 ? 1 : -1, size = std::abs(a[big]);
  for (int j = 0; j < nw; ++j)
    if (std::abs(b[j] - s * std::conj(a[j])) > 1e-12 * size) return false;
  return true;
}

void find_near_pairs(int nw, const cplx* x) {
  const int nnear = static_cast<int>(far.near.size());
  if (near_pairs.generation == integrals_generation() && near_pairs.nw == nw && near_pairs.nnear == nnear) return;
  near_pairs = {integrals_generation(), nw, nnear, {}, {}};
  std::map<std::array<int, 3>, int> where;
  for (int m : far.near) {
    const flo_index& o = fss_modeflo_index[m];
    where[{o.m, o.n, o.type}] = m;
  }
  auto row = [&](int m) { return x + static_cast<long>(m - 1) * nw; };
  for (int m : far.near) {
    const flo_index& o = fss_modeflo_index[m];
    const auto found = where.find({-o.m, -o.n, o.type});
    const int partner = found == where.end() ? 0 : found->second;
    if (partner == 0 || partner == m) {
      near_pairs.alone.push_back(m);
    } else if (!partner_of_pair(m)) {  // the mode of -kt comes with this one
      const bool paired = conjugate_rows(nw, row(m), row(partner));
      for (int q : {m, partner}) (paired ? near_pairs.pairs : near_pairs.alone).push_back(q);
    }
  }
}

long near_class_sums = 0;  // near pairs' sums taken by mirror classes

// c = sum over the near modes of w(m) x_m x_m^H.  A pair of opposite kt with
// one admittance adds w (x x^H + conj(x x^H)) = 2 w (a a^T + b b^T),
// x = a + j b: real symmetric products (dsyrk) of the mode of +kt alone, by
// the sign of each part of w, a quarter of the complex product's work.
template <class W>
void near_pairs_sum(int nw, const cplx* x, W w, cplx* c) {
  find_near_pairs(nw, x);
  std::vector<int> alone = near_pairs.alone, part[4];  // Re w > 0, < 0, Im w > 0, < 0
  const std::vector<int>& pairs = near_pairs.pairs;
  for (std::size_t k = 0; k < pairs.size(); k += 2) {
    const cplx y = w(pairs[k]);
    if (y != w(pairs[k + 1])) {
      alone.push_back(pairs[k]);
      alone.push_back(pairs[k + 1]);
      continue;
    }
    if (y.real() != 0) part[y.real() > 0 ? 0 : 1].push_back(pairs[k]);
    if (y.imag() != 0) part[y.imag() > 0 ? 2 : 3].push_back(pairs[k]);
  }
  near_pairs.lone = static_cast<int>(alone.size());
  near_pairs.paired = static_cast<int>(pairs.size() + near_pairs.alone.size()) - near_pairs.lone;
  weighted_sum(nw, alone, x, w, 0, c);
  auto row = [&](int m) { return x + static_cast<long>(m - 1) * nw; };
  // The pairs' real parts within the mirror classes alone, where mirrors
  // map the near set onto itself (each image with its admittance): the
  // whole sum vanishes between classes, whichever mode of each pair stands
  // for it.
  std::vector<int> near(pairs);
  near.insert(near.end(), near_pairs.alone.begin(), near_pairs.alone.end());
  std::vector<cplx> y(fss_modeflo_index.n + 1, cplx(0));
  for (int m : near) y[m] = w(m);
  const std::vector<std::vector<int>> classes = mirror_class_entries(near, y);
  if (!classes.empty()) ++near_class_sums;
  for (int re = 1; re >= 0; --re) {
    if (part[re ? 0 : 2].empty() && part[re ? 1 : 3].empty()) continue;
    pair_part.assign(static_cast<std::size_t>(nw) * nw, 0);
    for (int k = re ? 0 : 2; k < (re ? 2 : 4); ++k) {
      auto weight = [&](int m) { return 2 * std::fabs(re ? w(m).real() : w(m).imag()); };
      const double sign = k % 2 == 0 ? 1 : -1;
      if (classes.empty()) real_part_add(nw, part[k], row, weight, sign, pair_part.data());
      for (const std::vector<int>& kept : classes)
        if (!kept.empty()) real_part_add(nw, part[k], row, weight, sign, pair_part.data(), &kept);
    }
    const cplx unit = re ? cplx(1) : cplx(0, 1);
    for (long q = 0; q < nw; ++q)
      for (long j = 0; j <= q; ++j) {
        const cplx t = unit * pair_part[j + q * nw];
        c[j + q * nw] += t;
        if (j != q) c[q + j * nw] += t;
      }
  }
}

}  // namespace

void far_floquet_sum(int nw, int nf, const cplx* x, cplx* sm) {
  ready(nw, nf);
  near_pairs_sum(nw, x, [](int m) { return fss_modeflo_y[m].y1; }, sm);
  add_series(sm, nw, 1, nw, 1.0);
}

void far_floquet_stack_sum(int nw, int nf, const cplx* x, cplx* sm) {
  ready(nw, nf);
  face.resize(static_cast<std::size_t>(nw) * nw);
  for (int side = 1; side <= 2; ++side) {
    near_pairs_sum(nw, x, [side](int m) { return fss_modeflo_stack[m].yface[side]; }, face.data());
    add_series(face.data(), nw, 1, nw, face_eps(side));
    // Face 1 in rows 1 .. nw of sm, face 2 in rows nw + 1 .. 2 nw (leading
    // dimension 2 nw).
    for (int q = 0; q < nw; ++q)
      for (int j = 0; j < nw; ++j)
        sm[(side - 1) * nw + j + static_cast<long>(q) * 2 * nw] = face[j + static_cast<long>(q) * nw];
  }
}

int far_floquet_paired_modes() { return near_pairs.paired; }
long near_pair_class_sums() { return near_class_sums; }
int far_floquet_lone_modes() { return near_pairs.lone; }

bool far_floquet_screens(int nw, int nf) {
  if (fss_screen.nsc < 2 || !far_floquet_applies(nf)) return false;
  ready(nw, nf);
  return true;
}

const std::vector<int>& far_floquet_near() { return far.near; }

bool far_floquet_far(int q) { return split.on && q > split.nnear; }

void far_floquet_face(cplx* c, int ldc, int first, int n, cplx eps) { add_series(c, ldc, first, n, eps); }
