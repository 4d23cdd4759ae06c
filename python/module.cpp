// The analysis inside a Python process: one run of the library per call,
// its results gathered at every sweep point by the driver's hook.
//
// The library was written for one run per process: fss_reset puts every
// record back before a run, the fatal trap turns a fatal error into an
// exception (the interpreter must never end), the console goes to a
// buffer, and no signal handler is installed (the interpreter owns SIGINT).
// One analysis at a time: the records are single instances.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <pthread.h>

#include <atomic>
#include <complex>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "records/results.hpp"
#include "records/run.hpp"
#include "records/scattering.hpp"
#include "run/driver.hpp"
#include "run/messages.hpp"
#include "run/options.hpp"
#include "run/progress.hpp"
#include "run/read_input.hpp"
#include "run/reset.hpp"
#include "run/runfiles.hpp"
#include "scattering/catalogue.hpp"
#include "scattering/outputs.hpp"

namespace py = pybind11;
using cplx = std::complex<double>;

namespace {

// What a sweep point leaves behind, copied by the hook.
struct point_result {
  double f = 0, theta = 0, phi = 0, kz = 0, depth = 0;
  cplx r[2][2], t[2][2];  // [q][p]: wave q from incident wave p (0 TE, 1 TM)
  cplx s[4][4];           // 4-port matrix of the specular waves
  double p00[2] = {}, ptot[2] = {};
  std::vector<order_power> orders;
};

struct run_state {
  std::vector<point_result> points;
  py::object progress;  // callable (done, total) or None
  long total = 0;
};
run_state* current = nullptr;
std::atomic<bool> busy{false};

void collect_point() {
  point_result p;
  p.f = fss_em_var.f;
  p.theta = fss_inc_angle.theta;
  p.phi = fss_inc_angle.phi;
  p.kz = fss_polar.kz;
  p.depth = fss_polar.depth;
  for (int q = 0; q < 2; ++q)
    for (int w = 0; w < 2; ++w) {
      p.r[q][w] = fss_polar.r[q + 1][w + 1];
      p.t[q][w] = fss_polar.t[q + 1][w + 1];
    }
  cplx s[5][5];
  s4p_matrix(s);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) p.s[i][j] = s[i + 1][j + 1];
  for (int w = 0; w < 2; ++w) {
    p.p00[w] = fss_polar.p00[w + 1];
    p.ptot[w] = fss_polar.ptot[w + 1];
  }
  p.orders.assign(fss_order_power.v.begin(), fss_order_power.v.begin() + fss_order_power.n);
  current->points.push_back(std::move(p));
  // The caller's progress hook, and Ctrl-C: both with the interpreter held.
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  if (!current->progress.is_none())
    current->progress(static_cast<long>(current->points.size()), current->total);
}

// The console of the run goes to a buffer while it lasts.
struct console_capture {
  std::ostringstream text;
  std::streambuf *out, *err;
  console_capture() : out(std::cout.rdbuf(text.rdbuf())), err(std::cerr.rdbuf(text.rdbuf())) {}
  ~console_capture() {
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
  }
};

// The command line of the run: the structure, the options, the folder.
struct command_line {
  std::vector<std::string> words;
  std::vector<char*> argv;
  explicit command_line(std::vector<std::string> w) : words(std::move(w)) {
    for (std::string& s : words) argv.push_back(s.data());
    argv.push_back(nullptr);
    fss_command_line.argc = static_cast<int>(words.size());
    fss_command_line.argv = argv.data();
  }
  ~command_line() { fss_command_line = fss_command_line_rec{}; }
};

py::array_t<cplx> complex_array(const std::vector<point_result>& pts, bool reflection) {
  py::array_t<cplx> a({static_cast<py::ssize_t>(pts.size()), py::ssize_t{2}, py::ssize_t{2}});
  auto v = a.mutable_unchecked<3>();
  for (std::size_t k = 0; k < pts.size(); ++k)
    for (int q = 0; q < 2; ++q)
      for (int w = 0; w < 2; ++w) v(k, q, w) = reflection ? pts[k].r[q][w] : pts[k].t[q][w];
  return a;
}

py::dict point_arrays(const std::vector<point_result>& pts) {
  const py::ssize_t n = static_cast<py::ssize_t>(pts.size());
  py::array_t<double> f(n), theta(n), phi(n), kz(n), depth(n), p00({n, py::ssize_t{2}}),
      ptot({n, py::ssize_t{2}});
  py::array_t<cplx> s({n, py::ssize_t{4}, py::ssize_t{4}});
  py::list orders;
  for (py::ssize_t k = 0; k < n; ++k) {
    const point_result& p = pts[k];
    f.mutable_at(k) = p.f;
    theta.mutable_at(k) = p.theta;
    phi.mutable_at(k) = p.phi;
    kz.mutable_at(k) = p.kz;
    depth.mutable_at(k) = p.depth;
    for (int w = 0; w < 2; ++w) {
      p00.mutable_at(k, w) = p.p00[w];
      ptot.mutable_at(k, w) = p.ptot[w];
    }
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) s.mutable_at(k, i, j) = p.s[i][j];
    py::list row;
    for (const order_power& o : p.orders)
      row.append(py::make_tuple(o.m, o.n, o.r[1], o.r[2], o.t[1], o.t[2]));
    orders.append(row);
  }
  py::dict d;
  d["f"] = f;
  d["theta"] = theta;
  d["phi"] = phi;
  d["kz"] = kz;
  d["depth"] = depth;
  d["r"] = complex_array(pts, true);
  d["t"] = complex_array(pts, false);
  d["s"] = s;
  d["p_specular"] = p00;
  d["p_total"] = ptot;
  d["orders"] = orders;
  return d;
}

