// Several screens in a stack through the whole program (structure file,
// mode solver, sweep): two far screens against the cascade of their own
// 4-ports joined by the gap's line, the evanescent coupling of close
// screens, energy and reciprocity of two and three screens with dielectric
// layers at oblique incidence, the independent FDTD reference of two
// screens, and every result file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/analytic_modes.hpp"
#include "support/fdtd_reference.hpp"
#include "support/program_run.hpp"
#include "support/result_files.hpp"
#include "support/tmpdir.hpp"

namespace {

using cplx = std::complex<double>;
using m2 = std::array<std::array<cplx, 2>, 2>;

const std::string square = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";
const std::string slot = "-3.5 -1.5 3.5 -1.5\n3.5 -1.5 3.5 1.5\n3.5 1.5 -3.5 1.5\n-3.5 1.5 -3.5 -1.5\n";
// No half turn maps it onto itself: S(theta, phi) is not S(theta, phi + 180).
const std::string ell = "-3 -3 3 -3\n3 -3 3 -1\n3 -1 -1 -1\n-1 -1 -1 3\n-1 3 -3 3\n-3 3 -3 -3\n";

// A structure of 10 mm square cells 1 mm thick: the apertures of block 4
// (screens separated by "$"), the incidence, the sweep, the limits and the
// stack block (none when empty).
std::string structure(const std::string& apertures, const std::string& incidence,
                      const std::string& sweep, const std::string& stack, int fwg = 60,
                      int fflo = 150) {
  std::ostringstream s;
  s << "screens\n\n1) cell [mm]\n10 10\n2) skew [deg]\n90\n3) thickness [mm]\n1\n4) apertures\n"
    << apertures << "5) incidence\n" << incidence << "\n6) sweep [GHz]\n" << sweep
    << "\n7) aperture modes [GHz]\n" << fwg << "\n8) Floquet modes [GHz]\n" << fflo << "\n";
  if (!stack.empty()) s << "9) stack\n" << stack;
  return s.str();
}

// Runs the program on the structure; the Touchstone file of its first
// direction.
std::vector<s4p_point> touchstone(const std::string& base, const std::string& text,
                                  const std::string& angles = "theta0_phi0") {
  scratch_dir::write_file(base + ".fss", text);
  const program_result r = run_program(base + " -s4p", "");
  EXPECT_EQ(r.status, 0) << r.out;
  std::string error;
  const s4p_file f = read_touchstone(base + "_" + angles + ".s4p", error);
  EXPECT_EQ(error, "");
  return f.points;
}

m2 block(const s4p_point& p, int r, int c) {
  m2 b;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) b[i][j] = p.s[r + i][c + j];
  return b;
}
m2 mul(const m2& a, const m2& b) {
  m2 c{};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) c[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
  return c;
}
m2 scaled(cplx f, m2 a) {
  for (auto& row : a)
    for (cplx& x : row) x *= f;
  return a;
}
m2 inverse_of_one_minus(const m2& a) {
  const cplx p = 1.0 - a[0][0], q = -a[0][1], r = -a[1][0], s = 1.0 - a[1][1], d = p * s - q * r;
  return {{{s / d, -q / d}, {-r / d, p / d}}};
}
m2 sum(const m2& a, const m2& b) {
  m2 c;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) c[i][j] = a[i][j] + b[i][j];
  return c;
}

// Screens A then B joined by a line of transmission p (both specular waves)
// seen from the illuminated side and from the far side: the 4-port.
std::array<m2, 4> cascade(const s4p_point& a, const s4p_point& b, cplx p) {
  const m2 rfa = block(a, 0, 0), tfa = block(a, 2, 0), tba = block(a, 0, 2), rba = block(a, 2, 2);
  const m2 rfb = block(b, 0, 0), tfb = block(b, 2, 0), tbb = block(b, 0, 2), rbb = block(b, 2, 2);
  const m2 m = inverse_of_one_minus(scaled(p * p, mul(rba, rfb)));
  const m2 n = inverse_of_one_minus(scaled(p * p, mul(rfb, rba)));
  return {sum(rfa, scaled(p * p, mul(mul(mul(tba, rfb), m), tfa))),  // S11 block
          scaled(p, mul(mul(tfb, m), tfa)),                           // S31 block
          sum(rbb, scaled(p * p, mul(mul(mul(tfb, rba), n), tbb))),  // S33 block
          scaled(p, mul(mul(tba, n), tbb))};                          // S13 block
}

