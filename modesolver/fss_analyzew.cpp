#include "modesolver/fss_analyzew.hpp"

#include "records/run.hpp"

// The boundary-integral formulations that compute the modes are not part
// of the program yet: the run is refused with a clear message instead of
// producing a result from modes that were never computed.
void fss_analyzew(std::string& filename, int iopmod, int& ierr) {
  (void)filename;
  (void)iopmod;
  ierr = 0;
  errors.code = 2099;
  errors.message =
      "The waveguide mode solver is not available in this version: the "
      "aperture modes cannot be computed yet";
}
