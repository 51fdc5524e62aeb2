#include "output/end_of_run.h"

#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "model/model_state.h"
#include "output/dataset_out.h"
#include "output/grid_writers.h"
#include "output/linknode.h"
#include "output/pav_file.h"
#include "output/summary_common.h"

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
  std::FILE* f = ms.opt_output_file.fp;
  if (!f) return;
  double value = ms.optimize_sed ? ms.chan_sed_run.wash_out : ms.total_discharge;
  // The calibration drivers compare against 35.32 cubic feet per cubic metre.
  if (!ms.optimize_sed && ms.qout_cfs) value *= 35.32;
  std::fprintf(f, "%d %13lf\n", ms.event_index + 1, value);
  std::fflush(f);
  close_guarded_file(ms.opt_output_file);
}

void write_flood_grid(model_state& ms) {
  if (ms.no_map_output) {
    close_guarded_file(ms.flood_grid_file);
    if (!open_guarded_file(ms.flood_grid_file, ms.flood_grid.view(), "w") &&
        !open_guarded_file(ms.flood_grid_file, "maxdep_failsafe.asc", "w"))
      return;
    write_ascii_grid(ms.flood_grid_file, ms.mask, ms.north, ms.south, ms.east, ms.west,
                     ms.proj_rows, ms.proj_cols, ms.flood_depth_max.data(), ms.grid_size);
    close_guarded_file(ms.flood_grid_file);
    return;
  }
  if (!ms.flood_grid_file.is_open()) return;
  write_ts_single(ms.flood_grid_file, ms.elapsed_min, ms.rows, ms.cols, ms.mask,
                  ms.flood_depth_max.data(), ms.binary_dataset);
  // The end card follows the file's own format, so a binary file stays readable.
  write_dataset_end(ms.flood_grid_file, ms.binary_dataset != 0);
}

void write_flood_stream(model_state& ms) {
  if (!ms.flood_stream_file.is_open() || ms.yp_max_flood.empty()) return;
  write_linknode_step(ms.flood_stream_file, ms.num_stream_links, ms.nx1.data(), ms.og_nx1.data(),
                      ms.ltype.data(), 0, ms.yp_max_flood, nullptr, 0, ms.lake2link.data(),
                      lake_values_of(ms.lake_elev));
}

void write_dataset_end_cards(model_state& ms) {
  guarded_file* series[] = {
      &ms.depth_map_file,           &ms.discharge_map_file,       &ms.gw_head_map_file,
      &ms.dis_rain_map_file,        &ms.gw_recharge_cum_map_file, &ms.gw_recharge_inc_map_file,
      &ms.inf_depth_map_file,       &ms.rate_of_infil_map_file,   &ms.surf_moist_map_file,
      &ms.net_sed_volume_file,      &ms.max_sed_flux_file,        &ms.vol_sed_susp_file,
      &ms.ov_con_map_file,
  };
  for (guarded_file* f : series)
    if (f->is_open()) write_dataset_end(*f, ms.binary_dataset != 0);
}

void write_channel_state(model_state& ms) {
  for (int link = 1; link <= ms.num_stream_links; ++link) {
    const int t = ms.ltype[link];
    if (ms.chan_lakes ? !summary::is_storage_link(t) : (t & 64) != 0) continue;
    for (int node = 1; node <= ms.nx[link]; ++node) {
      summary::put(ms.chan_depth_file.fp, "%d %d %lf \n", node, link, ms.yp(node, link));
      summary::put(ms.chan_discharge_file.fp, "%d %d %lf\n", node, link, ms.qp(node, link));
    }
  }
}

void write_channel_hotstart(model_state& ms) {
  std::FILE* f = ms.chan_hotstart_out_file.fp;
  for (int link = 1; link <= ms.num_stream_links; ++link)
    for (int node = 1; node <= ms.nx[link]; ++node)
      std::fprintf(f, "%4d %4d %8.3f %8.3f\n", node, link, ms.yp(node, link) - ms.bel(node, link),
                   ms.qp(node, link));
}

