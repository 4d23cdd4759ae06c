// The system of several screens.
//
// Unknowns: the aperture-mode amplitudes on both faces of every screen,
// stored per screen, near face then far face ([V11, V12, V21, V22, ...], the
// layout of one screen's [V1, V2]).  Each face sees, through the Floquet
// modes, what lies beside it: the outer stack (face admittance Yf) for the
// near face of screen 1 and the far face of screen K, and for the faces
// around gap g the two-port of each Floquet mode through the gap's layers:
//
//   far face of g:       Yc_g V_g2 - Ys_g V_g1 + X_g (y11 c_a - y12 c_b) = 0
//   near face of g + 1:  Yc V_(g+1)1 - Ys V_(g+1)2 + X_(g+1) (-y12 c_a + y22 c_b) = 0
//
// with c_a = X_g^H V_g2, c_b = X_(g+1)^H V_(g+1)1 the Floquet amplitudes on
// the two faces (X_k: the coupling integrals of screen k's modes).  A mode
// near a resonance of the gap takes the bounded form: an unknown u per such
// mode, z u = c_a - r c_b, entering with u at a and -r u + yo c_b at b.
//
// The matrix is block tridiagonal when the unknowns are grouped around the
// gaps: block 0 = V11, block g = [V_g2, V_(g+1)1, u_g], block K = V_K2.
// Neighbouring blocks meet only through the aperture modes inside a screen,
// -Ys (diagonal), so that eliminating block g - 1 changes only the V_g2
// corner of block g: F_g = B_g - Ys (F_(g-1)^-1)[hi, hi] Ys.  Each block is
// a dense LU with partial pivoting whose order is about that of one
// screen's system; the cost grows linearly with the number of screens, and
// the whole coupling of a gap (every evanescent Floquet mode of it, with
// y12 as small as it is) lies inside one block.  Only the corner
// (F_g^-1)[hi, hi] is formed, from the last rows of the triangular factors;
// the back substitution x_g = y_g + F_g^-1 [0; Ys x_(g+1)[lo]; 0] runs
// through the factors, per right-hand side.
#include <cmath>
#include <algorithm>
#include <numeric>
#include <complex>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/classes.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/real_couplings.hpp"
#include "scattering/stack.hpp"
#include "scattering/system.hpp"

extern "C" void zgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const std::complex<double>* alpha, const std::complex<double>* a,
                       const int* lda, const std::complex<double>* b, const int* ldb,
                       const std::complex<double>* beta, std::complex<double>* c, const int* ldc);
extern "C" void dgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                       const double* beta, double* c, const int* ldc);
extern "C" void zgetrf_(const int* m, const int* n, std::complex<double>* a, const int* lda,
                        int* ipiv, int* info);
extern "C" void zgetrs_(const char* trans, const int* n, const int* nrhs,
                        const std::complex<double>* a, const int* lda, const int* ipiv,
                        std::complex<double>* b, const int* ldb, int* info);
extern "C" void zlaswp_(const int* n, std::complex<double>* a, const int* lda, const int* k1,
                        const int* k2, const int* ipiv, const int* incx);
extern "C" void ztrsm_(const char* side, const char* uplo, const char* transa, const char* diag,
                       const int* m, const int* n, const std::complex<double>* alpha,
                       const std::complex<double>* a, const int* lda, std::complex<double>* b,
                       const int* ldb);

screen_modes modes_of_screen(int k) {
  screen_modes s;
  const int nw = fss_modewg_index.n;
  int j = 1;
  while (j <= nw && fss_modewg_sc[j] < k) ++j;
  s.first = j;
  while (j <= nw && fss_modewg_sc[j] == k) ++j;
  s.n = j - s.first;
  return s;
}

outer_faces solution_faces() {
  const int nw = fss_modewg_index.n;
  if (fss_screen.nsc <= 1) return {nw, nw, nw, 1};
  const screen_modes last = modes_of_screen(fss_screen.nsc);
  return {modes_of_screen(1).n, 2 * nw - last.n, last.n, last.first};
}

cplx outer_face_y(int q, int side) {
  return fss_stack_point.layers > 0 ? fss_modeflo_stack[q].yface[side] : fss_modeflo_y[q].y1;
}
cplx outer_isc(int q, int side) {
  return fss_stack_point.layers > 0 ? fss_modeflo_stack[q].isc[side]
                                    : 2.0 * fss_modeflo_y[q].y1;
}
cplx outer_rsc(int q, int side) {
  return fss_stack_point.layers > 0 ? fss_modeflo_stack[q].rsc[side] : cplx(-1);
}

