// A converged run ("-converge") of each example, as a user runs it: the
// passes along the ray until the estimate settles, a pass outgrows the
// tables' bounds or the next would end the run after its ten minutes, with
// the extrapolated result and the report.  Counters:
// the passes, the estimated error of the extrapolated result (an amplitude),
// the aperture and Floquet modes of the last pass and the peak resident
// memory; the report (<example>.conv) is kept in the working folder with
// the time and memory of every pass.  Each takes minutes (the square holes
// some 30 on one core): run one at a time with --benchmark_filter.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "run/driver.hpp"
#include "support/command_line.hpp"

namespace {

// The last row of the pass table of a report: pass, limits, modes.
struct last_pass {
  int pass = 0, nwg = 0, nflo = 0;
  double error = -1;
};

last_pass read_report(const std::string& name) {
  std::ifstream in(name);
  last_pass p;
  for (std::string line; std::getline(in, line);) {
    std::istringstream w(line);
    int pass, nwg, nflo;
    double fwg, fflo, t, mem;
    std::string change, at1, at2, at3, of, error;
    if (!(w >> pass >> fwg >> fflo >> nwg >> nflo >> t >> mem >> change >> at1 >> at2 >> at3 >> of >> error))
      continue;
    p = {pass, nwg, nflo, error == "-" ? -1 : std::stod(error)};
  }
  return p;
}

// The example's structure file as the run's, with the line of block 5 (the
// incidence) replaced when `incidence` is given.
void write_structure(const std::string& example, const std::string& base, const std::string& incidence) {
  std::ifstream in(std::string(FSS_SOURCE_DIR) + "/examples/" + example + ".fss");
  std::ofstream out(base + ".fss");
  bool next_is_incidence = false;
  for (std::string line; std::getline(in, line);) {
    if (next_is_incidence && !incidence.empty()) line = incidence;
    next_is_incidence = line.find("5)") != std::string::npos;
    out << line << '\n';
  }
}

void converged_run(benchmark::State& state, const std::string& example, const std::string& incidence = "") {
  const std::string base = "converged_" + example + (incidence.empty() ? "" : "_oblique");
  write_structure(example, base, incidence);
  set_command_line(base, {"-converge"});
  for (auto _ : state) {
    std::ostringstream console;
    std::streambuf* old = std::cout.rdbuf(console.rdbuf());
    fss_set_capacities();
    fss();
    std::cout.rdbuf(old);
  }
  const last_pass p = read_report(base + ".conv");
  state.counters["passes"] = p.pass;
  state.counters["error_x"] = p.error;
  state.counters["wg_modes"] = p.nwg;
  state.counters["flo_modes"] = p.nflo;
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_MB"] = u.ru_maxrss / 1024.0;
  for (const char* ext : {".fss", ".out", "_x.out"}) std::filesystem::remove(base + ext);
}

void BM_ConvergedSquareHoles(benchmark::State& s) { converged_run(s, "square_holes"); }
void BM_ConvergedRectSlots(benchmark::State& s) { converged_run(s, "rect_slots"); }
void BM_ConvergedCrossSlots(benchmark::State& s) { converged_run(s, "cross_slots"); }
// The cross at theta 30, phi 20 degrees: the oblique sweep of 50 frequencies
// whose converged, extrapolated result is the speed goal.
void BM_ConvergedCrossSlotsOblique(benchmark::State& s) { converged_run(s, "cross_slots", "30 20"); }
void BM_ConvergedRingSlots(benchmark::State& s) { converged_run(s, "ring_slots"); }
void BM_ConvergedCircularHoles(benchmark::State& s) { converged_run(s, "circular_holes"); }
void BM_ConvergedRadomeStack(benchmark::State& s) { converged_run(s, "radome_stack"); }
void BM_ConvergedDualBand(benchmark::State& s) { converged_run(s, "dual_band"); }
void BM_ConvergedTwoScreenFilter(benchmark::State& s) { converged_run(s, "two_screen_filter"); }

}  // namespace

BENCHMARK(BM_ConvergedRectSlots)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedSquareHoles)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedCrossSlots)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedCrossSlotsOblique)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedRingSlots)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedCircularHoles)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedRadomeStack)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedDualBand)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ConvergedTwoScreenFilter)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
