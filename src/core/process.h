// Process-wide state: what outlives one model run and is shared by every run
// of the process (the error block, the replacement list and its switch, the
// run prefix, the folders, the quiet switch, the time-series and elevation-series lists, the day
// of the week of the last date converted). Everything else belongs to the
// run's model_state. Tests call reset_process_state between cases.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/replace.h"
#include "core/text.h"
#include "core/time_series.h"

namespace nivra {

class guarded_file;

struct parallel_env_t {
  int proc_id = 0;     // this process's number
  int num_procs = 1;   // processes in the group
  int group_size = 1;
  int group_count = 1;

  // Split of the grid among the processes of a group (made only for a
  // group of two or more): this process's index in its group, the grid,
  // the active cells per row and per column, and the rows, columns and
  // cells this process owns by the row split and by the column split.
  int group_rank = 0;
  int rows = 0, cols = 0, cell_count = 0;
  array1d<int> row_load, column_load;
  array1d<int> short_row_mask, short_column_mask;
  array1d<int> row_cell_mask, column_cell_mask;
};

struct process_state {
  error_state error_block;
  guarded_file* summary_log = nullptr;  // the run summary of the current run, once open
  int pause_flag = 0;

  // folders and run prefix
  fixed_text<1024> project_dir;      // ends in a separator once set
  fixed_text<1024> output_folder;    // ends in a separator once set
  int output_folder_set = 0;
  int multi_run_mode = 0;            // written files get the run prefix
  int run_number = 0;
  bool super_quiet_on = false;

  // replacement parameters
  std::vector<replace_param> replace_list;
  int replace_on = 0;
  int replace_line = 0;              // 0-based line of the value file
  int replace_count = 0;

  // time series of the run and the mapping table's id list
  std::vector<std::unique_ptr<time_series>> ts_list;
  std::vector<ts_index_entry> ts_id_list;  // searched front to back; newest first
  // elevation series of the run, in reading order
  std::vector<std::unique_ptr<elevation_series>> es_list;

  int week_day = 0;                  // of the last calendar_date call, 0 Sunday
  // Out-of-range accesses of checked arrays reported as the arrays went
  // (a run that made one is not a success).
  int bad_range_reports = 0;
  parallel_env_t parallel_env;
};

extern process_state process;

inline constexpr double gravity = 9.81;
inline constexpr double point_zero_one = 0.01;

// Back to the state of a fresh process (tests).
void reset_process_state();

}  // namespace nivra
