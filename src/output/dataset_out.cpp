#include "output/dataset_out.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/platform.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/grid_writers.h"
#include "output/linknode.h"
#include "output/nsm_output.h"
#include "output/output_state.h"
#include "output/text_format.h"
#include "quality/constituent_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

// Card numbers of the binary dataset layout.
constexpr std::int32_t card_version = 3000, card_objtype = 100, card_sflt = 110, card_sflg = 120,
                       card_begscl = 130, card_objid = 160, card_numdata = 170,
                       card_numcells = 180, card_name = 190, card_ts = 200, card_endds = 210;
constexpr std::int32_t objtype_grid2d = 4;
constexpr std::size_t binary_name_width = 40;
constexpr std::size_t binary_record_head = 4 + 2 + 8;

template <class T>
unsigned char* put_le(unsigned char* p, T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  if constexpr (std::endian::native == std::endian::big)
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = bytes[sizeof(T) - 1 - i];
  else
    std::memcpy(p, bytes, sizeof(T));
  return p + sizeof(T);
}

void write_i32(std::FILE* fp, std::int32_t v) {
  unsigned char b[4];
  put_le(b, v);
  std::fwrite(b, 1, 4, fp);
}

bool fail_dataset_open(std::string_view path) {
  set_error(59, "", path);
  process.error_block.stop = 1;
  return false;
}

inline bool active(const array2d<int>& mask, int r, int c) {
  return !mask.empty() && r <= mask.rows() && c <= mask.cols() && mask(r, c) != 0;
}

std::size_t binary_record_size(int rows, int cols) {
  const std::size_t n = static_cast<std::size_t>(rows > 0 ? rows : 0) *
                        static_cast<std::size_t>(cols > 0 ? cols : 0);
  return binary_record_head + n * (2 + 8);
}

}  // namespace

int series_format(const output_state& output) {
  if (output.no_map_output) return dataset_per_time_grid;
  if (output.binary_dataset) return dataset_binary;
  if (output.skip_index_maps) return dataset_nothing;
  return dataset_ascii;
}

void dataset_out_grid(dataset_out& out, const grid_state& grid, int rows, int cols) {
  out.north = grid.north;
  out.south = grid.south;
  out.east = grid.east;
  out.west = grid.west;
  out.rows = rows;
  out.cols = cols;
  out.mask = &grid.mask;
  out.cell_size = grid.grid_size;
}

std::string join_folder(std::string_view folder, std::string_view name) {
  std::string s(folder);
  if (!s.empty() && !is_path_sep(s.back())) s.push_back('/');
  s.append(name);
  return s;
}

bool write_dataset_header_binary(std::string_view path, guarded_file& file, int object_id,
                                 std::string_view name, int rows, int cols) {
  if (!open_guarded_file(file, path, "wb")) return fail_dataset_open(path);
  std::FILE* fp = file.fp;
  const std::int32_t n = rows * cols;
  write_i32(fp, card_version);
  write_i32(fp, card_objtype);
  write_i32(fp, objtype_grid2d);
  write_i32(fp, card_sflt);
  write_i32(fp, 8);
  write_i32(fp, card_sflg);
  write_i32(fp, 2);
  write_i32(fp, card_begscl);
  write_i32(fp, card_objid);
  write_i32(fp, object_id);
  write_i32(fp, card_numdata);
  write_i32(fp, n);
  write_i32(fp, card_numcells);
  write_i32(fp, n);
  write_i32(fp, card_name);
  char field[binary_name_width] = {};
  std::memcpy(field, name.data(), name.size() < binary_name_width ? name.size() : binary_name_width);
  std::fwrite(field, 1, binary_name_width, fp);
  return true;
}

bool write_dataset_header_ascii(std::string_view path, guarded_file& file, int object_id,
                                std::string_view name, int rows, int cols) {
  if (!open_guarded_file(file, path, "w")) return fail_dataset_open(path);
  std::FILE* fp = file.fp;
  std::fprintf(fp, "DATASET\n");
  std::fprintf(fp, "OBJTYPE grid2d\n");
  std::fprintf(fp, "BEGSCL\n");
  std::fprintf(fp, "OBJID %d\n", object_id);
  std::fprintf(fp, "ND %d\n", rows * cols);
  std::fprintf(fp, "NC %d\n", rows * cols);
  std::fprintf(fp, "NAME %.*s\n", static_cast<int>(name.size()), name.data());
  return true;
}

