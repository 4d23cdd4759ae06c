// Analytic waveguide modes of a rectangular aperture w x h (the aperture is
// its own enclosing guide), sampled on its contour exactly as the mode files
// of the solver carry them, and a driver that runs the scattering chain of
// the program on them.
#pragma once
#include <string>
#include <vector>

struct rect_aperture {
  double x0 = 0, y0 = 0;  // centre (m)
  double w = 0, h = 0;    // sides along x and y (m)
  int elements = 16;      // contour elements per side
};

struct rect_mode {
  int kind;  // 1 TM, 2 TE
  int m, n;
  double kc;  // 1/m
};

// TE modes and then TM modes with kc <= kmax, each in ascending kc.
std::vector<rect_mode> rect_modes(const rect_aperture& ap, double kmax);

// Unit-norm potential of a mode and its gradient at (x, y) (metres).
double rect_psi(const rect_aperture& ap, const rect_mode& md, double x, double y,
                double* dpsi_dx = nullptr, double* dpsi_dy = nullptr);

struct contour_point {
  double x, y;    // m
  double tx, ty;  // unit tangent, counter-clockwise
  double wgt;     // quadrature weight (m)
};
// Three Gauss-Legendre points per element, counter-clockwise from the
// lower left corner.
std::vector<contour_point> rect_contour(const rect_aperture& ap);

// Writes "<job>.wgm", "<job>.crd" and "<job>.smp" for the given modes.
void write_mode_files(const std::string& job, const rect_aperture& ap,
                      const std::vector<rect_mode>& modes);

// Runs the program on a structure file (already on disk as base + ".fss")
// with the analytic modes of the rectangle in place of the mode solver:
// input, header, catalogue from the mode files, then the sweep.
// With only_kind 1 or 2, only the TM or TE modes enter the catalogue;
// after_point, when given, is called after every result row.
void run_chain(const std::string& base, const rect_aperture& ap,
               const std::vector<std::string>& options = {}, int only_kind = 0,
               void (*after_point)() = nullptr);

// A row of the result file: frequency (GHz) and the eight columns.
struct out_row {
  double f;
  double magTy, phTy, magTx, phTx, magRy, phRy, magRx, phRx;
};
struct out_block {
  int nwg = 0, nflo = 0;
  std::vector<out_row> rows;
};
std::vector<out_block> read_out_file(const std::string& name);

// Structure file text for a rectangular lattice with a rectangular hole.
std::string structure_text(double a_mm, double b_mm, double t_mm, double w_mm,
                           double h_mm, const std::string& incidence,
                           const std::string& sweep, double fwg_ghz,
                           double fflo_ghz, double skew_deg = 90);
