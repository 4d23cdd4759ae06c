// Reading of an aperture boundary file and its coding into the contour
// records (coded, fitted into its enclosure and segmented).
#pragma once
#include <string>

// name: job name of the aperture; the file name + ".apb" is read and, on
// return, name holds that file name.  fmax: largest frequency (Hz).
// On a read error errors.code is nonzero and errors.message says why; port
// conditions and coding failures end the run with a fatal report.
void apb2dat(std::string& name, double fmax);

// True when the line, read as the boundary reader reads it (its first 80
// characters), is a port element: four numbers and a word beginning with
// "p" or "P".
bool apb_port_line(const std::string& line);
