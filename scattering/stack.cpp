// Transmission lines of the Floquet modes through the dielectric layers.
//
// Conventions: time exp(+j omega t), fields exp(-gamma z).  In a layer of
// complex permittivity eps = eps' (1 - j tan_delta) a mode of transverse
// wavenumber kt has gamma = sqrt(kt^2 - eps k0^2), Re gamma >= 0, and the
// wave admittances Y_TE = gamma / (j k0 eta0), Y_TM = j k0 eps / (eta0 gamma).
// Along a layer the state is carried as the pair of wave amplitudes (one
// towards the face, one away from it), scaled by exp(-gamma d) per layer so
// that only exponentials of modulus <= 1 appear: no cosh or sinh of a large
// argument, no overflow for thick layers or strongly evanescent modes, and
// no division by a quantity that vanishes on the way (only the final ratio
// at the face or at the outer surface is taken).
#include "scattering/stack.hpp"

#include <cmath>
#include <string>

#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/messages.hpp"
#include "scattering/floquet.hpp"

using cplx = std::complex<double>;

namespace {

// Item of screen k (from the illuminated side) in the stack record, 0 when
// there is none.
int screen_index(int k) {
  for (int i = 1; i <= fss_stack.n; ++i)
    if (fss_stack.item[i].kind == stack_kind_screen && --k == 0) return i;
  return 0;
}

// Size of a complex number without a square root (within a factor sqrt 2).
double size(cplx z) { return std::fmax(std::fabs(z.real()), std::fabs(z.imag())); }

// The pair is rescaled to about unit size after every step; the factor is
// returned.
double normalise(cplx& a, cplx& b) {
  const double m = std::fmax(size(a), size(b));
  if (m > 0) {
    a /= m;
    b /= m;
  }
  return m;
}

// Across an interface from a medium of admittance yp into one of
// admittance yn, V = a + b and I = yp (a - b) are continuous.
void interface(cplx& a, cplx& b, cplx yp, cplx yn) {
  const cplx r = yp / yn;
  const cplx na = 0.5 * ((1.0 + r) * a + (1.0 - r) * b);
  const cplx nb = 0.5 * ((1.0 - r) * a + (1.0 + r) * b);
  a = na;
  b = nb;
}

}  // namespace

int stack_screens() {
  int k = 0;
  for (int i = 1; i <= fss_stack.n; ++i)
    if (fss_stack.item[i].kind == stack_kind_screen) ++k;
  return k;
}

const stack_item* stack_screen(int k) {
  const int i = k >= 1 ? screen_index(k) : 0;
  return i ? &fss_stack.item[i] : nullptr;
}

cplx layer_eps(const stack_item& l) { return cplx(l.eps, -l.eps * l.tand); }

int stack_layer_count(int side) {
  const int first = screen_index(1);
  if (first == 0) return 0;
  return side == 1 ? first - 1 : fss_stack.n - screen_index(stack_screens());
}

const stack_item& stack_layer(int side, int k) {
  if (side == 1) return fss_stack.item[screen_index(1) - k];
  return fss_stack.item[screen_index(stack_screens()) + k];
}

int stack_gap_count(int g) {
  const int a = screen_index(g), b = screen_index(g + 1);
  return a && b ? b - a - 1 : 0;
}

const stack_item& stack_gap_layer(int g, int k) { return fss_stack.item[screen_index(g) + k]; }

bool stack_has_layers() { return stack_layer_count(1) + stack_layer_count(2) > 0; }

bool stack_filled(int k) {
  const stack_item* s = stack_screen(k);
  return s && (s->eps != 1 || s->tand != 0);
}

bool stack_mirror_symmetric() {
  // Several screens: their apertures would have to mirror each other too;
  // the waves lit from the far side are solved as such.
  if (stack_screens() > 1) return false;
  const int n = stack_layer_count(1);
  if (n != stack_layer_count(2)) return false;
  for (int k = 1; k <= n; ++k) {
    const stack_item &a = stack_layer(1, k), &b = stack_layer(2, k);
    if (a.d != b.d || a.eps != b.eps || a.tand != b.tand) return false;
  }
  return true;
}

