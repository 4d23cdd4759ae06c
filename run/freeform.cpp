#include "run/freeform.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>

std::vector<std::string> free_items(const std::string& line) {
  std::vector<std::string> items;
  std::string cur;
  bool have = false;
  for (char c : line) {
    if (c == ' ' || c == ',' || c == '\t' || c == '\r') {
      if (have) items.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur.push_back(c);
      have = true;
    }
  }
  if (have) items.push_back(cur);
  return items;
}

bool parse_double(const std::string& item, double& x) {
  std::string s = item;
  for (char& c : s)
    if (c == 'd' || c == 'D') c = 'e';
  if (s.empty()) return false;
  const char* b = s.c_str();
  char* e = nullptr;
  errno = 0;
  double v = std::strtod(b, &e);
  if (e == b || *e != '\0' || errno == ERANGE) return false;
  // Words such as "nan" or "inf" are not numbers of a structure file.
  for (char c : s)
    if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e' && c != 'E')
      return false;
  x = v;
  return true;
}

bool parse_int(const std::string& item, int& n) {
  if (item.empty()) return false;
  const char* b = item.c_str();
  char* e = nullptr;
  errno = 0;
  long v = std::strtol(b, &e, 10);
  if (e == b || *e != '\0' || errno == ERANGE || v < -2147483647L - 1 ||
      v > 2147483647L)
    return false;
  n = static_cast<int>(v);
  return true;
}

bool read_line(std::istream& in, std::string& line, std::size_t len, std::size_t& length) {
  line.clear();
  length = 0;
  std::istream::sentry ok(in, true);
  if (!ok) return false;
  std::streambuf* sb = in.rdbuf();
  bool any = false;
  int last = 0;
  for (;;) {
    int c;
    try {
      c = sb->sbumpc();
    } catch (...) {  // a read error of the file (a directory, say)
      in.setstate(std::ios::badbit);
      return false;
    }
    if (c == std::char_traits<char>::eof()) {
      in.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
      break;
    }
    any = true;
    if (c == '\n') break;
    if (++length > max_line_length) break;  // the rest is not read
    if (line.size() < len) line.push_back(static_cast<char>(c));
    last = c;
  }
  // A line end written as CR LF.
  if (last == '\r' && length <= max_line_length) {
    --length;
    if (line.size() > length) line.pop_back();
  }
  return any;
}

bool read_record(std::istream& in, std::string& line, std::size_t len) {
  std::size_t length;
  return read_line(in, line, len, length);
}

read_status read_items(std::istream& in, int n, std::vector<std::string>& items) {
  items.clear();
  std::string line;
  while (static_cast<int>(items.size()) < n) {
    if (!read_record(in, line)) return read_status::end_of_file;
    for (auto& it : free_items(line)) {
      if (static_cast<int>(items.size()) < n) items.push_back(it);
    }
  }
  return read_status::ok;
}

read_status read_doubles(std::istream& in, int n, double* x) {
  std::vector<std::string> items;
  read_status s = read_items(in, n, items);
  if (s != read_status::ok) return s;
  for (int i = 0; i < n; ++i)
    if (!parse_double(items[i], x[i])) return read_status::bad_value;
  return read_status::ok;
}

read_status read_ints(std::istream& in, int n, int* k) {
  std::vector<std::string> items;
  read_status s = read_items(in, n, items);
  if (s != read_status::ok) return s;
  for (int i = 0; i < n; ++i)
    if (!parse_int(items[i], k[i])) return read_status::bad_value;
  return read_status::ok;
}
