// The mode catalogue: the readers of the mode files and their capacity and
// failure paths, and the aperture block handed to the mode solver.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/catalogue.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

namespace {

class Catalogue : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override {
    fss_set_capacities();
    fss_file.name = "cat";
    fss_screen = {2, 1, 0, 0};
    fss_ap.n = 1;
  }
  static std::string lines(int n, const std::string& each) {
    std::string s;
    for (int i = 0; i < n; ++i) s += each + "\n";
    return s;
  }
};

}  // namespace

TEST_F(Catalogue, ModesPointsAndSamplesReadBackExactly) {
  rect_aperture ap{0, 0, 5e-3, 3e-3, 4};
  auto modes = rect_modes(ap, 3000);
  write_mode_files("cat_tmp", ap, modes);
  readmodes_wg();
  read_coord();
  read_samples();
  ASSERT_EQ(fss_modewg_index.n, static_cast<int>(modes.size()));
  EXPECT_EQ(fss_modewg_kappa.n, fss_modewg_index.n);
  EXPECT_EQ(fss_screen.nwg1, fss_modewg_index.n);
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    EXPECT_EQ(fss_modewg_kappa[j], modes[j - 1].kc);  // full double precision
    EXPECT_EQ(fss_modewg_index[j], modes[j - 1].kind);
    EXPECT_EQ(fss_modewg_ap[j], 1);
    EXPECT_EQ(fss_modewg_sc[j], 1);
  }
  auto pts = rect_contour(ap);
  EXPECT_EQ(fss_ap.r[1].first, 1);
  EXPECT_EQ(fss_ap.r[1].last, static_cast<int>(pts.size()));
  EXPECT_EQ(fss_coordinates[5].x, pts[4].x);
  EXPECT_EQ(fss_normals[5].y, -pts[4].tx);
  EXPECT_EQ(fss_samplewg.n, static_cast<int>(modes.size() * pts.size()));
  // Mode-major samples: sample i of mode j at entry (j - 1) P + i.
  const int np = static_cast<int>(pts.size());
  for (int j : {1, 3}) {
    const contour_point& q = pts[6];
    EXPECT_EQ(fss_samplewg[(j - 1) * np + 7], rect_psi(ap, modes[j - 1], q.x, q.y) * q.wgt);
  }
  // Every mode file is deleted once read.
  for (const char* f : {"cat_tmp.wgm", "cat_tmp.crd", "cat_tmp.smp"})
    EXPECT_FALSE(std::filesystem::exists(f)) << f;
}

TEST_F(Catalogue, FullCatalogueFitsOneModeMoreDoesNot) {
  const int m = max_wg_modes;
  scratch_dir::write_file("cat_tmp.wgm", free_int(m) + "\n" + lines(m, " 1234.5 2"));
  readmodes_wg();
  EXPECT_EQ(fss_modewg_index.n, m);
  scratch_dir::write_file("cat_tmp.wgm", free_int(m + 1) + "\n" + lines(m + 1, " 1234.5 2"));
  EXPECT_FATAL(readmodes_wg(), "Subroutine readmodes_wg fatal error message:\n Too many waveguide modes");
}

// The message says how many modes the limit asked for, how many the table
// holds and the limit below which the list fits: the cutoff of the first
// mode that does not, the TEM modes (their impedance in place of a cutoff)
// counted in.
TEST_F(Catalogue, TooManyModesSayTheCountAndTheLimitThatFits) {
  fss_kmax.wg = dpi(1) * 200e9 / dcspeed();
  std::string list = " 2.5 0\n 1.7 0\n";
  const int n = max_wg_modes + 3;  // 251 TE and TM modes, kc 1000, 1010, ... 1/m, and 2 TEM
  for (int k = n - 3; k >= 0; --k) list += " " + std::to_string(1000 + 10 * k) + " " + (k % 2 ? "1" : "2") + "\n";
  scratch_dir::write_file("cat_tmp.wgm", free_int(n) + "\n" + list);
  // Mode 251 of the sorted list: the 249th TE or TM cutoff, 1000 + 2480 1/m.
  const double first_out = 3480 * 299800000.0 / (2 * M_PI) / 1e9;
  char words[300];
  std::snprintf(words, sizeof words,
                " Too many waveguide modes: the limit of block 7 (200 GHz) asks for %d aperture modes "
                "and the program holds %d; a block 7 limit below %g GHz fits (the cutoff of mode 251)\n",
                n, max_wg_modes, std::floor(first_out * 10) / 10);
  EXPECT_FATAL(readmodes_wg(), words);
}

