#include "output/run_summary.h"

#include <cstdio>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "output/summary_common.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

using summary::mass_book;
using summary::put;

namespace {

using flux = water_flux;
using store = water_store;

double cell_area(const model_state& ms) { return ms.grid.grid_size * ms.grid.grid_size; }

// Per-class volume moved from the cells into the channel lakes, net of the
// wash load the lakes' water carried back onto the land.
double overland_to_lakes(const model_state& ms, int k) {
  double v = 0.0;
  const array2d<double>& t = ms.constituent.sed_vol_overland_to_lake;
  if (t.empty() || k > t.cols()) return 0.0;
  for (int lake = 1; lake <= t.rows(); ++lake) v += t(lake, k);
  const channel_sediment& cs = ms.constituent.chan_sed;
  const array2d<double>& back = cs.wash.to_cells;
  if (cs.ready && k <= cs.classes.n && !cs.classes.sand[k] && !back.empty()) {
    const int m = cs.classes.position[k];
    for (int lake = 1; lake <= back.rows(); ++lake) v -= back(lake, m);
  }
  return v;
}

double tot_sed(const model_state& ms, int k, int part) {
  return ms.constituent.ov_sed ? at(ms.constituent.ov_sed->tot_sed, k, part) : 0.0;
}

bool is_sand(const model_state& ms, int k) { return at(ms.constituent.sand, k) != 0; }

// The run's totals and its storages at the start and the end.
struct run_books {
  const water_ledger& l;
  double total(flux f) const { return l.run_total(f); }
  double at_start(store s) const { return l.storage(s, ledger_moment::run_start); }
  double at_end(store s) const { return l.storage(s, ledger_moment::run_end); }
};

// ------------------------------------------------------------- text sections

void print_groundwater(const model_state& ms, std::FILE* f) {
  const run_books b{ms.ledger};
  put(f, "\n \n");
  put(f, "GROUNDWATER CALCULATIONS \n\n");
  put(f, "GW volume start =                %14.2lf \n", b.at_start(store::groundwater));
  put(f, "GW volume end =                  %14.2lf \n", b.at_end(store::groundwater));
  put(f, "Sat/unsat. volume (into gw) =    %14.2lf \n",
      b.total(flux::saturated_unsaturated) + b.total(flux::soil_layer_to_groundwater));
  put(f, "Exfiltration back on overland =  %14.2lf \n", b.total(flux::exfiltration));
  put(f, "Recharge to groundwater =        %14.2lf \n", b.total(flux::groundwater_recharge));
  put(f, "Total inputs to groundwater=     %14.2lf \n", b.total(flux::groundwater_inputs));
  put(f, "Flux across head boundaries=     %14.2lf \n", b.total(flux::groundwater_boundary_flux));
  put(f, "Leakage to deep aquifer+         %14.2lf \n", b.total(flux::deep_leakage));
  put(f, "Pumping                          %14.2lf \n", b.total(flux::groundwater_pumping));
  put(f, "Added at the aquifer floor       %14.2lf \n", b.total(flux::groundwater_floor_fill));
  put(f, "To tile drains                   %14.2lf \n", b.total(flux::groundwater_to_pipes));
  put(f, "Gain from XY boundaries          %14.2lf \n", b.total(flux::xy_boundary_gain));
  put(f, "Loss to XY boundaries            %14.2lf \n", b.total(flux::xy_boundary_loss));
  put(f, "Mass Balance error =             %14.2lf %%  \n", ms.ledger.run().groundwater_error);
  put(f, "Groundwater residual =           %14.2lf m3, %.6lf %% of the net input\n",
      ms.ledger.run().groundwater_residual, ms.ledger.run().groundwater_residual_percent);
  put(f, "\n");
  put(f, "If you have any head boundaries \n");
  put(f, "Mass balance errors are likely due to the estimation of fluxes across these boundaries, \n");
  put(f, "Which cannot be calculated exactly \n \n");
  put(f, "Sat/unsaturated volume is the amount of water passed from the unsaturated zone to the "
         "saturated zone \n");
  put(f, "to maintain mass balance between the two domains and account for any changes to the soil "
         "moisture in the unsaturated zone \n");
}

void print_sac_store(std::FILE* f, const char* format, double value, double capacity) {
  put(f, format, value, percent_of(value, capacity));
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
  // With a lumped model its stores are the soil and groundwater.
  const bool sac = ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given;
  const bool simple_soil = ms.soil.sm_accounting && !ms.groundwater.gw_simulation && !sac;
  const run_books b{ms.ledger};
  const run_balance& balance = ms.ledger.run();
  put(f, "\n \n");
  put(f, "SIMULATION TOTALS");
  put(f, "\n");
  put(f, "GLOBAL MASS BALANCE CALCULATIONS \n");
  put(f, "All volumes are in cubic meters \n \n");

  put(f, "Initial volume on surface=                      %14.2lf \n", b.at_start(store::surface));
  if (ms.lake.overland_lake_map_given)
    put(f, "Initial volume in overland lakes=               %14.2lf \n", b.at_start(store::overland_lakes));
  put(f, "Initial volume in channels=                     %14.2lf \n", b.at_start(store::channels));
  if (simple_soil)
    put(f, "Initial volume in soil over simple soil depth   %14.2lf \n", b.at_start(store::soil));
  else
    put(f, "Initial volume in soils=                        %14.2lf \n", b.at_start(store::soil));
  put(f, "Initial volume in groundwater=                  %14.2lf \n", b.at_start(store::groundwater));
  // A run with snow counts the pack it starts with among its initial storages.
  const bool snow = ms.hydromet.snow_present || b.at_start(store::snow) > 0.0 || b.total(flux::snowmelt) > 0.0;
  if (snow) {
    put(f, "Initial volume of snow=                         %14.2lf \n", b.at_start(store::snow));
    put(f, "Initial volume of melt water =                  %14.2lf \n", b.at_start(store::melt_water));
  }
  if (ms.lake.chan_lakes)
    put(f, "Initial volume in perennial lakes               %14.2lf \n", b.at_start(store::channel_lakes));
  put(f, "\n");

  put(f, "Final volume on surface=                        %14.2lf\n", b.at_end(store::surface));
  if (ms.lake.overland_lake_map_given)
    put(f, "Final volume in overland lakes=                 %14.2lf\n", b.at_end(store::overland_lakes));
  put(f, "Final volume in channels=                       %14.2lf\n", b.at_end(store::channels));
  if (ms.pipe.storm_sewer_given)
    put(f, "Final volume in drains=                         %14.2lf\n", b.at_end(store::pipes));
  if (simple_soil)
    put(f, "Final volume in soil over simple soil depth     %14.2lf\n", b.at_end(store::soil));
  else
    put(f, "Final volume in soils=                          %14.2lf\n", b.at_end(store::soil));
  put(f, "Final volume in groundwater=                    %14.2lf\n", b.at_end(store::groundwater));
  put(f, "Final volume of snow=                           %14.2lf\n", b.at_end(store::snow));
  put(f, "Final volume of melt water =                    %14.2lf\n", b.at_end(store::melt_water));
  if (ms.lake.chan_lakes)
    put(f, "Final volume in perennial lakes                 %14.2lf\n", b.at_end(store::channel_lakes));
  // Rain the canopy still holds, and what it held when later events began.
  if (ms.hydromet.interception_coeff_given) {
    put(f, "Final volume held by the canopy=                %14.2lf\n", b.at_end(store::canopy));
    put(f, "Volume dried from the canopy between events=    %14.2lf\n", b.total(flux::canopy_drying));
  }
  put(f, "\n");

  put(f, "Total amount of precip=                         %14.2lf\n", b.total(flux::precipitation));
  put(f, "Total amount of interception=                   %14.2lf\n", b.total(flux::interception));
  put(f, "Total amount of infiltration=                   %14.2lf\n", b.total(flux::infiltration));
  // With a lumped model, its evapotranspiration replaces the accounting
  // layer's, which only gave it its demand.
  put(f, "Total amount of evaporation=                    %14.2lf\n",
      sac ? b.total(flux::sacramento_et) + b.total(flux::direct_evaporation) : b.total(flux::evaporation));
  put(f, "Total direct evaporation=                       %14.2lf\n", b.total(flux::direct_evaporation));
  if (snow) put(f, "Total snowmelt and rain through the pack=       %14.2lf\n", b.total(flux::snowmelt));
  if (!sac) put(f, "Total amount of exfiltration=                   %14.2lf\n", b.total(flux::exfiltration));
  put(f, "\n");
  if (!sac) {
    if (ms.groundwater.gw_simulation) {
      put(f, "Total recharge inputs to groundwater=           %14.2lf\n", b.total(flux::groundwater_recharge));
      put(f, "Total pumping from groundwater=                 %14.2lf\n", b.total(flux::groundwater_pumping));
    }
    put(f, "Total downward flux from unsaturated zone=      %14.2lf\n", b.total(flux::unsaturated_down_flux));
    if (ms.soil.inf_richards)
      put(f, "Total made consistent in the soil columns=      %14.2lf\n", b.total(flux::soil_column_adjustment));
    put(f, "Total flux of gw across bounds=                 %14.2lf\n", b.total(flux::groundwater_boundary_flux));
  } else {
    put(f, "Total recharge to deep g.w.=                    %14.2lf\n",
        ms.groundwater.sac_deep_recharge_mm * ms.groundwater.sac_area / 1000.0);
  }
  put(f, "Total overland point sources=                   %14.2lf\n", b.total(flux::overland_point_sources));
  put(f, "Total channel point sources=                    %14.2lf\n\n", b.total(flux::channel_point_sources));

  if (ms.overland.ov_boundary || ms.overland.xy_ov_boundary) {
    put(f, "Volume lost to specified head boundary:         %14.2lf\n", b.total(flux::head_boundary_out));
    put(f, "Volume gained from specified head boundary:     %14.2lf\n", b.total(flux::head_boundary_in));
  }
  if (ms.overland.ov_boundary) {
    put(f, "Volume lost to specified slope boundary:        %14.2lf\n", b.total(flux::slope_boundary_out));
    put(f, "Volume gained from specified discharge boundary:%14.2lf\n", b.total(flux::discharge_boundary_in));
    put(f, "Volume lost from specified discharge boundary:  %14.2lf\n", b.total(flux::discharge_boundary_out));
    put(f, "Volume of specified discharge boundary unmet:   %14.2lf\n", b.total(flux::discharge_boundary_unmet));
  }
  if (ms.overland.ov_pump_given)
    put(f, "Volume lifted by overland pumps:                %14.2lf\n", b.total(flux::overland_pumping));
  put(f, "\n");

  put(f, "Total lateral inflow into channels=             %14.2lf\n", b.total(flux::channel_lateral_net));
  if (b.total(flux::channel_headwater_inflow) > 0.0)
    put(f, "Total headwater inflow into channels=           %14.2lf\n", b.total(flux::channel_headwater_inflow));
  put(f, "Total amount of discharge=                      %14.2lf\n", b.total(flux::outlet_discharge));
  if (ms.channel.clipped_area_count > 0)
    put(f, "Channel areas just below zero set to zero:  %d times, %.6lf m3 of water made\n",
        ms.channel.clipped_area_count, b.total(flux::channel_area_fill));
  if (ms.channel.stream_loss) {
    put(f, "Total flux from river to gw=                    %14.2lf\n", b.total(flux::channels_to_groundwater));
    if (ms.groundwater.water_table_given)
      put(f, "Total flux from gw to river=                    %14.2lf\n",
          b.total(flux::groundwater_to_channels) + b.total(flux::sacramento_baseflow));
  }

  if (ms.lake.chan_lakes) {
    put(f, "\n");
    put(f, "Volume precip to lakes=                         %14.2lf\n", b.total(flux::lake_precipitation));
    put(f, "Volume of flow into lakes=                      %14.2lf\n",
        b.total(flux::lake_precipitation) + b.total(flux::overland_to_channel_lakes) +
            b.total(flux::snow_to_channel_lakes) + b.total(flux::channels_to_channel_lakes) + b.total(flux::lake_point_sources) +
            b.total(flux::lumped_baseflow_to_lakes));
    put(f, "Volume of flow from lakes=                      %14.2lf\n",
        b.total(flux::channel_lakes_to_overland) + b.total(flux::channel_lakes_to_channels) +
            b.total(flux::lake_point_sinks));
    put(f, "Volume of lake evap=                            %14.2lf\n", b.total(flux::lake_evaporation));
    if (ms.lake.lake_gw_on) {
      put(f, "Total flux from lakes to gw=                    %14.2lf\n", b.total(flux::channel_lakes_to_groundwater));
      put(f, "Total flux from gw to lakes=                    %14.2lf\n", b.total(flux::groundwater_to_channel_lakes));
    }
  }

  if (ms.pipe.storm_sewer_given) {
    put(f, "\n");
    put(f, "Volume of overland to subsurface drains         %14.2lf\n", b.total(flux::overland_to_pipes));
    put(f, "Volume of subsurface drains to overland         %14.2lf\n", b.total(flux::pipes_to_overland));
    put(f, "Volume of subsurface drains to channels         %14.2lf\n", b.total(flux::pipes_to_channels));
    if (b.total(flux::channels_to_pipes) > 0.0)
      put(f, "Volume of channels back into subsurface drains  %14.2lf\n", b.total(flux::channels_to_pipes));
    put(f, "Volume of groundwater to tile drains            %14.2lf\n", b.total(flux::groundwater_to_pipes));
  }

  if (ms.output.xy_input_in_use) {
    put(f, "\n");
    put(f, "Volume gained from XY boundaries                %14.2lf\n", b.total(flux::xy_boundary_gain));
    put(f, "Volume lost to XY boundaries                    %14.2lf\n", b.total(flux::xy_boundary_loss));
    if (ms.channel.xy_stream_inflow_on)
      put(f, "Volume of XY stream inflows into channels       %14.2lf\n", b.total(flux::xy_stream_inflow));
  }

  put(f, "\n");
  put(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
      balance.surface_error);
  if (sac) {
    put(f, "Overall mass balance error =                    %10.6lf percent\n \n",
        balance.overall_error);
    put(f, "*overall mass balance error will not be zero when using the Sacramento\n");
    put(f, "model because of errors associated with interpolating hourly outflows to\n");
    put(f, "the channel routing time step, which is generally much less than one\n");
    put(f, "hour.  However, this error should be less than one percent, except for\n");
    put(f, "simulations of very short events (only a few hours long).\n \n");
  } else {
    put(f, "Overall mass balance error =                        %14.6lf percent\n \n",
        balance.overall_error);
  }
  if (ms.soil.sm_accounting)
    put(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
        balance.soil_layer_error);
}

void print_lake_drain_dike_balances(const model_state& ms, std::FILE* f) {
  const run_books b{ms.ledger};
  const run_balance& balance = ms.ledger.run();
  if (ms.lake.overland_lake_map_given) {
    put(f, "Volume of flow into overland lakes:             %14.2lf\n", b.total(flux::overland_lake_inflow));
    put(f, "Volume of flow from overland lakes:             %14.2lf\n", b.total(flux::overland_lake_outflow));
    put(f, "Volume drawn below initial lake levels:         %14.2lf\n", b.total(flux::overland_lake_shortfall));
    put(f, "Volume of evaporation from lakes:               %14.2lf\n", b.total(flux::lake_evaporation));
    put(f, "Overland lake mass bal error m^3:               %14.2lf\n\n", balance.overland_lake_error);
  }
  if (ms.lake.chan_lakes)
    put(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n", balance.channel_lake_error);
  if (ms.pipe.storm_sewer_given)
    put(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", balance.pipe_error);
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

overland_sediment_figures overland_sediment_of(const mass_ledger& books, int k, ledger_moment end) {
  const mass_set cells = overland_sediment_set();
  overland_sediment_figures x;
  x.suspended = books.mass(k, mass_compartment::overland_water, end);
  x.deposited = books.mass(k, mass_compartment::sediment_bound, end);
  x.eroded = books.run_total(k, row(sediment_term::erosion));
  x.outlet = books.run_total(k, row(sediment_term::overland_outlet));
  x.to_channels = sediment_into_channels(books, k, false);
  // The residual: what the run brought to the cells less what they hold
  // and what left them, every term of the ledger that crosses their edge.
  double in = 0.0, out = 0.0;
  for (int t = 1; t <= books.terms(); ++t) {
    const int crossing = cells.crossing(books.term(t).from, books.term(t).to);
    if (crossing > 0) in += books.run_total(k, t);
    if (crossing < 0) out += books.run_total(k, t);
  }
  const double initial = books.mass(k, mass_compartment::overland_water, ledger_moment::run_start) +
                         books.mass(k, mass_compartment::sediment_bound, ledger_moment::run_start);
  x.residual = initial + in - (x.suspended + x.deposited + out);
  return x;
}

void write_overland_sediment_classes(const model_state& ms, std::FILE* f, bool event) {
  const ov_sed_record* sed = ms.constituent.ov_sed.get();
  // The ledger holds every path of the cells' sediment, the channels' and
  // the lakes' (both ways) and the pipes' included.
  const ledger_moment end = event ? ledger_moment::event_end : ledger_moment::run_end;
  for (int k = 1; k <= ms.constituent.n_sed_classes; ++k) {
    const long kl = k;
    const double to_lakes = overland_to_lakes(ms, k);
    const double to_drains =
        at(event ? ms.constituent.ov_superlink_sed_event : ms.constituent.ov_superlink_sed_total, k);
    overland_sediment_figures x;
    if (sed && sed->books) x = overland_sediment_of(*sed->books, k, end);
    const double eroded = x.eroded;
    const double suspended = x.suspended;
    const double deposited = x.deposited;
    const double discharged = x.outlet + (ms.constituent.chan_sed_on ? x.to_channels : 0.0);
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
    const double error = percent_of(x.residual, eroded);
    if (event)
      put(f, "Mass balance error for sediment %ld %10.4lf percent \n", kl, error);
    else
      put(f, "Mass balance error for sediment %ld %10.4lf \n", kl, error);
    // The note explains an error the lakes leave; a balance that closes to
    // the printed digits needs none.
    if (ms.lake.chan_lakes && !is_sand(ms, k) && std::fabs(error) >= 0.00005) {
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
    if (ms.constituent.soil_con_trans) {
      // The land's mass is the soil column's, whose own block balances
      // it; the water sees it only through the exchange and the fines.
      put(f, "Initial undissolved mass      %14.2lf \n", at(ms.constituent.soil_mass_init, c));
      put(f, "Final undissolved mass        %14.2lf \n", at(ms.constituent.soil_mass_final, c));
    } else {
      put(f, "Initial undissolved mass      %14.2lf \n", at(ms.constituent.OV_LAND_MASS_INIT, c));
      put(f, "Final undissolved mass        %14.2lf \n", at(ms.constituent.OV_LAND_MASS_FINAL, c));
      b.gain(at(ms.constituent.OV_LAND_MASS_INIT, c));
      b.loss(at(ms.constituent.OV_LAND_MASS_FINAL, c));
      // The land also gave the fines what they lifted and took back what
      // settled; that mass reached the water only through the sediment
      // source line.
      b.net(at(ms.constituent.sed_eroded_deposited, c));
    }
    put(f, "\n");
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
  // The land surface's masses above, when they count, already hold the
  // exchange with the water.
  if (!ms.constituent.sediment_contam || ms.constituent.soil_con_trans) b.net(at(ms.constituent.OV_UPTAKE_MASS, c));
  if (ms.constituent.sediment_contam) {
    put(f, "Sediment source               %14.2lf \n", at(ms.constituent.sed_contam_source, c));
    b.net(at(ms.constituent.sed_contam_source, c));
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
  if (ms.overland.ov_boundary) {
    put(f, "Boundary mass outflow         %14.2lf \n", at(ms.constituent.ov_boundary_mass, c));
    b.loss(at(ms.constituent.ov_boundary_mass, c));
  }
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
  if (ms.pipe.storm_sewer_given) {
    put(f, "Dissolved entering the pipes  %14.2lf \n", at(ms.constituent.ov_pipe_mass, c));
    b.loss(at(ms.constituent.ov_pipe_mass, c));
  }
  put(f, "\n");
  if (ms.constituent.sediment_contam) {
    put(f, "Attached to susp sediments    %14.2lf \n", at(ms.constituent.sed_attached_final, c));
    put(f, "Attached entering streams     %14.2lf \n", at(ms.constituent.sed_attached_to_chan, c));
    put(f, "Attached exiting watershed    %14.2lf \n", at(ms.constituent.sed_attached_out, c));
    put(f, "\n");
  }
  const double error = b.percent();
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
  put(f, "Point source mass gain        %14.2lf \n", at(ms.constituent.chan_point_mass, c));
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
  put(f, "Outlet mass flux              %14.2lf \n", at(ms.constituent.chan_mass_out, c));
  b.loss(at(ms.constituent.chan_lake_out_mass, c));
  b.net(at(ms.constituent.chan_lake_exch_mass, c));
  b.net(at(ms.constituent.chan_sed_exch_mass, c));
  b.loss(at(ms.constituent.chan_mass_out, c));
  b.net(at(ms.constituent.chan_point_mass, c));  // net of what the sinks drew
  put(f, "Dissolved mass balance error       %14.4lf percent \n", b.error(0.0));
  if (ms.constituent.sediment_contam) {
    put(f, "Attached\n");
    put(f, "Lateral flow into channels    %14.2lf \n", at(ms.constituent.chan_sed_lat_in, c));
    put(f, "Final suspended               %14.2lf \n", at(ms.constituent.chan_sed_susp_final, c));
    put(f, "Exchange with dissolved       %14.2lf \n", -at(ms.constituent.chan_sed_exch_mass, c));
    put(f, "Exiting outlet                %14.2lf \n", at(ms.constituent.chan_sed_out, c));
    // initial + lateral + from the lakes + taken from the water = out of
    // the outlet + into the lakes + drawn by the point sinks + final.
    const summary::attached_books a = summary::attached_books_of(ms, c, false);
    mass_book s;
    s.net(at(ms.constituent.chan_sed_lat_in, c));
    s.loss(at(ms.constituent.chan_sed_susp_final, c));
    s.net(-at(ms.constituent.chan_sed_exch_mass, c));
    s.loss(at(ms.constituent.chan_sed_out, c));
    put(f, "Initial attached in channels  %14.2lf \n", a.chan_initial);
    s.gain(a.chan_initial);
    if (ms.lake.chan_lakes) {
      put(f, "Attached entering lakes       %14.2lf \n", a.to_lakes);
      put(f, "Attached leaving lakes        %14.2lf \n", a.from_lakes);
      s.loss(a.to_lakes);
      s.gain(a.from_lakes);
    }
    if (summary::channel_point_sources(ms)) {
      put(f, "Attached drawn by point sinks %14.2lf \n", a.chan_drawn);
      s.loss(a.chan_drawn);
    }
    put(f, "Attached mass balance error        %14.4lf percent \n", s.error(0.0));
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
  // The lakes' point sources (their POINTSOURCE series, and the channel
  // point sources at nodes a lake holds), net of what the sinks drew.
  const bool points = summary::channel_point_sources(ms);
  if (points) {
    put(f, "Point source mass gain        %14.2lf \n", at(ms.constituent.lake_point_mass_run, c));
    l.net(at(ms.constituent.lake_point_mass_run, c));
  }
  if (ms.constituent.ov_con_trans) {
    put(f, "Mass overland inflow          %14.2lf \n", at(ms.constituent.ov_lake_mass, c));
    l.net(at(ms.constituent.ov_lake_mass, c));
  }
  if (ms.constituent.ov_con_trans && ms.overland.ov_boundary) {
    put(f, "Mass boundary outflow         %14.2lf \n", at(ms.constituent.lake_boundary_mass, c));
    l.loss(at(ms.constituent.lake_boundary_mass, c));
  }
  // What the lakes' fines gave their water (-: took from it).
  if (ms.constituent.sediment_contam) {
    put(f, "Exchange with attached        %14.2lf \n", at(ms.constituent.lake_sed_exch_run, c));
    l.net(at(ms.constituent.lake_sed_exch_run, c));
  }
  put(f, "Mass decay loss               %14.2lf \n \n", at(ms.constituent.lake_decay_mass, c));
  l.gain(at(ms.constituent.lake_mass_init_run, c));
  l.loss(at(ms.constituent.lake_mass_final_run, c));
  l.gain(at(ms.constituent.lake_inflow_mass, c));
  l.loss(at(ms.constituent.lake_outflow_mass, c));
  l.net(at(ms.constituent.lake_chan_exch_mass, c));
  l.gain(at(ms.constituent.lake_precip_mass, c));
  l.loss(at(ms.constituent.lake_decay_mass, c));
  // The exchange through the lake beds has no line of its own.
  l.net(at(ms.constituent.lake_gw_mass_run, c));
  put(f, "Contam mass balance error       %14.4lf percent \n \n", l.error(0.0));
  if (ms.constituent.sediment_contam) {
    // The lakes' attached mass: initial + from the channels + from their
    // cells (net) + taken from the water = let out into the channels +
    // drawn by the point sinks + final (suspended and settled).
    const summary::attached_books a = summary::attached_books_of(ms, c, false);
    mass_book s;
    put(f, "Attached\n");
    put(f, "Initial attached in lakes     %14.2lf \n", a.lake_initial);
    put(f, "Channel inflow                %14.2lf \n", a.to_lakes);
    put(f, "Overland inflow               %14.2lf \n", a.lake_overland);
    put(f, "Exchange with dissolved       %14.2lf \n", a.lake_exchange);
    put(f, "Attached leaving lakes        %14.2lf \n", a.from_lakes);
    s.gain(a.lake_initial);
    s.gain(a.to_lakes);
    s.net(a.lake_overland);
    s.net(a.lake_exchange);
    s.loss(a.from_lakes);
    if (points) {
      put(f, "Attached drawn by point sinks %14.2lf \n", a.lake_drawn);
      s.loss(a.lake_drawn);
    }
    put(f, "Final attached, suspended     %14.2lf \n", a.lake_suspended);
    put(f, "Final attached, on lake beds  %14.2lf \n", a.lake_bed);
    s.loss(a.lake_suspended);
    s.loss(a.lake_bed);
    put(f, "Attached mass balance error        %14.4lf percent \n \n", s.error(0.0));
  }
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
  // Without a soil column the water table's mass reaches the cells directly.
  if (ms.groundwater.water_table_given && !ms.constituent.soil_con_trans) {
    put(f, "Exfiltration from groundwater %14.2lf \n \n", at(ms.constituent.global_gw_exfil_mass, c));
    b.gain(at(ms.constituent.global_gw_exfil_mass, c));
  }
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
  const double error = b.percent();
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
    for (int c = 1; c <= n; ++c) print_overland_constituent(ms, f, c);
  }
  if (ms.constituent.chan_con_trans) {
    put(f, "\n\n *************   Channel Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c) print_channel_constituent(ms, f, c);
  }
  if ((ms.constituent.ov_con_trans || ms.constituent.chan_con_trans || ms.constituent.soil_con_trans) && n > 0) {
    put(f, "\n\n *************   Global Transport Summaries   **************** \n\n");
    for (int c = 1; c <= n; ++c) print_global_constituent(ms, f, c);
  }
}

}  // namespace

void write_run_summary(model_state& ms) {
  std::FILE* f = ms.output.summary_file.fp;
  if (ms.groundwater.gw_simulation) print_groundwater(ms, f);
  if (ms.groundwater.sacramento_given) print_sacramento(ms, f);
  print_water_totals(ms, f);
  print_lake_drain_dike_balances(ms, f);
  if (!ms.hydromet.weather_end_note.empty()) put(f, "\n%s", ms.hydromet.weather_end_note.c_str());
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
