#include "output/end_of_run.h"
#include "output/nsm_output.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "channel/channel_hotstart.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/state_file.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_hotstart.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/dataset_out.h"
#include "output/grid_writers.h"
#include "output/hotstart_coverage.h"
#include "output/linknode.h"
#include "output/output_state.h"
#include "output/pav_file.h"
#include "output/summary_common.h"
#include "quality/constituent_state.h"
#include "quality/ov_sed_record.h"
#include "soil/soil_hotstart.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_hotstart.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// A map that the next run starts from could not be written: say which,
// and stop the remaining end-of-run outputs.
bool stop_with(const char* format, const char* name) {
  std::printf(format, name);
  set_error(own_message_code);
  report_error();
  return false;
}

void write_optimisation_line(model_state& ms) {
  std::FILE* f = ms.output.opt_output_file.fp;
  if (!f) return;
  double value = ms.output.optimize_sed ? ms.constituent.chan_sed_run.wash_out
                                        : ms.ledger.run_total(water_flux::outlet_discharge);
  // The calibration drivers compare against 35.32 cubic feet per cubic metre.
  if (!ms.output.optimize_sed && ms.output.qout_cfs) value *= 35.32;
  std::fprintf(f, "%d %13lf\n", ms.clock.event_index + 1, value);
  std::fflush(f);
  close_guarded_file(ms.output.opt_output_file);
}

void write_flood_grid(model_state& ms) {
  if (ms.output.no_map_output) {
    close_guarded_file(ms.output.flood_grid_file);
    if (!open_guarded_file(ms.output.flood_grid_file, ms.project.flood_grid.view(), "w") &&
        !open_guarded_file(ms.output.flood_grid_file, "maxdep_failsafe.asc", "w"))
      return;
    write_ascii_grid(ms.output.flood_grid_file, ms.grid.mask, ms.grid.north, ms.grid.south, ms.grid.east, ms.grid.west,
                     ms.grid.proj_rows, ms.grid.proj_cols, ms.overland.flood_depth_max.data(), ms.grid.grid_size);
    close_guarded_file(ms.output.flood_grid_file);
    return;
  }
  if (!ms.output.flood_grid_file.is_open()) return;
  write_ts_single(ms.output.flood_grid_file, ms.clock.elapsed_min, ms.grid.rows, ms.grid.cols, ms.grid.mask,
                  ms.overland.flood_depth_max.data(), ms.output.binary_dataset);
  // The end card follows the file's own format, so a binary file stays readable.
  write_dataset_end(ms.output.flood_grid_file, ms.output.binary_dataset != 0);
}

void write_flood_stream(channel_state& channel, const lake_state& lakes) {
  if (!channel.flood_stream_file.is_open() || channel.yp_max_flood.empty()) return;
  write_linknode_step(channel.flood_stream_file, channel.num_stream_links, channel.nx1.data(), channel.og_nx1.data(),
                      channel.ltype.data(), 0, channel.yp_max_flood, nullptr, lnk_value, lakes.lake2link.data(),
                      lake_values_of(lakes.lake_elev));
}

void write_dataset_end_cards(output_state& output, constituent_state& cs) {
  guarded_file* series[] = {
      &output.depth_map_file,      &output.discharge_map_file,       &output.gw_head_map_file,
      &output.dis_rain_map_file,   &output.gw_recharge_cum_map_file, &output.gw_recharge_inc_map_file,
      &output.inf_depth_map_file,  &output.rate_of_infil_map_file,   &output.surf_moist_map_file,
      &cs.net_sed_volume_file,     &cs.max_sed_flux_file,            &cs.vol_sed_susp_file,
      &output.ov_con_map_file,     &output.snow_swe_map_file,
  };
  for (guarded_file* f : series)
    if (f->is_open()) write_dataset_end(*f, output.binary_dataset != 0);
}

void write_channel_state(const channel_state& channel, const lake_state& lakes) {
  for (int link = 1; link <= channel.num_stream_links; ++link) {
    const int t = channel.ltype[link];
    if (lakes.chan_lakes ? !summary::is_storage_link(t) : (t & link_single_value) != 0) continue;
    for (int node = 1; node <= channel.nx[link]; ++node) {
      summary::put(channel.chan_depth_file.fp, "%d %d %.17g \n", node, link, channel.yp(node, link));
      summary::put(channel.chan_discharge_file.fp, "%d %d %.17g\n", node, link, channel.qp(node, link));
    }
  }
}

