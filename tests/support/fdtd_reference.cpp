#include "support/fdtd_reference.hpp"

#include <cmath>
#include <fstream>
#include <sstream>

std::map<std::pair<long, char>, fdtd_row> read_fdtd(const std::string& name) {
  std::ifstream in(std::string(FSS_SOURCE_DIR) + "/tests/data/" + name);
  std::map<std::pair<long, char>, fdtd_row> ref;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    for (char& c : line)
      if (c == ',') c = ' ';
    std::istringstream s(line);
    double f;
    char pol;
    fdtd_row r;
    s >> f >> pol >> r.t_db >> r.t_deg >> r.r_db >> r.r_deg;
    ref[{std::lround(f * 1000), pol}] = r;
  }
  return ref;
}

std::map<long, fdtd_row> read_fdtd(const std::string& name, char pol) {
  std::map<long, fdtd_row> rows;
  for (const auto& [key, r] : read_fdtd(name))
    if (key.second == pol) rows[key.first] = r;
  return rows;
}