void write_dataset_record(guarded_file& file, bool binary, double time, const array2d<int>& mask,
                          int rows, int cols, const double* values,
                          std::vector<unsigned char>& scratch) {
  std::FILE* fp = file.fp;
  if (!fp) return;
  if (binary) {
    const std::size_t size = binary_record_size(rows, cols);
    if (scratch.size() < size) scratch.resize(size);
    unsigned char* p = scratch.data();
    p = put_le<std::int32_t>(p, card_ts);
    p = put_le<std::int16_t>(p, 1);
    p = put_le<double>(p, time);
    unsigned char* flags = p;
    unsigned char* reals = p + static_cast<std::size_t>(rows) * cols * 2;
    int k = 0;
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) {
        const bool on = active(mask, r, c);
        double v = 0.0;
        if (on) {
          ++k;
          v = values ? values[k] : 0.0;
        }
        flags = put_le<std::int16_t>(flags, on ? 1 : 0);
        reals = put_le<double>(reals, v);
      }
    }
    std::fwrite(scratch.data(), 1, size, fp);
    return;
  }
  std::fprintf(fp, "TS 1 %lf\n", time);
  block_writer out(fp);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) out.text(active(mask, r, c) ? "1\n" : "0\n");
  int k = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      double v = 0.0;
      if (active(mask, r, c)) {
        ++k;
        v = values ? values[k] : 0.0;
      }
      out.fixed(v, 6, '\n');
    }
  }
}

void write_dataset_end(guarded_file& file, bool binary) {
  if (!file.fp) return;
  if (binary)
    write_i32(file.fp, card_endds);
  else
    std::fprintf(file.fp, "ENDDS\n");
}

void write_series_end(dataset_out& out) {
  if (out.format == dataset_ascii || out.format == dataset_binary) write_dataset_end(out.file, out.format == dataset_binary);
}

void dataset_out_open(dataset_out& out, int format, std::string_view folder, std::string_view base,
                      std::string_view extension, int object_id, std::string_view name,
                      const output_state& output) {
  out.format = format;
  out.quiet = output.quiet_map_files != 0;
  out.folder.assign_cut(folder);
  out.base.assign_cut(base);
  out.extension.assign_cut(extension);
  out.prefix.assign_cut(name);
  const std::string path = std::string(folder) + std::string(base);
  if (output.binary_dataset) {
    if (write_dataset_header_binary(path, out.file, object_id, name, out.rows, out.cols))
      out.record.resize(binary_record_size(out.rows, out.cols));
  } else if (!output.skip_index_maps && !output.no_map_output) {
    write_dataset_header_ascii(path, out.file, object_id, name, out.rows, out.cols);
  }
}

bool open_grid_series(dataset_out& out, const grid_state& grid, const output_state& output, int rows,
                      int cols, const double* values, std::string_view folder, std::string_view base,
                      std::string_view extension, int object_id, std::string_view name) {
  dataset_out_grid(out, grid, rows, cols);
  out.values = values;
  dataset_out_open(out, series_format(output), folder, base, extension, object_id, name, output);
  return !process.error_block.stop;
}

void write_map_timestep(dataset_out& out, double time) {
  static const array2d<int> no_mask;
  const array2d<int>& mask = out.mask ? *out.mask : no_mask;
  switch (out.format) {
    case dataset_per_time_grid: {
      char number[16];
      std::snprintf(number, sizeof number, ".%04d", out.step);
      const std::string own = std::string(out.prefix.view()) + std::string(out.base.view()) +
                              number + std::string(out.extension.view());
      const std::string name = join_folder(out.folder.view(), own);
      if (!out.quiet) msg_printf("opening file %s\n", name.c_str());
      if (!open_guarded_file(out.file, name, "w")) {
        std::printf("Can't open map for writing: %s\n", name.c_str());
        set_error(own_message_code);
        report_error();
        return;
      }
      write_ascii_grid(out.file, mask, out.north, out.south, out.east, out.west, out.rows,
                       out.cols, out.values, out.cell_size);
      reset_guarded_file(out.file);
      ++out.step;
      return;
    }
    case dataset_ascii:
    case dataset_binary:
      write_dataset_record(out.file, out.format == dataset_binary, time, mask, out.rows, out.cols,
                           out.values, out.record);
      return;
    default:
      return;
  }
}

void open_dataset_file(int object_id, std::string_view path, std::string_view name,
                       guarded_file& file, int& enabled_flag, const grid_state& grid,
                       const output_state& output) {
  if (output.binary_dataset) {
    write_dataset_header_binary(path, file, object_id, name, grid.rows, grid.cols);
  } else if (output.skip_index_maps) {
    enabled_flag = 0;
  } else if (!output.no_map_output) {
    write_dataset_header_ascii(path, file, object_id, name, grid.rows, grid.cols);
  }
}

