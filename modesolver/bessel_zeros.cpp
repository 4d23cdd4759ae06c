// Zeros of Jn and of J'n below a range (70 in a plain run), computed once
// per range.
//
// For each order the function is sampled on a grid of step 0.5 (consecutive
// zeros of one order are at least about 2.4 apart) starting at x = n, below
// which neither Jn nor J'n (n >= 1) vanishes; every sign change is refined by
// Newton's method kept inside its bracket, with the derivatives from Bessel's
// equation: J''n = -J'n/x - (1 - n^2/x^2) Jn.
#include "modesolver/bessel_zeros.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "modefields/bessel.hpp"

bzero_te_rec bzte;
bzero_tm_rec bztm;
double bzero_reach = bzero_limit;

namespace {

// Value and slope of Jn (te false) or J'n (te true).
void fval(int n, double x, bool te, double& f, double& df) {
  double jn, jn1;
  bessji(n, x, jn, jn1, -1);
  double djn = n / x * jn - jn1;
  if (!te) {
    f = jn;
    df = djn;
  } else {
    f = djn;
    df = -djn / x - (1.0 - double(n) * n / (x * x)) * jn;
  }
}

// Zero of the function in the bracket [lo, hi] (values of opposite sign).
double refine(int n, bool te, double lo, double hi) {
  double flo, d;
  fval(n, lo, te, flo, d);
  double x = 0.5 * (lo + hi);
  for (int it = 0; it < 100; ++it) {
    double f, df;
    fval(n, x, te, f, df);
    if (f == 0.0) return x;
    if ((f < 0) == (flo < 0)) {
      lo = x;
      flo = f;
    } else {
      hi = x;
    }
    double xn = x - f / df;
    if (!(xn > lo && xn < hi)) xn = 0.5 * (lo + hi);
    if (std::abs(xn - x) <= 1e-15 * x) return xn;
    x = xn;
  }
  return x;
}

double range_filled = 0;

// Every zero below `range`, order by order.
std::vector<bzero_entry> zeros_below(double range, bool te) {
  std::vector<bzero_entry> zs;
  const double h = 0.5;
  for (int n = 0;; ++n) {
    double x0 = n == 0 ? 0.5 : double(n);
    if (x0 >= range) break;
    int k = 0;
    double f0, d;
    fval(n, x0, te, f0, d);
    for (double x = x0 + h; x - h < range; x += h) {
      double f1;
      fval(n, x, te, f1, d);
      if ((f0 < 0) != (f1 < 0)) {
        double z = refine(n, te, x - h, x);
        if (z < range) zs.push_back(bzero_entry{n, ++k, z});
      }
      f0 = f1;
    }
  }
  return zs;
}

template <class TAB>
void fill(TAB& tab, bool te, double range) {
  const std::vector<bzero_entry> zs = zeros_below(range, te);
  // A plain run's capacity, or the count of the wider range.
  tab.set_capacity(std::max(TAB::max_entries, static_cast<int>(zs.size())));
  tab.n = 0;
  for (const bzero_entry& z : zs) tab[++tab.n] = z;
  std::sort(tab.data1(), tab.data1() + tab.n,
            [](const bzero_entry& p, const bzero_entry& q) { return p.x < q.x; });
}

}  // namespace

void bessel_zero_tables(double x) {
  double range = bzero_limit;
  if (x > bzero_limit) range = std::min(bzero_limit + 10 * std::ceil((x - bzero_limit) / 10), bzero_reach);
  range = std::max(range, bzero_limit);
  if (range == range_filled && bzte.n > 0 && bztm.n > 0) return;
  fill(bzte, true, range);
  fill(bztm, false, range);
  range_filled = range;
}

double bessel_zero_range() { return range_filled; }
