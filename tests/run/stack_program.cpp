// A structure in a dielectric stack with filled holes through the program as
// a user runs it, with every option: result file, CSV table with the absorbed
// power, Touchstone files, plot, convergence passes and the waveguide
// simulator.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/analytic_modes.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

std::string example() {
  return scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/examples/radome_stack.fss");
}

// The example with another sweep and limits.
std::string with(const std::string& sweep, const std::string& fwg, const std::string& fflo) {
  std::string t = example();
  auto set = [&](const std::string& label, const std::string& value) {
    const std::size_t at = t.find('\n', t.find(label)) + 1;
    t.replace(at, t.find('\n', at) - at, value);
  };
  set("6) frequency sweep", sweep);
  set("7) largest", fwg);
  set("8) largest", fflo);
  return t;
}

std::vector<std::string> csv_rows(const std::string& name) {
  std::ifstream in(name);
  std::vector<std::string> rows;
  for (std::string l; std::getline(in, l);) rows.push_back(l);
  return rows;
}

}  // namespace

TEST(StackProgram, ExampleWithEveryResultFile) {
  scratch_dir dir;
  scratch_dir::write_file("rs.fss", example());
  const program_result r = run_program("rs -csv -s4p -plot", "");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto blocks = read_out_file("rs.out");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].rows.size(), 50u);
  EXPECT_NE(scratch_dir::read_file("rs.out").find(
                " Stack from the illuminated side (outer half-spaces air):\n"
                "   layer      0.8000  mm eps_r =    3.0000  tan_delta = 0.002000\n"
                "   screen            eps_r =    2.1000  tan_delta = 0.000400\n"
                "   layer      6.0000  mm eps_r =    1.0500  tan_delta = 0.000000\n"),
            std::string::npos);
  // Lossy layers and filling: every wave loses a little, none gains; the
  // power balance closes with the absorbed fraction.
  const auto rows = csv_rows("rs.csv");
  ASSERT_EQ(rows.size(), 51u);
  double most = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::vector<double> v;
    std::stringstream s(rows[i]);
    for (std::string item; std::getline(s, item, ',');) v.push_back(std::stod(item));
    ASSERT_EQ(v.size(), 26u);
    for (int col : {13, 24}) {  // Pabsorbed of TE, TM (from 0)
      EXPECT_GE(v[col], 0.0) << rows[i];
      EXPECT_NEAR(v[col], 1 - v[col - 1], 1e-12);
      most = std::fmax(most, v[col]);
    }
  }
  EXPECT_GT(most, 1e-3);
  const std::string s4p = scratch_dir::read_file("rs_theta0_phi0.s4p");
  EXPECT_NE(s4p.find("! reference planes: the outer surfaces of the dielectric stacks"),
            std::string::npos);
  EXPECT_NE(s4p.find("(D = 7.800000 mm)"), std::string::npos);
  EXPECT_NE(s4p.find("! ports 3, 4: the waves incident on the far side, solved as such"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists("rs.svg"));
}

TEST(StackProgram, ConvergencePassesAndWaveguideSimulator) {
  scratch_dir dir;
  scratch_dir::write_file("rs.fss", with("16 18 1", "40", "60"));
  program_result r = run_program("rs -converge -passes 10", "");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists("rs.conv"));
  EXPECT_EQ(read_out_file("rs.out").at(0).rows.size(), 3u);
  r = run_program("rs -wgs -csv", "");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_out_file("rs.out").at(0).rows.size(), 3u);
}
