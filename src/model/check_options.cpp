#include "model/check_options.h"

#include <cctype>
#include <cstdio>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/card_table.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "output/step_outputs.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
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
    std::printf("Error: %s describes eroded soil, but the project has no SOIL_EROSION card.\n",
                card_on_line(c.name, card_line_number(po, c.name)).c_str());
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
    std::printf("Error: %s acts on the contaminants carried over the land, which only an OV_CON_TRANS card "
                "gives.\n",
                card_on_line(c.card, card_line_number(ms.project.project_options, c.card)).c_str());
    return false;
  }
  return true;
}

// A card and whether its partner is there: a scheme, another card, a
// table of the mapping table or a kind of run. Without its partner a card
// that brings water or mass, names an output, asks for a process or
// contradicts another card stops the run: the results would otherwise
// differ in silence from what the file says. One that only dates, places,
// tunes, formats or prints for what the run does not have changes nothing:
// it is warned about (once, by its first rule) and the run goes on.
struct partner_rule {
  const char* card;  // the card's word
  bool partnered;
  const char* needs;  // what it acts with
  bool warns = false;
  const char* unused = nullptr;  // a warning's own text, in place of "changes nothing: it acts only with ..."
};
constexpr bool warns = true;

// Each card of the rules that the project gives without its partner: the
// first that stops stops the run, naming it, its line and what it needs
// (false then); one that changes nothing is warned about.
bool partners_present(model_state& ms, std::span<const partner_rule> rules) {
  project_options& po = ms.project.project_options;
  for (const partner_rule& r : rules) {
    if (r.partnered || !card_given(po, r.card)) continue;
    const std::string card = card_on_line(r.card, card_line_number(po, r.card));
    if (!r.warns) {
      std::printf("Error: %s acts only with %s.\n", card.c_str(), r.needs);
      return false;
    }
    const std::size_t i = card_table_index(*find_project_card(r.card));
    if (po.cards_warned.test(i)) continue;
    po.cards_warned.set(i);
    warn_card(po,
              r.unused ? card + " " + r.unused : card + " changes nothing: it acts only with " + r.needs + ".",
              ms.project.optimizer_mode);
  }
  return true;
}

// The cards of the pipe network act only on a network its STORM_SEWER card
// gives; its options change nothing without one.
bool pipe_cards_have_network(model_state& ms) {
  const bool network = ms.pipe.storm_sewer_given != 0;
  static constexpr const char* pipes = "the pipe network, which only a STORM_SEWER card gives";
  const partner_rule rules[] = {
      {"GRID_PIPE", network, pipes},
      {"SUPERLINK_C_OPT", network, pipes, warns},
      {"HIGH_HEAD_RELEASE", network, pipes, warns},
      {"SUPERLINK_DRAINMOD", network, pipes, warns},
      {"PIPE_FLOW", network, pipes},
      {"PIPE_HEAD", network, pipes},
      {"PIPE_TILE", network, pipes},
      {"SUPERLINK_JUNC_LOCATION", network, pipes},
      {"SUPERLINK_NODE_LOCATION", network, pipes},
      {"SUPERLINK_JUNC_FLOW", network, pipes},
      {"SUPERLINK_NODE_FLOW", network, pipes},
  };
  return partners_present(ms, rules);
}

