#include "output/hotstart_coverage.h"

#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "channel/channel_storage.h"
#include "clock/clock_state.h"
#include "core/state_file.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_storage.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
#include "hydromet/snow_storage.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "pipe/pipe_storage.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "soil/soil_storage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"
#include "surface/surface_storage.h"

namespace nivra {

namespace {

void warn(model_state& ms, const std::string& text) {
  const std::string line = "Warning: " + text + "\n";
  if (ms.project.optimizer_mode != 1 && !ms.project.super_quiet) std::fputs(line.c_str(), stdout);
  if (std::FILE* f = ms.output.summary_file.fp) std::fputs(line.c_str(), f);
}

std::string cubic_metres(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f m3", v);
  return text;
}

bool any_scheme(const soil_state& s) { return s.green_ampt || s.inf_redist || s.inf_layered_soil || s.inf_richards; }

bool constituents(const constituent_state& k) {
  return k.ov_con_trans || k.chan_con_trans || k.soil_con_trans || k.nutrients;
}

// The parts of a run's state that no hot-start carries, each with what a
// run started from the hot-starts does with it.
struct uncarried {
  bool held;
  const char* part;
  const char* afresh;
};

}  // namespace

void warn_uncarried_at_writing(model_state& ms) {
  const bool ov = ms.overland.write_ov_hotstart_given != 0, sm = ms.soil.write_sm_hotstart_given != 0;
  const bool ch = ms.channel.write_chan_hotstart_given || ms.channel.explic_backwater_given;
  if (!ov && !sm && !ch) return;
  std::string cards;
  for (const auto& [given, name] : {std::pair{ov, "WRITE_OV_HOTSTART"}, std::pair{sm, "WRITE_SM_HOTSTART"},
                                    std::pair{ch, "WRITE_CHAN_HOTSTART"}})
    if (given) cards += std::string(cards.empty() ? "" : ", ") + name;
  const std::string head = "the hot-starts this run writes (" + cards + ") do not carry ";
  // The components with a hot-start card of their own that was left out.
  if (!ov) {
    const double v = surface_storage(ms, overland_lake_cells::left_out, area_applied::to_the_sum) +
                     (ms.lake.overland_lake_map_given ? overland_lake_storage(ms) : 0.0);
    warn(ms, head + "the overland water (" + cubic_metres(v) + " at the end of the run): give WRITE_OV_HOTSTART.");
  }
  if (!sm && any_scheme(ms.soil)) {
    const double v = soil_storage(ms, soil_below_layer::card_depth).total;
    warn(ms, head + "the soil water and the wetting fronts (" + cubic_metres(v) +
                 " in the soil at the end of the run): give WRITE_SM_HOTSTART.");
  }
  if (!ch && ms.channel.chan_explic) {
    const double v = channel_storage(ms) + (ms.lake.chan_lakes ? channel_lake_storage(ms.lake) : 0.0);
    warn(ms, head + "the channels and their lakes (" + cubic_metres(v) +
                 " at the end of the run): give WRITE_CHAN_HOTSTART.");
  }
  const hydromet_state& h = ms.hydromet;
  const snow_water snow = snow_storage(ms);
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const lumped_water lumped = lumped_storage(ms.groundwater, area, false);
  struct volume_part {
    bool held;
    const char* part;
    double volume;
  };
  const volume_part water[] = {
      {h.snow_present != 0, "the snow pack and its melt water", snow.snow + snow.melt_water},
      {h.interception_coeff_given != 0, "the water on the canopy", canopy_storage(ms)},
      {ms.pipe.storm_sewer_given != 0, "the water in the pipes", pipe_storage(ms.pipe)},
      {ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given, "the lumped model's stores",
       lumped.total()},
  };
  for (const volume_part& p : water)
    if (p.held)
      warn(ms, head + p.part + " (" + cubic_metres(p.volume) +
                   " at the end of the run): a run started from them starts it from its initial state.");
  const uncarried rest[] = {
      {constituents(ms.constituent), "the masses of the contaminants and nutrients",
       "starts them from their initial loads"},
      {h.gtfsm || h.cfgi, "the frozen ground (the frost index and the soil's ice)", "starts the ground thawed"},
      {ms.constituent.chan_sed_on && ms.channel.num_erode_bp_links > 0 && ch,
       "the cross-sections the sediment moved on the erodible break-point links",
       "starts them from the channel input file's sections"},
  };
  for (const uncarried& p : rest)
    if (p.held) warn(ms, head + p.part + ": a run started from them " + p.afresh + ".");
}

void warn_uncarried_at_reading(model_state& ms) {
  const bool ov = ms.overland.ov_hotstart_read_given != 0, sm = ms.soil.read_sm_hotstart_given != 0;
  const bool ch = ms.channel.chan_hotstart_flag_in != 0;
  // A depth map without a companion is a starting depth of one's own
  // (OV_INIT_DEPTH), no hot-start; it is named only where a companion would
  // have carried more.
  if (ov && !ms.overland.hotstart_state_read &&
      (ms.lake.overland_lake_map_given || ms.lake.wetlands_on || ms.constituent.soil_erosion_on)) {
    const std::string file = companion_name(ms.project.ov_hotstart_read_file);
    warn(ms, "READ_OV_HOTSTART " + ms.project.ov_hotstart_read_file.str() + " has no companion " + file +
                 ": the overland lakes start at their initial levels, the wetlands at their depth and the cells "
                 "without sediment.");
  }
  // A companion written before the ground was carried, or by a run whose
  // ground did not move, leaves ADJUST_ELEV the elevation map's ground.
  if (ov && ms.overland.hotstart_state_read && ms.constituent.adjust_elev == 1 && !ms.overland.hotstart_ground_read)
    warn(ms, "READ_OV_HOTSTART " + ms.project.ov_hotstart_read_file.str() + ": its companion " +
                 companion_name(ms.project.ov_hotstart_read_file) +
                 " carries no ground (GROUND lines), so the ground ADJUST_ELEV moves starts from the ELEVATION map.");
  if (!(ov && ms.overland.hotstart_state_read) && !sm && !ch) return;
  std::string cards;
  for (const auto& [given, name] : {std::pair{ov, "READ_OV_HOTSTART"}, std::pair{sm, "READ_SM_HOTSTART"},
                                    std::pair{ch, "READ_CHAN_HOTSTART"}})
    if (given) cards += std::string(cards.empty() ? "" : ", ") + name;
  const std::string head = "this run starts from hot-starts (" + cards + ") but ";
  if (!ov && ms.overland.init_elev_head_given == 0) warn(ms, head + "not the overland water, which starts dry (or at INIT_ELEV_HEAD): give READ_OV_HOTSTART.");
  if (!sm && any_scheme(ms.soil))
    warn(ms, head + "not the soil, which starts from its initial water contents: give READ_SM_HOTSTART.");
  if (!ch && ms.channel.chan_explic)
    warn(ms, head + "not the channels, which start dry and their lakes at their initial levels: give "
                    "READ_CHAN_HOTSTART.");
  // A hot-start written before the companions were carries only its maps
  // and files.
  if (sm && !ms.soil.hotstart_state_read && any_scheme(ms.soil)) {
    const soil_state& s = ms.soil;
    const char* afresh = s.inf_richards      ? "the nodes below the first of every column start from the soil table"
                         : s.inf_layered_soil ? "layers 2 and 3 start from the soil table and the fronts afresh"
                         : s.inf_redist       ? "the map's surface content is taken for the whole profile and the "
                                                "accounting layer, and the fronts start afresh"
                                              : "the infiltrated depth starts at 0";
    warn(ms, "READ_SM_HOTSTART " + ms.project.read_sm_hotstart.str() + " has no companion " +
                 companion_name(ms.project.read_sm_hotstart) + ": " + afresh + ".");
  }
  if (ch && !ms.channel.carried.read && (ms.lake.chan_lakes || ms.constituent.chan_sed_on))
    warn(ms, "READ_CHAN_HOTSTART " + ms.project.chan_hotstart_read_file.str() + " has no companion " +
                 companion_name(ms.project.chan_hotstart_read_file) +
                 ": the channel lakes start at their initial levels and the channel sediment from the initial "
                 "beds.");
  const hydromet_state& h = ms.hydromet;
  const uncarried rest[] = {
      {ms.clock.long_term != 0, "the snow", "starts from INIT_SWE_DEPTH (none without it)"},
      {h.interception_coeff_given != 0, "the canopy", "starts dry"},
      {ms.pipe.storm_sewer_given != 0, "the pipes", "start from the storm sewer file's state"},
      {ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given, "the lumped model's stores",
       "start from its file's contents"},
      {constituents(ms.constituent), "the contaminants and nutrients", "start from their initial loads"},
      {h.gtfsm || h.cfgi, "the frozen ground", "starts thawed"},
      {ch && ms.constituent.chan_sed_on && ms.channel.num_erode_bp_links > 0,
       "the sections of the erodible break-point links", "start from the channel input file's"},
  };
  for (const uncarried& p : rest)
    if (p.held) warn(ms, head + "the hot-starts carry no state of " + p.part + ", which " + p.afresh + ".");
}

}  // namespace nivra
