#include "support/sweep_points.hpp"

#include "scattering/polarisation.hpp"
#include "support/solver_run.hpp"

namespace {

std::vector<fss_polar_rec> points;
void keep_point() {
  calc_polarisations();
  points.push_back(fss_polar);
}

}  // namespace

std::vector<fss_polar_rec> sweep_points(const std::string& base, double table_ratio) {
  points.clear();
  run_structure(base, 0, 0, {}, keep_point, table_ratio);
  return points;
}
