#include "scattering/integrals.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "run/progress.hpp"
#include "scattering/far_floquet.hpp"
#include "scattering/floquet.hpp"
#include "scattering/mode_limits.hpp"
#include "scattering/parities.hpp"
#include "scattering/phase_trig.hpp"

namespace {
const double eps_int = 0.02;  // |kc/kt - 1| at or below: divided differences
const cplx I(0, 1);
}  // namespace

double dsinc(double x) {
  if (std::fabs(x) < 0.8) {
    const double x2 = x * x;
    return 1 - (x2 / 6) * (1 - (x2 / 20) * (1 - x2 / 42));
  }
  return std::sin(x) / x;
}

// Reference point of an aperture: the mean of its contour points.  The
// divided-difference samples of a close pair subtract a plane wave of
// wavenumber kc (the scaled wave delta k), whose contour sum vanishes for an
// exact mode whatever its constant phase; taking that phase at the aperture
// rather than at the cell origin keeps the couplings of computed modes, whose
// sums leave a small remainder, independent of where the aperture is drawn.
static xy aperture_centre(int first, int last) {
  xy c;
  for (int i = first; i <= last; ++i) {
    c.x += fss_coordinates[i].x;
    c.y += fss_coordinates[i].y;
  }
  const int n = last - first + 1;
  if (n > 0) c.x /= n, c.y /= n;
  return c;
}

void calc_sample_flo(int m, int flag) {
  const double nc = fss_cell_dim.inv_sqrt_ab;
  const int type = fss_modeflo_index[m].type;
  const flo_kappa k = fss_modeflo_kappa[m];
  const int np = fss_coordinates.n;
  if (flag == 0) {
    // The waves of normal incidence are the limits of the TE and TM waves of
    // the plane of incidence phi, k / kt -> u = (cos phi, sin phi).
    const double ux = std::cos(fss_inc_angle.phi), uy = std::sin(fss_inc_angle.phi);
    fss_samplef.n = fss_samplefm.n = np;
    for (int i = 1; i <= np; ++i) {
      const xy r = fss_coordinates[i], n = fss_normals[i];
      // Nc exp(-i k.r): one sine-cosine pair per point.
      const cplx e = std::polar(nc, -(k.kx * r.x + k.ky * r.y));
      cplx f2;
      switch (type) {
        case flo_tm: f2 = -(e / k.kt) * (n.x * k.ky - n.y * k.kx); break;
        case flo_te: f2 = (e / k.kt) * (k.kx * n.x + k.ky * n.y); break;
        case flo_temx: f2 = nc * (ux * n.x + uy * n.y); break;
        default: f2 = nc * (ux * n.y - uy * n.x); break;
      }
      fss_samplef[i] = {-I * e, f2};
    }
    return;
  }
  // G: exp(i chi0) [exp(i delta chi) - exp(i chi)] / (i (delta - 1)) without
  // cancellation, chi = -k.(r - r0) about the reference point r0 of the
  // point's aperture and chi0 = -k.r0.
  const double d = delta_kappa;
  for (int a = 1; a <= fss_ap.n; ++a) {
    const xy c = aperture_centre(fss_ap.r[a].first, fss_ap.r[a].last);
    const cplx e0 = std::polar(1.0, -(k.kx * c.x + k.ky * c.y));
    for (int i = fss_ap.r[a].first; i <= fss_ap.r[a].last; ++i) {
      const xy r = fss_coordinates[i], n = fss_normals[i];
      const double chi = -(k.kx * (r.x - c.x) + k.ky * (r.y - c.y));
      const cplx mid = e0 * std::exp(I * ((d + 1) * chi / 2)) * dsinc((d - 1) * chi / 2);
      if (type == flo_tm)
        fss_samplefm[i] = nc * chi * mid;
      else if (type == flo_te)
        fss_samplefm[i] = -nc * (k.kx * n.x + k.ky * n.y) *
                          (I * chi * mid + e0 * std::exp(I * (d * chi)));
    }
  }
}

void calc_vettsigma(int m) {
  const int nw = fss_modewg_index.n;
  fss_vettsigma.n = nw;
  for (int j = 1; j <= nw; ++j) fss_vettsigma[j] = 0;
  calc_sample_flo(m, 0);
  const int f = fss_modeflo_index[m].type;
  const double kt = fss_modeflo_kappa[m].kt;
  int p = 0;
  for (int j = 1; j <= nw; ++j) {
    const int w = fss_modewg_index[j];
    const double kc = fss_modewg_kappa[j];
    const fss_ap_rec::range ap = fss_ap.r[fss_modewg_ap[j]];
    // Weighted contour sum of the mode's samples against a Floquet sample.
    auto sum = [&](auto sample) {
      cplx s = 0;
      for (int i = ap.first; i <= ap.last; ++i) s += fss_samplewg[++p] * sample(i);
      return s;
    };
    auto f1 = [](int i) { return fss_samplef[i].f1; };
    auto f2 = [](int i) { return fss_samplef[i].f2; };
    auto g = [](int i) { return fss_samplefm[i]; };
    cplx sigma = 0;
    if (w == wg_tem) {
      // e = -grad phi, harmonic phi: the overlap with a TM wave is
      // -(i/kt) times the contour integral of E dphi/dn (the samples); with
      // TE waves (dphi/dt = 0 on every line) and the TEM waves of normal
      // incidence (phi constant on closed lines) it vanishes.
      if (f == flo_tm)
        sigma = sum(f1) / kt;
      else
        p += ap.last - ap.first + 1;
    } else if (w == wg_tm && f == flo_tm) {
      delta_kappa = kc / kt;
      if (std::fabs(delta_kappa - 1) <= eps_int) {
        calc_sample_flo(m, 1);
        sigma = sum(g) / (kc * (kt + kc));
      } else {
        sigma = sum(f1) * kt / (kc * (kt * kt - kc * kc));
      }
    } else if (w == wg_tm) {
      p += ap.last - ap.first + 1;  // no coupling with TE and TEM waves
    } else if (f == flo_te) {
      delta_kappa = kc / kt;
      if (std::fabs(delta_kappa - 1) <= eps_int) {
        calc_sample_flo(m, 1);
        sigma = -sum(g) * kc / (kt * kt * (kt + kc));
      } else {
        sigma = sum(f2) * kc / (kt * kt - kc * kc);
      }
    } else {
      sigma = -sum(f2) / kc;  // TE mode with a TM or a TEM wave
    }
    fss_vettsigma[j] = sigma;
  }
}

