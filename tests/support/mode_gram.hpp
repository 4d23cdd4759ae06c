// Gram matrices of the axial and transverse functions of a list of guide
// modes, accumulated point by point over a quadrature of the cross-section
// and checked against the identity (orthonormal modes).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "records/modesolver.hpp"

struct mode_gram {
  int nm = 0;
  std::vector<double> axial, transverse;  // nm x nm, row by row
};

inline mode_gram empty_gram(int nm) {
  return {nm, std::vector<double>(nm * nm, 0), std::vector<double>(nm * nm, 0)};
}

// Adds a quadrature point of weight w: the axial values pa of the modes and
// the two components pu, pv of their transverse functions in any
// orthonormal frame (Cartesian or polar).
inline void add_gram_point(mode_gram& g, double w, const std::vector<double>& pa,
                           const std::vector<double>& pu, const std::vector<double>& pv) {
  const int nm = g.nm;
  for (int k = 0; k < nm; ++k) {
    for (int l = 0; l < nm; ++l) {
      g.axial[k * nm + l] += w * pa[k] * pa[l];
      g.transverse[k * nm + l] += w * (pu[k] * pu[l] + pv[k] * pv[l]);
    }
  }
}

// Both matrices equal the identity entry by entry (the failing mode pair is
// named by its indices); prints the worst deviation.
inline void expect_identity(const mode_gram& g, const std::vector<amo_entry>& md) {
  const int nm = g.nm;
  double worst = 0;
  for (int k = 0; k < nm; ++k) {
    for (int l = 0; l < nm; ++l) {
      double want = k == l ? 1.0 : 0.0;
      double ga = g.axial[k * nm + l], gt = g.transverse[k * nm + l];
      worst = std::max({worst, std::abs(ga - want), std::abs(gt - want)});
      EXPECT_NEAR(ga, want, 1e-11) << "axial (" << md[k].i1 << "," << md[k].i2 << ") ("
                                   << md[l].i1 << "," << md[l].i2 << ")";
      EXPECT_NEAR(gt, want, 1e-11) << "transverse (" << md[k].i1 << "," << md[k].i2 << ") ("
                                   << md[l].i1 << "," << md[l].i2 << ")";
    }
  }
  std::printf(" worst deviation of the Gram matrices from identity: %.2e\n", worst);
}
