// Area moments of the coded contour and a bound on the first cutoff of the
// aperture, for the run that finds no aperture mode below its limit.
#include <cmath>

#include "contour/contour.hpp"

namespace {

// Contributions of the directed segment (x1, y1) -> (x2, y2) to the area
// integrals of 1, x, y, x^2, y^2 and x y by Green's theorem.
void segment_terms(double x1, double y1, double x2, double y2, double m[6]) {
  const double c = x1 * y2 - x2 * y1;
  m[0] += c / 2;
  m[1] += (x1 + x2) * c / 6;
  m[2] += (y1 + y2) * c / 6;
  m[3] += (x1 * x1 + x1 * x2 + x2 * x2) * c / 12;
  m[4] += (y1 * y1 + y1 * y2 + y2 * y2) * c / 12;
  m[5] += (x1 * y2 + 2 * x1 * y1 + 2 * x2 * y2 + x2 * y1) * c / 24;
}

}  // namespace

void contour_moments(double& area, double& cx, double& cy, double& ixx, double& iyy,
                     double& ixy) {
  double m[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 2; i <= blok2.n; ++i) {
    if (!is_arc(i)) {
      double x1, y1, x2, y2;
      eends(i, x1, y1, x2, y2);
      segment_terms(x1, y1, x2, y2, m);
      continue;
    }
    // An arc as a fine polygon: its moments to about 1e-6.
    const xye_row& r = blok2[i];
    const int n = 64;
    for (int k = 0; k < n; ++k) {
      const double t1 = r[3] + (r[4] - r[3]) * k / n, t2 = r[3] + (r[4] - r[3]) * (k + 1) / n;
      segment_terms(r[1] + r[5] * std::cos(t1), r[2] + r[5] * std::sin(t1),
                    r[1] + r[5] * std::cos(t2), r[2] + r[5] * std::sin(t2), m);
    }
  }
  area = m[0];
  cx = area != 0 ? m[1] / area : 0;
  cy = area != 0 ? m[2] / area : 0;
  // Central second moments: integrals of (y - cy)^2, (x - cx)^2, (x - cx)(y - cy).
  ixx = m[4] - area * cy * cy;
  iyy = m[3] - area * cx * cx;
  ixy = m[5] - area * cx * cy;
}

double first_cutoff_bound() {
  double area, cx, cy, ixx, iyy, ixy;
  contour_moments(area, cx, cy, ixx, iyy, ixy);
  if (!(area > 0)) return 0;
  // The first TE cutoff kc1 is the least nonzero Neumann eigenvalue's root:
  // (1) the linear function along the principal axis of the largest second
  // moment I, orthogonal to the constants, bounds kc1^2 by area / I
  // (Rayleigh); (2) the disc of the same area has the largest kc1
  // (Szego-Weinberger), 1.8411838 / sqrt(area / pi).
  const double h = (ixx + iyy) / 2, d = std::hypot((ixx - iyy) / 2, ixy);
  const double rayleigh = std::sqrt(area / (h + d));
  return std::min(rayleigh, disc_cutoff_bound(area));
}

double disc_cutoff_bound(double area) { return 1.8411837813406593 * std::sqrt(M_PI / area); }