// ---- All the integrals at once --------------------------------------------
//
// The contour sums are matrix products of real sample matrices (modes x
// points) with the phase matrix E (points x harmonics), E = Nc exp(-i k.r)
// of every Floquet harmonic at every point.  The two waves of a harmonic
// share E: F1 = -i E, and F2 = E (k.n)/kt (TE) or -E (k x n)/kt (TM), linear
// in the normal, so that every F2 sum comes from the two products of the
// samples times nx and times ny with E.  E itself comes from two tables of
// powers per point along the reciprocal-lattice directions,
//   k.r = kx0 x + ky0 y + m (2 pi/a) (x - y cot alpha) + n (2 pi/b) y.
// The few pairs near kc = kt take the divided-difference form, pair by pair.
namespace {

extern "C" void dgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* b,
                       const int* ldb, const double* beta, double* c, const int* ldc);

// Rows of the sample matrix A: TE samples times nx, TE samples times ny, TM and
// TEM samples; columns of the phase matrix B: Re E then Im E of every harmonic.
// Work tables sized from the counts of the sweep point (they grow with the
// limits of the run and are kept from one point to the next).
std::vector<double> sa;  // A, rows x points
std::vector<double> se;  // B, points x (2 harmonics)
std::vector<double> sp;  // A B, rows x (2 harmonics)
std::vector<double> sum_nx, sum_ny;  // sums of s nx, s ny, per mode
std::vector<int> row_of;
std::vector<cplx> eu, ev;  // phases of the harmonics along x and y
// Where the rows of the harmonics being computed go: the coupling table for
// the near modes, far_rows for a block of far ones (whose share is summed
// into their series and not kept).  Row of mode m, entries from 1.
cplx* rows_base = nullptr;
int rows_first = 1;
std::vector<cplx> far_rows;
cplx* coupling_row(int m) {
  return rows_base + static_cast<long>(m - rows_first) * fss_modewg_index.n - 1;
}

// Harmonics per block of the couplings: every harmonic of a plain run's
// Floquet table (4000 modes) in one block; a larger set in blocks whose
// phase matrix and product take some 30 MB at 1000 points and 1000 modes.
constexpr int harmonics_per_block = 2048;

template <class T>
void at_least(std::vector<T>& v, long n) {
  if (static_cast<long>(v.size()) < n) v.resize(static_cast<std::size_t>(n));
}

// The phases of the harmonics along the lattice, per point, for the
// Floquet table in force: exp(-i (kx0 x + ky0 y + m u)) Nc and exp(-i n v),
// over the orders m and n of the whole table.  Computed once per table (at
// a sweep point, at each node) and read by every block.
int eu_mlo = 0, ev_nlo = 0;

// The phase of harmonic (m, n) at r: k.r = base + m u + n v.
struct phase_arguments {
  double base, u, v;
};
phase_arguments phase_arguments_at(const xy& r) {
  const double dpi_a = dpi(1) / fss_cell_dim.a, dpi_b = dpi(1) / fss_cell_dim.b;
  const double dpi_a_tanalfa = dpi_a / std::tan(fss_lattice_angle.alpha);
  return {fss_inc_angle.kx0 * r.x + fss_inc_angle.ky0 * r.y, dpi_a * r.x - dpi_a_tanalfa * r.y, dpi_b * r.y};
}

void phase_tables() {
  const int np = fss_coordinates.n, nf = fss_modeflo_index.n;
  const double nc = fss_cell_dim.inv_sqrt_ab;
  int mlo = 0, mhi = 0, nlo = 0, nhi = 0;
  for (int m = 1; m <= nf; ++m) {
    mlo = std::min(mlo, fss_modeflo_index[m].m), mhi = std::max(mhi, fss_modeflo_index[m].m);
    nlo = std::min(nlo, fss_modeflo_index[m].n), nhi = std::max(nhi, fss_modeflo_index[m].n);
  }
  eu.resize(static_cast<std::size_t>(mhi - mlo + 1) * np);
  ev.resize(static_cast<std::size_t>(nhi - nlo + 1) * np);
  for (int i = 0; i < np; ++i) {
    const auto [base, u, v] = phase_arguments_at(fss_coordinates[i + 1]);
    for (int m = mlo; m <= mhi; ++m) eu[(m - mlo) * np + i] = std::polar(nc, -(base + m * u));
    for (int n = nlo; n <= nhi; ++n) ev[(n - nlo) * np + i] = std::polar(1.0, -(n * v));
  }
  eu_mlo = mlo;
  ev_nlo = nlo;
}

