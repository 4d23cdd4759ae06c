// The command line: the structure file and the options, checked as a whole
// before anything is read or computed.
#pragma once
#include <string>

// Version of the program (banner, result header, "--version").
constexpr const char* fss_version = "1.0";

// The most passes "-passes N" may ask for (by then the tables' bounds have
// stopped any pass).
constexpr int passes_most = 30;
// The most minutes "-minutes M" may give the passes (about ten weeks).
constexpr double minutes_most = 100000;

// What the command line asks for.
enum class command_action { run, help, version, refused };

struct command_line_reading {
  command_action action = command_action::run;
  std::string structure;  // the structure argument as given ("" when absent)
  std::string message;    // why the command line was refused
};

// Reads fss_command_line: every argument beginning with "-" is an option
// (whole words, several in one argument: "-csv-s4p"), "-o" takes the next
// argument as the output folder, "-passes" the next as the most passes of
// "-converge" and "-minutes" the next as the time the passes may take (each
// sets "-converge"), the first other argument is the structure.
// Fills fss_writeinfo and fss_output; touches nothing else.
command_line_reading read_command_line();

// One line per option, each line beginning with one blank.
std::string usage_text();

// Reads the command line and acts on it: the help and the version are
// printed (exit status 0), a refused command line is reported on standard
// error with the usage (exit status 2); otherwise returns the structure
// argument.
std::string command_line_structure();

// The closest known option to a mistyped word ("" when none is close).
std::string nearest_option(const std::string& word);
