#include "inputs/geometry.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/partition.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The grid size of the project and the cell size of the mask header agree
// to a tenth of a metre.
bool cell_size_agrees(const model_state& ms, double d, const char* dimension) {
  if (std::trunc((ms.grid.grid_size + 0.001) * 10.0) == std::trunc((d + 0.001) * 10.0)) return true;
  input_report(ms, console_rule::unless_silent,
               "\nThe grid size specified in the project file: %7.4f m differs from\n", ms.grid.grid_size);
  input_report(ms, console_rule::unless_silent,
               "the %s dimension of the raster grid cells %7.4f m as calculated\n", dimension, d);
  input_report(ms, console_rule::unless_silent,
               "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n");
  input_report(ms, console_rule::unless_silent, "NIVRA terminating.\n\n");
  stop_with_own_message();
  return false;
}

// The numbered mask as a grid map named "maskmap".
void write_mask_map(const grid_state& grid) {
  guarded_file out;
  if (!open_guarded_file(out, "maskmap", "w")) {
    std::printf("Error: unable to open mask map file for writing\n");
    return;
  }
  std::fprintf(out.fp, "north: %9.2lf\n", grid.north);
  std::fprintf(out.fp, "south: %9.2lf\n", grid.south);
  std::fprintf(out.fp, "east: %9.2lf\n", grid.east);
  std::fprintf(out.fp, "west: %9.2lf\n", grid.west);
  std::fprintf(out.fp, "rows: %5d\n", grid.rows);
  std::fprintf(out.fp, "cols: %5d\n", grid.cols);
  std::string row;
  char number[16];
  for (int r = 1; r <= grid.rows; ++r) {
    row.clear();
    for (int c = 1; c <= grid.cols; ++c) {
      auto res = std::to_chars(number, number + sizeof number, grid.mask[r][c]);
      row.append(number, res.ptr);
      row.push_back(' ');
    }
    row.push_back('\n');
    std::fwrite(row.data(), 1, row.size(), out.fp);
  }
  close_guarded_file(out);
}

// A count, then that many (row, column) pairs; each pair must lie in the grid.
bool read_location_list(const grid_state& grid, guarded_file& f, std::string_view name, int& count,
                        array1d<int>& rows, array1d<int>& cols) {
  int_token_reader in(f, name);
  auto end_of_file = [&] {
    std::printf("End of file reached in file %s, exiting\n", in.name().c_str());
    stop_with_own_message();
    return false;
  };
  auto not_a_number = [&] {
    std::printf("Error: line %d of file %s holds a value that is not an integer\n", in.line(),
                in.name().c_str());
    stop_with_own_message();
    return false;
  };
  int n = 0;
  int got = in.next(n);
  if (got == 0) return end_of_file();
  if (got < 0 || n < 0) return not_a_number();
  count = n;
  alloc_1d_int(rows, n, "overland location rows");
  alloc_1d_int(cols, n, "overland location columns");
  for (int k = 1; k <= n; ++k) {
    int r = 0, c = 0;
    int a = in.next(r);
    int b = a == 1 ? in.next(c) : a;
    if (a == 0 || b == 0) return end_of_file();
    if (a < 0 || b < 0) return not_a_number();
    if (!check_grid_position(r, c, grid.rows, grid.cols, in)) return false;
    rows[k] = r;
    cols[k] = c;
  }
  if (!in.at_end()) {
    std::printf("Error: line %d of file %s holds more than the %d locations its first value counts\n", in.line(),
                in.name().c_str(), n);
    stop_with_own_message();
    return false;
  }
  close_guarded_file(f);
  return true;
}

const char* side_word(int side) {
  switch (side) {
    case cell_side::top: return "top";
    case cell_side::right: return "right";
    case cell_side::bottom: return "bottom";
    default: return "left";
  }
}

void print_side_line(int side) { std::printf("Dike / low spot on %s side of cell\n", side_word(side)); }

