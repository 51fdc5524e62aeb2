#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/platform.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/bounded_reads.h"
#include "output/grid_writers.h"
#include "output/nsm_output.h"
#include "output/output_state.h"
#include "output/step_outputs.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Makes a per-cell work array once; later calls find it made.
void ensure_cells(array1d<double>& a, int ncells) {
  if (a.empty() && ncells > 0) a.alloc(ncells);
}

const double* values_of(const array1d<double>& a) { return a.empty() ? nullptr : a.data(); }

void compute_discharge_cell(model_state& ms) {
  ensure_cells(ms.output.discharge_cell, ms.grid.ncells);
  if (ms.output.discharge_cell.empty()) return;
  const bool have = ms.overland.ov_qx.size() >= ms.grid.ncells && ms.overland.ov_qy.size() >= ms.grid.ncells;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double qx = have ? ms.overland.ov_qx[c] : 0.0, qy = have ? ms.overland.ov_qy[c] : 0.0;
    ms.output.discharge_cell[c] = std::sqrt(qx * qx + qy * qy);
  }
}

// Incremental recharge since the previous map time; the first time it is
// the cumulative recharge itself.
void compute_recharge_increment(model_state& ms) {
  ensure_cells(ms.output.gw_recharge_inc_cell, ms.grid.ncells);
  ensure_cells(ms.output.gw_recharge_prev, ms.grid.ncells);
  if (ms.output.gw_recharge_inc_cell.empty()) return;
  const bool have = ms.groundwater.cum_gw_recharge.size() >= ms.grid.ncells;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double now = have ? ms.groundwater.cum_gw_recharge[c] : 0.0;
    ms.output.gw_recharge_inc_cell[c] = now - ms.output.gw_recharge_prev[c];
    ms.output.gw_recharge_prev[c] = now;
  }
}

// Sediment maps, per cell: the class sum of the step's flux (x 1e6), the
// net deposited volume as a depth in mm, and the suspended volume.
void compute_sediment_flux(constituent_state& cs, const grid_state& grid) {
  ov_sed_record& s = *cs.ov_sed;
  ensure_cells(s.ov_qsmax_total, grid.ncells);
  for (int c = 1; c <= grid.ncells && !s.ov_qsmax_total.empty(); ++c) {
    double sum = 0.0;
    if (c <= s.ov_qsmax.rows())
      for (int k = 1; k <= cs.n_sed_classes && k <= s.ov_qsmax.cols(); ++k) sum += s.ov_qsmax(c, k);
    s.ov_qsmax_total[c] = sum * 1e6;
  }
}

void compute_net_sediment(constituent_state& cs, const grid_state& grid) {
  ov_sed_record& s = *cs.ov_sed;
  ensure_cells(s.ov_net_sed, grid.ncells);
  const double area = grid.grid_size * grid.grid_size;
  for (int c = 1; c <= grid.ncells && !s.ov_net_sed.empty(); ++c) {
    double vol = 0.0;
    if (c <= s.ov_qsvol.rows())
      for (int k = 1; k <= cs.n_sed_classes && k <= s.ov_qsvol.cols(); ++k) vol += s.ov_qsvol(c, k);
    s.ov_net_sed[c] = area > 0.0 ? vol * 1000.0 / area : 0.0;
  }
}

void compute_suspended_sediment(constituent_state& cs, const grid_state& grid) {
  ov_sed_record& s = *cs.ov_sed;
  ensure_cells(s.ov_conc, grid.ncells);
  for (int c = 1; c <= grid.ncells && !s.ov_conc.empty(); ++c)
    s.ov_conc[c] = (c <= s.ov_qsconc.rows() && !s.ov_qsconc.empty()) ? s.ov_qsconc(c, 0) : 0.0;
}

// The overland water's concentration of the first contaminant, which the
// OV_CON_MAP output follows; null when that output is off.
const double* contaminant_map_values(const model_state& ms) {
  const constituent_state& k = ms.constituent;
  if (!ms.output.ov_con_map_given || !k.ov_con_trans || k.ov_conc.count() < 1) return nullptr;
  return k.ov_conc.row(1);
}

