// Purge of the spurious modes.
//
// The enclosing-guide expansion also yields solutions that live between the
// contour and the enclosure wall, with no field in the aperture.  A true
// mode of the aperture has, just inside the contour, the field that its
// boundary source demands: for TE the axial field Hz equals the current
// density sigma there, for TM the tangential field t.(dEz/dy, -dEz/dx)
// equals -sigma (sigma = dEz/dn).  Per mode, with H the field at the middle
// of every element (lengths l as weights),
//   P = sum (l H)^2            (field inside),
//   Q = sum (l (H - sigma))^2  (mismatch of the boundary condition);
// Q < P/20 marks a mode of the aperture, P < Q/20 one of the outer region.
//
// An aperture mode and an outer mode whose cutoffs nearly coincide are
// mixed by the eigensolver in proportions that depend on the discretisation,
// and so on the limit: a half-and-half mixture has Q/P of 30 or so and would
// be dropped with its partner, a mode lost; a partial one left open would
// carry the outer mode's current into the catalogue.  Each group of
// near-degenerate modes that holds a mixture is therefore split again: the
// combinations of the group that keep Q <= P (the generalised eigenvectors of
// the pair of forms Q and P + Q) span its aperture modes, and the
// Rayleigh-Ritz projection of the eigenproblem on that span gives them with
// their cutoffs; the orthogonal complement, projected likewise, holds the
// outer modes.  The groups are the runs of modes whose neighbouring cutoffs
// lie closer than a distance that grows, step by step, up to 2 %, so that a
// mixture is split with its nearest partners first.  A mode still open is
// kept when Q <= P (its cutoff then stored negative), or when the contour
// does not see it at all.
#include <algorithm>
#include <cmath>
#include <vector>

#include "contour/contour.hpp"
#include "modefields/guide_modes.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/green_tables.hpp"
#include "modesolver/lapack.hpp"
#include "modesolver/singular.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"

