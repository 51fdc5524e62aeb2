// Gridded output series. A per-cell quantity over time is written either as
// one dataset file (ASCII or little-endian binary: a header once, then one
// record per output time holding the active flag and the value of every
// grid position) or as one ASCII grid file per output time.
//
// dataset_out is the writer of one series: it owns its file and borrows the
// watershed mask and the producing process's values (one per active cell,
// 1-based, in row-major order of the mask).
#pragma once

#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct grid_state;
struct model_state;
struct output_state;

// Record formats of a series.
enum dataset_format : int {
  dataset_none_yet = 0,
  dataset_per_time_grid = 1,  // one ASCII grid file per output time
  dataset_ascii = 2,
  dataset_binary = 3,
  dataset_nothing = 4,        // maps of index-mapped runs are skipped
};

class dataset_out {
 public:
  dataset_out() = default;
  dataset_out(const dataset_out&) = delete;
  dataset_out& operator=(const dataset_out&) = delete;

  guarded_file file;
  fixed_text<1024> folder;
  const double* values = nullptr;
  const array2d<int>* mask = nullptr;
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  int rows = 0, cols = 0;
  int format = 0;
  int step = 1;
  bool quiet = false;  // no console line for each per-time file
  double cell_size = 0.0;
  fixed_text<30> base;
  fixed_text<30> extension;
  fixed_text<108> prefix;
  std::vector<unsigned char> record;  // binary record scratch, sized when opened
};

// The record format a series set up now takes from the run's map flags.
int series_format(const output_state& output);

// Gives the series the model's grid: extent, rows and columns, mask and
// cell size (use rows and cols from nrows/ncols where asked).
void dataset_out_grid(dataset_out& out, const grid_state& grid, int rows, int cols);

// Stores the names and writes the header the run's flags ask for (binary,
// none, or ASCII) on folder + base.
void dataset_out_open(dataset_out& out, int format, std::string_view folder, std::string_view base,
                      std::string_view extension, int object_id, std::string_view name,
                      const output_state& output);

// Sets a series up on the model's grid (rows x cols) over `values`, in the
// record format of the run's map flags; false when its header file could
// not be opened (the run then stops).
bool open_grid_series(dataset_out& out, const grid_state& grid, const output_state& output, int rows,
                      int cols, const double* values, std::string_view folder, std::string_view base,
                      std::string_view extension, int object_id, std::string_view name);

// Writes one output time of the series.
void write_map_timestep(dataset_out& out, double time);

// Header of a dataset held in a plain guarded file: binary, ASCII, or
// nothing; with index-mapped runs the series is switched off
// (enabled_flag = 0). Open failures set error 59 and the stop flag.
void open_dataset_file(int object_id, std::string_view path, std::string_view name,
                       guarded_file& file, int& enabled_flag, const grid_state& grid,
                       const output_state& output);
bool write_dataset_header_binary(std::string_view path, guarded_file& file, int object_id,
                                 std::string_view name, int rows, int cols);
bool write_dataset_header_ascii(std::string_view path, guarded_file& file, int object_id,
                                std::string_view name, int rows, int cols);

// Appends one record ("TS" card, active flags, values) stamped with time.
// The binary scratch is grown when too small (callers size it at set-up).
void write_dataset_record(guarded_file& file, bool binary, double time, const array2d<int>& mask,
                          int rows, int cols, const double* values,
                          std::vector<unsigned char>& scratch);

// The end marker of a dataset file: "ENDDS" or the binary card 210.
void write_dataset_end(guarded_file& file, bool binary);

// The end card of a series held in one dataset file (ASCII or binary);
// per-time grids and skipped series have none.
void write_series_end(dataset_out& out);

// Name of a per-time file: folder, a separator when the folder is not empty
// and does not end in one, then the file's own name.
std::string join_folder(std::string_view folder, std::string_view name);

// The per-variable dataset series a project can ask for.
enum grid_series_kind : int {
  series_depth,
  series_discharge,
  series_rain,
  series_infiltrated_depth,
  series_infiltration_rate,
  series_surface_moisture,
  series_groundwater_head,
  series_sediment_flux,
  series_sediment_volume,
  series_suspended_sediment,
  series_contaminant,
  series_flood_grid,
  series_gw_recharge_cum,
  series_gw_recharge_inc,
  series_snow_swe,
};

// Set-up of every gridded series of the run.
void init_grid_dataset_output(model_state& ms);
void open_grid_dataset_series(grid_series_kind kind, model_state& ms);
void init_contaminant_map_series(model_state& ms);
void init_channel_constituent_series(model_state& ms);

// Grow a series array by n rows of three writers (elements 1 and 2 used).
void alloc_map_series_array(jagged_array<dataset_out>& series, int n);
class mass_con_writer;
void alloc_channel_series_array(jagged_array<mass_con_writer>& series, int n);

}  // namespace nivra
