// Reading of the structure description file (".fss").
#pragma once

// Reads the command line and the structure file into the input records,
// converts every value to SI units, checks the ranges and copies the
// aperture block into base name + ".apb".  Every failure is fatal.
void read_input_fss();
// Closes the structure file if a read stopped inside it (a new run).
void read_input_reset();
