#include "scattering/system.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/classes.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/integrals.hpp"
#include "scattering/real_couplings.hpp"

extern "C" void zgesv_(const int* n, const int* nrhs, std::complex<double>* a,
                       const int* lda, int* ipiv, std::complex<double>* b,
                       const int* ldb, int* info);
extern "C" void zgetrs_(const char* trans, const int* n, const int* nrhs,
                        const std::complex<double>* a, const int* lda, const int* ipiv,
                        std::complex<double>* b, const int* ldb, int* info);
extern "C" void zsysv_(const char* uplo, const int* n, const int* nrhs, std::complex<double>* a,
                       const int* lda, int* ipiv, std::complex<double>* b, const int* ldb,
                       std::complex<double>* work, const int* lwork, int* info);
extern "C" void zsytrs_(const char* uplo, const int* n, const int* nrhs,
                        const std::complex<double>* a, const int* lda, const int* ipiv,
                        std::complex<double>* b, const int* ldb, int* info);
extern "C" void zgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const std::complex<double>* alpha, const std::complex<double>* a,
                       const int* lda, const std::complex<double>* b, const int* ldb,
                       const std::complex<double>* beta, std::complex<double>* c, const int* ldc);

// S = X diag(Yf) X^H accumulated over blocks of Floquet modes, so that the
// scaled couplings are held for one block only (a plain run's Floquet table
// in one block).
constexpr int floquet_block = 4096;

// Work storage: the admittance-weighted couplings of a block of Floquet
// modes, the admittance sums and their Hermitian parts (kept between sweep
// points).
static std::vector<cplx> yv, smv, hp, hq;

// Work storage of at least n entries (kept between sweep points).
static void sized(std::vector<cplx>& v, long n) {
  if (static_cast<long>(v.size()) < n) v.resize(static_cast<std::size_t>(n));
}

// With dielectric layers the two faces see different admittances: face k
// the admittance Yf_k of each Floquet mode looking away from it through its
// stack, S_k = X diag(Yf_k) X^H, both from one product.
static void add_stack_admittances(int nw, int nf, cplx* a) {
  const int n = 2 * nw, ld = 2 * nw;
  const bool far = far_floquet_applies(nf);
  sized(yv, far ? 0 : 2L * nw * std::min(nf, floquet_block));
  sized(smv, 2L * nw * nw);
  cplx *y = yv.data(), *sm = smv.data();
  const cplx* x = fss_integrals.data1();
  if (far) far_floquet_stack_sum(nw, nf, x, sm);
  for (int m0 = 0; m0 < (far ? 0 : nf); m0 += floquet_block) {
    const int nb = std::min(floquet_block, nf - m0);
    for (int m = 0; m < nb; ++m) {
      const flo_stack& st = fss_modeflo_stack[m0 + m + 1];
      const cplx* xm = x + static_cast<long>(m0 + m) * nw;
      cplx* ym = y + static_cast<long>(m) * ld;
      for (int j = 0; j < nw; ++j) {
        ym[j] = xm[j] * st.yface[1];
        ym[nw + j] = xm[j] * st.yface[2];
      }
    }
    const cplx one = 1, beta = m0 == 0 ? 0 : 1;
    zgemm_("N", "C", &ld, &nw, &nb, &one, y, &ld, x + static_cast<long>(m0) * nw, &nw, &beta, sm, &ld);
  }
  for (int q = 0; q < nw; ++q)
    for (int j = 0; j < nw; ++j) {
      a[q * n + j] += sm[j + q * ld];
      a[(nw + q) * n + nw + j] += sm[nw + j + q * ld];
    }
}

