#include "scattering/catalogue.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <type_traits>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "contour/contour.hpp"
#include "modesolver/fss_analyzew.hpp"
#include "records/contour.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "scattering/stack.hpp"

namespace {

std::string structure_name() { return trim_right(fss_file.name); }
std::string job_name() { return structure_name() + "_tmp"; }

// Creates an empty file: an old one of the same name is removed first.
bool create_empty(const std::string& name) {
  int ierr = 0;
  apri_elimina(name, ierr);
  std::ofstream f(name, std::ios::trunc);
  return ierr == 0 && static_cast<bool>(f);
}

std::string pad256(const std::string& line) {
  return line + std::string(256 - line.size(), ' ');
}

// Reads one free-form record of the given items or reports a read error.
void record(std::istream& in, int n, std::vector<std::string>& items,
            const char* routine, const std::string& file) {
  if (read_items(in, n, items) != read_status::ok)
    fatal(routine, "Error in reading file " + file);
}

template <class T>
T item(const std::string& s, const char* routine, const std::string& file) {
  T v{};
  bool ok;
  if constexpr (std::is_same_v<T, int>)
    ok = parse_int(s, v);
  else
    ok = parse_double(s, v);
  if (!ok) fatal(routine, "Error in reading file " + file);
  return v;
}

// Context line of the values of block n of the structure file, or of line
// `row` of its aperture block ("" when no structure file was read).
std::string block_context(int n) {
  if (fss_source.datafile.empty()) return "";
  return line_context(fss_source.datafile, fss_source.line[n], fss_source.text[n]);
}
std::string aperture_line_context(int row, const std::string& text) {
  if (fss_source.datafile.empty()) return "";
  return line_context(fss_source.datafile, fss_source.aperture_label + row, text);
}

// The aperture must fit its lattice: holes that overlap or touch their
// neighbours leave no screen between them.  Lengths in millimetres.
void check_fit(const elm_row* el, const std::string* text, int nel, const char* routine) {
  double tx = 0, ty = 0;
  int r1 = 0, r2 = 0;
  const int k = cell_overlap(el, nel, fss_cell_dim.a * 1000, fss_cell_dim.b * 1000,
                             fss_lattice_angle.alpha, tx, ty, r1, r2);
  if (k == 0) return;
  char shift[80];
  std::snprintf(shift, sizeof shift, "(%g, %g) mm", tx, ty);
  std::string where = block_context(1);
  if (k == 1) {
    if (!fss_source.datafile.empty()) {
      where += "\n " + aperture_line_context(r1, text[r1]);
      if (r2 != r1) where += "\n " + aperture_line_context(r2, text[r2]);
    }
    fatal(routine,
          std::string("The aperture does not fit in the unit cell: it meets its neighbour ") +
              "moved by " + shift + ", which leaves no screen between them",
          where);
  }
  fatal(routine, "The aperture does not fit in the unit cell: it spans too many cells", where);
}

}  // namespace

void warn_no_aperture_mode();

