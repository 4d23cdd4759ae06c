// Mode files of one aperture.
//
// The scattering analysis needs, per mode, the quantity that turns its
// overlap with a Floquet mode into a contour integral: for a TE mode the
// value of its (unit-norm) potential Hz on the contour, for a TM mode the
// tangential component of the rotated gradient of Ez, -dEz/dn.  On contour
// elements that carry basis functions both are given directly by the
// boundary source (Hz = sigma, -dEz/dn = -k sigma of the scaled vector);
// on elements lying on the enclosure wall the field is evaluated.  Every
// sample is already multiplied by its quadrature weight, in metres.
//
// A later run of the same aperture (another symmetry class or mode kind)
// merges into the files: the old file is copied through a scratch file, its
// mode count raised, and the new records appended.
#include "modefields/mode_files.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "contour/contour.hpp"
#include "modefields/guide_modes.hpp"
#include "modefields/mode_field.hpp"
#include "modefields/quasi_static.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modefields_solution.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"

int write_wgm_first = 1;
int sample_pot_first = 1;
int sample_pottem_first = 1;

namespace {

std::string record_double(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, " %.17g", x);
  return buf;
}

[[noreturn]] void write_failed(const char* routine, const std::string& name) {
  fatal(routine, file_fault("Error in writing file ", name));
}

void check(std::ostream& out, const char* routine, const std::string& name) {
  if (!out) write_failed(routine, name);
}

// Copies a text file line by line; false on any failure.
bool copy_file(const std::string& from, const std::string& to, int raise_first_by = 0,
               bool raise = false) {
  std::ifstream in(from);
  std::ofstream out(to, std::ios::trunc);
  if (!in || !out) return false;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && raise) {
      // Record 1: the mode count raised, the other items as they stand.
      std::vector<std::string> items = free_items(line);
      int n = 0;
      if (items.empty() || !parse_int(items[0], n)) return false;
      line = free_int(n + raise_first_by);
      for (std::size_t k = 1; k < items.size(); ++k) line += " " + items[k];
    }
    first = false;
    out << line << '\n';
  }
  out.close();
  return !in.bad() && static_cast<bool>(out);
}

// Opens a mode file for the records of a new run: created with its first
// record on the first call of the aperture, otherwise rewritten through its
// scratch copy with the mode count raised by m.
void open_mode_file(std::ofstream& out, const std::string& name, const std::string& scratch,
                    int& first, const std::string& record1, int m, const char* routine) {
  errno = 0;  // a failure below reports its own reason
  if (first) {
    std::remove(name.c_str());
    out.open(name, std::ios::trunc);
    out << record1 << '\n';
    check(out, routine, name);
    first = 0;
    return;
  }
  if (!copy_file(name, scratch)) write_failed(routine, scratch);
  std::remove(name.c_str());
  if (!copy_file(scratch, name, m, true)) write_failed(routine, name);
  std::remove(scratch.c_str());
  out.open(name, std::ios::app);
  check(out, routine, name);
}

