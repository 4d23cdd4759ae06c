#include "scattering/results.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "run/options.hpp"
#include "run/runfiles.hpp"
#include "scattering/stack.hpp"
#include "scattering/system.hpp"

std::string fixed_field(double x, int w, int d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.*f", w, d, x);
  std::string s = buf;
  if (static_cast<int>(s.size()) > w || !std::isfinite(x)) return std::string(w, '*');
  return s;
}

double db_floor(double magnitude) {
  const double floor = 1.0001002010540105E-5;
  if (!(magnitude >= floor)) magnitude = floor;  // NaN gives the floor too
  return 20 * std::log10(magnitude);
}

std::string result_name(const std::string& suffix) {
  return delfirstspaces(trim_right(fss_file.name) + suffix);
}

std::string structure_title() {
  // The data file's name without ".fss", when the result files are named
  // from it (the output folder aside).
  const std::string base = trim_right(fss_file.name);
  const std::string& d = fss_source.datafile;
  if (d.size() <= 4 || d.compare(d.size() - 4, 4, ".fss") != 0) return base;
  const std::string given = d.substr(0, d.size() - 4);
  return std::filesystem::path(given).filename() == std::filesystem::path(base).filename() ? given : base;
}

bool first_frequency() { return fss_em_var.f < fss_freq_iter.start + 0.5 * fss_freq_iter.step; }

static std::string out_name() { return result_name(".out"); }

static void free_line(std::ostream& o, const std::string& text = "") {
  if (text.empty())
    o << '\n';
  else
    o << ' ' << text << '\n';
}

void write_output() {
  const std::string name = out_name();
  note_result_file(name);
  std::remove(name.c_str());
  errno = 0;
  std::ofstream o(name, std::ios::trunc);
  if (!o) fatal("write_output", file_fault("Error in opening file ", name));
  free_line(o);
  free_line(o, "                    ANALYSIS OF FREQUENCY SELECTIVE SURFACES ");
  free_line(o, "                    ---------------------------------------- ");
  free_line(o);
  free_line(o, std::string("version ") + fss_version);
  free_line(o);
  free_line(o, "mode matching of aperture waveguide modes and Floquet modes");
  free_line(o);
  free_line(o, "reflection and transmission of the incident plane wave");
  free_line(o);
  free_line(o);
  o << std::string(38, ' ') << "****" << '\n' << '\n' << '\n';
  auto value = [](double x) { return fixed_field(static_cast<float>(x), 10, 4); };
  o << " A               =" << value(fss_cell_dim.a / 0.001) << "  mm\n";
  o << " B               =" << value(fss_cell_dim.b / 0.001) << "  mm\n";
  o << " Skew angle      =" << value(fss_lattice_angle.alpha * 180 / dpi(0)) << "  deg\n";
  o << " Metal thickness =" << value(fss_thickness.t1 / 0.001) << "  mm\n";
  if (fss_stack.given) {
    // The stack block, from the illuminated side (outer half-spaces: air);
    // with several screens each with its thickness.
    const bool screens = stack_screens() > 1;
    o << " Stack from the illuminated side (outer half-spaces air):\n";
    for (int i = 1; i <= fss_stack.n; ++i) {
      const stack_item& it = fss_stack.item[i];
      const bool screen = it.kind == stack_kind_screen;
      o << (screen ? (screens ? "   screen " + value(it.d / 0.001) + "  mm" : "   screen           ")
                   : "   layer  " + value(it.d / 0.001) + "  mm")
        << " eps_r =" << fixed_field(it.eps, 10, 4) << "  tan_delta =" << fixed_field(it.tand, 9, 6)
        << '\n';
    }
  }
  errno = 0;
  o.close();  // a full disc shows when the buffer is written out
  if (!o) fatal("write_output", file_fault("Error in writing file ", name));
}

void write_catalogue_counts() {
  // One screen with one aperture: the block of each direction says it all.
  if (fss_screen.nsc <= 1 && fss_ap.n <= 1) return;
  const std::string name = out_name();
  std::ofstream o(name, std::ios::app);
  if (!o) fatal("write_output", "Error in opening file " + name);
  o << " Aperture modes per screen and aperture:\n";
  for (int a = 1; a <= fss_ap.n; ++a) {
    const fss_ap_rec::range& r = fss_ap.r[a];
    int n = 0;
    for (int j = 1; j <= fss_modewg_index.n; ++j) n += fss_modewg_ap[j] == a;
    o << "   screen" << fixed_field(r.screen, 3, 0) << "  aperture" << fixed_field(a, 4, 0)
      << "  modes" << fixed_field(n, 5, 0);
    if (r.copy > 0)
      o << "  copy of aperture" << fixed_field(r.copy, 4, 0) << " moved by"
        << fixed_field(r.dx * 1e3, 11, 4) << fixed_field(r.dy * 1e3, 11, 4) << "  mm";
    o << '\n';
  }
  o.close();
  if (!o) fatal("write_output", "Error in writing file " + name);
}

