#include "support/analytic_modes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/read_input.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/results.hpp"
#include "scattering/stack.hpp"
#include "support/command_line.hpp"

std::vector<rect_mode> rect_modes(const rect_aperture& ap, double kmax) {
  std::vector<rect_mode> te, tm;
  const int mmax = static_cast<int>(kmax * ap.w / M_PI) + 1;
  const int nmax = static_cast<int>(kmax * ap.h / M_PI) + 1;
  for (int m = 0; m <= mmax; ++m)
    for (int n = 0; n <= nmax; ++n) {
      const double kc = std::hypot(m * M_PI / ap.w, n * M_PI / ap.h);
      if (kc > kmax || (m == 0 && n == 0)) continue;
      te.push_back({2, m, n, kc});
      if (m > 0 && n > 0) tm.push_back({1, m, n, kc});
    }
  auto by_kc = [](const rect_mode& a, const rect_mode& b) { return a.kc < b.kc; };
  std::stable_sort(te.begin(), te.end(), by_kc);
  std::stable_sort(tm.begin(), tm.end(), by_kc);
  te.insert(te.end(), tm.begin(), tm.end());
  return te;
}

double rect_psi(const rect_aperture& ap, const rect_mode& md, double x, double y,
                double* dx, double* dy) {
  const double u = x - (ap.x0 - ap.w / 2), v = y - (ap.y0 - ap.h / 2);
  const double kx = md.m * M_PI / ap.w, ky = md.n * M_PI / ap.h;
  if (md.kind == 2) {
    const double eps = (md.m == 0 || md.n == 0) ? 2.0 : 4.0;
    const double nrm = std::sqrt(eps / (ap.w * ap.h));
    if (dx) *dx = -nrm * kx * std::sin(kx * u) * std::cos(ky * v);
    if (dy) *dy = -nrm * ky * std::cos(kx * u) * std::sin(ky * v);
    return nrm * std::cos(kx * u) * std::cos(ky * v);
  }
  const double nrm = 2 / std::sqrt(ap.w * ap.h);
  if (dx) *dx = nrm * kx * std::cos(kx * u) * std::sin(ky * v);
  if (dy) *dy = nrm * ky * std::sin(kx * u) * std::cos(ky * v);
  return nrm * std::sin(kx * u) * std::sin(ky * v);
}