// Interception, dikes, blocked flow and overland lakes; the soil maps,
// options, depths, outputs and hotstarts of the infiltration schemes; the
// weather, evapotranspiration, seasons and frozen ground of long-term runs.
bool surface_and_soil_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const soil_state& soil = ms.soil;
  const bool long_term = ms.clock.long_term != 0;
  const bool penman = long_term && po.et_calc_penman;
  const bool green_ampt_maps = soil.green_ampt || soil.inf_redist;
  const bool soil_classes = soil.inf_layered_soil || soil.inf_richards;
  const bool infiltration = green_ampt_maps || soil_classes;
  const bool interception_table = ms.grid.cmt_table_present[cmt_interception] != 0;
  const bool mapping_table = ms.grid.mapping_table_given != 0;
  static constexpr const char* weather = "a long-term run (LONG_TERM): only it reads the weather and "
                                         "evapotranspires";
  static constexpr const char* penman_et = "Penman-Monteith evapotranspiration (LONG_TERM and ET_CALC_PENMAN)";
  static constexpr const char* green_ampt = "a Green and Ampt infiltration (GREEN_AMPT or INF_REDIST)";
  static constexpr const char* redistribution = "the Green and Ampt infiltration with redistribution (INF_REDIST)";
  static constexpr const char* classes = "a soil of classes (INF_LAYERED_SOIL or INF_RICHARDS)";
  static constexpr const char* any_scheme =
      "an infiltration scheme (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS)";
  static constexpr const char* reduction =
      "an infiltration scheme: the share it takes neither infiltrates nor evapotranspires";
  static constexpr const char* richards = "Richards' equation (INF_RICHARDS)";
  const bool by_months = po.seasonal_rs && po.seasonal_rs_spring > 0;
  const bool seasons_used = long_term && po.seasonal_rs && (po.et_calc_penman || po.interception_coeff_given);
  static constexpr const char* months = "the seasons of the SEASONAL_RS card from its months: SEASONAL_RS_SPRING "
                                        "above 0 (without it the months come from the latitude)";
  static constexpr const char* soil_below =
      "a soil under the cells: an infiltration scheme (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS) or "
      "saturated groundwater (GW_SIMULATION)";
  const partner_rule rules[] = {
      {"STORAGE_CAPACITY", po.interception_coeff_given != 0,
       "interception: the INTERCEPTION_COEFF card too (or the INTERCEPTION card with the mapping table's "
       "INTERCEPTION table)"},
      {"INTERCEPTION_COEFF", po.storage_capacity_given || interception_table,
       "the canopy's storage: the STORAGE_CAPACITY card too (or the mapping table's INTERCEPTION table)"},
      {"LOWSPOT_FILE", po.dike_map_given != 0, "the dikes its notches cross: the DIKE_MAP (or EMBANKMENT) card"},
      {"OVR_FLOW_BLOCK", mapping_table,
       "the blocked shares of the mapping table's OVR_FLOW_BLOCK table; the project has no MAPPING_TABLE card"},
      {"OVR_FLOW_BLOCK", !mapping_table || ms.grid.cmt_table_present[cmt_ovr_flow_block],
       "the blocked shares of the mapping table's OVR_FLOW_BLOCK table, which the mapping table does not hold "
       "(or whose index map cannot be opened)"},
      {"OVERLAND_LAKE_FILE", po.overland_lake_map_given != 0, "the overland lakes of the OVERLAND_LAKE_MAP card"},
      {"VOL_SED_SUSP", !ms.output.no_map_output,
       "a gridded dataset of the maps (MAP_TYPE 1 or 2): the per-time grids of MAP_TYPE 0 do not hold the "
       "suspended sediment"},
      {"CONDUCTIVITY", green_ampt_maps, green_ampt, warns},
      {"CAPILLARY", green_ampt_maps, green_ampt, warns},
      {"POROSITY", green_ampt_maps, green_ampt, warns},
      {"MOISTURE", green_ampt_maps, green_ampt, warns},
      {"PORE_INDEX", soil.inf_redist != 0, redistribution, warns},
      {"RESIDUAL_SAT", soil.inf_redist != 0, redistribution, warns},
      {"SOIL_TYPE_MAP", soil_classes, classes, warns},
      {"SOIL_LAYER_INPUT_FILE", soil_classes, classes, warns},
      {"AREA_REDUCTION", infiltration, reduction, warns},
      {"UNIF_AREA_REDUCTION", infiltration, reduction, warns},
      {"RICHARDS_C_OPTION", soil.inf_richards != 0, richards, warns},
      {"RICHARDS_K_OPTION", soil.inf_richards != 0, richards, warns},
      {"RICHARDS_WEIGHT", soil.inf_richards != 0, richards, warns},
      {"RICHARDS_WEIGHT", po.richards_k_option == richards_k_mean::arithmetic,
       "the arithmetic mean of the conductivities between nodes: the RICHARDS_K_OPTION card with ARITHMETIC", warns},
      {"RICHARDS_UPPER_OPTION", soil.inf_richards != 0, richards, warns},
      {"RICHARDS_ITER_MAX", soil.inf_richards != 0, richards, warns},
      {"RICHARDS_DTHETA_MAX", soil.inf_richards != 0, richards, warns},
      // The soil's depths: the accounting layer, its top zone, the roots,
      // the columns the soil contaminants live in.
      {"SOIL_MOIST_DEPTH", infiltration || po.gw_simulation, soil_below, warns},
      {"TOP_LAYER_DEPTH", infiltration || po.gw_simulation, soil_below, warns},
      {"MIXING_LAYER_DEPTH", po.soil_con_trans || po.sediment_contam,
       "contaminants in the soil or on its fines: SOIL_CON_TRANS or SEDIMENT_CONTAM", warns},
      // Outputs and hotstarts of the soil water.
      {"INF_DEPTH", infiltration, any_scheme},
      {"RATE_OF_INFIL", infiltration, any_scheme},
      {"SURF_MOIST", infiltration, any_scheme},
      {"READ_SM_HOTSTART", infiltration, any_scheme},
      {"WRITE_SM_HOTSTART", infiltration, any_scheme},
      {"IN_THETA_LOCATION", infiltration, any_scheme},
      {"OUT_THETA_LOCATION", po.in_theta_location_given != 0, "the cells of the IN_THETA_LOCATION card"},
      // Weather and evapotranspiration.
      {"HMET_SURFAWAYS", long_term, weather},
      {"HMET_SAMSON", long_term, weather},
      {"HMET_GUV", long_term, weather},
      {"HMET_ASCII", long_term, weather},
      {"HMET_ASCII_PET", long_term, weather},
      {"HMET_OROG_GAGES", long_term, weather},
      {"OROGVAR_HMET", long_term, weather, warns},
      {"ET_CALC_PENMAN", long_term, weather},
      {"ET_CALC_DEARDORFF", long_term, weather},
      {"ALBEDO", long_term, weather, warns},
      {"LATITUDE", long_term, weather, warns},
      {"GMT", long_term, weather, warns},
      {"HMET_ELEV_GAGE", long_term, weather, warns},
      {"HMET_XCOORD_GAGE", long_term, weather, warns},
      {"HMET_YCOORD_GAGE", long_term, weather, warns},
      {"HMET_LAPSE_RATE", long_term, weather, warns},
      {"HMET_LAPSE_RATE", po.hmet_orog_gages_given != 0,
       "the temperatures of a second station (HMET_OROG_GAGES): it is the lapse rate of the hours that station "
       "misses", warns},
      {"YES_DALR_FLAG", long_term, weather, warns},
      // Two lapse rates for every hour: the second station's and the card's.
      {"YES_DALR_FLAG", !po.hmet_orog_gages_given,
       "the elevation bands of one weather station, without HMET_OROG_GAGES: the two stations give the lapse "
       "rate of every hour in its place"},
      {"EVENT_MIN_Q", long_term,
       "a long-term run (LONG_TERM): its events end once the outlet falls below it", warns},
      {"VHEIGHT", penman, penman_et, warns},
      {"TCOEFF", penman, penman_et, warns},
      {"CANOPY", penman, penman_et, warns},
      {"WILTING_POINT", penman, penman_et, warns},
      {"SEASONAL_RS", long_term, weather, warns},
      {"SEASONAL_RS", po.et_calc_penman || po.interception_coeff_given,
       "what it scales: the canopy resistance of Penman-Monteith evapotranspiration (ET_CALC_PENMAN) or the "
       "interception capacity (INTERCEPTION_COEFF)", warns},
      {"SEASONAL_RS_SPRING", po.seasonal_rs != 0, "the seasonal factor (SEASONAL_RS)", warns},
      {"SEASONAL_RS_SUMMER_START", by_months, months, warns},
      {"SEASONAL_RS_SUMMER_END", by_months, months, warns},
      {"SEASONAL_RS_FALL", by_months, months, warns},
      {"SEASONAL_RS_SPRING",
       !seasons_used || po.seasonal_rs_spring < 1 || (card_given(po, "SEASONAL_RS_SUMMER_START") &&
                                     card_given(po, "SEASONAL_RS_SUMMER_END") && card_given(po, "SEASONAL_RS_FALL")),
       "the other months of the seasons: SEASONAL_RS_SUMMER_START, SEASONAL_RS_SUMMER_END and SEASONAL_RS_FALL "
       "(a spring month of 0 takes the months from the latitude)"},
      {"CFGI", long_term, weather},
      {"CFGI_INDEX", po.cfgi != 0, "the frozen-ground index (CFGI)", warns},
      {"CFGI_K", po.cfgi != 0, "the frozen-ground index (CFGI)", warns},
      {"GTFSM", long_term, weather},
  };
  return partners_present(ms, rules);
}