bool write_gw_hotstart(model_state& ms) {
  ms.gw_hotstart_out_file_name.assign("hotstart_file");
  if (!open_guarded_file(ms.gw_hotstart_out_file, ms.gw_hotstart_out_file_name.view(), "w"))
    return stop_with("Can't open gw hot start map for writing out hotstart info: %s\n",
                     ms.gw_hotstart_out_file_name.c_str());
  write_grass_grid(ms.gw_hotstart_out_file, ms.mask, ms.north, ms.south, ms.east, ms.west,
                   ms.rows, ms.cols, ms.elevgw.data());
  close_guarded_file(ms.gw_hotstart_out_file);
  return true;
}

bool write_adjusted_elevations(model_state& ms) {
  if (!open_guarded_file(ms.adjust_elev_file, ms.adjust_elev_file_name.view(), "w"))
    return stop_with("Can't open adjusted elevation map for writing: %s\n",
                     ms.adjust_elev_file_name.c_str());
  write_grass_grid(ms.adjust_elev_file, ms.mask, ms.north, ms.south, ms.east, ms.west, ms.rows,
                   ms.cols, ms.elevation.data());
  close_guarded_file(ms.adjust_elev_file);
  return true;
}

bool write_sat_source_map(model_state& ms) {
  const char* name = "satsource_file";
  if (!open_guarded_file(ms.sat_source_map_file, name, "w"))
    return stop_with("Can't open map for writing out sat. source info: %s\n", name);
  std::FILE* f = ms.sat_source_map_file.fp;
  std::fprintf(f, "north: %9.2lf\n", ms.north);
  std::fprintf(f, "south: %9.2lf\n", ms.south);
  std::fprintf(f, "east: %9.2lf\n", ms.east);
  std::fprintf(f, "west: %9.2lf\n", ms.west);
  std::fprintf(f, "rows: %5d\n", ms.proj_rows);
  std::fprintf(f, "cols: %5d\n", ms.proj_cols);
  int cell = 0;
  for (int r = 1; r <= ms.proj_rows; ++r) {
    for (int c = 1; c <= ms.proj_cols; ++c) {
      const bool inside = r <= ms.mask.rows() && c <= ms.mask.cols() && ms.mask(r, c) > 0;
      if (inside && ++cell <= ms.yes_exfil.size())
        std::fprintf(f, "%d ", ms.yes_exfil[cell]);
      else
        std::fprintf(f, "0 ");
    }
    std::fprintf(f, "\n");
  }
  close_guarded_file(ms.sat_source_map_file);
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
  const std::string outlet_path = finish_written_file(ms.outlet_hydro_file, ms.outlet_hydro.view());
  bool readable = open_guarded_file(ms.outlet_hydro_file, outlet_path, "r");
  if (ms.in_hyd_location_given) {
    const std::string location_path =
        finish_written_file(ms.out_hyd_location_file, ms.out_hyd_location.view());
    readable = open_guarded_file(ms.out_hyd_location_file, location_path, "r") && readable;
  }
  guarded_file pav;
  if (readable && open_guarded_file(pav, ms.pav_hydro.view(), "w"))
    write_pav_hydrograph_file(ms.outlet_hydro_file, pav, ms.out_hyd_location_file,
                              ms.pav_hydro.c_str(), ms.date_stamp_ymd, ms.date_stamp_hhmm,
                              ms.hyd_write_steps, ms.hydro_line_count);
  else
    std::printf("\n\nError: Unable to open files to write the PAV hydrograph file.\n Write aborted.\n");
  close_guarded_file(ms.outlet_hydro_file);
  close_guarded_file(ms.out_hyd_location_file);
}

void write_hotstart_maps(model_state& ms) {
  if (ms.write_ov_hotstart_given) {
    if (!open_guarded_file(ms.write_ov_hotstart_file, ms.write_ov_hotstart.view(), "w")) {
      std::printf("Can't open overland hotstart file for writing: %s\n", ms.write_ov_hotstart.c_str());
    } else {
      write_grass_grid(ms.write_ov_hotstart_file, ms.mask, ms.north, ms.south, ms.east, ms.west,
                       ms.rows, ms.cols, ms.ov_depth.data());
      close_guarded_file(ms.write_ov_hotstart_file);
    }
  }
  if (ms.write_sm_hotstart_given &&
      open_guarded_file(ms.write_sm_hotstart_file, ms.write_sm_hotstart.view(), "w")) {
    write_grass_grid(ms.write_sm_hotstart_file, ms.mask, ms.north, ms.south, ms.east, ms.west,
                     ms.rows, ms.cols, ms.surface_moisture.data());
    close_guarded_file(ms.write_sm_hotstart_file);
  }
}