// The contour lies only on the enclosure wall and on symmetry planes: the
// modes are the enclosing guide's own, mode k being enclosing mode k.
// The field of a mode at the sample points that need the field itself
// (those on the enclosure wall, or all of them when a mode is open), as
// linear forms evaluated once for all the modes: per point, the response
// to a unit coefficient A, B, C of the source density A xi^2 + B xi + C of
// every element that carries basis functions (TE: Hz of the double layer;
// TM: the tangential component of (dEz/dy, -dEz/dx) of the single layer)
// and the enclosing-guide functions (TE: axial; TM: tangential component of
// the transverse one).  After gmfield, field() is then what cat (TE) or
// the tangential component of ctt (TM) gives.  On a circular wall each
// enclosing-guide function is a Bessel function whose cost grows with the
// square of its argument; per mode and point, the element fields cost a
// few logarithms and arctangents each.
class series_table {
 public:
  explicit series_table(int imt, bool all) {
    const int np = xypts.n;
    namo_ = amo.n <= vet2.storage() ? amo.n : 0;
    std::vector<char> carries(blok2.n + 1, 0);
    for (int f = 1; f <= fbo.nfb; ++f)
      for (int row : {fbo[f].iip, fbo[f].i, fbo[f].iis})
        if (row >= 2 && row <= blok2.n) carries[row] = 1;
    for (int e = 2; e <= blok2.n; ++e)
      if (carries[e]) elements_.push_back(e);
    width_ = 3 * static_cast<int>(elements_.size()) + namo_;
    row_.assign(np + 1, -1);
    int rows = 0;
    for (int i = 1; i <= np; ++i)
      if (xytype[i] == 0 || all) row_[i] = rows++;
    values_.resize(static_cast<std::size_t>(rows) * width_);
    for (int i = 1; i <= np; ++i)
      if (row_[i] >= 0) fill(i, imt, values_.data() + static_cast<std::size_t>(row_[i]) * width_);
  }

  double field(int i) const {
    const double* v = values_.data() + static_cast<std::size_t>(row_[i]) * width_;
    double sum = 0;
    for (int e : elements_) {
      const source_quad& d = table[e];
      sum += d.a * v[0] + d.b * v[1] + d.c * v[2];
      v += 3;
    }
    for (int j = 1; j <= vet2.n && j <= namo_; ++j) sum += vet2[j] * v[j - 1];
    return sum;
  }

 private:
  void fill(int i, int imt, double* v) const {
    const double x = xypts[i].x, y = xypts[i].y, tx = xytan[i].x, ty = xytan[i].y;
    for (int e : elements_) {
      for (int c = 0; c < 3; ++c) {
        const double a = c == 0, b = c == 1, cc = c == 2;
        if (imt == 2) {
          double hx, hy;
          htqst(x, y, e, a, b, cc, hx, hy);
          v[c] = tx * hx + ty * hy;
        } else {
          hzqst(x, y, e, a, b, cc, v[c]);
        }
      }
      v += 3;
    }
    guide_point p = guide_frame(x, y);
    for (int j = 1; j <= namo_; ++j) {
      if (imt == 2) {
        double fx, fy;
        guide_transverse(false, amo[j], p, fx, fy);
        v[j - 1] = tx * fx + ty * fy;
      } else {
        v[j - 1] = guide_axial(true, amo[j], p);
      }
    }
  }

  int namo_ = 0, width_ = 0;
  std::vector<int> elements_;
  std::vector<int> row_;
  std::vector<double> values_;
};

bool enclosure_aperture() {
  for (int i = 2; i <= blok2.n; ++i) {
    int lab = label(i);
    if (lab >= 1 && lab <= 999) return false;
  }
  return true;
}

}  // namespace

double mode_file_scale(int unit_code) {
  long double l = 1, f = static_cast<float>(0.1);
  for (int k = 0; k < unit_code; ++k) l *= f;
  return static_cast<double>(l);
}

double plane_sample_factor() { return static_cast<double>(static_cast<float>(std::sqrt(2.0))); }

double sample_symmetry_factor() {
  double f = 1.0;
  const double r2 = plane_sample_factor();
  if (dat.symx != 0) f *= r2;
  if (dat.symy != 0) f *= r2;
  return f;
}

std::string mode_file_stem() {
  const std::string& pag = run_files.resa[2];
  std::size_t k = pag.find(".pag");
  return k == std::string::npos ? pag : pag.substr(0, k);
}