// E of the harmonics h0 .. h0 + nhb - 1 (one per pair of Floquet modes) at
// every point, from the phase tables: columns 1 .. nhb the real parts,
// nhb + 1 .. 2 nhb the imaginary parts.
void phase_matrix(int h0, int nhb) {
  const int np = fss_coordinates.n, mlo = eu_mlo, nlo = ev_nlo;
  for (int h = 1; h <= nhb; ++h) {
    const flo_index& ix = fss_modeflo_index[2 * (h0 + h - 1) - 1];
    const cplx* pu = &eu[static_cast<std::size_t>(ix.m - mlo) * np];
    const cplx* pv = &ev[static_cast<std::size_t>(ix.n - nlo) * np];
    double* r = &se[static_cast<long>(h - 1) * np];
    double* q = &se[static_cast<long>(nhb + h - 1) * np];
    for (int i = 0; i < np; ++i) {  // written out: no inf/nan branch, vectorised
      const double ur = pu[i].real(), ui = pu[i].imag(), vr = pv[i].real(), vi = pv[i].imag();
      r[i] = ur * vr - ui * vi;
      q[i] = ur * vi + ui * vr;
    }
  }
}

// sigma(m, j) of a pair near kc = kt from its divided-difference samples,
// G = Nc chi exp(i (delta + 1) chi / 2) dsinc((delta - 1) chi / 2) (TM) and
// -Nc (k.n) [i chi exp(i (delta + 1) chi / 2) dsinc(...) + exp(i delta chi)]
// (TE), with exp(i chi) = E / Nc taken from the phase matrix, about the
// reference point c of the mode's aperture.  (A pair classified over a band
// takes close_pair_band, with sin(x)/x itself: the series of dsinc is off by
// up to 4.6e-7 below 0.8 and jumps by that much there, which the couplings
// of a pair whose x moves with k0 must not carry into a share interpolated
// in k0.)
cplx close_pair(int m, int j, int h, int nh, int first_sample, const xy& c) {
  const int w = fss_modewg_index[j], f = fss_modeflo_index[m].type;
  const double kc = fss_modewg_kappa[j];
  const flo_kappa k = fss_modeflo_kappa[m];
  const double kt = k.kt, d = kc / kt, nc = fss_cell_dim.inv_sqrt_ab;
  delta_kappa = d;
  const fss_ap_rec::range ap = fss_ap.r[fss_modewg_ap[j]];
  const int np = fss_coordinates.n;
  const double* r = &se[static_cast<long>(h - 1) * np];
  const double* q = &se[static_cast<long>(nh + h - 1) * np];
  // About the aperture's reference point r0 = c (see aperture_centre):
  // exp(i chi) = exp(i chi0) exp(i chi'), chi' = -k.(r - r0).
  cplx s = 0;
  int p = first_sample;
  for (int i = ap.first; i <= ap.last; ++i) {
    const xy pt = fss_coordinates[i];
    const double chi = -(k.kx * (pt.x - c.x) + k.ky * (pt.y - c.y)), x = (d - 1) * chi / 2;
    const cplx e(r[i - 1] / nc, q[i - 1] / nc);  // exp(i chi0) exp(i chi')
    const cplx half = std::polar(1.0, x);          // exp(i (delta - 1) chi' / 2)
    const cplx mid = e * half * dsinc(x);          // exp(i chi0) exp(i (delta + 1) chi' / 2) dsinc
    cplx g;
    if (f == flo_tm) {
      g = nc * chi * mid;
    } else {
      const xy n = fss_normals[i];
      g = -nc * (k.kx * n.x + k.ky * n.y) * (I * chi * mid + e * half * half);
    }
    s += fss_samplewg[++p] * g;
  }
  if (w == wg_tm) return s / (kc * (kt + kc));
  return -s * kc / (kt * kt * (kt + kc));
}

// The close pairs of a harmonic of a direction's far set classified over a
// band (many more than a point's: every mode whose kc comes near the
// harmonic's kt anywhere in the band): the points of the harmonic, about
// the aperture's reference point c, computed once for all its pairs: chi' =
// -k.(r - c), exp(i chi0) exp(i chi') = E / Nc, and k.n.
struct band_points_rec {
  std::vector<double> chi, er, ei, kn;
  int m = 0;
  long generation = -1;
} band_pts;
long band_pts_generation = 0;  // a new aperture block or harmonic block

// r, q: Re E and Im E at every point (from 0).
void band_points(int m, const double* r, const double* q, const fss_ap_rec::range& ap, const xy& c) {
  if (band_pts.m == m && band_pts.generation == band_pts_generation) return;
  const flo_kappa k = fss_modeflo_kappa[m];
  const double nc = fss_cell_dim.inv_sqrt_ab;
  const int npa = ap.last - ap.first + 1;
  for (auto* v : {&band_pts.chi, &band_pts.er, &band_pts.ei, &band_pts.kn}) v->resize(npa);
  for (int i = ap.first, t = 0; i <= ap.last; ++i, ++t) {
    const xy pt = fss_coordinates[i], n = fss_normals[i];
    band_pts.chi[t] = -(k.kx * (pt.x - c.x) + k.ky * (pt.y - c.y));
    band_pts.er[t] = r[i - 1] / nc;
    band_pts.ei[t] = q[i - 1] / nc;
    band_pts.kn[t] = k.kx * n.x + k.ky * n.y;
  }
  band_pts.m = m;
  band_pts.generation = band_pts_generation;
}

// At a point of a close pair over a band: exp(i x) = cx + i sx, sin(x)/x (1
// at x = 0, without a branch) and h = e exp(i x), e = exp(i chi0) exp(i chi').
struct band_sample {
  double sx, cx, sinc, hr, hi;
  band_sample(double x, double er, double ei) {
    phase_sincos(x, sx, cx);
    const double zero = x == 0;
    sinc = (sx + zero) / (x + zero);
    hr = er * cx - ei * sx;
    hi = er * sx + ei * cx;
  }
};

