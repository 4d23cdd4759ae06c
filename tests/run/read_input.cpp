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
#include "support/command_line.hpp"
#include "support/fatal.hpp"
#include "support/tmpdir.hpp"

namespace {

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
    set_command_line(std::move(a));
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
  EXPECT_EQ(fss_screen.cap, max_screens);
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
  // Every line of block 4 is copied as a record of 256 characters, the
  // lines of every aperture and the lines that separate them.
  std::string text = std::string(head) + blocks123 + "4) aperture\n-1 -1 1 -1\n1 -1 1 1\n" +
                     "1 1 -1 1\n-1 1 -1 -1\n# second\n3 -1 4 -1\n4 -1 4 1\n4 1 3 1\n" +
                     "3 1 3 -1 ! 5) ends here\n10 30\n6)\n8 12 0.5\n7)\n60\n8)\n150\n";
  testing::internal::CaptureStdout();
  read(text);
  const std::string out = testing::internal::GetCapturedStdout();
  std::string apb = scratch_dir::read_file("model.apb");
  ASSERT_EQ(apb.size(), 8u * 257u);
  EXPECT_EQ(apb.substr(0, 256), "-1 -1 1 -1" + std::string(246, ' '));
  EXPECT_EQ(apb.substr(257, 256), "1 -1 1 1" + std::string(248, ' '));
  EXPECT_EQ(apb.substr(4 * 257, 256), "# second" + std::string(248, ' '));
  EXPECT_EQ(apb.substr(7 * 257, 256), "4 1 3 1" + std::string(249, ' '));
  EXPECT_EQ(apb[256], '\n');
  EXPECT_EQ(apb.back(), '\n');
  EXPECT_EQ(out.find("warning"), std::string::npos) << out;
  // The line holding "5)" ended block 4, and the next line was block 5.
  EXPECT_DOUBLE_EQ(fss_phi.start, 30 * dpi(0) / 180);
  EXPECT_EQ(fss_source.aperture_label, 9);
  EXPECT_EQ(fss_source.line[5], 19);
  EXPECT_EQ(fss_source.text[8], "150");
  EXPECT_EQ(fss_stack.item[1].apertures, 2);
}

TEST_F(ReadInput, NamesWithAndWithoutExtension) {
  read(good(), {"fss", "model.fss"});
  EXPECT_EQ(fss_file.name, "model");
  read(good(), {"fss", "  model  "});
  EXPECT_EQ(fss_file.name, "model");
  EXPECT_TRUE(std::filesystem::exists("model.apb"));
  // Only the exact lower-case extension is cut: the message names the file
  // tried and why it failed.
  EXPECT_FATAL(read(good(), {"fss", "model.FSS"}),
               " Error in opening data file model.FSS.fss: No such file or directory\n\n");
  // A file of that name exists: the message says how to name it.
  scratch_dir::write_file("UP.FSS", good());
  set_command_line({"fss", "UP.FSS"});
  EXPECT_FATAL(read_input_fss(), " Error in opening data file UP.FSS.fss: No such file or directory\n"
                                 " the file UP.FSS exists, but a structure file is read from "
                                 "<name>.fss, with the extension in lower case: rename it UP.fss\n");
}

TEST_F(ReadInput, OptionsBeforeOrAfterTheStructure) {
  read(good(), {"fss", "model", "-wgs-pvf"});
  EXPECT_EQ(fss_writeinfo.pvf, 1);
  EXPECT_EQ(fss_writeinfo.wgs, 1);
  EXPECT_EQ(fss_writeinfo.modes, 0);
  read(good(), {"fss", "-pvf", "model"});
  EXPECT_EQ(fss_writeinfo.pvf, 1);
  EXPECT_EQ(fss_writeinfo.wgs, 0);
  EXPECT_EQ(fss_file.name, "model");
  read(good(), {"fss", "-modes", "model", "-wgs"});
  EXPECT_EQ(fss_writeinfo.wgs, 1);
  EXPECT_EQ(fss_writeinfo.modes, 1);
  EXPECT_EQ(fss_writeinfo.pvf, 0);
  // A second name is refused before anything is read (exit status 2).
  EXPECT_EXIT(read(good(), {"fss", "model", "x", "-pvf"}), testing::ExitedWithCode(2),
              testing::HasSubstr(" fss: unexpected argument \"x\" after the structure \"model\": "
                                 "options begin with \"-\"\n"));
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
                                                 " Error in opening data file missing.fss: No such "
                                                 "file or directory\n\n");
}