namespace {

// The coupling integrals of screen k's modes: an n x nf matrix with leading
// dimension nw (X(j, m) = sigma(m, j)).
const cplx* coupling(const screen_modes& s) { return fss_integrals.data1() + (s.first - 1); }

std::vector<cplx> l, r;  // work: scaled couplings of a block of Floquet modes
std::vector<std::vector<cplx>> block_solutions;  // work of solve_screens

// Modes of pure parity about one centre (real_couplings.hpp): C += alpha
// Da (Ra diag(y) Rb^T) Db^H with Ra, Rb real, as the two real products of
// the real and imaginary parts of alpha y (half the work of the complex
// one), D = diag(i^turn).  False, and nothing added, for other modes.
std::vector<double> ra, rb;
std::vector<int> turn_a, turn_b;
long real_products = 0, class_products = 0;

// The entries of rows a (na) and b (nb) of one mirror class, for the
// classes of the mirrors that keep the Floquet modes summed over (the
// products between classes vanish); one class of every row when no mirror
// does (and below class_split_modes aperture modes: a plain run's products
// stay whole).
struct class_rows {
  std::vector<int> a, b;
};
std::vector<class_rows> product_classes(const cplx* xa, int na, const cplx* xb, int nb, const std::vector<cplx>& y,
                                        const std::vector<int>& list) {
  const std::vector<std::vector<int>> classes = mirror_class_entries(list, y);
  if (classes.empty()) {
    std::vector<class_rows> whole(1);
    whole[0].a.resize(static_cast<std::size_t>(na));
    whole[0].b.resize(static_cast<std::size_t>(nb));
    std::iota(whole[0].a.begin(), whole[0].a.end(), 0);
    std::iota(whole[0].b.begin(), whole[0].b.end(), 0);
    return whole;
  }
  // Rows i of a coupling table (coupling(s)) stand for the modes s.first + i.
  const long first_a = xa - fss_integrals.data1(), first_b = xb - fss_integrals.data1();
  std::vector<class_rows> c(classes.size());
  for (std::size_t v = 0; v < classes.size(); ++v)
    for (int j : classes[v]) {
      if (j >= first_a && j < first_a + na) c[v].a.push_back(static_cast<int>(j - first_a));
      if (j >= first_b && j < first_b + nb) c[v].b.push_back(static_cast<int>(j - first_b));
    }
  return c;
}

std::vector<double> ga, gb;  // work: the rows of one class
std::vector<std::vector<double>> class_part;  // per class: its P over Q

// P over Q of the rows of one class each of ra (2 na x sb) and rb (nb x
// sb), added (beta 1) or put (beta 0) in the class's own table pc (2 |a| x
// |b|); a class of every row takes ra and rb as they stand.
void class_product(const class_rows& cr, int na, int nb, int sb, double beta, std::vector<double>& pc) {
  const int ma = static_cast<int>(cr.a.size()), mb = static_cast<int>(cr.b.size()), ma2 = 2 * ma;
  if (ma == 0 || mb == 0) return;
  const double one = 1;
  if (ma == na && mb == nb) {
    pc.resize(static_cast<std::size_t>(ma2) * mb);
    dgemm_("N", "T", &ma2, &mb, &sb, &one, ra.data(), &ma2, rb.data(), &mb, &beta, pc.data(), &ma2);
    return;
  }
  ga.resize(static_cast<std::size_t>(ma2) * sb);
  gb.resize(static_cast<std::size_t>(mb) * sb);
  for (int k = 0; k < sb; ++k) {
    const double* re = &ra[static_cast<std::size_t>(k) * 2 * na];
    double* g = &ga[static_cast<std::size_t>(k) * ma2];
    for (int i = 0; i < ma; ++i) {
      g[i] = re[cr.a[i]];
      g[ma + i] = re[na + cr.a[i]];
    }
    const double* rk = &rb[static_cast<std::size_t>(k) * nb];
    double* h = &gb[static_cast<std::size_t>(k) * mb];
    for (int i = 0; i < mb; ++i) h[i] = rk[cr.b[i]];
  }
  pc.resize(static_cast<std::size_t>(ma2) * mb);
  dgemm_("N", "T", &ma2, &mb, &sb, &one, ga.data(), &ma2, gb.data(), &mb, &beta, pc.data(), &ma2);
}

bool real_add_product(cplx* c, int ldc, const cplx* xa, int na, const cplx* xb, int nb, const std::vector<cplx>& y,
                      const std::vector<int>& list, cplx alpha) {
  real_form form;
  if (!form.find()) return false;
  const std::vector<class_rows> classes = product_classes(xa, na, xb, nb, y, list);
  const bool split = classes.size() > 1;
  class_part.resize(classes.size());
  const int nw = fss_modewg_index.n, s = static_cast<int>(list.size()), na2 = 2 * na;
  auto row_a = [&](int m) { return xa + static_cast<long>(m - 1) * nw; };
  auto row_b = [&](int m) { return xb + static_cast<long>(m - 1) * nw; };
  const int* entry = all_entries(std::max(na, nb));
  entry_turns(form, list, row_a, na, entry, turn_a);
  entry_turns(form, list, row_b, nb, entry, turn_b);
  constexpr int block = 4096;
  const std::size_t bs = std::min(s, block);
  // Each column of ra: Re(alpha y) r_a over Im(alpha y) r_a, so that one
  // product gives P over Q (2 na x nb).
  ra.resize(na2 * bs);
  rb.resize(nb * bs);
  for (int k0 = 0; k0 < s; k0 += block) {
    const int sb = std::min(block, s - k0);
    for (int k = 0; k < sb; ++k) {
      const int m = list[k0 + k];
      const cplx e = form.centre_phase(m), f = alpha * y[m];
      double* re = &ra[static_cast<std::size_t>(k) * na2];
      if (!turned_row(row_a(m), e, na, entry, turn_a.data(), 1.0, re) ||
          !turned_row(row_b(m), e, nb, entry, turn_b.data(), 1.0, &rb[static_cast<std::size_t>(k) * nb]))
        return false;
      double* im = re + na;
      const double fr = f.real(), fi = f.imag();
      for (int i = 0; i < na; ++i) {
        im[i] = re[i] * fi;
        re[i] *= fr;
      }
    }
    const double beta = k0 == 0 ? 0 : 1;
    for (std::size_t v = 0; v < classes.size(); ++v) class_product(classes[v], na, nb, sb, beta, class_part[v]);
  }
  // iota_a conj(iota_b) (P + i Q), iota_a conj(iota_b) = i^(turn_a - turn_b).
  const double cr[4] = {1, 0, -1, 0}, ci[4] = {0, 1, 0, -1};
  for (std::size_t v = 0; v < classes.size(); ++v) {
    const class_rows& rows = classes[v];
    const int ma = static_cast<int>(rows.a.size()), mb = static_cast<int>(rows.b.size());
    if (ma == 0 || mb == 0) continue;
    for (int jj = 0; jj < mb; ++jj) {
      const int j = rows.b[jj];
      const double* p = &class_part[v][static_cast<std::size_t>(jj) * 2 * ma];
      const double* q = p + ma;
      double* cj = reinterpret_cast<double*>(c + static_cast<long>(j) * ldc);
      for (int ii = 0; ii < ma; ++ii) {
        const int i = rows.a[ii], t = (turn_a[i] - turn_b[j]) & 3;
        cj[2 * i] += cr[t] * p[ii] - ci[t] * q[ii];
        cj[2 * i + 1] += ci[t] * p[ii] + cr[t] * q[ii];
      }
    }
  }
  ++real_products;
  if (split) ++class_products;
  return true;
}

// C += alpha Xa diag(y) Xb^H over the Floquet modes in `modes` (all when
// empty): Xa of na rows, Xb of nb rows, both of leading dimension nw.
void add_product(cplx* c, int ldc, const cplx* xa, int na, const cplx* xb, int nb,
                 const std::vector<cplx>& y, const std::vector<int>& modes, bool all, cplx alpha) {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  const int s = all ? nf : static_cast<int>(modes.size());
  if (na == 0 || nb == 0 || s == 0) return;
  {
    static std::vector<int> every;
    if (all) {
      every.resize(nf);
      for (int m = 1; m <= nf; ++m) every[m - 1] = m;
    }
    if (real_add_product(c, ldc, xa, na, xb, nb, y, all ? every : modes, alpha)) return;
  }
  // Over blocks of Floquet modes: the scaled couplings are held for one
  // block only (a plain run's Floquet table in one block).
  constexpr int block = 4096;
  l.resize(static_cast<std::size_t>(na) * std::min(s, block));
  if (!all) r.resize(static_cast<std::size_t>(nb) * std::min(s, block));
  for (int k0 = 0; k0 < s; k0 += block) {
    const int sb = std::min(block, s - k0);
    for (int k = 0; k < sb; ++k) {
      const int m = all ? k0 + k + 1 : modes[k0 + k];
      const cplx* xam = xa + static_cast<long>(m - 1) * nw;
      const cplx f = alpha * y[m];
      cplx* lk = &l[static_cast<std::size_t>(k) * na];
      for (int i = 0; i < na; ++i) lk[i] = xam[i] * f;
      if (!all) {
        const cplx* xbm = xb + static_cast<long>(m - 1) * nw;
        cplx* rk = &r[static_cast<std::size_t>(k) * nb];
        for (int i = 0; i < nb; ++i) rk[i] = xbm[i];
      }
    }
    const cplx one = 1;
    const int ldb = all ? nw : nb;
    const cplx* b = all ? xb + static_cast<long>(k0) * nw : r.data();
    zgemm_("N", "C", &na, &nb, &sb, &one, l.data(), &na, b, &ldb, &one, c, &ldc);
  }
}

// Air's own load on the faces of each screen, X_k diag(Y0) X_k^H (Y0 the
// Floquet modes' admittances in air), for the screens that have a face in
// air or on a gap whose layer at that face is air: a face in air sees it
// alone, a face on a gap of air sees it plus what the gap's far side adds,
// which is nonzero only for the Floquet modes that reach across.
std::vector<std::vector<cplx>> air_load;

bool air_layer(const stack_item& l) { return l.eps == 1 && l.tand == 0; }

// Whether face `side` (1 near, 2 far) of screen k sees air's load plus a
// correction (or air's load alone).
bool air_based(int k, int side, int screens) {
  const bool outer = side == 1 ? k == 1 : k == screens;
  if (outer) return fss_stack_point.layers == 0;
  return side == 1 ? air_layer(stack_gap_layer(k - 1, stack_gap_count(k - 1)))
                   : air_layer(stack_gap_layer(k, 1));
}

// At normal incidence over a sweep the far Floquet modes' share of every
// face comes from their series (scattering/far_floquet.cpp): `far` says so
// for this sweep point, and the products run over the near modes.
bool far = false;

// The medium beside a face: the first layer there (air without one).
cplx medium(const stack_item* l) { return l ? layer_eps(*l) : cplx(1); }
// The far face of screen g (side 2) or the near face of screen g + 1 (side
// 1) of block g.
const stack_item* face_layer(int g, int side, int screens) {
  if (side == 2 && g == screens) return stack_layer_count(2) > 0 ? &stack_layer(2, 1) : nullptr;
  if (side == 1 && g == 0) return stack_layer_count(1) > 0 ? &stack_layer(1, 1) : nullptr;
  return &stack_gap_layer(g, side == 2 ? 1 : stack_gap_count(g));
}

void make_air_loads(int screens, const screen_modes* sc) {
  const int nf = fss_modeflo_index.n;
  static std::vector<cplx> y0;
  static const std::vector<int> none;
  y0.assign(nf + 1, 0);
  for (int q = 1; q <= nf; ++q) y0[q] = fss_modeflo_y[q].y1;
  air_load.resize(screens + 1);
  for (int k = 1; k <= screens; ++k) {
    std::vector<cplx>& s = air_load[k];
    s.clear();
    if (!air_based(k, 1, screens) && !air_based(k, 2, screens)) continue;
    s.assign(static_cast<std::size_t>(sc[k].n) * sc[k].n, cplx(0));
    const int ld = sc[k].n > 0 ? sc[k].n : 1;
    add_product(s.data(), ld, coupling(sc[k]), sc[k].n, coupling(sc[k]), sc[k].n, y0,
                far ? far_floquet_near() : none, !far, 1.0);
    if (far) far_floquet_face(s.data(), ld, sc[k].first, sc[k].n, 1.0);
  }
}

// Adds the load y of a face of screen k to the n x n corner c: air's load
// and the difference where it is not negligible, or the whole product.
void add_face_load(cplx* c, int ldc, int k, const screen_modes& s, bool air, std::vector<cplx>& y,
                   const stack_item* layer) {
  static const std::vector<int> none;
  if (!air) {
    add_product(c, ldc, coupling(s), s.n, coupling(s), s.n, y, far ? far_floquet_near() : none, !far,
                1.0);
    if (far) far_floquet_face(c, ldc, s.first, s.n, medium(layer));
    return;
  }
  const std::vector<cplx>& base = air_load[k];
  for (int j = 0; j < s.n; ++j)
    for (int i = 0; i < s.n; ++i) c[static_cast<long>(j) * ldc + i] += base[static_cast<std::size_t>(j) * s.n + i];
  static std::vector<int> differ;
  differ.clear();
  for (int q = 1; q < static_cast<int>(y.size()); ++q) {
    if (far && far_floquet_far(q)) continue;  // air's own, in the air load's series
    const cplx y0 = fss_modeflo_y[q].y1;
    y[q] -= y0;
    if (std::abs(y[q]) > 1e-18 * std::abs(y0)) differ.push_back(q);
  }
  add_product(c, ldc, coupling(s), s.n, coupling(s), s.n, y, differ, false, 1.0);
}

// Block g's matrix: aperture lines on the diagonal, the loads of its faces,
// the coupling across its gap, the bounded gap modes.
void fill_block(int g, int screens, const screen_modes* sc, std::size_t& u_next) {
  const int nf = fss_modeflo_index.n;
  const screen_block& bl = fss_blocks.b[g];
  const int lo = bl.lo, hi = bl.hi, m = bl.size();
  if (m == 0) return;  // both faces of a screen without modes: nothing to fill
  cplx* a = fss_blocks.store.data() + bl.a;
  auto at = [&](int r, int c) -> cplx& { return a[static_cast<long>(c) * m + r]; };
  auto corner = [&](int r, int c) { return a + static_cast<long>(c) * m + r; };  // may be empty
  const screen_modes left = g >= 1 ? sc[g] : screen_modes{}, right = g < screens ? sc[g + 1] : screen_modes{};
  for (int i = 0; i < lo; ++i) at(i, i) = fss_modewg_y[left.first + i].y2;
  for (int i = 0; i < hi; ++i) at(lo + i, lo + i) = fss_modewg_y[right.first + i].y2;
  static std::vector<cplx> yl, yr, yc;
  static std::vector<int> cross;
  yl.assign(nf + 1, 0), yr.assign(nf + 1, 0), yc.assign(nf + 1, 0);
  cross.clear();
  for (int q = 1; q <= nf; ++q) {
    if (g == 0) {
      yr[q] = outer_face_y(q, 1);
    } else if (g == screens) {
      yl[q] = outer_face_y(q, 2);
    } else {
      const gap_line& t = fss_gap.at(g, q);
      if (t.bounded) {
        yr[q] = t.yo;
        continue;
      }
      yl[q] = t.y11;
      yr[q] = t.y22;
      // Modes whose coupling across the gap lies below the rounding of the
      // faces' own terms add nothing; nor do the far ones.
      if (far && far_floquet_far(q)) continue;
      if (std::abs(t.y12) > 1e-18 * (std::abs(t.y11) + std::abs(t.y22))) {
        cross.push_back(q);
        yc[q] = t.y12;
      }
    }
  }
  const cplx* xl = coupling(left);
  const cplx* xr = coupling(right);
  if (lo > 0)
    add_face_load(corner(0, 0), m, g, left, air_based(g, 2, screens), yl, face_layer(g, 2, screens));
  if (hi > 0)
    add_face_load(corner(lo, lo), m, g + 1, right, air_based(g + 1, 1, screens), yr,
                  face_layer(g, 1, screens));
  add_product(corner(0, lo), m, xl, lo, xr, hi, yc, cross, false, -1.0);
  add_product(corner(lo, 0), m, xr, hi, xl, lo, yc, cross, false, -1.0);
  // Bounded gap modes: z u = c_a - r c_b; u enters the far face of screen
  // g, -r u the near face of screen g + 1.
  const int nw = fss_modewg_index.n;
  for (int t = 0; t < bl.nu; ++t) {
    const int q = fss_blocks.u_mode[u_next++];
    const gap_line& gl = fss_gap.at(g, q);
    const int col = lo + hi + t;
    const cplx* sq = fss_integrals.data1() + static_cast<long>(q - 1) * nw - 1;  // sigma(q, j)
    for (int i = 0; i < lo; ++i) {
      at(i, col) = sq[left.first + i];
      at(col, i) = std::conj(sq[left.first + i]);
    }
    for (int i = 0; i < hi; ++i) {
      at(lo + i, col) = -gl.r * sq[right.first + i];
      at(col, lo + i) = -gl.r * std::conj(sq[right.first + i]);
    }
    at(col, col) = -gl.z;
  }
}

}  // namespace

