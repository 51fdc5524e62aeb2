#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/bounded_reads.h"
#include "output/linknode.h"
#include "output/nsm_output.h"
#include "output/output_state.h"
#include "output/step_outputs.h"
#include "output/xy_points.h"
#include "output/zv_coupling.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Time column of the location series.
void time_column(std::FILE* fp, const model_state& ms) {
  if (ms.clock.long_term)
    std::fprintf(fp, "%16.8lf ", ms.output.lt_time_stamp);
  else
    std::fprintf(fp, "%14.8lf ", ms.clock.elapsed_min);
}

// Time of the outlet series: minutes, Julian days or the long-term stamp.
double series_time(const model_state& ms) {
  if (ms.clock.long_term) return ms.output.lt_time_stamp;
  return ms.clock.strict_julian_date ? ms.clock.model_time : ms.clock.elapsed_min;
}

int cell_at(const grid_state& grid, int row, int col) { return at(grid.mask, row, col); }

void outlet_hydrograph(model_state& ms, double qf) {
  const double q = ms.overland.qout * qf;
  const bool cfs = ms.output.qout_cfs != 0;
  const double t = series_time(ms);
  if (std::FILE* fp = ms.output.outlet_hydro_file.fp) {
    if (ms.clock.long_term)
      std::fprintf(fp, "%16.8lf %11.4lf\n", t, q);
    else if (ms.clock.strict_julian_date)
      cfs ? std::fprintf(fp, "%16.8lf %10.3lf\n", t, q) : std::fprintf(fp, "%16.8lf %9.3lf\n", t, q);
    else
      cfs ? std::fprintf(fp, "%8.2lf %10.3lf\n", t, q) : std::fprintf(fp, "%8.2lf %9.3lf\n", t, q);
  }
  // Decimal years and Julian days take the digits that keep a step's time
  // apart from the next, as the outlet hydrograph's do.
  if (ms.output.sig_outlet_hydro_given && ms.output.hyd_6digit_file.fp)
    std::fprintf(ms.output.hyd_6digit_file.fp,
                 ms.clock.long_term || ms.clock.strict_julian_date ? "%16.8lf %12.6lf\n" : "%8.2lf %12.6lf\n", t, q);
  ++ms.output.hydro_line_count;
}

void outlet_sediment(model_state& ms, double qf, int outlet) {
  if (!ms.constituent.soil_erosion_on) return;
  std::FILE* fp = ms.constituent.outlet_sed_flux_file.fp;
  const double t = series_time(ms);
  const bool cfs = ms.output.qout_cfs != 0;
  if (ms.constituent.chan_sed_on) {
    if (fp) {
      if (ms.clock.long_term)
        std::fprintf(fp, "%16.8lf", t);
      else if (ms.clock.strict_julian_date)
        cfs ? std::fprintf(fp, "%16.8lf ", t) : std::fprintf(fp, "%16.10lf", t);
      else
        cfs ? std::fprintf(fp, "%16.8lf", t) : std::fprintf(fp, "%16.10lf", t);
      for (int j = 1; j <= ms.constituent.n_fine_classes; ++j)
        std::fprintf(fp, " %16.10lf", at(ms.constituent.chan_fine_out, j) * qf);
      for (int k = 1; k <= ms.constituent.n_sand_classes + 1; ++k)
        std::fprintf(fp, " %16.10lf", at(ms.constituent.chan_sand_out, k) * qf);
      std::fputc('\n', fp);
    }
    if (ms.constituent.outlet_sed_tss && ms.constituent.outlet_sed_tss_file.fp)
      std::fprintf(ms.constituent.outlet_sed_tss_file.fp, "%16.4lf %16.4lf \n", t,
                   at(ms.constituent.chan_sed_conc, outlet, 0));
    return;
  }
  if (!fp) return;
  const double step_s = ms.clock.ov_dt > 0.0 ? ms.clock.ov_dt : ms.clock.dt;
  const double vol = ms.constituent.ov_sed ? ms.constituent.ov_sed->outlet_last_vol : 0.0;
  std::fprintf(fp, "%16.8lf %16.10lf\n", t, step_s > 0.0 ? vol / step_s * qf : 0.0);
}