// close_pair over a band from the harmonic's points (band_points): the same
// samples, with sin(x)/x itself and exp(i x) from phase_sincos; the samples
// at every point first (a loop the compiler vectorises), then their sum.
// Compiled also for AVX2 (chosen at run time where the processor has it):
// four samples per instruction instead of two, the same arithmetic (no
// fused multiply-add), so the same results.
std::vector<double> band_gr, band_gi;
__attribute__((target_clones("avx2", "default"))) cplx close_pair_band(int m, int j, int first_sample) {
  const int w = fss_modewg_index[j], f = fss_modeflo_index[m].type;
  const double kc = fss_modewg_kappa[j], kt = fss_modeflo_kappa[m].kt, d = kc / kt;
  const double nc = fss_cell_dim.inv_sqrt_ab;
  delta_kappa = d;
  const int npa = static_cast<int>(band_pts.chi.size());
  at_least(band_gr, npa);
  at_least(band_gi, npa);
  const double *chi = band_pts.chi.data(), *er = band_pts.er.data(), *ei = band_pts.ei.data(),
               *kn = band_pts.kn.data();
  double *gr = band_gr.data(), *gi = band_gi.data();
  const double a = (d - 1) / 2;
  const bool tm = f == flo_tm;
  // TM: chi mid, mid = h sin(x)/x (times Nc after the sum); TE: (k.n) [i chi
  // mid + h exp(i x)] (times -Nc after the sum).
  if (tm) {
    for (int t = 0; t < npa; ++t) {
      const band_sample b(a * chi[t], er[t], ei[t]);
      gr[t] = chi[t] * b.hr * b.sinc;
      gi[t] = chi[t] * b.hi * b.sinc;
    }
  } else {
    for (int t = 0; t < npa; ++t) {
      const band_sample b(a * chi[t], er[t], ei[t]);
      gr[t] = kn[t] * (-chi[t] * b.hi * b.sinc + (b.hr * b.cx - b.hi * b.sx));
      gi[t] = kn[t] * (chi[t] * b.hr * b.sinc + (b.hr * b.sx + b.hi * b.cx));
    }
  }
  const double* smp = &fss_samplewg[first_sample + 1];
  double sr = 0, si = 0;
  for (int t = 0; t < npa; ++t) {
    sr += smp[t] * gr[t];
    si += smp[t] * gi[t];
  }
  const cplx s = (tm ? nc : -nc) * cplx(sr, si);
  if (w == wg_tm) return s / (kc * (kt + kc));
  return -s * kc / (kt * kt * (kt + kc));
}

// A pair of like kinds whose kc/kt lies within eps_int of 1 at this kt, or
// (band) at some kt of lo .. hi (a harmonic of a direction's far set, over
// its band).
bool is_close(int w, int f, double kc, double kt, bool band, double lo, double hi) {
  if (!((w == wg_tm && f == flo_tm) || (w == wg_te && f == flo_te))) return false;
  if (!band) return std::fabs(kc / kt - 1) <= eps_int;
  return lo * (1 - eps_int) <= kc && kc <= hi * (1 + eps_int);
}

// The mirrors' centre of an aperture whose points are its quarter's and
// their three images: from the first point and its images.
xy quarter_centre(const fss_ap_rec::range& ap) {
  const xy p0 = fss_coordinates[ap.first];
  return {(p0.x + fss_coordinates[ap.first + ap.quarter].x) / 2,
          (p0.y + fss_coordinates[ap.first + 2 * ap.quarter].y) / 2};
}

// The orbits of an aperture's points under its two mirrors: for each
// representative point its offset in the aperture's range and those of its
// images under x -> -x, y -> -y and both (image 0 .. 2).  A quarter's points
// come with their images in three blocks of nq (quarter_orbits: exactly,
// tol 0); an outline solved whole whose modes are of pure parity (to 1e-12
// of their samples) has its points' mirror images found among its own
// points (listed_orbits), four distinct ones for each (the segmentations
// place no point on an axis; an outline that had one keeps the whole
// products).
struct quarter_orbits {
  int nq;
  int rep(int i) const { return i; }
  int image(int b, int i) const { return i + (b + 1) * nq; }
};
struct point_orbits {
  std::vector<int> rep, image[3];
};
struct listed_orbits {
  const point_orbits* o;
  int rep(int i) const { return o->rep[i]; }
  int image(int b, int i) const { return o->image[b][i]; }
};