// One record of a dataset of the kind (written_map), counted among the
// maps written when its file is open.
void dataset_record(model_state& ms, guarded_file& f, const double* values, int kind) {
  if (!f.fp) return;
  write_dataset_record(f, ms.output.binary_dataset != 0, ms.clock.elapsed_min, ms.grid.mask, ms.grid.rows, ms.grid.cols,
                       values, ms.output.dataset_scratch);
  ms.output.maps_written |= kind;
}

void dataset_mode(model_state& ms) {
  const bool skip = ms.output.skip_index_maps != 0;
  if (ms.output.depth_given == 1) {
    fill_depth_output(ms);
    if (!skip) dataset_record(ms, ms.output.depth_map_file, values_of(ms.output.depth_output), written_map::depth);
  }
  if (ms.clock.long_term && ms.hydromet.snow_swe_file_given == 1 && !skip)
    dataset_record(ms, ms.output.snow_swe_map_file, values_of(ms.hydromet.snow_swe), written_map::snow_water_equivalent);
  if (ms.output.discharge_given == 1) {
    compute_discharge_cell(ms);
    if (!skip) dataset_record(ms, ms.output.discharge_map_file, values_of(ms.output.discharge_cell), written_map::discharge);
  }
  if (ms.output.gw_output_given == 1) dataset_record(ms, ms.output.gw_head_map_file, values_of(ms.groundwater.elevgw), written_map::groundwater_head);
  if (ms.output.dis_rain_given == 1 && !skip)
    dataset_record(ms, ms.output.dis_rain_map_file, values_of(ms.hydromet.rain_depth), written_map::rainfall);
  if (ms.output.gw_recharge_cum_given == 1 && !skip)
    dataset_record(ms, ms.output.gw_recharge_cum_map_file, values_of(ms.groundwater.cum_gw_recharge), written_map::recharge_cumulative);
  if (ms.output.gw_recharge_inc_given == 1 && !skip) {
    compute_recharge_increment(ms);
    dataset_record(ms, ms.output.gw_recharge_inc_map_file, values_of(ms.output.gw_recharge_inc_cell), written_map::recharge_incremental);
  }
  if (ms.output.inf_depth_given == 1 && !skip)
    dataset_record(ms, ms.output.inf_depth_map_file, values_of(ms.soil.inf_depth_cell), written_map::infiltration_depth);
  if (ms.output.rate_of_infil_given == 1 && !skip)
    dataset_record(ms, ms.output.rate_of_infil_map_file, values_of(ms.soil.inf_rate), written_map::infiltration_rate);
  if (ms.output.surf_moist_given == 1 && !skip)
    dataset_record(ms, ms.output.surf_moist_map_file, values_of(ms.soil.surface_moisture), written_map::surface_moisture);
  if (const double* conc = contaminant_map_values(ms); conc && !skip)
    dataset_record(ms, ms.output.ov_con_map_file, conc, written_map::contaminant);
  if (ms.constituent.ov_sed) {
    if (ms.constituent.max_sed_flux == 1) {
      compute_sediment_flux(ms.constituent, ms.grid);
      dataset_record(ms, ms.constituent.max_sed_flux_file, values_of(ms.constituent.ov_sed->ov_qsmax_total), written_map::sediment_flux);
    }
    if (ms.constituent.net_sed_volume == 1 && !skip) {
      compute_net_sediment(ms.constituent, ms.grid);
      dataset_record(ms, ms.constituent.net_sed_volume_file, values_of(ms.constituent.ov_sed->ov_net_sed), written_map::net_sediment);
    }
    if (ms.constituent.vol_sed_susp == 1 && !skip) {
      compute_suspended_sediment(ms.constituent, ms.grid);
      dataset_record(ms, ms.constituent.vol_sed_susp_file, values_of(ms.constituent.ov_sed->ov_conc), written_map::suspended_sediment);
    }
  }
}

