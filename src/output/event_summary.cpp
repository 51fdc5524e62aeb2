#include "output/event_summary.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "output/run_summary.h"
#include "output/step_outputs.h"
#include "output/summary_common.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

using summary::mass_book;
using summary::put;

namespace {

// Constituent lines: label, dots to column 50, decimal points in column 66.
void mass_line(std::FILE* f, const char* label, double value, int extra = 0) {
  write_summary_line(f, label, value, 50, "%14.2lf", '.', 14, extra);
}
void ratio_line(std::FILE* f, const char* label, double value, int extra = 0) {
  write_summary_line(f, label, value, 50, "%14.4lf", '.', 14, extra);
}

bool uses_contaminant_table(const model_state& ms, int c) {
  return at(ms.constituent.constituent_type, c) == 1 && ms.constituent.contam_table_input;
}
bool is_contaminant(const model_state& ms, int c) { return at(ms.constituent.constituent_type, c) == 1; }

// The station name of a SAMSON weather file: the leading upper-case letters
// of its header.
std::string station_name(const std::string& header) {
  std::size_t n = 0;
  while (n < header.size() && header[n] >= 'A' && header[n] <= 'Z') ++n;
  return header.substr(0, n);
}

void print_heading(const model_state& ms, std::FILE* f) {
  if (ms.clock.long_term && ms.clock.event_index >= 2) {
    put(f, "\n\n");
    put(f, "%s\n", std::string(78, '-').c_str());
  }
  if (!ms.clock.long_term) {
    put(f, "         NIVRA EVENT RUNOFF SIMULATION SUMMARY\n");
    put(f, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", ms.clock.event_start_month,
        ms.clock.event_start_day, ms.clock.event_start_year, ms.clock.event_start_hour, ms.clock.event_start_minute);
    return;
  }
  put(f, "       NIVRA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
      static_cast<long>(ms.clock.event_index));
  put(f, "Event began on strict Julian date:                    %16.8lf\n", ms.clock.event_start_julian);
  put(f, "Event ended on strict Julian date:                    %16.8lf\n", ms.clock.model_time);
  put(f, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
      static_cast<long>(ms.clock.event_start_month), static_cast<long>(ms.clock.event_start_day),
      static_cast<long>(ms.clock.event_start_year), static_cast<long>(ms.clock.event_start_hour),
      static_cast<long>(ms.clock.event_start_minute), ms.clock.gmt);
  if (ms.hydromet.hmet_samson_given)
    put(f, "NIVRA used NCDC/SAMSON hydrometeorological data from the %s station\n",
        station_name(ms.hydromet.hmet_header).c_str());
  if (ms.hydromet.hmet_surfaways_given) put(f, "NIVRA used NCDC/Surface Airways hydrometeorological data.\n");
  put(f, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n", ms.hydromet.hmet_start_month,
      ms.hydromet.hmet_start_day, ms.hydromet.hmet_start_year, ms.hydromet.hmet_start_hour);
  put(f, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n", ms.hydromet.hmet_end_month,
      ms.hydromet.hmet_end_day, ms.hydromet.hmet_end_year, ms.hydromet.hmet_end_hour);
  put(f, "The following number of hydromet. data points were repaired:%d\n", ms.hydromet.hmet_repaired);
  if (ms.hydromet.et_calc_penman) put(f, "Penman-Montieth evapotranspiration was calculated.\n");
  if (ms.hydromet.et_calc_deardorff) put(f, "Deardorff bare-soil evaporation was calculated.\n");
  if (ms.groundwater.sacramento_given) put(f, "Sacramento soil moisture accounting was used.\n");
  put(f, "\n");
}

void print_rain_and_timing(const model_state& ms, std::FILE* f) {
  if (ms.hydromet.precip_unif) {
    put(f, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n", ms.hydromet.rain_intensity,
        ms.hydromet.rain_duration);
  } else if (ms.hydromet.precip_file_given || ms.hydromet.radar_rain) {
    put(f, ms.hydromet.radar_rain ? "With radar-rainfall estimates " : "With raingage data ");
    put(f, ms.hydromet.rain_thiessen ? "using Thiessen polygon interpolation.\n\n"
                            : "using inverse-distance squared interpolation.\n\n");
  }
  if (ms.grid.map_units_feet)
    put(f, "elevation and gridsize were converted from feet to meters\n");
  else
    put(f, "elevation and gridsize are in meters\n");
  put(f, "timestep                                   %5.1lf seconds\n", ms.clock.dt);
  if (ms.clock.long_term)
    put(f, "initial basin-averaged soil water content: %5.2lf percent\n", ms.soil.init_soil_water * 100.0);
  put(f, "number of timesteps with rain:             %d\n", ms.clock.rain_steps);
  // The start of the first step with rain: minutes since the event began.
  put(f, "elapsed time when rain began:              %5.2lf\n \n", ms.clock.rain_start_min);

  if (ms.clock.event_peak_q > 0.0) {
    put(f, "peak occured on strict Julian date:       %16.8lf\n", ms.clock.peak_jdate);
    put(f, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n", ms.clock.peak_month,
        ms.clock.peak_day, ms.clock.peak_year, ms.clock.peak_hour, ms.clock.peak_minute, ms.clock.peak_second);
  }
  put(f, "Event peak discharge (cubic meters per second):  %12.4lf\n\n", ms.clock.event_peak_q);
}

// The event's totals and its storages at the start and the end.
struct event_books {
  const water_ledger& l;
  double total(water_flux f) const { return l.event_total(f); }
  double at_start(water_store s) const { return l.storage(s, ledger_moment::event_start); }
  double at_end(water_store s) const { return l.storage(s, ledger_moment::event_end); }
};

void print_volumes(const model_state& ms, std::FILE* f) {
  using flux = water_flux;
  using store = water_store;
  const event_books b{ms.ledger};
  const double interception = b.total(flux::interception);
  put(f, "Note: all volumes in cubic meters.\n");
  if (ms.lake.chan_lakes) put(f, "initial volume in lakes               %16.1lf\n", b.at_start(store::channel_lakes));
  put(f, "initial volume of overland flow:      %16.1lf\n", b.at_start(store::surface));
  if (ms.channel.chan_explic) put(f, "initial volume in channels:           %16.1lf\n", b.at_start(store::channels));
  if (ms.pipe.storm_sewer_given)
    put(f, "initial volume in sub-surface drains: %16.1lf\n \n", b.at_start(store::pipes));
  put(f, "initial liquid-equiv. volume of snow: %16.1lf\n \n", b.at_start(store::snow));
  put(f, "initial volume of melt water:         %16.1lf\n \n", b.at_start(store::melt_water));
  put(f, "volume of rainfall to overland:      %16.1lf\n", interception + b.total(flux::rainfall_to_overland));
  put(f, "volume of interception:              %16.1lf\n", interception);
  // What the pack let go onto the ground in the event: its melt, with the
  // rain that fell on it and joined it.
  put(f, "snowmelt and rain through the pack:  %16.1lf\n", b.total(flux::snowmelt));
  if (ms.groundwater.sacramento_given) {
    put(f, "volume of base flow from Sacramento:   %16.1lf\n", b.total(flux::sacramento_baseflow));
    put(f, "volume of subsurface at event start:   %16.1lf\n", b.at_start(store::sacramento));
    put(f, "volume of subsurface at event end:     %16.1lf\n", b.at_end(store::sacramento));
    put(f, "volume of et removed water:            %16.1lf\n", b.total(flux::sacramento_et));
    put(f, "volume of infil water SAC recieves:    %16.1lf\n", b.total(flux::sacramento_infiltration));
  }
  put(f, "volume of direct evaporation:        %16.1lf\n", b.total(flux::direct_evaporation));
  put(f, "volume of infiltrated water:         %16.1lf\n", b.total(flux::infiltration));
  put(f, "volume of water exfiltrated:         %16.1lf\n", b.total(flux::exfiltration));
  put(f, "volume of discharge:                 %16.1lf\n", b.total(flux::outlet_discharge));
  if (ms.soil.sm_accounting)
    put(f, "volume of groundwater recharge:      %16.1lf\n", b.total(flux::groundwater_recharge));

  if (ms.channel.chan_explic) {
    put(f, "net volume of lateral inflow:        %16.1lf\n", b.total(flux::channel_lateral_net));
    put(f, "lateral flow into channel            %16.1lf\n", b.total(flux::channel_lateral_in));
    put(f, "lateral flow out of channel          %16.1lf\n", b.total(flux::channel_lateral_out));
    if (ms.channel.stream_loss && !ms.groundwater.sacramento_given) {
      put(f, "volume of gw to chan:                %16.1lf\n",
          b.total(flux::groundwater_to_channels) + b.total(flux::sacramento_baseflow));
      put(f, "volume of water from chan to gw:     %16.1lf\n", b.total(flux::channels_to_groundwater));
    }
    if (ms.lake.chan_lakes) {
      put(f, "volume precip to lake:               %16.1lf\n", b.total(flux::lake_precipitation));
      put(f, "volume overland to lake:             %16.1lf\n", b.total(flux::overland_to_channel_lakes));
      put(f, "volume overland from lake:           %16.1lf\n", b.total(flux::channel_lakes_to_overland));
      if (ms.clock.long_term)
        put(f, "volume of snow to lake:              %16.1lf\n", b.total(flux::snow_to_channel_lakes));
      if (ms.lake.lake_gw_on) {
        put(f, "volume of gw to lakes:               %16.1lf\n", b.total(flux::groundwater_to_channel_lakes));
        put(f, "volume of water from lakes to gw:    %16.1lf\n", b.total(flux::channel_lakes_to_groundwater));
      }
    }
    put(f, "volume of stream point sources:      %16.1lf\n", b.total(flux::channel_point_sources));
    put(f, "volume of stream point sinks:        %16.1lf\n", b.total(flux::channel_point_sinks));
    put(f, "volume of lake point sources:        %16.1lf\n", b.total(flux::lake_point_sources));
    put(f, "volume of lake point sinks:          %16.1lf\n", b.total(flux::lake_point_sinks));
    put(f, "volume of lake evaporation:          %16.1lf\n", b.total(flux::lake_evaporation));
  }
  if (ms.clock.long_term && ms.soil.inf_richards)
    put(f, "volume of total evaporation:         %16.1lf\n", b.total(flux::evaporation));
  put(f, "volume from overland point sources:  %16.1lf\n", b.total(flux::overland_point_sources));

  if (ms.overland.ov_boundary || ms.overland.xy_ov_boundary) {
    put(f, "\n");
    put(f, "Volume to specified head (out):      %16.1lf\n", b.total(flux::head_boundary_out));
    put(f, "Volume from specified head (in):     %16.1lf\n", b.total(flux::head_boundary_in));
    if (ms.overland.ov_boundary) {
      put(f, "Volume to specified slope (out):     %16.1lf\n", b.total(flux::slope_boundary_out));
      put(f, "Volume from specified discharge (in):%16.1lf\n", b.total(flux::discharge_boundary_in));
      put(f, "Volume to specified discharge (out): %16.1lf\n", b.total(flux::discharge_boundary_out));
      put(f, "Volume of specified discharge unmet: %16.1lf\n", b.total(flux::discharge_boundary_unmet));
    }
    put(f, "\n");
  }
  if (ms.pipe.storm_sewer_given) {
    put(f, "overland inputs to superlink:        %16.1lf\n", b.total(flux::overland_to_pipes));
    put(f, "volume of superlink to overland:     %16.1lf\n", b.total(flux::pipes_to_overland));
    if (ms.channel.chan_explic) put(f, "volume of superlink to channels:     %16.1lf\n", b.total(flux::pipes_to_channels));
    if (ms.pipe.gw_to_tile) put(f, "volume of gw to tile drains:         %16.1lf\n", b.total(flux::groundwater_to_pipes));
  }

  put(f, "\n");
  if (ms.lake.chan_lakes) put(f, "volume remaining in lakes            %16.1lf\n", b.at_end(store::channel_lakes));
  put(f, "volume remaining on surface:         %16.1lf\n", b.at_end(store::surface));
  if (ms.channel.chan_explic) put(f, "final volume in channels (cu. m):    %16.1lf\n", b.at_end(store::channels));
  if (ms.pipe.storm_sewer_given) put(f, "volume remaining in drains:          %16.1lf\n", b.at_end(store::pipes));
  put(f, "final volume of snow (cu. m):        %16.1lf\n \n", b.at_end(store::snow));
  put(f, "final volume of melt water (cu. m):  %16.1lf\n \n", b.at_end(store::melt_water));
  if (b.at_end(store::snow) > 0.0) put(f, "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n");
}

void print_error(const model_state& ms, std::FILE* f) {
  const event_balance& balance = ms.ledger.event();
  const double e = balance.error;
  // An event into which no water came, over storages that held none (a
  // zero-depth event between dry spells), has no balance to strike.
  const bool no_water = balance.no_water;
  if (no_water) {
    put(f, "mass conservation error:                         none: no water to balance\n");
    put(f, "Note: nothing came in and nothing was stored at the event's start.\n");
  } else {
    put(f, "mass conservation error:                         %9.6lf percent\n", e * 100.0);
    if (e < 0.0)
      put(f, "Note: negative mass conservation error indicates mass was created: the outputs and final storage "
             "exceed the inputs and initial storage.\n");
    else
      put(f, "Note: positive mass conservation error indicates mass was lost: the outputs and final storage fall "
             "short of the inputs and initial storage.\n");
  }
  put(f, "Mass input + original mass:           %9.6lf m3\n", balance.in_plus_initial);
  put(f, "Mass output + final mass:             %9.6lf m3\n", balance.out_plus_final);
  // The overland routing keeps every depth it leaves: no clean-up makes or
  // removes water at the event's end.
  put(f, "mass cleanup error from overland:     %9.6lf m3\n", 0.0);
  put(f, "\n");
  if (ms.clock.long_term)
    put(f, "final basin-averaged soil water content: %5.2lf percent\n", ms.soil.final_soil_moisture * 100.0);
  if (no_water) put(f, "Note: no rainfall was input.\n");
}

void print_soil_water(const model_state& ms, std::FILE* f) {
  using flux = water_flux;
  using store = water_store;
  const event_books b{ms.ledger};
  if (ms.soil.inf_richards) {
    put(f, "\n \n Richard's EQ. Computations \n \n");
    put(f, "volume lost due to dir. evap (cu. m):  %9.1lf\n", b.total(flux::direct_evaporation));
    put(f, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", ms.soil.net_infil_vol);
    put(f, "vol groundwater recharge (cu. m):      %9.1lf\n", b.total(flux::groundwater_recharge));
    put(f, "Initial volume in soils (cu. m.):      %9.1lf\n", b.at_start(store::soil));
    put(f, "Final volume in soils (cu. m.):        %9.1lf\n", b.at_end(store::soil));
    put(f, "Richard equation mass balance error         %5.4lf percent\n", ms.soil.richards_mass_error);
    put(f, "Number of cells at start of event   %12d\n", ms.soil.n_cells_start_event);
    put(f, "Number of cells at end of event     %12d\n", ms.soil.n_cells_end_event);
    put(f, "net volume of infiltration is infiltration minus evaporation\n");
  }
  if (!ms.groundwater.gw_simulation) return;
  put(f, "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n");
  put(f, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n", b.total(flux::exfiltration));
  put(f, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n",
      ms.ledger.run_total_at_event_start(flux::exfiltration));
  put(f, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n",
      ms.ledger.run_total(flux::exfiltration));
  put(f, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n",
      0.0 - b.total(flux::saturated_unsaturated) - b.total(flux::soil_layer_to_groundwater));
  put(f, "vol groundwater recharge (cu. m):                             %9.1lf\n", b.total(flux::groundwater_recharge));
  if (ms.channel.chan_explic) {
    put(f, "vol from gw to chan  this event (cu. m):                      %9.1lf\n",
        b.total(flux::groundwater_to_channels));
    put(f, "vol from chan to gw  this event (cu. m):                      %9.1lf\n",
        b.total(flux::channels_to_groundwater));
    if (ms.lake.chan_lakes) {
      put(f, "vol from gw to lakes this event (cu. m):                      %9.1lf\n",
          b.total(flux::groundwater_to_channel_lakes));
      put(f, "vol from lakes to gw this event (cu. m):                      %9.1lf\n",
          b.total(flux::channel_lakes_to_groundwater));
    }
  }
  if (ms.pipe.storm_sewer_given)
    put(f, "vol gw to tile dtrains (cu. m):                               %9.1lf\n", b.total(flux::groundwater_to_pipes));
  if (ms.output.xy_input_in_use) {
    put(f, "vol gain for gw from XY boundaries:                           %9.1lf\n", b.total(flux::xy_boundary_gain));
    put(f, "vol loss for gw from XY boundaries:                           %9.1lf\n", b.total(flux::xy_boundary_loss));
  }
  put(f, "\n");
}

// ------------------------------------------------------------- constituents

// The soil column's block of an event, from the constituents' mass ledger:
// its mass at the event's start and end and every term that crossed it in
// the event.
void print_soil_constituent(const model_state& ms, std::FILE* f, int c) {
  const mass_ledger* books = ms.constituent.mass_books.get();
  if (!books || c > books->constituents()) return;
  auto event = [&](constituent_term t) { return books->event_total(c, row(t)); };
  mass_book b;
  put(f, "Soil Contaminant Transport Summary for %s \n", summary::constituent_label(ms, c).c_str());
  const double initial = books->mass(c, mass_compartment::soil_column, ledger_moment::event_start);
  const double final_mass = books->mass(c, mass_compartment::soil_column, ledger_moment::event_end);
  mass_line(f, "Initial Mass in Soil Column", initial);
  mass_line(f, "Final Mass in Soil Column", final_mass, 1);
  mass_line(f, "Mass added by infiltration", event(constituent_term::infiltration), 1);
  b.gain(initial);
  b.loss(final_mass);
  b.gain(event(constituent_term::infiltration));
  if (ms.groundwater.water_table_given) {
    mass_line(f, "Exfiltration mass loss", event(constituent_term::exfiltration));
    mass_line(f, "Mass seepage to water table", event(constituent_term::seepage_to_water_table));
    mass_line(f, "Mass seepage from water table", event(constituent_term::seepage_from_water_table));
  }
  b.loss(event(constituent_term::exfiltration));
  b.loss(event(constituent_term::seepage_to_water_table));
  b.gain(event(constituent_term::seepage_from_water_table));
  if (is_contaminant(ms, c)) mass_line(f, "Soil decay mass", event(constituent_term::soil_decay));
  b.loss(event(constituent_term::soil_decay));
  // A nutrient's soil side is its partner pool, which the nutrient soil
  // step made up out of the water above it.
  const double from_soil = event(constituent_term::release_from_land);
  const double to_soil = event(constituent_term::uptake_by_land) + event(constituent_term::nutrient_pool_gain);
  if (uses_contaminant_table(ms, c)) {
    mass_line(f, "Surface water exchange from soil", from_soil);
    mass_line(f, "Surface water exchange to soil", to_soil);
  }
  if (summary::is_nutrient(ms, c)) {
    mass_line(f, "NSM surface water exchange from soil", from_soil);
    mass_line(f, "NSM surface water exchange to soil", to_soil);
  }
  b.loss(from_soil);
  b.gain(to_soil);
  // A layer set back to zero from below it was given that mass.
  b.gain(event(constituent_term::soil_negative_reset));
  if (ms.constituent.sediment_contam) {
    const double net = soil_gain_with_sediment(*books, c, true);
    mass_line(f, "Sediment eroded(-)/deposited(+)", net);
    b.net(net);
  }
  ratio_line(f, "Soil mass balance error", b.error(1e-16));
  if (ms.constituent.soil_static_conc)
    put(f, "When using static soil concentrations, mass balance errors represent implied additions "
           "to soil top layer \n");
}

// The event's sediment-bound masses, from the constituents' mass ledger:
// the mass on the suspended fines at the event's end, the net mass the
// fines gave the water, the net mass the soil surface gained with the
// sediment (soil_gain_with_sediment) and the mass the fines carried out at
// the outlet.
struct event_attached {
  double final_mass = 0.0, source = 0.0, deposited = 0.0, out = 0.0;
};

event_attached event_attached_of(const model_state& ms, int c) {
  event_attached a;
  const mass_ledger* books = ms.constituent.mass_books.get();
  if (!ms.constituent.sediment_contam || !books || c > books->constituents()) return a;
  auto event = [&](constituent_term t) { return books->event_total(c, row(t)); };
  a.final_mass = books->mass(c, mass_compartment::sediment_bound, ledger_moment::event_end);
  a.source = event(constituent_term::release_from_sediment) - event(constituent_term::sorbed_onto_sediment);
  a.deposited = soil_gain_with_sediment(*books, c, true);
  a.out = event(constituent_term::outlet_on_sediment);
  return a;
}

void print_overland_constituent(const model_state& ms, std::FILE* f, int c) {
  const bool nsm = summary::is_nutrient(ms, c);
  const event_attached attached = event_attached_of(ms, c);
  mass_book b;
  put(f, "Overland Contaminant Transport Summary for %s \n",
      summary::constituent_label(ms, c).c_str());
  put(f, "Amounts are total mass for event in (Kg) \n \n");
  mass_line(f, "Initial Dissolved Mass on Overland", at(ms.constituent.event_ov_mass_init, c));
  mass_line(f, "Final Dissolved Mass on Overland", at(ms.constituent.event_ov_mass_final, c));
  b.gain(at(ms.constituent.event_ov_mass_init, c));
  b.loss(at(ms.constituent.event_ov_mass_final, c));
  if (ms.constituent.sediment_contam) {
    mass_line(f, "Final attached to susp seds", attached.final_mass);
    mass_line(f, "Final total (attached+dissolved)", at(ms.constituent.event_ov_mass_final, c) + attached.final_mass);
  }
  // Without a soil column, mass left by drying cells stays on the land.
  if (!ms.constituent.soil_con_trans) {
    mass_line(f, "Initial undissolved mass", at(ms.constituent.event_ov_land_mass, c));
    mass_line(f, "Final undissolved mass", at(ms.constituent.event_ov_land_mass_final, c));
    b.gain(at(ms.constituent.event_ov_land_mass, c));
    b.loss(at(ms.constituent.event_ov_land_mass_final, c));
    // The land also gave the fines what they lifted and took back what
    // settled; that mass reached the water only through the fines' own
    // line (the sediment source), so it has no line here.
    b.net(attached.deposited);
  }
  mass_line(f, "Point source mass gain", at(ms.constituent.event_ov_point_mass, c));
  b.gain(at(ms.constituent.event_ov_point_mass, c));
  if (ms.groundwater.water_table_given) {
    mass_line(f, "Exfiltration gain", at(ms.constituent.event_ov_exfil_mass, c));
    b.gain(at(ms.constituent.event_ov_exfil_mass, c));
  }
  mass_line(f, "Precipitation gain", at(ms.constituent.event_ov_precip_mass, c));
  b.gain(at(ms.constituent.event_ov_precip_mass, c));
  if (uses_contaminant_table(ms, c)) {
    mass_line(f, "Uptake from soil", at(ms.constituent.event_ov_uptake_mass, c));
    // Without a soil column the land surface's masses above already hold
    // the exchange.
    if (ms.constituent.soil_con_trans) b.net(at(ms.constituent.event_ov_uptake_mass, c));
  }
  if (nsm && ms.constituent.soil_con_trans) {
    mass_line(f, "Uptake from soil (NSM)", at(ms.constituent.event_ov_uptake_mass, c));
    b.net(at(ms.constituent.event_ov_uptake_mass, c));
  }
  if (nsm) {
    ratio_line(f, "Gained from NSM kinetics", at(ms.constituent.event_ov_nsm_in_mass, c));
    b.gain(at(ms.constituent.event_ov_nsm_in_mass, c));
  }
  mass_line(f, "Infiltration", at(ms.constituent.event_ov_infil_mass, c));
  b.loss(at(ms.constituent.event_ov_infil_mass, c));
  if (ms.channel.chan_explic) {
    mass_line(f, "Lateral flow to streams", at(ms.constituent.event_ov_qlat_mass, c));
    b.loss(at(ms.constituent.event_ov_qlat_mass, c));
  } else {
    mass_line(f, "Outlet flux", at(ms.constituent.event_ov_mass_out, c));
    b.loss(at(ms.constituent.event_ov_mass_out, c));
  }
  if (ms.overland.ov_boundary) {
    mass_line(f, "Boundary outflow", at(ms.constituent.event_ov_boundary_mass, c));
    b.loss(at(ms.constituent.event_ov_boundary_mass, c));
  }
  if (is_contaminant(ms, c)) {
    mass_line(f, "Decay loss", at(ms.constituent.event_ov_decay_mass, c));
    b.loss(at(ms.constituent.event_ov_decay_mass, c));
  }
  if (nsm) {
    ratio_line(f, "Loss to NSM kinetics", at(ms.constituent.event_ov_nsm_out_mass, c));
    b.loss(at(ms.constituent.event_ov_nsm_out_mass, c));
  }
  if (ms.lake.chan_lakes) {
    mass_line(f, "Flux to lake", at(ms.constituent.event_ov_lake_mass, c));
    b.loss(at(ms.constituent.event_ov_lake_mass, c));
  }
  if (ms.pipe.storm_sewer_given) {
    mass_line(f, "Dissolved entering the pipes", at(ms.constituent.event_ov_pipe_mass, c));
    b.loss(at(ms.constituent.event_ov_pipe_mass, c));
  }
  // Negative masses cut to zero are mass the scheme created.
  mass_line(f, "Negative mass", at(ms.constituent.event_ov_neg_mass, c));
  b.gain(at(ms.constituent.event_ov_neg_mass, c));
  if (ms.constituent.sediment_contam) {
    mass_line(f, "Sediment source", attached.source);
    b.net(attached.source);
    if (ms.channel.chan_explic) mass_line(f, "Attached entering channels", at(ms.constituent.chan_sed_lat_in_event, c));
    mass_line(f, "Attached exiting outlet", attached.out);
    if (ms.lake.chan_lakes) mass_line(f, "Attached entering lakes", at(ms.constituent.event_sed_attached_to_lake, c));
  }
  ratio_line(f, "Dissolved mass balance error", b.percent());
}

void print_channel_constituent(const model_state& ms, std::FILE* f, int c) {
  const bool nsm = summary::is_nutrient(ms, c);
  mass_book b;
  put(f, "Channel Contaminant Transport Summary for %s \n", summary::constituent_label(ms, c).c_str());
  put(f, "Amounts are total for event in (Kg) \n \n");
  put(f, "Dissolved State Mass Balance... \n \n");
  mass_line(f, "Initial Dissolved Mass in Channels", at(ms.constituent.chan_mass_init_event, c));
  mass_line(f, "Final Dissolved Mass in Channels", at(ms.constituent.chan_mass_final_event, c), 1);
  mass_line(f, "Mass gain from overland", at(ms.constituent.event_ov_qlat_mass, c));
  mass_line(f, "Point source mass gain", at(ms.constituent.chan_point_mass_event, c), nsm ? 0 : 1);
  b.gain(at(ms.constituent.chan_mass_init_event, c));
  b.loss(at(ms.constituent.chan_mass_final_event, c));
  b.gain(at(ms.constituent.event_ov_qlat_mass, c));
  b.net(at(ms.constituent.chan_point_mass_event, c));  // net of what the sinks drew
  if (nsm) {
    ratio_line(f, "Mass gained in NSM kinetics", at(ms.constituent.chan_nsm_gain_event, c), 1);
    b.gain(at(ms.constituent.chan_nsm_gain_event, c));
  }
  if (ms.lake.chan_lakes) {
    mass_line(f, "Flow from lake to channel", at(ms.constituent.chan_lake_in_mass_event, c));
    mass_line(f, "Exchange with lakes (-)", at(ms.constituent.chan_lake_exch_mass_event, c));
    b.gain(at(ms.constituent.chan_lake_in_mass_event, c));
    b.net(at(ms.constituent.chan_lake_exch_mass_event, c));
  }
  mass_line(f, "Groundwater net mass gain(+)/loss(-)", at(ms.constituent.chan_gw_mass_event, c));
  b.net(at(ms.constituent.chan_gw_mass_event, c));
  // The event exchange is kept on the attached side: what the sediment
  // gains, the dissolved state loses.
  if (ms.constituent.sediment_contam) {
    mass_line(f, "Exhange with sediments", -at(ms.constituent.chan_sed_exch_event, c));
    b.net(-at(ms.constituent.chan_sed_exch_event, c));
  }
  if (ms.lake.chan_lakes) {
    mass_line(f, "Flows to lake", at(ms.constituent.chan_lake_out_mass_event, c));
    b.loss(at(ms.constituent.chan_lake_out_mass_event, c));
  }
  mass_line(f, "Outlet mass flux", at(ms.constituent.chan_mass_out_event, c));
  b.loss(at(ms.constituent.chan_mass_out_event, c));
  if (is_contaminant(ms, c)) {
    mass_line(f, "Mass decay loss", at(ms.constituent.chan_decay_mass_event, c));
    b.loss(at(ms.constituent.chan_decay_mass_event, c));
  }
  if (nsm) {
    ratio_line(f, "Mass lost in NSM kinetics", at(ms.constituent.chan_nsm_loss_event, c));
    b.loss(at(ms.constituent.chan_nsm_loss_event, c));
  }
  ratio_line(f, "Contam mass balance error", b.error(1e-16));
  if (!ms.constituent.sediment_contam) return;
  // The channels' attached mass: initial + lateral + from the lakes +
  // taken from the water = out of the outlet + into the lakes + drawn by
  // the point sinks + final.
  const summary::attached_books a = summary::attached_books_of(ms, c, true);
  mass_book s;
  put(f, "Contaminants Attached to Sediment Mass Balance...\n \n");
  mass_line(f, "Lateral flow into channels", at(ms.constituent.chan_sed_lat_in_event, c));
  mass_line(f, "Exiting watershed", at(ms.constituent.chan_sed_out_event, c));
  mass_line(f, "Exchange with dissolved", at(ms.constituent.chan_sed_exch_event, c));
  mass_line(f, "Attached to suspended sed", at(ms.constituent.chan_sed_susp_event, c));
  s.net(at(ms.constituent.chan_sed_lat_in_event, c));  // net of what spilling water took back
  s.loss(at(ms.constituent.chan_sed_out_event, c));
  s.net(at(ms.constituent.chan_sed_exch_event, c));
  s.loss(at(ms.constituent.chan_sed_susp_event, c));
  if (ms.lake.chan_lakes) {
    mass_line(f, "Attached entering lakes", at(ms.constituent.chan_sed_to_lake_event, c));
    s.loss(at(ms.constituent.chan_sed_to_lake_event, c));
  }
  mass_line(f, "Total (dissolved+attached)",
            at(ms.constituent.chan_mass_final_event, c) + at(ms.constituent.chan_sed_susp_event, c));
  mass_line(f, "Initial attached in channels", a.chan_initial);
  s.gain(a.chan_initial);
  if (ms.lake.chan_lakes) {
    mass_line(f, "Attached leaving lakes", a.from_lakes);
    s.gain(a.from_lakes);
  }
  if (summary::channel_point_sources(ms)) {
    mass_line(f, "Attached drawn by point sinks", a.chan_drawn);
    s.loss(a.chan_drawn);
  }
  ratio_line(f, "Attached mass balance error", s.error(1e-16));
}

void print_lake_constituent(const model_state& ms, std::FILE* f, int c) {
  mass_book b;
  put(f, "Lake Contaminant Transport Summary for %s \n", summary::constituent_label(ms, c).c_str());
  put(f, "Amounts are total mass for event (Kg) \n \n");
  put(f, "Dissolved State Mass Balance...\n");
  mass_line(f, "Initial Dissolved in Lakes", at(ms.constituent.lake_mass_init_event, c));
  mass_line(f, "Final Dissolved in Lakes", at(ms.constituent.lake_mass_final_event, c));
  mass_line(f, "Precip", at(ms.constituent.lake_precip_mass_event, c));
  mass_line(f, "Inflow", at(ms.constituent.lake_inflow_mass_event, c));
  mass_line(f, "Lake/chan exchange", at(ms.constituent.lake_chan_exch_event, c));
  mass_line(f, "Overland flux", at(ms.constituent.lake_ov_mass_event, c));
  mass_line(f, "Point source", at(ms.constituent.lake_point_mass_event, c));
  mass_line(f, "Groundwater flux", at(ms.constituent.lake_gw_mass_event, c), 1);
  mass_line(f, "Outflow", at(ms.constituent.lake_outflow_mass_event, c));
  mass_line(f, "Dissolved decay loss", at(ms.constituent.lake_decay_mass_event, c));
  if (ms.constituent.ov_con_trans && ms.overland.ov_boundary) {
    mass_line(f, "Boundary outflow", at(ms.constituent.event_lake_boundary_mass, c));
    b.loss(at(ms.constituent.event_lake_boundary_mass, c));
  }
  b.gain(at(ms.constituent.lake_mass_init_event, c));
  b.loss(at(ms.constituent.lake_mass_final_event, c));
  b.gain(at(ms.constituent.lake_precip_mass_event, c));
  b.gain(at(ms.constituent.lake_inflow_mass_event, c));
  b.net(at(ms.constituent.lake_chan_exch_event, c));
  b.gain(at(ms.constituent.lake_ov_mass_event, c));
  b.net(at(ms.constituent.lake_point_mass_event, c));
  b.net(at(ms.constituent.lake_gw_mass_event, c));
  b.loss(at(ms.constituent.lake_outflow_mass_event, c));
  b.loss(at(ms.constituent.lake_decay_mass_event, c));
  if (ms.constituent.sediment_contam) {
    mass_line(f, "Exchange with attached", -at(ms.constituent.lake_sed_exch_event, c));
    b.net(-at(ms.constituent.lake_sed_exch_event, c));
  }
  ratio_line(f, "Dissolved mass balance error", b.error(1e-16));
  if (ms.constituent.sediment_contam) {
    // The lakes' attached mass: initial + from their cells (net) + from
    // the channels + taken from the water = let out into the channels +
    // drawn by the point sinks + final (suspended and settled).
    const summary::attached_books a = summary::attached_books_of(ms, c, true);
    mass_book s;
    mass_line(f, "Overland inflow", at(ms.constituent.lake_sed_ov_in_event, c));
    mass_line(f, "Channel inflow", at(ms.constituent.lake_sed_chan_in_event, c));
    mass_line(f, "Exchange with dissolved", at(ms.constituent.lake_sed_exch_event, c));
    s.net(at(ms.constituent.lake_sed_ov_in_event, c));
    s.gain(at(ms.constituent.lake_sed_chan_in_event, c));
    s.net(at(ms.constituent.lake_sed_exch_event, c));
    mass_line(f, "Attached leaving lakes", a.from_lakes);
    s.loss(a.from_lakes);
    if (summary::channel_point_sources(ms)) {
      mass_line(f, "Attached drawn by point sinks", a.lake_drawn);
      s.loss(a.lake_drawn);
    }
    mass_line(f, "Initial attached in lakes", a.lake_initial);
    mass_line(f, "Final attached, suspended", a.lake_suspended);
    mass_line(f, "Final attached, on lake beds", a.lake_bed);
    s.gain(a.lake_initial);
    s.loss(a.lake_suspended);
    s.loss(a.lake_bed);
    ratio_line(f, "Attached mass balance error", s.error(1e-16));
  }
  for (int lake = 1; lake <= ms.lake.num_lakes; ++lake) {
    const double mass = at(ms.constituent.lake_mass, c, lake) / 1000.0;
    const double conc = at(ms.constituent.lake_conc, c, lake);
    put(f, "Final Mass in lake %ld =        %14.2lf \n", static_cast<long>(lake), mass);
    put(f, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", static_cast<long>(lake), conc);
  }
}

void print_constituents(const model_state& ms, std::FILE* f) {
  for (int c = 1; c <= ms.constituent.num_constituents; ++c) {
    if (ms.constituent.soil_con_trans) print_soil_constituent(ms, f, c);
    if (ms.constituent.ov_con_trans) print_overland_constituent(ms, f, c);
    if (ms.constituent.chan_con_trans) print_channel_constituent(ms, f, c);
    if (ms.constituent.chan_con_trans && ms.lake.chan_lakes) print_lake_constituent(ms, f, c);
  }
}

// ------------------------------------------------------------- sediments

void print_channel_sediments(const model_state& ms, std::FILE* f) {
  put(f, "Channel sediment routing mass quantities\n");
  put(f, "Quanties are this Event \n");
  for (int k = 1; k <= ms.constituent.n_sed_classes; ++k) {
    put(f, "Total sediment %d transported into channels this event: %10.2lf m3\n", k,
        at(ms.constituent.event_sed_to_chan, k));
  }
  put(f, "\n");
  summary::write_channel_sediments(ms, f, true);
  if (!ms.lake.chan_lakes) {
    put(f, "\n");
    return;
  }
  put(f, "\n");
  summary::write_lake_sediments(ms, f, true);
  put(f, "\n");
}

// ------------------------------------------------------------- closing lists

void print_warnings(const model_state& ms, std::FILE* f) {
  const bool mass_error = !ms.ledger.event().no_water && std::fabs(ms.ledger.event().error) * 100.0 > 2.0;
  const bool depth_exceeded = ms.channel.xsec_table_exceeded != 0;
  // The event's own water still on the surface: what the surface gained
  // over the event (a lake or a wet start holds water that is not).
  const double rain = ms.ledger.event_total(water_flux::rainfall_to_overland);
  const double left = ms.ledger.storage(water_store::surface, ledger_moment::event_end) -
                      ms.ledger.storage(water_store::surface, ledger_moment::event_start);
  const bool water_left = left > 0.05 * rain;
  const int above_banks = ms.channel.above_bank_nodes;
  const std::vector<std::string>& cards = ms.project.project_options.card_warnings;
  const bool any = mass_error || depth_exceeded || water_left || above_banks || !cards.empty();
  if (any) put(f, "THE FOLLOWING WARNINGS ARE GIVEN:\n");
  // The cards of the project file that change nothing in this run, and
  // the events a storm run leaves out.
  for (const std::string& text : cards) {
    const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    put(f, "-%c%s\n", first, text.c_str() + 1);
  }
  if (mass_error) {
    put(f, "-Mass conservation error (absolute) is larger than typical values (<2 percent).\n");
    put(f, " This indicates a problem with your data set, or that you are using the model\n");
    put(f, " to simulate an extreme event which violates one or more assumptions made\n");
    put(f, " in the development of NIVRA.  You should first check for errors in the\n");
    put(f, " channel inputs, including cross-sectional data.  A decrease in the model\n");
    put(f, " time step may also help alleviate this problem.\n\n");
  }
  if (water_left) {
    put(f, "-The surface held %.1lf m3 more at the end of the event than at its start, over\n", left);
    put(f, " 5 percent of the event's rain to the overland (%.1lf m3): its runoff was still\n", rain);
    put(f, " under way when the event ended.  A longer run carries it to the outlet.\n");
  }
  if (depth_exceeded) {
    put(f, "-Depths exceeded the range of look-up table X-section data.\n");
    put(f, " This is usually a source of error, particularly near hydrograph peaks.\n");
  }
  if (above_banks) {
    put(f, "-Water rose above the banks of %d channel node(s) that cannot spill onto the grid\n", above_banks);
    put(f, " (no OVERBANK_FLOW card); it stood in the channel above the banks.  The warnings\n");
    put(f, " above name each node.\n");
  }
  if (!any) put(f, "No Warnings.\n");
}

void print_inputs_and_processes(const model_state& ms, std::FILE* f) {
  put(f, "\n THE FOLLOWING INPUTS WERE READ:\n");
  put(f, "A project file was used.\n");
  if (ms.output.float_grass_maps) put(f, "Floating point GRASS maps were read.\n");
  if (ms.output.in_hyd_location_given) put(f, "Locations where discharge hydrographs are to be written.\n");
  if (ms.output.in_gwflux_location_given) put(f, "Locations where stream/groundwater fluxes are to be written.\n");
  if (ms.output.in_celldepdis_location_given) put(f, "Cells where depth and discharge are to be written.\n");

  const bool infiltration = ms.soil.green_ampt || ms.soil.inf_redist || ms.soil.inf_layered_soil || ms.soil.inf_richards;
  struct process_line {
    bool on;
    const char* text;
  } processes[] = {
      {ms.channel.chan_explic != 0, "Explicit diffusive-wave channel routing.\n"},
      {ms.channel.chan_drain != 0, "This was a channel initialation run using the DRAIN method.\n"},
      {ms.channel.chan_drain_routing && !ms.channel.chan_drain,
       "This was a channel initialzation run using thep backwater method.\n"},
      {ms.channel.apfa_xsec != 0, "APFA cross sections were simulated.\n"},
      {ms.channel.trap_preiss_xsec != 0, "Trapezoidal cross-sections with Preissmann slots were simulated.\n"},
      {ms.channel.table_preiss_xsec != 0,
       "Look-up table cross-sections with Preissmann slots were simulated.\n"},
      {ms.channel.xsec_tables_read != 0, "Look-up table data were read.\n"},
      {ms.hydromet.interception_coeff_given != 0, "Interception losses.\n"},
      {ms.overland.roughness_given != 0, "Distributed overland roughness.\n"},
      {ms.overland.manning_n_given && !ms.overland.roughness_given, "Uniform overland roughness.\n"},
      {ms.soil.moisture_given != 0, "Distributed initial soil moisture.\n"},
      {infiltration && !ms.soil.moisture_given, "Uniform initial soil moisture.\n"},
      {ms.lake.chan_lakes || ms.lake.overland_lake_map_given, "Lakes were simulated.\n"},
      {ms.overland.reten_depth_given != 0, "Spatially varied retention.\n"},
      {ms.overland.retention_given && !ms.overland.reten_depth_given, "Uniform retention depth.\n"},
      {ms.soil.inf_redist != 0, "Infiltration with redistribution.\n"},
      {ms.soil.green_ampt != 0, "Green & Ampt infiltration.\n"},
      {ms.soil.inf_richards != 0, "Infiltration by Richards Eq.\n"},
      {ms.soil.inf_layered_soil != 0, "G&A Infiltration through layered soils.\n"},
      {ms.constituent.soil_erosion_on != 0, "Overland soil erosion.\n"},
      {ms.constituent.chan_sed_on != 0, "Sediment transport in channels using Yang's eqn. for sand.\n"},
      {ms.groundwater.sacramento_given != 0, "Base flow using the Sacramento Soil Moisture Accounting Model.\n"},
  };
  put(f, "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n");
  for (const process_line& p : processes)
    if (p.on) put(f, "%s", p.text);
}

// The maps the run has written so far, with their interval: those its
// writers wrote, whatever else the cards switch on.
void print_maps(const model_state& ms, std::FILE* f) {
  const int written = ms.output.maps_written;
  if (!written) return;
  put(f, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n", ms.clock.map_write_steps);
  if (ms.output.no_map_output) put(f, "ASCII grid (Arc/Info) output maps were written, one file per map time.\n");
  if (ms.output.dataset_output) put(f, "ASCII PAV maps of:\n");
  if (ms.output.binary_dataset) put(f, "BINARY PAV maps of:\n");
  struct map_line {
    int kind;
    const char* text;
  } maps[] = {
      {written_map::depth, "     overland flow depth.\n"},
      {written_map::discharge, "     discharge.\n"},
      {written_map::rainfall, "     distributed rainfall rate.\n"},
      {written_map::infiltration_depth, "     distributed infiltration depth.\n"},
      {written_map::infiltration_rate, "     distributed infiltration rate.\n"},
      {written_map::surface_moisture, "     distributed surface moisture.\n"},
      {written_map::snow_water_equivalent, "     snow water equivalent.\n"},
      {written_map::groundwater_head, "     groundwater head.\n"},
      {written_map::recharge_cumulative, "     groundwater recharge cumulative.\n"},
      {written_map::recharge_incremental, "     groundwater recharge incremental.\n"},
      {written_map::contaminant, "     overland contaminant concentration.\n"},
      {written_map::net_sediment, "     net volume of erosion/deposition.\n"},
      {written_map::suspended_sediment, "     suspended sediment volume.\n"},
      {written_map::sediment_flux, "     sediment flux.\n"},
  };
  for (const map_line& m : maps)
    if (written & m.kind) put(f, "%s", m.text);
}

void print_outputs(const model_state& ms, std::FILE* f) {
  print_maps(ms, f);
  put(f, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n",
      ms.clock.hyd_write_steps);
  put(f, "     hydrograph at the catchment outlet.\n");
  if (ms.output.in_hyd_location_given) put(f, "     hydrographs at selected locations.\n");
  if (ms.constituent.soil_erosion_on) put(f, "     sediment outflow at the catchment outlet.\n");
  if (ms.constituent.chan_sed_on && ms.constituent.in_sed_loc) put(f, "     sediment hydrographs at selected locations.\n");
  if (ms.pipe.storm_sewer_given && ms.output.superlink_junc_flow_given)
    put(f, "Flows to/from selected superjunctions.\n");
  if (ms.pipe.storm_sewer_given && ms.output.superlink_node_flow_given)
    put(f, "Flows to/from selected superlink nodes.\n");
  if (ms.output.in_gwflux_location_given) put(f, "Stream/groundwater exchange fluxes.\n");
  if (ms.channel.chan_explic && ms.output.chan_depth_given) put(f, "     channel depth at every node (link/node file).\n");
  if (ms.channel.chan_explic && ms.output.chan_discharge_given)
    put(f, "     channel discharge at every node (link/node file).\n");
  if (ms.channel.chan_explic && ms.constituent.chan_sed_on && ms.output.chan_sed_flux_given)
    put(f, "     channel sediment flux at every node (link/node file).\n");
}

}  // namespace

void write_summary_line(std::FILE* f, const char* label, double value, int width,
                        const char* format, char fill, int point_column, int extra) {
  if (!f) return;
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  const char* point = std::strchr(text, '.');
  const int p = point ? static_cast<int>(point - text) : static_cast<int>(std::strlen(text));
  const int label_length = static_cast<int>(std::strlen(label));
  std::fprintf(f, "%s ", label);
  if (label_length < width - 1)
    for (int k = label_length + 1; k < width; ++k) std::fputc(fill, f);
  const int blanks = (point_column - p > 0 ? point_column - p : 0) + 1;
  for (int k = 0; k < blanks; ++k) std::fputc(' ', f);
  std::fputs(text, f);
  for (int k = 0; k <= extra; ++k) std::fputc('\n', f);
}

void write_event_summary(model_state& ms) {
  std::FILE* f = ms.output.summary_file.fp;
  if (!f) return;
  print_heading(ms, f);
  print_rain_and_timing(ms, f);
  print_volumes(ms, f);
  print_error(ms, f);
  print_soil_water(ms, f);
  print_constituents(ms, f);
  if (ms.constituent.soil_erosion_on && ms.constituent.sed_transport_mode == 1) {
    put(f, "Overland Sediment Summary\n");
    put(f, "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT "
           "EVENT \n");
    put(f, "Quantities for amount of sediment to superlink is for the single event\n");
    write_overland_sediment_classes(ms, f, true);
    if (ms.pipe.storm_sewer_given) {
      put(f, "\n");
      put(f, "Total water carrying sediments to superlinks (event) %16.8lf m3\n", ms.constituent.sl_sed_water_event);
    }
  }
  if (ms.constituent.chan_sed_on) print_channel_sediments(ms, f);
  print_warnings(ms, f);
  print_inputs_and_processes(ms, f);
  print_outputs(ms, f);
}

}  // namespace nivra
