#include "run/driver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <cstdio>
#include <iostream>
#include <string>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/converge.hpp"
#include "run/messages.hpp"
#include "run/interrupt.hpp"
#include "run/options.hpp"
#include "run/progress.hpp"
#include "run/runfiles.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/floquet.hpp"
#include "scattering/geometry_picture.hpp"
#include "scattering/integrals.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"

int fss_main(int argc, char** argv) {
  fss_command_line.argc = argc;
  fss_command_line.argv = argv;
  command_line_structure();  // the help, the version and a refused command line end here
  fss_set_capacities();
  try {
    fss();
  } catch (const std::bad_alloc&) {
    // Reported as any other stop, the scratch files removed; the rows
    // written so far stay.  (A trap left on by the failed step would throw
    // the report instead.)
    set_fatal_trap(false);
    fatal("fss", out_of_memory_message);
  }
  std::cout.flush();
  return 0;
}

// A product of counts as a capacity word (32 bits).
static int bounded_product(long a, long b) {
  return static_cast<int>(std::min<long>(a * b, std::numeric_limits<int>::max()));
}

void fss_set_capacities() { fss_size_capacities(max_wg_modes, max_flo_modes, max_points); }

// Every table of the analysis from the two basic counts and the contour
// points; the couplings, the system and the samples take their storage as
// their counts are set, the others at once.
void fss_size_capacities(int nwg, int nflo, int npoints) {
  // "-fine" makes the boundary elements, and so the contour points, twice as
  // many.
  if (fss_writeinfo.fine) npoints *= 2;
  for (auto* t : {&fss_modewg_index, &fss_modewg_ap, &fss_modewg_sc}) t->set_capacity(nwg);
  fss_modewg_kappa.set_capacity(nwg);
  fss_modewg_y.set_capacity(nwg);
  fss_vettsigma.set_capacity(nwg);
  fss_modeflo_index.set_capacity(nflo);
  fss_modeflo_kappa.set_capacity(nflo);
  fss_modeflo_y.set_capacity(nflo);
  fss_modeflo_stack.set_capacity(nflo);
  fss_vettb_far.set_capacity(4 * nwg);
  fss_stack.cap = max_stack_items;
  fss_integrals.set_capacity(bounded_product(nflo, nwg), false);
  fss_mata.set_capacity(bounded_product(2 * nwg, 2 * nwg), false);
  fss_vettb.set_capacity(4 * nwg);
  fss_vett_i.set_capacity(4 * nwg);
  fss_samplewg.set_capacity(bounded_product(nwg, npoints), false);
  for (auto* t : {&fss_coordinates, &fss_normals}) t->set_capacity(npoints);
  fss_samplef.set_capacity(npoints);
  fss_samplefm.set_capacity(npoints);
  fss_ap.cap = max_apertures;
  fss_gap.cap = static_cast<long>(max_screens) * nflo;
  fss_blocks.cap = 16L * nwg * nwg;
}

static std::string box_line(const std::string& text) {
  int pad = 60 - static_cast<int>(text.size());
  int left = pad / 2;
  return "*" + std::string(left, ' ') + text + std::string(pad - left, ' ') + "*";
}

void fss_cover() {
  for (int i = 0; i < 24; ++i) std::cout << '\n';
  const std::string border(62, '*');
  const std::string empty = box_line("");
  console_line(border);
  console_line(empty);
  console_line("*          ANALYSIS OF FREQUENCY SELECTIVE SURFACES          *");
  console_line(box_line(std::string("version ") + fss_version));
  console_line(empty);
  console_line(box_line("mode matching of aperture waveguide modes"));
  console_line(box_line("and Floquet modes of the periodic cell;"));
  console_line(box_line("apertures of arbitrary shape, finite thickness"));
  console_line(empty);
  console_line(border);
  std::cout << '\n';
}

void fss_check_wgs() {
  if (!fss_writeinfo.wgs) return;
  // The fundamental mode of a guide of width a is made of two plane waves at
  // sin(theta) = c / (2 a f): below that frequency no real angle exists.
  double flimit = dcspeed() * 0.5 / fss_cell_dim.a;
  if (fss_freq_iter.start <= flimit) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g GHz", flimit / 1.0e9);
    fatal("fss", std::string("Waveguide-simulator mode (-wgs) needs every "
                             "frequency above c/(2a) = ") + buf);
  }
}

void fss() {
  run_clock_start();
  fss_cover();
  read_input_fss();
  // From here on the run has scratch files: an interruption removes them.
  note_scratch_files(fss_file.name);
  interrupt_install();
  interrupt_points(0, fss_sweep_points());
  if (fss_writeinfo.geometry) {
    // The picture of the structure alone, before anything is computed.
    interrupt_hold();
    write_geometry_picture();
    interrupt_release();
    remove_scratch_files();
    run_summary("", false);
    return;
  }
  fss_check_wgs();
  if (fss_writeinfo.converge) {
    const int passes = fss_converge();
    run_summary(std::to_string(passes) + (passes == 1 ? " pass" : " passes"));
    return;
  }
  fss_analysis();
  run_summary();
}