double screen_thickness(int k) {
  if (k == 1) return fss_thickness.t1;
  const stack_item* s = stack_screen(k);
  return s ? s->d : fss_thickness.t2;
}

double stack_depth() {
  double d = fss_thickness.t1;
  for (int side = 1; side <= 2; ++side)
    for (int k = 1; k <= stack_layer_count(side); ++k) d += stack_layer(side, k).d;
  // Behind the first screen: each gap and the screen after it.
  for (int g = 1; g < stack_screens(); ++g) {
    for (int k = 1; k <= stack_gap_count(g); ++k) d += stack_gap_layer(g, k).d;
    d += screen_thickness(g + 1);
  }
  return d;
}

cplx layer_gamma(double k0, double kt, double eps, double tand) {
  const double k02 = eps * k0 * k0;
  double q = kt * kt - k02;
  const double loss = k02 * tand;  // -Im(eps k0^2) >= 0
  if (loss == 0) {
    if (q == 0) q = -1.0e-20 * k02;
    if (q < 0) return cplx(0, std::sqrt(-q));
    return cplx(std::sqrt(q), 0);
  }
  // Im > 0: the principal root lies in the first quadrant.
  return std::sqrt(cplx(q, loss));
}

cplx layer_admittance(int flo_type, cplx gamma, double k0, double eta0, double eps,
                      double tand) {
  if (flo_type == flo_te) return gamma / cplx(0, 1) / eta0 / k0;
  return cplx(0, k0 / eta0) * cplx(eps, -eps * tand) / gamma;
}

cplx face_admittance(const line_section* s, int n, cplx y0, bool& pole) {
  pole = false;
  if (n == 0) return y0;
  // In the outer air only the wave leaving the face: (away, towards) = (1, 0).
  cplx a = 1, b = 0, yp = y0;
  for (int k = n; k >= 1; --k) {
    interface(a, b, yp, s[k].y);
    b *= s[k].e1 * s[k].e1;  // to the inner side of the layer, scaled by exp(-gamma d)
    normalise(a, b);
    yp = s[k].y;
  }
  cplx den = a + b;
  const double tiny = 1.0e-13 * (size(a) + size(b));
  if (!(size(den) > tiny)) {
    // The face sees a short: the limit forces the mode's face amplitude to 0.
    pole = true;
    den = std::abs(den) > 0 ? den / std::abs(den) * tiny : cplx(tiny, 0);
  }
  return s[1].y * (a - b) / den;
}

void short_circuit(const line_section* s, int n, cplx y0, cplx& isc, cplx& rsc) {
  if (n == 0) {
    isc = 2.0 * y0;
    rsc = -1.0;
    return;
  }
  // At the short, V = 0: (towards the face, away from it) = (1, -1).  The
  // pair is the true one times p.
  cplx a = 1, b = -1, p = 1;
  for (int k = 1; k <= n; ++k) {
    b *= s[k].e1 * s[k].e1;  // to the outer side of the layer, scaled by exp(-gamma d)
    p *= s[k].e1;
    interface(a, b, s[k].y, k < n ? s[k + 1].y : y0);
    p /= normalise(a, b);
  }
  // Unit incident wave in the air: the true pair at the face is p / a times
  // the starting one.  |rsc| <= 1 for a passive stack, so a is not 0.
  rsc = b / a;
  isc = 2.0 * s[1].y * p / a;
}

