// The command line: every argument is checked before anything is read or
// computed; the help, the version and the refusals with their exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "run/converge.hpp"
#include "run/options.hpp"
#include "support/analytic_modes.hpp"
#include "support/command_line.hpp"
#include "support/program_run.hpp"
#include "support/tmpdir.hpp"

namespace {

command_line_reading reading(std::vector<std::string> args) {
  args.insert(args.begin(), "fss");
  set_command_line(std::move(args));
  return read_command_line();
}

// The refusal of the given arguments, its words.
std::string refusal(const std::vector<std::string>& args) {
  const command_line_reading r = reading(args);
  EXPECT_EQ(r.action, command_action::refused);
  return r.message;
}

std::string usage_lines() { return usage_text(); }

}  // namespace

// Whole option words, several in one argument, before or after the
// structure; each sets its own flag and nothing else.
TEST(CommandLine, KnownOptionsSetTheirFlags) {
  command_line_reading r = reading({"model", "-csv", "-s4p-plot"});
  EXPECT_EQ(r.action, command_action::run);
  EXPECT_EQ(r.structure, "model");
  EXPECT_EQ(fss_writeinfo.csv, 1);
  EXPECT_EQ(fss_writeinfo.s4p, 1);
  EXPECT_EQ(fss_writeinfo.plot, 1);
  EXPECT_EQ(fss_writeinfo.modes + fss_writeinfo.wgs + fss_writeinfo.pvf + fss_writeinfo.converge +
                fss_writeinfo.geometry + fss_writeinfo.fine,
            0);
  r = reading({"-wgs-pvf", "-modes", "dir/model.fss", "-converge", "-geometry", "-fine"});
  EXPECT_EQ(r.structure, "dir/model.fss");
  EXPECT_EQ(fss_writeinfo.wgs + fss_writeinfo.pvf + fss_writeinfo.modes + fss_writeinfo.converge +
                fss_writeinfo.geometry + fss_writeinfo.fine,
            6);
  EXPECT_EQ(fss_writeinfo.csv, 0);
  EXPECT_TRUE(fss_output.dir.empty());
  // The output folder is the argument after "-o"; empty arguments stand for
  // nothing, and without a structure the program asks for one.
  r = reading({"-o", "results dir", "", "model"});
  EXPECT_EQ(r.action, command_action::run);
  EXPECT_EQ(fss_output.dir, "results dir");
  EXPECT_EQ(r.structure, "model");
  r = reading({"-csv"});
  EXPECT_EQ(r.action, command_action::run);
  EXPECT_EQ(r.structure, "");
  EXPECT_EQ(fss_writeinfo.passes, 0);
  // "-passes N" sets the most passes and asks for the passes.
  r = reading({"-passes", "14", "model", "-csv"});
  EXPECT_EQ(r.action, command_action::run);
  EXPECT_EQ(r.structure, "model");
  EXPECT_EQ(fss_writeinfo.passes, 14);
  EXPECT_EQ(fss_writeinfo.converge, 1);
  EXPECT_EQ(fss_writeinfo.csv, 1);
  EXPECT_EQ(reading({"m", "-passes", "2"}).action, command_action::run);
  EXPECT_EQ(fss_writeinfo.passes, 2);
  EXPECT_EQ(reading({"m", "-passes", std::to_string(passes_most)}).action, command_action::run);
  // "-minutes M" gives the passes their time and asks for them; without it
  // and without "-passes" they have the default time, with "-passes" alone none.
  r = reading({"m", "-minutes", "2.5", "-passes", "12"});
  EXPECT_EQ(r.action, command_action::run);
  EXPECT_EQ(fss_writeinfo.minutes, 2.5);
  EXPECT_EQ(fss_writeinfo.converge, 1);
  EXPECT_EQ(converge_budget(), 150);
  ASSERT_EQ(reading({"m", "-passes", "12"}).action, command_action::run);
  EXPECT_EQ(converge_budget(), 0);
  ASSERT_EQ(reading({"m", "-converge"}).action, command_action::run);
  EXPECT_EQ(converge_budget(), converge_minutes * 60);
  ASSERT_EQ(reading({"m", "-minutes", "100000"}).action, command_action::run);
  EXPECT_EQ(converge_budget(), 6e6);
  ASSERT_EQ(reading({"m", "-minutes", "100000.000000"}).action, command_action::run);
  ASSERT_EQ(reading({"m", "-minutes", "0.00000000001"}).action, command_action::run);
  EXPECT_NEAR(converge_budget(), 6e-10, 1e-24);
  ASSERT_EQ(reading({"m", "-minutes", ".5"}).action, command_action::run);
  EXPECT_EQ(converge_budget(), 30);
  // A pass is begun when the run, with it as foreseen, stays within its time.
  EXPECT_TRUE(converge_within_budget(500, 100, 600));
  EXPECT_FALSE(converge_within_budget(500, 100.5, 600));
  EXPECT_TRUE(converge_within_budget(5e5, 5e5, 0));
}

