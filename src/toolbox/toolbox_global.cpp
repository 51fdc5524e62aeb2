#include "toolbox/toolbox_global.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/errors.h"
#include "toolbox/toolbox_entry.h"
#include "toolbox/toolbox_model.h"

namespace nivra {

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();

}  // namespace

double in_own_units(const param_rec& p, double held) { return p.is_log() ? std::pow(10.0, held) : held; }

// ------------------------------------------------------------ random starts

std::uint32_t gopt_next_seed(std::uint32_t seed) { return seed * 1664525u + 1013904223u; }

std::int32_t gopt_random_state(std::uint32_t seed) { return -static_cast<std::int32_t>(seed / 2u); }

int gopt_random_start(pest_control& pc, ran1_state& state) {
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    if (!p.is_adjustable()) continue;
    const double u = ran1(state);
    if (p.is_log()) {
      const double lo = std::pow(10.0, p.parlbnd), hi = std::pow(10.0, p.parubnd);
      p.parval1 = std::log10(lo + u * (hi - lo));
    } else {
      p.parval1 = p.parlbnd + u * (p.parubnd - p.parlbnd);
    }
  }
  return 0;
}

// ------------------------------------------------------------ visited points

void point_store::append(const pest_control& pc, double phi) {
  for (int i = 1; i <= npar_; ++i) values_.push_back(pc.params[i].parval1);
  phi_.push_back(phi);
}

void point_store::append(const double* values, double phi) {
  values_.insert(values_.end(), values, values + npar_);
  phi_.push_back(phi);
}

int samples_that_ran(const point_store& pool) {
  int n = 0;
  for (int k = 1; k <= pool.count(); ++k) n += sample_ran(pool, k) ? 1 : 0;
  return n;
}

double bounded_distance_sq(const pest_control& pc, const double* a, const double* b) {
  double sum = 0.0;
  for (int i = 1; i <= pc.npar; ++i) {
    const double width = pc.params[i].parubnd - pc.params[i].parlbnd;
    if (width == 0.0) continue;
    const double d = (a[i - 1] - b[i - 1]) / width;
    sum += d * d;
  }
  return sum;
}

double euclidean_distance(int n, const double* a, const double* b) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

bool gopt_near_minimum(const point_store& points, int count, const pest_control& pc) {
  for (int k = 1; k <= count; ++k) {
    const double* point = points.column(k);
    double sum = 0.0;
    for (int i = 1; i <= pc.npar; ++i) {
      const param_rec& p = pc.params[i];
      const double width = p.parubnd - p.parlbnd;
      if (width == 0.0) continue;
      const double d = (p.parval1 - point[i - 1]) / width;
      sum += d * d;
    }
    const double distance = std::sqrt(sum);
    if (distance > 1e-10 && distance < pc.near_min_distance) return true;
  }
  return false;
}

// ------------------------------------------------------------ entry

int open_global_search(int argc, char** argv, const global_search_names& names, search_input& input,
                       guarded_file& record, toolbox_case& c) {
  if (argc < 3) {
    std::printf("\n");
    std::printf("No command line arguments.\n");
    std::printf("At the command prompt, please enter appropriate additional information.\n");
    std::printf("Review the NIVRA user's manual as needed.\n");
    return 1;
  }
  std::printf("\nUsing the %s stochastic global optimization method,\n", names.method);
  std::printf("as implemented directly in NIVRA, to calibrate the current NIVRA model.\n");
  std::printf("%s uses the (Secant) Levenberg-Marquardt local search method,\n", names.user);
  std::printf("as implemented directly in NIVRA, for local search.\n\n");
  if (input.open(names.input_file) != 0 || !open_search_file(record, names.record_file, "w")) return 1;
  const std::string refusal = std::string("\nCurrently, the ") + names.program +
                              " does not support prediction capabilities.\n"
                              "Please change the PESTMODE parameter in the input control\n"
                              "file to 'estimation' and recommence execution of " +
                              names.program + ".\n\n";
  return open_toolbox_case(argc, argv, refusal.c_str(), c);
}

void print_seed_lines() {
  std::printf("This program will either generate or read seeds associated with\n");
  std::printf("random sampling - the ability to read thus precludes having\n");
  std::printf("to recompute previously computed pre-inversion runs.\n\n");
}

