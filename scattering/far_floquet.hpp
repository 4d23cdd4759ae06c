// The far Floquet modes at normal incidence: their share of the admittance
// sum S = X diag(Yf) X^H as a short series in k0^2, whose matrices are
// summed once per coupling table instead of at every frequency.
#pragma once
#include <complex>

// Whether the share of the far modes is taken from the series at this sweep
// point: one screen in air, normal incidence (the couplings kept through the
// sweep), a Floquet set beyond one block (larger than a plain run holds: a
// plain run's sums stay those of the direct product) and a sweep of at
// least 16 frequencies (the series costs 2 far_terms products once).
bool far_floquet_applies(int nf);
// S (nw x nw, column by column, leading dimension nw) at the sweep point:
// the near modes summed directly, the far ones from their series.
void far_floquet_sum(int nw, int nf, const std::complex<double>* x, std::complex<double>* sm);
// The far modes' matrices given back (they belong to one coupling table).
void far_floquet_reset();
