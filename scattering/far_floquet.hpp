// The far Floquet modes at normal incidence: their share of the admittance
// sum S = X diag(Yf) X^H as a short series in k0^2, whose matrices are
// summed once per coupling table instead of at every frequency.
#pragma once
#include <complex>
#include <vector>

// Whether the share of the far modes is taken from the series at this sweep
// point: screens in air or in a stack, normal incidence (the couplings kept through the
// sweep), a Floquet set beyond one block (larger than a plain run holds: a
// plain run's sums stay those of the direct product) and a sweep of at
// least 16 frequencies (the series costs 2 far_terms products once).
bool far_floquet_applies(int nf);
// S (nw x nw, column by column, leading dimension nw) at the sweep point:
// the near modes summed directly, the far ones from their series.
void far_floquet_sum(int nw, int nf, const std::complex<double>* x, std::complex<double>* sm);
// The same for a screen in a stack: S of face 1 in rows 1 .. nw and of face
// 2 in rows nw + 1 .. 2 nw (2 nw x nw, leading dimension 2 nw), the near
// modes through the stack's face admittances, the far ones from the series
// of the half-space of each face's first layer.
void far_floquet_stack_sum(int nw, int nf, const std::complex<double>* x, std::complex<double>* sm);
// Several screens (and whether the series applies at this sweep point):
// the far modes are those far on every face and uncoupled across every gap;
// their matrices are made ready for the couplings x (nw x nf).
bool far_floquet_screens(int nw, int nf, const std::complex<double>* x);
// The near modes (from 1, ascending) and whether mode q is far.
const std::vector<int>& far_floquet_near();
bool far_floquet_far(int q);
// Adds the far modes' share for a face that sees the half-space eps to the
// n x n corner c (leading dimension ldc) of the modes first .. first + n - 1.
void far_floquet_face(std::complex<double>* c, int ldc, int first, int n, std::complex<double> eps);
// The far modes' matrices given back (they belong to one coupling table).
void far_floquet_reset();
