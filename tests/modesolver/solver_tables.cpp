// The tables of a mode computation counted before the work: the counts are
// those the formulations then meet (one entry less than they need is
// refused, as many as they need is taken), each outgrown table has its own
// message with block 7 and the limit that fits, and nothing is computed
// before the refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modesolver/bessel_zeros.hpp"
#include "modesolver/solver_tables.hpp"
#include "records/modefields.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/catalogue.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

class SolverTables : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override { fss_set_capacities(); }
};

// The counts of one kind's run of the driver on the coded contour: basis
// functions, chains and enclosing-guide modes as the formulation left them.
struct run_counts {
  int nfb, chains, namo;
};
run_counts counts_of(const std::vector<std::string>& boundary, double fghz, const char* kind) {
  code_boundary(boundary, fghz);
  run_driver(std::string(kind) + "\n");
  EXPECT_EQ(errors.code, 0) << errors.message;
  int chains = 0;
  while (chains < ltra_rec::max_entries && ltra[chains + 1] != 0) ++chains;
  return {fbo.nfb, chains, amo.n};
}

// The message of a refused mode computation (the fatal report trapped).
std::string refusal(const std::vector<std::string>& boundary, double fghz) {
  {
    std::ofstream apb("job.apb");
    for (const std::string& line : boundary) apb << line << '\n';
  }
  set_fatal_trap(true);
  std::string message;
  try {
    calc_mode_wg("job", fghz * 1e9, 3, 0.0);
  } catch (const fss_fatal_error& e) {
    EXPECT_EQ(e.routine, "calc_mode_wg");
    message = e.message;
  }
  set_fatal_trap(false);
  return message;
}

bool outgrown_at(const std::vector<std::string>& boundary, double fghz, solver_table_fault& f) {
  code_boundary(boundary, fghz);
  return solver_tables_outgrown(f);
}

// The limit in "block 7 up to <F> GHz fits".
double fitting_limit(const std::string& message) {
  const std::string key = "block 7 up to ";
  std::size_t k = message.find(key);
  return k == std::string::npos ? -1 : std::stod(message.substr(k + key.size()));
}

const std::vector<std::string> lshape = {"0 0 6 0", "6 0 6 3", "6 3 3 3",
                                         "3 3 3 6", "3 6 0 6", "0 6 0 0"};

}  // namespace

// The L-shape at 60 GHz: each table taken exactly as large as the
// formulation runs of TE and TM need it holds the aperture; one entry less
// is refused with that table named, and the formulation itself then fails.
TEST_F(SolverTables, CountsAreThoseTheFormulationsMeet) {
  const run_counts te = counts_of(lshape, 60, "te"), tm = counts_of(lshape, 60, "tm");
  ASSERT_GT(tm.nfb, te.nfb);  // the corner functions of TM
  ASSERT_GT(te.chains, 0);
  solver_table_fault f;
  code_boundary(lshape, 60);
  EXPECT_FALSE(solver_tables_outgrown(f)) << f.record;
  const int namo = std::max(te.namo, tm.namo), chains = std::max(te.chains, tm.chains);
  code_boundary(lshape, 60);
  amo.cap = namo, fbo.cap = tm.nfb, ltra.cap = chains;
  EXPECT_FALSE(solver_tables_outgrown(f)) << f.record;
  struct {
    int* cap;
    int room;
    const char* record;
    bool by_limit;
  } cases[] = {{&amo.cap, namo - 1, "amo", true},
               {&fbo.cap, tm.nfb - 1, "fbo", true},
               {&ltra.cap, chains - 1, "ltra", false}};
  for (const auto& c : cases) {
    code_boundary(lshape, 60);
    amo.cap = namo, fbo.cap = tm.nfb, ltra.cap = chains;
    *c.cap = c.room;
    ASSERT_TRUE(solver_tables_outgrown(f)) << c.record;
    EXPECT_EQ(f.record, c.record);
    EXPECT_EQ(f.capacity, c.room);
    EXPECT_EQ(f.by_limit, c.by_limit);
    EXPECT_EQ(errors.code, 0);
    // The formulations, run with that capacity, fail on it too.
    run_driver("te,tm\n");
    EXPECT_EQ(errors.code, 2014) << c.record;
  }
  // Sample points (as many as the driver places) and contour rows of the
  // mode fields.
  code_boundary(lshape, 60);
  run_driver("te\n");
  const int placed = xypts.n;
  code_boundary(lshape, 60);
  xypts.cap = placed;
  EXPECT_FALSE(solver_tables_outgrown(f)) << f.record;
  xypts.cap = placed - 1;
  ASSERT_TRUE(solver_tables_outgrown(f));
  EXPECT_EQ(f.record, "xypts");
  EXPECT_EQ(f.need, placed);
  code_boundary(lshape, 60);
  table.cap = blok2.n - 1;
  ASSERT_TRUE(solver_tables_outgrown(f));
  EXPECT_EQ(f.record, "table");
  EXPECT_EQ(f.need, blok2.n);
  table.cap = 0;
}

