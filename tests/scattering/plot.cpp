// The plot: it renders with a real SVG renderer to a picture of the size it
// declares, reads as well-formed XML, and shows a panel per direction (the
// first few), with axes, ticks, units and a legend naming the polarisations
// by the incident electric field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
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
  const std::regex re("points=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), re); it != std::sregex_iterator(); ++it)
    n.push_back(count((*it)[1].str(), ",") );
  return n;
}

}  // namespace

// Eight directions (theta 0 to 30 in two planes): the first six are drawn,
// and the picture says so; normal incidence names the waves by their E
// field, oblique incidence TE and TM with their E field explained; the
// grating lobes at 20 and 30 degrees are marked.
TEST(PlotFile, PanelsOfTheFirstDirectionsRender) {
  scratch_dir dir;
  run_slots("0 30 10 0 90 90", "12 24 0.5");
  const std::string svg = scratch_dir::read_file("slot.svg");
  expect_renders("slot.svg", 56 + 6 * 300 + 10);
  EXPECT_EQ(count(svg, "<g id=\"panel"), 6);
  EXPECT_NE(svg.find("the first 6 of the 8 directions of the sweep are drawn"), std::string::npos);
  EXPECT_NE(svg.find(">theta = 0 deg, phi = 0 deg<"), std::string::npos);
  EXPECT_NE(svg.find(">theta = 10 deg, phi = 90 deg<"), std::string::npos);
  EXPECT_EQ(svg.find(">theta = 20 deg, phi = 90 deg<"), std::string::npos);
  EXPECT_EQ(count(svg, ">frequency [GHz]<"), 6);
  EXPECT_EQ(count(svg, ">magnitude [dB]<"), 6);
  for (const char* legend : {">|T| E along y<", ">|R| E along y<", ">|T| E along x<", ">|R| E along x<"})
    EXPECT_EQ(count(svg, legend), 2) << legend;  // the two normal-incidence panels
  EXPECT_EQ(count(svg, ">|T| TE<"), 4);
  EXPECT_EQ(count(svg, ">TM: E in the plane of incidence<"), 4);
  EXPECT_EQ(count(svg, ">grating lobes<"), 2);  // from 22.3 and 20.0 GHz at 20 and 30 degrees
  for (const char* tick : {">12<", ">24<", ">-20<"}) EXPECT_GT(count(svg, tick), 0) << tick;
  const std::vector<int> points = polyline_points(svg);
  ASSERT_EQ(points.size(), 24u);
  for (int n : points) EXPECT_EQ(n, 25);
}

// A sweep longer than a panel holds is thinned, and the picture says so.
TEST(PlotFile, LongSweepsAreThinned) {
  scratch_dir dir;
  run_slots("0 0", "5 29.99 0.01");  // 2500 frequencies
  const std::string svg = scratch_dir::read_file("slot.svg");
  expect_renders("slot.svg", 56 + 300 + 10);
  EXPECT_NE(svg.find("1 direction; one frequency in 2 is drawn"), std::string::npos);
  for (int n : polyline_points(svg)) EXPECT_EQ(n, 1250);
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
  expect_renders("r&d <1>.svg", 56 + 300 + 10);
  const std::string svg = scratch_dir::read_file("r&d <1>.svg");
  EXPECT_NE(svg.find(">r&amp;d &lt;1&gt;: transmission |T| and reflection |R|<"), std::string::npos);
  EXPECT_EQ(count(svg, "<circle"), 4);
}

TEST(PlotFile, UnwritableFileIsReported) {
  scratch_dir dir;
  known_geometry();
  fss_file.name = "nodir/res";
  fss_theta = fss_phi = {0, 0, 1};
  begin_plot();
  EXPECT_FATAL(write_plot(), "Subroutine write_plot fatal error message:\n"
                             " Error in opening file nodir/res.svg");
}