void fss_samples_coord() {
  const char* routine = "fss_samples_coord";
  samplecoord(nsps);
  const std::string name = mode_file_stem() + ".crd";
  const double len = mode_file_scale(xye_unit_code());
  std::remove(name.c_str());
  std::ofstream out(name, std::ios::trunc);
  out << free_int(xypts.n) << '\n';
  for (int i = 1; i <= xypts.n; ++i) {
    double x = translations.dx * len + xypts[i].x * len;
    double y = translations.dy * len + xypts[i].y * len;
    // The outward normal is the tangent turned by -90 degrees.
    double nx = xytan[i].y, ny = 0.0 - xytan[i].x;
    if (translations.mirx) x = -x, nx = 0.0 - nx;  // no negative zero in the file
    if (translations.miry) y = -y, ny = 0.0 - ny;
    out << record_double(x) << record_double(y) << record_double(nx) << record_double(ny) << '\n';
  }
  out.close();
  check(out, routine, name);
}

void fss_write_wgm(int imt) {
  const char* routine = "fss_write_wgm";
  const std::string stem = mode_file_stem(), name = stem + ".wgm";
  const int m = vet1.n;
  const double len = mode_file_scale(xye_unit_code());
  std::ofstream out;
  open_mode_file(out, name, stem + "_tmp.wgm", write_wgm_first, free_int(m), m, routine);
  std::ofstream wg2;
  bool listing = enclosure_aperture();
  if (listing) wg2.open(stem + ".wg2", std::ios::app);
  for (int k = 1; k <= m; ++k) {
    // Kind codes of the files: TEM 0, TM 1, TE 2 (the solver's 1 and 2 exchanged).
    int kind = imt == 0 ? 0 : 3 - imt;
    double value = imt == 0 ? vet1[k] : std::fabs(vet1[k]) / len;
    out << record_double(value) << free_int(kind) << '\n';
    if (listing)
      wg2 << (imt == 1 ? " TE" : " TM") << free_int(amo[k].i1) << free_int(amo[k].i2)
          << "      k=" << record_double(value) << " [1/m]\n";
  }
  out.close();
  check(out, routine, name);
  if (listing) {
    wg2.close();
    check(wg2, routine, stem + ".wg2");
  }
}

namespace {

// The current of mode k at csi on an element from the pieces there (function,
// slot), in function order.
double current_value(int k, int imt, double csi, const std::vector<std::pair<int, int>>& pieces) {
  const double bound = static_cast<double>(0.4999f);
  double xi = std::fmax(-bound, std::fmin(bound, csi));
  int namo = amo.n;
  double a = 0, b = 0, c = 0;
  for (const auto& [f, s] : pieces) {
    const fbo_entry& e = fbo[f];
    double cf = mata(namo + f, k);
    a += cf * e.c[3 * s - 2];
    b += cf * e.c[3 * s - 1];
    c += cf * e.c[3 * s];
  }
  double value = b * xi + a * xi * xi + c;
  if (imt == 2) value = -std::fabs(vet1[k]) * value;
  return value;
}

}  // namespace

element_functions functions_by_element() {
  element_functions on;
  for (int f = 1; f <= fbo.nfb; ++f) {
    const fbo_entry& e = fbo[f];
    const int rows[4] = {0, e.iip, e.i, e.iis};
    for (int s = 1; s <= 3; ++s) {
      if (rows[s] < 0) continue;
      if (static_cast<int>(on.size()) <= rows[s]) on.resize(rows[s] + 1);
      on[rows[s]].emplace_back(f, s);
    }
  }
  return on;
}

void calc_j(int ind, int imt, int ie, double csi, double& value, const element_functions& on) {
  static const std::vector<std::pair<int, int>> none;
  value = current_value(std::abs(ind), imt, csi, ie >= 0 && ie < static_cast<int>(on.size()) ? on[ie] : none);
}

void calc_j(int ind, int imt, int ie, double csi, double& value) {
  std::vector<std::pair<int, int>> pieces;
  for (int f = 1; f <= fbo.nfb; ++f) {
    const fbo_entry& e = fbo[f];
    const int rows[4] = {0, e.iip, e.i, e.iis};
    for (int s = 1; s <= 3; ++s)
      if (rows[s] == ie) pieces.emplace_back(f, s);
  }
  value = current_value(std::abs(ind), imt, csi, pieces);
}