TEST_F(Catalogue, ModeFileFailures) {
  EXPECT_FATAL(readmodes_wg(), "Error in opening file cat_tmp.wgm");
  for (const char* bad : {" 2\n 100 2\n 200 3\n", " 1\n 100 -1\n", " 2\n 100 2\n", " x\n",
                          " 1\n 100 2.5\n", " 1\n abc 1\n"}) {
    scratch_dir::write_file("cat_tmp.wgm", bad);
    EXPECT_FATAL(readmodes_wg(), "Subroutine readmodes_wg fatal error message:\n"
                                 " Error in reading file cat_tmp.wgm");
  }
}

TEST_F(Catalogue, ThousandPointsFitOneMoreDoesNot) {
  scratch_dir::write_file("cat_tmp.crd", " 1000\n" + lines(1000, " 0.001 0.002 0 1"));
  read_coord();
  EXPECT_EQ(fss_coordinates.n, 1000);
  EXPECT_EQ(fss_normals.n, 1000);
  scratch_dir::write_file("cat_tmp.crd", " 1001\n" + lines(1001, " 0.001 0.002 0 1"));
  EXPECT_FATAL(read_coord(), "Subroutine read_coord fatal error message:\n Too many sample points.");
}

TEST_F(Catalogue, CoordinateFileFailures) {
  EXPECT_FATAL(read_coord(), "Error in opening file cat_tmp.crd");
  for (const char* bad : {" 2\n 0 0 1 0\n", " 1\n 0 0 1\n", " 1\n 0 0 1 y\n"}) {
    scratch_dir::write_file("cat_tmp.crd", bad);
    EXPECT_FATAL(read_coord(), "Error in reading file cat_tmp.crd");
  }
}

TEST_F(Catalogue, SampleCapacityAndFailures) {
  // A full catalogue: the largest number of TE modes on the largest number of points.
  const int m = max_wg_modes, np = max_points;
  const std::string counts = free_int(m) + free_int(np) + "\n";
  scratch_dir::write_file("cat_tmp.wgm", free_int(m) + "\n" + lines(m, " 1234.5 2"));
  scratch_dir::write_file("cat_tmp.crd", free_int(np) + "\n" + lines(np, " 0.001 0.002 0 1"));
  readmodes_wg();
  read_coord();
  scratch_dir::write_file("cat_tmp.smp", counts + lines(m * np, " 0.5"));
  read_samples();
  EXPECT_EQ(fss_samplewg.n, m * np);
  EXPECT_EQ(fss_samplewg[m * np], 0.5);
  scratch_dir::write_file("cat_tmp.smp", free_int(m) + free_int(np + 1) + "\n");
  EXPECT_FATAL(read_samples(), "Subroutine read_samples fatal error message:\n Too many samples");
  std::filesystem::remove("cat_tmp.smp");
  EXPECT_FATAL(read_samples(), "Error in opening file cat_tmp.smp");
  for (const std::string& bad : {counts + lines(m * np - 1, " 1"), counts + " z\n",
                                 free_int(m) + "\n"}) {
    scratch_dir::write_file("cat_tmp.smp", bad);
    EXPECT_FATAL(read_samples(), "Error in reading file cat_tmp.smp");
  }
  // Samples of other modes or other points than those just read.
  for (const std::string& head : {free_int(m - 1) + free_int(np) + "\n", free_int(m) + free_int(np - 1) + "\n"}) {
    scratch_dir::write_file("cat_tmp.smp", head);
    EXPECT_FATAL(read_samples(), "Error in reading file cat_tmp.smp: its mode or point count "
                                 "does not match the .wgm and .crd files");
  }
}

