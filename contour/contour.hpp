// Aperture contour geometry: coding, navigation, enclosure fitting,
// segmentation and quadrature points.  All routines work on the records of
// records/contour.hpp; the routines that can fail return a status and leave
// a code and a message in `errors`.
#pragma once
#include <string>

#include "records/contour.hpp"

// ---- contour records ------------------------------------------------------
// Stores the capacities of the contour records and empties them.
void contour_capacities();

// ---- packed words of the contour table -------------------------------------
// Slot 8: predecessor and successor rows.  A negative link counts as its
// absolute value.
int lpred(int i);
int lsucc(int i);
void setpred(int i, int p);
void setsucc(int i, int s);
// Two 32-bit integers in one slot (slots 8, 12 of the header, slot 8).
void get2i(double slot, int& a, int& b);
double put2i(int a, int b);

// Label word of slot 9: line label, start and end node codes.
void labin(int iel, int lab, int i1, int i2);
void labout(int iel, int& lab, int& i1, int& i2);
int label(int iel);

// Header words.
int xye_unit_code();
void xye_set_rows(int n);   // rows in use, also in header slot 12

// Geometry of a coded element.
bool is_arc(int i);                     // radius above zero
double elen(int i);                     // slot 7 - slot 6
void eends(int i, double& x1, double& y1, double& x2, double& y2);
double geom_len(int i);                 // length from the geometry
// Rewrites element i as the straight chord between the given ends (radius
// 0); its arc-length slots are left to the caller.
void make_straight(int i, double x1, double y1, double x2, double y2);

// ---- navigation --------------------------------------------------------------
void xlaxy(double& s, int& iel, double& x, double& y, double& tx, double& ty);
void elcont(int& ip, int iel, int& is);
int elem_at(double s);                  // element holding arc-length s

// ---- coding ------------------------------------------------------------------
void circle3(double& x1, double& y1, double& x2, double& y2, double& x3,
             double& y3, int iflag);
void write_xye(const std::string& name, double a, double b, double height,
               const std::string& eh, int isx, int isy, double eps,
               double scale, double dcn, double fmax, double acflag,
               double csflag, int nel, const elm_row* el, int nport,
               const int* ports, int& ier);
void code_xye(const int* ports, int& ier);
void closlin(int is, int lab, int& ier);
void linarea(int lab, double& area, int& ier);
void chlab(int& lastlab);

// ---- geometry checks ------------------------------------------------------------
// Before the coding, on the rows as filled from the file: sides of no length,
// degenerate arcs and circles (code 4), more than two element ends at a
// point, elements that cross, touch or overlap (code 5).  After it: inner
// lines outside the outer line (6) or inside another inner line (7).  The
// rows at fault are left in `xye_fault`.
void xyshape(int& ier);
void xylines(int& ier);
// Whether the aperture of elements el[1 .. n] (file form) meets a copy of
// itself moved by a translation of the lattice of periods a, b (same unit)
// and skew angle alpha (rad): 0 no, 1 yes (the translation and the two
// element numbers returned), 2 its box holds too many translations to try.
int cell_overlap(const elm_row* el, int n, double a, double b, double alpha, double& tx,
                 double& ty, int& row1, int& row2);
// Whether two apertures of one cell (elements a[1 .. na] and b[1 .. nb],
// file form) meet when b is moved by a lattice translation (the null one
// included): 0 no; 1 their lines meet (the translation and an element of
// each returned); 3 one lies inside the other (an element of the one inside
// returned, 0 for the other); 2 their boxes hold too many translations.
int apertures_overlap(const elm_row* a, int na, const elm_row* b, int nb, double pa, double pb,
                      double alpha, double& tx, double& ty, int& row1, int& row2);
// Whether aperture b is aperture a moved by (dx, dy): every element of a,
// moved, is an element of b within a ten-thousandth of a's size (sides and
// arcs in either direction, in any order; circles from any start).
bool translated_copy(const elm_row* a, int na, const elm_row* b, int nb, double& dx, double& dy);

// ---- area moments ----------------------------------------------------------------
// Area, centroid and central second moments (integrals of (y - cy)^2,
// (x - cx)^2 and (x - cx)(y - cy)) of the region the coded contour encloses,
// in contour units.
void contour_moments(double& area, double& cx, double& cy, double& ixx, double& iyy,
                     double& ixy);
// An upper bound on the first cutoff wavenumber of the aperture (per contour
// unit, empty guide), from its area and second moments; 0 without area.
double first_cutoff_bound();
// The bound from the area alone: the first cutoff of the disc of that area
// (the largest, Szego-Weinberger), per unit of its length.
double disc_cutoff_bound(double area);

// ---- checks and enclosure ------------------------------------------------------
void xychange(int& id, double& dx, double& dy);
// Fits the enclosure to the contour (xychange), relabels the contour against
// the new wall and adds the shift of the origin to `translations`.
void fit_enclosure();
void dsurf(double& area, int& ist);
void surf();
void xycheck(int iopmod);

// ---- segmentation ------------------------------------------------------------------
// Quarter wavelength in the filling (header permittivity) at the frequency
// fmax (header frequency unit) times the element margin, in contour units:
// the longest boundary element the mode solver resolves at that frequency.
double quarter_wave(double fmax);
// The one length rule of the segmentation, which divides an element longer
// than the quarter wavelength lq, and of the check before the modes are
// computed, which refuses one: a thousandth of lq is allowed for rounding.
bool too_long(double len, double lq);
// Number of equal pieces an element of length len is divided into so that
// none is too long: the fewest of at most lq, the same allowance taken.
int length_pieces(double len, double lq);
void autoseg(int& ier);
void segcont(double lmax, double dcmax, double epsl, int& ier);
void approx(int n, int& ier);
void divi(int n, int& ier);
void segmel(int flag, int& ier);
void remc(int& ier);
void segspig(double epsl, int& ier);
// Divides in two every element off the wall that is alone between wall or
// symmetry elements, for the labels the contour has now (the last step of
// the segmentation, again after the enclosure was fitted to the segmented
// contour and the contour relabelled).  0, or 101 when the table is full.
void seglone(int& ier);
void update(int j, double dxl);
void movp(int flag, int& ier);
void remp(int flag, int& ier);
void insc(int flag, int& ier);
void desegm(int& ier);
void restore();
void enlarge_bc(int& ier);

// ---- quadrature and collocation points -------------------------------------------
extern const int gauss_legendre_mr;
extern const double gauss_legendre_xy[8][9];   // [rule row 1..7][node 1..8]
extern const double gauss_legendre_ww[8][9];
void samplecoord(int npts);
// The number of points samplecoord(npts) places on the contour in hand.
long samplecoord_count(int npts);
void gcoord(int iflag);
