#include "scattering/mode_limits.hpp"

#include <algorithm>
#include <cmath>

#include "contour/outline.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"

namespace {

double to_ghz(double k) { return k * dcspeed() / dpi(1) / 1e9; }

// The context line of block n of the structure file ("" without one).
std::string block_line(int n) {
  if (fss_source.datafile.empty() || fss_source.line[n] == 0) return "";
  return line_context(fss_source.datafile, fss_source.line[n], fss_source.text[n]);
}

std::string limit_text(int block, double k) {
  return "the limit of block " + std::to_string(block) + " (" + sformat("%.6g", to_ghz(k)) + " GHz)";
}

}  // namespace

std::string ghz_below(double ghz) {
  if (!(ghz > 0)) return "0";
  const double unit = std::pow(10.0, std::floor(std::log10(ghz)) - 3);
  return sformat("%.12g", std::floor(ghz / unit) * unit);
}

double weyl_mode_count(double area, double perimeter, double k, int inner) {
  const double pi = dpi(0);
  // Neumann (TE) without its constant function, Dirichlet (TM): the
  // perimeter terms cancel in the sum.
  const double te = area * k * k / (4 * pi) + perimeter * k / (4 * pi) - 1;
  const double tm = area * k * k / (4 * pi) - perimeter * k / (4 * pi);
  return std::max(0.0, te) + std::max(0.0, tm) + inner;
}

bool clearly_too_many(double estimate, int capacity) { return estimate > 1.05 * capacity + 5; }

void check_aperture_mode_estimate(const elm_row* el, int n, const char* routine) {
  double area = 0, perimeter = 0;
  int inner = 0;
  if (!outline_measures(el, n, area, perimeter, inner)) return;  // the coder says why
  const double a = area * 1e-6, p = perimeter * 1e-3;  // mm^2, mm -> m^2, m
  const double k = fss_kmax.wg;
  const int cap = fss_modewg_index.cap;
  const double estimate = weyl_mode_count(a, p, k, inner);
  if (!clearly_too_many(estimate, cap)) return;
  // The limit at which the estimate is nine tenths of the table.
  const double pi = dpi(0);
  const double kfit = std::sqrt(std::max(0.0, 0.9 * cap + 1 - inner) * 2 * pi / a);
  fatal(routine,
        "Too many waveguide modes: " + limit_text(7, k) + " asks for about " +
            std::to_string(static_cast<long>(std::lround(estimate))) +
            " aperture modes (an estimate from the aperture's area, " + sformat("%.4g", area) +
            " mm^2, and perimeter, " + sformat("%.4g", perimeter) + " mm) and the program holds " +
            std::to_string(cap) +
            "; a block 7 limit below about " + ghz_below(to_ghz(kfit)) + " GHz would fit",
        block_line(7));
}

void too_many_waveguide_modes(std::vector<double> kc, int tem, const char* routine) {
  const int cap = fss_modewg_index.cap;
  const int asked = static_cast<int>(kc.size()) + tem;
  std::sort(kc.begin(), kc.end());
  const int fit = cap - tem;  // TE and TM modes that fit beside the TEM modes
  std::string hint = "no block 7 limit holds its " + std::to_string(tem) + " TEM modes";
  if (fit >= 0 && fit < static_cast<int>(kc.size()))
    hint = "a block 7 limit below " + ghz_below(to_ghz(kc[fit])) + " GHz fits (the cutoff of mode " +
           std::to_string(cap + 1) + ")";
  fatal(routine,
        "Too many waveguide modes: " + limit_text(7, fss_kmax.wg) + " asks for " + std::to_string(asked) +
            " aperture modes and the program holds " + std::to_string(cap) + "; " + hint,
        block_line(7));
}

void too_many_floquet_modes() {
  const double a = fss_cell_dim.a, b = fss_cell_dim.b, kmax = fss_kmax.flo;
  // The window of harmonics of genmodes_flo, counted: the rectangle of
  // indices cut to the disc kt <= kmax.
  const int mmax = static_cast<int>(a * kmax / dpi(1)), nmax = static_cast<int>(b * kmax / dpi(1));
  const double dpi_a = dpi(1) / a, dpi_b = dpi(1) / b;
  const double dpi_a_tanalfa = dpi_a / std::tan(fss_lattice_angle.alpha);
  std::vector<double> kt;
  for (int m = -mmax; m <= mmax; ++m) {
    const double kx = m * dpi_a + fss_inc_angle.kx0;
    for (int n = -nmax; n <= nmax; ++n) {
      const double ky = (n * dpi_b - m * dpi_a_tanalfa) + fss_inc_angle.ky0;
      const double k = std::sqrt(ky * ky + kx * kx);
      if (k <= kmax) kt.push_back(k);
    }
  }
  std::sort(kt.begin(), kt.end());
  const int cap = fss_modeflo_index.cap, fit = cap / 2;  // two modes per harmonic
  const double deg = 180 / dpi(0), f = fss_em_var.f / 1e9;
  std::string hint;
  if (fit < static_cast<int>(kt.size())) {
    const double below = to_ghz(kt[fit]);
    hint = "; a block 8 limit below " + ghz_below(below) + " GHz fits there";
    if (below <= f) hint += ", but block 8 must reach the frequency of the point";
  }
  fatal("genmodes_flo",
        "Too many Floquet modes: " + limit_text(8, kmax) + " asks for " + std::to_string(2 * kt.size()) +
            " Floquet modes at " + sformat("%g", f) + " GHz, theta " +
            sformat("%g", fss_inc_angle.theta * deg) + " deg, phi " + sformat("%g", fss_inc_angle.phi * deg) +
            " deg, and the program holds " + std::to_string(cap) + hint,
        block_line(8));
}
