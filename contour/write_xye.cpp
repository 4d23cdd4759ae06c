// Filling of the contour table from a list of boundary elements, followed by
// coding, segmentation and the fitting of the enclosing guide.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "contour/contour.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

void write_xye(const std::string& name, double a, double b, double height,
               const std::string& eh, int isx, int isy, double eps,
               double scale, double dcn, double fmax, double acflag,
               double csflag, int nel, const elm_row* el, int nport,
               const int* ports, int& ier) {
  ier = 0;
  if (blok2.cap > xye_bound || blok2.cap <= 0) blok2.cap = xye_capacity;
  for (int i = 1; i <= blok2.cap; ++i)
    for (int k = 1; k <= 12; ++k) blok2[i][k] = 0;
  if (nel + 1 > blok2.cap) {
    ier = errors.code = 1;
    errors.message = "CODE_XYE: insufficient dimensioning of the array XYE";
    return;
  }

  // Header: frequency in MHz for metres and decimetres, GHz for centimetres
  // and millimetres; negative until the contour is segmented.
  xye_row& h = blok2[1];
  auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-9 * y; };
  if (near(scale, 1.0) || near(scale, 0.1)) h[1] = -std::fabs(fmax / 1000000.0);
  else if (near(scale, 0.01) || near(scale, 0.001)) h[1] = -std::fabs(fmax / 1000000000.0);
  char c = eh.empty() ? ' ' : eh[0];
  h[2] = (c == 'H' || c == 'h') ? height : (c == 'E' || c == 'e') ? -height : 0.0;
  h[3] = acflag;
  h[4] = csflag;
  h[6] = a;
  h[7] = b;
  h[8] = put2i(isx, isy);
  h[9] = dcn;
  h[10] = eps;
  double lg = -std::log10(scale);
  int unit = static_cast<int>(lg < 0 ? std::ceil(lg - 0.5) : std::floor(lg + 0.5));
  unsigned char w[8] = {0, 0, 0, 0, 0, 'Y', 0, 0};
  std::memcpy(w, &unit, 4);
  std::memcpy(&h[11], w, 8);
  h[12] = put2i(blok2.cap, nel + 1);
  blok2.n = nel + 1;
  for (int i = 1; i <= nel; ++i) {
    xye_row& r = blok2[i + 1];
    r[1] = el[i].x1;
    r[2] = el[i].y1;
    r[3] = el[i].x2;
    r[4] = el[i].y2;
    r[5] = el[i].x3;
    r[6] = el[i].y3;
    xye_origin[i + 1] = i;
  }

  // Elements that cannot bound an aperture are refused before the coding,
  // lines that do not nest as an aperture's lines after it.
  xyshape(ier);
  if (ier) return;
  code_xye(ports, ier);
  if (ier) return;
  xylines(ier);
  if (ier) return;

  ier = 1;
  autoseg(ier);
  if (ier == 101) fatal("WRITE_XYE", "too many elements after segmentation", apb_origin.limit);
  if (ier) return;

  // The enclosure is fitted to the segmented contour, whose polygons need
  // not reach as far as the arcs they replace: a polygon side can come to
  // lie on the wall and leave the sides next to it alone between wall
  // elements, so the lone-element rule of the segmentation is applied again
  // to the new labels.
  fit_enclosure();
  seglone(ier);
  if (ier == 101) fatal("WRITE_XYE", "too many elements after segmentation", apb_origin.limit);
  if (ier) return;

  enlarge_bc(ier);
  if (ier) return;

  // An empty file marks a coded contour; the mode solver removes it.
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) {
    ier = errors.code = 100;
    errors.message = "WRITE_XYE: error in writing data to the output file.";
    return;
  }
  std::fclose(f);
}
