// The plot: |T| and |R| in dB against frequency for both polarisations, one
// panel per direction of the sweep (the first max_plot_panels of them), as
// an SVG picture.  The file is rewritten when a shown direction is complete,
// so that it holds every finished panel if the run stops early.
#include <algorithm>
#include <cmath>
#include <string>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"

fss_plot_rec fss_plot;

namespace {

const char* routine = "write_plot";

// Layout (pixels): a title band, then the panels one below the other.
const int width = 880, title_h = 56, panel_h = 300;
const int left = 70, plot_w = 500, top = 34, plot_h = 220, legend_x = 600;

int trips(const fss_range_rec& r) { return fss_trip_count(r.start, r.end + r.step / 10, r.step); }

int shown() { return std::min(fss_plot.n, fss_plot.cap); }

int height() { return title_h + shown() * panel_h + 10; }

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

std::string text(double x, double y, const std::string& s, const char* extra = "") {
  return sformat("<text x=\"%.1f\" y=\"%.1f\"%s>", x, y, extra) + xml_text(s) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const char* style) {
  return sformat("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" %s/>\n", x1, y1, x2, y2,
                 style);
}

// A step of 1, 2 or 5 times a power of ten giving at most `most` intervals.
double nice_step(double span, int most) {
  const double base = std::pow(10.0, std::floor(std::log10(span / most)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (span / (m * base) <= most) return m * base;
  return 10 * base;
}

std::string tick_label(double v, double step) {
  const int d = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  std::string s = sformat("%.*f", d, v);
  return s == "-0" ? "0" : s;
}

// Up to four decimals, trailing zeros dropped.
std::string angle_label(double deg) {
  std::string s = sformat("%.4f", deg);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

struct curve {
  double plot_point::*value;
  const char* colour;
  const char* dash;
  const char* what;
};
const curve curves[4] = {{&plot_point::t_te, "#1f5fbf", "", "|T|"},
                         {&plot_point::r_te, "#1f5fbf", " stroke-dasharray=\"7,4\"", "|R|"},
                         {&plot_point::t_tm, "#c8321e", "", "|T|"},
                         {&plot_point::r_tm, "#c8321e", " stroke-dasharray=\"7,4\"", "|R|"}};

// Coordinates of one panel: frequency f0 .. f1 (GHz) across, 0 dB down to
// ymin (dB) from the top y0 of the plot area.
struct frame {
  double f0, f1, ymin, y0;
  double px(double f) const { return left + (f - f0) / (f1 - f0) * plot_w; }
  double py(double db) const { return y0 - db / -ymin * plot_h; }
};

// The band where higher Floquet orders propagate (grating lobes), shaded.
// In the waveguide simulator the (-1, 0) order always propagates: it is the
// other plane wave of the guide mode.
std::string lobe_band(const plot_panel& pn, const frame& fr) {
  const int specular = fss_writeinfo.wgs ? 2 : 1;
  for (int i = 1; i <= pn.n; ++i)
    if (pn.p[i].orders > specular) {
      const double fa = i > 1 ? (pn.p[i - 1].f_ghz + pn.p[i].f_ghz) / 2 : fr.f0;
      return sformat("<rect x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%d\" "
                     "fill=\"#f0e6c8\"/>\n", fr.px(fa), fr.y0, fr.px(fr.f1) - fr.px(fa), plot_h) +
             text(fr.px(fr.f1) - 4, fr.y0 + plot_h - 8, "grating lobes",
                  " font-size=\"11\" fill=\"#806020\" text-anchor=\"end\"");
    }
  return "";
}

// Grid, ticks with their labels, frame and axis titles.
std::string axes(const frame& fr) {
  std::string s;
  const double y1 = fr.y0 + plot_h;
  const double fs = nice_step(fr.f1 - fr.f0, 10);
  for (double f = std::ceil(fr.f0 / fs - 1e-9) * fs; f <= fr.f1 + 1e-9 * fs; f += fs) {
    s += line(fr.px(f), fr.y0, fr.px(f), y1, "stroke=\"#dddddd\"");
    s += line(fr.px(f), y1, fr.px(f), y1 + 5, "stroke=\"black\"");
    s += text(fr.px(f), y1 + 18, tick_label(f, fs), " text-anchor=\"middle\"");
  }
  const double ds = -fr.ymin > 60 ? 20 : 10;
  for (double d = 0; d >= fr.ymin - 1e-9; d -= ds) {
    s += line(left, fr.py(d), left + plot_w, fr.py(d), "stroke=\"#dddddd\"");
    s += line(left - 5, fr.py(d), left, fr.py(d), "stroke=\"black\"");
    s += text(left - 8, fr.py(d) + 4, tick_label(d, ds), " text-anchor=\"end\"");
  }
  s += sformat("<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%d\" fill=\"none\" "
               "stroke=\"black\"/>\n", left, fr.y0, plot_w, plot_h);
  s += text(left + plot_w / 2.0, y1 + 38, "frequency [GHz]", " text-anchor=\"middle\"");
  const double ym = fr.y0 + plot_h / 2.0;
  s += sformat("<text x=\"%d\" y=\"%.1f\" text-anchor=\"middle\" transform=\"rotate(-90 %d %.1f)\">"
               "magnitude [dB]</text>\n", left - 45, ym, left - 45, ym);
  return s;
}

// The four curves, clipped to the plot area (a lone point as a dot).
std::string curves_svg(int k, const plot_panel& pn, const frame& fr) {
  std::string s = sformat("<clipPath id=\"clip%d\"><rect x=\"%d\" y=\"%.1f\" width=\"%d\" "
                          "height=\"%d\"/></clipPath>\n", k, left, fr.y0, plot_w, plot_h);
  for (const curve& c : curves) {
    std::string pts;
    for (int i = 1; i <= pn.n; ++i)
      pts += sformat("%s%.2f,%.2f", i > 1 ? " " : "", fr.px(pn.p[i].f_ghz), fr.py(pn.p[i].*c.value));
    s += sformat("<polyline clip-path=\"url(#clip%d)\" fill=\"none\" stroke=\"%s\" "
                 "stroke-width=\"1.8\"%s points=\"", k, c.colour, c.dash) + pts + "\"/>\n";
    if (pn.n == 1)
      s += sformat("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3\" fill=\"%s\"/>\n",
                   fr.px(pn.p[1].f_ghz), fr.py(pn.p[1].*c.value), c.colour);
  }
  return s;
}

// Legend: the polarisations named by the incident electric field.
std::string legend(const plot_panel& pn, const frame& fr) {
  const char* names[2] = {pn.normal ? "E along y" : "TE", pn.normal ? "E along x" : "TM"};
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const double y = fr.y0 + 14 + 24 * i;
    s += sformat("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"%s\" "
                 "stroke-width=\"1.8\"%s/>\n", legend_x, y, legend_x + 30, y, curves[i].colour,
                 curves[i].dash);
    s += text(legend_x + 38, y + 4, std::string(curves[i].what) + " " + names[i / 2]);
  }
  if (!pn.normal) {
    s += text(legend_x, fr.y0 + 112, "TE: E normal to the plane of incidence", " font-size=\"11\"");
    s += text(legend_x, fr.y0 + 128, "TM: E in the plane of incidence", " font-size=\"11\"");
  }
  return s;
}

std::string panel_svg(int k, double f0, double f1) {
  const plot_panel& pn = fss_plot.panel[k];
  // Magnitude range: 0 dB down to the lowest value in steps of 10 dB, at
  // most 80 dB (lower values leave the plot area).
  double lo = 0;
  for (int i = 1; i <= pn.n; ++i)
    for (const curve& c : curves) lo = std::min(lo, pn.p[i].*c.value);
  const frame fr{f0, f1, std::max(-80.0, std::min(-10.0, 10 * std::floor(lo / 10))),
                 double(title_h + (k - 1) * panel_h + top)};
  std::string title;
  if (fss_writeinfo.wgs)
    title = "waveguide simulator: phi = 0, theta = asin(c / (2 a f))";
  else
    title = "theta = " + angle_label(pn.theta) + " deg, phi = " + angle_label(pn.phi) + " deg";
  return sformat("<g id=\"panel%d\">\n", k) +
         text(left, fr.y0 - 12, title, " font-size=\"14\" font-weight=\"bold\"") +
         lobe_band(pn, fr) + axes(fr) + curves_svg(k, pn, fr) + legend(pn, fr) + "</g>\n";
}

}  // namespace

void begin_plot() {
  fss_plot.cap = max_plot_panels;
  fss_plot.n = 0;
  fss_plot.seen = 0;
  fss_plot.directions = fss_writeinfo.wgs ? 1 : trips(fss_phi) * trips(fss_theta);
  fss_plot.freqs = trips(fss_freq_iter);
  // Long sweeps are thinned to the capacity of a panel.
  fss_plot.stride = (fss_plot.freqs + max_plot_points - 1) / max_plot_points;
  if (fss_plot.stride < 1) fss_plot.stride = 1;
}

void store_plot_point() {
  const double deg = 180 / dpi(0);
  if (first_frequency()) {
    if (fss_plot.n >= 1 && fss_plot.n <= fss_plot.cap) write_plot();  // a panel is complete
    ++fss_plot.n;
    fss_plot.seen = 0;
    if (fss_plot.n <= fss_plot.cap) {
      plot_panel& pn = fss_plot.panel[fss_plot.n];
      pn.theta = fss_inc_angle.theta * deg;
      pn.phi = fss_inc_angle.phi * deg;
      pn.normal = fss_inc_mode.indextemx > 0;
      pn.n = 0;
    }
  }
  const int k = fss_plot.n;
  if (k > fss_plot.cap || fss_plot.seen++ % fss_plot.stride != 0) return;
  plot_panel& pn = fss_plot.panel[k];
  if (pn.n >= max_plot_points) return;
  const fss_polar_rec& s = fss_polar;
  pn.p[++pn.n] = {fss_em_var.f / 1e9, magnitude_db(s.t[1][1]), magnitude_db(s.r[1][1]),
                  magnitude_db(s.t[2][2]), magnitude_db(s.r[2][2]), s.orders};
}

void write_plot() {
  double f0 = fss_freq_iter.start / 1e9;
  double f1 = (fss_freq_iter.start + (fss_plot.freqs - 1) * fss_freq_iter.step) / 1e9;
  if (!(f1 - f0 > 1e-9 * std::max(1.0, f1))) {
    f0 -= 0.5;
    f1 += 0.5;
  }
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += sformat("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
               "viewBox=\"0 0 %d %d\" font-family=\"DejaVu Sans, Arial, sans-serif\" "
               "font-size=\"12\">\n", width, height(), width, height());
  s += sformat("<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", width, height());
  s += text(left, 24, structure_title() + ": transmission |T| and reflection |R|",
            " font-size=\"16\" font-weight=\"bold\"");
  const int nd = fss_plot.directions;
  std::string note = "co-polarised; ";
  if (nd > fss_plot.cap)
    note += "the first " + std::to_string(fss_plot.cap) + " of the " + std::to_string(nd) +
            " directions of the sweep are drawn";
  else
    note += std::to_string(nd) + (nd > 1 ? " directions" : " direction");
  if (fss_plot.stride > 1)
    note += "; one frequency in " + std::to_string(fss_plot.stride) + " is drawn";
  s += text(left, 44, note);
  for (int k = 1; k <= shown(); ++k) s += panel_svg(k, f0, f1);
  put_file(result_name(".svg"), s + "</svg>\n", false, routine);
}
