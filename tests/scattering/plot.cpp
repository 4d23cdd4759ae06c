// The plot: it renders with a real SVG renderer to a picture of the size it
// declares, reads as well-formed XML, and shows a panel per direction (the
// first few), with axes, ticks, units and a legend naming the polarisations
// by the incident electric field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <tuple>
#include <vector>
#include <string>

#include "records/results.hpp"
#include "records/run.hpp"
#include "scattering/outputs.hpp"
#include "scattering/polarisation.hpp"
#include "support/analytic_modes.hpp"
#include "support/fatal.hpp"
#include "support/known_point.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

// Width and height of a PNG file from its header chunk.
bool png_size(const std::string& name, unsigned& w, unsigned& h) {
  const std::string s = scratch_dir::read_file(name);
  if (s.size() < 24 || s.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || s.compare(12, 4, "IHDR") != 0)
    return false;
  auto be32 = [&](int k) {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[k + i]);
    return v;
  };
  w = be32(16);
  h = be32(20);
  return true;
}

// The file renders without a word from the renderer, to the declared size,
// and is well-formed XML.
void expect_renders(const std::string& svg, unsigned height) {
  program_result r = run_command("rsvg-convert '" + svg + "' -o plot.png");
  EXPECT_EQ(r.status, 0) << r.out << "(rsvg-convert is in Debian's librsvg2-bin)";
  EXPECT_EQ(r.out, "");
  unsigned w = 0, h = 0;
  ASSERT_TRUE(png_size("plot.png", w, h));
  EXPECT_EQ(w, 880u);
  EXPECT_EQ(h, height);
  r = run_command("xmllint --noout '" + svg + "'");
  EXPECT_EQ(r.status, 0) << r.out << "(xmllint is in Debian's libxml2-utils)";
  EXPECT_EQ(r.out, "");
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t k = text.find(what); k != std::string::npos; k = text.find(what, k + 1)) ++n;
  return n;
}

void run_slots(const std::string& incidence, const std::string& sweep) {
  scratch_dir::write_file("slot.fss", structure_text(10, 10, 1, 8, 2, incidence, sweep, 60, 200));
  testing::internal::CaptureStdout();
  run_chain("slot", {0, 0, 8e-3, 2e-3, 8}, {"-plot"});
  testing::internal::GetCapturedStdout();
}

// Points of the polylines of a file, one count per curve.
std::vector<int> polyline_points(const std::string& svg) {
  std::vector<int> n;
  const std::regex re("<polyline [^>]*points=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), re); it != std::sregex_iterator(); ++it)
    n.push_back(count((*it)[1].str(), ",") );
  return n;
}

}  // namespace

// Heights of the picture: the title band, the structure, the panels.
unsigned picture_height(int panels) { return 72 + 430 + 300 * panels + 10; }

// The panel groups of a picture, one string each.
std::vector<std::string> panels(const std::string& svg) {
  std::vector<std::string> out;
  for (std::size_t k = svg.find("<g id=\"panel"); k != std::string::npos; k = svg.find("<g id=\"panel", k + 1))
    out.push_back(svg.substr(k, svg.find("</g>", k) - k));
  return out;
}

