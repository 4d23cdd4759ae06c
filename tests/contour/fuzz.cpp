// Random and mutated boundary files: each one must be coded (a sound chain,
// segmented to the quarter wavelength, sampled) or refused with an error
// code or a fatal report; never a crash, a sanitizer report or a hang.
// Every file runs in a child process because refusals end the process.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "run/freeform.hpp"
#include "shapes.hpp"

using namespace shapes;

// Sanitizer reports get an exit status of their own (status 1 is the
// system's fatal report).
extern "C" const char* __asan_default_options() { return "exitcode=86:detect_leaks=0"; }
extern "C" const char* __ubsan_default_options() {
  return "halt_on_error=1:exitcode=86:print_stacktrace=1";
}

namespace {

enum : int { coded = 0, fatal_refusal = 1, refused = 2, broken = 3, sanitizer = 86 };

using rng_t = std::mt19937_64;

double uni(rng_t& g, double a, double b) {
  return std::uniform_real_distribution<double>(a, b)(g);
}
int pick(rng_t& g, int n) { return static_cast<int>(g() % static_cast<unsigned>(n)); }

std::vector<el> star(rng_t& g, double xc, double yc, double R) {
  int n = 3 + pick(g, 10);
  std::vector<double> t(n);
  for (double& a : t) a = uni(g, 0, 2 * M_PI);
  std::sort(t.begin(), t.end());
  std::vector<std::pair<double, double>> p;
  for (double a : t) {
    double r = R * uni(g, 0.3, 1);
    p.push_back({xc + r * std::cos(a), yc + r * std::sin(a)});
  }
  return polygon(p);
}

std::vector<el> shape(rng_t& g) {
  double scale = std::pow(10.0, uni(g, -3, 2.3));
  double x0 = uni(g, -1, 1) * scale * pick(g, 3), y0 = uni(g, -1, 1) * scale * pick(g, 3);
  std::vector<el> v;
  switch (pick(g, 7)) {
    case 0: v = star(g, x0, y0, scale); break;
    case 1: v = rounded(x0, y0, scale, scale * uni(g, 0.2, 2), scale * uni(g, 0, 0.5)); break;
    case 2: v = {circle(x0, y0, scale, uni(g, 0, 6))}; break;
    case 3: v = lshape(x0, y0); break;
    case 4: v = cross(x0, y0); break;
    case 5: v = polygon({{x0, y0}, {x0 + scale, y0}, {x0 + scale, y0 + scale * uni(g, 0.1, 3)},
                         {x0, y0 + scale * uni(g, 0.1, 3)}});
      break;
    default: {
      // Outer rectangle with inner lines.
      double w = scale, h = scale * uni(g, 0.5, 2);
      v = polygon({{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}});
      int k = 1 + pick(g, 3);
      for (int i = 0; i < k; ++i) {
        double r = std::min(w, h) * uni(g, 0.02, 0.2);
        double cx = x0 + uni(g, r, w - r), cy = y0 + uni(g, r, h - r);
        if (pick(g, 2)) v.push_back(circle(cx, cy, r, uni(g, 0, 6)));
        else for (auto& e : star(g, cx, cy, r)) v.push_back(e);
      }
    }
  }
  // Mixed directions and order, ports on sides of the bounding box.
  for (el& e : v)
    if (!e.arc && pick(g, 2)) {
      std::swap(e.x1, e.x2);
      std::swap(e.y1, e.y2);
    }
  std::shuffle(v.begin(), v.end(), g);
  int ports = pick(g, 8) == 0 ? 1 + pick(g, 2) : 0;
  for (int k = 0; k < ports; ++k) {
    el& e = v[pick(g, v.size())];
    if (!e.arc) e.port = true;
  }
  return v;
}

std::string number(rng_t& g) {
  static const char* odd[] = {"1e400", "nan", "inf", "-0", "x", "1d3", "5.", ".5e-2", "--1", "1e-320",
                              "99999", "1000000.0", "0x10", ","};
  if (pick(g, 3) == 0) return odd[pick(g, 14)];
  std::ostringstream o;
  o << uni(g, -100, 100);
  return o.str();
}

std::string mutate(rng_t& g, std::string t) {
  std::vector<std::string> lines;
  std::istringstream in(t);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  int m = pick(g, 4);
  for (int k = 0; k < m && !lines.empty(); ++k) {
    int i = pick(g, lines.size());
    std::vector<std::string> it = free_items(lines[i]);
    switch (pick(g, 9)) {
      case 0: lines.erase(lines.begin() + i); break;
      case 1: lines.insert(lines.begin() + i, lines[i]); break;
      case 2: lines.insert(lines.begin() + i, ""); break;
      case 3:
        if (!it.empty()) it[pick(g, it.size())] = number(g);
        break;
      case 4:
        if (!it.empty()) it.pop_back();
        break;
      case 5: it.push_back(pick(g, 2) ? "p" : number(g)); break;
      case 6: lines[i] += std::string(pick(g, 90), ' ') + "9 9"; break;
      case 7: {
        std::ostringstream o;
        int n = pick(g, 8);
        for (int j = 0; j < n; ++j) o << number(g) << (pick(g, 2) ? " " : ",");
        lines.insert(lines.begin() + i, o.str());
        break;
      }
      default:
        if (!it.empty()) {
          double x;
          std::istringstream(it[0]) >> x;
          std::ostringstream o;
          o.precision(10);
          o << x * (1 + uni(g, -1e-3, 1e-3));
          it[0] = o.str();
        }
    }
    if (!it.empty() && i < static_cast<int>(lines.size())) {
      std::string l;
      for (auto& s : it) l += s + " ";
      lines[i] = l;
    }
  }
  std::string out;
  for (auto& l : lines) out += l + "\n";
  return out;
}

// A coded contour is sound: one closed chain through every row, lengths and
// arc-length coordinates consistent, no arc left off the wall, no element
// longer than the quarter wavelength, quadrature weights summing to L.
bool sound(double fmax) {
  int n = blok2.n;
  if (n < 3 || n > blok2.cap) return false;
  double L = blok2[1][5], eps = blok2[1][10];
  // fmax 0: an unsegmented contour, no length limit.
  double lmax = fmax > 0 ? 75000000.0 / (fmax / 1e9) / 0.001 / 1e9 : 1e300;
  int start = elem_at(eps / 10), i = start;
  std::vector<char> seen(n + 1, 0);
  double s = 0, tol = 1e-8 * (1 + L);
  for (int k = 0; k < n - 1; ++k) {
    if (i < 2 || i > n || seen[i]) return false;
    seen[i] = 1;
    if (std::fabs(blok2[i][6] - s) > tol || std::fabs(elen(i) - geom_len(i)) > tol) return false;
    int lab = label(i);
    if (lab < 1000 && elen(i) > lmax + eps + tol) return false;
    if (fmax > 0 && lab != 0 && lab < 1000 && blok2[i][5] > eps) return false;
    s = blok2[i][7];
    int nx = lsucc(i);
    if (nx < 2 || nx > n || lpred(nx) != i) return false;
    i = nx;
  }
  return i == start && std::fabs(s - L) <= tol;
}

// Codes one file in the running process; the result, or the end of the
// process through a fatal report.
int one_case(const std::string& body, double fmax) {
  alarm(20);
  int code = load(body, fmax);
  if (code != 0) return errors.message.empty() ? broken : refused;
  if (!sound(fmax)) return broken;
  // Contour handed to the solver: checks and point sets run through.
  freq.lscale = 0.001;
  freq.fmult = 1e9;
  dat.symx = dat.symy = 0;
  xycheck(0);
  gcoord(0);
  samplecoord(3);
  double w = 0, lsym = 0;
  for (int p = 1; p <= xypts.n; ++p) w += xywgt[p];
  for (int i = 2; i <= blok2.n; ++i)
    if (label(i) >= 1000) lsym += elen(i);
  if (std::fabs(w - (blok2[1][5] - lsym)) > 1e-5 * blok2[1][5]) return broken;
  // The segmentation can be undone and done again.
  int ier;
  desegm(ier);
  if (ier != 0 || !sound(0)) return broken;
  ier = 1;
  autoseg(ier);
  if (ier != 0 || !sound(fmax)) return broken;
  return coded;
}

struct fuzz_case {
  std::string body;
  double fmax;
};

// Runs the cases from `first` on in one child process, which reports every
// case before it starts it and its result after; a case that ends the
// process is the last one reported as started.  Returns the results.
std::vector<int> run_all(const std::vector<fuzz_case>& cases) {
  std::vector<int> result(cases.size(), -1);
  size_t first = 0;
  while (first < cases.size()) {
    int fd[2];
    if (pipe(fd) != 0) return result;
    std::fflush(stdout);
    std::cout.flush();
    pid_t pid = fork();
    if (pid == 0) {
      close(fd[0]);
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      for (size_t c = first; c < cases.size(); ++c) {
        int msg[2] = {static_cast<int>(c), -1};
        if (write(fd[1], msg, sizeof msg) != sizeof msg) _exit(99);
        msg[1] = one_case(cases[c].body, cases[c].fmax);
        if (write(fd[1], msg, sizeof msg) != sizeof msg) _exit(99);
      }
      _exit(0);
    }
    close(fd[1]);
    int msg[2], last = -1;
    while (read(fd[0], msg, sizeof msg) == sizeof msg) {
      if (msg[1] < 0) {
        last = msg[0];
      } else {
        result[msg[0]] = msg[1];
        last = -1;
      }
    }
    close(fd[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (last < 0) break;
    result[last] = WIFSIGNALED(st) ? 1000 + WTERMSIG(st) : WEXITSTATUS(st);
    first = last + 1;
  }
  return result;
}

}  // namespace

TEST(ContourFuzz, RandomAndMutatedBoundaryFiles) {
  scratch_dir d;
  rng_t g(20261208);
  std::vector<fuzz_case> cases(2500);
  for (fuzz_case& fc : cases) {
    int kind = pick(g, 10);
    if (kind < 5) fc.body = text(shape(g));
    else if (kind < 9) fc.body = mutate(g, text(shape(g)));
    else {
      int n = pick(g, 6);
      for (int k = 0; k < n; ++k) {
        int m = pick(g, 8);
        for (int j = 0; j < m; ++j) fc.body += number(g) + " ";
        fc.body += "\n";
      }
    }
    fc.fmax = pick(g, 20) == 0 ? 0.0 : std::pow(10.0, uni(g, 8, 11.5));
  }
  // One file coded here first: the children inherit a warmed-up process.
  ASSERT_EQ(one_case(text(lshape()), 20e9), coded);
  alarm(0);
  std::vector<int> r = run_all(cases);
  int count[4] = {0, 0, 0, 0};
  for (size_t c = 0; c < cases.size(); ++c) {
    ASSERT_TRUE(r[c] == coded || r[c] == fatal_refusal || r[c] == refused)
        << "case " << c << " status " << r[c]
        << " (-1 not run, 1000 + signal, 86 sanitizer, 3 unsound) fmax " << cases[c].fmax
        << "\n" << cases[c].body;
    ++count[r[c]];
  }
  // The mixture must exercise both outcomes.
  EXPECT_GT(count[coded], static_cast<int>(cases.size()) / 5);
  EXPECT_GT(count[fatal_refusal] + count[refused], static_cast<int>(cases.size()) / 5);
  std::printf(" coded %d, fatal %d, refused %d\n", count[coded], count[fatal_refusal],
              count[refused]);
}