// Largest difference between the 4-port of the two screens and the cascade.
double cascade_gap(const std::vector<s4p_point>& two, const std::vector<s4p_point>& a,
                   const std::vector<s4p_point>& b, double gap_m, double theta_deg) {
  double worst = 0;
  EXPECT_EQ(two.size(), a.size());
  for (std::size_t k = 0; k < two.size() && k < a.size(); ++k) {
    const double k0 = 2 * M_PI * two[k].f * 1e9 / 299800000.0;
    const cplx p = std::polar(1.0, -k0 * std::cos(theta_deg * M_PI / 180) * gap_m);
    const std::array<m2, 4> c = cascade(a[k], b[k], p);
    const int at[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    for (int q = 0; q < 4; ++q)
      for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
          worst = std::fmax(worst, std::abs(two[k].s[at[q][0] + i][at[q][1] + j] - c[q][i][j]));
  }
  return worst;
}

}  // namespace

// Two screens 100 mm apart, below the first grating lobe: every evanescent
// Floquet mode has decayed below 1e-12 across the gap, and the two screens
// are the cascade of their own 4-ports joined by the line of the specular
// waves.  Normal incidence with a frequency at which the gap is exactly five
// wavelengths deep (a pole of its admittances), and oblique incidence with
// two different screens.
TEST(ScreensProgram, FarScreensAreTheCascadeOfTheirFourPorts) {
  scratch_dir dir;
  const std::string sweep = "10.99 19.99 1";  // 14.99 GHz: k0 l = 10 pi
  const auto one = touchstone("one", structure(square, "0 0", sweep, ""));
  const auto two = touchstone("two", structure(square + "$\n" + square, "0 0", sweep,
                                               "screen\n100 1 0\nscreen\n"));
  ASSERT_EQ(two.size(), 10u);
  const double normal = cascade_gap(two, one, one, 0.1, 0);
  EXPECT_LT(normal, 1e-8);

  const std::string oblique = "20 30";
  const std::string theta = "theta20_phi30";
  const auto a = touchstone("a", structure(square, oblique, "10 20 2.5", ""), theta);
  const auto b = touchstone("b", structure(slot, oblique, "10 20 2.5", ""), theta);
  const auto ab = touchstone("ab", structure(square + "$\n" + slot, oblique, "10 20 2.5",
                                             "screen\n100 1 0\nscreen\n"), theta);
  const double oblique_gap = cascade_gap(ab, a, b, 0.1, 20);
  EXPECT_LT(oblique_gap, 1e-8);
  std::printf("two screens 100 mm apart against the cascade: %.2e (normal), %.2e (oblique)\n",
              normal, oblique_gap);
  // The cross-polarised terms are there to be matched.
  EXPECT_GT(std::abs(ab[2].s[1][0]), 1e-4);
}

// Close screens couple through the evanescent Floquet modes of the gap: the
// cascade of the propagating waves misses it, and the difference falls as
// the gap grows.
TEST(ScreensProgram, CloseScreensCoupleThroughEvanescentModes) {
  scratch_dir dir;
  const std::string sweep = "16 20 2";
  const auto one = touchstone("one", structure(square, "0 0", sweep, ""));
  double last = 1;
  for (double gap : {0.5, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0}) {
    std::ostringstream stack;
    stack << "screen\n" << gap << " 1 0\nscreen\n";
    const auto two = touchstone("two", structure(square + "$\n" + square, "0 0", sweep, stack.str()));
    const double d = cascade_gap(two, one, one, gap * 1e-3, 0);
    if (gap == 0.5) {
      EXPECT_GT(d, 1e-2);
    }
    EXPECT_LT(d, last) << gap << " mm";
    last = d;
  }
  EXPECT_LT(last, 1e-5);
}

namespace {

// Three screens of three kinds (square holes, L-shaped holes, filled square holes)
// with dielectric layers outside and between them; the first gap holds two
// layers.
std::string three_screens(const std::string& incidence, const std::string& sweep, double tand) {
  std::ostringstream stack;
  stack << "0.5 3 " << tand << "\nscreen\n1.5 2.2 " << tand << "\n1 1 0\nscreen 0.5 1 0\n2 1.5 "
        << tand << "\nscreen 0.8 2 0\n1 2.5 " << tand << "\n";
  return structure(square + "$\n" + ell + "$\n" + square, incidence, sweep, stack.str());
}

std::vector<std::vector<double>> csv_rows(const std::string& name) {
  std::string error;
  const csv_table t = read_csv(name, error);
  EXPECT_EQ(error, "");
  return t.rows;
}

}  // namespace

