// Several analyses in one process (as the Python module runs them): after
// fss_reset each writes the result file of a separate program run, also
// after a run that ended in a fatal error.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "run/driver.hpp"
#include "run/progress.hpp"
#include "run/messages.hpp"
#include "run/read_input.hpp"
#include "run/reset.hpp"
#include "run/runfiles.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

// The files a run names in its last line, without the folder of "-o".
std::string files_written(const std::string& console, const std::string& folder) {
  const std::size_t at = console.find("files written:");
  if (at == std::string::npos) return "";
  std::string line = console.substr(at, console.find('\n', at) - at);
  for (std::size_t p; (p = line.find(folder + "/")) != std::string::npos;)
    line.erase(p, folder.size() + 1);
  return line;
}

// What a run leaves: the result table, the plot, the CSV table and the
// files its last line names (or the fatal message alone).
struct run_files_text {
  std::string out, svg, csv, written, fatal;
};

run_files_text files_of(const std::string& base, const std::string& console,
                        const std::string& folder) {
  return {scratch_dir::read_file(base + ".out"), scratch_dir::read_file(base + ".svg"),
          scratch_dir::read_file(base + ".csv"), files_written(console, folder), ""};
}

// One analysis of <name>.fss with the further result files, in this
// process (folder "inproc"), its console kept aside.
run_files_text analyse_in_process(const std::string& name) {
  std::ostringstream console;
  std::streambuf* out = std::cout.rdbuf(console.rdbuf());
  fss_reset();
  std::vector<std::string> words{"fss", name, "-csv-s4p-plot", "-o", "inproc"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  fss_command_line = {5, argv.data()};
  fss_set_capacities();
  set_fatal_trap(true);
  run_files_text result;
  try {
    read_input_fss();
    note_scratch_files(fss_file.name);
    fss_analysis();
    remove_scratch_files();
    run_summary();
    result = files_of("inproc/" + name, console.str(), "inproc");
  } catch (const fss_fatal_error& e) {
    remove_scratch_files();
    result.fatal = e.routine + ": " + e.message;
  }
  set_fatal_trap(false);
  fss_command_line = {};
  std::cout.rdbuf(out);
  return result;
}

std::string example(const std::string& name) {
  return scratch_dir::read_file(std::string(FSS_SOURCE_DIR) + "/examples/" + name + ".fss");
}

}  // namespace

TEST(Reset, AnalysesInOneProcessGiveTheResultsOfSeparateRuns) {
  scratch_dir dir;
  // Different apertures, screens and stacks one after the other, a fatal
  // error in the middle, and the first structure again at the end.
  const std::vector<std::string> names{"square_holes", "two_screen_filter", "ring_slots",
                                       "faulty", "radome_stack", "dual_band", "square_holes"};
  std::vector<std::string> written;  // the last lines of the separate runs
  for (const std::string& n : names) {
    std::string text = n == "faulty" ? example("square_holes") : example(n);
    if (n == "faulty") text.replace(text.find(" 3  3 -3  3\n"), 12, "");  // an open line
    scratch_dir::write_file(n + ".fss", text);
    const program_result r = run_program(n + ".fss -csv-s4p-plot -o separate", "");
    ASSERT_EQ(r.status, n == "faulty" ? 1 : 0) << n;
    written.push_back(files_written(r.out, "separate"));
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string& n = names[k];
    const run_files_text got = analyse_in_process(n);
    if (n == "faulty") {
      EXPECT_EQ(got.fatal, "apb2dat: CLOSLIN: cannot close line (Error in coding the input "
                           "data: ier= 2)");
      continue;
    }
    const std::string sep = "separate/" + n;
    EXPECT_TRUE(got.out == scratch_dir::read_file(sep + ".out")) << n;
    EXPECT_TRUE(got.svg == scratch_dir::read_file(sep + ".svg")) << n;
    EXPECT_TRUE(got.csv == scratch_dir::read_file(sep + ".csv")) << n;
    EXPECT_EQ(got.written, written[k]) << n;
    EXPECT_FALSE(got.out.empty() || got.written.empty()) << n;
  }
  // no scratch file of the runs is left
  for (const std::string& n : names) {
    EXPECT_FALSE(std::filesystem::exists("inproc/" + n + ".apb")) << n;
    EXPECT_FALSE(std::filesystem::exists("inproc/" + n + "_tmp.wgm")) << n;
  }
}

// The coupling integrals of a direction at normal incidence are computed at
// its first point only: their time is the sweep's once-per-direction work,
// kept apart from the points' pace on the progress bar.  At oblique
// incidence (computed at every point) a plain run has no such work.
TEST(Progress, CouplingIntegralsAtNormalIncidenceAreOnceWork) {
  scratch_dir dir;
  const std::string normal = example("square_holes");
  scratch_dir::write_file("normal.fss", normal);
  ASSERT_TRUE(analyse_in_process("normal").fatal.empty());
  EXPECT_GT(progress_once_seconds(), 0);
  std::string oblique = normal;
  oblique.replace(oblique.find("\n0 0\n"), 5, "\n30 20\n");
  scratch_dir::write_file("oblique.fss", oblique);
  ASSERT_TRUE(analyse_in_process("oblique").fatal.empty());
  EXPECT_EQ(progress_once_seconds(), 0);
}
