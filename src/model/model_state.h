// model_state: the one record of a model run. The driver builds one on the
// heap at the start of every run and destroys it at the end; calibration
// builds thousands of them in one process, so nothing in it survives its run.
//
// The record is a set of components, one per concern, each declared in the
// folder that owns the concern and reached under its own name
// (ms.overland.ov_depth, ms.clock.model_time). This header only names the
// component types: a file that reads a component includes that component's
// header, so its includes say which parts of the run it touches, and a
// change to one component recompiles only the files that use it.
#pragma once

#include <memory>

namespace nivra {

struct grid_state;
struct clock_state;
struct overland_state;
struct soil_state;
struct groundwater_state;
struct lake_state;
struct channel_state;
struct pipe_state;
struct hydromet_state;
struct constituent_state;
struct output_state;
struct project_state;
class water_ledger;

struct model_state {
  model_state();
  // Empties the process-wide lists that every run fills again, releases the
  // nutrient model, then every component in reverse order: arrays freed,
  // files closed.
  ~model_state();
  model_state(const model_state&) = delete;
  model_state& operator=(const model_state&) = delete;

 private:
  // The components' storage, in the order they are built; they are
  // destroyed in the reverse order.
  std::unique_ptr<grid_state> grid_owner;
  std::unique_ptr<clock_state> clock_owner;
  std::unique_ptr<overland_state> overland_owner;
  std::unique_ptr<soil_state> soil_owner;
  std::unique_ptr<groundwater_state> groundwater_owner;
  std::unique_ptr<lake_state> lake_owner;
  std::unique_ptr<channel_state> channel_owner;
  std::unique_ptr<pipe_state> pipe_owner;
  std::unique_ptr<hydromet_state> hydromet_owner;
  std::unique_ptr<constituent_state> constituent_owner;
  std::unique_ptr<output_state> output_owner;
  std::unique_ptr<project_state> project_owner;
  std::unique_ptr<water_ledger> ledger_owner;

 public:
  grid_state& grid;                // project grid, mask, cell numbering, geometry
  clock_state& clock;              // model time, calendar, events, process clocks
  overland_state& overland;        // overland water, roughness, retention, routing
  soil_state& soil;                // soil water and infiltration
  groundwater_state& groundwater;  // saturated zone, Sacramento, conceptual model
  lake_state& lake;                // channel and overland lakes
  channel_state& channel;          // channel network
  pipe_state& pipe;                // storm sewers and tile drains
  hydromet_state& hydromet;        // rain, weather, snow
  constituent_state& constituent;  // sediment, contaminants, nutrients
  output_state& output;            // output files, switches and balances
  project_state& project;          // the cards as read and the run's identity
  water_ledger& ledger;            // water fluxes, storages and balances of the run and the event
};

// A fresh record on the heap.
std::unique_ptr<model_state> make_model_state();

}  // namespace nivra
