// Records of the modal scattering analysis: the Floquet set of the sweep
// point, the catalogue of aperture waveguide modes with their contour
// samples, the coupling integrals and the mode-matching system.
#pragma once
#include <complex>
#include <vector>

#include "records/run.hpp"
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
constexpr int max_apertures = max_screens * max_screen_apertures;  // all screens

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

// Apertures of the catalogue, numbered through all screens: the point range
// (first, last) of each in the coordinate tables, its screen, and, for a
// translated copy of an earlier aperture whose modes it takes, that
// aperture and the translation (m).  kc_bound: an upper bound on its first
// cutoff wavenumber (1/m, empty guide).  quarter: for modes computed on the
// aperture's quarter, the count of the quarter's points (the points are
// those and their images, in three more blocks).  The table is sized from the count
// (entries from 1); the capacity is that of all screens together.
struct fss_ap_rec {
  int cap = 0;
  int n = 0;  // number of the aperture being read
  struct range {
    int first = 0, last = 0;
    int screen = 1;
    int copy = 0;
    double dx = 0, dy = 0;
    double kc_bound = 0;
    int quarter = 0;  // points of a quarter, followed by their images under x, y and both mirrors
    // Every mode of pure parity under both mirrors about `centre` (m), found
    // where the modes are turned to pure parities; set for whole outlines.
    bool pure_parity = false;
    xy centre;
  };
  std::vector<range> r = std::vector<range>(2);
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

// Each Floquet mode through the layers between screens g and g + 1 (per
// sweep point, with several screens): a two-port whose currents entering
// the gap at the far face of screen g (a) and at the near face of screen
// g + 1 (b) are I_a = y11 V_a - y12 V_b, I_b = -y12 V_a + y22 V_b.  Near a
// resonance of the gap (tanh of its electrical length below 1/8 in size for
// a mode that travels in a layer: a lossless gap about a whole number of
// half waves deep; below 1e-3 for an evanescent one: a very thin gap) the
// admittances grow without bound; the mode is then carried in the bounded
// form z u = V_a - r V_b, I_a = u, I_b = -r u + yo V_b, with z = 1 / y11,
// r = y12 / y11 and yo the admittance at b with a open (`bounded` = 1).
struct gap_line {
  cplx y11, y22, y12;
  cplx z, r, yo;
  int bounded = 0;
};
// Entry (g - 1) nf + m, from 1; sized from the counts at run time.
struct fss_gap_rec {
  long cap = 0;  // capacity: screens x Floquet modes
  int gaps = 0, nf = 0;
  std::vector<gap_line> v;
  gap_line& at(int g, int m) { return v[static_cast<std::size_t>(g - 1) * nf + m]; }
};
extern fss_gap_rec fss_gap;

// Far-side incidence (the Touchstone columns of the waves lit from the far
// side when the stacks differ): two right-hand sides solved with the
// factors of the system.
extern fss_table<cplx, max_vettb> fss_vettb_far;

// The system of several screens: block tridiagonal over the faces and
// eliminated block by block.  Block 0 holds the near face of screen 1,
// block g (1 .. K - 1) the far face of screen g (lo), the near face of
// screen g + 1 (hi) and the gap modes carried in bounded form (nu), block K
// the far face of screen K; neighbouring blocks are joined through the
// aperture modes of a screen (-Ys, diagonal).  Per block: where its matrix
// (its LU factors once solved) lies in the store, where (F^-1)[hi, hi]
// lies (rows lo .. of an m x hi table; the whole hi columns of F^-1 in a
// block with bounded gap modes), and its pivots.  A block that falls into
// uncoupled classes holds the factors of each class's own block, one after
// the other from a: class c's unknowns (from 0, ascending) are
// order[start[c] .. start[c + 1] - 1]; start is empty for a block factorised
// whole.  Sized from the counts at run time.
struct screen_block {
  int lo = 0, hi = 0, nu = 0;
  long a = 0, z = 0, piv = 0;
  std::vector<int> order, start;
  int size() const { return lo + hi + nu; }
};
struct fss_blocks_rec {
  long cap = 0;  // capacity of the store (complex entries)
  int nb = 0;    // blocks: screens + 1
  std::vector<screen_block> b;
  std::vector<cplx> store;
  std::vector<int> ipiv;
  std::vector<int> u_mode;  // Floquet mode of each bounded unknown, block by block
};
extern fss_blocks_rec fss_blocks;

extern fss_table<cplx, max_mata> fss_mata;
extern fss_table<cplx, max_vettb> fss_vettb;
extern fss_table<int, max_vettb> fss_vett_i;
