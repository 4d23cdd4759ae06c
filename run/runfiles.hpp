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

// The result files written by the run (result table, mode table and the
// other outputs), each named once, in the order first written.
void note_result_file(const std::string& name);
const std::vector<std::string>& result_files_written();
