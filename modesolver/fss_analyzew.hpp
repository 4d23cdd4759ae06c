// Driver of one mode computation for the aperture coded in the contour
// records.
#pragma once
#include <string>

// filename: stem of the run files; iopmod: 0 runs without questions (a
// contour with symmetry planes in its even-even class, or in every class
// with every_class); ierr: 0 when the run files could be prepared.  On
// failure the errors record holds a code and a message.
void fss_analyzew(std::string& filename, int iopmod, int& ierr, bool every_class = false);
// The dense work matrices of the mode computation given back once its modes
// are on file (their capacities kept): a large aperture's kernels and
// eigenproblem need not stay while the couplings and the sweep take their
// own storage.
void release_solver_matrices();
