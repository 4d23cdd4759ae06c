// sin x and cos x together for the phases of the close pairs' samples
// (exp(i x) at every contour point of every such pair): inline and without
// branches, so that the loop over the points is vectorised, where a call of
// the library's sincos per point cost a tenth of a large oblique pass.
//
// x = q pi/2 + r, |r| <= pi/4: Cody-Waite reduction (pi/2 as its first 33
// bits P1 and the rest, so that q P1 is exact for |q| < 2^20), then
// the minimax polynomials of sin and cos on [-pi/4, pi/4] (the classic
// fdlibm kernels, error below 1 ulp), and the quadrant q mod 4 by selection.
// Within 1.1e-16 of sin and cos in absolute terms for |x| < 1e5 (the phases
// here stay below a few hundred), which is what a phase factor needs; sin x
// keeps its relative accuracy as x -> 0 (r = x exactly), so that sin(x)/x
// does too.  Near other multiples of pi/2, where sin or cos is itself below
// 1e-15, the relative error is large (the reduction keeps two parts of pi/2).

#pragma once
#include <bit>
#include <cstdint>

inline void phase_sincos(double x, double& s, double& c) {
  constexpr double inv_pio2 = 6.36619772367581382433e-01;
  constexpr double pio2_1 = 1.57079632673412561417e+00;   // the first 33 bits of pi/2
  constexpr double pio2_1t = 6.07710050650619224932e-11;  // pi/2 - pio2_1
  constexpr double shifter = 6755399441055744.0;           // 1.5 2^52: rounds to an integer
  const double q = (x * inv_pio2 + shifter) - shifter;
  const double r = (x - q * pio2_1) - q * pio2_1t;
  const double z = r * r;
  const double sr = r + r * z *
                            (-1.66666666666666324348e-01 +
                             z * (8.33333333332248946124e-03 +
                                  z * (-1.98412698298579493134e-04 +
                                       z * (2.75573137070700676789e-06 +
                                            z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
  const double pc = z * z *
                    (4.16666666666666019037e-02 +
                     z * (-1.38888888888741095749e-03 +
                          z * (2.48015872894767294178e-05 +
                               z * (-2.75573143513906633035e-07 +
                                    z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
  const double hz = 0.5 * z, w = 1.0 - hz;
  const double cr = w + (((1.0 - w) - hz) + pc);
  // The quadrant from the low bits of the shifted q (two's complement), the
  // selection and the signs by bit operations: no branch and no conversion
  // to an integer register, which the vectoriser would not take.
  const std::uint64_t n = std::bit_cast<std::uint64_t>(x * inv_pio2 + shifter);
  const std::uint64_t odd = 0 - (n & 1);  // all ones in an odd quadrant
  const std::uint64_t sb = std::bit_cast<std::uint64_t>(sr), cb = std::bit_cast<std::uint64_t>(cr);
  const std::uint64_t sin_bits = ((cb & odd) | (sb & ~odd)) ^ ((n & 2) << 62);
  const std::uint64_t cos_bits = ((sb & odd) | (cb & ~odd)) ^ (((n + 1) & 2) << 62);
  s = std::bit_cast<double>(sin_bits);
  c = std::bit_cast<double>(cos_bits);
}