// S = X diag(y) X^H (nw x nw) for the admittances y of air, as P + j Q with
// P = X diag(Re y) X^H and Q = X diag(Im y) X^H, both Hermitian: each mode
// enters them by the sign of each part, and in air only one part is not
// zero (real above cutoff, imaginary below), so the Hermitian products
// (zherk) take half the work of the general one.  Used beyond one block of
// Floquet modes (a plain run keeps the general product, bit for bit).
static void hermitian_admittance_sum(int nw, int nf, const cplx* x, cplx* sm) {
  const long size = static_cast<long>(nw) * nw;
  sized(hp, size);
  sized(hq, size);
  // From the far modes' share, when it was summed as their couplings were
  // computed (from zero otherwise); then the modes whose rows the table holds.
  const int kept = far_floquet_parts(nw, nf, hp.data(), hq.data());
  std::vector<int> modes(kept);
  for (int m = 1; m <= kept; ++m) modes[m - 1] = m;
  auto row = [&](int m) { return x + static_cast<long>(m - 1) * nw; };
  admittance_parts_add_by_classes(nw, modes, row, hp.data(), hq.data());
  const cplx I(0, 1);
  for (long q = 0; q < nw; ++q)
    for (long j = 0; j <= q; ++j) {
      const cplx p = hp[j + q * nw], h = hq[j + q * nw];
      sm[j + q * nw] = p + I * h;
      sm[q + j * nw] = std::conj(p) + I * std::conj(h);
    }
}

int mirror_halves_order = max_wg_modes + 1;

static void add_air_admittances(int nw, int nf, cplx* sm);

// Whether the system now held is that of the mirror halves (one screen in
// air from mirror_halves_order aperture modes on), and their work columns.
static bool halves = false;
static std::vector<cplx> half_sum, half_diff;
// Oblique incidence, modes of pure parity about one centre (an aperture
// solved on its quarter): the halves turned by D = diag(i^turn), D^H A D
// complex symmetric (its admittance sums are D R D^H with R symmetric, the
// guide admittances diagonal); empty otherwise.
static std::vector<int> half_turn;

// A large system at exactly normal incidence is complex symmetric (S is: the
// Floquet set holds -kt with every kt, and the pair's couplings to the real
// aperture fields are conjugate); from symmetric_solve_modes aperture modes
// on such a matrix, checked symmetric to 1e-12 of its largest entry, is
// factorised as L D L^T (zsysv, Bunch-Kaufman pivots: half the work of LU),
// any other by LU.  A plain run's systems (at most 250 modes) keep LU, and
// their results bit for bit.
int symmetric_solve_modes = max_wg_modes + 1;
namespace {

// How each matrix now held is factorised (the whole system, the even and
// the odd half): split into its classes, or whole by L D L^T or by LU.
struct factors {
  system_classes classes;
  bool split = false, symmetric = false;
};
factors whole_factors, even_factors, odd_factors;
std::vector<cplx> sysv_work;

bool symmetric_allowed() {
  return fss_modewg_index.n >= symmetric_solve_modes && !fss_writeinfo.wgs &&
         (fss_inc_angle.theta == 0 || !half_turn.empty());
}

// Factorises a (n x n) and solves for b (n x nrhs) in place; f records how
// a is now factorised.  From class_split_modes aperture modes on a system
// that falls into uncoupled classes is solved class by class.
int factor_and_solve(int n, int nrhs, cplx* a, int ld, int* ipiv, cplx* b, factors& f) {
  f.split = f.symmetric = false;
  if (fss_modewg_index.n >= class_split_modes) {
    find_classes(n, a, ld, f.classes);
    f.split = f.classes.count() > 1;
  }
  if (f.split) return solve_classes(nrhs, a, ld, ipiv, b, ld, f.classes, symmetric_allowed());
  int info = 0;
  f.symmetric = symmetric_allowed() && complex_symmetric(n, a, ld);
  if (!f.symmetric) {
    zgesv_(&n, &nrhs, a, &ld, ipiv, b, &ld, &info);
    return info;
  }
  int lwork = -1;
  cplx wq;
  zsysv_("U", &n, &nrhs, a, &ld, ipiv, b, &ld, &wq, &lwork, &info);
  lwork = std::max(1, static_cast<int>(wq.real()));
  sized(sysv_work, static_cast<long>(lwork));
  zsysv_("U", &n, &nrhs, a, &ld, ipiv, b, &ld, sysv_work.data(), &lwork, &info);
  return info;
}

// Solves once more with the factors that factor_and_solve left (a class
// that the first right-hand sides did not reach is factorised now).
int solve_again(int n, int nrhs, cplx* a, int ld, int* ipiv, cplx* b, factors& f) {
  if (f.split) return solve_classes(nrhs, a, ld, ipiv, b, ld, f.classes, symmetric_allowed());
  int info = 0;
  if (f.symmetric)
    zsytrs_("U", &n, &nrhs, a, &ld, ipiv, b, &ld, &info);
  else
    zgetrs_("N", &n, &nrhs, a, &ld, ipiv, b, &ld, &info);
  return info;
}

}  // namespace

