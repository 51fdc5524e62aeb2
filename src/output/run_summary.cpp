#include "output/run_summary.h"

#include <cstdio>

#include "channel/channel_state.h"
#include "channel/pipe_state.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "output/summary_common.h"
#include "quality/constituent_state.h"
#include "run/clock_state.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"

namespace nivra {

using summary::mass_book;
using summary::percent_of;
using summary::put;

namespace {

double cell_area(const model_state& ms) { return ms.grid.grid_size * ms.grid.grid_size; }

bool is_lake_cell(const model_state& ms, int c) {
  return !ms.lake.lake_mask.empty() && c <= ms.lake.lake_mask.size() && ms.lake.lake_mask[c] != 0;
}

// Per-class volume moved from the cells into the channel lakes.
double overland_to_lakes(const model_state& ms, int k) {
  double v = 0.0;
  const array2d<double>& t = ms.constituent.sed_vol_overland_to_lake;
  if (t.empty() || k > t.cols()) return 0.0;
  for (int lake = 1; lake <= t.rows(); ++lake) v += t(lake, k);
  return v;
}

double tot_sed(const model_state& ms, int k, int part) {
  return ms.constituent.ov_sed ? at(ms.constituent.ov_sed->tot_sed, k, part) : 0.0;
}

bool is_sand(const model_state& ms, int k) { return at(ms.constituent.sand, k) != 0; }

// Top-layer depth (cm) of a cell's soil class, the 23rd value of the class.
double top_layer_depth_of(model_state& ms, int c) {
  if (ms.soil.soiltype.empty() || c > ms.soil.soiltype.size()) return 0.0;
  const int k = ms.soil.soiltype[c];
  const array1d<soil_class>& classes = ms.soil.soil_classes();
  if (k < 0 || k > classes.size()) return 0.0;
  return classes[k].real(23);
}

// ------------------------------------------------------------- final storages

void final_lake_storage(model_state& ms) {
  ms.lake.final_lake_vol = 0.0;
  for (int l = 1; l <= ms.lake.num_lakes; ++l) ms.lake.final_lake_vol += ms.lake.lake_volume[l];
  if (!ms.constituent.chan_con_trans) return;
  for (int c = 1; c <= ms.constituent.num_constituents; ++c) {
    double m = 0.0;
    for (int l = 1; l <= ms.lake.num_lakes; ++l) m += at(ms.constituent.lake_mass, c, l) / 1000.0;
    summary::set_to(ms.constituent.lake_mass_final_run, c, m);
    summary::add_to(ms.constituent.GLOBAL_MASS_FINAL, c, m);
  }
}

void final_groundwater(model_state& ms) {
  const double a = cell_area(ms);
  ms.groundwater.final_gw_vol = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c)
    ms.groundwater.final_gw_vol += (ms.groundwater.elevgw[c] - ms.groundwater.bottom_elev[c]) * ms.groundwater.gw_porosity[c] * a;
  ms.output.gw_mass_balance_error =
      percent_of(ms.groundwater.final_gw_vol - ms.groundwater.init_gw_vol - ms.groundwater.total_gw_inputs - ms.groundwater.total_gw_boundary_flux -
                     ms.output.xy_bound_gain + ms.output.xy_bound_loss,
                 ms.groundwater.init_gw_vol);
}

void final_soil_storage(model_state& ms) {
  const double a = cell_area(ms);
  if (ms.soil.inf_richards) {
    ms.soil.final_soil_vol = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      if (ms.soil.numcells[c] <= 1) continue;
      for (int k = 1; k <= ms.soil.numcells[c] - 1; ++k)
        ms.soil.final_soil_vol += ms.soil.DZ(c, k) * ms.soil.THETA(c, k) / 100.0 * a;
    }
  } else if (ms.soil.sm_accounting) {
    ms.soil.final_soil_vol = 0.0;
    ms.soil.simple_soil_final_vol = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      double v = ms.soil.sm_water[c] / 100.0 * a;
      ms.soil.simple_soil_final_vol += v;
      ms.soil.final_soil_vol += v;
      if (!ms.groundwater.water_table_given) continue;
      if (ms.soil.inf_layered_soil) ms.soil.soil_moist_depth = 2.0 * top_layer_depth_of(ms, c);
      double d = ms.soil.soil_moist_depth / 100.0;
      double unsat = ms.grid.elevation[c] - ms.groundwater.elevgw[c];
      if (unsat > d) ms.soil.final_soil_vol += (unsat - d) * ms.soil.gw_inf_redist_theta[c] * a;
    }
  }
}

void final_channel_storage(model_state& ms) {
  ms.channel.vol_channels_final = 0.0;
  const int n = ms.constituent.num_constituents;
  if (ms.constituent.chan_con_trans) {
    for (int c = 1; c <= n; ++c) {
      summary::set_to(ms.constituent.chan_mass_final, c, 0.0);
      summary::set_to(ms.constituent.chan_sed_susp_final, c, 0.0);
    }
  }
  for (int link = 1; link <= ms.channel.num_stream_links; ++link) {
    if (!summary::is_storage_link(ms.channel.ltype[link])) continue;
    int last = ms.channel.nx[link];
    if (ms.lake.chan_lakes && !ms.channel.og_nx1.empty() && ms.channel.og_nx1[link] < last) last = ms.channel.og_nx1[link];
    for (int node = 1; node <= last; ++node) {
      double vol = ms.channel.area(node, link) * ms.channel.link_dx[link];
      ms.channel.vol_channels_final += vol;
      if (!ms.constituent.chan_con_trans) continue;
      int flat = ms.channel.max_nodes_per_link * link + node;
      for (int c = 1; c <= n; ++c) {
        const double m = vol * at(ms.constituent.chan_conc, c, flat) / 1000.0;
        summary::add_to(ms.constituent.chan_mass_final, c, m);
        summary::add_to(ms.constituent.GLOBAL_MASS_FINAL, c, m);
        if (!ms.constituent.sediment_contam || ms.constituent.chan_sed_contam_node_conc.empty() || ms.constituent.ch_wash_vol.empty())
          continue;
        for (int j = 1; j <= ms.constituent.n_fine_classes; ++j) {
          double m = ms.constituent.chan_sed_contam_node_conc(c, flat, j) * ms.constituent.ch_wash_vol(flat, j) / 1000.0;
          summary::add_to(ms.constituent.chan_sed_susp_final, c, m);
          summary::add_to(ms.constituent.GLOBAL_MASS_FINAL, c, m);
        }
      }
    }
  }
}

