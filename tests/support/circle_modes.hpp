// Exact waveguide modes of a circular aperture (Bessel modes) and their
// coupling integrals with the Floquet modes of the cell in closed form: an
// independent reference for the mode solver, the contour samples and the
// contour sums of the coupling integrals.
#pragma once
#include <complex>
#include <vector>

struct circle_aperture {
  double xc = 0, yc = 0;  // centre (m)
  double r = 0;           // radius (m)
};

// psi = N Jnu(kc rho) g(nu phi), g = cos (var 0) or sin (var 1), 1 for nu = 0;
// kc r a zero of J'nu (TE, kind 2) or of Jnu (TM, kind 1); unit norm over the
// disc.
struct bessel_mode {
  int kind;  // 1 TM, 2 TE
  int nu, var, root;
  double kc;  // 1/m
  double norm;
};

// TE modes and then TM modes with kc <= kmax, each in ascending kc.
std::vector<bessel_mode> bessel_modes(double r, double kmax);

// The mode quantity that the contour samples carry at a point (x, y) of the
// circle: the potential psi for a TE mode, the tangential component of
// (dpsi/dy, -dpsi/dx), that is -dpsi/dn, for a TM mode.
double bessel_boundary_value(const circle_aperture& c, const bessel_mode& m, double x, double y);

// Coupling integral of the mode with a Floquet mode of kind 1 (TM), 2 (TE),
// 3 or 4 (the two TEM waves of normal incidence, limits of the TE and TM
// waves of the plane of azimuth phi), transverse wavevector (kx, ky) of
// length kt and normalisation nc = 1/sqrt(cell area), with the overlap
// conventions of the scattering analysis.  The TE-TE and TM-TM
// integrals come from the area integral of psi with the plane wave (Jacobi-
// Anger and Lommel's integral), the others from line integrals on the circle
// in closed form.
std::complex<double> bessel_coupling(const circle_aperture& c, const bessel_mode& m,
                                     int flo_kind, double kt, double kx, double ky, double nc,
                                     double phi = 0);
