// Enclosing-guide mode lists against brute-force enumerations.
//
// Rectangle: every index pair admitted by the parity of its mode function is
// listed, sorted by cutoff; exact ties go to the pair first reached from the
// lowest-placed neighbour below it (m-neighbour before n-neighbour).
// Circle: every zero of the library Bessel functions, in ascending order,
// with the cos variant before the sin variant, admitted by parity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "modefields/guide_modes.hpp"
#include "support/bessel_reference.hpp"
#include "modesolver/guide_lists.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"

namespace {

const double pi = 3.141592653589793;

struct mode {
  int i1, i2;
  double kc;
};

void setup(double a, double b, int sx, int sy, int wanted = 810) {
  dat.a = a;
  dat.b = b;
  dat.symx = sx;
  dat.symy = sy;
  dat.status = 0;
  amo.cap = 800;
  amo.n = wanted;
  errors.code = 0;
  errors.message.clear();
}

// Parity of cos(m pi x'/a) (TE) or sin(m pi x'/a) (TM), x' = x + a/2, under x -> -x.
int parity_rect(int m, bool te) {
  int p = m % 2 == 0 ? 1 : -1;
  return te ? p : -p;
}

// A selector admits a mode when it is 0 or equals the parity of Ez, which is
// that of the TM function and minus that of the TE function (Hz).
bool admits(int sel, int parity_psi, bool te) {
  return sel == 0 || sel == (te ? -parity_psi : parity_psi);
}

std::vector<mode> brute_rect(double a, double b, int sx, int sy, bool te, double klim) {
  double alpha = (pi / a) * (pi / a), beta = (pi / b) * (pi / b);
  auto kc = [&](int m, int n) { return std::sqrt(m * m * alpha + n * n * beta); };
  int mmax = int(klim * a / pi) + 1, nmax = int(klim * b / pi) + 1;
  std::vector<mode> all;
  for (int m = 0; m <= mmax; ++m) {
    for (int n = 0; n <= nmax; ++n) {
      if (te && m == 0 && n == 0) continue;
      if (!te && (m == 0 || n == 0)) continue;
      if (!admits(sy, parity_rect(m, te), te) || !admits(sx, parity_rect(n, te), te)) continue;
      if (kc(m, n) <= klim) all.push_back({m, n, kc(m, n)});
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const mode& p, const mode& q) { return p.kc < q.kc; });
  // Neighbours below a pair on the admitted lattice; (0, 0) counts as a
  // neighbour placed before every mode.
  int sm = sy != 0 ? 2 : 1, sn = sx != 0 ? 2 : 1;
  std::map<std::pair<int, int>, int> place;
  place[{0, 0}] = 0;
  std::vector<mode> out;
  size_t i = 0;
  while (i < all.size()) {
    size_t j = i;
    while (j < all.size() && all[j].kc == all[i].kc) ++j;
    std::vector<std::pair<long, mode>> group;
    for (size_t g = i; g < j; ++g) {
      long key = 1L << 40;
      const mode& p = all[g];
      auto a1 = place.find({p.i1 - sm, p.i2});
      if (a1 != place.end()) key = std::min(key, 2L * a1->second);
      auto a2 = place.find({p.i1, p.i2 - sn});
      if (a2 != place.end()) key = std::min(key, 2L * a2->second + 1);
      group.push_back({key, p});
    }
    std::sort(group.begin(), group.end(), [](auto& p, auto& q) { return p.first < q.first; });
    for (auto& g : group) {
      out.push_back(g.second);
      place[{g.second.i1, g.second.i2}] = int(out.size());
    }
    i = j;
  }
  return out;
}

void expect_list(const std::vector<mode>& ref) {
  ASSERT_EQ(amo.n, int(ref.size()));
  for (int i = 1; i <= amo.n; ++i) {
    EXPECT_EQ(amo[i].i1, ref[i - 1].i1) << "entry " << i;
    EXPECT_EQ(amo[i].i2, ref[i - 1].i2) << "entry " << i;
    EXPECT_DOUBLE_EQ(amo[i].kc, ref[i - 1].kc) << "entry " << i;
  }
}

// Parities of Jn(r){cos n phi, sin n phi, 1} under y -> -y and under x -> -x.
void parity_circle(int n, int variant, int& py, int& px) {
  int pn = n % 2 == 0 ? 1 : -1;
  py = variant > 0 ? -1 : 1;
  px = variant < 0 ? pn : (variant > 0 ? -pn : 1);
}

std::vector<mode> brute_circle(double a, int sx, int sy, bool te, double klim) {
  static const std::vector<ref_zero> zte = ref_zeros(true, 31.0), ztm = ref_zeros(false, 31.0);
  EXPECT_LT(klim * a, 31.0);
  std::vector<mode> out;
  for (const ref_zero& z : te ? zte : ztm) {
    if (z.x / a > klim) break;
    for (int variant : {-1, 1}) {
      if (z.n == 0 && variant > 0) break;
      int var = z.n == 0 ? 0 : variant;
      int py, px;
      parity_circle(z.n, var, py, px);
      // The TE axial function carries -Jn: parities are unchanged by the sign.
      if (admits(sx, py, te) && admits(sy, px, te)) out.push_back({var * z.n, z.k, z.x / a});
    }
  }
  return out;
}

const int selectors[9][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1},
                             {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};

// Parity of listed mode i about the centre lines, read from its axial
// function psi (centred coordinates) whose value at (x, y) is f: Ez has the
// parity the selectors ask for, Hz (TE) the opposite one.
template <class F>
void expect_selector_parity(F psi, double x, double y, double f, const int sel[2], bool te,
                            int i) {
  if (sel[1] != 0) {
    EXPECT_NEAR(psi(-x, y), (te ? -1 : 1) * sel[1] * f, 1e-12) << i;
  }
  if (sel[0] != 0) {
    EXPECT_NEAR(psi(x, -y), (te ? -1 : 1) * sel[0] * f, 1e-12) << i;
  }
}

}  // namespace

