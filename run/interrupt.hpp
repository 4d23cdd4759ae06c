// A run stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP: its scratch files
// are removed, every complete result row is kept, the console says how far
// the sweep came and the process ends with status 128 + the signal number
// (130 for SIGINT, 143 for SIGTERM).
#pragma once

#include <string>
#include <vector>

// Installs the handlers (once the scratch files are named).
void interrupt_install();
// The sweep points of the run and those done, for the last line.
void interrupt_points(long done, long total);
// Nothing held, nothing pending, no points (a new run; the handlers, when
// installed, stay).
void interrupt_reset();
// While held (a result row or file being written) a signal waits; the
// release acts on it, so that no file is left with half a row.
void interrupt_hold();
void interrupt_release();
// While deferred (the work between two passes of "-converge", which writes
// several files and may hold and release within it) a signal waits for
// the end of the deferral, whatever the holds inside.
void interrupt_defer(bool on);
// The last line of an interrupted run: " interrupted after N of M sweep
// points", written without the C library's buffers.
int interrupt_message(char* buf, int size, long done, long total);
// Files put back as they were when the run is interrupted (the passes of
// "-converge": those of the last whole pass), and a line said after the
// last one.  Set while no signal can act on them; an empty list keeps
// nothing, and a new run keeps nothing.
struct kept_file {
  std::string path, bytes;
};
void interrupt_keep(std::vector<kept_file> files, std::string note);