void location_series(model_state& ms, double qf) {
  const int stride = ms.channel.max_nodes_per_link;
  if (ms.output.in_hyd_location_given && ms.output.out_hyd_location_file.fp) {
    std::FILE* fp = ms.output.out_hyd_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.num_hyd_locations; ++i)
      std::fprintf(fp, "%12.6lf ", at(ms.channel.qp, at(ms.output.hnode, i), at(ms.output.hlink, i)) * qf);
    std::fputc('\n', fp);
  }
  if (ms.output.in_gwflux_location_given && ms.groundwater.out_gw_flux_location_file.fp) {
    std::FILE* fp = ms.groundwater.out_gw_flux_location_file.fp;
    const int steps = ms.clock.hyd_write_steps > 0 ? ms.clock.hyd_write_steps : 1;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.num_gwflux_locations; ++i) {
      const int link = at(ms.output.gwflink, i), node = at(ms.output.gwfnode, i);
      const double v = at(ms.groundwater.av_qriv, node, link) / steps * at(ms.channel.link_dx, link) * qf;
      std::fprintf(fp, "%12.6lf ", v);
      if (!ms.groundwater.av_qriv.empty() && node >= 0 && node <= ms.groundwater.av_qriv.rows() && link >= 0 &&
          link <= ms.groundwater.av_qriv.cols())
        ms.groundwater.av_qriv(node, link) = 0.0;
    }
    std::fputc('\n', fp);
  }
  if (ms.output.in_celldepdis_location_given && ms.output.out_dep_dis_location_file.fp) {
    std::FILE* fp = ms.output.out_dep_dis_location_file.fp;
    // The depths belong to this step, not to the last map output time.
    fill_depth_output(ms);
    if (ms.clock.long_term)
      std::fprintf(fp, "%16.8lf     ", ms.output.lt_time_stamp);
    else
      std::fprintf(fp, "%14.8lf     ", ms.clock.elapsed_min);
    if (!ms.output.qout_cfs)
      for (int i = 1; i <= ms.output.num_cell_locations; ++i)
        std::fprintf(fp, "%12.6lf  ", at(ms.output.depth_output, at(ms.output.gnumlocater, i)));
    std::fputs("        ", fp);
    for (int i = 1; i <= ms.output.num_cell_locations; ++i) {
      const int c = at(ms.output.gnumlocater, i);
      const double qx = at(ms.overland.ov_qx, c), qy = at(ms.overland.ov_qy, c);
      std::fprintf(fp, "%12.6lf  ", std::sqrt(qx * qx + qy * qy) * qf);
    }
    std::fputc('\n', fp);
  }
  if (ms.pipe.storm_sewer_given) {
    if (ms.output.superlink_junc_flow_given && ms.pipe.superjunction_output_file.fp) {
      std::FILE* fp = ms.pipe.superjunction_output_file.fp;
      time_column(fp, ms);
      for (int i = 1; i <= ms.output.num_sjunc_locations; ++i)
        std::fprintf(fp, "%12.6lf ", at(ms.pipe.sjunc_flow, at(ms.output.sjunc, i)) * qf);
      std::fputc('\n', fp);
    }
    if (ms.output.superlink_node_flow_given && ms.pipe.superlink_node_output_file.fp) {
      std::FILE* fp = ms.pipe.superlink_node_output_file.fp;
      time_column(fp, ms);
      for (int i = 1; i <= ms.output.num_slink_locations; ++i) {
        const int l = at(ms.output.sl_link, i);
        const int n = ms.pipe.superlink_c_opt ? at(ms.pipe.otc_node, at(ms.output.sl_node, i), l) : at(ms.output.sl_node, i);
        std::fprintf(fp, "%12.6lf ", at(ms.pipe.Q_node, n, l) * qf);
      }
      std::fputc('\n', fp);
    }
  }
  if (ms.output.out_dep_location_given && ms.output.out_dep_location_file.fp) {
    std::FILE* fp = ms.output.out_dep_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.num_hyd_locations; ++i)
      std::fprintf(fp, "%12.6lf ", at(ms.channel.chan_depth, at(ms.output.hnode, i), at(ms.output.hlink, i)));
    std::fputc('\n', fp);
  }
  if (ms.output.out_con_location_given && ms.output.out_con_location_file.fp) {
    std::FILE* fp = ms.output.out_con_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.num_hyd_locations; ++i) {
      const int flat = at(ms.output.hlink, i) * stride + at(ms.output.hnode, i);
      for (int c = 1; c <= ms.constituent.num_constituents; ++c)
        std::fprintf(fp, "%12.6lf ", at(ms.constituent.chan_conc, c, flat));
    }
    std::fputc('\n', fp);
  }
  if (ms.output.out_mass_location_given && ms.output.out_mass_location_file.fp) {
    std::FILE* fp = ms.output.out_mass_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.num_hyd_locations; ++i) {
      const int flat = at(ms.output.hlink, i) * stride + at(ms.output.hnode, i);
      for (int c = 1; c <= ms.constituent.num_constituents; ++c) {
        std::fprintf(fp, "%12.6lf ", at(ms.constituent.dissolved_chan_flux, c, flat));
        if (ms.constituent.sediment_contam) std::fprintf(fp, "%12.6lf ", at(ms.constituent.attached_chan_flux, c, flat));
      }
    }
    std::fputc('\n', fp);
  }
}

