// The multistart search (-ms): N random samples within the bounds, one
// model run each, then one full local search from every sample whose run
// did not fail, in the order drawn. "ms.in" gives the seed and N; "slm_dru_ms1.rec" records
// the samples and every local search, "parameters.prn" and
// "RandomNumberSeeds.prn" the samples' values and random states.
#include <cstdio>
#include <string>
#include <vector>

#include "run/steps.h"
#include "toolbox/toolbox_entry.h"
#include "toolbox/toolbox_global.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

int run_ms_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome) {
  search_input input;
  guarded_file record;
  toolbox_case c;
  if (open_global_search(argc, argv,
                         {"multistart", "Multistart", "ms.in", "slm_dru_ms1.rec", "slm_dru_ms1"}, input,
                         record, c) != 0)
    return 1;
  long long seed = 0, n = 0;
  if (input.whole(seed, 0, 4294967295LL, "the random seed, a whole number from 0 to 4294967295") != 0 ||
      input.whole(n, 1, max_search_samples, "the number of sample runs, a whole number from 1 to 1000000") != 0 ||
      input.end() != 0)
    return 1;
  pest_control& pc = c.pc;
  guarded_file parameters;
  sample_seeds seeds;
  if (!open_search_file(parameters, "parameters.prn", "w") ||
      seeds.open(true, static_cast<std::uint32_t>(seed)) != 0)
    return 1;

  const int samples = static_cast<int>(n);
  const double lambda_as_read = pc.rlambda1;
  std::FILE* rec = record.fp;
  point_store pool(pc.npar);
  std::vector<objective_row> objectives;
  int status = 0;
  const auto head = [&] {
    std::fprintf(rec, "                        CT_MS1 CONTROL INFORMATION\n\n");
    std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seeds.seed_as_read());
    std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %d\n", samples);
    std::fprintf(rec, "Name of existing control file : %s\n\n", c.case_name.c_str());
    std::fprintf(rec, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
    write_title_line(rec, pc, true);
  };
  if (run_sample_phase(c, model, seeds, samples, pool, objectives, rec, head, "%lf\t", parameters.fp,
                       status) == toolbox_stop_requested)
    return 0;
  // A sample whose run failed is no start; the search goes on from the
  // others.
  if (samples_that_ran(pool) == 0) {
    toolbox_report(toolbox_msg::no_sample_ran);
    return 1;
  }

  std::fprintf(rec, "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
  global_outcome result;
  result.model_calls = samples;
  int run = 0;
  for (int r = 1; r <= samples; ++r) {
    if (!sample_ran(pool, r)) {
      std::fprintf(rec, " Sample run number %d failed: no CT inversion run starts from it.\n\n", r);
      continue;
    }
    ++run;
    const double* start = pool.column(r);
    search_outcome end;
    objective_row end_objectives;
    const int code = local_search_from(c, model, start, lambda_as_read, nullptr, end, end_objectives);
    if (code == toolbox_stop_requested) return 0;
    result.model_calls += end.model_calls;
    if (result.best_search == 0 || end.phi < result.best_total) {
      result.best_total = end.phi;
      result.best_search = run;
    }
    result.searches.push_back(std::move(end));
    std::fprintf(rec, " Results of CT inversion run number %d --->\n\n", run);
    write_result_tables(rec, pc, start, objectives[static_cast<std::size_t>(r - 1)], end_objectives,
                        "\t%s\t%lf\t%lf\n", "\t%s\t%lf\t%lf\n");
  }
  close_template_files(c.streams);
  close_instruction_files(c.streams);
  if (outcome) *outcome = std::move(result);
  const bool written = finish_search_file(record, "slm_dru_ms1.rec") &&
                       finish_search_file(parameters, "parameters.prn") && seeds.finish();
  return written ? 0 : 1;
}

int slm_dru_ms1(int argc, char** argv) {
  nivra_model model("-ms");
  return run_ms_mode(argc, argv, model);
}

}  // namespace nivra
