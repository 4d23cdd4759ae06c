#include "support/contour_table.hpp"

#include <cstring>

#include "contour/contour.hpp"

void start_xye_table(double a, double b, int isx, int isy, double eps) {
  contour_capacities();
  for (int i = 1; i <= blok2.cap; ++i)
    for (int k = 1; k <= 12; ++k) blok2[i][k] = 0;
  xye_row& h = blok2[1];
  h[1] = -10;
  h[4] = static_cast<double>(0.3f);
  h[6] = a;
  h[7] = b;
  h[8] = put2i(isx, isy);
  h[9] = 1;
  h[10] = eps;
  int unit[2] = {3, 0};
  std::memcpy(&h[11], unit, 8);
}

void put_xye_element(int n, double x1, double y1, double x2, double y2, double x3,
                     double y3) {
  xye_row& r = blok2[n];
  r[1] = x1;
  r[2] = y1;
  r[3] = x2;
  r[4] = y2;
  r[5] = x3;
  r[6] = y3;
}

int code_xye_table(int n) {
  blok2[1][12] = put2i(blok2.cap, n);
  blok2.n = n;
  int ier = 0;
  code_xye(nullptr, ier);
  return ier;
}