// ------------------------------------------------------------- text sections

void print_groundwater(const model_state& ms, std::FILE* f) {
  put(f, "\n \n");
  put(f, "GROUNDWATER CALCULATIONS \n\n");
  put(f, "GW volume start =                %14.2lf \n", ms.groundwater.init_gw_vol);
  put(f, "GW volume end =                  %14.2lf \n", ms.groundwater.final_gw_vol);
  put(f, "Sat/unsat. volume (into gw) =    %14.2lf \n", ms.groundwater.gw_sat_unsat_vol);
  put(f, "Exfiltration back on overland =  %14.2lf \n", ms.groundwater.exfil_total);
  put(f, "Recharge to groundwater =        %14.2lf \n", ms.groundwater.total_gw_recharge);
  put(f, "Total inputs to groundwater=     %14.2lf \n", ms.groundwater.total_gw_inputs);
  put(f, "Flux across head boundaries=     %14.2lf \n", ms.groundwater.total_gw_boundary_flux);
  put(f, "Leakage to deep aquifer+         %14.2lf \n", ms.groundwater.total_deep_leakage);
  put(f, "Pumping                          %14.2lf \n", ms.groundwater.total_gw_pumping);
  put(f, "To tile drains                   %14.2lf \n", ms.pipe.sl_gw_to_tile_vol_run);
  put(f, "Gain from XY boundaries          %14.2lf \n", ms.output.xy_bound_gain);
  put(f, "Loss to XY boundaries            %14.2lf \n", ms.output.xy_bound_loss);
  put(f, "Mass Balance error =             %14.2lf %%  \n", ms.output.gw_mass_balance_error);
  put(f, "\n");
  put(f, "If you have any head boundaries \n");
  put(f, "Mass balance errors are likely due to the estimation of fluxes across these boundaries, \n");
  put(f, "Which cannot be calculated exactly \n \n");
  put(f, "Sat/unsaturated volume is the amount of water passed from the unsaturated zone to the "
         "saturated zone \n");
  put(f, "to maintain mass balance between the two domains and account for any changes to the soil "
         "moisture in the unsaturated zone \n");
}

void print_sac_store(std::FILE* f, const char* format, double store, double capacity) {
  put(f, format, store, percent_of(store, capacity));
}

void print_sac_stores(std::FILE* f, const sac_record& s, const char* last_end) {
  print_sac_store(f, "uztwc:  %10.3lf mm, %8.2lf%%\n", s.uztwc, s.uztwm);
  print_sac_store(f, "uzfwc:  %10.3lf mm, %8.2lf%%\n", s.uzfwc, s.uzfwm);
  print_sac_store(f, "lztwc:  %10.3lf mm, %8.2lf%%\n", s.lztwc, s.lztwm);
  print_sac_store(f, "lzfpc:  %10.3lf mm, %8.2lf%%\n", s.lzfpc, s.lzfpm);
  put(f, "lzfsc:  %10.3lf mm, %8.2lf%%%s", s.lzfsc, percent_of(s.lzfsc, s.lzfsm), last_end);
}

void print_sacramento(const model_state& ms, std::FILE* f) {
  const double factor = cell_area(ms) * ms.grid.ncells / 1000.0;
  put(f, "\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n");
  put(f, "as incorporated in the NIVRA\n");
  put(f, "(NIVRA) Model.  Internal SAC-SMA mass conservation check.\n\n");
  put(f, "Initial state variable values:\n");
  print_sac_stores(f, ms.groundwater.sac_init_params, "\n");
  put(f, "Final state variable values:\n");
  print_sac_stores(f, ms.groundwater.sac_params, "\n\n");
  put(f, "\nMass Balance Information:\n\n");
  const double residual = ms.groundwater.sac_init_storage_mm + ms.groundwater.sac_rain_mm - ms.groundwater.sac_aet_mm -
                          ms.groundwater.sac_subsurface_runoff_mm - ms.groundwater.sac_deep_recharge_mm -
                          ms.groundwater.sac_final_storage_mm;
  put(f, "Initial subsurface storage(mm):        %10.3lf\n", ms.groundwater.sac_init_storage_mm);
  put(f, "Input rainfall (mm):                   %10.3lf\n", ms.groundwater.sac_rain_mm);
  put(f, "PET calculated by NIVRA (mm):          %10.3lf\n", ms.groundwater.sac_pet_mm);
  put(f, "AET calculated by Sacramento (mm):     %10.3lf\n", ms.groundwater.sac_aet_mm);
  put(f, "Subsurface runoff (mm):                %10.3lf\n", ms.groundwater.sac_subsurface_runoff_mm);
  put(f, "Recharge to deep g.w. (mm):            %10.3lf\n", ms.groundwater.sac_deep_recharge_mm);
  put(f, "Final volume of subsurface water (mm): %10.3lf\n", ms.groundwater.sac_final_storage_mm);
  put(f, "Residual (neg. means mass created (mm):%10.3lf\n", residual);
  put(f, "\n");
  put(f, "Sacramento simulation total residual water balance: %18.16f mm\n",
      ms.groundwater.sac_params.sac_residual);
  put(f, "\nSacramento storages and fluxes expressed as volumes (m^3):\n");
  put(f, "Initial volume=   %10.1lf\n", ms.groundwater.sac_init_storage_mm * factor);
  put(f, "Volume of ET=     %10.1lf\n", ms.groundwater.sac_aet_mm * factor);
  put(f, "Volume of precip= %10.1lf\n", ms.groundwater.sac_rain_mm * factor);
  put(f, "Volume of outflow=%10.1lf\n", ms.groundwater.sac_subsurface_runoff_mm * factor);
  put(f, "Final volume=     %10.1lf\n", ms.groundwater.sac_final_storage_mm * factor);
  put(f, "Residual=         %10.1lf\n",
      (ms.groundwater.sac_init_storage_mm - ms.groundwater.sac_aet_mm + ms.groundwater.sac_rain_mm - ms.groundwater.sac_subsurface_runoff_mm -
       ms.groundwater.sac_final_storage_mm) *
          factor);
}

