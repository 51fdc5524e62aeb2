#include "output/pav_file.h"

#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/guarded_file.h"
#include "core/tokens.h"
#include "model/model_state.h"
#include "output/dataset_out.h"
#include "output/output_state.h"

namespace nivra {

namespace {

// Ten values to a line, each "%11.4lf"; the last line of a block is left open.
void write_pav_value(std::FILE* f, long i, double q) {
  std::fprintf(f, "%11.4lf", q);
  std::fputs(i % 10 == 0 ? "\n" : " ", f);
}

}  // namespace

void write_pav_hydrograph_file(guarded_file& outlet_file, guarded_file& pav_file,
                               guarded_file& location_file, const char* pav_name,
                               long start_yyyymmdd, long start_hhmm, long interval,
                               long line_count) {
  (void)pav_name;
  std::FILE* out = pav_file.fp;
  if (!out) return;
  std::fprintf(out, "NIVARRA_PAV_HYDROGRAPH_FILE\n");

  long n = 0;
  card_line line;
  if (location_file.is_open() && read_line(line, location_file)) {
    int count = 0;
    if (next_token_int(line, count) && count > 0) n = count;
  }
  std::fprintf(out, "%ld\n", n);
  std::fprintf(out, "%ld\n", start_yyyymmdd);
  std::fprintf(out, "%ld\n", start_hhmm);
  std::fprintf(out, "%ld\n", interval);
  std::fprintf(out, "%ld\n", line_count);

  std::string text;
  for (long k = 1; k <= n; ++k) {
    if (!read_line(text, location_file)) text.clear();
    std::fprintf(out, "%s\n", text.c_str());
  }

  for (long i = 1; i <= line_count; ++i) {
    if (!read_line(line, outlet_file)) break;
    double t = 0.0, q = 0.0;
    next_token_double(line, t);
    next_token_double(line, q);
    write_pav_value(out, i, q);
  }

  if (!location_file.is_open() || n == 0) return;

  array2d<double> table;
  if (line_count > 0 && !alloc_2d_double(static_cast<int>(line_count), static_cast<int>(n), table,
                                         "hydro_table"))
    return;
  std::string last;
  for (long i = 1; i <= line_count; ++i) {
    // A location file that ends early repeats its last line.
    if (read_line(text, location_file)) last = text;
    card_line row(last);
    double t = 0.0;
    next_token_double(row, t);
    for (long k = 1; k <= n; ++k) {
      double q = 0.0;
      next_token_double(row, q);
      table(static_cast<int>(i), static_cast<int>(k)) = q;
    }
  }
  for (long k = 1; k <= n; ++k) {
    std::fprintf(out, "\n");
    for (long i = 1; i <= line_count; ++i)
      write_pav_value(out, i, table(static_cast<int>(i), static_cast<int>(k)));
  }
}

void write_ts_single(guarded_file& dataset_file, double time, int rows, int cols,
                     const array2d<int>& mask, const double* values, int binary) {
  // One record at the end of a run: the scratch lives for this call only.
  std::vector<unsigned char> scratch;
  write_dataset_record(dataset_file, binary != 0, time, mask, rows, cols, values, scratch);
}

void write_hyd_location_header(const output_state& output) {
  std::FILE* f = output.out_hyd_location_file.fp;
  if (!f) return;
  std::fprintf(f, "%d\n", output.num_hyd_locations);
  for (int k = 1; k <= output.num_hyd_locations; ++k) {
    int link = k <= output.hlink.size() ? output.hlink[k] : 0;
    int node = k <= output.hnode.size() ? output.hnode[k] : 0;
    std::fprintf(f, "link %d node %d\n", link, node);
  }
}

void init_hyd_location_output(model_state& ms) {
  if (ms.channel.chan_explic && ms.output.in_hyd_location_given) write_hyd_location_header(ms.output);
}

}  // namespace nivra
