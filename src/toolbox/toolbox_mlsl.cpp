#include "toolbox/toolbox_mlsl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "run/steps.h"
#include "toolbox/toolbox_entry.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_numerics.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();
constexpr double unset_total = -999.999;  // the record's best total before a search ended
constexpr double no_end_total = 1e300;    // an iteration's smallest end total before its first search

// What the search has found so far.
struct mlsl_state {
  int actual = 0;  // local searches made
  int calls = 0;   // model runs
  bool best_set = false;
  double best = 0.0;
  int best_search = 0;
  bool iteration_best_set = false;
  double iteration_best = 0.0;
  int search_no_gain = 0, iteration_no_gain = 0;
  int reason = 0;
  int status = 0;  // of the last sample run or local search (a stop request ends the search)
};

struct mlsl_settings {
  int samples = 0;  // N per iteration
  double gamma = 0.0, f = 0.0;
  int iterations = 0, searches = 0, search_stall = 0, iteration_stall = 0;  // K, S, Ls, Li
};

void write_search_block(std::FILE* rec, const pest_control& pc, const double* start,
                        const objective_row& start_objectives, const objective_row& end_objectives,
                        int calls, int total_calls) {
  write_result_tables(rec, pc, start, start_objectives, end_objectives, "\t%s\t%lf\t%lf\n",
                      "\t%s\t%lf\t%lf\n");
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, " Number of model runs for latest Local Search   = %d\n", calls);
  std::fprintf(rec, " Total number of model calls so far       = %d\n", total_calls);
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "\n\n");
}

}  // namespace

double mlsl_critical_distance(const pest_control& pc, int samples) {
  double volume = 1.0;
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].is_adjustable()) volume *= pc.params[i].parubnd - pc.params[i].parlbnd;
  const double n = pc.n_adjustable;
  const double gamma_term = std::exp(gammln(1.0 + n / 2.0));
  const double m = samples;
  const double pi = 4.0 * std::atan(1.0);
  return std::pow(volume * gamma_term * pc.mlsl_sigma * std::log(m) / m, 1.0 / n) / std::sqrt(pi);
}

bool mlsl_bayes_stop(int minima, double q) {
  const double w = minima;
  return q > w + 2.0 && w * (q - 1.0) / (q - w - 2.0) <= w + 0.5;
}

int mlsl_refusal(std::FILE* rec, int i, int npar, const mlsl_reduced_sample& reduced,
                 const point_store& ends, const point_store& starts) {
  const double* c = reduced.members[static_cast<std::size_t>(i - 1)];
  const double total = reduced.totals[static_cast<std::size_t>(i - 1)];
  int refused = 0;
  for (std::size_t j = 0; j < reduced.members.size(); ++j) {
    if (static_cast<int>(j) == i - 1) continue;
    if (euclidean_distance(npar, c, reduced.members[j]) <= reduced.alpha && reduced.totals[j] < total) {
      std::fprintf(rec,
                   "No LS for vector %d of the reduced sample. It is within an alpha distance of the "
                   "vector %d with a lower obj. function value\n",
                   i, static_cast<int>(j) + 1);
      refused = 1;
    }
  }
  if (!refused && ends.count() > 0) {
    for (int k = 1; k <= ends.count(); ++k)
      if (euclidean_distance(npar, c, ends.column(k)) <= reduced.alpha && ends.phi(k) < total) {
        std::fprintf(rec,
                     "No LS for vector %d of the reduced sample. It is within an alpha distance of a "
                     "previous LS end point\n",
                     i);
        refused = 2;
      }
    if (!refused)
      for (int k = 1; k <= ends.count(); ++k)
        if (euclidean_distance(npar, c, ends.column(k)) < reduced.end_distance) {
          std::fprintf(rec,
                       "No LS for vector %d of the reduced sample. It is within a distance %lf of a "
                       "previous LS end point\n",
                       i, reduced.end_distance);
          refused = 3;
        }
  }
  if (!refused && starts.count() > 0)
    for (int k = 1; k <= starts.count(); ++k)
      if (euclidean_distance(npar, c, starts.column(k)) < 1e-8) {
        std::fprintf(rec,
                     "No LS for vector %d of the reduced sample. It is too close to a previous LS "
                     "start point\n",
                     i);
        refused = 4;
      }
  return refused;
}

