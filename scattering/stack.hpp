// Dielectric stacks on either side of the screen and fillings of its
// apertures: each Floquet mode is a transmission line through the layers of
// each side, each aperture mode a line through the filled screen.
#pragma once
#include <complex>

#include "records/run.hpp"

// Screens of the stack record.
int stack_screens();
// Screen k of the stack (from the illuminated side), or nullptr when the
// stack record holds none (a screen in air, unfilled).
const stack_item* stack_screen(int k = 1);
// Outer layers: side 1 in front of the first screen (illuminated), side 2
// behind the last; layer 1 touches the screen's face.
int stack_layer_count(int side);
// The complex permittivity eps_r' (1 - j tan_delta) of a layer.
std::complex<double> layer_eps(const stack_item& l);
const stack_item& stack_layer(int side, int k);
// Layers of gap g, between screens g and g + 1; layer 1 touches screen g.
int stack_gap_count(int g);
const stack_item& stack_gap_layer(int g, int k);
bool stack_has_layers();
// The apertures of screen k hold a filling other than air.
bool stack_filled(int k = 1);
// The layers of the far side are those of the illuminated side in mirror
// order (one screen: the structure is its own mirror image about the
// screen's mid-plane).
bool stack_mirror_symmetric();
// Metal thickness of screen k (m).
double screen_thickness(int k);
// Thickness of the whole structure, outer surface to outer surface (m).
double stack_depth();

// Propagation constant sqrt(kt^2 - eps k0^2) of a mode of transverse
// wavenumber kt in a medium of complex permittivity eps (1 - j tand), on the
// branch with Re >= 0 (and +j beta for a lossless propagating mode).  A mode
// exactly at cutoff of a lossless medium is taken a hair above it, as in air.
std::complex<double> layer_gamma(double k0, double kt, double eps, double tand);
// Wave admittance of a mode kind (Floquet kinds: 1 TM, 2 TE, 3 and 4 TEM;
// the TEM waves take the TM form) in that medium.
std::complex<double> layer_admittance(int flo_type, std::complex<double> gamma, double k0,
                                      double eta0, double eps, double tand);

// One side's layers for a mode: per layer (1 touching the face) its wave
// admittance and exp(-gamma d); y0 is the mode's admittance in the outer air.
struct line_section {
  std::complex<double> y, e1;
};
// Admittance seen from the face looking away through the layers into the
// outer air.  `pole` is set when the face sees a short (a lossless stack on
// a guided wave): the admittance is then bounded at 1e13 times the layer's.
std::complex<double> face_admittance(const line_section* s, int n, std::complex<double> y0,
                                     bool& pole);
// Unit wave incident from the outer air on the layers, face shorted: the
// current into the short (isc) and the reflection at the outer surface (rsc).
void short_circuit(const line_section* s, int n, std::complex<double> y0,
                   std::complex<double>& isc, std::complex<double>& rsc);

// Per sweep point, after the Floquet set: face admittances, short-circuit
// currents and reflections of every Floquet mode (fss_modeflo_stack), and
// its two-port through each gap between screens (fss_gap).
void calc_stack_modes();
void calc_gap_lines();
