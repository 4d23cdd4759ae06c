// Writers of the TEM samples and of the port integrals, which come with the
// TEM formulation: in this version no TEM mode is found, and the port file
// is not written.
#include "modefields/mode_files.hpp"
#include "records/modesolver_matrices.hpp"

int port_integrals_first = 1;

void fss_samples_pottem(int) {}
void port_integrals(int) {}
