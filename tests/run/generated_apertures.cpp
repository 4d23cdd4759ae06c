// Generated valid apertures run end to end, as a user runs them: every one
// gives a result, conserves power (|R|^2 + |T|^2 over the propagating
// orders, the CSV's Ptotal, is 1), and keeps the invariances of the physics:
// the same |S| when the aperture is moved by a lattice vector or by any
// shift inside the cell, the same waves at phi + 90 after a quarter turn in a
// square lattice, and the same magnitudes for the mirror image.
//
// A few hundred cases run in the suite, split into shards that ctest runs
// in parallel.  More with the environment:
//   FSS_GENERATOR_CASES   number of cases (default 230, all shards)
//   FSS_GENERATOR_SEED    seed (default 19)
//   FSS_GENERATOR_CHECKS  "all": every case runs every copy (by default
//                         each runs one, in turn)
//   FSS_GENERATOR_REPORT  file to which every case appends one line
//   FSS_GENERATOR_KEEP    directory that receives the structure files of
//                         every case that fails (and of the one case run
//                         with FSS_GENERATOR_ONLY)
//   FSS_GENERATOR_ONLY    run this case alone (with its seed and the count
//                         that includes it)
// e.g. FSS_GENERATOR_CASES=2000 FSS_GENERATOR_SEED=7 FSS_GENERATOR_CHECKS=all
//      FSS_GENERATOR_REPORT=$PWD/gen.txt ctest --test-dir build -R Generated -j2
// and scripts/generator_summary.sh gen.txt for the counts of all shards.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "support/aperture_generator.hpp"
#include "support/program_run.hpp"
#include "support/result_files.hpp"
#include "support/tmpdir.hpp"

