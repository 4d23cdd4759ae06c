// Tables of the regular kernel parts and the three-point weights.
//
// The regular remainder of every kernel is smooth, so its integral over a
// source element is done with three points per element (t = -d, 0, +d) and
// weights that are exact for the quadratic through them.  The kernel values
// between all the points (and the images of the sources in the symmetry
// planes) are computed once per aperture into matw, written to a binary
// cache file (raw doubles, column by column) and read back bit for bit by
// the later formulation runs of the same aperture.
#include "modesolver/green_tables.hpp"

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "contour/contour.hpp"
#include "modesolver/green_kernels.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

matw_rec matw(matw_capacity);
cofw_rec cofw;
int green_first = 1;
int greenv_first = 1;
int greenha_done[3] = {0, 0, 0};

namespace {

constexpr double pi = 3.141592653589793;

// Images of a source point: x -> -x (y selector) outer, y -> -y (x selector)
// inner; sign -1 for each mirror of an odd class.
struct image_set {
  int n = 0;
  int nx[5], ny[5];
  double sg[5];
};

image_set images() {
  image_set s;
  for (int nx = 1; nx <= 3; nx += 2) {
    if (nx == 3 && dat.symy == 0) break;
    for (int ny = 1; ny <= 3; ny += 2) {
      if (ny == 3 && dat.symx == 0) break;
      ++s.n;
      s.nx[s.n] = nx, s.ny[s.n] = ny;
      s.sg[s.n] = (nx == 3 && dat.symy == -1 ? -1 : 1) * (ny == 3 && dat.symx == -1 ? -1 : 1);
    }
  }
  return s;
}

bool circular() { return dat.b <= 0; }

// A quadrature point k of contour row ie, for image (nx, ny): kernel
// coordinates (corner-based x, y for the rectangle; rho, phi for the
// circle), the direction cosines of its polar frame and the element's unit
// chord direction, mirrored with the point.
struct kpoint {
  double u, v;    // x, y  or  rho, phi
  double cf, sf;  // cos, sin of the polar angle ((1, 0) at the centre)
  double tx, ty;  // unit chord direction
};

kpoint point(int ie, int k, int nx, int ny) {
  const double* m = matco[ie].v;
  double fx = 2 - nx, fy = 2 - ny;
  kpoint p;
  p.tx = fx * m[14], p.ty = fy * m[15];
  if (circular()) {
    p.u = m[5 + 2 * k];
    p.v = (2 - ny) * ((2 - nx) * m[6 + 2 * k] + (nx - 1) * pi / 2);
    bool centre = p.u / dat.a < 1.0e-6;
    p.cf = centre ? 1 : std::cos(p.v), p.sf = centre ? 0 : std::sin(p.v);
  } else {
    p.u = fx * m[2 * k - 1] + (dat.symy != 0 ? dat.a / 2 : 0);
    p.v = fy * m[2 * k] + (dat.symx != 0 ? dat.b / 2 : 0);
    p.cf = 1, p.sf = 0;
  }
  return p;
}

// Sizes the table for the regular functions and symmetry class in force.
bool size_table(const char* routine) {
  int nreg = fbo.nreg;
  if (!matw.shape(3 * nreg * images().n, 3 * nreg)) {
    dat.status = 1000;
    errors.code = 1000;
    errors.message = std::string(routine) + ": out of bound matrices";
    matw.nrow = matw.ncol = 0;
    return false;
  }
  return true;
}

void write_cache(const std::string& name) {
  std::remove(name.c_str());
  errno = 0;
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) fatal("green", file_fault("Cannot create the Green's function cache ", name));
  std::size_t n = static_cast<std::size_t>(matw.nrow) * matw.ncol;
  if (n > 0 && std::fwrite(&matw.v[1], sizeof(double), n, f) != n)
    fatal("green", file_fault("Cannot write the Green's function cache ", name));
  std::fclose(f);
}

void read_cache(const std::string& name) {
  errno = 0;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) fatal("green", file_fault("Cannot open the Green's function cache ", name));
  std::size_t n = static_cast<std::size_t>(matw.nrow) * matw.ncol;
  if (n > 0 && std::fread(&matw.v[1], sizeof(double), n, f) != n)
    fatal("green", "Green's function cache too short: " + name);
  std::fclose(f);
}

// Runs fill() on the first use, else rereads; the flag is updated.
template <class F>
void table(int& todo, int file, const char* routine, F fill) {
  if (!size_table(routine)) return;
  const std::string& name = run_files.ftmp[file];
  if (todo) {
    fill();
    write_cache(name);
    todo = 0;
  } else {
    read_cache(name);
  }
}

// Visits every (column point, row point and image) pair of the table.
template <class F>
void each_pair(bool middle_only, bool lower_only, F entry) {
  int nreg = fbo.nreg;
  image_set im = images();
  for (int fj = 1; fj <= nreg; ++fj)
    for (int jk = middle_only ? 2 : 1; jk <= (middle_only ? 2 : 3); ++jk) {
      int col = jk + 3 * (fj - 1);
      kpoint obs = point(fbo[fj].i, jk, 1, 1);
      for (int img = 1; img <= im.n; ++img)
        for (int fi = 1; fi <= nreg; ++fi)
          for (int ik = 1; ik <= 3; ++ik) {
            int row = ik + 3 * (fi - 1) + 3 * nreg * (img - 1);
            if (lower_only && row < col) continue;
            matw(row, col) = entry(obs, point(fbo[fi].i, ik, im.nx[img], im.ny[img]));
          }
    }
}

