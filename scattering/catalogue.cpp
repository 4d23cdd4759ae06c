#include "scattering/catalogue.hpp"
#include "scattering/classes.hpp"
#include "scattering/parities.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <type_traits>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "contour/contour.hpp"
#include "contour/quarter.hpp"
#include "modefields/mode_files.hpp"
#include "modesolver/bessel_zeros.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/lapack.hpp"
#include "modesolver/fss_analyzew.hpp"
#include "modesolver/solver_tables.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/stack.hpp"

aperture_modes modes_of_aperture(int ap) {
  aperture_modes m;
  long p = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const fss_ap_rec::range& r = fss_ap.r[fss_modewg_ap[j]];
    if (fss_modewg_ap[j] == ap) {
      m.j.push_back(j);
      m.first.push_back(p);
    }
    p += r.last - r.first + 1;
  }
  return m;
}

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

// An aperture of the boundary file: its screen, the row of its first line
// (row 1 is the first line of the file, line `aperture_label` + row of the
// structure file), its lines and its elements (file form, mm; 1 ..).
struct aperture_block {
  int screen = 1;
  int row = 1;
  std::vector<std::string> lines;
  std::vector<elm_row> el = std::vector<elm_row>(1);
  std::vector<int> el_row = std::vector<int>(1);
  int nel() const { return static_cast<int>(el.size()) - 1; }
};

// The file split at its lines holding "#" (next aperture) or "$" (next
// screen); a file that ends on such a line has no aperture after it.
std::vector<aperture_block> split_apertures(const std::vector<std::string>& rows) {
  std::vector<aperture_block> blocks(1);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].find_first_of("#$") == std::string::npos) {
      blocks.back().lines.push_back(rows[r]);
      continue;
    }
    aperture_block next;
    next.screen = blocks.back().screen + (rows[r].find('$') != std::string::npos ? 1 : 0);
    next.row = static_cast<int>(r) + 2;
    if (r + 1 == rows.size()) break;
    blocks.push_back(next);
  }
  return blocks;
}

// The elements of an aperture; a port line (a symmetry plane) is refused:
// the solver would compute the modes of one symmetry class on a part of the
// aperture only, and the scattering analysis would take them for all.
void parse_elements(aperture_block& b, const char* routine) {
  for (std::size_t k = 0; k < b.lines.size(); ++k) {
    const std::string& line = b.lines[k];
    const int row = b.row + static_cast<int>(k);
    elm_row e;
    bool port = false;
    const bool element = apb_parse_line(line, e, port).empty();
    if (port)
      fatal(routine, "Line " + std::to_string(row) + " of the aperture boundary (block 4), \"" +
                         trim_right(line) +
                         "\", is a port line: symmetry planes are not accepted in a structure "
                         "file; describe the whole aperture",
            aperture_line_context(row, line));
    if (element && b.nel() < elm_capacity) {
      b.el.push_back(e);
      b.el_row.push_back(row);
    }
  }
}

std::string shift_text(double tx, double ty) {
  char shift[80];
  std::snprintf(shift, sizeof shift, "(%g, %g) mm", tx, ty);
  return shift;
}

// The context lines of the given elements of apertures (0: none).
std::string element_context(const aperture_block& a, int i, const aperture_block* b = nullptr,
                            int j = 0) {
  std::string where = block_context(1);
  if (fss_source.datafile.empty()) return where;
  auto add = [&](const aperture_block& x, int k) {
    const int row = x.el_row[k];
    where += "\n " + aperture_line_context(row, x.lines[row - x.row]);
  };
  if (i > 0) add(a, i);
  if (b && j > 0 && (b != &a || j != i)) add(*b, j);
  return where;
}