// The orbits of aperture a solved whole with modes of pure parity, kept for
// its points and normals (found again when they change); null for other
// apertures, and for an outline whose points are not each other's mirror
// images to 1e-13 of its size: the real products take Im(T) = 0, which only
// exact images give (aperture_mirror pairs points to 1e-9).
long outline_orbits_found = 0, outline_orbit_products = 0;
std::vector<std::pair<std::vector<double>, point_orbits>> kept_orbits;  // per aperture: its points, its orbits
const point_orbits* whole_outline_orbits(int a, const fss_ap_rec::range& ap) {
  if (!ap.pure_parity || ap.quarter > 0 || !whole_outline_orbit_products) return nullptr;
  if (kept_orbits.size() <= static_cast<std::size_t>(a)) kept_orbits.resize(a + 1);
  std::vector<double> points;
  for (int i = ap.first; i <= ap.last; ++i)
    for (double v : {fss_coordinates[i].x, fss_coordinates[i].y, fss_normals[i].x, fss_normals[i].y})
      points.push_back(v);
  auto& [seen, orbits] = kept_orbits[a];
  if (seen != points) {
    seen = points;
    orbits = point_orbits{};
    const std::vector<int> mx = aperture_mirror(a, true), my = aperture_mirror(a, false);
    const int npa = ap.last - ap.first + 1;
    if (!mx.empty() && !my.empty()) {
      std::vector<char> taken(npa, 0);
      bool on_axis = false;
      double lo[2], hi[2];
      point_box(a, lo, hi);
      const double exact = 1e-13 * std::max(hi[0] - lo[0], hi[1] - lo[1]);
      const xy c = ap.centre;
      auto mirrored = [&](int p, int q, bool x, bool y) {  // q the image of p under the mirrors x, y
        const xy u = fss_coordinates[ap.first + p], v = fss_coordinates[ap.first + q];
        return std::fabs(x ? u.x + v.x - 2 * c.x : u.x - v.x) <= exact &&
               std::fabs(y ? u.y + v.y - 2 * c.y : u.y - v.y) <= exact;
      };
      for (int p = 0; p < npa && !on_axis; ++p) {
        if (taken[p]) continue;
        const int images[3] = {mx[p], my[p], mx[my[p]]};
        // A point on an axis, mirrors that do not commute, or images not exact.
        on_axis = images[0] == p || images[1] == p || images[2] == p || images[2] != my[mx[p]] ||
                  !mirrored(p, images[0], true, false) || !mirrored(p, images[1], false, true) ||
                  !mirrored(p, images[2], true, true);
        taken[p] = 1;
        orbits.rep.push_back(p);
        for (int b = 0; b < 3; ++b) {
          taken[images[b]] = 1;
          orbits.image[b].push_back(images[b]);
        }
      }
      if (on_axis)  // or not exact: the whole products
        orbits = point_orbits{};
      else
        ++outline_orbits_found;
    }
  }
  return orbits.rep.empty() ? nullptr : &orbits;
}

// Parity (+-1) of row r of the sample matrix under the mirror of the
// images `b` of the orbits: the row at the images is the representatives'
// times the parity (to tol times its largest), or the row has none (0).
template <class Orbits>
int row_parity(int r, int rows, const Orbits& o, int nq, double rel, int b) {
  double big = 0;
  if (rel > 0)
    for (int i = 0; i < nq; ++i)
      for (int p : {o.rep(i), o.image(b, i)}) big = std::max(big, std::fabs(sa[r + static_cast<long>(p) * rows]));
  const double tol = rel * big;
  int parity = 0;
  for (int i = 0; i < nq; ++i) {
    const double a = sa[r + static_cast<long>(o.rep(i)) * rows], c = sa[r + static_cast<long>(o.image(b, i)) * rows];
    if (std::fabs(a) <= tol && std::fabs(c) <= tol) continue;
    const int q = std::fabs(c - a) <= tol ? 1 : std::fabs(c + a) <= tol ? -1 : 0;
    if (q == 0 || (parity != 0 && q != parity)) return 0;
    parity = q;
  }
  return parity == 0 ? 1 : parity;
}

// The products A B of an aperture whose points are orbits under x -> -x,
// y -> -y and both (a quarter's points and their images, or an outline
// solved whole whose modes are of pure parity), when every row of A is even
// or odd under both mirrors.  With r = c + (u, v) about the mirrors' centre
// c, a row of parities (qx, qy) gives the sum over the representatives p of
// a(p) [E(p) + qx E(Mx p) + qy E(My p) + qx qy E(Mxy p)]
//   = E(c) kappa sum a(p) T(p),  E = Nc exp(-i k.r),
// T = cos(kx u) cos(ky v), cos sin, sin cos, sin sin and kappa = 4, -4i, -4i,
// -4 for (+, +), (+, -), (-, +), (-, -): per class one real product over
// the representatives with the real T (taken from the phase matrix's
// blocks, turned by conj(E(c)) / (Nc kappa)), an eighth of the work of the
// whole product.  An outline solved whole has its rows' other parity left
// out (at most rel = 1e-12 of its largest sample).  False (nothing done)
// when a row is not of pure parity.
template <class Orbits>
bool products_over_orbits(const fss_ap_rec::range& ap, const Orbits& o, int nq, const xy& centre, double rel,
                          int rows, int h0, int nh) {
  const int np = fss_coordinates.n;
  std::vector<int> cls(rows);
  for (int r = 0; r < rows; ++r) {
    const int qx = row_parity(r, rows, o, nq, rel, 0), qy = row_parity(r, rows, o, nq, rel, 1),
              qxy = row_parity(r, rows, o, nq, rel, 2);
    if (qx == 0 || qy == 0 || qxy != qx * qy) return false;
    cls[r] = (qx < 0 ? 1 : 0) + (qy < 0 ? 2 : 0);
  }
  if (rel > 0) ++outline_orbit_products;
  // k.c as the phase tables take k.r.
  const auto [base, uc, vc] = phase_arguments_at(centre);
  std::vector<cplx> ec(nh);  // exp(+i k.c) / Nc
  for (int h = 0; h < nh; ++h) {
    const flo_index& ix = fss_modeflo_index[2 * (h0 + h) - 1];
    ec[h] = std::polar(1 / fss_cell_dim.inv_sqrt_ab, base + ix.m * uc + ix.n * vc);
  }
  const cplx kappa[4] = {cplx(4, 0), cplx(0, -4), cplx(0, -4), cplx(-4, 0)};
  static std::vector<double> ac, tc, pc;
  at_least(tc, static_cast<long>(nq) * nh);
  const double* e = se.data() + (ap.first - 1);
  for (int c = 0; c < 4; ++c) {
    std::vector<int> in;
    for (int r = 0; r < rows; ++r)
      if (cls[r] == c) in.push_back(r);
    const int m = static_cast<int>(in.size());
    if (m == 0) continue;
    const double qx = c & 1 ? -1 : 1, qy = c & 2 ? -1 : 1;
    at_least(ac, static_cast<long>(m) * nq);
    at_least(pc, static_cast<long>(m) * nh);
    for (int i = 0; i < nq; ++i)
      for (int k = 0; k < m; ++k) ac[k + static_cast<long>(i) * m] = sa[in[k] + static_cast<long>(o.rep(i)) * rows];
    for (int h = 0; h < nh; ++h) {
      const double* re = e + static_cast<long>(h) * np;
      const double* im = e + static_cast<long>(nh + h) * np;
      const cplx turn = ec[h] / kappa[c];
      const double tr = turn.real(), ti = turn.imag();
      double* t = &tc[static_cast<long>(h) * nq];
      for (int i = 0; i < nq; ++i) {
        const int p = o.rep(i), px = o.image(0, i), py = o.image(1, i), pxy = o.image(2, i);
        const double gr = re[p] + qx * re[px] + qy * re[py] + qx * qy * re[pxy];
        const double gi = im[p] + qx * im[px] + qy * im[py] + qx * qy * im[pxy];
        t[i] = gr * tr - gi * ti;
      }
    }
    const double one = 1, zero = 0;
    dgemm_("N", "N", &m, &nh, &nq, &one, ac.data(), &m, tc.data(), &nq, &zero, pc.data(), &m);
    for (int h = 0; h < nh; ++h) {
      const cplx back = kappa[c] / ec[h];  // E(c) kappa
      for (int k = 0; k < m; ++k) {
        const cplx v = back * pc[k + static_cast<long>(h) * m];
        sp[in[k] + static_cast<long>(h) * rows] = v.real();
        sp[in[k] + static_cast<long>(nh + h) * rows] = v.imag();
      }
    }
  }
  return true;
}