void genmodes_wg() {
  const char* routine = "genmodes_wg";
  const int nsc_in_file_fss = fss_screen.nsc;
  fss_screen.nsc = fss_screen.nwg1 = fss_screen.nwg2 = 0;
  fss_ap.n = 0;

  const std::string sapb = structure_name() + ".apb";
  const std::string job = job_name();
  const std::string japb = job + ".apb";
  const std::string jwg2 = job + ".wg2";

  std::ifstream in(sapb);
  if (!in) fatal(routine, "Error in opening file " + sapb);
  if (++fss_screen.nsc > nsc_in_file_fss) fatal(routine, "Too many screens in file .apb");
  if (++fss_ap.n > fss_ap.cap) fatal(routine, "Too many apertures");

  if (!create_empty(japb)) fatal(routine, "Error in opening file " + japb);
  {
    std::ofstream out(japb, std::ios::trunc);
    if (!out) fatal(routine, "Error in opening file " + japb);
    std::string line;
    int nline = 0;
    static elm_row el[elm_capacity + 1];
    static std::string el_line[elm_capacity + 1];
    int nel = 0;
    // The first aperture block ends at a line holding "#" or "$".
    while (read_record(in, line)) {
      if (line.find_first_of("#$") != std::string::npos) break;
      ++nline;
      elm_row e;
      bool port = false;
      const bool element = apb_parse_line(line, e, port).empty();
      if (element && nel < elm_capacity) {
        el[++nel] = e;
        el_line[nel] = line;
      }
      // A port line declares a symmetry plane: the solver would compute the
      // modes of one symmetry class on a part of the aperture only, and the
      // scattering analysis would take them for all the modes.
      if (port)
        fatal(routine, "Line " + std::to_string(nline) + " of the aperture boundary (block 4), \"" +
                           trim_right(line) +
                           "\", is a port line: symmetry planes are not accepted in a structure "
                           "file; describe the whole aperture",
              aperture_line_context(nline, line));
      out << pad256(line) << '\n';
      if (!out) fatal(routine, "Error in writing file " + japb);
    }
    check_fit(el, el_line, nel, routine);
    if (in.bad()) fatal(routine, "Error in reading file " + sapb);
    out.close();
    if (!out) fatal(routine, "Error in writing file " + japb);
  }

  const double maxfreqwg = dcspeed() * fss_kmax.wg / dpi(1);
  const int nsps = 3;
  const double accuracy_flag = 0.0;
  // Messages of the contour coder name the lines of the structure file.
  if (!fss_source.datafile.empty()) {
    apb_origin.file = fss_source.datafile;
    apb_origin.line0 = fss_source.aperture_label;
    apb_origin.limit = block_context(7);
  }
  calc_mode_wg(job, maxfreqwg, nsps, accuracy_flag);
  apb_origin = apb_origin_rec{};

  if (!file_exists(japb)) fatal(routine, "Error in opening file " + japb);
  std::remove(japb.c_str());

  readmodes_wg();
  read_coord();
  read_samples();

  in.close();
  std::remove(sapb.c_str());
  int ierr = 0;
  apri_elimina(jwg2, ierr);
  if (ierr) fatal(routine, "Error in opening file " + jwg2);
  if (fss_screen.nsc != nsc_in_file_fss)
    fatal(routine, "Mismatch in the number of screens (.fss / .apb)");
  if (fss_modewg_index.n == 0) warn_no_aperture_mode();
}

// A screen whose apertures hold no mode below the limit is solid for the
// analysis: a valid answer, but rarely the one meant.  The first cutoff is
// bounded from the aperture's area moments (the contour of the last mode
// computation, in its unit, filled with the permittivity of its header).
void warn_no_aperture_mode() {
  const double unit = std::pow(10.0, -xye_unit_code());
  const double kc = first_cutoff_bound() / unit;  // 1/m, empty guide
  const double eps = blok2[1][9] > 0 ? blok2[1][9] : 1;
  const double fc = dcspeed() * kc / dpi(1) / std::sqrt(eps) / 1e9;
  const double f7 = dcspeed() * fss_kmax.wg / dpi(1) / 1e9;
  char buf[400];
  std::snprintf(buf, sizeof buf,
                "No aperture mode lies below the largest frequency of the aperture modes "
                "(block 7, %.6g GHz): the screen is solid for the analysis and reflects "
                "totally. The first mode of the aperture starts below %.4g GHz; raise "
                "block 7 above that to let the apertures couple",
                f7, fc);
  warning("genmodes_wg", buf, block_context(7));
}

// Every record of the contour coder and the mode solver starts afresh for
// each aperture: capacities stored, counts emptied, caches to be rebuilt.
void prepare_solver_records(int nsps_in, double accuracy) {
  errors.code = 0;
  errors.message.clear();
  contour_capacities();
  amo.cap = 800;
  fbo.cap = 450;
  ltra.cap = 30;
  nsps = nsps_in;
  // The kernel tables are computed by the first formulation of the aperture
  // and reread by the later ones.
  green_first = 1;
  greenv_first = 1;
  greenha_done[1] = greenha_done[2] = 0;
  // Each mode file of the aperture is created by its first writer and merged
  // into by the later formulations and symmetry classes.
  write_wgm_first = 1;
  sample_pot_first = 1;
  sample_pottem_first = 1;
  port_integrals_first = 1;
  cofacc = accuracy;
}

