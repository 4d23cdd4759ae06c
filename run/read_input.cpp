#include "run/read_input.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "contour/apb2dat.hpp"
#include "records/run.hpp"
#include "records/structure.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"
#include "run/options.hpp"

namespace {

const char* routine = "read_input_fss";

std::string cut256(const std::string& s) { return s.substr(0, 256); }

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

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

// A comma between two digits, with no blank, is a decimal comma more likely
// than a separator: "10,5" read as the two values 10 and 5 would change the
// structure.  Returns the item that holds it ("" when none).
std::string decimal_comma(const std::string& line) {
  auto digit = [&](std::size_t k) { return std::isdigit(static_cast<unsigned char>(line[k])) != 0; };
  for (std::size_t k = 1; k + 1 < line.size(); ++k) {
    if (line[k] != ',' || !digit(k - 1) || !digit(k + 1)) continue;
    const std::size_t b = line.find_last_of(" \t", k);
    const std::size_t first = b == std::string::npos ? 0 : b + 1;
    const std::size_t e = line.find_first_of(" \t", k);
    return line.substr(first, e == std::string::npos ? std::string::npos : e - first);
  }
  return "";
}

// Refuses the line last read when it holds a decimal comma, with the two
// readings it may have meant.
void no_decimal_comma(const std::string& message) {
  const std::string item = decimal_comma(src.text).substr(0, 20);
  if (item.empty()) return;
  std::string point = item, two = item;
  for (std::size_t k = 1; k + 1 < item.size(); ++k)
    if (item[k] == ',' && std::isdigit(static_cast<unsigned char>(item[k + 1]))) {
      point[k] = '.';
      two = item.substr(0, k + 1) + " " + item.substr(k + 1);
      break;
    }
  fail_at(message, "decimal comma? \"" + item + "\" would be two values: write " + point +
                       ", or \"" + two + "\" for two values");
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
    no_decimal_comma(block_message(n));
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
  no_decimal_comma(block_message(5));
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

// Block 4, copied line by line into the .apb file.  A line holding "#"
// ends an aperture and begins the next of the same screen; a line holding
// "$" ends the apertures of a screen and begins those of the next.  Every
// boundary line is read here as the boundary reader will read it, so that a
// fault is reported with its line.  Returns the number of apertures of each
// screen (from 1) and, in `dollar`, the line of the first "$" and its text.
struct line_ref {
  int line = 0;
  std::string text;
};
std::vector<int> read_aperture(std::ofstream& apb, const std::string& tmpfile, line_ref& dollar) {
  const std::string msg = block_message(4);
  std::vector<int> screens(2, 0);
  int elements = 0;  // of the aperture being read
  dollar = {};
  auto end_aperture = [&]() {
    if (elements == 0) fail_at(msg, "no boundary element before this line");
    elements = 0;
    if (++screens.back() > max_screen_apertures)
      fail_at("Too many apertures in screen " + std::to_string(screens.size() - 1) +
              " of block 4) in data file " + src.name + " (at most " +
              std::to_string(max_screen_apertures) + ")");
  };
  for (;;) {
    if (!next_line(msg, max_line_length)) fail_at(msg, "no line holds the label 5)");
    if (has_label(src.text, 5)) {
      end_aperture();
      break;
    }
    for (int n : {6, 7, 8})
      if (has_label(src.text, n)) fail_at("Missing block label 5) in data file " + src.name);
    if (src.text.find_first_of("#$") != std::string::npos) {
      end_aperture();
      if (src.text.find('$') != std::string::npos) {
        if (static_cast<int>(screens.size()) - 1 == max_screens)
          fail_at("Too many screens in block 4) in data file " + src.name + " (at most " +
                  std::to_string(max_screens) + ")");
        if (dollar.line == 0) dollar = {src.line, src.text};
        screens.push_back(0);
      }
    } else {
      if (llen(src.text) > apb_line_length)
        fail_at(msg, "longer than " + std::to_string(apb_line_length) +
                         " characters, the length of a boundary line");
      no_decimal_comma(msg);
      elm_row e;
      bool port = false;
      std::string fault = apb_parse_line(src.text, e, port);
      if (!fault.empty()) fail_at(msg, fault);
      ++elements;
      // Every aperture of every screen, for the picture.
      int aperture = 1;
      for (std::size_t k = 1; k < screens.size(); ++k) aperture += screens[k];
      fss_aperture.add(e, aperture, static_cast<int>(screens.size()) - 1);
    }
    std::string record = src.text.substr(0, 256);
    errno = 0;
    apb << record << std::string(256 - record.size(), ' ') << '\n';
    if (!apb) fail(file_fault("Error in writing tmp file ", tmpfile));
  }
  return screens;
}

std::string format_value(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

// Block 9, the stack from the illuminated side to the far side: a layer
// line "thickness[mm] eps_r tan_delta", and a line "screen" per screen,
// optionally followed by the eps_r and tan_delta filling its apertures, or
// by its metal thickness [mm] and those two (a screen without a thickness
// has the thickness of block 3); two screens have a layer between them.
// Blank lines are passed over.  Every value is checked on its own line.
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
      if (++screens > max_screens)
        fail_at("Too many screens in block 9) of data file " + src.name + " (at most " +
                std::to_string(max_screens) + ")");
      if (fss_stack.n > 0 && fss_stack.item[fss_stack.n].kind == stack_kind_screen)
        fail_at("Two screens without a layer between them in block 9) of data file " + src.name +
                    " (a gap of air is a layer of eps_r 1)");
      if (items.size() > 4)
        fail_at(msg, "a screen line holds at most three values: thickness [mm], eps_r and "
                     "tan_delta of the filling");
      it.kind = stack_kind_screen;
      it.d = fss_thickness.t1;
      const std::size_t v = items.size() == 4 ? 2 : 1;  // first value of the filling
      if (items.size() == 4) {
        const double d = number(9, items[1]);
        if (!(d >= 1e-6 && d <= 1e4))
          refuse("the metal thickness must lie between 1e-06 and 10000 mm", d);
        it.d = d * 0.001;
      }
      it.eps = items.size() > v ? number(9, items[v]) : 1.0;
      it.tand = items.size() > v + 1 ? number(9, items[v + 1]) : 0.0;
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

// The screens of block 4 (apertures[k], from 1) are those of the stack, in
// order: each screen item learns its number of apertures.  The screen
// records take their thicknesses: screen 1, the layers between screens 1
// and 2, screen 2.
void join_screens(const std::vector<int>& apertures, const line_ref& dollar) {
  const int described = static_cast<int>(apertures.size()) - 1;
  int screens = 0;
  for (int i = 1; i <= fss_stack.n; ++i)
    if (fss_stack.item[i].kind == stack_kind_screen) ++screens;
  if (described != screens) {
    const std::string what = "Block 4) of data file " + src.name + " holds the apertures of " +
                             std::to_string(described) + " screen" + (described > 1 ? "s" : "") +
                             " (a line with \"$\" begins the next), the stack " +
                             std::to_string(screens);
    const std::string where =
        fss_stack.given ? line_context(src.name, fss_source.line[9], fss_source.text[9],
                                       "a line \"screen\" per screen, a layer between two")
                        : line_context(src.name, dollar.line, dollar.text,
                                       "block 9) places the screens and the layers between them");
    fatal(routine, cut256(what), where);
  }
  int k = 0;
  fss_thickness.spacing = fss_thickness.t2 = 0;
  for (int i = 1; i <= fss_stack.n; ++i) {
    stack_item& it = fss_stack.item[i];
    if (it.kind != stack_kind_screen) {
      if (k == 1 && screens > 1) fss_thickness.spacing += it.d;
      continue;
    }
    it.apertures = apertures[++k];
    if (k == 1) fss_thickness.t1 = it.d;
    if (k == 2) fss_thickness.t2 = it.d;
  }
  fss_screen.nsc = screens;
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

// The data file could not be opened: the path tried, the system's reason,
// and a hint when the name as given is a file ("UP.FSS", whose name does
// not end in the lower-case extension).
[[noreturn]] void unopened(const std::string& given, const std::string& datafile) {
  const std::string message = cut256(file_fault("Error in opening data file ", datafile));
  std::error_code ec;
  const std::string as_given = delfirstspaces(trim_right(given), static_cast<int>(given.size()));
  if (!as_given.empty() && as_given != datafile && std::filesystem::is_regular_file(as_given, ec)) {
    std::string stem = as_given;
    if (stem.size() >= 4 && lower(stem.substr(stem.size() - 4)) == ".fss") stem.resize(stem.size() - 4);
    fatal(routine, message,
          "the file " + as_given + " exists, but a structure file is read from <name>.fss, with "
          "the extension in lower case: rename it " + stem + ".fss");
  }
  fatal(routine, message);
}

// The base name of every file the run writes: the structure's own, or the
// same name in the output folder (option "-o DIR"), which is made when
// missing.
std::string output_base(const std::string& base) {
  if (fss_output.dir.empty()) return base;
  const std::filesystem::path dir(fss_output.dir);
  std::error_code ec;
  errno = 0;
  if (!std::filesystem::is_directory(dir, ec)) {
    errno = 0;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      errno = ec.value();
      fail(file_fault("Error in making the output folder ", fss_output.dir));
    }
  }
  return (dir / std::filesystem::path(base).filename()).string();
}

}  // namespace

void read_input_reset() {
  src.in.close();
  src.in.clear();
  src.name.clear();
  src.text.clear();
  src.line = 0;
  src.end = false;
}

void read_input_fss() {
  fss_screen.cap = max_screens;
  std::string name = command_line_structure();
  if (llen(name) == 0) {
    console_line("insert input filename");
    std::cout.flush();
    std::size_t length;
    if (!read_line(std::cin, name, max_line_length, length)) name.clear();
  }
  const std::string given = name;
  // Base name: leading and trailing blanks removed, a trailing ".fss" cut.
  name = delfirstspaces(trim_right(name), static_cast<int>(name.size()));
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".fss") == 0)
    name.resize(name.size() - 4);

  const std::string datafile = name + ".fss";
  src.in.close();
  src.in.clear();
  errno = 0;
  src.in.open(datafile);
  src.name = datafile;
  src.line = 0;
  src.end = false;
  fss_source = fss_source_rec{};
  fss_source.datafile = datafile;
  if (name.empty()) fail("Error in opening data file " + name);
  if (!src.in) unopened(given, datafile);
  fss_file.name = output_base(name);
  const std::string tmpfile = fss_file.name + ".apb";
  errno = 0;
  std::ofstream apb(tmpfile, std::ios::trunc);
  if (!apb) fail(file_fault("Error in opening tmp file ", tmpfile));

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
  fss_aperture = fss_aperture_rec{};
  line_ref dollar;
  const std::vector<int> apertures = read_aperture(apb, tmpfile, dollar);
  errno = 0;
  apb.close();
  if (!apb) fail(file_fault("Error in writing tmp file ", tmpfile));

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
  join_screens(apertures, dollar);
}