void fss_analysis(void (*after_point)()) {
  interrupt_hold();
  write_output();
  interrupt_release();
  console_line("... computing the basis functions");
  std::cout << '\n' << std::flush;
  genmodes_wg();
  write_catalogue_counts();
  if (fss_writeinfo.modes) write_mode_table();
  fss_sweep(after_point);
}

long fss_sweep_points() {
  fss_range_rec theta = fss_theta, phi = fss_phi;
  if (fss_writeinfo.wgs) theta = phi = {0, 0, 1};
  const double maxphix = phi.end + phi.step / 10;
  const double maxthetax = theta.end + theta.step / 10;
  const double maxfreqx = fss_freq_iter.end + fss_freq_iter.step / 10;
  return static_cast<long>((maxphix - phi.start) / phi.step + 1) *
         static_cast<long>((maxthetax - theta.start) / theta.step + 1) *
         static_cast<long>((maxfreqx - fss_freq_iter.start) / fss_freq_iter.step + 1);
}

int fss_trip_count(double start, double wend, double step) {
  double t = (wend - start + step) / step;
  if (!(t > 0)) return 0;
  return static_cast<int>(t);
}

int fss_sweep_frequencies() {
  const fss_range_rec& f = fss_freq_iter;
  return f.step > 0 ? fss_trip_count(f.start, f.end + f.step / 10, f.step) : 1;
}

void fss_set_sweep_point(double f, double theta, double phi) {
  fss_em_var.f = f;
  fss_em_var.lambda = dcspeed() / f;
  fss_em_var.k0 = dpi(1) / fss_em_var.lambda;
  fss_em_var.eta0 = dpi(0) * 120;
  fss_inc_angle.theta = theta;
  fss_inc_angle.phi = phi;
  if (fss_writeinfo.wgs) {
    fss_inc_angle.theta = std::asin(dcspeed() * 0.5 / fss_cell_dim.a / f);
    fss_inc_angle.phi = 0;
  }
  const double k0 = fss_em_var.k0;
  fss_inc_angle.kx0 = k0 * std::sin(fss_inc_angle.theta) * std::cos(fss_inc_angle.phi);
  fss_inc_angle.ky0 = k0 * std::sin(fss_inc_angle.theta) * std::sin(fss_inc_angle.phi);
}

bool fss_find_sweep_point(const std::function<bool(bool first)>& found) {
  fss_range_rec theta = fss_theta, phi = fss_phi;
  if (fss_writeinfo.wgs) theta = phi = {0, 0, 1};
  const fss_range_rec& f = fss_freq_iter;
  double iphi = phi.start;
  for (int ip = fss_trip_count(phi.start, phi.end + phi.step / 10, phi.step); ip > 0; --ip, iphi += phi.step) {
    double itheta = theta.start;
    for (int it = fss_trip_count(theta.start, theta.end + theta.step / 10, theta.step); it > 0;
         --it, itheta += theta.step) {
      double ifreq = f.start;
      bool first = true;
      for (int iff = fss_trip_count(f.start, f.end + f.step / 10, f.step); iff > 0; --iff, ifreq += f.step) {
        fss_set_sweep_point(ifreq, itheta, iphi);
        if (found(first)) return true;
        first = false;
      }
    }
  }
  return false;
}

void fss_sweep(void (*after_point)()) {
  console_line("... performing the frequency sweep");
  std::cout << "\n\n";
  progress_begin(fss_sweep_points(), fss_sweep_frequencies());

  if (fss_writeinfo.wgs) {
    fss_theta = {0, 0, 1};
    fss_phi = {0, 0, 1};
  }
  interrupt_hold();
  write_outputs_begin();
  interrupt_release();

  fss_find_sweep_point([after_point](bool first) {
    update_modes_wg();
    genmodes_flo();
    // At normal incidence the Floquet wavenumbers do not change with
    // frequency: the coupling integrals are computed once per direction
    // (a stage of the progress bar, kept apart from the points' pace).
    if (first || fss_inc_angle.theta > 1.0e-6) {
      const bool once = fss_inc_angle.theta <= 1.0e-6;
      if (once) progress_stage("the coupling integrals");
      calc_integrals();
      if (once) progress_stage_end();
    }
    calc_mata();
    calc_vettb();
    solve_prob();
    // The rows of the point are written whole: an interruption waits.
    interrupt_hold();
    calc_ref_tr();
    write_outputs_point();
    if (after_point) after_point();
    progress_point();
    interrupt_release();
    return false;
  });
  interrupt_hold();
  write_outputs_end();
  interrupt_release();
  progress_end();
}