// Misspelt, mistyped and unknown options are refused, with the option meant
// where one is close.
TEST(CommandLine, UnknownOptionsAreRefusedWithTheClosestOne) {
  EXPECT_EQ(refusal({"m", "-cvs"}), "unknown option \"-cvs\" (did you mean \"-csv\"?)");
  EXPECT_EQ(refusal({"m", "-CSV"}), "unknown option \"-CSV\" (did you mean \"-csv\"?)");
  EXPECT_EQ(refusal({"m", "-plots"}), "unknown option \"-plots\" (did you mean \"-plot\"?)");
  EXPECT_EQ(refusal({"m", "-modesx"}), "unknown option \"-modesx\" (did you mean \"-modes\"?)");
  EXPECT_EQ(refusal({"m", "-foo"}), "unknown option \"-foo\"");
  EXPECT_EQ(refusal({"m", "-wgs-cvs"}), "unknown option \"-cvs\" in \"-wgs-cvs\" (did you mean \"-csv\"?)");
  EXPECT_EQ(refusal({"m", "-csv-"}), "unknown option \"-\" in \"-csv-\"");
  EXPECT_EQ(refusal({"m", "--csv"}), "unknown option \"-\" in \"--csv\"");
  EXPECT_EQ(refusal({"m", "csv"}), "unexpected argument \"csv\" after the structure \"m\": options "
                                   "begin with \"-\" (did you mean \"-csv\"?)");
  EXPECT_EQ(refusal({"m", "n"}), "unexpected argument \"n\" after the structure \"m\": options begin "
                                 "with \"-\"");
  EXPECT_EQ(refusal({"m", "-o"}), "option \"-o\" needs a folder: -o DIR");
  EXPECT_EQ(refusal({"m", "-o", " "}), "option \"-o\" needs a folder: -o DIR");
  EXPECT_EQ(refusal({"-o", "a", "m", "-o", "b"}), "option \"-o\" given twice");
  // The number of passes: a whole number in its range, once.
  const std::string needs = "option \"-passes\" needs a whole number of passes from 2 to " +
                            std::to_string(passes_most) + ": -passes N";
  for (const std::vector<std::string>& a :
       {std::vector<std::string>{"m", "-passes"}, {"m", "-passes", "1"}, {"m", "-passes", "0"},
        {"m", "-passes", std::to_string(passes_most + 1)}, {"m", "-passes", "12.5"},
        {"m", "-passes", "-csv"}, {"m", "-passes", "1e1"}, {"m", "-passes", "00000012"},
        {"-passes", "m"}, {"m", "-passes", ""}})
    EXPECT_EQ(refusal(a), needs) << a.back();
  EXPECT_EQ(refusal({"m", "-passes", "12", "-passes", "14"}), "option \"-passes\" given twice");
  EXPECT_EQ(refusal({"m", "-csv-passes", "12"}),
            "option \"-passes\" stands alone, followed by its number: -passes N");
  EXPECT_EQ(refusal({"m", "-pases", "12"}), "unknown option \"-pases\" (did you mean \"-passes\"?)");
  // The minutes: a number above 0 and within the bound, once.
  const std::string minutes = "option \"-minutes\" needs a number of minutes above 0 (at most 100000): -minutes M";
  for (const std::vector<std::string>& a :
       {std::vector<std::string>{"m", "-minutes"}, {"m", "-minutes", "0"}, {"m", "-minutes", "-5"},
        {"m", "-minutes", "100001"}, {"m", "-minutes", "1e3"}, {"m", "-minutes", "1.2.3"},
        {"m", "-minutes", "."}, {"m", "-minutes", "ten"}, {"m", "-minutes", ""}})
    EXPECT_EQ(refusal(a), minutes) << a.back();
  EXPECT_EQ(refusal({"m", "-minutes", "5", "-minutes", "6"}), "option \"-minutes\" given twice");
  EXPECT_EQ(refusal({"m", "-csv-minutes", "5"}),
            "option \"-minutes\" stands alone, followed by its number: -minutes M");
  EXPECT_EQ(refusal({"m", "-minute", "5"}), "unknown option \"-minute\" (did you mean \"-minutes\"?)");
  EXPECT_EQ(nearest_option("Geometrie"), "geometry");
  EXPECT_EQ(nearest_option("xyz"), "");
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(reading({"--help"}).action, command_action::help);
  EXPECT_EQ(reading({"model", "-cvs", "-h"}).action, command_action::refused);  // in order
  EXPECT_EQ(reading({"model", "-h", "-cvs"}).action, command_action::help);
  EXPECT_EQ(reading({"-help"}).action, command_action::help);
  EXPECT_EQ(reading({"--version", "model"}).action, command_action::version);
  // The usage names every option, one line each.
  const std::string u = usage_lines();
  for (const char* o : {"\n   -csv ", "\n   -s4p ", "\n   -plot ", "\n   -geometry ", "\n   -modes ",
                        "\n   -converge ", "\n   -passes N ", "\n   -minutes M ", "\n   -wgs ", "\n   -pvf ", "\n   -o DIR ",
                        "\n   -h, --help ", "\n   --version ", "\n   structure "})
    EXPECT_NE(u.find(o), std::string::npos) << o;
  EXPECT_EQ(u.substr(0, 43), " usage: fss [structure[.fss]] [option ...]\n");
  for (std::size_t k = 0, e; k < u.size(); k = e + 1) {
    e = u.find('\n', k);
    EXPECT_LE(e - k, 80u) << u.substr(k, e - k);  // a terminal line
  }
}

