// Boundary-integral formulations of the aperture modes: the unknowns are the
// amplitudes of the enclosing guide's modes and the coefficients of the
// boundary basis functions; the matrices C, L, R of the formulation feed the
// eigenproblem.
#pragma once
#include <string>

// Capacity words of the solver's matrices (sized at run time), from those
// of the basis functions (fbo.cap) and the enclosing-guide modes (amo.cap).
void solver_matrix_capacities();

// TE modes of one symmetry class: modes (cutoff wavenumbers, contour units)
// in vet1, eigenvectors in mata, dat.status 0 on success; on failure the
// errors record holds code and message.
void fss_guidate(double kmax, double cofpurg, int iopmod);
// TM modes of one symmetry class, results as for TE.
void fss_guidatm(double kmax, double cofpurg, int iopmod);
// TEM modes (one per inner conductor): characteristic impedances (ohm) in
// vet1, basis-function coefficients in mata; failures are fatal.
void fss_guidatem(int iopmod);

// C: scalar static kernel between the basis functions, their derivatives
// along the contour for TE (imt 1), the functions themselves otherwise.
void gcs(int imt);
// L: electric-type dyadic kernel between the basis functions (TE).
void gls();
// R: basis functions against the enclosing-guide modes (TE: tangential
// electric field, TM: axial function), each column scaled by N_m / kc_m^2.
void grs(int imt);
// The integer written right-aligned in n characters, then shifted left over
// its blanks; all "*" when it does not fit.
void alfvali(std::string& text, int n, int value);
// Symmetry factor of the matrices: 2 for each symmetric axis of the class.
double cofsm();
