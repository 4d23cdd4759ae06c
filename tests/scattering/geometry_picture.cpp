// The picture of the structure ("-geometry", and the first panel of the
// plot): for every example a well-formed SVG that renders, whose lattice
// vectors are those of blocks 1 and 2, with a dot per element of block 4
// and the aperture repeated over a few cells; what the run would refuse is
// said in the picture and on the console.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t k = text.find(what); k != std::string::npos; k = text.find(what, k + 1)) ++n;
  return n;
}

// A numeric attribute of the element whose opening tag holds `id`.
double attribute(const std::string& svg, const std::string& id, const std::string& name) {
  const std::size_t at = svg.find(id);
  EXPECT_NE(at, std::string::npos) << id;
  const std::size_t start = svg.rfind('<', at), end = svg.find('>', at);
  const std::string tag = svg.substr(start, end - start);
  const std::size_t k = tag.find(" " + name + "=\"");
  EXPECT_NE(k, std::string::npos) << id << " " << name;
  return std::stod(tag.substr(k + name.size() + 3));
}

void expect_renders(const std::string& svg, unsigned height) {
  program_result r = run_command("rsvg-convert '" + svg + "' -o picture.png");
  EXPECT_EQ(r.status, 0) << r.out << "(rsvg-convert is in Debian's librsvg2-bin)";
  EXPECT_EQ(r.out, "");
  const std::string png = scratch_dir::read_file("picture.png");
  ASSERT_GT(png.size(), 24u);
  auto be32 = [&](int k) {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[k + i]);
    return v;
  };
  EXPECT_EQ(be32(16), 880u);
  EXPECT_EQ(be32(20), height);
  r = run_command("xmllint --noout '" + svg + "'");
  EXPECT_EQ(r.status, 0) << r.out << "(xmllint is in Debian's libxml2-utils)";
  EXPECT_EQ(r.out, "");
}

}  // namespace

