// The tables of the mode computation as a user meets them: a Jerusalem
// cross of 8 mm (arms 0.5 mm wide, end caps 6 x 0.5 mm) in a 10 mm lattice
// runs at a block 7 limit of 200 GHz (it once stopped at 188 GHz with "Too
// many contour elements" in the mode fields); at 300 GHz the sample points
// outgrow their table, and the message names the table, block 7 and the
// limit that fits, at which the run goes through.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "support/analytic_modes.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

// Counter-clockwise outline of the cross: arms of half-width w reaching to
// c1, caps from c1 - t to c1 of half-length h.
std::string jerusalem_cross(double w, double c1, double t, double h) {
  const double c0 = c1 - t;
  const std::vector<std::pair<double, double>> p = {
      {c0, -w},  {c0, -h},  {c1, -h},  {c1, h},   {c0, h},   {c0, w},   {w, w},
      {w, c0},   {h, c0},   {h, c1},   {-h, c1},  {-h, c0},  {-w, c0},  {-w, w},
      {-c0, w},  {-c0, h},  {-c1, h},  {-c1, -h}, {-c0, -h}, {-c0, -w}, {-w, -w},
      {-w, -c0}, {-h, -c0}, {-h, -c1}, {h, -c1},  {h, -c0},  {w, -c0},  {w, -w}};
  std::ostringstream o;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto& a = p[i];
    const auto& b = p[(i + 1) % p.size()];
    o << a.first << ' ' << a.second << ' ' << b.first << ' ' << b.second << '\n';
  }
  return o.str();
}

void write_cross(const std::string& base, double fwg) {
  std::ostringstream s;
  s.precision(10);
  s << "Jerusalem cross\n8 mm\n1) cell dimensions a b [mm]\n10 10\n2) skew angle [deg]\n90\n"
    << "3) metal thickness [mm]\n0.2\n4) aperture boundary [mm]\n"
    << jerusalem_cross(0.25, 4, 0.5, 3) << "5) incidence theta phi [deg]\n0 0\n"
    << "6) frequency sweep start end step [GHz]\n8 26 6\n"
    << "7) largest frequency of the aperture modes [GHz]\n" << fwg
    << "\n8) largest frequency of the Floquet modes [GHz]\n300\n";
  scratch_dir::write_file(base + ".fss", s.str());
}

// Below the first grating lobe (30 GHz) a lossless screen conserves the
// power of each polarisation (three decimals of dB in the file).
void expect_power_conserved(const std::string& base) {
  const std::vector<out_block> blocks = read_out_file(base + ".out");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_GT(blocks[0].nwg, 0);
  ASSERT_EQ(blocks[0].rows.size(), 4u);
  for (const out_row& r : blocks[0].rows) {
    EXPECT_NEAR(std::pow(10, r.magTy / 10) + std::pow(10, r.magRy / 10), 1, 3e-4) << r.f;
    EXPECT_NEAR(std::pow(10, r.magTx / 10) + std::pow(10, r.magRx / 10), 1, 3e-4) << r.f;
  }
}

}  // namespace

TEST(ModeTables, JerusalemCrossRunsAt200GHzAndHigherLimitsNameTheTableThatFits) {
  scratch_dir dir;
  write_cross("jc200", 200);
  program_result r = run_program("jc200", "");
  ASSERT_EQ(r.status, 0) << r.out;
  expect_power_conserved("jc200");

  write_cross("jc300", 300);
  r = run_program("jc300", "");
  EXPECT_EQ(r.status, 1);
  const std::string head =
      " Subroutine calc_mode_wg fatal error message:\n"
      " Mode solver table of sample points (xypts) outgrown at block 7 = 300 GHz: ";
  const std::size_t k = r.out.find(head);
  ASSERT_NE(k, std::string::npos) << r.out;
  const std::string line = r.out.substr(k + head.size(), r.out.find('\n', k + head.size()) - k - head.size());
  // "<need> for 1000; block 7 up to <F> GHz fits", then the block 7 line.
  std::istringstream in(line);
  long need = 0;
  std::string word;
  in >> need >> word;
  EXPECT_GT(need, 1000);
  EXPECT_EQ(word, "for");
  const std::size_t up = line.find("; block 7 up to ");
  ASSERT_NE(up, std::string::npos) << line;
  const double fit = std::stod(line.substr(up + 16));
  EXPECT_EQ(line.substr(line.size() - 9), " GHz fits");
  EXPECT_NE(r.out.find("\n line 43 of jc300.fss: \"300\"\n"), std::string::npos) << r.out;
  EXPECT_GT(fit, 200);
  EXPECT_LT(fit, 300);

  std::ostringstream f;
  f.precision(10);
  f << fit;
  write_cross("jcfit", fit);
  r = run_program("jcfit", "");
  EXPECT_EQ(r.status, 0) << f.str() << "\n" << r.out;
}
