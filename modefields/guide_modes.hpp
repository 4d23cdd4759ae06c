// Modes of the enclosing guide: axial functions (Hz of TE, Ez of TM) and
// transverse functions (dpsi/dy, -dpsi/dx)/kc, each normalised to unit power
// over the enclosure.
//
// The enclosure is read from `dat`: the rectangle 0 <= x <= a, 0 <= y <= b
// (b > 0) or the disc of radius a.  Rectangle modes are given by their
// indices (m, n), kx = m pi/a, ky = n pi/b.  Circle modes are given by the
// signed order n (n < 0: cos(|n| phi) variant, n > 0: sin(n phi) variant,
// 0: no angular factor) and the cutoff kc; transverse circle functions are
// returned as (radial, azimuthal) components.
//
// Last argument iflag: > 0 the bare function, < 0 only the normalisation
// constant N (first component N, second 0), = 0 the normalised function.
#pragma once
#include "records/modesolver.hpp"

double cater(double x, double y, int m, int n, int iflag);
double catmr(double x, double y, int m, int n, int iflag);
void cmter(double x, double y, int m, int n, double& cx, double& cy, int iflag);
void cmtmr(double x, double y, int m, int n, double& cx, double& cy, int iflag);

double catec(double r, double phi, int n, double kc, int iflag);
double catmc(double r, double phi, int n, double kc, int iflag);
void cmtec(double r, double phi, int n, double kc, double& cr, double& cphi,
           int iflag);
void cmtmc(double r, double phi, int n, double kc, double& cr, double& cphi,
           int iflag);

// A contour point (x, y) in the frame of these functions: for the rectangle
// the corner-based coordinates (shifted by a/2, b/2 when the class has the
// y, x symmetry), for the circle (r, phi) with the direction cosines of phi
// ((1, 0) and phi = 0 at the centre).
struct guide_point {
  double u, v;    // x, y  or  r, phi
  double cf, sf;  // cos phi, sin phi (rectangle: 1, 0)
};
guide_point guide_frame(double x, double y);

// Normalisation constant of enclosing-guide mode m: imt 1 TE axial, 2 TM
// axial, -1 TE transverse, -2 TM transverse.
double guide_mode_norm(const amo_entry& m, int imt);
// The bare axial function (TE when te) and the bare transverse function in
// Cartesian components of mode m at a point of the guide frame.
double guide_axial(bool te, const amo_entry& m, const guide_point& p);
void guide_transverse(bool te, const amo_entry& m, const guide_point& p, double& fx,
                      double& fy);