void calc_mode_wg(const std::string& name, double fmax, int nsps, double accuracy) {
  static int file_wg2_first = 1;
  const char* routine = "calc_mode_wg";
  prepare_solver_records(nsps, accuracy);
  std::string working = name;
  // A filled aperture: the solver seeks the empty guide's modes up to the
  // limit's wavenumber in the filling (eps_r' in the contour header).
  const stack_item* screen = stack_screen();
  apb2dat(working, fmax, screen ? screen->eps : 1.0);
  if (errors.code != 0) fatal(routine, errors.message, apb_fault_context());

  if (file_wg2_first) {
    if (!create_empty(name + ".wg2")) fatal(routine, "Error in opening file " + name + ".wg2");
    file_wg2_first = 0;
  }
  {
    std::ofstream wg2(name + ".wg2", std::ios::app);
    wg2 << ' ' << std::string(50, '*') << '\n';
  }

  int ierr = 0;
  fss_analyzew(working, 0, ierr);
  if (errors.code != 0) fatal(routine, errors.message);
}

void readmodes_wg() {
  const char* routine = "readmodes_wg";
  const std::string file = job_name() + ".wgm";
  std::ifstream in(file);
  if (!in) fatal(routine, "Error in opening file " + file);
  std::vector<std::string> it;
  record(in, 1, it, routine, file);
  const int n_modes = item<int>(it[0], routine, file);
  if (n_modes < 0) fatal(routine, "Error in reading file " + file);
  if (fss_ap.n == 1) fss_modewg_index.n = 0;
  int& nw = fss_modewg_index.n;
  for (int k = 0; k < n_modes; ++k) {
    record(in, 2, it, routine, file);
    const double kappat = item<double>(it[0], routine, file);
    const int typeofmode = item<int>(it[1], routine, file);
    if (++nw > fss_modewg_index.cap) fatal(routine, "Too many waveguide modes");
    if (typeofmode < 0 || typeofmode > 2) fatal(routine, "Error in reading file " + file);
    fss_modewg_index[nw] = typeofmode;
    fss_modewg_kappa[nw] = kappat;
    fss_modewg_ap[nw] = fss_ap.n;
    fss_modewg_sc[nw] = fss_screen.nsc;
  }
  in.close();
  std::remove(file.c_str());
  fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = nw;
  if (fss_screen.nsc == 2)
    fss_screen.nwg2 += n_modes;
  else
    fss_screen.nwg1 += n_modes;
}

void read_coord() {
  const char* routine = "read_coord";
  const std::string file = job_name() + ".crd";
  std::ifstream in(file);
  if (!in) fatal(routine, "Error in opening file " + file);
  std::vector<std::string> it;
  record(in, 1, it, routine, file);
  const int curr_coord = item<int>(it[0], routine, file);
  if (curr_coord < 0) fatal(routine, "Error in reading file " + file);
  const int k = fss_ap.n;
  const int first = k == 1 ? 1 : fss_ap.r[k - 1].last + 1;
  const int last = first + curr_coord - 1;
  fss_ap.r[k] = {first, last};
  fss_coordinates.n = last;
  if (last > fss_coordinates.cap) fatal(routine, "Too many sample points.");
  for (int i = first; i <= last; ++i) {
    record(in, 4, it, routine, file);
    fss_coordinates[i] = {item<double>(it[0], routine, file), item<double>(it[1], routine, file)};
    fss_normals[i] = {item<double>(it[2], routine, file), item<double>(it[3], routine, file)};
  }
  fss_normals.n = last;
  in.close();
  std::remove(file.c_str());
}

// Reads n blocks of p samples, one sample per record; with `labelled`, each
// sample follows a diagnostic record, which is passed over.
static void sample_blocks(std::istream& in, long count, bool labelled, std::vector<double>& v,
                          const char* routine, const std::string& file) {
  std::vector<std::string> it;
  std::string line;
  v.resize(count);
  for (long i = 0; i < count; ++i) {
    if (labelled && !std::getline(in, line)) fatal(routine, "Error in reading file " + file);
    record(in, 1, it, routine, file);
    v[i] = item<double>(it[0], routine, file);
  }
}

