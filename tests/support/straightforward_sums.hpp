// The coupling integrals and the system of a sweep point summed term by
// term: calc_vettsigma for every Floquet mode, and S(j, q) = sum over the
// Floquet modes of conj(sigma_q) Yf sigma_j pair by pair.  The independent
// reference of the matrix-product forms (tests and benchmarks).
#pragma once

#include <complex>

#include "records/scattering.hpp"
#include "scattering/integrals.hpp"

inline void straightforward_integrals() {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  fss_integrals.n = nf * nw;
  fss_integrals.hold(fss_integrals.n);
  for (int m = 1; m <= nf; ++m) {
    calc_vettsigma(m);
    for (int j = 1; j <= nw; ++j) fss_integrals[(m - 1) * nw + j] = fss_vettsigma[j];
  }
}

inline void straightforward_mata() {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n, n = 2 * nw;
  fss_mata.n = n;
  auto at = [&](int r, int c) -> cplx& { return fss_mata[(c - 1) * n + r]; };
  for (int k = 1; k <= n * n; ++k) fss_mata[k] = 0;
  for (int i = 1; i <= nw; ++i) {
    at(i, i) = at(nw + i, nw + i) = fss_modewg_y[i].y2;
    at(nw + i, i) = at(i, nw + i) = -fss_modewg_y[i].y3;
  }
  for (int m = 1; m <= nf; ++m)
    for (int q = 1; q <= nw; ++q) {
      const cplx cq = std::conj(fss_integrals[(m - 1) * nw + q]) * fss_modeflo_y[m].y1;
      for (int j = 1; j <= nw; ++j) {
        const cplx t = cq * fss_integrals[(m - 1) * nw + j];
        at(j, q) += t;
        at(nw + j, nw + q) += t;
      }
    }
}
