// Port integrals: for every mode of a formulation run, the integral of its
// transverse field along every declared port element (a straight side on a
// symmetry plane), written to "<J>.pin".  Nothing in the scattering
// analysis reads them; they describe the modes as circuit ports.
#include <cmath>
#include <fstream>
#include <string>

#include "contour/contour.hpp"
#include "modefields/mode_field.hpp"
#include "modefields/mode_files.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"

int port_integrals_first = 1;

namespace {

// Element (row) of each port.
int port_row[port_capacity + 1];

// The element's end points in the coordinates of the boundary file.
void file_ends(int row, double& x1, double& y1, double& x2, double& y2) {
  eends(row, x1, y1, x2, y2);
  x1 += translations.dx, x2 += translations.dx;
  y1 += translations.dy, y2 += translations.dy;
  if (translations.mirx) x1 = -x1, x2 = -x2;
  if (translations.miry) y1 = -y1, y2 = -y2;
}

bool near(double a, double b, double eps) { return std::fabs(a - b) <= eps; }

void match_ports() {
  const double eps = blok2[1][10];
  int matches = 0;
  for (int row = 2; row <= blok2.n; ++row) {
    if (label(row) < 1000) continue;
    double x1, y1, x2, y2;
    file_ends(row, x1, y1, x2, y2);
    for (int p = 1; p <= portcir.n; ++p) {
      const port_xy& q = portcirxy[p];
      bool same = near(x1, q.x1, eps) && near(y1, q.y1, eps) && near(x2, q.x2, eps) && near(y2, q.y2, eps);
      bool reversed = near(x1, q.x2, eps) && near(y1, q.y2, eps) && near(x2, q.x1, eps) && near(y2, q.y1, eps);
      if (same || reversed) {
        port_row[p] = row;
        ++matches;
      }
    }
  }
  if (matches != portcir.n)
    fatal("PORT_INTEGRALS", "Internal error in coding the ports of the circuit");
}

}  // namespace

void port_integrals(int imt) {
  if (portcir.n == 0) return;
  if (gauss_legendre_mr < 2) fatal("PORT_INTEGRALS", "quadrature rule not available");
  const xye_row& h = blok2[1];
  const int u = xye_unit_code();
  const double len = mode_file_scale(u), fmult = u >= 2 ? 1.0e9 : 1.0e6;
  const double lmax = 75000000.0 / std::fabs(h[1]) / std::sqrt(h[9]) / len / fmult;
  const std::string stem = mode_file_stem(), name = stem + ".pin";
  const int m = vet1.n, np = portcir.n;
  std::ofstream out;
  if (port_integrals_first) {
    match_ports();
    std::remove(name.c_str());
    out.open(name, std::ios::trunc);
    out << free_int(m) << free_int(np) << '\n';
    port_integrals_first = 0;
  } else {
    // Merge: the mode count of record 1 raised, the old values kept.
    std::ifstream in(name);
    std::string line, rest;
    std::getline(in, line);
    std::vector<std::string> items = free_items(line);
    int old = 0;
    if (items.size() < 2 || !parse_int(items[0], old)) fatal("PORT_INTEGRALS", "Error in reading file " + name);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    out.open(name, std::ios::trunc);
    out << free_int(old + m) << " " << items[1] << '\n' << body;
  }
  const double sym = sample_symmetry_factor();
  const int rule = 2;  // three points
  for (int k = 1; k <= m; ++k) {
    gmfield(k, -imt);
    for (int p = 1; p <= np; ++p) {
      const int row = port_row[p];
      const bool along_y = label(row) == 1100;
      double x1, y1, x2, y2;
      eends(row, x1, y1, x2, y2);
      const double el = elen(row);
      const int n = static_cast<int>(el / lmax) + 1;
      const double hseg = el / n;
      double x = std::fmin(x1, x2), y = std::fmin(y1, y2), sum = 0;
      for (int s = 0; s < n; ++s) {
        double seg = 0;
        for (int g = 1; g <= rule + 1; ++g) {
          const double t = gauss_legendre_xy[rule][g], w = gauss_legendre_ww[rule][g];
          const double off = (t + 1) * hseg / 2;
          double cx, cy;
          ctt(along_y ? x : x + off, along_y ? y + off : y, imt, vet1[k], cx, cy);
          double f = imt == 2 ? (along_y ? cx : cy) : (along_y ? -cy : cx);
          seg += f * w;
        }
        sum += seg * hseg / 2;
        (along_y ? y : x) += hseg;
      }
      out << free_double(sum * sym) << '\n';
    }
  }
  out.close();
  if (!out) fatal("PORT_INTEGRALS", "Error in writing file " + name);
}
