#include "run/converge.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>

#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/interrupt.hpp"
#include "run/options.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"
#include "scattering/system.hpp"

namespace fs = std::filesystem;

void converge_compare(const converge_pass& before, const converge_pass& after,
                      converge_change& db, converge_change& deg) {
  db = deg = {};
  const std::size_t n = std::min(before.size(), after.size());
  for (std::size_t i = 0; i < n; ++i)
    for (int q = 0; q < 4; ++q) {
      if (std::max(before[i].db[q], after[i].db[q]) <= converge_floor_db) continue;
      const double d = std::fabs(after[i].db[q] - before[i].db[q]);
      const double p = std::fabs(std::remainder(after[i].deg[q] - before[i].deg[q], 360.0));
      if (db.point < 0 || d > db.value) db = {d, static_cast<int>(i), q};
      if (deg.point < 0 || p > deg.value) deg = {p, static_cast<int>(i), q};
    }
}

converge_change converge_amplitude_change(const converge_pass& before, const converge_pass& after) {
  converge_change c;
  const std::size_t n = std::min(before.size(), after.size());
  for (std::size_t i = 0; i < n; ++i)
    for (int q = 0; q < 4; ++q) {
      const double d = std::abs(after[i].s[q] - before[i].s[q]);
      if (c.point < 0 || d > c.value) c = {d, static_cast<int>(i), q};
    }
  return c;
}

converge_bounds_rec converge_bounds;

int converge_capacity(int c, double ratio, int power, int bound) {
  const double grown = std::ceil(c * std::pow(std::max(ratio, 1.0), power));
  return static_cast<int>(std::max<double>(c, std::min<double>(grown, bound)));
}

double converge_gain(double p) { return 1 / (std::pow(converge_raise, p) - 1); }

double converge_gain_spread(double p) {
  return (converge_gain(0.75 * p) - converge_gain(1.5 * p)) / 2;
}

namespace {

// Ratio of the change of pass k to that of pass k - 1 over every point and
// coefficient (the projection of one on the other) and how well the two
// keep their direction (1: parallel).
void change_ratio(const converge_pass& a, const converge_pass& b, const converge_pass& c,
                  double& ratio, double& coherence) {
  double cross = 0, before = 0, after = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size() && i < c.size(); ++i)
    for (int q = 0; q < 4; ++q) {
      const std::complex<double> d1 = b[i].s[q] - a[i].s[q], d2 = c[i].s[q] - b[i].s[q];
      cross += (d2 * std::conj(d1)).real();
      before += std::norm(d1);
      after += std::norm(d2);
    }
  ratio = before > 0 ? cross / before : 0;
  coherence = before > 0 && after > 0 ? cross / std::sqrt(before * after) : 0;
}

}  // namespace

double converge_fit_exponent(const std::vector<converge_pass>& passes, bool& fitted) {
  fitted = false;
  const std::size_t n = passes.size();
  if (n < 4) return converge_exponent;
  double p[2];
  for (int k = 0; k < 2; ++k) {
    double ratio, coherence;
    change_ratio(passes[n - 3 - k], passes[n - 2 - k], passes[n - 1 - k], ratio, coherence);
    // The changes of a settling sequence keep their direction and shrink;
    // mode families entering in steps make them turn and jump instead.
    if (coherence < 0.95 || !(ratio > 0) || ratio >= 1) return converge_exponent;
    p[k] = -std::log(ratio) / std::log(converge_raise);
  }
  if (std::fabs(p[0] - p[1]) > 0.25) return converge_exponent;
  const double q = (p[0] + p[1]) / 2;
  if (q < 0.5 || q > 3) return converge_exponent;
  fitted = true;
  return q;
}

