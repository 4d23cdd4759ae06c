// Every piece of state that outlives a procedure call, and how it is put
// back.  Three kinds:
// - records: renewed in place (destroyed and constructed again, no copy on
//   the stack); the fixed tables of the analysis, too large to clear whole
//   (the coupling integrals alone hold 16 MB), have the entries of their
//   count cleared and their count and capacity set to 0: the capacities are
//   stored again by fss_set_capacities, and no table is read beyond its
//   count;
// - the run-time matrices of the mode solver: emptied (their memory given
//   back), their capacity words kept;
// - state kept inside the files that own it (first-call flags, the files
//   named for removal, the progress bar, the interruption state, the open
//   structure file, the remembered Bessel values): each file's own reset.
// Work arrays that every call fills before it reads them (the matrices of
// the purge and the eigenproblems, the sample and phase matrices of the
// coupling integrals, the system's products, the shape tables of the
// geometry checks) carry nothing from one call to the next, and the Bessel
// zeros of the circular guide are constants computed on first use: these
// are left as they are.
#include "run/reset.hpp"

#include <algorithm>
#include <new>
#include <vector>

#include "modefields/bessel.hpp"
#include "modesolver/fss_analyzew.hpp"
#include "modesolver/green_kernels.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "records/structure.hpp"
#include "run/converge.hpp"
#include "run/interrupt.hpp"
#include "run/messages.hpp"
#include "run/progress.hpp"
#include "run/read_input.hpp"
#include "run/runfiles.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"

namespace {

// A record constructed again where it stands.
template <class T>
void renew(T& r) {
  r.~T();
  new (&r) T();
}

// A table: the entries of its count cleared, count and capacity 0; the
// storage a convergence pass grew beyond a plain run's is given back.
template <class T, int CAP>
void clear_table(fss_table<T, CAP>& t) {
  if (t.storage() > CAP) {
    std::vector<T>(CAP + 1).swap(t.v);
  } else {
    const int n = std::clamp(t.n, 0, t.storage());
    std::fill(t.v.begin(), t.v.begin() + n + 1, T{});
  }
  t.n = 0;
  t.cap = 0;
}

// A table of the quadrature points: as at program start.
template <class T>
void clear_point_table(std::vector<T>& v) {
  std::vector<T>(xypts_capacity + 1).swap(v);
}

template <class T, std::size_t N>
void clear_array(T (&a)[N]) {
  std::fill(a, a + N, T{});
}

void reset_run_control() {
  renew(fss_file);
  renew(fss_source);
  renew(fss_writeinfo);
  renew(fss_output);
  renew(fss_aperture);
  renew(fss_cell_dim);
  renew(fss_lattice_angle);
  renew(fss_thickness);
  renew(fss_screen);
  renew(fss_stack);
  renew(fss_freq_iter);
  renew(fss_theta);
  renew(fss_phi);
  renew(fss_kmax);
  renew(fss_em_var);
  renew(fss_inc_angle);
  renew(fss_command_line);
  renew(converge_bounds);
  renew(errors);
  set_fatal_trap(false);
  set_listing_unit(nullptr);
  read_input_reset();
  runfiles_reset();  // the run-file names, the scratch and result files named
  interrupt_reset();
  progress_reset();
}

void reset_scattering() {
  release_sweep_storage();  // the work tables of the products and the far modes' matrices too
  clear_table(fss_modeflo_index);
  clear_table(fss_modeflo_kappa);
  clear_table(fss_modeflo_y);
  clear_table(fss_modeflo_stack);
  renew(fss_inc_mode);
  clear_table(fss_modewg_index);
  clear_table(fss_modewg_kappa);
  clear_table(fss_modewg_ap);
  clear_table(fss_modewg_sc);
  clear_table(fss_modewg_y);
  clear_table(fss_coordinates);
  clear_table(fss_normals);
  clear_table(fss_samplewg);
  renew(fss_ap);
  clear_table(fss_samplef);
  clear_table(fss_samplefm);
  clear_table(fss_vettsigma);
  clear_table(fss_integrals);
  delta_kappa = 0;
  renew(fss_stack_point);
  renew(fss_gap);
  clear_table(fss_vettb_far);
  renew(fss_blocks);
  clear_table(fss_mata);
  clear_table(fss_vettb);
  clear_table(fss_vett_i);
  renew(fss_coefficients);
  renew(fss_polar);
  renew(fss_order_power);
  renew(fss_plot);
  catalogue_reset();
}

void reset_contour_and_solver() {
  renew(blok2);
  renew(blok3);
  renew(elm);
  renew(portcir);
  clear_array(portcirxy);
  renew(translations);
  renew(element_margin);
  renew(xye_fault);
  clear_array(xye_origin);
  renew(apb_origin);
  renew(xypts);
  clear_point_table(xywgt);
  clear_point_table(xytan);
  clear_point_table(xycsi);
  clear_point_table(xytype);
  clear_point_table(ixyele);
  clear_array(matco);
  renew(dat);
  renew(freq);
  renew(amo);
  renew(fbo);
  renew(ltra);
  renew(ivet);
  renew(avet);
  renew(table);
  renew(vet2);
  renew(vet1);
  renew(cofw);
  renew(green_series);
  release_solver_matrices();
  // Counts, capacities (those of a plain run), the kernel-cache and
  // mode-file flags, nsps and the accuracy setting as before the first
  // aperture of a run.
  solver_scale = 1;
  prepare_solver_records(0, 0.0);
  renew(errors);
  bessel_forget();
}

}  // namespace

void fss_reset() {
  reset_run_control();
  reset_scattering();
  reset_contour_and_solver();
}
