// Mode-matching system of the screen (or of several screens in a stack):
// assembly and LU solution.
#pragma once
#include <complex>

// From this many aperture modes a screen in air is solved as the two
// mirror halves of its system (even and odd aperture fields, each of order
// nw) instead of the whole (order 2 nw).
extern int mirror_halves_order;
void calc_mata();
void calc_vettb();
void solve_prob();
// From this many aperture modes on, a system found complex symmetric at
// exactly normal incidence is factorised as L D L^T instead of LU (half the
// work).
extern int symmetric_solve_modes;
// The uncoupled classes that the last system solved fell into (of its even
// half when solved as mirror halves; for several screens the fewest of a
// block of their elimination; 1 when not split).
int system_class_count();
// Solution for the waves incident on the far side (after solve_prob).
void solve_far_side();
// The storage of the products of an analysis given back, their capacities
// kept: the couplings, the admittance sums and the system, with their work
// tables (between convergence passes, so that a pass's mode computation
// does not hold the last pass's sweep).
void release_sweep_storage();

// ---- several screens (screens.cpp) ------------------------------------------
// The modes of screen k in the catalogue: first .. first + n - 1.
struct screen_modes {
  int first = 1, n = 0;
};
screen_modes modes_of_screen(int k);
// Where the outer faces stand in a solution column (entries from 1): the
// near face of screen 1 in entries 1 .. n1 (modes 1 .. n1), the far face of
// the last screen in entries off + 1 .. off + nk (modes m0 .. m0 + nk - 1).
struct outer_faces {
  int n1, off, nk, m0;
};
outer_faces solution_faces();
// What the outer stack of side 1 (illuminated) or 2 (far) makes of Floquet
// mode q, or the air's values without layers: the face admittance, the
// short-circuit current of a unit incident wave and the reflection.
std::complex<double> outer_face_y(int q, int side);
std::complex<double> outer_isc(int q, int side);
std::complex<double> outer_rsc(int q, int side);
// Assembly of the blocks, their elimination (LU factors kept) and the
// solution of nrhs columns of leading dimension ldx in place.
void calc_mata_screens();
// The admittance products of several screens taken in real arithmetic (the
// modes of apertures solved on their quarter, all about one centre), so far.
long screens_real_products();
// How many of those products ran class by class (the mirrors keeping the
// Floquet modes summed over).
long screens_class_products();
void factor_screens();
void solve_screens(std::complex<double>* x, int ldx, int nrhs);
void release_screens();
// (F^-1)[hi, hi] of a block F (m = lo + hi, the hi unknowns last) factorised
// by zgetrf (f, ipiv): into rows lo .. m - 1 of z (m x hi, leading dimension
// m; the rows above are work).
void inverse_hi_corner(int m, int lo, int hi, const std::complex<double>* f, const int* ipiv,
                       std::complex<double>* z);
