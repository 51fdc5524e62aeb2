// Structure benchmarks: evaluations per second of a broad-crested weir,
// a sag weir and culverts in each regime (a circular barrel under inlet
// control, whose discharge is a root search for the critical depth at its
// inlet; a box inlet; a full barrel), and of a structure link of a weir
// and a culvert. The headwater sweeps 1,000 levels so that no evaluation
// repeats the last.
#include <benchmark/benchmark.h>

#include <vector>

#include "channel/culvert_flow.h"
#include "channel/structures.h"

namespace {

using namespace nivra;

constexpr int sweep = 1000;

structure_element culvert(int type, double width, double height) {
  structure_element e;
  e.type = type;
  e.width = width;
  e.height = height;
  e.length = 20.0;
  e.upinvert = 10.0;
  e.downinvert = 9.0;
  e.slope = 0.05;
  e.rough_coeff = 0.013;
  e.disch_coeff_forward = e.disch_coeff_reverse = 0.8;
  return e;
}

// Headwaters from `lo` to `hi` above the upstream invert of 10 m.
std::vector<double> headwaters(double lo, double hi) {
  std::vector<double> h(sweep);
  for (int i = 0; i < sweep; ++i) h[static_cast<std::size_t>(i)] = 10.0 + lo + (hi - lo) * i / (sweep - 1);
  return h;
}

void run_culvert(benchmark::State& state, const structure_element& e, double lo, double hi, double tw) {
  const std::vector<double> hw = headwaters(lo, hi);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(culv_flow(e, 1, hw[i], tw).q);
    if (++i == hw.size()) i = 0;
  }
  state.counters["evaluations"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_culvert_round_inlet_control(benchmark::State& state) {
  run_culvert(state, culvert(structure_kind::round_culvert, 1.0, 0.0), 0.05, 1.45, 5.0);
}
BENCHMARK(BM_culvert_round_inlet_control);

void BM_culvert_box_inlet_control(benchmark::State& state) {
  run_culvert(state, culvert(structure_kind::rect_culvert, 2.0, 1.0), 0.05, 1.45, 5.0);
}
BENCHMARK(BM_culvert_box_inlet_control);

void BM_culvert_round_full_barrel(benchmark::State& state) {
  run_culvert(state, culvert(structure_kind::round_culvert, 1.0, 0.0), 2.5, 4.0, 11.0);
}
BENCHMARK(BM_culvert_round_full_barrel);

void BM_weir_broad_crest(benchmark::State& state) {
  structure_element e;
  e.type = structure_kind::weir;
  e.length = 5.0;
  e.upinvert = 10.0;
  e.disch_coeff_forward = e.disch_coeff_reverse = 1.0;
  const std::vector<double> hw = headwaters(0.0, 1.0);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(weir_flow_a(e, hw[i], 10.3));
    if (++i == hw.size()) i = 0;
  }
  state.counters["evaluations"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_weir_broad_crest);

void BM_weir_sag(benchmark::State& state) {
  structure_element e;
  e.type = structure_kind::sag_weir;
  e.length = 30.0;
  e.upinvert = 10.0;
  e.width = -0.1;
  e.height = 0.05;
  e.disch_coeff_forward = e.disch_coeff_reverse = 0.8;
  const std::vector<double> hw = headwaters(0.0, 1.0);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(weir_flow_b(e, hw[i], 9.0));
    if (++i == hw.size()) i = 0;
  }
  state.counters["evaluations"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_weir_sag);

// A structure link of a broad-crested weir over a round culvert.
channel_structures weir_and_culvert() {
  channel_structures s;
  s.struct_elements.resize(3);
  structure_element& w = s.struct_elements[1];
  w.type = structure_kind::weir;
  w.length = 5.0;
  w.upinvert = 11.2;
  w.disch_coeff_forward = w.disch_coeff_reverse = 1.0;
  w.link = 1;
  s.struct_elements[2] = culvert(structure_kind::round_culvert, 1.0, 0.0);
  s.struct_elements[2].link = 1;
  s.link_structs.resize(2);
  s.link_structs[1] = struct_range{2, 1, 2};
  return s;
}

void BM_structure_link(benchmark::State& state) {
  const channel_structures s = weir_and_culvert();
  const std::vector<double> hw = headwaters(0.05, 1.45);
  std::size_t i = 0;
  double q = 0.0;
  for (auto _ : state) {
    structure_sum(s, 1, hw[i], 5.0, 0.0, q);
    benchmark::DoNotOptimize(q);
    if (++i == hw.size()) i = 0;
  }
  state.counters["evaluations"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_structure_link);

}  // namespace