TEST(gmor, matches_brute_force_for_all_selectors_te_and_tm) {
  const double sizes[3][2] = {{1.0, 1.0}, {2.0, 1.0}, {1.37, 0.61}};
  for (const auto& s : sizes) {
    for (const auto& sel : selectors) {
      for (bool te : {true, false}) {
        SCOPED_TRACE(testing::Message() << "a=" << s[0] << " b=" << s[1] << " sx=" << sel[0]
                                        << " sy=" << sel[1] << (te ? " TE" : " TM"));
        double klim = 45.0;
        setup(s[0], s[1], sel[0], sel[1]);
        gmor(te ? klim : -klim);
        EXPECT_EQ(dat.status, 0);
        expect_list(brute_rect(s[0], s[1], sel[0], sel[1], te, klim));
        EXPECT_GT(amo.n, 20);
      }
    }
  }
}

TEST(gmor, listed_modes_have_the_parity_the_selectors_ask_for) {
  for (const auto& sel : selectors) {
    for (bool te : {true, false}) {
      setup(1.3, 0.8, sel[0], sel[1]);
      gmor(te ? 30.0 : -30.0);
      for (int i = 1; i <= amo.n; ++i) {
        // Parity about the centre lines, read from the mode function itself.
        double x = 0.31, y = 0.17, a = dat.a, b = dat.b;
        int m = amo[i].i1, n = amo[i].i2;
        auto psi = [&](double u, double v) {
          return te ? cater(u + a / 2, v + b / 2, m, n, 1) : catmr(u + a / 2, v + b / 2, m, n, 1);
        };
        double f = psi(x, y);
        ASSERT_GT(std::abs(f), 1e-3) << i;
        expect_selector_parity(psi, x, y, f, sel, te, i);
      }
    }
  }
}

TEST(gmor, square_without_symmetry_starts_with_the_degenerate_pair_in_order) {
  setup(1.0, 1.0, 0, 0);
  gmor(4.5);
  ASSERT_EQ(amo.n, 3);
  EXPECT_EQ(amo[1].i1, 1);  // (1, 0) before (0, 1): equal cutoffs keep the first
  EXPECT_EQ(amo[1].i2, 0);
  EXPECT_EQ(amo[2].i1, 0);
  EXPECT_EQ(amo[2].i2, 1);
  EXPECT_EQ(amo[3].i1, 1);
  EXPECT_EQ(amo[3].i2, 1);
  EXPECT_DOUBLE_EQ(amo[1].kc, pi);
  EXPECT_DOUBLE_EQ(amo[3].kc, pi * std::sqrt(2.0));
}