// A 20 mm L-shape at 140 GHz has more than 800 enclosing-guide modes below
// twice the limit: refused before any mode is computed, with the table,
// block 7 and the largest limit (to four digits) that fits, which does.
TEST_F(SolverTables, EnclosingModesRefusedBeforeTheWorkWithTheLimitThatFits) {
  const std::vector<std::string> big = {"0 0 20 0", "20 0 20 20", "20 20 10 20",
                                        "10 20 10 10", "10 10 0 10", "0 10 0 0"};
  const std::string m = refusal(big, 140);
  EXPECT_EQ(m.rfind("Mode solver table of enclosing-guide modes (amo) outgrown at block 7 = 140 GHz: "
                    "more than 800; block 7 up to ",
                    0),
            0u)
      << m;
  const double fit = fitting_limit(m);
  EXPECT_GT(fit, 100);
  EXPECT_LT(fit, 140);
  EXPECT_FALSE(std::filesystem::exists("job.wgm"));  // nothing computed
  solver_table_fault f;
  EXPECT_FALSE(outgrown_at(big, fit, f)) << f.record;
  // The next value of four digits no longer fits.
  const double step = std::pow(10.0, std::floor(std::log10(fit)) - 3);
  EXPECT_TRUE(outgrown_at(big, fit + step, f));
  EXPECT_EQ(f.record, "amo");
}

// More than 30 chains (31 notches in the top side, between 32 pieces of it
// on the enclosure wall): their number does not depend on the limit.
TEST_F(SolverTables, ChainsRefusedWhateverTheLimit) {
  const std::vector<std::string> comb = notched_comb();
  EXPECT_EQ(refusal(comb, 10),
            "Mode solver table of chains of basis functions (ltra) outgrown at block 7 = 10 GHz: "
            "more than 30; a lower block 7 does not reduce them");
}

// A 7 mm circular hole, whose modes are those of its circular enclosure:
// at 1000 GHz its enclosure's modes reach beyond the zeros a plain run
// tabulates (below 70).  The tables of a convergence pass at eight times
// the file's limit (its enclosing-guide modes 64 times a plain run's) hold
// it, the zeros reaching further; with the zeros held to a plain run's
// range they did not, and the table of zeros was named.
TEST_F(SolverTables, BesselZerosOfTheCircularEnclosureGrowWithThePass) {
  const std::vector<std::string> circle = {"3.5 0 3.5 0 -3.5 0"};
  solver_table_fault f;
  EXPECT_TRUE(outgrown_at(circle, 1000, f));  // a plain run's tables
  solver_scale = 8;
  EXPECT_FALSE(outgrown_at(circle, 1000, f)) << f.record;
  EXPECT_GT(bessel_zero_range(), 70);
  EXPECT_LE(bessel_zero_range(), bzero_reach);
  EXPECT_EQ(bzero_reach, 8 * bzero_limit);
  // The zeros held to a plain run's range.
  code_boundary(circle, 1000);
  bzero_reach = bzero_limit;
  EXPECT_TRUE(solver_tables_outgrown(f));
  EXPECT_EQ(f.record, "bzte");
  EXPECT_EQ(f.capacity, 643);
  solver_scale = 1;
  code_boundary(circle, 100);
  EXPECT_EQ(bzero_reach, bzero_limit);
}
