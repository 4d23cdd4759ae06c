#include "support/rect_truth.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

using cplx = std::complex<double>;

extern "C" void zgesv_(const int* n, const int* nrhs, cplx* a, const int* lda, int* ipiv, cplx* b,
                       const int* ldb, int* info);
extern "C" void zgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const cplx* alpha, const cplx* a, const int* lda, const cplx* b,
                       const int* ldb, const cplx* beta, cplx* c, const int* ldc);

namespace {

const double pi = 3.14159265358979323846;
const double c0 = 299800000.0;           // m/s, the program's speed of light
const double eta0 = 120 * 3.1415926535898;
const cplx I(0, 1);

enum { k_tm = 1, k_te = 2, k_temx = 3, k_temy = 4 };

// A mode of the hole: TE cos(alpha u) cos(beta v), TM sin(alpha u) sin(beta v),
// u, v measured from the lower left corner, unit norm of the transverse field.
struct hole_mode {
  int kind, m, n;
  double kc, norm;
};

// A Floquet harmonic (one or two of its orbit under the mirrors) and the
// weight with which it enters the admittance of a parity class.
struct harmonic {
  double kx, ky, kt;
  double weight;
};

double sinc(double x) {
  if (std::fabs(x) < 1e-4) return 1 - x * x / 6;
  return std::sin(x) / x;
}

// Integral over 0 .. L of exp(i s u).
cplx g_int(double s, double len) {
  return len * std::exp(I * (s * len / 2)) * sinc(s * len / 2);
}

// Over the side of length len centred on 0, with u = x + len/2 and
// alpha = m pi / len: C = int cos(alpha u) exp(-i beta x), S = int sin(...).
void side_integrals(int m, double len, double beta, cplx& c, cplx& s) {
  const double al = m * pi / len;
  const cplx g1 = g_int(al - beta, len), g2 = g_int(-al - beta, len);
  const cplx ph = std::exp(I * (beta * len / 2));
  c = ph * 0.5 * (g1 + g2);
  s = ph * (g1 - g2) / (2.0 * I);
}

std::vector<hole_mode> hole_modes(const truth_structure& st, double kmax) {
  std::vector<hole_mode> modes;
  const int mmax = static_cast<int>(kmax * st.w / pi) + 1;
  const int nmax = static_cast<int>(kmax * st.h / pi) + 1;
  for (int kind : {k_te, k_tm})
    for (int m = 0; m <= mmax; ++m)
      for (int n = 0; n <= nmax; ++n) {
        if (kind == k_te && m == 0 && n == 0) continue;
        if (kind == k_tm && (m == 0 || n == 0)) continue;
        const double kc = std::hypot(m * pi / st.w, n * pi / st.h);
        if (kc > kmax) continue;
        double norm = 2 / std::sqrt(st.w * st.h);
        if (kind == k_te) norm = std::sqrt((m ? 2.0 : 1.0) * (n ? 2.0 : 1.0) / (st.w * st.h));
        modes.push_back({kind, m, n, kc, norm});
      }
  return modes;
}

// Coupling sigma of a hole mode with the Floquet mode of the given kind at
// the harmonic, in the program's conventions: TE-TE -i (kc/kt) Int psi phi,
// TM-TM i (kt/kc) Int psi phi, TE-TM (1/(kc kt)) Int (ky dpsi/dx - kx
// dpsi/dy) phi, TE-TEMx (1/kc) Int dpsi/dx phi, TE-TEMy -(1/kc) Int dpsi/dy
// phi, phi = Nc exp(-i k.r); a TM mode couples with TM waves only.
cplx coupling(const truth_structure& st, const hole_mode& md, const harmonic& hm, int fkind,
              double nc) {
  if (md.kind == k_tm && fkind != k_tm) return 0;
  cplx cx, sx, cy, sy;
  side_integrals(md.m, st.w, hm.kx, cx, sx);
  side_integrals(md.n, st.h, hm.ky, cy, sy);
  const double f = md.norm * nc;
  if (md.kind == k_tm) return I * (hm.kt / md.kc) * f * sx * sy;
  const cplx psi = f * cx * cy;
  const cplx dx = -f * (md.m * pi / st.w) * sx * cy;
  const cplx dy = -f * (md.n * pi / st.h) * cx * sy;
  switch (fkind) {
    case k_te: return -I * (md.kc / hm.kt) * psi;
    case k_tm: return (hm.ky * dx - hm.kx * dy) / (md.kc * hm.kt);
    case k_temx: return dx / md.kc;
    default: return -dy / md.kc;
  }
}

// Propagation constant exp(-gamma z) of a mode of transverse wavenumber kt.
cplx gamma_of(double k0, double kt) {
  const double d = k0 * k0 - kt * kt;
  if (d > 0) return I * std::sqrt(d);
  if (d < 0) return std::sqrt(-d);
  return I * (1e-10 * k0);  // at cutoff: the program's guard
}

cplx floquet_y(int fkind, double k0, double kt) {
  if (fkind == k_temx || fkind == k_temy) return 1 / eta0;
  const cplx g = gamma_of(k0, kt);
  return fkind == k_tm ? (I * k0 / eta0) / g : g / (I * eta0 * k0);
}

// Y1 coth(gamma t) and Y1 / sinh(gamma t) of a hole mode, without overflow.
void hole_y(const hole_mode& md, double k0, double t, cplx& yc, cplx& ys) {
  const cplx g = gamma_of(k0, md.kc);
  const cplx y1 = md.kind == k_tm ? (I * k0 / eta0) / g : g / (I * eta0 * k0);
  cplx z = g * t;
  if (z.real() < 0) z = -z;  // coth and 1/sinh are odd: fix the sign after
  const cplx e = std::exp(-z), e2 = e * e;
  cplx coth = (1.0 + e2) / (1.0 - e2), csch = 2.0 * e / (1.0 - e2);
  if ((g * t).real() < 0) coth = -coth, csch = -csch;
  yc = y1 * coth;
  ys = y1 * csch;
}

bool is_tem(const harmonic& hm, double kflo) { return hm.kt <= kflo / 1.0e9; }

// Harmonics within kflo; with fold_x (kx0 = 0) only p >= 0, with fold_y
// (ky0 = 0) only q >= 0, each weighted by the size of its orbit.  `full`
// counts the harmonics of the whole disc.
std::vector<harmonic> harmonics(const truth_structure& st, double kx0, double ky0, double kflo,
                                bool fold_x, bool fold_y, int& full) {
  std::vector<harmonic> hs;
  full = 0;
  const double da = 2 * pi / st.a, db = 2 * pi / st.b;
  const int p0 = static_cast<int>(std::floor((-kflo - kx0) / da)) - 1;
  const int p1 = static_cast<int>(std::ceil((kflo - kx0) / da)) + 1;
  const int q0 = static_cast<int>(std::floor((-kflo - ky0) / db)) - 1;
  const int q1 = static_cast<int>(std::ceil((kflo - ky0) / db)) + 1;
  for (int p = p0; p <= p1; ++p)
    for (int q = q0; q <= q1; ++q) {
      const double kx = kx0 + p * da, ky = ky0 + q * db, kt = std::hypot(kx, ky);
      if (kt > kflo) continue;
      ++full;
      if ((fold_x && p < 0) || (fold_y && q < 0)) continue;
      const double w = (fold_x && p > 0 ? 2.0 : 1.0) * (fold_y && q > 0 ? 2.0 : 1.0);
      hs.push_back({kx, ky, kt, w});
    }
  return hs;
}

// The Floquet kinds of a harmonic, in the program's order.
int kinds_of(const harmonic& hm, double kflo, int kinds[2]) {
  if (is_tem(hm, kflo)) {
    kinds[0] = k_temx;
    kinds[1] = k_temy;
  } else {
    kinds[0] = k_tm;
    kinds[1] = k_te;
  }
  return 2;
}

// S = sum over the harmonics and their kinds of weight Yf sigma sigma^H over
// the given modes, accumulated over blocks of harmonics.
std::vector<cplx> free_space_admittance(const truth_structure& st,
                                        const std::vector<hole_mode>& modes,
                                        const std::vector<harmonic>& hs, double k0, double kflo,
                                        double nc) {
  const int n = static_cast<int>(modes.size());
  std::vector<cplx> s(static_cast<std::size_t>(n) * n, 0.0);
  if (n == 0) return s;
  const int block = 256;  // harmonics per block
  std::vector<cplx> x(static_cast<std::size_t>(n) * 2 * block), y(x.size());
  for (std::size_t h0 = 0; h0 < hs.size(); h0 += block) {
    const int nh = static_cast<int>(std::min<std::size_t>(block, hs.size() - h0));
    int col = 0;
    for (int k = 0; k < nh; ++k) {
      const harmonic& hm = hs[h0 + k];
      int kinds[2];
      kinds_of(hm, kflo, kinds);
      for (int fk : kinds) {
        const cplx yf = hm.weight * floquet_y(fk, k0, hm.kt);
        for (int j = 0; j < n; ++j) {
          const cplx sg = coupling(st, modes[j], hm, fk, nc);
          x[static_cast<std::size_t>(col) * n + j] = sg;
          y[static_cast<std::size_t>(col) * n + j] = sg * yf;
        }
        ++col;
      }
    }
    const cplx one = 1;
    zgemm_("N", "C", &n, &n, &col, &one, y.data(), &n, x.data(), &n, &one, s.data(), &n);
  }
  return s;
}

void solve(int n, std::vector<cplx>& a, std::vector<cplx>& b, int nrhs) {
  if (n == 0) return;
  std::vector<int> ipiv(n);
  int info = 0;
  zgesv_(&n, &nrhs, a.data(), &n, ipiv.data(), b.data(), &n, &info);
  if (info != 0) throw std::runtime_error("rect_truth: singular system");
}

struct incidence {
  double k0, kx0, ky0;
  bool normal;
};

incidence incidence_at(const truth_structure& st, double f) {
  incidence in;
  in.k0 = 2 * pi * f / c0;
  in.kx0 = in.k0 * std::sin(st.theta) * std::cos(st.phi);
  in.ky0 = in.k0 * std::sin(st.theta) * std::sin(st.phi);
  if (std::fabs(in.kx0) < 1e-12 * in.k0) in.kx0 = 0;
  if (std::fabs(in.ky0) < 1e-12 * in.k0) in.ky0 = 0;
  in.normal = in.kx0 == 0 && in.ky0 == 0;
  return in;
}

// The incident harmonic and the kinds of the two incident waves: the first
// answers the "y" columns (TM, TEM-y), the second the "x" columns (TE, TEM-x).
void incident_waves(const incidence& in, harmonic& inc, int kinds[2]) {
  inc = {in.kx0, in.ky0, std::hypot(in.kx0, in.ky0), 1.0};
  kinds[0] = in.normal ? k_temy : k_tm;
  kinds[1] = in.normal ? k_temx : k_te;
}

// Parity class (of m and of n; -1 for either) of the modes an incident wave
// excites: the mirror planes that contain the incidence keep its symmetry.
void parity_class(const incidence& in, int wave, int& mpar, int& npar) {
  mpar = npar = -1;
  const bool y_pol = wave == 0;  // TM or TEM-y
  if (in.normal) {
    mpar = y_pol ? 0 : 1;
    npar = y_pol ? 1 : 0;
  } else if (in.ky0 == 0) {
    npar = y_pol ? 1 : 0;
  } else if (in.kx0 == 0) {
    mpar = y_pol ? 1 : 0;
  }
}

// R and T of an incident wave from the face amplitudes.
void coefficients(const std::vector<cplx>& sig, const std::vector<cplx>& v1,
                  const std::vector<cplx>& v2, double gz, double t, cplx& r, cplx& tr) {
  r = -1.0;
  tr = 0.0;
  for (std::size_t j = 0; j < sig.size(); ++j) {
    r += v1[j] * std::conj(sig[j]);
    tr += v2[j] * std::conj(sig[j]);
  }
  tr *= std::exp(I * (gz * t));
}

}  // namespace

