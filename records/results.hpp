// Records of the result files beyond the ".out" table: the scattering of the
// sweep point between the specular waves of both polarisations, and the
// points kept for the plot.
#pragma once
#include <complex>
#include <string>

// Scattering of the sweep point between the specular (m = n = 0) Floquet
// waves, power-normalised: a wave q scattered from the incident wave p has
// amplitude ratio times sqrt(Yq / Yp), so that |S|^2 is a power ratio.
// Polarisation index 1 is TE (TEM-x at normal incidence: E along y), 2 is TM
// (TEM-y: E along x).  Entry [q][p] is wave q scattered from incident wave p.
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

// Points of the plot: |T| and |R| (dB) of both polarisations against the
// frequency, for the first directions of the sweep.
constexpr int max_plot_panels = 6;
constexpr int max_plot_points = 2001;  // per panel; longer sweeps are thinned
struct plot_point {
  double f_ghz, t_te, r_te, t_tm, r_tm;
  int orders;  // propagating Floquet harmonics
};
struct plot_panel {
  double theta = 0, phi = 0;  // degrees
  int normal = 0;             // normal incidence: TEM waves, E along x or y
  int n = 0;
  plot_point p[max_plot_points + 1];
};
struct fss_plot_rec {
  int cap = 0;         // panels held (max_plot_panels)
  int n = 0;           // panels begun
  int directions = 0;  // directions of the whole sweep
  int stride = 1;      // every stride-th frequency is kept
  int freqs = 0;       // frequencies per direction
  int seen = 0;        // frequencies of the current direction seen so far
  plot_panel panel[max_plot_panels + 1];
};
extern fss_plot_rec fss_plot;