int run_mlsl_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome) {
  search_input input;
  guarded_file record;
  toolbox_case c;
  if (open_global_search(argc, argv,
                         {"Multi Level Single Linkage (MLSL)", "MLSL", "mlsl.in", "slm_dru_mlsl.rec",
                          "slm_dru_mlsl"},
                         input, record, c) != 0)
    return 1;
  pest_control& pc = c.pc;

  mlsl_settings set;
  long long n = 0, seed = 0, k_max = 0, s_max = 0, ls = 0, li = 0;
  if (input.whole(n, 1, max_search_samples, "the samples per iteration, a whole number from 1 to 1000000") != 0 ||
      input.real(pc.mlsl_reduction, 0.0, 1.0, true, false, "the reduction gamma, a number above 0 and up to 1") != 0 ||
      input.real(pc.mlsl_sigma, 0.0, infinite, true, true, "sigma, a number above 0") != 0 ||
      input.real(pc.mlsl_end_distance, 0.0, infinite, false, true, "the end-point distance, 0 or more") != 0)
    return 1;
  print_seed_lines();
  bool write_seeds = true;
  if (input.yes_no(write_seeds, "the seed word, Y (draw the seeds) or N (read them)") != 0 ||
      input.whole(seed, 0, 4294967295LL, "the random seed, a whole number from 0 to 4294967295") != 0 ||
      input.whole(k_max, 1, max_search_samples, "the MLSL iterations, a whole number from 1 to 1000000") != 0 ||
      input.whole(s_max, 1, max_search_samples, "the local searches, a whole number from 1 to 1000000") != 0 ||
      input.whole(ls, 0, max_search_samples, "the searches without gain, a whole number of 0 or more") != 0 ||
      input.whole(li, 0, max_search_samples, "the iterations without gain, a whole number of 0 or more") != 0 ||
      input.real(set.f, 0.0, 1.0, false, true, "the negligible fraction, from 0 up to below 1") != 0 ||
      input.end() != 0)
    return 1;
  pc.mlsl_sample_size = set.samples = static_cast<int>(n);
  set.gamma = pc.mlsl_reduction;
  set.iterations = static_cast<int>(k_max);
  set.searches = static_cast<int>(s_max);
  set.search_stall = static_cast<int>(ls);
  set.iteration_stall = static_cast<int>(li);
  sample_seeds seeds;
  if (seeds.open(write_seeds, static_cast<std::uint32_t>(seed)) != 0) return 1;

  std::FILE* rec = record.fp;
  std::fprintf(rec, "                        CT_MLSL CONTROL INFORMATION\n\n");
  std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seeds.seed_as_read());
  std::fprintf(rec, "Uniform random sample size at step k                        : %d\n", set.samples);
  std::fprintf(rec, "Value for reduction of the sample                           : %lf\n", set.gamma);
  std::fprintf(rec, "Value for sigma                                             : %lf\n", pc.mlsl_sigma);
  std::fprintf(rec, "Maximum MLSL iterations to carry out                        : %d\n", set.iterations);
  std::fprintf(rec, "Maximum number of local search inversions to carry out      : %d\n", set.searches);
  std::fprintf(rec, "Maximum number of CT runs with no objective function improvement    : %d\n", set.search_stall);
  std::fprintf(rec, "Maximum number of MLSL iterations with no objective function improvement    : %d\n",
               set.iteration_stall);
  std::fprintf(rec, "Improvement fraction judged to be negligible                : %lf\n", set.f);
  std::fprintf(rec, "Name of existing control file : %s\n\n", c.case_name.c_str());

  const double lambda_as_read = pc.rlambda1;
  const int npar = pc.npar;
  point_store pool(npar), points(npar), starts(npar), ends(npar);
  std::vector<objective_row> pool_objectives;
  std::vector<double> end_vector(static_cast<std::size_t>(npar));
  mlsl_state st;
  global_outcome result;
  int it = 0;
  for (;;) {
    ++it;
    const auto head = [&] {
      std::fprintf(rec, "\nSampling Phase: Iteration %d\n\n", it);
      write_title_line(rec, pc, true);
    };
    const int sampled = run_sample_phase(c, model, seeds, set.samples, pool, pool_objectives, rec, head,
                                         "%lf\t", nullptr, st.status);
    if (sampled == toolbox_stop_requested) return 0;
    if (sampled != 0) return 1;
    std::fprintf(rec, "\n");
    st.calls += set.samples;

    // The pool in rank order and its best fraction.
    const int m = pool.count();
    array1d<double> totals(m);
    array1d<int> rank(m);
    for (int j = 1; j <= m; ++j) totals[j] = pool.phi(j);
    indexx(m, totals, rank);
    // The best fraction of the pool, of the samples whose run succeeded: a
    // failed sample ranks last and is never a start.
    const int kept = std::min(static_cast<int>(set.gamma * m), samples_that_ran(pool));
    if (kept >= 1) {
      std::fprintf(rec, "Reduced Sample Set: Iteration %d\n\n", it);
      write_title_line(rec, pc, false);
      for (int i = 1; i <= kept; ++i)
        write_sample_row(rec, pc, pool.column(rank[i]), pool_objectives[static_cast<std::size_t>(rank[i] - 1)],
                         "%lf\t", false);
    }
    mlsl_reduced_sample reduced;
    reduced.alpha = mlsl_critical_distance(pc, m);
    reduced.end_distance = pc.mlsl_end_distance;
    for (int i = 1; i <= kept; ++i) {
      reduced.members.push_back(pool.column(rank[i]));
      reduced.totals.push_back(pool.phi(rank[i]));
    }
    std::fprintf(rec, "\n\nFor iteration %d, alpha equals %lf\n\n", it, reduced.alpha);

    double smallest_end = no_end_total;
    for (int i = 1; i <= kept && st.reason == 0; ++i) {
      if (mlsl_refusal(rec, i, npar, reduced, ends, starts) != 0) continue;
      const int sample = rank[i];
      const double* start = pool.column(sample);
      std::fprintf(rec, "\nA LS will be performed from vector %d of the reduced sample in iteration %d\n", i, it);
      ++st.actual;
      const int first_column = points.count() + 1;
      points.append(start, infinite);
      starts.append(start, 0.0);
      search_trail trail{&points, false};
      search_outcome end;
      objective_row end_objectives;
      st.status = local_search_from(c, model, start, lambda_as_read, &trail, end, end_objectives);
      if (st.status == toolbox_stop_requested) return 0;
      st.calls += end.model_calls;
      const double total = end_objectives[0];
      const objective_row& start_objectives = pool_objectives[static_cast<std::size_t>(sample - 1)];

      for (int p = 1; p <= npar; ++p) end_vector[static_cast<std::size_t>(p - 1)] = pc.params[p].parval1;
      bool known = false;
      for (int k = 1; k <= ends.count() && !known; ++k)
        known = euclidean_distance(npar, end_vector.data(), ends.column(k)) < 1e-6;
      if (known) {
        std::fprintf(rec, "\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n");
        std::fprintf(rec, "\n Results of MLSL supervised local search which occured in step %d --->\n\n", it);
        write_search_block(rec, pc, start, start_objectives, end_objectives, end.model_calls, st.calls);
      } else {
        ends.append(end_vector.data(), total);
        std::fprintf(rec, "\n Results of MLSL supervised local search %d which occured in step %d --->\n\n",
                     ends.count(), it);
        write_search_block(rec, pc, start, start_objectives, end_objectives, end.model_calls, st.calls);
        std::fprintf(rec, "Upgrade vectors for Local Search %d which occured during step %d of MLSL\n\n",
                     ends.count(), it);
        for (int k = first_column; k <= points.count(); ++k) {
          const double* point = points.column(k);
          for (int p = 1; p <= npar; ++p)
            if (pc.params[p].is_adjustable()) std::fprintf(rec, "%lf\t", in_own_units(pc.params[p], point[p - 1]));
          std::fprintf(rec, "%lf\t", points.phi(k));
          for (int g = 1; g <= pc.nobsgp; ++g) std::fprintf(rec, "%lf\t", unset_total);
          std::fprintf(rec, "\n");
        }
        std::fprintf(rec, "\n\n");
      }
      result.searches.push_back(std::move(end));

      smallest_end = std::min(smallest_end, total);
      if (st.actual > 1) {
        if (total < (1.0 - set.f) * st.best) st.search_no_gain = 0;
        else ++st.search_no_gain;
      }
      if (!st.best_set || total < st.best) {
        st.best = total;
        st.best_set = true;
        st.best_search = st.actual;
      }
      if (st.search_no_gain == set.search_stall) st.reason = 1;
      else if (st.actual == set.searches) st.reason = 2;
    }

    // The iteration's gain: an iteration without a local search gains
    // nothing, and the first one that ends a search sets the mark.
    if (it == 1) {
      if (st.actual >= 1 && !st.iteration_best_set) {
        st.iteration_best = st.best;
        st.iteration_best_set = true;
      }
    } else {
      const bool searched = smallest_end < no_end_total;
      const bool gained =
          searched && (!st.iteration_best_set || smallest_end < (1.0 - set.f) * st.iteration_best);
      st.iteration_no_gain = gained ? 0 : st.iteration_no_gain + 1;
      if (searched && (!st.iteration_best_set || smallest_end < st.iteration_best)) {
        st.iteration_best = smallest_end;
        st.iteration_best_set = true;
      }
    }
    if (st.iteration_no_gain == set.iteration_stall) {
      st.reason = 5;
    } else {
      if (mlsl_bayes_stop(ends.count(), set.gamma * m)) st.reason = 3;
      if (it >= set.iterations) st.reason = 4;
    }
    if (st.reason != 0) break;
  }

  std::fprintf(rec, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
  std::fprintf(rec, "Actual number of local searches performed is: %d\n", st.actual);
  std::fprintf(rec, "The number of local searches that yielded distinct local minima: %d\n", ends.count());
  std::fprintf(rec, "The number of MLSL iterations is: %d\n", it);
  std::fprintf(rec, "The global search process yielded a total objective function value of %lf\n",
               st.best_set ? st.best : unset_total);
  std::fprintf(rec, "This value was obtained from reported inversion run number %d\n\n", st.best_search);
  std::fprintf(rec, "Total model calls    = %d\n", st.calls);
  switch (st.reason) {
    case 1:
      std::fprintf(rec,
                   "Stopped because there have been %d actual local searches with no objective function "
                   "improvement.\n\n",
                   st.search_no_gain);
      break;
    case 2:
      std::fprintf(rec, "Stopped because there have been %d local searches, the maximum set with input.\n\n",
                   st.actual);
      break;
    case 3: std::fprintf(rec, "Stopped because Bayesian stopping criteria were satisfied.\n\n"); break;
    case 4:
      std::fprintf(rec, "Stopped because the maximum MLSL iterations, %d, to carry out were carried out\n\n",
                   set.iterations);
      break;
    default:
      std::fprintf(rec,
                   "Stopped because there have been %d MLSL iterations with no objective function "
                   "improvement.\n\n",
                   st.iteration_no_gain);
      break;
  }
  result.best_total = st.best_set ? st.best : 0.0;
  result.best_search = st.best_search;
  result.distinct_minima = ends.count();
  result.iterations = it;
  result.stop_reason = st.reason;
  result.model_calls = st.calls;
  if (outcome) *outcome = std::move(result);
  close_template_files(c.streams);
  close_instruction_files(c.streams);
  const bool written = finish_search_file(record, "slm_dru_mlsl.rec") && seeds.finish();
  // A failed sample or search is one point the search did without; a
  // search none of whose samples ran found nothing.
  if (samples_that_ran(pool) == 0) {
    toolbox_report(toolbox_msg::no_sample_ran);
    return 1;
  }
  return written ? 0 : 1;
}

int slm_dru_mlsl(int argc, char** argv) {
  nivra_model model("-mlsl");
  return run_mlsl_mode(argc, argv, model);
}

}  // namespace nivra