// Checks one low spot against the dikes and the ground; false (after the
// message, with the run stopped) at the first fault.
bool check_lowspot(grid_state& grid, const char* lowspot_file, int j) {
  lowspot& spot = grid.lowspot_cells[j];
  spot.flow = 0.0;
  const int row = spot.row, col = spot.col;
  if (row < 1 || row > grid.rows || col < 1 || col > grid.cols) {
    std::printf("Error: SPOT card %d of the low-spot file %s names row %d, column %d, outside the grid of %d rows and %d columns\n",
                j, lowspot_file, row, col, grid.rows, grid.cols);
    stop_with_own_message();
    return false;
  }
  const int cell = grid.mask[row][col];
  auto fail = [] {
    stop_with_own_message();
    return false;
  };

  if (spot.grid_fraction < 0.0 || spot.grid_fraction > 1.5) {
    std::printf("\nThe fraction of the grid-size specified for the lowspot in the grid at\n");
    std::printf("row %d col %d is unreasonable, with a value of %f.  Acceptable\n", row, col,
                spot.grid_fraction);
    std::printf(" values range from 0.0 to 1.5.  Change the value.  Program terminated.\n");
    return fail();
  }
  // The neighbour across the side the spot crosses; the dike there runs
  // along the same side seen from the neighbour.
  int neighbour = 0;
  switch (spot.direction) {
    case cell_side::top: neighbour = grid.abovecon[cell]; break;
    case cell_side::right: neighbour = grid.rightcon[cell]; break;
    case cell_side::bottom: neighbour = grid.belowcon[cell]; break;
    case cell_side::left: neighbour = grid.leftcon[cell]; break;
    default:
      std::printf("\nThe low spot flow direction specified in row %d col %d in the file %s\n", row,
                  col, lowspot_file);
      std::printf("is not valid.  The only possible directions are: 1- top boundary, 2- right\n");
      std::printf("boundary, 4- bottom boundary, or 8- left boundary.\n");
      std::printf("Edit your lowspot file and try again.  Program terminated.\n");
      return fail();
  }
  if (grid.dike_mask[cell] == cell_side::none) {
    std::printf("\nYou have specified an overland flow dike in row %d col %d\n", row, col);
    std::printf("There is no dike adjacent to this grid cell.  Program stopped.\n");
    return fail();
  }
  if (neighbour == 0 || grid.dike_mask[neighbour] == cell_side::none) {
    std::printf("\nYou have specified a low spot on the %s boundary of the grid\n",
                side_word(spot.direction));
    std::printf("cell at row %d col %d.  Either the side you have specified is not on\n", row, col);
    std::printf("an overland flow dike, or the cell on the other side is out of the\n");
    std::printf("watershed.  Check your low spot file.  Program terminated.\n");
    return fail();
  }
  // One notch per face: a second card for the same face, from either cell,
  // would pass its water twice.
  for (int k = 1; k < j; ++k) {
    const lowspot& other = grid.lowspot_cells[k];
    const int other_cell = grid.mask[other.row][other.col];
    const bool same = (other_cell == cell && other.direction == spot.direction) ||
                      (other_cell == neighbour && other.direction == cell_side::opposite(spot.direction));
    if (!same) continue;
    std::printf("Error: SPOT card %d of the low-spot file %s gives the %s side of row %d, column %d a notch, which "
                "SPOT card %d gave already.\n",
                j, lowspot_file, side_word(spot.direction), row, col, k);
    return fail();
  }
  if (spot.crest_elev < grid.elevation[cell]) {
    std::printf("\nThe elevation of the overland flow dike low spot you specified in the grid\n");
    std::printf("cell located at row %d col %d is %f m.  This elevation is lower than the\n", row,
                col, spot.crest_elev);
    std::printf("elevation of the grid cell, which is %f m.  This situation is impossible.\n",
                grid.elevation[cell]);
    std::printf("Please raise the low spot elevation to be greater than the grid cell elevation.\n");
    print_side_line(spot.direction);
    std::printf("Program terminated\n");
    return fail();
  }
  if (spot.crest_elev < grid.elevation[neighbour]) {
    std::printf("\nThe elevation of the overland flow dike low spot you specified in the grid\n");
    std::printf("cell located at row %d col %d is %f m.  This elevation is lower than the\n", row,
                col, spot.crest_elev);
    std::printf("elevation of the grid cell on the other side of the dike, which is %f m.\n",
                grid.elevation[neighbour]);
    std::printf("This situation is impossible.  Please raise the low spot elevation to be\n");
    std::printf("greater than the grid cell elevation.\n");
    print_side_line(spot.direction);
    std::printf("Program terminated\n");
    return fail();
  }
  if ((grid.dike_mask[neighbour] & cell_side::opposite(spot.direction)) == 0) {
    const char* side = side_word(spot.direction);
    std::printf("\nThe low spot you have specified in the grid at row %d  col %d does not\n", row, col);
    std::printf("cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n");
    std::printf("at this low spot across the %s boundary of the cell, while the dike\n", side);
    if (spot.direction == cell_side::top || spot.direction == cell_side::bottom)
      std::printf("is running in a different direction than along the %s of the cell.\n", side);
    else
      std::printf("is running in a different direction than along the %s side of the cell.\n", side);
    std::printf("Program terminated.\n");
    return fail();
  }
  return true;
}

}  // namespace

