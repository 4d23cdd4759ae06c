#include "run/read_input.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"

namespace {

const char* routine = "read_input_fss";

std::string cut256(const std::string& s) { return s.substr(0, 256); }

[[noreturn]] void fail(const std::string& message) { fatal(routine, cut256(message)); }

std::string block_message(int n, const std::string& datafile) {
  return "Error in reading block " + std::to_string(n) + ") in data file " + datafile;
}

bool has_label(const std::string& line, int n) {
  return line.find(std::to_string(n) + ")") != std::string::npos;
}

// Reads a label line of block n; true when it carries the block's label.
bool label_line(std::istream& in, int n, const std::string& datafile) {
  std::string line;
  if (!read_record(in, line)) fail(block_message(n, datafile));
  return has_label(line, n);
}

void values(std::istream& in, int n, int count, double* x, const std::string& datafile) {
  if (read_doubles(in, count, x) != read_status::ok) fail(block_message(n, datafile));
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

// Points of a range as the sweep driver walks it (a huge count is kept
// as a double so that it cannot overflow).
const double max_trips = 1.0e6;
double trips(const fss_range_rec& r) {
  return std::floor((r.end + r.step / 10 - r.start + r.step) / r.step);
}

// Range checks of the values read: a run on a meaningless structure is
// refused before anything is computed.
void check_ranges(const std::string& datafile) {
  auto refuse = [&](int block, const std::string& what, double value) {
    fail("Error in block " + std::to_string(block) + ") of data file " + datafile +
         ": " + what + " (read " + format_value(value) + ")");
  };
  const double deg = 180.0 / dpi(0);
  if (!(fss_cell_dim.a > 0)) refuse(1, "the cell period a must be positive [mm]", fss_cell_dim.a * 1000);
  if (!(fss_cell_dim.b > 0)) refuse(1, "the cell period b must be positive [mm]", fss_cell_dim.b * 1000);
  double alpha = fss_lattice_angle.alpha * deg;
  if (!(alpha > 0 && alpha < 180))
    refuse(2, "the skew angle must lie between 0 and 180 degrees", alpha);
  if (!(fss_thickness.t1 > 0)) refuse(3, "the metal thickness must be positive [mm]", fss_thickness.t1 * 1000);
  const fss_range_rec& th = fss_theta;
  const fss_range_rec& ph = fss_phi;
  if (!(th.step > 0)) refuse(5, "the theta step must be positive [deg]", th.step * deg);
  if (!(ph.step > 0)) refuse(5, "the phi step must be positive [deg]", ph.step * deg);
  if (!(th.end >= th.start)) refuse(5, "the theta end must not lie below its start [deg]", th.end * deg);
  if (!(ph.end >= ph.start)) refuse(5, "the phi end must not lie below its start [deg]", ph.end * deg);
  if (!(th.start >= 0 && th.start < dpi(-1)))
    refuse(5, "theta must lie in [0, 90) degrees", th.start * deg);
  // The last point of the sweep may lie up to a tenth of a step past the end.
  const double th_last = th.start + (trips(th) - 1) * th.step;
  if (!(th_last >= 0 && th_last < dpi(-1))) refuse(5, "theta must lie in [0, 90) degrees", th_last * deg);
  if (trips(th) > max_trips) refuse(5, "the theta sweep has too many points", trips(th));
  if (trips(ph) > max_trips) refuse(5, "the phi sweep has too many points", trips(ph));
  const fss_range_rec& f = fss_freq_iter;
  if (!(f.start > 0)) refuse(6, "the start frequency must be positive [GHz]", f.start / 1e9);
  if (!(f.step > 0)) refuse(6, "the frequency step must be positive [GHz]", f.step / 1e9);
  if (!(f.end >= f.start)) refuse(6, "the end frequency must not lie below the start [GHz]", f.end / 1e9);
  if (trips(f) > max_trips) refuse(6, "the frequency sweep has too many points", trips(f));
  if (!(fss_kmax.wg > 0))
    refuse(7, "the largest frequency of the aperture modes must be positive [GHz]",
           fss_kmax.wg * dcspeed() / dpi(1) / 1e9);
  if (!(fss_kmax.flo > 0))
    refuse(8, "the largest frequency of the Floquet modes must be positive [GHz]",
           fss_kmax.flo * dcspeed() / dpi(1) / 1e9);
}

// Block 5: theta and phi (one direction), or start, end and step of each.
void read_incidence(std::istream& in, const std::string& datafile) {
  std::string line;
  if (!read_record(in, line)) fail(block_message(5, datafile));
  std::vector<std::string> items = free_items(line);
  double v[6];
  if (items.size() != 2 && items.size() != 6) fail(block_message(5, datafile));
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!parse_double(items[i], v[i])) fail(block_message(5, datafile));
  const double rad = dpi(0) / 180;
  if (items.size() == 2) {
    fss_theta = {v[0] * rad, v[0] * rad, 1};
    fss_phi = {v[1] * rad, v[1] * rad, 1};
  } else {
    fss_theta = {v[0] * rad, v[1] * rad, v[2] * rad};
    fss_phi = {v[3] * rad, v[4] * rad, v[5] * rad};
  }
}

}  // namespace