namespace {

constexpr double dh = 0.05;    // classification ratio 1/20
constexpr double dk0 = 0.02;   // relative cutoff distance of a near-degenerate pair

// A mode that fails the test of an aperture mode (Q < P/20) and still has
// more field inside than this fraction of its mismatch holds part of an
// aperture mode: it is split with its partners.
constexpr double mixed_share = dh * dh;
// A combination within this (1 - overlap of unit vectors) of one vector of
// its group is that vector, kept as it stands.
constexpr double same_mode = 1e-8;
// A mode whose contour current (sum (l sigma)^2) is below this fraction of
// its field inside is current-free.
constexpr double current_free = 1e-8;
// Largest group split at once: the test sees the modes at the nreg element
// middles only, so a group must also stay within nreg / 2.
constexpr int group_max = 16;

// Per mode under test (entries from 1; sized at run time for the
// candidates): field and mismatch vectors, element by element, for the
// modes as unit vectors of the eigenproblem; P, Q and the contour current
// sum (l sigma)^2; the cutoff (the Ritz value of the eigenproblem, or the
// eigenvalue of the current-free mode it was split from).
std::vector<double> uvec, vvec, pm, qm, cm, kcl;
// Whether the cutoff is that of a current-free mode: an enclosure mode that
// meets the aperture's boundary condition without any current is, inside,
// an exact mode of the aperture, its cutoff free of the discretisation of
// the contour current.
std::vector<char> exact;
// Classification: +1 a mode of the aperture (Q < P/20), -1 one of the outer
// region (P < Q/20), 0 left open.
std::vector<int> cls;
// The eigenproblem between the candidates as they stand: 1/k^2 of the
// unit eigenvectors on the diagonal at first, changed by every split.
std::vector<double> lam;
// A large problem's fields inside of every candidate (nreg x ncand), from
// one matrix product; empty for a smaller one, whose sums keep their
// results bit for bit.
std::vector<double> inside;
int ncand = 0;
double pmax = 0;

double& u(int i, int j) { return uvec[i + static_cast<long>(j - 1) * fbo.nreg]; }
double& v(int i, int j) { return vvec[i + static_cast<long>(j - 1) * fbo.nreg]; }
double& lm(int i, int j) { return lam[(i - 1) + static_cast<std::size_t>(j - 1) * ncand]; }

int slot_row(const fbo_entry& e, int s) { return s == 1 ? e.iip : s == 2 ? e.i : e.iis; }

// Value at the middle of element `row` of the boundary function of mode j.
double boundary_value(int row, int j) {
  int namo = amo.n;
  double sum = 0;
  for (int f = 1; f <= fbo.nfb; ++f)
    for (int s = 1; s <= 3; ++s)
      if (slot_row(fbo[f], s) == row) sum += mata(namo + f, j) * fbo[f].c[3 * s];
  return sum;
}

void recompute(int j) {
  pm[j] = qm[j] = cm[j] = 0;
  for (int i = 1; i <= fbo.nreg; ++i) {
    pm[j] += u(i, j) * u(i, j);
    qm[j] += v(i, j) * v(i, j);
    cm[j] += (u(i, j) - v(i, j)) * (u(i, j) - v(i, j));
  }
  cls[j] = qm[j] < dh * pm[j] ? 1 : pm[j] < dh * qm[j] ? -1 : 0;
}

// Field inside and mismatch of mode j (column j of mata, scaled by its
// cutoff kc), as a unit vector.
void field_and_mismatch(int j, double sign, double kc) {
  int nrow = mata.nrow;
  for (int i = 1; i <= fbo.nreg; ++i) {
    double h = 0;
    if (!inside.empty())
      h = inside[(i - 1) + static_cast<std::size_t>(j - 1) * fbo.nreg];
    else
      for (int c = 1; c <= nrow; ++c) h += matd(i, c) * mata(c, j);
    int row = fbo[i].i;
    double len = elen(row) / kc;
    u(i, j) = len * h;
    v(i, j) = len * (h - sign * boundary_value(row, j));
  }
  recompute(j);
}

bool mixed(double p, double q) {
  if (p + q <= 1e-20 * pmax) return false;  // the contour does not see it
  return !(q < dh * p) && !(p < mixed_share * q);
}
bool mixed(int j) { return mixed(pm[j], qm[j]); }

double cutoff(int j) { return 1 / std::sqrt(lm(j, j)); }

// Scratch of one split.
double gq[group_max * group_max], gs[group_max * group_max];
double gp0[group_max * group_max], gq0[group_max * group_max];
double gm[group_max * group_max], gn[group_max * group_max];
double tr[group_max * group_max], gval[group_max];
double gwork[group_max * group_max + 3 * group_max];
std::vector<double> newcol;

// Generalised symmetric-definite problem of order n (dsygv); false if it fails.
bool pencil(double* a, double* b, int n, double* w) {
  if (n == 0) return true;
  int itype = 1, info = 0, lwork = group_max * group_max + 3 * group_max;
  dsygv_(&itype, "V", "U", &n, a, &n, b, &n, w, gwork, &lwork, &info);
  return info == 0;
}

// Rayleigh-Ritz on the span of the m columns of c (order w, column by
// column), the vectors of the group `set` being orthonormal: the Ritz
// vectors, orthonormal, into the columns of out.
bool ritz(const int* set, int w, const double* c, int m, double* out) {
  for (int p = 0; p < m; ++p)
    for (int q = 0; q <= p; ++q) {
      double sm = 0, sn = 0;
      for (int r = 0; r < w; ++r) {
        double lr = 0;
        for (int t = 0; t < w; ++t) lr += lm(set[r], set[t]) * c[t + w * q];
        sm += c[r + w * p] * lr;
        sn += c[r + w * p] * c[r + w * q];
      }
      gm[p + m * q] = gm[q + m * p] = sm;
      gn[p + m * q] = gn[q + m * p] = sn;
    }
  if (!pencil(gm, gn, m, gval)) return false;
  for (int p = 0; p < m; ++p)
    for (int r = 0; r < w; ++r) {
      double sum = 0;
      for (int t = 0; t < m; ++t) sum += c[r + w * t] * gm[t + m * p];
      out[r + w * p] = sum;
    }
  return true;
}

// Applies the orthogonal change tr (order w) to the group: columns of
// mata, field and mismatch vectors, the eigenproblem between the
// candidates.  The first nk new vectors are the aperture combinations.
void change_group(const int* set, int w, int nk) {
  const int nrow = mata.nrow, nreg = fbo.nreg;
  // Cutoffs: the Ritz values, except that a vector within same_mode of one
  // member is that member, and an aperture combination that takes at least
  // a quarter of its weight from current-free members of one cutoff (that
  // of its largest such member; a degenerate set counts together) keeps
  // that cutoff.
  double label[group_max];
  bool from_exact[group_max];
  int same[group_max];
  for (int p = 0; p < w; ++p) {
    same[p] = -1;
    from_exact[p] = false;
    for (int r = 0; r < w; ++r)
      if (1 - std::fabs(tr[r + w * p]) < same_mode) {
        for (int t = 0; t < w; ++t) tr[t + w * p] = t == r ? 1 : 0;
        same[p] = r;
        break;
      }
    if (p >= nk || same[p] >= 0) continue;
    int top = -1;
    for (int r = 0; r < w; ++r)
      if (exact[set[r]] && (top < 0 || std::fabs(tr[r + w * p]) > std::fabs(tr[top + w * p])))
        top = r;
    if (top < 0) continue;
    double weight = 0;
    const double kc = kcl[set[top]];
    for (int r = 0; r < w; ++r)
      if (exact[set[r]] && std::fabs(kcl[set[r]] - kc) <= 1e-9 * kc)
        weight += tr[r + w * p] * tr[r + w * p];
    if (weight >= 0.25) {
      from_exact[p] = true;
      label[p] = kc;
    }
  }
  for (int p = 0; p < w; ++p)
    if (same[p] >= 0) label[p] = kcl[set[same[p]]], from_exact[p] = exact[set[same[p]]];
  newcol.resize(static_cast<std::size_t>(nrow + 2 * nreg) * w);
  for (int p = 0; p < w; ++p) {
    double* col = &newcol[static_cast<std::size_t>(nrow + 2 * nreg) * p];
    for (int r = 0; r < nrow + 2 * nreg; ++r) col[r] = 0;
    for (int t = 0; t < w; ++t) {
      double c = tr[t + w * p];
      if (c == 0) continue;
      int j = set[t];
      double scale = c / cutoff(j);
      for (int r = 0; r < nrow; ++r) col[r] += scale * mata(r + 1, j);
      for (int i = 1; i <= nreg; ++i) col[nrow + i - 1] += c * u(i, j), col[nrow + nreg + i - 1] += c * v(i, j);
    }
  }
  // lam <- T^T lam T on the rows and columns of the group.
  std::vector<double> rows(static_cast<std::size_t>(w) * ncand);
  for (int p = 0; p < w; ++p)
    for (int k = 1; k <= ncand; ++k) {
      double sum = 0;
      for (int t = 0; t < w; ++t) sum += tr[t + w * p] * lm(set[t], k);
      rows[p + static_cast<std::size_t>(w) * (k - 1)] = sum;
    }
  for (int p = 0; p < w; ++p)
    for (int k = 1; k <= ncand; ++k) lm(set[p], k) = lm(k, set[p]) = rows[p + static_cast<std::size_t>(w) * (k - 1)];
  for (int p = 0; p < w; ++p)
    for (int q = 0; q < w; ++q) {
      double sum = 0;
      for (int t = 0; t < w; ++t) sum += rows[p + static_cast<std::size_t>(w) * (set[t] - 1)] * tr[t + w * q];
      lm(set[p], set[q]) = sum;
    }
  for (int p = 0; p < w; ++p) {
    int j = set[p];
    const double* col = &newcol[static_cast<std::size_t>(nrow + 2 * nreg) * p];
    double kc = cutoff(j);
    kcl[j] = from_exact[p] || same[p] >= 0 ? label[p] : kc;
    exact[j] = from_exact[p];
    for (int r = 0; r < nrow; ++r) mata(r + 1, j) = col[r] * kc;
    for (int i = 1; i <= nreg; ++i) u(i, j) = col[nrow + i - 1], v(i, j) = col[nrow + nreg + i - 1];
    recompute(j);
  }
}

// Splits the group `set` of w modes into the combinations that keep
// Q <= P (aperture modes) and their complement (outer modes), each by
// Rayleigh-Ritz.
void split_group(const int* set, int w) {
  double trace = 0;
  for (int p = 0; p < w; ++p)
    for (int q = 0; q <= p; ++q) {
      double sq = 0, sp = 0;
      for (int i = 1; i <= fbo.nreg; ++i) {
        sq += v(i, set[p]) * v(i, set[q]);
        sp += u(i, set[p]) * u(i, set[q]);
      }
      gq[p + w * q] = gq[q + w * p] = gq0[p + w * q] = gq0[q + w * p] = sq;
      gs[p + w * q] = gs[q + w * p] = sq + sp;
      gp0[p + w * q] = gp0[q + w * p] = sp;
      if (p == q) trace += sq + sp;
    }
  // Combinations the contour does not see count with the aperture's.
  for (int p = 0; p < w; ++p) gs[p + w * p] += 1e-14 * trace;
  if (!pencil(gq, gs, w, gval)) return;
  int nk = 0;  // gq: the combinations, ascending in Q / (P + Q)
  while (nk < w && gval[nk] <= 0.5 * (1 + 1e-9)) ++nk;
  // The complement of the aperture span, projected out of the rest.
  double comp[group_max * group_max]{};
  if (!ritz(set, w, gq, nk, tr)) return;
  for (int p = nk; p < w; ++p) {
    double* c = &comp[w * (p - nk)];
    for (int r = 0; r < w; ++r) c[r] = gq[r + w * p];
    for (int a = 0; a < nk; ++a) {
      double dot = 0;
      for (int r = 0; r < w; ++r) dot += tr[r + w * a] * c[r];
      for (int r = 0; r < w; ++r) c[r] -= dot * tr[r + w * a];
    }
  }
  if (!ritz(set, w, comp, w - nk, &tr[w * nk])) return;
  // Made only when it leaves fewer mixtures in the group.
  int before = 0, after = 0;
  for (int p = 0; p < w; ++p) {
    before += mixed(set[p]);
    double pp = 0, qq = 0;
    for (int r = 0; r < w; ++r)
      for (int t = 0; t < w; ++t) {
        double x = tr[r + w * p] * tr[t + w * p];
        pp += x * gp0[r + w * t];
        qq += x * gq0[r + w * t];
      }
    after += mixed(pp, qq);
  }
  if (after >= before) return;
  change_group(set, w, nk);
  // The aperture combinations keep Q <= P: open at worst.
  for (int p = 0; p < nk; ++p)
    if (cls[set[p]] < 0) cls[set[p]] = 0;
}

// For each distance of the ladder, the runs of candidates (in ascending
// order of their cutoffs) whose neighbours lie closer than it, when they
// hold a mixture, are split.
void unmix() {
  std::vector<int> order(ncand);
  int set[group_max];
  for (double d : {dk0 / 256, dk0 / 64, dk0 / 16, dk0 / 4, dk0}) {
    for (int j = 0; j < ncand; ++j) order[j] = j + 1;
    std::sort(order.begin(), order.end(), [](int a, int b) { return kcl[a] < kcl[b]; });
    for (int a = 0; a < ncand;) {
      int b = a;
      while (b + 1 < ncand && kcl[order[b + 1]] - kcl[order[b]] <= d * kcl[order[b]]) ++b;
      int w = b - a + 1;
      bool any = false;
      for (int k = a; k <= b; ++k) any = any || mixed(order[k]);
      if (any && w >= 2 && w <= group_max && 2 * w <= fbo.nreg) {
        for (int k = 0; k < w; ++k) set[k] = order[a + k];
        split_group(set, w);
      }
      a = b + 1;
    }
  }
}

// Modes 1 .. n in ascending order of |cutoff| (a split may move a cutoff
// past a mode outside its group); insertion, the columns of mata with them.
void sort_modes(int n) {
  const int nrow = mata.nrow;
  std::vector<double> col(nrow + 1);
  for (int j = 2; j <= n; ++j)
    for (int k = j; k > 1 && std::fabs(vet1[k - 1]) > std::fabs(vet1[k]); --k) {
      std::swap(vet1[k - 1], vet1[k]);
      for (int r = 1; r <= nrow; ++r) col[r] = mata(r, k), mata(r, k) = mata(r, k - 1), mata(r, k - 1) = col[r];
    }
}

}  // namespace

