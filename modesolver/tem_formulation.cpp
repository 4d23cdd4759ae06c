// TEM modes of an aperture with inner conductors.
//
// The potential phi of a TEM mode is harmonic in the aperture, 0 on the
// outer line (the screen) and constant on every inner conductor.  It is the
// single layer of a density sigma on the contour lines that carry basis
// functions (the enclosing guide's Dirichlet function G makes it vanish on
// the enclosure wall).  One mode per inner conductor: phi = 1 on it and 0 on
// the others, in the weak form C sigma = G T, T the unit function of the
// conductor's chain and G the Gram matrix of the functions, solved with the
// regularised inverse of C.  The charge Q = integral of sigma over the
// conductor gives the characteristic impedance Z = eta / Q; the mode is then
// scaled to unit energy, integral of |grad phi|^2 = 1.  Several conductors
// give the normal modes of the line (the eigenvectors of their capacitance
// matrix), orthogonal in energy as aperture modes must be.
#include <cmath>
#include <vector>

#include "contour/contour.hpp"
#include "modefields/mode_field.hpp"
#include "modesolver/basis_functions.hpp"
#include "modesolver/eigenproblem.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/lapack.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "run/messages.hpp"

namespace {

constexpr double pi = 3.141592653589793;

// Row of the chain-end function of each TEM mode (its conductor's label).
std::vector<int> conductor_rows;

double relative_permittivity() { return blok2[1][9]; }

}  // namespace

void prautotem(int& status) {
  const int nfb = fbo.nfb;
  regolar(0, static_cast<double>(0.001f), status);
  if (status != 0) return;
  std::vector<double> col(nfb + 1);
  mata.shape(nfb, vet1.n);  // no enclosing-guide modes
  for (int j = 1; j <= vet1.n; ++j) {
    br(static_cast<int>(vet1[j]), col.data());
    for (int i = 1; i <= nfb; ++i) {
      double s = 0;
      for (int k = 1; k <= nfb; ++k) s += matd(i, k) * col[k];
      mata(i, j) = s;
    }
  }
}

namespace {

// Charge on conductor k (label labs[k]) of the density of mode j as it
// stands, the integral of sigma over the conductor's elements.
std::vector<double> conductor_charges(const std::vector<int>& labs) {
  const int n = static_cast<int>(labs.size());
  std::vector<double> q(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j) {
    gmfield(j + 1, 0);
    for (int i = 2; i <= blok2.n; ++i)
      for (int k = 0; k < n; ++k)
        if (label(i) == labs[k]) q[k + static_cast<std::size_t>(j) * n] += elen(i) * (table[i].a / 12 + table[i].c);
  }
  return q;
}

// Several conductors: the unit potentials of the conductors are not
// orthogonal in energy (integral of grad phi_j . grad phi_k, the mutual
// capacitance, is the charge on k of mode j), and the aperture modes must be.
// The modes become the eigenvectors of the symmetric capacitance matrix
// (the potentials of the line's normal modes, orthogonal in energy), each
// with its eigenvalue as its charge.
std::vector<double> normal_mode_charges(std::vector<double> q, int n) {
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < j; ++k) q[k + j * n] = q[j + k * n] = (q[k + j * n] + q[j + k * n]) / 2;
  std::vector<double> w(n), work(static_cast<std::size_t>(3 * n));
  int lwork = 3 * n, info = 0;
  dsyev_("V", "U", &n, q.data(), &n, w.data(), work.data(), &lwork, &info);
  if (info != 0) error_handler("Fatal", "GUIDATEM", "capacitance matrix of the inner conductors not solved");
  const int rows = mata.nrow;
  std::vector<double> old(static_cast<std::size_t>(rows) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 1; i <= rows; ++i) old[i - 1 + static_cast<std::size_t>(j) * rows] = mata(i, j + 1);
  for (int m = 0; m < n; ++m)
    for (int i = 1; i <= rows; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) s += old[i - 1 + static_cast<std::size_t>(j) * rows] * q[j + m * n];
      mata(i, m + 1) = s;
    }
  return w;
}

}  // namespace

void chimp() {
  const double er = relative_permittivity();
  const double sym = std::pow(2.0, dat.symx + dat.symy);
  const int n = vet1.n;
  std::vector<int> labs(n);
  for (int j = 0; j < n; ++j) labs[j] = label(conductor_rows[j]);
  std::vector<double> q = conductor_charges(labs), charge(n);
  if (n == 1)
    charge[0] = q[0];
  else
    charge = normal_mode_charges(q, n);
  for (int j = 1; j <= n; ++j) vet1[j] = (120 * pi / std::sqrt(er)) / charge[j - 1] / sym;
  for (int j = 1; j <= n; ++j) {
    double scale = std::sqrt((vet1[j] / 120) / pi * std::sqrt(er));
    for (int i = 1; i <= mata.nrow; ++i) mata(i, j) *= scale;
  }
}

void fss_guidatem(int iopmod) {
  const char* routine = "GUIDATEM";
  dat.status = 0;
  vet1.cap = vet1.storage();
  vet1.n = 0;
  amo.n = 0;
  fbdef(0, 0, 0);
  long size = 9L * fbo.nfb * fbo.nfb * (dat.symx ? 2 : 1) * (dat.symy ? 2 : 1);
  if (dat.status != 0 || size > 9L * fbo.cap * fbo.cap)
    error_handler("Fatal", routine, "insufficient dimensioning of array FBO");
  int st = 0;
  gvett(st);
  if (st != 0) error_handler("Fatal", routine, "insufficient dimensioning of array LTRA");
  // One mode per flagged chain on an inner line: the (nfb - flagged + c)-th
  // column of the change of basis is that chain's unit function.
  conductor_rows.clear();
  int c = 0;
  for (int f = 1; f <= fbo.nreg; ++f) {
    if (ivet[f] <= 998) continue;
    ++c;
    if (label(fbo[f].i) > 100) {
      vet1[++vet1.n] = fbo.nfb - ltra.n + c;
      conductor_rows.push_back(fbo[f].i);
    }
  }
  if (vet1.n == 0) {
    mata.shape(fbo.nfb, 0);
    return;
  }
  gcs(0);
  if (dat.status >= 1000) error_handler("Fatal", routine, "internal error in C-matrix computation");
  if (dat.status > 10) error_handler("Warning", routine, "not fatal error  after GCS");
  dat.status = 0;
  prautotem(st);
  if (st > 0) error_handler("Fatal", routine, " ILL-CONDITIONED MATRIX: revise the profile definition");
  chimp();
  (void)iopmod;
}
