#include "support/system_solution.hpp"

#include <algorithm>
#include <cmath>

#include "records/scattering.hpp"
#include "scattering/system.hpp"

using cplx = std::complex<double>;

std::vector<cplx> both_sides_solution(int halves_order, int symmetric_order) {
  mirror_halves_order = halves_order;
  symmetric_solve_modes = symmetric_order;
  calc_mata();
  calc_vettb();
  solve_prob();
  solve_far_side();
  std::vector<cplx> x(fss_vettb.data1(), fss_vettb.data1() + fss_vettb.n);
  x.insert(x.end(), fss_vettb_far.data1(), fss_vettb_far.data1() + fss_vettb_far.n);
  mirror_halves_order = max_wg_modes + 1;
  symmetric_solve_modes = max_wg_modes + 1;
  return x;
}

void size_and_gap(const std::vector<cplx>& a, const std::vector<cplx>& b, double& size, double& gap) {
  size = gap = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    size = std::max(size, std::abs(a[k]));
    gap = std::max(gap, std::abs(a[k] - b[k]));
  }
}
