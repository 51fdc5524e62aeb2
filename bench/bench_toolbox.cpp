// The parameter-estimation toolbox's hot spots: the Cholesky solve of the
// damped normal equations and the Jacobi eigen analysis of the covariance,
// both on 100 x 100 matrices, and the reading of a 10,000-line model
// output through an instruction file after every model run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/process.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_numerics.h"
#include "toolbox/toolbox_templates.h"

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
    if (nivra::choldc(a, n, p) != nivra::numeric_status::ok) state.SkipWithError("choldc");
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
    if (nivra::jacobi(work, n, d, v, rotations) != nivra::numeric_status::ok)
      state.SkipWithError("jacobi");
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
  const auto dir = std::filesystem::temp_directory_path();
  const std::string out_file = (dir / "nivra_bench_toolbox.out").string();
  const std::string ins_file = (dir / "nivra_bench_toolbox.ins").string();
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
      pc.observations[pc.nobs].model_value[0] != 1.0 + 1e-4 * lines)
    state.SkipWithError("instructions");
  for (auto _ : state) {
    if (nivra::slm_read_instructions(pc, streams, 1, 0) != 0) state.SkipWithError("read");
    benchmark::DoNotOptimize(pc.observations[pc.nobs].model_value[0]);
  }
  state.counters["obs"] = pc.nobs;
  state.SetItemsProcessed(state.iterations() * lines);
  std::filesystem::remove(out_file);
  std::filesystem::remove(ins_file);
}
BENCHMARK(BM_ReadInstructions10000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
