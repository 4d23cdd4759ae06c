// Reading of an aperture boundary file and its coding into the contour
// records (coded, fitted into its enclosure and segmented).
#pragma once
#include <string>

// name: job name of the aperture; the file name + ".apb" is read and, on
// return, name holds that file name.  fmax: largest frequency (Hz).
// On a read error errors.code is nonzero and errors.message says why; port
// conditions and coding failures end the run with a fatal report.
void apb2dat(std::string& name, double fmax);