// The aperture must fit its lattice: holes that overlap or touch their
// neighbours leave no screen between them.  Lengths in millimetres.
void check_fit(const aperture_block& b, const char* routine) {
  double tx = 0, ty = 0;
  int r1 = 0, r2 = 0;
  const int k = cell_overlap(b.el.data(), b.nel(), fss_cell_dim.a * 1000, fss_cell_dim.b * 1000,
                             fss_lattice_angle.alpha, tx, ty, r1, r2);
  if (k == 0) return;
  if (k == 1)
    fatal(routine,
          std::string("The aperture does not fit in the unit cell: it meets its neighbour ") +
              "moved by " + shift_text(tx, ty) + ", which leaves no screen between them",
          element_context(b, r1, &b, r2));
  fatal(routine, "The aperture does not fit in the unit cell: it spans too many cells",
        element_context(b, 0));
}

// Two apertures of one screen may not overlap or touch, nor may either
// touch the other's copies in the lattice.
void check_pair(const aperture_block& a, const aperture_block& b, const char* routine) {
  double tx = 0, ty = 0;
  int r1 = 0, r2 = 0;
  const int k = apertures_overlap(a.el.data(), a.nel(), b.el.data(), b.nel(), fss_cell_dim.a * 1000,
                                  fss_cell_dim.b * 1000, fss_lattice_angle.alpha, tx, ty, r1, r2);
  if (k == 0) return;
  // Where they begin: lines of the structure file, or rows of the boundary file.
  const bool file = !fss_source.datafile.empty();
  const int shift = file ? fss_source.aperture_label : 0;
  const std::string lines = std::string("The apertures beginning on ") + (file ? "lines " : "rows ") +
                            std::to_string(a.row + shift) + " and " + std::to_string(b.row + shift) +
                            (file ? "" : " of the aperture boundary");
  const std::string moved = tx == 0 && ty == 0 ? "" : " (the second moved by " + shift_text(tx, ty) + ")";
  if (k == 1)
    fatal(routine, lines + " meet" + moved + ": apertures of one screen may not overlap or touch",
          element_context(a, r1, &b, r2));
  if (k == 3)
    fatal(routine, lines + " overlap" + moved + ": one lies inside the other",
          r1 > 0 ? element_context(a, r1) : element_context(b, r2));
  fatal(routine, lines + " lie too many cells apart", element_context(a, 0));
}

// An earlier aperture of which this one is a translated copy (modes of
// the same shape in the same filling), 0 when none; its shift in mm.
int find_copy(const std::vector<aperture_block>& blocks, std::size_t k, double& dx, double& dy) {
  const aperture_block& b = blocks[k];
  const stack_item* fb = stack_screen(b.screen);
  const double eps_b = fb ? fb->eps : 1.0;
  for (std::size_t i = 0; i < k; ++i) {
    const aperture_block& a = blocks[i];
    const stack_item* fa = stack_screen(a.screen);
    if ((fa ? fa->eps : 1.0) != eps_b) continue;
    if (translated_copy(a.el.data(), a.nel(), b.el.data(), b.nel(), dx, dy))
      return static_cast<int>(i) + 1;
  }
  return 0;
}

// The modes of aperture `from` taken again for the current aperture, its
// points moved by (dx, dy) m: the same kinds, cutoffs and samples.
void copy_aperture_modes(int from, double dx, double dy) {
  const int k = fss_ap.n;
  const fss_ap_rec::range src = fss_ap.r[from];
  const int np = src.last - src.first + 1;
  // Samples of each mode of `from`: its block of points, in catalogue order.
  const aperture_modes of = modes_of_aperture(from);
  const std::vector<int>& modes = of.j;
  const std::vector<long>& first_sample = of.first;
  int& nw = fss_modewg_index.n;
  for (int j : modes) {
    if (++nw > fss_modewg_index.cap) fatal("readmodes_wg", "Too many waveguide modes");
    fss_modewg_index[nw] = fss_modewg_index[j];
    fss_modewg_kappa[nw] = fss_modewg_kappa[j];
    fss_modewg_ap[nw] = k;
    fss_modewg_sc[nw] = fss_screen.nsc;
  }
  fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = nw;
  if (fss_screen.nsc == 1) fss_screen.nwg1 += static_cast<int>(modes.size());
  if (fss_screen.nsc == 2) fss_screen.nwg2 += static_cast<int>(modes.size());

  const int first = fss_ap.r[k - 1].last + 1, last = first + np - 1;
  fss_ap.r[k].first = first;
  fss_ap.r[k].last = last;
  fss_coordinates.n = fss_normals.n = last;
  if (last > fss_coordinates.cap) fatal("read_coord", "Too many sample points.");
  for (int i = 0; i < np; ++i) {
    const xy p = fss_coordinates[src.first + i];
    fss_coordinates[first + i] = {p.x + dx, p.y + dy};
    fss_normals[first + i] = fss_normals[src.first + i];
  }
  const long total = fss_samplewg.n + static_cast<long>(modes.size()) * np;
  if (total > fss_samplewg.cap) fatal("read_samples", "Too many samples");
  fss_samplewg.hold(total);
  long put = fss_samplewg.n;
  for (long f : first_sample)
    for (int i = 1; i <= np; ++i) fss_samplewg[static_cast<int>(++put)] = fss_samplewg[static_cast<int>(f + i)];
  fss_samplewg.n = static_cast<int>(total);
}

