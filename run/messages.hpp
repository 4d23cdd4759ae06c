// Reporting, string helpers and constants used by every subsystem.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

// Console output: every line starts with one blank.
void console_line(std::string_view text = "");
// Free-form number item: one blank, then the number.
std::string free_int(long long n);
std::string free_double(double x);

// Warning ("W...") returns; fatal ("F...") prints the report, waits for a key
// when standard input is a terminal and ends the process with status 1.
void error_handler(std::string_view kind, std::string_view routine,
                   std::string_view message);
[[noreturn]] void fatal(std::string_view routine, std::string_view message);
// The same reports with a line of context printed after the message (where
// in which input file the fault lies); an empty context adds no line.
[[noreturn]] void fatal(std::string_view routine, std::string_view message,
                        std::string_view context);
void warning(std::string_view routine, std::string_view message, std::string_view context);

// Context of an input line for the reports: "line 12 of s.fss: "text"", the
// text as read, cut to 80 characters, unprintable bytes shown as "?"; a
// reason, when given, stands in brackets before the colon.
std::string line_context(const std::string& file, int line, std::string_view text,
                         std::string_view reason = "");

// The report of a run whose tables outgrew the memory the program may take.
inline constexpr const char* out_of_memory_message =
    "Not enough memory for the tables of this analysis: lower the limits of blocks 7 and 8";

// A fatal error met while the trap is set: thrown instead of ending the
// process, so that a repeated analysis can stop and keep its last good pass
// (and a caller in the same process can report it): the routine, the
// message and the line of context that the report prints after it.
struct fss_fatal_error {
  std::string routine, message, context;
};
void set_fatal_trap(bool on);
bool fatal_trap_on();
// Ends the run with status 1 after a report already written (or throws the
// given routine, message and context while the trap is set).
[[noreturn]] void end_run(std::string_view routine, std::string_view message,
                          std::string_view context = "");

// Three-line "FATAL ERROR" block of the solver: console when selector >= 1,
// otherwise the solver listing (standard error when no listing is open).
void fatalerr(std::string_view message, int selector);
void set_listing_unit(std::FILE* f);
// One free-form line of the solver listing (standard error when no listing
// is open): the line begins with one blank.
void listing_line(std::string_view text);
std::FILE* listing_unit();

// A file error: the text, the path tried and the system's reason for the
// last failed operation (errno), "Error in opening file r.out: Permission
// denied"; without a reason when errno is 0.
std::string file_fault(std::string_view text, const std::string& path);

int llen(std::string_view s);
std::string delfirstspaces(std::string_view s, int result_len = 256);
std::string trim_right(std::string_view s);
// TABs become ntab blanks; out has room for out_len characters (2011 on overflow).
std::string tab2space(std::string_view in, int ntab, int out_len = 256);

double dpi(int n);
double dcspeed();

// Hook of the contour routines; deliberately does nothing.
void ask_message();
