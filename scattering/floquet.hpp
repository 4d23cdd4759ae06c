// Floquet modes of the periodic cell and propagation of the aperture modes
// through the screen.
#pragma once
#include <complex>

std::complex<double> ztanh(std::complex<double> z);
std::complex<double> inv_zsinh(std::complex<double> z);
// Propagation constant along the screen normal of a mode of transverse
// wavenumber kt: i sqrt(k0^2 - kt^2) above cutoff, sqrt(kt^2 - k0^2) below.
std::complex<double> fss_gamma(double k0, double kt);
// Aperture-mode admittances through the screen at the current frequency.
void update_modes_wg();
// Floquet set, admittances and incident-mode indices of the sweep point.
void genmodes_flo();
// The harmonics of the Floquet table at the limit kmax.  A plain run's
// table takes the rectangle of indices |m| <= a kmax / (2 pi), |n| <= b
// kmax / (2 pi) cut to the disc kt <= kmax.  On a skewed lattice, or at
// oblique incidence, that rectangle leaves out harmonics below the limit
// near its corners (on a triangular lattice every one from 0.87 kmax on
// that lacks its mirror image), and the set is then not symmetric under
// the mirrors that lattice and incidence keep.  A table grown beyond a
// plain run's (convergence passes) holds the whole disc: each harmonic's
// image under those mirrors is in it, and its truncation is the limit's
// alone.  Lattices with a right angle at normal incidence get the same
// table either way.
bool floquet_whole_disc();
// The orders m of the table at kmax and the incidence in force: |m| <=
// a kmax / (2 pi) for the rectangle; for the whole disc every m with
// |kx| <= kmax, one more on each side (kt <= kmax decides).
void floquet_m_range(double kmax, long long& lo, long long& hi);