// The companion of the channel hot-start: the lakes, the nodes they hold
// and the sediment (channel/channel_hotstart.h).
bool write_channel_companion(model_state& ms) {
  guarded_file out;
  const std::string name = companion_name(ms.project.chan_hotstart_write_file);
  if (!open_guarded_file(out, name, "w"))
    return stop_with("Error: the channel hot-start state %s cannot be opened for writing.\n", name.c_str());
  const constituent_state& k = ms.constituent;
  const bool sediment = k.chan_sed_on && k.chan_sed.ready;
  channel_outlet outlet{ms.overland.qout};
  if (sediment) outlet = {ms.overland.qout, &k.chan_fine_out, &k.chan_sand_out};
  write_channel_state_file(out.fp, ms.channel, ms.lake, ms.grid, sediment ? &k.chan_sed : nullptr, outlet);
  close_guarded_file(out);
  return true;
}

void write_channel_hotstart(const channel_state& channel) {
  std::FILE* f = channel.chan_hotstart_out_file.fp;
  for (int link = 1; link <= channel.num_stream_links; ++link)
    for (int node = 1; node <= channel.nx[link]; ++node)
      std::fprintf(f, "%4d %4d %8.3f %8.3f\n", node, link, channel.yp(node, link) - channel.bel(node, link),
                   channel.qp(node, link));
}

// The water table at the end of the run, the map a next run starts from
// (WATER_TABLE), named after the project file.
bool write_gw_hotstart(model_state& ms) {
  groundwater_state& gw = ms.groundwater;
  const grid_state& grid = ms.grid;
  gw.gw_hotstart_out_file_name = ms.project.gw_hotstart_write;
  if (!open_guarded_file(gw.gw_hotstart_out_file, gw.gw_hotstart_out_file_name.view(), "w"))
    return stop_with("Can't open gw hot start map for writing out hotstart info: %s\n",
                     gw.gw_hotstart_out_file_name.c_str());
  write_grass_grid(gw.gw_hotstart_out_file, grid.mask, grid.north, grid.south, grid.east, grid.west, grid.rows,
                   grid.cols, gw.elevgw.data(), hotstart_decimals);
  close_guarded_file(gw.gw_hotstart_out_file);
  guarded_file state;
  const std::string name = companion_name(gw.gw_hotstart_out_file_name);
  if (!open_guarded_file(state, name, "w"))
    return stop_with("Error: the groundwater hot-start state %s cannot be opened for writing.\n", name.c_str());
  write_groundwater_state_file(state.fp, ms);
  close_guarded_file(state);
  return true;
}

bool write_adjusted_elevations(constituent_state& cs, const grid_state& grid) {
  if (!open_guarded_file(cs.adjust_elev_file, cs.adjust_elev_file_name.view(), "w"))
    return stop_with("Can't open adjusted elevation map for writing: %s\n", cs.adjust_elev_file_name.c_str());
  write_grass_grid(cs.adjust_elev_file, grid.mask, grid.north, grid.south, grid.east, grid.west, grid.rows,
                   grid.cols, grid.elevation.data());
  close_guarded_file(cs.adjust_elev_file);
  return true;
}

bool write_sat_source_map(model_state& ms) {
  const char* name = ms.project.sat_source_write.c_str();
  if (!open_guarded_file(ms.output.sat_source_map_file, name, "w"))
    return stop_with("Can't open map for writing out sat. source info: %s\n", name);
  std::FILE* f = ms.output.sat_source_map_file.fp;
  std::fprintf(f, "north: %9.2lf\n", ms.grid.north);
  std::fprintf(f, "south: %9.2lf\n", ms.grid.south);
  std::fprintf(f, "east: %9.2lf\n", ms.grid.east);
  std::fprintf(f, "west: %9.2lf\n", ms.grid.west);
  std::fprintf(f, "rows: %5d\n", ms.grid.proj_rows);
  std::fprintf(f, "cols: %5d\n", ms.grid.proj_cols);
  int cell = 0;
  for (int r = 1; r <= ms.grid.proj_rows; ++r) {
    for (int c = 1; c <= ms.grid.proj_cols; ++c) {
      const bool inside = r <= ms.grid.mask.rows() && c <= ms.grid.mask.cols() && ms.grid.mask(r, c) > 0;
      if (inside && ++cell <= ms.groundwater.yes_exfil.size())
        std::fprintf(f, "%d ", ms.groundwater.yes_exfil[cell]);
      else
        std::fprintf(f, "0 ");
    }
    std::fprintf(f, "\n");
  }
  close_guarded_file(ms.output.sat_source_map_file);
  return true;
}

// Closes a file written during the run so that it can be read back, and
// gives the path it was written under (the run prefix included).
std::string finish_written_file(guarded_file& f, std::string_view card_name) {
  if (!f.is_open()) return std::string(card_name);
  std::string path = f.name.str();
  std::fflush(f.fp);
  close_guarded_file(f);
  return path;
}

