// Reading of the structure description file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "records/run.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/read_input.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

namespace {

std::vector<std::string> args;
std::vector<char*> argv;

void set_args(std::vector<std::string> a) {
  args = std::move(a);
  argv.clear();
  for (auto& s : args) argv.push_back(s.data());
  fss_command_line = {static_cast<int>(argv.size()), argv.data()};
}

const char* head = "title\ncomment\n";
const char* blocks123 =
    "1) cell dimensions a b [mm]\n12.5 10\n2) skew angle [deg]\n60\n"
    "3) metal thickness [mm]\n0.25\n";
const char* block4 = "4) aperture boundary [mm]\n-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n";
const char* blocks5to8 =
    "5) incidence [deg]\n10 30\n6) sweep [GHz]\n8 12 0.5\n7) aperture modes [GHz]\n60\n"
    "8) Floquet modes [GHz]\n150\n";

std::string good() { return std::string(head) + blocks123 + block4 + blocks5to8; }

class ReadInput : public testing::Test {
 protected:
  scratch_dir dir;
  // A run starts with zero records.
  static void clear() {
    fss_cell_dim = {};
    fss_lattice_angle = {};
    fss_thickness = {};
    fss_screen = {};
    fss_freq_iter = fss_theta = fss_phi = {};
    fss_kmax = {};
  }
  static void read(const std::string& text, std::vector<std::string> a = {"fss", "model"}) {
    clear();
    scratch_dir::write_file("model.fss", text);
    set_args(std::move(a));
    read_input_fss();
  }
  static void expect_fatal_read(const std::string& text, const std::string& words) {
    SCOPED_TRACE(words);
    EXPECT_FATAL(read(text), words);
  }
};

}  // namespace

TEST_F(ReadInput, ValuesConvertedToSiUnits) {
  read(good());
  EXPECT_EQ(fss_file.name, "model");
  EXPECT_DOUBLE_EQ(fss_cell_dim.a, 0.0125);
  EXPECT_DOUBLE_EQ(fss_cell_dim.b, 0.010);
  EXPECT_DOUBLE_EQ(fss_cell_dim.sqrt_ab, std::sqrt(0.0125 * 0.010));
  EXPECT_DOUBLE_EQ(fss_cell_dim.inv_sqrt_ab * fss_cell_dim.sqrt_ab, 1.0);
  EXPECT_DOUBLE_EQ(fss_lattice_angle.alpha, dpi(0) / 3);
  EXPECT_DOUBLE_EQ(fss_thickness.t1, 0.00025);
  EXPECT_EQ(fss_thickness.spacing, 0.0);
  EXPECT_EQ(fss_screen.nsc, 1);
  EXPECT_EQ(fss_screen.cap, 2);
  EXPECT_DOUBLE_EQ(fss_theta.start, 10 * dpi(0) / 180);
  EXPECT_EQ(fss_theta.start, fss_theta.end);
  EXPECT_EQ(fss_theta.step, 1.0);
  EXPECT_DOUBLE_EQ(fss_phi.start, 30 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_freq_iter.start, 8e9);
  EXPECT_DOUBLE_EQ(fss_freq_iter.end, 12e9);
  EXPECT_DOUBLE_EQ(fss_freq_iter.step, 0.5e9);
  // The wavenumber limits turn back into the frequencies of the file.
  EXPECT_NEAR(fss_kmax.wg * dcspeed() / (2 * M_PI), 60e9, 1e2);
  EXPECT_NEAR(fss_kmax.flo * dcspeed() / (2 * M_PI), 150e9, 1e2);
  EXPECT_EQ(fss_writeinfo.pvf, 0);
  EXPECT_EQ(fss_writeinfo.wgs, 0);
}

TEST_F(ReadInput, ApertureBlockCopiedAsFixedRecords) {
  std::string long_line = "-1 -1 1 -1 " + std::string(300, 'z');
  std::string text = std::string(head) + blocks123 + "4) aperture\n" + long_line +
                     "\n1 -1 1 1\n\n-1 1 -1 -1 ! 5) ends here\n" + "10 30\n6)\n8 12 0.5\n7)\n60\n8)\n150\n";
  read(text);
  std::string apb = scratch_dir::read_file("model.apb");
  ASSERT_EQ(apb.size(), 3u * 257u);
  EXPECT_EQ(apb.substr(0, 256), long_line.substr(0, 256));
  EXPECT_EQ(apb.substr(257, 256), "1 -1 1 1" + std::string(248, ' '));
  EXPECT_EQ(apb.substr(514, 256), std::string(256, ' '));
  EXPECT_EQ(apb[256], '\n');
  EXPECT_EQ(apb.back(), '\n');
  // The line holding "5)" ended block 4, and the next line was block 5.
  EXPECT_DOUBLE_EQ(fss_phi.start, 30 * dpi(0) / 180);
}

