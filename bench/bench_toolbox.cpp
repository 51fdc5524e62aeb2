// The parameter-estimation toolbox's hot spots: the Cholesky solve of the
// damped normal equations and the Jacobi eigen analysis of the covariance,
// both on 100 x 100 matrices, the reading of a 10,000-line model output
// through an instruction file after every model run, the Marquardt upgrade
// and the secant update of a 4,000 x 20 Jacobian, a whole -slm and a whole
// -ms search on an analytic model (the cost the toolbox adds to every model
// run), and the distance tests of the global searches over their stores of
// visited points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/process.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_global.h"
#include "toolbox/toolbox_mlsl.h"
#include "toolbox/toolbox_numerics.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_search.h"
#include "toolbox/toolbox_templates.h"
#include "toolbox/toolbox_trajectory.h"
#include "toolbox/toolbox_upgrade.h"

namespace {

constexpr int n = 100;

// A symmetric positive definite matrix: a smooth kernel plus the diagonal.
nivra::array2d<double> spd_matrix() {
  nivra::array2d<double> a(n, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) a[i][j] = 1.0 / (1.0 + (i - j) * (i - j)) + (i == j ? n : 0);
  return a;
}

void BM_CholeskySolve100(benchmark::State& state) {
  nivra::array2d<double> a = spd_matrix();
  nivra::array1d<double> p(n), b(n), x(n);
  for (int i = 1; i <= n; ++i) b[i] = i;
  for (auto _ : state) {
    // The factor reads the upper triangle and writes the lower one, so the
    // same matrix is factored again every time.
    if (nivra::choldc(a, n, p) != nivra::numeric_status::ok) {
      state.SkipWithError("the Cholesky factor failed");
      break;
    }
    nivra::cholesky_solve(a, n, p, b, x);
    benchmark::DoNotOptimize(x.data());
  }
}
BENCHMARK(BM_CholeskySolve100);

void BM_JacobiEigen100(benchmark::State& state) {
  const nivra::array2d<double> a = spd_matrix();
  nivra::array2d<double> work(n, n), v(n, n);
  nivra::array1d<double> d(n);
  int rotations = 0;
  for (auto _ : state) {
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) work[i][j] = a[i][j];
    if (nivra::jacobi(work, n, d, v, rotations) != nivra::numeric_status::ok) {
      state.SkipWithError("the Jacobi rotations did not converge");
      break;
    }
    nivra::sort_eigen_desc(d, v, n);
    benchmark::DoNotOptimize(d.data());
  }
  state.counters["rotations"] = rotations;
}
BENCHMARK(BM_JacobiEigen100)->Unit(benchmark::kMillisecond);

// 10,000 output lines; every fifth line gives two observations, one by
// fixed columns and one by name after a marker: 4,000 observations.
void BM_ReadInstructions10000Lines(benchmark::State& state) {
  nivra::reset_process_state();
  const nivra::bench::scratch_folder folder;
  const std::string out_file = folder.file("model.out");
  const std::string ins_file = folder.file("model.ins");
  constexpr int lines = 10000;
  constexpr int every = 5;
  std::FILE* out = std::fopen(out_file.c_str(), "w");
  for (int i = 1; i <= lines; ++i)
    std::fprintf(out, "%8d %12.5f   depth %10.4f  flag %d\n", i, 0.001 * i, 1.0 + 1e-4 * i, i % 3);
  std::fclose(out);

  nivra::pest_control pc;
  const int pairs = lines / every;
  pc.nobs = 2 * pairs;
  pc.observations.resize(pc.nobs + 1);
  std::FILE* ins = std::fopen(ins_file.c_str(), "w");
  std::fprintf(ins, "pif ~\n");
  for (int k = 1; k <= pairs; ++k) {
    pc.observations[2 * k - 1].obsnme = "q" + std::to_string(k);
    pc.observations[2 * k].obsnme = "d" + std::to_string(k);
    std::fprintf(ins, "l%d [q%d]10:21 ~depth~ !d%d!\n", every, k, k);
  }
  std::fclose(ins);
  pc.ninsfle = 1;
  pc.instructions.resize(2);
  pc.instructions[1] = {ins_file, out_file};

  nivra::toolbox_streams streams;
  if (nivra::open_instruction_files(pc, streams) != 0 ||
      nivra::slm_read_instructions(pc, streams, 1, 0) != 0 ||
      pc.observations[pc.nobs - 1].model_value[0] != 0.001 * lines ||
      pc.observations[pc.nobs].model_value[0] != 1.0 + 1e-4 * lines) {
    state.SkipWithError("the instructions did not read the output");
    return;
  }
  for (auto _ : state) {
    if (nivra::slm_read_instructions(pc, streams, 1, 0) != 0) {
      state.SkipWithError("the instructions did not read the output");
      break;
    }
    benchmark::DoNotOptimize(pc.observations[pc.nobs].model_value[0]);
  }
  state.counters["obs"] = pc.nobs;
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ReadInstructions10000Lines)->Unit(benchmark::kMicrosecond);

