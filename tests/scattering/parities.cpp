// Mirror parities of the modes of symmetric apertures: the contour points'
// mirror images, degenerate sets turned to pure parities (the span and the
// cutoffs kept), the classes they let a symmetric structure's system fall
// into, and the sets left alone (no symmetry, a span not closed under the
// mirrors).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/classes.hpp"
#include "scattering/parities.hpp"
#include "scattering/system.hpp"
#include "support/sweep_points.hpp"
#include "support/tmpdir.hpp"

namespace {

// A one-aperture structure in a 10 mm square lattice, 1 mm thick, at
// normal incidence, with the Floquet limit twice the aperture limit.
void write_structure(const std::string& boundary, double limit_ghz, const std::string& sweep) {
  scratch_dir::write_file("s.fss", "parities\nt\n1)\n10 10\n2)\n90\n3)\n1\n4)\n" + boundary +
                                       "5)\n0 0\n6)\n" + sweep + "\n7)\n" + std::to_string(limit_ghz) +
                                       "\n8)\n" + std::to_string(2 * limit_ghz) + "\n");
}
const std::string cross =
    "-4 -1 -1 -1\n-1 -1 -1 -4\n-1 -4 1 -4\n1 -4 1 -1\n1 -1 4 -1\n4 -1 4 1\n"
    "4 1 1 1\n1 1 1 4\n1 4 -1 4\n-1 4 -1 1\n-1 1 -4 1\n-4 1 -4 -1\n";
const std::string square_ring =
    "-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n"
    "-1.5 -1.5 1.5 -1.5\n1.5 -1.5 1.5 1.5\n1.5 1.5 -1.5 1.5\n-1.5 1.5 -1.5 -1.5\n";
// Symmetric about x = 0 only.
const std::string trapezoid = "-4 -2 4 -2\n4 -2 2 2\n2 2 -2 2\n-2 2 -4 -2\n";
const std::string lshape = "-3 -3 3 -3\n3 -3 3 0\n3 0 0 0\n0 0 0 3\n0 3 -3 3\n-3 3 -3 -3\n";

// The whole structure analysed with the modes as the solver gives them for
// the whole outline (no split into classes, so no turning either).
std::vector<fss_polar_rec> plain(double ratio) {
  class_split_modes = quarter_split_modes = 1 << 30;
  std::vector<fss_polar_rec> s = sweep_points("s", ratio);
  class_split_modes = max_wg_modes + 1;
  quarter_split_modes = max_wg_modes;
  return s;
}

double largest_asymmetry(const std::vector<std::vector<int>>& mirrors) {
  double a = 0;
  for (int j = 1; j <= fss_modewg_index.n; ++j)
    for (const std::vector<int>& m : mirrors) a = std::max(a, mode_asymmetry(j, m));
  return a;
}

}  // namespace

// The mirror images of the contour points: an involution onto points at the
// mirrored place, for each mirror the aperture has.
TEST(Parities, MirrorImagesOfTheContourPoints) {
  scratch_dir dir;
  fss_set_capacities();
  struct shape {
    const std::string* boundary;
    bool x, y;
  };
  for (const shape& s : {shape{&cross, true, true}, {&square_ring, true, true}, {&trapezoid, true, false},
                         {&lshape, false, false}}) {
    write_structure(*s.boundary, 100, "20 20 1");
    plain(1);
    const fss_ap_rec::range& r = fss_ap.r[1];
    for (bool along_x : {true, false}) {
      const std::vector<int> m = aperture_mirror(1, along_x);
      ASSERT_EQ(!m.empty(), along_x ? s.x : s.y) << *s.boundary << along_x;
      if (m.empty()) continue;
      ASSERT_EQ(static_cast<int>(m.size()), r.last - r.first + 1);
      double lo = 1e9, hi = -1e9;
      for (int p = r.first; p <= r.last; ++p) {
        const double u = along_x ? fss_coordinates[p].x : fss_coordinates[p].y;
        lo = std::min(lo, u), hi = std::max(hi, u);
      }
      for (int p = 0; p < static_cast<int>(m.size()); ++p) {
        EXPECT_EQ(m[m[p]], p);
        const xy a = fss_coordinates[r.first + p], b = fss_coordinates[r.first + m[p]];
        EXPECT_NEAR(along_x ? a.x + b.x : a.y + b.y, lo + hi, 1e-12);
        EXPECT_NEAR(along_x ? a.y - b.y : a.x - b.x, 0, 1e-12);
      }
    }
  }
}

