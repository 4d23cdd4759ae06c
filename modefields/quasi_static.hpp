// Field of the boundary sources of one contour element.
//
// Element i (row of blok2) carries the density A xi^2 + B xi + C, xi from
// -1/2 at its start to +1/2 at its end.  Each routine returns the field of
// that density at the contour point (x, y): the free-space (logarithmic) part
// integrated in closed form, so that (x, y) may lie on the element, plus the
// regular remainder of the enclosing guide's Green's function integrated with
// three points per element.  The mirror images of the element in the
// symmetry planes of the class in force (selectors of dat) are included.
//
//  hzqst  double layer: integral of f dN/dn0 ds, n0 the left normal of the
//         element, N the Neumann function of the enclosure (TE axial field);
//         on the element it takes the limit from the left, f/2 + PV.
//  ezqst  single layer: integral of f G ds, G the Dirichlet function (TM and
//         TEM axial field).
//  htqst  (dU/dy, -dU/dx) of the single layer U = integral of f G ds.
//  etqst  integral of f E t ds, E the static dyadic of the solenoidal
//         transverse field, t the unit direction of the element.
#pragma once

void hzqst(double x, double y, int i, double a, double b, double c, double& h);
void ezqst(double x, double y, int i, double a, double b, double c, double& e);
void htqst(double x, double y, int i, double a, double b, double c, double& hx,
           double& hy);
void etqst(double x, double y, int i, double a, double b, double c, double& ex,
           double& ey);