void soil_moisture_locations(model_state& ms) {
  if (!ms.output.in_theta_location_given || !ms.soil.out_theta_location_file.fp) return;
  std::FILE* fp = ms.soil.out_theta_location_file.fp;
  time_column(fp, ms);
  if (ms.soil.inf_richards) {
    for (int loc = 1; loc <= ms.output.n_theta_loc; ++loc) {
      const int c = at(ms.output.cell_loc, loc);
      for (int k = 1; k <= at(ms.output.cell_num, loc); ++k)
        std::fprintf(fp, "%12.6lf ", at(ms.soil.THETA, c, at(ms.output.theta_loc_layers, loc, k)));
    }
  } else if (!(ms.soil.sm_accounting && ms.clock.long_term)) {
    for (int loc = 1; loc <= ms.output.n_theta_loc; ++loc)
      std::fprintf(fp, "%12.6lf ", at(ms.soil.surface_moisture, at(ms.output.cell_loc, loc)));
  } else {
    for (int loc = 1; loc <= ms.output.n_theta_loc; ++loc) {
      const int c = at(ms.output.cell_loc, loc);
      if (ms.soil.inf_layered_soil) {
        const int cls = at(ms.soil.soiltype, c);
        if (cls >= 0 && cls <= ms.soil.multilayer_soil_table.size() && !ms.soil.multilayer_soil_table.empty())
          ms.soil.top_layer_depth = ms.soil.multilayer_soil_table[cls].real(23);
      }
      const double depth = at(ms.soil.sm_depth, c);
      const double top = at(ms.soil.sm_water_top, c);
      double a, b;
      if (ms.soil.top_layer_depth > depth) {
        a = top / depth;
        b = 999.99;
      } else {
        a = top / ms.soil.top_layer_depth;
        b = at(ms.soil.sm_water_bottom, c) / (depth - ms.soil.top_layer_depth);
      }
      std::fprintf(fp, "%12.6lf %12.6lf ", a, b);
    }
  }
  std::fputc('\n', fp);
}

void point_series(model_state& ms, double qf) {
  if (ms.output.gw_well_level_given && ms.groundwater.well_level_file.fp) {
    std::FILE* fp = ms.groundwater.well_level_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.groundwater.num_wells; ++i)
      std::fprintf(fp, "%12.6lf ",
                   at(ms.groundwater.elevgw, cell_at(ms.grid, at(ms.groundwater.well_row, i), at(ms.groundwater.well_column, i))));
    std::fputc('\n', fp);
  }
  if (ms.output.overland_depths_given && ms.output.overland_depths_file.fp) {
    std::FILE* fp = ms.output.overland_depths_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.n_overland_depth_locs; ++i)
      std::fprintf(fp, "%12.6lf ", cell_water_depth(ms, cell_at(ms.grid, at(ms.output.overland_depth_row, i),
                                                                at(ms.output.overland_depth_col, i))));
    std::fputc('\n', fp);
  }
  if (ms.output.overland_wse_given && ms.output.overland_wse_file.fp) {
    std::FILE* fp = ms.output.overland_wse_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.n_overland_wse_locs; ++i) {
      const int c = cell_at(ms.grid, at(ms.output.overland_wse_row, i), at(ms.output.overland_wse_col, i));
      std::fprintf(fp, "%12.6lf ", at(ms.grid.elevation, c) + cell_water_depth(ms, c));
    }
    std::fputc('\n', fp);
  }
  // The channel lakes' levels and volumes, then the overland lakes'.
  if ((ms.lake.chan_lakes || ms.lake.overland_lake_map_given) && ms.output.lake_output_given &&
      ms.lake.lake_output_file.fp) {
    std::FILE* fp = ms.lake.lake_output_file.fp;
    if (ms.clock.long_term) {
      int y, mo, d, h, mi;
      double s;
      calendar_date(ms.clock.model_time, y, mo, d, h, mi, s);
      std::fprintf(fp, "%4d %2d %2d %2d %2d ", y, mo, d, h, mi);
    } else {
      std::fprintf(fp, "%14.8lf ", ms.clock.elapsed_min);
    }
    if (ms.lake.chan_lakes)
      for (int l = 1; l <= ms.lake.num_lakes; ++l)
        std::fprintf(fp, "%9.3lf  %9.3lf ", at(ms.lake.lake_elev, l), at(ms.lake.lake_volume, l));
    if (ms.lake.overland_lake_map_given)
      for (int l = 1; l <= ms.lake.num_olakes && l <= ms.lake.olake_table.size(); ++l)
        std::fprintf(fp, "%9.3lf  %9.3lf ", ms.lake.olake_table[l].value[olake_value::level],
                     ms.lake.olake_table[l].value[olake_value::volume]);
    std::fputc('\n', fp);
  }
  const int stride = ms.channel.max_nodes_per_link;
  if (ms.constituent.chan_sed_on && ms.constituent.in_sed_loc && ms.constituent.out_sed_hyd_location_file.fp) {
    std::FILE* fp = ms.constituent.out_sed_hyd_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.n_sed_loc; ++i) {
      const int flat = at(ms.output.slink, i) * stride + at(ms.output.snode, i);
      for (int j = 1; j <= ms.constituent.n_fine_classes; ++j)
        std::fprintf(fp, "%16.10lf ", at(ms.constituent.qsmax, flat, j) * qf);
      for (int k = 1; k <= ms.constituent.n_sand_classes + 1; ++k)
        std::fprintf(fp, "%16.10lf ", at(ms.constituent.qsmax, flat, ms.constituent.n_fine_classes + k) * qf);
    }
    std::fputc('\n', fp);
  }
  if (ms.constituent.chan_sed_on && ms.constituent.out_tss_loc && ms.constituent.out_tss_loc_file.fp) {
    std::FILE* fp = ms.constituent.out_tss_loc_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.output.n_sed_loc; ++i)
      std::fprintf(fp, "%16.4lf", at(ms.constituent.chan_sed_conc, at(ms.output.slink, i) * stride + at(ms.output.snode, i), 0));
    std::fputc('\n', fp);
  }
}