void print_water_totals(const model_state& ms, std::FILE* f) {
  const bool simple_soil = ms.soil.sm_accounting && !ms.groundwater.gw_simulation;
  const bool sac = ms.groundwater.sacramento_given != 0;
  put(f, "\n \n");
  put(f, "SIMULATION TOTALS");
  put(f, "\n");
  put(f, "GLOBAL MASS BALANCE CALCULATIONS \n");
  put(f, "All volumes are in cubic meters \n \n");

  put(f, "Initial volume on surface=                      %14.2lf \n", ms.overland.init_ov_volume);
  put(f, "Initial volume in channels=                     %14.2lf \n", ms.channel.init_chan_vol);
  if (simple_soil)
    put(f, "Initial volume in soil over simple soil depth   %14.2lf \n", ms.soil.run_init_soil_vol);
  else
    put(f, "Initial volume in soils=                        %14.2lf \n", ms.soil.run_init_soil_vol);
  put(f, "Initial volume in groundwater=                  %14.2lf \n", ms.groundwater.init_gw_vol);
  if (ms.lake.chan_lakes)
    put(f, "Initial volume in perennial lakes               %14.2lf \n", ms.lake.init_lake_vol);
  put(f, "\n");

  put(f, "Final volume on surface=                        %14.2lf\n", ms.overland.vol_surface_final);
  if (ms.lake.overland_lake_map_given)
    put(f, "Final volume in overland lakes=                 %14.2lf\n", ms.lake.ov_lake_final_vol);
  put(f, "Final volume in channels=                       %14.2lf\n", ms.channel.vol_channels_final);
  if (ms.pipe.storm_sewer_given)
    put(f, "Final volume in drains=                         %14.2lf\n", ms.pipe.sl_drain_vol);
  if (simple_soil)
    put(f, "Final volume in soil over simple soil depth     %14.2lf\n", ms.soil.final_soil_vol);
  else
    put(f, "Final volume in soils=                          %14.2lf\n", ms.soil.final_soil_vol);
  put(f, "Final volume in groundwater=                    %14.2lf\n", ms.groundwater.final_gw_vol);
  put(f, "Final volume of snow=                           %14.2lf\n", ms.hydromet.run_final_snow_vol);
  put(f, "Final volume of melt water =                    %14.2lf\n", ms.hydromet.run_final_melt_vol);
  if (ms.lake.chan_lakes)
    put(f, "Final volume in perennial lakes                 %14.2lf\n", ms.lake.final_lake_vol);
  put(f, "\n");

  put(f, "Total amount of precip=                         %14.2lf\n", ms.hydromet.total_precip);
  put(f, "Total amount of interception=                   %14.2lf\n", ms.hydromet.total_interception);
  put(f, "Total amount of infiltration=                   %14.2lf\n", ms.soil.total_infiltration);
  put(f, "Total amount of evaporation=                    %14.2lf\n", ms.soil.total_evaporation);
  put(f, "Total direct evaporation=                       %14.2lf\n", ms.soil.total_direct_evap);
  if (!sac) put(f, "Total amount of exfiltration=                   %14.2lf\n", ms.groundwater.exfil_total);
  put(f, "\n");
  if (!sac) {
    if (ms.groundwater.gw_simulation) {
      put(f, "Total recharge inputs to groundwater=           %14.2lf\n", ms.groundwater.total_gw_recharge);
      put(f, "Total pumping from groundwater=                 %14.2lf\n", ms.groundwater.total_gw_pumping);
    }
    put(f, "Total downward flux from unsaturated zone=      %14.2lf\n", ms.soil.total_unsat_down_flux);
    put(f, "Total flux of gw across bounds=                 %14.2lf\n", ms.groundwater.total_gw_boundary_flux);
  } else {
    put(f, "Total recharge to deep g.w.=                    %14.2lf\n", ms.groundwater.sac_deep_recharge_vol);
  }
  put(f, "Total overland point sources=                   %14.2lf\n", ms.overland.vol_point_src);
  put(f, "Total channel point sources=                    %14.2lf\n\n", ms.channel.total_chan_point_sources);

  if (ms.overland.ov_boundary || ms.overland.xy_ov_boundary) {
    put(f, "Volume lost to specified head boundary:         %14.2lf\n", ms.overland.head_bound_loss_vol);
    put(f, "Volume gained from specified head boundary:     %14.2lf\n", ms.overland.head_bound_gain_vol);
  }
  if (ms.overland.ov_boundary) {
    put(f, "Volume lost to specified slope boundary:        %14.2lf\n", ms.overland.slope_bound_loss_vol);
    put(f, "Volume gained from specified discharge boundary:%14.2lf\n", ms.overland.dis_bound_gain_vol);
    put(f, "Volume lost from specified discharge boundary:  %14.2lf\n", ms.overland.dis_bound_loss_vol);
    put(f, "Volume of specified discharge boundary unmet:   %14.2lf\n", ms.overland.dis_bound_unmet_vol);
  }
  put(f, "\n");

  put(f, "Total lateral inflow into channels=             %14.2lf\n", ms.channel.total_lateral_inflow);
  put(f, "Total amount of discharge=                      %14.2lf\n", ms.channel.total_discharge);
  if (ms.channel.stream_loss) {
    put(f, "Total flux from river to gw=                    %14.2lf\n", ms.channel.total_river_to_gw);
    if (ms.groundwater.water_table_given)
      put(f, "Total flux from gw to river=                    %14.2lf\n", ms.channel.total_gw_to_river);
  }

  if (ms.lake.chan_lakes) {
    put(f, "\n");
    put(f, "Volume precip to lakes=                         %14.2lf\n", ms.lake.vol_precip_lakes);
    put(f, "Volume of flow into lakes=                      %14.2lf\n", ms.lake.lake_vol_in_run);
    put(f, "Volume of flow from lakes=                      %14.2lf\n", ms.lake.lake_vol_out_run);
    put(f, "Volume of lake evap=                            %14.2lf\n", ms.lake.lake_evap_vol);
    if (ms.lake.lake_gw_on) {
      put(f, "Total flux from lakes to gw=                    %14.2lf\n", ms.lake.total_lake_to_gw);
      put(f, "Total flux from gw to lakes=                    %14.2lf\n", ms.lake.total_gw_to_lake);
    }
  }

  if (ms.pipe.storm_sewer_given) {
    put(f, "\n");
    put(f, "Volume of overland to subsurface drains         %14.2lf\n", ms.pipe.sl_ov_in_vol_run);
    put(f, "Volume of subsurface drains to overland         %14.2lf\n", ms.pipe.sl_to_ov_vol_run);
    put(f, "Volume of subsurface drains to channels         %14.2lf\n", ms.pipe.sl_to_chan_vol_run);
    put(f, "Volume of groundwater to tile drains            %14.2lf\n", ms.pipe.sl_gw_to_tile_vol_run);
  }

  if (ms.output.xy_input_in_use) {
    put(f, "\n");
    put(f, "Volume gained from XY boundaries                %14.2lf\n", ms.output.xy_bound_gain);
    put(f, "Volume lost to XY boundaries                    %14.2lf\n", ms.output.xy_bound_loss);
  }

  put(f, "\n");
  put(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
      ms.output.surface_mass_balance_error);
  if (sac) {
    put(f, "Overall mass balance error =                    %10.6lf percent\n \n",
        ms.output.overall_mass_balance_error);
    put(f, "*overall mass balance error will not be zero when using the Sacramento\n");
    put(f, "model because of errors associated with interpolating hourly outflows to\n");
    put(f, "the channel routing time step, which is generally much less than one\n");
    put(f, "hour.  However, this error should be less than one percent, except for\n");
    put(f, "simulations of very short events (only a few hours long).\n \n");
  } else {
    put(f, "Overall mass balance error =                        %14.6lf percent\n \n",
        ms.output.overall_mass_balance_error);
  }
  if (ms.soil.sm_accounting)
    put(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
        ms.output.sm_mass_balance_error);
}

