#include "scattering/real_couplings.hpp"

#include <algorithm>
#include <cmath>

#include "records/scattering.hpp"
#include "scattering/integrals.hpp"

using cplx = std::complex<double>;

bool real_form::find() { return couplings_about_one_centre(cx, cy); }

cplx real_form::centre_phase(int m) const {
  const flo_kappa& k = fss_modeflo_kappa[m];
  return std::polar(1.0, k.kx * cx + k.ky * cy);
}

int quarter_turn(cplx v) {
  if (std::fabs(v.real()) >= std::fabs(v.imag())) return v.real() >= 0 ? 0 : 2;
  return v.imag() >= 0 ? 1 : 3;
}

cplx turn_factor(int turn) {
  const cplx p[4] = {1, cplx(0, 1), -1, cplx(0, -1)};
  return p[turn & 3];
}

const int* all_entries(int n) {
  static std::vector<int> entries;
  while (static_cast<int>(entries.size()) < n) entries.push_back(static_cast<int>(entries.size()));
  return entries.data();
}

void entry_turns(const real_form& form, const std::vector<int>& list, const std::function<const cplx*(int)>& row,
                 int n, const int* entry, std::vector<int>& turn) {
  static std::vector<double> size;
  turn.assign(n, 0);
  size.assign(n, 0);
  for (int m : list) {
    const cplx* xm = row(m);
    const cplx e = form.centre_phase(m);
    for (int t = 0; t < n; ++t) {
      const cplx v = xm[entry[t]] * e;
      const double a = std::norm(v);
      if (a > size[t]) {
        size[t] = a;
        turn[t] = quarter_turn(v);
      }
    }
  }
}

bool turned_row(const cplx* xm, cplx e, int n, const int* entry, const int* turn, double f, double* r) {
  double big = 0, off = 0;
  // v conj(i^turn): turn 0 (re, im), 1 (im, -re), 2 (-re, -im), 3 (-im, re).
  for (int t = 0; t < n; ++t) {
    const cplx v = xm[entry[t]] * e;
    const int q = turn[t];
    const double along = q & 1 ? v.imag() : v.real(), across = q & 1 ? v.real() : v.imag();
    big = std::max(big, std::fabs(along));
    off = std::max(off, std::fabs(across));
    r[t] = (q < 2 ? along : -along) * f;
  }
  // The quadrature of a whole outline leaves the parts that the symmetry
  // cancels at rounding level of the overlap's terms (a quarter's unfolding
  // cancels them exactly), which a small row's largest does not measure:
  // couplings are overlaps of normalised fields, at most about 1.
  return off <= 1e-9 * big || off <= 1e-13;
}

bool coupling_turns(int nw, int rows, const cplx* x, std::vector<int>& turn) {
  turn.clear();
  real_form form;
  if (nw <= 0 || !form.find()) return false;
  std::vector<int> list(rows);
  for (int m = 1; m <= rows; ++m) list[m - 1] = m;
  entry_turns(form, list, [&](int m) { return x + static_cast<long>(m - 1) * nw; }, nw, all_entries(nw), turn);
  return true;
}
