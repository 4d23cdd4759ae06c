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