TEST_F(ReadInput, UnreadableTemporaryFileIsFatal) {
  std::filesystem::create_directory("model.apb");  // cannot be opened as a file
  EXPECT_FATAL(read(good()), " Error in opening tmp file model.apb: Is a directory\n");
}

namespace {
// A structure file of the given blocks (block 4 the square of good()).
std::string with(const std::string& b1, const std::string& b2, const std::string& b3,
                 const std::string& b5, const std::string& b6, const std::string& b7,
                 const std::string& b8) {
  return std::string(head) + "1)\n" + b1 + "\n2)\n" + b2 + "\n3)\n" + b3 + "\n" + block4 +
         "5)\n" + b5 + "\n6)\n" + b6 + "\n7)\n" + b7 + "\n8)\n" + b8 + "\n";
}
const std::string ok1 = "10 10", ok2 = "90", ok3 = "0.5", ok5 = "0 0", ok6 = "8 12 1",
                  ok7 = "60", ok8 = "150";
}  // namespace

// A comma between two digits is taken for a decimal comma and refused in
// every numeric block, with its line: read as a separator it would change
// the structure ("10,5" a 10 x 5 mm cell, "1,5" a 1 mm screen).  A comma
// with a blank beside it separates two values, as before.
TEST_F(ReadInput, DecimalCommasAreRefusedInEveryNumericBlock) {
  auto refused = [&](const std::string& text, int block, int line, const std::string& item,
                     const std::string& point, const std::string& shown) {
    const std::string two = item.substr(0, item.find(',') + 1) + " " + item.substr(item.find(',') + 1);
    expect_fatal_read(text, " Error in reading block " + std::to_string(block) +
                                ") in data file model.fss\n line " + std::to_string(line) +
                                " of model.fss (decimal comma? \"" + item +
                                "\" would be two values: write " + point + ", or \"" + two +
                                "\" for two values): \"" + shown + "\"\n");
  };
  refused(with("10,5 10,5", ok2, ok3, ok5, ok6, ok7, ok8), 1, 4, "10,5", "10.5", "10,5 10,5");
  refused(with(ok1, "60,5", ok3, ok5, ok6, ok7, ok8), 2, 6, "60,5", "60.5", "60,5");
  refused(with(ok1, ok2, "1,5", ok5, ok6, ok7, ok8), 3, 8, "1,5", "1.5", "1,5");
  refused(std::string(head) + blocks123 + "4)\n-1 -1 1 -1\n1 -1 1 1,5\n" + blocks5to8, 4, 11,
          "1,5", "1.5", "1 -1 1 1,5");
  refused(with(ok1, ok2, ok3, "0 22,5", ok6, ok7, ok8), 5, 15, "22,5", "22.5", "0 22,5");
  refused(with(ok1, ok2, ok3, ok5, "8\t12 0,5", ok7, ok8), 6, 17, "0,5", "0.5", "8?12 0,5");
  refused(with(ok1, ok2, ok3, ok5, ok6, "60,5", ok8), 7, 19, "60,5", "60.5", "60,5");
  refused(with(ok1, ok2, ok3, ok5, ok6, ok7, "150,25"), 8, 21, "150,25", "150.25", "150,25");
  // The second line of values spread over two lines is checked too.
  refused(with("10\n2,5", ok2, ok3, ok5, ok6, ok7, ok8), 1, 5, "2,5", "2.5", "2,5");
  // Separators: a blank on either side of the comma, or a comma at the end.
  read(with("12, 10", ok2, ok3, "0 ,30", "8 ,12, 0.5", ok7, ok8));
  EXPECT_DOUBLE_EQ(fss_cell_dim.a, 0.012);
  EXPECT_DOUBLE_EQ(fss_cell_dim.b, 0.010);
  EXPECT_DOUBLE_EQ(fss_phi.start, 30 * dpi(0) / 180);
  EXPECT_DOUBLE_EQ(fss_freq_iter.end, 12e9);
  read(with("12,\n10", ok2, ok3, ok5, ok6, ok7, ok8));
  EXPECT_DOUBLE_EQ(fss_cell_dim.b, 0.010);
}