// products_over_orbits for a quarter's points and their images, or for an
// outline solved whole with modes of pure parity; false for other apertures.
bool products_by_parity(int ap_index, const fss_ap_rec::range& ap, int rows, int h0, int nh) {
  const int nq = ap.quarter;
  if (nq > 0 && 4 * nq == ap.last - ap.first + 1)
    return products_over_orbits(ap, quarter_orbits{nq}, nq, quarter_centre(ap), 0, rows, h0, nh);
  const point_orbits* o = whole_outline_orbits(ap_index, ap);
  return o && products_over_orbits(ap, listed_orbits{o}, static_cast<int>(o->rep.size()), ap.centre, 1e-12, rows,
                                   h0, nh);
}

// The integrals of the modes of one aperture (in `modes`, catalogue order)
// with every Floquet mode: the sample matrix of its modes on its points
// times the phase matrix of its points, then the close pairs one by one.
// Harmonics h0 .. h0 + nh - 1 (the phase matrix of that block in force).
void aperture_integrals(int a, const fss_ap_rec::range& ap, const std::vector<int>& modes, int h0, int nh,
                        const int* first_sample) {
  const int nf = fss_modeflo_index.n, np = fss_coordinates.n;
  const int npa = ap.last - ap.first + 1;
  const xy centre = aperture_centre(ap.first, ap.last);
  ++band_pts_generation;  // another aperture or block of harmonics
  int nte = 0, nt = 0;
  for (int j : modes) row_of[j] = fss_modewg_index[j] == wg_te ? ++nte : ++nt;
  const int rows = 2 * nte + nt;
  for (long k = 0; k < static_cast<long>(rows) * npa; ++k) sa[k] = 0;
  for (int j : modes) {
    const bool te = fss_modewg_index[j] == wg_te;
    const int row = (te ? 0 : 2 * nte) + row_of[j] - 1;
    int p = first_sample[j];
    sum_nx[j] = sum_ny[j] = 0;
    for (int i = ap.first; i <= ap.last; ++i) {
      const double sm = fss_samplewg[++p];
      double* a = &sa[row + static_cast<long>(i - ap.first) * rows];
      if (te) {
        a[0] = sm * fss_normals[i].x;
        a[nte] = sm * fss_normals[i].y;
        sum_nx[j] += a[0];
        sum_ny[j] += a[nte];
      } else {
        a[0] = sm;
      }
    }
  }
  if (rows > 0 && nh > 0 && npa > 0 && !products_by_parity(a, ap, rows, h0, nh)) {
    const int cols = 2 * nh;
    const double one = 1, zero = 0;
    dgemm_("N", "N", &rows, &cols, &npa, &one, sa.data(), &rows, se.data() + (ap.first - 1), &np, &zero,
           sp.data(), &rows);
  }
  // A B at (row, harmonic h): real and imaginary parts.
  auto ab = [&](int row, int h) {
    return cplx(sp[row + static_cast<long>(h - 1) * rows], sp[row + static_cast<long>(nh + h - 1) * rows]);
  };
  const double nc = fss_cell_dim.inv_sqrt_ab;
  // Normal incidence: the limits of the TE and TM waves of the plane phi.
  const double ux = std::cos(fss_inc_angle.phi), uy = std::sin(fss_inc_angle.phi);
  const int m_end = std::min(nf, 2 * (h0 + nh - 1));
  for (int m = 2 * h0 - 1; m <= m_end; ++m) {
    const int f = fss_modeflo_index[m].type, h = (m + 1) / 2 - h0 + 1;
    const flo_kappa k = fss_modeflo_kappa[m];
    const double kt = k.kt;
    double lo = kt, hi = kt;
    const bool band = far_floquet_band_kt(m, lo, hi);
    for (int j : modes) {
      const int w = fss_modewg_index[j];
      const double kc = fss_modewg_kappa[j];
      cplx sigma = 0;
      if (is_close(w, f, kc, kt, band, lo, hi)) {
        if (band) {
          band_points(m, &se[static_cast<long>(h - 1) * np], &se[static_cast<long>(nh + h - 1) * np], ap, centre);
          sigma = close_pair_band(m, j, first_sample[j]);
        } else {
          sigma = close_pair(m, j, h, nh, first_sample[j], centre);
        }
      } else if (w == wg_te) {
        const cplx px = ab(row_of[j] - 1, h), py = ab(nte + row_of[j] - 1, h);
        if (f == flo_te)
          sigma = (k.kx * px + k.ky * py) / kt * kc / (kt * kt - kc * kc);
        else if (f == flo_tm)
          sigma = (k.ky * px - k.kx * py) / kt / kc;
        else if (f == flo_temx)
          sigma = -nc * (ux * sum_nx[j] + uy * sum_ny[j]) / kc;
        else
          sigma = nc * (uy * sum_nx[j] - ux * sum_ny[j]) / kc;
      } else if (f == flo_tm) {
        const cplx s = -I * ab(2 * nte + row_of[j] - 1, h);
        sigma = w == wg_tm ? s * kt / (kc * (kt * kt - kc * kc)) : s / kt;
      }
      coupling_row(m)[j] = sigma;
    }
  }
}

