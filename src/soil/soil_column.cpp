#include "soil/soil_column.h"

#include <algorithm>
#include <cmath>

#include "soil/soil_state.h"

namespace nivra {

soil_column_layers column_layers(const soil_class& k, double aquifer_delta_z) {
  soil_column_layers l;
  int last = 0;
  for (int j = 0; j < 3; ++j) {
    l.thickness[j] = k.real(23 + j);
    l.spacing[j] = k.real(32 + j);
    l.porosity[j] = k.real(8 + j);
    if (l.spacing[j] > 0.0) last += static_cast<int>(l.thickness[j] / l.spacing[j]);
    l.last_node[j] = last;
  }
  l.aquifer_spacing = aquifer_delta_z > 0.0 ? aquifer_delta_z * 100.0 : l.spacing[2];
  return l;
}

double column_water(const double* DZ, const double* THETA, int numcells) {
  double w = 0.0;
  for (int j = 1; j <= numcells - 1; ++j) w += DZ[j] * THETA[j];
  return w;
}

namespace {

// The least water content a node laid out again holds: a trace above the
// residual content, where the retention curve still gives a head.
double trace_content(const richards_node& s) { return s.theta_r + 0.01 * (s.theta_s - s.theta_r); }

// What a node the table drained keeps when no node stood above the old
// table (it stood at the ground): the water content of its height above
// the table (cm), at most what the aquifer gave up for it.
double drained_content(const richards_node& s, int model, double height, double yield) {
  double t = moisture_from_head(s, model, -height);
  if (yield > 0.0) t = std::min(t, yield);
  return std::clamp(t, trace_content(s), s.theta_s);
}

// The layer spacing of node j above the first node laid from the table's
// layer.
double layer_spacing(const soil_column_layers& l, int j) {
  if (j <= l.last_node[0]) return l.spacing[0];
  if (j <= l.last_node[1]) return l.spacing[1];
  return l.spacing[2];
}

}  // namespace

soil_column_result cut_column_at_table(const soil_column_cell& cell, double layers_depth, bool keep_soil_moisture) {
  soil_column_result r;
  double* DZ = cell.DZ;
  double* TH = cell.THETA;
  double* H = cell.PHEAD;
  const richards_node* soil = cell.soil;
  const int model = cell.retention;
  const double E = cell.ground, W = cell.table;
  if (E <= W) {
    *cell.numcells = 1;
    H[1] = (W - E) * 100.0 + DZ[1] / 2.0;
    TH[1] = soil[1].theta_s;
    r.at_surface = true;
    return r;
  }
  const double layers_bottom = E - layers_depth / 100.0;
  auto settle = [&](int j, double z) {
    if (keep_soil_moisture && z >= layers_bottom) return;
    TH[j] = moisture_from_head(soil[j], model, H[j]);
  };
  double z = E;
  int bottom = 0;
  for (int j = 1; bottom == 0; ++j) {
    if (j >= cell.capacity) {
      r.status = soil_column_status::too_many_nodes;
      return r;
    }
    z -= DZ[j] / 100.0;
    if (z >= W - 1e-16) {
      H[j] = (W - z) * 100.0 - DZ[j] / 2.0;
      settle(j, z);
      continue;
    }
    // The node reaches below the table: its part above it stays a node
    // unless it is a sliver, and the table node follows.
    const double above = DZ[j] - (W - z) * 100.0;
    if (std::fabs(above) > 1e-5) {
      DZ[j] = above;
      H[j] = -above / 2.0;
      settle(j, W);
      bottom = j + 1;
    } else {
      bottom = j;
    }
  }
  H[bottom] = DZ[bottom] / 2.0;
  TH[bottom] = soil[bottom].theta_s;
  *cell.numcells = bottom;
  return r;
}

soil_column_result soil_column_step(const soil_column_cell& cell, const soil_column_layers& l,
                                    soil_column_scratch& scratch) {
  soil_column_result r;
  int& n = *cell.numcells;
  double* DZ = cell.DZ;
  double* TH = cell.THETA;
  double* PH = cell.PHEAD;
  const richards_node* soil = cell.soil;
  const int old_n = n;
  const double before = column_water(DZ, TH, old_n);

  // The old profile: the top of every node above the old table and the
  // top of the old table node (the depth of the old table).
  double depth = 0.0;
  for (int j = 1; j <= old_n - 1; ++j) {
    scratch.top[static_cast<std::size_t>(j)] = depth;
    scratch.theta[static_cast<std::size_t>(j)] = TH[j];
    depth += DZ[j];
  }
  const double old_table = depth;  // cm below the ground
  scratch.top[static_cast<std::size_t>(std::max(old_n, 1))] = old_table;
  auto old_bottom = [&](int k) { return scratch.top[static_cast<std::size_t>(k) + 1]; };

  if (cell.table >= cell.ground) {
    // The table at or above the ground: one saturated node.
    n = 1;
    DZ[0] = DZ[1] = l.spacing[0];
    PH[1] = (cell.table - cell.ground) * 100.0 + l.spacing[0] / 2.0;
    TH[0] = TH[1] = soil[1].theta_s;
    r.released = before;
    r.at_surface = true;
    return r;
  }

  // The layer that holds the table (a table on a boundary belongs to the
  // layer below it) sets the first node laid toward it, their spacing and
  // the table node's water content.
  const double b1 = cell.ground - l.thickness[0] / 100.0;
  const double b2 = b1 - l.thickness[1] / 100.0;
  const double b3 = b2 - l.thickness[2] / 100.0;
  int count = 0;
  double s = 0.0, z = 0.0, phi = 0.0;
  if (cell.table > b1) {
    count = 0, s = l.spacing[0], z = cell.ground, phi = l.porosity[0];
  } else if (cell.table > b2) {
    count = l.last_node[0], s = l.spacing[1], z = b1, phi = l.porosity[1];
  } else if (cell.table > b3) {
    count = l.last_node[1], s = l.spacing[2], z = b2, phi = l.porosity[2];
  } else {
    count = l.last_node[2], s = l.aquifer_spacing, z = b3, phi = l.porosity[2];
  }
  if (count + 1 > cell.capacity) {
    r.status = soil_column_status::too_many_nodes;
    return r;
  }
  for (int j = 1; j <= count; ++j) DZ[j] = layer_spacing(l, j);
  while (z > cell.table && z > cell.bottom) {
    z -= s / 100.0;
    if (++count + 1 > cell.capacity) {
      r.status = soil_column_status::too_many_nodes;
      return r;
    }
    DZ[count] = s;
    if (z < cell.table - 1e-16) {
      // Cut at the table; a sliver stays with the node above.
      const double cut = (z + s / 100.0 - cell.table) * 100.0;
      if (cut < s / 10000.0) {
        if (count >= 2) DZ[count - 1] += cut;
        --count;
      } else {
        DZ[count] = cut;
      }
    }
  }
  int t = count + 1;
  // A node above the table thinner than half the one above it joins it.
  if (t - 1 > 1 && DZ[t - 1] < DZ[t - 2] / 2.0) {
    DZ[t - 2] += DZ[t - 1];
    --t;
  }
  n = t;
  DZ[t] = s;
  TH[t] = phi;

  // The new nodes take the water of the depths they span: the old nodes
  // above the old table, and below it what the drained depths hold.
  double table_depth = 0.0;  // cm below the ground
  for (int j = 1; j <= t - 1; ++j) table_depth += DZ[j];
  // A table that fell drained the pores of the depths it left: the aquifer
  // gave them up. The node that stood over it stretches down to the new
  // table, its water spread over the depth it now spans, so that the
  // column keeps its water and the drained depths take none from the
  // aquifer beyond a trace (the soil wets them from the table through the
  // column's own flow). Without a node over the old table (it stood at the
  // ground) the depths take the water of their height above the new table.
  const int last = old_n - 1;  // the node over the old table
  const bool stretch = table_depth > old_table && last >= 1;
  double spread = 0.0;  // water content of the stretched node
  if (stretch) {
    const double top = scratch.top[static_cast<std::size_t>(last)];
    spread = scratch.theta[static_cast<std::size_t>(last)] * (old_table - top) / (table_depth - top);
  }
  depth = 0.0;
  int i = 1;  // the old node at the top of the span
  for (int j = 1; j <= t - 1; ++j) {
    const double a = depth, b = depth + DZ[j];
    const double trace = trace_content(soil[j]);
    double water = 0.0;
    while (i <= old_n - 1 && old_bottom(i) <= a) ++i;
    for (int k = i; k <= old_n - 1; ++k) {
      const double top = scratch.top[static_cast<std::size_t>(k)];
      const double bottom = old_bottom(k);
      if (top >= b) break;
      const double theta = scratch.theta[static_cast<std::size_t>(k)];
      water += (std::min(b, bottom) - std::max(a, top)) *
               (stretch && k == last ? std::max(spread, std::min(theta, trace)) : theta);
    }
    if (b > old_table) {
      const double drained = b - std::max(a, old_table);
      if (stretch) {
        water += drained * std::max(spread, trace);
      } else {
        const double height = table_depth - (std::max(a, old_table) + b) / 2.0;
        water += drained * drained_content(soil[j], cell.retention, height, cell.aquifer_yield);
      }
    }
    TH[j] = std::min(water / DZ[j], soil[j].theta_s);
    depth = b;
  }

  // Heads: the table at the top of its node; the saturated nodes just
  // above it stand hydrostatic over it, with the water content of their
  // head (what they held beyond it goes to the aquifer); the other nodes
  // take the head of their water content, a saturated node above
  // unsaturated ones the head at saturation.
  PH[t] = DZ[t] / 2.0;
  int j = t - 1;
  for (; j >= 1 && TH[j] >= soil[j].theta_s; --j) {
    PH[j] = PH[j + 1] - DZ[j + 1] / 2.0 - DZ[j] / 2.0;
    TH[j] = std::min(moisture_from_head(soil[j], cell.retention, PH[j]), soil[j].theta_s);
  }
  for (; j >= 1; --j) {
    if (TH[j] >= soil[j].theta_s) PH[j] = DZ[j] / 2.0;
    else PH[j] = head_from_moisture(soil[j], cell.retention, TH[j], j < old_n ? PH[j] : -DZ[j]);
  }
  DZ[0] = DZ[1];
  TH[0] = TH[1];
  r.released = before - column_water(DZ, TH, n);
  return r;
}

}  // namespace nivra
