// A structure file analysed in this process, as the program analyses it, with
// the specular coefficients of both waves kept at every sweep point.
#pragma once
#include <string>
#include <vector>

#include "records/results.hpp"

// Runs <base>.fss in the current folder (console output swallowed), the
// tables grown for limits table_ratio times a plain run's (see
// run_structure).
std::vector<fss_polar_rec> sweep_points(const std::string& base, double table_ratio = 1);

// The largest difference of the co-polarised reflection and transmission
// (both waves) between two runs of the same sweep.
double largest_rt_difference(const std::vector<fss_polar_rec>& a, const std::vector<fss_polar_rec>& b);
