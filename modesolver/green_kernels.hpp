// Point kernels of the static Green's functions of the enclosing guide.
//
// Rectangle (suffix r): points in Cartesian coordinates measured from a
// corner of the a x b enclosure.  Circle (suffix c): polar coordinates
// (rho, phi) about the centre of the enclosure of radius a.
//
//  greenr/greenc  G, Dirichlet Green's function, -lap G = delta, G = 0 on the
//                 wall (the potential of TM and TEM modes);
//  htr/htc        (dG/dy, -dG/dx) taken at the field point (TM magnetic type);
//  hir/hic        (dN/dy0, -dN/dx0) taken at the source point, N the Neumann
//                 function, -lap0 N = delta - 1/area (TE magnetic type);
//  eir/eic        (z x grad)(z x grad0) B, B = sum over the TE modes of
//                 psi(r) psi(r0) / kc^4: the static dyadic of the solenoidal
//                 transverse field (electric type), first index at the field
//                 point, second at the source point.
// The circular vector kernels give polar components: htc in the frame of the
// field point, hic in the frame of the source point, eic with the field
// frame on the left and the source frame on the right.
//
// itr < 0 asks for the regular part only: the kernel minus the same operator
// applied to the free-space logarithm -(1/2 pi) ln(R/a) (for the dyadic, minus
// (-ln(R/a) I + D D / R^2)/(4 pi), D = r - r0).  The regular part is smooth
// and never fails.  With the singular part included, coincident points fail
// with the codes of the table in green_kernels_msg.  The rectangular kernels
// return the number of series terms in status (htr returns 0); the circular
// ones return 0.
#pragma once

// Number of terms of the rectangular product series: 0 = automatic
// (round((X+ + 17.504)/kappa)); a positive value forces that many terms
// (convergence checks).
struct green_series_rec { int mforce = 0; };
extern green_series_rec green_series;

double greenr(double x, double y, double x0, double y0, double a, double b,
              int itr, int& status);
void hir(double x, double y, double x0, double y0, double a, double b,
         double& hx, double& hy, int itr, int& status);
void htr(double x, double y, double x0, double y0, double a, double b,
         double& hx, double& hy, int itr, int& status);
void eir(double x, double y, double x0, double y0, double a, double b,
         double& exx, double& exy, double& eyx, double& eyy, int itr,
         int& status);

double greenc(double rho, double phi, double rho0, double phi0, double a,
              int itr, int& status);
void hic(double rho, double phi, double rho0, double phi0, double a,
         double& hr, double& hp, int itr, int& status);
void htc(double rho, double phi, double rho0, double phi0, double a,
         double& hr, double& hp, int itr, int& status);
void eic(double rho, double phi, double rho0, double phi0, double a,
         double& err, double& erp, double& epr, double& epp, int itr,
         int& status);

// Leaves code and message in the errors record and in status.
void green_error(int code, const char* message, int& status);
