// Zeros of Jn and J'n found independently of the library under test: the
// standard library's Bessel functions, a fine sign scan and bisection.
#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

struct ref_zero {
  double x;
  int n, k;
};

inline double ref_j(int n, double x) { return std::cyl_bessel_j(double(n), x); }
inline double ref_dj(int n, double x) {
  return n == 0 ? -ref_j(1, x) : 0.5 * (ref_j(n - 1, x) - ref_j(n + 1, x));
}

// All zeros below xmax of Jn (te false) or J'n (te true, x = 0 excluded),
// ascending.
inline std::vector<ref_zero> ref_zeros(bool te, double xmax) {
  std::vector<ref_zero> z;
  // No zero of either below x = n for n >= 1.
  for (int n = 0; n < std::max(80.0, xmax); ++n) {
    auto f = [&](double x) { return te ? ref_dj(n, x) : ref_j(n, x); };
    int k = 0;
    double h = 0.02, x0 = 0.01, f0 = f(x0);
    for (double x = x0 + h; x < xmax + h; x += h) {
      double f1 = f(x);
      if ((f0 < 0) != (f1 < 0)) {
        double lo = x - h, hi = x, flo = f0;
        for (int it = 0; it < 200; ++it) {
          double mid = 0.5 * (lo + hi);
          if (mid == lo || mid == hi) break;
          double fm = f(mid);
          if ((fm < 0) == (flo < 0)) {
            lo = mid;
            flo = fm;
          } else {
            hi = mid;
          }
        }
        ++k;
        if (0.5 * (lo + hi) < xmax) z.push_back({0.5 * (lo + hi), n, k});
      }
      f0 = f1;
    }
  }
  std::sort(z.begin(), z.end(), [](const ref_zero& p, const ref_zero& q) { return p.x < q.x; });
  return z;
}
