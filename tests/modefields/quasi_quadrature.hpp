// Adaptive Gauss-Kronrod (7/15) quadrature for the independent references
// of the field tests: bisects until the Kronrod-Gauss difference of every
// piece is below its share of the tolerance.  Integrable end-point
// singularities (logarithms) and narrow peaks are handled by bisection;
// pieces also stop at a relative floor set by the rounding of the integrand;
// callers put break points at the peaks.
#pragma once
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace quad {

template <class F>
double gk15(F& f, double a, double b, double& err) {
  static const double xk[8] = {0.991455371120812639, 0.949107912342758525, 0.864864423359769073,
                               0.741531185599394440, 0.586087235467691130, 0.405845151377397167,
                               0.207784955007898468, 0.0};
  static const double wk[8] = {0.022935322010529225, 0.063092092629978553, 0.104790010322250184,
                               0.140653259715525919, 0.169004726639267903, 0.190350578064785410,
                               0.204432940075298892, 0.209482141084727828};
  static const double wg[4] = {0.129484966168869693, 0.279705391489276668, 0.381830050505118945,
                               0.417959183673469388};
  double c = 0.5 * (a + b), h = 0.5 * (b - a);
  double fc = f(c), rk = fc * wk[7], rg = fc * wg[3];
  for (int j = 0; j < 7; ++j) {
    double f1 = f(c - h * xk[j]), f2 = f(c + h * xk[j]);
    rk += wk[j] * (f1 + f2);
    if (j % 2 == 1) rg += wg[j / 2] * (f1 + f2);
  }
  err = std::fabs((rk - rg) * h);
  return rk * h;
}

template <class F>
double adapt(F& f, double a, double b, double tol, int depth) {
  double err;
  double r = gk15(f, a, b, err);
  // rounding noise of the integrand does not shrink with the piece: stop
  // at a relative floor as well
  if (err <= tol || err <= 1e-10 * std::fabs(r) || depth > 30) return r;
  double m = 0.5 * (a + b);
  return adapt(f, a, m, tol / 2, depth + 1) + adapt(f, m, b, tol / 2, depth + 1);
}

// Integral of f over [a, b] with break points inside it.
template <class F>
double integrate(F f, double a, double b, std::vector<double> breaks = {}, double tol = 1e-9) {
  std::vector<double> p{a};
  for (double x : breaks)
    if (x > a && x < b) p.push_back(x);
  p.push_back(b);
  std::sort(p.begin(), p.end());
  double s = 0;
  for (size_t k = 0; k + 1 < p.size(); ++k) s += adapt(f, p[k], p[k + 1], tol, 0);
  return s;
}

}  // namespace quad