void gmh(int imt) {
  greenha(imt);
  gcof(0);
  int namo = amo.n, nfb = fbo.nfb, nreg = fbo.nreg;
  matd.shape(nreg, namo + nfb);
  bool te = imt == 1;
  for (int i = 1; i <= nreg; ++i) {
    int je = fbo[i].i;
    const double* mc = matco[je].v;
    double x = mc[3], y = mc[4], tx = mc[14], ty = mc[15];
    guide_point p = guide_frame(x, y);
    for (int m = 1; m <= namo; ++m) {
      double f;
      if (te) {
        f = guide_axial(true, amo[m], p) * guide_mode_norm(amo[m], 1);
      } else {
        double fx, fy;
        guide_transverse(false, amo[m], p, fx, fy);
        f = (fx * tx + fy * ty) * guide_mode_norm(amo[m], -2);
      }
      matd(i, m) = f / amo[m].kc;
    }
    for (int f = 1; f <= nfb; ++f) {
      const fbo_entry& e = fbo[f];
      double sum = 0;
      for (int s = 1; s <= 3; ++s) {
        int row = slot_row(e, s);
        if (row == 0) continue;
        double pc = e.c[3 * s - 2], qc = e.c[3 * s - 1], rc = e.c[3 * s];
        if (te) {
          sum += hasls(x, y, row, pc, qc, rc);
        } else {
          double hx, hy;
          htsls(x, y, row, pc, qc, rc, hx, hy);
          sum += hx * tx + hy * ty;
        }
        sum += pcont(je, 2, row, f, s, matw);
      }
      matd(i, namo + f) = sum;
    }
  }
}

