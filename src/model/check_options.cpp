#include "model/check_options.h"

#include <cstdio>
#include <limits>
#include <string_view>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The Green and Ampt maps are not read for the layered and Richards schemes.
void drop_green_ampt_maps(soil_state& soil) {
  soil.moisture_given = 0;
  soil.conductivity_given = 0;
  soil.capillary_given = 0;
  soil.porosity_given = 0;
  soil.pore_index_given = 0;
  soil.residual_sat_given = 0;
}

// Counts of time steps and grid positions are ints: a span of minutes that
// holds more model steps than an int counts, or a grid of more positions,
// is refused with the cards that make it.
bool counts_fit(const model_state& ms) {
  constexpr double most = std::numeric_limits<int>::max();
  const clock_state& c = ms.clock;
  const double dt = c.st_time_step < 0.01 || c.ov_dt < c.st_time_step ? c.ov_dt : c.st_time_step;
  struct span {
    const char* card;
    double minutes;
  };
  const span spans[] = {{"TOT_TIME", static_cast<double>(c.tot_time)},
                        {"HYD_FREQ", c.hyd_freq},
                        {"MAP_FREQ", static_cast<double>(c.map_freq)},
                        {"RAIN_DURATION", ms.hydromet.rain_duration}};
  if (dt > 0.0) {
    for (const span& s : spans) {
      if (s.minutes * 60.0 / dt < most) continue;
      std::printf("Error: the %s card gives %.15g minutes, which hold more time steps of %g s than "
                  "NIVRA counts (%d).\n",
                  s.card, s.minutes, dt, std::numeric_limits<int>::max());
      return false;
    }
  }
  const double positions = (static_cast<double>(ms.grid.proj_rows) + 2.0) * (ms.grid.proj_cols + 2.0);
  if (positions >= most) {
    std::printf("Error: the ROWS and COLS cards give a grid of %d x %d cells, more than NIVRA numbers "
                "(%d positions).\n",
                ms.grid.proj_rows, ms.grid.proj_cols, std::numeric_limits<int>::max());
    return false;
  }
  return true;
}

// The sediment outputs and options describe the eroded soil: without the
// SOIL_EROSION card there is none, and a card that would be read and then
// ignored stops the run, naming it.
bool sediment_cards_have_erosion(const model_state& ms) {
  if (ms.constituent.soil_erosion_on) return true;
  const project_options& po = ms.project.project_options;
  struct card {
    bool given;
    const char* name;
  } cards[] = {{po.vol_sed_susp_given != 0, "VOL_SED_SUSP"},   {po.max_sed_flux_given != 0, "MAX_SED_FLUX"},
               {po.net_sed_volume_given != 0, "NET_SED_VOLUME"}, {po.adjust_elev_given != 0, "ADJUST_ELEV"},
               {!po.outlet_sed_flux.empty(), "OUTLET_SED_FLUX"},  {po.outlet_sed_tss_given != 0, "OUTLET_SED_TSS"},
               {po.optimize_sed != 0, "OPTIMIZE_SED"}};
  for (const card& c : cards) {
    if (!c.given) continue;
    std::printf("Error: the %s card describes eroded soil, but the project has no SOIL_EROSION card.\n", c.name);
    return false;
  }
  return true;
}

// The cards every run needs and that have no default: a missing one would
// leave a grid of no cells or a storm of no minutes.
bool required_cards_given(const model_state& ms) {
  const char* missing = nullptr;
  if (ms.grid.proj_rows < 1) missing = "ROWS";
  else if (ms.grid.proj_cols < 1) missing = "COLS";
  else if (!(ms.grid.grid_size > 0.0)) missing = "GRIDSIZE";
  else if (!ms.clock.long_term && ms.clock.tot_time < 1) missing = "TOT_TIME";
  if (!missing) return true;
  std::printf("Error: the project file has no %s card; every run needs it%s.\n", missing,
              std::string_view(missing) == "TOT_TIME" ? " unless it is long-term" : "");
  return false;
}