long screens_real_products() { return real_products; }
long screens_class_products() { return class_products; }

void calc_mata_screens() {
  const int screens = fss_screen.nsc, nf = fss_modeflo_index.n;
  if (fss_gap.gaps != screens - 1)
    fatal("calc_matA", "The screens of the catalogue and of the stack differ");
  static std::vector<screen_modes> sc;
  sc.assign(screens + 2, screen_modes{});
  for (int k = 1; k <= screens; ++k) sc[k] = modes_of_screen(k);
  fss_blocks.nb = screens + 1;
  fss_blocks.b.assign(screens + 1, screen_block{});
  fss_blocks.u_mode.clear();
  long at = 0, piv = 0;
  for (int g = 0; g <= screens; ++g) {
    screen_block& bl = fss_blocks.b[g];
    bl.lo = g >= 1 ? sc[g].n : 0;
    bl.hi = g < screens ? sc[g + 1].n : 0;
    if (g >= 1 && g < screens)
      for (int q = 1; q <= nf; ++q)
        if (fss_gap.at(g, q).bounded) {
          // A far mode has died out across the gap's outer layers: it
          // cannot be held at a resonance of the gap (nor are its
          // couplings kept).
          if (far_floquet_far(q)) fatal("calc_matA", "A far Floquet mode is bounded in a gap");
          ++bl.nu;
          fss_blocks.u_mode.push_back(q);
        }
    const long m = bl.size();
    bl.a = at;
    at += m * m;
    bl.z = at;
    at += m * bl.hi;
    bl.piv = piv;
    piv += m;
    if (at > fss_blocks.cap)
      fatal("calc_matA", "Too many waveguide modes (with the gap modes near a resonance of their "
                         "gap) for the system of the screens");
  }
  fss_blocks.store.assign(at, cplx(0));
  fss_blocks.ipiv.assign(piv > 0 ? piv : 1, 0);
  far = far_floquet_screens(fss_modewg_index.n, nf);
  make_air_loads(screens, sc.data());
  std::size_t u_next = 0;
  for (int g = 0; g <= screens; ++g) fill_block(g, screens, sc.data(), u_next);
}