double purge_reach(double kpurge) { return kpurge * (1 + dk0); }

void purge(int imt, double kpurge) {
  gmh(imt);
  // Candidates: the modes up to dk0 above the limit (a non-positive
  // eigenvalue ends the list); those above the limit take part in the
  // splits only, as partners of the modes just below it.
  ncand = 0;
  while (ncand < vet1.n && vet1[ncand + 1] > 0 && vet1[ncand + 1] <= purge_reach(kpurge)) ++ncand;
  double sign = imt == 1 ? 1 : -1;
  lam.assign(static_cast<std::size_t>(ncand) * ncand, 0.0);
  const std::size_t slots = static_cast<std::size_t>(ncand) + 1;
  uvec.resize(static_cast<std::size_t>(fbo.nreg) * ncand + 1);
  vvec.resize(uvec.size());
  for (auto* w : {&pm, &qm, &cm, &kcl}) w->assign(slots, 0.0);
  exact.assign(slots, 0);
  cls.assign(slots, 0);
  pmax = 0;
  inside.clear();
  if (guide_eigen_order >= large_eigenproblem_order && ncand > 0) {
    inside.resize(static_cast<std::size_t>(fbo.nreg) * ncand);
    const double one = 1, zero = 0;
    const int nreg = fbo.nreg, nrow = mata.nrow, ldd = matd.nrow;
    dgemm_("N", "N", &nreg, &ncand, &nrow, &one, &matd(1, 1), &ldd, &mata(1, 1), &nrow, &zero,
           inside.data(), &nreg);
  }
  for (int j = 1; j <= ncand; ++j) {
    lm(j, j) = 1 / (vet1[j] * vet1[j]);
    kcl[j] = vet1[j];
    field_and_mismatch(j, sign, vet1[j]);
    pmax = std::fmax(pmax, pm[j]);
  }
  for (int j = 1; j <= ncand; ++j) exact[j] = pm[j] > 1e-20 * pmax && cm[j] < current_free * pm[j];
  unmix();
  // A mode left open is kept when its field inside is at least its boundary
  // mismatch (an enclosure mode that already meets the aperture's boundary
  // condition carries no current, and has Q = P), or when the contour does
  // not see it at all; an open mode whose mismatch exceeds its field inside
  // is mostly a mode of the outer region and is dropped.
  auto keep = [&](int j) {
    if (kcl[j] > kpurge) return false;
    if (cls[j] != 0) return cls[j] > 0;
    return qm[j] <= pm[j] * (1 + 1e-9) || pm[j] + qm[j] <= 1e-20 * pmax;
  };
  int kept = 0, nrow = mata.nrow;
  for (int j = 1; j <= ncand; ++j) {
    if (!keep(j)) continue;
    ++kept;
    vet1[kept] = cls[j] == 0 ? -kcl[j] : kcl[j];
    if (kept != j)
      for (int r = 1; r <= nrow; ++r) mata(r, kept) = mata(r, j);
  }
  vet1.n = kept;
  inside = std::vector<double>();
  mata.shape(nrow, kept);
  sort_modes(kept);
}
