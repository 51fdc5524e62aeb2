#include "output/linknode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "output/nsm_output.h"
#include "model/model_state.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

const char* const kind_words[lnk_kind_count] = {
    "STREAM_DEPTH", "STREAM_FLOW", "STREAM_STAGE", "STREAM_VELOCITY", "FLOOD_STREAM_DEPTH",
    "SUPERLINK_FLOW", "SUPERLINK_HEAD", "SUPERLINK_TILE_FLOW",
    "NO2_MASS", "NO3_MASS", "NH4_MASS", "ON_MASS", "OP_MASS", "DP_MASS", "ALG_MASS", "CBOD_MASS",
    "DO_MASS",
    "NO2_CONC", "NO3_CONC", "NH4_CONC", "ON_CONC", "OP_CONC", "DP_CONC", "ALG_CONC", "CBOD_CONC",
    "DO_CONC",
    "MASS", "CONCENTRATION", "TOTAL_NITROGEN", "TOTAL_KJELDAHL_NITROGEN", "TOTAL_PHOSPHORUS",
    "STREAM_SED_FLUX"};

constexpr const char* missing_entry = "0  -999.999   ";

inline bool in_table(const node_table& t, int node, int link) {
  return node <= t.rows() && link <= t.cols() && !t.empty();
}

// Value of a node in the caller's mode.
double node_value(const node_table& values, const node_table& second, int mode, bool ratio_allowed, int node,
                  int link) {
  double v = values(node, link);
  if (mode == lnk_value || !in_table(second, node, link)) return v;
  double s = second(node, link);
  if (mode == lnk_over_second && ratio_allowed) return s > 1e-7 ? v / s : 0.0;
  return v - s;
}

}  // namespace

const char* linknode_kind_word(int kind) {
  return (kind >= 0 && kind < lnk_kind_count) ? kind_words[kind] : "";
}

void write_linknode_header(guarded_file& file, int kind, int num_links, int time_step, int num_ts,
                           int day, int month, int year, int hour, int minute) {
  std::FILE* fp = file.fp;
  if (!fp) return;
  if (kind >= 0 && kind < lnk_kind_count) std::fprintf(fp, "NIVRA_LINKNODE_%s\n", kind_words[kind]);
  std::fprintf(fp, "NUM_LINKS     %d\n", num_links);
  std::fprintf(fp, "TIME_STEP     %d\n", time_step);
  std::fprintf(fp, "NUM_TS        %d\n", num_ts);
  std::fprintf(fp, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute, 0);
}

void write_linknode_step(guarded_file& file, int num_links, const int* node_counts,
                         const int* out_node_counts, const int* link_types, int step,
                         node_table values, node_table second_values, int mode, const int* lake_of_link, std::span<const double> lake_values) {
  std::FILE* fp = file.fp;
  if (!fp) return;
  std::fprintf(fp, "TS    %d\n", step);
  const bool ratio_allowed = out_node_counts != nullptr;
  for (int link = 1; link <= num_links; ++link) {
    const int type = link_types ? link_types[link] : 0;
    if (type & link_is_lake) {
      const int lake = lake_of_link ? lake_of_link[link] : 0;
      const bool known = lake >= 0 && static_cast<std::size_t>(lake) < lake_values.size();
      if (mode != lnk_value && known)
        std::fprintf(fp, "-1 %6.5lf   ", lake_values[static_cast<std::size_t>(lake)]);
      else
        std::fputs(missing_entry, fp);
    }
    if (type & link_single_value) {
      if (mode == lnk_value && in_table(values, 1, link))
        std::fprintf(fp, "-2  %6.5lf   ", values(1, link));
      else
        std::fputs(missing_entry, fp);
    }
    if (type & link_has_nodes) {
      const int have = node_counts[link];
      const int announce = out_node_counts ? out_node_counts[link] : have;
      std::fprintf(fp, "%d   ", announce);
      for (int j = 1; j <= announce; ++j) {
        if (j <= have && in_table(values, j, link))
          std::fprintf(fp, "1  %6.5lf   ",
                       node_value(values, second_values, mode, ratio_allowed, j, link));
        else
          std::fputs(missing_entry, fp);
      }
    }
    std::fputc('\n', fp);
  }
  std::fputc('\n', fp);
}

linknode_timing linknode_timing_for(const clock_state& clock, int interval_steps) {
  linknode_timing t;
  const double minutes = interval_steps * clock.dt / 60.0;
  t.time_step = static_cast<int>(minutes);
  if (t.time_step != 0)
    t.num_ts = clock.tot_time / t.time_step;
  else if (minutes > 0.0)
    t.num_ts = static_cast<int>(clock.tot_time / minutes);  // intervals shorter than a minute
  // The run's start: the clock's calendar date, or, while the calendar is
  // unset (a run whose date comes from its first event), the date of the
  // model time.
  if (clock.cur_year == 0 && clock.model_time > 0.0) {
    // To the nearest minute.
    double seconds = 0.0;
    calendar_date(clock.model_time + 30.0 / 86400.0, t.year, t.month, t.day, t.hour, t.minute, seconds);
    return t;
  }
  t.day = clock.cur_day;
  t.month = clock.cur_month;
  t.year = clock.cur_year;
  t.hour = clock.cur_hour;
  t.minute = clock.cur_minute;
  return t;
}

