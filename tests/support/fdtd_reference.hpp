// The independent FDTD references of tests/data: CSV tables of freq_GHz, the
// letter of the incident E (x or y), T_dB, T_deg, R_dB, R_deg (further
// columns ignored).
#pragma once
#include <map>
#include <string>
#include <utility>

struct fdtd_row { double t_db = 0, t_deg = 0, r_db = 0, r_deg = 0; };

// Rows by (frequency in MHz, letter); `name` relative to tests/data.
std::map<std::pair<long, char>, fdtd_row> read_fdtd(const std::string& name);
// The rows of one letter, by frequency in MHz.
std::map<long, fdtd_row> read_fdtd(const std::string& name, char pol);