// Solves the system of the mirror halves for the two columns b (leading
// dimension 2 nw) in place: factors them first when `factor`, or takes the
// factors left by that solution.  With u = x1 + x2, v = x1 - x2:
// (Yc - Ys + S) u = b1 + b2 and (Yc + Ys + S) v = b1 - b2.
static int solve_halves(cplx* b, bool factor) {
  const int nw = fss_modewg_index.n, ld = 2 * nw, nrhs = 2;
  cplx *even = fss_mata.data1(), *odd = even + static_cast<long>(nw) * nw;
  int *pe = fss_vett_i.data1(), *po = pe + nw;
  sized(half_sum, 2L * nw);
  sized(half_diff, 2L * nw);
  // Turned halves: D^H A D y = D^H b, x = D y.
  const bool turned = !half_turn.empty();
  auto d = [&](int j) { return turned ? turn_factor(half_turn[j]) : cplx(1); };
  for (int c = 0; c < 2; ++c)
    for (int j = 0; j < nw; ++j) {
      const cplx b1 = b[c * ld + j], b2 = b[c * ld + nw + j], dj = std::conj(d(j));
      half_sum[c * nw + j] = dj * (b1 + b2);
      half_diff[c * nw + j] = dj * (b1 - b2);
    }
  int info = 0, info2 = 0;
  if (factor) {
    info = factor_and_solve(nw, nrhs, even, nw, pe, half_sum.data(), even_factors);
    info2 = factor_and_solve(nw, nrhs, odd, nw, po, half_diff.data(), odd_factors);
  } else {
    info = solve_again(nw, nrhs, even, nw, pe, half_sum.data(), even_factors);
    info2 = solve_again(nw, nrhs, odd, nw, po, half_diff.data(), odd_factors);
  }
  for (int c = 0; c < 2; ++c)
    for (int j = 0; j < nw; ++j) {
      const cplx u = d(j) * half_sum[c * nw + j], v = d(j) * half_diff[c * nw + j];
      b[c * ld + j] = 0.5 * (u + v);
      b[c * ld + nw + j] = 0.5 * (u - v);
    }
  return info != 0 ? info : info2;
}

// A = [[Yc + S, -Ys], [-Ys, Yc + S]] with S(j, q) = sum_m Yf_m sigma(m, j)
// conj(sigma(m, q)): the free-space admittance seen through the Floquet
// modes, the same on both faces of the screen (in air).
void calc_mata() {
  halves = false;
  half_turn.clear();
  if (fss_screen.nsc > 1) {
    calc_mata_screens();
    return;
  }
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  const int n = 2 * nw;
  fss_mata.n = n;
  if (n * n > fss_mata.cap) fatal("calc_matA", "Too many waveguide modes");
  // One screen in air is its own mirror image about its mid-plane: the
  // system splits into the halves of the even and odd aperture fields, each
  // of order nw (a quarter of the elimination).  A plain run's catalogue
  // (at most 250 modes) keeps the whole system, bit for bit.
  halves = fss_stack_point.layers == 0 && nf > 0 && nw >= mirror_halves_order;
  if (halves) {
    fss_mata.hold(2L * nw * nw);
    sized(smv, static_cast<long>(nw) * nw);
    add_air_admittances(nw, nf, smv.data());
    cplx *even = fss_mata.data1(), *odd = even + static_cast<long>(nw) * nw;
    for (long k = 0; k < static_cast<long>(nw) * nw; ++k) even[k] = odd[k] = smv[k];
    for (int i = 0; i < nw; ++i) {
      const admittance& y = fss_modewg_y[i + 1];
      even[i + static_cast<long>(i) * nw] += y.y2 - y.y3;
      odd[i + static_cast<long>(i) * nw] += y.y2 + y.y3;
    }
    if (fss_inc_angle.theta != 0 && nw >= symmetric_solve_modes && !fss_writeinfo.wgs &&
        coupling_turns(nw, far_floquet_rows(), fss_integrals.data1(), half_turn))
      for (int q = 0; q < nw; ++q)
        for (int j = 0; j < nw; ++j) {
          const cplx t = turn_factor(half_turn[q] - half_turn[j] + 4);  // conj(iota_j) iota_q
          even[j + static_cast<long>(q) * nw] *= t;
          odd[j + static_cast<long>(q) * nw] *= t;
        }
    return;
  }
  fss_mata.hold(static_cast<long>(n) * n);
  cplx* a = fss_mata.data1();
  auto at = [&](int r, int c) -> cplx& { return a[(c - 1) * n + (r - 1)]; };
  for (int k = 0; k < n * n; ++k) a[k] = 0;
  for (int i = 1; i <= nw; ++i) {
    const admittance& y = fss_modewg_y[i];
    at(i, i) = y.y2;
    at(nw + i, nw + i) = y.y2;
    at(nw + i, i) = -y.y3;
    at(i, nw + i) = -y.y3;
  }
  // S = X diag(Yf) X^H with X(j, m) = sigma(m, j): the table is X, column
  // by column (leading dimension nw).
  if (nw == 0 || nf == 0) return;
  if (fss_stack_point.layers > 0) {
    add_stack_admittances(nw, nf, a);
    return;
  }
  sized(smv, static_cast<long>(nw) * nw);
  cplx* sm = smv.data();
  add_air_admittances(nw, nf, sm);
  for (int q = 1; q <= nw; ++q)
    for (int j = 1; j <= nw; ++j) {
      const cplx t = sm[(j - 1) + (q - 1) * nw];
      at(j, q) += t;
      at(nw + j, nw + q) += t;
    }
}