std::vector<truth_point> rect_truth(const truth_structure& st, const std::vector<double>& freqs,
                                    double kwg, double kflo) {
  const std::vector<hole_mode> all = hole_modes(st, kwg);
  const double nc = 1 / std::sqrt(st.a * st.b);
  std::vector<truth_point> out;
  for (double f : freqs) {
    const incidence in = incidence_at(st, f);
    truth_point pt;
    pt.f = f;
    pt.nwg = static_cast<int>(all.size());
    int full = 0;
    const std::vector<harmonic> hs =
        harmonics(st, in.kx0, in.ky0, kflo, in.kx0 == 0, in.ky0 == 0, full);
    pt.nflo = 2 * full;
    harmonic inc;
    int inc_kind[2];
    incident_waves(in, inc, inc_kind);
    const double gz = std::sqrt(in.k0 * in.k0 - inc.kt * inc.kt);
    // A square hole in a square lattice at normal incidence: the diagonal
    // mirror maps one incident wave onto the other.
    const bool square = in.normal && st.w == st.h && st.a == st.b;
    for (int wave = square ? 1 : 0; wave < 2; ++wave) {
      int mpar, npar;
      parity_class(in, wave, mpar, npar);
      std::vector<hole_mode> modes;
      for (const hole_mode& md : all)
        if ((mpar < 0 || md.m % 2 == mpar) && (npar < 0 || md.n % 2 == npar)) modes.push_back(md);
      const int n = static_cast<int>(modes.size());
      const std::vector<cplx> s = free_space_admittance(st, modes, hs, in.k0, kflo, nc);
      std::vector<cplx> sig(n), bp(n), bm(n);
      const cplx yinc = floquet_y(inc_kind[wave], in.k0, inc.kt);
      for (int j = 0; j < n; ++j) {
        sig[j] = coupling(st, modes[j], inc, inc_kind[wave], nc);
        bp[j] = bm[j] = 2.0 * yinc * sig[j];
      }
      // (Yc + S -+ Ys)(V1 +- V2) = B.
      std::vector<cplx> ap(s), am(s);
      for (int j = 0; j < n; ++j) {
        cplx yc, ys;
        hole_y(modes[j], in.k0, st.t, yc, ys);
        ap[static_cast<std::size_t>(j) * n + j] += yc - ys;
        am[static_cast<std::size_t>(j) * n + j] += yc + ys;
      }
      solve(n, ap, bp, 1);
      solve(n, am, bm, 1);
      std::vector<cplx> v1(n), v2(n);
      for (int j = 0; j < n; ++j) {
        v1[j] = (bp[j] + bm[j]) / 2.0;
        v2[j] = (bp[j] - bm[j]) / 2.0;
      }
      coefficients(sig, v1, v2, gz, st.t, wave == 0 ? pt.ry : pt.rx, wave == 0 ? pt.ty : pt.tx);
    }
    if (square) {
      pt.ry = pt.rx;
      pt.ty = pt.tx;
    }
    out.push_back(pt);
  }
  return out;
}