// The seasons of the seasonal factor follow each other through the year:
// winter up to the spring month, a rise to summer, summer, a fall back to
// winter from the fall month.
bool seasonal_months_in_order(const project_options& po) {
  if (!po.seasonal_rs || po.seasonal_rs_spring < 1) return true;
  const int s = po.seasonal_rs_spring, ss = po.seasonal_rs_summer_start, se = po.seasonal_rs_summer_end,
            f = po.seasonal_rs_fall;
  if (s <= ss && ss <= se && se <= f && s < f) return true;
  std::printf("Error: the months of the SEASONAL_RS card, SEASONAL_RS_SPRING %d, SEASONAL_RS_SUMMER_START %d, "
              "SEASONAL_RS_SUMMER_END %d and SEASONAL_RS_FALL %d, are not in the order of the seasons: spring at "
              "or before the start of summer, summer's start at or before its end, its end at or before the fall, "
              "and the spring before the fall.\n",
              s, ss, se, f);
  return false;
}

// Snow falls and melts only in long-term runs; each melt model takes its
// own parameters.
bool snow_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const bool long_term = ms.clock.long_term != 0;
  const bool energy_balance = po.eb_snow != 0;
  const bool index_melt = po.nwsrfs_snow && !energy_balance;
  static constexpr const char* snow = "a long-term run (LONG_TERM): only it lays and melts snow";
  static constexpr const char* index = "the temperature-index melt (NWSRFS_SNOW without EB_SNOW)";
  static constexpr const char* not_energy_balance =
      "a melt by temperature index (NWSRFS_SNOW) or by energy budget and index (neither NWSRFS_SNOW nor EB_SNOW): "
      "the energy-balance melt (EB_SNOW) does not use it";
  const partner_rule rules[] = {
      {"NWSRFS_SNOW", long_term, snow},
      {"EB_SNOW", long_term, snow},
      {"SNOW_TEMP_BASE", long_term, snow, warns},
      {"NWSRFS_MF_MAX", long_term, snow, warns},
      {"NWSRFS_MF_MIN", long_term, snow, warns},
      {"NWSRFS_SCF", long_term, snow, warns},
      {"NWSRFS_FR_USE", long_term, snow, warns},
      {"NWSRFS_TIPM", long_term, snow, warns},
      {"NWSRFS_NMF", long_term, snow, warns},
      {"NWSRFS_PLWHC", long_term, snow, warns},
      {"NWSRFS_ELEV_SNOW", long_term, snow, warns},
      {"SNAP_RETENTION", long_term, snow},
      {"SNOW_NO_INFILTRATE", long_term, snow},
      {"ROUTE_LAT_SNOW", long_term, snow},
      {"SNOW_DARCY", long_term, snow, warns},
      {"SNOW_ROUGHNESS", long_term, snow, warns},
      // The snow of an event run lies on its cells, booked as their
      // storage, and no process melts it.
      {"INIT_SWE_DEPTH", long_term, snow, warns,
       "lays snow that no process of an event run melts: it lies on the cells, booked as storage (only a long-term "
       "run (LONG_TERM) melts snow)."},
      {"SNOW_SWE_FILE", long_term, snow},
      {"NWSRFS_SNOW", !energy_balance,
       "a melt by temperature index without EB_SNOW: the energy-balance melt takes its place"},
      {"NWSRFS_MF_MAX", index_melt, index, warns},
      {"NWSRFS_MF_MIN", index_melt, index, warns},
      {"NWSRFS_FR_USE", index_melt, index, warns},
      {"NWSRFS_SCF", !energy_balance, not_energy_balance, warns},
      {"NWSRFS_TIPM", !energy_balance, not_energy_balance, warns},
      {"NWSRFS_NMF", !energy_balance, not_energy_balance, warns},
      {"NWSRFS_PLWHC", !energy_balance, not_energy_balance, warns},
      {"NWSRFS_ELEV_SNOW", !energy_balance, not_energy_balance, warns},
      {"SNOW_DARCY", po.route_lat_snow || po.snap_retention,
       "water flowing through the snowpack: ROUTE_LAT_SNOW or SNAP_RETENTION", warns},
      {"SNOW_ROUGHNESS", !po.snow_darcy_given,
       "the overland flow of snow-covered cells by Manning's law, without SNOW_DARCY: with it that water flows "
       "through the pack by Darcy's law instead", warns},
      {"ROUTE_LAT_SNOW", po.overtype != overland_scheme::explicit_faces,
       "an ADE overland scheme (OVERTYPE ADE or ADE-PC): the explicit scheme routes no water through the snowpack"},
  };
  return partners_present(ms, rules);
}