// The cross's degenerate pairs come out of the solver mixed in parity (up to
// a few percent of their samples at a 305 GHz limit); turned, every mode is
// exactly even or odd under both mirrors, the cutoffs stay (the sets are
// degenerate, or their other members already pure), and the analysis gives
// the same reflection and transmission: the span is the same but for the
// solver's parts of the wrong parity that are dropped.  With the turned
// modes the system at normal incidence falls into its four classes.
TEST(Parities, DegenerateModesOfASymmetricApertureTurnedToPureParities) {
  scratch_dir dir;
  fss_set_capacities();
  write_structure(cross, 305.176, "17 29 4");
  const std::vector<fss_polar_rec> before = plain(3.05176);
  std::vector<std::vector<int>> mirrors = {aperture_mirror(1, true), aperture_mirror(1, false)};
  ASSERT_FALSE(mirrors[0].empty());
  ASSERT_FALSE(mirrors[1].empty());
  const int nw = fss_modewg_index.n;
  ASSERT_GT(nw, 150);
  EXPECT_GT(largest_asymmetry(mirrors), 1e-3);
  std::printf(" largest part of the other parity %.2e\n", largest_asymmetry(mirrors));
  std::vector<double> kc(fss_modewg_kappa.data1(), fss_modewg_kappa.data1() + nw);
  class_split_modes = 1;
  EXPECT_GT(pure_mirror_parities(1), 5);
  EXPECT_EQ(largest_asymmetry(mirrors), 0.0);
  for (int j = 1; j <= nw; ++j) {
    for (const std::vector<int>& m : mirrors) EXPECT_NEAR(std::abs(mode_parity(j, m)), 1.0, 1e-14) << j;
    EXPECT_NEAR(fss_modewg_kappa[j], kc[j - 1], 1e-7 * kc[j - 1]) << j;
    if (j > 1 && fss_modewg_index[j] == fss_modewg_index[j - 1]) {
      EXPECT_GE(fss_modewg_kappa[j], fss_modewg_kappa[j - 1]) << j;
    }
  }
  // The whole analysis with the turned modes (from class_split_modes on the
  // catalogue turns them) and its system split.
  const std::vector<fss_polar_rec> turned = sweep_points("s", 3.05176);
  EXPECT_EQ(system_class_count(), 4);
  EXPECT_EQ(largest_asymmetry(mirrors), 0.0);
  class_split_modes = max_wg_modes + 1;
  ASSERT_EQ(turned.size(), before.size());
  EXPECT_LT(largest_rt_difference(before, turned), 1e-10);
  std::printf(" R and T moved by %.2e\n", largest_rt_difference(before, turned));
}

