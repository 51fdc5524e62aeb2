#include "toolbox/toolbox_trajectory.h"

#include <algorithm>
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

int tr_choose_start(const pest_control& pc, const std::vector<int>& rank, int candidates,
                    const std::vector<bool>& used, const point_store& samples, const point_store& points) {
  int first_free = 0, farthest = 0;
  double largest = 0.0;
  for (int r = 0; r < candidates; ++r) {
    const int s = rank[static_cast<std::size_t>(r)];
    if (used[static_cast<std::size_t>(s)]) continue;
    if (first_free == 0) first_free = s;
    for (int k = 1; k <= points.count(); ++k) {
      const double d = bounded_distance_sq(pc, samples.column(s), points.column(k));
      if (d > largest) {
        largest = d;
        farthest = s;
      }
    }
  }
  return farthest != 0 ? farthest : first_free;
}

int run_tr_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome) {
  search_input input;
  guarded_file record;
  toolbox_case c;
  if (open_global_search(argc, argv,
                         {"trajectory repulsion", "Trajectory repulsion", "tr.in", "slm_dru_ms2.rec",
                          "slm_dru_ms2"},
                         input, record, c) != 0)
    return 1;
  pest_control& pc = c.pc;

  print_seed_lines();
  bool write_seeds = true;
  long long seed = 0, n = 0, m_max = 0, l_stall = 0;
  double f = 0.0;
  if (input.yes_no(write_seeds, "the seed word, Y (draw the seeds) or N (read them)") != 0 ||
      input.whole(seed, 0, 4294967295LL, "the random seed, a whole number from 0 to 4294967295") != 0 ||
      input.whole(n, 1, max_search_samples, "the number of sample runs, a whole number from 1 to 1000000") != 0 ||
      input.whole(m_max, 1, max_search_samples, "the local searches, a whole number from 1 to 1000000") != 0 ||
      input.whole(l_stall, 0, max_search_samples, "the searches without gain, a whole number of 0 or more") != 0 ||
      input.real(f, 0.0, 1.0, false, true, "the negligible fraction, from 0 up to below 1") != 0 ||
      input.end() != 0)
    return 1;
  sample_seeds seeds;
  if (seeds.open(write_seeds, static_cast<std::uint32_t>(seed)) != 0) return 1;
  const int samples = static_cast<int>(n), searches = static_cast<int>(m_max);
  const int stall = static_cast<int>(l_stall);

  std::FILE* rec = record.fp;
  const double lambda_as_read = pc.rlambda1;
  point_store pool(pc.npar), points(pc.npar);
  std::vector<objective_row> objectives;
  int status = 0;
  const auto head = [&] {
    std::fprintf(rec, "                        CT_MS2 CONTROL INFORMATION\n\n");
    std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seeds.seed_as_read());
    std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %d\n", samples);
    std::fprintf(rec, "Maximum number of CT inversions to carry out                : %d\n", searches);
    std::fprintf(rec, "Number of CT runs with no objective function improvement    : %d\n", stall);
    std::fprintf(rec, "Improvement fraction judged to be negligible                : %lf\n", f);
    std::fprintf(rec, "Name of existing control file : %s\n\n", c.case_name.c_str());
    std::fprintf(rec, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
    write_title_line(rec, pc, true);
  };
  const int sampled =
      run_sample_phase(c, model, seeds, samples, pool, objectives, rec, head, "%.10E\t", nullptr, status);
  if (sampled == toolbox_stop_requested) return 0;
  if (sampled != 0) return 1;
  // Failed samples rank last (their phi is +infinity) and are never a
  // start: the candidates are the best of those that ran.
  const int ran = samples_that_ran(pool);
  if (ran == 0) {
    toolbox_report(toolbox_msg::no_sample_ran);
    return 1;
  }

  array1d<double> totals(samples);
  array1d<int> ranked(samples);
  for (int k = 1; k <= samples; ++k) totals[k] = pool.phi(k);
  indexx(samples, totals, ranked);
  std::vector<int> rank(static_cast<std::size_t>(samples));
  for (int k = 1; k <= samples; ++k) rank[static_cast<std::size_t>(k - 1)] = ranked[k];
  std::vector<bool> used(static_cast<std::size_t>(samples) + 1, false);
  std::fprintf(rec, "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");

  global_outcome result;
  result.model_calls = samples;
  int no_gain = 0;
  for (int r = 1; r <= searches; ++r) {
    const int s = tr_choose_start(pc, rank, std::min(searches, ran), used, pool, points);
    if (s == 0) break;  // every sample has been a start
    used[static_cast<std::size_t>(s)] = true;
    const double* start = pool.column(s);
    points.append(start, std::numeric_limits<double>::infinity());
    search_trail trail{&points, true};
    search_outcome end;
    objective_row end_objectives;
    status = local_search_from(c, model, start, lambda_as_read, &trail, end, end_objectives);
    if (status == toolbox_stop_requested) return 0;
    result.model_calls += end.model_calls;
    std::fprintf(rec, " Results of CT inversion run number %d --->\n\n", r);
    write_result_tables(rec, pc, start, objectives[static_cast<std::size_t>(s - 1)], end_objectives,
                        "\t%s\t%.10E\t%.10E\n", "\t%s\t%lE\t%lE\n");
    std::fprintf(rec, "\n\n");
    std::fprintf(rec, " Number of model runs for latest CT run   = %d\n", end.model_calls);
    std::fprintf(rec, " Total number of model calls so far       = %d\n", result.model_calls);
    std::fprintf(rec, "\n\n");
    std::fprintf(rec, "\n\n");

    const double total = end_objectives[0];
    if (r > 1) no_gain = total < (1.0 - f) * result.best_total ? 0 : no_gain + 1;
    if (r == 1 || total < result.best_total) {
      result.best_total = total;
      result.best_search = r;
    }
    result.searches.push_back(std::move(end));
    if (no_gain == stall) break;
  }
  std::fprintf(rec, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
  std::fprintf(rec, "The global search process yielded a total objective function value of %lf\n",
               result.best_total);
  std::fprintf(rec, "This value was obtained from inversion run number %d\n\n", result.best_search);
  if (outcome) *outcome = std::move(result);
  close_template_files(c.streams);
  close_instruction_files(c.streams);
  const bool written = finish_search_file(record, "slm_dru_ms2.rec") && seeds.finish();
  return written ? 0 : 1;
}

int slm_dru_ms2(int argc, char** argv) {
  nivra_model model("-tr");
  return run_tr_mode(argc, argv, model);
}

}  // namespace nivra