// (F^-1)[hi, hi] of a factorised block F = P L U whose hi unknowns are its
// last columns: U^-1 is upper triangular, so its last rows are
// [0, U_22^-1] and (F^-1)[hi, :] = U_22^-1 (L^-1 P^T)[hi, :].  Its hi
// columns take a forward substitution of the hi unit vectors through L
// (from the highest row they land on) and one through U_22: a fraction of
// the work of solving for the whole columns.  The result stands in rows
// lo.. of z (the rows above are work).
void inverse_hi_corner(int m, int lo, int hi, const cplx* f, const int* ipiv, cplx* z) {
  const int ld = m > 1 ? m : 1, one = 1;
  const cplx unit(1);
  for (long k = 0; k < static_cast<long>(m) * hi; ++k) z[k] = 0;
  for (int j = 0; j < hi; ++j) z[static_cast<long>(j) * m + lo + j] = 1;
  zlaswp_(&hi, z, &ld, &one, &m, ipiv, &one);
  // The unit vectors land at or below row r: L^-1 keeps the rows above it
  // zero, and the substitution starts there (r = lo when no pivot brought
  // an hi row above the lo ones): only products with zeros are left out.
  int r = m;
  for (int j = 0; j < hi; ++j)
    for (int i = 0; i < r; ++i)
      if (z[static_cast<long>(j) * m + i] != cplx(0)) r = i;
  const int mr = m - r;
  ztrsm_("L", "L", "N", "U", &mr, &hi, &unit, f + static_cast<long>(r) * m + r, &ld, z + r, &ld);
  ztrsm_("L", "U", "N", "N", &hi, &hi, &unit, f + static_cast<long>(lo) * m + lo, &ld, z + lo, &ld);
}

