// Records of the result files beyond the ".out" table: the scattering of the
// sweep point between the specular waves of both polarisations, and the
// points kept for the plot.
#pragma once
#include <complex>
#include <string>
#include <vector>

// Scattering of the sweep point between the specular (m = n = 0) Floquet
// waves, power-normalised: a wave q scattered from the incident wave p has
// amplitude ratio times sqrt(Yq / Yp), so that |S|^2 is a power ratio.
// Polarisation index 1 is TE (TEM-x at normal incidence: E along
// (-sin phi, cos phi), along y at phi = 0), 2 is TM (TEM-y: E along
// (cos phi, sin phi)).  Entry [q][p] is wave q scattered from incident wave p.
// With dielectric layers the reference planes are the outer surfaces of the
// stacks instead of the faces of the screen.
struct fss_polar_rec {
  std::complex<double> r[3][3];  // reflection at the illuminated face
  std::complex<double> t[3][3];  // transmission at the far face
  // Waves lit from the far side, solved only when the stacks differ
  // (far = 1): rb reflection at the far side, tb transmission to the
  // illuminated side.
  std::complex<double> rb[3][3], tb[3][3];
  int far = 0;
  double depth = 0;              // face to face or outer surface to outer surface (m)
  double kz = 0;                 // normal wavenumber of the specular waves (rad/m)
  double p00[3] = {};            // power of incident wave p in the specular waves
  double ptot[3] = {};           // ... in every propagating Floquet order
                                 // (1 - ptot is absorbed in the stack)
  int orders = 0;                // propagating Floquet harmonics (m, n)
};
extern fss_polar_rec fss_polar;

// Power of each incident wave in each propagating Floquet order (m, n) of
// the sweep point, with calc_polarisations: entry k (from 0, in the order
// of the Floquet set) holds the harmonic and, for incident wave p (1 TE,
// 2 TM as in fss_polar), the power fraction reflected (r) and transmitted
// (t), both waves of the order together; summed over k they give ptot.
// Sized at run time from the propagating orders.
struct order_power {
  int m = 0, n = 0;
  double r[3] = {}, t[3] = {};
};
struct fss_order_power_rec {
  int n = 0;  // propagating orders
  std::vector<order_power> v;
};
extern fss_order_power_rec fss_order_power;

// Points of the plot: |T| and |R| (dB) of both polarisations against the
// frequency, a panel per direction of the sweep; or, for a sweep over theta
// at fixed frequencies, against theta, a panel per (phi, frequency).  At
// most max_plot_panels panels, chosen evenly over the sweep.
constexpr int max_plot_panels = 6;
constexpr int max_plot_points = 2001;  // per panel; longer sweeps are thinned
struct plot_point {
  double x;  // the abscissa: frequency (GHz), or theta (degrees)
  double t_te, r_te, t_tm, r_tm;
  int orders;  // propagating Floquet harmonics
};
struct plot_panel {
  int number = 0;             // its number among the panels of the sweep (from 1)
  double theta = 0, phi = 0;  // degrees (theta of a panel against frequency)
  double f = 0;               // GHz, of a panel against theta
  int normal = 0;             // normal incidence: TEM waves in the plane of phi
  int n = 0;
  plot_point p[max_plot_points + 1];
};
struct fss_plot_rec {
  int cap = 0;            // panels held (max_plot_panels)
  int n = 0;              // panels begun
  int total = 0;          // panels of the whole sweep
  int chosen[max_plot_panels + 1] = {};  // the numbers of the panels drawn
  int nchosen = 0;
  int against_theta = 0;  // abscissa theta: more thetas than frequencies
  int stride = 1;         // every stride-th point of a panel is kept
  int points = 0;         // points of the sweep per panel
  int freqs = 0;          // frequencies per direction
  int seen = 0;           // points of the panel in progress seen (against frequency)
  int direction = 0;      // the (phi, theta) direction in progress, from 1
  int phi_pass = 0;       // the phi pass in progress, from 1
  int thetas_seen = 0;    // thetas of the phi pass seen (against theta)
  int first_open = 1;     // first panel not yet written complete
  plot_panel panel[max_plot_panels + 1];
};
extern fss_plot_rec fss_plot;
