#include "run/messages.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "records/run.hpp"
#include "run/runfiles.hpp"

errors_rec errors;

namespace {
std::FILE* listing = nullptr;
bool fatal_trap = false;
}

void set_fatal_trap(bool on) { fatal_trap = on; }
bool fatal_trap_on() { return fatal_trap; }

void end_run(std::string_view routine, std::string_view message, std::string_view context) {
  if (fatal_trap)
    throw fss_fatal_error{trim_right(routine), trim_right(message), std::string(context)};
  std::cout.flush();
  remove_scratch_files();
  std::exit(1);
}

void console_line(std::string_view text) {
  std::cout << ' ' << text << '\n';
}

std::string free_int(long long n) { return " " + std::to_string(n); }

std::string free_double(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, " %.17g", x);
  return buf;
}

std::string trim_right(std::string_view s) {
  return std::string(s.substr(0, llen(s)));
}

[[noreturn]] static void fatal_stop(std::string_view routine, std::string_view message,
                                    std::string_view context = "") {
  if (fatal_trap)
    throw fss_fatal_error{trim_right(routine), trim_right(message), std::string(context)};
  std::cout << '\n';
  console_line("Subroutine " + trim_right(routine) + " fatal error message:");
  console_line(trim_right(message));
  if (!context.empty()) console_line(context);
  std::cout << '\n';
  console_line("Press any key to continue ...");
  std::cout.flush();
  // Only an interactive user is asked for a key: batch runs never hang.
  if (isatty(STDIN_FILENO)) {
    std::string answer;
    while (std::getline(std::cin, answer) &&
           answer.find_first_not_of(" \t") == std::string::npos) {
    }
  }
  // The run's scratch files go with it; its result rows stay.
  remove_scratch_files();
  std::exit(1);
}

void error_handler(std::string_view kind, std::string_view routine,
                   std::string_view message) {
  char c = kind.empty() ? ' ' : kind[0];
  if (c == 'W') {
    warning(routine, message, "");
  } else if (c == 'F') {
    fatal_stop(routine, message);
  } else {
    std::cout << '\n';
    console_line("Subroutine ERROR_HANDLER called by " + trim_right(routine) +
                 " with improper handling condition");
    std::cout << '\n';
  }
}

void fatal(std::string_view routine, std::string_view message) {
  fatal_stop(routine, message);
}

void fatal(std::string_view routine, std::string_view message, std::string_view context) {
  fatal_stop(routine, message, context);
}

void warning(std::string_view routine, std::string_view message, std::string_view context) {
  std::cout << '\n';
  console_line("Subroutine " + trim_right(routine) + " warning message:");
  console_line(trim_right(message));
  if (!context.empty()) console_line(context);
  std::cout << '\n';
}

std::string line_context(const std::string& file, int line, std::string_view text,
                         std::string_view reason) {
  std::string shown(text.substr(0, 80));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
  std::string where = "line " + std::to_string(line) + " of " + file;
  if (!reason.empty()) where += " (" + std::string(reason) + ")";
  return where + ": \"" + trim_right(shown) + "\"";
}

std::string file_fault(std::string_view text, const std::string& path) {
  const int e = errno;
  std::string m = std::string(text) + path;
  if (e != 0) m += std::string(": ") + std::strerror(e);
  return m;
}

void set_listing_unit(std::FILE* f) { listing = f; }
std::FILE* listing_unit() { return listing; }

void listing_line(std::string_view text) {
  std::FILE* f = listing ? listing : stderr;
  std::fputc(' ', f);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

void fatalerr(std::string_view message, int selector) {
  std::string block = "    ****       FATAL ERROR:      ****\n";
  block += std::string(message) + "\n";
  block += "    *********************************\n";
  if (selector >= 1) {
    std::cout << block;
  } else {
    std::fputs(block.c_str(), listing ? listing : stderr);
  }
}

int llen(std::string_view s) {
  for (int i = static_cast<int>(s.size()); i >= 1; --i)
    if (s[i - 1] != ' ') return i;
  return 0;
}

std::string delfirstspaces(std::string_view s, int result_len) {
  int n = llen(s);
  for (int i = 1; i <= n; ++i) {
    if (s[i - 1] == ' ') continue;
    if (result_len < n - i + 1)
      error_handler("Warning", "DELFIRSTSPACES", "string lenght under dimensioned");
    std::string r(s.substr(i - 1));
    if (static_cast<int>(r.size()) > result_len) r.resize(result_len);
    return r;
  }
  return "";
}

std::string tab2space(std::string_view in, int ntab, int out_len) {
  int w = ntab < 0 ? 0 : ntab;
  std::string out;
  int n = llen(in);
  for (int i = 0; i < n; ++i) {
    if (in[i] == '\t') {
      if (static_cast<int>(out.size()) + w > out_len) goto overflow;
      out.append(w, ' ');
    } else {
      if (static_cast<int>(out.size()) + 1 > out_len) goto overflow;
      out.push_back(in[i]);
    }
  }
  return out;
overflow:
  errors.code = 2011;
  errors.message = "TAB2SPACE: string length under dimensioned";
  return out;
}

double dpi(int n) {
  // The five common multiples are tabulated to 13-14 significant digits.
  static const double table[5] = {0.7853981633974, 1.5707963267949,
                                  3.1415926535898, 6.2831853071796,
                                  12.566370614359};
  if (n >= -2 && n <= 2) return table[n + 2];
  double base = n < 0 ? 0.5 : 2.0;
  unsigned e = n < 0 ? -n : n;
  double p = 1.0;
  while (e) {  // repeated squaring
    if (e & 1u) p *= base;
    base *= base;
    e >>= 1u;
  }
  return p * 3.141592653589793;
}

double dcspeed() { return 299800000.0; }

void ask_message() {}