void warn_of_deep_pits(const grid_state& grid, std::string_view file_name) {
  for (int k = 1; k <= grid.ncells; ++k) {
    const int r = grid.cell_row[k], c = grid.cell_col[k];
    double lowest = 0.0;
    bool any = false;
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) {
        const int nr = r + dr, nc = c + dc;
        if ((dr == 0 && dc == 0) || nr < 1 || nc < 1 || nr > grid.rows || nc > grid.cols) continue;
        const int j = grid.mask[nr][nc];
        if (j == 0) continue;
        if (!any || grid.elevation[j] < lowest) lowest = grid.elevation[j];
        any = true;
      }
    if (!any || lowest - grid.elevation[k] <= deep_pit_depth) continue;
    char text[1200];
    std::snprintf(text, sizeof text,
                  "Warning: the elevation map %.*s puts row %d, column %d at %.2f m, %.2f m below the lowest of its "
                  "watershed neighbours (%.2f m); check the map for a value that is no elevation.\n",
                  static_cast<int>(file_name.size()), file_name.data(), r, c, grid.elevation[k],
                  lowest - grid.elevation[k], lowest);
    report_text(text);
  }
}

void read_watershed_mask(model_state& ms) {
  if (!ms.project.quib_file.empty()) {
    // Grids kept in a QUIB container cannot be read by this system.
    input_report(ms, console_rule::unless_quiet, "reading watershed mask from QUIB grid: %s\n",
                 ms.project.quib_file.c_str());
    set_error(5);
    report_error();
    return;
  }
  input_report(ms, console_rule::unless_quiet, "reading watershed mask from file: %s\n",
               ms.project.watershed_mask.c_str());
  read_ascii_map(ms.grid.watershed_mask_file, ms.project.watershed_mask.view(), map_int_grid, ms.grid.north,
                 ms.grid.south, ms.grid.east, ms.grid.west, ms.grid.rows, ms.grid.cols, ms.grid.mask, nullptr, nullptr, nullptr,
                 ms.grid.proj_rows, ms.grid.proj_cols, ms.project.optimizer_mode);
  close_guarded_file(ms.grid.watershed_mask_file);
  if (process.error_block.stop) return;

  const double dy = (ms.grid.north - ms.grid.south) / ms.grid.rows;
  const double dx = (ms.grid.east - ms.grid.west) / ms.grid.cols;
  if (!cell_size_agrees(ms, dy, "north-south")) return;
  if (!cell_size_agrees(ms, dx, "east-west")) return;

  // An export's no-data value marks no cell of the watershed: the mask holds
  // 0 outside it.
  for (int r = 1; r <= ms.grid.rows; ++r)
    for (int c = 1; c <= ms.grid.cols; ++c) {
      if (!is_no_data_value(ms.grid.mask[r][c])) continue;
      std::printf("Error: the watershed mask %s holds the no-data value %d at row %d, column %d; the mask holds 0 "
                  "outside the watershed and another whole number inside it.\n",
                  ms.project.watershed_mask.c_str(), ms.grid.mask[r][c], r, c);
      stop_with_own_message();
      return;
    }

  // Number the active cells row by row; any non-zero value is active.
  int n = 0;
  for (int r = 1; r <= ms.grid.rows; ++r) {
    int* m = ms.grid.mask[r].data();
    for (int c = 1; c <= ms.grid.cols; ++c)
      if (m[c] != 0) m[c] = ++n;
  }
  ms.grid.ncells = n;
  if (n == 0) {
    std::printf("Error: the watershed mask %s holds no cell of the watershed\n",
                ms.project.watershed_mask.c_str());
    stop_with_own_message();
    return;
  }
  for (auto* a : {&ms.grid.cell_row, &ms.grid.cell_col}) {
    a->destroy();
    a->grow(n);
  }
  for (auto* a : {&ms.grid.cell_x, &ms.grid.cell_y}) {
    a->destroy();
    a->grow_fill(n, 0.0);
  }
  for (int r = 1; r <= ms.grid.rows; ++r)
    for (int c = 1; c <= ms.grid.cols; ++c) {
      const int k = ms.grid.mask[r][c];
      if (!k) continue;
      ms.grid.cell_row[k] = r;
      ms.grid.cell_col[k] = c;
      ms.grid.cell_x[k] = ms.grid.west + (c - 0.5) * dx;
      ms.grid.cell_y[k] = ms.grid.north - (r - 0.5) * dy;
    }

  write_mask_map(ms.grid);
  input_report(ms, console_rule::unless_quiet, "number of grid cells in watershed: %d\n", ms.grid.ncells);
  ms.grid.watershed_area = ms.grid.grid_size * ms.grid.grid_size * ms.grid.ncells;

  if (process.parallel_env.group_size >= 2)
    setup_process_partition(process.parallel_env, ms.grid.mask, ms.grid.ncells, ms.grid.rows, ms.grid.cols);
}