TEST(gmor, te_with_both_even_selectors_lists_odd_pairs_only) {
  setup(1.0, 0.5, 1, 1);
  gmor(40.0);
  ASSERT_GT(amo.n, 5);
  EXPECT_EQ(amo[1].i1, 1);
  EXPECT_EQ(amo[1].i2, 1);
  for (int i = 1; i <= amo.n; ++i) {
    EXPECT_EQ(amo[i].i1 % 2, 1);
    EXPECT_EQ(amo[i].i2 % 2, 1);
  }
}

TEST(gmor, tm_starts_at_one_one) {
  setup(1.0, 0.5, 0, 0);
  gmor(-1e3);
  ASSERT_GT(amo.n, 1);
  EXPECT_EQ(amo[1].i1, 1);
  EXPECT_EQ(amo[1].i2, 1);
  EXPECT_DOUBLE_EQ(amo[1].kc, pi * std::sqrt(5.0));
}

TEST(gmor, limit_below_the_first_cutoff_gives_no_mode) {
  setup(1.0, 0.5, 0, 0);
  gmor(3.14);
  EXPECT_EQ(amo.n, 0);
  EXPECT_EQ(dat.status, 0);
  setup(1.0, 0.5, 0, 0);
  gmor(-7.0);  // TM (1,1) lies at pi sqrt(5) = 7.02
  EXPECT_EQ(amo.n, 0);
}

TEST(gmor, wanted_count_stops_the_list) {
  setup(1.0, 0.7, 0, 0, 7);
  gmor(100.0);
  EXPECT_EQ(amo.n, 7);
  EXPECT_EQ(dat.status, 0);
  std::vector<mode> ref = brute_rect(1.0, 0.7, 0, 0, true, 100.0);
  ref.resize(7);
  expect_list(ref);
}

TEST(gmor, more_modes_than_the_capacity_is_status_1016) {
  setup(1.0, 1.0, 0, 0);
  gmor(120.0);
  EXPECT_EQ(dat.status, 1016);
  EXPECT_EQ(errors.code, 1016);
  EXPECT_EQ(errors.message, "GMOR: underdimensioned array.");
  EXPECT_EQ(amo.n, 800);
  // The first 800 are still the right ones.
  std::vector<mode> ref = brute_rect(1.0, 1.0, 0, 0, true, 120.0);
  ref.resize(800);
  expect_list(ref);
  // A capacity in force below the storage is honoured.
  setup(1.0, 1.0, 0, 0);
  amo.cap = 10;
  gmor(-60.0);
  EXPECT_EQ(dat.status, 1016);
  EXPECT_EQ(amo.n, 10);
}

TEST(gmotec_gmotmc, match_library_zeros_for_all_selectors) {
  for (const auto& sel : selectors) {
    for (bool te : {true, false}) {
      SCOPED_TRACE(testing::Message() << "sx=" << sel[0] << " sy=" << sel[1] << (te ? " TE" : " TM"));
      double a = 2.5, klim = 12.0;  // x up to 30
      setup(a, 0.0, sel[0], sel[1]);
      if (te) {
        gmotec(klim);
      } else {
        gmotmc(-klim);
      }
      EXPECT_EQ(dat.status, 0);
      std::vector<mode> ref = brute_circle(a, sel[0], sel[1], te, klim);
      ASSERT_EQ(amo.n, int(ref.size()));
      EXPECT_GT(amo.n, 20);
      for (int i = 1; i <= amo.n; ++i) {
        EXPECT_EQ(amo[i].i1, ref[i - 1].i1) << i;
        EXPECT_EQ(amo[i].i2, ref[i - 1].i2) << i;
        EXPECT_NEAR(amo[i].kc, ref[i - 1].kc, 1e-12 * ref[i - 1].kc) << i;
      }
    }
  }
}

