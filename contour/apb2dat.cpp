// Reading of the aperture boundary file: one element per line (straight
// segment, arc through a third point, full circle, port segment), ports on
// the bounding box, mirroring so that the ports lie on the planes x = 0 or
// y = 0, shift of the bounding box to the origin, then coding of the table.
#include "contour/apb2dat.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "contour/contour.hpp"
#include "records/run.hpp"
#include "run/freeform.hpp"
#include "run/messages.hpp"

namespace {

// Coordinates are millimetres; beyond 10 m a value cannot be told apart
// from the straight-element marker once multiplied by the box size.
constexpr double coord_limit = 10000.0;

// The rows of the boundary file last read, as read: their text, element
// and fault (for the messages that name a row).
std::string apb_name;
int rows_read = 0;
std::string row_text[elm_capacity + 2];
elm_row row_read[elm_capacity + 2];
std::string row_fault[elm_capacity + 2];

std::string g(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

// Context line of row k of the boundary file: the structure-file line it
// came from (or the row of the file), the reason it was refused or the end
// points of its element, and its text.
std::string row_context(int k) {
  if (k < 1 || k > rows_read) return "";
  const elm_row& e = row_read[k];
  std::string why = !row_fault[k].empty()
                        ? row_fault[k]
                        : "from (" + g(e.x1) + ", " + g(e.y1) + ") to (" + g(e.x2) + ", " +
                              g(e.y2) + ")";
  if (!apb_origin.file.empty())
    return line_context(apb_origin.file, apb_origin.line0 + k, row_text[k], why);
  return line_context(apb_name, k, row_text[k], why);
}

void read_fail(int code, const std::string& msg) {
  errors.code = code;
  errors.message = msg;
}

// An item meant as a number: it starts as one, or is a word for a value
// that is not a number ("nan", "inf").  Any other item is a word.
bool value_like(const std::string& item) {
  char c = item[0];
  if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.') return true;
  std::string w;
  for (char ch : item.substr(0, 3)) w += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return w == "nan" || w == "inf";
}

// The text of the boundary line as read (blanks at its end aside).
int text_length(const std::string& line) { return llen(line); }

}  // namespace

std::string apb_parse_line(const std::string& line, elm_row& e, bool& port) {
  port = false;
  if (text_length(line) > apb_line_length) return "longer than 80 characters";
  std::vector<std::string> it = free_items(line);
  if (it.empty()) return "no element on the line";
  std::size_t nv = 0;
  while (nv < it.size() && value_like(it[nv])) ++nv;
  if (nv < 4)
    return nv == it.size() ? "fewer than four values" : "not a number: " + it[nv].substr(0, 20);
  if (nv == 5) return "five values: a side needs four, an arc six";
  if (nv > 6) return "more than six values";
  double v[6];
  for (std::size_t i = 0; i < nv; ++i) {
    if (!parse_double(it[i], v[i])) return "not a number: " + it[i].substr(0, 20);
    if (!(std::fabs(v[i]) < coord_limit)) return "a coordinate of 10 m or more";
  }
  if (nv == 6) {
    e = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return "";
  }
  e = {v[0], v[1], v[2], v[3], straight_marker, straight_marker};
  if (it.size() >= 5) {
    std::string w = delfirstspaces(tab2space(it[4], 1));
    port = !w.empty() && (w[0] == 'p' || w[0] == 'P');
  }
  return "";
}

std::string apb_line_fault(const std::string& line) {
  elm_row e;
  bool port;
  return apb_parse_line(line, e, port);
}

namespace {

// Box of the element ends (start points for the lower, end points for the
// upper bounds).  A box of no size (a lone full circle) takes the third
// points of the arcs as well, so that the tolerances get a scale.
void box(double& xmin, double& xmax, double& ymin, double& ymax) {
  xmin = ymin = 1e30;
  xmax = ymax = -1e30;
  for (int i = 1; i <= elm.n; ++i) {
    xmin = std::fmin(xmin, elm[i].x1);
    xmax = std::fmax(xmax, elm[i].x2);
    ymin = std::fmin(ymin, elm[i].y1);
    ymax = std::fmax(ymax, elm[i].y2);
  }
  if (xmax - xmin != 0 || ymax - ymin != 0) return;
  for (int i = 1; i <= elm.n; ++i) {
    const elm_row& e = elm[i];
    if (!(e.x3 < straight_marker)) continue;
    xmin = std::fmin(xmin, e.x3);
    xmax = std::fmax(xmax, e.x3);
    ymin = std::fmin(ymin, e.y3);
    ymax = std::fmax(ymax, e.y3);
  }
}

// The outer line is one full circle (start and end coincide, the third
// point opposite) holding every other element: its centre and radius.
bool outer_full_circle(double& xc, double& yc, double& rc) {
  for (int i = 1; i <= elm.n; ++i) {
    const elm_row& e = elm[i];
    if (!(e.x3 < straight_marker)) continue;
    double d = std::hypot(e.x3 - e.x1, e.y3 - e.y1);
    if (!(d > 0) || std::hypot(e.x2 - e.x1, e.y2 - e.y1) > 1e-9 * d) continue;
    xc = (e.x1 + e.x3) / 2, yc = (e.y1 + e.y3) / 2, rc = d / 2;
    double lim = rc * (1 - 1e-6);
    bool inside = true;
    for (int j = 1; j <= elm.n && inside; ++j) {
      if (j == i) continue;
      const elm_row& o = elm[j];
      inside = std::hypot(o.x1 - xc, o.y1 - yc) < lim && std::hypot(o.x2 - xc, o.y2 - yc) < lim &&
               (!(o.x3 < straight_marker) || std::hypot(o.x3 - xc, o.y3 - yc) < lim);
    }
    if (inside) return true;
  }
  return false;
}

}  // namespace

std::string apb_fault_context() {
  std::string c = row_context(xye_fault.row1);
  std::string c2 = xye_fault.row2 != xye_fault.row1 ? row_context(xye_fault.row2) : "";
  if (!c2.empty()) c += (c.empty() ? "" : "\n ") + c2;
  return c;
}

void apb2dat(std::string& name, double fmax, double eps_r) {
  errors.code = 0;
  errors.message.clear();
  std::string stem = trim_right(name);
  std::string outname = stem + ".dat";
  name = stem + ".apb";

  std::ifstream in(name);
  if (!in) {
    read_fail(1, "Error opening file " + name);
    return;
  }
  apb_name = name;
  if (elm.cap > elm_capacity || elm.cap < 0) elm.cap = elm_capacity;
  if (portcir.cap > port_capacity || portcir.cap < 0) portcir.cap = port_capacity;
  elm.n = 0;
  portcir.n = 0;
  rows_read = 0;
  xye_fault = {};
  int nrow = 0;
  std::string line;
  for (;;) {
    ++nrow;
    std::size_t length;
    if (!read_line(in, line, max_line_length, length)) {
      if (in.bad()) {
        read_fail(1, "Error reading file " + name + " at row " + std::to_string(nrow));
        return;
      }
      break;
    }
    elm_row e{};
    bool port;
    std::string fault = apb_parse_line(line, e, port);
    if (nrow <= elm.cap + 1) {
      row_text[nrow] = line.substr(0, apb_line_length);
      row_read[nrow] = e;
      row_fault[nrow] = fault;
      rows_read = nrow;
    }
    if (!fault.empty()) {
      xye_fault.row1 = nrow;
      read_fail(1, "Error reading file " + name + " at row " + std::to_string(nrow));
      return;
    }
    if (elm.n >= elm.cap) {
      xye_fault.row1 = nrow;
      read_fail(1, "Too many boundary elements: max=" + std::to_string(elm.cap));
      return;
    }
    elm[++elm.n] = e;
    if (port) {
      if (portcir.n >= portcir.cap) {
        xye_fault.row1 = nrow;
        read_fail(1, "Too many ports: max=" + std::to_string(portcir.cap));
        return;
      }
      portcir[++portcir.n] = elm.n;
      portcirxy[portcir.n] = {e.x1, e.y1, e.x2, e.y2};
    }
  }
  in.close();
  if (elm.n == 0) {
    read_fail(1, "No boundary element in file " + name);
    return;
  }
  // Bounding box (arc bulges are fitted later, with the enclosure).
  double xmin, xmax, ymin, ymax;
  box(xmin, xmax, ymin, ymax);
  double a = xmax - xmin, b = ymax - ymin;
  // A side of the box below the coincidence tolerance of the other (a
  // thousandth of it) is no side: a circle drawn as two arcs whose joints
  // lie a rounding off the axis (the 1.2e-16 that cos(pi) leaves) has a box
  // of no height, which the enclosure fitting would otherwise take for a
  // circular guide centred on the circle's edge.
  if (a < b / 1000) a = b;
  if (b < a / 1000) b = a;
  // An aperture bounded by one full circle has that circle as its enclosing
  // guide (b = 0), centred on it: the circle is then the enclosure wall and
  // its modes are the exact modes of the circular guide.
  double xc = 0, yc = 0, rc = 0;
  const bool round = portcir.n == 0 && outer_full_circle(xc, yc, rc);
  if (round) a = rc, b = 0;
  double eps = a / 1000.0;
  const double csflag = static_cast<double>(0.3f);

  // Ports lie on the bounding box, on one side of each direction.
  int isx = 0, isy = 0;
  bool left = false, right = false, bottom = false, top = false;
  for (int k = 1; k <= portcir.n; ++k) {
    const port_xy& p = portcirxy[k];
    if (std::fabs(p.x1 - p.x2) <= eps) {
      if (std::fabs(p.x1 - xmin) <= eps) left = true;
      else if (std::fabs(p.x1 - xmax) <= eps) right = true;
      else error_handler("Fatal", "APB2DAT", "port improperly defined");
      isy = 1;
    } else if (std::fabs(p.y1 - p.y2) <= eps) {
      if (std::fabs(p.y1 - ymin) <= eps) bottom = true;
      else if (std::fabs(p.y1 - ymax) <= eps) top = true;
      else error_handler("Fatal", "APB2DAT", "port improperly defined");
      isx = 1;
    } else {
      error_handler("Fatal", "APB2DAT", "port not directed along x or y");
    }
  }
  if ((left && right) || (bottom && top))
    error_handler("Fatal", "APB2DAT", "unable to handle ports on the opposite side");

  // Mirror so that a port on the top or right side comes to y = 0 or x = 0.
  translations = translations_rec{};
  for (int i = 1; i <= elm.n; ++i) {
    elm_row& e = elm[i];
    if (top) {
      e.y1 = -e.y1;
      e.y2 = -e.y2;
      if (e.y3 < straight_marker) e.y3 = -e.y3;
    }
    if (right) {
      e.x1 = -e.x1;
      e.x2 = -e.x2;
      if (e.x3 < straight_marker) e.x3 = -e.x3;
    }
  }
  translations.miry = top ? 1 : 0;
  translations.mirx = right ? 1 : 0;
  for (int k = 1; k <= portcir.n; ++k) portcir[k] += 1;

  // The lower left corner of the box (the centre of a round aperture)
  // becomes the origin.
  box(xmin, xmax, ymin, ymax);
  if (round) xmin = xc, ymin = yc;
  translations.dx = xmin;
  translations.dy = ymin;
  for (int i = 1; i <= elm.n; ++i) {
    elm_row& e = elm[i];
    e.x1 -= xmin;
    e.x2 -= xmin;
    e.y1 -= ymin;
    e.y2 -= ymin;
    if (e.x3 < straight_marker) e.x3 -= xmin;
    if (e.y3 < straight_marker) e.y3 -= ymin;
  }

  std::remove(outname.c_str());
  write_xye(outname, a, b, 0.0, " ", isx, isy, eps, 0.001, eps_r, fmax, 1.0,
            csflag, elm.n, &elm[0], 0, &portcir[0], errors.code);
  if (errors.code != 0) {
    if (!errors.message.empty()) console_line(trim_right(errors.message));
    const std::string report = "Error in coding the input data: ier=" + free_int(errors.code);
    console_line(report);
    // The segment length is taken from the largest frequency, which the
    // coding holds meaningful only above a thousandth of the box width.
    if (errors.code == 102) {
      char least[32];
      std::snprintf(least, sizeof least, "%g", eps);
      console_line("the largest frequency of the aperture modes (block 7) must be at least " +
                   std::string(least) + " GHz to segment this boundary");
    }
    std::string where = apb_fault_context();
    // A segmentation failure comes from the frequency limit.
    if (where.empty() && errors.code >= 101 && errors.code <= 103) where = apb_origin.limit;
    if (!where.empty()) console_line(where);
    end_run("apb2dat", errors.message.empty() ? report : trim_right(errors.message) + " (" + report + ")",
            where);
  }
}