namespace {

struct grid_series {
  const char* name;
  int object_id;
  guarded_file* file;
  const file_name_text* card;
  int* flag;
};

grid_series grid_series_of(grid_series_kind kind, model_state& ms) {
  project_state& p = ms.project;
  switch (kind) {
    case series_depth: return {"depth", 1010, &ms.output.depth_map_file, &p.depth, &ms.output.depth_given};
    case series_discharge: return {"discharge", 1011, &ms.output.discharge_map_file, &p.discharge, &ms.output.discharge_given};
    case series_rain: return {"rain", 1012, &ms.output.dis_rain_map_file, &p.dis_rain, &ms.output.dis_rain_given};
    case series_infiltrated_depth:
      return {"infiltrated_depth", 1013, &ms.output.inf_depth_map_file, &p.inf_depth,
              &ms.output.inf_depth_given};
    case series_infiltration_rate:
      return {"infiltration_rate", 1014, &ms.output.rate_of_infil_map_file, &p.rate_of_infil,
              &ms.output.rate_of_infil_given};
    case series_surface_moisture:
      return {"surface_moisture", 1015, &ms.output.surf_moist_map_file, &p.surf_moist,
              &ms.output.surf_moist_given};
    case series_groundwater_head:
      return {"groundwater_head", 1016, &ms.output.gw_head_map_file, &p.gw_output, &ms.output.gw_output_given};
    case series_sediment_flux:
      return {"sediment_flux", 1017, &ms.constituent.max_sed_flux_file, &ms.constituent.max_sed_flux_file_name,
              &ms.constituent.max_sed_flux};
    case series_sediment_volume:
      return {"sediment_volume", 1018, &ms.constituent.net_sed_volume_file,
              &ms.constituent.net_sed_volume_file_name, &ms.constituent.net_sed_volume};
    case series_suspended_sediment:
      return {"suspended_sediment_conc", 1019, &ms.constituent.vol_sed_susp_file,
              &ms.constituent.vol_sed_susp_file_name, &ms.constituent.vol_sed_susp};
    case series_contaminant:
      return {"contaminant_conc", 1020, &ms.output.ov_con_map_file, &p.ov_con_map, &ms.output.ov_con_map_given};
    case series_flood_grid:
      return {"flood_grid", 1021, &ms.output.flood_grid_file, &p.flood_grid, &ms.output.flood_grid_given};
    case series_gw_recharge_cum:
      return {"gw_recharge_cum", 1022, &ms.output.gw_recharge_cum_map_file, &p.gw_recharge_cum,
              &ms.output.gw_recharge_cum_given};
    case series_gw_recharge_inc:
      return {"gw_recharge_inc", 1023, &ms.output.gw_recharge_inc_map_file, &p.gw_recharge_inc,
              &ms.output.gw_recharge_inc_given};
    case series_snow_swe:
      break;
  }
  return {"snow_water_equivalent", 1024, &ms.output.snow_swe_map_file, &p.snow_swe_file,
          &ms.hydromet.snow_swe_file_given};
}

void alloc_cells(array1d<double>& a, int ncells) {
  if (a.empty() && ncells > 0) a.alloc(ncells);
}

}  // namespace

void open_grid_dataset_series(grid_series_kind kind, model_state& ms) {
  grid_series s = grid_series_of(kind, ms);
  open_dataset_file(s.object_id, s.card->view(), s.name, *s.file, *s.flag, ms.grid, ms.output);
}

void init_grid_dataset_output(model_state& ms) {
  // Work arrays of the outputs the project asks for, made once so that no
  // step allocates.
  if (ms.output.depth_given || ms.output.in_celldepdis_location_given)
    alloc_cells(ms.output.depth_output, ms.grid.ncells);
  if (ms.output.discharge_given) alloc_cells(ms.output.discharge_cell, ms.grid.ncells);
  if (ms.output.gw_recharge_inc_given) {
    alloc_cells(ms.output.gw_recharge_prev, ms.grid.ncells);
    alloc_cells(ms.output.gw_recharge_inc_cell, ms.grid.ncells);
  }
  if (ms.output.binary_dataset) ms.output.dataset_scratch.resize(binary_record_size(ms.grid.rows, ms.grid.cols));

  auto open_if = [&](bool on, grid_series_kind kind) {
    if (!on || process.error_block.stop) return;
    open_grid_dataset_series(kind, ms);
  };
  open_if(ms.output.depth_given, series_depth);
  open_if(ms.output.discharge_given, series_discharge);
  open_if(ms.output.dis_rain_given, series_rain);
  open_if(ms.output.gw_recharge_cum_given, series_gw_recharge_cum);
  open_if(ms.output.gw_recharge_inc_given, series_gw_recharge_inc);
  open_if(ms.output.inf_depth_given, series_infiltrated_depth);
  open_if(ms.output.rate_of_infil_given, series_infiltration_rate);
  open_if(ms.output.surf_moist_given, series_surface_moisture);
  open_if(ms.output.gw_output_given, series_groundwater_head);
  if (ms.constituent.ov_sed) {
    open_if(ms.constituent.max_sed_flux, series_sediment_flux);
    open_if(ms.constituent.net_sed_volume, series_sediment_volume);
    open_if(ms.constituent.vol_sed_susp, series_suspended_sediment);
  }
  open_if(ms.constituent.ov_con_trans && ms.output.ov_con_map_given, series_contaminant);
  open_if(ms.output.flood_grid_given, series_flood_grid);
  open_if(ms.hydromet.snow_swe_file_given, series_snow_swe);
  if (process.error_block.stop) return;

  if (ms.hydromet.snow_temp_given &&
      !open_grid_series(ms.output.snow_temp_dataset, ms.grid, ms.output, ms.grid.nrows, ms.grid.ncols,
                        ms.hydromet.snow_temperature.data(), ms.project.snow_temp.view(), "", "", 1060,
                        "Snow_Temperature"))
    return;
  if (ms.constituent.nutrients && ms.constituent.nsm_out) init_nutrient_map_series(*ms.constituent.nsm_out, ms);
}

