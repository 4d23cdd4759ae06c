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
//
// The cost grows with q, and the mode solver asks for the same values many
// times (the enclosing-guide functions on a circular wall, where every
// point has the same radius; the normalisation of every mode for every
// computed mode), so the last results are kept in a small direct-mapped
// table keyed by the arguments: a repeated call returns the same bits.
#include "modefields/bessel.hpp"

#include <cstdint>
#include <cstring>

namespace {

void bessel_series(int n, double x, double& bj, double& bj1, int iflag);

struct bessel_entry {
  double x = -1, bj = 0, bj1 = 0;
  int n = -1, iflag = 0;
};
constexpr unsigned memo_size = 4096;  // a power of 2
bessel_entry memo[memo_size];

unsigned memo_slot(int n, double x, int iflag) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  std::uint64_t h = bits ^ (static_cast<std::uint64_t>(static_cast<unsigned>(n)) << 32) ^
                    static_cast<std::uint64_t>(static_cast<unsigned>(iflag + 7));
  h *= 0x9E3779B97F4A7C15ull;
  return static_cast<unsigned>(h >> 52) & (memo_size - 1);
}

}  // namespace

void bessji(int n, double x, double& bj, double& bj1, int iflag) {
  bessel_entry& e = memo[memo_slot(n, x, iflag)];
  if (e.n == n && e.iflag == iflag && e.x == x) {
    bj = e.bj;
    bj1 = e.bj1;
    return;
  }
  bessel_series(n, x, bj, bj1, iflag);
  e = bessel_entry{x, bj, bj1, n, iflag};
}

void bessel_forget() {
  for (bessel_entry& e : memo) e = bessel_entry{};
}

namespace {

void bessel_series(int n, double x, double& bj, double& bj1, int iflag) {
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

}  // namespace