// ------------------------------------------------------------ input files

int search_input::open(std::string_view name) {
  name_ = name;
  if (!read_text_file(name, text_)) return toolbox_report(toolbox_msg::open_control, {}, name_);
  cursor_ = text_cursor(text_);
  return 0;
}

int search_input::bad(const char* expected) {
  set_error(toolbox_msg::search_input, expected, name_, cursor_.word_line());
  report_error();
  return toolbox_msg::search_input;
}

int search_input::word(std::string& value, const char* expected) {
  std::string_view w;
  if (!cursor_.next_word(w)) return bad(expected);
  value = w;
  return 0;
}

int search_input::yes_no(bool& yes, const char* expected) {
  std::string_view w;
  if (!cursor_.next_word(w) || (w != "Y" && w != "N")) return bad(expected);
  yes = w == "Y";
  return 0;
}

int search_input::whole(long long& value, long long lowest, long long highest, const char* expected) {
  std::string_view w;
  if (!cursor_.next_word(w)) return bad(expected);
  const std::string text(w);
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < lowest || v > highest) return bad(expected);
  value = v;
  return 0;
}

int search_input::real(double& value, double lowest, double highest, bool open_low, bool open_high,
                       const char* expected) {
  std::string_view w;
  if (!cursor_.next_word(w)) return bad(expected);
  const std::string text(w);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < lowest || v > highest ||
      (open_low && v == lowest) || (open_high && v == highest))
    return bad(expected);
  value = v;
  return 0;
}

int search_input::end() {
  std::string_view w;
  if (!cursor_.next_word(w)) return 0;
  return bad("the end of the file after its last value");
}

// ------------------------------------------------------------ samples

int sample_seeds::open(bool writing, std::uint32_t seed) {
  first_seed_ = seed_ = seed;
  reading_ = !writing;
  if (reading_) return read_.open("RandomNumberSeeds.prn");
  return open_search_file(file_, "RandomNumberSeeds.prn", "w") ? 0 : toolbox_msg::write_file;
}

int sample_seeds::next(std::int32_t& state) {
  seed_ = gopt_next_seed(seed_);
  state = gopt_random_state(seed_);
  if (reading_) {
    long long value = 0;
    if (const int code = read_.whole(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max(),
                                     "the random state of the next sample"))
      return code;
    state = static_cast<std::int32_t>(value);
  } else {
    std::fprintf(file_.fp, "%d\n", state);
  }
  return 0;
}

bool sample_seeds::finish() { return reading_ || finish_search_file(file_, "RandomNumberSeeds.prn"); }

double group_total(const pest_control& pc) {
  double total = 0.0;
  for (int g = 1; g <= pc.nobsgp; ++g) total += pc.obs_groups[g].phi;
  return total;
}

objective_row failed_objectives(const pest_control& pc) {
  return objective_row(static_cast<std::size_t>(pc.nobsgp) + 1, infinite);
}

objective_row current_objectives(const pest_control& pc) {
  objective_row row(static_cast<std::size_t>(pc.nobsgp) + 1);
  row[0] = group_total(pc);
  for (int g = 1; g <= pc.nobsgp; ++g) row[static_cast<std::size_t>(g)] = pc.obs_groups[g].phi;
  return row;
}

void draw_random_sample(pest_control& pc, std::int32_t state, double* values) {
  ran1_state random;
  random.idum = state;
  gopt_random_start(pc, random);
  if (pc.n_tied > 0) recompute_tied(pc);
  for (int i = 1; i <= pc.npar; ++i) values[i - 1] = pc.params[i].parval1;
}

int score_sample(toolbox_case& c, toolbox_model& model, objective_row& objectives) {
  pest_control& pc = c.pc;
  const int code = slm_optimise(pc, false, c.names, c.rec.fp, c.sen.fp, c.par.fp, c.streams, model);
  objectives = code == 0 ? current_objectives(pc) : failed_objectives(pc);
  return code;
}

