#include "support/solver_run.hpp"

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

#include "contour/apb2dat.hpp"
#include "contour/contour.hpp"
#include "modesolver/fss_analyzew.hpp"
#include "records/modesolver.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/converge.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/read_input.hpp"
#include "run/runfiles.hpp"
#include "scattering/results.hpp"
#include "scattering/catalogue.hpp"
#include "support/command_line.hpp"

namespace {

std::string read_all(const std::string& name) {
  std::ifstream in(name);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The text of the JSON array that follows "key": in a reference file.
std::string json_array(const std::string& text, const std::string& key) {
  std::size_t k = text.find("\"" + key + "\":");
  if (k == std::string::npos) return "";
  std::size_t a = text.find('[', k), b = text.find(']', a);
  return text.substr(a + 1, b - a - 1);
}

std::string validation_file(const std::string& shape) {
  return std::string(FSS_SOURCE_DIR) + "/tests/data/cutoffs/" + shape + ".json";
}

}  // namespace

solver_result run_solver(const std::vector<std::string>& boundary, double fmax_ghz,
                         double accuracy) {
  {
    std::ofstream apb("job.apb");
    for (const std::string& line : boundary) apb << line << '\n';
  }
  calc_mode_wg("job", fmax_ghz * 1e9, 3, accuracy);
  solver_result r;
  std::ifstream wgm("job.wgm"), crd("job.crd"), smp("job.smp");
  int n = 0;
  wgm >> n;
  for (int k = 0; k < n; ++k) {
    solver_mode m{};
    wgm >> m.kc >> m.kind;
    r.modes.push_back(m);
  }
  int p = 0;
  crd >> p;
  r.x.resize(p), r.y.resize(p), r.nx.resize(p), r.ny.resize(p);
  for (int i = 0; i < p; ++i) crd >> r.x[i] >> r.y[i] >> r.nx[i] >> r.ny[i];
  int m = 0, q = 0;
  smp >> m >> q;
  r.smp.assign(m, std::vector<double>(q));
  for (auto& s : r.smp)
    for (double& v : s) smp >> v;
  return r;
}

std::vector<double> cutoffs_per_mm(const solver_result& r, int kind) {
  std::vector<double> k;
  for (const solver_mode& m : r.modes)
    if (m.kind == kind) k.push_back(m.kc / 1000);
  return k;
}

std::vector<double> reference_cutoffs(const std::string& shape, const std::string& list) {
  std::stringstream s(json_array(read_all(validation_file(shape)), list));
  std::vector<double> v;
  std::string item;
  while (std::getline(s, item, ',')) v.push_back(std::stod(item));
  return v;
}

std::vector<std::string> reference_geometry(const std::string& shape) {
  std::stringstream s(json_array(read_all(validation_file(shape)), "geometry"));
  std::vector<std::string> lines;
  std::string item;
  while (std::getline(s, item, ',')) {
    std::size_t a = item.find('"'), b = item.rfind('"');
    if (a != std::string::npos && b > a) lines.push_back(item.substr(a + 1, b - a - 1));
  }
  return lines;
}

void code_boundary(const std::vector<std::string>& boundary, double fmax_ghz) {
  {
    std::ofstream apb("job.apb");
    for (const std::string& line : boundary) apb << line << '\n';
  }
  prepare_solver_records(3, 0.0);
  std::string name = "job";
  apb2dat(name, fmax_ghz * 1e9);
}

std::vector<double> run_driver(const std::string& answers) {
  std::string name = "job.apb";
  std::istringstream in(answers);
  std::streambuf* old = std::cin.rdbuf(in.rdbuf());
  int ierr = 0;
  fss_analyzew(name, 1, ierr);
  std::cin.rdbuf(old);
  std::vector<double> k;
  std::ifstream wgm("job.wgm");
  int n = 0, kind = 0;
  wgm >> n;
  for (int i = 0; i < n; ++i) {
    double kc = 0;
    wgm >> kc >> kind;
    k.push_back(kc / 1000);
  }
  return k;
}

std::vector<double> run_solver_interactive(const std::vector<std::string>& boundary,
                                           double fmax_ghz, const std::string& answers) {
  code_boundary(boundary, fmax_ghz);
  return run_driver(answers);
}

void embed_in_box(double width, double height) {
  xye_row& h = blok2[1];
  const bool disc = h[7] <= 0;
  // Shift that centres the present enclosure in the new one.
  const double dx = disc ? width / 2 : (width - h[6]) / 2;
  const double dy = disc ? height / 2 : (height - h[7]) / 2;
  for (int i = 2; i <= blok2.n; ++i) {
    xye_row& r = blok2[i];
    r[1] += dx;
    r[2] += dy;
    if (r[5] == 0) {  // straight: both ends; an arc: its centre
      r[3] += dx;
      r[4] += dy;
    }
  }
  translations.dx -= dx;
  translations.dy -= dy;
  h[6] = width;
  h[7] = height;
  h[10] = std::fmax(width, height) * 1e-5;
  restore();
  int st = 1;
  autoseg(st);
}

void run_structure(const std::string& base, double box_w, double box_h,
                   const std::vector<std::string>& options, void (*after_point)(),
                   double table_ratio) {
  set_command_line(base, options);
  std::ostringstream console;
  std::streambuf* old = std::cout.rdbuf(console.rdbuf());
  fss_set_capacities();
  const double scale = solver_scale;
  if (table_ratio > 1) {
    const double r = table_ratio;
    fss_size_capacities(converge_capacity(max_wg_modes, r, 2, converge_wg_modes_bound),
                        converge_capacity(max_flo_modes, r, 2, converge_flo_modes_bound),
                        converge_capacity(max_points, r, 1, solver_scale_bound * max_points));
    solver_scale = std::min(r, static_cast<double>(solver_scale_bound));
  }
  read_input_fss();
  write_output();
  if (box_w <= 0) {
    genmodes_wg();
  } else {
    // genmodes_wg for one aperture, with the enclosure changed after coding.
    std::ifstream in(base + ".apb");
    std::ofstream job(base + "_tmp.apb");
    std::string line;
    while (std::getline(in, line) && line.find_first_of("#$") == std::string::npos)
      job << line << '\n';
    job.close();
    fss_screen.nsc = 1;
    fss_screen.nwg1 = fss_screen.nwg2 = 0;
    fss_ap.n = 1;
    prepare_solver_records(3, 0.0);
    std::string name = base + "_tmp";
    apb2dat(name, dcspeed() * fss_kmax.wg / dpi(1));
    embed_in_box(box_w, box_h);
    int ierr = 0;
    fss_analyzew(name, 0, ierr);
    readmodes_wg();
    read_coord();
    read_samples();
  }
  fss_sweep(after_point);
  std::cout.rdbuf(old);
  solver_scale = scale;
}

std::vector<std::string> notched_comb() {
  std::vector<std::string> comb;
  auto seg = [&](double x1, double y1, double x2, double y2) {
    comb.push_back(std::to_string(x1) + " " + std::to_string(y1) + " " + std::to_string(x2) +
                   " " + std::to_string(y2));
  };
  double x = 64;
  for (int t = 0; t < 32; ++t, x -= 1) {
    seg(x, 0, x - 1, 0);
    if (t == 31) break;
    x -= 1;
    seg(x, 0, x - 0.5, -1);
    seg(x - 0.5, -1, x - 1, 0);
  }
  seg(1, 0, 1, -3);
  seg(1, -3, 64, -3);
  seg(64, -3, 64, 0);
  return comb;
}