// Lossless layers: every power that enters leaves through the propagating
// Floquet orders, below and above the first grating lobe (about 21 GHz in
// the worst direction here), for two and three screens; lossy layers
// absorb.  Reciprocity: S at (theta, phi) is the transpose of S at (theta,
// phi + 180), the far-side columns solved as such.
TEST(ScreensProgram, EnergyAndReciprocityOfTwoAndThreeScreensInLayers) {
  scratch_dir dir;
  const std::string incidence = "25 25 1 40 220 180";
  const std::string two = structure(ell + "$\n" + slot, incidence, "12 31 9.5",
                                    "1 2 0\nscreen\n0.7 3 0\nscreen\n");
  for (const std::string& text : {two, three_screens(incidence, "12 31 9.5", 0)}) {
    scratch_dir::write_file("st.fss", text);
    const program_result r = run_program("st -csv -s4p", "");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = csv_rows("st.csv");
    ASSERT_EQ(rows.size(), 6u);
    int above = 0;
    for (const auto& v : rows) {
      EXPECT_NEAR(v[12], 1.0, 1e-10) << "TE at " << v[2] << " GHz";  // Ptotal
      EXPECT_NEAR(v[23], 1.0, 1e-10) << "TM at " << v[2] << " GHz";
      above += v[25] > 1;
    }
    EXPECT_GT(above, 0);  // grating lobes were met
    std::string error;
    const s4p_file a = read_touchstone("st_theta25_phi40.s4p", error);
    const s4p_file b = read_touchstone("st_theta25_phi220.s4p", error);
    ASSERT_EQ(a.points.size(), 3u);
    ASSERT_EQ(b.points.size(), 3u);
    double differ = 0;
    for (std::size_t k = 0; k < a.points.size(); ++k)
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
          EXPECT_NEAR(std::abs(a.points[k].s[i][j] - b.points[k].s[j][i]), 0, 1e-9)
              << i << j << " at " << a.points[k].f << " GHz";
          differ = std::fmax(differ, std::abs(a.points[k].s[i][j] - b.points[k].s[i][j]));
        }
    EXPECT_GT(differ, 1e-3);  // the two directions do differ
  }
  scratch_dir::write_file("st.fss", three_screens("25 40", "12 31 9.5", 0.01));
  ASSERT_EQ(run_program("st -csv", "").status, 0);
  for (const auto& v : csv_rows("st.csv")) {
    EXPECT_GT(v[13], 1e-4);  // Pabsorbed
    EXPECT_NEAR(v[13], 1 - v[12], 1e-12);
  }
}

namespace {


std::string validation_screens(const std::string& sweep, const std::string& fwg = "100",
                               const std::string& fflo = "300") {
  std::string t = scratch_dir::read_file(std::string(FSS_SOURCE_DIR) +
                                         "/tests/data/stacks/square_holes_screen.fss");
  const std::string four = "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";
  t.replace(t.find(four), four.size(), four + "$\n" + four);
  t.replace(t.find("5 29.5 0.5"), 10, sweep);
  t.replace(t.find("\n100\n8)"), 5, "\n" + fwg + "\n");
  t.replace(t.rfind("300"), 3, fflo);
  return t + "\n9) stack\nscreen\n3.0 1 0\nscreen\n";
}

// The frequency of the deepest reflection null of a sweep (full
// transmission of the lossless structure).
double null_of_reflection(const std::string& base, const std::string& text) {
  scratch_dir::write_file(base + ".fss", text);
  EXPECT_EQ(run_program(base, "").status, 0);
  double f = 0, least = 1e9;
  const std::vector<out_block> blocks = read_out_file(base + ".out");
  if (blocks.empty()) return 0;
  for (const out_row& r : blocks[0].rows)
    if (r.magRy < least) least = r.magRy, f = r.f;
  return f;
}

}  // namespace