// The program: a refused command line stops with the usage on standard
// error and exit status 2, before any file is read or written; the help
// and the version end with status 0.
TEST(CommandLine, TheProgramRefusesBeforeAnythingIsComputed) {
  scratch_dir dir;
  scratch_dir::write_file("m.fss", structure_text(10, 10, 0.5, 6, 6, "0 0", "10 12 1", 60, 150));
  for (const std::string bad : {"-cvs", "-CSV", "csv", "-foo", "-plots", "-modesx"}) {
    const program_result r = run_command("{ " + std::string(FSS_BINARY) + " m " + bad + " >/dev/null; }");
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_EQ(r.out.substr(0, 6), " fss: ") << bad;
    EXPECT_NE(r.out.find("\"" + bad + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n\n usage: fss [structure[.fss]] [option ...]\n"), std::string::npos);
    // Not even the banner: nothing was read or written.
    const program_result all = run_program("m " + bad, "");
    EXPECT_EQ(all.out.find("****"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("m.apb"));
    EXPECT_FALSE(std::filesystem::exists("m.out"));
  }
  program_result r = run_program("m -cvs", "");
  EXPECT_EQ(r.out, " fss: unknown option \"-cvs\" (did you mean \"-csv\"?)\n\n" + usage_lines());
  // "fss --help": the usage on standard output, nothing else.
  r = run_command(std::string(FSS_BINARY) + " --help 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(" fss ") + fss_version +
                       ": reflection and transmission of frequency selective surfaces\n\n" + usage_lines());
  EXPECT_EQ(run_program("-h", "").status, 0);
  r = run_program("--version", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(" fss ") + fss_version + "\n");
  // A valid combination runs.
  r = run_program("m -csv-plot", "");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists("m.csv"));
  EXPECT_TRUE(std::filesystem::exists("m.svg"));
}

// "-o DIR": every result file in the folder (made when missing), the
// structure's folder untouched; the result is that of a run beside the
// structure, byte for byte.
TEST(CommandLine, OutputFolderHoldsEveryFileOfTheRun) {
  scratch_dir dir;
  std::filesystem::create_directory("in");
  scratch_dir::write_file("in/m.fss", structure_text(10, 10, 0.5, 6, 6, "0 0", "10 12 1", 60, 150));
  ASSERT_EQ(run_program("in/m -csv -s4p -plot -modes", "").status, 0);
  const std::vector<std::string> files = {"m.out", "m.csv", "m_theta0_phi0.s4p", "m.svg", "m.modes"};
  std::vector<std::string> beside;
  for (const std::string& f : files) beside.push_back(scratch_dir::read_file("in/" + f));
  for (const std::string& f : files) std::filesystem::remove("in/" + f);
  // The structure's folder is read-only: only the output folder is written.
  chmod("in", 0555);
  const program_result r = run_program("in/m -csv -s4p -plot -modes -o out/deep", "");
  chmod("in", 0755);
  ASSERT_EQ(r.status, 0) << r.out;
  for (std::size_t k = 0; k < files.size(); ++k)
    EXPECT_EQ(scratch_dir::read_file("out/deep/" + files[k]), beside[k]) << files[k];
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("in"), std::filesystem::directory_iterator()), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("out/deep"), std::filesystem::directory_iterator()),
            static_cast<long>(files.size()));
}
