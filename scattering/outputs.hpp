// Result files beside the ".out" table, each behind its option: the CSV
// table ("-csv"), one Touchstone file per direction ("-s4p") and the plot
// ("-plot").  Without these options none of them is computed or written.
#pragma once
#include <complex>
#include <string>

// Called by the sweep: before the first point, after the result row of every
// point, and after the last point.
void write_outputs_begin();
void write_outputs_point();
void write_outputs_end();
// The writers of a point from the scattering already in fss_polar.
void write_outputs_values();
// True when any of the further result files is asked for.
bool further_outputs();

// "<base>.csv": one header line, one row per sweep point.
void write_csv_header();
void write_csv_row();
// "<base>_theta<t>_phi<p>.s4p" ("<base>_wgs.s4p" in the waveguide-simulator
// mode): a file per direction, begun at its first frequency.
std::string s4p_name(double theta_deg, double phi_deg);
void write_s4p_point();
// The 4-port scattering matrix of the point from fss_polar, S(i, j) for
// ports i, j = 1 .. 4 (1 TE, 2 TM on the illuminated side, 3 TE, 4 TM on the
// far side), as the Touchstone file holds it.
void s4p_matrix(std::complex<double> s[5][5]);
// "<base>.svg": |T| and |R| in dB against frequency, a panel per direction.
void begin_plot();
void store_plot_point();
void write_plot();

// Helpers of the writers.
double magnitude_db(std::complex<double> z);  // with the floor of the ".out"
double phase_deg(std::complex<double> z);     // in (-180, 180]
// Writes text to the file (new, or appended); a failure ends the run with
// the routine's name.
void put_file(const std::string& name, const std::string& text, bool append,
              const char* routine);
// SVG pieces of the pictures: text with XML's special characters escaped
// (bytes outside printable ASCII as "?"), and a text element.
std::string xml_text(const std::string& s);
std::string svg_text(double x, double y, const std::string& s, const char* extra = "");
// printf-style formatting into a string.
std::string sformat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