std::vector<truth_point> rect_truth_full(const truth_structure& st,
                                         const std::vector<double>& freqs, double kwg,
                                         double kflo) {
  const std::vector<hole_mode> modes = hole_modes(st, kwg);
  const double nc = 1 / std::sqrt(st.a * st.b);
  const int n = static_cast<int>(modes.size()), n2 = 2 * n;
  std::vector<truth_point> out;
  for (double f : freqs) {
    const incidence in = incidence_at(st, f);
    truth_point pt;
    pt.f = f;
    pt.nwg = n;
    int full = 0;
    const std::vector<harmonic> hs = harmonics(st, in.kx0, in.ky0, kflo, false, false, full);
    pt.nflo = 2 * full;
    const std::vector<cplx> s = free_space_admittance(st, modes, hs, in.k0, kflo, nc);
    // [[Yc + S, -Ys], [-Ys, Yc + S]] with both incident waves.
    std::vector<cplx> a(static_cast<std::size_t>(n2) * n2, 0.0), b(2 * static_cast<std::size_t>(n2), 0.0);
    auto at = [&](int r, int c) -> cplx& { return a[static_cast<std::size_t>(c) * n2 + r]; };
    for (int q = 0; q < n; ++q)
      for (int j = 0; j < n; ++j) at(j, q) = at(n + j, n + q) = s[static_cast<std::size_t>(q) * n + j];
    for (int j = 0; j < n; ++j) {
      cplx yc, ys;
      hole_y(modes[j], in.k0, st.t, yc, ys);
      at(j, j) += yc;
      at(n + j, n + j) += yc;
      at(n + j, j) = at(j, n + j) = -ys;
    }
    harmonic inc;
    int inc_kind[2];
    incident_waves(in, inc, inc_kind);
    std::vector<cplx> sig[2];
    for (int wave = 0; wave < 2; ++wave) {
      const cplx yinc = floquet_y(inc_kind[wave], in.k0, inc.kt);
      sig[wave].resize(n);
      for (int j = 0; j < n; ++j) {
        sig[wave][j] = coupling(st, modes[j], inc, inc_kind[wave], nc);
        b[static_cast<std::size_t>(wave) * n2 + j] = 2.0 * yinc * sig[wave][j];
      }
    }
    solve(n2, a, b, 2);
    const double gz = std::sqrt(in.k0 * in.k0 - inc.kt * inc.kt);
    for (int wave = 0; wave < 2; ++wave) {
      const std::vector<cplx> v1(b.begin() + wave * n2, b.begin() + wave * n2 + n);
      const std::vector<cplx> v2(b.begin() + wave * n2 + n, b.begin() + (wave + 1) * n2);
      coefficients(sig[wave], v1, v2, gz, st.t, wave == 0 ? pt.ry : pt.rx,
                   wave == 0 ? pt.ty : pt.tx);
    }
    out.push_back(pt);
  }
  return out;
}

