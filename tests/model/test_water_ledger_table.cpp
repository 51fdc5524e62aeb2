// The table of flux terms walked row by row: every term is booked by some
// step, every volume a kernel hands back in its books has exactly one term
// (or says why it has none), and every balance takes every term from its
// row, so that books in which each term moves water between the
// compartments its row names close every balance.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_routing.h"
#include "channel/lateral_inflow.h"
#include "groundwater/aquifer.h"
#include "hydromet/rainfall.h"
#include "model/water_ledger.h"
#include "output/xy_points.h"
#include "pipe/superlink_solver.h"
#include "soil/infiltration.h"
#include "soil/richards.h"
#include "soil/soil_moisture.h"
#include "surface/channel_lakes.h"
#include "surface/overland.h"
#include "surface/overland_lakes.h"

namespace nivra {
namespace {

using flux = water_flux;
using part = water_compartment;
using store = water_store;
using moment = ledger_moment;

// The number of members of an aggregate: the most initialisers it takes.
struct any_member {
  template <class T>
  constexpr operator T() const;  // NOLINT: converts to every member type
};
template <class T, class... A>
constexpr std::size_t member_count() {
  if constexpr (requires { T{A{}..., any_member{}}; })
    return member_count<T, A..., any_member>();
  else
    return sizeof...(A);
}

TEST(WaterFluxTable, EveryRowNamesItsTermOnceWithCompartmentsAndParent) {
  std::set<std::string> names, labels;
  for (const flux_row& r : water_flux_table) {
    EXPECT_TRUE(names.insert(r.name).second) << r.name;
    if (*r.label) EXPECT_TRUE(labels.insert(r.label).second) << r.name << ": " << r.label;
    if (is_total(r.flux)) continue;
    // A flux leaves one place for another; the one record of water that
    // did not move stays outside.
    EXPECT_TRUE(r.from != r.to || r.flux == flux::discharge_boundary_unmet || r.flux == flux::sacramento_infiltration)
        << r.name;
  }
  // The totals of the summaries are the sums of their shares.
  water_ledger l;
  l.book(flux::interception, 1.0);
  l.book(flux::rainfall_to_overland, 10.0);
  l.book(flux::lake_precipitation, 100.0);
  l.book(flux::direct_evaporation, 2.0);
  l.book(flux::soil_evaporation, 20.0);
  l.book(flux::channel_lateral_in, 7.0);
  l.book(flux::channel_lateral_out, 3.0);
  l.book(flux::groundwater_recharge, 50.0);
  l.book(flux::exfiltration, 5.0);
  l.book(flux::groundwater_to_pipes, 0.5);
  EXPECT_EQ(l.run_total(flux::precipitation), 111.0);
  EXPECT_EQ(l.event_total(flux::evaporation), 22.0);
  EXPECT_EQ(l.run_total(flux::channel_lateral_net), 4.0);
  EXPECT_EQ(l.run_total(flux::groundwater_inputs), 44.5);
}

// Every booking in the sources: book(water_flux::x, ...) and the rows of the
// kernels' books maps.
std::set<std::string> booked_in_sources() {
  const std::regex call(R"(book\(\s*water_flux::(\w+))"), row(R"(\{&\w+::\w+,\s*water_flux::(\w+)\})");
  std::set<std::string> booked;
  for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(NIVRA_SOURCE_DIR) + "/src")) {
    const std::string ext = e.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::ifstream in(e.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    for (const std::regex* re : {&call, &row})
      for (auto m = std::sregex_iterator(s.begin(), s.end(), *re); m != std::sregex_iterator(); ++m)
        booked.insert((*m)[1]);
  }
  return booked;
}

TEST(WaterFluxTable, EveryTermIsBookedByAStepAndNoTotalIs) {
  const std::set<std::string> booked = booked_in_sources();
  for (const flux_row& r : water_flux_table) {
    if (is_total(r.flux))
      EXPECT_FALSE(booked.contains(r.name)) << r.name << " is a total: its shares are booked";
    else
      EXPECT_TRUE(booked.contains(r.name)) << r.name << " is booked by no step";
  }
}

// A books map: each volume once, under a term that is no total, and every
// member of the books either a volume of the map or one of the books' other
// members (counts, flags, statuses).
template <class Books, std::size_t N, std::size_t M>
void expect_whole(const char* name, const books_map<Books, N, M>& map, std::size_t other_members) {
  SCOPED_TRACE(name);
  EXPECT_EQ(member_count<Books>(), N + M + other_members) << "a volume of the books has no row in its map";
  std::vector<double Books::*> seen;
  auto first_time = [&](double Books::*v) {
    if (std::find(seen.begin(), seen.end(), v) != seen.end()) return false;
    seen.push_back(v);
    return true;
  };
  for (const booked_volume<Books>& r : map.booked) {
    EXPECT_TRUE(first_time(r.volume));
    EXPECT_FALSE(is_total(r.flux)) << row_of(r.flux).name;
  }
  for (const unbooked_volume<Books>& r : map.unbooked) {
    EXPECT_TRUE(first_time(r.volume));
    EXPECT_NE(std::string(r.why), "");
  }
}

TEST(WaterFluxTable, EveryVolumeAKernelHandsBackHasOneTerm) {
  expect_whole("channel_books", channel_books_terms, 2);          // clipped_nodes, sub_steps
  expect_whole("lateral_result", lateral_books_terms, 1);         // ok
  expect_whole("superlink_books", superlink_books_terms, 3);      // internal_steps, surcharged, fed_channel
  expect_whole("aquifer_books", aquifer_books_terms, 2);          // passes, sweeps
  expect_whole("soil_moisture_books", soil_moisture_books_terms, 0);
  expect_whole("richards_result", richards_books_terms, 2);       // status, cell
  expect_whole("infiltration_result", infiltration_books_terms, 2);  // status, cell
  expect_whole("overland_books", overland_books_terms, 0);
  expect_whole("rain_books", rain_books_terms, 0);
  expect_whole("boundary_books", boundary_books_terms, 0);
  expect_whole("olake_books", olake_books_terms, 0);
  expect_whole("lake_update_books", lake_update_terms, 1);        // ok
  expect_whole("xy_books (overland)", xy_overland_terms, 0);
  expect_whole("xy_books (groundwater)", xy_groundwater_terms, 0);
}

// Books in which every term moves its own volume from the compartment its
// row names to the one it enters: every balance closes, whatever the terms.
struct moved_water {
  water_ledger l;
  std::map<part, double> held;  // what each compartment gained
};

moved_water move_every_term() {
  moved_water w;
  double v = 1.0;
  for (const flux_row& r : water_flux_table) {
    if (is_total(r.flux)) continue;
    v += 0.25;  // a different volume per term, exact in binary
    w.l.book(r.flux, v);
    w.held[r.from] -= v;
    w.held[r.to] += v;
  }
  return w;
}

// The compartments' storages: some water at the start, and at the end what
// each gained.
void set_storages(moved_water& w, moment start, moment end, bool lakes_on_surface) {
  const std::pair<part, store> stores[] = {
      {part::surface, store::surface},   {part::overland_lakes, store::overland_lakes},
      {part::channels, store::channels}, {part::channel_lakes, store::channel_lakes},
      {part::soil, store::soil},         {part::groundwater, store::groundwater},
      {part::pipes, store::pipes},       {part::snow, store::snow},
      {part::melt_water, store::melt_water}, {part::canopy, store::canopy}};
  for (const auto& [p, s] : stores) {
    w.l.set_storage(s, start, 1000.0);
    w.l.set_storage(s, end, 1000.0 + w.held[p]);
  }
  w.l.set_storage(store::soil_layer, start, 1000.0);
  w.l.set_storage(store::soil_layer, end, 1000.0 + w.held[part::soil]);
  if (lakes_on_surface) {
    // At the events the surface counts the overland lakes' water.
    w.l.set_storage(store::surface, start, 2000.0);
    w.l.set_storage(store::surface, end, 2000.0 + w.held[part::surface] + w.held[part::overland_lakes]);
  }
}

TEST(WaterFluxTable, BooksThatMoveEveryTermCloseEveryBalance) {
  moved_water w = move_every_term();
  set_storages(w, moment::run_start, moment::run_end, false);
  balance_scheme scheme;
  scheme.groundwater = true;
  scheme.overland_boundaries = true;
  w.l.close_run(scheme);
  w.l.close_groundwater_balance();
  const run_balance& b = w.l.run();
  EXPECT_EQ(b.overall_error, 0.0);
  EXPECT_EQ(b.surface_error, 0.0);
  EXPECT_EQ(b.groundwater_error, 0.0);
  EXPECT_EQ(b.overland_lake_error, 0.0);
  EXPECT_EQ(b.channel_lake_error, 0.0);
  EXPECT_EQ(b.pipe_error, 0.0);

  // The event: its totals are the run's, the soil, aquifer, canopy and
  // drains outside.
  w.l.open_event();
  moved_water e = move_every_term();
  for (const flux_row& r : water_flux_table)
    if (!is_total(r.flux)) w.l.book(r.flux, e.l.event_total(r.flux));
  w.held = e.held;
  set_storages(w, moment::event_start, moment::event_end, true);
  w.l.close_event();
  EXPECT_EQ(w.l.event().error, 0.0);
}

TEST(WaterFluxTable, ABalanceLeavesOutWaterThatStaysInsideIt) {
  // Rain on the cells running into the channels and out of the outlet: the
  // surface balance sees rain in and discharge out, the channels' own
  // balance the lateral inflow in.
  water_ledger l;
  l.book(flux::rainfall_to_overland, 100.0);
  l.book(flux::channel_lateral_in, 60.0);
  l.book(flux::outlet_discharge, 50.0);
  l.set_storage(store::surface, moment::run_end, 40.0);
  l.set_storage(store::channels, moment::run_end, 10.0);
  const balance_sums surface = l.run_balance_of({{part::surface, part::channels}, {store::surface, store::channels}});
  EXPECT_EQ(surface.in, 100.0);
  EXPECT_EQ(surface.out, 50.0);
  EXPECT_EQ(surface.residual(), 0.0);
  const balance_sums channels = l.run_balance_of({{part::channels}, {store::channels}});
  EXPECT_EQ(channels.in, 60.0);
  EXPECT_EQ(channels.residual(), 0.0);
  const balance_sums cells = l.run_balance_of({{part::surface}, {store::surface}});
  EXPECT_EQ(cells.residual(), 0.0);
}

}  // namespace
}  // namespace nivra
