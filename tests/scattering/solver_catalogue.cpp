// The scattering chain on the catalogue that the mode solver computes: for a
// rectangular hole, whose TE modes the solver finds as the enclosure's own,
// the program's result equals the chain run on the analytic TE modes,
// sampled on the analytic contour points of the test support.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/results.hpp"
#include "support/analytic_modes.hpp"
#include "support/tmpdir.hpp"

namespace {

void set_command_line(const std::string& base) {
  static std::vector<std::string> args;
  static std::vector<char*> argv;
  args = {"fss", base};
  argv.clear();
  for (auto& s : args) argv.push_back(s.data());
  fss_command_line = {static_cast<int>(argv.size()), argv.data()};
}

// The program itself: structure file, solver, catalogue, sweep.
std::vector<out_block> program_rows(const std::string& base) {
  set_command_line(base);
  fss_set_capacities();
  read_input_fss();
  write_output();
  genmodes_wg();
  fss_sweep();
  return read_out_file(base + ".out");
}

// The same structure on the analytic TE modes of the hole.
std::vector<out_block> analytic_te_rows(const std::string& base, const rect_aperture& ap) {
  run_chain(base, ap, {}, 2);
  return read_out_file(base + ".out");
}

}  // namespace

TEST(SolverCatalogue, RectangularHoleGivesTheAnalyticTeChain) {
  scratch_dir dir;
  const rect_aperture ap{0, 0, 7e-3, 3e-3, 40};
  for (const char* inc : {"0 0", "25 30"}) {
    scratch_dir::write_file("s.fss", structure_text(10, 9, 0.6, 7, 3, inc, "8 28 4", 90, 250));
    std::vector<out_block> a = program_rows("s");
    std::vector<out_block> b = analytic_te_rows("s", ap);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].nwg, b[0].nwg);
    EXPECT_EQ(a[0].nflo, b[0].nflo);
    ASSERT_EQ(a[0].rows.size(), b[0].rows.size());
    for (std::size_t k = 0; k < a[0].rows.size(); ++k) {
      const out_row &p = a[0].rows[k], &q = b[0].rows[k];
      // Three decimals in the file; the contour quadratures differ.
      const double mags[4][2] = {{p.magTy, q.magTy}, {p.magTx, q.magTx}, {p.magRy, q.magRy},
                                 {p.magRx, q.magRx}};
      const double phs[4][2] = {{p.phTy, q.phTy}, {p.phTx, q.phTx}, {p.phRy, q.phRy},
                                {p.phRx, q.phRx}};
      for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(mags[c][0], mags[c][1], 0.003) << inc << " " << p.f << " column " << c;
        EXPECT_NEAR(std::remainder(phs[c][0] - phs[c][1], 360.0), 0, 0.02)
            << inc << " " << p.f << " column " << c;
      }
    }
  }
}