void write_pav_output(model_state& ms) {
  const std::string outlet_path = finish_written_file(ms.output.outlet_hydro_file, ms.project.outlet_hydro.view());
  bool readable = open_guarded_file(ms.output.outlet_hydro_file, outlet_path, "r");
  if (ms.output.in_hyd_location_given) {
    const std::string location_path =
        finish_written_file(ms.output.out_hyd_location_file, ms.project.out_hyd_location.view());
    readable = open_guarded_file(ms.output.out_hyd_location_file, location_path, "r") && readable;
  }
  guarded_file pav;
  if (readable && open_guarded_file(pav, ms.project.pav_hydro.view(), "w"))
    write_pav_hydrograph_file(ms.output.outlet_hydro_file, pav, ms.output.out_hyd_location_file,
                              ms.project.pav_hydro.c_str(), ms.clock.date_stamp_ymd, ms.clock.date_stamp_hhmm,
                              ms.clock.hyd_write_steps, ms.output.hydro_line_count);
  else
    std::printf("\n\nError: Unable to open files to write the PAV hydrograph file.\n Write aborted.\n");
  close_guarded_file(ms.output.outlet_hydro_file);
  close_guarded_file(ms.output.out_hyd_location_file);
}

// The overland and soil hot-starts: the maps and their companions. A file
// that cannot be written stops the run with an error: the next run would
// start from nothing, or from an older file.
bool write_hotstart_maps(model_state& ms) {
  if (ms.overland.write_ov_hotstart_given) {
    if (!open_guarded_file(ms.overland.write_ov_hotstart_file, ms.project.write_ov_hotstart.view(), "w"))
      return stop_with("Error: the overland hot-start %s cannot be opened for writing.\n",
                       ms.project.write_ov_hotstart.c_str());
    write_grass_grid(ms.overland.write_ov_hotstart_file, ms.grid.mask, ms.grid.north, ms.grid.south, ms.grid.east,
                     ms.grid.west, ms.grid.rows, ms.grid.cols, ms.overland.ov_depth.data(), hotstart_decimals);
    close_guarded_file(ms.overland.write_ov_hotstart_file);
    guarded_file state;
    if (!open_guarded_file(state, companion_name(ms.project.write_ov_hotstart), "w"))
      return stop_with("Error: the overland hot-start state %s cannot be opened for writing.\n",
                       companion_name(ms.project.write_ov_hotstart).c_str());
    const ov_sed_record* sed = ms.constituent.soil_erosion_on ? ms.constituent.ov_sed.get() : nullptr;
    ov_sed_handover handover;
    if (sed) {
      const double step = ms.clock.ov_dt > 0.0 ? ms.clock.ov_dt : ms.clock.dt;
      handover.cells = &sed->cells;
      handover.outlet_rate = step > 0.0 ? sed->outlet_last_vol / step : 0.0;
      if (ms.constituent.adjust_elev == 1) handover.ground = ms.grid.elevation.data();
    }
    write_overland_state_file(state.fp, ms.overland, ms.lake, ms.grid, handover,
                              ms.clock.ended_in_event ? ms.clock.model_time : 0.0);
    close_guarded_file(state);
  }
  if (ms.soil.write_sm_hotstart_given) {
    if (!open_guarded_file(ms.soil.write_sm_hotstart_file, ms.project.write_sm_hotstart.view(), "w"))
      return stop_with("Error: the soil hot-start %s cannot be opened for writing.\n",
                       ms.project.write_sm_hotstart.c_str());
    const std::vector<double> surface = surface_moisture_at_end(ms.soil, ms.grid.ncells);
    write_grass_grid(ms.soil.write_sm_hotstart_file, ms.grid.mask, ms.grid.north, ms.grid.south, ms.grid.east,
                     ms.grid.west, ms.grid.rows, ms.grid.cols, surface.data(), hotstart_decimals);
    close_guarded_file(ms.soil.write_sm_hotstart_file);
    guarded_file state;
    if (!open_guarded_file(state, companion_name(ms.project.write_sm_hotstart), "w"))
      return stop_with("Error: the soil hot-start state %s cannot be opened for writing.\n",
                       companion_name(ms.project.write_sm_hotstart).c_str());
    // The fronts go on in the next run when this one ended inside an event.
    const int fronts = ms.clock.ended_in_event ? std::max(ms.clock.inf_event_step, 1) : 0;
    const clock_state& c = ms.clock;
    const hydromet_state& h = ms.hydromet;
    soil_event_clocks clocks;
    clocks.infiltration = clock_to_carry(c.inf_dt, c.inf_last_time, c.inf_next_time, c.model_time);
    if (ms.soil.sm_accounting)
      clocks.accounting = clock_to_carry(c.soilmoist_dt, c.soilmoist_last_time, c.soilmoist_next_time, c.model_time);
    clocks.running = ms.soil.inf_redist ? c.inf_redist_active : 1;
    write_soil_state_file(state.fp, ms.soil, ms.grid.ncells, fronts, c.model_time, clocks,
                          h.et_calls > 0 ? &h.ground_temp_at_hour : nullptr);
    close_guarded_file(state);
  }
  return true;
}

