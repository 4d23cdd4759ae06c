// Touchstone (version 1.1) file of one direction of incidence: the 4-port
// scattering matrix of the screen between the specular waves of both
// polarisations on both faces.
//
// Ports 1 TE, 2 TM on the illuminated face, 3 TE, 4 TM on the far face.
// Columns 1 and 2 are the solved incident waves; columns 3 and 4, the waves
// incident on the far face, follow from the mirror symmetry of the screen
// about its mid-plane: it maps the far face onto the illuminated one and
// keeps the transverse electric field (the wave amplitude), so
// [S33 S34; S43 S44] = [S11 S12; S21 S22] and [S13 S14; S23 S24] =
// [S31 S32; S41 S42].  Reference planes are the two faces of the screen.
#include <cmath>
#include <complex>

#include "records/results.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"
#include "scattering/outputs.hpp"
#include "scattering/results.hpp"
#include "scattering/stack.hpp"

namespace {

const char* routine = "write_s4p";

// An angle in degrees with as many decimals as the sweep step needs (at
// least 4), trailing zeros dropped.
std::string angle_text(double deg, double step_deg) {
  int d = 4;
  while (d < 12 && std::pow(10.0, -d) > step_deg / 2) ++d;
  std::string s = sformat("%.*f", d, deg);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

// With dielectric layers the reference planes are the outer surfaces of
// the stacks, and the far-side columns are solved unless the stacks are
// mirror images of each other: the lines from the reference planes on are
// replaced.
std::string stack_header(const std::string& plain) {
  const std::string from = "! reference planes: the two faces of the screen;";
  std::string h = plain.substr(0, plain.find(from));
  if (stack_has_layers())
    h += "! reference planes: the outer surfaces of the dielectric stacks on either\n"
         "!   side; S31 is the transmission from surface to surface, and the\n";
  else
    h += "! reference planes: the illuminated face of the first screen and the far\n"
         "!   face of the last; S31 is the transmission from face to face, and the\n";
  h += "!   transmission of the .out file is S31 exp(+j kz D), kz = k0 cos(theta),\n";
  h += sformat("!   D the depth of the whole structure (D = %.6f mm)\n", stack_depth() * 1e3);
  if (stack_mirror_symmetric())
    h += "! ports 3, 4 from the front-back mirror symmetry of the structure:\n"
         "!   S33 = S11, S34 = S12, S43 = S21, S44 = S22, S13 = S31, S14 = S32,\n"
         "!   S23 = S41, S24 = S42\n";
  else
    h += "! ports 3, 4: the waves incident on the far side, solved as such\n";
  return h;
}

std::string header(double theta, double phi) {
  const double eta0 = fss_em_var.eta0, c = std::cos(fss_inc_angle.theta);
  const int screens = stack_screens();
  std::string h = "! " + structure_title() + ": scattering matrix of the " +
                  (screens > 1 ? std::to_string(screens) + " screens" : std::string("screen")) +
                  "\n";
  if (fss_writeinfo.wgs)
    h += "! waveguide simulator: phi = 0, theta = asin(c / (2 a f)) at every frequency;\n"
         "!   the (-1, 0) order, the other plane wave of the guide mode, also\n"
         "!   propagates: the power it carries is not in these four ports\n";
  else
    h += sformat("! incidence: theta = %s deg, phi = %s deg\n", angle_text(theta, 1e-4).c_str(),
                 angle_text(phi, 1e-4).c_str());
  h += "! ports: 1 TE, 2 TM: the specular Floquet waves on the illuminated face\n"
       "!        3 TE, 4 TM: the same waves on the far face\n"
       "! TE: E normal to the plane of incidence, TM: E in it\n"
       "!   (at normal incidence TE is the wave with E along y, TM with E along x)\n";
  if (!fss_writeinfo.wgs && fss_inc_angle.phi != 0)
    h += "!   in the plane phi = 0; in the plane phi: E along (-sin phi, cos phi) and\n"
         "!   (cos phi, sin phi), the limits of the TE and TM waves as theta -> 0\n";
  h += "! normalisation: power waves, each port to its own wave impedance,\n"
       "!   Z_TE = eta0 / cos(theta), Z_TM = eta0 cos(theta), eta0 = 120 pi ohm;\n";
  if (fss_writeinfo.wgs)
    h += "!   these change with the frequency here;\n";
  else
    h += sformat("!   here Z_TE = %.6f ohm, Z_TM = %.6f ohm;\n", eta0 / c, eta0 * c);
  h += "!   |Sij|^2 is a power ratio. The R of the option line is eta0, exact at\n"
       "!   normal incidence; at oblique incidence the data are still normalised\n"
       "!   to the impedances above (as if ideal transformers matched them to R)\n"
       "! reference planes: the two faces of the screen; S31 is the transmission\n"
       "!   from face to face, and the transmission of the .out file is\n"
       "!   S31 exp(+j kz t), kz = k0 cos(theta), t the metal thickness\n";
  h += sformat("!   (t = %.6f mm)\n", fss_thickness.t1 * 1e3);
  h += "! ports 3, 4 from the front-back mirror symmetry of the screen:\n"
       "!   S33 = S11, S34 = S12, S43 = S21, S44 = S22, S13 = S31, S14 = S32,\n"
       "!   S23 = S41, S24 = S42\n";
  if (stack_has_layers() || screens > 1) h = stack_header(h);
  h += "! time dependence exp(+j omega t); magnitude and angle in degrees\n";
  h += sformat("# GHz S MA R %.6f\n", eta0);
  return h;
}

std::string entry(std::complex<double> z) {
  return sformat(" %.12g %.9f", std::abs(z), phase_deg(z));
}

}  // namespace

std::string s4p_name(double theta_deg, double phi_deg) {
  if (fss_writeinfo.wgs) return result_name("_wgs.s4p");
  const double deg = 180 / dpi(0);
  return result_name("_theta" + angle_text(theta_deg, fss_theta.step * deg) + "_phi" +
                     angle_text(phi_deg, fss_phi.step * deg) + ".s4p");
}

void s4p_matrix(std::complex<double> s[5][5]) {
  // The reflection and transmission blocks of the front, repeated by the
  // mirror symmetry for the far face unless it was solved as such.
  for (int q = 1; q <= 2; ++q)
    for (int p = 1; p <= 2; ++p) {
      s[q][p] = s[q + 2][p + 2] = fss_polar.r[q][p];
      s[q + 2][p] = s[q][p + 2] = fss_polar.t[q][p];
      if (fss_polar.far) {
        s[q + 2][p + 2] = fss_polar.rb[q][p];
        s[q][p + 2] = fss_polar.tb[q][p];
      }
    }
}

void write_s4p_point() {
  const double deg = 180 / dpi(0);
  const double theta = fss_inc_angle.theta * deg, phi = fss_inc_angle.phi * deg;
  const std::string name = s4p_name(theta, phi);
  const bool first = first_frequency();
  std::complex<double> s[5][5];
  s4p_matrix(s);
  std::string text = first ? header(theta, phi) : "";
  text += sformat("%.12g", fss_em_var.f / 1e9);
  for (int i = 1; i <= 4; ++i) {
    if (i > 1) text += "\n";
    for (int j = 1; j <= 4; ++j) text += entry(s[i][j]);
  }
  put_file(name, text + "\n", !first, routine);
}
