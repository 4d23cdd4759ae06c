// Point sets on the segmented contour: Gauss-Legendre quadrature points with
// weights, tangents and local abscissae for the contour integrals of the
// mode fields, and three collocation points per boundary element for the
// eigenmode solver.
#include <cmath>

#include "contour/contour.hpp"
#include "records/modesolver.hpp"
#include "run/messages.hpp"

namespace {
// The tables hold the rules to single precision.
constexpr double sp(double x) { return static_cast<double>(static_cast<float>(x)); }
}  // namespace

const int gauss_legendre_mr = 4;

// Row r: the r + 1 nodes of the (r + 1)-point rule on [-1, 1], ascending.
const double gauss_legendre_xy[8][9] = {
    {},
    {0, sp(-0.57735026918962576), sp(0.57735026918962576)},
    {0, sp(-0.77459666924148338), 0.0, sp(0.77459666924148338)},
    {0, sp(-0.86113631159405258), sp(-0.33998104358485626), sp(0.33998104358485626),
     sp(0.86113631159405258)},
    {0, sp(-0.90617984593866399), sp(-0.53846931010568309), 0.0, sp(0.53846931010568309),
     sp(0.90617984593866399)},
    {}, {}, {}};

const double gauss_legendre_ww[8][9] = {
    {},
    {0, 1.0, 1.0},
    {0, sp(5.0 / 9.0), sp(8.0 / 9.0), sp(5.0 / 9.0)},
    {0, sp(0.34785484513745386), sp(0.65214515486254614), sp(0.65214515486254614),
     sp(0.34785484513745386)},
    {0, sp(0.23692688505618909), sp(0.47862867049936647), sp(128.0 / 225.0),
     sp(0.47862867049936647), sp(0.23692688505618909)},
    {}, {}, {}};

namespace {

// Longest piece of an element that one rule covers: a sixteenth of the
// wavelength at the largest frequency of the header, in the filling.
double piece_length() {
  const xye_row& h = blok2[1];
  double fmax = std::fabs(h[1]);
  int code = xye_unit_code();
  double unit = static_cast<double>(std::pow(10.0f, static_cast<float>(-code)));
  double fun = (code == 2 || code == 3) ? 1000000000.0 : 1000000.0;
  return 75000000.0 / fmax / std::sqrt(h[9]) / unit / fun;
}

int rule_of(int npts) {
  int nrule = npts - 1;
  return nrule < 1 ? 1 : nrule > gauss_legendre_mr ? gauss_legendre_mr : nrule;
}

}  // namespace

long samplecoord_count(int npts) {
  const int nrule = rule_of(npts);
  const double lmax = piece_length();
  long np = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    if (label(i) >= 1000) continue;
    double q = elen(i) / lmax;
    if (!(q < 1e9)) return 1000000000L;
    np += (static_cast<long>(q) + 1) * (nrule + 1);
  }
  return np;
}

void samplecoord(int npts) {
  int nrule = npts - 1;
  if (nrule < 1 || nrule > gauss_legendre_mr) {
    console_line("The required" + free_int(npts) + "-points quadrature rule is not available.");
    nrule = rule_of(npts);
    console_line("     It has been set to" + free_int(nrule + 1) + "-points");
  }
  const xye_row& h = blok2[1];
  double eps = h[10];
  double lmax = piece_length();
  int cap = xypts.cap > 0 && xypts.cap <= xypts.storage() ? xypts.cap : xypts.storage();
  int np = 0;
  xypts.n = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    int lab = label(i);
    // Arcs remain only on the wall of a circular enclosure.
    if (blok2[i][5] > eps && lab != 0) fatal("SAMPLECOORD", "The contour is not segmented");
    if (lab >= 1000) continue;
    double alen = elen(i);
    double q = alen / lmax;
    if (!(q < cap)) fatal("SAMPLECOORD", "Too many sample points");
    int nseg = static_cast<int>(q) + 1;
    double dl = alen / nseg, s0 = blok2[i][6];
    for (int k = 1; k <= nseg; ++k, s0 += dl) {
      for (int j = 1; j <= nrule + 1; ++j) {
        if (++np > cap) fatal("SAMPLECOORD", "Too many sample points");
        double s = s0 + (gauss_legendre_xy[nrule][j] + 1) / 2 * dl;
        int iel = i;
        double x, y, tx, ty;
        xlaxy(s, iel, x, y, tx, ty);
        xypts[np] = {x, y};
        xytan[np] = {tx, ty};
        xycsi[np] = (s - blok2[i][6]) / alen - 0.5;
        xywgt[np] = gauss_legendre_ww[nrule][j] * dl / 2;
        xytype[np] = lab;
        ixyele[np] = i;
        xypts.n = np;
      }
    }
  }
}

void gcoord(int iflag) {
  double q = dat.offset;
  for (int i = 2; i <= blok2.n; ++i) {
    double* m = matco[i].v;
    for (int k = 1; k <= 16; ++k) m[k] = 0;
    const xye_row& r = blok2[i];
    double x1 = r[1], y1 = r[2], x2 = r[3], y2 = r[4];
    double xm = (x1 + x2) / 2, ym = (y1 + y2) / 2;
    for (int k = 1; k <= 3; ++k) {
      double x = xm + (k - 2) * q * (x2 - x1), y = ym + (k - 2) * q * (y2 - y1);
      m[2 * k - 1] = x;
      m[2 * k] = y;
      if (dat.b <= 0) {
        double rr = std::hypot(x, y);
        m[5 + 2 * k] = rr;
        m[6 + 2 * k] = rr / dat.a <= 0.000001 ? 0.0 : std::atan2(y, x);
      }
    }
    double len = elen(i);
    m[13] = len;
    if (len > 0) {
      m[14] = (x2 - x1) / len;
      m[15] = (y2 - y1) / len;
    }
  }
}
