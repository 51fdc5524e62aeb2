#include "output/run_summary.h"

#include <cstdio>

#include "core/errors.h"
#include "model/model_state.h"
#include "output/end_of_run.h"
#include "output/summary_common.h"
#include "surface/blockage.h"

namespace nivra {

using summary::mass_book;
using summary::percent_of;
using summary::put;

namespace {

double cell_area(const model_state& ms) { return ms.grid_size * ms.grid_size; }

bool is_lake_cell(const model_state& ms, int c) {
  return !ms.lake_mask.empty() && c <= ms.lake_mask.size() && ms.lake_mask[c] != 0;
}

// Per-class volume moved from the cells into the channel lakes.
double overland_to_lakes(const model_state& ms, int k) {
  double v = 0.0;
  const array2d<double>& t = ms.sed_vol_overland_to_lake;
  if (t.empty() || k > t.cols()) return 0.0;
  for (int lake = 1; lake <= t.rows(); ++lake) v += t(lake, k);
  return v;
}

double tot_sed(const model_state& ms, int k, int part) {
  return ms.ov_sed ? at(ms.ov_sed->tot_sed, k, part) : 0.0;
}

bool is_sand(const model_state& ms, int k) { return at(ms.sand, k) != 0; }

// Top-layer depth (cm) of a cell's soil class, the 23rd value of the class.
double top_layer_depth_of(model_state& ms, int c) {
  if (ms.soiltype.empty() || c > ms.soiltype.size()) return 0.0;
  const int k = ms.soiltype[c];
  const array1d<soil_class>& classes = ms.soil_classes();
  if (k < 0 || k > classes.size()) return 0.0;
  return classes[k].real(23);
}

// ------------------------------------------------------------- final storages

void final_lake_storage(model_state& ms) {
  ms.final_lake_vol = 0.0;
  for (int l = 1; l <= ms.num_lakes; ++l) ms.final_lake_vol += ms.lake_volume[l];
  if (!ms.chan_con_trans) return;
  for (int c = 1; c <= ms.num_constituents; ++c) {
    double m = 0.0;
    for (int l = 1; l <= ms.num_lakes; ++l) m += at(ms.lake_mass, c, l) / 1000.0;
    summary::set_to(ms.lake_mass_final_run, c, m);
    summary::add_to(ms.GLOBAL_MASS_FINAL, c, m);
  }
}

void final_groundwater(model_state& ms) {
  const double a = cell_area(ms);
  ms.final_gw_vol = 0.0;
  for (int c = 1; c <= ms.ncells; ++c)
    ms.final_gw_vol += (ms.elevgw[c] - ms.bottom_elev[c]) * ms.gw_porosity[c] * a;
  ms.gw_mass_balance_error =
      percent_of(ms.final_gw_vol - ms.init_gw_vol - ms.total_gw_inputs - ms.total_gw_boundary_flux -
                     ms.xy_bound_gain + ms.xy_bound_loss,
                 ms.init_gw_vol);
}

void final_soil_storage(model_state& ms) {
  const double a = cell_area(ms);
  if (ms.inf_richards) {
    ms.final_soil_vol = 0.0;
    for (int c = 1; c <= ms.ncells; ++c) {
      if (ms.numcells[c] <= 1) continue;
      for (int k = 1; k <= ms.numcells[c] - 1; ++k)
        ms.final_soil_vol += ms.DZ(c, k) * ms.THETA(c, k) / 100.0 * a;
    }
  } else if (ms.sm_accounting) {
    ms.final_soil_vol = 0.0;
    ms.simple_soil_final_vol = 0.0;
    for (int c = 1; c <= ms.ncells; ++c) {
      double v = ms.sm_water[c] / 100.0 * a;
      ms.simple_soil_final_vol += v;
      ms.final_soil_vol += v;
      if (!ms.water_table_given) continue;
      if (ms.inf_layered_soil) ms.soil_moist_depth = 2.0 * top_layer_depth_of(ms, c);
      double d = ms.soil_moist_depth / 100.0;
      double unsat = ms.elevation[c] - ms.elevgw[c];
      if (unsat > d) ms.final_soil_vol += (unsat - d) * ms.gw_inf_redist_theta[c] * a;
    }
  }
}

void final_channel_storage(model_state& ms) {
  ms.vol_channels_final = 0.0;
  const int n = ms.num_constituents;
  if (ms.chan_con_trans) {
    for (int c = 1; c <= n; ++c) {
      summary::set_to(ms.chan_mass_final, c, 0.0);
      summary::set_to(ms.chan_sed_susp_final, c, 0.0);
    }
  }
  for (int link = 1; link <= ms.num_stream_links; ++link) {
    if (!summary::is_storage_link(ms.ltype[link])) continue;
    int last = ms.nx[link];
    if (ms.chan_lakes && !ms.og_nx1.empty() && ms.og_nx1[link] < last) last = ms.og_nx1[link];
    for (int node = 1; node <= last; ++node) {
      double vol = ms.area(node, link) * ms.link_dx[link];
      ms.vol_channels_final += vol;
      if (!ms.chan_con_trans) continue;
      int flat = ms.max_nodes_per_link * link + node;
      for (int c = 1; c <= n; ++c) {
        const double m = vol * at(ms.chan_conc, c, flat) / 1000.0;
        summary::add_to(ms.chan_mass_final, c, m);
        summary::add_to(ms.GLOBAL_MASS_FINAL, c, m);
        if (!ms.sediment_contam || ms.chan_sed_contam_node_conc.empty() || ms.ch_wash_vol.empty())
          continue;
        for (int j = 1; j <= ms.n_fine_classes; ++j) {
          double m = ms.chan_sed_contam_node_conc(c, flat, j) * ms.ch_wash_vol(flat, j) / 1000.0;
          summary::add_to(ms.chan_sed_susp_final, c, m);
          summary::add_to(ms.GLOBAL_MASS_FINAL, c, m);
        }
      }
    }
  }
}

// ------------------------------------------------------------- text sections

void print_groundwater(const model_state& ms, std::FILE* f) {
  put(f, "\n \n");
  put(f, "GROUNDWATER CALCULATIONS \n\n");
  put(f, "GW volume start =                %14.2lf \n", ms.init_gw_vol);
  put(f, "GW volume end =                  %14.2lf \n", ms.final_gw_vol);
  put(f, "Sat/unsat. volume (into gw) =    %14.2lf \n", ms.gw_sat_unsat_vol);
  put(f, "Exfiltration back on overland =  %14.2lf \n", ms.exfil_total);
  put(f, "Recharge to groundwater =        %14.2lf \n", ms.total_gw_recharge);
  put(f, "Total inputs to groundwater=     %14.2lf \n", ms.total_gw_inputs);
  put(f, "Flux across head boundaries=     %14.2lf \n", ms.total_gw_boundary_flux);
  put(f, "Leakage to deep aquifer+         %14.2lf \n", ms.total_deep_leakage);
  put(f, "Pumping                          %14.2lf \n", ms.total_gw_pumping);
  put(f, "To tile drains                   %14.2lf \n", ms.sl_gw_to_tile_vol_run);
  put(f, "Gain from XY boundaries          %14.2lf \n", ms.xy_bound_gain);
  put(f, "Loss to XY boundaries            %14.2lf \n", ms.xy_bound_loss);
  put(f, "Mass Balance error =             %14.2lf %%  \n", ms.gw_mass_balance_error);
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
  const double factor = cell_area(ms) * ms.ncells / 1000.0;
  put(f, "\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n");
  put(f, "as incorporated in the NIVRA\n");
  put(f, "(NIVRA) Model.  Internal SAC-SMA mass conservation check.\n\n");
  put(f, "Initial state variable values:\n");
  print_sac_stores(f, ms.sac_init_params, "\n");
  put(f, "Final state variable values:\n");
  print_sac_stores(f, ms.sac_params, "\n\n");
  put(f, "\nMass Balance Information:\n\n");
  const double residual = ms.sac_init_storage_mm + ms.sac_rain_mm - ms.sac_aet_mm -
                          ms.sac_subsurface_runoff_mm - ms.sac_deep_recharge_mm -
                          ms.sac_final_storage_mm;
  put(f, "Initial subsurface storage(mm):        %10.3lf\n", ms.sac_init_storage_mm);
  put(f, "Input rainfall (mm):                   %10.3lf\n", ms.sac_rain_mm);
  put(f, "PET calculated by NIVRA (mm):          %10.3lf\n", ms.sac_pet_mm);
  put(f, "AET calculated by Sacramento (mm):     %10.3lf\n", ms.sac_aet_mm);
  put(f, "Subsurface runoff (mm):                %10.3lf\n", ms.sac_subsurface_runoff_mm);
  put(f, "Recharge to deep g.w. (mm):            %10.3lf\n", ms.sac_deep_recharge_mm);
  put(f, "Final volume of subsurface water (mm): %10.3lf\n", ms.sac_final_storage_mm);
  put(f, "Residual (neg. means mass created (mm):%10.3lf\n", residual);
  put(f, "\n");
  put(f, "Sacramento simulation total residual water balance: %18.16f mm\n",
      ms.sac_params.sac_residual);
  put(f, "\nSacramento storages and fluxes expressed as volumes (m^3):\n");
  put(f, "Initial volume=   %10.1lf\n", ms.sac_init_storage_mm * factor);
  put(f, "Volume of ET=     %10.1lf\n", ms.sac_aet_mm * factor);
  put(f, "Volume of precip= %10.1lf\n", ms.sac_rain_mm * factor);
  put(f, "Volume of outflow=%10.1lf\n", ms.sac_subsurface_runoff_mm * factor);
  put(f, "Final volume=     %10.1lf\n", ms.sac_final_storage_mm * factor);
  put(f, "Residual=         %10.1lf\n",
      (ms.sac_init_storage_mm - ms.sac_aet_mm + ms.sac_rain_mm - ms.sac_subsurface_runoff_mm -
       ms.sac_final_storage_mm) *
          factor);
}

void print_water_totals(const model_state& ms, std::FILE* f) {
  const bool simple_soil = ms.sm_accounting && !ms.gw_simulation;
  const bool sac = ms.sacramento_given != 0;
  put(f, "\n \n");
  put(f, "SIMULATION TOTALS");
  put(f, "\n");
  put(f, "GLOBAL MASS BALANCE CALCULATIONS \n");
  put(f, "All volumes are in cubic meters \n \n");

  put(f, "Initial volume on surface=                      %14.2lf \n", ms.init_ov_volume);
  put(f, "Initial volume in channels=                     %14.2lf \n", ms.init_chan_vol);
  if (simple_soil)
    put(f, "Initial volume in soil over simple soil depth   %14.2lf \n", ms.run_init_soil_vol);
  else
    put(f, "Initial volume in soils=                        %14.2lf \n", ms.run_init_soil_vol);
  put(f, "Initial volume in groundwater=                  %14.2lf \n", ms.init_gw_vol);
  if (ms.chan_lakes)
    put(f, "Initial volume in perennial lakes               %14.2lf \n", ms.init_lake_vol);
  put(f, "\n");

  put(f, "Final volume on surface=                        %14.2lf\n", ms.vol_surface_final);
  if (ms.overland_lake_map_given)
    put(f, "Final volume in overland lakes=                 %14.2lf\n", ms.ov_lake_final_vol);
  put(f, "Final volume in channels=                       %14.2lf\n", ms.vol_channels_final);
  if (ms.storm_sewer_given)
    put(f, "Final volume in drains=                         %14.2lf\n", ms.sl_drain_vol);
  if (simple_soil)
    put(f, "Final volume in soil over simple soil depth     %14.2lf\n", ms.final_soil_vol);
  else
    put(f, "Final volume in soils=                          %14.2lf\n", ms.final_soil_vol);
  put(f, "Final volume in groundwater=                    %14.2lf\n", ms.final_gw_vol);
  put(f, "Final volume of snow=                           %14.2lf\n", ms.run_final_snow_vol);
  put(f, "Final volume of melt water =                    %14.2lf\n", ms.run_final_melt_vol);
  if (ms.chan_lakes)
    put(f, "Final volume in perennial lakes                 %14.2lf\n", ms.final_lake_vol);
  put(f, "\n");

  put(f, "Total amount of precip=                         %14.2lf\n", ms.total_precip);
  put(f, "Total amount of interception=                   %14.2lf\n", ms.total_interception);
  put(f, "Total amount of infiltration=                   %14.2lf\n", ms.total_infiltration);
  put(f, "Total amount of evaporation=                    %14.2lf\n", ms.total_evaporation);
  put(f, "Total direct evaporation=                       %14.2lf\n", ms.total_direct_evap);
  if (!sac) put(f, "Total amount of exfiltration=                   %14.2lf\n", ms.exfil_total);
  put(f, "\n");
  if (!sac) {
    if (ms.gw_simulation) {
      put(f, "Total recharge inputs to groundwater=           %14.2lf\n", ms.total_gw_recharge);
      put(f, "Total pumping from groundwater=                 %14.2lf\n", ms.total_gw_pumping);
    }
    put(f, "Total downward flux from unsaturated zone=      %14.2lf\n", ms.total_unsat_down_flux);
    put(f, "Total flux of gw across bounds=                 %14.2lf\n", ms.total_gw_boundary_flux);
  } else {
    put(f, "Total recharge to deep g.w.=                    %14.2lf\n", ms.sac_deep_recharge_vol);
  }
  put(f, "Total overland point sources=                   %14.2lf\n", ms.vol_point_src);
  put(f, "Total channel point sources=                    %14.2lf\n\n", ms.total_chan_point_sources);

  if (ms.ov_boundary || ms.xy_ov_boundary) {
    put(f, "Volume lost to specified head boundary:         %14.2lf\n", ms.head_bound_loss_vol);
    put(f, "Volume gained from specified head boundary:     %14.2lf\n", ms.head_bound_gain_vol);
  }
  if (ms.ov_boundary) {
    put(f, "Volume lost to specified slope boundary:        %14.2lf\n", ms.slope_bound_loss_vol);
    put(f, "Volume gained from specified discharge boundary:%14.2lf\n", ms.dis_bound_gain_vol);
    put(f, "Volume lost from specified discharge boundary:  %14.2lf\n", ms.dis_bound_loss_vol);
    put(f, "Volume of specified discharge boundary unmet:   %14.2lf\n", ms.dis_bound_unmet_vol);
  }
  put(f, "\n");

  put(f, "Total lateral inflow into channels=             %14.2lf\n", ms.total_lateral_inflow);
  put(f, "Total amount of discharge=                      %14.2lf\n", ms.total_discharge);
  if (ms.stream_loss) {
    put(f, "Total flux from river to gw=                    %14.2lf\n", ms.total_river_to_gw);
    if (ms.water_table_given)
      put(f, "Total flux from gw to river=                    %14.2lf\n", ms.total_gw_to_river);
  }

  if (ms.chan_lakes) {
    put(f, "\n");
    put(f, "Volume precip to lakes=                         %14.2lf\n", ms.vol_precip_lakes);
    put(f, "Volume of flow into lakes=                      %14.2lf\n", ms.lake_vol_in_run);
    put(f, "Volume of flow from lakes=                      %14.2lf\n", ms.lake_vol_out_run);
    put(f, "Volume of lake evap=                            %14.2lf\n", ms.lake_evap_vol);
    if (ms.lake_gw_on) {
      put(f, "Total flux from lakes to gw=                    %14.2lf\n", ms.total_lake_to_gw);
      put(f, "Total flux from gw to lakes=                    %14.2lf\n", ms.total_gw_to_lake);
    }
  }

  if (ms.storm_sewer_given) {
    put(f, "\n");
    put(f, "Volume of overland to subsurface drains         %14.2lf\n", ms.sl_ov_in_vol_run);
    put(f, "Volume of subsurface drains to overland         %14.2lf\n", ms.sl_to_ov_vol_run);
    put(f, "Volume of subsurface drains to channels         %14.2lf\n", ms.sl_to_chan_vol_run);
    put(f, "Volume of groundwater to tile drains            %14.2lf\n", ms.sl_gw_to_tile_vol_run);
  }

  if (ms.xy_input_in_use) {
    put(f, "\n");
    put(f, "Volume gained from XY boundaries                %14.2lf\n", ms.xy_bound_gain);
    put(f, "Volume lost to XY boundaries                    %14.2lf\n", ms.xy_bound_loss);
  }

  put(f, "\n");
  put(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
      ms.surface_mass_balance_error);
  if (sac) {
    put(f, "Overall mass balance error =                    %10.6lf percent\n \n",
        ms.overall_mass_balance_error);
    put(f, "*overall mass balance error will not be zero when using the Sacramento\n");
    put(f, "model because of errors associated with interpolating hourly outflows to\n");
    put(f, "the channel routing time step, which is generally much less than one\n");
    put(f, "hour.  However, this error should be less than one percent, except for\n");
    put(f, "simulations of very short events (only a few hours long).\n \n");
  } else {
    put(f, "Overall mass balance error =                        %14.6lf percent\n \n",
        ms.overall_mass_balance_error);
  }
  if (ms.sm_accounting)
    put(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
        ms.sm_mass_balance_error);
}

void print_lake_drain_dike_balances(const model_state& ms, std::FILE* f) {
  if (ms.overland_lake_map_given) {
    put(f, "Volume of flow into overland lakes:             %14.2lf\n", ms.ov_lake_inflow_vol);
    put(f, "Volume of flow from overland lakes:             %14.2lf\n", ms.ov_lake_outflow_vol);
    put(f, "Volume of evaporation from lakes:               %14.2lf\n", ms.lake_evap_vol);
    put(f, "Overland lake mass bal error m^3:               %14.2lf\n\n",
        ms.ov_lake_init_vol + ms.ov_lake_inflow_vol - ms.ov_lake_final_vol - ms.ov_lake_outflow_vol);
  }
  if (ms.chan_lakes)
    put(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n",
        ms.lake_vol_in_run - ms.lake_vol_out_run - ms.final_lake_vol + ms.init_lake_vol -
            ms.lake_evap_vol);
  if (ms.storm_sewer_given)
    put(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n",
        ms.sl_gw_to_tile_vol_run + ms.sl_ov_in_vol_run - ms.sl_to_ov_vol_run -
            ms.sl_to_chan_vol_run - ms.sl_drain_vol);
  if (ms.dike_map_given && ms.lowspot_file_given) {
    put(f, "You specifed overland dikes and lowspots \n");
    put(f, "The following cells experienced flow from over the embankment \n");
    put(f, "If no cells are listed then there was no flow overtopping the dike \n");
    put(f, "Check the 'maskmap' to see the location of these cells \n");
    for (int c = 1; c <= ms.ncells && c <= ms.low_spot_flow_cell.size(); ++c)
      if (ms.low_spot_flow_cell[c] == 1) put(f, "Dike Overtopped in cell:  %d \n", c);
    put(f, "\n");
  }
}

void print_channel_sediments(const model_state& ms, std::FILE* f) {
  put(f, "Channel sediment routing mass quantities\n");
  for (int k = 1; k <= ms.n_sed_classes; ++k)
    put(f, "Total sediment %d transported into channels: %16.8lf m3\n", k, tot_sed(ms, k, 4));
  put(f, "\n");
  summary::write_channel_sediments(ms, f, false);
}

}  // namespace

void write_overland_sediment_classes(const model_state& ms, std::FILE* f, bool event) {
  for (int k = 1; k <= ms.n_sed_classes; ++k) {
    const long kl = k;
    const double eroded = -tot_sed(ms, k, 1);
    const double suspended = tot_sed(ms, k, 2);
    const double deposited = tot_sed(ms, k, 3);
    const double discharged = tot_sed(ms, k, 4);
    const double to_lakes = overland_to_lakes(ms, k);
    const double to_drains =
        at(event ? ms.ov_superlink_sed_event : ms.ov_superlink_sed_total, k);
    put(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", kl, eroded);
    put(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", kl, deposited);
    put(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", kl, suspended);
    if (ms.chan_sed_on)
      put(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", kl, discharged);
    else
      put(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", kl, discharged);
    if (ms.chan_lakes && (ms.chan_sed_on || event))
      put(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", kl, to_lakes);
    if (ms.storm_sewer_given) {
      if (event)
        put(f, "Total sediment %ld into superlinks (event)     %16.8lf m3\n", kl, to_drains);
      else
        put(f, "Total sediment %ld into superlinks:            %16.8lf m3\n", kl, to_drains);
    }
    double accounted = deposited + suspended + discharged + to_drains;
    if (ms.chan_lakes && !is_sand(ms, k)) accounted += to_lakes;
    const double error = percent_of(eroded - accounted, eroded);
    if (event)
      put(f, "Mass balance error for sediment %ld %10.4lf percent \n", kl, error);
    else
      put(f, "Mass balance error for sediment %ld %10.4lf \n", kl, error);
    if (ms.chan_lakes && !is_sand(ms, k)) {
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
  return at(ms.constituent_type, c) == 1 && ms.contam_table_input;
}

void print_soil_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  put(f, "Soil Constituent Transport Summary for %s \n", name.c_str());
  put(f, "\n");
  const double init = at(ms.soil_mass_init, c), final_mass = at(ms.soil_mass_final, c);
  put(f, "Initial Mass in Soil Column   %14.2lf \n", init);
  put(f, "Final Mass in Soil Column     %14.2lf \n \n", final_mass);
  b.gain(init);
  b.loss(final_mass);
  put(f, "Mass added by infiltration    %14.2lf \n", at(ms.OV_INFIL_MASS, c));
  put(f, "Mass seepage up from GW       %14.2lf \n \n", at(ms.soil_mass_seep_from_wt, c));
  b.gain(at(ms.OV_INFIL_MASS, c));
  b.gain(at(ms.soil_mass_seep_from_wt, c));
  // What the surface takes up from the soil leaves the soil column.
  const double uptake = at(ms.OV_UPTAKE_MASS, c);
  if (uses_contaminant_table(ms, c)) {
    put(f, "Uptake from soil              %14.2lf \n", uptake);
    put(f, "Soil decay mass               %14.2lf \n", at(ms.soil_decay_mass, c));
  }
  if (summary::is_nutrient(ms, c)) {
    put(f, "Uptake from soil (NSM)        %14.2lf \n", uptake);
    put(f, "NSM decay mass               %14.2lf \n", at(ms.soil_decay_mass, c));
  }
  if (uses_contaminant_table(ms, c) || summary::is_nutrient(ms, c)) {
    b.net(-uptake);
    b.loss(at(ms.soil_decay_mass, c));
  }
  if (ms.water_table_given) {
    put(f, "Exfiltration mass loss        %14.2lf \n", at(ms.OV_EXFIL_MASS, c));
    b.loss(at(ms.OV_EXFIL_MASS, c));
  }
  put(f, "Mass seepage down to GW       %14.2lf \n \n", at(ms.soil_mass_seep_to_wt, c));
  b.loss(at(ms.soil_mass_seep_to_wt, c));
  if (ms.sediment_contam) {
    put(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", at(ms.sed_eroded_deposited, c));
    b.net(at(ms.sed_eroded_deposited, c));
  }
  const double error = b.error(1e-6);
  summary::set_to(ms.soil_mass_error, c, error);
  put(f, "Soil mass balance error       %14.4lf \n", error);
  if (ms.soil_static_conc)
    put(f, "When using static soil concentrations, mass balance errors represent implied additions "
           "to soil top layer \n");
}

void print_overland_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  const bool nsm = summary::is_nutrient(ms, c);
  mass_book b;
  put(f, "\n\n");
  if (at(ms.constituent_type, c) == 1)
    put(f, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c, name.c_str());
  else
    put(f, "Overland Constituent Transport Summary for %s \n", name.c_str());
  put(f, "Amounts are total for simulations in (Kg) \n \n");
  put(f, "Initial Dissolved mass on ov  %14.2lf \n", at(ms.OV_MASS_INIT, c));
  put(f, "Final Dissolved mass on ov    %14.2lf \n", at(ms.OV_MASS_FINAL, c));
  put(f, "\n");
  b.gain(at(ms.OV_MASS_INIT, c));
  b.loss(at(ms.OV_MASS_FINAL, c));
  if (ms.sediment_contam) {
    put(f, "Initial undissolved mass      %14.2lf \n", at(ms.OV_LAND_MASS_INIT, c));
    put(f, "Final undissolved mass        %14.2lf \n", at(ms.OV_LAND_MASS_FINAL, c));
    put(f, "\n");
    b.gain(at(ms.OV_LAND_MASS_INIT, c));
    b.loss(at(ms.OV_LAND_MASS_FINAL, c));
  }
  put(f, "Point source mass gain        %14.2lf \n", at(ms.OV_POINT_MASS, c));
  b.gain(at(ms.OV_POINT_MASS, c));
  if (ms.water_table_given) {
    put(f, "Exfiltration mass gain        %14.2lf \n", at(ms.OV_EXFIL_MASS, c));
    b.gain(at(ms.OV_EXFIL_MASS, c));
  }
  put(f, "Precipitation mass gain       %14.2lf \n", at(ms.OV_PRECIP_MASS, c));
  put(f, "Uptake from soil              %14.2lf \n", at(ms.OV_UPTAKE_MASS, c));
  b.gain(at(ms.OV_PRECIP_MASS, c));
  b.net(at(ms.OV_UPTAKE_MASS, c));
  if (ms.sediment_contam) {
    put(f, "Sediment source               %14.2lf \n", at(ms.sed_contam_source, c));
    b.gain(at(ms.sed_contam_source, c));
  }
  put(f, "\n");
  put(f, "Mass loss to infiltration     %14.2lf \n", at(ms.OV_INFIL_MASS, c));
  b.loss(at(ms.OV_INFIL_MASS, c));
  if (ms.chan_explic) {
    put(f, "Mass loss to stream           %14.2lf \n", at(ms.OV_QLAT_MASS, c));
    b.loss(at(ms.OV_QLAT_MASS, c));
  }
  put(f, "Outlet mass flux              %14.2lf \n", at(ms.OV_MASS_OUT, c));
  b.loss(at(ms.OV_MASS_OUT, c));
  if (nsm) {
    put(f, "Mass gained from NSM kinetics   %14.4lf \n", at(ms.ov_nsm_in_mass, c));
    put(f, "Mass lost to NSM kinetics       %14.4lf \n", at(ms.ov_nsm_out_mass, c));
    b.gain(at(ms.ov_nsm_in_mass, c));
    b.loss(at(ms.ov_nsm_out_mass, c));
  } else {
    put(f, "Mass decay loss on overland   %14.2lf \n", at(ms.OV_MASS_DECAY, c));
    b.loss(at(ms.OV_MASS_DECAY, c));
  }
  if (ms.chan_lakes) {
    put(f, "Lateral flow to lake          %14.2lf \n", at(ms.ov_lake_mass, c));
    b.loss(at(ms.ov_lake_mass, c));
  }
  put(f, "\n");
  if (ms.sediment_contam) {
    put(f, "Attached to susp sediments    %14.2lf \n", at(ms.sed_attached_final, c));
    put(f, "Attached entering streams     %14.2lf \n", at(ms.sed_attached_to_chan, c));
    put(f, "Attached exiting watershed    %14.2lf \n", at(ms.sed_attached_out, c));
    put(f, "\n");
  }
  const double error = b.error(0.0);
  summary::set_to(ms.OV_MASS_ERROR, c, error);
  put(f, "Contam mass balance error       %14.4lf percent \n", error);
}

void print_channel_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  if (at(ms.constituent_type, c) == 1)
    put(f, "Channel Contaminant Transport Summary for Contaminant %5d \n", c);
  else
    put(f, "Channel Contaminant Transport Summary for %s \n", name.c_str());
  put(f, "Dissolved\n");
  put(f, "Initial Mass in Channels      %14.2lf \n", at(ms.chan_mass_init, c));
  put(f, "Final Mass in Channels        %14.2lf \n \n", at(ms.chan_mass_final, c));
  put(f, "Mass gain from overland       %14.2lf \n", at(ms.OV_QLAT_MASS, c));
  put(f, "Flux from lake                %14.2lf \n", at(ms.chan_lake_in_mass, c));
  put(f, "Groundwater mass gain/loss    %14.2lf \n \n", at(ms.chan_gw_mass, c));
  b.gain(at(ms.chan_mass_init, c));
  b.loss(at(ms.chan_mass_final, c));
  b.gain(at(ms.OV_QLAT_MASS, c));
  b.gain(at(ms.chan_lake_in_mass, c));
  b.net(at(ms.chan_gw_mass, c));
  if (summary::is_nutrient(ms, c)) {
    put(f, "Mass gained from NSM kinetics   %14.6lf \n", at(ms.chan_nsm_gain, c));
    put(f, "Mass lost to NSM kinetics       %14.6lf \n", at(ms.chan_nsm_loss, c));
    b.gain(at(ms.chan_nsm_gain, c));
    b.loss(at(ms.chan_nsm_loss, c));
  } else {
    put(f, "Mass decay loss               %14.2lf \n", at(ms.chan_decay_mass, c));
    b.loss(at(ms.chan_decay_mass, c));
  }
  put(f, "Flux to lake                  %14.2lf \n", at(ms.chan_lake_out_mass, c));
  put(f, "Exchange with lake            %14.2lf \n", at(ms.chan_lake_exch_mass, c));
  put(f, "Exchange with sediment        %14.2lf \n", at(ms.chan_sed_exch_mass, c));
  b.loss(at(ms.chan_lake_out_mass, c));
  b.net(at(ms.chan_lake_exch_mass, c));
  b.net(at(ms.chan_sed_exch_mass, c));
  // The mass that left through the outlet has no line of its own but
  // leaves the channels all the same.
  b.loss(at(ms.chan_mass_out, c));
  put(f, "Dissolved mass balance error       %14.4lf percent \n", b.error(0.0));
  if (ms.sediment_contam) {
    put(f, "Attached\n");
    put(f, "Lateral flow into channels    %14.2lf \n", at(ms.chan_sed_lat_in, c));
    put(f, "Final suspended               %14.2lf \n", at(ms.chan_sed_susp_final, c));
    put(f, "Exchange with dissolved       %14.2lf \n", -at(ms.chan_sed_exch_mass, c));
    put(f, "Exiting outlet                %14.2lf \n", at(ms.chan_sed_out, c));
  }
  if (!ms.chan_lakes) return;
  mass_book l;
  put(f, "Lake Contaminant Transport Summary for Constituent %5ld \n", static_cast<long>(c));
  put(f, "Initial Mass in Lakes         %14.2lf \n", at(ms.lake_mass_init_run, c));
  put(f, "Final Mass in Lakes           %14.2lf \n \n", at(ms.lake_mass_final_run, c));
  put(f, "Mass channel trib inflow      %14.2lf \n", at(ms.lake_inflow_mass, c));
  put(f, "Mass lake outlet flow         %14.2lf \n", at(ms.lake_outflow_mass, c));
  put(f, "Lake chan exchange mass       %14.2lf \n", at(ms.lake_chan_exch_mass, c));
  put(f, "Precip mass flux              %14.2lf \n", at(ms.lake_precip_mass, c));
  put(f, "Mass decay loss               %14.2lf \n \n", at(ms.lake_decay_mass, c));
  l.gain(at(ms.lake_mass_init_run, c));
  l.loss(at(ms.lake_mass_final_run, c));
  l.gain(at(ms.lake_inflow_mass, c));
  l.loss(at(ms.lake_outflow_mass, c));
  l.net(at(ms.lake_chan_exch_mass, c));
  l.gain(at(ms.lake_precip_mass, c));
  l.loss(at(ms.lake_decay_mass, c));
  put(f, "Contam mass balance error       %14.4lf percent \n \n", l.error(0.0));
  for (int lake = 1; lake <= ms.num_lakes; ++lake) {
    const double mass = at(ms.lake_mass, c, lake) / 1000.0;
    const double conc = at(ms.lake_conc, c, lake);
    put(f, "Final Mass in lake %ld = %14.2lf \n", static_cast<long>(lake), mass);
    put(f, "Final Conc in lake %ld = %14.2lf \n \n", static_cast<long>(lake), conc);
  }
}

void print_global_constituent(model_state& ms, std::FILE* f, int c) {
  const std::string name = summary::constituent_label(ms, c);
  mass_book b;
  if (at(ms.constituent_type, c) == 1)
    put(f, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
  else
    put(f, "Contaminant Transport Global Summary for %s \n", name.c_str());
  put(f, "Total initial mass            %14.2lf \n", at(ms.GLOBAL_MASS_INIT, c));
  put(f, "Total final Mass              %14.2lf \n \n", at(ms.GLOBAL_MASS_FINAL, c));
  put(f, "Point source inputs           %14.2lf\n", at(ms.GLOBAL_POINT_SOURCE, c));
  put(f, "Precipitation inputs          %14.2lf \n", at(ms.global_precip_mass, c));
  put(f, "Flux from GW to streams       %14.2lf \n", at(ms.GLOBAL_GW_MASS, c));
  put(f, "Soil mass in from groundwater %14.2lf \n \n", at(ms.soil_mass_seep_from_wt, c));
  put(f, "Total mass out of system      %14.2lf \n \n", at(ms.GLOBAL_MASS_OUT, c));
  b.gain(at(ms.GLOBAL_MASS_INIT, c));
  b.loss(at(ms.GLOBAL_MASS_FINAL, c));
  b.gain(at(ms.GLOBAL_POINT_SOURCE, c));
  b.gain(at(ms.global_precip_mass, c));
  b.net(at(ms.GLOBAL_GW_MASS, c));
  b.gain(at(ms.soil_mass_seep_from_wt, c));
  b.loss(at(ms.GLOBAL_MASS_OUT, c));
  // Decay takes mass out of the system without a line of its own.
  b.loss(at(ms.GLOBAL_MASS_DECAY, c));
  if (summary::is_nutrient(ms, c)) {
    const double nsm = at(ms.global_nsm_in_mass, c) - at(ms.global_nsm_out_mass, c);
    put(f, "NSM gain/loss                 %14.2lf \n", nsm);
    b.net(nsm);
  }
  const double error = b.error(0.0);
  summary::set_to(ms.GLOBAL_MASS_CON_ERROR, c, error);
  put(f, "Contam mass balance error       %14.4lf percent \n \n", error);
}

void print_constituents(model_state& ms, std::FILE* f) {
  put(f, "\n");
  const int n = ms.num_constituents;
  if (ms.soil_con_trans) {
    put(f, "Soil Contaminant Transport Summary \n \n");
    for (int c = 1; c <= n; ++c) print_soil_constituent(ms, f, c);
  }
  if (ms.ov_con_trans) {
    put(f, "\n\n *************   Overland Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c)
      if (at(ms.constituent_type, c) != 3) print_overland_constituent(ms, f, c);
  }
  if (ms.chan_con_trans) {
    put(f, "\n\n *************   Channel Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c)
      if (at(ms.constituent_type, c) != 3) print_channel_constituent(ms, f, c);
  }
  if ((ms.ov_con_trans || ms.chan_con_trans || ms.soil_con_trans) && n > 0) {
    put(f, "\n\n *************   Global Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c) print_global_constituent(ms, f, c);
  }
}

}  // namespace

void compute_final_storages(model_state& ms) {
  const double a = cell_area(ms);
  final_lake_storage(ms);
  if (ms.long_term && ms.sm_accounting && !ms.direct_evap_cell.empty())
    for (int c = 1; c <= ms.ncells; ++c) ms.total_direct_evap += ms.direct_evap_cell[c] / 100.0 * a;
  if (ms.gw_simulation) final_groundwater(ms);

  ms.vol_surface_final = 0.0;
  const double* blocked = blocked_cells(ms);
  for (int c = 1; c <= ms.ncells; ++c) {
    if (ms.chan_lakes && is_lake_cell(ms, c)) continue;
    ms.vol_surface_final += ms.ov_depth[c] * open_share(blocked, c) * a;
  }
  final_soil_storage(ms);
  if (ms.chan_explic) final_channel_storage(ms);
  if (ms.snow_present && !ms.snow_swe.empty()) {
    ms.run_final_snow_vol = 0.0;
    for (int c = 1; c <= ms.ncells; ++c) ms.run_final_snow_vol += ms.snow_swe[c] * a;
    // Melt water is tracked on the cells in long-term runs.
    if (ms.long_term && !ms.snow_melt_to_ov.empty()) {
      ms.run_final_melt_vol = 0.0;
      for (int c = 1; c <= ms.ncells; ++c) ms.run_final_melt_vol += ms.snow_melt_to_ov[c] * a;
    }
  }
  if (ms.ov_boundary || ms.xy_ov_boundary) {
    ms.bound_loss_total = ms.head_bound_loss_vol + ms.slope_bound_loss_vol + ms.dis_bound_loss_vol;
    ms.bound_gain_total = ms.dis_bound_gain_vol + ms.head_bound_gain_vol;
  }
}

void compute_run_balances(model_state& ms) {
  const double initial =
      ms.init_ov_volume + ms.init_chan_vol + ms.run_init_soil_vol + ms.init_gw_vol + ms.init_lake_vol;
  ms.total_initial_storage = initial;
  ms.total_final_storage = ms.vol_surface_final + ms.vol_channels_final + ms.final_soil_vol +
                           ms.final_gw_vol + ms.run_final_snow_vol + ms.run_final_melt_vol +
                           ms.final_lake_vol + ms.sl_drain_vol;
  double inputs = ms.total_precip + ms.total_gw_boundary_flux + ms.vol_point_src + ms.total_gw_to_lake +
                  ms.total_chan_point_sources + ms.bound_gain_total;
  double outputs = ms.total_discharge + ms.total_evaporation + ms.bound_loss_total +
                   ms.total_lake_to_gw + ms.lake_evap_vol;
  if (ms.gw_simulation) {
    outputs += ms.total_unsat_down_flux - ms.total_gw_recharge + ms.total_deep_leakage +
               ms.total_gw_pumping;
  } else {
    outputs += (ms.green_ampt ? ms.total_infiltration : ms.total_unsat_down_flux) + ms.total_river_to_gw;
    inputs += ms.total_gw_to_river;
  }
  ms.overall_mass_balance_error =
      percent_of((initial + inputs) - (ms.total_final_storage + outputs), initial + inputs);

  const double surface_in = ms.total_precip + ms.total_gw_to_river + ms.total_gw_to_lake +
                            ms.exfil_total + ms.vol_point_src + ms.total_chan_point_sources +
                            ms.sl_to_chan_vol_run + ms.sl_to_ov_vol_run + ms.bound_gain_total;
  ms.surface_mass_balance_error = 0.0;
  if (surface_in > 0.0) {
    const double surface_initial = ms.init_chan_vol + ms.init_ov_volume + ms.init_lake_vol;
    const double surface_final = ms.run_final_snow_vol + ms.vol_channels_final + ms.run_final_melt_vol +
                                 ms.vol_surface_final + ms.final_lake_vol;
    const double surface_losses = ms.total_river_to_gw + ms.total_lake_to_gw + ms.total_direct_evap +
                                  ms.total_discharge + ms.total_infiltration + ms.bound_loss_total +
                                  ms.lake_evap_vol + ms.sl_ov_in_vol_run;
    ms.surface_mass_balance_error =
        percent_of(surface_initial + surface_in - (surface_losses + surface_final),
                   surface_final + surface_in);
  }

  if (ms.sm_accounting) {
    ms.sm_mass_balance_error = 0.0;
    if (ms.run_init_soil_vol > 0.0)
      ms.sm_mass_balance_error = percent_of(
          ms.total_infiltration + ms.simple_soil_init_vol - ms.simple_soil_final_vol -
              (ms.total_evaporation - ms.total_direct_evap - ms.sm_et_other_vol) -
              ms.total_unsat_down_flux,
          ms.total_infiltration + ms.run_init_soil_vol);
  }

  if (!ms.sacramento_given) return;
  const sac_record& s = ms.sac_params;
  const sac_record& s0 = ms.sac_init_params;
  const double to_volume = ms.sac_area / 1000.0;
  ms.sac_final_storage_mm = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
  ms.run_init_soil_vol = (s0.uztwc + s0.lztwc) * to_volume;
  ms.init_gw_vol = (s0.uzfwc + s0.lzfsc + s0.lzfpc) * to_volume;
  ms.final_soil_vol = (s.uztwc + s.lztwc) * to_volume;
  ms.final_gw_vol = (s.lzfsc + s.uzfwc + s.lzfpc) * to_volume;
  ms.total_evaporation = ms.sac_aet_mm * to_volume;
  ms.total_river_to_gw = ms.sac_chan_loss_vol;
  // The millimetre total stays for the Sacramento section; the volume is kept beside it.
  ms.sac_deep_recharge_vol = ms.sac_deep_recharge_mm * to_volume;
  ms.total_final_storage = ms.vol_channels_final + ms.vol_surface_final + ms.final_soil_vol +
                           ms.final_gw_vol + ms.run_final_snow_vol + ms.run_final_melt_vol +
                           ms.final_lake_vol;
  ms.total_initial_storage =
      ms.init_chan_vol + ms.init_ov_volume + ms.run_init_soil_vol + ms.init_gw_vol + ms.init_lake_vol;
  ms.overall_mass_balance_error = percent_of(
      ms.total_final_storage - ms.total_initial_storage - ms.total_precip + ms.total_evaporation +
          ms.total_discharge - ms.total_gw_boundary_flux - ms.vol_point_src - ms.xy_bound_gain +
          ms.xy_bound_loss,
      ms.total_precip + ms.total_initial_storage);
  ms.surface_mass_balance_error = percent_of(
      (ms.total_precip + ms.init_ov_volume + ms.init_chan_vol +
       (ms.total_gw_to_river - ms.total_river_to_gw) + ms.vol_point_src) -
          (ms.total_direct_evap + ms.total_discharge + ms.total_infiltration + ms.vol_channels_final +
           ms.run_final_snow_vol + ms.run_final_melt_vol + ms.vol_surface_final),
      ms.total_precip);
}

void write_run_summary(model_state& ms) {
  std::FILE* f = ms.summary_file.fp;
  compute_final_storages(ms);
  // The groundwater section shows the storages of the groundwater model,
  // before a Sacramento run replaces them with its own.
  if (ms.gw_simulation) print_groundwater(ms, f);
  compute_run_balances(ms);
  if (ms.sacramento_given) print_sacramento(ms, f);
  print_water_totals(ms, f);
  print_lake_drain_dike_balances(ms, f);
  if (ms.soil_erosion_on && ms.sed_transport_mode == 1) {
    put(f, "Overland Sediment Summary\n");
    write_overland_sediment_classes(ms, f, false);
    put(f, "\n");
  }
  if (ms.chan_sed_on) print_channel_sediments(ms, f);
  if (ms.chan_sed_on && ms.chan_lakes) print_lake_sediments(ms, f);
  // A bed elevation file that cannot be written ends the run's outputs, but
  // only once the summary text is complete.
  const bool beds_written = !ms.chan_sed_on || write_bed_elevations(ms);
  print_constituents(ms, f);
  if (ms.nutrients) {
    put(f, "NSM dm/dt Summary\n");
    put(f, "  Total dm/dt in:  %14.4lf\n", ms.nsm_dmdt_in_total);
    put(f, "  Total dm/dt out: %14.4lf\n\n", ms.nsm_dmdt_out_total);
  }
  if (!beds_written) {
    set_error(own_message_code);
    report_error();
    return;
  }
  write_end_of_run_files(ms);
}

}  // namespace nivra
