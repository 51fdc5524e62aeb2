// Pumps. A pump's rate (m3/s) comes from a series: "TS" a time series of
// the model time, "ELEV" an elevation series of the depth of the water it
// draws from (the overland depth of its cell, the flow depth of its channel
// node). It never takes more water than is there.
//
// Channel pumps (PUMPTO cards of the channel input file, at the current
// node of a channel link: "PUMPTO link node ELEV|TS series") lift water
// from their node to node `node` of link `link` once per channel step
// (`apply_channel_pumps`, channel/channel_pumps.h).
// Overland pumps (the file of the OV_PUMP card, one pump per line: "row
// column ELEV|TS series") lift water off their cell and out of the model
// once per overland step; the volume is booked as overland pumping.
#pragma once

#include <string>

#include "core/tokens.h"

namespace nivra {

struct model_state;
struct elevation_series;
struct time_series;

// Where a pump's rate comes from (pump_rating::flow_type).
namespace pump_flow {
inline constexpr int elev = 0;  // "ELEV": an elevation series of the depth
inline constexpr int ts = 1;    // "TS": a time series of the model time
}  // namespace pump_flow

struct pump_rating {
  int flow_type = pump_flow::elev;
  time_series* ts = nullptr;
  const elevation_series* es = nullptr;
  // The rate at the depth (m) and the model time (days), m3/s.
  double rate(double depth, double model_time) const;
};

struct channel_pump {
  int link = 0, node = 0;        // where it draws
  int to_link = 0, to_node = 0;  // where it delivers
  pump_rating rating;
};

struct overland_pump {
  int cell = 0;
  pump_rating rating;
};

// Reads "a b ELEV|TS name" off the line: two whole numbers (a channel
// pump's link and node, an overland pump's row and column) and the rating,
// bound to the first series whose name begins with the given name. False
// with the reason in `why` when a number is missing, the flow type is
// neither ELEV nor TS, no series has the name, or the series gives a rate
// that is negative.
bool parse_pump(card_line& line, int& a, int& b, pump_rating& rating, std::string& why);

// The set-up of the overland pumps: reads the OV_PUMP file (every pump on a
// watershed cell); a fault names the file and the line and stops the run.
void read_overland_pumps(model_state& ms);

// Applies the overland pumps for a step of dt seconds to ov_depth and books
// what they lifted off the grid.
void apply_pumps(model_state& ms, double dt);

}  // namespace nivra
