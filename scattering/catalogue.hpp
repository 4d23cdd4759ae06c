// Catalogue of the aperture waveguide modes, read back from the files of
// the mode solver.
#pragma once
#include <string>

// Builds the catalogue for the structure (one screen, one aperture).
void genmodes_wg();
// Codes the aperture of job name `name` and runs the mode solver on it,
// leaving the mode files "<name>.wgm", ".crd", ".smp" on disk.
void calc_mode_wg(const std::string& name, double fmax, int nsps, double accuracy);
// Readers of the mode list, the sample points and the samples of the
// aperture whose number stands in fss_ap; each file is deleted once read.
void readmodes_wg();
void read_coord();
void read_samples();
