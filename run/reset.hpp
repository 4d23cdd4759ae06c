// One process, many runs: every record and every remembered state of the
// library back to what it is when the program starts.
#pragma once

// Resets the run-control records (structure, options, output folder, the
// sweep point, the run-file names, the result and scratch files named, the
// progress bar, the interruption state, the fatal trap and the solver
// listing), the scattering records (catalogue, Floquet set, integrals,
// system, results, plot), the contour and mode-solver records with their
// first-call flags, kernel-cache flags and run-time matrices, and the
// remembered Bessel values.  Called before every analysis of a process
// that runs several (the Python module); a single run of the program starts
// in this state anyway.  The signal handlers, when installed, stay.
void fss_reset();
