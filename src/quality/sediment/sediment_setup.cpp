// The overland sediment set-up of the map phase: the erosion options, the
// water's viscosity, the particle classes with their fall velocities and
// the sand/fine split, the cells' erosion parameters from the mapping
// table, the sediment output files, the step object and the sediment
// ledger.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_blocks.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_physics.h"
#include "quality/sediment/sediment_terms.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void refuse(const char* text) {
  std::printf("%s", text);
  set_error(own_message_code);
  report_error();
}

bool open_output(guarded_file& f, const file_name_text& name, const char* mode, const char* role) {
  bool refused = false;
  if (mode[0] == 'r' ? open_input_file(f, name.view(), &refused) : open_guarded_file(f, name.view(), mode))
    return true;
  set_error(4, role, name.view());
  process.error_block.stop = 1;
  return false;
}

// The five erosion parameters of the cells and the class shares of the
// parent soil, checked finite and within their physical ranges.
bool check_erosion_values(const model_state& ms, const ov_sed_record& s, int n) {
  struct column {
    const array1d<double>* values;
    const char* name;
  } columns[] = {{&s.splash_K, "rain-splash erodibility"},
                 {&s.detach_coef, "flow detachment coefficient"},
                 {&s.detach_exp, "flow detachment exponent"},
                 {&s.detach_crit, "critical shear stress"},
                 {&s.sed_K, "transport capacity factor"}};
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    for (const column& col : columns) {
      const double v = (*col.values)[c];
      if (!std::isfinite(v) || v < 0.0) {
        std::printf("Error: the SOIL_EROSION_PROPS table of the mapping table file gives cell %d a %s of %g; "
                    "it takes a finite value of 0 or more.\n",
                    c, col.name, v);
        return false;
      }
    }
    double sum = 0.0;
    for (int k = 1; k <= n; ++k) {
      const double f = s.cells.soil_fract(c, k);
      if (!std::isfinite(f) || f < 0.0 || f > 1.0) {
        std::printf("Error: the SOIL_EROSION_PROPS table of the mapping table file gives cell %d a share of "
                    "sediment class %d of %g; it takes a value from 0 to 1.\n",
                    c, k, f);
        return false;
      }
      sum += f;
    }
    // The shares split the parent soil among the classes: they may not
    // add up to more of it than there is.
    if (sum > 1.0 + 1e-6) {
      std::printf("Error: the SOIL_EROSION_PROPS table of the mapping table file gives cell %d class shares "
                  "that add up to %g; they may add up to at most 1.\n",
                  c, sum);
      return false;
    }
  }
  return true;
}

}  // namespace

void open_sediment_outputs(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.soil_erosion_on) return;
  // The suspended-volume and flux series are gridded datasets (or per-time
  // maps), opened by the map outputs in their own format.
  if (!k.outlet_sed_flux_file_name.empty() &&
      !open_output(k.outlet_sed_flux_file, k.outlet_sed_flux_file_name, "w", "outlet sediment hydrograph"))
    return;
  if (k.outlet_sed_tss &&
      !open_output(k.outlet_sed_tss_file, k.outlet_sed_tss_file_name, "w", "outlet sediment tss file"))
    return;
}

