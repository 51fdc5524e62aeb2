// The net source of one cell for one overland transport step: the masses
// the overland processes, the soil column and the sediment gathered for the
// cell since they last ran, each taken in the share that falls into this
// step and cut so that the cell's mass never goes below zero.
#pragma once

namespace nivra {

// What waits for the cell (g; null for a process that is off), with the
// length in seconds of the interval each was gathered over. Gains:
// exfiltration, the exchange with the land surface (negative when the land
// takes up), the release from the sediment-bound store, the nutrient
// kinetics (either sign). Losses: decay, infiltration, lateral inflow to
// the channels, the outflow at the outlet.
struct cell_pending {
  double* exfiltration = nullptr;
  double* exchange = nullptr;
  double* sediment = nullptr;
  double* nutrients = nullptr;
  double* decay = nullptr;
  double* infiltration = nullptr;
  double* lateral = nullptr;
  double* outlet = nullptr;
  double exfiltration_s = 0.0, exchange_s = 0.0, sediment_s = 0.0, nutrients_s = 0.0;
  double decay_s = 0.0, infiltration_s = 0.0, lateral_s = 0.0, outlet_s = 0.0;
};

// What the step took from each, g (the exchange with its sign, the
// nutrient kinetics split into gain and loss).
struct cell_taken {
  double exfiltration = 0.0, exchange = 0.0, sediment = 0.0, nutrient_gain = 0.0, nutrient_loss = 0.0;
  double decay = 0.0, infiltration = 0.0, lateral = 0.0, outlet = 0.0;
  void add(const cell_taken& o) {
    exfiltration += o.exfiltration;
    exchange += o.exchange;
    sediment += o.sediment;
    nutrient_gain += o.nutrient_gain;
    nutrient_loss += o.nutrient_loss;
    decay += o.decay;
    infiltration += o.infiltration;
    lateral += o.lateral;
    outlet += o.outlet;
  }
};

// Takes the step's shares out of the pending amounts (which keep the
// rest), in the order gains first, then losses, each loss cut to the mass
// left; adds what was taken to `taken` and returns the net source rate,
// g/s, for a step of dt seconds on a cell holding `mass` g.
double contam_cell_exchange(double mass, double dt, cell_pending& p, cell_taken& taken);

}  // namespace nivra
