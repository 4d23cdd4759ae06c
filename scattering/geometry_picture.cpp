#include "scattering/geometry_picture.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "contour/contour.hpp"
#include "contour/outline.hpp"
#include "records/run.hpp"
#include "records/structure.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"

namespace {

// Layout (pixels): the drawing, a square at the left, the words at the right.
const int draw_x = 70, draw_top = 34, draw_size = 370, info_x = 470, title_band = 56;
const double pi = 3.141592653589793;

// What the picture shows that the run would refuse, for the console too.
std::vector<std::string> faults;

struct point2 {
  double x, y;
};
point2 operator+(point2 p, point2 q) { return {p.x + q.x, p.y + q.y}; }
point2 operator-(point2 p, point2 q) { return {p.x - q.x, p.y - q.y}; }
point2 operator*(double s, point2 p) { return {s * p.x, s * p.y}; }

std::string num(double v) {
  std::string s = sformat("%.6g", v);
  return s == "-0" ? "0" : s;
}
std::string xy(point2 p) { return num(p.x) + " " + num(p.y); }
// A length for the words: rounding noise (b cot 90 deg) shown as 0.
std::string words_num(double v, double scale) { return num(std::fabs(v) < 1e-9 * scale ? 0 : v); }

// The drawing: millimetres in the group of the lattice, pixels outside.
struct frame {
  double x0, y1;  // the view's left and top (mm)
  double s;       // pixels per millimetre
  double top;     // the drawing's top (pixels)
  double px(double x) const { return draw_x + (x - x0) * s; }
  double py(double y) const { return top + (y1 - y) * s; }
};

// SVG path commands of a piece, from its start.
std::string piece_path(const outline_piece& p) {
  if (!p.arc) return " L " + num(p.x2) + " " + num(p.y2);
  // In the group's own (y up) coordinates a positive sweep is counter-clockwise;
  // a full circle is drawn as two halves.
  const int sweep = p.dt > 0 ? 1 : 0;
  std::string r = num(p.r) + " " + num(p.r) + " 0 ";
  const double tm = p.t1 + p.dt / 2;
  if (std::fabs(p.dt) > 1.9 * pi)
    return " A " + r + "0 " + std::to_string(sweep) + " " + xy({p.cx + p.r * std::cos(tm), p.cy + p.r * std::sin(tm)}) +
           " A " + r + "0 " + std::to_string(sweep) + " " + num(p.x2) + " " + num(p.y2);
  return " A " + r + (std::fabs(p.dt) > pi ? "1 " : "0 ") + std::to_string(sweep) + " " + num(p.x2) + " " +
         num(p.y2);
}

// A closed line moved by d, as one subpath.
std::string line_path(const outline_line& l, point2 d) {
  std::string s;
  for (std::size_t k = 0; k < l.pieces.size(); ++k) {
    outline_piece p = l.pieces[k];
    p.x1 += d.x, p.x2 += d.x, p.y1 += d.y, p.y2 += d.y, p.cx += d.x, p.cy += d.y;
    if (k == 0) s += "M " + num(p.x1) + " " + num(p.y1);
    s += piece_path(p);
  }
  return s + " Z ";
}

// Box of the pieces (arcs by their extreme points).
void box(const std::vector<outline_piece>& ps, point2& lo, point2& hi) {
  lo = {1e300, 1e300};
  hi = {-1e300, -1e300};
  auto take = [&](double x, double y) {
    lo = {std::min(lo.x, x), std::min(lo.y, y)};
    hi = {std::max(hi.x, x), std::max(hi.y, y)};
  };
  for (const outline_piece& p : ps) {
    take(p.x1, p.y1);
    take(p.x2, p.y2);
    if (!p.arc) continue;
    for (int q = 0; q < 4; ++q) {  // the quarter points the arc passes
      const double t = q * pi / 2;
      const double a = p.dt > 0 ? std::fmod(t - p.t1 + 8 * pi, 2 * pi) : std::fmod(p.t1 - t + 8 * pi, 2 * pi);
      if (a <= std::fabs(p.dt)) take(p.cx + p.r * std::cos(t), p.cy + p.r * std::sin(t));
    }
  }
}

// An arrow from a to b (mm), its head a triangle of the given size (mm).
std::string arrow(const char* id, point2 a, point2 b, double head, double width, const char* colour) {
  const point2 d = b - a;
  const double len = std::hypot(d.x, d.y);
  const point2 u = (1 / len) * d, n = {-u.y, u.x};
  const point2 base = b - head * u;
  const point2 l = base + 0.4 * head * n, r = base - 0.4 * head * n;
  return sformat("<line id=\"%s\" class=\"lattice-vector\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" "
                 "stroke=\"%s\" stroke-width=\"%s\"/>\n",
                 id, num(a.x).c_str(), num(a.y).c_str(), num(b.x).c_str(), num(b.y).c_str(), colour,
                 num(width).c_str()) +
         "<polygon points=\"" + num(b.x) + "," + num(b.y) + " " + num(l.x) + "," + num(l.y) + " " + num(r.x) +
         "," + num(r.y) + "\" fill=\"" + colour + "\"/>\n";
}

// The words at the right of the drawing.
std::vector<std::string> description(double a, double b, double alpha_deg, double a2len, double t,
                                     bool closed, double area, int nel, int apertures, int screens,
                                     point2 a2) {
  std::vector<std::string> w;
  w.push_back("lattice vectors a1 = (" + num(a) + ", 0) mm,");
  w.push_back("\ta2 = (" + words_num(a2.x, a2len) + ", " + num(a2.y) + ") mm");
  w.push_back("periods a = " + num(a) + " mm, b = " + num(b) + " mm (block 1):");
  w.push_back("\tb is the height of a2; its length is " + num(a2len) + " mm");
  w.push_back("skew angle " + num(alpha_deg) + " deg between a1 and a2 (block 2)");
  w.push_back("metal thickness " + num(t) + " mm (block 3)");
  std::string ap = apertures > 1 ? std::to_string(apertures) + " apertures: " : "aperture: ";
  ap += std::to_string(nel) + (nel == 1 ? " element" : " elements");
  if (closed)
    ap += ", " + sformat("%.4g", area) + " mm^2, " + sformat("%.3g", 100 * area / (a * b)) + " % of the cell";
  if (screens == 1) {
    w.push_back(ap + " (block 4)");
  } else {
    w.push_back(ap);
    w.push_back("\tin screen 1; " + std::to_string(screens) + " screens (block 4, \"$\")");
  }
  return w;
}

// Colour of the outlines of screen sc (1: the screen drawn with its holes).
const char* screen_colour(int sc) {
  static const char* colours[] = {"#1f5fbf", "#1f5fbf", "#2a9d3a", "#d07a00", "#8e44ad",
                                  "#16a0a0", "#b03070", "#707020", "#3050a0"};
  return colours[std::clamp(sc, 0, 8)];
}

// One aperture of the description: its elements (entries from 1), screen,
// and the closed lines they form.
struct drawn_aperture {
  int screen = 1;
  std::vector<elm_row> el = std::vector<elm_row>(1);
  std::vector<outline_line> lines;
  std::vector<outline_piece> pieces;
  bool closed = false;
};

std::vector<drawn_aperture> apertures_as_read() {
  std::vector<drawn_aperture> v;
  for (int i = 1; i <= fss_aperture.n; ++i) {
    const int k = fss_aperture.ap[i];
    if (static_cast<int>(v.size()) < k) v.resize(k);
    v[k - 1].screen = fss_aperture.sc[i];
    v[k - 1].el.push_back(fss_aperture.el[i]);
  }
  for (drawn_aperture& d : v) {
    const int n = static_cast<int>(d.el.size()) - 1;
    d.closed = n > 0 && outline_lines(d.el.data(), n, d.lines);
    if (d.closed) {
      for (const outline_line& l : d.lines) d.pieces.insert(d.pieces.end(), l.pieces.begin(), l.pieces.end());
    } else {
      for (int i = 1; i <= n; ++i) {
        outline_piece p;
        if (outline_element(d.el[i], i, p)) d.pieces.push_back(p);
      }
    }
  }
  return v;
}

}  // namespace

