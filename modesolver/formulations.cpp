// TE and TM modes of the aperture guide.
//
// TM: the wall is a single layer sigma (dEz/dn) in the enclosing guide; Ez
// = 0 on the contour tested with the basis functions (corner functions
// included) gives C sigma + R u = 0 with the single-layer matrix C of the
// functions themselves and R(i, m) = (1/kc^2) integral f_i phi_m; the TM
// modes of the enclosure below the enlarged limit carry u
// (eigenproblem_tm.cpp).
//
// TE:
// The aperture wall is replaced, inside the enclosing guide, by a sheet of
// electric current J = sigma t along the contour.  Its field is the field of
// the enclosing guide excited by J: an irrotational part from the line
// charge d sigma/ds (scalar static kernel G, matrix C), a static solenoidal
// part (dyadic kernel, matrix L) and the resonant part of the enclosing
// guide's TE modes below an enlarged limit (amplitudes u, coupling R).  The
// wall condition t.E = 0 tested with the basis functions and the modal
// equations give, with lambda = 1/k^2,
//   D u + R^T sigma = lambda u,       R u + L sigma = lambda C sigma,
// D = diag(1/kc^2): a symmetric pencil whose right-hand matrix diag(I, C)
// is positive definite once the chain constants (which carry no charge) are
// condensed out (eigenproblem.cpp).  A spurious solution lives outside the
// contour and is removed by the purge.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "contour/contour.hpp"
#include "modefields/guide_modes.hpp"
#include "modesolver/basis_functions.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/green_tables.hpp"
#include "modesolver/guide_lists.hpp"
#include "modesolver/singular.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

fss_matrix matc(static_cast<long>(nfb_capacity) * nfb_capacity);
fss_matrix matl(static_cast<long>(nfb_capacity) * nfb_capacity);
fss_matrix matr(static_cast<long>(nfb_capacity) * namo_capacity);
fss_matrix matt(static_cast<long>(namo_capacity) * 3 * nfb_capacity);
double cofacc = 0.0;
double solver_scale = 1;

namespace {

// Entries of matt that the matrices need are set to 0 first; the others
// keep this marker and are not computed.
constexpr double marker = 9.99e32;

int slot_row(const fbo_entry& e, int s) { return s == 1 ? e.iip : s == 2 ? e.i : e.iis; }

// Column of quadrature point k of contour row ie in matt and the kernel tables.
int point_col(int ie, int k) { return k + 3 * (static_cast<int>(matco[ie].v[16]) - 1); }

// Marks the entries the contraction needs: the field of every function j at
// the points of every element of every function i.
void mark_needed() {
  int nfb = fbo.nfb;
  std::fill(matt.v.begin() + 1, matt.v.begin() + 1 + static_cast<long>(matt.nrow) * matt.ncol, marker);
  for (int i = 1; i <= nfb; ++i)
    for (int s = 1; s <= 3; ++s) {
      int row = slot_row(fbo[i], s);
      if (row == 0) continue;
      for (int k = 1; k <= 3; ++k)
        for (int j = 1; j <= nfb; ++j) matt(j, point_col(row, k)) = 0;
    }
}

// matt(j, point) = field(je, k, j) for the marked entries: the field of
// basis function j at point k of element je.
template <class F>
void fill_marked(F field) {
  for (int fe = 1; fe <= fbo.nreg; ++fe) {
    int je = fbo[fe].i;
    for (int k = 1; k <= 3; ++k) {
      int col = k + 3 * (fe - 1);
      for (int j = 1; j <= fbo.nfb; ++j)
        if (matt(j, col) != marker) matt(j, col) = field(je, k, j);
    }
  }
}

// Integral of f_i (or its derivative, with the weights in force) times row
// j of matt: sum over the elements of f_i of the three-point weights times
// the entries at their points.
double weigh(int i, int j) {
  double sum = 0;
  for (int s = 1; s <= 3; ++s) {
    int row = slot_row(fbo[i], s);
    if (row == 0) continue;
    for (int k = 1; k <= 3; ++k) sum += cof(k, i, s) * matt(j, point_col(row, k));
  }
  return sum;
}

// Symmetric matrix from the marked partial results.  The three-point rule
// of the test function and the closed forms of the source are not
// symmetric in the two roles: an entry taken from one order only would
// depend on which function of the pair has the lower number, that is on
// where the chain of a closed line starts and which way it runs (the cutoffs
// of a mirror image, or of the same boundary written from another line,
// moved by up to 0.7 %).  Both orders are averaged.
void contract_symmetric(fss_matrix& m) {
  int nfb = fbo.nfb;
  m.shape(nfb, nfb);
  double f = cofsm();
  for (int i = 1; i <= nfb; ++i)
    for (int j = i; j <= nfb; ++j) m(i, j) = m(j, i) = f * (weigh(i, j) + weigh(j, i)) / 2;
}

// Sum over the elements of basis function j of source(row, slot, p, q, r).
template <class F>
double over_elements(int j, F source) {
  double sum = 0;
  const fbo_entry& e = fbo[j];
  for (int s = 1; s <= 3; ++s) {
    int row = slot_row(e, s);
    if (row == 0) continue;
    sum += source(row, s, e.c[3 * s - 2], e.c[3 * s - 1], e.c[3 * s]);
  }
  return sum;
}

bool shape_partials(int rows) {
  return matt.shape(rows, 3 * fbo.nreg);
}

void fail(int code, const char* message, int iopmod) {
  if (code != 0) errors.code = code;
  errors.message = message;
  fatalerr(message, iopmod);
  if (dat.status == 0) dat.status = code != 0 ? code : 1;
}

// Series of the rectangular kernels longer than 10 terms: noted, not fatal.
void series_warning() {
  std::string text;
  alfvali(text, 10, dat.status);
  listing_line("WARNING: not fatal error code = " + text);
}

// Without basis functions the modes are the enclosing guide's own.
void guide_modes_as_modes() {
  int namo = amo.n;
  mata.shape(namo + fbo.nfb, namo);
  for (int j = 1; j <= namo; ++j)
    for (int i = 1; i <= mata.nrow; ++i) mata(i, j) = i == j ? amo[j].kc : 0;
  vet1.n = namo;
  for (int j = 1; j <= namo; ++j) vet1[j] = amo[j].kc;
}

// The kernel table must hold 3 nreg x 3 nreg entries per image.
bool matrices_fit() {
  long n = 9L * fbo.nfb * fbo.nfb;
  if (dat.symx != 0) n *= 2;
  if (dat.symy != 0) n *= 2;
  return n <= 9L * fbo.cap * fbo.cap;
}

}  // namespace