// The parity of a mode's contour samples under the mirror of one symmetry
// plane, from the class selector of that plane: +1 keeps Ez and the TEM
// potential even, Hz odd.  TM and TEM samples are normal derivatives of
// those, TE samples the current, Hz on the wall.
double sample_parity(int kind, int selector) { return kind == wg_te ? -selector : selector; }

// The modes of a quarter solved in its four symmetry classes, unfolded to
// the whole aperture about (cx, cy) (m): the quarter's points followed by
// their images under x -> -x, y -> -y and both (normals mirrored), each
// mode's samples there times its parities, and the modes put in the order
// of a whole outline's (TEM, TE, TM, cutoffs ascending).  The quarter's
// samples carry the factor sqrt(2) (single precision) per symmetry plane
// that a description by its symmetry planes gives them; the whole outline's
// mode, of unit norm over the whole aperture, has half their amplitude.
void unfold_quarter(double cx, double cy) {
  const char* routine = "read_samples";
  const int k = fss_ap.n;
  fss_ap_rec::range& r = fss_ap.r[k];
  const int nq = r.last - r.first + 1, np = 4 * nq;
  const aperture_modes of = modes_of_aperture(k);
  const int nm = static_cast<int>(of.j.size());
  if (nm != static_cast<int>(mode_file_classes.size()))
    fatal(routine, "The symmetry classes of the modes do not match the mode file");
  if (r.first + np - 1 > fss_coordinates.cap) fatal("read_coord", "Too many sample points.");
  const long first = nm > 0 ? of.first[0] + 1 : fss_samplewg.n + 1;
  const long total = first - 1 + static_cast<long>(nm) * np;
  if (total > fss_samplewg.cap) fatal(routine, "Too many samples");

  const std::vector<xy> pts(&fss_coordinates[r.first], &fss_coordinates[r.first] + nq);
  const std::vector<xy> nrm(&fss_normals[r.first], &fss_normals[r.first] + nq);
  for (int m = 0; m < 4; ++m) {
    const double sx = m & 1 ? -1 : 1, sy = m & 2 ? -1 : 1;
    for (int i = 0; i < nq; ++i) {
      fss_coordinates[r.first + m * nq + i] = {cx + sx * pts[i].x, cy + sy * pts[i].y};
      fss_normals[r.first + m * nq + i] = {sx * nrm[i].x, sy * nrm[i].y};
    }
  }
  r.last = r.first + np - 1;
  r.quarter = nq;
  fss_coordinates.n = fss_normals.n = r.last;

  // Catalogue order: TEM, TE, TM, each by ascending cutoff (stable).
  std::vector<int> order(nm);
  for (int i = 0; i < nm; ++i) order[i] = i;
  auto rank = [](int kind) { return kind == wg_tem ? 0 : kind == wg_te ? 1 : 2; };
  std::vector<int> kind(nm);
  std::vector<double> kappa(nm);
  for (int i = 0; i < nm; ++i) kind[i] = fss_modewg_index[of.j[i]], kappa[i] = fss_modewg_kappa[of.j[i]];
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    if (rank(kind[a]) != rank(kind[b])) return rank(kind[a]) < rank(kind[b]);
    return kind[a] != wg_tem && kappa[a] < kappa[b];
  });
  std::vector<double> quarter(&fss_samplewg[static_cast<int>(first)],
                              &fss_samplewg[static_cast<int>(first)] + static_cast<long>(nm) * nq);
  fss_samplewg.hold(total);
  const double scale = 1 / (plane_sample_factor() * plane_sample_factor());
  long put = first;
  for (int i = 0; i < nm; ++i) {
    const int o = order[i];
    fss_modewg_index[of.j[i]] = kind[o];
    fss_modewg_kappa[of.j[i]] = kappa[o];
    const mode_class c = mode_file_classes[o];
    const double px = sample_parity(kind[o], c.symy), py = sample_parity(kind[o], c.symx);
    for (int m = 0; m < 4; ++m) {
      const double f = scale * (m & 1 ? px : 1) * (m & 2 ? py : 1);
      for (int p = 0; p < nq; ++p) fss_samplewg[static_cast<int>(put++)] = f * quarter[static_cast<long>(o) * nq + p];
    }
  }
  fss_samplewg.n = static_cast<int>(total);
}

