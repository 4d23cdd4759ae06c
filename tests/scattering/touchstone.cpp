// The Touchstone files: format byte for byte and by a strict parser of the
// version 1.1 rules, one file per direction named by its angles, and the
// physics of the 4-port: reciprocity, no loss below the grating lobe, and
// reference planes at the faces of the screen.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"
#include "scattering/polarisation.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/known_point.hpp"
#include "support/result_files.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

namespace {

const std::string header =
    "! res: scattering matrix of the screen\n"
    "! incidence: theta = 0 deg, phi = 0 deg\n"
    "! ports: 1 TE, 2 TM: the specular Floquet waves on the illuminated face\n"
    "!        3 TE, 4 TM: the same waves on the far face\n"
    "! TE: E normal to the plane of incidence, TM: E in it\n"
    "!   (at normal incidence TE is the wave with E along y, TM with E along x)\n"
    "! normalisation: power waves, each port to its own wave impedance,\n"
    "!   Z_TE = eta0 / cos(theta), Z_TM = eta0 cos(theta), eta0 = 120 pi ohm;\n"
    "!   here Z_TE = 376.991118 ohm, Z_TM = 376.991118 ohm;\n"
    "!   |Sij|^2 is a power ratio. The R of the option line is eta0, exact at\n"
    "!   normal incidence; at oblique incidence the data are still normalised\n"
    "!   to the impedances above (as if ideal transformers matched them to R)\n"
    "! reference planes: the two faces of the screen; S31 is the transmission\n"
    "!   from face to face, and the transmission of the .out file is\n"
    "!   S31 exp(+j kz t), kz = k0 cos(theta), t the metal thickness\n"
    "!   (t = 0.000000 mm)\n"
    "! ports 3, 4 from the front-back mirror symmetry of the screen:\n"
    "!   S33 = S11, S34 = S12, S43 = S21, S44 = S22, S13 = S31, S14 = S32,\n"
    "!   S23 = S41, S24 = S42\n"
    "! time dependence exp(+j omega t); magnitude and angle in degrees\n"
    "# GHz S MA R 376.991118\n";

// The known point as a 4-port: S11 0.5, S21 1.5, S31 = S41 = 0.5 at 90
// degrees from the TEM-x wave; S12 0.5, S22 -0.5 and no transmission from
// the TEM-y wave; ports 3 and 4 the mirror images.
std::string known_rows(const char* f) {
  return std::string(f) +
         " 0.5 0.000000000 0.5 0.000000000 0.5 90.000000000 0 0.000000000\n"
         " 1.5 0.000000000 0.5 180.000000000 0.5 90.000000000 0 0.000000000\n"
         " 0.5 90.000000000 0 0.000000000 0.5 0.000000000 0.5 0.000000000\n"
         " 0.5 90.000000000 0 0.000000000 1.5 0.000000000 0.5 180.000000000\n";
}

s4p_file parsed(const std::string& name) {
  std::string error;
  s4p_file f = read_touchstone(name, error);
  EXPECT_EQ(error, "") << name;
  return f;
}

// Largest entry of |S^H S - I| and of |S - S^T|.
double loss_residual(const s4p_point& p) {
  double worst = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      cplx sum = 0;
      for (int k = 0; k < 4; ++k) sum += std::conj(p.s[k][i]) * p.s[k][j];
      worst = std::max(worst, std::abs(sum - (i == j ? 1.0 : 0.0)));
    }
  return worst;
}
double asymmetry(const s4p_point& p) {
  double worst = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) worst = std::max(worst, std::abs(p.s[i][j] - p.s[j][i]));
  return worst;
}

void run_rect(const std::string& incidence, const std::string& sweep, double t_mm = 1) {
  scratch_dir::write_file("rect.fss", structure_text(10, 10, t_mm, 8, 2, incidence, sweep, 100, 300));
  testing::internal::CaptureStdout();
  run_chain("rect", {0, 0, 8e-3, 2e-3, 16}, {"-s4p"});
  testing::internal::GetCapturedStdout();
}

const std::string lshape = "-3 -3 3 -3\n3 -3 3 -1\n3 -1 -1 -1\n-1 -1 -1 3\n-1 3 -3 3\n-3 3 -3 -3\n";
void run_lshape(const std::string& incidence) {
  scratch_dir::write_file("l.fss", "t\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + lshape + "5)\n" +
                                       incidence + "\n6)\n10 22 1\n7)\n100\n8)\n300\n");
  run_structure("l", 0, 0, {"-s4p"});
}

}  // namespace

