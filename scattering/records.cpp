// The single instances of the scattering records (static storage).
#include "records/scattering.hpp"

fss_table<flo_index, max_flo_modes> fss_modeflo_index;
fss_table<flo_kappa, max_flo_modes> fss_modeflo_kappa;
fss_table<admittance, max_flo_modes> fss_modeflo_y;
fss_inc_mode_rec fss_inc_mode;

fss_table<int, max_wg_modes> fss_modewg_index;
fss_table<double, max_wg_modes> fss_modewg_kappa;
fss_table<int, max_wg_modes> fss_modewg_ap;
fss_table<int, max_wg_modes> fss_modewg_sc;
fss_table<admittance, max_wg_modes> fss_modewg_y;
fss_table<xy, max_points> fss_coordinates;
fss_table<xy, max_points> fss_normals;
fss_table<double, max_samples> fss_samplewg;
fss_ap_rec fss_ap;

fss_table<floquet_sample, max_points> fss_samplef;
fss_table<cplx, max_points> fss_samplefm;
fss_table<cplx, max_wg_modes> fss_vettsigma;
fss_table<cplx, max_integrals> fss_integrals;
double delta_kappa = 0;

fss_table<flo_stack, max_flo_modes> fss_modeflo_stack;
fss_stack_point_rec fss_stack_point;
fss_gap_rec fss_gap;
fss_table<cplx, max_vettb> fss_vettb_far;

fss_blocks_rec fss_blocks;
fss_table<cplx, max_mata> fss_mata;
fss_table<cplx, max_vettb> fss_vettb;
fss_table<int, max_vettb> fss_vett_i;