namespace {

// (F^-1)[hi, hi] of a block of m unknowns factorised by zgetrf, its lo
// unknowns first, then its hi ones, then nu bounded gap modes: from the
// last rows when the hi unknowns are the last (inverse_hi_corner), from
// whole columns otherwise.  In rows lo.. of z (m x hi).
void hi_corner(int m, int lo, int hi, int nu, const cplx* f, const int* ipiv, cplx* z) {
  if (nu == 0) {
    inverse_hi_corner(m, lo, hi, f, ipiv, z);
    return;
  }
  const int ld = m > 1 ? m : 1;
  int info = 0;
  for (long k = 0; k < static_cast<long>(m) * hi; ++k) z[k] = 0;
  for (int j = 0; j < hi; ++j) z[static_cast<long>(j) * m + lo + j] = 1;
  zgetrs_("N", &m, &hi, f, &ld, ipiv, z, &ld, &info);
  if (info != 0) fatal("solve_prob", "Error in solving problem");
}

// Factorises block g (m unknowns) class by class, when it falls into
// uncoupled classes (the mirror symmetries of the apertures and the
// lattice, as for one screen): each class's own block (its lo unknowns,
// then its hi ones, then its bounded gap modes) gathered into the store one
// after the other from f, its LU there with its pivots from ipiv, and the
// corner (F^-1)[hi, hi] put together from the classes' corners, zero
// between classes.  A bounded gap mode (a Floquet mode near a resonance
// of the gap) joins the classes it couples with (one for a specular mode);
// the corner of a class with such modes takes whole columns, as an
// unsplit block with them does.  Returns false, f untouched, for a block that is one class.
bool factor_block_classes(screen_block& bl, cplx* f, int* ipiv, cplx* z) {
  const int m = bl.size();
  system_classes cl;
  find_classes(m, f, m, cl);  // permuted to class order when more than one
  if (cl.count() < 2) return false;
  bl.order = cl.order;
  bl.start = cl.start;
  if (bl.hi > 0)
    for (long k = 0; k < static_cast<long>(m) * bl.hi; ++k) z[k] = 0;
  // The classes' diagonal blocks moved to the front one after the other:
  // each entry goes to an address no higher than its own and than any
  // entry read after it, so the copy runs forward in place.
  long at = 0;
  std::vector<long> first(cl.count());
  for (int c = 0; c < cl.count(); ++c) {
    const int s = cl.start[c], mc = cl.start[c + 1] - s;
    first[c] = at;
    for (int j = 0; j < mc; ++j)
      for (int i = 0; i < mc; ++i) f[at + static_cast<long>(j) * mc + i] = f[static_cast<long>(s + j) * m + s + i];
    at += static_cast<long>(mc) * mc;
  }
  std::vector<cplx> zc;
  for (int c = 0; c < cl.count(); ++c) {
    const int s = cl.start[c], mc = cl.start[c + 1] - s;
    const int* idx = cl.order.data() + s;
    cplx* fc = f + first[c];
    int info = 0;
    zgetrf_(&mc, &mc, fc, &mc, ipiv + s, &info);
    if (info != 0) fatal("solve_prob", "Error in solving problem");
    const int loc = static_cast<int>(std::count_if(idx, idx + mc, [&](int i) { return i < bl.lo; }));
    const int nuc = static_cast<int>(std::count_if(idx, idx + mc, [&](int i) { return i >= bl.lo + bl.hi; }));
    const int hic = mc - loc - nuc;
    if (bl.hi == 0 || hic == 0) continue;
    zc.resize(static_cast<std::size_t>(mc) * hic);
    hi_corner(mc, loc, hic, nuc, fc, ipiv + s, zc.data());
    for (int jj = 0; jj < hic; ++jj)
      for (int ii = 0; ii < hic; ++ii)
        z[static_cast<long>(idx[loc + jj] - bl.lo) * m + idx[loc + ii]] = zc[static_cast<long>(jj) * mc + loc + ii];
  }
  return true;
}

// Solves F x = h for the block's nrhs columns of h (leading dimension ld),
// with its factors: whole, or class by class.
int block_solve(const screen_block& bl, int nrhs, cplx* h, int ld) {
  const int m = bl.size();
  cplx* f = fss_blocks.store.data() + bl.a;
  const int* ipiv = fss_blocks.ipiv.data() + bl.piv;
  int info = 0;
  if (m == 0) return 0;
  if (bl.start.empty()) {
    zgetrs_("N", &m, &nrhs, f, &ld, ipiv, h, &ld, &info);
    return info;
  }
  long at = 0;
  std::vector<cplx> hc;
  for (std::size_t c = 0; c + 1 < bl.start.size() && info == 0; ++c) {
    const int s = bl.start[c], mc = bl.start[c + 1] - s;
    const int* idx = bl.order.data() + s;
    hc.assign(static_cast<std::size_t>(mc) * nrhs, cplx(0));
    for (int r = 0; r < nrhs; ++r)
      for (int i = 0; i < mc; ++i) hc[static_cast<long>(r) * mc + i] = h[static_cast<long>(r) * ld + idx[i]];
    zgetrs_("N", &mc, &nrhs, f + at, &mc, ipiv + s, hc.data(), &mc, &info);
    for (int r = 0; r < nrhs; ++r)
      for (int i = 0; i < mc; ++i) h[static_cast<long>(r) * ld + idx[i]] = hc[static_cast<long>(r) * mc + i];
    at += static_cast<long>(mc) * mc;
  }
  return info;
}

}  // namespace

