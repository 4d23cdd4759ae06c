// The mode files as the catalogue reads them back: records byte by byte,
// the merges of later runs, the single-precision length and symmetry
// constants, the boundary values of calc_j and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "contour/contour.hpp"
#include "modefields/mode_files.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/driver.hpp"
#include "scattering/catalogue.hpp"
#include "support/fatal.hpp"
#include "support/solver_run.hpp"
#include "support/tmpdir.hpp"

namespace {

std::vector<std::string> lines(const std::string& name) {
  std::ifstream in(name);
  std::vector<std::string> v;
  std::string l;
  while (std::getline(in, l)) v.push_back(l);
  return v;
}

class ModeFiles : public testing::Test {
 protected:
  scratch_dir dir;
  void SetUp() override { fss_set_capacities(); }
  // A coded table with the given unit code and element labels (no
  // geometry), and the run files named from "w".
  void table(int unit, const std::vector<int>& labels) {
    contour_capacities();
    blok2.n = 1 + static_cast<int>(labels.size());
    int words[2] = {unit, 0};
    std::memcpy(&blok2[1][11], words, 8);
    for (std::size_t k = 0; k < labels.size(); ++k) labin(static_cast<int>(k) + 2, labels[k], 0, 0);
    run_files.resa[2] = "w.pag";
    write_wgm_first = sample_pot_first = 1;
    dat.symx = dat.symy = 0;
  }
};

}  // namespace

TEST_F(ModeFiles, SingleConstantsOfLengthAndSymmetry) {
  EXPECT_EQ(mode_file_scale(0), 1.0);
  EXPECT_EQ(mode_file_scale(1), 0.10000000149011612);
  EXPECT_EQ(mode_file_scale(2), 0.010000000298023226);
  EXPECT_EQ(mode_file_scale(3), 0.0010000000447034842);
  dat.symx = dat.symy = 0;
  EXPECT_EQ(sample_symmetry_factor(), 1.0);
  dat.symx = -1;
  EXPECT_EQ(sample_symmetry_factor(), 1.4142135381698608);
  dat.symy = 1;
  EXPECT_EQ(sample_symmetry_factor(), 1.9999999315429164);
}

// The list of a TE run, then a TM run merged into it, then a TEM run: the
// first record counts all modes; the kinds exchange the solver's 1 and 2;
// the cutoffs are |lambda| / L, a TEM value stays as it is.
TEST_F(ModeFiles, ModeListAndItsMerges) {
  table(0, {1, 0});
  vet1.n = 2;
  vet1[1] = -2.5;
  vet1[2] = 3;
  fss_write_wgm(1);
  EXPECT_EQ(lines("w.wgm"), (std::vector<std::string>{" 2", " 2.5 2", " 3 2"}));
  vet1.n = 1;
  vet1[1] = 4.25;
  fss_write_wgm(2);
  vet1[1] = 50.5;
  fss_write_wgm(0);
  EXPECT_EQ(lines("w.wgm"),
            (std::vector<std::string>{" 4", " 2.5 2", " 3 2", " 4.25 1", " 50.5 0"}));
  EXPECT_FALSE(std::ifstream("w_tmp.wgm"));  // the scratch copy is gone
  EXPECT_FALSE(std::ifstream("w.wg2"));      // the contour carries basis functions
  // Millimetres: 1/mm to 1/m with the single-precision metre.
  table(3, {1});
  vet1.n = 1;
  vet1[1] = 1;
  fss_write_wgm(1);
  EXPECT_EQ(lines("w.wgm")[1], " 999.99995529651778 2");
  EXPECT_EQ(999.99995529651778, 1 / mode_file_scale(3));
}

// An aperture equal to its enclosure (wall and symmetry planes only) also
// lists its modes as enclosing-guide modes, by their indices.
TEST_F(ModeFiles, EnclosureModeListing) {
  table(0, {0, 1000, 0});
  amo.n = 2;
  amo[1] = {1, 0, 2.0};
  amo[2] = {0, 1, 3.0};
  vet1.n = 2;
  vet1[1] = 2;
  vet1[2] = 3;
  fss_write_wgm(1);
  EXPECT_EQ(lines("w.wg2"), (std::vector<std::string>{" TE 1 0      k= 2 [1/m]",
                                                      " TE 0 1      k= 3 [1/m]"}));
}

