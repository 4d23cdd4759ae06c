// The plot: the structure, then |T| and |R| in dB of both polarisations,
// one panel per direction of the sweep against frequency or, for a sweep
// over theta at fixed frequencies, one panel per (phi, frequency) against
// theta.  At most max_plot_panels result panels, chosen evenly over the
// sweep, all on one dB range.  The file is rewritten whenever panels are
// complete, so that it holds every finished panel if the run stops early.
#include <algorithm>
#include <cmath>
#include <string>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "scattering/geometry_picture.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"

fss_plot_rec fss_plot;

namespace {

const char* routine = "write_plot";

// Layout (pixels): a title band, the structure, then the result panels one
// below the other.
const int width = 880, title_h = 72, panel_h = 300;
const int left = 70, plot_w = 500, top = 34, plot_h = 220, legend_x = 600;
// Two curves closer than this everywhere (pixels; they are 1.8 wide) are
// said to coincide: the one drawn last hides the other.
const double coincide_px = 1.0;

int trips(const fss_range_rec& r) { return fss_trip_count(r.start, r.end + r.step / 10, r.step); }

int shown() { return std::min(fss_plot.n, fss_plot.cap); }

int height() { return title_h + geometry_height + shown() * panel_h + 10; }

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

// Coordinates of one panel: the abscissa x0 .. x1 (GHz or degrees) across,
// 0 dB down to ymin (dB) from the top y0 of the plot area.
struct frame {
  double x0, x1, ymin, y0;
  double px(double x) const { return left + (x - x0) / (x1 - x0) * plot_w; }
  double py(double db) const { return y0 - db / -ymin * plot_h; }
};

// The panels drawn: max_plot_panels of the sweep's, evenly from the first
// to the last.
void choose_panels() {
  const int total = fss_plot.total, m = std::min(total, fss_plot.cap);
  fss_plot.nchosen = m;
  for (int k = 1; k <= m; ++k)
    fss_plot.chosen[k] = m == 1 ? 1 : static_cast<int>(std::lround(double(k - 1) * (total - 1) / (m - 1))) + 1;
}

bool is_chosen(int number) {
  for (int k = 1; k <= fss_plot.nchosen; ++k)
    if (fss_plot.chosen[k] == number) return true;
  return false;
}

// A panel begun for the panel of the sweep `number`.
plot_panel* begin_panel(int number) {
  if (!is_chosen(number) || fss_plot.n >= fss_plot.cap) return nullptr;
  plot_panel& pn = fss_plot.panel[++fss_plot.n];
  pn.number = number;
  pn.n = 0;
  return &pn;
}

// The panels begun since the last writing are complete: written.
void write_complete() {
  if (fss_plot.n >= fss_plot.first_open) {
    write_plot();
    fss_plot.first_open = fss_plot.n + 1;
  }
}

void add_point(plot_panel& pn, double x) {
  if (pn.n >= max_plot_points) return;
  const fss_polar_rec& s = fss_polar;
  pn.p[++pn.n] = {x, magnitude_db(s.t[1][1]), magnitude_db(s.r[1][1]), magnitude_db(s.t[2][2]),
                  magnitude_db(s.r[2][2]), s.orders};
}

// The electric field of a wave of normal incidence, by its direction (degrees
// from x).
std::string field_name(double deg) {
  double d = std::fmod(deg, 180.0);
  if (d < 0) d += 180;
  if (std::fabs(d) < 1e-9 || std::fabs(d - 180) < 1e-9) return "E along x";
  if (std::fabs(d - 90) < 1e-9) return "E along y";
  return "E at " + angle_label(d) + " deg";
}

bool coincide(const plot_panel& pn, const frame& fr) {
  const double db = coincide_px * -fr.ymin / plot_h;
  for (int i = 1; i <= pn.n; ++i)
    if (std::fabs(pn.p[i].t_te - pn.p[i].t_tm) > db || std::fabs(pn.p[i].r_te - pn.p[i].r_tm) > db)
      return false;
  return pn.n > 0;
}

int specular_orders() { return fss_writeinfo.wgs ? 2 : 1; }

bool has_band(const plot_panel& pn) {
  for (int i = 1; i <= pn.n; ++i)
    if (pn.p[i].orders > specular_orders()) return true;
  return false;
}

// The band where higher Floquet orders propagate (grating lobes), shaded.
// In the waveguide simulator the (-1, 0) order always propagates: it is the
// other plane wave of the guide mode.
// Its label stays inside the band: across it when it fits, along it in a
// narrow band, none in a band narrower than a letter (the caption says what
// the shading means).
std::string lobe_band(const plot_panel& pn, const frame& fr) {
  for (int i = 1; i <= pn.n; ++i)
    if (pn.p[i].orders > specular_orders()) {
      const double xa = fr.px(i > 1 ? (pn.p[i - 1].x + pn.p[i].x) / 2 : fr.x0);
      const double w = fr.px(fr.x1) - xa;
      std::string s = sformat("<rect class=\"lobes\" x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%d\" "
                              "fill=\"#f0e6c8\"/>\n", xa, fr.y0, w, plot_h);
      const char* style = " font-size=\"11\" fill=\"#806020\"";
      if (w >= 86) {
        s += svg_text(fr.px(fr.x1) - 4, fr.y0 + plot_h - 8, "grating lobes",
                      (std::string(style) + " text-anchor=\"end\"").c_str());
      } else if (w >= 14) {
        const double x = xa + w / 2 + 4, y = fr.y0 + plot_h - 6;
        s += svg_text(x, y, "grating lobes",
                      (std::string(style) + sformat(" transform=\"rotate(-90 %.2f %.1f)\"", x, y)).c_str());
      }
      return s;
    }
  return "";
}

// Grid, ticks with their labels, frame and axis titles.
std::string axes(const frame& fr) {
  std::string s;
  const double y1 = fr.y0 + plot_h;
  const double fs = nice_step(fr.x1 - fr.x0, 10);
  for (double f = std::ceil(fr.x0 / fs - 1e-9) * fs; f <= fr.x1 + 1e-9 * fs; f += fs) {
    s += line(fr.px(f), fr.y0, fr.px(f), y1, "stroke=\"#dddddd\"");
    s += line(fr.px(f), y1, fr.px(f), y1 + 5, "stroke=\"black\"");
    s += svg_text(fr.px(f), y1 + 18, tick_label(f, fs), " text-anchor=\"middle\"");
  }
  const double ds = -fr.ymin > 60 ? 20 : 10;
  for (double d = 0; d >= fr.ymin - 1e-9; d -= ds) {
    s += line(left, fr.py(d), left + plot_w, fr.py(d), "stroke=\"#dddddd\"");
    s += line(left - 5, fr.py(d), left, fr.py(d), "stroke=\"black\"");
    s += svg_text(left - 8, fr.py(d) + 4, tick_label(d, ds), " text-anchor=\"end\"");
  }
  s += sformat("<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%d\" fill=\"none\" "
               "stroke=\"black\"/>\n", left, fr.y0, plot_w, plot_h);
  s += svg_text(left + plot_w / 2.0, y1 + 38, fss_plot.against_theta ? "theta [deg]" : "frequency [GHz]",
                " text-anchor=\"middle\"");
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
      pts += sformat("%s%.2f,%.2f", i > 1 ? " " : "", fr.px(pn.p[i].x), fr.py(pn.p[i].*c.value));
    s += sformat("<polyline clip-path=\"url(#clip%d)\" fill=\"none\" stroke=\"%s\" "
                 "stroke-width=\"1.8\"%s points=\"", k, c.colour, c.dash) + pts + "\"/>\n";
    if (pn.n == 1)
      s += sformat("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3\" fill=\"%s\"/>\n",
                   fr.px(pn.p[1].x), fr.py(pn.p[1].*c.value), c.colour);
  }
  return s;
}

