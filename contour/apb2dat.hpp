// Reading of an aperture boundary file and its coding into the contour
// records (coded, fitted into its enclosure and segmented).
#pragma once
#include <string>

#include "records/contour.hpp"

// name: job name of the aperture; the file name + ".apb" is read and, on
// return, name holds that file name.  fmax: largest frequency (Hz).  eps_r:
// relative permittivity filling the aperture (the contour header's; the
// solver seeks the modes up to the wavenumber of fmax in the filling).
// On a read error errors.code is nonzero and errors.message says why; port
// conditions and coding failures end the run with a fatal report.
void apb2dat(std::string& name, double fmax, double eps_r = 1.0);

// Length of a boundary line: a longer one (blanks at its end aside) is
// refused, not cut.
constexpr int apb_line_length = 80;

// Reads one boundary line: six numbers (an arc through a third point, a
// full circle when its ends coincide), four numbers and a word (a port when
// the word begins with "p" or "P") or four numbers (a side); a word may
// follow as a comment.  Returns "" and the element, or why the line is no
// element: a value that is not a number (or is 10 m or more), five values,
// more than six, fewer than four, a blank line, a line that is too long.
std::string apb_parse_line(const std::string& line, elm_row& e, bool& port);
std::string apb_line_fault(const std::string& line);

// Context lines (one per element, "" when none) of the rows of the boundary
// file that the last failure is about (`xye_fault`): the line of the
// structure file they came from when `apb_origin` names it, else the row of
// the boundary file, with the element's end points or the reason of refusal.
std::string apb_fault_context();
