// Names and removal of the run and temporary files of one mode-solver run.
#pragma once
#include <string>
#include <vector>

// iopt 1..4 on entry selects the files to clear; 0 on return on success,
// 1 on failure (or for an iopt outside 1..4).
void filenames(int& iopt);
// Creates the file if missing and deletes it; ierr 0 on success, 1 on failure.
void apri_elimina(const std::string& name, int& ierr);
// Deletes the Green's function and quasi-static scratch tables that exist.
void remove_tmpfiles();
// True when the file exists and can be opened for reading.
bool file_exists(const std::string& name);

// The scratch files of a run whose files are named from `base` (the copy of
// the aperture block, the job files of the mode solver, its run files and
// kernel caches): named once the base is known, removed by
// remove_scratch_files, which an interrupted run calls from its signal
// handler (async-signal-safe: unlink only, names held in static storage).
void note_scratch_files(const std::string& base);
void remove_scratch_files();
// The names noted, for the tests.
std::vector<std::string> scratch_files();

// Forgets the scratch and result files named so far (a new run).
void runfiles_reset();

// The result files written by the run (result table, mode table and the
// other outputs), each named once, in the order first written.
void note_result_file(const std::string& name);
const std::vector<std::string>& result_files_written();