namespace {

// Least-squares S_inf of S = S_inf + C k^(-p) over the given rungs.
std::complex<double> fit_limit(const std::vector<double>& k, const std::vector<cplx>& s,
                               double p, std::size_t from) {
  double a11 = 0, a12 = 0, a22 = 0;
  cplx b1 = 0, b2 = 0;
  for (std::size_t i = from; i < k.size(); ++i) {
    const double x = std::pow(k[i], -p);
    a11 += 1;
    a12 += x;
    a22 += x * x;
    b1 += s[i];
    b2 += x * s[i];
  }
  return (a22 * b1 - a12 * b2) / (a11 * a22 - a12 * a12);
}

}  // namespace

std::vector<truth_value> rect_truth_extrapolated(const truth_structure& st,
                                                 const std::vector<double>& freqs,
                                                 const std::vector<double>& kwg_rungs) {
  std::vector<std::vector<truth_point>> rungs;
  for (double k : kwg_rungs) rungs.push_back(rect_truth(st, freqs, k, 3 * k));
  std::vector<truth_value> out;
  for (std::size_t i = 0; i < freqs.size(); ++i) {
    truth_value v;
    v.f = freqs[i];
    for (int q = 0; q < 4; ++q) {
      std::vector<cplx> s;
      for (const std::vector<truth_point>& r : rungs) {
        const truth_point& p = r[i];
        s.push_back(q == 0 ? p.ty : q == 1 ? p.tx : q == 2 ? p.ry : p.rx);
      }
      v.s[q] = fit_limit(kwg_rungs, s, 4.0 / 3, 0);
      v.uncertainty[q] = std::max({std::abs(fit_limit(kwg_rungs, s, 1.2, 0) - v.s[q]),
                                   std::abs(fit_limit(kwg_rungs, s, 1.5, 0) - v.s[q]),
                                   std::abs(fit_limit(kwg_rungs, s, 4.0 / 3, kwg_rungs.size() / 2) -
                                            v.s[q])});
    }
    out.push_back(v);
  }
  return out;
}

std::vector<stored_value> read_stored_truth(const std::string& path) {
  std::ifstream in(path);
  std::vector<stored_value> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == 'f') continue;
    stored_value v;
    char name[8] = {};
    double re, im, fre, fim;
    if (std::sscanf(line.c_str(), "%lf,%2[TRxy],%lf,%lf,%lf,%lf,%lf", &v.f_ghz, name, &re, &im,
                    &v.uncertainty, &fre, &fim) != 7)
      continue;
    const std::string n = name;
    v.q = n == "Ty" ? 0 : n == "Tx" ? 1 : n == "Ry" ? 2 : 3;
    v.s = {re, im};
    v.first = {fre, fim};
    rows.push_back(v);
  }
  return rows;
}
