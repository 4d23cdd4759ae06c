#include "scattering/mode_limits.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "contour/outline.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/floquet.hpp"
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

namespace {

// Total area (mm^2), perimeter (mm) and inner lines of the apertures; false
// when an outline does not close (the coder says why).
bool total_measures(const std::vector<std::pair<const elm_row*, int>>& apertures, double& area,
                    double& perimeter, int& inner) {
  area = perimeter = 0;
  inner = 0;
  for (const auto& [el, n] : apertures) {
    double a = 0, p = 0;
    int i = 0;
    if (!outline_measures(el, n, a, p, i)) return false;
    area += a;
    perimeter += p;
    inner += i;
  }
  return true;
}

}  // namespace

double aperture_mode_estimate(const std::vector<std::pair<const elm_row*, int>>& apertures) {
  double area, perimeter;
  int inner;
  if (!total_measures(apertures, area, perimeter, inner)) return 0;
  return weyl_mode_count(area * 1e-6, perimeter * 1e-3, fss_kmax.wg, inner);  // mm -> m
}

namespace {
struct measures_rec {
  bool valid = false;
  double area = 0, perimeter = 0;  // mm^2, mm
  int inner = 0;
} checked;
}  // namespace

bool aperture_modes_clearly_beyond(double kwg, int capacity) {
  return checked.valid &&
         clearly_too_many(weyl_mode_count(checked.area * 1e-6, checked.perimeter * 1e-3, kwg, checked.inner), capacity);
}

void check_aperture_mode_estimate(const std::vector<std::pair<const elm_row*, int>>& apertures,
                                  const char* routine) {
  double area, perimeter;
  int inner;
  checked.valid = false;
  if (!total_measures(apertures, area, perimeter, inner)) return;
  checked = {true, area, perimeter, inner};
  const double a = area * 1e-6;  // mm^2 -> m^2
  const double k = fss_kmax.wg;
  const int cap = fss_modewg_index.cap;
  const double estimate = weyl_mode_count(a, perimeter * 1e-3, k, inner);
  if (!clearly_too_many(estimate, cap)) return;
  // The limit at which the estimate is nine tenths of the table.
  const double pi = dpi(0);
  const double kfit = std::sqrt(std::max(0.0, 0.9 * cap + 1 - inner) * 2 * pi / a);
  const std::string whose = apertures.size() == 1 ? "the aperture's" : "the apertures' total";
  fatal(routine,
        "Too many waveguide modes: " + limit_text(7, k) + " asks for about " +
            std::to_string(static_cast<long>(std::lround(estimate))) + " aperture modes (an estimate from " +
            whose + " area, " + sformat("%.4g", area) + " mm^2, and perimeter, " +
            sformat("%.4g", perimeter) + " mm) and the program holds " + std::to_string(cap) +
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

namespace {

// Harmonics that genmodes_flo keeps at the limit kmax and the incidence in
// force: the rectangle of indices |m| <= a kmax / (2 pi), |n| <= b kmax /
// (2 pi) cut to the disc kt <= kmax, or the whole disc (floquet_whole_disc).
// Per m the range of n comes from the circle and is trimmed at its ends by
// the program's own test, so that the count is exact and costs one step per
// m, however large the limit.
long long floquet_harmonics(double kmax) {
  const double a = fss_cell_dim.a, b = fss_cell_dim.b;
  const double dpi_a = dpi(1) / a, dpi_b = dpi(1) / b;
  const long long nmax =
      floquet_whole_disc() ? std::numeric_limits<int>::max() : static_cast<long long>(b * kmax / dpi(1));
  long long m_lo, m_hi;
  floquet_m_range(kmax, m_lo, m_hi);
  const double dpi_a_tanalfa = dpi_a / std::tan(fss_lattice_angle.alpha);
  long long count = 0;
  for (long long m = m_lo; m <= m_hi; ++m) {
    const double kx = m * dpi_a + fss_inc_angle.kx0;
    auto kept = [&](long long n) {
      const double ky = (n * dpi_b - m * dpi_a_tanalfa) + fss_inc_angle.ky0;
      return std::sqrt(ky * ky + kx * kx) <= kmax;
    };
    const double r2 = kmax * kmax - kx * kx;
    const double centre = (m * dpi_a_tanalfa - fss_inc_angle.ky0) / dpi_b;
    const double half = r2 > 0 ? std::sqrt(r2) / dpi_b : 0;
    long long lo = std::max(-nmax, static_cast<long long>(std::ceil(centre - half)));
    long long hi = std::min(nmax, static_cast<long long>(std::floor(centre + half)));
    while (lo <= hi && !kept(lo)) ++lo;
    while (lo - 1 >= -nmax && kept(lo - 1)) --lo;
    while (hi >= lo && !kept(hi)) --hi;
    while (hi + 1 <= nmax && kept(hi + 1)) ++hi;
    if (hi >= lo) count += hi - lo + 1;
  }
  return count;
}

}  // namespace

long long floquet_mode_count(double kmax) { return 2 * floquet_harmonics(kmax); }

void too_many_floquet_modes() {
  const double kmax = fss_kmax.flo;
  const long long harmonics = floquet_harmonics(kmax);
  const long long cap = fss_modeflo_index.cap, fit = cap / 2;  // two modes per harmonic
  // The least limit at which the harmonics outgrow the table: the set grows
  // with the limit, so it lies by bisection.
  double ok = 0, out = kmax;
  for (int k = 0; k < 200 && out - ok > 1e-13 * out; ++k) {
    const double mid = (ok + out) / 2;
    (floquet_harmonics(mid) > fit ? out : ok) = mid;
  }
  const double deg = 180 / dpi(0), f = fss_em_var.f / 1e9;
  std::string hint = "; a block 8 limit below " + ghz_below(to_ghz(out)) + " GHz fits there";
  if (to_ghz(out) <= f) hint += ", but block 8 must reach the frequency of the point";
  fatal("genmodes_flo",
        "Too many Floquet modes: " + limit_text(8, kmax) + " asks for " + std::to_string(2 * harmonics) +
            " Floquet modes at " + sformat("%g", f) + " GHz, theta " +
            sformat("%g", fss_inc_angle.theta * deg) + " deg, phi " + sformat("%g", fss_inc_angle.phi * deg) +
            " deg, and the program holds " + std::to_string(cap) + hint,
        block_line(8));
}