void fss_samples_pot(int imt) {
  const char* routine = "fss_samples_pot";
  if (imt == 0) fatal(routine, "This routine cannot process TEM modes");
  const double len = mode_file_scale(xye_unit_code());
  const double sym = sample_symmetry_factor();
  const std::string stem = mode_file_stem(), name = stem + ".smp";
  const int m = vet1.n, np = xypts.n;
  std::ofstream out;
  open_mode_file(out, name, stem + "_tmp.smp", sample_pot_first, free_int(m) + free_int(np), m,
                 routine);
  bool notonlyfdb = false, any_open = false;
  for (int i = 1; i <= np; ++i)
    if (xytype[i] == 0) notonlyfdb = true;
  for (int k = 1; k <= m; ++k)
    if (vet1[k] < 0) any_open = true;
  // The enclosing-guide functions at the points where the field itself is
  // summed, evaluated once for all the modes (on a circular wall each is a
  // Bessel function, whose cost grows with the square of its argument).
  series_table series(imt, any_open);
  const element_functions on = functions_by_element();
  for (int k = 1; k <= m; ++k) {
    // A mode that the purge left open (negative cutoff) has field outside
    // the contour too (an enclosure mode that meets the aperture's boundary
    // condition without any current, for one): its boundary source is not
    // its boundary value, and the field itself is evaluated on the contour
    // (the limit from inside) at every point.
    const bool open = vet1[k] < 0;
    if (notonlyfdb || open) gmfield(k, imt);
    for (int i = 1; i <= np; ++i) {
      double h;
      if (xytype[i] == 0 || open) {
        h = series.field(i);
      } else {
        calc_j(k, imt, ixyele[i], xycsi[i], h, on);
      }
      h /= imt == 2 ? len * len : len;
      double w = xywgt[i] * len;
      out << record_double(h * w * sym) << '\n';
    }
  }
  out.close();
  check(out, routine, name);
}

void fss_samples_pottem(int imt) {
  const char* routine = "fss_samples_potTEM";
  if (imt != 0) fatal(routine, "This routine cannot process TE or TM modes");
  const double len = mode_file_scale(xye_unit_code());
  const double sym = sample_symmetry_factor();
  const std::string stem = mode_file_stem(), name = stem + ".smpTEM";
  const int m = vet1.n, np = xypts.n;
  std::ofstream out;
  open_mode_file(out, name, stem + "_tmp.smpTEM", sample_pottem_first, free_int(m) + free_int(np),
                 m, routine);
  // The potential phi is dimensionless (unit energy); its samples are
  // phi x weight (m) and dphi/dn (1/m) x weight, like those of ".smp".  The
  // potential is evaluated at every point (it is continuous across the
  // single layer; the boundary source is its normal derivative, not its
  // value); the normal derivative is the source on lines carrying basis
  // functions (the field beyond them vanishes) and the field's on the wall.
  for (int pass = 0; pass < 2; ++pass) {
    const char* text = pass == 0 ? " potential: ie,x,y,w,hhzz=" : " derivative: ie,x,y,w,hhzz=";
    for (int k = 1; k <= m; ++k) {
      gmfield(k, 0);
      for (int i = 1; i <= np; ++i) {
        const double x = xypts[i].x, y = xypts[i].y;
        double h;
        if (pass == 0) {
          h = cat(x, y, 0);
        } else if (xytype[i] == 0) {
          double cx, cy;  // -grad phi
          ctt(x, y, 0, vet1[k], cx, cy);
          h = -(xytan[i].y * cx - xytan[i].x * cy);
        } else {
          calc_j(k, 0, ixyele[i], xycsi[i], h);
        }
        if (pass == 1) h /= len;
        const double w = xywgt[i] * len;
        out << text << free_int(ixyele[i]) << record_double(x) << record_double(y)
            << record_double(w) << record_double(h) << '\n'
            << record_double(h * w * sym) << '\n';
      }
    }
  }
  out.close();
  check(out, routine, name);
}
