// The program as a user runs it: exit status and console words.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/analytic_modes.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"


TEST(Program, MissingStructureFileFailsWithStatusOne) {
  scratch_dir dir;
  program_result r = run_program("nothing_here", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Subroutine read_input_fss fatal error message:\n"
                       " Error in opening data file nothing_here\n\n Press any key to continue ...\n"),
            std::string::npos)
      << r.out;
}

TEST(Program, AsksForTheFileNameAndNeverHangsWithoutInput) {
  scratch_dir dir;
  program_result r = run_program("", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" insert input filename\n"), std::string::npos);
  EXPECT_NE(r.out.find("Error in opening data file"), std::string::npos);
  r = run_program("", "typed_name\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Error in opening data file typed_name\n"), std::string::npos);
}

TEST(Program, BadStructureFileIsRefusedWithItsMessage) {
  scratch_dir dir;
  scratch_dir::write_file("bad.fss", "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n5)\n0 0\n");
  program_result r = run_program("bad.fss", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Error in reading block 4) in data file (else) bad.fss"), std::string::npos) << r.out;
}

// Every example runs to the result file; a lossless screen below the first
// grating lobe conserves the power of each polarisation.
TEST(Program, ExamplesRunToTheResultFile) {
  scratch_dir dir;
  // First grating lobe of each (phi, theta) block: c / (d (1 + sin theta)),
  // d the spacing of the lattice rows (10 mm, or 8.66 mm for the triangular
  // lattice at theta 0, 15, 30 degrees).
  const std::vector<double> square = {29.98};
  const std::vector<double> triangular = {34.62, 27.50, 23.08};
  for (const char* name : {"square_holes", "circular_holes", "rect_slots", "ring_slots", "cross_slots"}) {
    const std::vector<double>& lobes = std::string(name) == "circular_holes" ? triangular : square;
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss",
                               std::string(name) + ".fss");
    program_result r = run_program(name, "");
    EXPECT_EQ(r.status, 0) << name << "\n" << r.out;
    EXPECT_NE(r.out.find(" ... computing the basis functions\n"), std::string::npos);
    EXPECT_NE(r.out.find(" ... performing the frequency sweep\n"), std::string::npos);
    const std::vector<out_block> blocks = read_out_file(std::string(name) + ".out");
    ASSERT_EQ(blocks.size(), lobes.size()) << name;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      const out_block& b = blocks[k];
      EXPECT_GT(b.nwg, 0) << name;
      ASSERT_FALSE(b.rows.empty()) << name;
      for (const out_row& row : b.rows) {
        if (row.f > lobes[k] - 0.5) continue;
        auto power = [](double t_db, double r_db) {
          return std::pow(10, t_db / 10) + std::pow(10, r_db / 10);
        };
        // The file holds 3 decimals of dB: 0.0005 dB is 1.2e-4 in power.
        EXPECT_NEAR(power(row.magTy, row.magRy), 1, 3e-4) << name << " " << row.f;
        EXPECT_NEAR(power(row.magTx, row.magRx), 1, 3e-4) << name << " " << row.f;
      }
    }
    // The files of the smaller capacities, byte for byte.
    EXPECT_EQ(scratch_dir::read_file(std::string(name) + ".out"),
              scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/tests/data/example_out/" + name + ".out"))
        << name;
    // Nothing of the mode computation is left behind.
    for (const char* ext : {".apb", "_tmp.apb", "_tmp.wgm", "_tmp.crd", "_tmp.smp", "_tmp.wg2",
                            "_tmp.dat", "_tmp.pag", "_tmp.anw", "_tmp_gmat.tmp"})
      EXPECT_FALSE(std::filesystem::exists(std::string(name) + ext)) << name << ext;
  }
}

