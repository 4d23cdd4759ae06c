// Contour records, the packed words of the contour table and the navigation
// along the contour: point and tangent at an arc-length position, same-line
// neighbours of an element, circle through three points.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "contour/contour.hpp"

blok2_rec blok2;
blok3_rec blok3;
elm_rec elm;
portcir_rec portcir;
port_xy portcirxy[port_capacity + 1];
translations_rec translations;
element_margin_rec element_margin;
xye_fault_rec xye_fault;
int xye_origin[xye_bound + 1];
apb_origin_rec apb_origin;
fss_table<xy_point, xypts_capacity> xypts;
std::vector<double> xywgt(xypts_capacity + 1);
std::vector<xy_point> xytan(xypts_capacity + 1);
std::vector<double> xycsi(xypts_capacity + 1);
std::vector<int> xytype(xypts_capacity + 1);
std::vector<int> ixyele(xypts_capacity + 1);

void sample_point_capacity(int capacity) {
  xypts.set_capacity(capacity);
  const std::size_t n = static_cast<std::size_t>(xypts.storage()) + 1;
  xywgt.resize(n);
  xytan.resize(n);
  xycsi.resize(n);
  xytype.resize(n);
  ixyele.resize(n);
}
int nsps = 0;
matco_row matco[xye_bound + 1];

void contour_capacities() {
  blok2.cap = xye_capacity;
  blok2.n = 0;
  elm.cap = elm_capacity;
  elm.n = 0;
  portcir.cap = port_capacity;
  portcir.n = 0;
  xypts.cap = xypts_capacity;
  xypts.n = 0;
  translations = translations_rec{};
}

void get2i(double slot, int& a, int& b) {
  std::int32_t w[2];
  std::memcpy(w, &slot, sizeof slot);
  a = w[0];
  b = w[1];
}

double put2i(int a, int b) {
  std::int32_t w[2] = {a, b};
  double d;
  std::memcpy(&d, w, sizeof d);
  return d;
}

int lpred(int i) {
  int p, s;
  get2i(blok2[i][8], p, s);
  return std::abs(p);
}

int lsucc(int i) {
  int p, s;
  get2i(blok2[i][8], p, s);
  return std::abs(s);
}

void setpred(int i, int p) { blok2[i][8] = put2i(p, lsucc(i)); }
void setsucc(int i, int s) { blok2[i][8] = put2i(lpred(i), s); }

void labin(int iel, int lab, int i1, int i2) {
  unsigned char b[8];
  std::int32_t l = lab;
  std::int16_t c1 = static_cast<std::int16_t>(i1), c2 = static_cast<std::int16_t>(i2);
  std::memcpy(b, &l, 4);
  std::memcpy(b + 4, &c1, 2);
  std::memcpy(b + 6, &c2, 2);
  std::memcpy(&blok2[iel][9], b, 8);
}

void labout(int iel, int& lab, int& i1, int& i2) {
  unsigned char b[8];
  std::memcpy(b, &blok2[iel][9], 8);
  std::int32_t l;
  std::int16_t c1, c2;
  std::memcpy(&l, b, 4);
  std::memcpy(&c1, b + 4, 2);
  std::memcpy(&c2, b + 6, 2);
  lab = l;
  i1 = c1;
  i2 = c2;
}

int label(int iel) {
  int lab, i1, i2;
  labout(iel, lab, i1, i2);
  return lab;
}

int xye_unit_code() {
  std::int32_t w[2];
  std::memcpy(w, &blok2[1][11], 8);
  return w[0];
}

void xye_set_rows(int n) {
  blok2.n = n;
  int c, r;
  get2i(blok2[1][12], c, r);
  blok2[1][12] = put2i(c, n);
}

bool is_arc(int i) { return blok2[i][5] > 0; }

double elen(int i) { return blok2[i][7] - blok2[i][6]; }

void make_straight(int i, double x1, double y1, double x2, double y2) {
  xye_row& r = blok2[i];
  r[1] = x1;
  r[2] = y1;
  r[3] = x2;
  r[4] = y2;
  r[5] = 0;
}

void eends(int i, double& x1, double& y1, double& x2, double& y2) {
  const xye_row& r = blok2[i];
  if (r[5] > 0) {
    x1 = r[1] + r[5] * std::cos(r[3]);
    y1 = r[2] + r[5] * std::sin(r[3]);
    x2 = r[1] + r[5] * std::cos(r[4]);
    y2 = r[2] + r[5] * std::sin(r[4]);
  } else {
    x1 = r[1];
    y1 = r[2];
    x2 = r[3];
    y2 = r[4];
  }
}