TEST_F(ReadInput, RangesCheckedWithClearMessages) {
  read(with(ok1, ok2, ok3, ok5, ok6, ok7, ok8));  // the reference file is accepted
  // Each refusal names the block, the bound and the value, then the line.
  expect_fatal_read(with("0 10", ok2, ok3, ok5, ok6, ok7, ok8),
                    " Error in block 1) of data file model.fss: the cell period a must lie between "
                    "0.001 and 10000 mm (read 0)\n line 4 of model.fss: \"0 10\"\n");
  expect_fatal_read(with("10 -1", ok2, ok3, ok5, ok6, ok7, ok8), "the cell period b must lie between 0.001 and 10000 mm (read -1)");
  // A 1e-12 mm cell, an infinite one.
  expect_fatal_read(with("1e-12 10", ok2, ok3, ok5, ok6, ok7, ok8), "the cell period a must lie between 0.001 and 10000 mm (read 1e-12)");
  expect_fatal_read(with("10 1e300", ok2, ok3, ok5, ok6, ok7, ok8), "the cell period b must lie between");
  expect_fatal_read(with(ok1, "180", ok3, ok5, ok6, ok7, ok8),
                    " Error in block 2) of data file model.fss: the skew angle must lie between 10 "
                    "and 170 degrees (read 180)\n line 6 of model.fss: \"180\"\n");
  expect_fatal_read(with(ok1, "1e-300", ok3, ok5, ok6, ok7, ok8), "the skew angle must lie between 10 and 170 degrees (read 1e-300)");
  expect_fatal_read(with(ok1, ok2, "0", ok5, ok6, ok7, ok8),
                    " Error in block 3) of data file model.fss: the metal thickness must lie "
                    "between 1e-06 and 10000 mm (read 0)\n line 8 of model.fss: \"0\"\n");
  expect_fatal_read(with(ok1, ok2, "1e300", ok5, ok6, ok7, ok8), "the metal thickness must lie between 1e-06 and 10000 mm (read 1e+300)");
  expect_fatal_read(with(ok1, ok2, ok3, "90 0", ok6, ok7, ok8),
                    " Error in block 5) of data file model.fss: theta must lie in [0, 90) degrees "
                    "(read 90)\n line 15 of model.fss: \"90 0\"\n");
  expect_fatal_read(with(ok1, ok2, ok3, "-5 0", ok6, ok7, ok8), "theta must lie in [0, 90) degrees");
  expect_fatal_read(with(ok1, ok2, ok3, "0 1e300", ok6, ok7, ok8), "phi must lie in [-360, 360] degrees (read 1e+300)");
  expect_fatal_read(with(ok1, ok2, ok3, "0 0 1 0 400 100", ok6, ok7, ok8), "phi must lie in [-360, 360] degrees (read 400)");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 0 0 0 1", ok6, ok7, ok8), "the theta step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 5 0 0 -1", ok6, ok7, ok8), "the phi step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, "20 10 5 0 0 1", ok6, ok7, ok8), "the theta end must not lie below its start");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 5 10 0 1", ok6, ok7, ok8), "the phi end must not lie below its start");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "0 12 1", ok7, ok8),
                    " Error in block 6) of data file model.fss: the start frequency must lie "
                    "between 1e-06 and 1e+06 GHz (read 0)\n line 17 of model.fss: \"0 12 1\"\n");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "8 12 0", ok7, ok8), "the frequency step must be positive");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "12 8 1", ok7, ok8), "the end frequency must not lie below the start");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "8 1e7 1e6", ok7, ok8), "the frequencies must not exceed 1e+06 GHz");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, "0", ok8),
                    " Error in block 7) of data file model.fss: the largest frequency of the "
                    "aperture modes must lie between 1e-06 and 1e+06 GHz (read 0)\n"
                    " line 19 of model.fss: \"0\"\n");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, ok7, "-1"),
                    " Error in block 8) of data file model.fss: the largest frequency of the "
                    "Floquet modes must lie between the highest frequency of the sweep, 12 GHz, "
                    "and 1e+06 GHz (read -1)\n line 21 of model.fss: \"-1\"\n");
  // The incident wave itself must be among the Floquet modes.
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, ok7, "1e-300"), "the largest frequency of the Floquet modes must lie between");
  expect_fatal_read(with(ok1, ok2, ok3, ok5, ok6, ok7, "11.9"), "(read 11.9)");
  read(with(ok1, ok2, ok3, ok5, ok6, ok7, "12"));
  // The last theta of a sweep may lie a tenth of a step past its end.
  expect_fatal_read(with(ok1, ok2, ok3, "80 89.5 10 0 0 1", ok6, ok7, ok8), "theta must lie in [0, 90) degrees (read 90)");
  read(with(ok1, ok2, ok3, "80 88.9 10 0 0 1", ok6, ok7, ok8));  // last point 80
  expect_fatal_read(with(ok1, ok2, ok3, ok5, "1 10 1e-6", ok7, ok8), "the frequency sweep has too many points (read 9e+06)");
  expect_fatal_read(with(ok1, ok2, ok3, "0 10 1e-6 0 0 1", ok6, ok7, ok8), "the theta sweep has too many points");
}

