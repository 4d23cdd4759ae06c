// Time of one sweep point of the scattering analysis with a full catalogue
// (60 aperture modes on 600 contour points) and about a thousand Floquet
// modes: modal update, Floquet set, coupling integrals, system and solution;
// each stage alone, and the straightforward evaluation of the integrals
// (mode by mode) and of the system (sum over the Floquet modes) beside the
// matrix products, in one run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/floquet.hpp"
#include "scattering/integrals.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"
#include "support/straightforward_sums.hpp"

namespace {

// With `stack`: a lossy layer on each side of the screen and filled holes
// (the radome-wall example), else the screen in air.
void setup(double theta_deg, double fflo_ghz = 370, bool stack = false) {
  fss_set_capacities();
  fss_stack.n = 1;
  fss_stack.item[1] = {stack_kind_screen, 0.5e-3, 1.0, 0.0, 0};
  if (stack) {
    fss_stack.n = 3;
    fss_stack.item[1] = {stack_kind_layer, 0.8e-3, 3.0, 0.002, 0};
    fss_stack.item[2] = {stack_kind_screen, 0.5e-3, 2.1, 0.0004, 0};
    fss_stack.item[3] = {stack_kind_layer, 6e-3, 1.05, 0, 0};
  }
  const double a = 0.01;
  fss_cell_dim = {a, a, a, 1 / a};
  fss_lattice_angle.alpha = dpi(-1);
  fss_thickness = {0.5e-3, 0, 0};
  fss_screen = {2, 1, 60, 0};
  // A Floquet limit giving close to (but not over) 1000 modes.
  fss_kmax.flo = 2 * M_PI * fflo_ghz * 1e9 / dcspeed();
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  fss_ap.n = 1;
  fss_ap.r[1] = fss_ap_rec::range{};
  fss_ap.r[1].first = 1;
  fss_ap.r[1].last = 600;
  fss_coordinates.n = fss_normals.n = 600;
  for (int i = 1; i <= 600; ++i) {
    const double t = 2 * M_PI * i / 600;
    fss_coordinates[i] = {3e-3 * std::cos(t), 3e-3 * std::sin(t)};
    fss_normals[i] = {std::cos(t), std::sin(t)};
  }
  fss_modewg_index.n = 60;
  for (int j = 1; j <= 60; ++j) {
    fss_modewg_index[j] = j % 3 == 0 ? wg_tm : wg_te;
    fss_modewg_kappa[j] = 600 + 45 * j;
    fss_modewg_ap[j] = 1;
    fss_modewg_sc[j] = 1;
  }
  fss_samplewg.n = 60 * 600;
  for (int k = 1; k <= fss_samplewg.n; ++k) fss_samplewg[k] = 1e-3 * u(rng);
  const double f = 14e9, th = theta_deg * M_PI / 180;
  fss_em_var = {f, dcspeed() / f, dpi(1) * f / dcspeed(), 120 * dpi(0)};
  fss_inc_angle = {th, 0.3, fss_em_var.k0 * std::sin(th) * std::cos(0.3),
                   fss_em_var.k0 * std::sin(th) * std::sin(0.3)};
}

// The system of the point, its solution and the scattering coefficients.
void solve_point() {
  calc_mata();
  calc_vettb();
  solve_prob();
  calc_coefficients();
  benchmark::DoNotOptimize(fss_coefficients);
}

// An oblique point (incidence angle, Floquet limit in GHz): the limit shows
// how the time grows with the Floquet set.
void sweep_point(benchmark::State& state) {
  setup(static_cast<double>(state.range(0)), static_cast<double>(state.range(1)),
        state.range(2) != 0);
  for (auto _ : state) {
    update_modes_wg();
    genmodes_flo();
    calc_integrals();
    solve_point();
  }
  state.counters["floquet_modes"] = fss_modeflo_index.n;
  state.counters["waveguide_modes"] = fss_modewg_index.n;
  state.SetLabel(state.range(2) ? "in a stack" : "in air");
}

void sweep_point_direct(benchmark::State& state) {
  setup(30);
  for (auto _ : state) {
    update_modes_wg();
    genmodes_flo();
    straightforward_integrals();
    straightforward_mata();
    calc_vettb();
    solve_prob();
    calc_coefficients();
    benchmark::DoNotOptimize(fss_coefficients);
  }
}

// Normal incidence reuses the coupling integrals along the sweep.
void sweep_point_reusing_integrals(benchmark::State& state) {
  setup(0, 370, state.range(0) != 0);
  genmodes_flo();
  calc_integrals();
  for (auto _ : state) {
    update_modes_wg();
    genmodes_flo();
    solve_point();
  }
  state.counters["floquet_modes"] = fss_modeflo_index.n;
  state.SetLabel(state.range(0) ? "in a stack" : "in air");
}

// The stages of an oblique point, one at a time.
void stage(benchmark::State& state) {
  setup(30);
  update_modes_wg();
  genmodes_flo();
  calc_integrals();
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) {
    switch (which) {
      case 0: update_modes_wg(); genmodes_flo(); break;
      case 1: calc_integrals(); break;
      case 2: straightforward_integrals(); break;
      case 3: calc_mata(); break;
      case 4: straightforward_mata(); break;
      default: calc_mata(); calc_vettb(); solve_prob(); calc_coefficients(); break;
    }
    benchmark::DoNotOptimize(fss_integrals);
  }
  const char* names[] = {"modal update and Floquet set", "integrals (matrix products)",
                         "integrals (straightforward)", "system (matrix product)",
                         "system (straightforward)", "system, solution, coefficients"};
  state.SetLabel(names[which]);
}

