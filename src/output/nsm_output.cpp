#include "output/nsm_output.h"

#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

struct overland_series_names {
  const char* mass_name;
  int mass_id;
  const char* conc_name;
  int conc_id;
};

// Constituents 1..9: NO2, NO3, NH4, ON, OP, DP, Alg, CBOD, DO.
const overland_series_names ov_names[nsm_water_count + 1] = {
    {"", 0, "", 0},
    {"OV_no2_mass", 1025, "OV_no2_conc", 1026},
    {"OV_no3_mass", 1028, "OV_no3_conc", 1029},
    {"OV_nh4_mass", 1031, "OV_nh4_conc", 1032},
    {"OV_on_mass", 1034, "OV_on_conc", 1035},
    {"OV_op_mass", 1037, "OV_op_conc", 1038},
    {"OV_dp_mass", 1040, "OV_dp_conc", 1041},
    {"OV_alg_mass", 1046, "OV_alg_conc", 1047},
    {"OV_cbod_mass", 1049, "OV_cbod_conc", 1050},
    {"OV_do_mass", 1052, "OV_do_conc", 1053},
};

void recompute(nsm_writers& nsm, nsm_total what) {
  if (nsm.recompute) nsm.recompute(what);
}

}  // namespace

void init_nutrient_map_series(nsm_writers& nsm, model_state& ms) {
  const constituent_state& cs = ms.constituent;
  const project_state& p = ms.project;
  nsm_outputs& ov = nsm.outputs;
  nsm_outputs2& st = nsm.outputs2;
  const nsm_media_view& m = nsm.media;

  // Overland totals.
  if (cs.total_ov_n_given) {
    recompute(nsm, nsm_total::overland_nh3);
    recompute(nsm, nsm_total::overland_total_n);
    if (!open_grid_series(ov.total_ov_n_writer, ms.grid, ms.output, ms.grid.nrows, ms.grid.ncols, m.ov_total_n,
                          p.total_ov_n.view(), "", ".asc", 1055, "Total_ov_N"))
      return;
  }
  if (cs.total_ov_p_given) {
    recompute(nsm, nsm_total::overland_total_p);
    if (!open_grid_series(ov.total_ov_p_writer, ms.grid, ms.output, ms.grid.nrows, ms.grid.ncols, m.ov_total_p,
                          p.total_ov_p.view(), "", ".asc", 1056, "Total_ov_P"))
      return;
  }

  // Channel totals: written at map times.
  const linknode_network net = channel_network_of(ms.channel, ms.lake);
  const linknode_timing timing = linknode_timing_for(ms.clock, ms.clock.map_write_steps);
  const int lakes = ms.lake.chan_lakes ? ms.lake.num_lakes : 0;
  auto channel_total = [&](bool on, mass_con_writer& w, int kind, const jagged_array<double>* rows,
                           const double* lake_source, const file_name_text& card) {
    if (!on) return;
    mass_con_writer_alloc_a(w, kind, rows, net, lakes ? lake_source : nullptr, lakes);
    open_mass_con_files(w, card.view(), "", "", 1000.0, timing);
  };
  channel_total(cs.total_chan_n_given, st.total_n_writer, lnk_total_nitrogen, m.st_total_n,
                m.lake_total_n, p.total_chan_n);
  channel_total(cs.total_chan_kn_given, st.total_kn_writer, lnk_total_kjeldahl_nitrogen, m.st_tkn,
                m.lake_tkn, p.total_chan_kn);
  channel_total(cs.total_chan_p_given, st.total_p_writer, lnk_total_phosphorus, m.st_total_p,
                m.lake_total_p, p.total_chan_p);

  // Per-constituent maps and link/node files.
  const int ov_base = ov.series.count();
  const int st_base = st.series.count();
  alloc_map_series_array(ov.series, nsm_water_count);
  alloc_channel_series_array(st.series, nsm_water_count);
  for (int k = 1; k <= nsm_water_count; ++k) {
    if (ov.out_ov_on[k]) {
      dataset_out* row = ov.series.row(ov_base + k);
      const std::string_view folder = ov.out_ov_file[k].view();
      if (!open_grid_series(row[1], ms.grid, ms.output, ms.grid.rows, ms.grid.cols, m.ov_mass[k], folder,
                            ".mass", ".asc", ov_names[k].mass_id, ov_names[k].mass_name) ||
          !open_grid_series(row[2], ms.grid, ms.output, ms.grid.rows, ms.grid.cols, m.ov_conc[k], folder,
                            ".conc", ".asc", ov_names[k].conc_id, ov_names[k].conc_name))
        return;
    }
    if (st.out_st_on[k]) {
      mass_con_writer* row = st.series.row(st_base + k);
      const std::string_view name = st.out_st_file[k].view();
      mass_con_writer_alloc_b(row[1], lnk_nutrient_mass + k - 1, m.st_mass[k], net,
                              lakes ? m.lake_mass[k] : nullptr, lakes);
      open_mass_con_files(row[1], name, ".mass", "", 1000.0, timing);
      mass_con_writer_alloc_b(row[2], lnk_nutrient_conc + k - 1, m.st_conc[k], net,
                              lakes ? m.lake_conc[k] : nullptr, lakes);
      open_mass_con_files(row[2], name, ".conc", "", 1.0, timing);
    }
  }
}

