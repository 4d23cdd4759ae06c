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
