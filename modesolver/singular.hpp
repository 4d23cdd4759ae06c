// Closed-form integrals of the free-space parts of the kernels over one
// straight source element carrying the density p t^2 + q t + r, t from -1/2
// at the start point (x1, y1) to +1/2 at the end point (x2, y2), at the field
// point (x, y).  Local coordinates of the field point in element lengths:
// xi along the element from its midpoint, eta to its left.
//
//  ezsl   integral of f(t) (-(1/2 pi) ln(R/a)) ds                     (scalar)
//  hasls  integral of f(t) dG0/dn0 ds, n0 the left normal, G0 the free-space
//         logarithm: the double layer; on the element it takes the limit
//         f(xi)/2 from the left side, on its line outside it 0.
//  htsls  integral of f(t) (dG0/dy, -dG0/dx) ds (field gradient turned by
//         -90 degrees); on the element the along-component takes -f(xi)/2.
//  etsls  integral of f(t) S t_src ds, S = (-ln(R/a) I + D D/R^2)/(4 pi),
//         D = r - r0, t_src the unit direction of the element.
// A point counts as lying on the element's line when |eta| l <= eps.
//
// The forms with symx, symy add the mirror images of the element: the x
// selector mirrors y -> -y, the y selector x -> -x; an image changes sign for
// each mirror whose selector is -1.  The image element keeps the density
// f(t) along its mirrored end points.
#pragma once

// One element, no images.
double ezsl1(double x, double y, double x1, double y1, double x2, double y2,
             double p, double q, double r, double a);
double hasls1(double x, double y, double x1, double y1, double x2, double y2,
              double p, double q, double r, double eps);
void htsls1(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double eps, double& hx, double& hy);
void etsls1(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double a, double& ex, double& ey);

// One element with its images.
double ezsl(double x, double y, double x1, double y1, double x2, double y2,
            double p, double q, double r, double a, int symx, int symy);
double hasls(double x, double y, double x1, double y1, double x2, double y2,
             double p, double q, double r, double eps, int symx, int symy);
void htsls(double x, double y, double x1, double y1, double x2, double y2,
           double p, double q, double r, double eps, int symx, int symy,
           double& hx, double& hy);
void etsls(double x, double y, double x1, double y1, double x2, double y2,
           double p, double q, double r, double a, int symx, int symy,
           double& ex, double& ey);

// Forms on the contour records: source element = row ie of blok2 (its start
// and end points), enclosure width a and symmetry selectors from dat, the
// on-element tolerance eps from the blok2 header.
double ezsl(double x, double y, int ie, double p, double q, double r);
double hasls(double x, double y, int ie, double p, double q, double r);
void htsls(double x, double y, int ie, double p, double q, double r, double& hx, double& hy);
void etsls(double x, double y, int ie, double p, double q, double r, double& ex, double& ey);
