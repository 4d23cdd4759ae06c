#include "run/converge.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "scattering/results.hpp"

namespace fs = std::filesystem;

double converge_deg() { return (std::pow(10.0, converge_db / 20) - 1) * 180 / dpi(0); }

void converge_compare(const std::vector<converge_point>& before,
                      const std::vector<converge_point>& after, converge_change& db,
                      converge_change& deg) {
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

namespace {

const char* const quantity_name[4] = {"Ty", "Tx", "Ry", "Rx"};

// The values of the pass being run, filled after every result row.
std::vector<converge_point> pass_values;
int pass_flo_modes = 0;

void record_point() {
  const std::complex<double> v[4] = {fss_coefficients.t11a, fss_coefficients.t22a,
                                     fss_coefficients.r11, fss_coefficients.r22};
  converge_point p;
  p.phi = fss_inc_angle.phi;
  p.theta = fss_inc_angle.theta;
  p.f = fss_em_var.f;
  for (int q = 0; q < 4; ++q) {
    p.db[q] = db_floor(std::abs(v[q]));
    p.deg[q] = std::atan2(v[q].imag(), v[q].real()) * 180 / dpi(0);
  }
  pass_values.push_back(p);
  pass_flo_modes = std::max(pass_flo_modes, fss_modeflo_index.n);
}

struct pass_report {
  double fwg = 0, fflo = 0;  // limits (GHz)
  int nwg = 0, nflo = 0;     // aperture modes, largest Floquet set
  converge_change db, deg;
  bool compared = false;
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

// "0.123 dB at 12.500 GHz, phi 0.0, theta 30.0 deg (Ty)"
std::string where(const converge_change& c, const std::vector<converge_point>& pts,
                  const char* unit) {
  if (c.point < 0) return "none above " + fmt("%.0f", converge_floor_db) + " dB";
  const converge_point& p = pts[c.point];
  const double deg = 180 / dpi(0);
  return fmt("%.3f", c.value) + " " + unit + " at " + fmt("%.3f", p.f / 1e9) + " GHz, phi " +
         fmt("%.1f", p.phi * deg) + ", theta " + fmt("%.1f", p.theta * deg) + " deg (" +
         quantity_name[c.quantity] + ")";
}

std::string table_row(int pass, const pass_report& r, const std::vector<converge_point>& pts) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%4d %10.3f %10.3f %9d %9d", pass, r.fwg, r.fflo, r.nwg, r.nflo);
  std::string row = buf;
  if (!r.compared) return row + "           -                                                -";
  const double deg = 180 / dpi(0);
  for (const converge_change* c : {&r.db, &r.deg}) {
    if (c->point < 0) {
      row += "           -                                  ";
      continue;
    }
    const converge_point& p = pts[c->point];
    std::snprintf(buf, sizeof buf, " %11.3f %9.3f %8.1f %8.1f %3s", c->value, p.f / 1e9,
                  p.phi * deg, p.theta * deg, quantity_name[c->quantity]);
    row += buf;
  }
  return row;
}

void write_report(const std::vector<std::string>& rows, const std::string& verdict) {
  const std::string name = base_name() + ".conv";
  note_result_file(name);  // for the last line of the run (a failed pass puts it back too)
  errno = 0;
  std::ofstream o(name, std::ios::trunc);
  if (!o) fatal("fss_converge", file_fault("Error in opening file ", name));
  o << " Convergence of " << base_name() << ": both mode limits raised by "
    << fmt("%.2f", converge_raise) << " per pass, at most " << converge_passes << " passes\n";
  o << " Largest change of the co-polarised |T| and |R| (where above " << fmt("%.0f", converge_floor_db)
    << " dB) and of their phases\n from either of the two passes before; converged when below "
    << fmt("%.3f", converge_db) << " dB and " << fmt("%.3f", converge_deg()) << " deg\n\n";
  o << " pass    wg[GHz]   flo[GHz]  wg modes flo modes  change[dB]  f[GHz]  phi[deg] "
       "theta[deg] of change[deg]  f[GHz]  phi[deg] theta[deg] of\n";
  for (const std::string& r : rows) o << r << '\n';
  if (!verdict.empty()) o << '\n' << ' ' << verdict << '\n';
  errno = 0;
  o.close();
  if (!o) fatal("fss_converge", file_fault("Error in writing file ", name));
}

}  // namespace

int fss_converge() {
  const std::string apb = base_name() + ".apb";
  const std::string aperture = read_bytes(apb);
  const double kwg = fss_kmax.wg, kflo = fss_kmax.flo;
  std::vector<pass_report> passes;
  std::vector<std::string> rows;
  std::vector<converge_point> last, earlier;  // values of the two passes before
  std::vector<saved_file> good;
  std::string verdict;
  int passes_run = 0;
  for (int pass = 1; pass <= converge_passes; ++pass) {
    passes_run = pass;
    const double factor = std::pow(converge_raise, pass - 1);
    fss_kmax.wg = kwg * factor;
    fss_kmax.flo = kflo * factor;
    pass_report r;
    r.fwg = fss_kmax.wg * dcspeed() / dpi(1) / 1e9;
    r.fflo = fss_kmax.flo * dcspeed() / dpi(1) / 1e9;
    std::cout << '\n';
    console_line("... pass" + free_int(pass) + ": mode limits " + fmt("%.3f", r.fwg) + " GHz and " +
                 fmt("%.3f", r.fflo) + " GHz");
    write_bytes(apb, aperture);
    pass_values.clear();
    pass_flo_modes = 0;
    // Only the first pass, at the file's own limits, ends the run on an error.
    set_fatal_trap(pass > 1);
    try {
      fss_analysis(record_point);
    } catch (const fss_fatal_error& e) {
      set_fatal_trap(false);
      std::cout << '\n';
      restore_results(good);
      // The headline of a table overflow: its counts and limits are those
      // of the raised pass, not of the structure file.
      const std::string said =
          e.message.rfind("Too many ", 0) == 0 ? e.message.substr(0, e.message.find(':')) : e.message;
      verdict = "stopped before convergence: pass" + free_int(pass) + " ended with \"" + said +
                "\" (" + e.routine + "); the result file holds pass" + free_int(pass - 1);
      if (passes.back().compared)
        verdict += ", which changed by " + where(passes.back().db, last, "dB");
      break;
    }
    set_fatal_trap(false);
    r.nwg = fss_modewg_index.n;
    r.nflo = pass_flo_modes;
    // The change from the pass before and from the one before that: the
    // results settle in steps (a raise that adds modes coupling only weakly
    // changes little, the next one more), so that one step alone can
    // understate how far they are from their limit.
    if (pass > 1) {
      converge_compare(last, pass_values, r.db, r.deg);
      r.compared = true;
    }
    if (pass > 2) {
      converge_change db2, deg2;
      converge_compare(earlier, pass_values, db2, deg2);
      if (db2.value > r.db.value) r.db = db2;
      if (deg2.value > r.deg.value) r.deg = deg2;
    }
    earlier.swap(last);
    last = pass_values;
    passes.push_back(r);
    rows.push_back(table_row(pass, r, last));
    console_line("pass" + free_int(pass) + ":" + free_int(r.nwg) + " aperture modes," +
                 free_int(r.nflo) + " Floquet modes" +
                 (r.compared ? "; largest change " + where(r.db, last, "dB") + "; " +
                                   where(r.deg, last, "deg")
                             : std::string()));
    good = save_results();
    if (pass > 2 && r.db.value < converge_db && r.deg.value < converge_deg()) {
      verdict = "converged: from pass" + free_int(std::max(1, pass - 2)) + " to pass" + free_int(pass) +
                " the results changed by at most " + fmt("%.3f", r.db.value) + " dB and " +
                fmt("%.3f", r.deg.value) + " deg; the result file holds pass" + free_int(pass);
      break;
    }
    if (pass == converge_passes)
      verdict = "not converged after" + free_int(pass) + " passes: the last changed by " +
                where(r.db, last, "dB") + " and " + where(r.deg, last, "deg") +
                "; the result file holds pass" + free_int(pass);
    write_report(rows, "");
  }
  write_report(rows, verdict);
  std::cout << '\n';
  console_line(verdict);
  return passes_run;
}