void read_elevation(model_state& ms) {
  input_report(ms, console_rule::unless_quiet, "reading elevation map from file: %s\n",
               ms.project.elevation_file_name.c_str());
  read_cell_map(ms.grid, ms.grid.elevation_file, ms.project.elevation_file_name.view(), ms.grid.elevation,
                ms.project.optimizer_mode, ground_elevation);
  close_guarded_file(ms.grid.elevation_file);
  if (process.error_block.stop) return;
  warn_of_deep_pits(ms.grid, ms.project.elevation_file_name.view());

  const bool inside = ms.grid.outrow >= 1 && ms.grid.outrow <= ms.grid.rows && ms.grid.outcol >= 1 && ms.grid.outcol <= ms.grid.cols;
  ms.grid.outlet_cell = inside ? ms.grid.mask[ms.grid.outrow][ms.grid.outcol] : 0;
  if (ms.grid.outlet_cell == 0 && !ms.channel.chan_explic) {
    std::printf("\nThe outlet row and column you specified in the project file are not\n");
    std::printf("inside the watershed mask.  Check the outlet row and column again, and\n");
    std::printf("make sure they are correctly specified in the project file using the\n");
    std::printf("OUTROW and OUTCOL project file cards.  NIVRA terminating.\n\n");
    stop_with_own_message();
    return;
  }
  input_report(ms, console_rule::unless_quiet, "outlet is in grid cell: %d\n", ms.grid.outlet_cell);
}

void elevation_range(model_state& ms) {
  ms.hydromet.elev_max = -999999999999.9;
  ms.hydromet.elev_min = 999999999999.9;
  for (int i = 1; i <= ms.grid.ncells; ++i) {
    if (ms.grid.elevation[i] > ms.hydromet.elev_max) ms.hydromet.elev_max = ms.grid.elevation[i];
    if (ms.grid.elevation[i] < ms.hydromet.elev_min) ms.hydromet.elev_min = ms.grid.elevation[i];
  }
  double datum = ms.hydromet.met_gage_elev;
  if (datum < 1e-16) datum = ms.hydromet.elev_min;
  ms.hydromet.hmet_elev_gage_value = datum;
  if (datum > ms.hydromet.elev_max) ms.hydromet.elev_max = datum;
  if (ms.hydromet.elev_min > datum) ms.hydromet.elev_min = datum;
  ms.hydromet.elev_band_height = 100.0;
  ms.hydromet.elev_band_count = 4 + static_cast<int>(std::floor((ms.hydromet.elev_max - ms.hydromet.elev_min) / 100.0));
}

