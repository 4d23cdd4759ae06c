// Reference values of converged physics for a rectangular hole centred in a
// rectangular lattice: the mode-matching model with the exact modes of the
// hole and closed-form overlap integrals, at any truncation limits (storage
// sized at run time), independent of the program's mode solver, contour
// quadrature, tables and system code.
//
// The mirror symmetries of the hole and the lattice split the problem: at
// normal incidence each incident wave excites one parity class of aperture
// modes (a quarter of them) and the Floquet harmonics (p, q), (-p, q),
// (p, -q), (-p, -q) enter the free-space admittance of a class with equal
// weight, so that only p, q >= 0 are summed.  The two faces of the screen
// decouple into the even and odd combinations of the face amplitudes.
#pragma once
#include <complex>
#include <string>
#include <vector>

struct truth_structure {
  double a = 0, b = 0;          // lattice periods (m), rectangular lattice
  double t = 0;                 // metal thickness (m)
  double w = 0, h = 0;          // hole sides along x and y (m), centred on the origin
  double theta = 0, phi = 0;    // incidence (rad); phi 0 or pi/2 keeps a mirror plane
};

// Co-polarised coefficients of one frequency in the conventions of the
// result file: "y" the TM wave (TEM-y at normal incidence), "x" the TE wave
// (TEM-x); R at the illuminated face, T referred back to it.
struct truth_point {
  double f = 0;  // Hz
  std::complex<double> ty, tx, ry, rx;
  int nwg = 0, nflo = 0;  // aperture modes and Floquet modes within the limits
};

// The coefficients at the given frequencies (Hz) with the aperture modes of
// cutoff wavenumber up to kwg and the Floquet modes up to kflo (rad/m).
std::vector<truth_point> rect_truth(const truth_structure& s, const std::vector<double>& freqs,
                                    double kwg, double kflo);

// The same without the parity classes and the folding of the harmonics
// (every mode, every harmonic, the full system of both faces): the check
// of the reduced computation, for small limits.
std::vector<truth_point> rect_truth_full(const truth_structure& s,
                                         const std::vector<double>& freqs, double kwg,
                                         double kflo);

// Converged values from a ladder of limits along the ray kflo = 3 kwg: a
// least-squares fit S = S_inf + C kwg^(-4/3) over the rungs, and an
// uncertainty from fits with the exponents 1.2 and 1.5 and over the upper
// half of the rungs.
struct truth_value {
  double f = 0;
  std::complex<double> s[4];  // Ty, Tx, Ry, Rx
  double uncertainty[4] = {};
};
std::vector<truth_value> rect_truth_extrapolated(const truth_structure& s,
                                                 const std::vector<double>& freqs,
                                                 const std::vector<double>& kwg_rungs);

// A row of a stored file of converged values (tests/data/truth).
struct stored_value {
  double f_ghz = 0;
  int q = 0;  // 0 Ty, 1 Tx, 2 Ry, 3 Rx
  std::complex<double> s, first;
  double uncertainty = 0;
};
std::vector<stored_value> read_stored_truth(const std::string& path);
