// The system of the sweep point in force built and solved, as the sweep
// does, for comparisons of its factorisations.
#pragma once
#include <complex>
#include <vector>

// With the mirror halves from halves_order aperture modes on and the
// symmetric factorisation from symmetric_order on (both put back after):
// the solutions for the waves from the front and (from the same factors)
// from the far side, one after the other.
std::vector<std::complex<double>> both_sides_solution(int halves_order, int symmetric_order = 1000);

// The largest entry of a and the largest difference of b from it.
void size_and_gap(const std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& b,
                  double& size, double& gap);
