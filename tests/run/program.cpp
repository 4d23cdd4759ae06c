// The program as a user runs it: exit status and console words.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "run/options.hpp"
#include "support/analytic_modes.hpp"
#include "support/result_files.hpp"
#include "support/converge_run.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

// The run must end with status 1 and print the given words.
void expect_fatal_run(const std::string& args, const std::string& words) {
  program_result r = run_program(args, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(words), std::string::npos) << r.out;
}

}  // namespace

TEST(Program, MissingStructureFileFailsWithStatusOne) {
  scratch_dir dir;
  expect_fatal_run("nothing_here", " Subroutine read_input_fss fatal error message:\n"
                                   " Error in opening data file nothing_here.fss: No such file or "
                                   "directory\n\n Press any key to continue ...\n");
}

TEST(Program, AsksForTheFileNameAndNeverHangsWithoutInput) {
  scratch_dir dir;
  program_result r = run_program("", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" insert input filename\n"), std::string::npos);
  EXPECT_NE(r.out.find("Error in opening data file"), std::string::npos);
  r = run_program("", "typed_name\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Error in opening data file typed_name.fss: No such file or directory\n"),
            std::string::npos);
}

// File errors name the path tried and the system's reason: a structure in
// a folder without write permission, an output folder there, a structure
// whose name differs from the file only by its extension's case.
TEST(Program, FileErrorsNameThePathAndTheSystemsReason) {
  scratch_dir dir;
  std::filesystem::permissions(dir.path("."), std::filesystem::perms::all ^
                                                  std::filesystem::perms::group_write ^
                                                  std::filesystem::perms::others_write);
  std::filesystem::create_directory("ro");
  scratch_dir::write_file("ro/ro.fss", structure_text(10, 10, 0.5, 6, 6, "0 0", "10 12 1", 60, 150));
  std::filesystem::permissions("ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                         std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                         std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  const std::string fss = as_ordinary_user() + FSS_BINARY;
  program_result r = run_command(fss + " ro/ro < /dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Subroutine read_input_fss fatal error message:\n"
                       " Error in opening tmp file ro/ro.apb: Permission denied\n"),
            std::string::npos)
      << r.out;
  // The output folder elsewhere: the run works from the read-only folder.
  std::filesystem::create_directory("out");
  std::filesystem::permissions("out", std::filesystem::perms::all);
  r = run_command(fss + " ro/ro -o out < /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists("out/ro.out"));
  r = run_command(fss + " ro/ro -o ro < /dev/null");
  EXPECT_NE(r.out.find(" Error in opening tmp file ro/ro.apb: Permission denied\n"), std::string::npos) << r.out;
  r = run_command(fss + " ro/ro -o ro/new < /dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Error in making the output folder ro/new: Permission denied\n"), std::string::npos)
      << r.out;
  // "UP.FSS" exists; the program reads "UP.FSS.fss" and says so.
  scratch_dir::write_file("UP.FSS", scratch_dir::read_file("ro/ro.fss"));
  r = run_program("UP.FSS", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Error in opening data file UP.FSS.fss: No such file or directory\n"
                       " the file UP.FSS exists, but a structure file is read from <name>.fss, with "
                       "the extension in lower case: rename it UP.fss\n"),
            std::string::npos)
      << r.out;
}

