// The elimination of several screens split into the classes of their
// symmetry: two screens of crosses (computed modes, turned to pure
// parities) and of square holes, and three screens (cross, square, cross),
// at normal incidence (four classes in every block), in the xz plane (two)
// and off the planes of symmetry (one); the second cross moved off one of
// the first's mirror planes (two classes) and off both (one); every time
// the coefficients from both sides (a layer before the first screen makes
// the far side's differ) those of the whole elimination; and beside a block
// with gap modes in bounded form, which join their classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "scattering/classes.hpp"
#include "scattering/polarisation.hpp"
#include "scattering/system.hpp"
#include "support/solver_run.hpp"
#include "support/sweep_points.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;

std::string cross(double dx, double dy = 0) {
  const double p[12][2] = {{-4, -1}, {-1, -1}, {-1, -4}, {1, -4}, {1, -1}, {4, -1},
                           {4, 1},   {1, 1},   {1, 4},   {-1, 4}, {-1, 1}, {-4, 1}};
  std::string s;
  for (int k = 0; k < 12; ++k) {
    const double* a = p[k];
    const double* b = p[(k + 1) % 12];
    s += std::to_string(a[0] + dx) + " " + std::to_string(a[1] + dy) + " " + std::to_string(b[0] + dx) + " " +
         std::to_string(b[1] + dy) + "\n";
  }
  return s;
}
const std::string square = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";

// Two screens (three with a third aperture) 1 mm thick in a 10 mm square
// lattice with 2 mm spacers of permittivity 1.5 between them, behind a 1 mm
// layer of permittivity 2.
void write_screens(const std::string& first, const std::string& second, const std::string& third,
                   const std::string& incidence, double limit_ghz, const std::string& gap = "2 1.5 0") {
  scratch_dir::write_file("s.fss", "screens\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + first + "$\n" + second +
                                       (third.empty() ? "" : "$\n" + third) + "5)\n" + incidence +
                                       "\n6)\n16 24 4\n7)\n" + std::to_string(limit_ghz) + "\n8)\n" +
                                       std::to_string(3 * limit_ghz) + "\n9)\n1 2 0\nscreen\n" + gap + "\nscreen\n" +
                                       (third.empty() ? "" : gap + "\nscreen\n"));
}

struct solution {
  std::vector<fss_polar_rec> points;
  std::vector<int> classes;  // at each point
};
std::vector<fss_polar_rec> kept;
std::vector<int> kept_classes;
void keep_point() {
  calc_polarisations();
  kept.push_back(fss_polar);
  kept_classes.push_back(system_class_count());
}
solution solve(int split_from, double ratio) {
  class_split_modes = split_from;
  solution s;
  kept.clear();
  kept_classes.clear();
  run_structure("s", 0, 0, {"-s4p"}, keep_point, ratio);
  s.points = kept;
  s.classes = kept_classes;
  class_split_modes = max_wg_modes + 1;
  return s;
}

// The largest difference of the co-polarised coefficients lit from the far
// side.
double far_side_difference(const std::vector<fss_polar_rec>& a, const std::vector<fss_polar_rec>& b) {
  double worst = 0;
  for (std::size_t p = 0; p < a.size() && p < b.size(); ++p)
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        worst = std::max({worst, std::abs(b[p].tb[i][j] - a[p].tb[i][j]), std::abs(b[p].rb[i][j] - a[p].rb[i][j])});
  return worst;
}

}  // namespace

TEST(ScreenBlocks, UncoupledClassesGiveTheWholeElimination) {
  scratch_dir dir;
  fss_set_capacities();
  struct example {
    std::string first, second, third, incidence;
    int classes;
  };
  const example examples[] = {{cross(0), cross(0), "", "0 0", 4},
                              {cross(0), cross(0), "", "20 0", 2},
                              {cross(0), cross(0), "", "20 35", 1},
                              {square, square, "", "0 0", 4},
                              {cross(0), cross(0.5), "", "0 0", 2},
                              {cross(0), cross(0.5, 0.3), "", "0 0", 1},
                              {cross(0), square, cross(0), "0 0", 4},
                              {cross(0), square, cross(0), "20 0", 2}};
  for (const example& e : examples) {
    write_screens(e.first, e.second, e.third, e.incidence, 150);
    const solution whole = solve(1 << 30, 1.5), split = solve(1, 1.5);
    EXPECT_EQ(split.classes, std::vector<int>(3, e.classes)) << e.incidence << " " << e.second;
    ASSERT_EQ(whole.points.size(), 3u);
    ASSERT_EQ(split.points.size(), 3u);
    const double d = largest_rt_difference(whole.points, split.points);
    EXPECT_LT(d, 1e-10) << e.incidence << " " << e.second;
    ASSERT_EQ(whole.points[0].far, 1);
    double size = 0;
    for (const fss_polar_rec& p : whole.points) size = std::max({size, std::abs(p.tb[1][1]), std::abs(p.rb[2][2])});
    EXPECT_GT(size, 0.01);
    const double f = far_side_difference(whole.points, split.points);
    EXPECT_LT(f, 1e-10) << e.incidence << " " << e.second;
    std::printf(" %s, second screen %s%s: %d classes, R and T within %.1e, from the far side %.1e\n",
                e.incidence.c_str(), e.second == square ? "square" : e.second == cross(0) ? "cross" : "cross moved",
                e.third.empty() ? "" : ", a third", split.classes.back(), d, f);
  }
  // A gap of air a wavelength deep at 20 GHz: there the specular modes are
  // carried in bounded form, each joining the class it couples with (the
  // middle block's corner of that class from whole columns); every block
  // splits at every point.
  write_screens(cross(0), cross(0), "", "0 0", 150, "14.99 1 0");
  const solution whole = solve(1 << 30, 1.5), split = solve(1, 1.5);
  EXPECT_EQ(split.classes, (std::vector<int>{4, 4, 4}));
  ASSERT_EQ(split.points.size(), 3u);
  ASSERT_EQ(whole.points.size(), 3u);
  EXPECT_LT(largest_rt_difference(whole.points, split.points), 1e-10);
  EXPECT_LT(far_side_difference(whole.points, split.points), 1e-10);
}
