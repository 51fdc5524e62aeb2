#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "model/model_state.h"
#include "output/bounded_reads.h"
#include "output/linknode.h"
#include "output/nsm_output.h"
#include "output/step_outputs.h"

namespace nivra {

namespace {

// Time column of the location series.
void time_column(std::FILE* fp, const model_state& ms) {
  if (ms.long_term)
    std::fprintf(fp, "%16.8lf ", ms.lt_time_stamp);
  else
    std::fprintf(fp, "%14.8lf ", ms.elapsed_min);
}

// Time of the outlet series: minutes, Julian days or the long-term stamp.
double series_time(const model_state& ms) {
  if (ms.long_term) return ms.lt_time_stamp;
  return ms.strict_julian_date ? ms.model_time : ms.elapsed_min;
}

int cell_at(const model_state& ms, int row, int col) { return at(ms.mask, row, col); }

void outlet_hydrograph(model_state& ms, double qf) {
  const double q = ms.qout * qf;
  const bool cfs = ms.qout_cfs != 0;
  const double t = series_time(ms);
  if (std::FILE* fp = ms.outlet_hydro_file.fp) {
    if (ms.long_term)
      std::fprintf(fp, "%16.8lf %11.4lf\n", t, q);
    else if (ms.strict_julian_date)
      cfs ? std::fprintf(fp, "%16.8lf %10.3lf\n", t, q) : std::fprintf(fp, "%16.8lf %9.3lf\n", t, q);
    else
      cfs ? std::fprintf(fp, "%8.2lf %10.3lf\n", t, q) : std::fprintf(fp, "%8.2lf %9.3lf\n", t, q);
  }
  if (ms.sig_outlet_hydro_given && ms.hyd_6digit_file.fp)
    std::fprintf(ms.hyd_6digit_file.fp, "%8.2lf %12.6lf\n", t, q);
  ++ms.hydro_line_count;
}

void outlet_sediment(model_state& ms, double qf, int outlet) {
  if (!ms.soil_erosion_on) return;
  std::FILE* fp = ms.outlet_sed_flux_file.fp;
  const double t = series_time(ms);
  const bool cfs = ms.qout_cfs != 0;
  if (ms.chan_sed_on) {
    if (fp) {
      if (ms.long_term)
        std::fprintf(fp, "%16.8lf", t);
      else if (ms.strict_julian_date)
        cfs ? std::fprintf(fp, "%16.8lf ", t) : std::fprintf(fp, "%16.10lf", t);
      else
        cfs ? std::fprintf(fp, "%16.8lf", t) : std::fprintf(fp, "%16.10lf", t);
      for (int j = 1; j <= ms.n_fine_classes; ++j)
        std::fprintf(fp, " %16.10lf", at(ms.chan_fine_out, j) * qf);
      for (int k = 1; k <= ms.n_sand_classes + 1; ++k)
        std::fprintf(fp, " %16.10lf", at(ms.chan_sand_out, k) * qf);
      std::fputc('\n', fp);
    }
    if (ms.outlet_sed_tss && ms.outlet_sed_tss_file.fp)
      std::fprintf(ms.outlet_sed_tss_file.fp, "%16.4lf %16.4lf \n", t,
                   at(ms.chan_sed_conc, outlet, 0));
    return;
  }
  if (!fp) return;
  const double step_s = ms.run_control.timestep > 0.0 ? ms.run_control.timestep : ms.dt;
  const double vol = ms.ov_sed ? ms.ov_sed->outlet_last_vol : 0.0;
  std::fprintf(fp, "%16.8lf %16.10lf\n", t, step_s > 0.0 ? vol / step_s * qf : 0.0);
}

void location_series(model_state& ms, double qf) {
  const int stride = ms.max_nodes_per_link;
  if (ms.in_hyd_location_given && ms.out_hyd_location_file.fp) {
    std::FILE* fp = ms.out_hyd_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_hyd_locations; ++i)
      std::fprintf(fp, "%12.6lf ", at(ms.qp, at(ms.hnode, i), at(ms.hlink, i)) * qf);
    std::fputc('\n', fp);
  }
  if (ms.in_gwflux_location_given && ms.out_gw_flux_location_file.fp) {
    std::FILE* fp = ms.out_gw_flux_location_file.fp;
    const int steps = ms.hyd_write_steps > 0 ? ms.hyd_write_steps : 1;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_gwflux_locations; ++i) {
      const int link = at(ms.gwflink, i), node = at(ms.gwfnode, i);
      const double v = at(ms.av_qriv, node, link) / steps * at(ms.link_dx, link) * qf;
      std::fprintf(fp, "%12.6lf ", v);
      if (!ms.av_qriv.empty() && node >= 0 && node <= ms.av_qriv.rows() && link >= 0 &&
          link <= ms.av_qriv.cols())
        ms.av_qriv(node, link) = 0.0;
    }
    std::fputc('\n', fp);
  }
  if (ms.in_celldepdis_location_given && ms.out_dep_dis_location_file.fp) {
    std::FILE* fp = ms.out_dep_dis_location_file.fp;
    // The depths belong to this step, not to the last map output time.
    fill_depth_output(ms);
    if (ms.long_term)
      std::fprintf(fp, "%16.8lf     ", ms.lt_time_stamp);
    else
      std::fprintf(fp, "%14.8lf     ", ms.elapsed_min);
    if (!ms.qout_cfs)
      for (int i = 1; i <= ms.num_cell_locations; ++i)
        std::fprintf(fp, "%12.6lf  ", at(ms.depth_output, at(ms.gnumlocater, i)));
    std::fputs("        ", fp);
    for (int i = 1; i <= ms.num_cell_locations; ++i) {
      const int c = at(ms.gnumlocater, i);
      const double qx = at(ms.ov_qx, c), qy = at(ms.ov_qy, c);
      std::fprintf(fp, "%12.6lf  ", std::sqrt(qx * qx + qy * qy) * qf);
    }
    std::fputc('\n', fp);
  }
  if (ms.storm_sewer_given) {
    if (ms.superlink_junc_flow_given && ms.superjunction_output_file.fp) {
      std::FILE* fp = ms.superjunction_output_file.fp;
      time_column(fp, ms);
      for (int i = 1; i <= ms.num_sjunc_locations; ++i)
        std::fprintf(fp, "%12.6lf ", at(ms.sjunc_flow, at(ms.sjunc, i)) * qf);
      std::fputc('\n', fp);
    }
    if (ms.superlink_node_flow_given && ms.superlink_node_output_file.fp) {
      std::FILE* fp = ms.superlink_node_output_file.fp;
      time_column(fp, ms);
      for (int i = 1; i <= ms.num_slink_locations; ++i) {
        const int l = at(ms.sl_link, i);
        const int n = ms.superlink_c_opt ? at(ms.otc_node, at(ms.sl_node, i), l) : at(ms.sl_node, i);
        std::fprintf(fp, "%12.6lf ", at(ms.Q_node, n, l) * qf);
      }
      std::fputc('\n', fp);
    }
  }
  if (ms.out_dep_location_given && ms.out_dep_location_file.fp) {
    std::FILE* fp = ms.out_dep_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_hyd_locations; ++i)
      std::fprintf(fp, "%12.6lf ", at(ms.chan_depth, at(ms.hnode, i), at(ms.hlink, i)));
    std::fputc('\n', fp);
  }
  if (ms.out_con_location_given && ms.out_con_location_file.fp) {
    std::FILE* fp = ms.out_con_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_hyd_locations; ++i) {
      const int flat = at(ms.hlink, i) * stride + at(ms.hnode, i);
      for (int c = 1; c <= ms.num_constituents; ++c)
        std::fprintf(fp, "%12.6lf ", at(ms.chan_conc, c, flat));
    }
    std::fputc('\n', fp);
  }
  if (ms.out_mass_location_given && ms.out_mass_location_file.fp) {
    std::FILE* fp = ms.out_mass_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_hyd_locations; ++i) {
      const int flat = at(ms.hlink, i) * stride + at(ms.hnode, i);
      for (int c = 1; c <= ms.num_constituents; ++c) {
        std::fprintf(fp, "%12.6lf ", at(ms.dissolved_chan_flux, c, flat));
        if (ms.sediment_contam) std::fprintf(fp, "%12.6lf ", at(ms.attached_chan_flux, c, flat));
      }
    }
    std::fputc('\n', fp);
  }
}