// The uniform storm's cards, the gages' interpolation and the radar's unit.
bool rain_cards_have_their_partners(model_state& ms) {
  const rain_event& re = ms.project.rain_event;
  // Without a precipitation file the rain is the uniform storm.
  const bool gages = re.precip_file_given != 0, uniform = !gages;
  const bool dated = uniform || ms.clock.long_term;
  static constexpr const char* storm = "a uniform storm (PRECIP_UNIF), not with PRECIP_FILE";
  static constexpr const char* start =
      "a uniform storm (PRECIP_UNIF) or a long-term run (LONG_TERM): a storm run of a precipitation file starts at "
      "the first line of its first event";
  const partner_rule rules[] = {
      {"RAIN_INTENSITY", uniform, storm},
      {"RAIN_DURATION", uniform, storm},
      {"START_DATE", dated, start, warns},
      {"START_TIME", dated, start, warns},
      {"RAIN_INV_DISTANCE", gages, "the gages of a precipitation file (PRECIP_FILE)", warns},
      {"RAIN_THIESSEN", gages, "the gages of a precipitation file (PRECIP_FILE)", warns},
      {"RADAR_MM", gages, "the radar grids a precipitation file names (PRECIP_FILE)", warns},
  };
  return partners_present(ms, rules);
}

// The channel network, its outlet, hotstarts, water quality and outputs
// are those of explicit channel routing.
bool channel_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const bool channels = ms.channel.chan_explic != 0;
  const bool exchange = po.stream_loss || po.gw_simulation;
  const bool lakes_possible = channels || po.overland_lake_map_given;
  static constexpr const char* chan = "explicit channel routing (CHAN_EXPLIC)";
  static constexpr const char* bed =
      "the channels' exchange through their beds: STREAM_LOSS (or GW_SIMULATION, which sets it)";
  static constexpr const char* carried =
      "constituents in the channels: CHAN_CON_TRANS, or the sediment classes of SOIL_EROSION of 10 or more";
  // The channels carry the sediment classes of SOIL_EROSION of 10 or more
  // as constituents; contaminants, which alone decay and start from
  // INIT_CHAN_CONC, with CHAN_CON_TRANS or with the overland ones.
  const bool classes_carried = po.soil_erosion_on && po.soil_erosion >= 10;
  const bool channel_contaminants = po.chan_con_trans || (classes_carried && po.ov_con_trans);
  static constexpr const char* contaminants =
      "contaminants in the channels: CHAN_CON_TRANS (or OV_CON_TRANS with SOIL_EROSION of 10 or more); the "
      "sediment classes neither decay nor start from it";
  static constexpr const char* locations = "the channel nodes of the IN_HYD_LOCATION card";
  static constexpr const char* held = "an outlet held at a level: the HEAD_BOUND card";
  static constexpr const char* lumped = "explicit channel routing (CHAN_EXPLIC): its model returns its water to the "
                                        "channels";
  const partner_rule rules[] = {
      {"SACRAMENTO", channels, lumped},
      {"SACRAMENTO_PARS", channels, lumped},
      {"CONCEPTUAL_GW", channels, lumped},
      {"CHANNEL_INPUT", channels, chan},
      {"STREAM_CELL", channels, chan},
      {"MAX_COURANT_NUMBER", channels, chan, warns},
      {"OVERBANK_FLOW", channels, chan},
      {"OVERBANK_MAX_DV", channels, chan, warns},
      {"OVERLAND_BACKWATER", channels, chan},
      {"HEAD_BOUND", channels, chan},
      {"BOUND_DEPTH", channels, chan, warns},
      {"BOUND_TS", channels, chan, warns},
      {"STREAM_LOSS", channels, chan},
      {"K_RIVER", channels, chan, warns},
      {"M_RIVER", channels, chan, warns},
      {"FIRST_ORDER_CHAN_Q", channels, chan},
      {"STREAM_INFO", channels, chan, warns},
      {"WRITE_CHAN_HOTSTART", channels, chan},
      {"EXPLIC_BACKWATER", channels, chan},
      {"READ_CHAN_HOTSTART", channels, chan},
      {"EXPLIC_HOTSTART", channels, chan},
      {"HOTSTART_IS_DEPTH", channels, chan, warns},
      {"CHAN_CON_TRANS", channels, chan},
      {"CHAN_DECAY_COEF", channels, chan, warns},
      {"CHAN_DISP_COEF", channels, chan, warns},
      {"INIT_CHAN_CONC", channels, chan},
      {"CHAN_DEPTH", channels, chan},
      {"CHAN_DISCHARGE", channels, chan},
      {"CHAN_STAGE", channels, chan},
      {"CHAN_VELOCITY", channels, chan},
      {"CHAN_SED_FLUX", channels, chan},
      {"FLOOD_STREAM", channels, chan},
      {"IN_HYD_LOCATION", channels, chan},
      {"OUT_HYD_LOCATION", channels, chan},
      {"OUT_DEP_LOCATION", channels, chan},
      {"OUT_CON_LOCATION", channels, chan},
      {"OUT_MASS_LOCATION", channels, chan},
      {"IN_GWFLUX_LOCATION", channels, chan},
      {"OUT_GWFLUX_LOCATION", channels, chan},
      {"LINKS", channels, chan, warns},
      {"ST_MAPPING_TABLE", channels, chan, warns},
      {"LAKE_OUTPUT", lakes_possible,
       "lakes: the OVERLAND_LAKE_MAP card, or LAKE links of explicit channel routing (CHAN_EXPLIC)"},
      // Partners within the channels.
      {"BOUND_DEPTH", po.head_bound != 0, held, warns},
      {"BOUND_TS", po.head_bound != 0, held, warns},
      {"BOUND_DEPTH", !po.bound_ts_given,
       "HEAD_BOUND and without the BOUND_TS card, whose series gives the outlet's depth in its place"},
      {"HOTSTART_IS_DEPTH", po.read_chan_hotstart_given || po.explic_hotstart_given,
       "a channel hotstart to read: the READ_CHAN_HOTSTART (or EXPLIC_HOTSTART) card", warns},
      {"K_RIVER", exchange, bed, warns},
      {"M_RIVER", exchange, bed, warns},
      {"IN_GWFLUX_LOCATION", exchange, bed},
      {"CHAN_DISP_COEF", po.chan_con_trans || classes_carried, carried, warns},
      {"CHAN_DECAY_COEF", channel_contaminants, contaminants, warns},
      {"INIT_CHAN_CONC", channel_contaminants, contaminants},
      {"OUT_HYD_LOCATION", po.in_hyd_location_given != 0, locations},
      {"OUT_DEP_LOCATION", po.in_hyd_location_given != 0, locations},
      {"OUT_CON_LOCATION", po.in_hyd_location_given != 0, locations},
      {"OUT_MASS_LOCATION", po.in_hyd_location_given != 0, locations},
      {"OUT_CON_LOCATION", po.chan_con_trans || classes_carried, carried},
      {"OUT_MASS_LOCATION", po.chan_con_trans || classes_carried, carried},
      {"OUT_GWFLUX_LOCATION", po.in_gwflux_location_given != 0, "the channel nodes of the IN_GWFLUX_LOCATION card"},
      {"CHAN_SED_FLUX", po.soil_erosion_on != 0, "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)"},
      {"LINKS", po.conceptual_gw_given != 0, "the conceptual groundwater model (CONCEPTUAL_GW)", warns},
      {"ST_MAPPING_TABLE", po.nutrients != 0,
       "the nutrients of the channels (NUTRIENTS): only they take values from the stream mapping table", warns},
  };
  return partners_present(ms, rules);
}

