// Uncoupled classes of a system: found from the matrix, solved class by
// class, the same solution as the whole system's elimination.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <complex>
#include <numeric>
#include <random>
#include <vector>

#include "scattering/classes.hpp"

using cplx = std::complex<double>;

extern "C" void zgesv_(const int* n, const int* nrhs, cplx* a, const int* lda, int* ipiv, cplx* b,
                       const int* ldb, int* info);

namespace {

// A system of n unknowns whose class (0 .. classes - 1) is given per
// unknown, shuffled among the unknowns (the last class twice the size of
// the others): entries within a class of order 1 plus `diagonal` on the
// diagonal, entries between classes `noise` times that; complex symmetric
// when `symmetric`.
struct test_system {
  int n;
  std::vector<int> cls;
  std::vector<cplx> a;
};

test_system make_system(int n, int classes, double noise, bool symmetric, unsigned seed,
                        cplx diagonal = 0) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  test_system s{n, std::vector<int>(n), std::vector<cplx>(static_cast<std::size_t>(n) * n)};
  for (int i = 0; i < n; ++i) s.cls[i] = std::min(i % (classes + 1), classes - 1);
  std::shuffle(s.cls.begin(), s.cls.end(), gen);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double scale = s.cls[i] == s.cls[j] ? 1.0 : noise;
      s.a[i + j * n] = scale * cplx(u(gen), u(gen)) + (i == j ? diagonal : cplx(0));
    }
  if (symmetric)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < j; ++i) s.a[j + i * n] = s.a[i + j * n];
  return s;
}

// The whole system's LU solution of the columns b.
std::vector<cplx> whole_solution(std::vector<cplx> a, int n, std::vector<cplx> b, int nrhs) {
  std::vector<int> ipiv(n);
  int info = 0;
  zgesv_(&n, &nrhs, a.data(), &n, ipiv.data(), b.data(), &n, &info);
  EXPECT_EQ(info, 0);
  return b;
}

double largest_gap(const std::vector<cplx>& x, const std::vector<cplx>& y, double& size) {
  double gap = 0;
  size = 0;
  for (std::size_t k = 0; k < x.size(); ++k) {
    size = std::max(size, std::abs(x[k]));
    gap = std::max(gap, std::abs(x[k] - y[k]));
  }
  return gap;
}

// Right-hand sides that reach the unknowns of the classes in `reach` alone.
std::vector<cplx> reaching(const test_system& s, std::vector<int> reach, int nrhs) {
  std::vector<cplx> b(static_cast<std::size_t>(s.n) * nrhs);
  for (int r = 0; r < nrhs; ++r)
    for (int i = 0; i < s.n; ++i)
      if (std::count(reach.begin(), reach.end(), s.cls[i]))
        b[i + static_cast<long>(r) * s.n] = cplx(1 + i % 7, r - i % 3);
  return b;
}

}  // namespace