// The independent FDTD reference (tests/data/stacks): the screen of square
// holes, a 3 mm gap of air, the same screen.  Its README gives the accuracy:
// the finest grid lies within about 0.25 dB of a converged modal computation
// where |T| is above -20 dB below 27 GHz (its two grids differ by up to
// 0.26 dB there), and puts the two transmission peaks within 0.05 GHz of it,
// at 25.52 and 26.67 GHz.  |T| at the limits of the reference's structure
// file (100 / 300 GHz); the peaks at 200 / 600 GHz: the second, nearer the
// grating lobe, moves with the limits as the gap's evanescent coupling
// converges (26.48, 26.62 and 26.66 GHz at 100 / 300, 150 / 450 and
// 200 / 600 GHz).
TEST(ScreensProgram, TwoScreensAgreeWithFdtd) {
  scratch_dir dir;
  scratch_dir::write_file("ts.fss", validation_screens("5 29.5 0.5"));
  ASSERT_EQ(run_program("ts", "").status, 0);
  const auto rows = read_out_file("ts.out").at(0).rows;
  const auto ref = read_fdtd("stacks/two_screens_fdtd.csv", 'x');
  double worst = 0;
  int compared = 0;
  for (const out_row& r : rows) {
    EXPECT_NEAR(r.magTx, r.magTy, 1e-3);  // four-fold symmetric
    const fdtd_row& f = ref.at(std::lround(r.f * 1000));
    if (f.t_db < -20 || r.f > 27) continue;
    ++compared;
    worst = std::fmax(worst, std::fabs(r.magTy - f.t_db));
    EXPECT_NEAR(r.magTy, f.t_db, 0.3) << r.f << " GHz";
  }
  EXPECT_GT(compared, 15);
  const double first = null_of_reflection("p1", validation_screens("25.46 25.58 0.02", "200", "600"));
  const double second = null_of_reflection("p2", validation_screens("26.60 26.72 0.02", "200", "600"));
  EXPECT_NEAR(first, 25.52, 0.05);
  EXPECT_NEAR(second, 26.67, 0.05);
  std::printf("two screens against FDTD: largest |T| difference %.3f dB; peaks at %.2f and %.2f GHz\n",
              worst, first, second);
}

// The two-screen filter of the examples with every option: the result file
// lists the screens and their modes, the mode table their screen and
// aperture, the Touchstone file says how its far-side columns were found,
// the CSV table closes the power balance with the spacer's loss; the
// convergence passes and the waveguide simulator run.
TEST(ScreensProgram, ExampleFilterWithEveryOption) {
  scratch_dir dir;
  std::string text =
      scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/examples/two_screen_filter.fss");
  scratch_dir::write_file("f.fss", text);
  program_result r = run_program("f -csv -s4p -plot -modes", "");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string out = scratch_dir::read_file("f.out");
  EXPECT_NE(out.find(" Stack from the illuminated side (outer half-spaces air):\n"
                     "   screen     1.0000  mm eps_r =    1.0000  tan_delta = 0.000000\n"
                     "   layer      5.0000  mm eps_r =    1.0700  tan_delta = 0.000500\n"
                     "   screen     1.0000  mm eps_r =    1.0000  tan_delta = 0.000000\n"
                     " Aperture modes per screen and aperture:\n"
                     "   screen  1  aperture   1  modes   20\n"
                     "   screen  2  aperture   2  modes   20  copy of aperture   1 moved by"
                     "     0.0000     0.0000  mm\n"),
            std::string::npos)
      << out;
  const auto blocks = read_out_file("f.out");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].nwg, 40);
  // A band-pass: full transmission in the band, steep skirts.
  double best = -100;
  for (const out_row& row : blocks[0].rows) best = std::fmax(best, row.magTx);
  EXPECT_GT(best, -0.1);
  const std::string modes = scratch_dir::read_file("f.modes");
  EXPECT_NE(modes.find("\n21 TE "), std::string::npos);
  std::istringstream m(modes);
  std::string line;
  std::getline(m, line);
  int count[3] = {0, 0, 0};
  while (std::getline(m, line)) {
    std::istringstream l(line);
    std::string number, kind, kc, fc, z;
    int screen = 0, aperture = 0;
    l >> number >> kind >> kc >> fc >> z >> screen >> aperture;
    ASSERT_TRUE(screen == 1 || screen == 2) << line;
    EXPECT_EQ(aperture, screen);
    ++count[screen];
  }
  EXPECT_EQ(count[1], 20);
  EXPECT_EQ(count[2], 20);
  const std::string s4p = scratch_dir::read_file("f_theta0_phi0.s4p");
  EXPECT_NE(s4p.find("! f: scattering matrix of the 2 screens\n"), std::string::npos);
  EXPECT_NE(s4p.find("! reference planes: the illuminated face of the first screen and the far\n"),
            std::string::npos);
  EXPECT_NE(s4p.find("(D = 7.000000 mm)"), std::string::npos);
  EXPECT_NE(s4p.find("! ports 3, 4: the waves incident on the far side, solved as such"),
            std::string::npos);
  for (const auto& v : csv_rows("f.csv")) {
    EXPECT_GE(v[13], 0.0);
    EXPECT_NEAR(v[13], 1 - v[12], 1e-12);
  }
  EXPECT_TRUE(std::filesystem::exists("f.svg"));
  // Shorter runs for the passes and the simulator.
  text.replace(text.find("10 29.5 0.25"), 12, "18 20 1");
  text.replace(text.find("\n100\n"), 5, "\n40\n");
  text.replace(text.find("\n300\n"), 5, "\n60\n");
  scratch_dir::write_file("f.fss", text);
  r = run_program("f -converge -passes 10", "");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists("f.conv"));
  EXPECT_EQ(read_out_file("f.out").at(0).rows.size(), 3u);
  r = run_program("f -wgs -csv", "");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_out_file("f.out").at(0).rows.size(), 3u);
}