void soil_moisture_locations(model_state& ms) {
  if (!ms.in_theta_location_given || !ms.out_theta_location_file.fp) return;
  std::FILE* fp = ms.out_theta_location_file.fp;
  time_column(fp, ms);
  if (ms.inf_richards) {
    for (int loc = 1; loc <= ms.n_theta_loc; ++loc) {
      const int c = at(ms.cell_loc, loc);
      for (int k = 1; k <= at(ms.cell_num, loc); ++k)
        std::fprintf(fp, "%12.6lf ", at(ms.THETA, c, at(ms.theta_loc_layers, loc, k)));
    }
  } else if (!(ms.sm_accounting && ms.long_term)) {
    for (int loc = 1; loc <= ms.n_theta_loc; ++loc)
      std::fprintf(fp, "%12.6lf ", at(ms.surface_moisture, at(ms.cell_loc, loc)));
  } else {
    for (int loc = 1; loc <= ms.n_theta_loc; ++loc) {
      const int c = at(ms.cell_loc, loc);
      if (ms.inf_layered_soil) {
        const int cls = at(ms.soiltype, c);
        if (cls >= 0 && cls <= ms.multilayer_soil_table.size() && !ms.multilayer_soil_table.empty())
          ms.top_layer_depth = ms.multilayer_soil_table[cls].real(23);
      }
      const double depth = at(ms.sm_depth, c);
      const double top = at(ms.sm_water_top, c);
      double a, b;
      if (ms.top_layer_depth > depth) {
        a = top / depth;
        b = 999.99;
      } else {
        a = top / ms.top_layer_depth;
        b = at(ms.sm_water_bottom, c) / (depth - ms.top_layer_depth);
      }
      std::fprintf(fp, "%12.6lf %12.6lf ", a, b);
    }
  }
  std::fputc('\n', fp);
}