// The aquifer's cards, and those of the soil columns over a water table.
bool groundwater_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const bool aquifer = po.gw_simulation != 0;
  static constexpr const char* gw = "saturated groundwater (GW_SIMULATION)";
  const partner_rule rules[] = {
      {"AQUIFER_BOTTOM", aquifer, gw, warns},
      {"GW_UNIF_POROSITY", aquifer, gw, warns},
      {"GW_POROSITY_MAP", aquifer, gw, warns},
      {"GW_UNIF_HYCOND", aquifer, gw, warns},
      {"GW_HYCOND_MAP", aquifer, gw, warns},
      {"GW_TIMESTEP", aquifer, gw, warns},
      {"GW_LSOR_CON", aquifer, gw, warns},
      {"GW_LSOR_DIR", aquifer, gw, warns},
      {"GW_RELAX_COEFF", aquifer, gw, warns},
      {"GW_LEAKAGE_RATE", aquifer, gw, warns},
      {"GW_BOUNDFILE", aquifer, gw, warns},
      {"GW_FLUXBOUNDTABLE", aquifer, gw},
      {"GW_FLUX_BOUNDTABLE", aquifer, gw},
      {"USE_WELLS", aquifer, gw},
      {"GW_WELL_LEVEL", aquifer, gw},
      {"OUT_WELL_LOCATION", aquifer, gw},
      {"GW_OUTPUT", aquifer, gw},
      {"GW_RECHARGE_CUM", aquifer, gw},
      {"GW_RECHARGE_INC", aquifer, gw},
      {"OUT_WELL_LOCATION", po.gw_well_level_given != 0, "the well levels of the GW_WELL_LEVEL card"},
      {"AQUIFER_DELTA_Z", po.water_table_given != 0,
       "a water table (WATER_TABLE): it spaces the nodes of the Richards columns down to the table, or sets "
       "the depth of a table held all run", warns},
      {"GW_ASSIGN_THETA", ms.soil.inf_richards && po.water_table_given,
       "Richards columns over a water table (INF_RICHARDS with WATER_TABLE)", warns},
      {"TOPO_INDEX", po.sacramento_given != 0, "the Sacramento model (SACRAMENTO)", warns},
  };
  return partners_present(ms, rules);
}

