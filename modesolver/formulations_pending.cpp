// Entry point of the TEM formulation, which is not part of this version: it
// finds no mode, and says so once per run on the listing, so that no result
// is taken for complete when it lacks these modes.
#include "modesolver/formulations.hpp"

#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "run/messages.hpp"

namespace {
void no_modes(const char* what) {
  static bool t = false;
  if (!t)
    listing_line(std::string("WARNING: ") + what +
                 " modes of the aperture are not computed in this version");
  t = true;
  vet1.n = 0;
  mata.ncol = 0;
  dat.status = 0;
}
}  // namespace

void fss_guidatem(int) { no_modes("TEM"); }
