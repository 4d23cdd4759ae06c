#include "support/circle_modes.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "support/bessel_reference.hpp"

namespace {

using cplx = std::complex<double>;
const cplx I(0, 1);

// Jn(x) and J'n(x), remembered: a sweep asks for the same few thousand
// arguments over and over.
double cj(int n, double x, bool deriv = false) {
  static std::unordered_map<unsigned long long, double> memo;
  unsigned long long key;
  std::memcpy(&key, &x, sizeof key);
  key = key * 1000003ULL + static_cast<unsigned long long>(n) * 2 + (deriv ? 1 : 0);
  auto it = memo.find(key);
  if (it != memo.end()) return it->second;
  const double v = deriv ? ref_dj(n, x) : ref_j(n, x);
  if (memo.size() > 4000000) memo.clear();
  return memo[key] = v;
}

// (-i)^nu
cplx minus_i_pow(int nu) {
  static const cplx p[4] = {1, -I, -1, I};
  return p[nu % 4];
}

double ang(const bessel_mode& m, double phi) {
  if (m.nu == 0) return 1;
  return m.var == 0 ? std::cos(m.nu * phi) : std::sin(m.nu * phi);
}

// Integral of Jnu(alpha rho) Jnu(beta rho) rho over [0, r]: Lommel's closed
// form, or a 96-point Gauss-Legendre rule where the two wavenumbers nearly
// coincide and the closed form cancels.
double lommel(int nu, double alpha, double beta, double r) {
  if (std::fabs(alpha - beta) > 1e-3 * std::max(alpha, beta)) {
    const double a = alpha * r, b = beta * r;
    return r * (beta * cj(nu, a) * cj(nu, b, true) - alpha * cj(nu, a, true) * cj(nu, b)) /
           (alpha * alpha - beta * beta);
  }
  static std::vector<double> x, w;
  if (x.empty()) {  // nodes and weights of the 96-point rule by Newton's method
    const int n = 96;
    for (int i = 1; i <= n; ++i) {
      double z = std::cos(M_PI * (i - 0.25) / (n + 0.5)), dp = 0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1);
        const double dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-16) break;
      }
      x.push_back(z);
      w.push_back(2 / ((1 - z * z) * dp * dp));
    }
  }
  double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double rho = 0.5 * r * (x[i] + 1);
    s += w[i] * ref_j(nu, alpha * rho) * ref_j(nu, beta * rho) * rho;
  }
  return 0.5 * r * s;
}

}  // namespace

std::vector<bessel_mode> bessel_modes(double r, double kmax) {
  std::vector<bessel_mode> out;
  for (int kind : {2, 1}) {
    const bool te = kind == 2;
    for (const ref_zero& z : ref_zeros(te, kmax * r)) {
      const double eps = z.n == 0 ? 2 : 1;
      double nrm = std::sqrt(2 / (M_PI * eps)) / r;
      nrm /= te ? std::fabs(ref_j(z.n, z.x)) * std::sqrt(1 - (z.n / z.x) * (z.n / z.x))
                : std::fabs(ref_j(z.n + 1, z.x));
      for (int var = 0; var < (z.n == 0 ? 1 : 2); ++var)
        out.push_back({kind, z.n, var, z.k, z.x / r, nrm});
    }
  }
  return out;
}

double bessel_boundary_value(const circle_aperture& c, const bessel_mode& m, double x, double y) {
  const double phi = std::atan2(y - c.yc, x - c.xc), xr = m.kc * c.r;
  if (m.kind == 2) return m.norm * ref_j(m.nu, xr) * ang(m, phi);
  return -m.norm * m.kc * ref_dj(m.nu, xr) * ang(m, phi);
}

std::complex<double> bessel_coupling(const circle_aperture& c, const bessel_mode& m,
                                     int flo_kind, double kt, double kx, double ky, double nc,
                                     double phi) {
  const int nu = m.nu;
  if (flo_kind >= 3) {
    // The TEM waves of normal incidence, limits of the TE (3) and TM (4)
    // waves of the plane phi, u = (cos phi, sin phi): (nc/kc) times the line
    // integrals of -psi u.n and of psi (uy nx - ux ny).
    if (m.kind == 1 || nu != 1) return 0;
    const double line = c.r * m.norm * cj(1, m.kc * c.r) * M_PI;
    const double lx = m.var == 0 ? line : 0, ly = m.var == 1 ? line : 0;
    const double ux = std::cos(phi), uy = std::sin(phi);
    if (flo_kind == 3) return -nc * (ux * lx + uy * ly) / m.kc;
    return nc * (uy * lx - ux * ly) / m.kc;
  }
  if (m.kind == 1 && flo_kind == 2) return 0;
  const double phik = std::atan2(ky, kx), z = kt * c.r;
  const cplx phase = nc * std::exp(-I * (kx * c.xc + ky * c.yc));
  // Angular integrals of exp(-i z cos(phi - phik)) cos(nu phi), sin(nu phi).
  const cplx a_cos = 2 * M_PI * minus_i_pow(nu) * cj(nu, z) * std::cos(nu * phik);
  const cplx a_sin = 2 * M_PI * minus_i_pow(nu) * cj(nu, z) * std::sin(nu * phik);
  if (m.kind == flo_kind) {
    // Area integral of psi times the plane wave: at radius rho the angular
    // integral is 2 pi (-i)^nu Jnu(kt rho) g(nu phik).
    const double g = nu == 0 ? 1 : m.var == 0 ? std::cos(nu * phik) : std::sin(nu * phik);
    const cplx area = phase * (m.norm * 2 * M_PI * g * lommel(nu, m.kc, kt, c.r)) * minus_i_pow(nu);
    return m.kind == 2 ? -I * (m.kc / kt) * area : I * (kt / m.kc) * area;
  }
  // TE mode, TM wave: (1/(kc kt)) times the line integral of psi (k x n) E,
  // with k x n = -kt sin(phi - phik) on the circle; by parts in phi.
  if (nu == 0) return 0;
  const cplx nz = double(nu) / (I * z);
  const cplx by_parts = m.var == 0 ? nz * a_sin : -nz * a_cos;
  const cplx line = -kt * c.r * m.norm * cj(nu, m.kc * c.r) * phase * by_parts;
  return line / (m.kc * kt);
}
