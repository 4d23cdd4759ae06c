// The tables of one mode computation counted before any is filled: the
// sample points, the contour elements of the mode fields, and for every
// formulation run the basis functions, the kernel table, the chains and
// the enclosing-guide modes (with the Bessel-zero tables of a circular
// enclosure), so that a limit too high for them is refused at once, with
// the table named, instead of after the work of the runs before it.
#pragma once
#include <string>

struct solver_table_fault {
  std::string what;    // what the table holds ("enclosing-guide modes")
  std::string record;  // the record ("amo")
  long capacity = 0;
  long need = 0;       // the count needed, or 0 when only "more" is known
  bool by_limit = true;  // false: a lower frequency limit does not reduce it
};

// Counts, for the contour coded in blok2 (its largest frequency in the
// header), what the mode computation of the program (level 0: the even
// class of each symmetric axis; TEM when an inner line exists, TE, TM)
// would put into each table; true, with the first table outgrown, when one
// is.  The solver records are left as the counting left them (the
// formulations rebuild them), the status and the errors record clear.
bool solver_tables_outgrown(solver_table_fault& fault);

// Units of the contour header in freq (length scale, frequency multiplier,
// their names), as the driver sets them.
void solver_units();