void block_integrals(int h0, int nhb, const int* first_sample);

}  // namespace

namespace {
long generation = 0;
}  // namespace

long integrals_generation() { return generation; }

bool whole_outline_orbit_products = true;

outline_orbit_counts whole_outline_orbit_counts() {
  return {outline_orbits_found, outline_orbit_products};
}

namespace {
void release_work_tables() {
  std::vector<std::pair<std::vector<double>, point_orbits>>().swap(kept_orbits);
  for (auto* v : {&sa, &se, &sp}) std::vector<double>().swap(*v);
  for (auto* v : {&eu, &ev, &far_rows}) std::vector<cplx>().swap(*v);
}
}  // namespace

void release_integrals() {
  ++generation;
  fss_integrals.release();
  release_work_tables();
}

namespace {

// Where the samples of each mode j = 1 .. nw start: the samples of the modes
// before it.
const int* first_samples() {
  const int nw = fss_modewg_index.n;
  static std::vector<int> first_sample;
  at_least(first_sample, nw + 1L);
  int p = 0;
  for (int j = 1; j <= nw; ++j) {
    const fss_ap_rec::range& ap = fss_ap.r[fss_modewg_ap[j]];
    first_sample[j] = p;
    p += ap.last - ap.first + 1;
  }
  return first_sample.data();
}

// The work tables of the products for nw modes, np points and blocks of
// nhb harmonics, and where each mode's samples start.
const int* work_tables(int nhb) {
  const int nw = fss_modewg_index.n;
  const long np = fss_coordinates.n;
  at_least(sa, 2L * nw * np);
  at_least(se, np * 2 * nhb);
  at_least(sp, 2L * nw * 2 * nhb);
  at_least(sum_nx, nw + 1L);
  at_least(sum_ny, nw + 1L);
  at_least(row_of, nw + 1L);
  return first_samples();
}

// The harmonics per block for nf Floquet modes.
int harmonics_block(int nf) { return std::min((nf + 1) / 2, std::max(harmonics_per_block, 1)); }

// The couplings of the modes from..to (a whole number of harmonics), block
// by block into far_rows, each block handed to `add`.
template <class Add>
void far_blocks(int from, int to, Add add) {
  const int nw = fss_modewg_index.n, nhb = harmonics_block(fss_modeflo_index.n);
  const int* first_sample = work_tables(nhb);
  for (int h0 = (from + 1) / 2; h0 <= (to + 1) / 2; h0 += nhb) {
    const int nb = std::min(nhb, (to + 1) / 2 - h0 + 1);
    rows_first = 2 * h0 - 1;
    const int count = std::min(to, 2 * (h0 + nb - 1)) - rows_first + 1;
    at_least(far_rows, static_cast<long>(count) * nw);
    rows_base = far_rows.data();
    block_integrals(h0, nb, first_sample);
    add(rows_first, count, far_rows.data());
    progress_stage_tick();
  }
}

// Oblique incidence over many frequencies: the far share's nodes of this
// direction, once (each at its own k0, with the Floquet table of that k0),
// then the sweep point's own table again.  The table of a node may hold more
// modes than those of the sweep points: when it would not fit, the
// interpolation is given up.  The sweep point is put back however the loop
// ends.
void far_share_nodes() {
  double k = far_floquet_next_node();
  if (k <= 0) return;
  {
    struct point_back {
      const fss_em_var_rec em = fss_em_var;
      const fss_inc_angle_rec angle = fss_inc_angle;
      bool whole = false;
      ~point_back() {
        fss_em_var = em;
        fss_inc_angle = angle;
        if (!whole) far_floquet_reset();
      }
    } point;
    const double th = point.angle.theta, ph = point.angle.phi;
    for (; k > 0; k = far_floquet_next_node()) {
      fss_em_var.k0 = k;
      fss_em_var.lambda = dpi(1) / k;
      fss_em_var.f = dcspeed() / fss_em_var.lambda;
      fss_inc_angle.kx0 = k * std::sin(th) * std::cos(ph);
      fss_inc_angle.ky0 = k * std::sin(th) * std::sin(ph);
      if (floquet_mode_count(fss_kmax.flo) > fss_modeflo_index.cap) {
        far_floquet_give_up();
        break;
      }
      // What matters first: a terminal of 80 columns shows some 25 characters.
      progress_stage("node " + std::to_string(far_floquet_nodes_built() + 1) + " of " +
                     std::to_string(far_floquet_nodes_planned()) + " of the far Floquet modes' share");
      genmodes_flo();
      phase_tables();
      far_floquet_node_begin();
      far_blocks(far_floquet_rows() + 1, far_floquet_summed(), far_floquet_node_add);
      far_floquet_node_end();
    }
    point.whole = true;
  }
  progress_stage_end();
  genmodes_flo();  // the sweep point's table again
}

}  // namespace