void factor_screens() {
  const int nb = fss_blocks.nb;
  for (int g = 0; g < nb; ++g) {
    screen_block& bl = fss_blocks.b[g];
    const int m = bl.size(), ld = m > 1 ? m : 1;
    cplx* f = fss_blocks.store.data() + bl.a;
    if (g > 0) {
      // Block g - 1 eliminated: -Ys (F^-1)[hi, hi] Ys on the far face of
      // screen g.
      const screen_block& p = fss_blocks.b[g - 1];
      const cplx* z = fss_blocks.store.data() + p.z;
      const int mp = p.size(), first = modes_of_screen(g).first;
      for (int j = 0; j < bl.lo; ++j)
        for (int i = 0; i < bl.lo; ++i)
          f[static_cast<long>(j) * m + i] -= fss_modewg_y[first + i].y3 *
                                             z[static_cast<long>(j) * mp + p.lo + i] *
                                             fss_modewg_y[first + j].y3;
    }
    bl.order.clear();
    bl.start.clear();
    // (F^-1)[hi, hi] goes to z, for the next block.
    cplx* z = fss_blocks.store.data() + bl.z;
    if (m > 1 && fss_modewg_index.n >= class_split_modes &&
        factor_block_classes(bl, f, fss_blocks.ipiv.data() + bl.piv, z))
      continue;
    int info = 0;
    if (m > 0) zgetrf_(&m, &m, f, &ld, fss_blocks.ipiv.data() + bl.piv, &info);
    if (info != 0) fatal("solve_prob", "Error in solving problem");
    if (bl.hi == 0 || m == 0) continue;
    hi_corner(m, bl.lo, bl.hi, bl.nu, f, fss_blocks.ipiv.data() + bl.piv, z);
  }
}