std::string geometry_svg(double top) {
  const double a = fss_cell_dim.a * 1e3, b = fss_cell_dim.b * 1e3, alpha = fss_lattice_angle.alpha;
  const point2 a1{a, 0}, a2{b / std::tan(alpha), b};
  const double a2len = std::hypot(a2.x, a2.y);
  const std::vector<drawn_aperture> aps = apertures_as_read();
  int screens = 1, first_screen_apertures = 0, nel = 0;
  bool closed = !aps.empty();
  double area = 0;
  std::vector<outline_piece> pieces;  // of every aperture, for the view
  for (const drawn_aperture& d : aps) {
    screens = std::max(screens, d.screen);
    pieces.insert(pieces.end(), d.pieces.begin(), d.pieces.end());
    if (d.screen != 1) continue;
    ++first_screen_apertures;
    nel += static_cast<int>(d.el.size()) - 1;
    closed = closed && d.closed;
    double ar = 0, perimeter = 0;
    int inner = 0;
    if (d.closed && outline_measures(d.el.data(), static_cast<int>(d.el.size()) - 1, ar, perimeter, inner))
      area += ar;
  }

  // The unit cell around the aperture: from the lattice point o, spanned by
  // a1 and a2; the view, a square about its centre, shows parts of the
  // neighbouring cells.
  point2 lo{-a / 2, -b / 2}, hi{a / 2, b / 2};
  if (!pieces.empty()) box(pieces, lo, hi);
  const point2 c = 0.5 * (lo + hi);
  const point2 o = c - 0.5 * (a1 + a2);
  const double w = std::max({std::fabs(a1.x) + std::fabs(a2.x), a2.y, hi.x - lo.x, hi.y - lo.y});
  const double half = 1.05 * w;
  const frame f{c.x - half, c.y + half, draw_size / (2 * half), top + draw_top};
  const double px = 1 / f.s;  // one pixel in millimetres

  std::string s = sformat("<g id=\"geometry\">\n");
  s += svg_text(draw_x, top + draw_top - 12, "the structure: a few cells of the screen in the x-y plane",
                " font-size=\"14\" font-weight=\"bold\"");
  s += sformat("<clipPath id=\"geoclip\"><rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%d\"/></clipPath>\n",
               draw_x, f.top, draw_size, draw_size);
  s += sformat("<g clip-path=\"url(#geoclip)\">\n<g id=\"lattice\" transform=\"translate(%s %s) scale(%s %s)\">\n",
               num(f.px(0)).c_str(), num(f.py(0)).c_str(), num(f.s).c_str(), num(-f.s).c_str());
  // The metal, then every copy of each aperture of the first screen that
  // reaches into the view, all lines in one path filled by the even-odd
  // rule: inside an outer line white, inside an inner line (a conductor)
  // metal again, inside an aperture in a conductor white again; two copies
  // that overlap leave their common part grey.
  std::string holes;
  int copies = 0;
  const int reach = static_cast<int>(std::ceil(2 * half / std::min(a, b))) + 2;
  for (int i = -reach; i <= reach; ++i)
    for (int j = -reach; j <= reach; ++j) {
      const point2 d = double(i) * a1 + double(j) * a2;
      if (lo.x + d.x > c.x + half || hi.x + d.x < c.x - half || lo.y + d.y > c.y + half || hi.y + d.y < c.y - half)
        continue;
      bool drawn = false;
      for (const drawn_aperture& ap : aps) {
        if (ap.screen != 1 || !ap.closed) continue;
        drawn = true;
        for (const outline_line& l : ap.lines) holes += line_path(l, d);
      }
      if (drawn) ++copies;
    }
  s += "<rect id=\"screen\" x=\"" + num(c.x - half) + "\" y=\"" + num(c.y - half) + "\" width=\"" +
       num(2 * half) + "\" height=\"" + num(2 * half) + "\" fill=\"#c4c4c4\"/>\n";
  s += "<path id=\"holes\" fill=\"white\" fill-rule=\"evenodd\" stroke=\"none\" data-copies=\"" +
       std::to_string(copies) + "\" d=\"" + holes + "\"/>\n";
  // The apertures as described: their sides and arcs, dots at the element
  // starts; those of later screens dashed, in a colour of their own.
  for (int sc = 1; sc <= screens; ++sc) {
    std::string outline;
    bool all_closed = true;
    for (const drawn_aperture& ap : aps) {
      if (ap.screen != sc) continue;
      all_closed = all_closed && ap.closed;
      for (const outline_piece& p : ap.pieces) outline += "M " + num(p.x1) + " " + num(p.y1) + piece_path(p) + " ";
    }
    const std::string colour = all_closed ? screen_colour(sc) : "#d01010";
    const std::string id = sc == 1 ? "aperture" : "aperture-screen" + std::to_string(sc);
    s += "<path id=\"" + id + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + num(1.6 * px) +
         (sc == 1 ? std::string() : "\" stroke-dasharray=\"" + num(5 * px) + "," + num(3 * px)) + "\" d=\"" +
         outline + "\"/>\n";
    for (const drawn_aperture& ap : aps) {
      if (ap.screen != sc) continue;
      for (const outline_piece& p : ap.pieces)
        s += "<circle class=\"element-end\" cx=\"" + num(p.x1) + "\" cy=\"" + num(p.y1) + "\" r=\"" +
             num(2.6 * px) + "\" fill=\"" + screen_colour(sc) + "\"/>\n";
    }
  }
  // The unit cell and the lattice vectors from its corner o, with the angle.
  const point2 p1 = o + a1, p2 = o + a1 + a2, p3 = o + a2;
  s += "<polygon id=\"cell\" fill=\"none\" stroke=\"#404040\" stroke-width=\"" + num(1.2 * px) +
       "\" stroke-dasharray=\"" + num(6 * px) + "," + num(4 * px) + "\" points=\"" + num(o.x) + "," + num(o.y) +
       " " + num(p1.x) + "," + num(p1.y) + " " + num(p2.x) + "," + num(p2.y) + " " + num(p3.x) + "," +
       num(p3.y) + "\"/>\n";
  s += arrow("a1", o, p1, 11 * px, 2.2 * px, "#c8321e");
  s += arrow("a2", o, p3, 11 * px, 2.2 * px, "#c8321e");
  // The height b of a2 over the line of a1, where a2 leans: at the far
  // side of the cell, clear of the aperture.
  if (std::fabs(a2.x) > 1e-9 * a2len)
    s += "<line id=\"height\" x1=\"" + num(p2.x) + "\" y1=\"" + num(p2.y) + "\" x2=\"" + num(p2.x) +
         "\" y2=\"" + num(o.y) + "\" stroke=\"#c8321e\" stroke-width=\"" + num(1.2 * px) +
         "\" stroke-dasharray=\"" + num(2 * px) + "," + num(3 * px) + "\"/>\n";
  const double r = 0.22 * std::min(a, a2len);
  s += "<path id=\"angle\" fill=\"none\" stroke=\"#c8321e\" stroke-width=\"" + num(1.2 * px) + "\" d=\"M " +
       xy(o + point2{r, 0}) + " A " + num(r) + " " + num(r) + " 0 0 1 " +
       xy(o + r * point2{std::cos(alpha), std::sin(alpha)}) + "\"/>\n";
  s += "</g>\n</g>\n";
  s += sformat("<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"black\"/>\n",
               draw_x, f.top, draw_size, draw_size);
  // Labels of the vectors and of the angle, kept inside the drawing.
  auto label = [&](point2 at, const std::string& words, const char* anchor) {
    const double x = std::clamp(f.px(at.x), draw_x + 4.0, draw_x + draw_size - 4.0);
    const double y = std::clamp(f.py(at.y), f.top + 14, f.top + draw_size - 4);
    // A white rim keeps the words legible on the metal and in the holes.
    return svg_text(x, y, words, (std::string(" font-size=\"12\" fill=\"#a02010\" text-anchor=\"") + anchor +
                                  "\" font-weight=\"bold\" stroke=\"white\" stroke-width=\"3\" "
                                  "paint-order=\"stroke\"").c_str());
  };
  s += label(o + 0.5 * a1 + point2{0, -16 * px}, "a1: " + num(a) + " mm", "middle");
  s += label(o + 0.5 * a2 + point2{-8 * px, 0}, "a2: " + num(a2len) + " mm", "end");
  if (std::fabs(a2.x) > 1e-9 * a2len)
    s += label(p2 + point2{(a2.x > 0 ? 6 : -6) * px, -0.5 * b}, "b: " + num(b) + " mm", a2.x > 0 ? "start" : "end");
  const double half_angle = alpha / 2;
  s += label(o + (r + 6 * px) * point2{std::cos(half_angle), std::sin(half_angle)},
             num(alpha * 180 / pi) + " deg", "start");
  // The words.
  double y = f.top + 14;
  // A line beginning with a TAB continues the one before, indented.
  auto indent = [](const std::string& line) { return line[0] == '\t' ? 14.0 : 0.0; };
  auto words = [](const std::string& line) { return line[0] == '\t' ? line.substr(1) : line; };
  for (const std::string& line : description(a, b, alpha * 180 / pi, a2len, fss_thickness.t1 * 1e3, closed,
                                             area, nel, first_screen_apertures, screens, a2)) {
    s += svg_text(info_x + indent(line), y, words(line));
    y += 19;
  }
  y += 10;
  std::vector<std::string> keys = {"grey: the metal screen, inner conductors included", "white: the apertures",
                                   "blue: the aperture as described, a dot at the", "\tstart of each side or arc",
                                   "red: the lattice vectors from a corner of the cell"};
  if (std::fabs(a2.x) > 1e-9 * a2len) {
    keys.back() += ",";
    keys.push_back("\tdotted: the height b of a2");
  }
  keys.push_back("dashed: the unit cell they span");
  for (int sc = 2; sc <= screens; ++sc)
    keys.push_back(std::string(sc == 2 ? "green" : sc == 3 ? "orange" : sc == 4 ? "purple" : "coloured") +
                   ", dashed: the apertures of screen " + std::to_string(sc));
  for (const std::string& key : keys) {
    s += svg_text(info_x + indent(key), y, words(key), " font-size=\"11\" fill=\"#404040\"");
    y += 16;
  }
  y += 10;
  // What the coder will refuse, said here already.
  faults.clear();
  for (std::size_t k = 0; k < aps.size(); ++k) {
    const drawn_aperture& ap = aps[k];
    const std::string which = aps.size() > 1 ? "aperture " + std::to_string(k + 1) : "the aperture";
    const std::string whose = aps.size() > 1 ? "the elements of aperture " + std::to_string(k + 1) : "the elements";
    if (!ap.closed && ap.el.size() > 1) faults.push_back(whose + " do not form closed lines (drawn in red)");
    if (!ap.closed) continue;
    double tx = 0, ty = 0;
    int r1 = 0, r2 = 0;
    const int o = cell_overlap(ap.el.data(), static_cast<int>(ap.el.size()) - 1, a, b, alpha, tx, ty, r1, r2);
    if (o == 1) faults.push_back(which + " meets its neighbour moved by (" + num(tx) + ", " + num(ty) + ") mm");
    if (o == 2) faults.push_back(which + " spans too many cells");
  }
  if (fss_aperture.more > 0)
    faults.push_back("only the first " + std::to_string(fss_aperture.cap) + " elements are drawn");
  for (const std::string& fault : faults) {
    s += svg_text(info_x, y, fault, " fill=\"#d01010\" font-weight=\"bold\"");
    y += 18;
  }
  return s + "</g>\n";
}

void write_geometry_picture() {
  const int height = title_band + geometry_height + 10;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += sformat("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"880\" height=\"%d\" viewBox=\"0 0 880 %d\" "
               "font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n",
               height, height);
  s += sformat("<rect width=\"880\" height=\"%d\" fill=\"white\"/>\n", height);
  s += svg_text(draw_x, 24, structure_title() + ": the structure as described", " font-size=\"16\" font-weight=\"bold\"");
  s += svg_text(draw_x, 44, "drawn from blocks 1 to 4 before any computation");
  s += geometry_svg(title_band);
  put_file(result_name("_geometry.svg"), s + "</svg>\n", false, "write_geometry");
  for (const std::string& fault : faults)
    warning("write_geometry", fault + ": the run would refuse this structure", "");
}