void solver_matrix_capacities() {
  const long nfb = fbo.cap, namo = amo.cap;
  matc.cap = matl.cap = nfb * nfb;
  matr.cap = nfb * namo;
  matt.cap = namo * 3 * nfb;
  matd.cap = mata.cap = (namo + nfb) * (namo + nfb);
  matw.cap = 9 * nfb * nfb;
}

double cofsm() {
  double f = 1;
  if (dat.symx != 0) f *= 2;
  if (dat.symy != 0) f *= 2;
  return f;
}

void alfvali(std::string& text, int n, int value) {
  char buf[32];
  int len = std::snprintf(buf, sizeof buf, "%*d", n, value);
  if (n <= 0 || len > n) {
    text.assign(n > 0 ? n : 0, '*');
    return;
  }
  text = buf;
  text.erase(0, text.find_first_not_of(' '));
}

void gcs(int imt) {
  green(imt);
  if (dat.status >= 1000) return;
  gcof(imt == 1 ? 1 : 0);
  if (!shape_partials(fbo.nfb)) {
    dat.status = 1000;
    return;
  }
  mark_needed();
  // TE: the line charge is the derivative of the current along the contour.
  bool derivative = imt == 1;
  fill_marked([derivative](int je, int k, int j) {
    double x = matco[je].v[2 * k - 1], y = matco[je].v[2 * k];
    return over_elements(j, [&](int row, int s, double p, double q, double r) {
      double len = elen(row);
      double ps = p, qs = q, rs = r;
      if (derivative) ps = 0, qs = 2 * p / len, rs = q / len;
      return ezsl(x, y, row, ps, qs, rs) + pcont(je, k, row, j, s, matw);
    });
  });
  contract_symmetric(matc);
}

void gls() {
  greenv(1);
  if (dat.status >= 1000) return;
  gcof(0);
  if (!shape_partials(fbo.nfb)) {
    dat.status = 1000;
    return;
  }
  mark_needed();
  fill_marked([](int je, int k, int j) {
    const double* m = matco[je].v;
    double x = m[2 * k - 1], y = m[2 * k], tx = m[14], ty = m[15];
    return over_elements(j, [&](int row, int s, double p, double q, double r) {
      double ex, ey;
      etsls(x, y, row, p, q, r, ex, ey);
      return tx * ex + ty * ey + pcont(je, k, row, j, s, matw);
    });
  });
  contract_symmetric(matl);
}

