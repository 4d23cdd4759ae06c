// The sweep driver: loop arithmetic, progress bar, banner and the
// waveguide-simulator incidence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>

#include "records/run.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/progress.hpp"
#include "support/program_run.hpp"
#include "support/analytic_modes.hpp"
#include "support/tmpdir.hpp"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(SweepLoops, LastPointIsTheLastThatDoesNotPassEndPlusATenthStep) {
  auto points = [](double start, double end, double step) {
    return fss_trip_count(start, end + step / 10, step);
  };
  EXPECT_EQ(points(10, 12, 1), 3);
  EXPECT_EQ(points(10, 11.95, 1), 3);
  EXPECT_EQ(points(10, 11.85, 1), 2);
  EXPECT_EQ(points(5, 5, 0.5), 1);
  EXPECT_EQ(points(5, 29.5, 0.5), 50);
  EXPECT_EQ(fss_trip_count(1, 0, 1), 0);
}

namespace {
const rect_aperture hole{0, 0, 6e-3, 6e-3, 8};

std::string marks_line(const std::string& out) {
  std::size_t ruler = out.find("|___________|");
  std::size_t start = out.find('\n', out.find('\n', ruler) + 1) + 1;
  return out.substr(start, out.find('\n', start) - start);
}
}  // namespace

TEST(SweepLoops, OnePointGivesAllFiftyOneMarks) {
  scratch_dir dir;
  scratch_dir::write_file("one.fss", structure_text(10, 10, 0.5, 6, 6, "0 0", "10 10 3", 60, 100));
  CaptureStdout();
  run_chain("one", hole);
  std::string line = marks_line(GetCapturedStdout());
  EXPECT_EQ(line, " " + std::string(51, 'o'));
}

TEST(SweepLoops, MarksFollowTheSweepAndLineUpUnderTheRuler) {
  scratch_dir dir;
  scratch_dir::write_file("many.fss",
                          structure_text(10, 10, 0.5, 6, 6, "0 20 10 0 90 90", "10 12 1", 40, 80));
  CaptureStdout();
  run_chain("many", hole);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find(" 0%         25%          50%         75%         100% \n"), std::string::npos);
  std::string ruler = " |___________|____________|___________|____________| ";
  EXPECT_NE(out.find(ruler + "\n"), std::string::npos);
  std::string line = marks_line(out);
  EXPECT_EQ(line.size(), ruler.size() - 1);
  EXPECT_EQ(std::count(line.begin(), line.end(), 'o'), 51);
  // 2 phi x 3 theta x 3 frequencies: six blocks of three rows.
  auto blocks = read_out_file("many.out");
  ASSERT_EQ(blocks.size(), 6u);
  for (const auto& b : blocks) EXPECT_EQ(b.rows.size(), 3u);
}

TEST(SweepLoops, SweepEqualsSeparateRunsOfItsPoints) {
  // The coupling integrals are reused along a normal-incidence sweep and
  // recomputed along an oblique one: either way each row must equal the
  // result of a run of that frequency alone.
  scratch_dir dir;
  for (const char* inc : {"0 0", "35 20"}) {
    scratch_dir::write_file("sweep.fss", structure_text(10, 10, 0.5, 6, 6, inc, "12 20 4", 60, 120));
    CaptureStdout();
    run_chain("sweep", hole);
    auto all = read_out_file("sweep.out");
    ASSERT_EQ(all.size(), 1u);
    ASSERT_EQ(all[0].rows.size(), 3u);
    for (int k = 0; k < 3; ++k) {
      const std::string f = std::to_string(12 + 4 * k);
      scratch_dir::write_file("point.fss", structure_text(10, 10, 0.5, 6, 6, inc, f + " " + f + " 1", 60, 120));
      run_chain("point", hole);
      auto one = read_out_file("point.out");
      ASSERT_EQ(one.size(), 1u);
      const out_row &a = all[0].rows[k], &b = one[0].rows[0];
      EXPECT_EQ(a.f, b.f);
      EXPECT_EQ(a.magTy, b.magTy);
      EXPECT_EQ(a.phTy, b.phTy);
      EXPECT_EQ(a.magTx, b.magTx);
      EXPECT_EQ(a.phRx, b.phRx);
    }
    GetCapturedStdout();
  }
}

TEST(SweepLoops, WaveguideSimulatorIncidenceFollowsFrequency) {
  scratch_dir dir;
  scratch_dir::write_file("wgs.fss",
                          structure_text(10, 10, 0.5, 6, 6, "30 45", "16 20 2", 60, 120));
  CaptureStdout();
  run_chain("wgs", hole, {"-wgs"});
  GetCapturedStdout();
  // The input angles are ignored: one block, and the last point's angle is
  // that of the two plane waves of the TE10 mode of a guide of width a.
  auto blocks = read_out_file("wgs.out");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].rows.size(), 3u);
  EXPECT_DOUBLE_EQ(fss_inc_angle.theta, std::asin(dcspeed() / (2 * 0.01 * 20e9)));
  EXPECT_EQ(fss_inc_angle.phi, 0.0);
  EXPECT_DOUBLE_EQ(fss_inc_angle.ky0, 0.0);
  EXPECT_NEAR(fss_inc_angle.kx0, M_PI / 0.01, 1e-9);
}