bool tables_hold(const std::string& name, double f, int nsps, double accuracy);

// The boundary lines of the aperture to be coded, into the job's file.
void write_boundary(const std::string& japb, const std::vector<std::string>& lines, const char* routine) {
  errno = 0;
  if (!create_empty(japb)) fatal(routine, file_fault("Error in opening file ", japb));
  std::ofstream out(japb, std::ios::trunc);
  if (!out) fatal(routine, file_fault("Error in opening file ", japb));
  for (const std::string& line : lines) {
    out << pad256(line) << '\n';
    if (!out) fatal(routine, file_fault("Error in writing file ", japb));
  }
  out.close();
  if (!out) fatal(routine, file_fault("Error in writing file ", japb));
}

// Codes the aperture and runs the mode solver on it, then reads the modes,
// points and samples into the catalogue.  An aperture symmetric under both
// mirrors is solved on its quarter in the four symmetry classes when the
// modes are many: a quarter of the order per class, a sixteenth of the
// eigen-work, and modes of pure parity by construction.
void compute_aperture_modes(const aperture_block& b, const std::string& japb, const char* routine,
                            bool by_quarters) {
  mirror_quarter q;
  bool quarter = by_quarters && quarter_of_outline(b.el.data(), b.nel(), q);
  write_boundary(japb, quarter ? q.lines : b.lines, routine);
  const double maxfreqwg = dcspeed() * fss_kmax.wg / dpi(1);
  const int nsps = 3;
  // "-fine": the boundary elements sized from twice the limit and the
  // enclosing-guide modes summed to four times it (accuracy setting 10,
  // twice the plain run's reach), so that the modes near the limit are as
  // accurate as the first ones; the mode search still ends at the limit.
  const bool fine = fss_writeinfo.fine != 0;
  element_margin.factor = fine ? fine_element_margin : 1.0;
  const double accuracy_flag = fine ? fine_accuracy : 0.0;
  // A quarter that the coder or the solver's tables do not take is solved
  // whole (whose messages then name the structure file's lines).
  if (quarter && !tables_hold(job_name(), maxfreqwg, nsps, accuracy_flag)) {
    quarter = false;
    write_boundary(japb, b.lines, routine);
  }
  // Messages of the contour coder name the lines of the structure file.
  if (!fss_source.datafile.empty()) {
    apb_origin.file = fss_source.datafile;
    apb_origin.line0 = fss_source.aperture_label + b.row - 1;
    apb_origin.limit = block_context(7);
  }
  calc_mode_wg(job_name(), maxfreqwg, nsps, accuracy_flag, quarter, quarter && !q.inner_run.empty());
  release_solver_matrices();
  apb_origin = apb_origin_rec{};
  element_margin.factor = 1.0;

  if (!file_exists(japb)) fatal(routine, "Error in opening file " + japb);
  std::remove(japb.c_str());

  readmodes_wg();
  read_coord();
  read_samples();
  // A bound on the first cutoff, from the contour just coded; for a quarter
  // the disc's of the whole area (mm -> 1/m).
  fss_ap.r[fss_ap.n].kc_bound = quarter ? disc_cutoff_bound(q.area) * 1000
                                        : first_cutoff_bound() / std::pow(10.0, -xye_unit_code());
  if (quarter) unfold_quarter(q.cx * 0.001, q.cy * 0.001);
}

}  // namespace

