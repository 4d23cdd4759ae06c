#include "scattering/floquet.hpp"

#include <cmath>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/stack.hpp"

using cplx = std::complex<double>;

cplx ztanh(cplx z) {
  // The exponential is always taken of an argument with Re <= 0.
  if (z.real() > 0) {
    cplx e = std::exp(-2.0 * z);
    return (1.0 - e) / (1.0 + e);
  }
  cplx e = std::exp(2.0 * z);
  return (e - 1.0) / (e + 1.0);
}

cplx inv_zsinh(cplx z) {
  if (z.real() > 0) {
    cplx e = std::exp(-z);
    return 2.0 * e / (1.0 - e * e);
  }
  cplx e = std::exp(z);
  return 2.0 * e / (e * e - 1.0);
}

cplx fss_gamma(double k0, double kt) {
  // A mode exactly at cutoff (kt = k0) has gamma = 0, where the TM wave
  // admittance and coth(gamma l) divide by zero.  It is taken a hair above
  // cutoff instead, k0^2 - kt^2 = 1e-20 k0^2: every admittance stays finite
  // and the result differs from the limit (a square-root branch point in
  // frequency) by about 1e-10 relative.
  const double k02 = k0 * k0;
  double d = k02 - kt * kt;
  if (d == 0) d = 1.0e-20 * k02;
  if (d > 0) return cplx(0, std::sqrt(d));
  return cplx(std::sqrt(-d), 0);
}

static admittance admittances(cplx y1, cplx gammal) {
  return {y1, y1 / ztanh(gammal), y1 * inv_zsinh(gammal)};
}

void update_modes_wg() {
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const int type = fss_modewg_index[j];
    // The thickness and the filling of the mode's screen.
    const int sc = fss_modewg_sc[j];
    const double l = screen_thickness(sc);
    const bool filled = stack_filled(sc);
    const stack_item* fill = stack_screen(sc);
    // A TEM mode is the TM form at kc = 0 (its catalogue entry holds its
    // impedance, not a cutoff): gamma = i k0, Y1 = 1 / eta0.
    const double kc = type == wg_tem ? 0.0 : fss_modewg_kappa[j];
    if (filled) {
      // Filled apertures: the empty guide's cutoff, the filling's gamma and
      // admittances (TEM as the TM form at kc = 0: Y1 = sqrt(eps) / eta0).
      if (type != wg_tm && type != wg_te && type != wg_tem) continue;
      const cplx gamma = layer_gamma(k0, kc, fill->eps, fill->tand);
      const cplx y1 = layer_admittance(type == wg_te ? flo_te : flo_tm, gamma, k0, eta0,
                                       fill->eps, fill->tand);
      fss_modewg_y[j] = admittances(y1, gamma * l);
      continue;
    }
    const cplx gamma = fss_gamma(k0, kc);
    cplx y1;
    if (type == wg_tm || type == wg_tem)
      y1 = cplx(0, k0 / eta0) / gamma;
    else if (type == wg_te)
      y1 = gamma / cplx(0, 1) / eta0 / k0;
    else
      continue;
    fss_modewg_y[j] = admittances(y1, gamma * l);
  }
}

bool floquet_whole_disc() { return fss_modeflo_index.cap > max_flo_modes; }

void floquet_m_range(double kmax, long long& lo, long long& hi) {
  const double dpi_a = dpi(1) / fss_cell_dim.a;
  if (!floquet_whole_disc()) {
    hi = static_cast<long long>(fss_cell_dim.a * kmax / dpi(1));
    lo = -hi;
    return;
  }
  lo = static_cast<long long>(std::floor((-kmax - fss_inc_angle.kx0) / dpi_a)) - 1;
  hi = static_cast<long long>(std::ceil((kmax - fss_inc_angle.kx0) / dpi_a)) + 1;
}

static void add_floquet(int& nflo, int m, int n, int type, double kt, double kx,
                        double ky, cplx y1, cplx gammal) {
  ++nflo;
  if (nflo > fss_modeflo_index.cap) too_many_floquet_modes();
  fss_modeflo_index[nflo] = {m, n, type, 0};
  fss_modeflo_kappa[nflo] = {kt, kx, ky};
  fss_modeflo_y[nflo] = admittances(y1, gammal);
}

void genmodes_flo() {
  const double a = fss_cell_dim.a, b = fss_cell_dim.b;
  const double kmax = fss_kmax.flo;
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  const int nmax = static_cast<int>(b * kmax / dpi(1));
  const double eps = kmax / 1.0e9;
  const double dpi_a = dpi(1) / a, dpi_b = dpi(1) / b;
  const double dpi_a_tanalfa = dpi_a / std::tan(fss_lattice_angle.alpha);
  const cplx ik_eta(0, k0 / eta0), ietak(0, eta0 * k0);
  fss_inc_mode = {-1, -1, -1, -1};

  // The whole disc: per m every n whose ky may be within kmax (one more on
  // each side; the test below decides).
  const bool disc = floquet_whole_disc();
  long long m_lo, m_hi;
  floquet_m_range(kmax, m_lo, m_hi);
  int nflo = 0;
  for (int m = static_cast<int>(m_lo); m <= m_hi; ++m) {
    const double kappax = m * dpi_a + fss_inc_angle.kx0;
    const double dpim_a_tanalfa = m * dpi_a_tanalfa;
    int n_lo = -nmax, n_hi = nmax;
    if (disc) {
      const double centre = (dpim_a_tanalfa - fss_inc_angle.ky0) / dpi_b, half = kmax / dpi_b;
      n_lo = static_cast<int>(std::floor(centre - half)) - 1;
      n_hi = static_cast<int>(std::ceil(centre + half)) + 1;
    }
    for (int n = n_lo; n <= n_hi; ++n) {
      const double kappay = (n * dpi_b - dpim_a_tanalfa) + fss_inc_angle.ky0;
      const double kappat = std::sqrt(kappay * kappay + kappax * kappax);
      if (kappat > kmax) continue;
      const cplx gamma = fss_gamma(k0, kappat);
      const cplx gammal = gamma * fss_thickness.spacing;
      if (kappat <= eps) {
        add_floquet(nflo, m, n, flo_temx, kappat, kappax, kappay, 1 / eta0, gammal);
        fss_inc_mode.indextemx = nflo;
        add_floquet(nflo, m, n, flo_temy, kappat, kappax, kappay, 1 / eta0, gammal);
        fss_inc_mode.indextemy = nflo;
      } else {
        add_floquet(nflo, m, n, flo_tm, kappat, kappax, kappay, ik_eta / gamma, gammal);
        if (m == 0 && n == 0) fss_inc_mode.indextm = nflo;
        add_floquet(nflo, m, n, flo_te, kappat, kappax, kappay, gamma / ietak, gammal);
        if (m == 0 && n == 0) fss_inc_mode.indexte = nflo;
      }
    }
  }
  fss_modeflo_index.n = fss_modeflo_kappa.n = fss_modeflo_y.n = nflo;
  far_floquet_order();  // the near modes first when the far ones take their series
  calc_stack_modes();  // what the dielectric layers make of each mode
}
