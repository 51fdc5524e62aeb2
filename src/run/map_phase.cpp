#include "run/map_phase.h"

#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/arrays.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/lumped_steps.h"
#include "hydromet/evapotranspiration_step.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "inputs/soil_maps.h"
#include "inputs/surface_maps.h"
#include "model/model_state.h"
#include "output/pav_file.h"
#include "output/zv_coupling.h"
#include "pipe/pipe_setup.h"
#include "quality/constituent_setup.h"
#include "quality/sediment/channel_sediment_setup.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/contaminant/channel_constituents.h"
#include "soil/soil_state.h"
#include "surface/pumps.h"

namespace nivra {

namespace {

// Previous pressure heads of the soil columns, the aquifer and the channel
// point sources share one array sized for the largest of them.
void alloc_previous_heads(model_state& ms) {
  if (ms.constituent.chan_sed_on) ms.channel.chan_sed_setup = 1;
  if (!(ms.soil.inf_richards || ms.groundwater.gw_simulation || ms.channel.chan_explic)) return;
  int n = ms.soil.max_soil_layers;
  if (ms.grid.ncells > n) n = ms.grid.ncells;
  if (ms.channel.num_chan_point_sources > n) n = ms.channel.num_chan_point_sources;
  alloc_1d_double(ms.soil.PHEADOLD, n, "PHEADOLD");
}

}  // namespace

void read_input_maps(model_state& ms) {
  // The grid of the ROWS and COLS cards, with a spare row and column of
  // zeros on every side.
  ms.grid.nrows = ms.grid.proj_rows;
  ms.grid.ncols = ms.grid.proj_cols;
  alloc_2d_int(ms.grid.mask, ms.grid.nrows + 1, ms.grid.ncols + 1, "mask");

  struct step {
    void (*run)(model_state&);
    bool stop_test;
  };
  // Every reader runs in this order; the phase ends at the first one that
  // stops the run (the link map alone is followed by no test).
  const step steps[] = {
      {read_watershed_mask, true},
      {[](model_state& m) {
         alloc_1d_double(m.grid.elevation, m.grid.ncells, "elevation");
         if (m.clock.zem && m.clock.mola_given && m.clock.ksat_to_mola_given)
           alloc_1d_double(m.grid.scratch_map, m.grid.ncells, "scratch_map");
       },
       true},
      {read_elevation, true},
      {elevation_range, true},
      {build_connectivity, true},
      {read_dike_mask, true},
      {init_wetlands, true},
      {init_overland_boundary, true},
      {read_overland_pumps, true},
      {read_infiltration_maps, true},
      {read_et_parameter_maps, true},
      {read_groundwater_maps, true},
      {open_sacramento_params, true},
      {open_conceptual_gw_params, true},
      {read_link_map, false},
      {read_nwsrfs_snow_bands, true},
      {alloc_snow_cell_array, true},
      {read_interception_maps, true},
      {read_overland_lake_map, true},
      {read_retention_map, true},
      {read_roughness_map, true},
      {init_snow_roughness, true},
      {read_overland_blockage, true},
      {init_overland_sediments, true},
      {read_contaminant_params, true},
      {read_theta_locations, true},
      {alloc_previous_heads, false},
      {read_snow_ov_hotstart, true},
      {read_soil_moisture_hotstart, true},
      {setup_nutrient_overland, true},
      {init_channel_network, true},
      {setup_nutrient_channels, true},
      {init_channel_sediments, true},
      {init_channel_constituents, true},
      {init_channel_attached, true},
      {init_hyd_location_output, true},
      {read_superlink_pipes, true},
      {init_superlink_channel_links, false},
      {assign_nsm_table_params, true},
      {connect_nutrient_outputs, true},
      {init_zv_coupling, false},
  };
  for (const step& s : steps) {
    s.run(ms);
    if (s.stop_test && process.error_block.stop) return;
  }
}

}  // namespace nivra