void calc_integrals() {
  far_share_nodes();
  ++generation;
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  const int kept = far_floquet_rows();  // the near modes' rows when the far ones take a series
  const long entries = static_cast<long>(kept) * nw;  // beyond 32 bits for the largest tables
  if (entries > fss_integrals.cap) fatal("calc_integrals", "Too many waveguide modes");
  fss_integrals.n = static_cast<int>(entries);
  fss_integrals.hold(fss_integrals.n);
  // The harmonics in blocks: the phase matrix and its product with the
  // samples are held for one block at a time (every harmonic of a plain
  // run's Floquet table in one).
  const int nhb = harmonics_block(nf);
  const int* first_sample = work_tables(nhb);
  phase_tables();
  const int nh_kept = (kept + 1) / 2;
  rows_base = fss_integrals.data1();
  rows_first = 1;
  for (int h0 = 1; h0 <= nh_kept; h0 += nhb) {
    block_integrals(h0, std::min(nhb, nh_kept - h0 + 1), first_sample);
    progress_stage_tick();
  }
  // The far modes, block by block into their series (the modes of -kt of
  // the pairs, after the others, need no couplings).
  far_floquet_begin();
  far_blocks(kept + 1, far_floquet_summed(), far_floquet_add);
  far_floquet_end();
  // With the series the couplings are computed once for the sweep: their
  // work tables need not stay through it (at oblique incidence they serve
  // every frequency).
  if (far_floquet_applies(nf)) release_work_tables();
}

namespace {

// The integrals of the Floquet modes of harmonics h0 .. h0 + nhb - 1.
void block_integrals(int h0, int nhb, const int* first_sample) {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  phase_matrix(h0, nhb);
  // Aperture by aperture: the sample matrix of all apertures would be zero
  // off each mode's own points.  A translated copy of an earlier aperture
  // has the integrals of its modes times the phase of each Floquet wave
  // over the translation, exp(-i k.d) (every contour sum is linear in the
  // wave, the divided differences taken about points that move with it).
  static std::vector<int> modes, from_modes;
  for (int a = 1; a <= fss_ap.n; ++a) {
    modes.clear();
    for (int j = 1; j <= nw; ++j)
      if (fss_modewg_ap[j] == a) modes.push_back(j);
    if (modes.empty()) continue;
    const fss_ap_rec::range& ap = fss_ap.r[a];
    from_modes.clear();
    if (ap.copy > 0 && ap.copy < a)
      for (int j = 1; j <= nw; ++j)
        if (fss_modewg_ap[j] == ap.copy) from_modes.push_back(j);
    if (from_modes.size() != modes.size()) {
      aperture_integrals(a, ap, modes, h0, nhb, first_sample);
      continue;
    }
    for (int m = 2 * h0 - 1; m <= std::min(nf, 2 * (h0 + nhb - 1)); ++m) {
      const flo_kappa k = fss_modeflo_kappa[m];
      const cplx phase = std::polar(1.0, -(k.kx * ap.dx + k.ky * ap.dy));
      cplx* row = coupling_row(m);
      for (std::size_t i = 0; i < modes.size(); ++i) row[modes[i]] = phase * row[from_modes[i]];
    }
  }
}

}  // namespace

cplx close_coupling_over_band(int m, int j) {
  const fss_ap_rec::range ap = fss_ap.r[fss_modewg_ap[j]];
  const flo_kappa k = fss_modeflo_kappa[m];
  std::vector<double> r(fss_coordinates.n), q(fss_coordinates.n);
  for (int i = ap.first; i <= ap.last; ++i) {
    const xy pt = fss_coordinates[i];
    const cplx e = std::polar(fss_cell_dim.inv_sqrt_ab, -(k.kx * pt.x + k.ky * pt.y));
    r[i - 1] = e.real();
    q[i - 1] = e.imag();
  }
  ++band_pts_generation;
  band_points(m, r.data(), q.data(), ap, aperture_centre(ap.first, ap.last));
  const cplx sigma = close_pair_band(m, j, first_samples()[j]);
  ++band_pts_generation;
  return sigma;
}

bool couplings_about_one_centre(double& cx, double& cy) {
  const int nw = fss_modewg_index.n;
  bool first = true;
  xy c;
  for (int j = 1; j <= nw; ++j) {
    const fss_ap_rec::range& ap = fss_ap.r[fss_modewg_ap[j]];
    const bool quarter = ap.quarter > 0 && 4 * ap.quarter == ap.last - ap.first + 1;
    if (!quarter && !ap.pure_parity) return false;
    const xy cj = quarter ? quarter_centre(ap) : ap.centre;
    if (!first && (cj.x != c.x || cj.y != c.y)) return false;
    c = cj;
    first = false;
  }
  cx = c.x;
  cy = c.y;
  return !first;
}
