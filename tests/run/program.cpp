// The program as a user runs it: exit status and console words.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/tmpdir.hpp"

namespace {

struct result {
  int status;
  std::string out;
};

// Runs the program in the current directory with the given arguments and
// standard input text.
result run_program(const std::string& args, const std::string& input) {
  scratch_dir::write_file("stdin.txt", input);
  const std::string cmd = std::string(FSS_BINARY) + " " + args + " < stdin.txt 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = pclose(p);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

}  // namespace

TEST(Program, MissingStructureFileFailsWithStatusOne) {
  scratch_dir dir;
  result r = run_program("nothing_here", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Subroutine read_input_fss fatal error message:\n"
                       " Error in opening data file nothing_here\n\n Press any key to continue ...\n"),
            std::string::npos)
      << r.out;
}

TEST(Program, AsksForTheFileNameAndNeverHangsWithoutInput) {
  scratch_dir dir;
  result r = run_program("", "");
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
  result r = run_program("bad.fss", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Error in reading block 4) in data file (else) bad.fss"), std::string::npos) << r.out;
}

TEST(Program, ExamplesAreReadAndCodedUpToTheModeSolver) {
  scratch_dir dir;
  for (const char* name : {"square_holes", "circular_holes", "rect_slots"}) {
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss",
                               std::string(name) + ".fss");
    result r = run_program(name, "");
    EXPECT_NE(r.out.find("ANALYSIS OF FREQUENCY SELECTIVE SURFACES"), std::string::npos);
    EXPECT_NE(r.out.find(" ... computing the basis functions\n"), std::string::npos);
    const std::string out = scratch_dir::read_file(std::string(name) + ".out");
    EXPECT_NE(out.find(" A               =   10.0000  mm\n"), std::string::npos);
    // The aperture was read, coded and segmented; the run ends where the
    // mode solver is still missing, reported as a failure.
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.out.find(" Subroutine calc_mode_wg fatal error message:\n"
                         " The waveguide mode solver is not available in this version"),
              std::string::npos)
        << r.out;
  }
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
  result r = run_program("ap", "");
  EXPECT_EQ(r.status, 1) << aperture;
  EXPECT_NE(r.out.find(words), std::string::npos) << aperture << "\n" << r.out;
  EXPECT_EQ(r.out.find("performing the frequency sweep"), std::string::npos);
}

}  // namespace

TEST(Program, BrokenAperturesEndWithTheirMessages) {
  scratch_dir dir;
  expect_refused("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n",
                 " CLOSLIN: cannot close line\n Error in coding the input data: ier= 2\n");
  expect_refused("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n0 -1 0 1 p\n",
                 " Subroutine APB2DAT fatal error message:\n port improperly defined\n");
  expect_refused("0 0 3 0 p\n3 0 3 3\n3 3 0 3 p\n0 3 0 0\n",
                 " Subroutine APB2DAT fatal error message:\n unable to handle ports on the opposite side\n");
  expect_refused("0 0 3 0\n3 0 3 3\n3 3 0 0 p\n",
                 " Subroutine APB2DAT fatal error message:\n port not directed along x or y\n");
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