// S = X diag(Yf) X^H (nw x nw) of a screen in air: the far modes from their
// series, the Hermitian products beyond one block, or the general product.
static void add_air_admittances(int nw, int nf, cplx* sm) {
  const cplx* x = fss_integrals.data1();
  // With the far rows summed as they were computed the table holds the
  // near ones only: the Hermitian sums start from that share.
  const bool far = far_floquet_applies(nf),
             hermitian = !far && (nf > floquet_block || far_floquet_streams(nf));
  if (far) far_floquet_sum(nw, nf, x, sm);
  if (hermitian) hermitian_admittance_sum(nw, nf, x, sm);
  const bool general = !far && !hermitian;
  sized(yv, general ? static_cast<long>(nw) * std::min(nf, floquet_block) : 0);
  cplx* y = yv.data();
  for (int m0 = 0; m0 < (general ? nf : 0); m0 += floquet_block) {
    const int nb = std::min(floquet_block, nf - m0);
    for (int m = 0; m < nb; ++m) {
      const cplx yf = fss_modeflo_y[m0 + m + 1].y1;
      const cplx* xm = x + static_cast<long>(m0 + m) * nw;
      for (int j = 0; j < nw; ++j) y[j + static_cast<long>(m) * nw] = xm[j] * yf;
    }
    const cplx one = 1, beta = m0 == 0 ? 0 : 1;
    zgemm_("N", "C", &nw, &nw, &nb, &one, y, &nw, x + static_cast<long>(m0) * nw, &nw, &beta, sm, &nw);
  }
}

void calc_vettb() {
  const int nw = fss_modewg_index.n, n = 2 * nw;
  fss_vettb.n = 4 * nw;
  if (fss_vettb.n > fss_vettb.cap) fatal("calc_vettB", "Vector B underdimensioned");
  for (int k = 1; k <= 4 * nw; ++k) fss_vettb[k] = 0;
  const fss_inc_mode_rec& inc = fss_inc_mode;
  if (inc.indextm < 0 && inc.indexte < 0 && inc.indextemx < 0 && inc.indextemy < 0)
    fatal("calc_vettB", "No valid incident mode found");
  const int nw1 = fss_screen.nwg1;
  // Only the illuminated face is excited by the incident wave.
  auto excite = [&](int mode, int offset, cplx factor) {
    if (mode <= 0) return;
    for (int j = 1; j <= nw1; ++j)
      fss_vettb[offset + j] = factor * fss_integrals[(mode - 1) * nw + j];
  };
  const double eta0 = fss_em_var.eta0;
  if (fss_stack_point.layers > 0) {
    // Through the stack: the current the incident wave drives into a short
    // at the illuminated face.
    auto isc = [](int mode) { return mode > 0 ? fss_modeflo_stack[mode].isc[1] : cplx(0); };
    for (int mode : {inc.indextm, inc.indextemx}) excite(mode, 0, isc(mode));
    for (int mode : {inc.indexte, inc.indextemy}) excite(mode, n, isc(mode));
    return;
  }
  if (inc.indextm > 0) excite(inc.indextm, 0, 2.0 * fss_modeflo_y[inc.indextm].y1);
  if (inc.indexte > 0) excite(inc.indexte, n, 2.0 * fss_modeflo_y[inc.indexte].y1);
  excite(inc.indextemx, 0, cplx(2 / eta0));
  excite(inc.indextemy, n, cplx(2 / eta0));
}

