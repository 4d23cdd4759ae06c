#include "run/options.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "records/run.hpp"
#include "run/converge.hpp"
#include "run/messages.hpp"

namespace {

// The option words and the flag each sets.
struct option_word {
  const char* word;
  int fss_writeinfo_rec::*flag;
};
const option_word words[] = {
    {"csv", &fss_writeinfo_rec::csv},           {"s4p", &fss_writeinfo_rec::s4p},
    {"plot", &fss_writeinfo_rec::plot},         {"geometry", &fss_writeinfo_rec::geometry},
    {"modes", &fss_writeinfo_rec::modes},       {"converge", &fss_writeinfo_rec::converge},
    {"wgs", &fss_writeinfo_rec::wgs},           {"pvf", &fss_writeinfo_rec::pvf},
    {"fine", &fss_writeinfo_rec::fine}};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Edit distance with transpositions (optimal string alignment): "cvs" is one
// step from "csv".
int distance(const std::string& a, const std::string& b) {
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= n; ++i)
    for (std::size_t j = 1; j <= m; ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[n][m];
}

bool is_blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string hint(const std::string& word) {
  const std::string near = nearest_option(word);
  return near.empty() ? "" : " (did you mean " + quoted("-" + near) + "?)";
}

// One argument of option words: "-csv" or "-csv-s4p-plot".
bool option_words(const std::string& arg, std::string& why) {
  std::size_t start = 1;
  for (;;) {
    const std::size_t end = arg.find('-', start);
    const std::string w = arg.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (const char* own : {"passes", "minutes"})
      if (w == own && arg != "-" + w) {
        why = "option \"-" + w + "\" stands alone, followed by its number: -" + w +
              (w == "passes" ? " N" : " M");
        return false;
      }
    const option_word* found = nullptr;
    for (const option_word& o : words)
      if (w == o.word) found = &o;
    if (!found) {
      why = "unknown option " + quoted("-" + w) +
            (arg == "-" + w ? "" : " in " + quoted(arg)) + hint(w);
      return false;
    }
    fss_writeinfo.*(found->flag) = 1;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// "-passes N": a whole number from 2 to passes_most.
bool passes_number(const char* arg, int& n) {
  if (!arg) return false;
  const std::string s = arg;
  if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::stoi(s);
  return n >= 2 && n <= passes_most;
}

// "-minutes M": a number of minutes above 0 and up to minutes_most, in
// digits and a decimal point whatever the locale.
bool minutes_number(const char* arg, double& m) {
  if (!arg) return false;
  const std::string s = arg;
  if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), m, std::chars_format::fixed);
  return ec == std::errc() && end == s.data() + s.size() && m > 0 && m <= minutes_most;
}

}  // namespace

std::string nearest_option(const std::string& word) {
  const std::string w = lower(word);
  std::string best;
  int dbest = 1000;
  auto consider = [&](const char* o) {
    const int d = distance(w, o);
    if (d < dbest) dbest = d, best = o;
  };
  for (const option_word& o : words) consider(o.word);
  consider("passes");
  consider("minutes");
  // A short word is close only at one step: "-cs" is "-csv", "-foo" nothing.
  const int most = w.size() <= 3 ? 1 : 2;
  return dbest <= most ? best : "";
}

