#include "support/known_point.hpp"

#include <cmath>
#include <complex>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"

void known_geometry() {
  fss_set_capacities();
  fss_writeinfo = {};
  fss_file.name = "res";
  fss_cell_dim = {12.5e-3, 7.3e-3, 0, 0};
  fss_lattice_angle.alpha = std::atan(2.0);
  fss_thickness = {0, 0, 0};
}

void known_solution(double f_ghz) {
  fss_freq_iter = {10.5e9, 11e9, 0.5e9};
  fss_em_var = {f_ghz * 1e9, 0, 2 * M_PI * f_ghz * 1e9 / 2.998e8, 120 * M_PI};
  fss_inc_angle = {0, 0, 0, 0};
  fss_modewg_index.n = 1;
  fss_modeflo_index.n = 2;
  fss_modeflo_kappa[1] = fss_modeflo_kappa[2] = {0, 0, 0};
  fss_modeflo_y[1].y1 = fss_modeflo_y[2].y1 = 1 / fss_em_var.eta0;
  fss_inc_mode = {-1, -1, 1, 2};
  fss_integrals[1] = 1;
  fss_integrals[2] = 1;
  fss_vettb[1] = 1.5;                           // TEM-x wave: reflection 0.5
  fss_vettb[2] = std::complex<double>(0, 0.5);  // transmission 0.5 at 90 degrees
  fss_vettb[3] = 0.5;                           // TEM-y wave: reflection -0.5
  fss_vettb[4] = 0;                             // no transmission: the floor
}