// A search system of m observations and n parameters: a smooth, well
// conditioned Jacobian and residuals of a few percent.
struct bench_system {
  nivra::pest_control pc;
  nivra::lm_system s;
  bench_system(int m, int n) {
    pc.pestmode = "estimation";
    pc.npar = n;
    pc.nobs = m;
    pc.rlambda1 = 0.1;
    pc.params.resize(static_cast<std::size_t>(n) + 1);
    for (int j = 1; j <= n; ++j) {
      nivra::param_rec& p = pc.params[static_cast<std::size_t>(j)];
      char name[16];
      std::snprintf(name, sizeof name, "p%d", j);
      p.parnme = name;
      p.partrans = "none";
      p.parval1 = p.prev_value = 1.0;
      p.parlbnd = -1e10;
      p.parubnd = 1e10;
    }
    pc.observations.resize(static_cast<std::size_t>(m) + 1);
    for (int i = 1; i <= m; ++i) {
      nivra::obs_rec& o = pc.observations[static_cast<std::size_t>(i)];
      o.weight = 1.0;
      o.obsval = 1.0 + 0.03 * std::sin(0.7 * i);
      o.model_value[0] = 1.0;
      o.model_value[1] = 1.0 + 0.01 * std::cos(0.3 * i);
    }
    pc.priors.resize(1);
    nivra::slm_count_params(pc);
    nivra::build_lm_system(pc, s);
    for (int i = 1; i <= m; ++i)
      for (int j = 1; j <= n; ++j) s.jacobian[i][j] = std::exp(-0.5 * j * i / m) + (i % j == 0 ? 0.1 : 0.0);
  }
};

void BM_MarquardtUpgrade4000x20(benchmark::State& state) {
  bench_system b(4000, 20);
  std::vector<int> all;
  for (int j = 1; j <= 20; ++j) all.push_back(j);
  nivra::array1d<double> u;
  for (auto _ : state) {
    if (nivra::slm_lm_upgrade(b.pc, b.s, all, u) != nivra::numeric_status::ok) {
      state.SkipWithError("the upgrade failed");
      break;
    }
    nivra::slm_scale_upgrade(b.pc, b.s, all, u);
    benchmark::DoNotOptimize(u.data());
  }
}
BENCHMARK(BM_MarquardtUpgrade4000x20)->Unit(benchmark::kMicrosecond);

void BM_BroydenUpdate4000x20(benchmark::State& state) {
  bench_system b(4000, 20);
  for (int j = 1; j <= 20; ++j) b.pc.params[static_cast<std::size_t>(j)].parval1 = 1.0 + 0.001 * j;
  for (auto _ : state) {
    if (!nivra::slm_broyden_update(b.pc, b.s)) {
      state.SkipWithError("the secant update failed");
      break;
    }
    benchmark::DoNotOptimize(b.s.jacobian.data());
  }
}
BENCHMARK(BM_BroydenUpdate4000x20)->Unit(benchmark::kMicrosecond);

