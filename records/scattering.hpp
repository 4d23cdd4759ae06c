// Records of the modal scattering analysis: the Floquet set of the sweep
// point, the catalogue of aperture waveguide modes with their contour
// samples, the coupling integrals and the mode-matching system.
#pragma once
#include <complex>

#include "records/table.hpp"

using cplx = std::complex<double>;

// Capacities, sized from the two basic limits: 250 waveguide modes, 4000
// Floquet modes (and 1000 contour points).  Once the mode counts have passed
// their checks, the derived tables cannot overflow.
constexpr int max_wg_modes = 250;
constexpr int max_flo_modes = 4000;
constexpr int max_points = 1000;
constexpr int max_integrals = max_flo_modes * max_wg_modes;         // Floquet x waveguide
constexpr int max_mata = (2 * max_wg_modes) * (2 * max_wg_modes);  // system of order 2 x modes
constexpr int max_vettb = 4 * max_wg_modes;                         // two right-hand sides
constexpr int max_samples = max_wg_modes * max_points;              // one per mode and point
constexpr int max_apertures = 10;

// Floquet mode kinds and waveguide mode kinds.
enum { flo_tm = 1, flo_te = 2, flo_temx = 3, flo_temy = 4 };
enum { wg_tem = 0, wg_tm = 1, wg_te = 2 };

struct flo_index { int m = 0, n = 0, type = 0, zero = 0; };
struct flo_kappa { double kt = 0, kx = 0, ky = 0; };
// Wave admittance Y1, Y2 = Y1 coth(gamma l), Y3 = Y1 / sinh(gamma l).
struct admittance { cplx y1, y2, y3; };
struct xy { double x = 0, y = 0; };
struct floquet_sample { cplx f1, f2; };

struct fss_inc_mode_rec {
  int indextm = -1, indexte = -1, indextemx = -1, indextemy = -1;
};

// Point range (first, last) of each aperture in the coordinate tables.
struct fss_ap_rec {
  int cap = 0;
  int n = 0;  // number of the aperture being read
  struct range { int first = 0, last = 0; } r[max_apertures + 1];
};

extern fss_table<flo_index, max_flo_modes> fss_modeflo_index;
extern fss_table<flo_kappa, max_flo_modes> fss_modeflo_kappa;
extern fss_table<admittance, max_flo_modes> fss_modeflo_y;
extern fss_inc_mode_rec fss_inc_mode;

extern fss_table<int, max_wg_modes> fss_modewg_index;     // kind 0, 1, 2
extern fss_table<double, max_wg_modes> fss_modewg_kappa;  // cutoff kc (1/m)
extern fss_table<int, max_wg_modes> fss_modewg_ap;
extern fss_table<int, max_wg_modes> fss_modewg_sc;
extern fss_table<admittance, max_wg_modes> fss_modewg_y;
extern fss_table<xy, max_points> fss_coordinates;  // m
extern fss_table<xy, max_points> fss_normals;      // unit outward normals
extern fss_table<double, max_samples> fss_samplewg;
extern fss_ap_rec fss_ap;

extern fss_table<floquet_sample, max_points> fss_samplef;
extern fss_table<cplx, max_points> fss_samplefm;
extern fss_table<cplx, max_wg_modes> fss_vettsigma;
extern fss_table<cplx, max_integrals> fss_integrals;
extern double delta_kappa;

// What the dielectric stacks make of each Floquet mode at the sweep point
// (filled only when the structure has layers).  Index 1 is the illuminated
// side, 2 the far side.  yface: the admittance the mode sees looking away
// from face k through its stack into the outer air; isc: the current that a
// unit wave incident on the outer surface of stack k drives into a short at
// face k; rsc: the reflection at that outer surface with face k shorted.
// isc and rsc are filled for the modes that propagate in air.
struct flo_stack {
  cplx yface[3], isc[3], rsc[3];
};
// Sweep-point state of the stacks: layers present, guided-wave poles met
// (a Floquet order exactly on a guided wave of a lossless stack).
struct fss_stack_point_rec {
  int layers = 0;
  int poles = 0;
};

extern fss_table<flo_stack, max_flo_modes> fss_modeflo_stack;
extern fss_stack_point_rec fss_stack_point;

// Far-side incidence (the Touchstone columns of the waves lit from the far
// side when the stacks differ): two right-hand sides solved with the
// factors of the system.
extern fss_table<cplx, max_vettb> fss_vettb_far;

extern fss_table<cplx, max_mata> fss_mata;
extern fss_table<cplx, max_vettb> fss_vettb;
extern fss_table<int, max_vettb> fss_vett_i;