TEST(TouchstoneFile, HeaderAndDataByteForByte) {
  scratch_dir dir;
  known_geometry();
  fss_theta = fss_phi = {0, 0, 1};
  scratch_dir::write_file("res_theta0_phi0.s4p", "an old file that must go\n");
  known_solution(10.5);
  calc_polarisations();
  write_s4p_point();
  known_solution(11.0);
  calc_polarisations();
  write_s4p_point();
  EXPECT_EQ(scratch_dir::read_file("res_theta0_phi0.s4p"),
            header + known_rows("10.5") + known_rows("11"));
  const s4p_file f = parsed("res_theta0_phi0.s4p");
  EXPECT_EQ(f.unit, "GHZ");
  EXPECT_EQ(f.parameter, "S");
  EXPECT_EQ(f.format, "MA");
  EXPECT_NEAR(f.r, 120 * M_PI, 1e-6);
  ASSERT_EQ(f.points.size(), 2u);
  EXPECT_EQ(f.points[1].f, 11.0);
  EXPECT_NEAR(std::abs(f.points[0].s[2][0] - cplx(0, 0.5)), 0, 1e-12);  // S31
}

// The parser refuses what the version 1.1 rules forbid.
TEST(TouchstoneFile, TheStrictParserRefusesBrokenFiles) {
  scratch_dir dir;
  const std::string good = "! c\n# GHz S MA R 50\n" + known_rows("1");
  const struct { std::string text, words; } bad[] = {
      {good + "# GHz S MA R 50\n", "a second option line"},
      {known_rows("1") + "# GHz S MA R 50\n", "network data before the option line"},
      {"# GHz S MA R 50\n" + known_rows("1").substr(0, known_rows("1").size() - 30) + "\n",
       "numbers where 8 belong"},
      {"[Version] 2.0\n" + good, "a version 2 keyword"},
      {"# GHz S MA R 50 X\n" + known_rows("1"), "option line item \"X\""},
      {"# GHz S MA R\n" + known_rows("1"), "option line item \"R\""},
      {good + known_rows("0.5"), "frequencies not increasing"},
      {"# GHz S MA\n" + known_rows("1x"), "\"1x\" is not a number"},
      {"# GHz S MA\n" + known_rows("1") + "2 0.5 0\n", "3 numbers where 9 belong"},
      {"# GHz S MA\n" + known_rows("1") + known_rows("2").substr(0, 66), "incomplete"}};
  for (const auto& b : bad) {
    scratch_dir::write_file("b.s4p", b.text);
    std::string error;
    read_touchstone("b.s4p", error);
    EXPECT_NE(error.find(b.words), std::string::npos) << error << "\n" << b.text;
  }
  scratch_dir::write_file("g.s4p", good);
  EXPECT_EQ(parsed("g.s4p").points.size(), 1u);
}

// Three elevations in two planes: six files, each named and headed by its
// direction, each with every frequency of the sweep.
TEST(TouchstoneFile, OneFilePerDirectionNamedByItsAngles) {
  scratch_dir dir;
  run_rect("0 30 15 0 45 45", "12 14 1");
  for (const char* phi : {"0", "45"})
    for (const char* theta : {"0", "15", "30"}) {
      const std::string name = std::string("rect_theta") + theta + "_phi" + phi + ".s4p";
      ASSERT_TRUE(std::filesystem::exists(name)) << name;
      const s4p_file f = parsed(name);
      EXPECT_EQ(f.comments.at(1),
                std::string(" incidence: theta = ") + theta + " deg, phi = " + phi + " deg");
      ASSERT_EQ(f.points.size(), 3u);
      EXPECT_EQ(f.points[2].f, 14);
    }
  // Angles carry as many decimals as the step needs.
  fss_theta = {0, 1e-6, 1e-5 * M_PI / 180};
  fss_phi = {0, 0, 1};
  EXPECT_EQ(s4p_name(0.00001, 0), "rect_theta0.00001_phi0.s4p");
  EXPECT_EQ(s4p_name(2.5, -45), "rect_theta2.5_phi-45.s4p");
}

// Below the first grating lobe only the four ports carry power: S is unitary
// (S^H S = I) to the 12 digits of the file.  Reciprocity makes S(theta, phi)
// the transpose of S(theta, phi + 180): S itself is symmetric at normal
// incidence and, at oblique incidence, for an aperture that a half turn maps
// onto itself (the slot), not for the L-shaped hole.
TEST(TouchstoneFile, LosslessAndReciprocal) {
  scratch_dir dir;
  run_rect("40 30", "10 15.5 0.5");  // first grating lobe at 16.5 GHz
  double cross = 0;
  for (const s4p_point& p : parsed("rect_theta40_phi30.s4p").points) {
    EXPECT_LT(loss_residual(p), 1e-9) << p.f;
    EXPECT_LT(asymmetry(p), 1e-11) << p.f;
    cross = std::max(cross, std::abs(p.s[1][0]));
  }
  EXPECT_GT(cross, 0.1);  // the coupling of the polarisations is tested, too
  run_lshape("0 0");
  for (const s4p_point& p : parsed("l_theta0_phi0.s4p").points) {
    EXPECT_LT(loss_residual(p), 1e-9) << p.f;
    EXPECT_LT(asymmetry(p), 1e-11) << p.f;
  }
  run_lshape("20 30");
  const s4p_file ahead = parsed("l_theta20_phi30.s4p");
  run_lshape("20 210");
  const s4p_file back = parsed("l_theta20_phi210.s4p");
  ASSERT_EQ(ahead.points.size(), back.points.size());
  double asym = 0;
  for (std::size_t k = 0; k < ahead.points.size(); ++k) {
    const s4p_point &a = ahead.points[k], &b = back.points[k];
    EXPECT_LT(loss_residual(a), 1e-9) << a.f;  // first grating lobe at 22.3 GHz
    asym = std::max(asym, asymmetry(a));
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_LT(std::abs(a.s[i][j] - b.s[j][i]), 1e-11) << a.f;
  }
  EXPECT_GT(asym, 0.01);
}