void read_samples() {
  const char* routine = "read_samples";
  const std::string file = job_name() + ".smp", tem_file = job_name() + ".smpTEM";
  std::ifstream in(file);
  if (!in) fatal(routine, "Error in opening file " + file);
  std::vector<std::string> it;
  record(in, 2, it, routine, file);
  const int nmode_wg = item<int>(it[0], routine, file);
  const int curr_coord = item<int>(it[1], routine, file);
  if (nmode_wg < 0 || curr_coord < 0) fatal(routine, "Error in reading file " + file);
  // The samples must belong to the modes and to the points just read: a
  // mismatch would pair samples with the wrong modes.  TE and TM modes are
  // sampled in ".smp", TEM modes in ".smpTEM".
  int sampled = 0, tem = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j)
    if (fss_modewg_ap[j] == fss_ap.n) ++(fss_modewg_index[j] == wg_tem ? tem : sampled);
  const fss_ap_rec::range& pts = fss_ap.r[fss_ap.n];
  const int np = pts.last - pts.first + 1;
  const long first = fss_ap.n == 1 ? 1 : fss_samplewg.n + 1;
  const long total = first - 1 + static_cast<long>(nmode_wg + tem) * curr_coord;
  if (total > fss_samplewg.cap) fatal(routine, "Too many samples");
  if (nmode_wg != sampled || curr_coord != np)
    fatal(routine, "Error in reading file " + file +
                       ": its mode or point count does not match the .wgm and .crd files");
  std::vector<double> te_tm, dphi;
  sample_blocks(in, static_cast<long>(nmode_wg) * np, false, te_tm, routine, file);
  in.close();
  std::remove(file.c_str());
  if (tem > 0) {
    // The derivative pass (dphi/dn x weight), after the potential pass.
    std::ifstream t(tem_file);
    if (!t) fatal(routine, "Error in opening file " + tem_file);
    record(t, 2, it, routine, tem_file);
    if (item<int>(it[0], routine, tem_file) != tem || item<int>(it[1], routine, tem_file) != np)
      fatal(routine, "Error in reading file " + tem_file +
                         ": its mode or point count does not match the .wgm and .crd files");
    std::vector<double> potential;
    sample_blocks(t, static_cast<long>(tem) * np, true, potential, routine, tem_file);
    sample_blocks(t, static_cast<long>(tem) * np, true, dphi, routine, tem_file);
    t.close();
    std::remove(tem_file.c_str());
  }
  // Catalogue order: each mode's block from its own file.
  long k = first, next_tm = 0, next_tem = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    if (fss_modewg_ap[j] != fss_ap.n) continue;
    const bool is_tem = fss_modewg_index[j] == wg_tem;
    const std::vector<double>& src = is_tem ? dphi : te_tm;
    long& next = is_tem ? next_tem : next_tm;
    for (int i = 0; i < np; ++i) fss_samplewg[static_cast<int>(k++)] = src[next++];
  }
  fss_samplewg.n = static_cast<int>(total);
}

void write_mode_table() {
  const std::string file = structure_name() + ".modes";
  note_result_file(file);
  std::remove(file.c_str());
  std::ofstream out(file, std::ios::trunc);
  if (!out) fatal("write_mode_table", "Error in opening file " + file);
  auto line = [&](const std::string& text) {
    out << text << '\n';
    console_line(text);
  };
  console_line("");
  const stack_item* screen = stack_screen();
  const double fill_eps = screen ? screen->eps : 1.0;
  line("# number kind kc[1/m] fc[GHz] Z[ohm]");
  char buf[128];
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const int kind = fss_modewg_index[j];
    if (kind == wg_tem) {
      std::snprintf(buf, sizeof buf, "%d TEM 0 0 %.10g", j, fss_modewg_kappa[j]);
    } else {
      const double kc = fss_modewg_kappa[j];
      // The cutoff frequency in the filling of the aperture.
      std::snprintf(buf, sizeof buf, "%d %s %.10g %.10g -", j, kind == wg_te ? "TE" : "TM", kc,
                    kc * dcspeed() / dpi(1) / 1e9 / std::sqrt(fill_eps));
    }
    line(buf);
  }
  out.close();
  if (!out) fatal("write_mode_table", "Error in writing file " + file);
  console_line("");
}