// y = b1 (1 - exp(-b2 x)) at 14 points, the model of the NIST dataset
// Misra1a, in place of a watershed run: reads "values.in", writes its
// outputs, one a line.
class misra_model final : public nivra::toolbox_model {
 public:
  bool run(const nivra::pest_control&) override {
    std::ifstream in{std::string(nivra::toolbox_values_file)};
    double b1 = 0.0, b2 = 0.0;
    in >> b1 >> b2;
    std::remove("model.out");
    std::FILE* out = std::fopen("model.out", "w");
    for (double x : xs) std::fprintf(out, "%.17g\n", b1 * (1.0 - std::exp(-b2 * x)));
    std::fclose(out);
    ++runs;
    return true;
  }
  static constexpr double xs[14] = {77.6,  114.9, 141.1, 190.8, 239.9, 289.0, 332.8,
                                    378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0};
  int runs = 0;
};

// The control and instruction files of Misra1a and the multistart's input
// (8 samples) written into the working folder; the bounds are those the
// global searches draw in.
void write_misra_case() {
  const double ys[14] = {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02,
                         44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78};
  std::ostringstream t;
  t << "pcf\n* control data\nnorestart estimation\n2 14 1 0 1\n0 1 single point\n1 0 0\n"
       "0.01 2.0 0.3 0.01 10\n10.0 10.0 0.001 0\n0.1 aui\n200 1e-13 4 4 1e-12 4\n1 1 1\n"
       "0 0 0.5 1 0.001\nmodel.prj\n* parameter groups\ng relative 1e-4 0.0 always_3 2.0 outside_pts\n"
       "* parameter data\nb1 none relative 250 100 500 g 1.0 0.0 1\n"
       "b2 none relative 5e-4 1e-4 1e-3 g 1.0 0.0 1\n* observation groups\nobs\n* observation data\n";
  std::string ins = "pif ~\n";
  for (int i = 1; i <= 14; ++i) {
    t << "o" << i << " " << ys[i - 1] << " 1.0 obs\n";
    ins += "!o";
    ins += std::to_string(i);
    ins += "!\n";
  }
  t << "* model command line\nnivra none\n* model input/output\ncase.ins model.out\n* prior information\n";
  std::ofstream("case.pst") << t.str();
  std::ofstream("case.ins") << ins;
  std::ofstream("ms.in") << "12345 8\n";
}

// Runs a mode with its console sent to /dev/null; its status.
template <class Mode>
int quietly(Mode mode) {
  const nivra::bench::silent_console silent;
  return mode();
}

