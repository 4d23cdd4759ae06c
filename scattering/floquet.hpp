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