void read_input_fss() {
  fss_screen.cap = 2;
  std::string name = argument(1);
  if (llen(name) == 0) {
    console_line("insert input filename");
    std::cout.flush();
    if (!std::getline(std::cin, name)) name.clear();
    if (!name.empty() && name.back() == '\r') name.pop_back();
    name = cut256(name);
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
  name = delfirstspaces(trim_right(name));
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".fss") == 0)
    name.resize(name.size() - 4);
  fss_file.name = name;

  const std::string datafile = name + ".fss";
  const std::string tmpfile = name + ".apb";
  std::ifstream in(datafile);
  if (name.empty() || !in) fail("Error in opening data file " + name);
  std::ofstream apb(tmpfile, std::ios::trunc);
  if (!apb) fail("Error in opening tmp file " + name);

  std::string line;
  for (int i = 0; i < 2; ++i)
    if (!read_record(in, line)) fail("Error in reading data file " + datafile);

  double v[3];
  if (label_line(in, 1, datafile)) {
    values(in, 1, 2, v, datafile);
    fss_cell_dim.a = v[0] * 0.001;
    fss_cell_dim.b = v[1] * 0.001;
    fss_cell_dim.sqrt_ab = std::sqrt(fss_cell_dim.a * fss_cell_dim.b);
    fss_cell_dim.inv_sqrt_ab = 1 / fss_cell_dim.sqrt_ab;
  }
  if (label_line(in, 2, datafile)) {
    values(in, 2, 1, v, datafile);
    fss_lattice_angle.alpha = dpi(0) * v[0] / 180;
  }
  if (label_line(in, 3, datafile)) {
    // The thickness is read from its one line only.
    if (!read_record(in, line)) fail(block_message(3, datafile));
    std::vector<std::string> items = free_items(line);
    if (items.empty() || !parse_double(items[0], v[0])) fail(block_message(3, datafile));
    fss_thickness = {0.001 * v[0], 0, 0};
    fss_screen.nsc = 1;
  }
  if (!label_line(in, 4, datafile))
    fail("Error in reading block 4) in data file (else) " + datafile);
  for (;;) {
    if (!read_record(in, line)) fail(block_message(4, datafile));
    if (has_label(line, 5)) break;
    apb << line << std::string(256 - line.size(), ' ') << '\n';
    if (!apb) fail("Error in writing tmp file " + tmpfile);
  }
  apb.close();
  if (!apb) fail("Error in writing tmp file " + tmpfile);

  read_incidence(in, datafile);
  if (label_line(in, 6, datafile)) {
    values(in, 6, 3, v, datafile);
    fss_freq_iter = {v[0] * 1.0e9, v[1] * 1.0e9, v[2] * 1.0e9};
  }
  if (label_line(in, 7, datafile)) {
    values(in, 7, 1, v, datafile);
    fss_kmax.wg = dpi(1) * (v[0] * 1.0e9) / dcspeed();
  }
  if (label_line(in, 8, datafile)) {
    values(in, 8, 1, v, datafile);
    fss_kmax.flo = dpi(1) * (v[0] * 1.0e9) / dcspeed();
  }
  check_ranges(datafile);
}