// Legend: the polarisations named by the incident electric field; at normal
// incidence by its direction in the plane of phi.  Curves that coincide are
// said so: the red ones are drawn over the blue.
std::string legend(const plot_panel& pn, const frame& fr) {
  const bool normal = pn.normal && !fss_plot.against_theta;
  const std::string names[2] = {normal ? field_name(pn.phi + 90) : "TE", normal ? field_name(pn.phi) : "TM"};
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const double y = fr.y0 + 14 + 24 * i;
    s += sformat("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"%s\" "
                 "stroke-width=\"1.8\"%s/>\n", legend_x, y, legend_x + 30, y, curves[i].colour,
                 curves[i].dash);
    s += svg_text(legend_x + 38, y + 4, std::string(curves[i].what) + " " + names[i / 2]);
  }
  double y = fr.y0 + 112;
  auto note = [&](const std::string& words) {
    s += svg_text(legend_x, y, words, " font-size=\"11\"");
    y += 16;
  };
  if (!normal) {
    note("TE: E normal to the plane of incidence");
    note("TM: E in the plane of incidence");
  } else if (names[0].compare(0, 5, "E at ") == 0) {
    note("the angles of E from the x axis:");
    note("the plane of incidence is that of phi");
  }
  if (coincide(pn, fr)) {
    y += 4;
    note("both polarisations coincide at this scale:");
    note("the red curves cover the blue ones");
  }
  return s;
}