void clear_table() {
  std::fill(matw.v.begin(), matw.v.begin() + 1 + static_cast<long>(matw.nrow) * matw.ncol, 0.0);
}

}  // namespace

void gcof(int ind) {
  double d = dat.offset;
  cofw.ind = ind;
  if (cofw.w.size() < static_cast<std::size_t>(fbo.nfb) + 1) cofw.w.resize(static_cast<std::size_t>(fbo.nfb) + 1);
  for (int f = 1; f <= fbo.nfb; ++f) {
    int rows[4] = {0, fbo[f].iip, fbo[f].i, fbo[f].iis};
    for (int s = 1; s <= 3; ++s) {
      double* w = cofw.w[f][s].data();
      w[1] = w[2] = w[3] = 0;
      if (rows[s] == 0) continue;
      double p = fbo[f].c[3 * s - 2], q = fbo[f].c[3 * s - 1], r = fbo[f].c[3 * s];
      if (ind == 1) {
        w[1] = ((q / 2) / d - p) / 12 / d;
        w[2] = (d - (1.0 / 12) / d) * q / d;
        w[3] = ((q / 2) / d + p) / 12 / d;
      } else {
        double len = elen(rows[s]);
        double e = (r / 24 + p / 160) / (d * d);
        w[1] = (e - (q / 24) / d) * len;
        w[2] = (p / 12 - 2 * e + r) * len;
        w[3] = ((q / 24) / d + e) * len;
      }
    }
  }
}

double cof(int k, int ifb, int i) { return cofw.w[ifb][i][k]; }

double pcont(int je, int j, int ie, int ifb, int i, const matw_rec& table) {
  int fe = static_cast<int>(matco[ie].v[16]), fj = static_cast<int>(matco[je].v[16]);
  int col = j + 3 * (fj - 1), nreg = fbo.nreg;
  image_set im = images();
  double sum = 0;
  for (int img = 1; img <= im.n; ++img) {
    int base = 3 * (fe - 1) + 3 * nreg * (img - 1);
    double s = 0;
    for (int k = 1; k <= 3; ++k) s += cof(k, ifb, i) * table(base + k, col);
    sum += im.sg[img] * s;
  }
  return sum;
}

void green(int imt) {
  table(green_first, 1, "GREEN", [] {
    clear_table();
    each_pair(false, true, [](const kpoint& o, const kpoint& s) {
      if (circular()) return greenc(o.u, o.v, s.u, s.v, dat.a, -7, dat.status);
      return greenr(o.u, o.v, s.u, s.v, dat.a, dat.b, -7, dat.status);
    });
    // The scalar kernel is symmetric: mirror the direct image's lower triangle.
    for (int c = 1; c <= matw.ncol; ++c)
      for (int r = c + 1; r <= matw.ncol; ++r) matw(c, r) = matw(r, c);
  });
}

void greenv(int imt) {
  table(greenv_first, 2, "GREENV", [] {
    clear_table();
    each_pair(false, false, [](const kpoint& o, const kpoint& s) {
      double e11, e12, e21, e22;
      if (circular()) {
        eic(o.u, o.v, s.u, s.v, dat.a, e11, e12, e21, e22, -7, dat.status);
        // Polar components: field frame on the left, source frame on the right.
        double ar = o.tx * o.cf + o.ty * o.sf, ap = -o.tx * o.sf + o.ty * o.cf;
        double br = s.tx * s.cf + s.ty * s.sf, bp = -s.tx * s.sf + s.ty * s.cf;
        return ar * (e11 * br + e12 * bp) + ap * (e21 * br + e22 * bp);
      }
      eir(o.u, o.v, s.u, s.v, dat.a, dat.b, e11, e12, e21, e22, -7, dat.status);
      return o.tx * (e11 * s.tx + e12 * s.ty) + o.ty * (e21 * s.tx + e22 * s.ty);
    });
  });
}

void greenha(int imt) {
  int k = imt == 1 ? 1 : 2;
  int todo = greenha_done[k] ? 0 : 1;
  table(todo, imt == 1 ? 3 : 4, "GREENHA", [imt] {
    clear_table();
    each_pair(true, false, [imt](const kpoint& o, const kpoint& s) {
      double h1, h2, hx, hy;
      if (imt == 1) {  // source derivative: on the source element's mirrored chord
        if (circular()) {
          hic(o.u, o.v, s.u, s.v, dat.a, h1, h2, -7, dat.status);
          hx = h1 * s.cf - h2 * s.sf, hy = h1 * s.sf + h2 * s.cf;  // source frame
        } else {
          hir(o.u, o.v, s.u, s.v, dat.a, dat.b, hx, hy, -7, dat.status);
        }
        return hx * s.tx + hy * s.ty;
      }
      // field derivative: on the field element's chord
      if (circular()) {
        htc(o.u, o.v, s.u, s.v, dat.a, h1, h2, -7, dat.status);
        hx = h1 * o.cf - h2 * o.sf, hy = h1 * o.sf + h2 * o.cf;  // field frame
      } else {
        htr(o.u, o.v, s.u, s.v, dat.a, dat.b, hx, hy, -7, dat.status);
      }
      return hx * o.tx + hy * o.ty;
    });
  });
  greenha_done[k] = todo ? 0 : 1;
}
