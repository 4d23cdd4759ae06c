// Sets the program's command line as the shell passes it: "fss <base>
// <options>".  The arguments are held until the next call.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "records/run.hpp"

inline void set_command_line(std::vector<std::string> args) {
  static std::vector<std::string> held;
  static std::vector<char*> argv;
  held = std::move(args);
  argv.clear();
  for (auto& a : held) argv.push_back(a.data());
  fss_command_line = {static_cast<int>(argv.size()), argv.data()};
}

inline void set_command_line(const std::string& base, const std::vector<std::string>& options) {
  std::vector<std::string> args = {"fss", base};
  args.insert(args.end(), options.begin(), options.end());
  set_command_line(std::move(args));
}
