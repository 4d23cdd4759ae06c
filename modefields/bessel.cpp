// Bessel functions of the first kind by a positive series and downward
// recurrence.
//
// With q = x^2/4 the scaled functions f_m = m! (x/2)^(-m) Jm(x) are the series
//   f_m = sum_k (-q)^k / (k! (m+1)(m+2)...(m+k)),
// whose terms decrease monotonically once m >= q: there is no cancellation.
// The series is therefore summed at the order nc = max(n, int(q)) and the
// stable three-term recurrence f_(m-1) = f_m - f_(m+1) q/(m(m+1)) carries the
// pair down to the order wanted; the scale (x/2)^n/n! is applied last, with
// factors x/2 replaced by 1/2 where the caller wants Jn/x^k.
#include "modefields/bessel.hpp"

void bessji(int n, double x, double& bj, double& bj1, int iflag) {
  double q = x * x / 4.0;
  int nc = static_cast<int>(q);
  if (nc < n) nc = n;

  // Series of f_nc (s1) and f_(nc+1) (s2), summed until s1 is stationary.
  double s1 = 1.0, s2 = 1.0, t = 1.0, u = 1.0;
  for (int k = 1;; ++k) {
    t *= (-q / k) / (nc + k);
    u *= (-q / k) / (nc + k + 1);
    double s1new = s1 + t;
    s2 += u;
    if (s1new == s1) break;
    s1 = s1new;
  }

  // Downward recurrence to the pair (f_n, f_(n+1)).
  for (int m = nc; m >= n + 1; --m) {
    double s0 = s1 - s2 * q / m / (m + 1);
    s2 = s1;
    s1 = s0;
  }

  // Scale (x/2)^n / n!, with x/2 -> 1/2 for the factors m <= iflag.
  double s = 1.0;
  double z = x / 2.0;
  for (int m = n; m >= 1; --m) s *= (m <= iflag ? 0.5 : z) / m;

  bj = s1 * s;
  bj1 = s2 * s * 0.5 / (n + 1);
  if (iflag < 0 || iflag > n) bj1 *= x;
}