// Eight directions (theta 0 to 30 in two planes): six panels chosen evenly
// over the sweep, the first and the last among them, and the picture says
// which; normal incidence names the waves by their E field, oblique
// incidence TE and TM with their E field explained; the grating lobes at
// 20 and 30 degrees are marked; every panel has the same dB range.
TEST(PlotFile, PanelsChosenEvenlyOverTheSweep) {
  scratch_dir dir;
  run_slots("0 30 10 0 90 90", "12 24 0.5");
  const std::string svg = scratch_dir::read_file("slot.svg");
  expect_renders("slot.svg", picture_height(6));
  EXPECT_EQ(count(svg, "<g id=\"panel"), 6);
  EXPECT_EQ(count(svg, "<g id=\"geometry\">"), 1);
  EXPECT_NE(svg.find(">co-polarised, against frequency; 6 of the 8 directions of the sweep are drawn: "
                     "1, 2, 4, 5, 7 and 8<"),
            std::string::npos);
  // Directions 1, 2, 4, 5, 7, 8: (theta, phi) = (0, 0), (10, 0), (30, 0), (0, 90), (20, 90), (30, 90).
  const char* titles[] = {">theta = 0 deg, phi = 0 deg<",  ">theta = 10 deg, phi = 0 deg<",
                          ">theta = 30 deg, phi = 0 deg<", ">theta = 0 deg, phi = 90 deg<",
                          ">theta = 20 deg, phi = 90 deg<", ">theta = 30 deg, phi = 90 deg<"};
  const std::vector<std::string> p = panels(svg);
  ASSERT_EQ(p.size(), 6u);
  for (int k = 0; k < 6; ++k) EXPECT_NE(p[k].find(titles[k]), std::string::npos) << k;
  EXPECT_EQ(count(svg, ">frequency [GHz]<"), 6);
  EXPECT_EQ(count(svg, ">magnitude [dB]<"), 6);
  // Normal incidence at phi = 0 and 90: the waves by their E field.
  for (const char* legend : {">|T| E along y<", ">|R| E along y<", ">|T| E along x<", ">|R| E along x<"})
    EXPECT_EQ(count(svg, legend), 2) << legend;
  EXPECT_EQ(count(svg, ">|T| TE<"), 4);
  EXPECT_EQ(count(svg, ">TM: E in the plane of incidence<"), 4);
  EXPECT_EQ(count(svg, ">grating lobes<"), 3);  // from 22.3 and 20.0 GHz at 20 and 30 degrees
  EXPECT_NE(svg.find("; shaded: higher Floquet orders propagate (grating lobes)<"), std::string::npos);
  for (const char* tick : {">12<", ">24<", ">-20<"}) EXPECT_GT(count(svg, tick), 0) << tick;
  // One dB range: the lowest tick of every panel is the same.
  std::string lowest;
  for (const std::string& panel : p) {
    const std::regex tick(">(-[0-9]+)</text>");
    std::string last;
    for (auto it = std::sregex_iterator(panel.begin(), panel.end(), tick); it != std::sregex_iterator(); ++it)
      last = (*it)[1].str();
    if (lowest.empty()) lowest = last;
    EXPECT_EQ(last, lowest);
  }
  const std::vector<int> points = polyline_points(svg);
  ASSERT_EQ(points.size(), 24u);
  for (int n : points) EXPECT_EQ(n, 25);
}

// A sweep longer than a panel holds is thinned, and the picture says so.
TEST(PlotFile, LongSweepsAreThinned) {
  scratch_dir dir;
  run_slots("0 0", "5 29.99 0.01");  // 2500 frequencies
  const std::string svg = scratch_dir::read_file("slot.svg");
  expect_renders("slot.svg", picture_height(1));
  EXPECT_NE(svg.find(">co-polarised, against frequency; 1 direction; one frequency in 2 is drawn<"),
            std::string::npos);
  for (int n : polyline_points(svg)) EXPECT_EQ(n, 1250);
}

// A sweep over theta at fixed frequencies is drawn against theta, a panel
// per (phi, frequency); the grating lobes begin where f (1 + sin theta) =
// c / a.
TEST(PlotFile, ThetaSweepsAreDrawnAgainstTheta) {
  scratch_dir dir;
  run_slots("0 60 2 0 0 1", "14 18 4");
  const std::string svg = scratch_dir::read_file("slot.svg");
  expect_renders("slot.svg", picture_height(2));
  EXPECT_NE(svg.find(">co-polarised, against theta at fixed frequencies; 2 (phi, frequency) pairs<"),
            std::string::npos);
  EXPECT_NE(svg.find(">f = 14 GHz, phi = 0 deg<"), std::string::npos);
  EXPECT_NE(svg.find(">f = 18 GHz, phi = 0 deg<"), std::string::npos);
  EXPECT_EQ(count(svg, ">theta [deg]<"), 2);
  for (int n : polyline_points(svg)) EXPECT_EQ(n, 31);  // theta 0, 2, ... 60
  // The band at 18 GHz from sin theta = 29.98 / 18 - 1 (41.8 deg): between
  // the points at 40 and 42 deg, 41 deg on the axis of 0 .. 60 deg.
  const std::vector<std::string> p = panels(svg);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].find("class=\"lobes\""), std::string::npos);
  const std::size_t band = p[1].find("class=\"lobes\" x=\"");
  ASSERT_NE(band, std::string::npos);
  EXPECT_NEAR(std::stod(p[1].substr(band + 17)), 70 + 41.0 / 60 * 500, 0.01);
}

