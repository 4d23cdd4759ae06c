// The far Floquet modes at normal incidence: their share of the admittance
// sum S = X diag(Yf) X^H as a short series in k0^2, whose matrices are
// summed once per coupling table instead of at every frequency (at oblique
// incidence, summed as their couplings are computed at each frequency).  Their
// couplings are not kept: the Floquet table puts the near modes first, the
// coupling table holds their rows only, and the far rows are summed into
// the series block by block as they are computed.
#pragma once
#include <complex>
#include <functional>
#include <vector>

// Whether the share of the far modes is taken from the series at this sweep
// point: screens in air or in a stack, normal incidence (the couplings kept through the
// sweep), a Floquet set beyond one block (larger than a plain run holds: a
// plain run's sums stay those of the direct product) and a sweep of at
// least 16 frequencies (the series costs 2 far_terms products once).
bool far_floquet_applies(int nf);
// Orders the Floquet table of the sweep point (after its generation): when
// the series applies, the near modes first, in their order (the pairs of a
// harmonic side by side), the far ones after them; the incident-mode
// indices follow.
void far_floquet_order();
// The rows of the coupling table: the near modes' when the series applies,
// every mode's otherwise.
int far_floquet_rows();
// The Floquet modes whose couplings are computed (1 .. this): at normal
// incidence with the series, the far mode of -kt of every pair comes after
// them and needs none (the table holds kt and -kt alike); at oblique
// incidence in a plane of symmetry (far_mirror_splits), neither do the far
// modes' images under its mirror; at a sweep point whose far share is
// interpolated, the near modes alone; every mode otherwise.
int far_floquet_summed();
// The series of the coupling table being computed: begun (its matrices
// emptied), the far modes first .. first + count - 1 added from their rows
// (count x nw, row by row), ended (the matrices made whole).
void far_floquet_begin();
void far_floquet_add(int first, int count, const std::complex<double>* rows);
void far_floquet_end();
// S (nw x nw, column by column, leading dimension nw) at the sweep point:
// the near modes summed directly, the far ones from their series.
void far_floquet_sum(int nw, int nf, const std::complex<double>* x, std::complex<double>* sm);
// The same for a screen in a stack: S of face 1 in rows 1 .. nw and of face
// 2 in rows nw + 1 .. 2 nw (2 nw x nw, leading dimension 2 nw), the near
// modes through the stack's face admittances, the far ones from the series
// of the half-space of each face's first layer.
void far_floquet_stack_sum(int nw, int nf, const std::complex<double>* x, std::complex<double>* sm);
// The near modes that the last sum of far_floquet_sum or
// far_floquet_stack_sum took in pairs of opposite kt (in real arithmetic),
// and those it took alone.
int far_floquet_paired_modes();
int far_floquet_lone_modes();
// How many of those sums took the pairs within the mirror classes alone
// (the aperture modes of pure parity about one centre, the near set mapped
// onto itself by the mirrors: a quarter of the products at normal
// incidence).
long near_pair_class_sums();
// Several screens (and whether the series applies at this sweep point):
// the far modes are those far on every face and uncoupled across every gap;
// their matrices must be those of the coupling table in force.
bool far_floquet_screens(int nw, int nf);
// The aperture modes (from 0) of each class of the mirrors that keep the
// Floquet modes in `list`, four groups (bit 1 of a group odd under x -> -x,
// bit 2 under y -> -y), some empty; none when no mirror keeps the list or
// the modes are not of pure parity about one centre (and below
// class_split_modes aperture modes).  A mirror keeps the list when it keeps
// the incident transverse wavevector (in its plane to 1e-12 of k0) and maps
// the modes onto each other, kind kept, each image with the admittance y[m]
// of its mode (images to 1e-7 of kt, admittances to 1e-6: a lattice entered
// to a few digits is symmetric only to about 1e-8, and is taken as exactly
// symmetric, as the far set is).  A sum over the list of y x_a conj(x_b)
// then vanishes between modes of different classes.
std::vector<std::vector<int>> mirror_class_entries(const std::vector<int>& list,
                                                   const std::vector<std::complex<double>>& y);
// The near modes (1 .. nnear) and whether mode q is far.
const std::vector<int>& far_floquet_near();
bool far_floquet_far(int q);
// Adds the far modes' share for a face that sees the half-space eps to the
// n x n corner c (leading dimension ldc) of the modes first .. first + n - 1.
void far_floquet_face(std::complex<double>* c, int ldc, int first, int n, std::complex<double> eps);
// c += sign sum over the Floquet modes in `list` of w(m) x_m x_m^H (w >= 0),
// x_m the nw couplings of mode m at row(m): Hermitian products (zherk, half
// the work of a general product) over blocks of modes, into the upper
// triangle of c (nw x nw).  `kept` (ascending, from 0): the only entries of
// each x_m that may be nonzero; the products then run over those alone, and
// their triangle is added at their places.
void hermitian_add(int nw, const std::vector<int>& list,
                   const std::function<const std::complex<double>*(int)>& row,
                   const std::function<double(int)>& w, double sign, std::complex<double>* c,
                   const std::vector<int>* kept = nullptr);