void grs(int imt) {
  if (cofw.ind != 0) gcof(0);
  int namo = amo.n, nfb = fbo.nfb;
  if (!shape_partials(namo) || !matr.shape(nfb, namo)) {
    dat.status = 1000;
    return;
  }
  bool te = imt == 1;
  for (int fe = 1; fe <= fbo.nreg; ++fe) {
    const double* mc = matco[fbo[fe].i].v;
    for (int k = 1; k <= 3; ++k) {
      int col = k + 3 * (fe - 1);
      guide_point p = guide_frame(mc[2 * k - 1], mc[2 * k]);
      for (int m = 1; m <= namo; ++m) {
        if (te) {
          double fx, fy;
          guide_transverse(true, amo[m], p, fx, fy);
          matt(m, col) = fx * mc[14] + fy * mc[15];
        } else {
          matt(m, col) = guide_axial(false, amo[m], p);
        }
      }
    }
  }
  double f = cofsm();
  for (int m = 1; m <= namo; ++m) {
    double kc = amo[m].kc;
    double scale = f * guide_mode_norm(amo[m], te ? -1 : 2) / (kc * kc);
    for (int i = 1; i <= nfb; ++i) matr(i, m) = scale * weigh(i, m);
  }
}

void fss_guidate(double kmax, double cofpurg, int iopmod) {
  const int imt = 1;
  dat.status = 0;
  vet1.cap = vet1.storage();
  vet1.n = 0;
  amo.n = amo.cap + 10;  // the wavenumber limit decides
  fbdef(0, imt, 0);
  if (dat.status != 0 || !matrices_fit()) {
    dat.status = 0;
    return fail(1000, "GUIDATE: out of bound matrices.", iopmod);
  }
  bool basis = fbo.nreg > 0;
  if (basis) {
    int st = 0;
    gvett(st);
    if (st != 0) return fail(1000, "GUIDATE: out of bound matrices", iopmod);
  }
  double alpha = 2 * (1 + cofacc / 10);
  double akmax = basis ? kmax * alpha : kmax * cofpurg;
  if (dat.b > 0)
    gmor(akmax);
  else
    gmotec(akmax);
  if (dat.status >= 3001) return fail(dat.status, "GUIDATE: Bessel functions table out of bound", iopmod);
  if (dat.status >= 1001) return fail(1000, "GUIDATE: out of bound matrices", iopmod);
  if (!basis) {
    guide_modes_as_modes();
    dat.status = 0;
    return;
  }
  gcs(imt);
  if (dat.status > 999) return fail(999, "GUIDATE: internal error in C-matrix computation", iopmod);
  if (dat.status > 10) series_warning();
  gls();
  if (dat.status >= 1000) return fail(0, "internal error in L-matrix computation", iopmod);
  if (dat.status > 10) series_warning();
  grs(imt);
  if (dat.status >= 1000) return fail(1000, "GUIDATE: out of bound matrices", iopmod);
  prautote(dat.status, purge_reach(cofpurg * kmax));
  if (dat.status >= 1) return fail(0, " ILL-CONDITIONED MATRIX: revise the profile definition", iopmod);
  if (vet1.n >= 1) purge(imt, cofpurg * kmax);
  dat.status = 0;
}

void fss_guidatm(double kmax, double cofpurg, int iopmod) {
  const int imt = 2;
  dat.status = 0;
  vet1.cap = vet1.storage();
  vet1.n = 0;
  amo.n = amo.cap + 10;
  fbdef(1, imt, 0);
  if (dat.status != 0 || !matrices_fit()) {
    dat.status = 1000;
    return fail(1002, "GUIDATM: out of bound matrices", iopmod);
  }
  bool basis = fbo.nreg > 0;
  if (basis) {
    int st = 0;
    gvett(st);
    if (st != 0) return fail(1002, "GUIDATM: out of bound matrices", iopmod);
  }
  double alpha = 2 * (1 + cofacc / 10);
  // A negative limit asks for the TM spectrum of the rectangle.
  double akmax = -(basis ? kmax * alpha : kmax * cofpurg);
  if (dat.b > 0)
    gmor(akmax);
  else
    gmotmc(akmax);
  if (dat.status >= 3001) return fail(dat.status, "GUIDATM: Bessel functions table out of bound", iopmod);
  if (dat.status >= 1001) return fail(1002, "GUIDATM: out of bound matrices", iopmod);
  if (!basis) {
    guide_modes_as_modes();
    dat.status = 0;
    return;
  }
  gcs(imt);
  if (dat.status >= 1000) return fail(1001, "GUIDATE: internal error in C-matrix computation", iopmod);
  if (dat.status > 10 && iopmod <= 0) series_warning();
  if (amo.n == 0) {
    mata.shape(fbo.nfb, 0);
    dat.status = 0;
    return;
  }
  grs(imt);
  if (dat.status >= 1000) return fail(1002, "GUIDATM: out of bound matrices", iopmod);
  prautotm(dat.status, purge_reach(cofpurg * kmax));
  if (dat.status >= 1)
    return fail(1003, "GUIDATM: ILL-CONDITIONED MATRIX:    revise the profile definition", iopmod);
  if (vet1.n >= 1) purge(imt, cofpurg * kmax);
  dat.status = 0;
}