// One per-time grid file of map set map_number; false (after reporting)
// when it cannot be opened.
bool per_time_map(const grid_state& grid, bool quiet, int map_number, std::string_view folder, const char* word,
                  const double* values, const char* message) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d.asc", map_number);
  const std::string name = join_folder(folder, std::string(word) + number);
  if (!quiet) msg_printf("opening file %s\n", name.c_str());
  guarded_file f;
  if (!open_guarded_file(f, name, "w")) {
    if (message) std::printf(message, name.c_str());
    set_error(own_message_code);
    report_error();
    return false;
  }
  write_ascii_grid(f, grid.mask, grid.north, grid.south, grid.east, grid.west, grid.rows, grid.cols, values,
                   grid.grid_size);
  close_guarded_file(f);
  return true;
}

bool per_time_mode(model_state& ms) {
  const project_state& p = ms.project;
  const int set = ++ms.output.map_number;
  auto map = [&](std::string_view folder, const char* word, const double* values, const char* message, int kind) {
    if (!per_time_map(ms.grid, ms.output.quiet_map_files != 0, set, folder, word, values, message)) return false;
    ms.output.maps_written |= kind;
    return true;
  };
  if (ms.output.depth_given == 1) {
    fill_depth_output(ms);
    if (!map(p.depth.view(), "depth.", values_of(ms.output.depth_output),
             "Can't open depth map for writing: %s\n", written_map::depth))
      return false;
  }
  if (ms.hydromet.snow_swe_file_given == 1 &&
      !map(p.snow_swe_file.view(), "swe.", values_of(ms.hydromet.snow_swe), nullptr, written_map::snow_water_equivalent))
    return false;
  if (ms.output.discharge_given == 1) {
    compute_discharge_cell(ms);
    if (!map(p.discharge.view(), "discharge.", values_of(ms.output.discharge_cell),
             "Can't open discharge map for writing: %s\n", written_map::discharge))
      return false;
  }
  if (ms.output.dis_rain_given == 1 &&
      !map(p.dis_rain.view(), "rain.", values_of(ms.hydromet.rain_depth),
           "Can't open rainfall map for writing: %s\n", written_map::rainfall))
    return false;
  if (ms.output.inf_depth_given == 1 &&
      !map(p.inf_depth.view(), "infdep.", values_of(ms.soil.inf_depth_cell),
           "Can't open Cum. infilt. depth map for writing: %s\n", written_map::infiltration_depth))
    return false;
  if (ms.output.rate_of_infil_given == 1 &&
      !map(p.rate_of_infil.view(), "infrate.", values_of(ms.soil.inf_rate),
           "Can't open infiltration rate map for writing: %s\n", written_map::infiltration_rate))
    return false;
  if (ms.output.surf_moist_given == 1) {
    const std::string_view folder = p.surf_moist.view();
    const bool ends_in_sep = !folder.empty() && is_path_sep(folder.back());
    if (!map(folder, ends_in_sep ? "surf." : "smoist.",
             values_of(ms.soil.surface_moisture),
             "Can't open surface moisture content map for writing: %s\n", written_map::surface_moisture))
      return false;
  }
  if (const double* conc = contaminant_map_values(ms);
      conc && !map(p.ov_con_map.view(), "contam.", conc, "Can't open contaminant concentration map for writing: %s\n",
                   written_map::contaminant))
    return false;
  if (ms.constituent.ov_sed && ms.constituent.max_sed_flux == 1) {
    compute_sediment_flux(ms.constituent, ms.grid);
    if (!map(ms.constituent.max_sed_flux_file_name.view(), "max_sed_flux.",
             values_of(ms.constituent.ov_sed->ov_qsmax_total),
             "Can't open sediment flux map for writing: %s\n", written_map::sediment_flux))
      return false;
  }
  if (ms.output.gw_output_given == 1 &&
      !map(p.gw_output.view(), "gw_head.", values_of(ms.groundwater.elevgw),
           "Can't open groundwater head map for writing: %s\n", written_map::groundwater_head))
    return false;
  if (ms.output.gw_recharge_cum_given == 1 &&
      !map(p.gw_recharge_cum.view(), "gwrechargecum.", values_of(ms.groundwater.cum_gw_recharge),
           "Can't open cum gw recharge map for writing: %s\n", written_map::recharge_cumulative))
    return false;
  if (ms.output.gw_recharge_inc_given == 1) {
    compute_recharge_increment(ms);
    if (!map(p.gw_recharge_inc.view(), "gwrechargeinc.",
             values_of(ms.output.gw_recharge_inc_cell),
             "Can't open incremental groundwater recharge map for writing: %s\n", written_map::recharge_incremental))
      return false;
  }
  if (ms.constituent.ov_sed && ms.constituent.net_sed_volume == 1) {
    compute_net_sediment(ms.constituent, ms.grid);
    if (!map(ms.constituent.net_sed_volume_file_name.view(), "net_sed_volume.",
             values_of(ms.constituent.ov_sed->ov_net_sed), nullptr, written_map::net_sediment))
      return false;
  }
  return true;
}

}  // namespace

