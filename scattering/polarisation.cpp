#include "scattering/polarisation.hpp"

#include <cmath>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "scattering/floquet.hpp"

fss_polar_rec fss_polar;

namespace {

// Amplitudes of Floquet mode q on both faces in the answer x (one column of
// the solution): the projections of the aperture field on the mode.
void face_amplitudes(const cplx* x, int q, cplx& front, cplx& far) {
  const int nw = fss_modewg_index.n;
  front = far = 0;
  for (int j = 1; j <= nw; ++j) {
    const cplx cs = std::conj(fss_integrals[(q - 1) * nw + j]);
    front += x[j] * cs;
    far += x[nw + j] * cs;
  }
}

}  // namespace

void calc_polarisations() {
  const int nw = fss_modewg_index.n;
  const fss_inc_mode_rec& inc = fss_inc_mode;
  // Specular Floquet mode of each polarisation and the solution column that
  // answers it: column 1 the TM or TEM-x wave, column 2 the TE or TEM-y.
  const bool normal = inc.indextemx > 0;
  const int mode[3] = {0, normal ? inc.indextemx : inc.indexte,
                       normal ? inc.indextemy : inc.indextm};
  const int column[3] = {0, normal ? 0 : 1, normal ? 1 : 0};
  const cplx* x = fss_vettb.data1() - 1;  // X(1 .. 4 nw)
  const double k0 = fss_em_var.k0;
  // As in the result file: k0 for the TEM waves of normal incidence.
  const double kt = fss_modeflo_kappa[mode[1]].kt;
  fss_polar.kz = normal ? k0 : std::sqrt(k0 * k0 - kt * kt);
  fss_polar.orders = 0;
  for (int q = 1; q <= fss_modeflo_index.n; q += 2)
    if (std::real(fss_gamma(k0, fss_modeflo_kappa[q].kt)) == 0) ++fss_polar.orders;

  for (int p = 1; p <= 2; ++p) {
    const cplx* xp = x + column[p] * 2 * nw;
    const double yp = std::real(fss_modeflo_y[mode[p]].y1);
    double p00 = 0, ptot = 0;
    for (int q = 1; q <= fss_modeflo_index.n; ++q) {
      // Evanescent orders carry no power.
      if (std::real(fss_gamma(k0, fss_modeflo_kappa[q].kt)) != 0) continue;
      cplx b, c;
      face_amplitudes(xp, q, b, c);
      if (q == mode[p]) b -= 1.0;  // the incident wave has unit amplitude
      const double ratio = std::real(fss_modeflo_y[q].y1) / yp;
      const double power = (std::norm(b) + std::norm(c)) * ratio;
      ptot += power;
      for (int s = 1; s <= 2; ++s)
        if (q == mode[s]) {
          fss_polar.r[s][p] = b * std::sqrt(ratio);
          fss_polar.t[s][p] = c * std::sqrt(ratio);
          p00 += power;
        }
    }
    fss_polar.p00[p] = p00;
    fss_polar.ptot[p] = ptot;
  }
}