// Several screens of the same aperture (60 modes on 300 contour points
// each), gaps of air between them (2 mm: every Floquet mode couples the
// screens; 20 mm: the low orders only): a sweep point against the one
// screen with the same catalogue per screen.
void setup_screens(int screens, double theta_deg, double gap_mm) {
  setup(theta_deg);
  fss_stack.n = 0;
  for (int k = 1; k <= screens; ++k) {
    if (k > 1) fss_stack.item[++fss_stack.n] = {stack_kind_layer, gap_mm * 1e-3, 1.0, 0.0, 0};
    fss_stack.item[++fss_stack.n] = {stack_kind_screen, 0.5e-3, 1.0, 0.0, 0};
  }
  fss_thickness = {0.5e-3, screens > 1 ? gap_mm * 1e-3 : 0, screens > 1 ? 0.5e-3 : 0};
  fss_screen = {max_screens, screens, 60, screens > 1 ? 60 : 0};
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1, 1);
  const int np = 300;
  fss_ap.n = screens;
  fss_ap.r.assign(screens + 1, fss_ap_rec::range{});
  fss_coordinates.n = fss_normals.n = screens * np;
  for (int k = 1; k <= screens; ++k) {
    fss_ap.r[k].first = (k - 1) * np + 1;
    fss_ap.r[k].last = k * np;
    fss_ap.r[k].screen = k;
    for (int i = 1; i <= np; ++i) {
      const double t = 2 * M_PI * i / np;
      fss_coordinates[(k - 1) * np + i] = {3e-3 * std::cos(t), 3e-3 * std::sin(t)};
      fss_normals[(k - 1) * np + i] = {std::cos(t), std::sin(t)};
    }
  }
  fss_modewg_index.n = fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = 60 * screens;
  for (int j = 1; j <= 60 * screens; ++j) {
    const int k = (j - 1) / 60 + 1, i = (j - 1) % 60 + 1;
    fss_modewg_index[j] = i % 3 == 0 ? wg_tm : wg_te;
    fss_modewg_kappa[j] = 600 + 45 * i;
    fss_modewg_ap[j] = k;
    fss_modewg_sc[j] = k;
  }
  fss_samplewg.n = 60 * screens * np;
  for (int k = 1; k <= fss_samplewg.n; ++k) fss_samplewg[k] = 1e-3 * u(rng);
}

// Screens (1, 2, 3) at an oblique point, and at normal incidence with the
// integrals reused; gap in mm.
void screens_point(benchmark::State& state) {
  setup_screens(static_cast<int>(state.range(0)), static_cast<double>(state.range(1)),
                static_cast<double>(state.range(2)));
  genmodes_flo();
  calc_integrals();
  const bool oblique = state.range(1) > 0;
  for (auto _ : state) {
    update_modes_wg();
    genmodes_flo();
    if (oblique) calc_integrals();
    solve_point();
  }
  state.counters["floquet_modes"] = fss_modeflo_index.n;
  state.counters["waveguide_modes"] = fss_modewg_index.n;
  state.SetLabel(std::string(oblique ? "oblique" : "normal incidence") + ", gaps of " +
                 std::to_string(state.range(2)) + " mm");
}

}  // namespace

BENCHMARK(screens_point)
    ->Args({1, 30, 2})->Args({2, 30, 2})->Args({3, 30, 2})->Args({2, 30, 20})->Args({3, 30, 20})
    ->Args({1, 0, 2})->Args({2, 0, 2})->Args({3, 0, 2})->Args({2, 0, 20})->Args({3, 0, 20})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sweep_point)
    ->Args({30, 370, 0})->Args({30, 250, 0})->Args({30, 150, 0})
    ->Args({30, 370, 1})->Args({30, 150, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sweep_point_direct)->Unit(benchmark::kMillisecond);
BENCHMARK(sweep_point_reusing_integrals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(stage)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
