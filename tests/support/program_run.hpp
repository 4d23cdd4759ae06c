// Runs the built program as a user does, in the current directory.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/tmpdir.hpp"

struct program_result {
  int status;       // exit status (-1 when the program did not exit normally)
  std::string out;  // console and standard error
};

// A shell command, its standard error with its output.
inline program_result run_command(const std::string& cmd) {
  std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return {-1, ""};
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = pclose(p);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

// The program with the given arguments and standard input text.
inline program_result run_program(const std::string& args, const std::string& input) {
  scratch_dir::write_file("stdin.txt", input);
  return run_command(std::string(FSS_BINARY) + " " + args + " < stdin.txt");
}

// The prefix that runs a command as an ordinary user (nobody) when the tests
// run as root, to whom no permission is ever denied; empty otherwise.  The
// folders on the way must then be open to others.
inline std::string as_ordinary_user() {
  return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}