// "-modes": the table of a square hole lists its TE cutoffs, in the order of
// the catalogue, in the ".modes" file and on the console.
TEST(Program, ModeTableOfASquareHole) {
  scratch_dir dir;
  std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/square_holes.fss",
                             "sq.fss");
  program_result r = run_program("sq -modes", "");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string table = scratch_dir::read_file("sq.modes");
  EXPECT_EQ(table.substr(0, table.find('\n')), "# number kind kc[1/m] fc[GHz] Z[ohm]");
  std::istringstream in(table.substr(table.find('\n') + 1));
  // The 6 mm square: kc = (pi / 6 mm) sqrt(m^2 + n^2), (m, n) before (n, m).
  const int mn[][2] = {{1, 0}, {0, 1}, {1, 1}, {2, 0}, {0, 2}, {2, 1}, {1, 2}, {2, 2}};
  for (int k = 0; k < 8; ++k) {
    int number = 0;
    std::string kind, z;
    double kc = 0, fc = 0;
    in >> number >> kind >> kc >> fc >> z;
    const double exact = M_PI / 6e-3 * std::hypot(mn[k][0], mn[k][1]);
    EXPECT_EQ(number, k + 1);
    EXPECT_EQ(kind, "TE");
    EXPECT_NEAR(kc, exact, 1e-7 * exact);
    EXPECT_NEAR(fc, exact * 299800000.0 / (2 * M_PI) / 1e9, 1e-6 * fc);
    EXPECT_EQ(z, "-");
    EXPECT_NE(r.out.find(" " + std::to_string(k + 1) + " TE "), std::string::npos);
  }
  EXPECT_NE(r.out.find(" # number kind kc[1/m] fc[GHz] Z[ohm]\n"), std::string::npos);
  // Without the option no table is written.
  std::filesystem::remove("sq.modes");
  ASSERT_EQ(run_program("sq", "").status, 0);
  EXPECT_FALSE(std::filesystem::exists("sq.modes"));
}

namespace {

// A structure whose block 4 is the given aperture description.
std::string with_aperture(const std::string& lines, const std::string& fwg = "60") {
  return "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n" + lines + "5)\n0 0\n6)\n10 12 1\n7)\n" + fwg +
         "\n8)\n150\n";
}

void expect_refused(const std::string& aperture, const std::string& words,
                    const std::string& fwg = "60") {
  scratch_dir::write_file("ap.fss", with_aperture(aperture, fwg));
  program_result r = run_program("ap", "");
  EXPECT_EQ(r.status, 1) << aperture;
  EXPECT_NE(r.out.find(words), std::string::npos) << aperture << "\n" << r.out;
  EXPECT_EQ(r.out.find("performing the frequency sweep"), std::string::npos);
}

}  // namespace

TEST(Program, BrokenAperturesEndWithTheirMessages) {
  scratch_dir dir;
  expect_refused("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n",
                 " CLOSLIN: cannot close line\n Error in coding the input data: ier= 2\n");
  // A port line makes the solver analyse a part of the aperture only.
  expect_refused("0 0 3 0 p\n3 0 3 3\n3 3 0 3\n0 3 0 0\n",
                 " Subroutine genmodes_wg fatal error message:\n Line 1 of the aperture boundary "
                 "(block 4), \"0 0 3 0 p\", is a port line: symmetry planes are not accepted in a "
                 "structure file; describe the whole aperture\n");
  expect_refused("0 0 3 0\n3 0 3 3\n3 3 0 3\n0 3 0 0  Port\n", "Line 4 of the aperture boundary");
  expect_refused("# no element before the separator\n",
                 " Subroutine calc_mode_wg fatal error message:\n No boundary element in file ap_tmp.apb\n");
  expect_refused("-3 -3 3 -3\n3 -3 3\n", "Error reading file ap_tmp.apb at row 2");
  std::string many;
  for (int k = 0; k < 101; ++k) {
    const double x0 = -5 + 0.09 * k, x1 = x0 + 0.09;
    many += std::to_string(x0) + " 0 " + std::to_string(x1) + " 0\n";
  }
  expect_refused(many, " Subroutine calc_mode_wg fatal error message:\n Too many boundary elements: max=100\n");
  // A large hole resolved up to 1000 GHz needs more than 399 elements.
  expect_refused("-4.9 -4.9 4.9 -4.9\n4.9 -4.9 4.9 4.9\n4.9 4.9 -4.9 4.9\n-4.9 4.9 -4.9 -4.9\n",
                 " Subroutine WRITE_XYE fatal error message:\n too many elements after segmentation\n",
                 "1000");
}

// An aperture with an inner conductor runs to the end; its mode table lists
// the TEM mode first, with its impedance (60 ln(4/1.5) = 58.85 ohm).
TEST(Program, CoaxialHoleRunsWithItsTemMode) {
  scratch_dir dir;
  scratch_dir::write_file("coax.fss", with_aperture("4 0 4 0 -4 0\n1.5 0 1.5 0 -1.5 0\n", "60"));
  program_result r = run_program("coax -modes", "");
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string table = scratch_dir::read_file("coax.modes");
  std::istringstream in(table.substr(table.find('\n') + 1));
  int number;
  std::string kind;
  double kc, fc, z;
  in >> number >> kind >> kc >> fc >> z;
  EXPECT_EQ(kind, "TEM");
  EXPECT_EQ(kc, 0);
  EXPECT_EQ(fc, 0);
  EXPECT_NEAR(z, 60 * std::log(4 / 1.5), 0.1);
  EXPECT_EQ(read_out_file("coax.out").size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("coax_tmp.smpTEM"));  // read back and removed
}

