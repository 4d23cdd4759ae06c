// Bessel functions of the first kind against the standard library, over the
// orders and arguments the enclosing-guide modes use, in every scaling mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "modefields/bessel.hpp"

namespace {

// Expected (bj, bj1) from std::cyl_bessel_j and the documented scaling, with
// the exponents of x that divide each.
struct expected {
  double bj, bj1;
  int p, p1;
};

expected reference(int n, double x, int iflag) {
  int p, p1;
  if (iflag < 0) {
    p = 0, p1 = 0;
  } else if (iflag == 0) {
    p = 0, p1 = 1;
  } else if (iflag <= n) {
    p = iflag, p1 = iflag + 1;
  } else {
    p = n, p1 = n;
  }
  double jn = std::cyl_bessel_j(double(n), x);
  double jn1 = std::cyl_bessel_j(double(n + 1), x);
  return {jn / std::pow(x, p), jn1 / std::pow(x, p1), p, p1};
}

// Size of Jn near x: the value itself where Jn is monotone (x below the
// order), the oscillation envelope beyond, where zeros make a relative
// comparison meaningless.
double envelope(int n, double x) {
  return x > 0.8 * n ? 1.0 / std::sqrt(std::max(x, 1.0)) : 0.0;
}

double worst_rel = 0;

void check(int n, double x, int iflag) {
  double bj = -7, bj1 = -7;
  bessji(n, x, bj, bj1, iflag);
  expected e = reference(n, x, iflag);
  // Below about 1e-290 the library value is subnormal and no longer a
  // reference; that range is covered by the series test below.
  if (std::abs(std::cyl_bessel_j(double(n + 1), x)) < 1e-290) return;
  double tol = 1e-12 * std::max(std::abs(e.bj), envelope(n, x) / std::pow(x, e.p));
  double tol1 =
      1e-12 * std::max(std::abs(e.bj1), envelope(n + 1, x) / std::pow(x, e.p1));
  EXPECT_NEAR(bj, e.bj, tol) << "n=" << n << " x=" << x << " iflag=" << iflag;
  EXPECT_NEAR(bj1, e.bj1, tol1) << "n=" << n << " x=" << x << " iflag=" << iflag;
  if (tol > 0) worst_rel = std::max(worst_rel, std::abs(bj - e.bj) / tol * 1e-12);
  if (tol1 > 0) worst_rel = std::max(worst_rel, std::abs(bj1 - e.bj1) / tol1 * 1e-12);
}

}  // namespace

TEST(bessji, agrees_with_library_for_orders_0_to_70_and_arguments_to_80) {
  const double small[] = {1e-3, 0.1, 0.37};
  for (int n = 0; n <= 70; ++n) {
    const int flags[] = {-1, 0, 1, n / 2, n, n + 2};
    for (int iflag : flags) {
      for (double x : small) check(n, x, iflag);
      for (int i = 1; i <= 320; ++i) check(n, 0.25 * i - 0.013 * (i % 7), iflag);
    }
  }
  std::printf(" worst error / (|J| or envelope): %.3g\n", worst_rel);
}

TEST(bessji, limits_at_the_origin) {
  double bj, bj1;
  bessji(0, 0.0, bj, bj1, -1);  // J0(0) = 1, J1(0) = 0
  EXPECT_EQ(bj, 1.0);
  EXPECT_EQ(bj1, 0.0);
  bessji(0, 0.0, bj, bj1, 0);  // J1(x)/x -> 1/2
  EXPECT_EQ(bj, 1.0);
  EXPECT_DOUBLE_EQ(bj1, 0.5);
  for (int n = 1; n <= 12; ++n) {
    double fact = std::tgamma(n + 1.0);
    bessji(n, 0.0, bj, bj1, -1);
    EXPECT_EQ(bj, 0.0);
    EXPECT_EQ(bj1, 0.0);
    bessji(n, 0.0, bj, bj1, n);  // Jn/x^n -> 1/(2^n n!), J(n+1)/x^(n+1) likewise
    EXPECT_NEAR(bj, 1.0 / (std::ldexp(1.0, n) * fact), 1e-15 / fact);
    EXPECT_NEAR(bj1, 1.0 / (std::ldexp(1.0, n + 1) * fact * (n + 1)), 1e-15 / fact);
    bessji(n - 1, 0.0, bj, bj1, 0);  // J(n-1), Jn/x: finite at the centre
    EXPECT_EQ(bj, n == 1 ? 1.0 : 0.0);
    EXPECT_DOUBLE_EQ(bj1, n == 1 ? 0.5 : 0.0);
  }
}

// Jn(x)/x^p from the power series in long double, for small x.
long double series(int n, long double x, int p) {
  long double s = 0, t = 1;
  for (int m = 1; m <= n; ++m) t *= 0.5L / m;  // 1/(2^n n!)
  long double q = x * x / 4;
  for (int k = 0; k < 30; ++k) {
    s += t;
    t *= -q / ((k + 1.0L) * (n + k + 1.0L));
  }
  return s * std::pow(x, (long double)(n - p));
}

TEST(bessji, small_arguments_against_the_power_series) {
  const double xs[] = {1e-6, 1e-3, 0.05, 0.9};
  for (int n = 0; n <= 70; n += 5) {
    const int flags[] = {-1, 0, 1, n / 2, n, n + 3};
    for (double x : xs) {
      for (int iflag : flags) {
        expected e{0, 0, 0, 0};
        if (iflag < 0) e.p = 0, e.p1 = 0;
        else if (iflag == 0) e.p = 0, e.p1 = 1;
        else if (iflag <= n) e.p = iflag, e.p1 = iflag + 1;
        else e.p = n, e.p1 = n;
        long double r = series(n, x, e.p), r1 = series(n + 1, x, e.p1);
        if (std::abs(r) < 1e-300L || std::abs(r1) < 1e-300L) continue;
        double bj, bj1;
        bessji(n, x, bj, bj1, iflag);
        EXPECT_NEAR(bj / double(r), 1.0, 1e-13) << n << " " << x << " " << iflag;
        EXPECT_NEAR(bj1 / double(r1), 1.0, 1e-13) << n << " " << x << " " << iflag;
      }
    }
  }
}
