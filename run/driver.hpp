// Program entry and sweep driver.
#pragma once

// Stores the capacities, runs the analysis once; 0 after a normal end.
int fss_main(int argc, char** argv);
// Stores the capacity of every global table record.
void fss_set_capacities();
// The whole analysis: banner, input, result header, mode catalogue, sweep.
void fss();
// Banner of the program.
void fss_cover();
// Waveguide-simulator mode: every frequency must lie above c / (2 a).
void fss_check_wgs();
// The sweep over phi, theta and frequency on an existing mode catalogue.
void fss_sweep();
// Passes of a counted loop from start to the widened end in steps of step.
int fss_trip_count(double start, double wend, double step);