// "-csv", "-s4p" and "-plot" on the examples: the ".out" file stays byte for
// byte that of a plain run, the CSV has a row per sweep point, there is a
// Touchstone file per direction and the plot.  A plain run writes none.
TEST(Program, FurtherResultFilesOfTheExamples) {
  scratch_dir dir;
  const struct { const char* name; std::vector<std::string> s4p; } examples[] = {
      {"square_holes", {"_theta0_phi0"}},
      {"circular_holes", {"_theta0_phi0", "_theta15_phi0", "_theta30_phi0"}},
      {"rect_slots", {"_theta0_phi0"}},
      {"ring_slots", {"_theta0_phi0"}}};
  for (const auto& ex : examples) {
    const std::string name = ex.name;
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss",
                               name + ".fss");
    ASSERT_EQ(run_program(name, "").status, 0) << name;
    const std::string plain = scratch_dir::read_file(name + ".out");
    for (const std::string& file : {name + ".csv", name + ".svg", name + ex.s4p[0] + ".s4p"})
      EXPECT_FALSE(std::filesystem::exists(file)) << file;
    ASSERT_EQ(run_program(name + " -csv -s4p-plot", "").status, 0) << name;
    EXPECT_EQ(scratch_dir::read_file(name + ".out"), plain) << name;
    std::size_t rows = 0;
    for (const out_block& b : read_out_file(name + ".out")) rows += b.rows.size();
    const std::string csv = scratch_dir::read_file(name + ".csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(rows + 1)) << name;
    std::size_t points = 0;
    for (const std::string& d : ex.s4p) {
      const std::string s4p = scratch_dir::read_file(name + d + ".s4p");
      EXPECT_NE(s4p.find("\n# GHz S MA R "), std::string::npos) << name << d;
      points += std::count(s4p.begin(), s4p.end(), '\n') - std::count(s4p.begin(), s4p.end(), '!') - 1;
    }
    EXPECT_EQ(points, 4 * rows) << name;  // four lines per frequency
    EXPECT_EQ(scratch_dir::read_file(name + ".svg").substr(0, 5), "<?xml") << name;
  }
}

// With "-converge" the further result files are those of the pass the result
// file holds: here the sixth pass outgrows the Floquet table after the files
// were begun anew, and the fifth pass's files are put back.
TEST(Program, FurtherResultFilesFollowTheKeptConvergencePass) {
  scratch_dir dir;
  scratch_dir::write_file("hole.fss", structure_text(10, 10, 1, 4, 4, "0 0", "10 20 5", 100, 300));
  const program_result r = run_program("hole -converge -csv -s4p -plot", "");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_NE(scratch_dir::read_file("hole.conv").find("the result file holds pass 5"), std::string::npos);
  const std::vector<out_block> out = read_out_file("hole.out");
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].rows.size(), 3u);
  std::istringstream csv(scratch_dir::read_file("hole.csv"));
  std::string line;
  std::getline(csv, line);  // header
  for (const out_row& o : out[0].rows) {
    ASSERT_TRUE(std::getline(csv, line));
    double phi, theta, f, rco_db, rco_deg, rx_db, rx_deg, tco_db;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &phi, &theta, &f, &rco_db,
                          &rco_deg, &rx_db, &rx_deg, &tco_db), 8);
    EXPECT_NEAR(f, o.f, 1e-9);
    EXPECT_NEAR(tco_db, o.magTx, 5.0001e-4);  // the TE columns are the "x" columns
    EXPECT_NEAR(rco_db, o.magRx, 5.0001e-4);
  }
  const std::string s4p = scratch_dir::read_file("hole_theta0_phi0.s4p");
  EXPECT_EQ(std::count(s4p.begin(), s4p.end(), '\n') - std::count(s4p.begin(), s4p.end(), '!') - 1, 12);
  EXPECT_NE(scratch_dir::read_file("hole.svg").find("<polyline"), std::string::npos);
}