namespace {

// X = (1 + g) S_n - g S_n-1, applied to every value of a point.
converge_point combine(const converge_point& last, const converge_point& before, double g) {
  converge_point x = last;
  auto mix = [g](auto a, auto b) { return (1 + g) * a - g * b; };
  for (int q = 0; q < 4; ++q) {
    x.s[q] = mix(last.s[q], before.s[q]);
    x.db[q] = db_floor(std::abs(x.s[q]));
    x.deg[q] = std::atan2(x.s[q].imag(), x.s[q].real()) * 180 / dpi(0);
  }
  fss_polar_rec& p = x.polar;
  const fss_polar_rec &a = last.polar, &b = before.polar;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      p.r[i][j] = mix(a.r[i][j], b.r[i][j]);
      p.t[i][j] = mix(a.t[i][j], b.t[i][j]);
      p.rb[i][j] = mix(a.rb[i][j], b.rb[i][j]);
      p.tb[i][j] = mix(a.tb[i][j], b.tb[i][j]);
    }
    p.p00[i] = mix(a.p00[i], b.p00[i]);
    p.ptot[i] = mix(a.ptot[i], b.ptot[i]);
  }
  return x;
}

converge_pass extrapolate_pair(const converge_pass& before, const converge_pass& last, double g) {
  converge_pass x;
  for (std::size_t i = 0; i < last.size() && i < before.size(); ++i)
    x.push_back(combine(last[i], before[i], g));
  return x;
}

}  // namespace

converge_result converge_extrapolate(const std::vector<converge_pass>& passes, double p) {
  converge_result r;
  r.exponent = p;
  const std::size_t n = passes.size();
  if (n < 2) return r;
  const double g = converge_gain(p), b = converge_gain_spread(p);
  // The distance to the extrapolation with the edge exponent, per unit of
  // the last change (0 unless the exponent was fitted).
  const double model = std::fabs(g - converge_gain(converge_exponent));
  r.x = extrapolate_pair(passes[n - 2], passes[n - 1], g);
  // The extrapolations of the pairs before, as far as there are passes:
  // with modes entering in families the changes come in steps, and the
  // spread of successive extrapolations measures what a pair alone misses.
  std::vector<converge_pass> earlier;
  for (std::size_t k = 1; k <= 2 && n >= k + 2; ++k)
    earlier.push_back(extrapolate_pair(passes[n - 2 - k], passes[n - 1 - k], g));
  const converge_pass &last = passes[n - 1], &prev = passes[n - 2];
  r.error.resize(r.x.size());
  for (std::size_t i = 0; i < r.x.size(); ++i)
    for (int q = 0; q < 4; ++q) {
      const double change = std::abs(last[i].s[q] - prev[i].s[q]);
      double e = earlier.empty() ? g * change : std::max(b, model) * change;
      for (const converge_pass& x : earlier) e = std::max(e, std::abs(r.x[i].s[q] - x[i].s[q]));
      if (!earlier.empty()) e *= converge_safety;
      r.error[i][q] = e;
      const double e_last = std::abs(r.x[i].s[q] - last[i].s[q]) + e;
      if (r.worst.point < 0 || e > r.worst.value) r.worst = {e, static_cast<int>(i), q};
      if (r.worst_last.point < 0 || e_last > r.worst_last.value)
        r.worst_last = {e_last, static_cast<int>(i), q};
    }
  return r;
}

namespace {

const char* const quantity_name[4] = {"Ty", "Tx", "Ry", "Rx"};

// The values of the pass being run, filled after every result row.
converge_pass pass_values;

void record_point() {
  const std::complex<double> v[4] = {fss_coefficients.t11a, fss_coefficients.t22a,
                                     fss_coefficients.r11, fss_coefficients.r22};
  converge_point p;
  p.phi = fss_inc_angle.phi;
  p.theta = fss_inc_angle.theta;
  p.f = fss_em_var.f;
  for (int q = 0; q < 4; ++q) {
    p.s[q] = v[q];
    p.db[q] = db_floor(std::abs(v[q]));
    p.deg[q] = std::atan2(v[q].imag(), v[q].real()) * 180 / dpi(0);
  }
  p.nflo = fss_modeflo_index.n;
  if (further_outputs()) p.polar = fss_polar;
  pass_values.push_back(p);
}

struct pass_report {
  double fwg = 0, fflo = 0;  // limits (GHz)
  int nwg = 0, nflo = 0;     // aperture modes, largest Floquet set
  double seconds = 0, memory_mb = 0;
  converge_change change, db, deg;  // from the pass before
  converge_change error;            // estimated error of the extrapolation
  bool compared = false, estimated = false;
};

std::string base_name() { return delfirstspaces(trim_right(fss_file.name)); }

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_bytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

struct saved_file {
  fs::path path;
  std::string bytes;
};

std::vector<saved_file> save_results() {
  std::vector<saved_file> saved;
  for (const std::string& p : result_files_written()) saved.push_back({p, read_bytes(p)});
  return saved;
}

// After a pass that stopped: its scratch files removed, the result files of
// the last good pass put back as they were.
void restore_results(const std::vector<saved_file>& saved) {
  const fs::path base(base_name());
  const fs::path dir = base.has_parent_path() ? base.parent_path() : fs::path(".");
  const std::string scratch = base.filename().string() + "_tmp";
  std::error_code ec;
  std::vector<fs::path> gone;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().compare(0, scratch.size(), scratch) == 0) gone.push_back(e.path());
  for (const std::string& p : result_files_written()) gone.push_back(p);
  gone.push_back(base_name() + ".apb");
  for (const fs::path& p : gone) fs::remove(p, ec);
  remove_tmpfiles();
  for (const saved_file& f : saved) write_bytes(f.path, f.bytes);
}