void point_series(model_state& ms, double qf) {
  if (ms.gw_well_level_given && ms.well_level_file.fp) {
    std::FILE* fp = ms.well_level_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.num_wells; ++i)
      std::fprintf(fp, "%12.6lf ",
                   at(ms.elevgw, cell_at(ms, at(ms.well_row, i), at(ms.well_column, i))));
    std::fputc('\n', fp);
  }
  if (ms.overland_depths_given && ms.overland_depths_file.fp) {
    std::FILE* fp = ms.overland_depths_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.n_overland_depth_locs; ++i)
      std::fprintf(fp, "%12.6lf ", at(ms.ov_depth, cell_at(ms, at(ms.overland_depth_row, i),
                                                           at(ms.overland_depth_col, i))));
    std::fputc('\n', fp);
  }
  if (ms.overland_wse_given && ms.overland_wse_file.fp) {
    std::FILE* fp = ms.overland_wse_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.n_overland_wse_locs; ++i) {
      const int c = cell_at(ms, at(ms.overland_wse_row, i), at(ms.overland_wse_col, i));
      std::fprintf(fp, "%12.6lf ", at(ms.elevation, c) + at(ms.ov_depth, c));
    }
    std::fputc('\n', fp);
  }
  if (ms.chan_lakes && ms.lake_output_given && ms.lake_output_file.fp) {
    std::FILE* fp = ms.lake_output_file.fp;
    if (ms.long_term) {
      int y, mo, d, h, mi;
      double s;
      calendar_date(ms.model_time, y, mo, d, h, mi, s);
      std::fprintf(fp, "%4d %2d %2d %2d %2d ", y, mo, d, h, mi);
    } else {
      std::fprintf(fp, "%14.8lf ", ms.elapsed_min);
    }
    for (int l = 1; l <= ms.num_lakes; ++l)
      std::fprintf(fp, "%9.3lf  %9.3lf ", at(ms.lake_elev, l), at(ms.lake_volume, l));
    std::fputc('\n', fp);
  }
  const int stride = ms.max_nodes_per_link;
  if (ms.chan_sed_on && ms.in_sed_loc && ms.out_sed_hyd_location_file.fp) {
    std::FILE* fp = ms.out_sed_hyd_location_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.n_sed_loc; ++i) {
      const int flat = at(ms.slink, i) * stride + at(ms.snode, i);
      for (int j = 1; j <= ms.n_fine_classes; ++j)
        std::fprintf(fp, "%16.10lf ", at(ms.qsmax, flat, j) * qf);
      for (int k = 1; k <= ms.n_sand_classes + 1; ++k)
        std::fprintf(fp, "%16.10lf ", at(ms.qsmax, flat, ms.n_fine_classes + k) * qf);
    }
    std::fputc('\n', fp);
  }
  if (ms.chan_sed_on && ms.out_tss_loc && ms.out_tss_loc_file.fp) {
    std::FILE* fp = ms.out_tss_loc_file.fp;
    time_column(fp, ms);
    for (int i = 1; i <= ms.n_sed_loc; ++i)
      std::fprintf(fp, "%16.4lf", at(ms.chan_sed_conc, at(ms.slink, i) * stride + at(ms.snode, i), 0));
    std::fputc('\n', fp);
  }
}