// The cards of the pipe network act only on a network its STORM_SEWER card
// gives.
bool pipe_cards_have_network(const model_state& ms) {
  const pipe_state& p = ms.pipe;
  const output_state& o = ms.output;
  if (p.storm_sewer_given) return true;
  const struct {
    int given;
    const char* card;
  } cards[] = {{!ms.project.grid_pipe.empty(), "GRID_PIPE"},
               {p.superlink_c_opt, "SUPERLINK_C_OPT"},
               {p.high_head_release, "HIGH_HEAD_RELEASE"},
               {p.superlink_drainmod, "SUPERLINK_DRAINMOD"},
               {o.pipe_flow_given, "PIPE_FLOW"},
               {o.pipe_head_given, "PIPE_HEAD"},
               {o.pipe_tile_given, "PIPE_TILE"},
               {p.superlink_junc_location_given, "SUPERLINK_JUNC_LOCATION"},
               {p.superlink_node_location_given, "SUPERLINK_NODE_LOCATION"},
               {o.superlink_junc_flow_given, "SUPERLINK_JUNC_FLOW"},
               {o.superlink_node_flow_given, "SUPERLINK_NODE_FLOW"}};
  for (const auto& c : cards) {
    if (!c.given) continue;
    std::printf("Error: the %s card acts on the pipe network, which only a STORM_SEWER card gives.\n", c.card);
    return false;
  }
  return true;
}

// The soil column and the sediment-bound share of the contaminants are
// parts of the overland contaminant transport (which SOIL_EROSION of 10 or
// more also switches on, carrying the sediment classes as constituents).
bool constituent_cards_have_transport(const model_state& ms) {
  const constituent_state& k = ms.constituent;
  if (k.ov_con_trans || (k.soil_erosion_on && k.soil_erosion >= 10)) return true;
  const struct {
    int given;
    const char* card;
  } cards[] = {{k.soil_con_trans, "SOIL_CON_TRANS"}, {k.sediment_contam, "SEDIMENT_CONTAM"}};
  for (const auto& c : cards) {
    if (!c.given) continue;
    std::printf("Error: the %s card acts on the contaminants carried over the land, which only an OV_CON_TRANS "
                "card gives.\n", c.card);
    return false;
  }
  return true;
}