std::string fmt(const char* format, double a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a);
  return buf;
}

// An amplitude and the dB change it makes at full transmission.
std::string amplitude_text(double a) {
  return fmt("%.4f", a) + " (" + fmt("%.3f", -20 * std::log10(1 - std::min(a, 0.999999))) +
         " dB at full transmission)";
}

// "at 12.500 GHz, phi 0.0, theta 30.0 deg (Ty)"
std::string where(const converge_change& c, const converge_pass& pts) {
  if (c.point < 0) return "";
  const converge_point& p = pts[c.point];
  const double deg = 180 / dpi(0);
  return "at " + fmt("%.3f", p.f / 1e9) + " GHz, phi " + fmt("%.1f", p.phi * deg) + ", theta " +
         fmt("%.1f", p.theta * deg) + " deg (" + quantity_name[c.quantity] + ")";
}

std::string at_columns(const converge_change& c, const converge_pass& pts, const char* format) {
  char buf[128];
  if (c.point < 0) {
    std::snprintf(buf, sizeof buf, " %11s %9s %8s %8s %3s", "-", "-", "-", "-", "-");
    return buf;
  }
  const converge_point& p = pts[c.point];
  const double deg = 180 / dpi(0);
  std::snprintf(buf, sizeof buf, format, c.value);
  std::string s = buf;
  std::snprintf(buf, sizeof buf, " %9.3f %8.1f %8.1f %3s", p.f / 1e9, p.phi * deg, p.theta * deg,
                quantity_name[c.quantity]);
  return s + buf;
}

std::string table_header() {
  std::string at = "  f[GHz] phi[deg] theta[deg] of";
  return " pass    wg[GHz]   flo[GHz]  wg modes flo modes  time[s]  mem[MB]      |dS|" + at +
         "   error(x)" + at + " change[dB]" + at + " change[deg]" + at;
}

std::string table_row(int pass, const pass_report& r, const converge_pass& pts) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%5d %10.3f %10.3f %9d %9d %8.2f %8.1f", pass, r.fwg, r.fflo, r.nwg,
                r.nflo, r.seconds, r.memory_mb);
  std::string row = buf;
  const converge_change none;
  row += at_columns(r.compared ? r.change : none, pts, " %11.6f");
  row += at_columns(r.estimated ? r.error : none, pts, " %11.6f");
  row += at_columns(r.compared ? r.db : none, pts, " %11.3f");
  row += at_columns(r.compared ? r.deg : none, pts, " %11.3f");
  return row;
}

