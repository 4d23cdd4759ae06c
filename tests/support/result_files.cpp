#include "support/result_files.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A whole token as a number, or false.
bool number(const std::string& t, double& v) {
  if (t.empty()) return false;
  char* end = nullptr;
  v = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size() && std::isfinite(v);
}

bool ends_with_s4p(const std::string& name) {
  return name.size() > 4 && upper(name.substr(name.size() - 4)) == ".S4P";
}

// The option line: "#" then, in any order and each at most once, a
// frequency unit, a parameter, a format and "R value".
bool option_line(const std::string& body, s4p_file& f, std::string& why) {
  std::istringstream in(body);
  std::string t;
  bool unit = false, par = false, fmt = false, r = false;
  while (in >> t) {
    const std::string u = upper(t);
    auto once = [&](bool& seen, std::string& into) {
      if (seen) return false;
      seen = true;
      into = u;
      return true;
    };
    bool ok;
    if (u == "HZ" || u == "KHZ" || u == "MHZ" || u == "GHZ") ok = once(unit, f.unit);
    else if (u == "S" || u == "Y" || u == "Z" || u == "H" || u == "G") ok = once(par, f.parameter);
    else if (u == "DB" || u == "MA" || u == "RI") ok = once(fmt, f.format);
    else if (u == "R") {
      std::string v;
      ok = !r && (in >> v) && number(v, f.r) && f.r > 0;
      r = true;
    } else {
      ok = false;
    }
    if (!ok) {
      why = "option line item \"" + t + "\" unknown, repeated or without a valid value";
      return false;
    }
  }
  return true;
}

}  // namespace

s4p_file read_touchstone(const std::string& name, std::string& error) {
  s4p_file f;
  f.unit = "GHZ", f.parameter = "S", f.format = "MA";
  error.clear();
  if (!ends_with_s4p(name)) {
    error = "the extension of a 4-port file is .s4p";
    return f;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    error = "cannot open " + name;
    return f;
  }
  std::string line;
  int number_of_line = 0, options = 0;
  std::vector<double> pending;  // numbers of the frequency point being read
  int rows_read = 0;
  auto fail = [&](const std::string& why) {
    if (error.empty()) error = "line " + std::to_string(number_of_line) + ": " + why;
  };
  while (error.empty() && std::getline(in, line)) {
    ++number_of_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (char c : line)
      if (static_cast<unsigned char>(c) >= 0x80 || (c < 0x20 && c != '\t')) fail("not printable ASCII");
    const std::size_t bang = line.find('!');
    if (bang != std::string::npos) {
      f.comments.push_back(line.substr(bang + 1));
      line.resize(bang);
    }
    std::istringstream items(line);
    std::string first;
    if (!(items >> first)) continue;  // blank or comment only
    if (first[0] == '[') {
      fail("a version 2 keyword in a version 1 file");
    } else if (first[0] == '#') {
      if (++options > 1) fail("a second option line");
      if (!f.points.empty() || rows_read) fail("the option line after network data");
      std::string why;
      if (!option_line(line.substr(line.find('#') + 1), f, why)) fail(why);
    } else {
      if (options == 0) fail("network data before the option line");
      // A point: the frequency and the 4 pairs of row 1 on one line, then
      // rows 2, 3, 4 each on its own line of 4 pairs.
      std::vector<double> v;
      for (std::string t = first;; ) {
        double x;
        if (!number(t, x)) {
          fail("\"" + t + "\" is not a number");
          break;
        }
        v.push_back(x);
        if (!(items >> t)) break;
      }
      const std::size_t expect = rows_read == 0 ? 9 : 8;
      if (v.size() != expect) fail("a data line of " + std::to_string(v.size()) +
                                   " numbers where " + std::to_string(expect) + " belong");
      pending.insert(pending.end(), v.begin(), v.end());
      if (++rows_read == 4) {
        s4p_point p{pending[0], {}};
        if (!f.points.empty() && !(p.f > f.points.back().f)) fail("frequencies not increasing");
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) {
            const double a = pending[1 + 2 * (4 * i + j)], b = pending[2 + 2 * (4 * i + j)];
            if (f.format == "MA" && a < 0) fail("a negative magnitude");
            if (f.format == "MA") p.s[i][j] = std::polar(a, b * M_PI / 180);
            else if (f.format == "RI") p.s[i][j] = {a, b};
            else p.s[i][j] = std::polar(std::pow(10.0, a / 20), b * M_PI / 180);
          }
        f.points.push_back(p);
        pending.clear();
        rows_read = 0;
      }
    }
  }
  if (error.empty() && rows_read != 0) error = "the last frequency point is incomplete";
  if (error.empty() && options == 0) error = "no option line";
  if (error.empty() && f.points.empty()) error = "no network data";
  return f;
}

int csv_table::col(const std::string& name) const {
  auto it = std::find(header.begin(), header.end(), name);
  return it == header.end() ? -1 : static_cast<int>(it - header.begin());
}

csv_table read_csv(const std::string& name, std::string& error) {
  csv_table t;
  error.clear();
  std::ifstream in(name);
  std::string line;
  auto fields = [](const std::string& l) {
    std::vector<std::string> v;
    std::stringstream s(l);
    std::string item;
    while (std::getline(s, item, ',')) v.push_back(item);
    if (!l.empty() && l.back() == ',') v.push_back("");
    return v;
  };
  if (!std::getline(in, line)) {
    error = "no header line";
    return t;
  }
  t.header = fields(line);
  for (int n = 2; std::getline(in, line); ++n) {
    std::vector<std::string> v = fields(line);
    std::vector<double> row;
    for (const std::string& item : v) {
      double x = NAN;
      if (!number(item, x) && error.empty()) error = "row " + std::to_string(n) + ": \"" + item + "\"";
      row.push_back(x);
    }
    if (v.size() != t.header.size() && error.empty())
      error = "row " + std::to_string(n) + " has " + std::to_string(v.size()) + " fields";
    t.rows.push_back(row);
  }
  return t;
}
