// A sweep point whose solution is set by hand so that every coefficient is
// known: the format tests of the result files write it.
#pragma once

// Base name "res", cell 12.5 x 7.3 mm skewed to atan(2), zero thickness, no
// options.
void known_geometry();
// Normal incidence at f_ghz (sweep 10.5 to 11 GHz in steps of 0.5): one
// aperture mode coupled with unit strength to both TEM waves; the TEM-x wave
// reflects 0.5 and transmits 0.5 at 90 degrees, the TEM-y wave reflects -0.5
// and transmits nothing.
void known_solution(double f_ghz);
