// Tables of Bessel-function zeros for the modes of the circular enclosure.
#pragma once
#include "records/table.hpp"

// One zero x of Jn (TM) or of J'n (TE): order n, root number k.
struct bzero_entry {
  int n = 0, k = 0;
  double x = 0;
};

// All zeros below a range, ascending: zeros of J'n without the one of J'0 at
// the origin and zeros of Jn.  In a plain run the range is 70 (643 entries,
// orders up to 66, and 607, orders up to 62: the capacities below).
using bzero_te_rec = fss_table<bzero_entry, 643>;
using bzero_tm_rec = fss_table<bzero_entry, 607>;
extern bzero_te_rec bzte;
extern bzero_tm_rec bztm;

// The range of a plain run's tables.
constexpr double bzero_limit = 70.0;
// The range the tables may reach: bzero_limit times the growth of the
// solver's tables (set with their capacities; larger in a convergence pass,
// whose enclosing-guide modes reach further).
extern double bzero_reach;

// Fills both tables (root finding on bessji) with every zero below x: at
// least bzero_limit; beyond it rounded up to a multiple of 10 above it, at
// most bzero_reach.  The capacities are set from the count before the
// tables are filled.  Returns at once when they hold that range already.
void bessel_zero_tables(double x = 0);
// The range the tables hold (0 before they are filled).
double bessel_zero_range();