void warn_no_aperture_mode(int screen);

void genmodes_wg() {
  const char* routine = "genmodes_wg";
  const int nsc_in_file_fss = fss_screen.nsc;
  fss_screen.nsc = fss_screen.nwg1 = fss_screen.nwg2 = 0;
  fss_ap.n = 0;

  const std::string sapb = structure_name() + ".apb";
  const std::string job = job_name();
  const std::string japb = job + ".apb";
  const std::string jwg2 = job + ".wg2";

  errno = 0;
  std::ifstream in(sapb);
  if (!in) fatal(routine, file_fault("Error in opening file ", sapb));
  std::vector<std::string> rows;
  for (std::string line; read_record(in, line);) rows.push_back(line);
  if (in.bad()) fatal(routine, "Error in reading file " + sapb);
  std::vector<aperture_block> blocks = split_apertures(rows);

  // Screens and apertures within their capacities, then the geometry of
  // every aperture before any mode is computed.
  {
    int per_screen = 0;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      if (blocks[k].screen > nsc_in_file_fss) fatal(routine, "Too many screens in file .apb");
      if (static_cast<int>(k) + 1 > fss_ap.cap) fatal(routine, "Too many apertures");
      per_screen = k > 0 && blocks[k].screen == blocks[k - 1].screen ? per_screen + 1 : 1;
      if (per_screen > max_screen_apertures)
        fatal(routine, "Too many apertures in screen " + std::to_string(blocks[k].screen) +
                           " (at most " + std::to_string(max_screen_apertures) + ")");
    }
  }
  fss_ap.r.assign(blocks.size() + 1, fss_ap_rec::range{});
  bool by_quarters = false;
  for (aperture_block& b : blocks) parse_elements(b, routine);
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    check_fit(blocks[k], routine);
    for (std::size_t i = 0; i < k; ++i)
      if (blocks[i].screen == blocks[k].screen) check_pair(blocks[i], blocks[k], routine);
  }
  // Apertures whose modes below the limit clearly outnumber the table stop
  // here, not after the mode computation.
  {
    std::vector<std::pair<const elm_row*, int>> outlines;
    for (const aperture_block& b : blocks) outlines.push_back({b.el.data(), b.nel()});
    check_aperture_mode_estimate(outlines, routine);
    by_quarters = clearly_too_many(aperture_mode_estimate(outlines), quarter_split_modes);
  }

  for (std::size_t k = 0; k < blocks.size(); ++k) {
    const aperture_block& b = blocks[k];
    while (fss_screen.nsc < b.screen) ++fss_screen.nsc;
    ++fss_ap.n;
    fss_ap_rec::range& r = fss_ap.r[fss_ap.n];
    r.screen = b.screen;
    // A translated copy of an earlier aperture takes its modes.
    double dx = 0, dy = 0;
    const int from = find_copy(blocks, k, dx, dy);
    if (from > 0) {
      r.copy = from;
      r.dx = dx * 0.001;
      r.dy = dy * 0.001;
      r.kc_bound = fss_ap.r[from].kc_bound;
      r.quarter = fss_ap.r[from].quarter;
      copy_aperture_modes(from, r.dx, r.dy);
    } else {
      compute_aperture_modes(b, japb, routine, by_quarters);
    }
  }

  in.close();
  std::remove(sapb.c_str());
  int ierr = 0;
  apri_elimina(jwg2, ierr);
  if (ierr) fatal(routine, "Error in opening file " + jwg2);
  if (fss_screen.nsc != nsc_in_file_fss)
    fatal(routine, "Mismatch in the number of screens (.fss / .apb)");
  for (int sc = 1; sc <= fss_screen.nsc; ++sc) warn_no_aperture_mode(sc);
  // The modes turned to pure mirror parities, so that the classes of a
  // symmetric structure's system come apart, where the system is split into
  // its classes (a plain run's table keeps the solver's modes bit for bit).
  if (fss_modewg_index.n >= class_split_modes) pure_mirror_parities_of_catalogue();
}