void build_connectivity(model_state& ms) {
  const int n = ms.grid.ncells;
  auto real = [n](array1d<double>& a, const char* name) { alloc_1d_double(a, n, name); };
  auto whole = [n](array1d<int>& a, const char* name) { alloc_1d_int(a, n, name); };
  const bool infiltration = ms.soil.green_ampt || ms.soil.inf_redist || ms.soil.inf_layered_soil || ms.soil.inf_richards;

  // Always: overland state and surface parameters, slopes, neighbours. The
  // face volumes only for plain ADE, whose step turns them into discharges;
  // the previous depths with an overland hotstart, the roughness exponents
  // with their table and the centred slopes with their step, which make
  // them; the exfiltration marks with groundwater.
  real(ms.overland.ov_depth, "ov_depth");
  real(ms.hydromet.rain_depth, "rain_depth");
  real(ms.grid.slope_x, "slope_x");
  real(ms.grid.slope_y, "slope_y");
  real(ms.overland.ov_qx, "ov_qx");
  real(ms.overland.ov_qy, "ov_qy");
  if (ms.overland.overtype == overland_scheme::ade) {
    real(ms.overland.ov_volx, "ov_volx");
    real(ms.overland.ov_voly, "ov_voly");
  }
  whole(ms.grid.belowcon, "belowcon");
  whole(ms.grid.rightcon, "rightcon");
  whole(ms.grid.abovecon, "abovecon");
  whole(ms.grid.leftcon, "leftcon");
  if (ms.groundwater.gw_simulation) whole(ms.groundwater.yes_exfil, "yes_exfil");
  real(ms.overland.retent_dep, "retent_dep");
  real(ms.overland.dist_rough, "dist_rough");

  if (ms.output.discharge_given || ms.output.chan_discharge_given) real(ms.output.discharge_cell, "discharge_cell");
  if (ms.overland.ovr_flow_block) {
    alloc_2d_double(n, 5, ms.overland.ovr_flow_block_frac, "ovr_flow_block_frac");
    real(ms.overland.ovr_flow_block_cell, "ovr_flow_block_cell");
  }
  if (ms.soil.conductivity_given) real(ms.soil.sat_hyd_cond, "sat_hyd_cond");
  if (ms.soil.capillary_given) real(ms.soil.capillary_head, "capillary_head");
  if (ms.soil.porosity_given) real(ms.soil.soil_porosity, "soil_porosity");
  if (ms.soil.pore_index_given) real(ms.soil.pore_dist_index, "pore_dist_index");
  if (ms.soil.residual_sat_given) real(ms.soil.resid_sat, "resid_sat");
  if (ms.soil.area_reduction_given) real(ms.soil.area_reduction, "area_reduction");

  if (infiltration) {
    real(ms.soil.init_moisture, "init_moisture");
    real(ms.soil.init_moisture_old, "init_moisture_old");
    real(ms.soil.inf_rate, "inf_rate");
    real(ms.soil.inf_depth_cell, "inf_depth_cell");
    real(ms.soil.surface_moisture, "surface_moisture");
    if (ms.soil.inf_redist) {
      real(ms.soil.init_moisture_redist, "init_moisture_redist");
      whole(ms.soil.iter_pond_1, "iter_pond_1");
      whole(ms.soil.iter_n, "iter_n");
      whole(ms.soil.no_wat_prof, "no_wat_prof");
      whole(ms.soil.iter_i_less_k, "iter_i_less_k");
      real(ms.soil.ga_value_6, "ga_value_6");
      real(ms.soil.wilting_point_cell, "wilting_point_cell");
    }
    if (ms.soil.sm_accounting) {
      real(ms.soil.sm_depth, "sm_depth");
      real(ms.soil.sm_water, "sm_water");
      real(ms.soil.sm_water_top, "sm_water_top");
      real(ms.soil.sm_water_bottom, "sm_water_bottom");
      real(ms.soil.direct_evap_cell, "direct_evap_cell");
      real(ms.soil.unsat_down_flux, "unsat_down_flux");
      real(ms.soil.recharge_depth, "recharge_depth");
      if (ms.groundwater.gw_simulation) {
        real(ms.soil.gw_inf_redist_theta, "gw_inf_redist_theta");
        real(ms.soil.sm_bottom_loss, "sm_bottom_loss");
      }
    }
    if (ms.groundwater.sacramento_given && ms.groundwater.sac_topo_index) real(ms.groundwater.topo_dex, "topo_dex");
    if (ms.soil.inf_layered_soil || ms.soil.inf_richards) whole(ms.soil.soiltype, "soiltype");
    if (ms.soil.inf_layered_soil) {
      real(ms.soil.wetdep, "wetdep");
      alloc_2d_double(n, 4, ms.soil.THETA_ML, "THETA_ML");
    }
    if (ms.soil.inf_richards) {
      real(ms.soil.VOLCHANGE, "VOLCHANGE");
      real(ms.soil.MASSERROR, "MASSERROR");
      real(ms.soil.dtr, "dtr");
      real(ms.soil.avgks, "avgks");
      real(ms.soil.totaldz, "totaldz");
      alloc_1d_int(ms.soil.num1, 150, "num1");
      alloc_1d_int(ms.soil.num2, 150, "num2");
      alloc_1d_int(ms.soil.num3, 150, "num3");
      whole(ms.soil.numcells, "numcells");
      whole(ms.soil.numtot, "numtot");
      whole(ms.soil.bound_type, "bound_type");
      for (int c = 1; c <= ms.soil.bound_type.size(); ++c) ms.soil.bound_type[c] = 1;
      real(ms.groundwater.elevgw, "elevgw");
      real(ms.groundwater.gw_flux, "gw_flux");
      real(ms.groundwater.bottom_elev, "bottom_elev");
      real(ms.soil.inf_rich, "inf_rich");
      real(ms.soil.direct_evap_cell, "direct_evap_cell");
      real(ms.soil.unsat_down_flux, "unsat_down_flux");
      real(ms.soil.recharge_depth, "recharge_depth");
    }
  }

  if (ms.groundwater.water_table_given || ms.channel.stream_loss || ms.constituent.chan_con_trans || ms.constituent.chan_sed_on) {
    whole(ms.groundwater.gwbound, "gwbound");
    if (!ms.soil.inf_richards) {
      real(ms.groundwater.elevgw, "elevgw");
      real(ms.groundwater.gw_flux, "gw_flux");
    }
  }
  if (ms.groundwater.gw_simulation) {
    whole(ms.groundwater.num_unsat_cells, "num_unsat_cells");
    real(ms.groundwater.gw_static_flux, "gw_static_flux");
    real(ms.groundwater.gw_hyd_cond, "gw_hyd_cond");
    real(ms.groundwater.gw_porosity, "gw_porosity");
    real(ms.groundwater.gw_hyd_cond_old, "gw_hyd_cond_old");
    real(ms.groundwater.gw_porosity_old, "gw_porosity_old");
    real(ms.groundwater.gw_cell_dx, "gw_cell_dx");
    real(ms.groundwater.gw_cell_dy, "gw_cell_dy");
    if (!ms.soil.inf_richards) {
      real(ms.groundwater.bottom_elev, "bottom_elev");
      real(ms.groundwater.A, "A");
      real(ms.groundwater.B, "B");
      real(ms.groundwater.C, "C");
      real(ms.groundwater.D, "D");
    }
  }

  if (ms.clock.long_term) {
    real(ms.hydromet.albedo_cell, "albedo_cell");
    real(ms.hydromet.snow_swe, "snow_swe");
    real(ms.hydromet.snow_swe_scaled, "snow_swe_scaled");
    alloc_3d_double(n, 6, 3, ms.hydromet.Melt_Waves, "Melt_Waves");
    whole(ms.hydromet.snow_no_infil_cell, "snow_no_infil_cell");
    alloc_2d_double(n, 23, ms.hydromet.sn_stat, "sn_stat");
    alloc_2d_double(n, 11, ms.hydromet.snap_nivra_params, "snap_nivra_params");
    real(ms.hydromet.scf, "scf");
    for (int c = 1; c <= ms.hydromet.scf.size(); ++c) ms.hydromet.scf[c] = 1.0;
    real(ms.soil.root_depth, "root_depth");
    alloc_2d_double(2, 24, ms.hydromet.Temp_Daily_Avg, "Temp_Daily_Avg");
    if (ms.hydromet.et_calc_penman) {
      real(ms.hydromet.veg, "veg");
      real(ms.hydromet.Kt, "Kt");
      real(ms.hydromet.Rs, "Rs");
    }
    real(ms.hydromet.ATI_2, "ATI_2");
    real(ms.hydromet.D_2, "D_2");
    alloc_2d_double(n, 8, ms.hydromet.SNOW_PRECIP_6HR, "SNOW_PRECIP_6HR");
    real(ms.hydromet.St_Event, "St_Event");
    real(ms.hydromet.H_Val, "H_Val");
    real(ms.hydromet.snow_melt_to_ov, "snow_melt_to_ov");
    real(ms.hydromet.TSNOW_P, "TSNOW_P");
    real(ms.hydromet.TSNOW_T, "TSNOW_T");
    real(ms.hydromet.PSNOW_Total, "PSNOW_Total");
    real(ms.hydromet.Wq, "Wq");
    real(ms.hydromet.Wi, "Wi");
    alloc_2d_double(1, 10, ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh, "Gage_XYZ_Lev_P_rh_c_w_t_qh");
    alloc_2d_double(1, 7, ms.hydromet.GAGE_IDW, "GAGE_IDW");
    alloc_2d_double(n, 1, ms.hydromet.Dist_Cell2Gage, "Dist_Cell2Gage");
    alloc_3d_double(1, ms.hydromet.elev_band_count, 6, ms.hydromet.El_T_P_e_es_LR, "El_T_P_e_es_LR");
    alloc_2d_double(n, 5, ms.hydromet.Cell_X1_Y2_Z3_S4_A5, "Cell_X1_Y2_Z3_S4_A5");
    ms.hydromet.shade_by_hour.alloc(n, 23);
    real(ms.hydromet.R_short, "R_short");
    real(ms.hydromet.R_long, "R_long");
    real(ms.hydromet.Cell_Aspect_Eff_Rad_Percent, "Cell_Aspect_Eff_Rad_Percent");
    whole(ms.hydromet.LR_Num, "LR_Num");
    whole(ms.hydromet.Hours_Since_Snow, "Hours_Since_Snow");
    whole(ms.hydromet.melt_occurred, "melt_occurred");
    real(ms.hydromet.albedo_w_snow, "albedo_w_snow");
    whole(ms.hydromet.Snow_Accumulated_Hr, "Snow_Accumulated_Hr");
    real(ms.hydromet.temper_gridded_sum, "temper_gridded_sum");
    ms.hydromet.num_hmet_gages = 1;
    ms.hydromet.melt_wave_slots = ms.hydromet.snap_retention ? 6 : 1;
  }

  if (ms.hydromet.interception_coeff_given) {
    real(ms.hydromet.icep_stor, "icep_stor");
    real(ms.hydromet.icep_coef, "icep_coef");
    real(ms.hydromet.icep_dep, "icep_dep");
    real(ms.hydromet.ri_eff, "ri_eff");
  }
  if (ms.lake.chan_lakes) whole(ms.lake.lake_num, "lake_num");
  if (ms.lake.overland_lake_map_given) {
    whole(ms.lake.oland_lake_mask, "oland_lake_mask");
    whole(ms.lake.oland_lake_new, "oland_lake_new");
  }

  // Output locations of the overland depth and water-surface series.
  if (ms.output.overland_depths_given &&
      !read_location_list(ms.grid, ms.output.overland_depth_location_file, ms.project.overland_depth_location.view(),
                          ms.output.n_overland_depth_locs, ms.output.overland_depth_row, ms.output.overland_depth_col))
    return;
  if (ms.output.overland_wse_given)
    read_location_list(ms.grid, ms.output.overland_wse_location_file, ms.project.overland_wse_location.view(),
                       ms.output.n_overland_wse_locs, ms.output.overland_wse_row, ms.output.overland_wse_col);
}