TEST_F(ReadInput, HarmlessExtrasAcceptedWithAWarning) {
  auto warned = [&](const std::string& text) {
    testing::internal::CaptureStdout();
    read(text);
    return testing::internal::GetCapturedStdout();
  };
  // A third value in block 1 and a word after the thickness are dropped.
  std::string out = warned(with("10 10 7", ok2, "0.5 mm", ok5, ok6, ok7, ok8));
  EXPECT_NE(out.find(" Subroutine read_input_fss warning message:\n Values beyond those of block 1) "
                     "ignored in data file model.fss\n line 4 of model.fss: \"10 10 7\"\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" Values beyond those of block 3) ignored in data file model.fss\n"
                     " line 8 of model.fss: \"0.5 mm\"\n"),
            std::string::npos);
  EXPECT_DOUBLE_EQ(fss_cell_dim.b, 0.010);
  // Values spread over two lines warn only about the rest of the last one.
  out = warned(with("10\n10", ok2, ok3, ok5, ok6, ok7, ok8));
  EXPECT_EQ(out.find("warning"), std::string::npos) << out;
  // Aperture modes below the top of the sweep leave propagating modes out.
  out = warned(with(ok1, ok2, ok3, ok5, ok6, "11", ok8));
  EXPECT_NE(out.find(" Aperture modes are computed up to 11 GHz only, below the highest frequency "
                     "of the sweep (12 GHz): the modes that propagate in the aperture above it "
                     "are left out\n line 19 of model.fss: \"11\"\n"),
            std::string::npos)
      << out;
  out = warned(with(ok1, ok2, ok3, ok5, ok6, ok7, ok8) + "\nmore notes\n");
  EXPECT_NE(out.find(" Lines after block 8) ignored in data file model.fss\n"
                     " line 23 of model.fss: \"more notes\"\n"),
            std::string::npos)
      << out;
}

