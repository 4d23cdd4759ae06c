// The CSV table: header and rows byte for byte, the co-polarised columns
// against the ".out" file, the rows of a sweep over two directions.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "records/run.hpp"
#include "scattering/outputs.hpp"
#include "scattering/polarisation.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/known_point.hpp"
#include "support/result_files.hpp"
#include "support/tmpdir.hpp"

namespace {

const std::string header =
    "phi[deg],theta[deg],freq[GHz],"
    "TE_Rco[dB],TE_Rco[deg],TE_Rcross[dB],TE_Rcross[deg],TE_Tco[dB],TE_Tco[deg],"
    "TE_Tcross[dB],TE_Tcross[deg],TE_Pspecular,TE_Ptotal,TE_Pabsorbed,"
    "TM_Rco[dB],TM_Rco[deg],TM_Rcross[dB],TM_Rcross[deg],TM_Tco[dB],TM_Tco[deg],"
    "TM_Tcross[dB],TM_Tcross[deg],TM_Pspecular,TM_Ptotal,TM_Pabsorbed,orders\n";

// Phases compared on the circle.
double phase_gap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

}  // namespace

// The known point: the TEM-x wave is the TE column (E along y), the TEM-y
// wave the TM column; a zero coefficient is written at the floor.
TEST(CsvFile, HeaderAndRowByteForByte) {
  scratch_dir dir;
  scratch_dir::write_file("res.csv", "an old table that must go\n");
  known_geometry();
  write_csv_header();
  EXPECT_EQ(scratch_dir::read_file("res.csv"), header);
  known_solution(10.5);
  calc_polarisations();
  write_csv_row();
  EXPECT_EQ(scratch_dir::read_file("res.csv"),
            header +
                "0.000000,0.000000,10.500000,-6.020600,0.000000,3.521825,0.000000,-6.020600,"
                "90.000000,-6.020600,90.000000,3.000000000000,3.000000000000,-2.000000000000,-6.020600,"
                "180.000000,-6.020600,0.000000,-99.999130,0.000000,-99.999130,0.000000,"
                "0.500000000000,0.500000000000,0.500000000000,1\n");
}

// Normal and oblique incidence on a 1 mm thick screen of 8 x 2 mm slots:
// the co-polarised columns are those of the ".out" file (to its 3 decimals),
// the transmission referred back to the illuminated face as there.
TEST(CsvFile, CoPolarisedColumnsEqualTheResultFile) {
  scratch_dir dir;
  scratch_dir::write_file("slot.fss", structure_text(10, 10, 1, 8, 2, "0 20 20 30 30 1", "12 20 1",
                                                      100, 300));
  testing::internal::CaptureStdout();
  run_chain("slot", {0, 0, 8e-3, 2e-3, 16}, {"-csv"});
  testing::internal::GetCapturedStdout();
  std::string error;
  const csv_table t = read_csv("slot.csv", error);
  ASSERT_EQ(error, "");
  const std::vector<out_block> out = read_out_file("slot.out");
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(t.rows.size(), 18u);
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    const out_row& o = out[k / 9].rows[k % 9];
    EXPECT_EQ(t.at(k, "theta[deg]"), k < 9 ? 0 : 20);
    EXPECT_NEAR(t.at(k, "phi[deg]"), 30, 1e-9);
    EXPECT_NEAR(t.at(k, "freq[GHz]"), o.f, 1e-9);
    const double co[8][2] = {{t.at(k, "TE_Tco[dB]"), o.magTx}, {t.at(k, "TE_Rco[dB]"), o.magRx},
                             {t.at(k, "TM_Tco[dB]"), o.magTy}, {t.at(k, "TM_Rco[dB]"), o.magRy},
                             {t.at(k, "TE_Tco[deg]"), o.phTx}, {t.at(k, "TE_Rco[deg]"), o.phRx},
                             {t.at(k, "TM_Tco[deg]"), o.phTy}, {t.at(k, "TM_Rco[deg]"), o.phRy}};
    for (int c = 0; c < 8; ++c)
      EXPECT_LT(phase_gap(co[c][0], co[c][1]), 5.0001e-4) << c << " at " << o.f;
  }
}

TEST(CsvFile, UnwritableFileIsReported) {
  scratch_dir dir;
  known_geometry();
  fss_file.name = "nodir/res";  // a directory that does not exist
  EXPECT_FATAL(write_csv_header(),
               "Subroutine write_csv fatal error message:\n Error in opening file nodir/res.csv");
  fss_file.name = "res";
  std::filesystem::create_symlink("/dev/full", "res.csv");  // a full disc
  known_solution(10.5);
  calc_polarisations();
  EXPECT_FATAL(write_csv_row(),
               "Subroutine write_csv fatal error message:\n Error in writing file res.csv");
}