void solve_prob() {
  fss_vett_i.n = fss_vettb.n;
  if (fss_vett_i.n > fss_vett_i.cap) fatal("solve_prob", "vector I underdimensioned");
  if (fss_screen.nsc > 1) {
    factor_screens();
    solve_screens(fss_vettb.data1(), 2 * fss_modewg_index.n, 2);
    return;
  }
  if (halves) {
    if (solve_halves(fss_vettb.data1(), true) != 0) fatal("solve_prob", "Error in solving problem");
    return;
  }
  const int n = fss_mata.n, nrhs = 2;
  // A catalogue without modes is a solid screen: the system is empty and the
  // screen reflects totally.  LAPACK wants leading dimensions of at least 1.
  const int ld = n > 1 ? n : 1;
  const int info = factor_and_solve(n, nrhs, fss_mata.data1(), ld, fss_vett_i.data1(),
                                   fss_vettb.data1(), whole_factors);
  if (info != 0) fatal("solve_prob", "Error in solving problem");
}

void solve_far_side() {
  // The waves lit from the far side: the same system, excited on the far
  // face of the last screen through the far-side stack; solved with the
  // factors left by solve_prob (one screen: it is its own mirror image
  // about its mid-plane, and only the stacks may differ).
  const int nw = fss_modewg_index.n, n = 2 * nw;
  fss_vettb_far.n = 2 * n;
  if (fss_vettb_far.n > fss_vettb_far.cap) fatal("solve_far_side", "Vector B underdimensioned");
  for (int k = 1; k <= 2 * n; ++k) fss_vettb_far[k] = 0;
  const fss_inc_mode_rec& inc = fss_inc_mode;
  const outer_faces face = solution_faces();
  auto excite = [&](int mode, int offset) {
    if (mode <= 0) return;
    const cplx isc = outer_isc(mode, 2);
    for (int j = 1; j <= face.nk; ++j)
      fss_vettb_far[offset + face.off + j] = isc * fss_integrals[(mode - 1) * nw + face.m0 + j - 1];
  };
  excite(inc.indextm, 0);
  excite(inc.indextemx, 0);
  excite(inc.indexte, n);
  excite(inc.indextemy, n);
  if (fss_screen.nsc > 1) {
    solve_screens(fss_vettb_far.data1(), n, 2);
    return;
  }
  if (halves) {
    if (solve_halves(fss_vettb_far.data1(), false) != 0) fatal("solve_far_side", "Error in solving problem");
    return;
  }
  const int nrhs = 2, ld = n > 1 ? n : 1;
  const int info = solve_again(n, nrhs, fss_mata.data1(), ld, fss_vett_i.data1(),
                               fss_vettb_far.data1(), whole_factors);
  if (info != 0) fatal("solve_far_side", "Error in solving problem");
}

int system_class_count() {
  if (fss_screen.nsc > 1) {
    // Several screens: the fewest classes of a block of their elimination.
    int fewest = 1 << 30;
    for (const screen_block& b : fss_blocks.b)
      if (b.size() > 0) fewest = std::min(fewest, b.start.empty() ? 1 : static_cast<int>(b.start.size()) - 1);
    return fewest == 1 << 30 ? 1 : fewest;
  }
  const factors& f = halves ? even_factors : whole_factors;
  return f.split ? f.classes.count() : 1;
}

void release_sweep_storage() {
  release_integrals();
  far_floquet_reset();
  release_screens();
  for (auto* v : {&yv, &smv, &hp, &hq, &half_sum, &half_diff, &sysv_work}) std::vector<cplx>().swap(*v);
  fss_mata.release();
  whole_factors = even_factors = odd_factors = factors{};
  halves = false;
  half_turn.clear();
}
