// Enclosing-guide mode lists in ascending order of cutoff.
//
// Symmetry selectors (from `dat`): symx concerns the mirror y -> -y, symy the
// mirror x -> -x; +1 keeps the modes whose Ez is even (Hz odd) under the
// mirror, -1 those whose Ez is odd (Hz even), 0 keeps all.
#include "modesolver/guide_lists.hpp"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "modesolver/bessel_zeros.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"

amo_rec amo;

namespace {

const double pi = 3.141592653589793;

void set_status(int code, const char* message) {
  dat.status = code;
  errors.code = code;
  errors.message = message;
}

// Highest index n found so far in each column of m (column (m - m0)/step-m),
// -1 for none.  The found set is always closed downwards in both indices
// (kc grows with each), so this decides membership.  Columns never exceed the
// number of modes found plus the seed.
std::vector<int> column_top;

}  // namespace

// The rectangular spectrum on the lattice m = m0 + i sm, n = n0 + j sn, grown
// outwards from its lowest point: each new mode is the cheapest unvisited
// neighbour (m + sm, n) or (m, n + sn) of a mode already found, ties going to
// the neighbour met first.  For TE without an even selector the lattice
// starts at (0, 0), which is no mode but seeds the growth.
void gmor(double kmax) {
  int wanted = amo.n;
  int cap = amo.cap < amo.storage() ? amo.cap : amo.storage();
  double klim = std::abs(kmax);
  double alpha = (pi / dat.a) * (pi / dat.a);
  double beta = (pi / dat.b) * (pi / dat.b);
  auto kc = [&](int m, int n) { return std::sqrt(m * m * alpha + n * n * beta); };

  bool te = kmax >= 0;
  int sm = dat.symy != 0 ? 2 : 1;
  int sn = dat.symx != 0 ? 2 : 1;
  int m0, n0;
  if (te) {
    m0 = dat.symy == 1 ? 1 : 0;
    n0 = dat.symx == 1 ? 1 : 0;
  } else {
    m0 = dat.symy == -1 ? 2 : 1;
    n0 = dat.symx == -1 ? 2 : 1;
  }
  bool seed = m0 == 0 && n0 == 0;

  dat.status = 0;
  amo.n = 0;
  column_top.assign(static_cast<std::size_t>(amo.storage()) + 3, -1);
  auto found = [&](int m, int n) { return n <= column_top[(m - m0) / sm]; };

  int cm = m0, cn = n0;  // next mode
  if (seed) column_top[0] = 0;
  for (;;) {
    if (amo.n > 0 || seed) {
      // Cheapest unvisited neighbour; the seed (0, 0) is scanned first.
      double best = 0;
      bool any = false;
      for (int j = seed ? 0 : 1; j <= amo.n; ++j) {
        int mj = j == 0 ? 0 : amo[j].i1, nj = j == 0 ? 0 : amo[j].i2;
        const int cand[2][2] = {{mj + sm, nj}, {mj, nj + sn}};
        for (const auto& p : cand) {
          if (found(p[0], p[1])) continue;
          double k = kc(p[0], p[1]);
          if (!any || k < best) {
            any = true;
            best = k;
            cm = p[0];
            cn = p[1];
          }
        }
      }
    }
    if (kc(cm, cn) > klim || amo.n >= wanted) return;
    if (amo.n >= cap) {
      set_status(1016, "GMOR: underdimensioned array.");
      return;
    }
    amo[++amo.n] = amo_entry{cm, cn, kc(cm, cn)};
    column_top[(cm - m0) / sm] = cn;
  }
}

namespace {

// Walks a Bessel-zero table in ascending order and keeps the variants the
// selectors admit; accept(n, variant) with variant -1 (cos), +1 (sin), 0.
template <class TAB, class ACCEPT>
void circle_list(const TAB& tab, double kmax, ACCEPT accept, int code_full,
                 const char* msg_full, int code_end, const char* msg_end) {
  // The zeros up to this limit on the enclosure's radius, as far as the
  // tables may reach.
  bessel_zero_tables(std::abs(kmax) * dat.a);
  int wanted = amo.n;
  int cap = amo.cap < amo.storage() ? amo.cap : amo.storage();
  double klim = std::abs(kmax);
  dat.status = 0;
  amo.n = 0;
  for (int e = 1; e <= tab.n; ++e) {
    const bzero_entry& z = tab[e];
    double kc = z.x / dat.a;
    // The limit is tested on every entry, admitted or not, so that a limit
    // inside the table never runs past its end.
    if (kc > klim) return;
    const int variants[2] = {-1, 1};
    for (int v : variants) {
      if (z.n == 0 && v == 1) break;
      int var = z.n == 0 ? 0 : v;
      if (!accept(z.n, var)) continue;
      if (amo.n >= wanted) return;
      if (amo.n >= cap) {
        set_status(code_full, msg_full);
        return;
      }
      amo[++amo.n] = amo_entry{var == 0 ? 0 : var * z.n, z.k, kc};
    }
  }
  set_status(code_end, msg_end);
}

// Parity rules: the selector s (0, +1, -1) admits a mode when it is 0 or when
// it equals the required value.
bool admits(int s, int required) { return s == 0 || s == required; }

}  // namespace

// TE (Hz = Jn{cos, sin}): cos variant and order 0 are Hz-even in y (symx <= 0);
// the sin variant is Hz-odd in y (symx >= 0).  Under x -> -x the cos variant
// has parity (-1)^n and the sin variant (-1)^(n+1), and symy = -parity.
void gmotec(double kmax) {
  auto accept = [](int n, int var) {
    int sx = dat.symx, sy = dat.symy;
    if (var == 0) return sx <= 0 && sy <= 0;
    bool odd = n % 2 == 1;
    if (var < 0) return sx <= 0 && admits(sy, odd ? 1 : -1);
    return sx >= 0 && admits(sy, odd ? -1 : 1);
  };
  circle_list(bzte, kmax, accept, 1015, "GMOTEC: underdimensioned array.",
              3015, "GMOTEC: Bessel function table out of bound.");
}

// TM (Ez = Jn{cos, sin}): the mirror rules of TE with the signs exchanged.
void gmotmc(double kmax) {
  auto accept = [](int n, int var) {
    int sx = dat.symx, sy = dat.symy;
    if (var == 0) return sx >= 0 && sy >= 0;
    bool odd = n % 2 == 1;
    if (var < 0) return sx >= 0 && admits(sy, odd ? -1 : 1);
    return sx <= 0 && admits(sy, odd ? 1 : -1);
  };
  circle_list(bztm, kmax, accept, 1017, "GMOTMC: Underdimensioned array.",
              3017, "GMOTMC: Bessel function table out of Bound.");
}
