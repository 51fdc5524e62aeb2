#include "model/model_state.h"

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/elevation_series.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

// Every member of every component carries its initial value; building
// allocates the components and nothing beyond their empty containers. The
// components are default-initialised (new T, not new T()): their members'
// own initialisers set every value, and the large ones are not zeroed twice.
model_state::model_state()
    : grid_owner(new grid_state),
      clock_owner(new clock_state),
      overland_owner(new overland_state),
      soil_owner(new soil_state),
      groundwater_owner(new groundwater_state),
      lake_owner(new lake_state),
      channel_owner(new channel_state),
      pipe_owner(new pipe_state),
      hydromet_owner(new hydromet_state),
      constituent_owner(new constituent_state),
      output_owner(new output_state),
      project_owner(new project_state),
      ledger_owner(new water_ledger),
      grid(*grid_owner),
      clock(*clock_owner),
      overland(*overland_owner),
      soil(*soil_owner),
      groundwater(*groundwater_owner),
      lake(*lake_owner),
      channel(*channel_owner),
      pipe(*pipe_owner),
      hydromet(*hydromet_owner),
      constituent(*constituent_owner),
      output(*output_owner),
      project(*project_owner),
      ledger(*ledger_owner) {}

model_state::~model_state() {
  // The error reporter must not write into a summary file that is going.
  if (process.summary_log == &output.summary_file) process.summary_log = nullptr;

  // Lists kept process-wide for the readers but filled again by every run.
  ts_free_all();
  es_free_all();
  free_replace_params();

  // The nutrient container, before the members it was built around.
  constituent.nsm_model = nullptr;
  project.project_options.nsm_model.reset();

  // The components follow in reverse order: each array frees itself, each
  // file closes itself, each checked array reports a bad range on the way.
}

std::unique_ptr<model_state> make_model_state() { return std::make_unique<model_state>(); }

}  // namespace nivra
