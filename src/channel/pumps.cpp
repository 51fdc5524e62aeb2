#include "channel/pumps.h"

#include <algorithm>
#include <cstdio>

#include "channel/channel_sections.h"
#include "channel/channel_state.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/value_range.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/clock_state.h"
#include "surface/blockage.h"
#include "surface/overland_state.h"

namespace nivra {

double pump_rating::rate(double depth, double model_time) const {
  return flow_type == pump_flow::ts ? ts_value_at(model_time, ts) : elev_series_interp(depth, es);
}

bool parse_pump(card_line& line, int& a, int& b, pump_rating& rating, std::string& why) {
  std::string tok;
  if (!next_token(line, tok) || !whole_token_int(tok, a) || !next_token(line, tok) || !whole_token_int(tok, b)) {
    why = "does not begin with two whole numbers";
    return false;
  }
  std::string type, name;
  next_token(line, type);
  if (type.compare(0, 4, "ELEV") == 0) {
    rating.flow_type = pump_flow::elev;
  } else if (type.compare(0, 2, "TS") == 0) {
    rating.flow_type = pump_flow::ts;
  } else {
    why = "gives the flow type \"" + type + "\": it must be ELEV or TS";
    return false;
  }
  next_token(line, name);
  strip_quotes(name);
  if (name.empty()) {
    why = "names no series after its flow type";
    return false;
  }
  const std::vector<double>* rates = nullptr;
  if (rating.flow_type == pump_flow::ts) {
    rating.ts = find_time_series(name);
    if (rating.ts) rates = &rating.ts->values;
  } else {
    rating.es = find_elev_series(name);
    if (rating.es) rates = &rating.es->y;
  }
  if (!rates) {
    why = std::string("names the ") + (rating.flow_type == pump_flow::ts ? "time" : "elevation") + " series \"" +
          name + "\", which no series file of the project holds";
    return false;
  }
  if (std::any_of(rates->begin(), rates->end(), [](double v) { return v < 0.0; })) {
    why = "names the series \"" + name + "\", which gives a negative rate: a pump lifts water one way";
    return false;
  }
  const auto beyond = std::find_if(rates->begin(), rates->end(), [](double v) { return !pumped_rate.contains(v); });
  if (beyond != rates->end()) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", *beyond);
    why = "names the series \"" + name + "\", which gives the rate " + value + "; a pump takes " +
          pumped_rate.describe();
    return false;
  }
  return true;
}

bool apply_channel_pumps(channel_state& ch, double dt, double model_time) {
  // The pumps run in file order, each from what the ones before it left.
  for (const channel_pump& p : ch.structures.stream_pumps) {
    double& from = ch.area(p.node, p.link);
    const double dx_from = ch.link_dx[p.link];
    const double held = std::max(from, 0.0) * dx_from;
    const double depth = ch.yp(p.node, p.link) - ch.bel(p.node, p.link);
    const double wanted = p.rating.rate(depth, model_time) * dt;
    const double v = std::min(std::max(wanted, 0.0), held);
    if (v <= 0.0) continue;
    from = v < held ? from - v / dx_from : 0.0;
    ch.area(p.to_node, p.to_link) += v / ch.link_dx[p.to_link];
    // The depths the next pump sees.
    for (const auto& [l, k] : {std::pair{p.link, p.node}, std::pair{p.to_link, p.to_node}}) {
      double y = 0.0, conv = 0.0;
      bool exceeded = false;
      double& a = ch.area(k, l);
      const section_status s = depth_at_area(ch, l, k, a, y, conv, exceeded);
      if (s != section_status::ok) {
        print_section_fault(s, k, l);
        set_error(own_message_code);
        report_error();
        return false;
      }
      ch.chan_depth(k, l) = y;
      ch.yp(k, l) = ch.bel(k, l) + y;
      ch.conv(k, l) = conv;
    }
  }
  return true;
}

void read_overland_pumps(model_state& ms) {
  overland_state& ov = ms.overland;
  ov.ov_pumps.clear();
  if (!ov.ov_pump_given) return;
  guarded_file f;
  const std::string name = ms.project.ov_pump.c_str();
  if (!open_input_file(f, name)) {
    set_error(83);
    report_error();
    return;
  }
  card_line line;
  for (int n = 1; read_line(line, f); ++n) {
    if (line.rest().find_first_not_of(" \t,\r") == std::string_view::npos) continue;
    overland_pump p;
    int row = 0, col = 0;
    std::string why;
    if (parse_pump(line, row, col, p.rating, why)) {
      const bool inside = row >= 1 && row <= ms.grid.rows && col >= 1 && col <= ms.grid.cols;
      p.cell = inside ? ms.grid.mask[row][col] : 0;
      if (p.cell == 0) why = "names row " + std::to_string(row) + ", column " + std::to_string(col) +
                             ", which is no cell of the watershed";
    }
    if (!why.empty()) {
      std::printf("Error: line %d of the overland pump file %s %s.\n", n, f.name.c_str(), why.c_str());
      set_error(own_message_code);
      report_error();
      return;
    }
    ov.ov_pumps.push_back(p);
  }
  std::printf("%d overland pumps read from file %s\n", static_cast<int>(ov.ov_pumps.size()), name.c_str());
}

void apply_pumps(model_state& ms, double dt) {
  overland_state& ov = ms.overland;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* blocked = blocked_cells(ov);
  double lifted = 0.0;
  for (const overland_pump& p : ov.ov_pumps) {
    double& h = ov.ov_depth[p.cell];
    const double open = area * open_share(blocked, p.cell);
    const double wanted = std::max(p.rating.rate(h, ms.clock.model_time), 0.0) * dt / open;
    const double taken = std::min(wanted, std::max(h, 0.0));
    h -= taken;
    lifted += taken * open;
  }
  if (process.error_block.stop) return;
  ms.ledger.book(water_flux::overland_pumping, lifted);
}

}  // namespace nivra