TEST(GeometryPicture, EveryExampleDrawnBeforeAnyComputation) {
  scratch_dir dir;
  const struct {
    const char* name;
    double a, b, skew;
    int elements, lines;
  } examples[] = {{"square_holes", 10, 10, 90, 4, 1},    {"circular_holes", 10, 8.660254, 60, 1, 1},
                  {"rect_slots", 10, 10, 90, 4, 1},      {"cross_slots", 10, 10, 90, 12, 1},
                  {"ring_slots", 10, 10, 90, 8, 2},      {"dual_band", 10, 10, 90, 20, 3},
                  {"radome_stack", 10, 10, 90, 4, 1}};
  for (const auto& ex : examples) {
    SCOPED_TRACE(ex.name);
    const std::string name = ex.name;
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss", name + ".fss");
    const program_result r = run_program(name + " -geometry", "");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::regex done(" done: the structure drawn in [0-9.]+ s; files written: " + name + "_geometry.svg\n");
    EXPECT_TRUE(std::regex_search(r.out, done)) << r.out;
    EXPECT_EQ(r.out.find("computing the basis functions"), std::string::npos);
    // Nothing else is written: no result file, no scratch file.
    for (const char* ext : {".out", ".apb", "_tmp.apb", ".svg"}) EXPECT_FALSE(std::filesystem::exists(name + ext)) << ext;
    const std::string file = name + "_geometry.svg";
    expect_renders(file, 56 + 430 + 10);
    const std::string svg = scratch_dir::read_file(file);
    // The lattice vectors in millimetres: a1 = (a, 0), a2 = (b cot alpha, b).
    const double alpha = ex.skew * M_PI / 180;
    EXPECT_NEAR(attribute(svg, "id=\"a1\"", "x2") - attribute(svg, "id=\"a1\"", "x1"), ex.a, 1e-4);
    EXPECT_NEAR(attribute(svg, "id=\"a1\"", "y2") - attribute(svg, "id=\"a1\"", "y1"), 0, 1e-4);
    EXPECT_NEAR(attribute(svg, "id=\"a2\"", "x2") - attribute(svg, "id=\"a2\"", "x1"), ex.b / std::tan(alpha), 1e-4);
    EXPECT_NEAR(attribute(svg, "id=\"a2\"", "y2") - attribute(svg, "id=\"a2\"", "y1"), ex.b, 1e-4);
    // Drawn in millimetres, y upwards, in a square of 370 pixels.
    const std::regex transform("id=\"lattice\" transform=\"translate\\([-0-9.e]+ [-0-9.e]+\\) scale\\(([0-9.e]+) (-[0-9.e]+)\\)\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(svg, m, transform));
    EXPECT_DOUBLE_EQ(std::stod(m[1]), -std::stod(m[2]));
    // Elements: a dot at the start of each; the aperture's closed lines in
    // each cell drawn, the outer line as a hole, the inner lines as
    // conductors (a few cells: at least the neighbours all round).
    EXPECT_EQ(count(svg, "<circle class=\"element-end\""), ex.elements);
    const int copies = static_cast<int>(attribute(svg, "id=\"holes\"", "data-copies"));
    EXPECT_GE(copies, 9);
    auto path = [&](const char* id) {
      const std::size_t d = svg.find(" d=\"", svg.find(id));
      return svg.substr(d, svg.find('"', d + 4) - d);
    };
    EXPECT_EQ(count(path("id=\"holes\""), "M "), copies * ex.lines);
    EXPECT_EQ(count(svg, "class=\"lattice-vector\""), 2);
    EXPECT_EQ(count(svg, "<polygon id=\"cell\""), 1);
    // The words: the periods as read, and the entry a beginner gets wrong,
    // b the height of a2 and not its length.
    char words[200];
    std::snprintf(words, sizeof words, ">periods a = %g mm, b = %.6g mm (block 1):<", ex.a, ex.b);
    EXPECT_NE(svg.find(words), std::string::npos) << words;
    std::snprintf(words, sizeof words, ">b is the height of a2; its length is %.6g mm<", ex.b / std::sin(alpha));
    EXPECT_NE(svg.find(words), std::string::npos) << words;
    EXPECT_EQ(count(svg, "fill=\"#d01010\""), 0);  // nothing refused
  }
}

// A hole larger than its cell, and an outline that does not close: drawn,
// and said in the picture and on the console.
TEST(GeometryPicture, WhatTheRunWouldRefuseIsShown) {
  scratch_dir dir;
  auto structure = [](const std::string& aperture) {
    return "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n" + aperture + "5)\n0 0\n6)\n10 12 1\n7)\n60\n8)\n150\n";
  };
  scratch_dir::write_file("big.fss", structure("-6 -6 6 -6\n6 -6 6 6\n6 6 -6 6\n-6 6 -6 -6\n"));
  program_result r = run_program("big -geometry", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" Subroutine write_geometry warning message:\n the aperture meets its neighbour "
                       "moved by (-10, -10) mm: the run would refuse this structure\n"),
            std::string::npos)
      << r.out;
  std::string svg = scratch_dir::read_file("big_geometry.svg");
  EXPECT_NE(svg.find(">the aperture meets its neighbour moved by (-10, -10) mm<"), std::string::npos);
  expect_renders("big_geometry.svg", 56 + 430 + 10);
  scratch_dir::write_file("open.fss", structure("-3 -3 3 -3\n3 -3 3 3\n3 3 -3 3\n"));
  r = run_program("open -geometry", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" the elements do not form closed lines (drawn in red): the run would refuse this "
                       "structure\n"),
            std::string::npos)
      << r.out;
  svg = scratch_dir::read_file("open_geometry.svg");
  EXPECT_EQ(count(svg, "<circle class=\"element-end\""), 3);
  EXPECT_EQ(attribute(svg, "id=\"holes\"", "data-copies"), 0);
  expect_renders("open_geometry.svg", 56 + 430 + 10);
}