void channel_blocks(model_state& ms) {
  const int nl = ms.channel.num_stream_links;
  const std::span<const double> lakes = lake_values_of(ms.lake.lake_elev);
  const int* nx = ms.channel.nx.data();
  const int* og = ms.channel.og_nx1.data();
  const int* lt = ms.channel.ltype.data();
  const int* l2l = ms.lake.lake2link.data();
  if (!nx || !lt) return;
  auto block = [&](bool on, guarded_file& f, int& counter, node_table v, node_table second, int mode) {
    if (!on || !f.fp) return;
    write_linknode_step(f, nl, nx, og, lt, counter, v, second, mode, l2l, lakes);
    ++counter;
  };
  block(ms.output.chan_depth_given && ms.channel.chan_explic, ms.channel.chan_depth_out_file, ms.output.ts_chan_depth, ms.channel.yp,
        &ms.channel.bel, lnk_minus_second);
  if (ms.constituent.chan_sed_on && ms.output.chan_sed_flux_given && ms.channel.stream_sed_flux_file.fp) {
    if (ms.constituent.qsmax_total.empty()) ms.constituent.qsmax_total.alloc(ms.channel.max_nodes_per_link, nl);
    for (int link = 1; link <= nl && !ms.constituent.qsmax_total.empty(); ++link) {
      for (int node = 1; node <= nx[link] && node <= ms.constituent.qsmax_total.rows(); ++node) {
        double sum = 0.0;
        const int flat = ms.channel.max_nodes_per_link * link + node;
        for (int k = 1; k <= ms.constituent.n_sed_classes; ++k) sum += at(ms.constituent.qsmax, flat, k);
        ms.constituent.qsmax_total(node, link) = sum * 1000000.0;
      }
    }
    block(true, ms.channel.stream_sed_flux_file, ms.output.ts_stream_sed_flux, ms.constituent.qsmax_total, nullptr,
          lnk_value);
    ms.constituent.qsmax_total.fill(0.0);
  }
  block(ms.output.chan_discharge_given && ms.channel.chan_explic, ms.channel.chan_discharge_out_file,
        ms.output.ts_chan_discharge, ms.channel.qp, nullptr, lnk_value);
  block(ms.output.chan_velocity_given && ms.channel.chan_explic, ms.channel.chan_velocity_out_file, ms.output.ts_chan_velocity,
        ms.channel.qp, &ms.channel.area, lnk_over_second);
  block(ms.output.chan_stage_given && ms.channel.chan_explic, ms.channel.chan_stage_out_file, ms.output.ts_chan_stage, ms.channel.yp,
        &ms.channel.bel, lnk_value);
}

