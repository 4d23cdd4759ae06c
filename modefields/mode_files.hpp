// Writers of the mode files of one aperture: the contour sample points, the
// mode list and the weighted samples of every mode on the points, in metres
// and in the coordinates of the structure description.
#pragma once
#include <string>
#include <utility>
#include <vector>

// Places the sample points (nsps per sub-segment) and writes "<J>.crd".
void fss_samples_coord();
// Appends the modes of the last formulation run (class imt: 0 TEM, 1 TE,
// 2 TM) to "<J>.wgm" and, for an aperture equal to its enclosure, to
// "<J>.wg2".
void fss_write_wgm(int imt);
// Appends the samples of the TE (imt 1) or TM (imt 2) modes to "<J>.smp".
void fss_samples_pot(int imt);
// Appends the samples of the TEM modes (imt 0) to "<J>.smpTEM": a potential
// pass (phi x weight) and a derivative pass (dphi/dn x weight, n the outward
// normal of the aperture), each sample after a diagnostic record.
void fss_samples_pottem(int imt);
// Integrals of the transverse field of every mode along every port element,
// appended to "<J>.pin" (nothing when no port is declared).
void port_integrals(int imt);
// Mode quantity of mode |ind| at local abscissa csi of element ie from its
// basis-function expansion: the boundary value of Hz (TE) or -dEz/dn (TM).
void calc_j(int ind, int imt, int ie, double csi, double& value);
// The pieces (function, slot) of the basis functions on every element (by
// element row, in function order), and calc_j through them: the same sums
// without a search over all the functions at every point.
using element_functions = std::vector<std::vector<std::pair<int, int>>>;
element_functions functions_by_element();
void calc_j(int ind, int imt, int ie, double csi, double& value, const element_functions& on);

// Metres per contour length unit as the mode files use it: 0.1 rounded to
// single precision, raised to the unit code.
double mode_file_scale(int unit_code);
// Symmetry factor of the samples: plane_sample_factor() per symmetric axis
// of the class.
double sample_symmetry_factor();
// The samples' factor per symmetry plane: sqrt(2) in single precision.
double plane_sample_factor();
// Stem of the mode files: the ".pag" run file name up to ".pag".
std::string mode_file_stem();
