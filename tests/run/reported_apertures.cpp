// Apertures that stopped the run at some block 7 limits, run as a user runs
// them: each gives its result file and conserves power (the CSV's Ptotal,
// |R|^2 + |T|^2 over the propagating orders, is 1).
//  - arcs of more than about 95 degrees between two straight sides (round-
//    ended slots, D shapes, half discs, squares whose top side is an arc):
//    "ANALYZEG: Error after XYCHECK" (a polygon side of the arc fitted onto
//    the wall left its neighbours alone) or "ILL-CONDITIONED MATRIX" (after
//    the enclosure was widened, the same side lay on the wall off it);
//  - a circle drawn as two arcs whose joints lie a rounding off the axis:
//    taken for a circular guide centred on its edge, DSYGV failed;
//  - re-entrant corners at the length threshold: the segmentation kept a
//    piece the check refused;
//  - outlines turned by a degree or less: a side left 3 um beside the wall,
//    or polygon corners 3 um past it ("ILL-CONDITIONED MATRIX").
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/program_run.hpp"
#include "support/result_files.hpp"
#include "support/tmpdir.hpp"

namespace {

std::string structure(const std::string& cell, const std::string& boundary, const std::string& sweep,
                      const std::string& fwg, const std::string& fflo) {
  return "reported aperture\n\n1) cell dimensions a b [mm]\n" + cell + "\n2) skew angle [deg]\n90\n" +
         "3) metal thickness [mm]\n0.1\n4) aperture boundary [mm]\n" + boundary +
         "5) incidence theta phi [deg]\n0 0\n6) frequency sweep start end step [GHz]\n" + sweep +
         "\n7) largest frequency of the aperture modes [GHz]\n" + fwg +
         "\n8) largest frequency of the Floquet modes [GHz]\n" + fflo + "\n";
}

// Runs the structure with -csv: exit status 0, a row per sweep point and
// the power of both incident waves into the propagating orders 1 to 1e-6.
void expect_runs(const std::string& text, std::size_t rows, const std::string& what) {
  scratch_dir dir;
  scratch_dir::write_file("s.fss", text);
  program_result r = run_command(std::string(FSS_BINARY) + " s.fss -csv < /dev/null");
  ASSERT_EQ(r.status, 0) << what << "\n" << r.out;
  std::string error;
  csv_table t = read_csv("s.csv", error);
  ASSERT_EQ(error, "") << what;
  ASSERT_EQ(t.rows.size(), rows) << what;
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    EXPECT_NEAR(t.at(i, "TE_Ptotal"), 1, 1e-6) << what << ", row " << i + 1;
    EXPECT_NEAR(t.at(i, "TM_Ptotal"), 1, 1e-6) << what << ", row " << i + 1;
  }
}

const char* const stadium = "7 -2 7 2 9 0\n7 2 -7 2\n-7 2 -7 -2 -9 0\n-7 -2 7 -2\n";

}  // namespace

TEST(ReportedApertures, StadiumAsReported) {
  // The structure file of the report, and the same at block 7 = 50 GHz.
  expect_runs(structure("40 40", stadium, "3 12 1", "25", "100"), 10, "stadium, 25 GHz");
  expect_runs(structure("40 40", stadium, "3 12 1", "50", "100"), 10, "stadium, 50 GHz");
}

TEST(ReportedApertures, ArcsBetweenStraightSides) {
  const std::string d_shape = "0 -4 3 -4\n3 -4 3 4 7 0\n3 4 0 4\n0 4 0 -4\n";
  const std::string half_disc = "-5 0 5 0\n5 0 -5 0 0 5\n";
  // A 10 mm square whose top side is an arc of 270 degrees.
  const std::string arc_top = "5 -5 5 5\n5 5 -5 5 0 17.0710678119\n-5 5 -5 -5\n-5 -5 5 -5\n";
  expect_runs(structure("30 30", d_shape, "3 6 3", "25", "60"), 2, "D shape, 25 GHz");
  expect_runs(structure("30 30", half_disc, "3 6 3", "20", "60"), 2, "half disc, 20 GHz");
  expect_runs(structure("30 30", arc_top, "3 6 3", "15", "60"), 2, "square with a 270 degree top");
}

TEST(ReportedApertures, TwoArcCircleWithItsJointOffTheAxis) {
  const std::string circle = "-2 1.2e-16 2 0 0 2\n2 0 -2 1.2e-16 0 -2\n";
  for (const char* fwg : {"20", "150", "290"})
    expect_runs(structure("10 10", circle, "10 20 10", fwg, "300"), 2, std::string("two-arc circle at ") + fwg);
}

TEST(ReportedApertures, ReentrantCornersAtTheLengthThreshold) {
  // A T whose corner-refined sides leave a piece between the two former
  // length rules at 32.55 GHz.
  const std::string tee = "-4 4 4 4\n4 4 4 2\n4 2 1 2\n1 2 1 -4\n1 -4 -1 -4\n-1 -4 -1 2\n-1 2 -4 2\n-4 2 -4 4\n";
  expect_runs(structure("20 20", tee, "5 10 5", "32.55", "60"), 2, "T at 32.55 GHz");
}

TEST(ReportedApertures, NearlyAlignedOutlines) {
  // An L of the generated set (case 118 of seed 19) in a square lattice.
  const std::string l_shape =
      "26.55489022 15.40007173 18.46155848 15.41376455\n"
      "18.46155848 15.41376455 18.45854858 13.63472063\n"
      "18.45854858 13.63472063 24.45048502 13.62458308\n"
      "24.45048502 13.62458308 24.43380189 3.763795132\n"
      "24.43380189 3.763795132 26.5351972 3.760239855\n"
      "26.5351972 3.760239855 26.55489022 15.40007173\n";
  expect_runs(structure("18 18", l_shape, "5.222 6.131 0.909", "30.46", "91.38"), 2, "L turned by 0.1 degree");
  // A rounded rectangle turned by 1.3 degrees (case 1618 of seed 1919):
  // its arcs' polygons reached 3 um past two walls, within the reader's
  // tolerance, and the guide was not widened to hold them.
  const std::string rounded =
      "10.06593137 5.506742298 10.13797659 8.743153003\n"
      "10.13797659 8.743153003 9.538269661 9.370167791 9.967982141 9.180863769\n"
      "9.538269661 9.370167791 7.208761503 9.422024598\n"
      "7.208761503 9.422024598 6.581746715 8.822317666 6.771050737 9.252030147\n"
      "6.581746715 8.822317666 6.509701496 5.585906961\n"
      "6.509701496 5.585906961 7.109408428 4.958892173 6.679695947 5.148196195\n"
      "7.109408428 4.958892173 9.438916585 4.907035366\n"
      "9.438916585 4.907035366 10.06593137 5.506742298 9.876627352 5.077029817\n";
  expect_runs(structure("9.499177892 11.5269328", rounded, "18.24 22.96 4.72", "84.79", "254.4"), 2,
              "rounded rectangle turned by 1.3 degree");
}