std::string panel_svg(int k, double x0, double x1, double ymin) {
  const plot_panel& pn = fss_plot.panel[k];
  const frame fr{x0, x1, ymin, double(title_h + geometry_height + (k - 1) * panel_h + top)};
  std::string title;
  if (fss_writeinfo.wgs)
    title = "waveguide simulator: phi = 0, theta = asin(c / (2 a f))";
  else if (fss_plot.against_theta)
    title = "f = " + angle_label(pn.f) + " GHz, phi = " + angle_label(pn.phi) + " deg";
  else
    title = "theta = " + angle_label(pn.theta) + " deg, phi = " + angle_label(pn.phi) + " deg";
  return sformat("<g id=\"panel%d\">\n", k) +
         svg_text(left, fr.y0 - 12, title, " font-size=\"14\" font-weight=\"bold\"") +
         lobe_band(pn, fr) + axes(fr) + curves_svg(k, pn, fr) + legend(pn, fr) + "</g>\n";
}

// "1, 3, 4, 6, 7 and 9"
std::string chosen_list() {
  std::string s;
  for (int k = 1; k <= fss_plot.nchosen; ++k)
    s += (k == 1 ? "" : k == fss_plot.nchosen ? " and " : ", ") + std::to_string(fss_plot.chosen[k]);
  return s;
}

// The two lines under the title: what is drawn, and how.
std::string caption() {
  const int total = fss_plot.total;
  const char* what = fss_plot.against_theta ? " (phi, frequency) pairs" : " directions";
  std::string first = fss_plot.against_theta ? "co-polarised, against theta at fixed frequencies; "
                                             : "co-polarised, against frequency; ";
  if (total > fss_plot.cap)
    first += std::to_string(fss_plot.nchosen) + " of the " + std::to_string(total) + what +
             " of the sweep are drawn: " + chosen_list();
  else if (fss_plot.against_theta)
    first += std::to_string(total) + (total > 1 ? " (phi, frequency) pairs" : " (phi, frequency) pair");
  else
    first += std::to_string(total) + (total > 1 ? " directions" : " direction");
  if (fss_plot.stride > 1)
    first += "; one " + std::string(fss_plot.against_theta ? "theta" : "frequency") + " in " +
             std::to_string(fss_plot.stride) + " is drawn";
  std::string second = "one dB range for every panel";
  bool band = false;
  for (int k = 1; k <= shown(); ++k) band = band || has_band(fss_plot.panel[k]);
  if (band) second += "; shaded: higher Floquet orders propagate (grating lobes)";
  return svg_text(left, 44, first) + svg_text(left, 62, second);
}

}  // namespace

void begin_plot() {
  fss_plot.cap = max_plot_panels;
  fss_plot.n = 0;
  fss_plot.seen = fss_plot.direction = fss_plot.phi_pass = fss_plot.thetas_seen = 0;
  fss_plot.first_open = 1;
  const int nf = trips(fss_freq_iter);
  const int nt = fss_writeinfo.wgs ? 1 : trips(fss_theta), np = fss_writeinfo.wgs ? 1 : trips(fss_phi);
  // More thetas than frequencies: a sweep over theta, drawn against theta.
  fss_plot.against_theta = nt > nf ? 1 : 0;
  fss_plot.freqs = nf;
  fss_plot.total = fss_plot.against_theta ? np * nf : np * nt;
  fss_plot.points = fss_plot.against_theta ? nt : nf;
  // Long sweeps are thinned to the capacity of a panel.
  fss_plot.stride = std::max(1, (fss_plot.points + max_plot_points - 1) / max_plot_points);
  choose_panels();
}