namespace {

// A line of n sections (1 at the terminated end) driven at the other end:
// the terminated end is a short (V = 0) or an open (I = 0).  Returns the
// pair (towards the terminated end, away from it) at the driven end, in
// its section, and the scale p: the true pair is the pair over p, for a
// pair (1, -1) (short) or (1, 1) (open) at the terminated end.
void line_drive(const line_section* s, int n, bool shorted, cplx& t, cplx& w, cplx& p) {
  t = 1, w = shorted ? -1 : 1, p = 1;
  for (int k = 1; k <= n; ++k) {
    // Away from the terminated end the wave towards it grows as exp(+gamma
    // d), the other decays: both scaled by exp(-gamma d).
    w *= s[k].e1 * s[k].e1;
    p *= s[k].e1;
    if (k < n) interface(t, w, s[k].y, s[k + 1].y);
    p /= normalise(t, w);
  }
}

// Below this size of tanh(electrical length) a gap mode takes the bounded
// form.  A mode that travels in a layer of the gap meets the poles of the
// gap's half-wave resonances, which a sweep may hit exactly: there the
// admittances would exceed 8 times the wave admittance.  A mode evanescent
// in every layer has no such pole, only the growth 1 / (gamma l) of a thin
// gap, which costs log10 of it in digits: 1e-3 keeps the loss below three
// and the bounded unknowns few even for a gap of a micrometre.
const double bounded_travelling = 0.125, bounded_evanescent = 1e-3;

// The two-port of a Floquet mode through the layers of a gap, listed from
// face a (s[1]) to face b (s[n]); `travels`: the mode propagates in a layer.
gap_line gap_two_port(const line_section* s, int n, cplx gamma1, double d1, bool travels) {
  const double bounded_below = travels ? bounded_travelling : bounded_evanescent;
  gap_line g;
  if (n == 1) {
    // One layer: Y2 = Y1 coth(gamma l) and Y3 = Y1 / sinh(gamma l) in their
    // overflow-free forms; near a resonance 1 / y11 = tanh(gamma l) / Y1,
    // y12 / y11 = 1 / cosh(gamma l), yo = Y1 tanh(gamma l).
    const cplx y1 = s[1].y, gl = gamma1 * d1, th = ztanh(gl);
    g.y11 = g.y22 = y1 / th;
    g.y12 = y1 * inv_zsinh(gl);
    if (std::abs(th) < bounded_below) {
      const cplx e = s[1].e1;
      g.bounded = 1;
      g.z = th / y1;
      g.r = 2.0 * e / (1.0 + e * e);
      g.yo = y1 * th;
    }
    return g;
  }
  static line_section rev[max_stack_items + 1];
  for (int k = 1; k <= n; ++k) rev[k] = s[n + 1 - k];
  cplx t, w, p;
  // Face b shorted, driven at a: y11 and the current into the short, y21.
  line_drive(rev, n, true, t, w, p);
  const cplx ya = s[1].y, yb = s[n].y;
  g.y11 = ya * (t - w) / (t + w);
  const cplx y21 = 2.0 * yb * p / (t + w);
  g.bounded = size(t + w) < bounded_below * size(t - w);
  if (g.bounded) g.z = (t + w) / (ya * (t - w));
  // Face a shorted, driven at b: y22 and y12 (equal to y21 by reciprocity).
  line_drive(s, n, true, t, w, p);
  g.y22 = yb * (t - w) / (t + w);
  g.y12 = 0.5 * (y21 + 2.0 * ya * p / (t + w));
  if (g.bounded) {
    // Face a open, driven at b: yo and r = V_a / V_b.
    line_drive(s, n, false, t, w, p);
    g.yo = yb * (t - w) / (t + w);
    g.r = 2.0 * p / (t + w);
  }
  return g;
}

}  // namespace