void write_constituent_map_output(model_state& ms) {
  if (!ms.constituent.nsm_out) return;
  nsm_writers& nsm = *ms.constituent.nsm_out;
  const constituent_state& cs = ms.constituent;
  const double t = ms.clock.elapsed_min;

  if (ms.lake.chan_lakes) recompute(nsm, nsm_total::lakes);
  if (cs.total_ov_n_given) {
    recompute(nsm, nsm_total::overland_nh3);
    recompute(nsm, nsm_total::overland_total_n);
    write_map_timestep(nsm.outputs.total_ov_n_writer, t);
  }
  if (cs.total_ov_p_given) {
    recompute(nsm, nsm_total::overland_total_p);
    write_map_timestep(nsm.outputs.total_ov_p_writer, t);
  }
  if (cs.total_chan_n_given || cs.total_chan_kn_given) recompute(nsm, nsm_total::stream_nh3);
  if (cs.total_chan_n_given) {
    recompute(nsm, nsm_total::stream_total_n);
    write_link_node_file(nsm.outputs2.total_n_writer);
  }
  if (cs.total_chan_kn_given) {
    recompute(nsm, nsm_total::stream_tkn);
    write_link_node_file(nsm.outputs2.total_kn_writer);
  }
  if (cs.total_chan_p_given) {
    recompute(nsm, nsm_total::stream_total_p);
    write_link_node_file(nsm.outputs2.total_p_writer);
  }
  for (int k = 1; k <= nsm_water_count; ++k) {
    if (nsm.outputs.out_ov_on[k]) {
      if (dataset_out* row = nsm.outputs.series.row(k)) {
        write_map_timestep(row[1], t);
        write_map_timestep(row[2], t);
      }
    }
    if (nsm.outputs2.out_st_on[k]) {
      if (mass_con_writer* row = nsm.outputs2.series.row(k)) {
        write_link_node_file(row[1]);
        write_link_node_file(row[2]);
      }
    }
  }
}

void write_hydrograph_line(model_state& ms) {
  if (!ms.constituent.nsm_out) return;
  nsm_writers& nsm = *ms.constituent.nsm_out;
  const double t = ms.clock.long_term ? ms.output.lt_time_stamp : ms.clock.elapsed_min;
  const int outlet_link = ms.channel.num_stream_links;
  const int outlet = (outlet_link >= 1 && outlet_link <= ms.channel.nx.size())
                         ? outlet_link * ms.channel.max_nodes_per_link + ms.channel.nx[outlet_link]
                         : 0;
  for (int k = 1; k <= nsm_water_count; ++k) {
    if (nsm.hydrographs.out_hyd_on[k] != 1) continue;
    const double* conc = nsm.media.st_conc[k];
    const double* mass = nsm.media.st_mass[k];
    if (std::FILE* fp = nsm.hydrographs.hyd_conc_files[k].fp)
      std::fprintf(fp, "%16.8lf %11.4lf\n", t, conc ? conc[outlet] : 0.0);
    if (std::FILE* fp = nsm.hydrographs.hyd_mass_files[k].fp)
      std::fprintf(fp, "%16.8lf %11.4lf\n", t, mass ? mass[outlet] : 0.0);
  }
}

}  // namespace nivra

namespace nivra {

void write_nutrient_end_cards(model_state& ms) {
  if (!ms.constituent.nsm_out) return;
  nsm_writers& nsm = *ms.constituent.nsm_out;
  for (int k = 1; k <= nsm_water_count; ++k) {
    if (nsm.outputs.out_ov_on[k] && ms.output.dataset_output) {
      if (dataset_out* row = nsm.outputs.series.row(k)) {
        write_series_end(row[1]);
        write_series_end(row[2]);
      }
    }
    if (nsm.outputs2.out_st_on[k]) {
      if (mass_con_writer* row = nsm.outputs2.series.row(k)) {
        for (mass_con_writer* w : {&row[1], &row[2]})
          if (w->mass_file.is_open()) std::fprintf(w->mass_file.fp, "ENDDS\n");
      }
    }
  }
}

}  // namespace nivra
