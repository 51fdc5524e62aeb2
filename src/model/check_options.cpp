#include "model/check_options.h"

#include <cstdio>

#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"

namespace nivra {

namespace {

// The Green and Ampt maps are not read for the layered and Richards schemes.
void drop_green_ampt_maps(model_state& ms) {
  ms.moisture_given = 0;
  ms.conductivity_given = 0;
  ms.capillary_given = 0;
  ms.porosity_given = 0;
  ms.pore_index_given = 0;
  ms.residual_sat_given = 0;
}

// The first failing test names its code.
int first_conflict(model_state& ms) {
  const bool long_term = ms.long_term != 0;
  const bool et_table = ms.cmt_table_present[cmt_evapotranspiration] != 0;
  const bool penman_maps = long_term && ms.et_calc_penman && !ms.inf_richards && !et_table;

  if (ms.manning_n_given && ms.roughness_given) return 6;
  if (long_term && ms.et_calc_penman && ms.et_calc_deardorff) return 7;
  if (ms.hmet_surfaways_given && (ms.hmet_samson_given || ms.hmet_guv_given)) return 8;
  if (ms.hmet_samson_given && ms.hmet_guv_given) return 8;
  if (long_term && !ms.et_calc_penman && !ms.et_calc_deardorff) return 9;
  if (ms.precip_file_given && ms.precip_unif) return 10;
  if (ms.precip_unif && (ms.rain_intensity == 0.0 || ms.rain_duration == 0.0)) return 11;
  if (long_term && !ms.inf_redist && !ms.inf_richards && !ms.inf_layered_soil) return 20;
  if (long_term && !ms.albedo_given && !ms.inf_richards && !et_table) return 21;
  if (penman_maps && !ms.vheight_given) return 22;
  if (penman_maps && !ms.tcoeff_given) return 23;
  if (penman_maps && !ms.canopy_given) return 24;
  if (penman_maps && !ms.wilting_point_given) return 25;

  if (ms.inf_layered_soil && ms.green_ampt) return 26;
  if (ms.inf_layered_soil && ms.inf_redist) return 27;
  if (ms.inf_layered_soil && ms.inf_richards) return 28;
  if (ms.inf_layered_soil) drop_green_ampt_maps(ms);

  if (ms.inf_richards && ms.green_ampt) return 29;
  if (ms.inf_richards && ms.inf_redist) return 30;
  if (ms.inf_richards && ms.inf_layered_soil) return 31;
  // Without the card the vertical cell size keeps its default of -999.9.
  if (ms.inf_richards && ms.gw_simulation && ms.aquifer_delta_z < 0.0) return 32;
  if (ms.inf_richards) drop_green_ampt_maps(ms);

  if (ms.green_ampt && ms.inf_redist) return 33;
  if (ms.chan_drain && ms.chan_init_backwater) return 34;
  if (ms.chan_drain_routing) return 35;
  if (ms.chan_explic && ms.chan_mesh) return 37;
  if (ms.chan_explic && ms.soil_erosion_on) ms.chan_sed_on = 1;

  if (ms.chan_discharge_given_2 && !ms.chan_explic) ms.chan_discharge_given_2 = 0;
  const bool gw_table = ms.cmt_table_present[cmt_groundwater] != 0;
  if (ms.gw_simulation) {
    if (ms.gw_porosity_map_given && ms.gw_unif_porosity_given) return 38;
    if (!ms.gw_porosity_map_given && !ms.gw_unif_porosity_given && !gw_table) {
      set_error(39);
      report_error();
    }
    if (ms.gw_hycond_map_given && ms.gw_unif_hycond_given) return 40;
    // A warning too, reported at once so that the checks below still run.
    if (!ms.gw_hycond_map_given && !ms.gw_unif_hycond_given && !gw_table) {
      set_error(41);
      report_error();
    }
    if (ms.sacramento_given) return 42;
  }

  if (ms.zem) {
    std::printf("Running NIVRA in ZEM environment\n");
    if (ms.mola_given) std::printf("NIVRA will share data with MOLA through file: %s\n", ms.mola.c_str());
    if (ms.zem_event_num_given)
      std::printf("This is an event call of NIVRA by ZEM, zem_event_num=%d\n", ms.zem_event_num);
    if (!ms.mola_given) return 43;
    if (ms.zem_event_num_given && ms.zem_event_num < 0) return 44;
    if (ms.gw_simulation) return 45;
  }
  if (ms.mola_given && !ms.zem) return 46;
  return 0;
}

}  // namespace

void check_options(model_state& ms) {
  int code = first_conflict(ms);
  if (code != 0) set_error(code);
}

}  // namespace nivra