// Every point of the extrapolated result: its values and estimated errors.
std::string point_table(const converge_result& x, const converge_pass& last) {
  std::string t =
      "  f[GHz] phi[deg] theta[deg]    Ty[dB]   +-dB    Tx[dB]   +-dB    Ry[dB]   +-dB    Rx[dB]"
      "   +-dB   error(x) error(pass)\n";
  const double deg = 180 / dpi(0);
  for (std::size_t i = 0; i < x.x.size(); ++i) {
    const converge_point& p = x.x[i];
    char buf[256];
    std::snprintf(buf, sizeof buf, "%8.3f %8.1f %10.1f", p.f / 1e9, p.phi * deg, p.theta * deg);
    t += buf;
    double ex = 0, el = 0;
    for (int q = 0; q < 4; ++q) {
      const double e = x.error[i][q], m = std::abs(p.s[q]);
      // The dB error of a magnitude m known to within e.
      const double edb = m > e ? 20 * std::log10(m / (m - e)) : 99.999;
      std::snprintf(buf, sizeof buf, " %9.3f %6.3f", p.db[q], std::min(edb, 99.999));
      t += buf;
      ex = std::max(ex, e);
      el = std::max(el, std::abs(p.s[q] - last[i].s[q]) + e);
    }
    std::snprintf(buf, sizeof buf, " %10.6f %11.6f\n", ex, el);
    t += buf;
  }
  return t;
}

std::string report_text(const std::string& intro, const std::vector<std::string>& rows,
                        const std::string& verdict, const std::string& points) {
  std::string t = intro + '\n' + table_header() + '\n';
  for (const std::string& r : rows) t += r + '\n';
  if (!verdict.empty()) t += "\n " + verdict + '\n';
  if (!points.empty()) t += '\n' + points;
  return t;
}

void write_report(const std::string& intro, const std::vector<std::string>& rows,
                  const std::string& verdict, const std::string& points) {
  const std::string name = base_name() + ".conv";
  note_result_file(name);  // for the last line of the run (a failed pass puts it back too)
  errno = 0;
  std::ofstream o(name, std::ios::trunc);
  if (!o) fatal("fss_converge", file_fault("Error in opening file ", name));
  o << report_text(intro, rows, verdict, points);
  errno = 0;
  o.close();
  if (!o) fatal("fss_converge", file_fault("Error in writing file ", name));
}

// The most passes: "-passes N", or passes_most.
int most_passes() { return fss_writeinfo.passes > 0 ? fss_writeinfo.passes : passes_most; }

// "at most 30 passes and 10 minutes"
std::string passes_bound_text() {
  std::string t = "at most " + std::to_string(most_passes()) + " passes";
  const double budget = converge_budget();
  if (budget > 0) t += " and " + fmt("%g", budget / 60) + " minutes";
  return t;
}

std::string report_intro(double ratio) {
  return " Convergence of " + base_name() + ": passes along a ray, the Floquet limit " +
         fmt("%.3g", ratio) + " times the aperture limit, both raised by " +
         fmt("%.2f", converge_raise) + " per pass, " + passes_bound_text() + "\n"
         " |dS|: largest change of the complex co-polarised coefficients from the pass before\n"
         " error(x): estimated error of the extrapolated coefficients; settled when below " +
         fmt("%.4f", converge_amplitude) + " from pass " + std::to_string(converge_min_passes) +
         " on\n change[dB], change[deg]: largest change of |T|, |R| (where above " +
         fmt("%.0f", converge_floor_db) + " dB) and of their phases, for reading\n";
}

// The extrapolated result in the files "<base>_x...": the writers of the
// sweep run again over the stored points with the extrapolated values.
void write_extrapolated(const converge_pass& x, int nwg) {
  const std::string name = fss_file.name;
  fss_file.name = trim_right(name) + "_x";
  const int nwg_run = fss_modewg_index.n, nflo_run = fss_modeflo_index.n;
  const fss_em_var_rec em = fss_em_var;
  const fss_inc_angle_rec inc = fss_inc_angle;
  write_output();
  write_outputs_begin();
  fss_modewg_index.n = nwg;
  for (const converge_point& p : x) {
    fss_em_var.f = p.f;
    fss_em_var.lambda = dcspeed() / p.f;
    fss_em_var.k0 = dpi(1) / fss_em_var.lambda;
    fss_inc_angle.theta = p.theta;
    fss_inc_angle.phi = p.phi;
    fss_modeflo_index.n = p.nflo;
    fss_coefficients = {p.s[2], p.s[3], p.s[0], p.s[1]};
    write_ref_tr_row();
    if (further_outputs()) {
      fss_polar = p.polar;
      write_outputs_values();
    }
  }
  write_outputs_end();
  fss_modewg_index.n = nwg_run;
  fss_modeflo_index.n = nflo_run;
  fss_em_var = em;
  fss_inc_angle = inc;
  fss_file.name = name;
}