TEST_F(ReadInput, MissingOrMisplacedLabelsNamedByTheirNumber) {
  // No "3)" line: the thickness line stands where the label should.
  std::string no3 = std::string(head) + "1)\n10 10\n2)\n90\n0.5\n" + block4 + blocks5to8;
  expect_fatal_read(no3, " Missing block label 3) in data file model.fss\n line 7 of model.fss: \"0.5\"\n");
  // Blocks 2 and 3 swapped, a block repeated.
  std::string swapped = std::string(head) + "1)\n10 10\n3)\n0.5\n2)\n90\n" + block4 + blocks5to8;
  expect_fatal_read(swapped, " Missing block label 2) in data file model.fss\n line 5 of model.fss: \"3)\"\n");
  std::string twice = std::string(head) + "1)\n10 10\n1)\n10 10\n" + blocks123 + block4 + blocks5to8;
  expect_fatal_read(twice, " Missing block label 2) in data file model.fss\n line 5 of model.fss: \"1)\"\n");
  // Block 4 keeps its own message; a missing "5)" is found at block 6.
  expect_fatal_read(std::string(head) + blocks123 + "-1 -1 1 -1\n",
                    " Error in reading block 4) in data file (else) model.fss\n"
                    " line 9 of model.fss: \"-1 -1 1 -1\"\n");
  std::string no5 = std::string(head) + blocks123 + block4 + "6) sweep\n8 12 1\n";
  expect_fatal_read(no5, " Missing block label 5) in data file model.fss\n line 14 of model.fss: \"6) sweep\"\n");
  expect_fatal_read(std::string(head) + blocks123 + block4,
                    " Error in reading block 4) in data file model.fss\n end of file model.fss "
                    "after line 13 (no line holds the label 5))\n");
  // The end of the file in the middle of the blocks.
  expect_fatal_read(std::string(head) + blocks123 + block4 + "5)\n0 0\n6)\n8 12 1\n",
                    " Error in reading block 7) in data file model.fss\n end of file model.fss after line 17\n");
  expect_fatal_read(std::string(head) + "1)\n10\n",
                    " Error in reading block 1) in data file model.fss\n end of file model.fss after line 4\n");
}

TEST_F(ReadInput, BoundaryLinesReadAsTheContourReaderReadsThem) {
  auto refused = [&](const std::string& line, const std::string& why) {
    std::string text = std::string(head) + blocks123 + "4)\n-3 -3 3 -3\n" + line + "\n" + blocks5to8;
    expect_fatal_read(text, " Error in reading block 4) in data file model.fss\n line 11 of model.fss (" +
                                why + "): \"" + line.substr(0, 80));
  };
  // An arc with a value missing or not a number would become a straight side.
  refused("3 -3 3 3 4", "five values: a side needs four, an arc six");
  refused("3 -3 3 3 nan nan", "not a number: nan");
  refused("3 -3 3 3 1e300 0", "a coordinate of 10 m or more");
  refused("3 -3 3 3 0 0 7", "more than six values");
  refused("3 -3 3", "fewer than four values");
  refused("3 -3 three 3", "not a number: three");
  refused("", "no element on the line");
  // A full circle written with 16 digits is longer than a boundary line: the
  // cut would drop its third point.
  refused("1.6117203239656381 0.2849663643372988 1.6117203239656381 0.2849663643372988 "
          "-0.6382796760343619 0.2849663643372988",
          "longer than 80 characters, the length of a boundary line");
  // Any other line is refused when longer than a record; the free lines may be.
  expect_fatal_read(with(ok1 + " " + std::string(250, ' ') + "1", ok2, ok3, ok5, ok6, ok7, ok8),
                    " Error in reading block 1) in data file model.fss\n line 4 of model.fss "
                    "(longer than 256 characters): \"10 10");
  read(std::string(300, 't') + "\n" + good().substr(6));
  // A word after the four values of a side, or after the six of an arc, is a comment.
  read(std::string(head) + blocks123 + "4)\n-1 -1 1 -1 bottom\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n" + blocks5to8);
}