// A screen whose apertures hold no mode below the limit is solid for the
// analysis: a valid answer, but rarely the one meant.  The first cutoff is
// bounded from the apertures' area moments (the least of their bounds, in
// the filling of the screen).
void warn_no_aperture_mode(int screen) {
  int apertures = 0;
  double kc = 0;  // 1/m, empty guide
  for (int a = 1; a <= fss_ap.n; ++a) {
    if (fss_ap.r[a].screen != screen) continue;
    kc = apertures++ == 0 ? fss_ap.r[a].kc_bound : std::fmin(kc, fss_ap.r[a].kc_bound);
  }
  for (int j = 1; j <= fss_modewg_index.n; ++j)
    if (fss_modewg_sc[j] == screen) return;
  const stack_item* fill = stack_screen(screen);
  const double eps = fill && fill->eps > 0 ? fill->eps : 1;
  const double fc = dcspeed() * kc / dpi(1) / std::sqrt(eps) / 1e9;
  const double f7 = dcspeed() * fss_kmax.wg / dpi(1) / 1e9;
  const std::string which = fss_screen.nsc > 1 ? " of screen " + std::to_string(screen) : "";
  char buf[480];
  std::snprintf(buf, sizeof buf,
                "No aperture mode%s lies below the largest frequency of the aperture modes "
                "(block 7, %.6g GHz): the screen is solid for the analysis and reflects "
                "totally. The first mode of %s starts below %.4g GHz; raise "
                "block 7 above that to let the apertures couple",
                which.c_str(), f7, apertures > 1 ? "its apertures" : "the aperture", fc);
  warning("genmodes_wg", buf, block_context(7));
}