void read_dike_mask(model_state& ms) {
  if (!ms.grid.dike_map_given) return;
  if (!open_input_file(ms.grid.dike_map_file, ms.project.dike_map.view())) {
    std::printf("Can't open input dike mask file named: %s\n", ms.project.dike_map.c_str());
    stop_with_own_message();
    return;
  }
  alloc_1d_int(ms.grid.dike_mask, ms.grid.ncells, "dike_mask");
  input_report(ms, console_rule::unless_silent, "reading overland flow dike map from file: %s\n",
               ms.project.dike_map.c_str());
  read_index_cell_map(ms.grid, ms.grid.dike_map_file, ms.project.dike_map.view(), ms.grid.dike_mask,
                      ms.project.optimizer_mode);
  close_guarded_file(ms.grid.dike_map_file);
  if (process.error_block.stop || !ms.grid.lowspot_file_given) return;

  if (!open_input_file(ms.grid.lowspot_input_file, ms.project.lowspot_file.view())) {
    std::printf("Can't open input dike mask file named: %s\n", ms.project.lowspot_file.c_str());
    stop_with_own_message();
    return;
  }
  read_lowspot_file(ms.grid.lowspot_input_file, ms.project.lowspot_file.c_str(), ms.grid.lowspot_count,
                    ms.grid.lowspot_cells);
  close_guarded_file(ms.grid.lowspot_input_file);
}

