// Time of a whole run of each example, as a user runs it: structure file,
// mode computation and catalogue, sweep, result file (the console output
// goes to a string).  The peak resident memory is reported as a counter.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "run/driver.hpp"
#include "support/command_line.hpp"

namespace {

// The program in this process on "<base>.fss", with the given options; the
// example is copied from examples/ first (none: the file is already there).
void whole_run(benchmark::State& state, const std::string& example,
               const std::vector<std::string>& options = {}) {
  const std::string base = example.empty() ? "bench_cross" : "bench_" + example;
  if (!example.empty())
    std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + example + ".fss",
                               base + ".fss", std::filesystem::copy_options::overwrite_existing);
  set_command_line(base, options);
  for (auto _ : state) {
    std::ostringstream console;
    std::streambuf* old = std::cout.rdbuf(console.rdbuf());
    fss_set_capacities();
    fss();
    std::cout.rdbuf(old);
  }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_MB"] = u.ru_maxrss / 1024.0;
  for (const char* ext : {".fss", ".out", ".conv", ".csv", ".svg"}) std::remove((base + ext).c_str());
  for (const auto& f : std::filesystem::directory_iterator("."))
    if (f.path().extension() == ".s4p" && f.path().filename().string().rfind(base, 0) == 0)
      std::filesystem::remove(f.path());
}

// A cross in a 10 mm cell, 50 frequencies at oblique incidence (the
// integrals recomputed at every frequency), mode computation included.
void BM_RunCrossOblique50(benchmark::State& state) {
  const char* text =
      "cross\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n-4 -1 -1 -1\n-1 -1 -1 -4\n-1 -4 1 -4\n"
      "1 -4 1 -1\n1 -1 4 -1\n4 -1 4 1\n4 1 1 1\n1 1 1 4\n1 4 -1 4\n-1 4 -1 1\n-1 1 -4 1\n"
      "-4 1 -4 -1\n5)\n30 20\n6)\n5.5 30 0.5\n7)\n100\n8)\n300\n";
  std::FILE* f = std::fopen("bench_cross.fss", "w");
  std::fputs(text, f);
  std::fclose(f);
  whole_run(state, "");
}

// "-converge" on the cross example: the passes until they settle (the
// twelfth), each a whole analysis, with the report.
void BM_ConvergeCrossSlots(benchmark::State& s) { whole_run(s, "cross_slots", {"-converge"}); }

void BM_RunSquareHoles(benchmark::State& s) { whole_run(s, "square_holes"); }
void BM_RunCircularHoles(benchmark::State& s) { whole_run(s, "circular_holes"); }
void BM_RunRectSlots(benchmark::State& s) { whole_run(s, "rect_slots"); }
void BM_RunRingSlots(benchmark::State& s) { whole_run(s, "ring_slots"); }
void BM_RunCrossSlots(benchmark::State& s) { whole_run(s, "cross_slots"); }
// The same runs with the further result files (CSV, Touchstone, plot): the
// difference is their cost.
const std::vector<std::string> all_files = {"-csv", "-s4p", "-plot"};
void BM_RunSquareHolesAllFiles(benchmark::State& s) { whole_run(s, "square_holes", all_files); }
void BM_RunCircularHolesAllFiles(benchmark::State& s) { whole_run(s, "circular_holes", all_files); }

}  // namespace

BENCHMARK(BM_RunCrossOblique50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunSquareHoles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunCircularHoles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunRectSlots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunRingSlots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunCrossSlots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvergeCrossSlots)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RunSquareHolesAllFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunCircularHolesAllFiles)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