// Contaminants, sediment and nutrients.
bool quality_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const bool erosion = po.soil_erosion_on != 0;
  const bool channels = ms.channel.chan_explic != 0;
  // SOIL_EROSION of 10 or more carries the sediment classes as constituents
  // of the overland transport; the nutrient model switches it on too.
  const bool classes_carried = erosion && po.soil_erosion >= 10;
  const bool contaminants = po.ov_con_trans || po.nutrients;
  const bool transport = contaminants || classes_carried;
  const bool contaminant_table = ms.grid.cmt_table_present[cmt_contaminants] != 0;
  static constexpr const char* overland =
      "overland contaminant transport (OV_CON_TRANS, or NUTRIENTS, or SOIL_EROSION of 10 or more)";
  static constexpr const char* uniform = "overland contaminant transport (OV_CON_TRANS or NUTRIENTS)";
  static constexpr const char* no_table =
      "the uniform contaminant, without the mapping table's CONTAMINANT_TRANSPORT table: the table gives every "
      "contaminant's parameters in its place";
  static constexpr const char* sediment = "eroded soil (SOIL_EROSION)";
  static constexpr const char* channel_sediment = "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)";
  static constexpr const char* nsm = "the nutrient model (NUTRIENTS)";
  static constexpr const char* nsm_channels = "the nutrients of the channels (NUTRIENTS with CHAN_EXPLIC)";
  const bool nsm_soil = po.nutrients && po.soil_con_trans;
  const int* table = ms.grid.cmt_table_present;
  const partner_rule rules[] = {
      {"OV_CON_MAP", transport, overland},
      {"OV_DISP_COEF", transport, overland, warns},
      {"ALL_CONTAM_OUTPUT", transport || po.chan_con_trans,
       "contaminant transport (OV_CON_TRANS, CHAN_CON_TRANS, NUTRIENTS or SOIL_EROSION of 10 or more)"},
      {"KINETICS_TIMESTEP_FACTOR", transport || po.chan_con_trans,
       "contaminant transport (OV_CON_TRANS, CHAN_CON_TRANS, NUTRIENTS or SOIL_EROSION of 10 or more)", warns},
      {"OV_DECAY_COEF", contaminants, uniform, warns},
      {"OV_UPTAKE_RATE", contaminants, uniform, warns},
      {"OV_MASS_LOAD", contaminants, uniform},
      {"CONTAM_MAP", contaminants, uniform},
      {"OV_DECAY_COEF", !contaminant_table, no_table},
      {"OV_UPTAKE_RATE", !contaminant_table, no_table},
      {"OV_MASS_LOAD", !contaminant_table, no_table},
      {"OV_DISP_COEF", !contaminant_table || classes_carried, no_table},
      {"SOIL_STATIC_CONC", po.soil_con_trans != 0, "soil contaminant transport (SOIL_CON_TRANS)", warns},
      {"WATER_TEMP", erosion || po.nutrients, "eroded soil (SOIL_EROSION) or the nutrient model (NUTRIENTS)", warns},
      {"SAND_SIZE", erosion, sediment, warns},
      {"SED_POROSITY", erosion && channels, channel_sediment, warns},
      {"ADJUST_CHANNEL_BED", erosion && channels, channel_sediment, warns},
      {"FYSSI", erosion && channels, channel_sediment},
      {"CHAN_PH", po.nutrients != 0, nsm, warns},
      {"TOTAL_OV_N", po.nutrients != 0, nsm},
      {"TOTAL_OV_P", po.nutrients != 0, nsm},
      {"TOTAL_CHAN_N", po.nutrients && channels, nsm_channels},
      {"TOTAL_CHAN_KN", po.nutrients && channels, nsm_channels},
      {"TOTAL_CHAN_P", po.nutrients && channels, nsm_channels},
      {"SOILS_NSM_N", nsm_soil && table[cmt_nsm_soil_nitrogen],
       "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_N table"},
      {"SOILS_NSM_P", nsm_soil && table[cmt_nsm_soil_phosphorus],
       "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_P table"},
      {"SOILS_NSM_C", nsm_soil && table[cmt_nsm_soil_carbon],
       "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_C table"},
  };
  if (!partners_present(ms, rules)) return false;
  // The nutrients' cards of the channels' water: its starting values and
  // its link/node and outlet series.
  if (po.nutrients && channels) return true;
  for (const card_entry& e : project_card_table()) {
    const bool channel_water =
        e.kind == card_kind::nsm_st_init || e.kind == card_kind::nsm_out_st || e.kind == card_kind::nsm_out_hyd;
    if (!channel_water) continue;
    if (!po.cards_given.test(card_table_index(e))) continue;
    std::printf("Error: %s acts only with %s.\n",
                card_on_line(e.word, po.card_lines[card_table_index(e)]).c_str(), nsm_channels);
    return false;
  }
  return true;
}

