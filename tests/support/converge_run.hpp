// The "-converge" analysis run in the test's own process, as the program
// runs it, with the passes' tables bounded by those of a plain run: a pass
// that outgrows them stops the passes (with tables grown from the limits
// that takes limits far beyond what a test can afford).
#pragma once
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "run/converge.hpp"
#include "run/driver.hpp"

// Exit status of the run on "<base> -converge" and the further options
// (memory_mb > 0: the memory a pass may take, in MB).
inline int converge_within_plain_tables(const std::string& base,
                                        const std::vector<std::string>& options = {},
                                        double memory_mb = 0) {
  converge_bounds = {max_wg_modes, max_flo_modes, memory_mb};
  static std::vector<std::string> words;
  words = {"fss", base, "-converge"};
  words.insert(words.end(), options.begin(), options.end());
  static std::vector<char*> argv;
  argv.clear();
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return fss_main(static_cast<int>(words.size()), argv.data());
}