// The catalogue of aperture modes: kind, kc (1/m), fc (GHz), Z (ohm, TEM
// only), screen, aperture.
py::list mode_table() {
  py::list modes;
  for (int j = 1; j <= fss_modewg_index.n; ++j) {
    const int kind = fss_modewg_index[j];
    const bool tem = kind == wg_tem;
    modes.append(py::make_tuple(tem ? "TEM" : kind == wg_te ? "TE" : "TM",
                                tem ? 0.0 : fss_modewg_kappa[j], mode_cutoff_ghz(j),
                                tem ? fss_modewg_kappa[j] : 0.0, fss_modewg_sc[j],
                                fss_modewg_ap[j]));
  }
  return modes;
}

// One analysis: the structure file, the options, the folder of every file
// of the run.  Returns the points, the mode table and the console text; a
// fatal error returns its routine, message and context instead.
py::dict run_analysis(const std::string& structure, const std::vector<std::string>& options,
                      const std::string& folder, py::object progress) {
  if (busy.exchange(true))
    throw std::runtime_error("another analysis is running in this process");
  struct release_busy {
    ~release_busy() { busy = false; }
  } release;
  run_state state;
  state.progress = std::move(progress);
  py::dict d;
  std::string console;
  {
    py::gil_scoped_release nogil;
    std::vector<std::string> words{"fss", structure};
    words.insert(words.end(), options.begin(), options.end());
    words.push_back("-o");
    words.push_back(folder);
    console_capture capture;
    fss_reset();
    command_line cl(words);
    read_command_line();  // the options size the tables ("-fine")
    fss_set_capacities();
    set_fatal_trap(true);
    current = &state;
    try {
      run_clock_start();
      read_input_fss();
      note_scratch_files(fss_file.name);
      state.total = fss_sweep_points();
      fss_check_wgs();
      fss_analysis(collect_point);
      remove_scratch_files();
    } catch (const fss_fatal_error& e) {
      remove_scratch_files();
      py::gil_scoped_acquire gil;
      d["error"] = py::make_tuple(e.routine, e.message, e.context);
    } catch (...) {
      remove_scratch_files();
      set_fatal_trap(false);
      current = nullptr;
      throw;
    }
    set_fatal_trap(false);
    current = nullptr;
    console = capture.text.str();
  }
  d["console"] = console;
  d["points"] = point_arrays(state.points);
  d["modes"] = mode_table();
  d["base"] = fss_file.name;
  return d;
}

// The structure file as the reader leaves it in the records (SI units), and
// the name of its aperture-block copy; a fatal error as in run_analysis.
py::dict read_structure(const std::string& structure, const std::string& folder) {
  if (busy.exchange(true))
    throw std::runtime_error("another analysis is running in this process");
  struct release_busy {
    ~release_busy() { busy = false; }
  } release;
  py::dict d;
  console_capture capture;
  fss_reset();
  command_line cl({"fss", structure, "-o", folder});
  fss_set_capacities();
  set_fatal_trap(true);
  try {
    read_input_fss();
  } catch (const fss_fatal_error& e) {
    set_fatal_trap(false);
    d["error"] = py::make_tuple(e.routine, e.message, e.context);
    d["console"] = capture.text.str();
    return d;
  }
  set_fatal_trap(false);
  d["a"] = fss_cell_dim.a;
  d["b"] = fss_cell_dim.b;
  d["alpha"] = fss_lattice_angle.alpha;
  d["thickness"] = fss_thickness.t1;
  auto range = [](const fss_range_rec& r) { return py::make_tuple(r.start, r.end, r.step); };
  d["theta"] = range(fss_theta);
  d["phi"] = range(fss_phi);
  d["frequency"] = range(fss_freq_iter);
  d["kmax"] = py::make_tuple(fss_kmax.wg, fss_kmax.flo);
  py::list stack;
  for (int i = 1; i <= fss_stack.n; ++i) {
    const stack_item& it = fss_stack.item[i];
    stack.append(py::make_tuple(it.kind == stack_kind_screen ? "screen" : "layer", it.d, it.eps,
                                it.tand));
  }
  d["stack"] = stack;
  d["stack_given"] = fss_stack.given != 0;
  d["apertures_file"] = fss_file.name + ".apb";
  d["console"] = capture.text.str();
  return d;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  // A child forked during an analysis of another thread starts free (its
  // first analysis resets the records anyway).
  pthread_atfork(nullptr, nullptr, [] { busy = false; });
  m.doc() = "The analysis of the fss library inside the process (one at a time).";
  m.def("run_analysis", &run_analysis, py::arg("structure"), py::arg("options"),
        py::arg("folder"), py::arg("progress") = py::none(),
        "Runs one analysis of a structure file with the given options, every file in "
        "folder; returns a dict of the sweep points, the mode table and the console.");
  m.def("read_structure", &read_structure, py::arg("structure"), py::arg("folder"),
        "Reads a structure file into the records and returns them (SI units).");
  m.def("dcspeed", &dcspeed, "The speed of light of the program (m/s).");
  m.def("reset", &fss_reset, "Puts every record of the library back to its starting state.");
}
