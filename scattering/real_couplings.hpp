// Couplings of modes even or odd under both mirrors about one centre c (the
// modes of apertures solved on their quarter): with the Floquet wave of
// wavevector k,
//   x(t) = exp(-i k.c) iota_t r(t),  r real, iota_t = i^turn_t,
// the transform of a field of definite parities about c being real or
// imaginary about c.  Products x_a conj(x_b) = iota_a conj(iota_b) r_a r_b
// then lose the wave's phase, and sums of them become real products.
#pragma once
#include <complex>
#include <functional>
#include <vector>

// The modes' centre (couplings_about_one_centre) and the phase taken off
// each Floquet mode's couplings, exp(+i k.c).
struct real_form {
  double cx = 0, cy = 0;
  bool find();  // false unless every aperture mode is of such an aperture
  std::complex<double> centre_phase(int m) const;
};
// The quarter turn (0 .. 3) nearest to that of v, and i^turn.
int quarter_turn(std::complex<double> v);
std::complex<double> turn_factor(int turn);
// The entries 0 .. n - 1, in order (held until a longer list is asked for).
const int* all_entries(int n);
// The turns of entries entry[0 .. n-1] of the rows row(m), m in `list`: those
// of each entry's largest coupling with the centre's phase taken off.
void entry_turns(const real_form& form, const std::vector<int>& list,
                 const std::function<const std::complex<double>*(int)>& row, int n, const int* entry,
                 std::vector<int>& turn);
// r[t] = f times the real number of entry[t] of xm (Floquet mode m) turned by
// conj(i^turn[t]) with the centre's phase e taken off; false when any is
// not real to 1e-9 of the row's largest or to 1e-13 (rounding of the
// overlaps of a whole outline).
bool turned_row(const std::complex<double>* xm, std::complex<double> e, int n, const int* entry,
                const int* turn, double f, double* r);
// The modes' turns read off the coupling table (rows x nw, Floquet modes
// 1 .. rows of the table in force): false, and no turns, unless every
// aperture mode is of such an aperture.  With D = diag(i^turn), D^H S D is
// complex symmetric at any incidence.
bool coupling_turns(int nw, int rows, const std::complex<double>* x, std::vector<int>& turn);