// A card that acts only with a partner (a scheme, another card, a table of
// the mapping table or a kind of run) that the project does not give would
// be read and then ignored: the first such card stops the run, naming it
// and what it needs.
bool cards_have_their_partners(const model_state& ms) {
  const project_options& po = ms.project.project_options;
  const soil_state& soil = ms.soil;
  const bool long_term = ms.clock.long_term != 0;
  const bool green_ampt_maps = soil.green_ampt || soil.inf_redist;
  const bool soil_classes = soil.inf_layered_soil || soil.inf_richards;
  const bool infiltration = green_ampt_maps || soil_classes;
  const bool interception_table = ms.grid.cmt_table_present[cmt_interception] != 0;
  static constexpr const char* weather = "a long-term run (LONG_TERM): only it reads the weather and "
                                         "evapotranspires";
  static constexpr const char* penman = "Penman-Monteith evapotranspiration (LONG_TERM and ET_CALC_PENMAN)";
  static constexpr const char* green_ampt = "a Green and Ampt infiltration (GREEN_AMPT or INF_REDIST)";
  static constexpr const char* redistribution = "the Green and Ampt infiltration with redistribution (INF_REDIST)";
  static constexpr const char* classes = "a soil of classes (INF_LAYERED_SOIL or INF_RICHARDS)";
  const struct {
    bool unpartnered;
    const char* card;
    const char* needs;
  } cards[] = {
      {po.storage_capacity_given && !po.interception_coeff_given, "STORAGE_CAPACITY",
       "interception: the INTERCEPTION_COEFF card too (or the INTERCEPTION card with the mapping table's "
       "INTERCEPTION table)"},
      {po.interception_coeff_given && !po.storage_capacity_given && !interception_table, "INTERCEPTION_COEFF",
       "the canopy's storage: the STORAGE_CAPACITY card too (or the mapping table's INTERCEPTION table)"},
      {po.lowspot_file_given && !po.dike_map_given, "LOWSPOT_FILE",
       "the dikes its notches cross: the DIKE_MAP (or EMBANKMENT) card"},
      {po.ovr_flow_block && !ms.grid.mapping_table_given, "OVR_FLOW_BLOCK",
       "the blocked shares of the mapping table's OVR_FLOW_BLOCK table; the project has no MAPPING_TABLE card"},
      {po.ovr_flow_block && ms.grid.mapping_table_given && !ms.grid.cmt_table_present[cmt_ovr_flow_block],
       "OVR_FLOW_BLOCK",
       "the blocked shares of the mapping table's OVR_FLOW_BLOCK table, which the mapping table does not hold "
       "(or whose index map cannot be opened)"},
      {po.vol_sed_susp_given && ms.output.no_map_output, "VOL_SED_SUSP",
       "a gridded dataset of the maps (MAP_TYPE 1 or 2): the per-time grids of MAP_TYPE 0 do not hold the "
       "suspended sediment"},
      {po.conductivity_given && !green_ampt_maps, "CONDUCTIVITY", green_ampt},
      {po.capillary_given && !green_ampt_maps, "CAPILLARY", green_ampt},
      {po.porosity_given && !green_ampt_maps, "POROSITY", green_ampt},
      {po.moisture_given && !green_ampt_maps, "MOISTURE", green_ampt},
      {po.pore_index_given && !soil.inf_redist, "PORE_INDEX", redistribution},
      {po.residual_sat_given && !soil.inf_redist, "RESIDUAL_SAT", redistribution},
      {!po.soil_type_map.empty() && !soil_classes, "SOIL_TYPE_MAP", classes},
      {!po.soil_layer_input_file.empty() && !soil_classes, "SOIL_LAYER_INPUT_FILE", classes},
      {po.area_reduction_given && !infiltration, "AREA_REDUCTION",
       "an infiltration scheme: the share it takes neither infiltrates nor evapotranspires"},
      {po.unif_area_reduction_given && !infiltration, "UNIF_AREA_REDUCTION",
       "an infiltration scheme: the share it takes neither infiltrates nor evapotranspires"},
      {po.hmet_surfaways_given && !long_term, "HMET_SURFAWAYS", weather},
      {po.hmet_samson_given && !long_term, "HMET_SAMSON", weather},
      {po.hmet_guv_given && !long_term, "HMET_GUV", weather},
      {po.hmet_ascii_given && !long_term, "HMET_ASCII", weather},
      {po.hmet_ascii_pet_given && !long_term, "HMET_ASCII_PET", weather},
      {po.hmet_orog_gages_given && !long_term, "HMET_OROG_GAGES", weather},
      {po.orogvar_hmet && !long_term, "OROGVAR_HMET", weather},
      {po.et_calc_penman && !long_term, "ET_CALC_PENMAN", weather},
      {po.et_calc_deardorff && !long_term, "ET_CALC_DEARDORFF", weather},
      {po.albedo_given && !long_term, "ALBEDO", weather},
      {po.cfgi && !long_term, "CFGI", weather},
      {po.vheight_given && !(long_term && po.et_calc_penman), "VHEIGHT", penman},
      {po.tcoeff_given && !(long_term && po.et_calc_penman), "TCOEFF", penman},
      {po.canopy_given && !(long_term && po.et_calc_penman), "CANOPY", penman},
      {po.wilting_point_given && !(long_term && po.et_calc_penman), "WILTING_POINT", penman},
  };
  for (const auto& c : cards) {
    if (!c.unpartnered) continue;
    std::printf("Error: the %s card acts only with %s.\n", c.card, c.needs);
    return false;
  }
  return true;
}