void count_runs(benchmark::State& state, int runs) {
  state.counters["model_runs"] = runs;
  state.counters["s_per_run"] = benchmark::Counter(
      static_cast<double>(runs) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A mode on Misra1a in a working folder of its own: run(argv, model) is
// true when the search found the certified fit.
template <class Run>
void misra_search_bench(benchmark::State& state, const char* word, Run run) {
  nivra::reset_process_state();
  const nivra::bench::scratch_folder folder(true);
  write_misra_case();
  std::string words[] = {"nivra", word, "case"};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  int runs = 0;
  for (auto _ : state) {
    misra_model model;
    if (!run(argv, model)) {
      state.SkipWithError("the search did not find the certified fit");
      break;
    }
    runs = model.runs;
  }
  count_runs(state, runs);
}

// A whole search from the second certified start of Misra1a, with its
// control, instruction, value, record and sensitivity files.
void BM_SlmSearchMisra1a(benchmark::State& state) {
  misra_search_bench(state, "-slm", [](char** argv, misra_model& model) {
    nivra::search_outcome out;
    const int code = quietly([&] { return nivra::run_slm_mode(3, argv, model, &out); });
    return code == 0 && std::fabs(out.values[1] - 238.94212918) <= 1e-4;
  });
}
BENCHMARK(BM_SlmSearchMisra1a)->Unit(benchmark::kMillisecond);

// A multistart search of Misra1a: 8 samples within the bounds and a local
// search from each (the cost the global searches add to the model runs).
void BM_MultistartMisra1a(benchmark::State& state) {
  misra_search_bench(state, "-ms", [](char** argv, misra_model& model) {
    nivra::global_outcome out;
    const int code = quietly([&] { return nivra::run_ms_mode(3, argv, model, &out); });
    return code == 0 && std::fabs(out.best_total - 0.12455138894) <= 1e-6;
  });
}
BENCHMARK(BM_MultistartMisra1a)->Unit(benchmark::kMillisecond);

// npar parameters, each within 0 and 1.
nivra::pest_control unit_box(int npar) {
  nivra::pest_control pc;
  pc.npar = pc.n_adjustable = npar;
  pc.params.resize(static_cast<std::size_t>(npar) + 1);
  for (int i = 1; i <= npar; ++i) {
    pc.params[i].partrans = "none";
    pc.params[i].parubnd = 1.0;
    pc.params[i].parval1 = 0.5;
  }
  pc.near_min_distance = 1e-3;
  return pc;
}

// count points of npar values drawn from ran1.
nivra::point_store random_points(int npar, int count, std::int32_t seed) {
  nivra::point_store store(npar);
  nivra::ran1_state random;
  random.idum = seed;
  std::vector<double> v(static_cast<std::size_t>(npar));
  for (int k = 0; k < count; ++k) {
    for (double& x : v) x = nivra::ran1(random);
    store.append(v.data(), 1.0);
  }
  return store;
}

// The near-point test of every local-search iteration against 2,000
// visited points of 20 parameters, none near (the whole store is read).
void BM_NearMinimum2000Points(benchmark::State& state) {
  const nivra::pest_control pc = unit_box(20);
  const nivra::point_store points = random_points(20, 2000, -7);
  for (auto _ : state) benchmark::DoNotOptimize(nivra::gopt_near_minimum(points, points.count(), pc));
}
BENCHMARK(BM_NearMinimum2000Points)->Unit(benchmark::kMicrosecond);

// The start choice of trajectory repulsion: 200 ranked samples against
// 2,000 visited points of 20 parameters.
void BM_TrajectoryStart200Samples2000Points(benchmark::State& state) {
  const nivra::pest_control pc = unit_box(20);
  const nivra::point_store samples = random_points(20, 200, -3);
  const nivra::point_store points = random_points(20, 2000, -7);
  std::vector<int> rank(200);
  for (int k = 0; k < 200; ++k) rank[static_cast<std::size_t>(k)] = k + 1;
  const std::vector<bool> used(201, false);
  for (auto _ : state) benchmark::DoNotOptimize(nivra::tr_choose_start(pc, rank, 200, used, samples, points));
}
BENCHMARK(BM_TrajectoryStart200Samples2000Points)->Unit(benchmark::kMillisecond);

// The refusal tests of MLSL for every member of a reduced sample of 200
// (alpha small: every member passes test 1) against 100 end and 100 start
// points of 20 parameters.
void BM_MlslRefusals200Members(benchmark::State& state) {
  const nivra::point_store pool = random_points(20, 200, -3);
  const nivra::point_store ends = random_points(20, 100, -5);
  const nivra::point_store starts = random_points(20, 100, -9);
  nivra::mlsl_reduced_sample reduced;
  for (int k = 1; k <= 200; ++k) {
    reduced.members.push_back(pool.column(k));
    reduced.totals.push_back(k);
  }
  reduced.alpha = 1e-3;
  reduced.end_distance = 1e-3;
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state)
    for (int i = 1; i <= 200; ++i) benchmark::DoNotOptimize(nivra::mlsl_refusal(sink, i, 20, reduced, ends, starts));
  std::fclose(sink);
}
BENCHMARK(BM_MlslRefusals200Members)->Unit(benchmark::kMicrosecond);

}  // namespace