// Modes even or odd under both mirrors about one centre (apertures solved
// on their quarter) have couplings exp(-i k.c) iota r, r real: their
// Hermitian sums, and the real parts of the pairs of opposite kt (the far
// series, the near pairs), are then taken as real symmetric products of one
// real vector per mode.  How many sums were.
long real_form_sums();
// At normal incidence the far series of modes of pure parity about one
// centre, on a lattice whose far set is closed under both mirrors, is
// summed within each mirror class alone (the sums between classes vanish).
// How many coupling tables were.
long far_class_splits();
// At oblique incidence in a plane of symmetry (the incident wavevector and
// the lattice kept by one mirror, the aperture modes of pure parity about
// one centre), the far modes' share is computed from the modes on one side
// of the mirror and summed within each of its classes alone.  How many
// nodes and sweep points were.
long far_mirror_splits();
// Oblique incidence, one screen in air, a Floquet set beyond one block (the
// couplings change with every frequency): the far modes' rows are not kept
// either; as they are computed their share of S goes into its Hermitian
// parts P = X diag(Re y) X^H and Q = X diag(Im y) X^H at this sweep point.
bool far_floquet_streams(int nf);
// Oblique incidence over a sweep of at least far_interpolation_points
// frequencies (one screen in air, not the waveguide simulator): the far
// share is a smooth function of k0 at a fixed direction, for a fixed set
// of harmonics far (kt >= far_factor k0) and in the table at every
// frequency of the band.  k0 Q(k0) (Q = X diag(Im y) X^H; Re y = 0 there)
// has no pole or branch point near the band: it is computed at 9
// Chebyshev nodes of the band (17 when the 5 of every other do not give the
// 4 between them to far_interpolation_tolerance of its largest entry and the
// 9 nodes' own error, estimated from the fall of the checks, is not within
// it either; 33 when the 9 do not give the 8 new ones and the 17 nodes'
// estimated error is not within it; the far share is summed at each
// point as before when the 17 do not give the 16 new ones either, or when
// the errors stop falling) and
// interpolated at every sweep point of the direction, whose couplings are
// then those of the near harmonics only.
extern int far_interpolation_points;
extern double far_interpolation_tolerance;
// The least fall of the error from level to level for a finer level to be
// built.  A share with a jump does not converge: the couplings of computed
// (not analytic) aperture modes would jump by their contour remainder where
// a pair's kt crosses the band of the divided differences (|kc/kt - 1| =
// 0.02) were the form chosen point by point (see far_floquet_band_kt).
extern double far_interpolation_rate;
bool far_floquet_interpolates(int nf);
// The next node k0 whose far share is wanted (0: none, the interpolant of
// the direction ready or given up); the Floquet table generated at that
// k0, its far modes' rows computed block by block and added.
double far_floquet_next_node();
// The interpolant of this direction given up (a node's table would not fit
// its capacity): the far share summed at each point.
void far_floquet_give_up();
// The nodes computed for the interpolant of this direction, and the nodes
// of the level being built (9, 17 or 33).
int far_floquet_nodes_built();
int far_floquet_nodes_planned();
// The nodes of the interpolant in force (9, 17 or 33; 0 while there is none
// or after it was given up for this direction).
int far_floquet_interpolation_nodes();
// The least and the largest kt over the band of Floquet mode m of the table
// in force (a node's or a sweep point's) when it is in the far set of a
// direction with a band: one screen in air at oblique incidence, at least
// far_interpolation_points frequencies, a Floquet table beyond one block at
// some frequency of the sweep; whether the share is then interpolated or
// summed at each point (false otherwise).
// Its couplings are then classified for the whole band: a pair close to
// kc = kt anywhere in it takes the divided-difference form throughout, so
// that the couplings of computed modes, whose two forms differ by a contour
// remainder, stay smooth in k0, and the share is the same (but for the
// interpolation's error) whether interpolated or summed.
bool far_floquet_band_kt(int m, double& lo, double& hi);
void far_floquet_node_begin();
void far_floquet_node_add(int first, int count, const std::complex<double>* rows);
void far_floquet_node_end();
// P and Q (upper triangles, nw x nw) started at the far share, checked
// against the coupling table in force, and the count of the modes left to
// add (the near ones, 1 .. count; every mode, and P = Q = 0, when the far
// ones are not summed apart).
int far_floquet_parts(int nw, int nf, std::complex<double>* p, std::complex<double>* q);
// P and Q (upper triangles) += the share of the Floquet modes in `modes`,
// x_m at row(m), each by the sign of each part of its admittance in air (p
// null: Q alone, for modes whose admittances are imaginary).  A TE (or TEM)
// Floquet wave couples with the TE aperture modes alone (a TM or TEM guide
// mode's field is the gradient of a potential, zero on the contour or
// constant on each conductor, and the wave's flux through a closed line
// vanishes),
// so the products of those waves run over the TE modes' entries only: for
// the far share of an oblique direction, half its modes, the products a
// quarter of the work.
void admittance_parts_add(int nw, const std::vector<int>& modes,
                          const std::function<const std::complex<double>*(int)>& row,
                          std::complex<double>* p, std::complex<double>* q);
// The same, class by class, where mirrors keep the modes summed over (the
// aperture modes of pure parity about one centre, each mode's image in
// `modes` with its admittance: mirrors_keeping): only the blocks within
// the classes of those mirrors, the others vanishing (half the products
// for two equal classes, a quarter for four); the whole sums otherwise.  True when
// summed by classes.
bool admittance_parts_add_by_classes(int nw, const std::vector<int>& modes,
                                     const std::function<const std::complex<double>*(int)>& row,
                                     std::complex<double>* p, std::complex<double>* q);
// How many sums were taken by classes.
long admittance_class_sums();
// The far modes' matrices given back (they belong to one coupling table)
// and the order of the Floquet table forgotten.
void far_floquet_reset();