void init_overland_sediments(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.soil_erosion_on) return;
  // The outlet's suspended solids are those of the channel outlet.
  if (k.outlet_sed_tss && !ms.channel.chan_explic)
    return refuse(
        "Error: the OUTLET_SED_TSS card gives the suspended solids at the channel outlet; this project routes "
        "no channels.\n");

  k.ov_sed = std::make_unique<ov_sed_record>();
  ov_sed_record& s = *k.ov_sed;
  // A value of 10 or more carries the classes as constituents of the
  // overland (and channel) constituent transport instead of running the
  // overland sediment step; the formula is the value less 10.
  const bool carried = k.soil_erosion >= 10;
  k.sed_transport_mode = carried ? 2 : 1;
  k.soil_erosion_option = carried ? k.soil_erosion - 10 : k.soil_erosion;
  k.adjust_elev = k.adjust_elev_given;
  if (k.water_temp < 0.0) k.water_temp = 0.0;
  s.water_viscosity = sediment::water_viscosity(k.water_temp);

  open_sediment_outputs(ms);
  if (process.error_block.stop) return;

  input_report(ms, console_rule::unless_quiet, "Reading sediments table from mapping table file\n");
  sediment_classes classes;
  if (!ms.grid.mapping_table_given || !ms.grid.cmt_table_present[cmt_sediments]) {
    set_error(92);
    report_error();
    return;
  }
  if (!read_cmt_sediments(ms.project.mapping_table.view(), classes)) return;
  if (classes.count < 1) {
    set_error(92);
    report_error();
    return;
  }
  const int n = classes.count;
  k.n_sed_classes = n;
  s.spec_grav = std::move(classes.spec_grav);
  s.part_diam = std::move(classes.part_diam);
  s.f_bind = std::move(classes.f_bind);
  s.output_filename = std::move(classes.output_filename);
  k.ov_con_trans_given = k.ov_con_trans;
  if (carried) {
    // The constituent set-up that follows appends the classes after the
    // contaminants; the channels carry them wherever the channels carry
    // sediment.
    k.ov_con_trans = 1;
    if (k.chan_sed_on && ms.channel.chan_explic) k.chan_con_trans = 1;
  }

  const int cells = ms.grid.ncells;
  s.cells.alloc(cells, n, k.max_sed_flux != 0);
  if (k.max_sed_flux) {
    s.ov_qsmax.alloc(cells, n);
    s.ov_qsmax_total.alloc(cells);
  }
  if (k.net_sed_volume) s.ov_net_sed.alloc(cells);
  if (k.vol_sed_susp) {
    s.ov_qsconc.alloc(cells, n);
    s.ov_conc.alloc(cells);
  }
  s.ov_qsvol.alloc(cells, n);
  s.tot_sed.alloc(n, 4);
  s.sed_class.alloc(n);
  k.sand.alloc(n);
  for (array1d<double>* a : {&s.splash_K, &s.detach_coef, &s.detach_exp, &s.detach_crit, &s.sed_K}) a->alloc(cells);

  input_report(ms, console_rule::unless_quiet, "Reading soil erosion properties table from mapping table file\n");
  if (!ms.grid.cmt_table_present[cmt_sediment_erosion]) {
    set_error(93);
    report_error();
    return;
  }
  array2d<double> shares;
  if (!read_cmt_erosion(ms, {&s.splash_K, &s.detach_coef, &s.detach_exp, &s.detach_crit, &s.sed_K}, n, shares))
    return;
  for (int c = 1; c <= cells && !shares.empty(); ++c)
    for (int j = 1; j <= n; ++j) s.cells.soil_fract(c, j) = shares(c, j);
  if (!check_erosion_values(ms, s, n)) return stop_with_own_message();

  s.channel_cells.alloc(cells);
  for (array1d<double>* a : {&s.depth_start, &s.step_depth, &s.step_qx, &s.step_qy}) a->alloc(cells);
  // The classes by size, the finest first (a stable order for classes of
  // one size), for the median diameter.
  s.by_size.alloc(n);
  for (int j = 1; j <= n; ++j) s.by_size[j] = j;
  std::stable_sort(s.by_size.data() + 1, s.by_size.data() + n + 1,
                   [&](int a, int b) { return s.part_diam[a] < s.part_diam[b]; });
  s.settling_velocity.alloc(n);
  s.sed_density.alloc(n);
  k.n_sand_classes = k.n_fine_classes = 0;
  for (int j = 1; j <= n; ++j) {
    s.sed_density[j] = s.spec_grav[j] * sediment::water_density * 1000.0;
    s.settling_velocity[j] = sediment::fall_velocity(s.part_diam[j], s.spec_grav[j], s.water_viscosity);
    k.sand[j] = s.part_diam[j] >= k.sand_size ? 1 : 0;
    if (k.sand[j]) ++k.n_sand_classes;
    else ++k.n_fine_classes;
  }
  int pos = 0;
  for (int j = 1; j <= n; ++j)
    if (!k.sand[j]) s.sed_class[++pos] = j;
  for (int j = 1; j <= n; ++j)
    if (k.sand[j]) s.sed_class[++pos] = j;

  s.step.prepare(cells, n);
  s.step_books.alloc(n);
  s.step_tally.alloc(n);
  s.books = std::make_unique<mass_ledger>(sediment_term_table, n);
  // What the inlets take in stays in the pipe network.
  s.pipe_sed.alloc(n);
  s.pipe_share.alloc(cells);
  k.ov_superlink_sed_total.alloc(n);
  k.ov_superlink_sed_event.alloc(n);
  k.sl_sed_water_event = 0.0;
}

}  // namespace nivra