void solve_screens(cplx* x, int ldx, int nrhs) {
  const int nb = fss_blocks.nb, screens = nb - 1;
  std::vector<std::vector<cplx>>& y = block_solutions;
  y.resize(nb);
  static std::vector<screen_modes> sc;
  sc.assign(screens + 2, screen_modes{});
  for (int k = 1; k <= screens; ++k) sc[k] = modes_of_screen(k);
  // Offsets of the faces of block g in a column: lo the far face of
  // screen g, hi the near face of screen g + 1.
  auto lo_at = [&](int g) { return 2 * (sc[g].first - 1) + sc[g].n; };
  auto hi_at = [&](int g) { return 2 * (sc[g + 1].first - 1); };
  for (int g = 0; g < nb; ++g) {
    const screen_block& bl = fss_blocks.b[g];
    const int m = bl.size(), ld = m > 1 ? m : 1;
    std::vector<cplx>& h = y[g];
    h.assign(static_cast<std::size_t>(ld) * nrhs, cplx(0));
    for (int c = 0; c < nrhs; ++c) {
      const cplx* xc = x + static_cast<long>(c) * ldx;
      cplx* hc = &h[static_cast<std::size_t>(c) * ld];
      for (int i = 0; i < bl.lo; ++i) hc[i] = xc[lo_at(g) + i];
      for (int i = 0; i < bl.hi; ++i) hc[bl.lo + i] = xc[hi_at(g) + i];
      if (g > 0) {
        // Forward: + Ys times the previous block's solution on its hi part.
        const screen_block& p = fss_blocks.b[g - 1];
        const int ldp = p.size() > 1 ? p.size() : 1;
        const cplx* yp = &y[g - 1][static_cast<std::size_t>(c) * ldp];
        for (int i = 0; i < bl.lo; ++i) hc[i] += fss_modewg_y[sc[g].first + i].y3 * yp[p.lo + i];
      }
    }
    if (block_solve(bl, nrhs, h.data(), ld) != 0) fatal("solve_prob", "Error in solving problem");
  }
  // Back: x_g = y_g + F_g^-1 [0; Ys x_(g+1)[lo]; 0], through the block's
  // factors.
  std::vector<cplx> w;
  for (int g = nb - 2; g >= 0; --g) {
    const screen_block &bl = fss_blocks.b[g], &nx = fss_blocks.b[g + 1];
    const int m = bl.size(), ld = m > 1 ? m : 1, ldn = nx.size() > 1 ? nx.size() : 1;
    if (m == 0 || bl.hi == 0) continue;
    w.assign(static_cast<std::size_t>(ld) * nrhs, cplx(0));
    for (int c = 0; c < nrhs; ++c) {
      const cplx* xn = &y[g + 1][static_cast<std::size_t>(c) * ldn];
      for (int j = 0; j < bl.hi; ++j)
        w[static_cast<std::size_t>(c) * ld + bl.lo + j] = fss_modewg_y[sc[g + 1].first + j].y3 * xn[j];
    }
    if (block_solve(bl, nrhs, w.data(), ld) != 0) fatal("solve_prob", "Error in solving problem");
    for (std::size_t k = 0; k < w.size(); ++k) y[g][k] += w[k];
  }
  for (int g = 0; g < nb; ++g) {
    const screen_block& bl = fss_blocks.b[g];
    const int ld = bl.size() > 1 ? bl.size() : 1;
    for (int c = 0; c < nrhs; ++c) {
      cplx* xc = x + static_cast<long>(c) * ldx;
      const cplx* yc = &y[g][static_cast<std::size_t>(c) * ld];
      for (int i = 0; i < bl.lo; ++i) xc[lo_at(g) + i] = yc[i];
      for (int i = 0; i < bl.hi; ++i) xc[hi_at(g) + i] = yc[bl.lo + i];
    }
  }
}

void release_screens() {
  for (auto* v : {&l, &r}) std::vector<cplx>().swap(*v);
  for (auto* v : {&ra, &rb, &ga, &gb}) std::vector<double>().swap(*v);
  std::vector<std::vector<double>>().swap(class_part);
  std::vector<std::vector<cplx>>().swap(air_load);
  std::vector<std::vector<cplx>>().swap(block_solutions);
  std::vector<cplx>().swap(fss_blocks.store);
  std::vector<int>().swap(fss_blocks.ipiv);
}