// The aperture modes a pass's tables hold, its limit wg_ratio times the file's.
int pass_wg_capacity(double wg_ratio) {
  return converge_capacity(max_wg_modes, wg_ratio, 2, converge_bounds.wg_modes);
}

// The Floquet modes a pass's tables hold, its limit flo_ratio times the
// file's.  A grown Floquet table holds the whole disc of harmonics
// (floquet_whole_disc), more than the plain table's rectangle cut to it on a
// skewed lattice or at oblique incidence (6 % more on a triangular lattice):
// a tenth is added.
int pass_flo_capacity(double flo_ratio) {
  const double disc_margin = flo_ratio > 1 ? std::sqrt(1.1) : 1;
  return converge_capacity(max_flo_modes, flo_ratio * disc_margin, 2, converge_bounds.flo_modes);
}

// The tables of a pass from its limits, relative to the file's.
void size_pass_tables(double wg_ratio, double flo_ratio) {
  fss_size_capacities(pass_wg_capacity(wg_ratio), pass_flo_capacity(flo_ratio),
                      converge_capacity(max_points, wg_ratio, 1, solver_scale_bound * max_points));
  solver_scale = std::min(wg_ratio, static_cast<double>(solver_scale_bound));
}

// The first sweep point whose Floquet set at the limit kmax outgrows a
// table of `capacity` modes (the exact count at the point's incidence, the
// table's truncation that of such a table), made the one in force; false
// when there is none, the point in force kept.
bool floquet_table_outgrown_at(double kmax, int capacity) {
  const auto em = fss_em_var;
  const auto inc = fss_inc_angle;
  const int cap = fss_modeflo_index.cap;
  fss_modeflo_index.cap = capacity;  // the word alone: no storage is taken
  const bool found = fss_find_sweep_point([&](bool) { return floquet_mode_count(kmax) > capacity; });
  fss_modeflo_index.cap = cap;
  if (!found) {
    fss_em_var = em;
    fss_inc_angle = inc;
  }
  return found;
}

// The memory the program may take (MB): the machine's, or the bound of its
// control group (a container's) when lower; 0 when unknown.
double physical_memory_mb() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  double mb = pages > 0 && size > 0 ? static_cast<double>(pages) * size / (1024.0 * 1024.0) : 0;
  for (const char* f : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
    std::ifstream in(f);
    double bytes = 0;
    if (in >> bytes && bytes > 0 && (mb == 0 || bytes / (1024.0 * 1024.0) < mb)) mb = bytes / (1024.0 * 1024.0);
  }
  return mb;
}

double peak_memory_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

}  // namespace

namespace {

double grown(double before_last, double last, double least_growth) {
  const double growth = before_last > 0 ? last / before_last : 0;
  return last * std::max(growth, least_growth);
}

}  // namespace

double converge_next_peak(double before_last, double last) {
  return grown(before_last, last, std::pow(converge_raise, 4));
}

double converge_next_time(double before_last, double last) {
  return grown(before_last, last, converge_raise * converge_raise);
}

namespace {

// Whole seconds from 10 s on, tenths below.
std::string secs(double s) { return fmt(s >= 10 ? "%.0f" : "%.1f", s); }

}  // namespace

double converge_budget() {
  if (fss_writeinfo.minutes > 0) return fss_writeinfo.minutes * 60;
  return fss_writeinfo.passes > 0 ? 0 : converge_minutes * 60;
}

bool converge_within_budget(double spent, double next, double budget) {
  return budget <= 0 || spent + next <= budget;
}