void alloc_map_series_array(jagged_array<dataset_out>& series, int n) {
  if (n > 0) series.grow(n, 2);
}

void alloc_channel_series_array(jagged_array<mass_con_writer>& series, int n) {
  if (n > 0) series.grow(n, 2);
}

namespace {

const double* row_or_null(const jagged_array<double>& a, int i) { return a.row(i); }

std::string output_name_of(const constituent_state& cs, int i) {
  if (i >= 0 && static_cast<std::size_t>(i) < cs.constituent_output_name.size())
    return cs.constituent_output_name[static_cast<std::size_t>(i)];
  return std::string();
}

}  // namespace

void init_contaminant_map_series(model_state& ms) {
  int n = 0;
  for (int i = 1; i <= ms.constituent.num_constituents && i <= ms.constituent.constituent_type.count(); ++i)
    if (ms.constituent.constituent_type[i] == 1) ++n;
  ms.output.constituent_series_count = n;
  if (n < 1) return;
  const int base = ms.output.map_series.count();
  alloc_map_series_array(ms.output.map_series, n);
  for (int i = 1; i <= n; ++i) {
    dataset_out* row = ms.output.map_series.row(base + i);
    const std::string folder = output_name_of(ms.constituent, i);
    char conc_name[32], mass_name[32];
    std::snprintf(conc_name, sizeof conc_name, "conc_%02d", i);
    std::snprintf(mass_name, sizeof mass_name, "mass_%02d", i);
    const int id = 5000 + (i - 1) * ms.constituent.num_constituents;
    if (!open_grid_series(row[1], ms.grid, ms.output, ms.grid.rows, ms.grid.cols,
                          row_or_null(ms.constituent.ov_conc, i), folder, ".conc", ".asc", id, conc_name) ||
        !open_grid_series(row[2], ms.grid, ms.output, ms.grid.rows, ms.grid.cols,
                          row_or_null(ms.constituent.ov_mass, i), folder, ".mass", ".asc", id + 1, mass_name))
      return;
  }
}

void init_channel_constituent_series(model_state& ms) {
  // Without the overland series the channels count their contaminants.
  if (!ms.constituent.ov_con_trans) {
    int count = 0;
    for (int i = 1; i <= ms.constituent.num_constituents && i <= ms.constituent.constituent_type.count(); ++i)
      if (ms.constituent.constituent_type[i] == 1) ++count;
    ms.output.constituent_series_count = count;
  }
  const int n = ms.output.constituent_series_count;
  if (n < 1 || !ms.constituent.chan_con_trans) return;
  const int base = ms.output.channel_series.count();
  alloc_channel_series_array(ms.output.channel_series, n);
  const linknode_network net = channel_network_of(ms.channel, ms.lake);
  const linknode_timing timing = linknode_timing_for(ms.clock, ms.clock.hyd_write_steps);
  const int lakes = ms.lake.chan_lakes ? ms.lake.num_lakes : 0;
  for (int i = 1; i <= n; ++i) {
    mass_con_writer* row = ms.output.channel_series.row(base + i);
    std::string name = output_name_of(ms.constituent, i);
    // A contaminant of the uniform cards has no output name of its own.
    if (name.empty()) name = std::string(ms.constituent.con_output_name.c_str()) + (i > 1 ? "_" + std::to_string(i) : "");
    mass_con_writer_alloc_b(row[1], lnk_concentration, row_or_null(ms.constituent.chan_conc, i), net,
                            lakes ? row_or_null(ms.constituent.lake_conc, i) : nullptr, lakes);
    open_mass_con_files(row[1], name, ".chan", ".conc", 1.0, timing);
    mass_con_writer_alloc_b(row[2], lnk_mass, row_or_null(ms.constituent.chan_node_mass, i), net,
                            lakes ? row_or_null(ms.constituent.lake_mass, i) : nullptr, lakes);
    open_mass_con_files(row[2], name, ".chan", ".mass", 1.0, timing);
  }
}

}  // namespace nivra
