// Counting the tables of one mode computation before filling any.
//
// The counts are those the formulations meet, in the order they meet them:
// the sample points (placed by the driver before the first run), the
// contour elements whose source densities the mode fields hold, then per
// symmetry class (the even one of each symmetric axis, as the program runs)
// and per kind (TEM when an inner line exists, TE, TM) the basis functions
// (fbdef), the kernel table (9 nreg^2 per image), the chains (gvett) and the
// enclosing-guide modes below the enlarged limit (gmor, gmotec, gmotmc,
// whose circular lists end with the Bessel-zero tables).  All of them are
// cheap next to the matrices that follow.
#include "modesolver/solver_tables.hpp"

#include <cmath>

#include "contour/contour.hpp"
#include "modesolver/basis_functions.hpp"
#include "modesolver/bessel_zeros.hpp"
#include "modesolver/guide_lists.hpp"
#include "records/contour.hpp"
#include "records/modefields.hpp"
#include "records/modesolver.hpp"
#include "records/modesolver_kernels.hpp"
#include "records/modesolver_matrices.hpp"
#include "records/run.hpp"
#include "run/messages.hpp"

namespace {

bool outgrown(solver_table_fault& f, const char* what, const char* record, long capacity,
              long need, bool by_limit = true) {
  f.what = what;
  f.record = record;
  f.capacity = capacity;
  f.need = need;
  f.by_limit = by_limit;
  return true;
}

// The basis of one kind in the class in force: false with the fault when a
// table is outgrown.
bool basis_fits(int ifb, int imt, solver_table_fault& f) {
  dat.status = 0;
  fbdef(ifb, imt, 0);
  if (dat.status != 0) return !outgrown(f, "boundary basis functions", "fbo", fbo.cap, 0);
  long images = (dat.symx != 0 ? 2 : 1) * (dat.symy != 0 ? 2 : 1);
  long kernel = 9L * fbo.nfb * fbo.nfb * images;
  if (kernel > matw.cap)
    return !outgrown(f, "entries of the Green's function kernel table", "matw", matw.cap, kernel);
  if (fbo.nreg == 0) return true;
  int st = 0;
  gvett(st);
  if (st != 0)
    return !outgrown(f, "chains of basis functions", "ltra", ltra.cap, 0, false);
  return true;
}

// The enclosing-guide modes of one kind (TE or TM) below the enlarged limit
// of the formulation.
bool guide_modes_fit(bool te, double kmax, solver_table_fault& f) {
  dat.status = 0;
  const double alpha = 2 * (1 + cofacc / 10);
  const double akmax = fbo.nreg > 0 ? kmax * alpha : kmax;
  amo.n = amo.cap + 10;
  if (dat.b > 0)
    gmor(te ? akmax : -akmax);
  else if (te)
    gmotec(akmax);
  else
    gmotmc(-akmax);
  const int st = dat.status;
  if (st >= 3001)
    return !outgrown(f, te ? "zeros of the Bessel functions J'n" : "zeros of the Bessel functions Jn",
                     te ? "bzte" : "bztm", te ? bzte.cap : bztm.cap,
                     0);
  if (st >= 1001) return !outgrown(f, "enclosing-guide modes", "amo", amo.cap, 0);
  return true;
}

bool class_fits(bool tem, double kmax, solver_table_fault& f) {
  if (tem && !basis_fits(0, 0, f)) return false;
  if (!basis_fits(0, 1, f) || !guide_modes_fit(true, kmax, f)) return false;
  return basis_fits(1, 2, f) && guide_modes_fit(false, kmax, f);
}

}  // namespace

void solver_units() {
  static const char* lunits[4] = {" m ", "dm ", "cm ", "mm "};
  int code = xye_unit_code();
  if (code < 0 || code > 3) code = 3;
  freq.lscale = std::pow(10.0, -code);
  freq.fmult = code >= 2 ? 1.0e9 : 1.0e6;
  freq.lunit = lunits[code];
  freq.funit = code >= 2 ? "GHz" : "MHz";
}

bool solver_tables_outgrown(solver_table_fault& f) {
  const xye_row& h = blok2[1];
  // Capacities in force, as samplecoord and gmfield take them.
  const long points = samplecoord_count(nsps);
  const int point_cap = xypts.cap > 0 && xypts.cap <= xypts.storage() ? xypts.cap : xypts.storage();
  const int row_cap =
      table.cap > 0 && table.cap <= table_rec::max_entries ? table.cap : table_rec::max_entries;
  bool out = false;
  if (points > point_cap) out = outgrown(f, "sample points", "xypts", point_cap, points);
  if (!out && blok2.n > row_cap)
    out = outgrown(f, "contour elements of the mode fields", "table", row_cap, blok2.n);
  if (!out) {
    const dat_rec saved = dat;
    dat.a = h[6];
    dat.b = h[7];
    int isx = 0, isy = 0;
    get2i(h[8], isx, isy);
    bool tem = false;
    for (int i = 2; i <= blok2.n; ++i)
      if (label(i) >= 101 && label(i) <= 999) tem = true;
    solver_units();
    const double kmax =
        dpi(1) * std::sqrt(h[9]) * std::fabs(h[1]) * freq.fmult / dcspeed() * freq.lscale;
    // The program runs the even class of each symmetric axis.
    dat.symx = isx ? 1 : 0;
    dat.symy = isy ? 1 : 0;
    out = !class_fits(tem, kmax, f);
    dat = saved;
  }
  dat.status = 0;
  errors.code = 0;
  errors.message.clear();
  return out;
}