void channel_blocks(model_state& ms) {
  const int nl = ms.num_stream_links;
  const std::span<const double> lakes = lake_values_of(ms.lake_elev);
  const int* nx = ms.nx.data();
  const int* og = ms.og_nx1.data();
  const int* lt = ms.ltype.data();
  const int* l2l = ms.lake2link.data();
  if (!nx || !lt) return;
  auto block = [&](bool on, guarded_file& f, int& counter, const array2d<double>& v,
                   const array2d<double>* second, int mode) {
    if (!on || !f.fp) return;
    write_linknode_step(f, nl, nx, og, lt, counter, v, second, mode, l2l, lakes);
    ++counter;
  };
  block(ms.chan_depth_given && ms.chan_explic, ms.chan_depth_out_file, ms.ts_chan_depth, ms.yp,
        &ms.bel, 1);
  if (ms.chan_sed_on && ms.chan_sed_flux_given && ms.stream_sed_flux_file.fp) {
    if (ms.qsmax_total.empty()) ms.qsmax_total.alloc(ms.max_nodes_per_link, nl);
    for (int link = 1; link <= nl && !ms.qsmax_total.empty(); ++link) {
      for (int node = 1; node <= nx[link] && node <= ms.qsmax_total.rows(); ++node) {
        double sum = 0.0;
        const int flat = ms.max_nodes_per_link * link + node;
        for (int k = 1; k <= ms.n_sed_classes; ++k) sum += at(ms.qsmax, flat, k);
        ms.qsmax_total(node, link) = sum * 1000000.0;
      }
    }
    block(true, ms.stream_sed_flux_file, ms.ts_stream_sed_flux, ms.qsmax_total, nullptr, 0);
    ms.qsmax_total.fill(0.0);
  }
  block(ms.chan_discharge_given && ms.chan_explic, ms.chan_discharge_out_file,
        ms.ts_chan_discharge, ms.qp, nullptr, 0);
  block(ms.chan_velocity_given && ms.chan_explic, ms.chan_velocity_out_file, ms.ts_chan_velocity,
        ms.qp, &ms.area, 2);
  block(ms.chan_stage_given && ms.chan_explic, ms.chan_stage_out_file, ms.ts_chan_stage, ms.yp,
        &ms.bel, 0);
}