void print_lake_drain_dike_balances(const model_state& ms, std::FILE* f) {
  if (ms.lake.overland_lake_map_given) {
    put(f, "Volume of flow into overland lakes:             %14.2lf\n", ms.lake.ov_lake_inflow_vol);
    put(f, "Volume of flow from overland lakes:             %14.2lf\n", ms.lake.ov_lake_outflow_vol);
    put(f, "Volume of evaporation from lakes:               %14.2lf\n", ms.lake.lake_evap_vol);
    put(f, "Overland lake mass bal error m^3:               %14.2lf\n\n",
        ms.lake.ov_lake_init_vol + ms.lake.ov_lake_inflow_vol - ms.lake.ov_lake_final_vol - ms.lake.ov_lake_outflow_vol);
  }
  if (ms.lake.chan_lakes)
    put(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n",
        ms.lake.lake_vol_in_run - ms.lake.lake_vol_out_run - ms.lake.final_lake_vol + ms.lake.init_lake_vol -
            ms.lake.lake_evap_vol);
  if (ms.pipe.storm_sewer_given)
    put(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n",
        ms.pipe.sl_gw_to_tile_vol_run + ms.pipe.sl_ov_in_vol_run - ms.pipe.sl_to_ov_vol_run -
            ms.pipe.sl_to_chan_vol_run - ms.pipe.sl_drain_vol);
  if (ms.grid.dike_map_given && ms.grid.lowspot_file_given) {
    put(f, "You specifed overland dikes and lowspots \n");
    put(f, "The following cells experienced flow from over the embankment \n");
    put(f, "If no cells are listed then there was no flow overtopping the dike \n");
    put(f, "Check the 'maskmap' to see the location of these cells \n");
    for (int c = 1; c <= ms.grid.ncells && c <= ms.grid.low_spot_flow_cell.size(); ++c)
      if (ms.grid.low_spot_flow_cell[c] == 1) put(f, "Dike Overtopped in cell:  %d \n", c);
    put(f, "\n");
  }
}

void print_channel_sediments(const model_state& ms, std::FILE* f) {
  put(f, "Channel sediment routing mass quantities\n");
  for (int k = 1; k <= ms.constituent.n_sed_classes; ++k)
    put(f, "Total sediment %d transported into channels: %16.8lf m3\n", k, tot_sed(ms, k, 4));
  put(f, "\n");
  summary::write_channel_sediments(ms, f, false);
}

}  // namespace