void build_neighbour_arrays(int rows, int cols, array1d<int>& rightcon, array1d<int>& belowcon,
                            array1d<int>& abovecon, array1d<int>& leftcon, const array2d<int>& mask) {
  const int capacity = rightcon.size();
  int k = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (mask[r][c] == 0) continue;
      if (++k > capacity) return;  // more positions than the arrays hold: leave the rest
      rightcon[k] = c < cols ? mask[r][c + 1] : 0;
      leftcon[k] = c > 1 ? mask[r][c - 1] : 0;
      belowcon[k] = r < rows ? mask[r + 1][c] : 0;
      abovecon[k] = r > 1 ? mask[r - 1][c] : 0;
    }
}

void build_cell_connectivity(model_state& ms) {
  input_report(ms, console_rule::unless_quiet, "building cell to cell connectivity information\n");
  for (auto* a : {&ms.grid.rightcon, &ms.grid.belowcon, &ms.grid.abovecon, &ms.grid.leftcon})
    if (a->size() != ms.grid.ncells) alloc_1d_int(*a, ms.grid.ncells, "neighbour");
  build_neighbour_arrays(ms.grid.rows, ms.grid.cols, ms.grid.rightcon, ms.grid.belowcon, ms.grid.abovecon, ms.grid.leftcon,
                         ms.grid.mask);

  if (!(ms.grid.dike_map_given && ms.grid.lowspot_file_given)) return;
  alloc_1d_int(ms.grid.low_spot_flow_cell, ms.grid.ncells + 1, "low_spot_flow_cell");
  for (int j = 1; j <= ms.grid.lowspot_count; ++j)
    if (!check_lowspot(ms.grid, ms.project.lowspot_file.c_str(), j)) return;
}

void compute_cell_slopes(model_state& ms) {
  const int n = ms.grid.ncells;
  if (ms.grid.slope_x.size() != n) alloc_1d_double(ms.grid.slope_x, n, "slope_x");
  if (ms.grid.slope_y.size() != n) alloc_1d_double(ms.grid.slope_y, n, "slope_y");
  const double dx = ms.grid.grid_size;
  const double* z = ms.grid.elevation.data();
  double* sx = ms.grid.slope_x.data();
  double* sy = ms.grid.slope_y.data();
  const int* right = ms.grid.rightcon.data();
  const int* below = ms.grid.belowcon.data();
  for (int i = 1; i <= n; ++i) {
    const int e = right[i];
    sx[i] = e ? (z[i] - z[e]) / dx : sx[i - 1];
    const int b = below[i];
    if (b) {
      sy[i] = (z[i] - z[b]) / dx;
      // A cell on the southern edge takes the slope of the cell above it.
      if (below[b] == 0) sy[b] = sy[i];
    }
  }
}

}  // namespace nivra
