#include "scattering/polarisation.hpp"

#include <cmath>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "scattering/floquet.hpp"
#include "scattering/stack.hpp"
#include "scattering/system.hpp"

fss_polar_rec fss_polar;
fss_order_power_rec fss_order_power;

namespace {

// Amplitudes of Floquet mode q on both faces in the answer x (one column of
// the solution): the projections of the aperture field on the mode.
void face_amplitudes(const cplx* x, int q, cplx& front, cplx& far) {
  const int nw = fss_modewg_index.n;
  const outer_faces face = solution_faces();
  const cplx* sq = fss_integrals.data1() + static_cast<long>(q - 1) * nw - 1;  // sigma(q, j)
  front = far = 0;
  for (int j = 1; j <= face.n1; ++j) front += x[j] * std::conj(sq[j]);
  for (int j = 1; j <= face.nk; ++j) far += x[face.off + j] * std::conj(sq[face.m0 + j - 1]);
}

// Adds the reflected and transmitted power of Floquet mode q, from incident
// wave p, to the entry of its order (a new entry when q begins another
// order; both incident waves meet the orders in the same sequence).
void add_order_power(int q, int p, int& order, double r, double t) {
  const flo_index& ix = fss_modeflo_index[q];
  std::vector<order_power>& v = fss_order_power.v;
  if (order < 0 || v[order].m != ix.m || v[order].n != ix.n) {
    ++order;
    if (p == 1) {
      if (static_cast<int>(v.size()) <= order) v.resize(order + 1);
      v[order] = order_power{ix.m, ix.n};
      fss_order_power.n = order + 1;
    }
  }
  v[order].r[p] += r;
  v[order].t[p] += t;
}

}  // namespace

// Specular amplitudes of the outer surfaces from the face amplitudes of
// column x (lit from side `lit`, 1 or 2): the reflection on the lit side and
// the transmission to the other, as power-normalised [q][p] entries.
static void stack_specular(const cplx* x, int lit, const int* mode, const int* column,
                           cplx r[3][3], cplx t[3][3]) {
  const int nw = fss_modewg_index.n;
  for (int p = 1; p <= 2; ++p) {
    const cplx* xp = x + column[p] * 2 * nw;
    const double yp = std::real(fss_modeflo_y[mode[p]].y1);
    for (int q = 1; q <= 2; ++q) {
      cplx c1, c2;
      face_amplitudes(xp, mode[q], c1, c2);
      const cplx y0 = fss_modeflo_y[mode[q]].y1;
      const cplx lit_face = lit == 1 ? c1 : c2, other_face = lit == 1 ? c2 : c1;
      const int other = 3 - lit;
      cplx b = outer_isc(mode[q], lit) / (2.0 * y0) * lit_face;
      if (q == p) b += outer_rsc(mode[q], lit);
      const double ratio = std::sqrt(std::real(y0) / yp);
      r[q][p] = b * ratio;
      t[q][p] = outer_isc(mode[q], other) / (2.0 * y0) * other_face * ratio;
    }
  }
}

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

  const bool layers = fss_stack_point.layers > 0;
  const bool screens = fss_screen.nsc > 1;
  fss_polar.depth = layers || screens ? stack_depth() : fss_thickness.t1;
  fss_polar.far = 0;
  fss_order_power.n = 0;
  for (int p = 1; p <= 2; ++p) {
    const cplx* xp = x + column[p] * 2 * nw;
    const double yp = std::real(fss_modeflo_y[mode[p]].y1);
    double p00 = 0, ptot = 0;
    int order = -1;  // the entry of the order of q (the two waves of an order are neighbours)
    for (int q = 1; q <= fss_modeflo_index.n; ++q) {
      // Evanescent orders carry no power.
      if (std::real(fss_gamma(k0, fss_modeflo_kappa[q].kt)) != 0) continue;
      cplx b, c;
      face_amplitudes(xp, q, b, c);
      if (layers) {
        // Carried through the stacks to the outer surfaces.
        const flo_stack& st = fss_modeflo_stack[q];
        const cplx y0 = 2.0 * fss_modeflo_y[q].y1;
        b = st.isc[1] / y0 * b + (q == mode[p] ? st.rsc[1] : 0.0);
        c = st.isc[2] / y0 * c;
      } else if (q == mode[p]) {
        b -= 1.0;  // the incident wave has unit amplitude
      }
      const double ratio = std::real(fss_modeflo_y[q].y1) / yp;
      const double power = (std::norm(b) + std::norm(c)) * ratio;
      ptot += power;
      add_order_power(q, p, order, std::norm(b) * ratio, std::norm(c) * ratio);
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
  // Waves lit from the far side: the mirror image of the front unless the
  // two stacks differ (or several screens stand in the stack).
  if ((layers || screens) && fss_writeinfo.s4p && !stack_mirror_symmetric()) {
    solve_far_side();
    stack_specular(fss_vettb_far.data1() - 1, 2, mode, column, fss_polar.rb, fss_polar.tb);
    fss_polar.far = 1;
  }
}
