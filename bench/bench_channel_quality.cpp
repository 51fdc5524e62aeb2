// One channel constituent step (sources, decay and routing) on a
// branching network of 10,000 links of five nodes, three constituents.
#include <benchmark/benchmark.h>

#include <vector>

#include "quality/chan_wq_fixture.h"
#include "quality/contaminant/channel_quality.h"

namespace {

using nivra::test::wq_net;

void BM_ChannelConstituentStep(benchmark::State& state) {
  const int links = 10000, nodes = 5, constituents = 3;
  const double dt = 30.0;
  // A binary tree of links numbered so that the last link is the outlet.
  std::vector<wq_net> c;
  c.reserve(constituents);
  for (int k = 0; k < constituents; ++k) c.emplace_back(links, nodes, 0);
  for (wq_net& w : c) {
    for (int j = 1; j <= links; ++j) {
      const int l = links + 1 - j;
      w.channel(l, nodes, 100.0, j == 1 ? 0 : links + 1 - j / 2);
      // Discharge grows with the links above: about log2 of the heap depth.
      int depth = 0;
      for (int i = j; i > 1; i /= 2) ++depth;
      const double q = 0.05 * (15 - depth);
      w.steady(l, 1.0 + q, q, dt);
      for (int n = 1; n <= nodes; ++n) {
        w.decay_coef[w.at(l, n)] = 1e-5;
        w.disp[w.at(l, n)] = 1.0;
        w.conc[w.at(l, n)] = 1.0;
        w.mass[w.at(l, n)] = (1.0 + q) * 100.0;
      }
    }
  }
  nivra::chan_wq_router router;
  router.prepare(c[0].net);
  std::vector<nivra::chan_node_accumulators> acc(static_cast<std::size_t>(c[0].net.flat_size()));
  std::vector<nivra::chan_node_accumulators> lakes(1);
  nivra::chan_wq_books books;
  for (auto _ : state) {
    for (wq_net& w : c) {
      nivra::chan_decay_domain dd{&w.net, wq_net::cv(w.area), wq_net::cv(w.area_old), wq_net::cv(w.conc),
                                  wq_net::cv(w.decay_coef), wq_net::v(w.decay_mass), wq_net::cv(w.lake_conc),
                                  wq_net::cv(w.lake_vol), 0.0, wq_net::v(w.lake_decay_mass)};
      nivra::chan_contam_decay(dd, dt);
      for (int l = 1; l <= links; ++l)
        for (int n = 1; n <= nodes; ++n) {
          const int i = w.at(l, n);
          nivra::chan_node_accumulators& a = acc[static_cast<std::size_t>(i)];
          a.decay = w.decay_mass[i];
          a.decay_interval = dt;
          w.decay_mass[i] = 0.0;
          if (n == 1) a.point = 0.1 * dt;
        }
      nivra::chan_wq_step_domain sd{w.domain(dt), wq_net::v(w.source), wq_net::v(w.lake_source), &acc, &lakes, 1e-6};
      const nivra::chan_wq_result r = router.step(sd, books);
      if (r.status != 0) state.SkipWithError("the constituent routing failed");
      benchmark::DoNotOptimize(r.outlet_mass);
    }
    if (state.error_occurred()) break;
  }
  state.counters["node_constituent_updates/s"] =
      benchmark::Counter(static_cast<double>(links) * nodes * constituents, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChannelConstituentStep)->Unit(benchmark::kMillisecond);

}  // namespace

#include "channel/channel_state.h"
#include "quality/contaminant/channel_attached.h"

namespace {

// One step of the contaminant on the wash load: the attached transport
// with the step's wash fluxes and the partition of every node, on the same
// branching network, two fine classes, three constituents.
void BM_ChannelAttachedStep(benchmark::State& state) {
  const int links = 10000, nodes = 5, fine = 2, constituents = 3;
  const int stride = nodes + 1, flat = (links + 1) * stride + 1;
  nivra::array1d<int> nx, ltype, dslink;
  for (nivra::array1d<int>* a : {&nx, &ltype, &dslink}) a->alloc(links);
  for (int j = 1; j <= links; ++j) {
    const int l = links + 1 - j;
    nx[l] = nodes;
    ltype[l] = nivra::link_type::trapezoid;
    dslink[l] = j == 1 ? 0 : links + 1 - j / 2;
  }
  nivra::chan_attached_network net;
  net.links = links;
  net.max_nodes = stride;
  net.n_fine = fine;
  net.nx = &nx;
  net.ltype = &ltype;
  net.dslink = &dslink;
  nivra::array2d<double> flux(flat, fine), vol(flat, fine), lake(1, fine);
  for (int f = 1; f <= flat; ++f)
    for (int m = 1; m <= fine; ++m) {
      vol(f, m) = 0.01 * m;
      flux(f, m) = 0.002 * m;
    }
  nivra::chan_wash_moves mv;
  mv.flux = &flux;
  mv.vol_start = &vol;
  mv.lake_start = mv.lake_given = mv.lake_settled = mv.lake_end = &lake;
  std::vector<nivra::chan_attached_store> stores(constituents);
  for (nivra::chan_attached_store& s : stores) {
    s.alloc(flat, 0, fine);
    for (int f = 1; f <= flat; ++f)
      for (int m = 1; m <= fine; ++m) s.node(f, m) = 1.0;
  }
  nivra::chan_attached_scratch w;
  w.alloc(flat, 0, fine);
  const double density[3] = {0.0, 2.65e6, 2.65e6};
  double attached[3];
  for (auto _ : state) {
    for (nivra::chan_attached_store& s : stores) {
      const nivra::chan_attached_books b = nivra::chan_attached_transport(net, mv, s, w);
      benchmark::DoNotOptimize(b.outlet);
      for (int l = 1; l <= links; ++l)
        for (int n = 1; n <= nodes; ++n) {
          const int f = l * stride + n;
          const double total = 10.0 + s.node(f, 1) + s.node(f, 2);
          const double d = nivra::partition_attached(1000.0, 5.0, fine, &vol(f, 0), density, total, attached);
          s.node(f, 1) = attached[1];
          s.node(f, 2) = attached[2];
          benchmark::DoNotOptimize(d);
        }
    }
  }
  state.counters["node_class_constituent_updates/s"] = benchmark::Counter(
      static_cast<double>(links) * nodes * fine * constituents, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChannelAttachedStep)->Unit(benchmark::kMillisecond);

}  // namespace