std::vector<contour_point> rect_contour(const rect_aperture& ap) {
  const double xl = ap.x0 - ap.w / 2, yl = ap.y0 - ap.h / 2;
  const double corners[5][2] = {{xl, yl}, {xl + ap.w, yl}, {xl + ap.w, yl + ap.h},
                                {xl, yl + ap.h}, {xl, yl}};
  const double g = std::sqrt(0.6);
  const double gx[3] = {-g, 0, g}, gw[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
  std::vector<contour_point> pts;
  for (int s = 0; s < 4; ++s) {
    const double x1 = corners[s][0], y1 = corners[s][1];
    const double x2 = corners[s + 1][0], y2 = corners[s + 1][1];
    const double len = std::hypot(x2 - x1, y2 - y1);
    const double tx = (x2 - x1) / len, ty = (y2 - y1) / len;
    const double el = len / ap.elements;
    for (int e = 0; e < ap.elements; ++e) {
      const double c = (e + 0.5) * el;
      for (int q = 0; q < 3; ++q) {
        const double s_ = c + gx[q] * el / 2;
        pts.push_back({x1 + tx * s_, y1 + ty * s_, tx, ty, gw[q] * el / 2});
      }
    }
  }
  return pts;
}

void write_mode_files(const std::string& job, const rect_aperture& ap,
                      const std::vector<rect_mode>& modes) {
  const std::vector<contour_point> pts = rect_contour(ap);
  std::ofstream wgm(job + ".wgm"), crd(job + ".crd"), smp(job + ".smp");
  char buf[128];
  wgm << ' ' << modes.size() << '\n';
  for (const rect_mode& md : modes) {
    std::snprintf(buf, sizeof buf, " %.17g %d\n", md.kc, md.kind);
    wgm << buf;
  }
  crd << ' ' << pts.size() << '\n';
  for (const contour_point& p : pts) {
    // The outward normal is the tangent turned by -90 degrees.
    std::snprintf(buf, sizeof buf, " %.17g %.17g %.17g %.17g\n", p.x, p.y, p.ty, -p.tx);
    crd << buf;
  }
  smp << ' ' << modes.size() << ' ' << pts.size() << '\n';
  for (const rect_mode& md : modes)
    for (const contour_point& p : pts) {
      double dx, dy;
      const double psi = rect_psi(ap, md, p.x, p.y, &dx, &dy);
      // TE: the potential; TM: t.(dpsi/dy, -dpsi/dx) = -dpsi/dn.
      const double s = md.kind == 2 ? psi : p.tx * dy - p.ty * dx;
      std::snprintf(buf, sizeof buf, " %.17g\n", s * p.wgt);
      smp << buf;
    }
}

void run_chain(const std::string& base, const rect_aperture& ap,
               const std::vector<std::string>& options, int only_kind,
               void (*after_point)()) {
  set_command_line(base, options);
  fss_set_capacities();
  read_input_fss();
  fss_check_wgs();
  write_output();
  // In place of the mode solver: the analytic modes, through the readers.
  fss_screen.nsc = 1;
  fss_screen.nwg1 = fss_screen.nwg2 = 0;
  fss_ap.n = 1;
  // Filled apertures: the modes up to the limit's wavenumber in the filling.
  const stack_item* screen = stack_screen();
  const double kmax = fss_kmax.wg * std::sqrt(screen ? screen->eps : 1.0);
  std::vector<rect_mode> modes;
  for (const rect_mode& m : rect_modes(ap, kmax))
    if (only_kind == 0 || m.kind == only_kind) modes.push_back(m);
  write_mode_files(fss_file.name + "_tmp", ap, modes);
  readmodes_wg();
  read_coord();
  read_samples();
  fss_sweep(after_point);
}

std::vector<out_block> read_out_file(const std::string& name) {
  std::ifstream in(name);
  std::vector<out_block> blocks;
  std::string line;
  while (std::getline(in, line)) {
    int n;
    if (std::sscanf(line.c_str(), " Number of basis functions = %d", &n) == 1) {
      blocks.emplace_back();
      blocks.back().nwg = n;
    } else if (std::sscanf(line.c_str(), " Number of Floquet modes   = %d", &n) == 1) {
      blocks.back().nflo = n;
    } else if (!blocks.empty()) {
      out_row r;
      if (std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf %lf %lf %lf", &r.f,
                      &r.magTy, &r.phTy, &r.magTx, &r.phTx, &r.magRy, &r.phRy,
                      &r.magRx, &r.phRx) == 9)
        blocks.back().rows.push_back(r);
    }
  }
  return blocks;
}

std::string structure_text(double a_mm, double b_mm, double t_mm, double w_mm,
                           double h_mm, const std::string& incidence,
                           const std::string& sweep, double fwg_ghz,
                           double fflo_ghz, double skew_deg) {
  std::ostringstream s;
  s.precision(17);
  s << "test structure\nrectangular hole\n1) cell dimensions a b [mm]\n"
    << a_mm << " " << b_mm << "\n2) skew angle [deg]\n" << skew_deg
    << "\n3) metal thickness [mm]\n" << t_mm << "\n4) aperture boundary [mm]\n"
    << -w_mm / 2 << " " << -h_mm / 2 << " " << w_mm / 2 << " " << -h_mm / 2 << "\n"
    << w_mm / 2 << " " << -h_mm / 2 << " " << w_mm / 2 << " " << h_mm / 2 << "\n"
    << w_mm / 2 << " " << h_mm / 2 << " " << -w_mm / 2 << " " << h_mm / 2 << "\n"
    << -w_mm / 2 << " " << h_mm / 2 << " " << -w_mm / 2 << " " << -h_mm / 2 << "\n"
    << "5) incidence theta phi [deg]\n" << incidence
    << "\n6) frequency sweep start end step [GHz]\n" << sweep
    << "\n7) largest frequency of the aperture modes [GHz]\n" << fwg_ghz
    << "\n8) largest frequency of the Floquet modes [GHz]\n" << fflo_ghz << "\n";
  return s.str();
}
