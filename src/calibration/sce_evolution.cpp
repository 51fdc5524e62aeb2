// The shuffled complex evolution search (SCE-UA). A population of ngs
// complexes of npg points is drawn uniformly within the bounds and sorted
// by criterion; each shuffling loop evolves every complex nspl times by
// competitive simplex steps on sub-complexes of nps points chosen by the
// trapezoidal rule, then sorts and re-deals the population. The search ends
// on the evaluation limit, on a best criterion that no longer changes by
// pcento within kstop loops, or on a population shrunk to 0.1 % of the
// feasible range.
#include <algorithm>
#include <cfloat>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "calibration/sce.h"
#include "core/process.h"

namespace nivra {

namespace {

// Scratch of one search, sized once before the first evaluation.
struct sce_work {
  int npt = 0;
  array2d<double> x;     // population points (rows), sorted best first
  array1d<double> xf;    // their criteria
  array2d<double> cx;    // one complex
  array1d<double> cf;
  array2d<double> s;     // one sub-complex
  array1d<double> sf;
  array1d<int> lcs;      // positions of the sub-complex in the complex
  array1d<double> bound, unit, ce, snew;
  std::vector<int> order;  // sort scratch: the ranking and a copy of the rows
  array2d<double> rows;
  array1d<double> crit;
  double criter[21] = {};  // the best criterion of the last 20 loops, newest at 20
};

void out_printf(sce_record& r, const char* format, ...) __attribute__((format(printf, 2, 3)));
void out_printf(sce_record& r, const char* format, ...) {
  if (!r.out_file.fp) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(r.out_file.fp, format, args);
  va_end(args);
}

bool in_bounds(const sce_record& r, const array1d<double>& p) {
  for (int j = 1; j <= r.nopt; ++j)
    if (p[j] < r.bl[j] || p[j] > r.bu[j]) return false;
  return true;
}

// Sorts points 1..n of pts by criterion f, best first; equal criteria keep
// their order.
void sort_points(array2d<double>& pts, array1d<double>& f, int n, int nopt, sce_work& w) {
  w.order.resize(static_cast<std::size_t>(n));
  std::iota(w.order.begin(), w.order.end(), 1);
  std::stable_sort(w.order.begin(), w.order.end(), [&](int a, int b) { return f[a] < f[b]; });
  for (int i = 1; i <= n; ++i) {
    const int from = w.order[static_cast<std::size_t>(i - 1)];
    w.crit[i] = f[from];
    for (int j = 1; j <= nopt; ++j) w.rows[i][j] = pts[from][j];
  }
  for (int i = 1; i <= n; ++i) {
    f[i] = w.crit[i];
    for (int j = 1; j <= nopt; ++j) pts[i][j] = w.rows[i][j];
  }
}

// Writes one evaluation to the log; the log is made with its header on
// first use. Logging never changes the count of evaluations.
void sce_log_sim(sce_record& r, int number, double criterion, const double* x) {
  if (criterion < r.best_logged) r.best_logged = criterion;
  if (r.log_failed) return;
  if (!r.log_file.fp) {
    if (!open_guarded_file(r.log_file, "sce_log_file.txt", "w")) {
      r.log_failed = 1;
      std::printf("Error: unable to open the log file.\n");
      return;
    }
    std::fprintf(r.log_file.fp, "Sim No.   Cost     Minimum Cost:  Parameter Values\n");
  }
  std::fprintf(r.log_file.fp, "%-5d  %9.4lf %9.4lf  : ", number, criterion, r.best_logged);
  for (int j = 1; j <= r.nopt; ++j) std::fprintf(r.log_file.fp, " %le", x[j]);
  std::fprintf(r.log_file.fp, "\n");
}

void sce_log_population(sce_record& r, const sce_work& w, int first_number) {
  for (int i = 1; i <= w.npt; ++i) sce_log_sim(r, first_number + i - 1, w.xf[i], w.x[i]);
  if (r.log_file.fp) std::fflush(r.log_file.fp);
}

double evaluate_logged(sce_record& r, const array1d<double>& p) {
  const double f = sce_objective(r, p);
  sce_log_sim(r, r.evaluations, f, p.data());
  return f;
}

// A random point: mode 1 uniform, mode 2 Gaussian, about the centre with the
// spread std (a share of each parameter's range); a value outside its bounds
// is drawn again. A spread that cannot reach the feasible range after many
// draws takes the centre, held within the bounds.
void sce_random_point(sce_record& r, const sce_work& w, int mode, array1d<double>& out, const double* spread,
                      const double* centre) {
  constexpr int draw_limit = 10000;
  for (int j = 1; j <= r.nopt; ++j) {
    int draws = 0;
    do {
      const double rnd = mode == 1 ? r.random.uniform() : r.random.gauss();
      out[j] = centre[j] + spread[j] * rnd * w.bound[j];
    } while ((out[j] < r.bl[j] || out[j] > r.bu[j]) && ++draws < draw_limit);
    if (draws >= draw_limit) out[j] = std::clamp(centre[j], r.bl[j], r.bu[j]);
  }
}

void sce_param_stats(sce_record& r, const sce_work& w, bool& converged) {
  double log_sum = 0.0;
  for (int j = 1; j <= r.nopt; ++j) {
    double hi = -DBL_MAX, lo = DBL_MAX, sum = 0.0, sum2 = 0.0;
    for (int i = 1; i <= w.npt; ++i) {
      const double v = w.x[i][j];
      hi = std::max(hi, v);
      lo = std::min(lo, v);
      sum += v;
      sum2 += v * v;
    }
    const double mean = sum / w.npt;
    double var = sum2 / w.npt - mean * mean;
    if (!(var > 1e-20)) var = 1e-20;
    r.par_max[j] = hi;
    r.par_min[j] = lo;
    r.par_mean[j] = mean;
    r.par_std[j] = std::sqrt(var) / w.bound[j];
    log_sum += std::log((hi - lo) / w.bound[j] + 1e-20);
  }
  r.gnrng = std::exp(log_sum / r.nopt);
  converged = r.gnrng <= 0.001;
}

// One competitive step on the sub-complex (sorted best first): reflection of
// the worst point through the centroid of the others, a contraction when
// that is no better than the worst, a Gaussian point about the best when
// neither is; a reflection outside the bounds is replaced by the Gaussian
// point before it is evaluated.
void sce_new_point(sce_record& r, sce_work& w) {
  const int nps = r.nps, nopt = r.nopt;
  const double fw = w.sf[nps];
  for (int j = 1; j <= nopt; ++j) {
    double sum = 0.0;
    for (int i = 1; i < nps; ++i) sum += w.s[i][j];
    w.ce[j] = sum / (nps - 1);
  }
  for (int j = 1; j <= nopt; ++j) w.snew[j] = w.ce[j] + (w.ce[j] - w.s[nps][j]);
  if (!in_bounds(r, w.snew)) sce_random_point(r, w, 2, w.snew, r.par_std.data(), w.s[1]);
  double fnew = evaluate_logged(r, w.snew);
  if (fnew > fw) {
    for (int j = 1; j <= nopt; ++j) w.snew[j] = w.ce[j] - 0.5 * (w.ce[j] - w.s[nps][j]);
    fnew = evaluate_logged(r, w.snew);
    if (fnew > fw) {
      sce_random_point(r, w, 2, w.snew, r.par_std.data(), w.s[1]);
      fnew = evaluate_logged(r, w.snew);
    }
  }
  for (int j = 1; j <= nopt; ++j) w.s[nps][j] = w.snew[j];
  w.sf[nps] = fnew;
}

void sce_evolve_complex(sce_record& r, sce_work& w, int k) {
  const int npg = r.npg, nps = r.nps, nopt = r.nopt, ngs = r.ngs;
  for (int j = 1; j <= npg; ++j) {
    const int at = k + ngs * (j - 1);
    w.cf[j] = w.xf[at];
    for (int i = 1; i <= nopt; ++i) w.cx[j][i] = w.x[at][i];
  }
  for (int step = 0; step < r.nspl; ++step) {
    if (nps == npg) {
      for (int j = 1; j <= nps; ++j) w.lcs[j] = j;
    } else {
      for (int j = 1; j <= nps; ++j) {
        int pos;
        bool taken;
        do {
          pos = sce_trapezoid_position(npg, r.random.uniform());
          taken = false;
          for (int m = 1; m < j; ++m) taken = taken || w.lcs[m] == pos;
        } while (taken);
        w.lcs[j] = pos;
      }
      std::sort(w.lcs.data() + 1, w.lcs.data() + nps + 1);
    }
    for (int j = 1; j <= nps; ++j) {
      w.sf[j] = w.cf[w.lcs[j]];
      for (int i = 1; i <= nopt; ++i) w.s[j][i] = w.cx[w.lcs[j]][i];
    }
    sce_new_point(r, w);
    for (int j = 1; j <= nps; ++j) {
      w.cf[w.lcs[j]] = w.sf[j];
      for (int i = 1; i <= nopt; ++i) w.cx[w.lcs[j]][i] = w.s[j][i];
    }
    sort_points(w.cx, w.cf, npg, nopt, w);
  }
  for (int j = 1; j <= npg; ++j) {
    const int at = k + ngs * (j - 1);
    w.xf[at] = w.cf[j];
    for (int i = 1; i <= nopt; ++i) w.x[at][i] = w.cx[j][i];
  }
}

// Re-deals the sorted population of ngs + 1 complexes into ngs complexes.
void sce_merge_complexes(sce_record& r, sce_work& w) {
  const int ngs = r.ngs, ngs1 = r.ngs + 1, npg = r.npg;
  for (int k = 1; k <= ngs; ++k) {
    for (int j = 1; j <= npg; ++j) {
      const int from = k + ngs1 * (j - 1), to = k + ngs * (j - 1);
      w.crit[to] = w.xf[from];
      for (int i = 1; i <= r.nopt; ++i) w.rows[to][i] = w.x[from][i];
    }
  }
  for (int i = 1; i <= w.npt; ++i) {
    w.xf[i] = w.crit[i];
    for (int j = 1; j <= r.nopt; ++j) w.x[i][j] = w.rows[i][j];
  }
}

void write_best(sce_record& r, const sce_work& w, int nloop) {
  const int nopt = r.nopt, head = std::min(nopt, 8);
  out_printf(r, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", nloop, r.evaluations, r.ngs, w.xf[1], w.xf[w.npt],
             r.gnrng);
  for (int j = 1; j <= head; ++j) out_printf(r, "%10.3lf ", r.bestx[j]);
  out_printf(r, "\n");
  if (nopt >= 9) {
    for (int j = 9; j <= nopt; ++j) out_printf(r, "%10.3lf ", r.bestx[j]);
    out_printf(r, "\n");
  }
  if (r.iprint == 1) {
    out_printf(r, " POPULATION AT LOOP %d\n", nloop);
    for (int i = 1; i <= w.npt; ++i) {
      out_printf(r, "%10.5lf ", w.xf[i]);
      for (int j = 1; j <= head; ++j) out_printf(r, "%10.5lf ", w.x[i][j]);
      out_printf(r, "\n");
      if (nopt >= 9) {
        for (int j = 9; j <= nopt; ++j) out_printf(r, "%10.3lf ", w.x[i][j]);
        out_printf(r, "\n");
      }
    }
  }
  if (r.out_file.fp) std::fflush(r.out_file.fp);
  if (r.log_file.fp) std::fflush(r.log_file.fp);
}

void take_best(sce_record& r, const sce_work& w) {
  for (int j = 1; j <= r.nopt; ++j) r.bestx[j] = w.x[1][j];
}

// After the first model run that gives results: observed events the run
// does not simulate are never simulated by any trial.
void check_first_run(sce_record& r) {
  r.events_checked = 1;
  const calib_cost& cost = *r.cost;
  const int simulated = cost.simulated_events();
  if (cost.n_events() <= simulated) return;
  const int weighted = cost.weighted_event_after(simulated);
  if (weighted > 0) {
    std::printf("Error: the observation file %s gives %d events, but the run of %s simulates %d: event %d "
                "has no simulated peak or volume, and every trial would score %.2f.\n",
                r.obs_file.c_str(), cost.n_events(), r.project_file.c_str(), simulated, weighted, cost_failed);
    r.stopped = 1;
  } else {
    std::printf("Warning: the observation file %s gives %d events, but the run of %s simulates %d; the "
                "events after event %d carry no weight and are left out.\n",
                r.obs_file.c_str(), cost.n_events(), r.project_file.c_str(), simulated, simulated);
  }
}

}  // namespace

int sce_trapezoid_position(int npg, double u) {
  const double a = npg + 0.5;
  const double pos = 1.0 + std::floor(a - std::sqrt(a * a - npg * (npg + 1.0) * u));
  return std::clamp(static_cast<int>(pos), 1, npg);
}

double sce_objective(sce_record& r, const array1d<double>& x) {
  ++r.evaluations;
  const std::span<const double> values(x.data() + 1, static_cast<std::size_t>(r.nopt));
  if (r.model_mode) {
    const double c = r.model_objective(r.replace_file, r.project_file, values, *r.cost, "temp");
    write_results_all(r.cost->results(), process.parallel_env);
    if (!r.events_checked && r.cost->simulated_events() >= 0) check_first_run(r);
    // A run that gave no usable result is the worst trial there is.
    return r.cost->last_failed() ? cost_failed : std::fabs(c);
  }
  const double f = r.objective(values);
  return std::isfinite(f) ? f : cost_failed;
}

int sceua(sce_record& r) {
  if (!r.setup_ok) {
    std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
    return -1;
  }
  std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
  out_printf(r, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
  r.random.restart(r.iseed);
  r.evaluations = 0;
  r.best_logged = DBL_MAX;
  std::printf(" ***  Evolution Loop Number %d\n", 0);

  const int nopt = r.nopt;
  sce_work w;
  w.npt = r.ngs * r.npg;
  if (r.maxn < w.npt) {
    std::printf("Error: maximum number of function calls is less than the number of points in the initial "
                "population\n");
    std::printf("Increase the number of function calls to at least %d\n", w.npt);
    return -1;
  }
  w.x.alloc(w.npt, nopt);
  w.xf.alloc(w.npt);
  w.cx.alloc(r.npg, nopt);
  w.cf.alloc(r.npg);
  w.s.alloc(r.nps, nopt);
  w.sf.alloc(r.nps);
  w.lcs.alloc(r.nps);
  w.bound.alloc(nopt);
  w.unit.alloc(nopt);
  w.ce.alloc(nopt);
  w.snew.alloc(nopt);
  w.rows.alloc(w.npt, nopt);
  w.crit.alloc(w.npt);
  w.order.reserve(static_cast<std::size_t>(w.npt));
  r.bestx.alloc(nopt);
  r.par_max.alloc(nopt);
  r.par_min.alloc(nopt);
  r.par_mean.alloc(nopt);
  r.par_std.alloc(nopt);
  for (int j = 1; j <= nopt; ++j) {
    w.bound[j] = r.bu[j] - r.bl[j];
    w.unit[j] = 1.0;
  }

  // The first population, sorted.
  array1d<double> point(nopt);
  for (int i = 1; i <= w.npt; ++i) {
    if (i == 1 && r.iniflg == 1) {
      for (int j = 1; j <= nopt; ++j) point[j] = r.a[j];
    } else {
      sce_random_point(r, w, 1, point, w.unit.data(), r.bl.data());
    }
    for (int j = 1; j <= nopt; ++j) w.x[i][j] = point[j];
    w.xf[i] = sce_objective(r, point);
    if (r.stopped) return -1;
  }
  sce_log_population(r, w, 1);
  sort_points(w.x, w.xf, w.npt, nopt, w);
  take_best(r, w);
  bool converged = false;
  sce_param_stats(r, w, converged);

  if (!converged && r.evaluations < r.maxn) {
    for (int nloop = 1;; ++nloop) {
      std::printf(" ***  Evolution Loop Number %d\n", nloop);
      for (int k = 1; k <= r.ngs; ++k) sce_evolve_complex(r, w, k);
      if (r.stopped) return -1;
      sort_points(w.x, w.xf, w.npt, nopt, w);
      take_best(r, w);
      sce_param_stats(r, w, converged);
      write_best(r, w, nloop);

      if (r.evaluations >= r.maxn) {
        std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
        std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", r.maxn);
        std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", 0, r.ngs, nloop);
        break;
      }
      w.criter[20] = w.xf[1];
      if (nloop >= r.kstop + 1) {
        const double c = w.criter[20 - r.kstop], b = w.xf[1];
        if (std::fabs(c - b) / (std::fabs(c + b) * 0.5) < r.pcento) {
          out_printf(r, " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
          out_printf(r, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n", r.pcento * 100.0, r.kstop);
          break;
        }
      }
      for (int i = 1; i < 20; ++i) w.criter[i] = w.criter[i + 1];
      if (converged) {
        out_printf(r, " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
        out_printf(r, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", r.gnrng * 100.0);
        break;
      }
      if (r.ngs > r.mings) {
        r.ngs -= 1;
        w.npt = r.npg * r.ngs;
        sce_merge_complexes(r, w);
      }
    }
  }

  out_printf(r, " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n");
  out_printf(r, "%lf ", w.xf[1]);
  for (int j = 1; j <= nopt; ++j) out_printf(r, "%le ", r.bestx[j]);
  out_printf(r, "\n");
  if (r.out_file.fp) std::fflush(r.out_file.fp);
  if (r.log_file.fp) std::fflush(r.log_file.fp);
  r.best_criterion = w.xf[1];
  return r.evaluations;
}

}  // namespace nivra
