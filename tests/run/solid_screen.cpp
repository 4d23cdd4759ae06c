// A screen whose holes hold no mode below the limit of block 7 is solid for
// the analysis: the run says so, names the limit that lets the holes couple,
// and ends normally with total reflection.
#include <gtest/gtest.h>

#include <string>

#include "support/analytic_modes.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

TEST(SolidScreen, RunWithoutApertureModesSaysSoAndReflectsTotally) {
  scratch_dir dir;
  // A 0.5 mm square hole in a 10 mm cell: its first mode starts at 299.8 GHz.
  scratch_dir::write_file("tiny.fss", structure_text(10, 10, 0.5, 0.5, 0.5, "0 0", "10 20 10", 60, 100));
  program_result r = run_program("tiny", "");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(" Subroutine genmodes_wg warning message:\n No aperture mode lies below the "
                       "largest frequency of the aperture modes (block 7, 60 GHz): the screen is "
                       "solid for the analysis and reflects totally. The first mode of the aperture "
                       "starts below 311.4 GHz; raise block 7 above that to let the apertures "
                       "couple\n line 19 of tiny.fss: \"60\"\n"),
            std::string::npos)
      << r.out;
  const std::vector<out_block> b = read_out_file("tiny.out");
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].nwg, 0);
  for (const out_row& row : b[0].rows) {
    EXPECT_EQ(row.magTy, -99.999);
    EXPECT_EQ(row.magRy, 0.0);
  }
  // Above the stated frequency the hole has its modes.
  scratch_dir::write_file("tiny.fss", structure_text(10, 10, 0.5, 0.5, 0.5, "0 0", "10 20 10", 312, 400));
  r = run_program("tiny", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("No aperture mode"), std::string::npos) << r.out;
  EXPECT_GT(read_out_file("tiny.out").at(0).nwg, 0);
}