namespace {

// The structure with the given block 4 (10 mm cell), run; its console.
program_result run_apertures(const std::string& block4, const std::string& stack = "",
                             int fwg = 60) {
  scratch_dir::write_file("ap.fss", structure(block4, "0 0", "10 12 1", stack, fwg));
  return run_program("ap", "");
}

}  // namespace

// Apertures of one screen may not overlap or touch, nor touch each other's
// copies in the lattice, nor lie one inside the other: each refusal names the
// lines at fault.  A hole in the patch that a ring slot surrounds is apart
// from the ring and is accepted; so are the same holes on different screens.
TEST(ScreensProgram, AperturesThatMeetAreRefusedWithTheirLines) {
  scratch_dir dir;
  const std::string a = "-4 -1 0 -1\n0 -1 0 1\n0 1 -4 1\n-4 1 -4 -1\n";
  auto refused = [&](const std::string& b, const std::string& words) {
    const program_result r = run_apertures(a + "#\n" + b);
    EXPECT_EQ(r.status, 1) << b;
    EXPECT_NE(r.out.find(words), std::string::npos) << b << "\n" << r.out;
    EXPECT_EQ(r.out.find("performing the frequency sweep"), std::string::npos);
  };
  // Crossing sides: the two lines named.
  refused("-1 -2 2 -2\n2 -2 2 2\n2 2 -1 2\n-1 2 -1 -2\n",
          " The apertures beginning on lines 10 and 15 meet: apertures of one screen may not "
          "overlap or touch\n line 4 of ap.fss: \"10 10\"\n line 10 of ap.fss: \"-4 -1 0 -1\"\n"
          " line 18 of ap.fss: \"-1 2 -1 -2\"\n");
  // Touching along a side.
  refused("0 -1 2 -1\n2 -1 2 1\n2 1 0 1\n0 1 0 -1\n", "beginning on lines 10 and 15 meet");
  // One inside the other.
  refused("-3 -0.5 -1 -0.5\n-1 -0.5 -1 0.5\n-1 0.5 -3 0.5\n-3 0.5 -3 -0.5\n",
          "beginning on lines 10 and 15 overlap: one lies inside the other\n line 4 of ap.fss: "
          "\"10 10\"\n line 15 of ap.fss: \"-3 -0.5 -1 -0.5\"\n");
  // The second meets the first's neighbour one period along x.
  refused("3 -0.5 6 -0.5\n6 -0.5 6 0.5\n6 0.5 3 0.5\n3 0.5 3 -0.5\n",
          "beginning on lines 10 and 15 meet (the second moved by (-10, 0) mm)");
  // Accepted: a hole in the patch of a ring slot, and holes that overlap
  // but lie on different screens.
  const std::string ring = "-4.5 -4.5 4.5 -4.5\n4.5 -4.5 4.5 4.5\n4.5 4.5 -4.5 4.5\n-4.5 4.5 -4.5 -4.5\n"
                           "-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n-3 3 -3 -3\n";
  EXPECT_EQ(run_apertures(ring + "#\n-1 -1 1 -1\n1 -1 1 1\n1 1 -1 1\n-1 1 -1 -1\n").status, 0);
  const program_result r = run_apertures(a + "$\n-1 -2 2 -2\n2 -2 2 2\n2 2 -1 2\n-1 2 -1 -2\n",
                                         "screen\n2 1 0\nscreen\n");
  EXPECT_EQ(r.status, 0) << r.out;
}

