// The SCE run mode: its input file, the checks of its control values, the
// evaluation log and the driver that runs the search and writes the best
// parameter set.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "calibration/sce.h"
#include "core/process.h"
#include "core/tokens.h"
#include "model/project.h"

namespace nivra {

namespace {

// Reads the numbers of one input line as whole tokens: count values, the
// ones marked in is_int as whole numbers. False when the line holds fewer
// or more, or one does not read.
bool read_numbers(const std::string& text, int count, const bool* is_int, double* out) {
  card_line line(text);
  std::string token;
  for (int i = 0; i < count; ++i) {
    if (!next_token(line, token)) return false;
    if (is_int && is_int[i]) {
      int v = 0;
      if (!whole_token_int(token, v)) return false;
      out[i] = v;
    } else if (!whole_token_double(token, out[i]) || !std::isfinite(out[i])) {
      return false;
    }
  }
  return !next_token(line, token);
}

int input_fault(const std::string& file, int line, const char* what) {
  std::printf("Error: line %d of the SCE input file %s %s.\n", line, file.c_str(), what);
  return -1;
}

// Writes a message of the checks to the console and, when it is open, to
// the output file.
void both(sce_record& r, const char* text) {
  std::fputs(text, stdout);
  if (r.out_file.fp) std::fputs(text, r.out_file.fp);
}

}  // namespace

int scein(sce_record& r, guarded_file& input, const std::string& input_name) {
  std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
  std::string text;
  int line_no = 0;
  auto next_line = [&]() {
    ++line_no;
    return read_line(text, input) != 0;
  };
  if (r.model_mode) {
    std::string* const names[] = {&r.project_file, &r.replace_file, &r.obs_file};
    const char* const roles[] = {"must name the project file", "must name the replacement parameter list",
                                 "must name the observation file"};
    for (int i = 0; i < 3; ++i) {
      card_line line;
      if (!next_line()) return input_fault(input_name, line_no, roles[i]);
      line = text;
      if (!next_token(line, *names[i]) || names[i]->empty()) return input_fault(input_name, line_no, roles[i]);
    }
    prescan_project_path(r.project_file);
  }

  r.ideflt = 0;
  double v[7];
  static const bool control_ints[7] = {true, true, false, true, true, true, true};
  if (!next_line() || !read_numbers(text, 7, control_ints, v)) {
    std::printf("Error in your input file. The first line must have 7 parameters.\n");
    std::printf("  (line %d of %s: the evaluation limit, kstop, pcento, the number of complexes, the seed, "
                "ideflt and the number of parameters, all whole numbers but pcento)\n",
                line_no, input_name.c_str());
    return -1;
  }
  r.maxn = static_cast<int>(v[0]);
  r.kstop = static_cast<int>(v[1]);
  r.pcento = v[2];
  r.ngs = static_cast<int>(v[3]);
  r.iseed = static_cast<int>(v[4]);
  r.ideflt = static_cast<int>(v[5]);
  r.nopt = static_cast<int>(v[6]);
  const int control_line = line_no;
  if (r.maxn < 1) return input_fault(input_name, control_line, "must allow 1 or more evaluations");
  if (r.pcento < 0.0) return input_fault(input_name, control_line, "gives a negative pcento");
  if (r.ideflt != 0 && r.ideflt != 1) return input_fault(input_name, control_line, "must give ideflt 0 or 1");
  if (r.nopt < 1) return input_fault(input_name, control_line, "must give 1 or more parameters");
  // The generator takes seeds of 1 .. 2^31 - 2 in size.
  if (r.iseed < -2147483646 || r.iseed > 2147483646)
    return input_fault(input_name, control_line, "gives a seed beyond 2147483646 in size");
  if (r.iseed == 0) r.iseed = 3737;

  if (!next_line()) return input_fault(input_name, line_no, "is missing: it gives npg nps nspl mings iniflg iprint");
  if (r.ideflt == 1) {
    static const bool all_ints[6] = {true, true, true, true, true, true};
    double u[6];
    if (!read_numbers(text, 6, all_ints, u))
      return input_fault(input_name, line_no, "must give six whole numbers: npg nps nspl mings iniflg iprint");
    r.npg = static_cast<int>(u[0]);
    r.nps = static_cast<int>(u[1]);
    r.nspl = static_cast<int>(u[2]);
    r.mings = static_cast<int>(u[3]);
    r.iniflg = static_cast<int>(u[4]);
    r.iprint = static_cast<int>(u[5]);
    if ((r.iniflg != 0 && r.iniflg != 1) || (r.iprint != 0 && r.iprint != 1))
      return input_fault(input_name, line_no, "must give iniflg and iprint 0 or 1");
  }

  // The parameter lines are read before anything is sized.
  std::vector<double> bounds;
  for (int i = 1; i <= r.nopt; ++i) {
    double p[3];
    if (!next_line()) return input_fault(input_name, line_no, "is missing: the file gives fewer parameters than it says");
    if (!read_numbers(text, 3, nullptr, p))
      return input_fault(input_name, line_no, "must give three numbers: the initial value and the lower and upper bounds");
    if (p[1] >= p[2]) {
      std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %d\n", i);
      return -1;
    }
    bounds.insert(bounds.end(), p, p + 3);
  }
  while (next_line()) {
    if (text.find_first_not_of(" \t\r") != std::string::npos)
      return input_fault(input_name, line_no, ("holds more than its " + std::to_string(r.nopt) + " parameters").c_str());
  }
  r.a.alloc(r.nopt + 1);
  r.bl.alloc(r.nopt + 1);
  r.bu.alloc(r.nopt + 1);
  for (int i = 1; i <= r.nopt; ++i) {
    r.a[i] = bounds[3 * (i - 1)];
    r.bl[i] = bounds[3 * (i - 1) + 1];
    r.bu[i] = bounds[3 * (i - 1) + 2];
    if (r.iniflg == 1 && (r.a[i] < r.bl[i] || r.a[i] > r.bu[i])) {
      std::printf("Error: the initial value %g of parameter %d in %s lies outside its bounds %g .. %g.\n",
                  r.a[i], i, input_name.c_str(), r.bl[i], r.bu[i]);
      return -1;
    }
  }
  close_guarded_file(input);
  return 0;
}

int sce_check_params(sce_record& r) {
  char text[256];
  int warnings = 0;
  if (r.ideflt == 0) {
    r.iniflg = 0;
    r.iprint = 0;
    r.nps = r.nopt + 1;
    r.npg = 2 * r.nopt + 1;
    r.mings = r.ngs;
    r.nspl = 2 * r.nopt + 1;
  }
  if (r.ngs < 1 || r.ngs >= sce_population_limit) {
    std::snprintf(text, sizeof text,
                  " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n", r.ngs);
    both(r, text);
    return -1;
  }
  // The criterion history holds 20 loops: kstop 1 .. 19 can be used.
  if (r.kstop < 1 || r.kstop > 19) {
    both(r, " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
    std::snprintf(text, sizeof text,
                  " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", r.kstop);
    both(r, text);
    both(r, " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
    r.kstop = 5;
    ++warnings;
  }
  if (r.mings < 1 || r.mings > r.ngs) {
    std::snprintf(text, sizeof text, " **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n",
                  r.mings);
    both(r, text);
    both(r, " SET IT TO DEFAULT\n");
    r.mings = r.ngs;
    ++warnings;
  }
  if (r.npg < 2 || r.npg > sce_population_limit / r.ngs) {
    std::snprintf(text, sizeof text, " **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", r.npg);
    both(r, text);
    both(r, " A VALID CHOICE, SET IT TO DEFAULT\n");
    r.npg = 2 * r.nopt + 1;
    ++warnings;
  }
  if (r.nps < 2 || r.nps > r.npg || r.nps >= 51) {
    std::snprintf(text, sizeof text, " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", r.nps);
    both(r, text);
    both(r, " A VALID CHOICE, SET IT TO DEFAULT\n");
    r.nps = r.nopt + 1;
    ++warnings;
  }
  if (r.nspl < 1) {
    both(r, " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
    std::snprintf(text, sizeof text, " BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n", r.nspl);
    both(r, text);
    r.nspl = r.npg;
    ++warnings;
  }
  if (static_cast<long long>(r.npg) * r.ngs > sce_population_limit) {
    std::snprintf(text, sizeof text, " **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %d EXCEED\n",
                  r.npg * r.ngs);
    both(r, text);
    both(r, " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
    r.ngs = 2;
    r.npg = r.nspl = 2 * r.nopt + 1;
    r.nps = r.nopt + 1;
    ++warnings;
  }
  if (r.mings > r.ngs) r.mings = r.ngs;
  // A sub-complex is at most a complex (a default for many parameters may
  // exceed the points of a complex given in the file).
  if (r.nps > r.npg) r.nps = r.npg;
  if (warnings > 0) {
    std::snprintf(text, sizeof text, " *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings);
    both(r, text);
  }
  if (r.out_file.fp) std::fflush(r.out_file.fp);
  return warnings;
}

void sce_setup(sce_record& r, const std::string& input_file, const std::string& output_file) {
  guarded_file input;
  if (!open_input_file(input, input_file)) {
    std::printf("Can't open SCE input file %s\n", input_file.c_str());
    r.setup_ok = 0;
    return;
  }
  r.setup_ok = scein(r, input, input_file) == 0 && sce_check_params(r) >= 0 ? 1 : 0;
  r.out_open = 1;
  if (!open_guarded_file(r.out_file, output_file, "w")) {
    std::printf("Can't open output file %s\n", output_file.c_str());
    r.setup_ok = 0;
  }
  close_guarded_file(input);
}

int sce_read_observations(sce_record& r) {
  r.cost = std::make_unique<calib_cost>();
  return r.cost->read_observations(r.obs_file);
}

int run_sce_mode(const parallel_env_t& env, const std::string& input_file) {
  (void)env;
  sce_record r;
  r.model_mode = 1;
  sce_setup(r, input_file, "sce_output.out");
  if (r.setup_ok) {
    if (sce_read_observations(r) == -1) {
      std::printf("Error: unable to open the observation file for reading or problem while reading it.\n"
                  "Attempted to read file: %s\n",
                  r.obs_file.c_str());
      return 0;
    }
    if (!check_calibration_list(r.replace_file, r.nopt) || !check_list_keys(r.replace_file, r.project_file, r.keys))
      r.setup_ok = 0;
  }
  r.model_objective = calib_run_callback;
  const int runs = sceua(r);
  if (runs < 1) {
    std::printf("Error: unable to successfully run the SCE method\n");
    return 0;
  }
  if (r.best_criterion >= cost_failed) {
    std::printf("Error: every model run of the SCE calibration failed; no best parameter set is written.\n");
    return 0;
  }
  guarded_file best;
  if (!open_guarded_file(best, "sce_best.out", "w")) {
    std::printf("Error: unable to open sce_best.out for the best parameter set.\n");
    return 0;
  }
  std::printf("The best results of the SCE calibration after %d runs:\n", runs);
  std::fprintf(best.fp, "The best results of the SCE calibration %d runs:\n", runs);
  for (int j = 1; j <= r.nopt; ++j) {
    const auto k = static_cast<std::size_t>(j - 1);
    const std::string name = k < r.keys.size() ? r.keys[k] : "parameter " + std::to_string(j);
    // A best value on a bound may be held there by it: the note says so
    // after the value, on the console and in the file.
    const int side = sce_bound_side(r.bestx[j], r.bl[j], r.bu[j]);
    char bound[96] = "";
    if (side != 0)
      std::snprintf(bound, sizeof bound, " at its %s bound %.8g", side < 0 ? "lower" : "upper",
                    side < 0 ? r.bl[j] : r.bu[j]);
    std::printf("%le  %s%s%s\n", r.bestx[j], name.c_str(), bound, side ? ": the best fit may lie beyond it" : "");
    if (side != 0) std::fprintf(best.fp, "%le  %s%s\n", r.bestx[j], name.c_str(), bound);
    else std::fprintf(best.fp, "%le\n", r.bestx[j]);
  }
  close_guarded_file(best);
  return 1;
}

int sce_bound_side(double value, double lower, double upper, double share) {
  const double reach = share * (upper - lower);
  if (value <= lower + reach) return -1;
  if (value >= upper - reach) return 1;
  return 0;
}

}  // namespace nivra
