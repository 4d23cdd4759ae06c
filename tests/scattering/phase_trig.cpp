// sin and cos of the close pairs' phases (inline, branch-free) against the
// library's: the reduction, the polynomials and the quadrants.
#include "scattering/phase_trig.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// Within 1.1e-16 in absolute terms (one unit in the last place of values
// near 1)
// over the phases the couplings meet (below a few hundred) and well beyond,
// and sin^2 + cos^2 = 1 to rounding: a wrong coefficient of either
// polynomial, a wrong part of pi/2 or a wrong quadrant shows as an error
// of 1e-10 or more.
TEST(PhaseTrig, SineAndCosineToTheLastPlace) {
  std::mt19937_64 gen(7);
  double worst_s = 0, worst_c = 0, worst_unit = 0;
  for (double range : {1.0, 40.0, 1e3, 1e5}) {
    std::uniform_real_distribution<double> u(-range, range);
    for (int i = 0; i < 500000; ++i) {
      const double x = u(gen);
      double s, c;
      phase_sincos(x, s, c);
      worst_s = std::max(worst_s, std::fabs(s - std::sin(x)));
      worst_c = std::max(worst_c, std::fabs(c - std::cos(x)));
      worst_unit = std::max(worst_unit, std::fabs(s * s + c * c - 1));
    }
  }
  EXPECT_LE(worst_s, 2.3e-16);
  EXPECT_LE(worst_c, 2.3e-16);
  EXPECT_LE(worst_unit, 4.5e-16);
}

// Small phases keep their relative accuracy (sin(x)/x is taken from them)
// and cos rounds to 1; odd and even in x, bit for bit.
TEST(PhaseTrig, SmallPhasesAndSymmetry) {
  double s, c;
  phase_sincos(0.0, s, c);
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(c, 1.0);
  double worst = 0;
  for (int i = 0; i <= 3000; ++i) {
    const double x = std::pow(10.0, -300 + 0.1 * i);  // 1e-300 .. 1
    phase_sincos(x, s, c);
    worst = std::max(worst, std::fabs(s / std::sin(x) - 1));
    if (x < 1e-9) {
      EXPECT_EQ(c, 1.0) << x;
    }
    double sm, cm;
    phase_sincos(-x, sm, cm);
    EXPECT_EQ(sm, -s) << x;
    EXPECT_EQ(cm, c) << x;
  }
  EXPECT_LE(worst, 2.3e-16);
}

// The quadrant boundaries: at k pi/2 (rounded) the values of the right
// quadrant (to the rounding of k pi/2 itself) and the library's, and on
// either side of each boundary the same function.
TEST(PhaseTrig, Quadrants) {
  for (int k = -12; k <= 12; ++k) {
    const double x = k * M_PI / 2;
    double s, c;
    phase_sincos(x, s, c);
    const int q = ((k % 4) + 4) % 4;
    EXPECT_NEAR(s, q == 1 ? 1 : q == 3 ? -1 : 0, 1e-14) << k;
    EXPECT_NEAR(c, q == 0 ? 1 : q == 2 ? -1 : 0, 1e-14) << k;
    EXPECT_NEAR(s, std::sin(x), 2.3e-16) << k;
    EXPECT_NEAR(c, std::cos(x), 2.3e-16) << k;
    for (double dx : {-1e-9, 1e-9, -0.3, 0.3, -(M_PI / 4 - 1e-12), M_PI / 4 - 1e-12}) {
      phase_sincos(x + dx, s, c);
      EXPECT_NEAR(s, std::sin(x + dx), 2.3e-16) << k << " " << dx;
      EXPECT_NEAR(c, std::cos(x + dx), 2.3e-16) << k << " " << dx;
    }
  }
}

}  // namespace
