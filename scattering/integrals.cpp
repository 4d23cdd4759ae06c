#include "scattering/integrals.hpp"

#include <cmath>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"

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

void calc_sample_flo(int m, int flag) {
  const double nc = fss_cell_dim.inv_sqrt_ab;
  const int type = fss_modeflo_index[m].type;
  const flo_kappa k = fss_modeflo_kappa[m];
  const int np = fss_coordinates.n;
  if (flag == 0) {
    fss_samplef.n = fss_samplefm.n = np;
    for (int i = 1; i <= np; ++i) {
      const xy r = fss_coordinates[i], n = fss_normals[i];
      // Nc exp(-i k.r): one sine-cosine pair per point.
      const cplx e = std::polar(nc, -(k.kx * r.x + k.ky * r.y));
      cplx f2;
      switch (type) {
        case flo_tm: f2 = -(e / k.kt) * (n.x * k.ky - n.y * k.kx); break;
        case flo_te: f2 = (e / k.kt) * (k.kx * n.x + k.ky * n.y); break;
        case flo_temx: f2 = -nc * n.x; break;
        default: f2 = nc * n.y; break;
      }
      fss_samplef[i] = {-I * e, f2};
    }
    return;
  }
  // G: [exp(i delta chi) - exp(i chi)] / (i (delta - 1)) without cancellation.
  const double d = delta_kappa;
  for (int i = 1; i <= np; ++i) {
    const xy r = fss_coordinates[i], n = fss_normals[i];
    const double chi = -(k.kx * r.x + k.ky * r.y);
    const cplx mid = std::exp(I * ((d + 1) * chi / 2)) * dsinc((d - 1) * chi / 2);
    if (type == flo_tm)
      fss_samplefm[i] = nc * chi * mid;
    else if (type == flo_te)
      fss_samplefm[i] = -nc * (k.kx * n.x + k.ky * n.y) *
                        (I * chi * mid + std::exp(I * (d * chi)));
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

void calc_integrals() {
  const int nw = fss_modewg_index.n, nf = fss_modeflo_index.n;
  fss_integrals.n = nf * nw;
  if (fss_integrals.n > fss_integrals.cap) fatal("calc_integrals", "Too many waveguide modes");
  for (int m = 1; m <= nf; ++m) {
    calc_vettsigma(m);
    for (int j = 1; j <= nw; ++j) fss_integrals[(m - 1) * nw + j] = fss_vettsigma[j];
  }
}
