// Driver of one mode computation: the coded contour is checked, the sample
// and collocation points are placed, and the formulations run once per
// symmetry class that is asked for (the odd class of an axis before its
// even class, x outer, y inner), each followed by the mode-file writers.
// The mode files thus list, per class, the TEM, then the TE, then the TM
// modes.
#include "modesolver/fss_analyzew.hpp"

#include <cctype>
#include <cmath>
#include <cstring>
#include <iostream>
#include <string>

#include "contour/contour.hpp"
#include "modefields/mode_files.hpp"
#include "modesolver/formulations.hpp"
#include "modesolver/solver_tables.hpp"
#include "records/contour.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"

namespace {

void set_error(int code, const char* message) {
  errors.code = code;
  errors.message = message;
}

// One answer read from the console: the line, or empty at the end of input.
std::string answer_line() {
  std::cout.flush();
  std::string line;
  if (!std::getline(std::cin, line)) return "";
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

char answer_char() {
  std::string line = answer_line();
  return line.empty() ? ' ' : line[0];
}

// Byte of the contour format marker in header slot 11 (after the unit code).
unsigned char* marker_bytes() { return reinterpret_cast<unsigned char*>(&blok2[1][11]) + 4; }


// Position (from 1) of `what` in `text` at or after `from`, 0 if absent.
int position(const std::string& text, const char* what, std::size_t from = 0) {
  std::size_t k = text.find(what, from);
  return k == std::string::npos ? 0 : static_cast<int>(k) + 1;
}

// Symmetry request of one axis: +1 even only, -1 odd only, 0 both.
int symmetry_request(char c) {
  int r = 0;
  bool matched = false;
  if (c == 'e' || c == 'E') r = 1, matched = true;
  if (c == 'o' || c == 'O') r = -1, matched = true;
  if (c == 'b' || c == 'B') r = 0, matched = true;
  return matched ? r : 0;
}

int ask_symmetry(const char* axis, int iopmod, const std::string& preset) {
  if (iopmod == 0) return symmetry_request(preset.empty() ? ' ' : preset[0]);
  console_line(std::string(axis) + "-axis symmetries: even odd or both  (e/o/[b]):");
  return symmetry_request(answer_char());
}

// The selectors of one symmetric axis in run order: the odd class first.
bool class_wanted(int sel, int request) {
  return !(sel == 1 && request == -1) && !(sel == -1 && request == 1);
}

// The writers of one formulation run.  The symmetry planes of a quarter
// solved in every class for the catalogue are no circuit ports: their
// integrals are not written.
void write_modes(int imt, bool every_class) {
  for (int k = 1; k <= vet1.n; ++k) mode_file_classes.push_back({dat.symx, dat.symy});
  fss_write_wgm(imt);
  if (imt == 0)
    fss_samples_pottem(imt);
  else
    fss_samples_pot(imt);
  if (!every_class) port_integrals(imt);
}

void clean_up(int iopmod, int& ierr) {
  remove_tmpfiles();
  int e = 0;
  apri_elimina(run_files.resa[5], e);
  const std::string& anw = run_files.resa[5];
  std::size_t dot = anw.rfind(".anw");
  if (dot != std::string::npos) apri_elimina(anw.substr(0, dot + 1) + "dat", e);
  if (iopmod > 0) ierr = 0;
}

}  // namespace

void fss_analyzew(std::string& filename, int iopmod_in, int& ierr, bool every_class) {
  run_files.resa[1] = filename;
  const double cofpurg = 1.0;
  std::string mode_type = "all", symm_x = every_class ? "b" : "e", symm_y = symm_x;
  mode_file_classes.clear();
  int iopmod = iopmod_in;
  ierr = 0;
  errors.code = 0;
  errors.message.clear();

  if (iopmod > 1) {
    console_line("diagnostics (y,n) ?");
    char c = answer_char();
    if (c == 'n' || c == 'N') iopmod = 1;
  }
  ierr = 3;
  int iopt = 3;
  filenames(iopt);
  if (iopt != 0) {
    set_error(2001, "ANALYZEG: FILENAMES error in opening output files.");
    return;
  }
  ierr = 0;
  remove_tmpfiles();

  unsigned char* mk = marker_bytes();
  if (mk[1] < 'Y') {
    set_error(2016, "ANALYZEG: old style .dat file: revise the profile definition");
    return clean_up(iopmod, ierr);
  }
  mk[0] = 1;

  const xye_row& h = blok2[1];
  dat.a = h[6];
  dat.b = h[7];
  int isx = 0, isy = 0;
  get2i(h[8], isx, isy);
  dat.symx = isx;
  dat.symy = isy;
  dat.offset = 0.4;
  solver_units();

  xycheck(iopmod);
  if (dat.status != 0) {
    set_error(2013, "ANALYZEG: Error after XYCHECK");
    return clean_up(iopmod, ierr);
  }
  fss_samples_coord();
  int itemm = 0;
  for (int i = 2; i <= blok2.n; ++i) {
    int lab = label(i);
    if (lab >= 101 && lab <= 999) itemm = 1;
  }

  if (iopmod == 0) {
    if (mode_type.find("all") != std::string::npos || mode_type.find("ALL") != std::string::npos)
      mode_type = "tem,te,tm";
  } else {
    mode_type = itemm ? "tem,te,tm" : "te,tm";
    console_line("Analysis (te, tm, tem):");
    std::string a = answer_line().substr(0, 30);
    // An empty answer keeps the kinds offered.
    if (a.find_first_not_of(' ') != std::string::npos) {
      for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      mode_type = a;
    }
  }
  int item = position(mode_type, "tem");
  int ite = position(mode_type, "te");
  if (ite != 0 && ite == item) ite = position(mode_type, "te", item + 2);
  int itm = position(mode_type, "tm");
  if (!itemm) item = 0;

  int reqx = 0, reqy = 0;
  if (isx) reqx = ask_symmetry("x", iopmod, symm_x);
  if (isy) reqy = ask_symmetry("y", iopmod, symm_y);

  gcoord(0);
  double er = h[9];
  // The free-space wavenumber at the largest frequency, with the program's
  // own speed of light, so that no mode below the user's limit is lost.
  double kmax = dpi(1) * std::sqrt(er) * dat.fmax * freq.fmult / dcspeed() * freq.lscale;
  for (int sx = isx ? -1 : 0; sx <= (isx ? 1 : 0); sx += 2) {
    if (isx && !class_wanted(sx, reqx)) continue;
    for (int sy = isy ? -1 : 0; sy <= (isy ? 1 : 0); sy += 2) {
      if (isy && !class_wanted(sy, reqy)) continue;
      dat.symx = sx;
      dat.symy = sy;
      // TEM, TE, TM, each followed by its writers.
      const struct {
        int wanted, imt;
        const char* fail;
      } kinds[3] = {{item, 0, "N_ANALYZEW: Error after GUIDATEM"},
                    {ite, 1, "N_ANALYZEW: Error after GUIDATE"},
                    {itm, 2, "N_ANALYZEW: Error after GUIDATM"}};
      for (const auto& kd : kinds) {
        if (!kd.wanted) continue;
        if (kd.imt == 0)
          fss_guidatem(iopmod);
        else if (kd.imt == 1)
          fss_guidate(kmax, cofpurg, iopmod);
        else
          fss_guidatm(kmax, cofpurg, iopmod);
        if (dat.status != 0) {
          set_error(2014, kd.fail);
          return clean_up(iopmod, ierr);
        }
        write_modes(kd.imt, every_class);
      }
    }
  }
  clean_up(iopmod, ierr);
}

void release_solver_matrices() {
  for (fss_matrix* m : {&matw, &matc, &matl, &matr, &matt, &matd, &mata}) m->release();
}
