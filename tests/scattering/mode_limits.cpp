// The aperture-mode estimate (Weyl's law) against exact mode counts, and the
// early stop of a run whose limit clearly asks for more modes than the table
// holds.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "records/scattering.hpp"
#include "scattering/mode_limits.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

// TE and TM modes of an a x b rectangular guide with cutoffs below k.
int rectangle_modes(double a, double b, double k) {
  int n = 0;
  for (int p = 0; p * M_PI / a < k; ++p)
    for (int q = 0; std::hypot(p * M_PI / a, q * M_PI / b) < k; ++q) {
      if (p > 0 || q > 0) ++n;          // TE
      if (p > 0 && q > 0) ++n;          // TM
    }
  return n;
}

}  // namespace

// Weyl's law with the perimeter terms: within 3 % and 4 modes of the exact
// count of rectangles of any aspect, from 50 to 400 modes.
TEST(ModeLimits, WeylEstimateFollowsTheExactCountOfRectangles) {
  for (auto [a, b] : {std::pair{6e-3, 6e-3}, std::pair{8e-3, 2e-3}, std::pair{7e-3, 3e-3}}) {
    for (int target : {50, 100, 200, 250, 300, 400}) {
      const double k = std::sqrt(target * 2 * M_PI / (a * b));
      const int exact = rectangle_modes(a, b, k);
      const double estimate = weyl_mode_count(a * b, 2 * (a + b), k, 0);
      EXPECT_LT(std::fabs(estimate - exact), 0.03 * exact + 4) << a << " x " << b << " " << target;
    }
  }
  // One TEM mode per inner conductor.
  EXPECT_DOUBLE_EQ(weyl_mode_count(1e-5, 0.02, 3000, 2) - weyl_mode_count(1e-5, 0.02, 3000, 0), 2);
  // Clearly above a table of 250: beyond 267.5.
  EXPECT_FALSE(clearly_too_many(267.5, 250));
  EXPECT_TRUE(clearly_too_many(267.6, 250));
  EXPECT_EQ(ghz_below(1268.93), "1268");
  EXPECT_EQ(ghz_below(87.31999), "87.31");
  EXPECT_EQ(ghz_below(300), "300");
}

// A 1.6 mm hole at 1400 GHz asks for about 274 aperture modes: refused
// before the mode computation, with the estimate and a limit that fits; at
// 1200 GHz the estimate (201) lets the run go on.
TEST(ModeLimits, ImpossibleApertureLimitStopsBeforeTheModeComputation) {
  scratch_dir dir;
  auto structure = [](const char* f7) {
    return "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n0.8 0 0.8 0 -0.8 0\n5)\n0 0\n6)\n10 10 1\n7)\n" +
           std::string(f7) + "\n8)\n100\n";
  };
  scratch_dir::write_file("hole.fss", structure("1400"));
  const program_result r = run_program("hole", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Subroutine genmodes_wg fatal error message:\n Too many waveguide modes: the limit "
                       "of block 7 (1400 GHz) asks for about 274 aperture modes (an estimate from the "
                       "aperture's area, 2.011 mm^2, and perimeter, 5.027 mm) and the program holds 250; "
                       "a block 7 limit below about 1268 GHz would fit\n line 16 of hole.fss: \"1400\"\n"),
            std::string::npos)
      << r.out;
  // No file of the mode solver was made.
  EXPECT_FALSE(std::filesystem::exists("hole_tmp.lis"));
  EXPECT_FALSE(std::filesystem::exists("hole_tmp_gmat.tmp"));
}
