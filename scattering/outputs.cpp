#include "scattering/outputs.hpp"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>

#include "records/run.hpp"
#include "run/messages.hpp"
#include "run/runfiles.hpp"
#include "scattering/polarisation.hpp"
#include "scattering/results.hpp"

void write_outputs_begin() {
  if (fss_writeinfo.csv) write_csv_header();
  if (fss_writeinfo.plot) begin_plot();
}

bool further_outputs() { return fss_writeinfo.csv || fss_writeinfo.s4p || fss_writeinfo.plot; }

void write_outputs_point() {
  if (!further_outputs()) return;
  calc_polarisations();
  write_outputs_values();
}

void write_outputs_values() {
  if (fss_writeinfo.csv) write_csv_row();
  if (fss_writeinfo.s4p) write_s4p_point();
  if (fss_writeinfo.plot) store_plot_point();
}

void write_outputs_end() {
  if (fss_writeinfo.plot) write_plot();
}

double magnitude_db(std::complex<double> z) { return db_floor(std::abs(z)); }

double phase_deg(std::complex<double> z) { return std::atan2(z.imag(), z.real()) * 180 / dpi(0); }

void put_file(const std::string& name, const std::string& text, bool append,
              const char* routine) {
  if (!append) {
    note_result_file(name);
    std::remove(name.c_str());
  }
  errno = 0;
  std::ofstream o(name, append ? std::ios::app : std::ios::trunc);
  if (!o) fatal(routine, file_fault("Error in opening file ", name));
  o << text;
  errno = 0;
  o.close();  // a full disc shows when the buffer is written out
  if (!o) fatal(routine, file_fault("Error in writing file ", name));
}

std::string xml_text(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else if (c == '"') o += "&quot;";
    else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) o += '?';
    else o += c;
  }
  return o;
}

std::string svg_text(double x, double y, const std::string& s, const char* extra) {
  return sformat("<text x=\"%.1f\" y=\"%.1f\"%s>", x, y, extra) + xml_text(s) + "</text>\n";
}

std::string sformat(const char* fmt, ...) {
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string s(n > 0 ? n : 0, '\0');
  if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, again);
  va_end(again);
  return s;
}