// One pipe-network block: each superlink announces the entries it carries.
void pipe_block(guarded_file& f, int& counter, const model_state& ms, const array2d<double>& v,
                int extra) {
  std::FILE* fp = f.fp;
  if (!fp) return;
  std::fprintf(fp, "TS    %d\n", counter);
  for (int s = 1; s <= ms.num_slink; ++s) {
    const int n = at(ms.nnodes, s) + extra;
    std::fprintf(fp, "%d   ", n);
    for (int k = 1; k <= n; ++k) std::fprintf(fp, "1  %6.5lf   ", at(v, k, s));
    std::fputc('\n', fp);
  }
  std::fputc('\n', fp);
  ++counter;
}

void pipe_blocks(model_state& ms) {
  if (!ms.storm_sewer_given) return;
  if (ms.pipe_flow_given) pipe_block(ms.pipe_flow_file, ms.ts_pipe_flow, ms, ms.Q_node, 0);
  if (ms.pipe_head_given)
    pipe_block(ms.pipe_head_file, ms.ts_pipe_head, ms, ms.slink_node_depth, 1);
  if (ms.pipe_tile_given && ms.gw_to_tile)
    pipe_block(ms.pipe_tile_file, ms.ts_pipe_tile, ms, ms.superlink_tile_flow, 0);
}

}  // namespace

bool hydrograph_step_due(const model_state& ms) {
  const int n = ms.hyd_write_steps > 0 ? ms.hyd_write_steps : 1;
  return ms.step_count % n == 0;
}

bool map_step_due(const model_state& ms) {
  const int n = ms.map_write_steps > 0 ? ms.map_write_steps : 1;
  return (ms.step_count - 1) % n == 0;
}

double long_term_time_stamp(const model_state& ms) {
  if (ms.strict_julian_date) return ms.model_time;
  const double minutes_in_year = ((ms.cur_year - 1900) % 4 == 0) ? 527040.0 : 525600.0;
  return ms.cur_year +
         (ms.day_of_year * 1440.0 + ms.cur_hour * 60.0 + ms.cur_minute) / minutes_in_year;
}

void write_time_series_output(model_state& ms) {
  if (!hydrograph_step_due(ms)) return;
  const double qf = ms.qout_cfs ? ms.cfs_per_cms : 1.0;
  int outlet = 0;
  if (ms.chan_explic && ms.num_stream_links >= 1)
    outlet = ms.num_stream_links * ms.max_nodes_per_link + at(ms.nx, ms.num_stream_links);
  if (ms.long_term) ms.lt_time_stamp = long_term_time_stamp(ms);

  if (ms.zv_discharge_out && ms.qin_output_file.fp)
    std::fprintf(ms.qin_output_file.fp, "%-8.1lf %-7.1f\n",
                 ms.day_of_year + ms.cur_hour / 24.0 + ms.cur_minute / 1440.0,
                 static_cast<double>(static_cast<float>(ms.qout)));

  outlet_hydrograph(ms, qf);
  outlet_sediment(ms, qf, outlet);
  location_series(ms, qf);
  soil_moisture_locations(ms);
  point_series(ms, qf);

  if (ms.outlet_hydro_file.fp) std::fflush(ms.outlet_hydro_file.fp);
  if (ms.sig_outlet_hydro_given && ms.hyd_6digit_file.fp) std::fflush(ms.hyd_6digit_file.fp);

  channel_blocks(ms);
  pipe_blocks(ms);
  if (ms.nutrients) write_hydrograph_line(ms);
  if (ms.constituent_series_count > 0 && ms.chan_con_trans) {
    for (int i = 1; i <= ms.constituent_series_count; ++i) {
      if (mass_con_writer* row = ms.channel_series.row(i)) {
        write_link_node_file(row[1]);
        write_link_node_file(row[2]);
      }
    }
  }
}

}  // namespace nivra