// What cannot be turned is left as it was: a pair one of whose modes is
// mixed with a mode outside its run (its span not closed under the
// mirrors) is not turned, and both keep their samples bit for bit (the
// partner's part of the other parity is not dropped either: it may be the
// mixed mode's content); every other mode is made pure.  An aperture without a mirror keeps every
// sample bit for bit.
TEST(Parities, MixturesBeyondTheClustersAreLeftAlone) {
  scratch_dir dir;
  fss_set_capacities();
  // Twice: mode j of a TE pair mixed in equal parts with its partner and a
  // far TE mode of the other x parity; then half and half with a far TE
  // mode of its own x parity and the other y parity (the sum T_x + 2 T_y
  // takes that mixture for a parity: only the mirrors' own test refuses
  // it).
  for (const bool y_only : {false, true}) {
    write_structure(cross, 150, "20 20 1");
    plain(1.5);
    const std::vector<std::vector<int>> mirrors = {aperture_mirror(1, true), aperture_mirror(1, false)};
    const int nw = fss_modewg_index.n;
    const fss_ap_rec::range& r = fss_ap.r[1];
    const int np = r.last - r.first + 1;
    int j = 0, k = 0;
    for (int i = 1; i < nw && j == 0; ++i)
      if (fss_modewg_index[i] == wg_te && fss_modewg_index[i + 1] == wg_te &&
          std::abs(fss_modewg_kappa[i + 1] / fss_modewg_kappa[i] - 1) < 1e-7)
        j = i;
    ASSERT_GT(j, 0);
    for (int i = 1; i <= nw && k == 0; ++i) {
      const double px = mode_parity(i, mirrors[0]) * mode_parity(j, mirrors[0]);
      const double py = mode_parity(i, mirrors[1]) * mode_parity(j, mirrors[1]);
      if (fss_modewg_index[i] == wg_te && std::abs(fss_modewg_kappa[i] / fss_modewg_kappa[j] - 1) > 0.05 &&
          (y_only ? px > 0 && py < 0 : px < 0))
        k = i;
    }
    ASSERT_GT(k, 0);
    double* sj = &fss_samplewg[(j - 1) * np + 1];
    const double *sl = &fss_samplewg[j * np + 1], *sk = &fss_samplewg[(k - 1) * np + 1];
    double nj = 0, nl = 0, nk = 0;
    for (int p = 0; p < np; ++p) nj += sj[p] * sj[p], nl += sl[p] * sl[p], nk += sk[p] * sk[p];
    for (int p = 0; p < np; ++p)
      sj[p] = y_only ? (sj[p] + std::sqrt(nj / nk) * sk[p]) / std::sqrt(2.0)
                     : (sj[p] + std::sqrt(nj / nl) * sl[p] + std::sqrt(nj / nk) * sk[p]) / std::sqrt(3.0);
    const std::vector<double> before(fss_samplewg.data1(), fss_samplewg.data1() + nw * np);
    const double kc = fss_modewg_kappa[j];
    ASSERT_GT(mode_asymmetry(j, mirrors[y_only ? 1 : 0]), pure_parity_bound);
    pure_mirror_parities(1);
    for (int i = j; i <= j + 1; ++i)
      for (int p = 0; p < np; ++p)
        ASSERT_EQ(fss_samplewg[(i - 1) * np + p + 1], before[(i - 1) * np + p]) << i << " " << y_only;
    EXPECT_EQ(fss_modewg_kappa[j], kc);
    for (int i = 1; i <= nw; ++i)
      if (i != j && i != j + 1) {
        for (const std::vector<int>& m : mirrors) EXPECT_EQ(mode_asymmetry(i, m), 0.0) << i;
      }
  }
  // No mirror: nothing moves.
  write_structure(lshape, 150, "20 20 1");
  plain(1.5);
  const std::vector<double> lsamples(fss_samplewg.data1(), fss_samplewg.data1() + fss_samplewg.n);
  const std::vector<double> lkc(fss_modewg_kappa.data1(), fss_modewg_kappa.data1() + fss_modewg_kappa.n);
  EXPECT_EQ(pure_mirror_parities(1), 0);
  EXPECT_EQ(lsamples, std::vector<double>(fss_samplewg.data1(), fss_samplewg.data1() + fss_samplewg.n));
  EXPECT_EQ(lkc, std::vector<double>(fss_modewg_kappa.data1(), fss_modewg_kappa.data1() + fss_modewg_kappa.n));
}