// Sample points: x' = (shift + x) L, the normal the tangent turned by -90
// degrees; a mirrored axis negates the coordinate and the normal.
TEST_F(ModeFiles, SamplePointRecords) {
  code_boundary({"0 0 3 0", "3 0 3 3", "3 3 0 3", "0 3 0 0"}, 10);
  run_files.resa[2] = "w.pag";
  fss_samples_coord();
  std::vector<std::string> crd = lines("w.crd");
  ASSERT_EQ(crd.size(), 13u);
  EXPECT_EQ(crd[0], " 12");
  // The middle node of the 3-point rule on the lower side, at x = 1.5 mm.
  EXPECT_EQ(xypts[2].x, 1.5);
  EXPECT_EQ(crd[2], " 0.0015000000670552264 0 0 -1");
  translations.mirx = 1;
  translations.dx = 2;
  fss_samples_coord();
  std::istringstream rec(lines("w.crd")[2]);
  double x, y, nx, ny;
  rec >> x >> y >> nx >> ny;
  EXPECT_EQ(x, -(2 * mode_file_scale(3) + 1.5 * mode_file_scale(3)));
  EXPECT_EQ(y, 0);
  EXPECT_EQ(ny, -1);
  // No negative zero reaches the file.
  for (const std::string& l : lines("w.crd")) {
    EXPECT_EQ(l.find("-0 "), std::string::npos) << l;
    EXPECT_NE(l.substr(l.size() - 3), " -0") << l;
  }
}

// Samples of the TE modes of a square hole: record 1 holds the mode and
// point counts, then the samples mode by mode.  A later run of the same
// aperture merges into the file: the mode count grows, the point count
// stays, the new samples follow the old.  A TEM class is refused.
TEST_F(ModeFiles, SamplesAndTheirMerge) {
  code_boundary({"0 0 3 0", "3 0 3 3", "3 3 0 3", "0 3 0 0"}, 100);
  run_driver("te\n");
  const int m = vet1.n, p = xypts.n;
  ASSERT_GT(m, 0);
  std::vector<std::string> first = lines("job.smp");
  ASSERT_EQ(static_cast<int>(first.size()), 1 + m * p);
  EXPECT_EQ(first[0], " " + std::to_string(m) + " " + std::to_string(p));
  EXPECT_EQ(sample_pot_first, 0);
  fss_samples_pot(1);
  std::vector<std::string> both = lines("job.smp");
  ASSERT_EQ(static_cast<int>(both.size()), 1 + 2 * m * p);
  EXPECT_EQ(both[0], " " + std::to_string(2 * m) + " " + std::to_string(p));
  for (int k = 1; k <= m * p; ++k) {
    EXPECT_EQ(both[k], first[k]);
    EXPECT_EQ(both[m * p + k], first[k]);
  }
  EXPECT_FALSE(std::ifstream("job_tmp.smp"));
  EXPECT_FATAL(fss_samples_pot(0), "Subroutine fss_samples_pot fatal error message:\n"
                                   " This routine cannot process TEM modes");
}

// calc_j: the boundary value of the basis-function expansion of a mode, at
// an abscissa held inside (-0.4999, 0.4999) in single precision; TM modes
// give -|lambda| times it.
TEST_F(ModeFiles, BoundaryValueOfTheExpansion) {
  amo.n = 1;
  fbo.nfb = fbo.nreg = 2;
  fbo[1] = fbo_entry{};
  fbo[1].i = 5;
  fbo[1].iis = 6;
  fbo[1].c[4] = 1;  // t^2 on element 5
  fbo[1].c[9] = 2;  // constant 2 on element 6
  fbo[2] = fbo_entry{};
  fbo[2].iip = 5;
  fbo[2].i = 6;
  fbo[2].c[2] = 1;  // t on element 5
  mata.shape(3, 1);
  mata(1, 1) = 7, mata(2, 1) = 3, mata(3, 1) = -1;
  vet1.n = 1;
  vet1[1] = -2;
  const double b = static_cast<double>(0.4999f);
  EXPECT_EQ(b, 0.4999000132083893);
  double v;
  calc_j(1, 1, 5, 0.5, v);
  EXPECT_EQ(v, 3 * b * b - b);
  calc_j(-1, 1, 5, -0.7, v);
  EXPECT_EQ(v, 3 * b * b + b);
  calc_j(1, 2, 6, 0.1, v);
  EXPECT_EQ(v, -2 * 6.0);
  calc_j(1, 1, 7, 0.1, v);
  EXPECT_EQ(v, 0.0);
  // Through the pieces of every element (as the sample writer takes it):
  // the same sums, bit for bit, on every element, an empty one included.
  const element_functions on = functions_by_element();
  for (int ie = 0; ie <= 8; ++ie)
    for (int imt = 1; imt <= 2; ++imt)
      for (double csi : {-0.7, -0.2, 0.0, 0.3, 0.5}) {
        double direct, indexed;
        calc_j(1, imt, ie, csi, direct);
        calc_j(1, imt, ie, csi, indexed, on);
        EXPECT_EQ(indexed, direct) << ie << " " << imt << " " << csi;
      }
}