namespace {

constexpr int shard_count = 4;
constexpr int default_cases = 230;  // ten of each family
constexpr std::uint64_t default_seed = 19;
constexpr double power_tolerance = 1e-6;
// |S| unchanged to 1e-6 for an aperture that is its own enclosing guide
// (its modes exact), 1e-4 otherwise; 3e-4 for a quarter turn, which turns
// the enclosing rectangle and with it the discretisation of the modes (an L
// at a block 7 limit of 40 GHz, two and a half times its first cutoff,
// keeps |S| to 1.6e-4 when turned, to every printed digit at 60 GHz).
constexpr double exact_tolerance = 1e-6, general_tolerance = 1e-4, turned_tolerance = 3e-4;

long env_number(const char* name, long fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long x = std::strtol(v, &end, 10);
  return end && *end == 0 ? x : fallback;
}

std::string env_text(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The magnitude columns of the CSV, TE incidence then TM incidence, and the
// power into all propagating orders of each.
const std::array<const char*, 8> magnitude_columns = {
    "TE_Rco[dB]", "TE_Rcross[dB]", "TE_Tco[dB]", "TE_Tcross[dB]",
    "TM_Rco[dB]", "TM_Rcross[dB]", "TM_Tco[dB]", "TM_Tcross[dB]"};

struct point_values {
  std::array<double, 8> s;  // |S| (linear)
  double p_te, p_tm;        // Ptotal of each incident wave
};
using key = std::tuple<long, long, long>;  // phi, theta, f in thousandths
using run_table = std::map<key, point_values>;

key key_of(double phi, double theta, double f) {
  return {std::lround(phi * 1000), std::lround(theta * 1000), std::lround(f * 1000)};
}

struct run_outcome {
  bool ok = false;
  std::string why;  // when not ok: the program's last lines or the file fault
  run_table rows;
};

// Runs the program on one structure file with -csv and reads the table.
run_outcome run_case(const std::string& base, const std::string& text) {
  run_outcome r;
  scratch_dir::write_file(base + ".fss", text);
  program_result p = run_command(std::string(FSS_BINARY) + " " + base + ".fss -csv < /dev/null");
  if (p.status != 0) {
    std::string tail;
    std::istringstream in(p.out);
    for (std::string line; std::getline(in, line);)
      if (line.find_first_not_of(' ') != std::string::npos && line.find("Press any key") == std::string::npos)
        tail = line;
    r.why = "exit " + std::to_string(p.status) + ":" + tail;
    return r;
  }
  std::string error;
  csv_table t = read_csv(base + ".csv", error);
  if (!error.empty() || t.rows.empty()) {
    r.why = "CSV table: " + (error.empty() ? std::string("no rows") : error);
    return r;
  }
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    point_values v{};
    for (int c = 0; c < 8; ++c) v.s[c] = std::pow(10.0, t.at(i, magnitude_columns[c]) / 20);
    v.p_te = t.at(i, "TE_Ptotal");
    v.p_tm = t.at(i, "TM_Ptotal");
    r.rows[key_of(t.at(i, "phi[deg]"), t.at(i, "theta[deg]"), t.at(i, "freq[GHz]"))] = v;
  }
  r.ok = true;
  return r;
}

// Largest deviation of Ptotal from 1 over a run.
double power_error(const run_table& t) {
  double e = 0;
  for (const auto& [k, v] : t) e = std::fmax(e, std::fmax(std::fabs(v.p_te - 1), std::fabs(v.p_tm - 1)));
  return e;
}

// Largest |S| difference between the rows of a and the rows of b that a
// map of the directions pairs (b's key from a's; swap exchanges the TE and
// TM incident waves); infinite when a row has no partner.
template <class F>
double difference(const run_table& a, const run_table& b, F partner) {
  double d = 0;
  for (const auto& [k, v] : a) {
    bool swap = false;
    auto it = b.find(partner(k, swap));
    if (it == b.end()) return INFINITY;
    for (int c = 0; c < 8; ++c) d = std::fmax(d, std::fabs(v.s[c] - it->second.s[swap ? (c + 4) % 8 : c]));
  }
  return d;
}

// One check of one case: its figure against its tolerance.
struct check {
  std::string name;
  double figure = 0;  // INFINITY when the partner run failed
  double tolerance = 0;
  std::string why;    // the failed run's message
  bool failed() const { return !(figure <= tolerance); }
};

struct case_result {
  apgen::gen_case c;
  std::string run_fault;  // the base run's failure
  double power = 0;       // over every run of the case
  std::vector<check> checks;
  bool failed() const {
    if (!run_fault.empty() || !(power <= power_tolerance)) return true;
    for (const check& k : checks)
      if (k.failed()) return true;
    return false;
  }
};

// The copies a case is compared with.
enum partner_kind { lattice_translation, cell_shift, mirror_image, quarter_turn, partner_kinds };

// In the suite each case runs one copy, in turn (the quarter turn only in a
// square lattice: elsewhere one of the others); with every_copy all of them.
bool wanted(const apgen::gen_case& c, partner_kind p, bool every_copy) {
  if (p == quarter_turn && !c.cell.square()) return false;
  if (every_copy) return true;
  int round = c.index / static_cast<int>(apgen::families().size()), pick = round % partner_kinds;
  if (pick == quarter_turn && !c.cell.square()) pick = (round / partner_kinds) % quarter_turn;
  return pick == p;
}

// The structure files of a failed case, into FSS_GENERATOR_KEEP.
void keep_structures(int k) {
  std::string keep = env_text("FSS_GENERATOR_KEEP");
  if (keep.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(keep, ec);
  for (const auto& f : std::filesystem::directory_iterator("."))
    if (f.path().extension() == ".fss")
      std::filesystem::copy_file(f.path(), keep + "/case" + std::to_string(k) + "_" + f.path().filename().string(),
                                 std::filesystem::copy_options::overwrite_existing, ec);
}

case_result run_generated(std::uint64_t seed, int k, bool every_copy) {
  case_result res;
  res.c = apgen::generate(seed, k);
  const apgen::gen_case& c = res.c;
  scratch_dir dir;
  const double tol = c.exact ? exact_tolerance : general_tolerance;
  run_outcome base = run_case("base", apgen::structure_file(c, c.boundary, 0, c.cell));
  if (!base.ok) {
    res.run_fault = base.why;
    keep_structures(k);
    return res;
  }
  res.power = power_error(base.rows);
  auto partner = [&](const std::string& name, const std::string& stem, const apgen::outline& o, double phi0,
                     const apgen::lattice& l, auto pairing, double tolerance) {
    run_outcome p = run_case(stem, apgen::structure_file(c, o, phi0, l));
    check k{name, INFINITY, tolerance, p.why};
    if (p.ok) {
      res.power = std::fmax(res.power, power_error(p.rows));
      k.figure = difference(base.rows, p.rows, pairing);
    }
    res.checks.push_back(k);
  };
  auto same = [](const key& k, bool&) { return k; };
  const apgen::lattice& l = c.cell;
  if (wanted(c, lattice_translation, every_copy))
    partner("lattice translation", "translated",
            apgen::translated(c.boundary, c.m * l.v1x() + c.n * l.v2x(), c.n * l.v2y()), 0, l, same, tol);
  if (wanted(c, cell_shift, every_copy))
    partner("shift in the cell", "shifted", apgen::translated(c.boundary, c.sx, c.sy), 0, l, same, tol);
  // Mirror image in the x axis: the lattice mirrored (skew 180 - skew) and
  // phi -> -phi; every magnitude is kept.
  apgen::lattice ml = l;
  ml.skew = 180 - l.skew;
  if (wanted(c, mirror_image, every_copy))
    partner("mirror image", "mirrored", apgen::mirrored_y(c.boundary), -c.phi, ml, [](const key& k, bool&) {
      return key{-std::get<0>(k), std::get<1>(k), std::get<2>(k)};
    }, tol);
  // A quarter turn in a square lattice: the same waves at phi + 90, at
  // normal incidence too (its TE and TM waves turn with phi, as they do at
  // oblique incidence).
  if (wanted(c, quarter_turn, every_copy))
    partner("quarter turn", "turned", apgen::rotated90(c.boundary), 90, l, [](const key& k, bool&) {
      return key{std::get<0>(k) + 90000, std::get<1>(k), std::get<2>(k)};
    }, c.exact ? exact_tolerance : turned_tolerance);
  if (res.failed() || env_number("FSS_GENERATOR_ONLY", -1) == k) keep_structures(k);
  return res;
}

std::string figure(double x) {
  if (std::isinf(x)) return "no run";
  char b[32];
  std::snprintf(b, sizeof b, "%.2e", x);
  return b;
}

// One line per case: seed, case, family, lattice, outcome, power error and
// every check's figure (tab-separated; read by scripts/generator_summary.sh).
std::string report_line(std::uint64_t seed, const case_result& r) {
  const apgen::gen_case& c = r.c;
  std::string lat = c.cell.square() ? "square" : c.cell.skew == 90 ? "rectangular" : "skewed";
  std::string s = std::to_string(seed) + "\t" + std::to_string(c.index) + "\t" + c.family + "\t" + lat +
                  "\t" + (r.failed() ? "FAIL" : "ok") + "\t" +
                  (r.run_fault.empty() ? "ran" : "run failed: " + r.run_fault) + "\tpower " + figure(r.power);
  for (const check& k : r.checks)
    s += "\t" + k.name + " " + figure(k.figure) + (k.failed() ? " FAIL" : "") +
         (k.why.empty() ? "" : " (" + k.why + ")");
  return s;
}

class GeneratedApertures : public testing::TestWithParam<int> {};

TEST_P(GeneratedApertures, RunConservePowerAndKeepTheirInvariances) {
  const int shard = GetParam();
  const long cases = env_number("FSS_GENERATOR_CASES", default_cases);
  const std::uint64_t seed = static_cast<std::uint64_t>(env_number("FSS_GENERATOR_SEED", default_seed));
  const std::string report = env_text("FSS_GENERATOR_REPORT");
  const bool every_copy = env_text("FSS_GENERATOR_CHECKS") == "all";
  const long only = env_number("FSS_GENERATOR_ONLY", -1);
  std::map<std::string, std::array<int, 2>> per_family;  // cases, failures
  std::map<std::string, std::pair<double, int>> worst;   // per check: figure, case
  double worst_power = 0;
  int worst_power_case = -1;
  for (int k = shard; k < cases; k += shard_count) {
    if (only >= 0 && k != only) continue;
    case_result r = run_generated(seed, k, every_copy);
    auto& f = per_family[r.c.family];
    ++f[0];
    if (r.failed()) ++f[1];
    if (r.run_fault.empty() && r.power >= worst_power) worst_power = r.power, worst_power_case = k;
    for (const check& c : r.checks) {
      auto w = worst.try_emplace(c.name, c.figure, k).first;
      if (!(c.figure <= w->second.first)) w->second = {c.figure, k};
    }
    std::string line = report_line(seed, r);
    if (!report.empty()) {
      std::ofstream out(report, std::ios::app);
      out << line + "\n" << std::flush;
    }
    EXPECT_TRUE(r.run_fault.empty()) << line;
    EXPECT_LE(r.power, power_tolerance) << line;
    for (const check& c : r.checks) EXPECT_LE(c.figure, c.tolerance) << c.name << ": " << line;
  }
  std::ostringstream s;
  s << "seed " << seed << ", shard " << shard << " of " << shard_count << ":\n";
  for (const auto& [name, f] : per_family) s << "  " << name << ": " << f[0] << " cases, " << f[1] << " failed\n";
  s << "  power: worst |Ptotal - 1| " << figure(worst_power) << " (case " << worst_power_case << ")\n";
  for (const auto& [name, w] : worst) s << "  " << name << ": worst " << figure(w.first) << " (case " << w.second << ")\n";
  std::cout << s.str();
}

INSTANTIATE_TEST_SUITE_P(Shards, GeneratedApertures, testing::Range(0, shard_count));

// The generator itself: every case of a seed valid by an independent check
// (lines closed and apart, inner lines inside, a margin from every copy in
// the lattice), the same case for the same seed and number, every family in
// every kind of lattice, and the copies the invariance runs use valid too.
TEST(ApertureGenerator, ValidReproducibleAndEveryFamilyInEveryLattice) {
  const int n = 23 * 3 * 4;
  std::map<std::string, std::array<int, 3>> seen;
  for (int k = 0; k < n; ++k) {
    apgen::gen_case c = apgen::generate(default_seed, k), again = apgen::generate(default_seed, k);
    ASSERT_EQ(apgen::boundary_text(c.boundary), apgen::boundary_text(again.boundary)) << k;
    ASSERT_EQ(c.fwg, again.fwg);
    const apgen::lattice& l = c.cell;
    // The copies are the same aperture: their margin up to a rounding.
    const double margin = apgen::fit_margin(l), copy = 0.999 * margin;
    EXPECT_EQ(apgen::invalid(c.boundary, l, margin), "") << c.family << " case " << k;
    EXPECT_EQ(apgen::invalid(apgen::translated(c.boundary, c.sx, c.sy), l, copy), "") << k;
    EXPECT_EQ(apgen::invalid(apgen::translated(c.boundary, c.m * l.v1x() + c.n * l.v2x(), c.n * l.v2y()),
                             l, copy),
              "")
        << k;
    apgen::lattice ml = l;
    ml.skew = 180 - l.skew;
    EXPECT_EQ(apgen::invalid(apgen::mirrored_y(c.boundary), ml, copy), "") << k;
    if (l.square()) {
      EXPECT_EQ(apgen::invalid(apgen::rotated90(c.boundary), l, copy), "") << k;
    }
    EXPECT_GT(c.f2, c.f1);
    EXPECT_GE(c.fflo, c.f2);
    EXPECT_GT(c.fwg, 0);
    ++seen[c.family][l.square() ? 0 : l.skew == 90 ? 1 : 2];
  }
  EXPECT_EQ(seen.size(), apgen::families().size());
  for (const auto& [name, counts] : seen)
    for (int kind = 0; kind < 3; ++kind) EXPECT_GT(counts[kind], 0) << name << " in lattice kind " << kind;
}

}  // namespace