TEST_F(ReadInput, NamesWithAndWithoutExtension) {
  read(good(), {"fss", "model.fss"});
  EXPECT_EQ(fss_file.name, "model");
  read(good(), {"fss", "  model  "});
  EXPECT_EQ(fss_file.name, "model");
  EXPECT_TRUE(std::filesystem::exists("model.apb"));
  // Only the exact lower-case extension is cut.
  EXPECT_FATAL(read(good(), {"fss", "model.FSS"}), "Error in opening data file model.FSS\n");
}

TEST_F(ReadInput, OptionsInAnyArgumentAfterTheFirst) {
  read(good(), {"fss", "model", "-wgs-pvf"});
  EXPECT_EQ(fss_writeinfo.pvf, 1);
  EXPECT_EQ(fss_writeinfo.wgs, 1);
  EXPECT_EQ(fss_writeinfo.modes, 0);
  read(good(), {"fss", "model", "x", "-pvf"});
  EXPECT_EQ(fss_writeinfo.pvf, 1);
  EXPECT_EQ(fss_writeinfo.wgs, 0);
  read(good(), {"fss", "model", "a", "-modes", "-wgs"});
  EXPECT_EQ(fss_writeinfo.wgs, 1);
  EXPECT_EQ(fss_writeinfo.modes, 1);
  EXPECT_EQ(fss_writeinfo.pvf, 0);
  // An option in first place is taken as the file name.
  EXPECT_FATAL(read(good(), {"fss", "-wgs"}), "Error in opening data file -wgs");
}

TEST_F(ReadInput, ValuesMaySpreadOverLinesAndUseCommas) {
  std::string text = std::string(head) + "1)\n12.5,\n10\n2)\n60\n3)\n0.25 ignored\n" + block4 +
                     "5)\n0, 20, 10, 0, 90, 45\n6)\n8, 12\n0.5\n7)\n6.0D1\n8)\n150\n";
  read(text);
  EXPECT_DOUBLE_EQ(fss_cell_dim.b, 0.010);
  EXPECT_DOUBLE_EQ(fss_theta.end, 20 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_theta.step, 10 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_phi.end, 90 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_phi.step, 45 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_freq_iter.step, 0.5e9);
  EXPECT_NEAR(fss_kmax.wg * dcspeed() / (2 * M_PI), 60e9, 1e2);
}

TEST_F(ReadInput, EveryReadFailureNamesItsBlock) {
  const std::string f = "model.fss";
  expect_fatal_read("only one line\n", "Error in reading data file " + f);
  expect_fatal_read(std::string(head), "Error in reading block 1) in data file " + f);
  expect_fatal_read(std::string(head) + "1)\n12.5 x\n", "Error in reading block 1) in data file " + f);
  expect_fatal_read(std::string(head) + "1)\n12.5\n", "Error in reading block 1) in data file " + f);
  expect_fatal_read(std::string(head) + "1)\n1 1\n2)\nsixty\n", "Error in reading block 2) in data file " + f);
  expect_fatal_read(std::string(head) + "1)\n1 1\n2)\n60\n3) thickness\nthin\n",
                    "Error in reading block 3) in data file " + f);
  // An empty thickness line ends in the block's own message, not a crash.
  expect_fatal_read(std::string(head) + "1)\n1 1\n2)\n60\n3) thickness\n\n4)\n",
                    "Error in reading block 3) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + "no label\n",
                    "Error in reading block 4) in data file (else) " + f);
  expect_fatal_read(std::string(head) + blocks123 + "4)\n1 1 1 1\n",
                    "Error in reading block 4) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n10\n",
                    "Error in reading block 5) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n10 20 30\n",
                    "Error in reading block 5) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n",
                    "Error in reading block 5) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n0 0\n6)\n8 x 1\n",
                    "Error in reading block 6) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n0 0\n6)\n8 12 1\n",
                    "Error in reading block 7) in data file " + f);
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n0 0\n6)\n8 12 1\n7)\n60\n8)\n",
                    "Error in reading block 8) in data file " + f);
  EXPECT_FATAL(read(good(), {"fss", "missing"}), "Subroutine read_input_fss fatal error message:\n"
                                                 " Error in opening data file missing\n");
}

TEST_F(ReadInput, UnreadableTemporaryFileIsFatal) {
  std::filesystem::create_directory("model.apb");  // cannot be opened as a file
  EXPECT_FATAL(read(good()), "Error in opening tmp file model");
}