// TEM modes take their samples from the derivative pass of ".smpTEM" (after
// the potential pass, each sample after a diagnostic record), TE and TM
// modes from ".smp", each in catalogue order; both files are removed.
TEST_F(Catalogue, TemModesTakeTheDerivativePass) {
  scratch_dir::write_file("cat_tmp.wgm", " 3\n 58.8 0\n 700 2\n 900 1\n");
  scratch_dir::write_file("cat_tmp.crd", " 2\n 0 0 0 -1\n 0.001 0 0 -1\n");
  scratch_dir::write_file("cat_tmp.smp", " 2 2\n 0.1\n 0.2\n 0.3\n 0.4\n");
  const std::string tem = " 1 2\n potential: ie,x,y,w,hhzz= 2 0 0 1 5\n 9.1\n"
                          " potential: ie,x,y,w,hhzz= 2 0 0 1 5\n 9.2\n"
                          " derivative: ie,x,y,w,hhzz= 2 0 0 1 5\n 7.1\n"
                          " derivative: ie,x,y,w,hhzz= 2 0 0 1 5\n 7.2\n";
  scratch_dir::write_file("cat_tmp.smpTEM", tem);
  readmodes_wg();
  read_coord();
  read_samples();
  EXPECT_EQ(fss_modewg_index.n, 3);
  EXPECT_EQ(fss_modewg_index[1], wg_tem);
  EXPECT_EQ(fss_samplewg.n, 6);
  const double want[6] = {7.1, 7.2, 0.1, 0.2, 0.3, 0.4};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(fss_samplewg[k + 1], want[k]);
  EXPECT_FALSE(std::filesystem::exists("cat_tmp.smpTEM"));
  EXPECT_FALSE(std::filesystem::exists("cat_tmp.smp"));
  // Without its file, or with counts that do not match, TEM modes are refused.
  scratch_dir::write_file("cat_tmp.smp", " 2 2\n 0.1\n 0.2\n 0.3\n 0.4\n");
  EXPECT_FATAL(read_samples(), "Error in opening file cat_tmp.smpTEM");
  // (Each refusal has removed the ".smp" it read first.)
  scratch_dir::write_file("cat_tmp.smp", " 2 2\n 0.1\n 0.2\n 0.3\n 0.4\n");
  scratch_dir::write_file("cat_tmp.smpTEM", " 2 2\n");
  EXPECT_FATAL(read_samples(), "Error in reading file cat_tmp.smpTEM: its mode or point count");
  scratch_dir::write_file("cat_tmp.smp", " 2 2\n 0.1\n 0.2\n 0.3\n 0.4\n");
  scratch_dir::write_file("cat_tmp.smpTEM", tem.substr(0, tem.size() - 6));
  EXPECT_FATAL(read_samples(), "Error in reading file cat_tmp.smpTEM");
}

TEST_F(Catalogue, StructureFailuresBeforeTheModeSolver) {
  fss_screen.nsc = 1;
  EXPECT_FATAL(genmodes_wg(), "Subroutine genmodes_wg fatal error message:\n Error in opening file cat.apb");
  scratch_dir::write_file("cat.apb", "0 0 1 0\n");
  fss_screen.nsc = 0;  // the structure file declared no screen
  EXPECT_FATAL(genmodes_wg(), "Too many screens in file .apb");
  fss_screen.nsc = 1;
  fss_ap.cap = 0;
  EXPECT_FATAL(genmodes_wg(), "Too many apertures");
}

TEST_F(Catalogue, FirstApertureBlockGoesToTheJobFile) {
  fss_screen.nsc = 1;
  scratch_dir::write_file("cat.apb", "1 2 3 4\n5 6 7 8\n# next aperture\n9 9 9 9\n");
  // The two segments form no closed line: the contour coder stops the run,
  // and the job file it was given stays on disk.
  EXPECT_FATAL(genmodes_wg(), "Error in coding the input data");
  const std::string job = scratch_dir::read_file("cat_tmp.apb");
  EXPECT_EQ(job, "1 2 3 4" + std::string(249, ' ') + "\n5 6 7 8" + std::string(249, ' ') + "\n");
}

TEST_F(Catalogue, UnreadableAndUnwritableApertureFiles) {
  fss_screen.nsc = 1;
  std::filesystem::create_directory("cat.apb");  // opens, but cannot be read
  EXPECT_FATAL(genmodes_wg(), "Subroutine genmodes_wg fatal error message:\n"
                              " Error in reading file cat.apb");
  std::filesystem::remove("cat.apb");
  scratch_dir::write_file("cat.apb", "0 0 1 0\n");
  std::filesystem::remove("cat_tmp.apb");
  std::filesystem::create_directory("cat_tmp.apb");  // cannot be replaced
  EXPECT_FATAL(genmodes_wg(), "Error in opening file cat_tmp.apb");
}