linknode_network channel_network_of(const channel_state& channel, const lake_state& lakes) {
  linknode_network net;
  net.node_counts = channel.nx1.data();
  net.out_node_counts = channel.og_nx1.data();
  net.link_types = channel.ltype.data();
  net.second_values = channel.bel;
  net.lake_of_link = lakes.lake2link.data();
  net.link_count = channel.num_stream_links;
  net.stride = channel.max_nodes_per_link;
  return net;
}

void init_linknode_output(model_state& ms) {
  const linknode_timing t = linknode_timing_for(ms.clock, ms.clock.hyd_write_steps);
  auto header = [&](bool on, guarded_file& f, int kind, int links) {
    if (on) write_linknode_header(f, kind, links, t.time_step, t.num_ts, t.day, t.month, t.year,
                                  t.hour, t.minute);
  };
  const int nl = ms.channel.num_stream_links;
  header(ms.output.chan_depth_given && ms.channel.chan_explic, ms.channel.chan_depth_out_file, lnk_stream_depth, nl);
  header(ms.channel.chan_explic && ms.output.chan_sed_flux_given, ms.channel.stream_sed_flux_file, lnk_stream_sed_flux, nl);
  if (ms.channel.chan_explic && ms.output.chan_sed_flux_given && ms.constituent.qsmax_total.empty())
    ms.constituent.qsmax_total.alloc(ms.channel.max_nodes_per_link, nl);  // summed per block at every write step
  header(ms.output.chan_discharge_given && ms.channel.chan_explic, ms.channel.chan_discharge_out_file, lnk_stream_flow, nl);
  header(ms.output.chan_stage_given && ms.channel.chan_explic, ms.channel.chan_stage_out_file, lnk_stream_stage, nl);
  header(ms.output.chan_velocity_given && ms.channel.chan_explic, ms.channel.chan_velocity_out_file, lnk_stream_velocity,
         nl);
  header(ms.output.flood_stream_given, ms.channel.flood_stream_file, lnk_flood_stream_depth, nl);
  const bool pipes = ms.pipe.storm_sewer_given != 0;
  header(pipes && ms.output.pipe_flow_given, ms.pipe.pipe_flow_file, lnk_superlink_flow, ms.pipe.num_slink);
  header(pipes && ms.output.pipe_head_given, ms.pipe.pipe_head_file, lnk_superlink_head, ms.pipe.num_slink);
  header(pipes && ms.output.pipe_tile_given, ms.pipe.pipe_tile_file, lnk_superlink_tile_flow, ms.pipe.num_slink);
}

namespace {

void bind_writer(mass_con_writer& w, int kind, const linknode_network& net,
                 const double* lake_source, int lake_count) {
  w.kind = kind;
  w.node_counts = net.node_counts;
  w.out_node_counts = net.out_node_counts;
  w.link_types = net.link_types;
  w.second_values = net.second_values;
  w.lake_of_link = net.lake_of_link;
  w.lake_source = lake_source;
  w.lake_count = lake_count;
  w.link_count = net.link_count;
  w.stride = net.stride;
  if (lake_count > 0) w.lake_values.grow(lake_count);
  w.table.alloc(net.stride, net.link_count);
}

}  // namespace

void mass_con_writer_alloc_a(mass_con_writer& w, int kind, const jagged_array<double>* row_values,
                             const linknode_network& net, const double* lake_source,
                             int lake_count) {
  w.source_kind = mass_con_source_node_major;
  w.row_values = row_values;
  bind_writer(w, kind, net, lake_source, lake_count);
}

void mass_con_writer_alloc_b(mass_con_writer& w, int kind, const double* flat_values,
                             const linknode_network& net, const double* lake_source,
                             int lake_count) {
  w.source_kind = mass_con_source_flat;
  w.flat_values = flat_values;
  bind_writer(w, kind, net, lake_source, lake_count);
}

void open_mass_con_files(mass_con_writer& w, std::string_view name, std::string_view part2,
                         std::string_view part3, double scale, const linknode_timing& t) {
  std::string file_name = std::string(name) + std::string(part2) + std::string(part3);
  w.scale = scale;
  if (!open_guarded_file(w.mass_file, file_name, "w")) {
    std::printf("Error: unable to open file %s\n", file_name.c_str());
    return;
  }
  write_linknode_header(w.mass_file, w.kind, w.link_count, t.time_step, t.num_ts, t.day, t.month,
                        t.year, t.hour, t.minute);
}