void calc_gap_lines() {
  const int gaps = stack_screens() - 1, nf = fss_modeflo_index.n;
  fss_gap.gaps = gaps > 0 ? gaps : 0;
  fss_gap.nf = nf;
  if (gaps <= 0) return;
  if (static_cast<long>(gaps) * nf > fss_gap.cap) fatal("genmodes_flo", "Too many Floquet modes");
  fss_gap.v.resize(static_cast<std::size_t>(gaps) * nf + 1);
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  static line_section sec[max_stack_items + 1];
  static cplx gamma[max_stack_items + 1];
  for (int g = 1; g <= gaps; ++g) {
    const int n = stack_gap_count(g);
    for (int q = 1; q <= nf; ++q) {
      const flo_index& fi = fss_modeflo_index[q];
      const double kt = fss_modeflo_kappa[q].kt;
      // The two modes of a harmonic share gamma and the layer exponentials.
      const bool first_of_pair = q == 1 || fss_modeflo_index[q - 1].m != fi.m ||
                                 fss_modeflo_index[q - 1].n != fi.n;
      bool travels = false;
      for (int k = 1; k <= n; ++k) {
        const stack_item& l = stack_gap_layer(g, k);
        travels = travels || kt * kt < l.eps * k0 * k0;
        // A layer of air takes the Floquet mode's own gamma and admittance,
        // so that a gap of air alone has exactly its Y2 and Y3.
        const bool air = l.eps == 1 && l.tand == 0;
        if (first_of_pair) {
          gamma[k] = air ? fss_gamma(k0, kt) : layer_gamma(k0, kt, l.eps, l.tand);
          sec[k].e1 = std::exp(-gamma[k] * l.d);
        }
        sec[k].y = air ? fss_modeflo_y[q].y1
                       : layer_admittance(fi.type, gamma[k], k0, eta0, l.eps, l.tand);
      }
      fss_gap.at(g, q) = gap_two_port(sec, n, gamma[1], stack_gap_layer(g, 1).d, travels);
    }
  }
}

void calc_stack_modes() {
  calc_gap_lines();
  const int n1 = stack_layer_count(1), n2 = stack_layer_count(2);
  fss_stack_point.layers = n1 + n2;
  fss_stack_point.poles = 0;
  if (n1 + n2 == 0) return;
  const double k0 = fss_em_var.k0, eta0 = fss_em_var.eta0;
  const int nside[3] = {0, n1, n2};
  static cplx gamma[3][max_stack_items + 1];
  static line_section sec[3][max_stack_items + 1];
  fss_modeflo_stack.n = fss_modeflo_index.n;
  for (int q = 1; q <= fss_modeflo_index.n; ++q) {
    const flo_index& fi = fss_modeflo_index[q];
    const double kt = fss_modeflo_kappa[q].kt;
    // The two modes of a harmonic share gamma and the layer exponentials.
    const bool first_of_pair = q == 1 || fss_modeflo_index[q - 1].m != fi.m ||
                               fss_modeflo_index[q - 1].n != fi.n;
    for (int side = 1; side <= 2; ++side)
      for (int k = 1; k <= nside[side]; ++k) {
        const stack_item& l = stack_layer(side, k);
        if (first_of_pair) {
          gamma[side][k] = layer_gamma(k0, kt, l.eps, l.tand);
          sec[side][k].e1 = std::exp(-gamma[side][k] * l.d);
        }
        sec[side][k].y = layer_admittance(fi.type, gamma[side][k], k0, eta0, l.eps, l.tand);
      }
    const cplx y0 = fss_modeflo_y[q].y1;
    flo_stack& st = fss_modeflo_stack[q];
    // Only the orders that propagate in the outer air carry power there.
    const bool propagating = std::real(fss_gamma(k0, kt)) == 0;
    for (int side = 1; side <= 2; ++side) {
      bool pole = false;
      st.yface[side] = face_admittance(sec[side], nside[side], y0, pole);
      if (pole) {
        ++fss_stack_point.poles;
        warning("genmodes_flo",
                "At " + std::to_string(fss_em_var.f / 1e9) + " GHz the Floquet order (" +
                    std::to_string(fi.m) + ", " + std::to_string(fi.n) +
                    ") lies on a guided wave of the stack: the result is the limit there",
                "");
      }
      st.isc[side] = st.rsc[side] = 0;
      if (propagating) short_circuit(sec[side], nside[side], y0, st.isc[side], st.rsc[side]);
    }
  }
}
