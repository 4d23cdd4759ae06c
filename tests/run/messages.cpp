// Reporting, string helpers, constants and run-file names.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "records/run.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(StringHelpers, LengthWithoutTrailingBlanks) {
  EXPECT_EQ(llen(""), 0);
  EXPECT_EQ(llen("    "), 0);
  EXPECT_EQ(llen("ab "), 2);
  EXPECT_EQ(llen(" a b  "), 4);
}

TEST(StringHelpers, LeadingBlanksRemoved) {
  EXPECT_EQ(delfirstspaces("   x"), "x");
  EXPECT_EQ(delfirstspaces("    "), "");
  EXPECT_EQ(delfirstspaces("  a b  "), "a b  ");
  // A result too short for the text warns and goes on with a cut result.
  CaptureStdout();
  std::string r = delfirstspaces("  abcdef", 3);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(r, "abc");
  EXPECT_NE(out.find("Subroutine DELFIRSTSPACES warning message:"), std::string::npos);
  EXPECT_NE(out.find("string lenght under dimensioned"), std::string::npos);
}

TEST(StringHelpers, TabsBecomeExactlyNtabBlanks) {
  errors = {};
  EXPECT_EQ(tab2space("a\tb", 4), "a    b");
  EXPECT_EQ(tab2space("a\t\tb", 2), "a    b");
  EXPECT_EQ(tab2space("a\tb", -3), "ab");
  EXPECT_EQ(errors.code, 0);
  // Overflow of the output length: code 2011 and what was written so far.
  std::string r = tab2space("ab\tc", 8, 5);
  EXPECT_EQ(errors.code, 2011);
  EXPECT_EQ(errors.message, "TAB2SPACE: string length under dimensioned");
  EXPECT_EQ(r, "ab");
  errors = {};
  r = tab2space("abcdef", 0, 4);
  EXPECT_EQ(errors.code, 2011);
  EXPECT_EQ(r, "abcd");
}

TEST(Constants, PiMultiplesAndLightSpeed) {
  EXPECT_EQ(dpi(0), 3.1415926535898);  // the tabulated value, not M_PI
  EXPECT_EQ(dpi(1), 6.2831853071796);
  EXPECT_EQ(dpi(-1), 1.5707963267949);
  EXPECT_EQ(dpi(-2), 0.7853981633974);
  EXPECT_EQ(dpi(2), 12.566370614359);
  EXPECT_EQ(dpi(3), 8 * 3.141592653589793);
  EXPECT_EQ(dpi(-3), 3.141592653589793 / 8);
  EXPECT_EQ(dpi(10), 1024 * 3.141592653589793);
  EXPECT_EQ(dpi(-7), 3.141592653589793 / 128);
  EXPECT_EQ(dcspeed(), 299800000.0);
}

TEST(ErrorHandler, WarningReturnsAfterReport) {
  CaptureStdout();
  error_handler("Warning", "MYROUT  ", "something odd   ");
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out, "\n Subroutine MYROUT warning message:\n something odd\n\n");
}

TEST(ErrorHandler, ImproperKindIsReportedAndReturns) {
  CaptureStdout();
  error_handler("warning", "caller", "text");
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out, "\n Subroutine ERROR_HANDLER called by caller with improper handling condition\n\n");
}

TEST(ErrorHandler, FatalEndsWithStatusOneAfterItsReport) {
  EXPECT_FATAL(error_handler("Fatal", "routine_x", "it broke"),
               "\n Subroutine routine_x fatal error message:\n it broke\n\n"
               " Press any key to continue ...\n");
}

// While trapped, the fatal path and the end of a run after a report throw
// the routine and the message, print nothing and end nothing; untrapped
// they end the process again.
TEST(ErrorHandler, TrappedFatalErrorsAreThrownWithTheirMessage) {
  set_fatal_trap(true);
  CaptureStdout();
  try {
    error_handler("Fatal", "genmodes_flo   ", "Too many Floquet modes   ");
    ADD_FAILURE() << "returned";
  } catch (const fss_fatal_error& e) {
    EXPECT_EQ(e.routine, "genmodes_flo");
    EXPECT_EQ(e.message, "Too many Floquet modes");
  }
  try {
    end_run("apb2dat", "Error in coding the input data: ier= 2");
    ADD_FAILURE() << "returned";
  } catch (const fss_fatal_error& e) {
    EXPECT_EQ(e.routine, "apb2dat");
    EXPECT_EQ(e.message, "Error in coding the input data: ier= 2");
  }
  EXPECT_EQ(GetCapturedStdout(), "");
  set_fatal_trap(false);
  EXPECT_FATAL(fatal("r", "after the trap"), "after the trap");
  EXPECT_EXIT(end_run("r", "m"), ::testing::ExitedWithCode(1), "");
}

TEST(ErrorHandler, SolverBlockGoesToConsoleOrListing) {
  CaptureStdout();
  fatalerr("bad contour", 1);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out,
            "    ****       FATAL ERROR:      ****\nbad contour\n"
            "    *********************************\n");
  scratch_dir dir;
  std::FILE* f = std::fopen("listing.lis", "w");
  set_listing_unit(f);
  CaptureStdout();
  fatalerr("to the listing", 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  set_listing_unit(nullptr);
  std::fclose(f);
  EXPECT_NE(scratch_dir::read_file("listing.lis").find("to the listing"), std::string::npos);
}