void store_plot_point() {
  const double deg = 180 / dpi(0);
  if (!fss_plot.against_theta) {
    if (first_frequency()) {
      write_complete();  // the direction before is complete
      ++fss_plot.direction;
      fss_plot.seen = 0;
      if (plot_panel* pn = begin_panel(fss_plot.direction)) {
        pn->theta = fss_inc_angle.theta * deg;
        pn->phi = fss_inc_angle.phi * deg;
        pn->normal = fss_inc_mode.indextemx > 0;
      }
    }
    plot_panel& pn = fss_plot.panel[std::max(fss_plot.n, 1)];
    if (fss_plot.n == 0 || pn.number != fss_plot.direction || fss_plot.seen++ % fss_plot.stride != 0) return;
    add_point(pn, fss_em_var.f / 1e9);
    return;
  }
  // Against theta: the panels of a phi pass, one per frequency, fill
  // together as theta advances.
  const int nf = fss_plot.freqs;
  const bool first_theta = std::fabs(fss_inc_angle.theta - fss_theta.start) <= 1e-12 * (1 + std::fabs(fss_theta.start));
  if (first_frequency() && first_theta) {
    write_complete();  // the phi pass before is complete
    ++fss_plot.phi_pass;
    fss_plot.thetas_seen = 0;
    for (int j = 1; j <= nf; ++j)
      if (plot_panel* pn = begin_panel((fss_plot.phi_pass - 1) * nf + j)) {
        pn->phi = fss_inc_angle.phi * deg;
        pn->f = (fss_freq_iter.start + (j - 1) * fss_freq_iter.step) / 1e9;
      }
  }
  if (first_frequency()) ++fss_plot.thetas_seen;
  if ((fss_plot.thetas_seen - 1) % fss_plot.stride != 0) return;
  const int j = static_cast<int>(std::lround((fss_em_var.f - fss_freq_iter.start) / fss_freq_iter.step)) + 1;
  const int number = (fss_plot.phi_pass - 1) * nf + j;
  for (int k = fss_plot.first_open; k <= fss_plot.n; ++k)
    if (fss_plot.panel[k].number == number) add_point(fss_plot.panel[k], fss_inc_angle.theta * deg);
}

void write_plot() {
  // The abscissa of the sweep: its frequencies, or its thetas.
  const fss_range_rec& r = fss_plot.against_theta ? fss_theta : fss_freq_iter;
  const double unit = fss_plot.against_theta ? 180 / dpi(0) : 1e-9;
  double x0 = r.start * unit, x1 = (r.start + (fss_plot.points - 1) * r.step) * unit;
  if (!(x1 - x0 > 1e-9 * std::max(1.0, std::fabs(x1)))) {
    x0 -= 0.5;
    x1 += 0.5;
  }
  // One magnitude range for every panel: 0 dB down to the lowest value in
  // steps of 10 dB, at most 80 dB (lower values leave the plot area).
  double lo = 0;
  for (int k = 1; k <= shown(); ++k)
    for (int i = 1; i <= fss_plot.panel[k].n; ++i)
      for (const curve& c : curves) lo = std::min(lo, fss_plot.panel[k].p[i].*c.value);
  const double ymin = std::max(-80.0, std::min(-10.0, 10 * std::floor(lo / 10)));
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += sformat("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
               "viewBox=\"0 0 %d %d\" font-family=\"DejaVu Sans, Arial, sans-serif\" "
               "font-size=\"12\">\n", width, height(), width, height());
  s += sformat("<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", width, height());
  s += svg_text(left, 24, structure_title() + ": transmission |T| and reflection |R|",
                " font-size=\"16\" font-weight=\"bold\"");
  s += caption();
  s += geometry_svg(title_h);
  for (int k = 1; k <= shown(); ++k) s += panel_svg(k, x0, x1, ymin);
  put_file(result_name(".svg"), s + "</svg>\n", false, routine);
}
