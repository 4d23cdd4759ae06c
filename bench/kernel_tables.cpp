// Time to build the regular-kernel tables (scalar, electric type and both
// magnetic types) for a contour carrying 150 regular basis functions in an
// enclosure with both symmetry axes (four images per source point), and to
// read them back from their caches.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "contour/contour.hpp"
#include "modesolver/green_tables.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/run.hpp"

namespace {

const int nel = 150;

// A wavy open line of nel straight elements across the quarter cell
// (rows 2 .. nel + 1), one regular function centred on each element.
void setup(double b) {
  dat = {};
  dat.a = 10.0;
  dat.b = b;
  dat.symx = dat.symy = 1;
  dat.offset = 0.4;
  contour_capacities();
  blok2.n = nel + 1;
  blok2[1][10] = 1e-6;
  double s = 0;
  auto point = [](int k, double& x, double& y) {
    const double t = static_cast<double>(k) / nel;
    x = 0.5 + 8.5 * t;
    y = 2.0 + 1.5 * std::sin(6.0 * t);
  };
  for (int i = 1; i <= nel; ++i) {
    xye_row& r = blok2[i + 1];
    point(i - 1, r[1], r[2]);
    point(i, r[3], r[4]);
    const double len = std::hypot(r[3] - r[1], r[4] - r[2]);
    r[6] = s;
    r[7] = s + len;
    s += len;
  }
  gcoord(0);
  fbo.cap = 450;
  fbo.nfb = fbo.nreg = nel;
  for (int f = 1; f <= nel; ++f) {
    fbo[f].i = f + 1;
    fbo[f].iip = f > 1 ? f : 0;
    fbo[f].iis = f < nel ? f + 2 : 0;
    for (int k = 1; k <= 9; ++k) fbo[f].c[k] = std::sin(1.7 * f + 2.3 * k);
    matco[f + 1].v[16] = f;
  }
  const char* names[4] = {"bench_gmat.tmp", "bench_gstmat.tmp", "bench_gha.tmp", "bench_ght.tmp"};
  for (int k = 1; k <= 4; ++k) run_files.ftmp[k] = names[k - 1];
}

void build_all() {
  green_first = greenv_first = 1;
  greenha_done[1] = greenha_done[2] = 0;
  green(1);
  greenv(1);
  greenha(1);
  greenha(2);
}

void kernel_tables_build(benchmark::State& state) {
  setup(state.range(0) ? 6.0 : 0.0);
  for (auto _ : state) build_all();
  state.counters["regular_functions"] = nel;
  state.SetLabel(state.range(0) ? "rectangular enclosure" : "circular enclosure");
}

void kernel_tables_reread(benchmark::State& state) {
  setup(6.0);
  build_all();
  for (auto _ : state) {
    green(1);
    greenv(1);
    greenha(1);
    greenha(2);
  }
  for (int k = 1; k <= 4; ++k) std::remove(run_files.ftmp[k].c_str());
}

}  // namespace

BENCHMARK(kernel_tables_build)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(kernel_tables_reread)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