// The outputs of locations and maps, and the cards of the outside
// framework and of the stream fluxes handed to ZV.
bool output_and_coupling_cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const bool maps = map_output_requested(ms);
  static constexpr const char* zem = "the ZEM framework (ZEM)";
  static constexpr const char* zv = "the segment fluxes handed to ZV (ZV_FLUXES)";
  const partner_rule rules[] = {
      {"OUT_CELLDEPDIS_LOCATION", po.in_celldepdis_location_given != 0,
       "the cells of the IN_CELLDEPDIS_LOCATION card"},
      {"OVERLAND_DEPTH_LOCATION", po.overland_depths_given != 0, "the depth series of the OVERLAND_DEPTHS card", warns},
      {"OVERLAND_WSE_LOCATION", po.overland_wse_given != 0, "the water-surface series of the OVERLAND_WSE card", warns},
      {"MAP_FREQ", maps, "a map output: DEPTH, DISCHARGE, INF_DEPTH or another card of maps written every MAP_FREQ "
                         "minutes", warns},
      {"MAP_TYPE", maps || po.flood_grid_given,
       "a map output: DEPTH, DISCHARGE, INF_DEPTH or another card of maps, or FLOOD_GRID", warns},
      {"ZEM_EVENT_NUM", po.zem != 0, zem},
      {"MOLA_FIRST", po.zem != 0, zem, warns},
      {"MOIST_TO_MOLA", po.zem != 0, zem},
      {"KSAT_TO_MOLA", po.zem != 0, zem},
      {"ROUGH_TO_MOLA", po.zem != 0, zem},
      {"POROS_TO_MOLA", po.zem != 0, zem},
      {"MOIST_FROM_MOLA", po.zem != 0, zem},
      {"KSAT_FROM_MOLA", po.zem != 0, zem},
      {"ROUGH_FROM_MOLA", po.zem != 0, zem},
      {"ZV_SEGMENT_MAP", po.zv_fluxes != 0, zv, warns},
      {"ZV_NODES_TO_SEGS", po.zv_fluxes != 0, zv, warns},
      {"ZV_SEGMENT_FLUXES", po.zv_fluxes != 0, zv},
  };
  return partners_present(ms, rules);
}