// One pipe-network block: each superlink announces the entries it carries,
// `counts` of them (its computational pipes for flows and depths, the pipes
// of its input for the tile drains) and `extra` more.
void pipe_block(guarded_file& f, int& counter, const pipe_state& pipe, const pipe_node_array<double>& v,
                const array1d<int>& counts, int extra) {
  std::FILE* fp = f.fp;
  if (!fp) return;
  std::fprintf(fp, "TS    %d\n", counter);
  for (int s = 1; s <= pipe.num_slink; ++s) {
    const int n = at(counts, s) + extra;
    std::fprintf(fp, "%d   ", n);
    for (int k = 1; k <= n; ++k) std::fprintf(fp, "1  %6.5lf   ", at(v, k, s));
    std::fputc('\n', fp);
  }
  std::fputc('\n', fp);
  ++counter;
}

void pipe_blocks(model_state& ms) {
  if (!ms.pipe.storm_sewer_given) return;
  pipe_state& p = ms.pipe;
  if (ms.output.pipe_flow_given)
    pipe_block(p.pipe_flow_file, ms.output.ts_pipe_flow, p, p.Q_node, p.superlink_cnodes, 0);
  if (ms.output.pipe_head_given)
    pipe_block(p.pipe_head_file, ms.output.ts_pipe_head, p, p.slink_node_depth, p.superlink_cnodes, 1);
  if (ms.output.pipe_tile_given && p.gw_to_tile)
    pipe_block(p.pipe_tile_file, ms.output.ts_pipe_tile, p, p.superlink_tile_flow, p.nnodes, 0);
}

}  // namespace

bool hydrograph_step_due(const clock_state& clock) {
  const int n = clock.hyd_write_steps > 0 ? clock.hyd_write_steps : 1;
  return clock.step_count % n == 0;
}

bool map_step_due(const clock_state& clock) {
  const int n = clock.map_write_steps > 0 ? clock.map_write_steps : 1;
  return (clock.step_count - 1) % n == 0;
}

double long_term_time_stamp(const clock_state& clock) {
  if (clock.strict_julian_date) return clock.model_time;
  const double minutes_in_year = ((clock.cur_year - 1900) % 4 == 0) ? 527040.0 : 525600.0;
  // The minutes elapsed in the year: day_of_year counts 1 January as day 1,
  // which has no whole day behind it.
  const double elapsed = (clock.day_of_year - 1) * 1440.0 + clock.cur_hour * 60.0 + clock.cur_minute;
  return clock.cur_year + elapsed / minutes_in_year;
}

void write_time_series_output(model_state& ms) {
  const bool output_step = hydrograph_step_due(ms.clock);
  zv_output_step(ms, output_step);
  if (!output_step) return;
  const double qf = ms.output.qout_cfs ? ms.output.cfs_per_cms : 1.0;
  int outlet = 0;
  if (ms.channel.chan_explic && ms.channel.num_stream_links >= 1)
    outlet = ms.channel.num_stream_links * ms.channel.max_nodes_per_link + at(ms.channel.nx, ms.channel.num_stream_links);
  if (ms.clock.long_term) ms.output.lt_time_stamp = long_term_time_stamp(ms.clock);

  if (ms.output.zv_discharge_out && ms.output.qin_output_file.fp)
    std::fprintf(ms.output.qin_output_file.fp, "%-8.1lf %-7.1f\n",
                 ms.clock.day_of_year + ms.clock.cur_hour / 24.0 + ms.clock.cur_minute / 1440.0,
                 static_cast<double>(static_cast<float>(ms.overland.qout)));

  outlet_hydrograph(ms, qf);
  outlet_sediment(ms, qf, outlet);
  location_series(ms, qf);
  soil_moisture_locations(ms);
  point_series(ms, qf);

  if (ms.output.outlet_hydro_file.fp) std::fflush(ms.output.outlet_hydro_file.fp);
  if (ms.output.sig_outlet_hydro_given && ms.output.hyd_6digit_file.fp) std::fflush(ms.output.hyd_6digit_file.fp);

  channel_blocks(ms);
  pipe_blocks(ms);
  if (ms.constituent.nutrients) write_hydrograph_line(ms);
  if (ms.output.constituent_series_count > 0 && ms.constituent.chan_con_trans) {
    for (int i = 1; i <= ms.output.constituent_series_count; ++i) {
      if (mass_con_writer* row = ms.output.channel_series.row(i)) {
        write_link_node_file(row[1]);
        write_link_node_file(row[2]);
      }
    }
  }
  if (ms.output.xybdyoutput_on) write_xy_output_step(ms.output.xy_out, ms.clock.model_time);
}

}  // namespace nivra
