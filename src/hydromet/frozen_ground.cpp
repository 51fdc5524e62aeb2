#include "hydromet/frozen_ground.h"

#include <algorithm>
#include <cmath>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "soil/infiltration.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"

namespace nivra {

void frost_history::prepare(int n) {
  n_ = n;
  head_ = 0;
  filled_ = false;
  ring_.assign(static_cast<std::size_t>(24) * (static_cast<std::size_t>(n) + 1), 0.0);
  sum_.assign(static_cast<std::size_t>(n) + 1, 0.0);
}

void frost_history::push(const double* T) {
  const std::size_t row = static_cast<std::size_t>(n_) + 1;
  if (!filled_) {
    for (int s = 0; s < 24; ++s) {
      double* slot = ring_.data() + s * row;
      for (int c = 1; c <= n_; ++c) slot[c] = T[c];
    }
    for (int c = 1; c <= n_; ++c) sum_[static_cast<std::size_t>(c)] = 24.0 * T[c];
    filled_ = true;
  }
  // The oldest hour leaves the window and the new one takes its slot.
  double* slot = ring_.data() + static_cast<std::size_t>(head_) * row;
  double* sum = sum_.data();
  for (int c = 1; c <= n_; ++c) {
    sum[c] += T[c] - slot[c];
    slot[c] = T[c];
  }
  head_ = (head_ + 1) % 24;
}

void cfgi_update(frost_history& history, const frost_cells& cells) {
  history.push(cells.air_temp);
  const double k = cells.k;
  for (int c = 1; c <= cells.n; ++c) {
    double& index = cells.cfgi[c];
    if ((cells.overland_lake && cells.overland_lake[c] >= 1) || (cells.channel_lake && cells.channel_lake[c] >= 1))
      index = 0.0;
    const double Tm = history.mean(c);
    const double D = cells.snow_depth ? cells.snow_depth[c] * 100.0 : 0.0;
    const double damped = Tm < 0.0 ? 0.16 * k : k;
    const double next = (0.99875 + 0.00125 * (1.0 - std::exp(-0.4 * k * D))) * index -
                        std::exp(-0.4 * damped * D) * Tm / 24.0;
    index = next < 0.0 ? 0.0 : next;
  }
}

namespace {

// The liquid-water factor of every node of a Richards column from the
// node's Brooks-Corey pore index and bubbling head (cm); lake cells keep
// theirs.
void richards_unfrozen_factors(model_state& ms, const double* T) {
  soil_state& s = ms.soil;
  const richards_columns& rc = s.richards;
  const lake_state& lk = ms.lake;
  const int* olake = lk.overland_lake_map_given && !lk.oland_lake_new.empty() ? lk.oland_lake_new.data() : nullptr;
  const int* clake = lk.chan_lakes && !lk.lake_mask.empty() ? lk.lake_mask.data() : nullptr;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if ((olake && olake[c] > 0) || (clake && clake[c] > 0)) continue;
    const int n = std::min(s.numcells[c], s.SE.cols());
    for (int j = 1; j <= n; ++j) {
      const richards_node& node = rc.soil(c, j);
      s.SE(c, j) = frozen_soil_factor(T[c], node.lambda, node.hb / 100.0);
    }
  }
}

// The liquid-water factor of the three layers of every cell's soil class
// from each layer's pore index and suction head (cm).
void layered_unfrozen_factors(model_state& ms, const double* T) {
  soil_state& s = ms.soil;
  const array1d<soil_class>& classes = s.soil_classes();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const soil_class& k = classes[s.soiltype[c]];
    for (int layer = 1; layer <= 3; ++layer)
      s.SE(c, layer) =
          T[c] > 273.15 ? 1.0 : frozen_soil_factor(T[c], k.pore_index(layer), k.capillary_head(layer) / -0.7 / 100.0);
  }
}

}  // namespace

void frozen_soil_step(model_state& ms) {
  process_clock& clock = ms.clock.soil_energy_clock;
  if (!ms.hydromet.gtfsm || !is_due(ms, clock.next_time)) return;
  soil_state& s = ms.soil;
  const hydromet_state& hm = ms.hydromet;
  // The ground temperature of the hour (K) comes from the evapotranspiration
  // of long-term runs; without it the soil stays as it is.
  if (!s.SE.empty() && !hm.ground_temp.empty()) {
    const double* T = hm.ground_temp.data();
    if (s.inf_richards && !s.numcells.empty()) {
      richards_unfrozen_factors(ms, T);
    } else if (s.inf_layered_soil && !s.soiltype.empty()) {
      layered_unfrozen_factors(ms, T);
    } else if (s.sm_accounting && s.inf_redist) {
      // The redistribution soil has one set of parameters for its three
      // layers.
      for (int c = 1; c <= ms.grid.ncells; ++c) {
        const double f =
            T[c] > 273.15 ? 1.0 : frozen_soil_factor(T[c], s.pore_dist_index[c], s.capillary_head[c] / -0.7);
        for (int layer = 1; layer <= 3 && layer <= s.SE.cols(); ++layer) s.SE(c, layer) = f;
      }
    }
  }
  clock.next_time += ms.clock.hourly_dt_days;
  clock.last_time = ms.clock.model_time;
}

}  // namespace nivra
