#include "support/sweep_points.hpp"

#include <algorithm>
#include <cmath>

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

double largest_rt_difference(const std::vector<fss_polar_rec>& a, const std::vector<fss_polar_rec>& b) {
  double worst = 0;
  for (std::size_t p = 0; p < a.size() && p < b.size(); ++p)
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        worst = std::max({worst, std::abs(b[p].t[i][j] - a[p].t[i][j]), std::abs(b[p].r[i][j] - a[p].r[i][j])});
  return worst;
}