void write_overland_sediment_classes(const model_state& ms, std::FILE* f, bool event) {
  for (int k = 1; k <= ms.constituent.n_sed_classes; ++k) {
    const long kl = k;
    const double eroded = -tot_sed(ms, k, 1);
    const double suspended = tot_sed(ms, k, 2);
    const double deposited = tot_sed(ms, k, 3);
    const double discharged = tot_sed(ms, k, 4);
    const double to_lakes = overland_to_lakes(ms, k);
    const double to_drains =
        at(event ? ms.constituent.ov_superlink_sed_event : ms.constituent.ov_superlink_sed_total, k);
    put(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", kl, eroded);
    put(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", kl, deposited);
    put(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", kl, suspended);
    if (ms.constituent.chan_sed_on)
      put(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", kl, discharged);
    else
      put(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", kl, discharged);
    if (ms.lake.chan_lakes && (ms.constituent.chan_sed_on || event))
      put(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", kl, to_lakes);
    if (ms.pipe.storm_sewer_given) {
      if (event)
        put(f, "Total sediment %ld into superlinks (event)     %16.8lf m3\n", kl, to_drains);
      else
        put(f, "Total sediment %ld into superlinks:            %16.8lf m3\n", kl, to_drains);
    }
    double accounted = deposited + suspended + discharged + to_drains;
    if (ms.lake.chan_lakes && !is_sand(ms, k)) accounted += to_lakes;
    const double error = percent_of(eroded - accounted, eroded);
    if (event)
      put(f, "Mass balance error for sediment %ld %10.4lf percent \n", kl, error);
    else
      put(f, "Mass balance error for sediment %ld %10.4lf \n", kl, error);
    if (ms.lake.chan_lakes && !is_sand(ms, k)) {
      put(f, "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent an exact "
             "mass balance calculation \n",
          kl);
      put(f, "       Reported errors are likely accounting errors only \n");
    }
    if (!event) put(f, "\n");
  }
}

namespace {

void print_lake_sediments(const model_state& ms, std::FILE* f) {
  put(f, "\n");
  summary::write_lake_sediments(ms, f, false);
}

// ------------------------------------------------------------- constituents

bool uses_contaminant_table(const model_state& ms, int c) {
  return at(ms.constituent.constituent_type, c) == 1 && ms.constituent.contam_table_input;
}

void print_soil_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  put(f, "Soil Constituent Transport Summary for %s \n", name.c_str());
  put(f, "\n");
  const double init = at(ms.constituent.soil_mass_init, c), final_mass = at(ms.constituent.soil_mass_final, c);
  put(f, "Initial Mass in Soil Column   %14.2lf \n", init);
  put(f, "Final Mass in Soil Column     %14.2lf \n \n", final_mass);
  b.gain(init);
  b.loss(final_mass);
  put(f, "Mass added by infiltration    %14.2lf \n", at(ms.constituent.OV_INFIL_MASS, c));
  put(f, "Mass seepage up from GW       %14.2lf \n \n", at(ms.constituent.soil_mass_seep_from_wt, c));
  b.gain(at(ms.constituent.OV_INFIL_MASS, c));
  b.gain(at(ms.constituent.soil_mass_seep_from_wt, c));
  // What the surface takes up from the soil leaves the soil column.
  const double uptake = at(ms.constituent.OV_UPTAKE_MASS, c);
  if (uses_contaminant_table(ms, c)) {
    put(f, "Uptake from soil              %14.2lf \n", uptake);
    put(f, "Soil decay mass               %14.2lf \n", at(ms.constituent.soil_decay_mass, c));
  }
  if (summary::is_nutrient(ms, c)) {
    put(f, "Uptake from soil (NSM)        %14.2lf \n", uptake);
    put(f, "NSM decay mass               %14.2lf \n", at(ms.constituent.soil_decay_mass, c));
  }
  if (uses_contaminant_table(ms, c) || summary::is_nutrient(ms, c)) {
    b.net(-uptake);
    b.loss(at(ms.constituent.soil_decay_mass, c));
  }
  if (ms.groundwater.water_table_given) {
    put(f, "Exfiltration mass loss        %14.2lf \n", at(ms.constituent.OV_EXFIL_MASS, c));
    b.loss(at(ms.constituent.OV_EXFIL_MASS, c));
  }
  put(f, "Mass seepage down to GW       %14.2lf \n \n", at(ms.constituent.soil_mass_seep_to_wt, c));
  b.loss(at(ms.constituent.soil_mass_seep_to_wt, c));
  if (ms.constituent.sediment_contam) {
    put(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", at(ms.constituent.sed_eroded_deposited, c));
    b.net(at(ms.constituent.sed_eroded_deposited, c));
  }
  const double error = b.error(1e-6);
  summary::set_to(ms.constituent.soil_mass_error, c, error);
  put(f, "Soil mass balance error       %14.4lf \n", error);
  if (ms.constituent.soil_static_conc)
    put(f, "When using static soil concentrations, mass balance errors represent implied additions "
           "to soil top layer \n");
}

void print_overland_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  const bool nsm = summary::is_nutrient(ms, c);
  mass_book b;
  put(f, "\n\n");
  if (at(ms.constituent.constituent_type, c) == 1)
    put(f, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c, name.c_str());
  else
    put(f, "Overland Constituent Transport Summary for %s \n", name.c_str());
  put(f, "Amounts are total for simulations in (Kg) \n \n");
  put(f, "Initial Dissolved mass on ov  %14.2lf \n", at(ms.constituent.OV_MASS_INIT, c));
  put(f, "Final Dissolved mass on ov    %14.2lf \n", at(ms.constituent.OV_MASS_FINAL, c));
  put(f, "\n");
  b.gain(at(ms.constituent.OV_MASS_INIT, c));
  b.loss(at(ms.constituent.OV_MASS_FINAL, c));
  if (ms.constituent.sediment_contam) {
    put(f, "Initial undissolved mass      %14.2lf \n", at(ms.constituent.OV_LAND_MASS_INIT, c));
    put(f, "Final undissolved mass        %14.2lf \n", at(ms.constituent.OV_LAND_MASS_FINAL, c));
    put(f, "\n");
    b.gain(at(ms.constituent.OV_LAND_MASS_INIT, c));
    b.loss(at(ms.constituent.OV_LAND_MASS_FINAL, c));
  }
  put(f, "Point source mass gain        %14.2lf \n", at(ms.constituent.OV_POINT_MASS, c));
  b.gain(at(ms.constituent.OV_POINT_MASS, c));
  if (ms.groundwater.water_table_given) {
    put(f, "Exfiltration mass gain        %14.2lf \n", at(ms.constituent.OV_EXFIL_MASS, c));
    b.gain(at(ms.constituent.OV_EXFIL_MASS, c));
  }
  put(f, "Precipitation mass gain       %14.2lf \n", at(ms.constituent.OV_PRECIP_MASS, c));
  put(f, "Uptake from soil              %14.2lf \n", at(ms.constituent.OV_UPTAKE_MASS, c));
  b.gain(at(ms.constituent.OV_PRECIP_MASS, c));
  b.net(at(ms.constituent.OV_UPTAKE_MASS, c));
  if (ms.constituent.sediment_contam) {
    put(f, "Sediment source               %14.2lf \n", at(ms.constituent.sed_contam_source, c));
    b.gain(at(ms.constituent.sed_contam_source, c));
  }
  put(f, "\n");
  put(f, "Mass loss to infiltration     %14.2lf \n", at(ms.constituent.OV_INFIL_MASS, c));
  b.loss(at(ms.constituent.OV_INFIL_MASS, c));
  if (ms.channel.chan_explic) {
    put(f, "Mass loss to stream           %14.2lf \n", at(ms.constituent.OV_QLAT_MASS, c));
    b.loss(at(ms.constituent.OV_QLAT_MASS, c));
  }
  put(f, "Outlet mass flux              %14.2lf \n", at(ms.constituent.OV_MASS_OUT, c));
  b.loss(at(ms.constituent.OV_MASS_OUT, c));
  if (nsm) {
    put(f, "Mass gained from NSM kinetics   %14.4lf \n", at(ms.constituent.ov_nsm_in_mass, c));
    put(f, "Mass lost to NSM kinetics       %14.4lf \n", at(ms.constituent.ov_nsm_out_mass, c));
    b.gain(at(ms.constituent.ov_nsm_in_mass, c));
    b.loss(at(ms.constituent.ov_nsm_out_mass, c));
  } else {
    put(f, "Mass decay loss on overland   %14.2lf \n", at(ms.constituent.OV_MASS_DECAY, c));
    b.loss(at(ms.constituent.OV_MASS_DECAY, c));
  }
  if (ms.lake.chan_lakes) {
    put(f, "Lateral flow to lake          %14.2lf \n", at(ms.constituent.ov_lake_mass, c));
    b.loss(at(ms.constituent.ov_lake_mass, c));
  }
  put(f, "\n");
  if (ms.constituent.sediment_contam) {
    put(f, "Attached to susp sediments    %14.2lf \n", at(ms.constituent.sed_attached_final, c));
    put(f, "Attached entering streams     %14.2lf \n", at(ms.constituent.sed_attached_to_chan, c));
    put(f, "Attached exiting watershed    %14.2lf \n", at(ms.constituent.sed_attached_out, c));
    put(f, "\n");
  }
  const double error = b.error(0.0);
  summary::set_to(ms.constituent.OV_MASS_ERROR, c, error);
  put(f, "Contam mass balance error       %14.4lf percent \n", error);
}

void print_channel_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  if (at(ms.constituent.constituent_type, c) == 1)
    put(f, "Channel Contaminant Transport Summary for Contaminant %5d \n", c);
  else
    put(f, "Channel Contaminant Transport Summary for %s \n", name.c_str());
  put(f, "Dissolved\n");
  put(f, "Initial Mass in Channels      %14.2lf \n", at(ms.constituent.chan_mass_init, c));
  put(f, "Final Mass in Channels        %14.2lf \n \n", at(ms.constituent.chan_mass_final, c));
  put(f, "Mass gain from overland       %14.2lf \n", at(ms.constituent.OV_QLAT_MASS, c));
  put(f, "Flux from lake                %14.2lf \n", at(ms.constituent.chan_lake_in_mass, c));
  put(f, "Groundwater mass gain/loss    %14.2lf \n \n", at(ms.constituent.chan_gw_mass, c));
  b.gain(at(ms.constituent.chan_mass_init, c));
  b.loss(at(ms.constituent.chan_mass_final, c));
  b.gain(at(ms.constituent.OV_QLAT_MASS, c));
  b.gain(at(ms.constituent.chan_lake_in_mass, c));
  b.net(at(ms.constituent.chan_gw_mass, c));
  if (summary::is_nutrient(ms, c)) {
    put(f, "Mass gained from NSM kinetics   %14.6lf \n", at(ms.constituent.chan_nsm_gain, c));
    put(f, "Mass lost to NSM kinetics       %14.6lf \n", at(ms.constituent.chan_nsm_loss, c));
    b.gain(at(ms.constituent.chan_nsm_gain, c));
    b.loss(at(ms.constituent.chan_nsm_loss, c));
  } else {
    put(f, "Mass decay loss               %14.2lf \n", at(ms.constituent.chan_decay_mass, c));
    b.loss(at(ms.constituent.chan_decay_mass, c));
  }
  put(f, "Flux to lake                  %14.2lf \n", at(ms.constituent.chan_lake_out_mass, c));
  put(f, "Exchange with lake            %14.2lf \n", at(ms.constituent.chan_lake_exch_mass, c));
  put(f, "Exchange with sediment        %14.2lf \n", at(ms.constituent.chan_sed_exch_mass, c));
  b.loss(at(ms.constituent.chan_lake_out_mass, c));
  b.net(at(ms.constituent.chan_lake_exch_mass, c));
  b.net(at(ms.constituent.chan_sed_exch_mass, c));
  // The mass that left through the outlet has no line of its own but
  // leaves the channels all the same.
  b.loss(at(ms.constituent.chan_mass_out, c));
  put(f, "Dissolved mass balance error       %14.4lf percent \n", b.error(0.0));
  if (ms.constituent.sediment_contam) {
    put(f, "Attached\n");
    put(f, "Lateral flow into channels    %14.2lf \n", at(ms.constituent.chan_sed_lat_in, c));
    put(f, "Final suspended               %14.2lf \n", at(ms.constituent.chan_sed_susp_final, c));
    put(f, "Exchange with dissolved       %14.2lf \n", -at(ms.constituent.chan_sed_exch_mass, c));
    put(f, "Exiting outlet                %14.2lf \n", at(ms.constituent.chan_sed_out, c));
  }
  if (!ms.lake.chan_lakes) return;
  mass_book l;
  put(f, "Lake Contaminant Transport Summary for Constituent %5ld \n", static_cast<long>(c));
  put(f, "Initial Mass in Lakes         %14.2lf \n", at(ms.constituent.lake_mass_init_run, c));
  put(f, "Final Mass in Lakes           %14.2lf \n \n", at(ms.constituent.lake_mass_final_run, c));
  put(f, "Mass channel trib inflow      %14.2lf \n", at(ms.constituent.lake_inflow_mass, c));
  put(f, "Mass lake outlet flow         %14.2lf \n", at(ms.constituent.lake_outflow_mass, c));
  put(f, "Lake chan exchange mass       %14.2lf \n", at(ms.constituent.lake_chan_exch_mass, c));
  put(f, "Precip mass flux              %14.2lf \n", at(ms.constituent.lake_precip_mass, c));
  put(f, "Mass decay loss               %14.2lf \n \n", at(ms.constituent.lake_decay_mass, c));
  l.gain(at(ms.constituent.lake_mass_init_run, c));
  l.loss(at(ms.constituent.lake_mass_final_run, c));
  l.gain(at(ms.constituent.lake_inflow_mass, c));
  l.loss(at(ms.constituent.lake_outflow_mass, c));
  l.net(at(ms.constituent.lake_chan_exch_mass, c));
  l.gain(at(ms.constituent.lake_precip_mass, c));
  l.loss(at(ms.constituent.lake_decay_mass, c));
  put(f, "Contam mass balance error       %14.4lf percent \n \n", l.error(0.0));
  for (int lake = 1; lake <= ms.lake.num_lakes; ++lake) {
    const double mass = at(ms.constituent.lake_mass, c, lake) / 1000.0;
    const double conc = at(ms.constituent.lake_conc, c, lake);
    put(f, "Final Mass in lake %ld = %14.2lf \n", static_cast<long>(lake), mass);
    put(f, "Final Conc in lake %ld = %14.2lf \n \n", static_cast<long>(lake), conc);
  }
}

void print_global_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  if (at(ms.constituent.constituent_type, c) == 1)
    put(f, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
  else
    put(f, "Contaminant Transport Global Summary for %s \n", name.c_str());
  put(f, "Total initial mass            %14.2lf \n", at(ms.constituent.GLOBAL_MASS_INIT, c));
  put(f, "Total final Mass              %14.2lf \n \n", at(ms.constituent.GLOBAL_MASS_FINAL, c));
  put(f, "Point source inputs           %14.2lf\n", at(ms.constituent.GLOBAL_POINT_SOURCE, c));
  put(f, "Precipitation inputs          %14.2lf \n", at(ms.constituent.global_precip_mass, c));
  put(f, "Flux from GW to streams       %14.2lf \n", at(ms.constituent.GLOBAL_GW_MASS, c));
  put(f, "Soil mass in from groundwater %14.2lf \n \n", at(ms.constituent.soil_mass_seep_from_wt, c));
  put(f, "Total mass out of system      %14.2lf \n \n", at(ms.constituent.GLOBAL_MASS_OUT, c));
  b.gain(at(ms.constituent.GLOBAL_MASS_INIT, c));
  b.loss(at(ms.constituent.GLOBAL_MASS_FINAL, c));
  b.gain(at(ms.constituent.GLOBAL_POINT_SOURCE, c));
  b.gain(at(ms.constituent.global_precip_mass, c));
  b.net(at(ms.constituent.GLOBAL_GW_MASS, c));
  b.gain(at(ms.constituent.soil_mass_seep_from_wt, c));
  b.loss(at(ms.constituent.GLOBAL_MASS_OUT, c));
  // Decay takes mass out of the system without a line of its own.
  b.loss(at(ms.constituent.GLOBAL_MASS_DECAY, c));
  if (summary::is_nutrient(ms, c)) {
    const double nsm = at(ms.constituent.global_nsm_in_mass, c) - at(ms.constituent.global_nsm_out_mass, c);
    put(f, "NSM gain/loss                 %14.2lf \n", nsm);
    b.net(nsm);
  }
  const double error = b.error(0.0);
  summary::set_to(ms.constituent.GLOBAL_MASS_CON_ERROR, c, error);
  put(f, "Contam mass balance error       %14.4lf percent \n \n", error);
}

void print_constituents(model_state& ms, std::FILE* f) {
  put(f, "\n");
  const int n = ms.constituent.num_constituents;
  if (ms.constituent.soil_con_trans) {
    put(f, "Soil Contaminant Transport Summary \n \n");
    for (int c = 1; c <= n; ++c) print_soil_constituent(ms, f, c);
  }
  if (ms.constituent.ov_con_trans) {
    put(f, "\n\n *************   Overland Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c)
      if (at(ms.constituent.constituent_type, c) != 3) print_overland_constituent(ms, f, c);
  }
  if (ms.constituent.chan_con_trans) {
    put(f, "\n\n *************   Channel Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c)
      if (at(ms.constituent.constituent_type, c) != 3) print_channel_constituent(ms, f, c);
  }
  if ((ms.constituent.ov_con_trans || ms.constituent.chan_con_trans || ms.constituent.soil_con_trans) && n > 0) {
    put(f, "\n\n *************   Global Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c) print_global_constituent(ms, f, c);
  }
}

}  // namespace

void compute_final_storages(model_state& ms) {
  const double a = cell_area(ms);
  final_lake_storage(ms);
  if (ms.clock.long_term && ms.soil.sm_accounting && !ms.soil.direct_evap_cell.empty())
    for (int c = 1; c <= ms.grid.ncells; ++c) ms.soil.total_direct_evap += ms.soil.direct_evap_cell[c] / 100.0 * a;
  if (ms.groundwater.gw_simulation) final_groundwater(ms);

  ms.overland.vol_surface_final = 0.0;
  const double* blocked = blocked_cells(ms.overland);
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (ms.lake.chan_lakes && is_lake_cell(ms, c)) continue;
    ms.overland.vol_surface_final += ms.overland.ov_depth[c] * open_share(blocked, c) * a;
  }
  final_soil_storage(ms);
  if (ms.channel.chan_explic) final_channel_storage(ms);
  if (ms.hydromet.snow_present && !ms.hydromet.snow_swe.empty()) {
    ms.hydromet.run_final_snow_vol = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) ms.hydromet.run_final_snow_vol += ms.hydromet.snow_swe[c] * a;
    // Melt water is tracked on the cells in long-term runs.
    if (ms.clock.long_term && !ms.hydromet.snow_melt_to_ov.empty()) {
      ms.hydromet.run_final_melt_vol = 0.0;
      for (int c = 1; c <= ms.grid.ncells; ++c) ms.hydromet.run_final_melt_vol += ms.hydromet.snow_melt_to_ov[c] * a;
    }
  }
  if (ms.overland.ov_boundary || ms.overland.xy_ov_boundary) {
    ms.overland.bound_loss_total = ms.overland.head_bound_loss_vol + ms.overland.slope_bound_loss_vol + ms.overland.dis_bound_loss_vol;
    ms.overland.bound_gain_total = ms.overland.dis_bound_gain_vol + ms.overland.head_bound_gain_vol;
  }
}

void compute_run_balances(model_state& ms) {
  const double initial =
      ms.overland.init_ov_volume + ms.channel.init_chan_vol + ms.soil.run_init_soil_vol + ms.groundwater.init_gw_vol + ms.lake.init_lake_vol;
  ms.output.total_initial_storage = initial;
  ms.output.total_final_storage = ms.overland.vol_surface_final + ms.channel.vol_channels_final + ms.soil.final_soil_vol +
                           ms.groundwater.final_gw_vol + ms.hydromet.run_final_snow_vol + ms.hydromet.run_final_melt_vol +
                           ms.lake.final_lake_vol + ms.pipe.sl_drain_vol;
  double inputs = ms.hydromet.total_precip + ms.groundwater.total_gw_boundary_flux + ms.overland.vol_point_src + ms.lake.total_gw_to_lake +
                  ms.channel.total_chan_point_sources + ms.overland.bound_gain_total;
  double outputs = ms.channel.total_discharge + ms.soil.total_evaporation + ms.overland.bound_loss_total +
                   ms.lake.total_lake_to_gw + ms.lake.lake_evap_vol;
  if (ms.groundwater.gw_simulation) {
    outputs += ms.soil.total_unsat_down_flux - ms.groundwater.total_gw_recharge + ms.groundwater.total_deep_leakage +
               ms.groundwater.total_gw_pumping;
  } else {
    outputs += (ms.soil.green_ampt ? ms.soil.total_infiltration : ms.soil.total_unsat_down_flux) + ms.channel.total_river_to_gw;
    inputs += ms.channel.total_gw_to_river;
  }
  ms.output.overall_mass_balance_error =
      percent_of((initial + inputs) - (ms.output.total_final_storage + outputs), initial + inputs);

  const double surface_in = ms.hydromet.total_precip + ms.channel.total_gw_to_river + ms.lake.total_gw_to_lake +
                            ms.groundwater.exfil_total + ms.overland.vol_point_src + ms.channel.total_chan_point_sources +
                            ms.pipe.sl_to_chan_vol_run + ms.pipe.sl_to_ov_vol_run + ms.overland.bound_gain_total;
  ms.output.surface_mass_balance_error = 0.0;
  if (surface_in > 0.0) {
    const double surface_initial = ms.channel.init_chan_vol + ms.overland.init_ov_volume + ms.lake.init_lake_vol;
    const double surface_final = ms.hydromet.run_final_snow_vol + ms.channel.vol_channels_final + ms.hydromet.run_final_melt_vol +
                                 ms.overland.vol_surface_final + ms.lake.final_lake_vol;
    const double surface_losses = ms.channel.total_river_to_gw + ms.lake.total_lake_to_gw + ms.soil.total_direct_evap +
                                  ms.channel.total_discharge + ms.soil.total_infiltration + ms.overland.bound_loss_total +
                                  ms.lake.lake_evap_vol + ms.pipe.sl_ov_in_vol_run;
    ms.output.surface_mass_balance_error =
        percent_of(surface_initial + surface_in - (surface_losses + surface_final),
                   surface_final + surface_in);
  }

  if (ms.soil.sm_accounting) {
    ms.output.sm_mass_balance_error = 0.0;
    if (ms.soil.run_init_soil_vol > 0.0)
      ms.output.sm_mass_balance_error = percent_of(
          ms.soil.total_infiltration + ms.soil.simple_soil_init_vol - ms.soil.simple_soil_final_vol -
              (ms.soil.total_evaporation - ms.soil.total_direct_evap - ms.soil.sm_et_other_vol) -
              ms.soil.total_unsat_down_flux,
          ms.soil.total_infiltration + ms.soil.run_init_soil_vol);
  }

  if (!ms.groundwater.sacramento_given) return;
  const sac_record& s = ms.groundwater.sac_params;
  const sac_record& s0 = ms.groundwater.sac_init_params;
  const double to_volume = ms.groundwater.sac_area / 1000.0;
  ms.groundwater.sac_final_storage_mm = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
  ms.soil.run_init_soil_vol = (s0.uztwc + s0.lztwc) * to_volume;
  ms.groundwater.init_gw_vol = (s0.uzfwc + s0.lzfsc + s0.lzfpc) * to_volume;
  ms.soil.final_soil_vol = (s.uztwc + s.lztwc) * to_volume;
  ms.groundwater.final_gw_vol = (s.lzfsc + s.uzfwc + s.lzfpc) * to_volume;
  ms.soil.total_evaporation = ms.groundwater.sac_aet_mm * to_volume;
  ms.channel.total_river_to_gw = ms.groundwater.sac_chan_loss_vol;
  // The millimetre total stays for the Sacramento section; the volume is kept beside it.
  ms.groundwater.sac_deep_recharge_vol = ms.groundwater.sac_deep_recharge_mm * to_volume;
  ms.output.total_final_storage = ms.channel.vol_channels_final + ms.overland.vol_surface_final + ms.soil.final_soil_vol +
                           ms.groundwater.final_gw_vol + ms.hydromet.run_final_snow_vol + ms.hydromet.run_final_melt_vol +
                           ms.lake.final_lake_vol;
  ms.output.total_initial_storage =
      ms.channel.init_chan_vol + ms.overland.init_ov_volume + ms.soil.run_init_soil_vol + ms.groundwater.init_gw_vol + ms.lake.init_lake_vol;
  ms.output.overall_mass_balance_error = percent_of(
      ms.output.total_final_storage - ms.output.total_initial_storage - ms.hydromet.total_precip + ms.soil.total_evaporation +
          ms.channel.total_discharge - ms.groundwater.total_gw_boundary_flux - ms.overland.vol_point_src - ms.output.xy_bound_gain +
          ms.output.xy_bound_loss,
      ms.hydromet.total_precip + ms.output.total_initial_storage);
  ms.output.surface_mass_balance_error = percent_of(
      (ms.hydromet.total_precip + ms.overland.init_ov_volume + ms.channel.init_chan_vol +
       (ms.channel.total_gw_to_river - ms.channel.total_river_to_gw) + ms.overland.vol_point_src) -
          (ms.soil.total_direct_evap + ms.channel.total_discharge + ms.soil.total_infiltration + ms.channel.vol_channels_final +
           ms.hydromet.run_final_snow_vol + ms.hydromet.run_final_melt_vol + ms.overland.vol_surface_final),
      ms.hydromet.total_precip);
}

void write_run_summary(model_state& ms) {
  std::FILE* f = ms.output.summary_file.fp;
  compute_final_storages(ms);
  // The groundwater section shows the storages of the groundwater model,
  // before a Sacramento run replaces them with its own.
  if (ms.groundwater.gw_simulation) print_groundwater(ms, f);
  compute_run_balances(ms);
  if (ms.groundwater.sacramento_given) print_sacramento(ms, f);
  print_water_totals(ms, f);
  print_lake_drain_dike_balances(ms, f);
  if (ms.constituent.soil_erosion_on && ms.constituent.sed_transport_mode == 1) {
    put(f, "Overland Sediment Summary\n");
    write_overland_sediment_classes(ms, f, false);
    put(f, "\n");
  }
  if (ms.constituent.chan_sed_on) print_channel_sediments(ms, f);
  if (ms.constituent.chan_sed_on && ms.lake.chan_lakes) print_lake_sediments(ms, f);
  // A bed elevation file that cannot be written ends the run's outputs, but
  // only once the summary text is complete.
  const bool beds_written = !ms.constituent.chan_sed_on || write_bed_elevations(ms);
  print_constituents(ms, f);
  if (ms.constituent.nutrients) {
    put(f, "NSM dm/dt Summary\n");
    put(f, "  Total dm/dt in:  %14.4lf\n", ms.constituent.nsm_dmdt_in_total);
    put(f, "  Total dm/dt out: %14.4lf\n\n", ms.constituent.nsm_dmdt_out_total);
  }
  if (!beds_written) {
    set_error(own_message_code);
    report_error();
    return;
  }
  write_end_of_run_files(ms);
}

}  // namespace nivra