fss_coefficients_rec fss_coefficients;

void calc_coefficients() {
  const int nwg = fss_modewg_index.n;
  const cplx* x = fss_vettb.data1() - 1;  // X(1 .. 4 nwg)
  cplx r11 = 0, r22 = 0, t11 = 0, t22 = 0;
  // Several screens: the far face is that of the last screen, the depth
  // that of the whole structure.
  const outer_faces face = solution_faces();
  const double k0 = fss_em_var.k0, t = fss_screen.nsc > 1 ? stack_depth() : fss_thickness.t1;
  const int inc[4] = {fss_inc_mode.indextm, fss_inc_mode.indexte,
                      fss_inc_mode.indextemx, fss_inc_mode.indextemy};
  for (int kind = 0; kind < 4; ++kind) {
    const int p = inc[kind];
    if (p <= 0) continue;
    for (int j = 1; j <= nwg; ++j) fss_vettsigma[j] = fss_integrals[(p - 1) * nwg + j];
    // Column 1 answers the TM (or TEM-x) wave, column 2 the TE (or TEM-y).
    const int col = (kind == 0 || kind == 2) ? 0 : 2 * nwg;
    cplx r = 0, tr = 0;
    for (int j = 1; j <= face.n1; ++j) r += x[col + j] * std::conj(fss_vettsigma[j]);
    for (int j = 1; j <= face.nk; ++j)
      tr += x[col + face.off + j] * std::conj(fss_vettsigma[face.m0 + j - 1]);
    const double kt = fss_modeflo_kappa[p].kt;
    const double gamma = kind < 2 ? std::sqrt(k0 * k0 - kt * kt) : k0;
    cplx shift;
    if (fss_stack_point.layers > 0) {
      // Face amplitudes carried to the outer surfaces through the stacks:
      // R = rsc1 + isc1 / (2 Y0) c1, T = isc2 / (2 Y0) c2, and T referred back
      // to the illuminated outer surface through free space over the whole
      // depth.
      const flo_stack& st = fss_modeflo_stack[p];
      const cplx y0 = fss_modeflo_y[p].y1;
      r = st.rsc[1] + st.isc[1] / (2.0 * y0) * r;
      tr = st.isc[2] / (2.0 * y0) * tr;
      shift = std::exp(cplx(0, gamma * stack_depth()));
    } else {
      r -= 1.0;  // the incident mode has unit amplitude
      // The transmitted wave is referred back to the illuminated face.
      shift = std::exp(cplx(0, gamma * t));
    }
    const bool y_pol = kind == 0 || kind == 3;  // TM or TEM-y
    if (y_pol) {
      r11 += r;
      t11 += tr;
      fss_coefficients.t11a = t11 * shift;
    } else {
      r22 += r;
      t22 += tr;
      fss_coefficients.t22a = t22 * shift;
    }
  }
  fss_coefficients.r11 = r11;
  fss_coefficients.r22 = r22;
}

void calc_ref_tr() {
  calc_coefficients();
  write_ref_tr_row();
}

void write_ref_tr_row() {
  const cplx r11 = fss_coefficients.r11, r22 = fss_coefficients.r22;
  const cplx t11a = fss_coefficients.t11a, t22a = fss_coefficients.t22a;
  const int nwg = fss_modewg_index.n;
  auto mag = [](cplx z) { return db_floor(std::abs(z)); };
  auto ph = [](cplx z) { return std::atan2(z.imag(), z.real()) * 180 / dpi(0); };

  const std::string name = out_name();
  errno = 0;
  std::ofstream o(name, std::ios::app);
  if (!o) fatal("calc_ref_tr", file_fault("Error in opening file ", name));
  const double f = fss_em_var.f;
  if (first_frequency()) {
    free_line(o, "Number of basis functions = " + free_int(nwg));
    free_line(o, "Number of Floquet modes   = " + free_int(fss_modeflo_index.n));
    o << "\n\n";
    free_line(o, "freq[GHz]   magTy[dB]   phTy[deg]   magTx[dB]   phTx[deg]   "
                 "magRy[dB]   phRy[deg]   magRx[dB]   phRx[deg]");
    o << '\n';
  }
  o << fixed_field(f / 1.0e9, 9, 3);
  for (double v : {mag(t11a), ph(t11a), mag(t22a), ph(t22a), mag(r11), ph(r11),
                   mag(r22), ph(r22)})
    o << fixed_field(v, 12, 3);
  o << '\n';
  errno = 0;
  o.close();
  if (!o) fatal("calc_ref_tr", file_fault("Error in writing file ", name));
}