// Every record of the contour coder and the mode solver starts afresh for
// each aperture: capacities stored, counts emptied, caches to be rebuilt.
void prepare_solver_records(int nsps_in, double accuracy) {
  errors.code = 0;
  errors.message.clear();
  contour_capacities();
  // A plain run's tables, grown with the limits of a convergence pass.
  // The elements a margin shorter make as many more points and basis
  // functions, and the enclosing-guide modes of a finer run its square.
  const double s = std::min(std::max(solver_scale * element_margin.factor, 1.0),
                            static_cast<double>(solver_scale_bound));
  sample_point_capacity(static_cast<int>(std::ceil(xypts_capacity * s)));
  blok2.cap = std::min(static_cast<int>(std::ceil(xye_capacity * s)), xye_bound);
  amo.set_capacity(static_cast<int>(std::ceil(800 * s * s)));
  fbo.set_capacity(static_cast<int>(std::ceil(450 * s)));
  ltra.set_capacity(static_cast<int>(std::ceil(30 * s)));
  vet2.set_capacity(amo.cap);
  // The zeros of the circular enclosure's modes reach as far as the limit.
  bzero_reach = bzero_limit * s;
  vet1.set_capacity(amo.cap + fbo.cap);
  solver_matrix_capacities();
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

namespace {

// Whether the tables of the mode computation hold the aperture coded
// afresh at the limit f (Hz); a coding that fails counts as not holding.
// A filled aperture: the solver seeks the empty guide's modes up to the
// limit's wavenumber in the filling (eps_r' in the contour header) of the
// screen being read.
double filling_eps() {
  const stack_item* screen = stack_screen(fss_screen.nsc > 1 ? fss_screen.nsc : 1);
  return screen ? screen->eps : 1.0;
}

bool tables_hold(const std::string& name, double f, int nsps, double accuracy) {
  prepare_solver_records(nsps, accuracy);
  std::string working = name;
  const bool trap = fatal_trap_on();
  set_fatal_trap(true);
  bool holds = false;
  try {
    apb2dat(working, f, filling_eps());
    solver_table_fault fault;
    holds = errors.code == 0 && !solver_tables_outgrown(fault);
  } catch (const fss_fatal_error&) {
  }
  set_fatal_trap(trap);
  return holds;
}

// The largest limit below fmax (GHz, four significant digits, rounded
// down) at which the tables hold the aperture, by bisection between a limit
// that holds it (fmax halved until one does) and fmax; 0 when none down to
// fmax / 1024 does.
double holding_limit(const std::string& name, double fmax, int nsps, double accuracy) {
  double lo = fmax;
  bool holds = false;
  while (!holds && lo > fmax / 1024) holds = tables_hold(name, lo /= 2, nsps, accuracy);
  if (!holds) return 0;
  double hi = fmax;
  while (hi - lo > 1e-5 * hi) {
    const double mid = 0.5 * (lo + hi);
    (tables_hold(name, mid, nsps, accuracy) ? lo : hi) = mid;
  }
  const double ghz = lo / 1e9;
  const double unit = std::pow(10.0, std::floor(std::log10(ghz)) - 3);
  double shown = std::floor(ghz / unit) * unit;
  for (int k = 0; k < 3 && !tables_hold(name, shown * 1e9, nsps, accuracy); ++k) shown -= unit;
  return shown;
}

std::string number(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

// A table of the mode computation outgrown at the limit fmax (Hz): the
// message names the table, block 7 and the limit up to which it holds.
[[noreturn]] void table_outgrown(const std::string& name, double fmax, int nsps, double accuracy,
                                 const solver_table_fault& t) {
  std::string msg = "Mode solver table of " + t.what + " (" + t.record + ") outgrown at block 7 = " +
                    number(fmax / 1e9) + " GHz: ";
  msg += t.need > 0 ? std::to_string(t.need) + " for " + std::to_string(t.capacity)
                    : "more than " + std::to_string(t.capacity);
  if (!t.by_limit) {
    msg += "; a lower block 7 does not reduce them";
  } else {
    const std::string context = apb_origin.limit;
    const double fit = holding_limit(name, fmax, nsps, accuracy);
    apb_origin.limit = context;
    msg += fit > 0 ? "; block 7 up to " + number(fit) + " GHz fits"
                   : "; no block 7 down to " + number(fmax / 1024 / 1e9) + " GHz fits";
  }
  fatal("calc_mode_wg", msg, apb_origin.limit);
}

}  // namespace

namespace {
// The job's ".wg2" file is created anew by the first mode computation of a
// run and appended to by the later ones.
int file_wg2_first = 1;
}  // namespace

void catalogue_reset() { file_wg2_first = 1; }

int quarter_split_modes = max_wg_modes;
int quarter_eigen_order = 1;

void calc_mode_wg(const std::string& name, double fmax, int nsps, double accuracy, bool every_class,
                  bool inner_run) {
  const char* routine = "calc_mode_wg";
  prepare_solver_records(nsps, accuracy);
  std::string working = name;
  apb2dat(working, fmax, filling_eps());
  if (errors.code != 0) fatal(routine, errors.message, apb_fault_context());
  if (inner_run) label_inner_conductor_run();
  // Every table the mode computation fills, counted before the work.
  solver_table_fault fault;
  if (solver_tables_outgrown(fault)) table_outgrown(name, fmax, nsps, accuracy, fault);

  if (file_wg2_first) {
    errno = 0;
    if (!create_empty(name + ".wg2")) fatal(routine, file_fault("Error in opening file ", name + ".wg2"));
    file_wg2_first = 0;
  }
  {
    std::ofstream wg2(name + ".wg2", std::ios::app);
    wg2 << ' ' << std::string(50, '*') << '\n';
  }

  // A quarter's classes (never a plain run's) take the large problems' drivers
  // from quarter_eigen_order on.
  struct order_back {
    int saved = large_eigenproblem_order;
    ~order_back() { large_eigenproblem_order = saved; }
  } order;
  if (every_class) large_eigenproblem_order = std::min(large_eigenproblem_order, quarter_eigen_order);
  int ierr = 0;
  fss_analyzew(working, 0, ierr, every_class);
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
  // The whole list is read before the table is filled, so that a list
  // longer than the table is reported with its count.
  std::vector<double> kappa(n_modes > 0 ? n_modes : 0);
  std::vector<int> kind(kappa.size());
  for (int k = 0; k < n_modes; ++k) {
    record(in, 2, it, routine, file);
    kappa[k] = item<double>(it[0], routine, file);
    kind[k] = item<int>(it[1], routine, file);
    if (kind[k] < 0 || kind[k] > 2) fatal(routine, "Error in reading file " + file);
  }
  if (static_cast<long>(nw) + n_modes > fss_modewg_index.cap) {
    // TEM modes hold their impedance in place of a cutoff.
    std::vector<double> kc;
    for (int k = 0; k < n_modes; ++k)
      if (kind[k] != wg_tem) kc.push_back(kappa[k]);
    too_many_waveguide_modes(kc, n_modes - static_cast<int>(kc.size()) + nw, routine);
  }
  for (int k = 0; k < n_modes; ++k) {
    ++nw;
    fss_modewg_index[nw] = kind[k];
    fss_modewg_kappa[nw] = kappa[k];
    fss_modewg_ap[nw] = fss_ap.n;
    fss_modewg_sc[nw] = fss_screen.nsc;
  }
  in.close();
  std::remove(file.c_str());
  fss_modewg_kappa.n = fss_modewg_ap.n = fss_modewg_sc.n = nw;
  if (fss_screen.nsc <= 1) fss_screen.nwg1 += n_modes;
  if (fss_screen.nsc == 2) fss_screen.nwg2 += n_modes;
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
  fss_ap.r[k].first = first;
  fss_ap.r[k].last = last;
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
  fss_samplewg.hold(total);
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

double mode_cutoff_ghz(int j) {
  if (fss_modewg_index[j] == wg_tem) return 0;
  const stack_item* screen = stack_screen(fss_modewg_sc[j]);
  const double fill_eps = screen ? screen->eps : 1.0;
  return fss_modewg_kappa[j] * dcspeed() / dpi(1) / 1e9 / std::sqrt(fill_eps);
}

void write_mode_table() {
  const std::string file = structure_name() + ".modes";
  note_result_file(file);
  std::remove(file.c_str());
  errno = 0;
  std::ofstream out(file, std::ios::trunc);
  if (!out) fatal("write_mode_table", file_fault("Error in opening file ", file));
  auto line = [&](const std::string& text) {
    out << text << '\n';
    console_line(text);
  };
  console_line("");
  line("# number kind kc[1/m] fc[GHz] Z[ohm] screen aperture");
  char buf[160];
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const int kind = fss_modewg_index[j];
    const int sc = fss_modewg_sc[j];
    if (kind == wg_tem) {
      std::snprintf(buf, sizeof buf, "%d TEM 0 0 %.10g %d %d", j, fss_modewg_kappa[j], sc,
                    fss_modewg_ap[j]);
    } else {
      std::snprintf(buf, sizeof buf, "%d %s %.10g %.10g - %d %d", j, kind == wg_te ? "TE" : "TM",
                    fss_modewg_kappa[j], mode_cutoff_ghz(j), sc, fss_modewg_ap[j]);
    }
    line(buf);
  }
  errno = 0;
  out.close();
  if (!out) fatal("write_mode_table", file_fault("Error in writing file ", file));
  console_line("");
}