TEST(gmotec_gmotmc, listed_modes_have_the_parity_the_selectors_ask_for) {
  for (const auto& sel : selectors) {
    for (bool te : {true, false}) {
      setup(1.0, 0.0, sel[0], sel[1]);
      if (te) {
        gmotec(25.0);
      } else {
        gmotmc(25.0);
      }
      for (int i = 1; i <= amo.n; ++i) {
        int n = amo[i].i1;
        double kc = amo[i].kc, x = 0.3, y = 0.45;
        auto psi = [&](double u, double v) {
          double r = std::hypot(u, v), phi = std::atan2(v, u);
          return te ? catec(r, phi, n, kc, 1) : catmc(r, phi, n, kc, 1);
        };
        double f = psi(x, y);
        ASSERT_GT(std::abs(f), 1e-6) << i;
        expect_selector_parity(psi, x, y, f, sel, te, i);
      }
    }
  }
}

TEST(gmotec_gmotmc, limit_below_the_first_zero_gives_no_mode) {
  setup(2.0, 0.0, 0, 0);
  gmotec(1.8411 / 2.0);
  EXPECT_EQ(amo.n, 0);
  EXPECT_EQ(dat.status, 0);
  setup(2.0, 0.0, 0, 0);
  gmotmc(2.4048 / 2.0);
  EXPECT_EQ(amo.n, 0);
  setup(2.0, 0.0, 0, 0);
  gmotmc(2.4049 / 2.0);
  ASSERT_EQ(amo.n, 1);
  EXPECT_EQ(amo[1].i1, 0);  // order 0: one mode, no angular variant
  EXPECT_EQ(amo[1].i2, 1);
}

TEST(gmotec_gmotmc, degenerate_variants_come_cos_first) {
  setup(1.0, 0.0, 0, 0);
  gmotec(4.0);
  ASSERT_EQ(amo.n, 5);  // (1,1) cos, sin; (2,1) cos, sin; (0,1)
  EXPECT_EQ(amo[1].i1, -1);
  EXPECT_EQ(amo[2].i1, 1);
  EXPECT_EQ(amo[3].i1, -2);
  EXPECT_EQ(amo[4].i1, 2);
  EXPECT_EQ(amo[5].i1, 0);
  EXPECT_EQ(amo[1].kc, amo[2].kc);
}

TEST(gmotec_gmotmc, wanted_count_stops_the_list) {
  setup(1.0, 0.0, 0, 0, 4);
  gmotmc(60.0);
  EXPECT_EQ(amo.n, 4);
  EXPECT_EQ(dat.status, 0);
}

TEST(gmotec_gmotmc, overflow_is_1015_and_1017) {
  setup(1.0, 0.0, 0, 0);
  gmotec(69.0);
  EXPECT_EQ(dat.status, 1015);
  EXPECT_EQ(errors.code, 1015);
  EXPECT_EQ(errors.message, "GMOTEC: underdimensioned array.");
  EXPECT_EQ(amo.n, 800);
  setup(1.0, 0.0, 0, 0);
  gmotmc(69.0);
  EXPECT_EQ(dat.status, 1017);
  EXPECT_EQ(errors.code, 1017);
  EXPECT_EQ(errors.message, "GMOTMC: Underdimensioned array.");
  EXPECT_EQ(amo.n, 800);
}

TEST(gmotec_gmotmc, limit_beyond_the_tables_is_3015_and_3017) {
  setup(1.0, 0.0, 1, 1);  // few modes: the capacity is not what stops
  gmotec(69.99);
  EXPECT_EQ(dat.status, 3015);
  EXPECT_EQ(errors.code, 3015);
  EXPECT_EQ(errors.message, "GMOTEC: Bessel function table out of bound.");
  setup(2.0, 0.0, 1, 1);
  gmotmc(-36.0);
  EXPECT_EQ(dat.status, 3017);
  EXPECT_EQ(errors.code, 3017);
  EXPECT_EQ(errors.message, "GMOTMC: Bessel function table out of Bound.");
  // Just inside the tables the same selectors are fine.
  setup(1.0, 0.0, 1, 1);
  gmotec(69.9);
  EXPECT_EQ(dat.status, 0);
  EXPECT_GT(amo.n, 100);
}
