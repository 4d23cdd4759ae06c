// The convergence option: passes with both mode limits raised together, the
// report of every pass, and the result file of the last good pass.
#include "run/converge.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "support/analytic_modes.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

struct conv_row {
  int pass, nwg, nflo;
  double fwg, fflo, db = -1, deg = -1;  // -1: not compared
};

struct conv_report {
  std::vector<conv_row> rows;
  std::string verdict;
};

conv_report read_conv(const std::string& name) {
  std::istringstream in(scratch_dir::read_file(name));
  conv_report r;
  std::string line;
  while (std::getline(in, line)) {
    conv_row row;
    const int n = std::sscanf(line.c_str(), "%d %lf %lf %d %d %lf %*f %*f %*f %*s %lf", &row.pass,
                              &row.fwg, &row.fflo, &row.nwg, &row.nflo, &row.db, &row.deg);
    if (n >= 5)
      r.rows.push_back(row);
    else if (!line.empty())
      r.verdict = line;  // the last line of text
  }
  return r;
}

// The structure with the limits of a pass (GHz).
void write_structure(const std::string& base, double cell, double hole, double fwg, double fflo,
                     const std::string& sweep) {
  scratch_dir::write_file(base + ".fss",
                          structure_text(cell, cell, 1, hole, hole, "0 0", sweep, fwg, fflo));
}

// Largest difference of two result files in dB, over the values above the
// floor in either, and the number of values compared.
double largest_db_difference(const std::string& a, const std::string& b, int& compared) {
  const std::vector<out_block> x = read_out_file(a), y = read_out_file(b);
  double d = 0;
  compared = 0;
  for (std::size_t k = 0; k < x.size() && k < y.size(); ++k)
    for (std::size_t i = 0; i < x[k].rows.size() && i < y[k].rows.size(); ++i) {
      const out_row &p = x[k].rows[i], &q = y[k].rows[i];
      const double u[4] = {p.magTy, p.magTx, p.magRy, p.magRx};
      const double v[4] = {q.magTy, q.magTx, q.magRy, q.magRx};
      for (int j = 0; j < 4; ++j)
        if (std::max(u[j], v[j]) > converge_floor_db) {
          d = std::max(d, std::fabs(u[j] - v[j]));
          ++compared;
        }
    }
  return d;
}

void expect_no_scratch_files(const std::string& base) {
  for (const auto& e : std::filesystem::directory_iterator("."))
    EXPECT_EQ(e.path().filename().string().find(base + "_tmp"), std::string::npos) << e.path();
  EXPECT_FALSE(std::filesystem::exists(base + ".apb"));
}

double raised(double f, int pass) { return f * std::pow(converge_raise, pass - 1); }

// A "-converge" run of the hole that stops after the given passes with the
// given words in its verdict; nothing of the stopped pass is left behind.
conv_report stopped_run(const std::string& base, double hole, double fwg, double fflo,
                        const char* sweep, std::size_t passes, const std::string& words) {
  write_structure(base, 10, hole, fwg, fflo, sweep);
  const program_result r = run_program(base + " -converge", "");
  EXPECT_EQ(r.status, 0) << r.out;
  const conv_report c = read_conv(base + ".conv");
  EXPECT_EQ(c.rows.size(), passes) << scratch_dir::read_file(base + ".conv");
  EXPECT_NE(c.verdict.find(words), std::string::npos) << c.verdict;
  expect_no_scratch_files(base);
  return c;
}

// Plain runs at the limits of the kept pass and of the one after: the first
// writes the result file that was kept, the second stops with the words.
void expect_kept_and_next_fails(const std::string& base, double hole, double fwg, double fflo,
                                const char* sweep, int kept, const std::string& words) {
  write_structure("plain", 10, hole, raised(fwg, kept), raised(fflo, kept), sweep);
  ASSERT_EQ(run_program("plain", "").status, 0);
  EXPECT_EQ(scratch_dir::read_file(base + ".out"), scratch_dir::read_file("plain.out"));
  write_structure("over", 10, hole, raised(fwg, kept + 1), raised(fflo, kept + 1), sweep);
  const program_result over = run_program("over", "");
  EXPECT_EQ(over.status, 1);
  EXPECT_NE(over.out.find(words), std::string::npos) << over.out;
}

}  // namespace

TEST(Converge, ChangesSkipSmallValuesWrapPhasesAndSayWhere) {
  EXPECT_NEAR(converge_deg(), 0.132080, 1e-6);
  std::vector<converge_point> a(3), b(3);
  for (int i = 0; i < 3; ++i) {
    a[i].f = b[i].f = 1e10 * (i + 1);
    for (int q = 0; q < 4; ++q) a[i].db[q] = b[i].db[q] = -1;
  }
  // Below the floor in both passes: a large change that does not count.
  a[0].db[0] = -45, b[0].db[0] = -35, a[0].deg[0] = 0, b[0].deg[0] = 90;
  // Across the floor: it counts.
  a[1].db[1] = -31, b[1].db[1] = -29.5;
  // Phases across +-180 degrees differ by 2 degrees, not 358.
  a[2].deg[3] = 179, b[2].deg[3] = -179;
  converge_change db, deg;
  converge_compare(a, b, db, deg);
  EXPECT_DOUBLE_EQ(db.value, 1.5);
  EXPECT_EQ(db.point, 1);
  EXPECT_EQ(db.quantity, 1);
  EXPECT_NEAR(deg.value, 2, 1e-12);
  EXPECT_EQ(deg.point, 2);
  EXPECT_EQ(deg.quantity, 3);
  // Nothing above the floor: no point is named.
  for (auto& p : a) p.db[0] = p.db[1] = p.db[2] = p.db[3] = -60;
  for (auto& p : b) p.db[0] = p.db[1] = p.db[2] = p.db[3] = -60;
  converge_compare(a, b, db, deg);
  EXPECT_EQ(db.point, -1);
  EXPECT_EQ(deg.point, -1);
}