// "bash run.sh mine.fss" from another folder runs the structure of that
// folder.  The script is copied into a stand-in repository whose install
// script and cmake do nothing and whose build/fss is the program.
TEST(Program, RunScriptTakesPathsFromTheCallersFolder) {
  scratch_dir dir;
  for (const char* d : {"repo/scripts", "repo/build", "bin", "work/sub"}) std::filesystem::create_directories(d);
  std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/run.sh", "repo/run.sh");
  scratch_dir::write_file("repo/scripts/install-deps.sh", "exit 0\n");
  scratch_dir::write_file("bin/cmake", "#!/bin/sh\nexit 0\n");
  std::filesystem::permissions("bin/cmake", std::filesystem::perms::owner_all);
  std::filesystem::create_symlink(FSS_BINARY, "repo/build/fss");
  scratch_dir::write_file("work/sub/mine.fss", structure_text(10, 10, 0.5, 6, 6, "0 0", "10 12 1", 60, 150));
  const std::string path = "PATH=" + dir.path("bin") + ":$PATH ";
  program_result r = run_command("cd work && " + path + "bash ../repo/run.sh sub/mine.fss -csv < /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_out_file("work/sub/mine.out").size(), 1u);
  EXPECT_TRUE(std::filesystem::exists("work/sub/mine.csv"));
  r = run_command("cd work/sub && " + path + "bash ../../repo/run.sh mine -o results < /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(scratch_dir::read_file("work/sub/results/mine.out"), scratch_dir::read_file("work/sub/mine.out"));
  // The options reach the program as given.
  r = run_command("cd work && " + path + "bash ../repo/run.sh --version");
  EXPECT_EQ(r.out, std::string(" fss ") + fss_version + "\n");
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

// A result is continuous in the angles: at theta = 0 the two incident waves
// are those of the plane of incidence phi, so that every co- and
// cross-polarised coefficient at theta = 0 is that at theta = 0.01 degree,
// within 1e-4.  The 8 x 2 mm slots at 18 GHz (near their resonance, where a
// wave in the plane phi = 45 degrees gives half its power to the other
// polarisation), and an L-shaped hole, which does so at every phi but that
// of its symmetry plane (45 degrees), also at phi = 0.
TEST(Program, ResultsAreContinuousAtNormalIncidence) {
  scratch_dir dir;
  const std::string slot = "-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n";
  const std::string lshape = "-3 -3 3 -3\n3 -3 3 -1\n3 -1 -1 -1\n-1 -1 -1 3\n-1 3 -3 3\n-3 3 -3 -3\n";
  // The largest cross-polarised coefficient lies between the bounds (dB).
  struct { const std::string* aperture; double phi, cross_above, cross_below; } cases[] = {
      {&slot, 45, -6.5, 0}, {&slot, 30, -10, 0}, {&slot, 135, -6.5, 0}, {&slot, 0, -101, -99},
      {&lshape, 0, -30, 0}, {&lshape, 45, -101, -60}, {&lshape, -60, -30, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.phi) + (c.aperture == &slot ? " slot" : " L"));
    char inc[64];
    std::snprintf(inc, sizeof inc, "0 0.01 0.01 %g %g 1", c.phi, c.phi);
    scratch_dir::write_file("c.fss", "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n" + *c.aperture + "5)\n" +
                                         inc + "\n6)\n18 18 1\n7)\n100\n8)\n300\n");
    ASSERT_EQ(run_program("c -csv -s4p", "").status, 0);
    std::string error;
    const csv_table t = read_csv("c.csv", error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(t.rows.size(), 2u);
    double largest_cross = -200;
    for (const char* w : {"TE", "TM"})
      for (const char* q : {"Rco", "Rcross", "Tco", "Tcross"}) {
        const std::string col = std::string(w) + "_" + q;
        auto z = [&](std::size_t row) {
          return std::polar(std::pow(10, t.at(row, col + "[dB]") / 20), t.at(row, col + "[deg]") * M_PI / 180);
        };
        EXPECT_LT(std::abs(z(0) - z(1)), 1e-4) << col << " " << z(0) << " " << z(1);
        if (std::string(q).find("cross") != std::string::npos)
          largest_cross = std::max(largest_cross, t.at(0, col + "[dB]"));
      }
    // The Touchstone file names the waves of normal incidence off phi = 0.
    const std::string s4p = scratch_dir::read_file("c_theta0_phi" + std::to_string(static_cast<int>(c.phi)) + ".s4p");
    EXPECT_EQ(s4p.find("!   in the plane phi = 0; in the plane phi: E along (-sin phi, cos phi) and\n"
                       "!   (cos phi, sin phi), the limits of the TE and TM waves as theta -> 0\n") !=
                  std::string::npos,
              c.phi != 0)
        << s4p.substr(0, 600);
    // The cross-polarised waves are there, or absent by symmetry.
    EXPECT_GT(largest_cross, c.cross_above);
    EXPECT_LT(largest_cross, c.cross_below);
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
  EXPECT_EQ(table.substr(0, table.find('\n')), "# number kind kc[1/m] fc[GHz] Z[ohm] screen aperture");
  std::istringstream in(table.substr(table.find('\n') + 1));
  // The 6 mm square: kc = (pi / 6 mm) sqrt(m^2 + n^2), (m, n) before (n, m).
  const int mn[][2] = {{1, 0}, {0, 1}, {1, 1}, {2, 0}, {0, 2}, {2, 1}, {1, 2}, {2, 2}};
  for (int k = 0; k < 8; ++k) {
    int number = 0, screen = 0, aperture = 0;
    std::string kind, z;
    double kc = 0, fc = 0;
    in >> number >> kind >> kc >> fc >> z >> screen >> aperture;
    EXPECT_EQ(screen, 1);
    EXPECT_EQ(aperture, 1);
    const double exact = M_PI / 6e-3 * std::hypot(mn[k][0], mn[k][1]);
    EXPECT_EQ(number, k + 1);
    EXPECT_EQ(kind, "TE");
    EXPECT_NEAR(kc, exact, 1e-7 * exact);
    EXPECT_NEAR(fc, exact * 299800000.0 / (2 * M_PI) / 1e9, 1e-6 * fc);
    EXPECT_EQ(z, "-");
    EXPECT_NE(r.out.find(" " + std::to_string(k + 1) + " TE "), std::string::npos);
  }
  EXPECT_NE(r.out.find(" # number kind kc[1/m] fc[GHz] Z[ohm] screen aperture\n"), std::string::npos);
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

// Every refusal names the line of the structure file (block 4 starts at line
// 10 in these files) and the element's end points.
TEST(Program, BrokenAperturesEndWithTheirMessages) {
  scratch_dir dir;
  expect_refused("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n",
                 " CLOSLIN: cannot close line\n Error in coding the input data: ier= 2\n"
                 " line 12 of ap.fss (from (3, 3) to (-3, 3)): \"3 3 -3 3\"\n");
  // A port line makes the solver analyse a part of the aperture only.
  expect_refused("0 0 3 0 p\n3 0 3 3\n3 3 0 3\n0 3 0 0\n",
                 " Subroutine genmodes_wg fatal error message:\n Line 1 of the aperture boundary "
                 "(block 4), \"0 0 3 0 p\", is a port line: symmetry planes are not accepted in a "
                 "structure file; describe the whole aperture\n line 10 of ap.fss: \"0 0 3 0 p\"\n");
  expect_refused("0 0 3 0\n3 0 3 3\n3 3 0 3\n0 3 0 0  Port\n", "Line 4 of the aperture boundary");
  expect_refused("# no element before the separator\n",
                 " Subroutine read_input_fss fatal error message:\n Error in reading block 4) in "
                 "data file ap.fss\n line 10 of ap.fss (no boundary element before this line): "
                 "\"# no element before the separator\"\n");
  expect_refused("-3 -3 3 -3\n3 -3 3\n",
                 " Error in reading block 4) in data file ap.fss\n"
                 " line 11 of ap.fss (fewer than four values): \"3 -3 3\"\n");
  std::string many;
  for (int k = 0; k < 101; ++k) {
    const double x0 = -5 + 0.09 * k, x1 = x0 + 0.09;
    many += std::to_string(x0) + " 0 " + std::to_string(x1) + " 0\n";
  }
  expect_refused(many, " Subroutine calc_mode_wg fatal error message:\n Too many boundary elements: "
                       "max=100\n line 110 of ap.fss (from (4, 0) to (4.09, 0)): \"4.000000 0 "
                       "4.090000 0\"\n");
  // A long thin slot resolved up to 1600 GHz needs more than 399 elements
  // (and fewer aperture modes than the table holds: a large hole at such a
  // limit is refused for its mode count first).
  expect_refused("-4.9 -0.05 4.9 -0.05\n4.9 -0.05 4.9 0.05\n4.9 0.05 -4.9 0.05\n-4.9 0.05 -4.9 -0.05\n",
                 " Subroutine WRITE_XYE fatal error message:\n too many elements after "
                 "segmentation\n line 19 of ap.fss: \"1600\"\n",
                 "1600");
  expect_refused("-4.9 -4.9 4.9 -4.9\n4.9 -4.9 4.9 4.9\n4.9 4.9 -4.9 4.9\n-4.9 4.9 -4.9 -4.9\n",
                 " Subroutine genmodes_wg fatal error message:\n Too many waveguide modes: the limit of "
                 "block 7 (1000 GHz) asks for about 6713 aperture modes",
                 "1000");
  // A limit too low for the segmentation (1.5 MHz) names block 7 too.
  expect_refused("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n",
                 " AUTOSEG: no fmax specified.\n Error in coding the input data: ier= 102\n"
                 " the largest frequency of the aperture modes (block 7) must be at least 0.006 "
                 "GHz to segment this boundary\n line 19 of ap.fss: \"1.5D-3\"\n",
                 "1.5D-3");
}

// Outlines that bound no aperture, or more than one, are refused before the
// mode computation, each with the lines at fault.
TEST(Program, InvalidGeometryIsRefused) {
  scratch_dir dir;
  const std::string square = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";
  // A bow-tie crosses itself.
  expect_refused("-3 -3 3 3\n3 3 3 -3\n3 -3 -3 3\n-3 3 -3 -3\n",
                 " XYSHAPE: boundary elements cross, touch or overlap\n"
                 " Error in coding the input data: ier= 5\n"
                 " line 10 of ap.fss (from (-3, -3) to (3, 3)): \"-3 -3 3 3\"\n"
                 " line 12 of ap.fss (from (3, -3) to (-3, 3)): \"3 -3 -3 3\"\n");
  // A closed line beside the outer one would be taken as an inner conductor.
  expect_refused(square + "4 -1 4.5 -1\n4.5 -1 4.5 1\n4.5 1 4 1\n4 1 4 -1\n",
                 " XYLINES: a closed line lies outside the outer line\n"
                 " Error in coding the input data: ier= 6\n line 14 of ap.fss");
  // An inner circle across the outer line.
  expect_refused(square + "3.5 0 3.5 0 1.5 0\n",
                 " XYSHAPE: boundary elements cross, touch or overlap\n"
                 " Error in coding the input data: ier= 5\n"
                 " line 11 of ap.fss (from (3, -3) to (3, 3)): \"3 -3 3 3\"\n"
                 " line 14 of ap.fss (from (3.5, 0) to (3.5, 0)): \"3.5 0 3.5 0 1.5 0\"\n");
  // Three nested lines: the innermost lies inside an inner conductor.
  expect_refused("-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n" + square +
                     "-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n",
                 " XYLINES: a closed line lies inside an inner line\n");
  // A line of no area, arcs through three points on one line.
  expect_refused("-2 0 2 0\n2 0 -2 0\n",
                 " XYSHAPE: boundary elements cross, touch or overlap\n");
  expect_refused("-3 -3 3 -3 0 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n",
                 " XYSHAPE: arc whose three points lie on one line\n"
                 " Error in coding the input data: ier= 4\n"
                 " line 10 of ap.fss (from (-3, -3) to (3, -3)): \"-3 -3 3 -3 0 -3\"\n");
  expect_refused("-3 -3 3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n",
                 " XYSHAPE: arc whose three points lie on one line\n");
  // Holes that meet their neighbours: larger than the 10 mm cell, equal to
  // it, longer than it along x only.
  expect_refused("-6 -6 6 -6\n6 -6 6 6\n6 6 -6 6\n-6 6 -6 -6\n",
                 " Subroutine genmodes_wg fatal error message:\n The aperture does not fit in "
                 "the unit cell: it meets its neighbour moved by (-10, -10) mm, which leaves no "
                 "screen between them\n line 4 of ap.fss: \"10 10\"\n"
                 " line 10 of ap.fss: \"-6 -6 6 -6\"\n");
  expect_refused("-5 -5 5 -5\n5 -5 5 5\n5 5 -5 5\n-5 5 -5 -5\n",
                 "The aperture does not fit in the unit cell: it meets its neighbour moved by");
  expect_refused("2 -1 12.5 -1\n12.5 -1 12.5 1\n12.5 1 2 1\n2 1 2 -1\n",
                 "it meets its neighbour moved by (-10, 0) mm");
}

// Wrong values and blocks are refused by the reader with the line as read.
TEST(Program, StructureFaultsPointAtTheirLine) {
  scratch_dir dir;
  scratch_dir::write_file("no3.fss", "t\nt\n1)\n10 10\n2)\n90\n0.5\n4)\n-3 -3 3 -3\n");
  expect_fatal_run("no3", " Subroutine read_input_fss fatal error message:\n Missing block label 3) "
                          "in data file no3.fss\n line 7 of no3.fss: \"0.5\"\n");
  // A 1e-12 mm cell holding a 6 mm hole.
  scratch_dir::write_file("tiny.fss", with_aperture("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n")
                                          .replace(7, 5, "1e-12 1e-12"));
  expect_fatal_run("tiny", " the cell period a must lie between 0.001 and 10000 mm (read 1e-12)\n"
                           " line 4 of tiny.fss: \"1e-12 1e-12\"\n");
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

namespace {

// Floquet modes of a rectangular a x b cell at (f, theta, phi = 0) below the
// Floquet limit fflo, counted over the harmonic window of the program
// (|m| <= a kmax / (2 pi), |n| <= b kmax / (2 pi)), two modes per harmonic.
int floquet_count(double a, double b, double f_ghz, double theta_deg, double fflo_ghz) {
  const double c = 299800000.0, twopi = 6.2831853071796;
  const double kmax = twopi * fflo_ghz * 1e9 / c;
  const double kx0 = twopi * f_ghz * 1e9 / c * std::sin(theta_deg * M_PI / 180);
  const int mmax = static_cast<int>(a * kmax / twopi), nmax = static_cast<int>(b * kmax / twopi);
  int count = 0;
  for (int m = -mmax; m <= mmax; ++m)
    for (int n = -nmax; n <= nmax; ++n)
      if (std::hypot(kx0 + twopi * m / a, twopi * n / b) <= kmax) count += 2;
  return count;
}

}  // namespace

// Rows written before a fatal error stay complete: a theta sweep whose third
// angle needs more Floquet modes than the program holds leaves the rows of
// the first two angles exactly as a sweep of those two angles alone.
TEST(Program, RowsBeforeAFatalErrorStayComplete) {
  scratch_dir dir;
  // A Floquet limit at which the first two angles fit and the third does
  // not, at both frequencies (10 and 11 GHz).  In a square cell the count
  // at normal incidence jumps past the capacity in steps of 16 (the
  // eight-fold symmetry of the harmonic disc), and no later angle exceeds
  // it; a 10 x 9 mm cell breaks that symmetry.
  const int cap = max_flo_modes;
  const double a = 0.010, b = 0.009;
  double fflo = 0, step = 0;
  // About cap / 2 harmonics in the disc of radius kmax: f8 near c sqrt(cap / (2 pi a b)).
  const double f8_0 = 299.8e-3 / std::sqrt(a * b) * std::sqrt(cap / (2 * M_PI));
  for (double d : {10.0, 15.0, 20.0, 25.0, 30.0})
    for (double f8 = 0.97 * f8_0; f8 < 1.03 * f8_0 && fflo == 0; f8 += 0.01) {
      bool fits = true;
      for (double f : {10.0, 11.0})
        for (double th : {0.0, d}) fits = fits && floquet_count(a, b, f, th, f8) <= cap;
      if (fits && floquet_count(a, b, 10, 2 * d, f8) > cap) fflo = f8, step = d;
    }
  ASSERT_GT(fflo, 0) << "no Floquet limit found for a capacity of " << cap;
  char limit[32];
  std::snprintf(limit, sizeof limit, "%.2f", fflo);
  auto structure = [&](double theta_end) {
    char inc[64];
    std::snprintf(inc, sizeof inc, "0 %g %g 0 0 1", theta_end, step);
    return "rows\nsurvive\n1)\n10 9\n2)\n90\n3)\n0.5\n4)\n-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n"
           "-3 3 -3 -3\n5)\n" + std::string(inc) + "\n6)\n10 11 1\n7)\n30\n8)\n" + limit + "\n";
  };
  scratch_dir::write_file("three.fss", structure(2 * step));
  scratch_dir::write_file("two.fss", structure(step));
  program_result three = run_program("three", "");
  EXPECT_EQ(three.status, 1);
  // The message names the count at the point where it failed and the limit.
  const std::string words = " Subroutine genmodes_flo fatal error message:\n Too many Floquet modes: the "
                            "limit of block 8 (" + std::string(limit) + " GHz) asks for " +
                            std::to_string(floquet_count(a, b, 10, 2 * step, std::stod(limit))) +
                            " Floquet modes at 10 GHz, theta " + std::to_string(static_cast<int>(2 * step)) +
                            " deg, phi 0 deg, and the program holds " + std::to_string(cap) +
                            "; a block 8 limit below ";
  EXPECT_NE(three.out.find(words), std::string::npos) << three.out << words;
  ASSERT_EQ(run_program("two", "").status, 0);
  const std::string rows = scratch_dir::read_file("two.out");
  EXPECT_EQ(scratch_dir::read_file("three.out"), rows);
  const std::vector<out_block> blocks = read_out_file("two.out");
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].rows.size(), 2u);
  EXPECT_EQ(blocks[1].rows.size(), 2u);
  EXPECT_LE(blocks[1].nflo, cap);
}

namespace {

// Starts the program in `dir` on `name`, console to /dev/null.
pid_t start_program(const std::string& dir, const std::string& name) {
  std::cout.flush();
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(98);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execl(FSS_BINARY, FSS_BINARY, name.c_str(), static_cast<char*>(nullptr));
    _exit(99);
  }
  return pid;
}

int finish(pid_t pid) {
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Four structures of one sweep each, at oblique incidence (the coupling
// integrals at every frequency).
std::vector<std::pair<std::string, std::string>> four_structures() {
  auto s = [](const std::string& boundary, const std::string& fwg) {
    return "four\nstructures\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n" + boundary +
           "5)\n20 30\n6)\n8 24 0.5\n7)\n" + fwg + "\n8)\n120\n";
  };
  return {{"square", s("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n", "80")},
          {"slot", s("-4 -1 4 -1\n4 -1 4 1\n4 1 -4 1\n-4 1 -4 -1\n", "80")},
          {"ring", s("-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n-1.5 -1.5 -1.5 1.5\n"
                     "-1.5 1.5 1.5 1.5\n1.5 1.5 1.5 -1.5\n1.5 -1.5 -1.5 -1.5\n", "60")},
          {"cross", s("-4 -1 -1 -1\n-1 -1 -1 -4\n-1 -4 1 -4\n1 -4 1 -1\n1 -1 4 -1\n4 -1 4 1\n"
                      "4 1 1 1\n1 1 1 4\n1 4 -1 4\n-1 4 -1 1\n-1 1 -4 1\n-4 1 -4 -1\n", "80")}};
}

}  // namespace

// Runs of different structures in one folder, and of structures of one name
// in different folders started from one folder, do not interfere: each
// gives the result file of a run alone, byte for byte.
TEST(Program, ConcurrentRunsEqualRunsOneAfterTheOther) {
  scratch_dir dir;
  const auto four = four_structures();
  std::vector<std::string> alone;
  for (const auto& [name, text] : four) {
    scratch_dir::write_file(name + ".fss", text);
    ASSERT_EQ(finish(start_program("", name)), 0) << name;
    alone.push_back(scratch_dir::read_file(name + ".out"));
    std::filesystem::remove(name + ".out");
  }
  std::vector<pid_t> pids;
  for (const auto& [name, text] : four) pids.push_back(start_program("", name));
  for (std::size_t k = 0; k < four.size(); ++k) {
    EXPECT_EQ(finish(pids[k]), 0) << four[k].first;
    EXPECT_EQ(scratch_dir::read_file(four[k].first + ".out"), alone[k]) << four[k].first;
  }
  // One name in four folders, all started from here.
  pids.clear();
  for (std::size_t k = 0; k < four.size(); ++k) {
    const std::string sub = "case" + std::to_string(k);
    std::filesystem::create_directory(sub);
    scratch_dir::write_file(sub + "/model.fss", four[k].second);
    pids.push_back(start_program("", sub + "/model"));
  }
  for (std::size_t k = 0; k < four.size(); ++k) {
    EXPECT_EQ(finish(pids[k]), 0);
    EXPECT_EQ(scratch_dir::read_file("case" + std::to_string(k) + "/model.out"), alone[k]) << k;
  }
  // Nothing is left behind in the folder the runs were started from.
  for (const auto& e : std::filesystem::directory_iterator("."))
    EXPECT_TRUE(e.is_directory() || e.path().extension() == ".fss" ||
                e.path().extension() == ".out" || e.path().filename() == "stdin.txt")
        << e.path();
}

// A run killed during the mode computation or during the sweep leaves
// nothing that changes the next run of the same structure.
TEST(Program, KilledRunLeavesNothingThatChangesTheNext) {
  scratch_dir dir;
  // The cross with a longer mode computation and a long sweep.
  std::string text = four_structures()[3].second;
  text.replace(text.find("8 24 0.5"), 8, "8 24 0.05");
  text.replace(text.find("\n80\n"), 4, "\n150\n");
  std::filesystem::create_directory("ref");
  scratch_dir::write_file("ref/cross.fss", text);
  ASSERT_EQ(finish(start_program("ref", "cross")), 0);
  const std::string reference = scratch_dir::read_file("ref/cross.out");
  scratch_dir::write_file("cross.fss", text);
  // Killed as soon as the given file shows the stage reached.
  auto killed_at = [&](const std::string& file, const std::string& words) {
    std::filesystem::remove(file);
    pid_t pid = start_program("", "cross");
    for (int k = 0; k < 20000; ++k) {
      if (std::filesystem::exists(file) &&
          scratch_dir::read_file(file).find(words) != std::string::npos)
        break;
      usleep(200);
    }
    kill(pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFSIGNALED(st);
  };
  // The mode computation: the job's boundary file is being coded.
  EXPECT_TRUE(killed_at("cross_tmp.apb", "-4 -1"));
  EXPECT_NE(scratch_dir::read_file("cross.out").find("Metal thickness"), std::string::npos);
  EXPECT_EQ(scratch_dir::read_file("cross.out").find("freq[GHz]"), std::string::npos);
  ASSERT_EQ(finish(start_program("", "cross")), 0);
  EXPECT_EQ(scratch_dir::read_file("cross.out"), reference);
  // The sweep: rows are being written.
  EXPECT_TRUE(killed_at("cross.out", "   8.500 "));
  EXPECT_EQ(scratch_dir::read_file("cross.out").find("  24.000 "), std::string::npos);
  ASSERT_EQ(finish(start_program("", "cross")), 0);
  EXPECT_EQ(scratch_dir::read_file("cross.out"), reference);
}

namespace {

// Starts the program in the current folder on `name` with the options, the
// console into `log`.
pid_t start_logged(const std::string& name, const std::string& log, std::vector<std::string> options = {}) {
  std::cout.flush();
  std::fflush(stdout);
  options.insert(options.begin(), {FSS_BINARY, name});
  std::vector<char*> argv;
  for (std::string& o : options) argv.push_back(o.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDONLY);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(FSS_BINARY, argv.data());
    _exit(99);
  }
  return pid;
}

// Waits (at most 4 s) until the file holds the words.
bool wait_for(const std::string& file, const std::string& words) {
  for (int k = 0; k < 20000; ++k) {
    if (std::filesystem::exists(file) && scratch_dir::read_file(file).find(words) != std::string::npos)
      return true;
    usleep(200);
  }
  return false;
}

}  // namespace

// Ctrl-C during the mode computation and SIGTERM during the sweep: the
// scratch files are removed, every row written is complete (the rows of an
// uninterrupted run, as many as the last line says) and the exit status is
// 128 + the signal.
TEST(Program, InterruptedRunRemovesItsScratchFilesAndKeepsWholeRows) {
  scratch_dir dir;
  std::string text = four_structures()[3].second;  // the cross
  text.replace(text.find("8 24 0.5"), 8, "8 24 0.05");
  text.replace(text.find("\n80\n"), 4, "\n150\n");
  scratch_dir::write_file("cross.fss", text);
  ASSERT_EQ(finish(start_logged("cross", "log", {"-csv"})), 0);
  const std::string reference = scratch_dir::read_file("cross.out");
  const std::string reference_csv = scratch_dir::read_file("cross.csv");
  // Only the structure, the log and the result files may stay.
  auto left_over = [] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("."))
      if (e.path().filename() != "cross.fss" && e.path().filename() != "log" &&
          e.path().filename() != "cross.out" && e.path().filename() != "cross.csv")
        names.push_back(e.path().filename().string());
    return names;
  };
  // During the mode computation: the job's boundary file has been written.
  std::filesystem::remove("cross.out");
  pid_t pid = start_logged("cross", "log", {"-csv"});
  ASSERT_TRUE(wait_for("cross_tmp.apb", "-4 -1"));
  kill(pid, SIGINT);
  EXPECT_EQ(finish(pid), 130);
  EXPECT_NE(scratch_dir::read_file("log").find("\n\n interrupted after 0 of 321 sweep points\n"),
            std::string::npos)
      << scratch_dir::read_file("log");
  EXPECT_EQ(left_over(), std::vector<std::string>{});
  EXPECT_EQ(reference.compare(0, scratch_dir::read_file("cross.out").size(), scratch_dir::read_file("cross.out")), 0);
  // During the sweep: rows are being written.
  pid = start_logged("cross", "log", {"-csv"});
  ASSERT_TRUE(wait_for("cross.out", "   8.500 "));
  kill(pid, SIGTERM);
  EXPECT_EQ(finish(pid), 143);
  const std::string log = scratch_dir::read_file("log");
  long done = -1, total = -1;
  const std::size_t at = log.find(" interrupted after ");
  ASSERT_NE(at, std::string::npos) << log;
  ASSERT_EQ(std::sscanf(log.c_str() + at, " interrupted after %ld of %ld sweep points", &done, &total), 2);
  EXPECT_EQ(total, 321);
  EXPECT_GE(done, 11);
  EXPECT_LT(done, 321);
  EXPECT_EQ(left_over(), std::vector<std::string>{});
  // The result files are the first rows of the whole run's, row for row.
  const std::string out = scratch_dir::read_file("cross.out"), csv = scratch_dir::read_file("cross.csv");
  EXPECT_EQ(reference.compare(0, out.size(), out), 0);
  EXPECT_EQ(reference_csv.compare(0, csv.size(), csv), 0);
  ASSERT_EQ(read_out_file("cross.out").size(), 1u);
  EXPECT_EQ(static_cast<long>(read_out_file("cross.out")[0].rows.size()), done);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), done + 1);
}

// A convergence run stopped during a pass: the result files and the report
// are those of the last whole pass, byte for byte, but for the report's
// verdict, which says where the passes were stopped.
TEST(Program, InterruptedPassLeavesTheFilesOfTheLastWholePass) {
  scratch_dir dir;
  std::string text = four_structures()[3].second;  // the cross at oblique incidence
  text.replace(text.find("8 24 0.5"), 8, "8 24 0.05");
  scratch_dir::write_file("cross.fss", text);
  ASSERT_EQ(finish(start_logged("cross", "log", {"-converge", "-passes", "4", "-csv"})), 0);
  std::map<std::string, std::string> pass4;
  for (const char* f : {"cross.out", "cross_x.out", "cross.csv", "cross_x.csv", "cross.conv"})
    pass4[f] = scratch_dir::read_file(f);
  const pid_t pid = start_logged("cross", "log", {"-converge", "-passes", "5", "-csv"});
  // Pass 5 has begun to write its own result file.
  bool begun = false;
  for (int k = 0; k < 15 && !begun; ++k) begun = wait_for("log", "... pass 5:");
  ASSERT_TRUE(begun);
  for (int k = 0; k < 300000 && scratch_dir::read_file("cross.out") == pass4["cross.out"]; ++k) usleep(200);
  ASSERT_NE(scratch_dir::read_file("cross.out"), pass4["cross.out"]);
  kill(pid, SIGTERM);
  EXPECT_EQ(finish(pid), 143);
  const std::string log = scratch_dir::read_file("log");
  EXPECT_NE(log.find("\n\n interrupted after"), std::string::npos) << log;
  EXPECT_NE(log.find(" of 321 sweep points\n the result files hold pass 4, the last whole one (cross.conv)\n"),
            std::string::npos)
      << log;
  for (const char* f : {"cross.out", "cross_x.out", "cross.csv", "cross_x.csv"})
    EXPECT_TRUE(scratch_dir::read_file(f) == pass4[f]) << f << " is not that of pass 4";
  // The report: the four passes' rows and the points of the extrapolation
  // as they were; only the header's most passes, the times and the verdict differ.
  const std::string conv = scratch_dir::read_file("cross.conv");
  const std::string verdict =
      " interrupted after pass 4: the result file holds pass 4; the extrapolated result (cross_x.out";
  EXPECT_NE(conv.find("\n" + verdict), std::string::npos) << conv;
  EXPECT_EQ(conv.find("not converged"), std::string::npos);
  const std::string points = " Extrapolated result of passes 3 and 4";
  ASSERT_NE(conv.find(points), std::string::npos);
  EXPECT_EQ(conv.substr(conv.find(points)), pass4["cross.conv"].substr(pass4["cross.conv"].find(points)));
  for (const auto& e : std::filesystem::directory_iterator("."))
    EXPECT_TRUE(e.path().extension() != ".apb" && e.path().filename().string().find("_tmp") == std::string::npos)
        << e.path();
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
// file holds: here (the passes' tables bounded by those of a plain run) the
// sixth pass outgrows the Floquet table after the files were begun anew,
// and the fifth pass's files are put back.
TEST(Program, FurtherResultFilesFollowTheKeptConvergencePass) {
  scratch_dir dir;
  scratch_dir::write_file("hole.fss", structure_text(10, 10, 1, 4, 4, "0 0", "10 20 5", 100, 300));
  ASSERT_EQ(converge_within_plain_tables("hole", {"-csv", "-s4p", "-plot"}), 0);
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
