#include "run/read_input.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "records/run.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"

namespace {

const char* routine = "read_input_fss";

std::string cut256(const std::string& s) { return s.substr(0, 256); }

// The structure file, read line by line with the line numbers.
struct source_file {
  std::ifstream in;
  std::string name;
  int line = 0;       // number of the last line read
  std::string text;   // its text, whole
  bool end = false;   // the end of the file was met after line `line`
} src;

// A structure file of more lines than this is not read further (a device
// that never ends, say): block 4 would otherwise fill the disc.
const int max_lines = 100000;

// Context line of the line last read, or of the end of the file.
std::string where(const std::string& reason = "") {
  if (src.end) return "end of file " + src.name + " after line " + std::to_string(src.line) +
                      (reason.empty() ? "" : " (" + reason + ")");
  return line_context(src.name, src.line, src.text, reason);
}

[[noreturn]] void fail(const std::string& message) { fatal(routine, cut256(message)); }
[[noreturn]] void fail_at(const std::string& message, const std::string& reason = "") {
  fatal(routine, cut256(message), where(reason));
}

std::string block_message(int n) {
  return "Error in reading block " + std::to_string(n) + ") in data file " + src.name;
}

bool has_label(const std::string& line, int n) {
  return line.find(std::to_string(n) + ")") != std::string::npos;
}

// Reads the next line; false at the end of the file.  A line longer than
// `limit` characters (blanks at its end aside) is refused: its tail would be
// lost.
bool next_line(const std::string& message, std::size_t limit = 256) {
  std::size_t length = 0;
  if (src.end || !read_line(src.in, src.text, max_line_length, length)) {
    src.end = true;
    src.text.clear();
    return false;
  }
  ++src.line;
  if (length > max_line_length)
    fail_at(message, "longer than " + std::to_string(max_line_length) + " characters");
  if (src.line > max_lines)
    fail_at(message, "more than " + std::to_string(max_lines) + " lines");
  if (static_cast<std::size_t>(llen(src.text)) > limit)
    fail_at(message, "longer than " + std::to_string(limit) + " characters");
  return true;
}

void remember(int n) {
  fss_source.line[n] = src.line;
  fss_source.text[n] = src.text;
}

// Reads the label line of block n.  A line without the label means that the
// block is missing (or misplaced): every block is needed.
void label_line(int n) {
  if (!next_line(block_message(n))) fail_at(block_message(n));
  if (has_label(src.text, n)) return;
  if (n == 4) fail_at("Error in reading block 4) in data file (else) " + src.name);
  fail_at("Missing block label " + std::to_string(n) + ") in data file " + src.name);
}

// Items of the line last read beyond those a block needs are ignored, with a
// warning.
void extras(int n, std::size_t used, std::size_t given) {
  if (given > used)
    warning(routine,
            "Values beyond those of block " + std::to_string(n) + ") ignored in data file " +
                src.name,
            where());
}

double number(int n, const std::string& item) {
  double x;
  if (!parse_double(item, x)) fail_at(block_message(n), "not a number: " + item.substr(0, 20));
  return x;
}

// One free-form read of `count` values of block n (they may continue over
// lines); with `one_line`, from the next line alone.
void values(int n, int count, double* x, bool one_line = false) {
  int got = 0;
  while (got < count) {
    if (!next_line(block_message(n))) fail_at(block_message(n));
    std::vector<std::string> items = free_items(src.text);
    if (one_line && items.empty()) fail_at(block_message(n), "no value");
    std::size_t k = 0;
    for (; k < items.size() && got < count; ++k) x[got++] = number(n, items[k]);
    if (got == count) extras(n, k, items.size());
    if (one_line && got < count) fail_at(block_message(n), "too few values");
  }
  remember(n);
}

// Block 5: theta and phi (one direction), or start, end and step of each.
void read_incidence() {
  if (!next_line(block_message(5))) fail_at(block_message(5));
  std::vector<std::string> items = free_items(src.text);
  if (items.size() != 2 && items.size() != 6)
    fail_at(block_message(5), "two or six values are needed, " + std::to_string(items.size()) +
                                  " given");
  double v[6];
  for (std::size_t i = 0; i < items.size(); ++i) v[i] = number(5, items[i]);
  remember(5);
  const double rad = dpi(0) / 180;
  if (items.size() == 2) {
    fss_theta = {v[0] * rad, v[0] * rad, 1};
    fss_phi = {v[1] * rad, v[1] * rad, 1};
  } else {
    fss_theta = {v[0] * rad, v[1] * rad, v[2] * rad};
    fss_phi = {v[3] * rad, v[4] * rad, v[5] * rad};
  }
}

// Block 4, copied line by line into the .apb file.  The lines of the first
// aperture (up to a line holding "#" or "$") are read here as the boundary
// reader will read them, so that a fault is reported with its line; the
// lines of later apertures are not analysed, which a warning says.
void read_aperture(std::ofstream& apb, const std::string& tmpfile) {
  const std::string msg = block_message(4);
  bool first_aperture = true;
  int elements = 0, ignored = 0, ignored_line = 0;
  std::string ignored_text;
  for (;;) {
    if (!next_line(msg, max_line_length)) fail_at(msg, "no line holds the label 5)");
    if (has_label(src.text, 5)) {
      if (elements == 0 && first_aperture) fail_at(msg, "no boundary element before this line");
      break;
    }
    for (int n : {6, 7, 8})
      if (has_label(src.text, n)) fail_at("Missing block label 5) in data file " + src.name);
    if (src.text.find_first_of("#$") != std::string::npos) {
      if (elements == 0) fail_at(msg, "no boundary element before this line");
      first_aperture = false;
    } else if (first_aperture) {
      if (llen(src.text) > apb_line_length)
        fail_at(msg, "longer than " + std::to_string(apb_line_length) +
                         " characters, the length of a boundary line");
      std::string fault = apb_line_fault(src.text);
      if (!fault.empty()) fail_at(msg, fault);
      ++elements;
    } else if (llen(src.text) > 0 && ignored++ == 0) {
      ignored_line = src.line;
      ignored_text = src.text;
    }
    std::string record = src.text.substr(0, 256);
    apb << record << std::string(256 - record.size(), ' ') << '\n';
    if (!apb) fail("Error in writing tmp file " + tmpfile);
  }
  if (ignored > 0)
    warning(routine,
            "Only the first aperture of block 4) is analysed: " + std::to_string(ignored) +
                " later lines ignored in data file " + src.name,
            line_context(src.name, ignored_line, ignored_text));
}

std::string argument(int i) {
  if (i < fss_command_line.argc && fss_command_line.argv && fss_command_line.argv[i])
    return fss_command_line.argv[i];
  return "";
}

std::string format_value(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

// Block 9, the stack from the illuminated side to the far side: a layer
// line "thickness[mm] eps_r tan_delta", and the line "screen", optionally
// followed by the eps_r and tan_delta filling its apertures; blank lines
// are passed over.  Every value is checked on its own line.
void read_stack() {
  const std::string msg = block_message(9);
  remember(9);
  auto refuse = [&](const std::string& what, double value) {
    fail_at("Error in block 9) of data file " + src.name + ": " + what + " (read " +
            format_value(value) + ")");
  };
  fss_stack.n = 0;
  int screens = 0;
  while (next_line(msg)) {
    std::vector<std::string> items = free_items(src.text);
    if (items.empty()) continue;
    std::string word = items[0];
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    stack_item it;
    it.line = src.line;
    if (word == "screen") {
      // The record holds several screens; the analysis takes one.
      if (++screens > 1)
        fail_at("Only one screen can be analysed: a second screen line in block 9) of data file " +
                src.name);
      if (items.size() > 3)
        fail_at(msg, "a screen line holds at most two values: eps_r and tan_delta of the filling");
      it.kind = stack_kind_screen;
      it.d = fss_thickness.t1;
      it.eps = items.size() > 1 ? number(9, items[1]) : 1.0;
      it.tand = items.size() > 2 ? number(9, items[2]) : 0.0;
    } else {
      if (items.size() != 3)
        fail_at(msg, "a layer line holds three values: thickness [mm], eps_r and tan_delta; " +
                         std::to_string(items.size()) + " given");
      it.kind = stack_kind_layer;
      const double d = number(9, items[0]);
      if (!(d > 0 && d <= 1e4)) refuse("the layer thickness must lie above 0 and up to 10000 mm", d);
      it.d = d * 0.001;
      it.eps = number(9, items[1]);
      it.tand = number(9, items[2]);
    }
    const char* what = it.kind == stack_kind_screen ? "of the filling " : "";
    if (!(it.eps >= 1 && it.eps <= 1000))
      refuse(std::string("eps_r ") + what + "must lie between 1 and 1000", it.eps);
    if (!(it.tand >= 0 && it.tand <= 1))
      refuse(std::string("tan_delta ") + what + "must lie between 0 and 1", it.tand);
    if (fss_stack.n + 1 > fss_stack.cap)
      fail_at("Too many layers in block 9) of data file " + src.name + " (at most " +
              std::to_string(fss_stack.cap - 1) + ")");
    fss_stack.item[++fss_stack.n] = it;
  }
  if (screens == 0)
    fatal(routine, cut256("Block 9) of data file " + src.name + " has no screen line"),
          line_context(src.name, fss_source.line[9], fss_source.text[9],
                       "the stack needs the line \"screen\" between its layers"));
  fss_stack.given = 1;
}

// Points of a range as the sweep driver walks it (a huge count is kept
// as a double so that it cannot overflow).
const double max_trips = 1.0e6;
double trips(const fss_range_rec& r) {
  return std::floor((r.end + r.step / 10 - r.start + r.step) / r.step);
}
double last_point(const fss_range_rec& r) { return r.start + (trips(r) - 1) * r.step; }

// Range checks of the values read: a run on a meaningless structure is
// refused before anything is computed.  The bounds keep every quantity of
// the analysis finite and the lattice, the screen and the sweep sound.
void check_ranges() {
  const std::string& datafile = src.name;
  auto context = [&](int block) {
    return line_context(datafile, fss_source.line[block], fss_source.text[block]);
  };
  auto refuse = [&](int block, const std::string& what, double value) {
    fatal(routine,
          cut256("Error in block " + std::to_string(block) + ") of data file " + datafile + ": " +
                 what + " (read " + format_value(value) + ")"),
          context(block));
  };
  auto within = [](double x, double lo, double hi) { return x >= lo && x <= hi; };
  const double deg = 180.0 / dpi(0);
  const double a = fss_cell_dim.a * 1000, b = fss_cell_dim.b * 1000;
  if (!within(a, 1e-3, 1e4)) refuse(1, "the cell period a must lie between 0.001 and 10000 mm", a);
  if (!within(b, 1e-3, 1e4)) refuse(1, "the cell period b must lie between 0.001 and 10000 mm", b);
  // A lattice skewed further is better described by a shorter second vector.
  const double alpha = fss_lattice_angle.alpha * deg;
  if (!within(alpha, 10, 170)) refuse(2, "the skew angle must lie between 10 and 170 degrees", alpha);
  const double t = fss_thickness.t1 * 1000;
  if (!within(t, 1e-6, 1e4)) refuse(3, "the metal thickness must lie between 1e-06 and 10000 mm", t);
  const fss_range_rec& th = fss_theta;
  const fss_range_rec& ph = fss_phi;
  if (!(th.step > 0)) refuse(5, "the theta step must be positive [deg]", th.step * deg);
  if (!(ph.step > 0)) refuse(5, "the phi step must be positive [deg]", ph.step * deg);
  if (!(th.end >= th.start)) refuse(5, "the theta end must not lie below its start [deg]", th.end * deg);
  if (!(ph.end >= ph.start)) refuse(5, "the phi end must not lie below its start [deg]", ph.end * deg);
  if (trips(th) > max_trips) refuse(5, "the theta sweep has too many points", trips(th));
  if (trips(ph) > max_trips) refuse(5, "the phi sweep has too many points", trips(ph));
  if (!(th.start >= 0 && th.start < dpi(-1)))
    refuse(5, "theta must lie in [0, 90) degrees", th.start * deg);
  // The last point of the sweep may lie up to a tenth of a step past the end.
  if (!(last_point(th) >= 0 && last_point(th) < dpi(-1)))
    refuse(5, "theta must lie in [0, 90) degrees", last_point(th) * deg);
  if (!within(ph.start * deg, -360, 360) || !within(last_point(ph) * deg, -360, 360))
    refuse(5, "phi must lie in [-360, 360] degrees",
           within(ph.start * deg, -360, 360) ? last_point(ph) * deg : ph.start * deg);
  const fss_range_rec& f = fss_freq_iter;
  const double f0 = f.start / 1e9, fs = f.step / 1e9;
  if (!within(f0, 1e-6, 1e6)) refuse(6, "the start frequency must lie between 1e-06 and 1e+06 GHz", f0);
  if (!(fs > 0)) refuse(6, "the frequency step must be positive [GHz]", fs);
  if (!(f.end >= f.start)) refuse(6, "the end frequency must not lie below the start [GHz]", f.end / 1e9);
  if (trips(f) > max_trips) refuse(6, "the frequency sweep has too many points", trips(f));
  const double ftop = last_point(f) / 1e9;
  if (!(ftop <= 1e6)) refuse(6, "the frequencies must not exceed 1e+06 GHz", ftop);
  const double fwg = fss_kmax.wg * dcspeed() / dpi(1) / 1e9;
  const double fflo = fss_kmax.flo * dcspeed() / dpi(1) / 1e9;
  if (!within(fwg, 1e-6, 1e6))
    refuse(7, "the largest frequency of the aperture modes must lie between 1e-06 and 1e+06 GHz", fwg);
  // Every propagating Floquet mode, the incident one included, must be held.
  if (!(fflo >= ftop * (1 - 1e-12) && fflo <= 1e6))
    refuse(8, "the largest frequency of the Floquet modes must lie between the highest "
              "frequency of the sweep, " + format_value(ftop) + " GHz, and 1e+06 GHz",
           fflo);
  if (fwg < ftop)
    warning(routine,
            "Aperture modes are computed up to " + format_value(fwg) +
                " GHz only, below the highest frequency of the sweep (" + format_value(ftop) +
                " GHz): the modes that propagate in the aperture above it are left out",
            context(7));
}

}  // namespace

void read_input_fss() {
  fss_screen.cap = 2;
  std::string name = argument(1);
  if (llen(name) == 0) {
    console_line("insert input filename");
    std::cout.flush();
    std::size_t length;
    if (!read_line(std::cin, name, max_line_length, length)) name.clear();
  }
  fss_writeinfo = {};
  // Options may stand in any argument after the first.
  for (int i = 2; i < fss_command_line.argc; ++i) {
    std::string opt = argument(i);
    if (opt.find("-pvf") != std::string::npos) fss_writeinfo.pvf = 1;
    if (opt.find("-wgs") != std::string::npos) fss_writeinfo.wgs = 1;
    if (opt.find("-modes") != std::string::npos) fss_writeinfo.modes = 1;
    if (opt.find("-converge") != std::string::npos) fss_writeinfo.converge = 1;
    if (opt.find("-csv") != std::string::npos) fss_writeinfo.csv = 1;
    if (opt.find("-s4p") != std::string::npos) fss_writeinfo.s4p = 1;
    if (opt.find("-plot") != std::string::npos) fss_writeinfo.plot = 1;
  }
  // Base name: leading and trailing blanks removed, a trailing ".fss" cut.
  name = delfirstspaces(trim_right(name), static_cast<int>(name.size()));
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".fss") == 0)
    name.resize(name.size() - 4);
  fss_file.name = name;

  const std::string datafile = name + ".fss";
  const std::string tmpfile = name + ".apb";
  src.in.close();
  src.in.clear();
  src.in.open(datafile);
  src.name = datafile;
  src.line = 0;
  src.end = false;
  fss_source = fss_source_rec{};
  fss_source.datafile = datafile;
  if (name.empty() || !src.in) fail("Error in opening data file " + name);
  std::ofstream apb(tmpfile, std::ios::trunc);
  if (!apb) fail("Error in opening tmp file " + name);

  // The two free lines: only their presence counts.
  for (int i = 0; i < 2; ++i)
    if (!next_line("Error in reading data file " + datafile, max_line_length))
      fail_at("Error in reading data file " + datafile);

  double v[3];
  label_line(1);
  values(1, 2, v);
  fss_cell_dim.a = v[0] * 0.001;
  fss_cell_dim.b = v[1] * 0.001;
  fss_cell_dim.sqrt_ab = std::sqrt(fss_cell_dim.a * fss_cell_dim.b);
  fss_cell_dim.inv_sqrt_ab = 1 / fss_cell_dim.sqrt_ab;
  label_line(2);
  values(2, 1, v);
  fss_lattice_angle.alpha = dpi(0) * v[0] / 180;
  // The thickness is read from its one line only.
  label_line(3);
  values(3, 1, v, true);
  fss_thickness = {0.001 * v[0], 0, 0};
  fss_screen.nsc = 1;
  label_line(4);
  fss_source.aperture_label = src.line;
  read_aperture(apb, tmpfile);
  apb.close();
  if (!apb) fail("Error in writing tmp file " + tmpfile);

  read_incidence();
  label_line(6);
  values(6, 3, v);
  fss_freq_iter = {v[0] * 1.0e9, v[1] * 1.0e9, v[2] * 1.0e9};
  label_line(7);
  values(7, 1, v);
  fss_kmax.wg = dpi(1) * (v[0] * 1.0e9) / dcspeed();
  label_line(8);
  values(8, 1, v);
  fss_kmax.flo = dpi(1) * (v[0] * 1.0e9) / dcspeed();
  // Without a stack block the screen of block 3 stands in air, unfilled.
  fss_stack.cap = max_stack_items;
  fss_stack.n = 1;
  fss_stack.given = 0;
  fss_stack.item[1] = {stack_kind_screen, fss_thickness.t1, 1.0, 0.0, 0};
  // Lines after block 8: the optional stack block 9); other lines belong to
  // no block.
  while (next_line(block_message(8), max_line_length))
    if (llen(src.text) > 0) {
      if (has_label(src.text, 9)) {
        read_stack();
        break;
      }
      warning(routine, "Lines after block 8) ignored in data file " + datafile, where());
      break;
    }
  src.in.close();
  check_ranges();
}
