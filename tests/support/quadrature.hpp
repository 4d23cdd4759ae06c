// Gauss-Legendre quadrature and central differences for the tests.
#pragma once
#include <cmath>
#include <vector>

// Gauss-Legendre nodes and weights on [0, len].
inline void gauss(int n, double len, std::vector<double>& x, std::vector<double>& w) {
  x.assign(n, 0);
  w.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    double z = std::cos(3.141592653589793 * (i + 0.75) / (n + 0.5)), dp = 1;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1, p1 = z;
      for (int k = 2; k <= n; ++k) {
        double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1);
      double dz = p1 / dp;
      z -= dz;
      if (std::abs(dz) < 1e-16) break;
    }
    x[i] = 0.5 * len * (1 + z);
    w[i] = len / ((1 - z * z) * dp * dp);
  }
}

// Fourth-order central difference of f(x, y) along (dx, dy).
template <class F>
double deriv(F f, double x, double y, double dx, double dy, double h) {
  return (-f(x + 2 * h * dx, y + 2 * h * dy) + 8 * f(x + h * dx, y + h * dy) -
          8 * f(x - h * dx, y - h * dy) + f(x - 2 * h * dx, y - 2 * h * dy)) /
         (12 * h);
}