// The first failing test names its code.
int first_conflict(model_state& ms) {
  if (!counts_fit(ms)) return own_message_code;
  const bool long_term = ms.clock.long_term != 0;
  const bool et_table = ms.grid.cmt_table_present[cmt_evapotranspiration] != 0;
  const bool penman_maps = long_term && ms.hydromet.et_calc_penman && !ms.soil.inf_richards && !et_table;

  if (ms.overland.manning_n_given && ms.overland.roughness_given) return 6;
  if (long_term && ms.hydromet.et_calc_penman && ms.hydromet.et_calc_deardorff) return 7;
  if (ms.hydromet.hmet_surfaways_given && (ms.hydromet.hmet_samson_given || ms.hydromet.hmet_guv_given)) return 8;
  if (ms.hydromet.hmet_samson_given && ms.hydromet.hmet_guv_given) return 8;
  if (long_term && !ms.hydromet.et_calc_penman && !ms.hydromet.et_calc_deardorff) return 9;
  if (ms.hydromet.precip_file_given && ms.hydromet.precip_unif) return 10;
  if (ms.hydromet.precip_unif && (ms.hydromet.rain_intensity == 0.0 || ms.hydromet.rain_duration == 0.0)) return 11;
  if (long_term && !ms.soil.inf_redist && !ms.soil.inf_richards && !ms.soil.inf_layered_soil) return 20;
  if (long_term && !ms.hydromet.albedo_given && !ms.soil.inf_richards && !et_table) return 21;
  if (penman_maps && !ms.hydromet.vheight_given) return 22;
  if (penman_maps && !ms.hydromet.tcoeff_given) return 23;
  if (penman_maps && !ms.hydromet.canopy_given) return 24;
  if (penman_maps && !ms.hydromet.wilting_point_given) return 25;

  if (ms.soil.inf_layered_soil && ms.soil.green_ampt) return 26;
  if (ms.soil.inf_layered_soil && ms.soil.inf_redist) return 27;
  if (ms.soil.inf_layered_soil && ms.soil.inf_richards) return 28;
  if (ms.soil.inf_layered_soil) drop_green_ampt_maps(ms.soil);

  if (ms.soil.inf_richards && ms.soil.green_ampt) return 29;
  if (ms.soil.inf_richards && ms.soil.inf_redist) return 30;
  if (ms.soil.inf_richards && ms.soil.inf_layered_soil) return 31;
  // Without the card the vertical cell size keeps its default of -999.9.
  if (ms.soil.inf_richards && ms.groundwater.gw_simulation && ms.groundwater.aquifer_delta_z < 0.0) return 32;
  if (ms.soil.inf_richards) drop_green_ampt_maps(ms.soil);

  if (ms.soil.green_ampt && ms.soil.inf_redist) return 33;
  if (ms.channel.chan_drain && ms.channel.chan_init_backwater) return 34;
  if (ms.channel.chan_drain_routing) return 35;
  if (ms.channel.chan_explic && ms.channel.chan_mesh) return 37;
  if (ms.channel.chan_explic && ms.constituent.soil_erosion_on) ms.constituent.chan_sed_on = 1;

  if (ms.output.chan_discharge_given_2 && !ms.channel.chan_explic) ms.output.chan_discharge_given_2 = 0;
  const bool gw_table = ms.grid.cmt_table_present[cmt_groundwater] != 0;
  // The water-table map gives the aquifer its starting heads.
  if (ms.project.project_options.gw_simulation && !ms.project.project_options.water_table_given) {
    std::printf("Error: the GW_SIMULATION card needs the WATER_TABLE card: its map gives the aquifer its starting "
                "heads.\n");
    return own_message_code;
  }
  if (ms.groundwater.gw_simulation) {
    if (ms.groundwater.gw_porosity_map_given && ms.groundwater.gw_unif_porosity_given) return 38;
    if (!ms.groundwater.gw_porosity_map_given && !ms.groundwater.gw_unif_porosity_given && !gw_table &&
        !ms.soil.inf_richards) {
      set_error(39);
      report_error();
    }
    if (ms.groundwater.gw_hycond_map_given && ms.groundwater.gw_unif_hycond_given) return 40;
    // A warning too, reported at once so that the checks below still run.
    if (!ms.groundwater.gw_hycond_map_given && !ms.groundwater.gw_unif_hycond_given && !gw_table) {
      set_error(41);
      report_error();
    }
    if (ms.groundwater.sacramento_given) return 42;
  }
  // The card sets the water of the unsaturated zone between the
  // soil-moisture accounting layer and the water table.
  if (ms.project.project_options.single_unsat_sat_given && !(ms.groundwater.gw_simulation && ms.soil.inf_redist)) {
    std::printf("Error: the SINGLE_UNSAT_SAT card sets the water content of the unsaturated zone between the "
                "soil-moisture accounting layer and the water table, which only a run with GW_SIMULATION and "
                "INF_REDIST has.\n");
    return own_message_code;
  }

  if (ms.clock.zem) {
    std::printf("Running NIVRA in ZEM environment\n");
    if (ms.clock.mola_given) std::printf("NIVRA will share data with MOLA through file: %s\n", ms.project.mola.c_str());
    if (ms.clock.zem_event_num_given)
      std::printf("This is an event call of NIVRA by ZEM, zem_event_num=%d\n", ms.clock.zem_event_num);
    if (!ms.clock.mola_given) return 43;
    if (ms.clock.zem_event_num_given && ms.clock.zem_event_num < 0) return 44;
    if (ms.groundwater.gw_simulation) return 45;
  }
  if (ms.clock.mola_given && !ms.clock.zem) return 46;
  if (!required_cards_given(ms)) return own_message_code;
  if (!pipe_cards_have_network(ms)) return own_message_code;
  if (!sediment_cards_have_erosion(ms)) return own_message_code;
  if (!constituent_cards_have_transport(ms)) return own_message_code;
  if (!cards_have_their_partners(ms)) return own_message_code;
  return 0;
}

}  // namespace

void check_options(model_state& ms) {
  int code = first_conflict(ms);
  if (code != 0) set_error(code);
}

}  // namespace nivra
