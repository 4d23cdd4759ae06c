// The CSV table: per sweep point the direction, the frequency and, for each
// incident wave, its co- and cross-polarised reflection and transmission
// (power-normalised, dB and degrees, the transmission referred back to the
// illuminated face as in the ".out" file) and the power it sends into the
// specular waves and into every propagating Floquet order, and the rest,
// absorbed in lossy layers or fillings.
#include <cmath>
#include <complex>

#include "records/results.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"

namespace {

const char* routine = "write_csv";

std::string csv_name() { return result_name(".csv"); }

std::string pair(std::complex<double> z) {
  return sformat(",%.6f,%.6f", magnitude_db(z), phase_deg(z));
}

}  // namespace

void write_csv_header() {
  std::string h = "phi[deg],theta[deg],freq[GHz]";
  for (const char* w : {"TE", "TM"}) {
    for (const char* c : {"Rco", "Rcross", "Tco", "Tcross"})
      h += sformat(",%s_%s[dB],%s_%s[deg]", w, c, w, c);
    h += sformat(",%s_Pspecular,%s_Ptotal,%s_Pabsorbed", w, w, w);
  }
  put_file(csv_name(), h + ",orders\n", false, routine);
}

void write_csv_row() {
  const double deg = 180 / dpi(0);
  std::string row = sformat("%.6f,%.6f,%.6f", fss_inc_angle.phi * deg, fss_inc_angle.theta * deg,
                            fss_em_var.f / 1e9);
  const fss_polar_rec& s = fss_polar;
  const std::complex<double> back = std::polar(1.0, s.kz * s.depth);
  for (int p = 1; p <= 2; ++p) {
    const int q = 3 - p;  // the other polarisation
    row += pair(s.r[p][p]) + pair(s.r[q][p]) + pair(s.t[p][p] * back) + pair(s.t[q][p] * back);
    // Rounding below the printed digits gives no sign to a zero.
    const double absorbed = std::fabs(1 - s.ptot[p]) < 5e-13 ? 0.0 : 1 - s.ptot[p];
    row += sformat(",%.12f,%.12f,%.12f", s.p00[p], s.ptot[p], absorbed);
  }
  put_file(csv_name(), row + sformat(",%d\n", s.orders), true, routine);
}
