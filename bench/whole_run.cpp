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
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/results.hpp"

namespace {

void whole_run(benchmark::State& state, const std::string& example) {
  const std::string base = "bench_" + example;
  std::filesystem::copy_file(std::string(FSS_SOURCE_DIR) + "/examples/" + example + ".fss",
                             base + ".fss", std::filesystem::copy_options::overwrite_existing);
  static std::vector<std::string> args;
  static std::vector<char*> argv;
  args = {"fss", base};
  argv.clear();
  for (auto& a : args) argv.push_back(a.data());
  for (auto _ : state) {
    std::ostringstream console;
    std::streambuf* old = std::cout.rdbuf(console.rdbuf());
    fss_command_line = {static_cast<int>(argv.size()), argv.data()};
    fss_set_capacities();
    read_input_fss();
    write_output();
    genmodes_wg();
    fss_sweep();
    std::cout.rdbuf(old);
  }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_MB"] = u.ru_maxrss / 1024.0;
  for (const char* ext : {".fss", ".out"}) std::remove((base + ext).c_str());
}

void BM_RunSquareHoles(benchmark::State& s) { whole_run(s, "square_holes"); }
void BM_RunCircularHoles(benchmark::State& s) { whole_run(s, "circular_holes"); }
void BM_RunRectSlots(benchmark::State& s) { whole_run(s, "rect_slots"); }

}  // namespace

BENCHMARK(BM_RunSquareHoles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunCircularHoles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunRectSlots)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