std::string converge_further_pass(const std::vector<double>& seconds, const std::vector<double>& peaks,
                                  double room) {
  const int n = static_cast<int>(std::min(seconds.size(), peaks.size()));
  if (n < 2 || n >= passes_most) return "";
  const double mb = converge_next_peak(peaks[n - 2], peaks[n - 1]);
  if (room > 0 && mb > room)
    return "; pass" + free_int(n + 1) + " would take about" + free_int(std::lround(mb)) +
           " MB (from the growth of the passes before), more than the" + free_int(std::lround(room)) +
           " MB of memory the program may take";
  const double next = converge_next_time(seconds[n - 2], seconds[n - 1]);
  double all = next;
  for (int k = 0; k < n; ++k) all += seconds[k];
  return "; a run with -passes" + free_int(n + 1) + " would take about " + secs(all) + " s (pass" +
         free_int(n + 1) + " about " + secs(next) + " s) and" + free_int(std::lround(mb)) +
         " MB (from the growth of the passes before)";
}

namespace {

// "<base>" in a verdict is the structure's base name.
std::string named(std::string verdict) {
  const std::string key = "<base>";
  for (std::size_t at; (at = verdict.find(key)) != std::string::npos;)
    verdict.replace(at, key.size(), base_name());
  return verdict;
}

// Unsettled, how many sweep points are settled all the same: the points
// just below a grating lobe or at a steep resonance may be the only ones left.
std::string settled_points(const converge_result& x) {
  if (x.worst.value < converge_amplitude) return "";
  long settled = 0;
  for (const std::array<double, 4>& e : x.error)
    settled += *std::max_element(e.begin(), e.end()) < converge_amplitude;
  return "; below " + fmt("%.4f", converge_amplitude) + " at" + free_int(settled) + " of" +
         free_int(static_cast<long>(x.error.size())) + " sweep points";
}

// An interruption after this pass (during the next) puts back the files of
// this one, with the report saying so, instead of leaving the next pass's
// first rows.
void keep_on_interruption(const std::vector<saved_file>& good, const std::string& report, int pass) {
  const std::string conv = base_name() + ".conv";
  std::vector<kept_file> kept;
  for (const saved_file& f : good)
    if (f.path != conv) kept.push_back({f.path.string(), f.bytes});
  kept.push_back({conv, report});
  interrupt_keep(std::move(kept),
                 " the result files hold pass" + free_int(pass) + ", the last whole one (" + conv + ")\n");
}

}  // namespace