namespace {
void touch(const std::string& name) { scratch_dir::write_file(name, "x"); }
}  // namespace

TEST(RunFiles, NamesFromTheStructureName) {
  scratch_dir dir;
  run_files.resa[1] = "C:model_tmp.dat";
  int iopt = 1;
  filenames(iopt);
  EXPECT_EQ(iopt, 0);
  EXPECT_EQ(run_files.resa[2], "C:model_tmp.pag");
  EXPECT_EQ(run_files.resa[3], "C:model_tmp.lis");
  EXPECT_EQ(run_files.resa[4], "C:model_tmp.err");
  EXPECT_EQ(run_files.resa[5], "C:model_tmp.anw");
  EXPECT_EQ(run_files.optfil[2], "C:model_tmp.mnt");
  EXPECT_EQ(run_files.optfil[3], "C:model_tmp.qmt");
  EXPECT_EQ(run_files.ftmp[1], "C:model_tmp_gmat.tmp");
  EXPECT_EQ(run_files.ftmp[4], "C:model_tmp_ght.tmp");
  EXPECT_EQ(run_files.oftmp[3], "C:model_tmp_oqsi.tmp");

  run_files.resa[1] = "[dir]m.dat";
  iopt = 4;
  filenames(iopt);
  EXPECT_EQ(run_files.resa[2], "[dir]m.pag");
  EXPECT_EQ(run_files.ftmp[1], "[dir]m_gmat.tmp");
  EXPECT_EQ(run_files.oftmp[1], "[dir]m_oqst.tmp");

  // Dots in directory names and in the structure name belong to the stem:
  // only the extension is cut, and the directory part ends at the last "/".
  std::filesystem::create_directories("dir.v2");
  run_files.resa[1] = "./dir.v2/my.screen_tmp.apb";
  iopt = 4;
  filenames(iopt);
  EXPECT_EQ(iopt, 0);
  EXPECT_EQ(run_files.resa[2], "./dir.v2/my.screen_tmp.pag");
  EXPECT_EQ(run_files.resa[5], "./dir.v2/my.screen_tmp.anw");
  // The scratch tables lie beside the structure as well.
  EXPECT_EQ(run_files.ftmp[2], "./dir.v2/my.screen_tmp_gstmat.tmp");
  run_files.resa[1] = "../up/noext";
  filenames(iopt = 4);
  EXPECT_EQ(run_files.resa[2], "../up/noext.pag");
}

TEST(RunFiles, EachSelectorRemovesItsOwnFiles) {
  scratch_dir dir;
  const char* all[] = {"r.pag", "r.lis", "r.err", "r.anw", "r.qmt", "r.mnt",
                       "r_gmat.tmp", "r_gstmat.tmp", "r_gha.tmp", "r_ght.tmp"};
  auto left = [&] {
    std::string s;
    for (const char* f : all)
      if (std::filesystem::exists(f)) s += std::string(f) + " ";
    return s;
  };
  run_files.resa[1] = "r.dat";
  for (const char* f : all) touch(f);
  int iopt = 4;
  filenames(iopt);
  EXPECT_EQ(iopt, 0);
  EXPECT_EQ(left(), "r.pag r.lis r.err r.anw r.qmt r_gmat.tmp r_gstmat.tmp r_gha.tmp r_ght.tmp ");
  iopt = 1;
  filenames(iopt);
  EXPECT_EQ(left(), "r.anw r.qmt ");
  iopt = 2;
  filenames(iopt);
  EXPECT_EQ(left(), "r.qmt ");
  for (const char* f : all) touch(f);
  iopt = 3;
  filenames(iopt);
  EXPECT_EQ(left(), "r.mnt ");
  // Missing files are created and removed alike: nothing is left behind.
  iopt = 3;
  filenames(iopt);
  EXPECT_EQ(iopt, 0);
  EXPECT_EQ(left(), "r.mnt ");
  for (int bad : {0, 5, -1}) {
    iopt = bad;
    filenames(iopt);
    EXPECT_EQ(iopt, 1);
  }
  EXPECT_EQ(left(), "r.mnt ");
}

TEST(RunFiles, FailureToPrepareIsReported) {
  scratch_dir dir;
  run_files.resa[1] = "nodir/r.dat";  // the directory does not exist
  int iopt = 1;
  filenames(iopt);
  EXPECT_EQ(iopt, 1);
}

TEST(RunFiles, ScratchTablesRemovedWhenPresent) {
  scratch_dir dir;
  run_files.resa[1] = "s.dat";
  int iopt = 1;
  filenames(iopt);
  touch("s_gmat.tmp");
  touch("s_oqsq.tmp");
  touch("s.lis");
  remove_tmpfiles();
  EXPECT_FALSE(std::filesystem::exists("s_gmat.tmp"));
  EXPECT_FALSE(std::filesystem::exists("s_oqsq.tmp"));
  EXPECT_TRUE(std::filesystem::exists("s.lis"));
  remove_tmpfiles();  // nothing there: passes over silently
}