// A 2 x 2 mm hole in a 5 mm cell, below its cutoff: the reflection settles
// within a few passes; the result file is that of a plain run at the limits
// of the last pass.
TEST(Converge, SmallHoleSettlesAndKeepsItsLastPass) {
  scratch_dir dir;
  write_structure("small", 5, 2, 200, 400, "10 20 5");
  const program_result r = run_program("small -converge", "");
  ASSERT_EQ(r.status, 0) << r.out;
  const conv_report c = read_conv("small.conv");
  ASSERT_GE(c.rows.size(), 3u) << scratch_dir::read_file("small.conv");
  const conv_row& last = c.rows.back();
  EXPECT_EQ(c.verdict.rfind(" converged: from pass", 0), 0u) << c.verdict;
  EXPECT_NE(r.out.find(c.verdict.substr(1)), std::string::npos);
  EXPECT_LT(last.db, converge_db);
  EXPECT_LT(last.deg, converge_deg());
  for (std::size_t k = 0; k + 1 < c.rows.size(); ++k) EXPECT_EQ(c.rows[k].pass, static_cast<int>(k) + 1);
  for (std::size_t k = 1; k < c.rows.size(); ++k) EXPECT_GE(c.rows[k].nwg, c.rows[k - 1].nwg);
  EXPECT_NEAR(last.fwg, raised(200, last.pass), 1e-3);
  EXPECT_NEAR(last.fflo, raised(400, last.pass), 1e-3);
  expect_no_scratch_files("small");
  const std::string kept = scratch_dir::read_file("small.out");
  write_structure("plain", 5, 2, raised(200, last.pass), raised(400, last.pass), "10 20 5");
  ASSERT_EQ(run_program("plain", "").status, 0);
  EXPECT_EQ(kept, scratch_dir::read_file("plain.out"));
}

// A 4 x 4 mm hole in a 10 mm cell: the passes stop when the Floquet set of
// the sixth outgrows its table, and the result file is that of the fifth.
// Each pass's reported change bounds how far its result lies from the
// analytic-mode chain at the highest limits held (those of the fifth pass).
TEST(Converge, FloquetCapacityStopsThePassesAndTheReportedChangeBoundsTheError) {
  scratch_dir dir;
  const char* sweep = "10 20 5";
  const conv_report c = stopped_run("hole", 4, 100, 300, sweep, 5,
                                    "pass 6 ended with \"Too many Floquet modes\" (genmodes_flo); "
                                    "the result file holds pass 5");
  ASSERT_EQ(c.rows.size(), 5u);
  // The reported change falls from pass to pass.
  for (std::size_t k = 2; k < c.rows.size(); ++k) EXPECT_LT(c.rows[k].db, c.rows[k - 1].db) << k;
  expect_kept_and_next_fails("hole", 4, 100, 300, sweep, 5, "Too many Floquet modes");
  // The analytic modes of the hole at the fifth pass's limits.
  rect_aperture ap;
  ap.w = ap.h = 4e-3;
  write_structure("exact", 10, 4, raised(100, 5), raised(300, 5), sweep);
  run_chain("exact", ap);
  for (const conv_row& row : c.rows) {
    const std::string name = "p" + std::to_string(row.pass);
    write_structure(name, 10, 4, raised(100, row.pass), raised(300, row.pass), sweep);
    if (row.pass == 1) continue;
    ASSERT_EQ(run_program(name, "").status, 0);
    int n = 0;
    const double d = largest_db_difference(name + ".out", "exact.out", n);
    EXPECT_GT(n, 0);
    // 0.002 dB: the printed decimals of the two files.
    EXPECT_LE(d, row.db + 0.002) << "pass " << row.pass;
  }
}

// A 9 x 9 mm hole: the third pass would need more than the aperture modes
// held, which the estimate from the aperture's area sees before the mode
// computation; the run stops and keeps the second.
TEST(Converge, ApertureModeCapacityStopsBeforeTheOverflow) {
  scratch_dir dir;
  const char* sweep = "10 20 10";
  const conv_report c = stopped_run("big", 9, 150, 180, sweep, 2,
                                    "pass 3 ended with \"Too many waveguide modes\" (genmodes_wg); "
                                    "the result file holds pass 2, which changed by ");
  ASSERT_EQ(c.rows.size(), 2u);
  EXPECT_LE(c.rows[1].nwg, max_wg_modes);
  expect_kept_and_next_fails("big", 9, 150, 180, sweep, 2, "Too many waveguide modes");
}

// A failure at the file's own limits ends the run as without the option.
TEST(Converge, FailureOfTheFirstPassEndsTheRun) {
  scratch_dir dir;
  write_structure("first", 10, 4, 100, 1000, "10 20 10");
  const program_result r = run_program("first -converge", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Subroutine genmodes_flo fatal error message:\n Too many Floquet modes"),
            std::string::npos)
      << r.out;
}