// The label of a narrow band stands along it, inside it; a band narrower
// than a letter has none (the caption says what the shading means).
TEST(PlotFile, LabelsStayInsideTheirBand) {
  scratch_dir dir;
  // 10 mm lattice at normal incidence: orders beyond the specular from 29.98 GHz.
  for (auto [sweep, across, along] : {std::tuple{"20 31 0.5", 0, 1}, std::tuple{"5 30.25 0.25", 0, 0},
                                      std::tuple{"25 34 0.5", 1, 0}}) {
    SCOPED_TRACE(sweep);
    run_slots("0 0", sweep);
    const std::string svg = scratch_dir::read_file("slot.svg");
    expect_renders("slot.svg", picture_height(1));
    const std::size_t band = svg.find("class=\"lobes\" x=\"");
    ASSERT_NE(band, std::string::npos);
    const double x = std::stod(svg.substr(band + 17));
    const double w = std::stod(svg.substr(svg.find("width=\"", band) + 7));
    const std::size_t label = svg.find(">grating lobes<");
    EXPECT_EQ(label != std::string::npos, across + along == 1);
    if (label == std::string::npos) continue;
    const std::size_t open = svg.rfind("<text x=\"", label);
    const double lx = std::stod(svg.substr(open + 9));
    const bool turned = svg.substr(open, label - open).find("rotate(-90") != std::string::npos;
    EXPECT_EQ(turned, along == 1);
    if (turned) {
      // The letters, 11 pixels high, from 9 above their base line to 3 below.
      EXPECT_GE(lx - 9, x);
      EXPECT_LE(lx + 3, x + w);
    } else {
      EXPECT_LE(lx, x + w);     // anchored at its end, the band's right edge
      EXPECT_GE(lx - 80, x);    // "grating lobes" at 11 pixels is under 80 wide
    }
  }
}

// Where both polarisations give the same curves (a square hole at normal
// incidence) the legend says that the red hide the blue; a slot's differ.
// At normal incidence in the plane phi = 45 degrees the waves are named by
// the direction of E: E at 45 and at 135 degrees see the slot alike (its
// mirror planes x = 0 and y = 0 swap them), and their curves coincide.
TEST(PlotFile, CoincidingCurvesAndTheWavesOfNormalIncidence) {
  scratch_dir dir;
  scratch_dir::write_file("sq.fss", structure_text(10, 10, 1, 6, 6, "0 0", "10 28 1", 60, 200));
  testing::internal::CaptureStdout();
  run_chain("sq", {0, 0, 6e-3, 6e-3, 8}, {"-plot"});
  testing::internal::GetCapturedStdout();
  const std::string sq = scratch_dir::read_file("sq.svg");
  EXPECT_NE(sq.find(">both polarisations coincide at this scale:<"), std::string::npos);
  EXPECT_NE(sq.find(">the red curves cover the blue ones<"), std::string::npos);
  run_slots("0 0", "12 24 0.5");
  EXPECT_EQ(scratch_dir::read_file("slot.svg").find("coincide"), std::string::npos);
  run_slots("0 0 1 45 45 1", "12 24 0.5");
  const std::string slot = scratch_dir::read_file("slot.svg");
  EXPECT_NE(slot.find(">both polarisations coincide at this scale:<"), std::string::npos);
  EXPECT_NE(slot.find(">|T| E at 135 deg<"), std::string::npos);
  EXPECT_NE(slot.find(">|T| E at 45 deg<"), std::string::npos);
  EXPECT_NE(slot.find(">the angles of E from the x axis:<"), std::string::npos);
}

// A base name with XML's special characters, one frequency: a dot per curve.
TEST(PlotFile, SpecialNamesAndASinglePoint) {
  scratch_dir dir;
  known_geometry();
  fss_file.name = "r&d <1>";
  fss_freq_iter = {10.5e9, 10.5e9, 0.5e9};
  fss_theta = fss_phi = {0, 0, 1};
  begin_plot();
  known_solution(10.5);
  fss_freq_iter.end = 10.5e9;
  calc_polarisations();
  store_plot_point();
  write_plot();
  expect_renders("r&d <1>.svg", picture_height(1));
  const std::string svg = scratch_dir::read_file("r&d <1>.svg");
  EXPECT_NE(svg.find(">r&amp;d &lt;1&gt;: transmission |T| and reflection |R|<"), std::string::npos);
  EXPECT_EQ(count(svg, "<circle cx"), 4);
}

TEST(PlotFile, UnwritableFileIsReported) {
  scratch_dir dir;
  known_geometry();
  fss_file.name = "nodir/res";
  fss_theta = fss_phi = {0, 0, 1};
  begin_plot();
  EXPECT_FATAL(write_plot(), "Subroutine write_plot fatal error message:\n"
                             " Error in opening file nodir/res.svg: No such file or directory");
}
