// The result file, byte for byte: other programs read it.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/results.hpp"
#include "support/fatal.hpp"
#include "support/known_point.hpp"
#include "support/tmpdir.hpp"

using cplx = std::complex<double>;

namespace {

const char* header =
    "\n"
    "                     ANALYSIS OF FREQUENCY SELECTIVE SURFACES \n"
    "                     ---------------------------------------- \n"
    "\n"
    " version 1.0\n"
    "\n"
    " mode matching of aperture waveguide modes and Floquet modes\n"
    "\n"
    " reflection and transmission of the incident plane wave\n"
    "\n"
    "\n"
    "                                      ****\n"
    "\n"
    "\n"
    " A               =   12.5000  mm\n"
    " B               =    7.3000  mm\n"
    " Skew angle      =   63.4349  deg\n"
    " Metal thickness =    0.0000  mm\n";

}  // namespace

TEST(ResultFile, HeaderBlockAndRowsByteForByte) {
  scratch_dir dir;
  scratch_dir::write_file("res.out", "an old result that must go\n");
  known_geometry();
  write_output();
  EXPECT_EQ(scratch_dir::read_file("res.out"), header);
  known_solution(10.5);
  calc_ref_tr();
  known_solution(11.0);
  calc_ref_tr();
  const std::string block =
      " Number of basis functions =  1\n"
      " Number of Floquet modes   =  2\n"
      "\n\n"
      " freq[GHz]   magTy[dB]   phTy[deg]   magTx[dB]   phTx[deg]   magRy[dB]   phRy[deg]   magRx[dB]   phRx[deg]\n"
      "\n";
  const std::string row1 =
      "   10.500     -99.999       0.000      -6.021      90.000      -6.021     180.000      -6.021       0.000\n";
  const std::string row2 =
      "   11.000     -99.999       0.000      -6.021      90.000      -6.021     180.000      -6.021       0.000\n";
  EXPECT_EQ(scratch_dir::read_file("res.out"), header + block + row1 + row2);
}

TEST(ResultFile, TransmissionIsReferredBackThroughTheScreen) {
  scratch_dir dir;
  known_geometry();
  fss_thickness.t1 = 1e-3;
  write_output();
  known_solution(10.5);
  calc_coefficients();
  // The transmitted wave at the far face, times exp(+i k0 t).
  const cplx expect = cplx(0, 0.5) * std::exp(cplx(0, fss_em_var.k0 * 1e-3));
  EXPECT_NEAR(std::abs(fss_coefficients.t22a - expect), 0, 1e-15);
  // At oblique incidence the phase path is the normal wavenumber.
  fss_inc_mode = {1, 2, -1, -1};
  fss_modeflo_kappa[1] = fss_modeflo_kappa[2] = {100, 100, 0};
  fss_modeflo_y[1].y1 = fss_modeflo_y[2].y1 = 0.01;
  calc_coefficients();
  const double g = std::sqrt(fss_em_var.k0 * fss_em_var.k0 - 1e4);
  const cplx path = std::exp(cplx(0, g * 1e-3));
  EXPECT_NEAR(std::abs(fss_coefficients.r11 - 0.5), 0, 1e-15);
  EXPECT_NEAR(std::abs(fss_coefficients.t11a - cplx(0, 0.5) * path), 0, 1e-15);
  EXPECT_NEAR(std::abs(fss_coefficients.r22 + 0.5), 0, 1e-15);
  EXPECT_EQ(fss_coefficients.t22a, cplx(0));
  fss_vettb[4] = 0.25;
  calc_coefficients();
  EXPECT_NEAR(std::abs(fss_coefficients.t22a - 0.25 * path), 0, 1e-15);
}

TEST(ResultFile, FixedFieldsAndFloor) {
  EXPECT_EQ(fixed_field(10.5, 9, 3), "   10.500");
  EXPECT_EQ(fixed_field(-0.0004, 12, 3), "      -0.000");
  EXPECT_EQ(fixed_field(123456.7, 9, 3), "*********");
  EXPECT_EQ(fixed_field(NAN, 12, 3), "************");
  EXPECT_NEAR(db_floor(0), -99.999, 5e-4);
  EXPECT_EQ(fixed_field(db_floor(0), 12, 3), "     -99.999");
  EXPECT_EQ(db_floor(NAN), db_floor(0));
  EXPECT_EQ(db_floor(1), 0.0);
  EXPECT_NEAR(db_floor(0.1), -20, 1e-12);
}

TEST(ResultFile, UnwritableResultFileIsReported) {
  scratch_dir dir;
  known_geometry();
  fss_file.name = "nodir/res";  // a directory that does not exist
  EXPECT_FATAL(write_output(), "Subroutine write_output fatal error message:\n"
                               " Error in opening file nodir/res.out");
  fss_file.name = "res";
  write_output();
  std::filesystem::remove("res.out");
  std::filesystem::create_directory("res.out");
  known_solution(10.5);
  EXPECT_FATAL(calc_ref_tr(), "Subroutine calc_ref_tr fatal error message:\n Error in opening file res.out");
  std::filesystem::remove("res.out");
  std::filesystem::create_symlink("/dev/full", "res.out");  // a full disc
  EXPECT_FATAL(calc_ref_tr(), "Subroutine calc_ref_tr fatal error message:\n Error in writing file res.out");
}