TEST(Banner, TwentyFourEmptyLinesThenABoxOf62) {
  CaptureStdout();
  fss_cover();
  std::string out = GetCapturedStdout();
  ASSERT_EQ(out.substr(0, 24), std::string(24, '\n'));
  std::vector<std::string> lines;
  std::size_t p = 24;
  while (p < out.size()) {
    std::size_t e = out.find('\n', p);
    lines.push_back(out.substr(p, e - p));
    p = e + 1;
  }
  // Border, empty box line, title, version, empty, three lines of text,
  // empty, border, and one empty line after the box.
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], " " + std::string(62, '*'));
  EXPECT_EQ(lines[2], " *          ANALYSIS OF FREQUENCY SELECTIVE SURFACES          *");
  EXPECT_EQ(lines[9], " " + std::string(62, '*'));
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[1], lines[4]);
  EXPECT_EQ(lines[1], lines[8]);
  for (int i = 1; i <= 8; ++i) {
    EXPECT_EQ(lines[i].size(), 63u) << lines[i];
    EXPECT_EQ(lines[i].substr(0, 2), " *");
    EXPECT_EQ(lines[i].back(), '*');
  }
}

TEST(Progress, TimesInWords) {
  EXPECT_EQ(duration_text(0.823), "0.82 s");
  EXPECT_EQ(duration_text(0.001), "0.01 s");
  EXPECT_EQ(duration_text(12.4), "12 s");
  EXPECT_EQ(duration_text(185), "3 min 05 s");
  EXPECT_EQ(duration_text(7620), "2 h 07 min");
  // Behind the bar: whole seconds, and the time left at the pace so far.
  EXPECT_EQ(progress_time_text(12.2, 10, 40), "12 s, about 37 s left");
  EXPECT_EQ(progress_time_text(12.2, 40, 40), "12 s");
  EXPECT_EQ(progress_time_text(0.3, 1, 1000), "1 s, about 5 min 00 s left");
  // Once-per-direction work (60 s of the first 70) is not taken for the
  // points' pace (10 s a point): one direction of 50 points has 49 x 10 s
  // left, not 49 x 70 s; with a second direction to come, its 60 s too.
  EXPECT_EQ(progress_time_text(70, 1, 50, 60, 50, 1), "1 min 10 s, about 8 min 10 s left");
  EXPECT_EQ(progress_time_text(70, 1, 100, 60, 50, 1), "1 min 10 s, about 17 min 30 s left");
  // The second direction's work just ended, none of its points done: its
  // direction begun, 50 points of 10 s left and no more work to come.
  EXPECT_EQ(progress_time_text(620, 50, 100, 120, 50, 2), "10 min 20 s, about 8 min 20 s left");
  // Half the second direction done: its work counted, none to come.
  EXPECT_EQ(progress_time_text(200, 75, 100, 40, 50, 2), "3 min 20 s, about 53 s left");
  // Without such work, the pace of the points alone, whatever the directions.
  EXPECT_EQ(progress_time_text(12.2, 10, 40, 0, 20), "12 s, about 37 s left");
}

// The line drawn over the bar on a terminal: the marks, the text behind the
// ruler's width, cut to the terminal's width, and padded over a longer line
// drawn before (a node's text followed by the time left leaves nothing of it).
TEST(Progress, LineFitsTheTerminalAndCoversTheLineBefore) {
  std::size_t drawn = 0;
  const std::string node = progress_line(3, "1 min 05 s, node 9 of 9 of the far Floquet modes' share", drawn, 200);
  EXPECT_EQ(node, " oooo" + std::string(47, ' ') + "  1 min 05 s, node 9 of 9 of the far Floquet modes' share");
  EXPECT_EQ(drawn, node.size());
  const std::string time = progress_line(4, "1 min 06 s, about 8 min left", drawn, 200);
  EXPECT_EQ(time.size(), node.size());
  EXPECT_EQ(time, " ooooo" + std::string(46, ' ') + "  1 min 06 s, about 8 min left" + std::string(27, ' '));
  EXPECT_EQ(drawn, 82u);
  // An 80-column terminal: 79 characters at most, nothing wraps.
  drawn = 0;
  const std::string cut = progress_line(3, "1 min 05 s, node 9 of 9 of the far Floquet modes' share", drawn, 80);
  EXPECT_EQ(cut.size(), 79u);
  EXPECT_EQ(cut, node.substr(0, 79));
  EXPECT_EQ(progress_line(3, "5 s", drawn, 80).size(), 79u);
  EXPECT_EQ(drawn, 57u);
}

// On a terminal a sweep longer than two seconds shows, behind its marks,
// the time spent and the time left, redrawn in place; the run ends with the
// line of what it did. The sweep is made long enough (about three times the
// two seconds on a fast machine) that the time must appear.
TEST(Progress, TerminalBarShowsTheTimeOfLongSweeps) {
  scratch_dir dir;
  scratch_dir::write_file("slow.fss", "t\nt\n1)\n10 10\n2)\n90\n3)\n0.5\n4)\n-3 -3 3 -3\n3 -3 3 3\n"
                                      "3 3 -3 3\n-3 3 -3 -3\n5)\n20 30\n6)\n10 20 0.004\n7)\n100\n8)\n600\n");
  const program_result tty = run_command("script -qec '" + std::string(FSS_BINARY) + " slow -csv' /dev/null");
  EXPECT_EQ(tty.status, 0) << tty.out;
  const std::regex timed("\r o+ +[0-9]+ s, about [0-9]+ s left *\r o+");
  EXPECT_TRUE(std::regex_search(tty.out, timed)) << tty.out.substr(tty.out.size() - 600);
  const std::regex done(" done: 2501 sweep points computed in [0-9.]+ s; files written: slow.out, slow.csv\r?\n");
  EXPECT_TRUE(std::regex_search(tty.out, done)) << tty.out.substr(tty.out.size() - 300);
}