TEST_F(ReadInput, RangesCheckedWithClearMessages) {
  auto with = [](const std::string& b1, const std::string& b2, const std::string& b3,
                 const std::string& b5, const std::string& b6, const std::string& b7,
                 const std::string& b8) {
    return std::string(head) + "1)\n" + b1 + "\n2)\n" + b2 + "\n3)\n" + b3 + "\n" + block4 +
           "5)\n" + b5 + "\n6)\n" + b6 + "\n7)\n" + b7 + "\n8)\n" + b8 + "\n";
  };
  const std::string ok1 = "10 10", ok2 = "90", ok3 = "0.5", ok5 = "0 0", ok6 = "8 12 1", ok7 = "60",
                    ok8 = "150";
  read(with(ok1, ok2, ok3, ok5, ok6, ok7, ok8));  // the reference file is accepted
  expect_fatal_read(with("0 10", ok2, ok3, ok5, ok6, ok7, ok8), "block 1) of data file model.fss: the cell period a must be positive");
  expect_fatal_read(with("10 -1", ok2, ok3, ok5, ok6, ok7, ok8), "the cell period b must be positive");
  expect_fatal_read(with(ok1, "180", ok3, ok5, ok6, ok7, ok8), "block 2) of data file model.fss: the skew angle must lie between 0 and 180 degrees (read 180)");
  expect_fatal_read(with(ok1, "0", ok3, ok5, ok6, ok7, ok8), "the skew angle must lie between 0 and 180 degrees");
  expect_fatal_read(with(ok1, ok2, "0", ok5, ok6, ok7, ok8), "block 3) of data file model.fss: the metal thickness must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, "90 0", ok6, ok7, ok8), "block 5) of data file model.fss: theta must lie in [0, 90) degrees (read 90)");
  expect_fatal_read(with(ok1, ok2, ok3, "-5 0", ok6, ok7, ok8), "theta must lie in [0, 90) degrees");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 0 0 0 1", ok6, ok7, ok8), "the theta step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 5 0 0 -1", ok6, ok7, ok8), "the phi step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, "20 10 5 0 0 1", ok6, ok7, ok8), "the theta end must not lie below its start");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 5 10 0 1", ok6, ok7, ok8), "the phi end must not lie below its start");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "0 12 1", ok7, ok8), "block 6) of data file model.fss: the start frequency must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "8 12 0", ok7, ok8), "the frequency step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "12 8 1", ok7, ok8), "the end frequency must not lie below the start");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, "0", ok8), "block 7) of data file model.fss: the largest frequency of the aperture modes must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, ok7, "-1"), "block 8) of data file model.fss: the largest frequency of the Floquet modes must be positive");
  // The last theta of a sweep may lie a tenth of a step past its end.
  expect_fatal_read(with(ok1, ok2, ok3, "80 89.5 10 0 0 1", ok6, ok7, ok8), "theta must lie in [0, 90) degrees (read 90)");
  read(with(ok1, ok2, ok3, "80 88.9 10 0 0 1", ok6, ok7, ok8));  // last point 80
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "1 10 1e-6", ok7, ok8), "the frequency sweep has too many points (read 9e+06)");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 1e-6 0 0 1", ok6, ok7, ok8), "the theta sweep has too many points");
  // A file without block 2 leaves a zero skew angle, which has no lattice.
  std::string no2 = std::string(head) + "1)\n10 10\n3)\n0.5\n" + block4 + "5)\n0 0\n6)\n8 12 1\n7)\n60\n8)\n150\n";
  expect_fatal_read(no2, "the skew angle must lie between 0 and 180 degrees (read 0)");
}

TEST_F(ReadInput, WaveguideSimulatorRefusesFrequenciesBelowItsCutoff) {
  // c / (2 a) for a = 10 mm is 14.99 GHz.
  std::string text = structure_text(10, 10, 0.5, 4, 4, "0 0", "14.99 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  set_args({"fss", "wgs", "-wgs"});
  read_input_fss();
  EXPECT_FATAL(fss_check_wgs(), "Waveguide-simulator mode (-wgs) needs every frequency above c/(2a) = 14.99 GHz");
  text = structure_text(10, 10, 0.5, 4, 4, "0 0", "15 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  read_input_fss();
  fss_check_wgs();  // accepted
  set_args({"fss", "wgs"});
  text = structure_text(10, 10, 0.5, 4, 4, "0 0", "10 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  read_input_fss();
  fss_check_wgs();  // without the option any frequency is accepted
}

TEST_F(ReadInput, FailedCopyOfTheApertureBlockIsFatal) {
  std::filesystem::create_symlink("/dev/full", "model.apb");  // every write fails
  EXPECT_FATAL(read(good()), "Error in writing tmp file model.apb");
}
