// The two truncation limits against the tables: how many modes a limit asks
// for, how many the program holds and which limit would fit, for the
// messages "Too many waveguide modes" and "Too many Floquet modes"; and the
// estimate of the aperture mode count from the aperture's area and
// perimeter (Weyl's law), which stops an impossible run before the mode
// computation.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "records/contour.hpp"

// Aperture modes below the wavenumber k (1/m) of an aperture of area A (m^2)
// and boundary length P (m) with `inner` inner conductors, by Weyl's law:
// TE (Neumann) A k^2 / (4 pi) + P k / (4 pi), TM (Dirichlet) A k^2 / (4 pi)
// - P k / (4 pi), one TEM mode per inner conductor.
double weyl_mode_count(double area, double perimeter, double k, int inner);
// The estimate counts as clearly above the table when it exceeds it by 5 %
// and 5 modes: the mode solver's counts lay within 4.2 % and 5 modes of the
// estimate for circles, squares, slots, crosses, L-shapes, coaxial and
// square rings from 60 to 320 modes (within 1.5 % and 4 modes near 250).
bool clearly_too_many(double estimate, int capacity);

// Before the mode computation: the apertures of elements el[1 .. n] (file
// form, mm; every aperture of every screen, copies included, since each adds
// its modes to the one catalogue) at the limit of block 7 in force; a fatal
// report from `routine` when the estimate clearly exceeds the table.  The
// free-space limit is used: a filling only raises the count, so the early
// stop stays on the safe side.
// Estimated aperture modes below the block 7 limit of the apertures
// together (0 when an outline does not close).
double aperture_mode_estimate(const std::vector<std::pair<const elm_row*, int>>& apertures);
void check_aperture_mode_estimate(const std::vector<std::pair<const elm_row*, int>>& apertures,
                                  const char* routine);
// Whether the apertures last checked (check_aperture_mode_estimate) would
// clearly outnumber a table of `capacity` modes at the limit kwg: the test
// that stops a run there, foreseen.
bool aperture_modes_clearly_beyond(double kwg, int capacity);

// After the mode computation: the cutoffs (1/m) of the TE and TM modes found
// and the number of TEM modes, more than the table holds; a fatal report
// from `routine` with the count and the limit that fits.
[[noreturn]] void too_many_waveguide_modes(std::vector<double> kc, int tem, const char* routine);

// The Floquet modes genmodes_flo generates at the limit kmax and the
// incidence in force (two per harmonic).
long long floquet_mode_count(double kmax);
// At the sweep point in force, when the Floquet set outgrows its table: the
// count the limit of block 8 asks for here and the limit that fits here.
[[noreturn]] void too_many_floquet_modes();

// A limit in GHz for the messages: four significant digits, rounded down
// (so that the value said to fit does fit).
std::string ghz_below(double ghz);
