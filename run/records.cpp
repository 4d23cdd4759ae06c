// The single instances of the run-control and solver-description records.
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "records/structure.hpp"

fss_file_rec fss_file;
fss_source_rec fss_source;
fss_writeinfo_rec fss_writeinfo;
fss_output_rec fss_output;
fss_aperture_rec fss_aperture;
fss_cell_dim_rec fss_cell_dim;
fss_lattice_angle_rec fss_lattice_angle;
fss_thickness_rec fss_thickness;
fss_screen_rec fss_screen;
fss_stack_rec fss_stack;
fss_range_rec fss_freq_iter, fss_theta, fss_phi;
fss_kmax_rec fss_kmax;
fss_em_var_rec fss_em_var;
fss_inc_angle_rec fss_inc_angle;
fss_command_line_rec fss_command_line;

dat_rec dat;
std::vector<mode_class> mode_file_classes;
freq_rec freq;
