// Tables of Bessel-function zeros for the modes of the circular enclosure.
#pragma once
#include "records/table.hpp"

// One zero x of Jn (TM) or of J'n (TE): order n, root number k.
struct bzero_entry {
  int n = 0, k = 0;
  double x = 0;
};

// All zeros below 70, ascending: zeros of J'n without the one of J'0 at the
// origin (643 entries, orders up to 66) and zeros of Jn (607, orders up to 62).
using bzero_te_rec = fss_table<bzero_entry, 643>;
using bzero_tm_rec = fss_table<bzero_entry, 607>;
extern bzero_te_rec bzte;
extern bzero_tm_rec bztm;

// Upper end of both tables.
constexpr double bzero_limit = 70.0;

// Fills both tables on the first call (root finding on bessji); later calls
// return at once.
void bessel_zero_tables();
