// Coupling integrals of the aperture waveguide modes with the Floquet modes,
// as weighted sums over the contour samples.
#pragma once
#include <complex>

double dsinc(double x);
// flag 0: F1, F2 of Floquet mode m at every contour point;
// flag 1: the divided-difference sample G for the current delta_kappa.
void calc_sample_flo(int m, int flag);
// sigma(m, j) for every waveguide mode j into fss_vettsigma.
void calc_vettsigma(int m);
// sigma(m, j) in the divided-difference form whatever kc/kt, as a pair of a
// direction's far set that comes near kc = kt anywhere in its band takes it
// over the whole band (Floquet mode m of the table in force, TE with TE or
// TM with TM).
std::complex<double> close_coupling_over_band(int m, int j);
// All coupling integrals into fss_integrals.
void calc_integrals();
// How many times the coupling table has been computed (what is derived from
// it is kept while this stays).
long integrals_generation();
// Outlines solved whole whose modes are of pure parity under both mirrors
// have their couplings summed over the orbits of their points under the
// mirrors, an eighth of the products (as a quarter's points and their
// images are): the point sets so found and the blocks of couplings so
// computed.
struct outline_orbit_counts {
  long found = 0, products = 0;
};
outline_orbit_counts whole_outline_orbit_counts();
// Whether they are (tests compare with the whole products).
extern bool whole_outline_orbit_products;
// The coupling table and the work tables of its products given back (after
// a convergence pass: the next pass computes its own).
void release_integrals();
// Whether every aperture mode belongs to an aperture solved on its quarter
// (its points the quarter's and their three images), all about one centre
// (cx, cy): the modes are then even or odd under both mirrors about it.
bool couplings_about_one_centre(double& cx, double& cy);