// Reference planes: reflection at the illuminated face as in the ".out"
// file; transmission between the faces, so the ".out" transmission (referred
// back to the illuminated face, exp(+j kz t)) leads S31 and S42 by kz t,
// kz = k0 cos(theta), here 3 mm of a 30 degree path: 108 to 162 degrees.
TEST(TouchstoneFile, TransmissionPhaseLagsTheResultFileByKzT) {
  scratch_dir dir;
  run_rect("30 0", "12 18 1", 3);
  const s4p_file f = parsed("rect_theta30_phi0.s4p");
  const std::vector<out_block> out = read_out_file("rect.out");
  ASSERT_EQ(f.points.size(), out.at(0).rows.size());
  auto deg = [](cplx z) { return std::arg(z) * 180 / M_PI; };
  auto db = [](cplx z) { return 20 * std::log10(std::abs(z)); };
  for (std::size_t k = 0; k < f.points.size(); ++k) {
    const s4p_point& p = f.points[k];
    const out_row& o = out[0].rows[k];
    const double kzt = 2 * M_PI * p.f * 1e9 / 299800000.0 * std::cos(M_PI / 6) * 3e-3 * 180 / M_PI;
    // The TE wave is the "x" columns of the ".out" file, the TM wave the "y".
    EXPECT_NEAR(std::remainder(o.phTx - deg(p.s[2][0]) - kzt, 360), 0, 6e-4) << p.f;
    EXPECT_NEAR(std::remainder(o.phTy - deg(p.s[3][1]) - kzt, 360), 0, 6e-4) << p.f;
    EXPECT_NEAR(std::remainder(o.phRx - deg(p.s[0][0]), 360), 0, 6e-4) << p.f;
    EXPECT_NEAR(std::remainder(o.phRy - deg(p.s[1][1]), 360), 0, 6e-4) << p.f;
    EXPECT_NEAR(o.magTx, db(p.s[2][0]), 6e-4) << p.f;
    EXPECT_NEAR(o.magTy, db(p.s[3][1]), 6e-4) << p.f;
  }
}

// The waveguide simulator is one pass whose angle follows the frequency:
// one file, which says that the (-1, 0) order takes the power the four
// ports miss (the CSV total, with that order, stays 1).
TEST(TouchstoneFile, WaveguideSimulatorWritesOneFile) {
  scratch_dir dir;
  scratch_dir::write_file("wg.fss", structure_text(10, 10, 1, 8, 2, "0 0", "16 20 1", 100, 300));
  testing::internal::CaptureStdout();
  run_chain("wg", {0, 0, 8e-3, 2e-3, 16}, {"-wgs", "-s4p", "-csv"});
  testing::internal::GetCapturedStdout();
  const s4p_file f = parsed("wg_wgs.s4p");
  EXPECT_EQ(f.points.size(), 5u);
  EXPECT_EQ(f.comments.at(1),
            " waveguide simulator: phi = 0, theta = asin(c / (2 a f)) at every frequency;");
  std::string error;
  const csv_table t = read_csv("wg.csv", error);
  ASSERT_EQ(t.rows.size(), 5u);
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    const double f_ghz = t.at(k, "freq[GHz]");
    EXPECT_NEAR(t.at(k, "theta[deg]"), std::asin(299800000.0 / (2 * 0.01 * f_ghz * 1e9)) * 180 / M_PI,
                1e-6);
    EXPECT_EQ(t.at(k, "orders"), 2);
    EXPECT_NEAR(t.at(k, "TE_Ptotal"), 1, 1e-10);
    // What the ports miss is what the (-1, 0) order carries.
    const s4p_point& p = f.points[k];
    double ports = 0;
    for (int i = 0; i < 4; ++i) ports += std::norm(p.s[i][0]);
    EXPECT_NEAR(ports, t.at(k, "TE_Pspecular"), 1e-9);
    EXPECT_LT(ports, 0.999);
  }
}

TEST(TouchstoneFile, UnwritableFileIsReported) {
  scratch_dir dir;
  known_geometry();
  fss_theta = fss_phi = {0, 0, 1};
  fss_file.name = "nodir/res";
  known_solution(10.5);
  calc_polarisations();
  EXPECT_FATAL(write_s4p_point(), "Subroutine write_s4p fatal error message:\n"
                                  " Error in opening file nodir/res_theta0_phi0.s4p");
  fss_file.name = "res";
  std::filesystem::create_symlink("/dev/full", "res_theta0_phi0.s4p");
  known_solution(11);  // appended to the file of the direction
  EXPECT_FATAL(write_s4p_point(), "Subroutine write_s4p fatal error message:\n"
                                  " Error in writing file res_theta0_phi0.s4p");
}
