// Readers of the result files beside the ".out" table, as a user's tool
// reads them: a strict Touchstone 1.1 parser for the ".s4p" files and a CSV
// reader that checks every row against the header.
#pragma once
#include <complex>
#include <string>
#include <vector>

struct s4p_point {
  double f;                        // in the unit of the option line
  std::complex<double> s[4][4];    // S(i, j) at [i - 1][j - 1]
};
struct s4p_file {
  std::vector<std::string> comments;  // comment texts after "!", in order
  std::string unit, parameter, format;
  double r = 50;
  std::vector<s4p_point> points;
};
// Parses a 4-port Touchstone 1.1 file; an empty `error` means that every
// rule held (otherwise it names the first one broken and the line).
s4p_file read_touchstone(const std::string& name, std::string& error);

struct csv_table {
  std::vector<std::string> header;
  std::vector<std::vector<double>> rows;
  // Index of a column by its header name (-1 if absent).
  int col(const std::string& name) const;
  double at(std::size_t row, const std::string& name) const { return rows.at(row).at(col(name)); }
};
// Reads a CSV file of one header line and numeric rows; `error` names the
// first row whose field count differs from the header or that holds a field
// that is not a number.
csv_table read_csv(const std::string& name, std::string& error);