// Lateral sediment of every channel node, one line per class, appended
// run after run.
void write_sediment_bed_output(model_state& ms) {
  guarded_file out;
  if (!open_guarded_file(out, ms.fyssi.view(), "a")) {
    std::printf("Can't open sediment output file for appending: %s\n", ms.fyssi.c_str());
    return;
  }
  const array2d<double>& q = ms.qlat_tot_sed;
  for (int k = 1; k <= ms.n_sed_classes; ++k) {
    for (int link = 1; link <= ms.num_stream_links; ++link)
      for (int node = 1; node <= ms.nx[link]; ++node) {
        const int flat = ms.max_nodes_per_link * link + node;
        const double v = (!q.empty() && flat <= q.rows() && k <= q.cols()) ? q(flat, k) : 0.0;
        std::fprintf(out.fp, "%6.2lf ", v);
      }
    std::fprintf(out.fp, "\n");
  }
  std::fprintf(out.fp, "\n----------------------------------------------------------\n");
  close_guarded_file(out);
}

}  // namespace

bool write_bed_elevations(model_state& ms) {
  ms.chan_new_elev_file_name.assign("new_bed_elevations.txt");
  if (!open_guarded_file(ms.chan_new_elev_file, ms.chan_new_elev_file_name.view(), "w")) {
    std::printf("Can't open the file for printing updated bed elevations: %s\n",
                ms.chan_new_elev_file_name.c_str());
    return false;
  }
  std::FILE* f = ms.chan_new_elev_file.fp;
  std::fprintf(f, "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, "
                  "2 - lake \n");
  for (int link = 1; link <= ms.num_stream_links; ++link) {
    const int t = ms.ltype[link];
    const long l = link;
    if (t & 32) {
      std::fprintf(f, "Link %5ld is a lake %5ld  \n", l, 2L);
      continue;
    }
    const long structure = (t & 64) ? 1 : 0;
    for (int node = 1; node <= ms.og_nx1[link]; ++node) {
      if (ms.adjust_channel_bed)
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf %ld \n", l, static_cast<long>(node),
                     ms.bel(node, link), ms.org_bel(node, link), structure);
      else
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf  %ld \n", l, static_cast<long>(node),
                     ms.new_bel(node, link), ms.org_bel(node, link), structure);
    }
  }
  close_guarded_file(ms.chan_new_elev_file);
  return true;
}

void write_end_of_run_files(model_state& ms) {
  if (ms.optimize_given) write_optimisation_line(ms);
  if (ms.flood_grid_given) write_flood_grid(ms);
  if (ms.flood_stream_given) write_flood_stream(ms);
  if (!ms.chan_drain && ms.dataset_output) write_dataset_end_cards(ms);
  if (ms.explic_backwater_given || ms.write_chan_hotstart_given) write_channel_state(ms);
  if ((ms.chan_explic || ms.chan_mesh) && ms.chan_hotstart_out_file.is_open() &&
      ms.num_stream_links >= 1)
    write_channel_hotstart(ms);
  if (ms.gw_simulation && !write_gw_hotstart(ms)) return;
  if (ms.adjust_elev == 1 && !write_adjusted_elevations(ms)) return;
  if (ms.any_exfil == 1 && ms.sat_source_map_on && !write_sat_source_map(ms)) return;
  if (ms.pav_hydro_given) write_pav_output(ms);
  if (ms.zv_discharge_out && ms.run_control.map_type != 4) close_shared_output_file(ms);
  close_guarded_file(ms.read_ov_hotstart_file);
  close_guarded_file(ms.read_sm_hotstart_file);
  write_hotstart_maps(ms);
  if (ms.soil_erosion_on && ms.chan_sed_on && ms.fyssi_given) write_sediment_bed_output(ms);
}

}  // namespace nivra
