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

bool read_record(std::istream& in, std::string& line, std::size_t len) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > len) line.resize(len);
  return true;
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