// Lateral sediment of every channel node, one line per class, appended
// run after run.
void write_sediment_bed_output(model_state& ms) {
  guarded_file out;
  if (!open_guarded_file(out, ms.project.fyssi.view(), "a")) {
    std::printf("Can't open sediment output file for appending: %s\n", ms.project.fyssi.c_str());
    return;
  }
  const array2d<double>& q = ms.constituent.chan_sed.lateral_total;
  for (int k = 1; k <= ms.constituent.n_sed_classes; ++k) {
    for (int link = 1; link <= ms.channel.num_stream_links; ++link)
      for (int node = 1; node <= ms.channel.nx[link]; ++node) {
        const int flat = ms.channel.max_nodes_per_link * link + node;
        const double v = (!q.empty() && flat <= q.rows() && k <= q.cols()) ? q(flat, k) : 0.0;
        std::fprintf(out.fp, "%6.2lf ", v);
      }
    std::fprintf(out.fp, "\n");
  }
  std::fprintf(out.fp, "\n----------------------------------------------------------\n");
  close_guarded_file(out);
}

}  // namespace

// The last column of the bed elevation file: what the link is.
constexpr long bed_flag_none = 0, bed_flag_structure = 1, bed_flag_lake = 2;

bool write_bed_elevations(model_state& ms) {
  ms.channel.chan_new_elev_file_name.assign("new_bed_elevations.txt");
  if (!open_guarded_file(ms.channel.chan_new_elev_file, ms.channel.chan_new_elev_file_name.view(), "w")) {
    std::printf("Can't open the file for printing updated bed elevations: %s\n",
                ms.channel.chan_new_elev_file_name.c_str());
    return false;
  }
  std::FILE* f = ms.channel.chan_new_elev_file.fp;
  std::fprintf(f, "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, "
                  "2 - lake \n");
  for (int link = 1; link <= ms.channel.num_stream_links; ++link) {
    const int t = ms.channel.ltype[link];
    const long l = link;
    if (t & link_is_lake) {
      std::fprintf(f, "Link %5ld is a lake %5ld  \n", l, bed_flag_lake);
      continue;
    }
    const long structure = (t & link_single_value) ? bed_flag_structure : bed_flag_none;
    for (int node = 1; node <= ms.channel.og_nx1[link]; ++node) {
      if (ms.constituent.adjust_channel_bed)
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf %ld \n", l, static_cast<long>(node),
                     ms.channel.bel(node, link), ms.channel.org_bel(node, link), structure);
      else
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf  %ld \n", l, static_cast<long>(node),
                     ms.channel.new_bel(node, link), ms.channel.org_bel(node, link), structure);
    }
  }
  close_guarded_file(ms.channel.chan_new_elev_file);
  return true;
}

void write_end_of_run_files(model_state& ms) {
  if (ms.output.optimize_given) write_optimisation_line(ms);
  if (ms.output.flood_grid_given) write_flood_grid(ms);
  if (ms.output.flood_stream_given) write_flood_stream(ms.channel, ms.lake);
  correct_linknode_counts(ms);
  if (!ms.channel.chan_drain && ms.output.dataset_output) write_dataset_end_cards(ms.output, ms.constituent);
  if (ms.constituent.nutrients) write_nutrient_end_cards(ms);
  warn_uncarried_at_writing(ms);
  if (ms.channel.explic_backwater_given || ms.channel.write_chan_hotstart_given) {
    write_channel_state(ms.channel, ms.lake);
    if (!write_channel_companion(ms)) return;
  }
  if ((ms.channel.chan_explic || ms.channel.chan_mesh) && ms.channel.chan_hotstart_out_file.is_open() &&
      ms.channel.num_stream_links >= 1)
    write_channel_hotstart(ms.channel);
  if (ms.groundwater.gw_simulation && !write_gw_hotstart(ms)) return;
  if (ms.constituent.adjust_elev == 1 && !write_adjusted_elevations(ms.constituent, ms.grid)) return;
  if (ms.groundwater.any_exfil == 1 && ms.output.sat_source_map_on && !write_sat_source_map(ms)) return;
  if (ms.output.pav_hydro_given) write_pav_output(ms);
  if (ms.output.zv_discharge_out) close_shared_output_file(ms.output);
  close_guarded_file(ms.overland.read_ov_hotstart_file);
  close_guarded_file(ms.soil.read_sm_hotstart_file);
  if (!write_hotstart_maps(ms)) return;
  if (ms.constituent.soil_erosion_on && ms.constituent.chan_sed_on && ms.constituent.fyssi_given) write_sediment_bed_output(ms);
  if (ms.hydromet.snow_temp_given) write_series_end(ms.output.snow_temp_dataset);
}

}  // namespace nivra