// TEM modes hold their impedance in place of a cutoff and are not turned:
// one on a centred patch is made exactly even or odd and keeps its
// impedance; the two of mirror-image patches (the line's even and odd
// modes), mixed here half and half in x parity (each then the potential of
// one patch), keep their samples and impedances bit for bit.  A translated
// copy takes its original's turned modes again, sample for sample.
TEST(Parities, TemModesAndTranslatedCopies) {
  scratch_dir dir;
  fss_set_capacities();
  // Two patches at x = -2 and 2 mm in an 8 mm square hole.
  write_structure("-4 -4 4 -4\n4 -4 4 4\n4 4 -4 4\n-4 4 -4 -4\n"
                  "-3 -1 -1 -1\n-1 -1 -1 1\n-1 1 -3 1\n-3 1 -3 -1\n"
                  "1 -1 3 -1\n3 -1 3 1\n3 1 1 1\n1 1 1 -1\n",
                  150, "20 20 1");
  plain(1.5);
  std::vector<int> tem;
  for (int j = 1; j <= fss_modewg_index.n; ++j)
    if (fss_modewg_index[j] == wg_tem) tem.push_back(j);
  ASSERT_EQ(tem.size(), 2u);
  const std::vector<int> mx = aperture_mirror(1, true);
  ASSERT_FALSE(mx.empty());
  const fss_ap_rec::range& r = fss_ap.r[1];
  const int np = r.last - r.first + 1;
  auto samples = [&](int j) {
    return std::vector<double>(&fss_samplewg[(j - 1) * np + 1], &fss_samplewg[(j - 1) * np + 1] + np);
  };
  EXPECT_LT(mode_asymmetry(tem[0], mx), 1e-9);
  EXPECT_LT(mode_asymmetry(tem[1], mx), 1e-9);
  for (int p = 1; p <= np; ++p) {
    double& a = fss_samplewg[(tem[0] - 1) * np + p];
    double& b = fss_samplewg[(tem[1] - 1) * np + p];
    const double u = (a + b) / std::sqrt(2.0), v = (a - b) / std::sqrt(2.0);
    a = u, b = v;
  }
  const std::vector<double> s1 = samples(tem[0]), s2 = samples(tem[1]);
  const double z1 = fss_modewg_kappa[tem[0]], z2 = fss_modewg_kappa[tem[1]];
  EXPECT_GT(mode_asymmetry(tem[0], mx), 0.5);
  pure_mirror_parities(1);
  EXPECT_EQ(samples(tem[0]), s1);
  EXPECT_EQ(samples(tem[1]), s2);
  EXPECT_EQ(fss_modewg_kappa[tem[0]], z1);
  EXPECT_EQ(fss_modewg_kappa[tem[1]], z2);

  // Two square rings side by side in a 20 x 10 mm cell, the second a
  // translated copy of the first.
  scratch_dir::write_file(
      "s.fss",
      "rings\nt\n1)\n20 10\n2)\n90\n3)\n1\n4)\n"
      "-9 -4 -1 -4\n-1 -4 -1 4\n-1 4 -9 4\n-9 4 -9 -4\n-6.5 -1.5 -3.5 -1.5\n-3.5 -1.5 -3.5 1.5\n"
      "-3.5 1.5 -6.5 1.5\n-6.5 1.5 -6.5 -1.5\n#\n"
      "1 -4 9 -4\n9 -4 9 4\n9 4 1 4\n1 4 1 -4\n3.5 -1.5 6.5 -1.5\n6.5 -1.5 6.5 1.5\n"
      "6.5 1.5 3.5 1.5\n3.5 1.5 3.5 -1.5\n"
      "5)\n0 0\n6)\n20 20 1\n7)\n250\n8)\n500\n");
  plain(2.5);
  ASSERT_EQ(fss_ap.n, 2);
  ASSERT_EQ(fss_ap.r[2].copy, 1);
  const std::vector<std::vector<int>> mirrors = {aperture_mirror(1, true), aperture_mirror(1, false)};
  ASSERT_FALSE(mirrors[0].empty());
  ASSERT_FALSE(mirrors[1].empty());
  const int nw = fss_modewg_index.n, half = nw / 2;
  ASSERT_EQ(fss_modewg_ap[half + 1], 2);
  int ring_tem = 0;
  for (int j = 1; j <= half; ++j)
    if (fss_modewg_index[j] == wg_tem) ring_tem = j;
  ASSERT_GT(ring_tem, 0);
  const double z = fss_modewg_kappa[ring_tem];
  double mixed = 0;
  for (int j = 1; j <= half; ++j)
    for (const std::vector<int>& m : mirrors) mixed = std::max(mixed, mode_asymmetry(j, m));
  // Some modes come out of the eigensolver mixed (how much depends on the
  // basis it picks for the degenerate pairs: 3e-4 on one machine, above
  // 1e-3 on another), so that the turning below has work to do.
  EXPECT_GT(mixed, 1e-6);
  pure_mirror_parities_of_catalogue();
  EXPECT_EQ(fss_modewg_kappa[ring_tem], z);
  const int np2 = fss_ap.r[1].last - fss_ap.r[1].first + 1;
  for (int j = 1; j <= half; ++j) {
    for (const std::vector<int>& m : mirrors) EXPECT_EQ(mode_asymmetry(j, m), 0.0) << j;
    EXPECT_EQ(fss_modewg_kappa[half + j], fss_modewg_kappa[j]) << j;
    for (int p = 1; p <= np2; ++p)
      ASSERT_EQ(fss_samplewg[(half + j - 1) * np2 + p], fss_samplewg[(j - 1) * np2 + p]) << j;
  }
}

// A pairing of the points that is not an involution (two points at one
// place, both paired with the same image) is no mirror.
TEST(Parities, PointsPairedTwiceAreNoMirror) {
  fss_set_capacities();
  fss_ap.n = 1;
  fss_ap.r.assign(2, fss_ap_rec::range{});
  fss_ap.r[1].first = 1;
  auto place = [](const std::vector<xy>& points) {
    fss_ap.r[1].last = static_cast<int>(points.size());
    fss_coordinates.n = fss_normals.n = static_cast<int>(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      fss_coordinates[static_cast<int>(k) + 1] = points[k];
      const double r = std::hypot(points[k].x, points[k].y);
      fss_normals[static_cast<int>(k) + 1] = {points[k].x / r, points[k].y / r};
    }
  };
  place({{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
  EXPECT_EQ(aperture_mirror(1, true), (std::vector<int>{1, 0, 2, 3}));
  EXPECT_EQ(aperture_mirror(1, false), (std::vector<int>{0, 1, 3, 2}));
  place({{-1, 0}, {1, 0}, {1, 0}, {0, -1}, {0, 1}});
  EXPECT_TRUE(aperture_mirror(1, true).empty());
  place({{-1, 0}, {1, 0}, {0, -1}, {0, 1.5}});
  EXPECT_FALSE(aperture_mirror(1, true).empty());
  EXPECT_TRUE(aperture_mirror(1, false).empty());
}