int fss_converge() {
  const std::string apb = base_name() + ".apb";
  const std::string aperture = read_bytes(apb);
  const double kwg = fss_kmax.wg, kflo = fss_kmax.flo;
  // The Floquet limit follows the aperture limit at a fixed ratio (at
  // least the file's own, which holds every propagating Floquet mode).
  const double ratio = std::max(converge_ratio, fss_kmax.flo / kwg);
  std::vector<converge_pass> passes;
  std::vector<std::string> rows;
  std::vector<saved_file> good;
  int passes_run = 0;
  std::string verdict, points;
  converge_result x;
  const std::string intro = report_intro(ratio);
  auto extrapolation_text = [&]() {
    const converge_pass& last = passes.back();
    return "the extrapolated result (<base>_x.out, exponent " + fmt("%.3f", x.exponent) +
           (x.fitted ? ", fitted" : "") + ") is estimated within " + amplitude_text(x.worst.value) +
           " " + where(x.worst, last) + ", the last pass within " + amplitude_text(x.worst_last.value) +
           settled_points(x);
  };
  const int last_pass = most_passes();
  const double room = converge_bounds.memory_mb > 0 ? converge_bounds.memory_mb : physical_memory_mb();
  std::vector<double> peaks, seconds;
  const double budget = converge_budget();
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 1; pass <= last_pass; ++pass) {
    // A pass foreseen to need more than the machine's memory is not begun:
    // the system would end the program during it.
    // The next pass's time and peak foreseen from the passes before (the
    // second's from the first's alone).
    auto ahead_of = [](const std::vector<double>& v, double (*next_of)(double, double)) {
      return next_of(v.size() >= 2 ? v[v.size() - 2] : 0, v.empty() ? 0 : v.back());
    };
    const double foreseen = ahead_of(peaks, converge_next_peak), next = ahead_of(seconds, converge_next_time);
    // A pass whose aperture modes clearly outnumber its table, or whose
    // Floquet set outgrows its table at some sweep point, ends at once,
    // before its mode computation, and its verdict names the table: it is
    // begun whatever its time and memory would have been.
    // The aperture modes are named first, as the mode computation's own
    // check names them before any sweep point; a Floquet table outgrown
    // leaves its first point beyond it in force, for the pass to report.
    const double wg_ratio = std::pow(converge_raise, pass - 1);
    const double flo_limit = ratio * (kwg * wg_ratio);  // as the pass sets it
    const bool apertures_beyond =
        pass > 1 && aperture_modes_clearly_beyond(kwg * wg_ratio, pass_wg_capacity(wg_ratio));
    const bool floquet_beyond = pass > 1 && !apertures_beyond &&
                                floquet_table_outgrown_at(flo_limit, pass_flo_capacity(flo_limit / kflo));
    const bool table_ends_it = apertures_beyond || floquet_beyond;
    if (!table_ends_it && room > 0 && peaks.size() >= 2 && foreseen > room) {
      verdict = "stopped before convergence: pass" + free_int(pass) + " would take about" +
                free_int(std::lround(foreseen)) + " MB (from the growth of the passes before), more than the" +
                free_int(std::lround(room)) + " MB of memory the program may take; the result file holds pass" +
                free_int(pass - 1);
      if (passes.size() >= 2) verdict += "; " + extrapolation_text();
      break;
    }
    // Nor is a pass foreseen to end the run beyond its time (from the
    // second on: the time of a pass foreseen from the growth of the two
    // before, the second's from the first's).
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!table_ends_it && !seconds.empty() && !converge_within_budget(spent, next, budget)) {
      // The minutes that would let it run, with a fifth to spare for the
      // foresight, which has fallen short by up to a sixth.
      const long room_for_it = std::lround(std::ceil(1.2 * (spent + next) / 60));
      verdict = "stopped before convergence: pass" + free_int(pass) + " would take about " + secs(next) +
                " s (from the growth of the passes before), the run then about " + secs(spent + next) +
                " s, more than its " + fmt("%g", budget / 60) + " minutes (-minutes" + free_int(room_for_it) +
                " would give it room); the result file holds pass" + free_int(pass - 1);
      if (passes.size() >= 2) verdict += "; " + extrapolation_text();
      break;
    }
    passes_run = pass;
    const double factor = std::pow(converge_raise, pass - 1);
    fss_kmax.wg = kwg * factor;
    fss_kmax.flo = ratio * fss_kmax.wg;
    pass_report r;
    r.fwg = fss_kmax.wg * dcspeed() / dpi(1) / 1e9;
    r.fflo = fss_kmax.flo * dcspeed() / dpi(1) / 1e9;
    std::cout << '\n';
    // From the second pass on, how long it will take and its peak, as foreseen.
    const std::string ahead = seconds.empty() ? ""
                                              : " (foreseen: about " + secs(next) + " s and" +
                                                    free_int(std::lround(foreseen)) + " MB)";
    console_line("... pass" + free_int(pass) + ": mode limits " + fmt("%.3f", r.fwg) + " GHz and " +
                 fmt("%.3f", r.fflo) + " GHz" + ahead);
    pass_values.clear();
    // An interruption counts the points of this pass, and from here on
    // puts back the files of the pass before.
    interrupt_points(0, fss_sweep_points());
    interrupt_defer(false);
    const auto t0 = std::chrono::steady_clock::now();
    // Only the first pass ends the run on an error.
    set_fatal_trap(pass > 1);
    std::optional<fss_fatal_error> failed;
    bool out_of_memory = false;
    try {
      // The last pass's couplings and system given back before this pass's
      // tables and mode computation take their storage.
      release_sweep_storage();
      size_pass_tables(fss_kmax.wg / kwg, fss_kmax.flo / kflo);
      // The Floquet table's overflow reported as the sweep would report it
      // at its first point beyond the table, before the mode computation.
      if (floquet_beyond) too_many_floquet_modes();
      write_bytes(apb, aperture);
      fss_analysis(record_point);
    } catch (const fss_fatal_error& e) {
      failed = e;
    } catch (const std::bad_alloc&) {
      // A pass whose tables outgrow the memory the program may take ends
      // the passes as a table at its bound does (the first one the run).
      set_fatal_trap(false);
      if (pass == 1) throw;
      out_of_memory = true;
    }
    if (failed || out_of_memory) {
      set_fatal_trap(false);
      // The failed pass's storage given back before anything else is asked for.
      release_sweep_storage();
      if (out_of_memory) failed = fss_fatal_error{"fss_analysis", out_of_memory_message, ""};
      const fss_fatal_error& e = *failed;
      std::cout << '\n';
      // The files of the pass before put back whole; an interruption waits,
      // also one held by a row that the failure left half written.
      interrupt_hold();
      restore_results(good);
      interrupt_release();
      // The headline of a table overflow or of the memory: its counts and
      // limits are those of the raised pass, not of the structure file.
      const bool headline = e.message.rfind("Too many ", 0) == 0 || e.message == out_of_memory_message;
      const std::string said = headline ? e.message.substr(0, e.message.find(':')) : e.message;
      verdict = "stopped before convergence: pass" + free_int(pass) + " ended with \"" + said +
                "\" (" + e.routine + "); the result file holds pass" + free_int(pass - 1);
      if (passes.size() >= 2) verdict += "; " + extrapolation_text();
      break;
    }
    set_fatal_trap(false);
    // Until the next pass begins (or the run ends) a signal waits: the files
    // of this pass and the report are written whole, then kept.
    interrupt_defer(true);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.memory_mb = peak_memory_mb();
    peaks.push_back(r.memory_mb);
    seconds.push_back(r.seconds);
    r.nwg = fss_modewg_index.n;
    for (const converge_point& p : pass_values) r.nflo = std::max(r.nflo, p.nflo);
    if (!passes.empty()) {
      r.change = converge_amplitude_change(passes.back(), pass_values);
      converge_compare(passes.back(), pass_values, r.db, r.deg);
      r.compared = true;
    }
    passes.push_back(pass_values);
    std::string line = "pass" + free_int(pass) + ":" + free_int(r.nwg) + " aperture modes," +
                       free_int(r.nflo) + " Floquet modes";
    if (passes.size() >= 2) {
      bool fitted = false;
      const double p = converge_fit_exponent(passes, fitted);
      x = converge_extrapolate(passes, p);
      x.fitted = fitted;
      r.error = x.worst;
      r.estimated = true;
      write_extrapolated(x.x, r.nwg);
      points = " Extrapolated result of passes" + free_int(pass - 1) + " and" + free_int(pass) +
               " (exponent " + fmt("%.3f", x.exponent) + (fitted ? ", fitted" : "") +
               ") and its estimated error at every sweep point:\n"
               " +-dB: the error of the magnitude; error(x): the largest estimated error of the four\n"
               " coefficients; error(pass): that of the last pass\n\n" +
               point_table(x, passes.back());
      line += "; largest change " + fmt("%.4f", r.change.value) + " " + where(r.change, pass_values) +
              "; estimated error of the extrapolation " + fmt("%.4f", x.worst.value);
    }
    rows.push_back(table_row(pass, r, pass_values));
    console_line(line);
    good = save_results();
    keep_on_interruption(good, report_text(intro, rows,
                                           named("interrupted after pass" + free_int(pass) +
                                                 ": the result file holds pass" + free_int(pass) +
                                                 (passes.size() >= 2 ? "; " + extrapolation_text() : "")),
                                           points),
                         pass);
    if (pass >= converge_min_passes && x.worst.value < converge_amplitude) {
      verdict = "converged: the result file holds pass" + free_int(pass) + "; " + extrapolation_text();
      break;
    }
    if (pass == last_pass) {
      verdict = "not converged after" + free_int(pass) + " passes: the result file holds pass" +
                free_int(pass) + "; " + extrapolation_text();
      verdict += converge_further_pass(seconds, peaks, room);
    }
    write_report(intro, rows, "", points);
  }
  verdict = named(verdict);
  // Written whole before the kept files are let go.
  interrupt_hold();
  write_report(intro, rows, verdict, points);
  interrupt_keep({}, "");
  interrupt_defer(false);
  interrupt_release();
  std::cout << '\n';
  console_line(verdict);
  fss_set_capacities();
  solver_scale = 1;
  return passes_run;
}