// Every card acts with the partners it needs.
bool cards_have_their_partners(model_state& ms) {
  const project_options& po = ms.project.project_options;
  return surface_and_soil_cards_have_their_partners(ms) && seasonal_months_in_order(po) &&
         snow_cards_have_their_partners(ms) && rain_cards_have_their_partners(ms) &&
         channel_cards_have_their_partners(ms) && groundwater_cards_have_their_partners(ms) &&
         quality_cards_have_their_partners(ms) && output_and_coupling_cards_have_their_partners(ms);
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
  if (ms.project.project_options.gw_simulation && ms.project.project_options.aquifer_bottom.empty()) {
    std::printf("Error: the GW_SIMULATION card needs the AQUIFER_BOTTOM card: its map gives the aquifer's bottom "
                "under every cell.\n");
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

void check_cards_against_inputs(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const partner_rule rules[] = {
      {"OVERBANK_MAX_DV", po.overbank_flow || ms.channel.overbank_exchange,
       "water spilling over the banks: the OVERBANK_FLOW card, or an OVERBANK record of a link in the channel "
       "input file, which has none", warns},
      {"LAKE_OUTPUT", po.overland_lake_map_given || ms.lake.chan_lakes,
       "lakes: the OVERLAND_LAKE_MAP card, or a LAKE link of the channel input file, which has none"},
  };
  if (!partners_present(ms, rules)) set_error(own_message_code);
}

}  // namespace nivra