// Four classes of 24, 24, 24 and 48 unknowns shuffled among 120, coupled
// across at 1e-17 (below the floor, as symmetry leaves rounding), with a
// weak diagonal so that the eliminations pivot (rows exchanged, and 2 x 2
// pivots in L D L^T): found, each in ascending order, and the class-by-class
// solution equals the whole system's to 1e-12 of its size.  Only the
// classes that the right-hand sides reach are factorised; the later ones
// when a solution reaches them, from the same (permuted) matrix, beside
// the pivots of the first.
TEST(Classes, FoundFromTheMatrixAndSolvedAlone) {
  for (bool symmetric : {false, true}) {
    const test_system s = make_system(120, 4, 1e-17, symmetric, 7, cplx(0.01, 0.003));
    std::vector<cplx> a = s.a;
    system_classes cl;
    find_classes(s.n, a.data(), s.n, cl);
    ASSERT_EQ(cl.count(), 4);
    for (int c = 0; c < 4; ++c) {
      const int cls = s.cls[cl.order[cl.start[c]]];
      EXPECT_EQ(cl.start[c + 1] - cl.start[c], std::count(s.cls.begin(), s.cls.end(), cls));
      for (int k = cl.start[c]; k < cl.start[c + 1]; ++k) {
        EXPECT_EQ(s.cls[cl.order[k]], cls);
        if (k > cl.start[c]) {
          EXPECT_LT(cl.order[k - 1], cl.order[k]);
        }
      }
      // the permuted matrix: the class's block on the diagonal
      for (int j = cl.start[c]; j < cl.start[c + 1]; ++j)
        for (int i = cl.start[c]; i < cl.start[c + 1]; ++i)
          EXPECT_EQ(a[i + j * s.n], s.a[cl.order[i] + cl.order[j] * s.n]);
    }
    std::vector<int> ipiv(s.n);
    const int first = s.cls[0], other = (first + 1) % 4;
    std::vector<cplx> b = reaching(s, {first}, 2);
    const std::vector<cplx> want = whole_solution(s.a, s.n, b, 2);
    ASSERT_EQ(solve_classes(2, a.data(), s.n, ipiv.data(), b.data(), s.n, cl, symmetric), 0);
    double size;
    double gap = largest_gap(want, b, size);
    EXPECT_LT(gap, 1e-12 * size);
    EXPECT_GT(size, 0);
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(cl.factored[c] != 0, c == 0) << c;  // class 0 holds unknown 0
      EXPECT_EQ(cl.symmetric[c] != 0, symmetric && c == 0) << c;
    }
    // the elimination pivoted: an exchange (LU) or a 2 x 2 pivot (L D L^T)
    int pivoted = 0;
    for (int k = 0; k < cl.start[1]; ++k) pivoted += symmetric ? ipiv[k] < 0 : ipiv[k] != k + 1;
    EXPECT_GT(pivoted, 0);
    std::vector<cplx> b2 = reaching(s, {first, other}, 3);
    const std::vector<cplx> want2 = whole_solution(s.a, s.n, b2, 3);
    ASSERT_EQ(solve_classes(3, a.data(), s.n, ipiv.data(), b2.data(), s.n, cl, symmetric), 0);
    gap = largest_gap(want2, b2, size);
    EXPECT_LT(gap, 1e-12 * size);
    EXPECT_EQ(std::count(cl.factored.begin(), cl.factored.end(), 1), 2);
    // the first class again, after the second's factors and pivots
    std::vector<cplx> b3 = reaching(s, {first}, 1);
    const std::vector<cplx> want3 = whole_solution(s.a, s.n, b3, 1);
    ASSERT_EQ(solve_classes(1, a.data(), s.n, ipiv.data(), b3.data(), s.n, cl, symmetric), 0);
    gap = largest_gap(want3, b3, size);
    EXPECT_LT(gap, 1e-12 * size);
  }
}

// A coupling above the floor, however weak against the whole, joins its
// classes: two entries at 1e-10 of the largest (one unsymmetric) leave two
// classes of four, and the solution still equals the whole system's.  With
// every class coupled there is one class and the matrix is not moved.
TEST(Classes, AWeakCouplingAboveTheFloorJoinsClasses) {
  test_system s = make_system(80, 4, 0, false, 11, cplx(80, 24));
  auto first_of = [&](int c) { return static_cast<int>(std::find(s.cls.begin(), s.cls.end(), c) - s.cls.begin()); };
  const double big = 80 * std::abs(cplx(1, 0.3));
  ASSERT_GT(1e-10 * big, class_coupling_floor(80, 2 * big, 2 * big));
  s.a[first_of(0) + first_of(1) * 80] = 1e-10 * big;  // 0 -> 1 only
  s.a[first_of(3) + first_of(2) * 80] = cplx(0, 1e-10 * big);
  s.a[first_of(2) + first_of(3) * 80] = cplx(0, 1e-10 * big);
  std::vector<cplx> a = s.a;
  system_classes cl;
  find_classes(80, a.data(), 80, cl);
  EXPECT_EQ(cl.count(), 2);
  std::vector<int> ipiv(80);
  std::vector<cplx> b = reaching(s, {0, 1, 2, 3}, 2);
  const std::vector<cplx> want = whole_solution(s.a, 80, b, 2);
  ASSERT_EQ(solve_classes(2, a.data(), 80, ipiv.data(), b.data(), 80, cl, false), 0);
  double size;
  double gap = largest_gap(want, b, size);
  EXPECT_LT(gap, 1e-13 * size);

  const test_system one = make_system(60, 1, 0, false, 3, cplx(60, 18));
  a = one.a;
  find_classes(60, a.data(), 60, cl);
  EXPECT_EQ(cl.count(), 1);
  EXPECT_TRUE(a == one.a);
}