command_line_reading read_command_line() {
  command_line_reading r;
  fss_writeinfo = {};
  fss_output = {};
  bool output_given = false, passes_given = false, minutes_given = false;
  const int argc = fss_command_line.argc;
  char** argv = fss_command_line.argv;
  auto refuse = [&](const std::string& why) {
    r.action = command_action::refused;
    r.message = why;
    return r;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv && argv[i] ? argv[i] : "";
    if (arg == "-h" || arg == "-help" || arg == "--help") {
      r.action = command_action::help;
      return r;
    }
    if (arg == "--version" || arg == "-version") {
      r.action = command_action::version;
      return r;
    }
    if (arg == "-o") {
      if (output_given) return refuse("option \"-o\" given twice");
      if (i + 1 >= argc || !argv[i + 1] || is_blank(argv[i + 1]))
        return refuse("option \"-o\" needs a folder: -o DIR");
      fss_output.dir = argv[++i];
      output_given = true;
      continue;
    }
    if (arg == "-passes") {
      if (passes_given) return refuse("option \"-passes\" given twice");
      if (i + 1 >= argc || !passes_number(argv[i + 1], fss_writeinfo.passes))
        return refuse("option \"-passes\" needs a whole number of passes from 2 to " +
                      std::to_string(passes_most) + ": -passes N");
      ++i;
      fss_writeinfo.converge = 1;  // the passes are those of "-converge"
      passes_given = true;
      continue;
    }
    if (arg == "-minutes") {
      if (minutes_given) return refuse("option \"-minutes\" given twice");
      if (i + 1 >= argc || !minutes_number(argv[i + 1], fss_writeinfo.minutes))
        return refuse("option \"-minutes\" needs a number of minutes above 0 (at most " +
                      std::to_string(static_cast<long>(minutes_most)) + "): -minutes M");
      ++i;
      fss_writeinfo.converge = 1;
      minutes_given = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::string why;
      if (!option_words(arg, why)) return refuse(why);
      continue;
    }
    if (is_blank(arg)) continue;  // an empty argument stands for nothing
    if (r.structure.empty()) {
      r.structure = arg;
      continue;
    }
    return refuse("unexpected argument " + quoted(arg) + " after the structure " +
                  quoted(r.structure) + ": options begin with \"-\"" + hint(arg));
  }
  return r;
}

std::string usage_text() {
  return " usage: fss [structure[.fss]] [option ...]\n"
         "\n"
         "   structure   the structure file (\".fss\" may be left out; asked for if absent)\n"
         "   -csv        CSV table <base>.csv: co- and cross-polarised R and T, powers\n"
         "   -s4p        Touchstone file per direction, <base>_theta<t>_phi<p>.s4p\n"
         "   -plot       picture <base>.svg: the structure, then |T| and |R| in dB\n"
         "   -geometry   picture of the structure alone, <base>_geometry.svg, then stop\n"
         "   -modes      table of the aperture modes: <base>.modes and the console\n"
         "   -converge   rising limits, extrapolated: <base>_x.out, report <base>.conv\n"
         "   -passes N   -converge with at most N passes (2 to " + std::to_string(passes_most) +
         "; without it " + std::to_string(passes_most) + ")\n"
         "   -minutes M  -converge: no pass begun that would end the run after M minutes\n"
         "               (" + std::to_string(static_cast<int>(converge_minutes)) +
         " without it and without -passes)\n"
         "   -fine       aperture modes as accurate at the block 7 limit as below it\n"
         "   -wgs        waveguide simulator: phi = 0, theta = asin(c / (2 a f))\n"
         "   -pvf        accepted, changes nothing\n"
         "   -o DIR      every file of the run in the folder DIR (made when missing)\n"
         "   -h, --help  this text\n"
         "   --version   the version of the program\n"
         "\n"
         " Several options may stand in one argument (-csv-s4p-plot). An unknown option\n"
         " stops the program before anything is computed, with exit status 2.\n";
}

std::string command_line_structure() {
  const command_line_reading r = read_command_line();
  switch (r.action) {
    case command_action::help:
      std::cout << " fss " << fss_version
                << ": reflection and transmission of frequency selective surfaces\n\n"
                << usage_text();
      std::cout.flush();
      std::exit(0);
    case command_action::version:
      std::cout << " fss " << fss_version << '\n';
      std::cout.flush();
      std::exit(0);
    case command_action::refused:
      std::cout.flush();
      std::cerr << " fss: " << r.message << "\n\n" << usage_text();
      std::cerr.flush();
      std::exit(2);
    case command_action::run:
      break;
  }
  return r.structure;
}