void write_link_node_file(mass_con_writer& w) {
  const bool have_table = !w.table.empty();
  for (int link = 1; link <= w.link_count && w.link_types; ++link) {
    const int type = w.link_types[link];
    if (type & link_has_nodes) {
      const int last = w.out_node_counts ? w.out_node_counts[link] : w.node_counts[link];
      for (int j = 1; j <= last && have_table && j <= w.table.rows(); ++j) {
        double v = 0.0;
        if (w.source_kind == mass_con_source_flat && w.flat_values) {
          v = w.flat_values[static_cast<std::size_t>(w.stride) * link + j] / w.scale;
        } else if (w.source_kind == mass_con_source_node_major && w.row_values) {
          const double* row = w.row_values->row(j);
          if (row && link <= w.row_values->row_length()) v = row[link] / w.scale;
        }
        w.table(j, link) = v;
        if (j >= w.node_counts[link]) w.table(j, link) = 0.0;
      }
    } else if ((type & link_is_lake) && w.lake_source) {
      const int lake = w.lake_of_link ? w.lake_of_link[link] : 0;
      const bool known = lake >= 0 && lake <= w.lake_count;
      // A lake outside the table is still addressed, so that the range
      // report names the array when the writer ends.
      w.lake_values[lake] = known ? w.lake_source[lake] / w.scale : 0.0;
    }
  }
  if (!w.mass_file.is_open()) {
    std::printf("Error writing to link/node file...\n");
    ++w.step;
    return;
  }
  std::span<const double> lakes;
  if (w.lake_values.count() > 0)
    lakes = std::span<const double>(w.lake_values.data(),
                                    static_cast<std::size_t>(w.lake_values.count()) + 1);
  write_linknode_step(w.mass_file, w.link_count, w.node_counts, w.out_node_counts, w.link_types,
                      w.step, w.table, nullptr, lnk_value, w.lake_of_link, lakes);
  ++w.step;
}

void correct_linknode_count(guarded_file& file, int blocks) {
  if (!file.fp || blocks < 1) return;
  std::fflush(file.fp);
  // The header through a second handle: the writer's own stream goes on
  // at the end of the file.
  guarded_file header;
  if (!open_guarded_file(header, file.name.view(), "r+")) return;
  std::FILE* rw = header.fp;
  char line[256];
  long offset = 0;
  bool found = false;
  for (int k = 1; k <= 4 && std::fgets(line, sizeof line, rw); ++k) {
    if (k < 4) {
      offset += static_cast<long>(std::strlen(line));
      continue;
    }
    found = std::strncmp(line, "NUM_TS", 6) == 0;
  }
  if (found) {
    const char* digits = line + 6;
    while (*digits == ' ') ++digits;
    const char* end = digits;
    while (*end >= '0' && *end <= '9') ++end;
    const int width = static_cast<int>(end - digits);
    const int last = blocks - 1;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%d", last);
    if (width > 0 && std::atoi(digits) != last && length <= width &&
        std::fseek(rw, offset + static_cast<long>(digits - line), SEEK_SET) == 0)
      std::fprintf(rw, "%-*d", width, last);
  }
}

void correct_linknode_counts(model_state& ms) {
  output_state& o = ms.output;
  correct_linknode_count(ms.channel.chan_depth_out_file, o.ts_chan_depth);
  correct_linknode_count(ms.channel.chan_discharge_out_file, o.ts_chan_discharge);
  correct_linknode_count(ms.channel.chan_velocity_out_file, o.ts_chan_velocity);
  correct_linknode_count(ms.channel.chan_stage_out_file, o.ts_chan_stage);
  correct_linknode_count(ms.channel.stream_sed_flux_file, o.ts_stream_sed_flux);
  correct_linknode_count(ms.channel.flood_stream_file, 1);
  correct_linknode_count(ms.pipe.pipe_flow_file, o.ts_pipe_flow);
  correct_linknode_count(ms.pipe.pipe_head_file, o.ts_pipe_head);
  correct_linknode_count(ms.pipe.pipe_tile_file, o.ts_pipe_tile);
  auto writers = [](jagged_array<mass_con_writer>& series) {
    for (int i = 1; i <= series.count(); ++i)
      if (mass_con_writer* row = series.row(i))
        for (int k = 1; k <= 2; ++k) correct_linknode_count(row[k].mass_file, row[k].step);
  };
  writers(o.channel_series);
  if (ms.constituent.nsm_out) {
    nsm_outputs2& st = ms.constituent.nsm_out->outputs2;
    writers(st.series);
    for (mass_con_writer* w : {&st.total_n_writer, &st.total_kn_writer, &st.total_p_writer})
      correct_linknode_count(w->mass_file, w->step);
  }
}

void close_shared_output_file(output_state& output) { close_guarded_file(output.qin_output_file); }

}  // namespace nivra