// A singular class reports LAPACK's failure (its info), and the classes not
// reached are not looked at: a zero class that nothing reaches leaves the
// solution of the others intact.
TEST(Classes, SingularClassReportedWhenReached) {
  test_system s = make_system(40, 2, 0, false, 5, cplx(40, 12));
  for (int j = 0; j < 40; ++j)
    for (int i = 0; i < 40; ++i)
      if (s.cls[i] == 1 && s.cls[j] == 1) s.a[i + j * 40] = 0;
  // a zero class has no coupling entry: each of its unknowns stands alone
  std::vector<cplx> a = s.a;
  system_classes cl;
  find_classes(40, a.data(), 40, cl);
  EXPECT_EQ(cl.count(), 1 + static_cast<int>(std::count(s.cls.begin(), s.cls.end(), 1)));
  std::vector<int> ipiv(40);
  std::vector<cplx> b = reaching(s, {0}, 1);
  const std::vector<cplx> b0 = b;
  ASSERT_EQ(solve_classes(1, a.data(), 40, ipiv.data(), b.data(), 40, cl, false), 0);
  for (int i = 0; i < 40; ++i)
    if (s.cls[i] == 1) {
      EXPECT_EQ(b[i], cplx(0));
    }
  // the reached class's solution: a b = b0 on its unknowns
  for (int i = 0; i < 40; ++i) {
    if (s.cls[i] != 0) continue;
    cplx r = -b0[i];
    for (int j = 0; j < 40; ++j) r += s.a[i + j * 40] * b[j];
    EXPECT_LT(std::abs(r), 1e-12 * std::abs(b0[i]) + 1e-12);
  }
  std::vector<cplx> b1 = reaching(s, {1}, 1);
  EXPECT_GT(solve_classes(1, a.data(), 40, ipiv.data(), b1.data(), 40, cl, false), 0);
}

// The floor follows the scale of each row and column: a class whose rows
// are 1e-6 of the largest entries, coupled to another at 1e-13 of the
// largest (1e-7 of its own rows, far above their rounding), stays joined;
// the same class coupled at rounding of its own rows (1e-22 of the
// largest) splits.  An entry that is not finite leaves one class and the
// matrix unmoved, for the elimination to show it.
TEST(Classes, FloorFollowsTheScaleOfRowsAndColumns) {
  for (double across : {1e-13, 1e-22}) {
    test_system s = make_system(60, 2, 0, false, 13, cplx(60, 18));
    for (int j = 0; j < 60; ++j)
      for (int i = 0; i < 60; ++i) {
        if (s.cls[i] == 1 && s.cls[j] == 1) s.a[i + j * 60] *= 1e-6;
        if (s.cls[i] != s.cls[j]) s.a[i + j * 60] = across * 60;
      }
    std::vector<cplx> a = s.a;
    system_classes cl;
    find_classes(60, a.data(), 60, cl);
    EXPECT_EQ(cl.count(), across > 1e-20 ? 1 : 2) << across;
  }
  test_system s = make_system(40, 2, 0, false, 17, cplx(40, 12));
  for (double bad : {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    std::vector<cplx> a = s.a;
    a[5 + 7 * 40] = bad;
    const std::vector<cplx> before = a;
    system_classes cl;
    find_classes(40, a.data(), 40, cl);
    EXPECT_EQ(cl.count(), 1) << bad;
    for (std::size_t k = 0; k < a.size(); ++k)
      if (k != 5 + 7 * 40) {
        EXPECT_EQ(a[k], before[k]);
      }
  }
}