// A screen whose apertures hold no mode below the limit of block 7 is named
// in the warning: nothing passes it.
TEST(ScreensProgram, ScreenWithoutModesIsNamed) {
  scratch_dir dir;
  const program_result r =
      run_apertures(square + "$\n-0.25 -0.25 0.25 -0.25\n0.25 -0.25 0.25 0.25\n0.25 0.25 -0.25 0.25\n"
                             "-0.25 0.25 -0.25 -0.25\n",
                    "screen\n2 1 0\nscreen\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(" No aperture mode of screen 2 lies below the largest frequency of the "
                       "aperture modes (block 7, 60 GHz): the screen is solid for the analysis and "
                       "reflects totally. The first mode of the aperture starts below 311.4 GHz"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("of screen 1"), std::string::npos);
  const std::vector<out_block> blocks = read_out_file("ap.out");
  ASSERT_EQ(blocks.size(), 1u);
  for (const out_row& row : blocks[0].rows) {
    EXPECT_EQ(row.magTy, -99.999);
    EXPECT_EQ(row.magRy, 0.0);
  }
  // No screen with a mode: every block of the system is empty.
  scratch_dir::write_file("ap.fss", structure(square + "$\n" + square, "10 20", "10 12 1",
                                              "screen\n2 1 0\nscreen\n", 1));
  const program_result none = run_program("ap -csv -s4p", "");
  ASSERT_EQ(none.status, 0) << none.out;
  EXPECT_NE(none.out.find("No aperture mode of screen 2"), std::string::npos);
  const std::vector<out_block> solid = read_out_file("ap.out");
  ASSERT_EQ(solid.size(), 1u);
  for (const out_row& row : solid[0].rows) EXPECT_EQ(row.magRx, 0.0);
}

// The examples of several apertures and of several screens keep their
// result files byte for byte (tests/data/example_out).
TEST(ScreensProgram, ExamplesKeepTheirResultFiles) {
  scratch_dir dir;
  for (const char* name : {"dual_band", "two_screen_filter"}) {
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss",
                               std::string(name) + ".fss");
    const program_result r = run_program(name, "");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(scratch_dir::read_file(std::string(name) + ".out"),
              scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/tests/data/example_out/" + name + ".out"))
        << name;
  }
}

// Two screens 0.5 mm thick with a gap of air of a micrometre between them
// are one screen 1 mm thick: the gap couples the faces through every
// Floquet mode (the thinnest ones in bounded form), and the apertures run
// on through it.
TEST(ScreensProgram, TwoHalfScreensWithAThinGapAreOneScreen) {
  scratch_dir dir;
  const std::string sweep = "10 28 3";
  scratch_dir::write_file("one.fss", structure(square, "0 0", sweep, "", 100, 300));
  ASSERT_EQ(run_program("one", "").status, 0);
  scratch_dir::write_file("two.fss", structure(square + "$\n" + square, "0 0", sweep,
                                               "screen 0.5 1 0\n0.001 1 0\nscreen 0.5 1 0\n", 100, 300));
  ASSERT_EQ(run_program("two", "").status, 0);
  const auto one = read_out_file("one.out").at(0).rows, two = read_out_file("two.out").at(0).rows;
  ASSERT_EQ(one.size(), 7u);
  ASSERT_EQ(two.size(), one.size());
  for (std::size_t k = 0; k < one.size(); ++k) {
    EXPECT_NEAR(two[k].magTx, one[k].magTx, 0.01) << one[k].f;
    EXPECT_NEAR(two[k].phTx, one[k].phTx, 0.05) << one[k].f;
    EXPECT_NEAR(two[k].magRx, one[k].magRx, 0.01) << one[k].f;
  }
}