double geom_len(int i) {
  const xye_row& r = blok2[i];
  if (r[5] > 0) return std::fabs(r[4] - r[3]) * r[5];
  return std::hypot(r[3] - r[1], r[4] - r[2]);
}

// A link outside the rows in use means a broken chain; walks stop there.
static bool row_ok(int i) { return i >= 2 && i <= blok2.n; }

void xlaxy(double& s, int& iel, double& x, double& y, double& tx, double& ty) {
  double L = blok2[1][5];
  if (s < 0) s += L;
  if (s > L) s -= L;
  if (!row_ok(iel)) iel = 2;
  // Each walk is bounded by the number of rows: a chain never has more.
  for (int k = 0; k < blok2.n && s < blok2[iel][6]; ++k) {
    int p = lpred(iel);
    if (!row_ok(p)) break;
    iel = p;
  }
  for (int k = 0; k < blok2.n && s > blok2[iel][7]; ++k) {
    int q = lsucc(iel);
    if (!row_ok(q)) break;
    iel = q;
  }
  const xye_row& r = blok2[iel];
  double xl = s - r[6];
  if (r[5] > 0) {
    double d = r[4] >= r[3] ? 1.0 : -1.0;
    double t = r[3] + d * xl / r[5];
    x = r[1] + r[5] * std::cos(t);
    y = r[2] + r[5] * std::sin(t);
    tx = -d * std::sin(t);
    ty = d * std::cos(t);
  } else {
    double len = std::hypot(r[3] - r[1], r[4] - r[2]);
    tx = len > 0 ? (r[3] - r[1]) / len : 0;
    ty = len > 0 ? (r[4] - r[2]) / len : 0;
    x = r[1] + tx * xl;
    y = r[2] + ty * xl;
  }
}

int elem_at(double s) {
  int iel = 2;
  double x, y, tx, ty;
  xlaxy(s, iel, x, y, tx, ty);
  return iel;
}

void elcont(int& ip, int iel, int& is) {
  int lab, i1, i2;
  labout(iel, lab, i1, i2);
  bool sym = lab >= 1000;
  ip = lpred(iel);
  for (int k = 0; k < blok2.n && row_ok(ip); ++k) {
    int l2, j1, j2;
    labout(ip, l2, j1, j2);
    if (sym || l2 == lab || (lab < 101 && l2 < 101) || (l2 >= 1000 && i1 == 9)) break;
    ip = lpred(ip);
  }
  is = lsucc(iel);
  for (int k = 0; k < blok2.n && row_ok(is); ++k) {
    int l2, j1, j2;
    labout(is, l2, j1, j2);
    if ((lab == 1100 && l2 == 1000) || (sym && j1 == 9) || l2 == lab ||
        (lab < 101 && l2 < 101) || (l2 >= 1000 && i2 == 9))
      break;
    is = lsucc(is);
  }
  if (!row_ok(ip)) ip = iel;
  if (!row_ok(is)) is = iel;
}

void circle3(double& x1, double& y1, double& x2, double& y2, double& x3,
             double& y3, int iflag) {
  double d12 = (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
  double d23 = (x2 - x3) * (x2 - x3) + (y2 - y3) * (y2 - y3);
  double d31 = (x3 - x1) * (x3 - x1) + (y3 - y1) * (y3 - y1);
  double a4 = 2.0 * ((y2 - y3) * (x1 - x3) - (y1 - y3) * (x2 - x3));
  double dm = std::fmax(d12, std::fmax(d23, d31));
  if (!(std::fabs(a4) >= dm / 10000.0) || dm == 0) {
    // Collinear: the straight segment from point 1 to point 3.
    x2 = x3;
    y2 = y3;
    x3 = 0;
    y3 = 0;
    return;
  }
  double x0 = x3 - ((y1 - y3) * d23 - (y2 - y3) * d31) / a4;
  double y0 = ((x1 - x3) * d23 - (x2 - x3) * d31) / a4 + y3;
  double r = std::sqrt(d12 * d23 * d31) / std::fabs(a4);
  double f1 = 0, f3 = 2.0 * M_PI;
  if (iflag != 0) {
    f1 = std::atan2(y1 - y0, x1 - x0);
    double f2 = std::atan2(y2 - y0, x2 - x0);
    f3 = std::atan2(y3 - y0, x3 - x0);
    if (f2 < f1) f2 += 2.0 * M_PI;
    if (f3 < f1) f3 += 2.0 * M_PI;
    // The middle point decides the sense of travel.
    if (iflag > 0 && f2 >= f3) f3 -= 2.0 * M_PI;
    if (iflag < 0 && f3 >= f2) f3 -= 2.0 * M_PI;
  }
  x1 = x0;
  y1 = y0;
  x2 = f1;
  y2 = f3;
  x3 = r;
  y3 = 0;
}