int run_sample_phase(toolbox_case& c, toolbox_model& model, sample_seeds& seeds, int count,
                     point_store& pool, std::vector<objective_row>& objectives, std::FILE* rec,
                     const std::function<void()>& head, const char* param_format,
                     std::FILE* parameters, int& last_status) {
  pest_control& pc = c.pc;
  const int noptmax = pc.noptmax;
  pc.noptmax = 0;
  std::vector<double> sample(static_cast<std::size_t>(pc.npar));
  int code = 0;
  for (int k = 1; k <= count && code == 0; ++k) {
    std::int32_t state = 0;
    if ((code = seeds.next(state)) != 0) break;
    draw_random_sample(pc, state, sample.data());
    if (parameters) {
      for (int i = 1; i <= pc.npar; ++i) std::fprintf(parameters, "%.12E\t", pc.params[i].model_value());
      std::fprintf(parameters, "\n");
    }
    objective_row score;
    last_status = score_sample(c, model, score);
    if (last_status == toolbox_stop_requested) code = last_status;
    pool.append(sample.data(), score[0]);
    if (k == 1) head();
    write_sample_row(rec, pc, sample.data(), score, param_format, true);
    objectives.push_back(std::move(score));
  }
  pc.noptmax = noptmax;
  return code;
}

int local_search_from(toolbox_case& c, toolbox_model& model, const double* start,
                      double lambda_as_read, search_trail* trail, search_outcome& outcome,
                      objective_row& objectives) {
  pest_control& pc = c.pc;
  pc.rlambda1 = lambda_as_read;
  for (int i = 1; i <= pc.npar; ++i) pc.params[i].parval1 = start[i - 1];
  outcome = search_outcome();
  const int code =
      slm_optimise(pc, false, c.names, c.rec.fp, c.sen.fp, c.par.fp, c.streams, model, &outcome, trail);
  objectives = code == 0 ? current_objectives(pc) : failed_objectives(pc);
  outcome.values.assign(static_cast<std::size_t>(pc.npar) + 1, 0.0);
  for (int i = 1; i <= pc.npar; ++i) outcome.values[static_cast<std::size_t>(i)] = pc.params[i].model_value();
  outcome.phi = objectives[0];
  return code;
}

// ------------------------------------------------------------ record lines

void write_title_line(std::FILE* f, const pest_control& pc, bool groups) {
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].is_adjustable()) std::fprintf(f, "%s\t", pc.params[i].parnme.c_str());
  std::fprintf(f, "Total\t");
  if (groups)
    for (int g = 1; g <= pc.nobsgp; ++g) std::fprintf(f, "%s\t", pc.obs_groups[g].obgnme.c_str());
  std::fprintf(f, "\n");
}

void write_sample_row(std::FILE* f, const pest_control& pc, const double* values,
                      const objective_row& objectives, const char* param_format, bool groups) {
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].is_adjustable()) std::fprintf(f, param_format, in_own_units(pc.params[i], values[i - 1]));
  std::fprintf(f, "%lf\t", objectives[0]);
  if (groups)
    for (int g = 1; g <= pc.nobsgp; ++g) std::fprintf(f, "%lf\t", objectives[static_cast<std::size_t>(g)]);
  std::fprintf(f, "\n");
}

void write_result_tables(std::FILE* f, const pest_control& pc, const double* start,
                         const objective_row& start_objectives, const objective_row& end_objectives,
                         const char* param_line, const char* objective_line) {
  std::fprintf(f, "     Parameter values:-\n\n");
  std::fprintf(f, "         Parameter           Starting parameter  Optimised parameter\n");
  std::fprintf(f, "         name                value               value\n");
  for (int i = 1; i <= pc.npar; ++i) {
    const param_rec& p = pc.params[i];
    if (p.is_adjustable())
      std::fprintf(f, param_line, p.parnme.c_str(), in_own_units(p, start[i - 1]), p.model_value());
  }
  std::fprintf(f, "\n\n     Objective function(s):-\n\n");
  std::fprintf(f, "         Observation         Starting objective  Optimised objective\n");
  std::fprintf(f, "         group name          function value      function value\n");
  std::fprintf(f, objective_line, "total", start_objectives[0], end_objectives[0]);
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(f, objective_line, pc.obs_groups[g].obgnme.c_str(),
                 start_objectives[static_cast<std::size_t>(g)], end_objectives[static_cast<std::size_t>(g)]);
  std::fprintf(f, "\n\n");
}

}  // namespace nivra
