// The Bessel-zero tables of the circular enclosure against zeros found
// independently (library Bessel functions and bisection).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "support/bessel_reference.hpp"
#include "modesolver/bessel_zeros.hpp"

namespace {

template <class TAB>
void compare(const TAB& tab, bool te) {
  std::vector<ref_zero> ref = ref_zeros(te, 70.0);
  ASSERT_EQ(tab.n, int(ref.size()));
  int maxn = 0, maxk = 0;
  double worst = 0;
  for (int i = 1; i <= tab.n; ++i) {
    EXPECT_EQ(tab[i].n, ref[i - 1].n) << i;
    EXPECT_EQ(tab[i].k, ref[i - 1].k) << i;
    EXPECT_NEAR(tab[i].x, ref[i - 1].x, 1e-12 * ref[i - 1].x) << i;
    worst = std::max(worst, std::abs(tab[i].x / ref[i - 1].x - 1));
    if (i > 1) {
      EXPECT_LT(tab[i - 1].x, tab[i].x);
    }
    maxn = std::max(maxn, tab[i].n);
    maxk = std::max(maxk, tab[i].k);
  }
  std::printf(" worst relative deviation from the reference zeros: %.2e\n", worst);
  EXPECT_EQ(maxn, te ? 66 : 62);
  EXPECT_EQ(maxk, 22);
}

// Landmark entries of the published tables (about seven digits).
void landmark(const bzero_entry& e, int n, int k, double x) {
  EXPECT_EQ(e.n, n);
  EXPECT_EQ(e.k, k);
  EXPECT_NEAR(e.x, x, 1e-6 * x);
}

}  // namespace

TEST(bessel_zero_tables, te_table_holds_every_zero_of_the_derivative_below_70) {
  bessel_zero_tables();
  EXPECT_EQ(bzte.n, 643);
  compare(bzte, true);
  landmark(bzte[1], 1, 1, 1.8411846);
  landmark(bzte[2], 2, 1, 3.0542382);
  landmark(bzte[3], 0, 1, 3.8317082);
  landmark(bzte[643], 50, 4, 69.951663);
}

TEST(bessel_zero_tables, tm_table_holds_every_zero_below_70) {
  bessel_zero_tables();
  EXPECT_EQ(bztm.n, 607);
  compare(bztm, false);
  landmark(bztm[1], 0, 1, 2.4048234);
  landmark(bztm[2], 1, 1, 3.8317045);
  landmark(bztm[3], 2, 1, 5.1356217);
  landmark(bztm[607], 48, 4, 69.953695);
}

TEST(bessel_zero_tables, zeros_satisfy_their_defining_equation) {
  bessel_zero_tables();
  for (int i = 1; i <= bzte.n; ++i) EXPECT_NEAR(ref_dj(bzte[i].n, bzte[i].x), 0.0, 1e-13);
  for (int i = 1; i <= bztm.n; ++i) EXPECT_NEAR(ref_j(bztm[i].n, bztm[i].x), 0.0, 1e-13);
}

TEST(bessel_zero_tables, second_call_leaves_the_tables_alone) {
  bessel_zero_tables();
  double x = bzte[100].x;
  bzte[100].x = -1;  // marker: a regeneration would overwrite it
  bessel_zero_tables();
  EXPECT_EQ(bzte[100].x, -1);
  bzte[100].x = x;
}

// The tables of a convergence pass reach further: every zero below the
// range asked for (rounded up to a multiple of 10, within the reach), those
// below 70 exactly the plain run's, the capacities set from the counts; a
// plain run's range puts the plain tables back.
TEST(bessel_zero_tables, tables_grow_to_the_range_a_pass_asks_for_and_back) {
  bessel_zero_tables();
  const std::vector<bzero_entry> plain_te(bzte.data1(), bzte.data1() + bzte.n);
  const double reach = bzero_reach;
  bzero_reach = 140;
  bessel_zero_tables(93.2);
  EXPECT_EQ(bessel_zero_range(), 100);
  for (const bool te : {true, false}) {
    const std::vector<ref_zero> ref = ref_zeros(te, 100.0);
    const int n = te ? bzte.n : bztm.n;
    ASSERT_EQ(n, static_cast<int>(ref.size())) << te;
    EXPECT_EQ(te ? bzte.cap : bztm.cap, n);
    for (int i = 1; i <= n; ++i) {
      const bzero_entry& z = te ? bzte[i] : bztm[i];
      EXPECT_EQ(z.n, ref[i - 1].n) << i;
      EXPECT_EQ(z.k, ref[i - 1].k) << i;
      EXPECT_NEAR(z.x, ref[i - 1].x, 1e-12 * ref[i - 1].x) << i;
    }
  }
  EXPECT_GT(bzte.n, 2 * 643);  // the count grows as the square of the range
  for (std::size_t i = 0; i < plain_te.size(); ++i) {
    EXPECT_EQ(bzte[static_cast<int>(i) + 1].x, plain_te[i].x) << i;
    EXPECT_EQ(bzte[static_cast<int>(i) + 1].n, plain_te[i].n) << i;
  }
  // Beyond the reach: the reach.
  bessel_zero_tables(500);
  EXPECT_EQ(bessel_zero_range(), 140);
  bzero_reach = reach;
  bessel_zero_tables();
  EXPECT_EQ(bessel_zero_range(), 70);
  EXPECT_EQ(bzte.n, 643);
  EXPECT_EQ(bztm.n, 607);
  EXPECT_EQ(bzte.cap, 643);
  EXPECT_EQ(bztm.cap, 607);
}