TEST_F(ReadInput, ReadingIsBoundedAndLongNamesWork) {
  // A "file" without line ends is read no further than one long line.
  std::filesystem::create_symlink("/dev/zero", "zero.fss");
  set_command_line({"fss", "zero"});
  EXPECT_FATAL(read_input_fss(), " Error in reading data file zero.fss\n line 1 of zero.fss (longer than 65536 characters): \"????");
  // A path longer than 256 characters is neither cut nor lost.
  std::string dir(120, 'd');
  std::filesystem::create_directories(dir + "/" + dir);
  const std::string base = dir + "/" + dir + "/model";
  scratch_dir::write_file(base + ".fss", good());
  clear();
  set_command_line({"fss", base});
  read_input_fss();
  EXPECT_EQ(fss_file.name, base);
  EXPECT_TRUE(std::filesystem::exists(base + ".apb"));
}

TEST_F(ReadInput, WaveguideSimulatorRefusesFrequenciesBelowItsCutoff) {
  // c / (2 a) for a = 10 mm is 14.99 GHz.
  std::string text = structure_text(10, 10, 0.5, 4, 4, "0 0", "14.99 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  set_command_line({"fss", "wgs", "-wgs"});
  read_input_fss();
  EXPECT_FATAL(fss_check_wgs(), "Waveguide-simulator mode (-wgs) needs every frequency above c/(2a) = 14.99 GHz");
  text = structure_text(10, 10, 0.5, 4, 4, "0 0", "15 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  read_input_fss();
  fss_check_wgs();  // accepted
  set_command_line({"fss", "wgs"});
  text = structure_text(10, 10, 0.5, 4, 4, "0 0", "10 20 1", 60, 150);
  scratch_dir::write_file("wgs.fss", text);
  read_input_fss();
  fss_check_wgs();  // without the option any frequency is accepted
}

TEST_F(ReadInput, FailedCopyOfTheApertureBlockIsFatal) {
  std::filesystem::create_symlink("/dev/full", "model.apb");  // every write fails
  EXPECT_FATAL(read(good()), " Error in writing tmp file model.apb: No space left on device\n");
}

// Block 9, the stack: layers and the screen from the illuminated side, in SI
// units; without it the screen of block 3 stands alone, in air.
TEST_F(ReadInput, StackBlockReadInOrder) {
  read(good());
  ASSERT_EQ(fss_stack.n, 1);
  EXPECT_EQ(fss_stack.given, 0);
  EXPECT_EQ(fss_stack.item[1].kind, stack_kind_screen);
  EXPECT_DOUBLE_EQ(fss_stack.item[1].d, 0.25e-3);
  EXPECT_EQ(fss_stack.item[1].eps, 1.0);
  read(good() + "9) stack\n0.8 3.0 0.002\n\nScreen 2.1 0.0004\n6.0, 1.05, 0\n");
  ASSERT_EQ(fss_stack.n, 3);
  EXPECT_EQ(fss_stack.given, 1);
  const stack_item &a = fss_stack.item[1], &s = fss_stack.item[2], &b = fss_stack.item[3];
  EXPECT_EQ(a.kind, stack_kind_layer);
  EXPECT_DOUBLE_EQ(a.d, 0.8e-3);
  EXPECT_EQ(a.eps, 3.0);
  EXPECT_EQ(a.tand, 0.002);
  EXPECT_EQ(a.line, 23);
  EXPECT_EQ(s.kind, stack_kind_screen);
  EXPECT_DOUBLE_EQ(s.d, 0.25e-3);
  EXPECT_EQ(s.eps, 2.1);
  EXPECT_EQ(s.tand, 0.0004);
  EXPECT_EQ(b.kind, stack_kind_layer);
  EXPECT_DOUBLE_EQ(b.d, 6.0e-3);
  // A screen line alone: filled holes with no layers; without values, air.
  read(good() + "9) stack\nscreen 2.2\n");
  EXPECT_EQ(fss_stack.item[1].eps, 2.2);
  EXPECT_EQ(fss_stack.item[1].tand, 0.0);
  read(good() + "9) stack\n1 3 0\nscreen\n");
  EXPECT_EQ(fss_stack.item[2].eps, 1.0);
}

TEST_F(ReadInput, StackBlockFaultsNamedWithTheirLine) {
  const std::string g = good() + "9) stack\n";
  expect_fatal_read(g + "1 3 0\nscreen\nscreen 2 0\n",
                    " Two screens without a layer between them in block 9) of data file model.fss "
                    "(a gap of air is a layer of eps_r 1)\n line 25 of model.fss: \"screen 2 0\"\n");
  expect_fatal_read(g + "1 3 0\n",
                    " Block 9) of data file model.fss has no screen line\n line 22 of model.fss "
                    "(the stack needs the line \"screen\" between its layers): \"9) stack\"\n");
  expect_fatal_read(g + "1 3\nscreen\n",
                    " Error in reading block 9) in data file model.fss\n line 23 of model.fss (a "
                    "layer line holds three values: thickness [mm], eps_r and tan_delta; 2 given): "
                    "\"1 3\"\n");
  expect_fatal_read(g + "screen 2 0 1 0\n", "(a screen line holds at most three values: thickness "
                                            "[mm], eps_r and tan_delta of the filling): \"screen 2 0 1 0\"");
  // Three values: the thickness first, then the filling.
  expect_fatal_read(g + "screen 2 0 1\n", "eps_r of the filling must lie between 1 and 1000 (read 0)");
  expect_fatal_read(g + "screen 0 1 0\n", " Error in block 9) of data file model.fss: the metal "
                                          "thickness must lie between 1e-06 and 10000 mm (read 0)\n line 23");
  expect_fatal_read(g + "1 x 0\nscreen\n", "line 23 of model.fss (not a number: x): \"1 x 0\"");
  expect_fatal_read(g + "screen\n0 3 0\n",
                    " Error in block 9) of data file model.fss: the layer thickness must lie above "
                    "0 and up to 10000 mm (read 0)\n line 24 of model.fss: \"0 3 0\"\n");
  expect_fatal_read(g + "screen\n1 0.5 0\n", "eps_r must lie between 1 and 1000 (read 0.5)\n line 24");
  expect_fatal_read(g + "screen\n1 3 1.5\n", "tan_delta must lie between 0 and 1 (read 1.5)\n line 24");
  expect_fatal_read(g + "screen 1e4\n", "eps_r of the filling must lie between 1 and 1000 (read 10000)");
  expect_fatal_read(g + "screen 2 -0.1\n", "tan_delta of the filling must lie between 0 and 1 (read -0.1)");
  expect_fatal_read(g + "screen nan\n", "(not a number: nan): \"screen nan\"");
  std::string many = g + "screen\n";
  for (int i = 0; i < max_stack_items; ++i) many += "1 2 0\n";
  expect_fatal_read(many, " Too many layers in block 9) of data file model.fss (at most 63)\n line 87");
}

// Several apertures and screens: a line with "#" begins the next aperture
// of a screen, one with "$" the apertures of the next screen; block 9 places
// the screens with the layers between them.
TEST_F(ReadInput, ScreensAndAperturesOfBlocks4And9) {
  const std::string square = "-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n";
  const std::string moved = "3 -1 5 -1\n5 -1 5 1\n5 1 3 1\n3 1 3 -1\n";
  auto with4 = [&](const std::string& b4, const std::string& b9) {
    return std::string(head) + blocks123 + "4)\n" + b4 + blocks5to8 + b9;
  };
  read(with4(square + "#\n" + moved + "$ the second screen\n" + square,
             "9) stack\nscreen\n2.5 1 0\n0.5 2 0\nscreen 0.4 2.2 0.001\n"));
  EXPECT_EQ(fss_screen.nsc, 2);
  ASSERT_EQ(fss_stack.n, 4);
  EXPECT_EQ(fss_stack.item[1].apertures, 2);
  EXPECT_EQ(fss_stack.item[4].apertures, 1);
  EXPECT_DOUBLE_EQ(fss_thickness.t1, 0.25e-3);  // block 3
  EXPECT_DOUBLE_EQ(fss_thickness.spacing, 3e-3);
  EXPECT_DOUBLE_EQ(fss_thickness.t2, 0.4e-3);
  EXPECT_DOUBLE_EQ(fss_stack.item[4].d, 0.4e-3);
  EXPECT_EQ(fss_stack.item[4].eps, 2.2);
  EXPECT_EQ(fss_stack.item[4].tand, 0.001);
  // Three screens, the first with a thickness of its own.
  read(with4(square + "$\n" + square + "$\n" + moved,
             "9)\nscreen 1.5 1 0\n1 1 0\nscreen\n2 1 0\nscreen\n"));
  EXPECT_EQ(fss_screen.nsc, 3);
  EXPECT_DOUBLE_EQ(fss_thickness.t1, 1.5e-3);
  EXPECT_DOUBLE_EQ(fss_stack.item[5].d, 0.25e-3);
}

TEST_F(ReadInput, ScreensAndAperturesRefusedWithTheirLine) {
  const std::string square = "-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n";
  auto with4 = [&](const std::string& b4, const std::string& b9 = "") {
    return std::string(head) + blocks123 + "4)\n" + b4 + blocks5to8 + b9;
  };
  // Block 4 and block 9 must agree on the screens.
  expect_fatal_read(with4(square + "$\n" + square),
                    " Block 4) of data file model.fss holds the apertures of 2 screens (a line with "
                    "\"$\" begins the next), the stack 1\n line 14 of model.fss (block 9) places the "
                    "screens and the layers between them): \"$\"\n");
  expect_fatal_read(with4(square, "9) stack\nscreen\n1 1 0\nscreen\n"),
                    " Block 4) of data file model.fss holds the apertures of 1 screen (a line with "
                    "\"$\" begins the next), the stack 2\n line 22 of model.fss (a line \"screen\" per "
                    "screen, a layer between two): \"9) stack\"\n");
  // Every aperture holds an element: a separator after a separator, or
  // before the end of the block, is refused with its line.
  expect_fatal_read(with4(square + "#\n$\n" + square),
                    " Error in reading block 4) in data file model.fss\n line 15 of model.fss (no "
                    "boundary element before this line): \"$\"\n");
  expect_fatal_read(with4(square + "#\n"),
                    "line 15 of model.fss (no boundary element before this line): \"5) incidence");
  // A fault in a later aperture is found as in the first.
  expect_fatal_read(with4(square + "#\n-1 -1 1\n"),
                    "line 15 of model.fss (fewer than four values): \"-1 -1 1\"");
  // The limits: screens, and apertures of one screen.
  std::string many;
  for (int k = 0; k <= max_screens; ++k) many += (k ? "$\n" : "") + square;
  expect_fatal_read(with4(many), " Too many screens in block 4) in data file model.fss (at most 8)\n"
                                 " line 49 of model.fss: \"$\"\n");
  many.clear();
  for (int k = 0; k <= max_screen_apertures; ++k) {
    char side[80];
    std::snprintf(side, sizeof side, "%d 0 %d 0\n%d 0 %d 1\n%d 1 %d 0\n#\n", 3 * k, 3 * k + 1,
                  3 * k + 1, 3 * k, 3 * k, 3 * k);
    many += side;
  }
  expect_fatal_read(with4(many), " Too many apertures in screen 1 of block 4) in data file model.fss "
                                 "(at most 20)\n line 93 of model.fss: \"#\"\n");
}
