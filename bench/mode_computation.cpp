// Time and peak memory of the mode computation (TE and TM) of one aperture,
// from the boundary description to the mode files, at the 100 GHz limit of
// the examples: a cross in a 10 mm cell, the 7 mm circular hole of the
// examples and the L-shape of the validation set.  Then rings, whose outer
// line is the enclosure wall so that the modes are sampled there through the
// enclosing-guide series: a circular coaxial ring (diameters 9 and 3 mm,
// 209 modes) and the square ring of the examples (8 and 3 mm) at 230 GHz,
// and an eccentric ring (radii 1 and 0.3 mm, 0.3 mm off centre, 240 modes)
// at 1100 GHz.
// The peak resident memory of the process (after all runs) is reported as a
// counter; the records are static, so only the pages touched count.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "modesolver/fss_analyzew.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "run/driver.hpp"
#include "scattering/catalogue.hpp"

namespace {

const std::vector<std::string> cross = {"-4 -1 -1 -1", "-1 -1 -1 -4", "-1 -4 1 -4", "1 -4 1 -1",
                                        "1 -1 4 -1",   "4 -1 4 1",    "4 1 1 1",     "1 1 1 4",
                                        "1 4 -1 4",    "-1 4 -1 1",   "-1 1 -4 1",   "-4 1 -4 -1"};
const std::vector<std::string> lshape = {"0 0 6 0", "6 0 6 3", "6 3 3 3",
                                         "3 3 3 6", "3 6 0 6", "0 6 0 0"};

const std::vector<std::string> circle = {"3.5 0 3.5 0 -3.5 0"};

const std::vector<std::string> circular_ring = {"4.5 0 4.5 0 -4.5 0", "1.5 0 1.5 0 -1.5 0"};
const std::vector<std::string> square_ring = {
    "-4 -4 4 -4",         "4 -4 4 4",          "4 4 -4 4",          "-4 4 -4 -4",
    "-1.5 -1.5 1.5 -1.5", "1.5 -1.5 1.5 1.5", "1.5 1.5 -1.5 1.5", "-1.5 1.5 -1.5 -1.5"};
const std::vector<std::string> eccentric_ring = {"1 0 1 0 -1 0", "0.6 0 0.6 0 0 0"};

// One mode computation as the program runs it.
int all_modes(const std::vector<std::string>& boundary, double fghz) {
  {
    std::ofstream apb("bench_job.apb");
    for (const std::string& l : boundary) apb << l << '\n';
  }
  prepare_solver_records(3, 0.0);
  std::string name = "bench_job";
  apb2dat(name, fghz * 1e9);
  std::istringstream in("tem,te,tm\n");
  std::streambuf* old_in = std::cin.rdbuf(in.rdbuf());
  std::ostringstream out;
  std::streambuf* old_out = std::cout.rdbuf(out.rdbuf());
  int ierr = 0;
  fss_analyzew(name, 1, ierr);
  std::cout.rdbuf(old_out);
  std::cin.rdbuf(old_in);
  int n = 0;
  std::ifstream wgm("bench_job.wgm");
  wgm >> n;
  return n;
}

void run(benchmark::State& state, const std::vector<std::string>& boundary, double fghz = 100) {
  fss_set_capacities();
  int modes = 0;
  for (auto _ : state) modes = all_modes(boundary, fghz);
  state.counters["modes"] = modes;
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_MB"] = u.ru_maxrss / 1024.0;
  for (const char* ext : {".apb", ".wgm", ".crd", ".smp", ".wg2", ".smpTEM", ".pin"})
    std::remove((std::string("bench_job") + ext).c_str());
}

void BM_ModesCross(benchmark::State& state) { run(state, cross); }
void BM_ModesCircle(benchmark::State& state) { run(state, circle); }
void BM_ModesLShape(benchmark::State& state) { run(state, lshape); }
void BM_ModesCircularRing(benchmark::State& state) { run(state, circular_ring, 230); }
void BM_ModesSquareRing(benchmark::State& state) { run(state, square_ring, 230); }
void BM_ModesEccentricRing(benchmark::State& state) { run(state, eccentric_ring, 1100); }

}  // namespace

BENCHMARK(BM_ModesCross)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModesCircle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModesLShape)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModesCircularRing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModesSquareRing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModesEccentricRing)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
