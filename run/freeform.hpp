// Free-form (list-directed) reading of text files: values separated by
// blanks or commas, one read starting on a new line and continuing over as
// many lines as it needs; the rest of the last line read is discarded.
#pragma once
#include <istream>
#include <string>
#include <vector>

enum class read_status { ok, bad_value, end_of_file };

// Splits a line into its free-form items.
std::vector<std::string> free_items(const std::string& line);
// A number in Fortran or C notation ("1.5", "-2", "3.0D-3", "1e9").
bool parse_double(const std::string& item, double& x);
bool parse_int(const std::string& item, int& n);

// Reads one line, cut to 256 characters (a record of the text files).
bool read_record(std::istream& in, std::string& line, std::size_t len = 256);
// Reads one line, keeping its first len characters; length is the length of
// the whole line.  Memory stays bounded: past max_line_length characters
// (a file without line ends) the line is not read further and length is
// max_line_length + 1.  False at the end of the file.
constexpr std::size_t max_line_length = 65536;
bool read_line(std::istream& in, std::string& line, std::size_t len, std::size_t& length);

// One free-form read of n items.
read_status read_items(std::istream& in, int n, std::vector<std::string>& items);
read_status read_doubles(std::istream& in, int n, double* x);
read_status read_ints(std::istream& in, int n, int* k);