double cell_water_depth(const model_state& ms, int c) {
  const double depth = at(ms.overland.ov_depth, c);
  const lake_state& lk = ms.lake;
  const double ground = at(ms.grid.elevation, c);
  // A channel lake's cells, and the cells an overland lake covers now.
  if (lk.chan_lakes) {
    const int lake = at(lk.lake_mask, c);
    if (lake_cell(lake) && lake <= lk.lake_elev.size()) return lk.lake_elev[lake] - ground;
  }
  if (lk.overland_lake_map_given) {
    const int lake = at(lk.oland_lake_new, c);
    if (lake_cell(lake) && lake <= lk.olake_table.size())
      return std::max(lk.olake_table[lake].value[olake_value::level] - ground, depth);
  }
  return depth;
}

void fill_depth_output(model_state& ms) {
  ensure_cells(ms.output.depth_output, ms.grid.ncells);
  if (ms.output.depth_output.empty()) return;
  for (int c = 1; c <= ms.grid.ncells; ++c) ms.output.depth_output[c] = cell_water_depth(ms, c);
}

bool map_output_requested(const model_state& ms) {
  const output_state& o = ms.output;
  const constituent_state& k = ms.constituent;
  const bool sediment_maps = k.soil_erosion_on && (k.max_sed_flux || k.net_sed_volume || k.vol_sed_susp);
  const bool variable_maps =
      (o.no_map_output || o.dataset_output) &&
      (o.depth_given || o.discharge_given || o.dis_rain_given || o.inf_depth_given || o.rate_of_infil_given ||
       o.surf_moist_given || o.gw_output_given || o.gw_recharge_cum_given || o.gw_recharge_inc_given ||
       ms.hydromet.snow_swe_file_given || sediment_maps || (o.ov_con_map_given && k.ov_con_trans));
  return variable_maps || k.nutrients || (k.all_contam_output && k.ov_con_trans) || ms.hydromet.snow_temp_given;
}

void write_map_output(model_state& ms) {
  // The maps of every MAP_FREQ, and those of the run's last step, so that a
  // run's maps end with its end whatever the interval.
  if (!map_step_due(ms.clock) && ms.clock.keep_running) return;
  if (ms.output.no_map_output) {
    if (!per_time_mode(ms)) return;
  } else if (ms.output.dataset_output) {
    dataset_mode(ms);
  }
  if (ms.constituent.nutrients) write_constituent_map_output(ms);
  for (int i = 1; i <= ms.output.constituent_series_count; ++i) {
    if (dataset_out* row = ms.output.map_series.row(i)) {
      write_map_timestep(row[1], ms.clock.elapsed_min);
      write_map_timestep(row[2], ms.clock.elapsed_min);
    }
  }
  if (ms.hydromet.snow_temp_given) write_map_timestep(ms.output.snow_temp_dataset, ms.clock.elapsed_min);
}

}  // namespace nivra
